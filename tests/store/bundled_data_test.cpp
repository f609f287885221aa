// The data a new program folder starts with, as the build made it: langs.dat in Windows-1251,
// the answer sounds, the help, and every sample dictionary built from its UTF-8 source, checked
// by the dictionary tool and holding exactly the words of its source.
#include "common/TestHome.h"
#include "platform/Text.h"
#include "store/Dictionary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <iconv.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

const QString source = QStringLiteral(WORDPOP_SOURCE_DIR) + "/data/";
const QString built = QStringLiteral(WORDPOP_BINARY_DIR) + "/data/";
const QString tool = QStringLiteral(WORDPOP_BINARY_DIR) + "/wordpop-dict";

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Strict Windows-1251 to UTF-8 through iconv, independent of the program's own conversion.
bool cp1251ToUtf8(const QByteArray &in, QByteArray &out)
{
    iconv_t cd = iconv_open("UTF-8", "WINDOWS-1251");
    if (cd == iconv_t(-1))
        return false;
    out.resize(in.size() * 3 + 1);
    char *src = const_cast<char *>(in.constData());
    size_t srcLeft = size_t(in.size());
    char *dst = out.data();
    size_t dstLeft = size_t(out.size());
    const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != size_t(-1);
    iconv_close(cd);
    out.resize(out.size() - int(dstLeft));
    return ok;
}

struct ToolRun {
    int exitCode;
    QByteArray out;
    QByteArray err;
};

ToolRun runTool(const QStringList &args)
{
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(60000))
        return {-1, {}, "did not finish"};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

// WORD1;WORD2;TRANSCRIPT;WAVFILE with the missing parts empty.
QStringList fields(const QString &line)
{
    QStringList parts = line.split(';');
    while (parts.size() < 4)
        parts.append(QString());
    return parts.mid(0, 4);
}

QStringList lines(const QByteArray &utf8)
{
    QStringList result = QString::fromUtf8(utf8).split(QRegularExpression("\r\n|\n|\r"));
    while (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

TEST(BundledData, LangsDatIsWindows1251CodeEqualsName)
{
    const QByteArray bytes = readAll(built + "langs.dat");
    if (bytes.isEmpty())
        GTEST_SKIP() << "the data folder has not been built (" << built.toStdString() << "langs.dat)";
    EXPECT_EQ(readAll(QStringLiteral(WORDPOP_BINARY_DIR) + "/langs.dat"), bytes)
        << "the build folder is a program folder and carries the same langs.dat";

    QByteArray utf8;
    ASSERT_TRUE(cp1251ToUtf8(bytes, utf8));
    EXPECT_EQ(utf8, readAll(source + "langs.dat.txt"));

    const QRegularExpression form("^([0-9A-Fa-f]{4})=(\\S.*\\S|\\S)$");
    QSet<QString> codes, names;
    const QStringList all = lines(utf8);
    for (const QString &line : all) {
        const auto m = form.match(line);
        ASSERT_TRUE(m.hasMatch()) << "not code=name: " << line.toStdString();
        EXPECT_FALSE(codes.contains(m.captured(1).toUpper())) << line.toStdString();
        EXPECT_FALSE(names.contains(m.captured(2))) << "names must be unique: " << line.toStdString();
        codes.insert(m.captured(1).toUpper());
        names.insert(m.captured(2));
    }
    EXPECT_GE(all.size(), 20);
    for (const char *code : {"0409", "0419", "0407", "040C", "0422"})
        EXPECT_TRUE(codes.contains(code)) << code;
    EXPECT_FALSE(bytes.contains('\r'));
}

TEST(BundledData, AnswerSoundsAndHelpAreInBothFolders)
{
    if (!QFileInfo::exists(built + "langs.dat"))
        GTEST_SKIP() << "the data folder has not been built";
    for (const QString &folder : {built, QStringLiteral(WORDPOP_BINARY_DIR) + "/"}) {
        for (const char *name : {"SOUND/ok.wav", "SOUND/mistake.wav"}) {
            SCOPED_TRACE((folder + name).toStdString());
            const QByteArray wav = readAll(folder + name);
            ASSERT_GE(wav.size(), 44);
            EXPECT_TRUE(wav.startsWith("RIFF") && wav.mid(8, 8) == "WAVEfmt ");
            EXPECT_EQ(wav, readAll(source + name));
            EXPECT_LT(wav.size(), 100000) << "answer sounds are short";
        }
        for (const char *name : {"wordpop.html", "wordpop.en.html"}) {
            const QByteArray help = readAll(folder + name);
            EXPECT_TRUE(help.contains("<title>Wordpop")) << (folder + name).toStdString();
            EXPECT_EQ(help, readAll(source + name));
        }
    }
}

class BundledDictionary : public ::testing::TestWithParam<std::string> {};

TEST_P(BundledDictionary, OpensPassesCheckAndHoldsItsSource)
{
    const QString name = QString::fromStdString(GetParam());
    const QString wrd = built + "BASE/ON/" + name + ".wrd";
    if (!QFileInfo::exists(tool))
        GTEST_SKIP() << "the dictionary tool is not built (" << tool.toStdString() << ")";
    if (!QFileInfo::exists(wrd))
        GTEST_SKIP() << "the sample dictionaries have not been built (" << wrd.toStdString() << ")";
    EXPECT_TRUE(QFileInfo::exists(built + "BASE/ON/" + name + ".cdx"));

    const ToolRun check = runTool({"check", wrd});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString() << check.err.toStdString();

    const ToolRun exported = runTool({"export", wrd, "--utf8"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    const QStringList got = lines(exported.out);
    const QStringList want = lines(readAll(source + "dictionaries/" + name + ".csv"));
    ASSERT_GE(want.size(), 100) << "a sample dictionary holds at least 100 words";
    ASSERT_EQ(got.size(), want.size());
    for (int i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(want[i].toStdString());
        const QStringList w = fields(want[i]), g = fields(got[i]);
        EXPECT_EQ(g.mid(0, 3), w.mid(0, 3));
        EXPECT_FALSE(w[1].isEmpty()) << "every word has a translation";
        EXPECT_TRUE(w[2].startsWith('[') && w[2].endsWith(']')) << "every word has a transcription";
        if (g[3].isEmpty())
            continue;
        // A word sound is program-relative with backslashes, and its file is in the data folder.
        EXPECT_TRUE(g[3].startsWith("\\SOUND\\" + name + "\\")) << g[3].toStdString();
        const QString file = built + QString(g[3]).mid(1).replace('\\', '/');
        EXPECT_TRUE(readAll(file).startsWith("RIFF")) << file.toStdString();
    }
}

// The program's own way in: OpenDictionary on a copy finds a valid index (it is not rebuilt)
// and the words, in Windows-1251, as the source has them.
TEST_P(BundledDictionary, OpensInTheProgramWithItsIndexAsBuilt)
{
    const QString name = QString::fromStdString(GetParam());
    const QString base = built + "BASE/ON/" + name;
    if (!QFileInfo::exists(base + ".wrd"))
        GTEST_SKIP() << "the sample dictionaries have not been built (" << base.toStdString() << ".wrd)";
    TestHome home;
    home.writeFile(name + ".wrd", readAll(base + ".wrd"));
    home.writeFile(name + ".cdx", readAll(base + ".cdx"));
    const QStringList want = lines(readAll(source + "dictionaries/" + name + ".csv"));

    const auto inode = [&] {
        struct stat st {};
        return ::stat(QFile::encodeName(home.home() + name + ".cdx").constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    const ino_t before = inode();

    TDbfDataSet words;
    words.SetExclusive(true);
    OpenDictionary(words, (home.home() + name).toStdString());
    EXPECT_EQ(words.RecordCount(), std::uint32_t(want.size()));
    EXPECT_EQ(words.IndexName(), "MISS");
    // Every word has no mistakes yet, so MISS order is record order: the first line comes first.
    const QStringList first = fields(want[0]);
    EXPECT_EQ(words.FieldByName("WORD1").AsString(), Text::toCp1251(first[0]));
    EXPECT_EQ(words.FieldByName("WORD2").AsString(), Text::toCp1251(first[1]));
    EXPECT_EQ(words.FieldByName("TRANSCRIPT").AsString(), Text::toCp1251(first[2]));
    words.Close();
    EXPECT_EQ(inode(), before) << "the built index was valid, not made anew";
    EXPECT_EQ(home.readFile(name + ".cdx"), readAll(base + ".cdx"));
}

std::vector<std::string> dictionaryNames()
{
    std::vector<std::string> names;
    for (const QFileInfo &fi : QDir(source + "dictionaries").entryInfoList({"*.csv"}, QDir::Files, QDir::Name))
        names.push_back(fi.completeBaseName().toStdString());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Samples, BundledDictionary, ::testing::ValuesIn(dictionaryNames()),
                         [](const auto &info) { return info.param; });

TEST(BundledData, DesktopEntryIconAndHelpSections)
{
    // A menu entry that starts the program by name, with our icon.
    const QStringList entry = lines(readAll(source + "org.wordpop.Wordpop.desktop"));
    ASSERT_FALSE(entry.isEmpty());
    EXPECT_EQ(entry[0], "[Desktop Entry]");
    for (const char *line : {"Type=Application", "Name=Wordpop", "Exec=wordpop", "Icon=wordpop"})
        EXPECT_TRUE(entry.contains(line)) << line;

    QFile svg(source + "wordpop.svg");
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    bool rootIsSvg = false;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && !rootIsSvg)
            rootIsSvg = xml.name() == QLatin1String("svg") && xml.attributes().hasAttribute("viewBox");
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(rootIsSvg);

    // The help covers each part of the program a user meets.
    const QByteArray help = readAll(source + "wordpop.html");
    for (const char *section : {"lesson", "answers", "dictionaries", "settings", "tray", "transcription"})
        EXPECT_TRUE(help.contains(QByteArray("id=\"") + section + "\"")) << section;
}

TEST(BundledData, AtLeastThreeSampleDictionaries)
{
    EXPECT_GE(dictionaryNames().size(), 3);
}

} // namespace
