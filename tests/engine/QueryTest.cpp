// Local SQL: the statements the program's searches build, the dialect, index use and the
// result cursor.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <set>

#include "engine/EngineError.h"
#include "engine/Query.h"
#include "engine/Table.h"
#include "engine/Text.h"
#include "support/MemFileSystem.h"

namespace mv32::engine {

namespace {

class QueryTest : public ::testing::Test {
protected:
    std::shared_ptr<test::MemFileSystem> fs = std::make_shared<test::MemFileSystem>();

    // A catalog with the columns the searches read.
    void makeCatalog(const std::string& name = "cat.db") {
        Table t(fs);
        t.setDirectory("/data");
        t.setTableName(name);
        t.setFieldDefs({{"Name", FieldType::Text, 255},
                        {"DatentraegerNr", FieldType::Int16, 0},
                        {"Datentraeger", FieldType::Text, 255},
                        {"Laufwerk", FieldType::Text, 1},
                        {"Label", FieldType::Text, 11},
                        {"Gesamte_Groesse", FieldType::Text, 255},
                        {"Freier_Speicher", FieldType::Text, 255},
                        {"Kategorie", FieldType::Text, 255},
                        {"Memo", FieldType::Memo, 0}});
        t.createTable();
        t.addIndex("", "Name");
        t.addIndex("DatentraegerNrIndex", "DatentraegerNr;Name");
        t.addIndex("Freier_SpeicherIndex", "Freier_Speicher;Name");
    }

    void addRecord(const std::string& name, std::optional<int> nr, const std::string& medium,
                   const std::string& total, const std::string& freeSpace,
                   const std::string& kategorie = "", const std::string& memo = "",
                   const std::string& table = "cat.db") {
        Table t(fs);
        t.setDirectory("/data");
        t.setTableName(table);
        t.open();
        t.append();
        t.setAsString("Name", name);
        if (nr) t.setAsInteger("DatentraegerNr", *nr);
        if (!medium.empty()) t.setAsString("Datentraeger", medium);
        if (!total.empty()) t.setAsString("Gesamte_Groesse", total);
        if (!freeSpace.empty()) t.setAsString("Freier_Speicher", freeSpace);
        if (!kategorie.empty()) t.setAsString("Kategorie", kategorie);
        if (!memo.empty()) t.setAsString("Memo", memo);
        t.post();
    }

    void standardCatalog() {
        makeCatalog();
        addRecord("Mytest 2", 12, "CDROM", "1200000", "50000", "Spiele", "Ein Test");
        addRecord("abc", 5, "Diskette", "600000", "0", "", "");
        addRecord("ABC Tools", 5, "CD-R", "10000000", "10000000", "Büro");
        addRecord("Zeta", std::nullopt, "ZIP", "unbekannt", "", "Büro");
        addRecord("Ölfilter", 20, "DVD", "4700000000", "1474560", "Technik");
    }

    // The given column of every row, in result order.
    std::vector<std::string> column(const std::string& sqlText, const std::string& col = "Name") {
        Query q(fs);
        q.setDirectory("/data");
        q.setSql(sqlText);
        q.open();
        std::vector<std::string> out;
        for (q.first(); !q.eof(); q.next()) out.push_back(q.displayText(col));
        return out;
    }

    std::string errorOf(const std::string& sqlText) {
        Query q(fs);
        q.setDirectory("/data");
        q.setSql(sqlText);
        try {
            q.open();
        } catch (const EngineError& e) {
            EXPECT_FALSE(q.active());
            return e.what();
        }
        return "(kein Fehler)";
    }

    using Names = std::vector<std::string>;
};

TEST_F(QueryTest, FullSearchStatements) {
    standardCatalog();
    EXPECT_EQ(column("SELECT * FROM cat.db where Upper(Name) like Upper(\"%abc%\") and "
                     "DatentraegerNr=\"5\""),
              (Names{"ABC Tools", "abc"}));
    // A lower-case criterion finds mixed case anywhere in the column.
    EXPECT_EQ(column("SELECT * FROM cat.db where Upper(Name) like Upper(\"%test%\")"),
              (Names{"Mytest 2"}));
    // Sizes as text: "1200000" sorts before "500", "600000" does not.
    EXPECT_EQ(column("SELECT * FROM cat.db where Gesamte_Groesse<\"500\""),
              (Names{"ABC Tools", "Mytest 2", "Ölfilter"}));
    EXPECT_EQ(column("SELECT * FROM cat.db where Upper(Kategorie) like Upper(\"%büro%\") and "
                     "Upper(Datentraeger) like Upper(\"%cd%\")"),
              (Names{"ABC Tools"}));
    // All ten criteria at once.
    EXPECT_EQ(column("SELECT * FROM cat.db where Upper(Name) like Upper(\"%a%\") and "
                     "DatentraegerNr=\"5\" and Upper(Laufwerk) like Upper(\"%%\") and "
                     "Upper(Label) like Upper(\"%%\") and Upper(Kategorie) like Upper(\"%%\") "
                     "and Gesamte_Groesse<\"7\" and Freier_Speicher<\"9\" and "
                     "Upper(Datentraeger) like Upper(\"%disk%\")"),
              (Names{"abc"}));
}

TEST_F(QueryTest, FreeSpaceAndRangeStatements) {
    standardCatalog();
    // Text comparison: "50000" and "10000000" are both greater than "1000000". The result
    // comes in the order of the index that found it.
    EXPECT_EQ(column("SELECT * FROM cat.db where Freier_Speicher>\"1000000\" and "
                     "Freier_Speicher<>\"0\""),
              (Names{"ABC Tools", "Ölfilter", "Mytest 2"}));
    EXPECT_EQ(column("SELECT * FROM cat.db where Freier_Speicher=\"0000\""), Names{});
    EXPECT_EQ(column("SELECT * FROM cat.db where Freier_Speicher<\"1\""), (Names{"Zeta", "abc"}));
    EXPECT_EQ(column("SELECT * FROM cat.db where DatentraegerNr>=\"5\" and "
                     "DatentraegerNr<=\"5\""),
              (Names{"ABC Tools", "abc"}));
    EXPECT_EQ(column("SELECT * FROM cat.db where DatentraegerNr>=\"5\" and "
                     "DatentraegerNr<=\"20\" and Upper(Datentraeger) like Upper(\"%CD%\")"),
              (Names{"ABC Tools", "Mytest 2"}));
    // Numeric size criteria: a text column against a number compares numerically, and texts
    // that are no numbers never match.
    EXPECT_EQ(column("SELECT * FROM cat.db where Freier_Speicher>1048576"),
              (Names{"ABC Tools", "Ölfilter"}));
    EXPECT_EQ(column("SELECT * FROM cat.db where Gesamte_Groesse<1048576"), (Names{"abc"}));
    EXPECT_EQ(column("SELECT * FROM cat.db where Freier_Speicher=0"), (Names{"abc"}));
}

TEST_F(QueryTest, UserStatements) {
    standardCatalog();
    Query q(fs);
    q.setDirectory("/data");
    q.setSql(
        "SELECT Name, Datentraeger, DatentraegerNr, Kategorie FROM \"cat.db\" where "
        "Kategorie<>''");
    q.open();
    ASSERT_EQ(q.fieldCount(), 4);
    EXPECT_EQ(q.fieldDef(2).type, FieldType::Int16);
    EXPECT_EQ(q.recordCount(), 4);
    EXPECT_EQ(column("SELECT * FROM \"/data/cat.db\" WHERE Kategorie = 'Technik'"),
              (Names{"Ölfilter"}));
    // Another table in the same folder, named bare or by file name in any case.
    makeCatalog("other.db");
    addRecord("Fremd", 1, "", "", "", "", "", "other.db");
    EXPECT_EQ(column("SELECT Name FROM OTHER.DB"), (Names{"Fremd"}));
    EXPECT_EQ(column("select name from other o where o.name like 'F%'"), (Names{"Fremd"}));
    // Catalog file names that are no identifiers need no quotes after FROM.
    makeCatalog("2024 cd-sammlung.db");
    makeCatalog("cd-sammlung.db");
    addRecord("Neu", 1, "", "", "", "", "", "cd-sammlung.db");
    EXPECT_EQ(column("SELECT * FROM cd-sammlung.db where Upper(Name) like Upper(\"%e%\")"),
              (Names{"Neu"}));
    EXPECT_EQ(column("SELECT Name FROM \"2024 cd-sammlung.db\""), Names{});
    EXPECT_EQ(column("SELECT SUBSTRING(Name FROM 2) AS s FROM cd-sammlung.db", "s"), (Names{"eu"}));
    // A result without a Name column.
    Query k(fs);
    k.setDirectory("/data");
    k.setSql("SELECT Kategorie FROM cat WHERE Kategorie <> ''");
    k.open();
    EXPECT_EQ(k.fieldIndex("Name"), -1);
    EXPECT_EQ(k.recordCount(), 4);
}

TEST_F(QueryTest, FileSearchStatements) {
    Table t(fs);
    t.setDirectory("/data");
    t.setTableName("mv32list");
    t.setFieldDefs({{"Verzeichnis", FieldType::Text, 4096},
                    {"Dateiname", FieldType::Text, 255},
                    {"Erweiterung", FieldType::Text, 5},
                    {"Groesse", FieldType::Int64, 0},
                    {"Label", FieldType::Text, 11},
                    {"VolID", FieldType::Text, 8}});
    t.createTable();
    t.addIndex("", "Verzeichnis;Dateiname;Erweiterung;Groesse;Label;VolID");
    t.addIndex("DateinameIndex", "Dateiname");
    t.addIndex("GroesseIndex", "Groesse");
    t.open();
    auto add = [&](const std::string& dir, const std::string& name, int64_t size,
                   const std::string& label) {
        t.append();
        t.setAsString("Verzeichnis", dir);
        t.setAsString("Dateiname", name);
        auto dot = name.rfind('.');
        if (dot != std::string::npos) t.setAsString("Erweiterung", name.substr(dot));
        t.setAsInteger("Groesse", size);
        t.setAsString("Label", label);
        t.setAsString("VolID", "1A2B3C4D");
        t.post();
    };
    add("/cd/", "README.TXT", 300, "CD1");
    add("/cd/docs/", "Readme.doc", 5000000000, "CD1");
    add("/usb/", "myreadme", 20, "STICK");
    add("/usb/", "README.TXT", 300, "STICK");
    add("/usb/", "notes.txt", 1, "STICK");
    add("/usb/", "say \"hi\".txt", 2, "STICK");
    add("/usb/", "50%_off.txt", 3, "STICK");
    t.close();

    const std::string base = "SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"%";
    EXPECT_EQ(column(base + "README%\")", "Dateiname"),
              (Names{"README.TXT", "Readme.doc", "README.TXT", "myreadme"}));
    EXPECT_EQ(column(base + "README%\") ORDER BY Dateiname", "Dateiname"),
              (Names{"README.TXT", "README.TXT", "Readme.doc", "myreadme"}));
    EXPECT_EQ(column(base + "README%\") ORDER BY Verzeichnis", "Verzeichnis"),
              (Names{"/cd/", "/cd/docs/", "/usb/", "/usb/"}));
    EXPECT_EQ(column(base + "README%\") ORDER BY Erweiterung", "Erweiterung"),
              (Names{"", ".TXT", ".TXT", ".doc"}));
    EXPECT_EQ(column(base + "README%\") ORDER BY Groesse", "Groesse"),
              (Names{"20", "300", "300", "5000000000"}));
    EXPECT_EQ(column(base + "NOTHING%\")"), Names{});
    // Typed wildcards act as wildcards; a doubled quote searches for a quote.
    EXPECT_EQ(column(base + "50%\")", "Dateiname"), (Names{"50%_off.txt"}));
    EXPECT_EQ(column(base + "R_ADME.T%\")", "Dateiname"), (Names{"README.TXT", "README.TXT"}));
    EXPECT_EQ(column(base + "\"\"HI\"\"%\")", "Dateiname"), (Names{"say \"hi\".txt"}));
    // An unescaped quote breaks the statement: the engine's message says where.
    EXPECT_NE(errorOf(base + "\"HI%\")").find("Syntaxfehler"), std::string::npos);
    // Numbers: the 64-bit size compares as a number, also against a quoted literal.
    EXPECT_EQ(column("SELECT * FROM mv32list WHERE Groesse > \"4294967296\"", "Dateiname"),
              (Names{"Readme.doc"}));
}

TEST_F(QueryTest, DialectConditions) {
    standardCatalog();
    auto names = [&](const std::string& where) {
        return column("SELECT Name FROM cat WHERE " + where + " ORDER BY Name");
    };
    EXPECT_EQ(names("NOT (DatentraegerNr = 5) AND DatentraegerNr IS NOT NULL"),
              (Names{"Mytest 2", "Ölfilter"}));
    EXPECT_EQ(names("DatentraegerNr IS NULL"), (Names{"Zeta"}));
    EXPECT_EQ(names("Kategorie IS NULL"), (Names{"abc"}));
    // OR binds weaker than AND.
    EXPECT_EQ(names("DatentraegerNr = 12 OR DatentraegerNr = 5 AND Name = 'abc'"),
              (Names{"Mytest 2", "abc"}));
    EXPECT_EQ(names("DatentraegerNr IN (5, 20)"), (Names{"ABC Tools", "abc", "Ölfilter"}));
    EXPECT_EQ(names("DatentraegerNr NOT IN (5, 20)"), (Names{"Mytest 2"}));
    EXPECT_EQ(names("DatentraegerNr BETWEEN 6 AND 20"), (Names{"Mytest 2", "Ölfilter"}));
    EXPECT_EQ(names("DatentraegerNr NOT BETWEEN 6 AND 20"), (Names{"ABC Tools", "abc"}));
    EXPECT_EQ(names("DatentraegerNr <> 5 AND DatentraegerNr != 12"), (Names{"Ölfilter"}));
    // LIKE is case-sensitive; _ is one character (also a multi-byte one).
    EXPECT_EQ(names("Name LIKE 'abc%'"), (Names{"abc"}));
    EXPECT_EQ(names("Name LIKE '_lfilter'"), (Names{"Ölfilter"}));
    EXPECT_EQ(names("Name NOT LIKE '%t%'"), (Names{"ABC Tools", "abc"}));
    EXPECT_EQ(names("Memo LIKE '%Test'"), (Names{"Mytest 2"}));
    EXPECT_EQ(names("Name LIKE 'Mytest!%' ESCAPE '!'"), Names{});
    // UPPER and LOWER know the letters of windows-1252; ß stays.
    EXPECT_EQ(names("UPPER(Name) = 'ÖLFILTER'"), (Names{"Ölfilter"}));
    EXPECT_EQ(names("LOWER(Kategorie) = 'büro'"), (Names{"ABC Tools", "Zeta"}));
    EXPECT_EQ(column("SELECT UPPER('straße é ÿ') AS u FROM cat WHERE Name = 'abc'", "u"),
              (Names{"STRAßE É Ÿ"}));
    EXPECT_EQ(names("TRIM('  abc ') = Name"), (Names{"abc"}));
    EXPECT_EQ(names("SUBSTRING(Name FROM 2 FOR 3) = 'lfi'"), (Names{"Ölfilter"}));
    EXPECT_EQ(names("SUBSTRING(Name, 7) = ' 2'"), (Names{"Mytest 2"}));
    // Arithmetic on numbers and on texts that are numbers; || joins texts.
    EXPECT_EQ(names("Freier_Speicher / 1024 > 1000"), (Names{"ABC Tools", "Ölfilter"}));
    EXPECT_EQ(names("DatentraegerNr * 2 - 4 = 20 OR -DatentraegerNr = -20"),
              (Names{"Mytest 2", "Ölfilter"}));
    EXPECT_EQ(names("DatentraegerNr / 0 IS NULL AND DatentraegerNr + '1' = 6"),
              (Names{"ABC Tools", "abc"}));
    EXPECT_EQ(names("Name || '/' || Datentraeger = 'abc/Diskette'"), (Names{"abc"}));
    EXPECT_EQ(names("SUBSTRING(Name FROM 9223372036854775807 FOR 10) = ''"),
              (Names{"ABC Tools", "Mytest 2", "Zeta", "abc", "Ölfilter"}));
    // Code point order: upper case before lower case, umlauts after z.
    EXPECT_EQ(names("Name > 'Zeta'"), (Names{"abc", "Ölfilter"}));
}

TEST_F(QueryTest, DistinctGroupingAndOrder) {
    standardCatalog();
    EXPECT_EQ(column("SELECT DISTINCT Kategorie FROM cat ORDER BY Kategorie DESC", "Kategorie"),
              (Names{"Technik", "Spiele", "Büro", ""}));
    Query q(fs);
    q.setDirectory("/data");
    q.setSql(
        "SELECT Kategorie, COUNT(*) AS n, COUNT(DatentraegerNr), MIN(Name), MAX(Name), "
        "SUM(Gesamte_Groesse) FROM cat GROUP BY Kategorie ORDER BY n DESC, Kategorie");
    q.open();
    ASSERT_EQ(q.recordCount(), 4);
    EXPECT_EQ(q.displayText(0), "Büro");
    EXPECT_EQ(q.displayText(1), "2");
    EXPECT_EQ(q.displayText(2), "1");
    EXPECT_EQ(q.displayText(3), "ABC Tools");
    EXPECT_EQ(q.displayText(4), "Zeta");
    EXPECT_EQ(q.displayText(5), "10000000");  // "unbekannt" is no number and is left out
    EXPECT_EQ(q.fieldDef(1).name, "n");
    EXPECT_EQ(q.fieldDef(2).name, "COUNT(DatentraegerNr)");
    EXPECT_EQ(column("SELECT COUNT(*) AS n FROM cat WHERE Name = 'nobody'", "n"), Names{"0"});
    EXPECT_EQ(column("SELECT SUM(DatentraegerNr) AS s FROM cat", "s"), Names{"42"});
    EXPECT_EQ(column("SELECT Name, DatentraegerNr FROM cat ORDER BY DatentraegerNr DESC, 1"),
              (Names{"Ölfilter", "Mytest 2", "ABC Tools", "abc", "Zeta"}));
    EXPECT_EQ(column("SELECT Name AS x FROM cat ORDER BY x DESC", "x"),
              (Names{"Ölfilter", "abc", "Zeta", "Mytest 2", "ABC Tools"}));
}

TEST_F(QueryTest, RejectedStatementsSayWhyAndLeaveTheQueryClosed) {
    standardCatalog();
    EXPECT_EQ(errorOf("SELECT * FORM cat"),
              "Syntaxfehler in der SQL-Anweisung an Position 10 bei »FORM«: FROM erwartet.");
    EXPECT_EQ(errorOf("SELECT * FROM cat WHERE Name = \"abc"),
              "Syntaxfehler in der SQL-Anweisung an Position 32 bei »\"abc«: Der Text hat kein "
              "schließendes Anführungszeichen.");
    EXPECT_EQ(errorOf("SELECT * FROM cat WHERE Name ="),
              "Syntaxfehler in der SQL-Anweisung an Position 31 bei dem Ende der Anweisung: "
              "Ausdruck erwartet.");
    EXPECT_EQ(errorOf("SELECT Größe FROM cat"),
              "Das Feld »Größe« gibt es in der Tabelle »cat« nicht.");
    EXPECT_EQ(errorOf("SELECT * FROM fehlt"), "Die Tabelle »fehlt.db« existiert nicht.");
    EXPECT_EQ(errorOf("SELECT * FROM cat WHERE DatentraegerNr = \"zwölf\""),
              "Typkonflikt: »zwölf« ist keine Zahl und kann nicht mit dem Zahlenfeld "
              "»DatentraegerNr« verglichen werden.");
    EXPECT_EQ(errorOf("SELECT Name, COUNT(*) FROM cat"),
              "Die Spalte »Name« muss in GROUP BY stehen oder in einer Aggregatfunktion.");
    EXPECT_EQ(errorOf("SELECT * FROM cat WHERE COUNT(*) > 1"),
              "Die Funktion COUNT(*) ist hier nicht erlaubt: Aggregatfunktionen stehen nur in "
              "der Spaltenliste und in ORDER BY.");
    EXPECT_EQ(errorOf("DELETE FROM cat"),
              "Syntaxfehler in der SQL-Anweisung an Position 1 bei »DELETE«: Die Anweisung muss "
              "mit SELECT beginnen.");
    EXPECT_EQ(errorOf("SELECT * FROM cat WHERE DatentraegerNr * 'x' = 1"),
              "Typkonflikt: »DatentraegerNr * 'x'« erwartet an der Stelle von »'x'« eine Zahl.");
    EXPECT_EQ(errorOf("SELECT 9223372036854775807 + 1 FROM cat"),
              "Zahlenüberlauf beim Rechnen: Das Ergebnis passt nicht in eine 64-Bit-Zahl.");
    // Nesting is limited, so that no statement exhausts the stack.
    for (const std::string& deep :
         {std::string(5000, '(') + "1", "SELECT * FROM cat WHERE " + std::string(5000, '('),
          "SELECT * FROM cat WHERE" +
              [] {
                  std::string s;
                  for (int i = 0; i < 3000; ++i) s += " NOT";
                  return s;
              }(),
          "SELECT " +
              [] {
                  std::string s;
                  for (int i = 0; i < 3000; ++i) s += "UPPER(";
                  return s;
              }() +
              "Name FROM cat"}) {
        EXPECT_NE(errorOf(deep).find("Syntaxfehler"), std::string::npos) << deep.substr(0, 60);
    }
    EXPECT_EQ(column("SELECT Name FROM cat WHERE " + std::string(150, '(') + "Name = 'abc'" +
                     std::string(150, ')')),
              (Names{"abc"}));
    // A flat chain is one level, however long: thousands of OR, AND, + and - terms run.
    std::string ors = "SELECT Name FROM cat WHERE Name = 'zzz'";
    std::string sum = "SELECT Name FROM cat WHERE Name = 'abc' AND 3000 = 0";
    std::string ands = "SELECT Name FROM cat WHERE Name = 'abc'";
    for (int i = 0; i < 3000; ++i) {
        ors += " OR Name = 'abc'";
        sum += i % 2 ? " - 1 + 2" : " + 2 - 1";
        ands += " AND NOT Name = 'b" + std::to_string(i) + "'";
    }
    EXPECT_EQ(column(ors), (Names{"abc"}));
    EXPECT_EQ(column(sum), (Names{"abc"}));
    EXPECT_EQ(column(ands), (Names{"abc"}));
    // Operators of a chain still combine from left to right.
    EXPECT_EQ(column("SELECT Name FROM cat WHERE 10 - 4 - 3 = 3 AND 2 * 6 / 4 * 2 = 6 AND "
                     "'a' || 'b' || (1 + 2) = 'ab3' AND 1 + 2 || 'x' = '3x' AND Name = 'abc'"),
              (Names{"abc"}));
    EXPECT_EQ(errorOf("SELECT * FROM cat x WHERE y.Name = 'a'"),
              "Der Tabellenname »y« vor dem Feld »Name« ist in der Abfrage nicht bekannt.");
}

TEST_F(QueryTest, IndexesNarrowTheReadAndGiveTheOrder) {
    standardCatalog();
    auto planOf = [&](const std::string& s) {
        Query q(fs);
        q.setDirectory("/data");
        q.setSql(s);
        q.open();
        return q.plan();
    };
    EXPECT_EQ(planOf("SELECT * FROM cat WHERE DatentraegerNr = '5'"),
              "Index DatentraegerNrIndex, Bereich");
    EXPECT_EQ(planOf("SELECT * FROM cat WHERE Name LIKE 'AB%'"), "Tabelle, Bereich");
    EXPECT_EQ(planOf("SELECT * FROM cat WHERE Freier_Speicher < '2'"),
              "Index Freier_SpeicherIndex, Bereich");
    // Numeric comparison of a text column cannot use the text order of its index.
    EXPECT_EQ(planOf("SELECT * FROM cat WHERE Freier_Speicher < 2"), "Tabelle");
    EXPECT_EQ(planOf("SELECT * FROM cat ORDER BY DatentraegerNr"), "Index DatentraegerNrIndex");
    EXPECT_EQ(planOf("SELECT * FROM cat ORDER BY Name DESC"), "Tabelle");
    EXPECT_EQ(planOf("SELECT * FROM cat WHERE Kategorie <> '' ORDER BY DatentraegerNr"),
              "Tabelle, sortiert");
    EXPECT_EQ(column("SELECT * FROM cat ORDER BY Name DESC"),
              (Names{"Ölfilter", "abc", "Zeta", "Mytest 2", "ABC Tools"}));
}

// Every statement gives the same rows with and without the indexes that speed it up.
TEST_F(QueryTest, IndexedAndSequentialReadsAgree) {
    makeCatalog();
    {
        Table t(fs);
        t.setDirectory("/data");
        t.setTableName("cat.db");
        t.open();
        std::mt19937 rng(7);
        t.beginBulk();
        for (int i = 0; i < 3000; ++i) {
            t.append();
            t.setAsString("Name", "N" + std::to_string(rng() % 100000) + "_" + std::to_string(i));
            if (rng() % 10) t.setAsInteger("DatentraegerNr", static_cast<int>(rng() % 50) - 5);
            if (rng() % 4) t.setAsString("Freier_Speicher", std::to_string(rng() % 3000));
            t.post();
        }
        t.endBulk();
    }
    const std::vector<std::string> statements = {
        "SELECT Name FROM cat WHERE DatentraegerNr = 7",
        "SELECT Name FROM cat WHERE DatentraegerNr BETWEEN -2 AND 3 AND Name > 'N5'",
        "SELECT Name FROM cat WHERE DatentraegerNr >= 40 OR DatentraegerNr < -3",
        "SELECT Name FROM cat WHERE DatentraegerNr <= 0",
        "SELECT Name FROM cat WHERE DatentraegerNr > 40",
        "SELECT Name FROM cat WHERE Freier_Speicher < '15'",
        "SELECT Name FROM cat WHERE Freier_Speicher = ''",
        "SELECT Name FROM cat WHERE Freier_Speicher >= '2999'",
        "SELECT Name FROM cat WHERE Freier_Speicher LIKE '29%'",
        "SELECT Name FROM cat WHERE Name LIKE 'N99%'",
        "SELECT Name FROM cat WHERE Name = 'N1_1'",
    };
    std::vector<Names> indexed;
    for (const auto& s : statements) {
        Names r = column(s + " ORDER BY Name");
        indexed.push_back(r);
    }
    Table t(fs);
    t.setDirectory("/data");
    t.setTableName("cat.db");
    t.setExclusive(true);
    t.open();
    t.deleteIndex("DatentraegerNrIndex");
    t.deleteIndex("Freier_SpeicherIndex");
    t.close();
    for (size_t i = 0; i < statements.size(); ++i) {
        EXPECT_EQ(column(statements[i] + " ORDER BY Name"), indexed[i]) << statements[i];
        EXPECT_FALSE(indexed[i].empty() && i < 10) << statements[i];
    }
}

TEST_F(QueryTest, CursorNavigatesAndFollowsChanges) {
    standardCatalog();
    Query q(fs);
    q.setDirectory("/data");
    q.setSql("SELECT Name FROM cat WHERE Kategorie <> ''");
    q.open();
    EXPECT_TRUE(q.bof());
    EXPECT_EQ(q.recNo(), 1);
    EXPECT_EQ(q.asString("Name"), "ABC Tools");
    q.last();
    EXPECT_TRUE(q.eof());
    EXPECT_EQ(q.asString("Name"), "Ölfilter");
    q.next();
    EXPECT_TRUE(q.eof());
    EXPECT_EQ(q.recNo(), 4);
    q.moveTo(2);
    EXPECT_EQ(q.asString("Name"), "Mytest 2");
    q.prior();
    q.prior();
    EXPECT_TRUE(q.bof());
    EXPECT_EQ(q.asString("Name"), "ABC Tools");
    EXPECT_THROW(q.value("Kategorie"), EngineError);

    // Another handle adds a qualifying record: the result reads the table again.
    addRecord("AAA", 1, "", "", "", "Tiere");
    EXPECT_EQ(q.recordCount(), 5);
    q.first();
    EXPECT_EQ(q.asString("Name"), "AAA");

    Query empty(fs);
    empty.setDirectory("/data");
    empty.setSql("SELECT * FROM cat WHERE Name = 'niemand'");
    empty.open();
    EXPECT_TRUE(empty.bof());
    EXPECT_TRUE(empty.eof());
    EXPECT_EQ(empty.recNo(), 0);
    EXPECT_TRUE(empty.isBlank("Name"));
}

// Long memo texts are read when asked for; by then another handle may have changed them.
TEST_F(QueryTest, LongMemosAreReadFromTheCurrentTable) {
    makeCatalog();
    std::string longText(100000, 'a'), otherText(90000, 'b');
    addRecord("Lang", 1, "", "", "", "", longText);
    addRecord("Kurz", 2, "", "", "", "", "kurz");
    Query q(fs);
    q.setDirectory("/data");
    q.setSql("SELECT Name, Memo, UPPER(Memo) AS Gross FROM cat ORDER BY Name");
    q.open();
    EXPECT_EQ(q.asString("Name"), "Kurz");
    EXPECT_EQ(q.asString("Memo"), "kurz");
    Table t(fs);
    t.setDirectory("/data");
    t.setTableName("cat");
    t.open();
    ASSERT_TRUE(t.locate("Name", {Value("Lang")}));
    t.edit();
    t.setAsString("Memo", otherText);
    t.post();
    q.next();
    EXPECT_EQ(q.asString("Name"), "Lang");
    EXPECT_EQ(q.asString("Memo"), otherText);
    EXPECT_EQ(q.asString("Gross"), std::string(90000, 'B'));
}

// The file search window holds the file list exclusively and searches it; the catalog searches
// read the open catalog.
TEST_F(QueryTest, ReadsThroughAnOpenTable) {
    standardCatalog();
    Table t(fs);
    t.setDirectory("/data");
    t.setTableName("CAT");
    t.setExclusive(true);
    t.open();
    Query q(fs);
    q.setDirectory("/data/");
    q.setSql("SELECT Name FROM cat.db WHERE DatentraegerNr = 5");
    EXPECT_THROW(q.open(), EngineError);  // a handle of its own is refused
    q.useTable(t);
    q.open();
    EXPECT_EQ(q.recordCount(), 2);
    // A record posted through the table shows at once.
    t.append();
    t.setAsString("Name", "AAA");
    t.setAsInteger("DatentraegerNr", 5);
    t.post();
    q.first();
    EXPECT_EQ(q.recordCount(), 3);
    EXPECT_EQ(q.asString("Name"), "AAA");
    t.close();
    try {
        q.next();
        FAIL() << "Abfrage über eine geschlossene Tabelle gelesen";
    } catch (const EngineError& e) {
        EXPECT_STREQ(e.what(), "Die Tabelle »cat.db« der Abfrage wurde inzwischen geschlossen.");
    }
    // Without the open table the query opens its own handle again.
    q.open();
    EXPECT_EQ(q.recordCount(), 3);
}

}  // namespace

}  // namespace mv32::engine

namespace mv32::engine {

namespace {

// An independent reading of the dialect's comparison rules, for random conditions.
struct ModelRow {
    std::string name;
    std::optional<int64_t> a;  // blank: NULL
    std::string t;             // blank reads as ''
};

using Truth = int;  // 1 true, 0 false, -1 unknown

Truth notOf(Truth x) {
    return x < 0 ? -1 : 1 - x;
}
Truth andOf(Truth x, Truth y) {
    if (x == 0 || y == 0) return 0;
    return x < 0 || y < 0 ? -1 : 1;
}
Truth orOf(Truth x, Truth y) {
    if (x == 1 || y == 1) return 1;
    return x < 0 || y < 0 ? -1 : 0;
}

std::optional<int64_t> asNumber(const std::string& s) {
    if (s.empty()) return std::nullopt;
    size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size()) return std::nullopt;
    for (size_t k = i; k < s.size(); ++k) {
        if (s[k] < '0' || s[k] > '9') return std::nullopt;
    }
    return std::stoll(s);
}

Truth cmp(std::optional<int> c, const std::string& op) {
    if (!c) return -1;
    int v = *c;
    if (op == "=") return v == 0;
    if (op == "<>") return v != 0;
    if (op == "<") return v < 0;
    if (op == ">") return v > 0;
    if (op == "<=") return v <= 0;
    return v >= 0;
}

std::optional<int> order(int64_t x, int64_t y) {
    return x < y ? -1 : (x > y ? 1 : 0);
}

// LIKE over code points (the texts here are short): % any run, _ one character.
bool likeModel(const std::u32string& v, size_t i, const std::u32string& p, size_t j) {
    if (j == p.size()) return i == v.size();
    if (p[j] == U'%') {
        for (size_t k = i; k <= v.size(); ++k) {
            if (likeModel(v, k, p, j + 1)) return true;
        }
        return false;
    }
    if (i == v.size()) return false;
    return (p[j] == U'_' || p[j] == v[i]) && likeModel(v, i + 1, p, j + 1);
}

std::u32string codePoints(const std::string& s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        size_t len = 0;
        out.push_back(text::decodeAt(s, i, &len));
        i += len;
    }
    return out;
}

struct Condition {
    std::string sql;
    std::function<Truth(const ModelRow&)> eval;
};

Condition randomAtom(std::mt19937& rng) {
    static const char* ops[] = {"=", "<>", "<", ">", "<=", ">="};
    static const char* texts[] = {"", "a", "ab", "b", "B", "ä", "10", "9", "abc"};
    static const char* patterns[] = {"a%", "%b", "_", "%", "a_c", "ä%", "%a%", "1_"};
    std::string op = ops[rng() % 6];
    int64_t n = static_cast<int64_t>(rng() % 13) - 6;
    switch (rng() % 8) {
        case 0:
            return {"A " + op + " " + std::to_string(n),
                    [=](const ModelRow& r) { return r.a ? cmp(order(*r.a, n), op) : -1; }};
        case 1:  // a number field against a quoted number
            return {"A " + op + " '" + std::to_string(n) + "'",
                    [=](const ModelRow& r) { return r.a ? cmp(order(*r.a, n), op) : -1; }};
        case 2: {
            std::string lit = texts[rng() % 9];
            return {"T " + op + " '" + lit + "'", [=](const ModelRow& r) {
                        int c = r.t.compare(lit);
                        return cmp(c < 0 ? -1 : (c > 0 ? 1 : 0), op);
                    }};
        }
        case 3:  // a text field against a number: numerically, non-numbers never match
            return {"T " + op + " " + std::to_string(n), [=](const ModelRow& r) {
                        auto v = asNumber(r.t);
                        return v ? cmp(order(*v, n), op) : -1;
                    }};
        case 4: {
            std::string p = patterns[rng() % 8];
            bool neg = rng() % 3 == 0;
            return {std::string("T ") + (neg ? "NOT " : "") + "LIKE '" + p + "'",
                    [=](const ModelRow& r) {
                        bool m = likeModel(codePoints(r.t), 0, codePoints(p), 0);
                        return Truth{m != neg};
                    }};
        }
        case 5:
            if (rng() % 2) {
                return {"A IS NULL", [](const ModelRow& r) { return Truth{!r.a}; }};
            }
            return {"T IS NOT NULL", [](const ModelRow& r) { return Truth{!r.t.empty()}; }};
        case 6: {
            int64_t hi = n + static_cast<int64_t>(rng() % 5);
            return {"A BETWEEN " + std::to_string(n) + " AND " + std::to_string(hi),
                    [=](const ModelRow& r) {
                        if (!r.a) return -1;
                        return Truth{*r.a >= n && *r.a <= hi};
                    }};
        }
        default: {
            int64_t m = n + 2;
            return {"A IN (" + std::to_string(n) + ", " + std::to_string(m) + ")",
                    [=](const ModelRow& r) {
                        if (!r.a) return -1;
                        return Truth{*r.a == n || *r.a == m};
                    }};
        }
    }
}

Condition randomCondition(std::mt19937& rng, int depth) {
    if (depth == 0 || rng() % 3 == 0) return randomAtom(rng);
    Condition x = randomCondition(rng, depth - 1);
    switch (rng() % 3) {
        case 0: {
            Condition y = randomCondition(rng, depth - 1);
            return {"(" + x.sql + ") AND (" + y.sql + ")",
                    [=](const ModelRow& r) { return andOf(x.eval(r), y.eval(r)); }};
        }
        case 1: {
            Condition y = randomCondition(rng, depth - 1);
            return {"(" + x.sql + ") OR (" + y.sql + ")",
                    [=](const ModelRow& r) { return orOf(x.eval(r), y.eval(r)); }};
        }
        default:
            return {"NOT (" + x.sql + ")", [=](const ModelRow& r) { return notOf(x.eval(r)); }};
    }
}

// Random conditions against the model, with and without indexes on the compared fields.
TEST(QueryModelTest, RandomConditionsMatchTheModel) {
    auto fs = std::make_shared<test::MemFileSystem>();
    Table t(fs);
    t.setDirectory("/m");
    t.setTableName("m");
    t.setFieldDefs(
        {{"Name", FieldType::Text, 20}, {"A", FieldType::Int32, 0}, {"T", FieldType::Text, 10}});
    t.createTable();
    t.addIndex("", "Name");
    t.addIndex("AIndex", "A;Name");
    t.addIndex("TIndex", "T");
    t.open();
    std::mt19937 rng(2026);
    static const char* texts[] = {"", "a", "ab", "b", "B", "ä", "10", "9", "abc", "-3"};
    std::vector<ModelRow> model;
    for (int i = 0; i < 300; ++i) {
        ModelRow r;
        r.name = "n" + std::to_string(1000 + i);
        t.append();
        t.setAsString("Name", r.name);
        if (rng() % 6) {
            r.a = static_cast<int64_t>(rng() % 13) - 6;
            t.setAsInteger("A", *r.a);
        }
        if (rng() % 6) {
            r.t = texts[rng() % 10];
            t.setAsString("T", r.t);
        }
        t.post();
        model.push_back(r);
    }
    std::vector<Condition> conditions;
    for (int i = 0; i < 250; ++i) conditions.push_back(randomCondition(rng, 3));
    auto check = [&](const char* when) {
        Query q(fs);
        q.setDirectory("/m");
        q.useTable(t);
        for (const Condition& c : conditions) {
            q.setSql("SELECT Name FROM m WHERE " + c.sql + " ORDER BY Name");
            q.open();
            std::vector<std::string> got, want;
            for (q.first(); !q.eof(); q.next()) got.push_back(q.asString("Name"));
            for (const ModelRow& r : model) {
                if (c.eval(r) == 1) want.push_back(r.name);
            }
            ASSERT_EQ(got, want) << when << ": " << c.sql << " (" << q.plan() << ")";
        }
    };
    check("mit Indizes");
    t.close();
    t.setExclusive(true);
    t.open();
    t.deleteIndex("AIndex");
    t.deleteIndex("TIndex");
    check("ohne Indizes");
}

}  // namespace

}  // namespace mv32::engine

namespace mv32::engine {

// Results found as they are read give the rows a whole result gives, in the same order,
// however the cursor reaches them.
TEST(QueryModelTest, ResultsFoundAsTheyAreReadAreTheWholeResult) {
    auto fs = std::make_shared<test::MemFileSystem>();
    Table t(fs);
    t.setDirectory("/m");
    t.setTableName("m");
    t.setFieldDefs(
        {{"Name", FieldType::Text, 20}, {"A", FieldType::Int32, 0}, {"T", FieldType::Text, 10}});
    t.createTable();
    t.addIndex("", "Name");
    t.addIndex("AIndex", "A;Name");
    t.open();
    std::mt19937 rng(77);
    static const char* texts[] = {"", "a", "ab", "b", "B", "ä", "10", "9", "abc", "-3"};
    std::vector<ModelRow> model;
    t.beginBulk();
    for (int i = 0; i < 2000; ++i) {
        ModelRow r;
        r.name = "n" + std::to_string(10000 + i);
        t.append();
        t.setAsString("Name", r.name);
        if (rng() % 6) {
            r.a = static_cast<int64_t>(rng() % 13) - 6;
            t.setAsInteger("A", *r.a);
        }
        if (rng() % 6) {
            r.t = texts[rng() % 10];
            t.setAsString("T", r.t);
        }
        t.post();
        model.push_back(r);
    }
    t.endBulk();
    Query q(fs);
    q.setDirectory("/m");
    q.useTable(t);
    for (int i = 0; i < 120; ++i) {
        Condition c = randomCondition(rng, 3);
        std::vector<std::string> want;
        for (const ModelRow& r : model) {
            if (c.eval(r) == 1) want.push_back(r.name);
        }
        q.setSql("SELECT Name, A FROM m WHERE " + c.sql);
        // The whole result found first: the order of the plan (an index's, when one is used).
        q.open();
        q.recordCount();
        std::vector<std::string> whole;
        for (q.first(); !q.eof(); q.next()) whole.push_back(q.asString("Name"));
        std::vector<std::string> sorted = whole;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(sorted, want) << c.sql << " (" << q.plan() << ")";
        // Row by row from the start: only what is read is found, in the same order.
        q.open();
        std::vector<std::string> walked;
        for (q.first(); !q.eof(); q.next()) walked.push_back(q.asString("Name"));
        ASSERT_EQ(walked, whole) << c.sql << " (" << q.plan() << ")";
        // Jumps ahead, back and to the end.
        q.open();
        if (!whole.empty()) {
            for (int64_t n : {int64_t(whole.size()) / 2 + 1, int64_t(1), int64_t(whole.size())}) {
                q.moveTo(n);
                ASSERT_EQ(q.asString("Name"), whole[static_cast<size_t>(n - 1)]) << c.sql;
            }
        }
        q.open();
        ASSERT_EQ(q.recordCount(), static_cast<int64_t>(want.size())) << c.sql;
        ASSERT_TRUE(q.allFound());
    }
    // A condition that most rows meet is found only as far as it is read.
    q.setSql("SELECT Name FROM m WHERE Name >= 'n1'");
    q.open();
    EXPECT_FALSE(q.allFound());
    EXPECT_LT(q.recordsFound(), 2000);
    q.findMore(1500);
    EXPECT_GE(q.recordsFound(), 1500);
    q.last();
    EXPECT_EQ(q.recNo(), 2000);
    EXPECT_TRUE(q.allFound());
}

// The overview deletes the records of a result while it walks it: no record comes twice, and
// none that was deleted stops the walk.
TEST(QueryModelTest, DeletingRecordsWhileWalkingAResultShowsEachRecordOnce) {
    auto fs = std::make_shared<test::MemFileSystem>();
    Table t(fs);
    t.setDirectory("/m");
    t.setTableName("m");
    t.setFieldDefs({{"Name", FieldType::Text, 20}, {"A", FieldType::Int32, 0}});
    t.createTable();
    t.addIndex("", "Name");
    t.open();
    for (int i = 0; i < 600; ++i) {
        t.append();
        t.setAsString("Name", "n" + std::to_string(1000 + i));
        t.setAsInteger("A", i % 3);
        t.post();
    }
    for (const char* sql :
         {"SELECT Name FROM m WHERE A = 1", "SELECT Name FROM m WHERE A = 1 ORDER BY Name DESC"}) {
        SCOPED_TRACE(sql);
        Query q(fs);
        q.setDirectory("/m");
        q.useTable(t);
        q.setSql(sql);
        q.open();
        const int64_t total = q.recordCount();
        q.first();
        std::set<std::string> seen;
        int deleted = 0;
        // Every other record of the result goes; the walk goes on with next().
        while (!q.eof()) {
            const std::string name = q.asString("Name");
            ASSERT_TRUE(seen.insert(name).second) << name << " came twice";
            if (seen.size() % 2 == 1) {
                ASSERT_TRUE(t.locate("Name", {Value(name)}));
                t.remove();
                ++deleted;
            } else {
                q.next();
            }
        }
        EXPECT_EQ(static_cast<int64_t>(seen.size()), total);
        EXPECT_EQ(q.recordCount(), total - deleted);
        // Put them back for the next statement.
        for (const auto& name : seen) {
            if (t.locate("Name", {Value(name)})) continue;
            t.append();
            t.setAsString("Name", name);
            t.setAsInteger("A", 1);
            t.post();
        }
    }
}

}  // namespace mv32::engine
