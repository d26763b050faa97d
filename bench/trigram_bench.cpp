// The file search for a text inside file names, the way a person runs it from the command line,
// on generated file lists: `mv32db sql FOLDER 'SELECT * FROM mv32list WHERE
// (UPPER(Dateiname) LIKE "%TEXT%")'` beside `plocate -i -b TEXT` over a plocate database of
// the same paths (made by `plocate-build -l no -p` from the path list: the files exist nowhere,
// so plocate must not check that they are visible), both printing every hit to a
// pipe that counts them. For each list size it prints the build time of our trigram index
// against plocate-build's, the index's size against the table's, and per text (a common one,
// a rare one, one that is nowhere) the median of five alternating runs, the hits and the ratio;
// then the same searches reading every record, without the index.
//
//   trigram_bench [names...] [folder]      defaults: 1000000 10000000, the temporary folder
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FileListTable.h"
#include "FileWalk.h"
#include "engine/Table.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

uint64_t fileSize(const std::string& p) {
    return std::filesystem::exists(p) ? std::filesystem::file_size(p) : 0;
}

// Runs argv with its output counted line by line; returns the seconds it took and the lines.
std::pair<double, uint64_t> run(const std::vector<std::string>& argv) {
    int fds[2];
    if (pipe(fds) != 0) exit(2);
    auto t0 = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        // Standard error (mv32db's plan line) is not part of what is measured.
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 2);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    uint64_t lines = 0;
    char buf[1 << 16];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        lines += static_cast<uint64_t>(std::count(buf, buf + n, '\n'));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    double t = seconds(t0, Clock::now());
    // plocate ends with status 1 when it finds nothing.
    const bool nothing =
        lines == 0 && argv[0] == "plocate" && WIFEXITED(status) && WEXITSTATUS(status) == 1;
    if (!nothing && (!WIFEXITED(status) || WEXITSTATUS(status) != 0)) {
        fprintf(stderr, "%s endete mit Status %d\n", argv[0].c_str(), WEXITSTATUS(status));
        exit(2);
    }
    return {t, lines};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void benchmark(size_t count, const std::string& base, const std::string& mv32db) {
    using namespace mv32::engine;
    const std::string dir = base + "/mv32-trigrambench";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string names = dir + "/pfade.txt", plocateDb = dir + "/plocate.db";
    printf("\n%zu Dateinamen\n", count);
    {
        Table t;
        bench::createFileList(t, dir, "mv32list.db");
        std::ofstream out(names);
        t.beginBulk();
        bench::FileWalk walk(count);
        bench::FileRecord f;
        const std::string keys = bench::kFileListKey;
        while (walk.next(f)) {
            if (t.locate(keys, {f.dir, f.name, f.ext, f.size, f.label, f.volid})) continue;
            t.append();
            t.setAsString("Verzeichnis", f.dir);
            t.setAsString("Dateiname", f.name);
            t.setAsString("Erweiterung", f.ext);
            t.setAsInteger("Groesse", f.size);
            t.setAsString("Label", f.label);
            t.setAsString("VolID", f.volid);
            out << f.dir << f.name << '\n';
        }
        t.endBulk();
        t.close();
    }
    uint64_t tableBytes = 0;
    for (auto ext : {".db", ".px"}) tableBytes += fileSize(dir + "/mv32list" + ext);

    auto t0 = Clock::now();
    {
        Table t;
        t.setDirectory(dir);
        t.setTableName("mv32list.db");
        t.setExclusive(true);
        t.open();
        t.buildTrigramIndex("Dateiname");
    }
    const double ours = seconds(t0, Clock::now());
    const double theirs = run({"plocate-build", "-l", "no", "-p", names, plocateDb}).first;
    const uint64_t indexBytes = fileSize(dir + "/mv32list.tri");
    printf("  %-44s %10.2f s %10.2f s %8.2f\n", "Aufbau: Trigrammindex / plocate-build", ours,
           theirs, ours / theirs);
    printf("  %-44s %10.1f MB %9.1f MB %8.2f (Tabelle %.1f MB)\n",
           "Größe: Trigrammindex / plocate.db", indexBytes / 1e6, fileSize(plocateDb) / 1e6,
           static_cast<double>(indexBytes) / static_cast<double>(tableBytes), tableBytes / 1e6);

    auto statement = [](const std::string& text) {
        std::string upper = text;
        for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return "SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"%" + upper + "%\")";
    };
    auto search = [&](const char* label) {
        printf("  %-24s %12s %12s %8s %10s %10s\n", label, "mv32db", "plocate", "Verh.", "Treffer",
               "plocate");
        for (const std::string text : {"readme", "vertrag4711", "zebra"}) {
            std::vector<double> a, b;
            uint64_t hitsA = 0, hitsB = 0;
            for (int i = 0; i < 5; ++i) {
                auto [ta, la] = run({mv32db, "sql", dir, statement(text)});
                auto [tb, lb] = run({"plocate", "-i", "-b", "-d", plocateDb, text});
                a.push_back(ta);
                b.push_back(tb);
                hitsA = la - 1;  // the header line
                hitsB = lb;
            }
            printf("  %-24s %10.1f ms %9.1f ms %8.2f %10llu %10llu\n", ("\"" + text + "\"").c_str(),
                   median(a) * 1e3, median(b) * 1e3, median(a) / median(b),
                   static_cast<unsigned long long>(hitsA), static_cast<unsigned long long>(hitsB));
        }
    };
    search("mit Trigrammindex");
    std::filesystem::rename(dir + "/mv32list.tri", dir + "/beiseite.tri");
    search("ohne (jeder Satz)");
    if (getenv("MV32_BENCH_KEEP")) {  // keep the list to look at it, e.g. with mv32db
        std::filesystem::rename(dir + "/beiseite.tri", dir + "/mv32list.tri");
        return;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<size_t> counts;
    std::string folder = std::filesystem::temp_directory_path().string();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (!a.empty() && std::all_of(a.begin(), a.end(), ::isdigit))
            counts.push_back(std::stoul(a));
        else
            folder = a;
    }
    if (counts.empty()) counts = {1000000, 10000000};
    const std::string mv32db = (std::filesystem::path(argv[0]).parent_path() / "mv32db").string();
    printf(
        "Dateisuche nach einem Text im Namen: mv32db sql gegen plocate -i -b "
        "(Median aus 5 Läufen)\n");
    for (size_t n : counts) benchmark(n, folder, mv32db);
    return 0;
}
