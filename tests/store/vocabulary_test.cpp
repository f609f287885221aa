// Vocabularies of other trainers: KVTML 1 and 2 and Anki packages of each collection form, made
// in the tests, read by the readers and imported by the real wordpop-dict; hostile files refused
// with nothing left behind; export to KVTML and tab-separated text.
#include "VocabFixtures.h"

#include "store/AnkiReader.h"
#include "store/KvtmlReader.h"
#include "store/Vocabulary.h"

#include "common/TestHome.h"
#include "common/ToolRun.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace fixtures;

namespace {

// Rows of a dictionary as "WORD1|WORD2|TRANSCRIPT|WAVFILE", in UTF-8.
std::vector<std::string> rows(const QString &wrd)
{
    const ToolRun r = dictTool({"dump", wrd, "--utf8"});
    EXPECT_EQ(r.exit, 0) << r.err;
    std::vector<std::string> out;
    for (const QString &line : QString::fromStdString(r.out).split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split('\t');
        out.push_back(QStringList{f.value(1), f.value(2), f.value(3), f.value(8)}.join('|').toStdString());
    }
    return out;
}

// Every file below a folder, relative to it.
QStringList filesBelow(const QString &folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next().mid(folder.size());
    out.sort();
    return out;
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray kvtml2(const QString &locale0, const QString &locale1, const QString &body,
                  const QString &lessons = {})
{
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!DOCTYPE kvtml PUBLIC \"kvtml2.dtd\" \"http://edu.kde.org/kvtml/kvtml2.dtd\">\n"
               "<kvtml version=\"2.0\"><information><title>t</title></information>\n"
               "<identifiers><identifier id=\"0\"><name>A</name><locale>%1</locale></identifier>\n"
               "<identifier id=\"1\"><name>B</name><locale>%2</locale></identifier></identifiers>\n"
               "<entries>%3</entries><lessons>%4</lessons></kvtml>\n")
        .arg(locale0, locale1, body, lessons)
        .toUtf8();
}

QString entry(int id, const QString &a, const QString &b, const QString &extra0 = {})
{
    return QStringLiteral("<entry id=\"%1\"><translation id=\"0\"><text>%2</text>%4</translation>"
                          "<translation id=\"1\"><text>%3</text></translation></entry>")
        .arg(id)
        .arg(a, b, extra0);
}

std::vector<std::string> words(const Vocabulary &v, size_t group = 0)
{
    std::vector<std::string> out;
    for (const VocabEntry &e : v.groups.at(group).entries)
        out.push_back((e.word1 + "|" + e.word2 + "|" + e.transcript).toStdString());
    return out;
}

} // namespace

TEST(VocabText, HtmlAndMediaNames)
{
    const struct {
        const char *html, *text;
    } html[] = {
        {"<b>house</b>", "house"},
        {"a<br>b<div>c</div>", "a b c"},
        {"&lt;tag&gt; &amp; &quot;q&quot; &#1076;&#x43E;&#x43c;", "<tag> & \"q\" \xD0\xB4\xD0\xBE\xD0\xBC"},
        {"x&nbsp;&nbsp; y", "x y"},
        {"&bogus; &#0; &#xD800; 5 < 6", "&bogus; &#0; &#xD800; 5 < 6"},
        {"<style>p{}</style>word<script>x()</script>", "word"},
        {"  lead <i>and</i>\n trail  ", "lead and trail"},
    };
    for (const auto &c : html)
        EXPECT_EQ(Vocab::htmlToText(QString::fromUtf8(c.html)).toStdString(), c.text) << c.html;

    const struct {
        const char *name, *plain;
    } names[] = {
        {"a.mp3", "a.mp3"},
        {"../../etc/passwd", "passwd"},
        {"C:\\Windows\\x.wav", "x.wav"},
        {"/abs/y.ogg", "y.ogg"},
        {"..", ""},
        {".hidden.mp3", "hidden.mp3"},
        {"", ""},
        {"dir/", ""},
        {"a\nb?.wav", "ab.wav"},
        {"\xE6\x97\xA5.mp3", "_.mp3"}, // a character Windows-1251 lacks
        {"\xD0\xB4\xD0\xBE\xD0\xBC.wav", "\xD0\xB4\xD0\xBE\xD0\xBC.wav"},
    };
    for (const auto &c : names)
        EXPECT_EQ(Vocab::plainMediaName(QString::fromUtf8(c.name)).toStdString(), c.plain) << c.name;
}

// Sounds never replace a file of another content, the stored name always resolves (a folder
// name in characters Windows-1251 holds), and a store that is not committed takes back all it
// made.
TEST(VocabSounds, StoreNamesAndRollback)
{
    TestHome home;
    ProgramFolder::resolve();
    home.writeFile("SOUND/Verbs/go.mp3", "older go");
    {
        Vocab::SoundStore store;
        EXPECT_EQ(store.add("Verbs", "go.mp3", "new go", "src"), "\\SOUND\\Verbs\\go-2.mp3");
        EXPECT_EQ(store.add("Verbs", "go.mp3", "new go", "src"), "\\SOUND\\Verbs\\go-2.mp3");
        EXPECT_EQ(store.add("Verbs", "same.mp3", "x", "src"), "\\SOUND\\Verbs\\same.mp3");
        EXPECT_EQ(store.add(QString::fromUtf8("\xE6\x97\xA5 - Kana"), "a.mp3", "a", "src"),
                  "\\SOUND\\_ - Kana\\a.mp3");
        EXPECT_EQ(home.readFile("SOUND/_ - Kana/a.mp3"), "a");
    }
    EXPECT_EQ(home.readFile("SOUND/Verbs/go.mp3"), "older go");
    EXPECT_FALSE(QFile::exists(home.home() + "SOUND/Verbs/go-2.mp3"));
    EXPECT_FALSE(QFile::exists(home.home() + "SOUND/Verbs/same.mp3"));
    EXPECT_FALSE(QFile::exists(home.home() + "SOUND/_ - Kana"));
    {
        Vocab::SoundStore store;
        home.writeFile("SOUND/Verbs/same.mp3", "x");
        // The same bytes already there are shared, and stay when the store is not committed.
        EXPECT_EQ(store.add("Verbs", "same.mp3", "x", "src"), "\\SOUND\\Verbs\\same.mp3");
        EXPECT_EQ(store.add("Verbs", "b.mp3", "b", "src"), "\\SOUND\\Verbs\\b.mp3");
        store.commit();
    }
    EXPECT_EQ(home.readFile("SOUND/Verbs/same.mp3"), "x");
    EXPECT_EQ(home.readFile("SOUND/Verbs/b.mp3"), "b");
}

// Which identifier becomes WORD1: the Russian one is native, else 0 is studied; --from and --to
// choose.
TEST(VocabKvtml, DirectionRule)
{
    const struct {
        const char *l0, *l1, *from, *to;
        const char *word1; // "zero" or "one", or an error fragment
    } cases[] = {
        {"en", "ru", "", "", "zero"},
        {"ru", "de", "", "", "one"},
        {"de", "fr", "", "", "zero"},
        {"en_GB", "ru_RU", "", "", "zero"},
        {"de", "fr", "fr", "", "one"},
        {"de", "fr", "", "de", "one"},
        {"en", "ru", "ru", "en", "one"},
        {"en", "ru", "EN", "", "zero"},
        {"en", "ru", "xx", "", "--from xx"},
        {"en", "ru", "en", "en", "same language"},
    };
    for (const auto &c : cases) {
        Vocab::ReadOptions o;
        o.fromLocale = c.from;
        o.toLocale = c.to;
        const QByteArray file = kvtml2(c.l0, c.l1, entry(0, "zero", "one"));
        try {
            const Vocabulary v = KvtmlReader::parse(file, "d.kvtml", o);
            ASSERT_EQ(v.groups.size(), 1u);
            ASSERT_EQ(v.groups[0].entries.size(), 1u);
            EXPECT_EQ(v.groups[0].entries[0].word1.toStdString(), c.word1) << c.l0 << " " << c.l1;
        } catch (const VocabularyError &e) {
            EXPECT_NE(std::string(e.what()).find(c.word1), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("d.kvtml"), std::string::npos);
        }
    }
}

TEST(VocabKvtml, VersionsOneAndTwoWithLessons)
{
    // KVTML 1: <o> and <t>, pronunciation in "p", lessons by number.
    const QByteArray v1 =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE kvtml SYSTEM \"kvoctrain.dtd\">\n"
        "<kvtml encoding=\"UTF-8\" generator=\"kvoctrain\" cols=\"2\" lines=\"3\" title=\"x\">\n"
        " <lesson width=\"1\"><desc no=\"1\">Home</desc><desc no=\"2\">Food</desc></lesson>\n"
        " <e m=\"1\"><o l=\"ru\">\xD0\xB4\xD0\xBE\xD0\xBC</o><t l=\"en\" p=\"ha\xCA\x8As\">house</t></e>\n"
        " <e m=\"2\"><o>\xD1\x85\xD0\xBB\xD0\xB5\xD0\xB1</o><t>bread</t></e>\n"
        " <e m=\"1\"><o>\xD0\xB4\xD0\xB2\xD0\xB5\xD1\x80\xD1\x8C</o><t>door</t></e>\n"
        " <e><o></o><t>empty</t></e>\n"
        "</kvtml>\n";
    Vocab::ReadOptions whole;
    Vocabulary v = KvtmlReader::parse(v1, "v1.kvtml", whole);
    ASSERT_EQ(v.groups.size(), 1u);
    // Russian is identifier 0 here, so the translations are studied.
    EXPECT_EQ(words(v), (std::vector<std::string>{"house|\xD0\xB4\xD0\xBE\xD0\xBC|ha\xCA\x8As",
                                                  "bread|\xD1\x85\xD0\xBB\xD0\xB5\xD0\xB1|",
                                                  "door|\xD0\xB4\xD0\xB2\xD0\xB5\xD1\x80\xD1\x8C|"}));
    EXPECT_EQ(v.skippedEmpty, 1);
    Vocab::ReadOptions split;
    split.splitLessons = true;
    v = KvtmlReader::parse(v1, "v1.kvtml", split);
    ASSERT_EQ(v.groups.size(), 2u);
    EXPECT_EQ(v.groups[0].name, "Home");
    EXPECT_EQ(v.groups[0].entries.size(), 2u);
    EXPECT_EQ(v.groups[1].name, "Food");

    // KVTML 2: pronunciation, nested lessons, a word in no lesson, a word in two lessons.
    const QByteArray v2 = kvtml2(
        "de", "ru",
        entry(0, "Haus", "\xD0\xB4\xD0\xBE\xD0\xBC", "<pronunciation>ha\xCA\x8As</pronunciation>") +
            entry(1, "Brot", "\xD1\x85\xD0\xBB\xD0\xB5\xD0\xB1") + entry(2, "T\xC3\xBCr", "\xD0\xB4\xD0\xB2\xD0\xB5\xD1\x80\xD1\x8C") +
            entry(3, "  frei  &amp; los ", "\xD1\x81\xD0\xB2\xD0\xBE\xD0\xB1\xD0\xBE\xD0\xB4\xD0\xBD\xD1\x8B\xD0\xB9"),
        "<container><name>Home</name><entry id=\"0\"/><entry id=\"2\"/>"
        "<container><name>Kitchen</name><entry id=\"1\"/><entry id=\"0\"/></container></container>");
    v = KvtmlReader::parse(v2, "v2.kvtml", whole);
    ASSERT_EQ(v.groups.size(), 1u);
    ASSERT_EQ(v.groups[0].entries.size(), 4u);
    EXPECT_EQ(words(v)[0], "Haus|\xD0\xB4\xD0\xBE\xD0\xBC|ha\xCA\x8As");
    EXPECT_EQ(words(v)[3], "frei & los|\xD1\x81\xD0\xB2\xD0\xBE\xD0\xB1\xD0\xBE\xD0\xB4\xD0\xBD\xD1\x8B\xD0\xB9|");
    v = KvtmlReader::parse(v2, "v2.kvtml", split);
    ASSERT_EQ(v.groups.size(), 3u);
    EXPECT_EQ(v.groups[0].name, "Home");
    EXPECT_EQ(v.groups[0].entries.size(), 2u); // Haus, Tür
    EXPECT_EQ(v.groups[1].name, "Home - Kitchen");
    EXPECT_EQ(v.groups[1].entries.size(), 1u); // Brot: Haus went to its first lesson
    EXPECT_EQ(v.groups[2].name, "");
    EXPECT_EQ(v.groups[2].entries.size(), 1u);
}

class VocabTool : public ::testing::Test {
protected:
    QString file(const QString &name) const { return home.home() + name; }
    TestHome home;
};

TEST_F(VocabTool, KvtmlWithSoundBesideAndLessonsSplit)
{
    QDir().mkpath(file("in"));
    QDir().mkpath(file("out"));
    writeAll(file("in/house.wav"), "RIFF-house");
    const QByteArray v2 = kvtml2(
        "en", "ru",
        entry(0, "house", "\xD0\xB4\xD0\xBE\xD0\xBC",
              "<pronunciation>ha\xCA\x8As</pronunciation><sound>file:///somewhere/else/house.wav</sound>") +
            entry(1, "bread", "\xD1\x85\xD0\xBB\xD0\xB5\xD0\xB1", "<sound>../../missing.wav</sound>") +
            entry(2, "\xE6\x97\xA5", "\xD1\x81\xD0\xBE\xD0\xBB\xD0\xBD\xD1\x86\xD0\xB5"),
        "<container><name>Home</name><entry id=\"0\"/></container>"
        "<container><name>Food</name><entry id=\"1\"/><entry id=\"2\"/></container>");
    writeAll(file("in/Words.kvtml"), v2);

    ToolRun r = dictTool({"import", file("out/Words.wrd"), file("in/Words.kvtml")});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(rows(file("out/Words.wrd")),
              (std::vector<std::string>{"house|\xD0\xB4\xD0\xBE\xD0\xBC|ha?s|\\SOUND\\Words\\house.wav",
                                        "bread|\xD1\x85\xD0\xBB\xD0\xB5\xD0\xB1||",
                                        "?|\xD1\x81\xD0\xBE\xD0\xBB\xD0\xBD\xD1\x86\xD0\xB5||"}));
    EXPECT_EQ(home.readFile("SOUND/Words/house.wav"), "RIFF-house");
    EXPECT_NE(r.err.find("2 characters that Windows-1251 lacks"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 sound named but not found"), std::string::npos) << r.err;

    r = dictTool({"import", file("out/Lessons.wrd"), file("in/Words.kvtml"), "--split-lessons", "--from", "ru"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_FALSE(QFile::exists(file("out/Lessons.wrd")));
    EXPECT_EQ(rows(file("out/Lessons - Home.wrd")),
              (std::vector<std::string>{"\xD0\xB4\xD0\xBE\xD0\xBC|house||\\SOUND\\Lessons - Home\\house.wav"}));
    EXPECT_EQ(rows(file("out/Lessons - Food.wrd")).size(), 2u);
}

struct PackageForm {
    Collection form;
    const char *ext;
};

class VocabAnki : public VocabTool, public ::testing::WithParamInterface<PackageForm> {};

TEST_P(VocabAnki, DecksFieldsSoundsAndSkippedNotes)
{
    const PackageForm pf = GetParam();
    const QString sep(QChar(0x1f));
    const std::vector<Note> notes = {
        {2, "<b>go</b>[sound:go.mp3]" + sep + "\xD0\xB8\xD0\xB4\xD1\x82\xD0\xB8&nbsp;" + sep + "extra"},
        {3, "cat" + sep + "\xD0\xBA\xD0\xBE\xD1\x82" + sep + "[sound:../../cat.mp3]"},
        {2, "{{c1::x}}" + sep + "", 2},           // cloze
        {3, "<br>" + sep + "\xD0\xBF\xD1\x83\xD1\x81\xD1\x82\xD0\xBE"}, // empty side
        {2, "run" + sep + "\xD0\xB1\xD0\xB5\xD0\xB6\xD0\xB0\xD1\x82\xD1\x8C" + sep + "[sound:gone.mp3]"},
    };
    const auto entries = package(pf.form, {{1, "Default"}, {2, "Lang::Verbs"}, {3, "Nouns"}}, notes,
                                 {{"go.mp3", "ID3-go"}, {"cat.mp3", "ID3-cat"}});
    QDir().mkpath(file("out"));
    const QString pkg = file(QStringLiteral("Pack.") + pf.ext);
    ASSERT_TRUE(writeZip(pkg, entries));

    ToolRun r = dictTool({"import", file("out/Pack.wrd"), pkg});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(rows(file("out/Pack - Lang - Verbs.wrd")),
              (std::vector<std::string>{"go|\xD0\xB8\xD0\xB4\xD1\x82\xD0\xB8||\\SOUND\\Pack - Lang - Verbs\\go.mp3",
                                        "run|\xD0\xB1\xD0\xB5\xD0\xB6\xD0\xB0\xD1\x82\xD1\x8C||"}));
    EXPECT_EQ(rows(file("out/Pack - Nouns.wrd")),
              (std::vector<std::string>{"cat|\xD0\xBA\xD0\xBE\xD1\x82||\\SOUND\\Pack - Nouns\\cat.mp3"}));
    EXPECT_EQ(home.readFile("SOUND/Pack - Lang - Verbs/go.mp3"), "ID3-go");
    EXPECT_EQ(home.readFile("SOUND/Pack - Nouns/cat.mp3"), "ID3-cat");
    EXPECT_NE(r.err.find("1 cloze note left out"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 entry with an empty side"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 sound named but not found"), std::string::npos) << r.err;

    // One deck (with its sub-decks) by name, and other fields.
    r = dictTool({"import", file("out/Only.wrd"), pkg, "--deck", "lang", "--fields", "2,1"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(rows(file("out/Only.wrd")),
              (std::vector<std::string>{"\xD0\xB8\xD0\xB4\xD1\x82\xD0\xB8|go||\\SOUND\\Only\\go.mp3",
                                        "\xD0\xB1\xD0\xB5\xD0\xB6\xD0\xB0\xD1\x82\xD1\x8C|run||"}));
    r = dictTool({"import", file("out/None.wrd"), pkg, "--deck", "Nope"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("no such deck"), std::string::npos) << r.err;
    r = dictTool({"import", file("out/Few.wrd"), pkg, "--fields", "1,4"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.err.find("4 notes with fewer fields"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Forms, VocabAnki,
                         ::testing::Values(PackageForm{Collection::Anki2, "apkg"},
                                           PackageForm{Collection::Anki21, "apkg"},
                                           PackageForm{Collection::Anki21b, "colpkg"}),
                         [](const auto &info) { return std::to_string(info.index); });

// Damaged and hostile files: a message naming the file, no dictionary, no sound.
TEST_F(VocabTool, HostileInputsLeaveNothingBehind)
{
    const QString sep(QChar(0x1f));
    const std::vector<Note> notes = {{1, "a[sound:a.mp3]" + sep + "b"}, {1, "c[sound:c.mp3]" + sep + "d"}};
    auto good = [&](Collection form = Collection::Anki21) {
        return package(form, {{1, "Default"}}, notes, {{"a.mp3", "AAAA"}, {"c.mp3", "CCCC-unique-bytes"}});
    };
    auto with = [&](std::vector<Entry> e, const std::string &name, const QByteArray &bytes) {
        e.push_back({name, bytes});
        return e;
    };
    auto replaced = [&](std::vector<Entry> e, const std::string &name, const QByteArray &bytes) {
        for (Entry &x : e)
            if (x.name == name)
                x.bytes = bytes;
        return e;
    };
    const QByteArray zeros(48 << 20, '\0');
    QByteArray validPackage;
    {
        ASSERT_TRUE(writeZip(file("valid.apkg"), good()));
        QFile f(file("valid.apkg"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        validPackage = f.readAll();
    }
    // The second sound's stored bytes changed after packing: its check sum fails only when it
    // is unpacked, after the first sound has been written.
    QByteArray badCrc = validPackage;
    const qsizetype at = badCrc.indexOf("CCCC-unique-bytes");
    ASSERT_GT(at, 0);
    badCrc[at] = 'X';

    const QByteArray laughs =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE kvtml [<!ENTITY a \"aaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>\n"
        "<kvtml version=\"2.0\"><entries><entry id=\"0\"><translation id=\"0\"><text>&c;</text></translation>"
        "<translation id=\"1\"><text>x</text></translation></entry></entries></kvtml>";
    const QByteArray external =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE kvtml [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>\n"
        "<kvtml version=\"2.0\"><entries><entry id=\"0\"><translation id=\"0\"><text>&e;</text></translation>"
        "</entry></entries></kvtml>";
    const QByteArray goodKvtml = kvtml2("en", "ru", entry(0, "a", "b"));
    // A collection whose schema computes a field of 400 MB for every note.
    QByteArray huge;
    {
        sqlite3 *db = nullptr;
        sqlite3_open(":memory:", &db);
        exec(db, "CREATE TABLE col (id integer primary key, ver integer, models text, decks text)");
        exec(db, "INSERT INTO col VALUES (1, 11, '{}', '{}')");
        exec(db, "CREATE TABLE notes (id integer primary key, mid integer, x text,"
                 " flds text AS (hex(zeroblob(200000000))))");
        exec(db, "CREATE TABLE cards (id integer primary key, nid integer, did integer, ord integer, odid integer)");
        exec(db, "INSERT INTO notes (id, mid, x) VALUES (1, 1, '')");
        sqlite3_int64 size = 0;
        unsigned char *bytes = sqlite3_serialize(db, "main", &size, 0);
        huge = QByteArray(reinterpret_cast<const char *>(bytes), qsizetype(size));
        sqlite3_free(bytes);
        sqlite3_close(db);
    }

    const struct {
        const char *name;
        std::vector<Entry> entries; // a package when not empty
        QByteArray bytes;           // else these bytes
        const char *why;
    } cases[] = {
        {"truncated.apkg", {}, validPackage.left(validPackage.size() / 2), "not a readable Anki package"},
        {"bad-crc.apkg", {}, badCrc, "damaged"},
        {"not-zip.apkg", {}, "PK but not really", "not a readable Anki package"},
        {"dotdot.apkg", with(good(), "../evil", "x"), {}, "with a path"},
        {"folder.apkg", with(good(), "sub/x", "x"), {}, "with a path"},
        {"absolute.apkg", with(good(), "/etc/evil", "x"), {}, "with a path"},
        {"bomb.apkg", with(good(), "9", zeros), {}, "zip bomb"},
        {"zstd-bomb.colpkg", replaced(good(Collection::Anki21b), "collection.anki21b", zstd(zeros)), {}, "bomb"},
        {"not-sqlite.apkg", replaced(good(), "collection.anki21", "SQLite? no, plain text"), {}, "not an SQLite database"},
        {"sqlite-cut.apkg", replaced(good(), "collection.anki21", collection(Collection::Anki21, {{1, "D"}}, notes).left(1500)), {}, "damaged"},
        {"huge-field.apkg", replaced(good(), "collection.anki21", huge), {}, "damaged"},
        {"no-collection.apkg", {{"media", "{}"}}, {}, "no Anki collection"},
        {"map-outside.apkg", replaced(good(), "media", "{\"0\":\"a.mp3\",\"../../x\":\"c.mp3\"}"), {}, "not a sound in the package"},
        {"map-missing.apkg", replaced(good(), "media", "{\"0\":\"a.mp3\",\"7\":\"c.mp3\"}"), {}, "not a sound in the package"},
        {"map-collection.apkg", replaced(good(), "media", "{\"collection.anki21\":\"c.mp3\"}"), {}, "not a sound in the package"},
        {"map-garbage.apkg", replaced(good(), "media", "{\"0\": [unclosed"), {}, "media map is damaged"},
        {"map-proto.colpkg", replaced(good(Collection::Anki21b), "media", zstd("\x0a\x7f\x01")), {}, "media map is damaged"},
        {"laughs.kvtml", {}, laughs, "refused"},
        {"external.kvtml", {}, external, "refused"},
        {"cut.kvtml", {}, goodKvtml.left(goodKvtml.size() - 20), "damaged XML"},
        {"html.kvtml", {}, "<html><body>no</body></html>", "not a KVTML file"},
        {"deep.kvtml", {}, kvtml2("en", "ru", entry(0, "a", "b"), QString("<container>").repeated(100) + QString("</container>").repeated(100)), "nest too deep"},
        {"empty.kvtml", {}, "", "damaged XML"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString in = file(QStringLiteral("in-") + c.name);
        if (!c.entries.empty())
            ASSERT_TRUE(writeZip(in, c.entries));
        else
            writeAll(in, c.bytes);
        QDir(file("out")).removeRecursively();
        QDir(file("SOUND")).removeRecursively();
        QDir().mkpath(file("out"));
        const ToolRun r = dictTool({"import", file("out/Target.wrd"), in});
        EXPECT_EQ(r.exit, 1) << r.out;
        EXPECT_NE(r.err.find(("in-" + std::string(c.name)) + ":"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
        EXPECT_EQ(filesBelow(file("out")), QStringList());
        EXPECT_EQ(filesBelow(file("SOUND")), QStringList());
        EXPECT_FALSE(QFile::exists(file("SOUND"))) << "an emptied sound folder stays behind";
    }
    // Nothing written outside the program folder's own places.
    EXPECT_FALSE(QFile::exists(home.root() + "/evil"));
}

TEST(VocabAnkiLimits, TotalSizeIsCappedBeforeUnpacking)
{
    TestHome home;
    const QString path = home.home() + "p.apkg";
    const QString sep(QChar(0x1f));
    ASSERT_TRUE(writeZip(path, package(Collection::Anki21, {{1, "D"}}, {{1, "a" + sep + "b"}}, {{"s.mp3", QByteArray(5000, 's')}})));
    AnkiReader::Limits small;
    small.maxTotal = 4096;
    try {
        AnkiReader::readFile(path, {}, small);
        ADD_FAILURE() << "a package above the limit was read";
    } catch (const VocabularyError &e) {
        EXPECT_NE(std::string(e.what()).find("more than"), std::string::npos) << e.what();
    }
    const Vocabulary v = AnkiReader::readFile(path, {});
    EXPECT_EQ(v.entryCount(), 1u);
}

TEST_F(VocabTool, ExportKvtmlReadsBackAndTsv)
{
    home.writeFile("w.csv", "apple;\xFF\xE1\xEB\xEE\xEA\xEE;[\xE6pl];\\SOUND\\Words\\apple.wav\r\n"
                            "a <b> & \"c\";\xE4;;\r\ntab\there;x;;\r\n");
    home.writeFile("SOUND/Words/apple.wav", "RIFF-apple");
    ToolRun r = dictTool({"import", file("Words.wrd"), file("w.csv")});
    ASSERT_EQ(r.exit, 0) << r.err;

    r = dictTool({"export", file("Words.wrd"), "--kvtml", "--from", "de"});
    ASSERT_EQ(r.exit, 0) << r.err;
    QDir().mkpath(file("exp"));
    writeAll(file("exp/Back.kvtml"), QByteArray::fromStdString(r.out));
    const ToolRun lint = runTool(QStringLiteral("xmllint"), {"--noout", file("exp/Back.kvtml")});
    EXPECT_EQ(lint.exit, 0) << lint.err;
    EXPECT_NE(r.out.find("<locale>de</locale>"), std::string::npos);
    EXPECT_NE(r.out.find("<locale>ru</locale>"), std::string::npos);

    r = dictTool({"import", file("Back.wrd"), file("exp/Back.kvtml")});
    ASSERT_EQ(r.exit, 0) << r.err;
    std::vector<std::string> before = rows(file("Words.wrd")), after = rows(file("Back.wrd"));
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        // The words and transcriptions come back (a tab as a space); the sound is named by its
        // full path, which lies outside the vocabulary's folder, so it is not copied.
        EXPECT_EQ(QString::fromStdString(before[i]).section('|', 0, 2).replace("\\t", " ").toStdString(),
                  QString::fromStdString(after[i]).section('|', 0, 2).toStdString());
    }

    r = dictTool({"export", file("Words.wrd"), "--tsv"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "#separator:tab\n#html:false\n"
                     "apple\t\xD1\x8F\xD0\xB1\xD0\xBB\xD0\xBE\xD0\xBA\xD0\xBE\t[\xD0\xB6pl]\n"
                     "a <b> & \"c\"\t\xD0\xB4\t\n"
                     "tab here\tx\t\n");
    EXPECT_EQ(dictTool({"export", file("Words.wrd"), "--tsv", "--kvtml"}).exit, 2);
}

TEST_F(VocabTool, CommandLinesRefused)
{
    writeAll(file("v.kvtml"), kvtml2("en", "ru", entry(0, "a", "b")));
    home.writeFile("w.csv", "a;b\n");
    const struct {
        QStringList args;
        int exit;
        const char *says;
    } cases[] = {
        {{"import", file("D.wrd"), file("v.kvtml"), file("w.csv")}, 1, "on its own"},
        {{"import", file("D.wrd"), file("v.kvtml"), "--fields", "1"}, 2, "--fields takes"},
        {{"import", file("D.wrd"), file("v.kvtml"), "--fields", "2,2"}, 2, "--fields takes"},
        {{"import", file("D.wrd"), file("v.kvtml"), "--fields", "1,2x"}, 2, "--fields takes"},
        {{"import", file("D.wrd"), file("v.kvtml"), "--from"}, 2, "--from needs a value"},
        {{"import", file("D.wrd"), file("v.kvtml"), "--kvtml"}, 2, "unknown option --kvtml"},
        {{"export", file("D.wrd"), "--deck", "x"}, 2, "unknown option --deck"},
        {{"import", file("D.wrd"), file("missing.apkg")}, 1, "missing.apkg: cannot be read"},
        {{"import", file("D.wrd"), file("missing.kvtml")}, 1, "missing.kvtml: cannot be read"},
        {{"import", file("D.wrd"), file("v.kvtml"), "--deck", "x"}, 1, "apply to Anki packages"},
        {{"import", file("D.wrd"), file("p.apkg"), "--split-lessons"}, 1, "apply to KVTML files"},
        {{"import", file("D.wrd"), file("p.apkg"), "--from", "en"}, 1, "apply to KVTML files"},
    };
    for (const auto &c : cases) {
        const ToolRun r = dictTool(c.args);
        EXPECT_EQ(r.exit, c.exit) << c.args.join(' ').toStdString() << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_FALSE(QFile::exists(file("D.wrd")));
    }
}
