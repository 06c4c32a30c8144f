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

#include <fstream>

namespace {

class CProgram {
public:
    CProgram(const QStringList& args, const QString& configHome) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
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
    QTest::newRow("help") << QStringList{"--help"} << 0 << "--burn-timeout-ms";
    QTest::newRow("unknown language")
        << QStringList{"--lang", "fr", "--screenshot", "x.png"} << 2 << "--lang";
    QTest::newRow("zero time-out") << QStringList{"--burn-timeout-ms", "0"} << 2 << "--burn-timeout-ms";
    QTest::newRow("unknown option") << QStringList{"--colour"} << 1 << "colour";
}

void TestStartup::commandLine() {
    QFETCH(QStringList, args);
    CTempDir config;
    CProgram run(args, QString::fromStdString(config.Path()));
    QVERIFY(run.Process().waitForFinished(20000));
    QTEST(run.Process().exitCode(), "exitCode");
    const QString printed = QString::fromLocal8Bit(run.Process().readAllStandardOutput()) + run.Errors();
    QFETCH(QString, output);
    QVERIFY2(printed.contains(output), qPrintable(printed));
}

TELVANOR_UI_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
