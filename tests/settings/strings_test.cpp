// String slots of the record and the language fonts.
#include "SettingsTestSupport.h"

#include <QFont>

TEST_F(SettingsTest, TextSlotsKeepAtMostNMinusOneCharacters)
{
    struct Case { QString text; QByteArray stored; bool exact; };
    const Case cases[] = {
        {"proxy.example.org", "proxy.example.org", true},
        {QString::fromUtf8("дом"), "\xE4\xEE\xEC", true},
        {QString(255, 'p'), QByteArray(255, 'p'), true},
        {QString(300, 'p'), QByteArray(255, 'p'), false},
        {QString::fromUtf8("a日b"), "a?b", false},
        {"", "", true},
    };
    for (const Case &c : cases) {
        std::memset(o.ProxyAddress, 'z', sizeof o.ProxyAddress);
        EXPECT_EQ(SetOptionText(o.ProxyAddress, c.text), c.exact) << c.text.toStdString();
        EXPECT_EQ(QByteArray(o.ProxyAddress), c.stored);
        // Nothing of the older value stays behind the terminator.
        EXPECT_EQ(QByteArray(o.ProxyAddress + c.stored.size(), 256 - c.stored.size()),
                  QByteArray(256 - c.stored.size(), '\0'));
    }
    EXPECT_FALSE(SetOptionText(o.StudiedLayout, "0000040900"));
    EXPECT_STREQ(o.StudiedLayout, "000004090");
    EXPECT_EQ(OptionText(o.StudiedLayout), "000004090");
}

TEST_F(SettingsTest, PathSlotsHoldTheWholePathOrNothing)
{
    struct Case { QString path; QByteArray stored; };
    const Case cases[] = {
        {"/home/u/BASE/ON/", "/home/u/BASE/ON/"},
        {QString::fromUtf8("/home/Иван/BASE"), "/home/\xC8\xE2\xE0\xED/BASE"},
        {QString::fromUtf8("/home/日本/BASE"), ""},
        {"/" + QString(254, 'd'), "/" + QByteArray(254, 'd')},
        {"/" + QString(255, 'd'), ""},
    };
    for (const Case &c : cases) {
        std::memcpy(o.SoundFolder, "old", 4);
        EXPECT_EQ(SetOptionPath(o.SoundFolder, c.path), !c.stored.isEmpty()) << c.path.toStdString();
        EXPECT_EQ(QByteArray(o.SoundFolder), c.stored);
    }
}

TEST_F(SettingsTest, FolderDefaultsStayEmptyWhenTheCodePageCannotHoldTheFolder)
{
    const QString odd = home.home() + QString::fromUtf8("日本/");
    ProgramFolder::set(odd);
    SetDefaultOptions(o);
    for (const char *slot : {o.SaveDictionaryFolder, o.OpenDictionaryFolder, o.ImportFolder,
                             o.SoundFolder, o.LoadBlockFolder, o.SaveBlockFolder})
        EXPECT_STREQ(slot, "");
    EXPECT_STREQ(o.OkSoundFile, "SOUND\\ok.wav");
}

TEST_F(SettingsTest, LanguageFontsTakeTheFamilyOfTheirGroup)
{
    SetDefaultOptions(o);
    SetOptionText(o.StudiedFontName, "DejaVu Sans");
    SetOptionText(o.NativeFontName, "DejaVu Serif");
    SetOptionText(o.TranscriptionFontName, "DejaVu Sans Mono");
    struct Case { int group; QString family; };
    const Case cases[] = {
        {0, "DejaVu Sans"}, {1, "DejaVu Serif"}, {2, "DejaVu Sans Mono"}, {3, "Untouched"}, {-1, "Untouched"},
    };
    for (const Case &c : cases) {
        QFont font("Untouched", 13);
        ApplyLanguageFont(o, font, c.group);
        EXPECT_EQ(font.family(), c.family) << c.group;
        EXPECT_EQ(font.pointSize(), 13);
    }
}
