// Little-endian fixed-width numbers and LEB128 varints, with bounds-checked readers.
//
// Everything the engine reads from a file goes through Reader, which throws a corruption error
// naming the file instead of reading past the end of its buffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace mv32::engine::store {

inline void put16(unsigned char* p, uint16_t v) {
    std::memcpy(p, &v, 2);
}
inline void put32(unsigned char* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}
inline void put64(unsigned char* p, uint64_t v) {
    std::memcpy(p, &v, 8);
}
inline uint16_t get16(const unsigned char* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline uint32_t get32(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint64_t get64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline void appendVarint(std::string& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

inline size_t varintLength(uint64_t v) {
    size_t n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

inline void append32(std::string& out, uint32_t v) {
    char b[4];
    std::memcpy(b, &v, 4);
    out.append(b, 4);
}

inline void append64(std::string& out, uint64_t v) {
    char b[8];
    std::memcpy(b, &v, 8);
    out.append(b, 8);
}

[[noreturn]] void throwCorrupt(const std::string& file, const std::string& detail);

// Reads values from a byte buffer; running past its end is a corruption of `file`.
class Reader {
public:
    Reader(const unsigned char* p, size_t n, const std::string& file, const char* what)
        : p_(p), end_(p + n), file_(file), what_(what) {}

    size_t remaining() const { return static_cast<size_t>(end_ - p_); }
    const unsigned char* pos() const { return p_; }

    uint8_t u8() {
        need(1);
        return *p_++;
    }
    uint16_t u16() {
        need(2);
        auto v = get16(p_);
        p_ += 2;
        return v;
    }
    uint32_t u32() {
        need(4);
        auto v = get32(p_);
        p_ += 4;
        return v;
    }
    uint64_t u64() {
        need(8);
        auto v = get64(p_);
        p_ += 8;
        return v;
    }

    uint64_t varint() {
        uint64_t v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            need(1);
            unsigned char b = *p_++;
            v |= uint64_t{b & 0x7Fu} << shift;
            if (!(b & 0x80)) return v;
        }
        fail();
    }

    std::string_view bytes(size_t n) {
        need(n);
        std::string_view s(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        return s;
    }

    void need(size_t n) const {
        if (static_cast<size_t>(end_ - p_) < n) fail();
    }

    [[noreturn]] void fail() const { throwCorrupt(file_, what_); }

private:
    const unsigned char* p_;
    const unsigned char* end_;
    const std::string& file_;
    const char* what_;
};

}  // namespace mv32::engine::store
