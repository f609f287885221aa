// The interface in either language: the windows read in the language installed, switching back
// and forth works, and nothing stored depends on it.
#include "learning/LessonFixture.h"

#include "learning/MainForm.h"
#include "messages/Information.h"
#include "messages/Message.h"
#include "platform/Images.h"
#include "platform/Language.h"
#include "shell/LessonStandIn.h"
#include "shell/TrayMenu.h"

#include <QAbstractButton>
#include <QDirIterator>
#include <QLabel>
#include <QTabBar>

#include <functional>
#include <map>

namespace {

using Language::Ui;

enum class Shown { Text, Hint, Name, Title };

struct TextCase {
    const char *window; // "trainer", "message", "information", "tray"
    const char *object; // object name; a tab is "PCInput:<index>"
    Shown what;
    const char *russian;
    const char *english;
};

const TextCase kTexts[] = {
    {"trainer", "PCInput:0", Shown::Text, "Выбор", "Choose"},
    {"trainer", "PCInput:1", Shown::Text, "Ввод", "Type"},
    {"trainer", "PCInput:2", Shown::Text, "Статистика", "Statistics"},
    {"trainer", "BHelp", Shown::Text, "Инфо", "Info"},
    {"trainer", "BEdit", Shown::Text, "Словари", "Dictionaries"},
    {"trainer", "BOptions", Shown::Text, "Настройки", "Options"},
    {"trainer", "BQuit", Shown::Text, "Выход", "Quit"},
    {"trainer", "BAddWord", Shown::Hint, "Добавить слово", "Add word"},
    {"trainer", "BEditWord", Shown::Hint, "Изменить слово", "Edit word"},
    {"trainer", "BPlay", Shown::Hint, "Воспроизвести звук", "Play sound"},
    {"trainer", "BMoveToLearned", Shown::Hint, "Перенести слово в выученные", "Move word to learned"},
    {"trainer", "BDelWord", Shown::Hint, "Удалить слово", "Delete word"},
    // An image button's accessible name is its hint, in whichever language.
    {"trainer", "BEditWord", Shown::Name, "Изменить слово", "Edit word"},
    {"trainer", "BMoveToLearned", Shown::Name, "Перенести слово в выученные", "Move word to learned"},
    {"trainer", "BRemember", Shown::Text, "Запомню", "I'll remember"},
    {"trainer", "LEnterAnswer", Shown::Text, "Введите перевод", "Type the translation"},
    {"trainer", "CBShowFirstLetter", Shown::Text, "Отображать первую букву", "Show the first letter"},
    {"trainer", "EAnswer", Shown::Name, "Ответ", "Answer"},
    {"message", "BYes", Shown::Text, "Да", "Yes"},
    {"message", "BCancel", Shown::Text, "Отмена", "Cancel"},
    {"information", "FInformation", Shown::Title, "Информация", "Information"},
    {"information", "BClose", Shown::Text, "Закрыть", "Close"},
    {"tray", "CBAutoShow", Shown::Text, "Автопоказ", "Show lessons"},
    {"tray", "BAddWord", Shown::Text, "Добавить", "Add word"},
    {"tray", "BQuit", Shown::Text, "Выход", "Quit"},
};

QString shown(QWidget *top, const TextCase &c)
{
    const QString object = QString::fromLatin1(c.object);
    if (object.startsWith(u"PCInput:")) {
        auto *tabs = top->findChild<TPageControl *>(QStringLiteral("PCInput"));
        return tabs ? tabs->tabBar()->tabText(object.section(u':', 1).toInt()) : QStringLiteral("<no tabs>");
    }
    QWidget *w = top->objectName() == object ? top : top->findChild<QWidget *>(object);
    if (!w)
        return QStringLiteral("<no %1>").arg(object);
    switch (c.what) {
    case Shown::Hint:
        return w->toolTip();
    case Shown::Name:
        return w->accessibleName();
    case Shown::Title:
        return w->windowTitle();
    case Shown::Text:
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            return b->text();
        if (auto *l = qobject_cast<QLabel *>(w))
            return l->text();
        return QStringLiteral("<no text>");
    }
    return {};
}

class Interface : public LessonFixture {
protected:
    void TearDown() override
    {
        // The rest of the program's tests read Russian.
        Language::Install(Ui::Russian);
        LessonFixture::TearDown();
    }

    TImageList images;
    MessageBox::TestHook boxes;
    LessonStandIn standIn;
};

TEST_F(Interface, WindowsReadInTheInstalledLanguageAndSwitchBack)
{
    // Back and forth: removing the translations must bring the source texts back.
    for (Ui ui : {Ui::English, Ui::Russian, Ui::English, Ui::Russian}) {
        Language::Install(ui);
        std::map<std::string, std::unique_ptr<QWidget>> windows;
        windows["trainer"] = std::make_unique<TFWordpop>(images, *topics);
        windows["message"] = std::make_unique<TFMessage>();
        windows["information"] = std::make_unique<TFInformation>();
        windows["tray"] = std::make_unique<TFTrayMenu>(standIn, Options);
        for (const TextCase &c : kTexts) {
            const char *want = ui == Ui::English ? c.english : c.russian;
            EXPECT_EQ(shown(windows.at(c.window).get(), c).toStdString(), want)
                << c.window << " " << c.object << (ui == Ui::English ? " in English" : " in Russian");
        }
    }
}

TEST_F(Interface, LessonTextsFollowTheLanguage)
{
    struct Case { Ui ui; const char *noWords, *statsStart; };
    const Case cases[] = {
        {Ui::English, "no words left to learn", "Total words: 0\n       Learning: 0\n"},
        {Ui::Russian, "нет невыученных слов", "Всего слов: 0\n       Изучаемых: 0\n"},
    };
    for (const Case &c : cases) {
        Language::Install(c.ui);
        EXPECT_EQ(TLesson::NoWordsText().toStdString(), c.noWords);
        Options.StatTotalWords = Options.StatStudiedWords = 0;
        lesson->ShowStatistics();
        EXPECT_TRUE(lesson->StatisticsText().startsWith(QString::fromUtf8(c.statsStart)))
            << lesson->StatisticsText().toStdString();
    }
}

// Every file under the program folder, by relative name.
std::map<QString, QByteArray> folderBytes(const QString &root)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        QFile f(p);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        QByteArray bytes = f.readAll();
        // A table's header carries a change stamp from the clock (bytes 16-19), which differs
        // between any two writes; every other byte must match.
        if (p.endsWith(u".wrd", Qt::CaseInsensitive) && bytes.size() >= 20)
            bytes.replace(16, 4, QByteArray(4, '\0'));
        files[p.mid(root.size())] = bytes;
    }
    return files;
}

TEST_F(Interface, NothingStoredDependsOnTheLanguage)
{
    // The same lesson under each language, from the same start: the settings file and the
    // dictionaries it writes must be the same bytes.
    std::map<Ui, std::map<QString, QByteArray>> stored;
    for (Ui ui : {Ui::Russian, Ui::English}) {
        Language::Install(ui);
        for (const QString &name : QDir(home.home()).entryList(QDir::Files))
            QFile::remove(home.home() + name);
        QDir(home.home() + "BASE").removeRecursively();
        for (const char *folder : {"BASE/ON", "BASE/LEARNED", "BASE/OFF", "BASE/LEARNEDOFF"})
            QDir().mkpath(home.home() + folder);
        make(tkOn, QStringLiteral("Слова"), numbered(6));

        SetDefaultOptions(Options);
        Options.CheckOrder = 0;
        Options.InputPage = 0;
        Options.OkSoundOn = Options.MistakeSoundOn = false;
        Options.AutoPlayWordSound = false;
        Options.StartImmediately = false;
        Options.TrainerWindowRect = {40, 40, 341, 213};
        SetOptionText(Options.StudiedLayout, QString());
        SetOptionText(Options.NativeLayout, QString());
        {
            TFWordpop window(images, *topics);
            window.Lesson().FixSeed(12345);
            ASSERT_TRUE(window.InitialLoad());
            window.ShowTrainer();
            TLesson &l = window.Lesson();
            l.AnswerFromList(l.ExpectedAnswer());
            // A wrong answer too: the mistake counters and the correction panel.
            for (const QString &other : l.AnswerList())
                if (other != l.ExpectedAnswer()) {
                    l.AnswerFromList(other);
                    break;
                }
            window.HideTrainer();
            ASSERT_TRUE(SaveOptions(Options));
        }
        topics->CloseDictionary();
        stored[ui] = folderBytes(home.home());
    }
    ASSERT_TRUE(stored[Ui::Russian].count(QString::fromLatin1(kOptionsFileName)));
    ASSERT_EQ(stored[Ui::Russian].size(), stored[Ui::English].size());
    for (const auto &[name, bytes] : stored[Ui::Russian]) {
        ASSERT_TRUE(stored[Ui::English].count(name)) << name.toStdString();
        EXPECT_EQ(bytes, stored[Ui::English][name]) << name.toStdString() << " differs";
    }
}

} // namespace

