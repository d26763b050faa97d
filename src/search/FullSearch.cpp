#include "search/FullSearch.h"

#include <cctype>
#include <charconv>
#include <exception>

#include "edit/PickLists.h"
#include "engine/EngineError.h"
#include "engine/SystemPaths.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstdio>

namespace mv32::search {

namespace {

std::string contains(const char* column, const std::string& v) {
    return std::string("Upper(") + column + ") like Upper(\"%" + quoted(v) + "%\")";
}

// Typed KByte as bytes; digits only (the field's mask), so anything else matches nothing.
std::string kbyteAsBytes(const std::string& v) {
    uint64_t kb = 0;
    const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), kb);
    if (ec != std::errc() || p != v.data() + v.size()) return "-1";
    return std::to_string(kb * 1024);
}

std::string trimmedRight(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

std::optional<std::vector<std::string>> readSearchList(const std::string& path,
                                                       std::string& problem) {
    auto lines = edit::readListFile(path);
    if (lines) {
        edit::sortGerman(*lines);
        return lines;
    }
    // Why it could not be read, as the system tells it.
    errno = 0;
    int err = EIO;
    if (std::FILE* f = engine::paths::openFile(path, "rb")) {
        std::fclose(f);
        err = EISDIR;  // opened, but no file to read lines from
    } else if (errno != 0) {
        err = errno;
    }
    problem = "Die Liste " + engine::quoted(path) +
              " kann nicht gelesen werden: " + engine::systemErrorReason(err) + ".";
    return std::nullopt;
}

bool FullSearchCriteria::empty() const {
    for (const std::string* s :
         {&name, &number, &drive, &label, &serial, &total, &free, &category, &status, &medium})
        if (!s->empty()) return false;
    return true;
}

std::string quoted(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        if (ch == '"') out += '"';
        out += ch;
    }
    return out;
}

std::string catalogInStatement(const std::string& fileName) {
    const auto plain = [](unsigned char ch) { return std::isalnum(ch) || ch == '_' || ch == '.'; };
    bool bare = !fileName.empty() &&
                (std::isalpha(static_cast<unsigned char>(fileName[0])) || fileName[0] == '_');
    for (char c : fileName) {
        const auto ch = static_cast<unsigned char>(c);
        bare = bare && ch < 0x80 && plain(ch);
    }
    return bare ? fileName : "\"" + quoted(fileName) + "\"";
}

std::string fullSearchStatement(const FullSearchCriteria& c, const std::string& catalogFile) {
    if (c.empty()) return {};
    std::string sql = "SELECT * FROM " + catalogFile + " where";
    bool added = false;
    auto add = [&](const std::string& fragment) {
        sql += added ? " and " : " ";
        sql += fragment;
        added = true;
    };
    const std::string number = trimmedRight(c.number);
    const std::string total = trimmedRight(c.total);
    const std::string free = trimmedRight(c.free);
    if (!c.name.empty()) add(contains("Name", c.name));
    if (!number.empty()) add("DatentraegerNr=\"" + quoted(number) + "\"");
    if (!c.drive.empty()) add(contains("Laufwerk", c.drive));
    if (!c.label.empty()) add(contains("Label", c.label));
    if (!c.serial.empty()) add(contains("Serien_Nr", c.serial));
    if (!total.empty()) add("Gesamte_Groesse<" + kbyteAsBytes(total));
    if (!free.empty()) add("Freier_Speicher<" + kbyteAsBytes(free));
    if (!c.category.empty()) add(contains("Kategorie", c.category));
    if (!c.status.empty()) add(contains("Status", c.status));
    if (!c.medium.empty()) add(contains("Datentraeger", c.medium));
    return sql;
}

void runFullSearch(document::CatalogDocument& doc, edit::Overview& overview,
                   const FullSearchCriteria& c) {
    if (!doc.state().CatalogOpen) return;
    const std::string sql =
        fullSearchStatement(c, catalogInStatement(platform::fileNameOf(doc.MV32().filePath())));
    if (sql.empty()) return;
    try {
        overview.showQuery(sql, true, true);
    } catch (const std::exception& e) {
        doc.ui().showApplicationError(e.what());
    }
}

}  // namespace mv32::search
