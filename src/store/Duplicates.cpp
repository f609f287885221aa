// The duplicate check and its window; see Duplicates.h.
#include "store/Duplicates.h"

#include "engine/DataSet.h"
#include "engine/Expression.h"
#include "messages/Information.h"
#include "platform/Text.h"
#include "settings/Lang.h"
#include "settings/WindowPlacement.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cstring>
#include <limits>
#include <memory>

namespace {

void setNumber(TField &field, std::int64_t value)
{
    if (value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max())
        field.SetAsInteger(std::int32_t(value));
    else
        field.SetAsFloat(double(value));
}

} // namespace

void WriteNewWord(TDbfDataSet &words, const TNewWord &word)
{
    words.FieldByName("WORD1").SetAsString(word.word1);
    words.FieldByName("WORD2").SetAsString(word.word2);
    words.FieldByName("TRANSCRIPT").SetAsString(word.transcript);
    words.FieldByName("WAVFILE").SetAsString(word.wavFile);
    setNumber(words.FieldByName("WAVSTART"), word.wavStart);
    setNumber(words.FieldByName("WAVEND"), word.wavEnd);
    for (const char *counter : {"MISS", "KBMISS", "INROW", "KBINROW"})
        words.FieldByName(counter).SetAsInteger(0);
}

// ---------------------------------------------------------------------------------------
// Matching

namespace {

std::string dropTrailingBlanks(std::string s)
{
    const size_t end = s.find_last_not_of(' ');
    s.erase(end == std::string::npos ? 0 : end + 1);
    return s;
}

// One handler for the comparisons: the cursor's own text rule, wildcards off, letter case on.
const TExpHandler &textRule()
{
    static const std::unique_ptr<TExpHandler> rule = [] {
        auto h = std::make_unique<TExpHandler>(nullptr);
        h->Wildcard = false;
        h->CaseInsensitive = false;
        return h;
    }();
    return *rule;
}

} // namespace

TDuplicateMatch::TDuplicateMatch(const TDbfTable &table, const std::string &word, const std::string &translation)
    : m_word(dropTrailingBlanks(word)), m_translation(dropTrailingBlanks(translation))
{
    const int w1 = table.FindField("WORD1");
    const int w2 = table.FindField("WORD2");
    if (w1 >= 0) {
        m_word1Offset = table.Field(w1).Offset;
        m_word1Length = table.Field(w1).Length;
    }
    if (w2 >= 0) {
        m_word2Offset = table.Field(w2).Offset;
        m_word2Length = table.Field(w2).Length;
    }
}

bool TDuplicateMatch::Same(const char *field, int length, const std::string &typed) const
{
    // A field's text ends at its first NUL; trailing blanks do not count. Texts of other lengths
    // can never compare equal, so only same-length ones go to the full rule.
    const void *nul = std::memchr(field, 0, size_t(length));
    size_t n = nul ? size_t(static_cast<const char *>(nul) - field) : size_t(length);
    while (n > 0 && field[n - 1] == ' ')
        --n;
    if (n != typed.size())
        return false;
    return textRule().CompareText(std::string(field, n), typed) == 0;
}

bool TDuplicateMatch::Matches(const char *record) const
{
    if (!m_word.empty() && m_word1Offset >= 0 && Same(record + m_word1Offset, m_word1Length, m_word))
        return true;
    return !m_translation.empty() && m_word2Offset >= 0 && Same(record + m_word2Offset, m_word2Length, m_translation);
}

std::vector<std::uint32_t> DuplicateRecords(TDbfDataSet &words, const TDuplicateMatch &match)
{
    std::vector<std::uint32_t> found;
    TDbfTable *table = words.Table();
    if (!table || match.Empty())
        return found;
    std::vector<char> buffer(size_t(table->RecordLength()) + 1);
    const std::uint32_t count = table->RecordCount();
    for (std::uint32_t n = 1; n <= count; ++n) {
        const char *record = table->PeekRecord(n);
        if (!record) {
            table->ReadRecordInto(n, buffer.data());
            record = buffer.data();
        }
        if (!words.UseDeleted() && table->IsDeleted(record))
            continue;
        if (match.Matches(record))
            found.push_back(n);
    }
    return found;
}

// ---------------------------------------------------------------------------------------
// The check

namespace {

// Hands the cursor back as it was found: a write left pending by a failure is dropped, then
// the saved filter state is put back.
class FilterRestorer {
public:
    explicit FilterRestorer(TDbfDataSet &words) : m_words(words), m_saved(words.SaveFilterState()) {}
    ~FilterRestorer()
    {
        if (m_done)
            return;
        try {
            if (m_words.Active() && (m_words.State() == dsEdit || m_words.State() == dsInsert))
                m_words.Cancel();
            m_words.RestoreFilterState(m_saved);
        } catch (...) {
            // Already failing: the error on its way to the caller is the one to report.
        }
    }
    void Restore()
    {
        m_done = true;
        m_words.RestoreFilterState(m_saved);
    }

private:
    TDbfDataSet &m_words;
    TFilterState m_saved;
    bool m_done = false;
};

} // namespace

TDuplicateOutcome FindDuplicates(QWidget *parent, TDbfDataSet &words, const TNewWord &word)
{
    if (!words.Active())
        return TDuplicateOutcome::None;
    auto match = std::make_shared<TDuplicateMatch>(*words.Table(), word.word1, word.word2);
    if (DuplicateRecords(words, *match).empty())
        return TDuplicateOutcome::None;

    FilterRestorer restorer(words);
    // Only the match decides what the cursor shows while the window is up.
    words.OnFilterRecord = [match](TDbfDataSet &ds, bool &accept) { accept = match->Matches(ds.Table()->RecordView()); };
    words.SetFilter(std::string());
    words.SetFilterOptions(foNoPartialCompare);
    words.SetFiltered(true);
    QList<TFDuplicates::Row> rows;
    for (words.First(); !words.Eof(); words.Next())
        rows.append({words.RecNo(), Text::fromCp1251(words.FieldByName("WORD1").AsString()),
                     Text::fromCp1251(words.FieldByName("WORD2").AsString())});

    TFDuplicates window(parent, Text::fromCp1251(word.word1), Text::fromCp1251(word.word2), rows);
    window.exec();
    TDuplicateOutcome outcome = window.Choice();
    switch (outcome) {
    case TDuplicateOutcome::Added:
        words.Append();
        WriteNewWord(words, word);
        words.Post();
        words.FlushDBF();
        break;
    case TDuplicateOutcome::Replaced:
        words.SetRecNo(window.ChosenRecord());
        words.Edit();
        words.FieldByName("WORD1").SetAsString(word.word1);
        words.FieldByName("WORD2").SetAsString(word.word2);
        words.Post();
        words.FlushDBF();
        break;
    default:
        outcome = TDuplicateOutcome::Dropped;
        break;
    }
    restorer.Restore();
    return outcome;
}

// ---------------------------------------------------------------------------------------
// The window

TFDuplicates::TFDuplicates(QWidget *parent, const QString &word, const QString &translation, const QList<Row> &rows)
    : QDialog(parent, Qt::Tool), m_rows(rows)
{
    setObjectName(QStringLiteral("TFDuplicates"));
    setWindowTitle(QStringLiteral("Найдены повторы"));
    setMinimumSize(442, 236);
    setAutoFillBackground(true);
    QPalette yellow = palette();
    yellow.setColor(QPalette::Window, QColor(255, 255, 192));
    setPalette(yellow);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    LEntered = new QLabel(QStringLiteral("Вы ввели следующую пару слов:"), this);
    LEntered->setObjectName(QStringLiteral("LEntered"));
    LEntered->setAlignment(Qt::AlignHCenter);
    column->addWidget(LEntered);

    auto *pair = new QHBoxLayout;
    pair->setSpacing(16);
    auto boldLabel = [this](const char *name, const QString &text, int group) {
        auto *label = new QLabel(text, this);
        label->setObjectName(QString::fromLatin1(name));
        label->setAccessibleName(text);
        SetLanguageFont(label, group);
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
        return label;
    };
    LWord = boldLabel("LWord", word, 0);
    LTranslation = boldLabel("LTranslation", translation, 1);
    pair->addWidget(LWord, 1);
    pair->addWidget(LTranslation, 1);
    column->addLayout(pair);

    LFound = new QLabel(QStringLiteral("Эти слова были найдены в том же словаре:"), this);
    LFound->setObjectName(QStringLiteral("LFound"));
    column->addWidget(LFound);

    GDuplicates = new QTableWidget(int(rows.size()), 2, this);
    GDuplicates->setObjectName(QStringLiteral("GDuplicates"));
    GDuplicates->setAccessibleName(QStringLiteral("Эти слова были найдены в том же словаре"));
    GDuplicates->horizontalHeader()->hide();
    GDuplicates->verticalHeader()->hide();
    GDuplicates->setSelectionBehavior(QAbstractItemView::SelectRows);
    GDuplicates->setSelectionMode(QAbstractItemView::SingleSelection);
    GDuplicates->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QFont studied = GDuplicates->font(), native = GDuplicates->font();
    ApplyLanguageFont(Options, studied, 0);
    ApplyLanguageFont(Options, native, 1);
    for (int r = 0; r < rows.size(); ++r) {
        auto *w1 = new QTableWidgetItem(rows[r].word1);
        w1->setFont(studied);
        auto *w2 = new QTableWidgetItem(rows[r].word2);
        w2->setFont(native);
        GDuplicates->setItem(r, 0, w1);
        GDuplicates->setItem(r, 1, w2);
    }
    if (!rows.isEmpty())
        GDuplicates->selectRow(0);
    column->addWidget(GDuplicates, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto button = [&](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAccessibleName(caption);
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    BAdd = button("BAdd", QStringLiteral("Добавить"));
    BReplace = button("BReplace", QStringLiteral("Заменить"));
    BCancel = button("BCancel", QStringLiteral("Отмена"));
    BReplace->setEnabled(!rows.isEmpty());
    column->addLayout(buttons);

    connect(BAdd, &QPushButton::clicked, this, [this] { Choose(TDuplicateOutcome::Added); });
    connect(BReplace, &QPushButton::clicked, this, [this] { Choose(TDuplicateOutcome::Replaced); });
    connect(BCancel, &QPushButton::clicked, this, [this] { Choose(TDuplicateOutcome::Dropped); });
    InstallHelpKey(this);
    GDuplicates->viewport()->installEventFilter(this);
    resize(minimumSize());
}

void TFDuplicates::Choose(TDuplicateOutcome choice)
{
    if (choice == TDuplicateOutcome::Replaced) {
        const int row = GDuplicates->currentRow();
        if (row < 0 || row >= m_rows.size())
            return;
        m_chosen = m_rows[row].recNo;
    }
    m_choice = choice;
    done(choice == TDuplicateOutcome::Dropped ? QDialog::Rejected : QDialog::Accepted);
}

int TFDuplicates::exec()
{
    if (QWidget *owner = parentWidget())
        PlaceNear(owner, this, 1);
    else if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    if (TestHook *hook = TestHook::current()) {
        const Answer answer = hook->take({LWord->text(), LTranslation->text(), m_rows}, {TDuplicateOutcome::Dropped, 0});
        QTimer::singleShot(0, this, [this, answer] {
            GDuplicates->selectRow(answer.row);
            switch (answer.choice) {
            case TDuplicateOutcome::Added: BAdd->click(); break;
            case TDuplicateOutcome::Replaced: BReplace->click(); break;
            default: BCancel->click(); break;
            }
            if (isVisible()) // a button that did not close the window
                reject();
        });
    }
    return QDialog::exec();
}

bool TFDuplicates::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == GDuplicates->viewport() && event->type() == QEvent::Resize)
        FitColumns();
    return QDialog::eventFilter(watched, event);
}

void TFDuplicates::FitColumns()
{
    const int client = GDuplicates->viewport()->width();
    const int first = (client - 16) / 2 - 14;
    GDuplicates->setColumnWidth(0, qMax(first, 20));
    GDuplicates->setColumnWidth(1, qMax(client - first - 30, 20));
}
