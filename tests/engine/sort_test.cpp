// Bulk-built tags against the key order itself: keys that differ only past their first 8
// bytes, below the pad byte, by trailing blanks, and many equal numeric keys must come out
// exactly as the index's comparison orders them, and keep equal keys in record order; and
// against the bytes such builds have always written (tests/engine/data/varied-tags.cdx).
#include "EngineTestUtil.h"
#include "engine/Cdx.h"
#include "engine/Dbf.h"
#include "engine/Expression.h"
#include "engine/Index.h"
#include "engine/Sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

namespace {

TEST(SortedBuild, WalkFollowsTheKeyOrder)
{
    TempFolder dir;
    std::string path = CreateDbfTable(dir / "s.wrd", topicFields());
    TDbfTable table;
    table.Open(path, true, false);
    std::mt19937 rng(11);
    const std::string pieces[] = {"a", "ab", "abcdefgh", "abcdefghi", "abcdefgh\x01", "ab\x01", "a\x01",
                                  "abcdefg", "abcdefgh a", "b", "", "\x01", "abcdefgha", "zz"};
    std::vector<std::string> words;
    for (int i = 0; i < 3000; ++i) {
        std::string w = pieces[rng() % std::size(pieces)];
        if (rng() % 3 == 0)
            w += pieces[rng() % std::size(pieces)];
        words.push_back(w);
        table.Blank();
        table.SetString(0, w);
        table.SetNumber(3, double(rng() % 4));
        table.AppendRecord();
    }
    TCdxFile cdx(table);
    cdx.Open(dir / "s.cdx", true, false, true);
    TCdxTag* word1 = cdx.AddTag("WORD1", "WORD1");
    TCdxTag* miss = cdx.AddTag("MISS", "MISS");
    EXPECT_TRUE(cdx.Check().empty());

    // The reference: the table's key bytes (blank padded), trailing blanks ignored, a shorter
    // key first when one begins the other, then record number.
    auto trimmed = [](std::string k) {
        while (!k.empty() && k.back() == ' ')
            k.pop_back();
        return k;
    };
    std::vector<uint32_t> want(words.size());
    for (uint32_t i = 0; i < want.size(); ++i)
        want[i] = i + 1;
    std::vector<std::string> keys(words.size());
    for (uint32_t i = 0; i < words.size(); ++i) {
        std::string rec(size_t(table.RecordLength()), ' ');
        table.ReadRecordInto(i + 1, rec.data());
        keys[i] = trimmed(word1->RecordKey(rec.data()));
    }
    std::stable_sort(want.begin(), want.end(), [&](uint32_t a, uint32_t b) { return keys[a - 1] < keys[b - 1]; });
    std::vector<uint32_t> got;
    for (uint32_t r = word1->First(); r != 0; r = word1->Next())
        got.push_back(r);
    EXPECT_EQ(got, want);

    std::vector<uint32_t> byMiss;
    double last = -1;
    uint32_t lastRec = 0;
    for (uint32_t r = miss->First(); r != 0; r = miss->Next()) {
        table.GetRecord(int(r));
        double m = table.GetNumber(3);
        ASSERT_TRUE(m > last || (m == last && r > lastRec)) << r;
        last = m;
        lastRec = r;
        byMiss.push_back(r);
    }
    EXPECT_EQ(byMiss.size(), words.size());
}

// The key comparison: trailing pad bytes do not count, a key that begins another comes
// first, bytes compare unsigned; pad bytes inside a key count as bytes.
TEST(SortedBuild, KeyComparisonIgnoresOnlyTrailingPad)
{
    auto reference = [](std::string a, std::string b, char pad) {
        while (!a.empty() && a.back() == pad)
            a.pop_back();
        while (!b.empty() && b.back() == pad)
            b.pop_back();
        return a < b ? -1 : (b < a ? 1 : 0);
    };
    std::mt19937 rng(5);
    for (char pad : {' ', '\0'}) {
        const char alphabet[] = {pad, pad, '\x01', 'a', 'b', '\xff', ' ', '\0'};
        for (int i = 0; i < 20000; ++i) {
            std::string a, b;
            size_t la = 6, lb = (i % 5 == 0) ? rng() % 8 : 6;  // mostly one key length
            for (size_t k = 0; k < la; ++k)
                a += alphabet[rng() % std::size(alphabet)];
            for (size_t k = 0; k < lb; ++k)
                b += i % 3 == 0 && k < la ? a[k] : alphabet[rng() % std::size(alphabet)];
            ASSERT_EQ(IndexCompareKeys(a, b, pad), reference(a, b, pad))
                << int(pad) << " [" << a << "] [" << b << "]";
        }
    }
}

// A table of varied records (repeated words, empty and full-length keys, Cyrillic, bytes
// below the blank, deleted records, numbers negative, large and blank) and the tags built
// on it: the index must stay byte for byte the one this build has always written.
constexpr int GWord1 = 0, GWord2 = 1, GTranscript = 2, GMiss = 3, GKbMiss = 4, GWavStart = 8;

void fillVariedTable(TDbfTable& table, int count)
{
    std::mt19937 rng(2024);
    const std::string pieces[] = {"", "a", "ab", "abcdefgh", "abcdefghi", "\xEF\xF0\xE8\xE2\xE5\xF2",
                                  "\xC0\xC1\xC2", "\xFF", "zz", "  lead", "a\x01", "tab\t", "x y",
                                  std::string(80, 'x'), std::string(79, 'q') + "r", "\xB8\xA8"};
    const double numbers[] = {0, -1, -9999, 99999, 12345, 7, 7, 7, 100, -100};
    const double large[] = {0, 1e15, -1e15, 123456789012.0, -5, 99999999999999999.0, 3};
    for (int i = 0; i < count; ++i) {
        table.Blank();
        std::string w1;
        for (uint32_t k = rng() % 3; k-- > 0;)
            w1 += pieces[rng() % std::size(pieces)];
        table.SetString(GWord1, w1);
        table.SetString(GWord2, pieces[rng() % std::size(pieces)] + std::to_string(rng() % 50));
        if (rng() % 4 == 0)
            table.SetString(GTranscript, pieces[rng() % std::size(pieces)]);
        if (rng() % 10 != 0)  // else blank
            table.SetNumber(GMiss, numbers[rng() % std::size(numbers)]);
        table.SetNumber(GKbMiss, double(int(rng() % 2000) - 1000));
        table.SetNumber(GWavStart, large[rng() % std::size(large)]);
        table.AppendRecord();
        if (rng() % 17 == 0)
            table.DeleteRecord();
    }
}

void addVariedTags(TCdxFile& cdx)
{
    for (const char* tag : {"MISS", "KBMISS", "WORD1", "WORD2"})
        cdx.AddTag(tag, tag);
    cdx.AddTag("WAVSTART", "WAVSTART");
    cdx.AddTag("UPWORD", "UPPER(WORD1)");
    cdx.AddTag("BOTH", "WORD1+WORD2");
    cdx.AddTag("SHORT", "LEFT(WORD2,3)");
    cdx.AddTag("UNIQUE", "WORD2", true);
    cdx.AddTag("DOWN", "MISS", false, false);
    cdx.AddTag("SOME", "TRANSCRIPT", false, true, "MISS > 100");
    cdx.AddTag("NONE", "WORD1", false, true, "MISS > 100000");
}

TEST(SortedBuild, IndexBytesStayTheSame)
{
    TempFolder dir;
    TDbfTable table;
    table.Open(CreateDbfTable(dir / "v.wrd", topicFields()), true, false);
    fillVariedTable(table, 3000);
    {
        TCdxFile cdx(table);
        cdx.Open(dir / "v.cdx", true, false, true);
        addVariedTags(cdx);
        EXPECT_TRUE(cdx.Check().empty());
    }
    auto golden = readBytes(std::string(WORDPOP_SOURCE_DIR) + "/tests/engine/data/varied-tags.cdx");
    ASSERT_FALSE(golden.empty());
    auto built = readBytes(dir / "v.cdx");
    ASSERT_EQ(built.size(), golden.size());
    auto diff = std::mismatch(built.begin(), built.end(), golden.begin());
    EXPECT_TRUE(diff.first == built.end()) << "first difference at byte " << (diff.first - built.begin());
}

// Tags built together in one pass over the table write the bytes the same tags built one
// at a time have always written; a batch that fails on any of its tags writes nothing.
TEST(SortedBuild, TagsBuiltTogetherWriteTheSameBytes)
{
    TempFolder dir;
    TDbfTable table;
    table.Open(CreateDbfTable(dir / "v.wrd", topicFields()), true, false);
    fillVariedTable(table, 3000);
    auto spec = [](const char* name, const char* key, bool unique = false, bool ascending = true,
                   const char* forExpression = "") {
        return TCdxTagSpec{name, key, unique, ascending, forExpression};
    };
    const std::vector<TCdxTagSpec> specs = {
        spec("MISS", "MISS"), spec("KBMISS", "KBMISS"), spec("WORD1", "WORD1"), spec("WORD2", "WORD2"),
        spec("WAVSTART", "WAVSTART"), spec("UPWORD", "UPPER(WORD1)"), spec("BOTH", "WORD1+WORD2"),
        spec("SHORT", "LEFT(WORD2,3)"), spec("UNIQUE", "WORD2", true), spec("DOWN", "MISS", false, false),
        spec("SOME", "TRANSCRIPT", false, true, "MISS > 100"), spec("NONE", "WORD1", false, true, "MISS > 100000")};
    {
        TCdxFile cdx(table);
        cdx.Open(dir / "v.cdx", true, false, true);
        EXPECT_EQ(cdx.AddTags(specs).size(), specs.size());
        EXPECT_TRUE(cdx.Check().empty());
    }
    EXPECT_TRUE(readBytes(dir / "v.cdx") ==
                readBytes(std::string(WORDPOP_SOURCE_DIR) + "/tests/engine/data/varied-tags.cdx"));

    // A bad expression among the tags, or a record whose key cannot be computed for one of
    // them, leaves an index with tags of the same names as it was.
    const auto good = readBytes(dir / "v.cdx");
    table.GetRecord(2900);
    table.SetRaw(GMiss, "x1");
    table.PutRecord(2900);
    for (const std::vector<TCdxTagSpec>& failing :
         {std::vector<TCdxTagSpec>{spec("WORD1", "WORD1"), spec("BAD", "NOSUCHFIELD")},
          std::vector<TCdxTagSpec>{spec("WORD1", "WORD1"), spec("MISS", "MISS"), spec("NEW", "WORD2")}}) {
        TCdxFile cdx(table);
        cdx.Open(dir / "v.cdx", false, false, true);
        EXPECT_ANY_THROW(cdx.AddTags(failing));
        EXPECT_EQ(cdx.TagCount(), int(specs.size()));
    }
    EXPECT_TRUE(readBytes(dir / "v.cdx") == good);
}

// A run of records read straight from the file is what ReadRecordInto gives record by
// record, appends still held included; a run past the last record is refused.
TEST(SortedBuild, RecordRunsEqualSingleReads)
{
    TempFolder dir;
    TDbfTable table;
    table.Open(CreateDbfTable(dir / "r.wrd", topicFields()), true, false);
    fillVariedTable(table, 300);
    table.HoldAppends(true);
    table.Blank();
    table.SetString(GWord1, "held");
    table.AppendRecord();
    const uint32_t count = table.RecordCount();
    const size_t length = size_t(table.RecordLength());
    std::vector<char> run(count * length), one(length);
    table.ReadRecordRun(1, count, run.data());
    for (uint32_t n = 1; n <= count; ++n) {
        table.ReadRecordInto(n, one.data());
        EXPECT_EQ(std::string(run.data() + (n - 1) * length, length), std::string(one.data(), length)) << n;
    }
    EXPECT_EQ(table.GetString(GWord1, run.data() + (count - 1) * length), "held");
    table.ReadRecordRun(count, 1, run.data());
    table.ReadRecordRun(5, 0, run.data());
    EXPECT_THROW(table.ReadRecordRun(0, 1, run.data()), EDbfError);
    EXPECT_THROW(table.ReadRecordRun(count, 2, run.data()), EDbfError);
    EXPECT_THROW(table.ReadRecordRun(count + 1, 1, run.data()), EDbfError);
    table.HoldAppends(false);
}

// Keys written in place are the keys KeyBytes gives, cut or filled to the tag's length, for
// every field type and for computed keys; a record that has no key fails the same way.
TEST(SortedBuild, KeyIntoWritesWhatKeyBytesGives)
{
    TempFolder dir;
    TDbfTable table;
    table.Open(CreateDbfTable(dir / "k.dbf", {"NAME;C;10;0", "NUM;N;10;2", "FL;F;12;3", "DAY;D;8;0",
                                              "FLAG;L;1;0", "WIDE;C;250;0"}),
               true, false);
    struct Rec {
        std::string name, num, fl, day, flag;
    };
    const Rec recs[] = {{"cat", "     -1.50", "  123456.789", "20240301", "T"},
                        {std::string("ab\0cd", 5), "         0", "            ", "        ", "F"},
                        {"", "  99999.99", "-99999.99999", "19991231", "?"},
                        {"\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9", "    -0.00", " 1e5", "20000229", " "}};
    const char* expressions[] = {"NAME", "NUM", "FL", "DAY", "FLAG", "WIDE", "UPPER(NAME)", "NAME+NAME",
                                 "TRIM(NAME)", "NUM*2", "(NAME)"};
    for (const Rec& r : recs) {
        table.Blank();
        table.SetRaw(0, r.name);
        table.SetRaw(1, r.num);
        table.SetRaw(2, r.fl);
        table.SetRaw(3, r.day);
        table.SetRaw(4, r.flag);
        table.SetRaw(5, std::string(250, 'w'));
        std::vector<char> record(table.RecordBuffer(), table.RecordBuffer() + table.RecordLength());
        table.Blank();  // the current record is another one
        for (const char* text : expressions) {
            TExpHandler h(&table);
            h.Compile(text);
            for (int length : {1, 5, 8, 10, 20, 240}) {
                for (char pad : {' ', '\0'}) {
                    std::string want = h.KeyBytes(record.data());
                    want.resize(size_t(length), pad);
                    std::string got(size_t(length) + 1, '#');
                    h.KeyInto(record.data(), got.data(), length, pad);
                    EXPECT_EQ(got.back(), '#') << text;  // nothing beyond the key length
                    got.pop_back();
                    EXPECT_EQ(got, want) << text << " length " << length << " pad " << int(pad);
                }
            }
        }
    }
    table.SetRaw(1, "x1");
    TExpHandler h(&table);
    h.Compile("NUM");
    std::string out(8, '\0');
    EXPECT_THROW(h.KeyBytes(), EDbfError);
    EXPECT_THROW(h.KeyInto(nullptr, out.data(), 8, '\0'), EDbfError);
}

// A build that fails on a record (its key cannot be computed) leaves every byte of the index
// as it was, replacing a tag or adding one, and later builds go on as if it had not run.
TEST(SortedBuild, FailedBuildLeavesTheIndexAsItWas)
{
    TempFolder dir;
    TDbfTable table;
    table.Open(CreateDbfTable(dir / "v.wrd", topicFields()), true, false);
    fillVariedTable(table, 1500);
    auto build = [&](const std::string& index, bool failing) {
        {
            TCdxFile cdx(table);
            cdx.Open(index, true, false, true);
            cdx.AddTag("WORD1", "WORD1");
            cdx.AddTag("MISS", "MISS");
        }
        if (failing) {
            const auto good = readBytes(index);
            table.GetRecord(1200);
            const std::string miss = table.GetRaw(GMiss);
            table.SetRaw(GMiss, "x1");
            table.PutRecord(1200);
            {
                TCdxFile cdx(table);
                cdx.Open(index, false, false, true);
                EXPECT_THROW(cdx.AddTag("MISS", "MISS"), EDbfError);
                EXPECT_THROW(cdx.AddTag("KBMISS", "MISS+KBMISS"), EDbfError);
                EXPECT_THROW(cdx.AddTag("SOME", "WORD1", false, true, "MISS > 1"), EDbfError);
                EXPECT_EQ(cdx.TagCount(), 2);
            }
            EXPECT_TRUE(readBytes(index) == good);
            table.GetRecord(1200);
            table.SetRaw(GMiss, miss);
            table.PutRecord(1200);
        }
        TCdxFile cdx(table);
        cdx.Open(index, false, false, true);
        cdx.AddTag("KBMISS", "KBMISS");
        EXPECT_TRUE(cdx.Check().empty());
    };
    build(dir / "failed.cdx", true);
    build(dir / "fresh.cdx", false);
    EXPECT_TRUE(readBytes(dir / "failed.cdx") == readBytes(dir / "fresh.cdx"));
}

// Pages kept in memory, for comparing two builds.
struct MemorySink : TCdxPageSink {
    std::map<uint32_t, std::vector<uint8_t>> pages;
    uint32_t next = 1024;
    uint32_t AllocPage() override
    {
        next += IndexPageSize;
        return next - IndexPageSize;
    }
    void WritePage(uint32_t offset, const uint8_t* page) override
    {
        pages[offset].assign(page, page + IndexPageSize);
    }
};

// Keys given out of record order sort as the same keys given in order (the build's own
// case): same pages, same root, for short and long keys, either pad, unique or not.
TEST(SortedBuild, KeysInAnyOrderGiveTheSamePages)
{
    std::mt19937 rng(7);
    for (int keyLength : {6, 20}) {
        for (char pad : {' ', '\0'}) {
            for (bool unique : {false, true}) {
                const char alphabet[] = {'a', 'b', pad, '\x01', '\xE0'};
                std::vector<std::pair<std::string, uint32_t>> keys;
                for (uint32_t n = 1; n <= 2500; ++n) {
                    std::string k;
                    for (int i = int(rng() % uint32_t(keyLength + 1)); i > 0; --i)
                        k += alphabet[rng() % std::size(alphabet)];
                    keys.emplace_back(k, n);
                }
                TCdxSorter inOrder(keyLength, pad, unique), shuffled(keyLength, pad, unique);
                for (const auto& [k, n] : keys)
                    inOrder.Add(k, n);
                std::shuffle(keys.begin(), keys.end(), rng);
                for (const auto& [k, n] : keys)
                    shuffled.Add(k, n);
                MemorySink a, b;
                EXPECT_EQ(inOrder.Write(a, 2500), shuffled.Write(b, 2500));
                EXPECT_GT(a.pages.size(), 2u);  // leaves and a level above
                EXPECT_TRUE(a.pages == b.pages) << keyLength << " " << int(pad) << " " << unique;
            }
        }
    }
}

// A record read in place is the record ReadRecordInto copies; where it cannot be had whole
// from memory (across two cached blocks, a shared table) the answer is null, never less.
TEST(SortedBuild, PeekedRecordsEqualCopiedOnes)
{
    TempFolder dir;
    const std::string path = CreateDbfTable(dir / "p.wrd", topicFields());
    {
        TDbfTable table;
        table.Open(path, true, false);
        fillVariedTable(table, 400);  // 556-byte records over four 64 KB blocks
        std::vector<char> copy(size_t(table.RecordLength()));
        int whole = 0;
        for (uint32_t n = 1; n <= table.RecordCount(); ++n) {
            table.ReadRecordInto(n, copy.data());
            if (const char* at = table.PeekRecord(n)) {
                ++whole;
                EXPECT_EQ(std::string(at, copy.size()), std::string(copy.data(), copy.size())) << n;
            }
        }
        EXPECT_GE(whole, 396);
        EXPECT_LT(whole, 400);
        EXPECT_THROW(table.PeekRecord(0), EDbfError);
        EXPECT_THROW(table.PeekRecord(401), EDbfError);
    }
    TDbfTable shared;
    shared.Open(path, false, true);
    EXPECT_EQ(shared.PeekRecord(1), nullptr);
}

} // namespace
