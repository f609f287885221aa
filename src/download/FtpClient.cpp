// The FTP client on QtNetwork. All of it runs on the user-interface thread: a wait is a nested
// event loop that socket signals, the limit timer and Abort() wake. A wait whose loop is ended
// from outside (the program quitting) counts as an abort, and so does every later one.
#include "download/FtpClient.h"

#include "platform/Text.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <atomic>
#include <thread>

#include <unistd.h>

namespace {

bool samePeer(const QHostAddress &a, const QHostAddress &b)
{
    return a.isEqual(b, QHostAddress::ConvertV4MappedToIPv4);
}

// A reply code outside 100-599 is no answer a client can act on.
bool isSuccess(int code) { return code >= 200 && code < 300; }

} // namespace

EFtpError::EFtpError(const QString &text) : std::runtime_error(text.toStdString()), m_text(text) {}

TFtpClient::TFtpClient(QObject *parent) : QObject(parent) {}

TFtpClient::~TFtpClient()
{
    // The windows never destroy a client inside one of its waits (Close() aborts instead).
    Q_ASSERT(m_waitDepth == 0);
    DropData();
    DropControl();
}

bool TFtpClient::Connected() const
{
    return m_control && m_control->state() == QAbstractSocket::ConnectedState;
}

QString TFtpClient::ServerText(const std::string &bytes) const
{
    std::string b = bytes;
    if (!Password.isEmpty()) {
        const std::string secret = Password.toStdString();
        for (std::size_t at = b.find(secret); at != std::string::npos; at = b.find(secret, at + 3))
            b.replace(at, secret.size(), "***");
    }
    QString s = Text::fromCp1251(b);
    for (QChar &c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    s = s.simplified();
    constexpr int kMax = 300;
    if (s.size() > kMax)
        s = s.left(kMax) + QChar(0x2026);
    return s;
}

// ---- waiting

void TFtpClient::Wake()
{
    if (m_loop) {
        m_woken = true;
        m_loop->quit();
    }
}

TFtpClient::WaitEnd TFtpClient::Wait(const std::function<bool()> &done, int limitMs, bool idle)
{
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, this, [this] { Wake(); });
    QElapsedTimer clock;
    clock.start();
    m_lastData.start();
    QEventLoop *outer = m_loop;
    ++m_waitDepth;
    struct Restore {
        TFtpClient *c;
        QEventLoop *outer;
        ~Restore()
        {
            c->m_loop = outer;
            --c->m_waitDepth;
        }
    } restore{this, outer};

    while (!done()) {
        if (m_aborted)
            return WaitEnd::Aborted;
        if (limitMs > 0) {
            const qint64 since = idle ? m_lastData.elapsed() : clock.elapsed();
            if (since >= limitMs)
                return WaitEnd::TimedOut;
            limit.start(int(limitMs - since));
        }
        m_loop = &loop;
        m_woken = false;
        loop.exec();
        m_loop = outer;
        if (!m_woken) {
            // The loop was ended from outside: the program is quitting.
            m_aborted = true;
            return WaitEnd::Aborted;
        }
    }
    return WaitEnd::Done;
}

void TFtpClient::Abort()
{
    m_aborted = true;
    m_cancelTransfer = true;
    Wake();
}

void TFtpClient::CancelTransfer()
{
    if (!m_transferring)
        return;
    m_cancelTransfer = true;
    Wake();
}

void TFtpClient::ControlReadyRead()
{
    m_lastData.restart();
    Wake();
}

void TFtpClient::DataReadyRead()
{
    m_lastData.restart();
    Wake();
}

// ---- connecting

QHostAddress TFtpClient::Lookup(const QString &name)
{
    QHostAddress direct;
    if (direct.setAddress(name))
        return direct;
    // The invalid-host event may ask for one more try.
    for (int attempt = 0; attempt < 2; ++attempt) {
        m_lookupDone = false;
        const int id = QHostInfo::lookupHost(name, this, [this](const QHostInfo &info) {
            m_lookup = info;
            m_lookupDone = true;
            Wake();
        });
        const WaitEnd end = Wait([this] { return m_lookupDone; }, Limit.connect);
        if (end != WaitEnd::Done) {
            QHostInfo::abortHostLookup(id);
            if (end == WaitEnd::TimedOut)
                throw ESockError(QStringLiteral("Host Lookup Timed Out"));
            throw EAbortError(QStringLiteral("Host Lookup Canceled"));
        }
        // The data connection in active mode needs an IPv4 address where there is one.
        const QList<QHostAddress> addresses = m_lookup.addresses();
        for (const QHostAddress &a : addresses) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol)
                return a;
        }
        if (!addresses.isEmpty())
            return addresses.front();
        if (!OnInvalidHost || !OnInvalidHost(name))
            break;
        if (m_aborted)
            throw EAbortError(QStringLiteral("Host Lookup Canceled"));
    }
    throw ESockError(QStringLiteral("Host Lookup Failed: ") + name);
}

void TFtpClient::ConnectControl(const QHostAddress &address, quint16 port)
{
    m_control = new QTcpSocket(this);
    QTcpSocket *s = m_control;
    s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Replies are short; a flooding server is stopped at the socket, not in memory.
    s->setReadBufferSize(qint64(FtpReply::kMaxBuffered));
    connect(s, &QTcpSocket::readyRead, this, &TFtpClient::ControlReadyRead);
    connect(s, &QTcpSocket::connected, this, &TFtpClient::Wake);
    connect(s, &QTcpSocket::disconnected, this, &TFtpClient::Wake);
    connect(s, &QTcpSocket::errorOccurred, this, &TFtpClient::Wake);
    s->connectToHost(address, port);
    const WaitEnd end = Wait([s] {
        return s->state() == QAbstractSocket::ConnectedState || s->state() == QAbstractSocket::UnconnectedState;
    }, Limit.connect);
    if (end == WaitEnd::TimedOut) {
        DropControl();
        throw ESockError(QStringLiteral("Connection Timed out"));
    }
    if (end == WaitEnd::Aborted) {
        DropControl();
        throw EAbortError(QStringLiteral("Connection Canceled"));
    }
    if (s->state() != QAbstractSocket::ConnectedState) {
        const QString why = s->errorString();
        DropControl();
        throw ESockError(QStringLiteral("Connection Failed: ") + why);
    }
}

void TFtpClient::Open()
{
    if (Waiting())
        throw EFtpError(QStringLiteral("The connection is busy"));
    if (Connected())
        throw ESockError(QStringLiteral("Already connected"));
    DropData();
    DropControl();
    m_aborted = false;
    m_cancelTransfer = false;
    m_passiveRefused = false;
    m_type = 0;
    const bool viaProxy = !Proxy.isEmpty();
    if (viaProxy && (ProxyPort < 1 || ProxyPort > 65535))
        throw ESockError(QStringLiteral("Invalid proxy port: %1").arg(ProxyPort));
    if (Port < 1 || Port > 65535)
        throw ESockError(QStringLiteral("Invalid port: %1").arg(Port));
    if (Host.isEmpty())
        throw ESockError(QStringLiteral("No server is configured"));
    m_server = Lookup(viaProxy ? Proxy : Host);
    if (OnHostResolved)
        OnHostResolved(m_server.toString());
    if (m_aborted)
        throw EAbortError(QStringLiteral("Connection Canceled"));
    ConnectControl(m_server, quint16(viaProxy ? ProxyPort : Port));
    try {
        Login();
    } catch (...) {
        DropControl();
        throw;
    }
}

void TFtpClient::Login()
{
    FtpReply::Reply greeting = ReadReply(Limit.reply);
    // "120 ready in a while" may precede the greeting, but not without end.
    for (int waits = 0; greeting.code >= 100 && greeting.code < 200 && waits < 8; ++waits)
        greeting = ReadReply(Limit.reply);
    if (!isSuccess(greeting.code))
        RaiseReply(greeting);

    QByteArray user = "USER " + UserID;
    if (!Proxy.isEmpty()) {
        // The proxy learns the real server from the user name.
        user += '@' + Host.toUtf8();
        if (Port != 21)
            user += ':' + QByteArray::number(Port);
    }
    FtpReply::Reply reply = Command(user);
    if (reply.code == 331)
        reply = Command("PASS " + Password);
    // Only these two mean logged in; 332 asks for an account we do not have.
    if (reply.code != 230 && reply.code != 202)
        RaiseReply(reply);
}

// ---- commands and replies

void TFtpClient::CheckConnected() const
{
    if (Waiting())
        throw EFtpError(QStringLiteral("The connection is busy"));
    if (!Connected())
        throw EFtpError(QStringLiteral("Not Connected"));
}

void TFtpClient::RaiseReply(const FtpReply::Reply &reply) const
{
    throw FTPException(reply.code, ServerText(reply.Text()));
}

FtpReply::Reply TFtpClient::ReadReply(int limitMs)
{
    for (;;) {
        if (m_control && m_control->bytesAvailable() > 0) {
            const QByteArray bytes = m_control->readAll();
            m_reader.Feed(bytes.constData(), std::size_t(bytes.size()));
        }
        FtpReply::Reply reply;
        std::string error;
        switch (m_reader.Next(reply, error)) {
        case FtpReply::Reader::Complete:
            m_replyCode = reply.code;
            m_lastReply = QByteArray::fromStdString(reply.lines.back());
            return reply;
        case FtpReply::Reader::Error:
            throw ESockError(ServerText(error));
        case FtpReply::Reader::NeedMore:
            break;
        }
        QTcpSocket *s = m_control;
        if (!s || s->state() != QAbstractSocket::ConnectedState)
            throw ESockError(QStringLiteral("The server closed the connection"));
        const WaitEnd end = Wait([s] {
            return s->bytesAvailable() > 0 || s->state() != QAbstractSocket::ConnectedState;
        }, limitMs, true);
        if (end == WaitEnd::TimedOut)
            throw ESockError(QStringLiteral("The server did not answer in time"));
        if (end == WaitEnd::Aborted)
            throw EAbortError(QStringLiteral("Socket readln aborted"));
    }
}

FtpReply::Reply TFtpClient::Command(const QByteArray &command)
{
    if (!Connected())
        throw EFtpError(QStringLiteral("Not Connected"));
    // A line break inside would make a second command out of catalogue or settings text.
    for (char c : command) {
        if (c == '\r' || c == '\n' || c == '\0')
            throw ESockError(QStringLiteral("A command may not hold a line break"));
    }
    // Whatever came unasked belongs to no command of ours.
    m_control->readAll();
    m_reader.Clear();
    m_control->write(command + "\r\n");
    return ReadReply(Limit.reply);
}

void TFtpClient::SimpleCommand(const QByteArray &command)
{
    CheckConnected();
    const FtpReply::Reply reply = Command(command);
    if (reply.code < 200 || reply.code >= 400)
        RaiseReply(reply);
}

void TFtpClient::SetFolder(const QByteArray &folder)
{
    SimpleCommand("CWD " + folder);
}

void TFtpClient::SetType(int type)
{
    static const char *const commands[] = {"TYPE A", "TYPE I", "TYPE L 8"};
    if (type < 1 || type > 3)
        throw EFtpError(QStringLiteral("Unknown transfer type %1").arg(type));
    SimpleCommand(commands[type - 1]);
    m_type = type;
}

// ---- the data connection

bool TFtpClient::OpenPassive()
{
    FtpReply::Reply reply = Command("EPSV");
    std::optional<std::uint16_t> port;
    if (reply.code == 229)
        port = FtpReply::PassivePort(reply);
    if (!port) {
        reply = Command("PASV");
        if (reply.code == 227)
            port = FtpReply::PassivePort(reply);
    }
    if (!port) {
        // Refused or unreadable: the server connects to us for the rest of this session.
        m_passiveRefused = true;
        return false;
    }
    // Only the port is taken: the data comes from where the control connection goes.
    m_data = new QTcpSocket(this);
    QTcpSocket *s = m_data;
    connect(s, &QTcpSocket::readyRead, this, &TFtpClient::DataReadyRead);
    connect(s, &QTcpSocket::connected, this, &TFtpClient::Wake);
    connect(s, &QTcpSocket::disconnected, this, &TFtpClient::Wake);
    connect(s, &QTcpSocket::errorOccurred, this, &TFtpClient::Wake);
    s->connectToHost(m_control->peerAddress(), *port);
    const WaitEnd end = Wait([s] {
        return s->state() == QAbstractSocket::ConnectedState || s->state() == QAbstractSocket::UnconnectedState;
    }, Limit.connect);
    if (end == WaitEnd::Aborted)
        throw EAbortError(QStringLiteral("Connection Canceled"));
    if (end == WaitEnd::TimedOut)
        throw ESockError(QStringLiteral("Error creating Data Connection: timed out"));
    if (s->state() != QAbstractSocket::ConnectedState)
        throw ESockError(QStringLiteral("Error creating Data Connection: ") + s->errorString());
    return true;
}

void TFtpClient::ListenActive()
{
    m_listen = new QTcpServer(this);
    m_listen->setMaxPendingConnections(1);
    const QHostAddress local = m_control->localAddress();
    if (!m_listen->listen(local, 0))
        throw ESockError(QStringLiteral("Error creating Data Connection: ") + m_listen->errorString());
    connect(m_listen, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = m_listen->nextPendingConnection()) {
            // Only the server (or the proxy) may deliver the file.
            if (!m_data && m_control && samePeer(s->peerAddress(), m_control->peerAddress())) {
                // Accepted sockets belong to the listener, which goes before the transfer ends.
                s->setParent(this);
                m_data = s;
                connect(s, &QTcpSocket::readyRead, this, &TFtpClient::DataReadyRead);
                connect(s, &QTcpSocket::disconnected, this, &TFtpClient::Wake);
                connect(s, &QTcpSocket::errorOccurred, this, &TFtpClient::Wake);
            } else {
                ++m_refused;
                s->abort();
                s->deleteLater();
            }
        }
        Wake();
    });
    const quint16 port = m_listen->serverPort();
    bool v4 = false;
    const quint32 ip = local.toIPv4Address(&v4);
    QByteArray command;
    if (v4) {
        command = "PORT " + QByteArray::number(ip >> 24) + ',' + QByteArray::number((ip >> 16) & 255) + ','
                  + QByteArray::number((ip >> 8) & 255) + ',' + QByteArray::number(ip & 255) + ','
                  + QByteArray::number(port >> 8) + ',' + QByteArray::number(port & 255);
    } else {
        command = "EPRT |2|" + local.toString().toLatin1() + '|' + QByteArray::number(port) + '|';
    }
    const FtpReply::Reply reply = Command(command);
    if (!isSuccess(reply.code))
        RaiseReply(reply);
}

void TFtpClient::AcceptData()
{
    QTcpSocket *control = m_control;
    const WaitEnd end = Wait([this, control] {
        return m_data || control->bytesAvailable() > 0 || m_reader.Buffered() > 0 || control->state() != QAbstractSocket::ConnectedState;
    }, Limit.accept);
    if (m_listen) {
        m_listen->close();
        m_listen->deleteLater();
        m_listen = nullptr;
    }
    if (m_data)
        return;
    if (end == WaitEnd::Aborted)
        throw EAbortError(QStringLiteral("Accepting Canceled"));
    if (end == WaitEnd::Done) {
        // The server gave up on connecting and says why.
        const FtpReply::Reply reply = ReadReply(Limit.reply);
        if (!isSuccess(reply.code))
            RaiseReply(reply);
    }
    throw ESockError(QStringLiteral("Error creating Data Connection: the server did not connect"));
}

void TFtpClient::DropData()
{
    if (m_data) {
        disconnect(m_data, nullptr, this, nullptr);
        m_data->abort();
        m_data->deleteLater();
        m_data = nullptr;
    }
    if (m_listen) {
        disconnect(m_listen, nullptr, this, nullptr);
        m_listen->close();
        m_listen->deleteLater();
        m_listen = nullptr;
    }
}

void TFtpClient::DropControl()
{
    if (m_control) {
        disconnect(m_control, nullptr, this, nullptr);
        m_control->abort();
        m_control->deleteLater();
        m_control = nullptr;
    }
    m_reader.Clear();
}

// ---- fetching

void TFtpClient::Fetch(const QByteArray &remote, const QString &local)
{
    CheckConnected();
    m_sizeAnnounced = 0;
    m_sizeReceived = 0;
    m_cancelTransfer = false;
    m_refused = 0;

    // The file appears under its name only once complete; until then an older copy stays.
    QSaveFile file(local);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        throw EFtpError(QStringLiteral("Error writing ") + local + QStringLiteral(": ") + file.errorString());
    struct Done {
        TFtpClient *c;
        ~Done()
        {
            c->m_transferring = false;
            c->DropData();
        }
    } done{this};

    bool passive = false;
    if (Passive && !m_passiveRefused)
        passive = OpenPassive();
    if (!passive)
        ListenActive();
    m_lastPassive = passive;

    const FtpReply::Reply start = Command("RETR " + remote);
    if (start.code < 100 || start.code >= 300)
        RaiseReply(start);
    m_sizeAnnounced = qint64(FtpReply::AnnouncedSize(start));
    bool finalRead = start.code >= 200;
    if (!passive)
        AcceptData();
    m_transferring = true;

    static constexpr qint64 kBlock = 16383;
    char block[kBlock];
    bool writeFailed = false;
    QString socketError;
    QTcpSocket *data = m_data;
    for (;;) {
        while (data->bytesAvailable() > 0 && !m_cancelTransfer) {
            const qint64 n = data->read(block, kBlock);
            if (n <= 0)
                break;
            if (file.write(block, n) != n) {
                writeFailed = true;
                break;
            }
            m_sizeReceived += n;
            if (OnPacketReceived)
                OnPacketReceived();
        }
        if (m_cancelTransfer || writeFailed)
            break;
        if (data->state() == QAbstractSocket::UnconnectedState && data->bytesAvailable() == 0) {
            if (data->error() != QAbstractSocket::RemoteHostClosedError
                && data->error() != QAbstractSocket::UnknownSocketError)
                socketError = data->errorString();
            break;
        }
        const WaitEnd end = Wait([this, data] {
            return data->bytesAvailable() > 0 || data->state() == QAbstractSocket::UnconnectedState || m_cancelTransfer;
        }, Limit.reply, true);
        if (end == WaitEnd::TimedOut) {
            socketError = QStringLiteral("no data for too long");
            break;
        }
        if (end == WaitEnd::Aborted)
            break;
    }
    m_transferring = false;
    DropData();

    if (m_aborted)
        throw EAbortError(QStringLiteral("Transfer aborted"));
    if (m_cancelTransfer || writeFailed || !socketError.isEmpty()) {
        // The server's answer to the broken transfer, briefly; the file is dropped either way.
        if (!finalRead) {
            try {
                ReadReply(Limit.quit);
            } catch (const EFtpError &) {
            }
        }
        if (m_cancelTransfer)
            throw EAbortError(QStringLiteral("Transfer aborted"));
        if (writeFailed)
            throw EFtpError(QStringLiteral("Error writing ") + local + QStringLiteral(": ") + file.errorString());
        throw ESockError(QStringLiteral("The transfer broke off: ") + socketError);
    }
    if (!finalRead) {
        const FtpReply::Reply final = ReadReply(Limit.reply);
        if (!isSuccess(final.code))
            RaiseReply(final);
        finalRead = true;
    }
    // In image type the bytes are the file's; a text transfer may change line ends.
    if (m_type == 2 && m_sizeAnnounced > 0 && m_sizeReceived != m_sizeAnnounced)
        throw ESockError(QStringLiteral("The transfer is incomplete: %1 of %2 bytes").arg(m_sizeReceived).arg(m_sizeAnnounced));
    SyncToDisk(file);
    if (OnBeforeReplace)
        OnBeforeReplace(local);
    if (!file.commit())
        throw EFtpError(QStringLiteral("Error writing ") + local + QStringLiteral(": ") + file.errorString());
}

void TFtpClient::SyncToDisk(QSaveFile &file)
{
    // The file is synced before it takes its name. Syncing megabytes takes the disk's time, so it
    // runs beside the event loop and the commit's own sync then finds little left to do.
    if (!file.flush())
        return;   // the commit reports the write error
    const int fd = file.handle();
    std::atomic<bool> synced{false};
    std::thread worker([this, fd, &synced] {
        ::fdatasync(fd);
        synced = true;
        QMetaObject::invokeMethod(this, [this] { Wake(); }, Qt::QueuedConnection);
    });
    const WaitEnd end = Wait([&synced] { return synced.load(); }, 0);
    worker.join();
    if (end == WaitEnd::Aborted)
        throw EAbortError(QStringLiteral("Transfer aborted"));
}

void TFtpClient::Close()
{
    if (Waiting()) {
        // Never pull the sockets from under a wait: end it, the caller closes afterwards.
        Abort();
        return;
    }
    DropData();
    if (Connected() && !m_aborted) {
        try {
            m_control->readAll();
            m_reader.Clear();
            m_control->write("QUIT\r\n");
            ReadReply(Limit.quit);
        } catch (const EFtpError &) {
        }
    }
    DropControl();
}
