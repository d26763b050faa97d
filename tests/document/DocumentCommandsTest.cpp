// The commands of the menu "&Datei" through the scripted port: what the person sees, what is on
// disk afterwards, and the document state.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "document/Catalog.h"
#include "document/DocumentFixture.h"
#include "document/SettingsStore.h"
#include "engine/EngineError.h"
#include "engine/Table.h"
#include "support/SmallMedium.h"

namespace mv32::test {
namespace {

using document::Answer;
using document::ControlState;
namespace fs = std::filesystem;

class DocumentCommands : public DocumentFixture {};

TEST_F(DocumentCommands, NewCatalogGetsItsExtensionTitleAndFinishingSteps) {
    const struct {
        std::string typed, expected;
    } cases[] = {
        {"ohne", "ohne.db"},
        {"gross.DB", "gross.DB"},  // kept as typed, and its other files follow it
        {"klein.db", "klein.db"},
        {"punkt.txt", "punkt.txt.db"},
    };
    for (const auto& c : cases) {
        ui.choose(data(c.typed));
        doc->Neu();
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(doc->state().CurrentFile, data(c.expected));
        EXPECT_TRUE(exists(data(c.expected)));
        EXPECT_TRUE(doc->state().CatalogOpen);
        EXPECT_TRUE(doc->state().DataSaved);
        EXPECT_FALSE(doc->state().AutoSaveHold);
        EXPECT_EQ(ui.title, "Mavrel/32 V.3.20  [" + c.expected + "]");
        EXPECT_EQ(ui.controls, ControlState::CatalogOpen);
        EXPECT_EQ(store.read("Settings", "FileToLoad"), data(c.expected));
    }
    EXPECT_EQ(ui.fileDialogs[0].title, "Datei neu anlegen");
    EXPECT_EQ(ui.fileDialogs[0].filter, "Mavrel Dateien (*.DB)|*.DB");
    // The three files of the table; secondary indexes wait for the next MakeIndizes.
    EXPECT_TRUE(exists(data("ohne.px")));
    EXPECT_TRUE(exists(data("ohne.mb")));
    EXPECT_TRUE(exists(data("gross.PX")));
    EXPECT_TRUE(exists(data("gross.MB")));
    EXPECT_FALSE(exists(data("ohne.xg0")));
}

TEST_F(DocumentCommands, NewOverAnExistingFileAsksFirst) {
    makeCatalog(data("alt.db"), {"Alt"});
    makeCatalog(data("offen.db"), {"Offen"});
    openCatalog(data("offen.db"));

    ui.clear();
    ui.choose(data("alt.db"));
    ui.answer(Answer::Nein);
    doc->Neu();
    EXPECT_EQ(ui.dialogue().back(),
              "message Bestätigen \"Die Datei existiert bereits! Soll sie überschrieben "
              "werden?\" JaNein -> Nein");
    EXPECT_EQ(doc->state().CurrentFile, data("offen.db"));
    EXPECT_TRUE(doc->MV32().active());
    EXPECT_FALSE(doc->state().AutoSaveHold);
    EXPECT_EQ(namesIn(data("alt.db")), std::vector<std::string>{"Alt"});

    ui.choose(data("alt.db"));
    ui.answer(Answer::Ja);
    doc->Neu();
    EXPECT_EQ(doc->state().CurrentFile, data("alt.db"));
    EXPECT_EQ(doc->MV32().recordCount(), 0);
    EXPECT_EQ(namesIn(data("offen.db")), std::vector<std::string>{"Offen"});
}

TEST_F(DocumentCommands, NewInAFolderThatCannotBeWrittenReportsTheFailure) {
    ui.choose(data("fehlt/gibtsnicht/neu.db"));
    doc->Neu();
    EXPECT_EQ(ui.dialogue().back(),
              "message Fehler \"Fehler beim Erstellen der Datei!\" Abbrechen");
    EXPECT_FALSE(doc->state().CatalogOpen);
    EXPECT_FALSE(doc->state().AutoSaveHold);
    EXPECT_EQ(ui.title, "Mavrel/32 V.3.20");
}

TEST_F(DocumentCommands, ASettingsFileThatCannotBeWrittenLeavesTheCatalogOpen) {
    makeCatalog(data("k.db"), {"A"});
    std::filesystem::create_directories(data("settings.ini"));  // a folder: no file to write
    document::IniSettingsStore broken(data("settings.ini"));
    document::CatalogDocument other({ui, broken, settings, log, clock, programDir()});
    other.openLastFile(data("k.db"));
    EXPECT_TRUE(other.state().CatalogOpen);
    EXPECT_EQ(other.MV32().recordCount(), 1);
    EXPECT_EQ(ui.recentFiles, std::vector<std::string>{data("k.db")});
    EXPECT_NE(readFile(programDir() + "mv32.log").find("settings.ini"), std::string::npos);
}

TEST_F(DocumentCommands, CancelledDialogsChangeNothing) {
    ui.cancelDialog();
    doc->Neu();
    ui.cancelDialog();
    doc->Oeffnen();
    EXPECT_FALSE(doc->state().CatalogOpen);
    EXPECT_TRUE(ui.scriptUsed());
}

TEST_F(DocumentCommands, OpeningRepairsThePrimaryKeyAndFollowsTheIndexSettings) {
    // A catalog whose primary index file is lost.
    makeCatalog(data("kat.db"), {"B", "A", "C"});
    fs::remove(data("kat.px"));
    settings.indexOn = {true, false, false, false, false, false, true, false};

    openCatalog(data("kat.db"));
    auto& t = doc->MV32();
    EXPECT_TRUE(exists(data("kat.px")));
    EXPECT_EQ(t.primaryKeyFields(), std::vector<std::string>{"Name"});
    auto names = t.indexNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"DatentraegerNrIndex", "KategorieIndex"}));
    EXPECT_EQ(t.indexName(), "");
    t.first();
    EXPECT_EQ(t.asString("Name"), "A");
    EXPECT_EQ(ui.recordCount, 3);

    // Switching one off and applying removes it; the primary order stays.
    settings.indexOn[6] = false;
    doc->MakeIndizes();
    EXPECT_EQ(t.indexNames(), std::vector<std::string>{"DatentraegerNrIndex"});
    EXPECT_TRUE(t.active());
}

TEST_F(DocumentCommands, OpeningADamagedCatalogEndsWithNoCatalogAndTheEnginesMessage) {
    makeCatalog(data("gut.db"), {"X"});
    openCatalog(data("gut.db"));
    writeFile(data("kaputt.db"), std::string(5000, 'x'));
    ui.choose(data("kaputt.db"));
    doc->Oeffnen();
    EXPECT_FALSE(doc->state().CatalogOpen);
    EXPECT_EQ(ui.controls, ControlState::NoCatalog);
    EXPECT_EQ(ui.title, "Mavrel/32 V.3.20");
    ASSERT_FALSE(ui.dialogue().empty());
    EXPECT_NE(ui.dialogue().back().find("error \""), std::string::npos);
    EXPECT_NE(ui.dialogue().back().find("kaputt"), std::string::npos);
}

TEST_F(DocumentCommands, LoadAllIntoOneKeepsTheRecordOfTheFileReadLast) {
    makeCatalog(data("a.db"), {"Gemeinsam", "NurA"}, "aus a");
    makeCatalog(data("b.db"), {"Gemeinsam", "NurB"}, "aus b");
    // Not a catalog: another layout is skipped without a message.
    {
        engine::Table other;
        other.setTableName(data("fremd.db"));
        other.setFieldDefs({{"Titel", engine::FieldType::Text, 20}});
        other.createTable();
        other.open();
        other.append();
        other.setAsString("Titel", "x");
        other.post();
        other.close();
    }
    writeFile(data("kaputt.DB"), "kein Katalog");
    makeCatalog(data(".versteckt.db"), {"Versteckt"});

    ui.choose(data("alle.db"), 3);
    doc->Oeffnen();
    ASSERT_TRUE(doc->state().CatalogOpen);
    EXPECT_EQ(doc->state().CurrentFile, data("alle.db"));
    EXPECT_EQ(namesIn(data("alle.db")), (std::vector<std::string>{"Gemeinsam", "NurA", "NurB"}));
    auto& t = doc->MV32();
    ASSERT_TRUE(t.locate("Name", {engine::Value("Gemeinsam")}));
    EXPECT_EQ(t.asString("Kategorie"), "aus b");
    EXPECT_EQ(ui.dialogue().size(), 1u);  // only the dialog: no message for skipped files
    EXPECT_FALSE(doc->state().AutoSaveHold);

    // Loading into a target that holds records asks first; "Nein" leaves it as it was.
    doc->Schliessen();
    ui.choose(data("alle.db"), 3);
    ui.answer(Answer::Nein);
    doc->Oeffnen();
    EXPECT_FALSE(doc->state().CatalogOpen);
    EXPECT_EQ(namesIn(data("alle.db")).size(), 3u);
}

TEST_F(DocumentCommands, DeletingTheOpenCatalogAsksAndKeepsTheJournal) {
    makeCatalog(data("weg.db"), {"A", "B"});
    openCatalog(data("weg.db"));
    doc->MV32().first();
    doc->MV32().remove();  // journalled
    ui.clear();
    ui.answer(Answer::Nein);
    doc->Loeschen();
    EXPECT_TRUE(doc->state().CatalogOpen);
    EXPECT_TRUE(exists(data("weg.db")));

    ui.answer(Answer::Ja);
    doc->Loeschen();
    EXPECT_FALSE(doc->state().CatalogOpen);
    EXPECT_FALSE(exists(data("weg.db")));
    EXPECT_FALSE(exists(data("weg.px")));
    EXPECT_EQ(ui.title, "Mavrel/32 V.3.20");
    EXPECT_EQ(ui.controls, document::ControlState::NoCatalog);
    EXPECT_EQ(doc->undoTable().recordCount(), 1);
    EXPECT_EQ(ui.dialogue(),
              (std::vector<std::string>{
                  "message Warnung \"Soll die geöffnete Datei gelöscht werden?\" JaNein -> Nein",
                  "message Warnung \"Soll die geöffnete Datei gelöscht werden?\" JaNein -> Ja"}));
}

TEST_F(DocumentCommands, LegacyFilesOfSizeZeroAndOfOldVersions) {
    makeCatalog(data("alt.db"), {"Aus der Tabelle"});
    writeFile(data("alt.MV"), "");
    ui.choose(data("alt.MV"), 2);
    doc->Oeffnen();
    ASSERT_TRUE(doc->state().CatalogOpen);
    EXPECT_EQ(doc->state().CurrentFile, data("alt.db"));
    EXPECT_EQ(ui.title, "Mavrel/32 V.3.20  [alt.db]");
    // A zero-length legacy file does not become the file to load at start-up.
    EXPECT_EQ(store.read("Settings", "FileToLoad"), std::nullopt);

    std::string header(23, '\0');
    header[22] = 12;
    writeFile(data("uralt.mv"), header);
    ui.clear();
    ui.choose(data("uralt.mv"), 2);
    doc->Oeffnen();
    EXPECT_EQ(ui.dialogue().back(), "Ältere Version!");
    EXPECT_FALSE(doc->state().CatalogOpen);
    EXPECT_EQ(ui.controls, ControlState::NoCatalog);
    EXPECT_EQ(ui.title, "Mavrel/32 V.3.20");
    EXPECT_FALSE(exists(data("uralt.db")));

    // A file that cannot be read: back to no catalog without a message.
    ui.clear();
    doc->openLastFile(data("fehlt.MV"));
    EXPECT_TRUE(ui.dialogue().empty());
    EXPECT_FALSE(doc->state().CatalogOpen);
}

TEST_F(DocumentCommands, OpenLastFileOpensExistingCatalogsOnly) {
    makeCatalog(data("da.db"), {"X"});
    doc->openLastFile(data("fehlt.db"));
    doc->openLastFile(data("da.txt"));
    EXPECT_FALSE(doc->state().CatalogOpen);
    EXPECT_EQ(store.read("Settings", "FileToLoad"), std::nullopt);
    EXPECT_TRUE(ui.calls().empty());

    doc->openLastFile(data("da.db"));
    EXPECT_TRUE(doc->state().CatalogOpen);
    EXPECT_EQ(store.read("Settings", "FileToLoad"), data("da.db"));
}

TEST_F(DocumentCommands, RecentFilesHoldFiveMostRecentFirst) {
    for (const char* n : {"1.db", "2.db", "3.db", "4.db", "5.db", "6.db"}) {
        makeCatalog(data(n), {"X"});
        doc->openLastFile(data(n));
    }
    doc->openLastFile(data("3.db"));
    const std::vector<std::string> expected = {data("3.db"), data("6.db"), data("5.db"),
                                               data("4.db"), data("2.db")};
    EXPECT_EQ(doc->recentFiles().paths(), expected);
    EXPECT_EQ(ui.recentFiles, expected);
    // The list survives in the store.
    document::RecentFiles again(store);
    again.load();
    EXPECT_EQ(again.paths(), expected);
}

TEST_F(DocumentCommands, SaveMakesBackupCopiesKeepingDateAndTime) {
    makeCatalog(data("kat.db"), {"Eins"});
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
    for (const char* e : {".db", ".px", ".mb"})
        fs::last_write_time(data(std::string("kat") + e), old);
    openCatalog(data("kat.db"));
    auto& t = doc->MV32();
    t.edit();
    t.setAsString("Status", "in Arbeit");
    EXPECT_FALSE(doc->state().DataSaved);

    ui.clear();
    doc->Speichern();
    EXPECT_TRUE(doc->state().DataSaved);
    EXPECT_EQ(ui.status[1], "gesichert");
    const std::string backup = programDir() + "Backup/";
    for (const char* e : {".db", ".px", ".mb"}) EXPECT_TRUE(exists(backup + "kat" + e)) << e;
    EXPECT_EQ(ui.progressPosition, ui.progressMax);
    EXPECT_GT(ui.progressMax, 0);
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_TRUE(t.active());
    EXPECT_EQ(t.asString("Status"), "in Arbeit");  // still on the record it was on

    // The backup is a working catalog with the posted edit.
    engine::Table copy;
    copy.setTableName(backup + "kat.db");
    copy.open();
    ASSERT_TRUE(copy.locate("Name", {engine::Value("Eins")}));
    EXPECT_EQ(copy.asString("Status"), "in Arbeit");
    copy.close();

    // A catalog of the same file name from another folder replaces that backup.
    fs::create_directory(data("anders"));
    makeCatalog(data("anders/kat.db"), {"Anders"});
    openCatalog(data("anders/kat.db"));
    doc->Speichern();
    EXPECT_EQ(namesIn(backup + "kat.db"), std::vector<std::string>{"Anders"});
    for (const auto& entry : fs::directory_iterator(backup))
        EXPECT_EQ(entry.path().string().find(".kopie"), std::string::npos);

    // Without the setting no copy is made.
    settings.Backup = false;
    fs::remove_all(backup);
    doc->Speichern();
    EXPECT_FALSE(exists(backup));
}

TEST_F(DocumentCommands, BackupKeepsTheSourceFilesTime) {
    makeCatalog(data("zeit.db"), {"X"});
    openCatalog(data("zeit.db"));
    doc->Speichern();
    doc->Schliessen();  // closing settles every file of the table
    const auto when = fs::file_time_type::clock::now() - std::chrono::hours(100);
    for (const char* e : {".db", ".px", ".mb"})
        fs::last_write_time(data(std::string("zeit") + e), when);
    openCatalog(data("zeit.db"));
    doc->MV32().close();
    for (const char* e : {".db", ".px", ".mb"})
        fs::last_write_time(data(std::string("zeit") + e), when);
    doc->copyBackup();
    for (const char* e : {".db", ".px", ".mb"}) {
        EXPECT_EQ(fs::last_write_time(programDir() + "Backup/zeit" + e),
                  fs::last_write_time(data(std::string("zeit") + e)))
            << e;
    }
}

TEST_F(DocumentCommands, SaveACopyWritesThreeFilesAndKeepsTheOpenCatalog) {
    makeCatalog(data("quelle.db"), {"A", "B"});
    openCatalog(data("quelle.db"));
    settings.Backup = false;
    ui.clear();
    ui.choose(data("kopie.db"));
    doc->SpeichernUnter();
    EXPECT_EQ(ui.fileDialogs.back().filter, "Mavrel DB-Dateien (*.DB)|*.DB");
    EXPECT_TRUE(ui.fileDialogs.back().mustExist);
    for (const char* e : {".db", ".px", ".mb"}) EXPECT_TRUE(exists(data(std::string("kopie") + e)));
    EXPECT_EQ(namesIn(data("kopie.db")), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(doc->state().CurrentFile, data("quelle.db"));
    EXPECT_EQ(ui.title, "Mavrel/32 V.3.20  [quelle.db]");
    EXPECT_EQ(doc->recentFiles().paths().front(), data("quelle.db"));
    EXPECT_EQ(ui.status[1], "gesichert");

    // Over an existing file only after "Ja"; onto itself it stays whole.
    ui.choose(data("kopie.db"));
    ui.answer(Answer::Nein);
    doc->SpeichernUnter();
    ui.choose(data("quelle.db"));
    ui.answer(Answer::Ja);
    doc->SpeichernUnter();
    EXPECT_EQ(doc->MV32().recordCount(), 2);
    doc->Schliessen();
    EXPECT_EQ(namesIn(data("quelle.db")), (std::vector<std::string>{"A", "B"}));
}

TEST_F(DocumentCommands, CloseReturnsToNoCatalog) {
    makeCatalog(data("k.db"), {"A"});
    openCatalog(data("k.db"));
    doc->state().ChangeCount = 7;
    doc->Schliessen();
    EXPECT_FALSE(doc->state().CatalogOpen);
    EXPECT_TRUE(doc->state().DataSaved);
    EXPECT_EQ(doc->state().ChangeCount, 0);
    EXPECT_FALSE(doc->MV32().active());
    EXPECT_EQ(ui.title, "Mavrel/32 V.3.20");
    EXPECT_EQ(ui.status[1], "");
    EXPECT_EQ(ui.controls, ControlState::NoCatalog);
    // Commands that need a catalog now do nothing.
    ui.clear();
    doc->Speichern();
    doc->SpeichernUnter();
    doc->Schliessen();
    EXPECT_TRUE(ui.calls().empty());
}

TEST_F(DocumentCommands, TreeBuildingHoldsTheFileCommands) {
    makeCatalog(data("k.db"), {"A"});
    openCatalog(data("k.db"));
    doc->state().TreeBuilding = true;
    ui.clear();
    doc->Neu();
    doc->Oeffnen();
    doc->Speichern();
    doc->SpeichernUnter();
    doc->Schliessen();
    EXPECT_TRUE(ui.calls().empty());
    EXPECT_TRUE(doc->state().CatalogOpen);
}

TEST_F(DocumentCommands, RecordNotificationsSetTheSavedState) {
    makeCatalog(data("k.db"), {"A"});
    openCatalog(data("k.db"));
    auto& t = doc->MV32();
    int journalled = 0;
    doc->beforeDeleteHook = [&](engine::Table& table) {
        EXPECT_EQ(table.asString("Name"), "Neu");
        ++journalled;
    };
    t.append();
    EXPECT_FALSE(doc->state().DataSaved);
    t.setAsString("Name", "Neu");
    t.post();
    EXPECT_TRUE(doc->state().DataSaved);
    EXPECT_EQ(ui.status[1], "gesichert");
    t.edit();
    EXPECT_FALSE(doc->state().DataSaved);
    t.post();
    t.remove();
    EXPECT_EQ(journalled, 1);
    EXPECT_FALSE(doc->state().DataSaved);
}

TEST_F(DocumentCommands, ExplorerCatalogIsCreatedInTheProgramFolder) {
    doc->state().DataSaved = false;
    doc->openExplorerCatalog();
    EXPECT_TRUE(doc->state().CatalogOpen);
    EXPECT_EQ(doc->state().CurrentFile, programDir() + "drivescan.db");
    EXPECT_TRUE(exists(programDir() + "drivescan.px"));
    EXPECT_FALSE(doc->state().DataSaved);  // the Explorer catalog leaves the saved state alone
    doc->Schliessen();

    // A failure only logs.
    writeFile(programDir() + "drivescan.db", std::string(3000, 'y'));
    ui.clear();
    doc->openExplorerCatalog();
    EXPECT_TRUE(ui.dialogue().empty());
    EXPECT_FALSE(doc->state().CatalogOpen);
    EXPECT_NE(readFile(programDir() + "mv32.log")
                  .find("Fehler bei Tabellenoperationen: Erzeugen fuer Explorer\r\n"),
              std::string::npos);
}

TEST_F(DocumentCommands, OpeningEmptiesTheUndoTable) {
    auto& undo = doc->undoTable();
    undo.append();
    undo.setAsString("Name", "gelöscht");
    undo.post();
    makeCatalog(data("k.db"), {"A"});
    openCatalog(data("k.db"));
    EXPECT_EQ(undo.recordCount(), 0);
}

}  // namespace
}  // namespace mv32::test

namespace mv32::test {
namespace {

TEST_F(DocumentCommands, ACatalogOnAReadOnlyMediumOpensForReadingAndSaysSo) {
    SmallMedium cd(4 << 20);
    if (!cd.available()) GTEST_SKIP() << cd.whyNot();
    makeCatalog(cd.file("cd.db"), {"B", "A"});
    settings.indexOn = {true, false, false, false, false, false, true, false};
    cd.setReadOnly(true);

    openCatalog(cd.file("cd.db"));
    EXPECT_EQ(ui.dialogue().back(),
              "message Information \"Der Katalog »cd.db« liegt auf einem Datenträger oder in "
              "Dateien, die nicht beschrieben werden können. Er ist nur zum Lesen geöffnet; "
              "Änderungen sind nicht möglich.\" OK");
    auto& t = doc->MV32();
    EXPECT_TRUE(t.readOnly());
    EXPECT_TRUE(t.indexNames().empty());  // the index settings wait for a writable medium
    t.first();
    EXPECT_EQ(t.asString("Name"), "A");
    t.edit();
    t.setAsString("Kategorie", "neu");
    EXPECT_THROW(t.post(), engine::EngineError);
    t.cancel();
    doc->Schliessen();
    cd.setReadOnly(false);
    EXPECT_EQ(namesIn(cd.file("cd.db")), (std::vector<std::string>{"A", "B"}));
}

TEST_F(DocumentCommands, WhatTheEngineMendedWhileOpeningIsShown) {
    makeCatalog(data("kat.db"), {"A"});
    makeCatalog(data("fremd.db"), {"X"});
    {
        engine::Table other;
        other.setTableName(data("fremd.db"));
        other.open();
        other.append();
        other.setAsString("Name", "Y");
        other.post();
        writeFile(data("kat.wal"), readFile(data("fremd.wal")));
    }
    ui.clear();
    openCatalog(data("kat.db"));
    ASSERT_FALSE(ui.dialogue().empty());
    EXPECT_NE(ui.dialogue().back().find("message Information \"Das Protokoll »kat.wal« gehört "
                                        "nicht zum jetzigen Stand der Tabelle »kat.db«"),
              std::string::npos)
        << ui.dialogue().back();
    EXPECT_EQ(namesIn(data("kat.db")), std::vector<std::string>{"A"});
}

}  // namespace
}  // namespace mv32::test

namespace mv32::test {
namespace {

// HOME for one test, put back afterwards.
class HomeFolder {
public:
    explicit HomeFolder(const std::string& path) {
        if (const char* h = std::getenv("HOME")) old_ = h;
        setenv("HOME", path.c_str(), 1);
    }
    ~HomeFolder() { setenv("HOME", old_.c_str(), 1); }

private:
    std::string old_;
};

}  // namespace

TEST_F(DocumentCommands, FileDialogsStartWhereThePersonWasLast) {
    HomeFolder homeFolder(work.path());
    EXPECT_EQ(doc->dialogFolder(), work.path() + "/") << "at first the home folder";
    fs::create_directories(data("kataloge"));
    fs::create_directories(data("anderswo"));
    settings.FileToLoad = data("kataloge/zuletzt.db");
    ui.choose(data("anderswo/neu.db"));
    doc->Neu();
    ASSERT_EQ(ui.fileDialogs.size(), 1u);
    EXPECT_EQ(ui.fileDialogs[0].folder, data("kataloge/")) << "then the catalog opened last";
    ui.cancelDialog();
    doc->Oeffnen();
    EXPECT_EQ(ui.fileDialogs[1].folder, data("anderswo/")) << "then the folder used last";
    EXPECT_NE(ui.fileDialogs[1].folder, programDir());
}

TEST_F(DocumentCommands, TheFileListAndTheUndoJournalAreNoCatalogs) {
    settings.DatenbankPfad = work.path() + "/";
    makeCatalog(data("mv32list.db"), {"Datei"});  // stands for the file list here
    makeCatalog(data("offen.db"), {"Offen"});
    openCatalog(data("offen.db"));
    fs::create_symlink(work.path(), data("verweis"));
    const std::string list = "Dateiliste von Mavrel/32";
    const std::string undo = "Undo-Tabelle von Mavrel/32";
    const struct {
        const char* what;
        std::string chosen;
        int filter;
        std::string says;
    } cases[] = {
        {"Neu", data("MV32LIST"), 1, list},
        {"Öffnen", data("verweis/mv32list.db"), 1, list},
        {"Öffnen eines MV", data("mv32list.MV"), 2, list},
        {"Alle laden in", data("mv32list.db"), 3, list},
        {"Speichern unter", programDir() + "undo.DB", 1, undo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ui.clear();
        ui.choose(c.chosen, c.filter);
        if (std::string(c.what) == "Neu")
            doc->Neu();
        else if (std::string(c.what) == "Speichern unter")
            doc->SpeichernUnter();
        else
            doc->Oeffnen();
        const auto said = ui.dialogue();
        ASSERT_EQ(said.size(), 2u);  // the file dialog, then the refusal
        EXPECT_EQ(said[1].rfind("message Fehler", 0), 0u) << said[1];
        EXPECT_NE(said[1].find(c.says), std::string::npos) << said[1];
        EXPECT_EQ(doc->state().CurrentFile, data("offen.db")) << "the open catalog stays";
        EXPECT_TRUE(doc->MV32().active());
    }
    EXPECT_EQ(namesIn(data("mv32list.db")), std::vector<std::string>{"Datei"});
    EXPECT_FALSE(exists(data("mv32list.MV")));

    // drivescan.db in the program folder is a catalog as before.
    ui.clear();
    doc->openExplorerCatalog();
    EXPECT_EQ(doc->state().CurrentFile, programDir() + "drivescan.db");
}

}  // namespace mv32::test
