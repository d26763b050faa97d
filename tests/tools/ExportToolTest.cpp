// The exports and the merge from the command line: the same files as the menus write, the
// options, and the refusals with their exit status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "document/Catalog.h"
#include "engine/Table.h"
#include "support/TempDir.h"
#include "tools/ToolRun.h"

namespace mv32::tools {

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

class ExportTool : public ::testing::Test {
protected:
    void SetUp() override { make(cat, {{"Beta", "DVD", "ok"}, {"Alpha", "CD", ""}}); }
    static void make(const std::string& path, const std::vector<std::vector<std::string>>& rows) {
        engine::Table t;
        t.setTableName(path);
        document::createCatalogTable(t);
        t.open();
        for (const auto& r : rows) {
            t.append();
            t.setAsString("Name", r[0]);
            t.setAsString("Datentraeger", r[1]);
            t.setAsString("Status", r[2]);
            t.setAsString("Gesamte_Groesse", "5368709120");
            t.post();
        }
        t.close();
    }
    test::TempDir dir;
    std::string cat = dir.file("kat.db");
};

}  // namespace

TEST_F(ExportTool, TextAndHtmlAreWrittenAsGivenWithTheChosenFields) {
    ToolRun r = run({"export", "text", cat, dir.file("liste.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = slurp(dir.file("liste.txt"));
    EXPECT_NE(text.find("     1 Alpha\r\n       Datentraegernummer: \r\n       Datentraeger: CD\r\n"),
              std::string::npos);
    r = run({"export", "text", cat, dir.file("info.txt"), "--fields", "status,info"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(slurp(dir.file("info.txt"))
                  .find("     2 Beta\r\n       Gesamte Groesse: 5368709120  (5120 MByte)\r\n"
                        "       Status: ok\r\n"),
              std::string::npos);
    // A result: its own order, its columns only.
    r = run({"export", "text", cat, dir.file("ergebnis.txt"), "--fields", "status,medium",
             "--query", "SELECT Name FROM kat.db ORDER BY Name DESC"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string result = slurp(dir.file("ergebnis.txt"));
    EXPECT_NE(result.find("     1 Beta\r\n       ---"), std::string::npos) << result;

    r = run({"export", "html", cat, dir.file("web.html"), "--fields", "memo", "--no-split"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(slurp(dir.file("web.html")).find("Alpha</B>"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("web_A.HTML")));
    r = run({"export", "html", cat, dir.file("web.html")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("web_A.HTML")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("web_B.HTML")));

    r = run({"export", "dbase", cat, dir.file("k.dbf")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(dir.file("k.dbf")).size(), 32u + 14 * 32 + 1 + 2 * 1117 + 1);
}

TEST_F(ExportTool, MergeAndRefusals) {
    make(dir.file("alt.db"), {{"Alpha", "BD", ""}, {"Gamma", "CD", ""}});
    ToolRun r = run({"merge", cat, dir.file("alt.db")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1 Datensätze hinzugefügt, 1 ersetzt.\n");

    EXPECT_EQ(run({"export", "text", cat, dir.file("x.txt"), "--fields", "farbe"}).status, 2);
    EXPECT_EQ(run({"export", "text", cat, dir.file("x.txt"), "--fields", "memo"}).status, 2);
    EXPECT_EQ(run({"export", "pdf", cat, dir.file("x.txt")}).status, 2);
    EXPECT_EQ(run({"export", "dbase", cat, dir.file("x.dbf"), "--no-split"}).status, 2);
    // A target that cannot be made: the old one, where there is one, stays whole.
    r = run({"export", "text", cat, dir.file("fehlt/x.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Anlegen der Datei"), std::string::npos) << r.err;
    std::ofstream(dir.file("kaputt.db")) << "kein Katalog";
    EXPECT_EQ(run({"merge", cat, dir.file("kaputt.db")}).status, 1);

    // The catalog's own files are never a target: refused with exit status 1, and the catalog
    // stays whole (a text list over kat.db, or over kat.mb, used to destroy it).
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"export", "text", cat, cat},
          {"export", "text", cat, dir.file("kat.mb")},
          {"export", "dbase", cat, dir.file("KAT.PX")},
          {"export", "html", cat, dir.file("./kat.db"), "--no-split"},
          {"print", cat, dir.file("kat.db")}}) {
        r = run(args);
        EXPECT_EQ(r.status, 1) << args[2];
        EXPECT_NE(r.err.find("eine Datei der Tabelle »kat.db«; sie wird nicht überschrieben."),
                  std::string::npos)
            << r.err;
    }
#ifndef _WIN32  // there it is the same file
    EXPECT_FALSE(std::filesystem::exists(dir.file("KAT.PX")));
#endif
    EXPECT_EQ(run({"check", cat}).status, 0);
    EXPECT_EQ(run({"dump", cat}).out.find("Alpha"), 0u);
}

// The text of a PDF through poppler's pdftotext, "" where it is missing.
std::string pdfText(const std::string& pdf) {
    if (std::system("command -v pdftotext >/dev/null 2>&1") != 0) return {};
    if (std::system(("pdftotext -layout '" + pdf + "' '" + pdf + ".txt'").c_str()) != 0)
        return "(pdftotext fehlgeschlagen)";
    return slurp(pdf + ".txt");
}

TEST_F(ExportTool, ThePrintedListBecomesAPdf) {
#ifdef _WIN32
    GTEST_SKIP() << "Die PDF-Ausgabe braucht Qt, das der Windows-Kern nicht hat.";
#endif
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 150; ++i) rows.push_back({"Programm " + std::to_string(1000 + i), "CD", ""});
    make(dir.file("gross.db"), rows);
    ToolRun r = run({"print", dir.file("gross.db"), dir.file("liste.pdf")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = pdfText(dir.file("liste.pdf"));
    if (text.empty()) GTEST_SKIP() << "pdftotext fehlt (Debian: poppler-utils)";
    EXPECT_NE(text.find("Mavrel/32 für Windows 95/NT"), std::string::npos) << text;
    EXPECT_NE(text.find("Seite: 1"), std::string::npos);
    // Two columns side by side: the first name of the second column on the first line's row.
    EXPECT_NE(text.find("Programm 1000"), std::string::npos);
    size_t pages = 0;
    for (size_t at = 0; (at = text.find("Seite: ", at)) != std::string::npos; ++at) ++pages;
    EXPECT_EQ(r.out, std::to_string(pages) + " Seiten geschrieben.\n");
    EXPECT_GE(pages, 3u);

    r = run({"print", dir.file("gross.db"), dir.file("a5.pdf"), "--paper", "A5", "--columns", "1",
             "--margin", "10", "--query", "SELECT * FROM gross.db WHERE Name > 'Programm 1140'"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string found = pdfText(dir.file("a5.pdf"));
    EXPECT_NE(found.find("Programm 1149"), std::string::npos);
    EXPECT_EQ(found.find("Programm 1140"), std::string::npos);
    EXPECT_EQ(r.out, "1 Seite geschrieben.\n");

    EXPECT_EQ(run({"print", cat, dir.file("x.pdf"), "--paper", "A6"}).status, 2);
    EXPECT_EQ(run({"print", cat, dir.file("x.pdf"), "--columns", "0"}).status, 2);
    EXPECT_EQ(run({"print", cat, dir.file("fehlt/x.pdf")}).status, 1);
}

}  // namespace mv32::tools
