// The window program's start-up: one copy per user and folder (a second start brings the first
// forward and ends, a crashed copy leaves nothing that blocks the next), the picture-taking run and
// the command line.
#include "UiTestSupport.h"

#include "BoardProcess.h"
#include "SingleInstance.h"

#include <QDir>
#include <QImage>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>

#include <fstream>

namespace {

class CProgram {
public:
    // headless: the display platform on a machine without any display, as a person's shell over
    // SSH has it.
    CProgram(const QStringList& args, const QString& configHome, bool headless = false) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"),
                   headless ? QStringLiteral("xcb") : QStringLiteral("offscreen"));
        if (headless) {
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        }
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome); // the saved entries stay in the test
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(TELVANOR_EXE), args);
    }
    ~CProgram() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QProcess& Process() { return m_process; }
    QString Errors() {
        m_errors += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_errors;
    }

private:
    QProcess m_process;
    QString m_errors;
};

// True once a copy listens under the folder's name.
bool Listening(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    const bool up = socket.waitForConnected(200);
    socket.abort();
    return up;
}

QString User() {
    return qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void oneCopyPerUserAndFolder();
    void killedChainOffersTheNextMac();
    void screenshot();
    void commandLine_data();
    void commandLine();
};

void TestStartup::oneCopyPerUserAndFolder() {
    CTempDir dir, other, config;
    const QString folder = QString::fromStdString(dir.Path());
    const QString name = CSingleInstance::NameFor(User(), folder);
    const QString home = QString::fromStdString(config.Path());

    auto first = std::make_unique<CProgram>(QStringList{"--dir", folder}, home);
    QTRY_VERIFY_WITH_TIMEOUT(Listening(name), 20000);

    CProgram second(QStringList{"--dir", folder}, home);
    QVERIFY(second.Process().waitForFinished(20000));
    QCOMPARE(second.Process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.Process().exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(first->Errors().contains(QStringLiteral("brought forward")), 10000);
    QCOMPARE(first->Process().state(), QProcess::Running);

    // Another folder is another copy.
    CProgram elsewhere(QStringList{"--dir", QString::fromStdString(other.Path())}, home);
    QVERIFY(!elsewhere.Process().waitForFinished(1500));

    // A copy that crashed leaves its name behind; the next start is not blocked by it.
    first->Process().kill();
    QVERIFY(first->Process().waitForFinished(5000));
    first.reset();
    CProgram third(QStringList{"--dir", folder}, home);
    QVERIFY(!third.Process().waitForFinished(1500));
    QTRY_VERIFY_WITH_TIMEOUT(Listening(name), 20000);
    CProgram fourth(QStringList{"--dir", folder}, home);
    QVERIFY(fourth.Process().waitForFinished(20000));
    QCOMPARE(fourth.Process().exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(third.Errors().contains(QStringLiteral("brought forward")), 10000);
    third.Process().kill();
    QVERIFY(third.Process().waitForFinished(5000));
    QLocalServer::removeServer(name);
}

void TestStartup::killedChainOffersTheNextMac() {
    // Boards burnt one after another under Increase, then the program is killed while the next job
    // waits for a board that does not come: the restart offers the next MAC, not one already burnt.
    CTempDir dir, config;
    CBoardProcess board({"--flash", "nand", "--bootargs", "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)",
                         "--swap-boards"});
    const QString home = QString::fromStdString(config.Path());
    const QStringList common = {"--dir",         QString::fromStdString(dir.Path()),
                                "--port",        QString::fromStdString(board.PortPath()),
                                "--records",     "--echo-log",
                                "--keep-entries"};
    auto chain = std::make_unique<CProgram>(
        common + QStringList{"--auto-burn", "1000", "--rule", "increase", "--mac", "00:1a:2b:3c:4d:5e"},
        home);
    QString printed;
    auto burnt = [&] {
        printed += QString::fromLocal8Bit(chain->Process().readAllStandardOutput());
        return int(printed.count(QStringLiteral("Burn successfully!")));
    };
    QTRY_VERIFY_WITH_TIMEOUT(burnt() >= 10, 240000);
    board.Freeze(true);
    QTest::qWait(500); // whatever the window did for the boards it finished, it has printed
    chain->Process().kill();
    QVERIFY(chain->Process().waitForFinished(5000));
    const int boards = burnt();
    chain.reset();

    auto records = [&] {
        std::ifstream in(dir.File("BurntMacandIDList.txt"), std::ios::binary);
        return QString::fromLocal8Bit(
                   QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(in), {})))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    };
    QCOMPARE(int(records().size()), boards);
    const QString next = QStringLiteral("00:1a:2b:3c:4d:%1").arg(0x5e + boards, 2, 16, QLatin1Char('0'));
    auto burntMac = [](const QString& record) { return record.section(QStringLiteral("   "), 1, 1); };
    QCOMPARE(burntMac(records().last()), QStringLiteral("00:1a:2b:3c:4d:%1").arg(0x5e + boards - 1, 2, 16));
    QSettings saved(home + QStringLiteral("/Brisvane.conf"), QSettings::IniFormat);
    QCOMPARE(saved.value(QStringLiteral("MacAddress")).toString(), next);

    // The restart takes the saved entries (rule and MAC) and burns the next board with that MAC.
    board.Freeze(false);
    CProgram restart(common + QStringList{"--auto-burn", "1"}, home);
    QVERIFY(restart.Process().waitForFinished(120000));
    QCOMPARE(restart.Process().exitCode(), 0);
    QCOMPARE(int(records().size()), boards + 1);
    QCOMPARE(burntMac(records().last()), next);
}

void TestStartup::screenshot() {
    CTempDir dir, config;
    std::ofstream(dir.File("BurnConfig.ini"), std::ios::binary)
        << "[BurnConfig]\r\nExtraInfo=0x100|0x200:AB\r\nCfgName=sn\r\n";
    const QString file = QString::fromStdString(dir.File("shot.png"));
    CProgram run(
        QStringList{"--dir", QString::fromStdString(dir.Path()), "--lang", "zh", "--screenshot", file},
        QString::fromStdString(config.Path()));
    QVERIFY(run.Process().waitForFinished(30000));
    QCOMPARE(run.Process().exitCode(), 0);
    const QImage picture(file);
    QVERIFY(!picture.isNull());
    QVERIFY2(picture.width() > 400 && picture.height() > 500,
             qPrintable(QStringLiteral("%1x%2").arg(picture.width()).arg(picture.height())));
    // Neither read nor written: the saved entries belong to the operator's copy.
    QVERIFY(QDir(QString::fromStdString(config.Path())).isEmpty());
}

void TestStartup::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("headless");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "--burn-timeout-ms" << false;
    // Usage errors exit 64, as those of the other two programs.
    QTest::newRow("unknown language")
        << QStringList{"--lang", "fr", "--screenshot", "x.png"} << 64 << "--lang" << false;
    QTest::newRow("zero time-out") << QStringList{"--burn-timeout-ms", "0"} << 64 << "--burn-timeout-ms"
                                   << false;
    QTest::newRow("zero time-out, one word")
        << QStringList{"--burn-timeout-ms=0"} << 64 << "--burn-timeout-ms" << false;
    QTest::newRow("unknown option") << QStringList{"--colour"} << 64 << "colour" << false;
    // Without a display the usage and the usage errors still come, not Qt's complaint about it.
    QTest::newRow("help, no display") << QStringList{"--help"} << 0 << "--burn-timeout-ms" << true;
    QTest::newRow("unknown option, no display") << QStringList{"--colour"} << 64 << "colour" << true;
}

void TestStartup::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(bool, headless);
    CTempDir config;
    CProgram run(args, QString::fromStdString(config.Path()), headless);
    QVERIFY(run.Process().waitForFinished(20000));
    QTEST(run.Process().exitCode(), "exitCode");
    const QString printed = QString::fromLocal8Bit(run.Process().readAllStandardOutput()) + run.Errors();
    QFETCH(QString, output);
    QVERIFY2(printed.contains(output), qPrintable(printed));
}

TELVANOR_UI_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
