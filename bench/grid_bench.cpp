// Benchmark of the record grid over a million records, against SQLite in the same run.
//
// Two grids as the file search window shows them: over the file list itself (a table) and
// over the result of "SELECT * FROM mv32list WHERE Groesse >= 0" (every file). Each goes
// through the steps a person takes: open the grid and see its first page, jump to the middle
// row, to the last one (the navigator's button), then press Page Up 100 times. A step's time
// includes painting the grid (offscreen); SQLite's column only reads the rows that page shows,
// with the same statement and LIMIT and OFFSET (the last page at a known offset). The memory
// is the process's resident size after the step.
// Usage: grid_bench [files] [folder]
#include <QApplication>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "FileList.h"
#include "Timing.h"
#include "document/DataSource.h"
#include "document/gui/RecordGrid.h"
#include "engine/Query.h"
#include "engine/Table.h"

namespace {

using bench::Clock;
using bench::residentMiB;
using bench::since;
using namespace mv32;

// SQLite reading the rows of one page of a grid, as a grid over SQLite would.
double litePage(sqlite3* db, const std::string& statement, int64_t offset, int rows) {
    return bench::lite(db, statement + " LIMIT " + std::to_string(rows) + " OFFSET " +
                               std::to_string(offset));
}

void line(const char* what, double ours, double lite) {
    printf("  %-34s %10.2f ms %10.2f ms %8.2f %9.1f MiB\n", what, ours, lite, ours / lite,
           residentMiB());
}

std::vector<document::GridColumn> columns() {
    std::vector<document::GridColumn> cols;
    for (const char* f : {"Verzeichnis", "Dateiname", "Erweiterung", "Groesse", "Label", "VolID"}) {
        document::GridColumn c;
        c.field = f;
        c.title = QString::fromUtf8(f);
        c.width = std::strcmp(f, "Verzeichnis") == 0 ? 300 : 90;
        cols.push_back(c);
    }
    return cols;
}

// The steps over one grid; `cursor` is the grid's data source's cursor.
void steps(const char* title, engine::Cursor& cursor, const std::function<void()>& open,
           sqlite3* db, const std::string& statement, int64_t total) {
    printf("%s\n", title);
    auto t0 = Clock::now();
    open();
    document::DataSource source;
    source.setCursor(cursor);
    document::RecordGrid grid(source, columns(), QString::fromUtf8(title));
    grid.resize(1000, 700);
    grid.show();
    grid.grab();
    double ours = since(t0);
    const int page = grid.viewport()->height() / grid.rowHeight(0);
    line("öffnen, erste Seite", ours, litePage(db, statement, 0, page));

    t0 = Clock::now();
    cursor.moveTo(total / 2);
    grid.grab();
    ours = since(t0);
    line("zur Mitte", ours, litePage(db, statement, total / 2 - 1, page));

    t0 = Clock::now();
    cursor.last();
    grid.grab();
    ours = since(t0);
    line("zum letzten Satz", ours, litePage(db, statement, total - page, page));

    double sum = 0, worst = 0, liteSum = 0;
    for (int i = 0; i < 100; ++i) {
        t0 = Clock::now();
        QTest::keyClick(&grid, Qt::Key_PageUp);
        grid.grab();
        const double t = since(t0);
        sum += t;
        worst = std::max(worst, t);
        liteSum += litePage(db, statement, grid.rowAt(0) < 0 ? 0 : grid.rowAt(0), page);
    }
    line("100 × Bild auf (je Schritt)", sum / 100, liteSum / 100);
    printf("  %-34s %10.2f ms\n", "   langsamster Schritt", worst);
    printf("  %-34s Zeile %lld von %lld, Satz %lld\n\n", "   danach",
           static_cast<long long>(grid.currentIndex().row() + 1),
           static_cast<long long>(grid.model()->rowCount()),
           static_cast<long long>(cursor.recNo()));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    size_t files = argc > 1 ? std::stoul(argv[1]) : 1000000;
    std::string base = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
    std::string dir = base + "/mv32gridbench";
    sqlite3* db = bench::freshFolder(dir);
    auto t0 = Clock::now();
    bench::buildFileList(files, dir, db);
    engine::Table list;
    list.setDirectory(dir);
    list.setTableName("mv32list");
    list.open();
    const int64_t total = list.recordCount();
    printf("Daten: %lld Dateien (aufgebaut in %.1f s), %.1f MiB belegt\n\n",
           static_cast<long long>(total), since(t0) / 1e3, residentMiB());
    {
        // Qt loads fonts and sets up painting at the first view it shows: not the grid's cost.
        QTableView warmUp;
        warmUp.show();
        warmUp.grab();
    }
    printf("  %-34s %13s %13s %8s %13s\n", "", "mv32", "SQLite", "Verh.", "Speicher");

    steps(
        "Tabelle mv32list", list, [&] { list.first(); }, db, "SELECT * FROM mv32list", total);
    engine::Query q;
    q.setDirectory(dir);
    q.useTable(list);
    q.setSql("SELECT * FROM mv32list WHERE Groesse >= 0");
    steps(
        "SELECT * FROM mv32list WHERE Groesse >= 0", q, [&] { q.open(); }, db,
        "SELECT * FROM mv32list WHERE Groesse >= 0", total);
    q.close();
    list.close();
    sqlite3_close(db);
    printf("(%zu Bytes von SQLite gelesen)\n", bench::sink);
    if (!getenv("MV32_BENCH_KEEP")) std::filesystem::remove_all(dir);
    return 0;
}
