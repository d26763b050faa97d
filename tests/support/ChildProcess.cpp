#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/SystemPaths.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace mv32::test {

namespace {

constexpr const char* kVariable = "MV32_TEST_CHILD";
// Separates the arguments in the variable (no path holds it).
constexpr char kFieldSeparator = '\x1f';
constexpr char kValueSeparator = '\x1e';

std::string encode(const ChildArgs& args) {
    std::string s;
    for (const auto& [k, v] : args) {
        if (!s.empty()) s += kFieldSeparator;
        s += k;
        s += kValueSeparator;
        s += v;
    }
    return s;
}

ChildArgs decode(const std::string& s) {
    ChildArgs args;
    std::istringstream in(s);
    std::string field;
    while (std::getline(in, field, kFieldSeparator)) {
        const auto at = field.find(kValueSeparator);
        if (at != std::string::npos) args[field.substr(0, at)] = field.substr(at + 1);
    }
    return args;
}

// The test that runs now, as --gtest_filter names it.
std::string currentTest() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!info) throw std::logic_error("Ein Kindprozess braucht einen laufenden Test.");
    return std::string(info->test_suite_name()) + "." + info->name();
}

std::FILE* reportFile = nullptr;

}  // namespace

namespace {

ChildArgs& argsOfThisProcess() {
    static ChildArgs args = [] {
        const char* v = std::getenv(kVariable);
        return v ? decode(v) : ChildArgs{};
    }();
    return args;
}

}  // namespace

const ChildArgs& childArgs() {
    return argsOfThisProcess();
}

std::string childPart() {
    auto it = childArgs().find("part");
    return it == childArgs().end() ? std::string() : it->second;
}

void endChild(int code) {
    if (reportFile) std::fflush(reportFile);
    std::fflush(stderr);
    _exit(code);
}

void report(const void* bytes, size_t n) {
    if (!reportFile) {
        reportFile = engine::paths::openFile(childArgs().at("report"), "ab");
        if (!reportFile) endChild(3);
        std::setvbuf(reportFile, nullptr, _IONBF, 0);
    }
    if (std::fwrite(bytes, 1, n, reportFile) != n) endChild(3);
}

void touchFile(const std::string& path) {
    std::ofstream(engine::paths::fsPath(path), std::ios::binary | std::ios::app);
}

bool waitForFile(const std::string& path, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::error_code ec;
    while (!std::filesystem::exists(engine::paths::fsPath(path), ec)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string readReport(const std::string& path) {
    std::ifstream in(engine::paths::fsPath(path), std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

#ifdef _WIN32

// The exit code TerminateProcess gives a killed child.
constexpr UINT kKilled = 0xDEAD;

struct Child::Handle {
    HANDLE process = nullptr;
};

Child::Child(const ChildArgs& args) : h_(new Handle) {
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    const std::wstring line =
        L"\"" + self + L"\" --gtest_filter=" + engine::paths::fsPath(currentTest()).wstring();
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = nul;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    // The child finds its part in its environment, which it inherits from this one.
    const std::wstring value = engine::paths::fsPath(encode(args)).wstring();
    SetEnvironmentVariableW(L"MV32_TEST_CHILD", value.c_str());
    PROCESS_INFORMATION pi{};
    BOOL ok = FALSE;
    DWORD why = 0;
    // Under wine a start right after a kill fails now and then with an internal error; the
    // next try succeeds.
    for (int attempt = 0; attempt < 10 && !ok; ++attempt) {
        if (attempt) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::wstring mutableLine = line;
        ok = CreateProcessW(self.c_str(), mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                            nullptr, &si, &pi);
        why = GetLastError();
    }
    SetEnvironmentVariableW(L"MV32_TEST_CHILD", nullptr);
    CloseHandle(nul);
    if (!ok) {
        delete h_;
        throw std::runtime_error("Der Kindprozess konnte nicht gestartet werden (Systemfehler " +
                                 std::to_string(why) + ").");
    }
    CloseHandle(pi.hThread);
    h_->process = pi.hProcess;
}

Child::Child(const ChildArgs& args, const std::function<void()>&) : Child(args) {}

Child::~Child() {
    if (!done_) {
        kill();
        wait();
    }
    CloseHandle(h_->process);
    delete h_;
}

void Child::kill() {
    if (!done_) TerminateProcess(h_->process, kKilled);
}

int Child::wait() {
    if (done_) return code_;
    WaitForSingleObject(h_->process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(h_->process, &code);
    done_ = true;
    code_ = code == kKilled ? -1 : static_cast<int>(code);
    return code_;
}

#else

struct Child::Handle {
    pid_t pid = 0;
};

Child::Child(const ChildArgs& args) : h_(new Handle) {
    std::error_code ec;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    const std::string filter = "--gtest_filter=" + currentTest();
    std::vector<char*> argv = {const_cast<char*>(self.c_str()), const_cast<char*>(filter.c_str()),
                               nullptr};
    const std::string variable = std::string(kVariable) + "=" + encode(args);
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) {
        if (std::string(*e).rfind(std::string(kVariable) + "=", 0) != 0) env.push_back(*e);
    }
    env.push_back(const_cast<char*>(variable.c_str()));
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawn(&h_->pid, self.c_str(), &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        delete h_;
        throw std::runtime_error("Der Kindprozess konnte nicht gestartet werden: " +
                                 std::string(std::strerror(rc)) + ".");
    }
}

Child::Child(const ChildArgs& args, const std::function<void()>& part) : h_(new Handle) {
    std::fflush(nullptr);
    h_->pid = ::fork();
    if (h_->pid < 0) {
        const int why = errno;
        delete h_;
        throw std::runtime_error("Der Kindprozess konnte nicht gestartet werden: " +
                                 std::string(std::strerror(why)) + ".");
    }
    if (h_->pid == 0) {
        argsOfThisProcess() = args;
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, 1);
        part();
        endChild(0);
    }
}

Child::~Child() {
    if (!done_) {
        kill();
        wait();
    }
    delete h_;
}

void Child::kill() {
    if (!done_) ::kill(h_->pid, SIGKILL);
}

int Child::wait() {
    if (done_) return code_;
    int status = 0;
    while (waitpid(h_->pid, &status, 0) < 0 && errno == EINTR) {
    }
    done_ = true;
    code_ = WIFSIGNALED(status) ? -1 : WEXITSTATUS(status);
    return code_;
}

#endif

}  // namespace mv32::test
