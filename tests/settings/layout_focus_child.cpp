// Child of the layout tests: a real xcb window with a studied-language field and a native one,
// each switching to its group's layout on entry. Moves the focus native, studied, native and
// prints after each move the locked group the X server reports. Exit 77: no window could be had.
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
        // Let the server's state notice reach Qt too: it must not switch back.
        QApplication::processEvents(QEventLoop::AllEvents, 100);
        std::printf("%s %d\n", field == native ? "native" : "studied", group());
    }
    XCloseDisplay(dpy);
    return status;
}
