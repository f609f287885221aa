// The import loop and its progress window. A new dictionary is filled without an index, its
// records written straight to the table in large pieces, and its four tags are built once at the
// end by the same repair that opening a dictionary without an index runs (the bytes on disk are
// those of Posts through the cursor); a dictionary that exists is appended to through the cursor
// with its tags kept record by record.
#include "store/Working.h"

#include "engine/DataSet.h"
#include "messages/Information.h"
#include "messages/ShowError.h"
#include "platform/FileTools.h"
#include "platform/ProgramFolder.h"
#include "settings/WindowPlacement.h"
#include "store/DictionaryNames.h"
#include "store/ImportReader.h"
#include "store/Topics.h"
#include "store/Vocabulary.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <exception>
#include <optional>
#include <set>

namespace {

// Records between two looks at the user's input: often enough that "Прервать" answers at once,
// rarely enough that painting costs nothing next to the writing.
constexpr int RecordsPerStep = 256;

QString Plural(int n, const char *one, const char *few, const char *many)
{
    const int m10 = n % 10, m100 = n % 100;
    if (m10 == 1 && m100 != 11)
        return QString::fromUtf8(one);
    if (m10 >= 2 && m10 <= 4 && (m100 < 10 || m100 >= 20))
        return QString::fromUtf8(few);
    return QString::fromUtf8(many);
}

} // namespace

QString TImportSummary::Text() const
{
    QStringList lines;
    lines << QStringLiteral("Добавлено %1 %2.").arg(recordsPosted).arg(Plural(recordsPosted, "слово", "слова", "слов"));
    if (!failure.isEmpty())
        lines << QStringLiteral("Импорт остановлен: %1").arg(failure);
    if (!skipped.isEmpty())
        lines << QStringLiteral("Пропущены файлы:") << skipped;
    if (lostCharacters)
        lines << QStringLiteral("%1 %2 нет в кодировке словарей; вместо них записан знак \"?\".")
                     .arg(lostCharacters)
                     .arg(Plural(lostCharacters, "знака", "знаков", "знаков"));
    if (!leftOut.isEmpty())
        lines << leftOut;
    for (const QString &f : unpaired)
        lines << QStringLiteral("Последнее слово файла %1 без перевода: в файле нечётное число строк.").arg(f);
    return lines.join(QLatin1Char('\n'));
}

TFWorking::TFWorking(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName("FWorking");
    InstallHelpKey(this);
    setWindowTitle(QStringLiteral("Пожалуйста, подождите..."));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(360, 96);

    LAdding = new QLabel(QStringLiteral("Добавляется словарь : "), this);
    LAdding->setObjectName("LAdding");
    LAdding->setGeometry(8, 8, 344, 16);
    PBProgress = new QProgressBar(this);
    PBProgress->setObjectName("PBProgress");
    PBProgress->setAccessibleName(QStringLiteral("Ход импорта"));
    PBProgress->setGeometry(8, 28, 344, 18);
    PBProgress->setTextVisible(false);
    LSummary = new QLabel(this);
    LSummary->setObjectName("LSummary");
    LSummary->setWordWrap(true);
    LSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LSummary->hide();
    BAbort = new QPushButton(QStringLiteral("Прервать"), this);
    BAbort->setObjectName("BAbort");
    BAbort->setAccessibleName(BAbort->text());
    BDone = new QPushButton(QStringLiteral("Готово"), this);
    BDone->setObjectName("BDone");
    BDone->setAccessibleName(BDone->text());
    for (QPushButton *b : {BAbort, BDone}) {
        b->setGeometry(140, 60, 80, 25);
        b->setAutoDefault(false);
    }
    BDone->hide();
    connect(BAbort, &QPushButton::clicked, this, &TFWorking::RequestAbort);
    connect(BDone, &QPushButton::clicked, this, [this] { m_finished = true; hide(); });
}

void TFWorking::Prepare(int x, int y)
{
    AbortRequested = false;
    m_finished = false;
    BAbort->show();
    BDone->hide();
    LSummary->hide();
    PBProgress->setRange(0, 1);
    PBProgress->setValue(0);
    move(x - width() / 2, y - height() / 2);
    FitOnWorkArea(this);
}

void TFWorking::StartFile(const QString &path, int steps)
{
    LAdding->setText(QStringLiteral("Добавляется словарь : ") + WithoutExtension(NamePart(path)));
    PBProgress->setRange(0, qMax(steps, 1));
    PBProgress->setValue(0);
}

void TFWorking::SetPosition(int position)
{
    PBProgress->setValue(position);
}

void TFWorking::RequestAbort()
{
    AbortRequested = true;
    BAbort->hide();
    BDone->show();
}

void TFWorking::Finish(const TImportSummary &summary)
{
    PBProgress->setValue(PBProgress->maximum());
    BAbort->hide();
    BDone->show();
    if (!summary.NeedsSaying()) {
        m_finished = true;
        hide();
        return;
    }
    LSummary->setText(summary.Text());
    LSummary->setAccessibleName(LSummary->text());
    LSummary->show();
    // Room for the summary under the bar, "Готово" below it.
    const int textHeight = LSummary->heightForWidth(344);
    LSummary->setGeometry(8, 54, 344, textHeight);
    BDone->move(140, 62 + textHeight);
    setFixedSize(360, 96 + textHeight);
    FitOnWorkArea(this);
    BDone->setFocus();
    if (TestHook *hook = TestHook::current()) {
        hook->take(summary, 0);
        m_finished = true;
        hide();
        return;
    }
    QEventLoop loop;
    connect(BDone, &QPushButton::clicked, &loop, &QEventLoop::quit);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
        if (m_finished || !isVisible())
            loop.quit();
    });
    poll.start(50);
    if (!m_finished && isVisible())
        loop.exec();
    m_finished = true;
    hide();
}

void TFWorking::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        reject();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void TFWorking::reject()
{
    // Enter and Esc ask for the end while the import runs, and close the window after it.
    if (BAbort->isVisible())
        RequestAbort();
    else {
        m_finished = true;
        hide();
    }
}

void TFWorking::closeEvent(QCloseEvent *event)
{
    if (!m_finished) {
        event->ignore();
        reject();
        return;
    }
    QDialog::closeEvent(event);
}

namespace {

// Everything the import changes about TWords and the window, put back on every way out.
class Suspension {
public:
    Suspension(TDbfDataSet &words, TFWorking &window) : m_words(words), m_window(window)
    {
        m_afterInsert = std::move(m_words.AfterInsert);
        m_words.AfterInsert = nullptr;
        m_words.DisableControls();
        m_window.setCursor(Qt::WaitCursor);
    }
    ~Suspension()
    {
        try {
            if (m_words.Active() && (m_words.State() == dsInsert || m_words.State() == dsEdit))
                m_words.Cancel();
        } catch (const std::exception &) {
        }
        m_words.AfterInsert = std::move(m_afterInsert);
        m_words.EnableControls();
        m_window.unsetCursor();
    }

private:
    TDbfDataSet &m_words;
    TFWorking &m_window;
    std::function<void(TDbfDataSet &)> m_afterInsert;
};

QString WithoutWrd(const QString &path)
{
    return path.endsWith(QLatin1String(".wrd"), Qt::CaseInsensitive) ? path.left(path.size() - 4) : path;
}

// Which dictionary a file goes to when the import makes dictionaries: its own name in BASE/ON/.
// `made` holds the dictionaries this import created, so that a.csv and a.txt share one even when
// "a" had to become "a0" beside an "a" in BASE/OFF/. Empty `target` with a reason: skip the file.
struct Target {
    QString path;
    bool fresh = false;
    QString skipReason;
};

Target FindTarget(const QString &name, QHash<QString, QString> &made)
{
    Target t;
    const QString problem = DictionaryNameProblem(name);
    if (!problem.isEmpty()) {
        t.skipReason = problem;
        return t;
    }
    const QString key = name.toCaseFolded();
    if (made.contains(key)) {
        t.path = made.value(key);
        return t;
    }
    const QString on = Topics->DictionaryPath(tkOn, name);
    const QString existing = ProgramFolder::findCaseInsensitive(on + ".wrd");
    if (QFileInfo(existing).isFile()) {
        t.path = WithoutWrd(existing);
        return t;
    }
    t.path = Topics->DictionaryPath(tkOn, FirstFreeDictionaryName(name));
    t.fresh = true;
    made.insert(key, t.path);
    return t;
}

// One dictionary's worth of a file: a text file gives one, a vocabulary one per lesson or deck.
struct Unit {
    QString name;                              // the dictionary's name
    const std::vector<ImportRecord> *records;
    bool allFields;                            // TRANSCRIPT and WAVFILE too (not for line pairs)
};

// What a vocabulary left out, in the summary's words; empty when nothing.
QString LeftOut(const Vocabulary &v)
{
    QStringList parts;
    if (v.skippedCloze)
        parts << QStringLiteral("%1 с пропусками (cloze)").arg(v.skippedCloze);
    if (v.skippedEmpty)
        parts << QStringLiteral("%1 с пустой стороной").arg(v.skippedEmpty);
    if (v.skippedShort)
        parts << QStringLiteral("%1 без нужных полей").arg(v.skippedShort);
    if (v.missingSounds)
        parts << QStringLiteral("звуков не найдено: %1").arg(v.missingSounds);
    return parts.isEmpty() ? QString() : QStringLiteral("не взяты записи: ") + parts.join(QStringLiteral(", "));
}

} // namespace

TImportSummary ImportTextFiles(int x, int y, bool createDictionaries, const QStringList &files)
{
    TImportSummary summary;
    if (!TWords || (createDictionaries && !Topics)) {
        summary.failure = QStringLiteral("нет таблицы слов");
        return summary;
    }
    TFWorking window;
    window.Prepare(x, y);
    window.show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    TDbfDataSet &words = *TWords;
    QHash<QString, QString> made;
    {
        Suspension suspension(words, window);
        for (const QString &file : files) {
            QCoreApplication::processEvents();
            if (window.AbortRequested) {
                summary.aborted = true;
                break;
            }
            // The file first: nothing is created or opened for a file that cannot be read.
            // A text file fills one dictionary; another trainer's vocabulary one per lesson or
            // deck, its sounds copied before any dictionary is touched.
            ImportFile data;
            std::optional<Vocab::Prepared> vocabulary;
            std::set<std::string> soundsPosted;
            std::vector<Unit> units;
            if (Vocab::isVocabularyFile(file)) {
                try {
                    vocabulary.emplace(Vocab::prepare(file, {}, WithoutExtension(NamePart(file))));
                } catch (const VocabularyError &e) {
                    ShowError(9, file);
                    summary.skipped << QStringLiteral("%1: %2").arg(file, e.reason());
                    continue;
                }
                for (Vocab::PreparedDictionary &d : vocabulary->dictionaries)
                    units.push_back({d.name, &d.records, true});
                summary.lostCharacters += vocabulary->lostCharacters;
                if (const QString left = LeftOut(vocabulary->vocabulary); !left.isEmpty())
                    summary.leftOut << QStringLiteral("%1: %2").arg(file, left);
            } else {
                try {
                    data = ImportReader::read(file);
                } catch (const ImportReadError &e) {
                    ShowError(9, file);
                    summary.skipped << QStringLiteral("%1: %2").arg(file, QString::fromLocal8Bit(e.what()).section(QStringLiteral(": "), -1));
                    continue;
                }
                summary.lostCharacters += data.lostCharacters;
                if (data.unpairedLastLine)
                    summary.unpaired << file;
                units.push_back({WithoutExtension(NamePart(file)), &data.records, data.format == ImportFormat::Csv});
            }

            for (const Unit &unit : units) {
                Target target;
                if (createDictionaries) {
                    target = FindTarget(unit.name, made);
                    if (!target.skipReason.isEmpty()) {
                        summary.skipped << QStringLiteral("%1: %2").arg(unit.name, target.skipReason);
                        continue;
                    }
                }
                try {
                    if (createDictionaries && target.fresh) {
                        // A stray index of that name would be taken for the new table's own.
                        const QString cdx = ProgramFolder::findCaseInsensitive(target.path + ".cdx");
                        if (QFileInfo::exists(cdx))
                            QFile::remove(cdx);
                        if (!Topics->CreateDictionary(target.path)) {
                            summary.failure = QStringLiteral("Can't create file %1.wrd").arg(target.path);
                            break;
                        }
                    } else if (createDictionaries) {
                        Topics->OpenDictionary(target.path);
                    } else if (!createDictionaries && !words.Active()) {
                        summary.failure = QStringLiteral("нет открытого словаря");
                        break;
                    }
                } catch (const std::exception &e) {
                    summary.failure = QStringLiteral("%1.wrd: %2").arg(target.path, QString::fromLocal8Bit(e.what()));
                    break;
                }
                if (createDictionaries && !summary.dictionaries.contains(target.path))
                    summary.dictionaries << target.path;

                const int steps = int(unit.records->size());
                window.StartFile(unit.name, steps);
                int done = 0;
                int posted = 0;
                // Held for the file, the table writes its header once at the end instead of at
                // every record; the bytes on disk come out the same.
                struct HeaderOnce {
                    TDbfTable *table;
                    ~HeaderOnce()
                    {
                        if (!table)
                            return;
                        try {
                            table->HoldAppends(false);
                            table->UnlockTable();
                        } catch (const std::exception &) {
                            // Only after another failure, which is the one reported.
                        }
                    }
                } headerOnce{words.Active() && words.Table()->LockTable() ? words.Table() : nullptr};
                // A new dictionary is read by nobody until it is opened again with its tags built at
                // the end: its records go straight to the table, as the cursor's Post would write
                // them, gathered and written in large pieces. A BeforePost handler keeps every record
                // on the cursor's way, so that it is asked.
                const bool direct = headerOnce.table && createDictionaries && target.fresh && !words.BeforePost;
                if (direct)
                    headerOnce.table->HoldAppends(true);
                try {
                    TField &word1 = words.FieldByName("WORD1");
                    TField &word2 = words.FieldByName("WORD2");
                    TField &transcript = words.FieldByName("TRANSCRIPT");
                    TField &wavFile = words.FieldByName("WAVFILE");
                    TField *counters[] = {&words.FieldByName("MISS"), &words.FieldByName("KBMISS"),
                                          &words.FieldByName("INROW"), &words.FieldByName("KBINROW")};
                    const bool csv = unit.allFields;
                    TDbfTable &table = *words.Table();
                    const int counterFields[] = {counters[0]->FieldNo() - 1, counters[1]->FieldNo() - 1,
                                                 counters[2]->FieldNo() - 1, counters[3]->FieldNo() - 1};
                    for (const ImportRecord &r : *unit.records) {
                        if (!r.blank() && direct) {
                            table.Blank();
                            table.SetRaw(word1.FieldNo() - 1, r.word1);
                            table.SetRaw(word2.FieldNo() - 1, r.word2);
                            if (csv) {
                                table.SetRaw(transcript.FieldNo() - 1, r.transcript);
                                table.SetRaw(wavFile.FieldNo() - 1, r.wavFile);
                            }
                            for (int f : counterFields)
                                table.SetNumber(f, 0);
                            table.AppendRecord();
                            if (vocabulary && !r.wavFile.empty())
                                soundsPosted.insert(r.wavFile);
                            ++posted;
                            ++summary.recordsPosted;
                        } else if (!r.blank()) {
                            words.Append();
                            word1.SetAsString(r.word1);
                            word2.SetAsString(r.word2);
                            if (csv) {
                                transcript.SetAsString(r.transcript);
                                wavFile.SetAsString(r.wavFile);
                            }
                            for (TField *f : counters)
                                f->SetAsInteger(0);
                            words.Post();
                            if (vocabulary && !r.wavFile.empty())
                                soundsPosted.insert(r.wavFile);
                            ++posted;
                            ++summary.recordsPosted;
                        }
                        if (++done % RecordsPerStep == 0) {
                            window.SetPosition(done);
                            QCoreApplication::processEvents();
                            if (TFWorking::StepHook)
                                TFWorking::StepHook(window, posted);
                            if (window.AbortRequested)
                                break;
                        }
                    }
                    window.SetPosition(done);
                } catch (const std::exception &e) {
                    if (words.Active() && words.State() != dsBrowse)
                        words.Cancel();
                    summary.failure = QStringLiteral("%1: %2").arg(file, QString::fromLocal8Bit(e.what()));
                }
                if (headerOnce.table) {
                    try {
                        headerOnce.table->HoldAppends(false);
                        headerOnce.table->UnlockTable();
                    } catch (const std::exception &e) {
                        if (summary.failure.isEmpty())
                            summary.failure = QStringLiteral("%1: %2").arg(file, QString::fromLocal8Bit(e.what()));
                    }
                    headerOnce.table = nullptr;
                }
                if (createDictionaries && target.fresh) {
                    // The four tags once, as the first opening of the new table would build them.
                    try {
                        words.FlushDBF();
                        Topics->OpenDictionary(target.path);
                    } catch (const std::exception &e) {
                        if (summary.failure.isEmpty())
                            summary.failure = QStringLiteral("%1.cdx: %2").arg(target.path, QString::fromLocal8Bit(e.what()));
                    }
                } else if (words.Active()) {
                    try {
                        words.FlushDBF();
                    } catch (const std::exception &e) {
                        if (summary.failure.isEmpty())
                            summary.failure = QStringLiteral("%1: %2").arg(file, QString::fromLocal8Bit(e.what()));
                    }
                }
                if (!summary.failure.isEmpty() || window.AbortRequested)
                    break;
            }
            // The sounds stay with the words that name them, whatever stopped the import; those
            // of words never written go.
            if (vocabulary)
                vocabulary->sounds->commitUsed(soundsPosted);
            if (!summary.failure.isEmpty())
                break;
            if (window.AbortRequested) {
                summary.aborted = true;
                break;
            }
        }
    }
    window.Finish(summary);
    return summary;
}
