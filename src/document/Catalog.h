// The catalog record and its indexes: the layout shared by every catalog file, the undo table,
// the import table and drivescan.db.
//
// A catalog has a primary index on Name and up to eight secondary indexes, each ordering by one
// field and then by Name, switched on and off by the index settings.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/Field.h"

namespace mv32::engine {
class Table;
}

namespace mv32::document {

// The fifteen fields Name … Grafik in their physical order.
const std::vector<engine::FieldDef>& catalogFields();

struct SecondaryIndex {
    const char* name;      // "DatentraegerNrIndex"
    const char* fields;    // "DatentraegerNr;Name"
    const char* sortItem;  // caption of the overview's sort menu item
};

// In the order of Settings::indexOn and kIndexSettingNames.
extern const std::array<SecondaryIndex, 8> kSecondaryIndexes;

// Creates the table the Table names (replacing one of that name) with the catalog fields and
// the primary index on Name. The table is left closed, in primary order, not exclusive.
void createCatalogTable(engine::Table& table);

// Adds the primary index on Name when the table has no primary index file; the table must be
// closed.
void repairPrimaryKey(engine::Table& table);

// The path of a catalog table's base name: the file name without its last three characters
// ("X.db" gives "X"), in the same folder.
std::string catalogBase(const std::string& path);

}  // namespace mv32::document
