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

CEarlyStart::CEarlyStart(std::function<QStringList()> scan) : m_fontsReady(m_fonts.get_future().share()) {
    // The scan's result is handed over before the thread starts, so the first enumeration of the
    // window takes it (waiting if need be) and never scans a second time beside it.
    std::packaged_task<QStringList()> task(scan ? std::move(scan) : &ScanSystemPorts);
    AdoptEarlyPortScan(task.get_future());
    m_thread = std::thread([this, task = std::move(task)]() mutable {
#ifdef TELVANOR_HAVE_FONTCONFIG
        // The same configuration Qt loads at its first font: loaded once, it is shared.
        FcInit();
#endif
        m_fonts.set_value();
#ifdef Q_OS_LINUX
        // The scan only uses cores nothing else wants: the main thread and the display server
        // connecting to each other come first, and the window waits for the scan only when it
        // fills its port list.
        const sched_param idle{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
#endif
        task();
    });
}

CEarlyStart::~CEarlyStart() {
    m_thread.join();
    // A result nobody took must not be taken by a later window in this process either (tests).
    AdoptEarlyPortScan({});
}

void CEarlyStart::WaitForFonts() {
    m_fontsReady.wait();
}
