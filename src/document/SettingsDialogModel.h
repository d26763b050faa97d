// The settings dialog "Einstellungen" as data: the values of its controls, the rules that tie
// them together, "&OK", "Standard wiederherstellen" and the catalog maintenance of the page
// "Haupdatenbank".
//
// The window only binds its controls to this object: it calls open() before showing itself,
// forwards clicks to the setters and reads back values() and the enabled states. Nothing reaches
// the settings store before ok(). User-interface thread only.
#pragma once

#include <string>

#include "document/Settings.h"

namespace mv32::document {

class CatalogDocument;

class SettingsDialogModel {
public:
    explicit SettingsDialogModel(CatalogDocument& doc) : doc_(doc) {}

    // Reads the settings again from the store (DatenbankPfad, FileToLoad, Email and URL as held
    // in memory) and puts them into the controls.
    void open();

    // The controls. Number fields hold what was typed; the flags and texts are in values().
    Settings& values() { return values_; }
    std::string autoSaveValueText;      // "Anzahl der Änderungen:" (at most four digits)
    std::string autoSaveValueZeitText;  // "Zeit in Minuten:" (at most two digits)
    // "&AutoSave aktivieren" off disables the two triggers and their number fields.
    bool triggersEnabled() const { return values_.AutoSave; }

    // --- The rules, acting as a box is clicked.
    void setAutoSave(bool on);
    void setASAender(bool on);
    void setASZeit(bool on);
    void setScanBackground(bool on);
    void setReadFilesBBS(bool on);
    void setReadFileIDDIZ(bool on);
    // Unchecking asks whether the file list's indexes go; "Ja" deletes them at once.
    void setSekIndexActive(bool on);
    // "Standard wiederherstellen": the reset values into the controls (through the rules).
    void restoreDefaults();

    // "&OK": applies and stores everything; the dialog closes afterwards.
    void ok();

    // --- Page "Haupdatenbank", group "Tabelle": maintenance of the open catalog.
    void Packen();
    void Leeren();
    void Reindizieren();

    // --- Page "Dateidatenbank", group "Tabelle": maintenance of the file list mv32list.db.
    void FileListPacken();
    void FileListLeeren();
    void FileListReindizieren();

private:
    void deleteFileListIndexes();
    template <typename F>
    void maintainFileList(const char* failure, F&& step);
    template <typename F>
    void maintain(F&& step);

    CatalogDocument& doc_;
    Settings values_;
};

}  // namespace mv32::document
