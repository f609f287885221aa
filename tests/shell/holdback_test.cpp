// Lessons held back while the user watches or presents: a full-screen window under a real window
// manager (openbox on a private Xvfb), inhibitors taken by another process through the desktops'
// own D-Bus interfaces on a private session bus, and the setting that shows lessons anyway.
#include "shell/ActivityMonitor.h"
#include "shell/HoldBack.h"
#include "shell/Scheduler.h"

#include "DesktopServers.h"
#include "LessonStandIn.h"
#include "common/EventWait.h"
#include "common/ScopedEnv.h"
#include "common/TestHome.h"
#include "messages/Information.h"
#include "platform/ProgramFolder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>

#include <gtest/gtest.h>

#include <optional>

#include <xcb/xcb.h>

namespace {

// A top-level window of the test's own that asks the window manager for EWMH states.
class EwmhWindow {
public:
    explicit EwmhWindow(const QString &display)
    {
        m_c = xcb_connect(display.toLocal8Bit().constData(), nullptr);
        if (xcb_connection_has_error(m_c))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        m_w = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_w, m_root, 10, 10, 200, 150, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_map_window(m_c, m_w);
        xcb_flush(m_c);
    }
    ~EwmhWindow()
    {
        if (m_c)
            xcb_disconnect(m_c);
    }
    bool ok() const { return m_c && !xcb_connection_has_error(m_c); }

    void fullScreen(bool on) { message("_NET_WM_STATE", {on ? 1u : 0u, atom("_NET_WM_STATE_FULLSCREEN"), 0, 1, 0}); }
    void activate() { message("_NET_ACTIVE_WINDOW", {1, 0, 0, 0, 0}); }
    bool isActive()
    {
        xcb_get_property_reply_t *r = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, m_root, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1), nullptr);
        const bool active = r && xcb_get_property_value_length(r) == 4
                            && *static_cast<uint32_t *>(xcb_get_property_value(r)) == m_w;
        free(r);
        return active;
    }

private:
    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : 0;
        free(r);
        return a;
    }
    // A client message to the root, as EWMH has clients ask the window manager.
    void message(const char *type, std::array<uint32_t, 5> data)
    {
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = m_w;
        ev.type = atom(type);
        for (int i = 0; i < 5; ++i)
            ev.data.data32[i] = data[size_t(i)];
        xcb_send_event(m_c, 0, m_root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&ev));
        xcb_flush(m_c);
    }

    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_root = 0, m_w = 0;
};

// The scheduling around one stand-in lesson, with no activity library: the user counts as idle
// unless the test says otherwise, so only what holds back can keep a lesson away.
struct Scheduling {
    explicit Scheduling(int pause)
    {
        options.InactivityPause = pause;
        options.AutoShow = true;
        options.AutoShowInterval = 10;
        options.CheckKeyboardActivity = true;
        options.CheckMouseActivity = true;
    }
    TOptions options{};
    ActivityMonitor monitor{options};
    LessonStandIn lesson;
    TScheduler scheduler{lesson, monitor, options};
};

constexpr int Pause = 800;
// Looks often, so the tests do not wait on the period.
constexpr int Period = 100;

} // namespace

TEST(HoldBack, FullScreenWindowKeepsDueLessonUntilLeftAndAPause)
{
    OpenboxDesktop desktop;
    if (!desktop.missing().empty())
        GTEST_SKIP() << desktop.missing();
    ASSERT_TRUE(desktop.ok()) << desktop.why();
    const QByteArray display = desktop.display().toLocal8Bit();
    ScopedEnv x("DISPLAY", display.constData());
    ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", nullptr);
    TestHome home;

    enum Leave { Restore, ActivateOther, SwitchedOff, ShownAnyway };
    struct Case { const char *what; Leave leave; };
    const Case cases[] = {
        {"full-screen state dropped", Restore},
        {"another window activated", ActivateOther},
        {"setting switched to show over full-screen windows during the film", SwitchedOff},
        {"setting: show over full-screen windows", ShownAnyway},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Scheduling s(Pause);
        s.options.ShowOverFullScreen = c.leave == ShownAnyway ? 1 : 0;
        s.monitor.holdBack().start(Period);
        EwmhWindow film(desktop.display());
        EwmhWindow other(desktop.display());
        ASSERT_TRUE(film.ok() && other.ok());
        // openbox gives a newly mapped window the focus when it gets round to it: the other
        // window active first shows that both maps are behind us, so the film keeps the focus.
        ASSERT_TRUE(waitUntil([&] { other.activate(); return other.isActive(); }, 20000)) << "openbox never activated the window";
        ASSERT_TRUE(waitUntil([&] { film.activate(); return film.isActive(); }, 20000)) << "openbox never activated the window";
        film.fullScreen(true);
        ASSERT_TRUE(waitUntil([&] { return s.monitor.holdBack().reasons() & THoldBack::FullScreen; }, 20000))
            << "the full-screen window went unseen" << (film.isActive() ? "" : " (it lost the focus)");
        EXPECT_TRUE(s.monitor.holdBack().watched().contains(QStringLiteral("полноэкранное окно")));

        s.scheduler.LessonTimerFired();
        if (c.leave == ShownAnyway) {
            EXPECT_TRUE(s.lesson.visible);
            continue;
        }
        EXPECT_TRUE(s.monitor.pending());
        EXPECT_FALSE(s.lesson.visible);
        // The user idles on, longer than the pause: the film goes on undisturbed.
        holdFor([&] { return !s.lesson.visible; }, 2 * Pause);

        if (c.leave == Restore)
            film.fullScreen(false);
        else if (c.leave == SwitchedOff)
            s.options.ShowOverFullScreen = 1;
        else
            ASSERT_TRUE(waitUntil([&] { other.activate(); return other.isActive(); }, 20000));
        ASSERT_TRUE(waitUntil([&] { return !s.monitor.holdBack().holdsBack(); }, 20000));
        QElapsedTimer sinceLeft;
        sinceLeft.start();
        ASSERT_TRUE(waitUntil([&] { return s.lesson.visible; }, 20000)) << "the lesson never opened";
        // A pause of its own after the film, not at once.
        EXPECT_GE(sinceLeft.elapsed(), Pause - 150);
        EXPECT_FALSE(s.monitor.pending());
    }
}

TEST(HoldBack, WhileHeldABusyUserStillDelaysTheLesson)
{
    // The full-screen window ends while the user types: the lesson comes only at the pause after.
    OpenboxDesktop desktop;
    if (!desktop.missing().empty())
        GTEST_SKIP() << desktop.missing();
    ASSERT_TRUE(desktop.ok()) << desktop.why();
    const QByteArray display = desktop.display().toLocal8Bit();
    ScopedEnv x("DISPLAY", display.constData());
    ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", nullptr);
    Scheduling s(Pause);
    s.monitor.holdBack().start(Period);
    EwmhWindow film(desktop.display());
    ASSERT_TRUE(waitUntil([&] { film.activate(); return film.isActive(); }, 20000));
    film.fullScreen(true);
    ASSERT_TRUE(waitUntil([&] { return s.monitor.holdBack().holdsBack(); }, 20000));
    s.scheduler.LessonTimerFired();
    film.fullScreen(false);
    // Activity keeps coming after the film ended.
    QElapsedTimer typing;
    typing.start();
    holdFor([&] { return !s.lesson.visible; }, 3 * Pause, [&] {
        if (typing.elapsed() > 200) {
            s.monitor.restartPause();
            typing.restart();
        }
    });
    ASSERT_TRUE(waitUntil([&] { return s.lesson.visible; }, 20000));
}

namespace {

// The desktop's inhibitor services on a private bus, and a second process that takes one.
class InhibitorDesktop {
public:
    InhibitorDesktop()
    {
        if (!m_bus.missing().empty()) {
            m_missing = m_bus.missing();
            return;
        }
        if (!m_bus.ok()) {
            m_why = m_bus.why();
            return;
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_bus.address());
        m_services.setProcessEnvironment(env);
        m_holder.setProcessEnvironment(env);
        m_services.start(QStringLiteral("/usr/bin/python3"), {script(), "serve"});
        if (!waitForLine(m_services, "serving")) {
            m_why = "the inhibitor services did not start: " + m_services.readAllStandardError().toStdString()
                    + " (they need python3-dbus and python3-gi)";
            return;
        }
        m_ok = true;
    }
    ~InhibitorDesktop()
    {
        for (QProcess *p : {&m_holder, &m_services})
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
    }

    bool ok() const { return m_ok; }
    const std::string &missing() const { return m_missing; }
    const std::string &why() const { return m_why; }
    const QString &address() const { return m_bus.address(); }

    bool hold(const QString &which)
    {
        m_holder.start(QStringLiteral("/usr/bin/python3"), {script(), "hold", which});
        return waitForLine(m_holder, "held");
    }
    bool release()
    {
        m_holder.closeWriteChannel();
        return waitForLine(m_holder, "released") && m_holder.waitForFinished(30000);
    }

private:
    static QString script() { return QStringLiteral(WORDPOP_SOURCE_DIR "/tests/shell/desktop_services.py"); }
    static bool waitForLine(QProcess &p, const QByteArray &line)
    {
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (!out.contains(line) && clock.elapsed() < 60000) {
            if (p.state() == QProcess::NotRunning && !p.bytesAvailable())
                return false;
            p.waitForReadyRead(200);
            out += p.readAllStandardOutput();
        }
        return out.contains(line);
    }

    PrivateSessionBus m_bus;
    QProcess m_services;
    QProcess m_holder;
    bool m_ok = false;
    std::string m_missing;
    std::string m_why;
};

} // namespace

TEST(HoldBack, InhibitorHeldByAnotherProgramKeepsDueLessonUntilReleased)
{
    ScopedEnv x("DISPLAY", nullptr);
    struct Case { const char *which; int reason; const char *watched; };
    const Case cases[] = {
        {"gnome", THoldBack::IdleInhibited, "запрет простоя (GNOME)"},
        {"power", THoldBack::IdleInhibited, "запрет простоя (PowerManagement)"},
        {"kde-screen", THoldBack::IdleInhibited, "запрет заставки (KDE)"},
        {"notifications", THoldBack::DoNotDisturb, "«не беспокоить»"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.which);
        InhibitorDesktop desktop;
        if (!desktop.missing().empty())
            GTEST_SKIP() << desktop.missing();
        ASSERT_TRUE(desktop.ok()) << desktop.why();
        Scheduling s(Pause);
        s.monitor.holdBack().start(Period, desktop.address());
        ASSERT_TRUE(waitUntil([&] { return s.monitor.holdBack().watched().contains(QString::fromUtf8(c.watched)); }, 20000))
            << "the service went unseen";
        EXPECT_FALSE(s.monitor.holdBack().holdsBack());

        ASSERT_TRUE(desktop.hold(c.which));
        ASSERT_TRUE(waitUntil([&] { return s.monitor.holdBack().reasons() == c.reason; }, 20000));
        s.scheduler.LessonTimerFired();
        EXPECT_TRUE(s.monitor.pending());
        holdFor([&] { return !s.lesson.visible; }, 2 * Pause);

        ASSERT_TRUE(desktop.release());
        QElapsedTimer sinceReleased;
        sinceReleased.start();
        ASSERT_TRUE(waitUntil([&] { return s.lesson.visible; }, 20000)) << "the lesson never opened";
        EXPECT_GE(sinceReleased.elapsed(), Pause - 150);
    }
}

TEST(HoldBack, DesktopWithoutTheServicesHoldsNothingBack)
{
    // A bus with nobody on it, and no bus at all: a due lesson opens at once, as it always did.
    ScopedEnv x("DISPLAY", nullptr);
    PrivateSessionBus bus;
    if (!bus.missing().empty())
        GTEST_SKIP() << bus.missing();
    ASSERT_TRUE(bus.ok()) << bus.why();
    for (const QString &address : {bus.address(), QStringLiteral("unix:path=/nonexistent/wordpop-bus")}) {
        SCOPED_TRACE(address.toStdString());
        Scheduling s(Pause);
        s.monitor.holdBack().start(Period, address);
        holdFor([&] { return !s.monitor.holdBack().holdsBack(); }, 500);
        EXPECT_TRUE(s.monitor.holdBack().watched().isEmpty());
        s.scheduler.LessonTimerFired();
        EXPECT_TRUE(s.lesson.visible);
    }
}

TEST(HoldBack, SettingKeepsTheSettingsFileWhole)
{
    TestHome home;
    ProgramFolder::set(home.home());
    TOptions o{};
    SetDefaultOptions(o);
    QByteArray files[2];
    for (int on = 0; on < 2; ++on) {
        o.ShowOverFullScreen = std::uint8_t(on);
        ASSERT_TRUE(SaveOptions(o));
        files[on] = home.readFile(QString::fromLatin1(kOptionsFileName));
        ASSERT_EQ(files[on].size(), 6724);
        EXPECT_EQ(std::uint8_t(files[on][0x069]), on);
        TOptions back{};
        LoadOptions(back);
        EXPECT_EQ(back.ShowOverFullScreen, on);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(&back), sizeof back), files[on]);
    }
    // Every other byte is the same either way.
    QByteArray a = files[0], b = files[1];
    a[0x069] = b[0x069] = 0;
    EXPECT_EQ(a, b);
}

TEST(HoldBack, InformationWindowSaysWhatThisDesktopOffers)
{
    ScopedEnv x("DISPLAY", nullptr);
    TOptions options{};
    ActivityMonitor monitor(options);
    struct Case { const char *what; bool hooked; std::uint8_t showOver; const char *line; };
    const Case cases[] = {
        {"no shell", false, 0, ""},
        {"nothing found", true, 0, "Пауза: не отслеживается. Урок ничем не задерживается."},
        {"shown anyway", true, 1, "Пауза: не отслеживается. Уроки показываются поверх полноэкранных окон."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        options.ShowOverFullScreen = c.showOver;
        SetInformationFindings(c.hooked ? std::function<QString()>([&] { return monitor.findings(); }) : nullptr);
        TFInformation window;
        EXPECT_EQ(window.LFindings->text(), QString::fromUtf8(c.line));
        EXPECT_EQ(window.LFindings->isHidden(), !c.hooked);
    }
    SetInformationFindings(nullptr);
}
