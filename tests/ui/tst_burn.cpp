// Whole burns driven by clicks against the virtual board: success under Remove, a chain under
// Increase closed by Esc, a language switch during a burn, the time-out, a port that cannot be
// opened.
#include "UiTestSupport.h"

#include "BoardProcess.h"
#include "BurnJob.h"
#include "ControlIds.h"
#include "ExtraItems.h"
#include "LogView.h"
#include "PortList.h"
#include "SerialComm.h"
#include "StrUtil.h"
#include "SwappedTexts.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProgressBar>
#include <QSettings>
#include <QTextDocument>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>

namespace {

const char kNandArgs[] = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";

// A serial line where nobody answers: the job waits in the boot download until its time-out.
class CSilentLine {
public:
    CSilentLine() {
        m_nMaster = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_nMaster >= 0 && grantpt(m_nMaster) == 0 && unlockpt(m_nMaster) == 0)
            m_strPath = ptsname(m_nMaster);
        if (m_nMaster >= 0)
            fcntl(m_nMaster, F_SETFL, fcntl(m_nMaster, F_GETFL) | O_NONBLOCK);
    }
    ~CSilentLine() {
        if (m_nMaster >= 0)
            close(m_nMaster);
    }
    const std::string& Path() const { return m_strPath; }
    // Reads what the tool has sent so far without waiting; the number of bytes.
    std::size_t Drain() {
        std::size_t total = 0;
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(m_nMaster, buffer, sizeof buffer);
            if (n <= 0)
                return total;
            total += std::size_t(n);
        }
    }

private:
    int m_nMaster = -1;
    std::string m_strPath;
};

// Everything the log showed over a run, one picture per change.
class CLogHistory : public QObject {
public:
    explicit CLogHistory(CBrisvaneDlg& dialog) {
        connect(dialog.LogView()->document(), &QTextDocument::contentsChanged, this,
                [this] { m_states.push_back(g_strLog); });
    }
    bool Any(const std::function<bool(const std::string&)>& test) const {
        return std::any_of(m_states.begin(), m_states.end(), test);
    }

private:
    std::vector<std::string> m_states;
};

bool Has(const std::string& text, const char* utf8) {
    return text.find(tv::Utf8ToLocal(utf8)) != std::string::npos;
}

} // namespace

class TestBurn : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void burnUnderRemove();
    void chainUnderIncreaseClosedByEsc();
    void closingRightAfterABoardDoesNotHang();
    void languageSwitchDuringABurn();
    void progressBarWithChangedTexts();
    void timeOut_data();
    void timeOut();
    void doubleClickThenTimeOutThenCancel();
    void portThatCannotBeOpened();
    void faultsOnTheLine_data();
    void faultsOnTheLine();

private:
    // A window on a fresh program folder with ini as its configuration, on the given port.
    void Open(const std::string& ini, const std::string& port, unsigned timeoutMs = 0);
    void TypeInto(int id, const QString& text);
    bool WaitUntilIdle(int ms);

    std::unique_ptr<CTempDir> m_dir;
    std::unique_ptr<BurnConfig> m_config;
    std::unique_ptr<CBrisvaneDlg> m_dialog;
};

void TestBurn::init() {
    ClearStoredEntries();
    SetPortEnumerationForTests(QStringList{QStringLiteral("COM1")});
    g_strLog.clear();
}

void TestBurn::cleanup() {
    m_dialog.reset();
    m_config.reset();
    m_dir.reset();
    SetPortEnumerationForTests(std::nullopt);
    QVERIFY(g_pBurnThread.load() == nullptr);
}

void TestBurn::Open(const std::string& ini, const std::string& port, unsigned timeoutMs) {
    m_dir = std::make_unique<CTempDir>();
    std::ofstream(m_dir->File("BurnConfig.ini"), std::ios::binary) << "[BurnConfig]\r\n" << ini;
    m_config = std::make_unique<BurnConfig>();
    m_config->m_strModuleDir = m_dir->Path();
    LoadBurnConfig(*m_config);
    ParseItemLists(*m_config);
    CBrisvaneDlg::tagOptions options;
    options.strExtraPort = QString::fromStdString(port);
    options.nBurnTimeoutMs = timeoutMs;
    m_dialog = std::make_unique<CBrisvaneDlg>(*m_config, g_SerialComm, options);
    QVERIFY(ShowAndActivate(*m_dialog));
}

void TestBurn::TypeInto(int id, const QString& text) {
    QTest::mouseClick(m_dialog->Control(id), Qt::LeftButton); // entering clears the placeholder
    QTest::keyClicks(m_dialog->Control(id), text);
}

bool TestBurn::WaitUntilIdle(int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < ms) {
        if (g_pBurnThread.load() == nullptr && m_dialog->Runner().IsIdle())
            return true;
        QTest::qWait(10);
    }
    return false;
}

void TestBurn::burnUnderRemove() {
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs});
    Open("CfgName=sn|hwver:A1\r\n", board.PortPath());
    CDialogRecorder recorder;
    TypeInto(IDC_MAC, QStringLiteral("00:1a:2b:3c:4d:5e"));
    TypeInto(IDC_ID_STRING, QStringLiteral("SN0001"));
    TypeInto(IDC_KEY_STRING, QStringLiteral("K7"));
    QTest::mouseClick(Button(*m_dialog, IDOK), Qt::LeftButton);
    // The prompt stands alone in the log before the job reports anything.
    QCOMPARE(g_strLog, std::string("Please connect, and power on the board!"));
    QVERIFY(m_dialog->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!Button(*m_dialog, IDOK)->isEnabled(), 20000);
    QVERIFY(!Edit(*m_dialog, IDC_KEY_STRING)->isEnabled());
    QVERIFY(WaitUntilIdle(60000));

    QCOMPARE(recorder.Texts(), QStringList());
    QCOMPARE(g_strLog, std::string("Burn successfully!"));
    QCOMPARE(ShownLog(*m_dialog), QStringLiteral("Burn successfully!"));
    QCOMPARE(Edit(*m_dialog, IDC_MAC)->text(), QString());
    QCOMPARE(Edit(*m_dialog, IDC_KEY_STRING)->text(), QString());
    QCOMPARE(QApplication::focusWidget(), m_dialog->Control(IDC_MAC));
    QVERIFY(Button(*m_dialog, IDOK)->isEnabled());
    QVERIFY(!Edit(*m_dialog, IDC_ID_NUMBER)->isEnabled());
    QVERIFY(!m_dialog->BurnTimer().isActive());
    QVERIFY(!m_dialog->DownloadProgress()->isVisible());

    board.Stop();
    const std::vector<std::uint8_t> flash = board.Flash();
    const std::string block("00:1a:2b:3c:4d:5e\0SN0001\0MAGICNUM=deviceinfo\0", 44);
    QVERIFY(flash.size() >= 0x100000 + block.size());
    QCOMPARE(std::string(flash.begin() + 0x100000, flash.begin() + 0x100000 + long(block.size())), block);
    const std::string all(flash.begin() + 0x100000, flash.begin() + 0x100100);
    QVERIFY(all.find(std::string("SN=K7\0HWVER=A1\0", 15)) != std::string::npos);
}

void TestBurn::chainUnderIncreaseClosedByEsc() {
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs, "--swap-boards"});
    Open("", board.PortPath());
    CDialogRecorder recorder;
    TypeInto(IDC_MAC, QStringLiteral("00:1a:2b:3c:4d:5e"));
    QTest::mouseClick(Button(*m_dialog, IDC_RULE_INCREASE), Qt::LeftButton);
    TypeInto(IDC_ID_NUMBER, QStringLiteral("0099"));
    QTest::mouseClick(Button(*m_dialog, IDOK), Qt::LeftButton);
    // The first board is done when the entries have advanced; its successor waits for the next one.
    QTRY_COMPARE_WITH_TIMEOUT(Edit(*m_dialog, IDC_ID_NUMBER)->text(), QStringLiteral("0100"), 60000);
    QCOMPARE(Edit(*m_dialog, IDC_MAC)->text(), QStringLiteral("00:1a:2b:3c:4d:5f"));
    QTRY_VERIFY_WITH_TIMEOUT(g_strLog.find("Wait for the next board.") != std::string::npos, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!Button(*m_dialog, IDOK)->isEnabled() && g_pBurnThread.load() != nullptr, 20000);

    // The advanced MAC is on disk already, before any closing: a crash now offers the next MAC.
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brisvane"));
        QCOMPARE(store.value(QStringLiteral("MacAddress")).toString(), QStringLiteral("00:1a:2b:3c:4d:5f"));
        QCOMPARE(store.value(QStringLiteral("MacAddressChangeMode")).toInt(), 2);
    }

    // Esc during the burn closes the tool: the job is stopped, the port closed, the entries saved.
    QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
    QVERIFY(!m_dialog->isVisible());
    QVERIFY(g_pBurnThread.load() == nullptr);
    QVERIFY(WaitUntilIdle(10000));
    const size_t commands = board.Commands().size();
    QTest::qWait(300);
    QCOMPARE(board.Commands().size(), commands);
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brisvane"));
    QCOMPARE(store.value(QStringLiteral("MacAddress")).toString(), QStringLiteral("00:1a:2b:3c:4d:5f"));
    QCOMPARE(store.value(QStringLiteral("MacAddressChangeMode")).toInt(), 2);
    QCOMPARE(recorder.Texts(), QStringList());
}

void TestBurn::closingRightAfterABoardDoesNotHang() {
    // Under Increase a finished job names its successor and then sends its last lines; the window
    // closes in between. It must not wait for the finished job while that job waits for it.
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs, "--swap-boards"});
    Open("", board.PortPath());
    CDialogRecorder recorder;
    TypeInto(IDC_MAC, QStringLiteral("00:1a:2b:3c:4d:5e"));
    QTest::mouseClick(Button(*m_dialog, IDC_RULE_INCREASE), Qt::LeftButton);
    bool closed = false;
    connect(m_dialog->LogView()->document(), &QTextDocument::contentsChanged, this, [&] {
        if (!closed && g_strLog == "Burn successfully!") {
            closed = true;
            m_dialog->done(QDialog::Rejected);
            QTimer::singleShot(0, this, [this] { m_dialog.reset(); });
        }
    });
    QTest::mouseClick(Button(*m_dialog, IDOK), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(closed && !m_dialog, 60000);
    QVERIFY(g_pBurnThread.load() == nullptr);
    QCOMPARE(recorder.Texts(), QStringList());
}

void TestBurn::languageSwitchDuringABurn() {
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs});
    Open("AppLanguage=2\r\n", board.PortPath());
    CDialogRecorder recorder;
    CLogHistory history(*m_dialog);
    // The operator switches as soon as the first download line shows, between two of the job's calls.
    bool switched = false;
    connect(m_dialog->LogView()->document(), &QTextDocument::contentsChanged, this, [&] {
        if (!switched && g_strLog.find("DataSegment1") != std::string::npos) {
            switched = true;
            m_dialog->ChineseAction()->trigger();
        }
    });
    TypeInto(IDC_MAC, QStringLiteral("00:1a:2b:3c:4d:5e"));
    QTest::mouseClick(Button(*m_dialog, IDOK), Qt::LeftButton);
    QVERIFY(WaitUntilIdle(60000));
    QVERIFY(switched);
    QCOMPARE(recorder.Texts(), QStringList());
    // Lines built after the switch are Chinese; the earlier ones stay as they were.
    QVERIFY(history.Any([](const std::string& log) {
        return Has(log, "Please connect, and power on the board!") && Has(log, "数据下载完成!");
    }));
    QCOMPARE(g_strLog, tv::Utf8ToLocal("烧写成功!"));
    QCOMPARE(Button(*m_dialog, IDOK)->text(), QStringLiteral("确定"));
}

void TestBurn::progressBarWithChangedTexts() {
    CBoardProcess board({"--flash", "nand", "--bootargs", kNandArgs});
    Open("", board.PortPath());
    CSwappedTexts swapped; // after the window chose its language
    QProgressBar* bar = m_dialog->DownloadProgress();
    std::vector<int> shown;
    connect(bar, &QProgressBar::valueChanged, this, [&](int value) {
        if (value >= 0) // not the reset when it hides
            shown.push_back(value);
    });
    TypeInto(IDC_MAC, QStringLiteral("00:1a:2b:3c:4d:5e"));
    QTest::mouseClick(Button(*m_dialog, IDOK), Qt::LeftButton);
    QVERIFY(WaitUntilIdle(60000));
    QCOMPARE(g_strLog, Txt(strBurnSuccess)); // the changed text: the table was in use
    // The bar went up through the download and is gone once the board is done.
    QVERIFY(std::is_sorted(shown.begin(), shown.end()));
    QVERIFY(std::any_of(shown.begin(), shown.end(), [](int v) { return v > 0 && v < 100; }));
    QTRY_VERIFY(!bar->isVisible());
}

void TestBurn::timeOut_data() {
    QTest::addColumn<int>("rule");
    QTest::newRow("remove") << int(IDC_RULE_CLEAR);
    QTest::newRow("increase") << int(IDC_RULE_INCREASE);
}

void TestBurn::timeOut() {
    QFETCH(int, rule);
    CSilentLine line;
    QVERIFY(!line.Path().empty());
    Open("ExtraInfo=0x100\r\nCfgName=sn\r\n", line.Path(), 1500);
    CDialogRecorder recorder;
    TypeInto(IDC_MAC, QStringLiteral("00:1a:2b:3c:4d:5e"));
    QTest::mouseClick(Button(*m_dialog, rule), Qt::LeftButton);
    QTest::mouseClick(Button(*m_dialog, IDOK), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!Button(*m_dialog, IDOK)->isEnabled(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_dialog->BurnTimer().isActive(), 10000); // armed right after disabling
    QCOMPARE(m_dialog->BurnTimer().interval(), 1500);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.Texts(), QStringList({"Error|Burn timeout! Please try again."}),
                              20000);
    QVERIFY(g_pBurnThread.load() == nullptr);
    QVERIFY(WaitUntilIdle(10000));

    // Idle again: the number parts only under Increase or Decrease.
    for (int id : {IDC_SERIAL_PORT, IDC_MAC, IDC_ID_STRING, IDC_EXTRA_STRING, IDC_KEY_STRING, IDC_RULE_CLEAR,
                   IDC_RULE_INCREASE, IDC_RULE_DECREASE, IDC_CHIP_VARIANT, IDC_SAVE_RECORDS, IDC_SINGLE_NET,
                   IDC_DOUBLE_NET, IDOK})
        QVERIFY2(m_dialog->Control(id)->isEnabled(), qPrintable(m_dialog->Control(id)->objectName()));
    const bool numbers = rule != IDC_RULE_CLEAR;
    for (int id : {IDC_ID_NUMBER, IDC_HEX_RULE, IDC_EXTRA_NUMBER, IDC_KEY_NUMBER})
        QCOMPARE(m_dialog->Control(id)->isEnabled(), numbers);
    // The entries are as they were, and nothing else happens afterwards.
    QCOMPARE(Edit(*m_dialog, IDC_MAC)->text(), QStringLiteral("00:1a:2b:3c:4d:5e"));
    QTest::qWait(300);
    QCOMPARE(recorder.Texts().size(), 1);
}

void TestBurn::doubleClickThenTimeOutThenCancel() {
    // In a process of its own: OK twice 3 ms apart starts one job, the time-out stops it (nothing more
    // goes out on the line), and after Cancel the process is gone within two seconds.
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer ends this multi-threaded program once it starts a child process.
    QSKIP("starts a child process");
#endif
    CSilentLine line;
    QVERIFY(!line.Path().empty());
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(WINDOW_CHILD_EXE),
                {QString::fromStdString(line.Path()), QStringLiteral("1500")});
    QVERIFY(child.waitForStarted(10000));
    QString said;
    std::size_t sent = 0; // bytes on the line so far
    auto waitFor = [&](const QString& step, int ms) {
        QElapsedTimer elapsed;
        elapsed.start();
        while (!said.contains(step + QLatin1Char('\n')) && elapsed.elapsed() < ms &&
               child.state() != QProcess::NotRunning) {
            child.waitForReadyRead(10);
            said += QString::fromLocal8Bit(child.readAllStandardOutput());
            sent += line.Drain();
        }
        said += QString::fromLocal8Bit(child.readAllStandardOutput());
        return said.contains(step + QLatin1Char('\n'));
    };
    QVERIFY2(waitFor(QStringLiteral("timeout"), 30000), qPrintable(said));
    QVERIFY(sent > 0); // start frames while the job waited for the board
    QTest::qWait(200); // a frame that was on its way when the job was stopped
    line.Drain();
    sent = 0;
    QVERIFY2(waitFor(QStringLiteral("cancel"), 10000), qPrintable(said));
    QCOMPARE(sent + line.Drain(), std::size_t(0)); // no job sent anything after the time-out
    QElapsedTimer closing;
    closing.start();
    const bool gone = child.waitForFinished(2000);
    if (!gone) {
        child.kill();
        child.waitForFinished(5000);
    }
    QVERIFY2(gone, "the process was still alive 2 s after Cancel");
    QVERIFY(closing.elapsed() < 2000);
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
}

void TestBurn::portThatCannotBeOpened() {
    Open("", "/nonexistent/ttyX");
    CDialogRecorder recorder;
    QTest::mouseClick(Button(*m_dialog, IDOK), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(
        recorder.Texts(),
        QStringList({"Error|Failed to open /nonexistent/ttyX! Please ensure the serial port to be unused."}),
        20000);
    QVERIFY(WaitUntilIdle(10000));
    QVERIFY(g_strLog.find("Failed to open /nonexistent/ttyX!") != std::string::npos);
    QVERIFY(Button(*m_dialog, IDOK)->isEnabled());
    QVERIFY(!m_dialog->BurnTimer().isActive());
}

void TestBurn::faultsOnTheLine_data() {
    QTest::addColumn<QStringList>("boardArgs");
    QTest::addColumn<QString>("message"); // %1: the port
    QTest::addColumn<bool>("allEnabled"); // the write-failure exit enables every input
    QTest::newRow("unplugged during the words")
        << QStringList{"--disconnect-at", "cmd:mw.l:4"}
        << QStringLiteral("Error|The serial port %1 was disconnected! Please check the cable, and try again.")
        << true;
    QTest::newRow("unplugged during the download")
        << QStringList{"--disconnect-at", "data:1"}
        << QStringLiteral("Error|The serial port %1 was disconnected! Please check the cable, and try again.")
        << false;
    QTest::newRow("error on a word") << QStringList{"--error-on", "mw.l:2"}
                                     << QStringLiteral("Error|Failed to burn!") << true;
    QTest::newRow("no deviceinfo partition")
        << QStringList{"--bootargs", "mtdparts=nand0:1M(boot),-(rootfs)"}
        << QStringLiteral(
               "Error|Failed to get burn address! Please ensure that there is the 'DeviceInfo' part in "
               "the Bootargs, and try again.")
        << false;
}

// The main faults through the window: one message, the entries as they were, no record, and the
// controls in the state the exit leaves them.
void TestBurn::faultsOnTheLine() {
    QFETCH(QStringList, boardArgs);
    QFETCH(QString, message);
    QFETCH(bool, allEnabled);
    std::vector<std::string> args = {"--flash", "nand", "--bootargs", kNandArgs};
    for (const QString& a : boardArgs)
        args.push_back(a.toStdString());
    CBoardProcess board(args);
    Open("", board.PortPath());
    CDialogRecorder recorder;
    TypeInto(IDC_MAC, QStringLiteral("00:1a:2b:3c:4d:5e"));
    QTest::mouseClick(Button(*m_dialog, IDC_SAVE_RECORDS), Qt::LeftButton);
    QElapsedTimer elapsed;
    elapsed.start();
    QTest::mouseClick(Button(*m_dialog, IDOK), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.Texts(),
                              QStringList({message.arg(QString::fromStdString(board.PortPath()))}), 30000);
    QVERIFY(elapsed.elapsed() < 10000); // promptly, not after the job's time-out
    QVERIFY(WaitUntilIdle(10000));
    QCOMPARE(Edit(*m_dialog, IDC_MAC)->text(), QStringLiteral("00:1a:2b:3c:4d:5e"));
    QVERIFY(!std::ifstream(m_dir->File("BurntMacandIDList.txt")).good());
    QVERIFY(Button(*m_dialog, IDOK)->isEnabled());
    QCOMPARE(Edit(*m_dialog, IDC_ID_NUMBER)->isEnabled(), allEnabled);
    QVERIFY(!m_dialog->BurnTimer().isActive());
}

TELVANOR_UI_TEST_MAIN(TestBurn)
#include "tst_burn.moc"
