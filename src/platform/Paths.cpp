#include "platform/Paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "engine/PathNames.h"

namespace fs = std::filesystem;

namespace mv32::platform {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string homeSub(const char* xdgName, const char* fallback) {
    std::string dir = env(xdgName);
    if (dir.empty()) dir = env("HOME") + fallback;
    return withTrailingSeparator(dir);
}

bool writable(const std::string& dir) {
#ifdef _WIN32
    std::error_code ec;
    return fs::is_directory(dir, ec);
#else
    return access(dir.c_str(), W_OK) == 0;
#endif
}

}  // namespace

const char* separator() {
#ifdef _WIN32
    return "\\";
#else
    return "/";
#endif
}

std::string withTrailingSeparator(std::string path) {
    if (path.empty() || path.back() != separator()[0]) path += separator();
    return path;
}

std::string executableDir() {
    std::error_code ec;
#ifdef _WIN32
    fs::path exe;  // the Windows build asks GetModuleFileName; not part of this build yet
#else
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
#endif
    if (ec || exe.empty()) return withTrailingSeparator(fs::current_path(ec).string());
    return withTrailingSeparator(exe.parent_path().string());
}

std::string programDir(bool* created) {
    std::string dir = env("MV32_HOME");
    if (dir.empty()) {
        dir = executableDir();
        if (!writable(dir)) dir = homeSub("XDG_DATA_HOME", "/.local/share") + "mavrel32";
    }
    dir = withTrailingSeparator(dir);
    std::error_code ec;
    const bool existed = fs::is_directory(dir, ec);
    createFolders(dir);
    if (created) *created = !existed && fs::is_directory(dir, ec);
    return dir;
}

std::string settingsFilePath() {
    return homeSub("XDG_CONFIG_HOME", "/.config") + "mavrel32" + separator() + "settings.ini";
}

std::string runtimeDir() {
    std::string dir = env("XDG_RUNTIME_DIR");
    return dir.empty() ? tempDir() : withTrailingSeparator(dir);
}

std::string tempDir() {
    std::error_code ec;
    fs::path p = fs::temp_directory_path(ec);
    return withTrailingSeparator(ec ? std::string("/tmp") : p.string());
}

bool createFolders(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    return fs::is_directory(path, ec);
}

std::string fileNameOf(const std::string& path) {
    return engine::paths::fileNameOf(path);
}

std::string folderOf(const std::string& path) {
    return engine::paths::folderOf(path);
}

}  // namespace mv32::platform
