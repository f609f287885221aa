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
        if (!server.ok())
            GTEST_SKIP() << "no X server for the program: " << server.why();
        display = XOpenDisplay(server.display().toLocal8Bit().constData());
        ASSERT_NE(display, nullptr) << "cannot open " << server.display().toStdString();
        int event, error, major, minor;
        ASSERT_TRUE(XTestQueryExtension(display, &event, &error, &major, &minor)) << "the server has no XTest";
    }
    void TearDown() override
    {
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
};

} // namespace

TEST_F(AddWordInTheProgram, InsertInTheTrainerAddsTheTypedWordToTheDictionary)
{
    // One ticked dictionary with a few words, so that the first lesson shows at start.
    ProgramFolder::set(home.home());
    for (const char *f : {"BASE/ON", "BASE/LEARNED", "BASE/OFF", "BASE/LEARNEDOFF"})
        QDir().mkpath(home.home() + f);
    {
        TDbfDataSet words;
        words.SetExclusive(true);
        TTopics topics(words);
        ASSERT_TRUE(topics.CreateDictionary(topics.DictionaryPath(tkOn, "animals")));
        for (auto [w1, w2] : {std::pair{"cat", "koshka"}, {"dog", "sobaka"}, {"cow", "korova"}, {"fox", "lisa"}}) {
            words.Append();
            words.FieldByName("WORD1").SetAsString(w1);
            words.FieldByName("WORD2").SetAsString(w2);
            words.Post();
        }
        topics.CloseDictionary();
        OpenDictionary(words, (home.home() + "BASE/ON/animals").toStdString()); // builds the index
        words.Close();
    }
    const QString wrd = home.home() + "BASE/ON/animals.wrd";

    QProcess program;
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
    ASSERT_TRUE(program.waitForStarted(10000));
    struct Ender {
        QProcess &p;
        ~Ender()
        {
            if (p.state() != QProcess::NotRunning) {
                p.kill();
                p.waitForFinished(5000);
            }
        }
    } ender{program};

    const Window root = DefaultRootWindow(display);
    Window trainer = 0;
    // The trainer's caption loses its first letter outside children mode.
    ASSERT_TRUE(waitFor([&] { return (trainer = findWindow(display, root, "ordpop 0.")) != 0; }, 60000))
        << "the trainer did not show its first lesson";
    focus(trainer);
    press(XK_Insert);
    Window dialog = 0;
    ASSERT_TRUE(waitFor([&] { return (dialog = findWindow(display, root, "Добавление нового слова в базу")) != 0; }, 20000))
        << "Insert did not open the add-word dialog";
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
    ASSERT_TRUE(waitFor([&] { return findWindow(display, root, "Добавление нового слова в базу") == 0; }, 20000))
        << "the dialog stayed open";

    ::kill(program.processId(), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0);

    QProcess check;
    check.start(kTool, {"check", wrd});
    ASSERT_TRUE(check.waitForFinished(60000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString() << check.readAllStandardError().toStdString();

    TDbfDataSet words;
    words.SetExclusive(true);
    OpenDictionary(words, wrd.chopped(4).toStdString());
    EXPECT_EQ(words.RecordCount(), 5u);
    ASSERT_TRUE(words.Locate("WORD1", "zebra"));
    EXPECT_EQ(words.FieldByName("WORD2").AsString(), "zebrat");
    EXPECT_EQ(words.FieldByName("TRANSCRIPT").AsString(), "zi");
    EXPECT_EQ(words.FieldByName("MISS").AsInteger(), 0);
    words.Close();
    QFile messages(home.root() + "/messages.txt");
    EXPECT_FALSE(messages.exists() && messages.size() > 0) << "the program showed a message box";
}
