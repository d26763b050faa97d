// The user's own statement: "%1" expanded, read from the setting at each run, the engine's
// message when it is refused.
#include <gtest/gtest.h>

#include "document/DocumentFixture.h"
#include "search/UserSql.h"

namespace mv32::search {

TEST(UserSql, PercentOneBecomesTheQuotedCatalog) {
    EXPECT_EQ(expandUserSql("SELECT Name, Datentraeger, DatentraegerNr, Kategorie FROM %1 where "
                            "Kategorie<>''",
                            "cat.db"),
              "SELECT Name, Datentraeger, DatentraegerNr, Kategorie FROM \"cat.db\" where "
              "Kategorie<>''");
    EXPECT_EQ(expandUserSql("SELECT * FROM %1, %1", "a.db"), "SELECT * FROM \"a.db\", \"a.db\"");
    EXPECT_EQ(expandUserSql("LIKE '%x%' 50%", "a.db"), "LIKE '%x%' 50%");
    EXPECT_EQ(expandUserSql("SELECT * FROM andere", "a.db"), "SELECT * FROM andere");
}

class UserSqlRun : public test::DocumentFixture {};

TEST_F(UserSqlRun, TheSettingRunsOverTheOpenCatalogAndShowsItsResult) {
    edit::Overview& overview = program->overview();
    int shown = 0;
    edit::Overview::View v;
    v.show = [&](bool modal) {
        EXPECT_FALSE(modal);
        ++shown;
    };
    overview.setView(std::move(v));
    ExecuteSQL1Click(*doc, overview);  // no catalog: nothing
    EXPECT_EQ(shown, 0);

    makeCatalog(data("kat.db"), {"A", "B", "C"}, "Spiel");
    openCatalog(data("kat.db"));
    ui.clear();
    settings.UserSQL = "SELECT Name FROM %1 WHERE Name <> 'B'";
    ExecuteSQL1Click(*doc, overview);
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(overview.resultMode());
    EXPECT_FALSE(overview.deleteVisible());
    EXPECT_EQ(overview.MV32SQL().recordCount(), 2);

    settings.UserSQL = "SELECT Nichtda FROM %1";
    ExecuteSQL1Click(*doc, overview);
    EXPECT_EQ(shown, 1) << "a refused statement shows no overview";
    ASSERT_EQ(ui.dialogue().size(), 1u);
    EXPECT_EQ(ui.dialogue()[0].rfind("error \"", 0), 0u) << ui.dialogue()[0];
}

}  // namespace mv32::search
