// Fuzz target: any bytes as a KVTML file, read whole and split by lessons, with and without
// chosen languages. It must end in words or a VocabularyError, never a crash or a hang.
#include "store/KvtmlReader.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    Vocab::ReadOptions o;
    o.splitLessons = data[0] & 1;
    if (data[0] & 2)
        o.fromLocale = QStringLiteral("en");
    if (data[0] & 4)
        o.toLocale = QStringLiteral("ru");
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    try {
        const Vocabulary v = KvtmlReader::parse(bytes, QString(), o);
        size_t n = 0;
        for (const VocabGroup &g : v.groups)
            for (const VocabEntry &e : g.entries)
                n += size_t(e.word1.size() + e.word2.size() + e.transcript.size());
        (void)n;
    } catch (const VocabularyError &) {
    }
    return 0;
}
