// The reply parser and the catalogue-line parser, as tables of cases.
#include "download/Catalogue.h"
#include "download/FtpReply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using FtpReply::Reader;

namespace {

// Feeds `bytes` (in pieces of `chunk` bytes) and collects what the reader hands out:
// "code:line|line" per reply, "E:<why>" for an error, "..." when it waits for more.
std::string feed(const std::string &bytes, std::size_t chunk)
{
    Reader r;
    std::string out;
    for (std::size_t at = 0; at <= bytes.size(); at += chunk) {
        const std::size_t n = std::min(chunk, bytes.size() - at);
        r.Feed(bytes.data() + at, n);
        for (;;) {
            FtpReply::Reply reply;
            std::string error;
            const Reader::Status s = r.Next(reply, error);
            if (s == Reader::NeedMore)
                break;
            if (s == Reader::Error)
                return out + "E:" + error.substr(0, 30);
            out += std::to_string(reply.code) + ":";
            for (std::size_t i = 0; i < reply.lines.size(); ++i)
                out += (i ? "|" : "") + reply.lines[i];
            out += ";";
        }
        if (n == 0)
            break;
    }
    return out + "...";
}

} // namespace

TEST(FtpReplyCode, Table)
{
    struct {
        const char *line;
        int code;   // -1: no code
        bool more;
    } cases[] = {
        {"220 Ready", 220, false}, {"220-Welcome", 220, true}, {"220 ", 220, false}, {"999 x", 999, false},
        {"220", -1, false},        {"22 x", -1, false},        {"2200 x", -1, false}, {"22a x", -1, false},
        {" 220 x", -1, false},     {"220\tx", -1, false},      {"", -1, false},       {"abc-x", -1, false},
        {"000 zero", 0, false},
    };
    for (const auto &c : cases) {
        const auto code = FtpReply::ParseCode(c.line);
        if (c.code < 0) {
            EXPECT_FALSE(code) << c.line;
            continue;
        }
        ASSERT_TRUE(code) << c.line;
        EXPECT_EQ(code->code, c.code) << c.line;
        EXPECT_EQ(code->more, c.more) << c.line;
    }
}

TEST(FtpReplyReader, Table)
{
    const std::string longLine(FtpReply::kMaxLine + 10, 'x');
    struct {
        const char *name;
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"single", "220 Ready\r\n", "220:220 Ready;..."},
        {"bare line feed", "220 Ready\n", "220:220 Ready;..."},
        {"two replies", "230 In\r\n200 Ok\r\n", "230:230 In;200:200 Ok;..."},
        {"incomplete", "220 Rea", "..."},
        {"multi-line with unprefixed middle",
         "220-Welcome\r\n  blank first\r\nplain\r\n220-again\r\n220 End\r\n",
         "220:220-Welcome|  blank first|plain|220-again|220 End;..."},
        {"another code does not end it", "220-a\r\n230 b\r\n220 c\r\n", "220:220-a|230 b|220 c;..."},
        {"code without separator does not end it", "220-a\r\n220\r\n220 c\r\n", "220:220-a|220|220 c;..."},
        {"no code", "hello\r\n", "E:The server's reply has no code"},
        {"four digits", "2200 x\r\n", "E:The server's reply has no code"},
        {"overlong without end", longLine, "E:The server's reply line is too"},
        {"overlong with end", longLine + "\r\n", "E:The server's reply line is too"},
        {"endless multi-line", "220-a\r\n" + [] {
             std::string s;
             for (std::size_t i = 0; i < FtpReply::kMaxReplyLines + 5; ++i)
                 s += "more\r\n";
             return s;
         }(), "E:The server's reply has too man"},
        {"NUL inside kept", std::string("220 a\0b\r\n", 9), std::string("220:220 a\0b;...", 15)},
    };
    for (const auto &c : cases) {
        for (std::size_t chunk : {std::size_t(1), std::size_t(3), c.bytes.size() + 1})
            EXPECT_EQ(feed(c.bytes, chunk), c.expected) << c.name << " in pieces of " << chunk;
    }
}

TEST(FtpReplyReader, FloodRefusedAndClearForgets)
{
    Reader r;
    const std::string big(FtpReply::kMaxBuffered + 1, '\n');
    r.Feed(big.data(), big.size());
    FtpReply::Reply reply;
    std::string error;
    EXPECT_EQ(r.Next(reply, error), Reader::Error);
    r.Clear();
    const std::string ok = "200 Ok\r\n";
    r.Feed("230-half\r\n", 10);
    r.Clear();
    r.Feed(ok.data(), ok.size());
    ASSERT_EQ(r.Next(reply, error), Reader::Complete);
    EXPECT_EQ(reply.code, 200);
}

TEST(FtpReplySize, Table)
{
    struct {
        std::vector<std::string> lines;
        std::uint64_t size;
    } cases[] = {
        {{"150 Opening BINARY mode data connection for a.wrd (10240 bytes)."}, 10240},
        {{"150 Opening data connection (10240 Bytes)"}, 10240},
        {{"150 10240 bytes follow"}, 10240},
        {{"150 Here it comes"}, 0},
        {{"150 For bytes.wrd"}, 0},                        // the code is no size
        {{"150 (bytes)"}, 0},
        {{"150 file v2 bytes"}, 0},                        // digits glued to a word
        {{"150 12 then 34 bytes"}, 34},
        {{"150 size 5 bytes, total 7 BYTES"}, 7},          // the last BYTE counts
        {{"150-Opening", "150 a.wrd (77 bytes)"}, 77},
        {{"150-Opening 5 bytes", "150 done"}, 5},
        {{"150 5000000000 bytes"}, 5000000000ULL},         // past 32 bits
        {{"150 99999999999999999999 bytes"}, 0},           // past 63 bits
        {{"150 9223372036854775807 bytes"}, 9223372036854775807ULL},
    };
    for (const auto &c : cases) {
        FtpReply::Reply r;
        r.code = 150;
        r.lines = c.lines;
        EXPECT_EQ(FtpReply::AnnouncedSize(r), c.size) << c.lines.back();
    }
}

TEST(FtpReplyPassive, Table)
{
    struct {
        int code;
        const char *line;
        int port;   // 0: none
    } cases[] = {
        {229, "229 Entering Extended Passive Mode (|||6446|)", 6446},
        {229, "229 (!!!1025!)", 1025},
        {229, "229 (|||0|)", 0},
        {229, "229 (|||65536|)", 0},
        {229, "229 (|||123456|)", 0},
        {229, "229 (||1|2|)", 0},
        {229, "229 (|||12|", 0},
        {229, "229 no parenthesis", 0},
        {227, "227 Entering Passive Mode (10,0,0,1,25,26)", 25 * 256 + 26},
        {227, "227 Entering Passive Mode 10,0,0,1,0,21", 21},
        {227, "227 =127,0,0,1,255,255", 65535},
        {227, "227 (10,0,0,1,256,1)", 0},
        {227, "227 (10,0,0,1,0,0)", 0},
        {227, "227 (10,0,0,1,25)", 0},
        {227, "227 (1,2,3,4,5,6,7)", 0},
        {200, "200 (|||6446|)", 0},
    };
    for (const auto &c : cases) {
        FtpReply::Reply r;
        r.code = c.code;
        r.lines = {c.line};
        const auto port = FtpReply::PassivePort(r);
        EXPECT_EQ(port ? int(*port) : 0, c.port) << c.line;
    }
}

TEST(CatalogueLine, Fields)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(Catalogue::SplitLine("English;english.wrd;1500;120"), (V{"English", "english.wrd", "1500", "120"}));
    EXPECT_EQ(Catalogue::SplitLine(" a ; b ;"), (V{" a ", " b ", ""}));
    EXPECT_EQ(Catalogue::SplitLine(""), (V{""}));
    EXPECT_EQ(Catalogue::SplitLine("a;;b;c;d"), (V{"a", "", "b", "c", "d"}));
}

TEST(CatalogueLine, OnlyPlainDictionaryNamesOffered)
{
    struct {
        std::string file;
        bool offered;
    } cases[] = {
        {"english.wrd", true},     {"ENGLISH.WRD", true},        {"\xC0\xED\xE3\xEB.wrd", true},
        {"two words.wrd", true},   {"", false},                  {".wrd", false},
        {"english.txt", false},    {"english.wrd.exe", false},   {"../english.wrd", false},
        {"a/b.wrd", false},        {"a\\b.wrd", false},          {"/etc/x.wrd", false},
        {"..wrd", false},          {"x..wrd", false},            {"a\rDELE b.wrd", false},
        {"a\nb.wrd", false},       {std::string("a\0b.wrd", 7), false}, {"a\x7f.wrd", false},
        {" lead.wrd", false},      {"C:x.wrd", false},           {std::string(252, 'a') + ".wrd", false},
        {std::string(251, 'a') + ".wrd", true},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Catalogue::IsPlainDictionaryFileName(c.file), c.offered) << c.file;
        EXPECT_EQ(Catalogue::ParseLine("Name;" + c.file + ";1;2").has_value(), c.offered) << c.file;
    }
}

TEST(CatalogueLine, EntryText)
{
    const auto e = Catalogue::ParseLine("English;english.wrd;1500;120");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Text(), QStringLiteral("English       (words : 1500, size : 120 Kb)"));
    EXPECT_EQ(e->LocalName(), QStringLiteral("english.wrd"));
    EXPECT_EQ(e->file, "english.wrd");
    // Windows-1251 text is shown in Unicode; a line with only a name and a file still shows.
    const auto ru = Catalogue::ParseLine("\xD0\xF3\xF1\xF1\xEA\xE8\xE9;ru.wrd");
    ASSERT_TRUE(ru);
    EXPECT_EQ(ru->Text(), QStringLiteral("Русский       (words : , size :  Kb)"));
    EXPECT_FALSE(Catalogue::ParseLine("Only a name"));
}

TEST(CatalogueFile, LinesInOrderUnsafeLeftOut)
{
    const std::string bytes = "A;a.wrd;1;1\r\nEvil;../x.wrd;1;1\r\n\r\nB;b.wrd;2;2\nC;c.wrd;3;3";
    const std::vector<Catalogue::Entry> entries = Catalogue::Parse(bytes);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].file, "a.wrd");
    EXPECT_EQ(entries[1].file, "b.wrd");
    EXPECT_EQ(entries[2].file, "c.wrd");
    EXPECT_EQ(entries[1].line, "B;b.wrd;2;2");
}
