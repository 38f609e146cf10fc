#pragma once

// The Qt application object that the desktop tests need for timers and socket notifiers (made on
// first use unless the test program has one), and a way to run its event loop until something
// has happened.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <chrono>
#include <functional>

namespace tarvo::test {

inline QCoreApplication& qtApplication() {
    if (auto* existing = QCoreApplication::instance()) {
        return *existing;
    }
    static int argc = 1;
    static char name[] = "tarvo-desktop-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return application;
}

// Processes events until `done` is true (checked after every round) or the time is up; gives
// whether `done` became true.
inline bool runEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    qtApplication();
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= timeout.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

// Processes events for the whole duration.
inline void runEventsFor(std::chrono::milliseconds duration) {
    runEventsUntil([] { return false; }, duration);
}

} // namespace tarvo::test
