// Whether the work of a scan follows the change it makes, measured with the program itself
// (`mv32 dir FOLDER close`, offscreen, as a file manager's action starts it), each run a whole
// process from start to exit:
//
//  - for file lists of each size (default 10^5, 10^6, 10^7 names), a scan of 1,000 new files
//    into that list against the same scan into an empty list, alternating, and the time and
//    peak memory of building the list's file-name index (a process of its own);
//  - a first scan of a tree (default 300,000 and 1,000,000 files) into an empty list against
//    `find TREE -printf '%h/\t%f\t%s\n'` over the same tree, alternating.
//
// Runs: one to warm up, then five; the medians are printed. The lists and trees are made once
// in the folder given and used again by later calls (a list of 10^7 names takes minutes to
// make and about 3 GB); `rm -r FOLDER` removes them.
//
//   change_bench [--lists N...] [--trees N...] FOLDER
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
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

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRuns = 5;
constexpr size_t kSmallScan = 1000;

struct Run {
    double seconds = -1;
    double peakMiB = 0;
};

// Runs argv (with `env` added to PATH and TMPDIR) as a process of its own, its output thrown
// away; its wall time and peak memory.
Run spawn(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<std::string> all = env;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind("PATH=", 0) == 0 || v.rfind("TMPDIR=", 0) == 0) all.push_back(v);
    }
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : all) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    const auto t = Clock::now();
    pid_t pid = 0;
    const int spawned =
        ::posix_spawnp(&pid, args[0].c_str(), &quiet, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&quiet);
    Run r;
    if (spawned != 0) return r;
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    const double s = std::chrono::duration<double>(Clock::now() - t).count();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) r.seconds = s;
    r.peakMiB = static_cast<double>(ru.ru_maxrss) / 1024.0;
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A person's setting: program folder, data folder with the file list, settings naming it, and
// the folder `media` declared as drive D.
struct Home {
    std::string base, media;
    std::string program() const { return base + "/programm/"; }
    std::string data() const { return base + "/daten/"; }
    void prepare() const {
        for (const auto& d : {program(), data(), base + "/config/mavrel32"})
            fs::create_directories(d);
        fs::permissions(base, fs::perms::owner_all);  // its runtime folder
        std::ofstream(base + "/config/mavrel32/settings.ini")
            << "[Settings]\nDatenbankPfad=" << data() << "\n";
        std::ofstream(base + "/volumes") << "D\t" << media << "\tBENCH\t00000001\t1000000\t1\n";
    }
    void emptyList() const {
        fs::remove_all(data());
        fs::create_directories(data());
    }
    Run scan(const std::string& mv32, const std::string& folder) const {
        return spawn({mv32, "dir", folder, "close"},
                     {"MV32_HOME=" + program(), "XDG_CONFIG_HOME=" + base + "/config",
                      "XDG_RUNTIME_DIR=" + base, "MV32_VOLUMES=" + base + "/volumes",
                      "QT_QPA_PLATFORM=offscreen", "HOME=" + base});
    }
};

// Files (sizes by ftruncate: no disk) below `root`, from the walk over made-up media; `salt`
// makes the names of one tree differ from another's.
size_t makeTree(const std::string& root, size_t count, const std::string& salt = "") {
    bench::FileWalk walk(count * 12 / 10);
    bench::FileRecord f;
    size_t made = 0;
    std::string last;
    while (made < count && walk.next(f)) {
        std::string dir = root + f.dir;
        std::replace(dir.begin(), dir.end(), '\\', '/');
        if (dir != last) fs::create_directories(dir);
        last = dir;
        const std::string path = dir + salt + f.name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) continue;
        if (::ftruncate(fd, f.size) != 0) std::perror("ftruncate");
        ::close(fd);
        ++made;
    }
    return made;
}

// Fills the file list in `data` with `count` records of the walk over made-up media.
void fillList(const std::string& data, size_t count) {
    using namespace mv32::engine;
    Table t;
    bench::createFileList(t, data, "mv32list.db");
    t.beginBulk();
    bench::FileWalk walk(count);
    bench::FileRecord f;
    size_t added = 0;
    while (added < count && walk.next(f)) {
        if (t.locate(bench::kFileListKey, {f.dir, f.name, f.ext, f.size, f.label, f.volid}))
            continue;
        t.append();
        t.setAsString("Verzeichnis", f.dir);
        t.setAsString("Dateiname", f.name);
        t.setAsString("Erweiterung", f.ext);
        t.setAsInteger("Groesse", f.size);
        t.setAsString("Label", f.label);
        t.setAsString("VolID", f.volid);
        t.post();
        ++added;
    }
    t.endBulk();
}

// The child's part: builds the file-name index of the list in `data`.
int buildIndex(const std::string& data) {
    mv32::engine::Table t;
    t.setDirectory(data);
    t.setTableName("mv32list.db");
    t.setExclusive(true);
    t.open();
    t.buildTrigramIndex("Dateiname");
    return 0;
}

void lists(const std::vector<size_t>& sizes, const std::string& folder, const std::string& self,
           const std::string& program) {
    // Small trees of files new to every list (the lists stay from call to call), one for each
    // run, declared as one medium; removed at the end.
    const std::string media = folder + "/kleine-baeume-" + std::to_string(::getpid()) + "/";
    std::vector<std::string> trees;
    for (int i = 0; i <= kRuns; ++i) {
        trees.push_back(media + "baum" + std::to_string(i));
        makeTree(trees.back() + "/", kSmallScan,
                 std::to_string(::getpid()) + "_" + std::to_string(i) + "_");
    }
    const Home empty{folder + "/leer", media};
    empty.prepare();
    const size_t limitMiB = (mv32::engine::Table::cacheLimitBytes() >> 20) + 32;
    std::printf(
        "Scan von %zu neuen Dateien in eine Liste und in eine leere Liste "
        "(mv32 dir ... close, ganzer Prozess, Median aus %d)\n",
        kSmallScan, kRuns);
    std::printf("%12s %12s %12s %8s %14s %14s\n", "Liste", "in die Liste", "in leere", "Verh.",
                "Indexaufbau", ("Spitze (<=" + std::to_string(limitMiB) + ")").c_str());
    for (size_t n : sizes) {
        const Home home{folder + "/liste-" + std::to_string(n), media};
        home.prepare();
        if (!fs::exists(home.base + "/fertig")) {
            fs::remove_all(home.data());
            fs::create_directories(home.data());
            fillList(home.data(), n);
            std::ofstream(home.base + "/fertig") << n << "\n";
        }
        // The list's index built anew, as a process of its own: the build's own memory.
        const Run build = spawn({self, "--build", home.data()}, {});
        std::vector<double> into, intoEmpty, ratio;
        for (int i = 0; i <= kRuns; ++i) {
            const Run a = home.scan(program, trees[static_cast<size_t>(i)]);
            empty.emptyList();
            const Run b = empty.scan(program, trees[static_cast<size_t>(i)]);
            if (i == 0) continue;  // warming up
            into.push_back(a.seconds);
            intoEmpty.push_back(b.seconds);
            ratio.push_back(a.seconds / b.seconds);
        }
        std::printf("%12zu %10.3f s %10.3f s %8.2f %12.2f s %10.1f MiB\n", n, median(into),
                    median(intoEmpty), median(ratio), build.seconds, build.peakMiB);
        std::fflush(stdout);
    }
    fs::remove_all(media);
}

void firstScans(const std::vector<size_t>& sizes, const std::string& folder,
                const std::string& program) {
    std::printf(
        "\nErstscan eines Baums in eine leere Liste gegen find -printf "
        "(ganze Prozesse, abwechselnd, Median aus %d)\n",
        kRuns);
    std::printf("%12s %12s %12s %8s %12s\n", "Dateien", "mv32", "find", "Verh.", "Speicher");
    for (size_t n : sizes) {
        const std::string media = folder + "/baum-" + std::to_string(n) + "/";
        if (!fs::exists(media + "fertig")) {
            fs::remove_all(media);
            makeTree(media + "t/", n);
            std::ofstream(media + "fertig") << n << "\n";
        }
        const Home home{folder + "/erstscan", media};
        home.prepare();
        std::vector<double> ours, finds, ratio, peak;
        for (int i = 0; i <= kRuns; ++i) {
            home.emptyList();
            const Run a = home.scan(program, media + "t");
            const Run b = spawn({"find", media + "t", "-printf", "%h/\t%f\t%s\n"}, {});
            if (i == 0) continue;
            ours.push_back(a.seconds);
            finds.push_back(b.seconds);
            ratio.push_back(a.seconds / b.seconds);
            peak.push_back(a.peakMiB);
        }
        std::printf("%12zu %10.3f s %10.3f s %8.2f %8.1f MiB\n", n, median(ours), median(finds),
                    median(ratio), median(peak));
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--build") return buildIndex(argv[2]);
    std::vector<size_t> listSizes, treeSizes;
    std::vector<size_t>* into = &listSizes;
    std::string folder;
    bool named = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--lists" || a == "--trees") {
            into = a == "--lists" ? &listSizes : &treeSizes;
            named = true;
        } else if (!a.empty() && std::all_of(a.begin(), a.end(), ::isdigit)) {
            into->push_back(std::stoul(a));
        } else {
            folder = a;
        }
    }
    if (folder.empty()) {
        std::fprintf(stderr, "Aufruf: change_bench [--lists N...] [--trees N...] ORDNER\n");
        return 2;
    }
    if (!named) {
        listSizes = {100000, 1000000, 10000000};
        treeSizes = {300000, 1000000};
    }
    folder = fs::absolute(folder).string();
    fs::create_directories(folder);
    const std::string self = fs::absolute(argv[0]).string();
    if (!listSizes.empty()) lists(listSizes, folder, self, MV32_PROGRAM);
    if (!treeSizes.empty()) firstScans(treeSizes, folder, MV32_PROGRAM);
    return 0;
}
