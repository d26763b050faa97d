// Files the engine finds rather than wrote: a log left beside table files that were copied
// back or replaced, tables on media that cannot be written, index files that went missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "engine/EngineError.h"
#include "engine/Query.h"
#include "engine/Table.h"
#include "support/MemFileSystem.h"

namespace mv32::engine {

namespace {

class ForeignFilesTest : public ::testing::Test {
protected:
    std::shared_ptr<test::MemFileSystem> fs = std::make_shared<test::MemFileSystem>();
    using Files = std::map<std::string, std::string>;

    std::unique_ptr<Table> table(const std::string& name = "t", bool exclusive = false) {
        auto t = std::make_unique<Table>(fs);
        t->setDirectory("/data");
        t->setTableName(name);
        t->setExclusive(exclusive);
        return t;
    }

    // A keyed table with a secondary index and `rows` records N0000, N0001, … .
    void create(const std::string& name, int rows) {
        auto t = table(name);
        t->setFieldDefs({{"Name", FieldType::Text, 20}, {"Nr", FieldType::Int32, 0}});
        t->createTable();
        t->addIndex("", "Name");
        t->setExclusive(true);
        t->addIndex("NrIndex", "Nr", IndexDescending);
        t->close();
        t->setExclusive(false);
        t->open();
        t->beginBulk();
        add(*t, 0, rows);
        t->endBulk();
        t->close();
    }

    static void add(Table& t, int from, int to) {
        for (int i = from; i < to; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "N%04d", i);
            t.append();
            t.setAsString("Name", name);
            t.setAsInteger("Nr", i);
            t.post();
        }
    }

    Files files(const std::string& name = "t") {
        Files out;
        for (auto& f : fs->list("/data")) {
            if (f.rfind(name + ".", 0) == 0) out["/data/" + f] = fs->contents("/data/" + f);
        }
        return out;
    }
    void put(const Files& files) {
        for (auto& [path, data] : files) fs->setContents(path, data);
    }

    int64_t count() {
        auto t = table();
        t->open();
        t->checkIntegrity();
        return t->recordCount();
    }
};

}  // namespace

TEST_F(ForeignFilesTest, ALogIsAppliedOnlyToTheFilesItWasWrittenAgainst) {
    create("t", 1000);
    const Files saved = files();  // copied aside: the table as it was then
    auto live = table();
    live->open();
    add(*live, 1000, 1020);
    live->close();
    const Files begun = files();  // where the next session's log begins
    live->open();
    add(*live, 1020, 1050);  // posts of their own: commits in the log
    live->beginBulk();
    add(*live, 1050, 1080);        // bulk posts: only logical frames so far
    const Files killed = files();  // what a process killed now leaves
    live->endBulk();
    live->close();
    ASSERT_TRUE(killed.count("/data/t.wal"));

    // The files the log belongs to: recovery brings back every post.
    put(killed);
    EXPECT_EQ(count(), 1080);
    // So do the files as they were when the log began.
    put(begun);
    fs->setContents("/data/t.wal", killed.at("/data/t.wal"));
    EXPECT_EQ(count(), 1080);

    // The older files copied back over them: the log is set aside untouched, and the table
    // stays as the files say, sound.
    put(saved);
    fs->setContents("/data/t.wal", killed.at("/data/t.wal"));
    auto t = table();
    t->open();
    auto notices = t->takeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("»t.wal«"), std::string::npos) << notices[0];
    EXPECT_NE(notices[0].find("als »t.wal.fremd« beiseitegelegt"), std::string::npos) << notices[0];
    EXPECT_EQ(t->recordCount(), 1000);
    t->checkIntegrity();
    t->close();
    EXPECT_EQ(fs->contents("/data/t.wal.fremd"), killed.at("/data/t.wal"));

    // A log of another table of the same name: the same. A second one gets a name of its own.
    create("u", 10);
    auto other = table("u");
    other->open();
    add(*other, 10, 20);
    const std::string otherLog = fs->contents("/data/u.wal");
    other->close();
    fs->setContents("/data/t.wal", otherLog);
    EXPECT_EQ(count(), 1000);
    EXPECT_EQ(fs->contents("/data/t.wal.fremd2"), otherLog);
}

TEST_F(ForeignFilesTest, AReadOnlyMediumIsReadInFullAndRefusesEveryChange) {
    create("t", 50);
    fs->setReadOnly(true);
    for (bool exclusive : {false, true}) {
        auto t = table("T.DB", exclusive);
        t->open();
        EXPECT_TRUE(t->readOnly());
        EXPECT_EQ(t->recordCount(), 50);
        t->setIndexName("NrIndex");
        t->first();
        EXPECT_EQ(t->asString("Name"), "N0049");
        ASSERT_TRUE(t->locate("Name", {Value("N0007")}));
        EXPECT_EQ(t->asInteger("Nr"), 7);
        EXPECT_EQ(t->checkIntegrity().records, 50);

        t->append();
        t->setAsString("Name", "neu");
        try {
            t->post();
            FAIL() << "a post on a read-only medium";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::ReadOnly);
            EXPECT_EQ(std::string(e.what()),
                      "Die Tabelle »t.db« kann nicht geändert werden: Der Datenträger ist "
                      "schreibgeschützt.");
        }
        t->cancel();
        try {
            t->packTable();
            FAIL() << "packing on a read-only medium";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::ReadOnly);
            EXPECT_EQ(std::string(e.what()),
                      "Das Packen ist nicht möglich: Die Tabelle »t.db« kann nicht geändert "
                      "werden: Der Datenträger ist schreibgeschützt.");
        }
        EXPECT_NO_THROW(t->close());
    }
    Query q(fs);
    q.setDirectory("/data");
    q.setSql("SELECT Name FROM t WHERE Nr > 47 ORDER BY Nr");
    q.open();
    EXPECT_EQ(q.recordCount(), 2);
    EXPECT_FALSE(fs->exists("/data/t.wal"));

    auto closed = table();
    EXPECT_THROW(closed->regenerateIndexes(), EngineError);  // needs the table open
    try {
        closed->emptyTable();
        FAIL() << "emptying on a read-only medium";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::ReadOnly) << e.what();
    }
    fs->setReadOnly(false);
    EXPECT_EQ(count(), 50);
}

TEST_F(ForeignFilesTest, AnUnfinishedLogOnAReadOnlyMediumIsReadThroughNotSkipped) {
    create("t", 20);
    auto live = table();
    live->open();
    add(*live, 20, 25);  // applied commits: nothing left to do after them
    const Files done = files();
    live->beginBulk();
    add(*live, 25, 30);
    const Files unfinished = files();
    live->endBulk();
    live->close();

    put(done);
    fs->setReadOnly(true);
    EXPECT_EQ(count(), 25);
    fs->setReadOnly(false);

    put(unfinished);
    fs->setReadOnly(true);
    // The posts are read through the log, which waits for a medium that can be written.
    {
        auto t = table();
        t->open();
        EXPECT_EQ(t->recordCount(), 30);
        EXPECT_NE(t->waitingLog().find("»/data/t.wal«"), std::string::npos) << t->waitingLog();
        t->append();
        t->setAsString("Name", "neu");
        EXPECT_THROW(t->post(), EngineError);
        t->cancel();
    }
    fs->setReadOnly(false);
    EXPECT_EQ(count(), 30);
}

TEST_F(ForeignFilesTest, IndexFilesThatWentMissingAreRebuiltOrReported) {
    create("t", 100);
    create("u", 3);
    // The index file of another table in its place, then none at all.
    for (bool foreign : {true, false}) {
        if (foreign)
            fs->setContents("/data/t.xg0", fs->contents("/data/u.xg0"));
        else
            fs->remove("/data/t.xg0");
        fs->setReadOnly(true);
        auto t = table();
        t->open();
        auto notices = t->takeNotices();
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_EQ(notices[0],
                  "Der Index »NrIndex« (»t.xg0«) der Tabelle »t.db« fehlte oder gehörte nicht "
                  "zu ihr; hier kann er nicht neu aufgebaut werden: Der Datenträger ist "
                  "schreibgeschützt.");
        EXPECT_EQ(t->missingIndexes(), std::vector<std::string>{"NrIndex"});
        EXPECT_THROW(t->setIndexName("NrIndex"), EngineError);
        t->close();
        fs->setReadOnly(false);

        t->open();
        notices = t->takeNotices();
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_NE(notices[0].find("er wurde neu aufgebaut"), std::string::npos) << notices[0];
        EXPECT_TRUE(t->missingIndexes().empty());
        t->setIndexName("NrIndex");
        t->first();
        EXPECT_EQ(t->asString("Name"), "N0099");
        t->checkIntegrity();
        t->close();
    }

    // The primary index descriptor too; a later commit keeps every definition.
    fs->remove("/data/t.px");
    fs->remove("/data/t.xg0");
    auto t = table();
    t->open();
    auto notices = t->takeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("Die Indizes »NrIndex« (»t.xg0«), der Primärindex (»t.px«)"),
              std::string::npos)
        << notices[0];
    EXPECT_TRUE(t->hasPrimaryIndex());
    EXPECT_THROW(add(*t, 5, 6), EngineError);  // the key is enforced again
    t->cancel();
    add(*t, 100, 101);
    t->close();
    t->open();
    EXPECT_TRUE(t->takeNotices().empty());
    EXPECT_EQ(t->indexNames(), std::vector<std::string>{"NrIndex"});
    EXPECT_EQ(t->checkIntegrity().records, 101);
}

}  // namespace mv32::engine
