// The full search's statement and its run over a catalog.
#include <gtest/gtest.h>

#include "document/DocumentFixture.h"
#include "document/Catalog.h"
#include "search/FullSearch.h"

namespace mv32::search {

TEST(FullSearch, FilledCriteriaJoinInTheirOrderAndTextIsQuotedSafely) {
    FullSearchCriteria c;
    EXPECT_EQ(fullSearchStatement(c, "cat.db"), "");
    c.medium = "CD";  // filled first, still last
    c.number = "12";
    c.name = "abc";
    EXPECT_EQ(fullSearchStatement(c, "cat.db"),
              "SELECT * FROM cat.db where Upper(Name) like Upper(\"%abc%\") and "
              "DatentraegerNr=\"12\" and Upper(Datentraeger) like Upper(\"%CD%\")");
    FullSearchCriteria q;
    q.name = "Quote\"";
    q.total = "500";
    q.free = "1440 ";
    EXPECT_EQ(fullSearchStatement(q, "k.db"),
              "SELECT * FROM k.db where Upper(Name) like Upper(\"%Quote\"\"%\") and "
              "Gesamte_Groesse<512000 and Freier_Speicher<1474560");
}

TEST(FullSearch, ACatalogNameThatIsNoPlainNameIsQuoted) {
    EXPECT_EQ(catalogInStatement("kat.db"), "kat.db");
    EXPECT_EQ(catalogInStatement("Meine Spiele.db"), "\"Meine Spiele.db\"");
    EXPECT_EQ(catalogInStatement("2026.db"), "\"2026.db\"");
    EXPECT_EQ(catalogInStatement("Spiele-ä.db"), "\"Spiele-ä.db\"");
    EXPECT_EQ(catalogInStatement("a\"b.db"), "\"a\"\"b.db\"");
}

class FullSearchRun : public test::DocumentFixture {};

TEST_F(FullSearchRun, ASearchFindsAnywhereWithoutCaseAndComparesSizesAsNumbers) {
    engine::Table t;
    t.setTableName(data("kat.db"));
    document::createCatalogTable(t);
    t.open();
    const struct {
        const char* name;
        const char* total;
    } rows[] = {{"Mytest 2", "1200000"}, {"Anderes", "600000"}, {"Zitat \"x\"", "100"}};
    for (const auto& r : rows) {
        t.append();
        t.setAsString("Name", r.name);
        t.setAsString("Gesamte_Groesse", r.total);
        t.post();
    }
    t.close();
    openCatalog(data("kat.db"));
    ui.clear();
    edit::Overview& overview = program->overview();
    std::vector<bool> shown;
    edit::Overview::View v;
    v.show = [&](bool modal) { shown.push_back(modal); };
    overview.setView(std::move(v));

    FullSearchCriteria c;
    runFullSearch(*doc, overview, c);  // nothing filled: nothing happens
    EXPECT_TRUE(shown.empty());
    c.name = "test";
    runFullSearch(*doc, overview, c);
    EXPECT_EQ(shown, (std::vector<bool>{true}));
    EXPECT_TRUE(overview.deleteVisible());
    EXPECT_EQ(overview.MV32SQL().recordCount(), 1);
    c = {};
    c.total = "1000";  // 1,024,000 bytes: 600000 and 100 are smaller, 1200000 is not
    runFullSearch(*doc, overview, c);
    EXPECT_EQ(overview.MV32SQL().recordCount(), 2);
    c = {};
    c.name = "\"x\"";
    runFullSearch(*doc, overview, c);
    EXPECT_EQ(overview.MV32SQL().recordCount(), 1);
    EXPECT_TRUE(ui.dialogue().empty());
}

}  // namespace mv32::search
