#include "WindowBridge.h"

#include "BrisvaneDlg.h"
#include "ControlIds.h"
#include "MessageDlg.h"

CWindowBridge::CWindowBridge(CBrisvaneDlg& dialog)
    : m_dialog(dialog), m_gate(std::make_shared<CGuiGate>(&dialog)) {}

CWindowBridge::~CWindowBridge() {
    Detach();
}

void CWindowBridge::Detach() {
    m_gate->Close();
}

std::string CWindowBridge::GetText(int id) {
    return CallOnGui(
        *m_gate, [this, id] { return m_dialog.ControlText(id); }, std::string());
}

void CWindowBridge::SetText(int id, const std::string& text) {
    CallOnGui(*m_gate, [this, id, text] {
        m_dialog.SetControlText(id, text);
        // The MAC changes through here only by the change rule after a good board (the operator
        // types into the edit itself). Saved at once, flushed to disk: after a crash, a kill or a
        // power cut the window never offers a MAC that is already in a board.
        if (id == IDC_MAC)
            m_dialog.SaveEntries();
    });
}

bool CWindowBridge::IsChecked(int id) {
    return CallOnGui(
        *m_gate, [this, id] { return m_dialog.ControlChecked(id); }, false);
}

bool CWindowBridge::IsEnabled(int id) {
    return CallOnGui(
        *m_gate, [this, id] { return m_dialog.ControlEnabled(id); }, false);
}

void CWindowBridge::Enable(const std::vector<int>& ids, bool enable) {
    CallOnGui(*m_gate, [this, ids, enable] { m_dialog.EnableControls(ids, enable); });
}

void CWindowBridge::SetFocus(int id) {
    CallOnGui(*m_gate, [this, id] { m_dialog.FocusControl(id); });
}

void CWindowBridge::BurnStatus(StatusKind kind, const std::string& text) {
    // Only a job's thread is let go before its line is laid out; on the window's thread the line is
    // in the log when the call returns.
    const bool fromJob = !m_gate->OnGuiThread();
    CallOnGui(*m_gate, [this, kind, text, fromJob] { m_dialog.OnBurnStatus(kind, text, fromJob); });
}

void CWindowBridge::ShowMessageDlg(const std::string& caption, const std::string& text) {
    // The caller's stop flag (none on the window's thread): the dialog closes when its job is stopped.
    std::shared_ptr<CStopFlag> stop = CStopFlag::Current();
    CallOnGui(*m_gate, [caption, text, stop] { RunMessageDlg(caption, text, stop); });
}

void CWindowBridge::ShowSystemMessageBox(const std::string& caption, const std::string& text) {
    std::shared_ptr<CStopFlag> stop = CStopFlag::Current();
    CallOnGui(*m_gate, [this, caption, text, stop] { m_dialog.ShowSystemMessageBox(caption, text, stop); });
}

void CWindowBridge::SetBurnTimer(unsigned ms) {
    CallOnGui(*m_gate, [this, ms] { m_dialog.SetBurnTimer(ms); });
}

void CWindowBridge::KillBurnTimer() {
    CallOnGui(*m_gate, [this] { m_dialog.KillBurnTimer(); });
}

void CWindowBridge::Post(std::function<void()> fn) {
    if (m_gate->OnGuiThread())
        fn();
    else
        m_gate->Post(std::move(fn), nullptr);
}

void CWindowBridge::Progress(BurnStage stage, int percent) {
    Post([this, stage, percent] { m_dialog.OnProgress(stage, percent); });
}

void CWindowBridge::BoardBurnt(const tagBoardBurnt&) {
    Post([this] { m_dialog.OnBoardEnded(true); });
}

void CWindowBridge::BoardFailed(const tagBoardFailed&) {
    Post([this] { m_dialog.OnBoardEnded(false); });
}
