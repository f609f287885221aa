// The options window as start-up wires it. The real wordpop on an X server of the test's own:
// Alt+O in the trainer opens "Настройки", Esc closes it, and the settings file keeps every value
// (keys go in through xdotool, XTest). In this process: both openers and what follows a Save.
#include "ProgramGlobals.h"
#include "ProgramProcess.h"
#include "common/PrivateXServer.h"
#include "common/TestHome.h"
#include "engine/DataSet.h"
#include "learning/MainForm.h"
#include "messages/LineInput.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "settings/Options.h"
#include "shell/ActivityMonitor.h"
#include "shell/HiddenWindow.h"
#include "shell/TrayMenu.h"
#include "shell/TrayStartup.h"
#include "store/Topics.h"

#include <QCheckBox>
#include <QPushButton>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

namespace {

class Xdotool {
public:
    explicit Xdotool(QString display) : m_display(std::move(display)), m_tool(QStandardPaths::findExecutable("xdotool")) {}
    bool ok() const { return !m_tool.isEmpty(); }

    QStringList run(const QStringList &args) const
    {
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("DISPLAY", m_display);
        p.setProcessEnvironment(e);
        p.start(m_tool, args);
        p.waitForFinished(20000);
        return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }
    // The first visible window whose name matches, waited for up to `ms`; empty when none came.
    QString waitForWindow(const QStringList &search, int ms) const
    {
        QElapsedTimer clock;
        clock.start();
        do {
            const QStringList ids = run(QStringList{"search", "--onlyvisible"} + search);
            if (!ids.isEmpty())
                return ids.first();
            QThread::msleep(100);
        } while (clock.elapsed() < ms);
        return {};
    }
    bool waitUntilGone(const QStringList &search, int ms) const
    {
        QElapsedTimer clock;
        clock.start();
        while (!run(QStringList{"search", "--onlyvisible"} + search).isEmpty()) {
            if (clock.elapsed() > ms)
                return false;
            QThread::msleep(100);
        }
        return true;
    }

private:
    QString m_display;
    QString m_tool;
};

} // namespace

TEST(OptionsFromTheTrainer, AltOOpensTheWindowAndEscClosesItLeavingTheSettingsAsTheyWere)
{
    PrivateXServer x;
    REQUIRE_PRIVATE_X_SERVER(x);
    Xdotool tool(x.display());
    if (!tool.ok())
        GTEST_SKIP() << "xdotool is not installed";

    TestHome home;
    home.writeFile("langs.dat", "0409=English\r\n0419=\xD0\xF3\xF1\xF1\xEA\xE8\xE9\r\n");
    const QString messageLog = home.root() + "/messages.txt";

    QProcess p;
    ASSERT_TRUE(ProgramOnX::startAndWaitForLoop(p, ProgramOnX::environment(home, x.display())));

    // The first lesson opens at start.
    const QString trainer = tool.waitForWindow({"--pid", QString::number(p.processId())}, 30000);
    ASSERT_FALSE(trainer.isEmpty()) << "the trainer window did not show";
    const QByteArray before = home.readFile("wordpop.opt");
    ASSERT_EQ(before.size(), 6724);

    tool.run({"windowfocus", "--sync", trainer});
    tool.run({"key", "--clearmodifiers", "alt+o"});
    const QStringList options{"--name", QString::fromUtf8("^Настройки$")};
    const QString window = tool.waitForWindow(options, 30000);
    ASSERT_FALSE(window.isEmpty()) << "Alt+O opened no \"Настройки\"";

    tool.run({"windowfocus", "--sync", window});
    tool.run({"key", "Escape"});
    EXPECT_TRUE(tool.waitUntilGone(options, 30000)) << "Esc did not close the window";
    EXPECT_TRUE(tool.waitForWindow({"--pid", QString::number(p.processId())}, 5000) == trainer)
        << "the trainer stays";

    // Every setting as it was. Closing records the window's own placement, and the record in
    // memory goes to disk with its run-time mark of the loaded activity library (reset at every
    // start, so no setting) and the word counts the start-up's count left in it (no settings
    // either; whether the file held them yet when it was first read depends on timing).
    QByteArray after = home.readFile("wordpop.opt");
    ASSERT_EQ(after.size(), 6724);
    const int rect = 0x044, rectSize = 16, hookLoaded = 0x0E5;
    const int counts = 0x070, countsSize = 12; // total, studied and learned words
    QByteArray masked = before;
    masked.replace(rect, rectSize, after.mid(rect, rectSize));
    masked.replace(counts, countsSize, after.mid(counts, countsSize));
    masked[hookLoaded] = after.at(hookLoaded);
    QStringList changed;
    for (int i = 0; i < after.size(); ++i)
        if (after.at(i) != masked.at(i))
            changed << QString::number(i, 16);
    EXPECT_TRUE(changed.isEmpty()) << "bytes changed at 0x" << changed.join(", 0x").toStdString();
    QFile log(messageLog);
    EXPECT_FALSE(log.exists() && log.size() > 0) << "messages were shown";

    ProgramOnX::endWith(p, SIGTERM);
}

// Start-up's wiring, in this process: both "Настройки" buttons work, and a Save that turns
// children mode on is applied by the trainer at once, from either opener.

namespace {

class OptionsWiring : public ::testing::Test {
protected:
    void SetUp() override
    {
        home.writeFile("langs.dat", "0409=English\r\n");
        ProgramFolder::resolve();
        FNo = new TFNo;
        Options.StartImmediately = false;
        Options.ChildrenMode = false;
        Options.AutoRun = false;
        TWords = new TDbfDataSet;
        TWords->SetExclusive(true);
        Topics = new TTopics(*TWords);
        FWordpop = new TFWordpop(FNo->Images(), *Topics);
        FWordpop->OnQuit = [] {};
        CreateTrayMenu();
        ASSERT_TRUE(FWordpop->InitialLoad());
    }
    void TearDown() override
    {
        DestroyTrayMenu();
        DestroyProgramGlobals();
    }

    TestHome home;
    MessageBox::TestHook boxes;
};

void turnChildrenModeOn(TFOptions::TestHook &windows, TFLineInput::TestHook &prompts)
{
    prompts.answer({TFLineInput::Ok, "pw"});
    prompts.answer({TFLineInput::Ok, "pw"});
    windows.answer([](TFOptions &w) {
        w.ChChildrenMode->click();
        w.BSave->click();
    });
}

} // namespace

TEST_F(OptionsWiring, FromTheTrainerTheSavedModeIsAppliedAtOnce)
{
    EXPECT_TRUE(FWordpop->BOptions->isEnabled());
    EXPECT_TRUE(FWordpop->BQuit->isEnabled());
    TFOptions::TestHook windows;
    TFLineInput::TestHook prompts;
    turnChildrenModeOn(windows, prompts);
    FWordpop->OpenOptions();
    ASSERT_EQ(windows.shown().size(), 1);
    EXPECT_TRUE(Options.ChildrenMode);
    EXPECT_FALSE(FWordpop->BQuit->isEnabled()) << "children mode takes Quit away";
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
}

TEST_F(OptionsWiring, FromTheTrayTheTrainerIsUpdatedAndTheMenuIsFreeAgain)
{
    ASSERT_NE(FTrayMenu, nullptr);
    EXPECT_TRUE(FTrayMenu->BOptions->isEnabled());
    TFOptions::TestHook windows;
    TFLineInput::TestHook prompts;
    turnChildrenModeOn(windows, prompts);
    FTrayMenu->BOptionsClick();
    ASSERT_EQ(windows.shown().size(), 1);
    EXPECT_FALSE(FTrayMenu->Busy());
    EXPECT_TRUE(Options.AutoShow);
    EXPECT_FALSE(FWordpop->BQuit->isEnabled());

    // A missing language list leaves the menu as it was too, and says why.
    QFile::remove(home.home() + "langs.dat");
    FTrayMenu->BOptionsClick();
    EXPECT_EQ(windows.shown().size(), 1);
    EXPECT_FALSE(FTrayMenu->Busy());
    EXPECT_TRUE(Options.AutoShow);
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts()[0].contains("langs.dat"));
}

// The real activity library behind the boxes: clearing both unloads it before any Save, and a
// tick loads it again from the program folder.
TEST_F(OptionsWiring, TheActivityBoxesLoadAndUnloadTheRealLibraryAtOnce)
{
    PrivateXServer x;
    REQUIRE_PRIVATE_X_SERVER(x);
    ScopedDisplay display(x.display());
    ASSERT_TRUE(QFile::copy(QStringLiteral(WORDPOP_HOOK_LIBRARY), home.home() + "wordpop-hook.so"));
    ActivityMonitor &monitor = *FNo->Activity();
    ASSERT_TRUE(monitor.loadLibrary());
    ASSERT_TRUE(Options.HookLoaded);
    Options.CheckKeyboardActivity = Options.CheckMouseActivity = true;

    TFOptions::TestHook windows;
    windows.answer([&](TFOptions &w) {
        w.ChCheckKeybActivity->click();
        EXPECT_TRUE(monitor.libraryLoaded());
        w.ChCheckMouseActivity->click();
        EXPECT_FALSE(monitor.libraryLoaded()) << "unloaded at once";
        EXPECT_FALSE(Options.HookLoaded);
        w.ChCheckMouseActivity->click();
        EXPECT_TRUE(monitor.libraryLoaded());
        EXPECT_TRUE(Options.HookLoaded);
        w.BCancel->click();
    });
    FTrayMenu->BOptionsClick();
    ASSERT_EQ(windows.shown().size(), 1);
    EXPECT_TRUE(monitor.libraryLoaded());
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    monitor.unloadLibrary();
}
