// A data source: what every window over data shows a cursor through.
//
// It holds one cursor, a table or a query result, and tells any number of links what happens
// to it: the cursor opened or closed, another record became current or the records changed,
// an edit began or ended, a record is about to be posted. The cursor itself has room for one
// listener only; the data source is that listener and passes everything on, so that a grid, a
// form, a navigator and the document can follow one table at once. Links can be suspended and
// resumed together (a long loop over the records), after which they hear of one change.
//
// User-interface thread only, as the cursor.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/Cursor.h"
#include "engine/Table.h"

namespace mv32::document {

enum class DataState { Inactive, Browse, Edit, Insert };
// What changed about the records: only which one is current, or the records themselves.
enum class DataChange { Moved, Content };

class DataSource;

// A window part that follows a data source. Every call comes after the change, except
// updateRecord, which comes before a post: a link stores there what it holds for the record,
// and may throw to stop the post.
class DataLink {
public:
    virtual ~DataLink() = default;
    virtual void activeChanged(DataSource&) {}
    virtual void dataSetChanged(DataSource&, DataChange) {}
    virtual void editingChanged(DataSource&) {}
    virtual void updateRecord(DataSource&) {}
};

class DataSource {
public:
    DataSource() = default;
    ~DataSource();
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;

    // A table, which can be changed unless it was opened for reading only; or a query result,
    // which cannot. The cursor must outlive the data source or be replaced first.
    void setTable(engine::Table& table);
    void setCursor(engine::Cursor& cursor);
    void clear();

    engine::Cursor* cursor() const { return cursor_; }
    // The table, when the cursor is one (for editing).
    engine::Table* table() const { return table_; }
    bool active() const { return cursor_ && cursor_->active(); }
    DataState state() const;
    bool editing() const;
    bool canModify() const;
    bool isQuery() const { return cursor_ && !table_; }

    // A cursor of its own over the same records, for reading by position (grids); null
    // without an active cursor.
    std::unique_ptr<engine::Cursor> reader() const;

    void addLink(DataLink& link);
    void removeLink(DataLink& link);
    // While suspended (the calls nest) links hear nothing; resuming the last time tells them
    // that everything may have changed.
    void suspendLinks();
    void resumeLinks();
    bool linksSuspended() const { return suspended_ > 0; }

private:
    void attach(engine::Cursor* cursor, engine::Table* table);
    void heard(engine::CursorEvent event);
    template <typename F>
    void each(F&& call);

    engine::Cursor* cursor_ = nullptr;
    engine::Table* table_ = nullptr;
    std::vector<DataLink*> links_;
    int suspended_ = 0;
    bool missed_ = false;
};

}  // namespace mv32::document
