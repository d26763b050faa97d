#include "document/FileListTable.h"

#include "engine/Table.h"

namespace mv32::document::filelist {

const std::vector<engine::FieldDef>& fields() {
    using engine::FieldType;
    static const std::vector<engine::FieldDef> f = {
        {"Verzeichnis", FieldType::Text, kDirectoryWidth},
        {"Dateiname", FieldType::Text, kNameWidth},
        {"Erweiterung", FieldType::Text, 5},
        {"Groesse", FieldType::Int64, 0},
        {"Label", FieldType::Text, 11},
        {"VolID", FieldType::Text, 8},
    };
    return f;
}

std::string buildSearchIndex(engine::Table& list) {
    try {
        list.buildTrigramIndex(kSearchField);
        return {};
    } catch (const std::exception& e) {
        return searchIndexFailure(e.what());
    }
}

std::string searchIndexFailure(const std::string& why) {
    return "Der Suchindex der Dateiliste konnte nicht erstellt werden (" + why +
           "); die Dateisuche liest bis zum nächsten Scan alle Einträge.";
}

bool existsIn(const std::string& folder) {
    engine::Table t;
    t.setDirectory(folder);
    t.setTableName(kTableName);
    return t.exists();
}

}  // namespace mv32::document::filelist
