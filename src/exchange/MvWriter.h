// Writing the open catalog as a legacy catalog file (full layout, mark 14): the menu command
// ExpMVItemClick with its dialog and question, and ExportToMV.
//
// The catalog is written in the order of its primary index (by Name) and stays open in that
// order afterwards. Every text is cut to its width and written in windows-1252; a character that
// windows-1252 cannot hold becomes "?". Pictures are not carried by the format.
//
// User-interface thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Clock.h"

namespace mv32::engine {
class Cursor;
}
namespace mv32::document {
class CatalogDocument;
}

namespace mv32::exchange {

class MvWriter {
public:
    explicit MvWriter(document::CatalogDocument& doc) : doc_(doc) {}

    // The menu command: preset name, dialog, ".MV" appended, the question before overwriting.
    void ExpMVItemClick();
    // Writes the open catalog to `path`; failures end in "Fehler beim Exportieren der Datei!".
    void ExportToMV(const std::string& path);

private:
    document::CatalogDocument& doc_;
};

// The 23 header bytes for a file written at `now` holding `count` records.
std::string encodeHeader(const platform::LocalTime& now, int64_t count);
// Appends the current record of `c` (catalog layout) in the full layout.
void encodeRecord(engine::Cursor& c, std::string& out);
// The medium code written for a medium type text.
int mediumCode(const std::string& mediumType);

}  // namespace mv32::exchange
