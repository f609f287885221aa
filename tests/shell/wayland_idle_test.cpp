// Idle on a Wayland session: the activity library asks the compositor (headless Sway, input
// through the virtual keyboard) instead of the X server, and scheduling waits for its pauses.
#include "shell/ActivityMonitor.h"
#include "shell/Scheduler.h"

#include "DesktopServers.h"
#include "HookRecord.h"
#include "LessonStandIn.h"
#include "common/EventWait.h"
#include "common/ScopedEnv.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <optional>

namespace {

// A Wayland session on headless Sway, with no X server to fall back on: whatever the library
// reports comes from the compositor.
class WaylandSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!sway.missing().empty())
            GTEST_SKIP() << sway.missing();
        ASSERT_TRUE(sway.ok()) << sway.why();
        const QByteArray socket = sway.socket().toLocal8Bit();
        const QByteArray wayland = "wayland";
        vars.emplace_back(std::make_unique<ScopedEnv>("WAYLAND_DISPLAY", socket.constData()));
        vars.emplace_back(std::make_unique<ScopedEnv>("XDG_SESSION_TYPE", wayland.constData()));
        vars.emplace_back(std::make_unique<ScopedEnv>("DISPLAY", nullptr));
        options.CheckKeyboardActivity = true;
        options.CheckMouseActivity = false;
        options.InactivityPause = 1500;
        options.AutoShow = true;
        options.AutoShowInterval = 10;
        monitor.emplace(options);
        ASSERT_TRUE(monitor->loadLibrary(QStringLiteral(WORDPOP_HOOK_LIBRARY)))
            << "the library found no idle protocol on Sway";
        const uint32_t source = monitor->library().source();
        EXPECT_TRUE(source == HookSourceKdeIdle || source == HookSourceExtIdle) << source;
        // A new watcher counts as busy until the compositor first says the seat is idle.
        waitUntil([&] { return !monitor->idle(); }, 5000);
        ASSERT_TRUE(waitUntil([&] { return monitor->idle(); }, 20000));
    }

    // Types and waits for wtype to finish; true when it typed.
    bool typeNow(const QString &text)
    {
        QProcess *p = sway.type(text);
        return p->waitForFinished(30000) && p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
    }

    HeadlessSway sway;
    std::vector<std::unique_ptr<ScopedEnv>> vars;
    TOptions options{};
    std::optional<ActivityMonitor> monitor;
};

} // namespace

TEST_F(WaylandSession, TypingClearsIdleAndQuietSetsItAfterThePause)
{
    // A key counts with the keyboard box alone and with the mouse box alone: the compositor
    // cannot tell them apart, so both settings are honoured as one.
    struct Case { bool keyboard, mouse, counts; };
    const Case cases[] = {{true, false, true}, {false, true, true}, {false, false, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "keyboard " << c.keyboard << ", mouse " << c.mouse);
        options.CheckKeyboardActivity = c.keyboard;
        options.CheckMouseActivity = c.mouse;
        ASSERT_TRUE(typeNow("wordpop"));
        QElapsedTimer sinceTyping;
        sinceTyping.start();
        if (!c.counts) {
            holdFor([&] { return monitor->idle(); }, 1500);
            continue;
        }
        ASSERT_TRUE(waitUntil([&] { return !monitor->idle(); }, 20000)) << "typing went unseen";
        ASSERT_TRUE(waitUntil([&] { return monitor->idle(); }, 20000)) << "quiet never became idle";
        // Not before the pause has run from the last key.
        EXPECT_GE(sinceTyping.elapsed(), options.InactivityPause - 100);
    }
}

TEST_F(WaylandSession, LessonDueWhileTypingOpensOnlyAfterThePause)
{
    LessonStandIn lesson;
    TScheduler scheduler(lesson, *monitor, options);
    // Three seconds of typing, a key every 150 ms.
    QProcess *typist = sway.type(QString(20, QChar('a')), 150);
    ASSERT_TRUE(waitUntil([&] { return !monitor->idle(); }, 20000)) << "typing went unseen";
    scheduler.LessonTimerFired();
    EXPECT_TRUE(monitor->pending());
    EXPECT_FALSE(lesson.visible);
    // Longer than the pause while the keys keep coming: a native Wayland program has the keys,
    // yet the lesson waits.
    holdFor([&] { return !lesson.visible || typist->state() == QProcess::NotRunning; }, 1800);
    ASSERT_TRUE(typist->waitForFinished(30000));
    QElapsedTimer quiet;
    quiet.start();
    ASSERT_TRUE(waitUntil([&] { return lesson.visible; }, 20000)) << "the lesson never opened";
    EXPECT_GE(quiet.elapsed(), options.InactivityPause - 700);
    EXPECT_FALSE(monitor->pending());
}
