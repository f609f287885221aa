// Judging an answer, writing it into the word's counters, learned words and the word commands.
// Every operation addresses the question record, reopening its dictionary when another one was
// opened in between; the statistics live in the settings record and are saved with it.
#include "learning/Lesson.h"

#include "engine/DataSet.h"
#include "engine/EngineError.h"
#include "platform/Text.h"
#include "settings/TOptions.h"
#include "sound/WordSound.h"

#include <QLocale>

#include <algorithm>

bool TLesson::CanAnswer() const
{
    return m_trainerState == tsNormal && HasQuestion();
}

void TLesson::AnswerFromList(const QString &selected)
{
    if (!CanAnswer())
        return;
    GradeAnswer(selected == ExpectedAnswer() ? 1 : -1);
}

void TLesson::AnswerTyped(const QString &typed)
{
    if (!CanAnswer())
        return;
    int delta = -1;
    const QLocale locale;
    try {
        if (locale.toLower(typed) == locale.toLower(ExpectedAnswer()))
            delta = 1;
        else if (Options.ExactCorrect)
            delta = -1;
        else
            delta = CheckTypedVariant(typed);
    } catch (const EEngineError &e) {
        ReportFailure(e);
        return;
    }
    GradeAnswer(delta);
}

void TLesson::GiveUp()
{
    if (CanAnswer())
        GradeAnswer(-1);
}

int TLesson::CheckTypedVariant(const QString &text)
{
    ReopenCurrentDictionary();
    // A text the dictionaries' code page cannot hold matches no stored word.
    if (!Text::fitsCp1251(text))
        return -1;
    TDbfDataSet &words = Words();
    const char *searched = m_reverse ? "WORD1" : "WORD2";
    const char *other = m_reverse ? "WORD2" : "WORD1";
    words.SetIndexName(searched);
    if (!words.Locate(searched, Text::toCp1251(text), loCaseInsensitive))
        return -1;
    const std::string label = m_questionVisible ? m_questionText : std::string();
    return words.FieldByName(other).AsString() == label ? 0 : -1;
}

void TLesson::GradeAnswer(int delta)
{
    try {
        DoGradeAnswer(delta);
    } catch (const EEngineError &e) {
        ReportFailure(e);
    }
}

void TLesson::DoGradeAnswer(int delta)
{
    Options.StatAnswers += 1;
    if (!ReachQuestionRecord()) {
        // The word went away under the question (deleted or its dictionary replaced): there is
        // nothing left to grade, so the lesson goes on with another word.
        NextQuestion();
        return;
    }
    const bool typing = TypingMode();
    std::int32_t &balance = typing ? Options.TypingMistakeBalance : Options.ChoiceMistakeBalance;
    balance = std::max<std::int32_t>(balance - delta, 0);

    std::int32_t inRow = 0, kbInRow = 0;
    {
        TDbfDataSet &words = Words();
        words.Edit();
        TField &mistakes = words.FieldByName(typing ? "KBMISS" : "MISS");
        TField &run = words.FieldByName(typing ? "KBINROW" : "INROW");
        const std::int32_t m = mistakes.AsInteger();
        if (m_firstAttempt && m - delta >= 0)
            mistakes.SetAsInteger(m - delta);
        if (delta < 0)
            run.SetAsInteger(0);
        else if (m_firstAttempt)
            run.SetAsInteger(run.AsInteger() + delta);
        words.Post();
        inRow = words.FieldByName("INROW").AsInteger();
        kbInRow = words.FieldByName("KBINROW").AsInteger();
    }

    if (delta < 0) {
        PlayAnswer(false);
        m_firstAttempt = false;
        Options.StatMistakes += 1;
        ShowStatistics();
        ShowWordHint();
        if (m_wordSound)
            m_wordSound->Stop();
        ShowPanel(tsCorrection);
        return;
    }

    if (m_firstAttempt) {
        const bool choiceDone = inRow >= Options.LearnedChoiceCount;
        const bool typingDone = kbInRow >= Options.LearnedTypingCount;
        const bool learned = (Options.LearnedLogic == 1 ? choiceDone && typingDone : choiceDone || typingDone);
        if (learned)
            ApplyLearnedAction();
        Options.StatRightAnswers += 1;
        ShowStatistics();
        if (HasQuestion())
            ShowWordHint();
    }
    if (delta > 0)
        PlayAnswer(true);
    m_rightAnswersSinceShown += 1;
    if (Options.HideAfterRightAnswers != 0 && m_rightAnswersSinceShown >= Options.HideAfterRightAnswers && delta > 0)
        emit CloseRequested();
    else
        NextQuestion();
}

void TLesson::PlayAnswer(bool right)
{
    if (!(right ? Options.OkSoundOn : Options.MistakeSoundOn))
        return;
    if (m_player)
        PlayAnswerSound(*m_player, right);
    emit AnswerSoundPlayed(right);
}

void TLesson::ApplyLearnedAction()
{
    if (Options.LearnedAction == 1) {
        DeleteWord();
        return;
    }
    // A word under repetition stays in its learned dictionary and keeps counting.
    if (m_repeatingLearned)
        return;
    if (MoveQuestionToLearned()) {
        Options.StatStudiedWords -= 1;
        Options.StatLearnedWords += 1;
    }
}

bool TLesson::MoveQuestionToLearned()
{
    if (!ReachQuestionRecord())
        return false;
    const std::uint32_t recNo = m_questionRecNo;
    m_topics.MoveToLearned();
    // The catalogue tells a failure only to the user; the word has gone from its dictionary
    // exactly when its record there is now deleted.
    TDbfDataSet &words = Words();
    if (m_topics.OpenPath() != m_currentDictionary || !words.Active())
        m_topics.OpenDictionary(m_currentDictionary);
    words.SetRecNo(recNo);
    if (words.RecNo() == recNo && !words.Table()->IsDeleted())
        return false;
    ForgetQuestionRecord();
    return true;
}

void TLesson::DeleteWord()
{
    if (!ReachQuestionRecord())
        return;
    TDbfDataSet &words = Words();
    words.Delete();
    words.FlushDBF();
    m_topics.CloseDictionary();
    ForgetQuestionRecord();
    m_topics.RescanFolders(KindBit(tkOn));
    Options.StatTotalWords -= 1;
    if (m_repeatingLearned)
        Options.StatLearnedWords -= 1;
    else
        Options.StatStudiedWords -= 1;
}

void TLesson::DeleteConfirmed()
{
    if (m_trainerState != tsDelete)
        return;
    try {
        DeleteWord();
    } catch (const std::exception &) {
        // The user asked for the word to go; whatever kept it, the lesson goes on.
    }
    RestoreNormal();
    NextQuestion();
}

void TLesson::MoveWordToLearned()
{
    // The no-words panel has no word on screen to move.
    if (m_trainerState == tsNoWords)
        return;
    try {
        if (MoveQuestionToLearned()) {
            Options.StatMovedToLearned += 1;
            if (!m_repeatingLearned) {
                Options.StatStudiedWords -= 1;
                Options.StatLearnedWords += 1;
            }
        }
    } catch (const EEngineError &) {
        // Stops silently; the next question still comes.
    }
    NextQuestion();
}

void TLesson::RememberClicked()
{
    if (m_trainerState != tsCorrection)
        return;
    RestoreNormal();
    // A word moved away meanwhile cannot be asked again.
    if (!Options.RepeatAfterMistake || !HasQuestion())
        NextQuestion();
}
