// What the file search window "Datei suchen" does, without the window: it shows the file list
// mv32list.db itself (table mode, in the order of the chosen index, with Delete on the
// navigator) or the files whose name contains a text (result mode, a query over the file list
// read through the window's own handle), sorts either, and finds the exact entry typed so far.
//
// The window holds the file list exclusively while it is shown: activate() opens it, closed()
// lets it go, so a scan, a medium's removal or the file list's maintenance gets it once the
// window is closed. The sort popup of table mode exists only where the name index does
// (SekIndexActive on and DateinameIndex built); otherwise table mode shows the primary order,
// by folder.
//
// The search text is upper-cased by the engine's own rule, so a typed "müller" finds
// "MÜLLER.TXT"; "%" and "_" act as wildcards and a typed double quote is searched for.
// User-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "document/DataSource.h"
#include "document/UserInterface.h"
#include "edit/RecordNavigator.h"
#include "engine/Query.h"
#include "engine/Table.h"

namespace mv32::search {

enum class FileOrder { Unsorted, Name, Folder, Extension, Size };

inline constexpr const char* kOnlyNumbers =
    ". Sie haben der Größe nach sortiert, geben Sie bitte nur ZAHLEN ein!";

// "SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE "%TEXT%")", followed by
// " ORDER BY <field>" for a sorted search.
std::string fileSearchStatement(const std::string& text, FileOrder order);

// One file of the list, as the take-over and the start read it from the current row.
struct FileRow {
    std::string directory;  // Verzeichnis, with its separator
    std::string name;       // Dateiname
    std::string extension;  // Erweiterung
    int64_t size = 0;       // Groesse
    std::string label;      // Label
    std::string volId;      // VolID
};
FileRow fileRowOf(engine::Cursor& c);

class FileSearch {
public:
    explicit FileSearch(document::UserInterface& ui);
    ~FileSearch();
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;

    // Told when the mode, the sort popup or the records shown change.
    std::function<void()> modeChanged;

    // The first opening: the file list of `dataFolder`, in name order when `sekIndexActive`
    // and the name index exists, else in primary order. Opens the table (see activate()).
    void prepare(const std::string& dataFolder, bool sekIndexActive);
    // The setting SekIndexActive as it is now: the sort popup follows it from the next
    // activation and "&zurück" on.
    void setSekIndexActive(bool on) { sekIndexActive_ = on; }
    // Each showing: table mode, the sort popup as the indexes allow.
    void showing();
    // The window became active: the file list is opened exclusively; a failure (a scan
    // holds it) leaves the grid empty.
    void activate();
    // The window closed: the query and the table are closed, so others get the file list.
    void closed();

    bool prepared() const { return !folder_.empty(); }
    const std::string& folder() const { return folder_; }
    bool resultMode() const { return resultMode_; }
    // Whether the grid has a sort popup now (result mode always has one).
    bool sortPopup() const { return resultMode_ || tablePopup_; }
    document::DataSource& displayed() { return resultMode_ ? result_ : files_; }
    document::DataSource& tableSource() { return files_; }
    document::DataSource& resultSource() { return result_; }
    engine::Table& table() { return table_; }
    engine::Query& query() { return query_; }
    const std::string& statement() const { return statement_; }
    std::array<bool, edit::kNavButtons> navigatorButtons() const;

    // DateiSuchenEditChange: "&Suchen" follows whether there is a text; the table's record
    // whose first field of the current index is exactly the text becomes current. In size
    // order a text that is no number gives the error box.
    void textChanged(const std::string& text);
    bool searchEnabled() const { return searchEnabled_; }
    // "&Suchen": result mode with the unsorted search; a statement the engine refuses gives
    // its message, and the window stays in result mode.
    void search(const std::string& text);
    // "&zurück".
    void back();
    // The popups: the table's index, or the result's ORDER BY.
    void sortTable(FileOrder order);
    void sortResult(FileOrder order);

    // "Datei n von m": the file list's current record and its record count.
    std::pair<int64_t, int64_t> position();
    // The current row of what is shown; none without one.
    std::optional<FileRow> currentRow();

private:
    void runStatement(const std::string& sql);
    void tell() {
        if (modeChanged) modeChanged();
    }

    document::UserInterface& ui_;
    std::string folder_;
    bool sekIndexActive_ = false;
    engine::Table table_;
    engine::Query query_;
    document::DataSource files_;
    document::DataSource result_;
    std::string statement_;
    std::string text_;
    bool resultMode_ = false;
    bool tablePopup_ = false;
    bool searchEnabled_ = false;
};

}  // namespace mv32::search
