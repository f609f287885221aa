// An FTP server of a test's own, in-process, that follows a table of steps: the command it
// expects next, the reply it sends and what it does besides (stay silent, close, deliver data
// over the data connection, first from another address, or never connect back). For what a real
// server will not do. Runs on the test's thread: the client's waits run its events.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <vector>

class ScriptedFtpServer {
public:
    enum Action {
        Reply,              // send the reply
        Silent,             // send nothing
        Close,              // send the reply, then close the control connection
        SendData,           // send the reply, deliver `data` on the data connection, close it, send `after`
        SendDataElsewhere,  // as SendData, but first connect from 127.0.0.2 and offer "EVIL"
        NoConnectBack,      // send the reply and never open the data connection
    };
    struct Step {
        Step(QByteArray e, QByteArray r, Action a = Reply, QByteArray d = {}, QByteArray f = {})
            : expect(std::move(e)), reply(std::move(r)), action(a), data(std::move(d)), after(std::move(f)) {}
        QByteArray expect;  // the start of the expected command; empty for the greeting
        QByteArray reply;   // sent as is; "%P" becomes "p1,p2" and "%p" the port of a passive listener
        Action action = Reply;
        QByteArray data;
        QByteArray after;
    };

    explicit ScriptedFtpServer(std::vector<Step> steps) : m_steps(std::move(steps))
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_context, [this] { Accept(); });
    }

    quint16 port() const { return m_server.serverPort(); }
    // Every command received, without CR LF; and those that did not match their step.
    QList<QByteArray> commands;
    QList<QByteArray> unexpected;
    int connections = 0;
    bool foreignRefused = false;     // the connection from 127.0.0.2 was closed by the client
    bool dataDelivered = false;

private:
    void Accept()
    {
        QTcpSocket *s = m_server.nextPendingConnection();
        ++connections;
        if (m_control) {
            s->abort();
            return;
        }
        m_control = s;
        QObject::connect(s, &QTcpSocket::readyRead, &m_context, [this] { Read(); });
        if (!m_steps.empty() && m_steps[0].expect.isEmpty()) {
            m_next = 1;
            Perform(m_steps[0]);
        }
    }

    void Read()
    {
        m_buffer += m_control->readAll();
        for (int lf = m_buffer.indexOf('\n'); lf >= 0 && m_control; lf = m_buffer.indexOf('\n')) {
            QByteArray line = m_buffer.left(lf);
            m_buffer.remove(0, lf + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            Handle(line);
        }
    }

    void Handle(const QByteArray &line)
    {
        commands << line;
        if (m_next >= m_steps.size() || !line.startsWith(m_steps[m_next].expect)) {
            unexpected << line;
            m_control->write("500 Unexpected command\r\n");
            return;
        }
        if (line.startsWith("PORT ")) {
            const QList<QByteArray> f = line.mid(5).split(',');
            if (f.size() == 6) {
                m_portAddress = QHostAddress(QString::fromLatin1(f[0] + '.' + f[1] + '.' + f[2] + '.' + f[3]));
                m_portPort = quint16(f[4].toInt() * 256 + f[5].toInt());
            }
        }
        Perform(m_steps[m_next++]);
    }

    void Perform(const Step &step)
    {
        QByteArray reply = step.reply;
        if (reply.contains("%P") || reply.contains("%p")) {
            m_passive = std::make_unique<QTcpServer>();
            m_passive->listen(QHostAddress::LocalHost, 0);
            const quint16 p = m_passive->serverPort();
            reply.replace("%P", QByteArray::number(p >> 8) + ',' + QByteArray::number(p & 255));
            reply.replace("%p", QByteArray::number(p));
            m_portPort = 0;
        }
        if (step.action != Silent)
            m_control->write(reply);
        switch (step.action) {
        case Close:
            m_control->disconnectFromHost();
            m_control = nullptr;
            break;
        case SendData:
        case SendDataElsewhere:
            Deliver(step);
            break;
        default:
            break;
        }
    }

    void Deliver(const Step &step)
    {
        auto send = [this, step](QTcpSocket *d) {
            d->write(step.data);
            d->disconnectFromHost();
            QObject::connect(d, &QTcpSocket::disconnected, &m_context, [this, step] {
                dataDelivered = true;
                if (m_control)
                    m_control->write(step.after);
            });
            if (d->state() == QAbstractSocket::UnconnectedState) {
                dataDelivered = true;
                if (m_control)
                    m_control->write(step.after);
            }
        };
        if (m_passive) {
            auto take = [this, send] {
                if (QTcpSocket *d = m_passive->nextPendingConnection())
                    send(d);
            };
            if (m_passive->hasPendingConnections())
                take();
            else
                QObject::connect(m_passive.get(), &QTcpServer::newConnection, &m_context, take);
            return;
        }
        auto connectBack = [this, send] {
            auto *d = new QTcpSocket(&m_context);
            QObject::connect(d, &QTcpSocket::connected, &m_context, [d, send] { send(d); });
            d->connectToHost(m_portAddress, m_portPort);
        };
        if (step.action == SendDataElsewhere) {
            auto *foreign = new QTcpSocket(&m_context);
            foreign->bind(QHostAddress(QStringLiteral("127.0.0.2")), 0);
            QObject::connect(foreign, &QTcpSocket::connected, &m_context, [foreign] { foreign->write("EVIL"); });
            QObject::connect(foreign, &QTcpSocket::disconnected, &m_context, [this, connectBack] {
                foreignRefused = true;
                connectBack();
            });
            foreign->connectToHost(m_portAddress, m_portPort);
            return;
        }
        connectBack();
    }

    QObject m_context;
    QTcpServer m_server;
    std::unique_ptr<QTcpServer> m_passive;
    QTcpSocket *m_control = nullptr;
    QByteArray m_buffer;
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    QHostAddress m_portAddress;
    quint16 m_portPort = 0;
};
