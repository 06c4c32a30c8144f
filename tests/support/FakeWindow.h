// A window for tests: controls as plain values, every call recorded. Thread-safe, so a job on the
// runner's thread can use it while the test reads it.
#pragma once

#include "ControlWindow.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

class CFakeWindow : public CControlWindow {
public:
    struct Status {
        int kind;
        std::string text;
    };

    // Creates the main window's controls as it opens (Remove, one network port), and its close button.
    CFakeWindow();
    // Direct access for set-up and checks (no record is made); AddControl and Put as the model's.
    void SetChecked(int id, bool checked) { Check(id, checked); }
    std::string Text(int id) { return CControlWindow::GetText(id); }
    bool Enabled(int id) { return CControlWindow::IsEnabled(id); }

    std::vector<Status> StatusMessages();
    std::vector<std::string> Dialogs();     // "caption|text" of every message dialog
    std::vector<std::string> SystemBoxes(); // "caption|text" of every system box
    std::string Log();                      // the status log text as the window would show it
    unsigned TimerMs();                     // 0 when the timer is not armed
    std::vector<std::string> Calls();       // every call, in order, as a short text

    std::string GetText(int id) override;
    void SetText(int id, const std::string& text) override;
    void Enable(const std::vector<int>& ids, bool enable) override;
    void SetFocus(int id) override;
    void BurnStatus(StatusKind kind, const std::string& text) override;
    void ShowMessageDlg(const std::string& caption, const std::string& text) override;
    void ShowSystemMessageBox(const std::string& caption, const std::string& text) override;
    void SetBurnTimer(unsigned ms) override;
    void KillBurnTimer() override;

private:
    std::mutex m_mutex;
    std::vector<Status> m_status;
    std::vector<std::string> m_dialogs, m_boxes, m_calls;
    std::string m_log;
    unsigned m_timerMs = 0;
};
