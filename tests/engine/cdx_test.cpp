// The compound index: exact bytes of new files, key order and compression, search, key
// maintenance with splits under random appends and rewrites (checked by the verifier after
// every batch), and damaged files failing as engine errors.
#include "engine/Cdx.h"

#include "EngineTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>

namespace {

uint32_t le32(const std::vector<unsigned char>& b, size_t at)
{
    return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}
uint16_t le16(const std::vector<unsigned char>& b, size_t at)
{
    return uint16_t(b[at] | (b[at + 1] << 8));
}
void put32(std::vector<unsigned char>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void put32be(std::vector<unsigned char>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = uint8_t(v >> (8 * (3 - i)));
}

uint32_t be32(const std::vector<unsigned char>& b, size_t at)
{
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

// A reader of the format written from the format alone, the way other programs walk a tag:
// down the first children to the leftmost leaf, then along the right sibling pointers.
std::vector<std::pair<std::string, uint32_t>> siblingWalk(const std::vector<unsigned char>& b,
                                                         uint32_t header, char pad)
{
    std::vector<std::pair<std::string, uint32_t>> out;
    const int keyLength = le16(b, header + 12);
    uint32_t page = le32(b, header);
    while ((le16(b, page) & 2) == 0)
        page = be32(b, page + 12 + size_t(keyLength) + 4);
    for (int guard = 0; page != 0xFFFFFFFF && guard < 100000; ++guard) {
        const int count = le16(b, page + 2), recBits = b[page + 20], dupBits = b[page + 21], n = b[page + 23];
        const uint64_t recMask = le32(b, page + 14), dupMask = b[page + 18], trailMask = b[page + 19];
        size_t keyEnd = page + 512;
        std::string prev;
        for (int i = 0; i < count; ++i) {
            uint64_t v = 0;
            for (int k = 0; k < n; ++k)
                v |= uint64_t(b[page + 24 + size_t(i * n + k)]) << (8 * k);
            size_t dup = (v >> recBits) & dupMask, trail = (v >> (recBits + dupBits)) & trailMask;
            size_t stored = size_t(keyLength) - dup - trail;
            keyEnd -= stored;
            std::string key = prev.substr(0, dup) + std::string(b.begin() + long(keyEnd), b.begin() + long(keyEnd + stored)) +
                              std::string(trail, pad);
            out.emplace_back(key, uint32_t(v & recMask));
            prev = key;
        }
        page = le32(b, page + 8);
    }
    return out;
}

constexpr int FWord1 = 0, FWord2 = 1, FMiss = 3, FKbMiss = 4;

// A dictionary table with its index beside it, the four tags of the dictionary layout.
class CdxTest : public ::testing::Test {
protected:
    TempFolder dir;
    std::string tablePath = dir / "words.wrd";
    std::string indexPath = dir / "words.cdx";
    TDbfTable table;

    void SetUp() override
    {
        CreateDbfTable(tablePath, topicFields());
        table.Open(tablePath);
    }

    void append(const std::string& w1, const std::string& w2 = "", int miss = 0, int kbmiss = 0)
    {
        table.Blank();
        table.SetString(FWord1, w1);
        table.SetString(FWord2, w2);
        table.SetNumber(FMiss, miss);
        table.SetNumber(FKbMiss, kbmiss);
        table.AppendRecord();
    }

    void rewrite(uint32_t n, const std::string& w1, int miss)
    {
        table.GetRecord(int(n));
        table.SetString(FWord1, w1);
        table.SetNumber(FMiss, miss);
        table.PutRecord(n);
    }

    void buildDictionaryTags(TCdxFile& cdx)
    {
        cdx.Open(indexPath, true, false, true);
        for (const char* tag : {"MISS", "KBMISS", "WORD1", "WORD2"})
            cdx.AddTag(tag, tag);
    }

    static std::vector<uint32_t> walk(TCdxTag& tag)
    {
        std::vector<uint32_t> order;
        for (uint32_t r = tag.First(); !tag.Eof(); r = tag.Next())
            order.push_back(r);
        return order;
    }

    static std::vector<uint32_t> walkBack(TCdxTag& tag)
    {
        std::vector<uint32_t> order;
        for (uint32_t r = tag.Last(); !tag.Bof(); r = tag.Prior())
            order.push_back(r);
        return order;
    }

    // The tag walked by the sibling-chain reader equals the tag walked here, keys included.
    void expectSiblingWalk(TCdxTag& tag)
    {
        auto bytes = readBytes(indexPath);
        auto theirs = siblingWalk(bytes, tag.HeaderOffset(), tag.KeyType() == 'C' ? ' ' : '\0');
        std::vector<std::pair<std::string, uint32_t>> ours;
        for (uint32_t r = tag.First(); !tag.Eof(); r = tag.Next())
            ours.emplace_back(tag.CurrentKey(), r);
        EXPECT_TRUE(theirs == ours) << tag.Name() << ": " << theirs.size() << " / " << ours.size();
    }

    static std::string joined(const std::vector<std::string>& lines)
    {
        std::string all;
        for (const auto& l : lines)
            all += l + "\n";
        return all;
    }
};

TEST_F(CdxTest, EmptyDictionaryIndexHasTheExactLayout)
{
    {
        TCdxFile cdx(table);
        buildDictionaryTags(cdx);
        EXPECT_EQ(cdx.TagCount(), 4);
    }
    auto b = readBytes(indexPath);
    ASSERT_EQ(b.size(), 7680u);

    // Directory header.
    EXPECT_EQ(le32(b, 0), 1024u);
    EXPECT_EQ(le32(b, 4), 0u);
    EXPECT_EQ(le16(b, 12), 10);
    EXPECT_EQ(b[14], 0xE0);
    EXPECT_EQ(b[15], 1);
    EXPECT_EQ(le16(b, 502), 0);
    EXPECT_EQ(le16(b, 504), 0);
    EXPECT_EQ(le16(b, 506), 1);
    EXPECT_EQ(le16(b, 510), 1);

    // Directory root: one leaf, keys KBMISS, MISS, WORD1, WORD2 with their header offsets.
    const size_t d = 1024;
    EXPECT_EQ(le16(b, d), 3);
    EXPECT_EQ(le16(b, d + 2), 4);
    EXPECT_EQ(le32(b, d + 4), 0xFFFFFFFFu);
    EXPECT_EQ(le32(b, d + 8), 0xFFFFFFFFu);
    EXPECT_EQ(le16(b, d + 12), 488 - 4 * 3 - (6 + 4 + 5 + 1));
    EXPECT_EQ(le32(b, d + 14), 0xFFFFu);  // 16 record bits: the file size fits
    EXPECT_EQ(b[d + 18], 15);
    EXPECT_EQ(b[d + 19], 15);
    EXPECT_EQ(b[d + 20], 16);
    EXPECT_EQ(b[d + 21], 4);
    EXPECT_EQ(b[d + 22], 4);
    EXPECT_EQ(b[d + 23], 3);
    struct Entry { uint32_t rec, dup, trail; };
    const Entry entries[] = {{3072, 0, 4}, {1536, 0, 6}, {4608, 0, 5}, {6144, 4, 5}};
    for (size_t i = 0; i < 4; ++i) {
        uint32_t v = uint32_t(b[d + 24 + 3 * i]) | (uint32_t(b[d + 25 + 3 * i]) << 8) | (uint32_t(b[d + 26 + 3 * i]) << 16);
        EXPECT_EQ(v & 0xFFFF, entries[i].rec) << i;
        EXPECT_EQ((v >> 16) & 15, entries[i].dup) << i;
        EXPECT_EQ((v >> 20) & 15, entries[i].trail) << i;
    }
    EXPECT_EQ(std::string(b.begin() + d + 496, b.begin() + d + 512), "2WORD1MISSKBMISS");
    EXPECT_TRUE(std::all_of(b.begin() + d + 36, b.begin() + d + 496, [](unsigned char c) { return c == 0; }));

    // Tag headers and their empty root leaves.
    struct Tag { const char* name; size_t header, root; int keyLength, recBits; };
    const Tag tags[] = {{"MISS", 1536, 2560, 8, 16}, {"KBMISS", 3072, 4096, 8, 16},
                        {"WORD1", 4608, 5632, 80, 10}, {"WORD2", 6144, 7168, 80, 10}};
    for (const Tag& t : tags) {
        SCOPED_TRACE(t.name);
        const size_t h = t.header;
        size_t len = std::strlen(t.name);
        EXPECT_EQ(le32(b, h), t.root);
        EXPECT_EQ(le32(b, h + 8), 0u);
        EXPECT_EQ(le16(b, h + 12), t.keyLength);
        EXPECT_EQ(b[h + 14], 0x60);
        EXPECT_EQ(b[h + 15], 1);
        EXPECT_EQ(le16(b, h + 502), 0);
        EXPECT_EQ(le16(b, h + 504), len + 1);
        EXPECT_EQ(le16(b, h + 506), 1);
        EXPECT_EQ(le16(b, h + 510), len + 1);
        EXPECT_EQ(std::string(b.begin() + long(h) + 512, b.begin() + long(h + 512 + len)), t.name);
        EXPECT_EQ(b[h + 512 + len], 0);
        const size_t r = t.root;
        EXPECT_EQ(le16(b, r), 3);
        EXPECT_EQ(le16(b, r + 2), 0);
        EXPECT_EQ(le32(b, r + 4), 0xFFFFFFFFu);
        EXPECT_EQ(le32(b, r + 8), 0xFFFFFFFFu);
        EXPECT_EQ(le16(b, r + 12), 488);
        EXPECT_EQ(b[r + 20], t.recBits);
        EXPECT_EQ(b[r + 23], 3);
    }

    // The index has the table's own name: the table is marked as having it.
    table.Close();
    EXPECT_EQ(readBytes(tablePath)[28] & 1, 1);
}

TEST_F(CdxTest, ReopenedFileListsTagsInDirectoryOrder)
{
    {
        TCdxFile cdx(table);
        buildDictionaryTags(cdx);
    }
    // Opening the table's own index marks the table again when the mark was lost.
    table.Close();
    auto tableBytes = readBytes(tablePath);
    tableBytes[28] &= 0xFE;
    writeBytes(tablePath, tableBytes);
    table.Open(tablePath);
    TCdxFile cdx(table);
    cdx.Open("words", false, false, true);
    EXPECT_EQ(readBytes(tablePath)[28] & 1, 1);
    ASSERT_EQ(cdx.TagCount(), 4);
    std::vector<std::string> names;
    for (int i = 0; i < cdx.TagCount(); ++i)
        names.push_back(cdx.Tag(i)->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"KBMISS", "MISS", "WORD1", "WORD2"}));
    ASSERT_NE(cdx.TagByName("word1"), nullptr);
    EXPECT_EQ(cdx.TagByName("Miss")->KeyExpression(), "MISS");
    EXPECT_EQ(cdx.TagByName("NOPE"), nullptr);
    EXPECT_TRUE(cdx.Check().empty()) << joined(cdx.Check());
}

TEST_F(CdxTest, KeysAreOrderedAndTrailingBytesDropped)
{
    append("b", "", 0);
    append("a", "", 5);
    append("a", "", 1);
    TCdxFile cdx(table);
    buildDictionaryTags(cdx);
    EXPECT_EQ(walk(*cdx.TagByName("WORD1")), (std::vector<uint32_t>{2, 3, 1}));
    EXPECT_EQ(walk(*cdx.TagByName("MISS")), (std::vector<uint32_t>{1, 3, 2}));
    EXPECT_EQ(walkBack(*cdx.TagByName("MISS")), (std::vector<uint32_t>{2, 3, 1}));

    // MISS 0, 1, 5 store 80 / BF F0 / C0 14: one or two bytes each.
    uint32_t root = cdx.TagByName("MISS")->RootPage();
    cdx.Close();
    auto b = readBytes(indexPath);
    EXPECT_EQ(le16(b, root + 12), 488 - 3 * 3 - 5);
    const unsigned char keys[] = {0xC0, 0x14, 0xBF, 0xF0, 0x80};
    EXPECT_TRUE(std::equal(std::begin(keys), std::end(keys), b.begin() + root + 507));
}

TEST_F(CdxTest, FindsExactAndPartialKeys)
{
    append("category", "кошка");
    append("dog", "собака", 2);
    append("cat", "кот", 2);
    append("cat", "кошка", 1);
    TCdxFile cdx(table);
    buildDictionaryTags(cdx);
    TCdxTag& word1 = *cdx.TagByName("WORD1");
    struct Case { const char* value; bool partial; uint32_t rec; };
    const Case cases[] = {
        {"cat", false, 3},  {"cat", true, 3},     {"categ", false, 0}, {"categ", true, 1},
        {"dog  ", false, 2}, {"do", true, 2},     {"cow", false, 0},   {"zebra", true, 0},
        {"", true, 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(word1.Find(c.value, c.partial), c.rec) << c.value << " partial " << c.partial;
    EXPECT_EQ(cdx.TagByName("WORD2")->Find("кош", true), 1u);
    TCdxTag& miss = *cdx.TagByName("MISS");
    EXPECT_EQ(miss.Find("2", false), 2u);
    EXPECT_EQ(miss.Next(), 3u);
    EXPECT_TRUE(miss.CurrentMatches("2", false));
    EXPECT_EQ(miss.Find("3", false), 0u);
    EXPECT_EQ(miss.Find("x", false), 0u);
}

TEST_F(CdxTest, LeafEntriesGrowAt1024Records)
{
    for (uint32_t count : {1023u, 1024u}) {
        SCOPED_TRACE(count);
        table.Close();
        CreateDbfTable(tablePath, topicFields());
        table.Open(tablePath);
        for (uint32_t i = 0; i < count; ++i)
            append("w" + std::to_string(i));
        TCdxFile cdx(table);
        cdx.Open(indexPath, true, false, true);
        TCdxTag* tag = cdx.AddTag("WORD1", "WORD1");
        uint32_t first = 0;
        {
            // Descend to the first leaf through the interior pages.
            auto b = readBytes(indexPath);
            first = tag->RootPage();
            while ((le16(b, first) & 2) == 0)
                first = (uint32_t(b[first + 12 + 84]) << 24) | (uint32_t(b[first + 12 + 85]) << 16) |
                        (uint32_t(b[first + 12 + 86]) << 8) | b[first + 12 + 87];
            EXPECT_EQ(b[first + 23], count == 1023 ? 3 : 4);
            // The interior root: big-endian record number and child per entry, the last one
            // naming the tag's last record and the last page of its level; blanks after it.
            const uint32_t root = tag->RootPage();
            ASSERT_EQ(le16(b, root), 1);
            const size_t entries = le16(b, root + 2), end = root + 12 + entries * 88;
            EXPECT_EQ(be32(b, end - 8), tag->Last());
            EXPECT_EQ(le32(b, be32(b, end - 4) + 8), 0xFFFFFFFFu);
            EXPECT_EQ(le32(b, root + 4), 0xFFFFFFFFu);
            EXPECT_TRUE(std::all_of(b.begin() + long(end), b.begin() + root + 512, [](unsigned char c) { return c == ' '; }));
            EXPECT_EQ(le32(b, first + 14), count == 1023 ? 1023u : 262143u);
        }
        EXPECT_EQ(walk(*tag).size(), count);
        EXPECT_TRUE(cdx.Check().empty()) << joined(cdx.Check());
        expectSiblingWalk(*tag);
        // Crossing the limit by appending rewrites leaves with wider entries.
        append("zz");
        append("aa");
        EXPECT_TRUE(cdx.Check().empty()) << joined(cdx.Check());
        cdx.Close();
    }
}

TEST_F(CdxTest, RandomAppendsAndRewritesKeepEveryTagSound)
{
    std::mt19937 rng(20261210);
    const char* stems[] = {"abandon", "ability", "able", "about", "above", "abroad", "absence", "absolute"};
    auto word = [&]() {
        std::string w = stems[rng() % 8];
        int extra = int(rng() % 12);
        for (int i = 0; i < extra; ++i)
            w += char('a' + rng() % 26);
        return w;
    };
    TCdxFile cdx(table);
    buildDictionaryTags(cdx);
    std::map<std::string, uint32_t> roots;
    for (int i = 0; i < cdx.TagCount(); ++i)
        roots[cdx.Tag(i)->Name()] = cdx.Tag(i)->RootPage();

    const int batches = 8, perBatch = 500;
    for (int batch = 0; batch < batches; ++batch) {
        SCOPED_TRACE(batch);
        for (int i = 0; i < perBatch; ++i)
            append(word(), word(), int(rng() % 40), int(rng() % 3));
        uint32_t count = table.RecordCount();
        for (int i = 0; i < perBatch / 2; ++i) {
            uint32_t n = 1 + rng() % count;
            if (rng() % 5 == 0) {
                table.GetRecord(int(n));
                table.DeleteRecord();
            } else {
                rewrite(n, rng() % 3 ? word() : std::string(), int(rng() % 40));
            }
        }
        auto problems = cdx.Check();
        ASSERT_TRUE(problems.empty()) << joined(problems);
        for (int i = 0; i < cdx.TagCount(); ++i) {
            TCdxTag& tag = *cdx.Tag(i);
            EXPECT_EQ(walk(tag).size(), count) << tag.Name();
            expectSiblingWalk(tag);
        }
        if (batch % 3 == 2) {
            // What was written must read back the same after a reopen.
            cdx.Close();
            cdx.Open(indexPath, false, false, true);
            problems = cdx.Check();
            ASSERT_TRUE(problems.empty()) << joined(problems);
        }
    }
    // Every root split in place: the headers still name the first root pages, now interior roots.
    cdx.FlushIndex();
    auto bytes = readBytes(indexPath);
    for (int i = 0; i < cdx.TagCount(); ++i) {
        const TCdxTag& tag = *cdx.Tag(i);
        EXPECT_EQ(le32(bytes, tag.HeaderOffset()), roots[tag.Name()]) << tag.Name();
        EXPECT_EQ(le16(bytes, roots[tag.Name()]), 1) << tag.Name();
    }
    // Deleted records keep their keys: every tag still lists every record.
    std::vector<uint32_t> order = walk(*cdx.TagByName("WORD1"));
    std::sort(order.begin(), order.end());
    for (uint32_t i = 0; i < order.size(); ++i)
        ASSERT_EQ(order[i], i + 1);
}

TEST_F(CdxTest, DescendingReverseWalkMatchesForwardWalk)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 1500; ++i)
        append("k" + std::to_string(rng() % 700), "", int(rng() % 9));
    TCdxFile cdx(table);
    buildDictionaryTags(cdx);
    for (int i = 0; i < cdx.TagCount(); ++i) {
        auto fwd = walk(*cdx.Tag(i));
        auto back = walkBack(*cdx.Tag(i));
        std::reverse(back.begin(), back.end());
        EXPECT_EQ(fwd, back) << cdx.Tag(i)->Name();
        EXPECT_EQ(fwd.size(), 1500u);
    }
    EXPECT_TRUE(cdx.Check().empty()) << joined(cdx.Check());
}

TEST_F(CdxTest, AppendingAGreatestKeyAndRewritingUnchangedKeys)
{
    for (int i = 0; i < 50; ++i)
        append("w" + std::to_string(100 + i), "", i % 4);
    TCdxFile cdx(table);
    buildDictionaryTags(cdx);
    // A tag keeps its place while keys are added before and after it.
    TCdxTag& kbmiss = *cdx.TagByName("KBMISS");
    EXPECT_EQ(kbmiss.Find("0", false), 1u);
    EXPECT_EQ(kbmiss.Next(), 2u);
    append("aaa", "", 0);
    append("zzz", "", 99);
    EXPECT_EQ(kbmiss.Current(), 2u);
    EXPECT_EQ(kbmiss.Next(), 3u);
    EXPECT_EQ(cdx.TagByName("WORD1")->Last(), 52u);
    EXPECT_EQ(cdx.TagByName("MISS")->Last(), 52u);
    cdx.FlushIndex();
    auto before = readBytes(indexPath);
    uint32_t counter = cdx.ChangeCounter();

    table.GetRecord(7);
    table.SetString(2, "a new transcription");  // no tag's key changes
    table.PutRecord(7);
    cdx.FlushIndex();
    auto after = readBytes(indexPath);
    EXPECT_EQ(cdx.ChangeCounter(), counter + 1);
    EXPECT_EQ(le32(after, 8), counter + 1);
    ASSERT_EQ(before.size(), after.size());
    put32(after, 8, counter);
    EXPECT_TRUE(before == after);
}

TEST_F(CdxTest, ReplacingATagAndRefusingBadOnes)
{
    append("one", "два", 3);
    TCdxFile cdx(table);
    buildDictionaryTags(cdx);
    uint64_t size = readBytes(indexPath).size();
    cdx.AddTag("word1", "WORD2");
    EXPECT_EQ(cdx.TagCount(), 4);
    EXPECT_EQ(cdx.TagByName("WORD1")->KeyExpression(), "WORD2");
    EXPECT_GT(readBytes(indexPath).size(), size);  // the old pages stay behind
    EXPECT_TRUE(cdx.Check().empty()) << joined(cdx.Check());

    try {
        cdx.AddTag("  ", "WORD1");
        FAIL() << "empty tag name accepted";
    } catch (const EDbfError& e) {
        EXPECT_EQ(e.code(), 5117);
        EXPECT_EQ(e.subCode(), 5114);
        EXPECT_EQ(e.detail(), "Tag Field is Empty");
    }
    size = readBytes(indexPath).size();
    EXPECT_THROW(cdx.AddTag("MISS", "NOSUCHFIELD"), EDbfExpression);
    EXPECT_THROW(cdx.AddTag("MISS", "WAVFILE"), EDbfError);  // 255 bytes: above the 240 limit
    EXPECT_THROW(cdx.AddTag("MISS", "WORD1+WORD2+WORD1+\"x\""), EDbfError);
    cdx.AddTag("LONGEST", "WORD1+WORD2+TRANSCRIPT");
    size = readBytes(indexPath).size();
    EXPECT_EQ(readBytes(indexPath).size(), size);
    EXPECT_EQ(cdx.TagByName("MISS")->KeyExpression(), "MISS");
    EXPECT_TRUE(cdx.Check().empty()) << joined(cdx.Check());

    // A record whose key cannot be computed fails the build and keeps the tag it would replace.
    cdx.Close();
    table.GetRecord(1);
    table.SetRaw(FMiss, "x1");
    table.PutRecord(1);
    cdx.Open(indexPath, false, false, true);
    EXPECT_THROW(cdx.AddTag("MISS", "MISS"), EDbfError);
    cdx.Close();
    cdx.Open(indexPath, false, false, true);
    EXPECT_EQ(cdx.TagCount(), 5);
    ASSERT_NE(cdx.TagByName("MISS"), nullptr);
    EXPECT_EQ(cdx.TagByName("MISS")->First(), 1u);
}

TEST_F(CdxTest, MissingFileAndForeignNameLeaveTheFlagAlone)
{
    TCdxFile cdx(table);
    try {
        cdx.Open(dir / "other.cdx", false, false, true);
        FAIL() << "missing file opened";
    } catch (const EDbfError& e) {
        EXPECT_EQ(e.code(), 2);
    }
    cdx.Open(dir / "other", true, false, true);
    cdx.AddTag("WORD1", "WORD1");
    EXPECT_EQ(cdx.FileName(), dir / "other.cdx");
    cdx.Close();
    table.Close();
    EXPECT_EQ(readBytes(tablePath)[28] & 1, 0);
}

TEST_F(CdxTest, UniqueAndForTagsKeepTheirRules)
{
    append("same", "", 1);
    append("same", "", 2);
    append("other", "", 3);
    TCdxFile cdx(table);
    cdx.Open(indexPath, true, false, true);
    TCdxTag* unique = cdx.AddTag("UW", "WORD1", true);
    TCdxTag* some = cdx.AddTag("SOME", "MISS", false, true, "MISS > 1");
    EXPECT_EQ(walk(*unique), (std::vector<uint32_t>{3, 1}));
    EXPECT_EQ(walk(*some), (std::vector<uint32_t>{2, 3}));
    rewrite(3, "other", 0);  // leaves the FOR condition
    append("new", "", 7);
    EXPECT_EQ(walk(*some), (std::vector<uint32_t>{2, 4}));
    TCdxTag* down = cdx.AddTag("DOWN", "MISS", false, false);
    EXPECT_EQ(walk(*down), (std::vector<uint32_t>{4, 2, 1, 3}));
    EXPECT_EQ(readBytes(indexPath)[down->HeaderOffset() + 502], 1);
    EXPECT_TRUE(cdx.Check().empty()) << joined(cdx.Check());
}

// Damage of every kind fails with engine error 2112, on opening or on walking, never a crash.
TEST_F(CdxTest, DamagedFilesFailAsEngineErrors)
{
    for (int i = 0; i < 400; ++i)
        append("word" + std::to_string(i * 7919 % 400), "", i % 5);
    uint32_t root = 0;
    {
        TCdxFile cdx(table);
        buildDictionaryTags(cdx);
        root = cdx.TagByName("WORD1")->RootPage();
    }
    const auto good = readBytes(indexPath);
    ASSERT_EQ(le16(good, root) & 2, 0) << "WORD1 should have interior pages";
    auto firstChild = [&](uint32_t page) {
        return (uint32_t(good[page + 12 + 84]) << 24) | (uint32_t(good[page + 12 + 85]) << 16) |
               (uint32_t(good[page + 12 + 86]) << 8) | good[page + 12 + 87];
    };
    const uint32_t child = firstChild(root);
    uint32_t leaf = child;
    while ((le16(good, leaf) & 2) == 0)
        leaf = firstChild(leaf);

    struct Case { const char* what; std::function<void(std::vector<unsigned char>&)> damage; };
    const Case cases[] = {
        {"cut inside the directory", [](auto& b) { b.resize(700); }},
        {"directory root outside", [](auto& b) { put32(b, 0, 0x100000); }},
        {"directory key length", [](auto& b) { b[12] = 0xFF; }},
        {"tag header offset", [](auto& b) { b[1024 + 24] = 0x07; }},
        {"child points at its parent", [&](auto& b) { put32be(b, root + 12 + 84, root); }},
        {"child points at itself's sibling level", [&](auto& b) { put32be(b, root + 12 + 84 + 88, child); }},
        {"leaf count too large", [&](auto& b) { b[leaf + 2] = 0xFF; b[leaf + 3] = 0x01; }},
        {"leaf entry bytes", [&](auto& b) { b[leaf + 23] = 0; }},
        {"trailing count too large", [&](auto& b) { b[leaf + 26] = 0xFF; }},
        {"interior count too large", [&](auto& b) { b[child + 2] = 0xFF; }},
        {"page offset not aligned", [&](auto& b) { put32be(b, root + 12 + 84, root + 7); }},
        {"cut inside the tree", [&](auto& b) { b.resize(root + 100); }},
        {"keys out of order", [&](auto& b) { b[root + 12] = 'z'; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = good;
        c.damage(bytes);
        writeBytes(indexPath, bytes);
        TCdxFile cdx(table);
        try {
            cdx.Open(indexPath, false, false, true);
            for (int i = 0; i < cdx.TagCount(); ++i) {
                walk(*cdx.Tag(i));
                walkBack(*cdx.Tag(i));
                cdx.Tag(i)->Find("word1", true);
            }
            ADD_FAILURE() << "damage not noticed";
        } catch (const EDbfError& e) {
            EXPECT_EQ(e.code(), 2112) << e.what();
        }
    }
}

} // namespace

namespace {

// The verifier names what is wrong in files that still read.
TEST_F(CdxTest, VerifierReportsFaultsThatReadersWouldNotNotice)
{
    for (int i = 0; i < 300; ++i)
        append("entry" + std::to_string(i * 31 % 300), "", i % 4);
    uint32_t root = 0, leaf = 0;
    {
        TCdxFile cdx(table);
        buildDictionaryTags(cdx);
        root = cdx.TagByName("WORD1")->RootPage();
    }
    const auto good = readBytes(indexPath);
    ASSERT_EQ(le16(good, root) & 2, 0);
    leaf = (uint32_t(good[root + 96]) << 24) | (uint32_t(good[root + 97]) << 16) | (uint32_t(good[root + 98]) << 8) | good[root + 99];
    ASSERT_EQ(le16(good, leaf) & 2, 2) << "WORD1 should be two levels deep";

    struct Case { const char* what; std::function<void(std::vector<unsigned char>&)> damage; const char* report; };
    const Case cases[] = {
        {"free bytes", [&](auto& b) { b[leaf + 12] ^= 1; }, "free bytes"},
        {"right sibling", [&](auto& b) { put32(b, leaf + 8, 0xFFFFFFFF); }, "sibling pointers"},
        {"separator record number", [&](auto& b) { b[root + 12 + 83] ^= 0x40; }, "differs from its child's last entry"},
        {"root attribute", [&](auto& b) { b[leaf] |= 1; }, "root attribute on a non-root page"},
        {"record number in a leaf", [&](auto& b) { b[leaf + 24] ^= 0x01; }, "missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = good;
        c.damage(bytes);
        writeBytes(indexPath, bytes);
        TCdxFile cdx(table);
        cdx.Open(indexPath, false, false, true);
        EXPECT_NE(joined(cdx.Check()).find(c.report), std::string::npos) << joined(cdx.Check());
    }

    // A record written while the index was not attached: its old key is still listed.
    writeBytes(indexPath, good);
    rewrite(5, "changed behind the index's back", 3);
    auto problems = TCdxFile::CheckFile(table, "words");
    EXPECT_NE(joined(problems).find("tag WORD1: record 5 missing"), std::string::npos) << joined(problems);
    EXPECT_NE(joined(problems).find("tag MISS: entry for record 5 that should not be there"), std::string::npos)
        << joined(problems);
    EXPECT_EQ(TCdxFile::CheckFile(table, "absent").size(), 1u);
}

} // namespace

namespace {

// What a tag says lies a few steps ahead is what the walk then meets, or nothing; it never
// moves the walk. Over several leaves, ascending and descending.
TEST_F(CdxTest, LookAheadNamesTheRecordsTheWalkMeets)
{
    for (int i = 0; i < 600; ++i)
        append("w" + std::to_string(i * 37 % 600), "", i % 3);
    TCdxFile cdx(table);
    buildDictionaryTags(cdx);
    cdx.AddTag("DOWN", "WORD1", false, false);
    for (const char* name : {"WORD1", "MISS", "DOWN"}) {
        SCOPED_TRACE(name);
        TCdxTag& tag = *cdx.TagByName(name);
        const std::vector<uint32_t> order = walk(tag);
        ASSERT_EQ(order.size(), 600u);
        size_t named = 0, i = 0;
        for (uint32_t r = tag.First(); !tag.Eof(); r = tag.Next(), ++i) {
            ASSERT_EQ(r, order[i]);
            for (size_t ahead : {size_t(1), size_t(4)}) {
                const uint32_t said = tag.Ahead(ahead);
                if (said != 0) {
                    ASSERT_LT(i + ahead, order.size());
                    EXPECT_EQ(said, order[i + ahead]) << i << "+" << ahead;
                    ++named;
                }
            }
            EXPECT_EQ(tag.Current(), r);
        }
        if (tag.Descending())
            EXPECT_EQ(named, 0u);
        else
            EXPECT_GT(named, order.size());  // most steps, within their leaf
    }
}

} // namespace

namespace {

// Entries out of order are named page by page, and the first one across all leaves by its
// place: inside a leaf, and at the boundary between two leaves.
TEST_F(CdxTest, VerifierNamesTheFirstLeafEntryOutOfOrder)
{
    for (int i = 0; i < 300; ++i)
        append("w" + std::to_string(i), "", 0);  // one MISS key: entries in record order
    uint32_t header = 0;
    {
        TCdxFile cdx(table);
        buildDictionaryTags(cdx);
        header = cdx.TagByName("MISS")->HeaderOffset();
    }
    const auto good = readBytes(indexPath);
    uint32_t first = le32(good, header);
    ASSERT_EQ(le16(good, first) & 2, 0) << "MISS should have more than one leaf";
    while ((le16(good, first) & 2) == 0)
        first = be32(good, first + 12 + 8 + 4);
    const uint32_t second = le32(good, first + 8);
    ASSERT_NE(second, 0xFFFFFFFFu);
    const int firstCount = le16(good, first + 2);
    ASSERT_GT(firstCount, 6);
    // Sets the record number of a leaf's i-th entry (its low bits; key bytes stay).
    auto setRecNo = [](std::vector<unsigned char>& b, uint32_t leaf, int i, uint32_t rec) {
        const int n = b[leaf + 23];
        const uint64_t mask = le32(b, leaf + 14);
        uint64_t v = 0;
        for (int k = 0; k < n; ++k)
            v |= uint64_t(b[leaf + 24 + size_t(i * n + k)]) << (8 * k);
        v = (v & ~mask) | (rec & mask);
        for (int k = 0; k < n; ++k)
            b[leaf + 24 + size_t(i * n + k)] = uint8_t(v >> (8 * k));
    };
    struct Case {
        const char* what;
        std::function<void(std::vector<unsigned char>&)> damage;
        std::string inPage;  // empty: no page reports disorder inside it
        size_t firstAt;
    };
    const std::string firstPage = "tag MISS: page " + std::to_string(first) + ": entries out of order";
    const Case cases[] = {
        // Records 4 and 5 are the 4th and 5th entries: 4 becomes 6, after 5.
        {"inside a leaf", [&](auto& b) { setRecNo(b, first, 3, 6); }, firstPage, 4},
        // The second leaf's first entry goes back to record 1.
        {"between leaves", [&](auto& b) { setRecNo(b, second, 0, 1); }, "", size_t(firstCount)},
        // Both: the earlier place is the one named.
        {"both, the leaf first", [&](auto& b) { setRecNo(b, first, 3, 6); setRecNo(b, second, 0, 1); },
         firstPage, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = good;
        c.damage(bytes);
        writeBytes(indexPath, bytes);
        TCdxFile cdx(table);
        cdx.Open(indexPath, false, false, true);
        const std::string report = joined(cdx.Check());
        const std::string across = "tag MISS: leaf entries out of order across pages at entry " + std::to_string(c.firstAt);
        EXPECT_NE(report.find(across + "\n"), std::string::npos) << report;
        EXPECT_EQ(report.find("across pages at entry", report.find(across) + across.size()), std::string::npos) << report;
        if (!c.inPage.empty())
            EXPECT_NE(report.find(c.inPage), std::string::npos) << report;
        else
            EXPECT_EQ(report.find("entries out of order\n"), std::string::npos) << report;
    }
}

} // namespace

namespace {

// Removing every key empties leaves and interior pages (they leave the tree and the sibling
// chains) down to an empty root; the tag then fills up again.
TEST_F(CdxTest, EmptyingAndRefillingATag)
{
    for (int i = 0; i < 1200; ++i)
        append("word" + std::to_string(i * 7 % 1200), "", 5);
    TCdxFile cdx(table);
    cdx.Open(indexPath, true, false, true);
    TCdxTag* some = cdx.AddTag("SOME", "WORD1", false, true, "MISS > 1");
    cdx.AddTag("MISS", "MISS");
    uint32_t root = some->RootPage();
    ASSERT_EQ(walk(*some).size(), 1200u);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        for (uint32_t n = 1; n <= 1200; ++n) {
            uint32_t rec = pass == 0 ? n : 1201 - n;  // forwards out, backwards in
            table.GetRecord(int(rec));
            table.SetNumber(FMiss, pass == 0 ? 0 : 9);
            table.PutRecord(rec);
            if (n % 300 == 0) {
                auto problems = cdx.Check();
                ASSERT_TRUE(problems.empty()) << joined(problems);
            }
        }
        EXPECT_EQ(walk(*some).size(), pass == 0 ? 0u : 1200u);
        // The root stays where the header says: an empty leaf once all is gone, interior again.
        auto bytes = readBytes(indexPath);
        EXPECT_EQ(le32(bytes, some->HeaderOffset()), root);
        EXPECT_EQ(le16(bytes, root), pass == 0 ? 3 : 1);
    }
    cdx.Close();
    cdx.Open(indexPath, false, false, true);
    EXPECT_TRUE(cdx.Check().empty()) << joined(cdx.Check());
    EXPECT_EQ(walk(*cdx.TagByName("SOME")).size(), 1200u);
}

} // namespace

namespace {

// Leaves filled while the table had 1023 records hold 3-byte entries; once it has more, any
// rewrite of such a leaf widens its entries, which must split a full leaf, not fail.
TEST_F(CdxTest, WideningEntriesSplitsFullOldLeaves)
{
    for (int i = 0; i < 1023; ++i)
        append("m" + std::to_string(i));
    TCdxFile cdx(table);
    cdx.Open(indexPath, true, false, true);
    cdx.AddTag("WORD1", "WORD1");
    char key[16];
    std::vector<uint32_t> order(400);
    for (uint32_t n = 1; n <= 400; ++n)
        order[n - 1] = n;
    std::shuffle(order.begin(), order.end(), std::mt19937(3));  // leaves of every fullness
    for (uint32_t n : order) {
        std::snprintf(key, sizeof key, "a%04u", n);
        rewrite(n, key, 0);
    }
    append("z");
    for (uint32_t n = 1; n <= 400; ++n) {
        std::snprintf(key, sizeof key, "b%04u", n);
        rewrite(n, key, 0);
    }
    auto problems = cdx.Check();
    EXPECT_TRUE(problems.empty()) << joined(problems);
    EXPECT_EQ(walk(*cdx.TagByName("WORD1")).size(), 1024u);
    expectSiblingWalk(*cdx.TagByName("WORD1"));
}

} // namespace

namespace {

// Forms another writer may use that still mean the same keys: a shared prefix counted into
// the trailing blanks, tag names padded with zero bytes.
TEST_F(CdxTest, ReadsLeafFormsOtherWritersUse)
{
    append("a");
    append("a");
    uint32_t root = 0;
    {
        TCdxFile cdx(table);
        buildDictionaryTags(cdx);
        root = cdx.TagByName("WORD1")->RootPage();
    }
    auto b = readBytes(indexPath);
    const uint32_t second = 2 | (80u << 10) | (79u << 17);  // dup 80 instead of 1
    for (int i = 0; i < 3; ++i)
        b[root + 27 + size_t(i)] = uint8_t(second >> (8 * i));

    TIndexNode dir;
    dir.Offset = 1024;
    dir.Root = true;
    for (auto [name, at] : {std::pair<const char*, uint32_t>{"KBMISS", 3072}, {"MISS", 1536}, {"WORD1", 4608}, {"WORD2", 6144}}) {
        std::string key(name);
        key.resize(10, '\0');
        dir.Keys.push_back(TIndexKey{key, at, 0});
    }
    ASSERT_TRUE(CdxEncodeLeaf(dir, 10, ' ', b.size(), b.data() + 1024));
    writeBytes(indexPath, b);

    TCdxFile cdx(table);
    cdx.Open(indexPath, false, false, true);
    ASSERT_NE(cdx.TagByName("WORD1"), nullptr);
    EXPECT_EQ(walk(*cdx.TagByName("WORD1")), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(cdx.TagByName("WORD1")->Find("a", false), 1u);
    append("a");
    EXPECT_EQ(walk(*cdx.TagByName("WORD1")), (std::vector<uint32_t>{1, 2, 3}));
    cdx.AddTag("MISS", "KBMISS");  // replaces the zero-padded entry
    EXPECT_TRUE(cdx.Check().empty()) << joined(cdx.Check());
    cdx.Close();
    cdx.Open(indexPath, false, false, true);
    EXPECT_EQ(cdx.TagCount(), 4);
    EXPECT_EQ(cdx.TagByName("MISS")->KeyExpression(), "KBMISS");
}

// Other writers set attribute bits beyond root and leaf (Visual FoxPro marks a root leaf 7):
// such pages are walked, found in, checked as sound and maintained, and what we rewrite
// carries root and leaf only.
TEST_F(CdxTest, FurtherAttributeBitsAreIgnored)
{
    for (int i = 0; i < 300; ++i)
        append("word" + std::to_string(i * 7 % 300), "w", i % 3);
    uint32_t word1Root = 0, missRoot = 0;
    std::vector<uint32_t> before;
    {
        TCdxFile cdx(table);
        buildDictionaryTags(cdx);
        word1Root = cdx.TagByName("WORD1")->RootPage();
        missRoot = cdx.TagByName("MISS")->RootPage();
        before = walk(*cdx.TagByName("WORD1"));
    }
    auto b = readBytes(indexPath);
    ASSERT_EQ(le16(b, word1Root), 1) << "WORD1 should have an interior root";
    ASSERT_EQ(le16(b, 1024), 3) << "the directory should be one root leaf";
    // Every page of the WORD1 tree and the directory root get bit 2 (0x0004) set.
    std::vector<uint32_t> pages{word1Root};
    for (size_t i = 0; i < pages.size(); ++i) {
        const uint32_t page = pages[i];
        if ((le16(b, page) & 2) == 0)
            for (int e = 0; e < le16(b, page + 2); ++e)
                pages.push_back(be32(b, page + 12 + size_t(e) * 88 + 84));
    }
    ASSERT_GT(pages.size(), 2u);
    for (uint32_t page : pages)
        b[page] |= 4;
    b[1024] |= 4;  // 7: root, leaf and the further bit
    b[missRoot] |= 0xF0;
    b[missRoot + 1] = 0x80;  // bits in the high byte too
    writeBytes(indexPath, b);

    {
        TCdxFile cdx(table);
        cdx.Open(indexPath, false, false, false);
        ASSERT_EQ(cdx.TagCount(), 4);
        EXPECT_EQ(walk(*cdx.TagByName("WORD1")), before);
        EXPECT_EQ(walkBack(*cdx.TagByName("WORD1")).size(), before.size());
        EXPECT_EQ(cdx.TagByName("WORD1")->Find("word150", false), uint32_t(150 * 43 % 300 + 1));
        EXPECT_EQ(walk(*cdx.TagByName("MISS")).size(), 300u);
        EXPECT_TRUE(cdx.Check().empty()) << joined(cdx.Check());
    }
    {
        TCdxFile cdx(table);
        cdx.Open(indexPath, false, false, true);
        append("zzz");
        append("aaa");
        EXPECT_EQ(walk(*cdx.TagByName("WORD1")).size(), 302u);
        EXPECT_TRUE(cdx.Check().empty()) << joined(cdx.Check());
    }
    const auto after = readBytes(indexPath);
    for (uint32_t page : pages)
        if (after[page] != b[page])
            EXPECT_LE(le16(after, page), 3) << "page " << page << " rewritten with further bits";
}

} // namespace

namespace {

// Date keys are day numbers encoded like numbers; a search text of yyyymmdd finds its day.
TEST(CdxDateTag, OrdersAndFindsDays)
{
    TempFolder dir;
    auto fields = topicFields();
    fields.push_back("DATE;D;8;0");
    CreateDbfTable(dir / "learned.wrd", fields);
    TDbfTable table;
    table.Open(dir / "learned.wrd");
    const int dateField = 10;
    for (auto [y, m, d] : {std::tuple{2024, 3, 15}, {2023, 12, 31}, {2024, 1, 2}}) {
        table.Blank();
        table.SetDate(dateField, DbfDateToJulian(y, m, d));
        table.AppendRecord();
    }
    TCdxFile cdx(table);
    cdx.Open(dir / "learned", true, false, true);
    TCdxTag* tag = cdx.AddTag("DATE", "DATE");
    EXPECT_EQ(tag->KeyType(), 'D');
    std::vector<uint32_t> order;
    for (uint32_t r = tag->First(); !tag->Eof(); r = tag->Next())
        order.push_back(r);
    EXPECT_EQ(order, (std::vector<uint32_t>{2, 3, 1}));
    EXPECT_EQ(tag->Find("20240102", false), 3u);
    EXPECT_EQ(tag->Find("20240103", false), 0u);
    EXPECT_EQ(tag->Current(), 1u);  // positioned on the next day in the tag
    EXPECT_TRUE(cdx.Check().empty());
}

} // namespace
