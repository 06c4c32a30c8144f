// The causes the status log gives next to the failure messages: why a port could not be opened,
// why the CA boot file was refused, what the board answered for a flash type the configuration
// fixes. The messages themselves stay as they are.
#include "BoardProcess.h"
#include "CliProcess.h"
#include "Unprivileged.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Le32(std::uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

const char kNandArgs[] = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";
const char kPortMessage[] = "Please ensure the serial port to be unused.\n";

} // namespace

TEST(CauseTest, PortWithoutPermissionSaysWhyAndWhichGroupMayOpenIt) {
    bool canDrop = false;
    std::vector<std::string> argv = UnprivilegedPrefix(canDrop);
    if (!canDrop)
        GTEST_SKIP() << "running as root without setpriv: root is never denied a port, so the case cannot "
                        "be made";
    CTempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    CBoardProcess board;
    const std::string pty = board.PortPath();
    // The port's group may open it, its owner may not; the unprivileged stand-in for root is neither.
    if (RunningAsRoot()) {
        const group* dialout = getgrnam("dialout");
        ASSERT_EQ(chown(pty.c_str(), uid_t(-1), dialout ? dialout->gr_gid : 5), 0);
    }
    ASSERT_EQ(chmod(pty.c_str(), 0060), 0);
    struct stat st {};
    ASSERT_EQ(stat(pty.c_str(), &st), 0);
    const group* owner = getgrgid(st.st_gid);
    ASSERT_NE(owner, nullptr);
    const std::string groupName = owner->gr_name;

    argv.insert(argv.end(), {TELVANOR_CLI_EXE, "burn", "--dir", dir.Path(), "--port", pty});
    const CliResult r = RunProgram(argv, dir.Path());
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "Error: Failed to open " + pty + "! " + kPortMessage);
    std::string hint;
    if (st.st_gid != 0)
        hint = " " + pty + " belongs to the group " + groupName + ": join it with \"sudo usermod -aG " +
               groupName + " $USER\", then log out and in again.";
    EXPECT_EQ(r.out, "Please connect, and power on the board!\nFailed to open " + pty +
                         "!\nReason given by the system: Permission denied." + hint + "\n");
    board.Stop();
    EXPECT_EQ(board.Stats()["bytes_received"], 0u);
}

TEST(CauseTest, MissingPortSaysThereIsNoSuchDevice) {
    CTempDir dir;
    const CliResult r = RunCli(dir, {"--port", "ttyTelvanorNone"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, std::string("Error: Failed to open ttyTelvanorNone! ") + kPortMessage);
    EXPECT_EQ(r.out, "Please connect, and power on the board!\nFailed to open ttyTelvanorNone!\n"
                     "Reason given by the system: No such file or directory.\n");
}

struct BootFileCase {
    const char* name;
    std::string bytes; // empty: no file; "/": a folder in its place
    std::string cause; // after the file's path
};

class CaBootFileCause : public ::testing::TestWithParam<BootFileCase> {};

TEST_P(CaBootFileCause, IsNamedWithTheReason) {
    const BootFileCase& c = GetParam();
    CTempDir dir;
    WriteFile(dir.File("BurnConfig.ini"), "[BurnConfig]\r\nIsCA=1\r\n");
    const std::string path = dir.File("ProgrammerforCA.bin");
    if (c.bytes == "/")
        std::filesystem::create_directory(path);
    else if (!c.bytes.empty())
        WriteFile(path, c.bytes);
    CBoardProcess board;
    const CliResult r = RunCli(dir, {"--port", board.PortPath(), "--records"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "Error: Failed to download or run boot! Please ensure that serial port link is well and "
                     "boot file is valid, and try again.\n");
    const std::string expected = "Failed to load boot file!\nThe boot file " + path + c.cause + "\n";
    EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.File("BurntMacandIDList.txt")));
    board.Stop();
    EXPECT_EQ(board.Stats()["frames_acked"], 0u); // refused before the first frame
}

std::string BootFile(std::size_t size, std::uint32_t tail, const std::string& version = "",
                     std::uint32_t descriptionLength = 0) {
    std::string b(size, '\0');
    b.replace(36, version.size(), version);
    b.replace(52, 4, Le32(descriptionLength));
    b.replace(788, 4, Le32(tail));
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Files, CaBootFileCause,
    ::testing::Values(
        BootFileCase{"missing", "", " does not exist."},
        BootFileCase{"folder", "/", " cannot be read: it is not a regular file."},
        BootFileCase{"short", std::string(100, 'x'), " has 100 bytes; a boot file has at least 792."},
        BootFileCase{"final_part_too_long", BootFile(1024, 5000),
                     " gives its final part as 5000 bytes (at offset 788), more than its 1024 bytes."},
        BootFileCase{"description_length", BootFile(1024, 200, "v1.1.0", 10),
                     " gives its description length as 10 (at offset 52): it must be 64 to 319 and "
                     "lie inside the file."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CauseTest, FixedFlashTypeTheBoardDoesNotHaveSaysWhatWasAskedAndAnswered) {
    CTempDir dir;
    WriteFile(dir.File("BurnConfig.ini"), "[BurnConfig]\r\nMacBurnFlashType=2\r\nMacBurnAddress=0x40000\r\n");
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs});
    const CliResult r = RunCli(dir, {"--port", board.PortPath()});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err,
              "Error: Failed to get burn address! Please ensure that there is the 'DeviceInfo' part in "
              "the Bootargs, and try again.\n");
    EXPECT_NE(
        r.out.find("Failed to return 'getinfo spi' command!\n"
                   "MacBurnFlashType=2 asks for \"spi\" flash, but the board gave no block size for it: "
                   "\"getinfo spi\" answered \"getinfo: no spi flash on this board | (ERROR)\". The board's "
                   "boot arguments show \"nand\" flash.\n"),
        std::string::npos)
        << r.out;
}
