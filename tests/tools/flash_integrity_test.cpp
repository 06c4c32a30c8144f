// Burns and re-burns against the virtual board's flash models: every item lands exactly on its own
// bytes and nothing else in the flash changes, erases stay on whole erase blocks, the read-back check
// passes on a sound board and fails on a corrupted byte, and overlapping items are refused.
#include "BoardProcess.h"
#include "CliProcess.h"
#include "DeviceInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace {

struct FlashType {
    const char* name; // --flash
    const char* bootargs;
    std::uint32_t part, block; // P and B
};

const FlashType kTypes[] = {
    {"nand", "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)", 0x100000, 0x20000},
    {"spi", "mtdparts=flash_sfc:512k(boot),256k(deviceinfo),-(rootfs)", 0x80000, 0x10000},
    {"emmc", "blkdevparts=mmcblk0:1M(boot),1M(env),1M(deviceinfo),-(rootfs)", 0x200000, 512},
};

bool IsEmmc(const FlashType& t) {
    return std::string(t.name) == "emmc";
}

// Two operator-entered items inside the first erase block, two unaligned ones in one block outside
// it, and a fixed file item that spans the third and the fourth block.
std::vector<std::uint32_t> Offsets(const FlashType& t) {
    return {0x81, 0xc3, t.block + 3, t.block + 0x13, 3 * t.block - 7};
}

struct Burn {
    std::string mac, id;
    std::vector<std::string> items; // the four operator-entered items
    Bytes file;
};

Bytes FilePattern(unsigned seed) {
    Bytes b(0x20);
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = std::uint8_t(i * seed + 5);
    return b;
}

const Burn kFirst = {
    "00:1a:2b:3c:4d:5e", "SN0001", {"first-a", "first-bb", "first-ccc", "first-dddd"}, FilePattern(7)};
const Burn kSecond = {
    "00:1a:2b:3c:4d:60", "SN02", {"2a", "second-value-b", "X", "second-d"}, FilePattern(13)};

// The flash after a burn: the first erase block (the block's 512-byte blocks on eMMC) holds the block,
// zeros to its word boundary and 0xff; then exactly the D bytes of each item change.
void Apply(Bytes& flash, const FlashType& t, const Burn& b) {
    const Bytes block = *ComposeDeviceInfoBlock(b.mac, b.id, {}, false);
    const std::size_t span = (block.size() + 3) / 4 * 4;
    const std::size_t first = IsEmmc(t) ? (span + 511) / 512 * 512 : t.block;
    std::fill_n(flash.begin() + t.part, first, 0xff);
    std::fill_n(flash.begin() + t.part, span, 0x00);
    std::copy(block.begin(), block.end(), flash.begin() + t.part);
    const std::vector<std::uint32_t> offsets = Offsets(t);
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        Bytes data = i < b.items.size() ? Bytes(b.items[i].begin(), b.items[i].end()) : b.file;
        data.push_back(0);
        std::copy(data.begin(), data.end(), flash.begin() + t.part + offsets[i]);
    }
}

std::string FirstDifference(const Bytes& actual, const Bytes& expected) {
    if (actual.size() != expected.size())
        return "size " + std::to_string(actual.size());
    const auto [a, e] = std::mismatch(actual.begin(), actual.end(), expected.begin());
    if (a == actual.end())
        return "none";
    char text[80];
    std::snprintf(text, sizeof text, "at 0x%zx: 0x%02x instead of 0x%02x", std::size_t(a - actual.begin()),
                  *a, *e);
    return text;
}

std::string Hex(std::uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
    return text;
}

class FlashIntegrity : public ::testing::Test {
protected:
    // The configuration for the type, with the file item's file in the program folder.
    void Configure(const FlashType& t) {
        const std::vector<std::uint32_t> o = Offsets(t);
        std::ofstream(m_dir.File("BurnConfig.ini"), std::ios::binary)
            << "[BurnConfig]\r\nExtraInfo=" << Hex(o[0]) << "|" << Hex(o[1]) << "|" << Hex(o[2]) << "|"
            << Hex(o[3]) << "|" << Hex(o[4]) << ":<file:" << m_dir.File("item.bin") << ">\r\n";
    }

    CliResult Run(const CBoardProcess& board, const Burn& b, std::vector<std::string> extra = {}) {
        std::ofstream(m_dir.File("item.bin"), std::ios::binary)
            .write(reinterpret_cast<const char*>(b.file.data()), std::streamsize(b.file.size()));
        std::vector<std::string> args = {"--port", board.PortPath(), "--mac", b.mac, "--id-string", b.id};
        for (std::size_t i = 0; i < b.items.size(); ++i)
            args.insert(args.end(), {"--extra-string", std::to_string(i + 1) + "=" + b.items[i]});
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCli(m_dir, args);
    }

    CTempDir m_dir;
};

TEST_F(FlashIntegrity, FirstBurnAndReburnChangeExactlyTheirBytes) {
    for (const FlashType& t : kTypes) {
        SCOPED_TRACE(t.name);
        Configure(t);
        const Bytes blank(64u << 20, IsEmmc(t) ? 0x00 : 0xff);

        CBoardProcess first({"--flash", t.name, "--bootargs", t.bootargs});
        const CliResult r1 = Run(first, kFirst);
        EXPECT_EQ(r1.exit, 0) << r1.err << r1.out;
        Bytes expected = blank;
        Apply(expected, t, kFirst);
        EXPECT_EQ(FirstDifference(first.Flash(), expected), "none");

        // The same board again with other values, checked by reading back.
        CBoardProcess again({"--flash", t.name, "--bootargs", t.bootargs});
        EXPECT_EQ(Run(again, kFirst).exit, 0);
        const CliResult r2 = Run(again, kSecond, {"--verify"});
        EXPECT_EQ(r2.exit, 0) << r2.err << r2.out;
        Apply(expected, t, kSecond);
        EXPECT_EQ(FirstDifference(again.Flash(), expected), "none");

        // Erases cover whole erase blocks only.
        for (const std::string& c : again.Commands()) {
            unsigned offset = 0, length = 0;
            if (std::sscanf(c.c_str(), "%*s erase %x %x", &offset, &length) == 2) {
                EXPECT_EQ(offset % t.block, 0u) << c;
                EXPECT_EQ(length % t.block, 0u) << c;
            }
        }
    }
}

TEST_F(FlashIntegrity, ReadBackFailsOnACorruptedByte) {
    struct Case {
        const FlashType& type;
        std::uint32_t corruptAt; // offset in the partition
        std::string report;
    };
    const std::vector<Case> cases = {
        {kTypes[0], 1,
         "Read-back check of the device info block (flash 0x100000, 0x19 bytes) failed: expected CRC-32 "},
        {kTypes[0], 0x20004,
         "Read-back check of the Extra ID3 (Off. 0x20003) (flash 0x120003, 0xa bytes) failed:"},
        {kTypes[1], 0x10004,
         "Read-back check of the Extra ID3 (Off. 0x10003) (flash 0x90003, 0xa bytes) failed:"},
        {kTypes[2], 0x204,
         "Read-back check of the Extra ID3 (Off. 0x203) (flash 0x200203, 0xa bytes) failed:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type.name) + " " + Hex(c.corruptAt));
        Configure(c.type);
        CBoardProcess board({"--flash", c.type.name, "--bootargs", c.type.bootargs, "--corrupt-flash",
                             Hex(c.type.part + c.corruptAt)});
        const CliResult r = Run(board, kFirst, {"--verify", "--records"});
        EXPECT_EQ(r.exit, 1);
        EXPECT_EQ(r.err, "Error: Failed to burn!\n");
        EXPECT_NE(r.out.find(c.report), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(", the board read "), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Burn successfully!"), std::string::npos);
        EXPECT_FALSE(std::ifstream(m_dir.File("BurntMacandIDList.txt")).good());
    }
}

TEST_F(FlashIntegrity, OverlappingItemsAreRefusedBeforeAnyCommand) {
    struct Case {
        const char* extraInfo;
        std::string message;
        bool entered = false; // the configuration has an operator-entered item
    };
    const std::vector<Case> cases = {
        {":::", "Error: Fixed item (Off. 0x0), bytes 0x0 to 0x2, overlaps the device info block, bytes 0x0 "
                "to 0x1b!"},
        {"0x:CAL", "Error: Fixed item (Off. 0x0), bytes 0x0 to 0x3, overlaps the device info block"},
        {"0x100:ABCD|0x102",
         "Error: Fixed item (Off. 0x100), bytes 0x100 to 0x104, overlaps Extra ID1 (Off. 0x102), bytes 0x102 "
         "to "
         "0x104!",
         true},
    };
    CBoardProcess board({"--flash", "nand", "--bootargs", kTypes[0].bootargs});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extraInfo);
        std::ofstream(m_dir.File("BurnConfig.ini"), std::ios::binary)
            << "[BurnConfig]\r\nExtraInfo=" << c.extraInfo << "\r\n";
        std::vector<std::string> args = {"--port",   board.PortPath(), "--mac",
                                         kFirst.mac, "--id-string",    kFirst.id};
        if (c.entered)
            args.insert(args.end(), {"--extra-string", "1=YZ"});
        const CliResult r = RunCli(m_dir, args);
        EXPECT_EQ(r.exit, 2);
        // After the same overlap among the configuration's warnings.
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    board.Stop();
    EXPECT_EQ(board.Trace().find("start"), std::string::npos);
}

} // namespace
