// The options window in both interface languages: what it shows reads in the language installed,
// its English layout shows every text whole, and the settings file it writes is the same
// whichever language the user reads.
#include "settings/Options.h"

#include "SettingsTestSupport.h"
#include "common/PrivateXServer.h"
#include "messages/LineInput.h"
#include "platform/Dialogs.h"
#include "platform/Language.h"
#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include <functional>
#include <memory>

namespace {

using Language::Ui;

const QByteArray kLangs = "0407=German\r\n0409=English\r\n0419=\xD0\xF3\xF1\xF1\xEA\xE8\xE9\r\n";

class OptionsLanguage : public SettingsTest {
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        home.writeFile("langs.dat", kLangs);
        SetDefaultOptions(o);
        o.AutoRun = false;
        ASSERT_TRUE(SaveOptions(o));
        OptionsWindowHooks().hasSoundDevice = [] { return true; };
    }
    void TearDown() override
    {
        Language::Install(Ui::Russian);
        OptionsWindowHooks() = OptionsHooks{};
        SettingsTest::TearDown();
    }

    // Runs Execute with `act` done on the filled window instead of showing it.
    bool run(const std::function<void(TFOptions &)> &act)
    {
        TFOptions::TestHook hook;
        hook.answer(act);
        TFOptions window(nullptr, nullptr, o);
        return window.Execute(40, 50);
    }

    ScopedDisplay noX{nullptr};
    MessageBox::TestHook boxes;
};

QString tabs(TFOptions &w)
{
    QStringList t;
    for (int i = 0; i < w.PCOptions->count(); ++i)
        t << w.PCOptions->tabText(i);
    return t.join(',');
}

QString items(QComboBox *c)
{
    QStringList t;
    for (int i = 0; i < c->count(); ++i)
        t << c->itemText(i);
    return t.join('|');
}

// The label that names the activity library.
QString libraryLabel(TFOptions &w)
{
    for (const QLabel *l : w.findChildren<QLabel *>())
        if (l->text().endsWith(kActivityLibraryName))
            return l->text();
    return {};
}

// The width a control needs to show its whole text; 0 for controls without one of their own.
int widthOfItsText(const QWidget *c)
{
    if (auto *l = qobject_cast<const QLabel *>(c))
        return l->text().isEmpty() ? 0 : l->minimumSizeHint().width();
    if (qobject_cast<const QCheckBox *>(c) || qobject_cast<const QRadioButton *>(c)
        || qobject_cast<const QPushButton *>(c))
        return c->sizeHint().width();
    if (auto *g = qobject_cast<const QGroupBox *>(c))
        return g->minimumSizeHint().width();
    // The layout lists show names from "langs.dat" at a fixed least width; the others their items.
    if (auto *b = qobject_cast<const QComboBox *>(c); b && b->sizeAdjustPolicy() == QComboBox::AdjustToContentsOnFirstShow)
        return b->sizeHint().width();
    return 0;
}

QString textOf(const QWidget *c)
{
    if (auto *l = qobject_cast<const QLabel *>(c))
        return l->text();
    if (auto *g = qobject_cast<const QGroupBox *>(c))
        return g->title();
    return c->accessibleName();
}

} // namespace

// What the window shows, read in each language in turn (English, back to Russian, English again).
TEST_F(OptionsLanguage, TheWindowReadsInTheInstalledLanguage)
{
    struct Shown {
        const char *what;
        std::function<QString(TFOptions &)> text;
        const char *russian, *english;
    };
    const Shown shown[] = {
        {"title", [](TFOptions &w) { return w.windowTitle(); }, "Настройки", "Options"},
        {"pages", tabs, "Как учить,Выученное,Языки,Уроки,Звуки,Разное",
         "How to learn,Learned,Languages,Lessons,Sounds,Other"},
        {"Save", [](TFOptions &w) { return w.BSave->text(); }, "Сохранить", "Save"},
        {"Cancel", [](TFOptions &w) { return w.BCancel->text(); }, "Отмена", "Cancel"},
        {"children mode", [](TFOptions &w) { return w.ChChildrenMode->text(); }, "Детский режим.", "Children mode."},
        {"check order", [](TFOptions &w) { return w.RGCheckOrder->title(); }, "Проверяемый перевод :",
         "Translation to check:"},
        {"both directions", [](TFOptions &w) { return w.findChild<QRadioButton *>("RBBoth")->text(); },
         "И прямой и обратный", "Direct and reverse"},
        {"learned action", [](TFOptions &w) { return items(w.CBLearnedAction); },
         "переносятся в \"выученное\".|удаляются.", "are moved to \"Learned\".|are deleted."},
        {"learned logic", [](TFOptions &w) { return items(w.CBLearnedLogic); }, "или|и", "or|and"},
        {"library state", [](TFOptions &w) { return w.LHookState->text(); }, "не загружена", "not loaded"},
        {"library", libraryLabel,
         "Библиотека wordpop-hook.so", "Library wordpop-hook.so"},
        {"native font button", [](TFOptions &w) { return w.BChangeFont[1]->accessibleName(); },
         "Родной язык сменить шрифт", "Change the native language font"},
        {"right answer's file", [](TFOptions &w) { return w.EOkSound->accessibleName(); },
         "Звук при правильном ответе: файл", "Sound for a right answer: file"},
        {"hold back", [](TFOptions &w) { return w.ChHoldBack->text(); }, "Не показывать поверх полноэкранных окон",
         "Don't show over full-screen windows"},
    };
    for (const Ui ui : {Ui::English, Ui::Russian, Ui::English}) {
        Language::Install(ui);
        const bool english = ui == Ui::English;
        run([&](TFOptions &w) {
            for (const Shown &s : shown)
                EXPECT_EQ(s.text(w), QString::fromUtf8(english ? s.english : s.russian))
                    << s.what << (english ? " in English" : " in Russian");
        });
    }
}

// The editor's refusals speak the installed language too, the pieces put into them included.
TEST_F(OptionsLanguage, RefusalsReadInTheInstalledLanguage)
{
    struct Refusal {
        const char *what;
        std::function<void(OptionsValues &)> change;
        const char *russian, *english;
    };
    const Refusal refusals[] = {
        {"port", [](OptionsValues &v) { v.proxyPort = "70000"; }, "Порт proxy-сервера должен быть числом от 0 до 65535.",
         "The proxy port must be a number from 0 to 65535."},
        {"right answer's sound", [](OptionsValues &v) { v.okFile = QString::fromUtf8("звук-✓.wav"); },
         "Имя звукового файла при правильном ответе не может быть сохранено: оно длиннее 255 символов или "
         "содержит недопустимые знаки.",
         "The name of the sound file for a right answer cannot be saved: it is longer than 255 characters or "
         "contains characters that are not allowed."},
        {"mistake sound", [](OptionsValues &v) { v.errorFile = QString(300, 'a'); },
         "Имя звукового файла при ошибке не может быть сохранено: оно длиннее 255 символов или содержит "
         "недопустимые знаки.",
         "The name of the sound file for a mistake cannot be saved: it is longer than 255 characters or contains "
         "characters that are not allowed."},
    };
    for (const Ui ui : {Ui::English, Ui::Russian}) {
        Language::Install(ui);
        const bool english = ui == Ui::English;
        OptionsEditor editor(o);
        ASSERT_TRUE(editor.Open());
        for (const Refusal &r : refusals) {
            OptionsValues v = editor.Fill();
            r.change(v);
            EXPECT_EQ(editor.Validate(v), QString::fromUtf8(english ? r.english : r.russian)) << r.what;
        }
        // The password prompts and the refusal of an empty one.
        TFLineInput::TestHook prompts;
        prompts.answer({TFLineInput::Ok, QString()});
        EXPECT_FALSE(editor.AskNewPassword(nullptr));
        ASSERT_EQ(prompts.shown().size(), 1);
        EXPECT_EQ(prompts.shown().at(0).prompt, english ? "New password" : QString::fromUtf8("Новый пароль"));
        EXPECT_EQ(boxes.texts().value(boxes.texts().size() - 1),
                  english ? "The password cannot be empty." : QString::fromUtf8("Пароль не может быть пустым."));
    }
}

// The longer English texts still show whole: no caption cut, no page tab scrolled away, and the
// window fits a small screen.
TEST_F(OptionsLanguage, EnglishTextsShowWhole)
{
    Language::Install(Ui::English);
    EXPECT_FALSE(run([](TFOptions &w) {
        w.show();
        for (int page = 0; page < w.PCOptions->count(); ++page) {
            w.PCOptions->setCurrentIndex(page);
            QApplication::processEvents();
            for (QWidget *c : w.findChildren<QWidget *>()) {
                if (c->isVisibleTo(&w))
                    EXPECT_GE(c->width(), widthOfItsText(c))
                        << w.PCOptions->tabText(page).toStdString() << ": " << c->metaObject()->className() << " "
                        << textOf(c).toStdString();
            }
        }
        EXPECT_GE(w.PCOptions->width(), w.PCOptions->tabBar()->sizeHint().width()) << "the page tabs scroll";
        EXPECT_LE(w.frameGeometry().width(), 1024);
        EXPECT_LE(w.frameGeometry().height(), 600);
        w.BCancel->click();
    }));
}

// Saving under English writes what saving under Russian writes, byte for byte: the same clicks,
// the same file.
TEST_F(OptionsLanguage, SavingUnderEnglishWritesTheRussianBytes)
{
    auto saveWithClicks = [this](Ui ui) {
        home.writeFile("SOUND/right.wav", "RIFF");
        SetDefaultOptions(o);
        o.AutoRun = false;
        o.OptionsWindowRect = {120, 90, 545, 325};
        EXPECT_TRUE(SaveOptions(o));
        Language::Install(ui);
        Dialogs::FontHook fonts;
        fonts.answer(QFont("DejaVu Serif"));
        TFLineInput::TestHook prompts;
        prompts.answer({TFLineInput::Ok, "secret"});
        prompts.answer({TFLineInput::Ok, "secret"});
        EXPECT_TRUE(run([](TFOptions &w) {
            w.findChild<QRadioButton *>("RBReverseOnly")->click();
            w.CBLearnedLogic->setCurrentIndex(1);
            w.CBLearnedAction->setCurrentIndex(1);
            w.ChRefreshLearned->click();
            w.BChangeFont[0]->click();
            w.EOkSound->setText("SOUND\\right.wav");
            w.ChUseProxy->click();
            w.EProxyAddress->setText("gate.example.org");
            w.EProxyPort->setText("3128");
            w.ChChildrenMode->click();
            w.BPin->click();
            w.BSave->click();
        }));
        return fileBytes();
    };
    const QByteArray russian = saveWithClicks(Ui::Russian);
    const QByteArray english = saveWithClicks(Ui::English);
    ASSERT_EQ(russian.size(), 6724);
    // The window's size follows the texts of the language read: the stored size is left as it was.
    EXPECT_EQ(int32At(russian, 0x04C), 545);
    EXPECT_EQ(int32At(russian, 0x050), 325);
    ASSERT_EQ(english.size(), russian.size());
    QStringList differ;
    for (int i = 0; i < russian.size(); ++i)
        if (english[i] != russian[i])
            differ << QString::number(i, 16);
    EXPECT_TRUE(differ.isEmpty()) << "bytes differ at 0x" << differ.join(", 0x").toStdString();
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
}
