// Reads the server file with QSettings in INI form; nothing is ever written to it.
#include "platform/ServerSite.h"

#include "platform/ProgramFolder.h"

#include <QFileInfo>
#include <QSettings>

QString ServerIniPath()
{
    return ProgramFolder::path() + QStringLiteral("wordpop-server.ini");
}

QString ServerSiteName()
{
    const QString path = ServerIniPath();
    QString site;
    if (QFileInfo::exists(path)) {
        QSettings ini(path, QSettings::IniFormat);
        site = ini.value(QStringLiteral("Server/Site")).toString().trimmed();
    }
    return site.isEmpty() ? QStringLiteral("сервера") : site;
}
