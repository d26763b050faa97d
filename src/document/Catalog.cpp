#include "document/Catalog.h"

#include "engine/EngineError.h"
#include "engine/Table.h"

namespace mv32::document {

using engine::FieldDef;
using engine::FieldType;

const std::vector<FieldDef>& catalogFields() {
    static const std::vector<FieldDef> fields = {
        {"Name", FieldType::Text, 255},
        {"DatentraegerNr", FieldType::Int16, 0},
        {"Datentraeger_Anzahl", FieldType::Int16, 0},
        {"von", FieldType::Int16, 0},
        {"Datentraeger", FieldType::Text, 255},
        {"Laufwerk", FieldType::Text, 1},
        {"Label", FieldType::Text, 11},
        {"Serien_Nr", FieldType::Text, 8},
        {"Gesamte_Groesse", FieldType::Text, 255},
        {"Freier_Speicher", FieldType::Text, 255},
        {"Status", FieldType::Text, 255},
        {"Datum_Uhrzeit", FieldType::Text, 255},
        {"Kategorie", FieldType::Text, 255},
        {"Memo", FieldType::Memo, 0},
        {"Grafik", FieldType::Blob, 0},
    };
    return fields;
}

const std::array<SecondaryIndex, 8> kSecondaryIndexes = {{
    {"DatentraegerNrIndex", "DatentraegerNr;Name", "Sortieren nach Datenträger-Nr."},
    {"DatentraegerIndex", "Datentraeger;Name", "Sortieren nach Datenträger"},
    {"LabelIndex", "Label;Name", "Sortieren nach Label"},
    {"Gesamte_GroesseIndex", "Gesamte_Groesse;Name", "Sortieren nach Gesamter Größe"},
    {"Freier_SpeicherIndex", "Freier_Speicher;Name", "Sortieren nach Freien Speicher"},
    {"StatusIndex", "Status;Name", "Sortieren nach Status"},
    {"KategorieIndex", "Kategorie;Name", "Sortieren nach Kategorie"},
    {"LaufwerkIndex", "Laufwerk;Name", "Sortieren nach Laufwerk"},
}};

void createCatalogTable(engine::Table& table) {
    table.close();
    if (table.exists()) table.deleteTable();
    table.setFieldDefs(catalogFields());
    table.createTable();
    table.setExclusive(true);
    table.addIndex("", "Name");
    table.setExclusive(false);
    table.setIndexName("");
}

void repairPrimaryKey(engine::Table& table) {
    table.close();
    table.open();
    const bool keyed = table.hasPrimaryIndex();
    table.close();
    if (keyed) return;
    table.setExclusive(true);
    try {
        table.addIndex("", "Name");
    } catch (const engine::EngineError& e) {
        table.setExclusive(false);
        // A catalog on a medium that cannot be written is read as it is.
        if (e.kind() == engine::ErrorKind::ReadOnly) return;
        throw;
    } catch (...) {
        table.setExclusive(false);
        throw;
    }
    table.setExclusive(false);
    table.setIndexName("");
}

std::string catalogBase(const std::string& path) {
    return path.size() >= 3 ? path.substr(0, path.size() - 3) : std::string();
}

}  // namespace mv32::document
