// The main window as the job and the serial channel see it. Calls on the window's thread run at
// once; calls from the job's thread hop over with one posted functor each and wait on the job's
// stop flag, so a stopped job gets defaults back at once and its late calls do nothing.
#pragma once

#include "GuiCall.h"
#include "WindowInterface.h"

#include <functional>
#include <memory>

class CBrisvaneDlg;

class CWindowBridge : public IBurnWindow, public IBurnListener {
public:
    explicit CWindowBridge(CBrisvaneDlg& dialog);
    ~CWindowBridge() override;
    CWindowBridge(const CWindowBridge&) = delete;
    CWindowBridge& operator=(const CWindowBridge&) = delete;

    // No call reaches the window after this (it is going away).
    void Detach();

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

    // The events go over without waiting: the window only shows them, and the job never waits on
    // the window for them.
    void Progress(BurnStage stage, int percent) override;
    void BoardBurnt(const tagBoardBurnt& board) override;
    void BoardFailed(const tagBoardFailed& failure) override;

private:
    // Runs fn on the window's thread: at once there, else posted without waiting.
    void Post(std::function<void()> fn);

    CBrisvaneDlg& m_dialog;
    std::shared_ptr<CGuiGate> m_gate;
};
