// The file list table mv32list.db (its definition: document/FileListTable.h) as a scan fills
// it: opened or created in the data folder, its secondary indexes dropped before a scan
// inserts and rebuilt after it when SekIndexActive is on, one record added for every file not
// yet present. One scan at a time owns the table.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Table.h"

namespace mv32::scan {

// The file list could not be written (a full disk, an I/O error, a damaged table): the scan
// stops there. `stored()` new files of the scan were written before.
class FileListWriteError : public std::runtime_error {
public:
    FileListWriteError(const std::string& why, int64_t stored)
        : std::runtime_error(why), stored_(stored) {}
    int64_t stored() const { return stored_; }

private:
    int64_t stored_;
};

class FileList {
public:
    // `folder` is the data folder (DatenbankPfad, with its separator).
    explicit FileList(std::string folder) : folder_(std::move(folder)) {}

    const std::string& folder() const { return folder_; }
    engine::Table& table() { return table_; }

    // Opens the table, creating it when it cannot be opened. When that fails too,
    // `correctFolder` (the settings dialog) may name another data folder, where the table is
    // created unless it exists, and opened. Throws on failure; a damaged table is never
    // replaced.
    void openOrCreate(const std::function<std::string()>& correctFolder = {});
    // Drops the secondary indexes; the first missing one ends the step silently.
    void dropSecondaryIndexes();
    // Adds the primary index when the table has none.
    void ensurePrimaryIndex();
    // Before a walk inserts: drops the secondary indexes (when SekIndexActive is on and the
    // primary index exists) and makes sure of the primary index.
    void prepareForInserts(bool sekIndexActive);
    // Adds the record unless an identical one exists; true when it was added. A failure that
    // is the table's (it cannot be written or read any more) throws FileListWriteError; any
    // other concerns this file only.
    bool addIfNew(const std::string& directory, const std::string& name, int64_t size,
                  const std::string& label, const std::string& volId);
    // Finishes the records added since openOrCreate(), and hands them to the file search's
    // index as a change; false when the walk added none (the scan driver asks about that as
    // about any database problem). Throws FileListWriteError when the table cannot be
    // written.
    bool commit();
    // The number of files added since openOrCreate().
    int64_t added() const { return added_; }
    // Adds the three secondary indexes in order; `before(i)` runs before index i
    // (1..3). Throws on failure.
    void rebuildSecondaryIndexes(const std::function<void(int)>& before = {});
    int64_t recordCount();
    // The number of files in the file list of `folder`; 0 when there is none or it cannot be
    // read (a count shown in the scan dialog is no reason to fail).
    static int64_t countIn(const std::string& folder);
    // Whether the open table has its primary index, and DateinameIndex.
    // Whether the file list exists in the folder.
    bool exists() const { return table_.exists(); }
    bool hasPrimaryIndex() const;
    bool hasNameIndex() const;
    // Ends the table's use. A list whose trigram index for the file search did not take its
    // change in gets it built again first (document/FileListTable.h); a failure there is told
    // to `searchIndexFailed` (its log line) and leaves the list as it is.
    void close();
    std::function<void(const std::string&)> searchIndexFailed;
    // Whether the last close() built that index from the names its walk kept (a first walk
    // into an empty list) rather than from a pass over the records.
    bool searchIndexFromNames() const { return fromNames_; }
    // Off while a run of scans closes the list between media and builds the index once at
    // its end.
    bool searchIndexOnClose = true;

    // The extension of a file name: after the last dot, empty without one.
    static std::string extensionOf(const std::string& name);

private:
    void reopen(bool exclusive);
    // Throws FileListWriteError for a failure of the table itself, else returns.
    void stopOnTableFailure(const std::exception& e);

    std::string folder_;
    engine::Table table_;
    int64_t added_ = 0;
    bool bulk_ = false;
    bool failed_ = false;  // a write failed: the handle must be given up
    // The file search's index takes the records added as a change (engine/Table.h) while it
    // is current and the change small; else it is built anew at close().
    void noteAdded();
    void forgetChange();
    bool changeBegun_ = false;
    bool startedEmpty_ = false;  // the list held no record when this walk began
    size_t changeLimit_ = 0;
    std::vector<uint64_t> addedAt_;
    // A walk into an empty list keeps the names it adds (within kFillBudget), so that close()
    // builds the file search's index from them instead of reading every record back.
    void keepName(const std::string& stored);
    void forgetFill();
    static constexpr size_t kFillBudget = 64u << 20;
    bool filling_ = false;
    bool fromNames_ = false;
    engine::Table::TrigramFill fill_;
    std::string fillNames_;           // the names one after another
    std::vector<uint32_t> fillEnds_;  // where each ends in fillNames_
    std::vector<uint64_t> fillAt_;    // where each stood right after its post
};

}  // namespace mv32::scan
