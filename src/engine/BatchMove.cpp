#include "engine/BatchMove.h"

#include "engine/DbfTable.h"
#include "engine/EngineError.h"
#include "engine/Table.h"

namespace mv32::engine {

namespace {

// Destination column -> source column (-1: stays blank).
std::vector<int> pairColumns(Cursor& source, Cursor& dest, const ColumnMappings& mappings,
                             const std::string& destName) {
    std::vector<int> pairs(static_cast<size_t>(dest.fieldCount()), -1);
    if (!mappings.empty()) {
        for (const auto& [d, s] : mappings) {
            int di = dest.fieldIndex(d);
            int si = source.fieldIndex(s);
            if (di < 0 || si < 0) {
                throw EngineError(ErrorKind::NotFound,
                                  "Die Zuordnung " + quoted(d + "=" + s) + " nennt ein Feld, das " +
                                      (di < 0 ? "die Zieltabelle " + quoted(destName)
                                              : std::string("die Quelle")) +
                                      " nicht hat.");
            }
            pairs[static_cast<size_t>(di)] = si;
        }
        return pairs;
    }
    bool byName = true;
    for (int i = 0; i < dest.fieldCount() && byName; ++i) {
        pairs[static_cast<size_t>(i)] = source.fieldIndex(dest.fieldDef(i).name);
        byName = pairs[static_cast<size_t>(i)] >= 0;
    }
    if (byName) return pairs;
    if (source.fieldCount() < dest.fieldCount()) {
        throw EngineError(ErrorKind::Usage,
                          "Die Felder der Quelle passen nicht zur Tabelle " + quoted(destName) +
                              ": Sie hat " + std::to_string(dest.fieldCount()) +
                              " Felder, die Quelle nur " + std::to_string(source.fieldCount()) +
                              " und nicht alle gleichnamig.");
    }
    for (size_t i = 0; i < pairs.size(); ++i) pairs[i] = static_cast<int>(i);
    return pairs;
}

[[noreturn]] void recordFailed(const EngineError& e, Cursor& source, int64_t n,
                               const std::string& destName) {
    std::string which = "Datensatz " + std::to_string(n);
    try {
        if (source.fieldCount() > 0) {
            std::string first = source.displayText(0);
            if (!first.empty()) which += " (" + quoted(first) + ")";
        }
    } catch (const EngineError&) {
        // Only the record number then.
    }
    throw EngineError(e.kind(), which + " konnte nicht in die Tabelle " + quoted(destName) +
                                    " übertragen werden: " + e.what());
}

// Silences a table's notifications for the duration of a batch move.
class QuietTable {
public:
    explicit QuietTable(Table& t)
        : t_(t),
          afterInsert_(std::move(t.afterInsert)),
          afterEdit_(std::move(t.afterEdit)),
          afterPost_(std::move(t.afterPost)),
          beforeDelete_(std::move(t.beforeDelete)),
          afterDelete_(std::move(t.afterDelete)) {
        t.afterInsert = nullptr;
        t.afterEdit = nullptr;
        t.afterPost = nullptr;
        t.beforeDelete = nullptr;
        t.afterDelete = nullptr;
    }
    ~QuietTable() {
        t_.afterInsert = std::move(afterInsert_);
        t_.afterEdit = std::move(afterEdit_);
        t_.afterPost = std::move(afterPost_);
        t_.beforeDelete = std::move(beforeDelete_);
        t_.afterDelete = std::move(afterDelete_);
    }
    QuietTable(const QuietTable&) = delete;
    QuietTable& operator=(const QuietTable&) = delete;

private:
    Table& t_;
    std::function<void(Table&)> afterInsert_, afterEdit_, afterPost_, beforeDelete_, afterDelete_;
};

}  // namespace

BatchMoveResult batchMove(Cursor& source, Table& dest, BatchMode mode,
                          const ColumnMappings& mappings) {
    const std::string destName = dest.tableName();
    std::vector<int> pairs = pairColumns(source, dest, mappings, destName);
    // The primary key fields of the destination, read from the paired source columns.
    std::vector<int> keyDest;
    std::string keyList;
    if (mode == BatchMode::AppendUpdate) {
        for (const std::string& k : dest.primaryKeyFields()) {
            int d = dest.field(k);
            if (pairs[static_cast<size_t>(d)] < 0) {
                throw EngineError(ErrorKind::Usage, "Die Quelle liefert das Schlüsselfeld " +
                                                        quoted(k) + " der Tabelle " +
                                                        quoted(destName) + " nicht.");
            }
            keyDest.push_back(d);
            keyList += (keyList.empty() ? "" : ";") + k;
        }
    }
    QuietTable quiet(dest);
    BatchMoveResult result;
    dest.beginBulk();
    int64_t n = 0;
    try {
        for (source.first(); !source.eof(); source.next()) {
            ++n;
            try {
                bool update = false;
                if (!keyDest.empty()) {
                    std::vector<Value> key;
                    for (int d : keyDest)
                        key.push_back(source.value(pairs[static_cast<size_t>(d)]));
                    update = dest.locate(keyList, key);
                }
                if (update) {
                    dest.edit();
                } else {
                    dest.append();
                }
                for (size_t d = 0; d < pairs.size(); ++d) {
                    if (pairs[d] >= 0) dest.setValue(static_cast<int>(d), source.value(pairs[d]));
                }
                dest.post();
                ++(update ? result.updated : result.appended);
            } catch (const EngineError& e) {
                if (dest.state() == DataSetState::Edit || dest.state() == DataSetState::Insert) {
                    dest.cancel();
                }
                recordFailed(e, source, n, destName);
            }
        }
    } catch (...) {
        // What was moved stays: the open group is committed before the error goes on.
        try {
            dest.endBulk();
        } catch (const EngineError&) {
            // The first error is the one to report.
        }
        throw;
    }
    dest.endBulk();
    return result;
}

BatchMoveResult batchMove(Cursor& source, DbfTable& dest, const ColumnMappings& mappings) {
    const std::string destName = dest.path();
    std::vector<int> pairs = pairColumns(source, dest, mappings, destName);
    BatchMoveResult result;
    int64_t n = 0;
    for (source.first(); !source.eof(); source.next()) {
        ++n;
        try {
            dest.append();
            for (size_t d = 0; d < pairs.size(); ++d) {
                if (pairs[d] >= 0) dest.setValue(static_cast<int>(d), source.value(pairs[d]));
            }
            dest.post();
            ++result.appended;
        } catch (const EngineError& e) {
            dest.cancel();
            recordFailed(e, source, n, destName);
        }
    }
    return result;
}

}  // namespace mv32::engine
