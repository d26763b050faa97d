// The undo journal over real tables: what a delete journals, the two ways back, the menu
// items' state, and a journal that cannot be written.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "document/Catalog.h"
#include "document/DocumentFixture.h"
#include "edit/UndoJournal.h"
#include "engine/EngineError.h"
#include "support/SmallMedium.h"

namespace mv32::edit {

namespace {

class UndoJournalTest : public test::DocumentFixture {
protected:
    void SetUp() override {
        makeCatalog(data("kat.db"), {"Alpha", "Beta", "Gamma"}, "Spiel");
        openCatalog(data("kat.db"));
        ui.clear();
    }
    engine::Table& cat() { return doc->MV32(); }
    engine::Table& undo() { return doc->undoTable(); }
    UndoJournal& journal() { return program->journal(); }
    void remove(const std::string& name) {
        ASSERT_TRUE(cat().locate("Name", {engine::Value(name)})) << name;
        cat().remove();
    }
    std::vector<std::string> names(engine::Table& t) {
        std::vector<std::string> out;
        const auto back = t.bookmark();
        for (t.first(); !t.eof(); t.next()) out.push_back(t.displayText("Name"));
        if (back.valid()) t.gotoBookmark(back);
        return out;
    }
    engine::Bookmark entry(const std::string& name) {
        EXPECT_TRUE(undo().locate("Name", {engine::Value(name)})) << name;
        return undo().bookmark();
    }
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(UndoJournalTest, DeletesAreJournalledOncePerNameAndTheMenuFollows) {
    EXPECT_FALSE(ui.undoEnabled);
    remove("Beta");
    EXPECT_TRUE(ui.undoEnabled);
    EXPECT_EQ(names(undo()), (Names{"Beta"}));

    // The same values again, up to case: still one entry.
    cat().append();
    cat().setAsString("Name", "Beta");
    cat().setAsString("Kategorie", "SPIEL");
    cat().post();
    remove("Beta");
    EXPECT_EQ(undo().recordCount(), 1);
    // A name that only begins like a journalled one is a record of its own.
    cat().append();
    cat().setAsString("Name", "Be");
    cat().post();
    remove("Be");
    EXPECT_EQ(names(undo()), (Names{"Be", "Beta"}));

    // Other values under the same name: the newer copy replaces the older, the delete goes on.
    cat().append();
    cat().setAsString("Name", "Beta");
    cat().setAsString("Kategorie", "Sound");
    cat().setAsString("Memo", "neu");
    cat().post();
    remove("Beta");
    EXPECT_EQ(names(cat()), (Names{"Alpha", "Gamma"}));
    EXPECT_EQ(undo().recordCount(), 2);
    EXPECT_EQ((entry("Beta"), undo().displayText("Kategorie")), "Sound");
    EXPECT_EQ(undo().displayText("Memo"), "neu");

    // Closing the catalog empties the journal, and so does opening another one.
    doc->Schliessen();
    EXPECT_FALSE(ui.undoEnabled);
    openCatalog(data("kat.db"));
    remove("Alpha");
    EXPECT_TRUE(ui.undoEnabled);
    makeCatalog(data("andere.db"), {"X"});
    openCatalog(data("andere.db"));
    EXPECT_FALSE(ui.undoEnabled);
    EXPECT_EQ(undo().recordCount(), 0);
}

TEST_F(UndoJournalTest, SelectedEntriesComeBackUnlessTheirNameIsThere) {
    remove("Alpha");
    remove("Beta");
    remove("Gamma");
    // Beta is entered again by hand: it stays as it is.
    cat().append();
    cat().setAsString("Name", "Beta");
    cat().setAsString("Kategorie", "Neu");
    cat().post();
    ui.clear();
    journal().restore({entry("Gamma"), entry("Beta")});
    EXPECT_EQ(names(cat()), (Names{"Beta", "Gamma"}));
    ASSERT_TRUE(cat().locate("Name", {engine::Value("Beta")}));
    EXPECT_EQ(cat().displayText("Kategorie"), "Neu");
    ASSERT_TRUE(cat().locate("Name", {engine::Value("Gamma")}));
    EXPECT_EQ(cat().displayText("Kategorie"), "Spiel");
    EXPECT_EQ(undo().recordCount(), 3) << "restored entries stay in the journal";
    EXPECT_EQ(cat().state(), engine::DataSetState::Browse);
    // Nothing chosen: the same message.
    journal().restore({});
    EXPECT_EQ(ui.dialogue(),
              (Names{"message Information \"" + std::string(kRestoredSelected) + "\" OK",
                     "message Information \"" + std::string(kRestoredSelected) + "\" OK"}));
    EXPECT_EQ(ui.callsStartingWith("wait"), (Names{"wait show", "wait hide", "wait show",
                                                    "wait hide"}));
}

TEST_F(UndoJournalTest, UndoFastWritesEverythingBackAndEmptiesTheJournal) {
    remove("Alpha");
    remove("Beta");
    cat().append();
    cat().setAsString("Name", "Beta");
    cat().setAsString("Kategorie", "Neu");
    cat().post();
    ui.clear();
    journal().restoreAll();
    EXPECT_EQ(names(cat()), (Names{"Alpha", "Beta", "Gamma"}));
    ASSERT_TRUE(cat().locate("Name", {engine::Value("Beta")}));
    EXPECT_EQ(cat().displayText("Kategorie"), "Spiel") << "the journal's copy wins";
    EXPECT_EQ(undo().recordCount(), 0);
    EXPECT_FALSE(ui.undoEnabled);
    EXPECT_EQ(ui.dialogue(),
              (Names{"message Information \"" + std::string(kRestoredAll) + "\" OK"}));

    // Emptied as another catalog opens; a journal that holds nothing is left alone then (its
    // files are not written again).
    remove("Gamma");
    EXPECT_EQ(undo().recordCount(), 1);
    doc->emptyUndoTable();
    EXPECT_EQ(undo().recordCount(), 0);
    EXPECT_TRUE(undo().active());
    const std::string undoFile = undo().filePath();
    const auto written = std::filesystem::last_write_time(undoFile);
    const auto size = std::filesystem::file_size(undoFile);
    std::filesystem::last_write_time(undoFile, written - std::chrono::hours(1));
    doc->emptyUndoTable();
    EXPECT_EQ(std::filesystem::last_write_time(undoFile), written - std::chrono::hours(1));
    EXPECT_EQ(std::filesystem::file_size(undoFile), size);
    EXPECT_TRUE(undo().active());
    ui.clear();

    // Without a catalog, nothing happens.
    remove("Alpha");
    doc->Schliessen();
    ui.clear();
    journal().restoreAll();
    journal().restore({});
    EXPECT_TRUE(ui.dialogue().empty());
}

TEST_F(UndoJournalTest, AJournalThatCannotBeWrittenStopsTheDeleteAndStaysUsable) {
    test::SmallMedium medium(4 << 20);
    if (!medium.available()) GTEST_SKIP() << medium.whyNot();
    undo().close();
    undo().setDirectory(medium.path() + "/");
    document::createCatalogTable(undo());
    undo().open();
    // A record the full journal has no room for: the delete is refused with the engine's word.
    ASSERT_TRUE(cat().locate("Name", {engine::Value("Alpha")}));
    cat().edit();
    cat().setAsString("Memo", std::string(256 << 10, 'm'));
    cat().post();
    medium.resize(medium.used());
    EXPECT_THROW(remove("Alpha"), engine::EngineError);
    EXPECT_EQ(names(cat()), (Names{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(undo().state(), engine::DataSetState::Browse);
    medium.resize(4 << 20);
    remove("Alpha");
    EXPECT_EQ(names(cat()), (Names{"Beta", "Gamma"}));
    EXPECT_EQ(names(undo()), (Names{"Alpha"}));
    undo().close();
}

TEST_F(UndoJournalTest, ANewRunStartsWithAnEmptyJournal) {
    remove("Alpha");
    ASSERT_EQ(undo().recordCount(), 1);
    program->finish();  // the end of the run deletes the journal
    EXPECT_FALSE(exists(programDir() + "Undo.db"));
    test::ScriptedUserInterface ui2;
    struct OnThisThread : document::UiInvoker {
        void invoke(const std::function<void()>& call) override { call(); }
    } invoker;
    app::Program::Options o;
    o.programDir = programDir();
    o.programFile = programDir() + "mv32";
    o.writeShellEntries = false;
    app::Program next(std::move(o), ui2, invoker);
    next.start({});
    EXPECT_TRUE(next.document().undoTable().active());
    EXPECT_EQ(next.document().undoTable().recordCount(), 0);
    EXPECT_FALSE(ui2.undoEnabled);
    next.finish();
}

TEST_F(UndoJournalTest, WithoutAJournalDeletesGoThrough) {
    undo().close();
    remove("Alpha");
    EXPECT_EQ(names(cat()), (Names{"Beta", "Gamma"}));
    EXPECT_FALSE(ui.undoEnabled);
}

}  // namespace mv32::edit
