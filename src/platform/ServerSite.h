// The maker's server as "wordpop-server.ini" in the program folder describes it (section
// [Server]): where the download fetches dictionaries from, and the site's name the dictionaries
// window shows on its download button. Only an installation knows its server, so the shipped
// file names none. The one reader of that file.
#pragma once

#include <QByteArray>
#include <QString>

inline constexpr const char *kServerSettingsFile = "wordpop-server.ini";

struct ServerSettings {
    QString Host;                  // empty: no server configured, nothing is ever contacted
    int Port = 21;
    QByteArray User = "guest";
    QByteArray Password;
    QString Site;                  // the name shown on the dictionaries window's button
    bool Passive = true;
};

// Reads the file in `programFolder` (ending with "/"); a missing file or key keeps its default.
// A port outside 1-65535 falls back to 21.
ServerSettings ReadServerSettings(const QString &programFolder);

// Program folder + "wordpop-server.ini".
QString ServerIniPath();

// `Site` of section [Server]; "сервера" when the file or the key is missing or blank, so that
// the download button reads "Загрузить словари с сервера".
QString ServerSiteName();
