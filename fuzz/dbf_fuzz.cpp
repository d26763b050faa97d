// Opens arbitrary bytes as a dBase table and reads it. Whatever the bytes, the reader must end
// in an EngineError or read the records: never crash, hang or trip a sanitizer.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/DbfTable.h"
#include "engine/EngineError.h"
#include "support/MemFileSystem.h"

using namespace mv32;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto fs = std::make_shared<test::MemFileSystem>();
    fs->setContents("/d/T.DBF", std::string(reinterpret_cast<const char*>(data), size));
    engine::DbfTable t(fs);
    t.setPath("/d/T.DBF");
    try {
        t.open();
        int rows = 0;
        for (t.first(); !t.eof() && rows < 1000; t.next(), ++rows) {
            for (int i = 0; i < t.fieldCount(); ++i) t.displayText(i);
        }
        t.last();
        t.prior();
        t.append();
        for (int i = 0; i < t.fieldCount(); ++i) t.setValue(i, engine::Value("12"));
        t.post();
        t.close();
    } catch (const engine::EngineError&) {
        // Not a readable dBase table, or a value its fields cannot take: expected.
    }
    return 0;
}
