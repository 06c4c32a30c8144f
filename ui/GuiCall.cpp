#include "GuiCall.h"

#include <QMetaObject>
#include <QThread>

// The target lives on the window's thread for its whole life.
CGuiGate::CGuiGate(QObject* target) : m_thread(target->thread()), m_target(target) {}

bool CGuiGate::OnGuiThread() const {
    return QThread::currentThread() == m_thread;
}

void CGuiGate::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_target = nullptr;
    m_closed.store(true, std::memory_order_release);
    for (CStopFlag* waiter : m_waiters)
        waiter->Notify();
}

bool CGuiGate::Post(std::function<void()> fn, CStopFlag* waiter) {
    // Posting under the lock keeps the target alive until the event is queued; Qt drops queued
    // events of an object that is destroyed.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_target)
        return false;
    if (!QMetaObject::invokeMethod(m_target, std::move(fn), Qt::QueuedConnection))
        return false;
    if (waiter)
        m_waiters.insert(waiter);
    return true;
}

void CGuiGate::EndWait(CStopFlag* waiter) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_waiters.erase(m_waiters.find(waiter));
}
