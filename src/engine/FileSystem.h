// The file-system seam of the table engine.
//
// Every file access of the engine goes through these two interfaces, so that tests can run the
// engine on files that fail, lose unsynced writes or end the process at a chosen call. The real
// implementation uses the operating system's calls directly. All calls throw EngineError (kinds
// Io, DiskFull, NotFound) with a German message naming the file.
//
// Locks are one-byte ranges owned by the File object (the open file description), not by the
// process: two File objects of one file conflict even inside one process, and all locks of a
// process vanish when it ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mv32::engine {

enum class LockKind { Shared, Exclusive };

class File {
public:
    virtual ~File() = default;
    virtual const std::string& path() const = 0;

    // Reads up to n bytes at off; returns how many were read (fewer only at the end of the file).
    virtual size_t read(uint64_t off, void* buf, size_t n) = 0;
    // Writes all n bytes at off, extending the file when needed.
    virtual void write(uint64_t off, const void* buf, size_t n) = 0;
    // Makes everything written so far durable.
    virtual void sync() = 0;
    virtual uint64_t size() = 0;
    virtual void truncate(uint64_t size) = 0;

    // A shared, writable mapping of [offset, offset + length) (offset a multiple of 4096), or
    // nullptr where there is none. Bytes stored through it belong to the file as if written:
    // they outlive the process (not a power loss). The range must lie within the file's size.
    // The medium's space for the whole range is reserved first, so that storing into the
    // mapping can never fail; where it cannot be reserved (a full disk), there is no mapping.
    virtual void* mapShared(uint64_t /*offset*/, size_t /*length*/) { return nullptr; }
    virtual void unmap(void* /*address*/, size_t /*length*/) {}

    // Non-blocking; false when another File object holds a conflicting lock.
    virtual bool tryLock(uint64_t offset, LockKind kind) = 0;
    virtual void unlock(uint64_t offset) = 0;
    // Whether another File object holds a lock that conflicts with `kind`, without taking one:
    // works on files opened for reading only, where an exclusive lock cannot be taken.
    virtual bool lockedElsewhere(uint64_t offset, LockKind kind) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Opens a file for reading and writing; creates it when `create` is set and it is missing.
    // A file or medium that cannot be written fails with ErrorKind::ReadOnly.
    virtual std::unique_ptr<File> open(const std::string& path, bool create) = 0;
    // Opens an existing file for reading only (a CD, a read-only mount, another user's file);
    // its write calls fail, its shared locks work.
    virtual std::unique_ptr<File> openReadOnly(const std::string& path) = 0;
    virtual bool exists(const std::string& path) = 0;
    // Removes a file; a missing file is no error.
    virtual void remove(const std::string& path) = 0;
    // Replaces `to` by `from` atomically.
    virtual void rename(const std::string& from, const std::string& to) = 0;
    // Makes the creation, removal and renaming of files in `dir` durable.
    virtual void syncDir(const std::string& dir) = 0;
    // Names (without folder) of the files in `dir`.
    virtual std::vector<std::string> list(const std::string& dir) = 0;
    // Gives `to` the date and time of last change of `from`, where the medium keeps one.
    virtual void copyTimes(const std::string& /*from*/, const std::string& /*to*/) {}

    // Creates `path` as a new, empty file for reading and writing. Whatever has that name
    // already (a file, a link, a FIFO) makes it fail with ErrorKind::Exists: a link is never
    // followed. The file gets the access rights of the file `rightsOf` where there is one, else
    // `rights` less the process's mask (rights are POSIX permission bits; Windows files take
    // their folder's). The default, for the test doubles, checks and creates in two steps.
    virtual std::unique_ptr<File> createNew(const std::string& path, const std::string& rightsOf,
                                            unsigned rights);
    // Removes `path` if it is a plain file (not a link, a FIFO or a folder) on which no other
    // File object holds the lock byte `lockOffset`, holding that lock from the look to the
    // removal. Returns whether it removed it; a file it leaves is no error.
    virtual bool removeUnlocked(const std::string& path, uint64_t lockOffset);

    // The operating system's file system, shared by all tables that are given none.
    static std::shared_ptr<FileSystem> real();
};

// Builds the German message for a failed system call and throws it as EngineError.
[[noreturn]] void throwSystemError(int err, const char* action, const std::string& path);
// The German reason for an operating-system error number ("Der Datenträger ist voll").
std::string systemErrorReason(int err);

}  // namespace mv32::engine
