#include "document/AutoSave.h"

#include <exception>

#include "document/CatalogDocument.h"

namespace mv32::document {

void AutoSave::timerFired() {
    auto& st = doc_.state();
    if (!st.CatalogOpen || st.AutoSaveHold || !doc_.settings().ASZeit) return;
    st.ChangeCount = 0;
    AutoSaving();
}

void AutoSave::descriptionStored() {
    auto& st = doc_.state();
    st.AutoSaveHold = true;
    st.DataSaved = false;
    doc_.ui().setStatusText(1, "geändert");
    ++st.ChangeCount;
    const Settings& s = doc_.settings();
    try {
        if (st.ChangeCount >= s.AutoSaveValue && s.AutoSave && s.ASAender) {
            st.ChangeCount = 0;
            AutoSaving();
        }
    } catch (...) {
        st.AutoSaveHold = false;
        throw;
    }
    st.AutoSaveHold = false;
}

void AutoSave::AutoSaving() {
    auto& st = doc_.state();
    if (!doc_.settings().AutoSave || st.DataSaved || !st.CatalogOpen) return;
    UserInterface& ui = doc_.ui();
    engine::Bookmark at;
    try {
        ui.showAnimation(Animation::Busy, true);
        st.ChangeCount = 0;
        doc_.postPendingQuietly();
        at = doc_.MV32().bookmark();
        doc_.MV32().close();
        st.DataSaved = true;
        if (doc_.settings().Backup) doc_.copyBackup();
        ui.showAnimation(Animation::Busy, false);
        ui.setStatusText(1, "gesichert");
        doc_.reopen(at);
    } catch (const std::exception&) {
        try {
            if (!doc_.MV32().active()) doc_.reopen(at);
        } catch (const std::exception&) {  // the message below says that saving failed
        }
        ui.message(MessageKind::Fehler, "Fehler bei der automatischen Sicherung!",
                   Buttons::Abbrechen);
        ui.showProgress(false);
        ui.showAnimation(Animation::Busy, false);
        // A log that cannot be written reaches the general error handler like any file error.
        doc_.log().WriteLogLine("Fehler bei der automatischen Sicherung: AutoSaving");
    }
}

}  // namespace mv32::document
