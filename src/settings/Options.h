// The options window: every user setting of Wordpop on six pages, with the few actions that take
// effect at once (fonts, the children-mode password, loading or unloading the activity library).
// OptionsEditor holds the rules and talks to the record; TFOptions is the thin window over it.
// Sound and the activity library live above settings: the shell hands them in (OptionsHooks).
#pragma once

#include "platform/ModalHook.h"
#include "settings/TOptions.h"

#include <QCoreApplication>
#include <QDialog>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QPushButton;
class TImageList;

// What the window reaches through the shell. Start-up sets them; an unset one does nothing
// (no library loads, no sound plays, a sound field names its file as written).
struct OptionsHooks {
    std::function<bool()> loadLibrary;                     // true when the library runs
    std::function<void()> unloadLibrary;
    std::function<bool(const QString &path)> playSound;    // false when it cannot be played
    std::function<void()> stopSound;                       // the window closes its player
    std::function<QString(const QString &field)> soundPath;   // the file an answer-sound field names
    std::function<QString(const QString &picked)> soundName;  // the field text for a picked file
    std::function<bool()> hasSoundDevice;                  // unset: asks the platform
};
OptionsHooks &OptionsWindowHooks();

// The name of the activity library as the window and error 12 give it.
inline constexpr const char *kActivityLibraryName = "wordpop-hook.so";

// What the controls show, page by page.
struct OptionsValues {
    // "Как учить"
    int checkOrder = 2;
    bool dontCheckKeybDirect = false, noBackTranscr = false, repeat = false, anyVariant = false;
    int baseDiv = 100;
    // "Выученное"
    int learned = 1, learnedLogic = 0, kbLearned = 1, learnedAction = 0;
    bool refreshLearned = false;
    int refreshDelay = 0, refreshIntense = 0;
    // "Языки": font names, and the selected installed layout of each group (-1 none)
    bool autoSwitch = false;
    std::array<QString, 3> fontName;
    std::array<int, 3> layout{-1, -1, -1};
    // "Уроки"
    bool autoRun = false, show = false, holdBack = true;
    int interval = 0, tries = 0;
    bool checkKeyb = false, checkMouse = false;
    int activityPause = 1;
    // "Звуки"
    bool autoPlay = false, loopPlay = false;
    int loopDelay = 0;
    bool dontPlayReverse = false, okSound = false, errorSound = false;
    QString okFile, errorFile;
    // "Разное"
    bool useProxy = false;
    QString proxyAddress, proxyPort;
    // bottom bar
    bool childrenMode = false;
};

// Which dependent controls are enabled, and how the repetition caption is painted.
struct OptionsEnabling {
    bool dontCheckKeybDirect;
    bool loopPlay, loopDelay;
    bool okEdit, pickOk, playOk;
    bool errorEdit, pickError, playError;
    bool refreshDelay, refreshIntense, refreshCaptionRed;
    bool proxyAddress, proxyPort;
    bool activityBoxes, activityPause;
    bool operator==(const OptionsEnabling &) const = default;
};

class OptionsEditor {
    Q_DECLARE_TR_FUNCTIONS(OptionsEditor)
public:
    explicit OptionsEditor(TOptions &o = Options);

    // Reads "langs.dat" and lists the installed layouts; takes the snapshot Cancel returns to.
    // False, with the list's path in *missing, when "langs.dat" cannot be read.
    bool Open(QString *missing = nullptr);
    const QStringList &Languages() const { return m_languages; }
    const QStringList &InstalledLayouts() const { return m_installed; }

    OptionsValues Fill() const;
    // soundExists tells whether an answer-sound field names an existing file.
    static OptionsEnabling Enabling(const OptionsValues &v, bool hookLoaded,
                                    const std::function<bool(const QString &)> &soundExists);
    OptionsEnabling Enabling(const OptionsValues &v) const;

    // Why the values cannot be stored (a message for the user), or empty.
    QString Validate(const OptionsValues &v) const;
    // Save: validates first (nothing changes when refused: false, message shown), then the
    // autorun entry, the copy into the record, the layouts and one write of the file.
    bool Save(OptionsValues &v);
    // Close without Save: the record as it was on opening, keeping what took effect at once
    // (fonts, password, the library's state, the pin, the window's rect); written once.
    void Cancel();

    // Children mode: asks "Password"; true only for the right one.
    bool CheckPassword(QWidget *owner) const;
    // The box ticked by the user: a new password asked twice (masked) and stored at once.
    // False when cancelled, mismatched or refused (refusals say why).
    bool AskNewPassword(QWidget *owner);
    // The group's font dialog; on OK the record's name and character set change at once.
    bool ChooseFont(QWidget *owner, int group, QString *name);
    // An activity box clicked: unloads when both are clear, loads when a ticked one needs it.
    // Returns whether the library is loaded now.
    bool ActivityClicked(bool keyb, bool mouse, bool clickedNowTicked);
    // The pick button: the field's new text, or empty when the dialog was cancelled.
    QString PickSound(QWidget *owner, const QString &field) const;
    // The play button; a failure shows the warning window.
    bool PlaySound(const QString &field) const;
    QString SoundPath(const QString &field) const;
    bool SoundExists(const QString &field) const;
    bool HasSoundDevice() const;
    void CloseSound() const;

    TOptions &Record() { return m_o; }

private:
    TOptions &m_o;
    TOptions m_snapshot;
    QStringList m_languages;
    QStringList m_installed;
};

class TFOptions : public QDialog {
    Q_OBJECT
public:
    // images: the shared button images (made here when null).
    explicit TFOptions(QWidget *parent = nullptr, const TImageList *images = nullptr, TOptions &o = Options);
    ~TFOptions() override;

    // Runs the window at (x, y); true when the user saved. False when "langs.dat" is missing
    // (error 9), and when a children-mode password was wrong or cancelled.
    bool Execute(int x, int y);

    // Tests: `TFOptions::TestHook hook; hook.answer([](TFOptions &w) { ...; w.BSave->click(); });`
    // -- Execute fills the window and, instead of showing it, runs the queued action on it.
    using TestHook = ModalHook<TFOptions *, std::function<void(TFOptions &)>>;

    OptionsEditor &Editor() { return m_editor; }
    OptionsValues Values() const;
    void ShowValues(const OptionsValues &v);
    void ApplyEnabling();

    QTabWidget *PCOptions;
    // "Как учить"
    QGroupBox *RGCheckOrder;
    QButtonGroup *m_checkOrder;
    QCheckBox *ChDontCheckKeybDirect, *ChNoBackTranscr, *ChRepeat, *CBExactCorrect;
    QLabel *LDivider, *LBaseDiv;
    QSlider *TBBaseDiv;
    // "Выученное"
    QSpinBox *ELearned, *EKbLearned, *ELearnedRefreshDelay;
    QComboBox *CBLearnedLogic, *CBLearnedAction;
    QCheckBox *ChRefreshLearned;
    QSlider *TBLearnedRefreshIntense;
    QLabel *LRefreshIntense;
    // "Языки"
    QCheckBox *ChAutoSwitch;
    std::array<QLineEdit *, 3> EFont;
    std::array<QPushButton *, 3> BChangeFont;
    std::array<QComboBox *, 3> CBLayout;
    // "Уроки"
    QCheckBox *ChAutoRun, *ChShow, *ChHoldBack, *ChCheckKeybActivity, *ChCheckMouseActivity;
    QSpinBox *EInterval, *ETries, *EActivityPause;
    QLabel *LHookState;
    // "Звуки"
    QCheckBox *CBAutoPlay, *CBLoopPlay, *CBDontPlayReverse, *CBOkSound, *CBErrorSound;
    QSpinBox *ELoopPlayDelay;
    QLineEdit *EOkSound, *EErrorSound;
    QToolButton *BPlayOkSound, *BPickOkSound, *BPlayErrorSound, *BPickErrorSound;
    QFrame *PNoSoundCard;
    // "Разное"
    QCheckBox *ChUseProxy;
    QLineEdit *EProxyAddress, *EProxyPort;
    // bottom bar
    QToolButton *BPin;
    QCheckBox *ChChildrenMode;
    QPushButton *BSave, *BCancel;

    // Control actions (public for tests).
    void BSaveClick();
    void BPinClick();
    void ChChildrenModeClick(bool checked);
    void ActivityBoxClick(QCheckBox *box);
    void ChangeFontClick(int group);
    void PickSoundClick(bool ok);
    void PlaySoundClick(bool ok);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildControls();
    void ShowPin();
    void FormShow();
    void FormClose();
    void SavePlacement();

    OptionsEditor m_editor;
    std::unique_ptr<TImageList> m_ownImages;
    const TImageList *m_images;
    bool m_saved = false;
    bool m_filling = false;
};
