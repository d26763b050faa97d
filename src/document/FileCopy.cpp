#include "document/FileCopy.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace mv32::document {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int err) {
    throw std::runtime_error(what + " »" + path + "«: " + std::strerror(err));
}

void copyOne(const CopyJob& job, int64_t& done, const std::function<void(int64_t)>& progress) {
    std::FILE* in = std::fopen(job.from.c_str(), "rb");
    if (!in) fail("Die Datei kann nicht gelesen werden:", job.from, errno);
    const std::string tmp = job.to + ".kopie";
    std::FILE* out = std::fopen(tmp.c_str(), "wb");
    if (!out) {
        int err = errno;
        std::fclose(in);
        fail("Die Datei kann nicht angelegt werden:", tmp, err);
    }
    std::vector<char> buf(1 << 20);
    int err = 0;
    std::string failedPath;
    for (;;) {
        size_t n = std::fread(buf.data(), 1, buf.size(), in);
        if (n == 0) {
            if (std::ferror(in)) {
                err = errno ? errno : EIO;
                failedPath = job.from;
            }
            break;
        }
        if (std::fwrite(buf.data(), 1, n, out) != n) {
            err = errno ? errno : EIO;
            failedPath = job.to;
            break;
        }
        done += static_cast<int64_t>(n);
        if (progress) progress(done);
    }
    std::fclose(in);
    if (!err && std::fflush(out) != 0) {
        err = errno;
        failedPath = job.to;
    }
#ifndef _WIN32
    if (!err && ::fsync(fileno(out)) != 0) {
        err = errno;
        failedPath = job.to;
    }
#endif
    if (std::fclose(out) != 0 && !err) {
        err = errno;
        failedPath = job.to;
    }
    std::error_code ec;
    if (!err) {
        fs::last_write_time(tmp, fs::last_write_time(job.from, ec), ec);
        fs::rename(tmp, job.to, ec);
        if (ec) {
            err = ec.value();
            failedPath = job.to;
        }
    }
    if (err) {
        fs::remove(tmp, ec);
        fail(failedPath == job.from ? "Die Datei kann nicht gelesen werden:"
                                    : "Die Datei kann nicht geschrieben werden:",
             failedPath, err);
    }
}

}  // namespace

void copyFiles(const std::vector<CopyJob>& jobs, const std::function<void(int64_t)>& started,
               const std::function<void(int64_t)>& progress) {
    int64_t total = 0;
    for (const auto& job : jobs) {
        std::error_code ec;
        auto size = fs::file_size(job.from, ec);
        if (ec) fail("Die Datei kann nicht kopiert werden:", job.from, ec.value());
        total += static_cast<int64_t>(size);
    }
    if (started) started(total);
    int64_t done = 0;
    for (const auto& job : jobs) copyOne(job, done, progress);
}

}  // namespace mv32::document
