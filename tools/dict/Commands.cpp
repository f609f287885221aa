// create, import, export, dump and reindex. Every table access goes through TDbfDataSet, so
// the tool writes exactly what the program writes (tags kept in step on every Post).
#include "Commands.h"

#include "platform/SafeWrite.h"

#include "engine/Cdx.h"
#include "engine/DataSet.h"
#include "engine/Dbf.h"
#include "engine/DiskFile.h"
#include "platform/Text.h"
#include "store/Dictionary.h"
#include "store/ImportReader.h"

#include <cstdio>
#include <ostream>

namespace dict {

using namespace SafeWrite;

namespace {

// An empty table of the topic or learned layout at path, made by the program's own creators.
void createTable(const std::string &path, bool learned)
{
    TDbfDataSet ds;
    ds.SetTableName(path);
    if (learned) {
        TCreateLearned creator(&ds);
        creator.AutoOverwrite = true;
        creator.Execute();
    } else {
        TCreateTopic creator(&ds);
        creator.AutoOverwrite = true;
        creator.Execute();
    }
    ds.Close();
}

std::string oneLineText(std::string text)
{
    for (char &c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

std::string utf8(const std::string &cp1251)
{
    return Text::fromCp1251(cp1251).toStdString();
}

void requireTable(const std::string &file)
{
    if (!FileExists(file))
        throw ToolError(file + ": no such dictionary file");
}

void attachIndex(TDbfDataSet &ds, const std::string &index, const std::string &shownIndex)
{
    try {
        ds.AddIndexFile(index);
    } catch (const EEngineError &e) {
        throw ToolError(shownIndex + " cannot be used (" + std::string(e.what()) +
                        "); \"wordpop-dict reindex\" builds it anew");
    }
}

// Opens the cursor on a table, with its index when asked; every failure names the file.
void openCursor(TDbfDataSet &ds, const std::string &table, bool readOnly, const std::string &index,
                const std::string &shownIndex)
{
    ds.SetTableName(table);
    ds.SetExclusive(true);
    ds.SetReadOnly(readOnly);
    ds.Open();
    if (!index.empty())
        attachIndex(ds, index, shownIndex);
}

TField &requireField(TDbfDataSet &ds, const std::string &file, const char *name)
{
    TField *f = ds.FindField(name);
    if (!f)
        throw ToolError(file + " is not a dictionary: it has no field " + name);
    return *f;
}

// Opens for reading in record order, or in a tag's order (which needs the index).
void openForReading(TDbfDataSet &ds, const Options &o)
{
    requireTable(o.file);
    const std::string cdx = IndexPathOf(o.file);
    if (!o.order.empty() && !FileExists(cdx))
        throw ToolError("--order " + o.order + " needs the index " + cdx +
                        ", which does not exist (\"wordpop-dict reindex\" builds it)");
    openCursor(ds, o.file, true, o.order.empty() ? std::string() : cdx, cdx);
    if (!o.order.empty()) {
        try {
            ds.SetIndexName(o.order);
        } catch (const EEngineError &e) {
            throw ToolError(cdx + ": " + e.what());
        }
    }
}

std::string dateText(const TField &f)
{
    if (f.IsNull())
        return {};
    int y = 0, m = 0, d = 0;
    DecodeDate(f.AsDateTime(), y, m, d);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
    return buf;
}

std::string fieldText(const TField &f)
{
    switch (f.DataType()) {
    case ftString:
        return f.AsString();
    case ftSmallint:
    case ftInteger:
        return std::to_string(f.AsInteger());
    case ftFloat: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", f.Decimals(), f.AsFloat());
        return buf;
    }
    case ftDate:
        return dateText(f);
    case ftBoolean:
        return f.AsBoolean() ? "T" : "F";
    default:
        return f.AsString();
    }
}

// A dump line is split at tabs and line ends, so those are written as escapes.
std::string escaped(const std::string &value)
{
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

} // namespace

std::string IndexPathOf(const std::string &table)
{
    const size_t slash = table.rfind('/');
    const size_t dot = table.rfind('.');
    const std::string stem = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                                 ? table : table.substr(0, dot);
    // An index written elsewhere may be T.CDX beside T.dbf: the one that exists is the one meant.
    return TDiskFile::ResolvePath(stem + ".cdx");
}

int Create(const Options &o, std::ostream &out)
{
    if (FileExists(o.file))
        throw ToolError(o.file + " already exists; delete it first to start it anew");
    TempPair tmp(o.file);
    createTable(tmp.table(), o.learned);
    tmp.commit(o.file, IndexPathOf(o.file), false);
    // An index left from an earlier table of this name would describe records that are gone.
    const std::string cdx = IndexPathOf(o.file);
    if (FileExists(cdx)) {
        RemoveFile(cdx);
        out << "Removed the stale index " << cdx << "\n";
    }
    out << "Created " << o.file << " (" << (o.learned ? "learned" : "topic") << " layout, 0 words)\n";
    return 0;
}

int Import(const Options &o, std::ostream &out, std::ostream &err)
{
    // Every input is read before anything is written, so an unreadable one changes nothing.
    std::vector<ImportFile> files;
    for (const std::string &input : o.inputs) {
        // Even a file whose ending is read as nothing must exist: a typing error is no import.
        if (!FileExists(input))
            throw ToolError("cannot read " + input + ": no such file");
        files.push_back(ImportReader::read(QString::fromStdString(input)));
    }

    const bool existed = FileExists(o.file);
    const std::string cdx = IndexPathOf(o.file);
    const bool withIndex = existed && FileExists(cdx);

    // The work is done on copies, so the original is held exclusively meanwhile, as the
    // program holds an open dictionary: a dictionary in use is refused rather than replaced
    // under the program's feet, and nobody writes it between the copy and the rename.
    TDiskFile guard;
    if (existed) {
        try {
            guard.Open(o.file, false, false);
        } catch (const EEngineError &e) {
            throw ToolError(o.file + " cannot be opened for sole use (" + oneLineText(e.what()) +
                            "); is Wordpop using it?");
        }
    }
    TempPair tmp(o.file);
    if (existed)
        CopyFile(o.file, tmp.table());
    else
        createTable(tmp.table(), false);

    size_t added = 0;
    bool buildTags = !existed;
    {
        TDbfDataSet ds;
        openCursor(ds, tmp.table(), false, std::string(), cdx);
        // A dictionary without a single record gets its tags built once after the appends, as
        // a new one does, in place of keeping them in step record by record.
        if (withIndex && ds.Table()->RecordCount() == 0)
            buildTags = true;
        if (withIndex && !buildTags) {
            CopyFile(cdx, tmp.index());
            attachIndex(ds, tmp.index(), cdx);
        }
        TField &word1 = requireField(ds, o.file, "WORD1");
        TField &word2 = requireField(ds, o.file, "WORD2");
        TField &transcript = requireField(ds, o.file, "TRANSCRIPT");
        TField &wavFile = requireField(ds, o.file, "WAVFILE");
        // The work is on a private copy renamed into place at the end: the records are written
        // in large pieces and the header (the record count) once, when the appends are done.
        ds.Table()->LockTable();
        ds.Table()->HoldAppends(true);
        for (const ImportFile &f : files) {
            for (const ImportRecord &r : f.records) {
                ds.Append();
                word1.SetAsString(r.word1);
                word2.SetAsString(r.word2);
                transcript.SetAsString(r.transcript);
                wavFile.SetAsString(r.wavFile);
                ds.Post();
                ++added;
            }
        }
        ds.Table()->HoldAppends(false);
        ds.Table()->UnlockTable();
        // The index is built in one pass over the words; an index of the same name left from
        // an earlier table is replaced with it.
        if (buildTags)
            ds.IndexOn(tmp.index(), DictionaryTagSpecs());
        ds.Close();
    }
    tmp.commit(o.file, cdx, withIndex || buildTags);

    for (size_t i = 0; i < files.size(); ++i) {
        const ImportFile &f = files[i];
        const std::string &name = o.inputs[i];
        if (f.format == ImportFormat::None)
            err << "wordpop-dict: " << name << ": not a .csv or .txt file, nothing read\n";
        if (f.lostCharacters > 0)
            err << "wordpop-dict: " << name << ": " << f.lostCharacters
                << (f.lostCharacters == 1 ? " character that Windows-1251 lacks was"
                                          : " characters that Windows-1251 lacks were")
                << " written as \"?\"\n";
        if (f.unpairedLastLine)
            err << "wordpop-dict: " << name << ": odd number of lines; the last word has no translation\n";
    }
    out << "Added " << added << (added == 1 ? " word" : " words") << " to " << o.file
        << (existed ? "" : " (created)") << "\n";
    return 0;
}

int Export(const Options &o, std::ostream &out, std::ostream &err)
{
    TDbfDataSet ds;
    openForReading(ds, o);
    TField *fields[] = {&requireField(ds, o.file, "WORD1"), &requireField(ds, o.file, "WORD2"),
                        &requireField(ds, o.file, "TRANSCRIPT"), &requireField(ds, o.file, "WAVFILE")};
    size_t unreadable = 0;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        std::string line;
        for (TField *f : fields) {
            const std::string v = f->AsString();
            // The format has no quoting: such a value would not read back as one field.
            if (v.find_first_of(";\r\n") != std::string::npos)
                ++unreadable;
            if (f != fields[0])
                line += ';';
            line += v;
        }
        out << (o.utf8 ? utf8(line) : line) << '\n';
    }
    if (unreadable)
        err << "wordpop-dict: " << unreadable
            << " values hold \";\" or a line end and will not import back as they were\n";
    return 0;
}

int Dump(const Options &o, std::ostream &out)
{
    TDbfDataSet ds;
    ds.SetUseDeleted(o.deleted);
    openForReading(ds, o);
    for (ds.First(); !ds.Eof(); ds.Next()) {
        std::string line = std::to_string(ds.RecNo());
        if (o.deleted && ds.Table()->IsDeleted())
            line += '*';
        for (int i = 0; i < ds.FieldCount(); ++i) {
            line += '\t';
            line += escaped(fieldText(ds.Fields(i)));
        }
        out << (o.utf8 ? utf8(line) : line) << '\n';
    }
    return 0;
}

int Reindex(const Options &o, std::ostream &out)
{
    requireTable(o.file);
    const std::string cdx = IndexPathOf(o.file);
    TempPair tmp(o.file);
    uint32_t records = 0;
    {
        TDbfDataSet ds;
        openCursor(ds, o.file, false, std::string(), cdx);
        ds.IndexOn(tmp.index(), DictionaryTagSpecs());
        records = ds.Table()->RecordCount();
        ds.Close();
    }
    // The new index replaces the old one in one step; the old one is never half rebuilt.
    RenameOver(tmp.index(), cdx);
    {
        // Read-only, so the table's bytes stay as they were.
        TDbfDataSet ds;
        openCursor(ds, o.file, true, cdx, cdx);
        for (const std::string &tag : DictionaryTags)
            ds.SetIndexName(tag);
        ds.Close();
    }
    out << "Rebuilt " << cdx << ": tags MISS, KBMISS, WORD1, WORD2 over " << records << " records\n";
    return 0;
}

} // namespace dict
