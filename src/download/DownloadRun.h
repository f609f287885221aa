// One download, as the progress window runs it: connect and log in, change to the remote folder,
// fetch each file, disconnect, with the window's texts, bars and steps kept in a Display the
// window only renders. Used by TFProgress; tests drive it without a window.
#pragma once

#include "download/FtpClient.h"
#include "platform/ServerSite.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <vector>

struct DownloadFile {
    QByteArray remote;   // the name on the server (bytes as the catalogue gives them)
    QString local;       // the local file name, without folder
};

struct DownloadRequest {
    std::vector<DownloadFile> files;
    QString localFolder;       // ends with "/"
    QByteArray remoteFolder;   // empty: the login folder, no folder change and no type command
    int type = 2;              // 1 text, 2 image
};

struct DownloadOutcome {
    bool complete = false;     // every file fetched
    int fetched = 0;           // files that replaced or created their local file
};

// What the progress window shows.
struct ProgressDisplay {
    QString Status1, Status2;
    int Bar1 = 0, Bar1Max = 3;
    qint64 Bar2 = 0, Bar2Max = 1;   // Bar2Max 0: the server announced no size
    QString Bar2Hint;               // elapsed time while a file is received, else empty
    bool Finding = false;           // ANIFind running
    bool Downloading = false;       // ANIDownload running
    bool TerminateVisible = true;
};

class TDownloadRun {
public:
    explicit TDownloadRun(const ServerSettings &server);

    // Runs the download. Failures are shown to the user (error 11 for a name that cannot be
    // resolved, the client's text otherwise); a user's abort shows nothing.
    DownloadOutcome Run(const DownloadRequest &request);
    // "Прервать": ends whatever the client waits for; the run then disconnects and returns.
    void Terminate();
    bool Running() const { return m_running; }
    bool Aborted() const { return m_aborted; }

    const ProgressDisplay &Display() const { return m_display; }
    std::function<void()> OnChanged;
    TFtpClient &Client() { return m_client; }

private:
    void Changed();
    void FileFetched(const QString &local);

    ServerSettings m_server;
    TFtpClient m_client;
    ProgressDisplay m_display;
    QElapsedTimer m_fileClock;
    qint64 m_shownSecond = -1;
    bool m_running = false;
    bool m_aborted = false;
};

// A local name a download may write: not empty, no folder part, no "..", no control character.
bool IsPlainLocalName(const QString &name);
