// GNOME's idle monitor as the activity source of a Wayland session: Debian's mutter, headless,
// answers on its own session bus. Without a way to make input there (its remote desktop needs
// PipeWire), the idle time is checked to grow and the quiet watch to fire.
#include "shell/ActivityMonitor.h"
#include "shell/GnomeIdle.h"

#include "DesktopServers.h"
#include "common/EventWait.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

// Asks the monitor for its idle time the way the desktop's own tools do; -1 when it does not answer.
qint64 idletime(const QString &address)
{
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("gnome-idle-test"));
    QDBusMessage m = QDBusMessage::createMethodCall("org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                                                    "org.gnome.Mutter.IdleMonitor", "GetIdletime");
    const QDBusMessage r = bus.call(m, QDBus::Block, 5000);
    return r.type() == QDBusMessage::ReplyMessage && !r.arguments().isEmpty() ? qint64(r.arguments().first().toULongLong()) : -1;
}

} // namespace

TEST(GnomeIdle, MutterAnswersAndItsQuietWatchFires)
{
    HeadlessMutter mutter;
    if (!mutter.missing().empty())
        GTEST_SKIP() << mutter.missing();
    ASSERT_FALSE(mutter.address().isEmpty()) << mutter.why();
    // mutter takes its name on the bus once it is up; a loaded machine may take a while.
    qint64 first = -1;
    ASSERT_TRUE(pollUntil([&] { return (first = idletime(mutter.address())) >= 0; }, 90000))
        << "mutter's idle monitor never answered: " << mutter.log().toStdString();
    QThread::msleep(300);
    EXPECT_GT(idletime(mutter.address()), first) << "the idle time does not grow without input";

    TOptions options{};
    options.CheckKeyboardActivity = true;
    options.InactivityPause = 1000;
    ActivityMonitor monitor(options);
    std::vector<int> quiet;
    QObject::connect(&monitor.gnomeIdle(), &TGnomeIdle::quiet, [&](int ms) { quiet.push_back(ms); });
    monitor.watchGnomeIdle(mutter.address());
    ASSERT_TRUE(waitUntil([&] { return monitor.gnomeIdle().available(); }, 20000));
    // The user has long been quiet: the watch for a short quiet fires at once.
    ASSERT_TRUE(waitUntil([&] { return !quiet.empty(); }, 20000)) << "the quiet watch never fired";
    EXPECT_GE(quiet.front(), TGnomeIdle::QuietMs);
    // Quiet with no input before it is no activity: the user stays idle.
    EXPECT_TRUE(monitor.idle());
    EXPECT_FALSE(monitor.activityTimer()->isActive());
    EXPECT_TRUE(monitor.findings().contains(QStringLiteral("GNOME"))) << monitor.findings().toStdString();

    monitor.unloadLibrary();
    EXPECT_FALSE(monitor.gnomeIdle().available());
}

TEST(GnomeIdle, BusWithoutTheMonitorStaysSilent)
{
    PrivateSessionBus bus;
    if (!bus.missing().empty())
        GTEST_SKIP() << bus.missing();
    ASSERT_TRUE(bus.ok()) << bus.why();
    TOptions options{};
    options.CheckKeyboardActivity = true;
    options.InactivityPause = 500;
    ActivityMonitor monitor(options);
    int reports = 0;
    QObject::connect(&monitor.gnomeIdle(), &TGnomeIdle::active, [&] { ++reports; });
    QObject::connect(&monitor.gnomeIdle(), &TGnomeIdle::quiet, [&] { ++reports; });
    monitor.watchGnomeIdle(bus.address());
    holdFor([&] { return monitor.idle(); }, 1500);
    EXPECT_FALSE(monitor.gnomeIdle().available());
    EXPECT_EQ(reports, 0);
    EXPECT_TRUE(monitor.findings().startsWith(QStringLiteral("Пауза: не отслеживается"))) << monitor.findings().toStdString();
}
