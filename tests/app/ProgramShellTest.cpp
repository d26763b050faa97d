// The program's start and end through the scripted port: the creation steps with their log
// lines, the command line, the exit sequence and the desktop entries.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include "app/ProgramShell.h"
#include "document/DocumentFixture.h"
#include "platform/ShellEntries.h"
#include "scan/ScanDriver.h"

namespace mv32::test {
namespace {

using document::Answer;
namespace fs = std::filesystem;

class ProgramShellTest : public DocumentFixture {
protected:
    std::unique_ptr<app::ProgramShell> shell(std::vector<std::string> args = {}) {
        auto s = std::make_unique<app::ProgramShell>(*doc, std::move(args), "/opt/mv32/mv32");
        s->writeShellEntries = [this](const std::string& file) { written = file; };
        return s;
    }
    std::string written;
};

TEST_F(ProgramShellTest, CreationReadsTheSettingsAndOpensTheLastFile) {
    makeCatalog(data("zuletzt.db"), {"A"});
    store.write("Settings", {{"FileToLoad", data("zuletzt.db")},
                             {"AutoSaveValueZeit", "3"},
                             {"LabelInd", "1"},
                             {"DatenbankPfad", work.path() + "/"}});
    writeFile(data("mv32list.db"), "");
    auto s = shell();
    s->FormCreate();
    EXPECT_EQ(written, "/opt/mv32/mv32");
    EXPECT_EQ(ui.autoSaveInterval, 180000);
    EXPECT_EQ(ui.hiddenSortItems,
              (std::vector<std::string>{"Gesamte_GroesseIndex", "StatusIndex", "LaufwerkIndex"}));
    EXPECT_TRUE(ui.fileSearchVisible);
    EXPECT_TRUE(doc->state().CatalogOpen);
    EXPECT_EQ(doc->state().CurrentFile, data("zuletzt.db"));
    EXPECT_TRUE(fs::is_directory(s->tempFolder()));
    EXPECT_TRUE(exists(programDir() + "Undo.db"));
    EXPECT_FALSE(exists(programDir() + "mv32.log"));  // nothing failed

    // Without "ReadLastfile" the program starts with no catalog and says "Bereit".
    doc->Schliessen();
    store.write("Settings", {{"ReadLastfile", "0"}});
    ui.clear();
    auto again = shell();
    again->FormCreate();
    EXPECT_FALSE(doc->state().CatalogOpen);
    EXPECT_EQ(ui.status[1], "Bereit");
    EXPECT_EQ(ui.controls, document::ControlState::NoCatalog);
    s->FormDestroy();
    EXPECT_FALSE(fs::exists(s->tempFolder()));
}

TEST_F(ProgramShellTest, FailuresAtCreationAreLogged) {
    auto s = shell();
    s->writeShellEntries = [](const std::string&) { throw std::runtime_error("schreibgeschützt"); };
    // The undo table cannot be made: a folder stands where its file should be.
    doc->undoTable().close();
    for (const char* e : {".db", ".px", ".mb"}) fs::remove(programDir() + "Undo" + e);
    fs::create_directories(programDir() + "Undo.db");
    s->FormCreate();
    EXPECT_EQ(ui.dialogue(), std::vector<std::string>{
                                 "message Fehler \"Fehler beim Erzeugen der Undo Tabelle! Die "
                                 "BDE ist nicht korrekt initialisiert!\" Abbrechen"});
    EXPECT_EQ(readFile(programDir() + "mv32.log"),
              "09.12.2026 08:05:03 Fehler beim Erzeugen der Undo Tabelle! Die BDE ist nicht "
              "korrekt initialisiert: FormCreate\r\n"
              "09.12.2026 08:05:03 Fehler beim Schreiben/Lesen der Registry: FormCreate\r\n");
    EXPECT_EQ(ui.status[1], "Bereit");
}

TEST_F(ProgramShellTest, CommandLineOpensCatalogsAndLegacyFiles) {
    makeCatalog(data("arg.db"), {"A"});
    shell({data("fehlt.db")})->handleCommandLine();
    shell({data("liste.txt")})->handleCommandLine();
    shell({"SCANALL"})->handleCommandLine();
    EXPECT_FALSE(doc->state().CatalogOpen);
    EXPECT_EQ(store.read("Settings", "FileToLoad"), std::nullopt);
    shell({data("arg.db")})->handleCommandLine();
    EXPECT_EQ(doc->state().CurrentFile, data("arg.db"));
    writeFile(data("alt.MV"), "");  // a legacy file of size 0 stands for arg's sibling
    makeCatalog(data("alt.db"), {"B"});
    shell({data("alt.MV")})->handleCommandLine();
    EXPECT_EQ(doc->state().CurrentFile, data("alt.db"));

    // A catalog copied from Windows, named in any case on the command line and in the recent
    // list: opened, and shown by its name on disk.
    makeCatalog(data("win.db"), {"W"});
    for (auto ext : {".db", ".px", ".mb"}) {
        std::string upper = ext;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        fs::rename(data(std::string("win") + ext), data(std::string("WIN") + upper));
    }
    shell({data("win.db")})->handleCommandLine();
    EXPECT_EQ(doc->state().CurrentFile, data("WIN.DB"));
    EXPECT_EQ(doc->MV32().recordCount(), 1);
    doc->openLastFile(data("Win.db"));
    EXPECT_EQ(doc->state().CurrentFile, data("WIN.DB"));
    EXPECT_FALSE(exists(data("WIN.db")));
}

TEST_F(ProgramShellTest, ExitAsksInItsOrder) {
    auto s = shell();
    ui.answer(Answer::Nein);
    EXPECT_FALSE(s->FormCloseQuery());

    bool scanning = true;
    s->backgroundScanRunning = [&] { return scanning; };
    EXPECT_FALSE(s->FormCloseQuery());
    scanning = false;

    doc->state().DataSaved = false;
    ui.answer(Answer::Ja);
    ui.answerSaveData(false);
    EXPECT_TRUE(s->FormCloseQuery());
    EXPECT_EQ(ui.dialogue(),
              (std::vector<std::string>{
                  "message Bestätigen \"Wollen Sie das Programm wirklich schon beenden?\" "
                  "JaNein -> Nein",
                  "message Warnung \"Der Scanthread ist noch aktiv!\" Abbrechen",
                  "message Bestätigen \"Wollen Sie das Programm wirklich schon beenden?\" "
                  "JaNein -> Ja",
                  "Daten sichern? -> Nein"}));
    EXPECT_FALSE(exists(programDir() + "Backup"));

    // "SCANALL" first, or "CLOSE" third, closes at once.
    ui.clear();
    EXPECT_TRUE(shell({"scanall"})->FormCloseQuery());
    EXPECT_TRUE(shell({"DIR", "/x", "close"})->FormCloseQuery());
    EXPECT_TRUE(ui.dialogue().empty());
}

TEST_F(ProgramShellTest, CommandLineScansLogAndCloseWithoutQuestions) {
    TempDir media;
    fs::create_directories(media.file("ordner"));
    std::ofstream(media.file("ordner/programm.exe")) << "x";
    std::ofstream(media.file("ordner/FILES.BBS")) << "PROGRAMM.EXE Ein Werkzeug\r\n";
    const std::string volumes = home.file("volumes");
    std::ofstream(volumes) << "D\t" << media.path() << "\tMEDIEN\t00C0FFEE\t10\t1\n";
    ::setenv("MV32_VOLUMES", volumes.c_str(), 1);
    settings.DatenbankPfad = work.path() + "/";
    settings.ReadFilesBBS = true;
    document::UiCallQueue queue;
    scan::ScanFlags flags;
    scan::ScanDriver driver({*doc, *autoSave, queue, flags, home.path() + "/", {}});

    // A drive that does not exist: no Explorer catalog, no scan.
    auto missing = shell({"DRIVE", "Q:\\"});
    missing->scanDriver = &driver;
    EXPECT_EQ(missing->handleCommandLine(), app::ProgramShell::AfterCommandLine::Nothing);
    EXPECT_FALSE(exists(programDir() + "drivescan.db"));

    // "DIR" with "CLOSE": scanned into drivescan.db, saved, closed without a question.
    auto dir = shell({"dir", media.file("ordner"), "close"});
    dir->scanDriver = &driver;
    EXPECT_EQ(dir->handleCommandLine(), app::ProgramShell::AfterCommandLine::Close);
    EXPECT_TRUE(dir->closesWithoutAsking());
    EXPECT_TRUE(dir->FormCloseQuery());
    EXPECT_TRUE(ui.dialogue().empty());
    EXPECT_EQ(doc->state().CurrentFile, programDir() + "drivescan.db");
    EXPECT_TRUE(doc->state().DataSaved);
    ASSERT_TRUE(doc->MV32().locate("Name", {engine::Value("PROGRAMM.EXE")}));
    const std::string logText = readFile(programDir() + "mv32.log");
    EXPECT_NE(logText.find("Verzeichnis " + media.file("ordner") + " erfolgreich gescannt."),
              std::string::npos);

    // "SCANALL" closes the window afterwards.
    auto all = shell({"SCANALL"});
    all->scanDriver = &driver;
    EXPECT_EQ(all->handleCommandLine(), app::ProgramShell::AfterCommandLine::Close);
    EXPECT_NE(readFile(programDir() + "mv32.log").find("Laufwerksscan beendet."),
              std::string::npos);
    ::unsetenv("MV32_VOLUMES");
}

TEST_F(ProgramShellTest, ACommandLineScanThatCannotBeDoneIsNoSuccess) {
    TempDir media;
    std::ofstream(media.file("datei.txt")) << "x";
    const std::string volumes = home.file("volumes");
    std::ofstream(volumes) << "D\t" << media.path() << "\tMEDIEN\t00C0FFEE\t10\t1\n";
    ::setenv("MV32_VOLUMES", volumes.c_str(), 1);
    settings.DatenbankPfad = work.path() + "/";
    document::UiCallQueue queue;
    scan::ScanFlags flags;
    scan::ScanDriver driver({*doc, *autoSave, queue, flags, home.path() + "/", {}});
    using After = app::ProgramShell::AfterCommandLine;
    auto run = [&](std::vector<std::string> args) {
        auto s = shell(std::move(args));
        s->scanDriver = &driver;
        return s->handleCommandLine();
    };
    // A folder that is not there, a file, no folder at all, a drive "1:": logged, and a run
    // that closes by itself ends with a failure instead of "erfolgreich gescannt".
    EXPECT_EQ(run({"dir", media.file("fehlt"), "close"}), After::CloseFailed);
    EXPECT_EQ(run({"dir", media.file("datei.txt"), "close"}), After::CloseFailed);
    EXPECT_EQ(run({"dir", "", "close"}), After::CloseFailed);
    EXPECT_EQ(run({"drive", "1:", "close"}), After::CloseFailed);
    EXPECT_EQ(run({"dir", media.file("fehlt")}),
              After::ShowNormal);  // the window shows the log's news
    const std::string logged = readFile(programDir() + "mv32.log");  // windows-1252
    EXPECT_NE(logged.find("Kein Zugriff auf Verzeichnis " + media.file("fehlt") + " m\xF6glich!"),
              std::string::npos)
        << logged;
    EXPECT_NE(
        logged.find("Kein Zugriff auf Verzeichnis " + media.file("datei.txt") + " m\xF6glich!"),
        std::string::npos);
    EXPECT_NE(logged.find("Not a valid drive ID: 1:"), std::string::npos);
    EXPECT_EQ(logged.find("erfolgreich gescannt"), std::string::npos);
    EXPECT_TRUE(ui.dialogue().empty());

    // A command the program does not know, or a file, with CLOSE: nobody would answer the
    // window, so the run is logged and ends as failed. Without CLOSE the window stays.
    EXPECT_EQ(run({"foo", "D:", "close"}), After::CloseFailed);
    EXPECT_EQ(run({media.file("fehlt.db"), "x", "CLOSE"}), After::CloseFailed);
    EXPECT_EQ(run({"foo", "D:"}), After::Nothing);
    EXPECT_NE(readFile(programDir() + "mv32.log")
                  .find("Die Befehlszeile \xBB"
                        "foo D: close\xAB wird nicht ausgef\xFChrt: mit "
                        "CLOSE sind nur DRIVE und DIR m\xF6glich."),
              std::string::npos);
    EXPECT_TRUE(ui.dialogue().empty());
    ::unsetenv("MV32_VOLUMES");
}

TEST_F(ProgramShellTest, TheRecordCountFollowsEveryChangeOfTheCatalog) {
    makeCatalog(data("kat.db"), {"A", "B", "C"});
    makeCatalog(data("dazu.db"), {"D", "E"});
    openCatalog(data("kat.db"));
    EXPECT_EQ(ui.recordCount, 3);
    auto& t = doc->MV32();
    t.append();
    t.setAsString("Name", "Neu");
    t.post();
    EXPECT_EQ(ui.recordCount, 4);
    t.first();
    t.remove();  // journalled
    t.remove();
    EXPECT_EQ(ui.recordCount, 2);
    program->run(app::Command::UndoFast);  // a batch move: no record notifications
    EXPECT_EQ(ui.recordCount, 4);
    ui.choose(data("dazu.db"));
    program->run(app::Command::ImportDb);
    ui.clear();
    EXPECT_EQ(ui.recordCount, 6);
    t.last();
    EXPECT_EQ(ui.recNo, 6);
}

TEST(ShellEntriesTest, DesktopEntriesOpenFilesAndScanFolders) {
    TempDir dir;
    platform::writeShellEntries("/opt/mv 32/mv32", dir.path());
    auto read = [&](const std::string& name) {
        std::ifstream in(dir.file(name));
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    };
    EXPECT_NE(read("applications/mavrel32.desktop").find("Exec=\"/opt/mv 32/mv32\" %f"),
              std::string::npos);
    EXPECT_NE(read("mime/packages/mavrel32.xml").find("<glob pattern=\"*.mv\"/>"),
              std::string::npos);
    EXPECT_NE(read("kio/servicemenus/mavrel32-add.desktop").find("dir %f close"),
              std::string::npos);
    EXPECT_NE(read("nemo/actions/mavrel32-add.nemo_action").find("Name=Add to MV32"),
              std::string::npos);
    auto script = fs::status(dir.file("nautilus/scripts/Add to MV32")).permissions();
    EXPECT_NE(script & fs::perms::owner_exec, fs::perms::none);
    // Made right at every start: another program file replaces the files that name it; the
    // same one again writes nothing (the desktop need not be told).
    auto inode = [&](const std::string& name) {
        struct stat st {};
        return ::stat(dir.file(name).c_str(), &st) == 0 ? st.st_ino : 0;
    };
    const auto mime = inode("mime/packages/mavrel32.xml");
    EXPECT_TRUE(platform::writeShellEntries("/usr/bin/mv32", dir.path()));
    EXPECT_NE(read("applications/mavrel32.desktop").find("Exec=\"/usr/bin/mv32\" %f"),
              std::string::npos);
    EXPECT_EQ(inode("mime/packages/mavrel32.xml"), mime);  // names no program
    const auto desktop = inode("applications/mavrel32.desktop");
    EXPECT_FALSE(platform::writeShellEntries("/usr/bin/mv32", dir.path()));
    EXPECT_EQ(inode("applications/mavrel32.desktop"), desktop);
    fs::remove(dir.file("nautilus/scripts/Add to MV32"));
    EXPECT_TRUE(platform::writeShellEntries("/usr/bin/mv32", dir.path()));
    EXPECT_NE(
        fs::status(dir.file("nautilus/scripts/Add to MV32")).permissions() & fs::perms::owner_exec,
        fs::perms::none);
}

}  // namespace
}  // namespace mv32::test
