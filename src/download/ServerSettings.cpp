// Reads wordpop-server.ini with QSettings' INI reader (UTF-8 values).
#include "download/ServerSettings.h"

#include <QSettings>
#include <QStringList>

namespace {

// QSettings reads "a, b" as a list; a value here is always one text.
QString text(const QSettings &s, const char *key)
{
    const QVariant v = s.value(QLatin1String(key));
    if (v.userType() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString().trimmed();
}

} // namespace

ServerSettings ReadServerSettings(const QString &programFolder)
{
    ServerSettings result;
    QSettings s(programFolder + QLatin1String(kServerSettingsFile), QSettings::IniFormat);
    s.beginGroup(QStringLiteral("Server"));
    result.Host = text(s, "Host");
    bool ok = false;
    const int port = text(s, "Port").toInt(&ok);
    if (ok && port >= 1 && port <= 65535)
        result.Port = port;
    const QString user = text(s, "User");
    if (!user.isEmpty())
        result.User = user.toUtf8();
    result.Password = text(s, "Password").toUtf8();
    result.Site = text(s, "Site");
    const QString passive = text(s, "Passive").toLower();
    if (passive == QLatin1String("false") || passive == QLatin1String("0") || passive == QLatin1String("no"))
        result.Passive = false;
    return result;
}
