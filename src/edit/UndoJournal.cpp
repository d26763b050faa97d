#include "edit/UndoJournal.h"

#include <array>
#include <exception>

#include "engine/BatchMove.h"

namespace mv32::edit {

namespace {

using document::Answer;
using document::Animation;
using document::Buttons;
using document::MessageKind;

// The fields of a journal entry, memo and picture apart.
constexpr std::array<const char*, 13> kCompared = {
    "Name",          "DatentraegerNr",  "Datentraeger_Anzahl", "von",    "Datentraeger",
    "Laufwerk",      "Label",           "Serien_Nr",           "Gesamte_Groesse",
    "Freier_Speicher", "Status",        "Datum_Uhrzeit",       "Kategorie"};

void copyFields(engine::Table& from, engine::Table& to) {
    for (const char* f : kCompared) to.setValue(f, from.value(from.field(f)));
    to.setValue("Memo", from.value(from.field("Memo")));
    to.setValue("Grafik", from.value(from.field("Grafik")));
}

// Runs `step` with the data source's links suspended, resuming them on every way out.
template <typename F>
void suspended(document::DataSource& source, F&& step) {
    source.suspendLinks();
    try {
        step();
    } catch (...) {
        source.resumeLinks();
        throw;
    }
    source.resumeLinks();
}

}  // namespace

UndoJournal::UndoJournal(document::CatalogDocument& doc, document::DataSource& catalog,
                         document::DataSource& journal)
    : doc_(doc), catalog_(catalog), journal_(journal) {
    journal_.addLink(*this);
    doc_.beforeDeleteHook = [this](engine::Table& t) { this->journal(t); };
    tell();
}

UndoJournal::~UndoJournal() {
    doc_.beforeDeleteHook = nullptr;
    journal_.removeLink(*this);
}

bool UndoJournal::hasEntries() {
    engine::Table& undo = doc_.undoTable();
    try {
        return undo.active() && undo.recordCount() > 0;
    } catch (const std::exception&) {
        return false;
    }
}

void UndoJournal::tell() {
    const int now = hasEntries() ? 1 : 0;
    if (now == told_) return;
    told_ = now;
    doc_.ui().setUndoEnabled(now == 1);
}

void UndoJournal::journal(engine::Table& catalog) {
    engine::Table& undo = doc_.undoTable();
    // A journal that could not be made journals nothing: the program runs without undo.
    if (!undo.active()) return;
    try {
        // One entry per name, and it is the newest copy: a record entered again under a
        // journalled name and deleted again comes back as it was last, memo and picture too.
        if (undo.locate("Name", {catalog.value(catalog.field("Name"))}))
            undo.edit();
        else
            undo.append();
        copyFields(catalog, undo);
        undo.post();
    } catch (...) {
        // The unsaved entry goes, so that the journal takes the next delete.
        try {
            undo.cancel();
        } catch (const std::exception&) {
        }
        throw;
    }
    tell();
}

bool UndoJournal::mayRestore() const {
    const auto& s = doc_.state();
    return s.CatalogOpen && !s.TreeBuilding;
}

void UndoJournal::restore(const std::vector<engine::Bookmark>& selected) {
    if (!mayRestore()) return;
    engine::Table& undo = doc_.undoTable();
    engine::Table& catalog = doc_.MV32();
    auto& ui = doc_.ui();
    ui.showWaitWindow(true);
    try {
        suspended(journal_, [&] {
            if (selected.empty() || !undo.active()) return;
            const engine::Bookmark back = undo.bookmark();
            for (const auto& at : selected) {
                undo.gotoBookmark(at);
                const engine::Value name = undo.value(undo.field("Name"));
                // The catalog's own record of that name stays as it is.
                if (catalog.locate("Name", {name})) continue;
                catalog.append();
                copyFields(undo, catalog);
            }
            undo.gotoBookmark(back);
        });
    } catch (...) {
        ui.showWaitWindow(false);
        throw;
    }
    ui.showWaitWindow(false);
    doc_.postPendingQuietly();
    ui.message(MessageKind::Information, kRestoredSelected, Buttons::Ok);
}

void UndoJournal::restoreAll() {
    if (!mayRestore()) return;
    engine::Table& undo = doc_.undoTable();
    engine::Table& catalog = doc_.MV32();
    auto& ui = doc_.ui();
    ui.showAnimation(Animation::Warning, true);
    ui.showWaitWindow(true);
    catalog_.suspendLinks();
    journal_.suspendLinks();
    auto resume = [&] {
        journal_.resumeLinks();
        catalog_.resumeLinks();
    };
    try {
        doc_.postPendingQuietly();
        engine::batchMove(undo, catalog, engine::BatchMode::AppendUpdate);
        catalog.refresh();
    } catch (const std::exception& e) {
        resume();
        ui.showWaitWindow(false);
        ui.showAnimation(Animation::Warning, false);
        ui.message(MessageKind::Fehler, std::string(kRestoreFailed) + e.what(), Buttons::Abbrechen);
        return;
    }
    doc_.emptyUndoTable();
    resume();
    ui.showWaitWindow(false);
    doc_.postPendingQuietly();
    tell();
    ui.message(MessageKind::Information, kRestoredAll, Buttons::Ok);
    ui.showAnimation(Animation::Warning, false);
}

}  // namespace mv32::edit
