// The commands of wordpop-dict, one function each. They read and write dictionaries only
// through the dataset cursor (engine/DataSet.h) and the dictionary layouts (store/Dictionary.h);
// a command that makes files writes temporaries beside the target and renames them into place.
#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace dict {

// A failure the user must read: printed on stderr, exit code 1.
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    std::string command;
    std::string file;               // the table, ".wrd" added when the name has no extension;
                                    // an existing file in another letter case stands for it
    std::vector<std::string> inputs; // import files
    std::string order;              // tag name for export and dump; empty is record order
    bool learned = false;
    bool utf8 = false;
    bool deleted = false;
    // Vocabularies of other trainers (import) and the formats written for them (export).
    std::string fromLocale, toLocale;
    bool splitLessons = false;
    int field1 = 1, field2 = 2;
    std::string deck;
    bool kvtml = false;
    bool tsv = false;
};

// The index file that belongs to a table: its path with ".cdx" in place of the extension,
// or the file of that name in another letter case when only such a one exists.
std::string IndexPathOf(const std::string &table);

int Create(const Options &o, std::ostream &out);
int Import(const Options &o, std::ostream &out, std::ostream &err);
int Export(const Options &o, std::ostream &out, std::ostream &err);
int Dump(const Options &o, std::ostream &out);
// import of a .kvtml, .apkg or .colpkg file: one dictionary, or one per lesson or deck.
bool IsVocabularyImport(const Options &o);
int ImportVocabulary(const Options &o, std::ostream &out, std::ostream &err);
// export --kvtml (KVTML 2) and export --tsv (UTF-8, tab-separated) on out.
int ExportKvtml(const Options &o, std::ostream &out, std::ostream &err);
int ExportTsv(const Options &o, std::ostream &out, std::ostream &err);
int Reindex(const Options &o, std::ostream &out);
// Exit 0 when table and index are sound, 1 when a problem was found (each printed on out).
int Check(const Options &o, std::ostream &out);

} // namespace dict
