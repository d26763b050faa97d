// The walk over a directory tree of one medium: every file below the root goes into the file
// list with the medium's label and serial.
//
// Three variants: Baum (foreground dialog scan and command-line "DRIVE"/"DIR": can be cancelled,
// reports progress in dialog mode, reads FILES.BBS and archive descriptions), Baum2 ("SCANALL":
// no cancel, no progress, no descriptions) and Baum3 (background scan: can be cancelled, nothing
// else). Directories whose names begin with "." are not walked; with the setting Hidden on,
// hidden files (names beginning with ".", and the hidden attribute on FAT media) are skipped.
// The walk never follows a symbolic link to a folder (the link is recorded as a file of its own
// size) and never descends into another filesystem mounted below the root. Folders are opened
// relative to their parent and only the deepest few stay open (an ancestor's remaining entries
// are kept in memory and the ancestor opened again through ".." on the way back), so a tree of
// any depth is walked whole, whatever its path length or the limit of open files; a folder
// that cannot be opened or listed is told to `unreadable`. FIFOs, sockets and
// devices are not files: they are neither recorded nor opened. A failure with one entry ends
// only that entry; a failure of the folder itself (a read error of the medium in the middle of
// its listing, an ancestor moved away while the walk was below it) ends that folder and is told
// to `severeFailure` (Baum) or `unreadable` (the quiet walks).
//
// Runs on the caller's thread; the hooks decide where progress and descriptions go. Every
// variant hands the table work to a second thread, so that reading the folders and adding the
// records share the machine's cores; the file list is used by that thread alone until the walk
// returns, with every record found added. Records keep the order the walk found them in, and
// descriptions are still read on the caller's thread in that order. The dialog's counters
// follow the table work and, like the file shown, are updated at most every kShowInterval;
// the counters are exact when the walk ends.
//
// A failure of the file list itself (it cannot be written: a full disk, an I/O error) ends
// the walk of every variant: walk() throws the FileListWriteError once every record stored
// before it is counted, and newFiles() says how many those are. What the walk found after it
// is not stored.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mv32::scan {

class FileList;

enum class WalkVariant { Baum, Baum2, Baum3 };

struct WalkOptions {
    bool hidden = true;         // the setting Hidden
    bool readFilesBbs = false;  // the setting ReadFilesBBS
    bool catalogOpen = false;
    bool dialogMode = true;  // false for the command-line scans: no status, no counters
};

struct WalkHooks {
    std::function<void(const std::string& text)> status;
    std::function<void(int64_t newFiles, int64_t recordCount)> counters;
    std::function<void()> processEvents;
    std::function<void(const std::string& path)> filesBbs;
    std::function<void(const std::string& directory, const std::string& name)> archive;
    // A directory that failed outside the treatment of one entry (Baum only).
    std::function<void(const std::string& directory)> severeFailure;
    // A folder that cannot be opened or listed (no right to, gone meanwhile): nothing is
    // recorded for it, and the log says so rather than reporting the scan whole.
    std::function<void(const std::string& directory)> unreadable;
};

class TreeWalk {
public:
    TreeWalk(FileList& list, WalkVariant variant, const std::atomic<bool>& cancel,
             WalkOptions options, WalkHooks hooks);
    ~TreeWalk();
    TreeWalk(const TreeWalk&) = delete;
    TreeWalk& operator=(const TreeWalk&) = delete;

    // Walks the tree below `root` (ending in the separator). Throws FileListWriteError when
    // the file list cannot be written.
    void walk(const std::string& root, const std::string& label, const std::string& serial);
    int64_t newFiles() const { return newFiles_; }

private:
    struct Pipeline;
    struct Level;
    // Walks the folder open as `fd` (taken over) whose path is `dir`.
    void walkDirectory(int fd, const std::string& dir);
    void release(Level& level);
    void record(const std::string& dir, const std::string& name, int64_t size);
    // Tells the dialog's counters how far the table work got, when that changed and the last
    // report is older than kShowInterval (always at the end).
    void reportCounters(bool final = false);
    // Whether kShowInterval passed since `last` (which then becomes now).
    static bool due(std::chrono::steady_clock::time_point& last);
    // The dialog shows the file at hand and the counters at most this often: every update
    // crosses to the user-interface thread and waits for it there.
    static constexpr std::chrono::milliseconds kShowInterval{50};
    void treatFile(int dirFd, const std::string& dir, const std::string& name, int64_t size,
                   bool dotName);
    bool cancelled() const {
        return variant_ != WalkVariant::Baum2 && cancel_.load(std::memory_order_relaxed);
    }
    bool listFailed() const;

    FileList& list_;
    WalkVariant variant_;
    const std::atomic<bool>& cancel_;
    WalkOptions options_;
    WalkHooks hooks_;
    std::string label_;
    std::string serial_;
    uint64_t rootDevice_ = 0;
    std::vector<Level*> chain_;  // the folders from the root to the one being read
    bool fatMedium_ = false;
    int64_t newFiles_ = 0;
    int64_t reported_ = 0;  // new files last told to the counters
    std::chrono::steady_clock::time_point statusShown_;
    std::chrono::steady_clock::time_point countersShown_;
    std::unique_ptr<Pipeline> pipeline_;
};

// Whether an upper-cased extension names an archive that may hold a description.
bool isArchiveExtension(const std::string& extension);

}  // namespace mv32::scan
