#include "engine/sql/Executor.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "engine/EngineError.h"
#include "engine/sql/Eval.h"
#include "engine/sql/RecordRow.h"
#include "engine/store/BTree.h"
#include "engine/store/Coding.h"
#include "engine/store/TableStore.h"

namespace mv32::engine::sql {

using store::BTree;
using store::IndexInfo;
using store::Kind;
using store::TreePos;

namespace {

// A group of a GROUP BY or aggregate result: the column values of its first row and the
// running aggregates.
struct Accumulator {
    int64_t count = 0;
    std::set<std::string> seen;  // DISTINCT aggregates
    SqlValue best;
    int64_t sum = 0;
    bool any = false;
    bool overflow = false;
};

class GroupRow : public RowContext {
public:
    std::vector<SqlValue> columns;
    std::vector<Accumulator> accs;
    std::vector<SqlValue> finished;

    const SqlValue& column(int f) override { return columns[static_cast<size_t>(f)]; }
    const SqlValue& aggregate(int slot) override { return finished[static_cast<size_t>(slot)]; }
};

void encodeSortValue(std::string& out, const SqlValue& v, bool desc) {
    auto tag = [&](unsigned char t) { out += static_cast<char>(desc ? ~t : t); };
    switch (v.type) {
        case SqlValue::Type::Null:
            tag(0);
            break;
        case SqlValue::Type::Int:
            tag(1);
            store::encodeInt(out, v.i, desc ? Kind::IntDesc : Kind::Int);
            break;
        case SqlValue::Type::Text: {
            tag(2);
            std::string s = v.s;
            s.erase(std::remove(s.begin(), s.end(), '\0'), s.end());
            store::encodeText(out, s, desc ? Kind::TextDesc : Kind::Text);
            break;
        }
    }
}

void encodeOutputValue(std::string& out, const Value& v) {
    if (v.isBlank()) {
        out += '\0';
    } else if (v.isInt()) {
        out += '\1';
        store::encodeInt(out, v.asInt(), Kind::Int);
    } else {
        out += '\2';
        store::encodeBytes(out, v.asText());
    }
}

constexpr size_t kDefaultCopyBudget = 32u << 20;
size_t copyBudgetBytes = kDefaultCopyBudget;

}  // namespace

size_t copyBudget() {
    return copyBudgetBytes;
}

void setCopyBudget(size_t bytes) {
    copyBudgetBytes = bytes ? bytes : kDefaultCopyBudget;
}

Executor::Executor(store::TableStore& s, const BoundQuery& q)
    : store_(s), q_(q), row_(std::make_unique<RecordRow>(s)) {}

Executor::~Executor() = default;

bool Executor::stale() const {
    return store_.generation() != generation_ || store_.modCount() != modCount_;
}

bool Executor::denseCandidates(const Driver& d) const {
    // About one candidate per leaf or more: nearly every leaf is read, as by a full pass.
    BTree& records = store_.records();
    return records.largerThanCache() && d.candidates.size() * 64 > records.count();
}

std::string_view Executor::candidate(store::PositionReader& reader, size_t i) {
    std::string_view e;
    if (!reader.read(i, e)) {
        store::throwCorrupt(store_.trigramPath(),
                            "der Trigrammindex verweist auf einen fehlenden Datensatz");
    }
    return e;
}

void Executor::seekPosition(TreePos& rp, uint64_t& at, uint64_t position, bool& placed) {
    BTree& records = store_.records();
    bool ok = true;
    if (placed && position >= at && position - at <= 32) {
        // Near candidates are mostly in the same leaf: step there.
        while (ok && at < position) {
            ok = records.next(rp);
            ++at;
        }
    } else {
        ok = records.seekIndex(rp, position);
        at = position;
        placed = true;
    }
    if (!ok || !rp.atEntry()) {
        store::throwCorrupt(store_.trigramPath(),
                            "der Trigrammindex verweist auf einen fehlenden Datensatz");
    }
}

template <typename F>
void Executor::scan(const Driver& d, F&& onRow) {
    BTree& t = d.index ? store_.indexTree(*d.index) : store_.records();
    BTree& records = store_.records();
    const store::Schema& schema = store_.schema();
    TreePos p, rp;
    if (d.trigrams && denseCandidates(d)) {
        store::PositionReader reader(records, d.candidates);
        for (size_t i = 0; i < d.candidates.size(); ++i) {
            row_->set(candidate(reader, i));
            const uint32_t c = d.candidates[i];
            onRow([c] { return uint64_t{c}; });
        }
        return;
    }
    if (d.trigrams) {
        uint64_t at = 0;
        bool placed = false;
        for (uint32_t c : d.candidates) {
            seekPosition(rp, at, c, placed);
            row_->set(records.entry(rp));
            onRow([c] { return uint64_t{c}; });
        }
        return;
    }
    store::StreamingPass streaming(t);
    if (!(d.hasLo ? t.seek(p, d.lo) : t.first(p))) return;
    uint64_t position = t.indexOf(p);
    while (p.atEntry()) {
        std::string_view e = t.entry(p);
        if (d.hasHi && e.compare(d.hi) >= 0) break;
        if (d.index) {
            if (!records.find(rp, schema.clusterKeyOfIndexEntry(*d.index, e, clusterScratch_))) {
                store::throwCorrupt(store_.base() + ".db",
                                    "ein Index verweist auf einen fehlenden Datensatz");
            }
            row_->set(records.entry(rp));
            onRow([&] { return records.indexOf(rp); });
        } else {
            row_->set(e);
            onRow([&] { return position; });
        }
        ++position;
        if (!t.next(p)) break;
    }
}

void Executor::sortKey(std::string& out, RowContext& row, const std::vector<Value>* output) {
    for (const OrderItem& o : q_.st.orderBy) {
        if (o.outputColumn >= 0 && output) {
            const Value& v = (*output)[static_cast<size_t>(o.outputColumn)];
            SqlValue s = v.isInt()    ? SqlValue::integer(v.asInt())
                         : v.isText() ? SqlValue::textOf(v.asText())
                                      : SqlValue::null();
            encodeSortValue(out, s, o.descending);
        } else if (o.outputColumn >= 0) {
            const OutputColumn& c = q_.columns[static_cast<size_t>(o.outputColumn)];
            encodeSortValue(out, c.expr ? evaluate(*c.expr, row) : row.column(c.field),
                            o.descending);
        } else {
            encodeSortValue(out, evaluate(*o.expr, row), o.descending);
        }
    }
}

std::vector<uint32_t> Executor::orderOf(const std::string& keys,
                                        const std::vector<uint64_t>& keyEnds) const {
    std::vector<uint32_t> idx(keyEnds.size());
    for (uint32_t i = 0; i < idx.size(); ++i) idx[i] = i;
    auto keyOf = [&](uint32_t i) {
        uint64_t b = i ? keyEnds[i - 1] : 0;
        return std::string_view(keys).substr(b, keyEnds[i] - b);
    };
    std::stable_sort(idx.begin(), idx.end(),
                     [&](uint32_t a, uint32_t b) { return keyOf(a) < keyOf(b); });
    return idx;
}

void Executor::run() {
    auto scope = store_.readScope();
    generation_ = store_.generation();
    modCount_ = store_.modCount();
    positions_.clear();
    copies_.clear();
    copyAt_.clear();
    copyFirst_ = 0;
    rows_.clear();
    batch_.clear();
    pending_.reset();
    current_ = -1;
    // The memo and blob fields each result column reads; memo texts are read ahead.
    largeOut_.clear();
    largeOf_.assign(q_.columns.size(), {});
    const auto& fields = store_.schema().fields;
    for (size_t c = 0; c < q_.columns.size(); ++c) {
        std::vector<const Expr*> stack;
        if (q_.columns[c].expr) {
            stack.push_back(q_.columns[c].expr);
        } else {
            int f = q_.columns[c].field;
            if (isLarge(fields[static_cast<size_t>(f)].type)) largeOf_[c].push_back(f);
        }
        while (!stack.empty()) {
            const Expr* e = stack.back();
            stack.pop_back();
            if (e->op == Op::Column && isLarge(fields[static_cast<size_t>(e->field)].type)) {
                largeOf_[c].push_back(e->field);
            }
            for (const auto& a : e->args) stack.push_back(a.get());
        }
        for (int f : largeOf_[c]) {
            if (fields[static_cast<size_t>(f)].type == FieldType::Memo &&
                std::find(largeOut_.begin(), largeOut_.end(), f) == largeOut_.end()) {
                largeOut_.push_back(f);
            }
        }
    }
    Driver d = choose();
    order_ = d.index;
    reverse_ = d.reverse;
    plan_ = d.trigrams ? "Trigrammindex " + d.trigramField
            : d.index  ? "Index " + d.index->name
                       : std::string("Tabelle");
    if (d.hasLo || d.hasHi) plan_ += ", Bereich";
    if (d.sort || (q_.materialized() && !q_.st.orderBy.empty())) plan_ += ", sortiert";
    if (q_.materialized()) {
        runMaterialized(d);
    } else {
        runPlain(d);
    }
}

struct Executor::Pending {
    Driver d;
    TreePos p;              // the next entry of the driver's tree to look at
    uint64_t position = 0;  // its position in that tree
    bool started = false;
    // Reading the trigram index's candidates: the next one to look at, and where p stands.
    size_t nextCandidate = 0;
    uint64_t at = 0;
    bool placed = false;
};

void Executor::keepCopy() {
    if (!copying_) return;
    std::string_view e = row_->entry();
    if (copies_.size() + e.size() > copyBudget() && rollCopies_) {
        // A result found as far as it is read keeps the copies of the rows found last: a
        // reader going forward finds its next rows there, one going back reads them again.
        copies_.clear();
        copyAt_.clear();
        copyFirst_ = positions_.size() - 1;
    }
    if (copies_.size() + e.size() > copyBudget()) {
        copying_ = false;
        copies_.clear();
        copies_.shrink_to_fit();
        copyAt_.clear();
        copyAt_.shrink_to_fit();
    } else {
        copyAt_.push_back({copies_.size(), static_cast<uint32_t>(e.size())});
        copies_.append(e);
    }
}

int64_t Executor::knownRows() const {
    if (q_.materialized()) return static_cast<int64_t>(rows_.size());
    return static_cast<int64_t>(identity_ ? count_ : positions_.size());
}

int64_t Executor::rowCount() {
    extend(INT64_MAX);
    return knownRows();
}

void Executor::extend(int64_t rows) {
    if (!pending_) return;
    Pending& s = *pending_;
    const Driver& d = s.d;
    BTree& t = d.index ? store_.indexTree(*d.index) : store_.records();
    BTree& records = store_.records();
    const store::Schema& schema = store_.schema();
    const Expr* where = q_.st.where.get();
    auto finished = [&] { pending_.reset(); };
    if (d.trigrams && denseCandidates(d)) {
        // Nearly every leaf holds candidates: each is read once, past the cache, for the
        // candidates in it, which are kept for the rows shown (keepCopy).
        store::PositionReader reader(records, d.candidates);
        while (static_cast<int64_t>(positions_.size()) < rows) {
            if (s.nextCandidate >= d.candidates.size()) return finished();
            const size_t i = s.nextCandidate++;
            row_->set(candidate(reader, i));
            if (!where || isTrue(evaluate(*where, *row_))) {
                positions_.push_back(d.candidates[i]);
                keepCopy();
            }
        }
        return;
    }
    if (d.trigrams) {
        while (static_cast<int64_t>(positions_.size()) < rows) {
            if (s.nextCandidate >= d.candidates.size()) return finished();
            const uint32_t c = d.candidates[s.nextCandidate++];
            seekPosition(s.p, s.at, c, s.placed);
            row_->set(records.entry(s.p));
            if (!where || isTrue(evaluate(*where, *row_))) {
                positions_.push_back(c);
                keepCopy();
            }
        }
        return;
    }
    if (!s.started) {
        s.started = true;
        if (!(d.hasLo ? t.seek(s.p, d.lo) : t.first(s.p))) return finished();
        s.position = t.indexOf(s.p);
    }
    TreePos rp;
    while (static_cast<int64_t>(positions_.size()) < rows) {
        if (!s.p.atEntry()) return finished();
        std::string_view e = t.entry(s.p);
        if (d.hasHi && e.compare(d.hi) >= 0) return finished();
        if (d.index) {
            if (!records.find(rp, schema.clusterKeyOfIndexEntry(*d.index, e, clusterScratch_))) {
                store::throwCorrupt(store_.base() + ".db",
                                    "ein Index verweist auf einen fehlenden Datensatz");
            }
            row_->set(records.entry(rp));
        } else {
            row_->set(e);
        }
        if (!where || isTrue(evaluate(*where, *row_))) {
            positions_.push_back(d.index ? records.indexOf(rp) : s.position);
            keepCopy();
        }
        ++s.position;
        if (!t.next(s.p)) return finished();
    }
}

void Executor::runPlain(const Driver& d) {
    BTree& t = d.index ? store_.indexTree(*d.index) : store_.records();
    identity_ = false;
    copying_ = true;
    rollCopies_ = false;
    if (!q_.st.where && !d.sort) {
        identity_ = true;
        base_ = 0;
        count_ = t.count();
        return;
    }
    if (!d.sort && !d.reverse) {
        // Found as far as the cursor reads: the rows are positions in the record tree. No
        // copies are kept: the rows shown are read again by position, which costs less than
        // copying every row that is passed on the way to the one shown. The candidates of the
        // trigram index are mostly rows shown: those are kept, so that each is read once.
        copying_ = d.trigrams;
        rollCopies_ = true;
        pending_ = std::make_unique<Pending>();
        pending_->d = d;
        order_ = nullptr;
        return;
    }
    std::string keys;
    std::vector<uint64_t> keyEnds;
    const Expr* where = q_.st.where.get();
    // The qualifying records are also kept as they are stored, as long as they fit the
    // budget: reading the result then needs no second pass over the table. Past the budget
    // only the positions are kept.
    scan(d, [&](auto positionOf) {
        if (where && !isTrue(evaluate(*where, *row_))) return;
        positions_.push_back(positionOf());
        keepCopy();
        if (d.sort) {
            sortKey(keys, *row_, nullptr);
            keyEnds.push_back(keys.size());
        }
    });
    if (d.sort) {
        std::vector<uint32_t> order = orderOf(keys, keyEnds);
        std::vector<uint64_t> sorted(positions_.size());
        for (size_t i = 0; i < order.size(); ++i) sorted[i] = positions_[order[i]];
        positions_.swap(sorted);
        if (copying_) {
            std::vector<std::pair<uint64_t, uint32_t>> at(copyAt_.size());
            for (size_t i = 0; i < order.size(); ++i) at[i] = copyAt_[order[i]];
            copyAt_.swap(at);
        }
    }
    if (d.reverse) {
        std::reverse(positions_.begin(), positions_.end());
        std::reverse(copyAt_.begin(), copyAt_.end());
    }
    reverse_ = false;
    // The rows are kept as positions in the record tree, whatever order found them: reading
    // a row is then one descent by counts.
    order_ = nullptr;
}

void Executor::runMaterialized(const Driver& d) {
    const Expr* where = q_.st.where.get();
    const size_t nfields = store_.schema().fields.size();
    std::vector<bool> used(nfields, false);
    std::vector<const Expr*> stack;
    for (const auto& c : q_.columns) {
        if (c.expr) stack.push_back(c.expr);
        if (c.field >= 0) used[static_cast<size_t>(c.field)] = true;
    }
    for (const auto& o : q_.st.orderBy) {
        if (o.expr && o.outputColumn < 0) stack.push_back(o.expr.get());
    }
    while (!stack.empty()) {
        const Expr* e = stack.back();
        stack.pop_back();
        if (e->op == Op::Column) used[static_cast<size_t>(e->field)] = true;
        for (const auto& a : e->args) stack.push_back(a.get());
    }

    auto outputOf = [&](RowContext& ctx, RecordRow* rec) {
        Row out;
        out.reserve(q_.columns.size());
        for (const auto& c : q_.columns) {
            if (c.expr) {
                out.push_back(toValue(evaluate(*c.expr, ctx)));
            } else {
                out.push_back(rec ? rec->raw(c.field) : toValue(ctx.column(c.field)));
            }
        }
        return out;
    };

    std::string keys;
    std::vector<uint64_t> keyEnds;
    if (q_.grouped) {
        std::map<std::string, GroupRow> groups;
        if (q_.st.groupBy.empty()) groups[std::string()];
        for (auto& [k, g] : groups) g.accs.resize(q_.aggregates.size());
        scan(d, [&](auto) {
            if (where && !isTrue(evaluate(*where, *row_))) return;
            std::string gk;
            for (const auto& g : q_.st.groupBy) encodeSortValue(gk, evaluate(*g, *row_), false);
            auto [it, fresh] = groups.try_emplace(std::move(gk));
            GroupRow& g = it->second;
            if (fresh || g.columns.empty()) {
                g.accs.resize(q_.aggregates.size());
                g.columns.resize(nfields);
                for (size_t f = 0; f < nfields; ++f) {
                    if (used[f]) g.columns[f] = row_->column(static_cast<int>(f));
                }
            }
            for (size_t a = 0; a < q_.aggregates.size(); ++a) {
                const Expr& agg = *q_.aggregates[a];
                Accumulator& acc = g.accs[a];
                if (agg.op == Op::Count && agg.args.empty()) {
                    ++acc.count;
                    continue;
                }
                SqlValue v = evaluate(*agg.args[0], *row_);
                if (isNullish(v)) continue;
                if (agg.distinct) {
                    std::string vk;
                    encodeSortValue(vk, v, false);
                    if (!acc.seen.insert(std::move(vk)).second) continue;
                }
                ++acc.count;
                if (agg.op == Op::Min || agg.op == Op::Max) {
                    auto c = compare(v, acc.best);
                    if (acc.best.isNull() || (c && (agg.op == Op::Min ? *c < 0 : *c > 0))) {
                        acc.best = std::move(v);
                    }
                } else if (agg.op == Op::Sum) {
                    std::optional<int64_t> n = v.type == SqlValue::Type::Int
                                                   ? std::optional<int64_t>(v.i)
                                                   : parseInteger(v.s);
                    if (!n) continue;
                    if ((*n > 0 && acc.sum > INT64_MAX - *n) ||
                        (*n < 0 && acc.sum < INT64_MIN - *n)) {
                        acc.overflow = true;
                    } else {
                        acc.sum += *n;
                    }
                    acc.any = true;
                }
            }
        });
        for (auto& [k, g] : groups) {
            if (g.columns.empty()) g.columns.resize(nfields);
            g.finished.resize(q_.aggregates.size());
            for (size_t a = 0; a < q_.aggregates.size(); ++a) {
                const Expr& agg = *q_.aggregates[a];
                Accumulator& acc = g.accs[a];
                if (agg.op == Op::Count) {
                    g.finished[a] = SqlValue::integer(acc.count);
                } else if (agg.op == Op::Sum) {
                    if (acc.overflow) {
                        throw EngineError(ErrorKind::Range,
                                          "Die Summe SUM(" + agg.args[0]->name +
                                              ") ist zu groß für eine 64-Bit-Zahl.");
                    }
                    g.finished[a] = acc.any ? SqlValue::integer(acc.sum) : SqlValue::null();
                } else {
                    g.finished[a] = acc.best;
                }
            }
            rows_.push_back(outputOf(g, nullptr));
            if (!q_.st.orderBy.empty()) {
                sortKey(keys, g, &rows_.back());
                keyEnds.push_back(keys.size());
            }
        }
    } else {
        std::set<std::string> seen;
        scan(d, [&](auto) {
            if (where && !isTrue(evaluate(*where, *row_))) return;
            Row out = outputOf(*row_, row_.get());
            std::string k;
            for (const Value& v : out) encodeOutputValue(k, v);
            if (!seen.insert(std::move(k)).second) return;
            rows_.push_back(std::move(out));
            if (!q_.st.orderBy.empty()) {
                sortKey(keys, *row_, &rows_.back());
                keyEnds.push_back(keys.size());
            }
        });
    }
    if (!q_.st.orderBy.empty()) {
        std::vector<uint32_t> order = orderOf(keys, keyEnds);
        std::vector<Row> sorted;
        sorted.reserve(rows_.size());
        for (uint64_t i : order) sorted.push_back(std::move(rows_[i]));
        rows_.swap(sorted);
    }
}

bool Executor::loaded(int64_t r) const {
    return q_.materialized() || r < 0 ||
           (r >= batchStart_ && r < batchStart_ + static_cast<int64_t>(batch_.size()));
}

void Executor::load(int64_t r, bool backwards) {
    current_ = r;
    if (q_.materialized() || r < 0) return;
    if (!loaded(r)) {
        // Grids and exports move row by row: reading a batch of rows under one read lock
        // saves a lock and a descent per row.
        constexpr int64_t kBatch = 128;
        extend(r + kBatch);
        int64_t count = knownRows();
        int64_t from = backwards ? std::max<int64_t>(0, r - kBatch + 1) : r;
        int64_t to = std::min(count, from + kBatch);
        batch_.clear();
        batchLarge_.clear();
        batchStart_ = from;
        // Memo texts the result shows are read now, under the same read lock, unless they
        // are long; blobs (pictures) only when asked for.
        auto fetchLarge = [&] {
            batchLarge_.emplace_back();
            if (largeOut_.empty()) return;
            auto& large = batchLarge_.back();
            large.resize(store_.schema().fields.size());
            row_->set(batch_.back());
            for (int f : largeOut_) {
                store::BlobRef ref = row_->ref(f);
                if (ref.id && ref.length <= kPrefetchLimit) {
                    large[static_cast<size_t>(f)] = store_.readBlob(ref);
                }
            }
        };
        BTree& t = order_ ? store_.indexTree(*order_) : store_.records();
        TreePos p, rp;
        uint64_t last = 0;
        for (int64_t i = from; i < to; ++i) {
            auto u = static_cast<uint64_t>(i);
            if (u >= copyFirst_ && u - copyFirst_ < copyAt_.size()) {
                const auto& at = copyAt_[u - copyFirst_];
                batch_.emplace_back(copies_, at.first, at.second);
                fetchLarge();
                continue;
            }
            uint64_t position =
                identity_ ? (reverse_ ? base_ + count_ - 1 - u : base_ + u) : positions_[u];
            // Rows near the one before (the matches of a search) are reached by stepping.
            bool stepped = i > from && position > last && position - last <= 32;
            for (uint64_t k = last; stepped && k < position; ++k) stepped = t.next(p);
            if (!stepped && (!t.seekIndex(p, position) || !p.atEntry())) {
                store::throwCorrupt(store_.base() + ".db",
                                    "eine Ergebniszeile fehlt in der Tabelle");
            }
            last = position;
            std::string_view e = t.entry(p);
            if (order_) {
                if (!store_.records().find(rp,
                                           store_.schema().clusterKeyOfIndexEntry(*order_, e, clusterScratch_))) {
                    store::throwCorrupt(store_.base() + ".db",
                                        "ein Index verweist auf einen fehlenden Datensatz");
                }
                e = store_.records().entry(rp);
            }
            batch_.emplace_back(e);
            fetchLarge();
        }
    }
    const auto k = static_cast<size_t>(r - batchStart_);
    row_->set(batch_[k]);
    if (!batchLarge_[k].empty()) row_->setLarge(&batchLarge_[k]);
}

bool Executor::needsTable(int c) const {
    if (q_.materialized() || current_ < 0) return false;
    for (int f : largeOf_[static_cast<size_t>(c)]) {
        if (!row_->prefetched(f)) return true;
    }
    return false;
}

Value Executor::value(int c) {
    if (current_ < 0) return Value();
    if (q_.materialized()) {
        return rows_[static_cast<size_t>(current_)][static_cast<size_t>(c)];
    }
    const OutputColumn& col = q_.columns[static_cast<size_t>(c)];
    // The row holds everything but long memo texts and blobs, which are read when asked for.
    if (!col.expr) return row_->raw(col.field);
    return toValue(evaluate(*col.expr, *row_));
}

}  // namespace mv32::engine::sql
