// Choosing questions: the range of the most mistakes, the offered answers, the no-repeat rule,
// new words against repetition and the due date, on dictionaries made through the catalogue.
#include "LessonFixture.h"

#include <QSignalSpy>

#include <algorithm>
#include <deque>
#include <set>

using Question = LessonFixture;

TEST_F(Question, BaseDivisionDrawsFromTheWordsWithTheMostMistakes)
{
    struct Case {
        int baseDivision;
        int words;
        int rows;
        int rangeDivisor; // expected
        int lowest;       // lowest position that may be asked
    };
    const Case cases[] = {
        {100, 100, 5, 1, 0},   // the whole dictionary
        {60, 100, 5, 1, 0},    // 51..100 all mean the whole dictionary
        {50, 100, 5, 2, 50},   // the upper half
        {1, 1000, 5, 100, 990}, // a hundredth
        {1, 100, 5, 20, 95},   // never fewer positions than rows
        {0, 100, 5, 20, 95},   // 0 is taken (and kept) as 1
        {1, 3, 5, 1, 0},       // fewer words than rows: all of them
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "BaseDivision " << c.baseDivision << ", " << c.words << " words");
        const QString name = QStringLiteral("d%1_%2").arg(c.baseDivision).arg(c.words);
        make(tkOn, name, numbered(c.words));
        topics->RescanFolders(KindBit(tkOn));
        // Only this dictionary is ticked.
        for (const QString &other : topics->Names(tkOn))
            if (other != name)
                QFile::rename(path(tkOn, other) + ".wrd", path(tkOff, other) + ".wrd");
        recount();
        Options.BaseDivision = c.baseDivision;
        lesson->SetVisibleRows(c.rows);
        int lowestSeen = c.words;
        for (int i = 0; i < 40; ++i) {
            lesson->NextQuestion();
            ASSERT_EQ(lesson->TrainerState(), tsNormal);
            EXPECT_EQ(lesson->RangeDivisor(), c.rangeDivisor);
            const int position = lesson->QuestionPosition();
            EXPECT_GE(position, c.lowest);
            EXPECT_LT(position, c.words);
            // MISS rises with the record number, so the position names the word.
            EXPECT_EQ(positionOf(asked()), position);
            lowestSeen = std::min(lowestSeen, position);
        }
        if (c.baseDivision == 60)
            EXPECT_LT(lowestSeen, 50) << "60 % must reach below the upper half";
        if (c.baseDivision == 0)
            EXPECT_EQ(Options.BaseDivision, 1);
    }
}

TEST_F(Question, TypingPageOrdersByTypingMistakes)
{
    // MISS falls while KBMISS rises: each page draws from its own end.
    std::vector<WordRow> rows;
    for (int i = 0; i < 100; ++i)
        rows.push_back({"w" + std::to_string(i), "t" + std::to_string(i), 100 - i, i, 0, 0, {}, {}});
    make(tkOn, "mixed", rows);
    recount();
    Options.BaseDivision = 1; // the last 5 positions
    for (int page : {0, 1}) {
        Options.InputPage = page;
        for (int i = 0; i < 10; ++i) {
            lesson->NextQuestion();
            const int n = positionOf(asked());
            if (page == 0)
                EXPECT_LE(n, 4) << "choice: the most MISS";
            else
                EXPECT_GE(n, 95) << "typing: the most KBMISS";
        }
    }
}

TEST_F(Question, OffersDistinctRecordsWithTheRightAnswerInItsSlot)
{
    struct Case {
        int words;
        int rows;
        int count;
    };
    const Case cases[] = {{20, 5, 5}, {20, 7, 7}, {8, 7, 7}, {3, 5, 3}, {1, 5, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.words << " words, " << c.rows << " rows");
        const QString name = QStringLiteral("n%1_%2").arg(c.words).arg(c.rows);
        for (const QString &other : topics->Names(tkOn))
            QFile::rename(path(tkOn, other) + ".wrd", path(tkOff, other) + ".wrd");
        make(tkOn, name, numbered(c.words));
        recount();
        lesson->SetVisibleRows(c.rows);
        for (int i = 0; i < 15; ++i) {
            lesson->NextQuestion();
            ASSERT_EQ(lesson->CandidateCount(), c.count);
            const std::vector<int> &offered = lesson->Candidates();
            const std::set<int> distinct(offered.begin(), offered.begin() + c.count);
            EXPECT_EQ(int(distinct.size()), c.count);
            EXPECT_EQ(offered[std::size_t(lesson->AnswerSlot())], lesson->QuestionPosition());
            const QStringList texts = lesson->CandidateTexts();
            ASSERT_EQ(texts.size(), c.count);
            for (int j = 0; j < c.count; ++j) {
                EXPECT_GE(offered[std::size_t(j)], 0);
                EXPECT_LT(offered[std::size_t(j)], c.words);
                EXPECT_EQ(texts[j], QStringLiteral("tw%1").arg(offered[std::size_t(j)]));
            }
            EXPECT_EQ(texts[lesson->AnswerSlot()], lesson->ExpectedAnswer());
            // The list shows the same texts in alphabetical order.
            QStringList sorted = texts;
            sorted.sort(Qt::CaseInsensitive);
            EXPECT_EQ(lesson->AnswerList(), sorted);
        }
    }
}

TEST_F(Question, OneWordIsAskedEveryTime)
{
    make(tkOn, "one", {{"alone", "один", 0, 0, 0, 0, {}, {}}});
    recount();
    for (int i = 0; i < 3; ++i) {
        lesson->NextQuestion();
        EXPECT_EQ(asked(), "alone");
        EXPECT_EQ(lesson->CandidateCount(), 1);
        EXPECT_EQ(lesson->AnswerList(), QStringList{QStringLiteral("один")});
        EXPECT_TRUE(lesson->MoveToLearnedEnabled());
    }
    Options.ChildrenMode = true;
    lesson->NextQuestion();
    EXPECT_FALSE(lesson->MoveToLearnedEnabled()) << "children cannot move words";
}

TEST_F(Question, NoRepeatGivesUpAfterTenDraws)
{
    // Two words: A at position 0, B at position 1, the whole dictionary as range.
    make(tkOn, "two", {{"A", "a", 0, 0, 0, 0, {}, {}}, {"B", "b", 1, 1, 0, 0, {}, {}}});
    recount();
    std::deque<std::uint32_t> script;
    std::uint32_t spare = 0; // a draw the script did not foresee never repeats forever
    lesson->SetRandomSource([&] {
        if (script.empty())
            return spare++;
        const std::uint32_t v = script.front();
        script.pop_front();
        return v;
    });
    // Draws per question: source, dictionary, answer slot, then the words (offset 1 is A,
    // offset 0 is B), then the other candidate (position 1 is B, 0 the question itself).
    auto question = [&](std::vector<std::uint32_t> wordDraws, std::vector<std::uint32_t> candidateDraws) {
        script = {0, 0, 0};
        script.insert(script.end(), wordDraws.begin(), wordDraws.end());
        script.insert(script.end(), candidateDraws.begin(), candidateDraws.end());
        lesson->NextQuestion();
        return asked();
    };
    EXPECT_EQ(question({1}, {1}), "A");
    // Ten draws of A, and an eleventh that would be B: the tenth stands.
    EXPECT_EQ(question(std::vector<std::uint32_t>(10, 1), {0, 1}), "A");
    EXPECT_TRUE(script.empty());
    // Nine draws of A and then B: B is taken.
    EXPECT_EQ(question([] { std::vector<std::uint32_t> d(9, 1); d.push_back(0); return d; }(), {0}), "B");
    EXPECT_TRUE(script.empty());
}

TEST_F(Question, DirectionFollowsCheckOrder)
{
    make(tkOn, "dir", numbered(10));
    recount();
    struct Case {
        int checkOrder;
        bool dontCheckDirectInTyping;
        int page;
        std::set<int> directions;
    };
    const Case cases[] = {
        {0, false, 0, {0}}, {1, false, 0, {1}}, {2, false, 0, {0, 1}}, {2, true, 0, {0, 1}}, {2, true, 1, {1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "CheckOrder " << c.checkOrder << " page " << c.page);
        Options.CheckOrder = c.checkOrder;
        Options.DontCheckDirectInTyping = c.dontCheckDirectInTyping;
        Options.InputPage = c.page;
        std::set<int> seen;
        for (int i = 0; i < 30; ++i) {
            lesson->NextQuestion();
            seen.insert(lesson->Reverse());
            const std::string w1 = lesson->Reverse() ? Text::toCp1251(lesson->ExpectedAnswer()) : asked();
            const std::string w2 = lesson->Reverse() ? asked() : Text::toCp1251(lesson->ExpectedAnswer());
            EXPECT_EQ("t" + w1, w2);
            EXPECT_EQ(lesson->AnswerFontGroup(), lesson->Reverse() ? 0 : 1);
            for (const QString &t : lesson->CandidateTexts())
                EXPECT_EQ(t.startsWith('t'), lesson->Reverse() == 0) << t.toStdString();
        }
        EXPECT_EQ(seen, c.directions);
    }
}

TEST_F(Question, RepetitionIntensityAndDueWords)
{
    make(tkOn, "fresh", numbered(5, "n"));
    // Due from day X + RepeatLearnedDelay on: 20 and 21 days ago are due, 19 is not.
    make(tkLearned, "fresh", {{"d19", "x19", 0, 0, 0, 0, 19, {}},
                              {"d20", "x20", 0, 0, 0, 0, 20, {}},
                              {"d21", "x21", 0, 0, 0, 0, 21, {}}});
    recount();
    struct Case {
        int intensity;
        bool repeatLearned;
        int delay;
        bool expectNew, expectRepeat;
    };
    const Case cases[] = {
        {0, true, 20, true, false},
        {100, true, 20, false, true},
        {50, true, 20, true, true},
        {100, false, 20, true, false},
        {100, true, 22, true, false}, // nothing due yet
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "intensity " << c.intensity << " delay " << c.delay);
        Options.RepeatLearnedIntensity = c.intensity;
        Options.RepeatLearned = c.repeatLearned;
        Options.RepeatLearnedDelay = c.delay;
        bool sawNew = false, sawRepeat = false;
        for (int i = 0; i < 30; ++i) {
            lesson->NextQuestion();
            ASSERT_EQ(lesson->TrainerState(), tsNormal);
            if (lesson->RepeatingLearned()) {
                sawRepeat = true;
                EXPECT_TRUE(asked() == "d20" || asked() == "d21") << asked();
                EXPECT_EQ(lesson->CurrentDictionary(), path(tkLearned, "fresh"));
                EXPECT_FALSE(lesson->MoveToLearnedEnabled());
                EXPECT_EQ(lesson->CandidateCount(), 2) << "the view holds only the due words";
            } else {
                sawNew = true;
                EXPECT_EQ(asked()[0], 'n');
                EXPECT_TRUE(lesson->MoveToLearnedEnabled());
            }
        }
        EXPECT_EQ(sawNew, c.expectNew);
        EXPECT_EQ(sawRepeat, c.expectRepeat);
    }
}

TEST_F(Question, NothingToAskShowsTheNoWordsPanelUntilWordsAreDue)
{
    make(tkLearned, "old", {{"d1", "x1", 0, 0, 0, 0, 1, {}}});
    recount();
    ASSERT_EQ(Options.StatStudiedWords, 0);
    QSignalSpy panels(lesson.get(), &TLesson::PanelChanged);
    lesson->NextQuestion();
    EXPECT_EQ(lesson->TrainerState(), tsNoWords);
    EXPECT_EQ(lesson->QuestionLabel(), QStringLiteral("нет невыученных слов"));
    ASSERT_EQ(panels.size(), 1);
    EXPECT_EQ(panels[0][1].toInt(), tsNoWords);

    Options.RepeatLearnedDelay = 0; // learned yesterday: due today
    lesson->NextQuestion();
    EXPECT_EQ(lesson->TrainerState(), tsNormal);
    EXPECT_EQ(asked(), "d1");
    EXPECT_TRUE(lesson->RepeatingLearned());
}

TEST_F(Question, EmptyTickedDictionariesGiveTheNoWordsPanel)
{
    // The counters say there are words, but every ticked dictionary is empty.
    make(tkOn, "empty", {});
    recount();
    Options.StatStudiedWords = 7;
    lesson->NextQuestion();
    EXPECT_EQ(lesson->TrainerState(), tsNoWords);
    EXPECT_FALSE(lesson->HasQuestion());
}

TEST_F(Question, TranscriptionLineAndPlaceholder)
{
    struct Case {
        std::string transcript;
        int checkOrder;
        bool ticked, noBack;
        QString line;
        bool checkEnabled;
    };
    const QString none = QStringLiteral("Транкрипция не указана");
    const Case cases[] = {
        {"[kaet]", 0, true, false, "[kaet]", true},
        {"[kaet]", 0, false, false, "", true},
        {"", 0, true, false, none, false},
        {"", 1, true, false, "", false},
        {"[kaet]", 1, true, false, "[kaet]", true},
        {"[kaet]", 1, true, true, "", false},
        {"[kaet]", 1, false, false, "", false},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << n);
        for (const QString &other : topics->Names(tkOn))
            QFile::rename(path(tkOn, other) + ".wrd", path(tkOff, other) + ".wrd");
        make(tkOn, QStringLiteral("tr%1").arg(n++), {{"cat", "кот", 0, 0, 0, 0, {}, c.transcript}});
        recount();
        Options.CheckOrder = c.checkOrder;
        Options.NoBackTranscription = c.noBack;
        lesson->SetShowTranscription(c.ticked);
        lesson->NextQuestion();
        EXPECT_EQ(lesson->TranscriptionLine(), c.line);
        EXPECT_EQ(lesson->TranscriptionCheckEnabled(), c.checkEnabled);
        EXPECT_EQ(lesson->TranscriptionPlaceholder(), c.transcript.empty());
    }
}

TEST_F(Question, WordHintNamesCountersAndDictionary)
{
    make(tkOn, "animals", {{"cat", "кот", 3, 4, 1, 2, {}, {}}});
    recount();
    lesson->NextQuestion();
    EXPECT_EQ(lesson->WordHint(), QStringLiteral("Correct answers in choises mode :1\n"
                                                 "Correct answers in typing mode    :2\n\n"
                                                 "Mistakes in choises mode :3\n"
                                                 "Mistakes in typing mode    :4\n\n"
                                                 "Dictionary : ON/animals"));
    Options.ShowFirstLetter = true;
    EXPECT_EQ(lesson->HintLetter(), QStringLiteral("к"));
    EXPECT_EQ(lesson->StatisticsText(), QStringLiteral("Всего слов: 1\n"
                                                       "       Изучаемых: 1\n"
                                                       "       Выученных: 0\n"
                                                       "       Ошибок: 0\n"
                                                       "       Правильных ответов: 0"));
}

TEST_F(Question, FixedSeedRepeatsTheLesson)
{
    make(tkOn, "a", numbered(40));
    make(tkOn, "b", numbered(40, "v"));
    recount();
    Options.CheckOrder = 2;
    auto sequence = [&] {
        std::vector<std::string> asked_;
        lesson->StartLesson();
        for (int i = 0; i < 8; ++i) {
            asked_.push_back(asked() + "/" + std::to_string(lesson->Reverse()) + "/" +
                             lesson->AnswerList().join(',').toStdString());
            lesson->NextQuestion();
        }
        return asked_;
    };
    const auto first = sequence();
    EXPECT_EQ(sequence(), first);
    lesson->FixSeed(777);
    EXPECT_NE(sequence(), first);
}
