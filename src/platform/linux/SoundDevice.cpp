// Sound outputs as the sound module's Qt Multimedia lists them (the sound server's sinks here).
// Asking loads the module.
#include "platform/SoundDevice.h"

#include "platform/SoundModule.h"

bool HasSoundDevice()
{
    SoundModule *module = SoundModuleLoader::module();
    return module && module->hasOutput();
}
