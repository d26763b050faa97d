// Runs an external program (an archiver) hidden, in a working folder, for at most a given time.
//
// The program gets its own process group with standard input and output on /dev/null; when it
// is still running after the limit, the whole group is stopped, so a hanging archiver and its
// children never outlive the scan. A program that cannot be started (not there, not
// executable) is passed over; any other failure (no process to be had, no handle left, a tool
// that cannot be waited for or stopped) is `failed`, which the caller logs.
#pragma once

#include <string>
#include <vector>

namespace mv32::scan {

struct ToolResult {
    bool started = false;
    bool stopped = false;  // still running at the limit, so it was stopped
    bool failed = false;   // a failure other than a program that cannot be started
};

inline constexpr const char* kToolFailedText = "Anwendung ist nicht ausführbar: Make it run";

ToolResult runTool(const std::vector<std::string>& argv, const std::string& workingFolder,
                   int limitMs = 2000);

}  // namespace mv32::scan
