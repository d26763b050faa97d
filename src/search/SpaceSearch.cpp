#include "search/SpaceSearch.h"

#include <charconv>
#include <exception>
#include <optional>

#include "platform/Paths.h"
#include "search/FullSearch.h"

namespace mv32::search {

namespace {

using document::Buttons;
using document::MessageKind;

std::string trimmed(const std::string& s) {
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

std::optional<uint64_t> wholeNumber(const std::string& s) {
    uint64_t v = 0;
    const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
    return v;
}

SearchOutcome show(document::CatalogDocument& doc, edit::Overview& overview,
                   const std::string& sql) {
    try {
        overview.showQuery(sql, false, false);
    } catch (const std::exception& e) {
        doc.ui().showApplicationError(e.what());
        return SearchOutcome::Refused;
    }
    return SearchOutcome::Shown;
}

std::string catalogFile(document::CatalogDocument& doc) {
    return catalogInStatement(platform::fileNameOf(doc.MV32().filePath()));
}

}  // namespace

std::string freeSpaceStatement(FreeSpaceCompare compare, const std::string& kbyte,
                               bool withoutZero, const std::string& file) {
    const std::string typed = trimmed(kbyte);
    if (typed.empty()) return {};
    const auto kb = wholeNumber(typed);
    const std::string bytes = kb ? std::to_string(*kb * 1024) : "-1";
    const char* op = compare == FreeSpaceCompare::MoreThan  ? ">"
                     : compare == FreeSpaceCompare::Exactly ? "="
                                                            : "<";
    std::string sql = "SELECT * FROM " + file + " where Freier_Speicher" + op + bytes;
    if (withoutZero) sql += " and Freier_Speicher<>0";
    return sql;
}

std::string rangeStatement(const std::string& from, const std::string& to,
                           const std::string& medium, const std::string& file) {
    std::string sql = "SELECT * FROM " + file + " where DatentraegerNr>=\"" + quoted(from) +
                      "\" and DatentraegerNr<=\"" + quoted(to) + "\"";
    if (!medium.empty()) sql += " and Upper(Datentraeger) like Upper(\"%" + quoted(medium) + "%\")";
    return sql;
}

SearchOutcome runFreeSpace(document::CatalogDocument& doc, edit::Overview& overview,
                           FreeSpaceCompare compare, const std::string& kbyte, bool withoutZero) {
    if (!doc.state().CatalogOpen) return SearchOutcome::Nothing;
    const std::string sql = freeSpaceStatement(compare, kbyte, withoutZero, catalogFile(doc));
    if (sql.empty()) return SearchOutcome::Refused;  // no size: the dialog stays open
    return show(doc, overview, sql);
}

RangeCheck checkRange(const std::string& from, const std::string& to, std::string* message) {
    const std::string lo = trimmed(from);
    const std::string hi = trimmed(to);
    if (lo.empty() || hi.empty()) return RangeCheck::Empty;
    const auto a = wholeNumber(lo);
    const auto b = wholeNumber(hi);
    if (!a || !b) {
        if (message) *message = "»" + (a ? hi : lo) + "« ist keine gültige ganze Zahl.";
        return RangeCheck::NotANumber;
    }
    if (*b < *a) {
        if (message) *message = kWrongRange;
        return RangeCheck::Wrong;
    }
    return RangeCheck::Ok;
}

SearchOutcome runRange(document::CatalogDocument& doc, edit::Overview& overview,
                       const std::string& from, const std::string& to, const std::string& medium) {
    if (!doc.state().CatalogOpen) return SearchOutcome::Nothing;
    std::string message;
    switch (checkRange(from, to, &message)) {
        case RangeCheck::Empty:
            return SearchOutcome::Nothing;
        case RangeCheck::NotANumber:
            doc.ui().message(MessageKind::Fehler, message, Buttons::Abbrechen);
            return SearchOutcome::Refused;
        case RangeCheck::Wrong:
            doc.ui().message(MessageKind::Hinweis, message, Buttons::Ok);
            return SearchOutcome::Refused;
        case RangeCheck::Ok:
            break;
    }
    return show(doc, overview, rangeStatement(trimmed(from), trimmed(to), medium, catalogFile(doc)));
}

}  // namespace mv32::search
