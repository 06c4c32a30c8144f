// The window's own system menu (Windows only; other platforms have none that Qt can extend, and
// the About item lives in the menu bar there).
#pragma once

#include <QString>

class QWidget;

// The platform's own system commands (SC_RESTORE ... SC_CLOSE).
constexpr unsigned kScSize = 0xF000;
constexpr unsigned kScMove = 0xF010;
constexpr unsigned kScMinimize = 0xF020;
constexpr unsigned kScMaximize = 0xF030;
constexpr unsigned kScClose = 0xF060;
constexpr unsigned kScRestore = 0xF120;

#ifdef Q_OS_WIN
// Appends a separator and the item command with text.
void AddToSystemMenu(QWidget* window, unsigned command, const QString& text);
// Rewrites the text of the item found by its command, keeping the command; a missing item is skipped.
void SetSystemMenuText(QWidget* window, unsigned command, const QString& text);
// A WM_SYSCOMMAND whose command, low four bits cleared, is command.
bool IsSystemCommand(const void* message, unsigned command);
#else
inline void AddToSystemMenu(QWidget*, unsigned, const QString&) {}
inline void SetSystemMenuText(QWidget*, unsigned, const QString&) {}
inline bool IsSystemCommand(const void*, unsigned) {
    return false;
}
#endif
