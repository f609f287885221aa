// The catalogue on the one cursor. Relies on the dictionary layouts and their index repair,
// on the program folder, and on ShowError / the message window for what the user must know.
#include "store/Topics.h"

#include "engine/DataSet.h"
#include "engine/EngineError.h"
#include "messages/Message.h"
#include "messages/ShowError.h"
#include "platform/ProgramFolder.h"
#include "store/Dictionary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <vector>

TTopics *Topics = nullptr;
TDbfDataSet *TWords = nullptr;

namespace {

std::string toPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

TTopics::TTopics(TDbfDataSet &words)
    : m_words(words),
      m_generator(static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()))
{
}

QString TTopics::FolderPath(TopicKind kind) const
{
    switch (kind) {
    case tkOn: return QStringLiteral("BASE/ON/");
    case tkLearned: return QStringLiteral("BASE/LEARNED/");
    case tkTemp: return QStringLiteral("TEMP/");
    case tkProgram: return ProgramFolder::path();
    case tkOff: return QStringLiteral("BASE/OFF/");
    case tkLearnedOff: return QStringLiteral("BASE/LEARNEDOFF/");
    }
    return {};
}

QString TTopics::DictionaryPath(TopicKind kind, const QString &name) const
{
    if (kind == tkProgram)
        return ProgramFolder::path() + name;
    return ProgramFolder::path() + FolderPath(kind) + name;
}

void TTopics::RescanFolders(TopicKinds kinds)
{
    for (TopicKind kind : {tkOn, tkLearned, tkOff, tkLearnedOff}) {
        if (!(kinds & KindBit(kind)))
            continue;
        QDir dir(ProgramFolder::path() + FolderPath(kind));
        // The suffix in any case, as the old installations' files need; a plain test rather than
        // a wildcard filter, which would bring in the regular expression engine at every start.
        // Hidden names are left out: a save replaces a dictionary through a hidden temporary
        // beside it, which a crash may leave behind, and no dictionary name begins with ".".
        const QStringList files = dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
        QStringList names;
        names.reserve(files.size());
        for (const QString &f : files)
            if (f.endsWith(QLatin1String(".wrd"), Qt::CaseInsensitive))
                names << f.left(f.size() - 4);
        m_names[kind] = names;
    }
}

const QStringList &TTopics::Names(TopicKind kind) const
{
    return m_names[kind];
}

void TTopics::ListNames(TopicKind kind, QStringList &strings, bool clear) const
{
    if (clear)
        strings.clear();
    strings += m_names[kind];
}

std::int32_t TTopics::CountWords(TopicKinds kinds, bool filtered)
{
    std::int32_t total = 0;
    for (TopicKind kind : {tkOn, tkLearned, tkOff, tkLearnedOff}) {
        if (!(kinds & KindBit(kind)))
            continue;
        for (const QString &name : m_names[kind]) {
            try {
                OpenDictionary(DictionaryPath(kind, name));
                if (filtered)
                    m_words.SetFiltered(true);
                total += static_cast<std::int32_t>(m_words.RecordCount());
            } catch (const EEngineError &) {
                // Unreadable dictionaries are simply not counted.
            }
        }
    }
    return total;
}

void TTopics::CloseDictionary()
{
    if (m_words.Active()) {
        try {
            m_words.FlushDBF();
        } catch (const EEngineError &) {
            // Closing must still happen; the data written so far stays.
        }
        m_words.Close();
    }
    m_words.ClearIndexFiles();
    m_words.SetFiltered(false);
    m_openPath.clear();
}

void TTopics::OpenDictionary(const QString &path)
{
    CloseDictionary();
    ::OpenDictionary(m_words, toPath(path));
    m_openPath = path;
}

bool TTopics::PickDictionary(TopicKind kind)
{
    const QStringList &names = m_names[kind];
    if (names.isEmpty())
        return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::uint32_t r = m_random ? m_random() : m_generator();
        const QString path = DictionaryPath(kind, names[int(r % std::uint32_t(names.size()))]);
        try {
            OpenDictionary(path);
            m_words.SetFiltered(kind == tkLearned);
            if (m_words.RecordCount() > 0)
                return true;
        } catch (const EEngineError &) {
            ShowError(9, path + QStringLiteral(".wrd"));
        }
    }
    return false;
}

bool TTopics::Create(const QString &path, bool learned)
{
    CloseDictionary();
    bool ok = false;
    try {
        m_words.SetTableName(toPath(path) + ".wrd");
        ok = learned ? TCreateLearned(&m_words).Execute() : TCreateTopic(&m_words).Execute();
    } catch (const EEngineError &) {
        ok = false;
    }
    if (ok)
        m_openPath = path;
    RescanFolders(KindBit(learned ? tkLearned : tkOn));
    return ok;
}

bool TTopics::CreateDictionary(const QString &path)
{
    return Create(path, false);
}

bool TTopics::CreateLearned(const QString &path)
{
    return Create(path, true);
}

void TTopics::MoveToLearned()
{
    const QString source = m_openPath;
    if (source.isEmpty() || !m_words.Active() || m_words.IsEmpty())
        return;
    const std::uint32_t recNo = m_words.RecNo();
    const std::string word1 = m_words.FieldByName("WORD1").AsString();
    const std::string word2 = m_words.FieldByName("WORD2").AsString();
    const std::string transcript = m_words.FieldByName("TRANSCRIPT").AsString();
    const std::string wavFile = m_words.FieldByName("WAVFILE").AsString();
    const std::int32_t wavStart = m_words.FieldByName("WAVSTART").AsInteger();
    const std::int32_t wavEnd = m_words.FieldByName("WAVEND").AsInteger();

    const QString name = QFileInfo(source).fileName();
    QString target = DictionaryPath(tkLearned, name);
    const QString learnedOff = DictionaryPath(tkLearnedOff, name);
    if (!QFileInfo::exists(ProgramFolder::findCaseInsensitive(target + ".wrd")) &&
        QFileInfo::exists(ProgramFolder::findCaseInsensitive(learnedOff + ".wrd")))
        target = learnedOff;

    bool opened = false;
    try {
        OpenDictionary(target);
        opened = true;
    } catch (const EEngineError &) {
    }
    if (!opened && CreateLearned(target)) {
        try {
            OpenDictionary(target);
            opened = true;
        } catch (const EEngineError &) {
        }
    }
    if (!opened) {
        AskQuestion(QStringLiteral("Error"), QStringLiteral("Can't create file \r\n") + target, TFMessage::Error,
                    TFMessage::Notice);
        try {
            OpenDictionary(source);
            m_words.SetRecNo(recNo);
        } catch (const EEngineError &) {
        }
        return;
    }

    try {
        m_words.Append();
        m_words.FieldByName("WORD1").SetAsString(word1);
        m_words.FieldByName("WORD2").SetAsString(word2);
        m_words.FieldByName("TRANSCRIPT").SetAsString(transcript);
        m_words.FieldByName("WAVFILE").SetAsString(wavFile);
        m_words.FieldByName("WAVSTART").SetAsInteger(wavStart);
        m_words.FieldByName("WAVEND").SetAsInteger(wavEnd);
        m_words.FieldByName("INROW").SetAsInteger(0);
        m_words.FieldByName("KBINROW").SetAsInteger(0);
        m_words.FieldByName("DATE").SetAsDateTime(Today());
        m_words.Post();
        m_words.FlushDBF();
    } catch (const EEngineError &) {
        // The word could not be stored in the learned dictionary: it stays where it was.
        if (m_words.Active() && m_words.State() != dsBrowse)
            m_words.Cancel();
        OpenDictionary(source);
        m_words.SetRecNo(recNo);
        return;
    }
    CloseDictionary();

    OpenDictionary(source);
    m_words.SetRecNo(recNo);
    m_words.Delete();
    m_words.FlushDBF();
    OpenDictionary(source);
}

bool TTopics::DeleteDictionary(TopicKind kind, const QString &name)
{
    CloseDictionary();
    bool ok = true;
    const QString base = DictionaryPath(kind, name);
    const QString wrd = ProgramFolder::findCaseInsensitive(base + ".wrd");
    if (!QFile::remove(wrd)) {
        ShowError(10, wrd);
        ok = false;
    }
    const QString cdx = ProgramFolder::findCaseInsensitive(base + ".cdx");
    if (QFileInfo::exists(cdx) && !QFile::remove(cdx)) {
        ShowError(10, cdx);
        ok = false;
    }
    return ok;
}

void TTopics::ResetStatistics()
{
    if (!m_words.Active())
        return;
    // Zeroing moves records within the MISS order, so the records are listed first and then
    // visited by number: each exactly once.
    std::vector<std::uint32_t> records;
    m_words.DisableControls();
    try {
        for (m_words.First(); !m_words.Eof(); m_words.Next())
            records.push_back(m_words.RecNo());
        for (std::uint32_t recNo : records) {
            m_words.SetRecNo(recNo);
            m_words.Edit();
            for (const char *f : {"MISS", "KBMISS", "INROW", "KBINROW"})
                m_words.FieldByName(f).SetAsInteger(0);
            m_words.Post();
        }
        m_words.FlushDBF();
        m_words.First();
    } catch (...) {
        m_words.EnableControls();
        throw;
    }
    m_words.EnableControls();
}

void TTopics::CopyWord(TDbfDataSet &source, TDbfDataSet &target)
{
    try {
        for (const char *f : {"WORD1", "WORD2", "TRANSCRIPT", "WAVFILE"})
            target.FieldByName(f).SetAsString(source.FieldByName(f).AsString());
        for (const char *f : {"WAVSTART", "WAVEND"})
            target.FieldByName(f).SetAsInteger(source.FieldByName(f).AsInteger());
        for (const char *f : {"MISS", "KBMISS", "INROW", "KBINROW"})
            target.FieldByName(f).SetAsInteger(0);
    } catch (const EEngineError &) {
        // A field the target lacks ends the copy; what was copied stays.
    }
}
