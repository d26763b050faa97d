// Scans whose file list lies on a full medium (a real small tmpfs): the walk stops at the first
// record the list cannot take, the log says how many files were stored (exactly the records
// found in the list once there is room again) and never "erfolgreich"; a dialog scan shows the
// same in its status line and asks its question about a database problem.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "document/DocumentFixture.h"
#include "engine/Text.h"
#include "scan/FileList.h"
#include "scan/ScanDriver.h"
#include "support/SmallMedium.h"

namespace mv32::test {
namespace {

using document::Answer;
using scan::ScanDialogState;
namespace fs = std::filesystem;

constexpr int kFiles = 8000;

struct StatusView : scan::ScanDialogView {
    std::vector<std::string> status;
    std::vector<ScanDialogState> states;
    int64_t newFiles = -1;
    void setStatus(const std::string& t) override { status.push_back(t); }
    void setFileCount(int64_t) override {}
    void setNewFiles(int64_t n) override { newFiles = n; }
    void setState(ScanDialogState s) override { states.push_back(s); }
    void hideWindows(bool) override {}
};

class FullDiskScanTest : public DocumentFixture {
protected:
    FullDiskScanTest() {
        if (!list.available()) return;
        settings.DatenbankPfad = list.path() + "/";
        for (int d = 0; d < 6; ++d) {
            const std::string folder = tree.file("ordner" + std::to_string(d));
            fs::create_directories(folder);
            for (int i = 0; i < kFiles / 6; ++i)
                std::ofstream(folder + "/eine_datei_mit_langem_namen_" + std::to_string(i) + ".txt")
                    << "x";
        }
        volumes = home.file("volumes");
        std::ofstream(volumes) << "D\t" << tree.path() << "\tVOLL\t0000F00D\t1000\t10\n";
        ::setenv("MV32_VOLUMES", volumes.c_str(), 1);
        driver = std::make_unique<scan::ScanDriver>(
            scan::ScanDriver::Services{*doc, *autoSave, queue, flags, home.path() + "/", {}});
    }
    ~FullDiskScanTest() override { ::unsetenv("MV32_VOLUMES"); }
    void SetUp() override {
        if (!list.available()) GTEST_SKIP() << list.whyNot();
    }

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
    // The number the line of an incomplete scan of `what` gives, -1 without such a line.
    int64_t storedPerLog(const std::string& what) {
        const std::string head = what + " nicht vollständig gescannt: ";
        for (const auto& line : logLines()) {
            if (line.rfind(head, 0) != 0) continue;
            EXPECT_EQ(line.substr(line.find(' ', head.size())),
                      " Dateien gespeichert, dann konnte die Dateiliste nicht mehr geschrieben "
                      "werden.");
            return std::stoll(line.substr(head.size()));
        }
        return -1;
    }
    // The records in the file list once the medium has room again.
    int64_t recordsStored() {
        list.resize(64u << 20);
        scan::FileList files(list.path() + "/");
        files.openOrCreate();
        const int64_t n = files.recordCount();
        files.close();
        return n;
    }
    void expectNoSuccessLogged() {
        for (const auto& line : logLines())
            EXPECT_EQ(line.find("erfolgreich"), std::string::npos) << line;
    }

    SmallMedium list{160u << 10};  // the data folder with the file list
    TempDir tree;
    std::string volumes;
    document::UiCallQueue queue;
    scan::ScanFlags flags;
    std::unique_ptr<scan::ScanDriver> driver;
};

TEST_F(FullDiskScanTest, ACommandLineScanStopsAndLogsHowManyFilesItStored) {
    EXPECT_FALSE(driver->PromptThisDrive(tree.path(), true));  // the run ends with status 1
    const auto lines = logLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Scanne folgendes Verzeichnis: " + tree.path());
    EXPECT_NE(lines[1].find("Der Datenträger ist voll."), std::string::npos) << lines[1];
    EXPECT_EQ(lines[1].substr(lines[1].size() - 19), ": Prompt this Drive");
    const int64_t stored = storedPerLog("Verzeichnis " + tree.path());
    EXPECT_GT(stored, 0);
    EXPECT_LT(stored, kFiles);
    expectNoSuccessLogged();
    EXPECT_EQ(recordsStored(), stored);
}

TEST_F(FullDiskScanTest, ScanAllEndsAtTheDriveWhoseFilesCannotBeStored) {
    EXPECT_FALSE(driver->prompt());
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Scanne folgende Laufwerke: " + tree.path() + "/");
    EXPECT_EQ(lines[1].substr(lines[1].size() - 8), ": Prompt");
    const int64_t stored = storedPerLog("Laufwerk " + tree.path() + "/");
    EXPECT_GT(stored, 0);
    EXPECT_EQ(recordsStored(), stored);
}

TEST_F(FullDiskScanTest, DialogScansSayItInTheStatusLineAndAskTheirQuestion) {
    const std::string question =
        "Datenbankproblem: Zu wenig Plattenspeicher vorhanden oder maximale Anzahl der "
        "Datensätze erreicht! Wollen Sie es trotzdem weiter versuchen?";
    const struct {
        const char* scan;
        bool background;
        Answer answer;
        std::vector<std::string> dialogue;
        const char* logged;  // a line the log must have
    } cases[] = {
        {"im Vordergrund, Nein",
         false,
         Answer::Nein,
         {"message Frage \"Keine Dateien auf diesem Datenträger gefunden oder " + question +
          "\" JaNein -> Nein"},
         nullptr},
        {"im Vordergrund, Ja",
         false,
         Answer::Ja,
         {"message Frage \"Keine Dateien auf diesem Datenträger gefunden oder " + question +
              "\" JaNein -> Ja",
          "message Information \"Die gescannten Dateien und Verzeichnisse liegen nun\r\nunter "
          "\"Suchen/Datei suchen\" für Sie bereit.\" OK"},
         nullptr},
        {"im Hintergrund, Nein",
         true,
         Answer::Nein,
         {"message Frage \"" + question + "\" JaNein -> Nein"},
         "Datenbankproblem: Zu wenig Plattenspeicher vorhanden? Newbaum3"},
        {"im Hintergrund, Ja",
         true,
         Answer::Ja,
         {"message Frage \"" + question + "\" JaNein -> Ja",
          "message Information \"Laufwerksscan beendet!\" OK"},
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scan);
        // A new medium each time, on an empty file list on the full medium.
        for (const auto& e : fs::directory_iterator(list.path())) fs::remove_all(e.path());
        list.resize(160u << 10);
        fs::remove(programDir() + "mv32list.chk");
        fs::remove(programDir() + "mv32.log");
        ui.clear();
        StatusView view;
        ui.answer(c.answer);
        onScanThread([&] {
            if (c.background)
                driver->NewBaum3('D', view);
            else
                driver->NewBaum('D', view);
        });
        EXPECT_EQ(ui.dialogue(), c.dialogue);
        const int64_t stored = storedPerLog("Laufwerk D:");
        EXPECT_GT(stored, 0);
        ASSERT_FALSE(view.status.empty());
        EXPECT_EQ(view.status.back(),
                  "Laufwerk D: nicht vollständig gescannt: " + std::to_string(stored) +
                      " Dateien gespeichert, dann konnte die Dateiliste nicht mehr geschrieben "
                      "werden.");
        if (!c.background) {
            EXPECT_EQ(view.newFiles, stored);
            EXPECT_EQ(view.states.back(), ScanDialogState::Idle);
        }
        if (c.logged) {
            const auto lines = logLines();
            EXPECT_NE(std::find(lines.begin(), lines.end(), c.logged), lines.end());
        }
        EXPECT_NE(logLines()[0].find("Der Datenträger ist voll."), std::string::npos);
        expectNoSuccessLogged();
        EXPECT_FALSE(flags.running);
        EXPECT_FALSE(flags.background);
        EXPECT_EQ(recordsStored(), stored);
    }
}

}  // namespace
}  // namespace mv32::test
