// A PulseAudio server of a test's own: one null sink, a socket in a private folder, no
// autospawn; stopped when the object goes. Give clientEnv() to the child processes that
// should see it as their sound output.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

class PulseServer {
public:
    PulseServer()
    {
        const QString exe = QStandardPaths::findExecutable("pulseaudio");
        if (exe.isEmpty()) {
            m_why = "pulseaudio is not installed";
            return;
        }
        const QString root = m_dir.path();
        for (const char *sub : {"/runtime", "/state", "/home"})
            QDir().mkpath(root + sub);
        m_socket = root + "/runtime/native";
        QFile conf(clientConfig());
        if (conf.open(QIODevice::WriteOnly))
            conf.write("autospawn = no\n");
        conf.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", root + "/home");
        env.insert("XDG_CONFIG_HOME", root + "/home");
        env.insert("XDG_RUNTIME_DIR", root + "/runtime");
        env.insert("PULSE_RUNTIME_PATH", root + "/runtime");
        env.insert("PULSE_STATE_PATH", root + "/state");
        // A per-user server claims its name on the session bus, and with no bus given D-Bus
        // starts one for the X display: every test server under the same Xvfb would then share
        // one bus, and the second of two running at once refuse to start. Ours need no bus.
        env.remove("DISPLAY");
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root + "/no-bus");
        m_server.setProcessEnvironment(env);
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.setStandardOutputFile(root + "/server.log");
        m_server.start(exe, {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                             "--system=no", "--log-target=stderr",
                             "-L", "module-native-protocol-unix socket=" + m_socket + " auth-anonymous=1",
                             "-L", "module-null-sink sink_name=wordpop_null rate=22050 channels=1"});
        m_installed = true;
        if (!m_server.waitForStarted(30000)) {
            m_why = "pulseaudio does not start";
            return;
        }
        // Under a loaded test run the server may take many seconds to load its modules; it is
        // waited for while it runs, and a server that ends says why in its log.
        QElapsedTimer clock;
        clock.start();
        while (!QFileInfo::exists(m_socket) && clock.elapsed() < kStartMs) {
            if (m_server.waitForFinished(50)) {
                QFile log(root + "/server.log");
                log.open(QIODevice::ReadOnly);
                m_why = "pulseaudio ended at start: " + QString::fromLocal8Bit(log.readAll().right(600));
                return;
            }
        }
        if (!QFileInfo::exists(m_socket)) {
            m_why = QString("pulseaudio did not open its socket within %1 s").arg(kStartMs / 1000);
            return;
        }
        m_ok = true;
    }
    ~PulseServer()
    {
        if (m_server.state() == QProcess::NotRunning)
            return;
        m_server.terminate();
        if (!m_server.waitForFinished(3000)) {
            m_server.kill();
            m_server.waitForFinished(3000);
        }
    }
    PulseServer(const PulseServer &) = delete;
    PulseServer &operator=(const PulseServer &) = delete;

    // Installed: a server can be had on this machine, so a test that cannot start one fails.
    bool installed() const { return m_installed; }
    bool ok() const { return m_ok; }
    QString why() const { return m_why; }

    // The environment of a client of this server.
    QProcessEnvironment clientEnv() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", "unix:" + m_socket);
        env.insert("PULSE_CLIENTCONFIG", clientConfig());
        return env;
    }

    // The environment of a client that finds no server at all.
    QProcessEnvironment noServerEnv() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", "unix:" + m_dir.path() + "/no-such-socket");
        env.insert("PULSE_CLIENTCONFIG", clientConfig());
        return env;
    }

private:
    QString clientConfig() const { return m_dir.path() + "/client.conf"; }

    QTemporaryDir m_dir;
    QString m_socket, m_why;
    QProcess m_server;
    bool m_ok = false;
    bool m_installed = false;
    static constexpr int kStartMs = 60000;
};
