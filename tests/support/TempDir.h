// A fresh folder for one test, removed with everything in it when the test ends.
#pragma once

#include <string>

#include "engine/PathNames.h"

namespace mv32::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return engine::paths::join(path_, name); }

private:
    std::string path_;
};

}  // namespace mv32::test
