// The real file system on POSIX systems: pread/pwrite, fdatasync and open-file-description locks.
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/EngineError.h"
#include "engine/FileSystem.h"

namespace mv32::engine {

namespace {

class PosixFile final : public File {
public:
    PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixFile() override { ::close(fd_); }

    const std::string& path() const override { return path_; }

    size_t read(uint64_t off, void* buf, size_t n) override {
        size_t done = 0;
        auto* p = static_cast<char*>(buf);
        while (done < n) {
            ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(off + done));
            if (r < 0) {
                if (errno == EINTR) continue;
                throwSystemError(errno, "Lesen", path_);
            }
            if (r == 0) break;
            done += static_cast<size_t>(r);
        }
        return done;
    }

    void write(uint64_t off, const void* buf, size_t n) override {
        size_t done = 0;
        const auto* p = static_cast<const char*>(buf);
        while (done < n) {
            ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(off + done));
            if (r < 0) {
                if (errno == EINTR) continue;
                throwSystemError(errno, "Schreiben", path_);
            }
            if (r == 0) throwSystemError(ENOSPC, "Schreiben", path_);
            done += static_cast<size_t>(r);
        }
    }

    void sync() override {
        if (::fdatasync(fd_) != 0) throwSystemError(errno, "Sichern auf den Datenträger", path_);
    }

    uint64_t size() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) throwSystemError(errno, "Lesen der Größe", path_);
        return static_cast<uint64_t>(st.st_size);
    }

    void truncate(uint64_t size) override {
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
            throwSystemError(errno, "Kürzen", path_);
        }
    }

    void* mapShared(uint64_t offset, size_t length) override {
        // Without reserved blocks, storing into a mapping on a full medium ends the process
        // with SIGBUS instead of failing a call: no space, no mapping.
        int rc;
        do {
            rc = ::posix_fallocate(fd_, static_cast<off_t>(offset), static_cast<off_t>(length));
        } while (rc == EINTR);
        if (rc != 0) return nullptr;
        void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                         static_cast<off_t>(offset));
        if (p == MAP_FAILED) return nullptr;
#ifdef MADV_POPULATE_WRITE
        // The log fills its mapping a few dozen bytes at a time: one call makes every page
        // writable at once instead of a fault on the first store into each of them. Where the
        // kernel cannot, the faults stay.
        ::madvise(p, length, MADV_POPULATE_WRITE);
#endif
        return p;
    }

    void unmap(void* address, size_t length) override { ::munmap(address, length); }

    bool tryLock(uint64_t offset, LockKind kind) override {
        return setLock(offset, kind == LockKind::Shared ? F_RDLCK : F_WRLCK);
    }

    void unlock(uint64_t offset) override { setLock(offset, F_UNLCK); }

    bool lockedElsewhere(uint64_t offset, LockKind kind) override {
        struct flock fl {};
        fl.l_type = kind == LockKind::Shared ? F_RDLCK : F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(offset);
        fl.l_len = 1;
        fl.l_pid = 0;
        while (::fcntl(fd_, F_OFD_GETLK, &fl) != 0) {
            if (errno != EINTR) throwSystemError(errno, "Sperren", path_);
        }
        return fl.l_type != F_UNLCK;
    }

private:
    bool setLock(uint64_t offset, short type) {
        struct flock fl {};
        fl.l_type = type;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(offset);
        fl.l_len = 1;
        fl.l_pid = 0;
        for (;;) {
            if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) return true;
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EACCES) return false;
            throwSystemError(errno, "Sperren", path_);
        }
    }

    int fd_;
    std::string path_;
};

class PosixFileSystem final : public FileSystem {
public:
    std::unique_ptr<File> open(const std::string& path, bool create) override {
        int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0);
        int fd;
        do {
            fd = ::open(path.c_str(), flags, 0644);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) throwSystemError(errno, "Öffnen", path);
        return std::make_unique<PosixFile>(fd, path);
    }

    std::unique_ptr<File> openReadOnly(const std::string& path) override {
        int fd;
        do {
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) throwSystemError(errno, "Öffnen", path);
        return std::make_unique<PosixFile>(fd, path);
    }

    bool exists(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    void remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            throwSystemError(errno, "Löschen", path);
        }
    }

    void rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) throwSystemError(errno, "Umbenennen", from);
    }

    void syncDir(const std::string& dir) override {
        int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) throwSystemError(errno, "Öffnen des Ordners", dir);
        int rc = ::fsync(fd);
        int err = errno;
        ::close(fd);
        if (rc != 0 && err != EINVAL) throwSystemError(err, "Sichern des Ordners", dir);
    }

    void copyTimes(const std::string& from, const std::string& to) override {
        struct stat st {};
        if (::stat(from.c_str(), &st) != 0) throwSystemError(errno, "Lesen der Zeit", from);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (::utimensat(AT_FDCWD, to.c_str(), times, 0) != 0)
            throwSystemError(errno, "Setzen der Zeit", to);
    }

    std::unique_ptr<File> createNew(const std::string& path, const std::string& rightsOf,
                                    unsigned rights) override {
        struct stat model {};
        const bool modelled =
            !rightsOf.empty() && ::stat(rightsOf.c_str(), &model) == 0 && S_ISREG(model.st_mode);
        // Made with no more rights than it ends with: a private target's replacement is never
        // readable by others, not even while it is written.
        const mode_t mode = modelled ? (model.st_mode & 0777) : static_cast<mode_t>(rights);
        int fd;
        do {
            fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) throwSystemError(errno, "Anlegen", path);
        // The mask may have taken rights away that the model has. A medium without rights
        // (FAT) refuses: there is nothing to keep there.
        if (modelled) (void)::fchmod(fd, model.st_mode & 0777);
        return std::make_unique<PosixFile>(fd, path);
    }

    bool removeUnlocked(const std::string& path, uint64_t lockOffset) override {
        // Only a plain file is opened: a device is not even touched, a FIFO never waited for.
        struct stat seen {};
        if (::lstat(path.c_str(), &seen) != 0 || !S_ISREG(seen.st_mode)) return false;
        const int fd =
            ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return false;
        PosixFile f(fd, path);
        struct stat opened {};
        struct stat now {};
        if (::fstat(fd, &opened) != 0 || opened.st_ino != seen.st_ino ||
            opened.st_dev != seen.st_dev || !f.tryLock(lockOffset, LockKind::Exclusive))
            return false;
        // The name still holds the file locked (nothing was put in its place meanwhile).
        if (::lstat(path.c_str(), &now) != 0 || now.st_ino != opened.st_ino ||
            now.st_dev != opened.st_dev)
            return false;
        return ::unlink(path.c_str()) == 0;
    }

    std::vector<std::string> list(const std::string& dir) override {
        std::vector<std::string> names;
        DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
        if (!d) throwSystemError(errno, "Lesen des Ordners", dir);
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(std::move(n));
        }
        ::closedir(d);
        return names;
    }
};

}  // namespace

std::shared_ptr<FileSystem> FileSystem::real() {
    static std::shared_ptr<FileSystem> fs = std::make_shared<PosixFileSystem>();
    return fs;
}

}  // namespace mv32::engine

#endif  // _WIN32
