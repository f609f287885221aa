// What a start copies from the data folder into a program folder: what is missing, never over
// what is there, the sample dictionaries only into a folder without BASE/.
#include "platform/ProgramFolder.h"

#include "common/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using Files = std::map<std::string, QByteArray>;

void write(const QString &folder, const Files &files)
{
    for (const auto &[name, bytes] : files) {
        const QString path = folder + QString::fromStdString(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
        f.write(bytes);
    }
}

// The data folder as installed.
const Files kData = {
    {"langs.dat", "0409=English\r\n"},
    {"wordpop.html", "<html lang=\"ru\">new</html>"},
    {"wordpop.en.html", "<html lang=\"en\">new</html>"},
    {"wordpop-server.ini", "[Server]\n"},
    {"SOUND/ok.wav", "RIFFok"},
    {"SOUND/mistake.wav", "RIFFmistake"},
    {"BASE/ON/Animals.wrd", "table"},
    {"BASE/ON/Animals.cdx", "index"},
};

struct FillCase {
    const char *name;
    Files before;   // the program folder as an earlier start (or the user) left it
    Files after;    // what it must hold afterwards (every file of it, byte for byte)
};

void PrintTo(const FillCase &c, std::ostream *os)
{
    *os << c.name;
}

class FillFromData : public ::testing::TestWithParam<FillCase> {};

TEST_P(FillFromData, CopiesWhatIsMissingAndKeepsWhatIsThere)
{
    const FillCase &c = GetParam();
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    write(data.path() + "/", kData);
    TestHome home;
    write(home.home(), c.before);

    ProgramFolder::fillFromData(home.home(), data.path());

    Files found;
    for (const QString &name : QDir(home.home()).entryList(QDir::Files | QDir::NoDotAndDotDot))
        found[name.toStdString()] = home.readFile(name);
    for (const char *sub : {"SOUND", "BASE/ON"}) {
        for (const QString &name : QDir(home.home() + sub).entryList(QDir::Files))
            found[std::string(sub) + "/" + name.toStdString()] = home.readFile(QString(sub) + "/" + name);
    }
    EXPECT_EQ(found, c.after);
}

INSTANTIATE_TEST_SUITE_P(Cases, FillFromData, ::testing::Values(
    FillCase{"FirstStart", {}, kData},
    // A folder an older version filled keeps the user's files and gets this version's help,
    // the English one included.
    FillCase{"OlderStartGetsThisVersionsHelp",
             {{"langs.dat", "0419=Mine\r\n"}, {"wordpop.html", "old"}, {"wordpop.opt", "settings"},
              {"SOUND/ok.wav", "mine"}, {"BASE/ON/Verbs.wrd", "words"}},
             {{"langs.dat", "0419=Mine\r\n"}, {"wordpop.html", kData.at("wordpop.html")},
              {"wordpop.en.html", kData.at("wordpop.en.html")}, {"wordpop-server.ini", "[Server]\n"},
              {"wordpop.opt", "settings"}, {"SOUND/ok.wav", "mine"}, {"SOUND/mistake.wav", "RIFFmistake"},
              {"BASE/ON/Verbs.wrd", "words"}}},
    FillCase{"NothingToDoOnAnUpToDateFolder", kData, kData}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
