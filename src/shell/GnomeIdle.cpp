// GNOME's idle monitor; see GnomeIdle.h. A watch for QuietMs of quiet stays for the whole run; a
// watch for the next input is added whenever the user has gone quiet (the monitor removes it
// once it fires).
#include "shell/GnomeIdle.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>

#include <atomic>

namespace {
const QString Service = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString Path = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");
const QString Interface = QStringLiteral("org.gnome.Mutter.IdleMonitor");
constexpr int AnswerTimeoutMs = 1000;
std::atomic<int> g_connectionCount{0};
}

TGnomeIdle::TGnomeIdle(QObject *parent) : QObject(parent) {}

TGnomeIdle::~TGnomeIdle()
{
    stop();
}

void TGnomeIdle::start(const QString &busAddress)
{
    stop();
    QString address = busAddress;
    if (address.isEmpty()) {
        // Only a bus that is there: never one started for us.
        address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (address.isEmpty() && !runtime.isEmpty() && QFileInfo(runtime + "/bus").exists())
            address = "unix:path=" + runtime + "/bus";
    }
    if (address.isEmpty())
        return;
    m_busName = QStringLiteral("wordpop-gnome-idle-%1").arg(++g_connectionCount);
    m_bus = QDBusConnection::connectToBus(address, m_busName);
    if (!m_bus.isConnected())
        return;
    m_bus.connect(Service, Path, Interface, QStringLiteral("WatchFired"), this, SLOT(watchFired(uint)));
    call(QStringLiteral("GetIdletime"), {}, &TGnomeIdle::gotIdletime);
}

void TGnomeIdle::stop()
{
    qDeleteAll(findChildren<QDBusPendingCallWatcher *>());
    if (m_bus.isConnected()) {
        m_bus.disconnect(Service, Path, Interface, QStringLiteral("WatchFired"), this, SLOT(watchFired(uint)));
        // The monitor drops a client's watches when it leaves the bus; asked anyway, not awaited.
        for (uint id : {m_idleWatch, m_activeWatch})
            if (id) {
                QDBusMessage m = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("RemoveWatch"));
                m.setArguments({id});
                m_bus.send(m);
            }
    }
    m_bus = QDBusConnection(QString());
    if (!m_busName.isEmpty())
        QDBusConnection::disconnectFromBus(m_busName);
    m_busName.clear();
    m_available = false;
    m_idleWatch = m_activeWatch = 0;
    m_activeAsked = false;
}

void TGnomeIdle::call(const QString &method, const QVariantList &args, void (TGnomeIdle::*done)(QDBusPendingCallWatcher *))
{
    QDBusMessage m = QDBusMessage::createMethodCall(Service, Path, Interface, method);
    m.setArguments(args);
    m.setAutoStartService(false);
    auto *w = new QDBusPendingCallWatcher(m_bus.asyncCall(m, AnswerTimeoutMs), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this, done](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        (this->*done)(w);
    });
}

void TGnomeIdle::gotIdletime(QDBusPendingCallWatcher *w)
{
    QDBusPendingReply<quint64> reply = *w;
    if (reply.isError())
        return; // not GNOME, or not answering: this source stays silent
    m_available = true;
    call(QStringLiteral("AddIdleWatch"), {QVariant::fromValue(quint64(QuietMs))}, &TGnomeIdle::gotIdleWatch);
    // Already quiet: what comes next is input.
    if (reply.value() >= quint64(QuietMs))
        addActiveWatch();
}

void TGnomeIdle::gotIdleWatch(QDBusPendingCallWatcher *w)
{
    QDBusPendingReply<uint> reply = *w;
    if (!reply.isError())
        m_idleWatch = reply.value();
}

void TGnomeIdle::addActiveWatch()
{
    if (m_activeAsked)
        return;
    m_activeAsked = true;
    call(QStringLiteral("AddUserActiveWatch"), {}, &TGnomeIdle::gotActiveWatch);
}

void TGnomeIdle::gotActiveWatch(QDBusPendingCallWatcher *w)
{
    QDBusPendingReply<uint> reply = *w;
    if (reply.isError()) {
        m_activeAsked = false;
        return;
    }
    m_activeWatch = reply.value();
}

void TGnomeIdle::watchFired(uint id)
{
    if (id == 0)
        return;
    if (id == m_activeWatch) {
        m_activeWatch = 0;
        m_activeAsked = false;
        emit active();
    } else if (id == m_idleWatch) {
        addActiveWatch();
        emit quiet(QuietMs);
    }
}
