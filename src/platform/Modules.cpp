#include "platform/Modules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace Modules {

QStringList candidates(const QString &fileName)
{
    QStringList folders;
    QString exe = QCoreApplication::applicationDirPath();
    if (exe.isEmpty())
        exe = QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
    if (!exe.isEmpty()) {
        folders << exe;
        folders << exe + QStringLiteral("/../lib/wordpop");
    }
    folders << QStringLiteral(WORDPOP_LIB_INSTALL_DIR);
    // Test programs and tools run from folders of the build tree other than the executable's.
    // An installed or copied program never looks there: the folder it was built in may hold
    // another version's modules, or someone else's files, on the machine it runs on.
    const QString build = QFileInfo(QStringLiteral(WORDPOP_SOUND_MODULE_BUILD_DIR)).canonicalFilePath();
    const QString exeCanonical = QFileInfo(exe).canonicalFilePath();
    if (!build.isEmpty() && (exeCanonical == build || exeCanonical.startsWith(build + QLatin1Char('/'))))
        folders << build;

    QStringList files;
    for (const QString &folder : folders) {
        const QString file = QDir::cleanPath(QDir(folder).absoluteFilePath(fileName));
        if (!files.contains(file))
            files << file;
    }
    return files;
}

void *entry(const QString &fileName, const char *entryName, QString *problem,
            const std::function<void *(void *symbol)> &take)
{
    QStringList problems;
    for (const QString &file : candidates(fileName)) {
        if (!QFileInfo::exists(file))
            continue;
        void *handle = ::dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            problems << QString::fromLocal8Bit(::dlerror());
            continue;
        }
        if (void *symbol = ::dlsym(handle, entryName)) {
            if (void *taken = take ? take(symbol) : symbol)
                return taken;
        }
        problems << file + QStringLiteral(": not a module of this program");
        ::dlclose(handle);
    }
    if (problems.isEmpty())
        problems << QStringLiteral("%1 not found in %2").arg(fileName, candidates(fileName).join(", "));
    if (problem)
        *problem = problems.join("; ");
    return nullptr;
}

} // namespace Modules
