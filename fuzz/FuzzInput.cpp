#include "FuzzInput.h"

#include <cstring>

#include "engine/store/Crc32c.h"

namespace mv32::fuzz {

uint8_t unpack(const uint8_t* data, size_t size, test::MemFileSystem& fs) {
    if (size == 0) return 0;
    uint8_t flags = data[0];
    size_t pos = 1;
    while (pos + 5 <= size) {
        uint8_t file = data[pos] % 6;
        uint32_t len;
        std::memcpy(&len, data + pos + 1, 4);
        pos += 5;
        if (len > size - pos) len = static_cast<uint32_t>(size - pos);
        std::string bytes(reinterpret_cast<const char*>(data + pos), len);
        pos += len;
        if (flags & 1) {
            for (size_t p = 0; p + 4096 <= bytes.size(); p += 4096) {
                uint32_t c = engine::store::crc32c(bytes.data() + p + 4, 4092);
                std::memcpy(bytes.data() + p, &c, 4);
            }
        }
        fs.setContents(std::string("/f/t") + kExtensions[file], bytes);
    }
    return flags;
}

std::string pack(test::MemFileSystem& fs, uint8_t flags) {
    std::string out(1, static_cast<char>(flags));
    for (uint8_t i = 0; i < 6; ++i) {
        std::string path = std::string("/f/t") + kExtensions[i];
        if (!fs.exists(path)) continue;
        std::string bytes = fs.contents(path);
        out.push_back(static_cast<char>(i));
        auto len = static_cast<uint32_t>(bytes.size());
        char b[4];
        std::memcpy(b, &len, 4);
        out.append(b, 4);
        out += bytes;
    }
    return out;
}

}  // namespace mv32::fuzz
