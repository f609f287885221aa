// Looking for what holds a lesson back; see HoldBack.h. Each D-Bus question goes out at most once
// at a time; a desktop that does not know it (no such service, method or key) is asked again only
// now and then, so that a service started later is still found.
#include "shell/HoldBack.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int AnswerTimeoutMs = 500;
// Looks between two questions to a desktop that did not know the last one.
constexpr int RetryUnknownAfter = 30;

std::atomic<int> g_connectionCount{0};

// An answer of D-Bus's that a Properties.Get or a portal's Read wraps in variants.
bool boolOf(const QVariant &value)
{
    QVariant v = value;
    for (int depth = 0; depth < 4 && v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>(); ++depth)
        v = v.value<QDBusVariant>().variant();
    return v.toBool();
}

// Errors that say "this desktop has no such thing", as opposed to a slow or failing service.
bool unknownHere(const QDBusError &error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownProperty:
    case QDBusError::AccessDenied:
        return true;
    default:
        // The settings portal says so with its own error.
        return error.name().endsWith(QLatin1String(".NotFound"));
    }
}

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : 0;
    free(r);
    return a;
}

// The atoms of a window's property of type ATOM or WINDOW (both 32-bit lists).
std::vector<uint32_t> listProperty(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property)
{
    std::vector<uint32_t> out;
    xcb_get_property_reply_t *r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
    if (r && r->format == 32) {
        const auto *values = static_cast<const uint32_t *>(xcb_get_property_value(r));
        out.assign(values, values + xcb_get_property_value_length(r) / 4);
    }
    free(r);
    return out;
}

} // namespace

struct THoldBack::Probe {
    THoldBack::Reason reason;
    QString label;     // what it is called in the information window
    QString service, path, interface, method;
    QVariantList args;
    bool negate = false;          // the answer says "shown", not "held"
    enum { Unknown, Known, Absent } state = Unknown;
    bool value = false;
    bool inFlight = false;
    int sinceAbsent = 0;
};

THoldBack::THoldBack(TOptions &options, QObject *parent) : QObject(parent), m_options(options)
{
    // GNOME keeps idle inhibitors in its session manager (8: inhibit idle); KDE, Xfce and others
    // in the power manager's inhibit interface (KDE the screen saver's in its policy agent); KDE and others report "do not disturb" as the
    // notification server's Inhibited property; GNOME as its show-banners setting, which the
    // settings portal reads out.
    m_probes.push_back({IdleInhibited, tr("запрет простоя (GNOME)"),
                        "org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
                        "IsInhibited", {QVariant::fromValue(uint(8))}});
    m_probes.push_back({IdleInhibited, tr("запрет простоя (PowerManagement)"),
                        "org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
                        "org.freedesktop.PowerManagement.Inhibit", "HasInhibit", {}});
    // KDE's power manager keeps the screen saver's inhibitors (video players ask it to keep the
    // screen on: 4, "change screen settings") apart from HasInhibit's.
    m_probes.push_back({IdleInhibited, tr("запрет заставки (KDE)"),
                        "org.kde.Solid.PowerManagement", "/org/kde/Solid/PowerManagement/PolicyAgent",
                        "org.kde.Solid.PowerManagement.PolicyAgent", "HasInhibition", {QVariant::fromValue(uint(4))}});
    m_probes.push_back({DoNotDisturb, tr("«не беспокоить»"),
                        "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                        "org.freedesktop.DBus.Properties", "Get",
                        {QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Inhibited")}});
    Probe banners{DoNotDisturb, tr("«не беспокоить» (GNOME)"),
                  "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                  "org.freedesktop.portal.Settings", "Read",
                  {QStringLiteral("org.gnome.desktop.notifications"), QStringLiteral("show-banners")}};
    banners.negate = true;
    m_probes.push_back(banners);
}

THoldBack::~THoldBack()
{
    stop();
}

void THoldBack::start(int periodMs, const QString &busAddress)
{
    stop();
    // X: the server of $DISPLAY, if any.
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        m_x = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_x)) {
            xcb_disconnect(m_x);
            m_x = nullptr;
        } else {
            m_activeAtom = atom(m_x, "_NET_ACTIVE_WINDOW");
            m_stateAtom = atom(m_x, "_NET_WM_STATE");
            m_fullAtom = atom(m_x, "_NET_WM_STATE_FULLSCREEN");
            m_supportedAtom = atom(m_x, "_NET_SUPPORTED");
        }
    }
    // The bus: never started for us (no autolaunch), only one that is there.
    m_busName = QStringLiteral("wordpop-holdback-%1").arg(++g_connectionCount);
    QString address = busAddress;
    if (address.isEmpty()) {
        address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (address.isEmpty() && !runtime.isEmpty() && QFileInfo(runtime + "/bus").exists())
            address = "unix:path=" + runtime + "/bus";
    }
    if (!address.isEmpty())
        m_bus = QDBusConnection::connectToBus(address, m_busName);
    for (Probe &p : m_probes)
        p = Probe{p.reason, p.label, p.service, p.path, p.interface, p.method, p.args, p.negate};

    m_timer = new QTimer(this);
    m_timer->setInterval(periodMs);
    connect(m_timer, &QTimer::timeout, this, &THoldBack::look);
    m_timer->start();
    look();
}

void THoldBack::stop()
{
    // Answers still on their way must not arrive after the probes they fill are gone.
    qDeleteAll(findChildren<QDBusPendingCallWatcher *>());
    delete m_timer;
    m_timer = nullptr;
    if (!m_busName.isEmpty()) {
        m_bus = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(m_busName);
        m_busName.clear();
    }
    if (m_x)
        xcb_disconnect(m_x);
    m_x = nullptr;
    m_xFullScreen = m_xSupported = false;
    m_reasons = 0;
    m_wasHolding = false;
}

bool THoldBack::holdsBack() const
{
    return m_options.ShowOverFullScreen == 0 && m_reasons != 0;
}

QStringList THoldBack::watched() const
{
    QStringList out;
    if (m_xSupported)
        out << tr("полноэкранное окно");
    for (const Probe &p : m_probes)
        if (p.state == Probe::Known && !out.contains(p.label))
            out << p.label;
    return out;
}

void THoldBack::look()
{
    lookAtX();
    if (m_bus.isConnected()) {
        for (Probe &p : m_probes)
            ask(p);
    }
    settle();
}

void THoldBack::lookAtX()
{
    m_xFullScreen = false;
    if (!m_x)
        return;
    if (xcb_connection_has_error(m_x)) {
        // The server went away; a later start finds the next one.
        xcb_disconnect(m_x);
        m_x = nullptr;
        m_xSupported = false;
        return;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root;
    // A window manager that keeps EWMH may come or go: asked again now and then.
    if (m_xSupportedCheck-- <= 0) {
        const std::vector<uint32_t> supported = listProperty(m_x, root, m_supportedAtom);
        m_xSupported = std::find(supported.begin(), supported.end(), m_activeAtom) != supported.end();
        m_xSupportedCheck = m_xSupported ? RetryUnknownAfter : 5;
    }
    const std::vector<uint32_t> active = listProperty(m_x, root, m_activeAtom);
    if (active.empty() || active[0] == 0)
        return;
    m_xSupported = true;
    const std::vector<uint32_t> state = listProperty(m_x, active[0], m_stateAtom);
    m_xFullScreen = std::find(state.begin(), state.end(), m_fullAtom) != state.end();
}

void THoldBack::ask(Probe &probe)
{
    if (probe.inFlight)
        return;
    if (probe.state == Probe::Absent && ++probe.sinceAbsent < RetryUnknownAfter)
        return;
    QDBusMessage message = QDBusMessage::createMethodCall(probe.service, probe.path, probe.interface, probe.method);
    message.setArguments(probe.args);
    // Asking must not start a service the desktop does not run (a notification daemon, a portal).
    message.setAutoStartService(false);
    probe.inFlight = true;
    auto *call = new QDBusPendingCallWatcher(m_bus.asyncCall(message, AnswerTimeoutMs), this);
    const size_t index = size_t(&probe - m_probes.data());
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, index](QDBusPendingCallWatcher *w) {
        answered(m_probes[index], w);
        settle();
    });
}

void THoldBack::answered(Probe &probe, QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    probe.inFlight = false;
    const QDBusMessage reply = call->reply();
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        probe.state = Probe::Known;
        probe.value = boolOf(reply.arguments().first()) != probe.negate;
        return;
    }
    probe.value = false;
    const QDBusError error = call->error();
    if (unknownHere(error)) {
        probe.state = Probe::Absent;
        probe.sinceAbsent = 0;
    }
    // A time-out or a failing service: nothing held back this time, asked again next look.
}

void THoldBack::settle()
{
    int reasons = m_xFullScreen ? FullScreen : 0;
    for (const Probe &p : m_probes)
        if (p.state == Probe::Known && p.value)
            reasons |= p.reason;
    m_reasons = reasons;
    const bool holding = holdsBack();
    if (m_wasHolding && !holding)
        emit released();
    m_wasHolding = holding;
}
