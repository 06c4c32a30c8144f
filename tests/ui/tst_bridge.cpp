// The window as the job's thread reaches it: one hop per call onto the window's thread, defaults and
// no effect once the job is stopped, and a job's message dialog that closes when the job is stopped.
#include "UiTestSupport.h"

#include "ControlIds.h"
#include "LogView.h"
#include "MessageDlg.h"
#include "PortList.h"
#include "SerialComm.h"
#include "StopFlag.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QThread>

#include <atomic>
#include <functional>

namespace {

// Runs body on a new thread as the job of flag would (flag null: outside any job).
class CJobThread {
public:
    CJobThread(std::shared_ptr<CStopFlag> flag, std::function<void()> body) {
        m_thread.reset(QThread::create([this, flag, body] {
            CStopFlag::SetCurrent(flag);
            body();
            CStopFlag::SetCurrent(nullptr);
            m_done.store(true);
        }));
        m_thread->start();
    }
    ~CJobThread() { m_thread->wait(); }
    bool Done() const { return m_done.load(); }
    bool Wait(int ms) { return m_thread->wait(QDeadlineTimer(ms)); }

private:
    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_done{false};
};

bool AnyMessageDialogOpen() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<CMessageDlg*>(w) && w->isVisible())
            return true;
    return false;
}

} // namespace

class TestBridge : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void callsFromTheJobThread();
    void stoppedJobGetsDefaultsAtOnce();
    void queuedCallOfAStoppedJobDoesNothing();
    void stoppingClosesTheJobsMessageDialog();
    void messageDialogFromAnyThreadWaitsForTheOperator();
    void detachedWindowAnswersDefaults();

private:
    std::unique_ptr<BurnConfig> m_config;
    std::unique_ptr<CBrisvaneDlg> m_dialog;
};

void TestBridge::init() {
    ClearStoredEntries();
    SetPortEnumerationForTests(QStringList{QStringLiteral("COM1")});
    g_strLog.clear();
    m_config = MakeConfig("0x10", "");
    m_dialog = std::make_unique<CBrisvaneDlg>(*m_config, g_SerialComm);
    QVERIFY(ShowAndActivate(*m_dialog));
}

void TestBridge::cleanup() {
    m_dialog.reset();
    SetPortEnumerationForTests(std::nullopt);
}

void TestBridge::callsFromTheJobThread() {
    IBurnWindow& window = m_dialog->Bridge();
    struct tagSeen {
        std::string port, mac;
        bool clear = false, increase = true, macEnabled = true, numberEnabled = true;
    } seen;
    auto flag = std::make_shared<CStopFlag>();
    CJobThread job(flag, [&] {
        seen.port = window.GetText(IDC_SERIAL_PORT);
        window.SetText(IDC_MAC, "00:1a:2b:3c:4d:5e");
        seen.mac = window.GetText(IDC_MAC);
        seen.clear = window.IsChecked(IDC_RULE_CLEAR);
        seen.increase = window.IsChecked(IDC_RULE_INCREASE);
        window.Enable({IDC_MAC, IDC_EXTRA_STRING, 4711}, false); // a missing ID is skipped
        seen.macEnabled = window.IsEnabled(IDC_MAC);
        seen.numberEnabled = window.IsEnabled(IDC_EXTRA_NUMBER);
        window.BurnStatus(StatusKind::ReplaceAll, "Please connect, and power on the board!");
        window.BurnStatus(StatusKind::Append, "DataSegment1 10% downloaded.");
        window.SetBurnTimer(60000);
    });
    QTRY_VERIFY_WITH_TIMEOUT(job.Done(), 10000);
    QCOMPARE(seen.port, std::string("COM1"));
    QCOMPARE(seen.mac, std::string("00:1a:2b:3c:4d:5e"));
    QVERIFY(seen.clear && !seen.increase);
    QVERIFY(!seen.macEnabled && !seen.numberEnabled);
    QVERIFY(!m_dialog->Control(IDC_EXTRA_STRING)->isEnabled());
    QCOMPARE(g_strLog,
             std::string("Please connect, and power on the board!\r\nDataSegment1 10% downloaded."));
    QCOMPARE(ShownLog(*m_dialog), ExpectedLogDisplay(g_strLog));
    QVERIFY(m_dialog->BurnTimer().isActive());
    QCOMPARE(m_dialog->BurnTimer().interval(), 60000);

    CJobThread kill(flag, [&] { window.KillBurnTimer(); });
    QTRY_VERIFY_WITH_TIMEOUT(kill.Done(), 10000);
    QVERIFY(!m_dialog->BurnTimer().isActive());
}

void TestBridge::stoppedJobGetsDefaultsAtOnce() {
    IBurnWindow& window = m_dialog->Bridge();
    auto flag = std::make_shared<CStopFlag>();
    flag->Stop();
    std::string port = "unset";
    bool checked = true;
    // The window's thread does not turn its loop here: a call that waited for it would hang.
    CJobThread job(flag, [&] {
        port = window.GetText(IDC_SERIAL_PORT);
        checked = window.IsChecked(IDC_RULE_CLEAR);
        window.SetText(IDC_MAC, "changed");
        window.ShowMessageDlg("Error", "never shown");
    });
    QVERIFY(job.Wait(5000));
    QCOMPARE(port, std::string());
    QVERIFY(!checked);
    QCoreApplication::processEvents();
    QCOMPARE(Edit(*m_dialog, IDC_MAC)->text(), QString());
    QVERIFY(!AnyMessageDialogOpen());
}

void TestBridge::queuedCallOfAStoppedJobDoesNothing() {
    IBurnWindow& window = m_dialog->Bridge();
    auto flag = std::make_shared<CStopFlag>();
    std::string text = "unset";
    CJobThread job(flag, [&] {
        window.SetText(IDC_MAC, "late");
        text = window.GetText(IDC_MAC);
    });
    // The call is queued while the window's thread is busy; then the window stops the job.
    QThread::msleep(100);
    QVERIFY(!job.Done());
    flag->Stop();
    QVERIFY(job.Wait(5000));
    QCOMPARE(text, std::string());
    // The functor is reached afterwards, finds its job stopped and leaves the window alone.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(Edit(*m_dialog, IDC_MAC)->text(), QString());
}

void TestBridge::stoppingClosesTheJobsMessageDialog() {
    IBurnWindow& window = m_dialog->Bridge();
    auto flag = std::make_shared<CStopFlag>();
    std::unique_ptr<CJobThread> job;
    // The operator does not answer; while the dialog runs its own loop on the window's thread, the
    // window stops the job.
    bool jobWaited = false;
    QElapsedTimer elapsed;
    CDialogRecorder recorder([&](QDialog& dialog) {
        QTimer::singleShot(100, &dialog, [&] {
            jobWaited = !job->Done();
            elapsed.start();
            flag->Stop();
        });
    });
    job = std::make_unique<CJobThread>(flag, [&] { window.ShowMessageDlg("Error", "Failed to burn!"); });
    QTRY_VERIFY_WITH_TIMEOUT(elapsed.isValid() && job->Done() && !AnyMessageDialogOpen(), 10000);
    QVERIFY(jobWaited);
    QVERIFY(elapsed.elapsed() < 2000);
    QCOMPARE(recorder.Texts(), QStringList({"Error|Failed to burn!"}));
}

void TestBridge::messageDialogFromAnyThreadWaitsForTheOperator() {
    std::unique_ptr<CJobThread> caller;
    bool callerWaited = false;
    CDialogRecorder recorder([&](QDialog& dialog) {
        QTimer::singleShot(100, &dialog, [&] {
            callerWaited = !caller->Done();
            dialog.accept();
        });
    });
    // Outside a job (no stop flag): the caller waits until the operator closes the dialog.
    caller =
        std::make_unique<CJobThread>(nullptr, [] { ShowMessageDlg("Error", "Invalid machine address!"); });
    QTRY_VERIFY_WITH_TIMEOUT(caller->Done(), 10000);
    QVERIFY(callerWaited);
    QCOMPARE(recorder.Texts(), QStringList({"Error|Invalid machine address!"}));
}

void TestBridge::detachedWindowAnswersDefaults() {
    CWindowBridge bridge(*m_dialog);
    auto flag = std::make_shared<CStopFlag>();
    std::string waiting = "unset", later = "unset";
    // A job that is not stopped waits in a call while the window goes away (its thread does not
    // turn its loop here): detaching wakes it with the default, and later calls do not wait.
    CJobThread job(flag, [&] {
        waiting = bridge.GetText(IDC_SERIAL_PORT);
        later = bridge.GetText(IDC_SERIAL_PORT);
    });
    QThread::msleep(100);
    QVERIFY(!job.Done());
    bridge.Detach();
    QVERIFY(job.Wait(5000));
    QCOMPARE(waiting, std::string());
    QCOMPARE(later, std::string());
    QVERIFY(!flag->IsStopped());
}

TELVANOR_UI_TEST_MAIN(TestBridge)
#include "tst_bridge.moc"
