#include "document/ProgramTables.h"

#include <filesystem>
#include <system_error>

#include "document/FileListTable.h"
#include "engine/EngineError.h"
#include "engine/SystemPaths.h"
#include "engine/Text.h"
#include "platform/Paths.h"

namespace mv32::document {

namespace {

namespace fs = std::filesystem;

// The extensions of a table's files, upper case.
bool tableExtension(const std::string& upperExt) {
    if (upperExt == ".DB" || upperExt == ".PX" || upperExt == ".MB" || upperExt == ".WAL" ||
        upperExt == ".TRI")
        return true;
    return upperExt.size() >= 4 && upperExt.compare(0, 3, ".XG") == 0 &&
           upperExt.find_first_not_of("0123456789", 3) == std::string::npos;
}

bool sameFolder(const std::string& a, const std::string& b) {
    std::error_code ec;
    const fs::path pa = engine::paths::fsPath(a.empty() ? "." : a);
    const fs::path pb = engine::paths::fsPath(b.empty() ? "." : b);
    if (fs::equivalent(pa, pb, ec)) return true;
    return fs::absolute(pa, ec).lexically_normal() == fs::absolute(pb, ec).lexically_normal();
}

// Whether `path` names a file of the table `tableName` ("mv32list.db") in `folder`.
bool namesTable(const std::string& path, const std::string& folder, const std::string& tableName) {
    const std::string name = engine::text::upper(platform::fileNameOf(path));
    const std::string table = engine::text::upper(tableName);
    const std::string base = table.substr(0, table.rfind('.'));
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.substr(0, dot) != base) return false;
    if (!tableExtension(name.substr(dot))) return false;
    return sameFolder(platform::folderOf(path), folder);
}

}  // namespace

std::optional<std::string> refusedAsCatalog(const std::string& path, const std::string& dataFolder,
                                            const std::string& programDir) {
    const std::string file = engine::quoted(path);
    if (!dataFolder.empty() && namesTable(path, dataFolder, filelist::kTableName))
        return "Die Datei " + file +
               " ist die Dateiliste von Mavrel/32, in der die gescannten Dateien stehen, und "
               "kein Katalog.";
    if (!programDir.empty() && namesTable(path, programDir, kUndoTableName))
        return "Die Datei " + file +
               " ist die Undo-Tabelle von Mavrel/32, in der gelöschte Datensätze bis zum "
               "Programmende aufbewahrt werden, und kein Katalog.";
    return std::nullopt;
}

}  // namespace mv32::document
