#include "support/FaultFileSystem.h"

#include <unistd.h>

#include <cerrno>

#include "engine/EngineError.h"

namespace mv32::test {

bool FaultFileSystem::hit(const std::string& path, bool isWrite, bool isSync) {
    if (syncsOnly_ && !isSync) return false;
    uint64_t n = ++calls_;
    if (fault_ == Fault::None || n < failAt_) return false;
    if (n > failAt_ && !permanent_) return false;
    fired_ = true;
    switch (fault_) {
        case Fault::Crash:
            _exit(77);
        case Fault::DiskFull:
            engine::throwSystemError(ENOSPC, "Schreiben", path);
        case Fault::ShortWrite:
            if (isWrite) return true;
            engine::throwSystemError(EIO, "Zugriff", path);
        case Fault::IoError:
            engine::throwSystemError(EIO, "Zugriff", path);
        case Fault::None:
            break;
    }
    return false;
}

namespace {

class FaultFile final : public engine::File {
public:
    FaultFile(FaultFileSystem& fs, std::unique_ptr<engine::File> inner)
        : fs_(fs), inner_(std::move(inner)) {}

    const std::string& path() const override { return inner_->path(); }

    size_t read(uint64_t off, void* buf, size_t n) override {
        fs_.hit(path(), false);
        return inner_->read(off, buf, n);
    }

    void write(uint64_t off, const void* buf, size_t n) override {
        if (fs_.hit(path(), true)) {
            inner_->write(off, buf, n / 2);
            engine::throwSystemError(ENOSPC, "Schreiben", path());
        }
        inner_->write(off, buf, n);
    }

    void sync() override {
        fs_.hit(path(), false, true);
        inner_->sync();
    }

    uint64_t size() override {
        fs_.hit(path(), false);
        return inner_->size();
    }

    void truncate(uint64_t size) override {
        fs_.hit(path(), false);
        inner_->truncate(size);
    }

    bool tryLock(uint64_t offset, engine::LockKind kind) override {
        return inner_->tryLock(offset, kind);
    }
    bool lockedElsewhere(uint64_t offset, engine::LockKind kind) override {
        return inner_->lockedElsewhere(offset, kind);
    }
    void unlock(uint64_t offset) override { inner_->unlock(offset); }

private:
    FaultFileSystem& fs_;
    std::unique_ptr<engine::File> inner_;
};

}  // namespace

std::unique_ptr<engine::File> FaultFileSystem::open(const std::string& path, bool create) {
    hit(path, false);
    return std::make_unique<FaultFile>(*this, inner_->open(path, create));
}

std::unique_ptr<engine::File> FaultFileSystem::openReadOnly(const std::string& path) {
    hit(path, false);
    return std::make_unique<FaultFile>(*this, inner_->openReadOnly(path));
}

bool FaultFileSystem::exists(const std::string& path) {
    hit(path, false);
    return inner_->exists(path);
}

void FaultFileSystem::remove(const std::string& path) {
    hit(path, false);
    inner_->remove(path);
}

void FaultFileSystem::rename(const std::string& from, const std::string& to) {
    hit(from, false);
    inner_->rename(from, to);
}

void FaultFileSystem::syncDir(const std::string& dir) {
    hit(dir, false, true);
    inner_->syncDir(dir);
}

std::vector<std::string> FaultFileSystem::list(const std::string& dir) {
    hit(dir, false);
    return inner_->list(dir);
}

}  // namespace mv32::test
