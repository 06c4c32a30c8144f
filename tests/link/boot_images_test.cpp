// The built-in boot images (layout, effect when run on an emulated ARM core, agreement with their
// assembly sources) and the CA boot file parser.
#include "BootImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#ifdef TELVANOR_HAVE_UNICORN
#include <unicorn/unicorn.h>
#endif

namespace {

std::uint32_t WordAt(const tagBootSegment& s, std::size_t index) {
    const std::uint8_t* p = s.pData + 4 * index;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::vector<std::uint32_t> LastWords(const tagBootSegment& s, std::size_t count) {
    std::vector<std::uint32_t> words;
    for (std::size_t i = s.dwLength / 4 - count; i < s.dwLength / 4; ++i)
        words.push_back(WordAt(s, i));
    return words;
}

std::vector<std::uint8_t> Bytes(const tagBootSegment& s) {
    return {s.pData, s.pData + s.dwLength};
}

constexpr std::uint32_t kBeef = 0xDEADBEEF;
constexpr std::uint32_t kNop = 0xE1A00000;
constexpr std::uint32_t kBranchSelf = 0xEAFFFFFE;
constexpr std::uint32_t kDown = 0x444F574E;

// ---------------------------------------------------------------------------------------------
// Layout of every row

struct RowCase {
    int boardType;
    std::uint32_t seg0Address, seg0Length, seg0FirstWord;
    std::uint32_t seg1Address, seg1Length;
    std::uint32_t base;
    std::vector<std::uint32_t> seg1Tail; // how segment 1 ends
};

void PrintTo(const RowCase& c, std::ostream* os) {
    *os << "board type " << c.boardType;
}

const std::vector<std::uint32_t> kDefaultTail{kBeef, kBeef, kBeef, 0x10200000, 0x000004D8, kNop, kNop};

class BootImageRowTest : public ::testing::TestWithParam<RowCase> {};

TEST_P(BootImageRowTest, AddressesLengthsAndWords) {
    const RowCase& c = GetParam();
    const BootImageRow& row = BuiltInBootImages(c.boardType);

    EXPECT_EQ(row.segment0.dwAddress, c.seg0Address);
    EXPECT_EQ(row.segment0.dwLength, c.seg0Length);
    EXPECT_EQ(row.segment1.dwAddress, c.seg1Address);
    EXPECT_EQ(row.segment1.dwLength, c.seg1Length);
    EXPECT_EQ(row.registerBase, c.base);
    ASSERT_NE(row.segment0.pData, nullptr);
    ASSERT_NE(row.segment1.pData, nullptr);

    EXPECT_EQ(WordAt(row.segment0, 0), c.seg0FirstWord);
    EXPECT_EQ(WordAt(row.segment0, 1), 0xE30000B0u);
    EXPECT_EQ(WordAt(row.segment0, c.seg0Length / 4 - 1), kBeef);
    EXPECT_EQ(WordAt(row.segment1, 0), 0xE30000B8u);
    EXPECT_EQ(LastWords(row.segment1, c.seg1Tail.size()), c.seg1Tail);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BootImageRowTest,
    ::testing::Values(
        RowCase{1, 0x12000, 64, 0xE92D4000, 0x10C00, 80, 0x101E0000, {kBranchSelf}},
        RowCase{2, 0xFFFE1000, 64, 0xE52DE004, 0xFFFE0C00, 64, 0xF8000000, {kBranchSelf, kBeef}},
        RowCase{3, 0x12000, 64, 0xE52DE004, 0x10C00, 80, 0x101E0000, {kBranchSelf, kBeef, kBeef, kBeef}},
        RowCase{4,
                0xFFFE1000,
                64,
                0xE52DE004,
                0xFFFE1400,
                64,
                0xF8000000,
                {kBranchSelf, 0xFFFF0040, kNop, kNop, kNop}},
        RowCase{0, 0x12000, 64, 0xE92D4000, 0x10C00, 112, 0x101E0000, kDefaultTail},
        RowCase{5, 0x12000, 64, 0xE92D4000, 0x10C00, 112, 0x101E0000, kDefaultTail},
        RowCase{-1, 0x12000, 64, 0xE92D4000, 0x10C00, 112, 0x101E0000, kDefaultTail}),
    [](const auto& info) {
        const int t = info.param.boardType;
        return "board_type_" + (t < 0 ? "minus" + std::to_string(-t) : std::to_string(t));
    });

TEST(BootImageRows, SharedAndDistinctImages) {
    // Segment 0 is shared by the default row and row 1, and by rows 2 and 4.
    EXPECT_EQ(Bytes(BuiltInBootImages(0).segment0), Bytes(BuiltInBootImages(1).segment0));
    EXPECT_EQ(Bytes(BuiltInBootImages(2).segment0), Bytes(BuiltInBootImages(4).segment0));
    EXPECT_NE(Bytes(BuiltInBootImages(3).segment0), Bytes(BuiltInBootImages(2).segment0));
    // Rows 1 and 3 look alike from outside but start the board differently.
    EXPECT_NE(Bytes(BuiltInBootImages(1).segment1), Bytes(BuiltInBootImages(3).segment1));
    // Every value outside 1..4 is the default row itself.
    EXPECT_EQ(&BuiltInBootImages(7), &BuiltInBootImages(0));
    EXPECT_EQ(&BuiltInBootImages(-1), &BuiltInBootImages(0));
}

// ---------------------------------------------------------------------------------------------
// The images on an emulated ARM core

#ifdef TELVANOR_HAVE_UNICORN

struct Access {
    std::uint32_t address;
    std::uint32_t value;
    unsigned size;
    bool operator==(const Access&) const = default;
};

void PrintTo(const Access& a, std::ostream* os) {
    char text[64];
    std::snprintf(text, sizeof text, "[0x%08X]/%u = 0x%08X", a.address, a.size, a.value);
    *os << text;
}

constexpr std::uint32_t kStackBase = 0x70000000;
constexpr std::uint32_t kStackTop = 0x70008000;
constexpr std::uint32_t kModeRegister = 0x10200000;
constexpr std::uint32_t kExtraRegister = 0x60010004;
constexpr std::uint32_t kPage = 0x1000;

// One board: both segments of a row in memory, a stack, and the peripheral pages the images touch
// (the marker registers at B, the word at 0x10200000, the page of 0x60010004) recording every access.
class EmulatedBoard {
public:
    explicit EmulatedBoard(const BootImageRow& row) {
        EXPECT_EQ(uc_open(UC_ARCH_ARM, UC_MODE_ARM, &m_uc), UC_ERR_OK);
        Load(row.segment0);
        Load(row.segment1);
        EXPECT_EQ(uc_mem_map(m_uc, kStackBase, 0x10000, UC_PROT_READ | UC_PROT_WRITE), UC_ERR_OK);
        Peripheral(row.registerBase & ~(kPage - 1));
        Peripheral(kModeRegister);
        Peripheral(kExtraRegister & ~(kPage - 1));
        SetReg(UC_ARM_REG_SP, kStackTop);
    }
    ~EmulatedBoard() { uc_close(m_uc); }
    EmulatedBoard(const EmulatedBoard&) = delete;
    EmulatedBoard& operator=(const EmulatedBoard&) = delete;

    // Runs from the segment's first word until pc reaches `until`, a limit of instructions is
    // spent, or a second of host time passes.
    uc_err Run(const tagBootSegment& s, std::uint32_t until, std::size_t maxInstructions = 1000) {
        return uc_emu_start(m_uc, s.dwAddress, until, 1000000, maxInstructions);
    }

    std::uint32_t Reg(int reg) {
        std::uint32_t v = 0;
        uc_reg_read(m_uc, reg, &v);
        return v;
    }
    void SetReg(int reg, std::uint32_t v) { uc_reg_write(m_uc, reg, &v); }
    std::uint32_t Word(std::uint32_t address) {
        std::uint8_t b[4] = {};
        uc_mem_read(m_uc, address, b, 4);
        return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
               std::uint32_t(b[3]) << 24;
    }
    void PutWords(std::uint32_t address, const std::vector<std::uint32_t>& words) {
        for (std::uint32_t w : words) {
            const std::uint8_t b[4] = {std::uint8_t(w), std::uint8_t(w >> 8), std::uint8_t(w >> 16),
                                       std::uint8_t(w >> 24)};
            EXPECT_EQ(uc_mem_write(m_uc, address, b, 4), UC_ERR_OK);
            address += 4;
        }
    }

    std::uint32_t modeWord = 0; // what the word at 0x10200000 reads as
    std::vector<Access> writes; // peripheral stores, in order
    std::vector<Access> reads;  // peripheral loads, in order

private:
    struct Region {
        EmulatedBoard* board;
        std::uint32_t base;
    };

    void Load(const tagBootSegment& s) {
        for (std::uint32_t page = s.dwAddress & ~(kPage - 1); page < s.dwAddress + s.dwLength;
             page += kPage) {
            if (m_codePages.insert(page).second) {
                EXPECT_EQ(uc_mem_map(m_uc, page, kPage, UC_PROT_ALL), UC_ERR_OK);
            }
        }
        EXPECT_EQ(uc_mem_write(m_uc, s.dwAddress, s.pData, s.dwLength), UC_ERR_OK);
    }

    void Peripheral(std::uint32_t base) {
        Region& r = m_regions.emplace_back(Region{this, base});
        EXPECT_EQ(uc_mmio_map(m_uc, base, kPage, &EmulatedBoard::OnRead, &r, &EmulatedBoard::OnWrite, &r),
                  UC_ERR_OK);
    }

    static std::uint64_t OnRead(uc_engine*, std::uint64_t offset, unsigned size, void* user) {
        auto* r = static_cast<Region*>(user);
        const std::uint32_t address = r->base + std::uint32_t(offset);
        const std::uint32_t value = address == kModeRegister ? r->board->modeWord : 0;
        r->board->reads.push_back({address, value, size});
        return value;
    }
    static void OnWrite(uc_engine*, std::uint64_t offset, unsigned size, std::uint64_t value, void* user) {
        auto* r = static_cast<Region*>(user);
        r->board->writes.push_back({r->base + std::uint32_t(offset), std::uint32_t(value), size});
    }

    uc_engine* m_uc = nullptr;
    std::set<std::uint32_t> m_codePages;
    std::deque<Region> m_regions; // stable addresses for the callbacks
};

constexpr std::uint32_t kRomReturn = 0x00F00000; // where segment 0 is called from (nothing mapped)

class SegmentZeroTest : public ::testing::TestWithParam<int> {};

TEST_P(SegmentZeroTest, MarksAndReturnsToTheBootRom) {
    const BootImageRow& row = BuiltInBootImages(GetParam());
    EmulatedBoard board(row);
    board.SetReg(UC_ARM_REG_LR, kRomReturn);
    for (int r = UC_ARM_REG_R4; r <= UC_ARM_REG_R11; ++r)
        board.SetReg(r, 0x0A000000u + std::uint32_t(r));

    ASSERT_EQ(board.Run(row.segment0, kRomReturn), UC_ERR_OK);

    EXPECT_EQ(board.Reg(UC_ARM_REG_PC), kRomReturn);
    EXPECT_EQ(board.Reg(UC_ARM_REG_SP), kStackTop);
    const std::uint32_t b = row.registerBase;
    EXPECT_EQ(board.writes, (std::vector<Access>{
                                {b + 0xB0, kDown, 4}, {b + 0xB8, 0x7A696A75, 4}, {b + 0xBC, kRomReturn, 4}}));
    EXPECT_TRUE(board.reads.empty());
    // The boot ROM goes on with its own registers.
    for (int r = UC_ARM_REG_R4; r <= UC_ARM_REG_R11; ++r)
        EXPECT_EQ(board.Reg(r), 0x0A000000u + std::uint32_t(r)) << "register " << r - UC_ARM_REG_R0;
}

INSTANTIATE_TEST_SUITE_P(Rows, SegmentZeroTest, ::testing::Values(0, 1, 2, 3, 4));

enum class Exit { Jump, Unwind, Loop };

struct SegmentOneCase {
    const char* name;
    int boardType;
    std::uint32_t modeWord; // only read by the default row
    Exit exit;
    std::uint32_t target; // for Jump
    bool setsExtraRegister;
};

void PrintTo(const SegmentOneCase& c, std::ostream* os) {
    *os << c.name;
}

class SegmentOneTest : public ::testing::TestWithParam<SegmentOneCase> {};

// The boot ROM's frame as rows 1 and 2 find it: its saved r4..r11, 0x20 bytes of locals, then its
// caller's r4 and return address.
constexpr std::uint32_t kCallerR4 = 0x44444444;
constexpr std::uint32_t kCallerReturn = 0x00E00000;
std::uint32_t SavedRegister(int n) {
    return 0x5A000000u + std::uint32_t(n);
}

TEST_P(SegmentOneTest, MarksAndStartsTheBoard) {
    const SegmentOneCase& c = GetParam();
    const BootImageRow& row = BuiltInBootImages(c.boardType);
    EmulatedBoard board(row);
    board.modeWord = c.modeWord;
    board.SetReg(UC_ARM_REG_LR, kRomReturn);
    for (int r = UC_ARM_REG_R4; r <= UC_ARM_REG_R11; ++r)
        board.SetReg(r, 0xBAD00000u + std::uint32_t(r));

    std::uint32_t until = 0xFFFFFFF0; // never reached: the run ends at the instruction limit
    std::uint32_t sp = kStackTop;
    if (c.exit == Exit::Jump)
        until = c.target;
    if (c.exit == Exit::Unwind) {
        std::vector<std::uint32_t> frame;
        for (int n = 4; n <= 11; ++n)
            frame.push_back(SavedRegister(n));
        for (int i = 0; i < 8; ++i)
            frame.push_back(0x10CA1000u + std::uint32_t(i));
        frame.push_back(kCallerR4);
        frame.push_back(kCallerReturn);
        sp = kStackTop - 4 * std::uint32_t(frame.size());
        board.PutWords(sp, frame);
        board.SetReg(UC_ARM_REG_SP, sp);
        until = kCallerReturn;
    }

    ASSERT_EQ(board.Run(row.segment1, until, 300), UC_ERR_OK);

    const std::uint32_t b = row.registerBase;
    std::vector<Access> expected{{b + 0xB8, 0xFFFFFFFF, 4}, {b + 0xB0, kDown, 4}};
    if (c.setsExtraRegister)
        expected.push_back({kExtraRegister, 0x00000FFF, 4});
    EXPECT_EQ(board.writes, expected);
    if (c.boardType >= 1 && c.boardType <= 4)
        EXPECT_TRUE(board.reads.empty());
    else
        EXPECT_EQ(board.reads, (std::vector<Access>{{kModeRegister, c.modeWord, 4}}));

    const std::uint32_t pc = board.Reg(UC_ARM_REG_PC);
    switch (c.exit) {
    case Exit::Jump:
        EXPECT_EQ(pc, c.target);
        break;
    case Exit::Unwind:
        EXPECT_EQ(pc, kCallerReturn);
        EXPECT_EQ(board.Reg(UC_ARM_REG_SP), kStackTop);
        EXPECT_EQ(board.Reg(UC_ARM_REG_LR), kCallerReturn);
        EXPECT_EQ(board.Reg(UC_ARM_REG_R4), kCallerR4);
        for (int n = 5; n <= 11; ++n)
            EXPECT_EQ(board.Reg(UC_ARM_REG_R0 + n), SavedRegister(n)) << "r" << n;
        break;
    case Exit::Loop:
        // Still inside the image after 300 instructions, on a branch to itself.
        ASSERT_GE(pc, row.segment1.dwAddress);
        ASSERT_LT(pc, row.segment1.dwAddress + row.segment1.dwLength);
        EXPECT_EQ(board.Word(pc) & 0x0FFFFFFF, 0x0AFFFFFEu) << std::hex << board.Word(pc);
        break;
    }
}

// Bits 10..9 of the mode word pick the start; the other bits must not matter.
INSTANTIATE_TEST_SUITE_P(
    Rows, SegmentOneTest,
    ::testing::Values(SegmentOneCase{"default_mode1", 0, 0x00000200, Exit::Jump, 0x24000000, false},
                      SegmentOneCase{"default_mode1_noise", 0, 0xFFFFFBFF, Exit::Jump, 0x24000000, false},
                      SegmentOneCase{"default_mode0", 0, 0x00000000, Exit::Jump, 0x26000000, false},
                      SegmentOneCase{"default_mode0_noise", 0, 0xFFFFF9FF, Exit::Jump, 0x26000000, false},
                      SegmentOneCase{"default_mode3", 0, 0x00000600, Exit::Jump, 0x000004D8, false},
                      SegmentOneCase{"default_mode2", 0, 0x00000400, Exit::Loop, 0, false},
                      SegmentOneCase{"default_mode2_noise", 0, 0xFFFFFDFF, Exit::Loop, 0, false},
                      SegmentOneCase{"row1", 1, 0, Exit::Unwind, 0, true},
                      SegmentOneCase{"row2", 2, 0, Exit::Unwind, 0, false},
                      SegmentOneCase{"row3", 3, 0, Exit::Jump, 0x00000040, true},
                      SegmentOneCase{"row4", 4, 0, Exit::Jump, 0xFFFF0040, false}),
    [](const auto& info) { return std::string(info.param.name); });

#else

TEST(BootImageEmulation, Unavailable) {
    GTEST_SKIP() << "built without the Unicorn emulator";
}

#endif

// ---------------------------------------------------------------------------------------------
// The arrays against their assembly sources

struct SourceCase {
    const char* file;
    int boardType;
    int segment;
};

const SourceCase kSources[] = {
    {"seg0_default_row1.S", 0, 0}, {"seg0_row2_row4.S", 2, 0}, {"seg0_row3.S", 3, 0},
    {"seg1_default.S", 0, 1},      {"seg1_row1.S", 1, 1},      {"seg1_row2.S", 2, 1},
    {"seg1_row3.S", 3, 1},         {"seg1_row4.S", 4, 1},
};

TEST(BootImageSources, ArraysMatchTheAssembledSources) {
#if defined(TELVANOR_ARM_AS) && defined(TELVANOR_ARM_OBJCOPY)
    namespace fs = std::filesystem;
    const fs::path sources = fs::path(TELVANOR_SOURCE_DIR) / "link" / "boot_images";

    // Every source in the folder is one of the images.
    std::set<std::string> listed;
    for (const SourceCase& c : kSources)
        listed.insert(c.file);
    for (const auto& entry : fs::directory_iterator(sources))
        EXPECT_TRUE(listed.count(entry.path().filename().string())) << entry.path() << " is not checked";

    const fs::path work = fs::temp_directory_path() / ("boot_images_test." + std::to_string(getpid()));
    fs::create_directories(work);
    for (const SourceCase& c : kSources) {
        SCOPED_TRACE(c.file);
        const fs::path object = work / "image.o", binary = work / "image.bin";
        const std::string assemble = std::string("'") + TELVANOR_ARM_AS + "' -march=armv7-a -EL -o '" +
                                     object.string() + "' '" + (sources / c.file).string() + "'";
        const std::string extract = std::string("'") + TELVANOR_ARM_OBJCOPY + "' -O binary '" +
                                    object.string() + "' '" + binary.string() + "'";
        ASSERT_EQ(std::system(assemble.c_str()), 0) << assemble;
        ASSERT_EQ(std::system(extract.c_str()), 0) << extract;
        std::ifstream in(binary, std::ios::binary);
        const std::vector<std::uint8_t> assembled{std::istreambuf_iterator<char>(in), {}};
        const BootImageRow& row = BuiltInBootImages(c.boardType);
        EXPECT_EQ(assembled, Bytes(c.segment == 0 ? row.segment0 : row.segment1));
    }
    fs::remove_all(work);
#else
    GTEST_SKIP() << "arm-none-eabi-as or arm-none-eabi-objcopy not found at configure time";
#endif
}

// ---------------------------------------------------------------------------------------------
// The boot file

// A boot file built in memory; the vector is exactly the file's size, so a read past its end is
// caught by AddressSanitizer.
struct BootFile {
    std::vector<std::uint8_t> bytes;

    explicit BootFile(std::size_t size = 1024) : bytes(size) {
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = std::uint8_t(0x11 * i + 1); // stands for code; the fields are set below
        Version("v1.1.0");
        DescriptionLength(64);
        TailLength(200);
    }
    BootFile& Version(const std::string& text) {
        std::memset(&bytes[36], 0, 16);
        std::memcpy(&bytes[36], text.data(), std::min<std::size_t>(text.size(), 16));
        return *this;
    }
    BootFile& Le32(std::size_t offset, std::uint32_t v) {
        for (std::size_t i = 0; i < 4 && offset + i < bytes.size(); ++i) // a short file keeps what fits
            bytes[offset + i] = std::uint8_t(v >> (8 * i));
        return *this;
    }
    BootFile& DescriptionLength(std::uint32_t l) { return Le32(52, l); }
    BootFile& TailLength(std::uint32_t a) { return Le32(788, a); }
    // Puts the text at 100 and sets L to match.
    BootFile& Description(const std::string& text) {
        std::memcpy(&bytes[100], text.data(), text.size());
        return DescriptionLength(std::uint32_t(64 + text.size()));
    }
};

struct BootFileCase {
    const char* name;
    BootFile file;
    bool ok;
    std::uint32_t segment0Length, segment1Length;
    std::optional<std::string> description;
    BootFileFault fault = BootFileFault::None; // the limit a rejected file breaks
};

void PrintTo(const BootFileCase& c, std::ostream* os) {
    *os << c.name;
}

class BootFileTest : public ::testing::TestWithParam<BootFileCase> {};

TEST_P(BootFileTest, Parses) {
    const BootFileCase& c = GetParam();
    const std::vector<std::uint8_t> data = c.file.bytes; // exact size on the heap
    BootFileLayout layout;
    layout.segment0Length = 0xAAAA;
    layout.segment1Length = 0xBBBB;
    layout.description = "earlier";

    BootFileFault fault = BootFileFault::TooLarge; // overwritten either way
    ASSERT_EQ(ParseBootFile(data.data(), data.size(), layout, &fault), c.ok);
    EXPECT_EQ(fault, c.fault);

    if (c.ok) {
        EXPECT_EQ(layout.segment0Length, c.segment0Length);
        EXPECT_EQ(layout.segment1Length, c.segment1Length);
        EXPECT_EQ(std::size_t(layout.segment0Length) + layout.segment1Length, data.size());
        EXPECT_EQ(layout.description, c.description);
    } else {
        // A rejected file leaves the earlier result alone.
        EXPECT_EQ(layout.segment0Length, 0xAAAAu);
        EXPECT_EQ(layout.segment1Length, 0xBBBBu);
        EXPECT_EQ(layout.description, std::optional<std::string>("earlier"));
    }
}

std::string WithZeros(std::initializer_list<std::string> parts) {
    std::string s;
    for (const std::string& p : parts)
        s += p.empty() ? std::string(1, '\0') : p;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Files, BootFileTest,
    ::testing::Values(
        // Accepted files.
        BootFileCase{"described", BootFile().Description(WithZeros({"  CA programmer", "", "", "rev 2 \t"})),
                     true, 824, 200, "CA programmer  rev 2"},
        BootFileCase{"version_case", BootFile().Version("V1.1.0").Description("Board X"), true, 824, 200,
                     "Board X"},
        BootFileCase{"other_version", BootFile().Version("v1.0.9").Description("not shown"), true, 824, 200,
                     std::nullopt},
        BootFileCase{"version_prefix_only", BootFile().Version("v1.1.0a").Description("not shown"), true, 824,
                     200, std::nullopt},
        // L is only read for the version that carries a description.
        BootFileCase{"other_version_ignores_L",
                     BootFile().Version("0123456789abcdef").DescriptionLength(5000), true, 824, 200,
                     std::nullopt},
        BootFileCase{"zeros_and_blanks", BootFile().Description(WithZeros({"", " ", "", "  ", ""})), true,
                     824, 200, ""},
        BootFileCase{"L_64_empty", BootFile().DescriptionLength(64), true, 824, 200, ""},
        BootFileCase{"L_319_longest", BootFile().Description(std::string(255, 'x')), true, 824, 200,
                     std::string(255, 'x')},
        BootFileCase{"A_zero", BootFile().TailLength(0), true, 1024, 0, ""},
        BootFileCase{"A_whole_file", BootFile().TailLength(1024), true, 0, 1024, ""},
        BootFileCase{"smallest_file", BootFile(792).TailLength(92), true, 700, 92, ""},
        // Rejected files.
        BootFileCase{"shorter_than_792", BootFile(791), false, 0, 0, std::nullopt, BootFileFault::TooShort},
        BootFileCase{"A_past_the_end", BootFile().TailLength(1025), false, 0, 0, std::nullopt,
                     BootFileFault::TailTooLong},
        BootFileCase{"A_huge", BootFile().TailLength(0xFFFFFFFF), false, 0, 0, std::nullopt,
                     BootFileFault::TailTooLong},
        BootFileCase{"L_63", BootFile().DescriptionLength(63), false, 0, 0, std::nullopt,
                     BootFileFault::BadDescription},
        BootFileCase{"L_zero", BootFile().DescriptionLength(0), false, 0, 0, std::nullopt,
                     BootFileFault::BadDescription},
        BootFileCase{"L_320", BootFile().DescriptionLength(320), false, 0, 0, std::nullopt,
                     BootFileFault::BadDescription},
        BootFileCase{"L_huge", BootFile().Version("V1.1.0").DescriptionLength(0xFFFFFFFF), false, 0, 0,
                     std::nullopt, BootFileFault::BadDescription}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BootFile, ShortFilesNeverReadPastTheirEnd) {
    BootFileLayout layout;
    EXPECT_FALSE(ParseBootFile(nullptr, 0, layout));
    // Every length below the minimum, each in a buffer of exactly that size.
    const BootFile full(792);
    for (std::size_t size = 0; size < 792; ++size) {
        const std::vector<std::uint8_t> data(full.bytes.begin(), full.bytes.begin() + std::ptrdiff_t(size));
        EXPECT_FALSE(ParseBootFile(data.data(), data.size(), layout)) << size;
    }
}

} // namespace
