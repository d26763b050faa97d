// Runs a bound statement over the storage of one open table and gives access to the result.
//
// Plain results are lists of record positions (in the primary order, listed in the result's
// order), or all positions of an index or the primary order when there is no condition; rows are
// read again from the table when the cursor reaches them. A plain result with a condition and no
// sort is found only as far as it is read: extend() goes on with the pass over the table where
// the last one stopped, and rowCount() finishes it. DISTINCT, GROUP BY, aggregate and sorted
// results are computed whole.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Field.h"
#include "engine/sql/Binder.h"
#include "engine/sql/Eval.h"

namespace mv32::engine::store {
class TableStore;
class PositionReader;
struct IndexInfo;
struct TreePos;
}  // namespace mv32::engine::store

namespace mv32::engine::sql {

class RecordRow;

// The memory a plain result may keep of the records it found, as stored (32 MiB; tests make
// it small). Setting 0 brings back the default.
size_t copyBudget();
void setCopyBudget(size_t bytes);

class Executor {
public:
    Executor(store::TableStore& store, const BoundQuery& q);
    ~Executor();

    // Reads the table and builds the result (takes its own read scope).
    void run();
    // Whether the table changed since run().
    bool stale() const;
    const std::string& plan() const { return plan_; }

    // The number of rows; finishes finding them (the caller holds a read scope and made sure
    // the result is not stale).
    int64_t rowCount();
    // The rows found so far, and whether they are all.
    int64_t knownRows() const;
    bool complete() const { return !pending_; }
    // Finds rows until there are `rows` of them or all are found (read scope, not stale).
    void extend(int64_t rows);
    // Whether row r is among the rows read ahead (then load() needs no access to the table).
    bool loaded(int64_t r) const;
    // Makes row r (0-based) current. Unless loaded(r), the caller holds a read scope and
    // checked stale(); the rows around r are read ahead in the cursor's direction.
    void load(int64_t r, bool backwards = false);
    // Whether column c of the current row reads memo or blob data from the table (the caller
    // then holds a read scope and made sure the result is not stale).
    bool needsTable(int c) const;
    // Value of result column c of the current row.
    Value value(int c);
    // The current row (-1: none).
    int64_t current() const { return current_; }

private:
    struct Driver {
        const store::IndexInfo* index = nullptr;  // null: the records in primary order
        std::string lo, hi;
        bool hasLo = false, hasHi = false;
        bool reverse = false;
        bool sort = false;
        // Read only the records at these positions of the primary order (ascending): those
        // the trigram index leaves for a LIKE condition.
        bool trigrams = false;
        std::string trigramField;
        std::vector<uint32_t> candidates;
    };
    Driver choose() const;
    // The candidates of the trigram index for a condition UPPER(field) LIKE "…" of the
    // statement, when the table has a current index of that field and the pattern gives a
    // trigram.
    bool chooseTrigrams(Driver& d) const;
    // Whether the candidates are so many that reading them is a pass over the table, which
    // then reads its leaves past the cache.
    bool denseCandidates(const Driver& d) const;
    // Makes rp the record at `position`, stepping from where it stands when that is near.
    void seekPosition(store::TreePos& rp, uint64_t& at, uint64_t position, bool& placed);
    // Calls onRow(positionOf) for every record the driver reads, the record being in row_;
    // positionOf() gives its position in the record tree.
    template <typename F>
    void scan(const Driver& d, F&& onRow);
    // Keeps a qualifying record's stored form while the copies fit their budget.
    // The record at the trigram candidate i, read through `reader`.
    std::string_view candidate(store::PositionReader& reader, size_t i);
    void keepCopy();
    // Where a pass that finds rows as they are read stands.
    struct Pending;
    std::unique_ptr<Pending> pending_;
    bool copying_ = true;
    void sortKey(std::string& out, RowContext& row, const std::vector<Value>* output);
    void runPlain(const Driver& d);
    void runMaterialized(const Driver& d);
    // The order of items by their sort keys (stable).
    std::vector<uint32_t> orderOf(const std::string& keys,
                                  const std::vector<uint64_t>& keyEnds) const;

    store::TableStore& store_;
    const BoundQuery& q_;
    std::unique_ptr<RecordRow> row_;
    std::string plan_;
    uint64_t generation_ = 0;
    uint64_t modCount_ = 0;

    // Plain results.
    const store::IndexInfo* order_ = nullptr;
    bool identity_ = false;
    bool reverse_ = false;
    uint64_t base_ = 0;
    uint64_t count_ = 0;
    std::vector<uint64_t> positions_;
    // The qualifying records as stored, while they fit copyBudget() (else empty), or the last
    // of them (rollCopies_): offset and length in copies_, per result row from copyFirst_.
    std::string copies_;
    std::vector<std::pair<uint64_t, uint32_t>> copyAt_;
    uint64_t copyFirst_ = 0;      // the result row of copyAt_'s first item
    bool rollCopies_ = false;     // past the budget, drop the older copies instead of all
    std::string clusterScratch_;  // a record's cluster key put together from an index entry
    // Computed results.
    std::vector<Row> rows_;
    int64_t current_ = -1;
    // Rows read ahead: the record entries of rows batchStart_ .. batchStart_ + batch_.size().
    std::vector<std::string> batch_;
    std::vector<std::vector<std::optional<std::string>>> batchLarge_;  // memo texts, by field
    int64_t batchStart_ = 0;
    std::vector<int> largeOut_;              // memo fields the result shows
    std::vector<std::vector<int>> largeOf_;  // memo and blob fields each column reads
    static constexpr uint64_t kPrefetchLimit = 64 * 1024;
};

}  // namespace mv32::engine::sql
