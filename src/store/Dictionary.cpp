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

// Each tag must be there with its own field as key and no condition, and must cover the
// table: an index left from an older copy of the table (a dictionary replaced by a download,
// packed by another tool, or words added by a tool that did not keep the index) names records
// the table does not have, or misses some, and is rebuilt. The ends of every tag and the last
// record are always checked; `walk` adds a walk of one tag whole.
void CheckTags(TDbfDataSet &words, bool walk)
{
    const std::uint32_t records = words.Table()->RecordCount();
    for (const std::string &name : DictionaryTags) {
        TCdxTag *tag = nullptr;
        for (int i = 0; i < words.IndexFileCount() && !tag; ++i)
            tag = words.IndexFile(i)->TagByName(name);
        if (!tag || tag->HasFor() || AsciiUpper(Trim(tag->KeyExpression())) != name)
            throw EDatabaseError("Cannot find index tag " + name);
        std::uint32_t first = tag->First(), last = tag->Last();
        bool covers = records == 0 ? first == 0 && last == 0
                                   : first != 0 && first <= records && last != 0 && last <= records &&
                                         tag->GoToRecord(records);
        // Every record exactly once, none beyond the table, so that an index left behind by a
        // tool that packed the table is caught here and not by a failing walk later. The
        // table's records renumber for every tag alike, so the cheapest tag, the numeric MISS,
        // is enough; only index pages are read.
        if (covers && walk && name == "MISS") {
            std::vector<bool> seen(records + 1, false);
            std::uint32_t entries = 0;
            for (std::uint32_t r = tag->First(); r != 0 && covers; r = tag->Next()) {
                covers = r <= records && !seen[r] && ++entries <= records;
                if (covers)
                    seen[r] = true;
            }
            covers = covers && entries == records;
        }
        if (!covers)
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
    for (const std::string &tag : DictionaryTags)
        words.IndexOn(cdx, tag, tag, "", iuDuplicates, ssAscending);
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
        for (const char *tag : {"WORD1", "WORD2", "MISS", "KBMISS"}) {
            words.SetIndexName(tag);
            words.Last();
        }
        // Only an index older than its table can have missed changes made without it (another
        // tool's pack, a replaced table), so only such an index is walked whole. One found
        // sound is stamped, so that the walk is not repeated on every opening.
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
