// Where the dictionaries come from: "wordpop-server.ini" in the program folder, section
// [Server]. Only an installation knows its server, so the shipped file names none.
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
