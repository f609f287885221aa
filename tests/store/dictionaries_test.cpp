// The dictionaries window on real files: the logic driven without a window (ticks, create,
// rename, delete, reset, edit, import and download hooks, what is reported on close), and the
// thin window over it (marks put back, disabled commands, placement saved on close).
#include "store/Dictionaries.h"

#include "DictionaryFixture.h"

#include "messages/LineInput.h"
#include "messages/Message.h"
#include "platform/Dialogs.h"
#include "platform/Images.h"
#include "platform/MessageBox.h"
#include "platform/ServerSite.h"
#include "settings/TOptions.h"
#include "store/Working.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>

namespace {

using L = TDictionariesLogic;

class Dictionaries : public DictionaryHome {
protected:
    void SetUp() override
    {
        DictionaryHome::SetUp();
        SetDefaultOptions();
        TDictionaryHooks::EditDictionary = nullptr;
        TDictionaryHooks::RunDownload = nullptr;
    }
    void TearDown() override
    {
        TDictionaryHooks::EditDictionary = nullptr;
        TDictionaryHooks::RunDownload = nullptr;
        DictionaryHome::TearDown();
    }
    QStringList names(const L &logic, L::List list) const
    {
        QStringList out;
        for (const L::Entry &e : logic.Entries(list))
            out << (e.Ticked() ? "+" : "-") + e.name;
        return out;
    }

    TFMessage::TestHook questions;
    TFLineInput::TestHook lines;
    MessageBox::TestHook boxes;
};

} // namespace

TEST_F(Dictionaries, ListsShowBothFoldersOfEachSortedAndBrowsingChangesNothing)
{
    make(tkOn, "b");
    make(tkOff, "A");
    make(tkOff, "c");
    make(tkLearned, "x");
    make(tkLearnedOff, "w");
    L logic(*Topics);
    logic.FillLists();
    EXPECT_EQ(names(logic, L::ListOn), (QStringList{"-A", "+b", "-c"}));
    EXPECT_EQ(names(logic, L::ListLearned), (QStringList{"-w", "+x"}));
    EXPECT_EQ(logic.Selected(L::ListOn), 0);
    EXPECT_EQ(logic.Selected(L::ListLearned), -1);
    logic.Select(L::ListLearned, 1);
    logic.Select(L::ListOn, 2);
    EXPECT_FALSE(logic.Modified());
    EXPECT_EQ(logic.ChangedFolders(), 0u);
}

TEST_F(Dictionaries, TickingMovesBothFilesBetweenTheFoldersOfItsList)
{
    struct Case { L::List list; TopicKind from, to; bool tick; };
    const Case cases[] = {
        {L::ListOn, tkOff, tkOn, true},
        {L::ListOn, tkOn, tkOff, false},
        {L::ListLearned, tkLearnedOff, tkLearned, true},
        {L::ListLearned, tkLearned, tkLearnedOff, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.from));
        make(c.from, "x", {{"w", "t", 2, 1}});
        L logic(*Topics);
        logic.FillLists();
        ASSERT_TRUE(logic.SetTicked(c.list, logic.Find(c.list, "x", c.from), c.tick));
        EXPECT_FALSE(has(c.from, "x.wrd"));
        EXPECT_FALSE(has(c.from, "x.cdx"));
        EXPECT_TRUE(has(c.to, "x.wrd"));
        EXPECT_TRUE(has(c.to, "x.cdx"));
        EXPECT_EQ(logic.Entries(c.list)[0].folder, c.to);
        EXPECT_TRUE(logic.Modified());
        EXPECT_EQ(logic.ChangedFolders(), KindBit(c.from) | KindBit(c.to));
        EXPECT_EQ(column(path(c.to, "x"), "MISS"), std::vector<std::string>{"2"});
        QFile::remove(dir(c.to) + "x.wrd");
        QFile::remove(dir(c.to) + "x.cdx");
    }
    EXPECT_TRUE(questions.shown().isEmpty());
}

TEST_F(Dictionaries, ATickOntoATakenNameMovesNothingAndTheMarkNamesTheRealFolder)
{
    make(tkOn, "x", {{"ticked", "t"}});
    make(tkOff, "x", {{"unticked", "t"}});
    L logic(*Topics);
    logic.FillLists();
    const int row = logic.Find(L::ListOn, "x", tkOff);
    const QStringList before = baseFiles();
    EXPECT_FALSE(logic.SetTicked(L::ListOn, row, true));
    ASSERT_EQ(questions.shown().size(), 1);
    EXPECT_EQ(questions.shown()[0].caption, "Error");
    EXPECT_EQ(questions.shown()[0].text, "Can't move\n x.wrd");
    EXPECT_EQ(baseFiles(), before);
    EXPECT_EQ(logic.Entries(L::ListOn)[row].folder, tkOff) << "the mark is put back";
    EXPECT_FALSE(logic.Modified());
    // So the following Delete works on the unticked dictionary the entry names.
    questions.answer(TFMessage::Yes);
    logic.Select(L::ListOn, row);
    logic.Delete(L::ListOn);
    EXPECT_FALSE(has(tkOff, "x.wrd"));
    EXPECT_EQ(column(path(tkOn, "x"), "WORD1"), std::vector<std::string>{"ticked"});
}

TEST_F(Dictionaries, ADictionaryWithoutIndexMovesSilentlyAndAStrayIndexNeverJoinsIt)
{
    make(tkOff, "x", {{"mine", "t"}});
    QFile::remove(dir(tkOff) + "x.cdx");
    // An index whose table is gone, of the same name, in the destination.
    make(tkOn, "x", {{"foreign", "f"}, {"other", "o"}});
    QFile::remove(dir(tkOn) + "x.wrd");
    L logic(*Topics);
    logic.FillLists();
    ASSERT_TRUE(logic.SetTicked(L::ListOn, 0, true));
    EXPECT_TRUE(questions.shown().isEmpty());
    EXPECT_TRUE(has(tkOn, "x.wrd"));
    EXPECT_FALSE(has(tkOn, "x.cdx")) << "the stray index was removed before the move";
    EXPECT_EQ(column(path(tkOn, "x"), "WORD1"), std::vector<std::string>{"mine"});
    ASSERT_TRUE(logic.SetTicked(L::ListOn, 0, false));
    EXPECT_TRUE(has(tkOff, "x.wrd"));
    EXPECT_TRUE(has(tkOff, "x.cdx")) << "built when it was opened, and moved with it";
}

TEST_F(Dictionaries, CreateFindsAFreeNameAndTicksTheNewDictionary)
{
    make(tkOff, "Taken");
    // An index without its table where the first new one goes: it must not become its index.
    make(tkOn, "Новый словарь", {{"foreign", "f"}});
    QFile::remove(dir(tkOn) + "Новый словарь.wrd");
    L logic(*Topics);
    logic.FillLists();
    for (int i = 0; i < 3; ++i)
        lines.answer({TFLineInput::Ok, "Новый словарь"});
    lines.answer({TFLineInput::Ok, "taken"});
    for (int i = 0; i < 4; ++i)
        logic.Create();
    ASSERT_EQ(lines.shown().size(), 4);
    EXPECT_EQ(lines.shown()[0].prompt, "Пожалуйта, введите имя нового словаря");
    EXPECT_EQ(lines.shown()[0].text, "Новый словарь");
    EXPECT_EQ(names(logic, L::ListOn), (QStringList{"-Taken", "+taken0", "+Новый словарь", "+Новый словарь0", "+Новый словарь1"}));
    EXPECT_EQ(logic.Entries(L::ListOn)[logic.Selected(L::ListOn)].name, "taken0") << "the new one is selected";
    EXPECT_TRUE(logic.Modified());
    EXPECT_EQ(logic.ChangedFolders(), KindBit(tkOn));
    EXPECT_FALSE(has(tkOn, "Новый словарь.cdx")) << "the stray index went before the table was made";
    // Cancel creates nothing.
    const QStringList before = baseFiles();
    logic.Create();
    EXPECT_EQ(baseFiles(), before);
}

TEST_F(Dictionaries, BadNamesAreRefusedAndAskedAgainWithTheTextKept)
{
    const QString bad[] = {"", "   ", "a/b", "..\\x", ".", "..", ".hidden", "tab\there", QString(300, 'n'), "../../escape"};
    const QStringList before = baseFiles();
    const QStringList rootBefore = QDir(home.home()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const QString &name : bad) {
        SCOPED_TRACE(name.toStdString());
        L logic(*Topics);
        logic.FillLists();
        lines.clear();
        questions.clear();
        lines.answer({TFLineInput::Ok, name});
        logic.Create(); // asked again, then cancelled
        ASSERT_EQ(lines.shown().size(), 2);
        EXPECT_EQ(lines.shown()[1].text, name);
        ASSERT_EQ(questions.shown().size(), 1);
        EXPECT_FALSE(questions.shown()[0].text.isEmpty());
        EXPECT_FALSE(logic.Modified());
    }
    EXPECT_EQ(baseFiles(), before);
    EXPECT_EQ(QDir(home.home()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), rootBefore);
    EXPECT_EQ(QDir(home.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 3) << "home, config, runtime";
}

TEST_F(Dictionaries, AFailedCreateSaysSo)
{
    QDir().mkpath(dir(tkOn) + "Новый словарь.wrd"); // a folder where the table would go
    L logic(*Topics);
    logic.FillLists();
    lines.answer({TFLineInput::Ok, "Новый словарь"});
    logic.Create();
    ASSERT_EQ(questions.shown().size(), 1);
    EXPECT_EQ(questions.shown()[0].text, "Can't create file\n " + path(tkOn, "Новый словарь") + ".wrd");
    EXPECT_FALSE(logic.Modified());
}

TEST_F(Dictionaries, RenameKeepsTheWordsAndNeverReplacesAnotherDictionary)
{
    make(tkLearned, "old", {{"w", "t", 4, 2}});
    make(tkLearned, "other", {{"keep", "k"}});
    make(tkLearnedOff, "noindex", {{"n", "n"}});
    QFile::remove(dir(tkLearnedOff) + "noindex.cdx");
    L logic(*Topics);
    logic.FillLists();
    struct Case { QString from, to; bool moves; QString message; };
    const Case cases[] = {
        {"old", "old", false, ""},                        // the same name is no change
        {"old", "OTHER", false, "Can't move\n old.wrd"},  // taken, in another letter case
        {"old", "new", true, ""},
        {"new", "New", true, ""},                         // only the case changes
        {"noindex", "plain", true, ""},                   // no index: no ".cdx" message
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((c.from + " -> " + c.to).toStdString());
        questions.clear();
        const int row = [&] {
            for (TopicKind k : {tkLearned, tkLearnedOff})
                if (int r = logic.Find(L::ListLearned, c.from, k); r >= 0)
                    return r;
            return -1;
        }();
        ASSERT_GE(row, 0);
        const TopicKind folder = logic.Entries(L::ListLearned)[row].folder;
        logic.Select(L::ListLearned, row);
        const bool modifiedBefore = logic.Modified();
        lines.answer({TFLineInput::Ok, c.to});
        logic.Rename(L::ListLearned);
        EXPECT_EQ(lines.shown().last().text, c.from);
        EXPECT_TRUE(has(folder, (c.moves ? c.to : c.from) + ".wrd"));
        if (c.from != c.to) {
            EXPECT_EQ(has(folder, c.to + ".wrd"), c.moves);
            EXPECT_EQ(has(folder, c.from + ".wrd"), !c.moves);
        }
        EXPECT_EQ(logic.Modified(), modifiedBefore || c.moves);
        if (c.message.isEmpty())
            EXPECT_TRUE(questions.shown().isEmpty());
        else
            EXPECT_EQ(questions.shown().value(0).text, c.message);
        if (c.moves)
            EXPECT_EQ(logic.Entries(L::ListLearned)[logic.Selected(L::ListLearned)].name, c.to);
    }
    EXPECT_TRUE(has(tkLearned, "New.cdx"));
    EXPECT_EQ(column(path(tkLearned, "New"), "KBMISS"), std::vector<std::string>{"4"});
    EXPECT_EQ(column(path(tkLearned, "New"), "DATE"), column(path(tkLearned, "other"), "DATE"));
    EXPECT_EQ(column(path(tkLearned, "other"), "WORD1"), std::vector<std::string>{"keep"});
}

TEST_F(Dictionaries, DeleteAsksFirstAndSelectsTheEntryBefore)
{
    for (const char *n : {"a", "b", "c"})
        make(tkOn, n);
    L logic(*Topics);
    logic.FillLists();
    logic.Select(L::ListOn, 1);
    questions.answer(TFMessage::No);
    logic.Delete(L::ListOn);
    EXPECT_TRUE(has(tkOn, "b.wrd"));
    EXPECT_FALSE(logic.Modified());
    EXPECT_EQ(questions.shown()[0].buttons, int(TFMessage::Question));

    struct Step { int select; QStringList left; int selected; };
    const Step steps[] = {{1, {"+a", "+c"}, 0}, {0, {"+c"}, 0}, {0, {}, -1}};
    for (const Step &s : steps) {
        logic.Select(L::ListOn, s.select);
        questions.answer(TFMessage::Yes);
        logic.Delete(L::ListOn);
        EXPECT_EQ(names(logic, L::ListOn), s.left);
        EXPECT_EQ(logic.Selected(L::ListOn), s.selected);
    }
    EXPECT_TRUE(logic.Modified());
    EXPECT_EQ(baseFiles(), (QStringList{"LEARNED", "LEARNEDOFF", "OFF", "ON"}));
    EXPECT_TRUE(Topics->Names(tkOn).isEmpty()) << "the catalogue knows";
}

TEST_F(Dictionaries, ResetAsksFirstThenZeroesTheCountersAndKeepsTheDate)
{
    make(tkLearnedOff, "l", {{"a", "b", 3, 2}, {"c", "d", 1, 5}});
    L logic(*Topics);
    logic.FillLists();
    logic.Select(L::ListLearned, 0);
    questions.answer(TFMessage::Cancel);
    logic.ResetStatistics(L::ListLearned);
    EXPECT_EQ(column(path(tkLearnedOff, "l"), "MISS"), (std::vector<std::string>{"3", "1"}));
    questions.answer(TFMessage::Yes);
    logic.ResetStatistics(L::ListLearned);
    for (const char *f : {"MISS", "KBMISS", "INROW", "KBINROW"})
        EXPECT_EQ(column(path(tkLearnedOff, "l"), f), (std::vector<std::string>{"0", "0"})) << f;
    const std::vector<std::string> date = column(path(tkLearnedOff, "l"), "DATE");
    EXPECT_EQ(date, (std::vector<std::string>{"17.05.2020", "17.05.2020"}));
    EXPECT_TRUE(logic.Modified());
}

TEST_F(Dictionaries, EditAndDownloadGoThroughTheirHooksOnlyWhenSet)
{
    make(tkLearned, "l");
    L logic(*Topics);
    logic.FillLists();
    logic.Select(L::ListLearned, 0);
    EXPECT_FALSE(logic.CanEdit(L::ListLearned));
    EXPECT_FALSE(logic.CanDownload());
    logic.Edit(L::ListLearned);
    logic.Download();
    EXPECT_FALSE(logic.Modified());

    QStringList edited;
    bool saves = false;
    TDictionaryHooks::EditDictionary = [&](const QString &p, QWidget *) {
        edited << p;
        return saves;
    };
    EXPECT_TRUE(logic.CanEdit(L::ListLearned));
    EXPECT_FALSE(logic.CanEdit(L::ListOn)) << "nothing selected there";
    logic.Edit(L::ListLearned);
    EXPECT_EQ(edited, QStringList{path(tkLearned, "l")});
    EXPECT_FALSE(logic.Modified()) << "nothing saved";
    saves = true;
    logic.Edit(L::ListLearned);
    EXPECT_TRUE(logic.Modified());

    L fresh(*Topics);
    fresh.FillLists();
    bool fetches = false;
    TDictionaryHooks::RunDownload = [&](QWidget *) {
        EXPECT_FALSE(TWords->Active()) << "nothing held open while files arrive";
        if (fetches)
            make(tkOn, "fetched");
        return fetches;
    };
    Topics->OpenDictionary(path(tkLearned, "l"));
    fresh.Download();
    EXPECT_FALSE(fresh.Modified());
    fetches = true;
    fresh.Download();
    EXPECT_TRUE(fresh.Modified());
    EXPECT_EQ(fresh.ChangedFolders(), KindBit(tkOn));
    EXPECT_EQ(names(fresh, L::ListOn), QStringList{"+fetched"});
}

TEST_F(Dictionaries, ImportTakesTheChosenFilesAndKeepsTheFolderWhenCancelled)
{
    SetOptionPath(Options.ImportFolder, "/somewhere/else");
    L logic(*Topics);
    logic.FillLists();
    Dialogs::FileHook dialogs;
    logic.Import(); // cancelled
    EXPECT_EQ(OptionText(Options.ImportFolder), "/somewhere/else");
    EXPECT_FALSE(logic.Modified());
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown()[0].kind, Dialogs::FileDialogKind::OpenFiles);
    EXPECT_EQ(dialogs.shown()[0].title, "Выберите файл");
    EXPECT_EQ(dialogs.shown()[0].start, "/somewhere/else");
    EXPECT_EQ(dialogs.shown()[0].defaultSuffix, "csv");

    const QString folder = home.root() + "/texts";
    QDir().mkpath(folder);
    for (const char *n : {"a.csv", "a.txt"}) {
        QFile f(folder + "/" + n);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(n) == "a.csv" ? "x;y\n" : "p\nq\n");
    }
    dialogs.answer({folder + "/a.csv", folder + "/a.txt"});
    TFWorking::TestHook summaries;
    logic.Import();
    EXPECT_EQ(OptionText(Options.ImportFolder), folder);
    EXPECT_TRUE(logic.Modified());
    EXPECT_EQ(logic.ChangedFolders(), KindBit(tkOn));
    EXPECT_EQ(names(logic, L::ListOn), QStringList{"+a"});
    EXPECT_EQ(column(path(tkOn, "a"), "WORD1"), (std::vector<std::string>{"x", "p"}));
}

TEST_F(Dictionaries, TheSiteNameComesFromTheServerFile)
{
    EXPECT_EQ(ServerSiteName(), "сервера");
    home.writeFile("wordpop-server.ini", "[Server]\nHost=\nSite=www.wordpop.example\n");
    EXPECT_EQ(ServerSiteName(), "www.wordpop.example");
    TImageList images;
    TFDictionaries window(*Topics, images);
    EXPECT_EQ(window.BDownload->text(), "Загрузить словари с www.wordpop.example");
}

// --- The window -----------------------------------------------------------------------------

TEST_F(Dictionaries, TheWindowPutsAFailedMarkBackAndOffersOnlyWhatCanRun)
{
    make(tkOn, "x");
    make(tkOff, "x");
    make(tkOff, "y");
    TImageList images;
    TFDictionaries window(*Topics, images);
    window.show();
    ASSERT_EQ(window.CLBOn->count(), 3);
    EXPECT_FALSE(window.BDownload->isEnabled());
    EXPECT_FALSE(window.MEdit[L::ListOn]->isEnabled());
    EXPECT_TRUE(window.MDelete[L::ListOn]->isEnabled());
    EXPECT_FALSE(window.MDelete[L::ListLearned]->isEnabled()) << "nothing selected in the learned list";
    EXPECT_TRUE(window.MCreate->isEnabled());

    // The unticked x: its move is refused and the mark goes back.
    const int row = window.Logic().Find(L::ListOn, "x", tkOff);
    window.CLBOn->item(row)->setCheckState(Qt::Checked);
    EXPECT_EQ(window.CLBOn->item(row)->checkState(), Qt::Unchecked);
    EXPECT_EQ(questions.shown().size(), 1);
    // y moves and keeps its mark.
    const int y = window.Logic().Find(L::ListOn, "y", tkOff);
    window.CLBOn->item(y)->setCheckState(Qt::Checked);
    EXPECT_EQ(window.CLBOn->item(y)->checkState(), Qt::Checked);
    EXPECT_TRUE(has(tkOn, "y.wrd"));

    TDictionaryHooks::EditDictionary = [](const QString &, QWidget *) { return false; };
    TDictionaryHooks::RunDownload = [](QWidget *) { return false; };
    TFDictionaries second(*Topics, images);
    second.show();
    EXPECT_TRUE(second.BDownload->isEnabled());
    EXPECT_TRUE(second.MEdit[L::ListOn]->isEnabled());
}

TEST_F(Dictionaries, EnterEditsAndClosingSavesTheListWidthAndPlace)
{
    make(tkOn, "a");
    QStringList edited;
    TDictionaryHooks::EditDictionary = [&](const QString &p, QWidget *) {
        edited << p;
        return false;
    };
    Options.DictionaryListWidth = 150;
    Options.DictionariesPinned = true;
    Options.DictionariesWindowRect = {40, 50, 500, 300};
    TImageList images;
    TFDictionaries window(*Topics, images);
    window.show();
    EXPECT_EQ(window.CLBOn->width(), 150);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(window.CLBOn, &enter);
    EXPECT_EQ(edited, QStringList{path(tkOn, "a")});

    window.SSplitter->setSizes({200, 200});
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(window.CLBOn, &esc);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(Options.DictionaryListWidth, 200);
    EXPECT_EQ(Options.DictionariesWindowRect.Width, 500);
    TOptions saved;
    LoadOptions(saved);
    EXPECT_EQ(saved.DictionaryListWidth, 200);
    EXPECT_EQ(saved.DictionariesWindowRect.Left, Options.DictionariesWindowRect.Left);
}

TEST_F(Dictionaries, TheWindowStepsAsideDuringAnImportAndComesBack)
{
    TImageList images;
    TFDictionaries window(*Topics, images);
    window.show();
    const QString csv = home.root() + "/Verbs.csv";
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("go;gehen\n");
    f.close();
    Dialogs::FileHook dialogs;
    dialogs.answer({csv});
    TFWorking::TestHook summaries;
    bool hiddenMeanwhile = false;
    TWords->BeforePost = [&](TDbfDataSet &) { hiddenMeanwhile = !window.isVisible(); };
    window.MImport->trigger();
    TWords->BeforePost = nullptr;
    EXPECT_TRUE(hiddenMeanwhile);
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(window.CLBOn->count(), 1);
    EXPECT_EQ(window.CLBOn->item(0)->text(), "Verbs");
    EXPECT_EQ(window.CLBOn->item(0)->checkState(), Qt::Checked);
    EXPECT_TRUE(window.Logic().Modified());
}
