// A window for tests: controls as plain values, every call recorded. Thread-safe, so a job on the
// runner's thread can use it while the test reads it.
#pragma once

#include "WindowInterface.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

class CFakeWindow : public IBurnWindow {
public:
    struct Control {
        std::string text;
        bool checked = false;
        bool enabled = true;
    };
    struct Status {
        int kind;
        std::string text;
    };

    // Creates the main window's template controls with the idle defaults (Remove, single port).
    CFakeWindow();
    // Adds (or resets) a control, e.g. an item row's edits.
    void AddControl(int id, const std::string& text = std::string(), bool enabled = true);
    bool HasControl(int id);
    void SetChecked(int id, bool checked);
    // Direct access for set-up and checks (no record is made).
    std::string Text(int id);
    bool Enabled(int id);
    void Put(int id, const std::string& text);

    std::vector<Status> StatusMessages();
    std::vector<std::string> Dialogs();     // "caption|text" of every message dialog
    std::vector<std::string> SystemBoxes(); // "caption|text" of every system box
    std::string Log();                      // the status log text as the window would show it
    int FocusedControl();
    unsigned TimerMs();               // 0 when the timer is not armed
    std::vector<std::string> Calls(); // every call, in order, as a short text

    std::string GetText(int id) override;
    void SetText(int id, const std::string& text) override;
    bool IsChecked(int id) override;
    bool IsEnabled(int id) override;
    void Enable(const std::vector<int>& ids, bool enable) override;
    void SetFocus(int id) override;
    void BurnStatus(StatusKind kind, const std::string& text) override;
    void ShowMessageDlg(const std::string& caption, const std::string& text) override;
    void ShowSystemMessageBox(const std::string& caption, const std::string& text) override;
    void SetBurnTimer(unsigned ms) override;
    void KillBurnTimer() override;

private:
    std::mutex m_mutex;
    std::map<int, Control> m_controls;
    std::vector<Status> m_status;
    std::vector<std::string> m_dialogs, m_boxes, m_calls;
    std::string m_log;
    int m_focus = 0;
    unsigned m_timerMs = 0;
};
