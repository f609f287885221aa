// RIFF wave reading. Every length in the file is checked against the bytes that are really
// there, so a damaged file gives false or fewer frames, never a read past the end.
#include "WaveFile.h"

#include <QFile>

#include <cstring>

namespace {

// Larger files are no word recordings; refusing them keeps a stray file from filling memory.
constexpr qint64 kMaxFileBytes = 256 * 1024 * 1024;

quint32 le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

quint16 le16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint16(u[0] | u[1] << 8);
}

} // namespace

qint64 WaveSound::durationMs() const
{
    const int frameBytes = format.bytesPerFrame();
    if (frameBytes <= 0 || format.sampleRate() <= 0)
        return 0;
    return qint64(samples.size()) / frameBytes * 1000 / format.sampleRate();
}

bool ParseWave(const QByteArray &bytes, WaveSound &out)
{
    const char *b = bytes.constData();
    const qint64 n = bytes.size();
    if (n < 12 || std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0)
        return false;
    bool haveFormat = false;
    quint16 tag = 0, channels = 0, bits = 0;
    quint32 rate = 0;
    qint64 dataStart = -1, dataBytes = 0;
    for (qint64 pos = 12; pos + 8 <= n;) {
        const quint32 size = le32(b + pos + 4);
        const qint64 body = pos + 8;
        if (std::memcmp(b + pos, "fmt ", 4) == 0) {
            if (size < 16 || body + 16 > n)
                return false;
            tag = le16(b + body);
            channels = le16(b + body + 2);
            rate = le32(b + body + 4);
            bits = le16(b + body + 14);
            // The extensible header names the real format in its sub-format's first two bytes.
            if (tag == 0xFFFE) {
                if (size < 40 || body + 40 > n)
                    return false;
                tag = le16(b + body + 24);
            }
            haveFormat = true;
        } else if (std::memcmp(b + pos, "data", 4) == 0) {
            dataStart = body;
            dataBytes = qMin<qint64>(size, n - body);
            break;
        }
        pos = body + qint64(size) + (size & 1);
    }
    if (!haveFormat || dataStart < 0)
        return false;
    if (channels < 1 || channels > 8 || rate < 1000 || rate > 768000)
        return false;

    QAudioFormat::SampleFormat target;
    if (tag == 1 && bits == 8)
        target = QAudioFormat::UInt8;
    else if (tag == 1 && bits == 16)
        target = QAudioFormat::Int16;
    else if (tag == 1 && (bits == 24 || bits == 32))
        target = QAudioFormat::Int32;
    else if (tag == 3 && (bits == 32 || bits == 64))
        target = QAudioFormat::Float;
    else
        return false;

    const int sampleBytes = bits / 8;
    const qint64 frames = dataBytes / (qint64(sampleBytes) * channels);
    const qint64 count = frames * channels;
    const char *src = b + dataStart;
    QByteArray samples;
    if (bits == 24) {
        samples.resize(count * 4);
        char *dst = samples.data();
        for (qint64 i = 0; i < count; ++i) {
            const auto *u = reinterpret_cast<const unsigned char *>(src + 3 * i);
            const quint32 v = quint32(u[0]) << 8 | quint32(u[1]) << 16 | quint32(u[2]) << 24;
            std::memcpy(dst + 4 * i, &v, 4);
        }
    } else if (tag == 3 && bits == 64) {
        samples.resize(count * 4);
        char *dst = samples.data();
        for (qint64 i = 0; i < count; ++i) {
            double d;
            std::memcpy(&d, src + 8 * i, 8);
            const float f = float(d);
            std::memcpy(dst + 4 * i, &f, 4);
        }
    } else {
        samples = QByteArray(src, count * sampleBytes);
    }
    out.format = QAudioFormat();
    out.format.setSampleRate(int(rate));
    out.format.setChannelCount(channels);
    out.format.setSampleFormat(target);
    out.samples = samples;
    return true;
}

bool ReadWaveFile(const QString &path, WaveSound &out)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileBytes)
        return false;
    return ParseWave(f.readAll(), out);
}
