// Path parts, folder creation under the program folder and the file list.
#include "platform/FileTools.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"

#include "common/TestHome.h"

#include <QDir>
#include <gtest/gtest.h>

TEST(PathParts, SplitOnEitherSeparator)
{
    struct Case { QString path, folder, name, stem; };
    const Case cases[] = {
        {"/home/u/BASE/ON/animals.wrd", "/home/u/BASE/ON", "animals.wrd", "/home/u/BASE/ON/animals"},
        {"\\SOUND\\cat.wav", "\\SOUND", "cat.wav", "\\SOUND\\cat"},
        {"dir.v2/name", "dir.v2", "name", "dir.v2/name"}, // a dot in the folder is no extension
        {"plain", "", "plain", "plain"},
        {"a/b.c.d", "a", "b.c.d", "a/b.c"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FolderPart(c.path), c.folder) << c.path.toStdString();
        EXPECT_EQ(NamePart(c.path), c.name) << c.path.toStdString();
        EXPECT_EQ(WithoutExtension(c.path), c.stem) << c.path.toStdString();
    }
}

TEST(EnsureFolder, CreatesOneLevelKeepsExistingAndReportsFailures)
{
    TestHome home;
    ProgramFolder::set(home.home());
    MessageBox::TestHook boxes;
    EXPECT_TRUE(EnsureFolder("BASE/", true));
    EXPECT_TRUE(QDir(home.home() + "BASE").exists());
    EXPECT_TRUE(EnsureFolder("BASE\\", true)); // already there, either separator
    EXPECT_TRUE(boxes.texts().isEmpty());

    EXPECT_FALSE(EnsureFolder("X/Y/", false)); // one level only, and quiet when asked
    EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_FALSE(EnsureFolder("X/Y/", true));
    EXPECT_EQ(boxes.texts(), QStringList{"Can't create " + home.home() + "X/Y/ directory."});
    EXPECT_FALSE(QDir(home.home() + "X").exists());
}

TEST(EnsureFolder, ProgramFoldersAllMadeInOrder)
{
    TestHome home;
    ProgramFolder::set(home.home());
    EXPECT_TRUE(EnsureProgramFolders());
    for (const char *f : {"BASE", "BASE/ON", "BASE/LEARNED", "BASE/OFF", "BASE/LEARNEDOFF", "TEMP", "NEWS"})
        EXPECT_TRUE(QDir(home.home() + f).exists()) << f;
}

TEST(FileList, ListsMatchingNamesOfTheFolder)
{
    TestHome home;
    ProgramFolder::set(home.home());
    home.writeFile("BASE/ON/b.wrd", "x");
    home.writeFile("BASE/ON/a.WRD", "x");
    home.writeFile("BASE/ON/a.cdx", "x");
    TFileList list;
    list.setFolder("BASE\\ON\\");
    list.setMask("*.wrd");
    list.refresh();
    EXPECT_EQ(list.names(), (QStringList{"a.WRD", "b.wrd"}));
    list.setFolder("BASE/OFF/"); // missing folder: nothing, no error
    list.refresh();
    EXPECT_TRUE(list.names().isEmpty());
}
