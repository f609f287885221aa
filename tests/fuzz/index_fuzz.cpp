// Fuzzes the compound index reader and maintenance: the input is the index file beside a small
// valid dictionary table. Opening it, walking every tag both ways, searching, keeping the tags
// in step with a rewritten record and verifying must end normally or in an engine error.
#include "engine/Cdx.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> DictionaryFields = {
    "WORD1;C;80;0", "WORD2;C;80;0", "TRANSCRIPT;C;80;0", "MISS;N;5;0", "KBMISS;N;5;0",
    "INROW;N;5;0", "KBINROW;N;5;0", "WAVFILE;C;255;0", "WAVSTART;N;20;0", "WAVEND;N;20;0"};

// The same table as the seeds in corpus/index_fuzz/ were built on: 40 words with shared stems.
struct Fixture {
    std::string folder;
    TDbfTable table;
    std::vector<char> record1;

    Fixture()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "wordpop-index-fuzz-XXXXXX").string();
        folder = ::mkdtemp(tmpl.data()) ? tmpl : std::string("/tmp");
        CreateDbfTable(folder + "/fuzz.wrd", DictionaryFields);
        table.Open(folder + "/fuzz.wrd");
        const char* stems[] = {"under", "understand", "undertake", "over", "overcome"};
        for (int i = 0; i < 40; ++i) {
            table.Blank();
            table.SetString(0, std::string(stems[i % 5]) + std::to_string(i * 37 % 100));
            table.SetString(1, "word" + std::to_string(i));
            table.SetNumber(3, i % 7);
            table.SetNumber(4, i % 3);
            table.AppendRecord();
        }
        record1.resize(size_t(table.RecordLength()) + 1);
        table.ReadRecordInto(1, record1.data());
    }
    ~Fixture()
    {
        table.Close();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

void Walk(TCdxTag& tag)
{
    for (tag.First(); !tag.Eof(); tag.Next()) {
    }
    for (tag.Last(); !tag.Bof(); tag.Prior()) {
    }
    tag.Find("under", true);
    tag.Find("3", false);
    tag.Next();
    tag.GoToRecord(1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Fixture fixture;
    Fixture* fx = &fixture;
    const std::string path = fx->folder + "/fuzz.cdx";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    {
        // Only read, as the dictionary check and the tool's export read it (through a map).
        TCdxFile cdx(fx->table);
        try {
            cdx.Open(path, false, false, false);
            for (int i = 0; i < cdx.TagCount(); ++i)
                Walk(*cdx.Tag(i));
            cdx.Check();
        } catch (const EEngineError&) {
        }
    }
    {
        TCdxFile cdx(fx->table);
        try {
            cdx.Open(path, false, false, true);
            for (int i = 0; i < cdx.TagCount(); ++i)
                Walk(*cdx.Tag(i));
            cdx.Check();
            // Maintenance on whatever the file holds.
            fx->table.GetRecord(1);
            fx->table.SetString(0, "zzz fuzz");
            fx->table.SetNumber(3, 99);
            fx->table.PutRecord(1);
            fx->table.SetRecordBuffer(fx->record1.data());
            fx->table.PutRecord(1);
            cdx.Check();
            cdx.Close();
        } catch (const EEngineError&) {
        }
        try {
            cdx.Close();
        } catch (const EEngineError&) {
        }
    }
    // Put record 1 back without an index, so every input starts from the same table.
    fx->table.SetRecordBuffer(fx->record1.data());
    fx->table.PutRecord(1);
    return 0;
}
