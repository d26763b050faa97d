// A table whose log cannot be written into its files because the medium is full: it opens,
// every handle reads all stored rows through the log, writes fail with the disk-full message,
// and the first write that finds room writes the log into the files, losing nothing; a reader
// in another process stays correct while that happens.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/EngineError.h"
#include "engine/Table.h"
#include "support/SmallMedium.h"

namespace mv32::engine {
namespace {

std::string nameOf(int i) {
    char s[16];
    std::snprintf(s, sizeof s, "name%07d", i);
    return s;
}

// Fills a table on the medium by bulk posts until the medium is full; returns the posts that
// returned, which the table must keep.
int fillUntilFull(const std::string& path) {
    Table t;
    t.setTableName(path);
    t.setFieldDefs({{"name", FieldType::Text, 40}, {"n", FieldType::Int32, 0}});
    t.createTable();
    t.addIndex("", "name");
    t.open();
    t.beginBulk();
    int stored = 0;
    try {
        for (int i = 0; i < 400000; ++i) {
            t.append();
            t.setAsString("name", nameOf(i));
            t.setAsInteger("n", i);
            t.post();
            stored = i + 1;
        }
    } catch (const EngineError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::DiskFull) << e.what();
    }
    try {
        if (t.state() == DataSetState::Insert) t.cancel();
        t.endBulk();
    } catch (const EngineError&) {  // the handle failed with the group; the log keeps it
    }
    try {
        t.close();
    } catch (const EngineError&) {
    }
    return stored;
}

// Every row in key order is name(i), i for i < count.
std::string rowsRead(Table& t, int count) {
    int i = 0;
    for (t.first(); !t.eof(); t.next(), ++i) {
        if (i >= count) return "mehr als " + std::to_string(count) + " Zeilen";
        if (t.asString("name") != nameOf(i) || t.asInteger("n") != i)
            return "Zeile " + std::to_string(i) + ": " + t.asString("name");
    }
    return i == count ? "" : "nur " + std::to_string(i) + " Zeilen";
}

void post(Table& t, const std::string& name, int n) {
    t.append();
    t.setAsString("name", name);
    t.setAsInteger("n", n);
    t.post();
}

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override {
        if (!disk.available()) GTEST_SKIP() << disk.whyNot();
        // Room taken by something else, to be given back later: as much as the table's log
        // may need to be written into its files.
        std::ofstream(disk.file("platzhalter"), std::ios::binary) << std::string(3 << 20, 'x');
        stored = fillUntilFull(disk.file("t"));
        ASSERT_GT(stored, 1000);
        ASSERT_LT(stored, 400000);
    }
    test::SmallMedium disk{6 << 20};
    int stored = 0;
};

TEST_F(FullDisk, TheTableIsReadThroughItsLogUntilAWriteFindsRoom) {
    Table a, b;
    for (Table* t : {&a, &b}) {
        t->setTableName(disk.file("t"));
        ASSERT_NO_THROW(t->open());
    }
    for (Table* t : {&a, &b}) {
        EXPECT_EQ(t->recordCount(), stored);
        EXPECT_EQ(rowsRead(*t, stored), "");
        EXPECT_NE(t->waitingLog().find("»" + disk.file("t.wal") + "«"), std::string::npos)
            << t->waitingLog();
        EXPECT_NE(t->waitingLog().find("(kein Platz auf dem Datenträger)"), std::string::npos);
    }
    EXPECT_EQ(a.checkIntegrity().records, static_cast<uint64_t>(stored));

    // Writes fail as on any full medium, and the table is still read in full afterwards.
    try {
        post(a, "neu", -1);
        ADD_FAILURE() << "geschrieben ohne Platz";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::DiskFull);
        EXPECT_NE(std::string(e.what()).find("Der Datenträger ist voll."), std::string::npos)
            << e.what();
    }
    a.cancel();
    a.refresh();
    EXPECT_EQ(a.recordCount(), stored);
    EXPECT_EQ(rowsRead(a, stored), "");

    // With room, the first write writes the log into the files; the other handle follows.
    std::filesystem::remove(disk.file("platzhalter"));
    post(a, "zzz", -1);
    EXPECT_EQ(a.waitingLog(), "");
    EXPECT_EQ(a.recordCount(), stored + 1);
    b.refresh();
    EXPECT_EQ(b.recordCount(), stored + 1);
    EXPECT_EQ(b.waitingLog(), "");
    b.close();
    a.close();
    EXPECT_FALSE(std::filesystem::exists(disk.file("t.wal")));

    Table again;
    again.setTableName(disk.file("t"));
    again.open();
    EXPECT_EQ(again.checkIntegrity().records, static_cast<uint64_t>(stored + 1));
    again.last();
    EXPECT_EQ(again.asString("name"), "zzz");
}

TEST_F(FullDisk, AReaderInAnotherProcessFollowsTheWriterThatFindsRoom) {
    // The child opens the table while the log waits, then reads again after the parent wrote.
    int toChild[2], toParent[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(toParent), 0);
    pid_t child = ::fork();
    if (child == 0) {
        ::close(toChild[1]);
        ::close(toParent[0]);
        std::string report;
        try {
            Table t;
            t.setTableName(disk.file("t"));
            t.open();
            report += rowsRead(t, stored);
            if (t.waitingLog().empty()) report += "ohne Hinweis; ";
            char c = 0;
            if (::write(toParent[1], "r", 1) != 1 || ::read(toChild[0], &c, 1) != 1) _exit(2);
            t.refresh();
            if (t.recordCount() != stored + 1)
                report += "nicht nachgeführt: " + std::to_string(t.recordCount()) + "; ";
            t.last();
            if (t.asString("name") != "zzz") report += "zuletzt " + t.asString("name") + "; ";
            if (!t.waitingLog().empty()) report += "Hinweis blieb; ";
            t.close();
        } catch (const std::exception& e) {
            report += e.what();
        }
        if (::write(toParent[1], report.data(), report.size()) < 0) _exit(3);
        _exit(0);
    }
    // However the parent's part ends, the child is let go and waited for.
    struct Release {
        int fd;
        pid_t child;
        ~Release() {
            ::close(fd);
            int status = 0;
            ::waitpid(child, &status, 0);
        }
    } release{toChild[1], child};
    ::close(toParent[1]);
    char c = 0;
    ASSERT_EQ(::read(toParent[0], &c, 1), 1);
    {
        Table w;
        w.setTableName(disk.file("t"));
        w.open();
        EXPECT_EQ(w.recordCount(), stored);
        std::filesystem::remove(disk.file("platzhalter"));
        post(w, "zzz", -1);
        EXPECT_EQ(w.recordCount(), stored + 1);
        ASSERT_EQ(::write(toChild[1], "w", 1), 1);
        std::string report;
        char buf[512];
        ssize_t n;
        while ((n = ::read(toParent[0], buf, sizeof buf)) > 0)
            report.append(buf, static_cast<size_t>(n));
        EXPECT_EQ(report, "");
    }
    Table again;
    again.setTableName(disk.file("t"));
    again.open();
    EXPECT_EQ(again.checkIntegrity().records, static_cast<uint64_t>(stored + 1));
}

TEST(FullDiskWithoutLog, AWriteThatCannotStartTheLogLeavesTheTableReadableAndWritable) {
    // A table closed cleanly has no log; the first write must make one, and finds no room.
    test::SmallMedium disk{4 << 20};
    if (!disk.available()) GTEST_SKIP() << disk.whyNot();
    {
        Table t;
        t.setTableName(disk.file("t"));
        t.setFieldDefs({{"name", FieldType::Text, 40}, {"n", FieldType::Int32, 0}});
        t.createTable();
        t.addIndex("", "name");
        t.open();
        for (int i = 0; i < 3; ++i) post(t, nameOf(i), i);
        t.close();
    }
    ASSERT_FALSE(std::filesystem::exists(disk.file("t.wal")));
    Table t;
    t.setTableName(disk.file("t"));
    t.open();
    disk.resize(disk.used());
    EXPECT_THROW(post(t, nameOf(3), 3), EngineError);
    t.cancel();
    // With room again, the first read must not wait without end for a log that holds
    // nothing; then the write goes through.
    disk.resize(4 << 20);
    t.refresh();
    EXPECT_EQ(t.recordCount(), 3);
    EXPECT_EQ(rowsRead(t, 3), "");
    post(t, nameOf(3), 3);
    t.refresh();
    EXPECT_EQ(rowsRead(t, 4), "");
    EXPECT_EQ(t.waitingLog(), "");
    t.close();
}

}  // namespace
}  // namespace mv32::engine
