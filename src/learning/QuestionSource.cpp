// Choosing the next question: new words or repetition, the dictionary, the word from the part
// with the most mistakes, the direction and the offered answers. Everything goes through the
// catalogue's cursor; counts are exact walks, nothing is cached between questions.
#include "learning/Lesson.h"

#include "engine/DataSet.h"
#include "engine/EngineError.h"
#include "platform/Text.h"
#include "settings/TOptions.h"
#include "sound/SoundPaths.h"
#include "sound/WordSound.h"

#include <QFileInfo>

#include <algorithm>

bool TLesson::DueFilter(TDbfDataSet &record) const
{
    // Only learned dictionaries carry DATE; a table without it has nothing due. The learned
    // layout has it as its eleventh field, which spares a search by name for every record.
    TField *date = record.FieldCount() > 10 && record.Fields(10).FieldName() == "DATE" ? &record.Fields(10)
                                                                                        : record.FindField("DATE");
    if (!date)
        return false;
    return date->AsDateTime().value <= m_dueLimit;
}

void TLesson::InstallDueFilter()
{
    // Today is taken once per question: a count must not change its mind at midnight.
    m_dueLimit = Today().value - Options.RepeatLearnedDelay;
    TDbfDataSet &words = Words();
    words.OnFilterRecord = [this](TDbfDataSet &ds, bool &accept) { accept = DueFilter(ds); };
    words.SetFiltered(false);
}

void TLesson::GoToPosition(int n)
{
    TDbfDataSet &words = Words();
    words.First();
    if (n != 0)
        words.MoveBy(n);
}

void TLesson::GoToPositionOf(int n, int count)
{
    // The same record as GoToPosition, reached from the nearer end: questions come from the end.
    TDbfDataSet &words = Words();
    if (n > count / 2) {
        words.Last();
        if (n != count - 1)
            words.MoveBy(n - (count - 1));
    } else {
        GoToPosition(n);
    }
}

bool TLesson::AnyDueWord()
{
    // Whether the due count of the learned dictionaries is above 0: the first due word answers
    // it, so the walk stops there instead of counting every learned dictionary at each question.
    // Dictionaries that cannot be opened are left out, as in a count.
    for (const QString &name : m_topics.Names(tkLearned)) {
        try {
            m_topics.OpenDictionary(m_topics.DictionaryPath(tkLearned, name));
            Words().SetFiltered(true);
            if (!Words().IsEmpty())
                return true;
        } catch (const EEngineError &) {
        }
    }
    return false;
}

bool TLesson::PrepareQuestionSource()
{
    m_topics.CloseDictionary();
    const bool newAvailable = Options.StatStudiedWords != 0;
    const bool dueAvailable = Options.RepeatLearned && AnyDueWord();
    ShowStatistics();
    if (!newAvailable && !dueAvailable) {
        m_topics.CloseDictionary();
        ShowPanel(tsNoWords);
        return false;
    }
    if (m_trainerState == tsNoWords)
        RestoreNormal();

    const std::uint32_t r = Random() % 100;
    bool repeat = false;
    if (newAvailable && dueAvailable)
        repeat = std::int32_t(r) < Options.RepeatLearnedIntensity;
    else
        repeat = dueAvailable;

    m_sourceRepeating = repeat;
    m_topics.PickDictionary(repeat ? tkLearned : tkOn);
    m_sourceDictionary = m_topics.OpenPath();

    TDbfDataSet &words = Words();
    const int count = words.Active() ? int(words.RecordCount()) : 0;
    m_sourceCount = count;
    m_candidateCount = std::min(count, m_visibleRows);

    if (Options.BaseDivision == 0)
        Options.BaseDivision = 1;
    // Outside 1..100 (a damaged settings file) the percentage is taken as its nearest end.
    const int percent = std::clamp<int>(Options.BaseDivision, 1, 100);
    const int part = count / (100 / percent);
    const int x = std::max(m_visibleRows, part);
    m_rangeDivisor = x > 0 ? int(double(count) / double(x)) : 1;
    if (m_rangeDivisor == 0)
        m_rangeDivisor = 1;
    return true;
}

void TLesson::NextQuestion()
{
    try {
        if (m_wordSound)
            m_wordSound->Stop();
        InstallDueFilter();
        const bool prepared = PrepareQuestionSource();
        TDbfDataSet &words = Words();
        if (prepared && m_sourceRepeating && words.Active())
            words.SetFiltered(true);
        if (!prepared || m_trainerState != tsNormal)
            return;

        // Only a new question is a first attempt: a question kept under the correction panel
        // stays a second attempt, so that repeating it after a mistake earns no credit.
        m_firstAttempt = true;
        m_repeatingLearned = m_sourceRepeating;
        m_currentDictionary = m_sourceDictionary;
        m_moveToLearnedEnabled = !m_repeatingLearned && !Options.ChildrenMode;

        // Counted by PrepareQuestionSource on this same view, filter included; nothing has
        // changed since.
        const int count = m_sourceCount;
        if (count == 0) {
            // The counters promised words but no dictionary gave one (emptied or unreadable
            // since they were counted): nothing can be asked.
            ForgetQuestionRecord();
            m_candidateTexts.clear();
            m_candidateCount = 0;
            ShowPanel(tsNoWords);
            return;
        }

        words.SetIndexName(Options.InputPage == 0 ? "MISS" : "KBMISS");

        switch (Options.CheckOrder) {
        case 0: m_reverse = 0; break;
        case 1: m_reverse = 1; break;
        default:
            if (Options.DontCheckDirectInTyping && Options.InputPage == 1)
                m_reverse = 1;
            else
                m_reverse = int(Random() % 2);
            break;
        }

        m_answerSlot = m_candidateCount > 0 ? int(Random() % std::uint32_t(m_candidateCount)) : 0;

        std::string word1;
        for (int draws = 1;; ++draws) {
            const int n = count / m_rangeDivisor;
            const int offset = n == 0 ? 0 : int(Random() % std::uint32_t(n));
            m_questionPosition = count - offset - 1;
            GoToPositionOf(m_questionPosition, count);
            word1 = words.FieldByName("WORD1").AsString();
            if (!(count > 1 && word1 == m_previousQuestionWord && draws < 10))
                break;
        }
        m_previousQuestionWord = word1;
        ReadQuestionRecord();
        ShowWordHint();
        DrawCandidates(count);

        if (m_reverse == 0) {
            m_expectedAnswer = m_word2;
            m_questionText = m_word1;
        } else {
            m_expectedAnswer = m_word1;
            m_questionText = m_word2;
        }
        if (m_wordSound)
            m_playEnabled = m_wordSound->Prepare(m_soundFile, m_reverse != 0);
        else
            m_playEnabled = !m_soundFile.isEmpty() && QFileInfo(m_soundFile).isFile() &&
                            !(m_reverse && Options.DontPlayOnReverse);

        if (m_reverse == 0)
            m_transcriptionCheckEnabled = !m_transcript.empty();
        else
            m_transcriptionCheckEnabled = m_showTranscription && !Options.NoBackTranscription && !m_transcript.empty();

        words.FlushDBF();
        ReachQuestionRecord();
        emit QuestionShown();
    } catch (const EEngineError &e) {
        ReportFailure(e);
    }
}

void TLesson::ReadQuestionRecord()
{
    TDbfDataSet &words = Words();
    m_questionRecNo = words.RecNo();
    m_word1 = words.FieldByName("WORD1").AsString();
    m_word2 = words.FieldByName("WORD2").AsString();
    m_transcript = words.FieldByName("TRANSCRIPT").AsString();
    m_soundFile = ResolveProgramPath(Text::fromCp1251(words.FieldByName("WAVFILE").AsString()));
}

void TLesson::DrawCandidates(int count)
{
    TDbfDataSet &words = Words();
    if (int(m_candidates.size()) < m_candidateCount)
        m_candidates.resize(std::size_t(m_candidateCount));
    const auto drawOther = [&] {
        int p;
        do
            p = int(Random() % std::uint32_t(count));
        while (p == m_questionPosition);
        return p;
    };
    for (int j = 0; j < m_candidateCount; ++j) {
        if (j == m_answerSlot) {
            m_candidates[std::size_t(j)] = m_questionPosition;
            continue;
        }
        int p = drawOther();
        for (int k = 0; k < j;) {
            if (m_candidates[std::size_t(k)] == p) {
                p = drawOther();
                k = 0;
            } else {
                ++k;
            }
        }
        m_candidates[std::size_t(j)] = p;
    }

    // The answer side of every offered record, read in one pass along the view.
    const char *answerField = m_reverse ? "WORD1" : "WORD2";
    std::vector<std::pair<int, int>> wanted; // position, slot
    for (int j = 0; j < m_candidateCount; ++j)
        wanted.emplace_back(m_candidates[std::size_t(j)], j);
    std::sort(wanted.begin(), wanted.end());
    m_candidateTexts.assign(std::size_t(m_candidateCount), std::string());
    int position = -1;
    for (const auto &[target, slot] : wanted) {
        if (position < 0 || target < position) {
            GoToPositionOf(target, count);
        } else if (target > position) {
            words.MoveBy(target - position);
        }
        position = target;
        m_candidateTexts[std::size_t(slot)] = words.FieldByName(answerField).AsString();
    }
}
