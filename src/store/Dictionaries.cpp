// The dictionaries window's work on the files (moves through the engine's no-replace move, the
// catalogue for create, delete and reset) and the thin window over it.
#include "store/Dictionaries.h"

#include "engine/DiskFile.h"
#include "engine/EngineError.h"
#include "messages/Information.h"
#include "messages/LineInput.h"
#include "messages/Message.h"
#include "messages/ShowError.h"
#include "platform/Dialogs.h"
#include "platform/FileTools.h"
#include "platform/Images.h"
#include "platform/ProgramFolder.h"
#include "platform/ServerSite.h"
#include "platform/WorkArea.h"
#include "settings/TOptions.h"
#include "settings/WindowPlacement.h"
#include "store/DictionaryNames.h"
#include "store/Working.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

void CantMove(const QString &fileName)
{
    AskQuestion(QStringLiteral("Error"), QStringLiteral("Can't move\n ") + fileName, TFMessage::Error, TFMessage::Notice);
}

bool SameFile(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

std::string Native(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

// --- The logic ------------------------------------------------------------------------------

TDictionariesLogic::TDictionariesLogic(TTopics &topics, QWidget *window) : m_topics(topics), m_window(window) {}

QString TDictionariesLogic::FilePath(TopicKind folder, const QString &name, const char *extension) const
{
    return m_topics.DictionaryPath(folder, name) + QLatin1String(extension);
}

void TDictionariesLogic::Notify()
{
    if (Changed)
        Changed();
}

void TDictionariesLogic::FillList(List list)
{
    m_topics.RescanFolders(KindBit(TickedKind(list)) | KindBit(UntickedKind(list)));
    std::vector<Entry> &entries = m_entries[list];
    entries.clear();
    for (TopicKind kind : {TickedKind(list), UntickedKind(list)})
        for (const QString &name : m_topics.Names(kind))
            entries.push_back({name, kind});
    std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    m_selected[list] = list == ListOn && !entries.empty() ? 0 : -1;
}

void TDictionariesLogic::FillLists()
{
    FillList(ListOn);
    FillList(ListLearned);
    Notify();
}

void TDictionariesLogic::Select(List list, int row)
{
    m_selected[list] = row >= 0 && row < int(m_entries[list].size()) ? row : -1;
}

int TDictionariesLogic::Find(List list, const QString &name, TopicKind folder) const
{
    const std::vector<Entry> &entries = m_entries[list];
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].name == name && entries[i].folder == folder)
            return int(i);
    return -1;
}

QPoint TDictionariesLogic::Centre() const
{
    if (m_window)
        return m_window->frameGeometry().center();
    return Desktop::workArea().center();
}

bool TDictionariesLogic::MoveDictionary(TopicKind from, const QString &name, TopicKind to, const QString &newName)
{
    const QString wrd = ProgramFolder::findCaseInsensitive(FilePath(from, name, ".wrd"));
    const QString cdx = ProgramFolder::findCaseInsensitive(FilePath(from, name, ".cdx"));
    const QString targetWrd = FilePath(to, newName, ".wrd");
    const QString targetCdx = FilePath(to, newName, ".cdx");

    // A table of that name already there, in any letter case, is never replaced (a name that
    // differs from the old one only in case is the same table).
    const QString existing = ProgramFolder::findCaseInsensitive(targetWrd);
    if (QFileInfo::exists(existing) && !SameFile(existing, wrd)) {
        CantMove(name + ".wrd");
        return false;
    }
    // An index without its table at the destination would be taken for the moved table's own.
    const QString orphan = ProgramFolder::findCaseInsensitive(targetCdx);
    if (QFileInfo::exists(orphan) && !SameFile(orphan, cdx) && !QFile::remove(orphan)) {
        CantMove(name + ".wrd");
        return false;
    }
    try {
        TDiskFile::Move(Native(wrd), Native(targetWrd));
    } catch (const EEngineError &) {
        CantMove(name + ".wrd");
        return false;
    }
    if (QFileInfo::exists(cdx)) {
        try {
            TDiskFile::Move(Native(cdx), Native(targetCdx));
        } catch (const EEngineError &) {
            // The table has moved; its index is built anew when it is next opened.
            CantMove(name + ".cdx");
        }
    }
    return true;
}

bool TDictionariesLogic::SetTicked(List list, int row, bool ticked)
{
    if (row < 0 || row >= int(m_entries[list].size()))
        return false;
    Entry &entry = m_entries[list][row];
    if (entry.Ticked() == ticked)
        return true;
    m_topics.CloseDictionary();
    const TopicKind from = entry.folder;
    const TopicKind to = ticked ? TickedKind(list) : UntickedKind(list);
    if (!MoveDictionary(from, entry.name, to, entry.name))
        return false;
    entry.folder = to;
    m_modified = true;
    m_changed |= KindBit(from) | KindBit(to);
    m_topics.RescanFolders(KindBit(from) | KindBit(to));
    return true;
}

bool TDictionariesLogic::AskName(QString &name)
{
    for (;;) {
        if (!AskLine(m_window, name, tr("Пожалуйта, введите имя нового словаря")))
            return false;
        const QString problem = DictionaryNameProblem(name);
        if (problem.isEmpty())
            return true;
        AskQuestion(QStringLiteral("Error"), problem, TFMessage::Error, TFMessage::Notice);
    }
}

void TDictionariesLogic::Create()
{
    // Left untranslated: the proposal becomes a file name, the same in every interface language.
    QString name = QStringLiteral("Новый словарь");
    if (!AskName(name))
        return;
    const QString free = FirstFreeDictionaryName(name);
    const QString path = m_topics.DictionaryPath(tkOn, free);
    const QString orphan = ProgramFolder::findCaseInsensitive(path + ".cdx");
    if (QFileInfo::exists(orphan))
        QFile::remove(orphan);
    if (!m_topics.CreateDictionary(path)) {
        AskQuestion(QStringLiteral("Error"), QStringLiteral("Can't create file\n ") + path + ".wrd", TFMessage::Error,
                    TFMessage::Notice);
        return;
    }
    m_modified = true;
    m_changed |= KindBit(tkOn);
    FillList(ListOn);
    FillList(ListLearned);
    Select(ListOn, Find(ListOn, free, tkOn));
    Notify();
}

void TDictionariesLogic::Rename(List list)
{
    const int row = m_selected[list];
    if (row < 0)
        return;
    const Entry entry = m_entries[list][row];
    QString name = entry.name;
    if (!AskName(name) || name == entry.name)
        return;
    m_topics.CloseDictionary();
    if (!MoveDictionary(entry.folder, entry.name, entry.folder, name))
        return;
    m_modified = true;
    m_changed |= KindBit(entry.folder);
    const int learnedRow = list == ListOn ? m_selected[ListLearned] : -1;
    FillList(ListOn);
    FillList(ListLearned);
    Select(list, Find(list, name, entry.folder));
    if (list == ListOn)
        Select(ListLearned, learnedRow);
    Notify();
}

void TDictionariesLogic::Delete(List list)
{
    const int row = m_selected[list];
    if (row < 0)
        return;
    const Entry entry = m_entries[list][row];
    if (AskQuestion(tr("Удаление словаря"), tr("Удалить словарь \"%1\" со всеми его словами?").arg(entry.name), TFMessage::Warning,
                    TFMessage::Question) != TFMessage::Yes)
        return;
    if (m_topics.DeleteDictionary(entry.folder, entry.name)) {
        std::vector<Entry> &entries = m_entries[list];
        entries.erase(entries.begin() + row);
        m_selected[list] = entries.empty() ? -1 : std::max(row - 1, 0);
        m_changed |= KindBit(entry.folder);
    }
    m_topics.RescanFolders(KindBit(TickedKind(list)) | KindBit(UntickedKind(list)));
    m_modified = true;
    Notify();
}

void TDictionariesLogic::ResetStatistics(List list)
{
    const int row = m_selected[list];
    if (row < 0)
        return;
    const Entry entry = m_entries[list][row];
    if (AskQuestion(tr("Обнуление статистики"), tr("Обнулить счётчики ответов во всех словах словаря \"%1\"?").arg(entry.name),
                    TFMessage::Warning, TFMessage::Question) != TFMessage::Yes)
        return;
    const QString path = m_topics.DictionaryPath(entry.folder, entry.name);
    try {
        m_topics.OpenDictionary(path);
        m_topics.ResetStatistics();
    } catch (const EEngineError &) {
        ShowError(9, path + ".wrd");
        return;
    }
    m_modified = true;
}

void TDictionariesLogic::Edit(List list)
{
    if (!CanEdit(list))
        return;
    const Entry entry = m_entries[list][m_selected[list]];
    if (!TDictionaryHooks::EditDictionary(m_topics.DictionaryPath(entry.folder, entry.name), m_window))
        return;
    m_modified = true;
    FillList(ListOn);
    FillList(ListLearned);
    Select(list, Find(list, entry.name, entry.folder));
    Notify();
}

void TDictionariesLogic::Import()
{
    const QStringList files = Dialogs::openFiles(
        m_window, tr("Выберите файл"), OptionText(Options.ImportFolder),
        tr("Текстовые файлы с разделителями (*.csv);;Текстовые файлы (*.txt);;"
           "Словари KVTML и Anki (*.kvtml *.apkg *.colpkg)"),
        QStringLiteral("csv"));
    // A cancelled dialog keeps the folder the user last imported from.
    if (files.isEmpty())
        return;
    SetOptionPath(Options.ImportFolder, FolderPart(files.first()));
    const QPoint centre = Centre();
    const bool visible = m_window && m_window->isVisible();
    if (visible)
        m_window->hide();
    ImportTextFiles(centre.x(), centre.y(), true, files);
    if (visible) {
        m_window->show();
        m_window->activateWindow();
    }
    m_modified = true;
    m_changed |= KindBit(tkOn);
    FillLists();
}

void TDictionariesLogic::Download()
{
    if (!CanDownload())
        return;
    // A fetched file may replace the dictionary held open.
    m_topics.CloseDictionary();
    if (!TDictionaryHooks::RunDownload(m_window))
        return;
    m_modified = true;
    m_changed |= KindBit(tkOn);
    FillLists();
}

// --- The window -----------------------------------------------------------------------------

TFDictionaries::TFDictionaries(TTopics &topics, const TImageList &images, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint),
      m_logic(topics, this), m_images(images)
{
    setObjectName("FDictionaries");
    setWindowTitle(tr("Словари"));
    setMinimumSize(448 - WindowFrameWidth, 257 - WindowFrameHeight);

    auto *left = new QWidget;
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(2);
    LOn = new QLabel(tr("Изучаемые"));
    LOn->setObjectName("LOn");
    CLBOn = new QListWidget;
    CLBOn->setObjectName("CLBOn");
    CLBOn->setAccessibleName(LOn->text());
    leftLayout->addWidget(LOn);
    leftLayout->addWidget(CLBOn);

    auto *right = new QWidget;
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(3, 0, 0, 0);
    rightLayout->setSpacing(2);
    LLearned = new QLabel(tr("Выученные"));
    LLearned->setObjectName("LLearned");
    CLBLearned = new QListWidget;
    CLBLearned->setObjectName("CLBLearned");
    CLBLearned->setAccessibleName(LLearned->text());
    rightLayout->addWidget(LLearned);
    rightLayout->addWidget(CLBLearned);
    LOn->setBuddy(CLBOn);
    LLearned->setBuddy(CLBLearned);

    SSplitter = new QSplitter(Qt::Horizontal);
    SSplitter->setObjectName("SSplitter");
    SSplitter->setAccessibleName(tr("Граница списков"));
    SSplitter->setChildrenCollapsible(false);
    SSplitter->addWidget(left);
    SSplitter->addWidget(right);
    SSplitter->setStretchFactor(0, 0);
    SSplitter->setStretchFactor(1, 1);

    BPin = new QToolButton;
    BPin->setObjectName("BPin");
    BPin->setIconSize(QSize(TImageList::Width, TImageList::Height));
    // Without a site's name the caption is one sentence of its own, so that it translates whole.
    const QString site = ReadServerSettings(ProgramFolder::path()).Site;
    BDownload = new QPushButton(site.isEmpty() ? tr("Загрузить словари с сервера") : tr("Загрузить словари с %1").arg(site));
    BDownload->setObjectName("BDownload");
    BDownload->setAccessibleName(BDownload->text());
    BDownload->setAutoDefault(false);
    BClose = new QPushButton(tr("Закрыть"));
    BClose->setObjectName("BClose");
    BClose->setAccessibleName(BClose->text());
    BClose->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(BPin);
    buttons->addWidget(BDownload);
    buttons->addStretch(1);
    buttons->addWidget(BClose);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(SSplitter, 1);
    layout->addLayout(buttons);

    using L = TDictionariesLogic;
    // An item's object name comes from its source caption, so that it is the same in every
    // interface language. The learned list's captions are English in every language.
    auto action = [this](QListWidget *list, QMenu *menu, const char *caption, QKeySequence key, auto slot) {
        auto *a = new QAction(tr(caption), list);
        a->setObjectName(QStringLiteral("M") + QString::fromUtf8(caption));
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WidgetShortcut);
            list->addAction(a);
        }
        connect(a, &QAction::triggered, this, slot);
        menu->addAction(a);
        return a;
    };
    PMOn = new QMenu(this);
    PMOn->setObjectName("PMOn");
    MCreate = action(CLBOn, PMOn, QT_TR_NOOP("Создать"), QKeySequence(Qt::Key_Insert), [this] { m_logic.Create(); });
    MEdit[L::ListOn] = action(CLBOn, PMOn, QT_TR_NOOP("Редактировать"), QKeySequence(), [this] { m_logic.Edit(L::ListOn); });
    MDelete[L::ListOn] = action(CLBOn, PMOn, QT_TR_NOOP("Удалить"), QKeySequence(Qt::Key_Delete), [this] { m_logic.Delete(L::ListOn); });
    MRename[L::ListOn] = action(CLBOn, PMOn, QT_TR_NOOP("Переименовать"), QKeySequence(Qt::CTRL | Qt::Key_R), [this] { m_logic.Rename(L::ListOn); });
    MImport = action(CLBOn, PMOn, QT_TR_NOOP("Импортировать"), QKeySequence(Qt::CTRL | Qt::Key_I), [this] { m_logic.Import(); });
    MReset[L::ListOn] = action(CLBOn, PMOn, QT_TR_NOOP("Обнулить статистику"), QKeySequence(Qt::CTRL | Qt::Key_S), [this] { m_logic.ResetStatistics(L::ListOn); });
    PMLearned = new QMenu(this);
    PMLearned->setObjectName("PMLearned");
    MEdit[L::ListLearned] = action(CLBLearned, PMLearned, "Edit", QKeySequence(), [this] { m_logic.Edit(L::ListLearned); });
    MDelete[L::ListLearned] = action(CLBLearned, PMLearned, "Delete", QKeySequence(Qt::Key_Delete), [this] { m_logic.Delete(L::ListLearned); });
    MRename[L::ListLearned] = action(CLBLearned, PMLearned, "Rename", QKeySequence(Qt::CTRL | Qt::Key_R), [this] { m_logic.Rename(L::ListLearned); });
    MReset[L::ListLearned] = action(CLBLearned, PMLearned, "Reset statistics", QKeySequence(Qt::CTRL | Qt::Key_S), [this] { m_logic.ResetStatistics(L::ListLearned); });

    for (L::List l : {L::ListOn, L::ListLearned}) {
        QListWidget *list = ListOf(l);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setToolTip(QStringLiteral("Right click to pop-up the menu"));
        list->setDragEnabled(false);
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        list->installEventFilter(this);
        connect(list, &QListWidget::customContextMenuRequested, this, [this, l, list](const QPoint &p) {
            UpdateActions();
            (l == L::ListOn ? PMOn : PMLearned)->popup(list->viewport()->mapToGlobal(p));
        });
        connect(list, &QListWidget::currentRowChanged, this, [this, l](int row) {
            if (m_showing)
                return;
            m_logic.Select(l, row);
            UpdateActions();
        });
        connect(list, &QListWidget::itemChanged, this, [this, l, list](QListWidgetItem *item) {
            if (!m_showing)
                ItemChanged(l, list->row(item));
        });
        // Queued: editing refills the list, which must not happen inside the list's own signal.
        connect(list, &QListWidget::itemDoubleClicked, this, [this, l] { m_logic.Edit(l); }, Qt::QueuedConnection);
    }
    connect(BPin, &QToolButton::clicked, this, [this] {
        Options.DictionariesPinned = !Options.DictionariesPinned;
        UpdatePin();
    });
    connect(BDownload, &QPushButton::clicked, this, [this] { m_logic.Download(); });
    connect(BClose, &QPushButton::clicked, this, &QDialog::reject);
    m_logic.Changed = [this] {
        ShowLists();
        UpdateActions();
    };
    UpdatePin();
    UpdateActions();
}

TFDictionaries::~TFDictionaries()
{
    if (s_current == this)
        s_current = nullptr;
}

QListWidget *TFDictionaries::ListOf(TDictionariesLogic::List list) const
{
    return list == TDictionariesLogic::ListOn ? CLBOn : CLBLearned;
}

void TFDictionaries::ShowList(TDictionariesLogic::List list)
{
    QListWidget *widget = ListOf(list);
    m_showing = true;
    widget->setUpdatesEnabled(false);
    widget->clear();
    for (const TDictionariesLogic::Entry &e : m_logic.Entries(list)) {
        auto *item = new QListWidgetItem(e.name);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(e.Ticked() ? Qt::Checked : Qt::Unchecked);
        widget->addItem(item);
    }
    widget->setCurrentRow(m_logic.Selected(list));
    widget->setUpdatesEnabled(true);
    m_showing = false;
}

void TFDictionaries::ShowLists()
{
    ShowList(TDictionariesLogic::ListOn);
    ShowList(TDictionariesLogic::ListLearned);
}

void TFDictionaries::ItemChanged(TDictionariesLogic::List list, int row)
{
    const auto &entries = m_logic.Entries(list);
    if (row < 0 || row >= int(entries.size()))
        return;
    QListWidgetItem *item = ListOf(list)->item(row);
    const bool wanted = item->checkState() == Qt::Checked;
    if (wanted != entries[row].Ticked())
        m_logic.SetTicked(list, row, wanted);
    // The mark shows the folder the files are in, moved or not.
    m_showing = true;
    item->setCheckState(m_logic.Entries(list)[row].Ticked() ? Qt::Checked : Qt::Unchecked);
    m_showing = false;
}

void TFDictionaries::UpdateActions()
{
    using L = TDictionariesLogic;
    for (L::List l : {L::ListOn, L::ListLearned}) {
        const bool selected = m_logic.HasSelection(l);
        MEdit[l]->setEnabled(m_logic.CanEdit(l));
        MDelete[l]->setEnabled(selected);
        MRename[l]->setEnabled(selected);
        MReset[l]->setEnabled(selected);
    }
    MCreate->setEnabled(true);
    MImport->setEnabled(true);
    BDownload->setEnabled(m_logic.CanDownload());
}

void TFDictionaries::UpdatePin()
{
    const bool pinned = Options.DictionariesPinned;
    BPin->setIcon(m_images.icon(pinned ? TImageList::PinOn : TImageList::PinOff));
    const QString hint = pinned ? tr("Окно открывается на своём месте") : tr("Запомнить место окна");
    BPin->setToolTip(hint);
    BPin->setAccessibleName(hint);
}

void TFDictionaries::showEvent(QShowEvent *event)
{
    if (!m_shownOnce) {
        m_shownOnce = true;
        RestoreWindowRect(this, Options.DictionariesWindowRect, !Options.DictionariesPinned);
        layout()->activate();
        const int total = SSplitter->width();
        const int first = std::max(Options.DictionaryListWidth, 20);
        SSplitter->setSizes({first, std::max(total - first, 20)});
        m_logic.FillLists();
        CLBOn->setFocus();
    }
    QDialog::showEvent(event);
}

bool TFDictionaries::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || (watched != CLBOn && watched != CLBLearned))
        return QDialog::eventFilter(watched, event);
    const auto list = watched == CLBOn ? TDictionariesLogic::ListOn : TDictionariesLogic::ListLearned;
    auto *key = static_cast<QKeyEvent *>(event);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_logic.Edit(list);
        return true;
    case Qt::Key_Escape:
        reject();
        return true;
    case Qt::Key_F1:
        ShowInformation(this);
        return true;
    default:
        return QDialog::eventFilter(watched, event);
    }
}

void TFDictionaries::done(int result)
{
    if (!m_closed) {
        m_closed = true;
        Options.DictionaryListWidth = CLBOn->width();
        SaveWindowRect(this, Options.DictionariesWindowRect);
        SaveOptions();
    }
    QDialog::done(result);
}

void TFDictionaries::Execute()
{
    s_current = this;
    m_closed = false;
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    show();
    raise();
    activateWindow();
    loop.exec();
    s_current = nullptr;
}

bool RunDictionaries(QWidget *owner, TTopics &topics, const TImageList &images, TopicKinds &changed)
{
    if (TFDictionaries *open = TFDictionaries::Current()) {
        open->raise();
        open->activateWindow();
        return false;
    }
    TFDictionaries window(topics, images, owner);
    RestoreWindowRect(&window, Options.DictionariesWindowRect, true);
    if (owner)
        PlaceNear(owner->window(), &window, 0);
    window.Execute();
    changed = window.Logic().ChangedFolders();
    return window.Logic().Modified();
}
