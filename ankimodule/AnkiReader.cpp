// Anki packages. The zip is held open while the import writes, so sounds are unpacked one at a
// time; every size is checked against the limits before and while it is read.
#include "store/AnkiReader.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <sqlite3.h>
#include <zip.h>
#include <zstd.h>

#include <cstring>
#include <map>
#include <unordered_map>

namespace {

[[noreturn]] void fail(const QString &path, const QString &why)
{
    throw VocabularyError(path, why);
}

bool isZstd(const QByteArray &b)
{
    return b.size() >= 4 && quint8(b[0]) == 0x28 && quint8(b[1]) == 0xb5 && quint8(b[2]) == 0x2f &&
           quint8(b[3]) == 0xfd;
}

// The zip container with its entries checked once, when opened.
class Package : public SoundSource {
public:
    Package(const QString &path, const QByteArray *bytes, const AnkiReader::Limits &limits)
        : m_path(path), m_limits(limits)
    {
        zip_error_t err;
        zip_error_init(&err);
        zip_source_t *src = nullptr;
        if (bytes) {
            m_bytes = *bytes;
            src = zip_source_buffer_create(m_bytes.constData(), zip_uint64_t(m_bytes.size()), 0, &err);
        } else {
            src = zip_source_file_create(QFile::encodeName(path).constData(), 0, -1, &err);
        }
        if (src)
            m_zip = zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, &err);
        if (!m_zip) {
            const QString why = QString::fromUtf8(zip_error_strerror(&err));
            if (src)
                zip_source_free(src);
            zip_error_fini(&err);
            fail(m_path, "it is not a readable Anki package (" + why + ")");
        }
        zip_error_fini(&err);
        try {
            readIndex();
        } catch (...) {
            zip_discard(m_zip);
            throw;
        }
    }

    ~Package() override
    {
        zip_discard(m_zip);
    }

    void readIndex()
    {
        const zip_int64_t count = zip_get_num_entries(m_zip, 0);
        if (count < 0 || count > m_limits.maxEntries)
            fail(m_path, QStringLiteral("it holds too many files"));
        qint64 total = 0;
        for (zip_int64_t i = 0; i < count; ++i) {
            zip_stat_t st;
            zip_stat_init(&st);
            if (zip_stat_index(m_zip, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME) ||
                !(st.valid & ZIP_STAT_SIZE) || !(st.valid & ZIP_STAT_COMP_SIZE))
                fail(m_path, QStringLiteral("its table of contents is damaged"));
            const QString name = QString::fromUtf8(st.name);
            // A package is flat: anything with a folder, a parent or a root is not one of ours.
            if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\') || name == u"." ||
                name == u".." || name.contains(u':') || name.contains(QChar(0)))
                fail(m_path, "it holds an entry with a path (\"" + name + "\"), which is refused");
            if (st.size > zip_uint64_t(m_limits.maxTotal) || (total += qint64(st.size)) > m_limits.maxTotal)
                fail(m_path, QStringLiteral("it would unpack to more than %1 MB, which is refused")
                                 .arg(m_limits.maxTotal >> 20));
            if (qint64(st.size) > m_limits.ratioFloor &&
                st.size / std::max<zip_uint64_t>(st.comp_size, 1) > zip_uint64_t(m_limits.maxRatio))
                fail(m_path, "its entry \"" + name + "\" is compressed beyond reason (a zip bomb), which is refused");
            if (m_index.contains(name))
                fail(m_path, "it holds the entry \"" + name + "\" twice");
            m_index.insert(name, {zip_uint64_t(i), qint64(st.size)});
        }
    }

    bool has(const QString &name) const { return m_index.contains(name); }
    const QString &path() const { return m_path; }

    QByteArray entry(const QString &name)
    {
        const auto it = m_index.constFind(name);
        if (it == m_index.constEnd())
            fail(m_path, "it lacks the entry \"" + name + "\"");
        if ((m_unpacked += it->size) > m_limits.maxTotal)
            fail(m_path, QStringLiteral("it unpacks to more than allowed"));
        zip_file_t *f = zip_fopen_index(m_zip, it->index, 0);
        if (!f)
            fail(m_path, "its entry \"" + name + "\" cannot be opened (" + QString::fromUtf8(zip_strerror(m_zip)) + ")");
        QByteArray out;
        out.resize(it->size);
        qint64 got = 0;
        for (;;) {
            char spare[1];
            char *at = got < it->size ? out.data() + got : spare;
            const zip_uint64_t want = got < it->size ? zip_uint64_t(it->size - got) : 1;
            const zip_int64_t n = zip_fread(f, at, want);
            if (n < 0) {
                const QString why = QString::fromUtf8(zip_file_strerror(f));
                zip_fclose(f);
                fail(m_path, "its entry \"" + name + "\" is damaged (" + why + ")");
            }
            if (n == 0)
                break;
            got += n;
            if (got > it->size) {
                zip_fclose(f);
                fail(m_path, "its entry \"" + name + "\" is longer than it says");
            }
        }
        zip_fclose(f);
        if (got != it->size)
            fail(m_path, "its entry \"" + name + "\" is cut short");
        return out;
    }

    // zstd frames, decompressed within what the package may still unpack.
    QByteArray unzstd(const QByteArray &in, const QString &what)
    {
        ZSTD_DCtx *dctx = ZSTD_createDCtx();
        if (!dctx)
            fail(m_path, QStringLiteral("out of memory"));
        QByteArray out;
        ZSTD_inBuffer input{in.constData(), size_t(in.size()), 0};
        const qint64 budget = m_limits.maxTotal - m_unpacked;
        size_t ret = 1;
        while (input.pos < input.size || ret != 0) {
            const qint64 used = out.size();
            out.resize(used + qint64(ZSTD_DStreamOutSize()));
            ZSTD_outBuffer output{out.data() + used, ZSTD_DStreamOutSize(), 0};
            const size_t before = input.pos;
            ret = ZSTD_decompressStream(dctx, &output, &input);
            out.resize(used + qint64(output.pos));
            if (ZSTD_isError(ret)) {
                ZSTD_freeDCtx(dctx);
                fail(m_path, what + " is damaged (" + QString::fromUtf8(ZSTD_getErrorName(ret)) + ")");
            }
            if (out.size() > budget || (out.size() > m_limits.ratioFloor &&
                                        out.size() / std::max<qint64>(in.size(), 1) > m_limits.maxRatio)) {
                ZSTD_freeDCtx(dctx);
                fail(m_path, what + " is compressed beyond reason (a bomb), which is refused");
            }
            if (output.pos == 0 && input.pos == before) {
                if (input.pos >= input.size) {
                    ZSTD_freeDCtx(dctx);
                    fail(m_path, what + " is cut short");
                }
            }
        }
        ZSTD_freeDCtx(dctx);
        m_unpacked += out.size();
        return out;
    }

    // The media map: plain sound name -> entry; zstd-compressed media in the newer form.
    void setMedia(QHash<QString, QString> map, bool compressed)
    {
        m_media = std::move(map);
        m_mediaCompressed = compressed;
    }
    bool hasSound(const QString &plain) const { return m_media.contains(plain); }

    QByteArray read(const QString &plainName) override
    {
        const auto it = m_media.constFind(plainName);
        if (it == m_media.constEnd())
            fail(m_path, "it lacks the sound \"" + plainName + "\"");
        QByteArray b = entry(*it);
        if (m_mediaCompressed && isZstd(b))
            b = unzstd(b, "the sound \"" + plainName + "\"");
        return b;
    }

private:
    struct Slot {
        zip_uint64_t index;
        qint64 size;
    };
    QString m_path;
    AnkiReader::Limits m_limits;
    QByteArray m_bytes;
    zip_t *m_zip = nullptr;
    QHash<QString, Slot> m_index;
    qint64 m_unpacked = 0;
    QHash<QString, QString> m_media;
    bool m_mediaCompressed = false;
};

// Just enough protobuf for the two messages read here: fields by number, varints and bytes.
struct ProtoField {
    quint32 number = 0;
    int wire = 0;
    quint64 value = 0;
    QByteArrayView bytes;
};

bool protoNext(QByteArrayView &in, ProtoField &f)
{
    auto varint = [&](quint64 &v) {
        v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (in.isEmpty())
                return false;
            const quint8 b = quint8(in[0]);
            in = in.sliced(1);
            v |= quint64(b & 0x7f) << shift;
            if (!(b & 0x80))
                return true;
        }
        return false;
    };
    if (in.isEmpty())
        return false;
    quint64 key = 0;
    if (!varint(key))
        throw std::runtime_error("bad key");
    f.number = quint32(key >> 3);
    f.wire = int(key & 7);
    switch (f.wire) {
    case 0:
        if (!varint(f.value))
            throw std::runtime_error("bad varint");
        return true;
    case 1:
    case 5: {
        const qsizetype n = f.wire == 1 ? 8 : 4;
        if (in.size() < n)
            throw std::runtime_error("short");
        in = in.sliced(n);
        return true;
    }
    case 2: {
        quint64 len = 0;
        if (!varint(len) || len > quint64(in.size()))
            throw std::runtime_error("short");
        f.bytes = in.first(qsizetype(len));
        in = in.sliced(qsizetype(len));
        return true;
    }
    default:
        throw std::runtime_error("bad wire type");
    }
}

QHash<QString, QString> mediaMap(Package &pkg, bool *compressed)
{
    *compressed = false;
    QHash<QString, QString> out;
    if (!pkg.has(QStringLiteral("media")))
        return out;
    QByteArray raw = pkg.entry(QStringLiteral("media"));
    std::vector<std::pair<QString, QString>> pairs; // entry -> name
    if (isZstd(raw)) {
        *compressed = true;
        const QByteArray proto = pkg.unzstd(raw, QStringLiteral("the media map"));
        try {
            QByteArrayView in(proto);
            ProtoField f;
            int n = 0;
            while (protoNext(in, f)) {
                if (f.number != 1 || f.wire != 2)
                    continue;
                QByteArrayView sub = f.bytes;
                ProtoField g;
                QString name;
                QString entry = QString::number(n++);
                while (protoNext(sub, g)) {
                    if (g.number == 1 && g.wire == 2)
                        name = QString::fromUtf8(g.bytes);
                    else if (g.number == 255 && g.wire == 0)
                        entry = QString::number(g.value);
                }
                pairs.emplace_back(entry, name);
            }
        } catch (const std::runtime_error &) {
            fail(pkg.path(), QStringLiteral("its media map is damaged"));
        }
    } else if (!raw.trimmed().isEmpty()) {
        QJsonParseError err;
        const QJsonDocument doc = QJsonDocument::fromJson(raw, &err);
        if (err.error != QJsonParseError::NoError || !doc.isObject())
            fail(pkg.path(), QStringLiteral("its media map is damaged"));
        const QJsonObject o = doc.object();
        for (auto it = o.begin(); it != o.end(); ++it)
            pairs.emplace_back(it.key(), it.value().toString());
    }
    for (const auto &[entry, name] : pairs) {
        // The map may only point at files the package itself holds.
        if (!pkg.has(entry) || entry == u"media" || entry.startsWith(u"collection.") || entry == u"meta")
            fail(pkg.path(), "its media map names \"" + entry + "\", which is not a sound in the package");
        const QString plain = Vocab::plainMediaName(name);
        if (!plain.isEmpty() && !out.contains(plain))
            out.insert(plain, entry);
    }
    return out;
}

// The collection, opened read-only from memory.
class Collection {
public:
    Collection(QByteArray bytes, const QString &path) : m_bytes(std::move(bytes)), m_path(path)
    {
        if (m_bytes.size() < 100 || std::memcmp(m_bytes.constData(), "SQLite format 3\0", 16) != 0)
            fail(m_path, QStringLiteral("its collection is not an SQLite database"));
        // A collection saved in write-ahead mode reads the same once marked as a plain one.
        if (m_bytes[18] == 2 || m_bytes[19] == 2)
            m_bytes[18] = m_bytes[19] = 1;
        if (sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, nullptr) != SQLITE_OK)
            fail(m_path, QStringLiteral("SQLite cannot start"));
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        // A hostile schema may compute huge values or loop for ever: cap both.
        sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, 16 << 20);
        sqlite3_progress_handler(m_db, 10000, [](void *steps) { return ++*static_cast<int *>(steps) > 100000 ? 1 : 0; },
                                 &m_steps);
        const int rc = sqlite3_deserialize(m_db, "main", reinterpret_cast<unsigned char *>(m_bytes.data()),
                                           m_bytes.size(), m_bytes.size(),
                                           SQLITE_DESERIALIZE_READONLY);
        if (rc != SQLITE_OK)
            damaged();
    }
    ~Collection() { sqlite3_close(m_db); }

    [[noreturn]] void damaged()
    {
        fail(m_path, "its collection is damaged (" + QString::fromUtf8(sqlite3_errmsg(m_db)) + ")");
    }

    // Runs a query and hands each row to `row`.
    template <class F>
    void each(const char *sql, F row)
    {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK)
            damaged();
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            row(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            damaged();
    }

    bool hasTable(const char *name)
    {
        bool found = false;
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(m_db, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?", -1, &st,
                               nullptr) != SQLITE_OK)
            damaged();
        sqlite3_bind_text(st, 1, name, -1, SQLITE_STATIC);
        const int rc = sqlite3_step(st);
        found = rc == SQLITE_ROW;
        sqlite3_finalize(st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            damaged();
        return found;
    }

private:
    QByteArray m_bytes;
    QString m_path;
    sqlite3 *m_db = nullptr;
    int m_steps = 0;
};

QString columnText(sqlite3_stmt *st, int i)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(st, i));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(st, i)) : QString();
}

// The first [sound:…] of a note's fields; every such tag is taken out of the text.
QString takeSounds(QString &field, QString &first)
{
    static const QRegularExpression tag(QStringLiteral("\\[sound:([^\\]]*)\\]"));
    if (!field.contains(QStringLiteral("[sound:")))
        return field;
    auto it = tag.globalMatch(field);
    while (it.hasNext()) {
        const auto m = it.next();
        if (first.isEmpty())
            first = m.captured(1);
    }
    field.remove(tag);
    return field;
}

Vocabulary readCollectionOf(QByteArray colBytes, std::shared_ptr<Package> pkg, const QString &path,
                            const Vocab::ReadOptions &o);

Vocabulary readPackage(Package *pkgRaw, const QString &path, const Vocab::ReadOptions &o)
{
    std::shared_ptr<Package> pkg(pkgRaw);
    QByteArray colBytes;
    if (pkg->has(QStringLiteral("collection.anki21b")))
        colBytes = pkg->unzstd(pkg->entry(QStringLiteral("collection.anki21b")), QStringLiteral("its collection"));
    else if (pkg->has(QStringLiteral("collection.anki21")))
        colBytes = pkg->entry(QStringLiteral("collection.anki21"));
    else if (pkg->has(QStringLiteral("collection.anki2")))
        colBytes = pkg->entry(QStringLiteral("collection.anki2"));
    else
        fail(path, QStringLiteral("it holds no Anki collection"));

    bool compressedMedia = false;
    pkg->setMedia(mediaMap(*pkg, &compressedMedia), compressedMedia);
    return readCollectionOf(std::move(colBytes), std::move(pkg), path, o);
}

// The notes of a collection; sounds only when a package holds them.
Vocabulary readCollectionOf(QByteArray colBytes, std::shared_ptr<Package> pkg, const QString &path,
                            const Vocab::ReadOptions &o)
{
    Collection col(std::move(colBytes), path);
    std::unordered_map<qint64, QString> decks;
    std::unordered_map<qint64, bool> cloze;
    if (col.hasTable("decks") && col.hasTable("notetypes")) {
        col.each("SELECT id, name FROM decks", [&](sqlite3_stmt *st) {
            decks[sqlite3_column_int64(st, 0)] = columnText(st, 1).replace(QChar(0x1f), QStringLiteral("::"));
        });
        col.each("SELECT id, config FROM notetypes", [&](sqlite3_stmt *st) {
            const auto *p = static_cast<const char *>(sqlite3_column_blob(st, 1));
            QByteArrayView in(p, p ? sqlite3_column_bytes(st, 1) : 0);
            bool isCloze = false;
            try {
                ProtoField f;
                while (protoNext(in, f))
                    if (f.number == 1 && f.wire == 0)
                        isCloze = f.value == 1;
            } catch (const std::runtime_error &) {
            }
            cloze[sqlite3_column_int64(st, 0)] = isCloze;
        });
    } else {
        if (!col.hasTable("col"))
            fail(path, QStringLiteral("its collection is not an Anki collection"));
        QByteArray decksJson, modelsJson;
        col.each("SELECT decks, models FROM col LIMIT 1", [&](sqlite3_stmt *st) {
            decksJson = columnText(st, 0).toUtf8();
            modelsJson = columnText(st, 1).toUtf8();
        });
        const QJsonObject d = QJsonDocument::fromJson(decksJson).object();
        for (auto it = d.begin(); it != d.end(); ++it)
            decks[it.key().toLongLong()] = it.value().toObject().value(QStringLiteral("name")).toString();
        const QJsonObject m = QJsonDocument::fromJson(modelsJson).object();
        for (auto it = m.begin(); it != m.end(); ++it)
            cloze[it.key().toLongLong()] = it.value().toObject().value(QStringLiteral("type")).toInt() == 1;
    }
    if (!col.hasTable("notes") || !col.hasTable("cards"))
        fail(path, QStringLiteral("its collection is not an Anki collection"));

    // A note belongs to the deck of its first card (the original deck of a card lent to a
    // filtered deck).
    std::unordered_map<qint64, qint64> deckOfNote;
    col.each("SELECT nid, CASE WHEN odid != 0 THEN odid ELSE did END FROM cards ORDER BY nid, ord, id",
             [&](sqlite3_stmt *st) { deckOfNote.try_emplace(sqlite3_column_int64(st, 0), sqlite3_column_int64(st, 1)); });

    auto deckName = [&](qint64 id) {
        const auto it = decks.find(id);
        return it != decks.end() && !it->second.isEmpty() ? it->second : QStringLiteral("Default");
    };
    auto wanted = [&](const QString &name) {
        return o.deck.isEmpty() || name.compare(o.deck, Qt::CaseInsensitive) == 0 ||
               name.startsWith(o.deck + "::", Qt::CaseInsensitive);
    };
    if (!o.deck.isEmpty()) {
        bool any = false;
        QStringList names;
        for (const auto &[id, name] : decks) {
            any = any || wanted(name);
            names << name;
        }
        if (!any) {
            names.sort(Qt::CaseInsensitive);
            fail(path, "--deck " + o.deck + ": the package has no such deck (it has " + names.join(", ") + ")");
        }
    }

    Vocabulary v;
    v.path = path;
    v.sounds = pkg;
    std::unordered_map<qint64, size_t> groupOfDeck;
    const int f1 = std::max(o.field1, 1) - 1, f2 = std::max(o.field2, 1) - 1;
    col.each("SELECT id, mid, flds FROM notes ORDER BY id", [&](sqlite3_stmt *st) {
        const qint64 nid = sqlite3_column_int64(st, 0);
        const auto dit = deckOfNote.find(nid);
        const qint64 did = dit == deckOfNote.end() ? 1 : dit->second;
        const QString dname = deckName(did);
        if (!wanted(dname))
            return;
        if (const auto c = cloze.find(sqlite3_column_int64(st, 1)); c != cloze.end() && c->second) {
            ++v.skippedCloze;
            return;
        }
        const QStringList fields = columnText(st, 2).split(QChar(0x1f));
        if (fields.size() <= std::max(f1, f2)) {
            ++v.skippedShort;
            return;
        }
        QString first;
        for (QString f : fields)
            takeSounds(f, first);
        QString a = fields[f1], b = fields[f2];
        QString ignored;
        takeSounds(a, ignored);
        takeSounds(b, ignored);
        VocabEntry e;
        e.word1 = Vocab::htmlToText(a);
        e.word2 = Vocab::htmlToText(b);
        if (e.word1.isEmpty() || e.word2.isEmpty()) {
            ++v.skippedEmpty;
            return;
        }
        if (!first.isEmpty()) {
            const QString plain = Vocab::plainMediaName(Vocab::htmlToText(first));
            if (pkg && pkg->hasSound(plain))
                e.sound = plain;
            else
                ++v.missingSounds;
        }
        const qint64 key = o.deck.isEmpty() ? did : 0;
        auto [git, added] = groupOfDeck.try_emplace(key, v.groups.size());
        if (added)
            v.groups.push_back({o.deck.isEmpty() ? dname : o.deck, {}});
        v.groups[git->second].entries.push_back(std::move(e));
    });
    return v;
}

} // namespace

namespace AnkiReader {

Vocabulary readFile(const QString &path, const Vocab::ReadOptions &options, const Limits &limits)
{
    if (!QFileInfo(path).isFile())
        fail(path, QStringLiteral("cannot be read: no such file"));
    return readPackage(new Package(path, nullptr, limits), QFileInfo(path).absoluteFilePath(), options);
}

Vocabulary readBytes(const QByteArray &bytes, const QString &path, const Vocab::ReadOptions &options,
                     const Limits &limits)
{
    return readPackage(new Package(path, &bytes, limits), path, options);
}

Vocabulary readCollection(const QByteArray &sqlite, const QString &path, const Vocab::ReadOptions &options)
{
    return readCollectionOf(sqlite, nullptr, path, options);
}

} // namespace AnkiReader
