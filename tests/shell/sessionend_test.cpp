// The wordpop executable ended from outside in the middle of a lesson, as a desktop session ends
// its programs at log-out: the lesson's statistics must be in "wordpop.opt" afterwards.
#include "settings/TOptions.h"

#include <cstring>

// Last: it brings Xlib's macros.
#include "ProgramOnOwnX.h"

namespace {

// The trainer: the program's one viewable top-level window, or 0.
Window shownWindowOf(Display *x, long pid)
{
    const QList<Window> shown = XClient::shownWindowsOf(x, pid);
    return shown.isEmpty() ? 0 : shown.last();
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
        XClient::Connection connection(server.display());
        Display *x = connection;
        ASSERT_NE(x, nullptr);

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
        const ToolRun tool = dictTool({"import", home.home() + "BASE/ON/Words.wrd", home.home() + "words.csv"});
        ASSERT_EQ(tool.exit, 0) << tool.err;
        const QByteArray before = home.readFile("wordpop.opt");
        ASSERT_EQ(counterAt(before, 0x084), 0);

        QProcess program;
        QProcessEnvironment env = ProgramOnX::environment(home, server.display());
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        env.remove("SESSION_MANAGER");
        ASSERT_TRUE(ProgramOnX::start(program, env));
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
        for (int i = 0; i < 12; ++i) {
            XClient::pressKey(x, XK_Return);
            QThread::msleep(250);
        }
        QThread::msleep(1000); // the last keys are handled before the signal comes
        ASSERT_EQ(shownWindowOf(x, pid), trainer) << "the lesson ended before the signal";
        EXPECT_EQ(counterAt(home.readFile("wordpop.opt"), 0x084), 0) << "saved before the signal; the test shows nothing";

        ASSERT_NO_FATAL_FAILURE(ProgramOnX::endWith(program, signal));

        const QByteArray after = home.readFile("wordpop.opt");
        ASSERT_EQ(after.size(), before.size());
        const int32_t answers = counterAt(after, 0x084), right = counterAt(after, 0x07C),
                      mistakes = counterAt(after, 0x080);
        EXPECT_GE(answers, 6) << "the lesson's answers were not kept";
        EXPECT_EQ(right + mistakes, answers);
    }
}
