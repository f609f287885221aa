// Dictionary layouts and the index repair on opening, on real files in a private program folder.
#include "store/Dictionary.h"

#include "common/TestHome.h"
#include "engine/Cdx.h"
#include "engine/EngineError.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Windows-1251 bytes of a UTF-8 literal: tables hold Windows-1251.
std::string W(const char *utf8)
{
    return Text::toCp1251(QString::fromUtf8(utf8));
}

struct Word
{
    std::string word1, word2;
    int miss, kbmiss, inrow, kbinrow;
};

const std::vector<Word> Words = {
    {"house", W("дом"), 2, 0, 1, 0},
    {"cat", W("кошка"), 0, 3, 0, 2},
    {"tree", W("дерево"), 5, 1, 0, 0},
    {"apple", W("яблоко"), 0, 0, 4, 4},
};

class DictionaryTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        folder = home.home().toStdString() + "BASE/ON/";
        fs::create_directories(folder);
        words.SetExclusive(true);
    }
    void TearDown() override { words.Close(); }

    std::string Path(const std::string &name) const { return folder + name; }

    // A dictionary of Words in the given layout, closed, without an index.
    void Make(const std::string &path, bool learned)
    {
        words.Close();
        words.ClearIndexFiles();
        words.SetTableName(path + ".wrd");
        bool created = learned ? TCreateLearned(&words).Execute() : TCreateTopic(&words).Execute();
        ASSERT_TRUE(created);
        for (const Word &w : Words) {
            words.Append();
            words.FieldByName("WORD1").SetAsString(w.word1);
            words.FieldByName("WORD2").SetAsString(w.word2);
            words.FieldByName("MISS").SetAsInteger(w.miss);
            words.FieldByName("KBMISS").SetAsInteger(w.kbmiss);
            words.FieldByName("INROW").SetAsInteger(w.inrow);
            words.FieldByName("KBINROW").SetAsInteger(w.kbinrow);
            if (learned)
                words.FieldByName("DATE").SetAsDateTime(EncodeDate(2024, 3, 1));
            words.Post();
        }
        words.Close();
    }

    // Every record in natural order, each field as text.
    std::vector<std::string> Dump()
    {
        std::string keep = words.IndexName();
        words.SetIndexName("");
        std::vector<std::string> out;
        for (words.First(); !words.Eof(); words.Next()) {
            std::string line;
            for (int i = 0; i < words.FieldCount(); ++i)
                line += words.Fields(i).AsString() + "|";
            out.push_back(line);
        }
        words.SetIndexName(keep);
        return out;
    }

    // The values of a field in the order of a tag.
    std::vector<std::string> Order(const std::string &tag, const std::string &field)
    {
        words.SetIndexName(tag);
        std::vector<std::string> out;
        for (words.First(); !words.Eof(); words.Next())
            out.push_back(words.FieldByName(field).AsString());
        return out;
    }

    // The tag names of the open index file.
    std::vector<std::string> Tags()
    {
        std::vector<std::string> out;
        for (int f = 0; f < words.IndexFileCount(); ++f)
            for (int i = 0; i < words.IndexFile(f)->TagCount(); ++i)
                out.push_back(words.IndexFile(f)->Tag(i)->Name());
        return out;
    }

    TestHome home;
    std::string folder;
    bool learnedNow = false;
    TDbfDataSet words;
};

const std::vector<std::string> AllTags = {"KBMISS", "MISS", "WORD1", "WORD2"}; // directory order

TEST_F(DictionaryTest, LayoutsAreCreatedEmptyAndWithoutIndex)
{
    struct Case { bool learned; int fields; std::uintmax_t size; };
    for (const Case &c : {Case{false, 10, 354}, Case{true, 11, 386}}) {
        std::string path = Path(c.learned ? "learned" : "topic");
        words.Close();
        words.SetTableName(path + ".wrd");
        ASSERT_TRUE(c.learned ? TCreateLearned(&words).Execute() : TCreateTopic(&words).Execute());
        EXPECT_TRUE(words.Active());
        EXPECT_TRUE(words.IsEmpty());
        EXPECT_EQ(words.FieldCount(), c.fields);
        EXPECT_EQ(fs::file_size(path + ".wrd"), c.size);
        EXPECT_FALSE(fs::exists(path + ".cdx"));
        EXPECT_EQ(words.Table()->RecordLength(), c.learned ? 564 : 556);
        EXPECT_EQ(words.FieldByName("MISS").DataType(), ftInteger);
        EXPECT_EQ(words.FindField("DATE") != nullptr, c.learned);
        if (c.learned)
            EXPECT_EQ(words.FieldByName("DATE").DataType(), ftDate);
    }
    // A creator replaces an existing file of the same name.
    words.Append();
    words.FieldByName("WORD1").SetAsString("x");
    words.Post();
    words.Close();
    ASSERT_TRUE(TCreateLearned(&words).Execute());
    EXPECT_TRUE(words.IsEmpty());
}

TEST_F(DictionaryTest, FirstOpeningBuildsTheFourTagsWithMissActive)
{
    const std::string path = Path("animals");
    Make(path, false);
    OpenDictionary(words, path);
    EXPECT_TRUE(fs::exists(path + ".cdx"));
    EXPECT_EQ(Tags(), AllTags);
    EXPECT_EQ(words.IndexName(), "MISS");
    EXPECT_EQ(words.RecNo(), 2u); // cat, the first with MISS 0
    EXPECT_EQ(Order("MISS", "WORD1"), (std::vector<std::string>{"cat", "apple", "house", "tree"}));
    EXPECT_EQ(Order("KBMISS", "WORD1"), (std::vector<std::string>{"house", "apple", "tree", "cat"}));
    EXPECT_EQ(Order("WORD1", "WORD1"), (std::vector<std::string>{"apple", "cat", "house", "tree"}));
    EXPECT_EQ(Order("WORD2", "WORD2"), (std::vector<std::string>{W("дерево"), W("дом"), W("кошка"), W("яблоко")}));

    // A sound index is used as it is.
    words.Close();
    auto stamp = fs::last_write_time(path + ".cdx");
    auto size = fs::file_size(path + ".cdx");
    OpenDictionary(words, path);
    EXPECT_EQ(fs::file_size(path + ".cdx"), size);
    EXPECT_EQ(fs::last_write_time(path + ".cdx"), stamp);
    EXPECT_EQ(words.IndexName(), "MISS");
}

// Ways an index can be unusable, each applied to a dictionary with a sound index, closed.
struct Damage
{
    const char *what;
    std::function<void(DictionaryTest &, TDbfDataSet &, const std::string &)> apply;
    int records = 4; // in the table afterwards
};

void Rewrite(const std::string &file, const std::string &bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

TEST_F(DictionaryTest, AnUnusableIndexIsRebuiltWithWordsAndCountersUnchanged)
{
    const Damage damages[] = {
        {"deleted", [](DictionaryTest &, TDbfDataSet &, const std::string &p) { fs::remove(p + ".cdx"); }},
        {"empty file", [](DictionaryTest &, TDbfDataSet &, const std::string &p) { Rewrite(p + ".cdx", ""); }},
        {"garbage", [](DictionaryTest &, TDbfDataSet &, const std::string &p) {
             std::string junk;
             for (int i = 0; i < 3000; ++i)
                 junk += char(i * 37 + 11);
             Rewrite(p + ".cdx", junk);
         }},
        {"cut short", [](DictionaryTest &, TDbfDataSet &, const std::string &p) {
             fs::resize_file(p + ".cdx", 1500);
         }},
        {"only some tags", [](DictionaryTest &, TDbfDataSet &w, const std::string &p) {
             fs::remove(p + ".cdx");
             w.SetTableName(p + ".wrd");
             w.Open();
             w.IndexOn(p + ".cdx", "MISS", "MISS");
             w.IndexOn(p + ".cdx", "WORD1", "WORD1");
             w.Close();
         }},
        {"a tag on the wrong key", [](DictionaryTest &, TDbfDataSet &w, const std::string &p) {
             fs::remove(p + ".cdx");
             w.SetTableName(p + ".wrd");
             w.Open();
             for (const char *tag : {"MISS", "KBMISS", "WORD2"})
                 w.IndexOn(p + ".cdx", tag, tag);
             w.IndexOn(p + ".cdx", "WORD1", "WORD2");
             w.Close();
         }},
        {"older than the table", [](DictionaryTest &, TDbfDataSet &w, const std::string &p) {
             // Words added by a tool that did not keep the index.
             w.SetTableName(p + ".wrd");
             w.Open();
             w.Append();
             w.FieldByName("WORD1").SetAsString("aardvark");
             w.FieldByName("MISS").SetAsInteger(9);
             w.Post();
             w.Close();
         }, 5},
        {"left from a larger table", [](DictionaryTest &t, TDbfDataSet &w, const std::string &p) {
             // The table was replaced by a shorter one, the old index stayed.
             t.Make(p + "-short", t.learnedNow);
             w.SetTableName(p + "-short.wrd");
             w.Open();
             w.SetRecNo(3);
             w.Delete();
             w.CopyTo(p + ".wrd");
             w.Close();
         }, 3},
    };
    for (bool learned : {false, true}) {
        for (const Damage &d : damages) {
            SCOPED_TRACE(std::string(d.what) + (learned ? " (learned)" : " (topic)"));
            learnedNow = learned;
            const std::string path = Path(std::string(learned ? "L" : "T") + std::to_string(&d - damages));
            Make(path, learned);
            OpenDictionary(words, path);
            std::vector<std::string> before = Dump();
            words.Close();
            words.ClearIndexFiles();

            d.apply(*this, words, path);
            if (d.records != int(Words.size())) {
                words.ClearIndexFiles();
                words.SetTableName(path + ".wrd");
                words.Open();
                before = Dump();
                words.Close();
            }

            ASSERT_NO_THROW(OpenDictionary(words, path));
            EXPECT_EQ(Tags(), AllTags);
            EXPECT_EQ(words.IndexName(), "MISS");
            EXPECT_EQ(Dump(), before);
            EXPECT_EQ(words.RecordCount(), std::uint32_t(d.records));
            std::vector<std::string> byWord = Order("WORD1", "WORD1");
            EXPECT_TRUE(std::is_sorted(byWord.begin(), byWord.end()));
            EXPECT_EQ(byWord.size(), size_t(d.records));
            std::vector<std::string> byMiss = Order("MISS", "MISS");
            EXPECT_TRUE(std::is_sorted(byMiss.begin(), byMiss.end()));
            EXPECT_TRUE(words.Locate("WORD2", W("кошка")));
            EXPECT_EQ(words.FieldByName("KBINROW").AsInteger(), 2);
            if (learned) {
                int y, m, day;
                DecodeDate(words.FieldByName("DATE").AsDateTime(), y, m, day);
                EXPECT_EQ(y * 10000 + m * 100 + day, 20240301);
            }
            words.Close();
        }
    }
}

TEST_F(DictionaryTest, RepairedIndexKeepsUpWithLaterWrites)
{
    const std::string path = Path("later");
    Make(path, false);
    Rewrite(path + ".cdx", "not an index");
    OpenDictionary(words, path);
    words.Append();
    words.FieldByName("WORD1").SetAsString("zebra");
    words.FieldByName("MISS").SetAsInteger(1);
    words.Post();
    ASSERT_TRUE(words.Locate("WORD1", "house"));
    words.Edit();
    words.FieldByName("MISS").SetAsInteger(0);
    words.Post();
    words.Close();

    // Reopening finds a sound index holding the new word and the new counter.
    auto size = fs::file_size(path + ".cdx");
    OpenDictionary(words, path);
    EXPECT_EQ(fs::file_size(path + ".cdx"), size);
    // Equal counters stay in record order: house (1), cat (2), apple (4), then zebra (1), tree (5).
    EXPECT_EQ(Order("MISS", "WORD1"), (std::vector<std::string>{"house", "cat", "apple", "zebra", "tree"}));
}

// Sets both files' modification times, an hour apart, into the past; the index newer or older.
void Age(const std::string &path, bool indexNewer)
{
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(path + ".wrd", now - std::chrono::hours(indexNewer ? 3 : 2));
    fs::last_write_time(path + ".cdx", now - std::chrono::hours(indexNewer ? 2 : 3));
}

std::string Bytes(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Whatever the engine writes to a dictionary, the index ends up no older than the table, so
// that the next opening takes the short check. Each session starts from an index an hour newer
// than the table, so a table written after the index shows.
TEST_F(DictionaryTest, AnIndexTheEngineKeepsIsNeverOlderThanItsTable)
{
    struct Session
    {
        const char *what;
        std::function<void(TDbfDataSet &)> run;
        bool unmarked = false; // the table's header lacks the mark of its production index
    };
    const Session sessions[] = {
        {"flushed and closed, as the catalogue closes a dictionary", [](TDbfDataSet &w) { w.FlushDBF(); }},
        {"a counter outside the keys changed, flushed", [](TDbfDataSet &w) {
             ASSERT_TRUE(w.Locate("WORD1", "cat"));
             w.Edit();
             w.FieldByName("INROW").SetAsInteger(7);
             w.Post();
             w.FlushDBF();
         }},
        {"a word appended", [](TDbfDataSet &w) {
             w.Append();
             w.FieldByName("WORD1").SetAsString("zebra");
             w.Post();
         }},
        {"a word deleted, flushed", [](TDbfDataSet &w) {
             ASSERT_TRUE(w.Locate("WORD1", "tree"));
             w.Delete();
             w.FlushDBF();
         }},
        {"only opened, the table marked on attaching", [](TDbfDataSet &) {}, true},
    };
    for (const Session &s : sessions) {
        SCOPED_TRACE(s.what);
        const std::string path = Path(std::string("kept") + std::to_string(&s - sessions));
        Make(path, false);
        OpenDictionary(words, path);
        words.Close();
        if (s.unmarked) {
            std::string table = Bytes(path + ".wrd");
            table[28] = char(table[28] & ~1);
            Rewrite(path + ".wrd", table);
        }
        Age(path, true);

        OpenDictionary(words, path);
        s.run(words);
        words.Close();
        EXPECT_GE(fs::last_write_time(path + ".cdx"), fs::last_write_time(path + ".wrd"));
        if (s.unmarked)
            EXPECT_EQ(Bytes(path + ".wrd")[28] & 1, 1);

        // The index is still the one the engine kept, not a rebuilt one.
        const std::string index = Bytes(path + ".cdx");
        OpenDictionary(words, path);
        words.Close();
        EXPECT_EQ(Bytes(path + ".cdx"), index);
    }
}

// An index of five words that stopped matching its table in ways its ends do not show: the
// table replaced by a copy without its last word (that word lies inside every tag's order), or
// one word's entry lost from MISS. Only an index older than the table is walked and so rebuilt.
TEST_F(DictionaryTest, AStaleIndexIsWalkedWhenItIsOlderThanTheTable)
{
    enum Stale { Sound, ShorterTable, LostEntry };
    struct Case
    {
        const char *what;
        Stale stale;
        bool indexNewer; // modification times
        bool rebuilt;
    };
    const Case cases[] = {
        {"table shortened, index older", ShorterTable, false, true},
        {"entry lost, index older", LostEntry, false, true},
        {"sound, index older", Sound, false, false},
        {"table shortened, index newer", ShorterTable, true, false},
        {"entry lost, index newer", LostEntry, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Path(std::string("stale") + std::to_string(&c - cases));
        Make(path, false);
        words.SetTableName(path + ".wrd");
        words.Open();
        words.Append();
        words.FieldByName("WORD1").SetAsString("bee");
        words.FieldByName("WORD2").SetAsString(W("пчела"));
        words.FieldByName("MISS").SetAsInteger(1);
        words.FieldByName("KBMISS").SetAsInteger(1);
        words.Post();
        words.Close();
        OpenDictionary(words, path); // builds the index of five words
        if (c.stale == LostEntry) {
            TCdxTag *miss = words.IndexFile(0)->TagByName("MISS");
            std::vector<char> record(size_t(words.Table()->RecordLength()) + 1);
            words.Table()->ReadRecordInto(2, record.data()); // cat
            ASSERT_TRUE(miss->KeyDelete(miss->RecordKey(record.data()), 2));
        }
        words.Close();
        words.ClearIndexFiles();
        if (c.stale == ShorterTable) {
            words.SetTableName(path + ".wrd");
            words.Open();
            words.SetRecNo(5);
            words.Delete();
            words.CopyTo(path + "-short.wrd");
            words.Close();
            fs::rename(path + "-short.wrd", path + ".wrd");
        }
        Age(path, c.indexNewer);
        const std::string index = Bytes(path + ".cdx");
        const std::uint32_t records = c.stale == ShorterTable ? 4 : 5;

        ASSERT_NO_THROW(OpenDictionary(words, path));
        EXPECT_EQ(Bytes(path + ".cdx") != index, c.rebuilt);
        EXPECT_GE(fs::last_write_time(path + ".cdx"), fs::last_write_time(path + ".wrd"));
        EXPECT_EQ(words.RecordCount(), records);
        if (c.rebuilt || c.stale == Sound) {
            EXPECT_EQ(Order("MISS", "WORD1").size(), records);
            EXPECT_EQ(Order("WORD2", "WORD1").size(), records);
        } else if (c.stale == ShorterTable) {
            // Not caught on opening: a walk in any order meets the missing record as the
            // engine's error, never as a word that is not there.
            EXPECT_THROW(Order("MISS", "WORD1"), EEngineError);
            EXPECT_THROW(Order("WORD2", "WORD1"), EEngineError);
        } else {
            // Not caught either: the word is missing from the MISS order only.
            EXPECT_EQ(Order("MISS", "WORD1"), (std::vector<std::string>{"apple", "bee", "house", "tree"}));
            EXPECT_EQ(Order("WORD2", "WORD1").size(), records);
        }
        words.Close();
    }
}

// A dictionary large enough for trees of several levels: the whole-tag walk must see every
// tag's entries in the order navigation does, and catch one lost from the middle of MISS.
TEST_F(DictionaryTest, TheWholeTagWalkFollowsTreesOfSeveralLevels)
{
    const std::string path = Path("large");
    Make(path, false);
    words.SetTableName(path + ".wrd");
    words.Open();
    for (int i = 0; i < 3000; ++i) {
        words.Append();
        words.FieldByName("WORD1").SetAsString("w" + std::to_string((i * 7919) % 3000) + std::string(60, 'x'));
        words.FieldByName("WORD2").SetAsString(W("слово") + std::to_string(i % 500));
        words.FieldByName("MISS").SetAsInteger(i % 37);
        words.FieldByName("KBMISS").SetAsInteger((i * 13) % 101);
        words.Post();
    }
    words.Close();
    OpenDictionary(words, path);
    for (const std::string &name : DictionaryTags) {
        SCOPED_TRACE(name);
        TCdxTag *tag = words.IndexFile(0)->TagByName(name);
        std::vector<std::uint32_t> navigated, walked;
        for (std::uint32_t r = tag->First(); r != 0; r = tag->Next())
            navigated.push_back(r);
        EXPECT_TRUE(tag->ForEachRecord([&](std::uint32_t r) {
            walked.push_back(r);
            return true;
        }));
        EXPECT_EQ(walked, navigated);
        EXPECT_EQ(walked.size(), 3004u);
        std::size_t seen = 0;
        EXPECT_FALSE(tag->ForEachRecord([&](std::uint32_t) { return ++seen < 10; }));
        EXPECT_EQ(seen, 10u);
    }
    // A sound older index is kept; one that lost an entry from the middle of MISS is rebuilt.
    for (bool lose : {false, true}) {
        SCOPED_TRACE(lose ? "entry lost" : "sound");
        if (lose) {
            TCdxTag *miss = words.IndexFile(0)->TagByName("MISS");
            std::vector<char> record(size_t(words.Table()->RecordLength()) + 1);
            words.Table()->ReadRecordInto(1500, record.data());
            ASSERT_TRUE(miss->KeyDelete(miss->RecordKey(record.data()), 1500));
        }
        words.Close();
        Age(path, false);
        const std::string index = Bytes(path + ".cdx");
        OpenDictionary(words, path);
        EXPECT_EQ(Bytes(path + ".cdx") != index, lose);
        EXPECT_EQ(Order("MISS", "WORD1").size(), 3004u);
    }
}

TEST_F(DictionaryTest, ATableThatCannotBeOpenedIsTheCallersError)
{
    struct Case { const char *what; std::string bytes; };
    const Case cases[] = {
        {"missing", ""},
        {"not a table", std::string("\x07 this is not a dBase file at all", 34)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Path(std::string("bad-") + c.what);
        if (!c.bytes.empty())
            Rewrite(path + ".wrd", c.bytes);
        EXPECT_THROW(OpenDictionary(words, path), EEngineError);
        EXPECT_FALSE(words.Active());
        EXPECT_FALSE(fs::exists(path + ".cdx"));
    }
}

} // namespace
