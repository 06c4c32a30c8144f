#include "CliWindow.h"

#include "StatusLog.h"

CCliWindow::CCliWindow(std::FILE* out, std::FILE* err, bool terminal)
    : m_out(out), m_err(err), m_terminal(terminal) {}

CCliWindow::~CCliWindow() {
    Flush();
}

void CCliWindow::Flush() {
    std::lock_guard<std::mutex> lock(m_mutex);
    FlushLocked();
}

void CCliWindow::FlushLocked() {
    m_flushDue.reset();
    if (m_strPending.empty() || !m_out) {
        m_strPending.clear();
        return;
    }
    std::fwrite(m_strPending.data(), 1, m_strPending.size(), m_out);
    std::fflush(m_out);
    m_strPending.clear();
}

void CCliWindow::Print(const std::string& text, bool toError) {
    std::lock_guard<std::mutex> lock(m_mutex);
    FlushLocked();
    std::FILE* f = toError || !m_out ? m_err : m_out;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
}

int CCliWindow::BoardsBurnt() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boardsBurnt;
}

int CCliWindow::BoardsFailed() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boardsFailed;
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
    if (m_flushDue && *m_flushDue < until)
        until = *m_flushDue;
    m_cv.wait_until(lock, until);
    const auto now = std::chrono::steady_clock::now();
    if (m_flushDue && now >= *m_flushDue)
        FlushLocked();
    return m_deadline && now >= *m_deadline;
}

void CCliWindow::BurnStatus(StatusKind kind, const std::string& text) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!ApplyBurnStatus(m_log, kind, text))
            return;
        if (m_json)
            m_json->Status(kind, text);
        // One line per change; on a terminal a kind-2 update overwrites the line it replaces.
        if (kind == StatusKind::ReplaceLast && m_terminal)
            m_strPending += "\033[A\r\033[K";
        m_strPending += text;
        m_strPending += '\n';
        // A line that starts the log afresh (a prompt, a board's result) goes out at once; others
        // within 20 ms, by the main thread, which is woken only when a batch begins.
        if (kind == StatusKind::ReplaceAll) {
            FlushLocked();
        } else if (!m_flushDue) {
            m_flushDue = std::chrono::steady_clock::now() + kStatusOutputBatch;
            wake = true;
        }
        wake = wake || kind == StatusKind::ReplaceAll;
    }
    if (wake)
        m_cv.notify_all();
}

void CCliWindow::BoardEnded(bool burnt, bool written) {
    std::function<void()> onEnough;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++(burnt ? m_boardsBurnt : m_boardsFailed);
        // A board whose record could not be written holds its identity all the same: it counts
        // towards the boards wanted, and the run still ends as failed. A message ends the chain with
        // the board that shows it: no more boards are burnt without records. (Only such a board has
        // a successor to stop; a board stopped from outside ends under the runner's lock.)
        if (written && (++m_boardsWritten == m_boardsWanted || m_endChain))
            onEnough = m_onEnough;
    }
    m_cv.notify_all();
    if (onEnough)
        onEnough();
}

void CCliWindow::BoardStarted() {
    if (m_json)
        m_json->BoardStarted();
}

void CCliWindow::Progress(BurnStage stage, int percent) {
    if (m_json)
        m_json->Progress(stage, percent);
}

void CCliWindow::BoardBurnt(const tagBoardBurnt& board) {
    if (m_json)
        m_json->BoardBurnt(board);
    BoardEnded(true, true);
}

void CCliWindow::BoardFailed(const tagBoardFailed& failure) {
    if (m_json)
        m_json->BoardFailed(failure);
    BoardEnded(false, failure.reason == FailReason::Record);
}

void CCliWindow::ShowMessageDlg(const std::string& caption, const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        FlushLocked(); // the log lines before it come first
        std::fprintf(m_err, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(m_err);
        ++m_messages;
        // A record that could not be written comes before its board's result: the change rule still
        // runs, and the run ends there instead of burning more boards without records.
        m_endChain = true;
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
