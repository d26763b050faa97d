// The real file system on Windows: UTF-16 names, positioned ReadFile/WriteFile, FlushFileBuffers,
// LockFileEx byte locks and MoveFileExW with write-through.
//
// Locks. The engine relies on what POSIX locks do: a File object that holds a byte shared may
// take it exclusively and give it back as shared, in place. Windows does not convert a held
// lock: an exclusive request fails over the handle's own shared lock. A conversion is therefore
// done in steps (give up, take the other kind), and so that no other handle can take the byte
// between the steps, every handle takes a byte lock of its own range, or changes one, only while
// it holds that byte's guard byte exclusively. The guard is held for two or three calls; a
// process that ends loses its locks, guards included.
//
// Mappings. A view must begin at a multiple of the allocation granularity (64 KiB): a range
// asked for at a 4 KiB boundary is mapped from the boundary before it. A file that any handle
// still maps cannot be shortened, so the log gives its view up at the end of every write
// (Pager::endWrite). Stores through a view reach the medium with FlushViewOfFile, which sync()
// calls for every view before FlushFileBuffers.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "engine/EngineError.h"
#include "engine/FileSystem.h"
#include "engine/SystemPaths.h"

namespace mv32::engine {

namespace {

// The byte that guards the lock byte `offset` (the engine's lock bytes lie far past any data).
constexpr uint64_t kGuardDistance = 0x100;

// The engine's UTF-8 names as Windows takes them, and back.
std::wstring wide(const std::string& utf8) {
    return paths::fsPath(utf8).wstring();
}
std::string narrow(const wchar_t* w) {
    return paths::utf8Of(std::filesystem::path(w));
}

// The errno value that names the same cause, for the shared German reasons; 0 when none does.
int errnoOf(DWORD code) {
    switch (code) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return ENOENT;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_GEN_FAILURE:
        case ERROR_NOT_READY:
            return EIO;
        default:
            return 0;
    }
}

[[noreturn]] void throwWindowsError(DWORD code, const char* action, const std::string& path) {
    if (int err = errnoOf(code)) throwSystemError(err, action, path);
    const std::string why = "Systemfehler " + std::to_string(code);
    throw EngineError(
        ErrorKind::Io,
        std::string(action) + " der Datei " + quoted(path) + " ist fehlgeschlagen: " + why + ".",
        why);
}

OVERLAPPED at(uint64_t offset) {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return ov;
}

class WindowsFile final : public File {
public:
    WindowsFile(HANDLE h, std::string path) : h_(h), path_(std::move(path)) {}
    ~WindowsFile() override {
        while (!views_.empty()) unmap(views_.begin()->first, 0);
        CloseHandle(h_);
    }

    const std::string& path() const override { return path_; }

    size_t read(uint64_t off, void* buf, size_t n) override {
        size_t done = 0;
        auto* p = static_cast<char*>(buf);
        while (done < n) {
            OVERLAPPED ov = at(off + done);
            DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
            DWORD got = 0;
            if (!ReadFile(h_, p + done, want, &got, &ov)) {
                DWORD e = GetLastError();
                if (e == ERROR_HANDLE_EOF) break;
                throwWindowsError(e, "Lesen", path_);
            }
            if (got == 0) break;
            done += got;
        }
        return done;
    }

    void write(uint64_t off, const void* buf, size_t n) override {
        size_t done = 0;
        const auto* p = static_cast<const char*>(buf);
        while (done < n) {
            OVERLAPPED ov = at(off + done);
            DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
            DWORD put = 0;
            if (!WriteFile(h_, p + done, want, &put, &ov)) {
                throwWindowsError(GetLastError(), "Schreiben", path_);
            }
            if (put == 0) throwSystemError(ENOSPC, "Schreiben", path_);
            done += put;
        }
    }

    void sync() override {
        for (const auto& [address, view] : views_) {
            if (!FlushViewOfFile(view.base, 0)) {
                throwWindowsError(GetLastError(), "Sichern auf den Datenträger", path_);
            }
        }
        if (!FlushFileBuffers(h_)) {
            throwWindowsError(GetLastError(), "Sichern auf den Datenträger", path_);
        }
    }

    uint64_t size() override {
        LARGE_INTEGER s{};
        if (!GetFileSizeEx(h_, &s)) throwWindowsError(GetLastError(), "Lesen der Größe", path_);
        return static_cast<uint64_t>(s.QuadPart);
    }

    void truncate(uint64_t size) override {
        FILE_END_OF_FILE_INFO info{};
        info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
        if (!SetFileInformationByHandle(h_, FileEndOfFileInfo, &info, sizeof info)) {
            throwWindowsError(GetLastError(), "Kürzen", path_);
        }
    }

    void* mapShared(uint64_t offset, size_t length) override {
        SYSTEM_INFO si{};
        GetSystemInfo(&si);
        const uint64_t base = offset - offset % si.dwAllocationGranularity;
        const auto before = static_cast<size_t>(offset - base);
        // Of the whole file, which the caller has made long enough: the range's space is the
        // file's own, given when it was lengthened (a full disk fails that, not a store).
        HANDLE mapping = CreateFileMappingW(h_, nullptr, PAGE_READWRITE, 0, 0, nullptr);
        if (!mapping) return nullptr;
        void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, static_cast<DWORD>(base >> 32),
                                   static_cast<DWORD>(base & 0xFFFFFFFFu), before + length);
        if (!view) {
            CloseHandle(mapping);
            return nullptr;
        }
        void* address = static_cast<char*>(view) + before;
        views_[address] = View{view, mapping};
        return address;
    }

    void unmap(void* address, size_t /*length*/) override {
        auto it = views_.find(address);
        if (it == views_.end()) return;
        UnmapViewOfFile(it->second.base);
        CloseHandle(it->second.mapping);
        views_.erase(it);
    }

    bool tryLock(uint64_t offset, LockKind kind) override {
        auto it = held_.find(offset);
        if (it != held_.end() && it->second == kind) return true;
        Guard g(*this, offset);
        if (it == held_.end()) {
            if (!lock(offset, kind, false)) return false;
            held_[offset] = kind;
            return true;
        }
        // A change of kind: give the lock up and take the other one. Under the guard nobody
        // else takes this byte meanwhile, so a shared lock given up is always had back.
        unlockByte(offset);
        if (lock(offset, kind, false)) {
            it->second = kind;
            return true;
        }
        lock(offset, it->second, true);
        return false;
    }

    void unlock(uint64_t offset) override {
        auto it = held_.find(offset);
        if (it == held_.end()) return;
        Guard g(*this, offset);
        unlockByte(offset);
        held_.erase(it);
    }

    bool lockedElsewhere(uint64_t offset, LockKind kind) override {
        Guard g(*this, offset);
        auto it = held_.find(offset);
        if (it != held_.end()) {
            // Another handle's lock shows only once this one's is out of the way.
            const LockKind mine = it->second;
            if (kind == LockKind::Shared && mine == LockKind::Exclusive) return false;
            unlockByte(offset);
            const bool free = lock(offset, kind, false);
            if (free) unlockByte(offset);
            lock(offset, mine, true);
            return !free;
        }
        const bool free = lock(offset, kind, false);
        if (free) unlockByte(offset);
        return !free;
    }

private:
    // Holds the guard byte of `offset` exclusively for as long as it lives.
    class Guard {
    public:
        Guard(WindowsFile& f, uint64_t offset) : f_(f), at_(offset + kGuardDistance) {
            f_.lock(at_, LockKind::Exclusive, true);
        }
        ~Guard() { f_.unlockByte(at_); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        WindowsFile& f_;
        uint64_t at_;
    };

    // Takes one byte; without `wait` false when another handle holds it in a conflicting way.
    bool lock(uint64_t offset, LockKind kind, bool wait) {
        OVERLAPPED ov = at(offset);
        DWORD flags = (kind == LockKind::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) |
                      (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
        if (LockFileEx(h_, flags, 0, 1, 0, &ov)) return true;
        DWORD e = GetLastError();
        if (!wait && (e == ERROR_LOCK_VIOLATION || e == ERROR_IO_PENDING)) return false;
        throwWindowsError(e, "Sperren", path_);
    }

    void unlockByte(uint64_t offset) {
        OVERLAPPED ov = at(offset);
        UnlockFileEx(h_, 0, 1, 0, &ov);
    }

    struct View {
        void* base;  // where the view begins, at the granularity's boundary
        HANDLE mapping;
    };

    HANDLE h_;
    std::string path_;
    std::map<uint64_t, LockKind> held_;
    std::map<void*, View> views_;  // by the address mapShared returned
};

class WindowsFileSystem final : public FileSystem {
public:
    std::unique_ptr<File> open(const std::string& path, bool create) override {
        return openWith(path, GENERIC_READ | GENERIC_WRITE, create ? OPEN_ALWAYS : OPEN_EXISTING);
    }

    std::unique_ptr<File> openReadOnly(const std::string& path) override {
        return openWith(path, GENERIC_READ, OPEN_EXISTING);
    }

    bool exists(const std::string& path) override {
        DWORD a = GetFileAttributesW(wide(path).c_str());
        return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
    }

    void remove(const std::string& path) override {
        if (DeleteFileW(wide(path).c_str())) return;
        DWORD e = GetLastError();
        if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND) {
            throwWindowsError(e, "Löschen", path);
        }
    }

    void rename(const std::string& from, const std::string& to) override {
        if (!MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            throwWindowsError(GetLastError(), "Umbenennen", from);
        }
    }

    // The folder's entries are made durable with the files' own metadata (MoveFileExW with
    // write-through; NTFS journals its folders): there is nothing of its own to flush.
    void syncDir(const std::string& /*dir*/) override {}

    void copyTimes(const std::string& from, const std::string& to) override {
        WIN32_FILE_ATTRIBUTE_DATA d{};
        if (!GetFileAttributesExW(wide(from).c_str(), GetFileExInfoStandard, &d)) {
            throwWindowsError(GetLastError(), "Lesen der Zeit", from);
        }
        HANDLE h = CreateFileW(wide(to).c_str(), FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) throwWindowsError(GetLastError(), "Setzen der Zeit", to);
        const BOOL ok = SetFileTime(h, nullptr, &d.ftLastAccessTime, &d.ftLastWriteTime);
        const DWORD e = GetLastError();
        CloseHandle(h);
        if (!ok) throwWindowsError(e, "Setzen der Zeit", to);
    }

    // CREATE_NEW fails on any entry of that name, a link included; Windows files take the
    // rights of their folder, so there are none to copy.
    std::unique_ptr<File> createNew(const std::string& path, const std::string& /*rightsOf*/,
                                    unsigned /*rights*/) override {
        return openWith(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, "Anlegen");
    }

    bool removeUnlocked(const std::string& path, uint64_t lockOffset) override {
        const DWORD a = GetFileAttributesW(wide(path).c_str());
        if (a == INVALID_FILE_ATTRIBUTES ||
            (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
            return false;
        return FileSystem::removeUnlocked(path, lockOffset);
    }

    std::vector<std::string> list(const std::string& dir) override {
        std::vector<std::string> names;
        std::string pattern = dir.empty() ? std::string(".") : dir;
        if (pattern.back() != '/' && pattern.back() != '\\') pattern += '\\';
        pattern += '*';
        WIN32_FIND_DATAW fd{};
        HANDLE h = FindFirstFileW(wide(pattern).c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD e = GetLastError();
            if (e == ERROR_FILE_NOT_FOUND) return names;
            throwWindowsError(e, "Lesen des Ordners", dir);
        }
        do {
            std::string n = narrow(fd.cFileName);
            if (n != "." && n != "..") names.push_back(std::move(n));
        } while (FindNextFileW(h, &fd));
        FindClose(h);
        return names;
    }

private:
    static std::unique_ptr<File> openWith(const std::string& path, DWORD access, DWORD how,
                                          const char* action = "Öffnen") {
        // Other handles may read, write, rename and remove the file meanwhile, as on POSIX
        // systems; the byte locks coordinate them.
        HANDLE h = CreateFileW(wide(path).c_str(), access,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, how,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) throwWindowsError(GetLastError(), action, path);
        return std::make_unique<WindowsFile>(h, path);
    }
};

}  // namespace

std::shared_ptr<FileSystem> FileSystem::real() {
    static std::shared_ptr<FileSystem> fs = std::make_shared<WindowsFileSystem>();
    return fs;
}

}  // namespace mv32::engine

#endif  // _WIN32
