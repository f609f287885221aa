// The lesson behind the trainer window: choosing the next question (source, dictionary, word,
// direction, candidate answers), grading answers into the word's counters, learned words, the
// running statistics and the word-level commands. The window only shows what this class holds
// and forwards clicks and keys to it. Relies on the catalogue and its one cursor, on the
// settings record `Options`, and on the sound layer for word and answer sounds.
#pragma once

#include "store/Topics.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

class TDbfDataSet;
class TSoundPlayer;
class TWordSound;

// The panel numbers the trainer shows (TrainerState).
enum TTrainerState {
    tsNoWords = 0,    // nothing to ask
    tsCorrection = 2, // after a wrong answer, "Запомню"
    tsDelete = 3,     // "Удалить это слово ?"
    tsNormal = 11,
};

class TLesson : public QObject {
    Q_OBJECT
public:
    // Works on the catalogue's cursor; installs its own draws into the catalogue's picks and its
    // due filter on the cursor, and takes both away again: it must go before the catalogue.
    explicit TLesson(TTopics &topics, QObject *parent = nullptr);
    ~TLesson() override;

    // The trainer's sound player `MPlayer` (answer sounds) and its word sound with `TLoopPlay`.
    // Either may be null (then nothing plays; the play button state is still computed).
    void SetSound(TSoundPlayer *player, TWordSound *wordSound);

    // --- Random draws -----------------------------------------------------------------------
    // Reseeds from the clock, or from the fixed seed when a test set one.
    void SeedFromClock();
    void FixSeed(std::optional<std::uint32_t> seed);
    // Tests that must script every draw replace the generator (empty: the generator again).
    void SetRandomSource(std::function<std::uint32_t()> source) { m_source = std::move(source); }
    std::uint32_t Random();

    // --- What the window tells the lesson ---------------------------------------------------
    // Rows the answer list shows (list height div item height); Candidates follows it.
    void SetVisibleRows(int rows);
    int VisibleRows() const { return m_visibleRows; }
    // The state of the check boxes `ChQuestionVisible` and `ChShowTranscr`.
    void SetQuestionVisible(bool ticked) { m_questionVisible = ticked; }
    bool QuestionVisible() const { return m_questionVisible; }
    void SetShowTranscription(bool ticked) { m_showTranscription = ticked; }
    bool ShowTranscription() const { return m_showTranscription; }
    // The active input page is Options.InputPage: 0 choice, 1 typing, 2 statistics.

    // --- Operations ---------------------------------------------------------------------------
    // Window shown: reseed, RightAnswersSinceShown = 0, NextQuestion.
    void StartLesson();
    // Start-up and after the dictionaries window: rescan the kinds, recount the three word counts.
    void RecountWords(TopicKinds rescan = KindBit(tkOn) | KindBit(tkLearned));

    void NextQuestion();
    bool PrepareQuestionSource();
    void GoToPosition(int n);
    // The filter predicate installed on the cursor: DATE <= today - RepeatLearnedDelay.
    bool DueFilter(TDbfDataSet &record) const;

    // Answers; ignored unless TrainerState is normal and a question is on screen.
    void AnswerFromList(const QString &selected);
    void AnswerTyped(const QString &typed);
    // A click on the question panel, the question label or the transcription line.
    void GiveUp();
    int CheckTypedVariant(const QString &text);
    void GradeAnswer(int delta);
    void ApplyLearnedAction();

    // Word commands.
    void RememberClicked();
    void MoveWordToLearned();
    void DeleteWord();       // throws EEngineError; the confirmed delete below ignores it
    void DeleteConfirmed();  // "Да": DeleteWord (failures ignored), RestoreNormal, NextQuestion

    // Panels: ShowPanel only from the normal state (otherwise ignored).
    void ShowPanel(int state);
    void RestoreNormal();
    int TrainerState() const { return m_trainerState; }

    void ShowStatistics();
    void ShowWordHint();

    // Opens CurrentDictionary when it is not the open one (throws EEngineError when it cannot be
    // opened) and makes the QuestionRecord current. False when there is no question record any
    // more (moved, deleted, or the dictionary was replaced under it).
    bool ReachQuestionRecord();
    // Reopens CurrentDictionary (before the add-word dialog; throws EEngineError).
    void ReopenCurrentDictionary();

    // --- The question on screen, as the window shows it ----------------------------------
    int QuestionPosition() const { return m_questionPosition; }
    int AnswerSlot() const { return m_answerSlot; }
    int CandidateCount() const { return m_candidateCount; }
    const std::vector<int> &Candidates() const { return m_candidates; }
    int RangeDivisor() const { return m_rangeDivisor; }
    bool RepeatingLearned() const { return m_repeatingLearned; }
    QString CurrentDictionary() const { return m_currentDictionary; }
    QString PreviousQuestionWord() const;
    int Reverse() const { return m_reverse; }
    QString QuestionText() const;
    QString ExpectedAnswer() const;
    QString TranscriptionText() const;
    QString SoundFile() const { return m_soundFile; }
    bool FirstAttempt() const { return m_firstAttempt; }
    int RightAnswersSinceShown() const { return m_rightAnswersSinceShown; }
    std::uint32_t QuestionRecNo() const { return m_questionRecNo; }
    bool HasQuestion() const { return m_questionRecNo != 0; }

    // The answer-side texts of Candidates, slot by slot, and as the list shows them (sorted,
    // case-insensitive, locale order).
    QStringList CandidateTexts() const;
    QStringList AnswerList() const;

    // What `LQWord` shows: QuestionText while ChQuestionVisible is ticked, else nothing;
    // "нет невыученных слов" in TrainerState 0.
    QString QuestionLabel() const;
    // Fonts: language group of the question label and of the answer list / edit box.
    int QuestionFontGroup() const { return m_reverse ? 1 : 0; }
    int AnswerFontGroup() const { return m_reverse ? 0 : 1; }
    // Keyboard layout to activate (the answer's language).
    QString AnswerLayout() const;
    // `PTranscr`: text and hint (empty when nothing is shown); whether `ChShowTranscr` is
    // enabled; whether the line uses the placeholder font (Tahoma, charset 204).
    QString TranscriptionLine() const;
    bool TranscriptionCheckEnabled() const { return m_transcriptionCheckEnabled; }
    bool TranscriptionPlaceholder() const { return m_transcript.empty(); }
    // `BPlay` and `BMoveToLearned`.
    bool PlayEnabled() const { return m_playEnabled; }
    bool MoveToLearnedEnabled() const { return m_moveToLearnedEnabled; }
    // What `EAnswer` starts with: the first character of ExpectedAnswer when ShowFirstLetter.
    QString HintLetter() const;

    // `TSStat` and `PBLearnProgress`, and the hint of `LQWord`.
    QString StatisticsText() const { return m_statisticsText; }
    int ProgressMaximum() const { return m_progressMaximum; }
    int ProgressPosition() const { return m_progressPosition; }
    QString WordHint() const { return m_wordHint; }

    // In the interface's language, so asked for when shown.
    static QString NoTranscriptionText(); // "Транкрипция не указана"
    static QString NoWordsText();         // "нет невыученных слов"

signals:
    // A new question is on the lesson: refresh question, transcription, list, edit box, fonts,
    // buttons, focus and keyboard layout from the getters.
    void QuestionShown();
    // TrainerState changed from `previous` to `state`; in state 2 the correction shows
    // ExpectedAnswer in the font of its language (Reverse).
    void PanelChanged(int previous, int state);
    void StatisticsChanged();
    void WordHintChanged();
    // Enough right answers since the window was shown: hide the trainer.
    void CloseRequested();
    // An answer sound is due (OkSoundOn / MistakeSoundOn); it is played on the player when set.
    void AnswerSoundPlayed(bool right);

private:
    TDbfDataSet &Words() const { return m_topics.Words(); }
    bool CanAnswer() const;
    void DoGradeAnswer(int delta);
    void PlayAnswer(bool right);
    bool MoveQuestionToLearned();
    void InstallDueFilter();
    bool AnyDueWord();
    void GoToPositionOf(int n, int count);
    void ReadQuestionRecord();
    void DrawCandidates(int count);
    void ForgetQuestionRecord() { m_questionRecNo = 0; }
    // Reports an engine failure of a command the user gave, as the general error handling does.
    void ReportFailure(const std::exception &e) const;
    bool TypingMode() const;
    void EnterState(int state);

    TTopics &m_topics;
    TSoundPlayer *m_player = nullptr;
    TWordSound *m_wordSound = nullptr;

    std::mt19937 m_generator;
    std::optional<std::uint32_t> m_fixedSeed;
    std::function<std::uint32_t()> m_source;

    int m_visibleRows = 5;
    bool m_questionVisible = true;
    bool m_showTranscription = true;
    int m_trainerState = tsNormal;

    // The question on screen.
    int m_questionPosition = 0;
    int m_answerSlot = 0;
    int m_candidateCount = 0;
    std::vector<int> m_candidates;
    std::vector<std::string> m_candidateTexts;
    int m_rangeDivisor = 1;
    bool m_repeatingLearned = false;
    QString m_currentDictionary;
    std::string m_previousQuestionWord;
    int m_reverse = 0;
    std::string m_word1, m_word2, m_transcript;
    std::string m_questionText, m_expectedAnswer;
    QString m_soundFile;
    bool m_firstAttempt = true;
    int m_rightAnswersSinceShown = 0;
    std::uint32_t m_questionRecNo = 0;
    bool m_transcriptionCheckEnabled = false;
    bool m_playEnabled = false;
    bool m_moveToLearnedEnabled = false;

    // Found by PrepareQuestionSource for the question being formed.
    bool m_sourceRepeating = false;
    QString m_sourceDictionary;
    int m_sourceCount = 0;
    double m_dueLimit = 0;

    QString m_statisticsText;
    int m_progressMaximum = 0;
    int m_progressPosition = 0;
    QString m_wordHint;
};
