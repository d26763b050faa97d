// The command table and its rules without a window: every surface names commands that exist,
// keys are owned once, and the rules show and enable what each state calls for; the program
// object carries out what the core can.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "app/CommandTable.h"
#include "app/Program.h"
#include "document/DocumentFixture.h"

namespace mv32::test {
namespace {

using app::Command;
using app::MenuEntry;
using app::Rule;
using document::ControlState;

void collect(const std::vector<MenuEntry>& entries, std::vector<std::string>& items,
             std::set<std::string>& names) {
    for (const auto& e : entries) {
        if (e.objectName) {
            EXPECT_TRUE(names.insert(e.objectName).second) << e.objectName;
        }
        if (e.kind == MenuEntry::Kind::Item) items.push_back(e.objectName);
        if (e.kind == MenuEntry::Kind::Submenu) collect(e.entries, items, names);
    }
}

TEST(CommandTable, EverySurfaceNamesDefinedCommandsAndEveryKeyHasOneOwner) {
    std::vector<std::string> items;
    std::set<std::string> names;
    for (const auto& m : app::menuBar()) {
        EXPECT_TRUE(names.insert(m.objectName).second) << m.objectName;
        collect(m.entries, items, names);
    }
    // Each command of the table appears in the menu bar exactly once.
    std::multiset<std::string> placed(items.begin(), items.end());
    for (const auto& def : app::commands())
        EXPECT_EQ(placed.count(def.objectName), 1u) << def.objectName;
    EXPECT_EQ(items.size(), app::commands().size());

    std::map<std::string, std::string> owner;
    for (const auto& def : app::commands()) {
        if (*def.key) {
            EXPECT_TRUE(owner.emplace(def.key, def.objectName).second) << def.key;
        }
    }
    // A key shown by another item is answered by its owner; a key only the context menu has
    // belongs to no menu item.
    for (const auto& def : app::commands()) {
        if (def.sharedKey) {
            EXPECT_TRUE(owner.count(def.sharedKey)) << def.objectName;
        }
    }
    EXPECT_EQ(owner.at("F7"), "Einstellungen1");
    EXPECT_EQ(owner.at("Ctrl+B"), "Bereich1");
    EXPECT_EQ(owner.at("Ctrl+F"), "FreienSpeicher1");
    std::vector<std::string> windowKeys;
    for (const auto& p : app::popupMenu()) {
        if (p.windowKey) {
            EXPECT_FALSE(owner.count(p.key)) << p.key;
            windowKeys.push_back(p.key);
        }
    }
    EXPECT_EQ(windowKeys, (std::vector<std::string>{"Alt+P", "Ctrl+M", "Ctrl+E"}));
    // The context menu's own captions differ from the menu bar's where the program says so.
    EXPECT_STREQ(app::commandDef("Treeview1").key, "Ctrl+T");
    EXPECT_STREQ(app::popupMenu()[1].key, "F8");
}

TEST(CommandTable, RulesFollowTheCatalogAndTheFileList) {
    const struct {
        Rule rule;
        bool closed, closedWithList, open, openWithList;
    } cases[] = {
        {Rule::Always, true, true, true, true},
        {Rule::Disabled, true, true, true, true},
        {Rule::WithJournal, true, true, true, true},
        {Rule::WithCatalog, false, false, true, true},
        {Rule::WithFileList, false, true, false, true},
        {Rule::WithCatalogOrFileList, false, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.rule));
        EXPECT_EQ(app::visibleIn(c.rule, ControlState::NoCatalog, false), c.closed);
        EXPECT_EQ(app::visibleIn(c.rule, ControlState::NoCatalog, true), c.closedWithList);
        EXPECT_EQ(app::visibleIn(c.rule, ControlState::CatalogOpen, false), c.open);
        EXPECT_EQ(app::visibleIn(c.rule, ControlState::CatalogOpen, true), c.openWithList);
    }
    EXPECT_FALSE(app::enabledBy(app::commandDef("Undo1").rule));
    EXPECT_TRUE(app::enabledBy(app::commandDef("UndoFast1").rule, true));
    EXPECT_TRUE(app::enabledBy(app::commandDef("Neu1").rule));
    // Hidden toolbar buttons are exactly those without a place in the closed state.
    const auto closed = app::toolbarPositions(ControlState::NoCatalog, false);
    for (size_t i = 0; i < app::toolbar().size(); ++i) {
        EXPECT_EQ(app::visibleIn(app::toolbar()[i].rule, ControlState::NoCatalog, false),
                  closed[i] >= 0)
            << app::toolbar()[i].objectName;
    }
}

class ProgramCommands : public DocumentFixture {
protected:
    struct Direct : document::UiInvoker {
        void invoke(const std::function<void()>& call) override { call(); }
    } invoker;
};

TEST_F(ProgramCommands, TheProgramCarriesOutWhatNeedsNoWindow) {
    // What opens a window or ends the program is left to the window.
    for (Command c : {Command::Scannen, Command::Einstellungen, Command::Hilfe, Command::Info,
                      Command::Beenden, Command::Wiederherstellen, Command::Verlassen,
                      Command::Drucken, Command::ExportAscii, Command::ExportHtml})
        EXPECT_FALSE(program->run(c));
    // The document's commands run here: a cancelled dialog changes nothing.
    ui.cancelDialog();
    EXPECT_TRUE(program->run(Command::Oeffnen));
    EXPECT_FALSE(doc->state().CatalogOpen);
    // The general error handler shows what reaches it and goes on.
    program->guarded([] { throw std::runtime_error("Etwas ging schief."); });
    EXPECT_EQ(ui.calls().back(), "error \"Etwas ging schief.\"");
}

TEST_F(ProgramCommands, HelpPagesAreFoundInTheProgramFolderOrBesideTheInstalledProgram) {
    namespace fs = std::filesystem;
    const std::string prefix = work.path() + "/prefix";
    fs::create_directories(prefix + "/bin");
    auto programAt = [&](const std::string& programDirectory) {
        app::Program::Options o;
        o.programFile = prefix + "/bin/mv32";
        o.programDir = programDirectory;
        return std::make_unique<app::Program>(std::move(o), ui, invoker);
    };
    // Nothing anywhere: beside the program file.
    EXPECT_EQ(programAt(programDir())->helpFolder(), prefix + "/bin/hilfe/");
    // Installed below <prefix>/share.
    fs::create_directories(prefix + "/share/mavrel32/hilfe");
    writeFile(prefix + "/share/mavrel32/hilfe/index.html", "<html></html>");
    EXPECT_EQ(programAt(programDir())->helpFolder(), prefix + "/share/mavrel32/hilfe/");
    // Pages in the program folder come first.
    fs::create_directories(programDir() + "hilfe");
    writeFile(programDir() + "hilfe/index.html", "<html></html>");
    EXPECT_EQ(programAt(programDir())->helpFolder(), programDir() + "hilfe/");
}

}  // namespace
}  // namespace mv32::test
