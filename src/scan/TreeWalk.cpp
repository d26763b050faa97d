#include "scan/TreeWalk.h"

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/Text.h"
#include "scan/FileList.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#endif

namespace mv32::scan {

namespace {

constexpr long kMsdosMagic = 0x4d44;

// The hidden attribute of a file on a FAT medium.
bool fatHidden(int dirFd, const char* name) {
#ifndef _WIN32
    int fd = ::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    __u32 attributes = 0;
    bool hidden =
        ::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) == 0 && (attributes & ATTR_HIDDEN) != 0;
    ::close(fd);
    return hidden;
#else
    (void)dirFd;
    (void)name;
    return false;
#endif
}

}  // namespace

// The table half of a walk: batches of files go to a thread that adds them to the file list in
// the order the walk found them. The walk reads how far the table work got from `added` and
// `records`, so the dialog's counters follow at most a few batches behind.
struct TreeWalk::Pipeline {
    struct Entry {
        std::string dir;
        std::string name;
        int64_t size;
    };
    static constexpr size_t kBatch = 512;
    static constexpr size_t kMaxBatches = 32;  // bounds the memory of a walk ahead of the table

    Pipeline(TreeWalk& w, bool counts) : walk(w), counting(counts), worker([this] { run(); }) {}

    void push(Entry e) {
        filling.push_back(std::move(e));
        if (filling.size() >= kBatch) flush();
    }
    void flush() {
        if (filling.empty()) return;
        std::unique_lock lock(mutex);
        roomLeft.wait(lock, [&] { return batches.size() < kMaxBatches; });
        batches.push_back(std::move(filling));
        filling.clear();
        filling.reserve(kBatch);
        work.notify_one();
    }
    void finish() {
        flush();
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        work.notify_one();
        if (worker.joinable()) worker.join();
    }
    void run() {
        for (;;) {
            std::vector<Entry> batch;
            {
                std::unique_lock lock(mutex);
                work.wait(lock, [&] { return done || !batches.empty(); });
                if (batches.empty()) return;
                batch = std::move(batches.front());
                batches.pop_front();
            }
            roomLeft.notify_one();
            // After the file list failed, what the walk still hands over is dropped.
            if (stopped.load(std::memory_order_acquire)) continue;
            for (const auto& e : batch) {
                try {
                    if (!walk.list_.addIfNew(e.dir, e.name, e.size, walk.label_, walk.serial_))
                        continue;
                    if (counting) records.store(walk.list_.recordCount(), std::memory_order_relaxed);
                    added.fetch_add(1, std::memory_order_release);
                } catch (const FileListWriteError&) {
                    // The table itself: no later file can be stored either.
                    failure = std::current_exception();
                    stopped.store(true, std::memory_order_release);
                    break;
                } catch (const std::exception&) {
                    // This file only.
                }
            }
        }
    }

    TreeWalk& walk;
    const bool counting;  // whether the dialog shows the counters
    std::atomic<int64_t> added{0};
    std::atomic<int64_t> records{0};
    std::atomic<bool> stopped{false};  // the file list failed: the walk ends
    std::exception_ptr failure;        // why; read once the worker has ended
    std::vector<Entry> filling;
    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable roomLeft;
    std::deque<std::vector<Entry>> batches;
    bool done = false;
    std::thread worker;
};

TreeWalk::TreeWalk(FileList& list, WalkVariant variant, const std::atomic<bool>& cancel,
                   WalkOptions options, WalkHooks hooks)
    : list_(list),
      variant_(variant),
      cancel_(cancel),
      options_(options),
      hooks_(std::move(hooks)) {}

TreeWalk::~TreeWalk() {
    if (pipeline_) pipeline_->finish();
}

void TreeWalk::record(const std::string& dir, const std::string& name, int64_t size) {
    pipeline_->push({dir, name, size});
    reportCounters();
}

void TreeWalk::reportCounters(bool final) {
    if (!pipeline_->counting) return;
    const int64_t added = pipeline_->added.load(std::memory_order_acquire);
    if (added == reported_ || (!final && !due(countersShown_))) return;
    reported_ = added;
    hooks_.counters(added, pipeline_->records.load(std::memory_order_relaxed));
}

bool TreeWalk::due(std::chrono::steady_clock::time_point& last) {
    const auto now = std::chrono::steady_clock::now();
    if (now - last < kShowInterval) return false;
    last = now;
    return true;
}

bool TreeWalk::listFailed() const {
    return pipeline_ && pipeline_->stopped.load(std::memory_order_acquire);
}

bool isArchiveExtension(const std::string& ext) {
    return ext == "ZIP" || ext == "ARJ" || ext == "ARC" || ext == "RAR" || ext == "LZH";
}

void TreeWalk::walk(const std::string& root, const std::string& label, const std::string& serial) {
    label_ = label;
    serial_ = serial;
    newFiles_ = 0;
#ifndef _WIN32
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // a root that cannot be read yields nothing
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return;
    }
    rootDevice_ = static_cast<uint64_t>(st.st_dev);
    struct statfs fsInfo {};
    fatMedium_ = ::fstatfs(fd, &fsInfo) == 0 && fsInfo.f_type == kMsdosMagic;
#else
    const int fd = -1;
#endif
    reported_ = 0;
    statusShown_ = countersShown_ = {};
    pipeline_ = std::make_unique<Pipeline>(
        *this, variant_ == WalkVariant::Baum && options_.dialogMode && hooks_.counters);
    auto finish = [&] {
        pipeline_->finish();  // every record found is in the table when the walk returns
        newFiles_ = pipeline_->added.load(std::memory_order_acquire);
    };
    try {
        walkDirectory(fd, root);
    } catch (...) {
        finish();
        pipeline_.reset();
        throw;
    }
    finish();
    reportCounters(true);
    const std::exception_ptr failure = pipeline_->failure;
    pipeline_.reset();
    if (failure) std::rethrow_exception(failure);
}

// One folder of the path being walked: open (its handle and its listing), or set aside with
// the entries not read yet, to be opened again through ".." from its child.
struct TreeWalk::Level {
    int fd = -1;
#ifndef _WIN32
    DIR* listing = nullptr;
    dev_t dev = 0;
    ino_t ino = 0;
#endif
    bool setAside = false;
    std::vector<std::string> rest;
    size_t next = 0;
};

namespace {

// Open folders the walk keeps at most: the engine and the archivers need handles too.
constexpr size_t kOpenLevels = 48;

}  // namespace

void TreeWalk::release(Level& level) {
#ifndef _WIN32
    if (level.setAside) return;
    while (dirent* e = ::readdir(level.listing)) level.rest.emplace_back(e->d_name);
    ::closedir(level.listing);
    level.listing = nullptr;
    level.fd = -1;
    level.setAside = true;
#else
    (void)level;
#endif
}

void TreeWalk::walkDirectory(int fd, const std::string& dir) {
#ifndef _WIN32
    Level me;
    struct stat self {};
    if (::fstat(fd, &self) != 0 || !(me.listing = ::fdopendir(fd))) {
        ::close(fd);
        if (hooks_.unreadable) hooks_.unreadable(dir);
        return;
    }
    me.dev = self.st_dev;
    me.ino = self.st_ino;
    auto handleOf = [](const Level& l) { return l.listing ? ::dirfd(l.listing) : l.fd; };
    chain_.push_back(&me);
    if (chain_.size() > kOpenLevels) release(*chain_[chain_.size() - 1 - kOpenLevels]);
    auto leave = [&] {
        chain_.pop_back();
        // The parent was set aside while this folder was deep down: it is opened again from
        // here, and must still be the folder it was.
        if (!chain_.empty() && chain_.back()->setAside && chain_.back()->fd < 0 &&
            handleOf(me) >= 0) {
            Level& parent = *chain_.back();
            const int up = ::openat(handleOf(me), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            struct stat st {};
            if (up >= 0 && ::fstat(up, &st) == 0 && st.st_dev == parent.dev &&
                st.st_ino == parent.ino)
                parent.fd = up;
            else if (up >= 0)
                ::close(up);
        }
        if (me.listing)
            ::closedir(me.listing);
        else if (me.fd >= 0)
            ::close(me.fd);
    };
    auto nextName = [&](std::string& name) {
        if (me.setAside) {
            if (me.next >= me.rest.size()) return false;
            name = me.rest[me.next++];
            return true;
        }
        errno = 0;
        dirent* e = ::readdir(me.listing);
        // The end of the listing, or a read error of the medium in the middle of it.
        if (!e && errno != 0) throw std::system_error(errno, std::generic_category(), dir);
        if (!e) return false;
        name = e->d_name;
        return true;
    };
    try {
        std::string name;
        while (nextName(name)) {
            if (cancelled() || listFailed()) break;
            if (name == "." || name == "..") continue;
            const int dirFd = handleOf(me);
            if (dirFd < 0) {
                // Set aside and not found again on the way back: the tree was moved while it
                // was walked, and what is left of this folder cannot be reached.
                throw std::runtime_error("nicht wiedergefunden: " + dir);
            }
            try {
                struct stat st {};
                if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                if (S_ISDIR(st.st_mode)) {
                    // Dot folders are not walked, nor other filesystems mounted below the root.
                    if (name[0] == '.' || static_cast<uint64_t>(st.st_dev) != rootDevice_) continue;
                    const int child = ::openat(dirFd, name.c_str(),
                                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                    if (child < 0) {
                        if (hooks_.unreadable) hooks_.unreadable(dir + name + "/");
                        continue;
                    }
                    walkDirectory(child, dir + name + "/");
                    continue;
                }
                // FIFOs, sockets and devices are no files: not recorded, never opened.
                if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) continue;
                treatFile(dirFd, dir, name, static_cast<int64_t>(st.st_size), name[0] == '.');
            } catch (const std::exception&) {
                // This entry only; the walk goes on.
            }
            if (hooks_.processEvents) hooks_.processEvents();
        }
    } catch (...) {
        // A failure outside one entry ends this folder; the parent's walk goes on. The
        // foreground walk reports it as a failing filesystem, the quiet ones as a folder
        // whose files are missing.
        leave();
        if (variant_ == WalkVariant::Baum && hooks_.severeFailure)
            hooks_.severeFailure(dir);
        else if (hooks_.unreadable)
            hooks_.unreadable(dir);
        return;
    }
    leave();
#else
    (void)fd;
    (void)dir;
#endif
}

void TreeWalk::treatFile(int dirFd, const std::string& dir, const std::string& name, int64_t size,
                         bool dotName) {
    if (options_.hidden && (dotName || (fatMedium_ && fatHidden(dirFd, name.c_str())))) return;
    const bool baum = variant_ == WalkVariant::Baum;
    const bool report = baum && options_.dialogMode;
    // The path of the file at hand, as often as a person can read it.
    if (report && hooks_.status && due(statusShown_)) hooks_.status(dir + name);
    record(dir, name, size);
    if (!baum) return;
    const std::string upperName = engine::text::upper(name);
    if (options_.readFilesBbs && options_.catalogOpen && upperName == "FILES.BBS") {
        if (report && hooks_.status) hooks_.status("Files.bbs wird gelesen...");
        if (hooks_.filesBbs) hooks_.filesBbs(dir + name);
    }
    if (isArchiveExtension(engine::text::upper(FileList::extensionOf(name))) && hooks_.archive)
        hooks_.archive(dir, name);
}

}  // namespace mv32::scan
