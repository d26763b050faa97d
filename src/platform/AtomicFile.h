// Small files the program rewrites (settings, the list of scanned media, desktop entries) are
// written to a temporary file beside them, synced and renamed over the old one, so a crash
// leaves the old or the new contents, never a mixture.
#pragma once

#include <string>

namespace mv32::platform {

// Replaces `path` by `data`; creates missing folders. Returns 0 or the system's error number.
int writeFileAtomically(const std::string& path, const std::string& data, bool executable = false);

}  // namespace mv32::platform
