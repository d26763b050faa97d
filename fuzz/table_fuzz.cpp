// Opens mutated table files and runs a fixed script of reads and changes on them. Whatever the
// bytes, the engine must end in an EngineError or succeed: never crash, hang or trip a sanitizer.
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "engine/EngineError.h"
#include "engine/Table.h"

using namespace mv32;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto fs = std::make_shared<test::MemFileSystem>();
    fuzz::unpack(data, size, *fs);
    try {
        engine::Table t(fs);
        t.setDirectory("/f");
        t.setTableName("t.db");
        t.open();
        int64_t n = t.recordCount();
        int fields = t.fieldCount();
        engine::Value firstKey;
        int rows = 0;
        for (t.first(); !t.eof() && rows < 2000; t.next(), ++rows) {
            for (int i = 0; i < fields; ++i) {
                engine::Value v = t.value(i);
                if (rows == 0 && i == 0) firstKey = v;
            }
        }
        t.moveTo(n / 2 + 1);
        t.recNo();
        for (const auto& ix : t.indexNames()) {
            t.setIndexName(ix);
            t.last();
            t.prior();
        }
        t.setIndexName("");
        if (fields > 0) {
            std::string f0 = t.fieldDef(0).name;
            t.locate(f0, {firstKey});
            t.locate(f0, {firstKey}, engine::LocateCaseInsensitive | engine::LocatePartialKey);
            if (n > 0) {
                t.edit();
                t.setValue(fields - 1, engine::Value("x"));
                t.post();
            }
            t.append();
            t.setValue(0, engine::Value("neu"));
            t.post();
            t.first();
            if (!t.eof()) t.remove();
        }
        t.checkIntegrity();
        t.close();
    } catch (const engine::EngineError&) {
        // Damaged input is reported, which is all that is asked.
    }
    return 0;
}
