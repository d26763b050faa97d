// The category tree: its build from the catalog, its files, and their faults.
#include <gtest/gtest.h>

#include "document/Catalog.h"
#include "document/DocumentFixture.h"
#include "edit/CategoryTree.h"
#include "engine/Text.h"

namespace mv32::edit {

namespace {

class CategoryTreeTest : public test::DocumentFixture {
protected:
    void make(const std::vector<std::pair<const char*, const char*>>& records) {
        engine::Table t;
        t.setTableName(data("kat.db"));
        document::createCatalogTable(t);
        t.open();
        for (const auto& [name, category] : records) {
            t.append();
            t.setAsString("Name", name);
            if (*category) t.setAsString("Kategorie", category);
            t.post();
        }
        t.close();
        openCatalog(data("kat.db"));
        ui.clear();
    }
    CategoryTree& tree() { return program->categoryTree(); }
};

}  // namespace

void PrintTo(const TreeLine& l, std::ostream* os) {
    *os << l.level << ":" << l.text;
}

namespace {

TreeLines lines(std::initializer_list<std::pair<int, const char*>> l) {
    TreeLines out;
    for (const auto& [level, text] : l) out.push_back({level, text});
    return out;
}

}  // namespace

TEST_F(CategoryTreeTest, NamesGroupUnderTheirExactCategoryInNameOrder) {
    make({{"Alpha", "Spiel"}, {"Beta", "Tools"}, {"Gamma", "Spiel"}, {"Delta", ""},
          {"Epsilon", "spiel"}, {"Zeta", "Äpfel"}});
    doc->MV32().setIndexName("KategorieIndex");
    tree().build();
    EXPECT_EQ(tree().lines(), lines({{0, "Äpfel"}, {1, "Zeta"}, {0, "spiel"}, {1, "Epsilon"},
                                     {0, "Spiel"}, {1, "Alpha"}, {1, "Gamma"}, {0, "Tools"},
                                     {1, "Beta"}}));
    EXPECT_EQ(doc->MV32().indexName(), "") << "the build goes back to the order by name";
    EXPECT_FALSE(doc->state().TreeBuilding);
    EXPECT_FALSE(doc->state().AutoSaveHold);
    EXPECT_EQ(ui.progressMax, 4);
    EXPECT_EQ(ui.callsStartingWith("wait"), (std::vector<std::string>{"wait show", "wait hide"}));

    // "Abbrechen" during the pass leaves the tree empty and the request cleared.
    ui.cancel = true;
    tree().build();
    EXPECT_TRUE(tree().lines().empty());
    EXPECT_FALSE(ui.cancel);

    // A double click finds names exactly, and a category is no name.
    EXPECT_TRUE(tree().selectName("Gamma"));
    EXPECT_EQ(doc->MV32().displayText("Name"), "Gamma");
    EXPECT_FALSE(tree().selectName("Spiel"));
    EXPECT_FALSE(tree().selectName("gamma"));
}

TEST_F(CategoryTreeTest, TreeFilesAreWrittenAndReadAsTheProgramWritesThem) {
    make({{"Alpha", "Spiel"}, {"Über", "Spiel"}});
    tree().build();
    ui.choose(data("baum"));
    tree().save();
    EXPECT_EQ(readFile(data("baum.tre")), "Spiel\r\n\tAlpha\r\n\t\xdc" "ber\r\n");
    ui.choose(data("baum.tre"));
    ui.answer(document::Answer::Nein);  // exists: not replaced
    tree().save();
    EXPECT_EQ(ui.dialogue().back(), "message Warnung \"Die Datei existiert bereits! Soll sie "
                                    "überschrieben werden?\" JaNein -> Nein");

    // LF lines, blanks as indent, the end-of-file character, a deeper level below a name.
    writeFile(data("lf.TRE"), "A\n b\n\tc\n\t\td\n\x1a\n");
    ui.choose(data("lf.TRE"));
    tree().load();
    EXPECT_EQ(tree().lines(), lines({{0, "A"}, {1, "b"}, {1, "c"}, {2, "d"}}));
}

TEST_F(CategoryTreeTest, UnreadableTreeFilesSaySoAndKeepTheTree) {
    make({{"Alpha", "Spiel"}});
    tree().build();
    const TreeLines built = tree().lines();
    writeFile(data("tief.tre"), "Spiel\r\n\t\tAlpha\r\n");
    writeFile(data("anders.txt"), "Spiel\r\n");
    for (const std::string f : {"tief.tre", "fehlt.tre"}) {
        ui.choose(data(f));
        tree().load();
        EXPECT_EQ(tree().lines(), built) << f;
    }
    ui.choose(data("anders.txt"));  // another extension: nothing happens
    tree().load();
    EXPECT_EQ(ui.dialogue().size(), 5u);
    EXPECT_EQ(ui.dialogue()[1], "message Hinweis \"Fehler beim Lesen der Datei!\" OK");
    EXPECT_EQ(ui.dialogue()[3], "message Hinweis \"Fehler beim Lesen der Datei!\" OK");

    // Junk and one very long line are read as text.
    std::string junk(10 << 20, 'x');
    junk[5] = '\0';
    junk += "\r\n\t\x81\xff\r\n";
    EXPECT_EQ(parseTreeFile(junk).size(), 2u);
    EXPECT_THROW(parseTreeFile("\tA\r\n"), std::runtime_error);
}

TEST_F(CategoryTreeTest, AHugeLineIsCutAsItComesAndTheWindowStaysResponsive) {
    make({{"Alpha", "Spiel"}});
    tree().build();
    // 30 MB without a line end: one node of the tree's longest text, read in pieces with the
    // progress shown between them.
    const std::string huge = "Spiel\r\n\t" + std::string(30 << 20, '\xe4');
    writeFile(data("gross.tre"), huge);
    ui.progressUpdates = 0;
    ui.choose(data("gross.tre"));
    tree().load();
    ASSERT_EQ(tree().lines().size(), 2u);
    EXPECT_EQ(tree().lines()[1].level, 1);
    EXPECT_EQ(tree().lines()[1].text, engine::text::fromWindows1252(std::string(254, '\xe4')));
    EXPECT_GE(ui.progressUpdates, 400);
    EXPECT_FALSE(ui.progressVisible);
    // A line of exactly the longest text keeps it whole, its CR aside; pieces of any size.
    TreeFileReader pieces;
    const std::string file = "K\r\n\t" + std::string(254, 'n') + "\r\n\t" + std::string(255, 'm');
    for (char c : file) pieces.feed(std::string_view(&c, 1));
    EXPECT_EQ(
        pieces.finish(),
        lines({{0, "K"}, {1, std::string(254, 'n').c_str()}, {1, std::string(254, 'm').c_str()}}));

    // "Abbrechen" of the wait window stops the loading and leaves the tree as it was.
    const TreeLines before = tree().lines();
    ui.cancel = true;
    ui.choose(data("gross.tre"));
    writeFile(data("gross.tre"), "Anders\r\n" + huge);
    tree().load();
    EXPECT_EQ(tree().lines(), before);
    EXPECT_FALSE(ui.cancel);
}

}  // namespace mv32::edit
