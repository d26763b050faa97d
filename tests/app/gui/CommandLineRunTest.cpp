// The real program started from a command line as a file manager, a timed job or a script
// would start it: a scan that closes by itself never waits for a person, on any path out.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "platform/SingleInstance.h"
#include "support/TempDir.h"

extern char** environ;

namespace mv32::test {
namespace {

namespace fs = std::filesystem;

struct ProgramRun {
    int status = -1;  // -1: still waiting at the limit, so it was stopped
    std::string err;
};

class CommandLineRun : public ::testing::Test {
protected:
    CommandLineRun() {
        fs::create_directories(home.file("config/mavrel32"));
        fs::create_directories(home.file("daten"));
        fs::create_directories(medium.file("ordner"));
        std::ofstream(medium.file("ordner/programm.exe")) << "x";
        std::ofstream(home.file("volumes")) << "D\t" << medium.path() << "\tMEDIEN\t00C0FFEE\t10\t1\n";
        settings("DatenbankPfad=" + home.file("daten/") + "\nCreateLogFile=1\n");
    }
    void settings(const std::string& lines) {
        std::ofstream(home.file("config/mavrel32/settings.ini")) << "[Settings]\n" << lines;
    }
    // Runs the program with its own program folder, settings and runtime folder; a run that
    // still waits after a minute (for a dialog nobody sees) is stopped and fails the test.
    ProgramRun run(const std::vector<std::string>& args) {
        std::vector<std::string> env = {
            "MV32_HOME=" + home.file("programm"), "XDG_CONFIG_HOME=" + home.file("config"),
            "XDG_RUNTIME_DIR=" + home.path(),    "MV32_VOLUMES=" + home.file("volumes"),
            "QT_QPA_PLATFORM=offscreen",         "HOME=" + home.path()};
        for (char** e = environ; *e; ++e) {
            const std::string v = *e;
            if (v.rfind("PATH=", 0) == 0 || v.rfind("ASAN_OPTIONS=", 0) == 0 ||
                v.rfind("UBSAN_OPTIONS=", 0) == 0 || v.rfind("TMPDIR=", 0) == 0)
                env.push_back(v);
        }
        std::vector<char*> argv{const_cast<char*>(MV32_PROGRAM)}, envp;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        const std::string errFile = home.file("stderr.txt");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, MV32_PROGRAM, &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ProgramRun result;
        if (rc != 0) return result;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > limit) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return result;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::ifstream in(errFile);
        std::stringstream text;
        text << in.rdbuf();
        result.err = text.str();
        return result;
    }
    TempDir home;
    TempDir medium;
};

TEST_F(CommandLineRun, AScanThatClosesEndsWithItsStatusAndNeverWaits) {
    // Done: status 0, nothing told on standard error.
    ProgramRun done = run({"dir", medium.file("ordner"), "close"});
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(done.err.find("Mavrel/32:"), std::string::npos) << done.err;
    EXPECT_TRUE(fs::exists(home.file("daten/mv32list.db")));

    // A damaged file list would ask for another data folder: the run ends, telling why.
    fs::resize_file(home.file("daten/mv32list.db"), 0);
    ProgramRun damaged = run({"dir", medium.file("ordner"), "close"});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.err.find("Anlegen der Datenbank ist nicht möglich!"), std::string::npos)
        << damaged.err;

    // Saving the catalog fails (its backup folder is a file): the error box is not shown.
    fs::remove(home.file("daten/mv32list.db"));
    settings("DatenbankPfad=" + home.file("daten/") + "\nBackup=1\n");
    fs::remove_all(home.file("programm/Backup"));
    std::ofstream(home.file("programm/Backup")) << "kein Ordner";
    ProgramRun unsaved = run({"dir", medium.file("ordner"), "close"});
    EXPECT_EQ(unsaved.status, 1);
    EXPECT_NE(unsaved.err.find("Mavrel/32: Anlegen der Datei »" +
                               home.file("programm/Backup/drivescan.db") + "«"),
              std::string::npos)
        << unsaved.err;

    // A command the program does not know, with CLOSE: logged, told, and no window waits.
    ProgramRun unknown = run({"foo", "D:", "close"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("Mavrel/32: Die Befehlszeile »foo D: close« wird nicht "
                               "ausgeführt"),
              std::string::npos)
        << unknown.err;
}

TEST_F(CommandLineRun, ASecondInstanceThatClosesTellsItIsNotRunAndEnds) {
    platform::SingleInstance first;
    ASSERT_TRUE(first.acquire(home.path()));
    ProgramRun second = run({"dir", medium.file("ordner"), "close"});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("Der Mavrel/32 läuft bereits!"), std::string::npos) << second.err;
    EXPECT_FALSE(fs::exists(home.file("daten/mv32list.db")));
}

}  // namespace
}  // namespace mv32::test
