#include "ControlWindow.h"

#include "ControlIds.h"

#include <algorithm>

void CControlWindow::AddControl(int id, const std::string& text, bool enabled) {
    std::lock_guard<std::mutex> lock(m_controlsMutex);
    m_controls[id] = Control{text, false, enabled};
}

bool CControlWindow::HasControl(int id) {
    std::lock_guard<std::mutex> lock(m_controlsMutex);
    return m_controls.count(id) != 0;
}

void CControlWindow::Check(int id, bool checked) {
    std::lock_guard<std::mutex> lock(m_controlsMutex);
    m_controls[id].checked = checked;
}

void CControlWindow::Put(int id, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_controlsMutex);
    m_controls[id].text = text;
}

int CControlWindow::FocusedControl() {
    std::lock_guard<std::mutex> lock(m_controlsMutex);
    return m_focus;
}

std::string CControlWindow::GetText(int id) {
    std::lock_guard<std::mutex> lock(m_controlsMutex);
    auto it = m_controls.find(id);
    return it == m_controls.end() ? std::string() : it->second.text;
}

void CControlWindow::SetText(int id, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_controlsMutex);
    auto it = m_controls.find(id);
    if (it != m_controls.end())
        it->second.text = text;
}

bool CControlWindow::IsChecked(int id) {
    std::lock_guard<std::mutex> lock(m_controlsMutex);
    auto it = m_controls.find(id);
    return it != m_controls.end() && it->second.checked;
}

bool CControlWindow::IsEnabled(int id) {
    std::lock_guard<std::mutex> lock(m_controlsMutex);
    auto it = m_controls.find(id);
    return it != m_controls.end() && it->second.enabled;
}

void CControlWindow::Enable(const std::vector<int>& ids, bool enable) {
    std::lock_guard<std::mutex> lock(m_controlsMutex);
    for (int id : ids) {
        auto it = m_controls.find(id);
        if (it != m_controls.end())
            it->second.enabled = enable;
    }
}

void CControlWindow::SetFocus(int id) {
    std::lock_guard<std::mutex> lock(m_controlsMutex);
    m_focus = id;
}

void AddOpeningControls(CControlWindow& window) {
    // Set up as plain values, not through the interface: a recording window records none of it.
    for (int id : kJobControls)
        window.AddControl(id, std::string(),
                          std::find(kOpeningDisabled.begin(), kOpeningDisabled.end(), id) ==
                              kOpeningDisabled.end());
    for (int id : kOpeningChecked)
        window.Check(id, true);
}
