// The wordpop executable ended from outside in the middle of a lesson, as a desktop session ends
// its programs at log-out: the lesson's statistics must be in "wordpop.opt" afterwards.
#include "common/EventWait.h"
#include "common/PrivateXServer.h"
#include "common/TestHome.h"
#include "platform/ProgramFolder.h"
#include "settings/TOptions.h"

#include <QDir>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <functional>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

int ignoreXErrors(Display *, XErrorEvent *) { return 0; }

long pidOf(Display *x, Window w)
{
    const Atom pidAtom = XInternAtom(x, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(x, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
        data && count == 1)
        pid = long(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

// The one viewable top-level window of the process, or 0.
Window shownWindowOf(Display *x, long pid)
{
    Window root, parent, *children = nullptr, found = 0;
    unsigned int n = 0;
    if (!XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &n))
        return 0;
    for (unsigned int i = 0; i < n; ++i) {
        XWindowAttributes a;
        if (pidOf(x, children[i]) == pid && XGetWindowAttributes(x, children[i], &a) && a.map_state == IsViewable)
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

int32_t counterAt(const QByteArray &opt, int offset)
{
    int32_t v = 0;
    if (opt.size() >= offset + 4)
        std::memcpy(&v, opt.constData() + offset, 4);
    return v;
}

} // namespace

TEST(SessionEnd, ASignalMidLessonKeepsTheLessonsStatistics)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
        PrivateXServer server;
        REQUIRE_PRIVATE_X_SERVER(server);
        Display *x = XOpenDisplay(server.display().toLatin1().constData());
        ASSERT_NE(x, nullptr);
        XErrorHandler old = XSetErrorHandler(ignoreXErrors);

        TestHome home;
        // A lesson that shows at once and stays through every answer given here.
        ProgramFolder::resolve();
        SetDefaultOptions(Options);
        Options.StartImmediately = true;
        Options.HideAfterRightAnswers = 100;
        ASSERT_TRUE(SaveOptions(Options));
        ProgramFolder::set(QString());
        // A ticked dictionary of a dozen words, made by the dictionary tool.
        QByteArray words;
        for (int i = 0; i < 12; ++i)
            words += "word" + QByteArray::number(i) + ";" + QByteArray::number(i) + "\n";
        home.writeFile("words.csv", words);
        ASSERT_TRUE(QDir().mkpath(home.home() + "BASE/ON"));
        QProcess tool;
        tool.start(QStringLiteral(WORDPOP_BINARY_DIR "/wordpop-dict"),
                   {"import", home.home() + "BASE/ON/Words.wrd", home.home() + "words.csv"});
        ASSERT_TRUE(tool.waitForFinished(60000));
        ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
        const QByteArray before = home.readFile("wordpop.opt");
        ASSERT_EQ(counterAt(before, 0x084), 0);

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("WORDPOP_HOME", home.home());
        env.insert("XDG_CONFIG_HOME", home.configHome());
        env.insert("XDG_RUNTIME_DIR", home.runtimeDir());
        env.insert("WORDPOP_MESSAGE_LOG", home.root() + "/messages.txt");
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", server.display());
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        env.remove("SESSION_MANAGER");
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(WORDPOP_BINARY_DIR "/wordpop"), {});
        ASSERT_TRUE(program.waitForStarted(10000));
        const long pid = program.processId();

        Window trainer = 0;
        ASSERT_TRUE(waitUntil([&] { return (trainer = shownWindowOf(x, pid)) != 0; }, 60000)) << "no lesson showed";
        // No window manager here: the test gives the trainer the focus, as one would.
        QThread::msleep(300);
        XSetInputFocus(x, trainer, RevertToParent, CurrentTime);
        XSync(x, False);
        QThread::msleep(200);
        // A dozen Enters: each answers with the highlighted candidate, or, after a wrong one,
        // closes the correction panel; either way the count of answers grows.
        const KeyCode enter = XKeysymToKeycode(x, XK_Return);
        for (int i = 0; i < 12; ++i) {
            XTestFakeKeyEvent(x, enter, True, 0);
            XTestFakeKeyEvent(x, enter, False, 0);
            XSync(x, False);
            QThread::msleep(250);
        }
        QThread::msleep(1000); // the last keys are handled before the signal comes
        ASSERT_EQ(shownWindowOf(x, pid), trainer) << "the lesson ended before the signal";
        EXPECT_EQ(counterAt(home.readFile("wordpop.opt"), 0x084), 0) << "saved before the signal; the test shows nothing";

        ::kill(pid, signal);
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);

        const QByteArray after = home.readFile("wordpop.opt");
        ASSERT_EQ(after.size(), before.size());
        const int32_t answers = counterAt(after, 0x084), right = counterAt(after, 0x07C),
                      mistakes = counterAt(after, 0x080);
        EXPECT_GE(answers, 6) << "the lesson's answers were not kept";
        EXPECT_EQ(right + mistakes, answers);
        XCloseDisplay(x);
        XSetErrorHandler(old);
    }
}
