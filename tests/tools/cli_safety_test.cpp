// telvanor-cli against the virtual board where a factory line gets hurt: unusable files, entries
// that would forge records or address every device, a record that cannot be written, and a run
// stopped by a signal or by a closed output.
#include "BoardProcess.h"
#include "CliProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

namespace {

const char kNandArgs[] = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";
const char kBootFailed[] =
    "Error: Failed to download or run boot! Please ensure that serial port link is well and "
    "boot file is valid, and try again.\n";

void WriteIni(const CTempDir& dir, const std::string& body) {
    std::ofstream(dir.File("BurnConfig.ini"), std::ios::binary) << "[BurnConfig]\r\n" << body;
}

int RecordCount(const CTempDir& dir) {
    const std::string records = ReadFileBytes(dir.File("BurntMacandIDList.txt"));
    int n = 0;
    for (size_t at = 0; (at = records.find("\r\n", at)) != std::string::npos; at += 2)
        ++n;
    return n;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The last line of standard error (configuration warnings may come before it).
bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Polls until pred holds (at most 60 s: the machine may be busy).
template <typename Pred> bool WaitFor(Pred pred) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Test names in the output, not the bytes of the cases (one PrintTo per case type).
template <typename Case> std::string CaseName(const ::testing::TestParamInfo<Case>& i) {
    return i.param.name;
}

struct RefusalCase {
    const char* name;
    std::vector<std::string> args;
    std::string message;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusedEntries : public ::testing::TestWithParam<RefusalCase> {};

} // namespace

TEST_P(RefusedEntries, Exit2WithoutOpeningThePort) {
    const RefusalCase& c = GetParam();
    CTempDir dir;
    WriteIni(dir, "CfgName=sn\r\nExtraInfo=0x4000\r\n");
    CBoardProcess board;
    std::vector<std::string> args = {"--port", board.PortPath()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliResult r = RunCli(dir, args);
    EXPECT_EQ(r.exit, 2) << r.err;
    EXPECT_EQ(r.err, "Error: " + c.message + "\n");
    board.Stop();
    EXPECT_EQ(board.Trace().find("start"), std::string::npos);
}

const char kControl[] =
    "Input error: the ID or an extra item contains a control character (such as a line break)!";
const char kGroup[] =
    "Invalid machine address: a group (multicast or broadcast) address is never a device's own address!";

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedEntries,
    ::testing::Values(
        // A line break in an entry once went into the record file as a second, forged record.
        RefusalCase{"CrLfInId", {"--id-string", "SN1\r\n   00:11:22:33:44:55   SN2"}, kControl},
        RefusalCase{"TabInKeyItem", {"--key-string", "sn=A\tB"}, kControl},
        RefusalCase{"LfInOffsetItem", {"--extra-string", "1=A\nB"}, kControl},
        RefusalCase{"Multicast", {"--mac", "01:00:5e:00:00:01"}, kGroup},
        RefusalCase{"Broadcast", {"--mac", "FFFFFFFFFFFF"}, kGroup}),
    CaseName<RefusalCase>);

TEST(CliSafety, UnreadableConfigurationRefusesTheBurn) {
    CTempDir dir;
    std::filesystem::create_directory(dir.File("BurnConfig.ini")); // once an uncaught stream exception
    CBoardProcess board;
    const CliResult r = RunCli(dir, {"--port", board.PortPath()});
    EXPECT_EQ(r.exit, 2);
    EXPECT_TRUE(EndsWith(r.err, "Error: The configuration file " + dir.File("BurnConfig.ini") +
                                    " exists but cannot be read: it is not a regular file! Fix it and start the "
                                    "program again.\n"))
        << r.err;
}

namespace {

struct FileCase {
    const char* name;
    void (*make)(const std::string& path);
    std::string reason; // "" for the boot file, which fails with the boot message
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

void Folder(const std::string& p) {
    std::filesystem::create_directory(p);
}
void Fifo(const std::string& p) {
    mkfifo(p.c_str(), 0600);
}
void DevZero(const std::string& p) {
    std::filesystem::create_symlink("/dev/zero", p);
}
void Sparse(const std::string& p) {
    std::ofstream(p, std::ios::binary) << "x";
    std::filesystem::resize_file(p, 2ull << 30);
}
void Nothing(const std::string&) {}

class UnusableBootFile : public ::testing::TestWithParam<FileCase> {};
class UnusableItemFile : public ::testing::TestWithParam<FileCase> {};

} // namespace

// Each of these once aborted the program, hung it for ever or grew its memory until it aborted.
TEST_P(UnusableBootFile, FailsTheJobBeforeAnythingIsSent) {
    CTempDir dir;
    WriteIni(dir, "IsCA=1\r\n");
    GetParam().make(dir.File("ProgrammerforCA.bin"));
    CBoardProcess board({"--ca"});
    const CliResult r = RunCli(dir, {"--port", board.PortPath(), "--timeout-ms", "20000"}, 60);
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(EndsWith(r.err, kBootFailed)) << r.err;
    EXPECT_TRUE(Contains(r.out, "Failed to load boot file!\n")) << r.out;
    EXPECT_LT(r.seconds, 15); // not the time-out
    board.Stop();
    EXPECT_EQ(board.Trace().find("start"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnusableBootFile,
                         ::testing::Values(FileCase{"Folder", Folder, ""}, FileCase{"Fifo", Fifo, ""},
                                           FileCase{"LinkToDevZero", DevZero, ""},
                                           FileCase{"Sparse2GiB", Sparse, ""}),
                         CaseName<FileCase>);

TEST_P(UnusableItemFile, FailsTheJobBeforeTheFirstFrameNamingPathAndReason) {
    const FileCase& c = GetParam();
    CTempDir dir;
    const std::string path = dir.File("item.bin");
    c.make(path);
    WriteIni(dir, "CfgName=hwver:A1\r\nExtraInfo=0x4000:<file " + path + ">\r\n");
    CBoardProcess board({"--bootargs", kNandArgs});
    const CliResult r = RunCli(dir, {"--port", board.PortPath(), "--records"}, 60);
    const std::string text =
        "Item file " + path + " cannot be used: " + c.reason + "! Nothing was sent to the board.";
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(EndsWith(r.err, "Error: " + text + "\n")) << r.err;
    EXPECT_TRUE(Contains(r.out, text + "\n")) << r.out;
    EXPECT_EQ(RecordCount(dir), 0);
    board.Stop();
    EXPECT_EQ(board.Trace().find("start"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnusableItemFile,
                         ::testing::Values(FileCase{"Missing", Nothing, "it does not exist"},
                                           FileCase{"Folder", Folder, "it is not a regular file"},
                                           FileCase{"Fifo", Fifo, "it is not a regular file"},
                                           FileCase{"LinkToDevZero", DevZero, "it is not a regular file"},
                                           FileCase{"Sparse2GiB", Sparse, "it is larger than 1048576 bytes"}),
                         CaseName<FileCase>);

namespace {

struct ChainEndCase {
    const char* name;
    std::vector<std::string> args;
    bool recordFileIsFolder;
    int exit;
    int boards;          // power-ons the board saw
    std::string errPart; // "" for none
    std::string nextMac; // as the entries for the next board show it
    std::string nextId;
    std::string nextKey;
};

void PrintTo(const ChainEndCase& c, std::ostream* os) {
    *os << c.name;
}

class ChainEnd : public ::testing::TestWithParam<ChainEndCase> {};

} // namespace

TEST_P(ChainEnd, AppliesTheRuleAndPrintsTheEntriesForTheNextBoard) {
    const ChainEndCase& c = GetParam();
    CTempDir dir;
    WriteIni(dir, "CfgName=sn\r\n");
    if (c.recordFileIsFolder)
        std::filesystem::create_directory(dir.File("BurntMacandIDList.txt"));
    CBoardProcess board({"--bootargs", kNandArgs, "--swap-boards"});
    std::vector<std::string> args = {"--port",       board.PortPath(), "--id-string",  "SN",
                                     "--id-number",  "0007",           "--key-string", "sn=K",
                                     "--key-number", "sn=41",          "--boards",     "3"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliResult r = RunCli(dir, args, 90);
    EXPECT_EQ(r.exit, c.exit) << r.err;
    if (c.errPart.empty())
        EXPECT_EQ(r.err, "");
    else
        EXPECT_TRUE(Contains(r.err, c.errPart)) << r.err;
    const std::string entries = "Entries for the next board:\n  MAC: " + c.nextMac + "\n  ID: [SN] [" +
                                c.nextId + "]\n  sn: [K] [" + c.nextKey + "]\n";
    ASSERT_GE(r.out.size(), entries.size());
    EXPECT_EQ(r.out.substr(r.out.size() - entries.size()), entries) << r.out;
    board.Stop();
    EXPECT_EQ(board.Stats()["power_ons"], std::uint64_t(c.boards));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChainEnd,
    ::testing::Values(ChainEndCase{"NormalEnd",
                                   {"--mac", "00:1a:2b:3c:4d:5e", "--rule", "increase"},
                                   false,
                                   0,
                                   3,
                                   "",
                                   "00:1a:2b:3c:4d:61",
                                   "0010",
                                   "44"},
                      // 39 boards were once burnt on a full disk without a record, each reported in passing.
                      ChainEndCase{"RecordFailure",
                                   {"--mac", "00:1a:2b:3c:4d:5e", "--rule", "increase", "--records"},
                                   true,
                                   1,
                                   1,
                                   "Failed to write the burn record",
                                   "00:1a:2b:3c:4d:5f",
                                   "0008",
                                   "42"},
                      // Increase once stepped past ff:ff:ff:ff:ff:ff to 00:00:00:00:00:00.
                      ChainEndCase{"NextMacMulticast",
                                   {"--mac", "00ffffffffff", "--rule", "increase"},
                                   false,
                                   1,
                                   1,
                                   "The next MAC address 010000000000 would be a group address",
                                   "010000000000",
                                   "0008",
                                   "42"},
                      ChainEndCase{"NextMacBroadcast",
                                   {"--mac", "00:00:00:00:00:00", "--rule", "decrease"},
                                   false,
                                   1,
                                   1,
                                   "The next MAC address ff:ff:ff:ff:ff:ff would be a group address",
                                   "ff:ff:ff:ff:ff:ff",
                                   "0006",
                                   "40"}),
    CaseName<ChainEndCase>);

namespace {

const char kEntriesHead[] = "Entries for the next board:\n  MAC: ";

// A chain under Increase whose first board's "nand erase" (its flash write) is held for a while.
struct HeldRun {
    CTempDir dir;
    CBoardProcess board{
        {"--bootargs", kNandArgs, "--swap-boards", "--hold-on", "nand erase:1", "--hold-ms", "3000"}};
    CCliProcess cli{
        dir, BurnArgs(dir, {"--port", board.PortPath(), "--mac", "00:1a:2b:3c:4d:5e", "--id-string", "SN",
                            "--id-number", "0001", "--rule", "increase", "--records", "--boards", "3"})};
    bool WaitForHold() {
        return WaitFor([&] { return Contains(board.Trace(), "hold 3000"); });
    }
};

} // namespace

// SIGTERM during the flash write once killed the run with the board written and not recorded.
TEST(CliSignals, TermDuringTheFlashWriteFinishesAndRecordsTheBoard) {
    HeldRun run;
    ASSERT_TRUE(run.WaitForHold());
    run.cli.Signal(SIGTERM);
    const CliResult r = run.cli.Wait(60);
    EXPECT_EQ(r.exit, 143) << r.err;
    EXPECT_TRUE(Contains(r.err, "Stopping: board 1 is finished first, its flash write has begun")) << r.err;
    EXPECT_TRUE(Contains(r.out, "Burn successfully!\n"));
    EXPECT_TRUE(Contains(r.out, std::string(kEntriesHead) + "00:1a:2b:3c:4d:5f\n  ID: [SN] [0002]\n"))
        << r.out;
    EXPECT_EQ(RecordCount(run.dir), 1);
    run.board.Stop();
    EXPECT_EQ(run.board.Stats()["power_ons"], 1u);
    EXPECT_EQ(run.board.Commands().back(), "nand write 0x81000000 0x100000 0x20000");
}

TEST(CliSignals, SecondSignalStopsAtOnceAndNamesTheMacThatMayBeInTheBoard) {
    HeldRun run;
    ASSERT_TRUE(run.WaitForHold());
    run.cli.Signal(SIGTERM);
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadFileBytes(run.dir.File("cli.err")), "Stopping"); }));
    run.cli.Signal(SIGINT);
    const CliResult r = run.cli.Wait(60);
    EXPECT_EQ(r.exit, 143) << r.err; // the first signal names the exit
    EXPECT_TRUE(Contains(r.err,
                         "Stopped during the flash write of board 1: MAC 00:1a:2b:3c:4d:5e may already be "
                         "in the board!"))
        << r.err;
    EXPECT_LT(r.seconds, 2.9); // did not wait for the held command
    EXPECT_TRUE(Contains(r.out, std::string(kEntriesHead) + "00:1a:2b:3c:4d:5e\n")) << r.out;
    EXPECT_EQ(RecordCount(run.dir), 0);
}

namespace {

struct SignalCase {
    const char* name;
    int signal;
    int exit;
};

void PrintTo(const SignalCase& c, std::ostream* os) {
    *os << c.name;
}

class StopBeforeTheWrite : public ::testing::TestWithParam<SignalCase> {};

} // namespace

// Each of these once ended the run silently, with no word on the board or the next entries.
TEST_P(StopBeforeTheWrite, StopsAtOnceAndTellsWhichBoardWasNotFinished) {
    const SignalCase& c = GetParam();
    CTempDir dir;
    CBoardProcess board({"--power-on-delay", "60000"}); // the operator has not powered the board yet
    CCliProcess cli(dir,
                    BurnArgs(dir, {"--port", board.PortPath(), "--mac", "00:1a:2b:3c:4d:5e", "--records"}));
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadFileBytes(dir.File("cli.out")), "power on the board"); }));
    cli.Signal(c.signal);
    const CliResult r = cli.Wait(60);
    EXPECT_EQ(r.exit, c.exit);
    EXPECT_EQ(r.err, "Stopped: board 1 was not finished.\n");
    EXPECT_TRUE(Contains(r.out, std::string(kEntriesHead) + "00:1a:2b:3c:4d:5e\n")) << r.out;
    EXPECT_LT(r.seconds, 10);
    EXPECT_EQ(RecordCount(dir), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopBeforeTheWrite,
                         ::testing::Values(SignalCase{"Int", SIGINT, 130}, SignalCase{"Term", SIGTERM, 143},
                                           SignalCase{"Hup", SIGHUP, 129}),
                         CaseName<SignalCase>);

// A reader that went away (a closed pipe) once killed the run between two boards.
TEST(CliSignals, ClosedOutputNeverEndsTheRun) {
    CTempDir dir;
    CBoardProcess board({"--bootargs", kNandArgs, "--swap-boards"});
    CCliProcess cli(dir,
                    BurnArgs(dir, {"--port", board.PortPath(), "--mac", "00:1a:2b:3c:4d:5e", "--rule",
                                   "increase", "--records", "--boards", "2"}),
                    CCliProcess::Output::ClosedPipe);
    const CliResult r = cli.Wait(90);
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(RecordCount(dir), 2);
}
