// A child process posts records and reports each completed post through a pipe; the parent
// kills it with SIGKILL at random moments. No reported post may be lost, and the table always
// opens and passes the integrity check (its trigram index too, whenever that is current).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <set>
#include <thread>

#include "engine/Table.h"
#include "support/TempDir.h"

namespace mv32::engine {

namespace {

std::string recName(int i) {
    char b[16];
    snprintf(b, sizeof b, "K%06d", i);
    return b;
}

[[noreturn]] void writer(const std::string& dir, int start, int fd) {
    // A small cache makes bulk groups spill their pages to the log often.
    Table::setCacheLimit(128u << 10);
    Table t;
    t.setDirectory(dir);
    t.setTableName("kill.db");
    t.open();
    // Single posts and bulk stretches alternate, so that kills hit both.
    for (int i = start;; ++i) {
        bool bulk = (i / 50) % 4 != 0;
        if (bulk && (i % 50) == 0) t.beginBulk();
        t.append();
        t.setAsString("Name", recName(i));
        t.setAsInteger("Nr", i);
        if (i % 5 == 0) t.setAsString("Memo", std::string(static_cast<size_t>(i % 3000), 'k'));
        t.post();
        // Changes to earlier records spread the changed pages over the table.
        if (bulk && i > 100 && i % 3 == 0 && t.locate("Name", {recName(i / 2)})) {
            t.edit();
            t.setAsInteger("Nr", -i);
            t.post();
        }
        if (bulk && (i % 50) == 49) t.endBulk();
        if (write(fd, &i, sizeof i) != static_cast<ssize_t>(sizeof i)) _exit(3);
        // Now and then the trigram index is built again, so that kills hit that too.
        if (i % 200 == 199) {
            t.close();
            t.setExclusive(true);
            t.open();
            t.buildTrigramIndex("Name");
            t.close();
            t.setExclusive(false);
            t.open();
        }
    }
}

}  // namespace

TEST(Kill, NoReportedPostIsLost) {
    test::TempDir dir;
    {
        Table t;
        t.setDirectory(dir.path());
        t.setTableName("kill.db");
        t.setFieldDefs({{"Name", FieldType::Text, 20},
                        {"Nr", FieldType::Int32, 0},
                        {"Memo", FieldType::Memo, 0}});
        t.createTable();
        t.addIndex("", "Name");
    }
    int kills = 200;
    if (const char* n = getenv("MV32_KILLS")) kills = atoi(n);
    std::mt19937_64 rng(4711);
    int next = 0;
    int maxReported = -1;
    for (int round = 0; round < kills; ++round) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            try {
                writer(dir.path(), next, fds[1]);
            } catch (const std::exception& e) {
                fprintf(stderr, "Schreibprozess: %s\n", e.what());
            }
            _exit(2);  // a copy of the whole test run must not go on with it
        }
        close(fds[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + rng() % 40000));
        kill(pid, SIGKILL);
        int v = 0;
        while (read(fds[0], &v, sizeof v) == static_cast<ssize_t>(sizeof v))
            maxReported = std::max(maxReported, v);
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself in round " << round;

        Table t;
        t.setDirectory(dir.path());
        t.setTableName("kill.db");
        try {
            t.open();
            t.checkIntegrity();
        } catch (const std::exception& e) {
            FAIL() << "round " << round << ": " << e.what();
        }
        int count = static_cast<int>(t.recordCount());
        ASSERT_GE(count, maxReported + 1) << "round " << round << ": a reported post is lost";
        // At most the one post in flight when the kill came is there without a report.
        ASSERT_LE(count, std::max(maxReported + 1, next) + 1) << "round " << round;
        t.last();
        ASSERT_EQ(count == 0 ? std::string() : t.asString("Name"), count ? recName(count - 1) : "");
        if (count) {
            t.moveTo(count / 2 + 1);
            ASSERT_EQ(t.asString("Name"), recName(count / 2));
        }
        t.close();
        next = count;
    }
    std::cout << "[ kill -9 ] " << kills << " kills, " << next << " posts survived" << std::endl;
}

}  // namespace mv32::engine
