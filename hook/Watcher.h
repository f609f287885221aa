// What every watcher of the activity library shares: the pipe it reports to, one byte per burst
// and kind, and the thread it reads its source on. A watcher exists while a hook is installed.
// Relies on HookRecord.h for the bytes; the source (X server, compositor) is the subclass's.
#pragma once

#include "HookRecord.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <thread>

#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace wordpophook {

using Clock = std::chrono::steady_clock;

// Bursts closer together than this are reported once: the program only needs to know that the
// user is still busy, and a few notices per second keep its activity timer accurate enough.
constexpr auto BurstGap = std::chrono::milliseconds(200);

enum Kind { Keyboard = 0, Mouse = 1 };

class Watcher {
public:
    virtual ~Watcher()
    {
        stopThread();
        if (m_wake >= 0)
            close(m_wake);
    }

    void setActive(Kind kind, bool on, int fd)
    {
        if (on)
            m_fd.store(fd);
        m_reporters[kind].active.store(on);
    }

    bool isActive(Kind kind) const { return m_reporters[kind].active; }
    bool anyActive() const { return isActive(Keyboard) || isActive(Mouse); }
    bool isDead() const { return m_dead; }
    int fd() const { return m_fd; }
    uint32_t source() const { return m_source; }

protected:
    explicit Watcher(uint32_t source) : m_source(source), m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    bool usable() const { return m_wake >= 0; }

    // The thread takes no signals: they belong to the program, and a closed pipe must give
    // EPIPE here rather than SIGPIPE.
    void startThread()
    {
        sigset_t all, old;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &old);
        m_thread = std::thread([this] { run(); });
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }

    // Subclasses call this first in their destructor, before they free what run() reads.
    void stopThread()
    {
        if (!m_thread.joinable())
            return;
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(m_wake, &one, sizeof one);
        m_thread.join();
    }

    virtual void run() = 0;

    void seen(Kind kind)
    {
        Reporter &r = m_reporters[kind];
        if (!r.active)
            return;
        const auto now = Clock::now();
        if (!r.everWritten || now - r.lastWrite >= BurstGap)
            report(kind, now);
        else
            r.trailing = true;
    }

    // Reports activity held back inside the gap once the gap has passed, so that the last
    // notice of a burst is at most one gap older than the last input. Returns the poll timeout.
    int flushTrailing()
    {
        int timeout = -1;
        const auto now = Clock::now();
        for (int k = Keyboard; k <= Mouse; ++k) {
            Reporter &r = m_reporters[k];
            if (!r.trailing)
                continue;
            if (!r.active) {
                r.trailing = false;
                continue;
            }
            const auto due = r.lastWrite + BurstGap;
            if (now >= due) {
                report(Kind(k), now);
            } else {
                const int ms = int(std::chrono::ceil<std::chrono::milliseconds>(due - now).count());
                timeout = timeout < 0 ? ms : std::min(timeout, ms);
            }
        }
        return timeout;
    }

    uint32_t m_source; // set before the thread starts
    const int m_wake;
    std::atomic<bool> m_dead{false};

private:
    // What one kind of activity has reported so far.
    struct Reporter {
        std::atomic<bool> active{false};
        bool everWritten = false;
        bool trailing = false; // activity seen inside the gap, still to be reported
        Clock::time_point lastWrite{};
    };

    void report(Kind kind, Clock::time_point now)
    {
        Reporter &r = m_reporters[kind];
        r.everWritten = true;
        r.trailing = false;
        r.lastWrite = now;
        const unsigned char byte = kind == Keyboard ? HookKeyboardByte : HookMouseByte;
        // Non-blocking: a full pipe already tells the program enough, and input must never wait.
        [[maybe_unused]] ssize_t n = write(m_fd.load(), &byte, 1);
    }

    std::atomic<int> m_fd{-1};
    Reporter m_reporters[2];
    std::thread m_thread;
};

// The compositor's idle protocol, when this is a Wayland session and the compositor offers one;
// null otherwise (and always in a build without Wayland).
Watcher *openWaylandWatcher();

} // namespace wordpophook
