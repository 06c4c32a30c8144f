#include "Crc16.h"
#include "Frames.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Hex(const Bytes& b) {
    std::string s;
    char buf[4];
    for (std::uint8_t v : b) {
        std::snprintf(buf, sizeof buf, "%02X ", v);
        s += buf;
    }
    if (!s.empty())
        s.pop_back();
    return s;
}

} // namespace

TEST(Crc16Test, CatalogValue) {
    const std::string check = "123456789";
    EXPECT_EQ(CalcCrc16(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0x31C3);
    EXPECT_EQ(CalcCrc16(nullptr, 0), 0);
}

TEST(FramesTest, WorkedFrames) {
    EXPECT_EQ(Hex(BuildHeadFrame(64, 0x12000)), "FE 00 FF 01 00 00 00 40 00 01 20 00 98 1E");
    const std::uint8_t zero = 0;
    EXPECT_EQ(Hex(BuildDataFrame(1, &zero, 1)), "DA 01 FE 00 C7 56");
    EXPECT_EQ(Hex(BuildTailFrame(2)), "ED 02 FD BA B0");
    EXPECT_EQ(Hex(BuildCommandHeadFrame(5)), "AB 00 05 1D C8");
    EXPECT_EQ(Hex(BuildCommandWordFrame("print")), "CD 70 72 69 6E 74 51 24");
}

TEST(FramesTest, StartFrameCarriesBothTicks) {
    const Bytes f = BuildStartFrame(0x01020304, 0x01020305);
    ASSERT_EQ(f.size(), 14u);
    EXPECT_EQ(Hex(Bytes(f.begin(), f.begin() + 12)), "FE 00 FF 01 01 02 03 04 01 02 03 05");
    EXPECT_TRUE(CheckCrc(f.data(), f.size()));
}

TEST(FramesTest, LargestFramesAndCrcCheck) {
    const Bytes data(1024, 0x5A);
    const Bytes f = BuildDataFrame(255, data.data(), 1024);
    EXPECT_EQ(f.size(), 1029u);
    EXPECT_EQ(f[2], 0x00);
    EXPECT_TRUE(CheckCrc(f.data(), f.size()));
    Bytes bad = f;
    bad[500] ^= 1;
    EXPECT_FALSE(CheckCrc(bad.data(), bad.size()));
    // The longest command fills the 128-byte word frame buffer exactly.
    EXPECT_EQ(BuildCommandWordFrame(std::string(kMaxCommandLength, 'a')).size(), 128u);
}
