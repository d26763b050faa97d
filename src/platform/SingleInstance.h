// The single-instance guard: the program holds three named locks for its whole run, so that a
// second start (of this or an earlier version) can tell that one runs already.
//
// Linux: lock files of those names in the runtime folder, held with flock; the locks vanish with
// the process, whatever way it ends.
#pragma once

#include <string>
#include <vector>

namespace mv32::platform {

class SingleInstance {
public:
    // The names the program's versions have used, in the order they are taken.
    static const std::vector<std::string>& names();

    // Takes every lock in `folder` (default: runtimeDir()); false when another process holds
    // any of them. The locks taken are kept until destruction either way.
    bool acquire(const std::string& folder = std::string());
    ~SingleInstance();

private:
    std::vector<int> handles_;
};

}  // namespace mv32::platform
