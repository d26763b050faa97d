// The table tool on real media and real inputs: a disk that runs full, a read-only mount,
// another user's files, pipes and FIFOs, and legacy files that cannot become a catalog.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "engine/Table.h"
#include "support/SmallMedium.h"
#include "support/TempDir.h"
#include "tools/mv32db/TableTool.h"

namespace mv32::tools {

namespace {

struct ToolRun {
    int status;
    std::string out, err;
};

ToolRun tool(std::vector<std::string> args, const std::string& input = {}) {
    std::istringstream in(input);
    std::ostringstream out, err;
    int status = runTableTool(args, in, out, err);
    return {status, out.str(), err.str()};
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Lines "name0000000<TAB>0" … in key order.
std::string numberedLines(int from, int to) {
    std::string s;
    char line[40];
    for (int i = from; i < to; ++i) {
        std::snprintf(line, sizeof line, "name%07d\t%d\n", i, i);
        s += line;
    }
    return s;
}

// A legacy file of the short layout with `count` records "P000001" … and a memo each.
std::string legacyFile(int count) {
    std::string s = std::string("\3\2\0\1\1\x63\0\0\0", 9);
    for (int d = 10000; d > 0; d /= 10) s.push_back(static_cast<char>(count / d % 10));
    s += std::string(8, '\0') + "\x0d";
    char name[16];
    for (int i = 1; i <= count; ++i) {
        std::snprintf(name, sizeof name, "P%06d", i);
        s += std::string("\x07") + name + "FESTPLATTE" + "    1" + "\x28" + std::string(40, 'm');
    }
    return s;
}

long storedCount(const std::string& err) {
    std::smatch m;
    if (!std::regex_search(err, m, std::regex("wurden (\\d+) Datens"))) return -1;
    return std::stol(m[1]);
}

}  // namespace

TEST(TableToolInput, PipesFifosAndProcFilesAreReadToTheEnd) {
    test::TempDir dir;
    const std::string t = dir.file("zeilen");
    ASSERT_EQ(tool({"create", t, "Zeile:text:255"}).status, 0);

    // A file of /proc says its size is 0.
    std::ifstream proc("/proc/self/mountinfo");
    long lines = 0;
    for (std::string l; std::getline(proc, l);) ++lines;
    ASSERT_GT(lines, 0);
    ToolRun fromProc = tool({"import", t, "/proc/self/mountinfo"});
    EXPECT_EQ(fromProc.out, std::to_string(lines) + " Datensätze importiert, 0 übersprungen.\n")
        << fromProc.err;

    // A pipe, as <(…) or /dev/stdin give it, and a FIFO.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::thread writer([&] {
        std::string data;
        for (int i = 0; i < 5000; ++i) data += "Zeile " + std::to_string(i) + "\n";
        for (size_t done = 0; done < data.size();) {
            ssize_t n = ::write(fds[1], data.data() + done, data.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(fds[1]);
    });
    ToolRun fromPipe = tool({"import", t, "/dev/fd/" + std::to_string(fds[0])});
    writer.join();
    ::close(fds[0]);
    EXPECT_EQ(fromPipe.out, "5000 Datensätze importiert, 0 übersprungen.\n") << fromPipe.err;

    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread fifoWriter([&] { std::ofstream(fifo) << "eins\nzwei\ndrei"; });
    ToolRun fromFifo = tool({"import", t, fifo});
    fifoWriter.join();
    EXPECT_EQ(fromFifo.out, "3 Datensätze importiert, 0 übersprungen.\n") << fromFifo.err;

    // What cannot be read says so instead of importing nothing.
    ToolRun folder = tool({"import", t, dir.path()});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("Der Name bezeichnet einen Ordner"), std::string::npos) << folder.err;
    ToolRun missing = tool({"import", t, dir.file("fehlt.txt")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Die Datei existiert nicht"), std::string::npos) << missing.err;
}

TEST(TableToolMedia, AFullDiskFailsCleanlyAndKeepsEveryStoredRow) {
    test::SmallMedium disk(3 << 20);
    if (!disk.available()) GTEST_SKIP() << disk.whyNot();
    test::TempDir elsewhere;
    const std::string input = elsewhere.file("zeilen.txt");
    writeFile(input, numberedLines(0, 200000));
    const std::string t = disk.file("t");
    ASSERT_EQ(tool({"create", t, "name:text:40", "n:int32"}).status, 0);
    ASSERT_EQ(tool({"index", "add", t, "", "name"}).status, 0);

    ToolRun full = tool({"import", t, input});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("Der Datenträger ist voll."), std::string::npos) << full.err;
    long stored = storedCount(full.err);
    ASSERT_GT(stored, 0) << full.err;
    ASSERT_LT(stored, 200000);

    // With room again, the table holds exactly the rows the import counted, and is sound.
    disk.resize(64 << 20);
    ToolRun check = tool({"check", t});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(check.out.rfind("In Ordnung: " + std::to_string(stored) + " Datensätze", 0), 0u)
        << check.out;
    EXPECT_EQ(tool({"dump", t}).out, numberedLines(0, static_cast<int>(stored)));

    // An index build that does not fit leaves the table as it was.
    disk.resize(disk.used() + (64 << 10));
    ToolRun index = tool({"index", "add", t, "NIndex", "n", "desc"});
    EXPECT_EQ(index.status, 1);
    EXPECT_NE(index.err.find("Der Datenträger ist voll."), std::string::npos) << index.err;
    disk.resize(64 << 20);
    EXPECT_EQ(tool({"check", t}).status, 0);
}

TEST(TableToolMedia, AFullDiskIsReadThroughTheLogByEveryVerbUntilThereIsRoom) {
    test::SmallMedium disk(6 << 20);
    if (!disk.available()) GTEST_SKIP() << disk.whyNot();
    writeFile(disk.file("platzhalter"), std::string(3 << 20, 'x'));
    test::TempDir elsewhere;
    const std::string input = elsewhere.file("zeilen.txt");
    writeFile(input, numberedLines(0, 200000));
    const std::string t = disk.file("t");
    ASSERT_EQ(tool({"create", t, "name:text:40", "n:int32"}).status, 0);
    ASSERT_EQ(tool({"index", "add", t, "", "name"}).status, 0);
    ToolRun full = tool({"import", t, input});
    ASSERT_NE(full.err.find("Der Datenträger ist voll."), std::string::npos) << full.err;
    const long stored = storedCount(full.err);
    ASSERT_GT(stored, 0) << full.err;
    const std::string rows = numberedLines(0, static_cast<int>(stored));

    // Every reading verb shows every stored row, and says that the log waits.
    const std::string waiting = "mv32db: Hinweis: Das Protokoll »" + t +
                                ".wal« enthält gespeicherte Änderungen, die noch nicht in die "
                                "Tabelle »t.db« übernommen sind (kein Platz auf dem Datenträger).";
    ToolRun check = tool({"check", t});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(check.out.rfind("In Ordnung: " + std::to_string(stored) + " Datensätze", 0), 0u)
        << check.out;
    EXPECT_NE(check.err.find(waiting), std::string::npos) << check.err;
    ToolRun info = tool({"info", t});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("Datensätze: " + std::to_string(stored) + "\n"), std::string::npos);
    EXPECT_NE(info.err.find(waiting), std::string::npos) << info.err;
    ToolRun dump = tool({"dump", t});
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_TRUE(dump.out == rows) << dump.out.size() << " statt " << rows.size();
    EXPECT_EQ(tool({"sql", disk.path(), "SELECT COUNT(*) AS n FROM t"}).out,
              "n\n" + std::to_string(stored) + "\n");

    // Writes fail as on any full medium and change nothing.
    ToolRun write = tool({"import", t}, "neu\t1\n");
    EXPECT_EQ(write.status, 1);
    EXPECT_NE(write.err.find("Der Datenträger ist voll."), std::string::npos) << write.err;
    EXPECT_TRUE(tool({"dump", t}).out == rows);

    // With room, the first write writes the log into the files, and nothing is lost.
    std::filesystem::remove(disk.file("platzhalter"));
    ToolRun room = tool({"import", t}, "zzz\t1\n");
    EXPECT_EQ(room.status, 0) << room.err;
    check = tool({"check", t});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(check.out.rfind("In Ordnung: " + std::to_string(stored + 1) + " Datensätze", 0), 0u)
        << check.out;
    EXPECT_EQ(check.err, "");
    EXPECT_TRUE(tool({"dump", t}).out == rows + "zzz\t1\n");
}

TEST(TableToolMedia, ALegacyFileThatCannotBecomeACatalogLeavesTheOldOne) {
    test::TempDir dir;
    const std::string mv = dir.file("x.MV");
    const std::string db = dir.file("x.db");
    // Missing, a folder, another user's unreadable file: each says so.
    ToolRun missing = tool({"mv2db", mv});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "mv32db: Die Datei »" + mv + "« existiert nicht.\n");
    std::filesystem::create_directory(dir.file("ordner.MV"));
    ToolRun folder = tool({"mv2db", dir.file("ordner.MV")});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err,
              "mv32db: »" + dir.file("ordner.MV") + "« ist ein Ordner, keine MV-Datei.\n");

    writeFile(mv, legacyFile(10));
    ASSERT_EQ(tool({"mv2db", mv}).status, 0);

    // A cut-off file does not replace the catalog, even when told to.
    const std::string twenty = legacyFile(20);
    writeFile(mv, twenty.substr(0, twenty.size() - 30));
    ToolRun cut = tool({"mv2db", mv, "--ueberschreiben"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find("Fehler beim Laden der Datei! Möglicherweise beschädigt!"),
              std::string::npos)
        << cut.err;
    EXPECT_EQ(tool({"check", db}).out.rfind("In Ordnung: 10 Datensätze", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.~neu.db")));

    // A catalog open elsewhere is reported as in use, not as a damaged file.
    writeFile(mv, twenty);
    {
        engine::Table open;
        open.setTableName(db);
        open.open();
        ToolRun busy = tool({"mv2db", mv, "--ueberschreiben"});
        EXPECT_EQ(busy.status, 1);
        EXPECT_NE(busy.err.find("»x.db« ist gerade geöffnet"), std::string::npos) << busy.err;
        EXPECT_EQ(busy.err.find("beschädigt"), std::string::npos) << busy.err;
    }
    EXPECT_EQ(tool({"check", db}).out.rfind("In Ordnung: 10 Datensätze", 0), 0u);
    ToolRun replaced = tool({"mv2db", mv, "--ueberschreiben"});
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(tool({"check", db}).out.rfind("In Ordnung: 20 Datensätze", 0), 0u);

    // A name the system refuses is an error message, not an ended process.
    ToolRun longName = tool({"db2mv", db, dir.file(std::string(300, 'n') + ".MV")});
    EXPECT_EQ(longName.status, 1);
    EXPECT_NE(longName.err.find("Der Dateiname ist zu lang."), std::string::npos) << longName.err;
}

TEST(TableToolMedia, ALegacyFileOnAFullDiskLeavesNoHalfCatalog) {
    test::SmallMedium disk(5 << 20);
    if (!disk.available()) GTEST_SKIP() << disk.whyNot();
    const std::string mv = disk.file("gross.MV");
    writeFile(mv, legacyFile(10));
    ASSERT_EQ(tool({"mv2db", mv}).status, 0);
    writeFile(mv, legacyFile(50000));
    ToolRun full = tool({"mv2db", mv, "--ueberschreiben"});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("Der Datenträger ist voll."), std::string::npos) << full.err;
    EXPECT_EQ(tool({"check", disk.file("gross.db")}).out.rfind("In Ordnung: 10 Datensätze", 0), 0u);
    engine::Table old;
    old.setTableName(disk.file("gross.db"));
    old.deleteTable();
    EXPECT_EQ(tool({"mv2db", mv}).status, 1);
    for (auto& e : std::filesystem::directory_iterator(disk.path()))
        EXPECT_EQ(e.path().filename(), "gross.MV");
}

TEST(TableToolMedia, AReadOnlyMountIsReadByEveryVerbAndRefusesChanges) {
    test::SmallMedium cd(8 << 20);
    if (!cd.available()) GTEST_SKIP() << cd.whyNot();
    const std::string t = cd.file("t");
    ASSERT_EQ(tool({"create", t, "name:text:40", "n:int32"}).status, 0);
    ASSERT_EQ(tool({"index", "add", t, "", "name"}).status, 0);
    ASSERT_EQ(tool({"index", "add", t, "NIndex", "n", "desc"}).status, 0);
    ASSERT_EQ(tool({"import", t}, numberedLines(0, 100)).status, 0);
    // A second table whose writer was killed in the middle of a bulk import.
    const std::string u = cd.file("u");
    ASSERT_EQ(tool({"create", u, "name:text:40", "n:int32"}).status, 0);
    pid_t child = ::fork();
    if (child == 0) {
        engine::Table w;
        w.setTableName(u);
        w.open();
        w.beginBulk();
        for (int i = 0; i < 50; ++i) {
            w.append();
            w.setAsString("name", "r" + std::to_string(i));
            w.post();
        }
        ::_exit(0);  // killed: no close, no final commit
    }
    int status = 0;
    ::waitpid(child, &status, 0);

    cd.setReadOnly(true);
    ToolRun info = tool({"info", t});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("(nur lesbar)"), std::string::npos);
    EXPECT_EQ(tool({"dump", t}).out, numberedLines(0, 100));
    EXPECT_EQ(tool({"dump", t, "NIndex"}).out.substr(0, 15), "name0000099\t99\n");
    EXPECT_EQ(tool({"check", t}).out.rfind("In Ordnung: 100 Datensätze", 0), 0u);
    EXPECT_EQ(tool({"index", "select", t, "NIndex"}).status, 0);
    ToolRun sql = tool({"sql", cd.path(), "SELECT COUNT(*) AS n FROM t WHERE n >= 90"});
    EXPECT_EQ(sql.out, "n\n10\n") << sql.err;

    for (std::vector<std::string> change : {std::vector<std::string>{"import", t},
                                            {"pack", t},
                                            {"empty", t},
                                            {"regen", t},
                                            {"index", "add", t, "X", "n"},
                                            {"index", "drop", t, "NIndex"},
                                            {"create", cd.file("neu"), "a:int16"}}) {
        ToolRun r = tool(change, "x\t1\n");
        EXPECT_EQ(r.status, 1) << change[0];
        EXPECT_NE(r.err.find("Der Datenträger ist schreibgeschützt"), std::string::npos)
            << change[0] << ": " << r.err;
    }
    // What the killed writer left is read through its log, which waits for a writable medium.
    ToolRun unfinished = tool({"check", u});
    EXPECT_EQ(unfinished.status, 0) << unfinished.err;
    EXPECT_EQ(unfinished.out.rfind("In Ordnung: 50 Datensätze", 0), 0u) << unfinished.out;
    EXPECT_NE(unfinished.err.find("»u.db« übernommen sind (die Tabelle kann hier nicht "
                                  "geschrieben werden: Der Datenträger ist schreibgeschützt)."),
              std::string::npos)
        << unfinished.err;
    ToolRun unfinishedWrite = tool({"import", u}, "x\t1\n");
    EXPECT_EQ(unfinishedWrite.status, 1);
    EXPECT_NE(unfinishedWrite.err.find("Der Datenträger ist schreibgeschützt"), std::string::npos)
        << unfinishedWrite.err;

    cd.setReadOnly(false);
    EXPECT_EQ(tool({"check", u}).out.rfind("In Ordnung: 50 Datensätze", 0), 0u);
}

TEST(TableToolMedia, AnotherUsersFilesAreReadWithoutWriteAccess) {
    if (::geteuid() != 0) GTEST_SKIP() << "nur als root kann der Test den Benutzer wechseln";
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string t = dir.file("t");
    ASSERT_EQ(tool({"create", t, "name:text:40", "n:int32"}).status, 0);
    ASSERT_EQ(tool({"index", "add", t, "", "name"}).status, 0);
    ASSERT_EQ(tool({"import", t}, numberedLines(0, 20)).status, 0);
    for (auto& e : std::filesystem::directory_iterator(dir.path())) ::chmod(e.path().c_str(), 0444);

    std::string report = test::asOtherUser([&](std::string& r) {
        auto expect = [&](bool ok, const std::string& what) {
            if (!ok) r += what + "\n";
        };
        ToolRun info = tool({"info", t});
        expect(info.status == 0, "info: " + info.err);
        ToolRun dump = tool({"dump", t});
        expect(dump.out == numberedLines(0, 20), "dump: " + dump.err);
        ToolRun check = tool({"check", t});
        expect(check.status == 0, "check: " + check.err);
        ToolRun sql = tool({"sql", dir.path(), "SELECT name FROM t WHERE n = 7"});
        expect(sql.out == "name\nname0000007\n", "sql: " + sql.out + sql.err);
        ToolRun write = tool({"import", t}, "neu\t1\n");
        expect(write.status == 1 && write.err.find("Zugriff verweigert") != std::string::npos,
               "import: " + write.err);
    });
    if (report.rfind("übersprungen:", 0) == 0) GTEST_SKIP() << report;
    EXPECT_EQ(report, "");
}

}  // namespace mv32::tools
