// The dictionaries window: two check lists, studied (BASE/ON/ ticked, BASE/OFF/ not) and learned
// (BASE/LEARNED/ ticked, BASE/LEARNEDOFF/ not), where the tick mark is the folder a dictionary
// lies in. TDictionariesLogic does the work on the files through the catalogue and can be driven
// by a test without a window; TFDictionaries only shows it.
#pragma once

#include "store/Topics.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPoint>
#include <QString>

#include <functional>
#include <vector>

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QSplitter;
class QToolButton;
class TImageList;

// The windows of other parts the dictionaries window opens. Set once by start-up; while one is
// empty its commands are disabled.
struct TDictionaryHooks {
    // The editor on path (without extension), modal over parent; true when it saved something.
    static inline std::function<bool(const QString &path, QWidget *parent)> EditDictionary;
    // The download window, modal over parent; true when it fetched dictionary files.
    static inline std::function<bool(QWidget *parent)> RunDownload;
};

class TDictionariesLogic {
    Q_DECLARE_TR_FUNCTIONS(TDictionariesLogic)
public:
    enum List { ListOn = 0, ListLearned = 1 };

    // One line of a list. The folder is the one its files were found in (or moved to), so that
    // the mark shown always names where the files are.
    struct Entry {
        QString name;
        TopicKind folder;
        bool Ticked() const { return folder == tkOn || folder == tkLearned; }
    };

    // `window` (may be null) owns the questions and dialogs and is hidden during an import.
    TDictionariesLogic(TTopics &topics, QWidget *window = nullptr);

    // Rescans the four folders and fills both lists, sorted; the first studied entry selected.
    void FillLists();
    // Only the studied list, from BASE/ON/ and BASE/OFF/ (after a download).
    void FillList(List list);

    const std::vector<Entry> &Entries(List list) const { return m_entries[list]; }
    int Selected(List list) const { return m_selected[list]; }
    void Select(List list, int row);
    int Find(List list, const QString &name, TopicKind folder) const;

    // Clicking an entry's check box: moves its files to the folder of the new mark. Returns
    // whether they moved; on failure the entry keeps its folder (and so its old mark).
    bool SetTicked(List list, int row, bool ticked);

    // The menu commands, on the selected entry of the list.
    void Create();
    void Rename(List list);
    void Delete(List list);
    void ResetStatistics(List list);
    void Edit(List list);
    void Import();
    void Download();

    bool CanEdit(List list) const { return m_selected[list] >= 0 && bool(TDictionaryHooks::EditDictionary); }
    bool CanDownload() const { return bool(TDictionaryHooks::RunDownload); }
    bool HasSelection(List list) const { return m_selected[list] >= 0; }

    // What the caller learns on close.
    bool Modified() const { return m_modified; }
    TopicKinds ChangedFolders() const { return m_changed; }

    // The folder pair of a list: ticked and unticked.
    static TopicKind TickedKind(List list) { return list == ListOn ? tkOn : tkLearned; }
    static TopicKind UntickedKind(List list) { return list == ListOn ? tkOff : tkLearnedOff; }

    // Told when the lists or a selection changed, so that the window shows them again.
    std::function<void()> Changed;

private:
    QString FilePath(TopicKind folder, const QString &name, const char *extension) const;
    // Asks for a dictionary name until a usable one is given; false on cancel.
    bool AskName(QString &name);
    // Moves folder/name.wrd and .cdx to target folder/new name. False when the table did not move.
    bool MoveDictionary(TopicKind from, const QString &name, TopicKind to, const QString &newName);
    QPoint Centre() const;
    void Notify();

    TTopics &m_topics;
    QWidget *m_window;
    std::vector<Entry> m_entries[2];
    int m_selected[2] = {-1, -1};
    bool m_modified = false;
    TopicKinds m_changed = 0;
};

class TFDictionaries : public QDialog {
    Q_OBJECT
public:
    TFDictionaries(TTopics &topics, const TImageList &images, QWidget *parent = nullptr);
    ~TFDictionaries() override;

    TDictionariesLogic &Logic() { return m_logic; }

    // Shows the window modally until it is closed. Unlike exec(), the window may hide itself
    // for an import without ending the loop.
    void Execute();

    QLabel *LOn;
    QLabel *LLearned;
    QSplitter *SSplitter;
    QListWidget *CLBOn;
    QListWidget *CLBLearned;
    QToolButton *BPin;
    QPushButton *BDownload;
    QPushButton *BClose;
    QMenu *PMOn;
    QMenu *PMLearned;
    // The menu items, per list: create, edit, delete, rename, import, reset (null where a list
    // has no such item).
    QAction *MCreate;
    QAction *MEdit[2];
    QAction *MDelete[2];
    QAction *MRename[2];
    QAction *MImport;
    QAction *MReset[2];

    // The one open window, if any (a second request brings it to the front).
    static TFDictionaries *Current() { return s_current; }

public slots:
    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void ShowLists();
    void ShowList(TDictionariesLogic::List list);
    void UpdateActions();
    void UpdatePin();
    QListWidget *ListOf(TDictionariesLogic::List list) const;
    void ItemChanged(TDictionariesLogic::List list, int row);

    TDictionariesLogic m_logic;
    const TImageList &m_images;
    bool m_showing = false; // filling the lists: item changes are not the user's
    bool m_shownOnce = false;
    bool m_closed = false;
    static inline TFDictionaries *s_current = nullptr;
};

// Opens the dictionaries window over `owner` (10 right of and 30 below its corner) unless one is
// open already, which is then brought to the front. After it closes, `changed` holds the folders
// that changed; returns Modified.
bool RunDictionaries(QWidget *owner, TTopics &topics, const TImageList &images, TopicKinds &changed);
