// The server settings file: what the shipped one holds, what a filled one gives, and that a new
// program folder gets a copy without losing one the user already has.
#include "common/TestHome.h"
#include "platform/ServerSite.h"
#include "platform/ProgramFolder.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(ServerSettings, ShippedFileNamesNoServerAndNoPassword)
{
    const ServerSettings s = ReadServerSettings(QStringLiteral(WORDPOP_SOURCE_DIR "/data/"));
    EXPECT_TRUE(s.Host.isEmpty());
    EXPECT_TRUE(s.Password.isEmpty());
    EXPECT_EQ(s.Port, 21);
    EXPECT_EQ(s.User, "guest");
    EXPECT_TRUE(s.Passive);
}

TEST(ServerSettings, Table)
{
    struct {
        const char *ini;
        const char *host;
        int port;
        const char *user;
        const char *password;
        const char *site;
        bool passive;
    } cases[] = {
        {"", "", 21, "guest", "", "", true},
        {"[Server]\nHost=ftp.example.org\nPort=2121\nUser=anna\nPassword=word@word1\nSite=Example, Inc.\nPassive=false\n",
         "ftp.example.org", 2121, "anna", "word@word1", "Example, Inc.", false},
        {"[Server]\nHost=10.0.0.5\nPort=0\n", "10.0.0.5", 21, "guest", "", "", true},
        {"[Server]\nPort=70000\nPassive=0\n", "", 21, "guest", "", "", false},
        {"[Server]\nPort=abc\nPassive=yes\n", "", 21, "guest", "", "", true},
        {"[Other]\nHost=elsewhere\n", "", 21, "guest", "", "", true},
        {"[Server]\nSite=Словари Wordpop\n", "", 21, "guest", "", "Словари Wordpop", true},
        {"; comment\r\n[ server ]\r\n  Host = \"ftp.example.org\" \r\n# Host=other\r\nPASSWORD=%41@b\r\n", "ftp.example.org",
         21, "guest", "%41@b", "", true},
    };
    for (const auto &c : cases) {
        TestHome home;
        home.writeFile(kServerSettingsFile, c.ini);
        const ServerSettings s = ReadServerSettings(home.home());
        EXPECT_EQ(s.Host, QString(c.host)) << c.ini;
        EXPECT_EQ(s.Port, c.port) << c.ini;
        EXPECT_EQ(s.User, QByteArray(c.user)) << c.ini;
        EXPECT_EQ(s.Password, QByteArray(c.password)) << c.ini;
        EXPECT_EQ(s.Site, QString::fromUtf8(c.site)) << c.ini;
        EXPECT_EQ(s.Passive, c.passive) << c.ini;
    }
}

TEST(ServerSettings, CopiedIntoANewProgramFolderOnly)
{
    TestHome home;
    QTemporaryDir data;
    QFile f(data.path() + "/wordpop-server.ini");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Server]\nHost=shipped\n");
    f.close();
    ProgramFolder::fillFromData(home.home(), data.path());
    EXPECT_EQ(ReadServerSettings(home.home()).Host, "shipped");
    home.writeFile("wordpop-server.ini", "[Server]\nHost=mine\n");
    ProgramFolder::fillFromData(home.home(), data.path());
    EXPECT_EQ(ReadServerSettings(home.home()).Host, "mine");
}

// The dictionaries window's button names the site from the same reader.
TEST(ServerSettings, SiteNameForTheButton)
{
    TestHome home;
    ProgramFolder::set(home.home());
    EXPECT_EQ(ServerSiteName(), "сервера");
    home.writeFile(kServerSettingsFile, "[Server]\nSite=  \n");
    EXPECT_EQ(ServerSiteName(), "сервера");
    home.writeFile(kServerSettingsFile, "[Server]\nSite=Example, Inc.\n");
    EXPECT_EQ(ServerSiteName(), "Example, Inc.");
    EXPECT_EQ(ServerIniPath(), home.home() + "wordpop-server.ini");
}
