// The standard message box and its test hook: the box is really run, then answered.
#include "platform/MessageBox.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

TEST(MessageBox, HookAnswersRealBoxesInOrderAndNests)
{
    MessageBox::TestHook outer;
    MessageBox::show("first");
    {
        MessageBox::TestHook inner;
        MessageBox::show("<b>not markup</b>\nsecond line");
        ASSERT_EQ(inner.shown().size(), 1);
        EXPECT_EQ(inner.shown()[0].text, "<b>not markup</b>\nsecond line");
    }
    MessageBox::show("third");
    EXPECT_EQ(outer.texts(), (QStringList{"first", "third"}));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(MessageBox, BoxIsModalAndTimersRunBehindIt)
{
    MessageBox::TestHook hook;
    // A timer armed before the box must still fire while the box is open.
    bool sawModalBox = false;
    QTimer::singleShot(0, [&] {
        sawModalBox = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) != nullptr;
    });
    MessageBox::show("modal");
    EXPECT_TRUE(sawModalBox);
    ASSERT_EQ(hook.shown().size(), 1);
    EXPECT_EQ(hook.shown()[0].caption, "Wordpop");
}

TEST(MessageBox, MessageLogTakesTheBoxesOfAProgramRunByATest)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString log = dir.path() + "/boxes.txt";
    qputenv("WORDPOP_MESSAGE_LOG", log.toUtf8());
    MessageBox::show(QString::fromUtf8("первая\nстрока"));
    MessageBox::show("second");
    {
        // An in-process hook still sees its boxes first.
        MessageBox::TestHook hook;
        MessageBox::show("hooked");
        EXPECT_EQ(hook.texts(), QStringList{"hooked"});
    }
    qunsetenv("WORDPOP_MESSAGE_LOG");
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), QString::fromUtf8("первая\nстрока\nsecond\n"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The program runs on X11, not offscreen: the hook must answer boxes there just the same.
TEST(MessageBox, HookAnswersBoxesOnARealXServer)
{
    if (qEnvironmentVariableIsSet("WORDPOP_TEST_XCB_CHILD"))
        GTEST_SKIP() << "already the child";
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X server ($DISPLAY is not set)";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("WORDPOP_TEST_XCB_CHILD", "1");
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=MessageBox.HookAnswersRealBoxesInOrderAndNests:MessageBox.BoxIsModalAndTimersRunBehindIt"});
    ASSERT_TRUE(child.waitForFinished(60000)) << "a box was left waiting";
    const QString out = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 2 tests.")) << out.toStdString();
}
