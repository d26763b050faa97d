// Benchmark of the table engine against SQLite on the program's file list.
//
// Both engines get the same deterministic list of realistic paths (default 1,000,000 files)
// and do the same work, each in a child process of its own so that its peak memory can be
// measured:
//   a) first scan: look every file up by all six fields, add it when absent
//   b) re-scan: the same again, every file present (lookups only)
//   c) full pass testing the file name for "readme" without regard to case
//   d) open the table, go to record 500,000 in key order, then to record 999,999
//   e) bytes on disk per record, all files together
//   f) peak resident memory
//   g) the file-name index over all six fields added afterwards: bytes per record, build time
// Usage: engine_bench [records] [folder]
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "FileListTable.h"
#include "FileWalk.h"
#include "engine/Table.h"
#include "engine/Text.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::FileRecord;
using bench::FileWalk;

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

struct Result {
    double scan = 0, rescan = 0, pass = 0, seek1 = 0, seek2 = 0;
    uint64_t bytes = 0;
    uint64_t indexBytes = 0;
    double indexBuild = 0;
    uint64_t matches = 0;
    uint64_t records = 0;
};

uint64_t folderBytes(const std::string& dir) {
    uint64_t n = 0;
    for (auto& e : std::filesystem::directory_iterator(dir)) n += e.file_size();
    return n;
}

bool hasReadme(const std::string& name) {
    return mv32::engine::text::fold(name).find("readme") != std::string::npos;
}

Result runOurs(size_t count, const std::string& dir, bool firstScanOnly = false) {
    using namespace mv32::engine;
    Result r;
    {
        Table t;
        bench::createFileList(t, dir, "mv32list.db");
        const std::string keys = bench::kFileListKey;
        auto scan = [&] {
            t.beginBulk();
            std::vector<Value> v(6);
            FileWalk walk(count);
            FileRecord f;
            while (walk.next(f)) {
                v[0] = Value(f.dir);
                v[1] = Value(f.name);
                v[2] = Value(f.ext);
                v[3] = Value(f.size);
                v[4] = Value(f.label);
                v[5] = Value(f.volid);
                if (t.locate(keys, v)) continue;
                t.append();
                t.setAsString("Dateiname", f.name);
                t.setAsString("Verzeichnis", f.dir);
                t.setAsString("Erweiterung", f.ext);
                t.setAsInteger("Groesse", f.size);
                t.setAsString("Label", f.label);
                t.setAsString("VolID", f.volid);
            }
            t.endBulk();
        };
        auto t0 = Clock::now();
        scan();
        auto t1 = Clock::now();
        r.scan = seconds(t0, t1);
        if (firstScanOnly) return r;
        scan();
        auto t2 = Clock::now();
        r.rescan = seconds(t1, t2);
        r.records = static_cast<uint64_t>(t.recordCount());
        int name = t.field("Dateiname");
        auto t3 = Clock::now();
        for (t.first(); !t.eof(); t.next()) {
            Value v = t.value(name);
            if (v.isText() && hasReadme(v.asText())) ++r.matches;
        }
        r.pass = seconds(t3, Clock::now());
        t.close();
    }
    Table t;
    t.setDirectory(dir);
    t.setTableName("mv32list.db");
    auto t4 = Clock::now();
    t.open();
    t.moveTo(500000);
    auto t5 = Clock::now();
    t.moveTo(999999);
    auto t6 = Clock::now();
    r.seek1 = seconds(t4, t5);
    r.seek2 = seconds(t5, t6);
    t.close();
    r.bytes = folderBytes(dir);
    return r;
}

Result indexOurs(const std::string& dir) {
    using namespace mv32::engine;
    Result r;
    const uint64_t before = folderBytes(dir);
    Table t;
    t.setDirectory(dir);
    t.setTableName("mv32list.db");
    t.setExclusive(true);
    t.open();
    auto t0 = Clock::now();
    t.addIndex("DateinameIndex", "Dateiname;Verzeichnis;Erweiterung;Groesse;Label;VolID");
    r.indexBuild = seconds(t0, Clock::now());
    t.close();
    r.indexBytes = folderBytes(dir) - before;
    return r;
}

void check(int rc, sqlite3* db, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        fprintf(stderr, "SQLite %s: %s\n", what, sqlite3_errmsg(db));
        exit(2);
    }
}

Result runSqlite(size_t count, const std::string& dir, bool firstScanOnly = false) {
    Result r;
    std::string path = dir + "/mv32list.sqlite";
    sqlite3* db = nullptr;
    check(sqlite3_open(path.c_str(), &db), db, "open");
    check(sqlite3_exec(db,
                       "CREATE TABLE mv32list (Verzeichnis TEXT, Dateiname TEXT, Erweiterung TEXT,"
                       " Groesse INTEGER, Label TEXT, VolID TEXT, PRIMARY KEY (Verzeichnis,"
                       " Dateiname, Erweiterung, Groesse, Label, VolID)) WITHOUT ROWID",
                       nullptr, nullptr, nullptr),
          db, "create");
    sqlite3_stmt* ins = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO mv32list VALUES (?,?,?,?,?,?)", -1, &ins,
                             nullptr),
          db, "prepare");
    auto scan = [&] {
        check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
        FileWalk walk(count);
        FileRecord f;
        while (walk.next(f)) {
            sqlite3_bind_text(ins, 1, f.dir.data(), static_cast<int>(f.dir.size()), SQLITE_STATIC);
            sqlite3_bind_text(ins, 2, f.name.data(), static_cast<int>(f.name.size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(ins, 3, f.ext.data(), static_cast<int>(f.ext.size()), SQLITE_STATIC);
            sqlite3_bind_int64(ins, 4, f.size);
            sqlite3_bind_text(ins, 5, f.label.data(), static_cast<int>(f.label.size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(ins, 6, f.volid.data(), static_cast<int>(f.volid.size()),
                              SQLITE_STATIC);
            check(sqlite3_step(ins), db, "insert");
            sqlite3_reset(ins);
        }
        check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    };
    auto t0 = Clock::now();
    scan();
    auto t1 = Clock::now();
    r.scan = seconds(t0, t1);
    if (firstScanOnly) {
        sqlite3_finalize(ins);
        sqlite3_close(db);
        return r;
    }
    scan();
    auto t2 = Clock::now();
    r.rescan = seconds(t1, t2);
    sqlite3_finalize(ins);
    sqlite3_stmt* sel = nullptr;
    check(sqlite3_prepare_v2(db, "SELECT Dateiname FROM mv32list", -1, &sel, nullptr), db,
          "select");
    auto t3 = Clock::now();
    while (sqlite3_step(sel) == SQLITE_ROW) {
        ++r.records;
        const auto* s = reinterpret_cast<const char*>(sqlite3_column_text(sel, 0));
        if (s && hasReadme(s)) ++r.matches;
    }
    r.pass = seconds(t3, Clock::now());
    sqlite3_finalize(sel);
    sqlite3_close(db);

    auto t4 = Clock::now();
    check(sqlite3_open(path.c_str(), &db), db, "open");
    auto at = [&](int64_t n) {
        sqlite3_stmt* s = nullptr;
        std::string q = "SELECT * FROM mv32list LIMIT 1 OFFSET " + std::to_string(n - 1);
        check(sqlite3_prepare_v2(db, q.c_str(), -1, &s, nullptr), db, "offset");
        check(sqlite3_step(s), db, "offset");
        sqlite3_finalize(s);
    };
    at(500000);
    auto t5 = Clock::now();
    at(999999);
    auto t6 = Clock::now();
    r.seek1 = seconds(t4, t5);
    r.seek2 = seconds(t5, t6);
    sqlite3_close(db);
    r.bytes = folderBytes(dir);
    return r;
}

Result indexSqlite(const std::string& dir) {
    Result r;
    const uint64_t before = folderBytes(dir);
    sqlite3* db = nullptr;
    check(sqlite3_open((dir + "/mv32list.sqlite").c_str(), &db), db, "open");
    auto t7 = Clock::now();
    check(sqlite3_exec(db,
                       "CREATE INDEX DateinameIndex ON mv32list (Dateiname, Verzeichnis,"
                       " Erweiterung, Groesse, Label, VolID)",
                       nullptr, nullptr, nullptr),
          db, "index");
    r.indexBuild = seconds(t7, Clock::now());
    sqlite3_close(db);
    r.indexBytes = folderBytes(dir) - before;
    return r;
}

// Runs one engine in a child process; returns its result and peak resident memory in KiB.
template <typename F>
Result inChild(F run, long* maxRssKb) {
    int fds[2];
    if (pipe(fds) != 0) exit(2);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Result r = run();
        if (write(fds[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(3);
        _exit(0);
    }
    close(fds[1]);
    Result r;
    ssize_t got = read(fds[0], &r, sizeof r);
    close(fds[0]);
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    if (got != static_cast<ssize_t>(sizeof r) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "child failed\n");
        exit(2);
    }
    *maxRssKb = ru.ru_maxrss;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    size_t count = argc > 1 ? std::stoul(argv[1]) : 1000000;
    std::string base = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
    std::string ourDir = base + "/mv32bench-ours", liteDir = base + "/mv32bench-sqlite";
    for (auto& d : {ourDir, liteDir}) {
        std::filesystem::remove_all(d);
        std::filesystem::create_directories(d);
    }
    auto g0 = Clock::now();
    size_t pathBytes = 0, n = 0;
    {
        FileWalk walk(count);
        FileRecord f;
        while (walk.next(f)) {
            pathBytes += f.dir.size() + f.name.size();
            ++n;
        }
    }
    printf("Dateiliste: %zu Dateien, mittlere Pfadlänge %.1f Zeichen (erzeugt in %.2f s)\n", n,
           static_cast<double>(pathBytes) / static_cast<double>(n), seconds(g0, Clock::now()));

    long oursRss = 0, liteRss = 0;
    if (getenv("MV32_BENCH_NOFORK")) {  // for profilers; MV32_BENCH_FIRST: the first scan only
        // MV32_BENCH_ONLY=sqlite: SQLite's side instead of ours, to time both from outside.
        const bool first = getenv("MV32_BENCH_FIRST") != nullptr;
        const char* only = getenv("MV32_BENCH_ONLY");
        Result r = only && std::string(only) == "sqlite" ? runSqlite(count, liteDir, first)
                                                         : runOurs(count, ourDir, first);
        printf("a) %.0f/s\n", static_cast<double>(count) / r.scan);
        return 0;
    }
    Result o = inChild([&] { return runOurs(count, ourDir); }, &oursRss);
    if (const char* only = getenv("MV32_BENCH_ONLY"); only && std::string(only) == "mv32") {
        long indexRss = 0;
        const Result oi = inChild([&] { return indexOurs(ourDir); }, &indexRss);
        printf(
            "a) %.0f/s  b) %.0f/s  c) %.3f s  d) %.3f ms %.3f ms  e) %.1f B  f) %ld KiB  "
            "g) %.1f B %.2f s %ld KiB\n",
            static_cast<double>(count) / o.scan, static_cast<double>(count) / o.rescan, o.pass,
            o.seek1 * 1e3, o.seek2 * 1e3,
            static_cast<double>(o.bytes) / static_cast<double>(o.records), oursRss,
            static_cast<double>(oi.indexBytes) / static_cast<double>(o.records), oi.indexBuild,
            indexRss);
        return 0;
    }
    Result s = inChild([&] { return runSqlite(count, liteDir); }, &liteRss);
    long oursIndexRss = 0, liteIndexRss = 0;
    const Result oi = inChild([&] { return indexOurs(ourDir); }, &oursIndexRss);
    const Result si = inChild([&] { return indexSqlite(liteDir); }, &liteIndexRss);
    if (o.records != s.records || o.matches != s.matches) {
        printf(
            "ABWEICHUNG: Datensätze %llu/%llu, Treffer %llu/%llu\n",
            static_cast<unsigned long long>(o.records), static_cast<unsigned long long>(s.records),
            static_cast<unsigned long long>(o.matches), static_cast<unsigned long long>(s.matches));
    }
    double records = static_cast<double>(o.records);
    printf("%-44s %14s %14s %8s\n", "", "mv32", "SQLite", "mv32/SQLite");
    auto row = [](const char* what, double a, double b, const char* unit) {
        printf("%-44s %12.3f%-2s %12.3f%-2s %8.2f\n", what, a, unit, b, unit, a / b);
    };
    row("a) Erstscan, Datensätze/s", static_cast<double>(count) / o.scan,
        static_cast<double>(count) / s.scan, "");
    row("b) Wiederholungsscan, Datensätze/s", static_cast<double>(count) / o.rescan,
        static_cast<double>(count) / s.rescan, "");
    row("c) Volldurchlauf \"readme\", s je Mio.", o.pass * 1e6 / records, s.pass * 1e6 / records,
        "s");
    row("d) Öffnen und Satz 500.000, ms", o.seek1 * 1e3, s.seek1 * 1e3, "");
    row("d) dann Satz 999.999, ms", o.seek2 * 1e3, s.seek2 * 1e3, "");
    row("e) Bytes je Datensatz", static_cast<double>(o.bytes) / records,
        static_cast<double>(s.bytes) / records, "");
    row("f) größter Speicherbedarf, MiB", static_cast<double>(oursRss) / 1024,
        static_cast<double>(liteRss) / 1024, "");
    row("g) Index Dateiname (6 Felder), Bytes je Satz",
        static_cast<double>(oi.indexBytes) / records, static_cast<double>(si.indexBytes) / records,
        "");
    row("g) dessen Aufbau, s", oi.indexBuild, si.indexBuild, "s");
    row("g) Speicherbedarf beim Aufbau, MiB", static_cast<double>(oursIndexRss) / 1024,
        static_cast<double>(liteIndexRss) / 1024, "");
    printf("(Treffer \"readme\": %llu; Seitencache mv32: %zu MiB)\n",
           static_cast<unsigned long long>(o.matches),
           mv32::engine::Table::cacheLimitBytes() >> 20);
    if (!getenv("MV32_BENCH_KEEP")) {  // keep the tables to look at them, e.g. with mv32db
        std::filesystem::remove_all(ourDir);
        std::filesystem::remove_all(liteDir);
    }
    return 0;
}
