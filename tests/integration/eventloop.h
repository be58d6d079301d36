// Bounded waits on the Qt event loop for the integration tests.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace tw::test {

// Runs the event loop until condition holds or timeoutMs has passed; returns
// the condition's last value.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() >= timeoutMs) {
            return false;
        }
        // Wait for events, but never longer than a slice.
        QEventLoop slice;
        QTimer::singleShot(10, &slice, &QEventLoop::quit);
        slice.exec();
    }
    return true;
}

// Runs the event loop for durationMs, to show that something does not happen.
inline void RunFor(int durationMs) {
    WaitUntil([] { return false; }, durationMs);
}

}  // namespace tw::test
