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
}

ActivityMonitor::~ActivityMonitor()
{
    // The notifier goes before the descriptor it watches.
    delete m_notifier;
    m_notifier = nullptr;
    m_hooks.unload();
}

bool ActivityMonitor::loadLibrary()
{
    if (!m_hooks.isLoaded())
        m_hooks.load();
    return watchLibrary();
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
    m_options.HookLoaded = false;
}

void ActivityMonitor::lessonStarted()
{
    m_hooks.stopHooks();
}

void ActivityMonitor::lessonEnded()
{
    m_hooks.startHooks();
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
    if (counted) {
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
