// The options window and its rules. Relies on the settings record, the layout names of
// "langs.dat", the dialog layer for fonts and files, the shared message windows and the autorun
// entry; sound and the activity library come through OptionsHooks.
#include "settings/Options.h"

#include "messages/Information.h"
#include "messages/LineInput.h"
#include "messages/Message.h"
#include "messages/ShowError.h"
#include "platform/Autorun.h"
#include "platform/Dialogs.h"
#include "platform/Images.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/SoundDevice.h"
#include "platform/Text.h"
#include "settings/Lang.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <vector>
#include <cstring>

namespace {

// Windows character-set codes the record keeps beside a font name.
constexpr std::uint8_t kAnsiCharset = 0;
constexpr std::uint8_t kCyrillicCharset = 204;

constexpr int kPortMax = 65535;

// The font-name slot of a language group, of a record or of a const one.
template <class Record>
auto fontNameSlot(Record &o, int group)
{
    return group == 0 ? o.StudiedFontName : group == 1 ? o.NativeFontName : o.TranscriptionFontName;
}

std::uint8_t &fontCharset(TOptions &o, int group)
{
    return group == 0 ? o.StudiedFontCharset : group == 1 ? o.NativeFontCharset : o.TranscriptionFontCharset;
}

char *layoutSlot(TOptions &o, int group)
{
    return group == 0 ? o.StudiedLayout : group == 1 ? o.NativeLayout : o.TranscriptionLayout;
}

// Whether a text goes into a char[size] slot exactly: Windows-1251 holds every character and
// it leaves room for the terminator.
bool fitsSlot(const QString &text, std::size_t size)
{
    return !text.contains(QChar(0)) && Text::fitsCp1251(text) && std::size_t(text.size()) <= size - 1;
}

// Why a password cannot be the children-mode password, or empty. It must be typeable again
// after a restart, as the record keeps it: Windows-1251, at most 255 characters.
QString passwordProblem(const QString &password)
{
    if (password.isEmpty())
        return QCoreApplication::translate("OptionsEditor", "Пароль не может быть пустым.");
    if (!Text::fitsCp1251(password) || password.contains(QChar(0)))
        return QCoreApplication::translate("OptionsEditor",
                                           "Пароль может содержать только русские и латинские буквы, цифры и знаки.");
    if (password.size() > int(sizeof Options.ChildrenPassword) - 1)
        return QCoreApplication::translate("OptionsEditor", "Пароль не может быть длиннее 255 символов.");
    return {};
}

} // namespace

OptionsHooks &OptionsWindowHooks()
{
    static OptionsHooks hooks;
    return hooks;
}

// --- OptionsEditor ---------------------------------------------------------------------------------

OptionsEditor::OptionsEditor(TOptions &o) : m_o(o), m_snapshot(o) {}

bool OptionsEditor::Open(QString *missing)
{
    m_installed.clear();
    if (!LoadLanguageList(m_languages)) {
        if (missing)
            *missing = ProgramFolder::path() + kLanguageListName;
        return false;
    }
    ListKeyboardLayouts(m_languages, m_installed);
    m_snapshot = m_o;
    return true;
}

OptionsValues OptionsEditor::Fill() const
{
    const TOptions &o = m_o;
    OptionsValues v;
    v.checkOrder = std::clamp<int>(o.CheckOrder, 0, 2);
    v.dontCheckKeybDirect = o.DontCheckDirectInTyping;
    v.noBackTranscr = o.NoBackTranscription;
    v.repeat = o.RepeatAfterMistake;
    v.anyVariant = !o.ExactCorrect;
    v.baseDiv = std::clamp<int>(o.BaseDivision, 1, 100);

    v.learned = std::clamp<int>(o.LearnedChoiceCount, 1, 99);
    v.learnedLogic = std::clamp<int>(o.LearnedLogic, 0, 1);
    v.kbLearned = std::clamp<int>(o.LearnedTypingCount, 1, 99);
    v.learnedAction = std::clamp<int>(o.LearnedAction, 0, 1);
    v.refreshLearned = o.RepeatLearned;
    v.refreshDelay = std::clamp<int>(o.RepeatLearnedDelay, 0, 100);
    v.refreshIntense = std::clamp<int>(o.RepeatLearnedIntensity, 0, 100);

    v.autoSwitch = o.AutoSwitchLayout;
    for (int g = 0; g < 3; ++g) {
        v.fontName[g] = OptionTextN(fontNameSlot(o, g), 256);
        const QString name = LayoutName(m_languages, GroupLayout(g, o));
        v.layout[g] = name.isEmpty() ? -1 : int(m_installed.indexOf(name));
    }

    v.autoRun = o.AutoRun;
    v.show = o.StartImmediately;
    v.holdBack = o.ShowOverFullScreen == 0;
    v.interval = std::clamp<int>(o.AutoShowInterval, 0, 99);
    v.tries = std::clamp<int>(o.HideAfterRightAnswers, 0, 99);
    v.checkKeyb = o.CheckKeyboardActivity;
    v.checkMouse = o.CheckMouseActivity;
    v.activityPause = std::clamp<int>(o.InactivityPause / 1000, 1, 99);

    v.autoPlay = o.AutoPlayWordSound;
    v.loopPlay = o.LoopPlay;
    v.loopDelay = std::clamp<int>(o.LoopPlayDelay, 0, 100);
    v.dontPlayReverse = o.DontPlayOnReverse;
    v.okSound = o.OkSoundOn;
    v.errorSound = o.MistakeSoundOn;
    v.okFile = OptionText(o.OkSoundFile);
    v.errorFile = OptionText(o.MistakeSoundFile);

    v.useProxy = o.UseProxy;
    v.proxyAddress = OptionText(o.ProxyAddress);
    v.proxyPort = QString::number(o.ProxyPort);
    v.childrenMode = o.ChildrenMode;
    return v;
}

OptionsEnabling OptionsEditor::Enabling(const OptionsValues &v, bool hookLoaded,
                                        const std::function<bool(const QString &)> &soundExists)
{
    OptionsEnabling e{};
    e.dontCheckKeybDirect = v.checkOrder == 2;
    e.loopPlay = v.autoPlay;
    e.loopDelay = v.autoPlay && v.loopPlay;
    e.okEdit = e.pickOk = v.okSound;
    e.playOk = v.okSound && soundExists(v.okFile);
    // The mistake sound's field stays editable either way.
    e.errorEdit = true;
    e.pickError = v.errorSound;
    e.playError = v.errorSound && soundExists(v.errorFile);
    e.refreshDelay = e.refreshIntense = v.refreshLearned;
    e.refreshCaptionRed = !v.refreshLearned;
    e.proxyAddress = e.proxyPort = v.useProxy;
    e.activityBoxes = e.activityPause = hookLoaded;
    return e;
}

OptionsEnabling OptionsEditor::Enabling(const OptionsValues &v) const
{
    return Enabling(v, m_o.HookLoaded, [this](const QString &f) { return SoundExists(f); });
}

QString OptionsEditor::Validate(const OptionsValues &v) const
{
    bool ok = false;
    const int port = v.proxyPort.trimmed().toInt(&ok);
    if (!ok || port < 0 || port > kPortMax)
        return tr("Порт proxy-сервера должен быть числом от 0 до %1.").arg(kPortMax);
    if (!fitsSlot(v.proxyAddress, sizeof m_o.ProxyAddress))
        return tr("Адрес proxy-сервера должен быть не длиннее 255 символов, "
                  "из латинских букв, цифр и знаков.");
    const std::pair<const QString *, const char *> sounds[] = {
        {&v.okFile, QT_TRANSLATE_NOOP("OptionsEditor", "при правильном ответе")},
        {&v.errorFile, QT_TRANSLATE_NOOP("OptionsEditor", "при ошибке")}};
    for (const auto &[file, which] : sounds) {
        if (!fitsSlot(*file, sizeof m_o.OkSoundFile))
            return tr("Имя звукового файла %1 не может быть сохранено: оно длиннее "
                      "255 символов или содержит недопустимые знаки.")
                .arg(tr(which));
    }
    return {};
}

bool OptionsEditor::Save(OptionsValues &v)
{
    if (const QString problem = Validate(v); !problem.isEmpty()) {
        MessageBox::show(problem);
        return false;
    }
    TOptions &o = m_o;

    // The autorun entry first: the record says what exists.
    if (v.autoRun && !o.AutoRun) {
        if (!Autorun::create(QCoreApplication::applicationFilePath())) {
            ShowError(5);
            v.autoRun = false;
        }
    } else if (!v.autoRun) {
        if (!Autorun::remove()) {
            ShowError(10, Autorun::entryPath());
            v.autoRun = true;
        }
    }

    o.DontCheckDirectInTyping = v.dontCheckKeybDirect;
    o.AutoRun = v.autoRun;
    o.AutoShowInterval = v.interval;
    o.HideAfterRightAnswers = v.tries;
    o.ChildrenMode = v.childrenMode;
    o.CheckOrder = v.checkOrder;
    o.BaseDivision = v.baseDiv;
    o.LearnedChoiceCount = v.learned;
    o.LearnedTypingCount = v.kbLearned;
    o.RepeatAfterMistake = v.repeat;
    o.LearnedAction = v.learnedAction;
    o.LearnedLogic = v.learnedLogic;
    o.ExactCorrect = !v.anyVariant;
    o.NoBackTranscription = v.noBackTranscr;
    o.RepeatLearnedDelay = v.refreshDelay;
    o.RepeatLearnedIntensity = v.refreshIntense;
    o.RepeatLearned = v.refreshLearned;
    o.StartImmediately = v.show;
    o.ShowOverFullScreen = v.holdBack ? 0 : 1;
    o.CheckKeyboardActivity = v.checkKeyb;
    o.CheckMouseActivity = v.checkMouse;
    o.InactivityPause = v.activityPause * 1000;
    o.AutoSwitchLayout = v.autoSwitch;

    // A group without a valid selection keeps the layout it has.
    for (int g = 0; g < 3; ++g) {
        if (v.layout[g] < 0 || v.layout[g] >= m_installed.size())
            continue;
        const QString code = LayoutCode(m_languages, m_installed.at(v.layout[g]));
        if (code.size() == 4)
            SetOptionTextN(layoutSlot(o, g), 10, "0000" + code, true);
    }

    o.UseProxy = v.useProxy;
    SetOptionText(o.ProxyAddress, v.proxyAddress);
    o.ProxyPort = v.proxyPort.trimmed().toInt();
    o.AutoPlayWordSound = v.autoPlay;
    o.LoopPlay = v.loopPlay;
    o.LoopPlayDelay = v.loopDelay;
    o.DontPlayOnReverse = v.dontPlayReverse;
    o.OkSoundOn = v.okSound;
    o.MistakeSoundOn = v.errorSound;
    SetOptionPath(o.OkSoundFile, v.okFile);
    SetOptionPath(o.MistakeSoundFile, v.errorFile);

    SaveOptions(o);
    return true;
}

void OptionsEditor::Cancel()
{
    TOptions kept = m_o;
    m_o = m_snapshot;
    for (int g = 0; g < 3; ++g) {
        std::memcpy(fontNameSlot(m_o, g), fontNameSlot(kept, g), 256);
        fontCharset(m_o, g) = fontCharset(kept, g);
    }
    std::memcpy(m_o.ChildrenPassword, kept.ChildrenPassword, sizeof m_o.ChildrenPassword);
    m_o.HookLoaded = kept.HookLoaded;
    m_o.OptionsPinned = kept.OptionsPinned;
    m_o.OptionsWindowRect = kept.OptionsWindowRect;
    SaveOptions(m_o);
}

bool OptionsEditor::CheckPassword(QWidget *owner) const
{
    QString typed;
    if (!AskLine(owner, typed, QStringLiteral("Password"), true))
        return false;
    return typed == OptionText(m_o.ChildrenPassword);
}

bool OptionsEditor::AskNewPassword(QWidget *owner)
{
    QString first;
    if (!AskLine(owner, first, tr("Новый пароль"), true))
        return false;
    // Refused before the confirmation: a password that could never be typed again.
    if (const QString problem = passwordProblem(first); !problem.isEmpty()) {
        MessageBox::show(problem);
        return false;
    }
    QString second;
    if (!AskLine(owner, second, tr("Подтвердите пароль"), true) || second != first)
        return false;
    SetOptionText(m_o.ChildrenPassword, first);
    return true;
}

bool OptionsEditor::ChooseFont(QWidget *owner, int group, QString *name)
{
    if (group < 0 || group > 2)
        return false;
    QFont initial;
    initial.setFamily(OptionTextN(fontNameSlot(m_o, group), 256));
    const std::optional<QFont> chosen = Dialogs::chooseFont(owner, initial);
    if (!chosen)
        return false;
    const QString family = chosen->family();
    // A name the record cannot hold would come back as another font.
    if (!fitsSlot(family, 256)) {
        MessageBox::show(tr("Имя шрифта \"%1\" не может быть сохранено.").arg(family));
        return false;
    }
    SetOptionTextN(fontNameSlot(m_o, group), 256, family, true);
    fontCharset(m_o, group) = QFontDatabase::writingSystems(family).contains(QFontDatabase::Cyrillic)
                                  ? kCyrillicCharset
                                  : kAnsiCharset;
    if (name)
        *name = family;
    return true;
}

bool OptionsEditor::ActivityClicked(bool keyb, bool mouse, bool clickedNowTicked)
{
    const OptionsHooks &h = OptionsWindowHooks();
    if (!keyb && !mouse) {
        if (m_o.HookLoaded) {
            if (h.unloadLibrary)
                h.unloadLibrary();
            m_o.HookLoaded = false;
        }
    } else if (clickedNowTicked && !m_o.HookLoaded) {
        if (h.loadLibrary && h.loadLibrary())
            m_o.HookLoaded = true;
        else
            ShowError(12, QString::fromLatin1(kActivityLibraryName));
    }
    return m_o.HookLoaded;
}

QString OptionsEditor::SoundPath(const QString &field) const
{
    const OptionsHooks &h = OptionsWindowHooks();
    return h.soundPath ? h.soundPath(field) : field;
}

bool OptionsEditor::SoundExists(const QString &field) const
{
    return !field.isEmpty() && QFileInfo(SoundPath(field)).isFile();
}

QString OptionsEditor::PickSound(QWidget *owner, const QString &field) const
{
    QString start = ProgramFolder::path() + "SOUND";
    if (const QString current = SoundPath(field); !field.isEmpty() && QFileInfo(current).isFile())
        start = QFileInfo(current).absolutePath();
    const QString picked = Dialogs::openFile(owner, QStringLiteral("Choose sound file"), start,
                                             QStringLiteral("Wav files (*.wav)"), QStringLiteral("wav"));
    if (picked.isEmpty())
        return {};
    const OptionsHooks &h = OptionsWindowHooks();
    return h.soundName ? h.soundName(picked) : picked;
}

bool OptionsEditor::PlaySound(const QString &field) const
{
    const OptionsHooks &h = OptionsWindowHooks();
    const QString path = SoundPath(field);
    if (h.playSound && h.playSound(path))
        return true;
    AskQuestion(QStringLiteral("Warning"), "Can't open file" + path, TFMessage::Warning, TFMessage::Notice);
    return false;
}

bool OptionsEditor::HasSoundDevice() const
{
    const OptionsHooks &h = OptionsWindowHooks();
    return h.hasSoundDevice ? h.hasSoundDevice() : ::HasSoundDevice();
}

void OptionsEditor::CloseSound() const
{
    if (const OptionsHooks &h = OptionsWindowHooks(); h.stopSound)
        h.stopSound();
}

// --- TFOptions -------------------------------------------------------------------------------------

namespace {

template <class W>
W *named(W *w, const char *name, const QString &accessible)
{
    w->setObjectName(QString::fromLatin1(name));
    w->setAccessibleName(accessible);
    return w;
}

QCheckBox *checkBox(QWidget *parent, const char *name, const QString &caption)
{
    return named(new QCheckBox(caption, parent), name, caption);
}

QSpinBox *spin(QWidget *parent, const char *name, const QString &accessible, int lo, int hi, bool wraps)
{
    auto *s = named(new QSpinBox(parent), name, accessible);
    s->setRange(lo, hi);
    s->setWrapping(wraps);
    s->setFixedWidth(hi >= 100 ? 56 : 48);
    return s;
}

QLabel *label(const QString &text, QWidget *parent)
{
    return new QLabel(text, parent);
}

} // namespace

TFOptions::TFOptions(QWidget *parent, const TImageList *images, TOptions &o)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_editor(o), m_images(images)
{
    if (!m_images) {
        m_ownImages = std::make_unique<TImageList>();
        m_images = m_ownImages.get();
    }
    setObjectName("FOptions");
    setWindowTitle(tr("Настройки"));
    setAccessibleName(windowTitle());
    setModal(true);
    BuildControls();
    layout()->activate();
}

TFOptions::~TFOptions() = default;

void TFOptions::BuildControls()
{
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(4, 4, 4, 4);
    root->setSizeConstraint(QLayout::SetFixedSize);
    PCOptions = named(new QTabWidget(this), "PCOptions", tr("Настройки"));
    PCOptions->setMinimumSize(529, 258);
    root->addWidget(PCOptions);

    // "Как учить"
    {
        auto *page = new QWidget;
        page->setObjectName("TSHowToLearn");
        auto *l = new QVBoxLayout(page);
        RGCheckOrder = named(new QGroupBox(tr("Проверяемый перевод :"), page), "RGCheckOrder",
                             tr("Проверяемый перевод :"));
        auto *rl = new QHBoxLayout(RGCheckOrder);
        m_checkOrder = new QButtonGroup(this);
        const char *names[] = {"RBDirectOnly", "RBReverseOnly", "RBBoth"};
        const QString items[] = {tr("Только прямой"), tr("Только обратный"),
                                 tr("И прямой и обратный")};
        for (int i = 0; i < 3; ++i) {
            auto *rb = named(new QRadioButton(items[i], RGCheckOrder), names[i], items[i]);
            m_checkOrder->addButton(rb, i);
            rl->addWidget(rb);
        }
        l->addWidget(RGCheckOrder);
        ChDontCheckKeybDirect = checkBox(page, "ChDontCheckKeybDirect",
                                         tr("Не проверять прямой перевод в режиме ввода с клавиатуры."));
        ChDontCheckKeybDirect->setToolTip(tr(
            "В режиме ввода с клавиатура Вам придется набирать только иностранные слова (а не переводы)."));
        ChNoBackTranscr = checkBox(page, "ChNoBackTranscr",
                                   tr("Не показывать комментарий/транскрипцию при обратном переводе."));
        ChRepeat = checkBox(page, "ChRepeat", tr("Повторять вопрос после ошибки."));
        CBExactCorrect = checkBox(page, "CBExactCorrect", tr("Считать верным любой вариант перевода."));
        for (QWidget *w : {static_cast<QWidget *>(ChDontCheckKeybDirect), static_cast<QWidget *>(ChNoBackTranscr),
                           static_cast<QWidget *>(ChRepeat), static_cast<QWidget *>(CBExactCorrect)})
            l->addWidget(w);
        LDivider = named(label(tr("Установите кол-во изучаемых слов (в процентах от общего объема базы)"), page),
                         "LDivider", tr("Установите кол-во изучаемых слов (в процентах от общего объема базы)"));
        l->addWidget(LDivider);
        auto *bl = new QHBoxLayout;
        bl->addWidget(label(tr("минимум слов"), page));
        TBBaseDiv = named(new QSlider(Qt::Horizontal, page), "TBBaseDiv",
                          tr("Положение ползунка определяет кол-во используемых программой слов."));
        TBBaseDiv->setToolTip(TBBaseDiv->accessibleName());
        TBBaseDiv->setRange(1, 100);
        TBBaseDiv->setSingleStep(1);
        bl->addWidget(TBBaseDiv, 1);
        bl->addWidget(label(tr("все слова"), page));
        l->addLayout(bl);
        LBaseDiv = named(label(QString(), page), "LBaseDiv", tr("Процент изучаемых слов"));
        LBaseDiv->setAlignment(Qt::AlignCenter);
        l->addWidget(LBaseDiv);
        l->addStretch();
        connect(TBBaseDiv, &QSlider::valueChanged, this, [this](int v) { LBaseDiv->setText(QString::number(v) + "%"); });
        connect(m_checkOrder, &QButtonGroup::idToggled, this, [this] { ApplyEnabling(); });
        PCOptions->addTab(page, tr("Как учить"));
    }

    // "Выученное"
    {
        auto *page = new QWidget;
        page->setObjectName("TSLearned");
        auto *l = new QGridLayout(page);
        l->addWidget(label(tr("Слово считается выученным после"), page), 0, 0, 1, 3);
        ELearned = spin(page, "ELearned", tr("правильных выборов из списка"), 1, 99, true);
        l->addWidget(ELearned, 1, 0);
        auto *logicRow = new QHBoxLayout;
        logicRow->addWidget(label(tr("правильных выборов из списка или"), page));
        CBLearnedLogic = named(new QComboBox(page), "CBLearnedLogic", tr("или / и"));
        CBLearnedLogic->addItems({tr("или"), tr("и")});
        logicRow->addWidget(CBLearnedLogic);
        logicRow->addStretch();
        l->addLayout(logicRow, 1, 1, 1, 2);
        EKbLearned = spin(page, "EKbLearned", tr("правильных вводов с клавиатуры."), 1, 99, true);
        l->addWidget(EKbLearned, 2, 0);
        l->addWidget(label(tr("правильных вводов с клавиатуры."), page), 2, 1, 1, 2);
        auto *actionRow = new QHBoxLayout;
        actionRow->addWidget(label(tr("Выученные слова"), page));
        CBLearnedAction = named(new QComboBox(page), "CBLearnedAction", tr("Выученные слова"));
        CBLearnedAction->addItems({tr("переносятся в \"выученное\"."), tr("удаляются.")});
        actionRow->addWidget(CBLearnedAction);
        actionRow->addStretch();
        l->addLayout(actionRow, 3, 0, 1, 3);
        l->setColumnStretch(1, 1);

        auto *group = new QGroupBox(tr("Повторять выученное спустя"), page);
        auto *gl = new QGridLayout(group);
        ChRefreshLearned = checkBox(group, "ChRefreshLearned", tr("Начинать повторять выученные слова спустя"));
        ELearnedRefreshDelay = spin(group, "ELearnedRefreshDelay", tr("дней."), 0, 100, false);
        auto *delayRow = new QHBoxLayout;
        delayRow->addWidget(ChRefreshLearned);
        delayRow->addWidget(ELearnedRefreshDelay);
        delayRow->addWidget(label(tr("дней."), group));
        delayRow->addStretch();
        gl->addLayout(delayRow, 0, 0, 1, 4);
        gl->addWidget(label(tr("Уделять повторению"), group), 1, 0, 1, 4);
        gl->addWidget(label(tr("0%\n(не повторять)"), group), 2, 0);
        TBLearnedRefreshIntense = named(new QSlider(Qt::Horizontal, group), "TBLearnedRefreshIntense",
                                        tr("Уделять повторению"));
        TBLearnedRefreshIntense->setRange(0, 100);
        gl->addWidget(TBLearnedRefreshIntense, 2, 1, 1, 2);
        gl->addWidget(label(tr("100%\n(только повторение)"), group), 2, 3);
        LRefreshIntense = named(label(QString(), group), "LRefreshIntense", tr("Процент повторения"));
        LRefreshIntense->setAlignment(Qt::AlignCenter);
        gl->addWidget(LRefreshIntense, 3, 1, 1, 2);
        l->addWidget(group, 4, 0, 1, 3);
        l->setRowStretch(5, 1);
        connect(TBLearnedRefreshIntense, &QSlider::valueChanged, this,
                [this](int v) { LRefreshIntense->setText(QString::number(v) + "%"); });
        connect(ChRefreshLearned, &QCheckBox::toggled, this, [this] { ApplyEnabling(); });
        PCOptions->addTab(page, tr("Выученное"));
    }

    // "Языки"
    {
        auto *page = new QWidget;
        page->setObjectName("TSLanguages");
        auto *l = new QVBoxLayout(page);
        ChAutoSwitch = checkBox(page, "ChAutoSwitch", tr("Автоматически переключать раскладку клавиатуры."));
        l->addWidget(ChAutoSwitch);
        auto *groups = new QHBoxLayout;
        // Each group's caption and the names its controls give a screen reader, whole sentences
        // so that a translation can order the words its own way.
        struct GroupTexts {
            const char *caption, *font, *changeFont, *layout;
        };
        static const GroupTexts texts[] = {
            {QT_TR_NOOP("Изучаемый язык "), QT_TR_NOOP("Изучаемый язык шрифт"),
             QT_TR_NOOP("Изучаемый язык сменить шрифт"), QT_TR_NOOP("Изучаемый язык раскладка клавиатуры")},
            {QT_TR_NOOP("Родной язык "), QT_TR_NOOP("Родной язык шрифт"), QT_TR_NOOP("Родной язык сменить шрифт"),
             QT_TR_NOOP("Родной язык раскладка клавиатуры")},
            {QT_TR_NOOP("Транскрипция "), QT_TR_NOOP("Транскрипция шрифт"),
             QT_TR_NOOP("Транскрипция сменить шрифт"), QT_TR_NOOP("Транскрипция раскладка клавиатуры")},
        };
        for (int g = 0; g < 3; ++g) {
            auto *box = new QGroupBox(tr(texts[g].caption), page);
            box->setObjectName(QString("GBLang%1").arg(g + 1));
            auto *gl = new QGridLayout(box);
            gl->addWidget(label(tr("Шрифт"), box), 0, 0, 1, 2);
            EFont[g] = named(new QLineEdit(box), QString("EFont%1").arg(g + 1).toLatin1().constData(),
                             tr(texts[g].font));
            EFont[g]->setReadOnly(true);
            EFont[g]->setMinimumWidth(40);
            EFont[g]->installEventFilter(this);
            gl->addWidget(EFont[g], 1, 0, 1, 2);
            BChangeFont[g] = named(new QPushButton(tr("Сменить"), box),
                                   QString("BChangeFont%1").arg(g + 1).toLatin1().constData(),
                                   tr(texts[g].changeFont));
            gl->addWidget(BChangeFont[g], 2, 1);
            gl->addWidget(label(tr("Раскладка клавиатуры"), box), 3, 0, 1, 2);
            CBLayout[g] = named(new QComboBox(box), QString("CBLayout%1").arg(g + 1).toLatin1().constData(),
                                tr(texts[g].layout));
            CBLayout[g]->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            CBLayout[g]->setMinimumContentsLength(8);
            gl->addWidget(CBLayout[g], 4, 0, 1, 2);
            groups->addWidget(box);
            connect(BChangeFont[g], &QPushButton::clicked, this, [this, g] { ChangeFontClick(g); });
        }
        l->addLayout(groups);
        l->addStretch();
        PCOptions->addTab(page, tr("Языки"));
    }

    // "Уроки"
    {
        auto *page = new QWidget;
        page->setObjectName("TSLessons");
        auto *l = new QVBoxLayout(page);
        ChAutoRun = checkBox(page, "ChAutoRun", tr("Запускать автоматически при включении компьютера."));
        ChAutoRun->setToolTip(tr("Создать ссылку в подменю Пуск\\Программы\\Автозагрузка"));
        ChShow = checkBox(page, "ChShow", tr("Начинать урок сразу после запуска программы"));
        ChHoldBack = checkBox(page, "ChHoldBack", tr("Не показывать поверх полноэкранных окон"));
        l->addWidget(ChAutoRun);
        l->addWidget(ChShow);
        l->addWidget(ChHoldBack);

        auto *intensity = new QGroupBox(tr("Интенсивность обучения "), page);
        auto *il = new QGridLayout(intensity);
        il->addWidget(label(tr("Автопоказ каждые"), intensity), 0, 0);
        EInterval = spin(intensity, "EInterval", tr("Автопоказ каждые ... минут."), 0, 99, true);
        EInterval->setToolTip(tr("Промежуток времени (мин) между сеансами обучения."));
        il->addWidget(EInterval, 0, 1);
        il->addWidget(label(tr("минут."), intensity), 0, 2);
        il->addWidget(label(tr("Свернуть после"), intensity), 1, 0);
        ETries = spin(intensity, "ETries", tr("Свернуть после ... правильных ответов."), 0, 99, true);
        il->addWidget(ETries, 1, 1);
        il->addWidget(label(tr("правильных ответов."), intensity), 1, 2);
        il->setColumnStretch(3, 1);

        auto *quiet = new QGroupBox(tr("Не прерывать"), page);
        auto *ql = new QGridLayout(quiet);
        ChCheckKeybActivity = checkBox(quiet, "ChCheckKeybActivity", tr("Работу с клавиатурой"));
        ChCheckMouseActivity = checkBox(quiet, "ChCheckMouseActivity", tr("Работу с мышью"));
        ql->addWidget(ChCheckKeybActivity, 0, 0, 1, 3);
        ql->addWidget(ChCheckMouseActivity, 1, 0, 1, 3);
        ql->addWidget(label(tr("Разрешать автопоказ после"), quiet), 2, 0, 1, 3);
        EActivityPause = spin(quiet, "EActivityPause", tr("Разрешать автопоказ после ... секунд бездействия."), 1, 99, true);
        EActivityPause->setToolTip(tr("Интервал между последней активностью и началом сеанса обучения."));
        ql->addWidget(EActivityPause, 3, 0);
        ql->addWidget(label(tr("секунд бездействия."), quiet), 3, 1, 1, 2);
        ql->addWidget(label(tr("Библиотека %1").arg(QString::fromLatin1(kActivityLibraryName)), quiet), 4, 0, 1, 3);
        LHookState = named(label(QString(), quiet), "LHookState", tr("Состояние библиотеки"));
        ql->addWidget(LHookState, 5, 0, 1, 3);

        auto *row = new QHBoxLayout;
        row->addWidget(intensity);
        row->addWidget(quiet);
        l->addLayout(row);
        l->addStretch();
        connect(ChCheckKeybActivity, &QCheckBox::clicked, this, [this] { ActivityBoxClick(ChCheckKeybActivity); });
        connect(ChCheckMouseActivity, &QCheckBox::clicked, this, [this] { ActivityBoxClick(ChCheckMouseActivity); });
        // Esc on the autorun box closes the window too (QDialog's own Esc), nothing to add.
        PCOptions->addTab(page, tr("Уроки"));
    }

    // "Звуки"
    {
        auto *page = new QWidget;
        page->setObjectName("TSSounds");
        auto *l = new QGridLayout(page);
        CBAutoPlay = checkBox(page, "CBAutoPlay", tr("Автоматически проигрывать звуковой файл (произношение)"));
        l->addWidget(CBAutoPlay, 0, 0, 1, 4);
        CBLoopPlay = checkBox(page, "CBLoopPlay", tr("Повторять спустя"));
        ELoopPlayDelay = spin(page, "ELoopPlayDelay", tr("Повторять спустя ... секунд"), 0, 100, false);
        auto *loopRow = new QHBoxLayout;
        loopRow->addWidget(CBLoopPlay);
        loopRow->addWidget(ELoopPlayDelay);
        loopRow->addWidget(label(tr("секунд"), page));
        loopRow->addStretch();
        l->addLayout(loopRow, 1, 0, 1, 4);
        CBDontPlayReverse = checkBox(page, "CBDontPlayReverse", tr("Не проигрывать звук во время обратного перевода"));
        l->addWidget(CBDontPlayReverse, 2, 0, 1, 4);
        auto soundRow = [&](int row, const char *box, const QString &caption, QCheckBox *&check, const char *play,
                            QToolButton *&playButton, const char *pick, QToolButton *&pickButton, const char *edit,
                            QLineEdit *&field) {
            check = checkBox(page, box, caption);
            l->addWidget(check, row, 0, 1, 2);
            playButton = named(new QToolButton(page), play, tr("Воспроизвести"));
            playButton->setIcon(m_images->icon(TImageList::Play));
            playButton->setToolTip(tr("Воспроизвести"));
            pickButton = named(new QToolButton(page), pick, tr("Выбрать файл"));
            pickButton->setIcon(m_images->icon(TImageList::PickFile));
            pickButton->setToolTip(tr("Выбрать файл"));
            l->addWidget(playButton, row, 2);
            l->addWidget(pickButton, row, 3);
            field = named(new QLineEdit(page), edit, tr("%1: файл").arg(caption));
            l->addWidget(field, row + 1, 0, 1, 4);
        };
        soundRow(3, "CBOkSound", tr("Звук при правильном ответе"), CBOkSound, "BPlayOkSound", BPlayOkSound,
                 "BPickOkSound", BPickOkSound, "EOkSound", EOkSound);
        soundRow(5, "CBErrorSound", tr("Звук при ошибке"), CBErrorSound, "BPlayErrorSound", BPlayErrorSound,
                 "BPickErrorSound", BPickErrorSound, "EErrorSound", EErrorSound);
        l->setRowStretch(7, 1);
        l->setColumnStretch(1, 1);
        // Over the whole page, shown when there is nothing to play sound on.
        PNoSoundCard = named(new QFrame(page), "PNoSoundCard",
                             QStringLiteral("Can't find sound card. Check your card and drivers."));
        PNoSoundCard->setAutoFillBackground(true);
        auto *nl = new QVBoxLayout(PNoSoundCard);
        auto *text = label(QStringLiteral("Can't find sound card. Check your card and drivers."), PNoSoundCard);
        text->setAlignment(Qt::AlignCenter);
        nl->addWidget(text);
        PNoSoundCard->hide();
        page->installEventFilter(this);
        for (QCheckBox *b : {CBAutoPlay, CBLoopPlay, CBOkSound, CBErrorSound})
            connect(b, &QCheckBox::toggled, this, [this] { ApplyEnabling(); });
        for (QLineEdit *e : {EOkSound, EErrorSound})
            connect(e, &QLineEdit::textChanged, this, [this] { ApplyEnabling(); });
        connect(BPlayOkSound, &QToolButton::clicked, this, [this] { PlaySoundClick(true); });
        connect(BPlayErrorSound, &QToolButton::clicked, this, [this] { PlaySoundClick(false); });
        connect(BPickOkSound, &QToolButton::clicked, this, [this] { PickSoundClick(true); });
        connect(BPickErrorSound, &QToolButton::clicked, this, [this] { PickSoundClick(false); });
        PCOptions->addTab(page, tr("Звуки"));
    }

    // "Разное"
    {
        auto *page = new QWidget;
        page->setObjectName("TSOther");
        auto *l = new QGridLayout(page);
        ChUseProxy = checkBox(page, "ChUseProxy", tr("Использовать proxy"));
        l->addWidget(ChUseProxy, 0, 0, 1, 2);
        l->addWidget(label(tr("Адрес"), page), 1, 0);
        EProxyAddress = named(new QLineEdit(page), "EProxyAddress", tr("Адрес"));
        EProxyAddress->setMaxLength(int(sizeof Options.ProxyAddress) - 1);
        l->addWidget(EProxyAddress, 1, 1);
        l->addWidget(label(tr("Порт"), page), 2, 0);
        EProxyPort = named(new QLineEdit(page), "EProxyPort", tr("Порт"));
        // Digits only, as the number-only edit style allows.
        EProxyPort->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,5}"), EProxyPort));
        EProxyPort->setFixedWidth(64);
        l->addWidget(EProxyPort, 2, 1, Qt::AlignLeft);
        l->setRowStretch(3, 1);
        connect(ChUseProxy, &QCheckBox::toggled, this, [this] { ApplyEnabling(); });
        PCOptions->addTab(page, tr("Разное"));
    }
    // F1 leads to the help of the page in front (the information window reads this property).
    static const char *const pageSections[] = {"settings-method", "settings-learned", "settings-languages",
                                               "settings-lessons", "settings-sounds", "settings-other"};
    const auto followPage = [this](int index) {
        if (index >= 0 && index < int(std::size(pageSections)))
            setProperty("helpSection", QString::fromLatin1(pageSections[index]));
    };
    connect(PCOptions, &QTabWidget::currentChanged, this, followPage);
    followPage(PCOptions->currentIndex());

    // The bar below the pages.
    auto *bar = new QHBoxLayout;
    BPin = named(new QToolButton(this), "BPin", tr("Закрепить окно"));
    BPin->setToolTip(BPin->accessibleName());
    ChChildrenMode = checkBox(this, "ChChildrenMode", tr("Детский режим."));
    ChChildrenMode->setToolTip(tr("В этом режиме программа блокирует кнопки закрытия окна и выхода."));
    BSave = named(new QPushButton(tr("Сохранить"), this), "BSave", tr("Сохранить"));
    BSave->setDefault(true);
    BCancel = named(new QPushButton(tr("Отмена"), this), "BCancel", tr("Отмена"));
    BCancel->setAutoDefault(false);
    bar->addWidget(BPin);
    bar->addWidget(ChChildrenMode);
    bar->addStretch();
    bar->addWidget(BSave);
    bar->addWidget(BCancel);
    root->addLayout(bar);
    connect(BPin, &QToolButton::clicked, this, &TFOptions::BPinClick);
    connect(ChChildrenMode, &QCheckBox::clicked, this, &TFOptions::ChChildrenModeClick);
    connect(BSave, &QPushButton::clicked, this, &TFOptions::BSaveClick);
    connect(BCancel, &QPushButton::clicked, this, &QDialog::reject);

    installEventFilter(this);
    PCOptions->setCurrentIndex(0);
}

OptionsValues TFOptions::Values() const
{
    OptionsValues v;
    v.checkOrder = m_checkOrder->checkedId();
    v.dontCheckKeybDirect = ChDontCheckKeybDirect->isChecked();
    v.noBackTranscr = ChNoBackTranscr->isChecked();
    v.repeat = ChRepeat->isChecked();
    v.anyVariant = CBExactCorrect->isChecked();
    v.baseDiv = TBBaseDiv->value();
    v.learned = ELearned->value();
    v.learnedLogic = CBLearnedLogic->currentIndex();
    v.kbLearned = EKbLearned->value();
    v.learnedAction = CBLearnedAction->currentIndex();
    v.refreshLearned = ChRefreshLearned->isChecked();
    v.refreshDelay = ELearnedRefreshDelay->value();
    v.refreshIntense = TBLearnedRefreshIntense->value();
    v.autoSwitch = ChAutoSwitch->isChecked();
    for (int g = 0; g < 3; ++g) {
        v.fontName[g] = EFont[g]->text();
        v.layout[g] = CBLayout[g]->currentIndex();
    }
    v.autoRun = ChAutoRun->isChecked();
    v.show = ChShow->isChecked();
    v.holdBack = ChHoldBack->isChecked();
    v.interval = EInterval->value();
    v.tries = ETries->value();
    v.checkKeyb = ChCheckKeybActivity->isChecked();
    v.checkMouse = ChCheckMouseActivity->isChecked();
    v.activityPause = EActivityPause->value();
    v.autoPlay = CBAutoPlay->isChecked();
    v.loopPlay = CBLoopPlay->isChecked();
    v.loopDelay = ELoopPlayDelay->value();
    v.dontPlayReverse = CBDontPlayReverse->isChecked();
    v.okSound = CBOkSound->isChecked();
    v.errorSound = CBErrorSound->isChecked();
    v.okFile = EOkSound->text();
    v.errorFile = EErrorSound->text();
    v.useProxy = ChUseProxy->isChecked();
    v.proxyAddress = EProxyAddress->text();
    v.proxyPort = EProxyPort->text();
    v.childrenMode = ChChildrenMode->isChecked();
    return v;
}

void TFOptions::ShowValues(const OptionsValues &v)
{
    // Filling runs no click action: only the user's clicks load libraries or ask passwords.
    m_filling = true;
    QList<QObject *> quiet;
    for (QWidget *w : findChildren<QWidget *>())
        quiet.append(w);
    quiet.append(m_checkOrder);
    std::vector<bool> wasBlocked;
    for (QObject *q : quiet)
        wasBlocked.push_back(q->blockSignals(true));

    if (QAbstractButton *b = m_checkOrder->button(v.checkOrder))
        b->setChecked(true);
    ChDontCheckKeybDirect->setChecked(v.dontCheckKeybDirect);
    ChNoBackTranscr->setChecked(v.noBackTranscr);
    ChRepeat->setChecked(v.repeat);
    CBExactCorrect->setChecked(v.anyVariant);
    TBBaseDiv->setValue(v.baseDiv);
    LBaseDiv->setText(QString::number(TBBaseDiv->value()) + "%");
    ELearned->setValue(v.learned);
    CBLearnedLogic->setCurrentIndex(v.learnedLogic);
    EKbLearned->setValue(v.kbLearned);
    CBLearnedAction->setCurrentIndex(v.learnedAction);
    ChRefreshLearned->setChecked(v.refreshLearned);
    ELearnedRefreshDelay->setValue(v.refreshDelay);
    TBLearnedRefreshIntense->setValue(v.refreshIntense);
    LRefreshIntense->setText(QString::number(TBLearnedRefreshIntense->value()) + "%");
    ChAutoSwitch->setChecked(v.autoSwitch);
    for (int g = 0; g < 3; ++g) {
        EFont[g]->setText(v.fontName[g]);
        CBLayout[g]->clear();
        CBLayout[g]->addItems(m_editor.InstalledLayouts());
        CBLayout[g]->setCurrentIndex(v.layout[g]);
    }
    ChAutoRun->setChecked(v.autoRun);
    ChShow->setChecked(v.show);
    ChHoldBack->setChecked(v.holdBack);
    EInterval->setValue(v.interval);
    ETries->setValue(v.tries);
    ChCheckKeybActivity->setChecked(v.checkKeyb);
    ChCheckMouseActivity->setChecked(v.checkMouse);
    EActivityPause->setValue(v.activityPause);
    CBAutoPlay->setChecked(v.autoPlay);
    CBLoopPlay->setChecked(v.loopPlay);
    ELoopPlayDelay->setValue(v.loopDelay);
    CBDontPlayReverse->setChecked(v.dontPlayReverse);
    CBOkSound->setChecked(v.okSound);
    CBErrorSound->setChecked(v.errorSound);
    EOkSound->setText(v.okFile);
    EErrorSound->setText(v.errorFile);
    ChUseProxy->setChecked(v.useProxy);
    EProxyAddress->setText(v.proxyAddress);
    EProxyPort->setText(v.proxyPort);
    ChChildrenMode->setChecked(v.childrenMode);

    PNoSoundCard->setVisible(!m_editor.HasSoundDevice());
    ShowPin();
    for (qsizetype i = 0; i < quiet.size(); ++i)
        quiet[i]->blockSignals(wasBlocked[std::size_t(i)]);
    m_filling = false;
    ApplyEnabling();
}

void TFOptions::ApplyEnabling()
{
    const OptionsEnabling e = m_editor.Enabling(Values());
    ChDontCheckKeybDirect->setEnabled(e.dontCheckKeybDirect);
    CBLoopPlay->setEnabled(e.loopPlay);
    ELoopPlayDelay->setEnabled(e.loopDelay);
    EOkSound->setEnabled(e.okEdit);
    BPickOkSound->setEnabled(e.pickOk);
    BPlayOkSound->setEnabled(e.playOk);
    EErrorSound->setEnabled(e.errorEdit);
    BPickErrorSound->setEnabled(e.pickError);
    BPlayErrorSound->setEnabled(e.playError);
    ELearnedRefreshDelay->setEnabled(e.refreshDelay);
    TBLearnedRefreshIntense->setEnabled(e.refreshIntense);
    QPalette p = ChRefreshLearned->palette();
    p.setColor(QPalette::WindowText, e.refreshCaptionRed ? QColor(Qt::red) : palette().color(QPalette::WindowText));
    ChRefreshLearned->setPalette(p);
    EProxyAddress->setEnabled(e.proxyAddress);
    EProxyPort->setEnabled(e.proxyPort);
    LHookState->setText(m_editor.Record().HookLoaded ? tr("загружена") : tr("не загружена"));
}

bool TFOptions::Execute(int x, int y)
{
    QString missing;
    if (!m_editor.Open(&missing)) {
        ShowError(9, missing);
        return false;
    }
    MoveAndFit(this, x, y, false);
    ShowValues(m_editor.Fill());
    const OptionsEnabling e = m_editor.Enabling(Values());
    ChCheckKeybActivity->setEnabled(e.activityBoxes);
    ChCheckMouseActivity->setEnabled(e.activityBoxes);
    EActivityPause->setEnabled(e.activityPause);
    if (m_editor.Record().ChildrenMode && !m_editor.CheckPassword(this))
        return false;

    m_saved = false;
    PCOptions->setCurrentIndex(0);
    if (TestHook *hook = TestHook::current()) {
        FormShow();
        if (const auto act = hook->take(this, {}))
            act(*this);
    } else {
        QTimer::singleShot(0, this, [this] {
            if (QAbstractButton *b = m_checkOrder->checkedButton())
                b->setFocus();
        });
        FormShow();
        exec();
    }
    FormClose();
    return m_saved;
}

void TFOptions::FormShow()
{
    TOptions &o = m_editor.Record();
    RestoreWindowRect(this, o.OptionsWindowRect, !o.OptionsPinned);
    ShowPin();
}

void TFOptions::FormClose()
{
    m_editor.CloseSound();
    SavePlacement();
    if (!m_saved)
        m_editor.Cancel();
}

void TFOptions::SavePlacement()
{
    // The window's size follows its texts, which are longer or shorter in each interface
    // language, and the user cannot change it; only its place is kept. The stored size stays as
    // it was, so the settings file does not depend on the language read.
    WindowRect &rect = m_editor.Record().OptionsWindowRect;
    const int width = rect.Width, height = rect.Height;
    SaveWindowRect(this, rect);
    rect.Width = width;
    rect.Height = height;
}

void TFOptions::BSaveClick()
{
    SavePlacement();
    OptionsValues v = Values();
    if (!m_editor.Save(v)) {
        return;   // refused: the window stays open with what the user typed
    }
    m_saved = true;
    accept();
}

void TFOptions::ShowPin()
{
    const bool pinned = m_editor.Record().OptionsPinned;
    BPin->setIcon(m_images->icon(pinned ? TImageList::PinOn : TImageList::PinOff));
    BPin->setChecked(pinned);
}

void TFOptions::BPinClick()
{
    TOptions &o = m_editor.Record();
    o.OptionsPinned = !o.OptionsPinned;
    ShowPin();
}

void TFOptions::ChChildrenModeClick(bool checked)
{
    if (!checked)
        return;   // unticking asks nothing and keeps the stored password
    if (!m_editor.AskNewPassword(this)) {
        QSignalBlocker block(ChChildrenMode);
        ChChildrenMode->setChecked(false);
    }
}

void TFOptions::ActivityBoxClick(QCheckBox *box)
{
    m_editor.ActivityClicked(ChCheckKeybActivity->isChecked(), ChCheckMouseActivity->isChecked(), box->isChecked());
    ApplyEnabling();
}

void TFOptions::ChangeFontClick(int group)
{
    QString name;
    if (m_editor.ChooseFont(this, group, &name))
        EFont[group]->setText(name);
}

void TFOptions::PickSoundClick(bool ok)
{
    QLineEdit *field = ok ? EOkSound : EErrorSound;
    const QString text = m_editor.PickSound(this, field->text());
    if (!text.isEmpty())
        field->setText(text);
}

void TFOptions::PlaySoundClick(bool ok)
{
    m_editor.PlaySound((ok ? EOkSound : EErrorSound)->text());
}

bool TFOptions::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        for (int g = 0; g < 3; ++g) {
            if (watched == EFont[g]) {
                ChangeFontClick(g);
                return true;
            }
        }
    }
    if (event->type() == QEvent::Resize && PNoSoundCard && watched == PNoSoundCard->parentWidget()) {
        PNoSoundCard->setGeometry(PNoSoundCard->parentWidget()->rect());
        PNoSoundCard->raise();
    }
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F1) {
        ShowInformation(this);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
