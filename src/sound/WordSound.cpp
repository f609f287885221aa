// The trainer's word sound and answer sounds over the settings record. Relies on Options being
// loaded and the program folder being set.
#include "sound/WordSound.h"

#include "settings/TOptions.h"

#include <QFileInfo>

TWordSound::TWordSound(TSoundPlayer &player, QObject *parent)
    : QObject(parent)
    , m_player(player)
{
    TLoopPlay.setInterval(5000);
    connect(&TLoopPlay, &QTimer::timeout, this, &TWordSound::PlayWordSound);
}

bool TWordSound::Prepare(const QString &soundFile, bool reverse)
{
    TLoopPlay.stop();
    m_soundFile = soundFile;
    m_playable = !soundFile.isEmpty() && QFileInfo(soundFile).isFile() && !(reverse && Options.DontPlayOnReverse);
    if (!m_playable)
        return false;
    if (Options.AutoPlayWordSound)
        PlaySoundFile(m_player, m_soundFile, false);
    if (Options.LoopPlay)
        arm();
    return true;
}

void TWordSound::arm()
{
    // A delay of 0 would replay on every pass of the event loop; like a timer without an
    // interval, it means no replay.
    if (Options.LoopPlayDelay <= 0)
        return;
    TLoopPlay.start(int(qMin<qint64>(qint64(Options.LoopPlayDelay) * 1000, 0x7fffffff)));
}

void TWordSound::Stop()
{
    TLoopPlay.stop();
}

void TWordSound::Resume()
{
    // Only a question that had the timer gets it back: a reverse question kept silent by
    // DontPlayOnReverse stays silent after the options window closes.
    if (Options.LoopPlay && m_playable)
        arm();
}

void TWordSound::PlayWordSound()
{
    if (!m_soundFile.isEmpty())
        PlaySoundFile(m_player, m_soundFile, false);
}

bool PlayAnswerSound(TSoundPlayer &player, bool right)
{
    if (!(right ? Options.OkSoundOn : Options.MistakeSoundOn))
        return false;
    const QString path = AnswerSoundPath(OptionText(right ? Options.OkSoundFile : Options.MistakeSoundFile));
    if (path.isEmpty() || !QFileInfo::exists(path))
        return false;
    return PlaySoundFile(player, path, false);
}
