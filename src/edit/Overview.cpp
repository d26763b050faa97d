#include "edit/Overview.h"

#include <exception>
#include <vector>

namespace mv32::edit {

namespace {

using document::Answer;
using document::Buttons;
using document::MessageKind;

constexpr const char* kThirteen =
    "Name;DatentraegerNr;Datentraeger_Anzahl;von;Datentraeger;Laufwerk;Label;Serien_Nr;"
    "Gesamte_Groesse;Freier_Speicher;Status;Datum_Uhrzeit;Kategorie";
constexpr const char* kThirteenFields[] = {
    "Name",           "DatentraegerNr",  "Datentraeger_Anzahl", "von",    "Datentraeger",
    "Laufwerk",       "Label",           "Serien_Nr",           "Gesamte_Groesse",
    "Freier_Speicher", "Status",         "Datum_Uhrzeit",       "Kategorie"};

std::vector<engine::Value> thirteenOf(engine::Cursor& c) {
    std::vector<engine::Value> v;
    for (const char* f : kThirteenFields) v.push_back(c.value(c.fieldIndex(f)));
    return v;
}

}  // namespace

Overview::Overview(document::CatalogDocument& doc, document::DataSource& catalog)
    : doc_(doc), catalog_(catalog) {
    query_.useTable(doc_.MV32());
}

Overview::~Overview() {
    result_.clear();
    query_.forgetTable(doc_.MV32());
}

void Overview::openNormal() {
    try {
        query_.close();
    } catch (const std::exception&) {  // as the overview does: a failure is ignored
    }
    resultMode_ = false;
    deleteVisible_ = false;
    try {
        if (doc_.MV32().active()) doc_.MV32().refresh();
    } catch (const std::exception&) {
    }
    tell();
    if (v_.show) v_.show(false);
}

void Overview::showQuery(const std::string& sql, bool deletable, bool modal) {
    query_.close();
    query_.setDirectory(doc_.MV32().directory());
    query_.setSql(sql);
    query_.open();
    result_.setCursor(query_);
    resultMode_ = true;
    deleteVisible_ = deletable;
    tell();
    if (v_.show) v_.show(modal);
}

void Overview::closed() {
    resultMode_ = false;
    deleteVisible_ = false;
    tell();
}

std::array<bool, kNavButtons> Overview::navigatorButtons() const {
    std::array<bool, kNavButtons> b{};
    for (NavButton n : {NavButton::First, NavButton::Prior, NavButton::Next, NavButton::Last})
        b[static_cast<size_t>(n)] = true;
    if (!resultMode_) {
        b[static_cast<size_t>(NavButton::Delete)] = true;
        b[static_cast<size_t>(NavButton::Refresh)] = true;
    }
    return b;
}

void Overview::jump(const std::string& text) {
    if (resultMode_) return;
    engine::Table& t = doc_.MV32();
    try {
        if (t.active()) t.findNearest({engine::Value(text)});
    } catch (const std::exception&) {  // no such key, or text that is no number: nothing
    }
}

void Overview::sortBy(const std::string& indexName) {
    engine::Table& t = doc_.MV32();
    if (!t.active()) return;
    t.setIndexName(indexName);
}

void Overview::doubleClicked() {
    if (resultMode_ && query_.active() && !query_.eof()) {
        try {
            doc_.MV32().locate("Name", {query_.value(query_.fieldIndex("Name"))});
        } catch (const std::exception&) {
        }
    }
    if (v_.openEntry) v_.openEntry();
}

std::pair<int64_t, int64_t> Overview::position() {
    document::DataSource& s = shown();
    if (!s.active()) return {0, 0};
    try {
        return {s.cursor()->recNo(), s.cursor()->recordCount()};
    } catch (const std::exception&) {
        return {0, 0};
    }
}

void Overview::deleteResult() {
    auto& ui = doc_.ui();
    if (!resultMode_ || !query_.active()) return;
    if (ui.message(MessageKind::Warnung, kDeleteResultQuestion, Buttons::JaNein) != Answer::Ja)
        return;
    engine::Table& catalog = doc_.MV32();
    auto& st = doc_.state();
    ui.showWaitWindow(true);
    result_.suspendLinks();
    st.AutoSaveHold = true;
    auto finish = [&] {
        ui.showProgress(false);
        ui.resetCancelRequest();
        st.AutoSaveHold = false;
        result_.resumeLinks();
        ui.showWaitWindow(false);
    };
    try {
        const int64_t count = query_.recordCount();
        ui.setProgressRange(0, count);
        ui.setProgressPosition(0);
        ui.showProgress(true);
        // The result is read in pieces, each piece's records then deleted: a deleted record
        // leaves the result, so the next piece starts after the rows that stayed.
        constexpr size_t kPiece = 4096;
        int64_t done = 0;
        int64_t row = 1;
        bool cancelled = false;
        while (!cancelled) {
            std::vector<std::vector<engine::Value>> piece;
            query_.moveTo(row);
            while (piece.size() < kPiece && !query_.eof()) {
                piece.push_back(thirteenOf(query_));
                query_.next();
            }
            if (piece.empty()) break;
            int64_t stayed = 0;
            for (const auto& values : piece) {
                ui.processEvents();
                if (ui.cancelRequested()) {
                    cancelled = true;
                    break;
                }
                const bool found =
                    catalog.locate(kThirteen, values) ||
                    catalog.locate(kThirteen, values,
                                   engine::LocateCaseInsensitive | engine::LocatePartialKey);
                if (found)
                    catalog.remove();  // the undo journal copies it first
                else
                    ++stayed;
                ui.setProgressPosition(++done);
            }
            row += stayed;
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

}  // namespace mv32::edit
