// What keeps a due lesson back although the user is idle: the active window is full-screen (a
// film, a presentation), a program keeps the desktop from going idle, or the desktop's
// notifications are in "do not disturb". Relies on the X server (EWMH properties, on a
// connection of its own) and on the session bus; both are asked from the user-interface thread,
// the bus only asynchronously with a short time-out. A desktop that offers none of them never
// holds anything back.
#pragma once

#include "settings/TOptions.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

class QDBusPendingCallWatcher;
class QTimer;
struct xcb_connection_t;

class THoldBack : public QObject {
    Q_OBJECT
public:
    enum Reason {
        FullScreen = 1,     // the active window is full-screen
        IdleInhibited = 2,  // a program inhibits idleness (video player, presentation)
        DoNotDisturb = 4,   // the desktop's notifications are silenced
    };

    explicit THoldBack(TOptions &options = Options, QObject *parent = nullptr);
    ~THoldBack() override;

    // Starts looking, at once and then every `periodMs`. `busAddress` names the session bus
    // (empty: the user's own, when there is one); the X server is $DISPLAY's.
    void start(int periodMs = 1000, const QString &busAddress = QString());
    void stop();
    bool started() const { return m_timer != nullptr; }

    // A due lesson waits: something was found at the last look and ShowOverFullScreen is 0.
    bool holdsBack() const;
    // What was found at the last look (Reason bits), whatever the setting says.
    int reasons() const { return m_reasons; }
    // The signals this desktop answers for, in the user's words; empty when none does.
    QStringList watched() const;

signals:
    // Nothing holds back any more (after something did); a pending lesson may come at the next pause.
    void released();

private:
    struct Probe;
    void look();
    void lookAtX();
    void ask(Probe &probe);
    void answered(Probe &probe, QDBusPendingCallWatcher *call);
    void settle();

    TOptions &m_options;
    QTimer *m_timer = nullptr;
    int m_reasons = 0;
    bool m_wasHolding = false;

    // X: the connection and the atoms of EWMH, found once.
    xcb_connection_t *m_x = nullptr;
    uint32_t m_activeAtom = 0, m_stateAtom = 0, m_fullAtom = 0, m_supportedAtom = 0;
    bool m_xFullScreen = false;
    bool m_xSupported = false;
    int m_xSupportedCheck = 0;

    // Session bus.
    QString m_busName;
    QDBusConnection m_bus{QString()};
    std::vector<Probe> m_probes;
};
