// The storage of one open table handle: its files, schema, trees and record operations.
//
// TableStore turns record operations (insert, update, erase) into changes of the record tree,
// the memo file and every current secondary index, inside one transaction of the Pager. A post
// is one transaction, synced before it returns. In bulk mode a group of posts forms one
// transaction: each post writes only a logical frame to the log (so that a killed process
// loses none of them), and the group is committed and synced when it grows large, at the end
// of bulk mode and at close.
//
// Other handles' commits show up through refresh(); whenever cached state was dropped,
// generation() changes and cursors must find their position again by key. modCount() changes
// with every change made through this handle.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Field.h"
#include "engine/FileSystem.h"
#include "engine/store/BTree.h"
#include "engine/store/Pager.h"
#include "engine/store/Schema.h"
#include "engine/store/TrigramIndex.h"

namespace mv32::engine::store {

// A large field's new content for insert/update; `keep` leaves an update's old value.
struct LargeValue {
    bool keep = true;
    bool blank = true;
    std::string data;
};

struct CheckReport {
    uint64_t records = 0;
    uint64_t pages = 0;
    std::vector<std::string> indexes;
};

class TableStore {
public:
    TableStore(std::shared_ptr<FileSystem> fs, std::string base);
    ~TableStore();

    // Replaces the table BASE (when nobody holds it) by an empty one with these fields.
    static void create(const std::shared_ptr<FileSystem>& fs, const std::string& base,
                       const std::vector<FieldDef>& fields);
    // Deletes all files of the table; refuses while anybody holds it.
    static void drop(const std::shared_ptr<FileSystem>& fs, const std::string& base);
    // Copies the files of the table `from` as they are now (the .db file and every file its
    // directory lists) to the table `to`, replacing it (held by nobody). Each file is copied
    // to a temporary file, synced and renamed over its target and keeps the time of its
    // source; files of an older table `to` that the copy does not have are removed. The
    // source is read under its read lock, so no commit changes it meanwhile. `started` gets
    // the number of bytes to copy, `advanced` the number copied so far.
    static void copy(const std::shared_ptr<FileSystem>& fs, const std::string& from,
                     const std::string& to, const std::function<void(uint64_t)>& started,
                     const std::function<void(uint64_t)>& advanced);
    // Gives the table `from` (closed cleanly, held by nobody) the name `to`, replacing the
    // table there (held by nobody either). The .db file is renamed last, so that a table of
    // the name `to` is always either the old one or the whole new one.
    static void move(const std::shared_ptr<FileSystem>& fs, const std::string& from,
                     const std::string& to);
    static std::vector<std::string> filesOf(FileSystem& fs, const std::string& base);

    // Opens the table; on a medium or files that cannot be written, for reading only. A first
    // writable opener finishes what a crash left in the log and rebuilds indexes whose files
    // are missing or belong to other files; what it found is kept as notices.
    void open(bool exclusive);
    void close();
    bool isOpen() const { return pager_ != nullptr; }
    bool exclusive() const { return pager_ && pager_->isExclusive(); }
    bool readOnly() const { return pager_ && pager_->readOnly(); }
    std::string readOnlyReason() const { return pager_ ? pager_->readOnlyReason() : std::string(); }
    // German sentences about what opening or recovering found and dealt with; taking them
    // empties the list.
    std::vector<std::string> takeNotices();
    // Indexes defined for the table whose files are not usable (read-only handles only: a
    // writable one rebuilds them when it opens).
    const std::vector<std::string>& missingIndexes() const { return missingNames_; }
    // The sentence that says the log holds changes that still wait to be written into the
    // files (the handle reads through it), or empty.
    std::string waitingLog() const { return pager_ ? pager_->viewNotice() : std::string(); }
    const std::string& base() const { return base_; }
    std::string displayName() const;

    const Schema& schema() const { return schema_; }
    bool hasPrimary() const { return primary_; }
    const std::vector<const IndexInfo*>& liveIndexes() const { return live_; }
    const IndexInfo* liveIndex(std::string_view name) const;

    // Reading: a shared handle holds the read lock for the duration of a scope, so that no
    // commit is written into the files meanwhile, and finds the cache current inside it.
    // Scopes nest; they must not be held across a write of this handle.
    class ReadScope {
    public:
        explicit ReadScope(TableStore& s) : s_(&s), locked_(s.beginRead()) {}
        ~ReadScope() { s_->endRead(locked_); }
        ReadScope(const ReadScope&) = delete;
        ReadScope& operator=(const ReadScope&) = delete;

    private:
        TableStore* s_;
        bool locked_;
    };
    ReadScope readScope() { return ReadScope(*this); }
    // Makes cached state current (shows other handles' commits).
    void refresh() { ReadScope scope(*this); }
    uint64_t generation() const { return pager_ ? pager_->generation() : 0; }
    uint64_t modCount() const { return modCount_; }
    // Changes whenever index definitions were reloaded (pointers to them are then stale).
    uint64_t schemaVersion() const { return schemaVersion_; }

    BTree& records() { return *records_; }
    BTree& indexTree(const IndexInfo& ix);
    uint64_t recordCount() const { return records_->count(); }

    std::string readBlob(const BlobRef& ref);

    // Record operations. Each is a post of its own unless bulk mode is on. They return the
    // record entry written (its cluster key first). Key violations throw before anything
    // changes.
    // `before` (tables without any key): the cluster key the new record is placed before.
    // `keyLength` (when given) receives the length of the entry's cluster key.
    std::string insert(const Row& values, const std::vector<LargeValue>& large,
                       std::string_view before = {}, size_t* keyLength = nullptr);
    // `expected` (when not empty): the record entry as it was read before the change was
    // made; a record that is no longer stored so is not overwritten (ErrorKind::Changed).
    std::string update(std::string_view oldKey, const Row& values,
                       const std::vector<LargeValue>& large, std::string_view expected = {});
    void erase(std::string_view key);

    void beginBulk();
    void endBulk();
    bool bulk() const { return bulk_; }

    // Maintenance: the table must be open exclusively (except addIndex on a keyless table
    // which needs it too). All are atomic.
    void addPrimary(const std::vector<int>& fields);
    void dropPrimary();
    void addIndex(const std::string& name, const std::vector<int>& fields, unsigned options);
    void dropIndex(const std::string& name);
    void regenerate();
    void pack();
    void empty();
    CheckReport check();

    // Whether a primary key other than `ownKey` has these key values.
    bool primaryKeyTaken(const Row& values, std::string_view ownKey);

    // The trigram index of a text field (TrigramIndex.h), in <table>.tri. Building it reads
    // every record, never the old file; the table must be open exclusively with no bulk group
    // open, so that the records it describes are the ones written to disk. A table that did
    // not name this field for its index yet does so first, in a commit of its own.
    void buildTrigrams(int field);
    // The same, from `next(value)` (each record's upper-cased value in primary order) instead
    // of a pass over the records.
    void buildTrigramsFrom(int field, const std::function<bool(std::string&)>& next);
    // The index when its file exists and was built from the table as it is now (the caller
    // holds a read scope); null when it is missing, of the older format, stale or damaged:
    // the search then reads every record. check() reports a damaged file.
    const TrigramIndex* trigrams();
    std::string trigramPath() const { return base_ + kTrigramExtension; }
    // Builds the trigram index anew, current or not, for the field the table names for it
    // (regenerate() does), without reading its old file; nothing for a table without one.
    void rebuildTrigrams();
    // The field of the table's trigram index, -1 when it has none.
    int trigramField() const;
    // A change that the trigram index takes in instead of being built anew (TrigramDelta.h).
    // beginTrigramChange() notes the table as it is and returns how many records the change
    // may add and remove (0: the index is not current, and only a build makes it current).
    // endTrigramChange() takes the positions of the records removed since, each where it
    // stood when it was removed, and then of those added, each where it stood when it was
    // added; true when the index describes the table again. False, with the index left as
    // it was (stale), when another handle changed the table meanwhile, the change does not
    // add up to the table, or it grew past the limit; throws when the change cannot be
    // written (a full disk): the index then stays stale too.
    size_t beginTrigramChange();
    bool endTrigramChange(const std::vector<uint64_t>& removedAt,
                          const std::vector<uint64_t>& insertedAt);
    // A fill of the empty table that keeps its values, so that the index is built from them
    // (Table::beginTrigramFill). beginTrigramFill(): the cache generation when the table is
    // empty with nothing uncommitted, else nothing. endTrigramFill(): the table as the fill
    // left it, when no other handle committed since `cache`. buildTrigramsFromFill(): builds
    // as buildTrigrams() does, from `valueOf(i)` (the i-th record added, stood at
    // `insertedAt[i]` right after its post) instead of the records; false when the table is
    // no longer `filled` or the fill does not add up to it.
    std::optional<uint64_t> beginTrigramFill();
    std::optional<TableState> endTrigramFill(uint64_t cache);
    bool buildTrigramsFromFill(int field, const TableState& filled,
                               const std::vector<uint64_t>& insertedAt,
                               const std::function<std::string_view(size_t)>& valueOf);

private:
    struct Write;
    friend struct Write;
    // Opening: the first writable opener recovers; every other open reads the headers under
    // the read lock.
    void recoverAtOpen();
    void loadAtOpen();
    // Under the write lock: writes what the log holds into the files and executes the posts
    // a dead writer left (`first`: as the first opener, which then starts a fresh log).
    void finishLog(bool first);
    // Finishes the log's work where that is possible, and otherwise reads through the log.
    void catchUp();
    // Reads through the log: its pages over the files, a dead writer's posts in memory.
    void enterLogView();
    void requireTableFile() const;
    void loadFiles();
    std::optional<uint64_t> listedCounter(uint32_t no) const;
    bool attachCurrent(uint32_t no, const char (&magic)[8], const std::string& block);
    void loadMemoFile();
    void loadIndexes();
    void ensureCurrent();
    void requireExclusive(const char* what) const;
    std::string tableName() const;

    // Transactions: runs `apply` as one post, or as part of the open bulk group.
    template <typename F>
    void write(F&& apply) {
        auto call = [](void* f) { (*static_cast<std::remove_reference_t<F>*>(f))(); };
        writeImpl(call, &apply);
    }
    void writeImpl(void (*call)(void*), void* fn);
    void beginTxn();
    void commitTxn(bool groupEnd);
    void replay(const std::vector<std::string>& logical);
    // Logs a bulk insert: told by its difference from the entry of the insert before when
    // that one's frame is the log's last (an insert after insert), else whole.
    void logInsert(const std::string& entry,
                   const std::vector<std::pair<uint64_t, std::string>>& blobs);
    void openGroup();
    void maybeEndGroup();
    bool beginRead();
    void endRead(bool locked);

    // Replayable operations (also the normal path).
    void applyInsert(std::string_view entry,
                     const std::vector<std::pair<uint64_t, std::string>>& blobs,
                     bool recordInserted = false);
    [[noreturn]] void throwKeyViolation() const;
    void applyUpdate(std::string_view oldKey, std::string_view entry,
                     const std::vector<std::pair<uint64_t, std::string>>& blobs,
                     const std::vector<uint64_t>& freed);
    void applyDelete(std::string_view key);
    void writeBlob(uint64_t id, const std::string& data);
    void freeBlob(uint64_t id);
    uint64_t newBlobId();
    void checkUnique(const Row& values, std::string_view ownKey);
    std::string prepareRecord(const Row& values, const std::vector<LargeValue>& large,
                              const std::vector<BlobRef>& oldRefs, uint64_t seq,
                              std::vector<std::pair<uint64_t, std::string>>& blobs,
                              std::vector<uint64_t>& freed, uint32_t* ends = nullptr);

    // Whether the index was built from the table as it is now.
    bool trigramsCurrent(const TrigramIndex& ix) const;
    // A current trigram index holds exactly the trigrams of every record (checks only); a
    // damaged file is a corruption error naming it.
    void checkTrigrams(CheckReport& report);

    // Rebuilding.
    void rebuildIndex(const IndexInfo& ix, bool fresh);
    void repairIndexes();
    void rebuildRecords(const std::vector<int>& cluster, bool checkDuplicates);

    std::shared_ptr<FileSystem> fs_;
    std::string base_;
    std::unique_ptr<Pager> pager_;
    Schema schema_;
    bool primary_ = false;
    uint64_t nextBlobId_ = 1;
    std::vector<const IndexInfo*> live_;
    std::vector<const IndexInfo*> missing_;  // defined, but their files are not current
    bool primaryMissing_ = false;            // the directory lists a .px that is not current
    std::vector<std::string> missingNames_;
    std::vector<std::string> notices_;
    std::unique_ptr<NodeCodec> recordCodec_;
    std::unique_ptr<NodeCodec> blobCodec_;
    std::deque<Layout> indexLayouts_;
    std::deque<NodeCodec> indexCodecs_;
    std::unique_ptr<TrigramIndex> trigrams_;
    struct TrigramMark {
        TrigramStamp stamp;
        uint64_t cache = 0;  // the pager's cache generation: another handle's commit changes it
        size_t limit = 0;
    };
    std::optional<TrigramMark> trigramMark_;
    std::unique_ptr<BTree> records_;
    std::unique_ptr<BTree> blobs_;
    std::deque<BTree> indexTrees_;
    uint64_t loadedGen_ = 0;
    uint64_t schemaVersion_ = 1;
    uint64_t modCount_ = 0;

    int readDepth_ = 0;
    bool bulk_ = false;
    bool groupOpen_ = false;
    size_t groupOps_ = 0;
    std::chrono::steady_clock::time_point groupStart_;
    unsigned clockSkips_ = 0;       // calls of maybeEndGroup since it last read the clock
    std::string lastLogged_;        // the entry of the last insert logged
    std::string logOp_;             // the last insert's log operation, its buffer reused
    std::vector<uint32_t> ends_;    // where the fields of the entry being inserted end
    uint64_t lastLoggedStamp_ = 0;  // the log's stamp right after it (Pager::logStamp)
};

}  // namespace mv32::engine::store
