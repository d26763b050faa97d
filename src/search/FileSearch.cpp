#include "search/FileSearch.h"

#include <algorithm>
#include <exception>

#include "document/FileListTable.h"
#include "engine/Text.h"
#include "search/FullSearch.h"

namespace mv32::search {

namespace {

namespace filelist = document::filelist;

// The sort entries' fields and the table's index for each.
const char* orderField(FileOrder order) {
    switch (order) {
        case FileOrder::Name:
            return "Dateiname";
        case FileOrder::Folder:
            return "Verzeichnis";
        case FileOrder::Extension:
            return "Erweiterung";
        case FileOrder::Size:
            return "Groesse";
        case FileOrder::Unsorted:
            break;
    }
    return nullptr;
}

std::string indexFor(FileOrder order) {
    switch (order) {
        case FileOrder::Name:
            return filelist::kIndexes[0].name;
        case FileOrder::Extension:
            return filelist::kIndexes[1].name;
        case FileOrder::Size:
            return filelist::kIndexes[2].name;
        case FileOrder::Folder:
        case FileOrder::Unsorted:
            break;
    }
    return "";  // the primary key: by folder
}

// The first field of an index of the file list ("" is the primary key).
std::string firstFieldOf(const std::string& index) {
    std::string fields = filelist::kPrimaryFields;
    for (const auto& ix : filelist::kIndexes)
        if (index == ix.name) fields = ix.fields;
    return fields.substr(0, fields.find(';'));
}

std::string withoutFinalStop(std::string s) {
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

}  // namespace

std::string fileSearchStatement(const std::string& text, FileOrder order) {
    std::string sql = "SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"%" +
                      quoted(engine::text::upper(text)) + "%\")";
    if (const char* field = orderField(order)) sql += std::string(" ORDER BY ") + field;
    return sql;
}

FileRow fileRowOf(engine::Cursor& c) {
    FileRow r;
    r.directory = c.value("Verzeichnis").asText();
    r.name = c.value("Dateiname").asText();
    r.extension = c.value("Erweiterung").asText();
    const engine::Value size = c.value("Groesse");
    r.size = size.isInt() ? size.asInt() : 0;
    r.label = c.value("Label").asText();
    r.volId = c.value("VolID").asText();
    return r;
}

FileSearch::FileSearch(document::UserInterface& ui) : ui_(ui) {
    query_.useTable(table_);
}

FileSearch::~FileSearch() {
    result_.clear();
    files_.clear();
    query_.forgetTable(table_);
}

void FileSearch::prepare(const std::string& dataFolder, bool sekIndexActive) {
    closed();
    folder_ = dataFolder;
    sekIndexActive_ = sekIndexActive;
    table_.setDirectory(folder_);
    table_.setTableName(filelist::kTableName);
    table_.setFieldDefs(filelist::fields());
    table_.setIndexName("");
    query_.setDirectory(folder_);
    searchEnabled_ = false;
    files_.setTable(table_);
    activate();
}

void FileSearch::showing() {
    resultMode_ = false;
    try {
        query_.close();
    } catch (const std::exception&) {
    }
    tell();
}

void FileSearch::activate() {
    if (folder_.empty() || table_.active()) return;
    try {
        table_.setExclusive(true);
        table_.open();
        const auto names = table_.indexNames();
        const bool nameIndex =
            std::find(names.begin(), names.end(), filelist::kIndexes[0].name) != names.end();
        tablePopup_ = sekIndexActive_ && nameIndex;
        // The name order where it is there; else, or when it went, the primary key's.
        if (tablePopup_ && table_.indexName().empty())
            table_.setIndexName(filelist::kIndexes[0].name);
        else if (!tablePopup_ ||
                 std::find(names.begin(), names.end(), table_.indexName()) == names.end())
            table_.setIndexName("");
        table_.first();
    } catch (const std::exception&) {  // a scan holds the file list: the grid stays empty
    }
    tell();
}

void FileSearch::closed() {
    resultMode_ = false;
    try {
        query_.close();
        table_.close();
        table_.setExclusive(false);
    } catch (const std::exception&) {  // closing is best effort, as the window's close is
    }
    tell();
}

std::array<bool, edit::kNavButtons> FileSearch::navigatorButtons() const {
    std::array<bool, edit::kNavButtons> b{};
    using edit::NavButton;
    for (NavButton n : {NavButton::First, NavButton::Prior, NavButton::Next, NavButton::Last})
        b[static_cast<size_t>(n)] = true;
    if (!resultMode_) b[static_cast<size_t>(NavButton::Delete)] = true;
    return b;
}

void FileSearch::textChanged(const std::string& text) {
    searchEnabled_ = !text.empty();
    tell();
    if (text.empty() || !table_.active() || resultMode_) return;
    const std::string field = firstFieldOf(table_.indexName());
    engine::Value value(text);
    try {
        // The engine's locate answers "not found" for text in a number field: the input is
        // checked first, so the person learns why nothing is found.
        value = table_.converted(field, value);
    } catch (const std::exception& e) {
        ui_.message(document::MessageKind::Fehler, withoutFinalStop(e.what()) + kOnlyNumbers,
                    document::Buttons::Ok);
        return;
    }
    try {
        table_.locate(field, {value});
    } catch (const std::exception& e) {
        ui_.showApplicationError(e.what());
    }
}

void FileSearch::search(const std::string& text) {
    text_ = text;
    resultMode_ = true;
    runStatement(fileSearchStatement(text_, FileOrder::Unsorted));
}

void FileSearch::back() {
    resultMode_ = false;
    try {
        query_.close();
        if (table_.active()) {
            const auto names = table_.indexNames();
            tablePopup_ = sekIndexActive_ && std::find(names.begin(), names.end(),
                                                       filelist::kIndexes[0].name) != names.end();
        }
    } catch (const std::exception&) {
    }
    tell();
}

void FileSearch::sortTable(FileOrder order) {
    if (!table_.active()) return;
    try {
        table_.setIndexName(indexFor(order));
    } catch (const std::exception& e) {
        ui_.showApplicationError(e.what());
    }
    tell();
}

void FileSearch::sortResult(FileOrder order) {
    if (!resultMode_) return;
    runStatement(fileSearchStatement(text_, order));
}

void FileSearch::runStatement(const std::string& sql) {
    statement_ = sql;
    try {
        query_.close();
        query_.setSql(statement_);
        query_.open();
        result_.setCursor(query_);
    } catch (const std::exception& e) {
        // The window stays in result mode with an empty grid; "&zurück" leads back.
        tell();
        ui_.showApplicationError(e.what());
        return;
    }
    tell();
}

std::pair<int64_t, int64_t> FileSearch::position() {
    try {
        if (!table_.active()) return {0, 0};
        const int64_t count = table_.recordCount();
        return {count ? table_.recNo() : 0, count};
    } catch (const std::exception&) {
        return {0, 0};
    }
}

std::optional<FileRow> FileSearch::currentRow() {
    document::DataSource& s = displayed();
    engine::Cursor* c = s.cursor();
    if (!s.active() || !c || (c->bof() && c->eof())) return std::nullopt;
    return fileRowOf(*c);
}

}  // namespace mv32::search
