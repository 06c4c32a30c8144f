// A chain of 200 boards under Increase on a machine whose two cores are kept busy by two other
// programs, against a board that answers every frame at once: the tool's thread often runs late
// between writing a frame and reading its answer, yet no answer is lost, no frame is sent twice and
// no board fails. A real board has a processor of its own, so the virtual board keeps a larger share
// of this machine than the tool and the load: the tool is the one that runs late, not the board.
// Nothing else runs beside it (RUN_SERIAL): the load is these two processes, as the case says.
#include "BoardProcess.h"
#include "CliProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kBoards = 200;

// A program that keeps one core busy until it is killed.
class CBusyProcess {
public:
    CBusyProcess() {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        char name[] = "yes";
        char* argv[] = {name, nullptr};
        if (posix_spawnp(&m_nPid, "yes", &actions, nullptr, argv, environ) != 0)
            m_nPid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CBusyProcess() {
        if (m_nPid > 0) {
            kill(m_nPid, SIGKILL);
            waitpid(m_nPid, nullptr, 0);
        }
    }
    CBusyProcess(const CBusyProcess&) = delete;
    CBusyProcess& operator=(const CBusyProcess&) = delete;
    bool Running() const { return m_nPid > 0 && waitpid(m_nPid, nullptr, WNOHANG) == 0; }

private:
    pid_t m_nPid = -1;
};

} // namespace

TEST(BusyChainSoak, TwoHundredBoardsBesideTwoBusyProcesses) {
    CBoardProcess board({"--bootargs", "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)", "--swap-boards",
                         "--ack-delay-us", "0"});
    CTempDir dir;
    std::ofstream(dir.File("BurnConfig.ini")) << "[BurnConfig]\nCfgName=hwver:A1\n";
    // The board runs above the tool and the load: raised where this user may (root), else the tool
    // and the load started from here on are lowered, which any user may do.
    if (setpriority(PRIO_PROCESS, board.Pid(), -5) != 0) {
        ASSERT_EQ(setpriority(PRIO_PROCESS, 0, getpriority(PRIO_PROCESS, 0) + 5), 0);
    }
    CBusyProcess busy1, busy2;
    ASSERT_TRUE(busy1.Running());
    ASSERT_TRUE(busy2.Running());

    const CliResult r =
        RunCli(dir,
               {"--port", board.PortPath(), "--mac", "00:1a:2b:3c:00:00", "--id-string", "SN", "--id-number",
                "000001", "--rule", "increase", "--records", "--boards", std::to_string(kBoards)},
               900);
    EXPECT_TRUE(busy1.Running() && busy2.Running()); // the load lasted the whole chain
    board.Stop();
    auto stats = board.Stats();
    const std::string records = ReadFileBytes(dir.File("BurntMacandIDList.txt"));
    size_t lines = 0;
    for (size_t at = 0; (at = records.find("\r\n", at)) != std::string::npos; at += 2)
        ++lines;
    // A frame sent again shows as a repeat, a refused one as rejected.
    std::vector<std::string> repeats;
    for (const std::string& line : board.TraceLines())
        if (line.rfind("repeat", 0) == 0)
            repeats.push_back(line);

    // A board process held up past the wait for its answer fails or repeats a frame, as a board that
    // answers that late must: such a run (a machine loaded far beyond this test) says nothing about
    // the tool.
    const std::uint64_t heldUp = std::max(stats["held_up_max_ns"], stats["output_late_max_ns"]);
    const bool clean = r.exit == 0 && repeats.empty() && stats["frames_rejected"] == 0;
    if (!clean && heldUp >= 100'000'000)
        GTEST_SKIP() << "the machine held the board up for " << heldUp / 1000000 << " ms: " << r.err;
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(lines, size_t(kBoards));
    // Neither may happen, however late the tool's thread ran.
    for (const std::string& line : repeats)
        ADD_FAILURE() << line;
    EXPECT_EQ(stats["frames_rejected"], 0u);
    EXPECT_EQ(stats["commands_failed"], 0u);
    EXPECT_EQ(stats["power_ons"], std::uint64_t(kBoards));
}
