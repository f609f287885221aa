// The import reader: how ".csv" and ".txt" files become word records, byte for byte, and how
// UTF-8 files are brought to Windows-1251.
#include "store/ImportReader.h"

#include "common/TestHome.h"

#include <gtest/gtest.h>

namespace {

ImportRecord rec(std::string w1, std::string w2, std::string tr = {}, std::string wav = {})
{
    return ImportRecord{std::move(w1), std::move(w2), std::move(tr), std::move(wav)};
}

} // namespace

// Found by the test framework through the record's own namespace.
void PrintTo(const ImportRecord &r, std::ostream *os)
{
    *os << "{" << r.word1 << "|" << r.word2 << "|" << r.transcript << "|" << r.wavFile << "}";
}

TEST(ImportReader, CsvLinesBecomeRecords)
{
    struct Case {
        const char *name;
        std::string bytes;
        std::vector<ImportRecord> records;
        size_t lines;
    };
    const Case cases[] = {
        {"two parts, Windows-1251 kept as is", "apple;\xFF\xE1\xEB\xEE\xEA\xEE\r\n",
         {rec("apple", "\xFF\xE1\xEB\xEE\xEA\xEE")}, 1},
        {"four parts, a fifth ignored", "apple;\xFF;comment;\\snd\\apple.wav;x",
         {rec("apple", "\xFF", "comment", "\\snd\\apple.wav")}, 1},
        {"empty second part counts, a lone word is skipped", "apple;\nalone\n\npear;b\n",
         {rec("apple", ""), rec("pear", "b")}, 4},
        {"spaces are kept, empty parts count", " a ; b ;;w.wav\n",
         {rec(" a ", " b ", "", "w.wav")}, 1},
        {"CR, LF and CR LF all end lines", "a;1\rb;2\nc;3\r\nd;4",
         {rec("a", "1"), rec("b", "2"), rec("c", "3"), rec("d", "4")}, 4},
        {"CR CR LF is two lines", "a;1\r\r\nb;2\r\n", {rec("a", "1"), rec("b", "2")}, 3},
        {"empty file", "", {}, 0},
        {"only separators", ";", {rec("", "")}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ImportFile f = ImportReader::parse(c.bytes, ImportFormat::Csv);
        EXPECT_EQ(f.records, c.records);
        EXPECT_EQ(f.lineCount, c.lines);
        EXPECT_FALSE(f.fromUtf8);
        EXPECT_FALSE(f.unpairedLastLine);
    }
}

TEST(ImportReader, LinePairsBecomeRecords)
{
    struct Case {
        const char *name;
        std::string bytes;
        std::vector<ImportRecord> records;
        bool unpaired;
    };
    const Case cases[] = {
        {"four lines, two words", "one\n\xEE\xE4\xE8\xED\ntwo\n\xE4\xE2\xE0\n",
         {rec("one", "\xEE\xE4\xE8\xED"), rec("two", "\xE4\xE2\xE0")}, false},
        {"empty lines are values; semicolons are text", "a;b\n\n\nx\r\n",
         {rec("a;b", ""), rec("", "x")}, false},
        {"odd line keeps its word with no translation", "one\n1\nthree",
         {rec("one", "1"), rec("three", "")}, true},
        {"empty file", "", {}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ImportFile f = ImportReader::parse(c.bytes, ImportFormat::LinePairs);
        EXPECT_EQ(f.records, c.records);
        EXPECT_EQ(f.unpairedLastLine, c.unpaired);
    }
}

TEST(ImportReader, Utf8IsConvertedAndMissingCharactersCounted)
{
    struct Case {
        const char *name;
        std::string bytes;
        std::string word1;
        std::string word2;
        bool utf8;
        int lost;
    };
    const Case cases[] = {
        {"valid UTF-8 with Cyrillic", "apple;\xD1\x8F\xD0\xB1\xD0\xBB\xD0\xBE\xD0\xBA\xD0\xBE", "apple",
         "\xFF\xE1\xEB\xEE\xEA\xEE", true, 0},
        {"byte-order mark on plain ASCII", "\xEF\xBB\xBF" "apple;pear", "apple", "pear", true, 0},
        {"characters the code page lacks", "a;\xE6\x97\xA5x\xC3\x9F", "a", "?x?", true, 2},
        {"Windows-1251 that is not UTF-8", "a;\xE4\xEE\xEC", "a", "\xE4\xEE\xEC", false, 0},
        {"invalid bytes after a mark become counted ?", "\xEF\xBB\xBF" "a;\xFF", "a", "?", true, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ImportFile f = ImportReader::parse(c.bytes, ImportFormat::Csv);
        ASSERT_EQ(f.records.size(), 1u);
        EXPECT_EQ(f.records[0].word1, c.word1);
        EXPECT_EQ(f.records[0].word2, c.word2);
        EXPECT_EQ(f.fromUtf8, c.utf8);
        EXPECT_EQ(f.lostCharacters, c.lost);
    }
}

TEST(ImportReader, FormatFollowsTheFileNameEnding)
{
    struct Case { const char *path; ImportFormat format; };
    const Case cases[] = {
        {"/x/Verbs.csv", ImportFormat::Csv},
        {"/x/Verbs.CSV", ImportFormat::Csv},
        {"/x/a.b.Txt", ImportFormat::LinePairs},
        {"/x/a.csvx", ImportFormat::Csv},   // three characters after the dot decide
        {"/x/a.dat", ImportFormat::None},
        {"/x/a.cs", ImportFormat::None},
        {"/x/noext", ImportFormat::None},
        {"/x.csv/noext", ImportFormat::None}, // a folder's dot is no extension
    };
    for (const Case &c : cases)
        EXPECT_EQ(ImportReader::formatOf(QString::fromUtf8(c.path)), c.format) << c.path;
}

TEST(ImportReader, ReadsFilesAndReportsUnreadableOnes)
{
    TestHome home;
    home.writeFile("words.csv", QByteArray("cat;\xEA\xEE\xF2\r\ndog;\xF1\xEE\xE1\xE0\xEA\xE0\r\n"));
    home.writeFile("words.txt", QByteArray("cat\n\xD0\xBA\xD0\xBE\xD1\x82\n"));
    home.writeFile("words.dat", QByteArray("cat;dog\n"));

    const ImportFile csv = ImportReader::read(home.home() + "words.csv");
    EXPECT_EQ(csv.format, ImportFormat::Csv);
    EXPECT_EQ(csv.records, (std::vector<ImportRecord>{rec("cat", "\xEA\xEE\xF2"), rec("dog", "\xF1\xEE\xE1\xE0\xEA\xE0")}));

    const ImportFile txt = ImportReader::read(home.home() + "words.txt");
    EXPECT_EQ(txt.records, (std::vector<ImportRecord>{rec("cat", "\xEA\xEE\xF2")}));
    EXPECT_TRUE(txt.fromUtf8);

    const ImportFile dat = ImportReader::read(home.home() + "words.dat");
    EXPECT_EQ(dat.format, ImportFormat::None);
    EXPECT_TRUE(dat.records.empty());

    EXPECT_THROW(ImportReader::read(home.home() + "missing.csv"), ImportReadError);
    home.writeFile("folder.csv/x", "");
    EXPECT_THROW(ImportReader::read(home.home() + "folder.csv"), ImportReadError);
}
