// telvanor-cli burn with several ports against virtual boards and a lot in a SQLite pool: usage, a
// whole run with its output and files, Ctrl-C.
#include "BoardProcess.h"
#include "CliProcess.h"
#include "IdentityPool.h"
#include "JsonLinesReader.h"
#include "Station.h"
#include "TestPool.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>

extern char** environ;

namespace {

const char kNandArgs[] = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";

class StationCli : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQtApp();
        std::ofstream(m_dir.File("BurnConfig.ini"), std::ios::binary) << "[BurnConfig]\r\n";
        m_url = "sqlite:" + m_dir.File("pool.db");
        PoolResult r;
        m_pool = OpenIdentityPool(m_url, m_dir.Path(), true, r);
        ASSERT_TRUE(m_pool) << r.message;
        PoolLot lot;
        lot.name = "L1";
        lot.macFirst = ParseMacValue("00:1a:2b:3c:00:00").value();
        lot.macLast = ParseMacValue("00:1a:2b:3c:00:63").value();
        lot.idString = "SN";
        lot.idFirst = "0001";
        lot.idLast = "9999";
        ASSERT_TRUE(m_pool->CreateLot(lot).Ok());
    }

    LotStatus Status() {
        std::vector<LotStatus> out;
        EXPECT_TRUE(m_pool->Status("L1", out).Ok());
        return out.empty() ? LotStatus() : out[0];
    }

    std::vector<std::unique_ptr<CBoardProcess>> Boards(int n, const std::vector<std::string>& extra = {}) {
        std::vector<std::unique_ptr<CBoardProcess>> boards;
        for (int i = 0; i < n; ++i) {
            std::vector<std::string> args = {"--bootargs", kNandArgs, "--swap-boards"};
            args.insert(args.end(), extra.begin(), extra.end());
            boards.push_back(std::make_unique<CBoardProcess>(args));
        }
        return boards;
    }

    CTempDir m_dir;
    std::string m_url;
    std::unique_ptr<IIdentityPool> m_pool;
};

} // namespace

TEST_F(StationCli, SeveralPortsWantALotAndNoTypedValues) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--port", "a", "--port", "b"},
             {"--port", "a", "--port", "b", "--lot", "L1", "--mac", "00:1a:2b:3c:4d:5e"},
             {"--port", "a", "--port", "b", "--lot", "L1", "--rule", "increase"},
             {"--port", "a", "--port", "b", "--lot", "L1", "--id-string", "X"},
             {"--port", "a", "--lot", "L1", "--mac", "00:1a:2b:3c:4d:5e"}}) {
        const CliResult r = RunCli(m_dir, args);
        EXPECT_EQ(r.exit, 64) << args.back();
        EXPECT_NE(r.err.find("Usage"), std::string::npos);
    }
    EXPECT_NE(RunCli(m_dir, {"--port", "a", "--port", "b"}).err.find("--lot"), std::string::npos);
}

TEST_F(StationCli, ItemsForALotAreCheckedBeforeAnyPortOpens) {
    // The ports do not exist: a run that got past the checks would fail opening them (exit 1).
    std::ofstream(m_dir.File("BurnConfig.ini"), std::ios::binary) << "[BurnConfig]\r\nCfgName=sn\r\n";
    for (const auto& [option, item, message] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"--key-number", "sn=12x", "[sn] "}, {"--key-string", "sn=a\nb", "control character"}}) {
        const CliResult r =
            RunCli(m_dir, {"--port", "a", "--port", "b", "--lot", "L1", "--pool", m_url, option, item});
        EXPECT_EQ(r.exit, 2) << item << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    EXPECT_EQ(Status().reserved, 0u);
}

TEST_F(StationCli, FourPortsBurnTwelveBoards) {
    auto boards = Boards(4);
    std::vector<std::string> args = {"--lot", "L1", "--pool", m_url, "--boards", "12", "--records"};
    for (const auto& b : boards)
        args.insert(args.end(), {"--port", b->PortPath()});
    const CliResult r = RunCli(m_dir, args);
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.err, "");

    // Every line starts with its port; each port says "Burn successfully!" for each of its boards.
    int burnt = 0;
    for (size_t at = 0; at < r.out.size();) {
        const size_t nl = r.out.find('\n', at);
        const std::string line = r.out.substr(at, nl - at);
        at = nl == std::string::npos ? r.out.size() : nl + 1;
        bool prefixed = false;
        for (const auto& b : boards)
            prefixed = prefixed || line.rfind(b->PortPath() + ": ", 0) == 0;
        EXPECT_TRUE(prefixed) << line;
        burnt += line.size() > 18 && line.substr(line.size() - 18) == "Burn successfully!";
    }
    EXPECT_EQ(burnt, 12);
    const LotStatus status = Status();
    EXPECT_EQ(status.burnt, 12u);
    EXPECT_EQ(status.reserved + status.uncertain, 0u);
    EXPECT_EQ(ReadFileBytes(m_dir.File("BurntMacandIDList.txt")).size(), 12u * 50u); // CR LF, time, MAC, ID
    for (const auto& b : boards)
        EXPECT_NE(ReadFileBytes(m_dir.File(PortLogName(b->PortPath()))).find("start download process."),
                  std::string::npos);
    EXPECT_FALSE(std::ifstream(m_dir.File("Log.txt")).good());
}

TEST_F(StationCli, OnePortWithALotKeepsLogTxtAndPlainLines) {
    auto boards = Boards(1);
    const CliResult r =
        RunCli(m_dir, {"--port", boards[0]->PortPath(), "--lot", "L1", "--pool", m_url, "--boards", "3"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Unit 0 of lot 'L1' reserved: MAC 00:1a:2b:3c:00:00, ID SN0001.", 0), 0u) << r.out;
    EXPECT_EQ(Status().burnt, 3u);
    EXPECT_NE(ReadFileBytes(m_dir.File("Log.txt")).find("start download process."), std::string::npos);
    EXPECT_FALSE(std::ifstream(m_dir.File(PortLogName(boards[0]->PortPath()))).good());
}

// Two ports' events interleave on one stream: each line says which port it is about, whole, and
// each port's boards end once each.
TEST_F(StationCli, TwoPortsWithJsonNameThePortOnEveryLine) {
    auto boards = Boards(2);
    std::vector<std::string> args = {"--lot", "L1", "--pool", m_url, "--boards", "4", "--json"};
    for (const auto& b : boards)
        args.insert(args.end(), {"--port", b->PortPath()});
    const CliResult r = RunCli(m_dir, args);
    EXPECT_EQ(r.exit, 0) << r.err;
    std::string problem;
    const std::vector<QJsonObject> events = ReadJsonLines(r.out, problem);
    EXPECT_EQ(problem, "");
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.front().value("event").toString(), QStringLiteral("hello"));
    EXPECT_EQ(events.front().value("ports").toArray().size(), 2);
    EXPECT_EQ(events.back().value("event").toString(), QStringLiteral("run_finished"));
    EXPECT_EQ(events.back().value("good").toInt(), 4);
    EXPECT_EQ(events.back().value("exit_status").toInt(-1), 0);
    std::map<std::string, int> started, burnt;
    std::set<std::string> macs;
    for (const QJsonObject& e : events) {
        const std::string port = e.value("port").toString().toStdString();
        const QString name = e.value("event").toString();
        if (name == QLatin1String("hello") || name == QLatin1String("run_finished")) {
            EXPECT_EQ(port, ""); // the run's, not a port's
            continue;
        }
        EXPECT_TRUE(port == boards[0]->PortPath() || port == boards[1]->PortPath()) << port;
        started[port] += name == QLatin1String("board_started");
        if (name == QLatin1String("board_burnt")) {
            ++burnt[port];
            macs.insert(e.value("mac").toString().toStdString());
        }
        EXPECT_NE(name, QLatin1String("board_failed"));
    }
    EXPECT_EQ(burnt[boards[0]->PortPath()] + burnt[boards[1]->PortPath()], 4);
    for (const auto& b : boards)
        EXPECT_EQ(started[b->PortPath()], burnt[b->PortPath()]) << b->PortPath();
    EXPECT_EQ(macs.size(), 4u); // four units of the lot, none twice
}

TEST_F(StationCli, CtrlCEndsEveryPortAndSettlesEveryUnit) {
    auto boards = Boards(2, {"--delay-ms", "5"});
    std::vector<std::string> args = {TELVANOR_CLI_EXE, "burn", "--dir",  m_dir.Path(),
                                     "--lot",          "L1",   "--pool", m_url};
    for (const auto& b : boards)
        args.insert(args.end(), {"--port", b->PortPath()});
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, TELVANOR_CLI_EXE, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Status().burnt < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_GE(Status().burnt, 3u);
    kill(pid, SIGINT);
    int status = 0;
    for (int i = 0; i < 500 && waitpid(pid, &status, WNOHANG) != pid; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(WIFEXITED(status)) << "still running 10 s after Ctrl-C";
    EXPECT_EQ(WEXITSTATUS(status), 130);
    const LotStatus after = Status();
    EXPECT_EQ(after.reserved, 0u); // back to free, or uncertain when it may be in a board
    EXPECT_LE(after.uncertain, 2u);
}
