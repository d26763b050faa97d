// The searches from the command line: the statements the dialogs build, their results printed
// as "sql" prints them, and the refusals with their exit status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "document/Catalog.h"
#include "engine/PathNames.h"
#include "engine/Table.h"
#include "scan/FileList.h"
#include "support/TempDir.h"
#include "tools/ToolRun.h"

namespace mv32::tools {

namespace {

class SearchCommands : public ::testing::Test {
protected:
    void SetUp() override {
        engine::Table t;
        t.setTableName(cat);
        document::createCatalogTable(t);
        t.open();
        const struct {
            const char* name;
            int number;
            const char* medium;
            const char* free;
        } rows[] = {{"Doom", 12, "CD-R", "0"},
                    {"Quake \"2\"", 5, "DVD", "1474560"},
                    {"Müller Office", 7, "CD", "2048"}};
        for (const auto& r : rows) {
            t.append();
            t.setAsString("Name", r.name);
            t.setAsInteger("DatentraegerNr", r.number);
            t.setAsString("Datentraeger", r.medium);
            t.setAsString("Freier_Speicher", r.free);
            t.post();
        }
        t.close();
        scan::FileList list(engine::paths::join(dir.path(), ""));
        list.openOrCreate();
        list.addIfNew("/m/", "MÜLLER.TXT", 10, "L", "00000001");
        list.addIfNew("/m/", "readme", 2, "L", "00000001");
        list.addIfNew("/n/", "Readme.doc", 30, "L", "00000001");
        list.commit();
        list.close();
    }
    // The first column of each result row.
    static std::vector<std::string> names(const std::string& out) {
        std::vector<std::string> n;
        std::istringstream lines(out);
        std::string line;
        std::getline(lines, line);  // the header
        while (std::getline(lines, line)) n.push_back(line.substr(0, line.find('\t')));
        return n;
    }

    test::TempDir dir;
    std::string cat = dir.file("Meine Spiele.db");
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(SearchCommands, TheCatalogSearchesRunTheDialogsStatements) {
    ToolRun r = run({"search", cat, "--name", "\"2\"", "--medium", "d", "--statement"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "SELECT * FROM \"Meine Spiele.db\" where Upper(Name) like Upper(\"%\"\"2\"\"%\") and "
              "Upper(Datentraeger) like Upper(\"%d%\")\n");
    r = run({"search", cat, "--name", "müller"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 15), "Name\tDatentraeg");
    EXPECT_EQ(names(r.out), (Names{"Müller Office"}));
    EXPECT_EQ(names(run({"search", cat, "--number", "12"}).out), (Names{"Doom"}));
    EXPECT_EQ(run({"search", cat}).status, 2);  // no criterion
    EXPECT_EQ(run({"search", cat, "--farbe", "rot"}).status, 2);

    // Free space: KByte of 1024 bytes compared as numbers; 0-byte entries left out unless asked.
    EXPECT_EQ(run({"freespace", cat, "more", "1440", "--statement"}).out,
              "SELECT * FROM \"Meine Spiele.db\" where Freier_Speicher>1474560 and "
              "Freier_Speicher<>0\n");
    EXPECT_EQ(names(run({"freespace", cat, "less", "1440"}).out), (Names{"Müller Office"}));
    EXPECT_EQ(names(run({"freespace", cat, "exactly", "0", "--with-zero"}).out), (Names{"Doom"}));
    EXPECT_TRUE(names(run({"freespace", cat, "exactly", "0"}).out).empty());
    EXPECT_EQ(run({"freespace", cat, "most", "1"}).status, 2);

    // The range compares medium numbers as numbers; a wrong range is refused.
    r = run({"range", cat, "5", "7", "--medium", "d"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names(r.out), (Names{"Müller Office", "Quake \"2\""}));
    r = run({"range", cat, "20", "10"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "mv32db: Falscher Wertebereich! Die Werte der rechten Eingabezeile müssen "
                     "größer oder gleich denen der linken sein!\n");
}

TEST_F(SearchCommands, SizesMustBeWholeNumbersOfKByteInRange) {
    // What is no whole number, or whose bytes no 64-bit size holds, is refused instead of
    // becoming another criterion ("<-1", a number wrapped around to ">0").
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"search", cat, "--total", "abc"},
          {"search", cat, "--free", "12KB"},
          {"search", cat, "--total", "-5"},
          {"search", cat, "--total", ""},
          {"search", cat, "--free", "9007199254740992"},
          {"freespace", cat, "more", "18014398509481984"},
          {"freespace", cat, "less", "99999999999999999999999"},
          {"freespace", cat, "exactly", " 1"}}) {
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_EQ(r.err.rfind("mv32db: Die Größe »" + args.back() +
                                  "« ist keine ganze Zahl von KByte zwischen 0 und "
                                  "9007199254740991.",
                              0),
                  0u)
            << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(run({"search", cat, "--total", "9007199254740991", "--statement"}).out,
              "SELECT * FROM \"Meine Spiele.db\" where Gesamte_Groesse<9223372036854774784\n");
    EXPECT_EQ(run({"freespace", cat, "more", "9007199254740991", "--statement"}).status, 0);
}

TEST_F(SearchCommands, UserSqlTakesTheStatementOrTheSetting) {
    ToolRun r = run({"usersql", cat, "SELECT Name FROM %1 WHERE Name LIKE 'D%' ORDER BY Name",
                     "--statement"});
    EXPECT_EQ(r.out, "SELECT Name FROM \"Meine Spiele.db\" WHERE Name LIKE 'D%' ORDER BY Name\n");
    // A catalog name with a double quote stays one name in the statement.
    r = run({"usersql", dir.file("a\" OR \"x.db"), "SELECT * FROM %1", "--statement"});
    EXPECT_EQ(r.out, "SELECT * FROM \"a\"\" OR \"\"x.db\"\n");
    r = run({"usersql", cat, "SELECT * FROM %1 WHERE"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Syntaxfehler"), std::string::npos);
#ifndef _WIN32  // the settings store of Windows (the registry) follows
    test::TempDir config;
    std::filesystem::create_directories(config.file("mavrel32"));
    std::ofstream(config.file("mavrel32/settings.ini"))
        << "[Settings]\nUserSQL=SELECT Name FROM %1 WHERE DatentraegerNr > 6\n";
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    r = run({"usersql", cat});
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Name\nDoom\nMüller Office\n");
#endif
}

TEST_F(SearchCommands, TheFileSearchFindsNamesWithoutCaseInEachOrder) {
    ToolRun r = run({"filesearch", dir.path(), "readme", "--order", "size", "--statement"});
    EXPECT_EQ(r.out, "SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"%README%\") ORDER BY "
                     "Groesse\n");
    r = run({"filesearch", dir.path(), "readme", "--order", "size"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "Verzeichnis\tDateiname\tErweiterung\tGroesse\tLabel\tVolID");
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1),
              "/m/\treadme\t\t2\tL\t00000001\n/n/\tReadme.doc\tdoc\t30\tL\t00000001\n");
    r = run({"filesearch", dir.path(), "müller"});
    EXPECT_NE(r.out.find("MÜLLER.TXT"), std::string::npos);
    EXPECT_EQ(run({"filesearch", dir.path(), "x", "--order", "farbe"}).status, 2);
    EXPECT_EQ(run({"filesearch", dir.path()}).status, 2);
}

TEST_F(SearchCommands, ADamagedFileSearchIndexIsReadPastReportedAndBuiltAnewByRegen) {
    const std::string tri = engine::paths::join(dir.path(), "mv32list.tri");
    const std::string table = engine::paths::join(dir.path(), "mv32list.db");
    const std::string sql =
        "SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"%README%\")";
    const ToolRun good = run({"filesearch", dir.path(), "readme"});
    ASSERT_EQ(good.status, 0) << good.err;
    ASSERT_EQ(run({"sql", dir.path(), sql}).err, "mv32db: Plan: Trigrammindex Dateiname\n");
    std::string bytes;
    {
        std::ifstream in(tri, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        bytes = all.str();
    }
    for (const std::string& damaged : {std::string(), bytes.substr(0, 30), bytes.substr(0, 90)}) {
        std::ofstream(tri, std::ios::binary | std::ios::trunc) << damaged;
        const ToolRun found = run({"filesearch", dir.path(), "readme"});
        EXPECT_EQ(found.status, 0) << found.err;
        EXPECT_EQ(found.out, good.out);
        const ToolRun query = run({"sql", dir.path(), sql});
        EXPECT_EQ(query.status, 0);
        EXPECT_EQ(query.out, good.out);
        EXPECT_EQ(query.err, "mv32db: Plan: Tabelle\n");
        const ToolRun checked = run({"check", table});
        EXPECT_EQ(checked.status, 1);
        EXPECT_NE(checked.err.find("mv32list.tri"), std::string::npos) << checked.err;
        EXPECT_EQ(run({"regen", table}).out, "Indizes neu aufgebaut.\n");
        EXPECT_EQ(run({"check", table}).status, 0);
        EXPECT_EQ(run({"sql", dir.path(), sql}).err, "mv32db: Plan: Trigrammindex Dateiname\n");
        EXPECT_EQ(run({"filesearch", dir.path(), "readme"}).out, good.out);
    }
}

}  // namespace mv32::tools
