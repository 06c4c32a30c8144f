// The burn job: one board from power-on to a written deviceinfo partition, on the runner's thread.
#pragma once

#include "BurnConfig.h"
#include "IdentitySource.h"
#include "StopFlag.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class IBurnWindow;
class CSerialComm;
class QThread;

// How a job ended, for whoever restarts or counts jobs (a station's port, the command line).
enum class JobEnd {
    Running,
    Burnt,    // the board holds its values
    Failed,   // the board or the line failed (boot, layout, write, items, time-out)
    PortOpen, // the port could not be opened
    PortLost, // the adapter went away
    LotEnd,   // no unit to burn: the lot is used up, the run has enough, or the store failed
    Stopped,  // stopped from outside (time-out included: the stopper knows which)
};

// One job; the runner runs BurnThreadProc for it.
class CBurnJob {
public:
    CBurnJob(IBurnWindow* window) : m_window(window), m_stop(std::make_shared<CStopFlag>()) {}
    IBurnWindow* Window() const { return m_window; }
    const std::shared_ptr<CStopFlag>& Stop() const { return m_stop; }
    JobEnd End() const { return m_end.load(); }
    void SetEnd(JobEnd end) { m_end.store(end); }

private:
    IBurnWindow* m_window;
    std::shared_ptr<CStopFlag> m_stop;
    std::atomic<JobEnd> m_end{JobEnd::Running};
};

// The running job, null when none runs. Written by the burn command, the job and the window.
extern std::atomic<CBurnJob*> g_pBurnThread;

constexpr unsigned kBurnTimeoutMs = 100000;

// A long-lived worker thread that owns the serial port and runs the jobs one after another, so the
// port stays on one thread across jobs and the window never waits on a job it has cut off.
//
// current names the runner's running job: g_pBurnThread for the single-port window and command
// line, a slot of its own for each port of a station, so ports never see each other's jobs.
class CJobRunner {
public:
    CJobRunner(CSerialComm& comm, const BurnConfig& config, std::atomic<CBurnJob*>& current = g_pBurnThread);
    ~CJobRunner(); // stops a running job, closes the port, joins the thread
    CJobRunner(const CJobRunner&) = delete;
    CJobRunner& operator=(const CJobRunner&) = delete;

    // Starts a job for the window; stores it in g_pBurnThread before it can run.
    void StartJob(IBurnWindow* window);
    // Stops the job named by the runner's slot at once and empties the slot; false if none ran.
    bool StopRunningJob();
    CBurnJob* RunningJob() const { return m_current.load(); }
    // Stops every job that is queued or running, named or not, and empties the slot; false if
    // there was none (closing: nothing may keep the runner's thread busy afterwards).
    bool StopAllJobs();
    // A stop that lets a board whose flash write has begun finish (and be recorded) first: false when
    // no write runs, and the running job, if any, is stopped at once; true when one runs, and then no
    // successor is started after it. Either way no job of this runner begins a write after this call
    // (the command line's end of a run).
    bool StopUnlessWriting();
    // The MAC of the board whose flash write runs now; empty when none runs.
    std::string WritingMac();

    // Closes the serial port on the runner's thread, after a stopped job has returned.
    void ClosePort();
    // Runs task on the runner's thread after what is queued (what must stay on the port's thread).
    void RunOnThread(std::function<void()> task) { Post(std::move(task)); }
    // Blocks until no job is queued or running (tests, the command-line tool).
    void WaitIdle();
    bool IsIdle();

    // The job time-out (IDT_BURN_TIMEOUT), 100000 ms unless a test or the command line sets it.
    void SetTimeoutMs(unsigned ms) { m_timeoutMs = ms; }
    unsigned TimeoutMs() const { return m_timeoutMs; }

    CSerialComm& Comm() { return m_comm; }
    const BurnConfig& Config() const { return m_config; }

    // Identities from a lot instead of the typed entries (null: typed, the change rule steps them).
    // Set before the first job; the source outlives the runner's jobs.
    void SetIdentitySource(IIdentitySource* source) { m_source = source; }
    // The run ends: a unit kept for this port's next board turns uncertain (it may be in a board),
    // and so does the unit of a job stopped from now on after it erased or wrote the flash.
    void EndRun();
    // Called on the runner's thread after each job with the job's end.
    void SetOnJobEnd(std::function<void(JobEnd)> onEnd) { m_onJobEnd = std::move(onEnd); }

private:
    void Post(std::function<void()> task);
    void Loop();
    void RunJob(const std::shared_ptr<CBurnJob>& job);
    void BurnThreadProc(const std::shared_ptr<CBurnJob>& job);
    friend class CUnitLease;
    // The job's side of StopUnlessWriting: false when the run is ending and the write must not begin.
    bool BeginWrite(const std::string& mac);
    bool EndRequested();

    CSerialComm& m_comm;
    const BurnConfig& m_config;
    std::atomic<CBurnJob*>& m_current;
    IIdentitySource* m_source = nullptr;
    std::optional<tagIdentity> m_held; // kept for this port's next board; runner's thread only
    std::atomic<bool> m_runEnding{false};
    std::function<void(JobEnd)> m_onJobEnd;
    std::atomic<unsigned> m_timeoutMs{kBurnTimeoutMs};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_tasks;
    bool m_busy = false;
    bool m_quit = false;
    QThread* m_thread = nullptr;
    // The jobs queued or running; the slot names one of them or none. Changed, and a named job
    // stopped, only under m_mutex, so a job is never freed while it is being stopped.
    std::deque<std::shared_ptr<CBurnJob>> m_jobs;
    std::mutex m_writeMutex; // the write state below, decided under one lock
    bool m_endRequested = false;
    std::string m_strWritingMac;
    bool m_writing = false;
};

struct tagFlashLayout;

// Asks the boot loader for the layout ("print", "getinfo"), with the configuration's override.
// When the configuration fixes a flash type the board gives no block size for, unanswered (when
// given) gets a line saying what was asked and what the board answered.
tagFlashLayout QueryFlashLayout(CSerialComm& comm, const BurnConfig& config,
                                std::string* unanswered = nullptr);

// The job's control set, then the item string and number edits.
void SetBurnControlsEnabled(IBurnWindow& window, const BurnConfig& config, bool enable);
// The idle state after a restore when Remove is checked.
void RemoveAdjustment(IBurnWindow& window, const BurnConfig& config);
// With a lot (config.m_strLot) the MAC and ID fields show the lot's unit and cannot be edited, and
// the rule and step controls stay disabled whenever the control set is enabled.
void LotAdjustment(IBurnWindow& window, const BurnConfig& config);

// The window's handling of IDT_BURN_TIMEOUT, shared with the command-line tool.
void OnBurnTimeout(IBurnWindow& window, CJobRunner& runner, const BurnConfig& config);
