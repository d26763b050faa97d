// The searches through the steps a person takes in the real main window (offscreen): the file
// search window opened on the file list, a search typed and started, its result sorted by each
// of the four orders of the popup, each time until the window has painted its first page; and
// the full search with three criteria from its dialog until the overview shows the result.
// Each step is printed beside SQLite's time for the same statement, once for the page shown
// (LIMIT 25: SQLite too must find or sort every row first when the statement sorts) and once
// run to its end.
//
//   search_bench [files] [records] [folder]     defaults: 1,000,000 files, 100,000 records
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "Catalog.h"
#include "FileList.h"
#include "Timing.h"
#include "Window.h"
#include "app/gui/Mavrel32Main.h"
#include "search/FileSearch.h"

using namespace mv32;
using bench::Clock;
using bench::lite;
using bench::since;

namespace {

constexpr int kPage = 25;

void row(const char* what, double ours, double litePage, double liteAll) {
    printf("  %-44s %9.1f ms %9.1f ms %9.1f ms %8.2f\n", what, ours, litePage, liteAll,
           ours / litePage);
}

std::string sqliteForm(std::string sql) {
    // Our statement names the file list as the program does; SQLite has the same table.
    for (char& c : sql)
        if (c == '"') c = '\'';
    return sql;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const size_t files = argc > 1 ? std::stoul(argv[1]) : 1000000;
    const size_t records = argc > 2 ? std::stoul(argv[2]) : 100000;
    const std::string base = argc > 3 ? argv[3] : std::filesystem::temp_directory_path().string();
    const std::string dir = base + "/mv32searchbench";
    sqlite3* db = bench::freshFolder(dir);
    auto t0 = Clock::now();
    bench::buildFileList(files, dir, db);
    bench::buildCatalog(records, dir + "/kat.db", db);
    printf("Daten: %zu Dateien, %zu Katalogsätze (aufgebaut in %.1f s)\n\n", files, records,
           since(t0) / 1e3);

    app::TMavrel32Main w(bench::windowOptions(dir));
    w.program().settings().DatenbankPfad = dir + "/";
    w.show();
    w.grab();
    printf("  %-44s %12s %12s %12s %8s\n", "", "mv32", "SQLite Seite", "SQLite ganz", "Verh.");

    // The file search window on the whole file list.
    t0 = Clock::now();
    w.DateisuchenItemClick();
    auto* f = w.fileSearchWindow();
    f->grab();
    row("Datei suchen öffnen, erste Seite", since(t0),
        lite(db, "SELECT * FROM mv32list LIMIT " + std::to_string(kPage)), 0);

    // ".jpg" is in the name of about one file in nine: JPG and jpg.
    for (const char* text : {".jpg", "readme12"}) {
        auto* edit = f->findChild<QLineEdit*>("DateiSuchenEdit");
        edit->setText(text);
        const std::string sql = search::fileSearchStatement(text, search::FileOrder::Unsorted);
        t0 = Clock::now();
        f->findChild<QPushButton*>("BeginSuchenBtn")->click();
        f->grab();
        const double ours = since(t0);
        const int64_t hits = f->core().query().recordCount();
        const std::string what = std::string("Suchen \"") + text + "\", " + std::to_string(hits) +
                                 " Treffer";
        row(what.c_str(), ours,
            lite(db, sqliteForm(sql) + " LIMIT " + std::to_string(kPage)),
            lite(db, sqliteForm(sql)));
        const struct {
            const char* action;
            search::FileOrder order;
            const char* caption;
        } orders[] = {{"sortierennachDateiname2", search::FileOrder::Name, "  sortiert nach Dateiname"},
                      {"sortierennachVerzeichnis2", search::FileOrder::Folder,
                       "  sortiert nach Verzeichnis"},
                      {"sortierennachErweiterung2", search::FileOrder::Extension,
                       "  sortiert nach Erweiterung"},
                      {"sortierennachGre2", search::FileOrder::Size, "  sortiert nach Größe"}};
        for (const auto& s : orders) {
            const std::string sorted = sqliteForm(search::fileSearchStatement(text, s.order));
            t0 = Clock::now();
            f->findChild<QAction*>(s.action)->trigger();
            f->grab();
            const double t = since(t0);
            row(s.caption, t, lite(db, sorted + " LIMIT " + std::to_string(kPage)),
                lite(db, sorted));
        }
        f->findChild<QPushButton*>("BackBtn")->click();
    }
    f->closeWindow();

    // The full search with three criteria; its result shows modally, closed once painted.
    w.document().openLastFile(dir + "/kat.db");
    if (!w.document().state().CatalogOpen) {
        fprintf(stderr, "Der Katalog ließ sich nicht öffnen.\n");
        return 2;
    }
    const struct {
        const char *name, *category, *medium;
    } searches[] = {{"12", "spiel", "cd"}, {"1", "e", "d"}};
    for (const auto& c : searches) {
        w.SuchenMenuClick();
        auto* dialog = w.searchDialog();
        dialog->findChild<QLineEdit*>("SuchenEdit")->setText(c.name);
        dialog->findChild<QComboBox*>("KategorieEdit")->setEditText(c.category);
        dialog->findChild<QComboBox*>("Datentraeger")->setEditText(c.medium);
        double shown = 0;
        int64_t hits = 0;
        app::Program* program = &w.program();
        QTimer::singleShot(0, [&] {
            auto* overview = w.overviewWindow();
            overview->grab();
            shown = since(t0);
            hits = program->overview().MV32SQL().recordCount();
            overview->close();
        });
        t0 = Clock::now();
        dialog->findChild<QPushButton*>("SuchenBtn")->click();
        const std::string full = "SELECT * FROM kat where Upper(Name) like Upper('%" +
                                 std::string(c.name) + "%') and Upper(Kategorie) like Upper('%" +
                                 c.category + "%') and Upper(Datentraeger) like Upper('%" +
                                 c.medium + "%')";
        const std::string what = "große Suche, 3 Kriterien, " + std::to_string(hits) + " Treffer";
        row(what.c_str(), shown, lite(db, full + " LIMIT " + std::to_string(kPage)),
            lite(db, full));
    }

    sqlite3_close(db);
    printf("(%zu Bytes von SQLite gelesen)\n", bench::sink);
    if (!getenv("MV32_BENCH_KEEP")) std::filesystem::remove_all(dir);
    return 0;
}
