// DSWords: the editor's grid model over the one cursor. It keeps no copy of the words, only the
// physical numbers of the visible records in the current order (4 bytes a row), and reads each
// cell by record number without moving the cursor, so scrolling never posts an edit; the row
// being edited or inserted shows the edit buffer. It follows the cursor's view notices: a
// data-set change refreshes the rows, a scroll moves the current row, a record change updates
// its row, a state change adds or drops the row being inserted (always the last row).
#pragma once

#include "engine/DataSet.h"

#include <QAbstractTableModel>
#include <QFont>

#include <cstdint>
#include <functional>
#include <vector>

class TWordsModel : public QAbstractTableModel, public TDataSetView {
    Q_OBJECT
public:
    enum Column { ColWord1 = 0, ColWord2 = 1 };

    explicit TWordsModel(QObject *parent = nullptr);
    ~TWordsModel() override;

    // Attaches to the cursor (null detaches); the rows are read at once.
    void SetDataSet(TDbfDataSet *dataSet);
    TDbfDataSet *DataSet() const { return m_ds; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Writes a cell: the cursor goes to the row (settling another row's edit), enters Edit, and
    // the field takes the text. Text the field cannot hold whole is refused through OnRefused.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // Visible records, not counting the row being inserted.
    int RecordRows() const { return int(m_rows.size()); }
    bool InsertRowShown() const { return m_insertShown; }
    // The record of a row (0 for the row being inserted or a row out of range), and a record's
    // row (-1 when it is not visible).
    std::uint32_t RecordAt(int row) const;
    int RowOf(std::uint32_t recNo) const;
    // The cursor's row: the insert row while inserting, -1 when there is no current record.
    int CurrentRow() const;

    // Moves the cursor to the row's record (the grid's own moves). Leaving a new row that the
    // user typed nothing into cancels it.
    void GoToRow(int row);
    // True while the model follows a change of the cursor's rows: a view's current index moved
    // meanwhile (its row removed, the rows reset) says nothing of where the user is.
    bool FollowingCursor() const { return m_followingCursor; }
    // Cancels a new row the user typed nothing into; true when there was one.
    bool DropUntouchedNewRow();
    bool TypedInNewRow() const { return m_typedInNewRow; }
    // The user wrote into the new row outside the grid (the transcription, the sound).
    void MarkNewRowTyped() { m_typedInNewRow = true; }

    // The column whose title is drawn as sorted (navy, white text), -1 for none.
    void SetSortedColumn(int column);
    int SortedColumn() const { return m_sortedColumn; }
    void SetColumnFont(int column, const QFont &font);

    // Why a text was refused (shown by the owner).
    std::function<void(const QString &message)> OnRefused;

    // Reads the rows afresh (as on a data-set change).
    void Refresh();
    // The cursor moved while the model was not attached, its rows unchanged (as on a scroll).
    void CursorMoved() { DataEvent(deScroll, nullptr); }

    // Whether the text fits the field whole (Windows-1251, within its length); otherwise why not.
    static QString TextProblem(const QString &text, const TField &field);

signals:
    // The cursor's row changed (a scroll, a refresh); the view follows it.
    void CurrentRowChanged(int row);

private:
    void DataEvent(TDataEvent event, TField *field) override;
    TField *FieldOf(int column) const;

    TDbfDataSet *m_ds = nullptr;
    std::vector<std::uint32_t> m_rows;
    bool m_insertShown = false;
    bool m_typedInNewRow = false;
    int m_indicatorRow = -1;
    bool m_followingCursor = false;
    mutable int m_hint = 0; // where the current record was last found
    int m_sortedColumn = -1;
    QFont m_fonts[2];
    bool m_hasFont[2] = {false, false};
};
