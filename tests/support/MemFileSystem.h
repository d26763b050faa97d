// An in-memory file system for engine tests, with durability modelled per file.
//
// Writes change a file's current content at once and are listed as pending until the file is
// synced; creations and removals are pending until the folder is synced. powerLoss() turns the
// state into what a machine would find after losing power: synced content stays, each pending
// write is dropped, kept, kept in part or garbled, and unsynced folder changes are undone.
// Locks behave like open-file-description locks: per File object.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "engine/FileSystem.h"

namespace mv32::test {

class MemFileSystem : public engine::FileSystem {
public:
    struct Inode;

    std::unique_ptr<engine::File> open(const std::string& path, bool create) override;
    std::unique_ptr<engine::File> openReadOnly(const std::string& path) override;
    bool exists(const std::string& path) override;
    void remove(const std::string& path) override;
    void rename(const std::string& from, const std::string& to) override;
    void syncDir(const std::string& dir) override;
    std::vector<std::string> list(const std::string& dir) override;

    // The state after a power loss, decided by `rng`.
    void powerLoss(std::mt19937_64& rng);
    // Direct access for corruption tests.
    std::string contents(const std::string& path);
    void setContents(const std::string& path, const std::string& data);
    uint64_t syncCount() const { return syncs_; }
    // Makes the whole file system a read-only medium: opening for writing, creating, removing
    // and renaming fail as on a write-protected disk; files open for writing stay writable.
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }

private:
    friend class MemFile;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Inode>> names_;
    std::map<std::string, std::shared_ptr<Inode>> durableNames_;
    uint64_t syncs_ = 0;
    bool readOnly_ = false;
};

}  // namespace mv32::test
