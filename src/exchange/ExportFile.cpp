#include "exchange/ExportFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "engine/EngineError.h"
#include "engine/FileSystem.h"

namespace mv32::exchange {

namespace {

constexpr size_t kBuffer = 1 << 16;

}  // namespace

ExportFile::ExportFile(std::string target)
    : target_(std::move(target)), temp_(target_ + ".~exp") {
    open(true);
}

ExportFile::~ExportFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_.c_str());
}

void ExportFile::open(bool fresh) {
    const int flags = O_WRONLY | O_CLOEXEC | (fresh ? O_CREAT | O_TRUNC : O_APPEND);
    fd_ = ::open(temp_.c_str(), flags, 0666);
    if (fd_ < 0) fail(errno, "Anlegen");
}

void ExportFile::fail(int err, const char* action) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    ::unlink(temp_.c_str());
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
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
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
    if (::fsync(fd_) != 0) fail(errno, "Schreiben");
    if (::close(fd_) != 0) {
        fd_ = -1;
        fail(errno, "Schreiben");
    }
    fd_ = -1;
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) fail(errno, "Schreiben");
    committed_ = true;
}

}  // namespace mv32::exchange
