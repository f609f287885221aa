// The sound module over Qt Multimedia. Wave files (what dictionaries carry) are read here and
// written to a QAudioSink, Qt's own output to the sound server, which needs no codec plugins;
// anything else goes through QMediaPlayer and whatever backend Qt has. Built as
// "wordpop-sound.so" and loaded by the program when sound is first wanted.
#include "platform/SoundModule.h"

#include "WaveFile.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QAudioSink>
#include <QBuffer>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

namespace {

// The sink runs dry (and is stopped) while the server still holds up to a buffer of what was
// written last; this much silence after the sound lets the sound itself play to its end. The
// buffer is filled from the event loop: it must ride out a busy moment of the program without
// a gap, and it is the delay before a sound starts.
constexpr int kSinkBufferMs = 200;
constexpr int kTailMs = 400;

int bytesFor(const QAudioFormat &format, int ms)
{
    return format.bytesPerFrame() * int(qint64(format.sampleRate()) * ms / 1000);
}

class QtSoundOutput final : public SoundOutput {
public:
    QtSoundOutput(std::function<void()> changed, std::function<void()> ended)
        : m_changed(std::move(changed)), m_ended(std::move(ended))
    {
    }
    ~QtSoundOutput() override
    {
        // Disconnected first: nothing of the teardown may reach the player.
        if (m_sink) {
            m_sink->disconnect();
            m_sink->stop();
            delete m_sink;   // with its buffer
        }
        if (m_media) {
            m_media->disconnect();
            m_media->stop();
            delete m_media;
        }
        delete m_output;
    }

    int open(const QString &fileName) override
    {
        WaveSound wave;
        if (ReadWaveFile(fileName, wave)) {
            const QAudioDevice device = QMediaDevices::defaultAudioOutput();
            if (!device.isFormatSupported(wave.format))
                return SoundUnplayable;
            m_durationMs = wave.durationMs();
            // Silence of the sample format: 0x80 for unsigned bytes, zero for the rest.
            wave.samples.append(bytesFor(wave.format, kTailMs),
                                wave.format.sampleFormat() == QAudioFormat::UInt8 ? char(0x80) : char(0));
            m_sink = new QAudioSink(device, wave.format);
            // The sink lets go of its source when it is destroyed: the buffer must outlive it.
            m_buffer = new QBuffer(m_sink);
            m_buffer->setData(wave.samples);
            m_sink->setBufferSize(bytesFor(wave.format, kSinkBufferMs));
            QObject::connect(m_sink, &QAudioSink::stateChanged, m_sink, [this](QAudio::State state) {
                // Idle before the end is the server running short of data on a busy machine;
                // the sink goes on pulling. Only the end of the samples (and their silent tail)
                // ends it.
                const bool drained = state == QAudio::IdleState && m_buffer->atEnd();
                if (drained || (state == QAudio::StoppedState && m_sink->error() != QAudio::NoError)) {
                    m_sink->stop();
                    m_ended();
                }
            });
            return SoundNoError;
        }
        // An empty file is nothing any backend could play.
        if (QFileInfo(fileName).size() == 0)
            return SoundUnplayable;
        m_output = new QAudioOutput(QMediaDevices::defaultAudioOutput());
        m_media = new QMediaPlayer;
        m_media->setAudioOutput(m_output);
        QObject::connect(m_media, &QMediaPlayer::mediaStatusChanged, m_media, [this](QMediaPlayer::MediaStatus s) {
            if (s == QMediaPlayer::EndOfMedia || s == QMediaPlayer::InvalidMedia)
                m_ended();
            m_changed();
        });
        QObject::connect(m_media, &QMediaPlayer::errorOccurred, m_media, [this] {
            m_ended();
            m_changed();
        });
        QObject::connect(m_media, &QMediaPlayer::playbackStateChanged, m_media, [this](QMediaPlayer::PlaybackState s) {
            if (s == QMediaPlayer::StoppedState)
                m_ended();
        });
        m_media->setSource(QUrl::fromLocalFile(fileName));
        return SoundNoError;
    }

    bool settled() const override
    {
        if (!m_media)
            return true;
        const auto s = m_media->mediaStatus();
        return m_media->error() != QMediaPlayer::NoError || s == QMediaPlayer::LoadedMedia
            || s == QMediaPlayer::BufferedMedia || s == QMediaPlayer::InvalidMedia;
    }

    bool ready() const override
    {
        if (m_sink)
            return true;
        return m_media && m_media->error() == QMediaPlayer::NoError
            && (m_media->mediaStatus() == QMediaPlayer::LoadedMedia || m_media->mediaStatus() == QMediaPlayer::BufferedMedia);
    }

    qint64 durationMs() const override { return m_sink ? m_durationMs : m_media ? m_media->duration() : 0; }

    bool start() override
    {
        if (m_sink) {
            m_sink->stop();
            m_buffer->close();
            if (!m_buffer->open(QIODevice::ReadOnly))
                return false;
            m_sink->start(m_buffer);
            return !(m_sink->error() != QAudio::NoError && m_sink->state() == QAudio::StoppedState);
        }
        if (!m_media)
            return false;
        m_media->setPosition(0);
        m_media->play();
        return true;
    }

    void stop() override
    {
        if (m_sink)
            m_sink->stop();
        if (m_media)
            m_media->stop();
    }

    bool isWave() const override { return m_sink != nullptr; }
    bool playing() const override { return m_media && m_media->playbackState() == QMediaPlayer::PlayingState; }

private:
    std::function<void()> m_changed;
    std::function<void()> m_ended;
    qint64 m_durationMs = 0;
    QAudioSink *m_sink = nullptr;
    QBuffer *m_buffer = nullptr;
    QMediaPlayer *m_media = nullptr;
    QAudioOutput *m_output = nullptr;
};

class QtSoundModule final : public SoundModule {
public:
    bool hasOutput() override { return !QMediaDevices::audioOutputs().isEmpty(); }
    SoundOutput *newOutput(std::function<void()> changed, std::function<void()> ended) override
    {
        return new QtSoundOutput(std::move(changed), std::move(ended));
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) SoundModule *wordpop_sound_module(int version)
{
    static QtSoundModule module;
    return version == kSoundModuleVersion ? &module : nullptr;
}
