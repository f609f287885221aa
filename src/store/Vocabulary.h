// Words read from another trainer's files (KVTML, Anki packages) before they become
// dictionaries: groups of entries in Unicode, sounds named by plain file names and fetched from
// their source only when written. Relies on platform/Text.h for Windows-1251, on the program
// folder for SOUND/ and on sound/SoundPaths.h for the stored form of a sound's name; the table
// writing itself is the caller's (the tool and the import window).
#pragma once

#include "store/ImportReader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// A damaged or hostile vocabulary file: the message names the file.
class VocabularyError : public std::runtime_error {
public:
    VocabularyError(const QString &path, const QString &reason);
    QString path() const { return m_path; }
    QString reason() const { return m_reason; }

private:
    QString m_path;
    QString m_reason;
};

struct VocabEntry {
    QString word1;      // studied language
    QString word2;      // native language
    QString transcript;
    QString sound;      // plain file name known to the vocabulary's sound source; empty: none
};

struct VocabGroup {
    QString name;       // lesson or deck ("" for words outside any lesson, or all of them)
    std::vector<VocabEntry> entries;
};

// Where a vocabulary's sounds come from: the folder beside a KVTML file, or a package's entries.
class SoundSource {
public:
    virtual ~SoundSource() = default;
    // The bytes of a sound the vocabulary names; throws VocabularyError when the source is bad.
    virtual QByteArray read(const QString &plainName) = 0;
};

struct Vocabulary {
    QString path;                       // the file read, for messages
    std::vector<VocabGroup> groups;     // in the order the file first names them
    std::shared_ptr<SoundSource> sounds;
    int skippedCloze = 0;               // notes of a cloze type: they have no two sides
    int skippedEmpty = 0;               // one side empty once the markup is gone
    int skippedShort = 0;               // fewer fields than the chosen ones
    int missingSounds = 0;              // a sound named but not found beside or inside

    size_t entryCount() const;
};

namespace Vocab {

// The last part of a media name (after "/" or "\"), without control characters, leading dots or
// spaces, and with characters Windows-1251 lacks replaced by "_", at most 120 characters.
// Empty when nothing usable is left (".", "..", "" …): such a sound is not taken.
QString plainMediaName(const QString &name);

// Text of an HTML fragment: tags dropped (line breaks and block ends become a space), entities
// decoded, white space runs folded to one space, ends trimmed.
QString htmlToText(const QString &html);

// Decodes one entity at html[pos] == '&'; returns the length consumed (0 when it is none).
int decodeEntity(const QString &html, qsizetype pos, QString &out);

// The dictionary name a group gets: the base name alone when the file gives one group, else
// "base - group" with "::" (deck levels) shown as " - " and characters a file name cannot hold
// replaced by "_".
QString dictionaryNameFor(const QString &base, const QString &group, bool severalGroups);

// The base name of a vocabulary file: its name without folder and last extension.
QString baseNameOf(const QString &path);

// Sounds copied into SOUND/<dictionary>/ of the program folder for one import. Nothing is
// replaced: a different file of the same name makes the new one "name-2.ext". Every file and
// folder made is removed again unless commit() is called, so a failed import leaves no sound.
class SoundStore {
public:
    SoundStore(); // in the program folder ProgramFolder::path() names
    ~SoundStore();
    SoundStore(const SoundStore &) = delete;
    SoundStore &operator=(const SoundStore &) = delete;

    // Writes the bytes and returns the stored WAVFILE form "\SOUND\<dictionary>\<file>"
    // (Windows-1251 bytes). The same dictionary and name twice gives the first result.
    // Throws VocabularyError (naming `source`) when the file cannot be written.
    std::string add(const QString &dictionary, const QString &plainName, const QByteArray &bytes,
                    const QString &source);
    void commit() { m_committed = true; }
    // Keeps only the sounds whose stored form a posted word names: an import stopped part way
    // leaves no sound of a word it never wrote.
    void commitUsed(const std::set<std::string> &storedForms);
    int written() const { return int(m_files.size()); }

private:
    QString m_folder;
    QStringList m_files;
    std::vector<std::string> m_fileForms; // stored form of each of m_files
    QStringList m_folders;
    std::vector<std::pair<QString, std::string>> m_done; // dictionary/name -> stored form
    bool m_committed = false;
};

// A group's entries as dictionary records (Windows-1251), its sounds copied through `store`.
// `lost` grows by the characters that became "?".
std::vector<ImportRecord> recordsOf(const VocabGroup &group, const QString &dictionary,
                                    SoundSource *sounds, SoundStore &store, const QString &source,
                                    int *lost);

// Reads a file by its ending: ".kvtml" (KVTML 1 or 2), ".apkg" or ".colpkg".
struct ReadOptions {
    QString fromLocale;     // KVTML: the studied language's locale ("" = the rule)
    QString toLocale;       // KVTML: the native language's locale
    bool splitLessons = false;
    int field1 = 1, field2 = 2; // Anki: the note fields, counted from 1
    QString deck;           // Anki: only this deck (with its sub-decks); "" = one group per deck
};
bool isVocabularyFile(const QString &path);
Vocabulary read(const QString &path, const ReadOptions &options);

// Anki packages are read by the package module "wordpop-anki.so", loaded on the first package
// so that a start never maps libzip, libzstd and SQLite. A program that links the reader itself
// (the dictionary tool) sets packageReader instead. Without either, reading a package throws a
// VocabularyError that says the module could not be loaded.
using PackageReader = Vocabulary (*)(const QString &path, const ReadOptions &options);
inline constexpr int kPackageModuleVersion = 1;
// Tests name a module that is not there to see the failure.
extern QString packageModuleFile; // "wordpop-anki.so"
extern PackageReader packageReader;

// A vocabulary read and turned into dictionary records, its sounds already copied (and taken
// back unless committed). What the tool and the import window write into tables.
struct PreparedDictionary {
    QString name;                       // the dictionary's name (see dictionaryNameFor)
    std::vector<ImportRecord> records;
};
struct Prepared {
    Vocabulary vocabulary;              // its skip counts for the report
    std::vector<PreparedDictionary> dictionaries; // at least one, maybe empty
    std::unique_ptr<SoundStore> sounds;
    int lostCharacters = 0;
};

// Reads `path` and prepares one dictionary per group, named after `base` (one group: `base`
// itself). Throws VocabularyError, having left no sound behind, when anything fails.
Prepared prepare(const QString &path, const ReadOptions &options, const QString &base);

} // namespace Vocab
