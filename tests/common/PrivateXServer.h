// An X server of one test's own (Xvfb, display number chosen by the server through -displayfd),
// for tests that change server-wide state such as the keyboard layouts, which must not leak
// into tests running beside them on the test command's server. Header-only.
#pragma once

#include <QByteArray>
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
        m_server.setProcessChannelMode(QProcess::SeparateChannels);
        // -noreset: the keymap a test sets must outlive the moments no client is connected.
        m_server.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-noreset", "-screen", "0", "640x480x24"});
        if (!m_server.waitForStarted(5000)) {
            m_why = "Xvfb does not start";
            return;
        }
        QByteArray number;
        while (!number.contains('\n') && m_server.waitForReadyRead(10000))
            number += m_server.readAllStandardOutput();
        bool ok = false;
        number.trimmed().toInt(&ok);
        if (!ok) {
            m_why = "Xvfb did not say its display number";
            stop();
            return;
        }
        m_display = ":" + QString::fromLatin1(number.trimmed());
    }
    ~PrivateXServer() { stop(); }
    PrivateXServer(const PrivateXServer &) = delete;
    PrivateXServer &operator=(const PrivateXServer &) = delete;

    bool ok() const { return !m_display.isEmpty(); }
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
};

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
