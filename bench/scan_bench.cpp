// Benchmark of every scan against the limits of the machine.
//
// A generated tree (default 300,000 files; sizes set with ftruncate, so the tree costs no disk)
// is scanned into an empty file list by each scan the way a person starts it: the scan dialog
// in the foreground and in the background, "DIR" and "SCANALL" from the command line (the
// program itself, offscreen), and the quiet walk alone (no program around it) again over the
// full list. Between them, `find <tree> -printf '%h/\t%f\t%s\n'` (one stat per file: the
// limit) walks the same tree, and plocate's `updatedb` (no stat at all; reference only, when
// installed). Prints files per second, the ratio to find and each scan's peak memory.
// Usage: scan_bench [files] [folder]
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>
#include <string>

#include "FileWalk.h"
#include "ScanPaths.h"
#include "engine/Table.h"
#include "scan/FileList.h"
#include "scan/TreeWalk.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Builds the tree from the deterministic walk over made-up media; returns the number of files.
size_t makeTree(const std::string& root, size_t count) {
    bench::FileWalk walk(count * 12 / 10);  // some names repeat within a folder
    bench::FileRecord f;
    size_t made = 0;
    std::string lastDir;
    while (made < count && walk.next(f)) {
        std::string dir = root + f.dir;
        for (char& c : dir) {
            if (c == '\\') c = '/';
        }
        if (dir != lastDir) {
            fs::create_directories(dir);
            lastDir = dir;
        }
        const std::string path = dir + f.name;
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) continue;  // the name is there already
        if (::ftruncate(fd, f.size) != 0) std::perror("ftruncate");
        ::close(fd);
        ++made;
    }
    return made;
}

double runCommand(const std::string& command) {
    const auto t = Clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    return since(t);
}

double scanOnce(const std::string& listFolder, const std::string& tree, int64_t* added) {
    const auto t = Clock::now();
    mv32::scan::FileList list(listFolder);
    list.openOrCreate();
    list.ensurePrimaryIndex();
    std::atomic<bool> cancel{false};
    mv32::scan::WalkOptions options;
    options.hidden = false;
    mv32::scan::TreeWalk walk(list, mv32::scan::WalkVariant::Baum2, cancel, options, {});
    walk.walk(tree, "BENCH", "00000001");
    list.commit();
    list.close();
    *added = walk.newFiles();
    return since(t);
}

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 300000;
    const std::string folder = argc > 2 ? argv[2] : "/dev/shm";
    const std::string base = folder + "/mv32-scanbench-" + std::to_string(::getpid());
    const std::string tree = base + "/baum/";
    const std::string listFolder = base + "/liste/";
    fs::create_directories(listFolder);

    auto t = Clock::now();
    const size_t files = makeTree(tree, count);
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    std::printf("Baum: %zu Dateien (erzeugt in %.1f s, Speicher danach %.1f MiB)\n\n", files,
                since(t), static_cast<double>(before.ru_maxrss) / 1024.0);

    const bool haveUpdatedb = std::system("command -v updatedb >/dev/null 2>&1") == 0;
    const std::string find = "find " + tree + " -printf '%h/\\t%f\\t%s\\n' > /dev/null";
    const std::string updatedb = "updatedb -l 0 --prunefs '' --prunepaths '' --prunenames '' -U " +
                                 tree + " -o " + base + "/plocate.db";
    const bench::ScanHome home{base + "/person", tree};
    struct Variant {
        const char* what;
        std::function<bench::ScanRun()> run;
    };
    std::vector<Variant> variants = {
        {"Dialog, Vordergrund", [&] { return bench::dialogScan(home, false); }},
        {"Dialog, Hintergrund", [&] { return bench::dialogScan(home, true); }},
    };
#ifdef MV32_PROGRAM
    variants.push_back({"Kommandozeile DIR ... CLOSE", [&] {
                            return bench::programScan(home, MV32_PROGRAM, {"dir", tree, "close"});
                        }});
    variants.push_back(
        {"Kommandozeile SCANALL", [&] { return bench::programScan(home, MV32_PROGRAM, {"scanall"}); }});
#endif

    // Warm the caches once, then alternate find with the scans.
    runCommand(find);
    double findTotal = runCommand(find);
    int findRuns = 1;
    std::vector<bench::ScanRun> runs;
    for (const auto& v : variants) {
        runs.push_back(v.run());
        findTotal += runCommand(find);
        ++findRuns;
    }
    int64_t added = 0;
    double first = scanOnce(listFolder, tree, &added);
    int64_t addedAgain = 0;
    double again = scanOnce(listFolder, tree, &addedAgain);
    findTotal += runCommand(find);
    ++findRuns;
    double updb = haveUpdatedb ? runCommand(updatedb) : -1;
    const double findTime = findTotal / findRuns;

    auto rate = [&](double s) { return static_cast<double>(files) / s; };
    std::printf("%-34s %12s %10s %8s %10s\n", "", "Dateien/s", "Zeit", "/find", "Speicher");
    std::printf("%-34s %12.0f %8.2f s %8s\n", "find -printf (ein stat je Datei)", rate(findTime),
                findTime, "1.00");
    if (updb > 0)
        std::printf("%-34s %12.0f %8.2f s %8.2f\n", "updatedb (ohne stat, Vergleich)", rate(updb),
                    updb, updb / findTime);
    for (size_t i = 0; i < variants.size(); ++i) {
        if (runs[i].seconds < 0) {
            std::printf("%-34s FEHLGESCHLAGEN\n", variants[i].what);
            continue;
        }
        std::printf("%-34s %12.0f %8.2f s %8.2f %6.1f MiB\n", variants[i].what,
                    rate(runs[i].seconds), runs[i].seconds, runs[i].seconds / findTime,
                    runs[i].peakMiB);
    }
    std::printf("%-34s %12.0f %8.2f s %8.2f\n", "Walk allein, Erstscan", rate(first), first,
                first / findTime);
    std::printf("%-34s %12.0f %8.2f s %8.2f\n", "Walk allein, Wiederholungsscan", rate(again),
                again, again / findTime);
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    std::printf(
        "\n(Walk allein neu: %lld, beim zweiten Mal: %lld, Speicher %.1f MiB; "
        "Seitencache %zu MiB)\n",
        static_cast<long long>(added), static_cast<long long>(addedAgain),
        static_cast<double>(ru.ru_maxrss) / 1024.0, mv32::engine::Table::cacheLimitBytes() >> 20);
    fs::remove_all(base);
    return 0;
}
