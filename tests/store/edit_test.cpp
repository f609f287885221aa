// The dictionary editor's logic on real files: the working copy, saving (also when the disk
// refuses), the save question on close, Создать, blocks, search, refused text and sounds.
#include "EditorFixture.h"

#include "platform/FileTools.h"
#include "store/Working.h"

#include "common/ToolRun.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::vector<EWord> kAnimals = {
    {"pear", "груша", 3}, {"apple", "яблоко", 1}, {"fig", "инжир", 2}, {"kiwi", "киви", 0},
};

// Runs `body` in a child process whose files may not grow beyond `limit` bytes; returns its
// exit code (the write that would pass the limit fails instead of ending the process).
int withFileSizeLimit(rlim_t limit, const std::function<int()> &body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit r {limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &r);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// A dictionary large enough that its copy passes a small size limit.
std::vector<EWord> manyWords(int n)
{
    std::vector<EWord> list;
    for (int i = 0; i < n; ++i)
        list.push_back({QString("word%1").arg(i), QString("слово%1").arg(i), i % 5});
    return list;
}

QStringList folderFiles(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

using EditorTest = EditorFixture;

TEST_F(EditorTest, OpeningMakesAWorkingCopyAndEmptiesLeftovers)
{
    home.writeFile("TEMP/~stale.wrd", "left by a crash");
    editor = std::make_unique<TEditor>(topics); // the editor opens on an emptied TEMP/
    editor->InstallHandlers();
    EXPECT_TRUE(tempFiles().isEmpty());

    make(on("fruit"), kAnimals);
    const QByteArray original = bytes(on("fruit.wrd"));
    ASSERT_TRUE(editor->OpenDictionary(on("fruit.wrd")));
    EXPECT_EQ(editor->DictionaryPath(), on("fruit"));
    EXPECT_EQ(editor->WorkingCopy(), home.home() + "TEMP/~fruit");
    EXPECT_EQ(tempFiles(), (QStringList{"~fruit.cdx", "~fruit.wrd"}));
    EXPECT_EQ(editor->Caption(), QString("Редактирование словаря fruit"));
    EXPECT_EQ(editor->StatusCount(), QString("В этом словаре 4 слов"));
    EXPECT_EQ(editor->StatusDirty(), QString(" "));
    EXPECT_TRUE(editor->EditingEnabled());
    // MISS order, as the dictionary opens.
    EXPECT_EQ(gridWords().front().first, QString("kiwi"));

    // Edits go to the copy only; "Нет" leaves the dictionary byte for byte.
    TWordsModel &m = editor->Model();
    ASSERT_TRUE(m.setData(m.index(0, 0), "kiwifruit"));
    words.Post();
    EXPECT_TRUE(editor->Dirty());
    EXPECT_EQ(editor->StatusDirty(), QString("*"));
    questions.answer(TFMessage::No);
    EXPECT_TRUE(editor->CloseDictionary());
    EXPECT_EQ(bytes(on("fruit.wrd")), original);
    EXPECT_TRUE(tempFiles().isEmpty());
    EXPECT_EQ(editor->Caption(), QString("Edit"));
    EXPECT_EQ(editor->StatusCount(), QString("Словарь не загружен"));
    EXPECT_EQ(RecentDictionaryList(), QStringList{on("fruit")});
}

TEST_F(EditorTest, SaveDropsBlankAndDeletedRowsInTheGridsOrderAndPassesTheCheck)
{
    make(on("fruit"), kAnimals);
    home.writeFile("BASE/ON/fruit.cdx", QByteArray()); // any index is dropped by the save
    ASSERT_TRUE(editor->OpenDictionary(on("fruit")));
    // Consecutive blank rows, one with only a transcription, and a deleted word.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(editor->AppendRow());
        if (i == 2)
            ASSERT_TRUE(editor->SetCurrentText("TRANSCRIPT", "[-]"));
        words.Post();
    }
    typeRow("banana", "банан");
    ASSERT_TRUE(words.Locate("WORD1", "fig"));
    ASSERT_TRUE(editor->DeleteCurrentRow());
    editor->SortByColumn(1); // translations
    ASSERT_TRUE(words.Locate("WORD1", "pear"));

    ASSERT_TRUE(editor->Save());
    EXPECT_FALSE(editor->Dirty());
    EXPECT_TRUE(editor->Saved());
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join("|").toStdString();
    EXPECT_FALSE(QFileInfo::exists(on("fruit.cdx")));
    EXPECT_EQ(folderFiles(home.home() + "BASE/ON"), QStringList{"fruit.wrd"});
    // The cursor is back on the record the user was on.
    EXPECT_EQ(Text::fromCp1251(words.FieldByName("WORD1").AsString()), QString("pear"));
    const std::vector<std::pair<QString, QString>> expected = {
        {"banana", "банан"}, {"pear", "груша"}, {"kiwi", "киви"}, {"apple", "яблоко"}};
    EXPECT_EQ(gridWords(), expected);
    EXPECT_EQ(fileWords(on("fruit.wrd")), expected);

    const ToolRun check = dictTool({"check", on("fruit.wrd")});
    EXPECT_EQ(check.exit, 0) << check.out << check.err;
}

TEST_F(EditorTest, AFailedSaveLeavesTheDictionaryByteForByte)
{
    make(on("big"), manyWords(60));
    const QByteArray original = bytes(on("big.wrd"));
    ASSERT_GT(original.size(), 20000);
    ASSERT_TRUE(editor->OpenDictionary(on("big")));
    TWordsModel &m = editor->Model();
    ASSERT_TRUE(m.setData(m.index(0, 1), "изменено"));
    words.Post();
    ASSERT_TRUE(editor->Dirty());

    for (bool saveAs : {false, true}) {
        const int code = withFileSizeLimit(8000, [&] {
            if (saveAs)
                files.answer({on("big.wrd")});
            const bool ok = saveAs ? editor->SaveAs() : editor->Save();
            int r = ok ? 1 : 0;
            r |= editor->Dirty() ? 0 : 2;
            r |= editor->Saved() ? 4 : 0;
            const QStringList shown = boxes.texts();
            if (shown.size() != 1 || shown[0] != "Программе не удалось создать временный файл " + on("big.wrd"))
                r |= 8;
            r |= editor->HasWorkingCopy() ? 0 : 16;
            return r;
        });
        EXPECT_EQ(code, 0) << (saveAs ? "save as" : "save");
        EXPECT_EQ(bytes(on("big.wrd")), original);
        EXPECT_EQ(folderFiles(home.home() + "BASE/ON"), (QStringList{"big.cdx", "big.wrd"}));
    }
    // Without the limit the same save goes through.
    ASSERT_TRUE(editor->Save());
    EXPECT_EQ(fileWords(on("big.wrd")).size(), 60u);
}

TEST_F(EditorTest, CloseAnswersKeepOrDropExactlyWhatTheyShould)
{
    enum Outcome { Saves, SaveFails, Cancelled };
    struct Case {
        bool untitled;
        int answer;
        Outcome save; // what "Да" runs into
        bool result;
        bool changed;      // the titled dictionary holds the new word
        bool tempKept;     // the working copy is still there
        bool untitledKept; // the untitled files are still there
    };
    const Case cases[] = {
        {false, TFMessage::Yes, Saves, true, true, false, false},
        {false, TFMessage::Yes, SaveFails, false, false, true, false},
        {false, TFMessage::No, Saves, true, false, false, false},
        {false, TFMessage::Cancel, Saves, false, false, true, false},
        {true, TFMessage::Yes, Saves, true, false, false, false},
        {true, TFMessage::Yes, Cancelled, false, false, true, true},
        {true, TFMessage::Yes, SaveFails, false, false, true, true},
        {true, TFMessage::No, Saves, true, false, false, false},
        {true, TFMessage::Cancel, Saves, false, false, true, true},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << n++);
        // Hooks of their own: a child process takes its answers from its copy of the queue.
        TFMessage::TestHook questions;
        Dialogs::FileHook files;
        editor = std::make_unique<TEditor>(topics);
        editor->InstallHandlers();
        for (const QString &f : folderFiles(home.home() + "BASE/ON"))
            QFile::remove(home.home() + "BASE/ON/" + f);
        SetDefaultOptions(Options); // empties the recent list
        make(on("titled"), manyWords(60));
        const QByteArray original = bytes(on("titled.wrd"));
        if (c.untitled)
            ASSERT_TRUE(editor->Create());
        else
            ASSERT_TRUE(editor->OpenDictionary(on("titled")));
        const QString untitled = on("Новый словарь.wrd");
        typeRow("новое", "new");
        questions.answer(c.answer);
        if (c.untitled && c.save != Cancelled)
            files.answer({on("saved.wrd")});

        bool result;
        if (c.save == SaveFails) {
            const int code = withFileSizeLimit(500, [&] { return editor->CloseDictionary() ? 1 : 0; });
            result = code == 1;
            ASSERT_LT(code, 2);
        } else {
            result = editor->CloseDictionary();
        }
        questions.clear();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(bytes(on("titled.wrd")) != original, c.changed);
        EXPECT_EQ(!tempFiles().isEmpty(), c.tempKept);
        if (c.untitled) {
            EXPECT_EQ(QFileInfo::exists(untitled), c.untitledKept);
            // A deleted untitled path never enters the recent list.
            EXPECT_FALSE(RecentDictionaryList().contains(on("Новый словарь")));
            const bool savedAs = c.answer == TFMessage::Yes && c.save == Saves;
            EXPECT_EQ(QFileInfo::exists(on("saved.wrd")), savedAs);
            if (savedAs)
                EXPECT_EQ(fileWords(on("saved.wrd")), (std::vector<std::pair<QString, QString>>{{"новое", "new"}}));
        }
        if (!c.result && c.save != SaveFails)
            EXPECT_TRUE(editor->Dirty()); // the edits stay
        if (!c.result && c.save != SaveFails)
            EXPECT_TRUE(editor->HasWorkingCopy());
        // Leave nothing open for the next case.
        TFMessage::TestHook cleanup;
        cleanup.answer(TFMessage::No);
        editor->CloseDictionary();
    }
}

TEST_F(EditorTest, AnUntitledDictionaryNeverChangedClosesEverything)
{
    ASSERT_TRUE(editor->Create());
    EXPECT_TRUE(editor->Untitled());
    EXPECT_TRUE(QFileInfo::exists(on("Новый словарь.wrd")));
    EXPECT_FALSE(tempFiles().isEmpty());
    ASSERT_TRUE(editor->CloseDictionary());
    EXPECT_TRUE(questions.shown().isEmpty());
    EXPECT_TRUE(folderFiles(home.home() + "BASE/ON").isEmpty());
    EXPECT_TRUE(tempFiles().isEmpty());
    EXPECT_FALSE(words.Active());
    EXPECT_TRUE(RecentDictionaryList().isEmpty());
}

TEST_F(EditorTest, SaveAsOntoTheUntitledFilesOwnPathKeepsIt)
{
    ASSERT_TRUE(editor->Create());
    typeRow("one", "один");
    files.answer({on("Новый словарь.wrd")});
    ASSERT_TRUE(editor->Save()); // untitled: runs Сохранить как
    EXPECT_FALSE(editor->Untitled());
    EXPECT_FALSE(editor->Dirty());
    EXPECT_TRUE(editor->Saved());
    EXPECT_EQ(editor->DictionaryPath(), on("Новый словарь"));
    EXPECT_EQ(fileWords(on("Новый словарь.wrd")), (std::vector<std::pair<QString, QString>>{{"one", "один"}}));
    ASSERT_TRUE(editor->CloseDictionary());
    EXPECT_TRUE(QFileInfo::exists(on("Новый словарь.wrd")));
    EXPECT_EQ(RecentDictionaryList(), QStringList{on("Новый словарь")});
}

TEST_F(EditorTest, CreateNeverTruncatesANameInAnotherLetterCase)
{
    make(on("новый словарь"), kAnimals);
    const QByteArray existing = bytes(on("новый словарь.wrd"));
    ASSERT_TRUE(editor->Create());
    EXPECT_EQ(editor->DictionaryPath(), on("Новый словарь0"));
    EXPECT_EQ(bytes(on("новый словарь.wrd")), existing);
    EXPECT_EQ(editor->Model().rowCount(), 0);
}

TEST_F(EditorTest, WithoutAWorkingCopyTheCommandsDoNothing)
{
    for (const auto &command : std::vector<std::function<bool()>>{
             [&] { return editor->Save(); }, [&] { return editor->SaveAs(); }, [&] { return editor->LoadBlock(); },
             [&] { return editor->SaveBlock({1}); }, [&] { return editor->Search(); }, [&] { return editor->Import(); },
             [&] { return editor->PickSound(); }, [&] { return editor->AppendRow(); },
             [&] { return editor->DeleteCurrentRow(); }})
        EXPECT_FALSE(command());
    EXPECT_TRUE(files.shown().isEmpty());
    EXPECT_TRUE(lines.shown().isEmpty());
    EXPECT_TRUE(boxes.texts().isEmpty());
}

TEST_F(EditorTest, BlocksCopySelectedRowsAndLoadWithCountersZero)
{
    make(on("fruit"), kAnimals);
    make(on("more"), {{"plum", "слива", 4}, {"lime", "лайм", 2}});
    home.writeFile("blocks/part.cdx", "an orphan index");
    ASSERT_TRUE(editor->OpenDictionary(on("fruit")));
    editor->SortByColumn(0); // apple fig kiwi pear
    TWordsModel &m = editor->Model();
    ASSERT_EQ(m.data(m.index(0, 0)).toString(), QString("apple"));
    // Rows 0 and 2 of the sorted grid, a selection with a gap.
    const std::vector<std::uint32_t> selected = {m.RecordAt(0), m.RecordAt(2)};
    files.answer({home.home() + "blocks/part"});
    ASSERT_TRUE(editor->SaveBlock(selected)) << boxes.texts().join("|").toStdString()
                                             << questions.shown().size();
    EXPECT_TRUE(editor->Saved());
    EXPECT_FALSE(QFileInfo::exists(home.home() + "blocks/part.cdx"));
    EXPECT_EQ(fileWords(home.home() + "blocks/part.wrd"),
              (std::vector<std::pair<QString, QString>>{{"apple", "яблоко"}, {"kiwi", "киви"}}));
    EXPECT_FALSE(editor->Dirty()); // the dictionary itself is unchanged

    // No rows selected: nothing is written.
    files.answer({home.home() + "blocks/none.wrd"});
    EXPECT_FALSE(editor->SaveBlock({}));
    EXPECT_FALSE(QFileInfo::exists(home.home() + "blocks/none.wrd"));

    // Loading appends with the counters zeroed.
    files.answer({on("more.wrd")});
    ASSERT_TRUE(editor->LoadBlock());
    EXPECT_TRUE(editor->Dirty());
    EXPECT_EQ(m.RecordRows(), 6);
    for (const char *w : {"plum", "lime"}) {
        ASSERT_TRUE(words.Locate("WORD1", w));
        for (const char *f : {"MISS", "KBMISS", "INROW", "KBINROW"})
            EXPECT_EQ(words.FieldByName(f).AsInteger(), 0) << w << " " << f;
    }

    // The working copy is neither a source nor a target of a block.
    boxes.clear();
    files.answer({editor->WorkingCopy() + ".wrd"});
    EXPECT_FALSE(editor->LoadBlock());
    files.answer({editor->WorkingCopy() + ".wrd"});
    EXPECT_FALSE(editor->SaveBlock(selected));
    EXPECT_EQ(boxes.texts().size(), 2);
    EXPECT_EQ(m.RecordRows(), 6);
}

TEST_F(EditorTest, SearchFindsTheWordThenTheTranslationExactly)
{
    make(on("fruit"), kAnimals);
    ASSERT_TRUE(editor->OpenDictionary(on("fruit")));
    struct Case { QString typed; bool found; QString word; };
    const Case cases[] = {
        {"fig", true, "fig"}, {"груша", true, "pear"}, {"Fig", false, ""}, {"fi", false, ""}, {"日本", false, ""},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(words.Locate("WORD1", "kiwi"));
        lines.answer({TFLineInput::Ok, c.typed});
        EXPECT_EQ(editor->Search(), c.found) << c.typed.toStdString();
        EXPECT_EQ(Text::fromCp1251(words.FieldByName("WORD1").AsString()), c.found ? c.word : QString("kiwi"));
        EXPECT_EQ(words.IndexName(), "MISS"); // the order stays
    }
    EXPECT_EQ(lines.shown().last().prompt, QString("Поиск по словарю"));
}

TEST_F(EditorTest, TextAFieldCannotHoldIsRefusedNeverCut)
{
    make(on("fruit"), kAnimals);
    ASSERT_TRUE(editor->OpenDictionary(on("fruit")));
    TWordsModel &m = editor->Model();
    const QString before = m.data(m.index(0, 0)).toString();
    struct Case { QString text; bool kept; };
    const Case cases[] = {
        {QString(80, QChar(u'ж')), true}, {QString(81, 'a'), false}, {"日本", false}, {"—ok «ё» №", true},
    };
    for (const Case &c : cases) {
        boxes.clear();
        EXPECT_EQ(m.setData(m.index(0, 0), c.text), c.kept) << c.text.toStdString();
        EXPECT_EQ(boxes.texts().size(), c.kept ? 0 : 1);
        EXPECT_EQ(m.data(m.index(0, 0)).toString(), c.kept ? c.text : m.data(m.index(0, 0)).toString());
        words.Cancel();
    }
    EXPECT_EQ(m.data(m.index(0, 0)).toString(), before);
    boxes.clear();
    EXPECT_FALSE(editor->SetCurrentText("TRANSCRIPT", QString(81, 't')));
    EXPECT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(words.State(), dsBrowse);
}

TEST_F(EditorTest, SoundsAreStoredRelativeInsideTheProgramFolderAndMeasured)
{
    make(on("fruit"), kAnimals);
    ASSERT_TRUE(editor->OpenDictionary(on("fruit")));
    home.writeFile("SOUND/words/kiwi.wav", QByteArray(1234, 'w'));
    QTemporaryDir outside;
    const QString elsewhere = outside.path() + "/kiwi.wav";
    { QFile f(elsewhere); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); f.write(QByteArray(77, 'x')); }
    const QString tooLong = outside.path() + "/" + QString(250, 'l') + ".wav";
    { QFile f(tooLong); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); f.write("x"); }

    struct Case { QString chosen; bool ok; QString stored; int end; int errors; };
    const Case cases[] = {
        {home.home() + "SOUND/words/kiwi.wav", true, "\\SOUND\\words\\kiwi.wav", 1234, 0},
        {elsewhere, true, elsewhere, 77, 0},
        {outside.path() + "/missing.wav", false, "", 0, 1}, // unreadable: error 9, record unchanged
        {tooLong, false, "", 0, 1},                          // over 255 bytes: refused
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(words.Locate("WORD1", "kiwi"));
        words.Edit();
        words.FieldByName("WAVFILE").SetAsString("");
        words.FieldByName("WAVEND").SetAsInteger(0);
        words.Post();
        boxes.clear();
        files.answer({c.chosen});
        EXPECT_EQ(editor->PickSound(), c.ok) << c.chosen.toStdString();
        EXPECT_EQ(Text::fromCp1251(words.FieldByName("WAVFILE").AsString()), c.stored);
        EXPECT_EQ(words.FieldByName("WAVEND").AsInteger(), c.end);
        EXPECT_EQ(words.FieldByName("WAVSTART").AsInteger(), 0);
        EXPECT_EQ(boxes.texts().size(), c.errors);
        if (c.stored.isEmpty() && c.errors == 1 && !c.chosen.contains("lll"))
            EXPECT_EQ(boxes.texts().value(0), "Программе не удалось открыть файл " + c.chosen);
    }
    // The dialog proposes the word's own name; the folder chosen last is kept for next time.
    EXPECT_TRUE(files.shown().first().start.endsWith("/kiwi.wav"));
    EXPECT_EQ(OptionText(Options.SoundFolder), outside.path());
    EXPECT_TRUE(TEditor::SoundPlayable("\\SOUND\\words\\kiwi.wav"));
    EXPECT_FALSE(TEditor::SoundPlayable("\\SOUND\\none.wav"));
}

TEST_F(EditorTest, ImportAppendsTextFilesToTheWorkingCopy)
{
    make(on("fruit"), kAnimals);
    const QByteArray original = bytes(on("fruit.wrd"));
    home.writeFile("import/more.csv", "plum;слива\nlime;лайм;[laim]\n");
    home.writeFile("import/pairs.txt", "cherry\nвишня\n");
    ASSERT_TRUE(editor->OpenDictionary(on("fruit")));
    TFWorking::TestHook progress;
    bool hidden = false, shownAgain = false;
    editor->SetWindowVisible = [&](bool visible) { (visible ? shownAgain : hidden) = true; };
    files.answer({home.home() + "import/more.csv", home.home() + "import/pairs.txt"});
    ASSERT_TRUE(editor->Import());
    EXPECT_TRUE(hidden);
    EXPECT_TRUE(shownAgain);
    EXPECT_EQ(files.shown().last().title, QString("Выбирите дополнительный словарь."));
    EXPECT_EQ(editor->Model().RecordRows(), 7);
    EXPECT_EQ(editor->StatusCount(), QString("В этом словаре 7 слов"));
    EXPECT_TRUE(editor->Dirty());
    ASSERT_TRUE(words.Locate("WORD1", "lime"));
    EXPECT_EQ(Text::fromCp1251(words.FieldByName("WORD2").AsString()), QString("лайм"));
    EXPECT_EQ(words.FieldByName("MISS").AsInteger(), 0);
    EXPECT_TRUE(words.Locate("WORD2", Text::toCp1251("вишня")));
    EXPECT_EQ(OptionText(Options.ImportFolder), home.home() + "import");
    EXPECT_EQ(bytes(on("fruit.wrd")), original); // the dictionary only changes when saved

    // A cancelled dialog imports nothing and keeps the folder.
    EXPECT_FALSE(editor->Import());
    EXPECT_EQ(OptionText(Options.ImportFolder), home.home() + "import");
    EXPECT_EQ(editor->Model().RecordRows(), 7);
}
