// Fuzz target: any bytes as the compound index of a small dictionary. Opening the cursor
// on it, moving in every tag, counting, locating, editing, appending and deleting must end in
// success or an engine error, never a crash or a hang. Without an argument-given seed the
// target writes its own sound index to WORDPOP_DATASET_FUZZ_SEED when that is set.
#include "engine/DataSet.h"
#include "engine/DiskFile.h"
#include "engine/EngineError.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string tempPath(const char *name)
{
    const char *tmp = getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/wordpop-dataset-fuzz-" + std::to_string(getpid()) + "-" + name;
}

// The fuzzer's files go when it ends, however many inputs it ran.
struct RemoveAtExit
{
    ~RemoveAtExit()
    {
        for (const char *name : {"pristine.wrd", "pristine.cdx", "words.wrd", "words.cdx"})
            unlink(tempPath(name).c_str());
    }
} removeAtExit;

const char *const Fields[] = {"WORD1;C;80;0", "WORD2;C;80;0", "TRANSCRIPT;C;80;0", "MISS;N;5;0",
                              "KBMISS;N;5;0", "INROW;N;5;0",  "KBINROW;N;5;0",     "WAVFILE;C;255;0",
                              "WAVSTART;N;20;0", "WAVEND;N;20;0"};

// The pristine table: 40 words with repeating counters; its sound index as the seed.
const std::string &pristine()
{
    static const std::string path = [] {
        std::string p = tempPath("pristine.wrd");
        TDbfDataSet ds;
        ds.SetTableName(p);
        TCreateDbfDataSet create;
        create.CreateFields.assign(std::begin(Fields), std::end(Fields));
        create.DBFTable = &ds;
        create.AutoOverwrite = true;
        create.Execute();
        for (int i = 0; i < 40; ++i) {
            ds.Append();
            ds.FieldByName("WORD1").SetAsString("w" + std::to_string((i * 17) % 40));
            ds.FieldByName("WORD2").SetAsString("t" + std::to_string(i % 9));
            ds.FieldByName("MISS").SetAsInteger(i % 5);
            ds.FieldByName("KBMISS").SetAsInteger(i % 3);
            ds.Post();
        }
        if (const char *seed = getenv("WORDPOP_DATASET_FUZZ_SEED"))
            for (const char *tag : {"MISS", "KBMISS", "WORD1", "WORD2"})
                ds.IndexOn(seed, tag, tag);
        return p;
    }();
    return path;
}

template <class F> void attempt(F &&body)
{
    try {
        body();
    } catch (const EEngineError &) {
    }
}

void walk(TDbfDataSet &ds)
{
    int steps = 0;
    for (ds.First(); !ds.Eof() && steps < 200; ds.Next(), ++steps)
        ds.FieldByName("WORD1").AsString();
    steps = 0;
    for (ds.Last(); !ds.Bof() && steps < 200; ds.Prior(), ++steps)
        ds.RecNo();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string table = tempPath("words.wrd");
    static const std::string index = tempPath("words.cdx");
    try {
        TDiskFile::Delete(table);
    } catch (const EEngineError &) {
    }
    TDiskFile::Copy(pristine(), table, true);
    if (FILE *f = fopen(index.c_str(), "wb")) {
        fwrite(data, 1, size, f);
        fclose(f);
    } else {
        return 0;
    }
    TDbfDataSet ds;
    ds.SetExclusive(true);
    ds.SetTableName(table);
    attempt([&] { ds.Open(); });
    if (!ds.Active())
        return 0;
    attempt([&] { ds.AddIndexFile(index); });
    for (const char *tag : {"MISS", "KBMISS", "WORD1", "WORD2", "NONE"}) {
        attempt([&] {
            ds.SetIndexName(tag);
            walk(ds);
            ds.RecordCount();
            ds.Locate("WORD1", "w7");
            ds.Locate("WORD2", "t", loPartialKey);
            ds.Locate("MISS", "3");
        });
    }
    attempt([&] {
        ds.SetIndexName("MISS");
        ds.First();
        ds.Edit();
        ds.FieldByName("MISS").SetAsInteger(9);
        ds.Post();
        ds.Append();
        ds.FieldByName("WORD1").SetAsString("new");
        ds.Post();
        ds.Delete();
        walk(ds);
    });
    attempt([&] { ds.Close(); });
    return 0;
}
