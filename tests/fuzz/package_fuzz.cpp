// Fuzz target: any bytes as an Anki package (the zip container, its media map and every sound
// it names, under small unpacking limits), or, by the first byte, as a collection's SQLite
// bytes. Each must end in words or a VocabularyError, never a crash or a hang.
#include "store/AnkiReader.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    Vocab::ReadOptions o;
    if (data[0] & 2)
        o.deck = QStringLiteral("Default");
    if (data[0] & 4) {
        o.field1 = 2;
        o.field2 = 1;
    }
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    try {
        if (data[0] & 1) {
            AnkiReader::readCollection(bytes, QStringLiteral("fuzz"), o);
        } else {
            AnkiReader::Limits limits;
            limits.maxTotal = 64 << 20;
            limits.ratioFloor = 1 << 20;
            const Vocabulary v = AnkiReader::readBytes(bytes, QStringLiteral("fuzz.apkg"), o, limits);
            for (const VocabGroup &g : v.groups)
                for (const VocabEntry &e : g.entries)
                    if (!e.sound.isEmpty() && v.sounds)
                        v.sounds->read(e.sound);
        }
    } catch (const VocabularyError &) {
    }
    return 0;
}
