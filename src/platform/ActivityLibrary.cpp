// Lookup order of the activity library; the installed folder comes from the build.
#include "platform/ActivityLibrary.h"

#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ActivityLibrary {

QStringList candidates()
{
    QStringList folders;
    if (!ProgramFolder::path().isEmpty())
        folders << ProgramFolder::path();
    QString exe = QCoreApplication::applicationDirPath();
    if (exe.isEmpty())
        exe = QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
    if (!exe.isEmpty())
        folders << exe;
    folders << QStringLiteral(WORDPOP_LIB_INSTALL_DIR);

    QStringList files;
    for (const QString &folder : folders) {
        const QString file = QDir::cleanPath(QDir(folder).absoluteFilePath(QLatin1String(FileName)));
        if (!files.contains(file))
            files << file;
    }
    return files;
}

} // namespace ActivityLibrary
