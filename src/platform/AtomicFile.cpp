#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <fstream>

#include "engine/SystemPaths.h"
#include "platform/Paths.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace mv32::platform {

std::optional<std::string> readWholeFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(engine::paths::fsPath(path), ec)) return std::nullopt;
    std::FILE* f = engine::paths::openFile(path, "rb");
    if (!f) return std::nullopt;
    std::string data;
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return std::nullopt;
    return data;
}

int writeFileAtomically(const std::string& path, const std::string& data, bool executable) {
    createFolders(folderOf(path));
    const std::string tmp = path + ".neu";
#ifdef _WIN32
    (void)executable;
    std::ofstream out(engine::paths::fsPath(tmp), std::ios::binary | std::ios::trunc);
    out << data;
    out.close();
    if (!out) return EIO;
    // Replaces the old file in one step (MoveFileExW), as rename does on POSIX systems.
    std::error_code ec;
    std::filesystem::rename(engine::paths::fsPath(tmp), engine::paths::fsPath(path), ec);
    return ec ? EIO : 0;
#else
    int fd =
        ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, executable ? 0755 : 0644);
    bool ok = fd >= 0;
    size_t done = 0;
    while (ok && done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    int err = ok ? 0 : errno;
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        err = errno;
        ok = false;
    }
    if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) {
        err = errno;
        ok = false;
    }
    if (!ok) ::unlink(tmp.c_str());
    return ok ? 0 : (err ? err : EIO);
#endif
}

}  // namespace mv32::platform
