// Cooperative stop of one burn job: the job checks it at every wait, command and message, and
// every wait on it wakes when the window stops the job.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class CStopFlag {
public:
    bool IsStopped() const { return m_stopped.load(std::memory_order_acquire); }

    void Stop() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped.store(true, std::memory_order_release);
        }
        m_cv.notify_all();
    }

    // Sleeps for ms unless stopped first; false when stopped.
    bool SleepFor(unsigned ms) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return !m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return IsStopped(); });
    }

    // Waits until done() holds or the job is stopped; true when done() holds. Whoever makes done()
    // true calls Notify() afterwards.
    bool WaitUntil(const std::function<bool()>& done) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [&] { return done() || IsStopped(); });
        return done();
    }

    void Notify() {
        { std::lock_guard<std::mutex> lock(m_mutex); }
        m_cv.notify_all();
    }

    // The flag of the job running on this thread (null outside a job): the window checks it before
    // it carries out a call that a stopped job had already queued.
    static std::shared_ptr<CStopFlag> Current() { return t_current; }
    static void SetCurrent(std::shared_ptr<CStopFlag> flag) { t_current = std::move(flag); }

private:
    std::atomic<bool> m_stopped{false};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    static inline thread_local std::shared_ptr<CStopFlag> t_current;
};
