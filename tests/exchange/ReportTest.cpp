// The printed list: its pages laid out from a cursor, the settings read from the dialog's
// fields, and the print command's messages.
#include <gtest/gtest.h>

#include "document/DocumentFixture.h"
#include "engine/Query.h"
#include "exchange/ExportCommands.h"
#include "report/ReportLayout.h"

namespace mv32::report {
namespace {

std::vector<std::string> texts(const Page& p, ItemKind kind) {
    std::vector<std::string> out;
    for (const auto& i : p.items)
        if (i.kind == kind) out.push_back(i.text);
    return out;
}

class ReportTest : public test::DocumentFixture {
protected:
    void SetUp() override {
        std::vector<std::string> names;
        for (int i = 1; i <= 120; ++i) names.push_back("Programm " + std::to_string(1000 + i));
        makeCatalog(data("kat.db"), names, "Spiel");
        openCatalog(data("kat.db"));
        ui.clear();
    }
};

}  // namespace

TEST_F(ReportTest, RecordsFlowDownTheColumnsOfEachPage) {
    engine::Query five;
    five.setDirectory(work.path());
    five.useTable(doc->MV32());
    five.setSql("SELECT * FROM kat.db WHERE Name < 'Programm 1006'");
    five.open();
    ReportPager pager(five, ReportSettings{}, sizeOf(Paper::A4));
    Page page;
    ASSERT_TRUE(pager.next(page));
    EXPECT_EQ(texts(page, ItemKind::Title), std::vector<std::string>{kReportTitle});
    EXPECT_EQ(texts(page, ItemKind::Name).size(), 5u);
    EXPECT_EQ(texts(page, ItemKind::Footer), std::vector<std::string>{"Seite: 1"});
    EXPECT_EQ(texts(page, ItemKind::Label)[0], "Datenträgernr.:");
    EXPECT_EQ(texts(page, ItemKind::Value)[1], "Spiel");
    EXPECT_FALSE(pager.next(page));

    // 120 records in two columns of A4: the second column starts where the first ends, the
    // title only on the first page, every page numbered.
    ReportPager all(doc->MV32(), ReportSettings{}, sizeOf(Paper::A4));
    std::vector<size_t> perPage;
    double firstX = -1, secondX = -1;
    int pages = 0;
    while (all.next(page)) {
        ++pages;
        perPage.push_back(texts(page, ItemKind::Name).size());
        EXPECT_EQ(texts(page, ItemKind::Title).size(), pages == 1 ? 1u : 0u);
        EXPECT_EQ(texts(page, ItemKind::Footer)[0], "Seite: " + std::to_string(pages));
        for (const auto& i : page.items) {
            if (i.kind != ItemKind::Name) continue;
            if (firstX < 0) firstX = i.x;
            if (i.x != firstX && secondX < 0) secondX = i.x;
        }
    }
    EXPECT_EQ(firstX, 15.0);
    EXPECT_DOUBLE_EQ(secondX, 15.0 + (210.0 - 15 - 10) / 2);  // no gap between the columns
    size_t total = 0;
    for (size_t n : perPage) total += n;
    EXPECT_EQ(total, 120u);
    EXPECT_GT(pages, 1);
    EXPECT_GT(perPage[1], perPage[0]);  // the first page gave room to the title
}

TEST_F(ReportTest, TheFieldsAreReadAndTheCommandReportsWhatStopsIt) {
    EXPECT_EQ(readSettings("20", "3", Paper::A3, sizeOf(Paper::A3)).columns, 3);
    auto refused = [](const std::string& m, const std::string& c) {
        try {
            readSettings(m, c, Paper::A4, sizeOf(Paper::A4));
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(refused("", "2"), "»« ist keine gültige ganze Zahl.");
    EXPECT_EQ(refused("15", "0"), "Die Anzahl der Spalten muss mindestens 1 sein.");
    EXPECT_EQ(refused("190", "2"),
              "Bei diesem linken Abstand haben 2 Spalten auf dem Papier keinen Platz.");

    exchange::ExportCommands commands(*doc, program->catalogSource());
    int previews = 0;
    int64_t rows = 0;
    auto preview = [&](engine::Cursor& list, const ReportSettings&) {
        ++previews;
        rows = list.recordCount();
        return true;
    };
    commands.print("", "2", Paper::Standard, sizeOf(Paper::A4), nullptr, preview);
    EXPECT_EQ(previews, 0);
    EXPECT_EQ(ui.dialogue(),
              std::vector<std::string>{"message Fehler \"»« ist keine gültige ganze Zahl.\" Abbrechen"});
    commands.print("15", "2", Paper::Standard, sizeOf(Paper::A4), nullptr, preview);
    EXPECT_EQ(rows, 120);
    // A search result: only what was found.
    engine::Query found;
    found.setDirectory(work.path());
    found.useTable(doc->MV32());
    found.setSql("SELECT * FROM kat.db WHERE Name LIKE '%11_'");
    found.open();
    commands.print("15", "2", Paper::A5, sizeOf(Paper::A5), &found, preview);
    EXPECT_EQ(rows, 10);
    // No output at all: the message of a missing printer.
    ui.clear();
    commands.print("15", "2", Paper::A4, sizeOf(Paper::A4), nullptr,
                   [](engine::Cursor&, const ReportSettings&) { return false; });
    EXPECT_EQ(ui.dialogue(), std::vector<std::string>{"message Fehler \"" +
                                                      std::string(kNoPrinter) + "\" Abbrechen"});
}

}  // namespace mv32::report

namespace mv32::report {

TEST_F(ReportTest, NothingFallsOffAnyPageAndLabelsKeepTheirWidth) {
    const struct {
        const char* what;
        PageSize page;
        int columns;
    } pages[] = {{"A4", sizeOf(Paper::A4), 2},
                 {"A4 quer", {297, 210}, 2},
                 {"A5", sizeOf(Paper::A5), 2},
                 {"A5 quer", {210, 148}, 3},
                 {"Letter, schmale Spalten", sizeOf(Paper::Letter), 5}};
    for (const auto& c : pages) {
        SCOPED_TRACE(c.what);
        ReportSettings s = readSettings("15", std::to_string(c.columns), Paper::A4, c.page);
        s.labelWidth = 23.5;  // as the painter measures "Datenträgernr.:"
        ReportPager pager(doc->MV32(), s, c.page);
        Page page;
        size_t names = 0;
        while (pager.next(page)) {
            for (const auto& i : page.items) {
                EXPECT_GE(i.x, 15.0);
                EXPECT_LE(i.x + i.width, c.page.width - ReportPager::kRight + 1e-9) << i.text;
                EXPECT_LE(i.y + ReportPager::kLine, c.page.height) << i.text;
                if (i.kind == ItemKind::Label) {
                    EXPECT_DOUBLE_EQ(i.width, 23.5);
                }
                if (i.kind == ItemKind::Name) ++names;
            }
        }
        EXPECT_EQ(names, 120u);
    }
    EXPECT_THROW(readSettings("-5", "2", Paper::A4, sizeOf(Paper::A4)), std::invalid_argument);
    EXPECT_THROW(readSettings("+5", "2", Paper::A4, sizeOf(Paper::A4)), std::invalid_argument);
}

}  // namespace mv32::report
