// XDG autostart entry for Wordpop; see the Desktop Entry Specification for the keys.
#include "platform/Autorun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// Exec values quote arguments with double quotes and escape \ " ` $ inside them.
QString quoteExec(const QString &path)
{
    QString out;
    for (QChar c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        out += c;
    }
    return '"' + out + '"';
}

} // namespace

namespace Autorun {

QString entryPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + "/.config";
    return config + "/autostart/wordpop.desktop";
}

bool create(const QString &executable)
{
    const QString path = entryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Wordpop\n"
                                        "Comment=Wordpop\n"
                                        "Exec=%1\n"
                                        "Path=%2\n"
                                        "Terminal=false\n")
                             .arg(quoteExec(executable), QFileInfo(executable).absolutePath());
    f.write(text.toUtf8());
    return f.commit();
}

bool remove()
{
    const QString path = entryPath();
    return !QFileInfo::exists(path) || QFile::remove(path);
}

} // namespace Autorun
