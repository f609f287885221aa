// The tray menu's place in start-up and shutdown; see TrayStartup.h.
#include "shell/TrayStartup.h"

#include "learning/MainForm.h"
#include "settings/Options.h"
#include "shell/ActivityMonitor.h"
#include "shell/HiddenWindow.h"
#include "shell/TrayMenu.h"
#include "sound/Sound.h"
#include "sound/SoundPaths.h"
#include "store/AddWord.h"

#include <QCoreApplication>
#include <QCursor>
#include <QPointer>

#include <memory>

bool TTrainerLesson::LessonVisible() const { return m_trainer.isVisible(); }
void TTrainerLesson::ShowLesson() { m_trainer.ShowTrainer(); }
void TTrainerLesson::BringToFront()
{
    // ShowTrainer on a visible window only raises and activates it.
    if (m_trainer.isVisible())
        m_trainer.ShowTrainer();
}
QTimer &TTrainerLesson::LessonTimer() { return m_trainer.Timer; }
bool TTrainerLesson::Quitting() const { return m_trainer.Quitting(); }
void TTrainerLesson::SetQuitting() { m_trainer.SetQuitting(); }
void TTrainerLesson::ApplySettings() { m_trainer.ApplyModeAndSize(); }

namespace {
std::unique_ptr<TTrainerLesson> g_lesson;
std::unique_ptr<TScheduler> g_scheduler;
QPointer<TFOptions> g_options;

// The options window reaches the sound layer and the activity library through these.
void SetOptionsHooks(TSoundPlayer *player)
{
    OptionsHooks &h = OptionsWindowHooks();
    h.loadLibrary = [] {
        ActivityMonitor *monitor = FNo ? FNo->Activity() : nullptr;
        if (!monitor || !monitor->loadLibrary())
            return false;
        // Nothing is watched while a lesson is on the screen.
        if (FWordpop && FWordpop->isVisible())
            monitor->library().stopHooks();
        return true;
    };
    h.unloadLibrary = [] {
        if (FNo)
            FNo->Activity()->unloadLibrary();
    };
    h.playSound = [player](const QString &path) { return player && PlaySoundFile(*player, path); };
    h.stopSound = [player] {
        if (player)
            player->Close();
    };
    h.soundPath = AnswerSoundPath;
    h.soundName = StoredSoundName;
}

// One options window at a time: a second request brings the open one to the front.
bool RunOptionsWindow(QPoint at)
{
    if (g_options) {
        g_options->raise();
        g_options->activateWindow();
        return false;
    }
    TSoundPlayer player;
    SetOptionsHooks(&player);
    TFOptions window(nullptr, FNo ? &FNo->Images() : nullptr);
    g_options = &window;
    const bool saved = window.Execute(at.x(), at.y());
    g_options = nullptr;
    SetOptionsHooks(nullptr);
    return saved;
}
} // namespace

void CreateTrayMenu()
{
    g_lesson = std::make_unique<TTrainerLesson>(*FWordpop);
    g_scheduler = std::make_unique<TScheduler>(*g_lesson, *FNo->Activity(), Options);
    FWordpop->OnLessonTimer = [] { g_scheduler->LessonTimerFired(); };
    FWordpop->OnLessonStarted = [] { g_scheduler->LessonStarted(); };
    FWordpop->OnLessonEnded = [] { g_scheduler->LessonEnded(); };
    FTrayMenu = new TFTrayMenu(*g_lesson, Options);
    // The add-word dialog without an owner, near the cursor; it then takes its saved place.
    FTrayMenu->RunAddWord = [] { RunAddWordAtTray(QCursor::pos()); };
    FTrayMenu->RunOptions = [](QPoint cursor) { RunOptionsWindow(cursor); };
    FTrayMenu->UpdateControls();
    FWordpop->RunOptions = [](QPoint position) { return RunOptionsWindow(position); };
    FWordpop->UpdateControls();
    // The program ends the one way start-up set for the trainer (the trainer's Quit also saves;
    // Quit from the tray does not).
    FTrayMenu->OnQuit = [] {
        if (FWordpop && FWordpop->OnQuit)
            FWordpop->OnQuit();
        else
            QCoreApplication::exit(0);
    };
}

void DestroyTrayMenu()
{
    if (FWordpop) {
        FWordpop->OnLessonTimer = nullptr;
        FWordpop->OnLessonStarted = nullptr;
        FWordpop->OnLessonEnded = nullptr;
        FWordpop->RunOptions = nullptr;
        FWordpop->UpdateControls();
    }
    delete FTrayMenu;
    FTrayMenu = nullptr;
    g_scheduler.reset();
    g_lesson.reset();
}

TScheduler *LessonScheduler() { return g_scheduler.get(); }
