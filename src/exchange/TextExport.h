// The text export: a readable listing of catalog records in windows-1252 with CR LF, a banner,
// one numbered block of lines per record with the chosen fields, and the end lines.
//
// The source is the catalog (in name order, every value as the record shows it) or a search
// result (in its own order; a column the result lacks leaves its lines out, as does an empty
// medium number). Sizes are 64-bit: 5,368,709,120 bytes print as 5120 MByte. The file is
// written beside its target and replaces it only when complete.
#pragma once

#include <string>

#include "engine/Cursor.h"
#include "exchange/ExportChoice.h"

namespace mv32::exchange {

enum class ExportSource { Catalog, Result };

// The fourth line of the banner: 22 blanks, this text, one blank.
inline constexpr const char* kTextNotice = "Liste der Programme und Datenträger";

// Writes every record of `rows` from its first to its last; throws EngineError on failure.
void writeTextExport(engine::Cursor& rows, ExportSource source, const ExportChoice& choice,
                     const std::string& path, const ExportProgress& progress = {});

}  // namespace mv32::exchange
