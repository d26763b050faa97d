#include "report/ReportLayout.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace mv32::report {

namespace {

int wholeNumber(const std::string& text) {
    int v = 0;
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    // Digits only, as the dialog's fields take them: no sign.
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        ec != std::errc() || p != text.data() + text.size())
        throw std::invalid_argument("»" + text + "« ist keine gültige ganze Zahl.");
    return v;
}

std::string field(engine::Cursor& c, const char* name) {
    const int i = c.fieldIndex(name);
    return i < 0 ? std::string() : c.displayText(i);
}

}  // namespace

PageSize sizeOf(Paper paper) {
    switch (paper) {
        case Paper::A3:
            return {297, 420};
        case Paper::A5:
            return {148, 210};
        case Paper::Legal:
            return {215.9, 355.6};
        case Paper::Letter:
            return {215.9, 279.4};
        case Paper::A4:
        case Paper::Standard:
            break;
    }
    return {210, 297};
}

ReportSettings readSettings(const std::string& margin, const std::string& columns, Paper paper,
                            PageSize page) {
    ReportSettings s;
    s.leftMargin = wholeNumber(margin);
    s.columns = wholeNumber(columns);
    s.paper = paper;
    if (s.columns < 1)
        throw std::invalid_argument("Die Anzahl der Spalten muss mindestens 1 sein.");
    const double width = page.width - s.leftMargin - ReportPager::kRight;
    if (width / s.columns < 20)
        throw std::invalid_argument(
            "Bei diesem linken Abstand haben " + std::to_string(s.columns) +
            " Spalten auf dem Papier keinen Platz.");
    return s;
}

ReportPager::ReportPager(engine::Cursor& rows, ReportSettings settings, PageSize page)
    : rows_(rows), s_(settings), size_(page) {}

bool ReportPager::next(Page& page) {
    if (!started_) {
        started_ = true;
        rows_.first();
    } else if (rows_.eof()) {
        return false;
    }
    page = Page{};
    page.number = ++number_;
    const double left = s_.leftMargin;
    const double usable = size_.width - left - kRight;
    double top = kTop;
    if (page.number == 1) {
        page.items.push_back({ItemKind::Title, left, top, usable, kReportTitle});
        top += kTitleHeight;
    }
    const double bottom = size_.height - kBottom - kFooterHeight;
    const double block = 3 * kLine + kBlockGap;
    const double columnWidth = usable / s_.columns;
    // The labels keep their whole text where the column is wide enough; the values take the
    // rest of the column.
    const double labelWidth = s_.labelWidth > 0 ? std::min(s_.labelWidth, columnWidth)
                                                : std::min(24.0, columnWidth / 2);
    // Records flow down a column, then into the next one.
    for (int col = 0; col < s_.columns && !rows_.eof(); ++col) {
        const double x = left + col * columnWidth;
        for (double y = top; y + 3 * kLine <= bottom && !rows_.eof(); y += block) {
            page.items.push_back({ItemKind::Name, x, y, columnWidth, field(rows_, "Name")});
            page.items.push_back({ItemKind::Label, x, y + kLine, labelWidth, "Datenträgernr.:"});
            page.items.push_back({ItemKind::Value, x + labelWidth, y + kLine,
                                  columnWidth - labelWidth, field(rows_, "DatentraegerNr")});
            page.items.push_back({ItemKind::Label, x, y + 2 * kLine, labelWidth, "Kategorie:"});
            page.items.push_back({ItemKind::Value, x + labelWidth, y + 2 * kLine,
                                  columnWidth - labelWidth, field(rows_, "Kategorie")});
            rows_.next();
        }
    }
    page.items.push_back({ItemKind::Footer, left, size_.height - kBottom - kFooterHeight + 2,
                          usable, "Seite: " + std::to_string(page.number)});
    return true;
}

}  // namespace mv32::report
