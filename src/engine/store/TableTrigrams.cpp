// The table's trigram index: building it from the records and finding it current.
//
// The index is not kept up to date post by post: a record's position in the primary order,
// which the lists hold, moves with every insert before it, so that one new file would change
// most lists. Those who change the table in bulk tell it their change when they are done (a
// scan the positions of the records it added, a medium's removal those of the records it
// removed): it is written beside the lists as a TrigramDelta, at a cost that follows the
// change, until the change grows past a fraction of the lists and the index is built anew.
// Until then a search finds the index stale and reads every record.
//
// The table names the field of its trigram index in its own header (Format.h), so that the
// index can be built anew whatever became of its file: rebuilding never reads the old file.
// For searching, a file that cannot be read counts as absent; the check reports it.
#include <algorithm>
#include <unordered_map>

#include "engine/EngineError.h"
#include "engine/Text.h"
#include "engine/store/ChangePositions.h"
#include "engine/store/Coding.h"
#include "engine/store/TableStore.h"

namespace mv32::engine::store {

namespace {

// Mixes a position into 64 bits that look random, so that sums of them tell sets apart.
uint64_t mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

}  // namespace

void TableStore::buildTrigrams(int field) {
    buildTrigramsFrom(field, {});
}

void TableStore::buildTrigramsFrom(int field, const std::function<bool(std::string&)>& given) {
    requireExclusive("Der Aufbau des Trigrammindex");
    if (bulk_) throw std::logic_error("Trigrammindex während einer Massenänderung");
    const FieldDef& def = schema_.fields.at(static_cast<size_t>(field));
    if (def.type != FieldType::Text) {
        throw EngineError(ErrorKind::Usage, "Ein Trigrammindex braucht ein Textfeld, " +
                                                quoted(def.name) + " ist keines.");
    }
    trigrams_.reset();
    // The table says which field its index covers before the index is built: a build that
    // fails leaves the table naming it, and the next rebuild makes it.
    const auto mark = static_cast<uint16_t>(field + 1);
    if (pager_->header(kDbFile).trigramField != mark)
        write([&] { pager_->mutableHeader(kDbFile).trigramField = mark; });
    ReadScope scope(*this);
    const FileHeader& h = pager_->header(kDbFile);
    const TrigramStamp stamp{h.tableId, h.counter, h.generation, records_->count(), def.name};
    if (given) {
        TrigramIndex::build(*fs_, trigramPath(), stamp, given);
        return;
    }
    TreePos pos;
    bool started = false;
    {
        StreamingPass pass(*records_);
        TrigramIndex::build(*fs_, trigramPath(), stamp, [&](std::string& out) {
            const bool more = started ? records_->next(pos) : records_->first(pos);
            started = true;
            if (!more) return false;
            Value v = schema_.fieldValue(records_->entry(pos), field);
            out = v.isText() ? text::upper(v.asText()) : std::string();
            return true;
        });
        pos.path.clear();
    }
}

std::optional<uint64_t> TableStore::beginTrigramFill() {
    if (bulk_ && groupOpen_ && groupOps_ > 0) return std::nullopt;
    ReadScope scope(*this);
    if (records_->count() != 0) return std::nullopt;
    return pager_->generation();
}

std::optional<TableState> TableStore::endTrigramFill(uint64_t cache) {
    if (bulk_ && groupOpen_ && groupOps_ > 0) return std::nullopt;
    ReadScope scope(*this);
    // Every commit since the fill began was this handle's own: another one would have dropped
    // the cache on the way, and the table would hold records the fill did not see.
    if (pager_->generation() != cache) return std::nullopt;
    const FileHeader& h = pager_->header(kDbFile);
    return TableState{h.tableId, h.counter, h.generation, records_->count()};
}

bool TableStore::buildTrigramsFromFill(int field, const TableState& filled,
                                       const std::vector<uint64_t>& insertedAt,
                                       const std::function<std::string_view(size_t)>& valueOf) {
    {
        ReadScope scope(*this);
        const FileHeader& h = pager_->header(kDbFile);
        const TableState now{h.tableId, h.counter, h.generation, records_->count()};
        if (now != filled || insertedAt.size() != filled.records) return false;
    }
    // Where each record added stands now, and so which one stands at each position.
    std::vector<uint32_t> order;
    try {
        const std::vector<uint32_t> at = placesOf(insertedAt, filled.records);
        order.assign(at.size(), UINT32_MAX);
        for (size_t i = 0; i < at.size(); ++i) order[at[i]] = static_cast<uint32_t>(i);
    } catch (const std::out_of_range&) {
        return false;  // positions of another table than this one
    }
    size_t next = 0;
    buildTrigramsFrom(field, [&](std::string& out) {
        if (next == order.size()) return false;
        out = text::upper(valueOf(order[next++]));
        return true;
    });
    return true;
}

int TableStore::trigramField() const {
    const int marked = static_cast<int>(pager_->header(kDbFile).trigramField) - 1;
    if (marked >= 0) {
        const size_t f = static_cast<size_t>(marked);
        return f < schema_.fields.size() && schema_.fields[f].type == FieldType::Text ? marked : -1;
    }
    // A table written before it named the field: its index file's head names it, if it can.
    return schema_.fieldIndex(TrigramIndex::fieldOf(*fs_, trigramPath()));
}

void TableStore::rebuildTrigrams() {
    const int field = trigramField();
    if (field >= 0) buildTrigrams(field);
}

namespace {

// How many records a change beside lists of `records` may name before they are built anew:
// a thirty-second of them, so that the change costs at most that share of a build to write.
size_t changeLimit(uint64_t records) {
    return static_cast<size_t>(std::max<uint64_t>(records / 32, 4096));
}

}  // namespace

size_t TableStore::beginTrigramChange() {
    trigramMark_.reset();
    // Posts of a bulk group not yet committed would be counted as the table the index is
    // current for (a read in bulk mode opens a group, which is no change yet).
    if (bulk_ && groupOpen_ && groupOps_ > 0) return 0;
    ReadScope scope(*this);
    const TrigramIndex* ix = trigrams();
    if (!ix) return 0;
    const size_t named = ix->delta() ? ix->delta()->size() : 0;
    const size_t limit = changeLimit(ix->listState().records);
    if (named >= limit) return 0;
    trigramMark_ = TrigramMark{ix->stamp(), pager_->generation(), limit - named};
    return limit - named;
}

bool TableStore::endTrigramChange(const std::vector<uint64_t>& removedAt,
                                  const std::vector<uint64_t>& insertedAt) {
    std::optional<TrigramMark> mark;
    mark.swap(trigramMark_);
    if (!mark || (bulk_ && groupOpen_ && groupOps_ > 0)) return false;
    if (removedAt.size() + insertedAt.size() > mark->limit) return false;
    ReadScope scope(*this);
    // Every commit since the mark was this handle's own: another one would have dropped the
    // cache on the way.
    if (pager_->generation() != mark->cache) return false;
    const FileHeader& h = pager_->header(kDbFile);
    const uint64_t now = records_->count();
    // Nothing committed since: the index describes the table as it is.
    if (TableState{h.tableId, h.counter, h.generation, now} ==
        TableState{mark->stamp.tableId, mark->stamp.counter, mark->stamp.generation,
                   mark->stamp.records})
        return true;
    if (mark->stamp.records < removedAt.size() ||
        mark->stamp.records - removedAt.size() + insertedAt.size() != now)
        return false;
    std::unique_ptr<TrigramIndex> ix;
    try {
        ix = TrigramIndex::open(*fs_, trigramPath());
    } catch (const EngineError&) {
        return false;  // damaged since: built anew, never patched
    }
    if (!ix || ix->stamp() != mark->stamp) return false;
    const int field = schema_.fieldIndex(ix->stamp().field);
    if (field < 0) return false;
    std::vector<uint32_t> gone, gained;
    try {
        gone = basePositions(removedAt, mark->stamp.records);
        gained = finalPositions(insertedAt, now);
    } catch (const std::out_of_range&) {
        return false;  // positions of another table than this one
    }
    // The trigrams of the records added, read where they stand now.
    std::vector<std::vector<uint32_t>> gainedTrigrams;
    gainedTrigrams.reserve(gained.size());
    {
        PositionReader reader(*records_, gained);
        std::string_view entry;
        for (size_t i = 0; i < gained.size(); ++i) {
            if (!reader.read(i, entry)) return false;
            Value v = schema_.fieldValue(entry, field);
            gainedTrigrams.push_back(
                trigramsOf(v.isText() ? text::upper(v.asText()) : std::string()));
        }
    }
    TrigramDelta delta;
    if (ix->delta()) {
        delta = *ix->delta();
    } else {
        delta.lists = ix->listState();
    }
    delta.apply(gone, gained, gainedTrigrams);
    delta.table = TableState{h.tableId, h.counter, h.generation, now};
    if (h.generation == 0) return false;
    trigrams_.reset();
    ix.reset();
    delta.write(*fs_, TrigramIndex::deltaPathOf(trigramPath()),
                TrigramIndex::deltaTempPathOf(trigramPath()));
    return true;
}

bool TableStore::trigramsCurrent(const TrigramIndex& ix) const {
    const FileHeader& h = pager_->header(kDbFile);
    const TrigramStamp& s = ix.stamp();
    // A table whose header has no generation cannot tell its copies apart: never current.
    return h.generation != 0 && s.tableId == h.tableId && s.counter == h.counter &&
           s.generation == h.generation && s.records == records_->count();
}

const TrigramIndex* TableStore::trigrams() {
    if (trigrams_ && trigramsCurrent(*trigrams_)) return trigrams_.get();
    // Not opened yet, or built again since by another handle: read the file as it is now.
    // One that cannot be read is no index for searching (check() names the damage).
    try {
        trigrams_ = TrigramIndex::open(*fs_, trigramPath());
    } catch (const EngineError&) {
        trigrams_.reset();
    }
    if (trigrams_ && !trigramsCurrent(*trigrams_)) trigrams_.reset();
    return trigrams_.get();
}

void TableStore::checkTrigrams(CheckReport& report) {
    // Read as it is, damage and all (the search would leave a damaged file aside).
    trigrams_.reset();
    std::unique_ptr<TrigramIndex> opened = TrigramIndex::open(*fs_, trigramPath());
    if (!opened || !trigramsCurrent(*opened)) return;  // none, or stale: not used
    const TrigramIndex* ix = opened.get();
    const int field = schema_.fieldIndex(ix->stamp().field);
    if (field < 0) throwCorrupt(trigramPath(), "das Feld " + ix->stamp().field + " gibt es nicht");
    // Per trigram, how many records have it and the sum of their mixed positions: the list
    // must give the same (two different sets give the same sum by a chance of 2^-64).
    struct Sum {
        uint64_t count = 0;
        uint64_t mixed = 0;
    };
    std::unordered_map<uint32_t, Sum> want;
    TreePos pos;
    {
        StreamingPass pass(*records_);
        uint64_t position = 0;
        for (bool ok = records_->first(pos); ok; ok = records_->next(pos), ++position) {
            Value v = schema_.fieldValue(records_->entry(pos), field);
            for (uint32_t t : trigramsOf(v.isText() ? text::upper(v.asText()) : std::string())) {
                Sum& s = want[t];
                ++s.count;
                s.mixed += mix(position);
            }
        }
        pos.path.clear();
    }
    size_t lists = 0;
    ix->forEachList([&](uint32_t t, const std::vector<uint32_t>& positions) {
        Sum got;
        for (uint32_t p : positions) {
            ++got.count;
            got.mixed += mix(p);
        }
        auto it = want.find(t);
        if (it == want.end() || it->second.count != got.count || it->second.mixed != got.mixed)
            throwCorrupt(trigramPath(), "der Trigrammindex passt nicht zu den Datensätzen");
        ++lists;
    });
    if (lists != want.size()) throwCorrupt(trigramPath(), "dem Trigrammindex fehlen Einträge");
    report.indexes.push_back("Trigrammindex " + ix->stamp().field);
}

}  // namespace mv32::engine::store
