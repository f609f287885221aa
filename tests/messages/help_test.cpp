// The help files as shipped, and opening the help at a section in the interface's language.
#include "messages/Information.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"

#include "common/TestHome.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

const QString kData = QStringLiteral(WORDPOP_SOURCE_DIR "/data/");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QSet<QString> matches(const QByteArray &html, const char *pattern)
{
    QSet<QString> found;
    auto it = QRegularExpression(QString::fromLatin1(pattern)).globalMatch(QString::fromUtf8(html));
    while (it.hasNext())
        found.insert(it.next().captured(1));
    return found;
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

TEST(HelpFiles, BothAreWellFormedAndCarryTheSameSections)
{
    const QString xmllint = QStandardPaths::findExecutable("xmllint");
    ASSERT_FALSE(xmllint.isEmpty()) << "xmllint (libxml2-utils) is needed";
    QSet<QString> ids[2];
    const char *names[2] = {"wordpop.html", "wordpop.en.html"};
    const char *langs[2] = {"ru", "en"};
    for (int i = 0; i < 2; ++i) {
        const QString path = kData + names[i];
        SCOPED_TRACE(path.toStdString());
        QProcess lint;
        lint.setProcessChannelMode(QProcess::MergedChannels);
        lint.start(xmllint, {"--html", "--noout", path});
        ASSERT_TRUE(lint.waitForFinished(30000));
        EXPECT_EQ(lint.exitCode(), 0);
        EXPECT_TRUE(lint.readAll().isEmpty()) << "xmllint says something about it";

        const QByteArray html = readAll(path);
        EXPECT_TRUE(html.contains(QByteArray("<html lang=\"") + langs[i] + "\">"));
        EXPECT_TRUE(html.contains("<meta charset=\"utf-8\">"));
        EXPECT_FALSE(html.contains("<script")) << "plain pages only";
        EXPECT_TRUE(matches(html, R"((?:src|href)=\"(?:https?:)?//([^\"]*)\")").isEmpty()) << "no external resources";
        ids[i] = matches(html, R"(\sid=\"([^\"]+)\")");
        // The table of contents and every other link lead to a section of the same file.
        const QSet<QString> links = matches(html, R"(href=\"#([^\"]+)\")");
        EXPECT_GE(links.size(), 20);
        for (const QString &link : links)
            EXPECT_TRUE(ids[i].contains(link)) << link.toStdString();
        EXPECT_TRUE(ids[i].contains("contents"));
    }
    EXPECT_EQ(ids[0], ids[1]) << "the translation keeps every section id";
}

struct OpenCase {
    const char *name;
    Language::Ui ui;
    bool russian, english;   // which files the program folder holds
    const char *section;
    const char *opened;      // file opened, or nullptr: error 9, nothing opened
};

void PrintTo(const OpenCase &c, std::ostream *os)
{
    *os << c.name;
}

class HelpOpening : public ::testing::TestWithParam<OpenCase> {};

TEST_P(HelpOpening, OpensTheFileOfTheLanguageAtTheSection)
{
    const OpenCase &c = GetParam();
    TestHome home;
    ProgramFolder::resolve();
    if (c.russian)
        home.writeFile("wordpop.html", "<html lang=\"ru\"></html>");
    if (c.english)
        home.writeFile("wordpop.en.html", "<html lang=\"en\"></html>");
    UrlCatcher catcher;
    MessageBox::TestHook boxes;

    const bool opened = OpenHelp(QString::fromLatin1(c.section), c.ui);

    if (!c.opened) {
        EXPECT_FALSE(opened);
        EXPECT_TRUE(catcher.urls.isEmpty());
        ASSERT_EQ(boxes.texts().size(), 1);
        EXPECT_TRUE(boxes.texts()[0].startsWith("Программе не удалось открыть файл " + home.home()));
        return;
    }
    EXPECT_TRUE(opened);
    EXPECT_TRUE(boxes.texts().isEmpty());
    ASSERT_EQ(catcher.urls.size(), 1);
    QUrl want = QUrl::fromLocalFile(home.home() + c.opened);
    if (*c.section)
        want.setFragment(c.section);
    EXPECT_EQ(catcher.urls[0], want) << catcher.urls[0].toString().toStdString();
}

using Language::Ui;
INSTANTIATE_TEST_SUITE_P(Cases, HelpOpening, ::testing::Values(
    OpenCase{"RussianAtSection", Ui::Russian, true, true, "editor", "wordpop.html"},
    OpenCase{"EnglishAtSection", Ui::English, true, true, "download-progress", "wordpop.en.html"},
    OpenCase{"NoSectionIsTheTop", Ui::English, true, true, "", "wordpop.en.html"},
    // An English reader of a folder that lacks the twin still gets help.
    OpenCase{"EnglishMissingFallsBackToRussian", Ui::English, true, false, "tray", "wordpop.html"},
    OpenCase{"RussianNeverTakesTheEnglish", Ui::Russian, false, true, "tray", nullptr},
    OpenCase{"NoHelpAtAll", Ui::English, false, false, "tray", nullptr}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

#include "help_test.moc"
