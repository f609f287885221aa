// The dictionary editor's logic and its window. The logic keeps the rules (working copy, Dirty,
// Saved, Untitled, the save question, blocks, sounds); the window only lays out the controls,
// forwards keys and clicks, and follows the model.
#include "store/Edit.h"

#include "engine/EngineError.h"
#include "messages/Information.h"
#include "messages/LineInput.h"
#include "messages/Message.h"
#include "messages/ShowError.h"
#include "platform/Dialogs.h"
#include "platform/FileTools.h"
#include "platform/Images.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/SafeWrite.h"
#include "platform/Text.h"
#include "settings/Lang.h"
#include "settings/TOptions.h"
#include "settings/WindowPlacement.h"
#include "sound/Sound.h"
#include "sound/SoundPaths.h"
#include "store/Dictionary.h"
#include "store/DictionaryNames.h"
#include "store/Topics.h"
#include "store/Working.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <unistd.h>

std::function<void()> CloseTrainerSound;
std::function<void(int, int, bool, const QStringList &)> TEditor::ImportFiles =
    [](int x, int y, bool createDictionaries, const QStringList &files) {
        ImportTextFiles(x, y, createDictionaries, files);
    };

namespace {

const QString kDictionaryFilter = QStringLiteral("Wordpop dictionaries (*.wrd)");

std::string encoded(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// A path with its extension replaced by ".wrd".
QString wrdPath(const QString &path)
{
    return WithoutExtension(path) + QStringLiteral(".wrd");
}

// Whether two names point at one file (both must exist).
bool sameFile(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

const char *const kCounters[] = {"MISS", "KBMISS", "INROW", "KBINROW"};

} // namespace

// ---------------------------------------------------------------------------------------------
// TEditor

TEditor::TEditor(TTopics &topics, QWidget *window) : m_topics(topics), m_window(window)
{
    m_block.SetExclusive(false);
    m_model.SetDataSet(&Words());
    m_model.OnRefused = [this](const QString &message) { Refuse(message); };
    // Every refresh of the rows may change the count in the status bar.
    connect(&m_model, &TWordsModel::CurrentRowChanged, this, [this] { UpdateStatus(); });
    // An earlier run that ended abruptly may have left its working copy behind.
    ClearTemp();
}

TEditor::~TEditor()
{
    RemoveHandlers();
    m_model.SetDataSet(nullptr);
    if (m_block.Active())
        m_block.Close();
}

TDbfDataSet &TEditor::Words() const
{
    return m_topics.Words();
}

void TEditor::InstallHandlers()
{
    if (m_handlersInstalled)
        return;
    TDbfDataSet &words = Words();
    m_oldAfterInsert = words.AfterInsert;
    m_oldBeforePost = words.BeforePost;
    m_oldAfterDelete = words.AfterDelete;
    words.AfterInsert = [](TDbfDataSet &ds) {
        for (const char *f : kCounters)
            if (TField *field = ds.FindField(f))
                field->SetAsInteger(0);
    };
    words.BeforePost = [this](TDbfDataSet &) { SetDirty(true); };
    words.AfterDelete = [this](TDbfDataSet &) { SetDirty(true); };
    m_handlersInstalled = true;
}

void TEditor::RemoveHandlers()
{
    if (!m_handlersInstalled)
        return;
    TDbfDataSet &words = Words();
    words.AfterInsert = m_oldAfterInsert;
    words.BeforePost = m_oldBeforePost;
    words.AfterDelete = m_oldAfterDelete;
    m_handlersInstalled = false;
}

QString TEditor::Caption() const
{
    if (m_dictionaryPath.isEmpty())
        return QStringLiteral("Edit");
    return tr("Редактирование словаря %1").arg(NamePart(m_dictionaryPath));
}

void TEditor::SetDirty(bool dirty)
{
    m_dirty = dirty;
    UpdateStatus();
}

void TEditor::UpdateStatus()
{
    TDbfDataSet &words = Words();
    if (!HasWorkingCopy() || !words.Active()) {
        m_statusCount = tr("Словарь не загружен");
        m_editingEnabled = false;
    } else if (words.State() != dsInsert) {
        // While a new row is being typed the count is not taken.
        m_statusCount = tr("В этом словаре %n слов", nullptr, m_model.RecordRows());
        m_editingEnabled = true;
    }
    emit Changed();
}

void TEditor::SetEditing(bool enabled)
{
    m_editingEnabled = enabled;
    UpdateStatus();
}

void TEditor::ClearTemp()
{
    const QString folder = ProgramFolder::path();
    if (folder.isEmpty())
        return;
    QDir temp(folder + m_topics.FolderPath(tkTemp));
    if (!temp.exists())
        return;
    for (const QString &name : temp.entryList(QDir::Files | QDir::Hidden | QDir::System))
        temp.remove(name);
}

void TEditor::Refuse(const QString &message) const
{
    MessageBox::show(message);
}

bool TEditor::IsWorkingCopy(const QString &path) const
{
    if (m_workingCopy.isEmpty())
        return false;
    const QString copy = m_workingCopy + QStringLiteral(".wrd");
    return sameFile(path, copy) || sameFile(wrdPath(path), copy);
}

void TEditor::DeleteDictionaryFiles(const QString &path)
{
    for (const char *ext : {".wrd", ".cdx"}) {
        const QString file = ProgramFolder::findCaseInsensitive(path + QLatin1String(ext));
        if (QFileInfo::exists(file) && !QFile::remove(file))
            ShowError(10, file);
    }
    m_topics.RescanFolders(KindBit(tkOn));
}

void TEditor::Settle()
{
    TDbfDataSet &words = Words();
    if (!words.Active())
        return;
    m_model.DropUntouchedNewRow();
    if ((words.State() == dsEdit || words.State() == dsInsert)) {
        if (words.Modified())
            words.Post();
        else
            words.Cancel();
    }
}

QString TEditor::CurrentText(const char *field) const
{
    TDbfDataSet &words = Words();
    if (!HasWorkingCopy() || !words.Active() || (words.IsEmpty() && words.State() != dsInsert))
        return {};
    try {
        return Text::fromCp1251(words.FieldByName(field).AsString());
    } catch (const EEngineError &) {
        return {};
    }
}

bool TEditor::SetCurrentText(const char *field, const QString &text)
{
    TDbfDataSet &words = Words();
    if (!HasWorkingCopy() || !words.Active())
        return false;
    try {
        TField &f = words.FieldByName(field);
        if (const QString problem = TWordsModel::TextProblem(text, f); !problem.isEmpty()) {
            Refuse(problem);
            return false;
        }
        const std::string bytes = Text::toCp1251(text);
        if ((words.State() == dsBrowse && !words.IsEmpty() && f.AsString() == bytes))
            return true;
        words.Edit(); // on an empty dictionary this starts a new row
        if (words.State() == dsInsert)
            m_model.MarkNewRowTyped();
        f.SetAsString(bytes);
    } catch (const EEngineError &e) {
        Refuse(QString::fromLocal8Bit(e.what()));
        return false;
    }
    return true;
}

// --- opening and closing

bool TEditor::OpenDictionary(const QString &path)
{
    if (!CloseDictionary())
        return false;
    if (path.isEmpty())
        return false;
    const QString dictionary = WithoutExtension(path);
    m_dictionaryPath = dictionary;
    // The grid reads its rows once, at the end, not after each step of the opening.
    Words().DetachView(&m_model);
    struct Reattach {
        TEditor *editor;
        bool done = false;
        ~Reattach()
        {
            if (!done)
                editor->m_model.SetDataSet(&editor->Words());
        }
    } reattach{this};
    try {
        m_topics.OpenDictionary(dictionary);
    } catch (const std::exception &) {
        ShowError(9, dictionary + QStringLiteral(".wrd"));
        m_topics.CloseDictionary();
        m_dictionaryPath.clear();
        SetEditing(false);
        return false;
    }
    const QString copy = ProgramFolder::path() + m_topics.FolderPath(tkTemp) + QStringLiteral("~") + NamePart(dictionary);
    try {
        Words().CopyTo(encoded(copy + QStringLiteral(".wrd")));
    } catch (const std::exception &) {
        ShowError(8, copy + QStringLiteral(".wrd"));
        m_topics.CloseDictionary();
        QFile::remove(copy + QStringLiteral(".wrd"));
        m_dictionaryPath.clear();
        SetEditing(false);
        return false;
    }
    QFile::remove(copy + QStringLiteral(".cdx"));
    // Closed without a flush: the dictionary itself stays byte for byte as it was.
    Words().Close();
    m_topics.CloseDictionary();
    try {
        m_topics.OpenDictionary(copy);
    } catch (const std::exception &) {
        ShowError(9, copy + QStringLiteral(".wrd"));
        m_topics.CloseDictionary();
        ClearTemp();
        m_dictionaryPath.clear();
        SetEditing(false);
        return false;
    }
    m_workingCopy = copy;
    m_currentDictionary = dictionary;
    m_model.SetSortedColumn(-1);
    SwitchToGroupLayout(0);
    Words().First();
    m_model.SetDataSet(&Words());
    reattach.done = true;
    m_dirty = false;
    SetEditing(true);
    return true;
}

bool TEditor::CloseDictionary()
{
    if (CommitCellEditor)
        CommitCellEditor();
    bool dropped = false; // the untitled dictionary's files are gone
    if (HasWorkingCopy()) {
        try {
            Settle();
        } catch (const EEngineError &e) {
            // A row the table refuses: the user decides, the question below still comes.
            Refuse(QString::fromLocal8Bit(e.what()));
            return false;
        }
        if (m_untitled && !m_dirty) {
            DeleteDictionaryFiles(m_dictionaryPath);
            m_untitled = false;
            dropped = true;
        } else if (m_dirty) {
            const int answer = AskQuestion(tr("Предупреждение"), tr("Вы хотите сохранить изменения?"),
                                           TFMessage::Warning, TFMessage::Question);
            if (answer == TFMessage::Yes) {
                // A save that fails or is cancelled keeps the working copy and the edits.
                if (!(m_untitled ? SaveAs() : Save()))
                    return false;
            } else if (answer == TFMessage::No) {
                if (m_untitled) {
                    DeleteDictionaryFiles(m_dictionaryPath);
                    m_untitled = false;
                    dropped = true;
                }
            } else {
                return false;
            }
        }
    }
    if (!m_dictionaryPath.isEmpty() && !dropped)
        AddRecentDictionary(m_dictionaryPath);
    m_topics.CloseDictionary();
    ClearTemp();
    m_workingCopy.clear();
    m_dictionaryPath.clear();
    m_untitled = false;
    m_dirty = false;
    m_model.SetSortedColumn(-1);
    SetEditing(false);
    return true;
}

bool TEditor::Create()
{
    if (!CloseDictionary())
        return false;
    // Left untranslated: the name is a file name, the same in every interface language.
    const QString name = FirstFreeDictionaryName(QStringLiteral("Новый словарь"));
    const QString path = m_topics.DictionaryPath(tkOn, name);
    if (!m_topics.CreateDictionary(path)) {
        AskQuestion(QStringLiteral("Error"), QStringLiteral("Can't create file \r\n") + path + QStringLiteral(".wrd"),
                    TFMessage::Error, TFMessage::Notice);
        return false;
    }
    m_topics.CloseDictionary();
    if (!OpenDictionary(path)) {
        DeleteDictionaryFiles(path);
        return false;
    }
    m_untitled = true;
    emit Changed();
    return true;
}

bool TEditor::OpenWithDialog()
{
    const QString file = Dialogs::openFile(m_window, tr("Открыть"), OptionText(Options.OpenDictionaryFolder),
                                           kDictionaryFilter, QStringLiteral("wrd"));
    if (file.isEmpty())
        return false; // a cancel keeps the folder
    SetOptionPath(Options.OpenDictionaryFolder, FolderPart(file));
    return OpenDictionary(file);
}

bool TEditor::OpenRecent(int index)
{
    const QStringList &recent = RecentDictionaryList();
    if (index < 0 || index >= recent.size())
        return false;
    const QString path = recent.at(index);
    return OpenDictionary(path);
}

QStringList TEditor::RecentItems() const
{
    return RecentDictionaryList();
}

bool TEditor::CloseRequest()
{
    return CloseDictionary();
}

// --- saving

bool TEditor::WriteCopy(const QString &targetWrd)
{
    QString target = ProgramFolder::findCaseInsensitive(targetWrd);
    // A dictionary that is a link is replaced where it points; the link stays.
    const QFileInfo info(target);
    if (info.isSymLink() && info.exists())
        target = info.canonicalFilePath();
    try {
        SafeWrite::Temporary tmp(encoded(target));
        Words().CopyTo(tmp.path());
        // The index is rebuilt when the dictionary is next opened.
        const QString cdx = ProgramFolder::findCaseInsensitive(WithoutExtension(target) + QStringLiteral(".cdx"));
        if (QFileInfo::exists(cdx))
            SafeWrite::RemoveFile(encoded(cdx));
        tmp.commit(encoded(target));
    } catch (const std::exception &) {
        ShowError(8, target);
        return false;
    }
    return true;
}

void TEditor::DropBlankRows()
{
    TDbfDataSet &words = Words();
    TField &word1 = words.FieldByName("WORD1");
    TField &word2 = words.FieldByName("WORD2");
    // Listed first, then deleted by number: a deletion moves the cursor on, so a walk that
    // deleted and stepped would pass over a blank row that follows another.
    for (std::uint32_t recNo : words.VisibleRecords()) {
        if (words.FieldTextAt(recNo, word1).empty() && words.FieldTextAt(recNo, word2).empty()) {
            words.SetRecNo(recNo);
            words.Delete();
        }
    }
}

bool TEditor::Save()
{
    if (!HasWorkingCopy())
        return false;
    if (CommitCellEditor)
        CommitCellEditor();
    if (m_untitled)
        return SaveAs();
    TDbfDataSet &words = Words();
    bool ok = false;
    words.DisableControls();
    try {
        Settle();
        const std::uint32_t back = words.IsEmpty() ? 0 : words.RecNo();
        DropBlankRows();
        words.FlushDBF();
        ok = WriteCopy(m_dictionaryPath + QStringLiteral(".wrd"));
        // Back to the record the user was on, unless it was a blank row that went.
        const std::vector<std::uint32_t> rows = words.VisibleRecords();
        if (back != 0 && std::find(rows.begin(), rows.end(), back) != rows.end())
            words.SetRecNo(back);
        else
            words.First();
    } catch (const EEngineError &) {
        ShowError(8, m_dictionaryPath + QStringLiteral(".wrd"));
        ok = false;
    }
    words.EnableControls();
    if (ok) {
        m_saved = true;
        SetDirty(false);
    }
    return ok;
}

bool TEditor::SaveAs()
{
    if (!HasWorkingCopy())
        return false;
    if (CommitCellEditor)
        CommitCellEditor();
    try {
        Settle();
    } catch (const EEngineError &e) {
        Refuse(QString::fromLocal8Bit(e.what()));
        return false;
    }
    const QString file = Dialogs::saveFile(m_window, tr("Сохранить как"), OptionText(Options.SaveDictionaryFolder),
                                           kDictionaryFilter, QStringLiteral("wrd"));
    if (file.isEmpty())
        return false;
    SetOptionPath(Options.SaveDictionaryFolder, FolderPart(file));
    const QString target = wrdPath(file);
    const QByteArray name = QFile::encodeName(target);
    if (QFileInfo::exists(target) && ::access(name.constData(), W_OK) != 0) {
        Refuse(tr("Файл %1 доступен только для чтения.").arg(target));
        return false;
    }
    if (IsWorkingCopy(target)) {
        Refuse(tr("Рабочую копию словаря нельзя выбрать для сохранения."));
        return false;
    }
    TDbfDataSet &words = Words();
    words.DisableControls();
    const std::uint32_t back = words.IsEmpty() ? 0 : words.RecNo();
    bool ok = WriteCopy(target);
    try {
        if (back != 0)
            words.SetRecNo(back);
    } catch (const EEngineError &) {
    }
    words.EnableControls();
    if (!ok)
        return false;

    m_dirty = false;
    if (m_untitled) {
        // Saved onto its own path, the untitled file is the saved one and stays.
        const QString untitled = m_dictionaryPath + QStringLiteral(".wrd");
        if (!sameFile(untitled, target))
            DeleteDictionaryFiles(m_dictionaryPath);
        m_untitled = false;
        m_dictionaryPath.clear(); // never a recent entry
    }
    OpenDictionary(WithoutExtension(target));
    m_topics.RescanFolders(KindBit(tkOn));
    m_saved = true;
    emit Changed();
    return true;
}

// --- import and blocks

bool TEditor::Import()
{
    if (!HasWorkingCopy() || !ImportFiles)
        return false;
    const QStringList files = Dialogs::openFiles(m_window, tr("Выбирите дополнительный словарь."),
                                                 OptionText(Options.ImportFolder),
                                                 tr("Дополнительные словари (*.csv *.txt)"));
    if (files.isEmpty())
        return false; // a cancel keeps the folder
    SetOptionPath(Options.ImportFolder, FolderPart(files.first()));
    Settle();
    QPoint centre;
    if (m_window)
        centre = m_window->frameGeometry().center();
    if (SetWindowVisible)
        SetWindowVisible(false);
    TDbfDataSet &words = Words();
    words.DisableControls();
    try {
        ImportFiles(centre.x(), centre.y(), false, files);
    } catch (...) {
        words.EnableControls();
        if (SetWindowVisible)
            SetWindowVisible(true);
        throw;
    }
    words.EnableControls();
    if (SetWindowVisible)
        SetWindowVisible(true);
    UpdateStatus();
    return true;
}

bool TEditor::LoadBlock()
{
    if (!HasWorkingCopy())
        return false;
    const QString file = Dialogs::openFile(m_window, tr("Загрузить блок"), OptionText(Options.LoadBlockFolder),
                                           kDictionaryFilter, QStringLiteral("wrd"));
    if (file.isEmpty())
        return false; // a cancel keeps the folders
    SetOptionPath(Options.LoadBlockFolder, FolderPart(file));
    if (IsWorkingCopy(file)) {
        Refuse(tr("Рабочую копию словаря нельзя загрузить как блок."));
        return false;
    }
    m_block.Close();
    m_block.ClearIndexFiles();
    try {
        m_block.SetTableName(encoded(file));
        m_block.Open();
    } catch (const EEngineError &) {
        ShowError(9, file);
        return false;
    }
    TDbfDataSet &words = Words();
    bool ok = true;
    words.DisableControls();
    try {
        Settle();
        for (m_block.First(); !m_block.Eof(); m_block.Next()) {
            words.Append();
            TTopics::CopyWord(m_block, words);
            words.Post();
        }
        words.FlushDBF();
    } catch (const EEngineError &e) {
        if (words.State() == dsInsert)
            words.Cancel();
        Refuse(QString::fromLocal8Bit(e.what()));
        ok = false;
    }
    m_block.Close();
    words.EnableControls();
    return ok;
}

bool TEditor::SaveBlock(const std::vector<std::uint32_t> &records)
{
    if (!HasWorkingCopy())
        return false;
    const QString file = Dialogs::saveFile(m_window, tr("Сохранить блок"), OptionText(Options.SaveDictionaryFolder),
                                           kDictionaryFilter, QStringLiteral("wrd"));
    if (file.isEmpty() || records.empty())
        return false;
    SetOptionPath(Options.SaveBlockFolder, FolderPart(file));
    const QString target = wrdPath(file);
    if (IsWorkingCopy(target)) {
        Refuse(tr("Рабочую копию словаря нельзя выбрать для блока."));
        return false;
    }
    m_block.Close();
    m_block.ClearIndexFiles();
    bool usable = false;
    try {
        m_block.SetTableName(encoded(target));
        m_block.Open();
        usable = true;
    } catch (const EEngineError &) {
    }
    if (!usable) {
        TCreateTopic create(&m_block);
        // A file that is there but could not be opened is replaced only when the user agrees.
        create.AutoOverwrite = false;
        create.ConfirmOverwrite = [](const std::string &question) {
            return AskQuestion(tr("Предупреждение"), Text::fromCp1251(question), TFMessage::Warning,
                               TFMessage::Question) == TFMessage::Yes;
        };
        try {
            usable = create.Execute() && m_block.Active();
        } catch (const EEngineError &) {
            usable = false;
        }
    }
    if (!usable) {
        AskQuestion(QStringLiteral("Error"), QStringLiteral("Error writing ") + NamePart(target), TFMessage::Error,
                    TFMessage::Notice);
        return false;
    }
    m_saved = true;
    TDbfDataSet &words = Words();
    bool ok = true;
    words.DisableControls();
    std::uint32_t back = 0;
    try {
        Settle();
        back = words.IsEmpty() ? 0 : words.RecNo();
        for (std::uint32_t recNo : records) {
            words.SetRecNo(recNo);
            m_block.Append();
            TTopics::CopyWord(words, m_block);
            m_block.Post();
        }
        m_block.FlushDBF();
    } catch (const EEngineError &) {
        if (m_block.Active() && m_block.State() == dsInsert)
            m_block.Cancel();
        AskQuestion(QStringLiteral("Error"), QStringLiteral("Error writing ") + NamePart(target), TFMessage::Error,
                    TFMessage::Notice);
        ok = false;
    }
    m_block.Close();
    // Rebuilt the next time the file is opened as a dictionary.
    const QString cdx = ProgramFolder::findCaseInsensitive(WithoutExtension(target) + QStringLiteral(".cdx"));
    if (QFileInfo::exists(cdx))
        QFile::remove(cdx);
    try {
        if (back != 0)
            words.SetRecNo(back);
    } catch (const EEngineError &) {
    }
    words.EnableControls();
    return ok;
}

// --- search, sort, rows

bool TEditor::Search()
{
    if (!HasWorkingCopy())
        return false;
    QString text;
    if (!AskLine(m_window, text, tr("Поиск по словарю")))
        return false;
    if (!Text::fitsCp1251(text))
        return false; // no word holds it
    const std::string value = Text::toCp1251(text);
    TDbfDataSet &words = Words();
    bool found = false;
    try {
        Settle();
        // A search moves the cursor and nothing else: the grid only follows it, its rows stay.
        words.DetachView(&m_model);
        found = words.Locate("WORD1", value) || words.Locate("WORD2", value);
    } catch (const EEngineError &e) {
        Refuse(QString::fromLocal8Bit(e.what()));
    }
    words.AttachView(&m_model);
    m_model.CursorMoved();
    return found;
}

void TEditor::SortByColumn(int column)
{
    if (!HasWorkingCopy() || (column != 0 && column != 1))
        return;
    TDbfDataSet &words = Words();
    const std::string tag = column == 0 ? "WORD1" : "WORD2";
    std::string current = words.IndexName();
    std::transform(current.begin(), current.end(), current.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    try {
        Settle();
        if (current == tag) {
            words.SetIndexName("");
            m_model.SetSortedColumn(-1);
        } else {
            words.SetIndexName(tag);
            m_model.SetSortedColumn(column);
        }
    } catch (const EEngineError &e) {
        Refuse(QString::fromLocal8Bit(e.what()));
    }
}

bool TEditor::DeleteCurrentRow()
{
    TDbfDataSet &words = Words();
    if (!HasWorkingCopy() || !words.Active())
        return false;
    try {
        if (words.State() == dsInsert) {
            words.Cancel();
            return true;
        }
        if (words.IsEmpty())
            return false;
        words.Delete();
    } catch (const EEngineError &e) {
        Refuse(QString::fromLocal8Bit(e.what()));
        return false;
    }
    return true;
}

bool TEditor::AppendRow()
{
    TDbfDataSet &words = Words();
    if (!HasWorkingCopy() || !words.Active() || words.State() == dsInsert)
        return false;
    try {
        words.Append();
    } catch (const EEngineError &e) {
        Refuse(QString::fromLocal8Bit(e.what()));
        return false;
    }
    return true;
}

// --- sounds

bool TEditor::PickSound()
{
    TDbfDataSet &words = Words();
    if (!HasWorkingCopy() || !words.Active())
        return false;
    const QString start = OptionText(Options.SoundFolder) + QStringLiteral("/") + CurrentText("WORD1") + QStringLiteral(".wav");
    const QString file = Dialogs::openFile(m_window, tr("Выбрать звуковой файл"), start,
                                           QStringLiteral("Wave files (*.wav)"), QStringLiteral("wav"));
    if (file.isEmpty())
        return false;
    QFile sound(file);
    if (!sound.open(QIODevice::ReadOnly)) {
        ShowError(9, file);
        return false;
    }
    const qint64 length = sound.size();
    sound.close();
    const QString stored = StoredSoundName(file);
    bool ok = false;
    try {
        TField &wav = words.FieldByName("WAVFILE");
        if (const QString problem = TWordsModel::TextProblem(stored, wav); !problem.isEmpty()) {
            Refuse(tr("Имя звукового файла не помещается в словарь: %1").arg(problem));
        } else if (length > 0x7fffffff) {
            Refuse(tr("Звуковой файл слишком велик."));
        } else {
            words.Edit();
            if (words.State() == dsInsert)
                m_model.MarkNewRowTyped();
            wav.SetAsString(Text::toCp1251(stored));
            words.FieldByName("WAVSTART").SetAsInteger(0);
            words.FieldByName("WAVEND").SetAsInteger(std::int32_t(length));
            words.Post();
            ok = true;
        }
    } catch (const EEngineError &e) {
        if (words.State() == dsEdit)
            words.Cancel();
        Refuse(QString::fromLocal8Bit(e.what()));
    }
    SetOptionPath(Options.SoundFolder, FolderPart(file));
    SaveOptions();
    return ok;
}

bool TEditor::SoundPlayable(const QString &stored)
{
    if (stored.trimmed().isEmpty())
        return false;
    return QFileInfo(ResolveProgramPath(stored)).isFile();
}

void TEditor::CloseSound()
{
    if (m_player)
        m_player->Close();
}

bool TEditor::PlaySound(const QString &stored)
{
    const QString path = ResolveProgramPath(stored);
    if (!m_player)
        m_player = new TSoundPlayer(this);
    if (!PlaySoundFile(*m_player, path)) {
        ShowError(13, path);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// TFEdit

namespace {

const TImageList &images()
{
    static const TImageList list;
    return list;
}

// The grid: commits an open cell editor on request.
class TWordsGrid : public QTableView {
public:
    using QTableView::QTableView;
    bool Editing() const { return state() == QAbstractItemView::EditingState; }
    void CommitOpenEditor()
    {
        if (!Editing())
            return;
        QWidget *editor = indexWidget(currentIndex());
        if (!editor)
            editor = QApplication::focusWidget();
        if (editor && editor != this && isAncestorOf(editor)) {
            commitData(editor);
            closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }
};

QLabel *label(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setAccessibleName(text);
    return l;
}

} // namespace

TFEdit::TFEdit(TTopics &topics, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TFEdit"));
    setWindowTitle(QStringLiteral("Edit"));
    setMinimumSize(430, 240);
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
    m_editor = std::make_unique<TEditor>(topics, this);
    TEditor &ed = *m_editor;

    auto *menuBar = new QMenuBar(this);
    MFile = menuBar->addMenu(tr("Файл"));
    auto action = [this](QMenu *menu, const QString &text, const QKeySequence &key, auto slot) {
        QAction *a = menu->addAction(text);
        if (!key.isEmpty())
            a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    ACreate = action(MFile, tr("Создать"), QKeySequence(Qt::CTRL | Qt::Key_N), [this] { m_editor->Create(); });
    AOpen = action(MFile, tr("Открыть"), QKeySequence(Qt::CTRL | Qt::Key_O), [this] { m_editor->OpenWithDialog(); });
    AClose = action(MFile, tr("Закрыть"), QKeySequence(), [this] { m_editor->CloseDictionary(); });
    ASave = action(MFile, tr("Сохранить"), QKeySequence(Qt::CTRL | Qt::Key_S), [this] { m_editor->Save(); });
    ASaveAs = action(MFile, tr("Сохранить как"), QKeySequence(), [this] { m_editor->SaveAs(); });
    AImport = action(MFile, tr("Импорт"), QKeySequence(Qt::CTRL | Qt::Key_I), [this] { m_editor->Import(); });
    // Escape is the window's own key (reject), so that Esc in an open cell only cancels the cell.
    AExit = action(MFile, tr("Выход\tEsc"), QKeySequence(), [this] { reject(); });
    AExit->setObjectName(QStringLiteral("AExit"));
    QMenu *edit = menuBar->addMenu(tr("Редактировать"));
    ALoadBlock = action(edit, tr("Загрузить блок"), QKeySequence(), [this] { m_editor->LoadBlock(); });
    ASaveBlock = action(edit, tr("Сохранить блок"), QKeySequence(),
                        [this] { m_editor->SaveBlock(SelectedRecords()); });
    ASearch = action(edit, tr("Поиск"), QKeySequence(Qt::CTRL | Qt::Key_F), [this] { m_editor->Search(); });
    QMenu *help = menuBar->addMenu(tr("Помощь"));
    AHelp = action(help, tr("Содержание"), QKeySequence(Qt::Key_F1), [this] { ShowInformation(this); });
    for (QAction *a : {ACreate, AOpen, AClose, ASave, ASaveAs, AImport, ALoadBlock, ASaveBlock, ASearch, AHelp})
        a->setShortcutContext(Qt::WindowShortcut);

    auto *grid = new TWordsGrid(this);
    GWords = grid;
    GWords->setObjectName(QStringLiteral("GWords"));
    GWords->setAccessibleName(tr("Слова словаря"));
    GWords->setModel(&ed.Model());
    GWords->setSelectionBehavior(QAbstractItemView::SelectRows);
    GWords->setSelectionMode(QAbstractItemView::ExtendedSelection);
    GWords->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    GWords->setTabKeyNavigation(true);
    GWords->setWordWrap(false);
    GWords->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    GWords->verticalHeader()->setDefaultSectionSize(GWords->fontMetrics().height() + 6);
    GWords->verticalHeader()->setFixedWidth(16);
    GWords->horizontalHeader()->setSectionsClickable(true);
    GWords->horizontalHeader()->setHighlightSections(false);
    GWords->installEventFilter(this);

    ETranscript = new QLineEdit(this);
    ETranscript->setObjectName(QStringLiteral("ETranscript"));
    ETranscript->setAccessibleName(tr("Комментарий / транскрипция"));
    EWavFile = new QLineEdit(this);
    EWavFile->setObjectName(QStringLiteral("EWavFile"));
    EWavFile->setAccessibleName(tr("Звуковой файл"));
    EWavStart = new QLineEdit(this);
    EWavStart->setObjectName(QStringLiteral("EWavStart"));
    EWavStart->setAccessibleName(tr("Начало"));
    EWavStart->setReadOnly(true);
    EWavEnd = new QLineEdit(this);
    EWavEnd->setObjectName(QStringLiteral("EWavEnd"));
    EWavEnd->setAccessibleName(tr("Конец"));
    EWavEnd->setReadOnly(true);
    BPickSound = new QPushButton(images().icon(TImageList::PickFile), QString(), this);
    BPickSound->setObjectName(QStringLiteral("BPickSound"));
    BPickSound->setToolTip(tr("Выбрать звуковой файл"));
    BPickSound->setAccessibleName(BPickSound->toolTip());
    BPlaySound = new QPushButton(images().icon(TImageList::Play), QString(), this);
    BPlaySound->setObjectName(QStringLiteral("BPlaySound"));
    BPlaySound->setToolTip(tr("Проиграть звуковой файл"));
    BPlaySound->setAccessibleName(BPlaySound->toolTip());
    BPlaySound->setEnabled(false);
    for (QPushButton *b : {BPickSound, BPlaySound}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    BPin = new QToolButton(this);
    BPin->setObjectName(QStringLiteral("BPin"));
    BPin->setToolTip(tr("Закрепить окно"));
    BPin->setAccessibleName(BPin->toolTip());
    BPin->setIcon(images().icon(Options.EditorPinned ? TImageList::PinOn : TImageList::PinOff));

    auto *status = new QStatusBar(this);
    status->setSizeGripEnabled(true);
    SBDirty = new QLabel(QStringLiteral(" "), this);
    SBDirty->setObjectName(QStringLiteral("SBDirty"));
    SBDirty->setAccessibleName(tr("Изменения"));
    SBDirty->setMinimumWidth(20);
    SBCount = new QLabel(this);
    SBCount->setObjectName(QStringLiteral("SBCount"));
    SBCount->setAccessibleName(tr("Число слов"));
    status->addWidget(SBDirty);
    status->addWidget(SBCount, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addWidget(GWords, 1);
    layout->addWidget(label(tr("Комментарий / транскрипция"), this));
    layout->addWidget(ETranscript);
    auto *soundRow = new QHBoxLayout;
    soundRow->addWidget(label(tr("Звуковой файл"), this));
    soundRow->addWidget(BPickSound);
    soundRow->addWidget(BPlaySound);
    soundRow->addWidget(EWavFile, 1);
    soundRow->addWidget(label(tr("Начало"), this));
    soundRow->addWidget(EWavStart);
    soundRow->addWidget(label(tr("Конец"), this));
    soundRow->addWidget(EWavEnd);
    soundRow->addWidget(BPin);
    EWavStart->setMaximumWidth(80);
    EWavEnd->setMaximumWidth(80);
    layout->addLayout(soundRow);
    layout->addWidget(status);

    ed.CommitCellEditor = [this] { CommitCell(); };
    ed.SetWindowVisible = [this](bool visible) { setVisible(visible); };
    connect(&ed, &TEditor::Changed, this, [this] { Update(); });
    connect(&ed.Model(), &TWordsModel::CurrentRowChanged, this, [this](int row) { FollowCursor(row); });
    connect(&ed.Model(), &QAbstractItemModel::dataChanged, this, [this] { RefreshFields(); });
    connect(GWords->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current, const QModelIndex &previous) {
                if (m_following || !current.isValid() || m_editor->Model().FollowingCursor())
                    return;
                m_column = current.column();
                TDbfDataSet &words = m_editor->Words();
                try {
                    if (previous.isValid() && previous.row() == current.row() && previous.column() != current.column()) {
                        // Leaving a column posts the row being edited or typed.
                        if (words.State() == dsEdit && words.Modified())
                            words.Post();
                        else if (words.State() == dsInsert && m_editor->Model().TypedInNewRow())
                            words.Post();
                    } else if (!previous.isValid() || previous.row() != current.row()) {
                        m_editor->Model().GoToRow(current.row());
                    }
                } catch (const EEngineError &e) {
                    MessageBox::show(QString::fromLocal8Bit(e.what()));
                }
                SwitchToGroupLayout(current.column() == 0 ? 0 : 1);
            });
    connect(GWords->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (!CellEditing())
            m_editor->SortByColumn(column);
    });
    connect(GWords->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget *, QAbstractItemDelegate::EndEditHint hint) {
                if (hint != QAbstractItemDelegate::SubmitModelCache)
                    return;
                // Enter: the row is posted when it is being edited; from the word, on to its translation.
                TDbfDataSet &words = m_editor->Words();
                const QModelIndex at = GWords->currentIndex();
                try {
                    if (words.State() == dsEdit && words.Modified())
                        words.Post();
                } catch (const EEngineError &e) {
                    MessageBox::show(QString::fromLocal8Bit(e.what()));
                }
                const int row = m_editor->Model().CurrentRow();
                if (at.column() == 0 && row >= 0)
                    GWords->setCurrentIndex(m_editor->Model().index(row, 1));
            });
    connect(ETranscript, &QLineEdit::editingFinished, this, [this] {
        if (ETranscript->isModified() && !m_editor->SetCurrentText("TRANSCRIPT", ETranscript->text()))
            RefreshFields();
        ETranscript->setModified(false);
    });
    connect(EWavFile, &QLineEdit::editingFinished, this, [this] {
        if (EWavFile->isModified() && !m_editor->SetCurrentText("WAVFILE", EWavFile->text()))
            RefreshFields();
        EWavFile->setModified(false);
    });
    connect(EWavFile, &QLineEdit::textChanged, this,
            [this](const QString &text) { BPlaySound->setEnabled(TEditor::SoundPlayable(text)); });
    connect(BPickSound, &QPushButton::clicked, this, [this] { m_editor->PickSound(); });
    connect(BPlaySound, &QPushButton::clicked, this, [this] { m_editor->PlaySound(EWavFile->text()); });
    connect(BPin, &QToolButton::clicked, this, [this] {
        Options.EditorPinned = !Options.EditorPinned;
        BPin->setIcon(images().icon(Options.EditorPinned ? TImageList::PinOn : TImageList::PinOff));
    });
    SetLanguageField(ETranscript, 2);
    Update();
}

TFEdit::~TFEdit()
{
    m_editor->CommitCellEditor = nullptr;
    m_editor->SetWindowVisible = nullptr;
}

std::vector<std::uint32_t> TFEdit::SelectedRecords() const
{
    QModelIndexList rows = GWords->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    std::vector<std::uint32_t> records;
    for (const QModelIndex &i : rows)
        if (std::uint32_t r = m_editor->Model().RecordAt(i.row()))
            records.push_back(r);
    return records;
}

bool TFEdit::CellEditing() const
{
    return static_cast<TWordsGrid *>(GWords)->Editing();
}

void TFEdit::CommitCell()
{
    static_cast<TWordsGrid *>(GWords)->CommitOpenEditor();
    // An edit box that still has the focus hands its text over too.
    for (auto [edit, field] : {std::pair{ETranscript, "TRANSCRIPT"}, std::pair{EWavFile, "WAVFILE"}}) {
        if (edit->isModified()) {
            edit->setModified(false);
            m_editor->SetCurrentText(field, edit->text());
        }
    }
}

void TFEdit::FollowCursor(int row)
{
    if (row >= 0) {
        const QModelIndex current = GWords->currentIndex();
        if (!current.isValid() || current.row() != row) {
            m_following = true;
            // Rows reset under the view lose its current cell; the user stays in their column.
            const int column = current.isValid() ? current.column() : m_column;
            const QModelIndex target = m_editor->Model().index(row, column);
            GWords->selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            GWords->scrollTo(target);
            m_following = false;
        }
    }
    RefreshFields();
}

void TFEdit::RefreshFields()
{
    for (auto [edit, field] : {std::pair{ETranscript, "TRANSCRIPT"}, std::pair{EWavFile, "WAVFILE"},
                               std::pair{EWavStart, "WAVSTART"}, std::pair{EWavEnd, "WAVEND"}}) {
        if (edit->hasFocus() && edit->isModified())
            continue;
        const QString text = m_editor->CurrentText(field);
        if (edit->text() != text)
            edit->setText(text);
        edit->setModified(false);
    }
}

void TFEdit::Update()
{
    TEditor &ed = *m_editor;
    setWindowTitle(ed.Caption());
    SBDirty->setText(ed.StatusDirty());
    SBCount->setText(ed.StatusCount());
    const bool open = ed.HasWorkingCopy();
    const bool editing = ed.EditingEnabled();
    for (QWidget *w : {static_cast<QWidget *>(GWords), static_cast<QWidget *>(ETranscript), static_cast<QWidget *>(EWavFile),
                       static_cast<QWidget *>(EWavStart), static_cast<QWidget *>(EWavEnd), static_cast<QWidget *>(BPickSound)})
        w->setEnabled(editing);
    BPlaySound->setEnabled(editing && TEditor::SoundPlayable(EWavFile->text()));
    for (QAction *a : {AClose, ASave, ASaveAs, ALoadBlock, ASaveBlock, ASearch})
        a->setEnabled(open);
    AImport->setEnabled(open && bool(TEditor::ImportFiles));
    RebuildRecent();
    RefreshFields();
}

void TFEdit::RebuildRecent()
{
    const QStringList items = m_editor->RecentItems();
    QStringList shown;
    for (QAction *a : ARecent)
        shown << a->data().toString();
    if (shown == items)
        return;
    for (QAction *a : ARecent) {
        MFile->removeAction(a);
        a->deleteLater();
    }
    ARecent.clear();
    if (m_recentSeparator) {
        MFile->removeAction(m_recentSeparator);
        m_recentSeparator->deleteLater();
        m_recentSeparator = nullptr;
    }
    if (items.isEmpty())
        return;
    m_recentSeparator = MFile->addSeparator();
    for (int i = 0; i < items.size(); ++i) {
        QAction *a = MFile->addAction(NamePart(items.at(i)));
        a->setData(items.at(i));
        connect(a, &QAction::triggered, this, [this, i] { m_editor->OpenRecent(i); });
        ARecent << a;
    }
}

void TFEdit::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        FormShow();
    }
}

void TFEdit::FormShow()
{
    if (CloseTrainerSound)
        CloseTrainerSound();
    m_editor->InstallHandlers();
    for (int group = 0; group < 2; ++group) {
        QFont font = GWords->font();
        ApplyLanguageFont(Options, font, group);
        m_editor->Model().SetColumnFont(group, font);
    }
    RestoreWindowRect(this, Options.EditorWindowRect, !Options.EditorPinned);
    const int client = GWords->viewport()->width();
    if (Options.EditorColumn1Width != 0 && Options.EditorColumn2Width != 0) {
        GWords->setColumnWidth(0, Options.EditorColumn1Width);
        GWords->setColumnWidth(1, Options.EditorColumn2Width);
    } else {
        const int first = (client - 16) / 2 - 14;
        GWords->setColumnWidth(0, std::max(40, first));
        GWords->setColumnWidth(1, std::max(40, client - first - 30));
    }
    GWords->setFocus();
}

void TFEdit::FormClose()
{
    m_editor->CloseSound();
    m_editor->RemoveHandlers();
    SetOptionPath(Options.EditorDictionary, m_editor->CurrentDictionary());
    SaveWindowRect(this, Options.EditorWindowRect);
    Options.EditorColumn1Width = GWords->columnWidth(0);
    Options.EditorColumn2Width = GWords->columnWidth(1);
    SaveOptions();
}

void TFEdit::reject()
{
    if (!m_closed) {
        if (!m_editor->CloseRequest())
            return;
        m_closed = true;
        FormClose();
    }
    QDialog::reject();
}

void TFEdit::closeEvent(QCloseEvent *event)
{
    reject();
    if (!m_closed)
        event->ignore();
    else
        event->accept();
}

bool TFEdit::eventFilter(QObject *watched, QEvent *event)
{
    // Coming back to the grid (from the transcription, say) enters its current column too.
    if (watched == GWords && event->type() == QEvent::FocusIn)
        SwitchToGroupLayout(GWords->currentIndex().column() > 0 ? 1 : 0);
    if (watched == GWords && event->type() == QEvent::KeyPress && !CellEditing()) {
        auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        TWordsModel &model = m_editor->Model();
        const int row = GWords->currentIndex().row();
        if (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ControlModifier)) {
            ETranscript->setFocus(Qt::TabFocusReason);
            return true;
        }
        if (key->key() == Qt::Key_Insert && mods == Qt::NoModifier) {
            m_editor->AppendRow();
            return true;
        }
        if (key->key() == Qt::Key_Down && mods == Qt::NoModifier && !model.InsertRowShown() &&
            (model.rowCount() == 0 || row == model.rowCount() - 1)) {
            m_editor->AppendRow();
            return true;
        }
        if ((key->key() == Qt::Key_Delete && !(mods & Qt::ControlModifier)) ||
            (key->key() == Qt::Key_Minus && (key->modifiers() & Qt::KeypadModifier))) {
            m_editor->DeleteCurrentRow();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------

bool EditDictionary(const QString &path, QWidget *parent)
{
    TFEdit window(*Topics, parent);
    if (parent)
        PlaceNear(parent, &window, 0);
    else
        RestoreWindowRect(&window, Options.EditorWindowRect, false);
    window.Editor().OpenDictionary(path);
    window.exec();
    return window.Editor().Saved();
}
