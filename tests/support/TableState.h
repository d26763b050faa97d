// Helpers of the robustness tests: a table's files as bytes, and its content as one text.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "engine/FileSystem.h"

namespace mv32::test {

using Files = std::map<std::string, std::string>;

// All files of the folder (names without folder) and their bytes.
Files snapshot(const std::string& dir);
// Makes the folder hold exactly these files.
void restore(const std::string& dir, const Files& files);

// Opens the table, checks its integrity and returns every record of every field in primary
// order, the index names and the record count, as one text. Throws what opening or the check
// throws.
std::string contentOf(const std::shared_ptr<engine::FileSystem>& fs, const std::string& dir,
                      const std::string& table);

}  // namespace mv32::test
