// Finds and loads the sound module once; kept loaded for the life of the process (the
// multimedia libraries it pulls in do not expect to be unloaded).
#include "platform/SoundModule.h"

#include "platform/Modules.h"

#include <QStringList>
#include <QtDebug>

namespace SoundModuleLoader {

QStringList candidates()
{
    return Modules::candidates(QLatin1String(FileName));
}

SoundModule *module()
{
    static SoundModule *const loaded = [] {
        QString problem;
        // A module of another version answers null and is passed over.
        void *m = Modules::entry(QLatin1String(FileName), WORDPOP_SOUND_ENTRY, &problem,
                                 [](void *symbol) -> void * {
                                     return reinterpret_cast<SoundModuleEntry>(symbol)(kSoundModuleVersion);
                                 });
        if (!m)
            qWarning("Wordpop: no sound: %s", qPrintable(problem));
        return static_cast<SoundModule *>(m);
    }();
    return loaded;
}

} // namespace SoundModuleLoader
