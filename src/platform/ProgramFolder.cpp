// Program folder and data folder resolution, and the first-start copy of the bundled data.
#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace {

QString g_folder;

QString withSlash(QString p)
{
    if (!p.endsWith('/'))
        p += '/';
    return p;
}

QString executableFolder()
{
    QString dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty()) {
        // Before QCoreApplication exists: read the link of our own process.
        dir = QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
    }
    return withSlash(dir);
}

// Copies a file or a folder tree from src to dst, leaving whatever already exists.
void copyMissing(const QString &src, const QString &dst)
{
    QFileInfo si(src);
    if (!si.exists())
        return;
    if (si.isFile()) {
        if (!QFileInfo::exists(dst)) {
            QDir().mkpath(QFileInfo(dst).absolutePath());
            QFile::copy(src, dst);
            // Installed data may be read-only; the copy belongs to the user.
            QFile::setPermissions(dst, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        }
        return;
    }
    QDir().mkpath(dst);
    QDirIterator it(src, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    while (it.hasNext()) {
        it.next();
        copyMissing(it.filePath(), withSlash(dst) + it.fileName());
    }
}

} // namespace

namespace ProgramFolder {

QString resolve()
{
    const QString env = qEnvironmentVariable("WORDPOP_HOME");
    if (!env.isEmpty()) {
        g_folder = withSlash(QDir(env).absolutePath());
        QDir().mkpath(g_folder);
        return g_folder;
    }
    const QString exe = executableFolder();
    if (QFileInfo::exists(exe + "langs.dat") && ::access(QFile::encodeName(exe).constData(), W_OK) == 0) {
        g_folder = exe;
        return g_folder;
    }
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + "/.local/share";
    g_folder = withSlash(data) + "wordpop/";
    QDir().mkpath(g_folder);
    return g_folder;
}

QString path()
{
    return g_folder;
}

void set(const QString &folder)
{
    g_folder = folder.isEmpty() ? QString() : withSlash(folder);
}

QString dataFolder()
{
    // A build folder carries a copy of data/ (made by the build) next to the executable.
    const QString exe = executableFolder();
    if (QFileInfo::exists(exe + "data/langs.dat"))
        return exe + "data/";
    // An installed copy: <prefix>/bin/wordpop finds <prefix>/share/wordpop/, whatever prefix was
    // given to the install; then the prefix the build was configured with.
    const QString relocated = QDir::cleanPath(exe + "../share/wordpop") + "/";
    if (QFileInfo::exists(relocated + "langs.dat"))
        return relocated;
    const QString installed = withSlash(QStringLiteral(WORDPOP_DATA_INSTALL_DIR));
    if (QFileInfo::exists(installed + "langs.dat"))
        return installed;
    return {};
}

void fillFromData(const QString &programFolder, const QString &dataFolder)
{
    if (dataFolder.isEmpty() || programFolder.isEmpty())
        return;
    const QString to = withSlash(programFolder);
    const QString from = withSlash(dataFolder);
    copyMissing(from + "langs.dat", to + "langs.dat");
    copyMissing(from + "wordpop.html", to + "wordpop.html");
    copyMissing(from + "wordpop.en.html", to + "wordpop.en.html");
    copyMissing(from + "wordpop-server.ini", to + "wordpop-server.ini");
    copyMissing(from + "SOUND", to + "SOUND");
    if (!QFileInfo::exists(to + "BASE"))
        copyMissing(from + "BASE", to + "BASE");
}

QString findCaseInsensitive(const QString &path)
{
    if (QFileInfo::exists(path))
        return path;
    QFileInfo fi(path);
    QDir dir = fi.absoluteDir();
    if (!dir.exists())
        return path;
    const QString name = fi.fileName();
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &e : entries) {
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(e);
    }
    return path;
}

} // namespace ProgramFolder
