// The burn job: one board from power-on to a written deviceinfo partition, on the runner's thread.
#pragma once

#include "BurnConfig.h"
#include "BurnEvents.h"
#include "IdentitySource.h"
#include "StopFlag.h"

#include <atomic>
#include <chrono>
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

// One job; the runner runs BurnThreadProc for it. Its events pass through it: a job reports exactly
// one end (burnt or failed), either itself or, once stopped, through the one that stopped it.
class CBurnJob : public IBurnListener {
public:
    CBurnJob(IBurnWindow* window, IBurnListener* listener)
        : m_window(window), m_listener(listener), m_stop(std::make_shared<CStopFlag>()) {}
    IBurnWindow* Window() const { return m_window; }
    IBurnListener* Listener() const { return m_listener; }
    const std::shared_ptr<CStopFlag>& Stop() const { return m_stop; }
    JobEnd End() const { return m_end.load(); }
    void SetEnd(JobEnd end) { m_end.store(end); }

    // The identity the job burns, for a failure reported by the one that stops it.
    void SetIdentity(const std::string& mac, const std::string& id);
    // Ends the job's events from outside (after its stop flag was set): reports the failure when
    // given (a board that had answered: as stopped when not), and nothing from the job gets through
    // afterwards. False when the job had ended already.
    bool EndFromOutside(std::optional<tagBoardFailed> failure);

    // From the job's own thread: nothing after the end or once the job is stopped.
    void BoardStarted() override;
    void Progress(BurnStage stage, int percent) override;
    void BoardBurnt(const tagBoardBurnt& board) override;
    void BoardFailed(const tagBoardFailed& failure) override;
    // Seconds since the board first answered (0 before it did).
    double BoardSeconds();

private:
    // Runs fn on the listener unless the job ended or was stopped; ends the job's events if ends.
    template <class F> void Pass(bool ends, F fn);

    IBurnWindow* m_window;
    IBurnListener* m_listener;
    std::shared_ptr<CStopFlag> m_stop;
    std::atomic<JobEnd> m_end{JobEnd::Running};
    std::mutex m_eventMutex;
    bool m_ended = false;
    std::string m_mac, m_id;
    std::optional<std::chrono::steady_clock::time_point> m_boardStart;
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

    // Who hears the events of the jobs started from now on (null: nobody). Set before the first job.
    void SetListener(IBurnListener* listener) { m_listener = listener; }
    IBurnListener* Listener() const { return m_listener; }

    // Starts a job for the window; stores it in g_pBurnThread before it can run.
    void StartJob(IBurnWindow* window);
    // Stops the job named by the runner's slot at once and empties the slot; false if none ran.
    // The job's end is reported as the failure why (with message) when given, else only when its
    // board had answered (as stopped; a successor waiting for a board nobody wants reports nothing).
    bool StopRunningJob(std::optional<FailReason> why = std::nullopt, const std::string& message = {});
    CBurnJob* RunningJob() const { return m_current.load(); }
    // Stops every job that is queued or running, named or not, and empties the slot; false if
    // there was none (closing: nothing may keep the runner's thread busy afterwards).
    bool StopAllJobs();
    // A stop that lets a board whose flash write has begun finish (and be recorded) first: false when
    // no write runs, and the running job, if any, is stopped at once; true when one runs, and then no
    // successor is started after it. Either way no job of this runner begins a write after this call
    // (the command line's end of a run).
    // The job it stops, or the one that does not begin its write, ends as stopped with message.
    bool StopUnlessWriting(const std::string& message = {});
    // The MAC of the board whose flash write runs now; empty when none runs.
    std::string WritingMac();

    // Closes the serial port on the runner's thread, after a stopped job has returned.
    void ClosePort();
    // Runs task on the runner's thread after what is queued (what must stay on the port's thread).
    void RunOnThread(std::function<void()> task) { Post(std::move(task)); }
    // Blocks until no job is queued or running (tests, the command-line tool).
    void WaitIdle();
    bool IsIdle();

    // The job's time-out, 100000 ms unless a test or the command line sets it.
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
    // Called on the runner's thread whenever it has run everything queued (IsIdle may then be
    // true); set before anything is posted.
    void SetOnIdle(std::function<void()> onIdle) { m_onIdle = std::move(onIdle); }

private:
    void Post(std::function<void()> task);
    void Loop();
    void RunJob(const std::shared_ptr<CBurnJob>& job);
    void BurnThreadProc(const std::shared_ptr<CBurnJob>& job);
    friend class CUnitLease;
    // The job's side of StopUnlessWriting: false when the run is ending and the write must not begin.
    // endMessage: the stop's message when it returns false.
    bool BeginWrite(const std::string& mac, std::string& endMessage);
    bool EndRequested();

    CSerialComm& m_comm;
    const BurnConfig& m_config;
    std::atomic<CBurnJob*>& m_current;
    IIdentitySource* m_source = nullptr;
    std::optional<tagIdentity> m_held; // kept for this port's next board; runner's thread only
    std::atomic<bool> m_runEnding{false};
    std::function<void(JobEnd)> m_onJobEnd;
    std::function<void()> m_onIdle;
    std::atomic<unsigned> m_timeoutMs{kBurnTimeoutMs};
    std::atomic<IBurnListener*> m_listener{nullptr};
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
    std::string m_strEndMessage;
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

// The window's handling of the burn time-out, shared with the command-line tool.
void OnBurnTimeout(IBurnWindow& window, CJobRunner& runner, const BurnConfig& config);
