#include "Station.h"

#include "ControlIds.h"
#include "ExtraItems.h"
#include "IdValue.h"
#include "StopFlag.h"
#include "StrUtil.h"

#include <algorithm>
#include <condition_variable>

namespace {

// A port whose boards fail this many times in a row ends its chain: nobody is changing its boards.
constexpr int kFailuresInRow = 3;
// How often a port waiting for room in the run looks at its stop flag; a settled unit wakes it.
constexpr unsigned kQuotaPollMs = 20;

} // namespace

std::string PortLogName(const std::string& port) {
    std::string safe = port;
    for (char& c : safe) {
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '-' || c == '_' || c == '.';
        if (!keep)
            c = '_';
    }
    return "Log-" + safe + ".txt";
}

void FillLotEntries(CLaneWindow& w, const BurnConfig& config, bool records,
                    const std::map<int, std::string>& typedItems) {
    for (int id : kJobControls)
        w.AddControl(id);
    w.Check(IDC_RULE_INCREASE, true);
    w.Check(IDC_SINGLE_NET, true);
    w.Check(IDC_SAVE_RECORDS, records);
    for (const tagExtraInfo& item : config.m_aExtraInfo)
        if (item.IsOperatorEntered()) {
            w.AddControl(item.nStringID, kStringPlaceholder);
            w.AddControl(item.nNumberID, kNumberPlaceholder);
        }
    for (const tagExtra& item : config.m_aExtra)
        if (item.IsOperatorEntered()) {
            w.AddControl(item.nStringID, kStringPlaceholder);
            w.AddControl(item.nNumberID, kNumberPlaceholder);
        }
    for (const auto& [id, text] : typedItems)
        w.SetText(id, text); // only the rows added above take a text
}

// ---- CLaneWindow ----

std::vector<std::string> CLaneWindow::Lines(std::size_t first) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (first >= m_lines.size())
        return {};
    return std::vector<std::string>(m_lines.begin() + std::ptrdiff_t(first), m_lines.end());
}

std::string CLaneWindow::LastLine() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines.empty() ? std::string() : m_lines.back();
}

std::optional<std::chrono::steady_clock::time_point> CLaneWindow::Deadline() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_deadline;
}

void CLaneWindow::SetState(LaneState state, int percent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state = state;
    m_percent = percent;
}

LaneState CLaneWindow::State(int* percent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (percent)
        *percent = m_percent;
    return m_state;
}

void CLaneWindow::AddLine(std::optional<StatusKind> kind, const std::string& text) {
    LineSink sink;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(text);
        sink = m_lineSink;
    }
    if (sink)
        sink(kind, text);
}

void CLaneWindow::BurnStatus(StatusKind kind, const std::string& text) {
    // StatusKind::None changes nothing in a log; every other line is kept, in order.
    if (kind != StatusKind::None)
        AddLine(kind, text);
}

void CLaneWindow::ShowMessageDlg(const std::string& caption, const std::string& text) {
    AddLine(std::nullopt, caption + ": " + text);
}

void CLaneWindow::ShowSystemMessageBox(const std::string& caption, const std::string& text) {
    ShowMessageDlg(caption, text);
}

void CLaneWindow::SetBurnTimer(unsigned ms) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    // The boot phase has begun: the job waits for a board to be powered on.
    m_state = LaneState::Waiting;
    m_percent = 0;
}

void CLaneWindow::KillBurnTimer() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_deadline.reset();
}

// ---- CQuota: a port's source, with the run's goal ----

// The run's count over every port.
struct CStation::tagCount {
    const long wanted;
    std::mutex mutex;
    std::condition_variable settled; // a unit was burnt or let go: there may be room, or enough
    long burnt = 0;
    long inFlight = 0;
    bool usedUp = false;
};

// Units handed out and not yet settled count against the goal, so that the ports never burn more
// than the boards wanted between them: a port finds no room while the others' boards are under
// way, and waits until one of them is burnt (then the goal may be reached) or given back.
class CStation::CQuota : public IIdentitySource {
public:
    CQuota(std::unique_ptr<IIdentitySource> inner, tagCount& count)
        : m_inner(std::move(inner)), m_count(count) {}

    tagReservation Reserve(const std::string& port, CStopFlag& stop) override {
        {
            std::unique_lock<std::mutex> lock(m_count.mutex);
            for (;;) {
                if (m_count.usedUp || (m_count.wanted > 0 && m_count.burnt >= m_count.wanted))
                    return {m_count.usedUp ? ReserveOutcome::UsedUp : ReserveOutcome::Enough, {}, {}};
                // Counted before the store is asked, so two ports never both take the last room.
                if (m_count.wanted == 0 || m_count.burnt + m_count.inFlight < m_count.wanted) {
                    ++m_count.inFlight;
                    break;
                }
                if (stop.IsStopped())
                    return {ReserveOutcome::Enough, {}, {}};
                m_count.settled.wait_for(lock, std::chrono::milliseconds(kQuotaPollMs));
            }
        }
        tagReservation r = m_inner->Reserve(port, stop);
        if (r.outcome != ReserveOutcome::Reserved) {
            {
                std::lock_guard<std::mutex> lock(m_count.mutex);
                --m_count.inFlight;
                if (r.outcome == ReserveOutcome::UsedUp)
                    m_count.usedUp = true;
            }
            m_count.settled.notify_all();
        }
        return r;
    }

    std::string Commit(const tagIdentity& unit, const tagCommitInfo& info) override {
        std::string why = m_inner->Commit(unit, info);
        if (why.empty()) {
            {
                std::lock_guard<std::mutex> lock(m_count.mutex);
                --m_count.inFlight;
                ++m_count.burnt;
            }
            m_count.settled.notify_all();
        }
        return why; // a unit the store did not take is marked uncertain next, which settles it
    }

    void GiveBack(const tagIdentity& unit) override {
        m_inner->GiveBack(unit);
        Settled();
    }

    void MarkUncertain(const tagIdentity& unit) override {
        m_inner->MarkUncertain(unit);
        Settled();
    }

private:
    void Settled() {
        {
            std::lock_guard<std::mutex> lock(m_count.mutex);
            --m_count.inFlight;
        }
        m_count.settled.notify_all();
    }

    std::unique_ptr<IIdentitySource> m_inner;
    tagCount& m_count;
};

// ---- CLaneEvents: a port's jobs' events ----

// The port's stage for its view comes from the events; the face's own listener hears them too.
class CStation::CLaneEvents : public IBurnListener {
public:
    explicit CLaneEvents(CLaneWindow& window) : m_window(window) {}
    void SetOuter(IBurnListener* outer) { m_outer = outer; }

    void BoardStarted() override {
        m_window.SetState(LaneState::Downloading, 0);
        if (IBurnListener* outer = m_outer.load())
            outer->BoardStarted();
    }
    void Progress(BurnStage stage, int percent) override {
        switch (stage) {
        case BurnStage::Download:
            m_window.SetState(LaneState::Downloading, percent);
            break;
        case BurnStage::Layout:
        case BurnStage::Block:
        case BurnStage::Items:
            m_window.SetState(LaneState::Writing);
            break;
        case BurnStage::Verify:
            m_window.SetState(LaneState::Verifying);
            break;
        }
        if (IBurnListener* outer = m_outer.load())
            outer->Progress(stage, percent);
    }
    void BoardBurnt(const tagBoardBurnt& board) override {
        if (IBurnListener* outer = m_outer.load())
            outer->BoardBurnt(board);
    }
    void BoardFailed(const tagBoardFailed& failure) override {
        if (IBurnListener* outer = m_outer.load())
            outer->BoardFailed(failure);
    }

private:
    CLaneWindow& m_window;
    std::atomic<IBurnListener*> m_outer{nullptr};
};

// ---- CStation ----

struct CStation::Lane {
    std::string port;
    CSerialComm comm;
    std::atomic<CBurnJob*> current{nullptr};
    CLaneWindow window;
    CLaneEvents events{window};
    std::unique_ptr<CJobRunner> runner;
    std::unique_ptr<CQuota> source;      // made, used and destroyed on the runner's thread
    std::atomic<bool> running{false};    // the chain runs, or is restarted after a failure
    std::atomic<bool> restartDue{false}; // a failed board: the next one follows
    std::atomic<bool> timedOut{false};   // the station stopped the job at its time-out
    std::atomic<int> good{0}, failed{0}, failedInRow{0};
};

CStation::CStation(const BurnConfig& config, const SourceMaker& makeSource,
                   const std::vector<std::string>& ports, const Options& options,
                   const std::function<void(CLaneWindow&)>& fill)
    : m_config(config), m_options(options), m_count(std::make_unique<tagCount>(options.boardsWanted)) {
    for (const std::string& port : ports) {
        auto lane = std::make_unique<Lane>();
        lane->port = port;
        fill(lane->window);
        lane->window.AddControl(IDC_SERIAL_PORT, port);
        // One port keeps the single port's "Log.txt".
        if (ports.size() > 1)
            lane->comm.SetLogName(PortLogName(port));
        lane->runner = std::make_unique<CJobRunner>(lane->comm, config, lane->current);
        lane->runner->SetTimeoutMs(options.timeoutMs);
        lane->runner->SetListener(&lane->events);
        lane->runner->SetOnIdle([this] { Changed(); });
        Lane* l = lane.get();
        lane->runner->RunOnThread([this, l, makeSource] {
            l->source = std::make_unique<CQuota>(makeSource(l->port), *m_count);
            l->runner->SetIdentitySource(l->source.get());
        });
        lane->runner->SetOnJobEnd([this, l](JobEnd end) {
            // On the port's runner thread: count, and decide whether the chain goes on.
            if (end == JobEnd::Stopped && l->timedOut.exchange(false))
                end = JobEnd::Failed;
            switch (end) {
            case JobEnd::Burnt:
                ++l->good;
                l->failedInRow = 0;
                l->window.SetState(LaneState::Done);
                break;
            case JobEnd::Failed:
                ++l->failed;
                l->window.SetState(LaneState::Failed);
                if (++l->failedInRow < kFailuresInRow && m_options.retryFailed && l->running)
                    l->restartDue = true;
                else
                    l->running = false;
                break;
            case JobEnd::PortOpen:
            case JobEnd::PortLost:
                ++l->failed;
                l->window.SetState(LaneState::Failed);
                l->running = false;
                break;
            case JobEnd::LotEnd:
                l->window.SetState(LaneState::Done);
                l->running = false;
                break;
            case JobEnd::Stopped:
            case JobEnd::Running:
                if (!l->running)
                    l->window.SetState(LaneState::Idle);
                break;
            }
            // A port that ends its chain ends its run: a unit kept for its next board turns
            // uncertain. A successor started just as the port was stopped does not outlive the stop.
            if (!l->running) {
                l->runner->EndRun();
                l->runner->StopRunningJob();
            }
        });
        m_lanes.push_back(std::move(lane));
    }
}

CStation::~CStation() {
    StopAll();
    for (auto& lane : m_lanes) {
        Lane* l = lane.get();
        l->runner->RunOnThread([l] { l->source.reset(); });
    }
    // Each runner's destructor waits for its own job and runs what was queued (the source's end)
    // before the lane's members go.
    for (auto& lane : m_lanes)
        lane->runner.reset();
}

void CStation::SetOnLine(
    std::function<void(int port, std::optional<StatusKind> kind, const std::string& text)> onLine) {
    for (int i = 0; i < PortCount(); ++i)
        m_lanes[size_t(i)]->window.SetLineSink(
            [onLine, i](std::optional<StatusKind> kind, const std::string& text) { onLine(i, kind, text); });
}

void CStation::SetListener(int port, IBurnListener* listener) {
    m_lanes[size_t(port)]->events.SetOuter(listener);
}

void CStation::SetOnChange(std::function<void()> onChange) {
    std::lock_guard<std::mutex> lock(m_changeMutex);
    m_onChange = std::move(onChange);
}

void CStation::Changed() {
    std::function<void()> onChange;
    {
        std::lock_guard<std::mutex> lock(m_changeMutex);
        onChange = m_onChange;
    }
    if (onChange)
        onChange();
}

void CStation::StartAll() {
    for (int i = 0; i < PortCount(); ++i)
        Start(i);
}

void CStation::StopAll() {
    for (int i = 0; i < PortCount(); ++i)
        Stop(i);
}

void CStation::Start(int port) {
    Lane& l = *m_lanes[size_t(port)];
    if (l.running.exchange(true))
        return;
    l.failedInRow = 0;
    l.restartDue = false;
    if (l.current.load() == nullptr)
        l.runner->StartJob(&l.window);
}

void CStation::Stop(int port) {
    Lane& l = *m_lanes[size_t(port)];
    l.running = false;
    l.restartDue = false;
    l.window.KillBurnTimer();
    // The run of this port ends: a unit that may be in a board turns uncertain, a unit that is not
    // yet in one goes back to the lot.
    l.runner->EndRun();
    l.runner->StopRunningJob();
    l.runner->ClosePort();
}

void CStation::Poll() {
    const auto now = std::chrono::steady_clock::now();
    for (auto& lane : m_lanes) {
        Lane& l = *lane;
        const auto deadline = l.window.Deadline();
        if (deadline && now >= *deadline && l.current.load() != nullptr) {
            l.timedOut = true;
            OnBurnTimeout(l.window, *l.runner, m_config);
        }
        if (l.restartDue && l.running && l.current.load() == nullptr && l.runner->IsIdle()) {
            l.restartDue = false;
            l.runner->StartJob(&l.window);
        }
    }
}

bool CStation::Finished() {
    return std::all_of(m_lanes.begin(), m_lanes.end(), [](const std::unique_ptr<Lane>& l) {
        return !l->running && !l->restartDue && l->current.load() == nullptr && l->runner->IsIdle();
    });
}

tagLaneView CStation::View(int port) {
    Lane& l = *m_lanes[size_t(port)];
    tagLaneView v;
    v.port = l.port;
    v.state = l.window.State(&v.percent);
    v.mac = l.window.GetText(IDC_MAC);
    std::string idString = l.window.GetText(IDC_ID_STRING);
    std::string idNumber = l.window.GetText(IDC_ID_NUMBER);
    if (tv::EqualsNoCase(idString, kStringPlaceholder))
        idString.clear();
    if (tv::EqualsNoCase(idNumber, kNumberPlaceholder))
        idNumber.clear();
    v.id = idString + idNumber;
    v.good = l.good;
    v.failed = l.failed;
    v.lastMessage = l.window.LastLine();
    v.running = l.running || l.current.load() != nullptr;
    return v;
}

std::vector<std::string> CStation::Lines(int port, std::size_t first) {
    return m_lanes[size_t(port)]->window.Lines(first);
}

int CStation::GoodBoards() const {
    int n = 0;
    for (const auto& l : m_lanes)
        n += l->good;
    return n;
}

int CStation::FailedBoards() const {
    int n = 0;
    for (const auto& l : m_lanes)
        n += l->failed;
    return n;
}

bool CStation::LotUsedUp() const {
    std::lock_guard<std::mutex> lock(m_count->mutex);
    return m_count->usedUp;
}
