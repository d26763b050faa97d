// The file list table mv32list.db: one record for every file a scan found on any medium.
//
// The record is Verzeichnis (the whole directory path, ending in the separator), Dateiname (the
// whole name), Erweiterung (after the last dot, at most 5 characters), Groesse (64-bit bytes),
// Label and VolID (the medium); the primary key is the whole record, so a record is added only
// when no identical one exists. The three secondary indexes DateinameIndex, ErweiterungIndex and
// GroesseIndex are dropped before a scan inserts and rebuilt after it when SekIndexActive is on;
// the first of them lives in mv32list.xg0. One scan at a time owns the table.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/Table.h"

namespace mv32::scan {

inline constexpr const char* kFileListName = "mv32list.db";
inline constexpr int kDirectoryWidth = 4096;
inline constexpr int kNameWidth = 255;

class FileList {
public:
    // `folder` is the data folder (DatenbankPfad, with its separator).
    explicit FileList(std::string folder) : folder_(std::move(folder)) {}

    const std::string& folder() const { return folder_; }
    engine::Table& table() { return table_; }
    std::string path(const char* extension) const { return folder_ + "mv32list" + extension; }

    // Operation 1: opens the table, creating it when it cannot be opened. When that fails too,
    // `correctFolder` (the settings dialog) may name another data folder, where the table is
    // created unless it exists, and opened. Throws on failure; a damaged table is never
    // replaced.
    void openOrCreate(const std::function<std::string()>& correctFolder = {});
    // Operation 2: drops the secondary indexes; the first missing one ends the step silently.
    void dropSecondaryIndexes();
    // Operation 3: adds the primary index when mv32list.px is missing.
    void ensurePrimaryIndex();
    // Before a walk inserts: operations 2 (when SekIndexActive is on and the primary index
    // exists) and 3.
    void prepareForInserts(bool sekIndexActive);
    // Operation 4: adds the record unless an identical one exists; true when it was added.
    bool addIfNew(const std::string& directory, const std::string& name, int64_t size,
                  const std::string& label, const std::string& volId);
    // Operation 5: finishes the records added since openOrCreate(); false when the walk added
    // none (the scan driver asks about that as about any database problem).
    bool commit();
    // Operation 6: adds the three secondary indexes in order; `before(i)` runs before index i
    // (1..3). Throws on failure.
    void rebuildSecondaryIndexes(const std::function<void(int)>& before = {});
    int64_t recordCount();
    // Whether the open table has its primary index, and DateinameIndex.
    bool hasPrimaryIndex() const;
    bool hasNameIndex() const;
    void close();

    // The extension of a file name: after the last dot, empty without one.
    static std::string extensionOf(const std::string& name);

private:
    void reopen(bool exclusive);

    std::string folder_;
    engine::Table table_;
    int64_t added_ = 0;
    bool bulk_ = false;
};

}  // namespace mv32::scan
