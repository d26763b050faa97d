#include "engine/store/BTree.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "engine/store/Coding.h"
#include "engine/store/Format.h"

namespace mv32::engine::store {

namespace {

int compareBytes(std::string_view a, std::string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (c) return c;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

}  // namespace

std::string BTree::separator(std::string_view left, std::string_view right) {
    size_t i = 0;
    size_t n = left.size() < right.size() ? left.size() : right.size();
    while (i < n && left[i] == right[i]) ++i;
    return std::string(right.substr(0, i + 1 <= right.size() ? i + 1 : right.size()));
}

NodePtr BTree::child(const NodePtr& parent, size_t c) {
    auto n = streaming_ && parent->level == 1 ? p_.peekNode(no_, parent->children[c], scratch_)
                                              : p_.node(no_, parent->children[c]);
    if (n->level + 1 != parent->level) {
        throwCorrupt(p_.pathOf(no_),
                     "Baumebenen der Seite " + std::to_string(n->page) + " widersprüchlich");
    }
    return n;
}

void BTree::descend(TreePos& pos, std::string_view probe) {
    // A search or insert near the one before ends in the same leaf: the path kept from that
    // one leads there without comparing the probe with the inner nodes' keys.
    size_t slot = 0;
    if (!streaming_ && hintedSlot(probe, slot)) {
        pos.path = hint_;
        pos.path.back().idx = slot;
        return;
    }
    descendFromRoot(pos, probe);
}

void BTree::descendFromRoot(TreePos& pos, std::string_view probe) {
    pos.path.clear();
    pos.path.reserve(4);
    NodePtr n = p_.node(no_, p_.header(no_).root);
    while (!n->leaf()) {
        if (pos.path.size() >= static_cast<size_t>(kMaxTreeHeight)) {
            throwCorrupt(p_.pathOf(no_), "Baum zu tief");
        }
        size_t lo = 0, hi = n->size();
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            if (compareBytes(n->entry(mid), probe) <= 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        pos.path.push_back({n, lo});
        n = child(n, lo);
    }
    size_t lo = 0, hi = n->size();
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (compareBytes(n->entry(mid), probe) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    pos.path.push_back({n, lo});
    if (streaming_) return;  // a leaf read past the cache is no place to insert into
    hint_ = pos.path;
    hintStamp_ = stamp_;
    hintGeneration_ = p_.generation();
}

void BTree::descendEdge(TreePos& pos, bool rightmost) {
    NodePtr n = child(pos.path.back().node, pos.path.back().idx);
    while (!n->leaf()) {
        if (pos.path.size() >= static_cast<size_t>(kMaxTreeHeight)) {
            throwCorrupt(p_.pathOf(no_), "Baum zu tief");
        }
        size_t c = rightmost ? n->children.size() - 1 : 0;
        pos.path.push_back({n, c});
        n = child(n, c);
    }
    if (n->size() == 0) throwCorrupt(p_.pathOf(no_), "leere Blattseite " + std::to_string(n->page));
    pos.path.push_back({n, rightmost ? n->size() - 1 : 0});
}

bool BTree::seek(TreePos& pos, std::string_view probe) {
    descend(pos, probe);
    if (pos.atEntry()) return true;
    return next(pos);
}

bool BTree::find(TreePos& pos, std::string_view key) {
    if (!seek(pos, key)) return false;
    std::string_view e = entry(pos);
    return e.size() >= key.size() && std::memcmp(e.data(), key.data(), key.size()) == 0;
}

bool BTree::seekIndex(TreePos& pos, uint64_t n) {
    pos.path.clear();
    if (n >= count()) {
        if (!last(pos)) return false;
        pos.path.back().idx = pos.path.back().node->size();
        return false;
    }
    NodePtr node = p_.node(no_, p_.header(no_).root);
    while (!node->leaf()) {
        if (pos.path.size() >= static_cast<size_t>(kMaxTreeHeight)) {
            throwCorrupt(p_.pathOf(no_), "Baum zu tief");
        }
        size_t c = 0;
        while (c + 1 < node->children.size() && n >= node->counts[c]) {
            n -= node->counts[c];
            ++c;
        }
        pos.path.push_back({node, c});
        node = child(node, c);
    }
    if (n >= node->size()) throwCorrupt(p_.pathOf(no_), "Eintragszähler stimmen nicht");
    pos.path.push_back({node, static_cast<size_t>(n)});
    return true;
}

bool PositionReader::read(size_t i, std::string_view& entry) {
    const uint64_t n = positions_[i];
    if (n >= t_.count()) return false;
    if (!leaf_ || n < first_ || n >= end_) load(i);
    if (whole_) {
        entry = leaf_->entry(static_cast<size_t>(n - first_));
        return true;
    }
    // Only the wanted entries were put together; positions that were not ascending after all
    // find their leaf again.
    size_t k = i - from_;
    if (i < from_ || k >= wanted_.size() || first_ + wanted_[k] != n) {
        load(i);
        if (whole_) {
            entry = leaf_->entry(static_cast<size_t>(n - first_));
            return true;
        }
        k = 0;
    }
    entry = leaf_->entry(k);
    return true;
}

void PositionReader::load(size_t i) {
    uint64_t n = positions_[i];
    NodePtr node = t_.p_.node(t_.no_, t_.p_.header(t_.no_).root);
    first_ = 0;
    if (node->leaf()) {
        leaf_ = node;
        whole_ = true;
        end_ = node->size();
        return;
    }
    size_t depth = 0;
    for (;;) {
        if (++depth > static_cast<size_t>(kMaxTreeHeight)) {
            throwCorrupt(t_.p_.pathOf(t_.no_), "Baum zu tief");
        }
        size_t c = 0;
        while (c + 1 < node->children.size() && n >= node->counts[c]) {
            n -= node->counts[c];
            first_ += node->counts[c];
            ++c;
        }
        if (node->level > 1) {
            node = t_.child(node, c);
            continue;
        }
        end_ = first_ + node->counts[c];
        from_ = i;
        wanted_.clear();
        uint64_t last = 0;
        for (size_t j = i; j < positions_.size() && positions_[j] < end_; ++j) {
            if (j > i && positions_[j] <= last) break;
            last = positions_[j];
            wanted_.push_back(static_cast<uint16_t>(last - first_));
        }
        size_t count = 0;
        leaf_ = t_.p_.peekSelected(t_.no_, node->children[c], wanted_, scratch_, whole_, count);
        if (count != node->counts[c] || (whole_ && !leaf_->leaf())) {
            throwCorrupt(t_.p_.pathOf(t_.no_), "Eintragszähler stimmen nicht");
        }
        return;
    }
}

bool BTree::last(TreePos& pos) {
    pos.path.clear();
    NodePtr n = p_.node(no_, p_.header(no_).root);
    if (n->leaf()) {
        pos.path.push_back({n, n->size() ? n->size() - 1 : 0});
        return n->size() > 0;
    }
    pos.path.push_back({n, n->children.size() - 1});
    descendEdge(pos, true);
    return true;
}

bool BTree::next(TreePos& pos) {
    auto& leaf = pos.path.back();
    if (leaf.idx + 1 < leaf.node->size()) {
        ++leaf.idx;
        return true;
    }
    for (size_t d = pos.path.size() - 1; d > 0; --d) {
        auto& pe = pos.path[d - 1];
        if (pe.idx + 1 < pe.node->children.size()) {
            ++pe.idx;
            pos.path.resize(d);
            descendEdge(pos, false);
            return true;
        }
    }
    leaf.idx = leaf.node->size();
    return false;
}

bool BTree::prev(TreePos& pos) {
    auto& leaf = pos.path.back();
    if (leaf.idx > 0) {
        if (leaf.idx > leaf.node->size()) leaf.idx = leaf.node->size();
        --leaf.idx;
        return true;
    }
    for (size_t d = pos.path.size() - 1; d > 0; --d) {
        auto& pe = pos.path[d - 1];
        if (pe.idx > 0) {
            --pe.idx;
            pos.path.resize(d);
            descendEdge(pos, true);
            return true;
        }
    }
    return false;
}

uint64_t BTree::indexOf(const TreePos& pos) const {
    uint64_t n = 0;
    for (size_t d = 0; d + 1 < pos.path.size(); ++d) {
        const auto& pe = pos.path[d];
        for (size_t c = 0; c < pe.idx; ++c) n += pe.node->counts[c];
    }
    return n + pos.path.back().idx;
}

void BTree::adjustCounts(TreePos& pos, int64_t delta) {
    for (size_t d = 0; d + 1 < pos.path.size(); ++d) {
        auto& pe = pos.path[d];
        p_.touch(no_, pe.node);
        codec_.setCount(
            *pe.node, pe.idx,
            static_cast<uint64_t>(static_cast<int64_t>(pe.node->counts[pe.idx]) + delta));
    }
    p_.mutableHeader(no_).entries = static_cast<uint64_t>(static_cast<int64_t>(count()) + delta);
}

void BTree::setRoot(uint32_t page) {
    p_.mutableHeader(no_).root = page;
}

bool BTree::hintedSlot(std::string_view e, size_t& slot) const {
    if (hintStamp_ != stamp_ || hintGeneration_ != p_.generation() || hint_.empty()) return false;
    const Node& leaf = *hint_.back().node;
    size_t lo = 0, hi = leaf.size();
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (compareBytes(leaf.entry(mid), e) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    slot = lo;
    if (lo > 0 && lo < leaf.size()) return true;
    if (leaf.size() == 0) return hint_.size() == 1;  // only the root may be an empty leaf
    // Before the leaf's first entry or after its last, the entry still belongs to the leaf when
    // it lies within the separators around the leaf (the nearest ancestor's that has one; at
    // the tree's left or right edge there is none).
    for (size_t d = hint_.size() - 1; d-- > 0;) {
        const PathElem& pe = hint_[d];
        if (lo == 0 && pe.idx > 0) return compareBytes(pe.node->entry(pe.idx - 1), e) <= 0;
        if (lo > 0 && pe.idx < pe.node->size()) return compareBytes(pe.node->entry(pe.idx), e) > 0;
    }
    return true;
}

bool BTree::insert(std::string_view e, size_t uniquePrefix, const uint32_t* ends) {
    TreePos pos;
    // After a search that missed, or after an insert that split no page, the entry usually
    // belongs into the leaf that one ended in: then that path is the insert position.
    size_t slot = 0;
    if (hintedSlot(e, slot)) {
        pos.path = std::move(hint_);
        pos.path.back().idx = slot;
    } else {
        descendFromRoot(pos, e);
    }
    hint_.clear();
    ++stamp_;
    auto& le = pos.path.back();
    if (uniquePrefix) {
        auto same = [&](std::string_view o) {
            return o.size() >= uniquePrefix && std::memcmp(o.data(), e.data(), uniquePrefix) == 0;
        };
        if (le.idx < le.node->size() && same(le.node->entry(le.idx))) return false;
        if (le.idx > 0) {
            if (same(le.node->entry(le.idx - 1))) return false;
        } else {
            TreePos before = pos;
            if (prev(before) && same(entry(before))) return false;
        }
        if (le.idx == le.node->size()) {
            TreePos after = pos;
            if (next(after) && same(entry(after))) return false;
        }
    }
    p_.touch(no_, le.node);
    codec_.insertEntry(*le.node, le.idx, e, 0, ends);
    adjustCounts(pos, 1);
    const uint64_t splits = splits_;
    splitIfNeeded(pos, pos.path.size() - 1);
    // A count that needs one more byte can make an inner node overflow by itself.
    for (size_t d = pos.path.size() - 1; d-- > 0;) {
        if (pos.path[d].node->encSize > kNodeCapacity) splitIfNeeded(pos, d);
    }
    // Without a split the path still leads to the leaf, for the next insert.
    if (splits == splits_) {
        hint_ = std::move(pos.path);
        hintStamp_ = stamp_;
        hintGeneration_ = p_.generation();
    }
    return true;
}

bool BTree::erase(std::string_view key) {
    TreePos pos;
    if (!find(pos, key)) return false;
    ++stamp_;
    auto& le = pos.path.back();
    p_.touch(no_, le.node);
    const Slot& s = le.node->slots[le.idx];
    if (s.ovfl) p_.freeOverflow(no_, s.ovfl, s.len);
    codec_.eraseEntry(*le.node, le.idx);
    adjustCounts(pos, -1);
    rebalance(pos, pos.path.size() - 1);
    return true;
}

bool BTree::replace(std::string_view key, std::string_view e) {
    TreePos pos;
    if (!find(pos, key)) return false;
    ++stamp_;
    auto& le = pos.path.back();
    p_.touch(no_, le.node);
    const Slot& s = le.node->slots[le.idx];
    if (s.ovfl) p_.freeOverflow(no_, s.ovfl, s.len);
    codec_.replaceEntry(*le.node, le.idx, e);
    splitIfNeeded(pos, pos.path.size() - 1);
    return true;
}

void BTree::splitIfNeeded(TreePos& pos, size_t d) {
    NodePtr n = pos.path[d].node;
    if (n->encSize <= kNodeCapacity) return;
    if (n->size() < 2 && n->leaf()) throw std::logic_error("Eintrag zu groß für eine Seite");
    size_t k = splitPoint(*n, pos.path[d].idx);
    std::string sep;
    NodePtr r = splitAt(*n, k, sep);
    if (d == 0) {
        growRoot(n, r, sep);
        return;
    }
    auto& parent = pos.path[d - 1];
    p_.touch(no_, parent.node);
    codec_.setCount(*parent.node, parent.idx, n->total());
    codec_.insertEntry(*parent.node, parent.idx, sep);
    codec_.insertChild(*parent.node, parent.idx + 1, r->page, r->total());
    splitIfNeeded(pos, d - 1);
}

size_t BTree::splitPoint(Node& n, size_t changed) {
    const size_t count = n.size();
    // Coded sizes of both halves for a split before entry k (leaf) or around key k (inner),
    // from the entries' cached costs; the entry that starts the right half is then coded on
    // its own, which is the one cost computed here.
    std::vector<size_t> keyPrefix(count + 1, 0), childPrefix(n.children.size() + 1, 0);
    for (size_t i = 0; i < count; ++i) keyPrefix[i + 1] = keyPrefix[i] + n.slots[i].cost;
    for (size_t i = 0; i < n.children.size(); ++i) {
        childPrefix[i + 1] =
            childPrefix[i] + varintLength(n.children[i]) + varintLength(n.counts[i]);
    }
    const size_t children = n.children.size();
    auto leftSize = [&](size_t k) {
        return n.leaf() ? keyPrefix[k] : keyPrefix[k] + childPrefix[k + 1];
    };
    auto rightSize = [&](size_t k) {
        if (n.leaf()) return codec_.aloneCost(n, k) + keyPrefix[count] - keyPrefix[k + 1];
        size_t keys =
            k + 1 < count ? codec_.aloneCost(n, k + 1) + keyPrefix[count] - keyPrefix[k + 2] : 0;
        return keys + childPrefix[children] - childPrefix[k + 1];
    };
    auto fits = [&](size_t k) {
        return leftSize(k) <= kNodeCapacity && rightSize(k) <= kNodeCapacity;
    };

    // Entries added in ascending order fill the left node completely; in descending order,
    // the right one.
    if (n.leaf() && changed + 1 == count && fits(count - 1)) return count - 1;
    if (n.leaf() && changed == 0 && count > 2 && fits(1)) return 1;
    // Else the middle by size, or the nearest split point to it that fits both halves.
    const size_t lo = 1, hi = n.leaf() ? count - 1 : count - 2;
    size_t mid = lo;
    while (mid < hi && leftSize(mid) < n.encSize / 2) ++mid;
    for (size_t dist = 0; dist <= hi - lo; ++dist) {
        if (mid >= lo + dist && fits(mid - dist)) return mid - dist;
        if (mid + dist <= hi && fits(mid + dist)) return mid + dist;
    }
    throw std::logic_error("kein Teilungspunkt");
}

NodePtr BTree::splitAt(Node& n, size_t k, std::string& sep) {
    ++splits_;
    const size_t count = n.size();
    NodePtr r = p_.newNode(no_, n.level);
    size_t first = n.leaf() ? k : k + 1;
    r->arena.reserve(n.arena.size() / 2 + 64);
    for (size_t i = first; i < count; ++i) {
        const Slot& sl = n.slots[i];
        auto off = static_cast<uint32_t>(r->arena.size());
        r->arena.append(n.arena, sl.off, sl.len);
        r->slots.push_back(Slot{off, sl.len, sl.ovfl, sl.cost});
    }
    if (!r->slots.empty()) r->slots[0].cost = static_cast<uint32_t>(codec_.aloneCost(*r, 0));
    if (n.leaf()) {
        sep = separator(n.entry(k - 1), n.entry(k));
        n.slots.resize(k);
    } else {
        // The key between the halves moves up into the parent.
        r->children.assign(n.children.begin() + static_cast<ptrdiff_t>(k + 1), n.children.end());
        r->counts.assign(n.counts.begin() + static_cast<ptrdiff_t>(k + 1), n.counts.end());
        sep.assign(n.entry(k));
        if (n.slots[k].ovfl) p_.freeOverflow(no_, n.slots[k].ovfl, n.slots[k].len);
        n.slots.resize(k);
        n.children.resize(k + 1);
        n.counts.resize(k + 1);
    }
    codec_.resum(*r);
    codec_.resum(n);
    n.garbage = n.arena.size();
    for (auto& sl : n.slots) n.garbage -= sl.len;
    codec_.compact(n);
    if (n.encSize > kNodeCapacity || r->encSize > kNodeCapacity) {
        throw std::logic_error("Teilung einer Seite misslungen");
    }
    return r;
}

void BTree::growRoot(const NodePtr& left, const NodePtr& right, const std::string& sep) {
    NodePtr root = p_.newNode(no_, static_cast<uint8_t>(left->level + 1));
    root->children = {left->page, right->page};
    root->counts = {left->total(), right->total()};
    root->slots.push_back(Slot{0, static_cast<uint32_t>(sep.size()), 0, 0});
    root->arena = sep;
    codec_.recompute(*root);
    setRoot(root->page);
}

void BTree::rebalance(TreePos& pos, size_t d) {
    NodePtr n = pos.path[d].node;
    if (d == 0) {
        while (!n->leaf() && n->size() == 0) {
            NodePtr c = child(n, 0);
            setRoot(c->page);
            p_.freeNode(no_, n);
            n = c;
        }
        return;
    }
    bool emptyLeaf = n->leaf() && n->size() == 0;
    if (!emptyLeaf && n->encSize >= kNodeCapacity / 4) return;
    auto& parent = pos.path[d - 1];
    NodePtr pn = parent.node;
    size_t c = parent.idx;
    p_.touch(no_, pn);
    auto removeChild = [&](size_t x) {
        size_t keyIdx = x > 0 ? x - 1 : 0;
        if (pn->size() > 0) {
            const Slot& s = pn->slots[keyIdx];
            if (s.ovfl) p_.freeOverflow(no_, s.ovfl, s.len);
            codec_.eraseEntry(*pn, keyIdx);
        }
        codec_.eraseChild(*pn, x);
    };
    if (emptyLeaf) {
        p_.freeNode(no_, n);
        removeChild(c);
        rebalance(pos, d - 1);
        return;
    }
    if (pn->children.size() < 2) {
        rebalance(pos, d - 1);
        return;
    }
    size_t li = c + 1 < pn->children.size() ? c : c - 1;
    size_t ri = li + 1;
    NodePtr left = li == c ? n : child(pn, li);
    NodePtr right = ri == c ? n : child(pn, ri);
    // Build the merged node and keep it only when it fits one page.
    Node merged;
    merged.level = left->level;
    merged.arena.reserve(left->arena.size() + right->arena.size() + 64);
    auto take = [&](const Node& src, size_t i) {
        const Slot& s = src.slots[i];
        auto off = static_cast<uint32_t>(merged.arena.size());
        merged.arena.append(src.arena, s.off, s.len);
        merged.slots.push_back(Slot{off, s.len, s.ovfl, 0});
    };
    for (size_t i = 0; i < left->size(); ++i) take(*left, i);
    if (!left->leaf()) {
        std::string_view sep = pn->entry(li);
        auto off = static_cast<uint32_t>(merged.arena.size());
        merged.arena.append(sep);
        merged.slots.push_back(Slot{off, static_cast<uint32_t>(sep.size()), 0, 0});
        merged.children = left->children;
        merged.counts = left->counts;
        merged.children.insert(merged.children.end(), right->children.begin(),
                               right->children.end());
        merged.counts.insert(merged.counts.end(), right->counts.begin(), right->counts.end());
    }
    for (size_t i = 0; i < right->size(); ++i) take(*right, i);
    codec_.recompute(merged);
    if (merged.encSize > kNodeCapacity) return;
    p_.touch(no_, left);
    left->slots = std::move(merged.slots);
    left->arena = std::move(merged.arena);
    left->children = std::move(merged.children);
    left->counts = std::move(merged.counts);
    left->encSize = merged.encSize;
    left->garbage = 0;
    uint64_t total = pn->counts[li] + pn->counts[ri];
    p_.freeNode(no_, right);
    removeChild(ri);
    codec_.setCount(*pn, li, total);
    rebalance(pos, d - 1);
}

void BTree::clear() {
    ++stamp_;
    std::vector<uint32_t> pages;
    std::vector<NodePtr> stack{p_.node(no_, p_.header(no_).root)};
    while (!stack.empty()) {
        NodePtr n = stack.back();
        stack.pop_back();
        for (size_t i = 0; i < n->size(); ++i) {
            if (n->slots[i].ovfl) p_.freeOverflow(no_, n->slots[i].ovfl, n->slots[i].len);
        }
        if (!n->leaf()) {
            for (size_t c = 0; c < n->children.size(); ++c) stack.push_back(child(n, c));
        }
        p_.freeNode(no_, n);
    }
    NodePtr root = p_.newNode(no_, 0);
    codec_.recompute(*root);
    auto& h = p_.mutableHeader(no_);
    h.root = root->page;
    h.entries = 0;
}

uint64_t BTree::check(std::vector<uint32_t>* pages) {
    const std::string path = p_.pathOf(no_);
    uint64_t total = 0;
    std::string prevEntry;
    bool havePrev = false;
    // Depth-first, left to right, so leaves come in key order.
    std::function<uint64_t(uint32_t, int, std::string_view, bool, std::string_view, bool)> walk =
        [&](uint32_t page, int level, std::string_view lo, bool hasLo, std::string_view hi,
            bool hasHi) -> uint64_t {
        NodePtr n = p_.node(no_, page);
        if (pages) pages->push_back(page);
        if (level >= 0 && n->level != level)
            throwCorrupt(path, "Ebene der Seite " + std::to_string(page) + " falsch");
        for (size_t i = 0; i < n->size(); ++i) {
            if (n->slots[i].ovfl && pages) {
                uint32_t p = n->slots[i].ovfl;
                size_t guard = n->slots[i].len / kOverflowCapacity + 2;
                while (p) {
                    if (guard-- == 0) throwCorrupt(path, "Überlaufkette zu lang");
                    pages->push_back(p);
                    std::string o = p_.readPage(no_, p, PageType::Overflow);
                    p = get32(reinterpret_cast<const unsigned char*>(o.data()) + kPageHeaderSize);
                }
            }
            std::string_view e = n->entry(i);
            if ((hasLo && compareBytes(e, lo) < 0) || (hasHi && compareBytes(e, hi) >= 0)) {
                throwCorrupt(path, "Schlüssel der Seite " + std::to_string(page) +
                                       " außerhalb ihres Bereichs");
            }
            if (i > 0 && compareBytes(n->entry(i - 1), e) >= 0) {
                throwCorrupt(path,
                             "Schlüssel der Seite " + std::to_string(page) + " nicht geordnet");
            }
        }
        if (n->leaf()) {
            if (n->size() == 0 && page != p_.header(no_).root) {
                throwCorrupt(path, "leere Blattseite " + std::to_string(page));
            }
            for (size_t i = 0; i < n->size(); ++i) {
                if (havePrev && compareBytes(prevEntry, n->entry(i)) >= 0) {
                    throwCorrupt(path, "Einträge nicht geordnet");
                }
                prevEntry.assign(n->entry(i));
                havePrev = true;
            }
            return n->size();
        }
        if (n->children.size() != n->size() + 1)
            throwCorrupt(path, "Seite " + std::to_string(page) + " unvollständig");
        uint64_t sum = 0;
        for (size_t c = 0; c < n->children.size(); ++c) {
            std::string clo = c > 0 ? std::string(n->entry(c - 1)) : std::string(lo);
            std::string chi = c < n->size() ? std::string(n->entry(c)) : std::string(hi);
            uint64_t got = walk(n->children[c], n->level - 1, clo, c > 0 || hasLo, chi,
                                c < n->size() || hasHi);
            if (got != n->counts[c]) {
                throwCorrupt(path, "Eintragszähler der Seite " + std::to_string(page) + " falsch");
            }
            sum += got;
        }
        return sum;
    };
    NodePtr root = p_.node(no_, p_.header(no_).root);
    total = walk(root->page, root->level, {}, false, {}, false);
    if (total != count()) throwCorrupt(path, "Anzahl der Einträge im Dateikopf falsch");
    return total;
}

// --- TreeBuilder -------------------------------------------------------------------------

TreeBuilder::TreeBuilder(Pager& pager, uint32_t no, const NodeCodec& codec, double fill)
    : p_(pager), no_(no), codec_(codec), limit_(static_cast<size_t>(kNodeCapacity * fill)) {}

void TreeBuilder::startLevel(size_t level, uint32_t firstChild) {
    if (levels_.size() <= level) levels_.resize(level + 1);
    Level& l = levels_[level];
    l.node = Node{};
    l.node.level = static_cast<uint8_t>(level);
    l.node.page = p_.allocatePage(no_);
    if (level > 0) {
        l.node.children = {firstChild};
        l.node.counts = {0};
    }
    codec_.recompute(l.node);
}

void TreeBuilder::writeNode(Node& n) {
    p_.assignOverflow(no_, n, true);
    std::string img(kPageSize, '\0');
    codec_.encode(n, reinterpret_cast<unsigned char*>(img.data()));
    p_.writeImage(no_, n.page, std::move(img));
}

void TreeBuilder::add(std::string_view e) {
    if (levels_.empty()) startLevel(0, 0);
    Node& leaf = levels_[0].node;
    if (leaf.size() > 0 && codec_.sizeWith(leaf, leaf.size(), e) > limit_) {
        std::string sep = BTree::separator(leaf.entry(leaf.size() - 1), e);
        uint64_t count = leaf.total();
        uint32_t page = leaf.page;
        writeNode(leaf);
        startLevel(0, 0);
        push(1, sep, page, count, levels_[0].node.page);
    }
    Node& cur = levels_[0].node;
    codec_.insertEntry(cur, cur.size(), e);
    ++entries_;
}

void TreeBuilder::push(size_t level, const std::string& sep, uint32_t finishedPage,
                       uint64_t finishedCount, uint32_t newPage) {
    // finishedPage, on the level below, is complete; newPage follows it, separated by sep.
    if (levels_.size() <= level) startLevel(level, finishedPage);
    Node& pn = levels_[level].node;
    codec_.setCount(pn, pn.children.size() - 1, finishedCount);
    size_t need = codec_.sizeWith(pn, pn.size(), sep) + varintLength(newPage) + 1;
    if (pn.size() > 0 && need > limit_) {
        uint64_t count = pn.total();
        uint32_t page = pn.page;
        writeNode(pn);
        startLevel(level, newPage);
        push(level + 1, sep, page, count, levels_[level].node.page);
        return;
    }
    codec_.insertEntry(pn, pn.size(), sep);
    codec_.insertChild(pn, pn.children.size(), newPage, 0);
}

uint32_t TreeBuilder::finish(uint64_t* entries) {
    *entries = entries_;
    if (levels_.empty()) startLevel(0, 0);
    uint64_t below = 0;
    for (size_t level = 0; level < levels_.size(); ++level) {
        Node& n = levels_[level].node;
        if (level > 0) codec_.setCount(n, n.children.size() - 1, below);
        below = n.total();
        bool top = level + 1 == levels_.size();
        if (top && !n.leaf() && n.size() == 0) {
            // A root with a single child: the child is the root.
            p_.freeUnusedPage(no_, n.page);  // allocated, never written
            return n.children[0];
        }
        writeNode(n);
        if (top) return n.page;
    }
    return levels_.back().node.page;
}

}  // namespace mv32::engine::store
