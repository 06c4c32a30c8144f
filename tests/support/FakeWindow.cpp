#include "FakeWindow.h"

#include "ControlIds.h"
#include "StatusLog.h"

CFakeWindow::CFakeWindow() {
    for (int id : {IDC_SERIAL_PORT, IDC_MAC, IDC_ID_STRING, IDC_ID_NUMBER, IDC_RULE_CLEAR, IDC_RULE_INCREASE,
                   IDC_RULE_DECREASE, IDC_CHIP_VARIANT, IDC_SAVE_RECORDS, IDC_HEX_RULE, IDC_SINGLE_NET,
                   IDC_DOUBLE_NET, IDOK, IDCANCEL})
        m_controls[id] = Control{};
    m_controls[IDC_RULE_CLEAR].checked = true;
    m_controls[IDC_SINGLE_NET].checked = true;
    m_controls[IDC_ID_NUMBER].enabled = false;
    m_controls[IDC_HEX_RULE].enabled = false;
}

void CFakeWindow::AddControl(int id, const std::string& text, bool enabled) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_controls[id] = Control{text, false, enabled};
}

bool CFakeWindow::HasControl(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_controls.count(id) != 0;
}

void CFakeWindow::SetChecked(int id, bool checked) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_controls[id].checked = checked;
}

std::string CFakeWindow::Text(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_controls.find(id);
    return it == m_controls.end() ? std::string() : it->second.text;
}

bool CFakeWindow::Enabled(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_controls.find(id);
    return it != m_controls.end() && it->second.enabled;
}

void CFakeWindow::Put(int id, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_controls[id].text = text;
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

int CFakeWindow::FocusedControl() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_focus;
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
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back("get " + std::to_string(id));
    auto it = m_controls.find(id);
    return it == m_controls.end() ? std::string() : it->second.text;
}

void CFakeWindow::SetText(int id, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back("set " + std::to_string(id) + " " + text);
    auto it = m_controls.find(id);
    if (it != m_controls.end())
        it->second.text = text;
}

bool CFakeWindow::IsChecked(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_controls.find(id);
    return it != m_controls.end() && it->second.checked;
}

bool CFakeWindow::IsEnabled(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_controls.find(id);
    return it != m_controls.end() && it->second.enabled;
}

void CFakeWindow::Enable(const std::vector<int>& ids, bool enable) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int id : ids) {
        auto it = m_controls.find(id);
        if (it == m_controls.end())
            continue;
        it->second.enabled = enable;
        m_calls.push_back(std::string(enable ? "enable " : "disable ") + std::to_string(id));
    }
}

void CFakeWindow::SetFocus(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back("focus " + std::to_string(id));
    m_focus = id;
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
