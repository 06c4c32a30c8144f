#include "FakeWindow.h"

#include "ControlIds.h"
#include "StatusLog.h"

CFakeWindow::CFakeWindow() {
    AddOpeningControls(*this);
    AddControl(IDCANCEL);
}

std::vector<CFakeWindow::Status> CFakeWindow::StatusMessages() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_status;
}

std::vector<std::string> CFakeWindow::Dialogs() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dialogs;
}

std::vector<std::string> CFakeWindow::SystemBoxes() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes;
}

std::string CFakeWindow::Log() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

unsigned CFakeWindow::TimerMs() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_timerMs;
}

std::vector<std::string> CFakeWindow::Calls() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

std::string CFakeWindow::GetText(int id) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back("get " + std::to_string(id));
    }
    return CControlWindow::GetText(id);
}

void CFakeWindow::SetText(int id, const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back("set " + std::to_string(id) + " " + text);
    }
    CControlWindow::SetText(id, text);
}

void CFakeWindow::Enable(const std::vector<int>& ids, bool enable) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int id : ids)
            if (HasControl(id))
                m_calls.push_back(std::string(enable ? "enable " : "disable ") + std::to_string(id));
    }
    CControlWindow::Enable(ids, enable);
}

void CFakeWindow::SetFocus(int id) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back("focus " + std::to_string(id));
    }
    CControlWindow::SetFocus(id);
}

void CFakeWindow::BurnStatus(StatusKind kind, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back("status " + std::to_string(int(kind)) + " " + text);
    m_status.push_back({int(kind), text});
    ApplyBurnStatus(m_log, kind, text);
}

void CFakeWindow::ShowMessageDlg(const std::string& caption, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back("dialog " + caption + "|" + text);
    m_dialogs.push_back(caption + "|" + text);
}

void CFakeWindow::ShowSystemMessageBox(const std::string& caption, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back("box " + caption + "|" + text);
    m_boxes.push_back(caption + "|" + text);
}

void CFakeWindow::SetBurnTimer(unsigned ms) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back("timer " + std::to_string(ms));
    m_timerMs = ms;
}

void CFakeWindow::KillBurnTimer() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back("killtimer");
    m_timerMs = 0;
}
