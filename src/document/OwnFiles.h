// The files no export, printed list or .MV file may replace: the files of the table it reads
// (.db .px .mb .xgN .wal .tri and the temporary .trn and .kopie files), the file list's
// (mv32list.* in the data folder, the list of scanned media included) and the undo table's
// (Undo.* in the program folder). Writing a list over them would destroy the catalog it lists.
//
// A target is compared as the medium finds it, however it is spelled: relative or absolute,
// in another case, through a link to a folder or to the file, or as another name (a hard link)
// of one of those files. The export and print commands, the print dialog's file output and
// mv32db ask before anything is written.
//
// The catalog commands ask here too: the file list and the undo table are no catalogs to
// open, to create, to copy onto or to load all catalogs into.
#pragma once

#include <optional>
#include <string>

namespace mv32::document {

class CatalogDocument;

inline constexpr const char* kUndoTableName = "Undo.db";

struct OwnFiles {
    std::string table;           // the table read: the path of its .db file or its base
    std::string fileListFolder;  // DatenbankPfad, "" for none
    std::string programFolder;   // ProgramDir, "" for none
};

// The open catalog's files, the file list's and the undo table's of the program.
OwnFiles ownFilesOf(CatalogDocument& doc);

enum class OwnKind { Table, FileList, UndoTable };
struct OwnFile {
    std::string file;  // the file the target is, as found
    OwnKind kind;
    std::string whose;  // "der Tabelle »cat.db«", "der Dateiliste", "der Undo-Tabelle"
};
// Which of `own`'s files `target` is; nullopt for any other file.
std::optional<OwnFile> ownFileOf(const std::string& target, const OwnFiles& own);

// The German sentence that refuses `target` when it is one of `own`'s files, "" when it is not.
std::string ownFileRefusal(const std::string& target, const OwnFiles& own);

// The German sentence that refuses `path` as a catalog when it names a file of the file list
// in `dataFolder` or of the undo table in `programDir`, saying what the file is; nullopt else.
std::optional<std::string> refusedAsCatalog(const std::string& path, const std::string& dataFolder,
                                            const std::string& programDir);

}  // namespace mv32::document
