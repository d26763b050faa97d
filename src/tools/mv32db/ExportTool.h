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

}  // namespace mv32::tools
