// The program's entries in the desktop: files of type .mv and .db open in the program, and
// folders offer "Add to MV32" in the file managers.
//
// Linux: below $XDG_DATA_HOME (usually ~/.local/share) a desktop entry for the program, MIME
// types for *.mv and for catalogs (*.db), and an "Add to MV32" action for folders in the action
// folders of Nautilus, Nemo and Dolphin. Made right at every start: an entry whose file holds
// its text already is left alone, so that a start with nothing to change writes nothing; a
// failure throws std::runtime_error naming the file (the caller only logs it).
#pragma once

#include <string>

namespace mv32::platform {

// `program` is the path of the program file; `dataHome` overrides $XDG_DATA_HOME (tests).
// True when an entry was written (the desktop then needs refreshDesktopDatabases()).
bool writeShellEntries(const std::string& program, const std::string& dataHome = std::string());

// Lets the desktop read the new entries: runs update-mime-database and update-desktop-database
// on the user's folders where they are installed, without waiting for them.
void refreshDesktopDatabases();

}  // namespace mv32::platform
