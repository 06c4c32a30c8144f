#include "LogView.h"

#include "StatusLog.h"
#include "UiText.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

std::string g_strLog;

namespace {

// Line breaks in bytes, counted as the display shows them.
int CountBreaks(std::string_view bytes) {
    int breaks = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            ++breaks;
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else if (bytes[i] == '\n') {
            ++breaks;
        }
    }
    return breaks;
}

// Where a kind-2 message can cut the log at most: it cuts at the last CR up to four times.
std::size_t FourthCrFromEnd(const std::string& log) {
    std::size_t pos = log.size();
    for (int i = 0; i < 4; ++i) {
        if (pos == 0)
            return 0;
        const std::size_t cr = log.rfind('\r', pos - 1);
        if (cr == std::string::npos)
            return 0;
        pos = cr;
    }
    return pos;
}

} // namespace

QString LogDisplayText(std::string_view bytes) {
    QString text = FromLocal(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

CLogView::CLogView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // A fixed wrap width: a scroll bar that came and went would re-wrap every line.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

bool CLogView::ApplyStatus(std::string& log, StatusKind kind, const std::string& text) {
    if (kind != StatusKind::ReplaceAll && kind != StatusKind::ReplaceLast && kind != StatusKind::Append)
        return ApplyBurnStatus(log, kind, text);
    // Kinds 2 and 3 keep a prefix of the old log and add one line: the old bytes that may go are
    // looked at before they are cut.
    const std::size_t tailStart = kind == StatusKind::ReplaceLast ? FourthCrFromEnd(log) : log.size();
    const std::string tail = log.substr(tailStart);
    const std::size_t lineSize = text == "#" ? (!log.empty() && log.back() == '#' ? 1 : 3) : text.size() + 2;
    ApplyBurnStatus(log, kind, text);
    if (kind == StatusKind::ReplaceAll) {
        ReplaceFrom(0, LogDisplayText(log));
        return true;
    }
    const std::size_t keep = log.size() - lineSize;
    int from = CharacterCount();
    if (keep == 0) {
        from = 0;
    } else if (keep < tailStart + tail.size()) {
        // The cut starts at a CR, so the removed bytes start with a line break: count the breaks
        // back from the end of the view rather than converting text.
        const int breaks = CountBreaks(std::string_view(tail).substr(keep - tailStart));
        from = document()->findBlockByNumber(document()->blockCount() - breaks).position() - 1;
    }
    ReplaceFrom(from, LogDisplayText(std::string_view(log).substr(keep)));
    return true;
}

int CLogView::CharacterCount() const {
    return document()->characterCount() - 1;
}

int CLogView::LineCount() const {
    return document()->lineCount();
}

int CLogView::FirstVisibleLine() const {
    return verticalScrollBar()->value();
}

int CLogView::FirstVisibleBlockNumber() const {
    return firstVisibleBlock().blockNumber();
}

int CLogView::LastFirstLine() const {
    // As the plain-text view reckons its own scroll range: whole display lines from the bottom up.
    const QTextDocument* doc = document();
    const qreal visible = viewport()->rect().height() - doc->documentMargin() - 1;
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    qreal y = 0;
    int fromBottom = 0;
    for (QTextBlock block = doc->lastBlock(); block.isValid(); block = block.previous()) {
        y += int(layout->blockBoundingRect(block).height());
        const QTextLayout* lines = block.layout();
        const int count = lines->lineCount();
        if (y > visible) {
            int cut = 0;
            while (cut < count && y > visible)
                y -= lines->lineAt(cut++).height();
            fromBottom += count - cut;
            break;
        }
        fromBottom += count;
    }
    return std::max(0, doc->lineCount() - fromBottom);
}

void CLogView::ReplaceFrom(int from, const QString& added) {
    QTextDocument* doc = document();
    QScrollBar* bar = verticalScrollBar();
    const int first = bar->value();
    const bool following = first >= LastFirstLine();
    const int before = doc->lineCount();
    QTextCursor cursor(doc);
    cursor.setPosition(from);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.insertText(added);
    LayOutFrom(doc->findBlock(from));
    const int after = doc->lineCount();
    const int last = LastFirstLine();
    bar->setRange(0, last);
    bar->setValue(following ? last : std::clamp(first + after - before, 0, last));
}

void CLogView::LayOutFrom(const QTextBlock& first) {
    // The plain-text layout wraps blocks lazily when they are painted; the line counts the view's
    // place is kept by must include the wrapped lines of every block.
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    for (QTextBlock block = first; block.isValid(); block = block.next())
        layout->blockBoundingRect(block);
}

void CLogView::resizeEvent(QResizeEvent* event) {
    const int first = verticalScrollBar()->value();
    const bool following = first >= verticalScrollBar()->maximum();
    QPlainTextEdit::resizeEvent(event);
    // A new width re-wraps everything (once, when the fixed-size window is first shown).
    LayOutFrom(document()->firstBlock());
    const int last = LastFirstLine();
    verticalScrollBar()->setRange(0, last);
    verticalScrollBar()->setValue(following ? last : std::min(first, last));
}
