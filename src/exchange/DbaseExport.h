// The dBase export and the catalog import: two transfers by the engine's batch move.
//
// The dBase export writes every catalog record into a new dBase IV table of fourteen character
// columns (numbers as their decimal text, texts cut to the column width, the memo to its first
// 254 characters, no picture), built beside the target and put in its place when complete.
//
// The catalog import merges another catalog file into the open catalog: a record whose name is
// there replaces that record's columns, the others are added, below the record level (no
// record notifications, nothing for the undo journal). A file that is no catalog (other fields
// or field types) is refused before a record is written.
#pragma once

#include <string>

#include "engine/BatchMove.h"
#include "engine/Cursor.h"
#include "engine/Table.h"

namespace mv32::exchange {

void writeDbaseExport(engine::Cursor& catalog, const std::string& path);

engine::BatchMoveResult mergeCatalog(engine::Table& catalog, const std::string& sourcePath);

}  // namespace mv32::exchange
