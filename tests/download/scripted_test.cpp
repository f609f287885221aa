// The FTP client against a scripted server: greetings, logins, replies, sizes, broken
// transfers, time-outs and data connections that a real server would not produce.
#include "ScriptedFtpServer.h"
#include "common/EventWait.h"
#include "common/TestHome.h"
#include "download/FtpClient.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Step = ScriptedFtpServer::Step;
using A = ScriptedFtpServer;

namespace {

const QByteArray kGreeting = "220 Scripted server\r\n";
const QByteArray kPayload = QByteArray("0123456789");

std::vector<Step> loggedIn(std::vector<Step> more)
{
    std::vector<Step> steps = {{"", kGreeting}, {"USER guest", "331 Password please\r\n"},
                               {"PASS s3cret@word", "230 Logged in\r\n"}};
    steps.insert(steps.end(), more.begin(), more.end());
    return steps;
}

void setUp(TFtpClient &c, quint16 port)
{
    c.Host = QStringLiteral("127.0.0.1");
    c.Port = port;
    c.UserID = "guest";
    c.Password = "s3cret@word";
    c.Limit = {3000, 3000, 3000, 1000};
}

// What a case ended with: "" for success, else the kind and text of the error.
struct Outcome {
    QString kind;
    QString text;
};

Outcome run(const std::function<void()> &f)
{
    try {
        f();
        return {};
    } catch (const EAbortError &e) {
        return {"abort", e.Text()};
    } catch (const FTPException &e) {
        return {"ftp", e.Text()};
    } catch (const ESockError &e) {
        return {"sock", e.Text()};
    } catch (const EFtpError &e) {
        return {"error", e.Text()};
    }
}

struct Case {
    const char *name;
    std::vector<Step> steps;
    bool passive;
    // What the client does once set up; `local` is the target file.
    std::function<void(TFtpClient &, const QString &local)> act;
    QList<QByteArray> commands;     // the commands the server must have seen, in order
    QString kind;                   // "" success
    QString textHas;                // part of the error text
    QByteArray file;                // the target file afterwards ("old" stays when the fetch failed)
};

const QByteArray kOld = "old copy";

void openAndFetch(TFtpClient &c, const QString &local)
{
    c.Open();
    c.SetType(2);
    c.Fetch("a.wrd", local);
}

} // namespace

class ScriptedFtp : public ::testing::TestWithParam<int> {};

std::vector<Case> cases()
{
    const QByteArray announced = "150 Opening BINARY mode data connection for a.wrd (10 bytes).\r\n";
    return {
        {"MultiLineGreetingReadWhole",
         {{"", "220-Welcome\r\n  indented middle line\r\nplain middle line\r\n220-still\r\n220 Ready\r\n"},
          {"USER guest", "230 Logged in\r\n"}},
         true, [](TFtpClient &c, const QString &) { c.Open(); }, {"USER guest"}, "", "", kOld},
        {"PassRejected",
         {{"", kGreeting}, {"USER guest", "331 Password please\r\n"}, {"PASS ", "530 Login incorrect.\r\n"}},
         true, [](TFtpClient &c, const QString &) { c.Open(); }, {"USER guest", "PASS s3cret@word"}, "ftp",
         "530 Login incorrect.", kOld},
        {"AccountAskedIsNoLogin",
         {{"", kGreeting}, {"USER guest", "332 Need account\r\n"}},
         true, [](TFtpClient &c, const QString &) { c.Open(); }, {"USER guest"}, "ftp", "332", kOld},
        {"PasswordEchoedIsBlanked",
         {{"", kGreeting}, {"USER guest", "331 Password please\r\n"}, {"PASS ", "530 Bad password s3cret@word\r\n"}},
         true, [](TFtpClient &c, const QString &) { c.Open(); }, {"USER guest", "PASS s3cret@word"}, "ftp",
         "530 Bad password ***", kOld},
        {"EndlessPreliminaryGreeting",
         {{"", QByteArray("120 Wait\r\n").repeated(20)}},
         true, [](TFtpClient &c, const QString &) { c.Open(); }, {}, "ftp", "120 Wait", kOld},
        {"GreetingRefusal",
         {{"", "421 Too many users\r\n"}},
         true, [](TFtpClient &c, const QString &) { c.Open(); }, {}, "ftp", "421 Too many users", kOld},
        {"SizeAnnouncedAndMet",
         loggedIn({{"TYPE I", "200 ok\r\n"}, {"EPSV", "229 Entering Extended Passive Mode (|||%p|)\r\n"},
                   {"RETR a.wrd", announced, A::SendData, kPayload, "226 Done\r\n"}}),
         true, openAndFetch, {"USER guest", "PASS s3cret@word", "TYPE I", "EPSV", "RETR a.wrd"}, "", "", kPayload},
        {"NoSizeAnnounced",
         loggedIn({{"TYPE I", "200 ok\r\n"}, {"EPSV", "229 (|||%p|)\r\n"},
                   {"RETR a.wrd", "150 Here it comes\r\n", A::SendData, kPayload, "226 Done\r\n"}}),
         true, openAndFetch, {"USER guest", "PASS s3cret@word", "TYPE I", "EPSV", "RETR a.wrd"}, "", "", kPayload},
        {"FewerBytesThanAnnounced",
         loggedIn({{"TYPE I", "200 ok\r\n"}, {"EPSV", "229 (|||%p|)\r\n"},
                   {"RETR a.wrd", "150 Opening (20 bytes)\r\n", A::SendData, kPayload, "226 Done\r\n"}}),
         true, openAndFetch, {"USER guest", "PASS s3cret@word", "TYPE I", "EPSV", "RETR a.wrd"}, "sock",
         "10 of 20", kOld},
        {"FinalReply426",
         loggedIn({{"TYPE I", "200 ok\r\n"}, {"EPSV", "229 (|||%p|)\r\n"},
                   {"RETR a.wrd", announced, A::SendData, kPayload, "426 Connection closed; transfer aborted.\r\n"}}),
         true, openAndFetch, {"USER guest", "PASS s3cret@word", "TYPE I", "EPSV", "RETR a.wrd"}, "ftp", "426", kOld},
        {"ControlClosedDuringTransfer",
         loggedIn({{"TYPE I", "200 ok\r\n"}, {"EPSV", "229 (|||%p|)\r\n"},
                   {"RETR a.wrd", "150 Opening\r\n", A::Close}}),
         true, openAndFetch, {"USER guest", "PASS s3cret@word", "TYPE I", "EPSV", "RETR a.wrd"}, "sock", "", kOld},
        {"ControlClosedAfterUser",
         {{"", kGreeting}, {"USER guest", "", A::Close}},
         true, [](TFtpClient &c, const QString &) { c.Open(); }, {"USER guest"}, "sock", "closed", kOld},
        {"PassiveRefusedFallsBackToPort",
         loggedIn({{"TYPE I", "200 ok\r\n"}, {"EPSV", "500 Unknown command\r\n"}, {"PASV", "502 Not here\r\n"},
                   {"PORT 127,0,0,1,", "200 PORT ok\r\n"},
                   {"RETR a.wrd", announced, A::SendData, kPayload, "226 Done\r\n"}}),
         true, openAndFetch, {"USER guest", "PASS s3cret@word", "TYPE I", "EPSV", "PASV", "PORT", "RETR a.wrd"}, "", "",
         kPayload},
        {"PassiveOffForcesPort",
         loggedIn({{"TYPE I", "200 ok\r\n"}, {"PORT 127,0,0,1,", "200 PORT ok\r\n"},
                   {"RETR a.wrd", announced, A::SendData, kPayload, "226 Done\r\n"}}),
         false, openAndFetch, {"USER guest", "PASS s3cret@word", "TYPE I", "PORT", "RETR a.wrd"}, "", "", kPayload},
        {"PasvAddressIgnored",
         loggedIn({{"TYPE I", "200 ok\r\n"}, {"EPSV", "500 Unknown\r\n"},
                   {"PASV", "227 Entering Passive Mode (10,99,1,2,%P)\r\n"},
                   {"RETR a.wrd", announced, A::SendData, kPayload, "226 Done\r\n"}}),
         true, openAndFetch, {"USER guest", "PASS s3cret@word", "TYPE I", "EPSV", "PASV", "RETR a.wrd"}, "", "",
         kPayload},
        {"DataFromAnotherAddressRefused",
         loggedIn({{"TYPE I", "200 ok\r\n"}, {"PORT 127,0,0,1,", "200 PORT ok\r\n"},
                   {"RETR a.wrd", announced, A::SendDataElsewhere, kPayload, "226 Done\r\n"}}),
         false, openAndFetch, {"USER guest", "PASS s3cret@word", "TYPE I", "PORT", "RETR a.wrd"}, "", "", kPayload},
        {"NoConnectBack",
         loggedIn({{"TYPE I", "200 ok\r\n"}, {"PORT 127,0,0,1,", "200 PORT ok\r\n"},
                   {"RETR a.wrd", "150 Opening\r\n", A::NoConnectBack}}),
         false, openAndFetch, {"USER guest", "PASS s3cret@word", "TYPE I", "PORT", "RETR a.wrd"}, "sock",
         "did not connect", kOld},
        {"ConnectBackFailureReported",
         loggedIn({{"TYPE I", "200 ok\r\n"}, {"PORT 127,0,0,1,", "200 PORT ok\r\n"},
                   {"RETR a.wrd", "150 Opening\r\n425 Can't open data connection\r\n", A::NoConnectBack}}),
         false, openAndFetch, {"USER guest", "PASS s3cret@word", "TYPE I", "PORT", "RETR a.wrd"}, "ftp", "425", kOld},
        {"MissingFile",
         loggedIn({{"TYPE I", "200 ok\r\n"}, {"EPSV", "229 (|||%p|)\r\n"},
                   {"RETR a.wrd", "550 a.wrd: No such file or directory.\r\n"}}),
         true, openAndFetch, {"USER guest", "PASS s3cret@word", "TYPE I", "EPSV", "RETR a.wrd"}, "ftp",
         "550 a.wrd: No such file or directory.", kOld},
        {"UnaskedDataDiscarded",
         {{"", kGreeting}, {"USER guest", "230 Logged in\r\n200 Unasked\r\n"},
          {"CWD dictionaries", "550 dictionaries: No such directory\r\n"}},
         true, [](TFtpClient &c, const QString &) {
             c.Open();
             c.SetFolder("dictionaries");
         },
         {"USER guest", "CWD dictionaries"}, "ftp", "550 dictionaries", kOld},
        {"OverlongLine",
         {{"", "220 " + QByteArray(10000, 'x')}},
         true, [](TFtpClient &c, const QString &) { c.Open(); }, {}, "sock", "too long", kOld},
        {"OverlongLineWithEnd",
         {{"", "220 " + QByteArray(5000, 'x') + "\r\n"}},
         true, [](TFtpClient &c, const QString &) { c.Open(); }, {}, "sock", "too long", kOld},
        {"ReplyWithoutCode",
         {{"", "Hello there\r\n"}},
         true, [](TFtpClient &c, const QString &) { c.Open(); }, {}, "sock", "no code", kOld},
        {"SilentGreetingTimesOut",
         {{"", "", A::Silent}},
         true, [](TFtpClient &c, const QString &) {
             c.Limit.reply = 300;
             c.Open();
         },
         {}, "sock", "did not answer", kOld},
        {"LineBreakInNameNeverSent",
         loggedIn({{"TYPE I", "200 ok\r\n"}, {"EPSV", "229 (|||%p|)\r\n"}}),
         true, [](TFtpClient &c, const QString &local) {
             c.Open();
             c.SetType(2);
             c.Fetch("a.wrd\r\nDELE b.wrd", local);
         },
         {"USER guest", "PASS s3cret@word", "TYPE I", "EPSV"}, "sock", "line break", kOld},
        {"UserAcceptedWithoutPass",
         {{"", kGreeting}, {"USER guest", "230 Welcome\r\n"}, {"QUIT", "221 Bye\r\n"}},
         true, [](TFtpClient &c, const QString &) {
             c.Open();
             c.Close();
         },
         {"USER guest", "QUIT"}, "", "", kOld},
    };
}

TEST_P(ScriptedFtp, Case)
{
    const Case c = cases()[std::size_t(GetParam())];
    SCOPED_TRACE(c.name);
    TestHome home;
    const QString local = home.home() + "a.wrd";
    home.writeFile("a.wrd", kOld);
    ScriptedFtpServer server(c.steps);
    TFtpClient client;
    setUp(client, server.port());
    client.Passive = c.passive;
    const Outcome out = run([&] { c.act(client, local); });
    EXPECT_EQ(out.kind.toStdString(), c.kind.toStdString()) << out.text.toStdString();
    EXPECT_TRUE(out.text.contains(c.textHas)) << out.text.toStdString();
    EXPECT_FALSE(out.text.contains("s3cret")) << out.text.toStdString();
    QList<QByteArray> seen;
    for (const QByteArray &cmd : server.commands)
        seen << cmd;
    // PORT carries a port chosen at run time: compare its fixed start only.
    ASSERT_EQ(seen.size(), c.commands.size()) << seen.join(" | ").toStdString();
    for (int i = 0; i < seen.size(); ++i)
        EXPECT_TRUE(seen[i].startsWith(c.commands[i])) << seen[i].toStdString();
    EXPECT_TRUE(server.unexpected.isEmpty()) << server.unexpected.join(" | ").toStdString();
    EXPECT_EQ(home.readFile("a.wrd"), c.file);
    // Nothing half-written is left beside the target.
    EXPECT_EQ(QDir(home.home()).entryList(QDir::Files), QStringList{"a.wrd"});
    if (QString(c.name) == "DataFromAnotherAddressRefused")
        EXPECT_TRUE(server.foreignRefused);
    client.Close();
}

INSTANTIATE_TEST_SUITE_P(Table, ScriptedFtp, ::testing::Range(0, int(cases().size())),
                         [](const ::testing::TestParamInfo<int> &info) { return std::string(cases()[std::size_t(info.param)].name); });

TEST(ScriptedFtpSizes, AnnouncedSizeRead)
{
    TestHome home;
    ScriptedFtpServer server(loggedIn({{"TYPE I", "200 ok\r\n"}, {"EPSV", "229 (|||%p|)\r\n"},
                                       {"RETR a.wrd", "150-Opening\r\n150 a.wrd (10 bytes)\r\n", A::SendData, kPayload,
                                        "226 Done\r\n"}}));
    TFtpClient client;
    setUp(client, server.port());
    client.Open();
    client.SetType(2);
    client.Fetch("a.wrd", home.home() + "a.wrd");
    EXPECT_EQ(client.SizeAnnounced(), 10);
    EXPECT_EQ(client.SizeReceived(), 10);
    EXPECT_TRUE(client.LastFetchPassive());
}

// A greeting that never comes: the wait ends at once on Abort, long before its limit.
TEST(ScriptedFtpWaits, AbortEndsASilentWait)
{
    ScriptedFtpServer server({{"", "", A::Silent}});
    TFtpClient client;
    setUp(client, server.port());
    client.Limit.reply = 60000;
    QTimer::singleShot(100, &client, [&] { client.Abort(); });
    QElapsedTimer clock;
    clock.start();
    const Outcome out = run([&] { client.Open(); });
    EXPECT_EQ(out.kind, "abort");
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_FALSE(client.Connected());
}

// The program quitting ends a wait the same way (and the event loops are left alone after).
TEST(ScriptedFtpWaits, QuittingEndsAWait)
{
    ScriptedFtpServer server({{"", "", A::Silent}});
    TFtpClient client;
    setUp(client, server.port());
    client.Limit.reply = 60000;
    Outcome out{"none", ""};
    QTimer::singleShot(0, [&] {
        out = run([&] { client.Open(); });
        client.Close();
    });
    QTimer::singleShot(200, [] { QCoreApplication::exit(0); });
    QElapsedTimer clock;
    clock.start();
    QCoreApplication::exec();
    EXPECT_EQ(out.kind, "abort");
    EXPECT_LT(clock.elapsed(), 10000);
}

TEST(ScriptedFtpProxy, UserNamesTheServer)
{
    ScriptedFtpServer proxy({{"", kGreeting}, {"USER guest@ftp.example.org", "230 Through\r\n"}});
    TFtpClient client;
    setUp(client, 21);
    client.Host = "ftp.example.org";
    client.Proxy = "127.0.0.1";
    client.ProxyPort = proxy.port();
    client.Open();
    EXPECT_EQ(proxy.commands, QList<QByteArray>{"USER guest@ftp.example.org"});
    EXPECT_TRUE(client.Connected());
}

TEST(ScriptedFtpProxy, PortOutsideRangeRefusedBeforeConnecting)
{
    ScriptedFtpServer proxy({{"", kGreeting}});
    for (int port : {0, -5, 65536}) {
        TFtpClient client;
        setUp(client, 21);
        client.Proxy = "127.0.0.1";
        client.ProxyPort = port;
        const Outcome out = run([&] { client.Open(); });
        EXPECT_EQ(out.kind, "sock") << port;
        EXPECT_TRUE(out.text.contains("proxy port")) << out.text.toStdString();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(proxy.connections, 0);
}

TEST(ScriptedFtpConnect, RefusedAndTimedOut)
{
    // A port nobody listens on.
    quint16 closedPort;
    {
        QTcpServer s;
        s.listen(QHostAddress::LocalHost, 0);
        closedPort = s.serverPort();
    }
    TFtpClient client;
    setUp(client, closedPort);
    Outcome out = run([&] { client.Open(); });
    EXPECT_EQ(out.kind, "sock");
    EXPECT_TRUE(out.text.startsWith("Connection Failed")) << out.text.toStdString();

    // Unresolvable names call the invalid-host event once and fail.
    int asked = 0;
    client.Host = "no-such-host.invalid";
    client.OnInvalidHost = [&](const QString &name) {
        ++asked;
        EXPECT_EQ(name, "no-such-host.invalid");
        return false;
    };
    out = run([&] { client.Open(); });
    EXPECT_EQ(out.kind, "sock");
    EXPECT_EQ(asked, 1);
}

// Server text reaches the user converted from Windows-1251, on one line, never as markup
// (the message box shows plain text), and cut to a readable length.
TEST(ScriptedFtpText, ConvertedOneLineCapped)
{
    ScriptedFtpServer server({{"", "550-\xD4\xE0\xE9\xEB <b>bold</b>\r\n550 " + QByteArray(600, 'x') + "\r\n"}});
    TFtpClient client;
    setUp(client, server.port());
    const Outcome out = run([&] { client.Open(); });
    EXPECT_EQ(out.kind, "ftp");
    EXPECT_TRUE(out.text.startsWith("550-Файл <b>bold</b> 550 xxx")) << out.text.toStdString();
    EXPECT_LE(out.text.size(), 301);
    EXPECT_FALSE(out.text.contains('\n') || out.text.contains('\r'));
}

// A server whose queue of connections is full never answers a connect: the wait ends at its
// limit, or at once on Abort.
TEST(ScriptedFtpConnect, HangingConnectTimesOutAndAborts)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(fd, 0), 0);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    const quint16 port = ntohs(a.sin_port);
    // Fill the queue: nothing is ever accepted.
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    waitUntil([] { return false; }, 300);

    for (bool abort : {false, true}) {
        TFtpClient client;
        setUp(client, port);
        client.Limit.connect = abort ? 60000 : 400;
        if (abort)
            QTimer::singleShot(100, &client, [&] { client.Abort(); });
        QElapsedTimer clock;
        clock.start();
        const Outcome out = run([&] { client.Open(); });
        EXPECT_EQ(out.kind, abort ? "abort" : "sock") << out.text.toStdString();
        EXPECT_EQ(out.text, abort ? "Connection Canceled" : "Connection Timed out");
        EXPECT_LT(clock.elapsed(), 10000);
    }
    ::close(fd);
}
