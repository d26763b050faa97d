#include "edit/EntryForm.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <exception>
#include <filesystem>

#include "edit/PickLists.h"
#include "engine/Text.h"

namespace mv32::edit {

namespace {

using document::Buttons;
using document::MessageKind;

constexpr std::array<const char*, kBoundBoxes> kFields = {"Name",
                                                          "DatentraegerNr",
                                                          "Datentraeger_Anzahl",
                                                          "von",
                                                          "Datentraeger",
                                                          "Label",
                                                          "Serien_Nr",
                                                          "Status",
                                                          "Datum_Uhrzeit",
                                                          "Kategorie",
                                                          "Memo",
                                                          "Gesamte_Groesse",
                                                          "Freier_Speicher",
                                                          "Laufwerk"};

// The boxes Add copies, in the order of the carry-over, and the fields they go to.
struct Carry {
    Box from;
    const char* field;
};
constexpr std::array<Carry, 6> kCarry = {{{Box::MediumNrEdit, "DatentraegerNr"},
                                          {Box::Medium, "Datentraeger"},
                                          {Box::Anzahl1, "Datentraeger_Anzahl"},
                                          {Box::Anzahl2, "von"},
                                          {Box::Status, "Status"},
                                          {Box::Kategorie, "Kategorie"}}};

size_t at(Box b) {
    return static_cast<size_t>(b);
}

// A byte count text as a number, as the displays read it: digits with an optional sign and
// fraction, surrounding blanks allowed.
std::optional<double> number(const std::string& raw) {
    const size_t a = raw.find_first_not_of(" \t");
    if (a == std::string::npos) return std::nullopt;
    const size_t b = raw.find_last_not_of(" \t");
    const std::string t = raw.substr(a, b - a + 1);
    double v = 0;
    const char* end = t.data() + t.size();
    auto [p, ec] = std::from_chars(t.data(), end, v);
    if (ec != std::errc() || p != end || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace

std::string stampText(const platform::LocalTime& t) {
    return std::to_string(t.day) + "." + std::to_string(t.month) + "." + std::to_string(t.year) +
           " -- " + std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" +
           std::to_string(t.second);
}

std::optional<std::string> sizeDisplay(const std::string& raw) {
    const size_t length = engine::text::length(raw);
    if (length <= 4) return raw + " Byte";
    const auto v = number(raw);
    if (!v) return std::nullopt;
    if (length <= 7) return std::to_string(static_cast<int64_t>(*v / 1024)) + " KByte";
    return std::to_string(static_cast<int64_t>(*v / 1048576)) + " MByte";
}

int fillGauge(const std::string& total, const std::string& free) {
    const auto t = number(total);
    const auto f = number(free);
    if (!t || !f) return 0;
    const double whole = std::round(*t);
    if (whole == 0) return 0;
    const double g = std::floor((whole - std::round(*f)) * 100 / whole);
    return g < 0 ? 0 : g > 100 ? 100 : static_cast<int>(g);
}

EntryForm::EntryForm(Services services, View view)
    : s_(std::move(services)), v_(std::move(view)), fields_(s_.catalog) {
    for (size_t i = 0; i < kBoundBoxes; ++i) {
        const Box b = static_cast<Box>(i);
        ids_[i] = fields_.bind(kFields[i], [this, b](const std::string& t) { shownText(b, t); });
    }
    // The stamp is taken whenever the window is made: "Hinzufügen" stores it into the record
    // it saves, and a window made without it would store a stamp nobody took.
    auto& st = s_.doc.state();
    st.EntryStamp = s_.doc.clock().now();
    if (s_.prepare) {
        fields_.setText(ids_[at(Box::DateTime)], stampText(st.EntryStamp));
        reloadList(ListKind::Kategorie);
        reloadList(ListKind::Status);
    } else if (v_.pickList) {
        // Made from the overview's double click: the list files are not read, but the window's
        // own lists are there. Text put into the stamp box now would replace the shown
        // record's Datum_Uhrzeit at its next post, so the box keeps the record's value.
        v_.pickList(ListKind::Kategorie, builtInCategories());
        v_.pickList(ListKind::Status, builtInStatus());
    }
    hist_ = {};
    s_.catalog.addLink(*this);
}

EntryForm::~EntryForm() {
    s_.catalog.removeLink(*this);
}

void EntryForm::shownText(Box b, const std::string& text) {
    texts_[at(b)] = text;
    if (v_.show) v_.show(b, text);
    switch (b) {
        case Box::groesse2:
        case Box::freespace2: {
            if (auto d = sizeDisplay(text); d && v_.show)
                v_.show(b == Box::groesse2 ? Box::Groesse : Box::Freespace, *d);
            if (v_.gauge)
                v_.gauge(fillGauge(texts_[at(Box::groesse2)], texts_[at(Box::freespace2)]));
            break;
        }
        case Box::LW:
            if (!text.empty() && v_.selectDrive)
                v_.selectDrive(
                    static_cast<char>(std::toupper(static_cast<unsigned char>(text[0]))));
            break;
        default:
            break;
    }
}

const std::string& EntryForm::text(Box b) const {
    return texts_.at(at(b));
}

void EntryForm::typed(Box b, const std::string& text) {
    if (at(b) >= kBoundBoxes) return;
    texts_[at(b)] = text;
    fields_.typed(ids_[at(b)], text);
}

void EntryForm::nameRule() {
    if (!texts_[at(Box::NameEdit)].empty()) return;
    engine::Table* t = s_.catalog.table();
    if (t && s_.catalog.editing()) t->cancel();
}

void EntryForm::beforeNavigatorClick(NavButton b) {
    if (b == NavButton::Cancel || b == NavButton::Bookmark) return;
    nameRule();
    if (b != NavButton::Insert) return;
    fields_.setText(ids_[at(Box::DateTime)], stampText(s_.doc.state().EntryStamp));
    if (v_.showPage) v_.showPage(EntryPage::Allgemein);
    for (size_t i = 0; i < kCarry.size(); ++i) hist_[i] = texts_[at(kCarry[i].from)];
    if (v_.focusName) v_.focusName();
}

void EntryForm::applyCarryOver(engine::Table& table) {
    try {
        for (size_t i = 0; i < kCarry.size(); ++i) {
            if (hist_[i].empty()) continue;
            table.setValue(kCarry[i].field, engine::Value(hist_[i]));
        }
    } catch (const std::exception&) {  // the first value that does not fit ends it
    }
}

void EntryForm::shown() {
    hist_ = {};
}

std::vector<platform::Volume> EntryForm::drives() const {
    return platform::Volumes::list(s_.letters);
}

void EntryForm::driveInformation(char letter) {
    auto& ui = s_.doc.ui();
    const char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (up < 'A' || up > 'Z') {
        ui.message(MessageKind::Fehler, kNotAValidDrive, Buttons::Abbrechen);
        return;
    }
    const auto vol = platform::Volumes::byLetter(up, s_.letters);
    const auto space = vol ? platform::Volumes::space(*vol) : std::nullopt;
    if (!vol || !space || !platform::Volumes::ready(*vol)) {
        ui.message(MessageKind::Fehler, kNoMediumInDrive, Buttons::Abbrechen);
        return;
    }
    const auto id = platform::Volumes::identify(*vol);
    const std::string label = id ? engine::text::fitToWidth(id->label, 11) : std::string();
    fields_.setText(ids_[at(Box::VolID)], platform::serialText(id ? id->serial : 0));
    fields_.setText(ids_[at(Box::VolLabel)], label.empty() ? "NO NAME" : label);
    fields_.setText(ids_[at(Box::groesse2)], std::to_string(space->total));
    fields_.setText(ids_[at(Box::freespace2)], std::to_string(space->free));
}

void EntryForm::driveChosen(char letter) {
    fields_.setText(ids_[at(Box::LW)], std::string(1, letter));
}

void EntryForm::pictureChosen(const std::string& name) {
    engine::Table* t = s_.catalog.table();
    if (!t || !s_.catalog.active()) return;
    try {
        t->edit();
    } catch (const std::exception&) {  // as the picture page does: a failure is ignored
    }
    std::string path = name;
    if (!path.empty() && path.front() == '"') path.erase(0, 1);
    if (!path.empty() && path.back() == '"') path.pop_back();
    try {
        std::error_code ec;
        // Only a regular file is read: a folder, a device or a pipe is no picture.
        if (!std::filesystem::is_regular_file(path, ec)) return;
        t->loadFromFile("Grafik", path);
    } catch (const std::exception&) {  // an unreadable picture changes nothing
        return;
    }
    picture_();
}

std::string EntryForm::picture() const {
    engine::Cursor* c = s_.catalog.active() ? s_.catalog.cursor() : nullptr;
    if (!c) return {};
    try {
        const int f = c->fieldIndex("Grafik");
        if (f < 0 || !c->hasContent(f)) return {};
        return c->value(f).asText();
    } catch (const std::exception&) {
        return {};
    }
}

void EntryForm::scanDrive() {
    nameRule();
    if (s_.scan) s_.scan();
}

void EntryForm::openOverview() {
    nameRule();
    if (s_.overview) s_.overview();
}

std::string EntryForm::listPath(ListKind kind) const {
    return s_.doc.state().ProgramDir + (kind == ListKind::Kategorie ? kCategoryFile : kStatusFile);
}

std::optional<std::string> EntryForm::listToEdit(ListKind kind) {
    const std::string path = listPath(kind);
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return path;
    s_.doc.ui().message(MessageKind::Fehler,
                        kind == ListKind::Kategorie ? kNoCategoryFile : kNoStatusFile,
                        Buttons::Abbrechen);
    return std::nullopt;
}

void EntryForm::reloadList(ListKind kind) {
    const auto list = pickList(listPath(kind),
                               kind == ListKind::Kategorie ? builtInCategories() : builtInStatus());
    if (v_.pickList) v_.pickList(kind, list);
}

}  // namespace mv32::edit
