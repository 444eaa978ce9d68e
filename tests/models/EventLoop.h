#pragma once
// Waiting in model tests: turn the event loop until a condition holds, never a fixed sleep
// standing in for "long enough".
#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

namespace sorvel::test {

/// Turns the event loop until `done` holds or `ms` pass; returns whether it holds.
inline bool waitUntil(const std::function<bool()>& done, int ms = 10'000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

inline bool waitFor(const std::function<bool()>& done, int ms = 10'000) { return waitUntil(done, ms); }

} // namespace sorvel::test
