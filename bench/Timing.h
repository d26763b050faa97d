// What the window benchmarks share: the clock, the resident memory, a printed line of our time
// against SQLite's, and SQLite running a statement to its end.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "FileList.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

inline double residentMiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

inline void line(const char* what, double ours, double lite) {
    printf("  %-40s %10.1f ms %10.1f ms %8.2f %9.1f MiB\n", what, ours, lite, ours / lite,
           residentMiB());
}

inline size_t sink = 0;  // what SQLite read, so that the reads are not left out

// SQLite running a statement to its end, reading every column of every row.
inline double lite(sqlite3* db, const std::string& sql) {
    auto t0 = Clock::now();
    sqlite3_stmt* s = nullptr;
    check(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), db, "prepare");
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

}  // namespace bench
