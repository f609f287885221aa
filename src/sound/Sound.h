// Sound playback: the media player each window owns and PlaySoundFile, the one way any part of
// Wordpop plays a file. The device itself comes from the sound module (platform/SoundModule.h),
// loaded at the first Open. Errors the user must see go through ShowError.
#pragma once

#include "platform/SoundModule.h"
#include "sound/SoundPaths.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QEventLoop;

// One per window that plays sound, owned by that window (a QObject child). Holds the device
// opened on one file; a new play request replaces whatever was playing.
class TSoundPlayer : public QObject {
    Q_OBJECT
public:
    enum DeviceError {
        NoError = SoundNoError,
        NoOutput = SoundNoOutput,
        Unplayable = SoundUnplayable,
        NotReady = SoundNotReady,
    };

    explicit TSoundPlayer(QObject *parent = nullptr);
    ~TSoundPlayer() override;

    // Opens the device on a file (closing the one before). False on a device error, which
    // LastError then names. A wave is read at once; another file is waited for, with the event
    // loop running, until the media backend has loaded it.
    bool Open(const QString &fileName);
    // Plays the opened file from its start to its end. With wait, returns when it has ended.
    bool Play(bool wait);
    // Stops and releases the device.
    void Close();

    QString FileName() const { return m_fileName; }
    int LastError() const { return m_lastError; }
    bool IsPlaying() const;

signals:
    // The sound of the last play request has ended (or could not go on). Delivered queued, so a
    // slot may play the next sound or destroy the player.
    void Finished();

private:
    void release();
    bool waitFor(const std::function<bool()> &done, int timeoutMs);
    void onEnded();
    void endLater();

    QString m_fileName;
    int m_lastError = NoError;
    qint64 m_durationMs = 0;
    bool m_busy = false;
    bool m_ended = true;
    quint64 m_request = 0;   // counts open, play and close requests
    std::unique_ptr<SoundOutput> m_out;
    QEventLoop *m_loop = nullptr;
};

// Plays the whole file once on the player. A missing file returns false and shows nothing; one
// that exists but cannot be read shows error 9 with the path; a device error (no sound output,
// a file the device cannot play) returns false and shows nothing. True when the play request
// was issued: with wait false the call returns at once and the sound plays on; with wait true it
// returns when the sound has ended, with the event loop running meanwhile (user input held back).
bool PlaySoundFile(TSoundPlayer &player, const QString &path, bool wait = false);
