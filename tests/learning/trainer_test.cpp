// The trainer window driven as a user drives it: answers by keys and mouse, the panels and their
// keys, closing after right answers, children mode, the window's size and the answers offered.
// Counters are read back from the dictionary files, settings from the settings file.
#include "LessonFixture.h"

#include "common/PrivateXServer.h"

#include "learning/MainForm.h"
#include "messages/Information.h"
#include "platform/Images.h"
#include "platform/KeyboardLayouts.h"
#include "platform/TimeScale.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr std::size_t kQuestionVisible = 0x000, kTrainerWindowRect = 0x004, kQuestionPanelHeight = 0x054,
                      kTranscriptionPanelHeight = 0x058;

} // namespace

class Trainer : public LessonFixture {
protected:
    void SetUp() override
    {
        LessonFixture::SetUp();
        lesson.reset(); // the window brings its own
        Options.TrainerWindowRect = {40, 40, 341, 213};
        Options.QuestionPanelHeight = 30;
        Options.TranscriptionPanelHeight = 26;
        Options.AutoShowInterval = 5;
        Options.AutoShow = true;
        Options.StartImmediately = false;
        Options.ChildrenMode = false;
        Options.QuestionVisible = true;
        Options.ShowTranscription = true;
        Options.ShowFirstLetter = false;
        Options.AutoPlayWordSound = false;
        Options.LoopPlay = false;
        // No layout switching on the test command's shared X server (one test brings its own).
        SetOptionText(Options.StudiedLayout, QString());
        SetOptionText(Options.NativeLayout, QString());
        makeWindow();
    }

    void TearDown() override
    {
        window.reset();
        LessonFixture::TearDown();
    }

    void makeWindow()
    {
        window.reset();
        window = std::make_unique<TFWordpop>(images, *topics);
        window->Lesson().FixSeed(12345);
        window->OnQuit = [this] { ++quits; };
        window->OnLessonStarted = [this] { ++lessonsStarted; };
        window->OnLessonEnded = [this] { ++lessonsEnded; };
    }

    void start()
    {
        ASSERT_TRUE(window->InitialLoad());
        window->ShowTrainer();
        ASSERT_TRUE(window->isVisible());
    }

    TLesson &L() { return window->Lesson(); }
    std::string question() { return Text::toCp1251(L().QuestionText()); }

    int rowOf(const QString &text)
    {
        for (int i = 0; i < window->LAWords->count(); ++i)
            if (window->LAWords->item(i)->text() == text)
                return i;
        return -1;
    }
    int wrongRow()
    {
        const int right = rowOf(L().ExpectedAnswer());
        return right == 0 ? 1 : 0;
    }

    void press(QWidget *w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(w, Qt::Key(key), mods);
    }
    // Types text the way a keyboard layout gives it (QTest's own only knows Latin-1 keys).
    void type(QWidget *w, const QString &text)
    {
        for (const QChar ch : text) {
            QKeyEvent down(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(w, &down);
            QKeyEvent up(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(w, &up);
        }
    }
    void click(QWidget *w, QPoint at = {})
    {
        QTest::mouseClick(w, Qt::LeftButton, {}, at.isNull() ? w->rect().center() : at);
    }
    void pressRow(int row)
    {
        QListWidget *list = window->LAWords;
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }

    bool panelShown(QWidget *panel) { return panel->isVisibleTo(window.get()) && window->PErrors->isVisibleTo(window.get()); }

    MessageBox::TestHook boxes;
    TImageList images;
    std::unique_ptr<TFWordpop> window;
    int quits = 0, lessonsStarted = 0, lessonsEnded = 0;
};

// --- Choice answers --------------------------------------------------------------------------

enum class Way { Enter, MousePress, DigitThenEnter };

class TrainerChoice : public Trainer, public ::testing::WithParamInterface<Way> {
protected:
    // Selects the row and answers it the way of the test.
    void answerRow(int row)
    {
        QListWidget *list = window->LAWords;
        switch (GetParam()) {
        case Way::Enter:
            list->setCurrentRow(row);
            press(list, Qt::Key_Return);
            break;
        case Way::MousePress:
            pressRow(row);
            break;
        case Way::DigitThenEnter: {
            const int answers = Options.StatAnswers;
            press(list, Qt::Key_1 + row);
            ASSERT_EQ(list->currentRow(), row) << "the digit selects";
            ASSERT_EQ(Options.StatAnswers, answers) << "the digit does not answer";
            press(list, Qt::Key_Return);
            break;
        }
        }
    }
};

TEST_P(TrainerChoice, RightAndWrongAnswersWriteTheCountersAndShowTheCorrection)
{
    make(tkOn, "animals", numbered(6));
    start();
    ASSERT_EQ(window->LAWords->count(), 5) << "five answers with the initial size";
    EXPECT_EQ(window->LAWords->currentRow(), 0) << "the first answer is selected";

    const std::string first = question();
    const StoredWord before = find(tkOn, "animals", first);
    answerRow(rowOf(L().ExpectedAnswer()));
    StoredWord after = find(tkOn, "animals", first);
    EXPECT_EQ(after.inRow, before.inRow + 1);
    EXPECT_EQ(after.miss, std::max(before.miss - 1, 0));
    EXPECT_EQ(after.kbInRow, before.kbInRow);
    EXPECT_EQ(L().TrainerState(), tsNormal);
    EXPECT_TRUE(window->PCInput->isVisibleTo(window.get()));

    const std::string second = question();
    const QString expected = L().ExpectedAnswer();
    const StoredWord before2 = find(tkOn, "animals", second);
    answerRow(wrongRow());
    EXPECT_EQ(L().TrainerState(), tsCorrection);
    EXPECT_TRUE(panelShown(window->PError3));
    EXPECT_FALSE(window->PCInput->isVisibleTo(window.get()));
    EXPECT_EQ(window->LErr3_2->text(), expected);
    EXPECT_EQ(window->LErr3_2->toolTip(), expected);
    after = find(tkOn, "animals", second);
    EXPECT_EQ(after.miss, before2.miss + 1);
    EXPECT_EQ(after.inRow, 0);
    EXPECT_EQ(Options.StatAnswers, 2);
    EXPECT_EQ(Options.StatRightAnswers, 1);
    EXPECT_EQ(Options.StatMistakes, 1);
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Ways, TrainerChoice, ::testing::Values(Way::Enter, Way::MousePress, Way::DigitThenEnter),
                         [](const auto &info) {
                             switch (info.param) {
                             case Way::Enter: return std::string("Enter");
                             case Way::MousePress: return std::string("MousePress");
                             default: return std::string("DigitThenEnter");
                             }
                         });

TEST_F(Trainer, TheWindowsHeightDecidesHowManyAnswersAndWhichDigitsSelect)
{
    make(tkOn, "many", numbered(12));
    struct Case {
        int height;
        int rows;
        int key;
        int selected; // row selected after the key (0: stays on the first)
    };
    const Case cases[] = {
        {183, 5, Qt::Key_5, 4},  {183, 5, Qt::Key_7, 0}, {183, 5, Qt::Key_0, 0},
        {215, 7, Qt::Key_7, 6},  {215, 7, Qt::Key_8, 0}, {249, 10, Qt::Key_0, 9},
        {249, 10, Qt::Key_9, 8},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "height " << c.height << " key " << c.key - Qt::Key_0);
        Options.TrainerWindowRect = {40, 40, 341, c.height + WindowFrameHeight}; // stored with its frame
        makeWindow();
        start();
        EXPECT_EQ(window->VisibleRows(), c.rows);
        ASSERT_EQ(window->LAWords->count(), c.rows);
        EXPECT_EQ(L().CandidateCount(), c.rows);
        press(window->LAWords, c.key);
        EXPECT_EQ(window->LAWords->currentRow(), c.selected);
        press(window->LAWords, c.key, Qt::KeypadModifier);
        EXPECT_EQ(window->LAWords->currentRow(), c.selected) << "the keypad's digits too";
        EXPECT_EQ(Options.StatAnswers, 0);
    }

    // Enlarging the shown window offers more answers from the next question on.
    Options.TrainerWindowRect = {40, 40, 341, 213};
    makeWindow();
    start();
    ASSERT_EQ(window->LAWords->count(), 5);
    window->resize(333, 215);
    window->LAWords->setCurrentRow(rowOf(L().ExpectedAnswer()));
    press(window->LAWords, Qt::Key_Return);
    EXPECT_EQ(window->LAWords->count(), 7);
    press(window->LAWords, Qt::Key_7);
    EXPECT_EQ(window->LAWords->currentRow(), 6);
}

TEST_F(Trainer, ListKeysWrapAroundAndSwallowCharacters)
{
    make(tkOn, "animals", numbered(6));
    start();
    QListWidget *list = window->LAWords;
    press(list, Qt::Key_Up);
    EXPECT_EQ(list->currentRow(), 4) << "Up on the first selects the last";
    press(list, Qt::Key_Down);
    EXPECT_EQ(list->currentRow(), 0) << "Down on the last selects the first";
    press(list, Qt::Key_Down);
    EXPECT_EQ(list->currentRow(), 1);
    type(list, QStringLiteral("tw"));
    EXPECT_EQ(list->currentRow(), 1) << "typing does not search the list";
    EXPECT_EQ(Options.StatAnswers, 0);
}

// --- Typed answers ---------------------------------------------------------------------------

TEST_F(Trainer, TypedAnswersWriteTheTypingCounters)
{
    make(tkOn, "animals", {{"cat", "Кот", 0, 0, 0, 0, {}, {}}, {"dog", "Пёс", 0, 0, 0, 0, {}, {}}});
    Options.InputPage = 1;
    start();
    EXPECT_EQ(window->PCInput->currentIndex(), 1);

    const std::string first = question();
    type(window->EAnswer, L().ExpectedAnswer().toLower()); // letter case does not count
    press(window->EAnswer, Qt::Key_Return);
    StoredWord w = find(tkOn, "animals", first);
    EXPECT_EQ(w.kbInRow, 1);
    EXPECT_EQ(w.inRow, 0);
    EXPECT_EQ(L().TrainerState(), tsNormal);
    EXPECT_TRUE(window->EAnswer->text().isEmpty()) << "the box is cleared for the next question";

    const std::string second = question();
    type(window->EAnswer, QStringLiteral("зебра"));
    press(window->EAnswer, Qt::Key_Return);
    EXPECT_EQ(L().TrainerState(), tsCorrection);
    w = find(tkOn, "animals", second);
    EXPECT_EQ(w.kbMiss, 1);
    EXPECT_EQ(w.miss, 0);
    EXPECT_EQ(Options.TypingMistakeBalance, 1);
}

TEST_F(Trainer, EscapeInTheTypingBoxFirstClearsThenCloses)
{
    make(tkOn, "animals", numbered(6));
    Options.InputPage = 1;
    start();
    struct Case {
        bool firstLetter;
        QString text;
        QString after;
        bool closes;
    };
    const Case cases[] = {
        {false, "abc", "", false},
        {false, "", "", true},
        {true, "abc", "a", false},
        {true, "", "", false}, // reduced to its first character: nothing to reduce, still not one character
        {true, "a", "a", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString() + (c.firstLetter ? " with first letter" : ""));
        if (!window->isVisible())
            window->ShowTrainer();
        window->CBShowFirstLetter->setChecked(c.firstLetter);
        window->EAnswer->setText(c.text);
        press(window->EAnswer, Qt::Key_Escape);
        EXPECT_EQ(window->isVisible(), !c.closes);
        if (!c.closes)
            EXPECT_EQ(window->EAnswer->text(), c.after);
    }
}

TEST_F(Trainer, BackspaceAndDeleteEditTheAnswerUnlessCtrlIsHeld)
{
    make(tkOn, "animals", numbered(6));
    Options.InputPage = 1;
    start();
    const std::string asked = question();
    type(window->EAnswer, "ab");
    press(window->EAnswer, Qt::Key_Backspace);
    EXPECT_EQ(window->EAnswer->text(), "a");
    press(window->EAnswer, Qt::Key_Home);
    press(window->EAnswer, Qt::Key_Delete);
    EXPECT_EQ(window->EAnswer->text(), "");
    EXPECT_EQ(L().TrainerState(), tsNormal);

    press(window->EAnswer, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(L().TrainerState(), tsDelete);
    press(window->BDelWordOk, Qt::Key_Escape);
    EXPECT_EQ(L().TrainerState(), tsNormal);

    press(window->EAnswer, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_TRUE(exists(tkLearned, "animals")) << "Ctrl+Backspace moves the word to learned";
    bool moved = false;
    for (const StoredWord &w : read(tkLearned, "animals"))
        moved = moved || w.word1 == asked;
    EXPECT_TRUE(moved);
    EXPECT_EQ(Options.StatMovedToLearned, 1);
}

// --- Panels ----------------------------------------------------------------------------------

TEST_F(Trainer, CorrectionPanelIgnoresClicksAndClosesOnItsKeys)
{
    make(tkOn, "animals", numbered(6));
    start();
    for (int key : {int(Qt::Key_Space), int(Qt::Key_Return), int(Qt::Key_Escape), -1}) {
        SCOPED_TRACE(key);
        const int answers = Options.StatAnswers;
        click(window->LQWord); // giving up
        ASSERT_EQ(L().TrainerState(), tsCorrection);
        EXPECT_EQ(Options.StatAnswers, answers + 1);
        EXPECT_TRUE(panelShown(window->PError3));
        for (QWidget *w : {static_cast<QWidget *>(window->LQWord), static_cast<QWidget *>(window->PQuestion),
                           static_cast<QWidget *>(window->PTranscr)})
            click(w, QPoint(w->width() - 2, w->height() / 2));
        EXPECT_EQ(Options.StatAnswers, answers + 1) << "clicks while the panel is shown change nothing";
        EXPECT_EQ(L().TrainerState(), tsCorrection);
        press(window->LAWords, Qt::Key_Delete);
        EXPECT_EQ(L().TrainerState(), tsCorrection) << "no delete panel over the correction";
        if (key < 0)
            click(window->BRemember);
        else
            press(window->BRemember, key);
        EXPECT_EQ(L().TrainerState(), tsNormal);
        EXPECT_TRUE(window->PCInput->isVisibleTo(window.get()));
        EXPECT_FALSE(window->PErrors->isVisibleTo(window.get()));
        EXPECT_TRUE(window->isVisible()) << "Esc on the panel does not close the window";
    }
}

TEST_F(Trainer, DeletePanelKeepsTheWordOnEscAndDeletesItOnEnterOrSpace)
{
    struct Case {
        const char *name;
        int key; // -1: the "Да" button clicked, -2: the "Нет" button clicked
        bool deleted;
    };
    const Case cases[] = {{"Esc", Qt::Key_Escape, false}, {"Enter", Qt::Key_Return, true}, {"Space", Qt::Key_Space, true},
                          {"Yes clicked", -1, true},      {"No clicked", -2, false}};
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QStringLiteral("del%1").arg(n++);
        for (const QString &other : topics->Names(tkOn))
            QFile::rename(path(tkOn, other) + ".wrd", path(tkOff, other) + ".wrd");
        make(tkOn, name, numbered(6));
        makeWindow();
        start();
        const std::string asked = question();
        const int total = Options.StatTotalWords;

        if (n % 2)
            press(window->LAWords, Qt::Key_Delete);
        else
            press(window->LAWords, Qt::Key_Minus, Qt::KeypadModifier);
        ASSERT_EQ(L().TrainerState(), tsDelete);
        EXPECT_TRUE(panelShown(window->PError4));
        EXPECT_FALSE(window->BDelWord->isEnabled());
        EXPECT_FALSE(window->ChQuestionVisible->isEnabled());
        click(window->LQWord);
        EXPECT_EQ(Options.StatAnswers, 0) << "no giving up on the delete panel";

        if (c.key == -1)
            click(window->BDelWordOk);
        else if (c.key == -2)
            click(window->BDelWordCancel);
        else
            press(window->BDelWordOk, c.key);
        EXPECT_EQ(L().TrainerState(), tsNormal);
        EXPECT_TRUE(window->BDelWord->isEnabled());
        bool found = false;
        for (const StoredWord &w : read(tkOn, name))
            found = found || w.word1 == asked;
        EXPECT_EQ(found, !c.deleted);
        EXPECT_EQ(Options.StatTotalWords, c.deleted ? total - 1 : total);
    }
}

TEST_F(Trainer, NoWordsPanelWhenNothingCanBeAsked)
{
    start();
    EXPECT_EQ(L().TrainerState(), tsNoWords);
    EXPECT_TRUE(panelShown(window->PError1));
    EXPECT_EQ(window->LQWord->text(), QStringLiteral("нет невыученных слов"));
    EXPECT_TRUE(window->PTranscr->text().isEmpty());
    for (QWidget *w : std::initializer_list<QWidget *>{window->BDelWord, window->BPlay, window->BMoveToLearned,
                                                       window->ChQuestionVisible, window->ChShowTranscr})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    click(window->LQWord);
    press(window->LAWords, Qt::Key_Backspace);
    EXPECT_EQ(Options.StatAnswers, 0);
    EXPECT_EQ(L().TrainerState(), tsNoWords);
}

// --- Closing, quitting, timers -----------------------------------------------------------------

TEST_F(Trainer, ThirdRightAnswerClosesTheWindowAndArmsTheLessonTimer)
{
    make(tkOn, "animals", numbered(6));
    Options.HideAfterRightAnswers = 3;
    start();
    EXPECT_EQ(lessonsStarted, 1);
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(window->isVisible());
        window->LAWords->setCurrentRow(rowOf(L().ExpectedAnswer()));
        press(window->LAWords, Qt::Key_Return);
    }
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(lessonsEnded, 1);
    EXPECT_TRUE(window->Timer.isActive());
    EXPECT_EQ(window->Timer.interval(), 5 * 60000);
    EXPECT_EQ(savedInt(kTrainerWindowRect + 8), 341); // the outer size, as every settings file holds it
    EXPECT_EQ(savedInt(kTrainerWindowRect + 12), 213);
    EXPECT_EQ(savedInt(kQuestionPanelHeight), 30);
    EXPECT_EQ(savedInt(kTranscriptionPanelHeight), 26);

    // Shown again, the count starts from 0.
    window->ShowTrainer();
    EXPECT_EQ(L().RightAnswersSinceShown(), 0);
    EXPECT_EQ(lessonsStarted, 2);
}

TEST_F(Trainer, AnAcceptedVariantCountsButNeverClosesTheWindow)
{
    // Both records ask "cat": whichever is asked, the other translation is a variant.
    make(tkOn, "cats", {{"cat", "кошка", 0, 0, 0, 0, {}, {}}, {"cat", "Кот", 0, 0, 0, 0, {}, {}}});
    Options.InputPage = 1;
    Options.ExactCorrect = false;
    Options.HideAfterRightAnswers = 1;
    start();
    const QString expected = L().ExpectedAnswer();
    const QString variant = expected == QStringLiteral("Кот") ? QStringLiteral("кошка") : QStringLiteral("Кот");
    type(window->EAnswer, variant);
    press(window->EAnswer, Qt::Key_Return);
    EXPECT_TRUE(window->isVisible()) << "a variant never closes the window";
    EXPECT_EQ(L().RightAnswersSinceShown(), 1);
    EXPECT_EQ(L().TrainerState(), tsNormal);
    for (const StoredWord &w : read(tkOn, "cats"))
        EXPECT_EQ(w.kbInRow, 0) << "no credit for a variant";

    type(window->EAnswer, L().ExpectedAnswer());
    press(window->EAnswer, Qt::Key_Return);
    EXPECT_FALSE(window->isVisible()) << "the next right answer does";
}

TEST_F(Trainer, EscAndTheCloseBoxHideWithoutEndingTheProgram)
{
    make(tkOn, "animals", numbered(6));
    start();
    press(window->LAWords, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(lessonsEnded, 1);
    EXPECT_TRUE(window->Timer.isActive());
    window->ShowTrainer();
    click(window->LQWord);
    ASSERT_EQ(L().TrainerState(), tsCorrection);
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(lessonsEnded, 2);
    EXPECT_EQ(L().TrainerState(), tsNormal) << "hiding leaves the panel";
    EXPECT_FALSE(window->PErrors->isVisibleTo(window.get()));
    EXPECT_EQ(quits, 0);
    EXPECT_FALSE(window->Quitting());
}

TEST_F(Trainer, PanelHeightsSurviveQuitAndRestart)
{
    make(tkOn, "animals", numbered(6));
    Options.QuestionPanelHeight = 44;
    Options.TranscriptionPanelHeight = 40;
    Options.TrainerWindowRect = {40, 40, 341, 250};
    start();
    EXPECT_EQ(window->PQuestion->height(), 44);
    EXPECT_EQ(window->PTranscr_old->height(), 40);
    press(window->LAWords, Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(window->Quitting());
    EXPECT_FALSE(window->Timer.isActive()) << "quitting re-arms nothing";
    EXPECT_EQ(lessonsEnded, 0);
    EXPECT_EQ(savedInt(kTranscriptionPanelHeight), 40);
    EXPECT_EQ(savedInt(kQuestionPanelHeight), 44);

    window.reset();
    SetDefaultOptions(Options);
    LoadOptions(Options);
    makeWindow();
    start();
    EXPECT_EQ(window->PQuestion->height(), 44);
    EXPECT_EQ(window->PTranscr_old->height(), 40);
    EXPECT_EQ(window->height(), 220);
}

TEST_F(Trainer, DraggingTheSplittersResizesTheWindowNotTheAnswers)
{
    make(tkOn, "animals", numbered(6));
    start();
    const int listHeight = window->LAWords->height();
    const int windowHeight = window->height();
    auto drag = [](QWidget *w, int dy) {
        const QPoint local(5, 1);
        const QPoint global = w->mapToGlobal(local);
        QMouseEvent down(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(w, &down);
        QMouseEvent move(QEvent::MouseMove, local + QPoint(0, dy), global + QPoint(0, dy), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(w, &move);
        QMouseEvent up(QEvent::MouseButtonRelease, local + QPoint(0, dy), global + QPoint(0, dy), Qt::LeftButton,
                       Qt::NoButton, {});
        QApplication::sendEvent(w, &up);
    };
    drag(window->Splitter1, 12);
    EXPECT_EQ(window->PQuestion->height(), 42);
    EXPECT_EQ(window->height(), windowHeight + 12);
    drag(window->Splitter2, -10);
    EXPECT_EQ(window->PTranscr_old->height(), 36);
    EXPECT_EQ(window->height(), windowHeight + 22);
    EXPECT_EQ(window->LAWords->height(), listHeight);
    drag(window->Splitter1, -40);
    EXPECT_EQ(window->PQuestion->height(), 30) << "not below its minimum";
    window->close();
    EXPECT_EQ(savedInt(kTranscriptionPanelHeight), 36);
}

TEST_F(Trainer, LessonTimerTicksOnlyWhileAutoShowIsOn)
{
    make(tkOn, "animals", numbered(6));
    int ticks = 0;
    window->OnLessonTimer = [&] { ++ticks; };
    Options.AutoShow = false;
    ASSERT_TRUE(window->InitialLoad());
    ASSERT_TRUE(window->Timer.isActive());
    EXPECT_EQ(window->Timer.interval(), 5 * 60000);
    window->Timer.setInterval(1);
    QTest::qWait(30);
    EXPECT_EQ(ticks, 0);
    EXPECT_TRUE(window->Timer.isActive()) << "the timer keeps running while AutoShow is off";

    Options.AutoShow = true;
    QTest::qWait(30);
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(window->Timer.isActive()) << "a tick switches the timer off";

    // Without a scheduler plugged in the lesson simply shows.
    window->OnLessonTimer = nullptr;
    window->Timer.start(1);
    QTest::qWait(30);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(L().TrainerState(), tsNormal);

    // The end of the lesson arms it on the program's clock, which tests may shorten.
    TimeScale::setMsPerMinute(3);
    window->close();
    EXPECT_EQ(window->Timer.interval(), 15);
    TimeScale::setMsPerMinute(0);

    // 0 minutes never fires.
    Options.AutoShowInterval = 0;
    window->ShowTrainer();
    window->close();
    EXPECT_FALSE(window->Timer.isActive());
}

// --- Children mode, caption ----------------------------------------------------------------------

TEST_F(Trainer, ChildrenModeHasNoCloseBoxIgnoresEscAndStillQuitsByAltX)
{
    make(tkOn, "animals", numbered(6));
    Options.ChildrenMode = true;
    start();
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "no resizing";
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Wordpop ")));
    for (QWidget *w : std::initializer_list<QWidget *>{window->BQuit, window->BDelWord, window->BMoveToLearned,
                                                       window->BEditWord, window->BEdit, window->CBShowFirstLetter})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();

    press(window->LAWords, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible()) << "Esc does nothing";
    press(window->LAWords, Qt::Key_Delete);
    EXPECT_EQ(L().TrainerState(), tsNormal) << "Delete is ignored too";
    window->close();
    EXPECT_TRUE(window->isVisible()) << "nor does closing";
    // Enough right answers still end the lesson.
    Options.HideAfterRightAnswers = 1;
    window->LAWords->setCurrentRow(rowOf(L().ExpectedAnswer()));
    press(window->LAWords, Qt::Key_Return);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(lessonsEnded, 1);
    window->ShowTrainer();
    press(window->LAWords, Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(window->Quitting());

    // Out of children mode again: a normal window.
    makeWindow();
    Options.ChildrenMode = false;
    start();
    EXPECT_TRUE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_NE(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("ordpop ") + ProductVersion());
    EXPECT_TRUE(window->BQuit->isEnabled());
}

// --- Check boxes, commands ---------------------------------------------------------------------

TEST_F(Trainer, UntickingTheQuestionHidesItNowAndLaterAndIsSaved)
{
    make(tkOn, "animals", numbered(6));
    start();
    EXPECT_FALSE(window->LQWord->text().isEmpty());
    window->ChQuestionVisible->click();
    EXPECT_TRUE(window->LQWord->text().isEmpty());
    EXPECT_EQ(savedInt(kQuestionVisible) & 0xFF, 0);
    window->LAWords->setCurrentRow(rowOf(L().ExpectedAnswer()));
    press(window->LAWords, Qt::Key_Return);
    EXPECT_TRUE(window->LQWord->text().isEmpty()) << "the next question stays hidden";
    window->ChQuestionVisible->click();
    EXPECT_EQ(window->LQWord->text(), L().QuestionText());

    // On the correction panel the box does not change the setting.
    click(window->LQWord);
    ASSERT_EQ(L().TrainerState(), tsCorrection);
    window->ChQuestionVisible->click();
    EXPECT_TRUE(Options.QuestionVisible);
    EXPECT_TRUE(window->ChQuestionVisible->isChecked());
}

TEST_F(Trainer, TranscriptionLineFollowsItsBox)
{
    make(tkOn, "animals", {{"cat", "кот", 0, 0, 0, 0, {}, "[k{t]"}, {"dog", "пёс", 0, 0, 0, 0, {}, "[dQg]"}});
    start();
    const QString line = window->PTranscr->text();
    EXPECT_TRUE(line == "[k{t]" || line == "[dQg]") << line.toStdString();
    EXPECT_EQ(window->PTranscr->toolTip(), line);
    EXPECT_TRUE(window->ChShowTranscr->isEnabled());
    window->ChShowTranscr->click();
    EXPECT_TRUE(window->PTranscr->text().isEmpty());
    EXPECT_TRUE(window->PTranscr->toolTip().isEmpty());
    EXPECT_FALSE(Options.ShowTranscription);
}

TEST_F(Trainer, CommandsOfWindowsNotPluggedInAreNotOffered)
{
    make(tkOn, "animals", numbered(6));
    start();
    for (QWidget *w : std::initializer_list<QWidget *>{window->BAddWord, window->BEditWord, window->BEdit, window->BOptions})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    press(window->LAWords, Qt::Key_Insert);
    press(window->LAWords, Qt::Key_D, Qt::AltModifier);
    EXPECT_TRUE(boxes.texts().isEmpty());

    // Plugged in, the add-word command reopens the question's dictionary and forms a new question
    // when the dialog says so.
    QSignalSpy questions(&L(), &TLesson::QuestionShown);
    QString openWhenRun;
    int result = 1;
    window->RunAddWord = [&] {
        openWhenRun = topics->OpenPath();
        return result;
    };
    window->UpdateControls();
    EXPECT_TRUE(window->BAddWord->isEnabled());
    topics->CloseDictionary();
    press(window->LAWords, Qt::Key_Insert);
    EXPECT_EQ(openWhenRun, L().CurrentDictionary());
    EXPECT_EQ(questions.size(), 1);
    result = 0;
    press(window->LAWords, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(questions.size(), 1);

    // The word editor works on the question's record.
    std::string editedWord;
    window->RunEditWord = [&] {
        editedWord = words.FieldByName("WORD1").AsString();
        return 1;
    };
    window->UpdateControls();
    ASSERT_TRUE(window->BEditWord->isEnabled());
    const std::string asked = question();
    topics->CloseDictionary();
    press(window->LAWords, Qt::Key_E, Qt::AltModifier);
    EXPECT_EQ(editedWord, asked);
    EXPECT_EQ(questions.size(), 2);

    // The dictionaries window's changes are rescanned and recounted.
    window->RunDictionaries = [&](TopicKinds &changed) {
        make(tkOn, "more", numbered(3, "m"));
        changed = KindBit(tkOn);
        return true;
    };
    window->UpdateControls();
    press(window->LAWords, Qt::Key_D, Qt::AltModifier);
    EXPECT_EQ(Options.StatStudiedWords, 9);
    EXPECT_EQ(questions.size(), 3);
}

TEST_F(Trainer, InformationOpensFromTheButtonAndTheKeys)
{
    make(tkOn, "animals", numbered(6));
    start();
    TFInformation::TestHook info;
    click(window->BHelp);
    press(window->LAWords, Qt::Key_I, Qt::AltModifier);
    press(window->LAWords, Qt::Key_F1);
    ASSERT_EQ(info.shown().size(), 3);
    EXPECT_EQ(info.shown()[0].caller, window.get());
}

// --- What it looks like ----------------------------------------------------------------------------

TEST_F(Trainer, LooksAsDesigned)
{
    make(tkOn, "animals", {{"tiger", "тигр", 0, 0, 0, 0, {}, "['taIg@]"},
                           {"lion", "лев", 0, 0, 0, 0, {}, "['laI@n]"},
                           {"zebra", "зебра", 0, 0, 0, 0, {}, "['zi:br@]"},
                           {"wolf", "волк", 0, 0, 0, 0, {}, "[wUlf]"},
                           {"fox", "лиса", 0, 0, 0, 0, {}, "[fQks]"},
                           {"bear", "медведь", 0, 0, 0, 0, {}, "[be@]"}});
    start();
    const QImage shot = window->grab().toImage();
    if (const QByteArray file = qgetenv("WORDPOP_TRAINER_SHOT"); !file.isEmpty())
        shot.save(QString::fromLocal8Bit(file));
    ASSERT_EQ(shot.size(), window->size() * shot.devicePixelRatio());
    auto colourAt = [&](QWidget *w, QPoint p) { return shot.pixelColor(w->mapTo(window.get(), p)); };
    EXPECT_EQ(colourAt(window->PQuestion, {window->PQuestion->width() - 2, 1}), QColor(0, 0, 128));
    EXPECT_EQ(colourAt(window->PTranscr_old, {window->PTranscr_old->width() - 3, 2}), QColor(0, 0, 128));
    // The question is written in yellow, the transcription in white.
    bool yellow = false, white = false;
    for (int x = 0; x < window->LQWord->width(); ++x)
        for (int y = 0; y < window->LQWord->height(); ++y) {
            const QColor c = colourAt(window->LQWord, {x, y});
            yellow = yellow || (c.red() > 200 && c.green() > 200 && c.blue() < 80);
        }
    for (int x = 0; x < window->PTranscr->width(); ++x)
        for (int y = 0; y < window->PTranscr->height(); ++y) {
            const QColor c = colourAt(window->PTranscr, {x, y});
            white = white || (c.red() > 200 && c.green() > 200 && c.blue() > 200);
        }
    EXPECT_TRUE(yellow);
    EXPECT_TRUE(white);

    // The correction panel: red around it.
    click(window->LQWord);
    const QImage panel = window->grab().toImage();
    if (const QByteArray file = qgetenv("WORDPOP_TRAINER_SHOT"); !file.isEmpty())
        panel.save(QString::fromLocal8Bit(file).replace(".png", "-correction.png"));
    EXPECT_EQ(panel.pixelColor(window->PErrors->mapTo(window.get(), QPoint(2, 2))), QColor(255, 0, 0));

    // The typing page: the box and the first-letter box inside the page.
    press(window->BRemember, Qt::Key_Return);
    window->PCInput->setCurrentIndex(1);
    const QImage typing = window->grab().toImage();
    if (const QByteArray file = qgetenv("WORDPOP_TRAINER_SHOT"); !file.isEmpty())
        typing.save(QString::fromLocal8Bit(file).replace(".png", "-typing.png"));
    for (QWidget *w : std::initializer_list<QWidget *>{window->LEnterAnswer, window->EAnswer, window->CBShowFirstLetter}) {
        EXPECT_TRUE(w->isVisibleTo(window.get())) << w->objectName().toStdString();
        EXPECT_TRUE(window->TSTyping->rect().contains(w->geometry())) << w->objectName().toStdString();
    }
}

// Buttons show their highlight, blue or red, only while the pointer is over them and they can be
// pressed.
TEST_F(Trainer, ButtonsHighlightUnderThePointer)
{
    make(tkOn, "animals", {{"tiger", "тигр"}, {"lion", "лев"}, {"zebra", "зебра"}});
    start();
    click(window->LQWord); // giving up shows the correction panel with its button
    ASSERT_TRUE(panelShown(window->PError3));
    // Pixels tinted blue (or red): the picture's own colours are counted in both shots alike.
    auto tinted = [](QWidget *w, bool red) {
        const QImage shot = w->grab().toImage();
        int n = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                n += (red ? c.red() - c.blue() : c.blue() - c.red()) >= 15;
            }
        return n;
    };
    // The dictionaries and add-word commands are not plugged in here, so their buttons are off.
    const struct {
        QWidget *button;
        bool red, lit;
    } cases[] = {
        {window->BHelp, false, true},     {window->BQuit, true, true},   {window->BDelWord, true, true},
        {window->BRemember, false, true}, {window->BEdit, false, false}, {window->BAddWord, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.button->objectName().toStdString());
        ASSERT_EQ(c.button->isEnabled(), c.lit);
        const int blueBefore = tinted(c.button, false), redBefore = tinted(c.button, true);
        c.button->setAttribute(Qt::WA_UnderMouse, true);
        const int own = tinted(c.button, c.red) - (c.red ? redBefore : blueBefore);
        const int other = tinted(c.button, !c.red) - (c.red ? blueBefore : redBefore);
        c.button->setAttribute(Qt::WA_UnderMouse, false);
        if (c.lit)
            EXPECT_GT(own, c.button->width() * c.button->height() / 3) << "the highlight fills the button";
        else
            EXPECT_EQ(own, 0) << "no highlight on a button that cannot be pressed";
        EXPECT_LE(other, 0);
        EXPECT_EQ(tinted(c.button, c.red), c.red ? redBefore : blueBefore) << "gone with the pointer";
    }
}

// --- Initial load ----------------------------------------------------------------------------------

TEST_F(Trainer, InitialLoadMakesTheFoldersCountsAndShowsAtOnceWhenSet)
{
    make(tkOn, "animals", numbered(6));
    make(tkLearned, "old", {{"sun", "солнце", 0, 0, 0, 0, 3, {}}});
    ASSERT_TRUE(QDir(home.home() + "BASE/OFF").removeRecursively());
    Options.StartImmediately = true;
    Options.InputPage = 2;
    Options.ShowFirstLetter = true;
    ASSERT_TRUE(window->InitialLoad());
    EXPECT_TRUE(QFileInfo(home.home() + "BASE/OFF").isDir());
    EXPECT_EQ(Options.StatStudiedWords, 6);
    EXPECT_EQ(Options.StatLearnedWords, 1);
    EXPECT_EQ(Options.StatTotalWords, 7);
    EXPECT_EQ(window->PCInput->currentIndex(), 2);
    EXPECT_TRUE(window->CBShowFirstLetter->isChecked());
    EXPECT_TRUE(window->isVisible()) << "StartImmediately";
    EXPECT_TRUE(window->TSStat->text().startsWith(QStringLiteral("Всего слов: 7\n       Изучаемых: 6\n")))
        << window->TSStat->text().toStdString();
    EXPECT_EQ(window->PBLearnProgress->maximum(), 7);
    EXPECT_EQ(window->PBLearnProgress->value(), 1);
}

TEST_F(Trainer, InitialLoadFailsWhenAFolderCannotBeMade)
{
    ASSERT_TRUE(QDir(home.home() + "NEWS").removeRecursively());
    home.writeFile("NEWS", "a file in the folder's place");
    EXPECT_FALSE(window->InitialLoad());
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts()[0].startsWith("Can't create ")) << boxes.texts()[0].toStdString();
    EXPECT_TRUE(boxes.texts()[0].endsWith("NEWS/ directory.")) << boxes.texts()[0].toStdString();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->Timer.isActive());
}

// --- Sound, other windows ----------------------------------------------------------------------

TEST_F(Trainer, ReplayTimerPausesForOtherWindowsAndStopsOnAMistake)
{
    {
        QFile wave(QStringLiteral(WORDPOP_SOURCE_DIR "/data/SOUND/ok.wav"));
        ASSERT_TRUE(wave.open(QIODevice::ReadOnly));
        home.writeFile("SOUND/cat.wav", wave.readAll());
    }
    make(tkOn, "animals", {{"cat", "кот", 0, 0, 0, 0, {}, {}}, {"dog", "пёс", 0, 0, 0, 0, {}, {}}});
    topics->OpenDictionary(path(tkOn, "animals"));
    for (words.First(); !words.Eof(); words.Next()) {
        words.Edit();
        words.FieldByName("WAVFILE").SetAsString("\\SOUND\\cat.wav");
        words.Post();
    }
    topics->CloseDictionary();
    Options.LoopPlay = true;
    Options.LoopPlayDelay = 2;
    start();
    QTimer &loop = window->WordSound().TLoopPlay;
    EXPECT_EQ(loop.objectName(), "TLoopPlay");
    EXPECT_TRUE(window->BPlay->isEnabled());
    EXPECT_TRUE(loop.isActive());
    EXPECT_EQ(loop.interval(), 2000);

    bool activeMeanwhile = true;
    window->RunAddWord = [&] {
        activeMeanwhile = loop.isActive();
        return 0;
    };
    window->UpdateControls();
    click(window->BAddWord);
    EXPECT_FALSE(activeMeanwhile) << "no replay while another window is open";
    EXPECT_TRUE(loop.isActive()) << "and again afterwards";

    window->LAWords->setCurrentRow(wrongRow());
    press(window->LAWords, Qt::Key_Return);
    EXPECT_FALSE(loop.isActive()) << "a mistake stops it";
    press(window->BRemember, Qt::Key_Return);
    EXPECT_TRUE(loop.isActive()) << "the next question starts it";
    window->close();
    EXPECT_FALSE(loop.isActive());
}

TEST_F(Trainer, OptionsWindowRunsWithTheTableClosedAndReopensItWhenNothingWasSaved)
{
    make(tkOn, "animals", numbered(6));
    start();
    QSignalSpy questions(&L(), &TLesson::QuestionShown);
    const QString open = topics->OpenPath();
    ASSERT_FALSE(open.isEmpty());
    QString openMeanwhile = "-";
    QPoint where;
    bool saved = false;
    window->RunOptions = [&](QPoint p) {
        openMeanwhile = topics->OpenPath();
        where = p;
        return saved;
    };
    window->UpdateControls();
    ASSERT_TRUE(window->BOptions->isEnabled());
    press(window->LAWords, Qt::Key_O, Qt::AltModifier);
    EXPECT_TRUE(openMeanwhile.isEmpty());
    EXPECT_EQ(where, window->pos() + QPoint(10, 30));
    EXPECT_EQ(topics->OpenPath(), open);
    EXPECT_EQ(questions.size(), 0);

    // Saved: the display settings apply at once, children mode included, and a new question comes.
    saved = true;
    Options.ChildrenMode = true;
    click(window->BOptions);
    EXPECT_EQ(questions.size(), 1);
    EXPECT_TRUE(window->isVisible()) << "re-making the frame keeps the lesson on screen";
    EXPECT_FALSE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(lessonsEnded, 0) << "and is no end of the lesson";
    EXPECT_EQ(lessonsStarted, 1);
    EXPECT_FALSE(window->BQuit->isEnabled());
}

TEST_F(Trainer, ThePointerSelectsTheAnswerUnderIt)
{
    make(tkOn, "animals", numbered(6));
    start();
    QListWidget *list = window->LAWords;
    const QPoint at = list->visualItemRect(list->item(3)).center();
    QMouseEvent move(QEvent::MouseMove, at, list->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(list->viewport(), &move);
    EXPECT_EQ(list->currentRow(), 3);
    EXPECT_EQ(Options.StatAnswers, 0) << "moving does not answer";
}

TEST_F(Trainer, EveryQuestionSwitchesToTheLayoutOfTheAnswersLanguage)
{
    PrivateXServer server;
    REQUIRE_PRIVATE_X_SERVER(server);
    if (const std::string error = server.setLayouts("us,ru"); !error.empty())
        GTEST_SKIP() << "the X server cannot hold the layouts us,ru: " << error;
    const ScopedDisplay display(server.display());
    ASSERT_EQ(KeyboardLayouts::activeIdentifier(), "00000409");

    make(tkOn, "animals", numbered(6));
    ASSERT_TRUE(SetOptionText(Options.StudiedLayout, "00000409"));
    ASSERT_TRUE(SetOptionText(Options.NativeLayout, "00000419"));
    Options.AutoSwitchLayout = false; // the question's switch does not depend on it
    start();
    EXPECT_EQ(L().Reverse(), 0);
    EXPECT_EQ(KeyboardLayouts::activeIdentifier(), "00000419") << "a direct question is answered in the native language";

    Options.CheckOrder = 1;
    window->LAWords->setCurrentRow(rowOf(L().ExpectedAnswer()));
    press(window->LAWords, Qt::Key_Return);
    EXPECT_EQ(L().Reverse(), 1);
    EXPECT_EQ(KeyboardLayouts::activeIdentifier(), "00000409");
}

TEST_F(Trainer, QuitEndsTheEventLoopAlthoughTheWindowNeverCloses)
{
    make(tkOn, "animals", numbered(6));
    start();
    window->OnQuit = nullptr; // the program's own way
    QTimer::singleShot(0, window.get(), [this] { press(window->LAWords, Qt::Key_X, Qt::AltModifier); });
    QTimer giveUp; // ends a loop the quit failed to end; gone with the test
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    giveUp.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(window->Quitting());
}

TEST_F(Trainer, ADamagedDictionaryBesideAGoodOneDoesNotStopTheLessons)
{
    make(tkOn, "animals", numbered(6));
    make(tkOn, "broken", numbered(6));
    // Counted while whole, damaged afterwards: the pick finds it unreadable.
    ASSERT_TRUE(window->InitialLoad());
    topics->CloseDictionary();
    home.writeFile("BASE/ON/broken.wrd", QByteArray(700, '\xA5'));
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        if (!window->isVisible())
            window->ShowTrainer();
        ASSERT_EQ(L().TrainerState(), tsNormal);
        ASSERT_EQ(L().CurrentDictionary(), path(tkOn, "animals")) << boxes.texts().join("|").toStdString();
        window->LAWords->setCurrentRow(rowOf(L().ExpectedAnswer()));
        press(window->LAWords, Qt::Key_Return);
    }
    EXPECT_FALSE(boxes.texts().isEmpty()) << "the damaged one was drawn and reported";
    for (const QString &text : boxes.texts())
        EXPECT_TRUE(text.contains("broken.wrd")) << text.toStdString();
    int rightRuns = 0;
    for (const StoredWord &w : read(tkOn, "animals"))
        rightRuns += w.inRow;
    EXPECT_EQ(rightRuns, 8);
}
