// The searches of the program from the command line: search, freespace, range, usersql and
// filesearch build their statements with the same functions as the dialogs and print the
// result as "sql" does; --statement prints the statement instead of running it.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "engine/FileSystem.h"

namespace mv32::tools {

bool isSearchCommand(const std::string& command);
// `args` starts with the command. Throws UsageError on wrong usage.
int runSearchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const std::shared_ptr<engine::FileSystem>& fs);

}  // namespace mv32::tools
