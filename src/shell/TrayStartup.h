// The tray menu and lesson scheduling put together around the program's trainer window and the
// hidden window's activity monitor, for start-up and shutdown.
#pragma once

#include "shell/Scheduler.h"

class TFWordpop;

// TLessonWindow over the real trainer window.
class TTrainerLesson : public TLessonWindow {
public:
    explicit TTrainerLesson(TFWordpop &trainer) : m_trainer(trainer) {}
    bool LessonVisible() const override;
    void ShowLesson() override;
    void BringToFront() override;
    QTimer &LessonTimer() override;
    bool Quitting() const override;
    void SetQuitting() override;
    void ApplySettings() override;

private:
    TFWordpop &m_trainer;
};

// After FWordpop (and FNo) exist: makes FTrayMenu, which adds the tray icon, and connects the
// trainer's lesson timer, lesson start and lesson end to the scheduling.
void CreateTrayMenu();
// Before FWordpop goes: the trainer's scheduling hooks are cleared and FTrayMenu is destroyed,
// which removes the tray icon.
void DestroyTrayMenu();

// The scheduling made by CreateTrayMenu (null outside it).
TScheduler *LessonScheduler();
