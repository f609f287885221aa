// The tray icon, the tray menu and lesson scheduling, driven against a stand-in trainer window
// that keeps the trainer's side of the bargain: its lesson timer ticks into the scheduler, its
// showing and hiding are the start and end of a lesson. Timers run on a shortened minute.
#include "shell/ActivityMonitor.h"
#include "shell/HiddenWindow.h"
#include "shell/Scheduler.h"
#include "shell/TrayMenu.h"

#include "common/EventWait.h"
#include "common/PrivateXServer.h"
#include "common/TestHome.h"
#include "messages/Information.h"
#include "platform/ProgramFolder.h"
#include "platform/TimeScale.h"
#include "platform/Tray.h"
#include "platform/WorkArea.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QProcess>
#include <QPushButton>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <unistd.h>

// Xlib's macros (Bool, None, Status) must come after everything else.
#include "ProgramOnOwnX.h"
// Qt's key events are meant below, not X's.
#undef KeyPress
#undef KeyRelease

namespace {

// The trainer window as scheduling sees it.
class StandInTrainer : public QWidget, public TLessonWindow {
public:
    StandInTrainer()
    {
        setWindowTitle(QStringLiteral("Wordpop lesson stand-in"));
        resize(240, 160);
        clock.start();
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (scheduler)
                scheduler->LessonTimerFired();
        });
    }
    ~StandInTrainer() override { scheduler = nullptr; }

    bool LessonVisible() const override { return isVisible(); }
    void ShowLesson() override { show(); }
    void BringToFront() override
    {
        raise();
        activateWindow();
    }
    QTimer &LessonTimer() override { return timer; }
    bool Quitting() const override { return quitting; }
    void SetQuitting() override { quitting = true; }
    void ApplySettings() override { ++applied; }

    TScheduler *scheduler = nullptr;
    QTimer timer;
    bool quitting = false;
    int applied = 0;
    QElapsedTimer clock;
    QList<qint64> shownAt; // clock times of the lesson starts

protected:
    void showEvent(QShowEvent *) override
    {
        shownAt.append(clock.elapsed());
        if (scheduler)
            scheduler->LessonStarted();
    }
    void hideEvent(QHideEvent *) override
    {
        if (scheduler)
            scheduler->LessonEnded();
    }
};

// A minute of `ms` milliseconds for one scope.
class ScaledMinute {
public:
    explicit ScaledMinute(int ms) { TimeScale::setMsPerMinute(ms); }
    ~ScaledMinute() { TimeScale::setMsPerMinute(0); }
};

void pump(int ms)
{
    holdFor([] { return true; }, ms);
}

QImage image(const QIcon &icon)
{
    return icon.pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32);
}

void sendKey(QWidget *to, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(to, &release);
}

TOptions schedulingOptions(int interval, int pause)
{
    TOptions o{};
    o.AutoShow = true;
    o.AutoShowInterval = interval;
    o.InactivityPause = pause;
    o.CheckKeyboardActivity = true;
    o.CheckMouseActivity = true;
    return o;
}

// The scheduling parts as start-up puts them together, around the stand-in trainer.
class Tray : public ::testing::Test {
protected:
    void SetUp() override
    {
        make(schedulingOptions(15, 300));
    }
    void make(const TOptions &o)
    {
        menu.reset();
        scheduler.reset();
        trainer.reset();
        monitor.reset();
        options = o;
        monitor = std::make_unique<ActivityMonitor>(options);
        trainer = std::make_unique<StandInTrainer>();
        scheduler = std::make_unique<TScheduler>(*trainer, *monitor, options);
        trainer->scheduler = scheduler.get();
        menu = std::make_unique<TFTrayMenu>(*trainer, options);
        menu->OnQuit = [this] { ++quits; };
    }
    void TearDown() override
    {
        menu.reset();
        if (trainer)
            trainer->scheduler = nullptr;
        scheduler.reset();
        trainer.reset();
        monitor.reset();
    }

    TestHome home;
    TOptions options{};
    std::unique_ptr<ActivityMonitor> monitor;
    std::unique_ptr<StandInTrainer> trainer;
    std::unique_ptr<TScheduler> scheduler;
    std::unique_ptr<TFTrayMenu> menu;
    int quits = 0;
};

} // namespace

TEST_F(Tray, IntervalZeroNeverOpensALessonButALeftClickDoes)
{
    ScaledMinute minute(10);
    struct Case { int interval; bool opensByItself; };
    for (const Case c : {Case{0, false}, Case{2, true}}) {
        SCOPED_TRACE(c.interval);
        make(schedulingOptions(c.interval, 300));
        scheduler->ArmLessonTimer();
        EXPECT_EQ(trainer->timer.isActive(), c.opensByItself);
        if (c.opensByItself) {
            EXPECT_TRUE(waitUntil([&] { return trainer->isVisible(); }, 2000));
            trainer->hide();
            continue;
        }
        holdFor([&] { return !trainer->isVisible(); }, 300);
        menu->TrayLeftButtonDown();
        EXPECT_TRUE(trainer->isVisible());
        EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == trainer.get(); }, 2000));
        // Its end arms nothing either.
        trainer->hide();
        EXPECT_FALSE(trainer->timer.isActive());
        holdFor([&] { return !trainer->isVisible(); }, 100);
    }
}

TEST_F(Tray, WithoutTheActivityLibraryADueLessonOpensAtOnce)
{
    ScaledMinute minute(20);
    make(schedulingOptions(5, 60000));
    ASSERT_FALSE(monitor->libraryLoaded());
    scheduler->ArmLessonTimer();
    ASSERT_TRUE(waitUntil([&] { return trainer->isVisible(); }, 3000));
    // Due after 5 "minutes" of 20 ms; the minute-long pause played no part.
    EXPECT_GE(trainer->shownAt.first(), 95);
    EXPECT_LT(trainer->shownAt.first(), 2000);
    EXPECT_TRUE(monitor->idle());
    EXPECT_FALSE(monitor->pending());
    EXPECT_FALSE(trainer->timer.isActive()) << "the tick disarms the lesson timer";
}

TEST_F(Tray, ALessonDueWhileTheUserTypesWaitsForThePauseThenTakesTheFocus)
{
    PrivateXServer server;
    REQUIRE_PRIVATE_X_SERVER(server);
    ScopedDisplay display(server.display());
    Display *x = XOpenDisplay(server.display().toLatin1().constData());
    ASSERT_NE(x, nullptr);
    int ev, err, major, minor;
    if (!XTestQueryExtension(x, &ev, &err, &major, &minor)) {
        XCloseDisplay(x);
        GTEST_SKIP() << "the X server has no XTest extension";
    }
    auto type = [&] { XClient::pressKey(x, XK_Shift_L); };

    ScaledMinute minute(100);
    // Long beside the 40 ms between keys, so that a busy machine's stall does not end the typing.
    const int pause = 700;
    make(schedulingOptions(2, pause));
    ASSERT_TRUE(monitor->loadLibrary(QString::fromUtf8(WORDPOP_HOOK_LIBRARY)));
    type();
    ASSERT_TRUE(waitUntil([&] { return !monitor->idle(); }, 3000)) << "the library reports no typing";

    scheduler->ArmLessonTimer();
    QElapsedTimer lastKey;
    lastKey.start();
    QElapsedTimer typing;
    typing.start();
    // Typing on through the moment the lesson falls due (200 ms) and well past it.
    holdFor([&] { return !trainer->isVisible(); }, 900, [&] {
        if (typing.elapsed() >= 40) {
            type();
            lastKey.restart();
            typing.restart();
        }
    });
    EXPECT_TRUE(monitor->pending());
    EXPECT_FALSE(trainer->timer.isActive());

    // Quiet now: the lesson opens once the pause has passed since the last key.
    lastKey.restart();
    ASSERT_TRUE(waitUntil([&] { return trainer->isVisible(); }, 5000));
    EXPECT_GE(lastKey.elapsed(), pause - 20);
    EXPECT_FALSE(monitor->pending());
    EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == trainer.get(); }, 2000));
    // During the lesson nothing is watched; at its end the watching starts again.
    EXPECT_EQ(monitor->library().keyboardHandle(), 0u);
    trainer->hide();
    EXPECT_NE(monitor->library().keyboardHandle(), 0u);
    EXPECT_TRUE(trainer->timer.isActive());

    monitor->unloadLibrary();
    XCloseDisplay(x);
}

TEST_F(Tray, UntickingAutoShowSwitchesTheIconAtOnceAndStopsLessons)
{
    ScaledMinute minute(20);
    make(schedulingOptions(3, 300));
    ASSERT_NE(image(TrayIcons::lessonsOn()), image(TrayIcons::lessonsOff()));
    EXPECT_TRUE(menu->Tray().added());
    EXPECT_EQ(menu->Tray().tip(), "Wordpop is running");
    EXPECT_EQ(image(menu->Tray().icon()), image(TrayIcons::lessonsOn()));

    menu->Popup(QPoint(400, 400));
    ASSERT_TRUE(menu->CBAutoShow->isChecked());
    menu->CBAutoShow->click();
    EXPECT_FALSE(options.AutoShow);
    EXPECT_EQ(image(menu->Tray().icon()), image(TrayIcons::lessonsOff()));

    scheduler->ArmLessonTimer();
    // Several intervals pass; the timer keeps ticking but nothing shows.
    holdFor([&] { return !trainer->isVisible(); }, 400);
    EXPECT_TRUE(trainer->timer.isActive());

    menu->Popup(QPoint(400, 400));
    EXPECT_FALSE(menu->CBAutoShow->isChecked());
    menu->CBAutoShow->click();
    EXPECT_EQ(image(menu->Tray().icon()), image(TrayIcons::lessonsOn()));
    EXPECT_TRUE(waitUntil([&] { return trainer->isVisible(); }, 2000));
}

TEST(TrayRestart, AutoShowIsOnAgainAtEveryStart)
{
    TestHome home;
    ProgramFolder::resolve();
    SetDefaultOptions(Options);
    Options.AutoShow = false;
    ASSERT_TRUE(SaveOptions(Options));
    TFNo hidden;
    EXPECT_TRUE(Options.AutoShow);
    StandInTrainer trainer;
    TFTrayMenu menu(trainer, Options);
    EXPECT_EQ(image(menu.Tray().icon()), image(TrayIcons::lessonsOn()));
    menu.Popup(QPoint(300, 300));
    EXPECT_TRUE(menu.CBAutoShow->isChecked());
    ProgramFolder::set(QString());
}

TEST_F(Tray, NextLessonComesTheIntervalAfterThePreviousOneEnded)
{
    // 15 "minutes" of 20 ms.
    ScaledMinute minute(20);
    make(schedulingOptions(15, 300));
    const int interval = 300;
    scheduler->ArmLessonTimer();
    trainer->clock.restart();
    pump(50);
    menu->TrayLeftButtonDown();
    ASSERT_TRUE(trainer->isVisible());
    // The armed timer falls due during the lesson: it only disarms itself.
    ASSERT_TRUE(waitUntil([&] { return !trainer->timer.isActive(); }, 2000));
    EXPECT_EQ(trainer->shownAt.size(), 1);
    pump(200);

    const qint64 ended = trainer->clock.elapsed();
    trainer->hide();
    ASSERT_TRUE(waitUntil([&] { return trainer->isVisible(); }, 3000));
    ASSERT_EQ(trainer->shownAt.size(), 2);
    const qint64 gap = trainer->shownAt[1] - ended;
    EXPECT_GE(gap, interval - 5);
    EXPECT_LT(gap, interval + 1000);
}

TEST_F(Tray, RightClickOpensTheMenuAtTheCursorOnlyWithoutALesson)
{
    const QRect area = Desktop::workArea();
    ASSERT_FALSE(area.isEmpty());
    struct Case { QPoint cursor; QPoint topLeft; };
    const QPoint mid = area.center();
    const Case cases[] = {
        {mid, mid - QPoint(113, 113)},                                   // bottom-right at the cursor
        {area.topLeft() + QPoint(20, 30), area.topLeft()},               // pulled onto the area
    };
    for (const Case &c : cases) {
        QCursor::setPos(c.cursor);
        menu->TrayRightButtonDown();
        ASSERT_TRUE(menu->isVisible());
        EXPECT_EQ(menu->size(), QSize(113, 113));
        EXPECT_EQ(menu->pos(), c.topLeft);
        EXPECT_TRUE(menu->windowFlags() & Qt::FramelessWindowHint);
        EXPECT_TRUE(menu->windowFlags() & Qt::WindowStaysOnTopHint);
        // A left click closes it and opens the lesson.
        menu->TrayLeftButtonDown();
        EXPECT_FALSE(menu->isVisible());
        EXPECT_TRUE(trainer->isVisible());
        // Over a lesson a right click opens nothing.
        menu->TrayRightButtonDown();
        EXPECT_FALSE(menu->isVisible());
        trainer->hide();
    }
}

TEST_F(Tray, ChildrenModeDisablesQuitAndAutoShow)
{
    for (bool children : {true, false, true}) {
        options.ChildrenMode = children;
        menu->Popup(QPoint(400, 400));
        EXPECT_EQ(menu->BQuit->isEnabled(), !children);
        EXPECT_EQ(menu->CBAutoShow->isEnabled(), !children);
        menu->hide();
    }
}

TEST_F(Tray, LosingTheFocusClosesTheMenu)
{
    QWidget other;
    other.resize(50, 50);
    menu->Popup(QPoint(400, 400));
    ASSERT_TRUE(waitUntil([&] { return menu->isActiveWindow(); }, 2000));
    other.show();
    other.activateWindow();
    EXPECT_TRUE(waitUntil([&] { return !menu->isVisible(); }, 2000));
}

TEST_F(Tray, EscClosesTheMenu)
{
    for (QWidget *target : {static_cast<QWidget *>(menu.get()), static_cast<QWidget *>(menu->CBAutoShow)}) {
        SCOPED_TRACE(target->objectName().toStdString());
        menu->Popup(QPoint(400, 400));
        ASSERT_TRUE(menu->isVisible());
        sendKey(target, Qt::Key_Escape);
        EXPECT_FALSE(menu->isVisible());
    }
}

TEST_F(Tray, F1OpensTheInformationWindowBesideTheMenu)
{
    TFInformation::TestHook info;
    menu->Popup(QPoint(400, 400));
    const QPoint at = menu->pos();
    sendKey(menu.get(), Qt::Key_F1);
    ASSERT_EQ(info.shown().size(), 1);
    EXPECT_EQ(info.shown()[0].caller, menu.get());
    EXPECT_EQ(info.shown()[0].position, at + QPoint(10, 30));
}

TEST_F(Tray, DialogsFromTheMenuRunInsideTheBusyFrame)
{
    ScaledMinute minute(20);
    EXPECT_FALSE(menu->BAddWord->isEnabled()) << "no add-word window plugged in";
    EXPECT_FALSE(menu->BOptions->isEnabled()) << "no options window plugged in";

    struct Case { const char *button; bool autoShow; };
    const Case cases[] = {{"BAddWord", true}, {"BOptions", true}, {"BOptions", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.button) + (c.autoShow ? " with AutoShow" : " without AutoShow"));
        make(schedulingOptions(2, 300));
        options.AutoShow = c.autoShow;
        int runs = 0;
        QPoint optionsAt;
        // Stands in for the modal dialog: while it is "open" lessons fall due and the user
        // right-clicks the icon.
        auto dialog = [&] {
            ++runs;
            EXPECT_TRUE(menu->Busy());
            EXPECT_FALSE(options.AutoShow);
            EXPECT_FALSE(menu->isVisible());
            holdFor([&] { return !trainer->isVisible(); }, 200);
            // A right click opens no second menu; it brings the open dialog to the front.
            QDialog open;
            open.setModal(true);
            open.show();
            QWidget elsewhere;
            elsewhere.show();
            elsewhere.activateWindow();
            EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &elsewhere; }, 2000));
            menu->TrayRightButtonDown();
            EXPECT_FALSE(menu->isVisible());
            EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &open; }, 2000));
        };
        menu->RunAddWord = dialog;
        menu->RunOptions = [&](QPoint cursor) {
            optionsAt = cursor;
            dialog();
        };
        menu->UpdateControls();
        scheduler->ArmLessonTimer();
        QCursor::setPos(QPoint(350, 320));
        menu->TrayRightButtonDown();
        ASSERT_TRUE(menu->isVisible());
        auto *button = menu->findChild<QPushButton *>(c.button);
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isEnabled());
        button->click();
        EXPECT_EQ(runs, 1);
        EXPECT_FALSE(menu->Busy());
        EXPECT_EQ(bool(options.AutoShow), c.autoShow);
        if (std::string(c.button) == "BOptions") {
            EXPECT_EQ(trainer->applied, 1);
            EXPECT_EQ(optionsAt, QPoint(350, 320));
        }
        // AutoShow is back: the still-ticking timer brings the lesson (unless it was off).
        if (c.autoShow)
            EXPECT_TRUE(waitUntil([&] { return trainer->isVisible(); }, 2000));
        else
            holdFor([&] { return !trainer->isVisible(); }, 200);
    }
}

TEST_F(Tray, APendingLessonWaitsWhileAutoShowIsOff)
{
    make(schedulingOptions(2, 300));
    monitor->setIdle(false);
    scheduler->LessonTimerFired();
    ASSERT_TRUE(monitor->pending());
    options.AutoShow = false;
    monitor->setIdle(true);
    scheduler->ActivityExpired();
    EXPECT_FALSE(trainer->isVisible());
    EXPECT_TRUE(monitor->pending());
    options.AutoShow = true;
    scheduler->ActivityExpired();
    EXPECT_TRUE(trainer->isVisible());
    EXPECT_FALSE(monitor->pending());
}

TEST_F(Tray, QuitSetsQuittingSoThatNoLessonEndArmsTheTimer)
{
    menu->TrayLeftButtonDown();
    ASSERT_TRUE(trainer->isVisible());
    menu->TrayRightButtonDown();
    trainer->hide();
    menu->Popup(QPoint(400, 400));
    trainer->show();
    menu->BQuitClick();
    EXPECT_TRUE(trainer->quitting);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(menu->isVisible());
    trainer->timer.stop();
    trainer->hide();
    EXPECT_FALSE(trainer->timer.isActive());
}

// ---- The real notification area: trayer on an X server of the test's own -------------------

namespace {

// Every window below `top`, depth first.
void walk(Display *x, Window top, const std::function<void(Window, Window parent)> &visit)
{
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(x, top, &root, &parent, &children, &n))
        return;
    for (unsigned int i = 0; i < n; ++i) {
        visit(children[i], top);
        walk(x, children[i], visit);
    }
    if (children)
        XFree(children);
}

// The child's icon window embedded somewhere below trayer's panel, or 0.
Window embeddedIcon(Display *x, Window panel, long pid)
{
    Window found = 0;
    walk(x, panel, [&](Window w, Window) {
        if (!found && XClient::pidOf(x, w) == pid && XClient::viewable(x, w))
            found = w;
    });
    return found;
}

class ChildLines {
public:
    explicit ChildLines(QProcess &p) : m_p(p) {}
    // Waits for a line that starts with `prefix`; returns it, or an empty array.
    QByteArray waitFor(const QByteArray &prefix, int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            while (m_p.canReadLine()) {
                const QByteArray line = m_p.readLine().trimmed();
                if (line.startsWith(prefix))
                    return line;
            }
            if (m_p.state() == QProcess::NotRunning)
                return {};
            m_p.waitForReadyRead(50);
        }
        return {};
    }

private:
    QProcess &m_p;
};

} // namespace

// Runs only as the child of TrayOnX: the tray menu on the xcb platform, reporting on stdout.
TEST(DISABLED_TrayChild, Run)
{
    if (!qEnvironmentVariableIsSet("WORDPOP_TRAY_CHILD"))
        GTEST_SKIP() << "runs only as the child of TrayOnX";
    TestHome home;
    TOptions options = schedulingOptions(15, 300);
    ActivityMonitor monitor(options);
    StandInTrainer trainer;
    TScheduler scheduler(trainer, monitor, options);
    trainer.scheduler = &scheduler;
    auto menu = std::make_unique<TFTrayMenu>(trainer, options);
    waitUntil([] { return TrayIcon::available(); }, 5000);
    std::printf("tray %d\n", TrayIcon::available() ? 1 : 0);
    std::fflush(stdout);

    bool reported = false;
    bool done = false;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buf[64];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            done = true;
            input.setEnabled(false);
        } else if (QByteArray(buf, int(n)).contains("remove")) {
            menu.reset();
            std::printf("removed\n");
            std::fflush(stdout);
        }
    });
    waitUntil([&] {
        if (trainer.isVisible() && !reported) {
            reported = true;
            std::printf("lesson shown\n");
            std::fflush(stdout);
        }
        return done;
    }, 60000);
    menu.reset();
    trainer.scheduler = nullptr;
}

// An X server of the test's own with trayer's notification area on it.
class TrayOnX : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString trayer = QStandardPaths::findExecutable("trayer");
        if (trayer.isEmpty())
            GTEST_SKIP() << "trayer (a notification area) is not installed";
        server.emplace();
        REQUIRE_PRIVATE_X_SERVER(*server);
        display.emplace(server->display());
        connection.emplace(server->display());
        x = *connection;
        ASSERT_NE(x, nullptr);
        host.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        host.start(trayer, {"--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "120",
                            "--heighttype", "pixel", "--height", "28", "--SetDockType", "true"});
        ASSERT_TRUE(host.waitForStarted(5000));
        const Atom trayAtom = XInternAtom(x, "_NET_SYSTEM_TRAY_S0", False);
        ASSERT_TRUE(waitUntil([&] {
            panel = XClient::findWindow(x, DefaultRootWindow(x), "panel");
            return panel && XGetSelectionOwner(x, trayAtom) != 0;
        }, 10000)) << "trayer did not take the notification area";
    }
    void TearDown() override
    {
        if (host.state() != QProcess::NotRunning) {
            host.terminate();
            host.waitForFinished(5000);
        }
        connection.reset();
        display.reset();
        server.reset();
    }

    // The environment of a program that is to use this server's notification area.
    QProcessEnvironment programEnvironment(const TestHome &home) const
    {
        QProcessEnvironment env = ProgramOnX::environment(home, server->display());
        env.remove("DBUS_SESSION_BUS_ADDRESS"); // the XEmbed area, not a StatusNotifier host
        return env;
    }

    // A click of `button` in the middle of the window, as a user gives it.
    void click(Window w, unsigned button)
    {
        XWindowAttributes a;
        ASSERT_TRUE(XGetWindowAttributes(x, w, &a));
        int rx = 0, ry = 0;
        Window ignored;
        XTranslateCoordinates(x, w, DefaultRootWindow(x), a.width / 2, a.height / 2, &rx, &ry, &ignored);
        XTestFakeMotionEvent(x, -1, rx, ry, 0);
        XTestFakeButtonEvent(x, button, True, 0);
        XTestFakeButtonEvent(x, button, False, 0);
        XFlush(x);
    }

    void key(KeySym sym) { XClient::pressKey(x, sym); }
    QList<Window> visibleWindowsOf(long pid) { return XClient::shownWindowsOf(x, pid); }
    QRect geometry(Window w)
    {
        XWindowAttributes a;
        if (!XGetWindowAttributes(x, w, &a))
            return {};
        int rx = 0, ry = 0;
        Window ignored;
        XTranslateCoordinates(x, w, DefaultRootWindow(x), 0, 0, &rx, &ry, &ignored);
        return QRect(rx, ry, a.width, a.height);
    }
    // The window's pixels as the screen shows them.
    QByteArray pixels(Window w)
    {
        XWindowAttributes a;
        if (!XGetWindowAttributes(x, w, &a))
            return {};
        XImage *img = XGetImage(x, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
        if (!img)
            return {};
        QByteArray bytes(img->data, img->bytes_per_line * img->height);
        XDestroyImage(img);
        return bytes;
    }
    QPoint pointer()
    {
        Window r, c;
        int rx = 0, ry = 0, wx, wy;
        unsigned int mask;
        XQueryPointer(x, DefaultRootWindow(x), &r, &c, &rx, &ry, &wx, &wy, &mask);
        return QPoint(rx, ry);
    }

    std::optional<PrivateXServer> server;
    std::optional<ScopedDisplay> display;
    std::optional<XClient::Connection> connection;
    Display *x = nullptr;
    QProcess host;
    Window panel = 0;
};

TEST_F(TrayOnX, TheIconSitsInTheNotificationAreaAndALeftClickOpensALesson)
{
    TestHome home;
    QProcess child;
    QProcessEnvironment env = programEnvironment(home);
    env.insert("WORDPOP_TRAY_CHILD", "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", "--gtest_filter=DISABLED_TrayChild.Run"});
    ASSERT_TRUE(child.waitForStarted(5000));
    ChildLines lines(child);
    ASSERT_EQ(lines.waitFor("tray", 20000), "tray 1") << "the child sees no notification area";

    Window icon = 0;
    ASSERT_TRUE(waitUntil([&] { return (icon = embeddedIcon(x, panel, child.processId())) != 0; }, 10000))
        << "no icon window of the child inside trayer's panel";
    // An icon that trayer has only just embedded may not take a click yet on a loaded machine:
    // click again until the child answers, never after it has.
    QByteArray shown;
    for (int attempt = 0; attempt < 6 && shown.isEmpty(); ++attempt) {
        click(icon, 1);
        shown = lines.waitFor("lesson", 5000);
    }
    EXPECT_EQ(shown, "lesson shown");
    EXPECT_TRUE(waitUntil([&] { return XClient::findWindow(x, DefaultRootWindow(x), "Wordpop lesson stand-in") != 0; }, 5000))
        << "the lesson window is not on the screen";

    // Destroying the tray menu takes the icon out of the area.
    child.write("remove\n");
    EXPECT_EQ(lines.waitFor("removed", 10000), "removed");
    EXPECT_TRUE(waitUntil([&] { return embeddedIcon(x, panel, child.processId()) == 0; }, 5000));

    child.closeWriteChannel();
    EXPECT_TRUE(child.waitForFinished(20000));
    EXPECT_EQ(child.exitCode(), 0);
}

TEST_F(TrayOnX, TheProgramShowsOnlyItsIconUntilTheIconIsClicked)
{
    TestHome home;
    ProgramFolder::resolve();
    SetDefaultOptions(Options);
    Options.StartImmediately = false;
    ASSERT_TRUE(SaveOptions(Options));
    ProgramFolder::set(QString());

    QProcess program;
    ASSERT_TRUE(ProgramOnX::start(program, programEnvironment(home)));
    const long pid = program.processId();

    Window icon = 0;
    ASSERT_TRUE(waitUntil([&] { return (icon = embeddedIcon(x, panel, pid)) != 0; }, 30000))
        << "no icon of Wordpop inside trayer's panel";
    pump(300);
    EXPECT_TRUE(visibleWindowsOf(pid).isEmpty()) << "a window showed before the icon was clicked";

    click(icon, 1);
    QList<Window> shown;
    ASSERT_TRUE(waitUntil([&] { return (shown = visibleWindowsOf(pid)).size() == 1; }, 10000))
        << "the trainer did not show";
    const Window trainer = shown.first();
    // Over the lesson a right click opens no menu.
    click(icon, 3);
    pump(500);
    EXPECT_EQ(visibleWindowsOf(pid), QList<Window>{trainer});
    // Esc ends the lesson; now the right click opens the menu, its corner at the pointer.
    key(XK_Escape);
    ASSERT_TRUE(waitUntil([&] { return visibleWindowsOf(pid).isEmpty(); }, 5000)) << "Esc did not end the lesson";
    click(icon, 3);
    ASSERT_TRUE(waitUntil([&] { return (shown = visibleWindowsOf(pid)).size() == 1; }, 5000)) << "no menu";
    EXPECT_NE(shown.first(), trainer);
    const QRect menuRect = geometry(shown.first());
    EXPECT_EQ(menuRect.size(), QSize(113, 113));
    EXPECT_EQ(menuRect.topLeft(), pointer() - QPoint(113, 113));
    // Unticking "Автопоказ" (the menu's top row) changes the icon in the area at once.
    const QByteArray before = pixels(icon);
    XTestFakeMotionEvent(x, -1, menuRect.x() + 40, menuRect.y() + 16, 0);
    XTestFakeButtonEvent(x, 1, True, 0);
    XTestFakeButtonEvent(x, 1, False, 0);
    XFlush(x);
    EXPECT_TRUE(waitUntil([&] { return pixels(icon) != before; }, 5000)) << "the icon did not change";
    EXPECT_EQ(visibleWindowsOf(pid).size(), 1) << "the menu stays open";
    key(XK_Escape);
    EXPECT_TRUE(waitUntil([&] { return visibleWindowsOf(pid).isEmpty(); }, 5000)) << "Esc did not close the menu";
    // And a left click brings the next lesson.
    click(icon, 1);
    EXPECT_TRUE(waitUntil([&] { return visibleWindowsOf(pid) == QList<Window>{trainer}; }, 5000));

    ASSERT_NO_FATAL_FAILURE(ProgramOnX::endWith(program, SIGTERM));
    EXPECT_EQ(embeddedIcon(x, panel, pid), Window(0));
}

TEST(TrayWithoutArea, TheProgramRunsAndItsLessonsStillShow)
{
    PrivateXServer server;
    REQUIRE_PRIVATE_X_SERVER(server);
    XClient::Connection connection(server.display());
    Display *x = connection;
    ASSERT_NE(x, nullptr);
    TestHome home;
    // The defaults start with a lesson at once.
    QProcess program;
    QProcessEnvironment env = ProgramOnX::environment(home, server.display());
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    ASSERT_TRUE(ProgramOnX::start(program, env));
    const long pid = program.processId();
    EXPECT_TRUE(waitUntil([&] { return XClient::shownWindowsOf(x, pid).size() == 1; }, 30000))
        << "no lesson without a notification area";
    pump(300);
    EXPECT_EQ(program.state(), QProcess::Running);
    ASSERT_NO_FATAL_FAILURE(ProgramOnX::endWith(program, SIGTERM));
}
