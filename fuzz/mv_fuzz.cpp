// Reads arbitrary bytes as a legacy MV file into a catalog, then writes the catalog out and
// reads that back. Whatever the bytes, reading ends at the end of the file or in the damaged-file
// error (MvDamaged); every other exception, crash or sanitizer report is a finding. What the
// writer produced from the catalog must always read back whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "document/Catalog.h"
#include "engine/Table.h"
#include "exchange/MvParser.h"
#include "exchange/MvReader.h"
#include "exchange/MvWriter.h"
#include "support/MemFileSystem.h"

using namespace mv32;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    auto fs = std::make_shared<test::MemFileSystem>();
    engine::Table t(fs);
    t.setTableName("/d/kat.db");
    document::createCatalogTable(t);
    t.open();

    int mark = 0;
    try {
        exchange::MvParser parser(bytes);
        mark = parser.mark();
        if (mark != 13 && mark != 14) return 0;  // older versions are refused before reading
        exchange::mv::Record r;
        int records = 0;
        while (parser.next(r) && ++records < 2000) exchange::storeRecord(t, r, mark);
    } catch (const exchange::MvDamaged&) {
        if (t.state() != engine::DataSetState::Browse) t.cancel();
    }

    // Written out, the catalog reads back with every record.
    std::string out = exchange::encodeHeader({2026, 12, 9, 8, 0, 0}, t.recordCount());
    for (t.first(); !t.eof(); t.next()) exchange::encodeRecord(t, out);
    exchange::MvParser again(out);
    exchange::mv::Record r;
    int64_t n = 0;
    while (again.next(r)) ++n;
    if (n != t.recordCount()) std::abort();
    return 0;
}
