#pragma once
// Waiting in tests that run a Qt event loop. Every wait has a deadline, so that a fault
// fails the test instead of hanging it.

#include <QDeadlineTimer>
#include <QTest>

#include <functional>

namespace testsupport {

// Runs the event loop until done() holds or timeoutMs passes; returns done()'s last value.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs = 20000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

} // namespace testsupport
