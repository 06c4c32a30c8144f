// The window of the command-line tool: the entries as plain values, the status log printed as it
// changes (at most 20 ms late), message dialogs on standard error, the burn timer as a deadline the
// main thread watches.
#pragma once

#include "ControlWindow.h"
#include "JsonLines.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CCliWindow : public CControlWindow, public IBurnListener {
public:
    // out: where the status log is printed (null: nowhere); err: the messages.
    CCliWindow(std::FILE* out, std::FILE* err, bool terminal);
    // Prints what is still held back.
    ~CCliWindow() override;

    // After this many boards the successor that waits for the next one is stopped.
    void SetBoardsWanted(int boards) { m_boardsWanted = boards; }
    void SetOnEnough(std::function<void()> onEnough) { m_onEnough = std::move(onEnough); }
    // Also passes the log's lines and the job's events to json (null: not at all).
    void SetJson(CJsonLines* json) { m_json = json; }

    // Counted from the job's events (the runner's listener), never from the texts.
    int BoardsBurnt();
    int BoardsFailed();
    // A message was shown (every one is an error here).
    bool AnyMessage();
    // Waits until woken (a board done, a message, the timer set) or the burn timer is due, printing
    // held-back lines when their 20 ms are up; true when the timer is due.
    bool WaitForChange(std::chrono::milliseconds slice);
    // Prints the held-back lines now.
    void Flush();
    // Prints text after the held-back lines, on standard output (standard error when the log is not
    // printed) or standard error; never counts as a message.
    void Print(const std::string& text, bool toError);

    void BurnStatus(StatusKind kind, const std::string& text) override;
    void ShowMessageDlg(const std::string& caption, const std::string& text) override;
    void ShowSystemMessageBox(const std::string& caption, const std::string& text) override;
    void SetBurnTimer(unsigned ms) override;
    void KillBurnTimer() override;

    void BoardStarted() override;
    void Progress(BurnStage stage, int percent) override;
    void BoardBurnt(const tagBoardBurnt& board) override;
    void BoardFailed(const tagBoardFailed& failure) override;

private:
    void FlushLocked();
    void BoardEnded(bool burnt, bool written);

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::string m_log;
    std::FILE* m_out;
    std::FILE* m_err;
    bool m_terminal;
    int m_boardsBurnt = 0;
    int m_boardsFailed = 0;
    int m_boardsWritten = 0; // boards that hold their identity, good or with a record failure
    int m_boardsWanted = 1;
    int m_messages = 0;
    bool m_endChain = false; // a message came: the chain ends with the board that shows it
    std::function<void()> m_onEnough;
    CJsonLines* m_json = nullptr;
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    std::string m_strPending;                                        // printed lines not yet written
    std::optional<std::chrono::steady_clock::time_point> m_flushDue; // set while lines are held
};
