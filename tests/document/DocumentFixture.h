// The program object on a temporary program folder, with an in-memory settings store, a clock
// that stands still and the scripted user-interface port: the same wiring as the program's,
// with the undo table made, as the tests of the document, the exchange formats and the scans
// need it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/Program.h"
#include "document/AutoSave.h"
#include "document/CatalogDocument.h"
#include "document/Log.h"
#include "document/Settings.h"
#include "document/SettingsStore.h"
#include "exchange/MvReader.h"
#include "platform/Clock.h"
#include "support/ScriptedUserInterface.h"
#include "support/TempDir.h"

namespace mv32::test {

class DocumentFixture : public ::testing::Test {
protected:
    DocumentFixture();
    // A scripted answer that no question asked for means the test expected a question the
    // program did not ask: that fails the test.
    void TearDown() override;

    // The program folder and a folder for the person's catalogs.
    std::string programDir() const { return home.path() + "/"; }
    std::string data(const std::string& name) const { return work.file(name); }

    // Makes a catalog with the given names (and optional categories) through the engine.
    void makeCatalog(const std::string& path, const std::vector<std::string>& names,
                     const std::string& category = "");
    // The names in a catalog file, in primary order.
    std::vector<std::string> namesIn(const std::string& path);
    std::string readFile(const std::string& path) const;
    void writeFile(const std::string& path, const std::string& bytes) const;
    bool exists(const std::string& path) const;

    // Opens a catalog through "Ö&ffnen..." with the first filter.
    void openCatalog(const std::string& path);

    TempDir home;
    TempDir work;
    platform::FixedClock clock{{2026, 12, 9, 8, 5, 3}};
    ScriptedUserInterface ui;
    std::unique_ptr<app::Program> program;
    // The program's parts, as the tests use them.
    document::MemorySettingsStore& store;
    document::Settings& settings;
    document::Log& log;
    document::CatalogDocument* doc;
    document::AutoSave* autoSave;
    exchange::MvReader* reader;

private:
    struct Direct : document::UiInvoker {
        void invoke(const std::function<void()>& call) override { call(); }
    } invoker_;
    std::unique_ptr<app::Program> makeProgram();
};

}  // namespace mv32::test
