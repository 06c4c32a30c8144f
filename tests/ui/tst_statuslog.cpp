// The status log on the real widget: the text rule, the view showing exactly g_strLog, only the end
// of the view being rewritten, the view keeping its place, and the download progress bar.
#include "UiTestSupport.h"

#include "ControlIds.h"
#include "LogView.h"
#include "PortList.h"
#include "SerialComm.h"
#include "StatusLog.h"
#include "StrUtil.h"

#include <QProgressBar>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

#include <functional>

namespace {

struct tagMessage {
    int kind;
    std::string text;
};

std::string L(const char* utf8) {
    return tv::Utf8ToLocal(utf8);
}

} // namespace

Q_DECLARE_METATYPE(std::vector<tagMessage>)
Q_DECLARE_METATYPE(std::string)

class TestStatusLog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void textRule_data();
    void textRule();
    void onlyTheEndIsRewritten();
    void viewKeepsItsPlace();
    void downloadProgress();

private:
    std::unique_ptr<BurnConfig> m_config;
    std::unique_ptr<CBrisvaneDlg> m_dialog;
};

void TestStatusLog::init() {
    ClearStoredEntries();
    SetPortEnumerationForTests(QStringList{QStringLiteral("COM1")});
    g_strLog.clear();
    m_config = MakeConfig();
    m_dialog = std::make_unique<CBrisvaneDlg>(*m_config, g_SerialComm);
    QVERIFY(ShowAndActivate(*m_dialog));
}

void TestStatusLog::cleanup() {
    m_dialog.reset();
    SetPortEnumerationForTests(std::nullopt);
}

void TestStatusLog::textRule_data() {
    QTest::addColumn<std::vector<tagMessage>>("messages");
    QTest::addColumn<std::string>("log");

    QTest::newRow("first line of the run") << std::vector<tagMessage>{{3, "X"}} << std::string("\r\nX");
    QTest::newRow("reset then append")
        << std::vector<tagMessage>{{1, "X"}, {3, "Y"}} << std::string("X\r\nY");
    QTest::newRow("a row of marks") << std::vector<tagMessage>{{1, "X"}, {3, "#"}, {3, "#"}, {3, "#"}}
                                    << std::string("X\r\n###");
    QTest::newRow("a mark after text starts a line")
        << std::vector<tagMessage>{{1, "X"}, {3, "#"}, {3, "Y"}, {3, "#"}} << std::string("X\r\n#\r\nY\r\n#");
    QTest::newRow("progress in place") << std::vector<tagMessage>{{1, "X"},
                                                                  {3, "DataSegment1 10% downloaded."},
                                                                  {2, "DataSegment1 20% downloaded."}}
                                       << std::string("X\r\nDataSegment1 20% downloaded.");
    QTest::newRow("kind 2 on one line")
        << std::vector<tagMessage>{{1, "X"}, {2, "Y"}} << std::string("\r\nY");
    QTest::newRow("kind 2 on the empty log") << std::vector<tagMessage>{{2, "Y"}} << std::string("\r\nY");
    QTest::newRow("boot progress takes the line before")
        << std::vector<tagMessage>{{1, "X"}, {3, "Boot 1 downloaded"}, {3, "Y"}, {2, "Z"}}
        << std::string("X\r\nZ");
    QTest::newRow("four cuts at most") << std::vector<tagMessage>{{1, "X"},
                                                                  {3, "A"},
                                                                  {3, "B"},
                                                                  {3, "C"},
                                                                  {3, "Boot COM: sent received downloaded"},
                                                                  {3, "D"},
                                                                  {2, "Z"}}
                                       << std::string("X\r\nA\r\nZ");
    QTest::newRow("kind 0 changes nothing")
        << std::vector<tagMessage>{{1, "X"}, {0, "Start frame sent successfully!"}, {7, "Y"}}
        << std::string("X");
    QTest::newRow("a text with its own lines")
        << std::vector<tagMessage>{{1, "X"}, {3, "A\r\nB"}, {2, "C"}} << std::string("X\r\nA\r\nC");
    QTest::newRow("board output with lone CR and LF")
        << std::vector<tagMessage>{{1, "X"}, {3, "a\rb\nc"}, {3, "d\r"}, {3, "e"}, {2, "f"}}
        << std::string("X\r\na\rb\nc\r\nd\r\r\nf");
    QTest::newRow("Chinese lines") << std::vector<tagMessage>{{1, L("请连接后给单板上电!")},
                                                              {3, L("第一段数据已下载 10%.")},
                                                              {2, L("第一段数据已下载 20%.")}}
                                   << L("请连接后给单板上电!\r\n第一段数据已下载 20%.");
    QTest::newRow("empty texts") << std::vector<tagMessage>{{1, "X"}, {3, ""}, {3, ""}}
                                 << std::string("X\r\n\r\n");
    QTest::newRow("kind 1 with nothing")
        << std::vector<tagMessage>{{3, "X"}, {3, "Y"}, {1, ""}} << std::string();
}

void TestStatusLog::textRule() {
    QFETCH(std::vector<tagMessage>, messages);
    QFETCH(std::string, log);
    for (const tagMessage& m : messages) {
        m_dialog->Bridge().BurnStatus(StatusKind(m.kind), m.text);
        // After every message the view shows exactly the log, each line break shown as one.
        QCOMPARE(ShownLog(*m_dialog), ExpectedLogDisplay(g_strLog));
    }
    QCOMPARE(g_strLog, log);
}

void TestStatusLog::onlyTheEndIsRewritten() {
    CLogView* view = m_dialog->LogView();
    m_dialog->OnBurnStatus(StatusKind::ReplaceAll, "start");
    for (int i = 0; i < 2000; ++i)
        m_dialog->OnBurnStatus(StatusKind::Append, "line " + std::to_string(i));
    m_dialog->OnBurnStatus(StatusKind::Append, "DataSegment1 10% downloaded.");

    struct tagChange {
        int position, removed, added;
    };
    std::vector<tagChange> changes;
    connect(view->document(), &QTextDocument::contentsChange, this,
            [&changes](int position, int removed, int added) {
                changes.push_back({position, removed, added});
            });

    const int before = view->CharacterCount();
    m_dialog->OnBurnStatus(StatusKind::Append, "next");
    QCOMPARE(int(changes.size()), 1);
    QCOMPARE(changes[0].position, before); // appended: nothing before the end was touched
    QCOMPARE(changes[0].removed, 0);

    changes.clear();
    const int lineStart = view->CharacterCount() - int(std::string("\nnext").size());
    m_dialog->OnBurnStatus(StatusKind::ReplaceLast, "DataSegment1 20% downloaded.");
    QCOMPARE(int(changes.size()), 1);
    QCOMPARE(changes[0].position, lineStart); // the last line, from its break on
    QCOMPARE(ShownLog(*m_dialog), ExpectedLogDisplay(g_strLog));

    changes.clear();
    m_dialog->OnBurnStatus(StatusKind::ReplaceAll, "again");
    QCOMPARE(int(changes.size()), 1);
    QCOMPARE(changes[0].position, 0);
    QCOMPARE(ShownLog(*m_dialog), QStringLiteral("again"));
}

namespace {

// The rectangle of the display line that holds position (the end of the log by default), in the
// view's viewport.
QRect LineRect(CLogView* view, int position = -1) {
    QTextCursor cursor(view->document());
    if (position < 0)
        cursor.movePosition(QTextCursor::End);
    else
        cursor.setPosition(position);
    return view->cursorRect(cursor);
}

bool Shown(CLogView* view, const QRect& line) {
    return line.top() >= 0 && line.bottom() < view->viewport()->height();
}

// The newest line is shown, and there is no room below it for another line and the document's
// margins above and below.
bool NewestAtTheBottom(CLogView* view) {
    const QRect last = LineRect(view);
    const int margins = 2 * int(view->document()->documentMargin());
    return Shown(view, last) && last.bottom() + 1 + last.height() + margins >= view->viewport()->height();
}

} // namespace

void TestStatusLog::viewKeepsItsPlace() {
    CLogView* view = m_dialog->LogView();
    QCOMPARE(view->FirstVisibleLine(), 0);
    // While the log fits, all of it is shown from the top: the success line stays in view when the
    // next line comes.
    m_dialog->OnBurnStatus(StatusKind::ReplaceAll, "Burn successfully!");
    m_dialog->OnBurnStatus(StatusKind::Append, "Wait for the next board.");
    QCOMPARE(view->FirstVisibleLine(), 0);
    QVERIFY(Shown(view, LineRect(view, 0)));
    QVERIFY(Shown(view, LineRect(view)));

    // Longer than the box: the latest lines that fit, the newest at the bottom.
    for (int i = 0; i < 20; ++i) {
        m_dialog->OnBurnStatus(StatusKind::Append, "line " + std::to_string(i));
        QVERIFY2(Shown(view, LineRect(view)), qPrintable(QString::number(i)));
    }
    QCOMPARE(view->LineCount(), 22);
    QVERIFY(NewestAtTheBottom(view));
    const int fit = view->LineCount() - view->FirstVisibleLine();
    QVERIFY2(fit > 2 && fit < 22, qPrintable(QString::number(fit)));
    QCOMPARE(view->FirstVisibleBlockNumber(), view->FirstVisibleLine());
    m_dialog->OnBurnStatus(StatusKind::Append, "DataSegment1 10% downloaded.");
    m_dialog->OnBurnStatus(StatusKind::ReplaceLast, "DataSegment1 20% downloaded.");
    QVERIFY(NewestAtTheBottom(view));
    QCOMPARE(view->FirstVisibleLine(), view->LineCount() - fit);

    // A line wider than the box is shown with all its wrapped lines.
    const int lines = view->LineCount();
    m_dialog->OnBurnStatus(StatusKind::Append, std::string(400, 'w') + " end");
    const int grown = view->LineCount() - lines;
    QVERIFY2(grown > 2, qPrintable(QString::number(grown)));
    QVERIFY(NewestAtTheBottom(view));
    QCOMPARE(view->FirstVisibleLine(), view->LineCount() - fit);

    // An operator who scrolled back keeps the same distance from the end.
    view->verticalScrollBar()->setValue(5);
    m_dialog->OnBurnStatus(StatusKind::Append, "more");
    QCOMPARE(view->FirstVisibleLine(), 6);
    QCOMPARE(view->FirstVisibleBlockNumber(), 6);
    m_dialog->OnBurnStatus(StatusKind::Append, "DataSegment1 10% downloaded.");
    QCOMPARE(view->FirstVisibleLine(), 7);
    m_dialog->OnBurnStatus(StatusKind::ReplaceLast,
                           "DataSegment1 20% downloaded."); // same length: the view stays
    QCOMPARE(view->FirstVisibleLine(), 7);
    m_dialog->OnBurnStatus(StatusKind::None, "not for the log");
    QCOMPARE(view->FirstVisibleLine(), 7);
    // Back at the end, it follows the end again.
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    m_dialog->OnBurnStatus(StatusKind::Append, "last");
    QVERIFY(NewestAtTheBottom(view));

    // A reset that shortens the log ends at the top.
    m_dialog->OnBurnStatus(StatusKind::ReplaceAll, "Please connect, and power on the board!");
    QCOMPARE(view->FirstVisibleLine(), 0);
    QCOMPARE(view->FirstVisibleBlockNumber(), 0);
    QVERIFY(Shown(view, LineRect(view)));
}

void TestStatusLog::downloadProgress() {
    // The bar follows the job's progress events; the lines of the log, whatever they say, leave it.
    QProgressBar* bar = m_dialog->DownloadProgress();
    IBurnListener& events = m_dialog->Events();
    std::string expected;
    auto send = [&](int kind, const std::string& text) {
        m_dialog->Bridge().BurnStatus(StatusKind(kind), text);
        ApplyBurnStatus(expected, StatusKind(kind), text);
    };
    send(1, "Please connect, and power on the board!");
    QVERIFY(!bar->isVisible());
    send(3, "DataSegment1 10% downloaded.");
    QVERIFY(!bar->isVisible());
    events.Progress(BurnStage::Download, 10);
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->value(), 10);
    events.Progress(BurnStage::Download, 99);
    QCOMPARE(bar->value(), 99);
    send(3, "COM: 14 bytes sent"); // other lines between the progress events leave it
    QVERIFY(bar->isVisible());
    send(3, "Data downloaded successfully!");
    QVERIFY(bar->isVisible());
    events.Progress(BurnStage::Download, 100);
    QVERIFY(!bar->isVisible());
    // The bar is beside the log: the log's text is exactly what the rule builds.
    QCOMPARE(g_strLog, expected);

    // Whatever ends the download hides it: a later stage, the board's end, the job's end, a new log.
    const std::vector<std::function<void()>> enders = {
        [&] { events.Progress(BurnStage::Layout, 0); },
        [&] {
            events.BoardFailed({FailReason::PortLost, "gone", {}, {}});
        },
        [&] { events.BoardBurnt({}); },
        [&] { m_dialog->Bridge().KillBurnTimer(); },
        [&] { send(1, "Please connect, and power on the board!"); },
    };
    for (const auto& end : enders) {
        events.Progress(BurnStage::Download, 5);
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->value(), 5);
        end();
        QVERIFY(!bar->isVisible());
    }
}

TELVANOR_UI_TEST_MAIN(TestStatusLog)
#include "tst_statuslog.moc"
