#include "engine/store/ChangePositions.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace mv32::engine::store {

FreePositions::FreePositions(uint64_t size) : size_(size) {
    const size_t words = static_cast<size_t>((size + 63) / 64);
    taken_.assign(words, 0);
    if (size % 64 != 0) taken_.back() = ~uint64_t{0} << (size % 64);  // past the end
    tree_.assign(words + 1, 0);
    for (size_t i = 1; i <= words; ++i) {
        tree_[i] += static_cast<uint32_t>(64 - std::popcount(taken_[i - 1]));
        const size_t up = i + (i & (~i + 1));
        if (up <= words) tree_[up] += tree_[i];
    }
    top_ = words == 0 ? 0 : std::bit_floor(words);
}

uint64_t FreePositions::nthFree(uint64_t n) const {
    const size_t words = taken_.size();
    size_t at = 0;  // words wholly before the one sought
    uint64_t left = n;
    for (size_t step = top_; step != 0; step >>= 1) {
        if (at + step <= words && tree_[at + step] <= left) {
            at += step;
            left -= tree_[at];
        }
    }
    if (at >= words) throw std::out_of_range("Position außerhalb der Tabelle");
    uint64_t free = ~taken_[at];
    for (; left > 0; --left) free &= free - 1;  // drops the lowest free bits before it
    return uint64_t{at} * 64 + static_cast<uint64_t>(std::countr_zero(free));
}

void FreePositions::take(uint64_t position) {
    if (position >= size_) throw std::out_of_range("Position außerhalb der Tabelle");
    const size_t w = static_cast<size_t>(position / 64);
    const uint64_t bit = uint64_t{1} << (position % 64);
    if (taken_[w] & bit) return;
    taken_[w] |= bit;
    for (size_t i = w + 1; i < tree_.size(); i += i & (~i + 1)) --tree_[i];
}

namespace {

std::vector<uint32_t> replay(const std::vector<uint64_t>& at, uint64_t count, bool backwards,
                             bool sorted = true) {
    std::vector<uint32_t> out;
    if (at.empty()) return out;
    if (count > UINT32_MAX) throw std::out_of_range("Tabelle zu groß für Positionen");
    FreePositions free(count);
    out.reserve(at.size());
    for (size_t k = 0; k < at.size(); ++k) {
        const uint64_t p = at[backwards ? at.size() - 1 - k : k];
        const uint64_t x = free.nthFree(p);
        free.take(x);
        out.push_back(static_cast<uint32_t>(x));
    }
    if (!sorted) {
        if (backwards) std::reverse(out.begin(), out.end());
        return out;
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

// The last record added stands where it was added; each one before it stands at its position
// among the records that are not added after it.
std::vector<uint32_t> finalPositions(const std::vector<uint64_t>& atInsert, uint64_t finalCount) {
    return replay(atInsert, finalCount, true);
}

std::vector<uint32_t> placesOf(const std::vector<uint64_t>& atInsert, uint64_t finalCount) {
    return replay(atInsert, finalCount, true, false);
}

// The first record removed stood where it was removed; each one after it stood at its position
// among the records not removed before it.
std::vector<uint32_t> basePositions(const std::vector<uint64_t>& atRemoval, uint64_t baseCount) {
    return replay(atRemoval, baseCount, false);
}

}  // namespace mv32::engine::store
