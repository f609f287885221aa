// A lesson window for scheduling tests: a timer and a visible mark, no trainer behind it.
// Header-only.
#pragma once

#include "shell/Scheduler.h"

#include <QTimer>

class LessonStandIn : public TLessonWindow {
public:
    bool LessonVisible() const override { return visible; }
    void ShowLesson() override
    {
        visible = true;
        ++shown;
    }
    void BringToFront() override {}
    QTimer &LessonTimer() override { return timer; }
    bool Quitting() const override { return false; }
    void SetQuitting() override {}
    void ApplySettings() override {}

    bool visible = false;
    int shown = 0;
    QTimer timer;
};
