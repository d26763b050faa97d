// The table tool mv32db: inspect, check and maintain engine tables from the command line.
//
// run() takes the arguments after the program name and the three standard streams, so that
// tests can drive it like a shell. It returns the exit status: 0 success, 1 failure (the German
// message went to `err`), 2 wrong usage.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Field.h"
#include "engine/FileSystem.h"

namespace mv32::engine {
class Table;
}

namespace mv32::tools {

// Wrong usage: the message is followed by the usage text, exit status 2.
struct UsageError {
    std::string message;
};

// Runs a statement in `folder` and writes the result as "sql" does: a header line, then one
// tab-separated line per row.
int runSql(const std::shared_ptr<engine::FileSystem>& fs, const std::string& folder,
           const std::string& statement, std::ostream& out, std::ostream& err);

int runTableTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                 std::ostream& err,
                 std::shared_ptr<engine::FileSystem> fs = engine::FileSystem::real());

// Tab-separated text of a field value: "\N" for blank; backslash, tab, line ends and other
// control bytes escaped. parseField reverses it.
std::string formatField(const engine::Value& v);
bool parseField(std::string_view text, engine::Value* v);

// Writes what opening the table found and dealt with (a log set aside, an index rebuilt) to
// the error stream as notes.
void reportNotices(engine::Table& t, std::ostream& err);

}  // namespace mv32::tools
