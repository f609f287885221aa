// A private program folder and XDG folders for one test; the old environment comes back after.
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

static const char *const kVars[3] = {"WORDPOP_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"};

TestHome::TestHome()
{
    EXPECT_TRUE(m_root.isValid());
    m_home = m_root.path() + "/home/";
    QDir().mkpath(m_home);
    QDir().mkpath(configHome());
    QDir().mkpath(runtimeDir());
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString values[3] = {m_home, configHome(), runtimeDir()};
    for (int i = 0; i < 3; ++i) {
        m_had[i] = qEnvironmentVariableIsSet(kVars[i]);
        m_saved[i] = qgetenv(kVars[i]);
        qputenv(kVars[i], values[i].toUtf8());
    }
}

TestHome::~TestHome()
{
    for (int i = 0; i < 3; ++i) {
        if (m_had[i])
            qputenv(kVars[i], m_saved[i]);
        else
            qunsetenv(kVars[i]);
    }
    // A test may leave read-only folders behind; make them removable again.
    QFile::setPermissions(m_home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestHome::writeFile(const QString &relative, const QByteArray &bytes) const
{
    const QString path = m_home + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

QByteArray TestHome::readFile(const QString &relative) const
{
    QFile f(m_home + relative);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}
