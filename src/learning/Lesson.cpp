// The lesson's own state: draws, panels, statistics, the word hint and reaching the question
// record again. Question selection is in QuestionSource.cpp, grading in Grading.cpp.
#include "learning/Lesson.h"

#include "engine/DataSet.h"
#include "engine/EngineError.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "settings/TOptions.h"
#include "sound/WordSound.h"

#include <QCollator>
#include <QFileInfo>

#include <algorithm>
#include <chrono>

QString TLesson::NoTranscriptionText() { return tr("Транкрипция не указана"); }
QString TLesson::NoWordsText() { return tr("нет невыученных слов"); }

TLesson::TLesson(TTopics &topics, QObject *parent)
    : QObject(parent), m_topics(topics)
{
    SeedFromClock();
    m_candidates.assign(std::size_t(std::max(m_visibleRows, 0)), 0);
    // The catalogue's picks take the lesson's draws, so that a fixed seed fixes the whole lesson.
    m_topics.SetRandom([this] { return Random(); });
}

TLesson::~TLesson()
{
    m_topics.SetRandom(nullptr);
    Words().OnFilterRecord = nullptr;
}

void TLesson::SetSound(TSoundPlayer *player, TWordSound *wordSound)
{
    m_player = player;
    m_wordSound = wordSound;
}

void TLesson::SeedFromClock()
{
    if (m_fixedSeed) {
        m_generator.seed(*m_fixedSeed);
        return;
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch().count();
    m_generator.seed(static_cast<std::uint32_t>(now ^ (now >> 32)));
}

void TLesson::FixSeed(std::optional<std::uint32_t> seed)
{
    m_fixedSeed = seed;
    SeedFromClock();
}

std::uint32_t TLesson::Random()
{
    return m_source ? m_source() : m_generator();
}

void TLesson::SetVisibleRows(int rows)
{
    // The question on screen keeps its answers until the next one is formed.
    m_visibleRows = std::max(rows, 0);
    m_candidates.resize(std::size_t(std::max(m_visibleRows, m_candidateCount)), 0);
}

bool TLesson::TypingMode() const
{
    return Options.InputPage == 1;
}

void TLesson::StartLesson()
{
    SeedFromClock();
    m_rightAnswersSinceShown = 0;
    NextQuestion();
}

void TLesson::RecountWords(TopicKinds rescan)
{
    m_topics.RescanFolders(rescan);
    Options.StatStudiedWords = m_topics.CountWords(KindBit(tkOn), false);
    Options.StatLearnedWords = m_topics.CountWords(KindBit(tkLearned), false);
    Options.StatTotalWords = Options.StatStudiedWords + Options.StatLearnedWords;
    ShowStatistics();
}

// --- Panels ------------------------------------------------------------------------------

void TLesson::EnterState(int state)
{
    const int previous = m_trainerState;
    m_trainerState = state;
    emit PanelChanged(previous, state);
}

void TLesson::ShowPanel(int state)
{
    if (m_trainerState != tsNormal || state == tsNormal)
        return;
    // The word panels need a word.
    if ((state == tsCorrection || state == tsDelete) && !HasQuestion())
        return;
    EnterState(state);
}

void TLesson::RestoreNormal()
{
    if (m_trainerState == tsNormal)
        return;
    EnterState(tsNormal);
}

// --- Texts -------------------------------------------------------------------------------

QString TLesson::PreviousQuestionWord() const { return Text::fromCp1251(m_previousQuestionWord); }
QString TLesson::QuestionText() const { return Text::fromCp1251(m_questionText); }
QString TLesson::ExpectedAnswer() const { return Text::fromCp1251(m_expectedAnswer); }

QString TLesson::TranscriptionText() const
{
    return m_transcript.empty() ? NoTranscriptionText() : Text::fromCp1251(m_transcript);
}

QStringList TLesson::CandidateTexts() const
{
    QStringList texts;
    for (const std::string &t : m_candidateTexts)
        texts << Text::fromCp1251(t);
    return texts;
}

QStringList TLesson::AnswerList() const
{
    QStringList items = CandidateTexts();
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(items.begin(), items.end(),
                     [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
    return items;
}

QString TLesson::QuestionLabel() const
{
    if (m_trainerState == tsNoWords)
        return NoWordsText();
    return m_questionVisible ? QuestionText() : QString();
}

QString TLesson::AnswerLayout() const
{
    return m_reverse ? OptionText(Options.StudiedLayout) : OptionText(Options.NativeLayout);
}

QString TLesson::TranscriptionLine() const
{
    if (m_trainerState == tsNoWords || !HasQuestion() || !m_showTranscription)
        return {};
    if (m_reverse && (Options.NoBackTranscription || m_transcript.empty()))
        return {};
    return TranscriptionText();
}

QString TLesson::HintLetter() const
{
    if (!Options.ShowFirstLetter || m_expectedAnswer.empty())
        return {};
    return Text::fromCp1251(m_expectedAnswer.substr(0, 1));
}

// --- Statistics and hint -------------------------------------------------------------------

void TLesson::ShowStatistics()
{
    m_statisticsText = tr("Всего слов: %1\n"
                                      "       Изучаемых: %2\n"
                                      "       Выученных: %3\n"
                                      "       Ошибок: %4\n"
                                      "       Правильных ответов: %5")
                           .arg(Options.StatTotalWords)
                           .arg(Options.StatStudiedWords)
                           .arg(Options.StatLearnedWords)
                           .arg(Options.StatMistakes)
                           .arg(Options.StatRightAnswers);
    m_progressMaximum = Options.StatTotalWords;
    m_progressPosition = Options.StatLearnedWords;
    emit StatisticsChanged();
}

void TLesson::ShowWordHint()
{
    // Read from the record as it stands: the counters change with every graded answer.
    std::int32_t inRow = 0, kbInRow = 0, miss = 0, kbMiss = 0;
    try {
        if (!ReachQuestionRecord())
            return;
        TDbfDataSet &words = Words();
        inRow = words.FieldByName("INROW").AsInteger();
        kbInRow = words.FieldByName("KBINROW").AsInteger();
        miss = words.FieldByName("MISS").AsInteger();
        kbMiss = words.FieldByName("KBMISS").AsInteger();
    } catch (const EEngineError &) {
        return; // the hint keeps what it showed
    }
    const QFileInfo path(m_currentDictionary);
    const QString folder = QFileInfo(path.path()).fileName();
    m_wordHint = QStringLiteral("Correct answers in choises mode :%1\n"
                                "Correct answers in typing mode    :%2\n\n"
                                "Mistakes in choises mode :%3\n"
                                "Mistakes in typing mode    :%4\n\n"
                                "Dictionary : %5/%6")
                     .arg(inRow)
                     .arg(kbInRow)
                     .arg(miss)
                     .arg(kbMiss)
                     .arg(folder, path.fileName());
    emit WordHintChanged();
}

// --- The question record -------------------------------------------------------------------

void TLesson::ReopenCurrentDictionary()
{
    m_topics.OpenDictionary(m_currentDictionary);
}

bool TLesson::ReachQuestionRecord()
{
    if (!HasQuestion() || m_currentDictionary.isEmpty())
        return false;
    TDbfDataSet &words = Words();
    if (!words.Active() || m_topics.OpenPath() != m_currentDictionary)
        m_topics.OpenDictionary(m_currentDictionary);
    if (words.State() != dsBrowse)
        words.Cancel();
    words.SetRecNo(m_questionRecNo);
    // A record number alone could name another word once the dictionary was replaced or the
    // word deleted: the record must still be the word that was asked.
    if (words.RecNo() != m_questionRecNo || words.Table()->IsDeleted() ||
        words.FieldByName("WORD1").AsString() != m_word1 || words.FieldByName("WORD2").AsString() != m_word2) {
        ForgetQuestionRecord();
        return false;
    }
    return true;
}

void TLesson::ReportFailure(const std::exception &e) const
{
    MessageBox::show(QString::fromLocal8Bit(e.what()));
}
