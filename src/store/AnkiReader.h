// Reads Anki packages (.apkg, .colpkg): the zip container through libzip, the collection
// (collection.anki2 / .anki21, or the zstd-compressed .anki21b) through SQLite from memory, the
// media map in its JSON or its zstd-compressed form. Hostile containers are refused before
// anything is unpacked: entry names that are not plain, sizes and ratios of a zip bomb.
#pragma once

#include "store/Vocabulary.h"

namespace AnkiReader {

// What a package may unpack to. The defaults suit real collections with their media.
struct Limits {
    qint64 maxTotal = 2LL << 30;     // all entries together, uncompressed
    qint64 ratioFloor = 4LL << 20;   // entries smaller than this are not ratio-checked
    qint64 maxRatio = 200;           // uncompressed / compressed above the floor
    qint64 maxEntries = 200000;
};

Vocabulary readFile(const QString &path, const Vocab::ReadOptions &options, const Limits &limits = {});

// The same from bytes in memory; `path` names them in messages.
Vocabulary readBytes(const QByteArray &bytes, const QString &path, const Vocab::ReadOptions &options,
                     const Limits &limits = {});

// The notes of a collection's SQLite bytes alone (no sounds).
Vocabulary readCollection(const QByteArray &sqlite, const QString &path, const Vocab::ReadOptions &options);

} // namespace AnkiReader
