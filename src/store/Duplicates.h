// The duplicate check before a new word is stored: records of the open dictionary with the same
// word or the same translation, shown in "Найдены повторы" with the choice to add the new word
// anyway, put it over one of them, or drop it. Works on the dictionary open on the cursor, with
// the cursor's own comparison of texts; builds no filter text from what the user typed.
#pragma once

#include "platform/ModalHook.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;
class TDbfDataSet;
class TDbfTable;

// A word as the add-word dialog stores it: every field it fills, Windows-1251.
struct TNewWord {
    std::string word1, word2, transcript, wavFile;
    std::int64_t wavStart = 0, wavEnd = 0;
};

// Fills the record being appended or edited on `words` with the word, its four answer counters 0.
void WriteNewWord(TDbfDataSet &words, const TNewWord &word);

// Whether a record holds the typed word in WORD1 or the typed translation in WORD2, compared as
// a filter compares a text field with a quoted text (trailing blanks dropped, leading ones and
// letter case counting), with no wildcards: "*" and "a*" are plain text. A side typed empty is
// not compared, so that an empty translation does not match every record without one.
class TDuplicateMatch {
public:
    TDuplicateMatch(const TDbfTable &table, const std::string &word, const std::string &translation);
    // A record's bytes as the table lays them out.
    bool Matches(const char *record) const;
    bool Empty() const { return m_word.empty() && m_translation.empty(); }
    // The typed texts as compared (trailing blanks dropped); empty: that side is not compared.
    const std::string &Word() const { return m_word; }
    const std::string &Translation() const { return m_translation; }

private:
    bool Same(const char *field, int length, const std::string &typed) const;

    std::string m_word, m_translation; // trailing blanks dropped
    int m_word1Offset = -1, m_word1Length = 0;
    int m_word2Offset = -1, m_word2Length = 0;
};

// Physical numbers of the live records of the dictionary open on `words` that match, in file
// order, without moving the cursor: looked up in the WORD1 and WORD2 tags when both hold plain
// byte-order keys of their field and the cursor does not walk either, else read straight through.
std::vector<std::uint32_t> DuplicateRecords(TDbfDataSet &words, const TDuplicateMatch &match);

enum class TDuplicateOutcome {
    None,     // nothing matched: the caller stores the word itself
    Added,    // stored as a new record all the same
    Replaced, // put over a found record
    Dropped,  // the user cancelled: nothing stored
};

// The check before the add-word dialog appends `word` to the dictionary open on `words`. When
// records match, the window lists them (in the cursor's order) and does what the user chooses;
// a record it writes is posted and flushed at once. The cursor's filter, filter options and
// record predicate are as before afterwards, also when writing fails: the engine's error is then
// raised to the caller, with nothing half-written.
TDuplicateOutcome FindDuplicates(QWidget *parent, TDbfDataSet &words, const TNewWord &word);

// "Найдены повторы": the typed pair, the found records (read-only) and the three choices.
class TFDuplicates : public QDialog {
    Q_OBJECT
public:
    struct Row {
        std::uint32_t recNo;
        QString word1, word2;
    };
    TFDuplicates(QWidget *parent, const QString &word, const QString &translation, const QList<Row> &rows);

    // What the user chose (None until a button closed the window) and, for Replaced, the record.
    TDuplicateOutcome Choice() const { return m_choice; }
    std::uint32_t ChosenRecord() const { return m_chosen; }

    // Tests: `TFDuplicates::TestHook hook; hook.answer({TDuplicateOutcome::Replaced, 1});` --
    // every window while it lives is recorded and answered by pressing the button (after
    // selecting the row); Отмена when nothing is queued.
    struct Shown {
        QString word, translation;
        QList<Row> rows;
    };
    struct Answer {
        TDuplicateOutcome choice;
        int row = 0;
    };
    using TestHook = ModalHook<Shown, Answer>;

    QLabel *LEntered;
    QLabel *LWord;
    QLabel *LTranslation;
    QLabel *LFound;
    QTableWidget *GDuplicates;
    QPushButton *BAdd;
    QPushButton *BReplace;
    QPushButton *BCancel;

    int exec() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FitColumns();
    void Choose(TDuplicateOutcome choice);

    QList<Row> m_rows;
    TDuplicateOutcome m_choice = TDuplicateOutcome::None;
    std::uint32_t m_chosen = 0;
};
