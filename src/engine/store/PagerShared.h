// Process-wide state and limits shared by the parts of the Pager.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/PathNames.h"
#include "engine/store/Format.h"

namespace mv32::engine::store::pager {

inline std::atomic<size_t> cacheLimit{64u << 20};
inline std::atomic<size_t> cleanBytes{0};  // measured memory of clean cached nodes
inline std::atomic<size_t> dirtyNodes{0};  // changed nodes, which grow until they are committed
// A changed node is counted at this size until its commit measures it: a decoded page with
// the room its arena keeps for inserts, as measured on bulk scans.
inline constexpr size_t kDirtyNodeEstimate = 5 * kPageSize;

inline constexpr uint64_t kCheckpointBytes = 16u << 20;
inline constexpr int kWriteLockTimeoutMs = 15000;
inline constexpr int kReadLockTimeoutMs = 60000;

inline std::string dirOf(const std::string& path) {
    const std::string folder = paths::folderOf(path);
    return folder.empty() ? std::string(".") : folder;
}

inline std::string fileNameOf(const std::string& path) {
    return paths::fileNameOf(path);
}

}  // namespace mv32::engine::store::pager
