// The windows' media players over the sound module's devices. Waiting keeps the event loop
// running.
#include "sound/Sound.h"

#include "messages/ShowError.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

namespace {

// How long a device may take to come up on a file, and how long past its stated length a
// waited-for sound may run before we stop waiting.
constexpr int kOpenTimeoutMs = 5000;
constexpr int kEndSlackMs = 5000;

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
    // Never called from a handler of the device: its ends reach onEnded queued.
    m_out.reset();
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
    SoundModule *module = SoundModuleLoader::module();
    if (!module || !module->hasOutput()) {
        m_lastError = NoOutput;
        return false;
    }
    QPointer<TSoundPlayer> self(this);
    m_out.reset(module->newOutput(
        [this] {
            if (m_loop)
                m_loop->quit();
        },
        [this] { endLater(); }));
    if (const int error = m_out->open(fileName); error != NoError) {
        m_lastError = error;
        release();
        return false;
    }
    // A wave is ready at once; another file is waited for until the backend has loaded it.
    const bool settled = waitFor([this] { return !m_out || m_out->settled(); }, kOpenTimeoutMs);
    if (!self)
        return false;
    if (!m_out || !m_out->ready()) {
        m_lastError = settled ? Unplayable : NotReady;
        release();
        return false;
    }
    m_durationMs = m_out->durationMs();
    return true;
}

bool TSoundPlayer::Play(bool wait)
{
    if (m_busy || !m_out)
        return false;
    ++m_request;
    m_ended = false;
    if (!m_out->start()) {
        m_lastError = Unplayable;
        m_ended = true;
        return false;
    }
    if (!wait)
        return true;
    QPointer<TSoundPlayer> self(this);
    const bool ended = waitFor([this] { return m_ended; }, int(qMin<qint64>(m_durationMs + kEndSlackMs, 600000)));
    if (!self)
        return true;
    if (!ended) {
        // Stuck past its length: stop it, so that the caller's wait really ends here.
        if (m_out)
            m_out->stop();
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
    if (!m_out)
        return false;
    // A short underrun leaves a wave's sink idle for a moment; it still plays until its end.
    return m_out->isWave() ? !m_ended : m_out->playing();
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
