// The sound module "wordpop-sound.so": Wordpop's Qt Multimedia back end, built from this
// repository and loaded with dlopen when sound is first wanted, so that a lesson without sound
// never maps the multimedia libraries and their sound-server client. The module sees nothing of
// the program: the two sides meet only through the abstract classes below.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// What opening or playing may end in; TSoundPlayer's LastError uses the same numbers.
enum SoundError {
    SoundNoError = 0,
    SoundNoOutput,      // the system lists no audio output
    SoundUnplayable,    // the multimedia layer cannot decode the file
    SoundNotReady,      // the device did not come up in time
};

// One device opened on one file, owned by one player. Destroying it stops it and calls neither
// callback any more.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Opens the file: SoundNoError when it is ready or still loading (settled() tells when the
    // loading has come to an end), otherwise the error.
    virtual int open(const QString &fileName) = 0;
    virtual bool settled() const = 0;
    // Loaded and playable.
    virtual bool ready() const = 0;
    virtual qint64 durationMs() const = 0;
    // Plays from the start; false when the device refuses.
    virtual bool start() = 0;
    virtual void stop() = 0;
    // A wave: its end is the end of its samples, which the ended callback reports; the player
    // keeps track of it. Another file: the back end knows whether it plays.
    virtual bool isWave() const = 0;
    virtual bool playing() const = 0;
};

class SoundModule {
public:
    // Whether the multimedia layer lists at least one audio output.
    virtual bool hasOutput() = 0;
    // changed: the loading state moved on (a wait may look again); ended: the sound has ended
    // or cannot go on. Both are called from the device's signal handlers.
    virtual SoundOutput *newOutput(std::function<void()> changed, std::function<void()> ended) = 0;

protected:
    ~SoundModule() = default;
};

// The module's one entry point; it answers null to a program built against another layout.
#define WORDPOP_SOUND_ENTRY "wordpop_sound_module"
constexpr int kSoundModuleVersion = 1;
using SoundModuleEntry = SoundModule *(*)(int version);

namespace SoundModuleLoader {
inline constexpr const char *FileName = "wordpop-sound.so";
// Folders looked in, in order: beside the executable, <exe>/../lib/wordpop, the installed
// library folder, and the build tree the program came from.
QStringList candidates();
// Loads the module on the first call; null when it cannot be had (the reason went to the log
// once, and the program goes on without sound).
SoundModule *module();
} // namespace SoundModuleLoader
