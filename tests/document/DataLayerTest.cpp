// The data source and the bound-box rule, without a window: links that follow a table or a
// query result, and boxes whose text reaches the record only at its post.
#include <gtest/gtest.h>

#include "document/BoundFields.h"
#include "document/DataSource.h"
#include "engine/EngineError.h"
#include "engine/Query.h"
#include "support/MemFileSystem.h"

namespace mv32::document {

namespace {

struct Recorder : DataLink {
    std::vector<std::string> heard;
    DataSource* removeOnChange = nullptr;
    void activeChanged(DataSource& s) override {
        heard.push_back(s.active() ? "aktiv" : "inaktiv");
    }
    void dataSetChanged(DataSource& s, DataChange c) override {
        heard.push_back(c == DataChange::Moved ? "bewegt" : "Inhalt");
        if (removeOnChange) s.removeLink(*this);
    }
    void editingChanged(DataSource&) override { heard.push_back("Bearbeitung"); }
    std::vector<std::string> take() { return std::exchange(heard, {}); }
};

using Heard = std::vector<std::string>;

class DataLayer : public ::testing::Test {
protected:
    std::shared_ptr<test::MemFileSystem> fs = std::make_shared<test::MemFileSystem>();
    engine::Table table{fs};

    void SetUp() override {
        table.setDirectory("/d");
        table.setTableName("kat");
        table.setFieldDefs({{"Name", engine::FieldType::Text, 40},
                            {"Nr", engine::FieldType::Int16, 0},
                            {"Memo", engine::FieldType::Memo, 0}});
        table.createTable();
        table.addIndex("", "Name");
        table.open();
        for (const char* n : {"Anna", "Bert", "Carl"}) {
            table.append();
            table.setAsString("Name", n);
            table.setAsInteger("Nr", 1);
            table.post();
        }
        table.first();
    }
};

}  // namespace

TEST_F(DataLayer, ADataSourcePassesEveryChangeToEveryLink) {
    DataSource source;
    Recorder a, b;
    source.addLink(a);
    source.addLink(b);
    source.setTable(table);
    EXPECT_EQ(a.take(), (Heard{"aktiv", "Inhalt", "Bearbeitung"}));
    EXPECT_EQ(source.state(), DataState::Browse);
    EXPECT_TRUE(source.canModify());
    EXPECT_FALSE(source.isQuery());

    table.next();
    table.edit();
    EXPECT_EQ(source.state(), DataState::Edit);
    table.post();
    const Heard editing{"bewegt", "Bearbeitung", "Inhalt", "Bearbeitung"};
    EXPECT_EQ(a.take(), editing);
    b.take();

    // Suspended links hear one change at the end of a long loop.
    source.suspendLinks();
    source.suspendLinks();
    for (table.first(); !table.eof(); table.next()) {
    }
    source.resumeLinks();
    EXPECT_TRUE(a.heard.empty());
    source.resumeLinks();
    EXPECT_EQ(a.take(), (Heard{"aktiv", "Inhalt", "Bearbeitung"}));

    // A link may leave while it is told; the others still hear it.
    a.removeOnChange = &source;
    b.take();
    table.first();
    table.first();
    EXPECT_EQ(a.take(), (Heard{"bewegt"}));
    EXPECT_EQ(b.take(), (Heard{"bewegt", "bewegt"}));

    table.close();
    EXPECT_EQ(b.take(), (Heard{"inaktiv", "Inhalt"}));
    EXPECT_EQ(source.state(), DataState::Inactive);
    EXPECT_FALSE(source.canModify());
}

TEST_F(DataLayer, AQueryResultIsShownButNotChanged) {
    engine::Query q(fs);
    q.setDirectory("/d");
    q.useTable(table);
    q.setSql("SELECT Name FROM kat WHERE Name > 'A'");
    q.open();
    DataSource source;
    source.setCursor(q);
    EXPECT_TRUE(source.isQuery());
    EXPECT_FALSE(source.canModify());
    EXPECT_EQ(source.state(), DataState::Browse);
    auto reader = source.reader();
    ASSERT_NE(reader, nullptr);
    reader->moveTo(3);
    EXPECT_EQ(reader->asString("Name"), "Carl");
    EXPECT_EQ(q.recNo(), 1);
}

TEST_F(DataLayer, BoundBoxesStoreTypedAndProgramTextAtThePostAndReloadOtherwise) {
    DataSource source;
    source.setTable(table);
    BoundFields boxes(source);
    std::string nameShown, nrShown;
    const int name = boxes.bind("Name", [&](const std::string& t) { nameShown = t; });
    const int nr = boxes.bind("Nr", [&](const std::string& t) { nrShown = t; });
    EXPECT_EQ(nameShown, "Anna");
    EXPECT_EQ(nrShown, "1");

    // Typing into a browsed record starts its edit; moving on posts what was typed.
    boxes.typed(nr, "7");
    EXPECT_EQ(source.state(), DataState::Edit);
    EXPECT_TRUE(boxes.changed(nr));
    table.next();
    EXPECT_EQ(nameShown, "Bert");  // shown anew from the next record
    table.first();
    EXPECT_EQ(nrShown, "7");

    // Text the program puts into a box reaches a record being edited at its post …
    table.edit();
    boxes.setText(nr, "8");
    table.post();
    EXPECT_EQ(table.asInteger("Nr"), 8);
    // … but not a record that was only browsed: a new record drops it, as cancelling does.
    boxes.setText(name, "Stempel");
    EXPECT_EQ(source.state(), DataState::Browse);
    table.insert();
    EXPECT_EQ(nameShown, "");
    boxes.typed(name, "Dora");
    table.cancel();
    EXPECT_EQ(nameShown, "Anna");
    EXPECT_EQ(table.recordCount(), 3);

    // A number that is none, or does not fit the field, stops the post with the engine's
    // message; the record stays being edited with what was typed.
    for (const char* bad : {"zwei", "40000"}) {
        SCOPED_TRACE(bad);
        boxes.typed(nr, bad);
        try {
            table.post();
            FAIL() << "posted";
        } catch (const engine::EngineError& e) {
            EXPECT_NE(std::string(e.what()).find("»Nr«"), std::string::npos) << e.what();
        }
        EXPECT_EQ(source.state(), DataState::Edit);
        EXPECT_EQ(boxes.text(nr), bad);
        EXPECT_TRUE(boxes.changed(nr));
    }
    boxes.typed(nr, "");  // empty text in a number field is a blank value
    table.post();
    EXPECT_TRUE(table.isBlank("Nr"));
    EXPECT_EQ(nrShown, "");
}

TEST_F(DataLayer, ARecordChangedByAnotherProgramMeanwhileKeepsWhatWasTypedInItsBoxes) {
    DataSource source;
    source.setTable(table);
    BoundFields boxes(source);
    std::string nrShown, memoShown;
    const int nr = boxes.bind("Nr", [&](const std::string& t) { nrShown = t; });
    const int memo = boxes.bind("Memo", [&](const std::string& t) { memoShown = t; });
    boxes.typed(nr, "7");
    boxes.typed(memo, "getippt");
    // Another program replaces the record being edited (as a merge does).
    engine::Table other(fs);
    other.setDirectory("/d");
    other.setTableName("kat");
    other.open();
    ASSERT_TRUE(other.locate("Name", {engine::Value("Anna")}));
    other.edit();
    other.setAsString("Memo", "vom anderen Programm");
    other.post();

    try {
        table.post();
        FAIL() << "posted over the other program's record";
    } catch (const engine::EngineError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Der Datensatz »Anna« wurde inzwischen von einem anderen Programm geändert und "
                  "nicht gespeichert. Ihre Eingaben stehen noch im Fenster.");
    }
    EXPECT_EQ(source.state(), DataState::Edit);
    EXPECT_EQ(boxes.text(nr), "7");
    EXPECT_EQ(boxes.text(memo), "getippt");
    EXPECT_TRUE(boxes.changed(nr));
    EXPECT_EQ(other.asString("Memo"), "vom anderen Programm");
    EXPECT_EQ(other.asInteger("Nr"), 1);
    // Cancelling shows what the other program stored.
    table.cancel();
    EXPECT_EQ(memoShown, "vom anderen Programm");
    EXPECT_EQ(nrShown, "1");
}

}  // namespace mv32::document
