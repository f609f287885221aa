// The text import with its progress window: ".csv" and ".txt" files (read by ImportReader) become
// records of a dictionary on TWords, either a dictionary of each file's own name in BASE/ON/ or
// the dictionary already open. Vocabularies of other trainers (".kvtml", ".apkg", ".colpkg", read
// by store/Vocabulary.h) fill one dictionary per lesson or deck, named "file - deck" when there
// are several. Relies on the catalogue (Topics) and the shared message windows.
#pragma once

#include "platform/ModalHook.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

// What one import did, for the caller and for the summary the window shows.
struct TImportSummary {
    int recordsPosted = 0;        // records written, over all files
    QStringList dictionaries;     // paths (without extension) that received words or were created
    QStringList skipped;          // "file: why" for each file that was not read
    QStringList unpaired;         // line-pair files whose last word has no translation
    QStringList leftOut;          // "file: what" for vocabularies whose notes were not all taken
    int lostCharacters = 0;       // characters Windows-1251 lacks, written as "?"
    QString failure;              // what stopped the import, empty when nothing did
    bool aborted = false;         // "Прервать", Enter or Esc stopped it
    bool NeedsSaying() const { return !skipped.isEmpty() || !unpaired.isEmpty() || !leftOut.isEmpty() || lostCharacters || !failure.isEmpty(); }
    QString Text() const;
};

// The progress window: "Добавляется словарь : ", a bar, and "Прервать" swapped for "Готово"
// once the import has ended.
class TFWorking : public QDialog {
    Q_OBJECT
public:
    explicit TFWorking(QWidget *parent = nullptr);

    QLabel *LAdding;
    QProgressBar *PBProgress;
    QLabel *LSummary;
    QPushButton *BAbort;
    QPushButton *BDone;

    bool AbortRequested = false;

    // Centres the window on (x, y), kept on the work area; shows "Прервать"; clears the flag.
    void Prepare(int x, int y);
    // Puts the name of the file being read beside the label and sets the bar's range.
    void StartFile(const QString &path, int steps);
    void SetPosition(int position);
    // Shows "Готово" (with the summary when there is one) and, when there is something to say,
    // waits until the user closes the window; otherwise closes it at once.
    void Finish(const TImportSummary &summary);

    // Tests: `TFWorking::TestHook hook;` -- a summary the window would wait on is recorded and
    // the window closed at once.
    using TestHook = ModalHook<TImportSummary, int>;
    // Tests: called each time the import lets events run, with the number of records posted so
    // far in the current file (to press "Прервать" in the middle of one, say).
    static inline std::function<void(TFWorking &, int posted)> StepHook;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

public slots:
    void reject() override;

private:
    void RequestAbort();
    bool m_finished = false;
};

// Imports the files in order into dictionaries on TWords (see the file comment), showing the
// progress window centred on (x, y). Each file is read whole before any dictionary is made or
// opened; an unreadable file is reported (error 9) and skipped. A failure of the table stops the
// import after the words already posted; every path restores TWords' display and after-insert
// handler. Returns what was done.
TImportSummary ImportTextFiles(int x, int y, bool createDictionaries, const QStringList &files);
