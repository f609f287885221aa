// The wordpop executable started for real: the "-r" switch, the one-instance rule, the autorun
// entry, the folders it makes and the messages when it cannot.
#include "common/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
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
    std::unique_ptr<QProcess> start(const QStringList &args, const QStringList &wrap = {})
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env());
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        if (wrap.isEmpty())
            p->start(kProgram, args);
        else
            p->start(wrap.first(), wrap.mid(1) + QStringList{kProgram} + args);
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }

    // Waits until the running program has made its folders (the sign that start-up is over).
    bool waitUntilRunning(QProcess &p)
    {
        for (int i = 0; i < 200; ++i) {
            if (QDir(home.home() + "NEWS").exists() && QFileInfo::exists(home.home() + "wordpop.opt"))
                return p.state() == QProcess::Running;
            if (p.state() != QProcess::Running)
                return false;
            QThread::msleep(50);
        }
        return false;
    }

    // Ends a running instance the way the session's logout does, and expects a clean exit.
    void terminate(QProcess &p)
    {
        ::kill(p.processId(), SIGTERM);
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
    }

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
        if (a->state() != QProcess::Running)
            left = a.get();
        else if (b->state() != QProcess::Running)
            left = b.get();
        else
            QThread::msleep(50);
    }
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->exitCode(), 0);
    QProcess *stays = left == a.get() ? b.get() : a.get();
    ASSERT_TRUE(waitUntilRunning(*stays));
    QThread::msleep(300);
    EXPECT_EQ(stays->state(), QProcess::Running);
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
