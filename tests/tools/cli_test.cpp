// telvanor-cli end to end against the virtual board: exit status, output and what reached the board.
#include "BoardProcess.h"
#include "CliProcess.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

void WriteIni(const CTempDir& dir, const std::string& body) {
    std::ofstream(dir.File("BurnConfig.ini"), std::ios::binary) << "[BurnConfig]\r\n" << body;
}

const char kNandArgs[] = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";

} // namespace

TEST(CliTest, UsageErrorsExit64) {
    CTempDir dir;
    for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                  {"--mac", "00a1bbc344E5"},
                                                                  {"--port", "x", "--bogus"},
                                                                  {"--port", "x", "--id-number", "5"},
                                                                  {"--port", "x", "--rule", "sideways"},
                                                                  {"--port", "x", "--boards", "0"},
                                                                  {"--port", "x", "--boards", "2"},
                                                                  {"--port", "x", "--extra-string", "1=a"}}) {
        const CliResult r = RunCli(dir, args);
        EXPECT_EQ(r.exit, 64) << (args.empty() ? "" : args.back());
        EXPECT_NE(r.err.find("Usage"), std::string::npos);
    }
    EXPECT_NE(RunCli(dir, {"--port", "x", "--id-number", "5"}).err.find("string part"), std::string::npos);
    // Remove clears the entries after each board: more than one board needs increase or decrease.
    EXPECT_NE(
        RunCli(dir, {"--port", "x", "--rule", "remove", "--boards", "3"}).err.find("increase or decrease"),
        std::string::npos);
}

TEST(CliTest, RefusedEntriesExit2WithoutOpeningThePort) {
    CTempDir dir;
    CBoardProcess board;
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    for (const Case& c : std::vector<Case>{
             {{"--mac", "00-a1-bb-c3-44-e5"}, "Invalid machine address!"},
             {{"--rule", "increase", "--id-number", "12a"},
              "[Default ID] is invalid: Invalid ID(Invalid decimal value)!"},
             {{"--rule", "increase", "--hex", "--id-number", "0x1F"},
              "[Default ID] is invalid: Invalid ID(Invalid hex value)!"},
             {{"--rule", "increase", "--id-number", "18446744073709551616"}, "The ID num is Out of range"},
             {{"--id-string", std::string(1100, 'x')}, "more than the 1024 bytes"}}) {
        std::vector<std::string> args = {"--port", board.PortPath()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliResult r = RunCli(dir, args);
        EXPECT_EQ(r.exit, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    board.Stop();
    EXPECT_EQ(board.Trace().find("start"), std::string::npos);
}

TEST(CliTest, BurnsOneBoardAndPrintsTheLog) {
    CTempDir dir;
    WriteIni(dir, "CfgName=hwver:A1\r\n");
    CBoardProcess board({"--bootargs", kNandArgs});
    const CliResult r = RunCli(dir, {"--port", board.PortPath(), "--mac", "00:1a:2b:3c:4d:5e", "--id-string",
                                     "SN0001", "--records"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("Please connect, and power on the board!\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("DataSegment1 100% downloaded.\n"), std::string::npos);
    EXPECT_NE(r.out.find("'nand write 0x81000000 0x100000 0x20000' command returned successfully!\n"),
              std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 19), "Burn successfully!\n");
    const std::string records = ReadFileBytes(dir.File("BurntMacandIDList.txt"));
    EXPECT_EQ(records.substr(0, 2), "\r\n");
    EXPECT_EQ(records.substr(21), "   00:1a:2b:3c:4d:5e   SN0001");
    board.Stop();
    EXPECT_EQ(board.Commands().back(), "nand write 0x81000000 0x100000 0x20000");
}

TEST(CliTest, ChainsThreeBoardsUnderIncrease) {
    CTempDir dir;
    CBoardProcess board({"--bootargs", kNandArgs, "--swap-boards"});
    const CliResult r =
        RunCli(dir, {"--port", board.PortPath(), "--mac", "00A1BBC344FE", "--id-string", "SN", "--id-number",
                     "0099", "--rule", "increase", "--records", "--boards", "3"});
    EXPECT_EQ(r.exit, 0) << r.err;
    const std::string records = ReadFileBytes(dir.File("BurntMacandIDList.txt"));
    std::vector<std::string> fields;
    for (size_t at = 0; (at = records.find("\r\n", at)) != std::string::npos; at += 2)
        fields.push_back(records.substr(at + 2 + 19, records.find("\r\n", at + 2) - at - 2 - 19));
    EXPECT_EQ(fields,
              (std::vector<std::string>{"   00:A1:BB:C3:44:FE   SN0099", "   00:a1:bb:c3:44:ff   SN0100",
                                        "   00:a1:bb:c3:45:00   SN0101"}));
    board.Stop();
    EXPECT_EQ(board.Stats()["power_ons"], 3u); // the fourth job was stopped before it sent anything
}

TEST(CliTest, TimeOutWithoutBoard) {
    CTempDir dir;
    CBoardProcess board({"--power-on-delay", "60000"});
    const CliResult r = RunCli(dir, {"--port", board.PortPath(), "--timeout-ms", "1500", "--records"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "Error: Burn timeout! Please try again.\n");
    EXPECT_FALSE(std::ifstream(dir.File("BurntMacandIDList.txt")).good());
}

TEST(CliTest, PortThatCannotBeOpened) {
    CTempDir dir;
    const CliResult r = RunCli(dir, {"--port", "/dev/telvanor-none"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err,
              "Error: Failed to open /dev/telvanor-none! Please ensure the serial port to be unused.\n");
    EXPECT_EQ(r.out, "Please connect, and power on the board!\nFailed to open /dev/telvanor-none!\n"
                     "Reason given by the system: No such file or directory.\n");
}

TEST(CliTest, ChineseOutput) {
    CTempDir dir;
    CBoardProcess board({"--bootargs", kNandArgs});
    const CliResult r = RunCli(dir, {"--port", board.PortPath(), "--lang", "zh"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out.rfind("请连接后给单板上电!\n", 0), 0u);
    EXPECT_NE(r.out.find("烧写成功!\n"), std::string::npos);
}
