#include "EarlyStart.h"

#include "PortList.h"

#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <pthread.h>
#include <sched.h>
#endif

#ifdef TELVANOR_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

CEarlyStart::CEarlyStart(std::function<QStringList()> scan, std::chrono::milliseconds patience)
    : m_fontsReady(m_fonts.get_future().share()) {
    // The scan's result is handed over before the thread starts, so the first enumeration of the
    // window takes it (waiting for it up to the patience) rather than scanning a second time.
    std::packaged_task<QStringList()> task(scan ? std::move(scan) : &ScanSystemPorts);
    AdoptEarlyPortScan(task.get_future(), patience);
    m_thread = std::thread([this, task = std::move(task)]() mutable {
#ifdef TELVANOR_HAVE_FONTCONFIG
        // The same configuration Qt loads at its first font: loaded once, it is shared.
        FcInit();
#endif
        m_fonts.set_value();
#ifdef Q_OS_LINUX
        // The scan only uses cores nothing else wants: the main thread and the display server
        // connecting to each other come first, and the window waits for the scan only when it
        // fills its port list, and then not for long (idle priority cannot be given up again
        // without privileges, and any busy program can hold it off).
        {
            const std::lock_guard<std::mutex> lock(m_priorityLock);
            const sched_param idle{};
            if (!m_bEnding)
                pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
        }
#endif
        task();
    });
}

CEarlyStart::~CEarlyStart() {
#ifdef Q_OS_LINUX
    {
        // A scan still held off by a busy machine would keep the program from ending for seconds:
        // back to normal priority where that is allowed (it takes privileges or a nice limit).
        const std::lock_guard<std::mutex> lock(m_priorityLock);
        m_bEnding = true;
        const sched_param normal{};
        pthread_setschedparam(m_thread.native_handle(), SCHED_OTHER, &normal);
    }
#endif
    m_thread.join();
    // A result nobody took must not be taken by a later window in this process either (tests).
    AdoptEarlyPortScan({});
}

void CEarlyStart::WaitForFonts() {
    m_fontsReady.wait();
}
