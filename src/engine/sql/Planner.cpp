// The choice of the order in which a query reads its table.
#include <map>

#include "engine/EngineError.h"
#include "engine/sql/Executor.h"
#include "engine/sql/RecordRow.h"
#include "engine/store/TableStore.h"
#include "engine/store/TrigramIndex.h"

namespace mv32::engine::sql {

using store::IndexInfo;

namespace {

// The smallest string greater than every string that begins with p ("" when there is none).
std::string successor(std::string p) {
    while (!p.empty() && static_cast<unsigned char>(p.back()) == 0xFF) p.pop_back();
    if (!p.empty()) p.back() = static_cast<char>(static_cast<unsigned char>(p.back()) + 1);
    return p;
}

void flatten(const Expr& e, std::vector<const Expr*>& out) {
    if (e.op == Op::And) {
        for (const auto& a : e.args) flatten(*a, out);
    } else {
        out.push_back(&e);
    }
}

// Bounds that a condition puts on one field, as key probes.
struct Bounds {
    int field = -1;
    std::string lo, hi;
    bool hasLo = false, hasHi = false;
    int strength = 0;  // 3 equality, 2 both ends, 1 one end

    void lower(std::string p) {
        if (!hasLo || p > lo) lo = std::move(p);
        hasLo = true;
    }
    void upper(std::string p) {
        if (p.empty()) return;  // no successor: unbounded
        if (!hasHi || p < hi) hi = std::move(p);
        hasHi = true;
    }
};

}  // namespace

// Picks the order to read the table in: an index whose leading field a condition limits, or
// one that gives the ORDER BY order, else the primary order.
Executor::Driver Executor::choose() const {
    const store::Schema& schema = store_.schema();
    std::map<int, Bounds> byField;
    std::vector<const Expr*> conjuncts;
    if (q_.st.where) flatten(*q_.st.where, conjuncts);
    auto key = [&](int f, const SqlValue& v) {
        std::string out;
        schema.encodeKeyValue(out, f, toValue(v), 0);
        return out;
    };
    for (const Expr* c : conjuncts) {
        const Expr* col = nullptr;
        Op op = c->op;
        std::vector<const Expr*> lits;
        if (op == Op::Eq || op == Op::Lt || op == Op::Gt || op == Op::Le || op == Op::Ge) {
            const Expr* a = c->args[0].get();
            const Expr* b = c->args[1].get();
            if (b->op == Op::Column && a->op == Op::Literal) {
                std::swap(a, b);
                op = op == Op::Lt   ? Op::Gt
                     : op == Op::Gt ? Op::Lt
                     : op == Op::Le ? Op::Ge
                     : op == Op::Ge ? Op::Le
                                    : op;
            }
            if (a->op != Op::Column || b->op != Op::Literal) continue;
            col = a;
            lits.push_back(b);
        } else if ((op == Op::Between || op == Op::Like) && !c->negated &&
                   c->args[0]->op == Op::Column && c->args.size() == (op == Op::Like ? 2u : 3u)) {
            col = c->args[0].get();
            for (size_t k = 1; k < c->args.size(); ++k) {
                if (c->args[k]->op != Op::Literal) col = nullptr;
                lits.push_back(c->args[k].get());
            }
            if (!col) continue;
        } else {
            continue;
        }
        bool intField = col->type == ExprType::Int;
        bool usable = true;
        for (const Expr* l : lits) {
            if (l->value.isNull() || (l->type == ExprType::Int) != intField) usable = false;
        }
        if (!usable) continue;
        Bounds& b = byField[col->field];
        b.field = col->field;
        // A blank number is NULL and never qualifies; a blank text reads as ''.
        if (intField) b.lower(std::string(1, '\x01'));
        const SqlValue& v = lits[0]->value;
        bool emptyText = !intField && v.s.empty();
        switch (op) {
            case Op::Eq:
                if (!emptyText) b.lower(key(col->field, v));
                b.upper(successor(key(col->field, v)));
                break;
            case Op::Gt:
                b.lower(successor(key(col->field, v)));
                break;
            case Op::Ge:
                if (!emptyText) b.lower(key(col->field, v));
                break;
            case Op::Lt:
                b.upper(key(col->field, v));
                break;
            case Op::Le:
                b.upper(successor(key(col->field, v)));
                break;
            case Op::Between:
                if (!emptyText) b.lower(key(col->field, v));
                b.upper(successor(key(col->field, lits[1]->value)));
                break;
            case Op::Like: {
                size_t cut = v.s.find_first_of("%_");
                std::string prefix = v.s.substr(0, cut);
                if (prefix.empty()) break;
                std::string probe = key(col->field, SqlValue::textOf(prefix));
                probe.pop_back();  // the text's terminator: any continuation qualifies
                b.lower(probe);
                b.upper(successor(probe));
                break;
            }
            default:
                break;
        }
        if (op == Op::Eq) b.strength = 3;
    }

    struct Candidate {
        const IndexInfo* index;
        std::vector<int> fields;
        bool descending;
    };
    std::vector<Candidate> orders;
    if (store_.hasPrimary()) orders.push_back({nullptr, schema.cluster, false});
    for (const IndexInfo* ix : store_.liveIndexes()) {
        if (ix->options & store::kCaseInsensitive) continue;
        orders.push_back({ix, ix->fields, (ix->options & store::kDescending) != 0});
    }

    Driver d;
    const Bounds* best = nullptr;
    const Candidate* bestOrder = nullptr;
    for (const Candidate& c : orders) {
        if (c.descending) continue;
        auto it = byField.find(c.fields[0]);
        if (it == byField.end()) continue;
        Bounds& b = it->second;
        if (!b.hasLo && !b.hasHi) continue;
        int strength = b.strength ? b.strength : (b.hasLo && b.hasHi ? 2 : 1);
        if (!best || strength > best->strength) {
            b.strength = strength;
            best = &b;
            bestOrder = &c;
        }
    }

    // Whether reading in order c gives the ORDER BY order; sets reverse when read backwards.
    auto givesOrder = [&](const Candidate& c, bool& reverse) {
        if (q_.materialized() || q_.st.orderBy.empty()) return false;
        if (q_.st.orderBy.size() > c.fields.size()) return false;
        bool desc = q_.st.orderBy[0].descending;
        for (size_t k = 0; k < q_.st.orderBy.size(); ++k) {
            const OrderItem& o = q_.st.orderBy[k];
            int f = -1;
            if (o.outputColumn >= 0) {
                const OutputColumn& oc = q_.columns[static_cast<size_t>(o.outputColumn)];
                f = oc.expr ? (oc.expr->op == Op::Column ? oc.expr->field : -1) : oc.field;
            } else if (o.expr->op == Op::Column) {
                f = o.expr->field;
            }
            if (f != c.fields[k] || o.descending != desc) return false;
        }
        reverse = desc != c.descending;
        return true;
    };

    if (best) {
        d.index = bestOrder->index;
        d.lo = best->lo;
        d.hi = best->hi;
        d.hasLo = best->hasLo;
        d.hasHi = best->hasHi;
        d.sort = !q_.st.orderBy.empty() && !givesOrder(*bestOrder, d.reverse);
    } else if (!q_.st.orderBy.empty()) {
        d.sort = true;
        // Without a condition the index order is the cheapest; with one, sorting the matches
        // of one pass over the records is.
        for (const Candidate& c : orders) {
            if ((c.index && q_.st.where) || !givesOrder(c, d.reverse)) continue;
            d.index = c.index;
            d.sort = false;
            break;
        }
    }
    if (!best) {
        // A substring search of a text the primary order cannot narrow. Its candidates come in
        // the primary order, which serves an ORDER BY that asks for it; one that asks for it
        // backwards gets the candidates' rows reversed, in the very order of the read backwards
        // (a sort would keep equal values in the forward order).
        const bool primaryOrder = !q_.st.orderBy.empty() && !d.sort && !d.index;
        const bool backwards = primaryOrder && d.reverse;
        if (chooseTrigrams(d)) {
            d.sort = !q_.st.orderBy.empty() && !primaryOrder;
            d.reverse = backwards;
        }
    }
    if (q_.materialized()) d.sort = false;
    return d;
}

bool Executor::chooseTrigrams(Driver& d) const {
    std::vector<const Expr*> conjuncts;
    if (q_.st.where) flatten(*q_.st.where, conjuncts);
    const store::TrigramIndex* ix = nullptr;
    bool looked = false;
    for (const Expr* c : conjuncts) {
        // UPPER(field) LIKE 'literal', without ESCAPE: the wildcards are "%" and "_" alone.
        if (c->op != Op::Like || c->negated || c->args.size() != 2) continue;
        const Expr* u = c->args[0].get();
        const Expr* lit = c->args[1].get();
        if (u->op != Op::Upper || u->args.size() != 1 || u->args[0]->op != Op::Column ||
            lit->op != Op::Literal || lit->value.type != SqlValue::Type::Text)
            continue;
        std::vector<uint32_t> required = store::requiredTrigrams(lit->value.s);
        if (required.empty()) continue;
        if (!looked) {
            ix = store_.trigrams();
            looked = true;
        }
        if (!ix || store_.schema().fieldIndex(ix->stamp().field) != u->args[0]->field) continue;
        try {
            d.candidates = ix->candidates(required);
        } catch (const EngineError&) {
            // A damaged list: the search reads every record instead (check() names it).
            d.candidates.clear();
            return false;
        }
        d.trigrams = true;
        d.reverse = false;
        d.trigramField = store_.schema().fields[static_cast<size_t>(u->args[0]->field)].name;
        d.index = nullptr;
        return true;
    }
    return false;
}

}  // namespace mv32::engine::sql
