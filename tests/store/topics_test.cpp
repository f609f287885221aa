// The catalogue on real dictionary files in a private program folder.
#include "store/Topics.h"

#include "engine/DataSet.h"
#include "messages/Message.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"

#include "common/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

struct Word { const char *word1, *word2; int miss = 0, inrow = 0; };

class Catalogue : public ::testing::Test {
protected:
    TestHome home;
    TDbfDataSet words;
    TTopics topics{words};

    void SetUp() override
    {
        ProgramFolder::set(home.home());
        for (const char *f : {"BASE", "BASE/ON", "BASE/LEARNED", "BASE/OFF", "BASE/LEARNEDOFF", "TEMP"})
            QDir().mkpath(home.home() + f);
        words.SetExclusive(true);
    }

    // A dictionary of the kind holding the words, closed again.
    void make(TopicKind kind, const QString &name, const std::vector<Word> &list)
    {
        ASSERT_TRUE(topics.CreateDictionary(topics.DictionaryPath(kind, name)));
        for (const Word &w : list) {
            words.Append();
            words.FieldByName("WORD1").SetAsString(w.word1);
            words.FieldByName("WORD2").SetAsString(w.word2);
            words.FieldByName("MISS").SetAsInteger(w.miss);
            words.FieldByName("KBMISS").SetAsInteger(w.miss);
            words.FieldByName("INROW").SetAsInteger(w.inrow);
            words.FieldByName("KBINROW").SetAsInteger(w.inrow);
            words.Post();
        }
        topics.CloseDictionary();
    }

    std::vector<std::string> column(const QString &path, const char *field)
    {
        topics.OpenDictionary(path);
        std::vector<std::string> out;
        words.SetIndexName("");
        for (words.First(); !words.Eof(); words.Next())
            out.push_back(words.FieldByName(field).AsString());
        topics.CloseDictionary();
        return out;
    }
};

} // namespace

TEST_F(Catalogue, ListsEveryDictionaryOnceInCaseInsensitiveOrder)
{
    // The last is what a save interrupted by a crash leaves beside its dictionary.
    for (const char *f : {"b.wrd", "A.wrd", "c.WRD", "a2.wrd", "notes.txt", "b.cdx", ".b.tmp-x1Y2z3.wrd"})
        home.writeFile(QString("BASE/ON/") + f, "");
    home.writeFile("BASE/OFF/z.wrd", "");
    topics.RescanFolders(KindBit(tkOn));
    EXPECT_EQ(topics.Names(tkOn), (QStringList{"A", "a2", "b", "c"}));
    EXPECT_TRUE(topics.Names(tkOff).isEmpty()); // not asked for

    topics.RescanFolders(KindBit(tkOff) | KindBit(tkOn));
    QStringList list{"keep"};
    topics.ListNames(tkOff, list, false);
    EXPECT_EQ(list, (QStringList{"keep", "z"}));
    topics.ListNames(tkOn, list, true);
    EXPECT_EQ(list.size(), 4);
}

TEST_F(Catalogue, CountsWordsAndLeavesUnreadableDictionariesOut)
{
    make(tkOn, "animals", {{"cat", "кошка"}, {"dog", "собака"}});
    make(tkOn, "empty", {});
    make(tkLearned, "animals", {{"cow", "корова"}});
    home.writeFile("BASE/ON/broken.wrd", "this is not a table");
    topics.RescanFolders(tkAllLists);
    EXPECT_EQ(topics.CountWords(KindBit(tkOn), false), 2);
    EXPECT_EQ(topics.CountWords(KindBit(tkLearned), false), 1);
    EXPECT_EQ(topics.CountWords(KindBit(tkOn) | KindBit(tkLearned), false), 3);
}

TEST_F(Catalogue, PickKeepsDrawingPastEmptyDictionariesAndGivesUpAfter100)
{
    make(tkOn, "a_empty", {});
    make(tkOn, "b_full", {{"cat", "кошка"}});
    topics.RescanFolders(KindBit(tkOn));
    int draws = 0;
    topics.SetRandom([&] { return std::uint32_t(draws++ < 5 ? 0 : 1); }); // five empty draws first
    ASSERT_TRUE(topics.PickDictionary(tkOn));
    EXPECT_EQ(draws, 6);
    EXPECT_EQ(QFileInfo(topics.OpenPath()).fileName(), "b_full");

    topics.DeleteDictionary(tkOn, "b_full");
    topics.RescanFolders(KindBit(tkOn));
    draws = 0;
    EXPECT_FALSE(topics.PickDictionary(tkOn));
    EXPECT_EQ(draws, 100);

    topics.RescanFolders(KindBit(tkLearned)); // nothing there: no draw at all
    draws = 0;
    EXPECT_FALSE(topics.PickDictionary(tkLearned));
    EXPECT_EQ(draws, 0);
}

TEST_F(Catalogue, PickReportsADictionaryThatCannotBeOpened)
{
    home.writeFile("BASE/ON/broken.wrd", "garbage");
    make(tkOn, "good", {{"cat", "кошка"}});
    topics.RescanFolders(KindBit(tkOn));
    int draws = 0;
    topics.SetRandom([&] { return std::uint32_t(draws++ == 0 ? 0 : 1); });
    MessageBox::TestHook boxes;
    ASSERT_TRUE(topics.PickDictionary(tkOn));
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(boxes.texts()[0], QString::fromUtf8("Программе не удалось открыть файл ") + home.home() +
                                    "BASE/ON/broken.wrd");
}

TEST_F(Catalogue, LearningAWordMovesItToTheLearnedDictionaryOfTheSameName)
{
    make(tkOn, "animals", {{"cat", "кошка", 3, 20}, {"dog", "собака"}});
    const QString source = topics.DictionaryPath(tkOn, "animals");
    topics.OpenDictionary(source);
    ASSERT_TRUE(words.Locate("WORD1", "cat"));
    topics.MoveToLearned();

    EXPECT_EQ(topics.OpenPath(), source); // the source is open again
    EXPECT_EQ(column(source, "WORD1"), std::vector<std::string>{"dog"});
    const QString learned = topics.DictionaryPath(tkLearned, "animals");
    ASSERT_TRUE(QFileInfo::exists(learned + ".wrd"));
    topics.OpenDictionary(learned);
    ASSERT_EQ(words.RecordCount(), 1u);
    words.First();
    EXPECT_EQ(words.FieldByName("WORD2").AsString(), "кошка");
    EXPECT_EQ(words.FieldByName("INROW").AsInteger(), 0);
    EXPECT_EQ(words.FieldByName("MISS").AsInteger(), 0);
    EXPECT_EQ(words.FieldByName("DATE").AsDateTime(), Today());
}

TEST_F(Catalogue, LearnedWordsGoToTheUntickedLearnedDictionaryWhenOnlyThatExists)
{
    make(tkOn, "animals", {{"cat", "кошка"}});
    ASSERT_TRUE(topics.CreateLearned(topics.DictionaryPath(tkLearnedOff, "animals")));
    topics.CloseDictionary();
    topics.OpenDictionary(topics.DictionaryPath(tkOn, "animals"));
    words.First();
    topics.MoveToLearned();
    EXPECT_FALSE(QFileInfo::exists(topics.DictionaryPath(tkLearned, "animals") + ".wrd"));
    EXPECT_EQ(column(topics.DictionaryPath(tkLearnedOff, "animals"), "WORD1"), std::vector<std::string>{"cat"});
}

TEST_F(Catalogue, DeletesADictionaryThatNeverHadAnIndex)
{
    make(tkOn, "fresh", {{"cat", "кошка"}}); // created and never reopened: no index yet
    ASSERT_FALSE(QFileInfo::exists(home.home() + "BASE/ON/fresh.cdx"));
    MessageBox::TestHook boxes;
    EXPECT_TRUE(topics.DeleteDictionary(tkOn, "fresh"));
    EXPECT_FALSE(QFileInfo::exists(home.home() + "BASE/ON/fresh.wrd"));
    EXPECT_TRUE(boxes.texts().isEmpty());

    EXPECT_FALSE(topics.DeleteDictionary(tkOn, "missing")); // nothing to delete is a failure
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts()[0].endsWith("BASE/ON/missing.wrd"));
}

TEST_F(Catalogue, ResetStatisticsZeroesEveryRecordInMissOrder)
{
    std::vector<Word> list;
    static const char *names[] = {"a", "b", "c", "d", "e", "f", "g", "h"};
    for (int i = 0; i < 8; ++i)
        list.push_back({names[i], "x", (i * 5) % 7 + 1, i + 1});
    make(tkOn, "counters", list);
    const QString path = topics.DictionaryPath(tkOn, "counters");
    topics.OpenDictionary(path); // MISS order: zeroing moves every record inside it
    topics.ResetStatistics();
    topics.OpenDictionary(path);
    words.SetIndexName("");
    int seen = 0;
    for (words.First(); !words.Eof(); words.Next(), ++seen)
        for (const char *f : {"MISS", "KBMISS", "INROW", "KBINROW"})
            EXPECT_EQ(words.FieldByName(f).AsInteger(), 0) << f;
    EXPECT_EQ(seen, 8);
}
