#include "search/FileTakeOver.h"

#include <exception>

namespace mv32::search {

using document::Buttons;
using document::MessageKind;

std::string takeOverMemo(const FileRow& file) {
    return "Verzeichnis: " + file.directory + "\r\nGröße: " + std::to_string(file.size) +
           " Bytes";
}

bool FileTakeOver::possible(TakeOverResult* why) {
    if (doc_.state().TreeBuilding) {
        *why = TakeOverResult::Ignored;
        return false;
    }
    if (!doc_.Opened()) {
        doc_.ui().message(MessageKind::Hinweis, kOpenCatalogFirst, Buttons::Ok);
        *why = TakeOverResult::NoCatalog;
        return false;
    }
    return true;
}

bool FileTakeOver::insert(const FileRow& file) {
    engine::Table& mv32 = doc_.MV32();
    if (mv32.locate("Name", {engine::Value(file.name)})) return false;
    mv32.insert();
    mv32.setAsString("Name", file.name);
    mv32.setAsString("Label", file.label);
    mv32.setAsString("Serien_Nr", file.volId);
    mv32.setAsString("Memo", takeOverMemo(file));
    return true;
}

TakeOverResult FileTakeOver::takeOne(const FileRow& file) {
    TakeOverResult why{};
    if (!possible(&why)) return why;
    engine::Table& mv32 = doc_.MV32();
    try {
        if (!insert(file)) return TakeOverResult::Existed;
        if (showEntryForm_) showEntryForm_();
        mv32.post();
    } catch (const std::exception& e) {
        // The record was not stored: say so rather than let the person believe it was.
        if (mv32.state() == engine::DataSetState::Insert) mv32.cancel();
        doc_.ui().showApplicationError(e.what());
        doc_.updateRecordLabel();
        return TakeOverResult::Failed;
    }
    doc_.updateRecordLabel();
    return TakeOverResult::Inserted;
}

int64_t FileTakeOver::takeSelected(engine::Cursor& rows, const std::vector<int64_t>& recordNumbers) {
    TakeOverResult why{};
    if (!possible(&why)) return 0;
    auto& ui = doc_.ui();
    auto& st = doc_.state();
    engine::Table& mv32 = doc_.MV32();
    ui.showWaitWindow(true);
    catalog_.suspendLinks();
    st.AutoSaveHold = true;
    int64_t added = 0;
    std::string failure;
    try {
        for (int64_t n : recordNumbers) {
            rows.moveTo(n);
            if (rows.eof()) continue;  // the row went meanwhile
            if (insert(fileRowOf(rows))) {
                mv32.post();
                ++added;
            }
        }
    } catch (const std::exception& e) {
        failure = e.what();
        try {
            if (mv32.state() == engine::DataSetState::Insert) mv32.cancel();
        } catch (const std::exception&) {
        }
    }
    st.AutoSaveHold = false;
    catalog_.resumeLinks();
    ui.showWaitWindow(false);
    doc_.updateRecordLabel();
    if (!failure.empty()) {
        ui.showApplicationError(failure);
        return added;
    }
    ui.message(MessageKind::Hinweis, kFilesTakenOver, Buttons::Ok);
    return added;
}

}  // namespace mv32::search
