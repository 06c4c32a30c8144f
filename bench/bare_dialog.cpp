// The yardstick for the window's start-up: an empty dialog of the same size, shown and closed after
// its first paint, started the same way.
#include <QApplication>
#include <QDialog>
#include <QPainter>
#include <QTimer>

namespace {

class CBareDialog : public QDialog {
protected:
    void paintEvent(QPaintEvent* event) override {
        QDialog::paintEvent(event);
        QTimer::singleShot(0, qApp, &QApplication::quit);
    }
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
