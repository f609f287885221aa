// Lesson scheduling; see Scheduler.h. All of it runs on the user-interface thread, so the marks
// need no locking.
#include "shell/Scheduler.h"

#include "platform/TimeScale.h"
#include "shell/ActivityMonitor.h"

#include <QTimer>

TScheduler::TScheduler(TLessonWindow &lesson, ActivityMonitor &monitor, TOptions &options, QObject *parent)
    : QObject(parent), m_lesson(lesson), m_monitor(monitor), m_options(options)
{
    connect(&m_monitor, &ActivityMonitor::activityTimerExpired, this, &TScheduler::ActivityExpired);
    connect(&m_monitor, &ActivityMonitor::showTrainerRequested, this, [this] {
        if (!m_lesson.LessonVisible())
            m_lesson.ShowLesson();
        m_lesson.BringToFront();
    });
    // What held a lesson back has ended: the lesson comes at the first pause from now on, so
    // the end of a film is not at once covered by it.
    connect(&m_monitor.holdBack(), &THoldBack::released, this, [this] {
        if (m_monitor.pending() && !m_lesson.LessonVisible())
            m_monitor.restartPause();
    });
}

void TScheduler::LessonTimerFired()
{
    if (!m_options.AutoShow)
        return;
    // A full-screen window, an inhibitor or "do not disturb" keeps the lesson pending as a busy
    // user does.
    if (m_monitor.idle() && !m_monitor.holdBack().holdsBack()) {
        m_monitor.setPending(false);
        if (!m_lesson.LessonVisible())
            m_lesson.ShowLesson();
    } else {
        m_monitor.setPending(true);
    }
    // Only the end of a lesson arms it again, so the next one counts from that end.
    m_lesson.LessonTimer().stop();
}

void TScheduler::ActivityExpired()
{
    // With AutoShow off (unticked, or a dialog of the tray menu open) the lesson stays pending
    // and comes at the first pause after AutoShow is back.
    if (!m_monitor.pending() || !m_options.AutoShow || m_monitor.holdBack().holdsBack())
        return;
    m_monitor.setPending(false);
    if (!m_lesson.LessonVisible())
        m_lesson.ShowLesson();
    m_lesson.BringToFront();
}

void TScheduler::LessonStarted()
{
    m_monitor.lessonStarted();
}

void TScheduler::LessonEnded()
{
    if (m_lesson.Quitting())
        return;
    ArmLessonTimer();
    m_monitor.lessonEnded();
}

void TScheduler::ArmLessonTimer()
{
    QTimer &timer = m_lesson.LessonTimer();
    timer.stop();
    if (m_options.AutoShowInterval <= 0)
        return;
    timer.setSingleShot(false);
    // A coarse timer may fire 5 % early: 45 seconds of a quarter of an hour.
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(TimeScale::minutes(m_options.AutoShowInterval));
    timer.start();
}
