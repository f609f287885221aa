// The dataset cursor on real table and index files in a fresh folder: order, visibility,
// counting, locating, filters, bookmarks, editing, copying, messages and view notices.
#include "engine/DataSet.h"
#include "engine/DiskFile.h"
#include "engine/EngineError.h"

#include <gtest/gtest.h>

#include <map>

#include <iconv.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> WordFields = {
    "WORD1;C;80;0", "WORD2;C;80;0", "TRANSCRIPT;C;80;0", "MISS;N;5;0",      "KBMISS;N;5;0",
    "INROW;N;5;0",  "KBINROW;N;5;0", "WAVFILE;C;255;0",  "WAVSTART;N;20;0", "WAVEND;N;20;0",
};

struct Word
{
    std::string word1, word2;
    int miss = 0;
};

// Windows-1251 bytes of a UTF-8 literal: tables hold Windows-1251.
std::string W(const std::string &utf8)
{
    iconv_t cd = iconv_open("CP1251", "UTF-8");
    std::string out(utf8.size(), '\0');
    char *in = const_cast<char *>(utf8.data()), *to = out.data();
    size_t inLeft = utf8.size(), outLeft = out.size();
    iconv(cd, &in, &inLeft, &to, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

// Message of the engine error `body` raises ("" when it raises none).
template <class F> std::string ErrorOf(F &&body)
{
    try {
        body();
    } catch (const EEngineError &e) {
        return e.what();
    }
    return "";
}

class DataSetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/wordpop-dataset-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        ds.Close();
        fs::remove_all(dir);
    }

    std::string Path(const std::string &name) const { return dir + "/" + name; }

    // A table of the given words (created through the cursor, as the program does), left open.
    void Make(const std::vector<Word> &words, const std::string &name = "words.wrd")
    {
        ds.Close();
        ds.ClearIndexFiles();
        ds.SetTableName(Path(name));
        TCreateDbfDataSet create;
        create.CreateFields = WordFields;
        create.DBFTable = &ds;
        create.AutoOverwrite = true;
        ASSERT_TRUE(create.Execute());
        ASSERT_TRUE(ds.Active());
        for (const Word &w : words)
            Add(w);
    }

    void Add(const Word &w)
    {
        ds.Append();
        ds.FieldByName("WORD1").SetAsString(w.word1);
        ds.FieldByName("WORD2").SetAsString(w.word2);
        ds.FieldByName("MISS").SetAsInteger(w.miss);
        ds.Post();
    }

    // The four dictionary tags, attached and MISS-less (natural order) afterwards.
    void Index(const std::string &name = "words.cdx")
    {
        for (const char *tag : {"MISS", "KBMISS", "WORD1", "WORD2"})
            ds.IndexOn(Path(name), tag, tag, "", iuDuplicates, ssAscending);
        ds.AddIndexFile(Path(name));
    }

    // Physical numbers of the visible records, walking forward from First.
    std::vector<std::uint32_t> Walk()
    {
        std::vector<std::uint32_t> out;
        for (ds.First(); !ds.Eof(); ds.Next())
            out.push_back(ds.RecNo());
        return out;
    }
    std::vector<std::uint32_t> WalkBack()
    {
        std::vector<std::uint32_t> out;
        for (ds.Last(); !ds.Bof(); ds.Prior())
            out.push_back(ds.RecNo());
        return out;
    }
    std::string Word1() { return ds.FieldByName("WORD1").AsString(); }

    void DeleteRecord(std::uint32_t recNo)
    {
        ds.SetRecNo(recNo);
        ASSERT_EQ(ds.RecNo(), recNo);
        ds.Delete();
    }

    std::string dir;
    TDbfDataSet ds;
};

using Recs = std::vector<std::uint32_t>;

// ---------------------------------------------------------------------------------------

TEST_F(DataSetTest, NavigatesInTagOrderSkippingDeletedRecords)
{
    Make({{"pear", W("груша"), 3}, {"apple", W("яблоко"), 0}, {"fig", W("инжир"), 5}, {"kiwi", W("киви"), 0},
          {"date", W("финик"), 1}});
    Index();
    DeleteRecord(4);

    struct Case { std::string tag; Recs forward; };
    const Case cases[] = {
        {"", {1, 2, 3, 5}},
        {"MISS", {2, 5, 1, 3}},  // 0 (2), [0 (4) deleted], 1, 3, 5
        {"WORD1", {2, 5, 3, 1}}, // apple date fig [kiwi] pear
        {"WORD2", {1, 3, 5, 2}}, // груша инжир [киви] финик яблоко
    };
    for (const Case &c : cases) {
        ds.SetIndexName(c.tag);
        EXPECT_EQ(Walk(), c.forward) << c.tag;
        Recs back(c.forward.rbegin(), c.forward.rend());
        EXPECT_EQ(WalkBack(), back) << c.tag;
        EXPECT_EQ(ds.RecordCount(), 4u) << c.tag;
    }

    // Ends keep the record current and set the flags; MoveBy stops early and says how far.
    ds.SetIndexName("MISS");
    ds.First();
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(ds.RecNo(), 2u);
    ds.Prior();
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(ds.RecNo(), 2u);
    EXPECT_EQ(ds.MoveBy(2), 2);
    EXPECT_EQ(ds.RecNo(), 1u);
    EXPECT_EQ(ds.MoveBy(10), 1);
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.RecNo(), 3u);
    ds.Next();
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.RecNo(), 3u);
    EXPECT_EQ(ds.MoveBy(-10), -3);
    EXPECT_EQ(ds.RecNo(), 2u);

    // Deleted records become visible with UseDeleted.
    ds.SetUseDeleted(true);
    EXPECT_EQ(Walk(), (Recs{2, 4, 5, 1, 3}));
    EXPECT_EQ(ds.RecordCount(), 5u);
}

TEST_F(DataSetTest, WalkInAWordOrderReadsEachWordAsItsRecordHoldsIt)
{
    // Enough records for several cache blocks; words with inner and leading blanks, empty
    // ones, Cyrillic and duplicates. The order tag's key gives the word only while the record
    // is untouched: an edit in progress, a changed or deleted record show their own state.
    std::vector<Word> words;
    for (int n = 0; n < 400; ++n) {
        std::string w = n % 50 == 0 ? "" : n % 7 == 0 ? W("слово ") + std::to_string(n % 13) : " w" + std::to_string(n % 97);
        words.push_back({w, "t" + std::to_string(n), n % 5});
    }
    ds.SetExclusive(true);
    Make(words);
    Index();
    for (std::uint32_t n : {3u, 118u, 119u, 400u})
        DeleteRecord(n);

    auto byRecord = [&] {
        // What each live record holds, read in natural order.
        std::map<std::uint32_t, std::string> held;
        ds.SetIndexName("");
        for (ds.First(); !ds.Eof(); ds.Next())
            held[ds.RecNo()] = Word1();
        return held;
    };
    auto walkWord1 = [&] {
        std::vector<std::pair<std::uint32_t, std::string>> seen;
        ds.SetIndexName("WORD1");
        for (ds.First(); !ds.Eof(); ds.Next())
            seen.emplace_back(ds.RecNo(), Word1());
        return seen;
    };
    auto check = [&](const char *when) {
        auto held = byRecord();
        auto seen = walkWord1();
        ASSERT_EQ(seen.size(), held.size()) << when;
        for (size_t i = 0; i < seen.size(); ++i) {
            ASSERT_EQ(seen[i].second, held[seen[i].first]) << when << ": record " << seen[i].first;
            if (i > 0)
                ASSERT_LE(seen[i - 1].second, seen[i].second) << when;
        }
    };
    check("as made");

    ds.SetIndexName("WORD1");
    ASSERT_TRUE(ds.Locate("WORD1", " w5"));
    const std::uint32_t at = ds.RecNo();
    ds.Edit();
    ds.FieldByName("WORD1").SetAsString("edited");
    EXPECT_EQ(Word1(), "edited");
    ds.Cancel();
    EXPECT_EQ(Word1(), " w5");
    ds.Edit();
    ds.FieldByName("WORD1").SetAsString(W("яя last"));
    ds.Post();
    EXPECT_EQ(ds.RecNo(), at);
    EXPECT_EQ(Word1(), W("яя last"));
    ds.Last();
    EXPECT_EQ(Word1(), W("яя last"));
    DeleteRecord(at);
    ds.SetRecNo(2);
    ds.Delete();
    check("after edits and deletions");
}

TEST_F(DataSetTest, ChoosingTheTagKeepsTheRecordAndRejectsUnknownNames)
{
    Make({{"b", "x", 2}, {"a", "y", 0}, {"c", "z", 1}});
    Index();
    ds.SetIndexName("Miss");
    ds.First();
    EXPECT_EQ(ds.RecNo(), 2u); // smallest MISS, not record 1
    ds.Next();
    EXPECT_EQ(ds.RecNo(), 3u);

    ds.SetIndexName("WORD1");
    EXPECT_EQ(ds.RecNo(), 3u);
    ds.Prior();
    EXPECT_EQ(ds.RecNo(), 1u);

    EXPECT_EQ(ErrorOf([&] { ds.SetIndexName("Nope"); }), "Cannot find index tag Nope");
    EXPECT_EQ(ds.IndexName(), "WORD1");
    EXPECT_EQ(ds.RecNo(), 1u);
    ds.Next();
    EXPECT_EQ(ds.RecNo(), 3u); // still WORD1 order: b, then c

    // Applied when the cursor opens, positioned on the first record in that order.
    ds.Close();
    ds.SetIndexName("miss");
    ds.Open();
    EXPECT_EQ(ds.RecNo(), 2u);
    EXPECT_FALSE(ds.IsSequenced());
    ds.SetIndexName("");
    EXPECT_TRUE(ds.IsSequenced());
}

TEST_F(DataSetTest, CountsVisibleRecordsWithoutMoving)
{
    Make({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}});
    Index();
    DeleteRecord(2);
    ds.SetIndexName("WORD1");
    ds.Last();
    EXPECT_EQ(ds.RecordCount(), 3u);
    EXPECT_EQ(ds.RecNo(), 4u);

    ds.SetExactCount(false);
    EXPECT_EQ(ds.RecordCount(), 4u); // the physical count, the deleted record included
    ds.SetExactCount(true);

    int asked = 0;
    ds.OnFilterRecord = [&](TDbfDataSet &d, bool &accept) {
        ++asked;
        EXPECT_EQ(d.State(), dsFilter);
        accept = d.FieldByName("WORD1").AsString() != "c";
    };
    ds.SetFiltered(true);
    EXPECT_EQ(ds.RecordCount(), 2u);
    EXPECT_EQ(Walk(), (Recs{1, 4}));
    EXPECT_GT(asked, 0);
    EXPECT_EQ(ds.State(), dsBrowse);

    ds.OnFilterRecord = [](TDbfDataSet &, bool &accept) { accept = false; };
    ds.First();
    EXPECT_EQ(ds.RecordCount(), 0u);
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.RecNo(), 0u);

    // A count in the middle of an edit leaves the edit as it was.
    ds.SetFiltered(false);
    ds.First();
    ds.Edit();
    ds.FieldByName("WORD2").SetAsString("changed");
    EXPECT_EQ(ds.RecordCount(), 3u);
    EXPECT_EQ(ds.State(), dsEdit);
    EXPECT_EQ(ds.FieldByName("WORD2").AsString(), "changed");
    ds.Post();
    ds.Close();
    ds.Open();
    ds.First();
    EXPECT_EQ(ds.FieldByName("WORD2").AsString(), "changed");
}

TEST_F(DataSetTest, LocatesExactPartialAndCaseInsensitive)
{
    // Record 1 is a deleted "cat": a search must pass over it.
    Make({{"cat", W("кошка")},      {"category", W("категория")}, {"Cat", W("Кот")},
          {"cat", W("кот")},        {"dog", W("собака"), 4},       {W("Ёлка"), "tree"}});
    Index();
    DeleteRecord(1);

    struct Case { bool indexed; std::string field, value; TLocateOptions options; bool found; std::uint32_t recNo; };
    const Case cases[] = {
        {true, "WORD1", "cat", 0, true, 4},
        {true, "WORD1", "ca", 0, false, 0},
        {true, "WORD1", "ca", loPartialKey, true, 4}, // Cat < cat (deleted) < cat < category
        {true, "WORD1", "categ", loPartialKey, true, 2},
        {true, "word1", "dog", 0, true, 5},
        {true, "WORD1", "cow", 0, false, 0},
        {true, "WORD1", "CAT", loCaseInsensitive, true, 3},
        {true, "WORD1", W("ёлка"), loCaseInsensitive, true, 6},
        {true, "WORD2", W("КОТ"), loCaseInsensitive, true, 3},
        {true, "WORD2", W("кот"), 0, true, 4},
        {true, "WORD2", W("кат"), loPartialKey | loCaseInsensitive, true, 2},
        {true, "MISS", "4", 0, true, 5},
        {true, "MISS", "x", 0, false, 0},
        {true, "NOSUCH", "cat", 0, false, 0},
        {false, "WORD1", "cat", 0, true, 4}, // no tags: the physical search
        {false, "WORD1", "ca", 0, false, 0},
        {false, "WORD1", "ca", loPartialKey, true, 2},
        {false, "TRANSCRIPT", "", 0, true, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.field + " " + c.value + (c.indexed ? " indexed" : " plain"));
        if (!c.indexed && !ds.IndexFiles().empty())
            ds.ClearIndexFiles();
        ds.SetIndexName(c.indexed ? "MISS" : "");
        ds.Last();
        std::uint32_t before = ds.RecNo();
        EXPECT_EQ(ds.Locate(c.field, c.value, c.options), c.found);
        EXPECT_EQ(ds.RecNo(), c.found ? c.recNo : before);
        // The previous order is back, by its stored upper-case name.
        EXPECT_EQ(ds.IndexName(), c.indexed ? "MISS" : "");
    }
}

TEST_F(DataSetTest, LocateKeepsThePreviousOrderAroundTheFoundRecord)
{
    Make({{"a", "one", 2}, {"b", "two", 0}, {"c", "three", 1}});
    Index();
    ds.SetIndexName("miss");
    ASSERT_TRUE(ds.Locate("WORD2", "three"));
    EXPECT_EQ(ds.RecNo(), 3u);
    EXPECT_EQ(ds.IndexName(), "MISS");
    ds.Next(); // MISS order: 2 (0), 3 (1), 1 (2)
    EXPECT_EQ(ds.RecNo(), 1u);
    ds.Prior();
    ds.Prior();
    EXPECT_EQ(ds.RecNo(), 2u);

    // A filtered-out match is passed over.
    ds.OnFilterRecord = [](TDbfDataSet &d, bool &accept) { accept = d.RecNo() != 3; };
    ds.SetFiltered(true);
    EXPECT_FALSE(ds.Locate("WORD2", "three"));
    EXPECT_FALSE(ds.Locate("WORD2", "three", loCaseInsensitive));
    EXPECT_EQ(ds.RecNo(), 2u);
}

TEST_F(DataSetTest, FilterBitmapIsRecomputedOnPost)
{
    Make({{"x", "a"}, {"b", "y"}, {"c", "d"}, {"x", "y"}});
    Index();
    ds.SetIndexName("WORD1");
    ds.SetFiltered(true);
    ds.SetFilter("WORD1=\"x\" OR WORD2=\"y\"");
    EXPECT_EQ(Walk(), (Recs{2, 1, 4})); // b, x, x in WORD1 order
    EXPECT_EQ(ds.RecordCount(), 3u);

    // An appended match is visible at once, a non-match is not.
    Add({"zz", "y"});
    EXPECT_EQ(ds.RecNo(), 5u);
    Add({"e", "f"});
    EXPECT_EQ(Walk(), (Recs{2, 1, 4, 5}));

    // A visible record edited so that it no longer matches is hidden after Post.
    ASSERT_TRUE(ds.Locate("WORD1", "b"));
    ds.Edit();
    ds.FieldByName("WORD2").SetAsString("q");
    ds.Post();
    EXPECT_EQ(Walk(), (Recs{1, 4, 5}));

    // Other records keep their bits: a hidden one that now would match stays hidden until the
    // filter is set again. (Record 3 was not changed through a Post, so its bit is the snapshot.)
    ds.SetFilter("WORD1=\"c\"");
    EXPECT_EQ(Walk(), (Recs{3}));
    ds.SetFiltered(false);
    EXPECT_EQ(ds.RecordCount(), 6u);

    // With an empty Filter only OnFilterRecord decides.
    ds.SetFilter("");
    ds.OnFilterRecord = [](TDbfDataSet &d, bool &accept) { accept = d.FieldByName("WORD1").AsString() == "e"; };
    ds.SetFiltered(true);
    EXPECT_EQ(Walk(), (Recs{6}));

    // Both tests together; field names in the filter are case-insensitive.
    ds.SetFilter("word1=\"e\" OR word1=\"c\"");
    ds.OnFilterRecord = [](TDbfDataSet &d, bool &accept) { accept = d.RecNo() != 3; };
    EXPECT_EQ(Walk(), (Recs{6}));

    EXPECT_EQ(ErrorOf([&] { ds.SetFilter("WORD1"); }), "Filter expression must return boolean result");
    EXPECT_EQ(ds.Filter(), "word1=\"e\" OR word1=\"c\"");
    EXPECT_EQ(Walk(), (Recs{6}));
}

TEST_F(DataSetTest, SavedFilterStateComesBackWholeEvenWhenAnEditFails)
{
    Make({{"x", "a"}, {"ab", "y"}, {"c", "d"}, {"x", "y"}});
    Index();
    ds.SetIndexName("WORD1");
    ds.SetFilterOptions(foNoPartialCompare);
    ds.SetFilter("WORD1=\"a*\" OR WORD2=\"y\"");
    ds.OnFilterRecord = [](TDbfDataSet &d, bool &accept) { accept = d.RecNo() != 4; };
    ds.SetFiltered(true);
    ASSERT_EQ(Walk(), (Recs{2})); // "a*" is no wildcard here; record 4 the predicate hides
    const TFilterState saved = ds.SaveFilterState();

    // Something else filters for a while: another text, options and predicate.
    auto other = [&] {
        ds.SetFilter("");
        ds.SetFilterOptions(0);
        ds.OnFilterRecord = [](TDbfDataSet &d, bool &accept) { accept = d.FieldByName("WORD1").AsString() == "c"; };
        ds.SetFiltered(true);
        ASSERT_EQ(Walk(), (Recs{3}));
    };
    other();
    ds.RestoreFilterState(saved);
    EXPECT_TRUE(ds.Filtered());
    EXPECT_EQ(ds.Filter(), "WORD1=\"a*\" OR WORD2=\"y\"");
    EXPECT_EQ(ds.FilterOptions(), TFilterOptions(foNoPartialCompare));
    EXPECT_EQ(Walk(), (Recs{2}));

    // An unfiltered state comes back unfiltered, predicate kept for later.
    ds.SetFiltered(false);
    const TFilterState off = ds.SaveFilterState();
    other();
    ds.RestoreFilterState(off);
    EXPECT_FALSE(ds.Filtered());
    EXPECT_EQ(Walk(), (Recs{2, 3, 1, 4}));
    ASSERT_TRUE(ds.OnFilterRecord);
    ds.SetFiltered(true);
    EXPECT_EQ(Walk(), (Recs{2}));

    // A pending edit whose Post fails: the state still comes back, the edit is dropped, the
    // failure is raised.
    other();
    ds.First();
    ds.Edit();
    ds.FieldByName("WORD2").SetAsString("changed");
    ds.BeforePost = [](TDbfDataSet &) { throw EDbfError("refused"); };
    EXPECT_NE(ErrorOf([&] { ds.RestoreFilterState(saved); }), "");
    ds.BeforePost = nullptr;
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.Filter(), saved.filter);
    EXPECT_EQ(Walk(), (Recs{2}));
    ds.SetFiltered(false);
    ASSERT_TRUE(ds.Locate("WORD1", "c"));
    EXPECT_EQ(ds.FieldByName("WORD2").AsString(), "d");
}

TEST_F(DataSetTest, BookmarksNamePhysicalRecords)
{
    Make({{"b", "1", 1}, {"a", "2", 0}, {"c", "3", 2}});
    Index();
    ds.SetIndexName("WORD1");
    ds.First();
    TBookmark first = ds.GetBookmark();
    EXPECT_EQ(first.recNo, 2u);
    ds.Last();
    TBookmark last = ds.GetBookmark();
    EXPECT_LT(TDbfDataSet::CompareBookmarks(first, last), 0);
    EXPECT_EQ(TDbfDataSet::CompareBookmarks(last, last), 0);

    ds.GotoBookmark(first);
    EXPECT_EQ(ds.RecNo(), 2u);
    ds.Next(); // the order continues from the bookmarked record: a, b, c
    EXPECT_EQ(ds.RecNo(), 1u);

    // Even a deleted or filtered-out record can be reached by its bookmark.
    DeleteRecord(3);
    ds.OnFilterRecord = [](TDbfDataSet &d, bool &accept) { accept = d.RecNo() != 2; };
    ds.SetFiltered(true);
    ds.GotoBookmark(last);
    EXPECT_EQ(ds.RecNo(), 3u);
    ds.GotoBookmark(first);
    EXPECT_EQ(Word1(), "a");

    const std::string invalid = "Bookmark is invalid for table " + ds.TableName();
    EXPECT_EQ(ErrorOf([&] { ds.GotoBookmark(TBookmark{}); }), invalid);
    EXPECT_EQ(ErrorOf([&] { ds.GotoBookmark(TBookmark{4}); }), invalid);
}

TEST_F(DataSetTest, AppendEditPostCancelAndDelete)
{
    Make({{"b", "x", 3}, {"a", "y", 1}});
    Index();
    ds.SetIndexName("MISS");

    // AfterInsert runs on the blank record, BeforePost may refuse and keep the edit.
    ds.AfterInsert = [](TDbfDataSet &d) { d.FieldByName("INROW").SetAsInteger(7); };
    bool refuse = true;
    ds.BeforePost = [&](TDbfDataSet &d) {
        if (refuse)
            throw EDatabaseError("not yet");
    };
    ds.Append();
    EXPECT_EQ(ds.State(), dsInsert);
    EXPECT_EQ(ds.FieldByName("MISS").AsString(), "0");
    EXPECT_TRUE(ds.FieldByName("WORD1").IsNull());
    EXPECT_EQ(ds.FieldByName("INROW").AsInteger(), 7);
    ds.FieldByName("WORD1").SetAsString("c");
    ds.FieldByName("MISS").SetAsInteger(2);
    EXPECT_EQ(ErrorOf([&] { ds.Post(); }), "not yet");
    EXPECT_EQ(ds.State(), dsInsert);
    EXPECT_EQ(Word1(), "c");
    refuse = false;
    ds.Post();
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.RecNo(), 3u);
    ds.Next(); // MISS order: 2 (1), 3 (2), 1 (3)
    EXPECT_EQ(ds.RecNo(), 1u);

    // Editing moves the record to its new place in the order.
    ds.Edit();
    ds.FieldByName("MISS").SetAsInteger(0);
    ds.Post();
    EXPECT_EQ(ds.RecNo(), 1u);
    EXPECT_EQ(Walk(), (Recs{1, 2, 3}));

    // Cancel drops the change.
    ds.Last();
    ds.Edit();
    ds.FieldByName("WORD1").SetAsString("zzz");
    ds.Cancel();
    EXPECT_EQ(Word1(), "c");
    EXPECT_EQ(ds.State(), dsBrowse);

    // A moved-away-from insert is posted when written, dropped when not.
    ds.AfterInsert = nullptr;
    ds.Append();
    ds.First();
    EXPECT_EQ(ds.RecordCount(), 3u);
    ds.Append();
    ds.FieldByName("WORD1").SetAsString("d");
    ds.First();
    EXPECT_EQ(ds.RecordCount(), 4u);

    // An unposted insert is lost with the close.
    ds.Append();
    ds.FieldByName("WORD1").SetAsString("lost");
    ds.Close();
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 4u);
    EXPECT_FALSE(ds.Locate("WORD1", "lost"));

    // Delete moves to the next record, or the previous one at the end; deleting the only record
    // empties the cursor.
    ds.SetIndexName("WORD1"); // a(2) b(1) c(3) d(4)
    ASSERT_TRUE(ds.Locate("WORD1", "b"));
    ds.Delete();
    EXPECT_EQ(ds.RecNo(), 3u);
    ds.Last();
    ds.Delete();
    EXPECT_EQ(ds.RecNo(), 3u);
    EXPECT_TRUE(ds.Eof());
    ds.Delete();
    EXPECT_EQ(ds.RecNo(), 2u);
    ds.Delete();
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_EQ(ds.RecordCount(), 0u);
    EXPECT_EQ(ErrorOf([&] { ds.Delete(); }), "Cannot perform this operation on an empty dataset");

    // Deleted records stay in the file, the file size does not change.
    ds.SetExactCount(false);
    EXPECT_EQ(ds.RecordCount(), 4u);
}

TEST_F(DataSetTest, DeleteInInsertStateCancels)
{
    Make({{"a", "1"}});
    ds.Append();
    ds.FieldByName("WORD1").SetAsString("b");
    ds.Delete();
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.RecNo(), 1u);
    EXPECT_EQ(ds.RecordCount(), 1u);
}

TEST_F(DataSetTest, FieldsAreTypedAndFoundByAnyCase)
{
    Make({{"word", W("слово"), 0}});
    EXPECT_EQ(&ds.FieldByName("KbInRow"), &ds.FieldByName("KBINROW"));
    EXPECT_EQ(ds.FindField("nothing"), nullptr);
    EXPECT_EQ(ErrorOf([&] { ds.FieldByName("nothing"); }), "Field 'nothing' not found");
    EXPECT_EQ(ds.FieldCount(), 10);
    EXPECT_EQ(ds.FieldByName("WORD1").DataType(), ftString);
    EXPECT_EQ(ds.FieldByName("MISS").DataType(), ftInteger);
    EXPECT_EQ(ds.FieldByName("WAVEND").DataType(), ftInteger);

    ds.First();
    TField &miss = ds.FieldByName("MISS");
    TField &transcript = ds.FieldByName("TRANSCRIPT");
    EXPECT_FALSE(miss.IsNull());
    EXPECT_EQ(miss.AsString(), "0");
    EXPECT_TRUE(transcript.IsNull());
    EXPECT_TRUE(std::holds_alternative<std::monostate>(transcript.AsVariant()));
    EXPECT_EQ(std::get<std::int32_t>(miss.AsVariant()), 0);
    EXPECT_EQ(std::get<std::string>(ds.FieldByName("WORD2").AsVariant()), W("слово"));

    EXPECT_EQ(ErrorOf([&] { miss.SetAsInteger(1); }), "Dataset not in edit or insert mode");
    ds.Edit();
    EXPECT_EQ(ErrorOf([&] { miss.SetAsString("abc"); }), "'abc' is not a valid integer value for field 'MISS'");
    EXPECT_NE(ErrorOf([&] { miss.SetAsInteger(123456); }), ""); // too large for N(5)
    EXPECT_EQ(miss.AsInteger(), 0);
    miss.SetAsString("42");
    transcript.SetAsString(std::string(100, 't') + "   ");
    ds.FieldByName("INROW").SetAsVariant(TVariant{});
    ds.Post();
    EXPECT_EQ(miss.AsInteger(), 42);
    EXPECT_EQ(transcript.AsString(), std::string(80, 't'));
    EXPECT_EQ(ds.FieldByName("INROW").AsInteger(), 0);
}

TEST_F(DataSetTest, DateFieldsReadNullAsTheZeroDate)
{
    ds.SetTableName(Path("learned.wrd"));
    TCreateDbfDataSet create;
    create.CreateFields = WordFields;
    create.CreateFields.push_back("DATE;D;8;0");
    create.DBFTable = &ds;
    create.AutoOverwrite = true;
    ASSERT_TRUE(create.Execute());
    TField &date = ds.FieldByName("DATE");
    EXPECT_EQ(date.DataType(), ftDate);
    ds.Append();
    ds.FieldByName("WORD1").SetAsString("w");
    ds.Post();
    EXPECT_TRUE(date.IsNull());
    EXPECT_EQ(date.AsDateTime().value, 0.0);
    ds.Edit();
    date.SetAsDateTime(EncodeDate(2024, 2, 29));
    ds.Post();
    int y, m, d;
    DecodeDate(date.AsDateTime(), y, m, d);
    EXPECT_EQ((std::vector<int>{y, m, d}), (std::vector<int>{2024, 2, 29}));
    EXPECT_EQ(EncodeDate(2000, 1, 1).value, 36526.0);
    EXPECT_EQ(date.AsString(), "29.02.2024");
    ds.Edit();
    date.SetAsVariant(TVariant{});
    ds.Post();
    EXPECT_TRUE(date.IsNull());
}

TEST_F(DataSetTest, CopyToWritesTheVisibleRecordsInTagOrder)
{
    Make({{"pear", "1", 1}, {"apple", "2", 0}, {"fig", "3", 2}, {"banana", "4", 0}});
    Index();
    DeleteRecord(2);
    ds.SetIndexName("WORD1");
    ds.Last();
    ds.CopyTo(Path("copy.wrd"));
    EXPECT_EQ(ds.RecNo(), 4u); // first record in WORD1 order: banana

    TDbfDataSet copy;
    copy.SetTableName(Path("copy.wrd"));
    copy.SetUseDeleted(true);
    copy.Open();
    std::vector<std::string> words;
    for (copy.First(); !copy.Eof(); copy.Next())
        words.push_back(copy.FieldByName("WORD1").AsString() + copy.FieldByName("MISS").AsString());
    EXPECT_EQ(words, (std::vector<std::string>{"banana0", "fig2", "pear1"}));
    EXPECT_EQ(fs::file_size(Path("copy.wrd")), 32u * 10 + 33 + 3 * 556 + 1);
    copy.Close();

    // With a key the copy holds the records whose key in the active tag begins with it.
    ds.CopyTo(Path("range.wrd"), "p");
    copy.SetTableName(Path("range.wrd"));
    copy.Open();
    EXPECT_EQ(copy.RecordCount(), 1u);
    EXPECT_EQ(copy.FieldByName("WORD1").AsString(), "pear");

    // A filtered cursor copies what it shows.
    ds.OnFilterRecord = [](TDbfDataSet &d, bool &accept) { accept = d.FieldByName("MISS").AsInteger() > 0; };
    ds.SetFiltered(true);
    ds.SetIndexName("MISS");
    ds.CopyTo(Path("filtered.wrd"));
    copy.Close();
    copy.SetTableName(Path("filtered.wrd"));
    copy.Open();
    EXPECT_EQ(copy.FieldByName("WORD1").AsString(), "pear");
    copy.Next();
    EXPECT_EQ(copy.FieldByName("WORD1").AsString(), "fig");
    EXPECT_EQ(copy.RecordCount(), 2u);

    // A handler that tries to move the cursor during the copy is refused.
    std::string busy;
    ds.OnFilterRecord = [&](TDbfDataSet &d, bool &accept) {
        if (busy.empty())
            busy = ErrorOf([&] { d.First(); });
    };
    ds.CopyTo(Path("busy.wrd"));
    EXPECT_EQ(busy, "Table is busy copying");
}

TEST_F(DataSetTest, MessagesOfTheCursor)
{
    TDbfDataSet closed;
    const std::string closedText = "Cannot perform this operation on a closed dataset";
    struct Case { const char *what; std::function<void()> body; std::string message; };
    const Case closedCases[] = {
        {"First", [&] { closed.First(); }, closedText},
        {"Next", [&] { closed.Next(); }, closedText},
        {"Append", [&] { closed.Append(); }, closedText},
        {"Post", [&] { closed.Post(); }, closedText},
        {"Locate", [&] { closed.Locate("WORD1", "x"); }, closedText},
        {"RecordCount", [&] { closed.RecordCount(); }, closedText},
        {"FlushDBF", [&] { closed.FlushDBF(); }, closedText},
        {"open without a name", [&] { closed.Open(); }, "Table name missing"},
        {"open a missing file", [&] { closed.SetTableName(Path("none.wrd")); closed.Open(); },
         "Cannot find file " + Path("none.wrd")},
    };
    for (const Case &c : closedCases)
        EXPECT_EQ(ErrorOf(c.body), c.message) << c.what;
    EXPECT_FALSE(closed.Active());

    Make({{"a", "b"}});
    Index();
    std::ofstream(Path("junk.cdx")) << std::string(2048, 'j');
    const Case openCases[] = {
        {"rename while open", [&] { ds.SetTableName(Path("other.wrd")); },
         "Cannot perform this operation on an open dataset"},
        {"index twice", [&] { ds.SetIndexFiles({Path("words.cdx"), Path("words.cdx")}); },
         "Index file " + Path("words.cdx") + " already open"},
        {"missing index", [&] { ds.SetIndexFiles({Path("gone.cdx")}); }, "Cannot find file " + Path("gone.cdx")},
        {"unusable index", [&] { ds.SetIndexFiles({Path("junk.cdx")}); }, "Error getting " + Path("junk.cdx")},
        {"write in browse", [&] { ds.FieldByName("WORD1").SetAsString("x"); }, "Dataset not in edit or insert mode"},
        {"post in browse", [&] { ds.Post(); }, "Dataset not in edit or insert mode"},
    };
    for (const Case &c : openCases)
        EXPECT_EQ(ErrorOf(c.body), c.message) << c.what;

    // Index file names without an extension get ".NDX", without a folder DatabaseName.
    ds.Close();
    ds.SetDatabaseName(dir);
    EXPECT_EQ(ErrorOf([&] { ds.SetIndexFiles({"words"}); }), "Cannot find file " + Path("words.NDX"));
    ds.SetIndexFiles({"words.cdx"});
    ds.SetIndexName("WORD1");
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 1u);
}

// A view that writes down what it is told.
struct Log : TDataSetView
{
    std::vector<TDataEvent> events;
    void DataEvent(TDataEvent event, TField *) override { events.push_back(event); }
    bool Saw(TDataEvent e) const { return std::find(events.begin(), events.end(), e) != events.end(); }
};

TEST_F(DataSetTest, ViewsHearOfMovesDataAndStateUnlessDisabled)
{
    Make({{"a", "1"}, {"b", "2"}});
    Log log;
    ds.AttachView(&log);

    ds.First();
    ds.Next();
    EXPECT_EQ(log.events, (std::vector<TDataEvent>{deScroll, deScroll}));

    log.events.clear();
    ds.Edit();
    ds.FieldByName("WORD2").SetAsString("3");
    EXPECT_EQ(log.events, (std::vector<TDataEvent>{deStateChange, deRecordChange}));
    log.events.clear();
    ds.Post();
    EXPECT_TRUE(log.Saw(deStateChange));
    EXPECT_TRUE(log.Saw(deDataSetChange));

    // Suspended, nested; the last EnableControls refreshes once.
    log.events.clear();
    ds.DisableControls();
    ds.DisableControls();
    ds.First();
    ds.Append();
    ds.Cancel();
    ds.EnableControls();
    EXPECT_TRUE(log.events.empty());
    ds.EnableControls();
    EXPECT_EQ(log.events, (std::vector<TDataEvent>{deDataSetChange}));

    log.events.clear();
    ds.DetachView(&log);
    ds.Next();
    EXPECT_TRUE(log.events.empty());
}

TEST_F(DataSetTest, IndexOnClosesTheIndexFilesAndStartsAtTheFirstRecord)
{
    Make({{"b", "1", 2}, {"a", "2", 1}});
    ds.Last();
    EXPECT_EQ(ErrorOf([&] { ds.IndexOn(Path("words.cdx"), "", "WORD1"); }),
              EDbfError(5117, 5114, "Tag Field is Empty").what());
    ds.IndexOn(Path("words.cdx"), "WORD1", "WORD1");
    EXPECT_EQ(ds.RecNo(), 1u);
    EXPECT_TRUE(ds.IsSequenced());
    ds.AddIndexFile(Path("words.cdx"));
    ds.SetIndexName("WORD1");
    EXPECT_EQ(Walk(), (Recs{2, 1}));
    // A listed file that is rebuilt comes back with its order, and later writes keep it in step.
    ds.IndexOn(Path("words.cdx"), "MISS", "MISS");
    EXPECT_EQ(ds.IndexName(), "WORD1");
    Add({"0", "3", 0});
    EXPECT_EQ(Walk(), (Recs{3, 2, 1}));
    ds.SetIndexName("MISS");
    EXPECT_EQ(Walk(), (Recs{3, 2, 1}));
}

} // namespace

namespace {

TEST_F(DataSetTest, SharedCursorsEditTheSameFile)
{
    // The editor's block table is opened shared; a second cursor on the file sees its writes.
    Make({{"a", "1"}});
    ds.Close();
    ds.SetExclusive(false);
    ds.Open();
    TDbfDataSet other;
    other.SetTableName(ds.TableName());
    other.Open();

    ds.Edit();
    ds.FieldByName("WORD2").SetAsString("2");
    ds.Post();
    ds.Edit(); // the record lock of the first edit was given back
    ds.Cancel();
    ds.Append();
    ds.FieldByName("WORD1").SetAsString("b");
    ds.Post();
    EXPECT_EQ(ds.RecordCount(), 2u);

    other.Last();
    EXPECT_EQ(other.FieldByName("WORD1").AsString(), "b");
    other.First();
    EXPECT_EQ(other.FieldByName("WORD2").AsString(), "2");
}

} // namespace

namespace {

TEST_F(DataSetTest, FilterAndIndexFileChangesRestartAtTheFirstRecord)
{
    Make({{"b", "1", 1}, {"a", "2", 0}, {"c", "3", 2}});
    Index();
    ds.SetIndexName("WORD1");
    ds.Last();
    ds.SetFiltered(false); // already off: only back to the first record
    EXPECT_EQ(ds.RecNo(), 2u);
    ds.Last();
    ds.SetFilter("MISS > 0"); // stored, not applied while Filtered is off
    EXPECT_EQ(ds.RecNo(), 3u);
    ds.SetFiltered(true);
    EXPECT_EQ(Walk(), (Recs{1, 3}));
    ds.SetFilterOptions(foCaseInsensitive);
    EXPECT_EQ(Walk(), (Recs{1, 3}));

    // Emptying the index list empties IndexName and leaves natural order, keeping the record.
    ds.Locate("WORD1", "c");
    ds.ClearIndexFiles();
    EXPECT_EQ(ds.IndexName(), "");
    EXPECT_EQ(ds.RecNo(), 3u);
    EXPECT_EQ(Walk(), (Recs{1, 3}));

    // On a closed cursor a change is checked against the files and the cursor stays closed.
    ds.Close();
    EXPECT_EQ(ErrorOf([&] { ds.AddIndexFile(Path("gone.cdx")); }), "Cannot find file " + Path("gone.cdx"));
    EXPECT_FALSE(ds.Active());
    ds.SetIndexFiles({Path("words.cdx")});
    EXPECT_FALSE(ds.Active());
    ds.SetIndexName("MISS");
    ds.Open();
    EXPECT_EQ(Walk(), (Recs{1, 3})); // the filter comes back with the cursor
}

} // namespace

namespace {

TEST_F(DataSetTest, ConditionalAndDescendingTagsSetTheirOwnOrder)
{
    // Tags the program does not build itself, as foreign files may hold them.
    Make({{"b", "1", 1}, {"a", "2", 0}, {"c", "3", 2}, {"d", "4", 0}});
    ds.IndexOn(Path("x.cdx"), "MISSED", "WORD1", "MISS > 0");
    ds.IndexOn(Path("x.cdx"), "DOWN", "WORD1", "", iuDuplicates, ssDescending);
    ds.AddIndexFile(Path("x.cdx"));

    ds.SetIndexName("MISSED"); // only the records the condition admits are in this order
    EXPECT_EQ(Walk(), (Recs{1, 3}));
    EXPECT_EQ(ds.RecordCount(), 2u);
    // The search takes DOWN, the first tag on WORD1 without a condition, then MISSED comes back.
    for (const auto &[word, recNo] : {std::pair{"d", 4u}, std::pair{"a", 2u}}) {
        ASSERT_TRUE(ds.Locate("WORD1", word));
        EXPECT_EQ(ds.RecNo(), recNo);
        EXPECT_EQ(ds.IndexName(), "MISSED");
    }
    EXPECT_FALSE(ds.Locate("WORD1", "e"));

    ds.SetIndexName("DOWN");
    EXPECT_EQ(Walk(), (Recs{4, 3, 1, 2}));
    EXPECT_EQ(WalkBack(), (Recs{2, 1, 3, 4}));
    EXPECT_EQ(ds.RecordCount(), 4u);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Rows for views: the visible records in order and a field of any record, read in place

namespace {

struct CountingView : TDataSetView
{
    int events = 0;
    void DataEvent(TDataEvent, TField *) override { ++events; }
};

} // namespace

TEST_F(DataSetTest, VisibleRecordsFollowTheWalkInEveryOrderWithoutMovingTheCursor)
{
    Make({{"pear", "груша", 3}, {"apple", "яблоко", 1}, {"fig", "инжир", 2}, {"kiwi", "киви", 0},
          {"date", "финик", 2}});
    Index();
    DeleteRecord(4);
    struct Case { const char *tag; bool filtered; bool useDeleted; };
    const Case cases[] = {
        {"", false, false}, {"MISS", false, false}, {"WORD1", false, false}, {"WORD2", false, false},
        {"WORD1", true, false}, {"", true, false}, {"MISS", false, true},
    };
    CountingView view;
    for (const Case &c : cases) {
        ds.Close();
        ds.SetUseDeleted(c.useDeleted);
        ds.Open();
        ds.SetIndexName(c.tag);
        ds.OnFilterRecord = [](TDbfDataSet &d, bool &accept) { accept = d.FieldByName("MISS").AsInteger() != 2; };
        ds.SetFiltered(c.filtered);
        const Recs walked = Walk();
        ds.First();
        ds.Next();
        const std::uint32_t at = ds.RecNo();
        ds.AttachView(&view);
        view.events = 0;
        EXPECT_EQ(ds.VisibleRecords(), walked) << c.tag << " filtered " << c.filtered;
        EXPECT_EQ(ds.RecNo(), at);
        EXPECT_EQ(view.events, 0);
        // The cursor steps on from where it was, in the same order.
        ds.Next();
        if (walked.size() > 2)
            EXPECT_EQ(ds.RecNo(), walked[2]) << c.tag;
        ds.DetachView(&view);
        ds.SetFiltered(false);
        ds.OnFilterRecord = nullptr;
    }
    ds.SetUseDeleted(false);
}

TEST_F(DataSetTest, RowsAreReadInPlaceWhileARecordIsEdited)
{
    Make({{"cat", W("кошка"), 1}, {"dog", W("собака"), 2}, {"owl", W("бубо"), 3}});
    Index();
    ds.SetIndexName("WORD2");
    ASSERT_TRUE(ds.Locate("WORD1", "dog"));
    ds.Edit();
    ds.FieldByName("WORD1").SetAsString("hound");
    TField &word1 = ds.FieldByName("WORD1");
    TField &miss = ds.FieldByName("MISS");
    // Other records and the file's own copy of the edited one, with the edit left alone.
    EXPECT_EQ(ds.VisibleRecords(), (Recs{3, 1, 2}));
    EXPECT_EQ(ds.FieldTextAt(1, word1), "cat");
    EXPECT_EQ(ds.FieldTextAt(2, word1), "dog");
    EXPECT_EQ(ds.FieldTextAt(3, miss), "3");
    EXPECT_EQ(ds.FieldTextAt(3, ds.FieldByName("WORD2")), W("бубо"));
    EXPECT_EQ(ds.State(), dsEdit);
    EXPECT_EQ(word1.AsString(), "hound");
    ds.Post();
    EXPECT_EQ(ds.FieldTextAt(2, word1), "hound");
    EXPECT_EQ(ds.RecNo(), 2u);
    // An insert in progress is not a row yet, and its buffer survives the read.
    ds.Append();
    ds.FieldByName("WORD1").SetAsString("ant");
    EXPECT_EQ(ds.VisibleRecords(), (Recs{3, 1, 2}));
    EXPECT_EQ(ds.FieldByName("WORD1").AsString(), "ant");
    ds.Post();
    EXPECT_EQ(ds.VisibleRecords().size(), 4u);

    EXPECT_NE(ErrorOf([&] { ds.FieldTextAt(9, word1); }), "");
    EXPECT_NE(ErrorOf([&] { ds.FieldTextAt(0, word1); }), "");
    ds.Close();
    EXPECT_EQ(ErrorOf([&] { ds.VisibleRecords(); }), "Cannot perform this operation on a closed dataset");
}
