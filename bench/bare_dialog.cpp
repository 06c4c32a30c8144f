// The yardstick for the window's start-up: an empty dialog of the same size, shown and closed after
// its first frame, started the same way and saying when as the window does.
#include "FirstFrame.h"
#include "Version.h"

#include <QApplication>
#include <QDialog>

namespace {

class CBareDialog : public QDialog {
protected:
    void paintEvent(QPaintEvent* event) override {
        QDialog::paintEvent(event);
        if (m_bDone)
            return;
        m_bDone = true;
        ReportFirstFrameAndQuit();
    }

private:
    bool m_bDone = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    CBareDialog dialog;
    dialog.setWindowTitle("Telvanor V" TELVANOR_VERSION);
    dialog.setFixedSize(460, 640);
    dialog.show();
    return app.exec();
}
