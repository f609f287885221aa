// The wordpop executable started for real: the "-r" switch, the one-instance rule, the autorun
// entry, the folders it makes and the messages when it cannot.
#include "common/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral(WORDPOP_BINARY_DIR "/wordpop");

class Startup : public ::testing::Test {
protected:
    TestHome home;
    QString messageLog() const { return home.root() + "/messages.txt"; }
    QString autorun() const { return home.configHome() + "/autostart/wordpop.desktop"; }

    QProcessEnvironment env() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("WORDPOP_HOME", home.home());
        e.insert("XDG_CONFIG_HOME", home.configHome());
        e.insert("XDG_RUNTIME_DIR", home.runtimeDir());
        e.insert("WORDPOP_MESSAGE_LOG", messageLog());
        e.insert("QT_QPA_PLATFORM", "offscreen");
        return e;
    }

    // Starts the program; `wrap` runs it through another command (for a private mount).
    // The program writes one byte to WORDPOP_READY_FD once its event loop runs.
    std::unique_ptr<QProcess> start(const QStringList &args, const QStringList &wrap = {})
    {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        ::fcntl(fds[1], F_SETFD, 0); // the child inherits the write end only
        QProcessEnvironment e = env();
        e.insert("WORDPOP_READY_FD", QString::number(fds[1]));
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(e);
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        if (wrap.isEmpty())
            p->start(kProgram, args);
        else
            p->start(wrap.first(), wrap.mid(1) + QStringList{kProgram} + args);
        ::close(fds[1]);
        EXPECT_TRUE(p->waitForStarted(10000));
        m_ready[p.get()] = fds[0];
        return p;
    }

    // Waits until the program's event loop runs; false when it ended or took too long.
    bool waitUntilRunning(QProcess &p)
    {
        const int fd = m_ready[&p];
        pollfd pfd{fd, POLLIN, 0};
        char c;
        const bool ready = ::poll(&pfd, 1, 30000) == 1 && ::read(fd, &c, 1) == 1;
        return ready && p.state() == QProcess::Running;
    }

    void TearDown() override
    {
        for (auto &[process, fd] : m_ready)
            ::close(fd);
    }

    // Ends a running instance the way the session's logout does, and expects a clean exit.
    void terminate(QProcess &p)
    {
        ::kill(p.processId(), SIGTERM);
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
    }

    std::map<QProcess *, int> m_ready;

    QStringList messages() const
    {
        QFile f(messageLog());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
};

} // namespace

TEST_F(Startup, RemoveSwitchMustBeExactlyDashR)
{
    struct Case { QString arg; bool removesAndExits; };
    const Case cases[] = {{"-r", true}, {" -r", false}, {"-R", false}};
    for (const Case &c : cases) {
        QDir().mkpath(QFileInfo(autorun()).absolutePath());
        QFile f(autorun());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        auto p = start({c.arg});
        if (c.removesAndExits) {
            ASSERT_TRUE(p->waitForFinished(10000));
            EXPECT_EQ(p->exitCode(), 0);
            EXPECT_FALSE(QFileInfo::exists(autorun()));
            // Nothing else was touched: no settings file, no folders.
            EXPECT_FALSE(QFileInfo::exists(home.home() + "wordpop.opt"));
            EXPECT_FALSE(QDir(home.home() + "BASE").exists());
        } else {
            ASSERT_TRUE(waitUntilRunning(*p)) << c.arg.toStdString();
            terminate(*p);
        }
    }
}

TEST_F(Startup, RemoveSwitchWorksWhileAnInstanceRuns)
{
    auto first = start({});
    ASSERT_TRUE(waitUntilRunning(*first));
    ASSERT_TRUE(QFileInfo::exists(autorun())); // AutoRun is on by default
    auto remover = start({"-r"});
    ASSERT_TRUE(remover->waitForFinished(10000));
    EXPECT_FALSE(QFileInfo::exists(autorun()));
    EXPECT_EQ(first->state(), QProcess::Running);
    terminate(*first);
}

TEST_F(Startup, TwoStartsAtOnceLeaveOneRunning)
{
    auto a = start({});
    auto b = start({});
    // One of the two leaves at once, silently and with 0.
    QProcess *left = nullptr;
    for (int i = 0; i < 200 && !left; ++i) {
        if (a->waitForFinished(25))
            left = a.get();
        else if (b->waitForFinished(25))
            left = b.get();
    }
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->exitCode(), 0);
    QProcess *stays = left == a.get() ? b.get() : a.get();
    ASSERT_TRUE(waitUntilRunning(*stays));
    EXPECT_FALSE(stays->waitForFinished(300));
    EXPECT_TRUE(messages().isEmpty());
    terminate(*stays);
}

TEST_F(Startup, MakesFoldersSettingsAndAutorunEntry)
{
    auto p = start({});
    ASSERT_TRUE(waitUntilRunning(*p));
    for (const char *f : {"BASE", "BASE/ON", "BASE/LEARNED", "BASE/OFF", "BASE/LEARNEDOFF", "TEMP", "NEWS"})
        EXPECT_TRUE(QDir(home.home() + f).exists()) << f;
    EXPECT_EQ(QFileInfo(home.home() + "wordpop.opt").size(), 6724);
    QFile entry(autorun());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains("Name=Wordpop\n"));
    EXPECT_TRUE(text.contains("Exec=\"" + QFileInfo(kProgram).canonicalFilePath() + "\"\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("Path=" + QFileInfo(kProgram).canonicalPath() + "\n"));
    terminate(*p);

    // Deleted by hand, the entry comes back at the next start while AutoRun is set.
    QFile::remove(autorun());
    auto again = start({});
    ASSERT_TRUE(waitUntilRunning(*again));
    EXPECT_TRUE(QFileInfo::exists(autorun()));
    terminate(*again);
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(Startup, ReadOnlyProgramFolderSaysWhichFoldersItCannotMakeAndEnds)
{
    QStringList wrap;
    const QString dir = QDir(home.home()).absolutePath();
    if (::geteuid() == 0) {
        // Root ignores permissions: a read-only bind mount in a private mount namespace.
        if (QProcess::execute("unshare", {"-m", "true"}) != 0)
            GTEST_SKIP() << "root without mount namespaces: cannot make a read-only folder";
        wrap = {"unshare", "-m", "sh", "-c",
                QString("mount --bind '%1' '%1' && mount -o remount,ro,bind '%1' && exec \"$0\" \"$@\"").arg(dir)};
    } else {
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
    }
    auto p = start({}, wrap);
    ASSERT_TRUE(p->waitForFinished(30000));
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(p->exitCode(), 0);
    const QString folder = home.home();
    QStringList expected;
    for (const char *f : {"BASE/", "BASE/ON/", "BASE/LEARNED/", "BASE/OFF/", "BASE/LEARNEDOFF/", "TEMP/", "NEWS/"})
        expected << "Can't create " + folder + f + " directory.";
    QStringList cantCreate;
    for (const QString &m : messages())
        if (m.startsWith("Can't create "))
            cantCreate << m;
    EXPECT_EQ(cantCreate, expected);
}

// An installed copy (bin/, lib/wordpop/, share/wordpop/ under any prefix) without WORDPOP_HOME:
// the program folder is $XDG_DATA_HOME/wordpop/, filled at the first start from the data folder
// beside bin/, and an existing file there is never overwritten.
TEST_F(Startup, InstalledCopyFillsTheUsersProgramFolder)
{
    const QString prefix = home.root() + "/prefix";
    const QString dataHome = home.root() + "/data-home";
    const QString build = QStringLiteral(WORDPOP_BINARY_DIR);
    if (!QFileInfo::exists(build + "/data/BASE/ON"))
        GTEST_SKIP() << "the sample dictionaries are not built (" << build.toStdString() << "/data/BASE/ON)";
    ASSERT_TRUE(QDir().mkpath(prefix + "/bin"));
    ASSERT_TRUE(QDir().mkpath(prefix + "/lib/wordpop"));
    ASSERT_TRUE(QFile::copy(kProgram, prefix + "/bin/wordpop"));
    QFile::copy(build + "/wordpop-hook.so", prefix + "/lib/wordpop/wordpop-hook.so");
    ASSERT_EQ(QProcess::execute("cp", {"-r", build + "/data", prefix + "/share-wordpop"}), 0);
    ASSERT_TRUE(QDir().mkpath(prefix + "/share"));
    ASSERT_TRUE(QDir().rename(prefix + "/share-wordpop", prefix + "/share/wordpop"));
    home.writeFile("../data-home/wordpop/langs.dat", "0409=Mine\r\n"); // the user's own copy stays

    QProcessEnvironment e = env();
    e.remove("WORDPOP_HOME");
    e.insert("XDG_DATA_HOME", dataHome);
    QProcess p;
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(prefix + "/bin/wordpop", {});
    ASSERT_TRUE(p.waitForStarted(10000));
    const QString folder = dataHome + "/wordpop/";
    for (int i = 0; i < 400 && !QFileInfo::exists(folder + "NEWS"); ++i)
        p.waitForFinished(50);
    EXPECT_TRUE(QFileInfo::exists(folder + "NEWS"));
    // The first start asked for the sound module; a copy outside the build folder never takes
    // one from there (prefix/lib/wordpop/ has none here).
    QFile maps(QString("/proc/%1/maps").arg(p.processId()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QString mapped = QString::fromUtf8(maps.readAll());
    EXPECT_FALSE(mapped.contains(QFileInfo(build).canonicalFilePath() + "/wordpop-sound.so")) << mapped.toStdString();
    terminate(p);
    EXPECT_TRUE(QFileInfo::exists(folder + "SOUND/ok.wav"));
    EXPECT_TRUE(QFileInfo::exists(folder + "wordpop.html"));
    EXPECT_FALSE(QDir(folder + "BASE/ON").entryList({"*.wrd"}).isEmpty());
    QFile langs(folder + "langs.dat");
    ASSERT_TRUE(langs.open(QIODevice::ReadOnly));
    EXPECT_EQ(langs.readAll(), QByteArray("0409=Mine\r\n"));
}
