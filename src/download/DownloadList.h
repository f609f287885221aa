// What the download window does, without the window: load the catalogue (fetching it when it
// is missing or a refresh is asked), tick entries, and fetch the ticked dictionaries into the
// target folder. The transfer itself goes through a Runner (the progress window, or a test's).
#pragma once

#include "download/Catalogue.h"
#include "download/DownloadRun.h"
#include "platform/ServerSite.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class TDownloadList {
public:
    using Runner = std::function<DownloadOutcome(const DownloadRequest &)>;

    // `programFolder` ends with "/". The target folder starts as its folder of ticked dictionaries.
    TDownloadList(const ServerSettings &server, const QString &programFolder);

    bool HostConfigured() const { return !m_server.Host.isEmpty(); }
    // What the window says instead of connecting when no server is configured.
    static QString NoServerText();
    QString CataloguePath() const;

    // Reads the catalogue, fetching it first when it is missing or `refresh` is set (and a
    // server is configured). A failed fetch leaves the catalogue on disk, and so the list, as
    // it was.
    void Load(bool refresh, const Runner &run);

    const std::vector<Catalogue::Entry> &Entries() const { return m_entries; }
    QStringList Texts() const;
    bool Ticked(int i) const { return m_ticked.at(std::size_t(i)); }
    void SetTicked(int i, bool on) { m_ticked.at(std::size_t(i)) = on; }
    void TickAll(bool on);

    // The text of the target folder field.
    QString TargetFolder;

    // Fetches the ticked entries' files from "dictionaries" into the target folder (a missing
    // final "/" is added). Nothing ticked: does nothing and returns false. Returns whether the
    // run was complete.
    bool Download(const Runner &run);
    // Whether any download of this window fetched a file, and the folder of the last one.
    bool FetchedAny() const { return m_fetchedAny; }
    QString LastFolder() const { return m_lastFolder; }

private:
    void ReadLocal();

    ServerSettings m_server;
    QString m_programFolder;
    std::vector<Catalogue::Entry> m_entries;
    std::vector<bool> m_ticked;
    bool m_fetchedAny = false;
    QString m_lastFolder;
};
