// The real wordpop on an X server of the test's own, driven by the keyboard alone through
// XTest: Alt+D opens the dictionaries window, Insert and Enter create a dictionary, Space
// unticks it, Esc closes the window; the files on disk follow each step.
#include <QDateTime>
#include <QFileInfo>

// Last: it brings Xlib's macros.
#include "ProgramOnOwnX.h"

using DictionariesWindow = ProgramOnOwnX;

TEST_F(DictionariesWindow, TheKeyboardAloneTicksCreatesAndClosesAndTheFilesFollow)
{
    QProcessEnvironment env = ProgramOnX::environment(home, server.display());
    // No message log: with one the input-line window would answer by itself. A message shown
    // here would stay up and fail the step it blocks.
    env.remove("WORDPOP_MESSAGE_LOG");
    ASSERT_TRUE(ProgramOnX::startAndWaitForLoop(program, env)) << "the program's event loop never ran";

    const QString on = home.home() + "BASE/ON/", off = home.home() + "BASE/OFF/";
    const QString created = QStringLiteral("Новый словарь.wrd");
    // The first lesson shows at start; its window has the focus.
    ASSERT_TRUE(pollUntil([&] { return QFileInfo::exists(home.home() + "wordpop.opt"); }, 30000));
    QThread::msleep(1500);

    // Alt+D, until the window is up (the first presses may come before the trainer has focus).
    EXPECT_FALSE(shown("Словари"));
    ASSERT_TRUE(pollUntil([&] {
        press(XK_d, XK_Alt_L);
        return pollUntil([&] { return shown("Словари"); }, 2000);
    }, 30000)) << "Alt+D did not open the dictionaries window";
    QThread::msleep(500);

    press(XK_Insert);
    ASSERT_TRUE(pollUntil([&] { return shown("Пожалуйта, введите имя нового словаря"); }, 20000));
    QThread::msleep(300);
    press(XK_Return);
    ASSERT_TRUE(pollUntil([&] { return QFileInfo::exists(on + created); }, 20000)) << "Enter accepted the proposed name";
    ASSERT_TRUE(pollUntil([&] { return !shown("Пожалуйта, введите имя нового словаря"); }, 20000));
    QThread::msleep(500);

    // The new entry is the selected one: Space unticks it, moving it to BASE/OFF/.
    press(XK_space);
    ASSERT_TRUE(pollUntil([&] { return QFileInfo::exists(off + created) && !QFileInfo::exists(on + created); }, 20000))
        << "Space did not untick the new dictionary";
    press(XK_space);
    ASSERT_TRUE(pollUntil([&] { return QFileInfo::exists(on + created) && !QFileInfo::exists(off + created); }, 20000))
        << "Space did not tick it again";

    const QDateTime saved = QFileInfo(home.home() + "wordpop.opt").lastModified();
    QThread::msleep(50);
    press(XK_Escape);
    ASSERT_TRUE(pollUntil([&] { return !shown("Словари"); }, 20000)) << "Esc did not close the window";
    EXPECT_TRUE(pollUntil([&] { return QFileInfo(home.home() + "wordpop.opt").lastModified() > saved; }, 5000))
        << "closing writes the settings";
    EXPECT_EQ(program.state(), QProcess::Running);

    ProgramOnX::endWith(program, SIGTERM);
}
