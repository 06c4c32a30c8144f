#include "DeviceInfo.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

constexpr std::uint32_t kStaging = 0x81000000;

// Records every command; the n-th command that starts with a given prefix can be made to fail.
class CRecordingSink : public ICommandSink {
public:
    std::vector<std::string> sent;

    void FailAt(const std::string& prefix, int occurrence = 1) {
        m_failures.push_back({prefix, occurrence, 0});
    }

    bool SendCommand(const std::string& text) override {
        sent.push_back(text);
        bool ok = true;
        for (Failure& f : m_failures)
            if (text.rfind(f.prefix, 0) == 0 && ++f.seen == f.occurrence)
                ok = false;
        return ok;
    }

    // The commands other than the word stores, which are checked through StagedImage.
    std::vector<std::string> Others() const {
        std::vector<std::string> r;
        for (const std::string& s : sent)
            if (s.rfind("mw.l ", 0) != 0)
                r.push_back(s);
        return r;
    }
    std::size_t WordStores() const { return sent.size() - Others().size(); }

    // Board memory from staging on, as the "mw.b" and "mw.l" commands sent so far leave it; bytes no
    // command touched read 0xAA.
    Bytes StagedImage(std::uint32_t staging, std::size_t size) const {
        Bytes ram(size, 0xAA);
        for (const std::string& s : sent) {
            unsigned addr = 0, value = 0, count = 0;
            if (std::sscanf(s.c_str(), "mw.b %x %x %x", &addr, &value, &count) == 3) {
                for (std::uint64_t a = addr; a < std::uint64_t(addr) + count; ++a)
                    if (a >= staging && a - staging < size)
                        ram[a - staging] = std::uint8_t(value);
            } else if (std::sscanf(s.c_str(), "mw.l %x %x %x", &addr, &value, &count) == 3) {
                for (unsigned i = 0; i < 4; ++i)
                    if (addr + i >= staging && addr + i - staging < size)
                        ram[addr + i - staging] = std::uint8_t(value >> (8 * i));
            }
        }
        return ram;
    }

private:
    struct Failure {
        std::string prefix;
        int occurrence;
        int seen;
    };
    std::vector<Failure> m_failures;
};

Bytes ToBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

tagFlashLayout Layout(const std::string& type, std::uint32_t part, std::uint32_t block, std::uint32_t page) {
    tagFlashLayout l;
    l.strFlashType = type;
    l.dwPartOffset = part;
    l.dwBlockSize = block;
    l.dwPageSize = page;
    return l;
}

const std::string kMac = "00:1a:2b:3c:4d:5e";
const Bytes kExampleBlock =
    ToBytes("00:1a:2b:3c:4d:5e\0SN0001\0MAGICNUM=deviceinfo\0LENGTH=00000046\0HWVER=A1\0"s);

// ---- the block -------------------------------------------------------------------------------------

TEST(ComposeDeviceInfoBlock, LaysOutTheFields) {
    struct Case {
        const char* name;
        std::string mac, id;
        std::vector<std::string> keys;
        bool hasKeyItems;
        Bytes expected;
    };
    const std::vector<Case> cases = {
        {"one key item", kMac, "SN0001", {"HWVER=A1"}, true, kExampleBlock},
        {"no key items", kMac, "SN0001", {}, false, ToBytes("00:1a:2b:3c:4d:5e\0SN0001\0"s)},
        {"empty MAC", "", "SN1", {}, false, ToBytes("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0SN1\0"s)},
        {"empty ID",
         kMac,
         "",
         {"A=1"},
         true,
         ToBytes("00:1a:2b:3c:4d:5e\0\0MAGICNUM=deviceinfo\0LENGTH=0000003b\0A=1\0"s)},
        {"key item with an empty value",
         kMac,
         "X",
         {"NAME=", "B=2"},
         true,
         ToBytes("00:1a:2b:3c:4d:5e\0X\0MAGICNUM=deviceinfo\0LENGTH=00000042\0NAME=\0B=2\0"s)},
        {"key items configured, none given",
         kMac,
         "X",
         {},
         true,
         ToBytes("00:1a:2b:3c:4d:5e\0X\0MAGICNUM=deviceinfo\0LENGTH=00000038\0"s)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<Bytes> block = ComposeDeviceInfoBlock(c.mac, c.id, c.keys, c.hasKeyItems);
        ASSERT_TRUE(block.has_value());
        EXPECT_EQ(*block, c.expected);
        EXPECT_EQ(DeviceInfoBlockLength(c.id, c.keys, c.hasKeyItems), c.expected.size());
    }
}

TEST(ComposeDeviceInfoBlock, RefusesWhatTheBuffersCannotHold) {
    struct Case {
        const char* name;
        std::size_t idLength, entryLength;
        bool hasKeyItems;
        bool fits;
    };
    // L = 19 + n without key items, 55 + n + entry + 1 with one; the limit is 1024 after rounding up
    // to whole words.
    const std::vector<Case> cases = {
        {"ID filling the buffer", 1005, 0, false, true},
        {"L of 1021 rounds up to 1024", 1002, 0, false, true},
        {"ID one byte too long", 1006, 0, false, false},
        {"key entry filling the buffer", 0, 968, true, true},
        {"key entry one byte too long", 0, 969, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string id(c.idLength, 'I');
        std::vector<std::string> keys;
        if (c.hasKeyItems)
            keys.push_back("K=" + std::string(c.entryLength - 2, 'v'));
        const std::optional<Bytes> block = ComposeDeviceInfoBlock(kMac, id, keys, c.hasKeyItems);
        EXPECT_EQ(block.has_value(), c.fits);
        if (block)
            EXPECT_EQ(block->size(), DeviceInfoBlockLength(id, keys, c.hasKeyItems));
        else
            EXPECT_GT((DeviceInfoBlockLength(id, keys, c.hasKeyItems) + 3) / 4 * 4, DEVINFO_MAX_SIZE);
    }
}

TEST(ToWords, LittleEndianZeroPadded) {
    EXPECT_EQ(ToWords({}), std::vector<std::uint32_t>{});
    EXPECT_EQ(ToWords({0x30, 0x30, 0x3a, 0x31, 0x31}), (std::vector<std::uint32_t>{0x313a3030, 0x31}));
    EXPECT_EQ(ToWords({0xff, 0xfe, 0xfd, 0xfc}), std::vector<std::uint32_t>{0xfcfdfeff});
}

TEST(StagingAddress, BoardTypeFourUsesLowMemory) {
    EXPECT_EQ(StagingAddress(4), 0x01000000u);
    EXPECT_EQ(StagingAddress(0), 0x81000000u);
    EXPECT_EQ(StagingAddress(3), 0x81000000u);
    EXPECT_EQ(StagingAddress(5), 0x81000000u);
}

TEST(StageToBoardRam, StopsAtTheFirstFailure) {
    struct Case {
        const char* name;
        const char* failPrefix;
        int occurrence;
        std::size_t sent;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"all succeed", nullptr, 0, 4, true},
        {"fill fails", "mw.b", 1, 1, false},
        {"second word fails", "mw.l", 2, 3, false},
        {"last word fails", "mw.l", 3, 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingSink sink;
        if (c.failPrefix)
            sink.FailAt(c.failPrefix, c.occurrence);
        EXPECT_EQ(StageToBoardRam(sink, kStaging, "mw.b 0x81000000 0xff 100", ToBytes("ABCDEFGHI")), c.ok);
        EXPECT_EQ(sink.sent.size(), c.sent);
    }
}

TEST(WriteDeviceInfoBlock, NandExampleCommandByCommand) {
    CRecordingSink sink;
    ASSERT_TRUE(
        WriteDeviceInfoBlock(sink, Layout("nand", 0x100000, 0x20000, 0x800), kStaging, kExampleBlock));
    ASSERT_EQ(sink.sent.size(), 1u + 18u + 2u);
    EXPECT_EQ(sink.sent[0], "mw.b 0x81000000 0xff 0x20000");
    EXPECT_EQ(sink.sent[1], "mw.l 0x81000000 0x313a3030 1");
    EXPECT_EQ(sink.sent[17], "mw.l 0x81000040 0x413d5245 1");
    EXPECT_EQ(sink.sent[18], "mw.l 0x81000044 0x31 1");
    EXPECT_EQ(sink.sent[19], "nand erase 0x100000 0x20000");
    EXPECT_EQ(sink.sent[20], "nand write 0x81000000 0x100000 0x20000");

    // The staged memory is the block, zeros to the word boundary, then the 0xff fill.
    Bytes expected = kExampleBlock;
    expected.resize(72, 0x00);
    expected.resize(0x100, 0xff);
    EXPECT_EQ(sink.StagedImage(kStaging, 0x100), expected);
}

TEST(WriteDeviceInfoBlock, SequencePerFlashType) {
    struct Case {
        const char* name;
        tagFlashLayout layout;
        std::uint32_t staging;
        Bytes block;
        std::vector<std::string> others; // every command but the word stores
        std::size_t words;
    };
    const Bytes noKeys = ToBytes("00:1a:2b:3c:4d:5e\0SN0001\0"s);
    const std::vector<Case> cases = {
        {"nand",
         Layout("nand", 0x100000, 0x20000, 0x800),
         kStaging,
         kExampleBlock,
         {"mw.b 0x81000000 0xff 0x20000", "nand erase 0x100000 0x20000",
          "nand write 0x81000000 0x100000 0x20000"},
         18},
        {"serial flash probes first",
         Layout("spi", 0x80000, 0x10000, 0x100),
         kStaging,
         kExampleBlock,
         {"mw.b 0x81000000 0xff 0x10000", "sf probe 0", "sf erase 0x80000 0x10000",
          "sf write 0x81000000 0x80000 0x10000"},
         18},
        {"emmc writes one block, no erase",
         Layout("emmc", 0x200000, 512, 512),
         kStaging,
         kExampleBlock,
         {"mw.b 0x81000000 0xff 0x200", "mmc write 0 0x81000000 0x1000 1"},
         18},
        {"board type 4",
         Layout("nand", 0x100000, 0x20000, 0x800),
         StagingAddress(4),
         noKeys,
         {"mw.b 0x1000000 0xff 0x20000", "nand erase 0x100000 0x20000",
          "nand write 0x1000000 0x100000 0x20000"},
         7},
        // Its end would be lost in one 512-byte block.
        {"600-byte block on emmc takes two blocks",
         Layout("emmc", 0x200000, 512, 512),
         kStaging,
         Bytes(600, 0x41),
         {"mw.b 0x81000000 0xff 0x400", "mmc write 0 0x81000000 0x1000 0x2"},
         150},
        {"1024-byte block on emmc",
         Layout("emmc", 0x200000, 512, 512),
         kStaging,
         Bytes(1024, 0x41),
         {"mw.b 0x81000000 0xff 0x400", "mmc write 0 0x81000000 0x1000 0x2"},
         256},
        {"512-byte block on emmc still one block",
         Layout("emmc", 0x200000, 512, 512),
         kStaging,
         Bytes(510, 0x41),
         {"mw.b 0x81000000 0xff 0x200", "mmc write 0 0x81000000 0x1000 1"},
         128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingSink sink;
        EXPECT_TRUE(WriteDeviceInfoBlock(sink, c.layout, c.staging, c.block));
        EXPECT_EQ(sink.Others(), c.others);
        EXPECT_EQ(sink.WordStores(), c.words);
        // Every word lands at its own address from the staging address on.
        EXPECT_EQ(sink.StagedImage(c.staging, c.block.size()), c.block);
    }
}

TEST(WriteDeviceInfoBlock, NoKeyItemsLastWordIsTheIdTerminator) {
    const std::optional<Bytes> block = ComposeDeviceInfoBlock(kMac, "SN0001", {}, false);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->size(), 25u);
    CRecordingSink sink;
    ASSERT_TRUE(WriteDeviceInfoBlock(sink, Layout("nand", 0x100000, 0x20000, 0x800), kStaging, *block));
    EXPECT_EQ(sink.WordStores(), 7u);
    EXPECT_EQ(sink.sent[7], "mw.l 0x81000018 0x0 1");
}

TEST(WriteDeviceInfoBlock, FirstFailureEndsThePhase) {
    struct Case {
        const char* name;
        const char* type;
        const char* failPrefix;
        int occurrence;
        std::string lastSent;
    };
    const std::vector<Case> cases = {
        {"fill", "nand", "mw.b", 1, "mw.b 0x81000000 0xff 0x20000"},
        {"third word", "nand", "mw.l", 3, "mw.l 0x81000008 0x3a63333a 1"},
        {"last word", "nand", "mw.l", 18, "mw.l 0x81000044 0x31 1"},
        {"probe", "spi", "sf probe", 1, "sf probe 0"},
        {"nand erase", "nand", "nand erase", 1, "nand erase 0x100000 0x20000"},
        {"serial flash erase", "spi", "sf erase", 1, "sf erase 0x100000 0x20000"},
        {"nand write", "nand", "nand write", 1, "nand write 0x81000000 0x100000 0x20000"},
        {"emmc write", "emmc", "mmc write", 1, "mmc write 0 0x81000000 0x800 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingSink sink;
        sink.FailAt(c.failPrefix, c.occurrence);
        const std::uint32_t block = std::string(c.type) == "emmc" ? 512 : 0x20000;
        EXPECT_FALSE(
            WriteDeviceInfoBlock(sink, Layout(c.type, 0x100000, block, 0x800), kStaging, kExampleBlock));
        ASSERT_FALSE(sink.sent.empty());
        EXPECT_EQ(sink.sent.back(), c.lastSent);
    }
}

TEST(WriteDeviceInfoBlock, RefusesALayoutWithoutTypeOrBlockSize) {
    for (const tagFlashLayout& layout :
         {Layout("", 0x100000, 0x20000, 0x800), Layout("NAND", 0, 0x20000, 0x800),
          Layout("emmc", 0x200000, 0, 512), Layout("nand", 0x100000, 0, 0x800),
          // One erase block too small for the block's 72 bytes: its end would be lost.
          Layout("nand", 0x100000, 0x40, 0x40)}) {
        SCOPED_TRACE(layout.strFlashType);
        CRecordingSink sink;
        EXPECT_FALSE(WriteDeviceInfoBlock(sink, layout, kStaging, kExampleBlock));
        EXPECT_TRUE(sink.sent.empty());
    }
}

// ---- offset items ----------------------------------------------------------------------------------

struct ItemCase {
    const char* name;
    tagFlashLayout layout;
    std::uint32_t offset;
    std::string value;
    std::vector<std::string> others; // every command but the word stores
    std::size_t words;
    ItemOutcome outcome;
    const char* failPrefix = nullptr;
    int occurrence = 1;
};

void RunItemCases(const std::vector<ItemCase>& cases) {
    for (const ItemCase& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingSink sink;
        if (c.failPrefix)
            sink.FailAt(c.failPrefix, c.occurrence);
        EXPECT_EQ(WriteOffsetItem(sink, c.layout, kStaging, c.offset, c.value), c.outcome);
        EXPECT_EQ(sink.Others(), c.others);
        EXPECT_EQ(sink.WordStores(), c.words);
    }
}

const tagFlashLayout kNand = Layout("nand", 0x100000, 0x20000, 0x800);
const tagFlashLayout kSf = Layout("spi", 0x100000, 0x10000, 0x100);
const tagFlashLayout kEmmc = Layout("emmc", 0x200000, 512, 512);

TEST(WriteOffsetItem, SerialFlashExampleCommandByCommand) {
    CRecordingSink sink;
    EXPECT_EQ(WriteOffsetItem(sink, kSf, kStaging, 0x40, "ABC"), ItemOutcome::Written);
    EXPECT_EQ(sink.sent, (std::vector<std::string>{"mw.b 0x81000000 0xff 100", "mw.l 0x81000000 0x434241 1",
                                                   "sf probe 0", "sf write 0x81000000 0x100040 0x100"}));
}

TEST(WriteOffsetItem, CommandsPerFlashTypeAndOffset) {
    RunItemCases({
        {"nand inside the first erase block",
         kNand,
         0x800,
         "ABCDEFG",
         {"mw.b 0x81000000 0xff 800", "nand write 0x81000000 0x100800 0x800"},
         2,
         ItemOutcome::Written},
        {"nand just below B",
         kNand,
         0x1f800,
         "ABCDEFG",
         {"mw.b 0x81000000 0xff 800", "nand write 0x81000000 0x11f800 0x800"},
         2,
         ItemOutcome::Written},
        // Outside the first erase block nothing else erased the flash: the whole covering blocks are
        // read, changed in memory, erased and written back.
        {"nand at B: read-modify-write of the block at B",
         kNand,
         0x20000,
         "ABCDEFG",
         {"nand read 0x81000000 0x120000 0x20000", "nand erase 0x120000 0x20000",
          "nand write 0x81000000 0x120000 0x20000"},
         2,
         ItemOutcome::Written},
        {"nand at 2B",
         kNand,
         0x40000,
         "ABCDEFG",
         {"nand read 0x81000000 0x140000 0x20000", "nand erase 0x140000 0x20000",
          "nand write 0x81000000 0x140000 0x20000"},
         2,
         ItemOutcome::Written},
        // Its bytes lie in the first block, but a whole page from there would not.
        {"nand page running past the first block",
         kNand,
         0x1fc00,
         "ABC",
         {"nand read 0x81000000 0x100000 0x20000", "nand erase 0x100000 0x20000",
          "nand write 0x81000000 0x100000 0x20000"},
         1,
         ItemOutcome::Written},
        {"nand unaligned across two blocks",
         kNand,
         0x3fffe,
         "ABC",
         {"nand read 0x81000000 0x120000 0x40000", "mw.b 0x8101fffe 0x41 1", "mw.b 0x8101ffff 0x42 1",
          "mw.b 0x81020000 0x43 1", "mw.b 0x81020001 0x0 1", "nand erase 0x120000 0x40000",
          "nand write 0x81000000 0x120000 0x40000"},
         0,
         ItemOutcome::Written},
        {"serial flash outside the first block, unaligned",
         kSf,
         0x10003,
         "ABCDEF",
         {"sf probe 0", "sf read 0x81000000 0x110000 0x10000", "mw.b 0x81000003 0x41 1",
          "mw.b 0x81000008 0x46 1", "mw.b 0x81000009 0x0 1", "sf erase 0x110000 0x10000",
          "sf write 0x81000000 0x110000 0x10000"},
         1,
         ItemOutcome::Written},
        {"serial flash unit running past the first block",
         kSf,
         0xff80,
         "ABC",
         {"sf probe 0", "sf read 0x81000000 0x100000 0x10000", "sf erase 0x100000 0x10000",
          "sf write 0x81000000 0x100000 0x10000"},
         1,
         ItemOutcome::Written},
        // eMMC: the 512-byte blocks holding the item are read first, so only its own bytes change.
        {"emmc at 0x300",
         kEmmc,
         0x300,
         "AB",
         {"mmc read 0 0x81000000 0x1001 0x1", "mw.b 0x81000100 0x41 1", "mw.b 0x81000101 0x42 1",
          "mw.b 0x81000102 0x0 1", "mmc write 0 0x81000000 0x1001 0x1"},
         0,
         ItemOutcome::Written},
        {"emmc unaligned across two blocks",
         kEmmc,
         0x1fe,
         "ABC",
         {"mmc read 0 0x81000000 0x1000 0x2", "mw.b 0x810001fe 0x41 1", "mw.b 0x810001ff 0x42 1",
          "mw.b 0x81000200 0x43 1", "mw.b 0x81000201 0x0 1", "mmc write 0 0x81000000 0x1000 0x2"},
         0,
         ItemOutcome::Written},
        // All 300 bytes reach the flash, not only the first 256.
        {"300 bytes on serial flash",
         kSf,
         0,
         std::string(299, 'x'),
         {"mw.b 0x81000000 0xff 200", "sf probe 0", "sf write 0x81000000 0x100000 0x200"},
         75,
         ItemOutcome::Written},
        {"600 bytes on emmc",
         kEmmc,
         0x400,
         std::string(599, 'x'),
         {"mmc read 0 0x81000000 0x1002 0x2", "mmc write 0 0x81000000 0x1002 0x2"},
         150,
         ItemOutcome::Written},
        {"nand item longer than a page",
         kNand,
         0x40000,
         std::string(0x800, 'x'),
         {"nand read 0x81000000 0x140000 0x20000", "mw.b 0x81000800 0x0 1", "nand erase 0x140000 0x20000",
          "nand write 0x81000000 0x140000 0x20000"},
         0x200,
         ItemOutcome::Written},
        // The last word's bytes go one by one: no padding zero is programmed past the item.
        {"<FILE is no file reference",
         kSf,
         0,
         "<FILE:x>",
         {"mw.b 0x81000000 0xff 100", "mw.b 0x81000008 0x0 1", "sf probe 0",
          "sf write 0x81000000 0x100000 0x100"},
         2,
         ItemOutcome::Written},
        {"empty value is skipped", kNand, 0x800, "", {}, 0, ItemOutcome::Written},
    });
}

TEST(WriteOffsetItem, FailuresAndAborts) {
    RunItemCases({
        {"fill fails", kSf, 0x40, "ABC", {"mw.b 0x81000000 0xff 100"}, 0, ItemOutcome::Failed, "mw.b"},
        {"word fails", kNand, 0x800, "ABCDEFG", {"mw.b 0x81000000 0xff 800"}, 1, ItemOutcome::Failed, "mw.l"},
        {"placement fails after the read",
         kNand,
         0x20000,
         "ABCDEFG",
         {"nand read 0x81000000 0x120000 0x20000"},
         1,
         ItemOutcome::Failed,
         "mw.l"},
        {"nand read fails",
         kNand,
         0x20000,
         "ABC",
         {"nand read 0x81000000 0x120000 0x20000"},
         0,
         ItemOutcome::Failed,
         "nand read"},
        {"serial flash probe before the read fails",
         kSf,
         0x10000,
         "ABC",
         {"sf probe 0"},
         0,
         ItemOutcome::Failed,
         "sf probe"},
        {"emmc read fails",
         kEmmc,
         0x300,
         "AB",
         {"mmc read 0 0x81000000 0x1001 0x1"},
         0,
         ItemOutcome::Failed,
         "mmc read"},
        {"emmc byte placement fails",
         kEmmc,
         0x300,
         "AB",
         {"mmc read 0 0x81000000 0x1001 0x1", "mw.b 0x81000100 0x41 1"},
         0,
         ItemOutcome::Failed,
         "mw.b"},
        {"probe fails",
         kSf,
         0x40,
         "ABC",
         {"mw.b 0x81000000 0xff 100", "sf probe 0"},
         1,
         ItemOutcome::Failed,
         "sf probe"},
        {"nand erase fails",
         kNand,
         0x20000,
         "ABC",
         {"nand read 0x81000000 0x120000 0x20000", "nand erase 0x120000 0x20000"},
         1,
         ItemOutcome::Abort,
         "nand erase"},
        {"serial flash erase fails",
         kSf,
         0x10000,
         "ABC",
         {"sf probe 0", "sf read 0x81000000 0x110000 0x10000", "sf erase 0x110000 0x10000"},
         1,
         ItemOutcome::Abort,
         "sf erase"},
        {"nand write fails",
         kNand,
         0x800,
         "ABC",
         {"mw.b 0x81000000 0xff 800", "nand write 0x81000000 0x100800 0x800"},
         1,
         ItemOutcome::Failed,
         "nand write"},
        {"serial flash write fails",
         kSf,
         0x40,
         "ABC",
         {"mw.b 0x81000000 0xff 100", "sf probe 0", "sf write 0x81000000 0x100040 0x100"},
         1,
         ItemOutcome::Failed,
         "sf write"},
        {"emmc write fails",
         kEmmc,
         0x300,
         "AB",
         {"mmc read 0 0x81000000 0x1001 0x1", "mw.b 0x81000100 0x41 1", "mw.b 0x81000101 0x42 1",
          "mw.b 0x81000102 0x0 1", "mmc write 0 0x81000000 0x1001 0x1"},
         0,
         ItemOutcome::Failed,
         "mmc write"},
        {"nand page size 0", Layout("nand", 0x100000, 0x20000, 0), 0x800, "ABC", {}, 0, ItemOutcome::Abort},
        {"block size 0", Layout("emmc", 0x200000, 0, 512), 0x300, "ABC", {}, 0, ItemOutcome::Abort},
        {"no flash type", Layout("", 0x100000, 0x20000, 0x800), 0x800, "ABC", {}, 0, ItemOutcome::Abort},
        {"flash offset past 32 bits",
         Layout("nand", 0xFFFFF000, 0x20000, 0x800),
         0x2000,
         "ABC",
         {},
         0,
         ItemOutcome::Abort},
        {"write past the top of memory",
         Layout("nand", 0x100000, 0x80000000, 0x80000000),
         0,
         "ABC",
         {},
         0,
         ItemOutcome::Abort},
        {"blocks read past the top of memory",
         Layout("nand", 0x100000, 0x80000000, 0x800),
         0x80000000,
         "ABC",
         {},
         0,
         ItemOutcome::Abort},
    });
}

TEST(WriteOffsetItem, FillCoversTheWholeWrite) {
    // After the block phase the staging area holds the block; none of it may follow the item.
    CRecordingSink sink;
    ASSERT_TRUE(WriteDeviceInfoBlock(sink, kSf, kStaging, Bytes(600, 0x42)));
    ASSERT_EQ(WriteOffsetItem(sink, kSf, kStaging, 0x100, std::string(299, 'x')), ItemOutcome::Written);
    Bytes expected(299, 'x');
    expected.resize(300, 0x00);
    expected.resize(0x200, 0xff);
    EXPECT_EQ(sink.StagedImage(kStaging, 0x200), expected);
}

class WriteOffsetItemFile : public ::testing::Test {
protected:
    std::string MakeFile(const std::string& name, const Bytes& contents) {
        const std::string path = m_dir.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(contents.data()), std::streamsize(contents.size()));
        return path;
    }
    std::string Dir() const { return m_dir.path().toStdString(); }

    QTemporaryDir m_dir;
    // B = 0x800 keeps the staging runs short.
    const tagFlashLayout m_nand = Layout("nand", 0x100000, 0x800, 0x800);
};

TEST_F(WriteOffsetItemFile, StagesTheContentsAndAZero) {
    ASSERT_TRUE(m_dir.isValid());
    const Bytes contents = {'k', 0x00, 0xff, 'e', 'y'};
    const std::string path = MakeFile("unit.bin", contents);
    for (const std::string& value : {"<file:" + path + ">", "  <file  " + path + "  >  "}) {
        SCOPED_TRACE(value);
        CRecordingSink sink;
        EXPECT_EQ(WriteOffsetItem(sink, m_nand, kStaging, 0, value), ItemOutcome::Written);
        EXPECT_EQ(sink.Others(), (std::vector<std::string>{"mw.b 0x81000000 0xff 800",
                                                           "mw.b 0x81000004 0x79 1", "mw.b 0x81000005 0x0 1",
                                                           "nand write 0x81000000 0x100000 0x800"}));
        Bytes expected = contents;
        expected.push_back(0x00);
        expected.resize(0x800, 0xff);
        EXPECT_EQ(sink.StagedImage(kStaging, 0x800), expected);
    }
}

TEST_F(WriteOffsetItemFile, LengthAgainstTheFirstEraseBlock) {
    ASSERT_TRUE(m_dir.isValid());
    const std::string fits = MakeFile("fits.bin", Bytes(0x800, 0x5a));
    const std::string over = MakeFile("over.bin", Bytes(0x801, 0x5a));
    const std::string empty = MakeFile("empty.bin", {});
    struct Case {
        const char* name;
        std::string path;
        std::uint32_t offset;
        ItemOutcome outcome;
        std::vector<std::string> others;
        std::size_t words;
    };
    const std::vector<Case> cases = {
        // The zero byte after B bytes lies in the second block: both blocks are read and written back.
        {"B bytes at 0",
         fits,
         0,
         ItemOutcome::Written,
         {"nand read 0x81000000 0x100000 0x1000", "mw.b 0x81000800 0x0 1", "nand erase 0x100000 0x1000",
          "nand write 0x81000000 0x100000 0x1000"},
         0x200},
        {"B+1 bytes at 0", over, 0, ItemOutcome::Abort, {}, 0},
        {"B+1 bytes at B",
         over,
         0x800,
         ItemOutcome::Written,
         {"nand read 0x81000000 0x100800 0x1000", "mw.b 0x81000800 0x5a 1", "mw.b 0x81000801 0x0 1",
          "nand erase 0x100800 0x1000", "nand write 0x81000000 0x100800 0x1000"},
         0x200},
        {"empty file", empty, 0, ItemOutcome::Written,
         std::vector<std::string>{"mw.b 0x81000000 0xff 800", "mw.b 0x81000000 0x0 1",
                                  "nand write 0x81000000 0x100000 0x800"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingSink sink;
        EXPECT_EQ(WriteOffsetItem(sink, m_nand, kStaging, c.offset, "<file:" + c.path + ">"), c.outcome);
        EXPECT_EQ(sink.Others(), c.others);
        EXPECT_EQ(sink.WordStores(), c.words);
    }
}

TEST_F(WriteOffsetItemFile, UnreadableReferenceAborts) {
    ASSERT_TRUE(m_dir.isValid());
    for (const std::string& value : {"<file:" + Dir() + "/missing.bin>", "<file:" + Dir() + ">", "<file>"s,
                                     "<file"s, " <file: > "s, "x<file"s}) {
        SCOPED_TRACE(value);
        CRecordingSink sink;
        EXPECT_EQ(WriteOffsetItem(sink, m_nand, kStaging, 0, value), ItemOutcome::Abort);
        EXPECT_TRUE(sink.sent.empty());
    }
}

} // namespace
