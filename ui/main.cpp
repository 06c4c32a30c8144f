// The window program: single-instance start, the configuration beside the program, the main window.
#include "BrisvaneDlg.h"
#include "BurnConfig.h"
#include "BurnJob.h"
#include "ControlIds.h"
#include "DataFolder.h"
#include "ExtraItems.h"
#include "FirstFrame.h"
#include "SerialComm.h"
#include "SingleInstance.h"
#include "StationWindow.h"
#include "StatusLog.h"
#include "TextTables.h"
#include "UiText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

#ifdef Q_OS_LINUX
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#if defined(__SANITIZE_THREAD__)
// Qt comes uninstrumented: the memory its own code touches through intercepted calls (memcpy, free)
// is not ours to judge, while its thread and lock calls still order ours.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
#endif

namespace {

// Ends the program once the window's first frame is painted, and says when on the steady clock
// (the benchmark reads it against the time it started the program).
class CFirstPaint : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_bDone) {
            m_bDone = true;
            ReportFirstFrameAndQuit();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_bDone = false;
};

// A desktop session names a private runtime folder for its programs. Started outside one (su, a
// service, a remote shell) Qt warns on every start and then takes /tmp/runtime-USER anyway; the
// same folder is named here first, quietly. Before any thread starts: setenv is not thread-safe.
void NameRuntimeFolder() {
#ifdef Q_OS_LINUX
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const passwd* user = getpwuid(getuid());
    if (!user)
        return;
    const QByteArray dir = QDir::tempPath().toLocal8Bit() + "/runtime-" + QByteArray(user->pw_name);
    mkdir(dir.constData(), 0700);
    struct stat st {};
    // Only a folder of this user's that no one else may enter; anything else is left to Qt's warning.
    if (lstat(dir.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
        (st.st_mode & 0777) == 0700)
        setenv("XDG_RUNTIME_DIR", dir.constData(), 1);
#endif
}

void ClickControl(CBrisvaneDlg& dialog, int id) {
    if (auto* button = qobject_cast<QAbstractButton*>(dialog.Control(id)))
        button->click();
}

// Types the entries as an operator would, then presses OK.
void AutoBurn(CBrisvaneDlg& dialog, const QCommandLineParser& parser, const QCommandLineOption& mac,
              const QCommandLineOption& idString, const QCommandLineOption& idNumber,
              const QCommandLineOption& extra, const QCommandLineOption& rule,
              const QCommandLineOption& records) {
    const QString ruleName = parser.value(rule);
    if (ruleName == QLatin1String("increase"))
        ClickControl(dialog, IDC_RULE_INCREASE);
    else if (ruleName == QLatin1String("decrease"))
        ClickControl(dialog, IDC_RULE_DECREASE);
    if (parser.isSet(records) && !dialog.ControlChecked(IDC_SAVE_RECORDS))
        ClickControl(dialog, IDC_SAVE_RECORDS);
    // Entries not given keep what the window opened with (saved entries under --keep-entries).
    if (parser.isSet(mac))
        dialog.SetControlText(IDC_MAC, ToLocal(parser.value(mac)));
    if (parser.isSet(idString))
        dialog.SetControlText(IDC_ID_STRING, ToLocal(parser.value(idString)));
    if (parser.isSet(idNumber))
        dialog.SetControlText(IDC_ID_NUMBER, ToLocal(parser.value(idNumber)));
    for (const QString& pair : parser.values(extra)) {
        const int k = pair.section(QLatin1Char('='), 0, 0).toInt();
        if (k >= 1 && k <= kMaxOffsetInputs)
            dialog.SetControlText(IDC_EXTRA_STRING + k - 1, ToLocal(pair.section(QLatin1Char('='), 1)));
    }
    ClickControl(dialog, IDOK);
}

// The station window as the whole program: unattended with --auto-burn (benchmarks, pictures).
int RunStationWindow(const QCommandLineParser& parser, const QCommandLineOption& port,
                     const QCommandLineOption& lot, const QCommandLineOption& pool,
                     const QCommandLineOption& autoBurn, const QCommandLineOption& records,
                     const QCommandLineOption& screenshot, unsigned timeoutMs) {
    ChooseStartLanguage(g_App.m_nAppLanguage);
    CStationWindow::tagSetup setup = StationSetupFromPool(ToLocal(parser.value(pool)), g_App.m_strModuleDir);
    for (const QString& name : parser.values(port))
        setup.ports.push_back(ToLocal(name));
    setup.lot = ToLocal(parser.value(lot));
    setup.records = parser.isSet(records);
    setup.boards = parser.value(autoBurn).toLong();
    if (timeoutMs != 0)
        setup.timeoutMs = timeoutMs;
    CStationWindow window(g_App, setup);
    window.show();
    int status = 0;
    auto picture = [&] {
        if (!parser.isSet(screenshot))
            return;
        QApplication::processEvents();
        if (!window.grab().save(parser.value(screenshot), "PNG")) {
            std::fprintf(stderr, "telvanor: cannot write %s\n", qPrintable(parser.value(screenshot)));
            status = 1;
        }
    };
    if (!parser.isSet(autoBurn)) {
        if (parser.isSet(screenshot)) {
            picture();
            return status;
        }
        QApplication::exec();
        return 0;
    }
    // Unattended: every port starts at once; the window ends when every port has ended.
    window.SetOnFinished([&] {
        picture();
        const CStation* station = window.Station();
        if (status == 0 && (!station || station->GoodBoards() < setup.boards || station->FailedBoards() > 0))
            status = 1;
        QApplication::quit();
    });
    QTimer::singleShot(0, &window, [&window] { window.StartAll(); });
    QApplication::exec();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    NameRuntimeFolder();
    // The menu bar is never the platform's (see the main window); saying so before it is created
    // spares the look-up of a global menu service.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("telvanor"));
    QApplication::setApplicationVersion(QStringLiteral("3.3"));
    QApplication::setWindowIcon(MainIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes MAC, ID and extra items into boards over a serial line."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption dirOption(
        QStringLiteral("dir"),
        QStringLiteral("Program folder: BurnConfig.ini, Log.txt, BurntMacandIDList.txt, ProgrammerforCA.bin "
                       "(default: the folder of this program)."),
        QStringLiteral("DIR"));
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Adds this serial port to the list and selects it (e.g. /dev/pts/5)."),
        QStringLiteral("NAME"));
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QStringLiteral("Opens the window, saves a picture of it as PNG and ends (saved entries are neither "
                       "read nor written)."),
        QStringLiteral("FILE"));
    const QCommandLineOption langOption(QStringLiteral("lang"),
                                        QStringLiteral("Start language, en or zh (instead of AppLanguage)."),
                                        QStringLiteral("LANG"));
    const QCommandLineOption timeoutOption(QStringLiteral("burn-timeout-ms"),
                                           QStringLiteral("Time-out of one burn job in ms (default 100000)."),
                                           QStringLiteral("MS"));
    // Unattended runs (demos, benchmarks): the entries an operator would type, OK pressed at once.
    const QCommandLineOption macOption(QStringLiteral("mac"), QStringLiteral("MAC entry."),
                                       QStringLiteral("TEXT"));
    const QCommandLineOption idStringOption(QStringLiteral("id-string"), QStringLiteral("ID string part."),
                                            QStringLiteral("TEXT"));
    const QCommandLineOption idNumberOption(QStringLiteral("id-number"), QStringLiteral("ID number part."),
                                            QStringLiteral("TEXT"));
    const QCommandLineOption extraOption(QStringLiteral("extra-string"),
                                         QStringLiteral("String part of the K-th offset item row."),
                                         QStringLiteral("K=TEXT"));
    const QCommandLineOption ruleOption(
        QStringLiteral("rule"), QStringLiteral("remove, increase or decrease."), QStringLiteral("RULE"));
    const QCommandLineOption recordsOption(QStringLiteral("records"),
                                           QStringLiteral("Keep records of burning."));
    const QCommandLineOption autoBurnOption(
        QStringLiteral("auto-burn"),
        QStringLiteral("Presses OK once the window is open and closes it after N good boards or a failure."),
        QStringLiteral("N"));
    const QCommandLineOption keepOption(
        QStringLiteral("keep-entries"),
        QStringLiteral("With --auto-burn: restores the saved entries at opening and saves them as the "
                       "operator's copy does (entries given here still win)."));
    const QCommandLineOption echoOption(QStringLiteral("echo-log"),
                                        QStringLiteral("Also prints every status line on standard output."));
    const QCommandLineOption paintOption(
        QStringLiteral("exit-after-paint"),
        QStringLiteral("Ends once the window's first frame is painted and prints that moment on the "
                       "steady clock in ns (start-up timing)."));
    const QCommandLineOption stationOption(
        QStringLiteral("station"),
        QStringLiteral("Opens the station window instead: one row per --port (give it for each port), all "
                       "burning at once from the lot --lot of the identity pool --pool "
                       "(default sqlite:TelvanorPool.db in the program folder). With --auto-burn N it starts "
                       "every port and ends after N good boards in all."));
    const QCommandLineOption lotOption(
        QStringLiteral("lot"),
        QStringLiteral("Lot of the identity pool: the MACs and IDs come from it "
                       "(overrides Lot in [Pool] of BurnConfig.ini)."),
        QStringLiteral("NAME"));
    const QCommandLineOption poolOption(QStringLiteral("pool"),
                                        QStringLiteral("Identity pool: sqlite:PATH or a PostgreSQL URI "
                                                       "(overrides Pool in [Pool] of BurnConfig.ini)."),
                                        QStringLiteral("URL"));
    parser.addOptions({dirOption, portOption, screenshotOption, langOption, timeoutOption, macOption,
                       idStringOption, idNumberOption, extraOption, ruleOption, recordsOption, autoBurnOption,
                       keepOption, echoOption, paintOption, stationOption, lotOption, poolOption});
    // Not process(): it ends the program by exit(), past the objects that must be destroyed.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "telvanor: %s\n", qPrintable(parser.errorText()));
        return 1;
    }
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }

    // Without --dir: the program folder, or the user's data folder where that cannot be written.
    const std::string programDir = ModuleDirFromProgramPath(ToLocal(QCoreApplication::applicationFilePath()));
    const tagDataFolder folder =
        parser.isSet(dirOption)
            ? tagDataFolder{ToLocal(QDir::toNativeSeparators(QDir(parser.value(dirOption)).absolutePath())),
                            false}
            : ResolveDataFolder(programDir);
    g_App.m_strModuleDir = folder.strDir;
    const QString dir = QString::fromLocal8Bit(folder.strDir.c_str());

    CBrisvaneDlg::tagOptions options;
    options.strExtraPort = parser.value(portOption);
    if (parser.isSet(timeoutOption)) {
        bool ok = false;
        const unsigned ms = parser.value(timeoutOption).toUInt(&ok);
        if (!ok || ms == 0) {
            std::fprintf(stderr, "telvanor: --burn-timeout-ms wants a positive number of milliseconds\n");
            return 2;
        }
        options.nBurnTimeoutMs = ms;
    }
    const bool screenshot = parser.isSet(screenshotOption);
    const bool unattended = parser.isSet(autoBurnOption) || parser.isSet(paintOption);
    options.bUseSavedEntries = !screenshot && (!unattended || parser.isSet(keepOption));
    const int boardsWanted = parser.value(autoBurnOption).toInt();
    int boardsBurnt = 0;
    const bool echo = parser.isSet(echoOption);
    CBrisvaneDlg* dialogPtr = nullptr;
    // Echoed lines go out in batches, as the command line's do.
    bool echoFlushDue = false;
    options.onStatus = [&](StatusKind kind, const std::string& text) {
        if (echo && kind != StatusKind::None) {
            std::fprintf(stdout, "%s\n", text.c_str());
            if (kind == StatusKind::ReplaceAll) {
                std::fflush(stdout);
            } else if (!echoFlushDue) {
                echoFlushDue = true;
                QTimer::singleShot(kStatusOutputBatch, [&echoFlushDue] {
                    echoFlushDue = false;
                    std::fflush(stdout);
                });
            }
        }
    };
    options.onBoardBurnt = [&] {
        if (++boardsBurnt == boardsWanted && dialogPtr) {
            // Enough boards: the successor waiting for the next one is stopped, then the window closes.
            dialogPtr->Runner().StopRunningJob();
            QTimer::singleShot(0, dialogPtr, [dialogPtr] { dialogPtr->done(QDialog::Accepted); });
        }
    };
    if (parser.isSet(langOption) && parser.value(langOption) != QLatin1String("en") &&
        parser.value(langOption) != QLatin1String("zh")) {
        std::fprintf(stderr, "telvanor: --lang wants en or zh\n");
        return 2;
    }

    // A second copy for the same user and folder brings the first one forward and ends. The
    // picture-taking run is a tool, not the operator's copy, and does not take part.
    CSingleInstance instance(dir);
    if (!screenshot && !unattended && !instance.Claim())
        return 0;

    LoadBurnConfig(g_App);
    if (parser.isSet(langOption))
        g_App.m_nAppLanguage = parser.value(langOption) == QLatin1String("zh") ? 1 : 2;
    ParseItemLists(g_App);
    if (parser.isSet(poolOption))
        g_App.m_strPoolUrl = ToLocal(parser.value(poolOption));
    if (parser.isSet(lotOption))
        g_App.m_strLot = ToLocal(parser.value(lotOption));

    if (parser.isSet(stationOption))
        return RunStationWindow(parser, portOption, lotOption, poolOption, autoBurnOption, recordsOption,
                                screenshotOption, options.nBurnTimeoutMs);
    CBrisvaneDlg dialog(g_App, g_SerialComm, options);
    if (screenshot) {
        dialog.show();
        QApplication::processEvents();
        const QString file = parser.value(screenshotOption);
        if (!dialog.grab().save(file, "PNG")) {
            std::fprintf(stderr, "telvanor: cannot write %s\n", qPrintable(file));
            return 1;
        }
        dialog.done(QDialog::Rejected);
        return 0;
    }
    dialogPtr = &dialog;
    // Said once, in the status log, after the window has chosen its language.
    const std::string notice = DataFolderNotice(programDir, folder);
    if (!notice.empty())
        dialog.OnBurnStatus(StatusKind::Append, notice);
    if (parser.isSet(paintOption)) {
        CFirstPaint* watcher = new CFirstPaint(&dialog);
        dialog.installEventFilter(watcher);
    }
    if (parser.isSet(autoBurnOption))
        QTimer::singleShot(0, &dialog, [&] {
            AutoBurn(dialog, parser, macOption, idStringOption, idNumberOption, extraOption, ruleOption,
                     recordsOption);
        });
    QObject::connect(&instance, &CSingleInstance::activationRequested, &dialog, [&dialog] {
        dialog.setWindowState((dialog.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        dialog.show();
        dialog.raise();
        dialog.activateWindow();
        std::fprintf(stderr, "telvanor: brought forward by a second start\n");
    });
    dialog.exec();
    return 0;
}
