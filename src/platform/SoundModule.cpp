// Finds and loads the sound module once; kept loaded for the life of the process (the
// multimedia libraries it pulls in do not expect to be unloaded).
#include "platform/SoundModule.h"

#include "platform/Modules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QtDebug>

#include <dlfcn.h>

namespace SoundModuleLoader {

QStringList candidates()
{
    return Modules::candidates(QLatin1String(FileName));
}

SoundModule *module()
{
    static SoundModule *const loaded = [] () -> SoundModule * {
        QStringList problems;
        for (const QString &file : candidates()) {
            if (!QFileInfo::exists(file))
                continue;
            void *handle = ::dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) {
                problems << QString::fromLocal8Bit(::dlerror());
                continue;
            }
            auto entry = reinterpret_cast<SoundModuleEntry>(::dlsym(handle, WORDPOP_SOUND_ENTRY));
            if (SoundModule *m = entry ? entry(kSoundModuleVersion) : nullptr)
                return m;
            problems << file + QStringLiteral(": not a sound module of this program");
            ::dlclose(handle);
        }
        if (problems.isEmpty())
            problems << QStringLiteral("%1 not found in %2").arg(QLatin1String(FileName), candidates().join(", "));
        qWarning("Wordpop: no sound: %s", qPrintable(problems.join("; ")));
        return nullptr;
    }();
    return loaded;
}

} // namespace SoundModuleLoader
