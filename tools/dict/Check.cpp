// check: the table's header against its descriptors and the file size, every record's bytes,
// the dictionary layout, and the index through the index layer's own verifier.
#include "Commands.h"

#include "platform/SafeWrite.h"

#include "engine/Bytes.h"
#include "engine/Cdx.h"
#include "engine/Dbf.h"
#include "store/Dictionary.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <string_view>

namespace dict {

using namespace SafeWrite;

namespace {

class Report {
public:
    Report(std::ostream &out, std::string file) : out_(out), file_(std::move(file)) {}
    void problem(std::string text)
    {
        ++problems_;
        for (char &c : text)
            if (c == '\r' || c == '\n')
                c = ' ';
        out_ << file_ << ": " << text << "\n";
    }
    // Per-record problems of one kind: the first few are printed, the rest counted.
    void recordProblem(const std::string &kind, uint32_t recNo, const std::string &text)
    {
        const int seen = ++perKind_[kind];
        if (seen <= maxPerKind)
            problem("record " + std::to_string(recNo) + ": " + text);
        else
            ++problems_;
    }
    void note(const std::string &text) { out_ << file_ << ": " << text << "\n"; }
    void finish()
    {
        for (const auto &[kind, n] : perKind_)
            if (n > maxPerKind)
                out_ << file_ << ": ... and " << (n - maxPerKind) << " more records with " << kind << "\n";
    }
    int problems() const { return problems_; }

private:
    static constexpr int maxPerKind = 20;
    std::ostream &out_;
    std::string file_;
    int problems_ = 0;
    std::map<std::string, int> perKind_;
};

// The header and descriptor area read as bytes, before the table layer interprets them.
// Returns false when the table cannot be opened safely at all.
bool checkHeaderBytes(const std::string &file, Report &r)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw ToolError(file + ": cannot be read");
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(file, ec);
    if (ec)
        throw ToolError(file + ": cannot be read: " + ec.message());
    unsigned char h[32] = {};
    if (size < 32 || !in.read(reinterpret_cast<char *>(h), 32)) {
        r.problem("the file is " + std::to_string(size) + " bytes, shorter than a table header");
        return false;
    }
    const unsigned version = h[0];
    static const unsigned accepted[] = {0x03, 0x30, 0x83, 0x8B, 0xF5};
    if (std::find(std::begin(accepted), std::end(accepted), version) == std::end(accepted)) {
        r.problem("version byte " + std::to_string(version) + " is not one of a dBase table");
        return false;
    }
    const uint32_t headerLength = Get16(h + 8), recordLength = Get16(h + 10), headerCount = Get32(h + 4);
    const uint32_t trailer = version == 0x30 ? 263 : 0;
    if (headerLength < 33 + trailer) {
        r.problem("header length " + std::to_string(headerLength) + " cannot hold the field descriptors");
        return false;
    }
    if (headerLength > size) {
        r.problem("header length " + std::to_string(headerLength) + " is beyond the file's " +
                  std::to_string(size) + " bytes");
        return false;
    }
    // The descriptors are read as the table layer reads them: whole 32-byte slots up to the
    // first one that starts with 0x0D. Writers that leave room after the terminator, or a byte
    // more in the header length, are within the format.
    const uint32_t area = headerLength - 33 - trailer;
    std::vector<unsigned char> desc(size_t(area) + 1);
    if (!in.read(reinterpret_cast<char *>(desc.data()), std::streamsize(desc.size()))) {
        r.problem("the field descriptors cannot be read");
        return false;
    }
    uint32_t fieldCount = 0;
    while ((fieldCount + 1) * 32 <= area && desc[size_t(fieldCount) * 32] != 0x0D)
        ++fieldCount;
    if (desc[size_t(fieldCount) * 32] != 0x0D)
        r.problem("no 0x0D after the " + std::to_string(fieldCount) + " field descriptors");
    uint32_t sum = 1;
    for (uint32_t i = 0; i < fieldCount; ++i) {
        const unsigned char *d = desc.data() + size_t(i) * 32;
        sum += d[11] == 'C' ? Get16(d + 16) : d[16];
    }
    if (recordLength == 0 || sum != recordLength) {
        r.problem("record length " + std::to_string(recordLength) + " differs from 1 + the field lengths (" +
                  std::to_string(sum) + ")");
        return false;
    }
    const uint64_t data = size - headerLength;
    const uint64_t count = data / recordLength, rest = data % recordLength;
    if (headerCount != count)
        r.problem("the header counts " + std::to_string(headerCount) + " records, the file holds " +
                  std::to_string(count));
    if (rest == 0) {
        r.note("no end mark 0x1A after the last record (harmless)");
    } else {
        unsigned char last = 0;
        in.seekg(std::streamoff(size - 1));
        in.read(reinterpret_cast<char *>(&last), 1);
        if (rest != 1)
            r.problem(std::to_string(rest - (last == 0x1A ? 1 : 0)) + " bytes of a partial record at the end");
        else if (last != 0x1A)
            r.problem("the byte after the last record is not the end mark 0x1A");
    }
    return true;
}

void checkLayout(const TDbfTable &t, Report &r)
{
    auto matches = [&](const std::vector<TDbfFieldLine> &layout) {
        if (int(layout.size()) != t.FieldCount())
            return false;
        for (int i = 0; i < t.FieldCount(); ++i) {
            const TDbfField &f = t.Field(i);
            const TDbfFieldLine &l = layout[size_t(i)];
            if (f.Name != l.Name || f.Type != l.Type || f.Length != l.Length || f.Decimals != l.Decimals)
                return false;
        }
        return true;
    };
    if (!matches(ParseDbfFieldLines(TopicFields)) && !matches(ParseDbfFieldLines(LearnedFields)))
        r.problem("the fields are neither the topic nor the learned dictionary layout");
}

void checkRecords(TDbfTable &t, Report &r)
{
    std::vector<char> buf(size_t(t.RecordLength()));
    for (uint32_t n = 1; n <= t.RecordCount(); ++n) {
        t.ReadRecordInto(n, buf.data());
        if (buf[0] != ' ' && buf[0] != '*')
            r.recordProblem("a bad deletion flag", n, "deletion flag is neither \" \" nor \"*\"");
        for (int i = 0; i < t.FieldCount(); ++i) {
            const TDbfField &f = t.Field(i);
            if (f.Type == 'N' || f.Type == 'F') {
                try {
                    t.GetNumber(i, buf.data());
                } catch (const EEngineError &) {
                    r.recordProblem("unreadable numbers", n, f.Name + " holds \"" + t.GetRaw(i, buf.data()) +
                                                                 "\", which is no number");
                }
            } else if (f.Type == 'D') {
                const std::string raw = t.GetRaw(i, buf.data());
                if (!DbfIsEmptyDate(raw) && !t.GetDate(i, buf.data()))
                    r.recordProblem("impossible dates", n, f.Name + " holds \"" + raw + "\", which is no date");
            }
        }
    }
}

void checkIndex(TDbfTable &t, const std::string &cdx, Report &r)
{
    std::vector<std::string> problems;
    try {
        TCdxFile file(t);
        file.Open(cdx, false, false, false);
        for (const std::string &name : DictionaryTags) {
            const TCdxTag *tag = file.TagByName(name);
            if (!tag) {
                r.problem(cdx + ": tag " + name + " is missing");
                continue;
            }
            std::string expr = tag->KeyExpression();
            std::transform(expr.begin(), expr.end(), expr.begin(), [](unsigned char c) { return char(std::toupper(c)); });
            if (expr != name)
                r.problem(cdx + ": tag " + name + " has the key \"" + tag->KeyExpression() + "\", not " + name);
            if (tag->HasFor())
                r.problem(cdx + ": tag " + name + " has a FOR condition");
            if (tag->Unique())
                r.problem(cdx + ": tag " + name + " is unique");
            if (tag->Descending())
                r.problem(cdx + ": tag " + name + " is descending");
        }
        problems = file.Check();
        file.Close();
    } catch (const EEngineError &e) {
        r.problem(cdx + ": cannot be opened as a compound index: " + e.what());
        return;
    }
    for (const std::string &p : problems)
        r.problem(cdx + ": " + p);
}

} // namespace

int Check(const Options &o, std::ostream &out)
{
    if (!FileExists(o.file))
        throw ToolError(o.file + ": no such dictionary file");
    Report r(out, o.file);
    if (checkHeaderBytes(o.file, r)) {
        TDbfTable t;
        try {
            t.Open(o.file, false, false);
        } catch (const EEngineError &e) {
            r.problem(std::string("the table cannot be opened: ") + e.what());
        }
        if (t.IsOpen()) {
            checkLayout(t, r);
            checkRecords(t, r);
            const std::string cdx = IndexPathOf(o.file);
            if (FileExists(cdx))
                checkIndex(t, cdx, r);
            else
                r.note("no index " + cdx + " (the program builds it on first opening); only the table was checked");
            t.Close();
        }
    }
    r.finish();
    if (r.problems() == 0) {
        out << o.file << ": sound\n";
        return 0;
    }
    out << o.file << ": " << r.problems() << (r.problems() == 1 ? " problem\n" : " problems\n");
    return 1;
}

} // namespace dict
