// Whether the system has somewhere to play sound: decides the sound defaults of the settings
// and whether word sounds are tried at all.
#pragma once

// True when the multimedia layer lists at least one audio output.
bool HasSoundDevice();
