// The hidden window's side of activity watching: the activity timer TActivity, the idle and
// pending marks of lesson scheduling, and the activity library whose notices arrive on a pipe.
// Relies on HookLibrary for the library and on the settings record for what counts as activity.
#pragma once

#include "settings/TOptions.h"
#include "shell/GnomeIdle.h"
#include "shell/HoldBack.h"
#include "shell/HookLibrary.h"

#include <QObject>

class QSocketNotifier;
class QTimer;

class ActivityMonitor : public QObject {
    Q_OBJECT
public:
    // Starts idle, with nothing pending and TActivity disarmed at InactivityPause: create it after
    // the settings are loaded. The library is not loaded yet.
    explicit ActivityMonitor(TOptions &options = Options, QObject *parent = nullptr);
    ~ActivityMonitor() override;

    // Loads the activity library (program folder, beside the executable, installed folder) and
    // starts both hooks. Sets HookLoaded to whether it worked; a failure is silent. On a Wayland
    // session whose compositor gave the library no idle protocol, GNOME's idle monitor is asked
    // as well (asynchronously).
    bool loadLibrary();
    bool loadLibrary(const QString &file);
    // Watches GNOME's idle monitor on that bus (empty: the session bus) beside the library.
    void watchGnomeIdle(const QString &busAddress = QString());
    TGnomeIdle &gnomeIdle() { return m_gnome; }
    // Stops the hooks, unloads the library (and GNOME's monitor) and clears HookLoaded.
    void unloadLibrary();
    bool libraryLoaded() const { return m_hooks.isLoaded(); }
    HookLibrary &library() { return m_hooks; }

    // A lesson shows: nothing is watched while the user answers.
    void lessonStarted();
    // A lesson ended: watch again (when the library is loaded).
    void lessonEnded();

    bool idle() const { return m_idle; }
    void setIdle(bool idle) { m_idle = idle; }
    bool pending() const { return m_pending; }
    void setPending(bool pending) { m_pending = pending; }

    // TActivity: single-shot, restarted by every counted activity.
    QTimer *activityTimer() const { return m_activity; }
    // The user counts as busy from now until InactivityPause of quiet has passed, as after
    // a counted activity.
    void restartPause();

    // Full-screen windows, inhibitors and "do not disturb"; looks only once started.
    THoldBack &holdBack() { return m_holdBack; }

    // One line for the information window: where pauses come from, and what holds lessons back.
    QString findings() const;

signals:
    // TActivity expired; it is already disarmed and the user marked idle.
    void activityTimerExpired();
    // The library asked for the trainer window to be shown (notice 4).
    void showTrainerRequested();

private:
    bool watchLibrary();
    void readNotices();
    void notice(unsigned char code);
    void activityTimeout();
    void gnomeActive();
    void gnomeQuiet(int quietMs);

    TOptions &m_options;
    HookLibrary m_hooks;
    QTimer *m_activity;
    QSocketNotifier *m_notifier = nullptr;
    THoldBack m_holdBack;
    TGnomeIdle m_gnome;
    bool m_watching = true;   // false during a lesson
    bool m_gnomeBusy = false; // GNOME's monitor saw input and no quiet since
    bool m_idle = true;
    bool m_pending = false;
};
