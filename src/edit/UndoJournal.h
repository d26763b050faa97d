// The undo journal: a copy of every catalog record deleted during the run, kept in the undo
// table (ProgramDir + "Undo.db", one entry per name), and the two ways back into the catalog.
//
// Before a catalog record is deleted it is journalled with all 15 fields. The journal holds one
// entry per name, always the newest copy: an entry of the same name is replaced, so the delete
// goes through and what comes back is what was deleted last. (Keeping an older entry whose
// values merely begin like the deleted record's, up to case, would lose the newer record: its
// memo and picture were never compared, and a record "Be" would hide behind an entry "Beta".)
// A journal that cannot be written stops the delete with the engine's message and stays usable
// for the next one. A journal that could not be made at start-up journals nothing and lets
// deletes go through.
//
// "Undo" puts the chosen entries back whose names the catalog does not hold (the entries stay);
// "Undo FAST!" writes every entry into the catalog, replacing records of the same name, and
// empties the journal. The journal's two menu items are enabled exactly while it holds an entry.
// User-interface thread only.
#pragma once

#include <vector>

#include "document/CatalogDocument.h"
#include "document/DataSource.h"
#include "engine/Table.h"

namespace mv32::edit {

inline constexpr const char* kRestoredSelected =
    "Die gewählten Datensätze wurden in die Hauptdatenbank zurückgeschrieben.";
inline constexpr const char* kRestoredAll =
    "Alle Datensätze wurden in die Hauptdatenbank zurückgeschrieben.";
inline constexpr const char* kRestoreFailed = "Fehler beim Zurückschreiben der Daten: ";

class UndoJournal : public document::DataLink {
public:
    // `catalog` shows the document's catalog table, `journal` its undo table; the journal
    // installs itself as the document's MV32BeforeDelete.
    UndoJournal(document::CatalogDocument& doc, document::DataSource& catalog,
                document::DataSource& journal);
    ~UndoJournal() override;
    UndoJournal(const UndoJournal&) = delete;
    UndoJournal& operator=(const UndoJournal&) = delete;

    // MV32BeforeDelete: journals the current record of `catalog`; throws to stop the delete.
    void journal(engine::Table& catalog);
    bool hasEntries();
    // "Undo" in the window "Undo Tabelle": the entries at `selected`, in that order.
    void restore(const std::vector<engine::Bookmark>& selected);
    // "Undo FAST!".
    void restoreAll();

    void activeChanged(document::DataSource&) override { tell(); }
    void dataSetChanged(document::DataSource&, document::DataChange) override { tell(); }

private:
    bool mayRestore() const;
    void tell();

    document::CatalogDocument& doc_;
    document::DataSource& catalog_;
    document::DataSource& journal_;
    int told_ = 0;  // the enabled state last given to the menu, which starts disabled
};

}  // namespace mv32::edit
