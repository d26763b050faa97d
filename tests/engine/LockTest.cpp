// Two processes on one table: who may open it how, writers that take turns, and a copy of
// the files made between two posts of another process.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/EngineError.h"
#include "engine/Table.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace mv32::engine {

namespace {

void createTable(const std::string& dir) {
    Table t;
    t.setDirectory(dir);
    t.setTableName("lock.db");
    t.setFieldDefs({{"Name", FieldType::Text, 40}, {"Memo", FieldType::Memo, 0}});
    t.createTable();
    t.addIndex("", "Name");
}

// Waits for the marker file of a child; ends the child when the parent's marker never comes.
void awaitInChild(const std::string& path) {
    if (!test::waitForFile(path)) test::endChild(3);
}

std::unique_ptr<Table> handle(const std::string& dir, bool exclusive) {
    auto t = std::make_unique<Table>();
    t->setDirectory(dir);
    t->setTableName("lock.db");
    t->setExclusive(exclusive);
    return t;
}

}  // namespace

TEST(Locks, SharedAndExclusiveOpensAcrossProcesses) {
    if (test::childPart() == "holder") {
        const auto& a = test::childArgs();
        test::runChild([&] {
            auto t = handle(a.at("folder"), a.at("exclusive") == "1");
            t->open();
            test::touchFile(a.at("ready"));
            awaitInChild(a.at("done"));
            t->close();
        });
    }
    test::TempDir dir, marks;
    createTable(dir.path());
    int round = 0;
    for (bool childExclusive : {false, true}) {
        for (bool parentExclusive : {false, true}) {
            const std::string ready = marks.file("ready" + std::to_string(round));
            const std::string done = marks.file("done" + std::to_string(round++));
            test::Child child({{"part", "holder"},
                               {"folder", dir.path()},
                               {"exclusive", childExclusive ? "1" : "0"},
                               {"ready", ready},
                               {"done", done}});
            ASSERT_TRUE(test::waitForFile(ready));
            auto t = handle(dir.path(), parentExclusive);
            bool opened = true;
            try {
                t->open();
            } catch (const EngineError& e) {
                opened = false;
                EXPECT_EQ(e.kind(), ErrorKind::Locked);
                EXPECT_NE(std::string(e.what()).find("lock.db"), std::string::npos);
            }
            EXPECT_EQ(opened, !childExclusive && !parentExclusive)
                << "child " << childExclusive << ", parent " << parentExclusive;
            t->close();
            test::touchFile(done);
            ASSERT_EQ(child.wait(), 0);
        }
    }
}

TEST(Locks, WritersInTwoProcessesTakeTurns) {
    const auto& a = test::childArgs();
    if (test::childPart() == "reader") {
        // A reader that walks the table all the while must never see a half-written commit.
        test::runChild([&] {
            auto t = handle(a.at("folder"), false);
            t->open();
            for (int round = 0; round < 300; ++round) {
                int64_t n = 0;
                for (t->first(); !t->eof(); t->next()) {
                    if (n++ % 7 == 0) t->value("Memo");
                }
                if (n != t->recordCount() && round % 50 == 0) t->refresh();
                t->locate("Name", {"W0-10"});
                if (n >= 300) break;
            }
            t->close();
        });
    }
    if (test::childPart() == "writer") {
        test::runChild([&] {
            const int w = std::stoi(a.at("writer"));
            auto t = handle(a.at("folder"), false);
            t->open();
            for (int i = 0; i < 150; ++i) {
                if (w == 1 && i == 50) t->beginBulk();
                t->append();
                t->setAsString("Name", "W" + std::to_string(w) + "-" + std::to_string(i));
                t->setAsString("Memo", std::string(static_cast<size_t>(i * 13), 'w'));
                t->post();
                if (w == 1 && i == 100) t->endBulk();
                if (i % 10 == 0) {
                    t->refresh();
                    t->last();
                }
            }
            t->close();
        });
    }
    test::TempDir dir;
    createTable(dir.path());
    std::vector<std::unique_ptr<test::Child>> children;
    children.push_back(
        std::make_unique<test::Child>(test::ChildArgs{{"part", "reader"}, {"folder", dir.path()}}));
    for (int w = 0; w < 2; ++w) {
        children.push_back(std::make_unique<test::Child>(test::ChildArgs{
            {"part", "writer"}, {"folder", dir.path()}, {"writer", std::to_string(w)}}));
    }
    for (auto& c : children) ASSERT_EQ(c->wait(), 0);
    auto t = handle(dir.path(), false);
    t->open();
    t->checkIntegrity();
    EXPECT_EQ(t->recordCount(), 300);
}

TEST(Locks, ACopyMadeBetweenPostsOpensClean) {
    if (test::childPart() == "poster") {
        const auto& a = test::childArgs();
        test::runChild([&] {
            auto t = handle(a.at("folder"), false);
            t->open();
            for (int i = 0; i < 20; ++i) {
                t->append();
                t->setAsString("Name", "C" + std::to_string(i));
                t->setAsString("Memo", std::string(static_cast<size_t>(i) * 700, 'c'));
                t->post();
                test::touchFile(a.at("marks") + "posted" + std::to_string(i));
                awaitInChild(a.at("marks") + "copied" + std::to_string(i));
            }
            test::endChild(0);  // still open: the copies were made while the table was in use
        });
    }
    test::TempDir dir, copy, marks;
    createTable(dir.path());
    const std::string prefix = marks.file("");
    test::Child child({{"part", "poster"}, {"folder", dir.path()}, {"marks", prefix}});
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(test::waitForFile(prefix + "posted" + std::to_string(i)));
        for (auto ext : {".db", ".px", ".mb"}) {
            // Removed first: the C++ library of mingw-w64 does not overwrite in copy_file.
            std::filesystem::remove(copy.file(std::string("lock") + ext));
            std::filesystem::copy_file(dir.file(std::string("lock") + ext),
                                       copy.file(std::string("lock") + ext));
        }
        {
            auto t = std::make_unique<Table>();
            t->setDirectory(copy.path());
            t->setTableName("lock.db");
            t->open();
            t->checkIntegrity();
            EXPECT_EQ(t->recordCount(), i + 1);
            t->close();
            std::filesystem::remove(copy.file("lock.wal"));
        }
        test::touchFile(prefix + "copied" + std::to_string(i));
    }
    EXPECT_EQ(child.wait(), 0);
}

}  // namespace mv32::engine
