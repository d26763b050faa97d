// The files of one open table handle: page cache, free space, transactions and recovery.
//
// A Pager owns the File objects of a table's files (numbered by FileNo), their headers, a cache
// of decoded B-tree nodes, the write-ahead log and the three lock bytes on the .db file. All
// changes happen inside a write transaction:
//
//      beginWrite ──► (node/newNode/touch/free … ) ──► commit ──► endWrite
//                                     └──────────────► rollback ─┘
//
// beginWrite takes the write lock and first finishes whatever a dead writer left in the log.
// commit appends the changed pages to the log, syncs it (sync mode), then writes the pages into
// the files under the exclusive read lock. Between beginWrite and endWrite no other handle can
// commit, so the cache stays valid; shared handles outside a transaction read under the
// shared read lock and call checkCurrent() before they trust the cache.
//
// Invariants:
//  1. A dirty node is in the cache and in the dirty set until commit or rollback.
//  2. Only clean nodes that nobody else holds are evicted, so a page has at most one Node.
//  3. The .db header is rewritten by every commit; its counter changes with every commit and
//     its directory holds the counter every other current file carries. Every commit draws
//     a new generation for it, so that copies of one table that went apart differ there.
//  4. Files change only through commit() or recovery, both of which go through the log.
//
// One Pager belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/EngineError.h"
#include "engine/FileSystem.h"
#include "engine/store/Format.h"
#include "engine/store/Node.h"
#include "engine/store/Wal.h"

namespace mv32::engine::store {

using NodePtr = std::shared_ptr<Node>;

struct FileHeader {
    std::string magic;  // 8 bytes
    uint64_t tableId = 0;
    uint64_t counter = 0;
    uint32_t pageCount = 0;
    uint32_t freeHead = 0;
    uint32_t freeCount = 0;
    uint32_t root = 0;
    uint64_t entries = 0;
    uint32_t flags = 0;
    std::vector<std::pair<uint32_t, uint64_t>> dir;  // .db only
    std::string block;
    uint64_t generation = 0;    // .db only: drawn anew by every commit
    uint16_t trigramField = 0;  // .db only: field number of the trigram index plus one
};

// Process-wide limit of the memory that decoded pages of all tables may take. Changed pages
// count too: bulk work commits its group before they pass the limit.
void setCacheLimit(size_t bytes);
size_t cacheLimit();
size_t cacheUsed();

class Pager {
public:
    Pager(std::shared_ptr<FileSystem> fs, std::string base);
    ~Pager();
    Pager(const Pager&) = delete;
    Pager& operator=(const Pager&) = delete;

    FileSystem& fs() { return *fs_; }
    const std::string& base() const { return base_; }
    std::string pathOf(uint32_t no) const;
    static std::string extensionOf(uint32_t no);

    // --- Locks. The open lock is taken when the handle opens and held until it closes.
    // Throws EngineError(Locked) when the table is held in a conflicting way.
    // Opens the .db file, whose lock bytes coordinate all handles; `create` makes an empty one.
    // Without `create`, a file or medium that cannot be written is opened for reading only:
    // the handle then reads in full and refuses every write (readOnly()).
    void openDbFile(bool create = false);
    bool readOnly() const { return readOnly_; }
    // Why the handle is read-only ("Der Datenträger ist schreibgeschützt").
    const std::string& readOnlyReason() const { return readOnlyReason_; }
    // A read-only first opener: checks the log a writer left behind. Throws when it holds work
    // for the files that cannot be done on this medium; a log of other files is only noted.
    void inspectLogReadOnly();
    // The refusal of a read-only handle to finish what a dead writer left.
    [[noreturn]] void throwCannotRecover() const;
    uint64_t dbFileSize();
    void lockOpen(bool exclusive);
    bool isExclusive() const { return exclusive_; }
    // True when no other handle anywhere has the table open.
    bool soleOpener();

    // --- Files
    // Opens file `no` and reads its header; false when the file does not exist.
    bool attach(uint32_t no);
    void detach(uint32_t no);
    bool has(uint32_t no) const;
    const FileHeader& header(uint32_t no) const;
    FileHeader& mutableHeader(uint32_t no);  // inside a transaction
    void setCodec(uint32_t no, const NodeCodec* codec);
    std::vector<uint32_t> fileNumbers() const;
    // Inside a transaction: a new file with an empty root leaf, or (withRoot false) a header only.
    void createFile(uint32_t no, const char* magic, uint64_t tableId, std::string block,
                    bool withRoot);
    void deleteFile(uint32_t no);

    // --- Nodes
    NodePtr node(uint32_t no, uint32_t page);
    // The node from the cache, or else decoded into *scratch (reused when nobody else holds
    // it) without entering the cache: for passes over trees larger than the cache.
    NodePtr peekNode(uint32_t no, uint32_t page, NodePtr& scratch);
    // The leaf from the cache (whole), or else only its entries at the slots `wanted`
    // (NodeCodec::decodeSelected) decoded into *scratch, without entering the cache. `whole`
    // tells which; `count` is the leaf's entry count either way.
    NodePtr peekSelected(uint32_t no, uint32_t page, const std::vector<uint16_t>& wanted,
                         NodePtr& scratch, bool& whole, size_t& count);
    NodePtr newNode(uint32_t no, uint8_t level);
    void touch(uint32_t no, const NodePtr& n);
    void freeNode(uint32_t no, const NodePtr& n);
    void freeOverflow(uint32_t no, uint32_t first, size_t length);
    // Reads and checks the page without decoding it (integrity check, free-list walk).
    std::string readPage(uint32_t no, uint32_t page, PageType expected);

    // --- Transactions
    // Returns the logical frames a dead bulk writer left after its last commit; the caller must
    // execute them again before its own changes and commit them.
    std::vector<std::string> beginWrite();
    bool inWrite() const { return writing_; }
    void logLogical(const std::string& op);
    // Wal::stamp of the log: unchanged since a logical frame was logged means it is the last.
    uint64_t logStamp() const { return wal_.stamp(); }
    // Commits the transaction; `sync` makes it durable before the files are written. Without
    // `apply` (bulk work) the commit only goes to the log: its pages are read back from there
    // until a later applying commit, or endWrite, writes them into the files. Until then the
    // write lock must stay held, for the files do not show these commits yet.
    void commit(bool sync, bool apply = true);
    size_t loggedBytes() const { return logged_.size() * kPageSize; }
    void rollback();
    void endWrite();
    bool hasChanges() const;
    // Memory the transaction's changed nodes are taken to need.
    size_t dirtyBytes() const { return dirty_.size() * 4 * kPageSize; }

    // Streaming commit for rebuilds: page images go to the log at once instead of the cache.
    void writeImage(uint32_t no, uint32_t page, std::string image);
    uint32_t allocatePage(uint32_t no);
    void freeUnusedPage(uint32_t no, uint32_t page) { freePage(no, page); }
    // Empties a file inside the transaction: one header page, no free pages, no root yet.
    void resetFile(uint32_t no);
    // Free-list pages of a file (trunks and the pages they list), each read and checked.
    std::vector<uint32_t> freePages(uint32_t no);
    // Writes the overflow chains of the node's long entries that have none yet: into the
    // transaction, or (streamed) straight to the log.
    void assignOverflow(uint32_t no, Node& n, bool streamed);

    // Shared handles read under the shared read lock, which a committing writer takes
    // exclusively while it writes the files. Under it, checkCurrent() makes the cache current.
    // After WriterDied the caller must release the lock and recover (beginWrite, commit,
    // endWrite) before reading.
    enum class CacheState {
        Current,     // nothing changed since the handle last looked
        Reloaded,    // others committed: the cache was dropped and the headers read again
        WriterDied,  // a writer died while writing its commit into the files
    };
    void lockRead();
    void unlockRead();
    CacheState checkCurrent();
    // Cache generation: changes whenever cached state was dropped, so callers reload.
    uint64_t generation() const { return generation_; }

    // --- Reading through the log. When the log holds committed work that cannot be written
    // into the files now (the medium is full, or it or the files cannot be written), the handle
    // lays the log's newest image of every page over the files instead: see PagerView.cpp.
    //
    //      files current ──(recovery fails: logWaits)──► needsView ──openView/holdView──► viewing
    //            ▲                                                                    │
    //            └──── beginWrite applies the log ◄── leaveView ◄── (the .db header changed)
    //
    // Whether a failed write only means that the log must wait (a full medium, one that cannot
    // be written) rather than damage.
    static bool waitsForRoom(const EngineError& e);
    // Notes that the log must wait, and why: the next read opens a view.
    void logMustWait(const EngineError& e);
    // True when the handle knows that the files do not show all the log holds and must open a
    // view before it reads.
    bool needsView() const { return needView_; }
    bool viewing() const { return viewing_; }
    // Takes the write lock (a handle that cannot write holds it shared, so that no writer
    // starts), judges the log as recovery does and lays the pages of all its commits over the
    // files. Returns the posts after its last commit: the caller executes them inside the
    // transaction this leaves open and then calls holdView(), or dropView() on failure.
    std::vector<std::string> openView();
    // Keeps the pages the executed posts changed in memory and releases the lock.
    void holdView();
    void dropView();
    // The sentence that says the log waits to be written into the files, or empty.
    std::string viewNotice() const;

    // Makes the files durable and starts a fresh log.
    void checkpoint();
    // First opener after a crash or power loss: applies everything in the log.
    std::vector<std::string> recoverAll();

    // What the handle found and dealt with on its own (a log that did not belong to the
    // files), as German sentences for the person; taking them empties the list.
    std::vector<std::string> takeNotices() { return std::exchange(notices_, {}); }
    void addNotice(std::string text) { notices_.push_back(std::move(text)); }

    bool failed() const { return failed_; }
    void setFailed() { failed_ = true; }
    void checkUsable() const;

    // Releases locks and files; removes the log when this was the last handle.
    void close();

private:
    struct PagedFile {
        uint32_t no = 0;
        std::string path;
        std::unique_ptr<File> file;
        FileHeader hdr;
        FileHeader saved;
        const NodeCodec* codec = nullptr;
        bool created = false;
        bool deleted = false;
        bool changed = false;
        bool attached = false;
    };
    struct CacheItem {
        NodePtr node;
        std::list<uint64_t>::iterator lru;
        size_t bytes;
    };

    static uint64_t key(uint32_t no, uint32_t page) { return (uint64_t{no} << 32) | page; }
    PagedFile& pf(uint32_t no);
    const PagedFile& pf(uint32_t no) const;
    FileHeader readHeader(PagedFile& f);
    std::string encodeHeader(const PagedFile& f) const;
    void sealPage(uint32_t no, uint32_t page, unsigned char* image) const;
    std::string readRaw(PagedFile& f, uint32_t page);
    std::string& rawForWrite(uint32_t no, uint32_t page, PageType type);
    void freePage(uint32_t no, uint32_t page);
    void markChanged(uint32_t no);
    void decodeInto(uint32_t no, uint32_t page, Node& n, bool compact = true);
    OverflowReader overflowReader(PagedFile& f);
    void cachePut(uint32_t no, const NodePtr& n);
    void cacheErase(uint32_t no, uint32_t page);
    void account(CacheItem& item, size_t bytes);
    void forgetDirty(uint64_t k);
    void evict(size_t reserve = 0);
    static void releaseFreedMemory(size_t freed);
    void dropCache();
    void reloadHeaders();
    void waitLock(uint64_t offset, LockKind kind, int timeoutMs, const char* what);
    struct ApplyFile {
        uint32_t no;
        FileAction action;
        uint32_t pageCount;
    };
    // One commit on its way: its page images (sorted by file and page), the file actions, the
    // .db header, and where each image lies in the log once appended (the header's last).
    struct Commit {
        std::vector<std::pair<uint64_t, std::string>> images;
        std::vector<ApplyFile> actions;
        std::string dbHeader;
        std::vector<uint64_t> offsets;
    };
    // The steps of commit(): collect, append to the log, then either write into the files
    // (with the pages of earlier log-only commits) or keep in the log only; then mark clean.
    void collectImages(Commit& c);
    void appendCommit(Commit& c);
    void writeCommit(Commit& c);
    void keepInLogOnly(const Commit& c);
    void markClean();
    // Writes pages into the files under the exclusive read lock: first those still only in
    // the log (key, log offset; read back one at a time), then `images`.
    void applyImages(const std::vector<std::pair<uint64_t, uint64_t>>& fromLog,
                     const std::vector<std::pair<uint64_t, const std::string*>>& images,
                     const std::vector<ApplyFile>& files, const std::string* dbHeader);
    std::string readLogged(uint64_t offset);
    // Writes the commits that went only to the log into the files.
    void applyLogged();
    void applyCommitFromLog(const std::vector<WalFrame>& frames, size_t begin, size_t commit);
    void ensureFileOpen(PagedFile& f, bool create);
    void openWal();
    // The .db file's first page as it is on disk.
    struct DbHead {
        bool readable = false;  // complete, with a valid checksum
        bool flagged = false;   // a commit was being written into the files
        FileState state;
        unsigned char page[kPageSize];
    };
    void readDbHead(DbHead& head);
    FileState currentState() const;
    // Whether the log's frames were written against the files as they are now.
    bool logBelongs(const std::vector<WalFrame>& frames, const DbHead& head);
    FileState stateOfCommit(const std::vector<WalFrame>& frames, size_t commit);
    // Renames a log that does not belong out of the way and notes it.
    void setLogAside();
    std::vector<std::string> recoverFrom(bool full);
    // Takes the write lock, runs `recover` and prepares the transaction; releases the lock
    // again when that fails.
    std::vector<std::string> lockForWriting(
        const std::function<std::vector<std::string>()>& recover);
    // The page image of (no, page) that a view keeps in memory, or null.
    const std::string* heldImage(uint64_t k) const;
    // Lays the page images of one commit in the log over the files.
    void layCommit(const std::vector<WalFrame>& frames, size_t begin, size_t commit);
    void leaveView();
    // Sets the .db header's flag in place, so that other handles look at the log before they
    // trust the files; best effort, for the log itself holds the work either way.
    void markFilesBehind();

    std::shared_ptr<FileSystem> fs_;
    std::string base_;
    std::unique_ptr<File> lockFile_;  // the .db file's handle that holds the lock bytes
    bool openLocked_ = false;
    bool exclusive_ = false;
    std::map<uint32_t, PagedFile> files_;
    Wal wal_;
    bool walReady_ = false;

    std::unordered_map<uint64_t, CacheItem> cache_;
    std::list<uint64_t> lru_;
    size_t cacheBytes_ = 0;

    bool writing_ = false;
    std::unordered_map<uint64_t, NodePtr> dirty_;
    std::map<uint64_t, std::string> raw_;  // trunk and overflow pages of the transaction
    std::vector<std::pair<uint64_t, uint64_t>> streamed_;  // (key, log offset) of streamed pages
    std::unordered_map<uint64_t, uint64_t> streamedAt_;    // the same, to read them back
    std::unordered_map<uint64_t, uint64_t> logged_;        // committed pages not yet in the files
    std::map<uint32_t, uint32_t> loggedPageCounts_;        // their files' page counts
    bool logicalPending_ = false;
    uint64_t commitEnd_ = kWalHeaderSize;
    uint32_t commitChecksum_ = 0;
    uint64_t txnStartEnd_ = kWalHeaderSize;
    uint32_t txnStartChecksum_ = 0;

    uint64_t generation_ = 1;
    uint64_t knownCounter_ = 0;
    bool failed_ = false;
    bool readOnly_ = false;
    std::string readOnlyReason_;
    std::vector<std::string> notices_;

    // Reading through the log (PagerView.cpp).
    bool needView_ = false;
    bool viewing_ = false;
    bool viewLocked_ = false;  // openView holds the write lock until holdView or dropView
    std::string viewReason_;   // why the log waits ("kein Platz auf dem Datenträger")
    uint64_t viewBaseCounter_ = 0;
    uint32_t viewBaseFlags_ = 0;
    std::unordered_map<uint64_t, std::string> held_;  // pages of posts executed in memory
    uint64_t tailEnd_ = 0;  // end of the posts a dead writer left, while they are not committed
};

}  // namespace mv32::engine::store
