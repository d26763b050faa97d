// Taking files of the file search into the open catalog: each file whose name is not yet a
// catalog record's Name becomes a record with the file's name, the medium's label and serial,
// and the memo "Verzeichnis: <folder>" CR LF "Größe: <bytes> Bytes".
//
// One file (a double click on the grid) shows the entry window with the new record; the
// selected files ("Alle selektierte übernehmen") are taken over behind the wait window and
// confirmed with a message. A record that cannot be stored is reported with the engine's
// message and not confirmed as taken over. User-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "document/CatalogDocument.h"
#include "document/DataSource.h"
#include "search/FileSearch.h"

namespace mv32::search {

inline constexpr const char* kOpenCatalogFirst =
    "Öffnen Sie zuerst eine Datei oder legen Sie eine neu an!";
inline constexpr const char* kFilesTakenOver =
    "Die gewählten Dateien wurden in die Hauptdatenbank übernommen.";

// The memo of a taken-over file.
std::string takeOverMemo(const FileRow& file);

enum class TakeOverResult { Ignored, NoCatalog, Inserted, Existed, Failed };

class FileTakeOver {
public:
    // `catalog` is the catalog's data source, whose windows rest during a long take-over;
    // `showEntryForm` shows the entry window on the catalog's current record.
    FileTakeOver(document::CatalogDocument& doc, document::DataSource& catalog,
                 std::function<void()> showEntryForm)
        : doc_(doc), catalog_(catalog), showEntryForm_(std::move(showEntryForm)) {}

    // DBGrid1DblClick.
    TakeOverResult takeOne(const FileRow& file);
    // AllSelectedClick: the rows `recordNumbers` (1-based) of `rows`, a cursor of the file
    // search's own (the grid's rows stay where they are). Returns how many records were added.
    int64_t takeSelected(engine::Cursor& rows, const std::vector<int64_t>& recordNumbers);

private:
    // Checks TreeBuilding and the open catalog; false (with the message) when not possible.
    bool possible(TakeOverResult* why);
    // Inserts the record unless the name exists; true when inserted (still to be posted).
    bool insert(const FileRow& file);

    document::CatalogDocument& doc_;
    document::DataSource& catalog_;
    std::function<void()> showEntryForm_;
};

}  // namespace mv32::search
