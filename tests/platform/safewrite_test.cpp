// Writing beside, then renaming: the target is replaced whole or not at all, keeps its mode,
// and no temporary is left behind.
#include "platform/SafeWrite.h"

#include "common/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

mode_t modeOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

} // namespace

TEST(SafeWrite, ReplacesWholeKeepsModeAndLeavesNoTemporary)
{
    QTemporaryDir dir;
    const QString target = dir.path() + "/words.wrd";
    writeAll(target, "old bytes");
    ::chmod(QFile::encodeName(target).constData(), 0640);

    std::string error;
    ASSERT_TRUE(SafeWrite::ReplaceFile(target.toStdString(), "new", 3, &error)) << error;
    EXPECT_EQ(readAll(target), QByteArray("new"));
    EXPECT_EQ(modeOf(target), mode_t(0640));
    EXPECT_EQ(entries(dir.path()), QStringList{"words.wrd"});

    // A new file is made as well.
    const QString fresh = dir.path() + "/fresh.opt";
    ASSERT_TRUE(SafeWrite::ReplaceFile(fresh.toStdString(), "x", 1));
    EXPECT_EQ(readAll(fresh), QByteArray("x"));
}

TEST(SafeWrite, TemporaryIsHiddenBesideTheTargetAndGoneUnlessCommitted)
{
    QTemporaryDir dir;
    const std::string target = dir.path().toStdString() + "/Новый словарь.wrd";
    std::string made;
    {
        SafeWrite::Temporary tmp(target);
        made = tmp.path();
        const QString name = QFile::decodeName(made.c_str()).section('/', -1);
        EXPECT_TRUE(name.startsWith(".Новый словарь.tmp-")) << made;
        EXPECT_TRUE(name.endsWith(".wrd")) << made;
        EXPECT_EQ(tmp.companion(".cdx"), made.substr(0, made.size() - 4) + ".cdx");
        writeAll(QFile::decodeName(tmp.companion(".cdx").c_str()), "index");
        EXPECT_EQ(entries(dir.path()).size(), 2);
    }
    EXPECT_TRUE(entries(dir.path()).isEmpty()); // both removed
    // A folder that does not exist cannot take one.
    EXPECT_THROW(SafeWrite::Temporary(dir.path().toStdString() + "/missing/x.wrd"), SafeWrite::Error);
}

TEST(SafeWrite, PairRenamesIndexWithTableOrDropsIt)
{
    QTemporaryDir dir;
    const std::string table = dir.path().toStdString() + "/a.wrd";
    const std::string index = dir.path().toStdString() + "/a.cdx";
    {
        SafeWrite::TempPair pair(table);
        writeAll(QString::fromStdString(pair.table()), "T1");
        writeAll(QString::fromStdString(pair.index()), "I1");
        pair.commit(table, index, true);
    }
    EXPECT_EQ(readAll(QString::fromStdString(table)), QByteArray("T1"));
    EXPECT_EQ(readAll(QString::fromStdString(index)), QByteArray("I1"));
    {
        SafeWrite::TempPair pair(table);
        writeAll(QString::fromStdString(pair.table()), "T2");
        writeAll(QString::fromStdString(pair.index()), "I2");
        pair.commit(table, index, false);
    }
    EXPECT_EQ(readAll(QString::fromStdString(table)), QByteArray("T2"));
    EXPECT_EQ(readAll(QString::fromStdString(index)), QByteArray("I1"));
    EXPECT_EQ(entries(dir.path()), (QStringList{"a.cdx", "a.wrd"}));
}

// Root ignores permissions, so the failure comes from a file-size limit in a child process.
TEST(SafeWrite, FailedWriteLeavesTheTargetByteForByte)
{
    QTemporaryDir dir;
    const QString target = dir.path() + "/words.wrd";
    const QByteArray original(3000, 'o');
    writeAll(target, original);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::string big(5000, 'n');
        const bool ok = SafeWrite::ReplaceFile(target.toStdString(), big.data(), big.size());
        ::_exit(ok ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write should have failed";
    EXPECT_EQ(readAll(target), original);
    EXPECT_EQ(entries(dir.path()), QStringList{"words.wrd"});
}
