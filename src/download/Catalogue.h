// The download catalogue "wordpop.txt": one dictionary a line, fields split at every ";"
// (name; file on the server; words; kilobytes), Windows-1251. Only entries whose file is a
// plain dictionary name are offered, since that name becomes a local file and an FTP command.
#pragma once

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace Catalogue {

// The catalogue's name on the server and in NEWS/ of the program folder.
inline constexpr const char *kFileName = "wordpop.txt";

// Fields of one line, split at every ";" with no trimming.
std::vector<std::string> SplitLine(const std::string &line);

// A name that is safe to fetch and store: not empty, at most 255 bytes, no "/", "\", "..",
// no control character (CR or LF would also start a new FTP command), ending in ".wrd".
bool IsPlainDictionaryFileName(const std::string &name);

struct Entry {
    std::string line;   // the catalogue line as read (without its line end)
    std::string name;   // field 1
    std::string file;   // field 2, the file on the server and the local name (bytes)
    std::string words;  // field 3
    std::string size;   // field 4, kilobytes
    // The list entry: name + "       (words : " + words + ", size : " + size + " Kb)".
    QString Text() const;
    // The local file name (the file field in Unicode).
    QString LocalName() const;
};

// An entry for a line, or nothing when the line offers no safe file.
std::optional<Entry> ParseLine(const std::string &line);

// Entries of a catalogue's bytes, in line order; unsafe or empty lines are left out.
std::vector<Entry> Parse(const std::string &bytes);

// Reads the file; false when it cannot be read (entries then empty).
bool Read(const QString &path, std::vector<Entry> &entries);

} // namespace Catalogue
