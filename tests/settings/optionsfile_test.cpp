// The settings file: defaults, the byte layout on disk, short and long files, and what a
// save keeps.
#include "SettingsTestSupport.h"

#include "platform/MessageBox.h"
#include "platform/SoundDevice.h"
#include "platform/WorkArea.h"

#include <QDir>
#include <QFont>

#include <sys/stat.h>

TEST_F(SettingsTest, NoFileGivesDefaultsAndWritesThem)
{
    MessageBox::TestHook hook;
    LoadOptions(o);
    EXPECT_TRUE(hook.shown().isEmpty());

    const QByteArray b = fileBytes();
    ASSERT_EQ(b.size(), 6724);
    EXPECT_EQ(b, image());
    EXPECT_EQ(b[0x000], 1);
    EXPECT_EQ(b[0x001], 1);
    EXPECT_EQ(int32At(b, 0x054), 25);
    EXPECT_EQ(int32At(b, 0x05C), 216);
    EXPECT_EQ(int32At(b, 0x098), 20);
    EXPECT_EQ(int32At(b, 0x0A4), 2);
    EXPECT_EQ(int32At(b, 0x0A8), 15);
    EXPECT_EQ(int32At(b, 0x0AC), 7000);
    EXPECT_EQ(int32At(b, 0x0B4), 100);
    EXPECT_EQ(b[0x0B9], 1);
    EXPECT_EQ(b[0x0D1], 1);
    EXPECT_EQ(b[0x0E5], 0);
    EXPECT_EQ(int32At(b, 0x0DC), 20);
    EXPECT_EQ(std::uint8_t(b[0x0E7]), 204);
    EXPECT_EQ(stringAt(b, 0x0EA), "MS Sans Serif");
    EXPECT_EQ(stringAt(b, 0x3EA), "00000409");
    EXPECT_EQ(stringAt(b, 0x3F4), "00000419");
    EXPECT_EQ(int32At(b, 0x408), 3);
    EXPECT_EQ(int32At(b, 0x410), 3);
    EXPECT_EQ(b[0x519], 1);
    EXPECT_EQ(stringAt(b, 0xD36), "SOUND\\ok.wav");
    EXPECT_EQ(stringAt(b, 0xE37), "SOUND\\mistake.wav");
    EXPECT_EQ(b[0xE36], 1);
    EXPECT_EQ(b[0xF40], 1);

    const QByteArray folder = QFile::encodeName(home.home());
    EXPECT_EQ(stringAt(b, 0x536), folder + "BASE/ON/");
    EXPECT_EQ(stringAt(b, 0x636), folder + "BASE/ON/");
    EXPECT_EQ(stringAt(b, 0x736), folder);
    EXPECT_EQ(stringAt(b, 0xA36), folder + "SOUND");
    EXPECT_EQ(stringAt(b, 0xB36), folder + "BASE");
    EXPECT_EQ(stringAt(b, 0xC36), folder + "BASE");

    const bool sound = HasSoundDevice();
    EXPECT_EQ(b[0xF38], sound ? 1 : 0);
    EXPECT_EQ(b[0xF39], sound ? 1 : 0);
    EXPECT_EQ(int32At(b, 0xF3C), sound ? 5 : 0);
    for (int i = 0x1041; i < 0x1A41; i += 512)
        EXPECT_EQ(b[i], 0) << i;
}

TEST_F(SettingsTest, WindowDefaultsAreCentredOnTheScreen)
{
    SetDefaultOptions(o);
    const QSize screen = Desktop::screenSize();
    ASSERT_FALSE(screen.isEmpty());
    const bool small = Desktop::logicalDpi() <= 96;
    struct Case { const WindowRect &r; int w, h; };
    const Case cases[] = {
        {o.TrainerWindowRect, small ? 341 : 375, small ? 213 : 237},
        {o.EditorWindowRect, 500, 330},
        {o.AddWordWindowRect, 369, 270},
        {o.DictionariesWindowRect, 448, 257},
        {o.OptionsWindowRect, 545, 325},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.r.Width, c.w);
        EXPECT_EQ(c.r.Height, c.h);
        EXPECT_EQ(c.r.Left, (screen.width() - c.w) / 2);
        EXPECT_EQ(c.r.Top, (screen.height() - c.h) / 2);
    }
}

TEST_F(SettingsTest, TrainerIs341By213OnA96DpiScreen)
{
    if (Desktop::logicalDpi() > 96)
        GTEST_SKIP() << "the primary screen is " << Desktop::logicalDpi() << " dpi";
    LoadOptions(o);
    const QByteArray b = fileBytes();
    const QSize screen = Desktop::screenSize();
    EXPECT_EQ(int32At(b, 0x004), (screen.width() - 341) / 2);
    EXPECT_EQ(int32At(b, 0x008), (screen.height() - 213) / 2);
    EXPECT_EQ(int32At(b, 0x00C), 341);
    EXPECT_EQ(int32At(b, 0x010), 213);
}

// A file written by a earlier run: the defaults with a few values changed.
static QByteArray customImage()
{
    TOptions d;
    std::memset(&d, 0, sizeof d);
    SetDefaultOptions(d);
    QByteArray b(reinterpret_cast<const char *>(&d), sizeof d);
    putInt32(b, 0x0A8, 42);          // AutoShowInterval
    putInt32(b, 0x07C, 1234);        // StatRightAnswers
    b[0x0C1] = char(0xAB);           // reserved
    b[0x0E4] = char(0xCD);           // reserved
    b[0x51C + 25] = char(0xEF);      // reserved
    b[0x002] = char(0x77);           // padding
    b[0x0CC] = 2;                    // AutoRun: any non-zero byte is true
    std::memcpy(b.data() + 0xF41, "secret", 7);  // ChildrenPassword, no default
    return b;
}

TEST_F(SettingsTest, FileLengthDecidesBetweenReadingAndDefaults)
{
    struct Case { int length; bool read; };
    const Case cases[] = {{0, false}, {100, false}, {6723, false}, {6724, true}, {6800, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        QByteArray file = customImage();
        file.resize(c.length, 'x');
        home.writeFile("wordpop.opt", file);
        std::memset(&o, 0, sizeof o);
        MessageBox::TestHook hook;
        LoadOptions(o);
        EXPECT_TRUE(hook.shown().isEmpty());
        if (c.read) {
            EXPECT_EQ(o.AutoShowInterval, 42);
            EXPECT_EQ(o.StatRightAnswers, 1234);
            EXPECT_TRUE(o.AutoRun);
            // Read, not rewritten: a longer file keeps its length until the next save.
            EXPECT_EQ(fileBytes(), file);
            ASSERT_TRUE(SaveOptions(o));
            EXPECT_EQ(fileBytes(), file.left(6724));
        } else {
            EXPECT_EQ(o.AutoShowInterval, 15);
            EXPECT_EQ(o.StatRightAnswers, 0);
            EXPECT_EQ(fileBytes().size(), 6724);
            EXPECT_EQ(fileBytes(), image());
            // Fields without a default keep what the short read brought.
            const bool reachedPassword = c.length > 0xF41 + 7;
            EXPECT_EQ(OptionText(o.ChildrenPassword), reachedPassword ? "secret" : "");
            EXPECT_EQ(std::uint8_t(o.Reserved0C1[0]), c.length > 0x0C1 ? 0xAB : 0);
        }
    }
}

TEST_F(SettingsTest, SaveWritesBackEveryByteItRead)
{
    const QByteArray file = customImage();
    home.writeFile("wordpop.opt", file);
    LoadOptions(o);
    ASSERT_TRUE(SaveOptions(o));
    EXPECT_EQ(fileBytes(), file);
    EXPECT_EQ(o.AutoRun.v, 2);
}

TEST_F(SettingsTest, UnterminatedStringsAreCutInsideTheirSlots)
{
    QByteArray file = customImage();
    std::memset(file.data() + 0x414, 'h', 256);   // ProxyAddress
    std::memset(file.data() + 0x3EA, '7', 10);    // StudiedLayout
    home.writeFile("wordpop.opt", file);
    LoadOptions(o);
    EXPECT_EQ(OptionText(o.ProxyAddress), QString(255, 'h'));
    EXPECT_EQ(std::strlen(o.StudiedLayout), 9u);
    EXPECT_EQ(std::strlen(o.NativeLayout), 8u);
}

TEST_F(SettingsTest, OldSpellingOfTheFileNameIsFoundAndReplaced)
{
    home.writeFile("WORDPOP.OPT", customImage());
    LoadOptions(o);
    EXPECT_EQ(o.AutoShowInterval, 42);
    o.AutoShowInterval = 7;
    ASSERT_TRUE(SaveOptions(o));
    EXPECT_EQ(int32At(home.readFile("WORDPOP.OPT"), 0x0A8), 7);
    EXPECT_FALSE(QFile::exists(home.home() + "wordpop.opt"));
}

TEST_F(SettingsTest, NothingIsWrittenBeforeTheProgramFolderIsKnown)
{
    ProgramFolder::set(QString());
    MessageBox::TestHook hook;
    LoadOptions(o);
    EXPECT_EQ(o.AutoShowInterval, 15);
    EXPECT_FALSE(SaveOptions(o));
    EXPECT_TRUE(hook.shown().isEmpty());
    EXPECT_TRUE(QDir(home.home()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(SettingsTest, SomethingOtherThanAFileInItsPlaceIsTreatedAsMissing)
{
    // A pipe would block a plain read for ever; a folder cannot be read at all.
    ASSERT_EQ(::mkfifo(QFile::encodeName(home.home() + "wordpop.opt").constData(), 0600), 0);
    MessageBox::TestHook hook;
    LoadOptions(o);
    EXPECT_EQ(o.AutoShowInterval, 15);
    EXPECT_EQ(fileBytes().size(), 6724);   // the pipe was replaced by a real file
    EXPECT_TRUE(hook.shown().isEmpty());

    ASSERT_TRUE(QFile::remove(home.home() + "wordpop.opt"));
    ASSERT_TRUE(QDir().mkdir(home.home() + "wordpop.opt"));
    std::memset(&o, 0, sizeof o);
    LoadOptions(o);
    EXPECT_EQ(o.AutoShowInterval, 15);
    EXPECT_EQ(hook.texts().size(), 1);     // and a folder cannot be replaced: error 6
}

TEST_F(SettingsTest, WithoutSoundDeviceTheReplayDelayKeepsWhatWasRead)
{
    if (HasSoundDevice())
        GTEST_SKIP() << "a sound output is present";
    QByteArray file = customImage();
    putInt32(file, 0xF3C, 9);
    file.resize(6000);
    home.writeFile("wordpop.opt", file);
    LoadOptions(o);
    EXPECT_FALSE(o.AutoPlayWordSound);
    EXPECT_FALSE(o.LoopPlay);
    EXPECT_EQ(o.LoopPlayDelay, 9);
}

TEST_F(SettingsTest, ArbitraryBytesLoadAndSaveWithoutHarm)
{
    std::uint32_t seed = 12345;
    for (int round = 0; round < 20; ++round) {
        QByteArray file(6724, '\0');
        for (char &c : file) {
            seed = seed * 1103515245u + 12345u;
            c = char(seed >> 16);
        }
        home.writeFile("wordpop.opt", file);
        MessageBox::TestHook hook;
        LoadOptions(o);
        for (const char *slot : {o.StudiedFontName, o.ProxyAddress, o.SoundFolder, o.ChildrenPassword})
            EXPECT_LT(std::strlen(slot), 256u);
        EXPECT_LT(std::strlen(o.StudiedLayout), 10u);
        EXPECT_TRUE(RecentDictionaryList().isEmpty());   // none of those names exists
        QFont font;
        ApplyLanguageFont(o, font, 0);
        EXPECT_TRUE(SaveOptions(o));
        EXPECT_TRUE(hook.shown().isEmpty());
        const QByteArray saved = fileBytes();
        ASSERT_EQ(saved.size(), 6724);
        // The fields the program does not interpret come back as they were.
        EXPECT_EQ(saved.mid(0x0C1, 11), file.mid(0x0C1, 11));
        EXPECT_EQ(saved.mid(0x51C, 26), file.mid(0x51C, 26));
        EXPECT_EQ(saved.left(0xEA), file.left(0xEA));
    }
}
