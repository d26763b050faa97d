// A record edited through one handle while another handle, in this process or another, changes
// or deletes it: the edit's post is refused with a message naming the record, writes nothing
// and stays pending with what was typed; after cancelling, the other handle's record shows.
#include <gtest/gtest.h>

#include <memory>

#include "engine/BatchMove.h"
#include "engine/EngineError.h"
#include "engine/Table.h"
#include "support/ChildProcess.h"
#include "support/MemFileSystem.h"
#include "support/TempDir.h"

namespace mv32::engine {

namespace {

const char* const kRefused =
    "Der Datensatz »Doom« wurde inzwischen von einem anderen Programm geändert und nicht "
    "gespeichert. Ihre Eingaben stehen noch im Fenster.";

std::unique_ptr<Table> catalog(const std::shared_ptr<FileSystem>& fs, const std::string& dir,
                               const std::string& name = "cat.db") {
    auto t = std::make_unique<Table>(fs);
    t->setDirectory(dir);
    t->setTableName(name);
    if (!t->exists()) {
        t->setFieldDefs({{"Name", FieldType::Text, 40},
                         {"Kategorie", FieldType::Text, 40},
                         {"Status", FieldType::Text, 40},
                         {"Memo", FieldType::Memo, 0}});
        t->createTable();
        t->addIndex("", "Name");
    }
    t->open();
    return t;
}

void put(Table& t, const std::string& name, const std::string& category, const std::string& memo) {
    if (t.locate("Name", {Value(name)})) {
        t.edit();
    } else {
        t.append();
        t.setAsString("Name", name);
    }
    t.setAsString("Kategorie", category);
    t.setAsString("Memo", memo);
    t.post();
}

std::string row(Table& t) {
    return t.asString("Name") + "|" + t.asString("Kategorie") + "|" + t.asString("Status") + "|" +
           t.asString("Memo");
}

// What a fresh handle reads of the record.
std::string stored(const std::shared_ptr<FileSystem>& fs, const std::string& dir) {
    auto t = catalog(fs, dir);
    if (!t->locate("Name", {Value("Doom")})) return "(gelöscht)";
    return row(*t);
}

TEST(EditConflict, APostOverAnotherHandlesChangeIsRefusedAndTheEditStays) {
    // The other handle's change: a post of its own, a merge (batch move replacing the record
    // of that name), a delete.
    const struct {
        const char* other;
        std::function<void(const std::shared_ptr<FileSystem>&, Table&)> change;
        const char* after;  // what the record is then
    } cases[] = {
        {"Post",
         [](const std::shared_ptr<FileSystem>&, Table& other) {
             put(other, "Doom", "Spiel, Action", "von anderswo");
         },
         "Doom|Spiel, Action||von anderswo"},
        {"Zusammenführen",
         [](const std::shared_ptr<FileSystem>& fs, Table& other) {
             auto source = catalog(fs, "/quelle");
             put(*source, "Doom", "Shareware", "aus dem Import");
             source->first();
             batchMove(*source, other, BatchMode::AppendUpdate);
         },
         "Doom|Shareware||aus dem Import"},
        {"Löschen",
         [](const std::shared_ptr<FileSystem>&, Table& other) {
             ASSERT_TRUE(other.locate("Name", {Value("Doom")}));
             other.remove();
         },
         "(gelöscht)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.other);
        auto fs = std::make_shared<test::MemFileSystem>();
        auto form = catalog(fs, "/k");
        put(*form, "Doom", "Spiel", "alt");
        put(*form, "Quake", "Spiel", "");
        auto other = catalog(fs, "/k");

        ASSERT_TRUE(form->locate("Name", {Value("Doom")}));
        form->edit();
        form->setAsString("Status", "Verliehen");
        c.change(fs, *other);
        try {
            form->post();
            ADD_FAILURE() << "the post went through";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Changed);
            EXPECT_EQ(std::string(e.what()), kRefused);
        }
        // Nothing written; the edit pending with what was typed.
        EXPECT_EQ(stored(fs, "/k"), c.after);
        EXPECT_EQ(form->state(), DataSetState::Edit);
        EXPECT_EQ(form->asString("Status"), "Verliehen");
        EXPECT_EQ(form->asString("Kategorie"), "Spiel");
        // Saving again is refused again; so is moving on, which posts.
        EXPECT_THROW(form->post(), EngineError);
        EXPECT_THROW(form->next(), EngineError);
        EXPECT_EQ(stored(fs, "/k"), c.after);
        // Cancelling shows what the other handle stored; an edit begun now saves.
        form->cancel();
        if (std::string(c.after) != "(gelöscht)") {
            EXPECT_EQ(row(*form), c.after);
            form->edit();
            form->setAsString("Status", "Verliehen");
            form->post();
            EXPECT_EQ(stored(fs, "/k"), std::string(c.after).replace(
                                            std::string(c.after).rfind("||"), 2, "|Verliehen|"));
        }
    }
}

TEST(EditConflict, OwnPostsAndChangesToOtherRecordsLeaveTheEditFree) {
    auto fs = std::make_shared<test::MemFileSystem>();
    auto form = catalog(fs, "/k");
    put(*form, "Doom", "Spiel", "alt");
    put(*form, "Quake", "Spiel", "");
    auto other = catalog(fs, "/k");
    ASSERT_TRUE(form->locate("Name", {Value("Doom")}));
    form->edit();
    form->setAsString("Kategorie", "Spiel, Action");
    put(*other, "Quake", "Shareware", "anderswo");  // another record
    put(*other, "Wolfenstein", "Spiel", "");
    form->post();
    form->edit();  // the same record twice in a row through the same handle
    form->setAsString("Status", "Eingelagert");
    form->post();
    EXPECT_EQ(stored(fs, "/k"), "Doom|Spiel, Action|Eingelagert|alt");
}

TEST(EditConflict, AChangeByAnotherProcessRefusesThePost) {
    if (test::childPart() == "merger") {
        test::runChild([] {
            const auto& a = test::childArgs();
            auto t = catalog(FileSystem::real(), a.at("folder"));
            put(*t, "Doom", "Spiel, Action", "vom anderen Programm");
            t->close();
        });
    }
    test::TempDir dir;
    auto fs = FileSystem::real();
    auto form = catalog(fs, dir.path());
    put(*form, "Doom", "Spiel", "alt");
    ASSERT_TRUE(form->locate("Name", {Value("Doom")}));
    form->edit();
    form->setAsString("Status", "Verliehen");
    {
        test::Child merger({{"part", "merger"}, {"folder", dir.path()}});
        ASSERT_EQ(merger.wait(), 0);
    }
    try {
        form->post();
        ADD_FAILURE() << "the post went through";
    } catch (const EngineError& e) {
        EXPECT_EQ(std::string(e.what()), kRefused);
    }
    EXPECT_EQ(form->state(), DataSetState::Edit);
    EXPECT_EQ(stored(fs, dir.path()), "Doom|Spiel, Action||vom anderen Programm");
}

}  // namespace

}  // namespace mv32::engine
