// Offset items that would overwrite the device info block or one another, and the read-back check's
// CRC and its report.
#include "ExtraItems.h"
#include "ItemRanges.h"
#include "ReadBack.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

namespace {

TEST(FindItemOverlap, NamesTheItemAndBothRanges) {
    ChooseStartLanguage(2);
    struct Case {
        const char* extraInfo;
        std::vector<std::string> values; // the value of every offset item, configuration order
        std::string message;             // empty: accepted
    };
    // L = 70: the block's words take the bytes 0x0 to 0x47.
    const std::vector<Case> cases = {
        {":::",
         {"::"},
         "Fixed item (Off. 0x0), bytes 0x0 to 0x2, overlaps the device info block, bytes 0x0 to 0x47!"},
        {"0x:CAL", {"CAL"}, "Fixed item (Off. 0x0), bytes 0x0 to 0x3, overlaps the device info block"},
        {"0x46:AB", {"AB"}, "Fixed item (Off. 0x46), bytes 0x46 to 0x48, overlaps the device info block"},
        {"0x48:AB", {"AB"}, ""},
        {"0x100:ABCD|0x104:X",
         {"ABCD", "X"},
         "Fixed item (Off. 0x100), bytes 0x100 to 0x104, overlaps Fixed item (Off. 0x104), bytes 0x104 to "
         "0x105!"},
        {"0x100:ABC|0x104:X", {"ABC", "X"}, ""},
        {"0x100|0x200|0x102",
         {"AB", "", "Z"},
         "Extra ID1 (Off. 0x100), bytes 0x100 to 0x102, overlaps Extra ID3 (Off. 0x102), bytes 0x102 to "
         "0x103!"},
        // An item that writes nothing overlaps nothing.
        {"0x0|0x100", {"", "A"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extraInfo);
        BurnConfig config;
        ParseOffsetItems(c.extraInfo, config);
        std::vector<std::uint64_t> sizes;
        for (const std::string& value : c.values)
            sizes.push_back(OffsetItemDataSize(value));
        const std::string message = FindItemOverlap(config, 70, sizes);
        if (c.message.empty())
            EXPECT_EQ(message, "");
        else
            EXPECT_EQ(message.rfind(c.message, 0), 0u) << message;
    }
    // The operator's language.
    BurnConfig config;
    ParseOffsetItems("0x10", config);
    ChooseStartLanguage(1);
    EXPECT_EQ(
        FindItemOverlap(config, 70, {4}).rfind(tv::Utf8ToLocal("额外ID1 (偏移0x10), 字节 0x10 到 0x13"), 0),
        0u);
    ChooseStartLanguage(2);
}

TEST(OffsetItemDataSize, TextFileAndNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("unit.bin").toStdString();
    std::ofstream(path, std::ios::binary) << std::string(10, 'k');
    EXPECT_EQ(OffsetItemDataSize("ABC"), 4u);
    EXPECT_EQ(OffsetItemDataSize(""), 0u);
    EXPECT_EQ(OffsetItemDataSize("<file:" + path + ">"), 11u);
    EXPECT_EQ(OffsetItemDataSize("<file:" + path + ".missing>"), 0u);
    EXPECT_EQ(OffsetItemDataSize("<file:" + dir.path().toStdString() + ">"), 0u);
}

TEST(Crc32, AsZlibComputesIt) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0xcbf43926u);
    EXPECT_EQ(Crc32(nullptr, 0), 0u);
    const Bytes zeros(32, 0);
    EXPECT_EQ(Crc32(zeros.data(), zeros.size()), 0x190a55adu);
}

TEST(ParseCrc32Answer, TakesEightDigitsAfterTheArrow) {
    std::uint32_t crc = 0;
    EXPECT_TRUE(ParseCrc32Answer("crc32 for 81000000 ... 81000045 ==> 1a2b3c4d\r\n[EOT]", crc));
    EXPECT_EQ(crc, 0x1a2b3c4du);
    for (const char* bad : {"", "crc32 for 81000000 ... 81000045\r\n[EOT]", "==> 1a2b3c\r\n",
                            "==> 1a2b3c4d5\r\n", "==> zz2b3c4d\r\n"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseCrc32Answer(bad, crc));
    }
}

// Answers "crc32" with a given CRC; records the rest.
class CCrcSink : public ICommandSink {
public:
    std::vector<std::string> sent;
    std::string answer;
    std::string failPrefix;
    bool SendCommand(const std::string& text) override {
        sent.push_back(text);
        return failPrefix.empty() || text.rfind(failPrefix, 0) != 0;
    }
    std::string LastOutput() const override { return answer; }
};

TEST(VerifyWrittenRegions, ReadsTheCoveringBlocksAndReportsTheFirstMismatch) {
    ChooseStartLanguage(2);
    tagFlashLayout nand;
    nand.strFlashType = "nand";
    nand.dwPartOffset = 0x100000;
    nand.dwBlockSize = 0x20000;
    nand.dwPageSize = 0x800;
    tagFlashLayout emmc = nand;
    emmc.strFlashType = "emmc";
    emmc.dwBlockSize = 512;
    const Bytes abc = {'A', 'B', 'C', 0};
    const std::uint32_t crc = Crc32(abc.data(), abc.size());
    const std::vector<tagWrittenRegion> regions = {{"Extra ID1 (Off. 0x1fffe)", 0x11fffe, abc}};

    CCrcSink sink;
    sink.answer = "crc32 for 8101fffe ... 81020001 ==> " + tv::Format("%08x", crc) + "\r\n";
    EXPECT_EQ(VerifyWrittenRegions(sink, nand, 0x81000000, regions), "");
    EXPECT_EQ(sink.sent,
              (std::vector<std::string>{"nand read 0x81000000 0x100000 0x40000", "crc32 0x8101fffe 0x4"}));
    sink.sent.clear();
    EXPECT_EQ(VerifyWrittenRegions(sink, emmc, 0x81000000, regions), "");
    EXPECT_EQ(sink.sent,
              (std::vector<std::string>{"mmc read 0 0x81000000 0x8ff 0x2", "crc32 0x810001fe 0x4"}));

    sink.answer = "crc32 for 8101fffe ... 81020001 ==> 00000000\r\n";
    EXPECT_EQ(VerifyWrittenRegions(sink, nand, 0x81000000, regions),
              "Read-back check of the Extra ID1 (Off. 0x1fffe) (flash 0x11fffe, 0x4 bytes) failed: expected "
              "CRC-32 " +
                  tv::Format("%08x", crc) + ", the board read 00000000.");
    for (const char* failing : {"nand read", "crc32"}) {
        SCOPED_TRACE(failing);
        sink.failPrefix = failing;
        EXPECT_NE(VerifyWrittenRegions(sink, nand, 0x81000000, regions).find("the board gave none"),
                  std::string::npos);
    }
}

} // namespace
