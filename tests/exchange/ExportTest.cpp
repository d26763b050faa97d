// The text, HTML and dBase exports and the catalog import: files byte by byte, the result-set
// rules, the pages per initial, the merge by name, and the commands around them.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "document/Catalog.h"
#include "document/DocumentFixture.h"
#include "engine/DbfTable.h"
#include "engine/Query.h"
#include "engine/Table.h"
#include "engine/Text.h"
#include "exchange/DbaseExport.h"
#include "exchange/ExportCommands.h"
#include "exchange/ExportFile.h"
#include "exchange/HtmlExport.h"
#include "exchange/TextExport.h"
#include "support/SmallMedium.h"

namespace mv32::exchange {
namespace {

using document::Answer;
namespace fs = std::filesystem;

struct Rec {
    Rec(std::string n, int nr = 0, std::string med = "", std::string cat = "",
        std::string tot = "", std::string fr = "", std::string cnt = "", std::string o = "",
        std::string st = "", std::string mem = "")
        : name(std::move(n)), number(nr), medium(std::move(med)), category(std::move(cat)),
          total(std::move(tot)), free(std::move(fr)), count(std::move(cnt)), of(std::move(o)),
          status(std::move(st)), memo(std::move(mem)) {}
    std::string name;
    int number;  // 0: none
    std::string medium, category, total, free, count, of, status, memo;
};

const std::string kBanner =
    "\r\n                          Mavrel Export-Tool\r\n"
    "                                 Version 3.20\r\n"
    "                      Liste der Programme und Datentr\xE4ger \r\n\r\n\r\n";
const std::string kEnd =
    "\r\n                  >>>>>>>>>>>>>>  Datei Ende  <<<<<<<<<<<<<< \r\n";
const std::string kRule = "       " + std::string(71, '-') + "\r\n";

class ExportTest : public test::DocumentFixture {
protected:
    void catalogOf(const std::string& path, const std::vector<Rec>& recs) {
        engine::Table t;
        t.setTableName(path);
        document::createCatalogTable(t);
        t.open();
        for (const auto& r : recs) {
            t.append();
            t.setAsString("Name", r.name);
            if (r.number) t.setAsInteger("DatentraegerNr", r.number);
            t.setAsString("Datentraeger", r.medium);
            t.setAsString("Kategorie", r.category);
            t.setAsString("Gesamte_Groesse", r.total);
            t.setAsString("Freier_Speicher", r.free);
            t.setAsString("Datentraeger_Anzahl", r.count);
            t.setAsString("von", r.of);
            t.setAsString("Status", r.status);
            t.setAsString("Memo", r.memo);
            t.post();
        }
        t.close();
    }
    engine::Table& open(const std::vector<Rec>& recs) {
        catalogOf(data("kat.db"), recs);
        table.setTableName(data("kat.db"));
        table.open();
        return table;
    }
    engine::Table table;
};

}  // namespace

TEST_F(ExportTest, TheTextListingIsWrittenByteForByte) {
    auto& t = open({{"Zeta", 12, "CD", "Spiel"}, {"Äpfel", 0, "", ""}});
    writeTextExport(t, ExportSource::Catalog, {}, data("a.txt"));
    // Name order; the number line even without a number, the medium line even without one.
    EXPECT_EQ(readFile(data("a.txt")),
              kBanner + "     1 Zeta\r\n       Datentraegernummer: 12\r\n"
                        "       Datentraeger: CD\r\n       Kategorie: Spiel\r\n" +
                  kRule + "     2 \xC4pfel\r\n       Datentraegernummer: \r\n"
                          "       Datentraeger: \r\n" +
                  kRule + kEnd);
    table.close();

    // An empty catalog: the banner and the end lines only.
    catalogOf(data("leer.db"), {});
    engine::Table empty;
    empty.setTableName(data("leer.db"));
    empty.open();
    writeTextExport(empty, ExportSource::Catalog, {}, data("leer.txt"));
    EXPECT_EQ(readFile(data("leer.txt")), kBanner + kEnd);
}

TEST_F(ExportTest, EveryBoxAddsItsLinesAndSizesAre64Bit) {
    auto& t = open({{"A", 1, "DVD", "K", "1023", "10240", "2", "3", "neu"},
                    {"B", 2, "CD", "", "12345678", "5368709120", "2", ""},
                    {"C", 3, "CD", "", "viel", "1457664"}});
    ExportChoice all;
    all.count = all.info = all.status = all.date = true;
    writeTextExport(t, ExportSource::Catalog, all, data("b.txt"));
    const std::string text = readFile(data("b.txt"));
    EXPECT_NE(text.find("     1 A\r\n       Datentraegernummer: 1\r\n       Datentraeger 2 von 3\r\n"
                        "       Gesamte Groesse: 1023  (1023 Byte)\r\n"
                        "       Freier Speicher: 10240  (10 KByte)\r\n"
                        "       Datentraeger: DVD\r\n       Status: neu\r\n       Kategorie: K\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("     2 B\r\n       Datentraegernummer: 2\r\n"
                        "       Gesamte Groesse: 12345678  (11 MByte)\r\n"
                        "       Freier Speicher: 5368709120  (5120 MByte)\r\n"
                        "       Datentraeger: CD\r\n" + kRule),
              std::string::npos);
    EXPECT_NE(text.find("       Gesamte Groesse: 0  (0 Byte)\r\n"
                        "       Freier Speicher: 1457664  (1423 KByte)\r\n"),
              std::string::npos);
}

TEST_F(ExportTest, AResultLeavesOutWhatItLacks) {
    open({{"Alpha", 0, "CD", "Spiel", "", "", "", "", "ok"}, {"Beta", 7, "DVD", "Tools"}});
    engine::Query q;
    q.setDirectory(work.path());
    q.useTable(table);
    q.setSql("SELECT Name, DatentraegerNr, Kategorie FROM kat.db ORDER BY Kategorie DESC");
    q.open();
    ExportChoice c;
    c.status = true;
    writeTextExport(q, ExportSource::Result, c, data("r.txt"));
    EXPECT_EQ(readFile(data("r.txt")),
              kBanner + "     1 Beta\r\n       Datentraegernummer: 7\r\n       Kategorie: Tools\r\n" +
                  kRule + "     2 Alpha\r\n       Kategorie: Spiel\r\n" + kRule + kEnd);
    q.close();

    // Without a Name column the name's line goes like any other: no bare number.
    q.setSql("SELECT Kategorie FROM kat.db ORDER BY Kategorie");
    q.open();
    writeTextExport(q, ExportSource::Result, c, data("ohne.txt"));
    EXPECT_EQ(readFile(data("ohne.txt")), kBanner + "       Kategorie: Spiel\r\n" + kRule +
                                              "       Kategorie: Tools\r\n" + kRule + kEnd);
}

TEST_F(ExportTest, HtmlPagesGroupEveryInitialOnceWhateverTheNameOrder) {
    auto& t = open({{"Alpha", 1, "CD", "Spiel"},
                    {"Bravo"},
                    {"Beta <b>&\"x\""},
                    {"alpha klein"},
                    {".versteckt"},
                    {"7up"},
                    {"ärger Жук"}});
    writeHtmlExport(t, {}, data("cat.HTML"));
    const std::string index = readFile(data("cat.HTML"));
    auto cell = [](const std::string& page, const std::string& text) {
        return "<TD WIDTH=\"10%\" VALIGN=\"TOP\" BGCOLOR=GAINSBORO><P><CENTER><A HREF=\"" + page +
               "\">" + text + "</A></CENTER></TD>\r\n";
    };
    // One cell per initial, in the order they first come: "alpha klein" joins A.
    EXPECT_NE(index.find("<TR>\r\n" + cell("cat_U002E.HTML", ".") + cell("cat_7.HTML", "7") +
                         cell("cat_A.HTML", "A") + cell("cat_B.HTML", "B") +
                         cell("cat_%C3%A4.HTML", "\xE4") + "</TABLE>\r\n"),
              std::string::npos)
        << index;
    EXPECT_EQ(index.substr(0, 6), "<HTML>");
    const std::string a = readFile(data("cat_A.HTML"));
    EXPECT_NE(a.find("Alpha</B>"), std::string::npos);
    EXPECT_NE(a.find("alpha klein</B>"), std::string::npos);
    // The default rows of a record, and the foot.
    EXPECT_NE(a.find("<P><B><I><FONT SIZE=4>Alpha</B></I></FONT></TD></TR>\r\n"
                     "<TR><TD WIDTH=130 VALIGN=\"TOP\" BGCOLOR=SILVER><P><I>Datentr&auml;gernr.: "
                     "</I></TD>\r\n<TD WIDTH=654 VALIGN=\"TOP\" COLSPAN=1 BGCOLOR=GAINSBORO><P>1"
                     "</TD></TR>\r\n"),
              std::string::npos);
    EXPECT_NE(a.find("Kategorie: </I></TD>\r\n<TD WIDTH=654 VALIGN=\"TOP\" COLSPAN=1 "
                     "BGCOLOR=GAINSBORO><P>Spiel</TD></TR>\r\n</TABLE>\r\n</CENTER></P>\r\n"),
              std::string::npos);
    EXPECT_EQ(a.substr(a.size() - 9), "</HTML>\r\n");
    // Escaped, and characters windows-1252 lacks as references.
    EXPECT_NE(readFile(data("cat_B.HTML")).find("Beta &lt;b&gt;&amp;&quot;x&quot;</B>"),
              std::string::npos);
    EXPECT_NE(readFile(data("cat_ä.HTML")).find("\xE4rger &#1046;&#1091;&#1082;</B>"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(data("cat_U002E.HTML")));
    EXPECT_TRUE(fs::exists(data("cat_7.HTML")));
}

TEST_F(ExportTest, HtmlPagesStayApartOnMediaThatIgnoreCase) {
    // ä and Ä are one file on FAT and Windows: the initial met first keeps its name, the other
    // is named by its code point. a to z are upper-cased before and never need it.
    EXPECT_EQ(
        pageNames({"\xC3\x84", "B", "\xC3\xA4", "\xC3\xA9", "\xC3\x89", "\xC3\x96"}),
        (std::vector<std::string>{"\xC3\x84", "B", "U00E4", "\xC3\xA9", "U00C9", "\xC3\x96"}));
    auto& t = open({{"\xC3\x84pfel"},
                    {"\xC3\xA4sen"},
                    {"\xC3\x89"
                     "clair"},
                    {"\xC3\xA9lan"}});
    writeHtmlExport(t, {}, data("cat.HTML"));
    const std::string index = readFile(data("cat.HTML"));
    std::set<std::string> folded;
    size_t pages = 0;
    for (size_t at = 0; (at = index.find("<A HREF=\"", at)) != std::string::npos; ++pages) {
        at += 9;
        const std::string page = index.substr(at, index.find('"', at) - at);
        std::string name;  // the link's percent-encoding undone
        for (size_t i = 0; i < page.size(); ++i) {
            if (page[i] == '%') {
                name += static_cast<char>(std::stoi(page.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                name += page[i];
            }
        }
        EXPECT_TRUE(fs::exists(data(name))) << name;
        folded.insert(engine::text::upper(name));
    }
    EXPECT_EQ(pages, 4u);
    EXPECT_EQ(folded.size(), 4u) << index;
    EXPECT_NE(index.find("cat_U00"), std::string::npos);
}

TEST_F(ExportTest, HtmlIndexRowsHoldTenCellsAndOnePageHoldsAllWithoutSplitting) {
    std::vector<Rec> recs;
    for (char c = 'A'; c <= 'K'; ++c) recs.emplace_back(std::string(1, c) + "x");
    recs[0].total = "1457664";
    recs[0].count = "0";
    recs[0].of = "4";
    auto& t = open(recs);
    writeHtmlExport(t, {}, data("i.HTML"));
    const std::string index = readFile(data("i.HTML"));
    EXPECT_NE(index.find("i_J.HTML\">J</A></CENTER></TD>\r\n</TR>\r\n<TR>\r\n"), std::string::npos);
    EXPECT_NE(index.find("i_K.HTML\">K</A></CENTER></TD>\r\n</TABLE>"), std::string::npos);

    ExportChoice one;
    one.split = false;
    one.info = one.count = true;
    writeHtmlExport(t, one, data("ganz.html"));
    const std::string page = readFile(data("ganz.html"));
    EXPECT_FALSE(fs::exists(data("ganz_A.HTML")));
    EXPECT_NE(page.find("gesamte Gr\xF6\xDF" "e: </I></TD>\r\n<TD WIDTH=554 VALIGN=\"TOP\" "
                        "COLSPAN=1 BGCOLOR=GAINSBORO><P>1423 KByte</TD></TR>"),
              std::string::npos);
    EXPECT_EQ(page.find("von "), std::string::npos);  // a count of 0: neither row
    size_t tables = 0;
    for (size_t at = 0; (at = page.find("WIDTH=684>", at)) != std::string::npos; ++at) ++tables;
    EXPECT_EQ(tables, 11u);
}

TEST_F(ExportTest, DbaseExportAndTheCatalogImport) {
    auto& t = open({{"Alpha", 12, "CD", "Spiel", "", "", "", "", "", std::string(300, 'm')},
                    {"Beta"},
                    {"Gamma"}});
    writeDbaseExport(t, data("k.DBF"));
    engine::DbfTable dbf;
    dbf.setPath(data("k.DBF"));
    dbf.open();
    EXPECT_EQ(dbf.recordCount(), 3);
    EXPECT_EQ(dbf.fieldCount(), 14);
    dbf.first();
    EXPECT_EQ(dbf.displayText("MEDIUMNR"), "12");
    EXPECT_EQ(dbf.displayText("MEMO"), std::string(254, 'm'));
    dbf.close();
    table.close();

    // Merging: Alpha replaced, Delta added.
    openCatalog(data("kat.db"));
    catalogOf(data("alt.db"), {{"Alpha", 99, "DVD"}, {"Delta"}});
    doc->state().DataSaved = true;
    ui.clear();
    ExportCommands commands(*doc, program->catalogSource());
    ui.choose(data("alt.txt"));
    commands.importCatalog();  // another extension: nothing
    ui.choose(data("alt.db"));
    commands.importCatalog();
    EXPECT_EQ(ui.dialogue().back(),
              "message Hinweis \"Die Datei ALT.DB wurde der Datenbank hinzugefügt!\" OK");
    EXPECT_EQ(namesIn(data("kat.db")), (std::vector<std::string>{"Alpha", "Beta", "Delta", "Gamma"}));
    ASSERT_TRUE(doc->MV32().locate("Name", {engine::Value("Alpha")}));
    EXPECT_EQ(doc->MV32().displayText("DatentraegerNr"), "99");
    EXPECT_TRUE(doc->state().DataSaved);

    // A table of another layout is refused before a record is written.
    engine::Table other;
    other.setTableName(data("andere.db"));
    other.setFieldDefs({{"Name", engine::FieldType::Text, 40}});
    other.createTable();
    other.open();
    other.append();
    other.setAsString("Name", "Fremd");
    other.post();
    other.close();
    ui.clear();
    ui.choose(data("andere.db"));
    commands.importCatalog();
    ASSERT_EQ(ui.dialogue().size(), 2u);
    EXPECT_NE(ui.dialogue()[1].find("ist kein Katalog"), std::string::npos) << ui.dialogue()[1];
    EXPECT_EQ(namesIn(data("kat.db")).size(), 4u);
}

TEST_F(ExportTest, TheCommandsAskForTheFileAndNeverLeaveHalfAFile) {
    makeCatalog(data("kat.db"), {"Alpha"});
    openCatalog(data("kat.db"));
    ui.clear();
    ExportCommands commands(*doc, program->catalogSource());
    ui.choose(data("liste"));
    commands.textExport({});
    EXPECT_EQ(ui.fileDialogs.back().initialName, "kat");
    EXPECT_EQ(ui.fileDialogs.back().title, "Daten in das ASCII-Format exportieren");
    ASSERT_TRUE(fs::exists(data("liste.TXT")));
    EXPECT_FALSE(doc->state().AutoSaveHold);
    // An existing file: replaced only on "&Ja".
    writeFile(data("liste.TXT"), "alt");
    ui.choose(data("liste.TXT"));
    ui.answer(Answer::Nein);
    commands.textExport({});
    EXPECT_EQ(readFile(data("liste.TXT")), "alt");
    ui.choose(data("liste.TXT"));
    ui.answer(Answer::Ja);
    commands.textExport({});
    EXPECT_NE(readFile(data("liste.TXT")), "alt");
    // A file that cannot be made: "Fehler: " and the reason.
    ui.clear();
    ui.choose(data("fehlt/liste.TXT"));
    commands.textExport({});
    ASSERT_FALSE(ui.dialogue().empty());
    EXPECT_EQ(ui.dialogue().back().rfind("message Fehler \"Fehler: Anlegen der Datei", 0), 0u)
        << ui.dialogue().back();

    // The catalog's own files are refused however they are reached, before any question.
    const std::string before = readFile(data("kat.db"));
    fs::create_symlink(data("kat.db"), data("verweis.TXT"));
    fs::create_symlink(data("kat.mb"), data("verweis.PDF"));
    ui.clear();
    ui.choose(data("verweis.TXT"));
    commands.textExport({});
    ui.choose(data("verweis"));
    EXPECT_EQ(commands.askPdfTarget(), "");
    ASSERT_EQ(ui.dialogue().size(), 4u);
    EXPECT_EQ(ui.dialogue()[1].rfind("message Fehler \"Das Ziel \xC2\xBB" + data("verweis.TXT"), 0),
              0u)
        << ui.dialogue()[1];
    EXPECT_NE(ui.dialogue()[1].find("eine Datei der Tabelle \xC2\xBBkat.db\xC2\xAB"),
              std::string::npos);
    EXPECT_NE(ui.dialogue()[3].find(data("kat.mb")), std::string::npos) << ui.dialogue()[3];
    EXPECT_EQ(readFile(data("kat.db")), before);
    EXPECT_TRUE(fs::is_symlink(data("verweis.TXT")));
    EXPECT_FALSE(commands.targetAllowed(programDir() + "UNDO.DB"));
    EXPECT_TRUE(commands.targetAllowed(data("kat.TXT")));
    ui.choose(data("liste"));
    EXPECT_EQ(commands.askPdfTarget(), data("liste.PDF"));

    // A full disk: the old file stays whole, nothing is left beside it.
    test::SmallMedium small(64 * 1024);
    if (!small.available()) GTEST_SKIP() << small.whyNot();
    writeFile(small.file("voll.TXT"), "alte Liste");
    ExportFile big(small.file("voll.TXT"));
    EXPECT_THROW(
        {
            for (int i = 0; i < 64; ++i) big.write(std::string(4096, 'x'));
            big.commit();
        },
        engine::EngineError);
    EXPECT_EQ(readFile(small.file("voll.TXT")), "alte Liste");
    EXPECT_EQ(std::distance(fs::directory_iterator(small.path()), fs::directory_iterator()), 1);
}

}  // namespace mv32::exchange
