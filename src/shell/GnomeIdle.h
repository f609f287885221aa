// GNOME's idle monitor (org.gnome.Mutter.IdleMonitor on the session bus) as a source of activity
// for Wayland sessions whose compositor offers no idle protocol to other programs. It tells when
// input resumes and when a short quiet has passed; it cannot tell keyboard from mouse. All calls
// are asynchronous with a short time-out, and answers arrive on the user-interface thread.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QDBusPendingCallWatcher;

class TGnomeIdle : public QObject {
    Q_OBJECT
public:
    // Quiet this long ends a burst of input.
    static constexpr int QuietMs = 500;

    explicit TGnomeIdle(QObject *parent = nullptr);
    ~TGnomeIdle() override;

    // Asks the bus (`busAddress`, or the user's session bus when empty) for the monitor. Nothing
    // waits: `available` turns true once it answers; without it nothing is ever reported.
    void start(const QString &busAddress = QString());
    void stop();
    bool available() const { return m_available; }

signals:
    // Input resumed after a quiet.
    void active();
    // The user has been quiet for `quietMs` milliseconds (at least QuietMs).
    void quiet(int quietMs);

private slots:
    void watchFired(uint id);

private:
    void call(const QString &method, const QVariantList &args, void (TGnomeIdle::*done)(QDBusPendingCallWatcher *));
    void gotIdletime(QDBusPendingCallWatcher *w);
    void gotIdleWatch(QDBusPendingCallWatcher *w);
    void gotActiveWatch(QDBusPendingCallWatcher *w);
    void addActiveWatch();

    QString m_busName;
    QDBusConnection m_bus{QString()};
    bool m_available = false;
    uint m_idleWatch = 0;
    uint m_activeWatch = 0;
    bool m_activeAsked = false;
};
