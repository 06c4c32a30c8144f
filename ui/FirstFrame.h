// The start-up timing's report, shared by the window and the benchmark's bare dialog: called at the
// first paint, it prints the moment the frame is done on the steady clock and ends the program.
#pragma once

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>

inline void ReportFirstFrameAndQuit() {
    // Runs after the whole frame: a window's own paint comes first, its controls' after it.
    QTimer::singleShot(0, qApp, [] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        std::printf("first frame at %lld ns\n",
                    static_cast<long long>(std::chrono::nanoseconds(now).count()));
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
}
