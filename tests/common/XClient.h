// A test's own connection to an X server: windows found by title or by process, keys sent
// through XTest as a user types them. Header-only; include it after every other header, since
// Xlib's macros (None, Bool, Status, KeyPress) clash with Qt's and the project's names.
#pragma once

#include <QList>
#include <QString>

#include <string>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace XClient {

// Windows come and go while a test looks at them; Xlib would end the process on the error.
inline int ignoreErrors(Display *, XErrorEvent *) { return 0; }

// A window's title as Qt sets it (_NET_WM_NAME in UTF-8, else WM_NAME).
inline std::string titleOf(Display *d, Window w)
{
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    std::string title;
    if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &items, &after, &data) == Success && data) {
        title.assign(reinterpret_cast<char *>(data), items);
        XFree(data);
    }
    if (title.empty()) {
        char *name = nullptr;
        if (XFetchName(d, w, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

inline bool viewable(Display *d, Window w)
{
    XWindowAttributes a;
    return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

// The process that owns the window (_NET_WM_PID), or -1.
inline long pidOf(Display *d, Window w)
{
    const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(d, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
        data && count == 1)
        pid = long(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

// The first viewable window below `root` whose title holds `part`.
inline Window findWindow(Display *d, Window root, const std::string &part)
{
    Window rootReturn, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, root, &rootReturn, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        if (viewable(d, children[i]) && titleOf(d, children[i]).find(part) != std::string::npos)
            found = children[i];
        else
            found = findWindow(d, children[i], part);
    }
    if (children)
        XFree(children);
    return found;
}

// The viewable top-level windows of process `pid`, bottom first.
inline QList<Window> shownWindowsOf(Display *d, long pid)
{
    QList<Window> found;
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i)
            if (pidOf(d, children[i]) == pid && viewable(d, children[i]))
                found.append(children[i]);
        XFree(children);
    }
    return found;
}

// One key pressed and let go, with a modifier (XK_Alt_L, XK_Control_L) held when one is given.
inline void pressKey(Display *d, KeySym sym, KeySym modifier = NoSymbol)
{
    const KeyCode code = XKeysymToKeycode(d, sym);
    const KeyCode mod = modifier == NoSymbol ? 0 : XKeysymToKeycode(d, modifier);
    if (mod)
        XTestFakeKeyEvent(d, mod, True, 0);
    XTestFakeKeyEvent(d, code, True, 0);
    XTestFakeKeyEvent(d, code, False, 0);
    if (mod)
        XTestFakeKeyEvent(d, mod, False, 0);
    XFlush(d);
}

// The test's own connection to the X server `display`, ignoring errors about windows that went
// away meanwhile; closed, and Xlib's error handler as it was, when it goes.
class Connection {
public:
    explicit Connection(const QString &display)
        : m_display(XOpenDisplay(display.toLocal8Bit().constData())), m_old(XSetErrorHandler(ignoreErrors))
    {
    }
    ~Connection()
    {
        if (m_display)
            XCloseDisplay(m_display);
        XSetErrorHandler(m_old);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Null when the server could not be reached.
    operator Display *() const { return m_display; }

private:
    Display *m_display;
    XErrorHandler m_old;
};

} // namespace XClient
