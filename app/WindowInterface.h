// The small interface through which the job and the link reach the window. The Qt window
// implements it with blocking calls onto its own thread, the command-line tool over plain values,
// tests with a recorder. Controls are named by their IDs (ControlIds.h); texts are local 8-bit bytes.
#pragma once

#include "BurnEvents.h"

#include <string>
#include <vector>

class IBurnWindow {
public:
    virtual ~IBurnWindow() = default;

    // The control's text; the port list gives its current text. Empty for a missing control.
    virtual std::string GetText(int id) = 0;
    // Replaces the control's text.
    virtual void SetText(int id, const std::string& text) = 0;
    // The check box or rule button is checked.
    virtual bool IsChecked(int id) = 0;
    // The control takes input; false for a missing control.
    virtual bool IsEnabled(int id) = 0;
    // Switches each existing control of the list on or off, in order; missing IDs are skipped.
    virtual void Enable(const std::vector<int>& ids, bool enable) = 0;
    // Moves the keyboard focus to the control.
    virtual void SetFocus(int id) = 0;

    // A status line for the log; returns once the log has taken it, so lines never overtake each other.
    virtual void BurnStatus(StatusKind kind, const std::string& text) = 0;
    // The tool's own message dialog: modal, returns when the operator has closed it.
    virtual void ShowMessageDlg(const std::string& caption, const std::string& text) = 0;
    // The platform's own message box, for the two English-only messages.
    virtual void ShowSystemMessageBox(const std::string& caption, const std::string& text) = 0;

    // The burn time-out: one-shot; when it fires the window stops the running job.
    virtual void SetBurnTimer(unsigned ms) = 0;
    virtual void KillBurnTimer() = 0;
};
