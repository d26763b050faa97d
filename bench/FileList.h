// The file list the SQL and grid benchmarks read: the same made-up files written to a table of
// the engine and to SQLite, so both answer the same statements over the same rows.
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "FileListTable.h"
#include "FileWalk.h"
#include "engine/Table.h"

namespace bench {

inline void check(int rc, sqlite3* db, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        fprintf(stderr, "SQLite %s: %s\n", what, sqlite3_errmsg(db));
        exit(2);
    }
}

// Empties `dir` (made where missing) and opens SQLite's database in it with a 64 MiB page
// cache, the engine's default.
inline sqlite3* freshFolder(const std::string& dir) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    sqlite3* db = nullptr;
    check(sqlite3_open((dir + "/bench.sqlite").c_str(), &db), db, "open");
    check(sqlite3_exec(db, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr), db, "pragma");
    return db;
}

// Writes `count` files to the table mv32list in `dir` and to the same table in SQLite.
inline void buildFileList(size_t count, const std::string& dir, sqlite3* db) {
    using namespace mv32::engine;
    Table t;
    bench::createFileList(t, dir, "mv32list");
    check(sqlite3_exec(db,
                       "CREATE TABLE mv32list (Verzeichnis TEXT, Dateiname TEXT, Erweiterung TEXT,"
                       " Groesse INTEGER, Label TEXT, VolID TEXT, PRIMARY KEY (Verzeichnis,"
                       " Dateiname, Erweiterung, Groesse, Label, VolID)) WITHOUT ROWID;"
                       "BEGIN",
                       nullptr, nullptr, nullptr),
          db, "create");
    sqlite3_stmt* ins = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO mv32list VALUES (?,?,?,?,?,?)", -1, &ins,
                             nullptr),
          db, "prepare");
    t.beginBulk();
    FileWalk walk(count);
    FileRecord f;
    while (walk.next(f)) {
        if (!t.locate(kFileListKey, {f.dir, f.name, f.ext, f.size, f.label, f.volid})) {
            t.append();
            t.setAsString("Verzeichnis", f.dir);
            t.setAsString("Dateiname", f.name);
            t.setAsString("Erweiterung", f.ext);
            t.setAsInteger("Groesse", f.size);
            t.setAsString("Label", f.label);
            t.setAsString("VolID", f.volid);
            t.post();
        }
        sqlite3_bind_text(ins, 1, f.dir.data(), static_cast<int>(f.dir.size()), SQLITE_STATIC);
        sqlite3_bind_text(ins, 2, f.name.data(), static_cast<int>(f.name.size()), SQLITE_STATIC);
        sqlite3_bind_text(ins, 3, f.ext.data(), static_cast<int>(f.ext.size()), SQLITE_STATIC);
        sqlite3_bind_int64(ins, 4, f.size);
        sqlite3_bind_text(ins, 5, f.label.data(), static_cast<int>(f.label.size()), SQLITE_STATIC);
        sqlite3_bind_text(ins, 6, f.volid.data(), static_cast<int>(f.volid.size()), SQLITE_STATIC);
        check(sqlite3_step(ins), db, "insert");
        sqlite3_reset(ins);
    }
    t.endBulk();
    sqlite3_finalize(ins);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    // As every scan leaves the file list: with the trigram index of its names, which the file
    // search reads.
    t.close();
    t.setExclusive(true);
    t.open();
    t.buildTrigramIndex("Dateiname");
    t.close();
}

}  // namespace bench
