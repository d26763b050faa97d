// The catalog document: the open catalog table MV32, the document state and the commands of the
// menu "&Datei" that create, open, save, copy and close catalogs.
//
// There is no working copy: every posted change is in the catalog file at once, and "Speichern"
// posts a pending edit and makes the backup copy. The document owns the catalog table and the
// undo table; everything it needs from the screen goes through the user-interface port. Each
// command catches its failures at its edge: the messages the program defines for them, else the
// application's general error handler (UserInterface::showApplicationError).
//
// User-interface thread only.
#pragma once

#include <functional>
#include <string>

#include "document/FullDiskNotice.h"
#include "document/Log.h"
#include "document/RecentFiles.h"
#include "document/Settings.h"
#include "document/SettingsStore.h"
#include "document/UserInterface.h"
#include "engine/Table.h"
#include "platform/Clock.h"

namespace mv32::document {

inline constexpr const char* kProgramTitle = "Mavrel/32 V.3.20";
inline constexpr const char* kOverwriteQuestion =
    "Die Datei existiert bereits! Soll sie überschrieben werden?";

struct DocumentState {
    std::string CurrentFile;  // path of the catalog that is open or being opened
    std::string ProgramDir;   // with a trailing separator
    bool CatalogOpen = false;
    bool DataSaved = true;
    bool AutoSaveHold = false;
    bool TreeBuilding = false;
    int ChangeCount = 0;
    // The entry stamp: taken when the entry window is made and by each legacy export; new
    // records get its text as their date.
    platform::LocalTime EntryStamp;
};

// The ways a catalog becomes the open one; each ends with its own set of finishing steps.
enum class OpenWay { New, OpenDb, LoadAll, OpenMvEmpty, OpenLastDb, OpenLastMvEmpty, Explorer };

class CatalogDocument {
public:
    struct Services {
        UserInterface& ui;
        SettingsStore& store;
        Settings& settings;
        Log& log;
        const platform::Clock& clock;
        std::string programDir;  // with a trailing separator
    };

    explicit CatalogDocument(Services services);
    ~CatalogDocument();
    CatalogDocument(const CatalogDocument&) = delete;
    CatalogDocument& operator=(const CatalogDocument&) = delete;

    engine::Table& MV32() { return mv32_; }
    DocumentState& state() { return state_; }
    const DocumentState& state() const { return state_; }
    UserInterface& ui() { return s_.ui; }
    Settings& settings() { return s_.settings; }
    SettingsStore& store() { return s_.store; }
    Log& log() { return s_.log; }
    const platform::Clock& clock() const { return s_.clock; }
    RecentFiles& recentFiles() { return recent_; }
    bool Opened() const { return state_.CatalogOpen; }
    // The path last chosen in the open dialog (the legacy import refuses it).
    const std::string& lastOpenDialogPath() const { return lastOpenDialogPath_; }

    // A file dialog of the program's commands: it starts in dialogFolder() unless the request
    // names a folder of its own, and a chosen file makes its folder the next one's.
    FileDialogResult askForFile(FileDialogRequest request);
    // Where the next file dialog starts: the folder last used by a file dialog, at first the
    // folder of the catalog opened last, else the home folder. The program folder, which
    // holds the file list and the undo journal, is no place to look for catalogs.
    std::string dialogFolder() const;
    // The file list and the undo journal are no catalogs: true, after saying so, when `path`
    // names one of them (to open, to create, to copy onto, to load all catalogs into).
    bool refusedAsCatalog(const std::string& path);

    // --- Commands of the menu "&Datei".
    void Neu();
    void Oeffnen();
    void Speichern();
    void SpeichernUnter();
    void Schliessen();
    // "&Löschen": deletes the open catalog table with all its files after asking; the undo
    // journal keeps what it holds.
    void Loeschen();
    // Opens the catalog or legacy file at `path` (start-up, recent files, command line).
    void openLastFile(const std::string& path);
    // Makes ProgramDir + "drivescan.db" the open catalog (command-line scans).
    void openExplorerCatalog();
    // Brings the secondary indexes of the open catalog in line with the index settings.
    void MakeIndizes();

    // --- Hooks for the legacy reader and the undo journal, which live above the document.
    // Converts a legacy file (version 13 or 14) into the catalog CurrentFile names and opens
    // it; installed by the exchange layer.
    std::function<void(const std::string& mvPath, int version)> legacyOpener;
    // MV32BeforeDelete: the undo journal copies the record here before it is deleted.
    std::function<void(engine::Table&)> beforeDeleteHook;
    // MV32AfterInsert: the entry window's carry-over values go into the new record here.
    std::function<void(engine::Table&)> afterInsertHook;

    void AktiviereControls();
    void DeaktiviereControls();
    void setTitleFor(const std::string& path);
    // Back to "no catalog" after a failure once the old catalog was closed.
    void toNoCatalog();
    // Posts a pending edit of the current record; a failure is ignored and drops the edit,
    // except the refusal of an edit whose record another program changed meanwhile
    // (engine::ErrorKind::Changed), which is thrown and leaves the edit pending.
    void postPendingQuietly();
    // Copies base.db, .px and .mb of the catalog into ProgramDir + "Backup"; the table must be
    // closed. Throws on failure.
    void copyBackup();
    // Opens the catalog table again after it was closed for a copy, at the record it was on.
    void reopen(const engine::Bookmark& at);
    // Creates the undo table ProgramDir + "Undo.db" afresh (catalog layout, primary index on
    // Name) and opens it; emptyUndoTable empties it, ignoring failures.
    void createUndoTable();
    void emptyUndoTable();
    // The same, throwing its first failure.
    void emptyUndoJournal();
    engine::Table& undoTable() { return undo_; }
    // Record-number label: current record and count of MV32.
    void updateRecordLabel();
    // The question "Daten sichern?" when data are not saved; "&Ja" saves.
    void askToSaveIfUnsaved();

    // Opens the catalog table at `path` as the document: primary-key repair, optionally the
    // index settings, open, and the finishing steps of `way`.
    void openCatalogTable(const std::string& path, bool makeIndexes, OpenWay way);
    // The finishing steps of an open.
    void activate(OpenWay way);
    // Adds or drops secondary indexes of the (closed) catalog table to follow the settings.
    void syncIndexes();
    // After a catalog opened: the engine's notices and a read-only catalog, as information.
    void tellWhatOpeningFound();
    // At the end of an open: in one notice, what a full medium kept the open from storing
    // and the catalog's log that waits for room.
    void tellWhatWasNotStored();

private:
    void installNotifications();
    void openLegacyFile(const std::string& path, bool fromOpenDialog);
    void loadAllIntoOne(const std::string& target);
    std::string backupFolder() const;

    Services s_;
    DocumentState state_;
    engine::Table mv32_;
    engine::Table undo_;
    RecentFiles recent_;
    FullDiskNotice notStored_;
    std::string lastOpenDialogPath_;
    std::string lastDialogFolder_;
};

// Upper-case extension (with the dot) of a path's file name, "" when there is none.
std::string upperExtension(const std::string& path);

}  // namespace mv32::document
