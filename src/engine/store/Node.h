// A B-tree page in its decoded, in-memory form, and the codec between that form and the page.
//
// The page cache holds nodes decoded: every entry is stored whole in one arena, so that searches
// compare entries with memcmp and inserts only move slot records. The coded size of the node is
// kept exact on every change (entries are delta-coded against their predecessor, so an insert
// changes the cost of the entry itself and of its successor), which tells the tree when a node
// must split.
//
// Entries longer than kMaxLocalEntry live in overflow pages; `Slot::ovfl` holds the first page of
// the chain once it is written, 0 while the entry is new or changed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/store/KeyCodec.h"

namespace mv32::engine::store {

// Room a leaf grows by when an insert needs more, and keeps when it is committed.
inline constexpr size_t kNodeSpareBytes = 2048;
inline constexpr size_t kNodeSpareSlots = 32;

struct Slot {
    uint32_t off;
    uint32_t len;
    uint32_t ovfl;
    uint32_t cost;  // coded size of the entry after its predecessor (the first: on its own)
};

class Node {
public:
    uint32_t page = 0;
    uint8_t level = 0;
    bool dirty = false;
    std::vector<Slot> slots;  // leaf: entries; inner: separator keys
    std::string arena;
    std::vector<uint32_t> children;  // inner: slots.size() + 1 child pages
    std::vector<uint64_t> counts;    // inner: entries below each child
    size_t encSize = 0;              // coded size of the data part of the page
    size_t garbage = 0;              // arena bytes no slot refers to

    bool leaf() const { return level == 0; }
    size_t size() const { return slots.size(); }
    std::string_view entry(size_t i) const { return {arena.data() + slots[i].off, slots[i].len}; }
    uint64_t total() const;
    size_t memory() const;
};

// Reads the bytes of an overflow chain: (first page, length) -> bytes.
using OverflowReader = std::function<std::string(uint32_t first, size_t length)>;

class NodeCodec {
public:
    // `layout` describes leaf entries; inner keys are compared and coded as plain bytes.
    explicit NodeCodec(const Layout* layout) : layout_(layout) {}

    const Layout& layout() const { return *layout_; }

    // True when the entry (leaf) or key (inner) is stored in overflow pages.
    bool isLong(const Node& n, std::string_view e) const;

    // Coded size of a fresh node with no entries (and, for inner nodes, one child).
    size_t emptySize(const Node& n) const;
    // Computes every entry's cost and the node's size.
    void recompute(Node& n) const;
    // The node's size from the entries' known costs, after slots were moved as they were.
    void resum(Node& n) const;
    // Coded size of entry i if it stood first in its node.
    size_t aloneCost(const Node& n, size_t i) const;

    // Edits that keep encSize exact. For inner nodes the caller also edits children and counts
    // through the functions below.
    // `ends` (leaf entries, when known): where the entry's fields end.
    void insertEntry(Node& n, size_t i, std::string_view e, uint32_t ovfl = 0,
                     const uint32_t* ends = nullptr) const;
    void eraseEntry(Node& n, size_t i) const;
    void replaceEntry(Node& n, size_t i, std::string_view e) const;
    void insertChild(Node& n, size_t i, uint32_t child, uint64_t count) const;
    void eraseChild(Node& n, size_t i) const;
    void setCount(Node& n, size_t i, uint64_t count) const;
    void setChild(Node& n, size_t i, uint32_t child) const;

    // Size the node would have with `e` inserted at i, without changing it.
    size_t sizeWith(const Node& n, size_t i, std::string_view e) const;

    // Drops arena garbage when it is large.
    void compact(Node& n) const;

    // Writes the page (header fields type, level and count, and the coded data); every long
    // entry must have its overflow page assigned. Checksum, page number and tag are the pager's.
    void encode(const Node& n, unsigned char* page) const;
    // Reads a page into n; throws a corruption error naming `file` when the data is malformed.
    // `compact` gives spare memory back (cached nodes); a scratch node reused for the next
    // page keeps it.
    void decode(Node& n, const unsigned char* page, const std::string& file,
                const OverflowReader& readOverflow, bool compact = true) const;
    // Reads a leaf page as decode does, but puts together only the entries at the slots
    // `wanted` (ascending, each once): they become n's slots, in that order. The entries between
    // them are followed only as far as the delta coding of the next one needs, which costs a
    // fraction of decoding them, for a leaf read for a few of its entries (the candidates of
    // a trigram index). Returns the leaf's entry count; a wanted slot past it is an error.
    size_t decodeSelected(Node& n, const unsigned char* page, const std::string& file,
                          const OverflowReader& readOverflow,
                          const std::vector<uint16_t>& wanted) const;

private:
    size_t entryCost(const Node& n, std::string_view prev, std::string_view cur,
                     bool isFirst) const;
    size_t costAt(const Node& n, size_t i) const;
    size_t leafDeltaCost(std::string_view prev, std::string_view cur) const;
    void insertLeafEntry(Node& n, size_t i, std::string_view e, uint32_t ovfl,
                         const uint32_t* ends) const;

    const Layout* layout_;
};

}  // namespace mv32::engine::store
