// Wordpop's activity library "wordpop-hook.so": tells the program that the user is typing or
// moving the mouse, one byte per burst of activity written to the pipe named in the shared record.
// Relies on an X server with XInput 2 (raw events); watches on its own connection and thread.
#include "HookRecord.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Bursts closer together than this are reported once: the program only needs to know that the
// user is still busy, and a few notices per second keep its activity timer accurate enough.
constexpr auto BurstGap = std::chrono::milliseconds(200);

constexpr uint32_t KeyboardHandleValue = 0x6B657962; // any non-zero value marks "installed"
constexpr uint32_t MouseHandleValue = 0x6D6F7573;

enum Kind { Keyboard = 0, Mouse = 1 };

HookRecord g_record{0, 0, 0, -1};
std::mutex g_control; // start and stop may come from any thread of the program

// What one kind of activity has reported so far.
struct Reporter {
    std::atomic<bool> active{false};
    bool everWritten = false;
    bool trailing = false; // activity seen inside the gap, still to be reported
    Clock::time_point lastWrite{};
};

// Xlib ends the process when a connection breaks, unless the process-wide handler returns. Ours
// returns for our own connection only and leaves every other one to the handler it replaced.
std::atomic<Display *> g_ownDisplay{nullptr};
XIOErrorHandler g_previousIOError = nullptr;

int onIOError(Display *display)
{
    if (display == g_ownDisplay.load())
        return 0; // the exit handler below marks the watcher dead
    return g_previousIOError ? g_previousIOError(display) : 0;
}

// The X connection and the thread that reads it; exists while at least one hook is installed.
class Watcher {
public:
    static Watcher *open()
    {
        Display *display = XOpenDisplay(nullptr);
        if (!display)
            return nullptr;
        int opcode = 0, firstEvent = 0, firstError = 0;
        int major = 2, minor = 2;
        if (!XQueryExtension(display, "XInputExtension", &opcode, &firstEvent, &firstError)
            || XIQueryVersion(display, &major, &minor) != Success || major < 2) {
            XCloseDisplay(display);
            return nullptr;
        }
        const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wake < 0) {
            XCloseDisplay(display);
            return nullptr;
        }
        // A lost server must end this thread, not the program (Xlib's default is to exit).
        auto *w = new Watcher(display, opcode, wake);
        XSetIOErrorExitHandler(display, [](Display *, void *self) {
            static_cast<Watcher *>(self)->m_dead = true;
        }, w);
        g_ownDisplay = display;
        g_previousIOError = XSetIOErrorHandler(onIOError);

        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
        XISetMask(bits, XI_RawButtonPress);
        XISetMask(bits, XI_RawMotion);
        XIEventMask mask{XIAllMasterDevices, int(sizeof bits), bits};
        XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
        XSync(display, False);

        // The thread takes no signals: they belong to the program, and a closed pipe must give
        // EPIPE here rather than SIGPIPE.
        sigset_t all, old;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &old);
        w->m_thread = std::thread([w] { w->run(); });
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        return w;
    }

    ~Watcher()
    {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(m_wake, &one, sizeof one);
        if (m_thread.joinable())
            m_thread.join();
        // A broken connection stays locked inside Xlib, and closing it would wait forever:
        // only its socket is released.
        if (m_dead)
            close(ConnectionNumber(m_display));
        else
            XCloseDisplay(m_display);
        close(m_wake);
        // Give the handler back, unless someone replaced ours meanwhile.
        XIOErrorHandler current = XSetIOErrorHandler(g_previousIOError);
        if (current != onIOError)
            XSetIOErrorHandler(current);
        g_ownDisplay = nullptr;
        g_previousIOError = nullptr;
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

private:
    Watcher(Display *display, int opcode, int wake) : m_display(display), m_opcode(opcode), m_wake(wake) {}

    void run()
    {
        const int xfd = ConnectionNumber(m_display);
        while (!m_dead) {
            while (!m_dead && XPending(m_display) > 0) {
                XEvent ev;
                XNextEvent(m_display, &ev);
                if (ev.type != GenericEvent || ev.xcookie.extension != m_opcode)
                    continue;
                switch (ev.xcookie.evtype) {
                case XI_RawKeyPress:
                case XI_RawKeyRelease:
                    seen(Keyboard);
                    break;
                case XI_RawButtonPress:
                case XI_RawMotion:
                    seen(Mouse);
                    break;
                default:
                    break;
                }
            }
            if (m_dead)
                break;
            const int timeout = flushTrailing();
            pollfd fds[2] = {{xfd, POLLIN, 0}, {m_wake, POLLIN, 0}};
            if (poll(fds, 2, timeout) < 0 && errno != EINTR)
                break;
            if (fds[1].revents)
                break;
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
                break;
        }
    }

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

    Display *m_display;
    int m_opcode;
    int m_wake;
    std::atomic<int> m_fd{-1};
    std::atomic<bool> m_dead{false};
    Reporter m_reporters[2];
    std::thread m_thread;
};

Watcher *g_watcher = nullptr;

uint32_t &handleOf(Kind kind) { return kind == Keyboard ? g_record.keyboardHandle : g_record.mouseHandle; }

void startHook(Kind kind)
{
    std::lock_guard<std::mutex> lock(g_control);
    // The program zeroes the handles when it loads us; what is installed is known here.
    if (g_watcher && !g_watcher->isDead() && g_watcher->isActive(kind)) {
        handleOf(kind) = kind == Keyboard ? KeyboardHandleValue : MouseHandleValue;
        return;
    }
    const int fd = g_record.notifyFd;
    const int flags = fd >= 0 ? fcntl(fd, F_GETFL) : -1;
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY)
        return; // nowhere to report to
    if (!(flags & O_NONBLOCK))
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    if (g_watcher && g_watcher->isDead()) {
        // The server went away under the other hook: reconnect, keeping what it watched.
        const Kind other = kind == Keyboard ? Mouse : Keyboard;
        const bool otherActive = g_watcher->isActive(other);
        const int otherFd = g_watcher->fd();
        delete g_watcher;
        g_watcher = Watcher::open();
        if (g_watcher && otherActive)
            g_watcher->setActive(other, true, otherFd);
    }
    if (!g_watcher)
        g_watcher = Watcher::open();
    if (!g_watcher)
        return; // no X server or no XInput 2: the hook stays uninstalled
    g_watcher->setActive(kind, true, fd);
    handleOf(kind) = kind == Keyboard ? KeyboardHandleValue : MouseHandleValue;
}

void stopHook(Kind kind)
{
    std::lock_guard<std::mutex> lock(g_control);
    handleOf(kind) = 0;
    if (!g_watcher || !g_watcher->isActive(kind))
        return;
    g_watcher->setActive(kind, false, -1);
    if (!g_watcher->anyActive()) {
        delete g_watcher;
        g_watcher = nullptr;
    }
}

// Unloading with hooks still installed must not leave the thread running in unmapped code.
__attribute__((destructor)) void stopAllAtUnload()
{
    stopHook(Keyboard);
    stopHook(Mouse);
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) HookRecord *GETHOOKRECPOINTER() { return &g_record; }
__attribute__((visibility("default"))) void STARTKEYBHOOK() { startHook(Keyboard); }
__attribute__((visibility("default"))) void STARTMOUSEHOOK() { startHook(Mouse); }
__attribute__((visibility("default"))) void STOPKEYBHOOK() { stopHook(Keyboard); }
__attribute__((visibility("default"))) void STOPMOUSEHOOK() { stopHook(Mouse); }

} // extern "C"
