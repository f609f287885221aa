// The tray menu and the scheduling wired to the real trainer window as start-up wires them:
// clicks, the lesson timer on a shortened minute, a pending lesson released by the hidden
// window's activity timer, and Quit.
#include "ProgramGlobals.h"
#include "shell/TrayStartup.h"

#include "common/TestHome.h"
#include "engine/DataSet.h"
#include "learning/MainForm.h"
#include "platform/ProgramFolder.h"
#include "platform/TimeScale.h"
#include "shell/ActivityMonitor.h"
#include "shell/HiddenWindow.h"
#include "shell/TrayMenu.h"
#include "store/Topics.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include "common/EventWait.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

class TrayWithTrainer : public ::testing::Test {
protected:
    void SetUp() override
    {
        TimeScale::setMsPerMinute(20);
        ProgramFolder::resolve();
        FNo = new TFNo;
        Options.StartImmediately = false;
        Options.AutoShowInterval = 3;
        Options.ChildrenMode = false;
        Options.AutoPlayWordSound = false;
        Options.LoopPlay = false;
        SetOptionText(Options.StudiedLayout, QString());
        SetOptionText(Options.NativeLayout, QString());
        TWords = new TDbfDataSet;
        TWords->SetExclusive(true);
        Topics = new TTopics(*TWords);
        FWordpop = new TFWordpop(FNo->Images(), *Topics);
        FWordpop->OnQuit = [this] { ++quits; };
        CreateTrayMenu();
        ASSERT_NE(FTrayMenu, nullptr);
        ASSERT_TRUE(FWordpop->InitialLoad());
    }
    void TearDown() override
    {
        DestroyTrayMenu();
        EXPECT_EQ(FTrayMenu, nullptr);
        DestroyProgramGlobals();
        TimeScale::setMsPerMinute(0);
    }

    TestHome home;
    int quits = 0;
};

} // namespace

TEST_F(TrayWithTrainer, LeftClickOpensTheLessonAndRightClickThenOpensNoMenu)
{
    ASSERT_FALSE(FWordpop->isVisible());
    FTrayMenu->TrayLeftButtonDown();
    EXPECT_TRUE(FWordpop->isVisible());
    FTrayMenu->TrayRightButtonDown();
    EXPECT_FALSE(FTrayMenu->isVisible());
    FWordpop->hide();
    FTrayMenu->TrayRightButtonDown();
    EXPECT_TRUE(FTrayMenu->isVisible());
}

TEST_F(TrayWithTrainer, LessonsComeByTheTimerAndTheEndOfOneArmsTheNext)
{
    LessonScheduler()->ArmLessonTimer();
    // No activity library: the user counts as idle and the due lesson opens at once.
    ASSERT_FALSE(FNo->Activity()->libraryLoaded());
    ASSERT_TRUE(waitUntil([] { return FWordpop->isVisible(); }, 3000));
    EXPECT_FALSE(FWordpop->Timer.isActive());
    FWordpop->hide();
    ASSERT_TRUE(FWordpop->Timer.isActive());
    EXPECT_EQ(FWordpop->Timer.interval(), TimeScale::minutes(3));
    QElapsedTimer since;
    since.start();
    ASSERT_TRUE(waitUntil([] { return FWordpop->isVisible(); }, 3000));
    EXPECT_GE(since.elapsed(), TimeScale::minutes(3) - 5);
}

TEST_F(TrayWithTrainer, APendingLessonOpensWhenTheActivityTimerExpires)
{
    ActivityMonitor &monitor = *FNo->Activity();
    monitor.setIdle(false);
    LessonScheduler()->ArmLessonTimer();
    ASSERT_TRUE(waitUntil([&] { return monitor.pending(); }, 3000));
    EXPECT_FALSE(FWordpop->isVisible());
    // The quiet time runs out: TActivity fires as after the user's last key.
    monitor.activityTimer()->setInterval(30);
    monitor.activityTimer()->start();
    ASSERT_TRUE(waitUntil([] { return FWordpop->isVisible(); }, 3000));
    EXPECT_FALSE(monitor.pending());
    EXPECT_TRUE(monitor.idle());
    EXPECT_TRUE(waitUntil([] { return QApplication::activeWindow() == FWordpop; }, 2000));
}

TEST_F(TrayWithTrainer, QuitFromTheMenuSetsTheTrainersQuittingMark)
{
    FTrayMenu->Popup(QPoint(300, 300));
    FTrayMenu->BQuitClick();
    EXPECT_TRUE(FWordpop->Quitting());
    EXPECT_EQ(quits, 1) << "the program ends the way start-up set for the trainer";
}

TEST_F(TrayWithTrainer, AddWordFromTheMenuOpensTheDialogWithoutAnOwnerAtItsSavedPlace)
{
    ASSERT_TRUE(FTrayMenu->BAddWord->isEnabled());
    Options.AddWordWindowRect = {150, 120, 480, 300};
    QString opened;
    bool owned = true;
    QPoint at;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(waitUntil([&] { return QApplication::activeModalWidget() != nullptr; }, 5000));
        QWidget *dialog = QApplication::activeModalWidget();
        opened = dialog->objectName();
        owned = dialog->parentWidget() != nullptr;
        at = dialog->pos();
        QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
    });
    FTrayMenu->Popup(QPoint(600, 500));
    FTrayMenu->BAddWordClick();
    EXPECT_EQ(opened, "TFAddWord");
    EXPECT_FALSE(owned);
    EXPECT_EQ(at, QPoint(150, 120));
    EXPECT_FALSE(FTrayMenu->Busy());
}
