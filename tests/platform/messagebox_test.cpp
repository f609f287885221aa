// The standard message box and its test hook: the box is really run, then answered.
#include "platform/MessageBox.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
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
