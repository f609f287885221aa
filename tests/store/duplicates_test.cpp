// The duplicate check on real dictionary files: which records match, what each choice of the
// window writes, and the cursor handed back with its own filter, also after a failed write.
#include "store/Duplicates.h"

#include "engine/DataSet.h"
#include "engine/EngineError.h"
#include "messages/Information.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"
#include "store/Topics.h"

#include "common/TestHome.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <gtest/gtest.h>

namespace {

std::string W(const char *utf8) { return Text::toCp1251(QString::fromUtf8(utf8)); }

struct Rec {
    const char *word1, *word2;
    const char *transcript = "";
    const char *wav = "";
    int miss = 0;
};

class Duplicates : public ::testing::Test {
protected:
    TestHome home;
    TDbfDataSet words;
    TTopics topics{words};
    QString dict;

    void SetUp() override
    {
        ProgramFolder::set(home.home());
        for (const char *f : {"BASE", "BASE/ON", "BASE/LEARNED", "BASE/OFF", "BASE/LEARNEDOFF"})
            QDir().mkpath(home.home() + f);
        words.SetExclusive(true);
        dict = topics.DictionaryPath(tkOn, "d");
    }
    void TearDown() override { topics.CloseDictionary(); }

    // The dictionary "d" holding the records in this order, left open (MISS order).
    void make(const std::vector<Rec> &recs)
    {
        ASSERT_TRUE(topics.CreateDictionary(dict));
        for (const Rec &r : recs) {
            words.Append();
            words.FieldByName("WORD1").SetAsString(W(r.word1));
            words.FieldByName("WORD2").SetAsString(W(r.word2));
            words.FieldByName("TRANSCRIPT").SetAsString(W(r.transcript));
            words.FieldByName("WAVFILE").SetAsString(r.wav);
            words.FieldByName("WAVEND").SetAsInteger(r.miss * 100);
            for (const char *c : {"MISS", "KBMISS", "INROW", "KBINROW"})
                words.FieldByName(c).SetAsInteger(r.miss);
            words.Post();
        }
        topics.OpenDictionary(dict);
    }

    QByteArray tableBytes() const { return home.readFile("BASE/ON/d.wrd"); }

    TNewWord typed(const char *w1, const char *w2)
    {
        TNewWord n;
        n.word1 = W(w1);
        n.word2 = W(w2);
        n.transcript = "[epl]";
        n.wavFile = "\\SOUND\\apple.wav";
        n.wavStart = 0;
        n.wavEnd = 1234;
        return n;
    }

    std::string field(const char *name) { return words.FieldByName(name).AsString(); }
};

std::vector<std::uint32_t> recNos(const QList<TFDuplicates::Row> &rows)
{
    std::vector<std::uint32_t> out;
    for (const auto &r : rows)
        out.push_back(r.recNo);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST_F(Duplicates, MatchesAsTheFilterComparisonWithoutWildcardsAndSkipsAnEmptySide)
{
    make({{"apple", "яблоня"},      // 1
          {"Apple", "Яблоко"},      // 2
          {" pear", "груша"},       // 3 a leading blank
          {"a\"b'c]d", "кавычки"},  // 4
          {"*", "звезда"},          // 5
          {"ab", ""},               // 6 no translation
          {"слива", "plum"},        // 7
          {"", "пусто"},            // 8 no word
          {"apple", "удалено"}});   // 9, deleted below
    words.SetRecNo(9);
    words.Delete();
    words.FlushDBF();

    struct Case {
        const char *word, *translation;
        std::vector<std::uint32_t> found;
    };
    const Case cases[] = {
        {"apple", "x", {1}},          // letter case counts
        {"apple   ", "", {1}},        // trailing blanks do not
        {" apple", "", {}},           // leading ones do
        {"pear", "", {}},
        {" pear", "", {3}},
        {"a\"b'c]d", "", {4}},        // quotes of every kind are plain text
        {"*", "", {5}},               // no wildcard: only the record that holds "*"
        {"a*", "", {}},
        {"*", "*", {5}},
        {"слива", "", {7}},
        {"", "Яблоко", {2}},          // an empty word matches no record without one
        {"", "яблоко", {}},
        {"zzz", "", {}},              // an empty translation matches no record without one
        {"zzz", "   ", {}},           // nor does one of blanks
        {"", "", {}},
        {"ab", "пусто", {6, 8}},
    };
    // In MISS order the word tags are looked up; while the cursor walks WORD1 every record is read.
    for (const char *order : {"MISS", "WORD1"})
    for (const Case &c : cases) {
        words.SetIndexName(order);
        TFDuplicates::TestHook hook;
        const auto outcome = FindDuplicates(nullptr, words, typed(c.word, c.translation));
        const std::string what = std::string(order) + ": '" + c.word + "' / '" + c.translation + "'";
        if (c.found.empty()) {
            EXPECT_EQ(outcome, TDuplicateOutcome::None) << what;
            EXPECT_TRUE(hook.shown().isEmpty()) << what;
        } else {
            EXPECT_EQ(outcome, TDuplicateOutcome::Dropped) << what;
            ASSERT_EQ(hook.shown().size(), 1) << what;
            EXPECT_EQ(recNos(hook.shown()[0].rows), c.found) << what;
            EXPECT_EQ(hook.shown()[0].word, QString::fromUtf8(c.word)) << what;
        }
    }
}

TEST_F(Duplicates, CancelWritesNothingAndHandsTheCursorBackWithItsFilter)
{
    make({{"apple", "яблоня", "", "", 2}, {"pear", "груша", "", "", 0}, {"plum", "слива", "", "", 3}});
    // The trainer's way of filtering: a predicate and the filter switched on.
    words.OnFilterRecord = [](TDbfDataSet &ds, bool &accept) { accept = ds.FieldByName("MISS").AsInteger() > 0; };
    words.SetFilter("MISS<3");
    words.SetFiltered(true);
    ASSERT_EQ(words.RecordCount(), 1u);
    const QByteArray before = tableBytes();

    TFDuplicates::TestHook hook;
    hook.answer({TDuplicateOutcome::Dropped, 0});
    EXPECT_EQ(FindDuplicates(nullptr, words, typed("pear", "x")), TDuplicateOutcome::Dropped);
    ASSERT_EQ(hook.shown().size(), 1);
    EXPECT_EQ(recNos(hook.shown()[0].rows), (std::vector<std::uint32_t>{2})); // the trainer's filter did not hide it
    EXPECT_EQ(tableBytes(), before);
    EXPECT_TRUE(words.Filtered());
    EXPECT_EQ(words.Filter(), "MISS<3");
    EXPECT_EQ(words.FilterOptions(), 0u);
    EXPECT_EQ(words.RecordCount(), 1u);
    ASSERT_TRUE(words.OnFilterRecord);
    words.First();
    EXPECT_EQ(field("WORD1"), "apple");
}

TEST_F(Duplicates, ReplaceKeepsTheRestOfTheRecordAndTheTagsFindTheNewPair)
{
    make({{"pear", "груша", "[pea]", "\\SOUND\\pear.wav", 1}, {"apple", "яблоня", "[aepl]", "\\SOUND\\a.wav", 4}, {"zebra", "зебра"}});
    TFDuplicates::TestHook hook;
    hook.answer({TDuplicateOutcome::Replaced, 0});
    EXPECT_EQ(FindDuplicates(nullptr, words, typed("apple", "яблоко")), TDuplicateOutcome::Replaced);
    EXPECT_EQ(words.State(), dsBrowse);
    topics.CloseDictionary(); // what was written is on disk
    topics.OpenDictionary(dict);
    EXPECT_EQ(words.RecordCount(), 3u);
    words.SetRecNo(2);
    EXPECT_EQ(field("WORD1"), "apple");
    EXPECT_EQ(field("WORD2"), W("яблоко"));
    EXPECT_EQ(field("TRANSCRIPT"), "[aepl]");
    EXPECT_EQ(field("WAVFILE"), "\\SOUND\\a.wav");
    EXPECT_EQ(words.FieldByName("WAVEND").AsInteger(), 400);
    for (const char *c : {"MISS", "KBMISS", "INROW", "KBINROW"})
        EXPECT_EQ(words.FieldByName(c).AsInteger(), 4) << c;

    for (const char *tag : {"WORD1", "WORD2"}) {
        words.SetIndexName(tag);
        std::vector<std::string> order;
        for (words.First(); !words.Eof(); words.Next())
            order.push_back(field(tag));
        const std::vector<std::string> expected = std::string(tag) == "WORD1"
                                                      ? std::vector<std::string>{"apple", "pear", "zebra"}
                                                      : std::vector<std::string>{W("груша"), W("зебра"), W("яблоко")};
        EXPECT_EQ(order, expected) << tag;
    }
}

TEST_F(Duplicates, AddWritesTheWholeNewRecordWithCountersAtZero)
{
    make({{"apple", "яблоня", "", "", 5}});
    TFDuplicates::TestHook hook;
    hook.answer({TDuplicateOutcome::Added, 0});
    const TNewWord n = typed("apple", "яблоко");
    EXPECT_EQ(FindDuplicates(nullptr, words, n), TDuplicateOutcome::Added);
    topics.CloseDictionary();
    topics.OpenDictionary(dict);
    ASSERT_EQ(words.RecordCount(), 2u);
    words.SetRecNo(2);
    EXPECT_EQ(field("WORD1"), "apple");
    EXPECT_EQ(field("WORD2"), W("яблоко"));
    EXPECT_EQ(field("TRANSCRIPT"), n.transcript);
    EXPECT_EQ(field("WAVFILE"), "\\SOUND\\apple.wav");
    EXPECT_EQ(words.FieldByName("WAVEND").AsInteger(), 1234);
    for (const char *c : {"MISS", "KBMISS", "INROW", "KBINROW"})
        EXPECT_EQ(words.FieldByName(c).AsInteger(), 0) << c;
}

TEST_F(Duplicates, AFailedReplaceIsRaisedWithNothingWrittenAndTheFilterBack)
{
    make({{"apple", "яблоня"}, {"pear", "груша"}});
    words.SetFilter("MISS=0");
    words.SetFiltered(false);
    const QByteArray before = tableBytes();
    words.BeforePost = [](TDbfDataSet &) { throw EDbfError("refused"); };
    TFDuplicates::TestHook hook;
    hook.answer({TDuplicateOutcome::Replaced, 0});
    EXPECT_THROW(FindDuplicates(nullptr, words, typed("apple", "x")), EEngineError);
    words.BeforePost = nullptr;
    EXPECT_EQ(words.State(), dsBrowse);
    EXPECT_FALSE(words.Filtered());
    EXPECT_EQ(words.Filter(), "MISS=0");
    EXPECT_FALSE(words.OnFilterRecord);
    EXPECT_EQ(words.RecordCount(), 2u);
    EXPECT_EQ(tableBytes(), before);
}

TEST_F(Duplicates, TheWindowShowsThePairTheRecordsAndOpensHelpOnF1)
{
    TFDuplicates window(nullptr, "apple", QString::fromUtf8("яблоко"),
                        {{1, "apple", QString::fromUtf8("яблоня")}, {3, "apple", QString::fromUtf8("дерево")}});
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("Найдены повторы"));
    EXPECT_GE(window.minimumWidth(), 442);
    EXPECT_GE(window.minimumHeight(), 236);
    EXPECT_EQ(window.LWord->text(), "apple");
    EXPECT_TRUE(window.LWord->font().bold());
    ASSERT_EQ(window.GDuplicates->rowCount(), 2);
    EXPECT_EQ(window.GDuplicates->item(1, 1)->text(), QString::fromUtf8("дерево"));
    EXPECT_EQ(window.GDuplicates->editTriggers(), QAbstractItemView::NoEditTriggers);
    for (QPushButton *b : {window.BAdd, window.BReplace, window.BCancel})
        EXPECT_FALSE(b->accessibleName().isEmpty());

    // The columns share the grid's width as the window grows.
    window.show();
    window.resize(640, 320);
    QCoreApplication::processEvents();
    const int client = window.GDuplicates->viewport()->width();
    EXPECT_EQ(window.GDuplicates->columnWidth(0), (client - 16) / 2 - 14);
    EXPECT_EQ(window.GDuplicates->columnWidth(1), client - window.GDuplicates->columnWidth(0) - 30);

    window.GDuplicates->selectRow(1);
    window.BReplace->click();
    EXPECT_EQ(window.Choice(), TDuplicateOutcome::Replaced);
    EXPECT_EQ(window.ChosenRecord(), 3u);

    TFInformation::TestHook help;
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(window.GDuplicates, &f1);
    EXPECT_EQ(help.shown().size(), 1);
}
