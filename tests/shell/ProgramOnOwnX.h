// The real wordpop on an X server of the test's own, driven by synthetic keys (XTest) as a user
// would: a ticked dictionary to start on, the program's windows found by their titles, and at
// the end the program ended as the session ends it and its dictionary checked with the
// dictionary tool. Every message box the program would show goes to a log the end checks.
#pragma once

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

// After every other header: X11's macros (None, Bool, Status) clash with them.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace ProgramOnX {

inline const QString kProgram = QStringLiteral(WORDPOP_BINARY_DIR "/wordpop");
inline const QString kTool = QStringLiteral(WORDPOP_BINARY_DIR "/wordpop-dict");

// A window's title as Qt sets it (_NET_WM_NAME in UTF-8, else WM_NAME).
inline std::string titleOf(Display *d, Window w)
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
inline Window findWindow(Display *d, Window root, const std::string &part)
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

// Runs until `done` holds; false after `ms` milliseconds.
inline bool waitFor(const std::function<bool()> &done, int ms)
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

} // namespace ProgramOnX

class ProgramOnOwnX : public ::testing::Test {
protected:
    TestHome home;
    PrivateXServer server;
    Display *display = nullptr;
    QProcess program;

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

    // One key, with a modifier held (XK_Alt_L, XK_Control_L) when one is given.
    void press(KeySym sym, KeySym modifier = NoSymbol)
    {
        const KeyCode code = XKeysymToKeycode(display, sym);
        ASSERT_NE(code, 0) << "no key for keysym " << sym;
        const KeyCode mod = modifier == NoSymbol ? 0 : XKeysymToKeycode(display, modifier);
        if (mod)
            XTestFakeKeyEvent(display, mod, True, 0);
        XTestFakeKeyEvent(display, code, True, 0);
        XTestFakeKeyEvent(display, code, False, 0);
        if (mod)
            XTestFakeKeyEvent(display, mod, False, 0);
        XFlush(display);
        QThread::msleep(60);
    }
    // The keys that carry these characters on the first layout (Latin-1 keysyms are the
    // characters' own codes); under another active layout the same keys type its letters.
    void type(const char *keys)
    {
        for (const char *c = keys; *c; ++c)
            press(KeySym(static_cast<unsigned char>(*c)));
    }
    void focus(Window w)
    {
        XSetInputFocus(display, w, RevertToParent, CurrentTime);
        XFlush(display);
        QThread::msleep(300);
    }

    // The window whose title holds `part` once it is shown (open) or gone (!open); 0 when
    // there is none then.
    Window waitForWindow(const char *part, bool open, int ms = 20000)
    {
        Window w = 0;
        ProgramOnX::waitFor([&] {
            w = ProgramOnX::findWindow(display, DefaultRootWindow(display), part);
            return (w != 0) == open;
        }, ms);
        return w;
    }

    // One ticked dictionary "animals" of four words (MISS 2 each), so that the first lesson
    // shows at start; its .wrd path.
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
        program.start(ProgramOnX::kProgram, {});
        if (!program.waitForStarted(10000))
            return 0;
        // The trainer's caption loses its first letter outside children mode.
        return waitForWindow("ordpop 0.", true, 60000);
    }

    // Ends the program as the session does and checks the dictionary with the dictionary tool.
    void endAndCheck(const QString &wrd)
    {
        ::kill(program.processId(), SIGTERM);
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitCode(), 0);
        QProcess check;
        check.start(ProgramOnX::kTool, {"check", wrd});
        ASSERT_TRUE(check.waitForFinished(60000));
        EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString() << check.readAllStandardError().toStdString();
        QFile messages(home.root() + "/messages.txt");
        EXPECT_FALSE(messages.exists() && messages.size() > 0)
            << "the program showed a message box: "
            << (messages.open(QIODevice::ReadOnly) ? messages.readAll().toStdString() : std::string());
    }
};
