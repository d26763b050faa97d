#include "engine/TableFileNames.h"

#include <cctype>

#include "engine/EngineError.h"
#include "engine/PathNames.h"

namespace mv32::engine {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The extensions of a table's files: the data, its primary and secondary indexes, the memo
// file, the log, the trigram index (and its file while it is written), the change beside it (and
// its file while it is written) and the sort files (of the trigram index's build too).
bool tableExtension(const std::string& ext) {
    if (ext == "db" || ext == "px" || ext == "mb" || ext == "wal" || ext == "tri" || ext == "trn" ||
        ext == "trd" || ext == "trt")
        return true;
    const size_t digits = ext.rfind("xg", 0) == 0                                ? 2
                          : ext.rfind("srt", 0) == 0 || ext.rfind("trs", 0) == 0 ? 3
                                                                                 : 0;
    if (digits == 0 || ext.size() == digits) return false;
    for (size_t i = digits; i < ext.size(); ++i) {
        if (ext[i] < '0' || ext[i] > '9') return false;
    }
    return true;
}

// `ext` (lower case) in the letter case of `style`: its first letter like the D of ".db", the
// others like the B.
std::string restyle(std::string ext, const std::string& style) {
    if (style.size() != 2) return ext;
    for (size_t i = 0; i < ext.size(); ++i) {
        const bool upper = std::isupper(static_cast<unsigned char>(style[i == 0 ? 0 : 1]));
        if (upper) ext[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(ext[i])));
    }
    return ext;
}

}  // namespace

std::shared_ptr<TableFileNames> TableFileNames::over(std::shared_ptr<FileSystem> fs) {
    if (auto same = std::dynamic_pointer_cast<TableFileNames>(fs)) return same;
    return std::make_shared<TableFileNames>(std::move(fs));
}

void TableFileNames::expect(const std::string& dbPath) {
    if (dbPath.size() < 3) return;
    std::lock_guard<std::mutex> hold(mutex_);
    expected_[dbPath.substr(0, dbPath.size() - 3)] = dbPath.substr(dbPath.size() - 2);
}

std::string TableFileNames::findIgnoringCase(const std::string& dir, const std::string& name) {
    std::vector<std::string> names;
    try {
        names = inner_->list(dir.empty() ? std::string(".") : dir);
    } catch (const EngineError&) {
        return {};  // an unreadable folder: the name as given, and opening reports the failure
    }
    const std::string want = lower(name);
    for (const auto& n : names) {
        if (n.size() == want.size() && lower(n) == want) return n;
    }
    return {};
}

std::string TableFileNames::styleOf(const std::string& base, std::string* onDisk) {
    if (inner_->exists(base + ".db")) {
        if (onDisk) *onDisk = base + ".db";
        return "db";
    }
    // The whole name without regard to case: "cat" finds "CAT.DB" as "Cat.db" does.
    const std::string dir = paths::folderOf(base);
    const std::string stem = paths::fileNameOf(base);
    const std::string found = findIgnoringCase(dir, stem + ".db");
    if (!found.empty()) {
        if (onDisk) *onDisk = dir + found;
        return found.substr(found.size() - 2);
    }
    std::lock_guard<std::mutex> hold(mutex_);
    auto it = expected_.find(base);
    return it == expected_.end() ? std::string() : it->second;
}

std::string TableFileNames::spelled(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < paths::folderEnd(path)) return path;
    const std::string ext = lower(path.substr(dot + 1));
    if (!tableExtension(ext)) return path;
    std::string base = path.substr(0, dot);
    std::string db;
    const std::string style = styleOf(base, &db);
    if (ext == "db") return !db.empty() ? db : style.empty() ? path : base + "." + style;
    if (!db.empty()) base = db.substr(0, db.size() - 3);  // the stem as on disk
    const std::string canonical = base + "." + restyle(ext, style);
    if (inner_->exists(canonical)) return canonical;
    if (canonical != path && inner_->exists(path)) return path;
    // Files copied from elsewhere may be spelled in any case. The log is only ever made here,
    // in the table's spelling, so its absence needs no search of the folder.
    if (ext != "wal") {
        const std::string dir = paths::folderOf(path);
        const std::string found = findIgnoringCase(dir, paths::fileNameOf(path));
        if (!found.empty()) return dir + found;
    }
    return canonical;
}

}  // namespace mv32::engine
