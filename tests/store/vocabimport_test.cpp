// The import window with vocabularies of other trainers: an Anki package fills one dictionary
// per deck in BASE/ON/ with its sounds in SOUND/, a KVTML file one dictionary; a hostile package
// is reported by name and leaves no dictionary and no sound, and the import goes on.
#include "store/Working.h"

#include "DictionaryFixture.h"
#include "store/Dictionaries.h"
#include "platform/Dialogs.h"

#include <QDirIterator>
#include <QPushButton>
#include "VocabFixtures.h"

#include "messages/Message.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

using namespace fixtures;

namespace {

class VocabImport : public DictionaryHome {
protected:
    QString file(const QString &name, const QByteArray &bytes = {})
    {
        const QString p = home.root() + "/in/" + name;
        QDir().mkpath(QFileInfo(p).path());
        if (!bytes.isNull()) {
            QFile f(p);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        return p;
    }
    MessageBox::TestHook boxes;
    TFWorking::TestHook summaries;
    TFMessage::TestHook questions;
};

QStringList soundFiles(const QString &home)
{
    QStringList out;
    QDirIterator it(home + "SOUND", QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next().mid(home.size());
    out.sort();
    return out;
}

} // namespace

TEST_F(VocabImport, PackageAndKvtmlBeside)
{
    const QString sep(QChar(0x1f));
    const QString pkg = file("Pack.apkg");
    ASSERT_TRUE(writeZip(pkg, package(Collection::Anki21b, {{1, "Default"}, {2, "Verbs"}, {3, "Nouns"}},
                                      {{2, "go[sound:go.mp3]" + sep + "\u0438\u0434\u0442\u0438"},
                                       {3, "cat" + sep + "\u043a\u043e\u0442"},
                                       {3, "{{c1::x}}" + sep, 2}},
                                      {{"go.mp3", "ID3-go"}})));
    const QString kvtml = file("Words.kvtml",
                               "<?xml version=\"1.0\"?><kvtml version=\"2.0\"><identifiers>"
                               "<identifier id=\"0\"><locale>ru</locale></identifier>"
                               "<identifier id=\"1\"><locale>de</locale></identifier></identifiers><entries>"
                               "<entry id=\"0\"><translation id=\"0\"><text>\xD0\xB4\xD0\xBE\xD0\xBC</text></translation>"
                               "<translation id=\"1\"><text>Haus</text><pronunciation>ha\xCA\x8As</pronunciation></translation></entry>"
                               "</entries></kvtml>");
    const TImportSummary s = ImportTextFiles(300, 300, true, {pkg, kvtml});
    EXPECT_EQ(s.recordsPosted, 3);
    EXPECT_EQ(s.dictionaries, (QStringList{path(tkOn, "Pack - Verbs"), path(tkOn, "Pack - Nouns"), path(tkOn, "Words")}));
    EXPECT_EQ(column(path(tkOn, "Pack - Verbs"), "WORD1"), std::vector<std::string>{"go"});
    EXPECT_EQ(column(path(tkOn, "Pack - Verbs"), "WORD2"), std::vector<std::string>{Text::toCp1251("идти")});
    EXPECT_EQ(column(path(tkOn, "Pack - Verbs"), "WAVFILE"), std::vector<std::string>{"\\SOUND\\Pack - Verbs\\go.mp3"});
    EXPECT_EQ(home.readFile("SOUND/Pack - Verbs/go.mp3"), "ID3-go");
    EXPECT_EQ(column(path(tkOn, "Pack - Nouns"), "WORD1"), std::vector<std::string>{"cat"});
    EXPECT_EQ(column(path(tkOn, "Words"), "WORD1"), std::vector<std::string>{"Haus"});
    EXPECT_EQ(column(path(tkOn, "Words"), "TRANSCRIPT"), std::vector<std::string>{"ha?s"});
    ASSERT_EQ(summaries.shown().size(), 1);
    const QString text = summaries.shown()[0].Text();
    EXPECT_TRUE(text.contains("cloze")) << text.toStdString();
    EXPECT_TRUE(text.contains("\"?\"")) << text.toStdString();
}

TEST_F(VocabImport, HostilePackageIsReportedAndLeavesNothing)
{
    const QString sep(QChar(0x1f));
    auto entries = package(Collection::Anki21, {{1, "Default"}}, {{1, "a[sound:a.mp3]" + sep + "b"}},
                           {{"a.mp3", "AAAA"}});
    entries.push_back({"../escape", "x"});
    const QString bad = file("Bad.apkg");
    ASSERT_TRUE(writeZip(bad, entries));
    const QString good = file("good.csv", "a;b\n");
    const TImportSummary s = ImportTextFiles(300, 300, true, {bad, good});
    EXPECT_EQ(baseFiles(), (QStringList{"LEARNED", "LEARNEDOFF", "OFF", "ON", "ON/good.cdx", "ON/good.wrd"}));
    EXPECT_EQ(soundFiles(home.home()), QStringList());
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts()[0].endsWith(bad));
    ASSERT_EQ(s.skipped.size(), 1);
    EXPECT_TRUE(s.skipped[0].startsWith(bad + ": ")) << s.skipped[0].toStdString();
    EXPECT_TRUE(s.skipped[0].contains("with a path")) << s.skipped[0].toStdString();
    EXPECT_EQ(s.recordsPosted, 1);
}

TEST_F(VocabImport, TheWindowsFileDialogOffersThemAndImportsThem)
{
    TDictionariesLogic logic(*Topics);
    logic.FillLists();
    Dialogs::FileHook dialogs;
    const QString pkg = file("Deck.colpkg");
    const QString sep(QChar(0x1f));
    ASSERT_TRUE(writeZip(pkg, package(Collection::Anki2, {{1, "Default"}}, {{1, "a" + sep + "b"}}, {})));
    dialogs.answer({pkg});
    logic.Import();
    ASSERT_EQ(dialogs.shown().size(), 1);
    for (const char *pattern : {"*.csv", "*.txt", "*.kvtml", "*.apkg", "*.colpkg"})
        EXPECT_TRUE(dialogs.shown()[0].filter.contains(pattern)) << pattern;
    EXPECT_EQ(column(path(tkOn, "Deck"), "WORD1"), std::vector<std::string>{"a"});
    EXPECT_EQ(logic.ChangedFolders(), KindBit(tkOn));
}

TEST_F(VocabImport, AbortInTheFirstDeckStartsNoFurtherDeckAndKeepsOnlyPostedWordsSounds)
{
    const QString sep(QChar(0x1f));
    std::vector<Note> notes;
    std::vector<std::pair<QString, QByteArray>> media;
    for (int i = 0; i < 600; ++i) {
        const QString sound = QStringLiteral("s%1.mp3").arg(i);
        notes.push_back({i < 300 ? 2 : 3, QStringLiteral("w%1[sound:%2]").arg(i).arg(sound) + sep + "t"});
        media.push_back({sound, QByteArray("ID3-") + QByteArray::number(i)});
    }
    const QString pkg = file("Big.apkg");
    ASSERT_TRUE(writeZip(pkg, package(Collection::Anki21, {{2, "A"}, {3, "B"}}, notes, media)));
    TFWorking::StepHook = [](TFWorking &window, int) { window.BAbort->click(); };
    const TImportSummary s = ImportTextFiles(300, 300, true, {pkg});
    TFWorking::StepHook = nullptr;
    EXPECT_TRUE(s.aborted);
    EXPECT_EQ(s.dictionaries, QStringList{path(tkOn, "Big - A")});
    EXPECT_GT(s.recordsPosted, 0);
    EXPECT_LT(s.recordsPosted, 300);
    EXPECT_EQ(int(column(path(tkOn, "Big - A"), "WORD1").size()), s.recordsPosted);
    EXPECT_FALSE(QFileInfo::exists(path(tkOn, "Big - B") + ".wrd"));
    QStringList named;
    for (const std::string &w : column(path(tkOn, "Big - A"), "WAVFILE"))
        named << QString::fromStdString(w).mid(1).replace('\\', '/');
    named.sort();
    EXPECT_EQ(soundFiles(home.home()), named);
}
