// The exports and the merge from the command line: the same files as the menus write, the
// options, and the refusals with their exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "document/Catalog.h"
#include "engine/Table.h"
#include "support/TempDir.h"
#include "tools/mv32db/TableTool.h"

namespace mv32::tools {

namespace {

struct ToolRun {
    int status;
    std::string out, err;
};

ToolRun run(std::vector<std::string> args) {
    std::istringstream in;
    std::ostringstream out, err;
    int status = runTableTool(args, in, out, err);
    return {status, out.str(), err.str()};
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
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
}

}  // namespace mv32::tools
