// The real wordpop on an X server of the test's own, driven by the keyboard alone through
// XTest: Alt+D opens the dictionaries window, Insert and Enter create a dictionary, Space
// unticks it, Esc closes the window; the files on disk follow each step.
#include "common/PrivateXServer.h"
#include "common/TestHome.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral(WORDPOP_BINARY_DIR "/wordpop");

// Runs until `done` holds; false after `ms` milliseconds.
bool waitFor(const std::function<bool()> &done, int ms)
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

// The test's own connection: finds the program's windows by title and types keys.
class Keyboard {
public:
    explicit Keyboard(const QString &display) : m_display(XOpenDisplay(display.toLocal8Bit().constData())) {}
    ~Keyboard()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool ok() const
    {
        int ev, err, major, minor;
        return m_display && XTestQueryExtension(m_display, &ev, &err, &major, &minor);
    }

    // Whether a mapped top-level window has this title.
    bool shown(const QString &title)
    {
        Window root = DefaultRootWindow(m_display), parent, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(m_display, root, &root, &parent, &children, &count))
            return false;
        bool found = false;
        const Atom name = XInternAtom(m_display, "_NET_WM_NAME", False);
        const Atom utf8 = XInternAtom(m_display, "UTF8_STRING", False);
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a;
            if (!XGetWindowAttributes(m_display, children[i], &a) || a.map_state != IsViewable)
                continue;
            Atom type;
            int format;
            unsigned long items, after;
            unsigned char *data = nullptr;
            if (XGetWindowProperty(m_display, children[i], name, 0, 1024, False, utf8, &type, &format, &items, &after,
                                   &data) == Success && data) {
                // The toolkit adds " — Wordpop" to every title.
                found = QString::fromUtf8(reinterpret_cast<char *>(data), int(items)).startsWith(title);
                XFree(data);
            }
        }
        if (children)
            XFree(children);
        return found;
    }

    void press(KeySym key, KeySym modifier = NoSymbol)
    {
        const KeyCode mod = modifier == NoSymbol ? 0 : XKeysymToKeycode(m_display, modifier);
        const KeyCode code = XKeysymToKeycode(m_display, key);
        if (mod)
            XTestFakeKeyEvent(m_display, mod, True, 0);
        XTestFakeKeyEvent(m_display, code, True, 0);
        XTestFakeKeyEvent(m_display, code, False, 0);
        if (mod)
            XTestFakeKeyEvent(m_display, mod, False, 0);
        XFlush(m_display);
    }

private:
    Display *m_display;
};

} // namespace

TEST(DictionariesWindow, TheKeyboardAloneTicksCreatesAndClosesAndTheFilesFollow)
{
    PrivateXServer x;
    if (!x.ok()) {
        if (x.why() == "Xvfb is not installed")
            GTEST_SKIP() << x.why();
        FAIL() << x.why();
    }
    TestHome home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WORDPOP_HOME", home.home());
    env.insert("XDG_CONFIG_HOME", home.configHome());
    env.insert("XDG_RUNTIME_DIR", home.runtimeDir());
    // No message log: with one the input-line window would answer by itself. A message shown
    // here would stay up and fail the step it blocks.
    env.remove("WORDPOP_MESSAGE_LOG");
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", x.display());
    int ready[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    ::fcntl(ready[1], F_SETFD, 0);
    env.insert("WORDPOP_READY_FD", QString::number(ready[1]));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(kProgram, {});
    ::close(ready[1]);
    ASSERT_TRUE(program.waitForStarted(10000));
    pollfd pfd{ready[0], POLLIN, 0};
    char c;
    const bool running = ::poll(&pfd, 1, 60000) == 1 && ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    ASSERT_TRUE(running) << "the program's event loop never ran";

    Keyboard keys(x.display());
    ASSERT_TRUE(keys.ok()) << "no XTest on the private server";
    const QString on = home.home() + "BASE/ON/", off = home.home() + "BASE/OFF/";
    const QString created = QStringLiteral("Новый словарь.wrd");
    // The first lesson shows at start; its window has the focus.
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(home.home() + "wordpop.opt"); }, 30000));
    QThread::msleep(1500);

    // Alt+D, until the window is up (the first presses may come before the trainer has focus).
    EXPECT_FALSE(keys.shown("Словари"));
    ASSERT_TRUE(waitFor([&] {
        keys.press(XK_d, XK_Alt_L);
        return waitFor([&] { return keys.shown("Словари"); }, 2000);
    }, 30000)) << "Alt+D did not open the dictionaries window";
    QThread::msleep(500);

    keys.press(XK_Insert);
    ASSERT_TRUE(waitFor([&] { return keys.shown("Пожалуйта, введите имя нового словаря"); }, 20000));
    QThread::msleep(300);
    keys.press(XK_Return);
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(on + created); }, 20000)) << "Enter accepted the proposed name";
    ASSERT_TRUE(waitFor([&] { return !keys.shown("Пожалуйта, введите имя нового словаря"); }, 20000));
    QThread::msleep(500);

    // The new entry is the selected one: Space unticks it, moving it to BASE/OFF/.
    keys.press(XK_space);
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(off + created) && !QFileInfo::exists(on + created); }, 20000))
        << "Space did not untick the new dictionary";
    keys.press(XK_space);
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(on + created) && !QFileInfo::exists(off + created); }, 20000))
        << "Space did not tick it again";

    const QDateTime saved = QFileInfo(home.home() + "wordpop.opt").lastModified();
    QThread::msleep(50);
    keys.press(XK_Escape);
    ASSERT_TRUE(waitFor([&] { return !keys.shown("Словари"); }, 20000)) << "Esc did not close the window";
    EXPECT_TRUE(waitFor([&] { return QFileInfo(home.home() + "wordpop.opt").lastModified() > saved; }, 5000))
        << "closing writes the settings";
    EXPECT_EQ(program.state(), QProcess::Running);

    ::kill(program.processId(), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}
