// Child of the layout tests: a real xcb window with a studied-language field and a native one,
// each switching to its group's layout on entry. Moves the focus native, studied, native; after
// each move presses the key of "a" through XTest and prints the locked group the X server
// reports and what the field received. Exit 77: no window could be had.
// Argument: AutoSwitchLayout, "1" or "0".
#include "settings/Lang.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <functional>

// Xlib's macros (Bool, None, Status) must come after everything else.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

bool waitFor(const std::function<bool()> &done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != "xcb") {
        std::fprintf(stderr, "platform is %s, not xcb\n", qPrintable(QGuiApplication::platformName()));
        return 77;
    }
    SetDefaultOptions(Options);
    Options.AutoSwitchLayout = argc > 1 && argv[1][0] == '1';

    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return 77;
    const auto group = [dpy] {
        XkbStateRec st;
        XkbGetState(dpy, XkbUseCoreKbd, &st);
        return int(st.locked_group);
    };

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *studied = new QLineEdit(&window);
    auto *native = new QLineEdit(&window);
    layout->addWidget(studied);
    layout->addWidget(native);
    SetLanguageField(studied, 0);
    SetLanguageField(native, 1);
    window.show();
    window.activateWindow();
    if (!waitFor([&] { return QApplication::activeWindow() == &window; })) {
        std::fprintf(stderr, "the window did not become active\n");
        return 77;
    }
    int status = 0;
    for (QLineEdit *field : {native, studied, native}) {
        field->setFocus(Qt::TabFocusReason);
        if (!waitFor([&] { return field->hasFocus(); })) {
            std::fprintf(stderr, "the field did not get the focus\n");
            status = 1;
        }
        // What the user types now: Qt must follow the server's group.
        field->clear();
        const KeyCode a = XKeysymToKeycode(dpy, XK_a);
        XTestFakeKeyEvent(dpy, a, True, 0);
        XTestFakeKeyEvent(dpy, a, False, 0);
        XSync(dpy, False);
        if (!waitFor([&] { return !field->text().isEmpty(); }))
            status = 1;
        std::printf("%s %d %s\n", field == native ? "native" : "studied", group(), field->text().toUtf8().constData());
    }
    XCloseDisplay(dpy);
    return status;
}
