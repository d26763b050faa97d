// Auto-save by changes and by time, its failure path, the log file and the question
// "Daten sichern?".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "document/DocumentFixture.h"
#include "document/MarshalledUserInterface.h"
#include "engine/EngineError.h"

namespace mv32::test {
namespace {

namespace fs = std::filesystem;

class AutoSaveTest : public DocumentFixture {
protected:
    void SetUp() override {
        makeCatalog(data("k.db"), {"A"});
        openCatalog(data("k.db"));
        ui.clear();
    }
    std::string backup() const { return programDir() + "Backup/k.db"; }
};

TEST_F(AutoSaveTest, TheThirdStoredDescriptionSaves) {
    settings.ASAender = true;
    settings.AutoSaveValue = 3;
    autoSave->descriptionStored();
    autoSave->descriptionStored();
    EXPECT_EQ(ui.status[1], "geändert");
    EXPECT_EQ(doc->state().ChangeCount, 2);
    EXPECT_FALSE(exists(backup()));
    autoSave->descriptionStored();
    EXPECT_EQ(doc->state().ChangeCount, 0);
    EXPECT_TRUE(doc->state().DataSaved);
    EXPECT_EQ(ui.status[1], "gesichert");
    EXPECT_TRUE(exists(backup()));
    EXPECT_FALSE(doc->state().AutoSaveHold);
    EXPECT_TRUE(doc->MV32().active());
    EXPECT_FALSE(ui.busyVisible);

    // Without "ASAender" the count only grows.
    settings.ASAender = false;
    for (int i = 0; i < 5; ++i) autoSave->descriptionStored();
    EXPECT_EQ(doc->state().ChangeCount, 5);
    EXPECT_FALSE(doc->state().DataSaved);
}

TEST_F(AutoSaveTest, TheTimerSavesOnlyWhatIsUnsavedWhenAllowed) {
    // Nothing unsaved: nothing is closed or copied.
    autoSave->timerFired();
    EXPECT_TRUE(ui.calls().empty());
    EXPECT_FALSE(exists(backup()));

    doc->state().DataSaved = false;
    settings.ASZeit = false;
    autoSave->timerFired();
    EXPECT_FALSE(doc->state().DataSaved);

    settings.ASZeit = true;
    doc->state().AutoSaveHold = true;
    autoSave->timerFired();
    EXPECT_FALSE(doc->state().DataSaved);

    doc->state().AutoSaveHold = false;
    settings.AutoSave = false;
    autoSave->timerFired();
    EXPECT_FALSE(doc->state().DataSaved);

    settings.AutoSave = true;
    settings.Backup = false;
    doc->state().ChangeCount = 4;
    autoSave->timerFired();
    EXPECT_TRUE(doc->state().DataSaved);
    EXPECT_EQ(doc->state().ChangeCount, 0);
    EXPECT_FALSE(exists(backup()));
    EXPECT_EQ(ui.status[1], "gesichert");
}

TEST_F(AutoSaveTest, AFailureIsShownAndLoggedAndTheCatalogStaysOpen) {
    // The backup folder cannot be made: a file stands in its place.
    writeFile(programDir() + "Backup", "im Weg");
    doc->state().DataSaved = false;
    autoSave->timerFired();
    doc->state().DataSaved = false;
    clock.set({2026, 12, 9, 9, 10, 0});
    autoSave->timerFired();
    EXPECT_EQ(ui.dialogue(),
              std::vector<std::string>(
                  2, "message Fehler \"Fehler bei der automatischen Sicherung!\" Abbrechen"));
    EXPECT_TRUE(doc->MV32().active());
    EXPECT_TRUE(doc->state().DataSaved);
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_FALSE(ui.busyVisible);
    EXPECT_EQ(readFile(programDir() + "mv32.log"),
              "09.12.2026 08:05:03 Fehler bei der automatischen Sicherung: AutoSaving\r\n"
              "09.12.2026 09:10:00 Fehler bei der automatischen Sicherung: AutoSaving\r\n");
}

TEST_F(AutoSaveTest, AnEditOvertakenByAnotherProgramStaysThroughSaving) {
    auto& cat = doc->MV32();
    ASSERT_TRUE(cat.locate("Name", {engine::Value("A")}));
    cat.edit();
    cat.setAsString("Kategorie", "getippt");
    {
        engine::Table other;
        other.setTableName(data("k.db"));
        other.open();
        ASSERT_TRUE(other.locate("Name", {engine::Value("A")}));
        other.edit();
        other.setAsString("Kategorie", "anderswo");
        other.post();
    }
    doc->state().DataSaved = false;
    autoSave->timerFired();
    EXPECT_EQ(ui.dialogue(), std::vector<std::string>{"message Fehler \"Fehler bei der "
                                                      "automatischen Sicherung!\" Abbrechen"});
    EXPECT_FALSE(doc->state().DataSaved);
    EXPECT_EQ(cat.state(), engine::DataSetState::Edit);
    EXPECT_EQ(cat.asString("Kategorie"), "getippt");
    try {
        doc->Speichern();
        ADD_FAILURE() << "saved over the other program's record";
    } catch (const engine::EngineError& e) {
        EXPECT_EQ(e.kind(), engine::ErrorKind::Changed);
    }
    EXPECT_FALSE(doc->state().DataSaved);
    EXPECT_EQ(cat.asString("Kategorie"), "getippt");
    cat.cancel();
    EXPECT_EQ(cat.asString("Kategorie"), "anderswo");
}

TEST_F(AutoSaveTest, WithoutLoggingNoLogFileIsMade) {
    log.setEnabled(false);
    writeFile(programDir() + "Backup", "im Weg");
    doc->state().DataSaved = false;
    autoSave->timerFired();
    EXPECT_FALSE(exists(programDir() + "mv32.log"));
}

TEST_F(AutoSaveTest, TheUnsavedDataQuestion) {
    doc->askToSaveIfUnsaved();  // saved: no question
    EXPECT_TRUE(ui.dialogue().empty());

    doc->state().DataSaved = false;
    ui.answerSaveData(false);
    doc->askToSaveIfUnsaved();
    EXPECT_FALSE(exists(backup()));
    EXPECT_FALSE(doc->state().DataSaved);

    ui.answerSaveData(true);
    doc->askToSaveIfUnsaved();
    EXPECT_TRUE(exists(backup()));
    EXPECT_TRUE(doc->state().DataSaved);
    EXPECT_EQ(ui.dialogue(),
              (std::vector<std::string>{"Daten sichern? -> Nein", "Daten sichern? -> Ja"}));
}

TEST(LogTest, LinesCarryDateAndTimeInWindowsText) {
    TempDir dir;
    platform::FixedClock clock({2027, 1, 2, 3, 4, 5});
    document::Log log(dir.path() + "/", clock);
    log.WriteLogLine("Größe: »x«");
    log.WriteLogLine("zwei");
    std::ifstream in(dir.file("mv32.log"), std::ios::binary);
    std::ostringstream buf;
    buf << in.rdbuf();
    const std::string text = buf.str();
    EXPECT_EQ(text,
              "02.01.2027 03:04:05 Gr\xF6\xDF"
              "e: \xBBx\xAB\r\n02.01.2027 03:04:05 zwei\r\n");

    document::Log broken(dir.file("fehlt/"), clock);
    EXPECT_THROW(broken.WriteLogLine("x"), std::runtime_error);
}

TEST(MarshalledUserInterfaceTest, CallsRunOnTheUserInterfaceThreadAndCarryAnswersBack) {
    ScriptedUserInterface target;
    document::UiCallQueue queue;
    document::MarshalledUserInterface ui(target, queue);
    target.answer(document::Answer::Ja);

    document::Answer answer = document::Answer::Ok;
    std::string error;
    bool done = false;
    std::thread worker([&] {
        ui.setStatusText(0, "Scanne...");
        answer = ui.message(document::MessageKind::Frage, "Weiter?", document::Buttons::JaNein);
        try {
            ui.message(document::MessageKind::Frage, "Noch einmal?", document::Buttons::JaNein);
        } catch (const std::logic_error& e) {
            error = e.what();  // the script had no answer: the error comes back to this thread
        }
        done = true;
        queue.wake();
    });
    target.setTitle("x");  // the user-interface thread calls directly
    queue.pumpUntil([&] { return done; });
    worker.join();
    EXPECT_EQ(answer, document::Answer::Ja);
    EXPECT_NE(error.find("Noch einmal?"), std::string::npos);
    EXPECT_EQ(target.status[0], "Scanne...");
    // Called from the user-interface thread itself, the call runs at once.
    ui.setStatusText(1, "direkt");
    EXPECT_EQ(target.status[1], "direkt");
}

}  // namespace
}  // namespace mv32::test
