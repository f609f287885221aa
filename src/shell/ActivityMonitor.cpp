// Activity notices from the library's pipe restart TActivity; its expiry marks the user idle.
#include "shell/ActivityMonitor.h"

#include "HookRecord.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

#include <algorithm>

namespace {
// Notices the hidden window takes besides activity: show the trainer, and one it ignores.
constexpr unsigned char ShowTrainerNotice = 4;

// The settings file is a raw record: a negative pause would never start the timer, and the user
// would never count as idle again, so no lesson could open.
int pauseOf(const TOptions &options)
{
    return std::max<std::int32_t>(0, options.InactivityPause);
}
}

ActivityMonitor::ActivityMonitor(TOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_activity(new QTimer(this)), m_holdBack(options)
{
    m_activity->setObjectName(QStringLiteral("TActivity"));
    m_activity->setSingleShot(true);
    m_activity->setInterval(pauseOf(m_options));
    connect(m_activity, &QTimer::timeout, this, &ActivityMonitor::activityTimeout);
    connect(&m_gnome, &TGnomeIdle::active, this, &ActivityMonitor::gnomeActive);
    connect(&m_gnome, &TGnomeIdle::quiet, this, &ActivityMonitor::gnomeQuiet);
}

ActivityMonitor::~ActivityMonitor()
{
    // The notifier goes before the descriptor it watches.
    delete m_notifier;
    m_notifier = nullptr;
    m_hooks.unload();
}

namespace {
bool waylandSession()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland")
           || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
}

bool ActivityMonitor::loadLibrary()
{
    if (!m_hooks.isLoaded())
        m_hooks.load();
    const bool loaded = watchLibrary();
    // XWayland sees only its own windows' input; GNOME's compositor tells the rest over the bus.
    const uint32_t source = m_hooks.source();
    if (waylandSession() && source != HookSourceExtIdle && source != HookSourceKdeIdle && !m_gnome.available())
        watchGnomeIdle();
    return loaded;
}

void ActivityMonitor::watchGnomeIdle(const QString &busAddress)
{
    m_gnomeBusy = false;
    m_gnome.start(busAddress);
}

bool ActivityMonitor::loadLibrary(const QString &file)
{
    unloadLibrary();
    m_hooks.load(file);
    return watchLibrary();
}

bool ActivityMonitor::watchLibrary()
{
    m_options.HookLoaded = m_hooks.isLoaded();
    if (m_hooks.isLoaded() && !m_notifier) {
        m_notifier = new QSocketNotifier(m_hooks.readFd(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &ActivityMonitor::readNotices);
    }
    return m_hooks.isLoaded();
}

void ActivityMonitor::unloadLibrary()
{
    delete m_notifier;
    m_notifier = nullptr;
    m_hooks.unload();
    m_gnome.stop();
    m_gnomeBusy = false;
    m_options.HookLoaded = false;
}

void ActivityMonitor::lessonStarted()
{
    m_hooks.stopHooks();
    m_watching = false;
    m_gnomeBusy = false;
}

void ActivityMonitor::lessonEnded()
{
    m_hooks.startHooks();
    m_watching = true;
}

void ActivityMonitor::readNotices()
{
    unsigned char buf[64];
    for (;;) {
        const ssize_t n = ::read(m_hooks.readFd(), buf, sizeof buf);
        if (n > 0) {
            for (ssize_t i = 0; i < n; ++i)
                notice(buf[i]);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 && m_notifier)
            m_notifier->setEnabled(false); // the write end is ours, so this would be a fault; do not spin
        break; // drained
    }
}

void ActivityMonitor::notice(unsigned char code)
{
    const bool counted = (code == HookKeyboardByte && m_options.CheckKeyboardActivity)
                         || (code == HookMouseByte && m_options.CheckMouseActivity);
    if (counted && m_gnomeBusy) {
        // GNOME's monitor says when the input ends; the pause counts from there.
        m_idle = false;
        m_activity->stop();
    } else if (counted) {
        restartPause();
    } else if (code == ShowTrainerNotice) {
        emit showTrainerRequested();
    }
}

void ActivityMonitor::restartPause()
{
    m_idle = false;
    m_activity->stop();
    m_activity->setInterval(pauseOf(m_options));
    m_activity->start();
}

void ActivityMonitor::activityTimeout()
{
    m_activity->stop();
    m_idle = true;
    emit activityTimerExpired();
}

void ActivityMonitor::gnomeActive()
{
    if (!m_watching || !(m_options.CheckKeyboardActivity || m_options.CheckMouseActivity))
        return;
    m_gnomeBusy = true;
    m_idle = false;
    m_activity->stop();
}

void ActivityMonitor::gnomeQuiet(int quietMs)
{
    if (!m_gnomeBusy)
        return;
    m_gnomeBusy = false;
    // The user has been quiet for quietMs already: the pause runs from the last input.
    m_idle = false;
    m_activity->stop();
    m_activity->setInterval(std::max(0, pauseOf(m_options) - quietMs));
    m_activity->start();
}

QString ActivityMonitor::findings() const
{
    const QString asOne = tr("клавиатура и мышь не различаются");
    QStringList sources;
    switch (m_hooks.isLoaded() ? m_hooks.source() : HookSourceNone) {
    case HookSourceX11:
        sources << QStringLiteral("XInput 2 (X11)");
        break;
    case HookSourceExtIdle:
        sources << QStringLiteral("ext-idle-notify-v1 (Wayland, %1)").arg(asOne);
        break;
    case HookSourceKdeIdle:
        sources << QStringLiteral("org_kde_kwin_idle (Wayland, %1)").arg(asOne);
        break;
    default:
        break;
    }
    if (m_gnome.available())
        sources << tr("монитор простоя GNOME (%1)").arg(asOne);
    QString line = tr("Пауза: %1. ").arg(sources.isEmpty() ? tr("не отслеживается")
                                                            : sources.join(tr(" и ", "between two sources")));
    if (m_options.ShowOverFullScreen != 0)
        line += tr("Уроки показываются поверх полноэкранных окон.");
    else if (m_holdBack.watched().isEmpty())
        line += tr("Урок ничем не задерживается.");
    else
        line += tr("Урок ждёт, пока есть: %1.").arg(m_holdBack.watched().join(QStringLiteral(", ")));
    return line;
}
