#include "StationRun.h"

#include "JsonLines.h"
#include "Version.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <memory>
#include <mutex>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) {
    g_interrupted = 1;
}

constexpr int kExitInterrupted = 130;

} // namespace

int RunStation(const tagStationRun& run, const BurnConfig& config, const CStation::SourceMaker& makeSource,
               const std::function<void(CLaneWindow&)>& fill, std::FILE* out, std::FILE* err) {
    CStation::Options options;
    options.boardsWanted = run.boards;
    options.timeoutMs = run.timeoutMs;
    // Under JSON each port's events and lines go out as that port's lines; the run's own lines
    // (hello, run_finished) name the one port, or none of several. Made before the station, whose
    // end may still report a stopped board.
    CJsonLines json(out, run.ports.size() == 1 ? run.ports.front() : std::string());
    std::vector<std::unique_ptr<CJsonLines>> portJson;
    for (const std::string& port : run.ports)
        portJson.push_back(std::make_unique<CJsonLines>(json, port));
    // A port whose job ended wakes the loop below at once (declared before the station, which
    // calls it until it is gone).
    std::mutex wakeLock;
    std::condition_variable wake;
    bool changed = false;
    CStation station(config, makeSource, run.ports, options, fill);
    station.SetOnChange([&] {
        {
            std::lock_guard<std::mutex> lock(wakeLock);
            changed = true;
        }
        wake.notify_one();
    });
    if (run.json) {
        json.Hello("telvanor-cli", kProgramVersion, run.ports);
        for (int i = 0; i < station.PortCount(); ++i)
            station.SetListener(i, portJson[size_t(i)].get());
    }

    // Lines of all ports go out whole and in the order they came; the main loop flushes them.
    std::mutex printLock;
    station.SetOnLine([&](int port, std::optional<StatusKind> kind, const std::string& text) {
        if (run.json && kind) {
            portJson[size_t(port)]->Status(*kind, text);
            return;
        }
        // A board's console output may hold several lines in one status line: each gets its port.
        const std::string prefix = run.ports.size() > 1 ? run.ports[size_t(port)] + ": " : std::string();
        std::string lines = prefix;
        for (char c : text) {
            lines += c;
            if (c == '\n')
                lines += prefix;
        }
        std::lock_guard<std::mutex> lock(printLock);
        std::fprintf(!kind ? err : out, "%s\n", lines.c_str());
        if (!kind)
            std::fflush(err);
    });

    g_interrupted = 0;
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous);
    // The process start blocks the stop signals in every thread (the one-port run takes them with
    // sigtimedwait); here this thread takes Ctrl-C through the handler.
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_UNBLOCK, &interrupt, nullptr);

    station.StartAll();
    bool interrupted = false;
    while (!station.Finished()) {
        if (g_interrupted && !interrupted) {
            interrupted = true;
            station.StopAll();
        }
        station.Poll();
        {
            std::lock_guard<std::mutex> lock(printLock);
            std::fflush(out);
        }
        // The tick still comes for the time-outs and Ctrl-C.
        std::unique_lock<std::mutex> lock(wakeLock);
        wake.wait_for(lock, std::chrono::milliseconds(20), [&] { return changed; });
        changed = false;
    }
    sigaction(SIGINT, &previous, nullptr);
    const int good = station.GoodBoards();
    const int failed = station.FailedBoards();
    {
        std::lock_guard<std::mutex> lock(printLock);
        std::fflush(out);
    }
    const bool reached = run.boards > 0 ? good >= run.boards : station.LotUsedUp();
    const int exitStatus = interrupted ? kExitInterrupted : reached && failed == 0 ? 0 : 1;
    if (run.json)
        json.RunFinished(good, failed, exitStatus);
    return exitStatus;
}
