// The entry window without a window: the name rule, the navigator's Add and the carry-over, the
// drive information through declared volumes, the size displays and the gauge, the picture and
// the pick lists with their files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "document/Catalog.h"
#include "document/DocumentFixture.h"
#include "edit/EntryForm.h"
#include "edit/PickLists.h"

namespace mv32::edit {

namespace {

class EntryFormTest : public test::DocumentFixture {
protected:
    std::map<Box, std::string> shown;
    std::vector<std::string> seen;  // what the view was asked to do, in order
    std::map<ListKind, std::vector<std::string>> lists;
    int gauge = -1;
    char drive = 0;
    struct Direct : document::UiInvoker {
        void invoke(const std::function<void()>& call) override { call(); }
    } invoker;

    void SetUp() override {
        makeCatalog(data("kat.db"), {"Alpha", "Beta"});
        openCatalog(data("kat.db"));
        ui.clear();
    }
    void TearDown() override {
        unsetenv("MV32_VOLUMES");
        DocumentFixture::TearDown();
    }

    EntryForm& form() {
        EntryForm::View v;
        v.show = [this](Box b, const std::string& t) { shown[b] = t; };
        v.gauge = [this](int g) { gauge = g; };
        v.selectDrive = [this](char c) { drive = c; };
        v.showPage = [this](EntryPage p) { seen.push_back("Seite " + std::to_string(int(p))); };
        v.focusName = [this] { seen.push_back("Fokus Name"); };
        v.pickList = [this](ListKind k, const std::vector<std::string>& l) { lists[k] = l; };
        return program->makeEntryForm(std::move(v), [this] { seen.push_back("Übersicht"); });
    }
    engine::Table& cat() { return doc->MV32(); }
    std::string field(const char* name) { return cat().displayText(name); }
    void declareVolumes(const std::string& lines) {
        writeFile(data("volumes"), lines);
        setenv("MV32_VOLUMES", data("volumes").c_str(), 1);
    }
};

}  // namespace

TEST_F(EntryFormTest, TheStampTheNameRuleAndTheCarryOverOfAdd) {
    EntryForm& f = form();
    EXPECT_EQ(doc->state().EntryStamp.second, 3);
    EXPECT_EQ(shown[Box::DateTime], "9.12.2026 -- 8:5:3");
    EXPECT_EQ(shown[Box::NameEdit], "Alpha");

    // Save with an empty name: the pending new record goes, nothing is saved.
    auto& nav = f;
    nav.beforeNavigatorClick(NavButton::Insert);
    cat().insert();
    EXPECT_EQ(seen, (std::vector<std::string>{"Seite 0", "Fokus Name"}));
    nav.beforeNavigatorClick(NavButton::Post);
    EXPECT_EQ(cat().state(), engine::DataSetState::Browse);
    EXPECT_EQ(cat().recordCount(), 2);

    // Cancel and Bookmark do not run the rule.
    cat().insert();
    f.beforeNavigatorClick(NavButton::Cancel);
    f.beforeNavigatorClick(NavButton::Bookmark);
    EXPECT_EQ(cat().state(), engine::DataSetState::Insert);
    cat().cancel();

    // Add while a record is edited: the stamp goes into that record, which is saved, and the
    // new record starts with its medium, counts, type, status and category.
    cat().first();
    f.typed(Box::MediumNrEdit, "7");
    f.typed(Box::Anzahl1, "2");
    f.typed(Box::Anzahl2, "3");
    f.typed(Box::Medium, "CDROM");
    f.typed(Box::Status, "Defekt");
    f.typed(Box::Kategorie, "Spiel");
    clock.set({2027, 1, 2, 3, 4, 5});  // the stamp is the window's, not the clock's
    f.beforeNavigatorClick(NavButton::Insert);
    cat().insert();
    EXPECT_EQ(cat().state(), engine::DataSetState::Insert);
    EXPECT_EQ(field("DatentraegerNr"), "7");
    EXPECT_EQ(field("Datentraeger"), "CDROM");
    EXPECT_EQ(field("Datentraeger_Anzahl"), "2");
    EXPECT_EQ(field("von"), "3");
    EXPECT_EQ(field("Status"), "Defekt");
    EXPECT_EQ(field("Kategorie"), "Spiel");
    EXPECT_EQ(shown[Box::MediumNrEdit], "7");  // the boxes show the new record
    EXPECT_EQ(field("Datum_Uhrzeit"), "") << "started from an edit, the new record has no date";
    f.typed(Box::NameEdit, "Gamma");
    f.beforeNavigatorClick(NavButton::Post);
    cat().post();
    ASSERT_TRUE(cat().locate("Name", {engine::Value("Alpha")}));
    EXPECT_EQ(field("Datum_Uhrzeit"), "9.12.2026 -- 8:5:3");
    EXPECT_EQ(field("DatentraegerNr"), "7");

    // Records started elsewhere get the values too, until the window is shown again; a value
    // that does not fit its field ends the carry-over there.
    f.typed(Box::Anzahl1, "x1");
    f.beforeNavigatorClick(NavButton::Insert);
    cat().cancel();
    cat().append();
    EXPECT_EQ(field("DatentraegerNr"), "7");
    EXPECT_EQ(field("Datentraeger"), "CDROM");
    EXPECT_EQ(field("Datentraeger_Anzahl"), "");
    EXPECT_EQ(field("Status"), "") << "fields after the failing one stay empty";
    cat().cancel();
    f.shown();
    cat().append();
    EXPECT_EQ(field("DatentraegerNr"), "");
    cat().cancel();
}

TEST_F(EntryFormTest, SizesGaugeAndDriveInformation) {
    EXPECT_EQ(*sizeDisplay("1023"), "1023 Byte");
    EXPECT_EQ(*sizeDisplay("12345"), "12 KByte");
    EXPECT_EQ(*sizeDisplay("123456789"), "117 MByte");
    EXPECT_EQ(*sizeDisplay("5368709120"), "5120 MByte");
    EXPECT_EQ(*sizeDisplay(""), " Byte");
    EXPECT_FALSE(sizeDisplay("12a45").has_value());
    EXPECT_EQ(fillGauge("1000", "250"), 75);
    EXPECT_EQ(fillGauge("0", "0"), 0);
    EXPECT_EQ(fillGauge("", ""), 0);
    EXPECT_EQ(fillGauge("abc", "1"), 0);

    declareVolumes("E\t" + work.path() +
                   "\t\t001A2B3C\t5368709120\t1073741824\n"
                   "F\t\tLEER\t00000001\t0\t0\n");
    EntryForm& f = form();
    EXPECT_EQ(shown[Box::Groesse], " Byte");
    EXPECT_EQ(gauge, 0);

    f.driveInformation('1');
    f.driveInformation('f');
    f.driveInformation('Q');
    EXPECT_EQ(ui.dialogue(),
              (std::vector<std::string>{
                  "message Fehler \"Not a valid drive ID\" Abbrechen",
                  "message Fehler \"Es befindet sich kein Datenträger in diesem Laufwerk!\" "
                  "Abbrechen",
                  "message Fehler \"Es befindet sich kein Datenträger in diesem Laufwerk!\" "
                  "Abbrechen"}));

    f.driveInformation('e');
    EXPECT_EQ(shown[Box::VolLabel], "NO NAME");
    EXPECT_EQ(shown[Box::VolID], "001A2B3C");
    EXPECT_EQ(shown[Box::Groesse], "5120 MByte");
    EXPECT_EQ(shown[Box::Freespace], "1024 MByte");
    EXPECT_EQ(gauge, 80);
    // Program text reaches the record at its post, with the drive letter chosen.
    f.driveChosen('E');
    cat().edit();
    cat().post();
    EXPECT_EQ(field("Label"), "NO NAME");
    EXPECT_EQ(field("Serien_Nr"), "001A2B3C");
    EXPECT_EQ(field("Gesamte_Groesse"), "5368709120");
    EXPECT_EQ(field("Laufwerk"), "E");
    cat().next();
    EXPECT_EQ(shown[Box::Groesse], " Byte") << "another record shows its own sizes";
    drive = 0;
    cat().prior();
    EXPECT_EQ(drive, 'E') << "the drive list follows the record's drive";
}

TEST_F(EntryFormTest, APictureIsStoredFromTheFileAndBadFilesChangeNothing) {
    EntryForm& f = form();
    writeFile(data("bild.bmp"), std::string("BM\0\x01\x02", 5));
    f.pictureChosen("\"" + data("bild.bmp") + "\"");
    EXPECT_EQ(cat().state(), engine::DataSetState::Edit);
    cat().post();
    EXPECT_EQ(f.picture(), std::string("BM\0\x01\x02", 5));
    f.pictureChosen(data("weg.bmp"));
    f.pictureChosen(work.path());
    cat().post();
    EXPECT_EQ(f.picture(), std::string("BM\0\x01\x02", 5));
    EXPECT_TRUE(ui.dialogue().empty());

    // A large picture is stored whole.
    writeFile(data("gross.bmp"), std::string(20 << 20, 'x'));
    f.pictureChosen(data("gross.bmp"));
    cat().post();
    cat().next();
    cat().prior();
    EXPECT_EQ(f.picture().size(), size_t{20} << 20);
}

TEST_F(EntryFormTest, MadeFromTheOverviewTheWindowTakesTheStampButShowsTheRecord) {
    // The overview's double click makes the window without reading the list files and without
    // putting the stamp into its box; its own lists and the stamp are there all the same.
    writeFile(programDir() + "STATLIST.TXT", "Eigene\r\n");
    cat().first();
    cat().edit();
    cat().setAsString("Datum_Uhrzeit", "1.2.2003 -- 4:5:6");
    cat().post();
    EntryForm::View v;
    v.show = [this](Box b, const std::string& t) { shown[b] = t; };
    v.pickList = [this](ListKind k, const std::vector<std::string>& l) { lists[k] = l; };
    EntryForm& f = program->makeEntryForm(std::move(v), {}, false);
    EXPECT_EQ(lists[ListKind::Kategorie], builtInCategories());
    EXPECT_EQ(lists[ListKind::Status], builtInStatus()) << "the file is not read";
    EXPECT_EQ(stampText(doc->state().EntryStamp), "9.12.2026 -- 8:5:3");
    EXPECT_EQ(shown[Box::DateTime], "1.2.2003 -- 4:5:6");

    // Edit and save: the record keeps its date.
    f.beforeNavigatorClick(NavButton::Edit);
    cat().edit();
    f.typed(Box::Status, "Defekt");
    f.beforeNavigatorClick(NavButton::Post);
    cat().post();
    EXPECT_EQ(field("Datum_Uhrzeit"), "1.2.2003 -- 4:5:6");
    EXPECT_EQ(field("Status"), "Defekt");

    // Add while editing stores the stamp taken when the window was made.
    cat().edit();
    f.beforeNavigatorClick(NavButton::Insert);
    cat().insert();
    cat().cancel();
    ASSERT_TRUE(cat().locate("Name", {engine::Value("Alpha")}));
    EXPECT_EQ(field("Datum_Uhrzeit"), "9.12.2026 -- 8:5:3");
}

TEST_F(EntryFormTest, TheLegacyExportTakesTheEntryStampAgain) {
    form();
    clock.set({2027, 2, 3, 4, 5, 6});
    ui.choose(data("aus.MV"));
    program->writer().ExpMVItemClick();
    EXPECT_EQ(stampText(doc->state().EntryStamp), "3.2.2027 -- 4:5:6");
    EXPECT_TRUE(exists(data("aus.MV")));
}

TEST_F(EntryFormTest, PickListsComeFromTheirFilesSortedAndTheEditorsNeedThem) {
    EntryForm& f = form();
    EXPECT_EQ(lists[ListKind::Kategorie], builtInCategories());
    EXPECT_EQ(lists[ListKind::Status], builtInStatus());
    EXPECT_FALSE(f.listToEdit(ListKind::Kategorie));
    EXPECT_FALSE(f.listToEdit(ListKind::Status));
    EXPECT_EQ(ui.dialogue(),
              (std::vector<std::string>{
                  "message Fehler \"Die erforderliche Kategorie-Datei ist nicht vorhanden!\" "
                  "Abbrechen",
                  "message Fehler \"Die erforderliche Status-Datei ist nicht vorhanden!\" "
                  "Abbrechen"}));

    // windows-1252, LF or CR LF; sorted as a German reader expects.
    writeFile(programDir() + "STATLIST.TXT",
              "\xdc"
              "beraltert\r\nStandard\r\n\xc4lter\nAlt\r\n\r\n");
    ASSERT_TRUE(f.listToEdit(ListKind::Status));
    writeListText(*f.listToEdit(ListKind::Status),
                  *readListText(programDir() + "STATLIST.TXT") + "Neu\n");
    EXPECT_EQ(readFile(programDir() + "STATLIST.TXT"),
              "\xdc"
              "beraltert\r\nStandard\r\n\xc4lter\r\nAlt\r\n\r\nNeu\r\n");
    f.reloadList(ListKind::Status);
    EXPECT_EQ(lists[ListKind::Status],
              (std::vector<std::string>{"Alt", "Älter", "Neu", "Standard", "Überaltert"}));
}

TEST_F(EntryFormTest, TheShippedListsReachANewProgramFolderAndReplaceTheBuiltInOnes) {
    std::filesystem::create_directories(data("bin"));
    writeFile(data("bin/KATLIST.TXT"), "Spiel\r\nSound\r\n");
    writeFile(data("bin/STATLIST.TXT"), "Neu\r\n");
    writeFile(programDir() + "STATLIST.TXT", "Eigene\r\n");  // the person's own stays
    app::Program::Options o;
    o.programFile = data("bin/mv32");
    o.programDir = programDir();
    app::Program other(std::move(o), ui, invoker);
    other.installListFiles();
    EXPECT_EQ(readFile(programDir() + "KATLIST.TXT"), "Spiel\r\nSound\r\n");
    EXPECT_EQ(readFile(programDir() + "STATLIST.TXT"), "Eigene\r\n");
    form();
    EXPECT_EQ(lists[ListKind::Kategorie], (std::vector<std::string>{"Sound", "Spiel"}));
    EXPECT_EQ(lists[ListKind::Status], (std::vector<std::string>{"Eigene"}));
}

TEST(PickLists, TheBuiltInListsAreInGermanOrder) {
    EXPECT_EQ(mediumTypes().size(), 26u);
    EXPECT_EQ(builtInStatus().size(), 13u);
    EXPECT_EQ(builtInCategories().size(), 210u);
    for (const auto* list : {&mediumTypes(), &builtInStatus(), &builtInCategories()}) {
        auto sorted = *list;
        std::reverse(sorted.begin(), sorted.end());
        sortGerman(sorted);
        EXPECT_EQ(sorted, *list);
    }
    EXPECT_TRUE(germanLess("Straße", "Strasse1"));
    EXPECT_TRUE(germanLess("muller", "Müller"));
    EXPECT_TRUE(germanLess("Müller", "Mut"));
    EXPECT_TRUE(germanLess("abc", "ABC"));
}

TEST(PickLists, AListThatCannotBeWrittenStaysAsItWas) {
    test::TempDir dir;
    const std::string path = dir.file("KATLIST.TXT");
    writeListText(path, "Eins\nZwei");
    // A folder that cannot be made (a file stands where it would be).
    EXPECT_THROW(writeListText(path + "/KATLIST.TXT", "A"), std::runtime_error);
    EXPECT_EQ(*readListFile(path), (std::vector<std::string>{"Eins", "Zwei"}));
    EXPECT_FALSE(readListFile(dir.file("nichts.txt")));
}

}  // namespace mv32::edit
