// The main window in a process of its own, driven as an operator would, for tests that watch the
// process itself. On the silent line PORT, with the job time-out TIMEOUT_MS: OK clicked twice 3 ms
// apart, the time-out answered, then Cancel. Each step is printed on its own line ("clicked",
// "timeout", "cancel"); the test takes the time from "cancel" to the end of the process.
#include "UiTestSupport.h"

#include "ControlIds.h"
#include "PortList.h"
#include "SerialComm.h"

#include <QElapsedTimer>

#include <cstdio>
#include <string>

namespace {

void Say(const char* step) {
    std::printf("%s\n", step);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    PrepareUiTestEnvironment();
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: window_child PORT TIMEOUT_MS\n");
        return 64;
    }
    const unsigned timeoutMs = unsigned(std::stoul(argv[2]));
    SetPortEnumerationForTests(QStringList{QStringLiteral("COM1")});
    const auto config = MakeConfig();
    CBrisvaneDlg::tagOptions options;
    options.strExtraPort = QString::fromLocal8Bit(argv[1]);
    options.nBurnTimeoutMs = timeoutMs;
    options.bUseSavedEntries = false;
    CDialogRecorder recorder;
    {
        CBrisvaneDlg dialog(*config, g_SerialComm, options);
        if (!ShowAndActivate(dialog))
            return 2;
        Edit(dialog, IDC_MAC)->setText(QStringLiteral("00:1a:2b:3c:4d:5e"));
        QTest::mouseClick(Button(dialog, IDOK), Qt::LeftButton);
        QTest::qWait(3);
        QTest::mouseClick(Button(dialog, IDOK), Qt::LeftButton);
        Say("clicked");
        QElapsedTimer elapsed;
        elapsed.start();
        while (!recorder.Texts().contains(QStringLiteral("Error|Burn timeout! Please try again."))) {
            if (elapsed.elapsed() > qint64(timeoutMs) + 20000) {
                Say("no time-out");
                return 1;
            }
            QTest::qWait(10);
        }
        Say("timeout");
        QTest::qWait(500);
        Say("cancel");
        QTest::mouseClick(Button(dialog, IDCANCEL), Qt::LeftButton);
    }
    return 0;
}
