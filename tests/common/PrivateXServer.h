// An X server of one test's own (Xvfb, display number chosen by the server through -displayfd),
// for tests that change server-wide state such as the keyboard layouts, which must not leak
// into tests running beside them on the test command's server. Header-only.
// The server is waited for long enough for a loaded machine running tests side by side; a test
// skips only where Xvfb is not installed (REQUIRE_PRIVATE_X_SERVER) and fails otherwise.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <string>

class PrivateXServer {
public:
    PrivateXServer()
    {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty()) {
            m_why = "Xvfb is not installed";
            return;
        }
        m_installed = true;
        m_server.setProcessChannelMode(QProcess::SeparateChannels);
        // -noreset: the keymap a test sets must outlive the moments no client is connected.
        m_server.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-noreset", "-screen", "0", "640x480x24"});
        const QDeadlineTimer deadline(kWaitMs);
        if (!m_server.waitForStarted(kWaitMs)) {
            m_why = "Xvfb does not start: " + m_server.errorString().toStdString();
            return;
        }
        QByteArray number;
        while (!number.contains('\n') && m_server.state() == QProcess::Running && !deadline.hasExpired())
            if (m_server.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                number += m_server.readAllStandardOutput();
        bool ok = false;
        number.trimmed().toInt(&ok);
        if (!ok) {
            m_why = (m_server.state() == QProcess::Running
                         ? "Xvfb did not say its display number within " + std::to_string(kWaitMs / 1000) + " s: "
                         : "Xvfb ended before saying its display number: ") +
                    m_server.readAllStandardError().right(400).trimmed().toStdString();
            stop();
            return;
        }
        m_display = ":" + QString::fromLatin1(number.trimmed());
    }
    ~PrivateXServer() { stop(); }
    PrivateXServer(const PrivateXServer &) = delete;
    PrivateXServer &operator=(const PrivateXServer &) = delete;

    // How long the server may take to start and say its display.
    static constexpr int kWaitMs = 60000;

    bool ok() const { return !m_display.isEmpty(); }
    // Whether Xvfb is there at all; when it is, a server that cannot be had is a failure.
    bool installed() const { return m_installed; }
    // Why there is no server (empty when there is one).
    const std::string &why() const { return m_why; }
    // The display name, ":N".
    const QString &display() const { return m_display; }

    // Sets the keyboard's layouts with setxkbmap ("us,ru", variants ",phonetic"). Empty on
    // success, otherwise what went wrong.
    std::string setLayouts(const QString &layouts, const QString &variants = QString()) const
    {
        const QString tool = QStandardPaths::findExecutable("setxkbmap");
        if (tool.isEmpty())
            return "setxkbmap is not installed";
        QStringList args{"-display", m_display, "-layout", layouts, "-variant", variants};
        QProcess p;
        p.start(tool, args);
        if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return "setxkbmap " + args.join(' ').toStdString() + " failed: " + p.readAllStandardError().trimmed().toStdString();
        return {};
    }

    void stop()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(5000))
                m_server.kill();
            m_server.waitForFinished(2000);
        }
        m_display.clear();
    }

private:
    QProcess m_server;
    QString m_display;
    std::string m_why;
    bool m_installed = false;
};

// In a test or SetUp: skips, with the reason, where Xvfb is not installed; fails when it is and
// its server could not be had.
#define REQUIRE_PRIVATE_X_SERVER(server)                                                          \
    do {                                                                                          \
        if (!(server).installed())                                                                \
            GTEST_SKIP() << "no X server of the test's own: " << (server).why();                 \
        ASSERT_TRUE((server).ok()) << "the test's own X server: " << (server).why();             \
    } while (0)

// Points $DISPLAY somewhere (or nowhere, with null) for one scope.
class ScopedDisplay {
public:
    explicit ScopedDisplay(const char *value) : m_had(qEnvironmentVariableIsSet("DISPLAY")), m_old(qgetenv("DISPLAY"))
    {
        if (value)
            qputenv("DISPLAY", value);
        else
            qunsetenv("DISPLAY");
    }
    explicit ScopedDisplay(const QString &value) : ScopedDisplay(value.toLocal8Bit().constData()) {}
    ~ScopedDisplay()
    {
        if (m_had)
            qputenv("DISPLAY", m_old);
        else
            qunsetenv("DISPLAY");
    }
    ScopedDisplay(const ScopedDisplay &) = delete;
    ScopedDisplay &operator=(const ScopedDisplay &) = delete;

private:
    bool m_had;
    QByteArray m_old;
};
