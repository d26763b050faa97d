// The file list table mv32list.db and the list of scanned media mv32list.chk: their names, and
// the file list's fields, key and secondary indexes. The scan code fills them, the settings
// maintain them and the program shows the file search while the table exists; all of them
// take the definitions from here.
//
// A record is Verzeichnis (the whole directory path, ending in the separator), Dateiname (the
// whole name), Erweiterung (after the last dot, at most 5 characters), Groesse (64-bit bytes),
// Label and VolID (the medium); the primary key is the whole record. The first secondary index
// lives in mv32list.xg0.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/Field.h"

namespace mv32::engine {
class Table;
}

namespace mv32::document::filelist {

inline constexpr const char* kTableName = "mv32list.db";
inline constexpr const char* kScannedMediaName = "mv32list.chk";
inline constexpr int kDirectoryWidth = 4096;
inline constexpr int kNameWidth = 255;

const std::vector<engine::FieldDef>& fields();

// The primary index, and the order in which a record is looked up.
inline constexpr const char* kPrimaryFields =
    "Verzeichnis;Dateiname;Erweiterung;Groesse;Label;VolID";
inline constexpr const char* kKeyFields = "Dateiname;Verzeichnis;Erweiterung;Groesse;Label;VolID";

struct SecondaryIndex {
    const char* name;
    const char* fields;
};
inline constexpr std::array<SecondaryIndex, 3> kIndexes = {{
    {"DateinameIndex", "Dateiname;Verzeichnis;Erweiterung;Groesse;Label;VolID"},
    {"ErweiterungIndex", "Erweiterung;Dateiname;Verzeichnis;Groesse;Label;VolID"},
    {"GroesseIndex", "Groesse;Dateiname;Verzeichnis;Erweiterung;Label;VolID"},
}};

// Whether the file list exists in the data folder `folder` (with its separator).
bool existsIn(const std::string& folder);

// The file search looks for a text inside file names through a trigram index of Dateiname
// (mv32list.tri), whatever SekIndexActive says. A scan and a medium's removal hand it their
// change where it is current (engine/Table.h, beginTrigramChange); it is built again after
// the list's maintenance, and after a scan or removal whose change it could not take in.
inline constexpr const char* kSearchField = "Dateiname";
// Builds it for `list`, open exclusively. A failure (a full disk) leaves the index stale, and
// the file search then reads every record: it is reported, never a reason to undo the change
// that came before. Returns the log line of the failure, empty on success.
std::string buildSearchIndex(engine::Table& list);
// The log line of an index that could not be built for the reason `why`.
std::string searchIndexFailure(const std::string& why);

}  // namespace mv32::document::filelist
