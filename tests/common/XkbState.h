// The keyboard's layout groups as an X server has them, read and set on a test's own
// connection (independently of the code under test). Header-only; needs libX11.
#pragma once

#include <gtest/gtest.h>

// After every other header: X11's macros (None, Bool, Status) clash with them.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

inline int xkbGroupCount(Display *dpy)
{
    XkbDescPtr xkb = XkbAllocKeyboard();
    int groups = 0;
    if (xkb && XkbGetControls(dpy, XkbAllControlsMask, xkb) == Success && xkb->ctrls)
        groups = xkb->ctrls->num_groups;
    if (xkb)
        XkbFreeKeyboard(xkb, 0, True);
    return groups;
}

inline int xkbLockedGroup(Display *dpy)
{
    XkbStateRec st;
    EXPECT_EQ(XkbGetState(dpy, XkbUseCoreKbd, &st), Success);
    return st.locked_group;
}

inline void xkbLock(Display *dpy, int group)
{
    XkbLockGroup(dpy, XkbUseCoreKbd, group);
    XSync(dpy, False);
}
