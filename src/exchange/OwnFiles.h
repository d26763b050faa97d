// The files no export, printed list or .MV file may replace: the files of the table it reads
// (.db .px .mb .xgN .wal .tri and the temporary .trn and .kopie files), the file list's
// (mv32list.* in the data folder, the list of scanned media included) and the undo table's
// (Undo.* in the program folder). Writing a list over them would destroy the catalog it lists.
//
// A target is compared as the medium finds it, however it is spelled: relative or absolute,
// in another case, through a link to a folder or to the file, or as another name (a hard link)
// of one of those files. The export and print commands, the print dialog's file output and
// mv32db ask before anything is written.
#pragma once

#include <string>

namespace mv32::document {
class CatalogDocument;
}

namespace mv32::exchange {

struct OwnFiles {
    std::string table;           // the table read: the path of its .db file or its base
    std::string fileListFolder;  // DatenbankPfad, "" for none
    std::string programFolder;   // ProgramDir, "" for none
};

// The open catalog's files, the file list's and the undo table's of the program.
OwnFiles ownFilesOf(document::CatalogDocument& doc);

// The German sentence that refuses `target` when it is one of `own`'s files, "" when it is not.
std::string ownFileRefusal(const std::string& target, const OwnFiles& own);

}  // namespace mv32::exchange
