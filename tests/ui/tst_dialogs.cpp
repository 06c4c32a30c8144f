// The message dialog: its size follows the text measured with the drawing font, a short text is
// centred on one line, a long one wrapped from the top left and cut at the bottom of its area.
#include "UiTestSupport.h"

#include "MessageDlg.h"
#include "StrUtil.h"
#include "TextTables.h"
#include "UiText.h"

#include <QFontMetrics>
#include <QImage>
#include <QPushButton>

#include <algorithm>

namespace {

// The bounding box of the dark pixels of a picture inside area.
QRect InkBox(const QImage& image, const QRect& area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                box = box.united(QRect(x, y, 1, 1));
    return box;
}

const char* const kBootFailed =
    "Failed to download or run boot! Please ensure that serial port link is well and boot "
    "file is valid, and try again.";

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void init();
    void messageDialogSize_data();
    void messageDialogSize();
    void longTextIsCutAtTheArea();
    void okButtonFollowsTheLanguage();
};

void TestDialogs::init() {
    ChooseStartLanguage(2);
}

void TestDialogs::messageDialogSize_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width"); // 0: the measured width, kept within 140 to 280, plus 38
    QTest::addColumn<bool>("wrapped");
    QTest::newRow("short, centred") << "Invalid machine address!" << 0 << false;
    QTest::newRow("window follows the text") << "Please connect, and power on the board!" << -1 << false;
    QTest::newRow("Chinese, centred") << QStringLiteral("请确认此串口未使用后重新再试.") << -1 << false;
    QTest::newRow("long, wrapped") << QString::fromLatin1(kBootFailed) << 318 << true;
    QTest::newRow("empty, narrowest") << "" << 178 << false;
    QTest::newRow("a few letters, still 178") << "Hi" << 178 << false;
}

void TestDialogs::messageDialogSize() {
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(bool, wrapped);
    CMessageDlg dialog(QStringLiteral("Error"), text, nullptr);
    const int measured = QFontMetrics(QFont(DialogFaceName(), 9)).horizontalAdvance(text);
    if (width == -1) // these rows are meant to lie between the limits
        QVERIFY2(measured > 140 && measured <= 280, qPrintable(QString::number(measured)));
    if (width <= 0)
        width = std::clamp(measured, 140, 280) + 38;
    QCOMPARE(dialog.size(), QSize(width, 150));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Error"));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("IDOK"));
    QCOMPARE(ok->geometry(), QRect(width - 100, 150 - 36, 80, 26));
    QVERIFY(ok->isDefault());

    // Where the text was drawn: the area is the client less 16 pixels and the button band.
    const QImage picture = dialog.grab().toImage();
    const QRect area(16, 16, width - 32, 150 - 16 - 48);
    QCOMPARE(dialog.TextArea(), area);
    const QRect ink = InkBox(picture, area);
    const QRect outside =
        InkBox(picture, QRect(0, 0, width, 16)) | InkBox(picture, QRect(0, 0, 16, 150 - 48));
    QVERIFY2(outside.isNull(), "text outside its area");
    if (text.isEmpty()) {
        QVERIFY(ink.isNull());
        return;
    }
    const int lineHeight = QFontMetrics(QFont(DialogFaceName(), 9)).height();
    if (!wrapped) {
        QVERIFY2(qAbs(ink.center().x() - area.center().x()) <= 2,
                 qPrintable(QString::number(ink.center().x())));
        QVERIFY2(qAbs(ink.center().y() - area.center().y()) <= 4,
                 qPrintable(QString::number(ink.center().y())));
        QVERIFY(ink.height() <= lineHeight);
    } else {
        QVERIFY2(ink.left() <= area.left() + 2, qPrintable(QString::number(ink.left())));
        QVERIFY2(ink.top() <= area.top() + lineHeight / 2, qPrintable(QString::number(ink.top())));
        QVERIFY(ink.height() > 2 * lineHeight); // more than two lines
    }
}

void TestDialogs::longTextIsCutAtTheArea() {
    QString text;
    for (int i = 0; i < 60; ++i)
        text += QStringLiteral("word%1 ").arg(i);
    CMessageDlg dialog(QStringLiteral("Error"), text, nullptr);
    QCOMPARE(dialog.width(), 318);
    const QImage picture = dialog.grab().toImage();
    const QRect area = dialog.TextArea();
    // Nothing between the area's bottom edge and the OK button: lines that do not fit whole are left out.
    const QRect below =
        InkBox(picture, QRect(16, area.bottom() + 1, area.width(), 150 - 36 - area.bottom() - 2));
    QVERIFY(below.isNull());
    QVERIFY(InkBox(picture, area).bottom() > area.bottom() - 2 * QFontMetrics(dialog.TextFont()).height());
}

void TestDialogs::okButtonFollowsTheLanguage() {
    ChooseStartLanguage(1);
    CMessageDlg chinese(FromLocal(Txt(strErrorCaption)), FromLocal(Txt(strBurnTimeout)), nullptr);
    QCOMPARE(chinese.findChild<QPushButton*>(QStringLiteral("IDOK"))->text(), QStringLiteral("确定"));
    QCOMPARE(chinese.windowTitle(), QStringLiteral("错误提示"));
    ChooseStartLanguage(2);
    // Texts are taken when the dialog opens; a later switch leaves it as it is.
    QCOMPARE(chinese.findChild<QPushButton*>(QStringLiteral("IDOK"))->text(), QStringLiteral("确定"));
    CMessageDlg english(QStringLiteral("Error"), QStringLiteral("x"), nullptr);
    QCOMPARE(english.findChild<QPushButton*>(QStringLiteral("IDOK"))->text(), QStringLiteral("OK"));
}

TELVANOR_UI_TEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
