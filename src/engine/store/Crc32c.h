// CRC-32C (Castagnoli), the checksum of every page, log frame and descriptor of the engine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mv32::engine::store {

// Extends `crc` (0 for a fresh checksum) over n bytes.
uint32_t crc32c(uint32_t crc, const void* data, size_t n);

inline uint32_t crc32c(const void* data, size_t n) {
    return crc32c(0, data, n);
}

}  // namespace mv32::engine::store
