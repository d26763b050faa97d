// The catalog windows over a large catalog, through the steps a person takes in the real main
// window (offscreen, painting counted): the overview opened, sorted by category and jumped to
// a name; the category tree built; one medium removed from the file list. Each step is printed
// with SQLite's time for the same rows (the page the grid shows, every pair the tree needs, the
// medium's rows deleted) and the ratio; the removal also against one plain pass over the file
// list of our engine, and with the longest time the window went without repainting.
//
//   catalog_bench [records] [files] [folder]     defaults: 1,000,000 and 1,000,000, the temp folder
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "FileList.h"
#include "app/gui/Mavrel32Main.h"
#include "document/Catalog.h"
#include "edit/PickLists.h"
#include "engine/Table.h"

using namespace mv32;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double residentMiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

void line(const char* what, double ours, double lite) {
    printf("  %-40s %10.1f ms %10.1f ms %8.2f %9.1f MiB\n", what, ours, lite, ours / lite,
           residentMiB());
}

size_t sink = 0;  // what SQLite read, so that the reads are not left out

// SQLite running a statement to its end, reading every column of every row.
double lite(sqlite3* db, const std::string& sql) {
    auto t0 = Clock::now();
    sqlite3_stmt* s = nullptr;
    bench::check(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), db, "prepare");
    size_t bytes = 0;
    while (sqlite3_step(s) == SQLITE_ROW)
        for (int i = 0; i < sqlite3_column_count(s); ++i) {
            sqlite3_column_text(s, i);
            bytes += static_cast<size_t>(sqlite3_column_bytes(s, i));
        }
    sqlite3_finalize(s);
    sink += bytes;
    return since(t0);
}

std::string nameOf(size_t i) {
    char buf[32];
    snprintf(buf, sizeof buf, "Programm %07zu", (i * 7919) % 10000000);
    return buf;
}

// The catalog in our engine (primary index and the four indexes the settings make at first)
// and in SQLite with the same indexes.
void buildCatalog(size_t count, const std::string& path, sqlite3* db) {
    engine::Table t;
    t.setTableName(path);
    document::createCatalogTable(t);
    for (int i : {0, 1, 4, 6}) {
        const auto& ix = document::kSecondaryIndexes[static_cast<size_t>(i)];
        t.addIndex(ix.name, ix.fields);
    }
    t.open();
    bench::check(sqlite3_exec(db,
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
    bench::check(sqlite3_prepare_v2(db, "INSERT INTO kat VALUES (?,?,?,?,?,?,?,?,?,?)", -1, &ins,
                                    nullptr),
                 db, "prepare");
    const auto& cats = edit::builtInCategories();
    const auto& media = edit::mediumTypes();
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
        bench::check(sqlite3_step(ins), db, "insert");
        sqlite3_reset(ins);
    }
    t.endBulk();
    t.close();
    sqlite3_finalize(ins);
    bench::check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
}

// Repaints: the longest time the window went without handling its events.
struct RepaintWatch {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0, worst = 0;
    RepaintWatch() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            worst = std::max(worst, now - last);
            last = now;
        });
    }
    void start() {
        clock.start();
        last = 0;
        worst = 0;
        timer.start(5);
    }
    qint64 stop() {
        worst = std::max(worst, clock.elapsed() - last);
        timer.stop();
        return worst;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const size_t records = argc > 1 ? std::stoul(argv[1]) : 1000000;
    const size_t files = argc > 2 ? std::stoul(argv[2]) : 1000000;
    const std::string base = argc > 3 ? argv[3] : std::filesystem::temp_directory_path().string();
    const std::string dir = base + "/mv32catbench";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    sqlite3* db = nullptr;
    bench::check(sqlite3_open((dir + "/bench.sqlite").c_str(), &db), db, "open");
    bench::check(sqlite3_exec(db, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr), db,
                 "pragma");

    auto t0 = Clock::now();
    buildCatalog(records, dir + "/kat.db", db);
    bench::buildFileList(files, dir, db);
    printf("Daten: %zu Katalogsätze, %zu Dateien (aufgebaut in %.1f s)\n\n", records, files,
           since(t0) / 1e3);

    app::TMavrel32Main::Options o;
    o.programFile = QCoreApplication::applicationFilePath().toStdString();
    o.programDir = dir + "/";
    o.store = std::make_unique<document::MemorySettingsStore>();
    o.writeShellEntries = false;
    app::TMavrel32Main w(std::move(o));
    w.show();
    w.grab();
    w.document().openLastFile(dir + "/kat.db");
    if (!w.document().state().CatalogOpen) {
        fprintf(stderr, "Der Katalog ließ sich nicht öffnen.\n");
        return 2;
    }
    printf("  %-40s %13s %13s %8s %13s\n", "", "mv32", "SQLite", "Verh.", "Speicher");
    const double before = residentMiB();

    // The overview.
    t0 = Clock::now();
    w.UebersichtBtnClick();
    auto* overview = w.overviewWindow();
    overview->grab();
    const int page = 25;
    line("Übersicht öffnen, erste Seite", since(t0),
         lite(db, "SELECT * FROM kat ORDER BY Name LIMIT " + std::to_string(page)));
    QAction* byCategory = w.findChild<QAction*>("KategorieIndexItem");
    t0 = Clock::now();
    byCategory->trigger();
    overview->grab();
    line("sortieren nach Kategorie", since(t0),
         lite(db, "SELECT * FROM kat ORDER BY Kategorie, Name LIMIT " + std::to_string(page)));
    w.findChild<QAction*>("Name1")->trigger();
    auto* jump = overview->findChild<QLineEdit*>("Springen");
    const std::string target = nameOf(records / 2);
    t0 = Clock::now();
    jump->setText(QString::fromStdString(target));
    overview->grab();
    line("springen zu einem Namen", since(t0),
         lite(db, "SELECT * FROM kat WHERE Name >= '" + target + "' ORDER BY Name LIMIT " +
                      std::to_string(page)));
    printf("  %-40s %10.1f MiB mehr\n", "Speicher der Übersicht", residentMiB() - before);
    overview->close();

    // The category tree.
    w.UebersichtItemClick();
    auto* tree = w.treeWindow();
    t0 = Clock::now();
    tree->findChild<QPushButton*>("RefreshBtn")->click();
    tree->grab();
    line("Baum aufbauen (Aktualisieren)", since(t0),
         lite(db, "SELECT Kategorie, Name FROM kat WHERE Kategorie <> '' ORDER BY Kategorie "
                  "COLLATE NOCASE, Name"));
    printf("  %-40s %d Kategorien\n", "", tree->model().rowCount());
    tree->hide();

    // One medium removed from the file list, against one plain pass over it.
    std::string label, serial;
    {
        engine::Table list;
        list.setTableName(dir + "/mv32list.db");
        list.open();
        list.moveTo(list.recordCount() / 2);
        label = list.displayText("Label");
        serial = list.displayText("VolID");
        t0 = Clock::now();
        int64_t n = 0;
        for (list.first(); !list.eof(); list.next())
            n += list.displayText("VolID") == serial ? 1 : 0;
        const double pass = since(t0);
        printf("  %-40s %10.1f ms (%lld Dateien des Datenträgers %s %s)\n",
               "ein Durchgang durch die Dateiliste", pass, static_cast<long long>(n),
               label.c_str(), serial.c_str());
    }
    std::ofstream(dir + "/mv32list.chk", std::ios::binary) << label << serial << "\r\n";
    w.Entfernen1Click();
    auto* removal = w.removalWindow();
    removal->list()->setCurrentRow(0);
    RepaintWatch watch;
    watch.start();
    t0 = Clock::now();
    removal->findChild<QPushButton*>("deletebtn")->click();
    const double ours = since(t0);
    const qint64 gap = watch.stop();
    auto tl = Clock::now();
    bench::check(sqlite3_exec(db,
                              ("DELETE FROM mv32list WHERE VolID = '" + serial + "' AND Label = '" +
                               label + "'")
                                  .c_str(),
                              nullptr, nullptr, nullptr),
                 db, "delete");
    line("Datenträger entfernen", ours, since(tl));
    printf("  %-40s %10lld ms\n", "   längste Zeit ohne Neuzeichnen", static_cast<long long>(gap));

    sqlite3_close(db);
    printf("(%zu Bytes von SQLite gelesen)\n", sink);
    if (!getenv("MV32_BENCH_KEEP")) std::filesystem::remove_all(dir);
    return 0;
}
