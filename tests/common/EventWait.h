// Waiting in tests, with or without Qt's events running: until a condition holds, or for a time
// during which one must keep holding. Header-only; gtest assertions inside, so call from a test
// body.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>

// Runs events until `done` is true; false when `ms` milliseconds went by first.
inline bool waitUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Waits without running events (for another process, a server, a file) until `done` is true;
// false when `ms` milliseconds went by first.
inline bool pollUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QThread::msleep(20);
    }
    return true;
}

// Runs events for `ms` milliseconds, failing at once if `stillTrue` turns false; `each` runs
// before every round (to keep faking input, say).
inline void holdFor(const std::function<bool()> &stillTrue, int ms, const std::function<void()> &each = {})
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (each)
            each();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_TRUE(stillTrue()) << "after " << clock.elapsed() << " ms";
        QThread::msleep(1);
    }
}
