// What tables and query results tell their listener, and readers that read by position without
// moving the cursor they were made from.
#include <gtest/gtest.h>

#include "engine/EngineError.h"
#include "engine/Query.h"
#include "engine/Table.h"
#include "support/MemFileSystem.h"

namespace mv32::engine {

namespace {

class CursorEvents : public ::testing::Test {
protected:
    std::shared_ptr<test::MemFileSystem> fs = std::make_shared<test::MemFileSystem>();
    std::vector<std::string> heard;

    std::unique_ptr<Table> table(int rows) {
        auto t = std::make_unique<Table>(fs);
        t->setDirectory("/d");
        t->setTableName("t");
        t->setFieldDefs({{"Name", FieldType::Text, 20}, {"Nr", FieldType::Int16, 0}});
        t->createTable();
        t->addIndex("", "Name");
        t->open();
        for (int i = 0; i < rows; ++i) {
            t->append();
            t->setAsString("Name", "N" + std::to_string(100 + i));
            t->setAsInteger("Nr", i);
            t->post();
        }
        return t;
    }
    void listen(Cursor& c) {
        c.listener = [this](CursorEvent e) {
            static const char* names[] = {"Opened",      "Closed",     "Moved", "StateChanged",
                                          "DataChanged", "BeforePost", "Gone"};
            heard.push_back(names[static_cast<int>(e)]);
        };
    }
    std::vector<std::string> take() { return std::exchange(heard, {}); }
};

using Events = std::vector<std::string>;

}  // namespace

TEST_F(CursorEvents, ATableTellsEveryChangeOnceItHappened) {
    auto t = table(3);
    t->close();
    listen(*t);
    t->open();
    EXPECT_EQ(take(), (Events{"Moved", "Opened"}));
    t->next();
    t->moveTo(3);
    EXPECT_TRUE(t->locate("Name", {Value("N100")}));
    EXPECT_EQ(take(), (Events{"Moved", "Moved", "Moved"}));

    t->edit();
    t->setAsInteger("Nr", 7);
    EXPECT_EQ(take(), (Events{"StateChanged"}));
    t->next();  // posts first
    EXPECT_EQ(take(), (Events{"BeforePost", "DataChanged", "StateChanged", "Moved"}));
    t->append();
    t->cancel();
    t->remove();
    EXPECT_EQ(take(), (Events{"StateChanged", "StateChanged", "DataChanged"}));
    t->refresh();
    t->setIndexName("");
    t->close();
    EXPECT_EQ(take(), (Events{"DataChanged", "DataChanged", "Closed"}));
}

TEST_F(CursorEvents, AListenerCanRefuseAPostAndTheRecordStaysBeingEdited) {
    auto t = table(1);
    t->listener = [&](CursorEvent e) {
        if (e == CursorEvent::BeforePost) t->setAsString("Nr", "zwei");
    };
    t->append();
    t->setAsString("Name", "Neu");
    EXPECT_THROW(t->post(), EngineError);
    EXPECT_EQ(t->state(), DataSetState::Insert);
    EXPECT_EQ(t->asString("Name"), "Neu");
    t->listener = nullptr;
    t->post();
    EXPECT_EQ(t->recordCount(), 2);
}

TEST_F(CursorEvents, ReadersReadByPositionAndLeaveTheCursorWhereItIs) {
    auto t = table(50);
    t->moveTo(10);
    t->edit();
    t->setAsInteger("Nr", 999);  // a pending edit must survive any reading
    auto r = t->reader();
    listen(*t);
    r->moveTo(40);
    EXPECT_EQ(r->asString("Name"), "N139");
    r->last();
    EXPECT_EQ(r->recNo(), 50);
    EXPECT_TRUE(take().empty());  // the table heard nothing
    EXPECT_EQ(t->state(), DataSetState::Edit);
    EXPECT_EQ(t->recNo(), 10);
    t->post();
    r->moveTo(10);
    EXPECT_EQ(r->asInteger("Nr"), 999);  // it sees the table's posts
    t->close();
    EXPECT_FALSE(r->active());
    EXPECT_THROW(r->first(), EngineError);

    auto again = table(0);  // the table closed; readers of a query result next
    for (int i = 0; i < 30; ++i) {
        again->append();
        again->setAsString("Name", "Q" + std::to_string(100 + i));
        again->setAsInteger("Nr", i % 3);
        again->post();
    }
    Query q(fs);
    q.setDirectory("/d");
    q.useTable(*again);
    q.setSql("SELECT Name FROM t WHERE Nr = 1 ORDER BY Name DESC");
    q.open();
    q.moveTo(2);
    auto qr = q.reader();
    qr->moveTo(10);
    EXPECT_EQ(qr->asString("Name"), "Q101");
    EXPECT_EQ(q.recNo(), 2);
    EXPECT_EQ(q.asString("Name"), "Q125");
    qr->first();
    EXPECT_EQ(q.asString("Name"), "Q125");
}

}  // namespace mv32::engine
