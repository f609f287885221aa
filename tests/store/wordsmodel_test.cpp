// The editor's grid on a real QTableView (offscreen): rows follow posts, deletions, a cancelled
// new row, the sort toggle and search; scrolling and painting never post an edit; the window
// enables what a working copy allows and Esc in a cell cancels only the cell.
#include "EditorFixture.h"

#include "common/PrivateXServer.h"

#include "platform/KeyboardLayouts.h"
#include "store/Dictionaries.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

namespace {

const std::vector<EWord> kFruit = {
    {"pear", "груша", 3}, {"apple", "яблоко", 1}, {"fig", "инжир", 2}, {"kiwi", "киви", 0}, {"date", "финик", 4},
};

void press(QWidget *w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent down(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(w, &up);
}

// Types text into whatever has the focus, one key per character, as a keyboard layout gives it
// (the first key opens a cell's editor, the rest go to it).
void typeKeys(const QString &text)
{
    for (const QChar ch : text) {
        QWidget *w = QApplication::focusWidget();
        ASSERT_NE(w, nullptr);
        QKeyEvent down(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &down);
        QKeyEvent up(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &up);
        QApplication::processEvents();
    }
}

class GridTest : public EditorFixture {
protected:
    std::unique_ptr<TFEdit> window;

    void SetUp() override
    {
        EditorFixture::SetUp();
        editor.reset(); // the window brings its own
        make(on("fruit"), kFruit);
        window = std::make_unique<TFEdit>(topics);
        ASSERT_TRUE(window->Editor().OpenDictionary(on("fruit")));
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        TFMessage::TestHook no;
        no.answer(TFMessage::No);
        window.reset();
        EditorFixture::TearDown();
    }

    TWordsModel &model() { return window->Editor().Model(); }
    QString cell(int row, int column) { return model().data(model().index(row, column)).toString(); }
    QStringList column(int c)
    {
        QStringList out;
        for (int r = 0; r < model().rowCount(); ++r)
            out << cell(r, c);
        return out;
    }
    // The grid's current row shows the cursor's record.
    void expectInStep()
    {
        const int row = window->GWords->currentIndex().row();
        EXPECT_EQ(row, model().CurrentRow());
        if (words.State() != dsInsert)
            EXPECT_EQ(cell(row, 0), Text::fromCp1251(words.FieldByName("WORD1").AsString()));
    }
};

} // namespace

TEST_F(GridTest, RowsFollowAPostThatResortsUnderWord1)
{
    emit window->GWords->horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(words.IndexName(), "WORD1");
    EXPECT_EQ(column(0), (QStringList{"apple", "date", "fig", "kiwi", "pear"}));
    EXPECT_EQ(model().headerData(0, Qt::Horizontal, Qt::BackgroundRole).value<QColor>(), QColor(Qt::darkBlue));
    EXPECT_EQ(model().headerData(0, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(), QColor(Qt::white));
    EXPECT_FALSE(model().headerData(1, Qt::Horizontal, Qt::BackgroundRole).isValid());

    window->GWords->setCurrentIndex(model().index(0, 0));
    ASSERT_TRUE(model().setData(model().index(0, 0), "zebra"));
    EXPECT_EQ(words.State(), dsEdit);
    EXPECT_EQ(cell(0, 0), QString("zebra")); // the edit buffer, not yet posted
    // Leaving the row posts it; it moves to its place and the grid follows the cursor.
    window->GWords->setCurrentIndex(model().index(1, 0));
    EXPECT_EQ(words.State(), dsBrowse);
    EXPECT_EQ(column(0), (QStringList{"date", "fig", "kiwi", "pear", "zebra"}));
    EXPECT_EQ(Text::fromCp1251(words.FieldByName("WORD1").AsString()), QString("date"));
    expectInStep();
    EXPECT_TRUE(window->Editor().Dirty());
    EXPECT_EQ(window->SBDirty->text(), QString("*"));
}

TEST_F(GridTest, DeleteAndNumpadMinusRemoveTheCurrentRow)
{
    window->GWords->setCurrentIndex(model().index(1, 0)); // MISS order: kiwi apple fig pear date
    ASSERT_EQ(cell(1, 0), QString("apple"));
    press(window->GWords, Qt::Key_Delete);
    EXPECT_EQ(column(0), (QStringList{"kiwi", "fig", "pear", "date"}));
    expectInStep();
    EXPECT_EQ(cell(window->GWords->currentIndex().row(), 0), QString("fig"));
    press(window->GWords, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(column(0), (QStringList{"kiwi", "pear", "date"}));
    press(window->GWords, Qt::Key_Delete, Qt::ControlModifier); // left to the grid
    EXPECT_EQ(model().rowCount(), 3);
    EXPECT_EQ(window->SBCount->text(), QString("В этом словаре 3 слов"));
    EXPECT_TRUE(window->Editor().Dirty());
}

TEST_F(GridTest, ANewRowLeftEmptyIsCancelled)
{
    window->GWords->setCurrentIndex(model().index(4, 0));
    press(window->GWords, Qt::Key_Down); // on the last row: a new row
    EXPECT_EQ(words.State(), dsInsert);
    EXPECT_EQ(model().rowCount(), 6);
    EXPECT_EQ(model().headerData(5, Qt::Vertical).toString(), QString("*"));
    EXPECT_EQ(window->GWords->currentIndex().row(), 5);
    EXPECT_EQ(window->SBCount->text(), QString("В этом словаре 5 слов"));
    press(window->GWords, Qt::Key_Up); // left without typing
    EXPECT_EQ(words.State(), dsBrowse);
    EXPECT_EQ(model().rowCount(), 5);
    EXPECT_EQ(words.VisibleRecords().size(), 5u);
    EXPECT_FALSE(window->Editor().Dirty());
    expectInStep();

    // Typed into, the new row is posted when left.
    press(window->GWords, Qt::Key_Insert);
    ASSERT_EQ(words.State(), dsInsert);
    ASSERT_TRUE(model().setData(model().index(5, 0), "plum"));
    window->GWords->setCurrentIndex(model().index(0, 0));
    EXPECT_EQ(words.VisibleRecords().size(), 6u);
    EXPECT_TRUE(column(0).contains("plum"));
    EXPECT_TRUE(window->Editor().Dirty());
}

TEST_F(GridTest, TheSortToggleReturnsToRecordOrder)
{
    emit window->GWords->horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(column(1), (QStringList{"груша", "инжир", "киви", "финик", "яблоко"}));
    EXPECT_EQ(model().SortedColumn(), 1);
    emit window->GWords->horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(words.IndexName(), "");
    EXPECT_EQ(model().SortedColumn(), -1);
    // The working copy was written in MISS order, so that is its record order.
    EXPECT_EQ(column(0), (QStringList{"kiwi", "apple", "fig", "pear", "date"}));
    EXPECT_FALSE(model().headerData(1, Qt::Horizontal, Qt::BackgroundRole).isValid());
    expectInStep();
}

TEST_F(GridTest, SearchMovesTheGridAndFallsBackToTheTranslation)
{
    lines.answer({TFLineInput::Ok, "финик"});
    window->ASearch->trigger();
    EXPECT_EQ(Text::fromCp1251(words.FieldByName("WORD1").AsString()), QString("date"));
    expectInStep();
    lines.answer({TFLineInput::Ok, "fig"});
    window->ASearch->trigger();
    expectInStep();
    EXPECT_EQ(cell(window->GWords->currentIndex().row(), 0), QString("fig"));
}

TEST_F(GridTest, ScrollingAndPaintingNeverPostAnEdit)
{
    window->GWords->setCurrentIndex(model().index(2, 1));
    const std::uint32_t at = words.RecNo();
    ASSERT_TRUE(model().setData(model().index(2, 1), "смоква"));
    const QByteArray before = bytes(window->Editor().WorkingCopy() + ".wrd");
    window->GWords->scrollToBottom();
    window->GWords->scrollToTop();
    (void)window->grab(); // paints every visible cell
    for (int r = 0; r < model().rowCount(); ++r)
        (void)cell(r, 0);
    EXPECT_EQ(words.State(), dsEdit);
    EXPECT_EQ(words.RecNo(), at);
    EXPECT_EQ(cell(2, 1), QString("смоква"));
    EXPECT_EQ(bytes(window->Editor().WorkingCopy() + ".wrd"), before);
    EXPECT_FALSE(window->Editor().Dirty());
}

TEST_F(GridTest, EscInACellCancelsTheCellAndEscOutsideClosesTheWindow)
{
    window->GWords->setCurrentIndex(model().index(0, 0));
    window->GWords->edit(model().index(0, 0));
    QApplication::processEvents();
    auto *cellEditor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(cellEditor, nullptr);
    cellEditor->setText("changed");
    press(cellEditor, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(cell(0, 0), QString("kiwi"));
    EXPECT_EQ(words.State(), dsBrowse);

    press(window->GWords, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(questions.shown().isEmpty()); // nothing to save
    EXPECT_EQ(OptionText(Options.EditorDictionary), on("fruit"));
    EXPECT_TRUE(tempFiles().isEmpty());
}

TEST_F(GridTest, WithoutAWorkingCopyTheWindowDisablesWhatNeedsOne)
{
    auto check = [&](bool open) {
        for (QAction *a : {window->AClose, window->ASave, window->ASaveAs, window->ALoadBlock, window->ASaveBlock,
                           window->ASearch})
            EXPECT_EQ(a->isEnabled(), open) << a->text().toStdString();
        EXPECT_EQ(window->AImport->isEnabled(), open);
        EXPECT_EQ(window->GWords->isEnabled(), open);
        EXPECT_EQ(window->ETranscript->isEnabled(), open);
        EXPECT_EQ(window->BPickSound->isEnabled(), open);
    };
    check(true);
    EXPECT_EQ(window->windowTitle(), QString("Редактирование словаря fruit"));
    window->AClose->trigger();
    check(false);
    EXPECT_EQ(window->windowTitle(), QString("Edit"));
    EXPECT_EQ(window->SBCount->text(), QString("Словарь не загружен"));
    // The recent list in the file menu, by file name.
    ASSERT_EQ(window->ARecent.size(), 1);
    EXPECT_EQ(window->ARecent[0]->text(), QString("fruit"));
    window->ARecent[0]->trigger();
    check(true);

    for (QWidget *w : {static_cast<QWidget *>(window->GWords), static_cast<QWidget *>(window->ETranscript),
                       static_cast<QWidget *>(window->EWavFile), static_cast<QWidget *>(window->EWavStart),
                       static_cast<QWidget *>(window->EWavEnd), static_cast<QWidget *>(window->BPickSound),
                       static_cast<QWidget *>(window->BPlaySound), static_cast<QWidget *>(window->BPin)})
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
    EXPECT_EQ(window->BPlaySound->accessibleName(), QString("Проиграть звуковой файл"));
    EXPECT_FALSE(window->BPlaySound->isEnabled()); // no sound named
}

TEST_F(GridTest, EnterAndCtrlTabAndAnOpenCellBeforeSave)
{
    // Enter in the word column posts the edited row and moves on to its translation.
    window->GWords->setCurrentIndex(model().index(0, 0));
    window->GWords->edit(model().index(0, 0));
    QApplication::processEvents();
    auto *cellEditor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(cellEditor, nullptr);
    cellEditor->setText("kiwifruit");
    press(cellEditor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(words.State(), dsBrowse);
    EXPECT_TRUE(window->Editor().Dirty());
    EXPECT_EQ(window->GWords->currentIndex().column(), 1);
    expectInStep();
    EXPECT_EQ(cell(window->GWords->currentIndex().row(), 0), QString("kiwifruit"));

    // Ctrl+Tab goes to the transcription.
    window->GWords->setFocus();
    press(window->GWords, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_TRUE(window->ETranscript->hasFocus());

    // A cell still open when Сохранить is chosen is saved with the rest.
    const int row = window->GWords->currentIndex().row();
    window->GWords->setFocus();
    window->GWords->edit(model().index(row, 1));
    QApplication::processEvents();
    cellEditor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(cellEditor, nullptr);
    cellEditor->setText("актинидия");
    window->ASave->trigger();
    EXPECT_FALSE(window->Editor().Dirty());
    bool found = false;
    for (const auto &w : fileWords(on("fruit.wrd")))
        found = found || (w.first == "kiwifruit" && w.second == "актинидия");
    EXPECT_TRUE(found);
}

// Each column is typed in its own language: entering it (by the keys, the mouse or the focus
// coming back to the grid) switches the keyboard to that language's layout.
TEST_F(GridTest, EnteringAColumnSwitchesToItsLanguagesLayout)
{
    PrivateXServer server;
    REQUIRE_PRIVATE_X_SERVER(server);
    if (const std::string error = server.setLayouts("us,ru,de"); !error.empty())
        GTEST_SKIP() << "the X server cannot hold the layouts us,ru,de: " << error;
    const ScopedDisplay display(server.display());
    ASSERT_TRUE(SetOptionText(Options.StudiedLayout, "00000409"));
    ASSERT_TRUE(SetOptionText(Options.NativeLayout, "00000419"));
    ASSERT_TRUE(SetOptionText(Options.TranscriptionLayout, "00000407"));
    Options.AutoSwitchLayout = true;
    QTableView *grid = window->GWords;

    // Opening a dictionary readies the keyboard for its words.
    ASSERT_TRUE(KeyboardLayouts::activate("00000407"));
    ASSERT_TRUE(window->Editor().OpenDictionary(on("fruit")));
    EXPECT_EQ(KeyboardLayouts::activeIdentifier().toStdString(), "00000409");
    window->activateWindow();
    grid->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(grid->hasFocus());

    struct Step {
        const char *what;
        std::function<void()> act;
        std::string layout;
    };
    const std::vector<Step> steps = {
        {"Tab to the translation", [&] { press(grid, Qt::Key_Tab); }, "00000419"},
        {"Shift+Tab back to the word", [&] { press(grid, Qt::Key_Backtab, Qt::ShiftModifier); }, "00000409"},
        {"a click on a translation", [&] { grid->setCurrentIndex(model().index(2, 1)); }, "00000419"},
        {"Down in the translations", [&] { press(grid, Qt::Key_Down); }, "00000419"},
        {"Ctrl+Tab to the transcription", [&] { press(grid, Qt::Key_Tab, Qt::ControlModifier); }, "00000407"},
        {"the focus back in the translations", [&] { grid->setFocus(Qt::BacktabFocusReason); }, "00000419"},
        {"Left to the word", [&] { press(grid, Qt::Key_Left); }, "00000409"},
    };
    for (const Step &s : steps) {
        // From a layout the step must leave, so that a step that switches nothing shows.
        ASSERT_TRUE(KeyboardLayouts::activate(s.layout == "00000407" ? "00000409" : "00000407"));
        s.act();
        QApplication::processEvents();
        EXPECT_EQ(KeyboardLayouts::activeIdentifier().toStdString(), s.layout) << s.what;
    }
    EXPECT_TRUE(window->Editor().EditingEnabled());

    // Switching off the automatic switch leaves the keyboard as the user set it.
    Options.AutoSwitchLayout = false;
    ASSERT_TRUE(KeyboardLayouts::activate("00000407"));
    press(grid, Qt::Key_Tab);
    grid->setCurrentIndex(model().index(0, 0));
    window->ETranscript->setFocus();
    grid->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(KeyboardLayouts::activeIdentifier().toStdString(), "00000407");
}

// A new row typed by keys, word, Enter, translation, Enter, keeps both in that row wherever the
// grid's order moves it when posted, and leaves every other row as it was.
TEST_F(GridTest, ANewRowTypedByKeysStaysInItsRowWhereverTheOrderMovesIt)
{
    struct Case {
        int sortedColumn; // -1: the order the dictionary opens in (MISS)
        const char *word, *translation;
    };
    const Case cases[] = {
        {-1, "zebra", "зебра"},     // MISS 0 moves up under the first row
        {0, "apricot", "абрикос"},  // between the words around it
        {1, "banana", "банан"},     // an empty translation sorts first, the typed one after it
    };
    QTableView *grid = window->GWords;
    auto sortedRows = [&] {
        std::vector<std::pair<QString, QString>> rows;
        for (int r = 0; r < model().rowCount(); ++r)
            rows.emplace_back(cell(r, 0), cell(r, 1));
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.word);
        questions.answer(TFMessage::No);
        ASSERT_TRUE(window->Editor().OpenDictionary(on("fruit")));
        if (c.sortedColumn >= 0)
            window->Editor().SortByColumn(c.sortedColumn);
        window->activateWindow();
        grid->setFocus();
        grid->setCurrentIndex(model().index(0, 0));
        QApplication::processEvents();
        std::vector<std::pair<QString, QString>> expected = sortedRows();
        expected.emplace_back(c.word, c.translation);
        std::sort(expected.begin(), expected.end());

        press(grid, Qt::Key_Insert);
        typeKeys(c.word);
        press(QApplication::focusWidget(), Qt::Key_Return);
        QApplication::processEvents();
        const QModelIndex at = grid->currentIndex();
        EXPECT_EQ(cell(at.row(), 0), QString(c.word)) << "Enter left the new row";
        EXPECT_EQ(at.column(), 1);
        expectInStep();
        typeKeys(c.translation);
        press(QApplication::focusWidget(), Qt::Key_Return);
        QApplication::processEvents();
        EXPECT_EQ(cell(grid->currentIndex().row(), 0), QString(c.word));
        expectInStep();

        EXPECT_EQ(sortedRows(), expected);
    }
}

using EditDictionaryTest = EditorFixture;

TEST_F(EditDictionaryTest, OpensModallyNearItsCallerAndReportsASave)
{
    editor.reset();
    make(on("fruit"), kFruit);
    QWidget caller;
    caller.setGeometry(200, 150, 300, 200);
    caller.show();
    QPoint shownAt;
    QTimer::singleShot(0, [&] {
        auto *w = qobject_cast<TFEdit *>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        shownAt = w->pos();
        EXPECT_EQ(w->windowTitle(), QString("Редактирование словаря fruit"));
        TWordsModel &m = w->Editor().Model();
        m.setData(m.index(0, 1), "киви-фрукт");
        w->ASave->trigger();
        w->AExit->trigger();
    });
    EXPECT_TRUE(EditDictionary(on("fruit"), &caller));
    EXPECT_EQ(shownAt, caller.pos() + QPoint(10, 30));
    EXPECT_EQ(OptionText(Options.EditorDictionary), on("fruit"));
    EXPECT_TRUE(tempFiles().isEmpty());
    // Nothing saved: false.
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_FALSE(EditDictionary(on("fruit.wrd"), &caller));
}

TEST_F(EditDictionaryTest, TheDictionariesWindowsEditOpensTheEditor)
{
    editor.reset();
    make(on("fruit"), kFruit);
    TDictionaryHooks::EditDictionary = EditDictionary;
    TDictionariesLogic logic(topics);
    logic.FillLists();
    ASSERT_TRUE(logic.CanEdit(TDictionariesLogic::ListOn));
    QString opened;
    QTimer::singleShot(0, [&] {
        auto *w = qobject_cast<TFEdit *>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        opened = w->Editor().DictionaryPath();
        TWordsModel &m = w->Editor().Model();
        m.setData(m.index(0, 0), "kiwano");
        w->ASave->trigger();
        w->AExit->trigger();
    });
    logic.Edit(TDictionariesLogic::ListOn);
    TDictionaryHooks::EditDictionary = nullptr;
    EXPECT_EQ(opened, on("fruit"));
    EXPECT_TRUE(logic.Modified());
    EXPECT_EQ(fileWords(on("fruit.wrd")).size(), kFruit.size());
    EXPECT_EQ(fileWords(on("fruit.wrd"))[0].first, QString("kiwano"));
}
