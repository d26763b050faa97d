// Copying the files of a catalog: backup copies and "Speichern unter".
//
// Each file is copied to a temporary file beside the target, synced and renamed over the target,
// so an older copy is replaced only by a whole new one, and a file copied onto itself stays
// intact. The copy keeps the source file's date and time of last change. Progress is reported
// in bytes copied over all files of one call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace mv32::document {

struct CopyJob {
    std::string from;
    std::string to;
};

// Copies every job in order. Before the first byte `started(totalBytes)` runs, after each piece
// `progress(bytesSoFar)`. Throws std::runtime_error with a German message naming the file on the
// first failure; the jobs before it stay copied.
void copyFiles(const std::vector<CopyJob>& jobs, const std::function<void(int64_t)>& started,
               const std::function<void(int64_t)>& progress);

}  // namespace mv32::document
