// The overview without its window: the two modes, sorting and jumping, opening a record, and
// deleting a search result from the catalog.
#include <gtest/gtest.h>

#include "document/DocumentFixture.h"
#include "document/Catalog.h"
#include "edit/Overview.h"

namespace mv32::edit {

namespace {

using Names = std::vector<std::string>;

class OverviewTest : public test::DocumentFixture {
protected:
    void SetUp() override {
        engine::Table t;
        t.setTableName(data("kat.db"));
        document::createCatalogTable(t);
        t.open();
        const struct {
            const char* name;
            const char* label;
            const char* kategorie;
        } rows[] = {{"Alpha", "ZETA", "Spiel"}, {"Be", "MITTE", "Tools"},
                    {"Beta", "ANFANG", "Spiel"}, {"Gamma", "ENDE", "Spiel"}};
        for (const auto& r : rows) {
            t.append();
            t.setAsString("Name", r.name);
            t.setAsString("Label", r.label);
            t.setAsString("Kategorie", r.kategorie);
            t.post();
        }
        t.close();
        settings.indexOn[2] = true;  // LabelIndex: opening the catalog makes it
        openCatalog(data("kat.db"));
        ui.clear();
        Overview::View v;
        v.show = [this](bool modal) { seen.push_back(modal ? "modal" : "gezeigt"); };
        v.openEntry = [this] { seen.push_back("Eingabe " + cat().displayText("Name")); };
        overview().setView(std::move(v));
    }
    Overview& overview() { return program->overview(); }
    engine::Table& cat() { return doc->MV32(); }
    Names names(engine::Cursor& c) {
        Names out;
        for (c.first(); !c.eof(); c.next()) out.push_back(c.displayText("Name"));
        return out;
    }
    std::string buttons() {
        std::string s;
        for (bool b : overview().navigatorButtons()) s += b ? '1' : '0';
        return s;
    }
    Names seen;
};

}  // namespace

TEST_F(OverviewTest, SortJumpAndOpenARecordInBothModes) {
    overview().openNormal();
    EXPECT_FALSE(overview().resultMode());
    EXPECT_EQ(&overview().shown(), &program->catalogSource());
    EXPECT_EQ(buttons(), "11110100010");
    EXPECT_TRUE(overview().jumpEnabled());

    overview().sortBy("LabelIndex");
    EXPECT_EQ(names(cat()), (Names{"Beta", "Gamma", "Be", "Alpha"}));
    overview().jump("MI");
    EXPECT_EQ(cat().displayText("Name"), "Be");
    overview().jump("ZZZ");  // after the last key: nothing to find, nothing breaks
    overview().sortBy("");
    overview().jump("Gam");
    EXPECT_EQ(cat().displayText("Name"), "Gamma");
    EXPECT_EQ(overview().position(), (std::pair<int64_t, int64_t>{4, 4}));

    overview().showQuery("SELECT * FROM kat WHERE Kategorie = 'Spiel'", false, false);
    EXPECT_TRUE(overview().resultMode());
    EXPECT_FALSE(overview().deleteVisible());
    EXPECT_EQ(buttons(), "11110000000");
    EXPECT_FALSE(overview().jumpEnabled());
    overview().MV32SQL().moveTo(2);
    overview().doubleClicked();
    EXPECT_EQ(seen, (Names{"gezeigt", "gezeigt", "Eingabe Beta"}));
    overview().closed();
    EXPECT_FALSE(overview().resultMode());

    EXPECT_THROW(overview().showQuery("SELECT * FROM kat WHERE", true, true), std::exception);
}

TEST_F(OverviewTest, DeletingAResultRemovesItsRecordsAndJournalsThem) {
    overview().showQuery("SELECT * FROM kat WHERE Kategorie = 'Spiel'", true, true);
    EXPECT_TRUE(overview().deleteVisible());
    ui.answer(document::Answer::Nein);
    overview().deleteResult();
    EXPECT_EQ(cat().recordCount(), 4);

    ui.clear();
    ui.answer(document::Answer::Ja);
    overview().deleteResult();
    EXPECT_EQ(names(cat()), (Names{"Be"})) << "Be is no Spiel and not taken for Beta";
    EXPECT_EQ(doc->undoTable().recordCount(), 3);
    EXPECT_FALSE(doc->state().AutoSaveHold);
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_EQ(ui.callsStartingWith("wait"), (Names{"wait show", "wait hide"}));
    EXPECT_EQ(ui.progressMax, 3);
    EXPECT_EQ(ui.progressPosition, 3);
}

TEST_F(OverviewTest, ACancelledDeleteStopsAndLeavesTheRest) {
    overview().showQuery("SELECT * FROM kat", true, true);
    ui.answer(document::Answer::Ja);
    ui.cancel = true;  // "Abbrechen" pressed at once
    overview().deleteResult();
    EXPECT_EQ(cat().recordCount(), 4);
    EXPECT_FALSE(ui.cancel) << "the cancel request is cleared";
    EXPECT_FALSE(doc->state().AutoSaveHold);
}

}  // namespace mv32::edit
