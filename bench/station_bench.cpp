// Throughput of a station: 1, 2, 4 and 8 virtual boards paced at 115200 baud, one lot in a SQLite
// pool, 40 good boards per run, through telvanor-cli and through the station window (offscreen),
// side by side in one run. Prints boards per minute, the scaling ratio (throughput with n ports over
// n times the throughput with one) and the CPU share per port while boards run and while the ports
// wait for boards. Only ratios measured in the same run are meant to be compared.
#include "BenchSupport.h"
#include "IdentityPool.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kBoards = 40;
const char kNandArgs[] = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";

struct Run {
    bool ok = false;
    int status = -1;        // the program's exit status
    std::uint64_t good = 0; // boards the virtual boards saw burnt (power-ons)
    double seconds = 0, cpu = 0;
};

double CpuOf(const rusage& u) {
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A fresh program folder with a pool holding one lot big enough for the run.
bool MakeFolder(const fs::path& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "BurnConfig.ini") << "[BurnConfig]\n";
    PoolResult r;
    std::unique_ptr<IIdentityPool> pool = OpenIdentityPool("sqlite:pool.db", dir.string(), true, r);
    if (!pool)
        return false;
    PoolLot lot;
    lot.name = "BENCH";
    lot.macFirst = ParseMacValue("00:1a:2b:00:00:00").value();
    lot.macLast = ParseMacValue("00:1a:2b:00:0f:ff").value();
    lot.idString = "SN";
    lot.idFirst = "000001";
    lot.idLast = "999999";
    return pool->CreateLot(lot).Ok();
}

std::vector<std::string> Command(bool window, const fs::path& dir, const std::vector<Board>& boards,
                                 bool wait) {
    std::vector<std::string> args;
    if (window)
        args = {TELVANOR_WINDOW_EXE, "--dir", dir.string(), "--station", "--lot", "BENCH", "--pool",
                "sqlite:pool.db"};
    else
        args = {TELVANOR_CLI_EXE, "burn",  "--dir",  dir.string(),
                "--lot",          "BENCH", "--pool", "sqlite:pool.db"};
    for (const Board& b : boards)
        args.insert(args.end(), {"--port", b.port});
    if (window)
        args.insert(args.end(), {"--auto-burn", std::to_string(wait ? 1000000 : kBoards)});
    else if (!wait)
        args.insert(args.end(), {"--boards", std::to_string(kBoards)});
    return args;
}

// 40 good boards on n paced boards; the time from the program's start to its end.
Run Burn(bool window, int n, const fs::path& root) {
    Run run;
    const fs::path dir = root / ((window ? "window-" : "cli-") + std::to_string(n));
    if (!MakeFolder(dir))
        return run;
    std::vector<Board> boards;
    for (int i = 0; i < n; ++i)
        boards.push_back(StartBoard(dir / std::to_string(i), {"--pace", "--ack-delay-us", "0",
                                                              "--swap-boards", "--bootargs", kNandArgs}));
    // The boards of the run before wrote their flash images (64 MiB each) on the way out: left in
    // the page cache, they would be written back during this run, and the pool's first synced
    // commit would wait for them.
    sync();
    const std::int64_t start = NowNs();
    const Child c = Spawn(Command(window, dir, boards, false), false, {"QT_QPA_PLATFORM=offscreen"});
    const Exit e = Wait(c.pid);
    run.seconds = double(NowNs() - start) / 1e9;
    run.cpu = CpuOf(e.usage);
    for (Board& b : boards)
        run.good += StopBoard(b)["power_ons"];
    run.status = e.status;
    run.ok = e.status == 0 && run.good >= std::uint64_t(kBoards);
    return run;
}

// n ports whose boards never answer, for the given time: the CPU the waiting costs.
double Waiting(bool window, int n, const fs::path& root, double seconds) {
    const fs::path dir = root / ((window ? "wait-window-" : "wait-cli-") + std::to_string(n));
    if (!MakeFolder(dir))
        return -1;
    std::vector<Board> boards;
    for (int i = 0; i < n; ++i)
        boards.push_back(StartBoard(dir / std::to_string(i), {"--pace", "--silent-start", "1000000000"}));
    const Child c = Spawn(Command(window, dir, boards, true), false, {"QT_QPA_PLATFORM=offscreen"});
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    kill(c.pid, window ? SIGTERM : SIGINT);
    const Exit e = Wait(c.pid);
    for (Board& b : boards)
        StopBoard(b);
    return CpuOf(e.usage) / seconds / n;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const fs::path root = fs::temp_directory_path() / ("telvanor-station-bench-" + std::to_string(getpid()));
    const std::vector<int> ports = quick ? std::vector<int>{1, 4} : std::vector<int>{1, 2, 4, 8};

    std::printf(
        "Station throughput: %d good boards per run from one SQLite lot, boards paced at 115200 baud\n\n",
        kBoards);
    std::printf("ports   cli b/min  cli scale  cli cpu/port   win b/min  win scale  win cpu/port\n");
    double cliOne = 0, winOne = 0, cliWorst = 2, winWorst = 2;
    bool allOk = true;
    for (int n : ports) {
        const Run cli = Burn(false, n, root);
        const Run win = Burn(true, n, root);
        allOk = allOk && cli.ok && win.ok;
        const double cliRate = kBoards / cli.seconds * 60, winRate = kBoards / win.seconds * 60;
        if (n == 1) {
            cliOne = cliRate;
            winOne = winRate;
        }
        const double cliScale = cliRate / (n * cliOne), winScale = winRate / (n * winOne);
        if (n == ports.back()) {
            cliWorst = cliScale;
            winWorst = winScale;
        }
        std::printf("%5d %11.1f %10.3f %13.2f%% %11.1f %10.3f %13.2f%%", n, cliRate, cliScale,
                    100 * cli.cpu / cli.seconds / n, winRate, winScale, 100 * win.cpu / win.seconds / n);
        // A run that ended with a failed board (exit 1) or without its boards says so.
        for (const auto& [name, r] : {std::pair{"cli", &cli}, std::pair{"window", &win}})
            if (!r->ok)
                std::printf("  (%s: exit %d, %llu power-ons)", name, r->status, (unsigned long long)r->good);
        std::printf("\n");
        std::fflush(stdout);
    }
    const int waitPorts = ports.back();
    const double cliWait = Waiting(false, waitPorts, root, 5), winWait = Waiting(true, waitPorts, root, 5);
    std::printf(
        "\nCPU per port while %d ports wait for boards (5 s, share of one core): cli %.2f%%, window %.2f%%"
        " (window: start-up included)\n",
        waitPorts, 100 * cliWait, 100 * winWait);
    std::printf("\nGoals, this run (%d ports):\n", ports.back());
    std::printf("  command line scaling   at least 0.95: %.3f, %s\n", cliWorst,
                cliWorst >= 0.95 ? "met" : "NOT met");
    std::printf("  station window scaling at least 0.90: %.3f, %s\n", winWorst,
                winWorst >= 0.90 ? "met" : "NOT met");
    if (!allOk)
        std::printf("  a run did not end with %d good boards: its figures are not valid\n", kBoards);
    fs::remove_all(root);
    return allOk ? 0 : 1;
}
