// A file system that wraps another and misbehaves at a chosen call.
//
// Every call that touches the medium (open, read, write, sync, size, truncate, remove, rename,
// folder sync and listing; not locks) is counted. From call `failAt` on, a call fails once or
// permanently with an I/O error, a full disk, or (for writes) a short write that wrote half;
// or the process ends there at once (crash mode, for forked children). Counting only the
// syncs aims a fault at making data durable.
#pragma once

#include <atomic>
#include <memory>

#include "engine/FileSystem.h"

namespace mv32::test {

enum class Fault { None, IoError, DiskFull, ShortWrite, Crash };

class FaultFileSystem : public engine::FileSystem {
public:
    explicit FaultFileSystem(std::shared_ptr<engine::FileSystem> inner)
        : inner_(std::move(inner)) {}

    // Arms the fault: the call with number `at` (1-based, counted from now) fails.
    void arm(Fault fault, uint64_t at, bool permanent, bool syncsOnly = false) {
        syncsOnly_ = syncsOnly;
        fault_ = fault;
        calls_ = 0;
        failAt_ = at;
        permanent_ = permanent;
        fired_ = false;
    }
    void disarm() { fault_ = Fault::None; }
    uint64_t calls() const { return calls_; }
    bool fired() const { return fired_; }

    // Counts the call and throws (or ends the process) when it is the one to fail.
    // Returns true when a short write should happen instead.
    bool hit(const std::string& path, bool isWrite, bool isSync = false);

    std::unique_ptr<engine::File> open(const std::string& path, bool create) override;
    std::unique_ptr<engine::File> openReadOnly(const std::string& path) override;
    bool exists(const std::string& path) override;
    void remove(const std::string& path) override;
    void rename(const std::string& from, const std::string& to) override;
    void syncDir(const std::string& dir) override;
    std::vector<std::string> list(const std::string& dir) override;

private:
    std::shared_ptr<engine::FileSystem> inner_;
    Fault fault_ = Fault::None;
    std::atomic<uint64_t> calls_{0};
    uint64_t failAt_ = 0;
    bool permanent_ = false;
    bool fired_ = false;
    bool syncsOnly_ = false;
};

}  // namespace mv32::test
