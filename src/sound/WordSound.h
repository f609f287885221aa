// What the trainer does with sound: the current word's recording with its replay timer
// `TLoopPlay`, and the right and wrong answer sounds. Reads the sound settings from Options at
// each call, so a change made in the options window applies to the next question.
#pragma once

#include "sound/Sound.h"

#include <QObject>
#include <QString>
#include <QTimer>

// The trainer owns one, next to its player `MPlayer`.
class TWordSound : public QObject {
    Q_OBJECT
public:
    TWordSound(TSoundPlayer &player, QObject *parent = nullptr);

    // A new question: stops the replay timer, takes the word's resolved sound path and, unless a
    // reverse question must stay silent (DontPlayOnReverse), plays it at once (AutoPlayWordSound)
    // and arms the replay timer (LoopPlay, every LoopPlayDelay seconds). Returns whether the
    // play button is to be enabled: a sound file exists and may be played for this question.
    bool Prepare(const QString &soundFile, bool reverse);

    // Lesson end, a wrong answer, a window opened from the trainer.
    void Stop();
    // That window closed: the timer runs again when LoopPlay is on and this question had it.
    void Resume();
    // The play button and every tick of the timer.
    void PlayWordSound();

    QString SoundFile() const { return m_soundFile; }
    // Whether the current question's sound may be replayed (what Prepare returned).
    bool Playable() const { return m_playable; }

    QTimer TLoopPlay;

private:
    void arm();

    TSoundPlayer &m_player;
    QString m_soundFile;
    bool m_playable = false;
};

// After a graded answer: when OkSoundOn (right) or MistakeSoundOn (wrong) is set, plays the
// program folder's OkSoundFile or MistakeSoundFile on the trainer's player without waiting.
// A missing file plays nothing and shows nothing. True when a sound was started.
bool PlayAnswerSound(TSoundPlayer &player, bool right);
