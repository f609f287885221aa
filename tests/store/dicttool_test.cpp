// wordpop-dict run as the real binary on real files: create, import, export, dump, reindex and
// check in round trips, damaged tables and indexes, and bad arguments.
#include "engine/DataSet.h"

#include "common/FileBytes.h"
#include "common/TestHome.h"
#include "common/ToolRun.h"

#include <QFileInfo>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

void patch(const QString &path, qint64 offset, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(offset));
    f.write(bytes);
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// Files in a folder other than the ones named: leftovers of a failed command.
QStringList strayFiles(const QString &folder, const QStringList &expected)
{
    QStringList stray;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        if (!expected.contains(name))
            stray << name;
    return stray;
}

class DictTool : public ::testing::Test {
protected:
    QString file(const char *name) const { return home.home() + name; }
    TestHome home;
};

} // namespace

TEST_F(DictTool, CreateImportExportReindexCheckRoundTrip)
{
    const QString wrd = file("Verbs.wrd"), cdx = file("Verbs.cdx");
    ToolRun r = dictTool({"create", wrd});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(readAll(wrd).size(), 354); // ten descriptors, 0x0D, 0x1A: an empty topic table

    // Windows-1251 csv, a UTF-8 csv with a character the code page lacks, and a line-pair file.
    home.writeFile("a.csv", QByteArray("go;\xE8\xE4\xF2\xE8;[g\xC9\x99\xCA\x8A];\\SOUND\\go.wav\r\nalone\r\n"));
    home.writeFile("b.csv", QByteArray("be;\xD0\xB1\xD1\x8B\xD1\x82\xD1\x8C \xE6\x97\xA5\n"));
    home.writeFile("c.txt", QByteArray("act\n\xE4\xE5\xE9\xF1\xF2\xE2\xEE\xE2\xE0\xF2\xFC\n"));
    r = dictTool({"import", wrd, file("a.csv"), file("b.csv"), file("c.txt")});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("Added 3 words"), std::string::npos) << r.out;
    // "[gəʊ]" is UTF-8 but the file as a whole is not, so only b.csv is converted.
    EXPECT_NE(r.err.find("b.csv: 1 character that"), std::string::npos) << r.err;

    r = dictTool({"export", wrd});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{
                                "go;\xE8\xE4\xF2\xE8;[g\xC9\x99\xCA\x8A];\\SOUND\\go.wav",
                                "be;\xE1\xFB\xF2\xFC ?;;",
                                "act;\xE4\xE5\xE9\xF1\xF2\xE2\xEE\xE2\xE0\xF2\xFC;;",
                            }));
    r = dictTool({"export", wrd, "--utf8"});
    EXPECT_EQ(lines(r.out)[1], "be;\xD0\xB1\xD1\x8B\xD1\x82\xD1\x8C ?;;");

    // No index yet: check says so and passes on the table alone; --order needs the index.
    r = dictTool({"check", wrd});
    EXPECT_EQ(r.exit, 0) << r.out;
    EXPECT_NE(r.out.find("no index"), std::string::npos) << r.out;
    EXPECT_EQ(dictTool({"export", wrd, "--order", "WORD1"}).exit, 1);

    r = dictTool({"reindex", wrd});
    ASSERT_EQ(r.exit, 0) << r.err;
    ASSERT_TRUE(QFile::exists(cdx));
    r = dictTool({"check", wrd});
    EXPECT_EQ(r.exit, 0) << r.out;

    r = dictTool({"export", wrd, "--order", "word1"});
    ASSERT_EQ(r.exit, 0) << r.err;
    const std::vector<std::string> sorted = lines(r.out);
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(sorted[0].substr(0, 4), "act;");
    EXPECT_EQ(sorted[1].substr(0, 3), "be;");
    EXPECT_EQ(sorted[2].substr(0, 3), "go;");

    // Importing with the index present keeps all four tags exact.
    home.writeFile("d.csv", QByteArray("ask;\xF1\xEF\xF0\xEE\xF1\xE8\xF2\xFC\nzip;\xE7\xE0\xF1\xF2\xE5\xE3\xED\xF3\xF2\xFC\n"));
    r = dictTool({"import", wrd, file("d.csv")});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("Added 2 words"), std::string::npos) << r.out;
    r = dictTool({"check", wrd});
    EXPECT_EQ(r.exit, 0) << r.out;
    r = dictTool({"export", wrd, "--order=WORD1"});
    std::vector<std::string> w1;
    for (const std::string &l : lines(r.out))
        w1.push_back(l.substr(0, l.find(';')));
    EXPECT_EQ(w1, (std::vector<std::string>{"act", "ask", "be", "go", "zip"}));
    EXPECT_EQ(strayFiles(home.home(), {"Verbs.wrd", "Verbs.cdx", "a.csv", "b.csv", "c.txt", "d.csv"}),
              QStringList());
}

TEST_F(DictTool, ImportMakesAMissingDictionaryWithItsIndex)
{
    const QString wrd = file("New.wrd"), cdx = file("New.cdx");
    writeAll(cdx, QByteArray(4096, '\0')); // left over from an earlier table of that name
    // A word longer than its field is cut to the field's 80 characters.
    home.writeFile("w.txt", QByteArray("b\n2\na\n1\n") + QByteArray(100, 'x') + "\ny\n");
    ToolRun r = dictTool({"import", wrd, file("w.txt")});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("Added 3 words"), std::string::npos) << r.out;
    r = dictTool({"check", wrd});
    EXPECT_EQ(r.exit, 0) << r.out;
    EXPECT_EQ(r.out.find("no index"), std::string::npos) << r.out;
    r = dictTool({"export", wrd, "--order", "WORD2"});
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{"a;1;;", "b;2;;", std::string(80, 'x') + ";y;;"}));

    // Another ending reads nothing, and the new dictionary stays empty.
    home.writeFile("x.dat", QByteArray("a;1\n"));
    r = dictTool({"import", file("Empty.wrd"), file("x.dat")});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("Added 0 words"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("not a .csv or .txt"), std::string::npos) << r.err;
    EXPECT_EQ(readAll(file("Empty.wrd")).size(), 354);
    EXPECT_EQ(dictTool({"check", file("Empty.wrd")}).exit, 0);
    EXPECT_EQ(strayFiles(home.home(), {"New.wrd", "New.cdx", "w.txt", "x.dat", "Empty.wrd", "Empty.cdx"}),
              QStringList());
}

// Words imported into a dictionary that holds none give the files an import into a new one
// gives: the index is built once after the appends, byte for byte as a new dictionary's, and the
// table differs only in its change stamp.
TEST_F(DictTool, ImportIntoAnEmptyDictionaryWritesWhatANewOneGets)
{
    QByteArray words;
    for (int i = 0; i < 500; ++i)
        words += "w" + QByteArray::number(i * 7919 % 500) + ";" + QByteArray::number(i % 7) + "\n";
    home.writeFile("w.csv", words);
    ASSERT_EQ(dictTool({"import", file("New.wrd"), file("w.csv")}).exit, 0);
    ASSERT_EQ(dictTool({"create", file("Empty.wrd")}).exit, 0);
    ASSERT_EQ(dictTool({"reindex", file("Empty.wrd")}).exit, 0);
    const ToolRun r = dictTool({"import", file("Empty.wrd"), file("w.csv")});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(readAll(file("Empty.cdx")), readAll(file("New.cdx")));
    QByteArray a = readAll(file("Empty.wrd")), b = readAll(file("New.wrd"));
    ASSERT_EQ(a.size(), b.size());
    a.replace(16, 4, "....");
    b.replace(16, 4, "....");
    EXPECT_EQ(a, b);
    EXPECT_EQ(dictTool({"check", file("Empty.wrd")}).exit, 0);
}

// Files the tool makes are the user's ordinary files (0666 less the umask), and a dictionary it
// replaces keeps its mode, though they are written as private temporaries first.
TEST_F(DictTool, MadeAndReplacedFilesKeepOrdinaryModes)
{
    const mode_t old = ::umask(022);
    const QString wrd = file("Modes.wrd");
    home.writeFile("w.csv", QByteArray("a;1\n"));
    EXPECT_EQ(dictTool({"import", wrd, file("w.csv")}).exit, 0);
    EXPECT_EQ(QFileInfo(wrd).permissions() & 0x7777, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                                         QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);
    ASSERT_TRUE(QFile::setPermissions(wrd, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                               QFile::WriteUser | QFile::ReadGroup));
    EXPECT_EQ(dictTool({"import", wrd, file("w.csv")}).exit, 0);
    EXPECT_EQ(QFileInfo(wrd).permissions() & 0x7777,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
    ::umask(old);
}

TEST_F(DictTool, DumpShowsEveryFieldAndDeletedRecordsOnRequest)
{
    const QString wrd = file("Done.wrd");
    ASSERT_EQ(dictTool({"create", wrd, "--learned"}).exit, 0);
    home.writeFile("w.csv", QByteArray("one;1\ntwo;2\nthree;3\n"));
    ASSERT_EQ(dictTool({"import", wrd, file("w.csv")}).exit, 0);
    {
        // The second word is deleted and the third gets counters and a date, through the cursor.
        TDbfDataSet ds;
        ds.SetTableName(wrd.toStdString());
        ds.SetExclusive(true);
        ds.Open();
        ds.SetRecNo(3);
        ds.Edit();
        ds.FieldByName("MISS").SetAsInteger(4);
        ds.FieldByName("WAVEND").SetAsInteger(123456);
        ds.FieldByName("DATE").SetAsDateTime(EncodeDate(2024, 2, 29));
        ds.Post();
        ds.SetRecNo(2);
        ds.Delete();
        ds.Close();
    }
    ToolRun r = dictTool({"dump", wrd});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{
                                "1\tone\t1\t\t0\t0\t0\t0\t\t0\t0\t",
                                "3\tthree\t3\t\t4\t0\t0\t0\t\t0\t123456\t20240229",
                            }));
    r = dictTool({"dump", wrd, "--deleted"});
    ASSERT_EQ(lines(r.out).size(), 3u);
    EXPECT_EQ(lines(r.out)[1], "2*\ttwo\t2\t\t0\t0\t0\t0\t\t0\t0\t");
    EXPECT_EQ(lines(r.out)[0].substr(0, 2), "1\t");

    ASSERT_EQ(dictTool({"reindex", wrd}).exit, 0);
    r = dictTool({"dump", wrd, "--order", "MISS"});
    ASSERT_EQ(lines(r.out).size(), 2u);
    EXPECT_EQ(lines(r.out)[0].substr(0, 2), "1\t");
    EXPECT_EQ(lines(r.out)[1].substr(0, 2), "3\t");
    EXPECT_EQ(dictTool({"check", wrd}).exit, 0);
}

// Files other programs write: T.dbf beside T.CDX, index pages whose attributes carry a further
// bit (7 for a root leaf), empty dates stored as seven blanks and "0", and a header with room
// after the descriptors' terminator. Each is opened, walked in tag order, written to and checked.
TEST_F(DictTool, ForeignShapesOpenWalkAndCheckAsSound)
{
    const QString dbf = file("T.dbf");
    ASSERT_EQ(dictTool({"create", dbf, "--learned"}).exit, 0);
    home.writeFile("w.csv", QByteArray("b;1\na;2\nc;3\n"));
    ASSERT_EQ(dictTool({"import", dbf, file("w.csv")}).exit, 0);
    ASSERT_EQ(dictTool({"reindex", dbf}).exit, 0);
    ASSERT_TRUE(QFile::rename(file("T.cdx"), file("T.CDX")));
    // Learned layout: header 385 bytes, records of 564 with DATE at 556. Index: the directory
    // root leaf at 1024, then per tag a header and one root leaf (MISS, KBMISS, WORD1, WORD2).
    for (int n = 0; n < 3; ++n)
        patch(dbf, 385 + n * 564 + 556, "       0");
    for (qint64 page : {1024, 2560, 4096, 5632, 7168}) {
        ASSERT_EQ(readAll(file("T.CDX")).mid(int(page), 2), QByteArray("\x03\x00", 2)) << page;
        patch(file("T.CDX"), page, QByteArray("\x07\x00", 2));
    }

    const std::vector<std::string> inOrder{"a;2;;", "b;1;;", "c;3;;"};
    ToolRun r = dictTool({"export", dbf, "--order", "WORD1"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(lines(r.out), inOrder);
    r = dictTool({"dump", file("t.DBF"), "--order", "word2"}); // the table itself named in another case
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{"1\tb\t1\t\t0\t0\t0\t0\t\t0\t0\t",
                                                      "2\ta\t2\t\t0\t0\t0\t0\t\t0\t0\t",
                                                      "3\tc\t3\t\t0\t0\t0\t0\t\t0\t0\t"}));
    r = dictTool({"check", dbf});
    EXPECT_EQ(r.exit, 0) << r.out;
    EXPECT_NE(r.out.find(": sound"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("no index"), std::string::npos) << r.out;

    // Words added go into T.CDX; no second index appears beside it.
    home.writeFile("x.csv", QByteArray("0;4\n"));
    r = dictTool({"import", dbf, file("x.csv")});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(dictTool({"check", dbf}).exit, 0);
    r = dictTool({"export", dbf, "--order", "WORD1"});
    EXPECT_EQ(lines(r.out).front(), "0;4;;");
    EXPECT_EQ(strayFiles(home.home(), {"T.dbf", "T.CDX", "w.csv", "x.csv"}), QStringList());

    // Room for one descriptor more after the terminator, as some writers leave it.
    QByteArray bytes = readAll(dbf);
    bytes.insert(385, QByteArray(32, '\0'));
    bytes[8] = char(385 + 32);
    bytes[9] = char((385 + 32) >> 8);
    writeAll(dbf, bytes);
    r = dictTool({"check", dbf});
    EXPECT_EQ(r.exit, 0) << r.out;
    r = dictTool({"export", dbf, "--order", "WORD1"});
    EXPECT_EQ(lines(r.out).size(), 4u) << r.err;
}

TEST_F(DictTool, ReindexLeavesTheTableAndReplacesAStaleIndex)
{
    const QString wrd = file("T.wrd"), cdx = file("T.cdx");
    ASSERT_EQ(dictTool({"create", wrd}).exit, 0);
    home.writeFile("w.csv", QByteArray("b;1\na;2\nc;3\n"));
    ASSERT_EQ(dictTool({"import", wrd, file("w.csv")}).exit, 0);
    writeAll(cdx, QByteArray(2048, 'x')); // not an index at all
    EXPECT_EQ(dictTool({"check", wrd}).exit, 1);
    EXPECT_EQ(dictTool({"import", wrd, file("w.csv")}).exit, 1); // a damaged index is not written through
    const QByteArray table = readAll(wrd);

    ToolRun r = dictTool({"reindex", wrd});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(readAll(wrd), table);
    r = dictTool({"check", wrd});
    EXPECT_EQ(r.exit, 0) << r.out;
    EXPECT_EQ(strayFiles(home.home(), {"T.wrd", "T.cdx", "w.csv"}), QStringList());
}

TEST_F(DictTool, CheckFindsDamage)
{
    struct Case {
        const char *name;
        std::function<void(const QString &wrd, const QString &cdx)> damage;
        const char *says;
    };
    // Three records, four tags of one leaf each: the WORD1 root leaf is the seventh page pair
    // in the order MISS, KBMISS, WORD1, WORD2 (header 4608, root 5632).
    const Case cases[] = {
        {"a WORD1 key byte in the index", [](const QString &, const QString &cdx) { patch(cdx, 5632 + 511, "~"); },
         "T.cdx"},
        {"a record changed behind the index's back",
         [](const QString &wrd, const QString &) { patch(wrd, 353 + 1, "z"); }, "T.cdx"},
        {"an index cut short", [](const QString &, const QString &cdx) { QFile::resize(cdx, 1000); }, "T.cdx"},
        {"header count wrong", [](const QString &wrd, const QString &) { patch(wrd, 4, QByteArray("\x09\0\0\0", 4)); },
         "header counts 9"},
        {"a partial record", [](const QString &wrd, const QString &) { QFile::resize(wrd, 353 + 3 * 556 + 100); },
         "partial record"},
        {"a number that is none", [](const QString &wrd, const QString &) { patch(wrd, 353 + 1 + 240, "  x 1"); },
         "no number"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestHome h;
        const QString wrd = h.home() + "T.wrd", cdx = h.home() + "T.cdx";
        ASSERT_EQ(dictTool({"create", wrd}).exit, 0);
        h.writeFile("w.csv", QByteArray("b;1\na;2\nc;3\n"));
        ASSERT_EQ(dictTool({"import", wrd, h.home() + "w.csv"}).exit, 0);
        ASSERT_EQ(dictTool({"reindex", wrd}).exit, 0);
        ASSERT_EQ(dictTool({"check", wrd}).exit, 0);
        c.damage(wrd, cdx);
        const ToolRun r = dictTool({"check", wrd});
        EXPECT_EQ(r.exit, 1) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    }
}

TEST_F(DictTool, BadArgumentsAndFilesFailCleanly)
{
    const QString wrd = file("D.wrd");
    ASSERT_EQ(dictTool({"create", wrd}).exit, 0);
    home.writeFile("w.csv", QByteArray("a;1\n"));
    home.writeFile("junk.wrd", QByteArray("this is not a table at all, just some text"));
    const QByteArray before = readAll(wrd);

    struct Case {
        QStringList args;
        int exit;
        const char *says;
    };
    const Case cases[] = {
        {{}, 2, "no command"},
        {{"frobnicate", wrd}, 2, "unknown command"},
        {{"export"}, 2, "needs a dictionary"},
        {{"export", wrd, "--learned"}, 2, "unknown option"},
        {{"export", wrd, "--order"}, 2, "needs a tag"},
        {{"create", wrd, "extra"}, 2, "unexpected argument"},
        {{"import", wrd}, 2, "at least one"},
        {{"create", wrd}, 1, "already exists"},
        {{"export", file("missing.wrd")}, 1, "no such dictionary"},
        {{"import", wrd, file("w.csv"), file("missing.csv")}, 1, "missing.csv"},
        {{"import", file("new.wrd"), file("missing.csv")}, 1, "missing.csv"},
        {{"import", wrd, file("missing.dat")}, 1, "missing.dat"},
        {{"dump", file("junk.wrd")}, 1, "junk.wrd"},
        {{"reindex", file("junk.wrd")}, 1, "junk.wrd"},
        {{"check", file("junk.wrd")}, 1, "junk.wrd"},
        {{"export", wrd, "--order", "WORD1"}, 1, "D.cdx"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ToolRun r = dictTool(c.args);
        EXPECT_EQ(r.exit, c.exit) << r.out << r.err;
        EXPECT_NE((r.err + r.out).find(c.says), std::string::npos) << r.err;
    }
    // Nothing was changed or left behind by any of them.
    EXPECT_EQ(readAll(wrd), before);
    EXPECT_EQ(strayFiles(home.home(), {"D.wrd", "w.csv", "junk.wrd"}), QStringList());

    ASSERT_EQ(dictTool({"reindex", wrd}).exit, 0);
    const ToolRun r = dictTool({"export", wrd, "--order", "NOSUCH"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("NOSUCH"), std::string::npos) << r.err;
}

TEST_F(DictTool, ADictionaryInUseIsLeftAlone)
{
    const QString wrd = file("Busy.wrd");
    ASSERT_EQ(dictTool({"create", wrd}).exit, 0);
    home.writeFile("w.csv", QByteArray("a;1\n"));
    const QByteArray before = readAll(wrd);

    // Held the way the program holds its open dictionary.
    TDbfDataSet words;
    words.SetTableName(wrd.toStdString());
    words.SetExclusive(true);
    words.Open();
    for (const char *command : {"import", "reindex"}) {
        SCOPED_TRACE(command);
        QStringList args{command, wrd};
        if (QLatin1String(command) == QLatin1String("import"))
            args << file("w.csv");
        const ToolRun r = dictTool(args);
        EXPECT_EQ(r.exit, 1) << r.out;
        EXPECT_NE(r.err.find("Busy.wrd"), std::string::npos) << r.err;
    }
    words.Close();
    EXPECT_EQ(readAll(wrd), before);
    EXPECT_EQ(strayFiles(home.home(), {"Busy.wrd", "w.csv"}), QStringList());
    EXPECT_EQ(dictTool({"import", wrd, file("w.csv")}).exit, 0);
}

TEST_F(DictTool, DamagedFilesNeverCrashIt)
{
    // A dictionary big enough for interior index pages, then random bytes of its table or its
    // index overwritten: every command ends with a verdict or an error, never with a crash.
    const QString wrd = file("R.wrd"), cdx = file("R.cdx");
    QByteArray csv;
    for (int i = 0; i < 300; ++i)
        csv += "word" + QByteArray::number(i * 7919 % 1000) + ";w" + QByteArray::number(i) + ";[t];\n";
    home.writeFile("w.csv", csv);
    ASSERT_EQ(dictTool({"import", wrd, file("w.csv")}).exit, 0);
    const QByteArray table = readAll(wrd), index = readAll(cdx);
    ASSERT_GT(index.size(), 4096);

    std::mt19937 rng(7);
    for (int round = 0; round < 16; ++round) {
        const bool hitIndex = round % 2 == 1;
        QByteArray t = table, x = index;
        QByteArray &victim = hitIndex ? x : t;
        for (int k = 0; k < 1 + round % 4; ++k) {
            const qsizetype at = qsizetype(rng() % unsigned(victim.size()));
            victim[at] = char(rng());
        }
        if (round % 5 == 4)
            victim.truncate(qsizetype(rng() % unsigned(victim.size())));
        writeAll(wrd, t);
        writeAll(cdx, x);
        for (const QStringList &args : {QStringList{"check", wrd}, QStringList{"dump", wrd, "--order", "WORD1"}}) {
            SCOPED_TRACE(("round " + QString::number(round) + ": " + args.join(' ')).toStdString());
            const ToolRun r = dictTool(args);
            EXPECT_TRUE(r.exit == 0 || r.exit == 1) << r.exit << r.err;
            EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
        }
    }
}
