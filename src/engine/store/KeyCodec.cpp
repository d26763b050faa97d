#include "engine/store/KeyCodec.h"

#include <cstring>

namespace mv32::engine::store {

namespace {

bool descending(Kind k) {
    return k == Kind::TextDesc || k == Kind::IntDesc;
}

// Index of the first byte b in p[0, n), or n: eight bytes at a time, since texts are searched
// for their end mark on every comparison of entries.
inline size_t findByte(const unsigned char* p, size_t n, unsigned char b) {
    const uint64_t ones = 0x0101010101010101ull;
    const uint64_t mask = ones * b;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t v;
        std::memcpy(&v, p + i, 8);
        v ^= mask;
        uint64_t t = (v - ones) & ~v & 0x8080808080808080ull;
        if (t) return i + static_cast<size_t>(__builtin_ctzll(t) >> 3);
    }
    for (; i < n; ++i) {
        if (p[i] == b) return i;
    }
    return n;
}

void invertFrom(std::string& out, size_t start) {
    for (size_t i = start; i < out.size(); ++i) out[i] = static_cast<char>(~out[i]);
}

bool readVarint(const unsigned char*& p, const unsigned char* end, uint64_t* v) {
    uint64_t r = 0;
    for (int shift = 0; shift < 64 && p < end; shift += 7) {
        unsigned char b = *p++;
        r |= uint64_t{b & 0x7Fu} << shift;
        if (!(b & 0x80)) {
            *v = r;
            return true;
        }
    }
    return false;
}

}  // namespace

void encodeBlank(std::string& out, Kind k) {
    if (k == Kind::Bytes) {
        out.push_back('\0');
        return;
    }
    out.push_back(descending(k) ? static_cast<char>(0xFF) : '\0');
}

void encodeText(std::string& out, std::string_view s, Kind k) {
    size_t start = out.size();
    out.push_back('\x01');
    out.append(s);
    out.push_back('\0');
    if (k == Kind::TextDesc) invertFrom(out, start);
}

void encodeInt(std::string& out, int64_t v, Kind k) {
    size_t start = out.size();
    unsigned char buf[9];
    uint64_t u = v < 0 ? ~static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    int len = 0;
    for (uint64_t t = u; t; t >>= 8) ++len;
    if (v < 0) {
        buf[0] = static_cast<unsigned char>(0x40 - len);
        for (int i = 0; i < len; ++i) {
            buf[1 + i] = static_cast<unsigned char>(~(u >> (8 * (len - 1 - i))));
        }
    } else {
        buf[0] = static_cast<unsigned char>(0x80 + len);
        for (int i = 0; i < len; ++i)
            buf[1 + i] = static_cast<unsigned char>(u >> (8 * (len - 1 - i)));
    }
    out.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(1 + len));
    if (k == Kind::IntDesc) invertFrom(out, start);
}

void encodeBlobRef(std::string& out, uint64_t id, uint64_t length) {
    out.push_back('\x01');
    while (id >= 0x80) {
        out.push_back(static_cast<char>((id & 0x7F) | 0x80));
        id >>= 7;
    }
    out.push_back(static_cast<char>(id));
    while (length >= 0x80) {
        out.push_back(static_cast<char>((length & 0x7F) | 0x80));
        length >>= 7;
    }
    out.push_back(static_cast<char>(length));
}

void encodeBytes(std::string& out, std::string_view data) {
    uint64_t n = data.size();
    while (n >= 0x80) {
        out.push_back(static_cast<char>((n & 0x7F) | 0x80));
        n >>= 7;
    }
    out.push_back(static_cast<char>(n));
    out.append(data);
}

size_t fieldLength(const unsigned char* p, size_t avail, Kind k) {
    if (avail == 0) return kBadField;
    switch (k) {
        case Kind::Text:
        case Kind::TextDesc: {
            unsigned char blank = k == Kind::Text ? 0x00 : 0xFF;
            unsigned char start = k == Kind::Text ? 0x01 : 0xFE;
            if (p[0] == blank) return 1;
            if (p[0] != start) return kBadField;
            size_t end = 1 + findByte(p + 1, avail - 1, blank);
            return end < avail ? end + 1 : kBadField;
        }
        case Kind::Int:
        case Kind::IntDesc: {
            unsigned char t = k == Kind::Int ? p[0] : static_cast<unsigned char>(~p[0]);
            size_t n;
            if (t == 0x00)
                n = 1;
            else if (t >= 0x38 && t <= 0x40)
                n = 1u + (0x40u - t);
            else if (t >= 0x80 && t <= 0x88)
                n = 1u + (t - 0x80u);
            else
                return kBadField;
            return n <= avail ? n : kBadField;
        }
        case Kind::BlobRef: {
            if (p[0] == 0x00) return 1;
            if (p[0] != 0x01) return kBadField;
            const unsigned char* q = p + 1;
            uint64_t v;
            if (!readVarint(q, p + avail, &v) || !readVarint(q, p + avail, &v)) return kBadField;
            return static_cast<size_t>(q - p);
        }
        case Kind::Bytes: {
            const unsigned char* q = p;
            uint64_t n;
            if (!readVarint(q, p + avail, &n)) return kBadField;
            size_t head = static_cast<size_t>(q - p);
            if (n > avail - head) return kBadField;
            return head + static_cast<size_t>(n);
        }
    }
    return kBadField;
}

bool isBlankField(const unsigned char* p, Kind k) {
    switch (k) {
        case Kind::Text:
        case Kind::Int:
        case Kind::BlobRef:
            return p[0] == 0x00;
        case Kind::TextDesc:
        case Kind::IntDesc:
            return p[0] == 0xFF;
        case Kind::Bytes:
            return false;
    }
    return false;
}

std::string_view textView(const unsigned char* p, size_t len) {
    if (len < 2) return {};
    return {reinterpret_cast<const char*>(p + 1), len - 2};
}

std::string textOf(const unsigned char* p, size_t len, Kind k) {
    if (len < 2) return {};
    std::string s(reinterpret_cast<const char*>(p + 1), len - 2);
    if (k == Kind::TextDesc) {
        for (auto& c : s) c = static_cast<char>(~c);
    }
    return s;
}

int64_t intOf(const unsigned char* p, size_t len, Kind k) {
    unsigned char b[9] = {};
    if (len == 0 || len > 9) return 0;
    for (size_t i = 0; i < len; ++i)
        b[i] = k == Kind::IntDesc ? static_cast<unsigned char>(~p[i]) : p[i];
    size_t n = len - 1;
    uint64_t u = 0;
    if (b[0] >= 0x80) {
        for (size_t i = 0; i < n; ++i) u = (u << 8) | b[1 + i];
        return static_cast<int64_t>(u);
    }
    for (size_t i = 0; i < n; ++i) u = (u << 8) | static_cast<unsigned char>(~b[1 + i]);
    return static_cast<int64_t>(~u);
}

void blobRefOf(const unsigned char* p, size_t len, uint64_t* id, uint64_t* length) {
    const unsigned char* q = p + 1;
    readVarint(q, p + len, id);
    readVarint(q, p + len, length);
}

std::string_view bytesOf(const unsigned char* p, size_t len) {
    const unsigned char* q = p;
    uint64_t n = 0;
    readVarint(q, p + len, &n);
    return {reinterpret_cast<const char*>(q), static_cast<size_t>(n)};
}

bool splitFields(const Layout& layout, std::string_view entry, uint32_t* ends) {
    const auto* p = reinterpret_cast<const unsigned char*>(entry.data());
    size_t pos = 0;
    for (size_t i = 0; i < layout.kinds.size(); ++i) {
        size_t n = fieldLength(p + pos, entry.size() - pos, layout.kinds[i]);
        if (n == kBadField) return false;
        pos += n;
        ends[i] = static_cast<uint32_t>(pos);
    }
    return pos == entry.size();
}

size_t keyLength(const Layout& layout, std::string_view entry) {
    const auto* p = reinterpret_cast<const unsigned char*>(entry.data());
    size_t pos = 0;
    for (size_t i = 0; i < layout.keyFields; ++i) {
        size_t n = fieldLength(p + pos, entry.size() - pos, layout.kinds[i]);
        if (n == kBadField) return kBadField;
        pos += n;
    }
    return pos;
}

}  // namespace mv32::engine::store
