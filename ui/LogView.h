// The status log: g_strLog as the status messages build it, and the read-only view that shows it.
#pragma once

#include "BurnEvents.h"

#include <QPlainTextEdit>

#include <string>
#include <string_view>

// The whole log (CR LF lines, local 8-bit). Only the window's thread touches it.
extern std::string g_strLog;

// The display form of log bytes: CR LF, a lone CR and a lone LF each become one line break.
QString LogDisplayText(std::string_view bytes);

class CLogView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CLogView(QWidget* parent);

    // Applies one status message to log (the text rule of the log) and shows the result. Only the
    // part of the view that changed is rewritten, so the cost of a line does not grow with the log;
    // kind 1 rewrites everything. Returns false when the kind changes nothing.
    bool ApplyStatus(std::string& log, StatusKind kind, const std::string& text);

    int CharacterCount() const;
    // Display lines, wrapped lines counted; the index of the first visible one.
    int LineCount() const;
    int FirstVisibleLine() const;
    // The block that really stands at the top of the view.
    int FirstVisibleBlockNumber() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Replaces the text from character from on and keeps the view's place: a view that showed the
    // end shows the end again, the newest line at the bottom (while the log fits, all of it from
    // the top); one scrolled back keeps its distance from the end.
    void ReplaceFrom(int from, const QString& added);
    // The first visible line that puts the last line at the bottom of the view (0 while all fits).
    int LastFirstLine() const;
    void LayOutFrom(const QTextBlock& first);
};
