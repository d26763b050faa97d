// An order-statistic B+-tree over the pages of one file of a table.
//
// Entries are byte strings ordered by memcmp (see KeyCodec); keys are unique, so two entries
// never share their key part. Inner nodes hold truncated separator keys and, for every child,
// the number of entries below it, which makes "entry n" and "position of this entry" O(log n).
//
//   inner:   [c0|n0] k1 [c1|n1] k2 [c2|n2]      every entry under c(i) is < k(i+1) <= every
//                                               entry under c(i+1); n(i) counts the entries
//   leaves:  e e e e | e e e | e e e e e        under c(i)
//
// Invariants: every node but the root holds at least one entry (leaf) or separator (inner);
// levels decrease by one from the root (height h) to the leaves (0); the file header's
// `entries` equals the root's total.
//
// A TreePos is a path from the root to a leaf slot. It is valid only until the tree changes;
// callers keep the entry (a key) and seek again after a change.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/store/Node.h"
#include "engine/store/Pager.h"

namespace mv32::engine::store {

struct PathElem {
    NodePtr node;
    size_t idx;  // leaf: slot; inner: child
};

struct TreePos {
    std::vector<PathElem> path;
    bool atEntry() const { return !path.empty() && path.back().idx < path.back().node->size(); }
};

class BTree {
public:
    BTree(Pager& pager, uint32_t no, const NodeCodec& codec) : p_(pager), no_(no), codec_(codec) {}

    uint32_t fileNo() const { return no_; }
    // While streaming, leaves that are not cached are read into a scratch node instead of the
    // cache (see Pager::peekNode): a pass over the whole tree does not push out the pages
    // other work needs. Positions then stay valid only until the next move.
    void setStreaming(bool on) {
        streaming_ = on;
        hint_.clear();  // it may hold a leaf read past the cache
        if (!on) scratch_.reset();
    }
    const NodeCodec& codec() const { return codec_; }
    uint64_t count() const { return p_.header(no_).entries; }
    // Whether the tree's pages, decoded, would take more than half of the page cache.
    bool largerThanCache() const {
        return uint64_t{p_.header(no_).pageCount} * kPageSize * 2 > cacheLimit() / 2;
    }

    // Positions at the first entry >= probe. False when there is none (pos is then at the end).
    bool seek(TreePos& pos, std::string_view probe);
    // Positions at entry n (0-based) of the tree order.
    bool seekIndex(TreePos& pos, uint64_t n);
    bool first(TreePos& pos) { return seekIndex(pos, 0); }
    bool last(TreePos& pos);
    bool next(TreePos& pos);
    bool prev(TreePos& pos);
    uint64_t indexOf(const TreePos& pos) const;
    std::string_view entry(const TreePos& pos) const {
        return pos.path.back().node->entry(pos.path.back().idx);
    }

    // Finds the entry whose bytes begin with `key` where key is a whole key part.
    bool find(TreePos& pos, std::string_view key);

    // Modifications, inside a write transaction.
    // Inserts the entry; with uniquePrefix > 0 it refuses (returns false, changing nothing)
    // when a neighbour shares the entry's first uniquePrefix bytes. `ends` (when known): where
    // the entry's fields end.
    bool insert(std::string_view entry, size_t uniquePrefix = 0, const uint32_t* ends = nullptr);
    // Removes the entry that begins with `key` (a whole key part); false when there is none.
    bool erase(std::string_view key);
    // Replaces the entry that begins with `key` by `entry`, which has the same key part.
    bool replace(std::string_view key, std::string_view entry);
    // Frees every page of the tree but the root, which becomes an empty leaf.
    void clear();

    // Walks the whole tree and checks order, counts, levels and the header; throws a
    // corruption error naming the file. Returns the number of entries.
    uint64_t check(std::vector<uint32_t>* pages);

    static std::string separator(std::string_view left, std::string_view right);

private:
    friend class PositionReader;
    // To the probe's leaf slot: along the kept path when the probe belongs into its leaf, else
    // from the root.
    void descend(TreePos& pos, std::string_view probe);
    void descendFromRoot(TreePos& pos, std::string_view probe);
    NodePtr child(const NodePtr& parent, size_t c);
    void descendEdge(TreePos& pos, bool rightmost);
    void adjustCounts(TreePos& pos, int64_t delta);
    void splitIfNeeded(TreePos& pos, size_t level);
    // The steps of a split: where (entries added at either end fill a node completely), the
    // upper half into a new node with the separator for the parent, a new root above the two.
    size_t splitPoint(Node& n, size_t changed);
    NodePtr splitAt(Node& n, size_t k, std::string& sep);
    void growRoot(const NodePtr& left, const NodePtr& right, const std::string& sep);
    void rebalance(TreePos& pos, size_t level);
    void setRoot(uint32_t page);

    Pager& p_;
    uint32_t no_;
    const NodeCodec& codec_;
    // Whether the entry belongs into the leaf of hint_; sets its slot there.
    bool hintedSlot(std::string_view e, size_t& slot) const;

    // The last descent, or the path of the last insert that split no page, kept so that an
    // insert right after a search that missed, or after an insert nearby, needs no descent.
    // It holds its nodes, which keeps them from being evicted; every change of the tree but
    // such an insert makes it void (stamp_), and so does a cache reload (the generation).
    std::vector<PathElem> hint_;
    uint64_t hintStamp_ = 0;
    uint64_t hintGeneration_ = 0;
    uint64_t stamp_ = 1;
    uint64_t splits_ = 0;  // pages split so far
    bool streaming_ = false;
    NodePtr scratch_;
};

// A pass over the whole tree in order: a tree larger than the cache streams its leaves past the
// cache for as long as the pass lasts (a smaller one is read into the cache, so that the next
// search finds it there).
class StreamingPass {
public:
    explicit StreamingPass(BTree& t) : t_(t) { t_.setStreaming(t_.largerThanCache()); }
    ~StreamingPass() { t_.setStreaming(false); }
    StreamingPass(const StreamingPass&) = delete;
    StreamingPass& operator=(const StreamingPass&) = delete;

private:
    BTree& t_;
};

// Reads the entries at ascending positions of a tree (the candidates of a trigram index) in one
// pass forward: a leaf that is not cached is read past the cache, and of it only the entries
// asked for are put together (NodeCodec::decodeSelected). For candidates spread over a tree
// larger than the cache, where nearly every leaf holds a few of them.
class PositionReader {
public:
    PositionReader(BTree& t, const std::vector<uint32_t>& positions)
        : t_(t), positions_(positions) {}
    // The entry at positions[i], valid until the next call; calls come with i ascending. False
    // when the tree has no entry there.
    bool read(size_t i, std::string_view& entry);

private:
    void load(size_t i);

    BTree& t_;
    const std::vector<uint32_t>& positions_;
    NodePtr leaf_, scratch_;
    bool whole_ = false;            // the cached leaf, else only the entries of wanted_
    uint64_t first_ = 0, end_ = 0;  // the positions the leaf holds
    size_t from_ = 0;               // the index into positions_ of the leaf's first wanted entry
    std::vector<uint16_t> wanted_;
};

// Builds a tree from entries given in ascending order, writing each finished page straight to
// the log (Pager::writeImage); used for packing, rebuilding and adding indexes.
class TreeBuilder {
public:
    TreeBuilder(Pager& pager, uint32_t no, const NodeCodec& codec, double fill = 0.9);
    void add(std::string_view entry);
    // Writes the remaining nodes; returns the root page and sets the entry count.
    uint32_t finish(uint64_t* entries);

private:
    struct Level {
        Node node;
    };
    void push(size_t level, const std::string& sep, uint32_t finishedPage, uint64_t finishedCount,
              uint32_t newPage);
    void writeNode(Node& n);
    void startLevel(size_t level, uint32_t firstChild);

    Pager& p_;
    uint32_t no_;
    const NodeCodec& codec_;
    size_t limit_;
    std::vector<Level> levels_;
    uint64_t entries_ = 0;
};

}  // namespace mv32::engine::store
