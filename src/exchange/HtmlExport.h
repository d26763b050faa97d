// The HTML export: the catalog in name order as pages in windows-1252 with CR LF, one
// two-column table per record with the chosen fields.
//
// Split by initial (the default), the chosen file is an index page whose table links to one
// page per initial, ten cells a row. Each initial gets exactly one page, holding all its
// records, and one cell, whatever the name order (lower-case names, which come after every
// upper-case one, join their initial's page). An initial that is a letter or digit names its
// page (cat_A.HTML, cat_7.HTML, cat_ä.HTML); any other character names it by its code point
// (cat_U002E.HTML), the same on every system. Names that a medium ignoring case (FAT, Windows)
// would take for one are told apart: when two initials differ only in case (ä and Ä), the one
// met first keeps its name and the other is named by its code point (cat_U00E4.HTML); the
// index links the name used. Values are escaped, and characters that
// windows-1252 lacks are written as numeric references. Every page is written beside its
// target and replaces it only when complete.
#pragma once

#include <string>
#include <vector>

#include "engine/Cursor.h"
#include "exchange/ExportChoice.h"

namespace mv32::exchange {

// Writes every record of `rows` (the catalog) from its first to its last; `path` is the single
// page or the index page. Throws EngineError on failure.
void writeHtmlExport(engine::Cursor& rows, const ExportChoice& choice, const std::string& path,
                     const ExportProgress& progress = {});

// The text as HTML: & < > " as entities, characters outside windows-1252 as &#N;.
std::string htmlEscaped(const std::string& text);
// The name part of the page of an initial: the initial itself or "U" and its code point.
std::string initialPageKey(const std::string& initial);
// The name parts of the pages of `initials` (in the order they are met), told apart where
// only the case of two initials differs.
std::vector<std::string> pageNames(const std::vector<std::string>& initials);

}  // namespace mv32::exchange
