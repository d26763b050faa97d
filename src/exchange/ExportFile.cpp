#include "exchange/ExportFile.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>

#include <filesystem>
#include <system_error>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "engine/EngineError.h"
#include "engine/FileSystem.h"
#include "engine/SystemPaths.h"

namespace mv32::exchange {

namespace {

constexpr size_t kBuffer = 1 << 16;

#ifdef _WIN32
constexpr int kOpenFlags = _O_BINARY | _O_NOINHERIT;
int openFile(const std::string& path, int flags) {
    return ::_wopen(engine::paths::fsPath(path).c_str(), flags, _S_IREAD | _S_IWRITE);
}
void removeFile(const std::string& path) {
    ::_wunlink(engine::paths::fsPath(path).c_str());
}
int syncFile(int fd) {
    return ::_commit(fd);
}
int writeSome(int fd, const char* p, size_t n) {
    return ::_write(fd, p, static_cast<unsigned>(std::min<size_t>(n, 1u << 30)));
}
// Replaces the target as rename does on POSIX systems (std::rename refuses an existing one).
int replaceFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::rename(engine::paths::fsPath(from), engine::paths::fsPath(to), ec);
    if (!ec) return 0;
    errno = ec.default_error_condition().category() == std::generic_category()
                ? ec.default_error_condition().value()
                : EIO;
    return -1;
}
#else
constexpr int kOpenFlags = O_CLOEXEC;
int openFile(const std::string& path, int flags) {
    return ::open(path.c_str(), flags, 0666);
}
void removeFile(const std::string& path) {
    ::unlink(path.c_str());
}
int syncFile(int fd) {
    return ::fsync(fd);
}
ssize_t writeSome(int fd, const char* p, size_t n) {
    return ::write(fd, p, n);
}
int replaceFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str());
}
#endif

}  // namespace

ExportFile::ExportFile(std::string target)
    : target_(std::move(target)), temp_(target_ + ".~exp") {
    open(true);
}

ExportFile::~ExportFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) removeFile(temp_);
}

void ExportFile::open(bool fresh) {
    const int flags = O_WRONLY | kOpenFlags | (fresh ? O_CREAT | O_TRUNC : O_APPEND);
    fd_ = openFile(temp_, flags);
    if (fd_ < 0) fail(errno, "Anlegen");
}

void ExportFile::fail(int err, const char* action) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    removeFile(temp_);
    committed_ = true;  // nothing is left to remove
    const std::string reason = engine::systemErrorReason(err);
    throw engine::EngineError(err == ENOSPC ? engine::ErrorKind::DiskFull : engine::ErrorKind::Io,
                              std::string(action) + " der Datei " + engine::quoted(target_) +
                                  " ist fehlgeschlagen: " + reason + ".",
                              reason);
}

void ExportFile::write(std::string_view bytes) {
    if (committed_) return;
    buffer_.append(bytes);
    if (buffer_.size() >= kBuffer) flush();
}

void ExportFile::flush() {
    if (buffer_.empty()) return;
    if (fd_ < 0) open(false);
    size_t done = 0;
    while (done < buffer_.size()) {
        const auto n = writeSome(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail(errno, "Schreiben");
        done += static_cast<size_t>(n);
    }
    buffer_.clear();
}

void ExportFile::setAside() {
    flush();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void ExportFile::commit() {
    if (committed_) return;
    flush();
    if (fd_ < 0) open(false);
    if (syncFile(fd_) != 0) fail(errno, "Schreiben");
    if (::close(fd_) != 0) {
        fd_ = -1;
        fail(errno, "Schreiben");
    }
    fd_ = -1;
    if (replaceFile(temp_, target_) != 0) fail(errno, "Schreiben");
    committed_ = true;
}

}  // namespace mv32::exchange
