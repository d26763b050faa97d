#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

#include "engine/DbfTable.h"
#include "engine/FileSystem.h"
#include "engine/Table.h"
#include "support/MemFileSystem.h"
#include "support/TempDir.h"
#include "tools/mv32db/TableTool.h"

namespace mv32::tools {

namespace {

struct ToolRun {
    int status;
    std::string out, err;
};

ToolRun run(const std::shared_ptr<test::MemFileSystem>& fs, std::vector<std::string> args,
            const std::string& input = {}) {
    std::istringstream in(input);
    std::ostringstream out, err;
    int status = runTableTool(args, in, out, err, fs);
    return {status, out.str(), err.str()};
}

}  // namespace

TEST(TableTool, ImportAndDumpRoundTripEveryValue) {
    auto fs = std::make_shared<test::MemFileSystem>();
    ASSERT_EQ(run(fs, {"create", "/d/liste", "Name:text:40", "Nr:int64", "Memo:memo", "Bild:blob"})
                  .status,
              0);
    ASSERT_EQ(run(fs, {"index", "add", "/d/liste.db", "", "Name"}).status, 0);
    std::string input =
        "Tab\\tund\\\\Strich\t-5\tZeile1\\nZeile2\t\\x00\\x01\\xFF\n"
        "leer\t\\N\t\t\\N\n"
        "Größe\t9000000000\t\\N\t\n";
    ToolRun imp = run(fs, {"import", "/d/liste.db"}, input);
    ASSERT_EQ(imp.status, 0) << imp.err;
    EXPECT_EQ(imp.out, "3 Datensätze importiert, 0 übersprungen.\n");
    ToolRun dump = run(fs, {"dump", "/d/liste.db"});
    ASSERT_EQ(dump.status, 0) << dump.err;
    // Primary order; blank (\N) and empty text stay apart.
    EXPECT_EQ(dump.out,
              "Größe\t9000000000\t\\N\t\n"
              "Tab\\tund\\\\Strich\t-5\tZeile1\\nZeile2\t\\x00\\x01\xFF\n"
              "leer\t\\N\t\t\\N\n");
    // Importing the dump again skips what exists.
    ToolRun again = run(fs, {"import", "/d/liste", "--skip-existing"}, dump.out);
    EXPECT_EQ(again.out, "0 Datensätze importiert, 3 übersprungen.\n");
    ToolRun dup = run(fs, {"import", "/d/liste"}, "leer\t1\t\t\\N\n");
    EXPECT_EQ(dup.status, 1);
    EXPECT_NE(dup.err.find("Zeile 1"), std::string::npos);
    EXPECT_NE(dup.err.find("Schlüsselverletzung"), std::string::npos);
}

TEST(TableTool, ImportReadsLinesOfEveryLengthAndEnding) {
    // Input is read in blocks: lines that cross a block's end, long and short ones, CR LF and
    // LF, and a last line without its LF (whose CR then stays part of the value).
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::string> stored;  // the Memo values in order of Nr
    };
    std::vector<Case> cases;
    {
        Case c{"lange und kurze Zeilen", {}, {}};
        for (int i = 0; i < 400; ++i) {
            std::string memo(static_cast<size_t>((i * 977) % 3000),
                             static_cast<char>('a' + i % 26));
            c.input += std::to_string(i) + "\t" + memo + (i % 2 ? "\r\n" : "\n");
            c.stored.push_back(memo);
        }
        cases.push_back(c);
    }
    cases.push_back({"letzte Zeile ohne Zeilenende", "1\tx\r\n2\ty\r", {"x", "y\r"}});
    cases.push_back({"leere Zeilen", "\n1\ta\n\r\n\n2\tb\n", {"a", "b"}});
    for (const auto& c : cases) {
        auto fs = std::make_shared<test::MemFileSystem>();
        ASSERT_EQ(run(fs, {"create", "/d/z", "Nr:int32", "Memo:memo"}).status, 0);
        ASSERT_EQ(run(fs, {"index", "add", "/d/z.db", "", "Nr"}).status, 0);
        ToolRun imp = run(fs, {"import", "/d/z.db"}, c.input);
        ASSERT_EQ(imp.status, 0) << c.name << ": " << imp.err;
        ToolRun dump = run(fs, {"dump", "/d/z.db"});
        std::string expected;
        for (size_t i = 0; i < c.stored.size(); ++i) {
            std::string memo = c.stored[i];
            size_t cr = memo.find('\r');
            if (cr != std::string::npos) memo.replace(cr, 1, "\\r");
            expected += std::to_string(c.stored.size() == 400 ? i : i + 1) + "\t" + memo + "\n";
        }
        EXPECT_EQ(dump.out, expected) << c.name;
    }
}

TEST(TableTool, CheckFailsOnDamageAndUsageErrorsSayWhy) {
    auto fs = std::make_shared<test::MemFileSystem>();
    run(fs, {"create", "/d/t", "A:text:10"});
    run(fs, {"import", "/d/t"}, "x\ny\n");
    ToolRun ok = run(fs, {"check", "/d/t"});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "In Ordnung: 2 Datensätze, 2 Seiten.\n");
    std::string db = fs->contents("/d/t.db");
    db[4100] ^= 1;
    fs->setContents("/d/t.db", db);
    ToolRun bad = run(fs, {"check", "/d/t"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("t.db"), std::string::npos);
    EXPECT_NE(bad.err.find("beschädigt"), std::string::npos);

    EXPECT_EQ(run(fs, {}).status, 2);
    ToolRun unknown = run(fs, {"zaubern", "/d/t"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("Unbekannter Befehl »zaubern«"), std::string::npos);
    EXPECT_EQ(run(fs, {"create", "/d/u", "A:zahl"}).status, 2);
    EXPECT_EQ(run(fs, {"import", "/d/t"}, "a\tb\n").status, 1);  // wrong column count
    EXPECT_EQ(run(fs, {"info", "/d/fehlt"}).status, 1);
}

TEST(TableTool, IndexAndMaintenanceCommands) {
    auto fs = std::make_shared<test::MemFileSystem>();
    run(fs, {"create", "/d/t", "Name:text:20", "Nr:int16"});
    run(fs, {"import", "/d/t"}, "b\t2\na\t3\nc\t1\n");
    EXPECT_EQ(run(fs, {"index", "add", "/d/t", "NrIndex", "Nr", "desc"}).status, 0);
    EXPECT_EQ(run(fs, {"index", "select", "/d/t", "NrIndex"}).out,
              "Index »NrIndex«: 3 Datensätze, erster: a, letzter: c\n");
    EXPECT_EQ(run(fs, {"dump", "/d/t", "NrIndex"}).out, "a\t3\nb\t2\nc\t1\n");
    ToolRun info = run(fs, {"info", "/d/t"});
    EXPECT_NE(info.out.find("NrIndex\tNr desc\t/d/t.xg0"), std::string::npos) << info.out;
    EXPECT_EQ(run(fs, {"regen", "/d/t"}).status, 0);
    EXPECT_EQ(run(fs, {"pack", "/d/t"}).status, 0);
    EXPECT_EQ(run(fs, {"index", "drop", "/d/t", "NrIndex"}).status, 0);
    EXPECT_FALSE(fs->exists("/d/t.xg0"));
    EXPECT_EQ(run(fs, {"empty", "/d/t"}).status, 0);
    EXPECT_EQ(run(fs, {"dump", "/d/t"}).out, "");
    EXPECT_EQ(run(fs, {"index", "drop", "/d/t", "NrIndex"}).status, 1);
}

TEST(TableTool, FieldTextEscaping) {
    engine::Value v;
    for (std::string s : {std::string(), std::string("\\N"), std::string("a\tb\\c\r\n"),
                          std::string("\x01\x7F", 2)}) {
        ASSERT_TRUE(parseField(formatField(engine::Value(s)), &v)) << s;
        EXPECT_EQ(v, engine::Value(s));
    }
    EXPECT_FALSE(parseField("\\q", &v));
    EXPECT_FALSE(parseField("\\x4", &v));
    EXPECT_FALSE(parseField("ab\\", &v));
}

}  // namespace mv32::tools

namespace mv32::tools {

TEST(TableTool, SqlAndDbfDump) {
    auto fs = std::make_shared<test::MemFileSystem>();
    ASSERT_EQ(run(fs, {"create", "/d/cat", "Name:text:40", "Nr:int16"}).status, 0);
    ASSERT_EQ(run(fs, {"import", "/d/cat"}, "b\t2\na\t1\nc\t\\N\n").status, 0);
    ToolRun q = run(fs, {"sql", "/d",
                         "SELECT Nr, UPPER(Name) AS Gross FROM cat WHERE Nr >= '1' "
                         "ORDER BY Nr DESC"});
    ASSERT_EQ(q.status, 0) << q.err;
    EXPECT_EQ(q.out, "Nr\tGross\n2\tB\n1\tA\n");
    EXPECT_EQ(q.err, "mv32db: Plan: Tabelle, sortiert\n");  // how it was read, beside the result
    ToolRun bad = run(fs, {"sql", "/d", "SELECT Nr FROM cat WHERE"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err,
              "mv32db: Syntaxfehler in der SQL-Anweisung an Position 25 bei dem Ende "
              "der Anweisung: Ausdruck erwartet.\n");

    engine::DbfTable d(fs);
    d.setPath("/d/export.dbf");
    d.setFields({{"Name", 'C', 5}, {"Nr", 'N', 4}});
    d.createTable();
    d.append();
    d.setAsString("Name", "Ärger");
    d.setValue("Nr", engine::Value(int64_t{7}));
    d.post();
    d.close();
    ToolRun dump = run(fs, {"dump", "/d/export.dbf"});
    ASSERT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(dump.out, "Ärger\t7\n");
}

TEST(TableTool, LegacyFilesConvertBothWays) {
    test::TempDir dir;
    auto real = [&](std::vector<std::string> args) {
        std::istringstream in;
        std::ostringstream out, err;
        int status = runTableTool(args, in, out, err);
        return ToolRun{status, out.str(), err.str()};
    };
    auto write = [](const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    };
    auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    };
    // Header (mark 14, two records), then two records of the full layout.
    const std::string header =
        std::string("\3\2\0\1\1\x63\0\0\0\0\0\0\0\2", 14) + std::string(8, '\0') + "\x0e";
    const std::string record = std::string(
        "\x04"
        "B\xFC"
        "ro\x03   12\0\0\0\0\0\0\0\0D\0\0",
        22);
    const std::string second = std::string("\x04Zwei\x01    1\0\0\0\0\0\0\0\0\0\0\0", 22);
    write(dir.file("alt.MV"), header + record + second);

    ToolRun made = real({"mv2db", dir.file("alt.MV")});
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.out, "Katalog " + dir.file("alt.db") + " angelegt: 2 Datensätze.\n");
    EXPECT_EQ(real({"check", dir.file("alt.db")}).status, 0);
    ToolRun dump = real({"dump", dir.file("alt.db")});
    EXPECT_EQ(dump.out.rfind("Büro\t12\t0\t0\tFESTPLATTE\tD\t", 0), 0u) << dump.out;

    // A second conversion would replace the catalog: only with --ueberschreiben.
    ToolRun again = real({"mv2db", dir.file("alt.MV")});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err,
              "mv32db: Die Datei existiert bereits! Soll sie überschrieben werden? "
              "Nein (ohne --ueberschreiben)\n");
    EXPECT_EQ(real({"mv2db", dir.file("alt.MV"), "--ueberschreiben"}).status, 0);

    // And back: the same records, byte for byte after the header's date, except that the
    // empty counts now read "0".
    auto withCounts = [](std::string r, size_t at) {
        return r.replace(at, 2,
                         "\x01"
                         "0\x01"
                         "0");
    };
    ToolRun back = real({"db2mv", dir.file("alt.db"), dir.file("neu")});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(read(dir.file("neu.MV")).substr(23), withCounts(record, 12) + withCounts(second, 12));

    // A number beyond the field is left blank: said on the error stream, still a success.
    std::string tooBig = header;
    tooBig[13] = 1;
    write(dir.file("gross.MV"), tooBig + "\x05Gross\x01" + "40000" + std::string(11, '\0'));
    ToolRun big = real({"mv2db", dir.file("gross.MV")});
    EXPECT_EQ(big.status, 0) << big.err;
    EXPECT_EQ(big.err,
              "mv32db: 1 Zahlenwerte der Datei »gross.MV« passten nicht in die Zahlenfelder und "
              "wurden leer gelassen.\n");
    EXPECT_EQ(big.out, "Katalog " + dir.file("gross.db") + " angelegt: 1 Datensätze.\n");

    // Damaged and old files end with the program's messages.
    write(dir.file("kaputt.MV"), (header + record).substr(0, 30));
    ToolRun damaged = real({"mv2db", dir.file("kaputt.MV")});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.err, "mv32db: Fehler beim Laden der Datei! Möglicherweise beschädigt!\n");
    std::string old = header;
    old[22] = 12;
    write(dir.file("uralt.MV"), old);
    ToolRun refused = real({"mv2db", dir.file("uralt.MV")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("älteren Version (<2.2)"), std::string::npos);
    EXPECT_EQ(real({"mv2db", dir.file("alt.txt")}).status, 2);
    EXPECT_EQ(real({"db2mv", dir.file("fehlt.db")}).status, 1);

    // An empty file stands for the table of its name; without one the file is the reason.
    write(dir.file("leer.MV"), "");
    ToolRun empty = real({"mv2db", dir.file("leer.MV")});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err,
              "mv32db: Die Datei »leer.MV« ist leer; eine leere MV-Datei steht für die Tabelle "
              "»leer.db«, die es nicht gibt.\n");
    EXPECT_EQ(real({"db2mv", dir.file("alt.db"), dir.file("leer.MV"), "--ueberschreiben"}).status,
              0);
}

}  // namespace mv32::tools

namespace mv32::tools {

namespace {

// A medium that fills up as soon as the trigram index's temporary file is written.
class FullForTrigrams : public engine::FileSystem {
public:
    explicit FullForTrigrams(std::shared_ptr<engine::FileSystem> inner)
        : inner_(std::move(inner)) {}
    std::unique_ptr<engine::File> open(const std::string& path, bool create) override {
        auto f = inner_->open(path, create);
        if (path.size() < 4 || path.compare(path.size() - 4, 4, ".trn") != 0) return f;
        struct Full : engine::File {
            std::unique_ptr<engine::File> f;
            const std::string& path() const override { return f->path(); }
            size_t read(uint64_t o, void* b, size_t n) override { return f->read(o, b, n); }
            void write(uint64_t, const void*, size_t) override {
                engine::throwSystemError(ENOSPC, "Schreiben", path());
            }
            void sync() override { f->sync(); }
            uint64_t size() override { return f->size(); }
            void truncate(uint64_t s) override { f->truncate(s); }
            bool tryLock(uint64_t o, engine::LockKind k) override { return f->tryLock(o, k); }
            void unlock(uint64_t o) override { f->unlock(o); }
            bool lockedElsewhere(uint64_t o, engine::LockKind k) override {
                return f->lockedElsewhere(o, k);
            }
        };
        auto full = std::make_unique<Full>();
        full->f = std::move(f);
        return full;
    }
    std::unique_ptr<engine::File> openReadOnly(const std::string& p) override {
        return inner_->openReadOnly(p);
    }
    bool exists(const std::string& p) override { return inner_->exists(p); }
    void remove(const std::string& p) override { inner_->remove(p); }
    void rename(const std::string& a, const std::string& b) override { inner_->rename(a, b); }
    void syncDir(const std::string& d) override { inner_->syncDir(d); }
    std::vector<std::string> list(const std::string& d) override { return inner_->list(d); }

private:
    std::shared_ptr<engine::FileSystem> inner_;
};

}  // namespace

TEST(TableTool, RegeneratingOnAFullDiskLeavesNoTrigramTemporary) {
    auto mem = std::make_shared<test::MemFileSystem>();
    ASSERT_EQ(run(mem, {"create", "/d/liste", "Dateiname:text:200"}).status, 0);
    ASSERT_EQ(run(mem, {"import", "/d/liste"}, "readme.txt\nbild.png\n").status, 0);
    {
        engine::Table t(mem);
        t.setTableName("/d/liste.db");
        t.setExclusive(true);
        t.open();
        t.buildTrigramIndex("Dateiname");
    }
    auto full = std::make_shared<FullForTrigrams>(mem);
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(runTableTool({"regen", "/d/liste"}, in, out, err, full), 1);
    EXPECT_NE(err.str().find("Der Datenträger ist voll"), std::string::npos) << err.str();
    EXPECT_FALSE(mem->exists("/d/liste.trn"));
    EXPECT_EQ(run(mem, {"check", "/d/liste"}).status, 0);
}

TEST(TableTool, AFailedImportKeepsNoHalfRowAndSaysWhereItStopped) {
    auto fs = std::make_shared<test::MemFileSystem>();
    ASSERT_EQ(run(fs, {"create", "/d/u", "name:text:10", "n16:int16"}).status, 0);
    struct Case {
        std::string input, where, cause;
        long stored;
    };
    const Case cases[] = {
        {"r1\t1\nr2\t2\nr3\tzwei\nr4\t4\n", "Zeile 3, Spalte 2 (n16)",
         "»zwei« ist kein gültiger ganzzahliger Wert", 2},
        {"r1\t1\n\nr2\t70000\n", "Zeile 3, Spalte 2 (n16)", "außerhalb des Bereichs", 1},
        {"a\\x00b\t1\n", "Zeile 1, Spalte 1 (name)", "kein NUL-Zeichen", 0},
        {"r1\t1\nr2\n", "Zeile 2", "Die Zeile hat 1 Spalten, die Tabelle aber 2 Felder.", 1},
        {"r1\t1\nr2\t\\q\n", "Zeile 2, Spalte 2 (n16)", "ungültige Maskierung", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        run(fs, {"empty", "/d/u"});
        ToolRun r = run(fs, {"import", "/d/u"}, c.input);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("mv32db: " + c.where + ": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.cause), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Aus den Zeilen davor wurden " + std::to_string(c.stored) +
                             (c.stored == 1 ? " Datensatz" : " Datensätze") + " importiert"),
                  std::string::npos)
            << r.err;
        ToolRun dump = run(fs, {"dump", "/d/u"});
        EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), c.stored) << dump.out;
        EXPECT_EQ(dump.out.find("\\N"), std::string::npos) << dump.out;  // no half row
    }
    // Without a primary key nothing can count as present: refused, not ignored.
    ToolRun skip = run(fs, {"import", "/d/u", "--skip-existing"}, "r1\t1\n");
    EXPECT_EQ(skip.status, 1);
    EXPECT_NE(skip.err.find("--skip-existing braucht einen Primärindex"), std::string::npos)
        << skip.err;
    EXPECT_EQ(run(fs, {"dump", "/d/u"}).out, "r1\t1\n");
}

TEST(TableTool, CreateRefusesWhatItWouldDestroyOrMisread) {
    auto fs = std::make_shared<test::MemFileSystem>();
    ASSERT_EQ(run(fs, {"create", "/d/t", "A:text:10"}).status, 0);
    run(fs, {"import", "/d/t"}, "wertvoll\n");
    ToolRun again = run(fs, {"create", "/d/t", "B:int32"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err,
              "mv32db: Die Tabelle »t.db« gibt es schon; mit --ueberschreiben wird sie mit allen "
              "Datensätzen durch eine leere ersetzt.\n");
    EXPECT_EQ(run(fs, {"dump", "/d/t"}).out, "wertvoll\n");
    EXPECT_EQ(run(fs, {"create", "/d/t", "--ueberschreiben", "B:int32"}).status, 0);
    EXPECT_EQ(run(fs, {"dump", "/d/t"}).out, "");

    for (std::vector<std::string> bad : {std::vector<std::string>{"create", "/d/w", "A:text:10abc"},
                                         {"create", "/d/w", "A:text:"},
                                         {"create", "/d/w", "A:int32:4"},
                                         {"create", "/d/", "A:text:1"},
                                         {"create", "", "A:text:1"},
                                         {"create", "/d/.db", "A:text:1"}}) {
        EXPECT_EQ(run(fs, bad).status, 2) << bad[1] << " " << bad[2];
    }
    ToolRun tab = run(fs, {"create", "/d/w", "Na\tme:text:5"});
    EXPECT_EQ(tab.status, 1);
    EXPECT_NE(tab.err.find("ist ungültig"), std::string::npos) << tab.err;
    EXPECT_FALSE(fs->exists("/d/w.db"));
}

TEST(TableTool, CheckAndInfoReportWhatOpeningFound) {
    auto fs = std::make_shared<test::MemFileSystem>();
    run(fs, {"create", "/d/t", "Name:text:20", "Nr:int16"});
    run(fs, {"import", "/d/t"}, "b\t2\na\t3\n");
    run(fs, {"index", "add", "/d/t", "NrIndex", "Nr"});
    fs->remove("/d/t.xg0");

    // On a medium that cannot be written the index stays missing, and says so.
    fs->setReadOnly(true);
    ToolRun info = run(fs, {"info", "/d/t"});
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("Tabelle: /d/t.db (nur lesbar)"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("  NrIndex\t(Datei fehlt)\n"), std::string::npos) << info.out;
    EXPECT_NE(info.err.find("mv32db: Hinweis: Der Index »NrIndex« (»t.xg0«)"), std::string::npos);
    ToolRun readOnly = run(fs, {"check", "/d/t"});
    EXPECT_EQ(readOnly.status, 1);
    EXPECT_EQ(readOnly.out, "Geprüft: 2 Datensätze, 2 Seiten; siehe die Hinweise.\n");
    EXPECT_EQ(run(fs, {"dump", "/d/t"}).out, "b\t2\na\t3\n");
    ToolRun write = run(fs, {"import", "/d/t"}, "c\t1\n");
    EXPECT_EQ(write.status, 1);
    EXPECT_NE(write.err.find("»t.db« kann nicht geändert werden: Der Datenträger ist "
                             "schreibgeschützt."),
              std::string::npos)
        << write.err;
    EXPECT_EQ(run(fs, {"pack", "/d/t"}).status, 1);

    // Where it can be written, the first open rebuilds it: that check fails, the next passes.
    fs->setReadOnly(false);
    ToolRun mended = run(fs, {"check", "/d/t"});
    EXPECT_EQ(mended.status, 1);
    EXPECT_NE(mended.err.find("er wurde neu aufgebaut"), std::string::npos) << mended.err;
    EXPECT_EQ(run(fs, {"check", "/d/t"}).status, 0);
    EXPECT_EQ(run(fs, {"dump", "/d/t", "NrIndex"}).out, "b\t2\na\t3\n");
}

TEST(TableTool, ADbfFileCutShortIsAnErrorNamingIt) {
    auto fs = std::make_shared<test::MemFileSystem>();
    engine::DbfTable d(fs);
    d.setPath("/d/export.dbf");
    d.setFields({{"Name", 'C', 5}});
    d.createTable();
    for (const char* n : {"eins", "zwei", "drei"}) {
        d.append();
        d.setAsString("Name", n);
        d.post();
    }
    d.close();
    std::string bytes = fs->contents("/d/export.dbf");
    fs->setContents("/d/export.dbf", bytes.substr(0, bytes.size() - 4));
    ToolRun dump = run(fs, {"dump", "/d/export.dbf"});
    EXPECT_EQ(dump.status, 1);
    EXPECT_EQ(dump.out, "");
    EXPECT_EQ(dump.err,
              "mv32db: dBase-Tabelle »/d/export.dbf«: Die Datei ist verkürzt: Ihr Kopf nennt 3 "
              "Datensätze, vollständig vorhanden sind nur 2.\n");
}

}  // namespace mv32::tools
