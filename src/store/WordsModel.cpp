// The grid model over the cursor. Relies on the cursor's rows-for-views reads and on the one
// Windows-1251 conversion.
#include "store/WordsModel.h"

#include "engine/EngineError.h"
#include "platform/Text.h"

#include <QColor>
#include <QScopedValueRollback>
#include <QStringLiteral>

namespace {

// The column titles, by column.
const char *const ColumnTitles[] = {QT_TRANSLATE_NOOP("TWordsModel", "Изучаемые слова"),
                                    QT_TRANSLATE_NOOP("TWordsModel", "Переводы")};

} // namespace

TWordsModel::TWordsModel(QObject *parent) : QAbstractTableModel(parent) {}

TWordsModel::~TWordsModel()
{
    if (m_ds)
        m_ds->DetachView(this);
}

void TWordsModel::SetDataSet(TDbfDataSet *dataSet)
{
    if (m_ds)
        m_ds->DetachView(this);
    m_ds = dataSet;
    if (m_ds)
        m_ds->AttachView(this);
    Refresh();
}

TField *TWordsModel::FieldOf(int column) const
{
    if (!m_ds || !m_ds->Active())
        return nullptr;
    return m_ds->FindField(column == ColWord1 ? "WORD1" : "WORD2");
}

int TWordsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size()) + (m_insertShown ? 1 : 0);
}

int TWordsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

std::uint32_t TWordsModel::RecordAt(int row) const
{
    return row >= 0 && row < int(m_rows.size()) ? m_rows[size_t(row)] : 0;
}

int TWordsModel::RowOf(std::uint32_t recNo) const
{
    if (recNo == 0 || m_rows.empty())
        return -1;
    // Moves are mostly short: look near the last place first.
    const int n = int(m_rows.size());
    const int hint = std::min(std::max(m_hint, 0), n - 1);
    for (int d = 0; d < 64; ++d) {
        if (hint + d < n && m_rows[size_t(hint + d)] == recNo)
            return m_hint = hint + d;
        if (hint - d >= 0 && m_rows[size_t(hint - d)] == recNo)
            return m_hint = hint - d;
    }
    for (int i = 0; i < n; ++i)
        if (m_rows[size_t(i)] == recNo)
            return m_hint = i;
    return -1;
}

int TWordsModel::CurrentRow() const
{
    if (!m_ds || !m_ds->Active())
        return -1;
    if (m_ds->State() == dsInsert)
        return m_insertShown ? int(m_rows.size()) : -1;
    if (m_ds->IsEmpty())
        return -1;
    return RowOf(m_ds->RecNo());
}

QVariant TWordsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() > 1)
        return {};
    if (role == Qt::FontRole && m_hasFont[index.column()])
        return m_fonts[index.column()];
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    TField *field = FieldOf(index.column());
    if (!field)
        return {};
    const int row = index.row();
    try {
        if (row == int(m_rows.size()) && m_insertShown)
            return Text::fromCp1251(field->AsString());
        const std::uint32_t recNo = RecordAt(row);
        if (recNo == 0)
            return {};
        if (m_ds->State() == dsEdit && recNo == m_ds->RecNo())
            return Text::fromCp1251(field->AsString()); // the edit buffer
        return Text::fromCp1251(m_ds->FieldTextAt(recNo, *field));
    } catch (const EEngineError &) {
        return {};
    }
}

QVariant TWordsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole)
            return tr(ColumnTitles[section == ColWord1 ? ColWord1 : ColWord2]);
        if (section == m_sortedColumn) {
            if (role == Qt::BackgroundRole)
                return QColor(Qt::darkBlue);
            if (role == Qt::ForegroundRole)
                return QColor(Qt::white);
        }
        return {};
    }
    // The row indicator: the current row, and the new row being typed.
    if (role == Qt::DisplayRole) {
        if (m_insertShown && section == int(m_rows.size()))
            return QStringLiteral("*");
        return section == CurrentRow() ? QStringLiteral("▸") : QString();
    }
    return {};
}

Qt::ItemFlags TWordsModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

QString TWordsModel::TextProblem(const QString &text, const TField &field)
{
    if (!Text::fitsCp1251(text))
        return tr("В тексте есть знаки, которых нет в кодировке Windows-1251; такой текст сохранить нельзя.");
    const std::string bytes = Text::toCp1251(text);
    if (bytes.find('\0') != std::string::npos)
        return tr("В тексте есть недопустимые знаки.");
    if (int(bytes.size()) > field.Size())
        return tr("Текст не помещается в поле: в нём можно хранить не больше %n знаков.", nullptr, field.Size());
    return {};
}

bool TWordsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || !m_ds || !m_ds->Active())
        return false;
    TField *field = FieldOf(index.column());
    if (!field)
        return false;
    const QString text = value.toString();
    if (const QString problem = TextProblem(text, *field); !problem.isEmpty()) {
        if (OnRefused)
            OnRefused(problem);
        return false;
    }
    const std::string bytes = Text::toCp1251(text);
    try {
        const bool newRow = m_insertShown && index.row() == int(m_rows.size());
        if (!newRow) {
            const std::uint32_t recNo = RecordAt(index.row());
            if (recNo == 0)
                return false;
            // An unchanged value on a row that is not being edited changes nothing.
            if (m_ds->State() != dsEdit || m_ds->RecNo() != recNo) {
                if (m_ds->FieldTextAt(recNo, *field) == bytes)
                    return true;
                GoToRow(index.row());
            }
            m_ds->Edit();
        } else if (m_ds->State() != dsInsert) {
            return false;
        }
        if (field->AsString() == bytes)
            return true;
        if (m_ds->State() == dsInsert)
            m_typedInNewRow = true;
        field->SetAsString(bytes);
    } catch (const EEngineError &e) {
        if (OnRefused)
            OnRefused(QString::fromLocal8Bit(e.what()));
        return false;
    }
    return true;
}

void TWordsModel::GoToRow(int row)
{
    if (!m_ds || !m_ds->Active())
        return;
    if (m_insertShown && row == int(m_rows.size()))
        return;
    const std::uint32_t recNo = RecordAt(row);
    if (recNo == 0)
        return;
    DropUntouchedNewRow();
    if (m_ds->State() == dsInsert || m_ds->RecNo() != recNo)
        m_ds->SetRecNo(recNo); // settles an edit: posted when changed
}

bool TWordsModel::DropUntouchedNewRow()
{
    if (!m_ds || !m_ds->Active() || m_ds->State() != dsInsert || m_typedInNewRow)
        return false;
    m_ds->Cancel();
    return true;
}

void TWordsModel::SetSortedColumn(int column)
{
    if (column == m_sortedColumn)
        return;
    m_sortedColumn = column;
    emit headerDataChanged(Qt::Horizontal, 0, 1);
}

void TWordsModel::SetColumnFont(int column, const QFont &font)
{
    if (column < 0 || column > 1)
        return;
    m_fonts[column] = font;
    m_hasFont[column] = true;
    if (!m_rows.empty())
        emit dataChanged(index(0, column), index(rowCount() - 1, column), {Qt::FontRole});
}

void TWordsModel::Refresh()
{
    const QScopedValueRollback<bool> following(m_followingCursor, true);
    std::vector<std::uint32_t> rows;
    bool inserting = false;
    if (m_ds && m_ds->Active()) {
        try {
            rows = m_ds->VisibleRecords();
        } catch (const EEngineError &) {
            rows.clear();
        }
        inserting = m_ds->State() == dsInsert;
    }
    if (rows == m_rows && inserting == m_insertShown) {
        // Same rows in the same order: only their contents may differ; selection stays.
        if (rowCount() > 0)
            emit dataChanged(index(0, 0), index(rowCount() - 1, 1), {Qt::DisplayRole, Qt::EditRole});
    } else {
        beginResetModel();
        m_rows.swap(rows);
        m_insertShown = inserting;
        endResetModel();
    }
    m_indicatorRow = CurrentRow();
    emit CurrentRowChanged(m_indicatorRow);
}

void TWordsModel::DataEvent(TDataEvent event, TField *field)
{
    const QScopedValueRollback<bool> following(m_followingCursor, true);
    switch (event) {
    case deDataSetChange:
        Refresh();
        break;
    case deScroll: {
        const int row = CurrentRow();
        const int before = m_indicatorRow;
        m_indicatorRow = row;
        emit CurrentRowChanged(row);
        // Only the two rows whose indicator changed are redrawn.
        if (before >= 0 && before < rowCount())
            emit headerDataChanged(Qt::Vertical, before, before);
        if (row >= 0)
            emit headerDataChanged(Qt::Vertical, row, row);
        break;
    }
    case deRecordChange: {
        const int row = CurrentRow();
        if (row >= 0)
            emit dataChanged(index(row, 0), index(row, 1), {Qt::DisplayRole, Qt::EditRole});
        break;
    }
    case deStateChange: {
        const bool inserting = m_ds && m_ds->Active() && m_ds->State() == dsInsert;
        if (inserting && !m_insertShown) {
            m_typedInNewRow = false;
            const int at = int(m_rows.size());
            beginInsertRows(QModelIndex(), at, at);
            m_insertShown = true;
            endInsertRows();
            emit CurrentRowChanged(at);
        } else if (!inserting && m_insertShown) {
            const int at = int(m_rows.size());
            beginRemoveRows(QModelIndex(), at, at);
            m_insertShown = false;
            endRemoveRows();
            m_typedInNewRow = false;
        }
        break;
    }
    }
}
