// The settings record, its store and the settings dialog's rules and "&OK".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "document/DocumentFixture.h"
#include "document/SettingsDialogModel.h"
#include "engine/Table.h"

namespace mv32::test {
namespace {

using document::Answer;
using document::Settings;
namespace fs = std::filesystem;

TEST(SettingsStoreTest, ReadingFollowsTheStoredTextForms) {
    document::MemorySettingsStore store;
    Settings s = document::readSettings(store, "/prog/");
    EXPECT_EQ(s.DatenbankPfad, "/prog/");
    EXPECT_EQ(s.UserSQL,
              "SELECT Name, Datentraeger, DatentraegerNr, Kategorie FROM %1 where Kategorie<>''");
    EXPECT_TRUE(s.AutoSave && s.ASZeit && s.CreateLogFile && s.ReadLastfile && s.Backup &&
                s.ScanBackground && s.Hidden);
    EXPECT_FALSE(s.ASAender || s.SekIndexActive || s.NoFun || s.ReadFilesBBS || s.ReadFileIDDIZ);
    EXPECT_EQ(s.indexOn, (std::array<bool, 8>{true, true, false, false, true, false, true, false}));
    EXPECT_EQ(s.AutoSaveValue, 50);
    EXPECT_EQ(s.AutoSaveValueZeit, 10);
    EXPECT_EQ(s.autoSaveIntervalMs(), 600000);

    const struct {
        const char* stored;
        bool expected;  // for a flag whose default is off
    } flags[] = {{"1", true},  {"0", false},  {"0x1", true}, {"0x0", false}, {"7", true},
                 {"-1", true}, {"ja", false}, {"", false},   {" 1 ", true}};
    for (const auto& f : flags) {
        store.write("Settings", {{"NoFun", f.stored}});
        EXPECT_EQ(document::readSettings(store, "/p/").NoFun, f.expected) << f.stored;
    }
    store.write("Settings", {{"AutoSaveValue", "viele"}, {"AutoSaveValueZeit", "0x"}});
    s = document::readSettings(store, "/p/");
    EXPECT_EQ(s.AutoSaveValue, 50);
    EXPECT_EQ(s.AutoSaveValueZeit, 10);
    store.write("Settings", {{"AutoSaveValue", "3"}, {"AutoSaveValueZeit", "0x2"}});
    s = document::readSettings(store, "/p/");
    EXPECT_EQ(s.AutoSaveValue, 3);
    EXPECT_EQ(s.autoSaveIntervalMs(), 120000);
    // Values written by hand outside the dialog's ranges are brought into them: no timer of
    // 0 ms, no interval that overflows; a data folder without its separator gets one.
    store.write("Settings", {{"AutoSaveValue", "0"},
                             {"AutoSaveValueZeit", "0"},
                             {"DatenbankPfad", "/daten/mv32"}});
    s = document::readSettings(store, "/p/");
    EXPECT_EQ(s.AutoSaveValue, 1);
    EXPECT_EQ(s.autoSaveIntervalMs(), 60000);
    EXPECT_EQ(s.DatenbankPfad, "/daten/mv32/");
    store.write("Settings", {{"AutoSaveValue", "99999999"}, {"AutoSaveValueZeit", "40000"}});
    s = document::readSettings(store, "/p/");
    EXPECT_EQ(s.AutoSaveValue, 9999);
    EXPECT_EQ(s.autoSaveIntervalMs(), 3600000);
    s.AutoSaveValueZeit = 40000;  // however it got there
    EXPECT_EQ(s.autoSaveIntervalMs(), 3600000);
}

TEST(SettingsStoreTest, WritingStoresEverythingButTheFileToLoadAndTheAddresses) {
    document::MemorySettingsStore store;
    Settings s = Settings::defaults("/p/");
    s.FileToLoad = "/x.db";
    s.NoFun = true;
    document::writeSettings(store, s);
    EXPECT_EQ(store.read("Settings", "NoFun"), "1");
    EXPECT_EQ(store.read("Settings", "LaufwerkInd"), "0");
    EXPECT_EQ(store.read("Settings", "DatentraegerNrInd"), "1");
    EXPECT_EQ(store.read("Settings", "AutoSaveValueZeit"), "10");
    EXPECT_EQ(store.read("Settings", "FileToLoad"), std::nullopt);
    EXPECT_EQ(store.read("Settings", "Email"), std::nullopt);
    EXPECT_EQ(store.read("Settings", "URL"), std::nullopt);
    EXPECT_EQ(store.readSection("Settings").size(), 24u);
    EXPECT_EQ(store.writes(), 1);
}

TEST(SettingsStoreTest, TheSettingsFileKeepsEveryTextAndIsReplacedWhole) {
    TempDir dir;
    const std::string path = dir.file("conf/settings.ini");
    document::IniSettingsStore store(path);
    EXPECT_EQ(store.read("Settings", "UserSQL"), std::nullopt);  // no file yet
    const std::string sql = "SELECT *\r\nFROM %1 WHERE Name = 'a\\b' ; [x] =y";
    store.write("Settings", {{"UserSQL", sql}, {"Backup", "0"}});
    store.write("MRUList", {{"Datei1", "/a b/ä.db"}});
    store.write("Settings", {{"Backup", "1"}});
    document::IniSettingsStore again(path);
    EXPECT_EQ(again.read("Settings", "UserSQL"), sql);
    EXPECT_EQ(again.read("Settings", "Backup"), "1");
    EXPECT_EQ(again.read("MRUList", "Datei1"), "/a b/ä.db");
    again.replaceSection("MRUList", {{"Datei1", "/b.db"}});
    EXPECT_EQ(again.readSection("MRUList").size(), 1u);
    EXPECT_FALSE(fs::exists(path + ".neu"));

    // Names hold anything a remembered mount point may hold, and read back as written.
    const document::SettingsValues odd = {{"/media/u/A=B", "E"},
                                          {"[x]", "F"},
                                          {";kein Kommentar", "G"},
                                          {"#auch nicht", "H"},
                                          {"a\\b=c\nd", "x=y\\z"}};
    again.replaceSection("Laufwerke", odd);
    document::IniSettingsStore third(path);
    EXPECT_EQ(third.readSection("Laufwerke"), odd);
    EXPECT_EQ(third.read("MRUList", "Datei1"), "/b.db");

    // Values the file holds already leave it as it is (no new file, no sync); a change
    // replaces it (a new file, told by its inode).
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    third.write("Settings", {{"Backup", "1"}});
    third.replaceSection("Laufwerke", odd);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    third.write("Settings", {{"Backup", "0"}});
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(document::IniSettingsStore(path).read("Settings", "Backup"), "0");

    // A folder where the file should be cannot be read: the error names it.
    fs::create_directories(dir.file("verzeichnis.ini"));
    document::IniSettingsStore broken(dir.file("verzeichnis.ini"));
    try {
        broken.write("Settings", {{"a", "b"}});
        FAIL() << "write into a folder succeeded";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("verzeichnis.ini"), std::string::npos);
    }
}

class SettingsDialog : public DocumentFixture {
protected:
    SettingsDialog() : model(*doc) {}
    document::SettingsDialogModel model;
};

TEST_F(SettingsDialog, RulesTieTheBoxesTogether) {
    model.open();
    auto& v = model.values();
    EXPECT_TRUE(model.triggersEnabled());
    model.setAutoSave(false);
    EXPECT_FALSE(model.triggersEnabled());
    model.setAutoSave(true);

    model.setASAender(true);
    EXPECT_FALSE(v.ASZeit);
    model.setASZeit(true);
    EXPECT_FALSE(v.ASAender);

    EXPECT_TRUE(v.ScanBackground);
    model.setReadFileIDDIZ(true);
    EXPECT_FALSE(v.ScanBackground);
    model.setReadFilesBBS(true);
    model.setScanBackground(true);
    EXPECT_FALSE(v.ReadFilesBBS);
    EXPECT_FALSE(v.ReadFileIDDIZ);
}

TEST_F(SettingsDialog, OpeningRereadsTheStoreButKeepsTheFolderInMemory) {
    settings.DatenbankPfad = "/im/speicher/";
    store.write("Settings", {{"DatenbankPfad", "/im/store/"}, {"NoFun", "1"}, {"LabelInd", "0x1"}});
    model.open();
    EXPECT_EQ(model.values().DatenbankPfad, "/im/speicher/");
    EXPECT_TRUE(model.values().NoFun);
    EXPECT_TRUE(model.values().indexOn[2]);
    EXPECT_TRUE(settings.NoFun);  // the record holds what was just read
    EXPECT_EQ(model.autoSaveValueText, "50");
}

TEST_F(SettingsDialog, ResetThenCancelStoresNothingButMayAskAboutTheFileListIndexes) {
    // A file list with its three secondary indexes.
    settings.DatenbankPfad = work.path() + "/";
    {
        engine::Table list;
        list.setDirectory(work.path());
        list.setTableName("mv32list.db");
        list.setFieldDefs({{"Verzeichnis", engine::FieldType::Text, 255},
                           {"Dateiname", engine::FieldType::Text, 255},
                           {"Erweiterung", engine::FieldType::Text, 5},
                           {"Groesse", engine::FieldType::Int64, 0}});
        list.createTable();
        list.setExclusive(true);
        list.addIndex("", "Verzeichnis;Dateiname;Erweiterung;Groesse");
        list.addIndex("DateinameIndex", "Dateiname");
        list.addIndex("ErweiterungIndex", "Erweiterung");
        list.addIndex("GroesseIndex", "Groesse");
    }
    store.write("Settings", {{"SekIndexActive", "1"}, {"UserSQL", "SELECT Name FROM %1"}});
    const int writes = store.writes();
    model.open();
    ASSERT_TRUE(model.values().SekIndexActive);

    ui.answer(Answer::Ja);
    model.restoreDefaults();
    EXPECT_EQ(ui.dialogue(),
              std::vector<std::string>{"message Warnung \"Sollen vorhandene Indizes gelöscht "
                                       "werden?\" JaNein -> Ja"});
    EXPECT_EQ(model.values().UserSQL, "SELECT * FROM %1");
    EXPECT_FALSE(model.values().SekIndexActive);
    EXPECT_EQ(model.values().DatenbankPfad, work.path() + "/");
    // "&Abbrechen": nothing is stored, but the indexes are gone already.
    EXPECT_EQ(store.writes(), writes);
    engine::Table list;
    list.setDirectory(work.path());
    list.setTableName("mv32list.db");
    list.open();
    EXPECT_TRUE(list.indexNames().empty());
    EXPECT_TRUE(list.hasPrimaryIndex());
}

TEST_F(SettingsDialog, OkAppliesStoresAndFollowsUp) {
    makeCatalog(data("k.db"), {"A"});
    openCatalog(data("k.db"));
    ASSERT_EQ(doc->MV32().indexNames().size(), 4u);
    ui.clear();

    model.open();
    model.values().DatenbankPfad = "";
    model.values().indexOn[6] = false;  // "Kategorie"
    model.values().indexOn[7] = true;   // "Laufwerk"
    model.autoSaveValueZeitText = "5";
    model.autoSaveValueText = "0";
    model.ok();

    EXPECT_EQ(settings.DatenbankPfad, programDir());
    EXPECT_EQ(store.read("Settings", "DatenbankPfad"), programDir());
    EXPECT_EQ(settings.AutoSaveValueZeit, 5);
    EXPECT_EQ(settings.AutoSaveValue, 1);  // a number field keeps to its range
    EXPECT_EQ(ui.autoSaveInterval, 300000);
    EXPECT_EQ(store.read("Settings", "KategorieInd"), "0");
    EXPECT_EQ(ui.hiddenSortItems, (std::vector<std::string>{"LabelIndex", "Gesamte_GroesseIndex",
                                                            "StatusIndex", "KategorieIndex"}));
    auto names = doc->MV32().indexNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "KategorieIndex"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "LaufwerkIndex"), 1);
    EXPECT_FALSE(ui.fileSearchVisible);

    // A folder without its separator gets one; a file list there shows the file search.
    fs::create_directories(data("liste"));
    writeFile(data("liste/mv32list.db"), "");
    model.open();
    model.values().DatenbankPfad = data("liste");
    model.ok();
    EXPECT_EQ(settings.DatenbankPfad, data("liste") + "/");
    EXPECT_TRUE(ui.fileSearchVisible);
}

TEST_F(SettingsDialog, AFolderThatCannotBeCreatedIsLoggedAndStoredAllTheSame) {
    writeFile(data("datei"), "x");
    model.open();
    model.values().DatenbankPfad = data("datei/unter/");
    model.ok();
    EXPECT_EQ(store.read("Settings", "DatenbankPfad"), data("datei/unter/"));
    EXPECT_EQ(readFile(programDir() + "mv32.log"),
              "09.12.2026 08:05:03 Datenbankpfad konnte nicht angelegt werden: Einstell\r\n");
}

TEST_F(SettingsDialog, CatalogMaintenance) {
    makeCatalog(data("k.db"), {"A", "B", "C"});
    openCatalog(data("k.db"));
    auto& t = doc->MV32();
    t.first();
    t.remove();
    model.Packen();
    EXPECT_TRUE(t.active());
    EXPECT_EQ(t.recordCount(), 2);
    model.Reindizieren();
    EXPECT_TRUE(t.active());
    EXPECT_FALSE(t.exclusive());
    EXPECT_EQ(t.recordCount(), 2);

    ui.clear();
    ui.answer(Answer::Abbrechen);
    model.Leeren();
    EXPECT_EQ(t.recordCount(), 2);
    ui.answer(Answer::Ja);
    model.Leeren();
    EXPECT_EQ(t.recordCount(), 0);
    EXPECT_EQ(ui.dialogue().front(),
              "message Warnung \"WARNUNG: Alle Daten der Hauptdatenbank werden gelöscht! "
              "Fortfahren?\" JaAbbrechen -> Abbrechen");
    EXPECT_FALSE(ui.busyVisible);

    // Without an open catalog they do nothing.
    doc->Schliessen();
    ui.clear();
    model.Packen();
    model.Leeren();
    model.Reindizieren();
    EXPECT_TRUE(ui.calls().empty());
}

TEST_F(SettingsDialog, FileListMaintenance) {
    settings.DatenbankPfad = work.path() + "/";
    model.FileListPacken();  // no file list yet
    EXPECT_EQ(ui.dialogue().back(), "message Fehler \"Fehler beim Packen der Tabelle!\" Abbrechen");
    {
        engine::Table list;
        list.setDirectory(work.path());
        list.setTableName("mv32list.db");
        list.setFieldDefs({{"Dateiname", engine::FieldType::Text, 255}});
        list.createTable();
        list.open();
        for (const char* n : {"a", "b", "c"}) {
            list.append();
            list.setAsString("Dateiname", n);
            list.post();
        }
    }
    writeFile(programDir() + "mv32list.chk", "MEDIUM00000001\r\n");
    ui.clear();
    model.FileListPacken();
    model.FileListReindizieren();
    EXPECT_TRUE(ui.dialogue().empty());
    ui.answer(Answer::Abbrechen);
    model.FileListLeeren();
    EXPECT_TRUE(exists(programDir() + "mv32list.chk"));
    ui.answer(Answer::Ja);
    model.FileListLeeren();
    EXPECT_EQ(ui.dialogue().back(),
              "message Warnung \"WARNUNG: Alle Daten der Dateidatenbank werden gelöscht! "
              "Fortfahren?\" JaAbbrechen -> Ja");
    EXPECT_FALSE(exists(programDir() + "mv32list.chk"));
    engine::Table list;
    list.setDirectory(work.path());
    list.setTableName("mv32list.db");
    list.open();
    EXPECT_EQ(list.recordCount(), 0);
}

}  // namespace
}  // namespace mv32::test
