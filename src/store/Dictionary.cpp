// Dictionary layouts, their creators and the index repair on opening.
#include "store/Dictionary.h"

#include "engine/Cdx.h"
#include "engine/DiskFile.h"
#include "engine/EngineError.h"
#include "engine/Strings.h"

#include <exception>
#include <vector>

const std::vector<std::string> TopicFields = {
    "WORD1;C;80;0", "WORD2;C;80;0",   "TRANSCRIPT;C;80;0", "MISS;N;5;0",      "KBMISS;N;5;0",
    "INROW;N;5;0",  "KBINROW;N;5;0",  "WAVFILE;C;255;0",   "WAVSTART;N;20;0", "WAVEND;N;20;0",
};

const std::vector<std::string> LearnedFields = [] {
    std::vector<std::string> fields = TopicFields;
    fields.push_back("DATE;D;8;0");
    return fields;
}();

const std::vector<std::string> DictionaryTags = {"MISS", "KBMISS", "WORD1", "WORD2"};

namespace {

void SetUp(TCreateDbfDataSet &creator, TDbfDataSet *table, const std::vector<std::string> &fields)
{
    creator.CreateFields = fields;
    creator.DBFType = TDbfTypes::DBaseIV;
    creator.DBFTable = table;
    creator.AutoOverwrite = true;
}

// Each tag must be there with its own field as key and no condition, and must fit the table.
// Every tag's last entry names a record of the table (the tag opens at its end), and MISS, the
// tag the program opens in, also its first entry and the table's last record. `thorough` is
// for an index that may have missed changes to the table (a dictionary replaced by a download,
// packed by another tool, or words added by a tool that did not keep the index): then every
// tag's two ends and the last record are checked, and MISS is walked whole, every record exactly
// once and none beyond the table, so that such an index is rebuilt here and not met later as a
// failing walk. The table's records renumber for every tag alike, so the cheapest tag, the
// numeric MISS, is enough for the walk; only index pages are read.
void CheckTags(TDbfDataSet &words, bool thorough)
{
    const std::uint32_t records = words.Table()->RecordCount();
    const auto within = [records](std::uint32_t r) { return records == 0 ? r == 0 : r != 0 && r <= records; };
    for (const std::string &name : DictionaryTags) {
        TCdxTag *tag = nullptr;
        for (int i = 0; i < words.IndexFileCount() && !tag; ++i)
            tag = words.IndexFile(i)->TagByName(name);
        if (!tag || tag->HasFor() || AsciiUpper(Trim(tag->KeyExpression())) != name)
            throw EDatabaseError("Cannot find index tag " + name);
        const bool whole = thorough || name == "MISS";
        bool fits = within(tag->Last()) && (!whole || within(tag->First()));
        if (fits && whole && records != 0)
            fits = tag->GoToRecord(records);
        if (fits && thorough && name == "MISS") {
            std::vector<bool> seen(records + 1, false);
            std::uint32_t entries = 0;
            fits = tag->ForEachRecord([&](std::uint32_t r) {
                if (r == 0 || r > records || seen[r] || ++entries > records)
                    return false;
                seen[r] = true;
                return true;
            }) && entries == records;
        }
        if (!fits)
            throw EDatabaseError("Index does not match the table");
    }
}

} // namespace

TCreateTopic::TCreateTopic(TDbfDataSet *table)
{
    SetUp(*this, table, TopicFields);
}

TCreateLearned::TCreateLearned(TDbfDataSet *table)
{
    SetUp(*this, table, LearnedFields);
}

std::vector<TCdxTagSpec> DictionaryTagSpecs()
{
    std::vector<TCdxTagSpec> specs;
    for (const std::string &tag : DictionaryTags)
        specs.push_back(TCdxTagSpec{tag, tag, false, true, ""});
    return specs;
}

void RebuildDictionaryIndex(TDbfDataSet &words, const std::string &path)
{
    const std::string cdx = path + ".cdx";
    try {
        words.Close();
    } catch (const std::exception &) {
        // Closing writes back a damaged index's pages; the file goes anyway.
    }
    std::string existing = TDiskFile::ResolvePath(cdx);
    if (TDiskFile::Exists(existing))
        TDiskFile::Delete(existing);
    words.ClearIndexFiles();
    words.SetIndexName("");
    words.SetTableName(path + ".wrd");
    words.Open();
    words.IndexOn(cdx, DictionaryTagSpecs());
    words.AddIndexFile(cdx);
    words.SetIndexName("MISS");
    words.First();
}

void OpenDictionary(TDbfDataSet &words, const std::string &path)
{
    words.Close();
    words.ClearIndexFiles();
    words.SetIndexName("");
    words.SetTableName(path + ".wrd");
    words.Open(); // a table that cannot be opened is the caller's failure

    try {
        words.AddIndexFile(path + ".cdx");
        TCdxFile *index = words.IndexFile(0);
        // Each tag is checked from the index itself, without making it the cursor's order in
        // turn: that would read a record at every step. Only an index older than its table can
        // have missed changes made without it, so only such an index is checked thoroughly;
        // one found sound is stamped, so that the long check is not repeated on every opening.
        const bool older = index->OlderThanTable();
        CheckTags(words, older);
        if (older)
            index->Touch();
        words.SetIndexName("MISS");
        words.First();
        return;
    } catch (const std::exception &) {
        // Whatever is wrong with the index, it is rebuilt below from the table.
    }
    RebuildDictionaryIndex(words, path);
}
