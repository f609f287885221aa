// Bulk-built tags against the key order itself: keys that differ only past their first 8
// bytes, below the pad byte, by trailing blanks, and many equal numeric keys must come out
// exactly as the index's comparison orders them, and keep equal keys in record order; and
// against the bytes such builds have always written (tests/engine/data/varied-tags.cdx).
#include "EngineTestUtil.h"
#include "engine/Cdx.h"
#include "engine/Dbf.h"
#include "engine/Index.h"

#include <gtest/gtest.h>

#include <algorithm>
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

} // namespace
