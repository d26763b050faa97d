// The catalog the window benchmarks read: the same made-up programs written to a catalog of
// the engine (with the four indexes the settings make at first) and to SQLite's table kat.
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "FileList.h"
#include "document/Catalog.h"
#include "edit/PickLists.h"
#include "engine/Table.h"

namespace bench {

inline std::string nameOf(size_t i) {
    char buf[32];
    snprintf(buf, sizeof buf, "Programm %07zu", (i * 7919) % 10000000);
    return buf;
}

// The catalog in our engine and in SQLite with the same indexes.
inline void buildCatalog(size_t count, const std::string& path, sqlite3* db) {
    mv32::engine::Table t;
    t.setTableName(path);
    mv32::document::createCatalogTable(t);
    for (int i : {0, 1, 4, 6}) {
        const auto& ix = mv32::document::kSecondaryIndexes[static_cast<size_t>(i)];
        t.addIndex(ix.name, ix.fields);
    }
    t.open();
    check(sqlite3_exec(db,
                              "CREATE TABLE kat (Name TEXT PRIMARY KEY, DatentraegerNr INTEGER,"
                              " Datentraeger TEXT, Kategorie TEXT, Gesamte_Groesse TEXT,"
                              " Freier_Speicher TEXT, Laufwerk TEXT, Label TEXT, Serien_Nr TEXT,"
                              " Memo TEXT) WITHOUT ROWID;"
                              "CREATE INDEX k1 ON kat (DatentraegerNr, Name);"
                              "CREATE INDEX k2 ON kat (Datentraeger, Name);"
                              "CREATE INDEX k3 ON kat (Freier_Speicher, Name);"
                              "CREATE INDEX k4 ON kat (Kategorie, Name); BEGIN",
                              nullptr, nullptr, nullptr),
                 db, "create");
    sqlite3_stmt* ins = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO kat VALUES (?,?,?,?,?,?,?,?,?,?)", -1, &ins,
                                    nullptr),
                 db, "prepare");
    const auto& cats = mv32::edit::builtInCategories();
    const auto& media = mv32::edit::mediumTypes();
    t.beginBulk();
    for (size_t i = 0; i < count; ++i) {
        const std::string name = nameOf(i);
        const std::string& cat = cats[i % cats.size()];
        const std::string& medium = media[i % media.size()];
        const std::string total = std::to_string(700000000 + i % 1000);
        const std::string free = std::to_string(i % 5000000);
        const std::string label = "CD" + std::to_string(i % 9000);
        t.append();
        t.setAsString("Name", name);
        t.setAsInteger("DatentraegerNr", static_cast<int64_t>(i % 30000));
        t.setAsString("Datentraeger", medium);
        t.setAsString("Kategorie", cat);
        t.setAsString("Gesamte_Groesse", total);
        t.setAsString("Freier_Speicher", free);
        t.setAsString("Laufwerk", "E");
        t.setAsString("Label", label);
        t.setAsString("Serien_Nr", "1234ABCD");
        t.post();
        sqlite3_bind_text(ins, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(ins, 2, static_cast<int64_t>(i % 30000));
        sqlite3_bind_text(ins, 3, medium.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 4, cat.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 5, total.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 6, free.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 7, "E", -1, SQLITE_STATIC);
        sqlite3_bind_text(ins, 8, label.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 9, "1234ABCD", -1, SQLITE_STATIC);
        sqlite3_bind_null(ins, 10);
        check(sqlite3_step(ins), db, "insert");
        sqlite3_reset(ins);
    }
    t.endBulk();
    t.close();
    sqlite3_finalize(ins);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
}

}  // namespace bench
