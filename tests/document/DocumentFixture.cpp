#include "document/DocumentFixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "document/Catalog.h"
#include "engine/Table.h"

namespace mv32::test {

std::unique_ptr<app::Program> DocumentFixture::makeProgram() {
    app::Program::Options o;
    o.programFile = programDir() + "mv32";
    o.programDir = programDir();
    o.store = std::make_unique<document::MemorySettingsStore>();
    o.clock = &clock;
    o.writeShellEntries = false;
    return std::make_unique<app::Program>(std::move(o), ui, invoker_);
}

DocumentFixture::DocumentFixture()
    : program(makeProgram()),
      store(static_cast<document::MemorySettingsStore&>(program->store())),
      settings(program->settings()),
      log(program->log()),
      doc(&program->document()),
      autoSave(&program->autoSave()),
      reader(&program->reader()) {
    doc->createUndoTable();
}

void DocumentFixture::TearDown() {
    EXPECT_TRUE(ui.scriptUsed()) << "Eine vorbereitete Antwort wurde nie erfragt.";
}

void DocumentFixture::makeCatalog(const std::string& path, const std::vector<std::string>& names,
                                  const std::string& category) {
    engine::Table t;
    t.setTableName(path);
    document::createCatalogTable(t);
    t.open();
    for (const auto& n : names) {
        t.append();
        t.setAsString("Name", n);
        t.setAsString("Kategorie", category);
        t.post();
    }
    t.close();
}

std::vector<std::string> DocumentFixture::namesIn(const std::string& path) {
    engine::Table t;
    t.setTableName(path);
    t.open();
    std::vector<std::string> out;
    for (t.first(); !t.eof(); t.next()) out.push_back(t.asString("Name"));
    t.close();
    return out;
}

std::string DocumentFixture::readFile(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void DocumentFixture::writeFile(const std::string& path, const std::string& bytes) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool DocumentFixture::exists(const std::string& path) const {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

void DocumentFixture::openCatalog(const std::string& path) {
    ui.choose(path, 1);
    doc->Oeffnen();
    ASSERT_TRUE(doc->state().CatalogOpen) << path;
}

}  // namespace mv32::test
