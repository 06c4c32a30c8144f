// Calls from the job's thread onto the window's thread: one posted functor per call, waited for on
// the calling job's stop flag, so a stopped job is never held by the window.
#pragma once

#include "StopFlag.h"

#include <QObject>

class QThread;

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

// The object that posted calls run on. The window closes the gate before it goes away: later calls
// return their defaults without posting, and callers still waiting are woken and get theirs.
class CGuiGate {
public:
    explicit CGuiGate(QObject* target);

    bool OnGuiThread() const;
    void Close();
    bool IsClosed() const { return m_closed.load(std::memory_order_acquire); }
    // Posts fn to the target's thread and registers the caller's flag as waiting (none: nobody
    // waits); false when the gate is closed.
    bool Post(std::function<void()> fn, CStopFlag* waiter);
    void EndWait(CStopFlag* waiter);

private:
    QThread* const m_thread;
    std::mutex m_mutex;
    QObject* m_target;
    std::atomic<bool> m_closed{false};
    std::multiset<CStopFlag*> m_waiters;
};

// Runs fn on the window's thread and returns its result. On that thread fn runs at once. From
// another thread it is posted once and waited for with the calling job's stop flag (a private flag
// outside a job): a stopped job, or a closed window, gets def back at once, and fn, if it is reached
// afterwards, does not run. The state is shared, since the functor may run after its caller gave up.
template <class R, class F> R CallOnGui(CGuiGate& gate, F fn, R def) {
    if (gate.OnGuiThread())
        return fn();
    std::shared_ptr<CStopFlag> flag = CStopFlag::Current();
    if (!flag)
        flag = std::make_shared<CStopFlag>();
    if (flag->IsStopped())
        return def;
    struct tagState {
        std::atomic<bool> done{false};
        R result{};
    };
    auto state = std::make_shared<tagState>();
    const bool posted = gate.Post(
        [state, flag, fn = std::move(fn)]() mutable {
            if (!flag->IsStopped())
                state->result = fn();
            state->done.store(true, std::memory_order_release);
            flag->Notify();
        },
        flag.get());
    if (!posted)
        return def;
    flag->WaitUntil(
        [&state, &gate] { return state->done.load(std::memory_order_acquire) || gate.IsClosed(); });
    gate.EndWait(flag.get());
    if (!state->done.load(std::memory_order_acquire) || flag->IsStopped())
        return def;
    return state->result;
}
template <class F> void CallOnGui(CGuiGate& gate, F fn) {
    CallOnGui(
        gate,
        [fn = std::move(fn)]() mutable {
            fn();
            return true;
        },
        false);
}
