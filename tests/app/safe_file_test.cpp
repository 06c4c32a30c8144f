// The one file reader: regular files only, a size limit, no blocking, no exception.
#include "SafeFile.h"
#include "TextTables.h"

#include "BoardProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FileCase {
    const char* name;
    // Puts something at the path (or nothing).
    void (*make)(const std::string& path);
    FileFault fault;
};

void Regular(const std::string& p) {
    std::ofstream(p, std::ios::binary) << "0123456789";
}
void Folder(const std::string& p) {
    std::filesystem::create_directory(p);
}
void Fifo(const std::string& p) {
    mkfifo(p.c_str(), 0600); // no writer: opening it the ordinary way would block for ever
}
void DevZero(const std::string& p) {
    std::filesystem::create_symlink("/dev/zero", p);
}
void Sparse(const std::string& p) {
    std::ofstream(p, std::ios::binary) << "x";
    std::filesystem::resize_file(p, 2ull << 30); // 2 GiB that takes no disk space
}
void Nothing(const std::string&) {}
void DanglingLink(const std::string& p) {
    std::filesystem::create_symlink(p + ".gone", p);
}

class SafeFileTable : public ::testing::TestWithParam<FileCase> {};

} // namespace

inline void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

TEST_P(SafeFileTable, ReadsOnlyRegularFilesWithinTheLimit) {
    const FileCase& c = GetParam();
    CTempDir dir;
    const std::string path = dir.File("f");
    c.make(path);
    std::vector<std::uint8_t> bytes = {1, 2, 3};
    EXPECT_EQ(ReadRegularFile(path, 1u << 20, bytes), c.fault);
    EXPECT_EQ(CheckRegularFile(path, 1u << 20), c.fault);
    if (c.fault == FileFault::None)
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123456789");
    else
        EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(FileFaultText(c.fault, 1u << 20).empty(), c.fault == FileFault::None);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SafeFileTable,
                         ::testing::Values(FileCase{"Regular", Regular, FileFault::None},
                                           FileCase{"Missing", Nothing, FileFault::Missing},
                                           FileCase{"DanglingLink", DanglingLink, FileFault::Missing},
                                           FileCase{"Folder", Folder, FileFault::NotRegular},
                                           FileCase{"Fifo", Fifo, FileFault::NotRegular},
                                           FileCase{"LinkToDevZero", DevZero, FileFault::NotRegular},
                                           FileCase{"SparseTwoGiB", Sparse, FileFault::TooLarge}),
                         [](const ::testing::TestParamInfo<FileCase>& i) {
                             return std::string(i.param.name);
                         });

TEST(SafeFile, LimitIsInclusive) {
    CTempDir dir;
    Regular(dir.File("f"));
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(ReadRegularFile(dir.File("f"), 10, bytes), FileFault::None);
    EXPECT_EQ(bytes.size(), 10u);
    EXPECT_EQ(ReadRegularFile(dir.File("f"), 9, bytes), FileFault::TooLarge);
    ChooseStartLanguage(2);
    EXPECT_EQ(FileFaultText(FileFault::TooLarge, 9), "it is larger than 9 bytes");
}

TEST(SafeFile, NoPermissionIsUnreadable) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    CTempDir dir;
    Regular(dir.File("f"));
    chmod(dir.File("f").c_str(), 0);
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(ReadRegularFile(dir.File("f"), 100, bytes), FileFault::Unreadable);
}
