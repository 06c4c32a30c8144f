// Kept apart from the control IDs: <windows.h> defines IDOK and IDCANCEL as macros.
#include "SystemMenu.h"

#include <QWidget>

#include <windows.h>

#include <string>

namespace {

HMENU SystemMenuOf(QWidget* window) {
    return GetSystemMenu(reinterpret_cast<HWND>(window->winId()), FALSE);
}

} // namespace

void AddToSystemMenu(QWidget* window, unsigned command, const QString& text) {
    HMENU menu = SystemMenuOf(window);
    if (!menu || text.isEmpty())
        return;
    const std::wstring wide = text.toStdWString();
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, command, wide.c_str());
}

void SetSystemMenuText(QWidget* window, unsigned command, const QString& text) {
    HMENU menu = SystemMenuOf(window);
    if (!menu || GetMenuState(menu, command, MF_BYCOMMAND) == UINT(-1))
        return; // the platform left this item out (no maximise box, ...)
    const std::wstring wide = text.toStdWString();
    ModifyMenuW(menu, command, MF_BYCOMMAND | MF_STRING, command, wide.c_str());
}

bool IsSystemCommand(const void* message, unsigned command) {
    const MSG* msg = static_cast<const MSG*>(message);
    return msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == command;
}
