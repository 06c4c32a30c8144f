#include "CliWindow.h"

#include "StatusLog.h"
#include "TextTables.h"

CCliWindow::CCliWindow(std::FILE* out, std::FILE* err, bool terminal)
    : m_out(out), m_err(err), m_terminal(terminal) {}

void CCliWindow::AddControl(int id, const std::string& text, bool enabled) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_controls[id] = Control{text, false, enabled};
}

void CCliWindow::Check(int id, bool checked) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_controls[id].checked = checked;
}

int CCliWindow::BoardsBurnt() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boardsBurnt;
}

bool CCliWindow::AnyMessage() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages > 0;
}

bool CCliWindow::WaitForChange(std::chrono::milliseconds slice) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto until = std::chrono::steady_clock::now() + slice;
    if (m_deadline && *m_deadline < until)
        until = *m_deadline;
    m_cv.wait_until(lock, until);
    return m_deadline && std::chrono::steady_clock::now() >= *m_deadline;
}

std::string CCliWindow::GetText(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_controls.find(id);
    return it == m_controls.end() ? std::string() : it->second.text;
}

void CCliWindow::SetText(int id, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_controls.find(id);
    if (it != m_controls.end())
        it->second.text = text;
}

bool CCliWindow::IsChecked(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_controls.find(id);
    return it != m_controls.end() && it->second.checked;
}

bool CCliWindow::IsEnabled(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_controls.find(id);
    return it != m_controls.end() && it->second.enabled;
}

void CCliWindow::Enable(const std::vector<int>& ids, bool enable) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int id : ids) {
        auto it = m_controls.find(id);
        if (it != m_controls.end())
            it->second.enabled = enable;
    }
}

void CCliWindow::SetFocus(int) {}

void CCliWindow::BurnStatus(int kind, const std::string& text) {
    std::function<void()> onEnough;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!ApplyBurnStatus(m_log, kind, text))
            return;
        // One line per change; on a terminal a kind-2 update overwrites the line it replaces.
        if (kind == 2 && m_terminal)
            std::fprintf(m_out, "\033[A\r\033[K%s\n", text.c_str());
        else
            std::fprintf(m_out, "%s\n", text.c_str());
        std::fflush(m_out);
        if (kind == 1 && text == Txt(strBurnSuccess) && ++m_boardsBurnt == m_boardsWanted)
            onEnough = m_onEnough;
    }
    m_cv.notify_all();
    if (onEnough)
        onEnough();
}

void CCliWindow::ShowMessageDlg(const std::string& caption, const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::fflush(m_out);
        std::fprintf(m_err, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(m_err);
        ++m_messages;
    }
    m_cv.notify_all();
}

void CCliWindow::ShowSystemMessageBox(const std::string& caption, const std::string& text) {
    ShowMessageDlg(caption, text);
}

void CCliWindow::SetBurnTimer(unsigned ms) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    }
    m_cv.notify_all();
}

void CCliWindow::KillBurnTimer() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_deadline.reset();
    }
    m_cv.notify_all();
}
