// Grading answers into the word's counters and the settings record, learned words moved or
// deleted, and the word commands; every result is read back from the files.
#include "LessonFixture.h"

#include <QSignalSpy>

using Grading = LessonFixture;

namespace {

// Offsets of the statistics in the settings file.
constexpr std::size_t kStatTotalWords = 0x70, kStatStudiedWords = 0x74, kStatLearnedWords = 0x78,
                      kStatRightAnswers = 0x7C, kStatMistakes = 0x80, kStatAnswers = 0x84,
                      kStatMovedToLearned = 0x8C, kChoiceBalance = 0x90, kTypingBalance = 0x94;

QString wrongAnswer(const TLesson &lesson)
{
    for (const QString &t : lesson.CandidateTexts())
        if (t != lesson.ExpectedAnswer())
            return t;
    return QStringLiteral("-");
}

} // namespace

TEST_F(Grading, ChoiceAnswersWriteCountersAndStatistics)
{
    make(tkOn, "animals", {{"cat", "кот", 0, 0, 0, 0, {}, {}},
                           {"dog", "пёс", 2, 0, 3, 0, {}, {}},
                           {"cow", "корова", 1, 0, 0, 0, {}, {}}});
    recount();
    Options.ChoiceMistakeBalance = 1;

    lesson->NextQuestion();
    const std::string first = asked();
    const StoredWord before = find(tkOn, "animals", first);
    lesson->AnswerFromList(lesson->ExpectedAnswer());
    StoredWord after = find(tkOn, "animals", first);
    EXPECT_EQ(after.miss, std::max(before.miss - 1, 0)); // a right answer never takes MISS below 0
    EXPECT_EQ(after.inRow, before.inRow + 1);
    EXPECT_EQ(after.kbMiss, before.kbMiss);
    EXPECT_EQ(after.kbInRow, 0);
    EXPECT_EQ(Options.ChoiceMistakeBalance, 0);

    const std::string second = asked();
    const StoredWord before2 = find(tkOn, "animals", second);
    lesson->AnswerFromList(wrongAnswer(*lesson));
    EXPECT_EQ(lesson->TrainerState(), tsCorrection);
    after = find(tkOn, "animals", second);
    EXPECT_EQ(after.miss, before2.miss + 1);
    EXPECT_EQ(after.inRow, 0);

    ASSERT_TRUE(SaveOptions());
    EXPECT_EQ(savedInt(kStatAnswers), 2);
    EXPECT_EQ(savedInt(kStatRightAnswers), 1);
    EXPECT_EQ(savedInt(kStatMistakes), 1);
    EXPECT_EQ(savedInt(kChoiceBalance), 1);
    EXPECT_EQ(savedInt(kTypingBalance), 0);
    EXPECT_EQ(savedInt(kStatTotalWords), 3);
    EXPECT_EQ(savedInt(kStatStudiedWords), 3);
}

TEST_F(Grading, WrongThenRememberThenRightGivesNoCredit)
{
    make(tkOn, "one", {{"cat", "кот", 0, 0, 4, 0, {}, {}}, {"dog", "пёс", 0, 0, 4, 0, {}, {}}});
    recount();
    Options.RepeatAfterMistake = true;
    Options.OkSoundOn = true;
    Options.MistakeSoundOn = true;
    QSignalSpy sounds(lesson.get(), &TLesson::AnswerSoundPlayed);
    QSignalSpy panels(lesson.get(), &TLesson::PanelChanged);
    QSignalSpy questions(lesson.get(), &TLesson::QuestionShown);

    lesson->NextQuestion();
    const std::string word = asked();
    lesson->GiveUp();
    EXPECT_EQ(lesson->TrainerState(), tsCorrection);
    EXPECT_FALSE(lesson->FirstAttempt());
    lesson->GiveUp(); // a click while the correction is shown changes nothing
    lesson->AnswerFromList(lesson->ExpectedAnswer());
    EXPECT_EQ(Options.StatAnswers, 1);
    // A new question asked for meanwhile (the options window closed) leaves the panel and its
    // question alone: still a second attempt.
    lesson->NextQuestion();
    EXPECT_EQ(lesson->TrainerState(), tsCorrection);
    EXPECT_FALSE(lesson->FirstAttempt());

    lesson->RememberClicked();
    EXPECT_EQ(lesson->TrainerState(), tsNormal);
    EXPECT_EQ(asked(), word) << "the same question stays";
    EXPECT_EQ(questions.size(), 1);
    lesson->AnswerFromList(lesson->ExpectedAnswer());
    EXPECT_EQ(questions.size(), 2) << "the next question comes";

    const StoredWord w = find(tkOn, "one", word);
    EXPECT_EQ(w.miss, 1);
    EXPECT_EQ(w.inRow, 0);
    EXPECT_EQ(Options.StatMistakes, 1);
    EXPECT_EQ(Options.StatRightAnswers, 0);
    EXPECT_EQ(Options.StatAnswers, 2);
    EXPECT_EQ(lesson->RightAnswersSinceShown(), 1);
    ASSERT_EQ(sounds.size(), 2);
    EXPECT_FALSE(sounds[0][0].toBool());
    EXPECT_TRUE(sounds[1][0].toBool());
    ASSERT_EQ(panels.size(), 2);
    EXPECT_EQ(panels[0][1].toInt(), tsCorrection);
    EXPECT_EQ(panels[1][1].toInt(), tsNormal);
}

TEST_F(Grading, TypedAnswers)
{
    struct Case {
        const char *name;
        QString typed; // the expected answer is "Кот" (WORD2 of "cat")
        bool exactCorrect;
        bool questionVisible;
        int delta;
    };
    const Case cases[] = {
        {"same", QStringLiteral("Кот"), true, true, 1},
        {"case folded, Cyrillic too", QStringLiteral("кОТ"), true, true, 1},
        {"trailing blank refused", QStringLiteral("Кот "), true, true, -1},
        {"synonym refused when exact", QStringLiteral("кошка"), true, true, -1},
        {"synonym accepted as a variant", QStringLiteral("КОШКА"), false, true, 0},
        {"variant needs the question shown", QStringLiteral("кошка"), false, false, -1},
        {"another question's translation", QStringLiteral("пёс"), false, true, -1},
        {"unknown word", QStringLiteral("собака"), false, true, -1},
        {"outside the code page", QStringLiteral("猫"), false, true, -1},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString &other : topics->Names(tkOn))
            QFile::rename(path(tkOn, other) + ".wrd", path(tkOff, other) + ".wrd");
        const QString name = QStringLiteral("typed%1").arg(n++);
        // Only "cat" -> "Кот" has mistakes, so with BaseDivision 1 it is always the one asked.
        make(tkOn, name, {{"dog", "пёс", 0, 0, 0, 0, {}, {}},
                          {"cat", "кошка", 0, 0, 0, 0, {}, {}},
                          {"cat", "Кот", 0, 9, 0, 0, {}, {}}});
        recount();
        Options.InputPage = 1;
        Options.BaseDivision = 1;
        Options.ExactCorrect = c.exactCorrect;
        lesson->SetVisibleRows(1);
        lesson->SetQuestionVisible(c.questionVisible);
        lesson->NextQuestion();
        ASSERT_EQ(lesson->ExpectedAnswer(), QStringLiteral("Кот"));
        QSignalSpy questions(lesson.get(), &TLesson::QuestionShown);
        Options.OkSoundOn = true;
        QSignalSpy sounds(lesson.get(), &TLesson::AnswerSoundPlayed);
        const int statRight = Options.StatRightAnswers;
        lesson->AnswerTyped(c.typed);
        EXPECT_EQ(sounds.size(), c.delta > 0 ? 1 : 0) << "a variant plays no sound";

        const StoredWord w = read(tkOn, name)[2];
        EXPECT_EQ(w.kbInRow, c.delta > 0 ? 1 : 0);
        EXPECT_EQ(w.kbMiss, c.delta > 0 ? 8 : c.delta < 0 ? 10 : 9);
        EXPECT_EQ(w.inRow, 0);
        EXPECT_EQ(w.miss, 0);
        EXPECT_EQ(lesson->TrainerState(), c.delta < 0 ? tsCorrection : tsNormal);
        EXPECT_EQ(questions.size(), c.delta < 0 ? 0 : 1);
        EXPECT_EQ(Options.StatRightAnswers, statRight + (c.delta >= 0 ? 1 : 0));
        const StoredWord synonym = read(tkOn, name)[1];
        EXPECT_EQ(synonym.kbMiss + synonym.kbInRow, 0) << "the variant's record is not touched";
        lesson->RestoreNormal();
    }
}

TEST_F(Grading, LearnedWordsMoveOrGo)
{
    enum Step { ChoiceRight, TypedRight, TypedWrong };
    struct Case {
        const char *name;
        int logic, action;
        std::vector<Step> steps;
        int learnedAfter; // step count after which the word is learned, 0 never
    };
    const Case cases[] = {
        {"OR: typing run alone", 0, 0, {TypedRight, TypedRight, TypedRight}, 3},
        {"OR: choice run alone", 0, 0, {ChoiceRight, ChoiceRight}, 2},
        {"AND: both runs", 1, 0, {TypedRight, TypedRight, TypedRight, ChoiceRight, ChoiceRight}, 5},
        {"AND: a mistake resets its own run only",
         1, 0, {ChoiceRight, ChoiceRight, TypedRight, TypedWrong, TypedRight, TypedRight, TypedRight}, 7},
        {"delete instead", 0, 1, {TypedRight, TypedRight, TypedRight}, 3},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        topics->RescanFolders(KindBit(tkLearned));
        for (const QString &other : topics->Names(tkOn))
            QFile::rename(path(tkOn, other) + ".wrd", path(tkOff, other) + ".wrd");
        for (const QString &other : topics->Names(tkLearned))
            QFile::rename(path(tkLearned, other) + ".wrd", path(tkLearnedOff, other) + ".wrd");
        const QString name = QStringLiteral("learn%1").arg(n++);
        make(tkOn, name, {{"cat", "кот", 0, 0, 0, 0, {}, {}}, {"dog", "пёс", 0, 0, 0, 0, {}, {}}});
        recount();
        Options.LearnedLogic = c.logic;
        Options.LearnedAction = c.action;
        Options.LearnedChoiceCount = 2;
        Options.LearnedTypingCount = 3;
        Options.RepeatLearned = false;
        Options.ExactCorrect = true;
        // A range of one position: always the word with the most mistakes, "cat".
        Options.BaseDivision = 1;
        lesson->SetVisibleRows(1);
        {
            // Give "cat" the most mistakes in both modes.
            topics->OpenDictionary(path(tkOn, name));
            ASSERT_TRUE(words.Locate("WORD1", "cat"));
            words.Edit();
            words.FieldByName("MISS").SetAsInteger(50);
            words.FieldByName("KBMISS").SetAsInteger(50);
            words.Post();
            topics->CloseDictionary();
        }
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "step " << i + 1);
            Options.InputPage = c.steps[i] == ChoiceRight ? 0 : 1;
            lesson->NextQuestion();
            ASSERT_EQ(asked(), "cat");
            if (c.steps[i] == ChoiceRight)
                lesson->AnswerFromList(lesson->ExpectedAnswer());
            else
                lesson->AnswerTyped(c.steps[i] == TypedRight ? lesson->ExpectedAnswer() : QStringLiteral("x"));
            lesson->RestoreNormal();
            const bool learned = int(i + 1) >= c.learnedAfter && c.learnedAfter != 0;
            const auto left = read(tkOn, name);
            EXPECT_EQ(left.size(), learned ? 1u : 2u);
            if (!learned)
                continue;
            EXPECT_EQ(left[0].word1, "dog");
            if (c.action == 0) {
                const auto moved = read(tkLearned, name);
                ASSERT_EQ(moved.size(), 1u);
                EXPECT_EQ(moved[0].word1, "cat");
                EXPECT_EQ(moved[0].word2, Text::toCp1251(QStringLiteral("кот")));
                EXPECT_EQ(moved[0].date, Today().value);
                EXPECT_EQ(moved[0].inRow + moved[0].kbInRow + moved[0].miss + moved[0].kbMiss, 0);
                EXPECT_EQ(Options.StatStudiedWords, 1);
                EXPECT_EQ(Options.StatLearnedWords, 1);
                EXPECT_EQ(Options.StatTotalWords, 2);
            } else {
                EXPECT_FALSE(exists(tkLearned, name));
                EXPECT_EQ(Options.StatStudiedWords, 1);
                EXPECT_EQ(Options.StatLearnedWords, 0);
                EXPECT_EQ(Options.StatTotalWords, 1);
            }
            break;
        }
    }
}

TEST_F(Grading, LearnedWordsUnderRepetition)
{
    for (int action : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "LearnedAction " << action);
        const QString name = QStringLiteral("rep%1").arg(action);
        for (const QString &other : topics->Names(tkLearned))
            QFile::rename(path(tkLearned, other) + ".wrd", path(tkLearnedOff, other) + ".wrd");
        make(tkLearned, name, {{"cat", "кот", 0, 0, 0, 0, 30, {}}, {"dog", "пёс", 0, 0, 0, 0, 30, {}}});
        recount();
        Options.LearnedAction = action;
        Options.LearnedChoiceCount = 1;
        Options.StatRightAnswers = 0;
        lesson->NextQuestion();
        ASSERT_TRUE(lesson->RepeatingLearned());
        const std::string word = asked();
        lesson->AnswerFromList(lesson->ExpectedAnswer());
        const auto left = read(tkLearned, name);
        if (action == 0) {
            ASSERT_EQ(left.size(), 2u) << "the word stays where it is";
            EXPECT_EQ(find(tkLearned, name, word).inRow, 1);
            EXPECT_EQ(Options.StatLearnedWords, 2);
            EXPECT_EQ(Options.StatTotalWords, 2);
        } else {
            ASSERT_EQ(left.size(), 1u);
            EXPECT_NE(left[0].word1, word);
            EXPECT_EQ(Options.StatLearnedWords, 1);
            EXPECT_EQ(Options.StatTotalWords, 1);
        }
        EXPECT_EQ(Options.StatRightAnswers, 1);
    }
}

TEST_F(Grading, QuestionRecordIsFoundAgainAfterReopening)
{
    // Two records with the same MISS order place; the asked one is found by its number.
    make(tkOn, "a", numbered(30));
    make(tkOn, "b", numbered(30));
    recount();
    lesson->NextQuestion();
    const QString dictionary = QFileInfo(lesson->CurrentDictionary()).fileName();
    const QString other = dictionary == "a" ? "b" : "a";
    const std::string word = asked();
    // Another part of the program opens the other dictionary meanwhile.
    topics->OpenDictionary(path(tkOn, other));
    lesson->AnswerFromList(wrongAnswer(*lesson));
    EXPECT_EQ(find(tkOn, dictionary, word).miss, positionOf(word) + 1);
    EXPECT_EQ(find(tkOn, other, word).miss, positionOf(word)) << "the other dictionary is untouched";
}

TEST_F(Grading, HideAfterRightAnswers)
{
    std::vector<WordRow> rows = {{"cat", "кот", 0, 50, 0, 0, {}, {}}, {"cat", "кошка", 0, 0, 0, 0, {}, {}}};
    for (const WordRow &r : numbered(10))
        rows.push_back(r);
    make(tkOn, "hide", rows);
    recount();
    Options.HideAfterRightAnswers = 3;
    Options.InputPage = 1;
    QSignalSpy closes(lesson.get(), &TLesson::CloseRequested);
    lesson->StartLesson();
    // Two right answers, then the variant as the third: counted, but it does not close.
    for (int i = 0; i < 2; ++i)
        lesson->AnswerTyped(lesson->ExpectedAnswer());
    EXPECT_EQ(closes.size(), 0);
    Options.BaseDivision = 1;
    lesson->SetVisibleRows(1);
    lesson->NextQuestion();
    ASSERT_EQ(asked(), "cat");
    const QString variant = lesson->ExpectedAnswer() == QStringLiteral("кот") ? "кошка" : "кот";
    lesson->AnswerTyped(variant);
    EXPECT_EQ(lesson->RightAnswersSinceShown(), 3);
    EXPECT_EQ(closes.size(), 0);
    lesson->AnswerTyped(lesson->ExpectedAnswer());
    EXPECT_EQ(closes.size(), 1);
    // Showing the window again starts the count anew.
    lesson->StartLesson();
    EXPECT_EQ(lesson->RightAnswersSinceShown(), 0);
}

TEST_F(Grading, MoveToLearnedAndDeleteCommands)
{
    make(tkOn, "cmd", numbered(4));
    recount();
    lesson->NextQuestion();
    const std::string moved = asked();
    lesson->MoveWordToLearned();
    EXPECT_EQ(read(tkOn, "cmd").size(), 3u);
    ASSERT_EQ(read(tkLearned, "cmd").size(), 1u);
    EXPECT_EQ(read(tkLearned, "cmd")[0].word1, moved);
    EXPECT_EQ(Options.StatMovedToLearned, 1);
    EXPECT_EQ(Options.StatStudiedWords, 3);
    EXPECT_EQ(Options.StatLearnedWords, 1);
    EXPECT_TRUE(lesson->HasQuestion()) << "the next question follows";
    EXPECT_NE(asked(), moved);

    // Delete: "Нет" keeps the word, "Да" deletes it.
    Options.RepeatLearned = false;
    const std::string doomed = asked();
    lesson->ShowPanel(tsDelete);
    EXPECT_EQ(lesson->TrainerState(), tsDelete);
    lesson->RestoreNormal();
    EXPECT_EQ(read(tkOn, "cmd").size(), 3u);
    lesson->ShowPanel(tsDelete);
    lesson->DeleteConfirmed();
    EXPECT_EQ(lesson->TrainerState(), tsNormal);
    const auto left = read(tkOn, "cmd");
    ASSERT_EQ(left.size(), 2u);
    for (const StoredWord &w : left)
        EXPECT_NE(w.word1, doomed);
    EXPECT_EQ(Options.StatStudiedWords, 2);
    EXPECT_EQ(Options.StatTotalWords, 3);

    ASSERT_TRUE(SaveOptions());
    EXPECT_EQ(savedInt(kStatMovedToLearned), 1);
    EXPECT_EQ(savedInt(kStatStudiedWords), 2);
    EXPECT_EQ(savedInt(kStatLearnedWords), 1);
    EXPECT_EQ(savedInt(kStatTotalWords), 3);
}

TEST_F(Grading, UnreadableDictionaryIsReportedNotThrown)
{
    make(tkOn, "lost", numbered(3));
    recount();
    lesson->NextQuestion();
    topics->CloseDictionary();
    ASSERT_TRUE(QFile::remove(path(tkOn, "lost") + ".wrd"));
    MessageBox::TestHook boxes;
    lesson->AnswerFromList(lesson->ExpectedAnswer());
    EXPECT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(Options.StatRightAnswers, 0);
}

TEST_F(Grading, WordDeletedMeanwhileIsNotGraded)
{
    make(tkOn, "gone", numbered(5));
    recount();
    lesson->NextQuestion();
    const std::string word = asked();
    // Another window deletes the asked word.
    topics->OpenDictionary(path(tkOn, "gone"));
    ASSERT_TRUE(words.Locate("WORD1", word));
    words.Delete();
    topics->CloseDictionary();
    QSignalSpy questions(lesson.get(), &TLesson::QuestionShown);
    lesson->AnswerFromList(wrongAnswer(*lesson));
    EXPECT_EQ(lesson->TrainerState(), tsNormal);
    EXPECT_EQ(questions.size(), 1) << "another word is asked";
    EXPECT_NE(asked(), word);
    for (const StoredWord &w : read(tkOn, "gone"))
        EXPECT_EQ(w.miss, positionOf(w.word1)) << w.word1;
    EXPECT_EQ(Options.StatMistakes, 0);
}
