// The field-wise delta coding of leaf entries, walked field by field against the predecessor.
//
// A leaf stores each field of an entry as (shared prefix + 2, length of the rest, rest) after
// the same field of the entry before it, or as one byte 0 when the field equals it. Finding the
// fields of an entry means scanning its texts for their end marks; the walk here scans as little
// as it can: every field encoding is self-delimiting and so prefix-free, hence when one entry's
// field, whose length is known, is found whole at the start of the other's, the two fields are
// equal and the other's need not be scanned. Only a field that differs is scanned, and only from
// where it differs. Inserts in a folder of a scan thus never scan the long folder field again.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "engine/store/Coding.h"
#include "engine/store/KeyCodec.h"
#include "engine/store/SharedBytes.h"

namespace mv32::engine::store {

// Length of the field of kind k at e[start], whose first `same` bytes are known to hold no end
// mark (they equal a longer field's); throws when the entry does not fit its layout.
inline size_t leafFieldLength(std::string_view e, size_t start, size_t same, Kind k) {
    const auto* p = reinterpret_cast<const unsigned char*>(e.data()) + start;
    const size_t avail = e.size() - start;
    size_t n;
    if (same >= 1 && (k == Kind::Text || k == Kind::TextDesc)) {
        const auto mark = static_cast<char>(k == Kind::Text ? 0x00 : 0xFF);
        const void* end = std::memchr(p + same, mark, avail - same);
        n = end ? static_cast<size_t>(static_cast<const unsigned char*>(end) - p) + 1 : kBadField;
    } else {
        n = fieldLength(p, avail, k);
    }
    if (n == kBadField) throw std::logic_error("Eintrag passt nicht zum Aufbau");
    return n;
}

// Walks cur's fields against prev's (prev empty: cur stands first in its leaf). `pe`: prev's
// field ends when known, else null; `ce`: cur's field ends, read when `curKnown`, else filled.
// Calls visit(same, shared, start, length) for each field of cur: `same` when it equals prev's,
// else `shared` bytes at its start equal prev's (0 when cur stands first).
template <class Visit>
void walkLeafFields(const Layout& layout, std::string_view prev, const uint32_t* pe,
                    std::string_view cur, uint32_t* ce, bool curKnown, Visit&& visit) {
    const size_t fields = layout.kinds.size();
    size_t pStart = 0, cStart = 0;
    for (size_t j = 0; j < fields; ++j) {
        const Kind k = layout.kinds[j];
        if (prev.empty()) {
            size_t cl = curKnown ? ce[j] - cStart : leafFieldLength(cur, cStart, 0, k);
            visit(false, size_t{0}, cStart, cl);
            cStart += cl;
            ce[j] = static_cast<uint32_t>(cStart);
            continue;
        }
        // One side whose length is known is looked for at the start of the other.
        const bool fromCur = curKnown || !pe;
        const size_t known = curKnown ? ce[j] - cStart
                             : pe     ? pe[j] - pStart
                                      : leafFieldLength(cur, cStart, 0, k);
        std::string_view a = (fromCur ? cur : prev).substr(fromCur ? cStart : pStart, known);
        std::string_view b = (fromCur ? prev : cur).substr(fromCur ? pStart : cStart, known);
        const size_t s = sharedPrefix(a, b);
        size_t cl = known, pl = known;
        const bool same = s == known;
        if (!same) {
            if (fromCur)
                pl = pe ? pe[j] - pStart : leafFieldLength(prev, pStart, s, k);
            else
                cl = leafFieldLength(cur, cStart, s, k);
        }
        visit(same, s, cStart, cl);
        pStart += pl;
        cStart += cl;
        ce[j] = static_cast<uint32_t>(cStart);
        if (pStart > prev.size()) throw std::logic_error("Eintrag passt nicht zum Aufbau");
    }
    if (cStart != cur.size()) throw std::logic_error("Eintrag passt nicht zum Aufbau");
}

// Coded size of cur after prev in a leaf (see walkLeafFields for the arguments).
inline size_t leafDeltaSize(const Layout& layout, std::string_view prev, const uint32_t* pe,
                            std::string_view cur, uint32_t* ce, bool curKnown) {
    size_t cost = 0;
    walkLeafFields(layout, prev, pe, cur, ce, curKnown,
                   [&](bool same, size_t s, size_t, size_t cl) {
                       cost += same ? 1 : varintLength(s + 2) + varintLength(cl - s) + (cl - s);
                   });
    return cost;
}

}  // namespace mv32::engine::store
