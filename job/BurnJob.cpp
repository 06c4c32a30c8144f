#include "BurnJob.h"

#include "BurnRecord.h"
#include "ControlIds.h"
#include "DeviceInfo.h"
#include "Entries.h"
#include "ExtraItems.h"
#include "SerialComm.h"
#include "StrUtil.h"
#include "TextTables.h"
#include "WindowInterface.h"

#include <QThread>

#include <algorithm>

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
    void BurnStatus(int kind, const std::string& text) override {
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

// Console commands of the write sequence go through the channel with the fixed time-out.
class CCommSink : public ICommandSink {
public:
    explicit CCommSink(CSerialComm& comm) : m_comm(comm) {}
    bool SendCommand(const std::string& text) override {
        return m_comm.SendCommand(text, CONSOLE_TIMEOUT_MS) != 0;
    }

private:
    CSerialComm& m_comm;
};

const std::vector<int> kControlSet = {IDC_SERIAL_PORT,
                                      IDC_MAC,
                                      IDC_ID_STRING,
                                      IDC_ID_NUMBER,
                                      IDC_RULE_CLEAR,
                                      IDC_RULE_INCREASE,
                                      IDC_RULE_DECREASE,
                                      IDC_CHIP_VARIANT,
                                      IDC_SAVE_RECORDS,
                                      IDC_HEX_RULE,
                                      IDC_SINGLE_NET,
                                      IDC_DOUBLE_NET,
                                      IDOK};

// Clears g_pBurnThread only if it still names this job (a successor may already stand there).
void ClearIfCurrent(CBurnJob* job) {
    CBurnJob* expected = job;
    g_pBurnThread.compare_exchange_strong(expected, nullptr);
}

} // namespace

void SetBurnControlsEnabled(IBurnWindow& window, const BurnConfig& config, bool enable) {
    // One call for the whole set keeps the window's thread hops to one.
    std::vector<int> ids = kControlSet;
    const std::vector<int> strings = ItemStringIds(config);
    const std::vector<int> numbers = ItemNumberIds(config);
    ids.insert(ids.end(), strings.begin(), strings.end());
    ids.insert(ids.end(), numbers.begin(), numbers.end());
    window.Enable(ids, enable);
}

void RemoveAdjustment(IBurnWindow& window, const BurnConfig& config) {
    if (!window.IsChecked(IDC_RULE_CLEAR))
        return;
    std::vector<int> ids = {IDC_ID_NUMBER, IDC_HEX_RULE};
    const std::vector<int> numbers = ItemNumberIds(config);
    ids.insert(ids.end(), numbers.begin(), numbers.end());
    window.Enable(ids, false);
}

tagFlashLayout QueryFlashLayout(CSerialComm& comm, const BurnConfig& config) {
    tagFlashLayout layout;
    layout.dwPartOffset = comm.GetDeviceInfoOffset(layout.strFlashType);
    static const char* const kForced[] = {nullptr, "nand", "spi", "emmc"};
    if (config.m_nMacBurnFlashType >= 1 && config.m_nMacBurnFlashType <= 3) {
        layout.strFlashType = kForced[config.m_nMacBurnFlashType];
        layout.dwPartOffset = config.m_dwMacBurnAddress;
    }
    if (comm.IsStopped())
        return layout;
    layout.dwBlockSize = comm.GetBlockSize(layout.strFlashType);
    if (comm.IsStopped())
        return layout;
    layout.dwPageSize = comm.GetPageSize(layout.strFlashType);
    return layout;
}

void OnBurnTimeout(IBurnWindow& window, CJobRunner& runner, const BurnConfig& config) {
    window.KillBurnTimer();
    if (!runner.StopRunningJob())
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
    window.ShowMessageDlg(Txt(strErrorCaption), Txt(strBurnTimeout));
    runner.ClosePort();
}

CJobRunner::CJobRunner(CSerialComm& comm, const BurnConfig& config) : m_comm(comm), m_config(config) {
    // A QThread, not a std::thread: the serial port's notifiers want a thread Qt knows.
    m_thread = QThread::create([this] { Loop(); });
    m_thread->start();
}

CJobRunner::~CJobRunner() {
    StopRunningJob();
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
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_busy = false;
        }
        m_cv.notify_all();
    }
}

void CJobRunner::StartJob(IBurnWindow* window) {
    auto job = std::make_shared<CBurnJob>(window);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Old jobs that nothing names any more are dropped; the list stays short over a long run.
        std::erase_if(m_jobs,
                      [](const std::shared_ptr<CBurnJob>& j) { return j.get() != g_pBurnThread.load(); });
        m_jobs.push_back(job);
    }
    // Stored before the job can run, so a job that ends at once clears its own entry.
    g_pBurnThread.store(job.get());
    Post([this, job] { RunJob(job); });
}

bool CJobRunner::StopRunningJob() {
    CBurnJob* job = g_pBurnThread.exchange(nullptr);
    if (!job)
        return false;
    job->Stop()->Stop();
    return true;
}

void CJobRunner::ClosePort() {
    Post([this] { m_comm.Close(); });
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
    if (job->Stop()->IsStopped())
        return;
    CStopFlag::SetCurrent(job->Stop());
    BurnThreadProc(job);
    m_comm.Attach(nullptr, &m_config, nullptr);
    CStopFlag::SetCurrent(nullptr);
}

void CJobRunner::BurnThreadProc(const std::shared_ptr<CBurnJob>& job) {
    const CStopFlag& stop = *job->Stop();
    CJobWindow window(*job->Window(), stop);
    const BurnConfig& config = m_config;
    CSerialComm& comm = m_comm;
    comm.Attach(&window, &config, job->Stop());

    // Entry phase.
    const tagBurnEntries entries = ReadBurnEntries(window, config);
    if (stop.IsStopped())
        return;
    if (!comm.Open(entries.strPort)) {
        window.ShowMessageDlg(Txt(strErrorCaption),
                              tv::FormatRuntime(Txt(strPortOpenFailed), entries.strPort.c_str()));
        ClearIfCurrent(job.get());
        return;
    }

    // A lost port (unplugged adapter) ends the job with its own message instead of the phase's.
    auto failureText = [&](TextId phaseText) {
        if (comm.PortLost()) {
            std::string text = tv::FormatRuntime(Txt(strPortLost), entries.strPort.c_str());
            window.BurnStatus(3, text);
            return text;
        }
        return Txt(phaseText);
    };
    // Boot and layout exits: restore first, then the message.
    auto restoreExit = [&](TextId phaseText) {
        window.KillBurnTimer();
        SetBurnControlsEnabled(window, config, true);
        RemoveAdjustment(window, config);
        window.ShowMessageDlg(Txt(strErrorCaption), failureText(phaseText));
        comm.Close();
        ClearIfCurrent(job.get());
    };
    // Write-failure exit: the message while the controls are still disabled, then all enabled.
    auto writeFailureExit = [&]() {
        window.KillBurnTimer();
        window.ShowMessageDlg(Txt(strErrorCaption), failureText(strBurnFailed));
        SetBurnControlsEnabled(window, config, true);
        comm.Close();
        ClearIfCurrent(job.get());
    };

    // Boot phase.
    SetBurnControlsEnabled(window, config, false);
    window.SetBurnTimer(TimeoutMs());
    if (!comm.DownloadBoot()) {
        if (!stop.IsStopped())
            restoreExit(strBootFailed);
        return;
    }
    if (!job->Stop()->SleepFor(config.m_nIsCA != 0 ? 500 : 200))
        return;

    // Layout phase.
    const tagFlashLayout layout = QueryFlashLayout(comm, config);
    if (stop.IsStopped())
        return;
    if (layout.strFlashType.empty() || layout.dwBlockSize == 0) {
        restoreExit(strNoBurnAddress);
        return;
    }
    const std::uint32_t staging = StagingAddress(config.m_nBoardType);

    // Block phase. A block that does not fit is refused before any command is sent.
    CCommSink sink(comm);
    const std::optional<Bytes> block = ComposeDeviceInfoBlock(
        entries.strMac, entries.strId, KeyEntries(config, entries), !config.m_aExtra.empty());
    if (!block || !WriteDeviceInfoBlock(sink, layout, staging, *block)) {
        if (!stop.IsStopped())
            writeFailureExit();
        return;
    }

    // Item phase.
    bool anyFailed = false;
    const std::vector<std::string> values = OffsetValues(config, entries);
    for (size_t i = 0; i < config.m_aExtraInfo.size() && i < values.size(); ++i) {
        const ItemOutcome outcome =
            WriteOffsetItem(sink, layout, staging, config.m_aExtraInfo[i].dwOffset, values[i]);
        if (stop.IsStopped())
            return;
        if (outcome == ItemOutcome::Abort) {
            writeFailureExit();
            return;
        }
        if (outcome == ItemOutcome::Failed)
            anyFailed = true;
    }

    // End phase.
    window.KillBurnTimer();
    SetBurnControlsEnabled(window, config, true);
    RemoveAdjustment(window, config);
    if (anyFailed) {
        window.ShowMessageDlg(Txt(strErrorCaption), failureText(strBurnFailed));
        comm.Close();
        ClearIfCurrent(job.get());
        return;
    }
    if (stop.IsStopped())
        return;

    // The record comes before the change rule; a record that cannot be written is reported, and the
    // change rule still runs so the same MAC is never burnt twice.
    std::string recordFailure;
    if (window.IsChecked(IDC_SAVE_RECORDS)) {
        const std::string path = config.PathInModuleDir("BurntMacandIDList.txt");
        const RecordResult record = AppendBurnRecord(path, entries.strMac, entries.strId);
        if (!record.written) {
            recordFailure = tv::FormatRuntime(Txt(strRecordFailed), path.c_str(), record.recordText.c_str());
            window.BurnStatus(3, recordFailure);
            window.ShowMessageDlg(Txt(strErrorCaption), recordFailure);
        }
    }

    if (window.IsChecked(IDC_RULE_CLEAR)) {
        ClearEntries(window, config);
        window.BurnStatus(1, Txt(strBurnSuccess));
        if (!recordFailure.empty())
            window.BurnStatus(3, recordFailure);
        comm.Close();
        ClearIfCurrent(job.get());
        return;
    }
    AdvanceEntries(window, config, entries);
    if (stop.IsStopped())
        return;
    // The successor is named in g_pBurnThread before the two messages; it runs after this job returns,
    // on the same thread, with the port still open.
    StartJob(job->Window());
    window.BurnStatus(1, Txt(strBurnSuccess));
    window.BurnStatus(3, Txt(strWaitNextBoard));
    if (!recordFailure.empty())
        window.BurnStatus(3, recordFailure);
}
