#include "scan/ToolRunner.h"

#include <cerrno>
#include <chrono>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace mv32::scan {

ToolResult runTool(const std::vector<std::string>& argv, const std::string& workingFolder,
                   int limitMs) {
    ToolResult result;
#ifndef _WIN32
    if (argv.empty()) return result;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (!workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    posix_spawnattr_setpgroup(&attr, 0);  // a group of its own, stopped as a whole
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        // Not there, not executable, not a program: passed over. Anything else (no process or
        // no handle left for it) is a failure of the runner.
        switch (rc) {
            case ENOENT: case EACCES: case ENOEXEC: case ENOTDIR: case ELOOP: case ENAMETOOLONG:
            case EPERM: case EISDIR:
                break;
            default:
                result.failed = true;
        }
        return result;
    }
    result.started = true;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    int status = 0;
    for (;;) {
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) {
            result.failed = true;
            return result;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            if (::kill(-pid, SIGKILL) != 0) result.failed = true;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            result.stopped = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // A tool that exited at once because it could not be executed (exit status 127 from the
    // spawn's own child) counts as not started.
    if (!result.stopped && WIFEXITED(status) && WEXITSTATUS(status) == 127) result.started = false;
#else
    (void)argv;
    (void)workingFolder;
    (void)limitMs;
#endif
    return result;
}

}  // namespace mv32::scan
