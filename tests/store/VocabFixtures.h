// Anki packages and KVTML files made on the spot for the vocabulary tests and the benchmark:
// collections written by SQLite, containers by libzip, the newer forms compressed by libzstd.
#pragma once

#include <QByteArray>
#include <QString>

#include <sqlite3.h>
#include <zip.h>
#include <zstd.h>

#include <string>
#include <utility>
#include <vector>

namespace fixtures {

struct Note {
    qint64 deck = 1;
    QString fields; // joined with \x1f
    qint64 model = 1;
};

enum class Collection { Anki2, Anki21, Anki21b };

inline void exec(sqlite3 *db, const std::string &sql)
{
    char *msg = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
        std::string m = msg ? msg : "?";
        sqlite3_free(msg);
        throw std::runtime_error(m + " in " + sql);
    }
}

inline QByteArray zstd(const QByteArray &in)
{
    QByteArray out;
    out.resize(qsizetype(ZSTD_compressBound(size_t(in.size()))));
    const size_t n = ZSTD_compress(out.data(), size_t(out.size()), in.constData(), size_t(in.size()), 3);
    out.resize(qsizetype(n));
    return out;
}

// A collection: schema 11 with JSON decks and models in `col` (Anki2, Anki21), or the newer one
// with tables decks and notetypes (Anki21b, which the package stores zstd-compressed).
// Model 1 is a basic type, model 2 a cloze type. Decks: id and full name ("A::B").
inline QByteArray collection(Collection form, const std::vector<std::pair<qint64, QString>> &decks,
                             const std::vector<Note> &notes)
{
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    exec(db, "CREATE TABLE col (id integer primary key, crt integer, mod integer, scm integer, ver integer,"
             " dty integer, usn integer, ls integer, conf text, models text, decks text, dconf text, tags text)");
    exec(db, "CREATE TABLE notes (id integer primary key, guid text, mid integer, mod integer, usn integer,"
             " tags text, flds text, sfld integer, csum integer, flags integer, data text)");
    exec(db, "CREATE TABLE cards (id integer primary key, nid integer, did integer, ord integer, mod integer,"
             " usn integer, type integer, queue integer, due integer, ivl integer, factor integer,"
             " reps integer, lapses integer, left integer, odue integer, odid integer, flags integer, data text)");
    const bool newer = form == Collection::Anki21b;
    sqlite3_stmt *st = nullptr;
    if (newer) {
        exec(db, "CREATE TABLE decks (id integer primary key, name text, mtime_secs integer, usn integer,"
                 " common blob, kind blob)");
        exec(db, "CREATE TABLE notetypes (id integer primary key, name text, mtime_secs integer, usn integer,"
                 " config blob)");
        exec(db, "INSERT INTO col VALUES (1,0,0,0,18,0,0,0,'','','','','')");
        // config field 1 (kind) = 1 marks the cloze type.
        exec(db, "INSERT INTO notetypes VALUES (1,'Basic',0,0,x'1a0474657374'),(2,'Cloze',0,0,x'08011a00')");
        sqlite3_prepare_v2(db, "INSERT INTO decks VALUES (?,?,0,0,x'',x'')", -1, &st, nullptr);
        for (const auto &[id, name] : decks) {
            QString n = name;
            n.replace(QStringLiteral("::"), QChar(0x1f));
            const QByteArray u = n.toUtf8();
            sqlite3_bind_int64(st, 1, id);
            sqlite3_bind_text(st, 2, u.constData(), int(u.size()), SQLITE_TRANSIENT);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
    } else {
        std::string d = "{";
        for (const auto &[id, name] : decks) {
            if (d.size() > 1)
                d += ",";
            d += "\"" + std::to_string(id) + "\":{\"id\":" + std::to_string(id) + ",\"name\":\"" +
                 name.toStdString() + "\"}";
        }
        d += "}";
        const std::string m = "{\"1\":{\"id\":1,\"name\":\"Basic\",\"type\":0},\"2\":{\"id\":2,\"name\":\"Cloze\",\"type\":1}}";
        sqlite3_prepare_v2(db, "INSERT INTO col VALUES (1,0,0,0,11,0,0,0,'{}',?,?,'{}','{}')", -1, &st, nullptr);
        sqlite3_bind_text(st, 1, m.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, d.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_finalize(st);
    }
    exec(db, "BEGIN");
    sqlite3_stmt *ns = nullptr, *cs = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO notes VALUES (?,'g',?,0,0,'',?,0,0,0,'')", -1, &ns, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO cards VALUES (?,?,?,0,0,0,0,0,0,0,0,0,0,0,0,0,0,'')", -1, &cs, nullptr);
    qint64 id = 1000;
    for (const Note &n : notes) {
        ++id;
        const QByteArray f = n.fields.toUtf8();
        sqlite3_bind_int64(ns, 1, id);
        sqlite3_bind_int64(ns, 2, n.model);
        sqlite3_bind_text(ns, 3, f.constData(), int(f.size()), SQLITE_TRANSIENT);
        sqlite3_step(ns);
        sqlite3_reset(ns);
        sqlite3_bind_int64(cs, 1, id + 500000);
        sqlite3_bind_int64(cs, 2, id);
        sqlite3_bind_int64(cs, 3, n.deck);
        sqlite3_step(cs);
        sqlite3_reset(cs);
    }
    sqlite3_finalize(ns);
    sqlite3_finalize(cs);
    exec(db, "COMMIT");
    sqlite3_int64 size = 0;
    unsigned char *bytes = sqlite3_serialize(db, "main", &size, 0);
    QByteArray out(reinterpret_cast<const char *>(bytes), qsizetype(size));
    sqlite3_free(bytes);
    sqlite3_close(db);
    return newer ? zstd(out) : out;
}

inline QString collectionName(Collection form)
{
    switch (form) {
    case Collection::Anki2: return QStringLiteral("collection.anki2");
    case Collection::Anki21: return QStringLiteral("collection.anki21");
    default: return QStringLiteral("collection.anki21b");
    }
}

// The media map in its JSON form ({"0": "a.mp3"}) or its newer one (protobuf, zstd).
inline QByteArray mediaMap(const std::vector<QString> &names, bool newer)
{
    if (!newer) {
        std::string j = "{";
        for (size_t i = 0; i < names.size(); ++i)
            j += (i ? ",\"" : "\"") + std::to_string(i) + "\":\"" + names[i].toStdString() + "\"";
        return QByteArray::fromStdString(j + "}");
    }
    QByteArray proto;
    for (const QString &n : names) {
        const QByteArray name = n.toUtf8();
        QByteArray entry;
        entry += char(0x0a);
        entry += char(name.size());
        entry += name;
        entry += char(0x10);
        entry += char(1);
        proto += char(0x0a);
        proto += char(entry.size());
        proto += entry;
    }
    return zstd(proto);
}

struct Entry {
    std::string name;
    QByteArray bytes;
    bool stored = false; // not compressed
};

inline bool writeZip(const QString &path, const std::vector<Entry> &entries)
{
    int err = 0;
    zip_t *za = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!za)
        return false;
    for (const Entry &e : entries) {
        zip_source_t *s = zip_source_buffer(za, e.bytes.constData(), zip_uint64_t(e.bytes.size()), 0);
        const zip_int64_t i = zip_file_add(za, e.name.c_str(), s, ZIP_FL_ENC_UTF_8);
        if (i < 0) {
            zip_source_free(s);
            zip_discard(za);
            return false;
        }
        zip_set_file_compression(za, zip_uint64_t(i), e.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
    }
    return zip_close(za) == 0;
}

// A package: collection, media map and the sounds as entries "0", "1", … (zstd-compressed in
// the newer form, as Anki writes them).
inline std::vector<Entry> package(Collection form, const std::vector<std::pair<qint64, QString>> &decks,
                                  const std::vector<Note> &notes,
                                  const std::vector<std::pair<QString, QByteArray>> &sounds)
{
    const bool newer = form == Collection::Anki21b;
    std::vector<Entry> e;
    e.push_back({collectionName(form).toStdString(), collection(form, decks, notes)});
    if (newer) // Anki leaves an old-style collection beside the new one for older versions
        e.push_back({"collection.anki2", collection(Collection::Anki2, {{1, "Default"}}, {})});
    std::vector<QString> names;
    for (size_t i = 0; i < sounds.size(); ++i) {
        names.push_back(sounds[i].first);
        e.push_back({std::to_string(i), newer ? zstd(sounds[i].second) : sounds[i].second, true});
    }
    e.push_back({"media", mediaMap(names, newer)});
    return e;
}

} // namespace fixtures
