// The FTP client the download uses: log in, change folder, set the type, fetch files, abort,
// quit. Built on QtNetwork; every wait runs the Qt event loop (windows stay responsive and the
// abort button works), has a limit, and ends at once on Abort(). Passive mode first, the
// server-opened data connection (PORT) as the fallback. Failures are raised as EFtpError.
#pragma once

#include "download/FtpReply.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <stdexcept>

class QEventLoop;
class QSaveFile;
class QTcpServer;
class QTcpSocket;

// A failure of the client; Text() is for the user (plain, one line, never the password).
class EFtpError : public std::runtime_error {
public:
    explicit EFtpError(const QString &text);
    QString Text() const { return m_text; }

private:
    QString m_text;
};

// Socket-level failures: lookup, connect, the data connection, broken or malformed replies.
class ESockError : public EFtpError {
public:
    using EFtpError::EFtpError;
};

// A wait ended by Abort() (or by the program quitting); never shown to the user.
class EAbortError : public EFtpError {
public:
    using EFtpError::EFtpError;
};

// The server answered with an error; the text is its reply.
class FTPException : public EFtpError {
public:
    FTPException(int code, const QString &text) : EFtpError(text), m_code(code) {}
    int ReplyCode() const { return m_code; }

private:
    int m_code;
};

class TFtpClient : public QObject {
    Q_OBJECT
public:
    // Milliseconds; tests set short ones. 0 means no limit.
    struct Limits {
        int connect = 30000;   // name lookup and connecting, control and passive data
        int reply = 60000;     // a reply, or file data, not arriving (idle)
        int accept = 30000;    // the server's data connection in active mode
        int quit = 3000;       // the answer to QUIT, and to a transfer broken off
    };

    explicit TFtpClient(QObject *parent = nullptr);
    ~TFtpClient() override;

    QString Host;
    int Port = 21;
    QByteArray UserID = "guest";
    QByteArray Password;
    QString Proxy;          // empty: none
    int ProxyPort = 0;
    bool Passive = true;    // false: always PORT
    Limits Limit;

    // Connects (to the proxy when one is set), reads the greeting and logs in. Leaves the
    // client disconnected when it fails.
    void Open();
    // "CWD folder" (bytes as the server names it).
    void SetFolder(const QByteArray &folder);
    // 1 "TYPE A", 2 "TYPE I", 3 "TYPE L 8".
    void SetType(int type);
    // Fetches `remote` into the file `local`. The data goes to a temporary file beside it that
    // replaces `local` only when the transfer is complete (2xx final reply, the bytes announced,
    // no socket or write error); otherwise `local` is untouched and the temporary file removed.
    void Fetch(const QByteArray &remote, const QString &local);
    // Ends a running transfer (no-op without one); its Fetch then raises EAbortError.
    void CancelTransfer();
    // Ends whatever wait runs now and every later one until the next Open.
    void Abort();
    // QUIT (when not aborted, answer awaited up to Limit.quit) and close. Never raises.
    void Close();

    bool Connected() const;
    bool Waiting() const { return m_waitDepth > 0; }
    QString ServerAddress() const { return m_server.toString(); }
    int ReplyCode() const { return m_replyCode; }
    QByteArray LastReply() const { return m_lastReply; }
    qint64 SizeAnnounced() const { return m_sizeAnnounced; }
    qint64 SizeReceived() const { return m_sizeReceived; }
    // How the last Fetch got its data: true passive, false PORT.
    bool LastFetchPassive() const { return m_lastPassive; }

    // Events. OnInvalidHost returns whether to look the name up once more.
    std::function<void(const QString &address)> OnHostResolved;
    std::function<bool(const QString &name)> OnInvalidHost;
    std::function<void()> OnPacketReceived;
    // Called just before a fetched file replaces `local` (close what holds the old one).
    std::function<void(const QString &local)> OnBeforeReplace;

    // Server text for the user: Windows-1251 to Unicode, one line, capped, password blanked.
    QString ServerText(const std::string &bytes) const;

private:
    enum class WaitEnd { Done, TimedOut, Aborted };
    // Runs the event loop until `done`, Abort() or `limitMs` (0: none) went by; with `idle`,
    // the limit counts from the last data received rather than from the start.
    WaitEnd Wait(const std::function<bool()> &done, int limitMs, bool idle = false);
    void Wake();

    QHostAddress Lookup(const QString &name);
    void ConnectControl(const QHostAddress &address, quint16 port);
    void Login();
    FtpReply::Reply ReadReply(int limitMs);
    FtpReply::Reply Command(const QByteArray &command);
    void SimpleCommand(const QByteArray &command);
    void CheckConnected() const;
    bool OpenPassive();
    void ListenActive();
    void AcceptData();
    void DropData();
    void DropControl();
    void SyncToDisk(QSaveFile &file);
    [[noreturn]] void RaiseReply(const FtpReply::Reply &reply) const;

    void ControlReadyRead();
    void DataReadyRead();

    QPointer<QTcpSocket> m_control;
    QPointer<QTcpSocket> m_data;
    QPointer<QTcpServer> m_listen;
    QHostAddress m_server;
    FtpReply::Reader m_reader;
    int m_replyCode = 0;
    QByteArray m_lastReply;
    qint64 m_sizeAnnounced = 0;
    qint64 m_sizeReceived = 0;
    int m_type = 0;
    bool m_passiveRefused = false;
    bool m_lastPassive = false;
    bool m_aborted = false;
    bool m_cancelTransfer = false;
    bool m_transferring = false;
    bool m_lookupDone = false;
    QHostInfo m_lookup;
    int m_refused = 0;         // data connections refused for coming from elsewhere

    QEventLoop *m_loop = nullptr;
    bool m_woken = false;
    int m_waitDepth = 0;
    QElapsedTimer m_lastData;
};
