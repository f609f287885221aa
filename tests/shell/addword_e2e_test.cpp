// The real wordpop on an X server of the test's own, driven by synthetic keys as a user would:
// Insert in the trainer opens the add-word dialog, the word typed there goes into the chosen
// dictionary, and the dictionary tool finds that dictionary sound afterwards.
#include "common/PrivateXServer.h"
#include "common/TestHome.h"
#include "engine/DataSet.h"
#include "platform/ProgramFolder.h"
#include "store/Dictionary.h"
#include "store/Topics.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

const QString kProgram = QStringLiteral(WORDPOP_BINARY_DIR "/wordpop");
const QString kTool = QStringLiteral(WORDPOP_BINARY_DIR "/wordpop-dict");

// A window's title as Qt sets it (_NET_WM_NAME in UTF-8, else WM_NAME).
std::string titleOf(Display *d, Window w)
{
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    std::string title;
    if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &items, &after, &data) == Success && data) {
        title.assign(reinterpret_cast<char *>(data), items);
        XFree(data);
    }
    if (title.empty()) {
        char *name = nullptr;
        if (XFetchName(d, w, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

// The first viewable window below `root` whose title holds `part`.
Window findWindow(Display *d, Window root, const std::string &part)
{
    Window rootReturn, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, root, &rootReturn, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable &&
            titleOf(d, children[i]).find(part) != std::string::npos)
            found = children[i];
        else
            found = findWindow(d, children[i], part);
    }
    if (children)
        XFree(children);
    return found;
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QThread::msleep(50);
    }
    return true;
}

class AddWordInTheProgram : public ::testing::Test {
protected:
    TestHome home;
    PrivateXServer server;
    Display *display = nullptr;

    void SetUp() override
    {
        REQUIRE_PRIVATE_X_SERVER(server);
        display = XOpenDisplay(server.display().toLocal8Bit().constData());
        ASSERT_NE(display, nullptr) << "cannot open " << server.display().toStdString();
        int event, error, major, minor;
        ASSERT_TRUE(XTestQueryExtension(display, &event, &error, &major, &minor)) << "the server has no XTest";
    }
    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
        if (display)
            XCloseDisplay(display);
        ProgramFolder::set(QString());
    }

    void press(KeySym sym)
    {
        const KeyCode code = XKeysymToKeycode(display, sym);
        ASSERT_NE(code, 0) << "no key for keysym " << sym;
        XTestFakeKeyEvent(display, code, True, 0);
        XTestFakeKeyEvent(display, code, False, 0);
        XFlush(display);
        QThread::msleep(60);
    }
    void type(const char *letters)
    {
        for (const char *c = letters; *c; ++c)
            press(XStringToKeysym(std::string(1, *c).c_str()));
    }
    void focus(Window w)
    {
        XSetInputFocus(display, w, RevertToParent, CurrentTime);
        XFlush(display);
        QThread::msleep(300);
    }
    // One ticked dictionary of four words (MISS 2 each), so that the first lesson shows at start.
    QString makeDictionary()
    {
        ProgramFolder::set(home.home());
        for (const char *f : {"BASE/ON", "BASE/LEARNED", "BASE/OFF", "BASE/LEARNEDOFF"})
            QDir().mkpath(home.home() + f);
        TDbfDataSet words;
        words.SetExclusive(true);
        TTopics topics(words);
        EXPECT_TRUE(topics.CreateDictionary(topics.DictionaryPath(tkOn, "animals")));
        for (auto [w1, w2] : {std::pair{"cat", "koshka"}, {"dog", "sobaka"}, {"cow", "korova"}, {"fox", "lisa"}}) {
            words.Append();
            words.FieldByName("WORD1").SetAsString(w1);
            words.FieldByName("WORD2").SetAsString(w2);
            for (const char *c : {"MISS", "KBMISS"})
                words.FieldByName(c).SetAsInteger(2);
            words.Post();
        }
        topics.CloseDictionary();
        OpenDictionary(words, (home.home() + "BASE/ON/animals").toStdString()); // builds the index
        words.Close();
        return home.home() + "BASE/ON/animals.wrd";
    }

    // Starts the program and waits for its first lesson; the trainer's window, 0 when it failed.
    Window startProgram()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("WORDPOP_HOME", home.home());
        env.insert("XDG_CONFIG_HOME", home.configHome());
        env.insert("XDG_RUNTIME_DIR", home.runtimeDir());
        env.insert("WORDPOP_MESSAGE_LOG", home.root() + "/messages.txt");
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", server.display());
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(kProgram, {});
        if (!program.waitForStarted(10000))
            return 0;
        // The trainer's caption loses its first letter outside children mode.
        Window trainer = 0;
        waitFor([&] { return (trainer = findWindow(display, DefaultRootWindow(display), "ordpop 0.")) != 0; }, 60000);
        return trainer;
    }

    Window waitForDialog(bool open)
    {
        Window dialog = 0;
        waitFor([&] {
            dialog = findWindow(display, DefaultRootWindow(display), "Добавление нового слова в базу");
            return (dialog != 0) == open;
        }, 20000);
        return dialog;
    }

    // Ends the program as the session does and checks the dictionary with the dictionary tool.
    void endAndCheck(const QString &wrd)
    {
        ::kill(program.processId(), SIGTERM);
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitCode(), 0);
        QProcess check;
        check.start(kTool, {"check", wrd});
        ASSERT_TRUE(check.waitForFinished(60000));
        EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString() << check.readAllStandardError().toStdString();
        QFile messages(home.root() + "/messages.txt");
        EXPECT_FALSE(messages.exists() && messages.size() > 0) << "the program showed a message box";
    }

    QProcess program;
};

} // namespace

TEST_F(AddWordInTheProgram, InsertInTheTrainerAddsTheTypedWordToTheDictionary)
{
    const QString wrd = makeDictionary();
    const Window trainer = startProgram();
    ASSERT_NE(trainer, 0u) << "the trainer did not show its first lesson";
    focus(trainer);
    press(XK_Insert);
    const Window dialog = waitForDialog(true);
    ASSERT_NE(dialog, 0u) << "Insert did not open the add-word dialog";
    focus(dialog);

    type("zebra");
    press(XK_Return);
    type("zebrat");
    press(XK_Return);
    type("zi");
    // From the transcription along the tab order to "Добавить": the sound button and edit,
    // "Создать словарь", the list, the pin, "Проверять копии", "Еще слово", "Добавить".
    for (int i = 0; i < 8; ++i)
        press(XK_Tab);
    press(XK_space);
    ASSERT_EQ(waitForDialog(false), 0u) << "the dialog stayed open";
    endAndCheck(wrd);

    TDbfDataSet words;
    words.SetExclusive(true);
    OpenDictionary(words, wrd.chopped(4).toStdString());
    EXPECT_EQ(words.RecordCount(), 5u);
    ASSERT_TRUE(words.Locate("WORD1", "zebra"));
    EXPECT_EQ(words.FieldByName("WORD2").AsString(), "zebrat");
    EXPECT_EQ(words.FieldByName("TRANSCRIPT").AsString(), "zi");
    EXPECT_EQ(words.FieldByName("MISS").AsInteger(), 0);
    words.Close();
}

TEST_F(AddWordInTheProgram, AltEEditsTheQuestionWordInPlace)
{
    const QString wrd = makeDictionary();
    const Window trainer = startProgram();
    ASSERT_NE(trainer, 0u) << "the trainer did not show its first lesson";
    focus(trainer);
    const KeyCode alt = XKeysymToKeycode(display, XK_Alt_L);
    XTestFakeKeyEvent(display, alt, True, 0);
    press(XK_e);
    XTestFakeKeyEvent(display, alt, False, 0);
    XFlush(display);
    const Window dialog = waitForDialog(true);
    ASSERT_NE(dialog, 0u) << "Alt+E did not open the dialog on the question word";
    focus(dialog);

    // The word edit holds the question's word: a suffix, then along the tab order (the list and
    // "Создать словарь" are disabled while editing) to "Добавить".
    press(XK_End);
    type("x");
    for (int i = 0; i < 8; ++i)
        press(XK_Tab);
    press(XK_space);
    ASSERT_EQ(waitForDialog(false), 0u) << "the dialog stayed open";
    endAndCheck(wrd);

    // Still four records in their places: exactly one carries the suffix, its counters at 0.
    TDbfDataSet words;
    words.SetExclusive(true);
    OpenDictionary(words, wrd.chopped(4).toStdString());
    words.SetIndexName("");
    const char *original[] = {"cat", "dog", "cow", "fox"};
    int edited = 0, n = 0;
    for (words.First(); !words.Eof(); words.Next(), ++n) {
        ASSERT_LT(n, 4);
        const std::string w1 = words.FieldByName("WORD1").AsString();
        if (w1 == std::string(original[n]) + "x") {
            ++edited;
            EXPECT_EQ(words.FieldByName("MISS").AsInteger(), 0);
            EXPECT_EQ(words.FieldByName("KBMISS").AsInteger(), 0);
        } else {
            EXPECT_EQ(w1, original[n]);
        }
    }
    EXPECT_EQ(n, 4);
    EXPECT_EQ(edited, 1);
    words.Close();
}
