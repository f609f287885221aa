// Wordpop's activity library "wordpop-hook.so": tells the program that the user is typing or
// moving the mouse, one byte per burst of activity written to the pipe named in the shared record.
// Relies on an X server with XInput 2 (raw events), or on a Wayland session on the compositor's
// idle protocol (WaylandWatcher.cpp, loaded from "wordpop-hook-wayland.so" beside this library);
// watches on its own connection and thread.
#include "HookRecord.h"
#include "Watcher.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

using namespace wordpophook;

constexpr uint32_t KeyboardHandleValue = 0x6B657962; // any non-zero value marks "installed"
constexpr uint32_t MouseHandleValue = 0x6D6F7573;

HookRecord g_record{0, 0, 0, -1};
std::mutex g_control; // start and stop may come from any thread of the program

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

// The X connection and the thread that reads it.
class XWatcher : public Watcher {
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
        auto *w = new XWatcher(display, opcode);
        if (!w->usable()) {
            delete w;
            return nullptr;
        }
        // A lost server must end this thread, not the program (Xlib's default is to exit).
        XSetIOErrorExitHandler(display, [](Display *, void *self) {
            static_cast<XWatcher *>(self)->m_dead = true;
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
        w->startThread();
        return w;
    }

    ~XWatcher() override
    {
        stopThread();
        // A broken connection stays locked inside Xlib, and closing it would wait forever:
        // only its socket is released.
        if (m_dead)
            close(ConnectionNumber(m_display));
        else
            XCloseDisplay(m_display);
        if (g_ownDisplay.load() == m_display) {
            // Give the handler back, unless someone replaced ours meanwhile.
            XIOErrorHandler current = XSetIOErrorHandler(g_previousIOError);
            if (current != onIOError)
                XSetIOErrorHandler(current);
            g_ownDisplay = nullptr;
            g_previousIOError = nullptr;
        }
    }

private:
    XWatcher(Display *display, int opcode) : Watcher(HookSourceX11), m_display(display), m_opcode(opcode) {}

    void run() override
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

    Display *m_display;
    int m_opcode;
};

} // namespace

namespace wordpophook {

// The Wayland part lives in a library of its own beside this one, so that an X session never
// loads the Wayland client library. Once loaded it stays: a watcher's code lives in it.
Watcher *openWaylandWatcher()
{
#if WORDPOP_HOOK_WAYLAND
    Dl_info self{};
    if (!dladdr(reinterpret_cast<void *>(&openWaylandWatcher), &self) || !self.dli_fname)
        return nullptr;
    std::string path = self.dli_fname;
    path.erase(path.rfind('/') + 1);
    path += "wordpop-hook-wayland.so";
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!module)
        return nullptr;
    using Open = Watcher *(*)();
    const auto open = reinterpret_cast<Open>(dlsym(module, "wordpop_open_wayland_watcher"));
    return open ? open() : nullptr;
#else
    return nullptr;
#endif
}

} // namespace wordpophook

namespace {

// On a Wayland session the compositor sees all input, X clients' and native ones alike; the
// X server (XWayland) only sees its own windows'. Elsewhere, or when the compositor offers no
// idle protocol, XInput 2.
Watcher *openWatcher()
{
    const char *type = std::getenv("XDG_SESSION_TYPE");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    if ((type && std::strcmp(type, "wayland") == 0) || (wayland && *wayland)) {
        if (Watcher *w = openWaylandWatcher())
            return w;
    }
    return XWatcher::open();
}

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
        g_watcher = openWatcher();
        if (g_watcher && otherActive)
            g_watcher->setActive(other, true, otherFd);
    }
    if (!g_watcher)
        g_watcher = openWatcher();
    if (!g_watcher)
        return; // no X server or no XInput 2, no idle protocol: the hook stays uninstalled
    g_watcher->setActive(kind, true, fd);
    g_record.source = g_watcher->source();
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
