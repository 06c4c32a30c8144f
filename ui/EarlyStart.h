// Work the window needs before its first paint that needs no window: reading the font configuration
// and scanning the serial ports. Both are slow on Linux (fontconfig parses some fifty XML files,
// udev walks every tty in sysfs: together 15 ms here), so they run on one thread of their own from
// the program's first line, beside the display connection and the window's construction.
#pragma once

#include "PortList.h"

#include <QStringList>

#include <functional>
#include <future>
#include <mutex>
#include <thread>

class CEarlyStart {
public:
    // scan: the port scan (the system's by default; tests pass their own); patience: how long the
    // window's port list waits for it before scanning itself.
    explicit CEarlyStart(std::function<QStringList()> scan = {},
                         std::chrono::milliseconds patience = kEarlyScanPatience);
    // Waits for the thread: nothing of it outlives the program's own objects (a scan the window
    // stopped waiting for is let finish first).
    ~CEarlyStart();
    CEarlyStart(const CEarlyStart&) = delete;
    CEarlyStart& operator=(const CEarlyStart&) = delete;

    // Returns once the font configuration is loaded; call before the first font is used, so that
    // Qt does not load it a second time beside the thread.
    void WaitForFonts();

private:
    std::promise<void> m_fonts;
    std::shared_future<void> m_fontsReady;
    std::mutex m_priorityLock;
    bool m_bEnding = false; // under m_priorityLock: the thread no longer lowers its priority
    std::thread m_thread;
};
