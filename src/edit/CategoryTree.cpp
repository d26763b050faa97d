#include "edit/CategoryTree.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <unordered_map>

#include "edit/PickLists.h"
#include "engine/EngineError.h"
#include "engine/Text.h"
#include "platform/AtomicFile.h"

namespace mv32::edit {

namespace text = engine::text;
using document::Answer;
using document::Buttons;
using document::MessageKind;

namespace {

constexpr size_t kTextLimit = 254;  // the longest text a node holds
constexpr int64_t kEventsEvery = 256;  // records between two looks at the wait window

std::string textOf(engine::Table& t, int field) {
    const engine::Value v = t.value(field);
    return v.isBlank() ? std::string() : text::fitToWidth(v.asText(), kTextLimit);
}

}  // namespace

std::string treeFileText(const TreeLines& tree) {
    std::string out;
    for (const auto& l : tree) {
        out.append(static_cast<size_t>(std::max(0, l.level)), '\t');
        out += text::toWindows1252(l.text);
        out += "\r\n";
    }
    return out;
}

TreeLines parseTreeFile(const std::string& bytes) {
    TreeLines tree;
    int before = -1;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "\x1a") continue;
        const size_t indent = line.find_first_not_of("\t ");
        const int level = static_cast<int>(indent == std::string::npos ? line.size() : indent);
        if (level > before + 1) throw std::runtime_error(kTreeReadError);
        tree.push_back({level, text::fromWindows1252(line.substr(static_cast<size_t>(level)))});
        before = level;
    }
    return tree;
}

CategoryTree::CategoryTree(document::CatalogDocument& doc, document::DataSource& catalog)
    : doc_(doc), catalog_(catalog) {}

void CategoryTree::build() {
    auto& st = doc_.state();
    auto& ui = doc_.ui();
    if (!st.CatalogOpen || st.TreeBuilding) return;
    engine::Table& t = doc_.MV32();
    st.TreeBuilding = true;
    ui.showWaitWindow(true);
    st.AutoSaveHold = true;
    lines_.clear();
    catalog_.suspendLinks();
    auto finish = [&] {
        ui.showProgress(false);
        st.AutoSaveHold = false;
        catalog_.resumeLinks();
        ui.showWaitWindow(false);
        st.TreeBuilding = false;
    };
    try {
        // The pass over the catalog in name order, grouping the names by their category.
        t.close();
        t.setIndexName("");
        t.open();
        const int nameField = t.field("Name");
        const int categoryField = t.field("Kategorie");
        std::vector<std::string> categories;
        std::vector<std::vector<std::string>> names;
        std::unordered_map<std::string, size_t> where;
        int64_t seen = 0;
        for (t.first(); !t.eof(); t.next()) {
            if (++seen % kEventsEvery == 0) ui.processEvents();
            if (ui.cancelRequested()) break;
            std::string category = textOf(t, categoryField);
            if (category.empty()) continue;
            auto [at, added] = where.try_emplace(category, categories.size());
            if (added) {
                categories.push_back(std::move(category));
                names.emplace_back();
            }
            names[at->second].push_back(textOf(t, nameField));
        }
        if (ui.cancelRequested()) {
            ui.resetCancelRequest();
        } else {
            // The categories as a German reader sorts them (case aside, umlauts with their
            // letters); the nodes with their names.
            std::vector<std::string> sorted = categories;
            sortGerman(sorted);
            std::vector<size_t> order;
            order.reserve(sorted.size());
            for (const auto& c : sorted) order.push_back(where[c]);
            ui.setProgressRange(0, static_cast<int64_t>(order.size()));
            ui.setProgressPosition(0);
            ui.showProgress(true);
            int64_t done = 0;
            for (size_t k : order) {
                ui.processEvents();
                if (ui.cancelRequested()) {
                    ui.resetCancelRequest();
                    break;
                }
                lines_.push_back({0, categories[k]});
                ui.setProgressPosition(++done);
                for (auto& n : names[k]) lines_.push_back({1, std::move(n)});
            }
        }
    } catch (const std::exception& e) {
        // The catalog could not be read again: what the general error handler would say.
        finish();
        ui.showApplicationError(e.what());
        return;
    }
    finish();
}

void CategoryTree::saveTo(const std::string& path) const {
    try {
        platform::writeFileAtomically(path, treeFileText(lines_));
    } catch (const engine::EngineError&) {
        throw std::runtime_error(kTreeWriteError);
    }
}

void CategoryTree::loadFrom(const std::string& path) {
    const auto bytes = platform::readWholeFile(path);
    if (!bytes) throw std::runtime_error(kTreeReadError);
    lines_ = parseTreeFile(*bytes);  // a file that cannot be read leaves the tree as it was
}

void CategoryTree::save() {
    auto& ui = doc_.ui();
    document::FileDialogRequest r;
    r.save = true;
    r.title = "Baum speichern";
    r.filter = "Trees (*.TRE)|*.TRE";
    r.defaultExt = "TRE";
    r.initialName = doc_.state().ProgramDir;
    std::string path = ui.fileDialog(r).path;
    if (path.empty()) return;
    if (document::upperExtension(path) != ".TRE") path += ".tre";
    std::error_code ec;
    if (std::filesystem::exists(path, ec) &&
        ui.message(MessageKind::Warnung, document::kOverwriteQuestion, Buttons::JaNein) !=
            Answer::Ja)
        return;
    ui.showWaitWindow(true);
    try {
        saveTo(path);
    } catch (const std::exception&) {
        ui.showWaitWindow(false);
        ui.message(MessageKind::Hinweis, kTreeWriteError, Buttons::Ok);
        return;
    }
    ui.showWaitWindow(false);
}

void CategoryTree::load() {
    auto& ui = doc_.ui();
    document::FileDialogRequest r;
    r.title = "Baum laden";
    r.filter = "Trees (*.TRE)|*.TRE";
    r.defaultExt = "tre";
    r.initialName = doc_.state().ProgramDir;
    const std::string path = ui.fileDialog(r).path;
    if (path.empty() || document::upperExtension(path) != ".TRE") return;
    ui.showWaitWindow(true);
    try {
        loadFrom(path);
    } catch (const std::exception&) {
        ui.showWaitWindow(false);
        ui.message(MessageKind::Hinweis, kTreeReadError, Buttons::Ok);
        return;
    }
    ui.showWaitWindow(false);
}

bool CategoryTree::selectName(const std::string& name) {
    if (!doc_.state().CatalogOpen) return false;
    try {
        return doc_.MV32().locate("Name", {engine::Value(name)});
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace mv32::edit
