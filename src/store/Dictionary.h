// What a dictionary holds: the table N.wrd in the topic or the learned layout, and its
// compound index N.cdx with the tags MISS, KBMISS, WORD1 and WORD2. Opening a dictionary repairs
// its index, so a missing or damaged N.cdx never keeps a dictionary from opening.
// Relies on the dataset cursor and the table creator of the engine; no Qt.
#pragma once

#include "engine/DataSet.h"

#include <string>
#include <vector>

// Field lines of the two layouts, as the table creator takes them.
extern const std::vector<std::string> TopicFields;   // the ten fields of an ordinary dictionary
extern const std::vector<std::string> LearnedFields; // the same ten and DATE

// The dictionary's tags in the order they are built; each tag's key is the field of its name.
extern const std::vector<std::string> DictionaryTags; // MISS, KBMISS, WORD1, WORD2
// The four tags as one build (TDbfDataSet::IndexOn), each keyed on its field, ascending.
std::vector<TCdxTagSpec> DictionaryTagSpecs();

// Table creators for the two layouts. Both replace an existing file of the same name and
// leave the new, empty table open in the cursor, without an index.
class TCreateTopic : public TCreateDbfDataSet
{
public:
    explicit TCreateTopic(TDbfDataSet *table = nullptr);
};

class TCreateLearned : public TCreateDbfDataSet
{
public:
    explicit TCreateLearned(TDbfDataSet *table = nullptr);
};

// Opens path.wrd (path without extension) on `words` with path.cdx attached and MISS the active
// tag, positioned on the first record. When the index is missing, unreadable, lacks one of the
// four tags or does not fit the table, it is deleted and built anew. An index file no older
// than the table (as the engine leaves the index it keeps) has each tag's last entry, and MISS's
// first entry and last record, checked; an older one, which may have missed changes made
// without it, has both ends of every tag and the last record checked and MISS walked whole, and
// found sound is stamped as current. A table that cannot be opened raises the engine's error;
// `words` is then closed.
void OpenDictionary(TDbfDataSet &words, const std::string &path);

// Deletes path.cdx and builds the four tags into a new one, then attaches it (MISS active).
// `words` must be closed or open on path.wrd.
void RebuildDictionaryIndex(TDbfDataSet &words, const std::string &path);
