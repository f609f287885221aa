// The real wordpop with the keyboard layouts us and ru, driven by keys alone: Alt+D opens the
// dictionaries window, Enter the editor on the selected dictionary; a word typed into a new row
// is saved with Ctrl+S, and the dictionary file on disk holds it once the program has ended. The
// translation column switches the keyboard to Russian, so the same keys type Cyrillic there.
#include "ProgramOnOwnX.h"

#include "platform/Text.h"

#include "common/XkbState.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>
#include <vector>

using EditorInTheProgram = ProgramOnOwnX;

TEST_F(EditorInTheProgram, TheEditorOpenedFromTheDictionariesWindowSavesATypedWord)
{
    if (const std::string error = server.setLayouts("us,ru"); !error.empty())
        GTEST_SKIP() << "the X server cannot hold the layouts us,ru: " << error;
    const QString wrd = makeDictionary();
    const QString cdx = home.home() + "BASE/ON/animals.cdx";
    // The default settings: words typed in us, translations in ru, switched automatically.
    const Window trainer = startProgram();
    ASSERT_NE(trainer, 0u) << "the trainer did not show its first lesson";
    focus(trainer);

    // Alt+D until the window is up (the first presses may come before the trainer has the focus).
    Window dictionaries = 0;
    ASSERT_TRUE(ProgramOnX::waitFor([&] {
        press(XK_d, XK_Alt_L);
        return (dictionaries = waitForWindow("Словари", true, 2000)) != 0;
    }, 30000)) << "Alt+D did not open the dictionaries window";
    focus(dictionaries);
    press(XK_Return);
    const Window editor = waitForWindow("Редактирование словаря animals", true);
    ASSERT_NE(editor, 0u) << "Enter did not open the editor on the selected dictionary";
    focus(editor);
    const auto groupBecomes = [&](int group) {
        return ProgramOnX::waitFor([&] { return xkbLockedGroup(display) == group; }, 10000);
    };
    EXPECT_TRUE(groupBecomes(0)) << "the editor opens ready for the studied language";

    // A new row at the end: the word, Enter on to its translation, typed under ru.
    press(XK_Insert);
    type("zebra");
    press(XK_Return);
    // The keys below must come after the switch: the server gives them the group it has then.
    ASSERT_TRUE(groupBecomes(1)) << "the translation column switches to the native layout";
    type("pt,hf"); // "зебра" on the Russian layout's keys
    press(XK_Return);
    press(XK_s, XK_Control_L);
    // Saving writes the dictionary and drops its index.
    EXPECT_TRUE(ProgramOnX::waitFor([&] { return !QFileInfo::exists(cdx); }, 20000)) << "Ctrl+S did not save";
    press(XK_Escape);
    ASSERT_EQ(waitForWindow("Редактирование словаря", false), 0u) << "Esc did not close the saved editor";
    press(XK_Escape);
    ASSERT_EQ(waitForWindow("Словари", false), 0u) << "Esc did not close the dictionaries window";
    endAndCheck(wrd);

    // The new word with its counters at 0; the words already there as they were.
    TDbfDataSet words;
    words.SetExclusive(true);
    OpenDictionary(words, wrd.chopped(4).toStdString());
    std::vector<std::pair<QString, QString>> rows;
    for (words.First(); !words.Eof(); words.Next())
        rows.emplace_back(Text::fromCp1251(words.FieldByName("WORD1").AsString()),
                          Text::fromCp1251(words.FieldByName("WORD2").AsString()));
    std::sort(rows.begin(), rows.end());
    const std::vector<std::pair<QString, QString>> expected = {
        {"cat", "koshka"}, {"cow", "korova"}, {"dog", "sobaka"}, {"fox", "lisa"}, {"zebra", "зебра"}};
    EXPECT_EQ(rows, expected);
    ASSERT_TRUE(words.Locate("WORD1", "zebra"));
    for (const char *counter : {"MISS", "KBMISS", "INROW", "KBINROW"})
        EXPECT_EQ(words.FieldByName(counter).AsInteger(), 0) << counter;
    ASSERT_TRUE(words.Locate("WORD1", "cat"));
    EXPECT_EQ(words.FieldByName("MISS").AsInteger(), 2);
    words.Close();
}
