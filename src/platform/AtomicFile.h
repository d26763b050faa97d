// Small files the program rewrites whole (settings, the list of scanned media, list and tree
// files, desktop entries): written through engine::ReplacingFile, so a crash or a full disk
// leaves the old or the new contents, never a mixture, a link or FIFO beside the file is never
// written through, two writers at once leave one whole file, and the file keeps its rights.
#pragma once

#include <optional>
#include <string>

namespace mv32::platform {

// The whole contents of a regular file; nullopt when it cannot be read (missing, a folder, no
// permission, a read error).
std::optional<std::string> readWholeFile(const std::string& path);

// Replaces `path` by `data`; creates missing folders. A new file is readable by everybody
// (and executable with `executable`), a file that is replaced keeps its rights. Throws
// engine::EngineError with a German message naming the file.
void writeFileAtomically(const std::string& path, const std::string& data, bool executable = false);

}  // namespace mv32::platform
