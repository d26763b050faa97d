// The legacy-format commands of mv32db: a ".MV" file into a catalog ("mv2db") and a catalog into
// a ".MV" file ("db2mv"), through the same document and exchange code as the program's windows,
// with the same messages. Questions the program would ask are answered "Nein" unless the
// command line says --ueberschreiben.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace mv32::tools {

// args[0] is "mv2db" or "db2mv". Returns 0 on success, 1 after a failure (its message went to
// `err`), 2 on wrong usage.
int runLegacyTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace mv32::tools
