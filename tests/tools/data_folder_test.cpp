// Where telvanor-cli keeps its files when no --dir is given: beside the program while that folder
// can be written, in the user's data folder when it cannot or when it is an installed program's.
#include "BoardProcess.h"
#include "CliProcess.h"
#include "Unprivileged.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

struct FolderCase {
    const char* name;
    const char* programDir; // relative to the test's folder
    bool unwritable;        // the program folder is made read-only (and the program runs unprivileged)
    bool diverted;          // the files are expected in the user's data folder
};

void PrintTo(const FolderCase& c, std::ostream* os) {
    *os << c.name;
}

class DataFolder : public ::testing::TestWithParam<FolderCase> {};

} // namespace

TEST_P(DataFolder, HoldsConfigurationLogAndRecords) {
    const FolderCase& c = GetParam();
    std::vector<std::string> argv;
    if (c.unwritable) {
        bool canDrop = false;
        argv = UnprivilegedPrefix(canDrop);
        if (!canDrop)
            GTEST_SKIP()
                << "running as root without setpriv: root writes every folder, so the case cannot be made";
    }
    CTempDir root;
    ASSERT_EQ(chmod(root.Path().c_str(), 0755), 0);
    const fs::path program = fs::path(root.Path()) / c.programDir;
    fs::create_directories(program);
    if (std::string(c.programDir) == "usr/bin")
        fs::create_directories(fs::path(root.Path()) / "usr/share/doc/telvanor"); // the installed layout
    fs::copy_file(TELVANOR_CLI_EXE, program / "telvanor-cli");
    // The user's data folder, prepared with a configuration that makes itself seen (Chinese texts).
    const fs::path data = fs::path(root.Path()) / "data";
    const fs::path expectedDir = c.diverted ? data / "telvanor" : program;
    fs::create_directories(data / "telvanor");
    std::ofstream(expectedDir / "BurnConfig.ini", std::ios::binary) << "[BurnConfig]\r\nAppLanguage=1\r\n";
    for (const fs::path& p : {data, data / "telvanor"})
        fs::permissions(p, fs::perms::all);
    if (c.unwritable)
        fs::permissions(program, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    else
        fs::permissions(program, fs::perms::all);

    CBoardProcess board({"--bootargs", "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)"});
    ASSERT_EQ(chmod(board.PortPath().c_str(), 0666), 0);
    argv.insert(argv.end(), {(program / "telvanor-cli").string(), "burn", "--port", board.PortPath(), "--mac",
                             "00:1a:2b:3c:4d:5e", "--id-string", "SN0001", "--records"});
    const CliResult r =
        RunProgram(argv, root.Path(), {"XDG_DATA_HOME=" + data.string(), "HOME=" + root.Path()});
    fs::permissions(program, fs::perms::all); // so the folder can be removed
    EXPECT_EQ(r.exit, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("烧写成功!\n"), std::string::npos) << "the configuration was not read: " << r.out;
    EXPECT_TRUE(fs::exists(expectedDir / "BurntMacandIDList.txt"));
    EXPECT_TRUE(fs::exists(expectedDir / "Log.txt"));
    if (c.diverted) {
        // Said once, first, naming both folders.
        const std::string first = r.out.substr(0, r.out.find('\n'));
        EXPECT_NE(first.find(program.string()), std::string::npos) << first;
        EXPECT_NE(first.find((data / "telvanor").string()), std::string::npos) << first;
        EXPECT_FALSE(fs::exists(program / "BurntMacandIDList.txt"));
        EXPECT_FALSE(fs::exists(program / "Log.txt"));
    } else {
        EXPECT_EQ(r.out.rfind("请连接后给单板上电!\n", 0), 0u) << r.out;
        EXPECT_FALSE(fs::exists(data / "telvanor" / "BurntMacandIDList.txt"));
    }
}

INSTANTIATE_TEST_SUITE_P(Folders, DataFolder,
                         ::testing::Values(FolderCase{"writable", "prog", false, false},
                                           FolderCase{"unwritable", "prog", true, true},
                                           FolderCase{"installed", "usr/bin", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });
