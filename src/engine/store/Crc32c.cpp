#include "engine/store/Crc32c.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <nmmintrin.h>
#endif

namespace mv32::engine::store {

namespace {

constexpr std::array<uint32_t, 256> makeTable() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
        t[i] = c;
    }
    return t;
}

constexpr auto kTable = makeTable();

uint32_t crcSoftware(uint32_t c, const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) c = kTable[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c;
}

#if defined(__x86_64__)
__attribute__((target("sse4.2"))) uint32_t crcHardware(uint32_t c, const unsigned char* p,
                                                       size_t n) {
    uint64_t c64 = c;
    while (n >= 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        c64 = _mm_crc32_u64(c64, v);
        p += 8;
        n -= 8;
    }
    c = static_cast<uint32_t>(c64);
    while (n--) c = _mm_crc32_u8(c, *p++);
    return c;
}

bool haveHardware() {
    static const bool have = __builtin_cpu_supports("sse4.2");
    return have;
}
#endif

}  // namespace

uint32_t crc32c(uint32_t crc, const void* data, size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    uint32_t c = ~crc;
#if defined(__x86_64__)
    if (haveHardware()) return ~crcHardware(c, p, n);
#endif
    return ~crcSoftware(c, p, n);
}

}  // namespace mv32::engine::store
