// Batch moves: every record of a source (a table, a query result or a dBase table) copied into
// an existing destination, below the record level: the destination's notifications do not run,
// and an engine table takes the records in bulk mode (synced in groups).
//
// Columns pair by the explicit mappings when there are any ("destination=source" pairs), else by
// name when every destination column has a source column of that name, else by position. On an
// error the records moved so far stay, and the message names the destination and the record.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/Cursor.h"

namespace mv32::engine {

class Table;
class DbfTable;

enum class BatchMode {
    Append,        // every source record becomes a new record
    AppendUpdate,  // a source record whose primary key exists replaces that record
};

struct BatchMoveResult {
    int64_t appended = 0;
    int64_t updated = 0;
};

using ColumnMappings = std::vector<std::pair<std::string, std::string>>;  // destination, source

BatchMoveResult batchMove(Cursor& source, Table& destination, BatchMode mode,
                          const ColumnMappings& mappings = {});
BatchMoveResult batchMove(Cursor& source, DbfTable& destination,
                          const ColumnMappings& mappings = {});

}  // namespace mv32::engine
