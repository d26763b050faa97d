// The printed list's layout, without painting: pages of positioned texts for a data source.
//
// A page has a title band on the first page ("Mavrel/32 für Windows 95/NT", centred), an empty
// page header, detail blocks of three lines per record (the name in bold; "Datenträgernr.:"
// and the number; "Kategorie:" and the category) flowing down the page in the chosen number of
// columns without a gap, and the footer "Seite:" with the page number. Lengths are in
// millimetres from the page's top left corner; the left margin is the person's, the other
// margins are fixed. Pages are made one at a time from the cursor, so a list of any length
// takes the memory of one page. Qt paints them (report/gui).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Cursor.h"

namespace mv32::report {

enum class Paper { A3, A4, A5, Standard, Legal, Letter };

struct PageSize {
    double width = 210;  // mm
    double height = 297;
};
// The size of a paper; Standard is the printer's default and has none of its own (A4 here).
PageSize sizeOf(Paper paper);

struct ReportSettings {
    int leftMargin = 15;  // mm
    int columns = 2;
    Paper paper = Paper::Standard;
    // The width of the labels' column, mm: the painter measures "Datenträgernr.:" in the font
    // it prints with; 0 leaves the layout's own choice.
    double labelWidth = 0;
};

// Reads the dialog's fields; throws std::invalid_argument with a German message when the margin
// or the column count is no whole number of digits (a negative margin would put the first
// characters off the paper), or the columns would not fit the page.
ReportSettings readSettings(const std::string& margin, const std::string& columns, Paper paper,
                            PageSize page);

enum class ItemKind { Title, Name, Label, Value, Footer };

struct Item {
    ItemKind kind;
    double x, y;  // top left, mm
    double width;
    std::string text;
};

struct Page {
    int number = 0;
    std::vector<Item> items;
};

inline constexpr const char* kReportTitle = "Mavrel/32 für Windows 95/NT";
inline constexpr const char* kNoPrinter =
    "Diese Funktion ist zu Zeit nicht ausführbar, da kein Standarddrucker installiert ist!";

class ReportPager {
public:
    // Geometry of the bands, in mm.
    static constexpr double kTop = 10, kBottom = 12, kRight = 10;
    static constexpr double kTitleHeight = 14, kFooterHeight = 8;
    static constexpr double kLine = 4, kBlockGap = 2;

    ReportPager(engine::Cursor& rows, ReportSettings settings, PageSize page);

    // The next page; false when every record has been placed (the first call always gives a
    // page, also for an empty source).
    bool next(Page& page);

private:
    engine::Cursor& rows_;
    ReportSettings s_;
    PageSize size_;
    int number_ = 0;
    bool started_ = false;
};

}  // namespace mv32::report
