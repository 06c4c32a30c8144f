// Work the window needs before its first paint that needs no window: reading the font configuration
// and scanning the serial ports. Both are slow on Linux (fontconfig parses some fifty XML files,
// udev walks every tty in sysfs: together 15 ms here), so they run on one thread of their own from
// the program's first line, beside the display connection and the window's construction.
#pragma once

#include <QStringList>

#include <functional>
#include <future>
#include <thread>

class CEarlyStart {
public:
    // scan: the port scan (the system's by default; tests pass their own).
    explicit CEarlyStart(std::function<QStringList()> scan = {});
    // Waits for the thread: nothing of it outlives the program's own objects.
    ~CEarlyStart();
    CEarlyStart(const CEarlyStart&) = delete;
    CEarlyStart& operator=(const CEarlyStart&) = delete;

    // Returns once the font configuration is loaded; call before the first font is used, so that
    // Qt does not load it a second time beside the thread.
    void WaitForFonts();

private:
    std::promise<void> m_fonts;
    std::shared_future<void> m_fontsReady;
    std::thread m_thread;
};
