// Reads wordpop-server.ini: "[Section]" lines, "Key=Value" lines (UTF-8, blanks around both
// trimmed, one pair of surrounding double quotes removed), ";" and "#" starting comments.
// Read by hand rather than with QSettings, which would split "Example, Inc." into a list and
// give "@" and "%" at a value's start meanings of its own.
#include "platform/ServerSite.h"

#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QStringList>

namespace {

QHash<QString, QString> readSection(const QString &path, const QString &section)
{
    QHash<QString, QString> values;
    QFile f(path);
    // A settings file is a few hundred bytes; anything huge is not one.
    if (!f.open(QIODevice::ReadOnly) || f.size() > 1024 * 1024)
        return values;
    QString text = QString::fromUtf8(f.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    bool inSection = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            inSection = line.mid(1, line.size() - 2).trimmed().compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (!inSection || eq <= 0)
            continue;
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        values.insert(line.left(eq).trimmed().toLower(), value);
    }
    return values;
}

} // namespace

ServerSettings ReadServerSettings(const QString &programFolder)
{
    ServerSettings result;
    const QHash<QString, QString> v = readSection(programFolder + QLatin1String(kServerSettingsFile), QStringLiteral("Server"));
    result.Host = v.value(QStringLiteral("host"));
    bool ok = false;
    const int port = v.value(QStringLiteral("port")).toInt(&ok);
    if (ok && port >= 1 && port <= 65535)
        result.Port = port;
    const QString user = v.value(QStringLiteral("user"));
    if (!user.isEmpty())
        result.User = user.toUtf8();
    result.Password = v.value(QStringLiteral("password")).toUtf8();
    result.Site = v.value(QStringLiteral("site"));
    const QString passive = v.value(QStringLiteral("passive")).toLower();
    if (passive == QLatin1String("false") || passive == QLatin1String("0") || passive == QLatin1String("no"))
        result.Passive = false;
    return result;
}

QString ServerIniPath()
{
    return ProgramFolder::path() + QLatin1String(kServerSettingsFile);
}

QString ServerSiteName()
{
    const QString site = ReadServerSettings(ProgramFolder::path()).Site;
    return site.isEmpty() ? QCoreApplication::translate("ServerSite", "сервера", "download dictionaries from ...") : site;
}
