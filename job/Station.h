// A station burns on several serial ports at once: one job chain per port, each with its own
// channel, runner, window model and connection to the lot. The ports share only the lot (in its
// store, with a count in memory that ends the run after enough good boards) and the record file
// (which appends under one lock).
#pragma once

#include "BurnJob.h"
#include "ControlWindow.h"
#include "IdentitySource.h"
#include "SerialComm.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What a port is doing, for the station's faces.
enum class LaneState { Idle, Waiting, Downloading, Writing, Verifying, Done, Failed };

struct tagLaneView {
    std::string port;
    LaneState state = LaneState::Idle;
    int percent = 0; // while downloading
    std::string mac, id;
    int good = 0, failed = 0;
    std::string lastMessage; // the last status line or message, local 8-bit
    bool running = false;    // the port's chain runs or will be restarted
};

// The traffic log of one port of several: "Log-" and the port name with every character that a
// file name cannot hold safely made '_'. A station of one port keeps "Log.txt".
std::string PortLogName(const std::string& port);

// The window of one port: the entries as plain values (filled by the face before the start), the
// status log and every line of it, messages as log lines (never a blocking dialog: the other
// ports go on), the burn timer as a deadline the station watches.
class CLaneWindow : public CControlWindow {
public:
    // A line as it reached the port's log: its status kind, or none for a message dialog's text.
    using LineSink = std::function<void(std::optional<StatusKind> kind, const std::string& text)>;

    void SetLineSink(LineSink sink) { m_lineSink = std::move(sink); }

    // The status log's lines from the first-th on (an open log window takes only what it has not
    // shown yet, not the whole log on every refresh).
    std::vector<std::string> Lines(std::size_t first = 0);
    std::string LastLine();
    std::optional<std::chrono::steady_clock::time_point> Deadline();
    // A stage the job reached (typed, never read from a text).
    void SetState(LaneState state, int percent = 0);
    LaneState State(int* percent = nullptr);

    void BurnStatus(StatusKind kind, const std::string& text) override;
    void ShowMessageDlg(const std::string& caption, const std::string& text) override;
    void ShowSystemMessageBox(const std::string& caption, const std::string& text) override;
    void SetBurnTimer(unsigned ms) override;
    void KillBurnTimer() override;

private:
    void AddLine(std::optional<StatusKind> kind, const std::string& text);

    std::mutex m_mutex;
    std::vector<std::string> m_lines; // the port's full status log, every line once
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    LaneState m_state = LaneState::Idle;
    int m_percent = 0;
    LineSink m_lineSink;
};

// A port's entries for burning from a lot: the controls of the main window with the MAC and ID
// left for the lot's units, the chain's rule, one network port, records kept when asked, and the
// item rows holding what the operator typed (by the control's ID; a row not given shows its
// placeholders, which read as empty). From a lot the items stay the same on every board.
void FillLotEntries(CLaneWindow& window, const BurnConfig& config, bool records,
                    const std::map<int, std::string>& typedItems = {});

class CStation {
public:
    struct Options {
        long boardsWanted = 0; // good boards in all; 0: until the lot is used up or a stop
        unsigned timeoutMs = kBurnTimeoutMs;
        // A board that fails is followed by the next one on the same port; a port that cannot be
        // opened or goes away ends its chain either way.
        bool retryFailed = true;
    };

    // Each port's window starts as fill makes it (the face puts the entries in). Each port's source
    // comes from makeSource and is used and destroyed on that port's runner thread only (a database
    // connection belongs to the thread that opened it).
    using SourceMaker = std::function<std::unique_ptr<IIdentitySource>(const std::string& port)>;
    CStation(const BurnConfig& config, const SourceMaker& makeSource, const std::vector<std::string>& ports,
             const Options& options, const std::function<void(CLaneWindow&)>& fill);
    ~CStation();
    CStation(const CStation&) = delete;
    CStation& operator=(const CStation&) = delete;

    int PortCount() const { return int(m_lanes.size()); }
    // Called for each line of any port (on that port's runner thread).
    void
    SetOnLine(std::function<void(int port, std::optional<StatusKind> kind, const std::string& text)> onLine);
    // Who hears the jobs' events of a port besides the station (null: nobody); set before the start.
    void SetListener(int port, IBurnListener* listener);
    // Called (on a port's runner thread) when a port's runner has nothing more to do: a job ended,
    // the port may need a restart or the whole run may be finished. The face polls at once
    // instead of at its next tick.
    void SetOnChange(std::function<void()> onChange);

    void StartAll();
    void StopAll();
    void Start(int port);
    void Stop(int port);

    // The face calls this a few times a second: burn time-outs, restarts after a failure.
    void Poll();
    // No port runs or will be restarted, and every runner is idle.
    bool Finished();
    tagLaneView View(int port);
    std::vector<std::string> Lines(int port, std::size_t first = 0);
    int GoodBoards() const;
    // A board that failed on any port, or a port that ended without reaching its goal.
    int FailedBoards() const;
    // The run ended because the lot has no unit left.
    bool LotUsedUp() const;

private:
    struct Lane;
    class CLaneEvents;
    struct tagCount;
    class CQuota;

    void Changed();

    const BurnConfig& m_config;
    Options m_options;
    std::mutex m_changeMutex;
    std::function<void()> m_onChange;
    std::unique_ptr<tagCount> m_count;
    std::vector<std::unique_ptr<Lane>> m_lanes;
};
