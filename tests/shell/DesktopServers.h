// Real desktop servers for the tests of lessons held back and of idle on Wayland: headless Sway
// run as an unprivileged user (it refuses root), openbox on a private Xvfb, a private session
// bus. Each says why it could not start; tests fail on that, and skip only for what the machine
// lacks (a program not installed). Header-only.
#pragma once

#include "common/EventWait.h"
#include "common/PrivateXServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>
#include <vector>
#include <string>

#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// Programs that refuse root run as this user: as ourselves when we are not root, else "nobody".
struct Unprivileged {
    uid_t uid = ::getuid();
    gid_t gid = ::getgid();
    bool drop = false;
    std::string why;

    Unprivileged()
    {
        if (::geteuid() != 0)
            return;
        const passwd *pw = ::getpwnam("nobody");
        if (!pw) {
            why = "running as root and there is no user \"nobody\" to run the compositor as";
            return;
        }
        uid = pw->pw_uid;
        gid = pw->pw_gid;
        drop = true;
    }

    // Starts `program` as that user.
    void start(QProcess &p, const QString &program, const QStringList &args) const
    {
        if (!drop) {
            p.start(program, args);
            return;
        }
        QStringList all{"--reuid=" + QString::number(uid), "--regid=" + QString::number(gid), "--clear-groups", "--", program};
        all += args;
        p.start(QStringLiteral("setpriv"), all);
    }

    // A folder the user owns alone (as Wayland wants its runtime folder).
    bool own(const QString &folder) const
    {
        return !drop || (::chown(QFile::encodeName(folder).constData(), uid, gid) == 0
                         && ::chmod(QFile::encodeName(folder).constData(), 0700) == 0);
    }
};

// Debian's Sway on the headless backend with software rendering and no input devices: input
// comes only through the virtual-keyboard protocol (wtype).
class HeadlessSway {
public:
    HeadlessSway()
    {
        if (QStandardPaths::findExecutable("sway").isEmpty()) {
            m_missing = "sway is not installed";
            return;
        }
        if (QStandardPaths::findExecutable("wtype").isEmpty()) {
            m_missing = "wtype is not installed";
            return;
        }
        if (!m_user.why.empty()) {
            m_missing = m_user.why;
            return;
        }
        // The user must reach the folders; the runtime folder is the user's own.
        ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
        const QString run = m_dir.path() + "/run";
        QDir().mkpath(run);
        QFile config(m_dir.path() + "/config");
        config.open(QIODevice::WriteOnly);
        config.close();
        ::chmod(QFile::encodeName(config.fileName()).constData(), 0644);
        if (!m_user.own(run)) {
            m_why = "cannot give the runtime folder to the compositor's user";
            return;
        }
        QProcessEnvironment env;
        env.insert("PATH", qEnvironmentVariable("PATH", "/usr/bin:/bin"));
        env.insert("HOME", m_dir.path());
        env.insert("XDG_RUNTIME_DIR", run);
        env.insert("WLR_BACKENDS", "headless");
        env.insert("WLR_RENDERER", "pixman");
        env.insert("WLR_LIBINPUT_NO_DEVICES", "1");
        m_sway.setProcessEnvironment(env);
        m_sway.setProcessChannelMode(QProcess::MergedChannels);
        m_sway.setStandardOutputFile(m_dir.path() + "/sway.log");
        m_user.start(m_sway, QStringLiteral("sway"), {"-c", config.fileName()});
        if (!m_sway.waitForStarted(10000)) {
            m_why = "sway does not start";
            return;
        }
        // The socket appears once the compositor listens; a loaded machine may take a while.
        QString socket;
        const bool up = pollUntil([&] {
            for (const QString &name : QDir(run).entryList({"wayland-*"}, QDir::System | QDir::Files))
                if (!name.endsWith(".lock"))
                    socket = run + "/" + name;
            return !socket.isEmpty() || m_sway.state() == QProcess::NotRunning;
        }, 60000);
        if (!up || socket.isEmpty()) {
            QFile log(m_dir.path() + "/sway.log");
            log.open(QIODevice::ReadOnly);
            m_why = "sway made no Wayland socket: " + log.readAll().right(600).toStdString();
            stop();
            return;
        }
        m_socket = socket;
        m_run = run;
    }
    ~HeadlessSway() { stop(); }

    bool ok() const { return !m_socket.isEmpty(); }
    const std::string &missing() const { return m_missing; }
    const std::string &why() const { return m_why; }
    // Absolute path of the compositor's socket: what WAYLAND_DISPLAY may name.
    const QString &socket() const { return m_socket; }

    // Types `text` through the virtual keyboard, `delayMs` between keys; returns the running
    // process (wait for it, or let it type on).
    QProcess *type(const QString &text, int delayMs = 0)
    {
        auto *p = new QProcess;
        QProcessEnvironment env;
        env.insert("PATH", qEnvironmentVariable("PATH", "/usr/bin:/bin"));
        env.insert("XDG_RUNTIME_DIR", m_run);
        env.insert("WAYLAND_DISPLAY", m_socket);
        p->setProcessEnvironment(env);
        QStringList args;
        if (delayMs > 0)
            args << "-d" << QString::number(delayMs);
        args << text;
        m_user.start(*p, QStringLiteral("wtype"), args);
        m_typists.emplace_back(p);
        return p;
    }

    void stop()
    {
        for (auto &p : m_typists)
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        m_typists.clear();
        if (m_sway.state() != QProcess::NotRunning) {
            m_sway.terminate();
            if (!m_sway.waitForFinished(10000))
                m_sway.kill();
            m_sway.waitForFinished(5000);
        }
        m_socket.clear();
    }

private:
    Unprivileged m_user;
    QTemporaryDir m_dir;
    QProcess m_sway;
    QString m_socket;
    QString m_run;
    std::string m_missing;
    std::string m_why;
    std::vector<std::unique_ptr<QProcess>> m_typists;
};

// A private session bus: its address, and the daemon ended with the object.
class PrivateSessionBus {
public:
    PrivateSessionBus()
    {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) {
            m_missing = "dbus-daemon is not installed";
            return;
        }
        m_daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        if (!m_daemon.waitForStarted(10000)) {
            m_why = "dbus-daemon does not start";
            return;
        }
        QByteArray line;
        while (!line.contains('\n') && m_daemon.waitForReadyRead(30000))
            line += m_daemon.readAllStandardOutput();
        m_address = QString::fromUtf8(line.trimmed());
        if (m_address.isEmpty()) {
            m_why = "dbus-daemon gave no address: " + m_daemon.readAllStandardError().toStdString();
            stop();
        }
    }
    ~PrivateSessionBus() { stop(); }

    bool ok() const { return !m_address.isEmpty(); }
    const std::string &missing() const { return m_missing; }
    const std::string &why() const { return m_why; }
    const QString &address() const { return m_address; }

    void stop()
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            if (!m_daemon.waitForFinished(5000))
                m_daemon.kill();
            m_daemon.waitForFinished(2000);
        }
    }

private:
    QProcess m_daemon;
    QString m_address;
    std::string m_missing;
    std::string m_why;
};

// Debian's openbox managing a private Xvfb; $DISPLAY is for the caller to point at display().
class OpenboxDesktop {
public:
    OpenboxDesktop()
    {
        if (QStandardPaths::findExecutable("openbox").isEmpty()) {
            m_missing = "openbox is not installed";
            return;
        }
        if (!m_x.installed()) {
            m_missing = m_x.why();
            return;
        }
        if (!m_x.ok()) {
            m_why = "no private X server: " + m_x.why();
            return;
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", m_x.display());
        env.insert("HOME", m_dir.path());
        env.insert("XDG_CONFIG_HOME", m_dir.path());
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        m_wm.setProcessEnvironment(env);
        m_wm.setProcessChannelMode(QProcess::MergedChannels);
        m_wm.start(QStringLiteral("openbox"), {"--sm-disable"});
        if (!m_wm.waitForStarted(10000)) {
            m_why = "openbox does not start";
            return;
        }
        // The window manager is there once it names its check window on the root.
        QProcess probe;
        const bool up = pollUntil([&] {
            probe.start(QStringLiteral("xprop"), {"-display", m_x.display(), "-root", "_NET_SUPPORTING_WM_CHECK"});
            probe.waitForFinished(10000);
            return probe.readAllStandardOutput().contains("window id") || m_wm.state() == QProcess::NotRunning;
        }, 60000);
        if (!up || m_wm.state() == QProcess::NotRunning) {
            m_why = "openbox did not take the screen: " + m_wm.readAll().right(600).toStdString();
            return;
        }
        m_ok = true;
    }
    ~OpenboxDesktop()
    {
        if (m_wm.state() != QProcess::NotRunning) {
            m_wm.terminate();
            if (!m_wm.waitForFinished(5000))
                m_wm.kill();
            m_wm.waitForFinished(2000);
        }
    }

    bool ok() const { return m_ok; }
    const std::string &missing() const { return m_missing; }
    const std::string &why() const { return m_why; }
    const QString &display() const { return m_x.display(); }

private:
    PrivateXServer m_x;
    QTemporaryDir m_dir;
    QProcess m_wm;
    bool m_ok = false;
    std::string m_missing;
    std::string m_why;
};

// Debian's mutter, headless on a virtual monitor, inside dbus-run-session: GNOME's compositor with
// its idle monitor on a session bus of its own.
class HeadlessMutter {
public:
    HeadlessMutter()
    {
        if (QStandardPaths::findExecutable("mutter").isEmpty() || QStandardPaths::findExecutable("dbus-run-session").isEmpty()) {
            m_missing = "mutter or dbus-run-session is not installed";
            return;
        }
        const QString run = m_dir.path() + "/run";
        QDir().mkpath(run);
        ::chmod(QFile::encodeName(run).constData(), 0700);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", run);
        env.insert("HOME", m_dir.path());
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        m_session.setProcessEnvironment(env);
        m_session.setStandardErrorFile(m_dir.path() + "/mutter.log");
        // The shell says the bus and its own number, then becomes mutter.
        m_session.start(QStringLiteral("dbus-run-session"),
                        {"--", "sh", "-c",
                         "echo \"$DBUS_SESSION_BUS_ADDRESS\"; echo $$; exec mutter --headless --wayland --no-x11 "
                         "--virtual-monitor 1280x1024"});
        if (!m_session.waitForStarted(10000)) {
            m_why = "dbus-run-session does not start";
            return;
        }
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (out.count('\n') < 2 && clock.elapsed() < 60000 && m_session.state() != QProcess::NotRunning) {
            m_session.waitForReadyRead(200);
            out += m_session.readAllStandardOutput();
        }
        const QList<QByteArray> lines = out.split('\n');
        if (lines.size() < 2) {
            m_why = "dbus-run-session said no bus address";
            return;
        }
        m_address = QString::fromUtf8(lines[0].trimmed());
        m_mutterPid = lines[1].trimmed().toInt();
    }
    ~HeadlessMutter()
    {
        if (m_mutterPid > 0)
            ::kill(m_mutterPid, SIGTERM);
        if (m_session.state() != QProcess::NotRunning) {
            if (!m_session.waitForFinished(10000)) {
                if (m_mutterPid > 0)
                    ::kill(m_mutterPid, SIGKILL);
                m_session.kill();
            }
            m_session.waitForFinished(5000);
        }
    }

    const std::string &missing() const { return m_missing; }
    const std::string &why() const { return m_why; }
    const QString &address() const { return m_address; }
    QString log() const
    {
        QFile f(m_dir.path() + "/mutter.log");
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll().right(800));
    }

private:
    QTemporaryDir m_dir;
    QProcess m_session;
    QString m_address;
    int m_mutterPid = 0;
    std::string m_missing;
    std::string m_why;
};
