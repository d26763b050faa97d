// Lists of ascending record positions, as the trigram index stores them.
//
// A list is a sequence of blocks of up to 128 positions. A block holds its first position
// (4 bytes), the number of its positions (1 byte), the bit width of its gaps (1 byte) and then
// every further position as its gap to the one before less one, packed at that width. Dense
// lists (a trigram in most names) take a bit or two per position, sparse ones about the
// logarithm of their gaps. A block's size follows from its head, so that an intersection can
// skip the blocks it does not need without decoding them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mv32::engine::store::postings {

inline constexpr size_t kBlock = 128;
inline constexpr size_t kBlockHead = 6;

// Appends the block of the positions p[0..n): 1 <= n <= kBlock, strictly ascending.
void appendBlock(std::string& out, const uint32_t* p, size_t n);

// Reads a list block by block. Malformed data (a block running past the end, a position
// past 32 bits) ends the list with `malformed()` set instead of reading out of bounds.
class Reader {
public:
    explicit Reader(std::string_view list) : data_(list) { readHead(); }

    bool atEnd() const { return at_ >= data_.size() || malformed_; }
    bool malformed() const { return malformed_; }
    // The first position of the current block, and of the block after it (UINT64_MAX when it
    // is the last one).
    uint64_t first() const { return first_; }
    uint64_t nextFirst() const;
    // Moves to the next block without decoding this one.
    void skip();
    // Appends the current block's positions to `out` and moves to the next block.
    void decode(std::vector<uint32_t>& out);

private:
    void readHead();
    static size_t blockSize(size_t count, unsigned width);

    std::string_view data_;
    size_t at_ = 0;
    uint64_t first_ = 0;
    size_t count_ = 0;
    unsigned width_ = 0;
    size_t size_ = 0;
    bool malformed_ = false;
};

// Every position of `list`; false when it is malformed.
bool decodeAll(std::string_view list, std::vector<uint32_t>& out);

// Keeps those of the ascending `candidates` that are in `list`, decoding only the blocks
// whose range holds a candidate; false when the list is malformed.
bool intersect(std::vector<uint32_t>& candidates, std::string_view list);

}  // namespace mv32::engine::store::postings
