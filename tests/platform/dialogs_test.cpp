// The file and font dialog layer: a hook answers every dialog without showing one.
#include "platform/Dialogs.h"

#include <QWidget>
#include <gtest/gtest.h>

namespace {

TEST(Dialogs, HookRecordsRequestsAndAnswersInOrder)
{
    Dialogs::FileHook hook;
    hook.answer({"/tmp/a.csv", "/tmp/b.txt"});
    hook.answer({"/tmp/a.csv", "/tmp/b.txt"});
    hook.answer({"/tmp/folder"});

    QWidget parent;
    EXPECT_EQ(Dialogs::openFiles(&parent, "Выберите файл", "/tmp", "CSV (*.csv)", "csv"),
              (QStringList{"/tmp/a.csv", "/tmp/b.txt"}));
    // One path only where the dialog gives one.
    EXPECT_EQ(Dialogs::openFile(nullptr, "t", "/tmp", "*"), "/tmp/a.csv");
    EXPECT_EQ(Dialogs::pickFolder(nullptr, "Папка", "/tmp"), "/tmp/folder");
    // Nothing queued: cancelled.
    EXPECT_TRUE(Dialogs::saveFile(nullptr, "s", "/tmp/x.wrd", "*.wrd").isEmpty());

    ASSERT_EQ(hook.shown().size(), 4);
    const auto &first = hook.shown()[0];
    EXPECT_EQ(first.kind, Dialogs::FileDialogKind::OpenFiles);
    EXPECT_EQ(first.parent, &parent);
    EXPECT_EQ(first.title, "Выберите файл");
    EXPECT_EQ(first.start, "/tmp");
    EXPECT_EQ(first.filter, "CSV (*.csv)");
    EXPECT_EQ(first.defaultSuffix, "csv");
    EXPECT_EQ(hook.shown()[2].kind, Dialogs::FileDialogKind::PickFolder);
    EXPECT_EQ(hook.shown()[3].kind, Dialogs::FileDialogKind::SaveFile);
}

TEST(Dialogs, FontHookAnswersAndCancels)
{
    Dialogs::FontHook hook;
    hook.answer(QFont("DejaVu Serif", 14));
    const QFont initial("DejaVu Sans", 10);
    const auto chosen = Dialogs::chooseFont(nullptr, initial, "Шрифт");
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->family(), "DejaVu Serif");
    EXPECT_EQ(chosen->pointSize(), 14);
    EXPECT_FALSE(Dialogs::chooseFont(nullptr, initial).has_value());
    ASSERT_EQ(hook.shown().size(), 2);
    EXPECT_EQ(hook.shown()[0].initial, initial);
    EXPECT_EQ(hook.shown()[0].title, "Шрифт");
}

} // namespace
