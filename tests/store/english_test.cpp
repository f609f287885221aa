// The store's windows in the English interface and back in Russian: no Russian text left in any
// window, the dictionaries window's menus, the editor's menus, columns and status, the import's
// summary with its counted words, the refusals of typed texts; and that what the windows write
// (a new dictionary's name, an import's files) does not depend on the interface language.
#include "store/AddWord.h"
#include "store/Dictionaries.h"
#include "store/DictionaryNames.h"
#include "store/Duplicates.h"
#include "store/Edit.h"
#include "store/Working.h"

#include "DictionaryFixture.h"

#include "messages/LineInput.h"
#include "messages/Message.h"
#include "platform/Images.h"
#include "platform/Language.h"
#include "platform/MessageBox.h"
#include "settings/TOptions.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDirIterator>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>

#include <functional>
#include <map>
#include <memory>

namespace {

using Language::Ui;

const char *Name(Ui ui)
{
    return ui == Ui::English ? "English" : "Russian";
}

class English : public DictionaryHome {
protected:
    void SetUp() override
    {
        DictionaryHome::SetUp();
        SetDefaultOptions();
        TDictionaryHooks::EditDictionary = [](const QString &, QWidget *) { return false; };
    }
    void TearDown() override
    {
        Language::Install(Ui::Russian);
        TDictionaryHooks::EditDictionary = nullptr;
        DictionaryHome::TearDown();
    }

    // Every file under BASE/ with its bytes.
    std::map<QString, QByteArray> baseBytes() const
    {
        std::map<QString, QByteArray> out;
        QDirIterator it(home.home() + "BASE", QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            QFile f(p);
            EXPECT_TRUE(f.open(QIODevice::ReadOnly));
            QByteArray all = f.readAll();
            // Bytes 16 to 19 of a table's header are its change stamp, which no two writes share.
            if (p.endsWith(".wrd") && all.size() >= 20)
                all.replace(16, 4, QByteArray(4, '\0'));
            out[p.mid(home.home().size())] = all;
        }
        return out;
    }
    void clearBase()
    {
        for (const char *f : {"BASE/ON", "BASE/OFF", "BASE/LEARNED", "BASE/LEARNEDOFF"}) {
            QDir d(home.home() + f);
            for (const QString &e : d.entryList(QDir::Files | QDir::Hidden))
                d.remove(e);
        }
    }

    TFMessage::TestHook questions;
    TFLineInput::TestHook lines;
    MessageBox::TestHook boxes;
    TFWorking::TestHook summaries;
};

// Every text of a window the user reads (captions, labels, buttons, hints, accessible names,
// menus, column titles) that holds a Cyrillic letter, as "object: text".
QStringList CyrillicTexts(QWidget *window)
{
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    QStringList found;
    auto look = [&](const QObject *o, const QString &text) {
        if (text.contains(cyrillic))
            found << o->objectName() + ": " + text;
    };
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets.prepend(window);
    for (QWidget *w : widgets) {
        look(w, w->windowTitle());
        look(w, w->toolTip());
        look(w, w->accessibleName());
        if (auto *l = qobject_cast<QLabel *>(w))
            look(l, l->text());
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            look(b, b->text());
        if (auto *m = qobject_cast<QMenu *>(w))
            look(m, m->title());
        if (auto *v = qobject_cast<QAbstractItemView *>(w); v && v->model())
            for (int c = 0; c < v->model()->columnCount(); ++c)
                look(v, v->model()->headerData(c, Qt::Horizontal).toString());
        for (QAction *a : w->actions()) {
            look(a, a->text());
            look(a, a->toolTip());
        }
    }
    for (QAction *a : window->findChildren<QAction *>())
        look(a, a->text());
    return found;
}

} // namespace

TEST_F(English, NoStoreWindowShowsARussianTextInTheEnglishInterface)
{
    // Latin names for the data the windows show, so that only their own texts can be Russian.
    home.writeFile("wordpop-server.ini", "[Server]\nHost=\nSite=www.wordpop.example\n");
    make(tkOn, "verbs", {{"go", "run"}});
    TImageList images;
    struct Window {
        const char *name;
        std::function<std::unique_ptr<QWidget>()> make;
    };
    const Window windows[] = {
        {"dictionaries", [&] { return std::make_unique<TFDictionaries>(*Topics, images); }},
        {"editor", [&] {
             auto w = std::make_unique<TFEdit>(*Topics);
             w->Editor().OpenDictionary(path(tkOn, "verbs"));
             return std::unique_ptr<QWidget>(std::move(w));
         }},
        {"add word", [&] { return std::make_unique<TFAddWord>(*Topics, nullptr); }},
        {"duplicates", [&] { return std::make_unique<TFDuplicates>(nullptr, "go", "run", QList<TFDuplicates::Row>{{1, "go", "ran"}}); }},
        {"import progress", [&] { return std::make_unique<TFWorking>(); }},
    };
    for (Ui ui : {Ui::Russian, Ui::English}) {
        Language::Install(ui);
        for (const Window &w : windows) {
            SCOPED_TRACE(std::string(Name(ui)) + " " + w.name);
            std::unique_ptr<QWidget> window = w.make();
            const QStringList russian = CyrillicTexts(window.get());
            if (ui == Ui::English)
                EXPECT_TRUE(russian.isEmpty()) << russian.join('\n').toStdString();
            else
                EXPECT_FALSE(russian.isEmpty()) << "the Russian interface reads Russian";
        }
    }
}

TEST_F(English, TheDictionariesWindowReadsTheInterfaceLanguageAndKeepsItsNames)
{
    using L = TDictionariesLogic;
    struct Text {
        const char *what;
        std::function<QString(TFDictionaries &)> shown;
        QString russian, english;
    };
    auto action = [](QAction *TFDictionaries::*member) {
        return [member](TFDictionaries &w) { return (w.*member)->text(); };
    };
    auto item = [](QAction *(TFDictionaries::*member)[2], L::List list) {
        return [member, list](TFDictionaries &w) { return (w.*member)[list]->text(); };
    };
    const Text texts[] = {
        {"caption", [](TFDictionaries &w) { return w.windowTitle(); }, "Словари", "Dictionaries"},
        {"studied label", [](TFDictionaries &w) { return w.LOn->text(); }, "Изучаемые", "Studying"},
        {"learned label", [](TFDictionaries &w) { return w.LLearned->text(); }, "Выученные", "Learned"},
        {"close", [](TFDictionaries &w) { return w.BClose->text(); }, "Закрыть", "Close"},
        {"download without a site's name", [](TFDictionaries &w) { return w.BDownload->text(); },
         "Загрузить словари с сервера", "Download dictionaries from the server"},
        {"create", action(&TFDictionaries::MCreate), "Создать", "New"},
        {"edit", item(&TFDictionaries::MEdit, L::ListOn), "Редактировать", "Edit"},
        {"delete", item(&TFDictionaries::MDelete, L::ListOn), "Удалить", "Delete"},
        {"rename", item(&TFDictionaries::MRename, L::ListOn), "Переименовать", "Rename"},
        {"import", action(&TFDictionaries::MImport), "Импортировать", "Import"},
        {"reset", item(&TFDictionaries::MReset, L::ListOn), "Обнулить статистику", "Reset statistics"},
        // The learned list's menu is English in both.
        {"learned edit", item(&TFDictionaries::MEdit, L::ListLearned), "Edit", "Edit"},
        {"learned reset", item(&TFDictionaries::MReset, L::ListLearned), "Reset statistics", "Reset statistics"},
    };
    TImageList images;
    QStringList russianNames;
    for (Ui ui : {Ui::Russian, Ui::English, Ui::Russian}) {
        SCOPED_TRACE(Name(ui));
        Language::Install(ui);
        TFDictionaries window(*Topics, images);
        for (const Text &t : texts)
            EXPECT_EQ(t.shown(window), ui == Ui::English ? t.english : t.russian) << t.what;
        // Accessible names follow the captions, so a screen reader reads the same language.
        EXPECT_EQ(window.CLBOn->accessibleName(), window.LOn->text());
        // The menu items' object names do not depend on the language that names them.
        QStringList names;
        for (QMenu *menu : {window.PMOn, window.PMLearned})
            for (QAction *a : menu->actions())
                names << a->objectName();
        if (russianNames.isEmpty())
            russianNames = names;
        EXPECT_EQ(names, russianNames);
        EXPECT_TRUE(names.contains("MСоздать")) << names.join(',').toStdString();
    }
}

TEST_F(English, TheEditorsMenusColumnsAndStatusReadTheInterfaceLanguage)
{
    make(tkOn, "one", {{"cat", "кот"}});
    make(tkOn, "two", {{"cat", "кот"}, {"dog", "пёс"}});
    struct Case {
        Ui ui;
        QStringList menus, file, columns;
        QString none, one, two, caption;
    };
    const Case cases[] = {
        {Ui::Russian,
         {"Файл", "Редактировать", "Помощь"},
         {"Создать", "Открыть", "Закрыть", "Сохранить", "Сохранить как", "Импорт", "Выход\tEsc"},
         {"Изучаемые слова", "Переводы"},
         "Словарь не загружен",
         "В этом словаре 1 слов",
         "В этом словаре 2 слов",
         "Редактирование словаря two"},
        {Ui::English,
         {"File", "Edit", "Help"},
         {"New", "Open", "Close", "Save", "Save As", "Import", "Exit\tEsc"},
         {"Words", "Translations"},
         "No dictionary loaded",
         "This dictionary has 1 word",
         "This dictionary has 2 words",
         "Editing dictionary two"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(Name(c.ui));
        Language::Install(c.ui);
        TFEdit window(*Topics);
        QStringList menus;
        for (QAction *m : window.findChild<QMenuBar *>()->actions())
            menus << m->text();
        EXPECT_EQ(menus, c.menus);
        QStringList file;
        for (QAction *a : {window.ACreate, window.AOpen, window.AClose, window.ASave, window.ASaveAs, window.AImport,
                           window.AExit})
            file << a->text();
        EXPECT_EQ(file, c.file);
        QAbstractItemModel *model = window.GWords->model();
        EXPECT_EQ((QStringList{model->headerData(0, Qt::Horizontal).toString(), model->headerData(1, Qt::Horizontal).toString()}),
                  c.columns);
        EXPECT_EQ(window.SBCount->text(), c.none);
        EXPECT_EQ(window.windowTitle(), "Edit") << "the caption without a dictionary is the same in both";
        ASSERT_TRUE(window.Editor().OpenDictionary(path(tkOn, "one")));
        EXPECT_EQ(window.SBCount->text(), c.one);
        ASSERT_TRUE(window.Editor().OpenDictionary(path(tkOn, "two")));
        EXPECT_EQ(window.SBCount->text(), c.two);
        EXPECT_EQ(window.windowTitle(), c.caption);
        window.Editor().CloseDictionary();
    }
}

TEST_F(English, TheImportSummaryCountsInTheWordsOfEachLanguage)
{
    struct Case {
        int words, lost;
        QString russian, english;
    };
    const Case cases[] = {
        {1, 0, "Добавлено 1 слово.", "Added 1 word."},
        {2, 0, "Добавлено 2 слова.", "Added 2 words."},
        {5, 0, "Добавлено 5 слов.", "Added 5 words."},
        {11, 0, "Добавлено 11 слов.", "Added 11 words."},
        {21, 0, "Добавлено 21 слово.", "Added 21 words."},
        {0, 1, "Добавлено 0 слов.\n1 знака нет в кодировке словарей; вместо них записан знак \"?\".",
         "Added 0 words.\n1 character is missing from the dictionary encoding; \"?\" was written in its place."},
        {3, 21, "Добавлено 3 слова.\n21 знака нет в кодировке словарей; вместо них записан знак \"?\".",
         "Added 3 words.\n21 characters are missing from the dictionary encoding; \"?\" was written in their place."},
        {3, 12, "Добавлено 3 слова.\n12 знаков нет в кодировке словарей; вместо них записан знак \"?\".",
         "Added 3 words.\n12 characters are missing from the dictionary encoding; \"?\" was written in their place."},
    };
    for (Ui ui : {Ui::Russian, Ui::English}) {
        Language::Install(ui);
        for (const Case &c : cases) {
            TImportSummary s;
            s.recordsPosted = c.words;
            s.lostCharacters = c.lost;
            EXPECT_EQ(s.Text(), ui == Ui::English ? c.english : c.russian) << Name(ui) << " " << c.words << "/" << c.lost;
        }
    }
}

TEST_F(English, ANewDictionaryAndAnImportWriteTheSameFilesInEitherLanguage)
{
    const QString in = home.root() + "/in/";
    QDir().mkpath(in);
    auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(in + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return in + name;
    };
    const QStringList files = {write("Verbs.csv", "go;идти;[gəʊ]\nsee;видеть\n"), write("Pairs.txt", "one\nодин\ntwo\n")};

    std::map<QString, QByteArray> written[2];
    QStringList reported[2];
    for (Ui ui : {Ui::Russian, Ui::English}) {
        SCOPED_TRACE(Name(ui));
        Language::Install(ui);
        clearBase();
        // The dictionaries window's "New" proposes the same name, which becomes the file's.
        TDictionariesLogic logic(*Topics);
        logic.FillLists();
        lines.clear();
        lines.answer({TFLineInput::Ok, "Новый словарь"});
        logic.Create();
        ASSERT_EQ(lines.shown().size(), 1);
        EXPECT_EQ(lines.shown()[0].text, "Новый словарь");
        // The editor's "New" makes its untitled dictionary under the same name.
        {
            TEditor editor(*Topics);
            ASSERT_TRUE(editor.Create());
            EXPECT_TRUE(has(tkOn, "Новый словарь0.wrd"));
            ASSERT_TRUE(editor.CloseDictionary()); // unchanged: its files go again
        }
        summaries.clear();
        const TImportSummary s = ImportTextFiles(300, 300, true, files);
        EXPECT_EQ(s.recordsPosted, 4) << "the odd line comes in without its translation";
        written[int(ui)] = baseBytes();
        for (const TImportSummary &shown : summaries.shown())
            reported[int(ui)] << shown.Text();
    }
    QStringList names[2];
    for (int i = 0; i < 2; ++i)
        for (const auto &[name, bytes] : written[i])
            names[i] << name;
    EXPECT_EQ(names[0], (QStringList{"BASE/ON/Pairs.cdx", "BASE/ON/Pairs.wrd", "BASE/ON/Verbs.cdx", "BASE/ON/Verbs.wrd",
                                     "BASE/ON/Новый словарь.wrd"}));
    EXPECT_EQ(names[1], names[0]);
    for (const auto &[name, bytes] : written[0])
        EXPECT_EQ(written[1][name].toHex().toStdString(), bytes.toHex().toStdString()) << name.toStdString();
    // The odd line of Pairs.txt is reported in each language.
    ASSERT_EQ(reported[0].size(), 1);
    ASSERT_EQ(reported[1].size(), 1);
    EXPECT_TRUE(reported[0][0].contains("без перевода")) << reported[0][0].toStdString();
    EXPECT_TRUE(reported[1][0].contains("has no translation")) << reported[1][0].toStdString();
}

TEST_F(English, RefusalsOfTypedTextsReadTheInterfaceLanguage)
{
    struct Case {
        std::function<QString()> refusal;
        QString russian, english;
    };
    auto entry = [](QString TWordEntry::*field, const QString &text) {
        return [field, text] {
            TWordEntry e;
            e.*field = text;
            return TAddWord::EntryProblem(e);
        };
    };
    const Case cases[] = {
        {entry(&TWordEntry::word, QString(81, 'w')), "Слово длиннее 80 знаков.", "The word is longer than 80 characters."},
        {entry(&TWordEntry::soundFile, QString(256, 's')), "Имя звукового файла длиннее 255 знаков.",
         "The sound file name is longer than 255 characters."},
        {entry(&TWordEntry::translation, "✓"), "Перевод содержит знаки, которых нет в кодировке словаря (Windows-1251).",
         "The translation contains characters that the dictionary encoding (Windows-1251) does not have."},
        {[] { return DictionaryNameProblem(" "); }, "Имя словаря не может быть пустым.", "A dictionary name cannot be empty."},
        {[] { return DictionaryNameProblem(".x"); }, "Имя словаря не может начинаться с точки.",
         "A dictionary name cannot begin with a dot."},
    };
    for (Ui ui : {Ui::Russian, Ui::English}) {
        Language::Install(ui);
        for (const Case &c : cases)
            EXPECT_EQ(c.refusal().toStdString(), (ui == Ui::English ? c.english : c.russian).toStdString()) << Name(ui);
    }
}
