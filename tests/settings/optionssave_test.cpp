// Saving when the disk says no: the report, and that the settings already on disk survive.
#include "SettingsTestSupport.h"

#include "platform/MessageBox.h"

#include <QDir>

#include <csignal>
#include <sys/resource.h>

static const QString kError6 =
    QString::fromUtf8("Программе не удалось создать файл Wordpop.opt \n Настройки не будут сохраняться.");

static QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

class ReadOnlyFolderTest : public SettingsTest {
protected:
    void makeReadOnly()
    {
        ASSERT_TRUE(QFile::setPermissions(home.home(), QFile::ReadOwner | QFile::ExeOwner));
    }
};

TEST_F(ReadOnlyFolderTest, EverySaveReportsError6WhenNoFileCanBeMade)
{
    makeReadOnly();
    WithoutFileOverride noOverride;
    ASSERT_TRUE(noOverride.ok());
    MessageBox::TestHook hook;
    // Each start applies the defaults and fails to keep them; so does every later save.
    for (int start = 0; start < 2; ++start) {
        std::memset(&o, 0, sizeof o);
        LoadOptions(o);
        EXPECT_EQ(o.AutoShowInterval, 15);
        o.StatRightAnswers += 1;
        EXPECT_FALSE(SaveOptions(o));
    }
    EXPECT_EQ(hook.texts(), QStringList(4, kError6));
    EXPECT_TRUE(folderEntries(home.home()).isEmpty());
}

TEST_F(ReadOnlyFolderTest, WritableFileInReadOnlyFolderIsStillSaved)
{
    TOptions d;
    std::memset(&d, 0, sizeof d);
    SetDefaultOptions(d);
    home.writeFile("wordpop.opt", QByteArray(reinterpret_cast<const char *>(&d), sizeof d) + "tail");
    makeReadOnly();
    WithoutFileOverride noOverride;
    ASSERT_TRUE(noOverride.ok());
    MessageBox::TestHook hook;
    LoadOptions(o);
    o.StatAnswers = 77;
    EXPECT_TRUE(SaveOptions(o));
    EXPECT_TRUE(hook.shown().isEmpty());
    EXPECT_EQ(fileBytes(), image());
}

TEST_F(SettingsTest, ReadOnlySettingsFileIsLeftAsItIs)
{
    TOptions d;
    std::memset(&d, 0, sizeof d);
    SetDefaultOptions(d);
    d.StatRightAnswers = 500;
    const QByteArray before(reinterpret_cast<const char *>(&d), sizeof d);
    home.writeFile("wordpop.opt", before);
    ASSERT_TRUE(QFile::setPermissions(home.home() + "wordpop.opt", QFile::ReadOwner));
    WithoutFileOverride noOverride;
    ASSERT_TRUE(noOverride.ok());
    MessageBox::TestHook hook;
    LoadOptions(o);
    o.StatRightAnswers = 501;
    EXPECT_FALSE(SaveOptions(o));
    EXPECT_EQ(hook.texts(), QStringList{kError6});
    EXPECT_EQ(fileBytes(), before);
}

// A disk that fills up in the middle of a save (the file-size limit stands in for it) must
// leave the accumulated statistics on disk as they were.
TEST_F(SettingsTest, FullDiskKeepsTheOldFileWhole)
{
    LoadOptions(o);
    o.StatRightAnswers = 1234;
    o.StatAnswers = 2000;
    ASSERT_TRUE(SaveOptions(o));
    const QByteArray before = fileBytes();
    const QStringList entriesBefore = folderEntries(home.home());

    o.StatRightAnswers = 1235;
    MessageBox::TestHook hook;
    bool saved = true;
    {
        struct rlimit old {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        auto *oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        saved = SaveOptions(o);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(hook.texts(), QStringList{kError6});
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(int32At(fileBytes(), 0x07C), 1234);
    EXPECT_EQ(folderEntries(home.home()), entriesBefore);

    // Once there is room again the next save goes through.
    EXPECT_TRUE(SaveOptions(o));
    EXPECT_EQ(int32At(fileBytes(), 0x07C), 1235);
    EXPECT_EQ(folderEntries(home.home()), entriesBefore);
}

TEST_F(SettingsTest, SaveReplacesTheFileALinkPointsTo)
{
    LoadOptions(o);
    const QString real = home.root() + "/elsewhere.opt";
    ASSERT_TRUE(QFile::rename(home.home() + "wordpop.opt", real));
    ASSERT_TRUE(QFile::link(real, home.home() + "wordpop.opt"));
    o.StatMistakes = 9;
    ASSERT_TRUE(SaveOptions(o));
    EXPECT_TRUE(QFileInfo(home.home() + "wordpop.opt").isSymLink());
    QFile f(real);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(int32At(f.readAll(), 0x080), 9);
}

TEST_F(SettingsTest, TemporaryFileLeftByACrashIsRemovedAtStart)
{
    // Today's temporary name and an earlier build's; names merely like them are not ours.
    home.writeFile(".wordpop.tmp-Xy34Zw.opt", QByteArray(100, 'x'));
    home.writeFile(".wordpop.opt.Ab12Cd", QByteArray(100, 'x'));
    home.writeFile(".wordpop.opt.keep", "not ours");
    home.writeFile(".wordpop.tmp-Xy34Zw.optx", "not ours");
    home.writeFile(".wordpop.tmp-Xy34.opt", "not ours");
    LoadOptions(o);
    EXPECT_EQ(folderEntries(home.home()),
              (QStringList{".wordpop.opt.keep", ".wordpop.tmp-Xy34.opt", ".wordpop.tmp-Xy34Zw.optx", "wordpop.opt"}));
}
