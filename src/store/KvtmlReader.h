// Reads KVTML vocabularies (the XML format of the KDE education programs), versions 1 and 2,
// with Qt's streaming XML reader. A document type with declarations of its own is refused, so
// no entity is ever expanded; sounds are taken only from files beside the vocabulary.
#pragma once

#include "store/Vocabulary.h"

namespace KvtmlReader {

// Parses bytes; `path` names the file in messages and is the folder sounds are looked up in
// (empty: no sounds). Throws VocabularyError on anything that is not a sound KVTML file.
Vocabulary parse(const QByteArray &bytes, const QString &path, const Vocab::ReadOptions &options);

// Reads the file (at most 256 MB) and parses it.
Vocabulary readFile(const QString &path, const Vocab::ReadOptions &options);

} // namespace KvtmlReader
