// When lessons open by themselves: the lesson timer's ticks, held back while the user is busy
// (the activity monitor's idle and pending marks), the lesson shown once the user pauses, and
// the timer armed again at the end of every lesson. Relies on the activity monitor for idle,
// pending and TActivity, and on TimeScale for the length of a minute.
#pragma once

#include "settings/TOptions.h"

#include <QObject>

class ActivityMonitor;
class QTimer;

// What scheduling and the tray need of the trainer window. The trainer owns the lesson timer
// and the quitting mark; its showing is the start of a lesson, its hiding the end.
class TLessonWindow {
public:
    virtual ~TLessonWindow() = default;
    virtual bool LessonVisible() const = 0;
    // Starts a lesson: the trainer window shows with its first question.
    virtual void ShowLesson() = 0;
    // Raises and activates the trainer window and gives it the keyboard focus.
    virtual void BringToFront() = 0;
    virtual QTimer &LessonTimer() = 0;
    virtual bool Quitting() const = 0;
    // Sets the quitting mark only: no lesson end re-arms anything after it.
    virtual void SetQuitting() = 0;
    // The settings may have changed (options window): the trainer re-applies its display.
    virtual void ApplySettings() = 0;
};

class TScheduler : public QObject {
    Q_OBJECT
public:
    // Takes over the monitor's TActivity expiry and its "show the trainer" notice.
    TScheduler(TLessonWindow &lesson, ActivityMonitor &monitor, TOptions &options = Options,
               QObject *parent = nullptr);

    // A tick of the lesson timer. With AutoShow off nothing happens and the timer keeps running.
    // Otherwise the timer stops; an idle user gets the lesson now, a busy one has it pending.
    void LessonTimerFired();
    // TActivity expired (the user is idle again): a pending lesson shows and takes the focus,
    // unless AutoShow is off just now.
    void ActivityExpired();
    // The trainer window showed: activity is not watched during a lesson.
    void LessonStarted();
    // The trainer window hid: unless the program is quitting, the next lesson is due
    // AutoShowInterval minutes from now and activity is watched again.
    void LessonEnded();
    // AutoShowInterval minutes on the lesson timer; an interval of 0 leaves it stopped.
    void ArmLessonTimer();

    TLessonWindow &Lesson() { return m_lesson; }
    ActivityMonitor &Monitor() { return m_monitor; }

private:
    TLessonWindow &m_lesson;
    ActivityMonitor &m_monitor;
    TOptions &m_options;
};
