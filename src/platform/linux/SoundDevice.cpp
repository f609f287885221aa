// Sound outputs as Qt Multimedia lists them (the sound server's sinks here).
#include "platform/SoundDevice.h"

#include <QAudioDevice>
#include <QMediaDevices>

bool HasSoundDevice()
{
    return !QMediaDevices::audioOutputs().isEmpty();
}
