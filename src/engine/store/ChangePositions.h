// Positions of records changed one after another, turned into positions in one state of the
// table.
//
// A scan learns the position of each record it adds at the moment it is added; records added
// later before it move it on. A medium's removal learns the position of each record it removes
// in the table as it stands then, less the records removed before. The trigram index needs both
// in one state: the added records where they stand after the last change, the removed ones
// where they stood before the first. Both come from the same question, "the n-th position not
// taken yet", answered by a bit per position and counts per 64 of them in a Fenwick tree: a
// table of N records costs N/8 + N/16 bytes and each change O(log N).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mv32::engine::store {

// The positions of records added one after another, `atInsert[i]` being the position of the
// i-th at the moment it was added, in the table of `finalCount` records after the last:
// ascending. Throws std::out_of_range when a position cannot have been one of that table.
std::vector<uint32_t> finalPositions(const std::vector<uint64_t>& atInsert, uint64_t finalCount);

// The same as finalPositions(), in the order the records were added: the i-th element is
// where the i-th record added stands in the end.
std::vector<uint32_t> placesOf(const std::vector<uint64_t>& atInsert, uint64_t finalCount);

// The positions of records removed one after another, `atRemoval[i]` being the position of
// the i-th in the table as it stood when it was removed, in the table of `baseCount` records
// before the first: ascending. Throws std::out_of_range as finalPositions() does.
std::vector<uint32_t> basePositions(const std::vector<uint64_t>& atRemoval, uint64_t baseCount);

// The positions 0..size-1, each free or taken.
class FreePositions {
public:
    explicit FreePositions(uint64_t size);
    // The n-th (from 0) free position; std::out_of_range when fewer are free.
    uint64_t nthFree(uint64_t n) const;
    void take(uint64_t position);

private:
    uint64_t size_;
    std::vector<uint64_t> taken_;  // a bit per position
    std::vector<uint32_t> tree_;   // Fenwick tree over the free counts of the words, from 1
    size_t top_ = 0;               // the highest power of two not above the number of words
};

}  // namespace mv32::engine::store
