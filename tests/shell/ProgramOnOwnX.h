// The real wordpop on an X server of the test's own, driven by synthetic keys (XTest) as a user
// would: a ticked dictionary to start on, the program's windows found by their titles, and at
// the end the program ended as the session ends it and its dictionary checked with the
// dictionary tool. Every message box the program would show goes to a log the end checks.
#pragma once

#include "ProgramProcess.h"
#include "common/EventWait.h"
#include "common/PrivateXServer.h"
#include "common/TestHome.h"
#include "common/ToolRun.h"
#include "engine/DataSet.h"
#include "platform/ProgramFolder.h"
#include "store/Dictionary.h"
#include "store/Topics.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <string>

// After every other header: X11's macros (None, Bool, Status) clash with them.
#include "common/XClient.h"

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
        ASSERT_NE(XKeysymToKeycode(display, sym), 0) << "no key for keysym " << sym;
        XClient::pressKey(display, sym, modifier);
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

    // Whether a window whose title holds `part` is shown now.
    bool shown(const char *part)
    {
        return XClient::findWindow(display, DefaultRootWindow(display), part) != 0;
    }
    // The window whose title holds `part` once it is shown (open) or gone (!open); 0 when
    // there is none then.
    Window waitForWindow(const char *part, bool open, int ms = 20000)
    {
        Window w = 0;
        pollUntil([&] {
            w = XClient::findWindow(display, DefaultRootWindow(display), part);
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
        if (!ProgramOnX::start(program, ProgramOnX::environment(home, server.display())))
            return 0;
        // The trainer's caption loses its first letter outside children mode.
        return waitForWindow("ordpop 0.", true, 60000);
    }

    // Ends the program as the session does and checks the dictionary with the dictionary tool.
    void endAndCheck(const QString &wrd)
    {
        ASSERT_NO_FATAL_FAILURE(ProgramOnX::endWith(program, SIGTERM));
        const ToolRun check = dictTool({"check", wrd});
        EXPECT_EQ(check.exit, 0) << check.out << check.err;
        QFile messages(home.root() + "/messages.txt");
        EXPECT_FALSE(messages.exists() && messages.size() > 0)
            << "the program showed a message box: "
            << (messages.open(QIODevice::ReadOnly) ? messages.readAll().toStdString() : std::string());
    }
};
