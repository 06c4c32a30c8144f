#include "CliRun.h"

#include "BurnCommand.h"
#include "BurnJob.h"
#include "CliWindow.h"
#include "EntryHandlers.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

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

int RunBurnCommand(CCliWindow& window, CJobRunner& runner, const BurnConfig& config, bool chain,
                   int boardsWanted) {
    window.SetBoardsWanted(boardsWanted);
    runner.SetListener(&window);
    // Enough boards: the successor waiting for the next one is stopped before it sends anything.
    window.SetOnEnough([&runner] { runner.StopRunningJob(); });
    if (!OnBurn(window, runner, config))
        return kExitRefused;
    return WaitForRun(window, runner, config, chain, boardsWanted);
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
                // A board that is stopped, or does not begin its write, ends with this message.
                const std::string notFinished = tv::FormatRuntime(Txt(strStopNotFinished), board);
                const bool finishing = runner.StopUnlessWriting(notFinished);
                window.Print(
                    (finishing ? tv::FormatRuntime(Txt(strStopFinishing), board) : notFinished) + "\n", true);
            } else {
                const std::string mac = runner.WritingMac();
                const std::string mayBeBurnt =
                    mac.empty() ? std::string()
                                : tv::FormatRuntime(Txt(strStopMacMayBeBurnt), board, mac.c_str());
                runner.StopRunningJob(FailReason::Stopped, mayBeBurnt);
                if (!mac.empty())
                    window.Print(mayBeBurnt + "\n", true);
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
    return window.BoardsBurnt() >= wanted && window.BoardsFailed() == 0 && !window.AnyMessage() ? kExitOk
                                                                                                : kExitFailed;
}
