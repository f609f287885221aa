// The duplicate check and its window; see Duplicates.h.
#include "store/Duplicates.h"

#include "engine/Cdx.h"
#include "engine/DataSet.h"
#include "engine/Strings.h"
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

#include <algorithm>
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
    // A field's text ends at its first NUL and its trailing blanks do not count, so it can equal
    // the typed text only when it starts with it and holds nothing but blanks after it. Most
    // records differ in their first bytes; only a candidate goes to the full rule.
    const size_t n = typed.size();
    if (n > size_t(length) || std::memcmp(field, typed.data(), n) != 0)
        return false;
    size_t end = n;
    while (end < size_t(length) && field[end] == ' ')
        ++end;
    if (end < size_t(length) && field[end] != 0)
        return false;
    const void *nul = std::memchr(field, 0, size_t(length));
    const size_t text = nul ? size_t(static_cast<const char *>(nul) - field) : size_t(length);
    return textRule().CompareText(std::string(field, text), typed) == 0;
}

bool TDuplicateMatch::Matches(const char *record) const
{
    if (!m_word.empty() && m_word1Offset >= 0 && Same(record + m_word1Offset, m_word1Length, m_word))
        return true;
    return !m_translation.empty() && m_word2Offset >= 0 && Same(record + m_word2Offset, m_word2Length, m_translation);
}

namespace {

// The dictionary's own tag on a field, when its keys are the field's bytes in plain byte order,
// hold every record and the cursor does not walk it: then the records whose key equals a text
// are exactly the candidates for that field.
TCdxTag *plainFieldTag(TDbfDataSet &words, const char *field)
{
    for (int i = 0; i < words.IndexFileCount(); ++i) {
        TCdxFile *file = words.IndexFile(i);
        TCdxTag *tag = file ? file->TagByName(field) : nullptr;
        if (!tag)
            continue;
        if (tag == words.ActiveTag() || tag->HasFor() || tag->GeneralCollation() || tag->Descending() ||
            tag->KeyType() != 'C' || Trim(AsciiUpper(tag->KeyExpression())) != field)
            return nullptr;
        return tag;
    }
    return nullptr;
}

// Record numbers whose key in the tag equals the text.
void keyed(TCdxTag &tag, const std::string &text, std::vector<std::uint32_t> &out)
{
    for (std::uint32_t rec = tag.Find(text, false); rec != 0;) {
        out.push_back(rec);
        tag.Next();
        if (tag.Eof() || !tag.CurrentMatches(text, false))
            break;
        rec = tag.Current();
    }
}

} // namespace

std::vector<std::uint32_t> DuplicateRecords(TDbfDataSet &words, const TDuplicateMatch &match)
{
    std::vector<std::uint32_t> found;
    TDbfTable *table = words.Table();
    if (!table || match.Empty())
        return found;
    std::vector<char> buffer(size_t(table->RecordLength()) + 1);
    auto accept = [&](std::uint32_t n) {
        const char *record = table->PeekRecord(n);
        if (!record) {
            table->ReadRecordInto(n, buffer.data());
            record = buffer.data();
        }
        if ((words.UseDeleted() || !table->IsDeleted(record)) && match.Matches(record))
            found.push_back(n);
    };

    // Through the two word tags when both can serve: a few key lookups instead of reading every
    // record. Each candidate is still judged by the match itself.
    TCdxTag *byWord = plainFieldTag(words, "WORD1");
    TCdxTag *byTranslation = plainFieldTag(words, "WORD2");
    if (byWord && byTranslation) {
        std::vector<std::uint32_t> candidates;
        if (!match.Word().empty())
            keyed(*byWord, match.Word(), candidates);
        if (!match.Translation().empty())
            keyed(*byTranslation, match.Translation(), candidates);
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        for (std::uint32_t n : candidates)
            if (n >= 1 && n <= table->RecordCount())
                accept(n);
        return found;
    }

    const std::uint32_t count = table->RecordCount();
    for (std::uint32_t n = 1; n <= count; ++n)
        accept(n);
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
    const std::vector<std::uint32_t> found = DuplicateRecords(words, *match);
    if (found.empty())
        return TDuplicateOutcome::None;

    FilterRestorer restorer(words);
    // Only the match decides what the cursor shows while the window is up; the records it found
    // are known, so every other record is passed over without reading it.
    words.OnFilterRecord = [match, found](TDbfDataSet &ds, bool &accept) {
        accept = std::binary_search(found.begin(), found.end(), ds.RecNo()) && match->Matches(ds.Table()->RecordView());
    };
    words.SetFilter(std::string());
    words.SetFilterOptions(foNoPartialCompare);
    words.SetFiltered(true); // on the first record shown
    QList<TFDuplicates::Row> rows;
    for (; !words.Eof(); words.Next())
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
    setWindowTitle(tr("Найдены повторы"));
    setMinimumSize(442, 236);
    setAutoFillBackground(true);
    QPalette yellow = palette();
    yellow.setColor(QPalette::Window, QColor(255, 255, 192));
    setPalette(yellow);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    LEntered = new QLabel(tr("Вы ввели следующую пару слов:"), this);
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

    LFound = new QLabel(tr("Эти слова были найдены в том же словаре:"), this);
    LFound->setObjectName(QStringLiteral("LFound"));
    column->addWidget(LFound);

    GDuplicates = new QTableWidget(int(rows.size()), 2, this);
    GDuplicates->setObjectName(QStringLiteral("GDuplicates"));
    GDuplicates->setAccessibleName(tr("Эти слова были найдены в том же словаре"));
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
    BAdd = button("BAdd", tr("Добавить"));
    BReplace = button("BReplace", tr("Заменить"));
    BCancel = button("BCancel", tr("Отмена"));
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
