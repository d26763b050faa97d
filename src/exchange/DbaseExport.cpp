#include "exchange/DbaseExport.h"

#include "document/Catalog.h"
#include "engine/DbfTable.h"
#include "engine/EngineError.h"
#include "engine/ReplacingFile.h"
#include "platform/Paths.h"

namespace mv32::exchange {

namespace {

struct Column {
    const char* name;
    int width;
    const char* from;
};
const Column kColumns[] = {
    {"Name", 254, "Name"},
    {"Medium", 10, "Datentraeger"},
    {"MediumNr", 5, "DatentraegerNr"},
    {"von", 5, "von"},
    {"Anzahl", 5, "Datentraeger_Anzahl"},
    {"SerienNr", 8, "Serien_Nr"},
    {"Laufwerk", 1, "Laufwerk"},
    {"Label", 11, "Label"},
    {"Groesse", 15, "Gesamte_Groesse"},
    {"Speicher", 15, "Freier_Speicher"},
    {"DatumZeit", 25, "Datum_Uhrzeit"},
    {"Status", 254, "Status"},
    {"Kategorie", 254, "Kategorie"},
    {"Memo", 254, "Memo"},
};

}  // namespace

void writeDbaseExport(engine::Cursor& catalog, const std::string& path) {
    engine::ReplacingFile out(engine::FileSystem::real(), path);
    engine::DbfTable dbf;
    dbf.setPath(path);
    std::vector<engine::DbfField> fields;
    engine::ColumnMappings pairs;
    for (const auto& c : kColumns) {
        fields.push_back({c.name, 'C', c.width, 0});
        std::string upper = c.name;
        for (auto& ch : upper)
            if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
        pairs.emplace_back(upper, c.from);
    }
    dbf.setFields(fields);
    dbf.createTable(out.borrow());
    engine::batchMove(catalog, dbf, pairs);
    dbf.close();
    out.commit();
}

engine::BatchMoveResult mergeCatalog(engine::Table& catalog, const std::string& sourcePath) {
    engine::Table source;
    source.setDirectory(platform::folderOf(sourcePath));
    source.setTableName(platform::fileNameOf(sourcePath));
    source.open();
    const auto& want = document::catalogFields();
    bool fits = source.fieldCount() == static_cast<int>(want.size());
    for (int i = 0; fits && i < source.fieldCount(); ++i) {
        const auto& have = source.fieldDef(i);
        const auto& w = want[static_cast<size_t>(i)];
        fits = have.name == w.name && have.type == w.type;
    }
    if (!fits) {
        throw engine::EngineError(engine::ErrorKind::Usage,
                                  "Die Datei " + engine::quoted(sourcePath) +
                                      " ist kein Katalog: ihre Felder sind andere als die "
                                      "Felder eines Katalogs. Es wurde nichts übernommen.");
    }
    return engine::batchMove(source, catalog, engine::BatchMode::AppendUpdate);
}

}  // namespace mv32::exchange
