// Runs the table tool like a shell would, on the real file system: its exit status and what
// it wrote to standard output and standard error.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "tools/mv32db/TableTool.h"

namespace mv32::tools {

struct ToolRun {
    int status;
    std::string out, err;
};

inline ToolRun run(std::vector<std::string> args) {
    std::istringstream in;
    std::ostringstream out, err;
    int status = runTableTool(args, in, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace mv32::tools
