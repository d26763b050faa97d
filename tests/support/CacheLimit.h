// The process-wide page cache limit set for as long as this lives; the old one comes back at
// its end, also when a failed assertion leaves the test early.
#pragma once

#include <cstddef>

#include "engine/Table.h"

namespace mv32::test {

class CacheLimit {
public:
    explicit CacheLimit(size_t bytes) : old_(engine::Table::cacheLimitBytes()) {
        engine::Table::setCacheLimit(bytes);
    }
    ~CacheLimit() { engine::Table::setCacheLimit(old_); }
    CacheLimit(const CacheLimit&) = delete;
    CacheLimit& operator=(const CacheLimit&) = delete;

private:
    size_t old_;
};

}  // namespace mv32::test
