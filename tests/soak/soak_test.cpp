// A shift in miniature: 1000 boards chained under Increase with records kept, while another program
// holds the record file now and then. No record may be lost, no MAC given twice, and neither the
// traffic log nor the memory may grow faster than the work.
#include "BoardProcess.h"
#include "CliProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kBoards = 1000;

long RssKb(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

std::vector<std::string> RecordLines(const std::string& records) {
    std::vector<std::string> lines;
    for (size_t at = 0; (at = records.find("\r\n", at)) != std::string::npos; at += 2)
        lines.push_back(records.substr(at + 2, records.find("\r\n", at + 2) - at - 2));
    return lines;
}

} // namespace

TEST(SoakTest, ThousandBoardsUnderIncrease) {
    CBoardProcess board({"--bootargs", "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)", "--swap-boards",
                         "--ack-delay-us", "300"});
    CTempDir dir;
    std::ofstream(dir.File("BurnConfig.ini")) << "[BurnConfig]\nCfgName=hwver:A1\n";
    const std::string records = dir.File("BurntMacandIDList.txt");

    std::vector<std::string> args = {TELVANOR_CLI_EXE,
                                     "burn",
                                     "--dir",
                                     dir.Path(),
                                     "--port",
                                     board.PortPath(),
                                     "--mac",
                                     "00:1a:2b:3c:00:00",
                                     "--id-string",
                                     "SN",
                                     "--id-number",
                                     "000001",
                                     "--rule",
                                     "increase",
                                     "--records",
                                     "--boards",
                                     std::to_string(kBoards)};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, dir.File("cli.err").c_str(), O_WRONLY | O_CREAT, 0644);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, TELVANOR_CLI_EXE, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    // Another program (a spreadsheet, a backup) holding the record file for a moment now and then.
    std::atomic<bool> done{false};
    std::atomic<int> holds{0};
    std::thread holder([&] {
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            const int fd = open(records.c_str(), O_RDWR | O_CREAT, 0644);
            if (fd < 0)
                continue;
            if (flock(fd, LOCK_EX) == 0) {
                ++holds;
                std::this_thread::sleep_for(std::chrono::milliseconds(400));
                flock(fd, LOCK_UN);
            }
            close(fd);
        }
    });

    long rssEarly = -1, rssLate = -1, logEarly = -1;
    size_t linesEarly = 0;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(30);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        const size_t lines = RecordLines(ReadFileBytes(records)).size();
        const long rss = RssKb(pid);
        if (rssEarly < 0 && lines >= 100) {
            rssEarly = rss;
            linesEarly = lines;
            logEarly = long(ReadFileBytes(dir.File("Log.txt")).size());
        }
        if (lines >= kBoards - 50 && rss > 0)
            rssLate = rss;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "the chain did not finish";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    done = true;
    holder.join();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFileBytes(dir.File("cli.err"));
    EXPECT_GT(holds.load(), 10);

    // Every board recorded, in order, with consecutive distinct MACs and IDs.
    const std::vector<std::string> lines = RecordLines(ReadFileBytes(records));
    ASSERT_EQ(lines.size(), size_t(kBoards));
    for (int i = 0; i < kBoards; ++i) {
        char mac[32], id[16];
        std::snprintf(mac, sizeof mac, "00:1a:2b:3c:%02x:%02x", (i >> 8) & 0xff, i & 0xff);
        std::snprintf(id, sizeof id, "SN%06d", i + 1);
        ASSERT_EQ(lines[size_t(i)].substr(19), std::string("   ") + mac + "   " + id) << "record " << i;
    }

    // Every received byte once: the traffic log grows with the boards, not with their square.
    board.Stop();
    auto stats = board.Stats();
    const long logSize = long(ReadFileBytes(dir.File("Log.txt")).size());
    // The board may count an acknowledgement that the tool's purge discarded (the frame is then sent
    // again): the log holds at most what was sent, and nearly all of it.
    const std::uint64_t sent = stats["bytes_sent"] + std::uint64_t(kBoards) * 2 * 5;
    EXPECT_LE(std::uint64_t(logSize), sent);
    EXPECT_GE(double(logSize), 0.99 * double(sent));
    ASSERT_GT(linesEarly, 0u);
    const double perBoardEarly = double(logEarly) / double(linesEarly);
    const double perBoardAll = double(logSize) / kBoards;
    EXPECT_LT(perBoardAll, perBoardEarly * 1.2);

    // Memory stays flat across the run.
    ASSERT_GT(rssEarly, 0);
    ASSERT_GT(rssLate, 0);
    EXPECT_LT(rssLate - rssEarly, 2048) << "KiB grown between board 100 and board " << kBoards - 50;
}
