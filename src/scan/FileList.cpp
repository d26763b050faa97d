#include "scan/FileList.h"

#include <algorithm>

#include "document/FileListTable.h"
#include "engine/EngineError.h"
#include "engine/Text.h"

namespace mv32::scan {

using document::filelist::fields;
using document::filelist::kIndexes;
using document::filelist::kKeyFields;
using document::filelist::kPrimaryFields;

std::string FileList::extensionOf(const std::string& name) {
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

void FileList::forgetChange() {
    changeBegun_ = false;
    startedEmpty_ = false;
    changeLimit_ = 0;
    addedAt_ = {};
}

void FileList::forgetFill() {
    filling_ = false;
    fill_ = {};
    fillNames_ = {};
    fillEnds_ = {};
    fillAt_ = {};
}

void FileList::keepName(const std::string& stored) {
    const size_t bytes = fillNames_.size() + stored.size() +
                         (fillEnds_.size() + 1) * (sizeof(uint32_t) + sizeof(uint64_t));
    if (bytes > kFillBudget || fillNames_.size() + stored.size() > UINT32_MAX) {
        forgetFill();  // too many names to keep: close() reads the records instead
        return;
    }
    fillNames_ += stored;
    fillEnds_.push_back(static_cast<uint32_t>(fillNames_.size()));
    fillAt_.push_back(static_cast<uint64_t>(table_.recNo() - 1));
}

void FileList::noteAdded() {
    if (addedAt_.size() >= changeLimit_) {
        changeLimit_ = 0;  // too large a change: the index is built anew
        addedAt_ = {};
        return;
    }
    addedAt_.push_back(static_cast<uint64_t>(table_.recNo() - 1));
}

void FileList::reopen(bool exclusive) {
    forgetChange();              // a new handle knows nothing of the old one's change
    if (filling_) forgetFill();  // nor of a fill that was not finished
    if (bulk_) {
        table_.endBulk();
        bulk_ = false;
    }
    table_.close();
    table_.setExclusive(exclusive);
    table_.open();
}

void FileList::openOrCreate(const std::function<std::string()>& correctFolder) {
    auto attempt = [this] {
        close();
        table_.setDirectory(folder_);
        table_.setTableName(document::filelist::kTableName);
        table_.setIndexName("");
        table_.setExclusive(false);
        try {
            table_.open();
        } catch (const engine::EngineError&) {
            if (table_.exists()) throw;  // damaged: never replaced here
            table_.setFieldDefs(fields());
            table_.createTable();
            table_.open();
        }
    };
    try {
        attempt();
    } catch (const std::exception&) {
        if (!correctFolder) throw;
        // The person may correct the data folder; then one more attempt there.
        folder_ = correctFolder();
        attempt();
    }
    added_ = 0;
    table_.beginBulk();
    bulk_ = true;
}

void FileList::dropSecondaryIndexes() {
    reopen(true);
    try {
        for (const auto& ix : kIndexes) table_.deleteIndex(ix.name);
    } catch (const engine::EngineError&) {
        // The first missing index ends the step.
    }
    reopen(false);
    table_.beginBulk();
    bulk_ = true;
}

void FileList::ensurePrimaryIndex() {
    if (hasPrimaryIndex()) return;
    reopen(true);
    table_.addIndex("", kPrimaryFields);
    reopen(false);
    table_.beginBulk();
    bulk_ = true;
}

void FileList::prepareForInserts(bool sekIndexActive) {
    if (sekIndexActive && hasPrimaryIndex()) dropSecondaryIndexes();
    ensurePrimaryIndex();
}

void FileList::stopOnTableFailure(const std::exception& e) {
    const auto* ee = dynamic_cast<const engine::EngineError*>(&e);
    if (!ee) return;
    using engine::ErrorKind;
    switch (ee->kind()) {
        case ErrorKind::DiskFull:
        case ErrorKind::Io:
        case ErrorKind::ReadOnly:
        case ErrorKind::Failed:
        case ErrorKind::Corrupt:
            failed_ = true;
            throw FileListWriteError(ee->what(), added_);
        default:
            return;
    }
}

bool FileList::addIfNew(const std::string& directory, const std::string& name, int64_t size,
                        const std::string& label, const std::string& volId) {
    // Looked up as stored: a value longer than its field is compared cut, so that a file whose
    // extension is longer than five characters is found again on the next scan.
    using engine::text::fitToWidth;
    const std::string ext = fitToWidth(extensionOf(name), 5);
    const std::vector<engine::Value> key = {
        engine::Value(fitToWidth(name, document::filelist::kNameWidth)),
        engine::Value(fitToWidth(directory, document::filelist::kDirectoryWidth)),
        engine::Value(ext),
        engine::Value(size),
        engine::Value(fitToWidth(label, 11)),
        engine::Value(fitToWidth(volId, 8))};
    try {
        if (!changeBegun_) {
            // Before the first record goes in, the index is looked at as it is, and so is
            // whether the list holds any record yet.
            changeBegun_ = true;
            changeLimit_ = table_.beginTrigramChange();
            startedEmpty_ = table_.hasPrimaryIndex() && table_.recordCount() == 0;
            forgetFill();
            filling_ = startedEmpty_ && changeLimit_ == 0 && table_.beginTrigramFill(fill_);
        }
        // A list that was empty holds only what this walk added, each file once: there the
        // insert itself finds the rare file that equals one added before (names alike once
        // cut), and the look-up follows only then.
        if (!startedEmpty_ && table_.locate(kKeyFields, key)) return false;
        table_.append();
        try {
            table_.setAsString("Dateiname", name);
            table_.setAsString("Verzeichnis", directory);
            table_.setAsString("Erweiterung", ext);
            table_.setAsInteger("Groesse", size);
            table_.setAsString("Label", label);
            table_.setAsString("VolID", volId);
            table_.post();
        } catch (const engine::EngineError& e) {
            table_.cancel();  // never a half-filled record
            if (startedEmpty_ && e.kind() == engine::ErrorKind::KeyViolation &&
                table_.locate(kKeyFields, key))
                return false;
            throw;
        } catch (...) {
            table_.cancel();
            throw;
        }
        if (changeLimit_ > 0) noteAdded();
        if (filling_) keepName(key[0].asText());
    } catch (const std::exception& e) {
        stopOnTableFailure(e);
        throw;
    }
    ++added_;
    return true;
}

bool FileList::commit() {
    if (bulk_) {
        bulk_ = false;
        try {
            table_.endBulk();
        } catch (const std::exception& e) {
            stopOnTableFailure(e);
            throw;
        }
        // The fill is noted as it ends, while this handle can still tell whether every
        // commit since it began was its own.
        if (filling_ && !table_.endTrigramFill(fill_)) forgetFill();
        if (changeLimit_ > 0) {
            try {
                table_.endTrigramChange({}, addedAt_);
            } catch (const std::exception&) {
                // Left stale: close() builds it and tells why that fails.
            }
        }
        forgetChange();
    }
    return added_ > 0;
}

void FileList::rebuildSecondaryIndexes(const std::function<void(int)>& before) {
    reopen(true);
    int i = 0;
    for (const auto& ix : kIndexes) {
        if (before) before(++i);
        table_.addIndex(ix.name, ix.fields);
    }
}

int64_t FileList::recordCount() {
    return table_.active() ? table_.recordCount() : 0;
}

int64_t FileList::countIn(const std::string& folder) {
    try {
        engine::Table t;
        t.setDirectory(folder);
        t.setTableName(document::filelist::kTableName);
        if (!t.exists()) return 0;
        t.open();
        return t.recordCount();
    } catch (const std::exception&) {
        return 0;
    }
}

bool FileList::hasPrimaryIndex() const {
    return table_.active() && table_.hasPrimaryIndex();
}

bool FileList::hasNameIndex() const {
    if (!table_.active()) return false;
    const auto names = table_.indexNames();
    return std::find(names.begin(), names.end(), kIndexes[0].name) != names.end();
}

void FileList::close() {
    if (bulk_) {
        try {
            table_.endBulk();
        } catch (...) {
        }
        bulk_ = false;
    }
    fromNames_ = false;
    if (table_.active() && searchIndexOnClose) {
        std::string failure;
        try {
            // After a failed write the handle is given up first: opened again, the table
            // takes back what its log holds (or says why it cannot).
            if (failed_ || table_.trigramIndexField() != document::filelist::kSearchField) {
                // The names a first walk kept outlive the handle; the engine checks that the
                // table is still what the walk left before it builds from them.
                const bool fromFill = filling_ && fill_.noted && !failed_;
                const engine::Table::TrigramFill fill = fill_;
                std::string names = std::move(fillNames_);
                std::vector<uint32_t> ends = std::move(fillEnds_);
                std::vector<uint64_t> at = std::move(fillAt_);
                forgetFill();
                reopen(true);
                bool built = false;
                if (fromFill) {
                    try {
                        built = fromNames_ = table_.buildTrigramIndexFromFill(
                            document::filelist::kSearchField, fill, at, [&](size_t i) {
                                const size_t begin = i == 0 ? 0 : ends[i - 1];
                                return std::string_view(names).substr(begin, ends[i] - begin);
                            });
                    } catch (const std::exception& e) {
                        failure = document::filelist::searchIndexFailure(e.what());
                        built = true;  // told, as a failing build is
                    }
                }
                if (!built) failure = document::filelist::buildSearchIndex(table_);
            }
        } catch (const std::exception& e) {
            failure = document::filelist::searchIndexFailure(e.what());  // held elsewhere
        }
        if (!failure.empty() && searchIndexFailed) searchIndexFailed(failure);
    }
    forgetChange();
    forgetFill();
    try {
        table_.close();
    } catch (...) {
        table_.setExclusive(false);
        failed_ = false;
        throw;
    }
    table_.setExclusive(false);
    failed_ = false;
}

}  // namespace mv32::scan
