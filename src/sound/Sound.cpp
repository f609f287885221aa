// The windows' media players over Qt Multimedia. Wave files (what dictionaries carry) are read
// here and written to a QAudioSink, Qt's own output to the sound server, which needs no codec
// plugins; anything else goes through QMediaPlayer and whatever backend Qt has. Waiting keeps
// the event loop running.
#include "sound/Sound.h"

#include "messages/ShowError.h"
#include "platform/SoundDevice.h"
#include "sound/WaveFile.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QAudioSink>
#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPointer>
#include <QTimer>
#include <QUrl>


namespace {

// How long a device may take to come up on a file, and how long past its stated length a
// waited-for sound may run before we stop waiting.
constexpr int kOpenTimeoutMs = 5000;
constexpr int kEndSlackMs = 5000;

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

} // namespace

TSoundPlayer::TSoundPlayer(QObject *parent)
    : QObject(parent)
{
}

TSoundPlayer::~TSoundPlayer()
{
    // A wait in progress returns as soon as its loop gets control back.
    if (m_loop)
        m_loop->quit();
    release();
}

void TSoundPlayer::release()
{
    // Never called from a handler of these objects: their ends reach onEnded queued.
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        delete m_sink;   // with its buffer
        m_sink = nullptr;
        m_buffer = nullptr;
    }
    if (m_media) {
        m_media->disconnect(this);
        m_media->stop();
        delete m_media;
        m_media = nullptr;
    }
    delete m_output;
    m_output = nullptr;
}

bool TSoundPlayer::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QPointer<TSoundPlayer> self(this);
    QEventLoop loop;
    m_loop = &loop;
    m_busy = true;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        if (!self)
            return false;  // the owning window went away meanwhile
        if (done() || clock.elapsed() >= timeoutMs)
            break;
    }
    m_loop = nullptr;
    m_busy = false;
    return done();
}

bool TSoundPlayer::Open(const QString &fileName)
{
    // A timer that fires while this player waits must not pull the device from under the wait.
    if (m_busy)
        return false;
    release();
    ++m_request;
    m_fileName = fileName;
    m_lastError = NoError;
    m_durationMs = 0;
    m_ended = true;
    if (!HasSoundDevice()) {
        m_lastError = NoOutput;
        return false;
    }
    QPointer<TSoundPlayer> self(this);
    auto wake = [this] {
        if (m_loop)
            m_loop->quit();
    };
    WaveSound wave;
    if (ReadWaveFile(fileName, wave)) {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (!device.isFormatSupported(wave.format)) {
            m_lastError = Unplayable;
            return false;
        }
        m_durationMs = wave.durationMs();
        // Silence of the sample format: 0x80 for unsigned bytes, zero for the rest.
        wave.samples.append(bytesFor(wave.format, kTailMs),
                            wave.format.sampleFormat() == QAudioFormat::UInt8 ? char(0x80) : char(0));
        m_sink = new QAudioSink(device, wave.format, this);
        // The sink lets go of its source when it is destroyed: the buffer must outlive it.
        m_buffer = new QBuffer(m_sink);
        m_buffer->setData(wave.samples);
        m_sink->setBufferSize(bytesFor(wave.format, kSinkBufferMs));
        connect(m_sink, &QAudioSink::stateChanged, this, [this](QAudio::State state) {
            if (!m_sink)
                return;
            // Idle before the end is the server running short of data on a busy machine; the
            // sink goes on pulling. Only the end of the samples (and their silent tail) ends it.
            const bool drained = state == QAudio::IdleState && m_buffer && m_buffer->atEnd();
            if (drained || (state == QAudio::StoppedState && m_sink->error() != QAudio::NoError)) {
                m_sink->stop();
                endLater();
            }
        });
        return true;
    }
    // An empty file is nothing any backend could play.
    if (QFileInfo(fileName).size() == 0) {
        m_lastError = Unplayable;
        return false;
    }
    m_output = new QAudioOutput(QMediaDevices::defaultAudioOutput(), this);
    m_media = new QMediaPlayer(this);
    m_media->setAudioOutput(m_output);
    connect(m_media, &QMediaPlayer::mediaStatusChanged, this, [this, wake](QMediaPlayer::MediaStatus s) {
        if (s == QMediaPlayer::EndOfMedia || s == QMediaPlayer::InvalidMedia)
            endLater();
        wake();
    });
    connect(m_media, &QMediaPlayer::errorOccurred, this, [this, wake] {
        endLater();
        wake();
    });
    connect(m_media, &QMediaPlayer::playbackStateChanged, this, [this](QMediaPlayer::PlaybackState s) {
        if (s == QMediaPlayer::StoppedState)
            endLater();
    });
    m_media->setSource(QUrl::fromLocalFile(fileName));
    auto loaded = [this] {
        if (!m_media)
            return true;
        const auto s = m_media->mediaStatus();
        return m_media->error() != QMediaPlayer::NoError || s == QMediaPlayer::LoadedMedia
            || s == QMediaPlayer::BufferedMedia || s == QMediaPlayer::InvalidMedia;
    };
    const bool settled = waitFor(loaded, kOpenTimeoutMs);
    if (!self)
        return false;
    if (!m_media || m_media->error() != QMediaPlayer::NoError
        || (m_media->mediaStatus() != QMediaPlayer::LoadedMedia && m_media->mediaStatus() != QMediaPlayer::BufferedMedia)) {
        m_lastError = settled ? Unplayable : NotReady;
        release();
        return false;
    }
    m_durationMs = m_media->duration();
    return true;
}

bool TSoundPlayer::Play(bool wait)
{
    if (m_busy || (!m_sink && !m_media))
        return false;
    ++m_request;
    m_ended = false;
    if (m_sink) {
        m_sink->stop();
        m_buffer->close();
        if (!m_buffer->open(QIODevice::ReadOnly))
            return false;
        m_sink->start(m_buffer);
        if (m_sink->error() != QAudio::NoError && m_sink->state() == QAudio::StoppedState) {
            m_lastError = Unplayable;
            m_ended = true;
            return false;
        }
    } else {
        m_media->setPosition(0);
        m_media->play();
    }
    if (!wait)
        return true;
    QPointer<TSoundPlayer> self(this);
    const bool ended = waitFor([this] { return m_ended; }, int(qMin<qint64>(m_durationMs + kEndSlackMs, 600000)));
    if (!self)
        return true;
    if (!ended) {
        // Stuck past its length: stop it, so that the caller's wait really ends here.
        if (m_sink)
            m_sink->stop();
        if (m_media)
            m_media->stop();
        onEnded();
    }
    return true;
}

void TSoundPlayer::endLater()
{
    // Queued, so that whatever Finished sets off (the next sound, closing the window) never runs
    // inside a handler of the sink or media player it may destroy. A request made meanwhile
    // makes this one stale.
    const quint64 request = m_request;
    QMetaObject::invokeMethod(this, [this, request] {
        if (request == m_request)
            onEnded();
    }, Qt::QueuedConnection);
}

void TSoundPlayer::onEnded()
{
    if (m_ended)
        return;
    m_ended = true;
    if (m_loop)
        m_loop->quit();
    emit Finished();
}

void TSoundPlayer::Close()
{
    // Also while a wait runs (a window closing from a timer): the wait then ends at once.
    const bool wasPlaying = !m_ended;
    m_ended = true;
    ++m_request;
    release();
    m_fileName.clear();
    if (m_loop)
        m_loop->quit();
    if (wasPlaying) {
        const quint64 request = m_request;
        QMetaObject::invokeMethod(this, [this, request] {
            if (request == m_request)
                emit Finished();
        }, Qt::QueuedConnection);
    }
}

bool TSoundPlayer::IsPlaying() const
{
    if (m_sink)
        return !m_ended;   // a short underrun leaves the sink idle for a moment; it still plays
    if (m_media)
        return m_media->playbackState() == QMediaPlayer::PlayingState;
    return false;
}

bool PlaySoundFile(TSoundPlayer &player, const QString &path, bool wait)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return false;
    // Only a regular file is opened: a folder cannot be played, and opening a pipe would block.
    const QFileInfo info(path);
    QFile f(path);
    if (!info.isFile() || !f.open(QIODevice::ReadOnly)) {
        ShowError(9, path);
        return false;
    }
    f.close();
    // The device plays the whole file; one open and one request do it here (the extra request
    // the Windows device wanted before the real one has no use with Qt Multimedia).
    if (!player.Open(path))
        return false;
    return player.Play(wait);
}
