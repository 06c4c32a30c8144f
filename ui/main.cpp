// The window program: single-instance start, the configuration beside the program, the main window.
#include "BrisvaneDlg.h"
#include "BurnConfig.h"
#include "BurnJob.h"
#include "ControlIds.h"
#include "DataFolder.h"
#include "ExtraItems.h"
#include "FirstFrame.h"
#include "OptionTable.h"
#include "SerialComm.h"
#include "SingleInstance.h"
#include "StationWindow.h"
#include "StatusLog.h"
#include "TextTables.h"
#include "UiText.h"
#include "Version.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

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

const char kUsage[] =
    "Usage: telvanor [OPTION]...\n"
    "Writes MAC, ID and extra items into boards over a serial line. Every option that takes a value\n"
    "also takes it as --name=value; usage errors exit 64.\n"
    "\n"
    "  --dir DIR              program folder: BurnConfig.ini, Log.txt, BurntMacandIDList.txt,\n"
    "                         ProgrammerforCA.bin (default: the folder of this program)\n"
    "  --port NAME            adds this serial port to the list and selects it (e.g. /dev/pts/5)\n"
    "  --lang en|zh           start language (instead of AppLanguage)\n"
    "  --burn-timeout-ms MS   time-out of one burn job in ms (default 100000)\n"
    "  --lot NAME             lot of the identity pool: the MACs and IDs come from it (overrides Lot\n"
    "                         in [Pool] of BurnConfig.ini)\n"
    "  --pool URL             identity pool: sqlite:PATH or a PostgreSQL URI (overrides Pool in [Pool]\n"
    "                         of BurnConfig.ini)\n"
    "  --station              opens the station window instead: one row per --port (give it for each\n"
    "                         port), all burning at once from the lot --lot of the identity pool\n"
    "                         --pool (default sqlite:TelvanorPool.db in the program folder); with\n"
    "                         --auto-burn N it starts every port and ends after N good boards in all\n"
    "  --screenshot FILE      opens the window, saves a picture of it as PNG and ends (saved entries\n"
    "                         are neither read nor written)\n"
    "  --help                 this text\n"
    "\n"
    "Unattended runs (demos, benchmarks): the entries an operator would type, OK pressed at once.\n"
    "  --auto-burn N          presses OK once the window is open and closes it after N good boards\n"
    "                         or a failure\n"
    "  --mac TEXT             MAC entry\n"
    "  --id-string TEXT       ID string part\n"
    "  --id-number TEXT       ID number part\n"
    "  --extra-string K=TEXT  string part of the K-th offset item row\n"
    "  --rule RULE            remove, increase or decrease\n"
    "  --records              keep records of burning\n"
    "  --keep-entries         with --auto-burn: restores the saved entries at opening and saves them\n"
    "                         as the operator's copy does (entries given here still win)\n"
    "  --echo-log             also prints every status line on standard output\n"
    "  --exit-after-paint     ends once the window's first frame is painted and prints that moment on\n"
    "                         the steady clock in ns (start-up timing)\n";

// The command line, as local 8-bit text.
struct tagWindowOptions {
    std::optional<std::string> dir, screenshot, lang, lot, pool, mac, idString, idNumber, rule;
    std::vector<std::string> ports, extraStrings;
    std::optional<long long> autoBurn;
    unsigned timeoutMs = 0; // 0: the job's own
    bool records = false, keepEntries = false, echo = false, exitAfterPaint = false, station = false;
};

tagOptionsRead ReadWindowOptions(int argc, char** argv, tagWindowOptions& o) {
    const std::vector<tagOption> table = {
        TextOption("--dir", "DIR", o.dir),
        ListOption("--port", "NAME", o.ports),
        {"--lang", "en|zh",
         [&o](const std::string& value) {
             o.lang = value;
             return value == "en" || value == "zh" ? std::string() : std::string("--lang takes en or zh");
         }},
        {"--burn-timeout-ms", "MS",
         [&o](const std::string& value) {
             long long ms = 0;
             if (!ReadWholeNumber(value, 1, 0xffffffffLL, ms))
                 return std::string("--burn-timeout-ms takes a positive number of milliseconds");
             o.timeoutMs = unsigned(ms);
             return std::string();
         }},
        TextOption("--lot", "NAME", o.lot),
        TextOption("--pool", "URL", o.pool),
        SwitchOption("--station", o.station),
        TextOption("--screenshot", "FILE", o.screenshot),
        {"--auto-burn", "N",
         [&o](const std::string& value) {
             long long n = 0;
             if (!ReadWholeNumber(value, 1, 1000000000LL, n))
                 return std::string("--auto-burn takes a whole number of boards from 1");
             o.autoBurn = n;
             return std::string();
         }},
        TextOption("--mac", "TEXT", o.mac),
        TextOption("--id-string", "TEXT", o.idString),
        TextOption("--id-number", "TEXT", o.idNumber),
        ListOption("--extra-string", "K=TEXT", o.extraStrings),
        {"--rule", "RULE",
         [&o](const std::string& value) {
             o.rule = value;
             return value == "remove" || value == "increase" || value == "decrease"
                        ? std::string()
                        : std::string("--rule takes remove, increase or decrease");
         }},
        SwitchOption("--records", o.records),
        SwitchOption("--keep-entries", o.keepEntries),
        SwitchOption("--echo-log", o.echo),
        SwitchOption("--exit-after-paint", o.exitAfterPaint),
    };
    return ReadOptions(table, ArgumentList(argc, argv), 1);
}

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}

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
void AutoBurn(CBrisvaneDlg& dialog, const tagWindowOptions& o) {
    if (o.rule == "increase")
        ClickControl(dialog, IDC_RULE_INCREASE);
    else if (o.rule == "decrease")
        ClickControl(dialog, IDC_RULE_DECREASE);
    if (o.records && !dialog.ControlChecked(IDC_SAVE_RECORDS))
        ClickControl(dialog, IDC_SAVE_RECORDS);
    // Entries not given keep what the window opened with (saved entries under --keep-entries).
    if (o.mac)
        dialog.SetControlText(IDC_MAC, *o.mac);
    if (o.idString)
        dialog.SetControlText(IDC_ID_STRING, *o.idString);
    if (o.idNumber)
        dialog.SetControlText(IDC_ID_NUMBER, *o.idNumber);
    for (const std::string& pair : o.extraStrings) {
        const std::size_t eq = pair.find('=');
        long long k = 0;
        if (eq != std::string::npos && ReadWholeNumber(pair.substr(0, eq), 1, kMaxOffsetInputs, k))
            dialog.SetControlText(IDC_EXTRA_STRING + int(k) - 1, pair.substr(eq + 1));
    }
    ClickControl(dialog, IDOK);
}

// The station window as the whole program: unattended with --auto-burn (benchmarks, pictures).
int RunStationWindow(const tagWindowOptions& o) {
    ChooseStartLanguage(g_App.m_nAppLanguage);
    CStationWindow::tagSetup setup = StationSetupFromPool(o.pool.value_or(""), g_App.m_strModuleDir);
    setup.ports = o.ports;
    setup.lot = o.lot.value_or("");
    setup.records = o.records;
    setup.boards = long(o.autoBurn.value_or(0));
    if (o.timeoutMs != 0)
        setup.timeoutMs = o.timeoutMs;
    CStationWindow window(g_App, setup);
    window.show();
    int status = 0;
    auto picture = [&] {
        if (!o.screenshot)
            return;
        QApplication::processEvents();
        if (!window.grab().save(FromLocal(*o.screenshot), "PNG")) {
            std::fprintf(stderr, "telvanor: cannot write %s\n", o.screenshot->c_str());
            status = 1;
        }
    };
    if (!o.autoBurn) {
        if (o.screenshot) {
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

// The usage on --help (exit 0) or a usage error (exit 64); nothing when the program goes on.
std::optional<int> AnswerUsage(const tagOptionsRead& read) {
    if (read.result == OptionsRead::Help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (read.result == OptionsRead::UsageError)
        return UsageError("telvanor", read.error, kUsage);
    return std::nullopt;
}

// Qt takes its own options (-platform, -display, ...) out of the command line, so ours can be read
// before Qt starts only when no argument could be one of them.
bool MayHoldQtOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '-' && argv[i][1] != '-' && argv[i][1] != '\0')
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // The usage, or a mistyped option, is answered before Qt looks for a display: on a machine
    // without one Qt would end the program first with a message about the display.
    if (!MayHoldQtOptions(argc, argv)) {
        tagWindowOptions early;
        if (const std::optional<int> status = AnswerUsage(ReadWindowOptions(argc, argv, early)))
            return *status;
    }
    NameRuntimeFolder();
    // The menu bar is never the platform's (see the main window); saying so before it is created
    // spares the look-up of a global menu service.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("telvanor"));
    QApplication::setApplicationVersion(QStringLiteral(TELVANOR_VERSION));
    QApplication::setWindowIcon(MainIcon());

    // Qt has taken its own options (-platform, -display, ...) out of argv by now.
    tagWindowOptions o;
    if (const std::optional<int> status = AnswerUsage(ReadWindowOptions(argc, argv, o)))
        return *status;

    // Without --dir: the program folder, or the user's data folder where that cannot be written.
    const std::string programDir = ModuleDirFromProgramPath(ToLocal(QCoreApplication::applicationFilePath()));
    const tagDataFolder folder =
        o.dir
            ? tagDataFolder{ToLocal(QDir::toNativeSeparators(QDir(FromLocal(*o.dir)).absolutePath())), false}
            : ResolveDataFolder(programDir);
    g_App.m_strModuleDir = folder.strDir;
    const QString dir = QString::fromLocal8Bit(folder.strDir.c_str());

    CBrisvaneDlg::tagOptions options;
    if (!o.ports.empty())
        options.strExtraPort = FromLocal(o.ports.back());
    options.nBurnTimeoutMs = o.timeoutMs;
    const bool screenshot = o.screenshot.has_value();
    const bool unattended = o.autoBurn || o.exitAfterPaint;
    options.bUseSavedEntries = !screenshot && (!unattended || o.keepEntries);
    const long long boardsWanted = o.autoBurn.value_or(0);
    long long boardsBurnt = 0;
    const bool echo = o.echo;
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
    // A second copy for the same user and folder brings the first one forward and ends. The
    // picture-taking run is a tool, not the operator's copy, and does not take part.
    CSingleInstance instance(dir);
    if (!screenshot && !unattended && !instance.Claim())
        return 0;

    LoadBurnConfig(g_App);
    if (o.lang)
        g_App.m_nAppLanguage = *o.lang == "zh" ? 1 : 2;
    ParseItemLists(g_App);
    if (o.pool)
        g_App.m_strPoolUrl = *o.pool;
    if (o.lot)
        g_App.m_strLot = *o.lot;

    if (o.station)
        return RunStationWindow(o);
    CBrisvaneDlg dialog(g_App, g_SerialComm, options);
    if (screenshot) {
        dialog.show();
        QApplication::processEvents();
        if (!dialog.grab().save(FromLocal(*o.screenshot), "PNG")) {
            std::fprintf(stderr, "telvanor: cannot write %s\n", o.screenshot->c_str());
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
    if (o.exitAfterPaint) {
        CFirstPaint* watcher = new CFirstPaint(&dialog);
        dialog.installEventFilter(watcher);
    }
    if (o.autoBurn)
        QTimer::singleShot(0, &dialog, [&] { AutoBurn(dialog, o); });
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
