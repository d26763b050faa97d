// The record navigator without a window: its clicks with the hook before and the notice after,
// its enabled states on empty, small and large tables and on query results, the bookmark, the
// delete question and the layout of its buttons.
#include <gtest/gtest.h>

#include "document/DataSource.h"
#include "edit/RecordNavigator.h"
#include "engine/Query.h"
#include "support/MemFileSystem.h"
#include "support/ScriptedUserInterface.h"

namespace mv32::edit {

namespace {

using B = NavButton;

class Navigator : public ::testing::Test {
protected:
    std::shared_ptr<test::MemFileSystem> fs = std::make_shared<test::MemFileSystem>();
    test::ScriptedUserInterface ui;
    document::DataSource source;
    RecordNavigator nav{ui};

    std::unique_ptr<engine::Table> table(int rows) {
        auto t = std::make_unique<engine::Table>(fs);
        t->setDirectory("/d");
        t->setTableName("t" + std::to_string(rows));
        t->setFieldDefs({{"Name", engine::FieldType::Text, 20}});
        t->createTable();
        t->addIndex("", "Name");
        t->open();
        for (int i = 0; i < rows; ++i) {
            t->append();
            t->setAsString("Name", "N" + std::to_string(10 + i));
            t->post();
        }
        t->first();
        return t;
    }
    // The enabled states in button order, as a string of 0 and 1.
    std::string states() {
        std::string s;
        for (int i = 0; i < kNavButtons; ++i) s += nav.buttonEnabled(static_cast<B>(i)) ? '1' : '0';
        return s;
    }
};

}  // namespace

TEST_F(Navigator, EnabledStatesFollowTheRecordsAndTheirState) {
    //                 F P N L I D E P C R B
    EXPECT_EQ(states(), "00000000000");  // no data source
    auto empty = table(0);
    nav.setDataSource(&source);
    source.setTable(*empty);
    EXPECT_EQ(states(), "00001010010");
    auto one = table(1);
    source.setTable(*one);
    EXPECT_EQ(states(), "00001110010");  // Next, Prior and the bookmark off
    auto many = table(20);
    source.setTable(*many);
    EXPECT_EQ(states(), "00111110011");
    many->moveTo(7);
    EXPECT_EQ(states(), "11111110011");
    many->last();
    EXPECT_EQ(states(), "11001110011");
    many->edit();
    EXPECT_EQ(states(), "11001101111");
    many->cancel();
    nav.setEnabled(false);
    EXPECT_EQ(states(), "00000000000");
    nav.setEnabled(true);

    // A query result can be walked, not changed nor refreshed.
    engine::Query q(fs);
    q.setDirectory("/d");
    q.useTable(*many);
    q.setSql("SELECT Name FROM t20 WHERE Name >= 'N15'");
    q.open();
    source.setCursor(q);
    EXPECT_EQ(states(), "00110000001");
    many->close();  // the query read through it: closed with it
    EXPECT_EQ(states(), "00000000000");

    // A long result is not read to its end to know whether Next may be pressed.
    auto longer = table(2000);
    q.forgetTable(*many);
    q.useTable(*longer);
    q.setSql("SELECT Name FROM t2000 WHERE Name >= ''");
    q.open();
    source.setCursor(q);
    EXPECT_EQ(states(), "00110000001");
    EXPECT_FALSE(q.allFound());
    q.last();
    EXPECT_EQ(states(), "11000000001");
}

TEST_F(Navigator, EveryClickRunsTheHookThenTheActionThenTheNotice) {
    std::vector<std::string> heard;
    nav.beforeProcessClick = [&](B b) { heard.push_back("vor " + std::to_string(int(b))); };
    nav.onClick = [&](B b) { heard.push_back("nach " + std::to_string(int(b))); };
    // Without a data source only the notice comes.
    nav.click(B::Next);
    nav.click(B::Bookmark);
    EXPECT_EQ(heard, (std::vector<std::string>{"nach 2"}));
    heard.clear();

    auto t = table(10);
    nav.setDataSource(&source);
    source.setTable(*t);
    nav.beforeProcessClick = [&](B b) {
        heard.push_back("vor " + std::to_string(int(b)) + " auf " + std::to_string(t->recNo()));
    };
    nav.click(B::Last);
    nav.click(B::Prior);
    nav.click(B::First);
    nav.click(B::Next);
    EXPECT_EQ(heard, (std::vector<std::string>{"vor 3 auf 1", "nach 3", "vor 1 auf 10", "nach 1",
                                               "vor 0 auf 9", "nach 0", "vor 2 auf 1", "nach 2"}));
    EXPECT_EQ(t->recNo(), 2);

    nav.click(B::Insert);
    EXPECT_EQ(t->state(), engine::DataSetState::Insert);
    t->setAsString("Name", "A0");
    nav.click(B::Post);
    EXPECT_EQ(t->recordCount(), 11);
    nav.click(B::Edit);
    t->setAsString("Name", "verworfen");
    nav.click(B::Cancel);
    EXPECT_EQ(t->asString("Name"), "A0");
    nav.click(B::Refresh);

    // Delete asks first; Abbrechen deletes nothing, and the notice still comes.
    heard.clear();
    ui.answer(document::Answer::Abbrechen);
    nav.click(B::Delete);
    EXPECT_EQ(t->recordCount(), 11);
    EXPECT_EQ(ui.dialogue().back(),
              "message Bestätigen \"Datensatz löschen?\" OkAbbrechen -> Abbrechen");
    EXPECT_EQ(heard.back(), "nach 5");
    ui.answer(document::Answer::Ok);
    nav.click(B::Delete);
    EXPECT_EQ(t->recordCount(), 10);
    nav.setConfirmDelete(false);
    nav.click(B::Delete);
    EXPECT_EQ(t->recordCount(), 9);
}

TEST_F(Navigator, TheBookmarkGoesBackToItsRecordAndLetsGo) {
    auto t = table(20);
    nav.setDataSource(&source);
    source.setTable(*t);
    std::vector<int> clicks;
    nav.onClick = [&](B b) { clicks.push_back(int(b)); };
    t->moveTo(5);
    nav.click(B::Bookmark);
    EXPECT_TRUE(nav.bookmarkHeld());
    t->moveTo(9);
    nav.click(B::Bookmark);
    EXPECT_EQ(t->recNo(), 5);
    EXPECT_FALSE(nav.bookmarkHeld());
    EXPECT_EQ(clicks, (std::vector<int>{10, 10}));

    // Let go when the data source changes or closes.
    nav.click(B::Bookmark);
    auto other = table(3);
    source.setTable(*other);
    EXPECT_FALSE(nav.bookmarkHeld());
    nav.click(B::Bookmark);
    other->close();
    EXPECT_FALSE(nav.bookmarkHeld());
}

TEST_F(Navigator, VisibleButtonsShareTheWidthTheFirstOnesAPixelWider) {
    for (B hidden : {B::Insert, B::Edit, B::Post, B::Cancel, B::Bookmark})
        nav.setVisible(hidden, false);
    auto places = nav.layout(100);
    std::vector<int> widths, xs;
    for (const auto& p : places) {
        if (p.x < 0) continue;
        widths.push_back(p.width);
        xs.push_back(p.x);
    }
    EXPECT_EQ(widths, (std::vector<int>{17, 17, 17, 17, 16, 16}));
    EXPECT_EQ(xs, (std::vector<int>{0, 17, 34, 51, 68, 84}));
    EXPECT_EQ(places[static_cast<size_t>(B::Insert)].x, -1);
    EXPECT_STREQ(RecordNavigator::defaultHints()[10], "Bookmark");
    EXPECT_STREQ(RecordNavigator::glyphNames()[9], "MYBMPREFRESH");
}

}  // namespace mv32::edit
