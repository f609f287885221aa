// Drives the dataset cursor from a small script, so that the exchange tests can make and change
// dictionaries exactly as the program does (dates, deletions, edits, opening with index repair)
// and then hand the files to other dBase tools. Script lines are Windows-1251 bytes, parts
// separated by tabs:
//   create topic|learned            new table at FILE (replaces one), left open without an index
//   open                            FILE exclusive, with its .cdx when one exists
//   opendict                        the program's opening: index checked and rebuilt when stale
//   append FIELD=VALUE ...          a new record (DATE values as yyyymmdd; empty = cleared)
//   edit RECNO FIELD=VALUE ...      changes a record
//   delete RECNO                    marks a record deleted
//   list TAG                        prints RECNO and WORD1 of every visible record in TAG's order
//   copyto DEST [TAG]               the cursor's copy of the visible records (in TAG's order)
//   close
// Any failure ends the run with exit code 1 and the engine's message.
#include "engine/DataSet.h"
#include "engine/EngineError.h"
#include "store/Dictionary.h"

#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::string> split(const std::string &line)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return parts;
        start = tab + 1;
    }
}

std::string withoutExtension(const std::string &path)
{
    const size_t slash = path.rfind('/'), dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path;
    return path.substr(0, dot);
}

void setFields(TDbfDataSet &ds, const std::vector<std::string> &parts, size_t from)
{
    for (size_t i = from; i < parts.size(); ++i) {
        const size_t eq = parts[i].find('=');
        if (eq == std::string::npos)
            throw std::runtime_error("expected FIELD=VALUE, got \"" + parts[i] + "\"");
        TField &f = ds.FieldByName(parts[i].substr(0, eq));
        const std::string value = parts[i].substr(eq + 1);
        if (value.empty())
            f.Clear();
        else if (f.DataType() == ftDate)
            f.SetAsDateTime(EncodeDate(std::stoi(value.substr(0, 4)), std::stoi(value.substr(4, 2)),
                                       std::stoi(value.substr(6, 2))));
        else
            f.SetAsString(value);
    }
}

void moveTo(TDbfDataSet &ds, const std::string &recNo)
{
    ds.SetRecNo(std::uint32_t(std::stoul(recNo)));
    if (ds.RecNo() != std::stoul(recNo))
        throw std::runtime_error("record " + recNo + " cannot be reached");
}

void run(const std::string &file, std::istream &script)
{
    TDbfDataSet ds;
    ds.SetExclusive(true);
    const std::string path = withoutExtension(file);
    std::string line;
    while (std::getline(script, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const std::vector<std::string> p = split(line);
        const std::string &cmd = p[0];
        if (cmd == "create") {
            ds.Close();
            ds.ClearIndexFiles();
            ds.SetTableName(file);
            if (p.size() > 1 && p[1] == "learned")
                TCreateLearned(&ds).Execute();
            else
                TCreateTopic(&ds).Execute();
        } else if (cmd == "open") {
            ds.Close();
            ds.ClearIndexFiles();
            ds.SetIndexName("");
            ds.SetTableName(file);
            ds.Open();
            if (std::FILE *cdx = std::fopen((path + ".cdx").c_str(), "rb")) {
                std::fclose(cdx);
                ds.AddIndexFile(path + ".cdx");
            }
        } else if (cmd == "opendict") {
            OpenDictionary(ds, path);
        } else if (cmd == "append") {
            ds.Append();
            setFields(ds, p, 1);
            ds.Post();
        } else if (cmd == "edit" && p.size() >= 2) {
            moveTo(ds, p[1]);
            ds.Edit();
            setFields(ds, p, 2);
            ds.Post();
        } else if (cmd == "delete" && p.size() == 2) {
            moveTo(ds, p[1]);
            ds.Delete();
        } else if (cmd == "list" && p.size() == 2) {
            ds.SetIndexName(p[1]);
            for (ds.First(); !ds.Eof(); ds.Next())
                std::cout << ds.RecNo() << '\t' << ds.FieldByName("WORD1").AsString() << '\n';
        } else if (cmd == "copyto" && (p.size() == 2 || p.size() == 3)) {
            ds.SetIndexName(p.size() == 3 ? p[2] : "");
            ds.CopyTo(p[1]);
        } else if (cmd == "close") {
            ds.Close();
        } else {
            throw std::runtime_error("unknown script line \"" + line + "\"");
        }
    }
    ds.Close();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: interop_cursor FILE.wrd < SCRIPT\n";
        return 2;
    }
    try {
        run(argv[1], std::cin);
    } catch (const std::exception &e) {
        std::cerr << "interop_cursor: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
