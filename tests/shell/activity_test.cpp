// The activity library, its loader and the activity monitor, against the X server of the test
// run: input is faked through XTest on a connection of the test's own.
#include "shell/ActivityMonitor.h"
#include "shell/HookLibrary.h"

#include "HookRecord.h"
#include "common/EventWait.h"
#include "common/PrivateXServer.h"
#include "common/ScopedEnv.h"
#include "common/TestHome.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

// Xlib's macros (Bool, None, Status) must come after everything else.
#include "common/XClient.h"

namespace {

const char *const kLibrary = WORDPOP_HOOK_LIBRARY;
const char *const kIncomplete = WORDPOP_INCOMPLETE_HOOK;

// An X server of one test's own, so that input faked by tests running beside it on the shared
// server cannot show up here (nor ours there); $DISPLAY points at it for the scope, and still
// does after stop() (a server that went away).
class PrivateServer {
public:
    PrivateServer()
    {
        if (m_x.ok())
            m_display.emplace("DISPLAY", m_x.display().toLocal8Bit().constData());
    }
    bool running() const { return m_display.has_value(); }
    bool installed() const { return m_x.installed(); }
    const std::string &unavailable() const { return m_x.why(); }
    void stop() { m_x.stop(); }

private:
    PrivateXServer m_x;
    std::optional<ScopedEnv> m_display;
};

// A connection of the test's own that fakes keyboard and mouse input, on a private server when
// Xvfb is at hand, else on the test command's server.
class FakeInput {
public:
    FakeInput()
    {
        if (m_server.installed() && !m_server.running()) {
            m_failed = "the test's own X server: " + m_server.unavailable();
            return;
        }
        if (!m_server.running() && qEnvironmentVariableIsEmpty("DISPLAY")) {
            m_why = "no X server: " + m_server.unavailable()
                    + " and $DISPLAY is not set (the test command runs under xvfb-run)";
            return;
        }
        m_display = XOpenDisplay(nullptr);
        if (!m_display) {
            m_why = "cannot open the X display " + qEnvironmentVariable("DISPLAY").toStdString();
            return;
        }
        int ev, err, major, minor;
        if (!XTestQueryExtension(m_display, &ev, &err, &major, &minor))
            m_why = "the X server has no XTest extension";
    }
    ~FakeInput()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    // Empty when input can be faked, otherwise the reason it cannot.
    const std::string &unavailable() const { return m_why; }
    // Non-empty when Xvfb is installed but its server could not be had: a failure, not a skip.
    const std::string &failed() const { return m_failed; }

    void key() { XClient::pressKey(m_display, XK_Shift_L); }
    void move()
    {
        m_step = (m_step + 1) % 40;
        XTestFakeMotionEvent(m_display, -1, 100 + 7 * m_step, 100 + 5 * m_step, 0);
        XFlush(m_display);
    }
    void click()
    {
        XTestFakeButtonEvent(m_display, 1, True, 0);
        XTestFakeButtonEvent(m_display, 1, False, 0);
        XFlush(m_display);
    }

private:
    PrivateServer m_server;
    Display *m_display = nullptr;
    std::string m_why;
    std::string m_failed;
    int m_step = 0;
};

// Everything written to the pipe during the next `ms` milliseconds.
QByteArray collect(int fd, int ms)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    for (qint64 left = ms; left > 0; left = ms - clock.elapsed()) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, int(left)) > 0) {
            char buf[64];
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0)
                got.append(buf, int(n));
        }
    }
    return got;
}

// Waits up to `ms` for the first notice, then keeps what follows for a moment.
QByteArray firstNotices(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0)
        return {};
    return collect(fd, 100);
}

TOptions activityOptions(bool keyboard, bool mouse, int pause = 300)
{
    TOptions o{};
    o.CheckKeyboardActivity = keyboard;
    o.CheckMouseActivity = mouse;
    o.InactivityPause = pause;
    o.HookLoaded = false;
    return o;
}

#define REQUIRE_FAKE_INPUT(input)                      \
    FakeInput input;                                   \
    ASSERT_TRUE(input.failed().empty()) << input.failed(); \
    if (!input.unavailable().empty())                  \
        GTEST_SKIP() << input.unavailable()

} // namespace

TEST(HookLibrary, ReportsEachKindOfInputWhileItsHookIsInstalled)
{
    REQUIRE_FAKE_INPUT(input);
    HookLibrary hooks;
    ASSERT_TRUE(hooks.load(kLibrary));
    EXPECT_NE(hooks.keyboardHandle(), 0u);
    EXPECT_NE(hooks.mouseHandle(), 0u);
    ASSERT_GE(hooks.readFd(), 0);
    collect(hooks.readFd(), 300);

    struct Case { const char *what; std::function<void()> act; char byte; };
    const Case cases[] = {
        {"key", [&] { input.key(); }, 2},
        {"motion", [&] { input.move(); }, 3},
        {"button", [&] { input.click(); }, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        collect(hooks.readFd(), 250); // let the previous burst's last notice out
        c.act();
        const QByteArray got = firstNotices(hooks.readFd(), 2000);
        ASSERT_FALSE(got.isEmpty());
        EXPECT_EQ(got.count(c.byte), got.size()) << got.toHex().constData();
    }
}

TEST(HookLibrary, StoppedHooksAreSilentAndStartAgain)
{
    REQUIRE_FAKE_INPUT(input);
    HookLibrary hooks;
    ASSERT_TRUE(hooks.load(kLibrary));
    hooks.stopHooks();
    EXPECT_EQ(hooks.keyboardHandle(), 0u);
    EXPECT_EQ(hooks.mouseHandle(), 0u);
    collect(hooks.readFd(), 250);
    input.key();
    input.move();
    EXPECT_TRUE(collect(hooks.readFd(), 500).isEmpty());

    hooks.startHooks();
    EXPECT_NE(hooks.keyboardHandle(), 0u);
    EXPECT_NE(hooks.mouseHandle(), 0u);
    input.key();
    EXPECT_FALSE(firstNotices(hooks.readFd(), 2000).isEmpty());
}

TEST(HookLibrary, EachHookStopsOnItsOwn)
{
    REQUIRE_FAKE_INPUT(input);
    HookLibrary hooks;
    ASSERT_TRUE(hooks.load(kLibrary));
    // The same library, reached directly: dlopen hands back the loaded copy.
    void *lib = dlopen(kLibrary, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    auto stopKeyb = reinterpret_cast<void (*)()>(dlsym(lib, "STOPKEYBHOOK"));
    ASSERT_NE(stopKeyb, nullptr);
    stopKeyb();
    dlclose(lib);
    EXPECT_EQ(hooks.keyboardHandle(), 0u);
    EXPECT_NE(hooks.mouseHandle(), 0u);

    collect(hooks.readFd(), 250);
    input.key();
    EXPECT_TRUE(collect(hooks.readFd(), 500).isEmpty());
    input.move();
    EXPECT_TRUE(firstNotices(hooks.readFd(), 2000).contains(char(3)));

    hooks.unload();
    EXPECT_FALSE(hooks.isLoaded());
    EXPECT_EQ(hooks.readFd(), -1);
    EXPECT_EQ(hooks.mouseHandle(), 0u);
}

TEST(HookLibrary, SurvivesTheLossOfItsXServer)
{
    PrivateServer server;
    if (!server.installed())
        GTEST_SKIP() << "no X server of the test's own: " << server.unavailable();
    ASSERT_TRUE(server.running()) << "the test's own X server: " << server.unavailable();
    HookLibrary hooks;
    ASSERT_TRUE(hooks.load(kLibrary));
    server.stop();
    QThread::msleep(300); // the library's thread notices the closed connection
    // Still running; stopping and unloading must not hang on the dead connection.
    QElapsedTimer clock;
    clock.start();
    hooks.stopHooks();
    EXPECT_EQ(hooks.keyboardHandle(), 0u);
    hooks.unload();
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST(HookLibrary, ContinuousInputGivesAFewNoticesPerSecond)
{
    REQUIRE_FAKE_INPUT(input);
    HookLibrary hooks;
    ASSERT_TRUE(hooks.load(kLibrary));
    collect(hooks.readFd(), 300);
    QElapsedTimer clock;
    clock.start();
    int events = 0;
    while (clock.elapsed() < 1000) {
        input.key();
        input.move();
        ++events;
        QThread::msleep(5);
    }
    const QByteArray got = collect(hooks.readFd(), 400);
    ASSERT_GT(events, 50);
    // One second of input plus the held-back last notice of each kind.
    EXPECT_GE(got.count(char(2)), 2);
    EXPECT_LE(got.count(char(2)), 8);
    EXPECT_GE(got.count(char(3)), 2);
    EXPECT_LE(got.count(char(3)), 8);
}

TEST(HookLibrary, UnusableLibrariesCountAsNotLoaded)
{
    // Keep the incomplete library resident so its call counter survives the loader's dlclose.
    void *incomplete = dlopen(kIncomplete, RTLD_NOW);
    ASSERT_NE(incomplete, nullptr) << dlerror();
    auto startCalls = reinterpret_cast<int (*)()>(dlsym(incomplete, "STARTCALLS"));
    ASSERT_NE(startCalls, nullptr);

    struct Case { const char *what; QString file; const char *display; };
    const Case cases[] = {
        {"missing file", QString::fromUtf8(kLibrary) + ".absent", nullptr},
        {"not a library", QString::fromUtf8(WORDPOP_SOURCE_DIR "/tests/shell/activity_test.cpp"), nullptr},
        {"no STOPMOUSEHOOK", QString::fromUtf8(kIncomplete), nullptr},
        {"no X server", QString::fromUtf8(kLibrary), ""},
        {"unreachable X server", QString::fromUtf8(kLibrary), ":4711"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<ScopedEnv> display;
        if (c.display)
            display.emplace("DISPLAY", *c.display ? c.display : nullptr);
        HookLibrary hooks;
        EXPECT_FALSE(hooks.load(c.file));
        EXPECT_FALSE(hooks.isLoaded());
        EXPECT_EQ(hooks.readFd(), -1);
        EXPECT_EQ(hooks.keyboardHandle(), 0u);
        EXPECT_EQ(hooks.mouseHandle(), 0u);
        hooks.stopHooks(); // harmless when not loaded
        hooks.unload();
    }
    EXPECT_EQ(startCalls(), 0);
    dlclose(incomplete);
}

TEST(HookLibrary, LooksInTheProgramFolderFirst)
{
    TestHome home;
    ProgramFolder::resolve();
    {
        HookLibrary hooks;
        EXPECT_FALSE(hooks.load()) << "found " << hooks.file().toStdString();
    }
    // The first copy found is used, even a broken one.
    ASSERT_TRUE(QFile::copy(kIncomplete, home.home() + "wordpop-hook.so"));
    {
        HookLibrary hooks;
        EXPECT_FALSE(hooks.load());
    }
    REQUIRE_FAKE_INPUT(input);
    QFile::remove(home.home() + "wordpop-hook.so");
    ASSERT_TRUE(QFile::copy(kLibrary, home.home() + "wordpop-hook.so"));
    HookLibrary hooks;
    ASSERT_TRUE(hooks.load());
    EXPECT_EQ(hooks.file(), home.home() + "wordpop-hook.so");
    EXPECT_NE(hooks.keyboardHandle(), 0u);
}

TEST(ActivityMonitor, WithoutALibraryTheUserStaysIdle)
{
    TestHome home;
    ProgramFolder::resolve();
    TOptions options = activityOptions(true, true);
    options.HookLoaded = true; // whatever the file held
    ActivityMonitor monitor(options);
    QTimer *timer = monitor.activityTimer();
    EXPECT_EQ(timer->objectName(), "TActivity");
    EXPECT_TRUE(timer->isSingleShot());
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(timer->interval(), 300);

    MessageBox::TestHook boxes;
    EXPECT_FALSE(monitor.loadLibrary());
    EXPECT_FALSE(monitor.libraryLoaded());
    EXPECT_FALSE(options.HookLoaded);
    EXPECT_FALSE(monitor.loadLibrary(QString::fromUtf8(kIncomplete)));
    EXPECT_FALSE(options.HookLoaded);
    monitor.lessonEnded();
    monitor.lessonStarted();
    EXPECT_TRUE(boxes.shown().isEmpty()); // a missing library is no news to the user
    EXPECT_TRUE(monitor.idle());
    EXPECT_FALSE(monitor.pending());
    EXPECT_FALSE(timer->isActive());
}

TEST(ActivityMonitor, CountedActivityHoldsIdleBackForThePause)
{
    REQUIRE_FAKE_INPUT(input);
    struct Case { const char *what; bool checkKeyboard, checkMouse, typing, counted; };
    const Case cases[] = {
        {"key, both checked", true, true, true, true},
        {"mouse, both checked", true, true, false, true},
        {"key, only mouse checked", false, true, true, false},
        {"mouse, only mouse checked", false, true, false, true},
        {"mouse, only keyboard checked", true, false, false, false},
        {"key, only keyboard checked", true, false, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TOptions options = activityOptions(c.checkKeyboard, c.checkMouse);
        ActivityMonitor monitor(options);
        int expired = 0;
        QObject::connect(&monitor, &ActivityMonitor::activityTimerExpired, [&] {
            ++expired;
            EXPECT_TRUE(monitor.idle()); // idle is set before the lesson steps run
            EXPECT_FALSE(monitor.activityTimer()->isActive());
        });
        ASSERT_TRUE(monitor.loadLibrary(QString::fromUtf8(kLibrary)));
        EXPECT_TRUE(options.HookLoaded);
        ASSERT_TRUE(monitor.idle());

        c.typing ? input.key() : input.move();
        if (!c.counted) {
            holdFor([&] { return monitor.idle() && !monitor.activityTimer()->isActive(); }, 600);
            EXPECT_EQ(expired, 0);
            continue;
        }
        ASSERT_TRUE(waitUntil([&] { return !monitor.idle(); }, 2000));
        QElapsedTimer busy;
        busy.start();
        EXPECT_TRUE(monitor.activityTimer()->isActive());
        EXPECT_EQ(monitor.activityTimer()->interval(), 300);
        ASSERT_TRUE(waitUntil([&] { return monitor.idle(); }, 2000));
        EXPECT_GE(busy.elapsed(), 250);
        EXPECT_EQ(expired, 1);
        EXPECT_FALSE(monitor.activityTimer()->isActive());
    }
}

TEST(ActivityMonitor, ContinuedInputKeepsPostponingTheTimer)
{
    REQUIRE_FAKE_INPUT(input);
    // A longer pause than elsewhere, so that a busy machine cannot make a gap between notices.
    TOptions options = activityOptions(true, true, 700);
    ActivityMonitor monitor(options);
    int expired = 0;
    QObject::connect(&monitor, &ActivityMonitor::activityTimerExpired, [&] { ++expired; });
    ASSERT_TRUE(monitor.loadLibrary(QString::fromUtf8(kLibrary)));
    input.key();
    ASSERT_TRUE(waitUntil([&] { return !monitor.idle(); }, 2000));

    // Typing for three pauses' worth, a key every 100 ms.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2100) {
        input.key();
        holdFor([&] { return !monitor.idle(); }, 100);
        if (HasFatalFailure())
            return;
    }
    EXPECT_EQ(expired, 0);
    QElapsedTimer quiet;
    quiet.start();
    ASSERT_TRUE(waitUntil([&] { return monitor.idle(); }, 3000));
    EXPECT_GE(quiet.elapsed(), 400);
    EXPECT_EQ(expired, 1);
}

TEST(ActivityMonitor, LessonsAndUnloadingStopTheWatching)
{
    REQUIRE_FAKE_INPUT(input);
    TOptions options = activityOptions(true, true);
    ActivityMonitor monitor(options);
    ASSERT_TRUE(monitor.loadLibrary(QString::fromUtf8(kLibrary)));
    HookLibrary &hooks = monitor.library();

    monitor.lessonStarted();
    EXPECT_EQ(hooks.keyboardHandle(), 0u);
    EXPECT_EQ(hooks.mouseHandle(), 0u);
    input.key();
    input.move();
    holdFor([&] { return monitor.idle(); }, 500);

    monitor.lessonEnded();
    EXPECT_NE(hooks.keyboardHandle(), 0u);
    EXPECT_NE(hooks.mouseHandle(), 0u);
    input.move();
    ASSERT_TRUE(waitUntil([&] { return !monitor.idle(); }, 2000));
    ASSERT_TRUE(waitUntil([&] { return monitor.idle(); }, 2000));

    // The options window switches both checks off, then one on again.
    monitor.unloadLibrary();
    EXPECT_FALSE(options.HookLoaded);
    EXPECT_FALSE(monitor.libraryLoaded());
    input.key();
    holdFor([&] { return monitor.idle(); }, 500);
    ASSERT_TRUE(monitor.loadLibrary(QString::fromUtf8(kLibrary)));
    EXPECT_TRUE(options.HookLoaded);
    input.key();
    EXPECT_TRUE(waitUntil([&] { return !monitor.idle(); }, 2000));
}

TEST(ActivityMonitor, OtherNoticesOnThePipe)
{
    REQUIRE_FAKE_INPUT(input);
    TOptions options = activityOptions(true, true);
    ActivityMonitor monitor(options);
    int shows = 0, expired = 0;
    QObject::connect(&monitor, &ActivityMonitor::showTrainerRequested, [&] { ++shows; });
    QObject::connect(&monitor, &ActivityMonitor::activityTimerExpired, [&] { ++expired; });
    ASSERT_TRUE(monitor.loadLibrary(QString::fromUtf8(kLibrary)));
    // Written where the library writes: the descriptor the program put into the record.
    void *lib = dlopen(kLibrary, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    const int fd = reinterpret_cast<HookRecPointerFn>(dlsym(lib, "GETHOOKRECPOINTER"))()->notifyFd;
    dlclose(lib);
    ASSERT_GE(fd, 0);

    struct Case { unsigned char notice; int shows; };
    const Case cases[] = {{4, 1}, {5, 0}, {0, 0}, {255, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.notice));
        shows = 0;
        ASSERT_EQ(write(fd, &c.notice, 1), 1);
        if (c.shows)
            EXPECT_TRUE(waitUntil([&] { return shows == c.shows; }, 2000));
        else
            holdFor([&] { return shows == 0; }, 200);
        EXPECT_TRUE(monitor.idle());
        EXPECT_FALSE(monitor.activityTimer()->isActive());
    }
    EXPECT_EQ(expired, 0);
}

TEST(ActivityMonitor, ADamagedPauseStillLetsTheUserBecomeIdle)
{
    REQUIRE_FAKE_INPUT(input);
    TOptions options = activityOptions(true, true, -5000);
    ActivityMonitor monitor(options);
    ASSERT_TRUE(monitor.loadLibrary(QString::fromUtf8(kLibrary)));
    int expired = 0;
    QObject::connect(&monitor, &ActivityMonitor::activityTimerExpired, [&] { ++expired; });
    input.key();
    EXPECT_TRUE(waitUntil([&] { return expired > 0; }, 2000));
    EXPECT_TRUE(monitor.idle());
}
