// Parses one SELECT statement of the local SQL dialect (see Query.h for the dialect).
#pragma once

#include <string_view>

#include "engine/sql/Ast.h"

namespace mv32::engine::sql {

// Throws EngineError(Syntax) naming the position and the token where the statement goes wrong.
SelectStatement parse(std::string_view sqlText);

}  // namespace mv32::engine::sql
