// Runs arbitrary statement text as a query over a small catalog. Whatever the text, the query
// must end in an EngineError or a readable result: never crash, hang or trip a sanitizer.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/EngineError.h"
#include "engine/Query.h"
#include "engine/Table.h"
#include "support/MemFileSystem.h"

using namespace mv32;

namespace {

std::shared_ptr<test::MemFileSystem> catalog() {
    auto fs = std::make_shared<test::MemFileSystem>();
    engine::Table t(fs);
    t.setDirectory("/k");
    t.setTableName("cat.db");
    t.setFieldDefs({{"Name", engine::FieldType::Text, 40},
                    {"Nr", engine::FieldType::Int16, 0},
                    {"Groesse", engine::FieldType::Text, 20},
                    {"Kategorie", engine::FieldType::Text, 20},
                    {"Memo", engine::FieldType::Memo, 0},
                    {"Bild", engine::FieldType::Blob, 0}});
    t.createTable();
    t.addIndex("", "Name");
    t.addIndex("NrIndex", "Nr;Name");
    t.addIndex("KatIndex", "Kategorie;Name", engine::IndexCaseInsensitive);
    t.open();
    const char* names[] = {"Äpfel", "abc", "ABC", "Zeta", "straße", "50%", "a_b", "\"q\"", ""};
    for (int i = 0; i < 60; ++i) {
        t.append();
        std::string name = names[i % 9];
        t.setAsString("Name", name + std::to_string(i));
        if (i % 7) t.setAsInteger("Nr", i % 13 - 3);
        if (i % 5) t.setAsString("Groesse", i % 4 ? std::to_string(i * 100000) : "viel");
        if (i % 3) t.setAsString("Kategorie", i % 2 ? "Spiele" : "Büro");
        if (i % 4 == 0) t.setAsString("Memo", std::string(static_cast<size_t>(i), 'm'));
        if (i % 11 == 0) t.setAsString("Bild", std::string("\x00\x01\x02", 3));
        t.post();
    }
    return fs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto fs = catalog();
    static std::unique_ptr<engine::Table> open = [] {
        auto t = std::make_unique<engine::Table>(fs);
        t->setDirectory("/k");
        t->setTableName("cat");
        t->open();
        return t;
    }();
    std::string text(reinterpret_cast<const char*>(data), size);
    engine::Query q(fs);
    q.setDirectory("/k");
    if (size % 2) q.useTable(*open);
    q.setSql(text);
    try {
        q.open();
        int rows = 0;
        for (q.first(); !q.eof() && rows < 500; q.next(), ++rows) {
            for (int i = 0; i < q.fieldCount(); ++i) q.displayText(i);
        }
        q.recordCount();
        q.last();
        q.prior();
        q.moveTo(q.recordCount() / 2);
    } catch (const engine::EngineError&) {
        // A rejected statement or a failing evaluation: expected.
    }
    return 0;
}
