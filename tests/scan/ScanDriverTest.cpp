// The scan driver through the scripted port, on declared volumes (plain folders as media): the
// dialog scans on a scan thread with the user-interface thread answering, and the command-line
// scans with their log lines.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "document/DocumentFixture.h"
#include "engine/Query.h"
#include "engine/Text.h"
#include "scan/FileList.h"
#include "scan/ScanDriver.h"
#include "scan/ScannedMedia.h"

namespace mv32::test {
namespace {

using document::Answer;
using scan::ScanDialogState;
namespace fs = std::filesystem;

struct RecordingView : scan::ScanDialogView {
    std::vector<std::string> status;
    std::vector<ScanDialogState> states;
    int64_t fileCount = -1, newFiles = -1;
    int hidden = 0;
    void setStatus(const std::string& t) override { status.push_back(t); }
    void setFileCount(int64_t n) override { fileCount = n; }
    void setNewFiles(int64_t n) override { newFiles = n; }
    void setState(ScanDialogState s) override { states.push_back(s); }
    void hideWindows(bool hide) override { hidden += hide ? 1 : 0; }
};

void put(const std::string& path, const std::string& text = "x") {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class ScanDriverTest : public DocumentFixture {
protected:
    ScanDriverTest() {
        settings.DatenbankPfad = work.path() + "/";
        put(media.file("d/programm.exe"), "12345");
        put(media.file("d/unter/liesmich.txt"));
        put(media.file("e/FILES.BBS"), "SPIEL.ZIP Ein Spiel\r\n");
        volumes = home.file("volumes");
        std::ofstream(volumes) << "D\t" << media.file("d") << "\tPROGRAMME\t1A2B3C4D\t1000\t10\n"
                               << "E\t" << media.file("e") << "\t\t0000BEEF\t1000\t10\n"
                               << "F\t" << media.file("leer") << "\tNICHTS\t00000001\t0\t0\n";
        ::setenv("MV32_VOLUMES", volumes.c_str(), 1);
        driver = std::make_unique<scan::ScanDriver>(
            scan::ScanDriver::Services{*doc, *autoSave, queue, flags, home.path() + "/", {}});
    }
    ~ScanDriverTest() override { ::unsetenv("MV32_VOLUMES"); }

    // Runs a dialog scan on a thread of its own while this thread answers.
    void onScanThread(const std::function<void()>& scan) {
        std::atomic<bool> done{false};
        std::thread t([&] {
            scan();
            done = true;
            queue.wake();
        });
        queue.pumpUntil([&] { return done.load(); });
        t.join();
    }
    std::vector<std::string> logLines() {
        std::vector<std::string> out;
        std::istringstream in(readFile(programDir() + "mv32.log"));
        std::string line;
        while (std::getline(in, line))
            out.push_back(engine::text::fromWindows1252(line.substr(20, line.size() - 21)));
        return out;
    }
    // The field of the file list's trigram index when it is current (read without the
    // FileList, whose close would build it).
    std::string searchIndex() {
        engine::Table t;
        t.setDirectory(work.path() + "/");
        t.setTableName("mv32list.db");
        t.open();
        return t.trigramIndexField();
    }

    int64_t fileRecords() {
        scan::FileList list(work.path() + "/");
        list.openOrCreate();
        int64_t n = list.recordCount();
        list.close();
        return n;
    }

    TempDir media;
    std::string volumes;
    document::UiCallQueue queue;
    scan::ScanFlags flags;
    std::unique_ptr<scan::ScanDriver> driver;
    RecordingView view;
};

TEST_F(ScanDriverTest, AForegroundScanOfANewMedium) {
    onScanThread([&] { driver->NewBaum('d', view); });
    EXPECT_EQ(searchIndex(), "Dateiname");  // the file search's index, built by the scan
    EXPECT_EQ(fileRecords(), 2);
    EXPECT_EQ(view.newFiles, 2);
    EXPECT_EQ(view.fileCount, 2);
    EXPECT_EQ(view.status.back(), "Laufwerk gescannt!");
    EXPECT_NE(std::find(view.status.begin(), view.status.end(), "Primärindex wird erstellt..."),
              view.status.end());
    EXPECT_EQ(view.states.back(), ScanDialogState::Idle);
    EXPECT_EQ(ui.dialogue(),
              std::vector<std::string>{
                  "message Information \"Die gescannten Dateien und Verzeichnisse "
                  "liegen nun\r\nunter \"Suchen/Datei suchen\" für Sie bereit.\" OK"});
    EXPECT_TRUE(ui.fileSearchVisible);
    EXPECT_EQ(scan::ScannedMedia(programDir()).lines(),
              std::vector<std::string>{"PROGRAMME1A2B3C4D"});
    EXPECT_FALSE(flags.running);
    EXPECT_FALSE(flags.cancel);
    EXPECT_FALSE(fs::exists(work.path() + "/mv32list.xg0"));  // SekIndexActive is off
}

TEST_F(ScanDriverTest, AScanThatFailsPutsTheDialogAndTheFlagsBack) {
    // A failure no step catches, late in the scan (here the window going away under it).
    struct FailingView : RecordingView {
        void setStatus(const std::string& t) override {
            if (t == "Primärindex wird aktualisiert...") throw std::runtime_error("Fenster weg");
            RecordingView::setStatus(t);
        }
    } failing;
    ui.fileSearchVisible = false;
    ASSERT_TRUE(driver->startDialogScan('d', failing, false));
    driver->finishDialogScan([&] { queue.pumpUntil([] { return true; }); });
    EXPECT_FALSE(flags.running);
    EXPECT_FALSE(flags.foreground);
    EXPECT_FALSE(flags.cancel);
    ASSERT_FALSE(failing.states.empty());
    EXPECT_EQ(failing.states.back(), ScanDialogState::Idle);
    EXPECT_TRUE(ui.fileSearchVisible);  // the file list was made before the failure
    EXPECT_EQ(ui.dialogue().back(), "message Fehler \"Fenster weg\" Abbrechen");
}

TEST_F(ScanDriverTest, AKnownMediumIsScannedAgainOnlyOnRequest) {
    onScanThread([&] { driver->NewBaum('D', view); });
    ui.clear();
    ui.answer(Answer::Nein);
    onScanThread([&] { driver->NewBaum('D', view); });
    EXPECT_EQ(ui.dialogue(), std::vector<std::string>{
                                 "message Frage \"Diesen Datenträger haben Sie schon einmal "
                                 "gescannt!\r\nWollen Sie diesen Vorgang trotzdem durchführen?\" "
                                 "JaNein -> Nein"});
    EXPECT_EQ(view.states.back(), ScanDialogState::Idle);

    // "Ja": nothing new, so the database-problem question of a known medium follows.
    ui.clear();
    put(media.file("d/neu.txt"));
    ui.answer(Answer::Ja);
    onScanThread([&] { driver->NewBaum('D', view); });
    EXPECT_EQ(fileRecords(), 3);
    ui.clear();
    ui.answer(Answer::Ja);
    ui.answer(Answer::Nein);
    onScanThread([&] { driver->NewBaum('D', view); });
    ASSERT_EQ(ui.dialogue().size(), 2u);
    EXPECT_EQ(ui.dialogue()[1],
              "message Frage \"Datenbankproblem: Zu wenig Plattenspeicher vorhanden oder maximale "
              "Anzahl der Datensätze erreicht! Wollen Sie es trotzdem weiter versuchen?\" JaNein "
              "-> Nein");
    EXPECT_EQ(scan::ScannedMedia(programDir()).lines().size(), 1u);
}

TEST_F(ScanDriverTest, AnEmptyDriveAndSecondaryIndexes) {
    onScanThread([&] { driver->NewBaum('F', view); });
    EXPECT_EQ(ui.dialogue(), std::vector<std::string>{
                                 "message Fehler \"Es befindet sich kein Datenträger in diesem "
                                 "Laufwerk!\" Abbrechen"});
    EXPECT_EQ(view.states.back(), ScanDialogState::Idle);

    settings.SekIndexActive = true;
    ui.clear();
    ui.answer(Answer::Nein);  // not into the background while the indexes are built
    onScanThread([&] { driver->NewBaum('D', view); });
    EXPECT_TRUE(fs::exists(work.path() + "/mv32list.xg0"));
    for (const char* s : {"Erstelle Sekundärindex (1/3)", "Erstelle Sekundärindex (2/3)",
                          "Erstelle Sekundärindex (3/3)"})
        EXPECT_NE(std::find(view.status.begin(), view.status.end(), s), view.status.end()) << s;
    EXPECT_EQ(view.hidden, 0);
}

TEST_F(ScanDriverTest, AnEmptyMediumAsksTheDatabaseQuestion) {
    fs::create_directories(media.file("leer"));  // the medium in F is there, but empty
    ui.answer(Answer::Ja);
    onScanThread([&] { driver->NewBaum('F', view); });
    ASSERT_EQ(ui.dialogue().size(), 2u);
    EXPECT_EQ(
        ui.dialogue()[0],
        "message Frage \"Keine Dateien auf diesem Datenträger gefunden oder Datenbankproblem: "
        "Zu wenig Plattenspeicher vorhanden oder maximale Anzahl der Datensätze erreicht! "
        "Wollen Sie es trotzdem weiter versuchen?\" JaNein -> Ja");
    EXPECT_EQ(view.status.back(), "Laufwerk gescannt!");
    EXPECT_EQ(scan::ScannedMedia(programDir()).lines(), std::vector<std::string>{"NICHTS00000001"});
}

TEST_F(ScanDriverTest, AFileListFolderThatCannotBeMadeAsksForTheSettings) {
    writeFile(data("datei"), "x");
    settings.DatenbankPfad = data("datei") + "/unter/";  // below a file: cannot be created
    onScanThread([&] { driver->NewBaum('D', view); });
    EXPECT_EQ(ui.dialogue().front(),
              "message Fehler \"Anlegen der Datenbank ist nicht möglich! "
              "Überprüfen Sie den Pfad!\" Abbrechen");
    EXPECT_EQ(view.states.back(), ScanDialogState::Closed);
    EXPECT_NE(
        readFile(programDir() + "mv32.log").find("Datenbank kann nicht angelegt werden: Newbaum"),
        std::string::npos);

    // With the settings dialog the person names another folder, and the scan goes on there.
    int shown = 0;
    scan::ScanDriver withDialog({*doc, *autoSave, queue, flags, home.path() + "/", {}, [&] {
                                     ++shown;
                                     settings.DatenbankPfad = work.path() + "/neu/";
                                     fs::create_directories(settings.DatenbankPfad);
                                 }});
    ui.clear();
    ui.answer(Answer::Ja);  // the medium is known from the first attempt
    onScanThread([&] { withDialog.NewBaum('D', view); });
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(fs::exists(work.path() + "/neu/mv32list.db"));
    EXPECT_EQ(view.status.back(), "Laufwerk gescannt!");
}

TEST_F(ScanDriverTest, CancelKeepsWhatWasFound) {
    for (int i = 0; i < 50; ++i) put(media.file("d/viel/datei" + std::to_string(i)));
    // "&Abbrechen" while the walk runs, as AbbrClick sets the flags: at the first file.
    struct CancellingView : RecordingView {
        scan::ScanFlags* flags = nullptr;
        void setStatus(const std::string& t) override {
            RecordingView::setStatus(t);
            if (t.find("datei") != std::string::npos && !flags->cancel) {
                flags->running = false;
                flags->cancel = true;
            }
        }
    } cancelling;
    cancelling.flags = &flags;
    onScanThread([&] { driver->NewBaum('D', cancelling); });
    EXPECT_EQ(cancelling.status.back(), "Vorgang vom Anwender abgebrochen!");
    EXPECT_GT(fileRecords(), 0);
    EXPECT_LT(fileRecords(), 52);
    EXPECT_FALSE(flags.cancel);
}

TEST_F(ScanDriverTest, ABackgroundScan) {
    onScanThread([&] {
        driver->NewBaum3('D', view);
        EXPECT_FALSE(flags.background);
    });
    EXPECT_EQ(fileRecords(), 2);
    EXPECT_EQ(view.states, std::vector<ScanDialogState>{ScanDialogState::Closed});
    const auto searches = ui.callsStartingWith("file search");
    EXPECT_EQ(searches, (std::vector<std::string>{"file search hide", "file search show"}));
    EXPECT_EQ(ui.dialogue().back(), "message Information \"Laufwerksscan beendet!\" OK");
}

TEST_F(ScanDriverTest, ScanAllLogsEveryDrive) {
    driver->prompt();
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{"Scanne folgende Laufwerke: " + media.file("d") + "/ " +
                                            media.file("e") + "/ " + media.file("leer") + "/",
                                        "Laufwerk " + media.file("d") + "/ erfolgreich gescannt.",
                                        "Laufwerk " + media.file("e") + "/ erfolgreich gescannt.",
                                        "Kein Datenträger in Laufwerk " + media.file("leer") + "/!",
                                        "Laufwerksscan beendet."}));
    EXPECT_EQ(searchIndex(), "Dateiname");
    EXPECT_EQ(fileRecords(), 3);
    EXPECT_TRUE(ui.dialogue().empty());
    EXPECT_FALSE(fs::exists(programDir() + "mv32list.chk"));  // command-line scans leave it
}

TEST_F(ScanDriverTest, AScanBuildsADamagedSearchIndexAnew) {
    ASSERT_TRUE(driver->PromptThisDrive(media.file("d"), true));
    const std::string tri = work.path() + "/mv32list.tri";
    const std::string good = readFile(tri);
    std::string lists = good;  // head and directory whole, the lists not
    for (size_t i = 90; i + 40 < lists.size(); ++i) lists[i] = static_cast<char>(lists[i] ^ 1);
    for (const std::string& damaged : {std::string(), good.substr(0, 60), lists}) {
        writeFile(tri, damaged);
        EXPECT_EQ(searchIndex(), "");
        // Nothing new on the medium: only the index is built.
        ASSERT_TRUE(driver->PromptThisDrive(media.file("d"), true));
        EXPECT_EQ(searchIndex(), "Dateiname");
        EXPECT_EQ(logLines().back(), "Verzeichnis " + media.file("d") + " erfolgreich gescannt.");
    }
}

TEST_F(ScanDriverTest, AScanIntoAListWithACurrentSearchIndexHandsItItsFilesAsAChange) {
    ASSERT_TRUE(driver->PromptThisDrive(media.file("d"), true));
    const std::string tri = work.path() + "/mv32list.tri";
    const std::string lists = readFile(tri);
    EXPECT_FALSE(fs::exists(work.path() + "/mv32list.trd"));
    put(media.file("d/neu/zweites_liesmich.txt"));
    ASSERT_TRUE(driver->PromptThisDrive(media.file("d"), true));
    // The lists stay as built; the change lies beside them, and the index is current.
    EXPECT_EQ(readFile(tri), lists);
    EXPECT_TRUE(fs::exists(work.path() + "/mv32list.trd"));
    EXPECT_EQ(searchIndex(), "Dateiname");
    engine::Query q;
    q.setDirectory(work.path() + "/");
    q.setSql("SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"%LIESMICH%\")");
    q.open();
    EXPECT_EQ(q.plan(), "Trigrammindex Dateiname");
    std::vector<std::string> found;
    for (q.first(); !q.eof(); q.next()) found.push_back(q.asString("Dateiname"));
    EXPECT_EQ(found, (std::vector<std::string>{"zweites_liesmich.txt", "liesmich.txt"}));
    // Scanned again without a new file: the index stays current without a build.
    ASSERT_TRUE(driver->PromptThisDrive(media.file("d"), true));
    EXPECT_EQ(readFile(tri), lists);
    EXPECT_EQ(searchIndex(), "Dateiname");
}

TEST_F(ScanDriverTest, ADirectoryFromTheCommandLineWithDescriptions) {
    settings.ReadFilesBBS = true;
    doc->openExplorerCatalog();
    ASSERT_TRUE(doc->state().CatalogOpen);
    driver->PromptThisDrive(media.file("e"), true);
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              "Scanne folgendes Verzeichnis: " + media.file("e"),
                              "Verzeichnis " + media.file("e") + " erfolgreich gescannt."}));
    scan::FileList list(work.path() + "/");
    list.openOrCreate();
    list.table().first();
    EXPECT_EQ(list.table().asString("Verzeichnis"), media.file("e") + "/");
    EXPECT_EQ(list.table().asString("VolID"), "0000BEEF");
    list.close();
    auto& cat = doc->MV32();
    ASSERT_TRUE(cat.locate("Name", {engine::Value("SPIEL.ZIP")}));
    EXPECT_EQ(cat.asString("Memo"), " Ein Spiel\r\n");
    EXPECT_FALSE(doc->state().DataSaved);

    // The letter form, and a drive without a medium.
    driver->PromptThisDrive("D:\\unter", false);
    EXPECT_EQ(logLines()[3], "Laufwerk D:\\unter erfolgreich gescannt.");
    driver->PromptThisDrive("F:\\", false);
    EXPECT_EQ(logLines().back(), "Kein Datenträger in Laufwerk F:\\!");
}

}  // namespace
}  // namespace mv32::test
