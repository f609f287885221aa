// The add-word dialog: one word at a time, with its translation, transcription and sound, into
// a dictionary being learned, or the trainer's current word edited in place. TAddWord holds what
// the dialog decides and writes; TFAddWord only shows it. All writing goes through the catalogue's
// one cursor; the duplicate check is Duplicates.h's.
#pragma once

#include "settings/TOptions.h"
#include "store/Duplicates.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TSoundPlayer;
class TTopics;

// The texts of the dialog's edits.
struct TWordEntry {
    QString word, translation, transcription, soundFile;
    QString start = QStringLiteral("0"), end = QStringLiteral("0");
};

class TAddWord {
    Q_DECLARE_TR_FUNCTIONS(TAddWord)
public:
    // What the edits take when typing: one character less than the fields hold. A stored text
    // as long as its field (an edited word) is taken whole; only longer ones are refused.
    static constexpr int WordLimit = 79;
    static constexpr int SoundLimit = 254;
    static constexpr int WordField = 80;
    static constexpr int SoundField = 255;

    explicit TAddWord(TTopics &topics, TOptions &options = Options);

    // --- The dictionary list -----------------------------------------------------------------
    // The ticked dictionaries (BASE/ON/), read afresh; the one open on the cursor is selected,
    // else the first.
    void FillDictionaryList();
    const QStringList &Dictionaries() const { return m_dictionaries; }
    int Selected() const { return m_selected; }
    void Select(int index) { m_selected = index; }
    // Words can be stored only while there is a dictionary to store them in.
    bool CanSave() const { return !m_dictionaries.isEmpty(); }

    // "Создать словарь": asks for a name (trimmed; a name that cannot be a dictionary's is
    // refused with a message and asked again with the text kept), takes the first free name,
    // creates the dictionary in BASE/ON/ and lists it selected. False when cancelled or failed.
    bool CreateDictionary(QWidget *parent);

    // --- Edit mode ---------------------------------------------------------------------------
    // Takes the cursor's current record as the word to edit; the entry holds its fields.
    // False (and no edit mode) when the cursor has no current record.
    bool BeginEdit(TWordEntry &entry);
    bool EditMode() const { return m_editMode; }
    void EndEdit() { m_editMode = false; }

    // --- Saving ------------------------------------------------------------------------------
    enum class SaveResult {
        Nothing,   // word and translation both empty
        Added,     // a new record
        Edited,    // the edited record rewritten
        Replaced,  // put over a duplicate
        Dropped,   // duplicates found, the user dropped the word
        Refused,   // a text the record cannot hold (said in a message)
        Failed,    // the dictionary could not be opened or written (said in a message)
    };
    // Stores the entry: in edit mode over the edited record, else appended to the selected
    // dictionary after the duplicate check when `checkDuplicates`. Counters 0; statistics grow
    // by one only for a word really added. Refused and failed saves change nothing.
    SaveResult Save(QWidget *parent, const TWordEntry &entry, bool checkDuplicates);
    // Whether anything was stored since the dialog opened: the trainer must form its lesson again.
    bool Stored() const { return m_stored; }

    // Why the entry cannot be stored as typed (a character Windows-1251 lacks, a text too
    // long), as a sentence for the user; empty when it can.
    static QString EntryProblem(const TWordEntry &entry);
    // The record the entry makes (numbers of empty or unreadable edits count as 0).
    static TNewWord RecordOf(const TWordEntry &entry);

    // --- Sound -------------------------------------------------------------------------------
    struct PickedSound {
        QString stored;    // the name the sound edit takes
        qint64 length = 0; // bytes, the end edit
    };
    // "Выбрать файл": the wave-file dialog in SoundFolder proposing word + ".wav". Nothing when
    // cancelled or when the file cannot be opened (error 9) or stored (message).
    std::optional<PickedSound> PickSound(QWidget *parent, const QString &word);
    // "Воспроизвести" is offered while the named file exists.
    static bool CanPlay(const QString &soundFile);
    // Plays the file; "Can't play " + the path when it cannot.
    void Play(TSoundPlayer &player, const QString &soundFile);

    // --- Closing -----------------------------------------------------------------------------
    // Keeps the check box's state and the placement, and writes the settings.
    void Close(bool checkDuplicates, const WindowRect &rect);

    TOptions &Settings() const { return m_options; }

private:
    bool StoreEdit(const TWordEntry &entry);

    TTopics &m_topics;
    TOptions &m_options;
    QStringList m_dictionaries;
    int m_selected = -1;
    bool m_editMode = false;
    QString m_editPath;
    std::uint32_t m_editRecNo = 0;
    bool m_stored = false;
};

class TFAddWord : public QDialog {
    Q_OBJECT
public:
    // Without a parent the dialog takes its saved position; `editMode` edits the cursor's
    // current record.
    TFAddWord(TTopics &topics, QWidget *parent, bool editMode = false, TOptions &options = Options);
    ~TFAddWord() override;

    TAddWord &Logic() { return m_logic; }
    TSoundPlayer &Player() { return *MPlayer; }

    // Runs the dialog: 1 when a word was stored (also when it was then closed with Escape),
    // else 0.
    int Run();

    // The commands of the buttons (public for tests).
    void BAddClick();
    void BMoreWordClick();
    void BCreateDictionaryClick();
    void BSelectFileClick();
    void BPlayClick();
    void BPinClick();

    // Brings the one open dialog to the front; false when none is open.
    static bool RaiseOpen();

    QLabel *LWord;
    QLineEdit *EWord;
    QLabel *LTranslation;
    QLineEdit *ETranslation;
    QLabel *LTranscription;
    QLineEdit *ETranscription;
    QLabel *LSound;
    QPushButton *BSelectFile;
    QPushButton *BPlay;
    QLineEdit *ESound;
    QLabel *LStart;
    QLineEdit *EStart;
    QLabel *LEnd;
    QLineEdit *EEnd;
    QLabel *LDictionary;
    QPushButton *BCreateDictionary;
    QComboBox *CBDictionary;
    QToolButton *BPin;
    QCheckBox *ChCheckCopies;
    QPushButton *BMoreWord;
    QPushButton *BAdd;

public slots:
    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    TWordEntry Entry() const;
    void SetEntry(const TWordEntry &entry);
    // Stores the entry; true when the dialog may go on (stored, nothing to store, or dropped).
    bool SaveWord();
    void ShowDictionaries();
    void ShowEditMode();
    void ShowPin();
    void SoundChanged();
    void Place();

    TAddWord m_logic;
    TSoundPlayer *MPlayer;
    bool m_placed = false;
};

// The dialog's three ways in, on the program's catalogue; each returns 1 when the trainer must
// form its lesson again. A request while the dialog is open brings it to the front.
int RunAddWord(QWidget *trainer);
// From the tray: no parent, first moved 32 pixels left of and above the cursor.
int RunAddWordAtTray(QPoint cursor);
// The trainer's current word (the cursor's current record).
int RunEditWord(QWidget *trainer);
