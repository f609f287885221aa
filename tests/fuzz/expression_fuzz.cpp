// Fuzz target: any text as an expression, compiled against a small dictionary-like table
// and evaluated for each of its records; only engine errors may come out.
#include "engine/Expression.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

TDbfTable& table()
{
    static std::unique_ptr<TDbfTable> t = [] {
        const char* tmp = getenv("TMPDIR");
        std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/wordpop-expr-fuzz-" + std::to_string(getpid()) + ".dbf";
        CreateDbfTable(path, {"WORD1;C;80;0", "WORD2;C;80;0", "MISS;N;5;0", "PRICE;N;8;2", "DATE;D;8;0", "OK;L;1;0"});
        auto table = std::make_unique<TDbfTable>();
        table->Open(path);
        const char* words[] = {"cat", "category", "\xEA\xEE\xF8\xEA\xE0", ""};
        for (int i = 0; i < 4; ++i) {
            table->Blank();
            table->SetString(0, words[i]);
            table->SetString(1, words[3 - i]);
            table->SetNumber(2, i * 3);
            table->SetNumber(3, i * 1.25 - 2);
            if (i % 2)
                table->SetDate(4, DbfDateToJulian(2020 + i, i + 1, 10 + i));
            table->SetLogical(5, i % 2 == 0);
            table->AppendRecord();
        }
        unlink(path.c_str());  // the open handle keeps it readable
        return table;
    }();
    return *t;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    TDbfTable& t = table();
    TExpHandler h(&t);
    h.CaseInsensitive = data[0] & 1;
    h.Wildcard = data[0] & 2;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        h.Compile(text);
        h.StaticType();
        h.TreeText();
        for (uint32_t r = 1; r <= t.RecordCount(); ++r) {
            t.GetRecord(int(r));
            try {
                h.Evaluate();
                h.KeyLength();
                h.KeyBytes();
                h.Matches();
            } catch (const EEngineError&) {
            }
        }
    } catch (const EEngineError&) {
    }
    return 0;
}
