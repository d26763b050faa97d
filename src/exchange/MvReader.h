// Reading legacy catalog files: opening one as a new catalog, and the command "Import" that
// merges one into the open catalog.
//
// Each record is looked up by its name (exact, case-sensitive): a catalog record of that name is
// updated, else a record is appended; so a name that occurs several times ends as one record with
// the values read last, and columns the layout does not carry keep their values. Every write goes
// through the catalog table's notifications like any other change.
//
// User-interface thread only; messages go through the document's user-interface port.
#pragma once

#include <cstdint>
#include <string>

#include "exchange/MvFormat.h"

namespace mv32::engine {
class Table;
}
namespace mv32::document {
class CatalogDocument;
}

namespace mv32::exchange {

inline constexpr const char* kLoadFailed =
    "Fehler beim Laden der Datei! Möglicherweise beschädigt!";

class MvReader {
public:
    explicit MvReader(document::CatalogDocument& doc) : doc_(doc) {}

    // Creates the catalog X.db beside X.MV (asking before it replaces one), fills it and makes it
    // the open catalog. The header has been checked (not empty, mark 13 or 14). Failures end in
    // "Fehler beim Laden der Datei! Möglicherweise beschädigt!" with no catalog open.
    void openAsNewCatalog(const std::string& mvPath, int mark);

    // The menu command: asks about unsaved data, lets the person choose a file, checks it and
    // reads its records into the open catalog.
    void Import();

    // Reads the records of one file into the open catalog (after Import's checks).
    void importFile(const std::string& mvPath);

private:
    // Reads every record of `bytes` into the open catalog, advancing the progress bar, and
    // counts the stored numbers that did not fit their field.
    void readRecords(const std::string& bytes);
    // The one notice after a file whose numbers did not all fit.
    void reportUnfitting(const std::string& mvPath);

    document::CatalogDocument& doc_;
    int64_t unfitting_ = 0;
};

// Stores one record in the catalog table: updates the record of its name or appends one, and
// posts it. `mark` selects which columns the record carries.
void storeRecord(engine::Table& catalog, const mv::Record& r, int mark);

// The whole file; throws std::runtime_error("Datei nicht gefunden") or a read error.
std::string readWholeFile(const std::string& path);

}  // namespace mv32::exchange
