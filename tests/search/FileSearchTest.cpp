// The file search: its statement, table and result mode over a real file list, the exact
// lookup, the take-over into the catalog and the start of a file from a medium mounted
// elsewhere.
#include <gtest/gtest.h>

#include <set>

#include "document/DocumentFixture.h"
#include "document/FileListTable.h"
#include "search/FileSearch.h"
#include "search/FileStart.h"
#include "search/FileTakeOver.h"
#include "scan/FileList.h"

namespace mv32::search {

namespace {

using Lines = std::vector<std::string>;

class FileSearchTest : public test::DocumentFixture {
protected:
    void SetUp() override {
        scan::FileList list(programDir());
        list.openOrCreate();
        const struct {
            const char* dir;
            const char* name;
            int64_t size;
            const char* label;
            const char* serial;
        } files[] = {
            {"/m/a/", "README.TXT", 300, "DISK1", "12AB34CD"},
            {"/m/b/", "Readme.doc", 20, "DISK1", "12AB34CD"},
            {"/m/b/", "myreadme", 5368709120, "DISK1", "12AB34CD"},
            {"/n/", "README.TXT", 300, "DISK2", "0000000A"},
            {"/n/", "müller.txt", 7, "DISK2", "0000000A"},
            {"/n/", "Zitat\"1\".txt", 9, "DISK2", "0000000A"},
            {"/n/", "100%_sicher.txt", 1000, "DISK2", "0000000A"},
            {"/n/", "anderes.bin", 42, "DISK2", "0000000A"},
        };
        for (const auto& f : files) list.addIfNew(f.dir, f.name, f.size, f.label, f.serial);
        list.commit();
        if (withIndexes) list.rebuildSecondaryIndexes();
        list.close();
    }
    // The names of what the search shows, in its order.
    Lines shownNames(FileSearch& s) {
        Lines out;
        engine::Cursor& c = *s.displayed().cursor();
        for (c.first(); !c.eof(); c.next()) out.push_back(c.value("Dateiname").asText());
        return out;
    }
    bool withIndexes = true;
};

class FileSearchWithoutIndexes : public FileSearchTest {
protected:
    void SetUp() override {
        withIndexes = false;
        FileSearchTest::SetUp();
    }
};

}  // namespace

TEST(FileSearchStatement, IsBuiltCharacterForCharacterWithUpperCaseAndSafeQuotes) {
    EXPECT_EQ(fileSearchStatement("readme", FileOrder::Unsorted),
              "SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"%README%\")");
    EXPECT_EQ(fileSearchStatement("readme", FileOrder::Name),
              "SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"%README%\") ORDER BY "
              "Dateiname");
    const std::string x = fileSearchStatement("x", FileOrder::Unsorted);
    EXPECT_EQ(fileSearchStatement("x", FileOrder::Folder), x + " ORDER BY Verzeichnis");
    EXPECT_EQ(fileSearchStatement("x", FileOrder::Extension), x + " ORDER BY Erweiterung");
    EXPECT_EQ(fileSearchStatement("x", FileOrder::Size), x + " ORDER BY Groesse");
    // Umlauts by the engine's rule; wildcards stay; a double quote is doubled; ' stays.
    EXPECT_EQ(fileSearchStatement("müller_%'\"", FileOrder::Unsorted),
              "SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"%MÜLLER_%'\"\"%\")");
}

TEST_F(FileSearchTest, ResultsMatchWithoutCaseOncePerFolderAndMedium) {
    FileSearch s(ui);
    s.prepare(programDir(), true);
    s.search("readme");
    EXPECT_TRUE(s.resultMode());
    const Lines found = shownNames(s);
    EXPECT_EQ(std::multiset<std::string>(found.begin(), found.end()),
              (std::multiset<std::string>{"README.TXT", "README.TXT", "Readme.doc", "myreadme"}));
    // The scan left the file list's trigram index, which the search reads instead of the
    // whole list.
    EXPECT_EQ(s.query().plan(), "Trigrammindex Dateiname");
    // Sorted by size: compared as numbers, the 5 GB file last.
    s.sortResult(FileOrder::Size);
    EXPECT_EQ(shownNames(s), (Lines{"Readme.doc", "README.TXT", "README.TXT", "myreadme"}));
    EXPECT_EQ(s.query().plan(), "Trigrammindex Dateiname, sortiert");
    EXPECT_EQ(s.statement(), fileSearchStatement("readme", FileOrder::Size));
    // A lower-case umlaut, a double quote and the wildcards typed by the person.
    s.search("müller");
    EXPECT_EQ(shownNames(s), (Lines{"müller.txt"}));
    s.search("\"1\"");
    EXPECT_EQ(shownNames(s), (Lines{"Zitat\"1\".txt"}));
    s.search("0%_s");
    EXPECT_EQ(shownNames(s), (Lines{"100%_sicher.txt"}));
    s.search("gibtsnicht");
    EXPECT_TRUE(shownNames(s).empty());
    EXPECT_TRUE(ui.dialogue().empty());
    s.back();
    EXPECT_FALSE(s.resultMode());
    EXPECT_EQ(s.displayed().cursor(), &s.table());
}

TEST_F(FileSearchTest, ADamagedSearchIndexLeavesTheSearchFindingTheSameFiles) {
    const std::string tri = programDir() + "mv32list.tri";
    const std::string good = readFile(tri);
    auto found = [&] {
        FileSearch s(ui);
        s.prepare(programDir(), true);
        s.search("readme");
        Lines names = shownNames(s);
        names.push_back(s.query().plan());
        s.closed();
        return names;
    };
    const Lines withIndex = found();
    ASSERT_EQ(withIndex.back(), "Trigrammindex Dateiname");
    Lines expected(withIndex.begin(), withIndex.end() - 1);
    expected.push_back("Tabelle");
    std::string flipped = good;
    for (size_t i = 80; i < flipped.size(); ++i) flipped[i] = static_cast<char>(flipped[i] ^ 0x21);
    for (const std::string& damaged : {std::string(), good.substr(0, 50), flipped}) {
        writeFile(tri, damaged);
        EXPECT_EQ(found(), expected);
        EXPECT_TRUE(ui.dialogue().empty());
    }
}

TEST_F(FileSearchTest, TableModeSortsByIndexAndFindsTheExactEntryTyped) {
    FileSearch s(ui);
    s.prepare(programDir(), true);
    EXPECT_TRUE(s.sortPopup());
    EXPECT_EQ(s.table().indexName(), "DateinameIndex");
    EXPECT_EQ(s.position(), (std::pair<int64_t, int64_t>{1, 8}));

    s.textChanged("");
    EXPECT_FALSE(s.searchEnabled());
    s.textChanged("myreadme");
    EXPECT_TRUE(s.searchEnabled());
    EXPECT_EQ(s.currentRow()->name, "myreadme");
    s.textChanged("myread");  // not a whole name: the current record stays
    EXPECT_EQ(s.currentRow()->name, "myreadme");

    s.sortTable(FileOrder::Size);
    EXPECT_EQ(s.table().indexName(), "GroesseIndex");
    s.textChanged("42");
    EXPECT_EQ(s.currentRow()->name, "anderes.bin");
    s.textChanged("42a");
    EXPECT_EQ(ui.dialogue(),
              (Lines{"message Fehler \"»42a« ist kein gültiger ganzzahliger Wert für das Feld "
                     "»Groesse«. Sie haben der Größe nach sortiert, geben Sie bitte nur ZAHLEN "
                     "ein!\" OK"}));
    s.sortTable(FileOrder::Folder);
    EXPECT_EQ(s.table().indexName(), "");
    s.textChanged("/n/");
    EXPECT_EQ(s.currentRow()->directory, "/n/");
}

TEST_F(FileSearchWithoutIndexes, TableModeHasNoSortPopupAndShowsTheFolderOrder) {
    FileSearch s(ui);
    s.prepare(programDir(), true);
    EXPECT_FALSE(s.sortPopup());
    EXPECT_EQ(s.table().indexName(), "");
    s.table().first();
    EXPECT_EQ(s.currentRow()->directory, "/m/a/");
    s.search("txt");
    EXPECT_TRUE(s.sortPopup());  // the result's popup is always there
}

TEST_F(FileSearchTest, SekIndexActiveOffMeansThePrimaryOrder) {
    FileSearch s(ui);
    s.prepare(programDir(), false);
    EXPECT_FALSE(s.sortPopup());
    EXPECT_EQ(s.table().indexName(), "");
}

TEST_F(FileSearchTest, TheWindowHoldsTheFileListOnlyWhileShown) {
    FileSearch s(ui);
    s.prepare(programDir(), true);
    s.search("readme");
    scan::FileList scan(programDir());
    EXPECT_THROW(scan.openOrCreate(), std::exception);
    s.closed();
    EXPECT_FALSE(s.resultMode());
    EXPECT_NO_THROW(scan.openOrCreate());
    s.activate();  // held by the scan: the grid stays empty, without a message
    EXPECT_FALSE(s.table().active());
    EXPECT_TRUE(ui.dialogue().empty());
    scan.close();
    s.activate();
    EXPECT_TRUE(s.table().active());
    EXPECT_EQ(s.position().second, 8);
}

TEST_F(FileSearchTest, TakeOverAddsNewNamesWithTheirMemoAndNeedsAnOpenCatalog) {
    int entryShown = 0;
    FileTakeOver take(*doc, program->catalogSource(), [&] { ++entryShown; });
    FileRow big{"/m/b/", "myreadme", "", 5368709120, "DISK1", "12AB34CD"};
    EXPECT_EQ(take.takeOne(big), TakeOverResult::NoCatalog);
    EXPECT_EQ(ui.dialogue(), (Lines{"message Hinweis \"" + std::string(kOpenCatalogFirst) +
                                    "\" OK"}));

    makeCatalog(data("kat.db"), {"Readme.doc"});
    openCatalog(data("kat.db"));
    ui.clear();
    EXPECT_EQ(take.takeOne(big), TakeOverResult::Inserted);
    EXPECT_EQ(entryShown, 1);
    engine::Table& mv32 = doc->MV32();
    ASSERT_TRUE(mv32.locate("Name", {engine::Value("myreadme")}));
    EXPECT_EQ(mv32.value("Label").asText(), "DISK1");
    EXPECT_EQ(mv32.value("Serien_Nr").asText(), "12AB34CD");
    EXPECT_EQ(mv32.value("Memo").asText(), "Verzeichnis: /m/b/\r\nGröße: 5368709120 Bytes");
    EXPECT_EQ(ui.recordCount, 2);
    // A name already in the catalog: nothing added, no entry window.
    EXPECT_EQ(take.takeOne({"/m/b/", "Readme.doc", "doc", 20, "DISK1", "12AB34CD"}),
              TakeOverResult::Existed);
    EXPECT_EQ(entryShown, 1);
    doc->state().TreeBuilding = true;
    EXPECT_EQ(take.takeOne({"/n/", "neu", "", 1, "", ""}), TakeOverResult::Ignored);
    doc->state().TreeBuilding = false;
    EXPECT_TRUE(ui.dialogue().empty());

    // The selected rows of a result, behind the wait window.
    FileSearch s(ui);
    s.prepare(programDir(), true);
    s.search("txt");
    auto rows = s.displayed().reader();
    EXPECT_EQ(take.takeSelected(*rows, {1, 2, 3, 4, 5}), 4);  // README.TXT twice: once
    EXPECT_EQ(entryShown, 1);
    EXPECT_EQ(ui.dialogue(), (Lines{"message Hinweis \"" + std::string(kFilesTakenOver) +
                                    "\" OK"}));
    EXPECT_EQ(namesIn(data("kat.db")).size(), 6u);
}

TEST_F(FileSearchTest, AFileOfAMissingMediumStartsFromTheDriveChosen) {
    std::set<std::string> files{"/media/neu/FOTOS/urlaub/bild.jpg", "/da/ok.txt"};
    std::vector<std::pair<std::string, std::string>> opened;
    bool openWorks = true;
    std::optional<platform::Volume> chosen;
    int asked = 0;
    FileStarter starter{ui,
                        [&](const std::string& f, const std::string& dir) {
                            opened.emplace_back(f, dir);
                            return openWorks;
                        },
                        [&] {
                            ++asked;
                            return chosen;
                        },
                        [&](const std::string& p) { return files.count(p) > 0; }};
    // There: opened in its folder.
    startFile(starter, {"/da/", "ok.txt", "txt", 1, "L", "S"});
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], (std::pair<std::string, std::string>{"/da/ok.txt", "/da/"}));
    openWorks = false;
    startFile(starter, {"/da/", "ok.txt", "txt", 1, "L", "S"});
    EXPECT_EQ(ui.dialogue(), (Lines{"message Hinweis \"" + std::string(kCannotStart) + "\" OK"}));
    ui.clear();
    openWorks = true;

    // Not there: asked for by label and serial; Abbrechen ends it.
    const FileRow photo{"/media/alt/FOTOS/urlaub/", "bild.jpg", "jpg", 5, "FOTOS", "1A2B3C4D"};
    ui.answer(document::Answer::Abbrechen);
    startFile(starter, photo);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(ui.dialogue(),
              (Lines{"message Fehler \"Die Datei konnte nicht gefunden werden! Bitte legen Sie "
                     "den Datenträger mit dem Label FOTOS und der Seriennummer 1A2B3C4D ein!\" "
                     "OkAbbrechen -> Abbrechen"}));
    ui.clear();
    // OK, but the drive choice is closed: nothing more.
    ui.answer(document::Answer::Ok);
    startFile(starter, photo);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(opened.size(), 2u);
    // OK and the drive where the medium is now: started from there.
    platform::Volume drive;
    drive.letter = 'E';
    drive.root = "/media/neu/FOTOS/";
    chosen = drive;
    ui.answer(document::Answer::Ok);
    startFile(starter, photo);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[2], (std::pair<std::string, std::string>{"/media/neu/FOTOS/urlaub/bild.jpg",
                                                              "/media/neu/FOTOS/urlaub/"}));
    // A drive that does not hold it.
    drive.root = "/media/leer/";
    chosen = drive;
    ui.clear();
    ui.answer(document::Answer::Ok);
    startFile(starter, photo);
    EXPECT_EQ(ui.dialogue().back(), "message Hinweis \"Die Datei konnte nicht gefunden werden!\" OK");
    EXPECT_EQ(opened.size(), 3u);

    // A Windows path: the drive letter is replaced.
    drive.letter = 'F';
    EXPECT_EQ(pathOnDrive({"D:\\FOTOS\\", "a.jpg", "jpg", 1, "", ""}, drive,
                          [](const std::string& p) { return p == "F:\\FOTOS\\a.jpg"; }),
              std::optional<std::string>("F:\\FOTOS\\a.jpg"));
}

}  // namespace mv32::search
