// Writes a dictionary's words as a KVTML 2 vocabulary that the KDE education programs open:
// two identifiers with their locales, one entry per word, the transcription as the studied
// word's pronunciation and the sound as a file URL when it exists.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

struct KvtmlWord {
    QString word1, word2, transcript;
    QString soundPath; // a full path; empty: none
};

namespace KvtmlWriter {

QByteArray write(const std::vector<KvtmlWord> &words, const QString &title, const QString &studiedLocale,
                 const QString &nativeLocale);

} // namespace KvtmlWriter
