// Batch moves and dBase IV tables; dBase files are checked with an independent reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "engine/BatchMove.h"
#include "engine/DbfTable.h"
#include "engine/EngineError.h"
#include "engine/Query.h"
#include "engine/Table.h"
#include "engine/Text.h"
#include "support/MemFileSystem.h"
#include "support/TempDir.h"

namespace mv32::engine {

namespace {

std::vector<FieldDef> catalogFields() {
    return {{"Name", FieldType::Text, 255},
            {"DatentraegerNr", FieldType::Int16, 0},
            {"Datentraeger_Anzahl", FieldType::Int16, 0},
            {"von", FieldType::Int16, 0},
            {"Datentraeger", FieldType::Text, 255},
            {"Laufwerk", FieldType::Text, 1},
            {"Label", FieldType::Text, 11},
            {"Serien_Nr", FieldType::Text, 8},
            {"Gesamte_Groesse", FieldType::Text, 255},
            {"Freier_Speicher", FieldType::Text, 255},
            {"Status", FieldType::Text, 255},
            {"Datum_Uhrzeit", FieldType::Text, 255},
            {"Kategorie", FieldType::Text, 255},
            {"Memo", FieldType::Memo, 0},
            {"Grafik", FieldType::Blob, 0}};
}

// The export's columns and where they come from.
const std::vector<DbfField> kExportFields = {
    {"Name", 'C', 254},      {"Medium", 'C', 10},   {"MediumNr", 'C', 5},   {"von", 'C', 5},
    {"Anzahl", 'C', 5},      {"SerienNr", 'C', 8},  {"Laufwerk", 'C', 1},   {"Label", 'C', 11},
    {"Groesse", 'C', 15},    {"Speicher", 'C', 15}, {"DatumZeit", 'C', 25}, {"Status", 'C', 254},
    {"Kategorie", 'C', 254}, {"Memo", 'C', 254}};
const ColumnMappings kExportMappings = {{"Name", "Name"},
                                        {"Medium", "Datentraeger"},
                                        {"MediumNr", "DatentraegerNr"},
                                        {"von", "von"},
                                        {"Anzahl", "Datentraeger_Anzahl"},
                                        {"SerienNr", "Serien_Nr"},
                                        {"Laufwerk", "Laufwerk"},
                                        {"Label", "Label"},
                                        {"Groesse", "Gesamte_Groesse"},
                                        {"Speicher", "Freier_Speicher"},
                                        {"DatumZeit", "Datum_Uhrzeit"},
                                        {"Status", "Status"},
                                        {"Kategorie", "Kategorie"},
                                        {"Memo", "Memo"}};

std::unique_ptr<Table> catalog(const std::shared_ptr<FileSystem>& fs, const std::string& dir,
                               const std::string& name) {
    auto t = std::make_unique<Table>(fs);
    t->setDirectory(dir);
    t->setTableName(name);
    t->setFieldDefs(catalogFields());
    t->createTable();
    t->addIndex("", "Name");
    t->open();
    return t;
}

void add(Table& t, const std::string& name, int nr, const std::string& memo = "",
         const std::string& kategorie = "") {
    t.append();
    t.setAsString("Name", name);
    t.setAsInteger("DatentraegerNr", nr);
    t.setAsString("Datentraeger", "CDROM");
    t.setAsString("Gesamte_Groesse", "650000000");
    if (!memo.empty()) t.setAsString("Memo", memo);
    if (!kategorie.empty()) t.setAsString("Kategorie", kategorie);
    t.post();
}

std::string run(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return "(nicht gestartet)";
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = pclose(p);
    if (status != 0) out += "(Exit-Status " + std::to_string(status) + ")";
    return out;
}

// Whether Debian's python3-dbfread is there to read the files back: on Linux the set-up
// installs it; the Windows build, run under wine, has no Python.
#ifdef _WIN32
constexpr bool kDbfread = false;
#else
constexpr bool kDbfread = true;
#endif

// Reads the table with Debian's python3-dbfread: field names, then one line per record.
std::string readWithDbfread(const std::string& path) {
    const char* script =
        "import sys, dbfread\n"
        "sys.stdout.reconfigure(encoding='utf-8')\n"
        "t = dbfread.DBF(sys.argv[1])\n"
        "print(t.encoding, t.header.dbversion, len(t))\n"
        "print('|'.join(t.field_names))\n"
        "for r in t:\n"
        "    print('|'.join('' if v is None else str(v) for v in r.values()))\n";
    std::ofstream(path + ".py") << script;
    return run("/usr/bin/python3 " + path + ".py " + path + " 2>&1");
}

TEST(DbfTableTest, ExportOfACatalogReadsBackWithAnIndependentReader) {
    test::TempDir dir;
    auto fs = FileSystem::real();
    auto cat = catalog(fs, dir.path(), "cat.db");
    add(*cat, "Äpfel & Birnen", 12, std::string(300, 'm'), "Büro");
    add(*cat, "Straße €uro", 3, "Zeile 1\r\nZeile 2");
    add(*cat, std::string(260, 'x'), -7);

    DbfTable dbf(fs);
    dbf.setPath(dir.file("EXPORT.DBF"));
    dbf.setFields(kExportFields);
    dbf.setUpdateDate(2026, 12, 9);
    dbf.createTable();
    auto r = batchMove(*cat, dbf, kExportMappings);
    EXPECT_EQ(r.appended, 3);
    dbf.close();

    std::string expected =
        "cp1252 3 3\n"
        "NAME|MEDIUM|MEDIUMNR|VON|ANZAHL|SERIENNR|LAUFWERK|LABEL|GROESSE|SPEICHER|DATUMZEIT|"
        "STATUS|KATEGORIE|MEMO\n"
        "Straße €uro|CDROM|3||||||650000000|||||Zeile 1\r\nZeile 2\n" +
        std::string(254, 'x') +
        "|CDROM|-7||||||650000000|||||\n"
        "Äpfel & Birnen|CDROM|12||||||650000000||||Büro|" +
        std::string(254, 'm') + "\n";
    // The catalog's order is code point order: "S" < "x" < "Ä".
    if (kDbfread) {
        EXPECT_EQ(readWithDbfread(dir.file("EXPORT.DBF")), expected);
    }

    // The file's bytes: header, descriptors, terminator, records, end mark.
    std::ifstream in(dir.file("EXPORT.DBF"), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    std::string bytes = content.str();
    ASSERT_GT(bytes.size(), 32u);
    EXPECT_EQ(bytes[0], 0x03);
    EXPECT_EQ(bytes.substr(1, 3), std::string("\x7E\x0C\x09", 3));
    EXPECT_EQ(static_cast<unsigned char>(bytes[29]), 0x57);
    size_t header = 32 + 32 * 14 + 1, record = 1 + 1116;
    EXPECT_EQ(bytes[header - 1], 0x0D);
    EXPECT_EQ(bytes.size(), header + 3 * record + 1);
    EXPECT_EQ(bytes.back(), 0x1A);
    EXPECT_EQ(bytes[header], ' ');

    // And our own reader gives the same rows.
    DbfTable back(fs);
    back.setPath(dir.file("EXPORT.DBF"));
    back.open();
    EXPECT_EQ(back.recordCount(), 3);
    back.last();
    EXPECT_EQ(back.asString("Name"), "Äpfel & Birnen");
    EXPECT_EQ(back.asString("MediumNr"), "12");
    EXPECT_EQ(text::length(back.asString("Memo")), 254u);
}

TEST(DbfTableTest, ColumnTypesAndLimits) {
    auto fs = std::make_shared<test::MemFileSystem>();
    DbfTable t(fs);
    t.setPath("/x/T.DBF");
    t.setFields({{"Text", 'C', 3},
                 {"Zahl", 'N', 6},
                 {"Betrag", 'N', 8, 2},
                 {"Tag", 'D', 8},
                 {"Ja", 'L', 1}});
    t.createTable();
    t.append();
    t.setAsString("Text", "Ölkanne");
    t.setValue("Zahl", Value(int64_t{-42}));
    t.setAsString("Betrag", "3.5");
    t.setAsString("Tag", "09.12.2026");
    t.setAsString("Ja", "J");
    t.post();
    t.append();  // all blank
    t.post();
    t.append();
    EXPECT_THROW(t.setValue("Zahl", Value(int64_t{1234567})), EngineError);
    EXPECT_THROW(t.setAsString("Betrag", "drei"), EngineError);
    EXPECT_THROW(t.setAsString("Tag", "gestern"), EngineError);
    t.cancel();
    t.close();
    t.open();
    ASSERT_EQ(t.recordCount(), 2);
    EXPECT_EQ(t.fieldDef(1).type, FieldType::Int64);
    EXPECT_EQ(t.asString("Text"), "Ölk");
    EXPECT_EQ(t.value("Zahl"), Value(int64_t{-42}));
    EXPECT_EQ(t.asString("Betrag"), "3.50");
    EXPECT_EQ(t.asString("Tag"), "20261209");
    EXPECT_EQ(t.asString("Ja"), "T");
    t.next();
    EXPECT_TRUE(t.isBlank("Text"));
    EXPECT_TRUE(t.isBlank("Zahl"));
    EXPECT_TRUE(t.isBlank("Ja"));
    // A record appended to an existing file, and a damaged header.
    t.append();
    t.setAsString("Text", "neu");
    t.post();
    t.close();
    t.open();
    EXPECT_EQ(t.recordCount(), 3);
    t.close();
    std::string data = fs->contents("/x/T.DBF");
    data[10] = 7;  // record length no longer matches the fields
    fs->setContents("/x/T.DBF", data);
    try {
        t.open();
        FAIL() << "beschädigte Datei geöffnet";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Corrupt);
        EXPECT_NE(std::string(e.what()).find("/x/T.DBF"), std::string::npos);
    }
    // A file written elsewhere with a column type the program does not write, or a date of
    // another width: reading works, writing such a column is refused.
    data[32 + 11] = 'M';
    data[32 * 4 + 11] = 'D';
    data[32 * 4 + 16] = 6;
    data[32 * 4 + 17] = 0;
    data[10] = static_cast<char>(1 + 3 + 6 + 8 + 6 + 1);
    fs->setContents("/x/T.DBF", data);
    t.open();
    t.append();
    EXPECT_THROW(t.setAsString("Text", "x"), EngineError);
    EXPECT_THROW(t.setAsString("Tag", "20261209"), EngineError);
    t.cancel();
    t.close();
    DbfTable bad(fs);
    bad.setPath("/x/B.DBF");
    bad.setFields({{"Viel_zu_lang", 'C', 10}});
    EXPECT_THROW(bad.createTable(), EngineError);
    bad.setFields({{"A", 'C', 255}});
    EXPECT_THROW(bad.createTable(), EngineError);
}

TEST(DbfTableTest, NumbersDatesAndLogicalsReadBackWithAnIndependentReader) {
    test::TempDir dir;
    DbfTable t(FileSystem::real());
    t.setPath(dir.file("T.DBF"));
    t.setFields({{"Nr", 'N', 5}, {"Betrag", 'N', 8, 2}, {"Tag", 'D', 8}, {"Ja", 'L', 1}});
    t.createTable();
    t.append();
    t.setValue("Nr", Value(int64_t{-3}));
    t.setAsString("Betrag", "1.5");
    t.setAsString("Tag", "2026-12-09");
    t.setAsString("Ja", "J");
    t.post();
    t.append();
    t.post();
    t.close();
    if (kDbfread) {
        EXPECT_EQ(readWithDbfread(dir.file("T.DBF")),
                  "cp1252 3 2\nNR|BETRAG|TAG|JA\n-3|1.5|2026-12-09|True\n|||\n");
    }
}

TEST(BatchMoveTest, AppendAndUpdateReplacesByKeyAndRaisesNoNotifications) {
    auto fs = std::make_shared<test::MemFileSystem>();
    auto cat = catalog(fs, "/d", "cat.db");
    add(*cat, "Alpha", 1, "alt");
    add(*cat, "Beta", 2);
    auto other = catalog(fs, "/d", "alt.db");
    add(*other, "Beta", 20, "neu");
    add(*other, "Gamma", 30);
    int notified = 0;
    cat->afterPost = [&](Table&) { ++notified; };
    cat->afterInsert = [&](Table&) { ++notified; };
    auto r = batchMove(*other, *cat, BatchMode::AppendUpdate);
    EXPECT_EQ(r.updated, 1);
    EXPECT_EQ(r.appended, 1);
    EXPECT_EQ(notified, 0);
    ASSERT_TRUE(cat->afterPost);  // the handlers are back afterwards
    EXPECT_EQ(cat->recordCount(), 3);
    ASSERT_TRUE(cat->locate("Name", {Value("Beta")}));
    EXPECT_EQ(cat->asInteger("DatentraegerNr"), 20);
    EXPECT_EQ(cat->asString("Memo"), "neu");
    ASSERT_TRUE(cat->locate("Name", {Value("Alpha")}));
    EXPECT_EQ(cat->asString("Memo"), "alt");

    // Plain append stops at the first key violation; what was moved before stays.
    auto third = catalog(fs, "/d", "dritte.db");
    add(*third, "Aaa", 1);
    add(*third, "Alpha", 1);
    add(*third, "Zzz", 1);
    try {
        batchMove(*third, *cat, BatchMode::Append);
        FAIL() << "Schlüsselverletzung nicht gemeldet";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::KeyViolation);
        EXPECT_NE(std::string(e.what()).find("Datensatz 2 (»Alpha«) konnte nicht in die Tabelle "
                                             "»cat.db« übertragen werden"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(cat->recordCount(), 4);
    EXPECT_TRUE(cat->locate("Name", {Value("Aaa")}));
    EXPECT_FALSE(cat->locate("Name", {Value("Zzz")}));
}

TEST(BatchMoveTest, ColumnsPairByNameElseByPosition) {
    auto fs = std::make_shared<test::MemFileSystem>();
    auto make = [&](const std::string& name, std::vector<FieldDef> defs) {
        auto t = std::make_unique<Table>(fs);
        t->setDirectory("/d");
        t->setTableName(name);
        t->setFieldDefs(std::move(defs));
        t->createTable();
        t->open();
        return t;
    };
    auto src = make("src", {{"B", FieldType::Int32, 0}, {"A", FieldType::Text, 10}});
    src->append();
    src->setAsString("A", "eins");
    src->setAsInteger("B", 1);
    src->post();
    auto named = make("named", {{"A", FieldType::Text, 10}, {"B", FieldType::Text, 10}});
    batchMove(*src, *named, BatchMode::Append);
    named->first();
    EXPECT_EQ(named->asString("A"), "eins");
    EXPECT_EQ(named->asString("B"), "1");
    auto positional = make("pos", {{"X", FieldType::Text, 10}, {"Y", FieldType::Text, 10}});
    batchMove(*src, *positional, BatchMode::Append);
    positional->first();
    EXPECT_EQ(positional->asString("X"), "1");
    EXPECT_EQ(positional->asString("Y"), "eins");
    // Too few source columns for a positional pairing, and a value the field cannot take.
    auto wide =
        make("wide",
             {{"X", FieldType::Text, 10}, {"Y", FieldType::Text, 10}, {"Z", FieldType::Text, 10}});
    EXPECT_THROW(batchMove(*src, *wide, BatchMode::Append), EngineError);
    auto numbers = make("num", {{"X", FieldType::Int16, 0}, {"Y", FieldType::Int16, 0}});
    try {
        batchMove(*src, *numbers, BatchMode::Append);
        FAIL();
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("Datensatz 1 (»1«)"), std::string::npos) << e.what();
    }
    EXPECT_EQ(numbers->recordCount(), 0);

    // A query result is a source too.
    Query q(fs);
    q.setDirectory("/d");
    q.setSql("SELECT A, UPPER(A) AS B FROM src");
    q.open();
    batchMove(q, *named, BatchMode::Append);
    named->last();
    EXPECT_EQ(named->asString("B"), "EINS");
}

}  // namespace

}  // namespace mv32::engine
