#include "BurnJob.h"

#include "BurnRecord.h"
#include "ControlIds.h"
#include "DeviceInfo.h"
#include "EntriesWindow.h"
#include "ExtraItems.h"
#include "FlashLayout.h"
#include "IdValue.h"
#include "ItemFileCheck.h"
#include "MacValue.h"
#include "ReadBack.h"
#include "SerialComm.h"
#include "StrUtil.h"
#include "TextTables.h"
#include "WindowInterface.h"

#include <QThread>

#include <algorithm>
#include <ctime>

std::atomic<CBurnJob*> g_pBurnThread{nullptr};

namespace {

// The job's view of the window: once the job is stopped, nothing more reaches the window.
class CJobWindow : public IBurnWindow {
public:
    CJobWindow(IBurnWindow& inner, const CStopFlag& stop) : m_inner(inner), m_stop(stop) {}

    std::string GetText(int id) override { return Live() ? m_inner.GetText(id) : std::string(); }
    void SetText(int id, const std::string& text) override {
        if (Live())
            m_inner.SetText(id, text);
    }
    bool IsChecked(int id) override { return Live() && m_inner.IsChecked(id); }
    bool IsEnabled(int id) override { return Live() && m_inner.IsEnabled(id); }
    void Enable(const std::vector<int>& ids, bool enable) override {
        if (Live())
            m_inner.Enable(ids, enable);
    }
    void SetFocus(int id) override {
        if (Live())
            m_inner.SetFocus(id);
    }
    void BurnStatus(StatusKind kind, const std::string& text) override {
        if (Live())
            m_inner.BurnStatus(kind, text);
    }
    void ShowMessageDlg(const std::string& caption, const std::string& text) override {
        if (Live())
            m_inner.ShowMessageDlg(caption, text);
    }
    void ShowSystemMessageBox(const std::string& caption, const std::string& text) override {
        if (Live())
            m_inner.ShowSystemMessageBox(caption, text);
    }
    void SetBurnTimer(unsigned ms) override {
        if (Live())
            m_inner.SetBurnTimer(ms);
    }
    void KillBurnTimer() override {
        if (Live())
            m_inner.KillBurnTimer();
    }

private:
    bool Live() const { return !m_stop.IsStopped(); }
    IBurnWindow& m_inner;
    const CStopFlag& m_stop;
};

// Console commands of the write sequence go through the channel with the fixed time-out. The
// sink notes the first command that may change the flash, before it is sent.
class CCommSink : public ICommandSink {
public:
    CCommSink(CSerialComm& comm, std::function<void()> onFlashCommand)
        : m_comm(comm), m_onFlashCommand(std::move(onFlashCommand)) {}
    bool SendCommand(const std::string& text) override {
        if (ChangesFlash(text))
            m_onFlashCommand();
        return m_comm.SendCommand(text, CSerialComm::kConsoleTimeoutMs) != 0;
    }
    std::string LastOutput() const override { return std::string(m_comm.ReplyText(), m_comm.ReplyLength()); }

private:
    CSerialComm& m_comm;
    std::function<void()> m_onFlashCommand;
};

// Empties the slot only if it still names this job (a successor may already stand there).
void ClearIfCurrent(std::atomic<CBurnJob*>& slot, CBurnJob* job) {
    CBurnJob* expected = job;
    slot.compare_exchange_strong(expected, nullptr);
}

// The window shows the unit the job burns; the job then reads it like typed entries.
void ShowUnit(IBurnWindow& window, const tagIdentity& unit) {
    window.SetText(IDC_MAC, unit.strMac);
    window.SetText(IDC_ID_STRING, unit.strIdString.empty() ? kStringPlaceholder : unit.strIdString);
    window.SetText(IDC_ID_NUMBER, unit.strIdNumber.empty() ? kNumberPlaceholder : unit.strIdNumber);
}

// The item values a board received, as the lot keeps them: key items as NAME=VALUE, offset items
// as OFFSET=VALUE, "; " between them.
std::string ItemsText(const BurnConfig& config, const tagBurnEntries& entries) {
    std::string text;
    auto add = [&](const std::string& item) { text += (text.empty() ? "" : "; ") + item; };
    for (const std::string& entry : KeyEntries(config, entries))
        add(entry);
    const std::vector<std::string> values = OffsetValues(config, entries);
    for (size_t i = 0; i < config.m_aExtraInfo.size() && i < values.size(); ++i)
        if (!values[i].empty())
            add(tv::Format("0x%x=", unsigned(config.m_aExtraInfo[i].dwOffset)) + values[i]);
    return text;
}

// What a good board carries, as data: the offset items by offset, the key items by name.
std::vector<tagItemValue> ItemValues(const BurnConfig& config, const tagBurnEntries& entries) {
    std::vector<tagItemValue> items;
    const std::vector<std::string> values = OffsetValues(config, entries);
    for (size_t i = 0; i < config.m_aExtraInfo.size() && i < values.size(); ++i)
        if (!values[i].empty())
            items.push_back({std::string(), config.m_aExtraInfo[i].dwOffset, values[i]});
    for (const std::string& entry : KeyEntries(config, entries)) {
        const size_t eq = entry.find('=');
        items.push_back(
            {entry.substr(0, eq), std::nullopt, eq == std::string::npos ? "" : entry.substr(eq + 1)});
    }
    return items;
}

} // namespace

// The unit of one job from a lot. Committed when the board holds it; otherwise given back when
// nothing was erased or written with it, kept for the port's next board when the flash may hold
// it (the typed entries stay the same after a failure too), and uncertain when the run ends.
class CUnitLease {
public:
    explicit CUnitLease(CJobRunner& runner) : m_runner(runner) {}
    ~CUnitLease() { Settle(); }
    CUnitLease(const CUnitLease&) = delete;
    CUnitLease& operator=(const CUnitLease&) = delete;

    // A unit kept from this port's failed board may already be in that board.
    void Take(tagIdentity unit, bool mayBeInABoard) {
        m_unit = std::move(unit);
        m_holds = true;
        m_touched = mayBeInABoard;
    }
    void FlashTouched() { m_touched = true; }
    const tagIdentity& Unit() const { return m_unit; }

    // Empty when the store took it, otherwise why not: the unit is then kept out of use, never
    // burnt again.
    std::string Commit(const tagCommitInfo& info) {
        m_holds = false;
        const std::string why = m_runner.m_source->Commit(m_unit, info);
        if (!why.empty())
            m_runner.m_source->MarkUncertain(m_unit);
        return why;
    }

private:
    void Settle() {
        if (!m_holds)
            return;
        m_holds = false;
        if (!m_touched)
            m_runner.m_source->GiveBack(m_unit);
        else if (m_runner.m_runEnding.load())
            m_runner.m_source->MarkUncertain(m_unit);
        else
            m_runner.m_held = std::move(m_unit);
    }

    CJobRunner& m_runner;
    tagIdentity m_unit;
    bool m_holds = false;
    bool m_touched = false;
};

void CBurnJob::SetIdentity(const std::string& mac, const std::string& id) {
    std::lock_guard<std::mutex> lock(m_eventMutex);
    m_mac = mac;
    m_id = id;
}

bool CBurnJob::EndFromOutside(std::optional<tagBoardFailed> failure) {
    std::lock_guard<std::mutex> lock(m_eventMutex);
    if (m_ended)
        return false;
    m_ended = true;
    // A board that answered gets its end all the same: a listener never waits for it in vain.
    if (!failure && m_boardStart)
        failure = tagBoardFailed{FailReason::Stopped, {}, {}, {}};
    if (failure && m_listener) {
        failure->mac = m_mac;
        failure->id = m_id;
        m_listener->BoardFailed(*failure);
    }
    return true;
}

template <class F> void CBurnJob::Pass(bool ends, F fn) {
    // Under the lock, so an end reported from outside comes after anything the job got through.
    std::lock_guard<std::mutex> lock(m_eventMutex);
    if (m_ended || m_stop->IsStopped())
        return;
    if (ends)
        m_ended = true;
    if (m_listener)
        fn(*m_listener);
}

void CBurnJob::BoardStarted() {
    Pass(false, [this](IBurnListener& l) {
        m_boardStart = std::chrono::steady_clock::now();
        l.BoardStarted();
    });
}

void CBurnJob::Progress(BurnStage stage, int percent) {
    Pass(false, [&](IBurnListener& l) { l.Progress(stage, percent); });
}

void CBurnJob::BoardBurnt(const tagBoardBurnt& board) {
    Pass(true, [&](IBurnListener& l) { l.BoardBurnt(board); });
}

void CBurnJob::BoardFailed(const tagBoardFailed& failure) {
    Pass(true, [&](IBurnListener& l) {
        tagBoardFailed f = failure;
        if (f.mac.empty() && f.id.empty()) {
            f.mac = m_mac;
            f.id = m_id;
        }
        l.BoardFailed(f);
    });
}

double CBurnJob::BoardSeconds() {
    std::lock_guard<std::mutex> lock(m_eventMutex);
    if (!m_boardStart)
        return 0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - *m_boardStart).count();
}

void SetBurnControlsEnabled(IBurnWindow& window, const BurnConfig& config, bool enable) {
    // One call for the whole set keeps the window's thread hops to one.
    std::vector<int> ids = kJobControls;
    const std::vector<int> strings = ItemStringIds(config);
    const std::vector<int> numbers = ItemNumberIds(config);
    ids.insert(ids.end(), strings.begin(), strings.end());
    ids.insert(ids.end(), numbers.begin(), numbers.end());
    window.Enable(ids, enable);
    if (enable)
        LotAdjustment(window, config);
}

void LotAdjustment(IBurnWindow& window, const BurnConfig& config) {
    // The MAC and ID show the lot's unit; the change rule and the step are the lot's.
    static const std::vector<int> kFromLot = {IDC_MAC,        IDC_ID_STRING,     IDC_ID_NUMBER,
                                              IDC_RULE_CLEAR, IDC_RULE_INCREASE, IDC_RULE_DECREASE,
                                              IDC_HEX_RULE,   IDC_SINGLE_NET,    IDC_DOUBLE_NET};
    if (!config.m_strLot.empty())
        window.Enable(kFromLot, false);
}

void RemoveAdjustment(IBurnWindow& window, const BurnConfig& config) {
    if (!window.IsChecked(IDC_RULE_CLEAR))
        return;
    std::vector<int> ids = {IDC_ID_NUMBER, IDC_HEX_RULE};
    const std::vector<int> numbers = ItemNumberIds(config);
    ids.insert(ids.end(), numbers.begin(), numbers.end());
    window.Enable(ids, false);
}

tagFlashLayout QueryFlashLayout(CSerialComm& comm, const BurnConfig& config, std::string* unanswered) {
    tagFlashLayout layout;
    layout.dwPartOffset = comm.GetDeviceInfoOffset(layout.strFlashType);
    const std::string bootargsType = layout.strFlashType;
    static const char* const kForced[] = {nullptr, "nand", "spi", "emmc"};
    const bool forced = config.m_nMacBurnFlashType >= 1 && config.m_nMacBurnFlashType <= 3;
    if (forced) {
        layout.strFlashType = kForced[config.m_nMacBurnFlashType];
        layout.dwPartOffset = config.m_dwMacBurnAddress;
    }
    if (comm.IsStopped())
        return layout;
    const std::uint32_t mark = comm.HistoryLength();
    layout.dwBlockSize = comm.GetBlockSize(layout.strFlashType);
    if (comm.IsStopped())
        return layout;
    if (forced && layout.dwBlockSize == 0 && unanswered) {
        // The configuration's type is taken on trust; say what was asked and what came back, and
        // what the board's own boot arguments show, so a wrong MacBurnFlashType is seen at once.
        *unanswered = tv::FormatRuntime(Txt(strForcedFlashUnanswered), config.m_nMacBurnFlashType,
                                        layout.strFlashType.c_str(), layout.strFlashType.c_str(),
                                        ReplyAsOneLine(comm.ReceivedSince(mark)).c_str());
        if (!bootargsType.empty() && bootargsType != layout.strFlashType)
            *unanswered += " " + tv::FormatRuntime(Txt(strBootargsFlashType), bootargsType.c_str());
    }
    layout.dwPageSize = comm.GetPageSize(layout.strFlashType);
    return layout;
}

void OnBurnTimeout(IBurnWindow& window, CJobRunner& runner, const BurnConfig& config) {
    window.KillBurnTimer();
    if (!runner.StopRunningJob(FailReason::Timeout, Txt(strBurnTimeout)))
        return;
    std::vector<int> ids = {IDC_SERIAL_PORT, IDC_MAC, IDC_ID_STRING};
    const std::vector<int> strings = ItemStringIds(config);
    ids.insert(ids.end(), strings.begin(), strings.end());
    ids.insert(ids.end(), {IDC_RULE_CLEAR, IDC_RULE_INCREASE, IDC_RULE_DECREASE, IDC_CHIP_VARIANT,
                           IDC_SAVE_RECORDS, IDC_SINGLE_NET, IDC_DOUBLE_NET, IDOK});
    window.Enable(ids, true);
    if (!window.IsChecked(IDC_RULE_CLEAR)) {
        std::vector<int> numbers = {IDC_ID_NUMBER, IDC_HEX_RULE};
        const std::vector<int> items = ItemNumberIds(config);
        numbers.insert(numbers.end(), items.begin(), items.end());
        window.Enable(numbers, true);
    }
    LotAdjustment(window, config);
    window.ShowMessageDlg(Txt(strErrorCaption), Txt(strBurnTimeout));
    runner.ClosePort();
}

CJobRunner::CJobRunner(CSerialComm& comm, const BurnConfig& config, std::atomic<CBurnJob*>& current)
    : m_comm(comm), m_config(config), m_current(current) {
    // A QThread, not a std::thread: the serial port's notifiers want a thread Qt knows.
    m_thread = QThread::create([this] { Loop(); });
    m_thread->start();
}

CJobRunner::~CJobRunner() {
    EndRun();
    StopAllJobs();
    Post([this] { m_comm.ReleasePort(); });
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_cv.notify_all();
    m_thread->wait();
    delete m_thread;
}

void CJobRunner::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_cv.notify_all();
}

void CJobRunner::Loop() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_cv.wait(lock, [this] { return !m_tasks.empty() || m_quit; });
            if (m_tasks.empty())
                return; // quit once every posted task has run
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
            m_busy = true;
        }
        task();
        bool idle = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_busy = false;
            idle = m_tasks.empty();
        }
        m_cv.notify_all();
        if (idle && m_onIdle)
            m_onIdle();
    }
}

void CJobRunner::StartJob(IBurnWindow* window) {
    auto job = std::make_shared<CBurnJob>(window, m_listener.load());
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(job);
        // Stored before the job can run, so a job that ends at once clears its own entry.
        m_current.store(job.get());
    }
    Post([this, job] { RunJob(job); });
}

bool CJobRunner::StopRunningJob(std::optional<FailReason> why, const std::string& message) {
    std::lock_guard<std::mutex> lock(m_mutex);
    CBurnJob* job = m_current.exchange(nullptr);
    if (!job)
        return false;
    job->Stop()->Stop();
    std::optional<tagBoardFailed> failure;
    if (why)
        failure = tagBoardFailed{*why, message, {}, {}};
    job->EndFromOutside(failure);
    return true;
}

void CJobRunner::EndRun() {
    m_runEnding.store(true);
    // After the running job has settled its unit; the runner's next start is a new run.
    Post([this] {
        if (m_held && m_source)
            m_source->MarkUncertain(*m_held);
        m_held.reset();
        m_runEnding.store(false);
    });
}

bool CJobRunner::StopAllJobs() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_current.store(nullptr);
    bool any = false;
    for (const std::shared_ptr<CBurnJob>& job : m_jobs) {
        any = any || !job->Stop()->IsStopped();
        job->Stop()->Stop();
    }
    return any;
}

void CJobRunner::ClosePort() {
    Post([this] { m_comm.Close(); });
}

bool CJobRunner::StopUnlessWriting(const std::string& message) {
    {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        m_endRequested = true;
        m_strEndMessage = message;
        if (m_writing)
            return true;
    }
    StopRunningJob(FailReason::Stopped, message);
    return false;
}

std::string CJobRunner::WritingMac() {
    std::lock_guard<std::mutex> lock(m_writeMutex);
    return m_writing ? m_strWritingMac : std::string();
}

bool CJobRunner::BeginWrite(const std::string& mac, std::string& endMessage) {
    std::lock_guard<std::mutex> lock(m_writeMutex);
    if (m_endRequested) {
        endMessage = m_strEndMessage;
        return false;
    }
    m_writing = true;
    m_strWritingMac = mac;
    return true;
}

bool CJobRunner::EndRequested() {
    std::lock_guard<std::mutex> lock(m_writeMutex);
    return m_endRequested;
}

void CJobRunner::WaitIdle() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this] { return m_tasks.empty() && !m_busy; });
}

bool CJobRunner::IsIdle() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tasks.empty() && !m_busy;
}

void CJobRunner::RunJob(const std::shared_ptr<CBurnJob>& job) {
    if (!job->Stop()->IsStopped()) {
        CStopFlag::SetCurrent(job->Stop());
        try {
            BurnThreadProc(job);
        } catch (const std::exception&) {
            // Nothing may escape onto the runner's thread; the job ends as a failed burn.
            CJobWindow window(*job->Window(), *job->Stop());
            window.KillBurnTimer();
            window.ShowMessageDlg(Txt(strErrorCaption), Txt(strBurnFailed));
            job->BoardFailed({FailReason::Write, Txt(strBurnFailed), {}, {}});
            SetBurnControlsEnabled(window, m_config, true);
            m_comm.Close();
            job->SetEnd(JobEnd::Failed);
            ClearIfCurrent(m_current, job.get());
        }
        {
            std::lock_guard<std::mutex> lock(m_writeMutex);
            m_writing = false;
        }
        m_comm.Attach(nullptr, &m_config, nullptr);
        CStopFlag::SetCurrent(nullptr);
    }
    if (job->End() == JobEnd::Running)
        job->SetEnd(JobEnd::Stopped);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ClearIfCurrent(m_current, job.get()); // a job that has returned is not running, however it ended
        std::erase(m_jobs, job);
    }
    if (m_onJobEnd)
        m_onJobEnd(job->End());
}

void CJobRunner::BurnThreadProc(const std::shared_ptr<CBurnJob>& job) {
    const CStopFlag& stop = *job->Stop();
    CJobWindow window(*job->Window(), stop);
    const BurnConfig& config = m_config;
    CSerialComm& comm = m_comm;
    comm.Attach(&window, &config, job->Stop(), job.get());
    auto clearIfCurrent = [&] { ClearIfCurrent(m_current, job.get()); };

    // Entry phase. From a lot, the unit comes first and the window shows it.
    CUnitLease lease(*this);
    if (m_source) {
        std::string reservedText;
        if (m_held) {
            lease.Take(std::move(*m_held), true);
            m_held.reset();
        } else {
            tagReservation r = m_source->Reserve(window.GetText(IDC_SERIAL_PORT), *job->Stop());
            if (stop.IsStopped()) {
                if (r.outcome == ReserveOutcome::Reserved)
                    m_source->GiveBack(r.unit);
                return;
            }
            if (r.outcome != ReserveOutcome::Reserved) {
                job->SetEnd(JobEnd::LotEnd);
                if (r.outcome != ReserveOutcome::Enough)
                    window.ShowMessageDlg(Txt(strErrorCaption), r.message);
                clearIfCurrent();
                return;
            }
            lease.Take(std::move(r.unit), false);
            reservedText = r.message;
        }
        ShowUnit(window, lease.Unit());
        // Which unit, and how many are left, in the log.
        if (!reservedText.empty())
            window.BurnStatus(StatusKind::Append, reservedText);
    }
    const tagBurnEntries entries = ReadBurnEntries(window, config);
    if (stop.IsStopped())
        return;
    job->SetIdentity(entries.strMac, entries.strId);
    auto failed = [&](FailReason reason, const std::string& text) {
        job->BoardFailed({reason, text, entries.strMac, entries.strId});
    };
    // Every item file is checked before the first byte goes to the board: one that cannot be used
    // must not leave the board with a new device info block and without its items.
    const std::vector<tagItemFileFault> fileFaults = CheckItemFiles(config, entries);
    if (!fileFaults.empty()) {
        for (const tagItemFileFault& fault : fileFaults)
            window.BurnStatus(StatusKind::Append, ItemFileFaultText(fault));
        SetBurnControlsEnabled(window, config, true);
        RemoveAdjustment(window, config);
        job->SetEnd(JobEnd::Failed);
        const std::string text = ItemFileFaultText(fileFaults.front());
        window.ShowMessageDlg(Txt(strErrorCaption), text);
        failed(FailReason::Refused, text); // no port opened, nothing sent
        // A chained job finds the port still open.
        comm.Close();
        clearIfCurrent();
        return;
    }
    if (!comm.Open(entries.strPort)) {
        job->SetEnd(JobEnd::PortOpen);
        const std::string text = tv::FormatRuntime(Txt(strPortOpenFailed), entries.strPort.c_str());
        window.ShowMessageDlg(Txt(strErrorCaption), text);
        failed(FailReason::PortOpen, text);
        clearIfCurrent();
        return;
    }

    // A lost port (unplugged adapter) ends the job with its own message instead of the phase's.
    auto failureText = [&](TextId phaseText, FailReason& reason) {
        job->SetEnd(comm.PortLost() ? JobEnd::PortLost : JobEnd::Failed);
        if (comm.PortLost()) {
            std::string text = tv::FormatRuntime(Txt(strPortLost), entries.strPort.c_str());
            window.BurnStatus(StatusKind::Append, text);
            reason = FailReason::PortLost;
            return text;
        }
        return Txt(phaseText);
    };
    auto report = [&](TextId phaseText, FailReason reason) {
        const std::string text = failureText(phaseText, reason);
        window.ShowMessageDlg(Txt(strErrorCaption), text);
        failed(reason, text);
    };
    // Boot and layout exits: restore first, then the message.
    auto restoreExit = [&](TextId phaseText, FailReason reason) {
        window.KillBurnTimer();
        SetBurnControlsEnabled(window, config, true);
        RemoveAdjustment(window, config);
        report(phaseText, reason);
        comm.Close();
        clearIfCurrent();
    };
    // Write-failure exit: the message while the controls are still disabled, then all enabled.
    auto writeFailureExit = [&]() {
        window.KillBurnTimer();
        report(strBurnFailed, FailReason::Write);
        SetBurnControlsEnabled(window, config, true);
        comm.Close();
        clearIfCurrent();
    };

    // Boot phase.
    SetBurnControlsEnabled(window, config, false);
    window.SetBurnTimer(TimeoutMs());
    if (!comm.DownloadBoot()) {
        if (!stop.IsStopped())
            restoreExit(strBootFailed, FailReason::Download);
        return;
    }
    if (!job->Stop()->SleepFor(config.m_nIsCA != 0 ? 500 : 200))
        return;

    // Layout phase.
    job->Progress(BurnStage::Layout, 0);
    std::string unanswered;
    const tagFlashLayout layout = QueryFlashLayout(comm, config, &unanswered);
    if (stop.IsStopped())
        return;
    if (layout.strFlashType.empty() || layout.dwBlockSize == 0) {
        if (!unanswered.empty() && !comm.PortLost())
            window.BurnStatus(StatusKind::Append, unanswered);
        restoreExit(strNoBurnAddress, FailReason::Layout);
        return;
    }
    job->Progress(BurnStage::Layout, 100);
    const std::uint32_t staging = StagingAddress(config.m_nBoardType);

    // Block phase. A block that does not fit is refused before any command is sent. From here on a
    // cooperative stop lets the board finish; one that came earlier ends the job here.
    if (std::string endMessage; !BeginWrite(entries.strMac, endMessage)) {
        window.KillBurnTimer();
        SetBurnControlsEnabled(window, config, true);
        failed(FailReason::Stopped, endMessage);
        comm.Close();
        clearIfCurrent();
        return;
    }
    job->Progress(BurnStage::Block, 0);
    CCommSink sink(comm, [&lease] { lease.FlashTouched(); });
    const std::optional<Bytes> block = ComposeDeviceInfoBlock(
        entries.strMac, entries.strId, KeyEntries(config, entries), !config.m_aExtra.empty());
    if (!block || !WriteDeviceInfoBlock(sink, layout, staging, *block)) {
        if (!stop.IsStopped())
            writeFailureExit();
        return;
    }
    job->Progress(BurnStage::Block, 100);

    // Item phase. What was meant for each region is kept for the read-back check.
    bool anyFailed = false;
    std::vector<tagWrittenRegion> written = {{Txt(strDeviceInfoBlock), layout.dwPartOffset, *block}};
    const std::vector<std::string> values = OffsetValues(config, entries);
    const size_t itemCount = std::min(config.m_aExtraInfo.size(), values.size());
    if (itemCount > 0)
        job->Progress(BurnStage::Items, 0);
    for (size_t i = 0; i < itemCount; ++i) {
        const std::uint32_t offset = config.m_aExtraInfo[i].dwOffset;
        tagWrittenRegion region{OffsetItemName(config, i), layout.dwPartOffset + offset, {}};
        ItemOutcome outcome = ReadOffsetItemData(values[i], offset, layout.dwBlockSize, region.aBytes);
        if (outcome == ItemOutcome::Written)
            outcome = WriteItemData(sink, layout, staging, offset, region.aBytes);
        written.push_back(std::move(region));
        if (stop.IsStopped())
            return;
        if (outcome == ItemOutcome::Abort) {
            writeFailureExit();
            return;
        }
        if (outcome == ItemOutcome::Failed)
            anyFailed = true;
        job->Progress(BurnStage::Items, int((i + 1) * 100 / itemCount));
    }

    // Read-back check: a region that does not hold what was meant fails the job like a failed item.
    FailReason itemsReason = FailReason::Write;
    if (!anyFailed && config.m_nVerifyAfterWrite != 0) {
        job->Progress(BurnStage::Verify, 0);
        const std::string mismatch = VerifyWrittenRegions(sink, layout, staging, written);
        if (stop.IsStopped())
            return;
        if (!mismatch.empty()) {
            window.BurnStatus(StatusKind::Append, mismatch);
            anyFailed = true;
            itemsReason = FailReason::Verify;
        } else {
            job->Progress(BurnStage::Verify, 100);
        }
    }

    // End phase.
    window.KillBurnTimer();
    SetBurnControlsEnabled(window, config, true);
    RemoveAdjustment(window, config);
    if (anyFailed) {
        report(strBurnFailed, itemsReason);
        comm.Close();
        clearIfCurrent();
        return;
    }
    if (stop.IsStopped())
        return;

    // The record comes before the change rule; a record that cannot be written is reported, and the
    // change rule still runs so the same MAC is never burnt twice.
    std::string recordFailure;
    std::string recordText;
    tagBoardBurnt burnt{entries.strMac, entries.strId, ItemValues(config, entries), std::string(), 0};
    if (window.IsChecked(IDC_SAVE_RECORDS)) {
        const std::string path = config.PathInModuleDir("BurntMacandIDList.txt");
        const RecordResult record = AppendBurnRecord(path, entries.strMac, entries.strId);
        recordText = record.recordText;
        if (!record.written) {
            recordFailure = tv::FormatRuntime(Txt(strRecordFailed), path.c_str(), record.recordText.c_str());
            window.BurnStatus(StatusKind::Append, recordFailure);
            window.ShowMessageDlg(Txt(strErrorCaption), recordFailure);
        } else {
            burnt.recordLine = record.recordText;
        }
    }
    // The board's end goes out last, after its status lines (and after a successor is named), so a
    // face that stops the chain on it stops the successor, never this job.
    auto reportEnd = [&] {
        burnt.seconds = job->BoardSeconds();
        if (recordFailure.empty())
            job->BoardBurnt(burnt);
        else
            failed(FailReason::Record, recordFailure);
    };

    // The successor is named in the runner's slot before the two messages; it runs after this job
    // returns, on the same thread, with the port still open.
    // A burnt board that no successor follows: its result, then why the chain ends, if it does.
    auto endWithoutSuccessor = [&](const std::string& why) {
        window.BurnStatus(StatusKind::ReplaceAll, Txt(strBurnSuccess));
        if (!recordFailure.empty())
            window.BurnStatus(StatusKind::Append, recordFailure);
        if (!why.empty()) {
            window.BurnStatus(StatusKind::Append, why);
            window.ShowMessageDlg(Txt(strErrorCaption), why);
        }
        comm.Close();
        clearIfCurrent();
    };
    auto chainOn = [&] {
        if (EndRequested()) { // the run ends with this board: no successor waits for the next one
            endWithoutSuccessor(std::string());
            return;
        }
        StartJob(job->Window());
        window.BurnStatus(StatusKind::ReplaceAll, Txt(strBurnSuccess));
        window.BurnStatus(StatusKind::Append, Txt(strWaitNextBoard));
        if (!recordFailure.empty())
            window.BurnStatus(StatusKind::Append, recordFailure);
    };

    // From a lot the store takes the record, and the chain goes on with the store's next unit
    // instead of a change rule.
    if (m_source) {
        tagCommitInfo info;
        info.strPort = entries.strPort;
        info.strId = entries.strId;
        info.strItems = ItemsText(config, entries);
        info.strRecord = recordText.empty()
                             ? FormatRecord(std::time(nullptr), entries.strMac, entries.strId).substr(1)
                             : recordText;
        const std::string why = lease.Commit(info);
        if (!why.empty()) {
            job->SetEnd(JobEnd::Failed);
            const std::string text = tv::FormatRuntime(Txt(strPoolCommitFailed), why.c_str(),
                                                       entries.strMac.c_str(), entries.strId.c_str());
            window.ShowMessageDlg(Txt(strErrorCaption), text);
            comm.Close();
            clearIfCurrent();
            // The board holds its unit, but the store has no record of it.
            failed(FailReason::Record, text);
            return;
        }
        job->SetEnd(JobEnd::Burnt);
        if (!stop.IsStopped())
            chainOn();
        reportEnd();
        return;
    }

    job->SetEnd(JobEnd::Burnt);
    if (window.IsChecked(IDC_RULE_CLEAR)) {
        ClearEntries(window, config);
        endWithoutSuccessor(std::string());
        reportEnd();
        return;
    }
    AdvanceEntries(window, config, entries);
    if (stop.IsStopped()) {
        reportEnd();
        return;
    }
    // The chain ends where the next address would be a group address (the range's end included):
    // such an address would reach every board on a network, not one.
    const std::string nextMac = window.GetText(IDC_MAC);
    if (IsGroupMac(nextMac)) {
        endWithoutSuccessor(tv::FormatRuntime(Txt(strNextMacGroup), nextMac.c_str()));
        reportEnd();
        return;
    }
    chainOn();
    reportEnd();
}
