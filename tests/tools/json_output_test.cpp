// telvanor-cli burn --json: standard output holds nothing but JSON Lines that a line's tracking
// system can read, for good boards and for each way a run goes wrong; the messages for a person
// are on standard error.
#include "BoardProcess.h"
#include "CliProcess.h"
#include "JsonLinesReader.h"

#include <QJsonArray>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

namespace {

const char kNandArgs[] = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";

struct JsonRun {
    CliResult result;
    std::vector<QJsonObject> events;
};

// Reads the output of a run with --json and checks what every line must carry.
JsonRun ReadRun(const CliResult& result, const std::string& port) {
    JsonRun run{result, {}};
    std::string problem;
    run.events = ReadJsonLines(run.result.out, problem);
    EXPECT_EQ(problem, "");
    const QRegularExpression time(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$"));
    for (const QJsonObject& e : run.events) {
        EXPECT_TRUE(time.match(e.value("time").toString()).hasMatch())
            << e.value("time").toString().toStdString();
        EXPECT_EQ(e.value("port").toString().toStdString(), port);
        for (const QString& key : e.keys())
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^[a-z]+(_[a-z]+)*$")).match(key).hasMatch())
                << key.toStdString();
    }
    EXPECT_FALSE(run.events.empty());
    if (run.events.empty())
        return run;
    const QJsonObject& hello = run.events.front();
    EXPECT_EQ(hello.value("event").toString(), QStringLiteral("hello"));
    EXPECT_EQ(hello.value("schema").toInt(), 1);
    EXPECT_EQ(hello.value("program").toString(), QStringLiteral("telvanor-cli"));
    EXPECT_FALSE(hello.value("version").toString().isEmpty());
    const QJsonObject& last = run.events.back();
    EXPECT_EQ(last.value("event").toString(), QStringLiteral("run_finished"));
    EXPECT_EQ(last.value("exit_status").toInt(-1), run.result.exit);
    return run;
}

// Runs the command with --json.
JsonRun RunJson(const CTempDir& dir, std::vector<std::string> args, const std::string& port) {
    args.push_back("--json");
    return ReadRun(RunCli(dir, args, 60), port);
}

std::vector<QJsonObject> Named(const JsonRun& run, const char* name) {
    std::vector<QJsonObject> found;
    for (const QJsonObject& e : run.events)
        if (e.value("event") == QLatin1String(name))
            found.push_back(e);
    return found;
}

TEST(JsonOutput, ChainOfThreeBoards) {
    CTempDir dir;
    std::ofstream(dir.File("BurnConfig.ini")) << "[BurnConfig]\nCfgName=hwver:A1\nExtraInfo=0x4000:ITEM\n";
    CBoardProcess board({"--bootargs", kNandArgs, "--getinfo-block", "Block: 16KB", "--swap-boards"});
    const JsonRun run = RunJson(dir,
                                {"--port", board.PortPath(), "--mac", "00A1BBC344FE", "--id-string", "SN",
                                 "--id-number", "0099", "--rule", "increase", "--records", "--boards", "3"},
                                board.PortPath());
    EXPECT_EQ(run.result.exit, 0) << run.result.err;
    EXPECT_EQ(Named(run, "board_started").size(), 3u);
    EXPECT_TRUE(Named(run, "board_failed").empty());
    const std::vector<QJsonObject> burnt = Named(run, "board_burnt");
    ASSERT_EQ(burnt.size(), 3u);
    const char* const macs[] = {"00:A1:BB:C3:44:FE", "00:a1:bb:c3:44:ff", "00:a1:bb:c3:45:00"};
    const char* const ids[] = {"SN0099", "SN0100", "SN0101"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(burnt[i].value("mac").toString().toStdString(), macs[i]);
        EXPECT_EQ(burnt[i].value("id").toString().toStdString(), ids[i]);
        EXPECT_NE(
            burnt[i].value("record").toString().toStdString().find(std::string(macs[i]) + "   " + ids[i]),
            std::string::npos);
        EXPECT_GT(burnt[i].value("seconds").toDouble(), 0.0);
        const QJsonArray items = burnt[i].value("items").toArray();
        ASSERT_EQ(items.size(), 2);
        EXPECT_EQ(items[0].toObject().value("offset").toInt(), 0x4000);
        EXPECT_EQ(items[0].toObject().value("value").toString(), QStringLiteral("ITEM"));
        EXPECT_EQ(items[1].toObject().value("name").toString(), QStringLiteral("HWVER"));
        EXPECT_EQ(items[1].toObject().value("value").toString(), QStringLiteral("A1"));
    }
    // Progress: known stages, percents within 0..100, the download reaching 100 for every board.
    int downloadsDone = 0;
    for (const QJsonObject& p : Named(run, "progress")) {
        const QString stage = p.value("stage").toString();
        EXPECT_TRUE(QStringList({"download", "layout", "block", "items", "verify"}).contains(stage));
        const int percent = p.value("percent").toInt(-1);
        EXPECT_TRUE(percent >= 0 && percent <= 100) << percent;
        downloadsDone += stage == QLatin1String("download") && percent == 100;
    }
    EXPECT_EQ(downloadsDone, 3);
    // The log's lines with their kinds; the first is the prompt that starts the log afresh.
    const std::vector<QJsonObject> status = Named(run, "status");
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.front().value("kind").toString(), QStringLiteral("replace_all"));
    EXPECT_EQ(status.front().value("text").toString(),
              QStringLiteral("Please connect, and power on the board!"));
    for (const QJsonObject& s : status)
        EXPECT_TRUE(
            QStringList({"replace_all", "replace_last", "append"}).contains(s.value("kind").toString()));
    const QJsonObject& last = run.events.back();
    EXPECT_EQ(last.value("good").toInt(), 3);
    EXPECT_EQ(last.value("failed").toInt(), 0);
    // No message: standard error holds only what a person needs for the next board.
    EXPECT_EQ(run.result.err, "Entries for the next board:\n  MAC: 00a1bbc34501\n  ID: [SN] [0102]\n");
}

struct FailureCase {
    const char* name;
    std::vector<std::string> boardArgs; // empty: no board, the port cannot be opened
    std::vector<std::string> cliArgs;
    int exit;
    const char* reason;
    const char* message; // the start of the message
    bool recordFileIsFolder = false;
};

inline void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class JsonFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(JsonFailures, EndWithTheirReason) {
    const FailureCase& c = GetParam();
    CTempDir dir;
    std::unique_ptr<CBoardProcess> board;
    std::string port = "/dev/telvanor-none";
    if (!c.boardArgs.empty()) {
        board = std::make_unique<CBoardProcess>(c.boardArgs);
        port = board->PortPath();
    }
    if (c.recordFileIsFolder)
        std::filesystem::create_directory(dir.File("BurntMacandIDList.txt"));
    std::vector<std::string> args = {"--port", port};
    args.insert(args.end(), c.cliArgs.begin(), c.cliArgs.end());
    const JsonRun run = RunJson(dir, args, port);
    EXPECT_EQ(run.result.exit, c.exit) << run.result.err;
    const std::vector<QJsonObject> failed = Named(run, "board_failed");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].value("reason").toString().toStdString(), c.reason);
    EXPECT_EQ(failed[0].value("message").toString().toStdString().rfind(c.message, 0), 0u)
        << failed[0].value("message").toString().toStdString();
    EXPECT_TRUE(Named(run, "board_burnt").empty());
    EXPECT_EQ(run.events.back().value("good").toInt(-1), 0);
    EXPECT_EQ(run.events.back().value("failed").toInt(), 1);
    // The message is on standard error too, for the person.
    EXPECT_NE(run.result.err.find(c.message), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, JsonFailures,
    ::testing::Values(FailureCase{"Refusal",
                                  {"--bootargs", kNandArgs},
                                  {"--mac", "00:1a:2b"},
                                  2,
                                  "refused",
                                  "Invalid machine address!"},
                      FailureCase{"TimeOut",
                                  {"--power-on-delay", "60000"},
                                  {"--timeout-ms", "1500"},
                                  1,
                                  "timeout",
                                  "Burn timeout!"},
                      FailureCase{"Unplugged",
                                  {"--bootargs", kNandArgs, "--disconnect-at", "cmd:mw.l:4"},
                                  {"--mac", "00:1a:2b:3c:4d:5e"},
                                  1,
                                  "port_lost",
                                  "The serial port"},
                      FailureCase{
                          "PortCannotBeOpened", {}, {}, 1, "port_open", "Failed to open /dev/telvanor-none"},
                      // The board holds its identity, but nothing says so in the record file.
                      FailureCase{"RecordNotWritten",
                                  {"--bootargs", kNandArgs},
                                  {"--mac", "00:1a:2b:3c:4d:5e", "--records"},
                                  1,
                                  "record",
                                  "Failed to write the burn record",
                                  true}),
    [](const ::testing::TestParamInfo<FailureCase>& i) { return std::string(i.param.name); });

// A stop signal while the job waits for a board: the run ends with that board stopped.
TEST(JsonOutput, StopSignalEndsTheWaitingBoardAsStopped) {
    CTempDir dir;
    CBoardProcess board({"--bootargs", kNandArgs, "--power-on-delay", "60000"});
    CCliProcess cli(dir, BurnArgs(dir, {"--port", board.PortPath(), "--mac", "00:1a:2b:3c:4d:5e", "--json"}));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ReadFileBytes(dir.File("cli.out")).find("\"status\"") == std::string::npos &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    cli.Signal(SIGINT);
    const JsonRun run = ReadRun(cli.Wait(30), board.PortPath());
    EXPECT_EQ(run.result.exit, 130) << run.result.err;
    const std::vector<QJsonObject> failed = Named(run, "board_failed");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].value("reason").toString(), QStringLiteral("stopped"));
    EXPECT_EQ(failed[0].value("message").toString(), QStringLiteral("Stopped: board 1 was not finished."));
    EXPECT_TRUE(Named(run, "board_started").empty());
}

} // namespace
