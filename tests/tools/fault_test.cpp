// Faults on the line, end to end through telvanor-cli against the virtual board: every job ends in
// a clear state with its message and the reason its event names, records nothing, and leaves the
// port to the next job.
#include "BoardProcess.h"
#include "CliProcess.h"
#include "JsonLinesReader.h"
#include "SerialComm.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

const char kNandArgs[] = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";
const char kBurnFailed[] = "Error: Failed to burn!\n";
const char kNoAddress[] =
    "Error: Failed to get burn address! Please ensure that there is the 'DeviceInfo' part in "
    "the Bootargs, and try again.\n";
const char kBootFailed[] =
    "Error: Failed to download or run boot! Please ensure that serial port link is well and "
    "boot file is valid, and try again.\n";
const char kTimeout[] = "Error: Burn timeout! Please try again.\n";

struct FaultCase {
    const char* name;
    std::vector<std::string> boardArgs;
    std::vector<std::string> cliArgs;
    int exit;
    std::string err;    // exact standard error ("" for success); "LOST" for the disconnect message
    std::string reason; // of the board's board_failed event; "" for a board burnt
    double maxSeconds;
    // Afterwards: the next job burns the same board, the board has gone (unplugged), or neither
    // (the fault stays with the board).
    enum { NextBurns, BoardGone, Skip } after = NextBurns;
    // The case needs the board's timing (a gap before "(ERROR)"): a run in which the machine held
    // the board up until the gap reached the tool's guard shows nothing and is made again.
    bool timed = false;
};

// Each board's end in the JSON output: the reason it failed, or "" when it was burnt.
std::vector<std::string> BoardEnds(const std::string& out) {
    std::string problem;
    std::vector<std::string> ends;
    for (const QJsonObject& e : ReadJsonLines(out, problem)) {
        if (e.value("event") == QLatin1String("board_failed"))
            ends.push_back(e.value("reason").toString().toStdString());
        else if (e.value("event") == QLatin1String("board_burnt"))
            ends.push_back("");
    }
    EXPECT_EQ(problem, "");
    return ends;
}

// Test names in the output, not the bytes of the case.
inline void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

} // namespace

class FaultTable : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultTable, EndsClearly) {
    const FaultCase& c = GetParam();
    std::vector<std::string> boardArgs = {"--bootargs", kNandArgs, "--getinfo-block", "Block: 16KB"};
    boardArgs.insert(boardArgs.end(), c.boardArgs.begin(), c.boardArgs.end());
    for (int attempt = 0; attempt < 5; ++attempt) {
        CBoardProcess board(boardArgs);
        CTempDir dir;
        std::ofstream(dir.File("BurnConfig.ini"))
            << "[BurnConfig]\nCfgName=hwver:A1\nExtraInfo=0x4000:ITEM\n";
        std::vector<std::string> args = {
            "--port", board.PortPath(), "--mac", "00:1a:2b:3c:4d:5e", "--id-string", "SN1", "--records"};
        args.push_back("--json"); // the board's end with its reason
        args.insert(args.end(), c.cliArgs.begin(), c.cliArgs.end());
        const CliResult r = RunCli(dir, args, 60);
        if (c.timed && r.exit == 0 &&
            board.Stats()["error_gap_max_ns"] + 300000 >= std::uint64_t(CSerialComm::kMarkerGuardUs) * 1000)
            continue;
        EXPECT_EQ(r.exit, c.exit) << r.err;
        if (c.err == "LOST") {
            EXPECT_EQ(r.err, "Error: The serial port " + board.PortPath() +
                                 " was disconnected! Please check the cable, and try again.\n");
        } else {
            EXPECT_EQ(r.err, c.err);
        }
        EXPECT_LT(r.seconds, c.maxSeconds);
        EXPECT_EQ(BoardEnds(r.out), std::vector<std::string>{c.reason});
        const bool recorded = std::ifstream(dir.File("BurntMacandIDList.txt")).good();
        EXPECT_EQ(recorded, c.exit == 0);

        if (c.after == FaultCase::NextBurns) {
            // The port was closed and the board is ready: the next job burns it.
            const CliResult next =
                RunCli(dir, {"--port", board.PortPath(), "--mac", "00:1a:2b:3c:4d:5f"}, 60);
            EXPECT_EQ(next.exit, 0) << next.err;
        } else if (c.after == FaultCase::BoardGone) {
            EXPECT_TRUE(board.WaitForExit(5000));
        }
        return;
    }
    GTEST_SKIP() << "the board was held up past the guard in every attempt";
}

INSTANTIATE_TEST_SUITE_P(
    Line, FaultTable,
    ::testing::Values(
        FaultCase{"NoBoard",
                  {"--power-on-delay", "600000"},
                  {"--timeout-ms", "1500"},
                  1,
                  kTimeout,
                  "timeout",
                  10,
                  FaultCase::Skip},
        FaultCase{"PoweredOnLate", {"--power-on-delay", "1500"}, {}, 0, "", "", 20},
        FaultCase{"StartFramesUnanswered", {"--silent-start", "40"}, {}, 0, "", "", 20},
        FaultCase{"WrongAckStart", {"--wrong-ack", "start:1"}, {}, 0, "", "", 20},
        FaultCase{"WrongAckHead", {"--wrong-ack", "head:2"}, {}, 0, "", "", 20},
        FaultCase{"WrongAckData", {"--wrong-ack", "data:1"}, {}, 0, "", "", 20},
        FaultCase{"WrongAckTail", {"--wrong-ack", "tail:2"}, {}, 0, "", "", 20},
        // Inside a command a missing or wrong acknowledgement fails the command: the board may
        // have run it already, and its answers could be read as the next command's.
        // (The third command asks for the page size, which only the item's write needs.)
        FaultCase{"WrongAckCommandHead", {"--wrong-ack", "cmdhead:3"}, {}, 1, kBurnFailed, "write", 20},
        FaultCase{"WrongAckCommandWord", {"--wrong-ack", "cmdword:3"}, {}, 1, kBurnFailed, "write", 20},
        FaultCase{"CrcErrorStart", {"--crc-error", "start:1"}, {}, 0, "", "", 20},
        FaultCase{"CrcErrorHead", {"--crc-error", "head:1"}, {}, 0, "", "", 20},
        FaultCase{"CrcErrorData", {"--crc-error", "data:2"}, {}, 0, "", "", 20},
        FaultCase{"CrcErrorTail", {"--crc-error", "tail:1"}, {}, 0, "", "", 20},
        FaultCase{"CrcErrorCommandHead", {"--crc-error", "cmdhead:5"}, {}, 1, kBurnFailed, "write", 20},
        FaultCase{"CrcErrorCommandWord", {"--crc-error", "cmdword:5"}, {}, 1, kBurnFailed, "write", 20},
        // One acknowledgement byte lost on the line after a command ran (commands of this job: 1
        // print, 2 and 3 getinfo, 4 mw.b, 5 to 21 mw.l, 22 nand erase, 23 nand write, then the
        // item's). The flash command that follows would fail; its "[EOT](ERROR)" must never be
        // read for another command. That flash command's fault stays with the board.
        FaultCase{"DroppedAckBeforeFailingErase",
                  {"--drop-ack", "cmdword:21", "--error-on", "nand erase:1"},
                  {},
                  1,
                  kBurnFailed,
                  "write",
                  20,
                  FaultCase::Skip},
        FaultCase{"DroppedAckBeforeFailingWrite",
                  {"--drop-ack", "cmdword:22", "--error-on", "nand write:1"},
                  {},
                  1,
                  kBurnFailed,
                  "write",
                  20,
                  FaultCase::Skip},
        FaultCase{"DroppedAckAfterWord", {"--drop-ack", "cmdword:10"}, {}, 1, kBurnFailed, "write", 20},
        FaultCase{"DroppedAckAfterHead", {"--drop-ack", "cmdhead:10"}, {}, 1, kBurnFailed, "write", 20},
        FaultCase{
            "DroppedAckDuringDownload", {"--drop-ack", "data:1", "--drop-ack", "tail:2"}, {}, 0, "", "", 20},
        FaultCase{"LateAckWithinTheWait", {"--delay-ack", "cmdword:10:100000"}, {}, 0, "", "", 20},
        FaultCase{
            "LateAckAfterTheWait", {"--delay-ack", "cmdword:10:300000"}, {}, 1, kBurnFailed, "write", 20},
        FaultCase{"NoiseBeforeAnnouncement", {"--noise", "700"}, {}, 0, "", "", 20},
        FaultCase{"ErrorOnPrint", {"--error-on", "print:1"}, {}, 1, kNoAddress, "layout", 20},
        FaultCase{"ErrorOnGetinfo", {"--error-on", "getinfo:1"}, {}, 1, kNoAddress, "layout", 20},
        FaultCase{"ErrorOnFill", {"--error-on", "mw.b:1"}, {}, 1, kBurnFailed, "write", 20},
        FaultCase{"ErrorOnWord", {"--error-on", "mw.l:5"}, {}, 1, kBurnFailed, "write", 20},
        FaultCase{"ErrorOnErase", {"--error-on", "nand erase:1"}, {}, 1, kBurnFailed, "write", 20},
        FaultCase{"ErrorOnWrite", {"--error-on", "nand write:1"}, {}, 1, kBurnFailed, "write", 20},
        FaultCase{"ErrorOnItemErase", {"--error-on", "nand erase:2"}, {}, 1, kBurnFailed, "write", 20},
        FaultCase{"ErrorOnItemWrite", {"--error-on", "nand write:2"}, {}, 1, kBurnFailed, "write", 20},
        // A bit of the device info block flipped in the flash after its write: the read-back finds it.
        FaultCase{
            "ReadBackMismatch", {"--corrupt-flash", "0x100004"}, {"--verify"}, 1, kBurnFailed, "verify", 20},
        // "(ERROR)" apart from its "[EOT]" on a paced line, as a receive FIFO or a USB adapter can
        // hand it over: within the guard it is a failure, every time.
        FaultCase{"ErrorGap150OnWrite",
                  {"--pace", "--error-gap-us", "150", "--error-on", "nand write:1"},
                  {},
                  1,
                  kBurnFailed,
                  "write",
                  20,
                  FaultCase::NextBurns,
                  true},
        FaultCase{"ErrorGap400OnWrite",
                  {"--pace", "--error-gap-us", "400", "--error-on", "nand write:1"},
                  {},
                  1,
                  kBurnFailed,
                  "write",
                  20,
                  FaultCase::NextBurns,
                  true},
        FaultCase{"ErrorGap900OnWrite",
                  {"--pace", "--error-gap-us", "900", "--error-on", "nand write:1"},
                  {},
                  1,
                  kBurnFailed,
                  "write",
                  20,
                  FaultCase::NextBurns,
                  true},
        FaultCase{"ErrorGap150OnWord",
                  {"--pace", "--error-gap-us", "150", "--error-on", "mw.l:5"},
                  {},
                  1,
                  kBurnFailed,
                  "write",
                  20,
                  FaultCase::NextBurns,
                  true},
        FaultCase{"ErrorGap400OnWord",
                  {"--pace", "--error-gap-us", "400", "--error-on", "mw.l:5"},
                  {},
                  1,
                  kBurnFailed,
                  "write",
                  20,
                  FaultCase::NextBurns,
                  true},
        FaultCase{"ErrorGap900OnWord",
                  {"--pace", "--error-gap-us", "900", "--error-on", "mw.l:5"},
                  {},
                  1,
                  kBurnFailed,
                  "write",
                  20,
                  FaultCase::NextBurns,
                  true},
        // A silent command runs into the job's time-out here; the console time-out itself is
        // covered below with a full wait.
        FaultCase{
            "SilentFill", {"--silent-on", "mw.b:1"}, {"--timeout-ms", "2500"}, 1, kTimeout, "timeout", 10},
        FaultCase{
            "SilentWord", {"--silent-on", "mw.l:3"}, {"--timeout-ms", "2500"}, 1, kTimeout, "timeout", 10},
        FaultCase{"SilentErase",
                  {"--silent-on", "nand erase:1"},
                  {"--timeout-ms", "2500"},
                  1,
                  kTimeout,
                  "timeout",
                  10},
        FaultCase{"SilentWrite",
                  {"--silent-on", "nand write:1"},
                  {"--timeout-ms", "2500"},
                  1,
                  kTimeout,
                  "timeout",
                  10},
        FaultCase{
            "SilentPrintUntilCommandTimeout", {"--silent-on", "print:1"}, {}, 1, kNoAddress, "layout", 20},
        FaultCase{"HugeReplyWithoutMarker",
                  {"--huge-reply", "print:1200000"},
                  {},
                  1,
                  kNoAddress,
                  "layout",
                  25,
                  FaultCase::Skip},
        FaultCase{"UnpluggedOnStartFrame",
                  {"--disconnect-at", "start"},
                  {},
                  1,
                  "LOST",
                  "port_lost",
                  5,
                  FaultCase::BoardGone},
        FaultCase{"UnpluggedDuringDownload",
                  {"--disconnect-at", "data:1"},
                  {},
                  1,
                  "LOST",
                  "port_lost",
                  5,
                  FaultCase::BoardGone},
        FaultCase{"UnpluggedBeforeAnnouncement",
                  {"--disconnect-at", "wait"},
                  {},
                  1,
                  "LOST",
                  "port_lost",
                  5,
                  FaultCase::BoardGone},
        FaultCase{"UnpluggedDuringWords",
                  {"--disconnect-at", "cmd:mw.l:4"},
                  {},
                  1,
                  "LOST",
                  "port_lost",
                  5,
                  FaultCase::BoardGone},
        FaultCase{"UnpluggedDuringFlashWrite",
                  {"--disconnect-at", "cmd:nand write"},
                  {},
                  1,
                  "LOST",
                  "port_lost",
                  5,
                  FaultCase::BoardGone}),
    [](const ::testing::TestParamInfo<FaultCase>& i) { return std::string(i.param.name); });

TEST(FaultTest, FailedTailFrameShowsItsBoxFirst) {
    // Every tail frame refused: the English-only box, then the boot exit.
    std::vector<std::string> args = {"--bootargs", kNandArgs};
    for (int n = 1; n <= int(CSerialComm::kFrameAttempts); ++n) {
        args.push_back("--crc-error");
        args.push_back("tail:" + std::to_string(n));
    }
    CBoardProcess board(args);
    CTempDir dir;
    const CliResult r = RunCli(dir, {"--port", board.PortPath(), "--json"}, 120);
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, std::string("Telvanor: Failed to send step 0 tail frame fail!\n") + kBootFailed);
    EXPECT_EQ(BoardEnds(r.out), std::vector<std::string>{"download"});
}
