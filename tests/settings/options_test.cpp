// The options window driven without being shown: every control's way into the settings file,
// the dependent enabling, Cancel, children mode, layouts, the activity library, autorun and the
// answer sounds. Its modal prompts and dialogs are answered through their test hooks.
#include "settings/Options.h"

#include "SettingsTestSupport.h"
#include "common/PrivateXServer.h"
#include "messages/Information.h"
#include "messages/LineInput.h"
#include "messages/Message.h"
#include "messages/ShowError.h"
#include "platform/Dialogs.h"
#include "platform/MessageBox.h"
#include "sound/SoundPaths.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <optional>

namespace {

const QByteArray kLangs = "0407=German\r\n0409=English\r\n0419=\xD0\xF3\xF1\xF1\xEA\xE8\xE9\r\n";

// Hooks that record what the window asked of the shell.
struct ShellSide {
    int loads = 0, unloads = 0;
    bool libraryLoads = true;
    QStringList played;
    bool playWorks = true;
    bool soundCard = true;

    ShellSide()
    {
        OptionsHooks &h = OptionsWindowHooks();
        h.loadLibrary = [this] { ++loads; return libraryLoads; };
        h.unloadLibrary = [this] { ++unloads; };
        h.playSound = [this](const QString &p) { played << p; return playWorks; };
        h.stopSound = [] {};
        h.soundPath = AnswerSoundPath;
        h.soundName = StoredSoundName;
        h.hasSoundDevice = [this] { return soundCard; };
    }
    ~ShellSide() { OptionsWindowHooks() = OptionsHooks{}; }
};

class OptionsWindow : public SettingsTest {
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        home.writeFile("langs.dat", kLangs);
        SetDefaultOptions(o);
        o.AutoRun = false;
        ASSERT_TRUE(SaveOptions(o));
    }

    // Runs Execute with `act` done on the filled window instead of showing it.
    bool run(const std::function<void(TFOptions &)> &act, int x = 40, int y = 50)
    {
        TFOptions::TestHook hook;
        hook.answer(act);
        window = std::make_unique<TFOptions>(nullptr, nullptr, o);
        const bool saved = window->Execute(x, y);
        shownWindows = hook.shown().size();
        return saved;
    }

    ScopedDisplay noX{nullptr};   // no layouts unless a test brings its own server
    ShellSide shell;
    MessageBox::TestHook boxes;
    std::unique_ptr<TFOptions> window;
    qsizetype shownWindows = 0;
};

QByteArray bytesAt(const QByteArray &b, int offset, int size) { return b.mid(offset, size); }
QByteArray int32Bytes(std::int32_t v) { return QByteArray(reinterpret_cast<const char *>(&v), 4); }
QByteArray slot(const QByteArray &text, int size) { return text + QByteArray(size - text.size(), '\0'); }

} // namespace

// Every control: fill from the defaults, change it, Save, and find its bytes at its offset. All
// other bytes of the file stay as they were.
TEST_F(OptionsWindow, EveryControlReachesItsBytesInTheSettingsFile)
{
    home.writeFile("SOUND/right.wav", "RIFF");
    SetOptionText(o.ChildrenPassword, "old");
    ASSERT_TRUE(SaveOptions(o));

    Dialogs::FontHook fonts;
    fonts.answer(QFont("DejaVu Serif"));
    fonts.answer(QFont("DejaVu Sans Mono"));
    fonts.answer(QFont("DejaVu Sans"));
    TFLineInput::TestHook prompts;
    prompts.answer({TFLineInput::Ok, "ключ-1"});
    prompts.answer({TFLineInput::Ok, "ключ-1"});

    struct Control {
        const char *name;
        std::function<void(TFOptions &)> change;
        int offset;
        QByteArray bytes;
    };
    const Control controls[] = {
        {"ChDontCheckKeybDirect", [](TFOptions &w) { w.ChDontCheckKeybDirect->click(); }, 0x0CE, QByteArray(1, '\0')},
        {"RGCheckOrder", [](TFOptions &w) { w.findChild<QRadioButton *>("RBReverseOnly")->click(); }, 0x0A4, int32Bytes(1)},
        {"ChNoBackTranscr", [](TFOptions &w) { w.ChNoBackTranscr->click(); }, 0x0B9, QByteArray(1, '\0')},
        {"ChRepeat", [](TFOptions &w) { w.ChRepeat->click(); }, 0x0D2, QByteArray(1, '\0')},
        {"CBExactCorrect", [](TFOptions &w) { w.CBExactCorrect->click(); }, 0x0B8, "\1"},   // shown inverted
        {"TBBaseDiv", [](TFOptions &w) { w.TBBaseDiv->setValue(37); }, 0x0B4, int32Bytes(37)},
        {"ELearned", [](TFOptions &w) { w.ELearned->setValue(12); }, 0x098, int32Bytes(12)},
        {"CBLearnedLogic", [](TFOptions &w) { w.CBLearnedLogic->setCurrentIndex(1); }, 0x0BC, int32Bytes(1)},
        {"EKbLearned", [](TFOptions &w) { w.EKbLearned->setValue(7); }, 0x09C, int32Bytes(7)},
        {"CBLearnedAction", [](TFOptions &w) { w.CBLearnedAction->setCurrentIndex(1); }, 0x0D4, int32Bytes(1)},
        {"ChRefreshLearned", [](TFOptions &w) { w.ChRefreshLearned->click(); }, 0x0D8, QByteArray(1, '\0')},
        {"ELearnedRefreshDelay", [](TFOptions &w) { w.ELearnedRefreshDelay->setValue(100); }, 0x0DC, int32Bytes(100)},
        {"TBLearnedRefreshIntense", [](TFOptions &w) { w.TBLearnedRefreshIntense->setValue(0); }, 0x0E0, int32Bytes(0)},
        {"ChAutoSwitch", [](TFOptions &w) { w.ChAutoSwitch->click(); }, 0x0CD, QByteArray(1, '\0')},
        {"BChangeFont1", [](TFOptions &w) { w.BChangeFont[0]->click(); }, 0x0EA, slot("DejaVu Serif", 16)},
        {"BChangeFont2", [](TFOptions &w) { w.BChangeFont[1]->click(); }, 0x1EA, slot("DejaVu Sans Mono", 20)},
        {"BChangeFont3", [](TFOptions &w) { w.BChangeFont[2]->click(); }, 0x2EA, slot("DejaVu Sans", 16)},
        {"ChAutoRun", [](TFOptions &w) { w.ChAutoRun->click(); }, 0x0CC, "\1"},
        {"ChShow", [](TFOptions &w) { w.ChShow->click(); }, 0x0D3, QByteArray(1, '\0')},
        {"ChHoldBack", [](TFOptions &w) { w.ChHoldBack->click(); }, 0x069, "\1"},
        {"EInterval", [](TFOptions &w) { w.EInterval->setValue(0); }, 0x0A8, int32Bytes(0)},
        {"ETries", [](TFOptions &w) { w.ETries->setValue(99); }, 0x0B0, int32Bytes(99)},
        {"ChCheckKeybActivity", [](TFOptions &w) { w.ChCheckKeybActivity->setChecked(false); }, 0x0CF, QByteArray(1, '\0')},
        {"ChCheckMouseActivity", [](TFOptions &w) { w.ChCheckMouseActivity->setChecked(false); }, 0x0D0, QByteArray(1, '\0')},
        {"EActivityPause", [](TFOptions &w) { w.EActivityPause->setValue(42); }, 0x0AC, int32Bytes(42000)},
        {"CBAutoPlay", [](TFOptions &w) { w.CBAutoPlay->setChecked(true); }, 0xF38, "\1"},
        {"CBLoopPlay", [](TFOptions &w) { w.CBLoopPlay->setChecked(true); }, 0xF39, "\1"},
        {"ELoopPlayDelay", [](TFOptions &w) { w.ELoopPlayDelay->setValue(61); }, 0xF3C, int32Bytes(61)},
        {"CBDontPlayReverse", [](TFOptions &w) { w.CBDontPlayReverse->click(); }, 0xF40, QByteArray(1, '\0')},
        {"CBOkSound", [](TFOptions &w) { w.CBOkSound->click(); }, 0xE36, QByteArray(1, '\0')},
        {"EOkSound", [](TFOptions &w) { w.EOkSound->setText("SOUND\\right.wav"); }, 0xD36, slot("SOUND\\right.wav", 20)},
        {"CBErrorSound", [](TFOptions &w) { w.CBErrorSound->click(); }, 0xF37, QByteArray(1, '\0')},
        {"EErrorSound", [](TFOptions &w) { w.EErrorSound->setText("/usr/share/sounds/no.wav"); }, 0xE37,
         slot("/usr/share/sounds/no.wav", 28)},
        {"ChUseProxy", [](TFOptions &w) { w.ChUseProxy->click(); }, 0x518, "\1"},
        {"EProxyAddress", [](TFOptions &w) { w.EProxyAddress->setText("proxy.example.org"); }, 0x414,
         slot("proxy.example.org", 20)},
        {"EProxyPort", [](TFOptions &w) { w.EProxyPort->setText("3128"); }, 0x514, int32Bytes(3128)},
        {"ChChildrenMode", [](TFOptions &w) { w.ChChildrenMode->click(); }, 0x0E6, "\1"},
        {"BPin", [](TFOptions &w) { w.BPin->click(); }, 0x06C, "\1"},
    };
    // Loop delay and the sound boxes depend on others: the defaults here have no sound device.
    o.AutoPlayWordSound = false;
    o.LoopPlay = false;
    ASSERT_TRUE(SaveOptions(o));
    const QByteArray start = fileBytes();

    const bool saved = run([&](TFOptions &w) {
        for (const Control &c : controls) {
            ASSERT_NE(w.findChild<QWidget *>(c.name), nullptr) << c.name;
            c.change(w);
        }
        w.BSave->click();
    });
    EXPECT_TRUE(saved);
    const QByteArray after = fileBytes();
    ASSERT_EQ(after.size(), 6724);
    QByteArray expected = start;
    for (const Control &c : controls) {
        EXPECT_EQ(bytesAt(after, c.offset, c.bytes.size()), c.bytes) << c.name;
        expected.replace(c.offset, c.bytes.size(), c.bytes);
    }
    // The password typed twice, at once; the font character sets; the window's rect.
    EXPECT_EQ(stringAt(after, 0xF41), QByteArray("\xEA\xEB\xFE\xF7-1"));
    expected.replace(0xF41, 256, after.mid(0xF41, 256));
    expected.replace(0x0E7, 3, after.mid(0x0E7, 3));
    expected.replace(0x044, 16, after.mid(0x044, 16));
    EXPECT_EQ(after, expected) << "bytes outside the controls' changed";
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
}

// The other way: what the record holds is what the controls show.
TEST_F(OptionsWindow, ControlsShowTheRecordsValues)
{
    o.ExactCorrect = true;
    o.InactivityPause = 12500;
    o.ProxyPort = 8080;
    o.BaseDivision = 0;          // treated as 1
    o.CheckOrder = 1;
    o.ShowOverFullScreen = 1;
    o.LearnedChoiceCount = 250;  // out of its range: the nearest end
    SetOptionText(o.ProxyAddress, "gate");
    SetOptionText(o.NativeFontName, "Liberation Serif");
    run([](TFOptions &w) {
        EXPECT_FALSE(w.CBExactCorrect->isChecked());
        EXPECT_EQ(w.EActivityPause->value(), 12);
        EXPECT_EQ(w.EProxyPort->text(), "8080");
        EXPECT_EQ(w.TBBaseDiv->value(), 1);
        EXPECT_EQ(w.findChild<QLabel *>("LBaseDiv")->text(), "1%");
        EXPECT_TRUE(w.findChild<QRadioButton *>("RBReverseOnly")->isChecked());
        EXPECT_FALSE(w.ChHoldBack->isChecked());
        EXPECT_EQ(w.ELearned->value(), 99);
        EXPECT_EQ(w.EProxyAddress->text(), "gate");
        EXPECT_EQ(w.EFont[1]->text(), "Liberation Serif");
        EXPECT_EQ(w.PCOptions->currentIndex(), 0);
        EXPECT_EQ(w.windowTitle(), QString::fromUtf8("Настройки"));
        QStringList tabs;
        for (int i = 0; i < w.PCOptions->count(); ++i)
            tabs << w.PCOptions->tabText(i);
        EXPECT_EQ(tabs.join(','), QString::fromUtf8("Как учить,Выученное,Языки,Уроки,Звуки,Разное"));
    });
}

// Every control a user or a screen reader can reach has a name to be found by.
TEST_F(OptionsWindow, EveryControlHasAnAccessibleName)
{
    TFOptions w(nullptr, nullptr, o);
    for (QWidget *c : w.findChildren<QWidget *>()) {
        if (qobject_cast<QAbstractButton *>(c) || qobject_cast<QLineEdit *>(c) || qobject_cast<QComboBox *>(c)
            || qobject_cast<QSlider *>(c)) {
            if (c->parentWidget() && qobject_cast<QAbstractSpinBox *>(c->parentWidget()))
                continue;   // a spin box's own line edit
            if (c->objectName().startsWith("qt_"))
                continue;   // the tab widget's scroll buttons
            EXPECT_FALSE(c->accessibleName().isEmpty()) << c->metaObject()->className() << " " << c->objectName().toStdString();
        }
    }
}

// The dependent enabling, one row per state of the controlling boxes.
TEST(OptionsEnablingRules, OneTable)
{
    struct Row {
        const char *what;
        std::function<void(OptionsValues &)> set;
        bool hookLoaded;
        OptionsEnabling expected;
    };
    // Fields: dontCheckKeybDirect, loopPlay, loopDelay, okEdit, pickOk, playOk, errorEdit, pickError,
    // playError, refreshDelay, refreshIntense, refreshCaptionRed, proxyAddress, proxyPort,
    // activityBoxes, activityPause.
    auto all = [](OptionsValues &v) {
        v.checkOrder = 2; v.autoPlay = v.loopPlay = v.okSound = v.errorSound = true;
        v.refreshLearned = v.useProxy = true; v.okFile = "exists"; v.errorFile = "exists";
    };
    const Row rows[] = {
        {"everything on", all, true, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1}},
        {"direct only", [&](OptionsValues &v) { all(v); v.checkOrder = 0; }, true, {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1}},
        {"reverse only", [&](OptionsValues &v) { all(v); v.checkOrder = 1; }, true, {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1}},
        {"no auto play", [&](OptionsValues &v) { all(v); v.autoPlay = false; }, true, {1, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1}},
        {"no loop", [&](OptionsValues &v) { all(v); v.loopPlay = false; }, true, {1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1}},
        {"no ok sound", [&](OptionsValues &v) { all(v); v.okSound = false; }, true, {1, 1, 1, 0, 0, 0, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1}},
        {"ok file missing", [&](OptionsValues &v) { all(v); v.okFile = "missing"; }, true, {1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1}},
        {"no error sound: field stays", [&](OptionsValues &v) { all(v); v.errorSound = false; }, true, {1, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1, 0, 1, 1, 1, 1}},
        {"error file missing", [&](OptionsValues &v) { all(v); v.errorFile = ""; }, true, {1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 0, 1, 1, 1, 1}},
        {"no repetition", [&](OptionsValues &v) { all(v); v.refreshLearned = false; }, true, {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1, 1, 1, 1}},
        {"no proxy", [&](OptionsValues &v) { all(v); v.useProxy = false; }, true, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 1, 1}},
        {"library not loaded", all, false, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 0, 0}},
    };
    const auto exists = [](const QString &f) { return f == "exists"; };
    for (const Row &r : rows) {
        OptionsValues v;
        r.set(v);
        EXPECT_EQ(OptionsEditor::Enabling(v, r.hookLoaded, exists), r.expected) << r.what;
    }
}

// The window applies the rules as its boxes are clicked, and editing a sound field re-checks it.
TEST_F(OptionsWindow, ClicksApplyTheEnablingAtOnce)
{
    home.writeFile("SOUND/ok.wav", "RIFF");
    o.AutoPlayWordSound = true;
    o.LoopPlay = true;
    run([](TFOptions &w) {
        EXPECT_TRUE(w.ELoopPlayDelay->isEnabled());
        w.CBAutoPlay->click();
        EXPECT_FALSE(w.CBLoopPlay->isEnabled());
        EXPECT_FALSE(w.ELoopPlayDelay->isEnabled());
        EXPECT_TRUE(w.BPlayOkSound->isEnabled()) << "SOUND\\ok.wav exists";
        w.EOkSound->setText("SOUND\\none.wav");
        EXPECT_FALSE(w.BPlayOkSound->isEnabled());
        w.EOkSound->setText("\\sound\\OK.WAV");   // program-relative, any letter case
        EXPECT_TRUE(w.BPlayOkSound->isEnabled());
        w.findChild<QRadioButton *>("RBDirectOnly")->click();
        EXPECT_FALSE(w.ChDontCheckKeybDirect->isEnabled());
        w.ChRefreshLearned->click();
        EXPECT_FALSE(w.TBLearnedRefreshIntense->isEnabled());
        EXPECT_EQ(w.ChRefreshLearned->palette().color(QPalette::WindowText), QColor(Qt::red));
    });
}

TEST_F(OptionsWindow, NoSoundDeviceShowsThePanelOverTheSoundsPage)
{
    for (bool card : {true, false}) {
        shell.soundCard = card;
        run([&](TFOptions &w) { EXPECT_EQ(w.PNoSoundCard->isVisibleTo(w.PNoSoundCard->parentWidget()), !card); });
    }
}

// Cancel drops the controls' values but keeps what took effect at once; the file says so too.
TEST_F(OptionsWindow, CancelKeepsFontsPasswordAndPinAndDropsTheRest)
{
    Dialogs::FontHook fonts;
    fonts.answer(QFont("DejaVu Sans Mono"));
    TFLineInput::TestHook prompts;
    prompts.answer({TFLineInput::Ok, "pass"});
    prompts.answer({TFLineInput::Ok, "pass"});
    const bool saved = run([](TFOptions &w) {
        w.BChangeFont[0]->click();
        w.ChChildrenMode->click();
        w.BPin->click();
        w.EInterval->setValue(42);
        w.ChRepeat->click();
        w.BCancel->click();
    });
    EXPECT_FALSE(saved);
    const QByteArray file = fileBytes();
    EXPECT_EQ(stringAt(file, 0x0EA), "DejaVu Sans Mono");
    EXPECT_EQ(stringAt(file, 0xF41), "pass");
    EXPECT_EQ(file.at(0x06C), 1);
    EXPECT_EQ(int32At(file, 0x0A8), 15);
    EXPECT_EQ(file.at(0x0D2), 1);
    EXPECT_EQ(file.at(0x0E6), 0) << "children mode itself is stored by Save only";
    EXPECT_EQ(file, image());
}

// A save that could not write the file (read-only folder) keeps the record, statistics and
// rects included; so does the Cancel after it, which reads nothing back from the disk.
TEST_F(OptionsWindow, StatisticsSurviveASaveThatFailedOnAReadOnlyFolder)
{
    QFile::remove(home.home() + "wordpop.opt");
    o.StatRightAnswers = 321;
    o.StatMistakes = 12;
    o.TrainerWindowRect = {11, 22, 400, 300};
    ASSERT_TRUE(QFile::setPermissions(home.home(), QFile::ReadOwner | QFile::ExeOwner));
    WithoutFileOverride noOverride;
    ASSERT_TRUE(noOverride.ok());
    EXPECT_TRUE(run([](TFOptions &w) {
        w.EInterval->setValue(33);
        w.BSave->click();
    }));
    EXPECT_EQ(o.AutoShowInterval, 33);
    EXPECT_FALSE(run([](TFOptions &w) {
        w.EInterval->setValue(44);
        w.BCancel->click();
    }));
    EXPECT_EQ(o.AutoShowInterval, 33);
    EXPECT_EQ(o.StatRightAnswers, 321);
    EXPECT_EQ(o.StatMistakes, 12);
    EXPECT_EQ(o.TrainerWindowRect.Width, 400);
    EXPECT_EQ(boxes.texts().size(), 2);   // error 6, once for each close
    EXPECT_TRUE(boxes.texts().value(0).contains("Wordpop.opt"));
    QFile::setPermissions(home.home(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Nothing half-saved: a refused Save copies nothing, writes nothing and keeps the window open.
TEST_F(OptionsWindow, ARefusedSaveChangesNothing)
{
    struct Case { const char *what; std::function<void(TFOptions &)> spoil; };
    const Case cases[] = {
        {"empty port", [](TFOptions &w) { w.EProxyPort->clear(); }},
        {"port too large", [](TFOptions &w) { w.EProxyPort->setText("70000"); }},
        {"proxy host Windows-1251 lacks", [](TFOptions &w) { w.EProxyAddress->setText(QString::fromUtf8("例え.jp")); }},
        {"sound path too long", [](TFOptions &w) { w.EOkSound->setText("/" + QString(300, 'a') + ".wav"); }},
    };
    for (const Case &c : cases) {
        const QByteArray file = fileBytes();
        const TOptions record = o;
        bool stayedOpen = false;
        boxes.clear();
        EXPECT_FALSE(run([&](TFOptions &w) {
            w.EInterval->setValue(77);
            w.ChRepeat->click();
            c.spoil(w);
            w.BSave->click();
            stayedOpen = w.result() != QDialog::Accepted;
            w.BCancel->click();
        })) << c.what;
        EXPECT_TRUE(stayedOpen) << c.what;
        EXPECT_EQ(boxes.texts().size(), 1) << c.what;
        EXPECT_EQ(o.AutoShowInterval, record.AutoShowInterval) << c.what;
        EXPECT_EQ(bool(o.RepeatAfterMistake), bool(record.RepeatAfterMistake)) << c.what;
        EXPECT_EQ(int32At(fileBytes(), 0x0A8), int32At(file, 0x0A8)) << c.what;
    }
}

TEST_F(OptionsWindow, ChildrenModeAsksThePasswordBeforeShowingAnything)
{
    o.ChildrenMode = true;
    SetOptionText(o.ChildrenPassword, "Secret");
    struct Case { std::optional<QString> typed; bool shown; };
    const Case cases[] = {
        {QString("secret"), false},   // the comparison is exact
        {std::nullopt, false},        // cancelled
        {QString("Secret"), true},
    };
    for (const Case &c : cases) {
        TFLineInput::TestHook prompts;
        if (c.typed)
            prompts.answer({TFLineInput::Ok, *c.typed});
        const bool saved = run([](TFOptions &w) { w.BSave->click(); });
        EXPECT_EQ(shownWindows, c.shown ? 1 : 0);
        EXPECT_EQ(saved, c.shown) << "a refused window is no saved one";
        ASSERT_EQ(prompts.shown().size(), 1);
        EXPECT_EQ(prompts.shown()[0].prompt, "Password");
        EXPECT_TRUE(prompts.shown()[0].masked);
        EXPECT_EQ(prompts.shown()[0].owner, window.get());
    }
}

TEST_F(OptionsWindow, ANewPasswordMustMatchBeTypeableAndFitItsSlot)
{
    const QString tooLong(256, 'x');
    struct Case {
        const char *what;
        QList<TFLineInput::Answer> answers;
        bool stored;
        int prompts;
        bool message;
    };
    const Case cases[] = {
        {"two different", {{TFLineInput::Ok, "abc"}, {TFLineInput::Ok, "abd"}}, false, 2, false},
        {"first cancelled", {{TFLineInput::Cancel, "abc"}}, false, 1, false},
        {"confirmation cancelled", {{TFLineInput::Ok, "abc"}, {TFLineInput::Cancel, "abc"}}, false, 2, false},
        {"empty", {{TFLineInput::Ok, ""}}, false, 1, true},
        {"longer than 255", {{TFLineInput::Ok, tooLong}}, false, 1, true},
        {"not in Windows-1251", {{TFLineInput::Ok, QString::fromUtf8("пароль€✓")}}, false, 1, true},
        {"255 Cyrillic letters", {{TFLineInput::Ok, QString(255, QChar(0x0416))}, {TFLineInput::Ok, QString(255, QChar(0x0416))}}, true, 2, false},
        {"matching", {{TFLineInput::Ok, "Пароль 2"}, {TFLineInput::Ok, "Пароль 2"}}, true, 2, false},
    };
    for (const Case &c : cases) {
        SetOptionText(o.ChildrenPassword, "kept");
        boxes.clear();
        TFLineInput::TestHook prompts;
        for (const auto &a : c.answers)
            prompts.answer(a);
        bool ticked = false;
        run([&](TFOptions &w) {
            w.ChChildrenMode->click();
            ticked = w.ChChildrenMode->isChecked();
            w.BCancel->click();
        });
        EXPECT_EQ(ticked, c.stored) << c.what;
        EXPECT_EQ(OptionText(o.ChildrenPassword), c.stored ? c.answers[0].typed : QString("kept")) << c.what;
        EXPECT_EQ(prompts.shown().size(), c.prompts) << c.what;
        for (const auto &p : prompts.shown())
            EXPECT_TRUE(p.masked) << c.what;
        EXPECT_EQ(!boxes.texts().isEmpty(), c.message) << c.what;
    }
}

TEST_F(OptionsWindow, UntickingChildrenModeAsksNothingAndKeepsThePassword)
{
    o.ChildrenMode = true;
    SetOptionText(o.ChildrenPassword, "pw");
    TFLineInput::TestHook prompts;
    prompts.answer({TFLineInput::Ok, "pw"});
    EXPECT_TRUE(run([](TFOptions &w) {
        w.ChChildrenMode->click();
        w.BSave->click();
    }));
    EXPECT_EQ(prompts.shown().size(), 1);   // the opening one only
    EXPECT_FALSE(o.ChildrenMode);
    EXPECT_EQ(stringAt(fileBytes(), 0xF41), "pw");
}

// Without an X server no layout is installed: the lists are empty and Save keeps what is stored.
TEST_F(OptionsWindow, AGroupWithoutSelectionKeepsItsStoredLayout)
{
    SetOptionText(o.StudiedLayout, "00000407");
    EXPECT_TRUE(run([](TFOptions &w) {
        for (QComboBox *c : w.CBLayout) {
            EXPECT_EQ(c->count(), 0);
            EXPECT_EQ(c->currentIndex(), -1);
        }
        w.BSave->click();
    }));
    const QByteArray file = fileBytes();
    EXPECT_EQ(stringAt(file, 0x3EA), "00000407");
    EXPECT_EQ(stringAt(file, 0x3F4), "00000419");
    EXPECT_EQ(stringAt(file, 0x3FE), "00000409");
}

TEST_F(OptionsWindow, MissingLanguageListSaysError9AndOpensNothing)
{
    QFile::remove(home.home() + "langs.dat");
    const QByteArray file = fileBytes();
    EXPECT_FALSE(run([](TFOptions &w) { w.BSave->click(); }));
    EXPECT_EQ(shownWindows, 0);
    EXPECT_EQ(boxes.texts(), QStringList{ErrorText(9, home.home() + "langs.dat")});
    EXPECT_EQ(fileBytes(), file);
}

// Filling runs no click action; only the user's clicks load or unload the library.
TEST_F(OptionsWindow, TheActivityLibraryFollowsTheUsersClicksOnly)
{
    shell.libraryLoads = false;
    struct Open { bool hookLoaded; bool keyb; bool mouse; };
    for (const Open &s : {Open{false, false, false}, Open{false, true, true}, Open{true, false, false}}) {
        o.HookLoaded = s.hookLoaded;
        o.CheckKeyboardActivity = s.keyb;
        o.CheckMouseActivity = s.mouse;
        run([&](TFOptions &w) {
            EXPECT_EQ(w.ChCheckKeybActivity->isEnabled(), s.hookLoaded);
            EXPECT_EQ(w.EActivityPause->isEnabled(), s.hookLoaded);
            EXPECT_EQ(w.findChild<QLabel *>("LHookState")->text(),
                      s.hookLoaded ? QString::fromUtf8("загружена") : QString::fromUtf8("не загружена"));
            w.BCancel->click();
        });
    }
    EXPECT_EQ(shell.loads, 0);
    EXPECT_EQ(shell.unloads, 0);
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();

    // Loaded, both boxes ticked: clearing both unloads at once, before any Save; ticking one
    // again finds the library gone and says error 12.
    o.HookLoaded = true;
    o.CheckKeyboardActivity = o.CheckMouseActivity = true;
    run([&](TFOptions &w) {
        QLabel *state = w.findChild<QLabel *>("LHookState");
        w.ChCheckKeybActivity->click();
        EXPECT_EQ(shell.unloads, 0);
        w.ChCheckMouseActivity->click();
        EXPECT_EQ(shell.unloads, 1);
        EXPECT_EQ(state->text(), QString::fromUtf8("не загружена"));
        EXPECT_FALSE(o.HookLoaded);
        EXPECT_TRUE(boxes.texts().isEmpty());
        w.ChCheckMouseActivity->click();
        EXPECT_EQ(shell.loads, 1);
        EXPECT_EQ(boxes.texts(), QStringList{ErrorText(12, "wordpop-hook.so")});
        shell.libraryLoads = true;
        w.ChCheckKeybActivity->click();
        EXPECT_EQ(state->text(), QString::fromUtf8("загружена"));
        EXPECT_TRUE(o.HookLoaded);
        w.BCancel->click();
    });
    EXPECT_TRUE(o.HookLoaded) << "Cancel keeps the library's state";
}

TEST_F(OptionsWindow, AutorunEntryIsMadeAndRemovedAndAFailedOneIsNotStored)
{
    const QString entry = home.configHome() + "/autostart/wordpop.desktop";
    EXPECT_TRUE(run([](TFOptions &w) {
        w.ChAutoRun->click();
        w.BSave->click();
    }));
    EXPECT_TRUE(QFileInfo::exists(entry));
    EXPECT_EQ(fileBytes().at(0x0CC), 1);

    EXPECT_TRUE(run([](TFOptions &w) {
        w.ChAutoRun->click();
        w.BSave->click();
    }));
    EXPECT_FALSE(QFileInfo::exists(entry));
    EXPECT_EQ(fileBytes().at(0x0CC), 0);

    // The autostart folder cannot be made: a file stands in its place.
    QDir(home.configHome()).rmdir("autostart");
    QFile blocker(home.configHome() + "/autostart");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_TRUE(run([](TFOptions &w) {
        w.ChAutoRun->click();
        w.EInterval->setValue(9);
        w.BSave->click();
    }));
    EXPECT_EQ(boxes.texts(), QStringList{ErrorText(5, QString())});
    EXPECT_EQ(fileBytes().at(0x0CC), 0);
    EXPECT_EQ(int32At(fileBytes(), 0x0A8), 9) << "the rest of the settings is saved";
}

// A picked sound is stored program-relative inside the program folder, whole elsewhere; playing
// goes through the trainer's resolution of the field.
TEST_F(OptionsWindow, AnswerSoundsArePickedAndPlayedAsTheTrainerFindsThem)
{
    home.writeFile("SOUND/Yes.wav", "RIFF");
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.path() + "/no.wav";
    QFile(outside).open(QIODevice::WriteOnly);
    Dialogs::FileHook files;
    files.answer({home.home() + "SOUND/Yes.wav"});
    files.answer({outside});
    TFMessage::TestHook warnings;
    run([&](TFOptions &w) {
        w.BPickOkSound->click();
        EXPECT_EQ(w.EOkSound->text(), "\\SOUND\\Yes.wav");
        EXPECT_TRUE(w.BPlayOkSound->isEnabled());
        w.BPlayOkSound->click();
        w.BPickErrorSound->click();
        EXPECT_EQ(w.EErrorSound->text(), outside);
        w.BPlayErrorSound->click();
        shell.playWorks = false;
        w.BPlayErrorSound->click();
        w.BSave->click();
    });
    ASSERT_EQ(files.shown().size(), 2);
    EXPECT_EQ(files.shown()[0].title, "Choose sound file");
    EXPECT_TRUE(files.shown()[0].filter.contains("*.wav"));
    EXPECT_EQ(shell.played, (QStringList{home.home() + "SOUND/Yes.wav", outside, outside}));
    ASSERT_EQ(warnings.shown().size(), 1);
    EXPECT_EQ(warnings.shown()[0].caption, "Warning");
    EXPECT_EQ(warnings.shown()[0].text, "Can't open file" + outside);
    EXPECT_EQ(stringAt(fileBytes(), 0xD36), "\\SOUND\\Yes.wav");
    EXPECT_EQ(QString::fromUtf8(stringAt(fileBytes(), 0xE37)), outside);
}

TEST_F(OptionsWindow, APinnedWindowOpensAtItsSavedPlace)
{
    for (bool pinned : {false, true}) {
        o.OptionsWindowRect = {120, 90, 545, 325};
        o.OptionsPinned = pinned;
        QPoint at;
        run([&](TFOptions &w) { at = w.pos(); }, 30, 40);
        EXPECT_EQ(at, pinned ? QPoint(120, 90) : QPoint(30, 40)) << pinned;
        EXPECT_EQ(QPoint(o.OptionsWindowRect.Left, o.OptionsWindowRect.Top), at) << "closing keeps the place";
    }
}

// Under a private X server with English and Russian installed, both lists offer both, a layout
// not installed shows no selection, and choosing Russian stores its identifier.
TEST(OptionsLayoutsOnX, ChoosingRussianStores00000419)
{
    PrivateXServer server;
    REQUIRE_PRIVATE_X_SERVER(server);
    if (const std::string error = server.setLayouts("us,ru"); !error.empty())
        GTEST_SKIP() << "the X server cannot hold us,ru: " << error;
    ScopedDisplay display(server.display());
    TestHome home;
    ProgramFolder::resolve();
    home.writeFile("langs.dat", kLangs);
    ShellSide shell;
    MessageBox::TestHook boxes;
    TOptions o;
    std::memset(&o, 0, sizeof o);
    SetDefaultOptions(o);
    SetOptionText(o.TranscriptionLayout, "00000407");   // German: listed, not installed
    TFOptions::TestHook hook;
    const QString russian = QString::fromUtf8("Русский");
    hook.answer([&](TFOptions &w) {
        EXPECT_EQ(w.CBLayout[0]->count(), 2);
        QStringList items;
        for (int i = 0; i < w.CBLayout[0]->count(); ++i)
            items << w.CBLayout[0]->itemText(i);
        EXPECT_TRUE(items.contains("English") && items.contains(russian)) << items.join(',').toStdString();
        EXPECT_EQ(w.CBLayout[0]->currentText(), "English");
        EXPECT_EQ(w.CBLayout[1]->currentText(), russian);
        EXPECT_EQ(w.CBLayout[2]->currentIndex(), -1);
        w.CBLayout[0]->setCurrentIndex(int(items.indexOf(russian)));
        w.BSave->click();
    });
    TFOptions w(nullptr, nullptr, o);
    EXPECT_TRUE(w.Execute(10, 10));
    const QByteArray file = home.readFile("wordpop.opt");
    EXPECT_EQ(stringAt(file, 0x3EA), "00000419");
    EXPECT_EQ(stringAt(file, 0x3F4), "00000419");
    EXPECT_EQ(stringAt(file, 0x3FE), "00000407");
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    ProgramFolder::set(QString());
}

// Keys anywhere in the window: F1 opens the information window near it, Esc closes as Cancel.
TEST_F(OptionsWindow, F1OpensTheInformationAndEscCancels)
{
    TFInformation::TestHook information;
    const bool saved = run([](TFOptions &w) {
        w.EInterval->setValue(50);
        QTest::keyClick(w.EProxyAddress, Qt::Key_F1);
        QTest::keyClick(w.ChAutoRun, Qt::Key_Escape);
    });
    EXPECT_FALSE(saved);
    ASSERT_EQ(information.shown().size(), 1);
    EXPECT_EQ(information.shown()[0].caller, window.get());
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_EQ(int32At(fileBytes(), 0x0A8), 15);
}
