// The yardstick for the window's start-up: an empty dialog of the same size, shown and closed after
// its first frame, started the same way and saying when as the window does.
#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <chrono>
#include <cstdio>

namespace {

class CBareDialog : public QDialog {
protected:
    void paintEvent(QPaintEvent* event) override {
        QDialog::paintEvent(event);
        if (m_bDone)
            return;
        m_bDone = true;
        QTimer::singleShot(0, qApp, [] {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::printf("first frame at %lld ns\n",
                        static_cast<long long>(std::chrono::nanoseconds(now).count()));
            std::fflush(stdout);
            QApplication::quit();
        });
    }

private:
    bool m_bDone = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    CBareDialog dialog;
    dialog.setWindowTitle("Telvanor V3.3");
    dialog.setFixedSize(460, 640);
    dialog.show();
    return app.exec();
}
