// Benchmark of the local SQL against SQLite, on the same data in the same run.
//
//   1. The file search over the file list (default 1,000,000 files): the statement the file
//      search window builds for "readme", unsorted and sorted by name; every row of the result
//      is read with all its columns.
//   2. Opening a result of every file list record and going to row 500,000, as a grid does.
//   3. Full searches with three criteria over a catalog (default 100,000 records) with the
//      program's default secondary indexes; every row of the result is read.
// Each statement runs three times; the best time counts. Both engines get a 64 MiB page cache.
// Usage: sql_bench [files] [catalog records] [folder]
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "FileList.h"
#include "engine/Query.h"
#include "engine/Table.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace mv32::engine;
using bench::buildFileList;
using bench::check;

double best(const std::function<void()>& f) {
    double b = 1e9;
    for (int i = 0; i < 3; ++i) {
        auto t0 = Clock::now();
        f();
        b = std::min(b, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return b;
}

// --- The data -------------------------------------------------------------------------------

void buildCatalog(size_t count, const std::string& dir, sqlite3* db) {
    static const char* kMedien[] = {"CD-R",       "CDROM", "Diskette", "DVD",
                                    "Festplatte", "ZIP",   "Streamer", "Netzwerk"};
    static const char* kKategorien[] = {"Spiele",  "Büro",      "Grafik",     "Musik",
                                        "Treiber", "Internet",  "Lernen",     "Sicherung",
                                        "Fotos",   "Werkzeuge", "Demos",      "Shareware",
                                        "Video",   "Sprache",   "Zeitschrift"};
    static const char* kWoerter[] = {"Super",  "Mega",   "Office", "Paint",  "Disk",
                                     "Tool",   "Abc",    "Karten", "Mail",   "Web",
                                     "Norton", "Flight", "Sim",    "Pro",    "Lexikon",
                                     "Atlas",  "Über",   "Schach", "Tetris", "Zip"};
    Table t;
    t.setDirectory(dir);
    t.setTableName("cat.db");
    t.setFieldDefs({{"Name", FieldType::Text, 255},
                    {"DatentraegerNr", FieldType::Int16, 0},
                    {"Datentraeger", FieldType::Text, 255},
                    {"Label", FieldType::Text, 11},
                    {"Gesamte_Groesse", FieldType::Text, 255},
                    {"Freier_Speicher", FieldType::Text, 255},
                    {"Kategorie", FieldType::Text, 255},
                    {"Memo", FieldType::Memo, 0}});
    t.createTable();
    t.addIndex("", "Name");
    t.addIndex("DatentraegerNrIndex", "DatentraegerNr;Name");
    t.addIndex("DatentraegerIndex", "Datentraeger;Name");
    t.addIndex("Freier_SpeicherIndex", "Freier_Speicher;Name");
    t.addIndex("KategorieIndex", "Kategorie;Name");
    t.open();
    check(sqlite3_exec(db,
                       "CREATE TABLE cat (Name TEXT PRIMARY KEY, DatentraegerNr INTEGER,"
                       " Datentraeger TEXT, Label TEXT, Gesamte_Groesse TEXT, Freier_Speicher TEXT,"
                       " Kategorie TEXT, Memo TEXT);"
                       "CREATE INDEX DatentraegerNrIndex ON cat (DatentraegerNr, Name);"
                       "CREATE INDEX DatentraegerIndex ON cat (Datentraeger, Name);"
                       "CREATE INDEX Freier_SpeicherIndex ON cat (Freier_Speicher, Name);"
                       "CREATE INDEX KategorieIndex ON cat (Kategorie, Name);"
                       "BEGIN",
                       nullptr, nullptr, nullptr),
          db, "create catalog");
    sqlite3_stmt* ins = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO cat VALUES (?,?,?,?,?,?,?,?)", -1, &ins, nullptr), db,
          "prepare");
    std::mt19937_64 rng(4711);
    t.beginBulk();
    for (size_t i = 0; i < count; ++i) {
        std::string name = std::string(kWoerter[rng() % 20]) + " " + kWoerter[rng() % 20] + " " +
                           std::to_string(i);
        int nr = static_cast<int>(1 + rng() % 2000);
        std::string medium = kMedien[rng() % 8];
        std::string total = std::to_string(rng() % 5000000000ULL);
        std::string freeSpace = std::to_string(rng() % 700000000ULL);
        std::string kategorie = kKategorien[rng() % 15];
        std::string memo = "Beschreibung " + name + " für " + kategorie;
        t.append();
        t.setAsString("Name", name);
        t.setAsInteger("DatentraegerNr", nr);
        t.setAsString("Datentraeger", medium);
        t.setAsString("Label", "CD" + std::to_string(nr));
        t.setAsString("Gesamte_Groesse", total);
        t.setAsString("Freier_Speicher", freeSpace);
        t.setAsString("Kategorie", kategorie);
        t.setAsString("Memo", memo);
        t.post();
        std::string label = "CD" + std::to_string(nr);
        const std::string* texts[] = {&name,      &medium,    &label, &total,
                                      &freeSpace, &kategorie, &memo};
        int cols[] = {1, 3, 4, 5, 6, 7, 8};
        for (int k = 0; k < 7; ++k) {
            sqlite3_bind_text(ins, cols[k], texts[k]->data(), static_cast<int>(texts[k]->size()),
                              SQLITE_TRANSIENT);
        }
        sqlite3_bind_int(ins, 2, nr);
        check(sqlite3_step(ins), db, "insert");
        sqlite3_reset(ins);
    }
    t.endBulk();
    sqlite3_finalize(ins);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
}

// --- Running a statement ------------------------------------------------------------------

struct Run {
    int64_t rows = 0;
    size_t bytes = 0;  // of every value read, so that both read everything
};

Run runOurs(Query& q, const std::string& statement, std::string* plan = nullptr) {
    q.setSql(statement);
    q.open();
    if (plan) *plan = q.plan();
    Run r;
    for (q.first(); !q.eof(); q.next()) {
        ++r.rows;
        for (int i = 0; i < q.fieldCount(); ++i) r.bytes += q.displayText(i).size();
    }
    return r;
}

Run runSqlite(sqlite3* db, const std::string& statement) {
    sqlite3_stmt* s = nullptr;
    check(sqlite3_prepare_v2(db, statement.c_str(), -1, &s, nullptr), db, "prepare");
    Run r;
    int columns = sqlite3_column_count(s);
    while (sqlite3_step(s) == SQLITE_ROW) {
        ++r.rows;
        for (int i = 0; i < columns; ++i) {
            sqlite3_column_text(s, i);
            r.bytes += static_cast<size_t>(sqlite3_column_bytes(s, i));
        }
    }
    sqlite3_finalize(s);
    return r;
}

void row(const char* what, double ours, double lite) {
    printf("%-58s %10.1f ms %10.1f ms %8.2f\n", what, ours * 1e3, lite * 1e3, ours / lite);
}

void compare(const char* what, Query& q, sqlite3* db, const std::string& ours,
             const std::string& lite) {
    Run a, b;
    std::string plan;
    double ta = best([&] { a = runOurs(q, ours, &plan); });
    double tb = best([&] { b = runSqlite(db, lite); });
    row(what, ta, tb);
    printf("%-58s %lld Zeilen (%s)%s\n", "", static_cast<long long>(a.rows), plan.c_str(),
           a.rows == b.rows ? "" : "  ABWEICHUNG zu SQLite!");
    if (a.rows != b.rows) printf("   SQLite: %lld Zeilen\n", static_cast<long long>(b.rows));
}

}  // namespace

int main(int argc, char** argv) {
    size_t files = argc > 1 ? std::stoul(argv[1]) : 1000000;
    size_t records = argc > 2 ? std::stoul(argv[2]) : 100000;
    std::string base = argc > 3 ? argv[3] : std::filesystem::temp_directory_path().string();
    std::string dir = base + "/mv32sqlbench";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    sqlite3* db = nullptr;
    check(sqlite3_open((dir + "/bench.sqlite").c_str(), &db), db, "open");
    check(sqlite3_exec(db, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr), db, "pragma");

    auto t0 = Clock::now();
    buildFileList(files, dir, db);
    buildCatalog(records, dir, db);
    printf("Daten: %zu Dateien, %zu Katalogsätze (aufgebaut in %.1f s)\n\n", files, records,
           std::chrono::duration<double>(Clock::now() - t0).count());
    printf("%-58s %13s %13s %8s\n", "", "mv32", "SQLite", "mv32/SQLite");

    // As in the program, the searches read through the open tables (the file search window
    // holds the file list, the main window the catalog), like SQLite's open connection.
    Table list, cat;
    list.setDirectory(dir);
    list.setTableName("mv32list");
    list.open();
    cat.setDirectory(dir);
    cat.setTableName("cat.db");
    cat.open();
    Query q;
    q.setDirectory(dir);
    q.useTable(list);
    q.useTable(cat);

    const std::string search = "SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"%README%\")";
    compare("1a) Dateisuche \"readme\"", q, db, search, search);
    compare("1b) Dateisuche \"readme\", ORDER BY Dateiname", q, db, search + " ORDER BY Dateiname",
            search + " ORDER BY Dateiname");

    // A grid opens the whole list and shows the rows around row 500,000.
    auto gridOurs = [&](const std::string& statement) {
        q.setSql(statement);
        q.open();
        q.moveTo(500000);
        for (int i = 0; i < 30 && !q.eof(); ++i, q.next()) {
            for (int c = 0; c < q.fieldCount(); ++c) q.displayText(c);
        }
    };
    auto gridLite = [&](const std::string& statement) {
        runSqlite(db, statement + " LIMIT 30 OFFSET 499999");
    };
    row("2a) SELECT * FROM mv32list, Zeile 500.000 zeigen",
        best([&] { gridOurs("SELECT * FROM mv32list"); }),
        best([&] { gridLite("SELECT * FROM mv32list"); }));
    row("2b) ... WHERE Groesse >= 0, Zeile 500.000 zeigen",
        best([&] { gridOurs("SELECT * FROM mv32list WHERE Groesse >= 0"); }),
        best([&] { gridLite("SELECT * FROM mv32list WHERE Groesse >= 0"); }));

    compare(
        "3a) große Suche: Name, Kategorie, Datenträger", q, db,
        "SELECT * FROM cat.db where Upper(Name) like Upper(\"%abc%\") and "
        "Upper(Kategorie) like Upper(\"%spiele%\") and Upper(Datentraeger) like Upper(\"%cd%\")",
        "SELECT * FROM cat where Upper(Name) like Upper('%abc%') and "
        "Upper(Kategorie) like Upper('%spiele%') and Upper(Datentraeger) like Upper('%cd%')");
    compare("3b) große Suche: Name, Datenträger-Nr., Kategorie", q, db,
            "SELECT * FROM cat.db where Upper(Name) like Upper(\"%o%\") and DatentraegerNr=\"12\" "
            "and Upper(Kategorie) like Upper(\"%e%\")",
            "SELECT * FROM cat where Upper(Name) like Upper('%o%') and DatentraegerNr='12' "
            "and Upper(Kategorie) like Upper('%e%')");
    compare("3c) Bereichssuche 100 bis 300, CD", q, db,
            "SELECT * FROM cat.db where DatentraegerNr>=\"100\" and DatentraegerNr<=\"300\" and "
            "Upper(Datentraeger) like Upper(\"%CD%\")",
            "SELECT * FROM cat where DatentraegerNr>='100' and DatentraegerNr<='300' and "
            "Upper(Datentraeger) like Upper('%CD%')");
    q.close();
    list.close();
    cat.close();
    sqlite3_close(db);
    if (!getenv("MV32_BENCH_KEEP")) std::filesystem::remove_all(dir);
    return 0;
}
