// The window's controls as plain values, for the faces without widgets: the command line's window,
// each port of a station and the tests' window share this one model. Locked on its own, so the job
// on the runner's thread and the face on its own thread may both use it.
#pragma once

#include "WindowInterface.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

class CControlWindow : public IBurnWindow {
public:
    struct Control {
        std::string text;
        bool checked = false;
        bool enabled = true;
    };

    // Adds a control, or resets an existing one to this text, unchecked.
    void AddControl(int id, const std::string& text = std::string(), bool enabled = true);
    bool HasControl(int id);
    // Set-up and checks without the interface: a missing control is added.
    void Check(int id, bool checked);
    void Put(int id, const std::string& text);
    int FocusedControl();

    // A missing control reads as empty, unchecked and disabled, and takes no change.
    std::string GetText(int id) override;
    void SetText(int id, const std::string& text) override;
    bool IsChecked(int id) override;
    bool IsEnabled(int id) override;
    void Enable(const std::vector<int>& ids, bool enable) override;
    void SetFocus(int id) override;

private:
    std::mutex m_controlsMutex;
    std::map<int, Control> m_controls;
    int m_focus = 0;
};

// The main window's controls that every job reads and switches, each as the window opens it (empty
// texts; see kOpeningChecked and kOpeningDisabled).
void AddOpeningControls(CControlWindow& window);
