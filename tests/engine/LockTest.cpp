// Two processes on one table: who may open it how, writers that take turns, and a copy of
// the files made between two posts of another process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "engine/EngineError.h"
#include "engine/Table.h"
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

// Runs the body of a forked child and ends the child, whatever happens: it is a copy of the
// whole test run and must not go on with it.
template <typename F>
[[noreturn]] void inChild(F&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        fprintf(stderr, "Kindprozess: %s\n", e.what());
        _exit(2);
    } catch (...) {
        _exit(2);
    }
    _exit(0);
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
    test::TempDir dir;
    createTable(dir.path());
    for (bool childExclusive : {false, true}) {
        for (bool parentExclusive : {false, true}) {
            int ready[2], done[2];
            ASSERT_EQ(pipe(ready), 0);
            ASSERT_EQ(pipe(done), 0);
            pid_t pid = fork();
            if (pid == 0) {
                inChild([&] {
                    auto t = handle(dir.path(), childExclusive);
                    t->open();
                    char c = 1;
                    if (write(ready[1], &c, 1) != 1) _exit(3);
                    if (read(done[0], &c, 1) != 1) _exit(3);
                    t->close();
                });
            }
            char c;
            ASSERT_EQ(read(ready[0], &c, 1), 1);
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
            ASSERT_EQ(write(done[1], &c, 1), 1);
            int status;
            waitpid(pid, &status, 0);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
        }
    }
}

TEST(Locks, WritersInTwoProcessesTakeTurns) {
    test::TempDir dir;
    createTable(dir.path());
    std::vector<pid_t> pids;
    // A reader that walks the table all the while must never see a half-written commit.
    pid_t reader = fork();
    if (reader == 0)
        inChild([&] {
            auto t = handle(dir.path(), false);
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
    for (int w = 0; w < 2; ++w) {
        pid_t pid = fork();
        if (pid == 0)
            inChild([&] {
                auto t = handle(dir.path(), false);
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
        pids.push_back(pid);
    }
    pids.push_back(reader);
    for (pid_t pid : pids) {
        int status;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto t = handle(dir.path(), false);
    t->open();
    t->checkIntegrity();
    EXPECT_EQ(t->recordCount(), 300);
}

TEST(Locks, ACopyMadeBetweenPostsOpensClean) {
    test::TempDir dir, copy;
    createTable(dir.path());
    int posted[2], copied[2];
    ASSERT_EQ(pipe(posted), 0);
    ASSERT_EQ(pipe(copied), 0);
    pid_t pid = fork();
    if (pid == 0)
        inChild([&] {
            auto t = handle(dir.path(), false);
            t->open();
            for (int i = 0; i < 20; ++i) {
                t->append();
                t->setAsString("Name", "C" + std::to_string(i));
                t->setAsString("Memo", std::string(static_cast<size_t>(i) * 700, 'c'));
                t->post();
                char c = 1;
                if (write(posted[1], &c, 1) != 1 || read(copied[0], &c, 1) != 1) _exit(3);
            }
            _exit(0);  // still open: the copies were made while the table was in use
        });
    for (int i = 0; i < 20; ++i) {
        char c;
        ASSERT_EQ(read(posted[0], &c, 1), 1);
        for (auto ext : {".db", ".px", ".mb"}) {
            std::filesystem::copy_file(dir.file(std::string("lock") + ext),
                                       copy.file(std::string("lock") + ext),
                                       std::filesystem::copy_options::overwrite_existing);
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
        ASSERT_EQ(write(copied[1], &c, 1), 1);
    }
    int status;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace mv32::engine
