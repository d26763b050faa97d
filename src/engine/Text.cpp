#include "engine/Text.h"

#include <cstring>

namespace mv32::engine::text {

namespace {

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

}  // namespace

size_t sequenceLength(std::string_view s, size_t i) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t n = 1;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4;
    if (n == 1 || i + n > s.size()) return 1;
    for (size_t k = 1; k < n; ++k) {
        if (!isContinuation(static_cast<unsigned char>(s[i + k]))) return 1;
    }
    // Overlong three- and four-byte forms and surrogates are invalid: count their bytes singly.
    auto c1 = static_cast<unsigned char>(s[i + 1]);
    if (c == 0xE0 && c1 < 0xA0) return 1;
    if (c == 0xED && c1 >= 0xA0) return 1;
    if (c == 0xF0 && c1 < 0x90) return 1;
    if (c == 0xF4 && c1 >= 0x90) return 1;
    return n;
}

size_t length(std::string_view s) {
    size_t count = 0;
    for (size_t i = 0; i < s.size(); i += sequenceLength(s, i)) ++count;
    return count;
}

std::string fitToWidth(std::string_view s, size_t width) {
    // Every character takes at least one byte: a short text without zero bytes fits as it is.
    if (s.size() <= width && std::memchr(s.data(), 0, s.size()) == nullptr) return std::string(s);
    std::string out;
    out.reserve(s.size() < width * 4 ? s.size() : width * 4);
    size_t chars = 0;
    for (size_t i = 0; i < s.size() && chars < width;) {
        size_t n = sequenceLength(s, i);
        if (!(n == 1 && s[i] == '\0')) {
            out.append(s.substr(i, n));
            ++chars;
        }
        i += n;
    }
    return out;
}

char32_t decodeAt(std::string_view s, size_t i, size_t* len) {
    size_t n = sequenceLength(s, i);
    *len = n;
    auto c = static_cast<unsigned char>(s[i]);
    if (n == 1) return c;
    char32_t cp = (n == 2) ? (c & 0x1Fu) : (n == 3) ? (c & 0x0Fu) : (c & 0x07u);
    for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

char32_t toUpper(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) ||
            (c >= 0x14A && c <= 0x177)) {
            return (c & 1) ? c - 1 : c;
        }
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? 0x3A3 : c - 0x20;
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF)) return (c & 1) ? c - 1 : c;
    return c;
}

char32_t toLower(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F) {
        if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) ||
            (c >= 0x14A && c <= 0x177)) {
            return (c & 1) ? c : c + 1;
        }
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
        return c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 0x3F;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF)) return (c & 1) ? c : c + 1;
    return c;
}

namespace {

template <typename Map>
std::string mapCase(std::string_view s, Map map, bool toUpperCase) {
    // Names are mostly ASCII: those letters are changed in place, the rest character by
    // character from the first non-ASCII byte on.
    std::string out(s);
    size_t i = 0;
    const unsigned char from = toUpperCase ? 'a' : 'A';
    for (; i < out.size(); ++i) {
        auto c = static_cast<unsigned char>(out[i]);
        if (c >= 0x80) break;
        if (static_cast<unsigned char>(c - from) < 26) out[i] = static_cast<char>(c ^ 0x20);
    }
    if (i == out.size()) return out;
    out.resize(i);
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(map(c)));
            ++i;
            continue;
        }
        size_t n = 0;
        char32_t cp = decodeAt(s, i, &n);
        if (n == 1) {
            out.push_back(s[i]);  // an invalid byte stays as it is
        } else {
            appendUtf8(out, map(cp));
        }
        i += n;
    }
    return out;
}

}  // namespace

std::string upper(std::string_view s) {
    return mapCase(s, toUpper, true);
}
std::string lower(std::string_view s) {
    return mapCase(s, toLower, false);
}
std::string fold(std::string_view s) {
    return lower(s);
}

}  // namespace mv32::engine::text

namespace mv32::engine::text {

namespace {

// Characters of the bytes 0x80..0x9F; 0 where windows-1252 defines none (they read as the
// control character of the same number).
constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

int windows1252Byte(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] && kHigh[i] == cp) return 0x80 + i;
    }
    if (cp >= 0x80 && cp <= 0x9F && !kHigh[cp - 0x80]) return static_cast<int>(cp);
    return -1;
}

std::string toWindows1252(std::string_view utf8, char replacement) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        size_t len = 0;
        char32_t cp = decodeAt(utf8, i, &len);
        int b = windows1252Byte(cp);
        out += b < 0 ? replacement : static_cast<char>(b);
        i += len;
    }
    return out;
}

std::string fromWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char ch : bytes) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else if (c < 0xA0 && kHigh[c - 0x80]) {
            appendUtf8(out, kHigh[c - 0x80]);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

}  // namespace mv32::engine::text
