// Auto-save of the open catalog: after a number of changes made by scans, and after a time.
//
// Auto-save posts a pending edit, closes the catalog table, makes the backup copy when the
// setting Backup is on, and opens the table again. The main window's timer calls timerFired()
// every AutoSaveValueZeit minutes; the description extraction of a scan calls
// descriptionStored() for each description it stores. Both do nothing while a long operation
// holds AutoSaveHold. User-interface thread only.
#pragma once

namespace mv32::document {

class CatalogDocument;

// The timer's period until the settings have been read.
inline constexpr int kInitialAutoSaveIntervalMs = 600000;

class AutoSave {
public:
    explicit AutoSave(CatalogDocument& doc) : doc_(doc) {}

    // The time trigger.
    void timerFired();
    // The change trigger: a scan stored a description in the catalog.
    void descriptionStored();
    // Saves when auto-save is on and data are not saved; reports its own failures.
    void AutoSaving();

private:
    CatalogDocument& doc_;
};

}  // namespace mv32::document
