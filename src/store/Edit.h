// The dictionary editor: TEditor, the logic a test drives without a window (the working copy in
// TEMP/, Dirty, Saved, Untitled, saving, blocks, search, sort, sounds), and TFEdit, the thin
// window over it; EditDictionary opens it modally for one dictionary. Every edit happens on a
// working copy through TWords; saving writes beside the dictionary and renames over it, so a
// failed save never loses the dictionary. Relies on the catalogue, the cursor, the dialog layer,
// the message windows, the settings record and sound playback.
#pragma once

#include "engine/DataSet.h"
#include "store/WordsModel.h"

#include <QDialog>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;
class QToolButton;
class TSoundPlayer;
class TTopics;

class TEditor : public QObject {
    Q_OBJECT
public:
    // Works on the catalogue's cursor; `window` parents the dialogs and message windows.
    explicit TEditor(TTopics &topics, QWidget *window = nullptr);
    ~TEditor() override;

    // Installs and removes the three handlers on the cursor (new record's counters, Dirty on
    // post and delete), keeping whatever handlers it had to put them back.
    void InstallHandlers();
    void RemoveHandlers();

    // --- state
    QString DictionaryPath() const { return m_dictionaryPath; } // without extension
    QString WorkingCopy() const { return m_workingCopy; }       // without extension
    QString CurrentDictionary() const { return m_currentDictionary; }
    bool Dirty() const { return m_dirty; }
    bool Saved() const { return m_saved; }
    bool Untitled() const { return m_untitled; }
    bool HasWorkingCopy() const { return !m_workingCopy.isEmpty(); }
    QString Caption() const;
    QString StatusDirty() const { return m_dirty ? QStringLiteral("*") : QStringLiteral(" "); }
    QString StatusCount() const { return m_statusCount; }
    bool EditingEnabled() const { return m_editingEnabled; }
    TWordsModel &Model() { return m_model; }
    TDbfDataSet &Words() const;

    // --- commands; each returns whether it did what was asked
    bool OpenDictionary(const QString &path); // the opening algorithm, closing the one before
    bool CloseDictionary();                   // false when the user cancelled
    bool Create();
    bool OpenWithDialog();
    bool Save();
    bool SaveAs();
    bool Import();
    bool OpenRecent(int index);
    bool LoadBlock();
    // The records of the selected rows, in the grid's order.
    bool SaveBlock(const std::vector<std::uint32_t> &records);
    bool Search();
    // A title click: column 0 sorts by WORD1, 1 by WORD2; the same again returns to record order.
    void SortByColumn(int column);
    // Deletes the current row at once (the row being inserted is cancelled).
    bool DeleteCurrentRow();
    // Starts a new row at the end (Down on the last row, Insert).
    bool AppendRow();

    // The current record's transcription and sound fields.
    QString CurrentText(const char *field) const;
    // Writes the transcription (or the sound name) of the current record; refused with a
    // message when the field cannot hold it whole.
    bool SetCurrentText(const char *field, const QString &text);
    bool PickSound();
    // Plays the sound named by `stored` (the WAVFILE edit's text).
    bool PlaySound(const QString &stored);
    static bool SoundPlayable(const QString &stored);
    // Releases the editor's own sound device.
    void CloseSound();

    // The window's close request: allowed only when closing the dictionary returned true.
    bool CloseRequest();
    QStringList RecentItems() const;

    // Set by the window: commits an open cell editor before Save, Close or the save question.
    std::function<void()> CommitCellEditor;
    // Set by the window: the editor hides while an import runs and shows itself again.
    std::function<void(bool visible)> SetWindowVisible;
    // Appends text files to the dictionary open on the cursor: the import of the dictionaries
    // window (ImportTextFiles); emptied, "Импорт" stays disabled.
    static std::function<void(int x, int y, bool createDictionaries, const QStringList &files)> ImportFiles;

signals:
    // Caption, status, enabling or the recent list changed.
    void Changed();

private:
    void SetDirty(bool dirty);
    void UpdateStatus();
    void SetEditing(bool enabled);
    void ClearTemp();
    // Writes the cursor's visible records, in order, to target.wrd beside it and renames it into
    // place, removing target.cdx; error 8 with the target on failure.
    bool WriteCopy(const QString &targetWrd);
    void DropBlankRows();
    void Settle();
    void Refuse(const QString &message) const;
    bool IsWorkingCopy(const QString &path) const;
    void DeleteDictionaryFiles(const QString &pathWithoutExtension);

    TTopics &m_topics;
    QWidget *m_window;
    TWordsModel m_model;
    TDbfDataSet m_block; // TBlock: block files, opened without an index
    TSoundPlayer *m_player = nullptr;

    QString m_dictionaryPath;
    QString m_workingCopy;
    QString m_currentDictionary;
    QString m_statusCount = tr("Словарь не загружен");
    bool m_dirty = false;
    bool m_saved = false;
    bool m_untitled = false;
    bool m_editingEnabled = false;
    bool m_handlersInstalled = false;
    std::function<void(TDbfDataSet &)> m_oldAfterInsert, m_oldBeforePost, m_oldAfterDelete;
};

class TFEdit : public QDialog {
    Q_OBJECT
public:
    TFEdit(TTopics &topics, QWidget *parent = nullptr);
    ~TFEdit() override;

    TEditor &Editor() { return *m_editor; }

    QTableView *GWords;
    QLineEdit *ETranscript;
    QLineEdit *EWavFile;
    QLineEdit *EWavStart;
    QLineEdit *EWavEnd;
    QPushButton *BPickSound;
    QPushButton *BPlaySound;
    QToolButton *BPin;
    QLabel *SBDirty;
    QLabel *SBCount;
    QMenu *MFile;
    QAction *ACreate, *AOpen, *AClose, *ASave, *ASaveAs, *AImport, *AExit;
    QAction *ALoadBlock, *ASaveBlock, *ASearch, *AHelp;
    QList<QAction *> ARecent;

    // The records of the selected rows, in the grid's order.
    std::vector<std::uint32_t> SelectedRecords() const;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    void FormClose();
    void Update();
    void FollowCursor(int row);
    void RefreshFields();
    void CommitCell();
    bool CellEditing() const;
    void RebuildRecent();

    std::unique_ptr<TEditor> m_editor;
    QAction *m_recentSeparator = nullptr;
    bool m_shownOnce = false;
    bool m_closed = false;
    bool m_following = false; // the view is being moved to the cursor's row
    int m_column = 0;         // the grid column the user is in
};

// Opens the editor modally for the dictionary at `path` (with or without ".wrd"); returns
// whether anything was written to a dictionary file meanwhile.
bool EditDictionary(const QString &path, QWidget *parent);

// Closes the trainer's sound device before the editor shows (set by the program).
extern std::function<void()> CloseTrainerSound;
