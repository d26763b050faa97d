#include "engine/store/Node.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <stdexcept>

#include "engine/store/Coding.h"
#include "engine/store/Format.h"
#include "engine/store/LeafDelta.h"

namespace mv32::engine::store {

namespace {

constexpr size_t kMaxLayoutFields = 520;
using Ends = std::array<uint32_t, kMaxLayoutFields>;

size_t genericDeltaCost(std::string_view prev, std::string_view cur) {
    size_t s = sharedPrefix(prev, cur);
    size_t t = cur.size() - s;
    return varintLength(s + 2) + varintLength(t) + t;
}

size_t overflowCost(size_t len) {
    return 1 + varintLength(len) + 4;
}

}  // namespace

uint64_t Node::total() const {
    if (leaf()) return slots.size();
    return std::accumulate(counts.begin(), counts.end(), uint64_t{0});
}

size_t Node::memory() const {
    // Besides the node's own blocks: the allocator's header of each of them and of the shared
    // node, and the cache's map entry and list link that keep the node.
    constexpr size_t kBookkeeping = 5 * 16 + 64 + 32;
    return sizeof(Node) + kBookkeeping + arena.capacity() + slots.capacity() * sizeof(Slot) +
           children.capacity() * sizeof(uint32_t) + counts.capacity() * sizeof(uint64_t);
}

bool NodeCodec::isLong(const Node& n, std::string_view e) const {
    size_t overhead = n.leaf() ? 3 * layout_->kinds.size() : 3;
    return e.size() + overhead > kMaxLocalEntry;
}

size_t NodeCodec::leafDeltaCost(std::string_view prev, std::string_view cur) const {
    Ends ce;
    return leafDeltaSize(*layout_, prev, nullptr, cur, ce.data(), false);
}

size_t NodeCodec::entryCost(const Node& n, std::string_view prev, std::string_view cur,
                            bool isFirst) const {
    if (isLong(n, cur)) return overflowCost(cur.size());
    if (n.leaf()) return leafDeltaCost(isFirst ? std::string_view{} : prev, cur);
    return genericDeltaCost(isFirst ? std::string_view{} : prev, cur);
}

size_t NodeCodec::costAt(const Node& n, size_t i) const {
    return entryCost(n, i ? n.entry(i - 1) : std::string_view{}, n.entry(i), i == 0);
}

size_t NodeCodec::emptySize(const Node& n) const {
    if (n.leaf()) return 0;
    return varintLength(n.children.empty() ? 0 : n.children[0]) +
           varintLength(n.counts.empty() ? 0 : n.counts[0]);
}

void NodeCodec::recompute(Node& n) const {
    for (size_t i = 0; i < n.size(); ++i) n.slots[i].cost = static_cast<uint32_t>(costAt(n, i));
    resum(n);
}

void NodeCodec::resum(Node& n) const {
    size_t size = 0;
    if (!n.leaf()) {
        for (size_t i = 0; i < n.children.size(); ++i) {
            size += varintLength(n.children[i]) + varintLength(n.counts[i]);
        }
    }
    for (auto& s : n.slots) size += s.cost;
    n.encSize = size;
}

size_t NodeCodec::aloneCost(const Node& n, size_t i) const {
    return entryCost(n, {}, n.entry(i), true);
}

size_t NodeCodec::sizeWith(const Node& n, size_t i, std::string_view e) const {
    size_t size = n.encSize;
    std::string_view prev = i ? n.entry(i - 1) : std::string_view{};
    if (i < n.size()) {
        size -= n.slots[i].cost;
        size += entryCost(n, e, n.entry(i), false);
    }
    size += entryCost(n, prev, e, i == 0);
    return size;
}

void NodeCodec::insertEntry(Node& n, size_t i, std::string_view e, uint32_t ovfl,
                            const uint32_t* ends) const {
    if (n.leaf() && !isLong(n, e)) {
        insertLeafEntry(n, i, e, ovfl, ends);
        return;
    }
    std::string_view prev = i ? n.entry(i - 1) : std::string_view{};
    auto cost = static_cast<uint32_t>(entryCost(n, prev, e, i == 0));
    auto off = static_cast<uint32_t>(n.arena.size());
    n.arena.append(e);
    n.slots.insert(n.slots.begin() + static_cast<ptrdiff_t>(i),
                   Slot{off, static_cast<uint32_t>(e.size()), ovfl, cost});
    n.encSize += cost;
    if (i + 1 < n.size()) {
        n.encSize -= n.slots[i + 1].cost;
        n.slots[i + 1].cost = static_cast<uint32_t>(costAt(n, i + 1));
        n.encSize += n.slots[i + 1].cost;
    }
}

void NodeCodec::insertLeafEntry(Node& n, size_t i, std::string_view e, uint32_t ovfl,
                                const uint32_t* ends) const {
    // The new entry's fields are found once (or are known from its encoding), for its own cost
    // and its successor's; the entries beside it are scanned only where they differ from it.
    Ends ce, ne;
    if (ends)
        std::copy(ends, ends + layout_->kinds.size(), ce.begin());
    else if (!splitFields(*layout_, e, ce.data()))
        throw std::logic_error("Eintrag passt nicht zum Aufbau");
    const size_t cost = leafDeltaSize(*layout_, i ? n.entry(i - 1) : std::string_view{}, nullptr, e,
                                      ce.data(), true);
    if (i < n.size()) {
        std::string_view next = n.entry(i);
        const size_t nextCost = isLong(n, next)
                                    ? overflowCost(next.size())
                                    : leafDeltaSize(*layout_, e, ce.data(), next, ne.data(), false);
        n.encSize -= n.slots[i].cost;
        n.slots[i].cost = static_cast<uint32_t>(nextCost);
        n.encSize += nextCost;
    }
    auto off = static_cast<uint32_t>(n.arena.size());
    // Grown by a little room, not doubled: a cached leaf stays near its size.
    if (n.arena.size() + e.size() > n.arena.capacity()) {
        std::string grown;
        grown.reserve(n.arena.size() + e.size() + kNodeSpareBytes);
        grown.append(n.arena);
        grown.append(e);
        n.arena.swap(grown);
    } else {
        n.arena.append(e);
    }
    if (n.slots.size() == n.slots.capacity()) n.slots.reserve(n.slots.size() + kNodeSpareSlots);
    n.slots.insert(n.slots.begin() + static_cast<ptrdiff_t>(i),
                   Slot{off, static_cast<uint32_t>(e.size()), ovfl, static_cast<uint32_t>(cost)});
    n.encSize += cost;
}

void NodeCodec::eraseEntry(Node& n, size_t i) const {
    n.encSize -= n.slots[i].cost;
    if (i + 1 < n.size()) n.encSize -= n.slots[i + 1].cost;
    n.garbage += n.slots[i].len;
    n.slots.erase(n.slots.begin() + static_cast<ptrdiff_t>(i));
    if (i < n.size()) {
        n.slots[i].cost = static_cast<uint32_t>(costAt(n, i));
        n.encSize += n.slots[i].cost;
    }
    compact(n);
}

void NodeCodec::replaceEntry(Node& n, size_t i, std::string_view e) const {
    n.encSize -= n.slots[i].cost;
    if (i + 1 < n.size()) n.encSize -= n.slots[i + 1].cost;
    n.garbage += n.slots[i].len;
    // e may point into the arena: copy before the arena can move.
    std::string copy(e);
    auto off = static_cast<uint32_t>(n.arena.size());
    n.arena.append(copy);
    n.slots[i] = Slot{off, static_cast<uint32_t>(copy.size()), 0, 0};
    n.slots[i].cost = static_cast<uint32_t>(costAt(n, i));
    n.encSize += n.slots[i].cost;
    if (i + 1 < n.size()) {
        n.slots[i + 1].cost = static_cast<uint32_t>(costAt(n, i + 1));
        n.encSize += n.slots[i + 1].cost;
    }
    compact(n);
}

void NodeCodec::insertChild(Node& n, size_t i, uint32_t child, uint64_t count) const {
    n.children.insert(n.children.begin() + static_cast<ptrdiff_t>(i), child);
    n.counts.insert(n.counts.begin() + static_cast<ptrdiff_t>(i), count);
    n.encSize += varintLength(child) + varintLength(count);
}

void NodeCodec::eraseChild(Node& n, size_t i) const {
    n.encSize -= varintLength(n.children[i]) + varintLength(n.counts[i]);
    n.children.erase(n.children.begin() + static_cast<ptrdiff_t>(i));
    n.counts.erase(n.counts.begin() + static_cast<ptrdiff_t>(i));
}

void NodeCodec::setCount(Node& n, size_t i, uint64_t count) const {
    n.encSize = n.encSize - varintLength(n.counts[i]) + varintLength(count);
    n.counts[i] = count;
}

void NodeCodec::setChild(Node& n, size_t i, uint32_t child) const {
    n.encSize = n.encSize - varintLength(n.children[i]) + varintLength(child);
    n.children[i] = child;
}

void NodeCodec::compact(Node& n) const {
    if (n.garbage < 4096 || n.garbage * 2 < n.arena.size()) return;
    std::string fresh;
    fresh.reserve(n.arena.size() - n.garbage);
    for (auto& s : n.slots) {
        auto off = static_cast<uint32_t>(fresh.size());
        fresh.append(n.arena, s.off, s.len);
        s.off = off;
    }
    n.arena.swap(fresh);
    n.garbage = 0;
}

void NodeCodec::encode(const Node& n, unsigned char* page) const {
    if (n.encSize > kNodeCapacity || n.size() > 0xFFFF) {
        throw std::logic_error("Knoten zu groß für eine Seite");
    }
    unsigned char* const start = page + kPageHeaderSize;
    unsigned char* out = start;
    unsigned char* const limit = page + kPageSize;
    auto putVarint = [&](uint64_t v) {
        while (v >= 0x80) {
            if (out >= limit) throw std::logic_error("Knotengröße falsch berechnet");
            *out++ = static_cast<unsigned char>((v & 0x7F) | 0x80);
            v >>= 7;
        }
        if (out >= limit) throw std::logic_error("Knotengröße falsch berechnet");
        *out++ = static_cast<unsigned char>(v);
    };
    auto putBytes = [&](std::string_view b) {
        if (b.size() > static_cast<size_t>(limit - out))
            throw std::logic_error("Knotengröße falsch berechnet");
        std::memcpy(out, b.data(), b.size());
        out += b.size();
    };
    auto putOverflow = [&](size_t i) {
        if (!n.slots[i].ovfl) throw std::logic_error("Überlaufseite fehlt");
        putVarint(1);
        putVarint(n.slots[i].len);
        unsigned char b[4];
        put32(b, n.slots[i].ovfl);
        putBytes({reinterpret_cast<const char*>(b), 4});
    };
    if (n.leaf()) {
        // Each entry's fields are found once, walking it against its predecessor's.
        Ends ends[2];
        bool prevKnown = false;  // the predecessor's field ends are in ends[(i + 1) & 1]
        for (size_t i = 0; i < n.size(); ++i) {
            std::string_view cur = n.entry(i);
            std::string_view prev = i ? n.entry(i - 1) : std::string_view{};
            if (isLong(n, cur)) {
                putOverflow(i);
                prevKnown = false;
                continue;
            }
            walkLeafFields(*layout_, prev, prevKnown ? ends[(i + 1) & 1].data() : nullptr, cur,
                           ends[i & 1].data(), false,
                           [&](bool same, size_t sh, size_t at, size_t length) {
                               if (same) {
                                   putVarint(0);
                                   return;
                               }
                               putVarint(sh + 2);
                               putVarint(length - sh);
                               putBytes(cur.substr(at + sh, length - sh));
                           });
            prevKnown = true;
        }
    } else {
        putVarint(n.children[0]);
        putVarint(n.counts[0]);
        for (size_t i = 0; i < n.size(); ++i) {
            std::string_view cur = n.entry(i);
            if (isLong(n, cur)) {
                putOverflow(i);
            } else {
                size_t sh = i ? sharedPrefix(n.entry(i - 1), cur) : 0;
                putVarint(sh + 2);
                putVarint(cur.size() - sh);
                putBytes(cur.substr(sh));
            }
            putVarint(n.children[i + 1]);
            putVarint(n.counts[i + 1]);
        }
    }
    auto used = static_cast<size_t>(out - start);
    if (used > n.encSize) throw std::logic_error("Knotengröße falsch berechnet");
    page[12] = static_cast<unsigned char>(n.leaf() ? PageType::Leaf : PageType::Inner);
    page[13] = n.level;
    put16(page + 14, static_cast<uint16_t>(n.size()));
    std::memset(out, 0, static_cast<size_t>(limit - out));
}

void NodeCodec::decode(Node& n, const unsigned char* page, const std::string& file,
                       const OverflowReader& readOverflow, bool compact) const {
    auto type = static_cast<PageType>(page[12]);
    n.level = page[13];
    size_t count = get16(page + 14);
    if ((type != PageType::Leaf && type != PageType::Inner) ||
        (type == PageType::Leaf) != (n.level == 0) || n.level > kMaxTreeHeight) {
        throwCorrupt(file, "Seite " + std::to_string(n.page) + " ist kein Baumknoten");
    }
    std::string what = "Seite " + std::to_string(n.page) + " ist beschädigt";
    Reader r(page + kPageHeaderSize, kNodeCapacity, file, what.c_str());
    n.slots.clear();
    n.slots.reserve(count);
    n.arena.clear();
    n.arena.reserve(kPageSize * 2);
    n.children.clear();
    n.counts.clear();
    n.garbage = 0;

    auto child = [&]() {
        uint64_t c = r.varint();
        uint64_t k = r.varint();
        if (c == 0 || c > 0xFFFFFFFFull) r.fail();
        n.children.push_back(static_cast<uint32_t>(c));
        n.counts.push_back(k);
    };
    if (!n.leaf()) child();

    const auto& kinds = layout_->kinds;
    Ends pe, ce;  // field ends of the previous and the current entry, as far as the layout goes
    for (size_t i = 0; i < count; ++i) {
        auto start = static_cast<uint32_t>(n.arena.size());
        uint32_t ovfl = 0;
        const unsigned char* entryStart = r.pos();
        bool fieldsKnown = false;
        uint64_t code = r.varint();
        if (code == 1) {
            uint64_t len = r.varint();
            ovfl = r.u32();
            if (len > (1u << 24) || ovfl == 0) r.fail();
            n.arena.append(readOverflow(ovfl, static_cast<size_t>(len)));
        } else if (!n.leaf()) {
            if (code < 2) r.fail();
            size_t s = static_cast<size_t>(code - 2);
            std::string_view prev = i ? n.entry(i - 1) : std::string_view{};
            if (s > prev.size()) r.fail();
            uint64_t t = r.varint();
            std::string_view add = r.bytes(static_cast<size_t>(t));
            n.arena.reserve(n.arena.size() + s + add.size() + kPageSize);
            n.arena.append(n.arena, prev.empty() ? 0 : n.slots[i - 1].off, s);
            n.arena.append(add);
        } else {
            uint32_t pStart = 0;
            for (size_t j = 0; j < kinds.size(); ++j) {
                uint64_t c = j == 0 ? code : r.varint();
                size_t fieldStart = n.arena.size();
                if (c == 0) {
                    if (!i) r.fail();
                    n.arena.reserve(n.arena.size() + (pe[j] - pStart) + kPageSize);
                    n.arena.append(n.arena, n.slots[i - 1].off + pStart, pe[j] - pStart);
                } else if (c >= 2) {
                    size_t s = static_cast<size_t>(c - 2);
                    size_t prevLen = i ? pe[j] - pStart : 0;
                    if (s > prevLen) r.fail();
                    uint64_t t = r.varint();
                    std::string_view add = r.bytes(static_cast<size_t>(t));
                    n.arena.reserve(n.arena.size() + s + add.size() + kPageSize);
                    if (s) n.arena.append(n.arena, n.slots[i - 1].off + pStart, s);
                    n.arena.append(add);
                } else {
                    r.fail();
                }
                // A field repeated from the entry before was checked there already.
                size_t flen = n.arena.size() - fieldStart;
                const auto* fp =
                    reinterpret_cast<const unsigned char*>(n.arena.data()) + fieldStart;
                if (c != 0 && fieldLength(fp, flen, kinds[j]) != flen) r.fail();
                ce[j] = static_cast<uint32_t>(n.arena.size() - start);
                if (i) pStart = pe[j];
            }
            fieldsKnown = true;
        }
        // An entry costs what it took on the page; the writer's coding is never longer than
        // that, so sizes stay an upper bound even for pages written some other way.
        auto cost = static_cast<uint32_t>(r.pos() - entryStart);
        n.slots.push_back(Slot{start, static_cast<uint32_t>(n.arena.size() - start), ovfl, cost});
        std::string_view cur = n.entry(i);
        if (n.leaf()) {
            if (!fieldsKnown && !splitFields(*layout_, cur, ce.data())) r.fail();
            std::copy_n(ce.begin(), kinds.size(), pe.begin());
        }
        if (!n.leaf()) child();
    }
    resum(n);
    if (n.encSize > kNodeCapacity) r.fail();
    if (compact) {
        n.arena.shrink_to_fit();
        n.slots.shrink_to_fit();
    }
}

size_t NodeCodec::decodeSelected(Node& n, const unsigned char* page, const std::string& file,
                                 const OverflowReader& readOverflow,
                                 const std::vector<uint16_t>& wanted) const {
    n.level = page[13];
    const size_t count = get16(page + 14);
    std::string what = "Seite " + std::to_string(n.page) + " ist beschädigt";
    if (static_cast<PageType>(page[12]) != PageType::Leaf || n.level != 0) {
        throwCorrupt(file, "Seite " + std::to_string(n.page) + " ist keine Blattseite");
    }
    Reader r(page + kPageHeaderSize, kNodeCapacity, file, what.c_str());
    n.slots.clear();
    n.arena.clear();
    n.children.clear();
    n.counts.clear();
    n.garbage = 0;
    if (!wanted.empty() && wanted.back() >= count) r.fail();

    // The fields of the entry at hand, each on its own: an entry changes only the fields that
    // differ from the one before, and a field only past the prefix it shares.
    const auto& kinds = layout_->kinds;
    std::vector<std::string> fields(kinds.size());
    Ends ends;
    size_t next = 0;  // the next wanted slot
    for (size_t i = 0; i < count && next < wanted.size(); ++i) {
        const unsigned char* entryStart = r.pos();
        uint64_t code = r.varint();
        if (code == 1) {
            uint64_t len = r.varint();
            uint32_t ovfl = r.u32();
            if (len > (1u << 24) || ovfl == 0) r.fail();
            std::string e = readOverflow(ovfl, static_cast<size_t>(len));
            if (!splitFields(*layout_, e, ends.data())) r.fail();
            uint32_t from = 0;
            for (size_t j = 0; j < kinds.size(); ++j) {
                fields[j].assign(e, from, ends[j] - from);
                from = ends[j];
            }
        } else {
            for (size_t j = 0; j < kinds.size(); ++j) {
                uint64_t c = j == 0 ? code : r.varint();
                if (c == 0) {
                    if (!i) r.fail();
                    continue;
                }
                if (c < 2) r.fail();
                size_t s = static_cast<size_t>(c - 2);
                if (s > (i ? fields[j].size() : 0)) r.fail();
                std::string_view add = r.bytes(static_cast<size_t>(r.varint()));
                fields[j].resize(s);
                fields[j].append(add);
            }
        }
        if (wanted[next] != i) continue;
        // A wanted entry is checked field by field, as decode checks every entry.
        auto start = static_cast<uint32_t>(n.arena.size());
        for (size_t j = 0; j < kinds.size(); ++j) {
            const auto* fp = reinterpret_cast<const unsigned char*>(fields[j].data());
            if (fieldLength(fp, fields[j].size(), kinds[j]) != fields[j].size()) r.fail();
            n.arena.append(fields[j]);
        }
        n.slots.push_back(Slot{start, static_cast<uint32_t>(n.arena.size() - start), 0,
                               static_cast<uint32_t>(r.pos() - entryStart)});
        ++next;
    }
    return count;
}

}  // namespace mv32::engine::store
