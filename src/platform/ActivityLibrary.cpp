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
    // An installed copy: <prefix>/bin/wordpop finds <prefix>/lib/wordpop/, wherever the prefix
    // was chosen at install time; then the prefix the build was configured with.
    if (!exe.isEmpty())
        folders << exe + QStringLiteral("/../lib/wordpop");
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
