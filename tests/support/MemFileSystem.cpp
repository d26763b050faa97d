#include "support/MemFileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/EngineError.h"

namespace mv32::test {

using engine::EngineError;
using engine::ErrorKind;
using engine::LockKind;

struct MemFileSystem::Inode {
    std::string data;
    std::string durable;
    struct Op {
        bool truncate;
        uint64_t off;
        std::string bytes;
    };
    std::vector<Op> pending;
    std::map<uint64_t, std::map<const void*, LockKind>> locks;
};

class MemFile final : public engine::File {
public:
    MemFile(MemFileSystem& fs, std::shared_ptr<MemFileSystem::Inode> inode, std::string path,
            bool readOnly = false)
        : fs_(fs), inode_(std::move(inode)), path_(std::move(path)), readOnly_(readOnly) {}
    ~MemFile() override {
        std::lock_guard<std::mutex> g(fs_.mutex_);
        for (auto& [off, owners] : inode_->locks) owners.erase(this);
    }

    const std::string& path() const override { return path_; }

    size_t read(uint64_t off, void* buf, size_t n) override {
        std::lock_guard<std::mutex> g(fs_.mutex_);
        if (off >= inode_->data.size()) return 0;
        size_t k = std::min<size_t>(n, inode_->data.size() - static_cast<size_t>(off));
        std::memcpy(buf, inode_->data.data() + off, k);
        return k;
    }

    void write(uint64_t off, const void* buf, size_t n) override {
        if (readOnly_) engine::throwSystemError(EBADF, "Schreiben", path_);
        std::lock_guard<std::mutex> g(fs_.mutex_);
        auto& d = inode_->data;
        if (d.size() < off + n) d.resize(static_cast<size_t>(off + n), '\0');
        std::memcpy(d.data() + off, buf, n);
        inode_->pending.push_back({false, off, std::string(static_cast<const char*>(buf), n)});
    }

    void sync() override {
        std::lock_guard<std::mutex> g(fs_.mutex_);
        auto& d = inode_->durable;
        for (auto& op : inode_->pending) {
            if (op.truncate) {
                d.resize(static_cast<size_t>(op.off), '\0');
                continue;
            }
            if (d.size() < op.off + op.bytes.size())
                d.resize(static_cast<size_t>(op.off + op.bytes.size()), '\0');
            std::memcpy(d.data() + op.off, op.bytes.data(), op.bytes.size());
        }
        inode_->pending.clear();
        ++fs_.syncs_;
    }

    uint64_t size() override {
        std::lock_guard<std::mutex> g(fs_.mutex_);
        return inode_->data.size();
    }

    void truncate(uint64_t size) override {
        if (readOnly_) engine::throwSystemError(EBADF, "Kürzen", path_);
        std::lock_guard<std::mutex> g(fs_.mutex_);
        inode_->data.resize(static_cast<size_t>(size), '\0');
        inode_->pending.push_back({true, size, {}});
    }

    bool tryLock(uint64_t offset, LockKind kind) override {
        // As with the operating system: a file open for reading takes no exclusive lock.
        if (readOnly_ && kind == LockKind::Exclusive)
            engine::throwSystemError(EBADF, "Sperren", path_);
        std::lock_guard<std::mutex> g(fs_.mutex_);
        auto& owners = inode_->locks[offset];
        for (auto& [owner, k] : owners) {
            if (owner == this) continue;
            if (kind == LockKind::Exclusive || k == LockKind::Exclusive) return false;
        }
        owners[this] = kind;
        return true;
    }

    void unlock(uint64_t offset) override {
        std::lock_guard<std::mutex> g(fs_.mutex_);
        inode_->locks[offset].erase(this);
    }

    bool lockedElsewhere(uint64_t offset, LockKind kind) override {
        std::lock_guard<std::mutex> g(fs_.mutex_);
        for (auto& [owner, k] : inode_->locks[offset]) {
            if (owner == this) continue;
            if (kind == LockKind::Exclusive || k == LockKind::Exclusive) return true;
        }
        return false;
    }

private:
    MemFileSystem& fs_;
    std::shared_ptr<MemFileSystem::Inode> inode_;
    std::string path_;
    bool readOnly_;
};

std::unique_ptr<engine::File> MemFileSystem::open(const std::string& path, bool create) {
    std::lock_guard<std::mutex> g(mutex_);
    auto it = names_.find(path);
    if (readOnly_ && (it != names_.end() || create))
        engine::throwSystemError(EROFS, "Öffnen", path);
    if (it == names_.end()) {
        if (!create) engine::throwSystemError(ENOENT, "Öffnen", path);
        it = names_.emplace(path, std::make_shared<Inode>()).first;
    }
    return std::make_unique<MemFile>(*this, it->second, path);
}

std::unique_ptr<engine::File> MemFileSystem::openReadOnly(const std::string& path) {
    std::lock_guard<std::mutex> g(mutex_);
    auto it = names_.find(path);
    if (it == names_.end()) engine::throwSystemError(ENOENT, "Öffnen", path);
    return std::make_unique<MemFile>(*this, it->second, path, true);
}

bool MemFileSystem::exists(const std::string& path) {
    std::lock_guard<std::mutex> g(mutex_);
    return names_.count(path) > 0;
}

void MemFileSystem::remove(const std::string& path) {
    std::lock_guard<std::mutex> g(mutex_);
    if (readOnly_ && names_.count(path)) engine::throwSystemError(EROFS, "Löschen", path);
    names_.erase(path);
}

void MemFileSystem::rename(const std::string& from, const std::string& to) {
    std::lock_guard<std::mutex> g(mutex_);
    if (readOnly_) engine::throwSystemError(EROFS, "Umbenennen", from);
    auto it = names_.find(from);
    if (it == names_.end()) engine::throwSystemError(2, "Umbenennen", from);
    names_[to] = it->second;
    names_.erase(from);
}

void MemFileSystem::syncDir(const std::string&) {
    std::lock_guard<std::mutex> g(mutex_);
    durableNames_ = names_;
    ++syncs_;
}

std::vector<std::string> MemFileSystem::list(const std::string& dir) {
    std::lock_guard<std::mutex> g(mutex_);
    std::string prefix = dir;
    if (prefix == ".") prefix.clear();
    if (!prefix.empty() && prefix.back() != '/') prefix.push_back('/');
    std::vector<std::string> out;
    for (auto& [name, inode] : names_) {
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        std::string rest = name.substr(prefix.size());
        if (rest.find('/') == std::string::npos) out.push_back(rest);
    }
    return out;
}

void MemFileSystem::powerLoss(std::mt19937_64& rng) {
    std::lock_guard<std::mutex> g(mutex_);
    // Files whose creation was never made durable vanish; removals not made durable are undone.
    names_ = durableNames_;
    for (auto& [name, inode] : names_) {
        std::string d = inode->durable;
        for (auto& op : inode->pending) {
            int choice = static_cast<int>(rng() % 4);
            if (choice == 0) continue;  // lost
            if (op.truncate) {
                d.resize(static_cast<size_t>(op.off), '\0');
                continue;
            }
            std::string bytes = op.bytes;
            if (choice == 2) {
                bytes.resize(static_cast<size_t>(rng() % (bytes.size() + 1)));  // torn
            } else if (choice == 3) {
                size_t a = static_cast<size_t>(rng() % (bytes.size() + 1));
                for (size_t i = a; i < bytes.size(); ++i) bytes[i] = static_cast<char>(rng());
            }
            if (d.size() < op.off + bytes.size())
                d.resize(static_cast<size_t>(op.off + bytes.size()), '\0');
            std::memcpy(d.data() + op.off, bytes.data(), bytes.size());
        }
        inode->data = d;
        inode->durable = d;
        inode->pending.clear();
        inode->locks.clear();
    }
    durableNames_ = names_;
}

std::string MemFileSystem::contents(const std::string& path) {
    std::lock_guard<std::mutex> g(mutex_);
    auto it = names_.find(path);
    return it == names_.end() ? std::string() : it->second->data;
}

void MemFileSystem::setContents(const std::string& path, const std::string& data) {
    std::lock_guard<std::mutex> g(mutex_);
    auto& inode = names_[path];
    if (!inode) inode = std::make_shared<Inode>();
    inode->data = data;
    inode->durable = data;
    inode->pending.clear();
    durableNames_ = names_;
}

}  // namespace mv32::test
