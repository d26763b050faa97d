// The file list table as the program defines it (its six fields, the whole record as the
// primary key), made empty in a folder for the benchmarks to fill.
#pragma once

#include <string>

#include "engine/Table.h"

namespace bench {

inline constexpr const char* kFileListKey = "Verzeichnis;Dateiname;Erweiterung;Groesse;Label;VolID";

// Creates the table `name` in `dir` (replacing one there) and opens it.
inline void createFileList(mv32::engine::Table& t, const std::string& dir,
                           const std::string& name) {
    using mv32::engine::FieldType;
    t.setDirectory(dir);
    t.setTableName(name);
    t.setFieldDefs({{"Verzeichnis", FieldType::Text, 4096},
                    {"Dateiname", FieldType::Text, 255},
                    {"Erweiterung", FieldType::Text, 5},
                    {"Groesse", FieldType::Int64, 0},
                    {"Label", FieldType::Text, 11},
                    {"VolID", FieldType::Text, 8}});
    t.createTable();
    t.addIndex("", kFileListKey);
    t.open();
}

}  // namespace bench
