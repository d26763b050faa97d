// The free-space and range searches: their statements and their runs over a catalog.
// (The catalog's file name holds a blank: the statements must still name it.)
#include <gtest/gtest.h>

#include "document/Catalog.h"
#include "document/DocumentFixture.h"
#include "search/SpaceSearch.h"

namespace mv32::search {

TEST(SpaceSearch, StatementsCompareNumbersAndQuoteText) {
    EXPECT_EQ(freeSpaceStatement(FreeSpaceCompare::MoreThan, "1440", true, "cat.db"),
              "SELECT * FROM cat.db where Freier_Speicher>1474560 and Freier_Speicher<>0");
    EXPECT_EQ(freeSpaceStatement(FreeSpaceCompare::Exactly, "0", false, "cat.db"),
              "SELECT * FROM cat.db where Freier_Speicher=0");
    EXPECT_EQ(freeSpaceStatement(FreeSpaceCompare::LessThan, "", false, "cat.db"), "");
    EXPECT_EQ(rangeStatement("10", "20", "C\"D", "cat.db"),
              "SELECT * FROM cat.db where DatentraegerNr>=\"10\" and DatentraegerNr<=\"20\" and "
              "Upper(Datentraeger) like Upper(\"%C\"\"D%\")");
}

class SpaceSearchRun : public test::DocumentFixture {
protected:
    void SetUp() override {
        engine::Table t;
        t.setTableName(data("Meine Kataloge.db"));
        document::createCatalogTable(t);
        t.open();
        const struct {
            const char* name;
            int nr;
            const char* medium;
            const char* free;
        } rows[] = {{"A", 5, "CDROM", "50000"}, {"B", 5, "Diskette", "0"},
                    {"C", 12, "cd-r", "10000000"}, {"D", 30, "CDROM", "2000000"}};
        for (const auto& r : rows) {
            t.append();
            t.setAsString("Name", r.name);
            t.setAsInteger("DatentraegerNr", r.nr);
            t.setAsString("Datentraeger", r.medium);
            t.setAsString("Freier_Speicher", r.free);
            t.post();
        }
        t.close();
        openCatalog(data("Meine Kataloge.db"));
        ui.clear();
        edit::Overview::View v;
        v.show = [this](bool modal) { shown.push_back(modal); };
        overview().setView(std::move(v));
    }
    edit::Overview& overview() { return program->overview(); }
    int64_t found() { return overview().MV32SQL().recordCount(); }
    std::vector<bool> shown;
};

TEST_F(SpaceSearchRun, FreeSpaceIsComparedAsBytes) {
    using C = FreeSpaceCompare;
    EXPECT_EQ(runFreeSpace(*doc, overview(), C::MoreThan, "1000", true), SearchOutcome::Shown);
    EXPECT_EQ(found(), 2) << "10000000 and 2000000 bytes, not 50000";
    EXPECT_EQ(runFreeSpace(*doc, overview(), C::Exactly, "0", false), SearchOutcome::Shown);
    EXPECT_EQ(found(), 1) << "the medium stored with 0 free";
    EXPECT_EQ(runFreeSpace(*doc, overview(), C::Exactly, "0", true), SearchOutcome::Shown);
    EXPECT_EQ(found(), 0);
    EXPECT_EQ(runFreeSpace(*doc, overview(), C::LessThan, "", true), SearchOutcome::Refused);
    EXPECT_EQ(shown, (std::vector<bool>{false, false, false}));
    EXPECT_FALSE(overview().deleteVisible());
}

TEST_F(SpaceSearchRun, RangesTakeBothBoundsAndAMediumType) {
    EXPECT_EQ(runRange(*doc, overview(), "5", "5", ""), SearchOutcome::Shown);
    EXPECT_EQ(found(), 2);
    EXPECT_EQ(runRange(*doc, overview(), "0", "20", "CD"), SearchOutcome::Shown);
    EXPECT_EQ(found(), 2) << "A (CDROM) and C (cd-r)";
    EXPECT_EQ(runRange(*doc, overview(), "20", "10", ""), SearchOutcome::Refused);
    EXPECT_EQ(ui.dialogue().back(), "message Hinweis \"" + std::string(kWrongRange) + "\" OK");
    EXPECT_EQ(runRange(*doc, overview(), "", "10", ""), SearchOutcome::Nothing);
    EXPECT_EQ(shown.size(), 2u);
}

}  // namespace mv32::search
