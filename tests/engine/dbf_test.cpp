// Table file layer: exact bytes of created and appended tables, reading files of other dBase
// writers, field encoding, deletion, copying, shared-mode locks and the error messages.
#include "EngineTestUtil.h"
#include "engine/Dbf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct FieldSpec {
    std::string name;
    char type;
    int length;
    int decimals;
};

// A table as another dBase writer lays it out, built from the format description.
std::vector<unsigned char> foreignDbf(uint8_t version, const std::vector<FieldSpec>& fields,
                                      const std::vector<std::string>& records, uint32_t headerCount, size_t slack = 0)
{
    const int trailer = version == 0x30 ? 263 : 0;
    const size_t hl = 32 + 32 * fields.size() + 1 + size_t(trailer);
    size_t rl = 1 + slack;
    for (const auto& f : fields)
        rl += size_t(f.length);
    std::vector<unsigned char> b(hl, 0);
    b[0] = version;
    b[1] = 124;  // some writers store 2024 as 124
    b[2] = 5;
    b[3] = 17;
    std::memcpy(&b[4], &headerCount, 4);
    b[8] = uint8_t(hl);
    b[9] = uint8_t(hl >> 8);
    b[10] = uint8_t(rl);
    b[11] = uint8_t(rl >> 8);
    b[12] = 0xAB;  // reserved bytes a writer may use
    b[24] = 0xCD;
    b[28] = 0xF6;  // table flags bits 1 and 2, and bits no flag uses
    b[29] = 0x57;  // language driver
    b[30] = 0xEF;
    for (size_t i = 0; i < fields.size(); ++i) {
        unsigned char* d = &b[32 + 32 * i];
        std::memcpy(d, fields[i].name.data(), fields[i].name.size());
        d[11] = uint8_t(fields[i].type);
        d[12] = 0x11;  // displacement some writers fill in; ignored
        d[16] = uint8_t(fields[i].length);
        d[17] = uint8_t(fields[i].type == 'C' ? fields[i].length >> 8 : fields[i].decimals);
    }
    b[32 + 32 * fields.size()] = 0x0D;
    for (const auto& r : records) {
        std::string rec = r;
        rec.resize(rl, ' ');
        b.insert(b.end(), rec.begin(), rec.end());
    }
    b.push_back(0x1A);
    return b;
}

uint32_t le32(const std::vector<unsigned char>& b, size_t at) { return uint32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24); }
uint16_t le16(const std::vector<unsigned char>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

std::string messageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EEngineError& e) {
        return e.what();
    }
    return "(no error)";
}

class DbfTest : public ::testing::Test {
protected:
    TempFolder dir;
    std::string dictionary() { return CreateDbfTable(dir / "Topic.wrd", topicFields()); }
};

TEST_F(DbfTest, EmptyDictionaryTableHasTheSpecifiedBytes)
{
    std::string path = dictionary();
    auto b = readBytes(path);
    ASSERT_EQ(b.size(), 354u);
    EXPECT_EQ(b[0], 0x03);
    time_t now = time(nullptr);
    tm t{};
    localtime_r(&now, &t);
    EXPECT_EQ(b[1], (t.tm_year + 1900) % 100);
    EXPECT_EQ(b[2], t.tm_mon + 1);
    EXPECT_EQ(b[3], t.tm_mday);
    EXPECT_EQ(le32(b, 4), 0u);
    EXPECT_EQ(le16(b, 8), 353);
    EXPECT_EQ(le16(b, 10), 556);
    for (size_t i = 12; i < 32; ++i)
        EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(b[352], 0x0D);
    EXPECT_EQ(b[353], 0x1A);
    const struct {
        const char* name;
        char type;
        int b16, b17;
    } want[] = {{"WORD1", 'C', 80, 0}, {"WORD2", 'C', 80, 0}, {"TRANSCRIPT", 'C', 80, 0},
                {"MISS", 'N', 5, 0},   {"KBMISS", 'N', 5, 0}, {"INROW", 'N', 5, 0},
                {"KBINROW", 'N', 5, 0}, {"WAVFILE", 'C', 255, 0}, {"WAVSTART", 'N', 20, 0},
                {"WAVEND", 'N', 20, 0}};
    for (size_t i = 0; i < 10; ++i) {
        const unsigned char* d = &b[32 + 32 * i];
        std::string name(reinterpret_cast<const char*>(d), 11);
        EXPECT_EQ(name, std::string(want[i].name) + std::string(11 - std::strlen(want[i].name), '\0'));
        EXPECT_EQ(d[11], want[i].type);
        EXPECT_EQ(d[16], want[i].b16);
        EXPECT_EQ(d[17], want[i].b17);
        for (int k : {12, 13, 14, 15, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31})
            EXPECT_EQ(d[k], 0) << want[i].name << " byte " << k;
    }
}

TEST_F(DbfTest, AppendingOneRecordGivesTheSpecifiedFile)
{
    std::string path = dictionary();
    {
        TDbfTable t;
        t.Open(path);
        EXPECT_EQ(t.RecordCount(), 0u);
        EXPECT_FALSE(t.GetRecord(DbfRecFirst));
        EXPECT_TRUE(t.Eof() && t.Bof());
        t.Blank();
        t.SetString(t.FindField("WORD1"), "cat");
        t.AppendRecord();
        EXPECT_EQ(t.RecNo(), 1u);
        t.Close();
    }
    auto b = readBytes(path);
    ASSERT_EQ(b.size(), 910u);
    EXPECT_EQ(b.back(), 0x1A);
    EXPECT_EQ(le32(b, 4), 1u);
    std::string rec(b.begin() + 353, b.begin() + 353 + 556);
    EXPECT_EQ(rec.substr(0, 4), " cat");
    EXPECT_EQ(rec.substr(241, 5), "    0");               // MISS
    EXPECT_EQ(rec.substr(241 + 20, 255), std::string(255, ' '));  // WAVFILE
    EXPECT_EQ(rec.substr(516, 20), std::string(19, ' ') + "0");   // WAVSTART
    TDbfTable t;
    t.Open(path);
    ASSERT_TRUE(t.GetRecord(1));
    EXPECT_EQ(t.GetString(0), "cat");
    EXPECT_EQ(t.GetNumber(t.FindField("miss")), 0);
}

// The empty record made once for a layout is that layout's: a second record starts as empty
// as the first (nothing of the first one's values), and the same table object opened on
// another layout blanks that layout's numbers where they lie.
TEST_F(DbfTest, BlankIsTheEmptyRecordOfTheOpenLayout)
{
    const std::string topic = dictionary();
    const std::string other = CreateDbfTable(dir / "Other.dbf", {"NAME;C;4;0", "COUNT;N;6;2"});
    TDbfTable t;
    t.Open(topic);
    for (const char* word : {"cat", "dog"}) {
        t.Blank();
        if (std::string(word) == "cat") {
            t.SetString(t.FindField("WORD2"), "kot");
            t.SetNumber(t.FindField("MISS"), 7);
        }
        t.SetString(t.FindField("WORD1"), word);
        t.AppendRecord();
    }
    ASSERT_TRUE(t.GetRecord(2));
    EXPECT_EQ(t.GetString(t.FindField("WORD2")), "");
    EXPECT_EQ(t.GetRaw(t.FindField("MISS")), "    0");
    t.Close();
    t.Open(other);
    t.Blank();
    t.AppendRecord();
    EXPECT_EQ(t.GetRaw(0), "    ");
    EXPECT_EQ(t.GetRaw(1), "  0.00");
}

TEST_F(DbfTest, LearnedLayoutAndBuilderVersionBytes)
{
    auto learned = topicFields();
    learned.push_back("DATE;D;8;0");
    std::string path = CreateDbfTable(dir / "L.wrd", learned);
    TDbfTable t;
    t.Open(path);
    EXPECT_EQ(t.RecordLength(), 564);
    EXPECT_EQ(t.FieldCount(), 11);
    t.Close();
    const struct {
        TDbfTypes type;
        uint8_t plain, memo;
    } cases[] = {{TDbfTypes::Clipper, 0x03, 0x83}, {TDbfTypes::DBaseIII, 0x03, 0x83},
                 {TDbfTypes::DBaseIV, 0x03, 0x8B}, {TDbfTypes::FoxPro2, 0x03, 0xF5}};
    for (const auto& c : cases) {
        EXPECT_EQ(readBytes(CreateDbfTable(dir / "p.dbf", {"A;C;10;0"}, c.type))[0], c.plain);
        auto memo = readBytes(CreateDbfTable(dir / "m.dbf", {"A;C;10;0", "NOTE;M;99;3"}, c.type));
        EXPECT_EQ(memo[0], c.memo);
        EXPECT_EQ(memo[64 + 16], 10);  // memo fields are forced to length 10
    }
    // A C field longer than 255 keeps its high byte in the decimals byte.
    auto wide = readBytes(CreateDbfTable(dir / "w.dbf", {"LONGTEXT;C;300;0"}));
    EXPECT_EQ(wide[32 + 16], 300 & 0xFF);
    EXPECT_EQ(wide[32 + 17], 1);
    TDbfTable w;
    w.Open(dir / "w.dbf");
    EXPECT_EQ(w.Field(0).Length, 300);
    EXPECT_EQ(w.RecordLength(), 301);
    // Lines are cut and upper-cased; the extension ".DBF" is added when there is none.
    EXPECT_EQ(CreateDbfTable(dir / "noext", {"averylongfieldname;c;5;0"}), dir / "noext.DBF");
    TDbfTable n;
    n.Open(dir / "noext");
    EXPECT_EQ(n.Field(0).Name, "AVERYLONGF");
    EXPECT_EQ(n.Field(0).Type, 'C');
}

TEST_F(DbfTest, ReadsATableOfAnotherWriter)
{
    std::vector<FieldSpec> fields = {{"NAME", 'C', 6, 0}, {"PRICE", 'N', 7, 2}, {"QTY", 'N', 4, 0},
                                     {"DAY", 'D', 8, 0},  {"OK", 'L', 1, 0},    {"ODD", 'X', 2, 0}};
    using namespace std::string_literals;
    std::vector<std::string> recs = {
        " "s + "ab\0xyz"s + "  12.50" + "   7" + "20240229" + "Y" + "zz",
        "*"s + "cd    " + "  -3.25" + "    " + "00000000" + "n" + "zz",
        " "s + "ef    " + "       " + "  12" + "        " + "?" + "zz",
        " "s + "gh    " + "      0" + "   5" + "20230230" + "T" + "zz",
    };
    auto bytes = foreignDbf(0x03, fields, recs, 2);  // header count lags behind the data
    bytes.insert(bytes.end() - 1, {' ', 'p', 'a', 'r', 't'});  // a record cut short
    writeBytes(dir / "FOREIGN.DBF", bytes);

    TDbfTable t;
    t.Open(dir / "FOREIGN.DBF");
    EXPECT_EQ(t.RecordCount(), 4u);
    EXPECT_EQ(t.FieldCount(), 6);
    EXPECT_FALSE(t.Field(5).Visible());
    struct Row {
        std::string name;
        double price, qty;
        std::optional<int32_t> day;
        bool ok, deleted;
    };
    const Row want[] = {
        {"ab", 12.5, 7, DbfDateToJulian(2024, 2, 29), true, false},
        {"cd", -3.25, 0, std::nullopt, false, true},
        {"ef", 0, 12, std::nullopt, false, false},
        {"gh", 0, 5, std::nullopt, true, false},  // 30 February is no date
    };
    for (uint32_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(t.GetRecord(int(i + 1)));
        EXPECT_EQ(t.GetString(0), want[i].name) << i;
        EXPECT_DOUBLE_EQ(t.GetNumber(1), want[i].price) << i;
        EXPECT_DOUBLE_EQ(t.GetNumber(2), want[i].qty) << i;
        EXPECT_EQ(t.GetDate(3), want[i].day) << i;
        EXPECT_EQ(t.GetLogical(4), want[i].ok) << i;
        EXPECT_EQ(t.IsDeleted(), want[i].deleted) << i;
    }
    EXPECT_FALSE(t.GetRecord(DbfRecNext));
    EXPECT_TRUE(t.Eof());
    // A rewrite stores the true count and keeps the other writer's header bytes.
    ASSERT_TRUE(t.GetRecord(3));
    t.SetNumber(2, 13);
    t.PutRecord(3);
    t.Close();
    auto after = readBytes(dir / "FOREIGN.DBF");
    EXPECT_EQ(after.size(), bytes.size());
    EXPECT_EQ(le32(after, 4), 4u);
    EXPECT_EQ(after[12], 0xAB);
    EXPECT_EQ(after[24], 0xCD);
    EXPECT_EQ(after[28], 0x06);
    EXPECT_EQ(after[29], 0x57);
    EXPECT_EQ(after[30], 0xEF);
    time_t now = time(nullptr);
    tm lt{};
    localtime_r(&now, &lt);
    EXPECT_EQ(after[1], (lt.tm_year + 1900) % 100);  // 124 from the other writer becomes year % 100
    EXPECT_EQ(after[32 + 12], 0x11);  // descriptors are never rewritten
    // The next append takes the place of the cut record.
    t.Open(dir / "FOREIGN.DBF");
    t.Blank();
    t.SetString(0, "new");
    t.AppendRecord();
    EXPECT_EQ(t.RecNo(), 5u);
    t.Close();
    auto appended = readBytes(dir / "FOREIGN.DBF");
    const size_t hl = 32 + 32 * 6 + 1, rl = 29;
    ASSERT_EQ(appended.size(), hl + 5 * rl + 1);
    EXPECT_EQ(std::string(appended.begin() + long(hl + 4 * rl), appended.begin() + long(hl + 4 * rl + 4)), " new");
    EXPECT_EQ(appended.back(), 0x1A);
    EXPECT_EQ(le32(appended, 4), 5u);
}

TEST_F(DbfTest, AcceptedVersionBytesAndTheVisualFoxProTrailer)
{
    std::vector<FieldSpec> fields = {{"W", 'C', 3, 0}};
    for (uint8_t v : {0x03, 0x30, 0x83, 0x8B, 0xF5}) {
        writeBytes(dir / "v.dbf", foreignDbf(v, fields, {" abc", " def"}, 2));
        TDbfTable t;
        t.Open(dir / "v.dbf");
        EXPECT_EQ(t.FieldCount(), 1) << int(v);
        ASSERT_TRUE(t.GetRecord(2));
        EXPECT_EQ(t.GetString(0), "def") << int(v);
    }
    auto encrypted = foreignDbf(0x03, fields, {" abc"}, 1);
    encrypted[15] = 1;
    writeBytes(dir / "secret.dbf", encrypted);
    TDbfTable s;
    EXPECT_EQ(messageOf([&] { s.Open(dir / "secret.dbf"); }), "No Password for encrypted file " + dir / "secret.dbf");
    // Damaged headers: too short, lengths that cannot hold the descriptors or the fields.
    auto damaged = [&](std::vector<unsigned char> b) {
        writeBytes(dir / "bad.dbf", b);
        TDbfTable t;
        return messageOf([&] { t.Open(dir / "bad.dbf"); });
    };
    const std::string invalid = "dBase DBF file header invalid - " + dir / "bad.dbf";
    EXPECT_EQ(damaged({0x03, 0, 0, 0}), invalid);
    auto shortHeader = foreignDbf(0x03, fields, {}, 0);
    shortHeader[8] = 20;
    EXPECT_EQ(damaged(shortHeader), invalid);
    auto shortRecord = foreignDbf(0x03, fields, {}, 0);
    shortRecord[10] = 2;  // a 3-byte field in a 2-byte record
    EXPECT_EQ(damaged(shortRecord), invalid);
    auto longHeader = foreignDbf(0x03, fields, {}, 0);
    longHeader[8] = 0xFF;  // descriptors beyond the end of the file
    EXPECT_EQ(damaged(longHeader), invalid);
    for (uint8_t v : {0x00, 0x02, 0x04, 0x8C, 0xFF}) {
        writeBytes(dir / "bad.dbf", foreignDbf(v, fields, {}, 0));
        TDbfTable t;
        try {
            t.Open(dir / "bad.dbf");
            ADD_FAILURE() << int(v);
        } catch (const EDbfError& e) {
            EXPECT_EQ(e.code(), 1001);
            EXPECT_EQ(std::string(e.what()), "dBase DBF file header invalid - " + dir / "bad.dbf");
        }
    }
}

TEST_F(DbfTest, FieldEncoding)
{
    std::string path = CreateDbfTable(dir / "f.dbf", {"T;C;80;0", "N;N;5;0", "P;N;8;2", "D;D;8;0", "L;L;1;0"});
    TDbfTable t;
    t.Open(path);
    t.Blank();
    EXPECT_EQ(t.GetRaw(1), "    0");
    EXPECT_EQ(t.GetRaw(2), "    0.00");
    EXPECT_EQ(t.GetRaw(3), "        ");
    EXPECT_FALSE(t.GetDate(3).has_value());

    t.SetString(0, std::string(100, 'x'));
    EXPECT_EQ(t.GetString(0), std::string(80, 'x'));
    t.SetString(0, "padded   ");
    EXPECT_EQ(t.GetString(0), "padded");
    EXPECT_EQ(t.GetRaw(0).substr(0, 9), "padded   ");
    t.SetString(0, std::string("ab\0cd", 5));
    EXPECT_EQ(t.GetString(0), "ab");
    t.SetString(0, "\xC4\xEE\xEC");  // Windows-1251 bytes pass unchanged
    EXPECT_EQ(t.GetString(0), "\xC4\xEE\xEC");

    const struct {
        int field;
        double value;
        const char* raw;
    } numbers[] = {{1, 42, "   42"}, {1, -7, "   -7"}, {1, 99999, "99999"}, {2, 3.14159, "    3.14"},
                   {2, -0.001, "    0.00"}, {2, -12.5, "  -12.50"}};
    for (const auto& c : numbers) {
        t.SetNumber(c.field, c.value);
        EXPECT_EQ(t.GetRaw(c.field), c.raw) << c.value;
    }
    t.SetNumber(1, 5);
    try {
        t.SetNumber(1, 123456);
        ADD_FAILURE();
    } catch (const EDbfError& e) {
        EXPECT_EQ(e.code(), 1011);
        EXPECT_EQ(std::string(e.what()).rfind("Number too large to fit in field - N", 0), 0u) << e.what();
    }
    EXPECT_EQ(t.GetRaw(1), "    5");  // the old value stays
    t.SetString(1, "  17  ");
    EXPECT_EQ(t.GetNumber(1), 17);
    t.SetString(1, "   ");
    EXPECT_EQ(t.GetRaw(1), "    0");
    EXPECT_EQ(messageOf([&] { t.SetString(1, "abc"); }).rfind("dBase field is of incorrect type", 0), 0u);
    EXPECT_EQ(messageOf([&] { t.SetNumber(0, 1); }).rfind("dBase field is of incorrect type", 0), 0u);

    t.SetDate(3, DbfDateToJulian(2024, 12, 31));
    EXPECT_EQ(t.GetRaw(3), "20241231");
    t.SetString(3, "2000-01-01");
    EXPECT_EQ(t.GetRaw(3), "20000101");
    EXPECT_EQ(*t.GetDate(3), 2451545);
    t.SetRaw(3, "00000000");
    EXPECT_FALSE(t.GetDate(3));
    t.SetDate(3, std::nullopt);
    EXPECT_EQ(t.GetRaw(3), "        ");

    for (auto [raw, value] : std::vector<std::pair<std::string, bool>>{{"T", true}, {"y", true}, {"J", true}, {"F", false}, {"?", false}, {" ", false}}) {
        t.SetRaw(4, raw);
        EXPECT_EQ(t.GetLogical(4), value) << raw;
    }
    t.SetLogical(4, true);
    EXPECT_EQ(t.GetRaw(4), "T");

    // Unreadable number text: the message names table, field and text.
    t.SetRaw(1, "1x3");
    EXPECT_EQ(messageOf([&] { t.GetNumber(1); }), "dBase field is of incorrect type - Invalid number in field f->N (1x3)");
}

long long noonOn(int y, int m, int d)
{
    tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = m - 1;
    t.tm_mday = d;
    t.tm_hour = 12;
    t.tm_min = 34;
    t.tm_sec = 56;
    t.tm_isdst = -1;
    return mktime(&t);
}

TEST_F(DbfTest, HeaderDateIsYearModuloHundred)
{
    const struct {
        long long (*clock)();
        uint8_t y, m, d;
    } cases[] = {{[] { return noonOn(2000, 1, 2); }, 0, 1, 2},
                 {[] { return noonOn(2024, 12, 31); }, 24, 12, 31},
                 {[] { return noonOn(1999, 6, 30); }, 99, 6, 30}};
    for (const auto& c : cases) {
        DbfSetClock(c.clock);
        std::string path = CreateDbfTable(dir / "y.dbf", {"W;C;1;0"});
        EXPECT_EQ(readBytes(path)[1], c.y);
        TDbfTable t;
        t.Open(path);
        t.Blank();
        t.AppendRecord();
        t.Close();
        auto b = readBytes(path);
        EXPECT_EQ(b[1], c.y);
        EXPECT_EQ(b[2], c.m);
        EXPECT_EQ(b[3], c.d);
        EXPECT_EQ(le32(b, 16), ((12u * 64 + 34) * 64 + 56) * 1024);  // the change stamp
    }
    DbfSetClock(nullptr);
}

TEST_F(DbfTest, DeletionMarksTheRecordInPlace)
{
    std::string path = dictionary();
    TDbfTable t;
    t.Open(path);
    for (const char* w : {"one", "two", "three"}) {
        t.Blank();
        t.SetString(0, w);
        t.AppendRecord();
    }
    size_t size = readBytes(path).size();
    ASSERT_TRUE(t.GetRecord(2));
    t.DeleteRecord();
    EXPECT_TRUE(t.IsDeleted());
    auto b = readBytes(path);
    EXPECT_EQ(b.size(), size);
    EXPECT_EQ(b[353 + 556], '*');
    EXPECT_EQ(b[353], ' ');
    EXPECT_EQ(b.back(), 0x1A);
    t.UndeleteRecord();
    EXPECT_EQ(readBytes(path)[353 + 556], ' ');
}

TEST_F(DbfTest, CopyKeepsLiveRecordsInTheGivenOrder)
{
    std::string path = dictionary();
    TDbfTable t;
    t.Open(path);
    for (const char* w : {"a", "b", "c", "d"}) {
        t.Blank();
        t.SetString(0, w);
        t.AppendRecord();
    }
    t.GetRecord(2);
    t.DeleteRecord();
    t.GetRecord(3);
    t.CopyTable(dir / "copy.wrd");
    EXPECT_EQ(t.RecNo(), 3u);
    auto words = [&](const std::string& p) {
        TDbfTable c;
        c.Open(p);
        std::string s;
        while (c.GetRecord(DbfRecNext))
            s += c.GetString(0) + (c.IsDeleted() ? "*" : "");
        EXPECT_EQ(c.RecordCount(), s.size());
        return s;
    };
    EXPECT_EQ(words(dir / "copy.wrd"), "acd");
    auto copy = readBytes(dir / "copy.wrd");
    EXPECT_EQ(copy.size(), 353u + 3 * 556 + 1);
    EXPECT_EQ(le32(copy, 4), 3u);
    // An ordered walk (as a cursor on a tag gives it): d, a.
    std::vector<uint32_t> order = {4, 1};
    size_t i = 0;
    t.CopyTable(dir / "ordered.wrd", [&](bool first) -> uint32_t {
        if (first)
            i = 0;
        return i < order.size() ? order[i++] : 0;
    });
    EXPECT_EQ(words(dir / "ordered.wrd"), "da");
    // Copying onto itself is refused and leaves the table whole.
    EXPECT_EQ(messageOf([&] { t.CopyTable(dir / "TOPIC.WRD"); }), "File access denied - " + dir / "TOPIC.WRD");
    EXPECT_EQ(readBytes(path).size(), 353u + 4 * 556 + 1);
}

TEST_F(DbfTest, ReadOnlyAndReadWriteOpensOfOneFileShareTheHandle)
{
    std::string path = dictionary();
    TDbfTable reader, writer;
    reader.Open(path, false, false);
    writer.Open(path, true, false);  // upgrades the handle instead of colliding with our own claim
    writer.Blank();
    writer.SetString(0, "both");
    writer.AppendRecord();
    EXPECT_THROW(reader.AppendRecord(), EDbfError);  // the reader stays read-only
    EXPECT_EQ(reader.RecordCount(), 0u);             // an exclusive table does not re-read
    writer.Close();
    reader.Close();
    reader.Open(path, false, false);
    EXPECT_EQ(reader.RecordCount(), 1u);
    // Another process is still kept out.
    EXPECT_EQ(inChild([&] {
                  try {
                      TDbfTable other;
                      other.Open(path, false, true);
                  } catch (const EDbfError& e) {
                      return e.code() == 32 ? 0 : 2;
                  }
                  return 1;
              }),
              0);
}

TEST_F(DbfTest, CopyOfAForeignLayoutIsAPlainTable)
{
    // A trailer after the descriptors, an unnamed field and slack bytes after the last field.
    auto bytes = foreignDbf(0x30, {{"A", 'C', 2, 0}, {"", 'C', 3, 0}, {"B", 'N', 3, 0}}, {" xy---  7..", "*zz---  8..", " uv--- 12.."}, 3, 2);
    writeBytes(dir / "vfp.dbf", bytes);
    TDbfTable t;
    t.Open(dir / "vfp.dbf");
    ASSERT_EQ(t.RecordLength(), 11);
    t.CopyTable(dir / "plain.dbf");
    auto b = readBytes(dir / "plain.dbf");
    EXPECT_EQ(b[0], 0x03);
    EXPECT_EQ(le16(b, 8), 32 * 2 + 33);
    EXPECT_EQ(le16(b, 10), 6);
    EXPECT_EQ(std::string(b.begin() + 97, b.end()), " xy  7 uv 12\x1A");
    TDbfTable c;
    c.Open(dir / "plain.dbf");
    ASSERT_TRUE(c.GetRecord(2));
    EXPECT_EQ(c.GetString(0), "uv");
    EXPECT_EQ(c.GetNumber(1), 12);
}

TEST_F(DbfTest, HeaderCountIsRecomputedFromTheFileSize)
{
    std::vector<FieldSpec> fields = {{"W", 'C', 4, 0}};
    std::vector<std::string> recs;
    for (int i = 0; i < 12; ++i)
        recs.push_back(" r" + std::to_string(i));
    auto bytes = foreignDbf(0x03, fields, recs, 10);
    bytes.pop_back();  // no end mark
    writeBytes(dir / "c.dbf", bytes);
    {
        TDbfTable t;
        t.Open(dir / "c.dbf");
        EXPECT_EQ(t.RecordCount(), 12u);
        t.GetRecord(12);
        t.PutRecord(12);
    }
    EXPECT_EQ(le32(readBytes(dir / "c.dbf"), 4), 12u);
    TDbfTable t;
    t.Open(dir / "c.dbf");
    EXPECT_FALSE(t.GetRecord(13));
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(messageOf([&] { t.GetRecord(14); }), "dBase record request beyond EOF - " + dir / "c.dbf");
    EXPECT_EQ(messageOf([&] { t.GetRecord(-9); }), "dBase record request beyond EOF - " + dir / "c.dbf");
    // Moving codes.
    EXPECT_TRUE(t.GetRecord(DbfRecLast));
    EXPECT_EQ(t.RecNo(), 12u);
    EXPECT_TRUE(t.GetRecord(DbfRecPrior));
    EXPECT_EQ(t.GetString(0), "r10");
    EXPECT_TRUE(t.GetRecord(DbfRecFirst));
    EXPECT_FALSE(t.GetRecord(DbfRecPrior));
    EXPECT_TRUE(t.Bof());
    EXPECT_EQ(t.RecNo(), 1u);
}

TEST_F(DbfTest, ReadCacheServesScansAndSeesWrites)
{
    std::string path = CreateDbfTable(dir / "big.dbf", {"N;N;6;0", "PAD;C;500;0"});
    TDbfTable t;
    t.Open(path);
    for (int i = 1; i <= 150; ++i) {  // more than two cache windows of 501-byte records
        t.Blank();
        t.SetNumber(0, i);
        t.AppendRecord();
    }
    t.SetReadCache(true);
    double sum = 0;
    t.GetRecord(DbfRecFirst);
    do
        sum += t.GetNumber(0);
    while (t.GetRecord(DbfRecNext));
    EXPECT_EQ(sum, 150 * 151 / 2);
    t.GetRecord(70);
    t.SetNumber(0, 7000);
    t.PutRecord(70);
    t.GetRecord(69);
    t.GetRecord(70);
    EXPECT_EQ(t.GetNumber(0), 7000);
}

class RecordingIndex : public TDbfIndexLink {
public:
    explicit RecordingIndex(TDbfTable& t) : t_(t) {}
    void TagUpdate(uint32_t recNo, bool appended) override
    {
        log += (appended ? "A" : "R") + std::to_string(recNo) + ":" + t_.GetString(0, t_.OldBuffer()) + ">" + t_.GetString(0) + " ";
    }
    void FlushIndex() override { log += "flush "; }
    void CloseIndex() override { log += "close"; }
    std::string log;

private:
    TDbfTable& t_;
};

TEST_F(DbfTest, IndexLinkSeesOldAndNewRecord)
{
    std::string path = dictionary();
    TDbfTable t;
    t.Open(path);
    RecordingIndex idx(t);
    t.AttachIndex(&idx);
    t.Blank();
    t.SetString(0, "new");
    t.AppendRecord();
    t.SetString(0, "changed");
    t.PutRecord(1);
    t.Flush();
    t.Close();
    EXPECT_EQ(idx.log, "A1:>new R1:new>changed flush close");
    EXPECT_EQ(readBytes(path)[28], 0);
    t.Open(path);
    t.MarkProductionIndex();  // a compound index of the table's own name exists now
    EXPECT_EQ(readBytes(path)[28], 1);
}

TEST_F(DbfTest, FileNamesAreFoundRegardlessOfCase)
{
    std::filesystem::create_directories(dir / "Base/On");
    CreateDbfTable(dir / "Base/On/Animals.wrd", {"W;C;5;0"});
    TDbfTable t;
    t.Open(dir / "BASE/ON/ANIMALS.WRD");
    EXPECT_EQ(t.FileName(), dir / "Base/On/Animals.wrd");
    t.Close();
    std::filesystem::create_directories(dir / "Ж");
    CreateDbfTable(dir / "Ж/Звери.wrd", {"W;C;5;0"});
    EXPECT_TRUE(TDiskFile::Exists(dir / "ж/зВЕРИ.WRD"));
    EXPECT_EQ(messageOf([&] { t.Open(dir / "Base/On/Plants.wrd"); }), "File not found - " + dir / "Base/On/Plants.wrd");
    EXPECT_EQ(messageOf([&] { t.Open(dir / "Nowhere/Plants.wrd"); }), "Path not found - " + dir / "Nowhere/Plants.wrd");
}

// Writers store "no date" differently; all of them read as an empty date, while a date that
// cannot be is null without being empty (the dictionary check tells the two apart).
TEST_F(DbfTest, EmptyDatesOfEveryWriterReadAsNoDate)
{
    struct Case {
        const char* what;
        std::string stored;
        bool empty;
        int32_t julian;  // 0: no date
    };
    const Case cases[] = {
        {"eight blanks", "        ", true, 0},
        {"eight zeros", "00000000", true, 0},
        {"seven blanks and a zero", "       0", true, 0},
        {"a zero and seven blanks", "0       ", true, 0},
        {"NUL bytes", std::string(8, '\0'), true, 0},
        {"blanks, zeros and NULs", std::string("0 \0 0\0  ", 8), true, 0},
        {"a date", "20240229", false, DbfDateToJulian(2024, 2, 29)},
        {"an impossible date", "20230229", false, 0},
        {"letters", "2024ab01", false, 0},
        {"a short date", "2024011 ", false, 0},
    };
    std::vector<std::string> records;
    for (const Case& c : cases)
        records.push_back(" x" + c.stored);
    writeBytes(dir / "dates.dbf", foreignDbf(0x03, {{"W", 'C', 1, 0}, {"DATE", 'D', 8, 0}}, records, uint32_t(records.size())));
    TDbfTable t;
    t.Open(dir / "dates.dbf", false);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DbfIsEmptyDate(c.stored), c.empty);
        ASSERT_TRUE(t.GetRecord(int(i + 1)));
        const auto date = t.GetDate(1);
        EXPECT_EQ(date.value_or(0), c.julian);
    }
}

// Appends gathered in memory give the file every byte that appends written one by one give,
// and whatever reads, counts, rewrites or deletes in between sees them.
TEST_F(DbfTest, HeldAppendsWriteTheSameBytesAndAreSeenByEveryRead)
{
    struct Step {
        const char* what;
        std::function<void(TDbfTable&)> run;
    };
    auto append = [](const std::string& word) {
        return [word](TDbfTable& t) {
            t.Blank();
            t.SetString(0, word);
            t.AppendRecord();
        };
    };
    std::string seen;
    const Step steps[] = {
        {"appends", [&](TDbfTable& t) { for (int i = 0; i < 300; ++i) append("w" + std::to_string(i))(t); }},
        {"read back", [&](TDbfTable& t) { ASSERT_TRUE(t.GetRecord(299)); seen += t.GetString(0) + ","; }},
        {"more appends", [&](TDbfTable& t) { for (int i = 300; i < 2500; ++i) append("w" + std::to_string(i))(t); }},
        {"count", [&](TDbfTable& t) { seen += std::to_string(t.CountUndeleted()) + ","; }},
        {"delete", [&](TDbfTable& t) { ASSERT_TRUE(t.GetRecord(2400)); t.DeleteRecord(); }},
        {"rewrite", [&](TDbfTable& t) { ASSERT_TRUE(t.GetRecord(7)); t.SetString(0, "seven"); t.PutRecord(7); }},
        {"last appends", [&](TDbfTable& t) { for (int i = 0; i < 5; ++i) append("end")(t); }},
        {"read the last", [&](TDbfTable& t) { ASSERT_TRUE(t.GetRecord(DbfRecLast)); seen += t.GetString(0) + ","; }},
        {"append after reading", append("tail")},
    };
    std::vector<std::vector<unsigned char>> files;
    std::vector<std::string> seenBy;
    for (bool hold : {false, true}) {
        SCOPED_TRACE(hold ? "held" : "written one by one");
        DbfSetClock([] { return 1700000000LL; });  // the header's date and change stamp
        const std::string path = CreateDbfTable(dir / (hold ? "held.dbf" : "plain.dbf"), {"W;C;20;0", "N;N;5;0"});
        TDbfTable t;
        t.Open(path);
        t.LockTable();
        t.HoldAppends(hold);
        seen.clear();
        for (const Step& s : steps) {
            SCOPED_TRACE(s.what);
            s.run(t);
        }
        t.HoldAppends(false);
        t.UnlockTable();
        t.Close();
        DbfSetClock(nullptr);
        files.push_back(readBytes(path));
        seenBy.push_back(seen);
    }
    EXPECT_EQ(seenBy[0], "w298,2500,end,");
    EXPECT_EQ(seenBy[1], seenBy[0]);
    ASSERT_EQ(files[1].size(), files[0].size());
    EXPECT_TRUE(files[1] == files[0]);
}

TEST_F(DbfTest, FoldersAndPipesInATablesPlaceAreRefused)
{
    std::filesystem::create_directories(dir / "folder.wrd");
    ASSERT_EQ(::mkfifo((dir / "pipe.wrd").c_str(), 0644), 0);
    for (const char* name : {"folder.wrd", "pipe.wrd"}) {
        TDbfTable t;
        EXPECT_EQ(messageOf([&] { t.Open(dir / name, false); }), "File access denied - " + dir / name);
        EXPECT_EQ(messageOf([&] { CreateDbfTable(dir / name, {"A;C;1;0"}); }), "File access denied - " + dir / name);
    }
}

TEST_F(DbfTest, DiskFileMoveNeverReplaces)
{
    writeBytes(dir / "a", {1, 2});
    writeBytes(dir / "b", {3});
    try {
        TDiskFile::Move(dir / "a", dir / "b");
        ADD_FAILURE();
    } catch (const EDbfError& e) {
        EXPECT_EQ(e.code(), 183);
        EXPECT_EQ(std::string(e.what()), "File already exists - " + dir / "b");
    }
    EXPECT_EQ(readBytes(dir / "b"), std::vector<unsigned char>{3});
    TDiskFile::Move(dir / "a", dir / "c");
    EXPECT_FALSE(TDiskFile::Exists(dir / "a"));
    EXPECT_EQ(readBytes(dir / "c"), (std::vector<unsigned char>{1, 2}));
    EXPECT_THROW(TDiskFile::Copy(dir / "c", dir / "b"), EDbfError);
    TDiskFile::Copy(dir / "c", dir / "b", true);
    EXPECT_EQ(readBytes(dir / "b"), (std::vector<unsigned char>{1, 2}));
    TDiskFile::Delete(dir / "b");
    EXPECT_FALSE(TDiskFile::Exists(dir / "b"));
    EXPECT_EQ(messageOf([&] { TDiskFile::Delete(dir / "b"); }).rfind("File not found", 0), 0u);
}

// 1 when another process holds a lock on the byte at offset, 0 when not.
int probeLock(const std::string& path, uint64_t offset)
{
    int fd = ::open(path.c_str(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = off_t(offset);
    fl.l_len = 1;
    ::fcntl(fd, F_OFD_GETLK, &fl);
    ::close(fd);
    return fl.l_type == F_UNLCK ? 0 : 1;
}

TEST_F(DbfTest, SharedTablesLockAtTheSpecifiedOffsets)
{
    std::string path = dictionary();
    {
        TDbfTable t;
        t.Open(path);
        for (int i = 0; i < 3; ++i) {
            t.Blank();
            t.AppendRecord();
        }
    }
    TDbfTable t;
    t.Open(path, true, true);
    const uint64_t rec2 = 0x40000000ull + 353 + 556;
    ASSERT_TRUE(t.LockRecord(2));
    EXPECT_EQ(inChild([&] { return probeLock(path, rec2); }), 1);
    EXPECT_EQ(inChild([&] { return probeLock(path, rec2 + 1); }), 0);
    // Another shared open of the file is refused the same record lock, and gets another one.
    EXPECT_EQ(inChild([&] {
                  TDbfTable other;
                  other.Open(path, true, true);
                  return (other.LockRecord(2) ? 10 : 0) + (other.LockRecord(3) ? 1 : 0);
              }),
              1);
    EXPECT_TRUE(t.LockRecord(2));  // nested
    t.UnlockRecord(2);
    EXPECT_EQ(inChild([&] { return probeLock(path, rec2); }), 1);
    t.UnlockRecord(2);
    EXPECT_EQ(inChild([&] { return probeLock(path, rec2); }), 0);

    t.SetIndexOpenForLocks(true);
    ASSERT_TRUE(t.LockRecord(2));
    EXPECT_EQ(inChild([&] { return probeLock(path, 0x7FFFFFFEull - 2); }), 1);
    t.UnlockRecord(2);
    ASSERT_TRUE(t.LockAppend());
    EXPECT_EQ(inChild([&] { return probeLock(path, 0x7FFFFFFEull); }), 1);
    t.UnlockAppend();
    ASSERT_TRUE(t.LockTable());
    EXPECT_EQ(inChild([&] { return probeLock(path, 0x40000000ull) + probeLock(path, 0x7FFFFFFEull) + probeLock(path, 0x7FFFFFFFull); }), 2);
    t.UnlockTable();
    EXPECT_EQ(inChild([&] { return probeLock(path, 0x40000000ull); }), 0);

    const struct {
        TLockProtocol p;
        uint64_t append, from, length;
    } protocols[] = {{TLockProtocol::Default, 0x7FFFFFFE, 0x40000000, 0x3FFFFFFF},
                     {TLockProtocol::FoxLock, 0x7FFFFFFE, 0x40000000, 0x3FFFFFFF},
                     {TLockProtocol::DB4Lock, 0xEFFFFFFF, 0x40000000, 0xB0000000},
                     {TLockProtocol::ClipLock, 1000000000, 1000000000, 1000000000}};
    for (const auto& c : protocols) {
        t.SetLockProtocol(c.p);
        EXPECT_EQ(t.AppendLockOffset(), c.append);
        EXPECT_EQ(t.TableLockOffset(), c.from);
        EXPECT_EQ(t.TableLockLength(), c.length);
    }
}

TEST_F(DbfTest, ExclusiveTablesTakeNoByteLocksAndKeepOthersOut)
{
    std::string path = dictionary();
    TDbfTable t;
    t.Open(path, true, false);
    ASSERT_TRUE(t.LockRecord(1));
    ASSERT_TRUE(t.LockTable());
    EXPECT_EQ(inChild([&] { return probeLock(path, 0x40000000ull) + probeLock(path, 0x40000000ull + 353); }), 0);
    EXPECT_EQ(inChild([&] {
                  TDbfTable other;
                  try {
                      other.Open(path, true, true);
                  } catch (const EDbfError& e) {
                      return e.code() == 32 && std::string(e.what()) == "File access denied - " + path ? 0 : 2;
                  }
                  return 1;
              }),
              0);
}

TEST_F(DbfTest, SharedWritersSeeEachOthersAppends)
{
    std::string path = dictionary();
    TDbfTable t;
    t.Open(path, true, true);
    EXPECT_EQ(inChild([&] {
                  TDbfTable other;
                  other.Open(path, true, true);
                  other.Blank();
                  other.SetString(0, "theirs");
                  other.AppendRecord();
                  return 0;
              }),
              0);
    EXPECT_TRUE(t.ReadHeader());
    EXPECT_EQ(t.RecordCount(), 1u);
    t.Blank();
    t.SetString(0, "ours");
    t.AppendRecord();
    EXPECT_EQ(t.RecNo(), 2u);
    ASSERT_TRUE(t.GetRecord(1));
    EXPECT_EQ(t.GetString(0), "theirs");
}

TEST(DbfMessages, ErrorListAndBothMessageForms)
{
    const std::pair<int, const char*> texts[] = {
        {2, "File not found"}, {3, "Path not found"}, {4, "Too many open files"}, {5, "File access denied"},
        {12, "Invalid file access code"}, {15, "Invalid drive number"}, {32, "File access denied"},
        {33, "Record locked by another user"}, {100, "Disk read error"}, {101, "Disk write error"},
        {102, "File not assigned"}, {103, "File not open"}, {104, "File not open for input"},
        {105, "File not open for output"}, {106, "Invalid numeric format"}, {150, "Disk is write-protected"},
        {152, "Drive not ready"}, {162, "Hardware failure"}, {183, "File already exists"},
        {1001, "dBase DBF file header invalid"}, {1002, "dBase record request beyond EOF"},
        {1003, "dBase field name is invalid"}, {1004, "dBase field is of incorrect type"},
        {1005, "dBase memo record has format error"}, {1006, "Formula expression cannot be translated"},
        {1011, "Number too large to fit in field"}};
    EXPECT_EQ(ErrListCount, int(std::size(texts)));
    for (auto [code, text] : texts)
        EXPECT_STREQ(ErrListText(code), text);
    EXPECT_EQ(ErrListText(7), nullptr);
    EXPECT_STREQ(EDbfError(2, 1107, "/X/A.CDX").what(), "File not found - /X/A.CDX");
    EXPECT_STREQ(EDbfError(1002, 0, "").what(), "dBase record request beyond EOF");
    EXPECT_STREQ(EDbfError(5117, 5114, "Tag Field is Empty").what(), "Table Error 5117, SubCode 5114.\r Tag Field is Empty>5114");
    EXPECT_STREQ(EDbfError(2112, 0, "").what(), "Table Error 2112.\r");
    EDbfError e(2, 1107, "f");
    EXPECT_EQ(e.code(), 2);
    EXPECT_EQ(e.subCode(), 1107);
    EXPECT_EQ(e.detail(), "f");
    EXPECT_EQ(e.text(), "File not found");
}

class CreateTarget : public TDbfCreateTarget {
public:
    std::string path;
    bool active = false;
    int opened = 0;
    std::string CreatePath() const override { return path; }
    bool CreateActive() const override { return active; }
    void CreateOpen() override { ++opened; }
};

TEST_F(DbfTest, CreatingFromFieldLines)
{
    TCreateDbfDataSet create;
    EXPECT_EQ(messageOf([&] { create.Execute(); }), "A table is not assigned to this object");
    CreateTarget target;
    target.path = dir / "new.wrd";
    create.DBFTable = &target;
    target.active = true;
    EXPECT_EQ(messageOf([&] { create.Execute(); }), "Cannot perform this operation on an open table");
    target.active = false;
    EXPECT_EQ(messageOf([&] { create.Execute(); }), "Field list is invalid");

    const std::vector<std::vector<std::string>> invalid = {
        {"WORD1;CC;80;0"}, {"WORD1;C;eighty;0"}, {"WORD1;C;80"}, {"WORD1"}, {"WORD1;;80;0"},
        {"WORD1;C;80;x"}, {"A;C;1;0", "a;N;5;0"}, {"WORD1;C;80;0", ""}};
    for (const auto& lines : invalid) {
        create.CreateFields = lines;
        EXPECT_EQ(messageOf([&] { create.Execute(); }), "Field list is invalid") << lines[0];
        EXPECT_FALSE(TDiskFile::Exists(target.path));
    }
    create.CreateFields = {";C;10;0", "W1;c;12;0;;  ", "N1;N;6;2", "LONGNAMEDFIELD;C;3;0"};
    EXPECT_TRUE(create.Execute());
    EXPECT_EQ(target.opened, 1);
    TDbfTable t;
    t.Open(target.path);
    ASSERT_EQ(t.FieldCount(), 3);
    EXPECT_EQ(t.Field(0).Name, "W1");
    EXPECT_EQ(t.Field(0).Length, 12);
    EXPECT_EQ(t.Field(1).Decimals, 2);
    EXPECT_EQ(t.Field(2).Name, "LONGNAMEDF");
    t.Close();

    // An existing file is replaced only when the question is answered with OK.
    std::string asked;
    create.CreateFields = {"X;C;1;0"};
    create.ConfirmOverwrite = [&](const std::string& q) {
        asked = q;
        return false;
    };
    EXPECT_FALSE(create.Execute());
    EXPECT_EQ(asked, "Table exists.  Do you want to overwrite?");
    t.Open(target.path);
    EXPECT_EQ(t.FieldCount(), 3);
    t.Close();
    create.ConfirmOverwrite = [](const std::string&) { return true; };
    EXPECT_TRUE(create.Execute());
    t.Open(target.path);
    EXPECT_EQ(t.FieldCount(), 1);
    t.Close();
    asked.clear();
    create.AutoOverwrite = true;
    create.ConfirmOverwrite = [&](const std::string& q) {
        asked = q;
        return false;
    };
    create.CreateFields = {"Y;N;3;0"};
    EXPECT_TRUE(create.Execute());
    EXPECT_TRUE(asked.empty());
}

} // namespace

TEST(DbfCharacterText, EndsAtTheFirstNulAndDropsTrailingBlanksAndControls)
{
    // The rule, byte by byte: text up to the first NUL, then trailing bytes up to 0x20 cut.
    auto expected = [](const std::string &raw) {
        std::string s = raw.substr(0, raw.find('\0'));
        while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20)
            s.pop_back();
        return s;
    };
    const std::vector<std::string> fixed = {
        "", " ", "cat", "cat ", " cat", std::string(80, ' '), "a" + std::string(79, ' '),
        std::string(79, ' ') + "z", std::string(15, 'x') + " ", std::string(16, 'x') + "  y",
        std::string("ab\0cd", 5), std::string("\0abc", 4), std::string(20, ' ') + std::string("\0zz", 3),
        "word\t\t  ", "word \x01 ", std::string(33, 'q') + "\x1f", "\xe0\xff  "};
    for (const std::string &raw : fixed)
        EXPECT_EQ(TDbfTable::CharacterText(raw.data(), raw.size()), expected(raw)) << '"' << raw << '"';
    // Every length up to a few chunks, every byte class at every place.
    std::mt19937 rng(5);
    const char alphabet[] = {' ', ' ', ' ', 'a', '\0', '\t', '\xe0', ' '};
    for (int round = 0; round < 4000; ++round) {
        std::string raw(rng() % 70, ' ');
        for (char &c : raw)
            if (rng() % 4 == 0)
                c = alphabet[rng() % sizeof alphabet];
        ASSERT_EQ(TDbfTable::CharacterText(raw.data(), raw.size()), expected(raw)) << round;
    }
}

TEST(DiskFileStrided, ReadsBytesApartAndGivesUpWhenTheFileIsCutShortMeanwhile)
{
    TempFolder dir;
    const std::string path = dir / "strided.bin";
    {
        std::vector<unsigned char> bytes(300000);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<unsigned char>(i * 7 + 3);
        writeBytes(path, bytes);
    }
    TDiskFile f;
    f.Open(path, true, false);
    const auto bytes = readBytes(path);
    struct Case { uint64_t offset, stride; size_t count; bool whole; };
    const Case cases[] = {
        {0, 1, 10, true}, {353, 556, 539, true}, {5000, 4096, 72, true}, {299999, 1, 1, true},
        {353, 556, 540, false},  // the last would lie past the end
        {300000, 1, 1, false},   {0, 1, 0, true},
    };
    for (const Case &c : cases) {
        std::vector<char> out(c.count, '?');
        ASSERT_EQ(f.ReadStrided(c.offset, c.stride, c.count, out.data()), c.whole) << c.offset << "/" << c.stride;
        if (c.whole)
            for (size_t i = 0; i < c.count; ++i)
                ASSERT_EQ(static_cast<unsigned char>(out[i]), bytes[c.offset + i * c.stride]) << i;
    }

    // Another process cutting the file while it is read: the read gives up, the program goes on.
    const std::string big = dir / "big.bin";
    TDiskFile g;
    g.Create(big);
    const uint64_t size = uint64_t(400) << 20;
    g.Truncate(size);  // sparse: reading it only maps pages
    pid_t cutter = fork();
    if (cutter == 0) {
        usleep(20000);
        _exit(::truncate(big.c_str(), 4096) == 0 ? 0 : 1);
    }
    std::vector<char> out(size / 4096);
    bool whole = g.ReadStrided(0, 4096, out.size(), out.data());
    int status = 0;
    waitpid(cutter, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (whole)
        GTEST_SKIP() << "the read finished before the file was cut; nothing shown";
    EXPECT_FALSE(g.ReadStrided(0, 4096, out.size(), out.data()));
}

// A file read through its map gives what a read call gives: the same bytes, the same short
// reads at the end, and every change made through this process, including a cut that leaves
// the map's last page half past the end. A cut made behind the process's back faults, which
// becomes a short read instead of ending the program.
TEST(DiskFileMapped, ReadsAsCallsDoAndFollowChangesAndCuts)
{
    TempFolder dir;
    const std::string path = dir / "mapped.bin";
    std::vector<unsigned char> bytes(3 * 65536 + 100);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 13 + 1);
    writeBytes(path, bytes);
    TDiskFile f;
    f.Open(path, false, false);
    ASSERT_TRUE(f.MapForReading());

    struct Case { uint64_t offset; size_t n; size_t got; };
    const Case cases[] = {
        {0, 32, 32}, {65530, 20, 20}, {bytes.size() - 10, 10, 10},
        {bytes.size() - 10, 30, 10},  // past the end: what there is
        {bytes.size(), 5, 0}, {bytes.size() + 4096, 5, 0}, {100, 0, 0},
    };
    for (const Case &c : cases) {
        std::vector<char> out(c.n, '?');
        ASSERT_EQ(f.Read(c.offset, out.data(), c.n), c.got) << c.offset;
        EXPECT_EQ(f.LastReadWasShort(), c.got < c.n) << c.offset;
        for (size_t i = 0; i < c.got; ++i)
            ASSERT_EQ(static_cast<unsigned char>(out[i]), bytes[c.offset + i]) << c.offset << "+" << i;
    }

    auto readAt = [&](uint64_t offset, size_t n) {
        std::string out(n, '?');
        f.ReadExact(offset, out.data(), n);
        return out;
    };
    {
        // Written and grown through another open of the file in this process.
        TDiskFile writer;
        writer.Open(path, true, false);
        writer.Write(70000, "changed", 7);
        writer.Write(bytes.size(), "grown", 5);
    }
    EXPECT_EQ(readAt(70000, 7), "changed");
    EXPECT_EQ(readAt(bytes.size() - 2, 7).substr(2), "grown");
    {
        // Cut through another open, inside the map's last page: past it is gone, not zeros.
        TDiskFile cutter;
        cutter.Open(path, true, false);
        cutter.Truncate(2 * 65536 + 10);
    }
    EXPECT_EQ(readAt(2 * 65536, 10)[0], char(bytes[2 * 65536]));
    for (uint64_t at : {uint64_t(2 * 65536 + 5), uint64_t(2 * 65536 + 20), uint64_t(3 * 65536)}) {
        try {
            readAt(at, 10);
            ADD_FAILURE() << "read past the cut at " << at;
        } catch (const EDbfError &e) {
            EXPECT_EQ(e.code(), 221) << at;
        }
    }
    // Cut behind this process's back (as another program would): the pages past the new end
    // fault when touched; the read reports what is there instead.
    ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
    EXPECT_THROW(readAt(65536, 10), EDbfError);
    EXPECT_EQ(readAt(0, 4)[1], char(bytes[1]));

    // A table opened only for reading, by this process alone, reads through such a map.
    const std::string t = CreateDbfTable(dir / "t.dbf", {"WORD;C;20;0"});
    struct Open { bool readWrite, shared, mapped; };
    for (const Open &o : {Open{false, false, true}, Open{true, false, false}, Open{false, true, false}}) {
        TDbfTable table;
        table.Open(t, o.readWrite, o.shared);
        EXPECT_EQ(table.Disk().Mapped(), o.mapped) << o.readWrite << o.shared;
    }
}
