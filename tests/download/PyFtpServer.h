// A real FTP server for a test: Debian's pyftpdlib (tests/download/ftp_server.py) run with
// /usr/bin/python3 over a folder, on a port the system chooses; stopped when the object goes.
// ok() false with why() when it could not start; skip() names what the machine lacks.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class PyFtpServer {
public:
    PyFtpServer(const QString &root, const QString &user, const QString &password, const QStringList &options = {})
    {
        const QString python = QStringLiteral("/usr/bin/python3");
        if (!QFileInfo::exists(python)) {
            m_skip = "/usr/bin/python3 is not installed";
            return;
        }
        if (QProcess::execute(python, {"-c", "import pyftpdlib"}) != 0) {
            m_skip = "python3-pyftpdlib is not installed (scripts/packages.txt lists it)";
            return;
        }
        m_process.setStandardErrorFile(m_dir.path() + "/server.log");
        m_process.start(python, QStringList{QStringLiteral(WORDPOP_SOURCE_DIR "/tests/download/ftp_server.py"), root,
                                            user, password} + options);
        // A loaded machine may take a while to start Python: wait long, fail if it never comes.
        QElapsedTimer clock;
        clock.start();
        while (!m_process.canReadLine() && clock.elapsed() < 60000 && m_process.state() != QProcess::NotRunning)
            m_process.waitForReadyRead(200);
        bool ok = false;
        m_port = m_process.readLine().trimmed().toInt(&ok);
        if (!ok || m_port <= 0) {
            m_why = "the FTP server did not start: " + log().right(2000);
            return;
        }
        m_ok = true;
    }
    ~PyFtpServer()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    PyFtpServer(const PyFtpServer &) = delete;
    PyFtpServer &operator=(const PyFtpServer &) = delete;

    bool ok() const { return m_ok; }
    QString why() const { return m_why; }
    QString skip() const { return m_skip; }
    int port() const { return m_port; }
    // The server's log: every command it received as "<- COMMAND".
    QString log() const
    {
        QFile f(m_dir.path() + "/server.log");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_why, m_skip;
    int m_port = 0;
    bool m_ok = false;
};

// In a test body: skips when the machine cannot have the server, fails when it does not start.
#define REQUIRE_FTP_SERVER(server)                                                                 \
    do {                                                                                           \
        if (!(server).skip().isEmpty())                                                            \
            GTEST_SKIP() << (server).skip().toStdString();                                         \
        ASSERT_TRUE((server).ok()) << (server).why().toStdString();                                \
    } while (0)
