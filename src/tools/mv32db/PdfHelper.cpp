#include "tools/mv32db/PdfHelper.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#include <cerrno>
#include <filesystem>
#include <ostream>

#include "engine/EngineError.h"
#include "engine/FileSystem.h"
#include "engine/SystemPaths.h"

namespace mv32::tools {

namespace {

PdfWriter writer = nullptr;

constexpr const char* kHelper = "mv32db-pdf";

// The helper's path: beside the running program.
std::filesystem::path helperPath() {
#ifdef _WIN32
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (n == 0) return {};
        if (n < self.size()) {
            self.resize(n);
            break;
        }
        self.resize(self.size() * 2);
    }
    return std::filesystem::path(self).parent_path() / (std::string(kHelper) + ".exe");
#else
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return self.parent_path() / kHelper;
#endif
}

[[noreturn]] void helperMissing() {
    throw engine::EngineError(engine::ErrorKind::Usage,
                              std::string("Das Hilfsprogramm ") + engine::quoted(kHelper) +
                                  " fehlt neben mv32db: Ohne Qt kann mv32db keine PDF-Datei "
                                  "schreiben.");
}

}  // namespace

void setPdfWriter(PdfWriter w) {
    writer = w;
}

PdfWriter pdfWriter() {
    return writer;
}

#ifdef _WIN32
// The helper writes to this program's console itself: its output does not pass `out`/`err`.
int runPdfHelper(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::filesystem::path path = helperPath();
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) helperMissing();
    out.flush();
    err.flush();
    // Each argument quoted as the C runtime of the helper splits its command line.
    auto quote = [](const std::wstring& a) {
        std::wstring q = L"\"";
        size_t backslashes = 0;
        for (wchar_t c : a) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            q.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
            backslashes = 0;
            q.push_back(c);
        }
        q.append(backslashes * 2, L'\\');
        return q + L"\"";
    };
    std::vector<std::wstring> quoted{quote(path.wstring())};
    for (const auto& a : args) quoted.push_back(quote(engine::paths::fsPath(a).wstring()));
    std::vector<const wchar_t*> argv;
    for (const auto& q : quoted) argv.push_back(q.c_str());
    argv.push_back(nullptr);
    const intptr_t status = _wspawnv(_P_WAIT, path.wstring().c_str(), argv.data());
    if (status < 0) engine::throwSystemError(errno, "Das Starten", path.string());
    return static_cast<int>(status);
}
#else
int runPdfHelper(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string path = helperPath().string();
    if (path.empty() || access(path.c_str(), X_OK) != 0) helperMissing();
    int o[2], e[2];
    if (pipe2(o, O_CLOEXEC) != 0) engine::throwSystemError(errno, "Das Starten", path);
    if (pipe2(e, O_CLOEXEC) != 0) {
        const int why = errno;
        close(o[0]);
        close(o[1]);
        engine::throwSystemError(why, "Das Starten", path);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, o[1], 1);
    posix_spawn_file_actions_adddup2(&actions, e[1], 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int started = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(o[1]);
    close(e[1]);
    if (started != 0) {
        close(o[0]);
        close(e[0]);
        engine::throwSystemError(started, "Das Starten", path);
    }
    // Both pipes are read as they fill, so that the helper never waits on a full one.
    pollfd fds[2] = {{o[0], POLLIN, 0}, {e[0], POLLIN, 0}};
    std::ostream* to[2] = {&out, &err};
    int open = 2;
    char buf[1 << 14];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                to[i]->write(buf, n);
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) close(f.fd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    err << "mv32db: Das Hilfsprogramm " << engine::quoted(kHelper) << " wurde beendet (Signal "
        << WTERMSIG(status) << ").\n";
    return 1;
}
#endif

}  // namespace mv32::tools
