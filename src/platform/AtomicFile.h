// Small files the program rewrites (settings, the list of scanned media, desktop entries) are
// written to a temporary file beside them, synced and renamed over the old one, so a crash
// leaves the old or the new contents, never a mixture.
#pragma once

#include <optional>
#include <string>

namespace mv32::platform {

// The whole contents of a regular file; nullopt when it cannot be read (missing, a folder, no
// permission, a read error).
std::optional<std::string> readWholeFile(const std::string& path);

// Replaces `path` by `data`; creates missing folders. Returns 0 or the system's error number.
int writeFileAtomically(const std::string& path, const std::string& data, bool executable = false);

}  // namespace mv32::platform
