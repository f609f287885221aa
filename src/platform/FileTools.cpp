// Folder creation and path parts; relies on the program folder being resolved at start.
#include "platform/FileTools.h"

#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>

bool EnsureFolder(const QString &relative, bool report)
{
    QString rel = relative;
    rel.replace('\\', '/');
    const QString full = ProgramFolder::path() + rel;
    QFileInfo fi(full);
    if (fi.isDir())
        return true;
    // One level only: the parent must exist already.
    QString trimmed = full;
    while (trimmed.endsWith('/'))
        trimmed.chop(1);
    if (QDir().mkdir(trimmed))
        return true;
    if (report)
        MessageBox::show(QStringLiteral("Can't create ") + full + QStringLiteral(" directory."));
    return false;
}

bool EnsureProgramFolders()
{
    static const char *const folders[] = {"BASE/", "BASE/ON/", "BASE/LEARNED/", "BASE/OFF/",
                                          "BASE/LEARNEDOFF/", "TEMP/", "NEWS/"};
    bool ok = true;
    for (const char *f : folders)
        ok = EnsureFolder(QString::fromLatin1(f), true) && ok;
    return ok;
}

static qsizetype lastSeparator(const QString &path)
{
    return std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
}

QString FolderPart(const QString &path)
{
    const qsizetype i = lastSeparator(path);
    return i < 0 ? QString() : path.left(i);
}

QString NamePart(const QString &path)
{
    return path.mid(lastSeparator(path) + 1);
}

QString WithoutExtension(const QString &path)
{
    const qsizetype dot = path.lastIndexOf('.');
    return dot > lastSeparator(path) ? path.left(dot) : path;
}

void TFileList::refresh()
{
    QString rel = m_folder;
    rel.replace('\\', '/');
    QDir dir(ProgramFolder::path() + rel);
    m_names = dir.entryList(QStringList{m_mask}, QDir::Files | QDir::Hidden, QDir::Name);
}
