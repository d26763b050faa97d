// The program's own tables, which hold no catalog: the file list (mv32list in the data folder
// DatenbankPfad) and the undo journal (Undo in the program folder). A person can reach them in
// every file dialog, so the catalog commands ask here before they open, create, replace or
// fill a table.
//
// A path names one of them when it lies in that table's folder (the same folder however it is
// spelled: relative, through a link) and its file name, without regard to case as the engine
// finds a table's files, is the table's name with one of its extensions.
#pragma once

#include <optional>
#include <string>

namespace mv32::document {

inline constexpr const char* kUndoTableName = "Undo.db";

// The German sentence that refuses `path` as a catalog, naming the file and what it is; nullopt
// for any other path.
std::optional<std::string> refusedAsCatalog(const std::string& path, const std::string& dataFolder,
                                            const std::string& programDir);

}  // namespace mv32::document
