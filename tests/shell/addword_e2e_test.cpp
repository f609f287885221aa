// The real wordpop on an X server of the test's own, driven by synthetic keys as a user would:
// Insert in the trainer opens the add-word dialog, the word typed there goes into the chosen
// dictionary, and the dictionary tool finds that dictionary sound afterwards.
#include "ProgramOnOwnX.h"

namespace {

class AddWordInTheProgram : public ProgramOnOwnX {
protected:
    Window waitForDialog(bool open) { return waitForWindow("Добавление нового слова в базу", open); }
};

} // namespace

TEST_F(AddWordInTheProgram, InsertInTheTrainerAddsTheTypedWordToTheDictionary)
{
    const QString wrd = makeDictionary();
    const Window trainer = startProgram();
    ASSERT_NE(trainer, 0u) << "the trainer did not show its first lesson";
    focus(trainer);
    press(XK_Insert);
    const Window dialog = waitForDialog(true);
    ASSERT_NE(dialog, 0u) << "Insert did not open the add-word dialog";
    focus(dialog);

    type("zebra");
    press(XK_Return);
    type("zebrat");
    press(XK_Return);
    type("zi");
    // From the transcription along the tab order to "Добавить": the sound button and edit,
    // "Создать словарь", the list, the pin, "Проверять копии", "Еще слово", "Добавить".
    for (int i = 0; i < 8; ++i)
        press(XK_Tab);
    press(XK_space);
    ASSERT_EQ(waitForDialog(false), 0u) << "the dialog stayed open";
    endAndCheck(wrd);

    TDbfDataSet words;
    words.SetExclusive(true);
    OpenDictionary(words, wrd.chopped(4).toStdString());
    EXPECT_EQ(words.RecordCount(), 5u);
    ASSERT_TRUE(words.Locate("WORD1", "zebra"));
    EXPECT_EQ(words.FieldByName("WORD2").AsString(), "zebrat");
    EXPECT_EQ(words.FieldByName("TRANSCRIPT").AsString(), "zi");
    EXPECT_EQ(words.FieldByName("MISS").AsInteger(), 0);
    words.Close();
}

TEST_F(AddWordInTheProgram, AltEEditsTheQuestionWordInPlace)
{
    const QString wrd = makeDictionary();
    const Window trainer = startProgram();
    ASSERT_NE(trainer, 0u) << "the trainer did not show its first lesson";
    focus(trainer);
    press(XK_e, XK_Alt_L);
    const Window dialog = waitForDialog(true);
    ASSERT_NE(dialog, 0u) << "Alt+E did not open the dialog on the question word";
    focus(dialog);

    // The word edit holds the question's word: a suffix, then along the tab order (the list and
    // "Создать словарь" are disabled while editing) to "Добавить".
    press(XK_End);
    type("x");
    for (int i = 0; i < 8; ++i)
        press(XK_Tab);
    press(XK_space);
    ASSERT_EQ(waitForDialog(false), 0u) << "the dialog stayed open";
    endAndCheck(wrd);

    // Still four records in their places: exactly one carries the suffix, its counters at 0.
    TDbfDataSet words;
    words.SetExclusive(true);
    OpenDictionary(words, wrd.chopped(4).toStdString());
    words.SetIndexName("");
    const char *original[] = {"cat", "dog", "cow", "fox"};
    int edited = 0, n = 0;
    for (words.First(); !words.Eof(); words.Next(), ++n) {
        ASSERT_LT(n, 4);
        const std::string w1 = words.FieldByName("WORD1").AsString();
        if (w1 == std::string(original[n]) + "x") {
            ++edited;
            EXPECT_EQ(words.FieldByName("MISS").AsInteger(), 0);
            EXPECT_EQ(words.FieldByName("KBMISS").AsInteger(), 0);
        } else {
            EXPECT_EQ(w1, original[n]);
        }
    }
    EXPECT_EQ(n, 4);
    EXPECT_EQ(edited, 1);
    words.Close();
}
