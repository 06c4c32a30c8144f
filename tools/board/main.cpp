// telvanor-board: a board on a pseudo-terminal for tests, demos and benchmarks. See --help.
#include "BoardEngine.h"
#include "BoardOptions.h"
#include "BootLoader.h"
#include "OptionTable.h"
#include "PtyLine.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int64_t kTickNs = 5'000'000;
// How long before a paced byte's time the board stops sleeping and watches the clock.
constexpr std::int64_t kByteSpinNs = 80'000;
// After the last reply before a disconnect, time for the tool to read it: closing the master
// drops whatever the slave has not read yet.
constexpr std::int64_t kLingerNs = 200'000'000;
constexpr std::uint32_t kStagingDumpSize = 64 * 1024;

volatile std::sig_atomic_t g_nStopSignal = 0;

void OnSignal(int signal) {
    g_nStopSignal = signal;
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

bool DumpMemory(const std::string& path, const CSparseMemory& memory, std::uint64_t address,
                std::uint64_t n) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = memory.Dump(f, address, n);
    return std::fclose(f) == 0 && ok;
}

std::string StatsText(const tagBoardStats& s) {
    std::string text;
    auto add = [&](const std::string& key, std::uint64_t value) {
        text += key + "=" + std::to_string(value) + "\n";
    };
    add("bytes_received", s.qwBytesReceived);
    add("bytes_sent", s.qwBytesSent);
    add("power_ons", s.nPowerOns);
    add("commands", s.nCommands);
    add("commands_failed", s.nCommandsFailed);
    add("frames_acked", s.nFramesAcked);
    add("frames_rejected", s.nFramesRejected);
    add("output_late_max_ns", s.qwOutputLateMaxNs);
    add("error_gap_max_ns", s.qwErrorGapMaxNs);
    add("held_up_max_ns", s.qwHeldUpMaxNs);
    for (unsigned i = 1; i <= s.nPowerOns; ++i) {
        auto start = s.aStartNs.find(i);
        auto eot = s.aLastEotNs.find(i);
        add("power_on." + std::to_string(i) + ".start_ns",
            start == s.aStartNs.end() ? 0 : std::uint64_t(start->second));
        add("power_on." + std::to_string(i) + ".last_eot_ns",
            eot == s.aLastEotNs.end() ? 0 : std::uint64_t(eot->second));
    }
    return text;
}

bool WriteOutputs(const tagBoardOptions& options, CBootLoader& loader, const tagBoardStats& stats) {
    if (options.strOutDir.empty())
        return true;
    const std::string& dir = options.strOutDir;
    bool ok = DumpMemory(dir + "/flash.bin", loader.Flash(), 0, loader.Flash().Size());
    ok = DumpMemory(dir + "/ram-staging.bin", loader.Ram(), options.dwStagingAddress, kStagingDumpSize) && ok;
    ok = WriteFile(dir + "/stats.txt", StatsText(stats)) && ok;
    return ok;
}

void InstallSignals(sigset_t& waitMask) {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    // Blocked except inside ppoll, so a signal cannot slip in between the check and the wait.
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char** argv) {
    // A paced line wakes for every byte it owes; the kernel's default 50 us of timer slack would make
    // each answer that much late, a delay no real board has.
    prctl(PR_SET_TIMERSLACK, 1000UL);
    tagBoardOptions options;
    std::string error;
    switch (ParseBoardOptions(argc, argv, options, error)) {
    case EParseResult::Help:
        std::fputs(BoardUsageText(), stdout);
        return 0;
    case EParseResult::UsageError:
        return UsageError("telvanor-board", error, BoardUsageText());
    case EParseResult::Run:
        break;
    }

    sigset_t waitMask;
    InstallSignals(waitMask);

    CTrace trace;
    if (!options.strOutDir.empty()) {
        mkdir(options.strOutDir.c_str(), 0777);
        if (!trace.Open(options.strOutDir + "/trace.txt")) {
            std::fprintf(stderr, "telvanor-board: cannot write to %s: %s\n", options.strOutDir.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }

    CPty pty;
    if (!pty.Open(error)) {
        std::fprintf(stderr, "telvanor-board: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", pty.SlavePath().c_str());
    std::fflush(stdout);

    tagBoardStats stats;
    CBootLoader loader(options);
    CBoardEngine engine(options, loader, trace, stats);
    CInputLine input(options.bPace);
    COutputLine output(options.bPace, stats);
    std::int64_t lingerEnd = 0;
    std::uint8_t buffer[65536];

    while (g_nStopSignal == 0) {
        std::int64_t now = MonotonicNs();
        std::int64_t nextInput = input.Deliver(engine, now);
        engine.OnTick(now);
        output.Take(engine.Output());
        bool blocked = false;
        std::int64_t nextOutput = output.Pump(pty.Master(), now, blocked);

        EStopRequest stop = engine.StopRequest();
        if (stop == EStopRequest::Disconnect)
            break;
        if (stop == EStopRequest::ExitWhenDrained && output.Empty())
            break;
        if (stop == EStopRequest::DisconnectWhenDrained && output.Empty()) {
            if (lingerEnd == 0)
                lingerEnd = now + kLingerNs;
            if (now >= lingerEnd)
                break;
        }

        // A UART sends a chunk's bytes back to back, and the tool reads meaning into the gaps
        // (after a reply's marker, a late byte could be the "(ERROR)" it had stopped waiting
        // for): the poll wakes a little before a paced chunk's first and last byte and the rest is
        // waited out here, as a timer wake on a busy machine comes tens of microseconds late.
        if (nextOutput >= 0 && output.ByteNext() && nextOutput - now <= kByteSpinNs) {
            // Yielding lets the kernel's worker that carries the last byte to the tool run here.
            while (MonotonicNs() < nextOutput)
                sched_yield();
            continue;
        }
        std::int64_t wake = now + kTickNs;
        if (nextInput >= 0)
            wake = std::min(wake, nextInput);
        if (nextOutput >= 0)
            wake = std::min(wake, output.ByteNext() ? nextOutput - kByteSpinNs : nextOutput);
        if (lingerEnd != 0)
            wake = std::min(wake, lingerEnd);
        std::int64_t waitNs = std::max<std::int64_t>(wake - now, 0);
        timespec timeout{time_t(waitNs / 1'000'000'000), long(waitNs % 1'000'000'000)};
        pollfd fd{pty.Master(), short(POLLIN | (blocked ? POLLOUT : 0)), 0};
        int ready = ppoll(&fd, 1, &timeout, &waitMask);
        // Back later than the wait allowed: the machine held the board up (input that came
        // meanwhile waited unread).
        const std::int64_t heldUp = MonotonicNs() - (now + waitNs);
        if (heldUp > 0)
            stats.qwHeldUpMaxNs = std::max(stats.qwHeldUpMaxNs, std::uint64_t(heldUp));
        if (ready > 0 && (fd.revents & POLLIN)) {
            ssize_t n = read(pty.Master(), buffer, sizeof buffer);
            if (n > 0) {
                stats.qwBytesReceived += std::uint64_t(n);
                input.Add(buffer, std::size_t(n), MonotonicNs());
            }
        }
    }

    pty.Close();
    if (g_nStopSignal != 0)
        trace.Line(std::string("exit on signal ") + (g_nStopSignal == SIGINT ? "SIGINT" : "SIGTERM"));
    else
        trace.Line("exit");
    if (!WriteOutputs(options, loader, stats)) {
        std::fprintf(stderr, "telvanor-board: cannot write the outputs to %s: %s\n",
                     options.strOutDir.c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}
