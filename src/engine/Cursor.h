// Read access to a sequence of records: a table in an index order, or (later) a query result.
//
// Grids, printing and exports read through this interface so that tables and query results are
// one thing to them. Navigation follows the program's dataset conventions: after first() the
// cursor is at the first record with bof() set; next() on the last record sets eof() and stays;
// an empty cursor has both set. Record numbers count from 1; 0 means no current record.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/Field.h"

namespace mv32::engine {

// What a cursor tells the one listener it may have (the data source over it, which passes it
// on to every window showing the cursor).
enum class CursorEvent {
    Opened,
    Closed,
    Moved,         // another record (or none) is current
    StateChanged,  // an insert or an edit began or ended
    DataChanged,   // records were added, changed or removed, or the data was read again
    BeforePost,    // a record is about to be posted: values still to be stored go in now; a
                   // listener that throws stops the post, and the record stays as it is
    Gone,          // the cursor is being destroyed: the listener must let go of it
};

class Cursor {
public:
    virtual ~Cursor() {
        if (!listener) return;
        try {
            listener(CursorEvent::Gone);
        } catch (...) {  // nothing can be refused any more
        }
    }

    // The cursor's listener, called after each change (BeforePost: before it).
    std::function<void(CursorEvent)> listener;

    virtual bool active() const = 0;
    virtual void first() = 0;
    virtual void last() = 0;
    virtual void next() = 0;
    virtual void prior() = 0;
    virtual bool eof() const = 0;
    virtual bool bof() const = 0;
    virtual int64_t recordCount() = 0;
    // A result may find its rows only as they are read: the rows known so far, whether that is
    // all of them, and finding rows until there are `rows` (a table always knows all).
    virtual int64_t recordsFound() { return recordCount(); }
    virtual bool allFound() { return true; }
    virtual void findMore(int64_t /*rows*/) {}
    virtual int64_t recNo() = 0;
    // Moves to record n (1-based); values outside 1..recordCount() go to the first or last.
    virtual void moveTo(int64_t n) = 0;

    virtual int fieldCount() const = 0;
    virtual const FieldDef& fieldDef(int i) const = 0;
    // -1 when there is no field of that name (compared without regard to case).
    virtual int fieldIndex(std::string_view name) const = 0;
    // The value of field i of the current record; memo and blob fields give their content.
    virtual Value value(int i) = 0;
    // Whether field i of the current record holds a value; a table answers for a memo or a
    // picture without reading its data.
    virtual bool hasContent(int i) { return !value(i).isBlank(); }
    // A cursor of its own over the same records in the same order, open, for reading records
    // by position without moving this one; null where there is none.
    virtual std::unique_ptr<Cursor> reader() { return nullptr; }

    // Field access by name; an unknown name throws EngineError(NotFound).
    int field(std::string_view name) const;
    Value value(std::string_view name) { return value(field(name)); }
    std::string asString(std::string_view name);
    int64_t asInteger(std::string_view name);
    bool isBlank(std::string_view name);
    // Decimal form of a number, the text of a text, "" for blank, "(Blob)" for a blob.
    std::string displayText(std::string_view name);
    std::string displayText(int i);

protected:
    void notify(CursorEvent e) {
        if (listener) listener(e);
    }
};

}  // namespace mv32::engine
