// The scans of the scan benchmark, each started the way a person starts it: the scan dialog's
// foreground and background scans through the scan driver (with a console in place of the
// windows), and "DIR" and "SCANALL" through the program itself. The tree is declared as drive
// D, so every path finds it like a medium. Each runs in a child process of its own, which
// reports its time and whose peak memory is measured.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "document/AutoSave.h"
#include "document/CatalogDocument.h"
#include "document/ConsoleUserInterface.h"
#include "document/Log.h"
#include "document/MarshalledUserInterface.h"
#include "document/Settings.h"
#include "document/SettingsStore.h"
#include "platform/Clock.h"
#include "scan/ScanDriver.h"

extern char** environ;

namespace bench {

struct ScanRun {
    double seconds = -1;  // -1: the scan failed
    double peakMiB = 0;
};

// A person's setting for the scans: a program folder, a data folder for the file list, the
// settings file naming it, and the tree declared as drive D.
struct ScanHome {
    std::string base;
    std::string tree;
    std::string program() const { return base + "/programm/"; }
    std::string data() const { return base + "/daten/"; }
    std::string volumes() const { return base + "/volumes"; }
    std::string config() const { return base + "/config"; }

    // An empty data folder; the other folders as the program expects them.
    void reset() const {
        std::filesystem::remove_all(data());
        std::filesystem::remove_all(program());  // no medium scanned before
        for (const auto& d : {program(), data(), config() + "/mavrel32"})
            std::filesystem::create_directories(d);
        std::filesystem::permissions(base, std::filesystem::perms::owner_all);  // runtime folder
        std::ofstream(config() + "/mavrel32/settings.ini")
            << "[Settings]\nDatenbankPfad=" << data() << "\n";
        std::ofstream(volumes()) << "D\t" << tree << "\tBENCH\t00000001\t1000000\t1\n";
    }
};

namespace detail {

inline double since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// Runs `body` (returning seconds, or -1) in a child process.
template <typename F>
ScanRun inChild(F body) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        double s = body();
        if (::write(fds[1], &s, sizeof s) != static_cast<ssize_t>(sizeof s)) ::_exit(3);
        ::_exit(0);
    }
    ::close(fds[1]);
    ScanRun run;
    double s = -1;
    const bool got = ::read(fds[0], &s, sizeof s) == static_cast<ssize_t>(sizeof s);
    ::close(fds[0]);
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    if (got && WIFEXITED(status) && WEXITSTATUS(status) == 0) run.seconds = s;
    run.peakMiB = static_cast<double>(ru.ru_maxrss) / 1024.0;
    return run;
}

struct NullView : mv32::scan::ScanDialogView {
    void setStatus(const std::string&) override {}
    void setFileCount(int64_t) override {}
    void setNewFiles(int64_t) override {}
    void setState(mv32::scan::ScanDialogState) override {}
    void hideWindows(bool) override {}
};

}  // namespace detail

// The scan dialog's scan of drive D, in the foreground or in the background, with this
// process's thread answering the scan thread as the window's thread does.
inline ScanRun dialogScan(const ScanHome& home, bool background) {
    home.reset();
    return detail::inChild([&]() -> double {
        using namespace mv32;
        ::setenv("MV32_VOLUMES", home.volumes().c_str(), 1);
        std::ostringstream said;
        document::ConsoleUserInterface ui(said, "", true);
        document::MemorySettingsStore store;
        document::Settings settings = document::Settings::defaults(home.program());
        settings.DatenbankPfad = home.data();
        document::Log log(home.program(), platform::Clock::system());
        document::CatalogDocument doc(
            {ui, store, settings, log, platform::Clock::system(), home.program()});
        document::AutoSave autoSave(doc);
        document::UiCallQueue queue;
        scan::ScanFlags flags;
        scan::ScanDriver driver({doc, autoSave, queue, flags, home.program(), {}});
        detail::NullView view;
        const auto t = std::chrono::steady_clock::now();
        std::atomic<bool> done{false};
        std::thread scan([&] {
            if (background)
                driver.NewBaum3('d', view);
            else
                driver.NewBaum('d', view);
            done = true;
            queue.wake();
        });
        queue.pumpUntil([&] { return done.load(); });
        scan.join();
        const double s = detail::since(t);
        return ui.failed() ? -1 : s;
    });
}

// The program itself: `mv32 <args>` on the offscreen platform, in the person's setting.
inline ScanRun programScan(const ScanHome& home, const std::string& program,
                           const std::vector<std::string>& args) {
    home.reset();
    return detail::inChild([&]() -> double {
        std::vector<std::string> env = {"MV32_HOME=" + home.program(),
                                        "XDG_CONFIG_HOME=" + home.config(),
                                        "XDG_RUNTIME_DIR=" + home.base,
                                        "MV32_VOLUMES=" + home.volumes(),
                                        "QT_QPA_PLATFORM=offscreen",
                                        "HOME=" + home.base};
        for (char** e = environ; *e; ++e) {
            const std::string v = *e;
            if (v.rfind("PATH=", 0) == 0 || v.rfind("TMPDIR=", 0) == 0) env.push_back(v);
        }
        std::vector<char*> argv{const_cast<char*>(program.c_str())}, envp;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        const auto t = std::chrono::steady_clock::now();
        posix_spawn_file_actions_t quiet;  // the platform's remarks stay out of the table
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int spawned =
            ::posix_spawn(&pid, program.c_str(), &quiet, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&quiet);
        if (spawned != 0) return -1;
        int status = 0;
        ::waitpid(pid, &status, 0);
        const double s = detail::since(t);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
    });
}

}  // namespace bench
