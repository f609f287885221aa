// Fuzz target: any bytes as a table file. Opening, walking every record and field, a
// rewrite, an append and a copy must end in success or an engine error, never a crash.
#include "engine/Dbf.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

std::string tempPath(const char* name)
{
    const char* tmp = getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/wordpop-table-fuzz-" + std::to_string(getpid()) + "-" + name;
}

// The fuzzer's files go when it ends, however many inputs it ran.
struct RemoveAtExit {
    ~RemoveAtExit()
    {
        for (const char* name : {"in.dbf", "copy.dbf"})
            unlink(tempPath(name).c_str());
    }
} removeAtExit;

void walk(TDbfTable& t)
{
    uint32_t seen = 0;
    for (bool ok = t.GetRecord(DbfRecFirst); ok && seen <= t.RecordCount(); ok = t.GetRecord(DbfRecNext)) {
        ++seen;
        t.IsDeleted();
        for (int f = 0; f < t.FieldCount(); ++f) {
            t.GetRaw(f);
            t.GetString(f);
            t.IsBlank(f);
            try {
                switch (t.Field(f).Type) {
                case 'N':
                case 'F':
                case 'I': t.GetNumber(f); break;
                case 'D': t.GetDate(f); break;
                case 'L': t.GetLogical(f); break;
                default: break;
                }
            } catch (const EEngineError&) {
            }
        }
    }
    t.GetRecord(DbfRecLast);
    t.GetRecord(DbfRecPrior);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = tempPath("in.dbf");
    static const std::string copy = tempPath("copy.dbf");
    if (FILE* f = fopen(path.c_str(), "wb")) {
        fwrite(data, 1, size, f);
        fclose(f);
    } else {
        return 0;
    }
    try {
        TDbfTable t;
        t.Open(path, true, false);
        walk(t);
        t.SetReadCache(true);
        walk(t);
        if (t.RecordCount() > 0 && t.GetRecord(1)) {
            for (int f = 0; f < t.FieldCount(); ++f) {
                try {
                    t.SetString(f, "1");
                } catch (const EEngineError&) {
                }
            }
            t.PutRecord(1);
        }
        t.Blank();
        t.AppendRecord();
        t.DeleteRecord();
        try {
            t.CopyTable(copy);
            TDbfTable c;
            c.Open(copy, false, false);
            walk(c);
        } catch (const EEngineError&) {
        }
        t.Close();
    } catch (const EEngineError&) {
    }
    unlink(copy.c_str());
    return 0;
}
