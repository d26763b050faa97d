#include "edit/CategoryTree.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <unordered_map>

#include "edit/PickLists.h"
#include "engine/EngineError.h"
#include "engine/SystemPaths.h"
#include "engine/Text.h"
#include "platform/AtomicFile.h"

namespace mv32::edit {

namespace text = engine::text;
using document::Answer;
using document::Buttons;
using document::MessageKind;

namespace {

constexpr int64_t kEventsEvery = 256;  // records between two looks at the wait window
constexpr size_t kReadChunk = 1 << 16;  // bytes of a tree file between two looks

std::string textOf(engine::Table& t, int field) {
    const engine::Value v = t.value(field);
    return v.isBlank() ? std::string() : text::fitToWidth(v.asText(), kTreeTextLimit);
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

void TreeFileReader::feed(std::string_view bytes) {
    for (char c : bytes) {
        if (c == '\n') {
            endLine();
            continue;
        }
        if (!inText_ && (c == '\t' || c == ' ')) {
            ++indent_;
            continue;
        }
        inText_ = true;
        // A node holds what the tree build holds; the rest of a longer line is passed over,
        // so a file of one endless line costs no more than a short one.
        if (text_.size() < kTreeTextLimit + 1) text_ += c;  // one more: a CR that ends it
    }
}

void TreeFileReader::endLine() {
    if (!text_.empty() && text_.back() == '\r') text_.pop_back();
    if (text_.size() > kTreeTextLimit) text_.resize(kTreeTextLimit);
    const bool endOfFileMark = indent_ == 0 && text_ == "\x1a";
    if (!endOfFileMark) {
        if (indent_ > static_cast<size_t>(before_ + 1)) throw std::runtime_error(kTreeReadError);
        const int level = static_cast<int>(indent_);
        lines_.push_back({level, text::fromWindows1252(text_)});
        before_ = level;
    }
    text_.clear();
    indent_ = 0;
    inText_ = false;
}

TreeLines TreeFileReader::finish() {
    if (pending()) endLine();
    return std::move(lines_);
}

TreeLines parseTreeFile(const std::string& bytes) {
    TreeFileReader reader;
    reader.feed(bytes);
    return reader.finish();
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

bool CategoryTree::loadFrom(const std::string& path) {
    auto& ui = doc_.ui();
    std::error_code ec;
    const auto where = engine::paths::fsPath(path);
    // Only a file is read: a FIFO or a device would never end.
    if (!std::filesystem::is_regular_file(where, ec)) throw std::runtime_error(kTreeReadError);
    const auto size = std::filesystem::file_size(where, ec);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(engine::paths::openFile(path, "rb"),
                                                       &std::fclose);
    if (!in) throw std::runtime_error(kTreeReadError);
    TreeFileReader reader;
    std::string chunk(kReadChunk, '\0');
    ui.setProgressRange(0, ec ? 0 : static_cast<int64_t>(size));
    ui.setProgressPosition(0);
    ui.showProgress(true);
    struct HideProgress {
        document::UserInterface& ui;
        ~HideProgress() { ui.showProgress(false); }
    } hide{ui};
    int64_t read = 0;
    for (;;) {
        const size_t n = std::fread(chunk.data(), 1, chunk.size(), in.get());
        if (n == 0) break;
        reader.feed(std::string_view(chunk.data(), n));
        read += static_cast<int64_t>(n);
        ui.setProgressPosition(read);
        ui.processEvents();
        if (ui.cancelRequested()) {  // "Abbrechen" of the wait window: the tree stays as it was
            ui.resetCancelRequest();
            return false;
        }
    }
    if (std::ferror(in.get())) throw std::runtime_error(kTreeReadError);
    lines_ = reader.finish();  // a file that cannot be read leaves the tree as it was
    return true;
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
