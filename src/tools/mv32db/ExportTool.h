// The exports and the catalog import from the command line: "export text|html|dbase" and
// "merge", through the same writers as the program's menus. The target is written as given
// (no extension added, no question) and replaces an existing file only when complete.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace mv32::tools {

bool isExportCommand(const std::string& command);
// `args` starts with the command. Throws UsageError on wrong usage.
int runExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Throws EngineError when `target` is a file of `catalog`, of the file list in the data folder
// of the person's settings or of the undo table in the program folder: nothing is written.
void refuseOwnFile(const std::string& catalog, const std::string& target);

}  // namespace mv32::tools
