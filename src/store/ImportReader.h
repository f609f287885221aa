// Reads the text files Wordpop imports words from: ".csv" with ";"-separated parts and ".txt"
// with line pairs. Windows-1251 files pass byte for byte; UTF-8 ones are converted through
// platform/Text.h. No windows and no tables here: the import window and wordpop-dict both use it.
#pragma once

#include <QString>

#include <stdexcept>
#include <string>
#include <vector>

enum class ImportFormat {
    None,      // an ending that is neither: nothing is read
    Csv,       // one word per line: WORD1;WORD2;TRANSCRIPT;WAVFILE
    LinePairs, // two lines per word: WORD1, then WORD2
};

// One word as the file gives it, in Windows-1251 bytes. Parts a line lacks are empty.
struct ImportRecord {
    std::string word1;
    std::string word2;
    std::string transcript;
    std::string wavFile;

    bool operator==(const ImportRecord &) const = default;

    // Neither word holds more than spaces (a blank line, a line of only ";"): a table pads texts
    // with spaces, so such a record would be stored as a word without either side.
    bool blank() const
    {
        return word1.find_first_not_of(' ') == std::string::npos && word2.find_first_not_of(' ') == std::string::npos;
    }
};

struct ImportFile {
    ImportFormat format = ImportFormat::None;
    std::vector<ImportRecord> records;
    size_t lineCount = 0;       // lines of the file (a csv import's progress range)
    bool fromUtf8 = false;      // the file was UTF-8 and has been converted
    int lostCharacters = 0;     // characters Windows-1251 lacks, written as "?"
    bool unpairedLastLine = false; // a line-pair file of odd length: its last word has no translation
};

// The file could not be read (missing, a folder, no permission, read error).
class ImportReadError : public std::runtime_error {
public:
    ImportReadError(const QString &path, const std::string &reason);
    QString path() const { return m_path; }

private:
    QString m_path;
};

namespace ImportReader {

// The format a path names: the three characters after the last "." of its file name, compared
// without regard to case with "csv" and "txt" (so "a.CSV" and "a.csvx" are both csv).
ImportFormat formatOf(const QString &path);

// Reads the whole file and splits it by formatOf(path). An ending that is neither reads
// nothing (the file is not even opened). Throws ImportReadError when the file cannot be read.
ImportFile read(const QString &path);

// Splits bytes already read. The encoding is decided here (see decode).
ImportFile parse(const std::string &bytes, ImportFormat format);

// Windows-1251 bytes of a file's contents: a UTF-8 byte-order mark, or valid UTF-8 that holds
// non-ASCII bytes, is converted; anything else is returned as it is. `lost` counts characters
// that became "?", `converted` says whether conversion took place.
std::string decode(const std::string &bytes, int *lost = nullptr, bool *converted = nullptr);

// Lines end at CR, LF or CR LF; a last line without an ending still counts, a final ending
// adds no empty line.
std::vector<std::string> splitLines(const std::string &text);

// Cut at every ";": empty parts count, the last part is whatever follows the last ";".
std::vector<std::string> splitParts(const std::string &line);

} // namespace ImportReader
