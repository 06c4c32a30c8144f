// The window program: single-instance start, the configuration beside the program, the main window.
#include "BrisvaneDlg.h"
#include "BurnConfig.h"
#include "ExtraItems.h"
#include "SerialComm.h"
#include "SingleInstance.h"
#include "UiText.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QPixmap>

#include <cstdio>

#if defined(__SANITIZE_THREAD__)
// Qt comes uninstrumented: the memory its own code touches through intercepted calls (memcpy, free)
// is not ours to judge, while its thread and lock calls still order ours.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
#endif

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("telvanor"));
    QApplication::setApplicationVersion(QStringLiteral("3.3"));
    QApplication::setWindowIcon(MainIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes MAC, ID and extra items into boards over a serial line."));
    parser.addHelpOption();
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
    parser.addOptions({dirOption, portOption, screenshotOption, langOption, timeoutOption});
    parser.process(app);

    const QString dir = parser.isSet(dirOption) ? QDir(parser.value(dirOption)).absolutePath()
                                                : QCoreApplication::applicationDirPath();
    g_App.m_strModuleDir = parser.isSet(dirOption)
                               ? ToLocal(QDir::toNativeSeparators(dir))
                               : ModuleDirFromProgramPath(ToLocal(QCoreApplication::applicationFilePath()));

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
    options.bUseSavedEntries = !screenshot;
    if (parser.isSet(langOption) && parser.value(langOption) != QLatin1String("en") &&
        parser.value(langOption) != QLatin1String("zh")) {
        std::fprintf(stderr, "telvanor: --lang wants en or zh\n");
        return 2;
    }

    // A second copy for the same user and folder brings the first one forward and ends. The
    // picture-taking run is a tool, not the operator's copy, and does not take part.
    CSingleInstance instance(dir);
    if (!screenshot && !instance.Claim())
        return 0;

    LoadBurnConfig(g_App);
    if (parser.isSet(langOption))
        g_App.m_nAppLanguage = parser.value(langOption) == QLatin1String("zh") ? 1 : 2;
    ParseItemLists(g_App);

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
