#include "scan/TreeWalk.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
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

// The table half of a quiet walk: batches of files go to a thread that adds them to the file
// list in the order the walk found them.
struct TreeWalk::Pipeline {
    struct Entry {
        std::string dir;
        std::string name;
        int64_t size;
    };
    static constexpr size_t kBatch = 512;
    static constexpr size_t kMaxBatches = 32;  // bounds the memory of a walk ahead of the table

    explicit Pipeline(TreeWalk& w) : walk(w), worker([this] { run(); }) {}

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
            for (const auto& e : batch) {
                try {
                    if (walk.list_.addIfNew(e.dir, e.name, e.size, walk.label_, walk.serial_))
                        ++walk.newFiles_;
                } catch (const std::exception&) {
                    // This file only.
                }
            }
        }
    }

    TreeWalk& walk;
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
    if (pipeline_) {
        pipeline_->push({dir, name, size});
        return;
    }
    if (list_.addIfNew(dir, name, size, label_, serial_)) {
        ++newFiles_;
        if (variant_ == WalkVariant::Baum && options_.dialogMode && hooks_.counters)
            hooks_.counters(newFiles_, list_.recordCount());
    }
}

bool isArchiveExtension(const std::string& ext) {
    return ext == "ZIP" || ext == "ARJ" || ext == "ARC" || ext == "RAR" || ext == "LZH";
}

void TreeWalk::walk(const std::string& root, const std::string& label, const std::string& serial) {
    label_ = label;
    serial_ = serial;
    newFiles_ = 0;
#ifndef _WIN32
    struct stat st {};
    if (::stat(root.c_str(), &st) != 0) return;  // a root that cannot be read yields nothing
    rootDevice_ = static_cast<uint64_t>(st.st_dev);
    struct statfs fsInfo {};
    fatMedium_ = ::statfs(root.c_str(), &fsInfo) == 0 && fsInfo.f_type == kMsdosMagic;
#endif
    if (variant_ != WalkVariant::Baum) pipeline_ = std::make_unique<Pipeline>(*this);
    try {
        walkDirectory(root);
    } catch (...) {
        if (pipeline_) pipeline_->finish();
        pipeline_.reset();
        throw;
    }
    if (pipeline_) {
        pipeline_->finish();  // every record found is in the table when the walk returns
        pipeline_.reset();
    }
}

void TreeWalk::walkDirectory(const std::string& dir) {
#ifndef _WIN32
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;  // a directory that cannot be listed yields no entries
    const int dirFd = ::dirfd(d);
    try {
        while (dirent* e = ::readdir(d)) {
            if (cancelled()) break;
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            try {
                struct stat st {};
                if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                if (S_ISDIR(st.st_mode)) {
                    // Dot folders are not walked, nor other filesystems mounted below the root.
                    if (name[0] == '.' || static_cast<uint64_t>(st.st_dev) != rootDevice_) continue;
                    walkDirectory(dir + name + "/");
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
        ::closedir(d);
        if (variant_ == WalkVariant::Baum && hooks_.severeFailure) hooks_.severeFailure(dir);
        return;
    }
    ::closedir(d);
#else
    (void)dir;
#endif
}

void TreeWalk::treatFile(int dirFd, const std::string& dir, const std::string& name, int64_t size,
                         bool dotName) {
    if (options_.hidden && (dotName || (fatMedium_ && fatHidden(dirFd, name.c_str())))) return;
    const bool baum = variant_ == WalkVariant::Baum;
    const bool report = baum && options_.dialogMode;
    if (report && hooks_.status) hooks_.status(dir + name);
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
