// Removing a scanned medium ("Datenträger Auswahl"): its line leaves the list of scanned media
// mv32list.chk and every file list record of the medium is deleted. Catalog records stay.
//
// The medium is chosen from the list (label " - " serial, in file order) or read from a drive.
// The file list is opened for the removal, exclusively, before anything changes: while a scan
// or the file search holds it, nothing is changed and the person is asked to try again later
// (removing the line first would leave every record of the medium behind, unlisted). Then every
// line of the medium leaves the list (rewritten through a temporary file), and one pass over the
// file list deletes the records whose serial number is the medium's and whose label, written as
// the list file holds it (windows-1252), is the medium's, with the progress shown and auto-save
// held. A failure after that point ends the removal as the program always did, without a
// message, and is written to the log. User-interface thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "document/CatalogDocument.h"
#include "platform/Volumes.h"

namespace mv32::edit {

inline constexpr const char* kNoMediaRegistered = "Keine Datenträger registriert!";
inline constexpr const char* kFileListBusy =
    "Die Dateiliste wird gerade benutzt. Bitte versuchen Sie es später noch einmal.";

class MediumRemoval {
public:
    MediumRemoval(document::CatalogDocument& doc, platform::LetterMemory letters);

    // Entfernen1Click: reads the list; false (after "Keine Datenträger registriert!") when it
    // is empty or cannot be read.
    bool load();
    // The list as the window shows it.
    std::vector<std::string> entries() const;
    std::vector<platform::Volume> drives() const;

    // "Löschen" of the first way: the entry at `index` (-1: none chosen, nothing happens).
    void removeListed(int index);
    // "Löschen" of the second way: the medium in the drive with this letter.
    void removeInDrive(char letter);

    // The window's buttons are disabled while a removal runs.
    std::function<void(bool running)> running;

private:
    void remove(const std::string& line);
    // Deletes the medium's records; true when the file search's index took the removal in
    // (else it needs building).
    bool deleteRecords(engine::Table& list, const std::string& label, const std::string& serial);

    document::CatalogDocument& doc_;
    platform::LetterMemory letters_;
    std::vector<std::string> lines_;  // as the file holds them, in its order
};

}  // namespace mv32::edit
