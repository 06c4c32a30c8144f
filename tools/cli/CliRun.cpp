#include "CliRun.h"

#include "BurnJob.h"
#include "CliWindow.h"
#include "Entries.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// The next stop signal that has arrived, 0 when none.
int TakeStopSignal() {
    const sigset_t set = StopSignals();
    const timespec now{0, 0};
    const int signal = sigtimedwait(&set, nullptr, &now);
    return signal > 0 ? signal : 0;
}

} // namespace

void PrepareProcess() {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            open("/dev/null", O_RDWR); // takes the lowest free number: this one
    std::signal(SIGPIPE, SIG_IGN);
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int WaitForRun(CCliWindow& window, CJobRunner& runner, const BurnConfig& config, bool chain, int wanted) {
    int stopSignal = 0;
    bool timedOut = false;
    for (;;) {
        if (window.WaitForChange(std::chrono::milliseconds(50))) {
            OnBurnTimeout(window, runner, config);
            timedOut = true;
            break;
        }
        if (const int signal = TakeStopSignal()) {
            const int board = window.BoardsBurnt() + 1;
            if (stopSignal == 0) {
                stopSignal = signal;
                const bool finishing = runner.StopUnlessWriting();
                window.Print(
                    tv::FormatRuntime(Txt(finishing ? strStopFinishing : strStopNotFinished), board) + "\n",
                    true);
            } else {
                const std::string mac = runner.WritingMac();
                runner.StopRunningJob();
                if (!mac.empty())
                    window.Print(tv::FormatRuntime(Txt(strStopMacMayBeBurnt), board, mac.c_str()) + "\n",
                                 true);
                break;
            }
        }
        if (runner.RunningJob() == nullptr && runner.IsIdle())
            break;
    }
    runner.ClosePort();
    runner.WaitIdle();
    if (chain || stopSignal != 0)
        window.Print(NextBoardEntriesText(window, config), false);
    if (stopSignal != 0)
        return 128 + stopSignal;
    if (timedOut)
        return kExitFailed;
    return window.BoardsBurnt() >= wanted && !window.AnyMessage() ? kExitOk : kExitFailed;
}
