// A table of the engine with its cursor: the one object through which the program reads and
// writes catalogs, the file list and the undo journal.
//
// A Table names a table by folder and file name, opens it shared or exclusively, and then acts
// as a cursor in the order of its current index (empty name: primary order; without a primary
// index, the order the records are stored in). Editing follows the dataset conventions of the
// program: append()/insert()/edit() start a change, field setters fill it, post() writes it and
// cancel() drops it. A change still pending is posted when the cursor moves, a locate starts,
// another record is appended or the table is closed.
//
// Every failure throws EngineError with a German sentence naming the table. A Table belongs to
// one thread at a time; several Tables, in one process or several, may hold the same table.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Cursor.h"
#include "engine/Field.h"
#include "engine/FileSystem.h"
#include "engine/TableFileNames.h"

namespace mv32::engine {

namespace store {
class TableStore;
struct IndexInfo;
struct BlobRef;
struct LargeValue;
struct TreePos;
class BTree;
}  // namespace store

enum class TableType { Native, DBase };

enum class DataSetState { Inactive, Browse, Edit, Insert };

enum IndexOptions : unsigned {
    IndexNone = 0,
    IndexCaseInsensitive = 1,
    IndexDescending = 2,
    IndexUnique = 4,
};

enum LocateOptions : unsigned {
    LocateNone = 0,
    LocateCaseInsensitive = 1,
    LocatePartialKey = 2,  // a text value matches when it begins with the searched text
};

// A remembered record position. Empty when taken without a current record.
struct Bookmark {
    std::string key;
    bool valid() const { return !key.empty(); }
};

class Table : public Cursor {
public:
    explicit Table(std::shared_ptr<FileSystem> fs = FileSystem::real());
    ~Table() override;
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // The memory all tables of the process may use for cached pages (default 64 MiB).
    static void setCacheLimit(size_t bytes);
    static size_t cacheLimitBytes();

    // --- Which table. The name may carry the extension ".db" (any case), be bare, or be a
    // whole path; the folder is used for names without one.
    void setDirectory(std::string dir);
    const std::string& directory() const { return directory_; }
    void setTableName(std::string name);
    const std::string& tableName() const { return tableName_; }
    // Path of the .db file as the table's files are spelled on disk.
    std::string filePath() const;
    TableType tableType() const { return TableType::Native; }
    void setExclusive(bool exclusive);
    bool exclusive() const { return exclusive_; }
    // Selects the current index by name; "" is the primary order.
    void setIndexName(const std::string& name);
    const std::string& indexName() const { return indexName_; }
    void setFieldDefs(std::vector<FieldDef> defs) { fieldDefs_ = std::move(defs); }
    bool exists() const;

    // --- The table as a whole.
    void createTable();
    // Opens the table, for reading only where its files or their medium cannot be written.
    void open();
    void close();
    bool active() const override;
    // Open for reading only: every change is refused with a message that says why.
    bool readOnly() const;
    // What opening (or a later recovery) found and dealt with on its own, as German sentences
    // for the person: a log that did not belong to the files, an index rebuilt. They are kept
    // across closing until taken; taking them empties the list.
    std::vector<std::string> takeNotices();
    // Indexes defined for the table that could not be rebuilt here (read-only files).
    std::vector<std::string> missingIndexes() const;
    // While the table's log holds changes that cannot be written into its files now (the
    // medium is full, or cannot be written), the table is read through the log: this is the
    // sentence that says so, else empty. The next write that finds room writes them.
    std::string waitingLog() const;
    void deleteTable();
    // Copies this table (closed here; others may hold it) with every file it has now to
    // `target` (a path of a .db file), replacing the table there; each copy keeps its
    // source's time. `started(bytes)` runs before the first byte, `advanced(bytesSoFar)`
    // after each piece.
    void copyTo(const std::string& target, const std::function<void(int64_t)>& started = {},
                const std::function<void(int64_t)>& advanced = {});
    // Gives this table (closed) the name of `target` (a path of a .db file), replacing the
    // table there only once this one is complete under the new name; afterwards this object
    // names the table at `target`. Refuses while either table is held anywhere.
    void moveTable(const std::string& target);
    void emptyTable();
    void packTable();
    // Adds an index; an empty name adds the primary index. Fields are separated by ";".
    void addIndex(const std::string& name, const std::string& fields, unsigned options = 0);
    // Deletes an index by name; "" deletes the primary index.
    void deleteIndex(const std::string& name);
    // Rebuilds every index, the trigram index too where the table has one.
    void regenerateIndexes();
    // The trigram index of the text field `field` (in <table>.tri): built from the records as
    // they are now, for searches of UPPER(field) LIKE "…" while the table stays unchanged.
    // The table must be open exclusively.
    void buildTrigramIndex(const std::string& field);
    // The field of the table's trigram index when it is current and whole (every list of its
    // file read and checked), else "": missing, stale or damaged, it needs building.
    std::string trigramIndexField();
    // A bulk change that the trigram index takes in instead of a build: beginTrigramChange()
    // before the change returns how many records it may add and remove (0: the index is not
    // current; a build is the way to make it so). endTrigramChange() after the change (its
    // group committed) takes the positions, counted from 0 in primary order, of the records
    // removed, each where it stood at its removal, then of those added, each where it stood
    // right after its post; true when the index is current again, false when only a build
    // makes it so. Throws when the change cannot be written; the index stays stale then.
    size_t beginTrigramChange();
    bool endTrigramChange(const std::vector<uint64_t>& removedAt,
                          const std::vector<uint64_t>& insertedAt);
    // A fill of an empty table whose trigram index is then built from the values the filler
    // kept instead of from a pass over the records: beginTrigramFill() before the first post
    // (false unless the table holds no record and no work waits to be committed);
    // endTrigramFill() after the fill's last commit notes the table as the fill left it
    // (false when another handle committed meanwhile: only a build reading the records is
    // right then). buildTrigramIndexFromFill() (the table open exclusively, maybe by a new
    // handle) builds the index of `field` when the table is still as noted: `insertedAt` the
    // position of each record added right after its post, `valueOf(i)` the value of the i-th
    // as stored; false, with nothing written, when the table changed since or the fill does
    // not add up to it. Throws as buildTrigramIndex() does.
    struct TrigramFill {
        uint64_t cache = 0;  // the handle's cache generation when the fill began
        uint64_t tableId = 0, counter = 0, generation = 0, records = 0;
        bool noted = false;
    };
    bool beginTrigramFill(TrigramFill& fill);
    bool endTrigramFill(TrigramFill& fill);
    bool buildTrigramIndexFromFill(const std::string& field, const TrigramFill& fill,
                                   const std::vector<uint64_t>& insertedAt,
                                   const std::function<std::string_view(size_t)>& valueOf);
    std::vector<std::string> indexNames() const;
    struct IndexDescription {
        std::string name;    // "" for the primary index
        std::string fields;  // separated by ";"
        unsigned options = 0;
        std::string file;  // the file that holds it
    };
    std::vector<IndexDescription> indexes() const;
    // Paths of the table's files that exist.
    std::vector<std::string> files() const;
    bool hasPrimaryIndex() const;
    std::vector<std::string> primaryKeyFields() const;
    // Full integrity check; throws a corruption error naming the damaged file.
    struct IntegrityReport {
        int64_t records = 0;
        int64_t pages = 0;
    };
    IntegrityReport checkIntegrity();
    // Bulk mode for scans, batch moves and imports: posts are synced in groups.
    void beginBulk();
    void endBulk();
    // Re-reads the data, showing other handles' changes.
    void refresh();

    // --- Cursor.
    void first() override;
    void last() override;
    void next() override;
    void prior() override;
    bool eof() const override { return eof_; }
    bool bof() const override { return bof_; }
    int64_t recordCount() override;
    int64_t recNo() override;
    void moveTo(int64_t n) override;
    Bookmark bookmark();
    void gotoBookmark(const Bookmark& b);
    void freeBookmark(Bookmark& b) { b.key.clear(); }

    // --- Fields.
    int fieldCount() const override;
    const FieldDef& fieldDef(int i) const override;
    int fieldIndex(std::string_view name) const override;
    using Cursor::value;
    Value value(int i) override;
    bool hasContent(int i) override;
    // A cursor of its own over this open table, in the same order, for reading records by
    // position without moving this one (a grid's rows). It shares this table's open handle
    // and cache; it reads nothing once this table is closed.
    std::unique_ptr<Cursor> reader() override;
    // A value given as a temporary is moved into the record when it fits the field as it is.
    void setValue(int i, Value v);
    void setValue(std::string_view name, Value v) { setValue(field(name), std::move(v)); }
    void setAsString(std::string_view name, std::string s) { setValue(name, Value(std::move(s))); }
    void setAsInteger(std::string_view name, int64_t n) { setValue(name, Value(n)); }
    void clear(std::string_view name) { setValue(name, Value()); }
    void loadFromFile(std::string_view name, const std::string& path);

    // --- Editing.
    DataSetState state() const { return state_; }
    void append();
    void insert();
    void edit();
    // Writes the pending insert or edit. An edit whose record another handle changed or
    // deleted since edit() read it is refused (ErrorKind::Changed, a message naming the
    // record): nothing is written and the edit stays pending with its values.
    void post();
    void cancel();
    void remove();

    // --- Searching.
    // First record whose fields (";"-separated) equal the values; the cursor moves only when
    // one is found.
    bool locate(const std::string& fields, const std::vector<Value>& values, unsigned options = 0);
    // First record of the current order at or after the values (leading index fields).
    void findNearest(const std::vector<Value>& values);
    // The value as the field named `name` stores it (a text read as a number for a number
    // field); throws the conversion's message when it does not fit. For checking typed input.
    Value converted(std::string_view name, const Value& v) const { return convert(field(name), v); }

    // --- Notifications. beforeDelete may throw to stop the delete.
    std::function<void(Table&)> afterInsert;
    std::function<void(Table&)> afterEdit;
    std::function<void(Table&)> afterPost;
    std::function<void(Table&)> beforeDelete;
    std::function<void(Table&)> afterDelete;

private:
    friend class Query;  // reads the table's storage directly
    // Tells the listener of a change once the operation has returned normally.
    struct Announce {
        Table& t;
        CursorEvent event;
        int exceptions = std::uncaught_exceptions();
        ~Announce() {
            if (std::uncaught_exceptions() == exceptions) t.announce(event);
        }
    };
    void announce(CursorEvent event);

    std::string basePath() const;
    std::string displayName() const;
    void requireActive() const;
    void requireInactive(const char* what) const;
    void postPending();
    // Refuses the post of an edit whose record changed meanwhile (see post()).
    [[noreturn]] void refusedAsChanged();
    // How a message names the record `entry`.
    std::string recordName(std::string_view entry) const;
    void selectOrder(const std::string& name);
    const store::IndexInfo* ord();
    store::BTree& tree();
    std::string orderKeyFor(const Row& values, std::string_view clusterKey);
    void positionAt(std::string_view orderKey);
    void loadCurrent();
    // `clusterLength`: the length of the entry's primary key when the caller knows it.
    void setCurrent(std::string entry, std::string_view orderKey,
                    size_t clusterLength = std::string::npos);
    Row currentValues() const;
    void revalidate();
    void step(bool forward);
    bool fastStep(bool forward);
    template <typename F>
    void withExclusive(const char* what, F&& f);
    std::vector<int> parseFields(const std::string& fields) const;
    bool matches(const std::vector<int>& fields, const std::vector<Value>& values, unsigned options,
                 const Row& rec) const;
    Value convert(int i, const Value& v) const;

    std::shared_ptr<TableFileNames> names_;  // the table's files whatever their letter case
    std::shared_ptr<FileSystem> fs_;         // the same
    std::string directory_;
    std::string tableName_;
    bool exclusive_ = false;
    std::string indexName_;
    std::vector<FieldDef> fieldDefs_;

    std::shared_ptr<store::TableStore> store_;  // shared with queries that read through it
    bool borrowed_ = false;  // a reader: the handle belongs to the table it was made from
    const store::IndexInfo* order_ = nullptr;  // through ord() only
    std::string orderName_;
    uint64_t orderVersion_ = 0;
    DataSetState state_ = DataSetState::Inactive;
    bool bof_ = true;
    bool eof_ = true;
    bool haveCurrent_ = false;
    std::string curKey_;             // key of the current record in the current order's tree
    std::string curCluster_;         // its key in the record tree
    std::string curEntry_;           // the current record as stored
    std::vector<uint32_t> curEnds_;  // its field boundaries
    bool keysPending_ = false;       // curKey_ and curCluster_ are still to be taken from the entry
    bool splitPending_ = false;      // curEnds_ is still to be found
    bool readOneField_ = false;      // a field of this record was read without curEnds_
    int forwardLeaves_ = 0;          // leaves crossed by forward steps in a row
    static constexpr int kLeavesBeforeStreaming = 4;
    const std::string& curKey() {
        if (keysPending_) takeKeysFromEntry();
        return curKey_;
    }
    const std::string& curCluster() {
        if (keysPending_) takeKeysFromEntry();
        return curCluster_;
    }
    void takeKeysFromEntry();
    const std::vector<uint32_t>& curEnds();
    std::string lastLocateFields_;  // the field list of the last locate, parsed
    std::vector<int> lastLocateIdx_;
    std::unique_ptr<store::TreePos> pos_;
    uint64_t posGen_ = 0;
    uint64_t posMod_ = 0;

    std::vector<std::string> notices_;  // of handles closed since they were last taken

    Row buf_;
    std::vector<store::LargeValue> bufLarge_;
    std::string insertBefore_;  // keyless tables: cluster key the inserted record goes before
    // The record entry as edit() read it, and whether a refused post left it to be read anew.
    std::string editBase_;
    bool reloadOnCancel_ = false;
};

}  // namespace mv32::engine
