// The block cache of exclusive tables: what it serves must always equal the file, whichever
// path changed the file (this table, another open of it in this process, a copy onto it,
// truncation), in any order of access and across block boundaries; shared tables keep
// seeing other processes' writes.
#include "EngineTestUtil.h"
#include "engine/DataSet.h"
#include "engine/Dbf.h"
#include "engine/DiskFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uint64_t HeaderLength = 353, RecordLength = 556;  // the dictionary layout

std::string word(uint32_t n, const char* tag = "w") { return std::string(tag) + std::to_string(n); }

// A dictionary table of count records whose WORD1 is word(n): 300 records span three
// 64 KB blocks, and many records straddle a block boundary.
std::string makeTable(const TempFolder& dir, uint32_t count, const char* name = "t.wrd")
{
    std::string path = CreateDbfTable(dir / name, topicFields());
    TDbfTable t;
    t.Open(path, true, false);
    for (uint32_t n = 1; n <= count; ++n) {
        t.Blank();
        t.SetString(0, word(n));
        t.SetString(1, std::string(70, char('a' + n % 26)));
        t.AppendRecord();
    }
    t.Close();
    return path;
}

// The record's bytes as they stand in the file (b: the file's bytes, read once).
std::string fileRecord(const std::vector<unsigned char>& b, uint32_t n)
{
    size_t at = size_t(HeaderLength + (n - 1) * RecordLength);
    if (b.size() < at + RecordLength)
        return "(short)";
    return std::string(reinterpret_cast<const char*>(b.data()) + at, RecordLength);
}
std::string fileRecord(const std::string& path, uint32_t n) { return fileRecord(readBytes(path), n); }

std::string tableRecord(TDbfTable& t, uint32_t n)
{
    std::string buf(RecordLength, '\0');
    t.ReadRecordInto(n, buf.data());
    return buf;
}

TEST(BlockCache, ServesTheFileInAnyOrderAndWithFewBlocks)
{
    TempFolder dir;
    std::string path = makeTable(dir, 300);
    for (size_t limit : {size_t(1), size_t(2), DbfBlockLimit}) {
        TDbfTable t;
        t.Open(path, false, false);
        t.SetBlockCacheLimit(limit);
        std::vector<uint32_t> order(300);
        for (uint32_t i = 0; i < 300; ++i)
            order[i] = i + 1;
        std::shuffle(order.begin(), order.end(), std::mt19937(7));
        const auto bytes = readBytes(path);
        for (uint32_t n : order) {
            ASSERT_EQ(tableRecord(t, n), fileRecord(bytes, n)) << "limit " << limit << " record " << n;
            ASSERT_LE(t.CachedBlocks(), limit);
        }
        ASSERT_TRUE(t.GetRecord(300));
        EXPECT_EQ(t.GetString(0), word(300));
        EXPECT_EQ(t.CountUndeleted(), 300u);
    }
}

TEST(BlockCache, OwnWritesAppendsAndDeletionsReadBackAsWritten)
{
    TempFolder dir;
    std::string path = makeTable(dir, 150);
    TDbfTable t;
    t.Open(path, true, false);
    t.SetBlockCacheLimit(2);
    for (uint32_t n = 1; n <= 150; ++n)
        tableRecord(t, n);  // fill, and evict, blocks
    // Rewrites across a block boundary, appends that grow the last cached block, deletions.
    for (uint32_t n : {117u, 118u, 1u, 150u}) {
        ASSERT_TRUE(t.GetRecord(int(n)));
        t.SetString(0, word(n, "new"));
        t.PutRecord(n);
    }
    for (uint32_t n = 151; n <= 260; ++n) {
        t.Blank();
        t.SetString(0, word(n));
        t.AppendRecord();
        ASSERT_TRUE(t.GetRecord(int(n - 1)));
        ASSERT_EQ(t.GetString(0), n - 1 == 150 ? word(150, "new") : word(n - 1));
    }
    for (uint32_t n : {3u, 118u, 236u, 260u}) {
        ASSERT_TRUE(t.GetRecord(int(n)));
        t.DeleteRecord();
    }
    EXPECT_EQ(t.CountUndeleted(), 256u);
    const auto bytes = readBytes(path);
    for (uint32_t n = 1; n <= 260; ++n)
        ASSERT_EQ(tableRecord(t, n), fileRecord(bytes, n)) << n;
    t.Close();
    // The header the cache saw written is the file's too.
    TDbfTable again;
    again.Open(path, false, false);
    EXPECT_EQ(again.RecordCount(), 260u);
    EXPECT_EQ(again.CountUndeleted(), 256u);
}

TEST(BlockCache, ChangesThroughOtherPathsInThisProcessAreSeen)
{
    TempFolder dir;
    std::string path = makeTable(dir, 200);
    std::string other = makeTable(dir, 200, "other.wrd");
    {
        // Rewritten in place through a second table on the same file.
        TDbfTable reader, writer;
        reader.Open(path, true, false);
        ASSERT_TRUE(reader.GetRecord(120));
        writer.Open(path, true, false);
        EXPECT_EQ(reader.CountUndeleted(), 200u);
        ASSERT_TRUE(writer.GetRecord(120));
        writer.SetString(0, "changed");
        writer.PutRecord(120);
        ASSERT_TRUE(writer.GetRecord(7));
        writer.DeleteRecord();
        ASSERT_TRUE(reader.GetRecord(7));
        EXPECT_TRUE(reader.IsDeleted());  // not the flag known from before
        EXPECT_EQ(reader.CountUndeleted(), 199u);  // nor the count
        ASSERT_TRUE(reader.GetRecord(120));
        EXPECT_EQ(reader.GetString(0), "changed");
        // ... and the reader's own write afterwards keeps both changes.
        ASSERT_TRUE(reader.GetRecord(121));
        reader.SetString(0, "mine");
        reader.PutRecord(121);
        EXPECT_EQ(tableRecord(writer, 121), fileRecord(path, 121));
        EXPECT_EQ(tableRecord(reader, 120), fileRecord(path, 120));
    }
    {
        // Another table's bytes copied over the open file.
        TDbfTable t;
        t.Open(other, true, false);
        for (uint32_t n = 1; n <= 200; ++n) {
            ASSERT_TRUE(t.GetRecord(int(n)));
            t.SetString(0, word(n, "o"));
            t.PutRecord(n);
        }
        t.Close();
        TDbfTable reader;
        reader.Open(path, false, false);
        ASSERT_TRUE(reader.GetRecord(5));
        ASSERT_EQ(reader.GetString(0), word(5));
        TDiskFile::Copy(other, path, true);
        ASSERT_TRUE(reader.GetRecord(5));
        EXPECT_EQ(reader.GetString(0), word(5, "o"));
    }
    {
        // Truncated through another open: records gone are an error, not old bytes.
        TDbfTable reader;
        reader.Open(path, false, false);
        for (uint32_t n = 1; n <= 200; ++n)
            tableRecord(reader, n);
        TDiskFile cut;
        cut.Open(path, true, false);
        cut.Truncate(HeaderLength + 100 * RecordLength + 20);
        cut.Close();
        EXPECT_EQ(tableRecord(reader, 100), fileRecord(path, 100));
        try {
            tableRecord(reader, 101);
            ADD_FAILURE() << "read a truncated record";
        } catch (const EDbfError& e) {
            EXPECT_EQ(e.code(), 221);
        }
        EXPECT_THROW(reader.CountUndeleted(), EDbfError);
    }
}

TEST(BlockCache, RecordsReadInAnyOrderAreTheFileRecordsUntilChanged)
{
    TempFolder dir;
    std::string path = makeTable(dir, 300);
    {
        TDbfTable t;
        t.Open(path, true, false);
        for (uint32_t n : {2u, 117u, 118u, 236u, 300u}) {  // 118 and 236 straddle a block boundary
            ASSERT_TRUE(t.GetRecord(int(n)));
            t.DeleteRecord();
        }
    }
    const auto bytes = readBytes(path);
    for (size_t limit : {size_t(1), size_t(2), DbfBlockLimit}) {
        TDbfTable t;
        t.Open(path, true, false);
        t.SetBlockCacheLimit(limit);
        std::vector<uint32_t> order(300);
        for (uint32_t i = 0; i < 300; ++i)
            order[i] = i + 1;
        std::shuffle(order.begin(), order.end(), std::mt19937(11));
        for (uint32_t n : order) {
            ASSERT_TRUE(t.GetRecord(int(n)));
            const std::string want = fileRecord(bytes, n);
            // Asked for in varying order: the flag first, the bytes first, or a read between.
            if (n % 3 == 0)
                ASSERT_EQ(t.IsDeleted(), want[0] == '*') << n;
            if (n % 3 == 1)
                tableRecord(t, order[(n * 7) % 300]);
            ASSERT_EQ(std::string(t.RecordView(), RecordLength), want) << "limit " << limit << " record " << n;
            ASSERT_EQ(std::string(t.OldBuffer(), RecordLength), want) << n;
            ASSERT_EQ(t.IsDeleted(), want[0] == '*') << n;
            ASSERT_EQ(t.GetString(0), word(n)) << n;
        }
        // A change shows in the current record only; the old one stays the file's until written.
        ASSERT_TRUE(t.GetRecord(118));
        t.SetString(0, "changed");
        ASSERT_TRUE(t.GetRecord(117));  // another record read in between drops the change
        ASSERT_TRUE(t.GetRecord(118));
        EXPECT_EQ(t.GetString(0), word(118));
        t.SetString(0, "changed");
        EXPECT_EQ(t.GetString(0), "changed");
        EXPECT_EQ(std::string(t.OldBuffer(), RecordLength), fileRecord(bytes, 118));
        t.UndeleteRecord();
        EXPECT_FALSE(t.IsDeleted());
        ASSERT_TRUE(t.GetRecord(1));
        ASSERT_TRUE(t.GetRecord(118));
        EXPECT_FALSE(t.IsDeleted());
        EXPECT_EQ(t.GetString(0), "changed");
        EXPECT_EQ(std::string(t.RecordView(), RecordLength), fileRecord(path, 118));
        t.DeleteRecord();
        t.Close();
        writeBytes(path, bytes);
    }
}

TEST(BlockCache, TruncatedFileCountsItsWholeRecords)
{
    TempFolder dir;
    std::string path = makeTable(dir, 200);
    auto b = readBytes(path);
    b.resize(size_t(HeaderLength + 130 * RecordLength + 300));  // record 131 cut in half, no end mark
    writeBytes(path, b);
    TDbfTable t;
    t.Open(path, false, false);
    EXPECT_EQ(t.RecordCount(), 130u);
    EXPECT_EQ(t.CountUndeleted(), 130u);
    EXPECT_EQ(tableRecord(t, 130), fileRecord(path, 130));
    EXPECT_FALSE(t.GetRecord(DbfRecNext) && t.RecNo() > 130);
}

// A shared cursor (natural order, as the editor's tables are used) sees another process's
// rewrite and append once it moves to the first record, as it always did.
TEST(BlockCache, SharedCursorSeesOtherProcessesWrites)
{
    TempFolder dir;
    std::string path = makeTable(dir, 200);
    TDbfDataSet ds;
    ds.SetTableName(path);
    ds.SetExclusive(false);
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 200u);
    for (ds.First(); !ds.Eof(); ds.Next())
        ds.FieldByName("WORD2").AsString();
    ASSERT_EQ(inChild([&] {
                  TDbfDataSet other;
                  other.SetTableName(path);
                  other.SetExclusive(false);
                  other.Open();
                  other.SetRecNo(150);
                  other.Edit();
                  other.FieldByName("WORD2").SetAsString("theirs");
                  other.Post();
                  other.Append();
                  other.FieldByName("WORD1").SetAsString("added");
                  other.Post();
                  other.Close();
                  return 0;
              }),
              0);
    ds.First();
    std::vector<std::string> seen;
    for (; !ds.Eof(); ds.Next())
        seen.push_back(ds.FieldByName("WORD2").AsString());
    ASSERT_EQ(seen.size(), 201u);
    EXPECT_EQ(seen[149], "theirs");
    ds.Last();
    EXPECT_EQ(ds.FieldByName("WORD1").AsString(), "added");
    EXPECT_EQ(ds.RecordCount(), 201u);
}

// Exclusive cursor: counts without a filter come from the deletion flags, with the deleted
// records hidden or shown, and agree with a filtered walk.
TEST(BlockCache, CountsAgreeWithWalks)
{
    TempFolder dir;
    std::string path = makeTable(dir, 300);
    TDbfDataSet ds;
    ds.SetTableName(path);
    ds.SetExclusive(true);
    ds.Open();
    ds.IndexOn(dir / "t.cdx", "WORD1", "WORD1");
    ds.AddIndexFile(dir / "t.cdx");
    ds.SetIndexName("WORD1");
    for (uint32_t n : {1u, 118u, 300u}) {
        ds.SetRecNo(n);
        ds.Delete();
    }
    // Counting leaves the cursor where it was in tag order.
    ASSERT_TRUE(ds.Locate("WORD1", word(150)));
    ds.RecordCount();
    ds.Next();
    EXPECT_EQ(ds.FieldByName("WORD1").AsString(), word(151));
    ds.Prior();
    ds.Prior();
    EXPECT_EQ(ds.FieldByName("WORD1").AsString(), word(15));
    for (bool useDeleted : {false, true}) {
        ds.SetUseDeleted(useDeleted);
        uint32_t walked = 0;
        for (ds.First(); !ds.Eof(); ds.Next())
            ++walked;
        EXPECT_EQ(ds.RecordCount(), walked) << useDeleted;
        EXPECT_EQ(walked, useDeleted ? 300u : 297u);
        ds.OnFilterRecord = [](TDbfDataSet&, bool& accept) { accept = true; };
        ds.SetFiltered(true);
        EXPECT_EQ(ds.RecordCount(), walked) << useDeleted;
        ds.SetFiltered(false);
        ds.OnFilterRecord = nullptr;
    }
}

} // namespace
