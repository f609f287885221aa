// Downloads from a real FTP server (pyftpdlib on loopback), passive and active: the catalogue,
// dictionaries byte for byte and usable afterwards, a missing file, a wrong password, an abort
// in the middle of three files.
#include "PyFtpServer.h"
#include "common/TestHome.h"
#include "download/DownloadList.h"
#include "download/DownloadRun.h"
#include "engine/DataSet.h"
#include "platform/MessageBox.h"
#include "store/Dictionary.h"
#include "store/Topics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const char *kPassword = "word@word1";

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A topic dictionary of `count` words whose text holds CR LF, 0x1A and Windows-1251 letters.
void makeDictionary(const QString &path, int count)
{
    QDir().mkpath(QFileInfo(path).path());
    TDbfDataSet words;
    words.SetExclusive(true);
    words.SetTableName(path.toStdString());
    ASSERT_TRUE(TCreateTopic(&words).Execute());
    for (int i = 0; i < count; ++i) {
        words.Append();
        words.FieldByName("WORD1").SetAsString("word\r\n\x1A" + std::to_string(i));
        words.FieldByName("WORD2").SetAsString("\xF1\xEB\xEE\xE2\xEE " + std::to_string(i));
        words.FieldByName("MISS").SetAsInteger(i % 7);
        words.Post();
    }
    words.Close();
}

// Runs downloads without a window, counting them.
struct Runner {
    ServerSettings server;
    int calls = 0;
    std::function<void(TDownloadRun &)> setUp = {};
    DownloadOutcome operator()(const DownloadRequest &r)
    {
        ++calls;
        TDownloadRun run(server);
        run.Client().Limit = {20000, 20000, 20000, 2000};
        if (setUp)
            setUp(run);
        return run.Run(r);
    }
};

} // namespace

class RealFtp : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        const QString r = root.path() + "/";
        writeAll(r + "wordpop.txt", "Big one;big.wrd;400;40\nSmall one;small.wrd;3;1\nThird;third.wrd;1;1\n"
                                    "Missing;missing.wrd;1;1\nEvil;../wordpop.opt;1;1\n");
        makeDictionary(r + "dictionaries/big.wrd", 400);
        makeDictionary(r + "dictionaries/small.wrd", 3);
        makeDictionary(r + "dictionaries/third.wrd", 1);
        server.Host = "127.0.0.1";
        server.Password = kPassword;
        server.Passive = GetParam();
        QDir().mkpath(home.home() + "BASE/ON");
    }

    QString served(const QString &name) const { return root.path() + "/dictionaries/" + name; }
    QString target(const QString &name) const { return home.home() + "BASE/ON/" + name; }

    TestHome home;
    QTemporaryDir root;
    ServerSettings server;
};

TEST_P(RealFtp, CatalogueFetchedAtOpeningOnly)
{
    PyFtpServer ftp(root.path(), "guest", kPassword);
    REQUIRE_FTP_SERVER(ftp);
    server.Port = ftp.port();
    Runner runner{server};
    TDownloadList list(server, home.home());
    list.Load(false, std::ref(runner));
    EXPECT_EQ(runner.calls, 1);
    // Unsafe names are never offered.
    EXPECT_EQ(list.Texts(), (QStringList{"Big one       (words : 400, size : 40 Kb)", "Small one       (words : 3, size : 1 Kb)",
                                         "Third       (words : 1, size : 1 Kb)", "Missing       (words : 1, size : 1 Kb)"}));
    EXPECT_TRUE(QFileInfo::exists(home.home() + "NEWS/wordpop.txt"));

    TDownloadList again(server, home.home());
    again.Load(false, std::ref(runner));
    EXPECT_EQ(runner.calls, 1) << "a catalogue on disk is not fetched again";
    EXPECT_EQ(again.Texts().size(), 4);

    // A refresh that fails keeps the catalogue there was.
    QFile::remove(root.path() + "/wordpop.txt");
    MessageBox::TestHook boxes;
    again.Load(true, std::ref(runner));
    EXPECT_EQ(runner.calls, 2);
    EXPECT_EQ(again.Texts().size(), 4);
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts()[0].startsWith("550")) << boxes.texts()[0].toStdString();
}

TEST_P(RealFtp, DictionariesIdenticalAndUsable)
{
    PyFtpServer ftp(root.path(), "guest", kPassword);
    REQUIRE_FTP_SERVER(ftp);
    server.Port = ftp.port();
    ASSERT_GT(QFileInfo(served("big.wrd")).size(), 16 * 1024);

    // An older big.wrd is open on the program's cursor, with its index beside it.
    makeDictionary(target("big.wrd"), 2);
    TDbfDataSet words;
    words.SetExclusive(true);
    TTopics topics(words);
    Topics = &topics;
    topics.OpenDictionary(home.home() + "BASE/ON/big");
    ASSERT_TRUE(QFileInfo::exists(target("big.cdx")));

    Runner runner{server};
    TDownloadList list(server, home.home());
    list.Load(false, std::ref(runner));
    ASSERT_EQ(list.Entries().size(), 4u);
    list.SetTicked(0, true);
    list.SetTicked(1, true);
    MessageBox::TestHook boxes;
    EXPECT_TRUE(list.Download(std::ref(runner)));
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join("\n").toStdString();
    EXPECT_TRUE(list.FetchedAny());
    EXPECT_EQ(list.LastFolder(), home.home() + "BASE/ON/");
    EXPECT_EQ(readAll(target("big.wrd")), readAll(served("big.wrd")));
    EXPECT_EQ(readAll(target("small.wrd")), readAll(served("small.wrd")));
    // The replaced dictionary was closed and its old index removed.
    EXPECT_TRUE(topics.OpenPath().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(target("big.cdx")));
    EXPECT_EQ(QDir(home.home() + "BASE/ON").entryList(QDir::Files), (QStringList{"big.wrd", "small.wrd"}));

    // Opened through the catalogue, each gets its index and shows every word.
    for (const auto &[name, count] : {std::pair{"big", 400}, std::pair{"small", 3}}) {
        topics.OpenDictionary(home.home() + "BASE/ON/" + name);
        EXPECT_EQ(words.RecordCount(), std::uint32_t(count)) << name;
        EXPECT_TRUE(QFileInfo::exists(target(QString(name) + ".cdx"))) << name;
        topics.CloseDictionary();
    }
    Topics = nullptr;
    const QString log = ftp.log();
    EXPECT_EQ(log.contains("<- EPSV"), GetParam());
    EXPECT_EQ(log.contains("<- PORT"), !GetParam());
}

TEST_P(RealFtp, MissingFileAndWrongPassword)
{
    PyFtpServer ftp(root.path(), "guest", kPassword);
    REQUIRE_FTP_SERVER(ftp);
    server.Port = ftp.port();
    Runner runner{server};
    TDownloadList list(server, home.home());
    list.Load(false, std::ref(runner));
    ASSERT_EQ(list.Entries().size(), 4u);
    list.SetTicked(3, true);
    MessageBox::TestHook boxes;
    EXPECT_FALSE(list.Download(std::ref(runner)));
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts()[0].startsWith("550")) << boxes.texts()[0].toStdString();
    EXPECT_FALSE(list.FetchedAny());
    EXPECT_TRUE(QDir(home.home() + "BASE/ON").entryList(QDir::Files).isEmpty());

    boxes.clear();
    ServerSettings wrong = server;
    wrong.Password = "wrong@pass1";
    Runner badLogin{wrong};
    list.SetTicked(1, true);
    EXPECT_FALSE(list.Download(std::ref(badLogin)));
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts()[0].startsWith("530")) << boxes.texts()[0].toStdString();
    EXPECT_FALSE(boxes.texts()[0].contains("wrong@pass1"));
    EXPECT_TRUE(QDir(home.home() + "BASE/ON").entryList(QDir::Files).isEmpty());
}

TEST_P(RealFtp, AbortDuringSecondOfThree)
{
    // Slow enough that the second file is still coming when the abort is pressed.
    const QString r = root.path() + "/dictionaries/";
    QFile::remove(r + "small.wrd");
    makeDictionary(r + "small.wrd", 3000);
    PyFtpServer ftp(root.path(), "guest", kPassword, {"--throttle", "65536"});
    REQUIRE_FTP_SERVER(ftp);
    server.Port = ftp.port();
    writeAll(target("small.wrd"), "older copy");

    Runner runner{server};
    bool pressed = false;
    runner.setUp = [&](TDownloadRun &run) {
        run.OnChanged = [&run, &pressed] {
            if (!pressed && run.Display().Status1.endsWith("( 2/3 )") && run.Display().Bar2 > 0) {
                pressed = true;
                run.Terminate();
            }
        };
    };
    TDownloadList list(server, home.home());
    list.Load(false, std::ref(runner));
    ASSERT_EQ(list.Entries().size(), 4u);
    // Third, then the slow one, then the big one, in list order: tick 2, 1 and 0 ... as listed.
    list.SetTicked(2, true);
    list.SetTicked(1, true);
    list.SetTicked(0, true);
    MessageBox::TestHook boxes;
    EXPECT_FALSE(list.Download(std::ref(runner)));
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(boxes.texts().isEmpty()) << "an abort shows no error: " << boxes.texts().join("\n").toStdString();
    EXPECT_TRUE(list.FetchedAny());
    // List order is big, small, third: big kept, small's older copy intact, third never asked.
    EXPECT_EQ(readAll(target("big.wrd")), readAll(served("big.wrd")));
    EXPECT_EQ(readAll(target("small.wrd")), QByteArray("older copy"));
    EXPECT_FALSE(QFileInfo::exists(target("third.wrd")));
    EXPECT_EQ(QDir(home.home() + "BASE/ON").entryList(QDir::Files), (QStringList{"big.wrd", "small.wrd"}));
    EXPECT_FALSE(ftp.log().contains("RETR third.wrd")) << ftp.log().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Modes, RealFtp, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &i) { return std::string(i.param ? "Passive" : "Active"); });

// A server that knows no passive mode: the client falls back to PORT by itself.
TEST(RealFtpFallback, NoPassiveOnServer)
{
    TestHome home;
    QTemporaryDir root;
    writeAll(root.path() + "/dictionaries/one.wrd", "bytes of one");
    PyFtpServer ftp(root.path(), "guest", kPassword, {"--no-passive"});
    REQUIRE_FTP_SERVER(ftp);
    ServerSettings server;
    server.Host = "127.0.0.1";
    server.Port = ftp.port();
    server.Password = kPassword;
    TDownloadRun run(server);
    DownloadRequest request;
    request.files = {{"one.wrd", "one.wrd"}};
    request.localFolder = home.home();
    request.remoteFolder = "dictionaries";
    MessageBox::TestHook boxes;
    const DownloadOutcome out = run.Run(request);
    EXPECT_TRUE(out.complete) << boxes.texts().join("\n").toStdString();
    EXPECT_EQ(readAll(home.home() + "one.wrd"), QByteArray("bytes of one"));
    EXPECT_TRUE(ftp.log().contains("<- PORT"));
    EXPECT_EQ(run.Display().Status1, QStringLiteral("Завершение связи"));
    EXPECT_FALSE(run.Display().TerminateVisible);
}
