// A catalog document on a temporary program folder, an in-memory settings store, a clock that
// stands still and the scripted user-interface port, with the legacy reader wired in as the
// program wires it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

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
    document::MemorySettingsStore store;
    document::Settings settings;
    platform::FixedClock clock{{2026, 12, 9, 8, 5, 3}};
    document::Log log;
    ScriptedUserInterface ui;
    std::unique_ptr<document::CatalogDocument> doc;
    std::unique_ptr<document::AutoSave> autoSave;
    std::unique_ptr<exchange::MvReader> reader;
};

}  // namespace mv32::test
