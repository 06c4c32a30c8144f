// The burn job: one board from power-on to a written deviceinfo partition, on the runner's thread.
#pragma once

#include "BurnConfig.h"
#include "StopFlag.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class IBurnWindow;
class CSerialComm;
class QThread;

// One job; the runner runs BurnThreadProc for it.
class CBurnJob {
public:
    CBurnJob(IBurnWindow* window) : m_window(window), m_stop(std::make_shared<CStopFlag>()) {}
    IBurnWindow* Window() const { return m_window; }
    const std::shared_ptr<CStopFlag>& Stop() const { return m_stop; }

private:
    IBurnWindow* m_window;
    std::shared_ptr<CStopFlag> m_stop;
};

// The running job, null when none runs. Written by the burn command, the job and the window.
extern std::atomic<CBurnJob*> g_pBurnThread;

constexpr unsigned kBurnTimeoutMs = 100000;

// A long-lived worker thread that owns the serial port and runs the jobs one after another, so the
// port stays on one thread across jobs and the window never waits on a job it has cut off.
class CJobRunner {
public:
    CJobRunner(CSerialComm& comm, const BurnConfig& config);
    ~CJobRunner(); // stops a running job, closes the port, joins the thread
    CJobRunner(const CJobRunner&) = delete;
    CJobRunner& operator=(const CJobRunner&) = delete;

    // Starts a job for the window; stores it in g_pBurnThread before it can run.
    void StartJob(IBurnWindow* window);
    // Stops the job named by g_pBurnThread at once and sets g_pBurnThread to null; false if none ran.
    bool StopRunningJob();
    // Closes the serial port on the runner's thread, after a stopped job has returned.
    void ClosePort();
    // Blocks until no job is queued or running (tests, the command-line tool).
    void WaitIdle();
    bool IsIdle();

    // The job time-out (IDT_BURN_TIMEOUT), 100000 ms unless a test or the command line sets it.
    void SetTimeoutMs(unsigned ms) { m_timeoutMs = ms; }
    unsigned TimeoutMs() const { return m_timeoutMs; }

    CSerialComm& Comm() { return m_comm; }
    const BurnConfig& Config() const { return m_config; }

private:
    void Post(std::function<void()> task);
    void Loop();
    void RunJob(const std::shared_ptr<CBurnJob>& job);
    void BurnThreadProc(const std::shared_ptr<CBurnJob>& job);

    CSerialComm& m_comm;
    const BurnConfig& m_config;
    std::atomic<unsigned> m_timeoutMs{kBurnTimeoutMs};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_tasks;
    bool m_busy = false;
    bool m_quit = false;
    QThread* m_thread = nullptr;
    std::deque<std::shared_ptr<CBurnJob>> m_jobs; // keeps job objects alive while g_pBurnThread names them
};

struct tagFlashLayout;

// Asks the boot loader for the layout ("print", "getinfo"), with the configuration's override.
tagFlashLayout QueryFlashLayout(CSerialComm& comm, const BurnConfig& config);

// The job's control set, then the item string and number edits.
void SetBurnControlsEnabled(IBurnWindow& window, const BurnConfig& config, bool enable);
// The idle state after a restore when Remove is checked.
void RemoveAdjustment(IBurnWindow& window, const BurnConfig& config);

// The window's handling of IDT_BURN_TIMEOUT, shared with the command-line tool.
void OnBurnTimeout(IBurnWindow& window, CJobRunner& runner, const BurnConfig& config);
