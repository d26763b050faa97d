// What the overview window "Datenbank Übersicht" does, without the window: it shows the catalog
// (normal mode) or the result of the last catalog search (query-result mode) in a grid, sorts
// the catalog by one of its indexes, jumps to the nearest key, opens a record in the entry
// window and deletes every record of a result from the catalog.
//
// Normal mode: the catalog data source MV32DS, navigator First, Prior, Next, Last, Delete,
// Refresh, the jump box enabled, the sort menu. Result mode: the query MV32SQL through its own
// data source, navigator First, Prior, Next, Last, the jump box disabled, the result's menu.
// The searches show their result through showQuery(); only the full search lets its result be
// deleted ("Datenmenge löschen").
//
// Deleting a result: after the warning question, each result record's catalog record is found
// by its 13 values and deleted (journalled by the undo journal), with the wait window's cancel,
// the progress bar and auto-save held. The record with exactly these values is taken first;
// only where there is none, one whose values begin with them up to case, so a record "Be" never
// takes the place of "Beta". User-interface thread only.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "document/CatalogDocument.h"
#include "document/DataSource.h"
#include "edit/RecordNavigator.h"
#include "engine/Query.h"

namespace mv32::edit {

inline constexpr const char* kDeleteResultQuestion =
    "WARNUNG! Die Datensätze werden aus der Tabelle gelöscht! Fortfahren?";

class Overview {
public:
    struct View {
        std::function<void(bool modal)> show;  // centred, normal state
        std::function<void()> modeChanged;     // the mode or the delete button's visibility
        std::function<void()> openEntry;       // the entry window on the catalog's record
    };

    Overview(document::CatalogDocument& doc, document::DataSource& catalog);
    ~Overview();
    Overview(const Overview&) = delete;
    Overview& operator=(const Overview&) = delete;

    void setView(View view) { v_ = std::move(view); }

    // "&DB-Übersicht", F8, the entry window's "Übersicht".
    void openNormal();
    // A search's result: `sql` runs over the open catalog; errors are the engine's.
    void showQuery(const std::string& sql, bool deletable, bool modal);
    // Closing the window (also Esc): back to normal mode, the delete button hidden.
    void closed();

    bool resultMode() const { return resultMode_; }
    bool deleteVisible() const { return deleteVisible_; }
    document::DataSource& shown() { return resultMode_ ? result_ : catalog_; }
    document::DataSource& resultSource() { return result_; }
    engine::Query& MV32SQL() { return query_; }
    std::array<bool, kNavButtons> navigatorButtons() const;
    bool jumpEnabled() const { return !resultMode_; }

    // "Sofort springen zu:": the nearest record at or after `text` on the current index.
    void jump(const std::string& text);
    // The sort menu: "" is the order by name.
    void sortBy(const std::string& indexName);
    // Double click on the grid.
    void doubleClicked();
    // "Datensatz n von m" of what is shown; 0 of 0 without records.
    std::pair<int64_t, int64_t> position();
    // "Datenmenge löschen".
    void deleteResult();

private:
    void tell() {
        if (v_.modeChanged) v_.modeChanged();
    }

    document::CatalogDocument& doc_;
    document::DataSource& catalog_;
    engine::Query query_;
    document::DataSource result_;
    View v_;
    bool resultMode_ = false;
    bool deleteVisible_ = false;
};

}  // namespace mv32::edit
