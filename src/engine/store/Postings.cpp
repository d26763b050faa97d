#include "engine/store/Postings.h"

#include <algorithm>
#include <limits>

#include "engine/store/Coding.h"

namespace mv32::engine::store::postings {

void appendBlock(std::string& out, const uint32_t* p, size_t n) {
    uint32_t widest = 0;
    for (size_t i = 1; i < n; ++i) widest = std::max(widest, p[i] - p[i - 1] - 1);
    unsigned width = 0;
    while (width < 32 && (widest >> width) != 0) ++width;
    unsigned char head[kBlockHead];
    put32(head, p[0]);
    head[4] = static_cast<unsigned char>(n - 1);  // 0..127
    head[5] = static_cast<unsigned char>(width);
    out.append(reinterpret_cast<const char*>(head), sizeof head);
    if (width == 0) return;
    uint64_t acc = 0;
    unsigned bits = 0;
    for (size_t i = 1; i < n; ++i) {
        acc |= static_cast<uint64_t>(p[i] - p[i - 1] - 1) << bits;
        bits += width;
        while (bits >= 8) {
            out += static_cast<char>(acc & 0xFF);
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) out += static_cast<char>(acc & 0xFF);
}

size_t Reader::blockSize(size_t count, unsigned width) {
    return kBlockHead + ((count - 1) * width + 7) / 8;
}

void Reader::readHead() {
    if (at_ >= data_.size()) return;
    if (data_.size() - at_ < kBlockHead) {
        malformed_ = true;
        return;
    }
    const auto* h = reinterpret_cast<const unsigned char*>(data_.data() + at_);
    first_ = get32(h);
    count_ = static_cast<size_t>(h[4]) + 1;
    width_ = h[5];
    if (count_ > kBlock || width_ > 32) {
        malformed_ = true;
        return;
    }
    size_ = blockSize(count_, width_);
    if (size_ > data_.size() - at_) malformed_ = true;
}

uint64_t Reader::nextFirst() const {
    size_t next = at_ + size_;
    if (next + kBlockHead > data_.size()) return std::numeric_limits<uint64_t>::max();
    return get32(reinterpret_cast<const unsigned char*>(data_.data() + next));
}

void Reader::skip() {
    at_ += size_;
    readHead();
}

void Reader::decode(std::vector<uint32_t>& out) {
    const auto* b = reinterpret_cast<const unsigned char*>(data_.data() + at_ + kBlockHead);
    uint64_t value = first_;
    out.push_back(static_cast<uint32_t>(value));
    const uint64_t mask = width_ == 32 ? 0xFFFFFFFFull : ((uint64_t{1} << width_) - 1);
    uint64_t acc = 0;
    unsigned bits = 0;
    size_t byte = 0;
    for (size_t i = 1; i < count_; ++i) {
        while (bits < width_) {
            acc |= static_cast<uint64_t>(b[byte++]) << bits;
            bits += 8;
        }
        value += (acc & mask) + 1;
        acc >>= width_;
        bits -= width_;
        if (value > std::numeric_limits<uint32_t>::max()) {
            malformed_ = true;
            return;
        }
        out.push_back(static_cast<uint32_t>(value));
    }
    skip();
}

bool decodeAll(std::string_view list, std::vector<uint32_t>& out) {
    Reader r(list);
    while (!r.atEnd()) r.decode(out);
    return !r.malformed();
}

bool intersect(std::vector<uint32_t>& candidates, std::string_view list) {
    Reader r(list);
    std::vector<uint32_t> block;
    size_t kept = 0;
    size_t i = 0;
    while (i < candidates.size() && !r.atEnd()) {
        const uint64_t c = candidates[i];
        if (c < r.first()) {
            ++i;  // before this block: in no later one either
            continue;
        }
        if (c >= r.nextFirst()) {
            r.skip();
            continue;
        }
        block.clear();
        r.decode(block);
        if (r.malformed()) return false;
        size_t j = 0;
        for (; i < candidates.size() && j < block.size();) {
            if (candidates[i] < block[j]) {
                ++i;
            } else if (block[j] < candidates[i]) {
                ++j;
            } else {
                candidates[kept++] = candidates[i];
                ++i;
                ++j;
            }
        }
    }
    candidates.resize(kept);
    return !r.malformed();
}

}  // namespace mv32::engine::store::postings
