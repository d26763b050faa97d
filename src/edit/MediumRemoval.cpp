#include "edit/MediumRemoval.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>

#include "document/FileListTable.h"
#include "engine/Text.h"
#include "scan/ScannedMedia.h"

namespace mv32::edit {

namespace {

using document::Animation;
using document::Buttons;
using document::MessageKind;

constexpr int64_t kEventsEvery = 1024;  // records between two looks at the window

}  // namespace

MediumRemoval::MediumRemoval(document::CatalogDocument& doc, platform::LetterMemory letters)
    : doc_(doc), letters_(std::move(letters)) {}

bool MediumRemoval::load() {
    try {
        lines_ = scan::ScannedMedia(doc_.state().ProgramDir).lines();
    } catch (const std::exception&) {
        lines_.clear();
    }
    if (lines_.empty()) {
        doc_.ui().message(MessageKind::Hinweis, kNoMediaRegistered, Buttons::Ok);
        return false;
    }
    return true;
}

std::vector<std::string> MediumRemoval::entries() const {
    std::vector<std::string> out;
    out.reserve(lines_.size());
    for (const auto& l : lines_) out.push_back(scan::ScannedMedia::displayForm(l));
    return out;
}

std::vector<platform::Volume> MediumRemoval::drives() const {
    return platform::Volumes::list(letters_);
}

void MediumRemoval::removeListed(int index) {
    if (index < 0 || static_cast<size_t>(index) >= lines_.size()) return;
    remove(lines_[static_cast<size_t>(index)]);
}

void MediumRemoval::removeInDrive(char letter) {
    const char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (up < 'A' || up > 'Z') return;
    const auto vol = platform::Volumes::byLetter(up, letters_);
    if (!vol || !platform::Volumes::ready(*vol) || !platform::Volumes::space(*vol)) return;
    const auto id = platform::Volumes::identify(*vol);
    const std::string label = id ? engine::text::fitToWidth(id->label, 11) : std::string();
    remove(label + platform::serialText(id ? id->serial : 0));
}

void MediumRemoval::remove(const std::string& line) {
    auto& ui = doc_.ui();
    auto& st = doc_.state();
    if (running) running(true);
    ui.showAnimation(Animation::Warning, true);
    auto finish = [&] {
        ui.showProgress(false);
        st.AutoSaveHold = false;
        ui.showAnimation(Animation::Warning, false);
        if (running) running(false);
    };
    // The file list first: while something else holds it, nothing is changed.
    engine::Table list;
    list.setTableName(
        (std::filesystem::path(doc_.settings().DatenbankPfad) / document::filelist::kTableName)
            .string());
    // Without a file list there are no records to delete, only the line.
    const bool hasList = list.exists();
    try {
        list.setExclusive(true);
        if (hasList) list.open();
    } catch (const std::exception&) {
        finish();
        ui.message(MessageKind::Information, kFileListBusy, Buttons::Ok);
        return;
    }
    // A line shorter than a serial number names no medium: only the line goes.
    const bool medium = line.size() >= 8;
    const std::string label = medium ? line.substr(0, line.size() - 8) : line;
    const std::string serial = medium ? line.substr(line.size() - 8) : std::string();
    try {
        scan::ScannedMedia media(st.ProgramDir);
        if (medium)
            media.remove(label, serial);
        else
            media.remove(line, "");
        lines_.erase(std::remove(lines_.begin(), lines_.end(), line), lines_.end());
        if (medium && hasList) {
            // The file search's index takes the removal in as a change where it can, and is
            // built anew where it cannot.
            if (!deleteRecords(list, label, serial)) {
                const std::string why = document::filelist::buildSearchIndex(list);
                if (!why.empty()) doc_.log().WriteLogLine(why);
            }
        }
        list.close();
    } catch (const std::exception& e) {
        doc_.log().WriteLogLine(std::string("Datenträger entfernen: ") + e.what());
    }
    finish();
}

bool MediumRemoval::deleteRecords(engine::Table& list, const std::string& label,
                                  const std::string& serial) {
    auto& ui = doc_.ui();
    doc_.state().AutoSaveHold = true;
    const std::string wanted = engine::text::toWindows1252(label);
    const int labelField = list.field("Label");
    const int serialField = list.field("VolID");
    const int64_t count = list.recordCount();
    ui.setProgressRange(0, count);
    ui.setProgressPosition(0);
    ui.showProgress(true);
    list.setIndexName("");
    const size_t limit = list.beginTrigramChange();
    std::vector<uint64_t> removedAt;  // each where it stood when it was removed
    list.beginBulk();
    int64_t seen = 0;
    for (list.first(); !list.eof();) {
        if (++seen % kEventsEvery == 0) {
            ui.setProgressPosition(seen);
            ui.processEvents();
        }
        const engine::Value v = list.value(serialField);
        const bool match = !v.isBlank() && v.asText() == serial && [&] {
            const engine::Value l = list.value(labelField);
            return engine::text::toWindows1252(l.isBlank() ? std::string() : l.asText()) == wanted;
        }();
        if (match) {
            if (removedAt.size() < limit)
                removedAt.push_back(static_cast<uint64_t>(seen - 1) - removedAt.size());
            list.remove();  // the next record becomes current
        } else {
            list.next();
        }
    }
    list.endBulk();
    ui.setProgressPosition(count);
    const int64_t removed = count - list.recordCount();
    if (removed != static_cast<int64_t>(removedAt.size())) return false;  // past the limit
    try {
        return list.endTrigramChange(removedAt, {});
    } catch (const std::exception&) {
        return false;  // a build gets the same chance and tells its failure
    }
}

}  // namespace mv32::edit
