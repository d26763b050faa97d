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

#include "Catalog.h"
#include "Timing.h"
#include "Window.h"
#include "FileList.h"
#include "app/gui/Mavrel32Main.h"
#include "document/Catalog.h"
#include "edit/PickLists.h"
#include "engine/Table.h"

using namespace mv32;
using bench::Clock;
using bench::line;
using bench::lite;
using bench::residentMiB;
using bench::since;

namespace {

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
    sqlite3* db = bench::freshFolder(dir);

    auto t0 = Clock::now();
    bench::buildCatalog(records, dir + "/kat.db", db);
    bench::buildFileList(files, dir, db);
    printf("Daten: %zu Katalogsätze, %zu Dateien (aufgebaut in %.1f s)\n\n", records, files,
           since(t0) / 1e3);

    app::TMavrel32Main w(bench::windowOptions(dir));
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
    const std::string target = bench::nameOf(records / 2);
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
    printf("(%zu Bytes von SQLite gelesen)\n", bench::sink);
    if (!getenv("MV32_BENCH_KEEP")) std::filesystem::remove_all(dir);
    return 0;
}
