// Reading the RIFF wave files that words and answer sounds are recorded in, into samples an
// audio output takes as they are. Plain integer PCM (8, 16, 24, 32 bits) and float (32, 64 bits),
// also in the extensible header; 24-bit and 64-bit samples are widened or narrowed to formats
// the output knows. Anything else (compressed waves, other files) is not a plain wave.
#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QString>

struct WaveSound {
    QAudioFormat format;
    QByteArray samples;   // whole frames only

    qint64 durationMs() const;
};

// False for a file that is not a plain wave or is damaged beyond its header; a data chunk cut
// short by the end of the file gives the frames that are there.
bool ReadWaveFile(const QString &path, WaveSound &out);

// The same from bytes already read.
bool ParseWave(const QByteArray &bytes, WaveSound &out);
