// Lengths of the equal runs at the start and at the end of two byte strings, compared eight
// bytes at a time: entries next to each other in a leaf or in the log share long runs (the
// folder at the start, the medium at the end), which are measured on every insert.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace mv32::engine::store {

// Number of equal bytes at the start of a and b.
inline size_t sharedPrefix(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    size_t i = 0;
    while (i + 8 <= n) {
        uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) return i + static_cast<size_t>(__builtin_ctzll(x ^ y) / 8);
        i += 8;
    }
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

// Number of equal bytes at the end of a and b, at most `limit`.
inline size_t sharedSuffix(std::string_view a, std::string_view b, size_t limit) {
    if (limit > a.size()) limit = a.size();
    if (limit > b.size()) limit = b.size();
    const char* ea = a.data() + a.size();
    const char* eb = b.data() + b.size();
    size_t i = 0;
    while (i + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, ea - i - 8, 8);
        std::memcpy(&y, eb - i - 8, 8);
        if (x != y) {
            // The last differing byte counted from the end: the highest one that differs.
            return i + static_cast<size_t>(__builtin_clzll(x ^ y) / 8);
        }
        i += 8;
    }
    while (i < limit && ea[-1 - static_cast<ptrdiff_t>(i)] == eb[-1 - static_cast<ptrdiff_t>(i)])
        ++i;
    return i;
}

}  // namespace mv32::engine::store
