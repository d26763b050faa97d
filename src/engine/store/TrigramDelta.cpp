#include "engine/store/TrigramDelta.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "engine/EngineError.h"
#include "engine/PathNames.h"
#include "engine/store/Coding.h"
#include "engine/store/Crc32c.h"
#include "engine/store/Postings.h"

namespace mv32::engine::store {

namespace {

constexpr char kMagic[8] = {'M', 'V', '3', '2', 'T', 'R', 'D', '\0'};
constexpr uint32_t kFormat = 1;
constexpr size_t kHeadSize = 96;
constexpr size_t kCrcFrom = 16;

std::string encoded(const std::vector<uint32_t>& positions) {
    std::string out;
    for (size_t i = 0; i < positions.size(); i += postings::kBlock)
        postings::appendBlock(out, positions.data() + i,
                              std::min(postings::kBlock, positions.size() - i));
    return out;
}

void putState(unsigned char* at, const TableState& s) {
    put64(at, s.tableId);
    put64(at + 8, s.counter);
    put64(at + 16, s.generation);
    put64(at + 24, s.records);
}

TableState getState(const unsigned char* at) {
    return TableState{get64(at), get64(at + 8), get64(at + 16), get64(at + 24)};
}

void put32To(std::string& out, uint32_t v) {
    unsigned char b[4];
    put32(b, v);
    out.append(reinterpret_cast<const char*>(b), sizeof b);
}

// Reads the body of a change file, each piece checked against what is left of it.
class Body {
public:
    Body(const std::string& bytes, size_t at) : bytes_(bytes), at_(at) {}
    bool u32(uint32_t& v) {
        if (bytes_.size() - at_ < 4) return false;
        v = get32(reinterpret_cast<const unsigned char*>(bytes_.data() + at_));
        at_ += 4;
        return true;
    }
    bool list(uint32_t count, std::vector<uint32_t>& out) {
        uint32_t length = 0;
        if (!u32(length) || bytes_.size() - at_ < length) return false;
        out.clear();
        const bool ok = postings::decodeAll(std::string_view(bytes_).substr(at_, length), out) &&
                        out.size() == count &&
                        std::adjacent_find(out.begin(), out.end(),
                                           [](auto a, auto b) { return a >= b; }) == out.end();
        at_ += length;
        return ok;
    }
    bool atEnd() const { return at_ == bytes_.size(); }

private:
    const std::string& bytes_;
    size_t at_;
};

}  // namespace

std::optional<TrigramDelta> TrigramDelta::read(FileSystem& fs, const std::string& path) {
    if (!fs.exists(path)) return std::nullopt;
    auto f = fs.openReadOnly(path);
    std::string bytes(static_cast<size_t>(f->size()), '\0');
    if (f->read(0, bytes.data(), bytes.size()) != bytes.size() || bytes.size() < kHeadSize)
        throwCorrupt(path, "Änderung des Trigrammindex unvollständig");
    const auto* h = reinterpret_cast<const unsigned char*>(bytes.data());
    if (std::memcmp(h, kMagic, sizeof kMagic) != 0 || get32(h + 8) != kFormat ||
        crc32c(h + kCrcFrom, bytes.size() - kCrcFrom) != get32(h + 12))
        throwCorrupt(path, "Änderung des Trigrammindex beschädigt");
    TrigramDelta d;
    d.lists = getState(h + 16);
    d.table = getState(h + 48);
    const uint32_t removed = get32(h + 80), added = get32(h + 84), lists = get32(h + 88);
    Body body(bytes, kHeadSize);
    bool ok = body.list(removed, d.removed) && body.list(added, d.added) &&
              (d.removed.empty() || d.removed.back() < d.lists.records) &&
              (d.added.empty() || d.added.back() < d.table.records);
    for (uint32_t i = 0; ok && i < lists; ++i) {
        uint32_t t = 0, count = 0;
        std::vector<uint32_t> entries;
        ok = body.u32(t) && body.u32(count) && count > 0 && body.list(count, entries) &&
             entries.back() < added && (d.trigrams.empty() || d.trigrams.back().first < t);
        if (ok) d.trigrams.emplace_back(t, std::move(entries));
    }
    if (!ok || !body.atEnd()) throwCorrupt(path, "Änderung des Trigrammindex beschädigt");
    return d;
}

void TrigramDelta::write(FileSystem& fs, const std::string& path, const std::string& temp) const {
    std::string out(kHeadSize, '\0');
    auto* h = reinterpret_cast<unsigned char*>(out.data());
    std::memcpy(h, kMagic, sizeof kMagic);
    put32(h + 8, kFormat);
    putState(h + 16, lists);
    putState(h + 48, table);
    put32(h + 80, static_cast<uint32_t>(removed.size()));
    put32(h + 84, static_cast<uint32_t>(added.size()));
    put32(h + 88, static_cast<uint32_t>(trigrams.size()));
    for (const auto* v : {&removed, &added}) {
        const std::string bytes = encoded(*v);
        put32To(out, static_cast<uint32_t>(bytes.size()));
        out += bytes;
    }
    for (const auto& [t, entries] : trigrams) {
        const std::string bytes = encoded(entries);
        put32To(out, t);
        put32To(out, static_cast<uint32_t>(entries.size()));
        put32To(out, static_cast<uint32_t>(bytes.size()));
        out += bytes;
    }
    h = reinterpret_cast<unsigned char*>(out.data());
    put32(h + 12, crc32c(h + kCrcFrom, out.size() - kCrcFrom));
    {
        auto f = fs.createNew(temp, path, 0644);
        try {
            f->write(0, out.data(), out.size());
            f->sync();
        } catch (...) {
            f.reset();
            fs.remove(temp);
            throw;
        }
    }
    fs.rename(temp, path);
    const std::string folder = paths::folderOf(path);
    fs.syncDir(folder.empty() ? std::string(".") : folder);
}

void TrigramDelta::toTablePositions(std::vector<uint32_t>& positions) const {
    size_t kept = 0;
    for (uint32_t p : positions) {
        auto below = std::lower_bound(removed.begin(), removed.end(), p);
        if (below != removed.end() && *below == p) continue;
        const uint64_t r = p - static_cast<uint64_t>(below - removed.begin());
        // The r-th position no added record takes: r plus the added records before it, those
        // with fewer than r+1 free positions below them.
        size_t lo = 0, hi = added.size();
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            if (added[mid] - mid <= r)
                lo = mid + 1;
            else
                hi = mid;
        }
        positions[kept++] = static_cast<uint32_t>(r + lo);
    }
    positions.resize(kept);
}

const std::vector<uint32_t>* TrigramDelta::listOf(uint32_t t) const {
    auto it = std::lower_bound(trigrams.begin(), trigrams.end(), t,
                               [](const auto& e, uint32_t v) { return e.first < v; });
    return it == trigrams.end() || it->first != t ? nullptr : &it->second;
}

std::vector<uint32_t> TrigramDelta::addedWith(const std::vector<uint32_t>& wanted) const {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < wanted.size(); ++i) {
        const std::vector<uint32_t>* l = listOf(wanted[i]);
        if (!l) return {};
        if (i == 0) {
            out = *l;
        } else {
            std::vector<uint32_t> both;
            std::set_intersection(out.begin(), out.end(), l->begin(), l->end(),
                                  std::back_inserter(both));
            out.swap(both);
        }
        if (out.empty()) return out;
    }
    for (uint32_t& j : out) j = added[j];
    return out;
}

std::vector<uint32_t> TrigramDelta::addedWith(uint32_t t) const {
    return addedWith(std::vector<uint32_t>{t});
}

void TrigramDelta::apply(const std::vector<uint32_t>& gone, const std::vector<uint32_t>& gained,
                         const std::vector<std::vector<uint32_t>>& gainedTrigrams) {
    // The records gone: an added one leaves the change, one of the lists joins `removed`.
    constexpr uint32_t kDead = UINT32_MAX;
    std::vector<uint32_t> renumber(added.size(), 0);
    std::vector<uint32_t> newRemoved;
    for (uint32_t c : gone) {
        auto at = std::lower_bound(added.begin(), added.end(), c);
        if (at != added.end() && *at == c) {
            renumber[static_cast<size_t>(at - added.begin())] = kDead;
            continue;
        }
        // Its list position: the r-th not removed, r being its rank among the free positions.
        const uint64_t r = c - static_cast<uint64_t>(at - added.begin());
        size_t lo = 0, hi = removed.size();
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            if (removed[mid] - mid <= r)
                lo = mid + 1;
            else
                hi = mid;
        }
        newRemoved.push_back(static_cast<uint32_t>(r + lo));
    }
    std::sort(newRemoved.begin(), newRemoved.end());
    std::vector<uint32_t> allRemoved;
    std::merge(removed.begin(), removed.end(), newRemoved.begin(), newRemoved.end(),
               std::back_inserter(allRemoved));
    removed.swap(allRemoved);

    // The added records that stay, moved down by those gone below them and up by those gained.
    std::vector<uint32_t> staying;
    for (size_t j = 0; j < added.size(); ++j) {
        if (renumber[j] == kDead) continue;
        const uint64_t x =
            added[j] - static_cast<uint64_t>(std::lower_bound(gone.begin(), gone.end(), added[j]) -
                                             gone.begin());
        size_t lo = 0, hi = gained.size();
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            if (gained[mid] - mid <= x)
                lo = mid + 1;
            else
                hi = mid;
        }
        staying.push_back(static_cast<uint32_t>(x + lo));
        renumber[j] = static_cast<uint32_t>(j);  // for now: its place among the old ones
    }
    // Both ascending and apart: merge them, noting each one's new number.
    std::vector<uint32_t> merged;
    merged.reserve(staying.size() + gained.size());
    std::vector<uint32_t> stayingNumber(staying.size()), gainedNumber(gained.size());
    size_t a = 0, b = 0;
    while (a < staying.size() || b < gained.size()) {
        if (b == gained.size() || (a < staying.size() && staying[a] < gained[b])) {
            stayingNumber[a] = static_cast<uint32_t>(merged.size());
            merged.push_back(staying[a++]);
        } else {
            gainedNumber[b] = static_cast<uint32_t>(merged.size());
            merged.push_back(gained[b++]);
        }
    }
    size_t s = 0;
    for (size_t j = 0; j < renumber.size(); ++j) {
        if (renumber[j] != kDead) renumber[j] = stayingNumber[s++];
    }
    added.swap(merged);

    std::map<uint32_t, std::vector<uint32_t>> byTrigram;
    for (auto& [t, entries] : trigrams) {
        std::vector<uint32_t> kept;
        for (uint32_t j : entries) {
            if (renumber[j] != kDead) kept.push_back(renumber[j]);
        }
        if (!kept.empty()) byTrigram.emplace(t, std::move(kept));
    }
    for (size_t i = 0; i < gained.size(); ++i) {
        for (uint32_t t : gainedTrigrams.at(i)) byTrigram[t].push_back(gainedNumber[i]);
    }
    trigrams.clear();
    for (auto& [t, entries] : byTrigram) {
        std::sort(entries.begin(), entries.end());
        trigrams.emplace_back(t, std::move(entries));
    }
}

}  // namespace mv32::engine::store
