#include "engine/ReplacingFile.h"

#include <chrono>
#include <random>
#include <stdexcept>

#include "engine/PathNames.h"

namespace mv32::engine {

namespace {

constexpr std::string_view kMark = ".~";
constexpr size_t kDrawn = 6;
constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";  // one case: FAT
constexpr int kAttempts = 100;

std::string drawnName() {
    thread_local std::mt19937_64 random([] {
        std::random_device device;
        const auto now = static_cast<uint64_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count());
        return (static_cast<uint64_t>(device()) << 32) ^ device() ^ now;
    }());
    std::string s(kDrawn, ' ');
    for (char& c : s) c = kAlphabet[random() % kAlphabet.size()];
    return s;
}

std::string folderOrHere(const std::string& path) {
    const std::string folder = paths::folderOf(path);
    return folder.empty() ? std::string(".") : folder;
}

}  // namespace

// The temporary file as its writers see it: every failure names the target.
class ReplacingFile::View final : public File {
public:
    explicit View(const ReplacingFile& owner) : owner_(owner) {}
    const std::string& path() const override { return owner_.target_; }
    size_t read(uint64_t off, void* buf, size_t n) override {
        return guarded([&] { return f().read(off, buf, n); });
    }
    void write(uint64_t off, const void* buf, size_t n) override {
        guarded([&] { f().write(off, buf, n); });
    }
    void sync() override {
        guarded([&] { f().sync(); });
    }
    uint64_t size() override {
        return guarded([&] { return f().size(); });
    }
    void truncate(uint64_t size) override {
        guarded([&] { f().truncate(size); });
    }
    // The writer's lock belongs to the owner; a view takes none of its own.
    bool tryLock(uint64_t, LockKind) override { return true; }
    void unlock(uint64_t) override {}
    bool lockedElsewhere(uint64_t, LockKind) override { return false; }

private:
    File& f() const {
        if (!owner_.file_) throw std::logic_error("Die temporäre Datei ist schon geschlossen");
        return *owner_.file_;
    }
    template <typename Call>
    auto guarded(Call&& call) -> decltype(call()) {
        try {
            return call();
        } catch (const EngineError& e) {
            owner_.rethrow(e);
        }
    }
    const ReplacingFile& owner_;
};

ReplacingFile::ReplacingFile(std::shared_ptr<FileSystem> fs, std::string target,
                             const Options& options)
    : fs_(std::move(fs)), target_(std::move(target)) {
    view_ = std::make_unique<View>(*this);
    removeLeftovers(options.folderNames);
    create(options.rights, options.rightsIfNew);
}

ReplacingFile::~ReplacingFile() {
    discard();
}

File& ReplacingFile::file() {
    return *view_;
}

std::unique_ptr<File> ReplacingFile::borrow() {
    return std::make_unique<View>(*this);
}

bool ReplacingFile::isTemporaryOf(std::string_view name, std::string_view targetName) {
    if (name.size() != targetName.size() + kMark.size() + kDrawn) return false;
    if (name.substr(0, targetName.size()) != targetName) return false;
    if (name.substr(targetName.size(), kMark.size()) != kMark) return false;
    for (char c : name.substr(targetName.size() + kMark.size()))
        if (kAlphabet.find(c) == std::string_view::npos) return false;
    return true;
}

void ReplacingFile::rethrow(const EngineError& e) const {
    std::string message = e.what();
    const std::string from = quoted(temp_);
    for (size_t at = 0; !temp_.empty() && (at = message.find(from, at)) != std::string::npos;) {
        message.replace(at, from.size(), quoted(target_));
        at += quoted(target_).size();
    }
    throw EngineError(e.kind(), message, e.reason());
}

void ReplacingFile::removeLeftovers(const std::vector<std::string>* folderNames) {
    const std::string folder = paths::folderOf(target_);
    const std::string name = paths::fileNameOf(target_);
    std::vector<std::string> listed;
    if (!folderNames) {
        try {
            listed = fs_->list(folderOrHere(target_));
        } catch (const EngineError&) {
            return;  // a folder that cannot be read: creating the file will say why
        }
    }
    for (const auto& n : folderNames ? *folderNames : listed) {
        if (isTemporaryOf(n, name)) fs_->removeUnlocked(folder + n, kLockByte);
    }
}

void ReplacingFile::create(unsigned rights, const std::string& rightsIfNew) {
    const std::string model = fs_->exists(target_) ? target_ : rightsIfNew;
    for (int attempt = 1;; ++attempt) {
        temp_ = target_ + std::string(kMark) + drawnName();
        try {
            file_ = fs_->createNew(temp_, model, rights);
        } catch (const EngineError& e) {
            if (e.kind() == ErrorKind::Exists && attempt < kAttempts) continue;
            rethrow(e);
        }
        // Another writer's look for leftovers may have found the file in the moment before
        // it was locked: its lock is then taken, or the file is already gone. A new name.
        if (file_->tryLock(kLockByte, LockKind::Exclusive) && fs_->exists(temp_)) return;
        file_.reset();
        if (attempt >= kAttempts) {
            const std::string why = "Die temporäre Datei wurde von einem anderen Programm entfernt";
            throw EngineError(
                ErrorKind::Io,
                "Anlegen der Datei " + quoted(target_) + " ist fehlgeschlagen: " + why + ".", why);
        }
    }
}

void ReplacingFile::commit() {
    if (committed_) return;
    if (!file_) throw std::logic_error("Die Datei wurde schon verworfen");
    try {
        file_->sync();
        fs_->rename(temp_, target_);
    } catch (const EngineError& e) {
        discard();
        rethrow(e);
    }
    committed_ = true;
    file_.reset();  // the name is the target's now: the lock can go
    try {
        fs_->syncDir(folderOrHere(target_));
    } catch (const EngineError& e) {
        rethrow(e);
    }
}

void ReplacingFile::discard() noexcept {
    if (committed_ || !file_) return;
    try {
        fs_->remove(temp_);            // while the lock is still held
    } catch (const std::exception&) {  // the first failure is the one to report
    }
    file_.reset();
}

}  // namespace mv32::engine
