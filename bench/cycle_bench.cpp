// Cycle time of whole burns against telvanor-board paced at 115200 baud, next to the line's own
// limit: the bytes that crossed the line (as the board counted them) at 11520 bytes per second plus
// the fixed pause after each boot download and the quiet guard after each command's reply. Also the
// CPU used while waiting for a board, the window's start-up against a bare dialog, and peak memory.
// Everything is measured side by side in one run; only ratios are meant to be compared.
#include "BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "SerialComm.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A boot file of the given size that the tool accepts: version v1.1.0, a short description, and the
// last quarter as the second segment.
void WriteBootFile(const fs::path& path, std::uint32_t size) {
    std::vector<std::uint8_t> data(size);
    for (std::uint32_t i = 0; i < size; ++i)
        data[i] = std::uint8_t(i * 13);
    std::memset(&data[36], 0, 16);
    std::memcpy(&data[36], "v1.1.0", 6);
    auto put32 = [&](size_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k)
            data[at + size_t(k)] = std::uint8_t(v >> (8 * k));
    };
    const std::string text = "bench boot file";
    put32(52, std::uint32_t(64 + text.size()));
    std::memcpy(&data[100], text.data(), text.size());
    put32(788, size / 4);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(size));
}

struct Case {
    std::string name;
    std::vector<std::string> boardArgs;
    std::string ini;
    std::vector<std::string> entries; // telvanor-cli options after --port and --dir
    int boards = 1;
    bool ca = false;
    // Identities from a lot of this pool ("" typed): made afresh for each run, named in the entries
    // as LOT and POOL.
    std::string pool = std::string();
};

// A fresh lot for one run, its MACs and IDs apart from every other run's (PostgreSQL keeps them
// all, and refuses a lot that would share an identity with another).
bool CreateLot(const fs::path& dir, const std::string& pool, const std::string& lot, int run) {
    char hexRun[8];
    std::snprintf(hexRun, sizeof hexRun, "%02x", run & 0xff);
    Child create = Spawn({TELVANOR_CLI_EXE, "pool", "create", "--dir", dir.string(), "--pool", pool, "--lot",
                          lot, "--mac-first", std::string("02:00:00:") + hexRun + ":00:00", "--mac-last",
                          std::string("02:00:00:") + hexRun + ":ff:ff", "--id-string",
                          "SN" + std::to_string(run) + "-", "--id-first", "000001", "--id-last", "065536"},
                         false, {});
    return Wait(create.pid).status == 0;
}

struct Measure {
    bool ok = false;
    double cycle = 0, bound = 0, guard = 0;
    long maxRssKb = 0;
};

// The window runs the same entries; its options mirror the command line's.
Measure RunCase(const Case& c, bool window, const fs::path& root) {
    Measure m;
    const fs::path dir = root / (c.name + (window ? "-window" : "-cli"));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "BurnConfig.ini") << "[BurnConfig]\n" << c.ini;
    if (c.ca)
        WriteBootFile(dir / "ProgrammerforCA.bin", 64 * 1024);
    std::vector<std::string> boardArgs = {"--pace", "--ack-delay-us", "0"};
    boardArgs.insert(boardArgs.end(), c.boardArgs.begin(), c.boardArgs.end());
    if (c.boards > 1)
        boardArgs.push_back("--swap-boards");
    std::vector<std::string> entries = c.entries;
    if (!c.pool.empty()) {
        static int lots = 0;
        const int run = ++lots;
        const std::string pool = c.pool == "sqlite" ? "sqlite:pool.db" : c.pool;
        const std::string lot = "bench" + std::to_string(run);
        if (!CreateLot(dir, pool, lot, run))
            return m;
        for (std::string& e : entries)
            e = e == "LOT" ? lot : e == "POOL" ? pool : e;
    }
    Board board = StartBoard(dir, boardArgs);
    std::vector<std::string> args;
#ifdef TELVANOR_WINDOW_EXE
    if (window)
        args = {TELVANOR_WINDOW_EXE,      "--dir",     dir.string(), "--port", board.port, "--auto-burn",
                std::to_string(c.boards), "--echo-log"};
#endif
    if (!window)
        args = {TELVANOR_CLI_EXE, "burn",     "--dir",    dir.string(),
                "--port",         board.port, "--boards", std::to_string(c.boards)};
    args.insert(args.end(), entries.begin(), entries.end());
    Child tool = Spawn(args, true, {"QT_QPA_PLATFORM=offscreen"});
    int successes = 0;
    std::int64_t lastSuccess = 0;
    ReadLines(tool.out, [&](const std::string& line, std::int64_t t) {
        if (line == "Burn successfully!") {
            ++successes;
            lastSuccess = t;
        }
    });
    const Exit e = Wait(tool.pid);
    auto stats = StopBoard(board);
    m.maxRssKb = e.usage.ru_maxrss;
    if (e.status != 0 || successes != c.boards || !stats.count("power_on.1.start_ns"))
        return m;
    const double bytes = double(stats["bytes_received"] + stats["bytes_sent"]);
    m.cycle = double(lastSuccess - std::int64_t(stats["power_on.1.start_ns"])) / 1e9;
    // The waits the protocol mandates: the pause after each boot download, and the quiet guard
    // after every reply's "[EOT]" before a command counts as done.
    m.guard = double(stats["commands"]) * CSerialComm::kMarkerGuardUs / 1e6;
    m.bound = bytes / 11520.0 + c.boards * (c.ca ? 0.5 : 0.2) + m.guard;
    m.ok = true;
    return m;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One goal of the benchmark: the worst figure seen against its limit ("at most" or "under").
struct Goal {
    Goal(const char* what_, double limit_, bool atMost_) : what(what_), limit(limit_), atMost(atMost_) {}

    const char* what;
    double limit;
    bool atMost;
    double worst = -1;
    std::string where;
    bool failed = false;

    void Take(double value, const std::string& name) {
        if (value > worst) {
            worst = value;
            where = name;
        }
    }
    void Fail(const std::string& name) {
        failed = true;
        where = name;
    }
    void Print() const {
        const char* verdict = failed || worst < 0                         ? "not measured"
                              : (atMost ? worst <= limit : worst < limit) ? "met"
                                                                          : "NOT MET";
        if (failed)
            std::printf("  %-56s %s %.2f: %s failed\n", what, atMost ? "at most" : "under", limit,
                        where.c_str());
        else
            std::printf("  %-56s %s %.3f: worst %.3f (%s), %s\n", what, atMost ? "at most" : "under", limit,
                        worst, where.c_str(), verdict);
    }
};

// CPU time of a process from /proc, in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::vector<std::string> fields;
    size_t at = close + 2;
    while (at < stat.size()) {
        size_t sp = stat.find(' ', at);
        if (sp == std::string::npos)
            sp = stat.size();
        fields.push_back(stat.substr(at, sp - at));
        at = sp + 1;
    }
    // utime and stime are fields 14 and 15 of the whole line (11 and 12 after the name).
    return (std::strtod(fields[11].c_str(), nullptr) + std::strtod(fields[12].c_str(), nullptr)) /
           double(sysconf(_SC_CLK_TCK));
}

double WaitingCpuShare(const fs::path& root, bool window, double seconds) {
    const fs::path dir = root / (window ? "wait-window" : "wait-cli");
    fs::remove_all(dir);
    fs::create_directories(dir);
    Board board = StartBoard(dir, {"--power-on-delay", "600000"});
    std::vector<std::string> args;
#ifdef TELVANOR_WINDOW_EXE
    if (window)
        args = {TELVANOR_WINDOW_EXE, "--dir", dir.string(), "--port", board.port, "--auto-burn", "1"};
#endif
    if (!window)
        args = {TELVANOR_CLI_EXE, "burn",     "--dir",        dir.string(),
                "--port",         board.port, "--timeout-ms", "600000"};
    Child tool = Spawn(args, false, {"QT_QPA_PLATFORM=offscreen"});
    usleep(1500 * 1000); // start-up and the first start frames
    const double c0 = CpuSeconds(tool.pid);
    const std::int64_t t0 = NowNs();
    usleep(useconds_t(seconds * 1e6));
    const double c1 = CpuSeconds(tool.pid);
    const double wall = double(NowNs() - t0) / 1e9;
    kill(tool.pid, SIGTERM);
    Wait(tool.pid);
    StopBoard(board);
    return (c1 - c0) / wall;
}

} // namespace

#ifdef TELVANOR_WINDOW_EXE
// From the start of a program to its first frame as the program reports it ("first frame at N ns",
// steady clock, which is CLOCK_MONOTONIC as NowNs); negative when it did not say.
double StartupSeconds(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    const std::int64_t t0 = NowNs();
    Child c = Spawn(args, true, env);
    long long at = -1;
    ReadLines(c.out, [&](const std::string& line, std::int64_t) {
        std::sscanf(line.c_str(), "first frame at %lld ns", &at);
    });
    Wait(c.pid);
    return at < 0 ? -1.0 : double(at - t0) / 1e9;
}

// The window's start-up against the bare dialog's, in pairs side by side: the medians of both (ms)
// and of the pairs' ratios.
struct Startup {
    double windowMs = -1, bareMs = -1, ratio = -1;
};

Startup StartupPairs(const fs::path& root, const std::vector<std::string>& env, int pairs) {
    std::vector<double> w, b, ratios;
    // One pair unmeasured first: the first start after a build or on a fresh display reads its
    // libraries and fonts from disk, which says nothing about either program.
    StartupSeconds({TELVANOR_WINDOW_EXE, "--dir", root.string(), "--exit-after-paint"}, env);
    StartupSeconds({TELVANOR_BARE_EXE}, env);
    for (int r = 0; r < pairs; ++r) {
        const double a =
            StartupSeconds({TELVANOR_WINDOW_EXE, "--dir", root.string(), "--exit-after-paint"}, env);
        const double c = StartupSeconds({TELVANOR_BARE_EXE}, env);
        if (a > 0 && c > 0) {
            w.push_back(a * 1e3);
            b.push_back(c * 1e3);
            ratios.push_back(a / c);
        }
    }
    if (ratios.empty())
        return {};
    return {Median(w), Median(b), Median(ratios)};
}

// Both the median of the pairs' ratios and the ratio of the medians: a display connection that is
// slow in one program of a pair and quick in the other scatters the first more than the second.
void PrintStartup(const char* where, const Startup& s, int pairs) {
    std::printf("\nWindow start-up to its first frame / bare dialog, %s: %.3f (median of %d pairs' ratios); "
                "window %.1f ms / bare %.1f ms = %.3f (medians)",
                where, s.ratio, pairs, s.windowMs, s.bareMs, s.windowMs / s.bareMs);
}

// A private X server for the start-up pairs: the operator's window opens on a display, and the
// offscreen platform leaves out all a display costs every program alike.
struct XDisplay {
    pid_t pid = -1;
    std::string name;
};

std::optional<XDisplay> StartXvfb() {
    std::string exe;
    const char* path = std::getenv("PATH");
    for (std::string rest = path ? path : ""; !rest.empty();) {
        const size_t colon = rest.find(':');
        const fs::path candidate = fs::path(rest.substr(0, colon)) / "Xvfb";
        if (access(candidate.c_str(), X_OK) == 0) {
            exe = candidate.string();
            break;
        }
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
    if (exe.empty())
        return std::nullopt;
    for (int n = 90; n < 120; ++n) {
        if (fs::exists("/tmp/.X" + std::to_string(n) + "-lock"))
            continue;
        XDisplay x{
            Spawn({exe, ":" + std::to_string(n), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, false)
                .pid,
            ":" + std::to_string(n)};
        if (x.pid < 0)
            return std::nullopt;
        const fs::path socket = "/tmp/.X11-unix/X" + std::to_string(n);
        for (int i = 0; i < 300 && !fs::exists(socket); ++i)
            usleep(10 * 1000);
        int status = 0;
        if (fs::exists(socket) && waitpid(x.pid, &status, WNOHANG) == 0)
            return x;
        kill(x.pid, SIGTERM);
        waitpid(x.pid, &status, 0);
    }
    return std::nullopt;
}

void StopXvfb(const XDisplay& x) {
    kill(x.pid, SIGTERM);
    Wait(x.pid);
}
#endif

// The cycle with the read-back check against the same cycle without it, the two runs of a pair one
// after the other so a busy machine slows both alike, and which goes first alternates so the order
// itself does not count.
int VerifyCost(const std::vector<Case>& cases, int runs, const fs::path& root) {
    std::printf("Cycle time with the read-back check (--verify) against without, paced virtual board, "
                "median of %d pair(s)\n\n",
                runs);
    std::printf("%-18s %10s %10s %12s %12s %12s\n", "case", "plain s", "verify s", "ratio(med)", "med(ratio)",
                "line ratio");
    for (const Case& c : cases) {
        if (c.name != "nand-example" && c.name != "block-near-1024")
            continue;
        Case verified = c;
        verified.entries.push_back("--verify");
        // The line ratio compares the bytes on the wire at 115200 baud (plus the boot pause): what the
        // check costs on an idle machine, where the cycle is bound by the line.
        std::vector<double> plain, checked, ratios, lineRatios;
        for (int r = 0; r < runs; ++r) {
            Measure a, b;
            if (r % 2 == 0) {
                a = RunCase(c, false, root);
                b = RunCase(verified, false, root);
            } else {
                b = RunCase(verified, false, root);
                a = RunCase(c, false, root);
            }
            if (!a.ok || !b.ok)
                continue;
            plain.push_back(a.cycle);
            checked.push_back(b.cycle);
            ratios.push_back(b.cycle / a.cycle);
            lineRatios.push_back(b.bound / a.bound);
        }
        if (ratios.empty()) {
            std::printf("%-18s FAILED\n", c.name.c_str());
            continue;
        }
        std::printf("%-18s %10.3f %10.3f %12.3f %12.3f %12.3f\n", c.name.c_str(), Median(plain),
                    Median(checked), Median(checked) / Median(plain), Median(ratios), Median(lineRatios));
        std::fflush(stdout);
    }
    fs::remove_all(root);
    return 0;
}

int main(int argc, char** argv) {
    // --quick: one run of each case; --startup: only the start-up pairs; --case NAME: only the
    // cycle of the cases whose names begin with NAME (to compare two builds of the tool or the
    // board quickly; "--case nand-5" compares typed entries with the lots side by side);
    // --verify-cost: only the cycle with the read-back check (--verify) against without, side by side.
    bool quick = false, startupOnly = false, verifyCost = false;
    std::string onlyCase;
    for (int i = 1; i < argc; ++i) {
        quick = quick || std::strcmp(argv[i], "--quick") == 0;
        startupOnly = startupOnly || std::strcmp(argv[i], "--startup") == 0;
        verifyCost = verifyCost || std::strcmp(argv[i], "--verify-cost") == 0;
        if (std::strcmp(argv[i], "--case") == 0 && i + 1 < argc)
            onlyCase = argv[++i];
    }
    const fs::path root = fs::temp_directory_path() / ("telvanor-bench-" + std::to_string(getpid()));
    fs::create_directories(root);

    const std::string nand = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";
    const std::string emmc = "blkdevparts=mmcblk0:1M(boot),1M(env),1M(deviceinfo),-(rootfs)";
    std::string longName(900, 'v');
    std::vector<Case> cases = {
        {"nand-example",
         {"--bootargs", nand},
         "CfgName=hwver:A1\n",
         {"--mac", "00:1a:2b:3c:4d:5e", "--id-string", "SN0001"}},
        {"block-near-1024",
         {"--bootargs", nand},
         "CfgName=blob:" + longName + "\n",
         {"--mac", "00:1a:2b:3c:4d:5e", "--id-string", "SN0001"}},
        {"emmc-two-items",
         {"--flash", "emmc", "--bootargs", emmc},
         "ExtraInfo=0x200:CALIBRATION-0001|0x400\n",
         {"--mac", "00:1a:2b:3c:4d:5e", "--extra-string", "1=LOT-77"}},
        {"ca-boot-64k", {"--bootargs", nand, "--ca"}, "IsCA=1\n", {"--mac", "00:1a:2b:3c:4d:5e"}, 1, true},
        {"chain-5-increase",
         {"--bootargs", nand},
         "",
         {"--mac", "00:1a:2b:3c:4d:5e", "--id-string", "SN", "--id-number", "0001", "--rule", "increase",
          "--records"},
         5},
        // The nand example chained over five boards, typed and from a lot: every board after the
        // first reserves its unit inside the cycle, and every board commits one. The typed ID is as
        // long as a lot's ("SN<run>-000001"), so both put the same bytes on the line.
        {"nand-5-typed",
         {"--bootargs", nand},
         "CfgName=hwver:A1\n",
         {"--mac", "00:1a:2b:3c:4d:5e", "--id-string", "SN0-", "--id-number", "000001", "--rule", "increase"},
         5},
        {"nand-5-sqlite",
         {"--bootargs", nand},
         "CfgName=hwver:A1\n",
         {"--lot", "LOT", "--pool", "POOL"},
         5,
         false,
         "sqlite"},
    };
    // A local PostgreSQL server when one is named (scripts/with-postgres.sh starts a private one).
    const char* pg = std::getenv("TELVANOR_TEST_PG_URL");
    if (pg && *pg)
        cases.push_back({"nand-5-postgresql",
                         {"--bootargs", nand},
                         "CfgName=hwver:A1\n",
                         {"--lot", "LOT", "--pool", "POOL"},
                         5,
                         false,
                         pg});
    const int runs = quick ? 1 : 5;
    if (verifyCost)
        return VerifyCost(cases, quick ? 1 : 11, root);
    std::map<std::string, double> cliMedians, winMedians;

    long cliRss = 0;
#ifdef TELVANOR_WINDOW_EXE
    long winRss = 0;
#endif
    // The worst of each goal's figure over the cases, for the verdict at the end.
    Goal cliGoal{"command line / bound, every case", 1.10, true};
    Goal winGoal{"window / command line, every case", 1.05, true};
    Goal waitGoal{"waiting for a board, share of one core (cli, window)", 0.02, false};
    Goal startGoal{"window start-up / bare dialog, on a display", 1.5, false};
    Goal poolGoal{"lot / typed entries, nand example chain", 1.03, true};
    if (!startupOnly) {
        std::printf("Cycle time against the paced virtual board (115200 baud), median of %d run(s)\n\n",
                    runs);
        std::printf("%-18s %10s %10s %9s %9s", "case", "cli s", "bound s", "guard s", "cli/bnd");
#ifdef TELVANOR_WINDOW_EXE
        std::printf(" %10s %9s %9s", "window s", "win/bnd", "win/cli");
#endif
        std::printf("\n");
        for (const Case& c : cases) {
            if (!onlyCase.empty() && c.name.rfind(onlyCase, 0) != 0)
                continue;
            std::vector<double> cli, bound, guard, win;
            for (int r = 0; r < runs; ++r) {
                const Measure a = RunCase(c, false, root);
                if (a.ok) {
                    cli.push_back(a.cycle);
                    bound.push_back(a.bound);
                    guard.push_back(a.guard);
                    cliRss = std::max(cliRss, a.maxRssKb);
                }
#ifdef TELVANOR_WINDOW_EXE
                const Measure b = RunCase(c, true, root);
                if (b.ok) {
                    win.push_back(b.cycle);
                    winRss = std::max(winRss, b.maxRssKb);
                }
#endif
            }
            if (cli.empty()) {
                std::printf("%-18s FAILED\n", c.name.c_str());
                cliGoal.Fail(c.name);
                continue;
            }
            const double mc = Median(cli), mb = Median(bound);
            cliMedians[c.name] = mc;
            if (!win.empty())
                winMedians[c.name] = Median(win);
            std::printf("%-18s %10.3f %10.3f %9.3f %9.3f", c.name.c_str(), mc, mb, Median(guard), mc / mb);
            cliGoal.Take(mc / mb, c.name);
#ifdef TELVANOR_WINDOW_EXE
            if (win.empty()) {
                std::printf(" %10s", "FAILED");
                winGoal.Fail(c.name);
            } else {
                std::printf(" %10.3f %9.3f %9.3f", Median(win), Median(win) / mb, Median(win) / mc);
                winGoal.Take(Median(win) / mc, c.name);
            }
#endif
            std::printf("\n");
            std::fflush(stdout);
        }

        std::printf("\nIdentities from a lot / typed, nand example chained over five boards:");
        for (const char* store : {"sqlite", "postgresql"}) {
            const std::string name = std::string("nand-5-") + store;
            if (!cliMedians.count(name) || !cliMedians.count("nand-5-typed")) {
                std::printf(" %s not measured;", store);
                continue;
            }
            const double ratio = cliMedians[name] / cliMedians["nand-5-typed"];
            std::printf(" %s cli %.3f", store, ratio);
            poolGoal.Take(ratio, name + " cli");
            if (winMedians.count(name) && winMedians.count("nand-5-typed")) {
                const double winRatio = winMedians[name] / winMedians["nand-5-typed"];
                std::printf(", window %.3f", winRatio);
                poolGoal.Take(winRatio, name + " window");
            }
            std::printf(";");
        }
        std::printf("\n");
        if (!onlyCase.empty()) {
            fs::remove_all(root);
            return 0;
        }
        const double waitSeconds = quick ? 3 : 10;
        const double cliWait = WaitingCpuShare(root, false, waitSeconds);
        std::printf("\nCPU while waiting for a board (%.0f s), share of one core: cli %.2f%%", waitSeconds,
                    100 * cliWait);
        waitGoal.Take(cliWait, "cli");
#ifdef TELVANOR_WINDOW_EXE
        const double winWait = WaitingCpuShare(root, true, waitSeconds);
        std::printf(", window %.2f%%", 100 * winWait);
        waitGoal.Take(winWait, "window");
#endif
    }
#ifdef TELVANOR_WINDOW_EXE
    const int pairs = quick ? 3 : 21;
    if (std::optional<XDisplay> x = StartXvfb()) {
        const Startup onX = StartupPairs(root, {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + x->name}, pairs);
        StopXvfb(*x);
        PrintStartup("X display (Xvfb)", onX, pairs);
        // Both summaries count; the goal takes the less favourable.
        if (onX.ratio > 0)
            startGoal.Take(std::max(onX.ratio, onX.windowMs / onX.bareMs), "Xvfb");
    } else {
        std::printf("\nWindow start-up to its first frame / bare dialog, X display: no Xvfb here");
    }
    // Offscreen, for reference only: a bare dialog there paints no text and loads no fonts, so the
    // ratio mostly shows what the window does at all, not what it costs beside a display.
    PrintStartup("offscreen (reference)", StartupPairs(root, {"QT_QPA_PLATFORM=offscreen"}, pairs), pairs);
#endif
    if (!startupOnly) {
        std::printf("\nPeak memory: cli %ld KiB", cliRss);
#ifdef TELVANOR_WINDOW_EXE
        std::printf(", window %ld KiB", winRss);
#endif
    }
    std::printf("\n");
    if (onlyCase.empty()) {
        std::printf("\nGoals, this run:\n");
        if (!startupOnly) {
            cliGoal.Print();
#ifdef TELVANOR_WINDOW_EXE
            winGoal.Print();
#endif
            waitGoal.Print();
            poolGoal.Print();
        }
#ifdef TELVANOR_WINDOW_EXE
        startGoal.Print();
#endif
    }
    fs::remove_all(root);
    return 0;
}
