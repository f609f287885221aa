// The catalogue of dictionaries: which ones exist in which state (the folder they lie in), and
// the one place that opens, counts, picks, creates, deletes and moves them, all on one cursor.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <random>

class TDbfDataSet;

enum TopicKind { tkOn = 0, tkLearned = 1, tkTemp = 2, tkProgram = 3, tkOff = 4, tkLearnedOff = 5 };

// A set of kinds, bit n for kind n. Only On, Learned, Off and LearnedOff are scanned and counted.
using TopicKinds = unsigned;
constexpr TopicKinds KindBit(TopicKind k) { return 1u << k; }
constexpr TopicKinds tkAllLists = KindBit(tkOn) | KindBit(tkLearned) | KindBit(tkOff) | KindBit(tkLearnedOff);

class TTopics {
public:
    // Works on `words`, the program's one cursor (opened exclusively, deleted records hidden).
    explicit TTopics(TDbfDataSet &words);

    TDbfDataSet &Words() const { return m_words; }

    // Folder of a kind, relative to the program folder (Program: the program folder itself),
    // with a trailing "/".
    QString FolderPath(TopicKind kind) const;
    // Full path of a dictionary without extension.
    QString DictionaryPath(TopicKind kind, const QString &name) const;

    // Re-reads the "*.wrd" names of the kinds in the set (alphabetical, ignoring case).
    void RescanFolders(TopicKinds kinds);
    const QStringList &Names(TopicKind kind) const;
    void ListNames(TopicKind kind, QStringList &strings, bool clear) const;

    // Records of every dictionary of the kinds, with the cursor's filter switched on when
    // `filtered`. Dictionaries that cannot be opened or counted are left out silently.
    std::int32_t CountWords(TopicKinds kinds, bool filtered);

    void CloseDictionary();
    // Opens path.wrd with its four tags (repairing the index), MISS active; throws the table
    // layer's error when the table cannot be opened.
    void OpenDictionary(const QString &path);
    // Opens a random dictionary of the kind (On or Learned) that shows at least one record;
    // gives up after 100 draws. A dictionary that cannot be opened says error 9.
    bool PickDictionary(TopicKind kind);
    // Create path.wrd (replacing a file of that name), leave it open without an index.
    bool CreateDictionary(const QString &path);
    bool CreateLearned(const QString &path);
    // Moves the current record of the open dictionary into its learned dictionary.
    void MoveToLearned();
    bool DeleteDictionary(TopicKind kind, const QString &name);
    void ResetStatistics();
    // Copies the word of `source`'s current record into `target` (in edit or append state),
    // counters zero; a failing field stops the copy silently.
    static void CopyWord(TDbfDataSet &source, TDbfDataSet &target);

    // The path (without extension) of the dictionary open on the cursor, empty when none.
    QString OpenPath() const { return m_openPath; }

    // The draws of PickDictionary; a test fixes them with a seeded generator or a function.
    void SetRandom(std::function<std::uint32_t()> random) { m_random = std::move(random); }

private:
    bool Create(const QString &path, bool learned);

    TDbfDataSet &m_words;
    QStringList m_names[6];
    QString m_openPath;
    std::mt19937 m_generator;
    std::function<std::uint32_t()> m_random;
};

// The one cursor every part reads and writes dictionaries through, and the catalogue on it
// (both made at start, before the trainer).
extern TDbfDataSet *TWords;

extern TTopics *Topics;
