// The SQLite half of the benchmark: a table with the dictionary's columns and an index for each
// of the four tags, autocommit (every insert its own transaction) and synchronous=OFF, the
// settings closest to what the engine does (every Post reaches the file, nothing is fsynced).
#pragma once

#include "Workload.h"

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <string>

class SqliteSide {
public:
    explicit SqliteSide(const Workload &w)
        : w_(w), base_((w.folder / "sqlite-base.db").string()), work_((w.folder / "sqlite-work.db").string()),
          copy_((w.folder / "sqlite-copy.db").string())
    {
        // The base database, built once in one transaction, for the read-only operations.
        std::filesystem::remove(base_);
        db_ = open(base_);
        exec("CREATE TABLE words(" + columns() + ")");
        exec("BEGIN");
        insertAll();
        exec("COMMIT");
        createIndexes();
        close();
    }
    ~SqliteSide() { close(); }

    void prepareEmptyWithIndexes()
    {
        close();
        std::filesystem::remove(work_);
        db_ = open(work_);
        exec("CREATE TABLE words(" + columns() + ")");
        createIndexes();
    }
    void appendAll()
    {
        insertAll();
        close();
    }

    void prepareWithoutIndexes()
    {
        close();
        std::filesystem::remove(work_);
        db_ = open(work_);
        exec("CREATE TABLE words(" + columns() + ")");
        exec("BEGIN");
        insertAll();
        exec("COMMIT");
    }
    void buildIndexes() { createIndexes(); }

    void openBase()
    {
        if (db_ && current_ == base_)
            return;
        close();
        db_ = open(base_);
    }
    void closeBase() { close(); }

    int64_t countAll() { return scalar("SELECT count(*) FROM words"); }
    int64_t countHalf() { return scalar("SELECT count(*) FROM words WHERE inrow < 2"); }

    int64_t walkWord1()
    {
        sqlite3_stmt *st = prepare("SELECT word1 FROM words ORDER BY word1");
        int64_t n = 0;
        size_t bytes = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            bytes += size_t(sqlite3_column_bytes(st, 0));
            ++n;
        }
        sqlite3_finalize(st);
        return bytes ? n : 0;
    }

    int64_t locateAll()
    {
        sqlite3_stmt *st = prepare("SELECT rowid FROM words WHERE word1 = ? ORDER BY rowid LIMIT 1");
        int64_t found = 0;
        for (const std::string &word : w_.lookups) {
            sqlite3_bind_text(st, 1, word.data(), int(word.size()), SQLITE_STATIC);
            if (sqlite3_step(st) == SQLITE_ROW)
                ++found;
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        return found;
    }

    void removeCopy() { std::filesystem::remove(copy_); }
    void copyTo()
    {
        // A new file holding the rows in the current (MISS) order, without indexes, as CopyTo does.
        exec("ATTACH '" + copy_ + "' AS copy");
        exec("CREATE TABLE copy.words AS SELECT * FROM main.words ORDER BY miss");
        exec("DETACH copy");
    }

    // Opening as above, then counting the rows: what showing a dictionary's size costs.
    int64_t openCounted()
    {
        openChecked();
        return countAll();
    }

    // Opening with the tag check: open the file and go to the last row in each index's order.
    void openChecked()
    {
        db_ = open(base_);
        for (const char *q : {"SELECT rowid FROM words INDEXED BY word1 ORDER BY word1 DESC LIMIT 1",
                              "SELECT rowid FROM words INDEXED BY word2 ORDER BY word2 DESC LIMIT 1",
                              "SELECT rowid FROM words INDEXED BY miss ORDER BY miss DESC LIMIT 1",
                              "SELECT rowid FROM words INDEXED BY kbmiss ORDER BY kbmiss DESC LIMIT 1"})
            scalar(q);
    }

private:
    static std::string columns()
    {
        return "word1 TEXT, word2 TEXT, transcript TEXT, miss INTEGER, kbmiss INTEGER, inrow INTEGER, "
               "kbinrow INTEGER, wavfile TEXT, wavstart INTEGER, wavend INTEGER";
    }

    sqlite3 *open(const std::string &path)
    {
        sqlite3 *db = nullptr;
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
            throw std::runtime_error("sqlite open " + path);
        current_ = path;
        sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
        return db;
    }
    void close()
    {
        if (db_)
            sqlite3_close(db_);
        db_ = nullptr;
        current_.clear();
    }
    void exec(const std::string &sql)
    {
        char *err = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            const std::string msg = err ? err : "?";
            sqlite3_free(err);
            throw std::runtime_error("sqlite: " + msg + " in " + sql);
        }
    }
    sqlite3_stmt *prepare(const char *sql)
    {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("sqlite prepare: ") + sqlite3_errmsg(db_));
        return st;
    }
    int64_t scalar(const char *sql)
    {
        sqlite3_stmt *st = prepare(sql);
        int64_t v = -1;
        if (sqlite3_step(st) == SQLITE_ROW)
            v = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        return v;
    }
    void createIndexes()
    {
        exec("CREATE INDEX miss ON words(miss)");
        exec("CREATE INDEX kbmiss ON words(kbmiss)");
        exec("CREATE INDEX word1 ON words(word1)");
        exec("CREATE INDEX word2 ON words(word2)");
    }
    void insertAll()
    {
        sqlite3_stmt *st = prepare("INSERT INTO words VALUES(?,?,?,?,?,?,?,?,?,?)");
        for (const BenchWord &b : w_.words) {
            sqlite3_bind_text(st, 1, b.word1.data(), int(b.word1.size()), SQLITE_STATIC);
            sqlite3_bind_text(st, 2, b.word2.data(), int(b.word2.size()), SQLITE_STATIC);
            sqlite3_bind_text(st, 3, b.transcript.data(), int(b.transcript.size()), SQLITE_STATIC);
            sqlite3_bind_int(st, 4, b.miss);
            sqlite3_bind_int(st, 5, b.kbMiss);
            sqlite3_bind_int(st, 6, b.inRow);
            sqlite3_bind_int(st, 7, b.kbInRow);
            sqlite3_bind_text(st, 8, b.wavFile.data(), int(b.wavFile.size()), SQLITE_STATIC);
            sqlite3_bind_int64(st, 9, b.wavStart);
            sqlite3_bind_int64(st, 10, b.wavEnd);
            if (sqlite3_step(st) != SQLITE_DONE)
                throw std::runtime_error(std::string("sqlite insert: ") + sqlite3_errmsg(db_));
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
    }

    const Workload &w_;
    std::string base_, work_, copy_, current_;
    sqlite3 *db_ = nullptr;
};
