#include "document/OwnFiles.h"

#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "document/CatalogDocument.h"
#include "engine/EngineError.h"
#include "engine/PathNames.h"
#include "engine/SystemPaths.h"
#include "engine/Text.h"

namespace mv32::document {

namespace fs = std::filesystem;
namespace paths = engine::paths;

namespace {

// A table's files: the stem, a point, and one of these extensions in any case.
struct Group {
    fs::path folder;
    std::string stem;   // upper case
    std::string whose;  // "der Tabelle »cat.db«"
    OwnKind kind;
    bool scannedMedia = false;  // mv32list.chk belongs to the file list too
};

bool digits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// Whether `ext` (upper case, without the first point) names a file of a table, its temporary
// files included.
bool tableExtension(std::string_view ext, bool scannedMedia) {
    constexpr std::string_view kCopy = ".KOPIE";  // the copies' temporary files of old
    if (ext.size() > kCopy.size() && ext.substr(ext.size() - kCopy.size()) == kCopy)
        ext.remove_suffix(kCopy.size());
    if (ext.size() > 8 && ext.substr(ext.size() - 8, 2) == ".~")
        ext.remove_suffix(8);  // a replacing writer's temporary file of one of them
    if (ext == "DB" || ext == "PX" || ext == "MB" || ext == "WAL" || ext == "TRI" || ext == "TRN")
        return true;
    if (scannedMedia && ext == "CHK") return true;
    return (ext.substr(0, 2) == "XG" && digits(ext.substr(2))) ||
           (ext.substr(0, 3) == "SRT" && digits(ext.substr(3)));
}

bool belongs(const std::string& name, const Group& g) {
    const std::string upper = engine::text::upper(name);
    return upper.size() > g.stem.size() + 1 && upper.compare(0, g.stem.size(), g.stem) == 0 &&
           upper[g.stem.size()] == '.' &&
           tableExtension(std::string_view(upper).substr(g.stem.size() + 1), g.scannedMedia);
}

bool sameFolder(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

// The place a path names, with its folder's links resolved; and, when the name itself is a
// link, where the link leads.
std::vector<fs::path> placesOf(const fs::path& target) {
    std::error_code ec;
    fs::path absolute = fs::absolute(target, ec).lexically_normal();
    if (ec) absolute = target;
    std::vector<fs::path> places;
    const fs::path folder = fs::weakly_canonical(absolute.parent_path(), ec);
    places.push_back((ec ? absolute.parent_path() : folder) / absolute.filename());
    if (fs::is_symlink(fs::symlink_status(absolute, ec))) {
        const fs::path led = fs::weakly_canonical(absolute, ec);
        if (!ec) places.push_back(led);
    }
    return places;
}

OwnFile found(const fs::path& file, const Group& g) {
    return {paths::utf8Of(file), g.kind, g.whose};
}

}  // namespace

OwnFiles ownFilesOf(CatalogDocument& doc) {
    OwnFiles own;
    own.table = doc.MV32().filePath();
    own.fileListFolder = doc.settings().DatenbankPfad;
    own.programFolder = doc.state().ProgramDir;
    return own;
}

std::optional<OwnFile> ownFileOf(const std::string& target, const OwnFiles& own) {
    if (target.empty()) return std::nullopt;
    std::vector<Group> groups;
    if (!own.table.empty()) {
        std::string name = paths::fileNameOf(own.table);
        const std::string upper = engine::text::upper(name);
        if (upper.size() > 3 && upper.compare(upper.size() - 3, 3, ".DB") == 0)
            name.resize(name.size() - 3);
        std::string folder = paths::folderOf(own.table);
        groups.push_back({paths::fsPath(folder.empty() ? "." : folder), engine::text::upper(name),
                          "der Tabelle " + engine::quoted(name + ".db"), OwnKind::Table});
    }
    if (!own.fileListFolder.empty())
        groups.push_back({paths::fsPath(own.fileListFolder), "MV32LIST", "der Dateiliste",
                          OwnKind::FileList, true});
    if (!own.programFolder.empty())
        groups.push_back(
            {paths::fsPath(own.programFolder), "UNDO", "der Undo-Tabelle", OwnKind::UndoTable});

    const fs::path spelled = paths::fsPath(target);
    for (const fs::path& place : placesOf(spelled)) {
        for (const Group& g : groups) {
            if (belongs(paths::utf8Of(place.filename()), g) &&
                sameFolder(place.parent_path(), g.folder))
                return found(place, g);
        }
    }
    // Another name of one of the files (a hard link) is found by what it is.
    std::error_code ec;
    if (!fs::is_regular_file(spelled, ec)) return std::nullopt;
    for (const Group& g : groups) {
        for (fs::directory_iterator it(g.folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (belongs(paths::utf8Of(it->path().filename()), g) &&
                fs::equivalent(spelled, it->path(), ec))
                return found(it->path(), g);
        }
        ec.clear();
    }
    return std::nullopt;
}

std::string ownFileRefusal(const std::string& target, const OwnFiles& own) {
    const auto own_ = ownFileOf(target, own);
    if (!own_) return {};
    return "Das Ziel " + engine::quoted(target) + " ist " + engine::quoted(own_->file) +
           ", eine Datei " + own_->whose + "; sie wird nicht überschrieben.";
}

std::optional<std::string> refusedAsCatalog(const std::string& path, const std::string& dataFolder,
                                            const std::string& programDir) {
    const auto own = ownFileOf(path, OwnFiles{"", dataFolder, programDir});
    if (!own) return std::nullopt;
    if (own->kind == OwnKind::FileList)
        return "Die Datei " + engine::quoted(path) +
               " gehört zur Dateiliste von Mavrel/32, in der die gescannten Dateien stehen, und "
               "ist kein Katalog.";
    return "Die Datei " + engine::quoted(path) +
           " gehört zur Undo-Tabelle von Mavrel/32, in der gelöschte Datensätze bis zum "
           "Programmende aufbewahrt werden, und ist kein Katalog.";
}

}  // namespace mv32::document
