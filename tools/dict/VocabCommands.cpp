// Vocabularies of other trainers: import of KVTML files and Anki packages into one dictionary or
// one per lesson or deck, with their sounds copied into SOUND/<dictionary>/, and export as
// KVTML 2 or tab-separated text. Everything is read and checked before anything is written; the
// tables are made on hidden copies and the sounds removed again when any step fails.
#include "Commands.h"

#include "platform/SafeWrite.h"

#include "engine/DataSet.h"
#include "engine/DiskFile.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"
#include "sound/SoundPaths.h"
#include "store/Dictionary.h"
#include "store/DictionaryNames.h"
#include "store/KvtmlWriter.h"
#include "store/Vocabulary.h"

#include <QFileInfo>

#include <memory>
#include <ostream>

namespace dict {

using namespace SafeWrite;

namespace {

std::string plural(size_t n, const char *one, const char *many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

TField &fieldOf(TDbfDataSet &ds, const std::string &file, const char *name)
{
    TField *f = ds.FindField(name);
    if (!f)
        throw ToolError(file + " is not a dictionary: it has no field " + name);
    return *f;
}

// One target dictionary: its words are appended on a hidden copy, renamed into place at commit.
struct Target {
    std::string table, index;
    QString name;
    std::vector<ImportRecord> records;
    bool existed = false, withIndex = false;
    std::unique_ptr<TDiskFile> guard;
    std::unique_ptr<TempPair> tmp;

    void prepare()
    {
        existed = FileExists(table);
        withIndex = existed && FileExists(index);
        if (existed) {
            guard = std::make_unique<TDiskFile>();
            try {
                guard->Open(table, false, false);
            } catch (const EEngineError &e) {
                throw ToolError(table + " cannot be opened for sole use (" + std::string(e.what()) +
                                "); is Wordpop using it?");
            }
        }
        tmp = std::make_unique<TempPair>(table);
        TDbfDataSet ds;
        ds.SetTableName(tmp->table());
        if (existed) {
            CopyFile(table, tmp->table());
            if (withIndex)
                CopyFile(index, tmp->index());
        } else {
            TCreateTopic creator(&ds);
            creator.AutoOverwrite = true;
            creator.Execute();
            ds.Close();
        }
        ds.SetExclusive(true);
        ds.Open();
        if (withIndex) {
            try {
                ds.AddIndexFile(tmp->index());
            } catch (const EEngineError &e) {
                throw ToolError(index + " cannot be used (" + std::string(e.what()) +
                                "); \"wordpop-dict reindex\" builds it anew");
            }
        }
        TField &word1 = fieldOf(ds, table, "WORD1");
        TField &word2 = fieldOf(ds, table, "WORD2");
        TField &transcript = fieldOf(ds, table, "TRANSCRIPT");
        TField &wavFile = fieldOf(ds, table, "WAVFILE");
        for (const ImportRecord &r : records) {
            ds.Append();
            word1.SetAsString(r.word1);
            word2.SetAsString(r.word2);
            transcript.SetAsString(r.transcript);
            wavFile.SetAsString(r.wavFile);
            ds.Post();
        }
        if (!existed)
            for (const std::string &tag : DictionaryTags)
                ds.IndexOn(tmp->index(), tag, tag, "", iuDuplicates, ssAscending);
        ds.Close();
    }

    void commit() { tmp->commit(table, index, withIndex || !existed); }
};

std::vector<KvtmlWord> wordsOf(const Options &o)
{
    if (!FileExists(o.file))
        throw ToolError(o.file + ": no such dictionary file");
    TDbfDataSet ds;
    ds.SetTableName(o.file);
    ds.SetExclusive(true);
    ds.SetReadOnly(true);
    ds.Open();
    TField &w1 = fieldOf(ds, o.file, "WORD1");
    TField &w2 = fieldOf(ds, o.file, "WORD2");
    TField &tr = fieldOf(ds, o.file, "TRANSCRIPT");
    TField &wav = fieldOf(ds, o.file, "WAVFILE");
    std::vector<KvtmlWord> words;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        KvtmlWord w{Text::fromCp1251(w1.AsString()), Text::fromCp1251(w2.AsString()),
                    Text::fromCp1251(tr.AsString()), {}};
        const QString stored = Text::fromCp1251(wav.AsString());
        if (!stored.isEmpty()) {
            const QString path = ResolveProgramPath(stored);
            if (QFileInfo(path).isFile())
                w.soundPath = QFileInfo(path).absoluteFilePath();
        }
        words.push_back(std::move(w));
    }
    return words;
}

} // namespace

bool IsVocabularyImport(const Options &o)
{
    for (const std::string &input : o.inputs)
        if (Vocab::isVocabularyFile(QString::fromStdString(input)))
            return true;
    return false;
}

int ImportVocabulary(const Options &o, std::ostream &out, std::ostream &err)
{
    if (o.inputs.size() != 1)
        throw ToolError("a .kvtml, .apkg or .colpkg file is imported on its own, one per command");
    const QString input = QString::fromStdString(o.inputs[0]);
    // An option that does not apply to the file would be silently ignored; say so instead.
    const bool kvtml = input.endsWith(QStringLiteral(".kvtml"), Qt::CaseInsensitive);
    if (kvtml && (!o.deck.empty() || o.field1 != 1 || o.field2 != 2))
        throw ToolError("--deck and --fields apply to Anki packages, not to " + o.inputs[0]);
    if (!kvtml && (!o.fromLocale.empty() || !o.toLocale.empty() || o.splitLessons))
        throw ToolError("--from, --to and --split-lessons apply to KVTML files, not to " + o.inputs[0] +
                        " (its decks always fill a dictionary each)");
    Vocab::ReadOptions ro;
    ro.fromLocale = QString::fromStdString(o.fromLocale);
    ro.toLocale = QString::fromStdString(o.toLocale);
    ro.splitLessons = o.splitLessons;
    ro.field1 = o.field1;
    ro.field2 = o.field2;
    ro.deck = QString::fromStdString(o.deck);
    const QString table = QString::fromStdString(o.file);
    const QFileInfo info(table);
    const QString home = ProgramFolder::resolve();
    Vocab::Prepared prepared = Vocab::prepare(input, ro, info.completeBaseName());
    const Vocabulary &v = prepared.vocabulary;
    const bool several = prepared.dictionaries.size() > 1;

    std::vector<Target> targets(prepared.dictionaries.size());
    for (size_t i = 0; i < targets.size(); ++i) {
        Target &t = targets[i];
        t.name = prepared.dictionaries[i].name;
        if (const QString problem = DictionaryNameProblem(t.name); !problem.isEmpty())
            throw ToolError("\"" + t.name.toStdString() + "\" cannot name a dictionary: " + problem.toStdString());
        t.table = several ? (info.path() + "/" + t.name + ".wrd").toStdString() : o.file;
        t.index = IndexPathOf(t.table);
        t.records = std::move(prepared.dictionaries[i].records);
    }
    for (Target &t : targets)
        t.prepare();
    for (Target &t : targets)
        t.commit();
    Vocab::SoundStore &sounds = *prepared.sounds;
    sounds.commit();
    const int lost = prepared.lostCharacters;

    for (const Target &t : targets)
        out << "Added " << plural(t.records.size(), "word", "words") << " to " << t.table
            << (t.existed ? "" : " (created)") << "\n";
    if (sounds.written() > 0)
        out << "Copied " << plural(size_t(sounds.written()), "sound", "sounds") << " into " << home.toStdString()
            << "SOUND/\n";
    const std::string name = input.toStdString();
    if (v.skippedCloze)
        err << "wordpop-dict: " << name << ": " << plural(size_t(v.skippedCloze), "cloze note", "cloze notes")
            << " left out (they have no two sides)\n";
    if (v.skippedEmpty)
        err << "wordpop-dict: " << name << ": " << plural(size_t(v.skippedEmpty), "entry", "entries")
            << " with an empty side left out\n";
    if (v.skippedShort)
        err << "wordpop-dict: " << name << ": " << plural(size_t(v.skippedShort), "note", "notes")
            << " with fewer fields than asked for left out\n";
    if (v.missingSounds)
        err << "wordpop-dict: " << name << ": " << plural(size_t(v.missingSounds), "sound", "sounds")
            << " named but not found, words kept without them\n";
    if (lost > 0)
        err << "wordpop-dict: " << name << ": " << lost
            << (lost == 1 ? " character that Windows-1251 lacks was" : " characters that Windows-1251 lacks were")
            << " written as \"?\"\n";
    return 0;
}

int ExportKvtml(const Options &o, std::ostream &out, std::ostream &)
{
    const std::vector<KvtmlWord> words = wordsOf(o);
    const QString title = QFileInfo(QString::fromStdString(o.file)).completeBaseName();
    const QByteArray xml = KvtmlWriter::write(words, title,
                                              QString::fromStdString(o.fromLocale.empty() ? "en" : o.fromLocale),
                                              QString::fromStdString(o.toLocale.empty() ? "ru" : o.toLocale));
    out.write(xml.constData(), xml.size());
    return 0;
}

int ExportTsv(const Options &o, std::ostream &out, std::ostream &)
{
    // Anki reads these header lines; values never hold a tab or a line end.
    auto clean = [](QString s) {
        for (QChar &c : s)
            if (c == '\t' || c == '\n' || c == '\r')
                c = ' ';
        return s.toStdString();
    };
    out << "#separator:tab\n#html:false\n";
    for (const KvtmlWord &w : wordsOf(o))
        out << clean(w.word1) << '\t' << clean(w.word2) << '\t' << clean(w.transcript) << '\n';
    return 0;
}

} // namespace dict
