// The add-word dialog; see AddWord.h.
#include "store/AddWord.h"

#include "engine/DataSet.h"
#include "engine/EngineError.h"
#include "messages/Information.h"
#include "messages/LineInput.h"
#include "messages/ShowError.h"
#include "platform/Dialogs.h"
#include "platform/Images.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "settings/Lang.h"
#include "settings/WindowPlacement.h"
#include "sound/Sound.h"
#include "store/DictionaryNames.h"
#include "store/Topics.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

#include <limits>
#include <tuple>

namespace {

// The one dialog open at a time.
QPointer<TFAddWord> g_open;

qint64 numberOf(const QString &text)
{
    bool ok = false;
    const qint64 n = text.trimmed().toLongLong(&ok);
    return ok ? n : 0;
}

std::string cp1251(const QString &text)
{
    return Text::toCp1251(text);
}

} // namespace

// ---------------------------------------------------------------------------------------
// TAddWord

TAddWord::TAddWord(TTopics &topics, TOptions &options) : m_topics(topics), m_options(options) {}

void TAddWord::FillDictionaryList()
{
    m_topics.RescanFolders(KindBit(tkOn));
    m_dictionaries.clear();
    m_topics.ListNames(tkOn, m_dictionaries, true);
    m_selected = m_dictionaries.isEmpty() ? -1 : 0;
    if (m_dictionaries.isEmpty() || !m_topics.Words().Active())
        return;
    QString open = QFileInfo(m_topics.OpenPath()).fileName();
    if (open.isEmpty() && m_topics.Words().Table())
        open = QFile::decodeName(QByteArray::fromStdString(m_topics.Words().Table()->BaseName()));
    int index = m_dictionaries.indexOf(open);
    if (index < 0)
        index = m_dictionaries.indexOf(QRegularExpression(
            QStringLiteral("^%1$").arg(QRegularExpression::escape(open)), QRegularExpression::CaseInsensitiveOption));
    if (index >= 0)
        m_selected = index;
}

bool TAddWord::CreateDictionary(QWidget *parent)
{
    QString text;
    QString name;
    for (;;) {
        if (!AskLine(parent, text, tr("Пожалуйта, введите имя нового словаря")))
            return false;
        name = text.trimmed();
        const QString problem = DictionaryNameProblem(name);
        if (problem.isEmpty())
            break;
        MessageBox::show(problem);
    }
    // A name that is taken (ticked or not) gets a number: an existing dictionary is never replaced.
    name = FirstFreeDictionaryName(name);
    const QString path = m_topics.DictionaryPath(tkOn, name);
    if (!m_topics.CreateDictionary(path)) {
        MessageBox::show(QStringLiteral("Error writing ") + path + QStringLiteral(".wrd"));
        FillDictionaryList();
        return false;
    }
    FillDictionaryList();
    return true;
}

bool TAddWord::BeginEdit(TWordEntry &entry)
{
    TDbfDataSet &words = m_topics.Words();
    if (!words.Active() || words.IsEmpty() || words.Eof())
        return false;
    auto text = [&](const char *field) { return Text::fromCp1251(words.FieldByName(field).AsString()); };
    entry.word = text("WORD1");
    entry.translation = text("WORD2");
    entry.transcription = text("TRANSCRIPT");
    entry.soundFile = text("WAVFILE");
    entry.start = QString::number(qint64(words.FieldByName("WAVSTART").AsFloat()));
    entry.end = QString::number(qint64(words.FieldByName("WAVEND").AsFloat()));
    m_editPath = m_topics.OpenPath();
    m_editRecNo = words.RecNo();
    m_editMode = true;
    return true;
}

QString TAddWord::EntryProblem(const TWordEntry &entry)
{
    struct Field {
        const QString &text;
        int limit;
        const char *what;
    };
    const Field fields[] = {{entry.word, WordField, QT_TR_NOOP("Слово")},
                            {entry.translation, WordField, QT_TR_NOOP("Перевод")},
                            {entry.transcription, WordField, QT_TR_NOOP("Транскрипция")},
                            {entry.soundFile, SoundField, QT_TR_NOOP("Имя звукового файла")}};
    for (const Field &f : fields) {
        const QString what = tr(f.what);
        if (!Text::fitsCp1251(f.text))
            return tr("%1 содержит знаки, которых нет в кодировке словаря (Windows-1251).").arg(what);
        // One byte a character in the dictionary.
        if (f.text.size() > f.limit)
            return tr("%1 длиннее %n знаков.", nullptr, f.limit).arg(what);
    }
    return {};
}

TNewWord TAddWord::RecordOf(const TWordEntry &entry)
{
    TNewWord w;
    w.word1 = cp1251(entry.word);
    w.word2 = cp1251(entry.translation);
    w.transcript = cp1251(entry.transcription);
    w.wavFile = cp1251(entry.soundFile);
    w.wavStart = numberOf(entry.start);
    w.wavEnd = numberOf(entry.end);
    return w;
}

bool TAddWord::StoreEdit(const TWordEntry &entry)
{
    TDbfDataSet &words = m_topics.Words();
    const QString path = m_editPath;
    try {
        // Other windows may have moved the cursor meanwhile: back to the edited record.
        if (m_topics.OpenPath() != path || !words.Active())
            m_topics.OpenDictionary(path);
        if (words.RecNo() != m_editRecNo)
            words.SetRecNo(m_editRecNo);
        if (words.RecNo() != m_editRecNo) {
            MessageBox::show(QStringLiteral("Error writing ") + path + QStringLiteral(".wrd"));
            return false;
        }
        words.Edit();
        WriteNewWord(words, RecordOf(entry));
        words.Post();
        words.FlushDBF();
    } catch (const EEngineError &) {
        if (words.Active() && words.State() != dsBrowse)
            words.Cancel();
        MessageBox::show(QStringLiteral("Error writing ") + path + QStringLiteral(".wrd"));
        return false;
    }
    return true;
}

TAddWord::SaveResult TAddWord::Save(QWidget *parent, const TWordEntry &entry, bool checkDuplicates)
{
    if (entry.word.isEmpty() && entry.translation.isEmpty())
        return SaveResult::Nothing;
    const QString problem = EntryProblem(entry);
    if (!problem.isEmpty()) {
        MessageBox::show(problem);
        return SaveResult::Refused;
    }

    if (m_editMode) {
        if (!StoreEdit(entry))
            return SaveResult::Failed;
        m_editMode = false;
        m_stored = true;
        return SaveResult::Edited;
    }

    if (m_selected < 0 || m_selected >= m_dictionaries.size())
        return SaveResult::Nothing;
    const QString path = m_topics.DictionaryPath(tkOn, m_dictionaries[m_selected]);
    try {
        m_topics.OpenDictionary(path);
    } catch (const EEngineError &) {
        ShowError(9, path + QStringLiteral(".wrd"));
        return SaveResult::Failed;
    }

    TDbfDataSet &words = m_topics.Words();
    const TNewWord record = RecordOf(entry);
    SaveResult result = SaveResult::Added;
    try {
        TDuplicateOutcome outcome = TDuplicateOutcome::None;
        if (checkDuplicates)
            outcome = FindDuplicates(parent, words, record);
        switch (outcome) {
        case TDuplicateOutcome::None:
            words.Append();
            WriteNewWord(words, record);
            words.Post();
            words.FlushDBF();
            break;
        case TDuplicateOutcome::Added: break;
        case TDuplicateOutcome::Replaced: result = SaveResult::Replaced; break;
        case TDuplicateOutcome::Dropped: return SaveResult::Dropped;
        }
    } catch (const EEngineError &) {
        if (words.Active() && words.State() != dsBrowse)
            words.Cancel();
        MessageBox::show(QStringLiteral("Error writing ") + path + QStringLiteral(".wrd"));
        return SaveResult::Failed;
    }
    m_stored = true;
    if (result == SaveResult::Added) {
        ++m_options.StatStudiedWords;
        ++m_options.StatTotalWords;
    }
    return result;
}

std::optional<TAddWord::PickedSound> TAddWord::PickSound(QWidget *parent, const QString &word)
{
    QString folder = OptionText(m_options.SoundFolder);
    if (!folder.isEmpty() && !folder.endsWith('/'))
        folder += '/';
    const QString chosen = Dialogs::openFile(parent, tr("Выбрать файл"), folder + word + QStringLiteral(".wav"),
                                             QStringLiteral("Wave files (*.wav)"));
    if (chosen.isEmpty()) {
        SaveOptions(m_options);
        return std::nullopt;
    }
    QFile file(chosen);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowError(9, chosen);
        return std::nullopt;
    }
    PickedSound picked{StoredSoundName(chosen), file.size()};
    file.close();
    SetOptionPath(m_options.SoundFolder, QFileInfo(chosen).absolutePath());
    SaveOptions(m_options);
    // A name the sound field cannot hold whole would name another file.
    TWordEntry probe;
    probe.soundFile = picked.stored;
    const QString problem = EntryProblem(probe);
    if (!problem.isEmpty()) {
        MessageBox::show(problem);
        return std::nullopt;
    }
    return picked;
}

bool TAddWord::CanPlay(const QString &soundFile)
{
    if (soundFile.trimmed().isEmpty())
        return false;
    const QFileInfo info(ResolveProgramPath(soundFile));
    return info.exists() && info.isFile();
}

void TAddWord::Play(TSoundPlayer &player, const QString &soundFile)
{
    const QString path = ResolveProgramPath(soundFile);
    if (!PlaySoundFile(player, path))
        MessageBox::show(QStringLiteral("Can't play ") + path);
}

void TAddWord::Close(bool checkDuplicates, const WindowRect &rect)
{
    m_options.AddWordCheckDuplicates = checkDuplicates;
    m_options.AddWordWindowRect = rect;
    SaveOptions(m_options);
}

// ---------------------------------------------------------------------------------------
// TFAddWord

namespace {

const TImageList &pinImages()
{
    static const TImageList images;
    return images;
}

} // namespace

TFAddWord::TFAddWord(TTopics &topics, QWidget *parent, bool editMode, TOptions &options)
    : QDialog(parent), m_logic(topics, options), MPlayer(new TSoundPlayer(this))
{
    setObjectName(QStringLiteral("TFAddWord"));
    setWindowTitle(tr("Добавление нового слова в базу"));
    setMinimumWidth(413);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setVerticalSpacing(3);
    int row = 0;
    auto label = [&](const char *name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto edit = [&](const char *name, QLabel *caption, int limit) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setAccessibleName(caption->text());
        e->setMaxLength(limit);
        caption->setBuddy(e);
        e->installEventFilter(this);
        return e;
    };
    auto button = [&](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAccessibleName(caption);
        b->setAutoDefault(false);
        return b;
    };

    LWord = label("LWord", tr("Введите новое слово"));
    EWord = edit("EWord", LWord, TAddWord::WordLimit);
    LTranslation = label("LTranslation", tr("Перевод"));
    ETranslation = edit("ETranslation", LTranslation, TAddWord::WordLimit);
    LTranscription = label("LTranscription", tr("Транскрипция или комментарий"));
    ETranscription = edit("ETranscription", LTranscription, TAddWord::WordLimit);
    for (auto [l, e] : {std::pair{LWord, EWord}, {LTranslation, ETranslation}, {LTranscription, ETranscription}}) {
        grid->addWidget(l, row++, 0, 1, 4);
        grid->addWidget(e, row++, 0, 1, 4);
    }

    LSound = label("LSound", tr("Звуковой файл"));
    grid->addWidget(LSound, row++, 0, 1, 4);
    BSelectFile = button("BSelectFile", tr("Выбрать файл"));
    BPlay = button("BPlay", tr("Воспроизвести"));
    ESound = edit("ESound", LSound, TAddWord::SoundLimit);
    grid->addWidget(BSelectFile, row, 0);
    grid->addWidget(BPlay, row, 1);
    grid->addWidget(ESound, row++, 2, 1, 2);

    auto *numbers = new QHBoxLayout;
    LStart = label("LStart", tr("Начало"));
    EStart = edit("EStart", LStart, 20);
    LEnd = label("LEnd", tr("Конец"));
    EEnd = edit("EEnd", LEnd, 20);
    for (QLineEdit *e : {EStart, EEnd}) {
        e->setReadOnly(true);
        e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
        e->setText(QStringLiteral("0"));
    }
    numbers->addWidget(LStart);
    numbers->addWidget(EStart);
    numbers->addWidget(LEnd);
    numbers->addWidget(EEnd);
    numbers->addStretch(1);
    grid->addLayout(numbers, row++, 0, 1, 4);

    LDictionary = label("LDictionary", tr("Выберите словарь"));
    grid->addWidget(LDictionary, row++, 0, 1, 4);
    BCreateDictionary = button("BCreateDictionary", tr("Создать словарь"));
    CBDictionary = new QComboBox(this);
    CBDictionary->setObjectName(QStringLiteral("CBDictionary"));
    CBDictionary->setAccessibleName(LDictionary->text());
    CBDictionary->installEventFilter(this);
    LDictionary->setBuddy(CBDictionary);
    grid->addWidget(BCreateDictionary, row, 0, 1, 2);
    grid->addWidget(CBDictionary, row++, 2, 1, 2);

    auto *bottom = new QHBoxLayout;
    BPin = new QToolButton(this);
    BPin->setObjectName(QStringLiteral("BPin"));
    BPin->setAutoRaise(true);
    BPin->setIconSize(QSize(TImageList::Width, TImageList::Height));
    ChCheckCopies = new QCheckBox(tr("Проверять копии"), this);
    ChCheckCopies->setObjectName(QStringLiteral("ChCheckCopies"));
    ChCheckCopies->setAccessibleName(ChCheckCopies->text());
    BMoreWord = button("BMoreWord", tr("Еще слово"));
    BAdd = button("BAdd", tr("Добавить"));
    bottom->addWidget(BPin);
    bottom->addWidget(ChCheckCopies);
    bottom->addStretch(1);
    bottom->addWidget(BMoreWord);
    bottom->addWidget(BAdd);
    grid->setRowStretch(row, 1);
    grid->addLayout(bottom, ++row, 0, 1, 4);
    grid->setColumnStretch(2, 1);

    setTabOrder(EWord, ETranslation);
    setTabOrder(ETranslation, ETranscription);
    setTabOrder(ETranscription, BSelectFile);
    setTabOrder(BSelectFile, BPlay);
    setTabOrder(BPlay, ESound);
    setTabOrder(ESound, BCreateDictionary);
    setTabOrder(BCreateDictionary, CBDictionary);
    setTabOrder(CBDictionary, BPin);
    setTabOrder(BPin, ChCheckCopies);
    setTabOrder(ChCheckCopies, BMoreWord);
    setTabOrder(BMoreWord, BAdd);

    SetLanguageField(EWord, 0);
    SetLanguageField(ETranslation, 1);
    SetLanguageField(ETranscription, 2);

    connect(BAdd, &QPushButton::clicked, this, &TFAddWord::BAddClick);
    connect(BMoreWord, &QPushButton::clicked, this, &TFAddWord::BMoreWordClick);
    connect(BCreateDictionary, &QPushButton::clicked, this, &TFAddWord::BCreateDictionaryClick);
    connect(BSelectFile, &QPushButton::clicked, this, &TFAddWord::BSelectFileClick);
    connect(BPlay, &QPushButton::clicked, this, &TFAddWord::BPlayClick);
    connect(BPin, &QToolButton::clicked, this, &TFAddWord::BPinClick);
    connect(ESound, &QLineEdit::textChanged, this, &TFAddWord::SoundChanged);
    connect(CBDictionary, &QComboBox::currentIndexChanged, this, [this](int index) { m_logic.Select(index); });
    InstallHelpKey(this);

    BPlay->setEnabled(false);
    ChCheckCopies->setChecked(m_logic.Settings().AddWordCheckDuplicates);
    ShowPin();
    if (editMode) {
        TWordEntry entry;
        if (m_logic.BeginEdit(entry))
            SetEntry(entry);
    }
    ShowDictionaries();
    ShowEditMode();
    RestoreWindowRect(this, m_logic.Settings().AddWordWindowRect, true);
    EWord->setFocus();
    if (!g_open)
        g_open = this;
}

TFAddWord::~TFAddWord()
{
    if (g_open == this)
        g_open = nullptr;
}

bool TFAddWord::RaiseOpen()
{
    if (!g_open)
        return false;
    g_open->raise();
    g_open->activateWindow();
    return true;
}

TWordEntry TFAddWord::Entry() const
{
    TWordEntry e;
    e.word = EWord->text();
    e.translation = ETranslation->text();
    e.transcription = ETranscription->text();
    e.soundFile = ESound->text();
    e.start = EStart->text();
    e.end = EEnd->text();
    return e;
}

void TFAddWord::SetEntry(const TWordEntry &entry)
{
    // An edited record's text as long as its field must not be cut by the typing limit.
    for (auto [e, text, limit] : {std::tuple{EWord, &entry.word, TAddWord::WordLimit},
                                  {ETranslation, &entry.translation, TAddWord::WordLimit},
                                  {ETranscription, &entry.transcription, TAddWord::WordLimit},
                                  {ESound, &entry.soundFile, TAddWord::SoundLimit}})
        e->setMaxLength(qMax(limit, int(text->size())));
    EWord->setText(entry.word);
    ETranslation->setText(entry.translation);
    ETranscription->setText(entry.transcription);
    ESound->setText(entry.soundFile);
    ESound->setCursorPosition(ESound->text().size());
    EStart->setText(entry.start);
    EEnd->setText(entry.end);
    SoundChanged();
}

void TFAddWord::ShowDictionaries()
{
    m_logic.FillDictionaryList();
    const QSignalBlocker block(CBDictionary);
    CBDictionary->clear();
    CBDictionary->addItems(m_logic.Dictionaries());
    CBDictionary->setCurrentIndex(m_logic.Selected());
    const bool can = m_logic.CanSave();
    BMoreWord->setEnabled(can || m_logic.EditMode());
    BAdd->setEnabled(can || m_logic.EditMode());
    QPalette p = LDictionary->palette();
    p.setColor(QPalette::WindowText, can ? palette().color(QPalette::WindowText) : QColor(Qt::red));
    LDictionary->setPalette(p);
}

void TFAddWord::ShowEditMode()
{
    const bool edit = m_logic.EditMode();
    CBDictionary->setEnabled(!edit);
    BCreateDictionary->setEnabled(!edit);
    const bool can = m_logic.CanSave() || edit;
    BMoreWord->setEnabled(can);
    BAdd->setEnabled(can);
}

void TFAddWord::ShowPin()
{
    const bool pinned = m_logic.Settings().AddWordPinned;
    BPin->setIcon(pinImages().icon(pinned ? TImageList::PinOn : TImageList::PinOff));
    const QString hint = pinned ? tr("Открывать на этом месте: да") : tr("Открывать на этом месте: нет");
    BPin->setToolTip(hint);
    BPin->setAccessibleName(hint);
}

void TFAddWord::SoundChanged()
{
    BPlay->setEnabled(TAddWord::CanPlay(ESound->text()));
}

bool TFAddWord::SaveWord()
{
    const TAddWord::SaveResult r = m_logic.Save(this, Entry(), ChCheckCopies->isChecked());
    ShowEditMode();
    return r != TAddWord::SaveResult::Refused && r != TAddWord::SaveResult::Failed;
}

void TFAddWord::BAddClick()
{
    if (!BAdd->isEnabled())
        return;
    if (SaveWord())
        accept();
}

void TFAddWord::BMoreWordClick()
{
    const TWordEntry e = Entry();
    if (!e.word.isEmpty() || !e.translation.isEmpty() || !e.transcription.isEmpty()) {
        if (!SaveWord())
            return; // the text stays for the user to mend
        SetEntry(TWordEntry());
    }
    // Whatever happened, the next word is a new one: an edit never carries over to it.
    m_logic.EndEdit();
    ShowEditMode();
    EWord->setFocus();
    BPlay->setEnabled(false);
}

void TFAddWord::BCreateDictionaryClick()
{
    m_logic.CreateDictionary(this);
    ShowDictionaries();
    ShowEditMode();
}

void TFAddWord::BSelectFileClick()
{
    const auto picked = m_logic.PickSound(this, EWord->text());
    if (!picked)
        return;
    EStart->setText(QStringLiteral("0"));
    EEnd->setText(QString::number(picked->length));
    ESound->setMaxLength(qMax(TAddWord::SoundLimit, int(picked->stored.size())));
    ESound->setText(picked->stored);
    ESound->setModified(false);
    ESound->setCursorPosition(ESound->text().size());
}

void TFAddWord::BPlayClick()
{
    m_logic.Play(*MPlayer, ESound->text());
}

void TFAddWord::BPinClick()
{
    TOptions &o = m_logic.Settings();
    o.AddWordPinned = !o.AddWordPinned;
    ShowPin();
}

bool TFAddWord::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter && key->modifiers() == Qt::NoModifier) {
        if (watched == EWord) {
            ETranslation->setFocus();
            return true;
        }
        if (watched == ETranslation) {
            ETranscription->setFocus();
            return true;
        }
        if (watched == ETranscription) {
            if (BAdd->isEnabled())
                BMoreWordClick();
            else
                CBDictionary->setFocus();
            return true;
        }
    }
    if (key->key() == Qt::Key_Escape) {
        auto *edit = qobject_cast<QLineEdit *>(watched);
        if (edit && edit->isModified() && !edit->isReadOnly()) {
            // The user's last change goes; the next Escape closes.
            edit->undo();
            edit->end(false);
            edit->setModified(false);
            return true;
        }
        reject();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFAddWord::Place()
{
    const TOptions &o = m_logic.Settings();
    RestoreWindowRect(this, o.AddWordWindowRect, true);
    if (o.AddWordPinned || !parentWidget())
        RestoreWindowRect(this, o.AddWordWindowRect, false);
    else
        PlaceNear(parentWidget(), this, 0);
    if (width() < minimumWidth())
        resize(minimumWidth(), height());
    setFixedHeight(qMax(height(), minimumSizeHint().height()));
}

void TFAddWord::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        ShowDictionaries();
        ShowEditMode();
        Place();
    }
    QDialog::showEvent(event);
    EWord->setFocus();
}

void TFAddWord::done(int result)
{
    WindowRect rect;
    SaveWindowRect(this, rect);
    m_logic.Close(ChCheckCopies->isChecked(), rect);
    MPlayer->Close();
    QDialog::done(result);
}

int TFAddWord::Run()
{
    exec();
    return m_logic.Stored() ? 1 : 0;
}

// ---------------------------------------------------------------------------------------
// The ways in

int RunAddWord(QWidget *trainer)
{
    if (TFAddWord::RaiseOpen() || !Topics)
        return 0;
    TFAddWord dialog(*Topics, trainer);
    return dialog.Run();
}

int RunAddWordAtTray(QPoint cursor)
{
    if (TFAddWord::RaiseOpen() || !Topics)
        return 0;
    TFAddWord dialog(*Topics, nullptr);
    dialog.move(cursor.x() - 32, cursor.y() - 32);
    return dialog.Run();
}

int RunEditWord(QWidget *trainer)
{
    if (TFAddWord::RaiseOpen() || !Topics)
        return 0;
    TFAddWord dialog(*Topics, trainer, true);
    return dialog.Run();
}
