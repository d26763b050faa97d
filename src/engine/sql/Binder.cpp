#include "engine/sql/Binder.h"

#include "engine/EngineError.h"
#include "engine/sql/Eval.h"
#include "engine/store/Schema.h"

namespace mv32::engine::sql {

namespace {

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

bool isPredicate(Op op) {
    switch (op) {
        case Op::Eq:
        case Op::Ne:
        case Op::Lt:
        case Op::Gt:
        case Op::Le:
        case Op::Ge:
        case Op::Like:
        case Op::IsNull:
        case Op::In:
        case Op::Between:
        case Op::And:
        case Op::Or:
        case Op::Not:
            return true;
        default:
            return false;
    }
}

class Binder {
public:
    Binder(const std::vector<FieldDef>& fields, const std::string& table, std::string_view s,
           const SelectStatement& st)
        : fields_(fields), table_(table), s_(s), st_(st) {}

    std::vector<const Expr*> aggregates;

    [[noreturn]] void fail(const std::string& what) const {
        throw EngineError(ErrorKind::Syntax, what);
    }

    std::string source(const Expr& e) const {
        return std::string(s_.substr(e.pos, e.end > e.pos ? e.end - e.pos : 0));
    }

    // Binds e; `aggregateAllowed` is false in WHERE and inside aggregates.
    void expr(Expr& e, bool aggregateAllowed) {
        if (e.isAggregate()) {
            if (!aggregateAllowed) {
                fail("Die Funktion " + source(e) +
                     " ist hier nicht erlaubt: Aggregatfunktionen stehen nur in der Spaltenliste "
                     "und in ORDER BY.");
            }
            e.aggregateSlot = static_cast<int>(aggregates.size());
            aggregates.push_back(&e);
            for (auto& a : e.args) expr(*a, false);
        } else {
            for (auto& a : e.args) expr(*a, aggregateAllowed);
        }
        switch (e.op) {
            case Op::Column:
                column(e);
                break;
            case Op::Literal:
                break;
            case Op::Upper:
            case Op::Lower:
            case Op::Trim:
                e.type = ExprType::Text;
                break;
            case Op::Substring:
                e.type = ExprType::Text;
                for (size_t k = 1; k < e.args.size(); ++k) numberArgument(*e.args[k], e);
                break;
            case Op::Count:
            case Op::Sum:
                e.type = ExprType::Int;
                break;
            case Op::Min:
            case Op::Max:
                e.type = e.args[0]->type;
                break;
            case Op::Eq:
            case Op::Ne:
            case Op::Lt:
            case Op::Gt:
            case Op::Le:
            case Op::Ge:
            case Op::In:
            case Op::Between:
                for (size_t k = 1; k < e.args.size(); ++k) comparable(*e.args[0], *e.args[k]);
                e.type = ExprType::Int;
                break;
            case Op::Add:
            case Op::Sub:
            case Op::Mul:
            case Op::Div:
                for (auto& a : e.args) numberArgument(*a, e);
                e.type = ExprType::Int;
                break;
            case Op::Concat:
                e.type = ExprType::Text;
                break;
            case Op::Like:
                e.type = ExprType::Int;
                if (e.args.size() == 2 && e.args[1]->op == Op::Literal &&
                    e.args[1]->value.type == SqlValue::Type::Text) {
                    e.likeShape = likeShape(e.args[1]->value.s, &e.likeCore);
                }
                break;
            default:
                e.type = ExprType::Int;
                break;
        }
        fold(e);
    }

    // An expression of literals only (UPPER("%abc%")) is computed once, here.
    static void fold(Expr& e) {
        if (e.op == Op::Literal || e.op == Op::Column || e.isAggregate() || e.args.empty()) {
            return;
        }
        for (const auto& a : e.args) {
            if (a->op != Op::Literal) return;
        }
        struct NoRow : RowContext {
            const SqlValue& column(int) override { throw std::logic_error("Feld in Konstante"); }
            const SqlValue& aggregate(int) override { throw std::logic_error("Aggregat"); }
        } none;
        SqlValue v = evaluate(e, none);
        ExprType t = e.type;
        e.args.clear();
        e.op = Op::Literal;
        e.value = std::move(v);
        e.type = t == ExprType::Unknown ? ExprType::Unknown : t;
        if (e.value.type == SqlValue::Type::Text) e.type = ExprType::Text;
        if (e.value.type == SqlValue::Type::Int) e.type = ExprType::Int;
    }

    void column(Expr& e) {
        if (e.value.type == SqlValue::Type::Text) {
            const std::string& q = e.value.s;
            std::string bare = st_.table;
            auto slash = bare.find_last_of("/\\");
            if (slash != std::string::npos) bare.erase(0, slash + 1);
            auto dot = bare.rfind('.');
            std::string stem = dot == std::string::npos ? bare : bare.substr(0, dot);
            if (!equalNoCase(q, st_.alias) && !equalNoCase(q, bare) && !equalNoCase(q, stem)) {
                fail("Der Tabellenname " + quoted(q) + " vor dem Feld " + quoted(e.name) +
                     " ist in der Abfrage nicht bekannt.");
            }
            e.value = SqlValue::null();
        }
        for (size_t i = 0; i < fields_.size(); ++i) {
            if (equalNoCase(fields_[i].name, e.name)) {
                e.field = static_cast<int>(i);
                e.type = isInteger(fields_[i].type) ? ExprType::Int : ExprType::Text;
                return;
            }
        }
        fail("Das Feld " + quoted(e.name) + " gibt es in der Tabelle " + quoted(table_) +
             " nicht.");
    }

    // A number field or number result compared with a text literal: the literal must be a
    // number, and is read as one from now on.
    void comparable(Expr& a, Expr& b) {
        Expr* lit = nullptr;
        const Expr* other = nullptr;
        if (a.type == ExprType::Int && b.op == Op::Literal && b.type == ExprType::Text) {
            lit = &b, other = &a;
        } else if (b.type == ExprType::Int && a.op == Op::Literal && a.type == ExprType::Text) {
            lit = &a, other = &b;
        }
        if (!lit) return;
        auto n = parseInteger(lit->value.s);
        if (!n) {
            std::string what = other->op == Op::Column ? "mit dem Zahlenfeld " + quoted(other->name)
                                                       : "mit der Zahl " + quoted(source(*other));
            fail("Typkonflikt: " + quoted(lit->value.s) + " ist keine Zahl und kann nicht " + what +
                 " verglichen werden.");
        }
        lit->value = SqlValue::integer(*n);
        lit->type = ExprType::Int;
    }

    void numberArgument(Expr& a, const Expr& fn) {
        if (a.type == ExprType::Int || a.op != Op::Literal) return;
        if (a.op == Op::Literal && a.type == ExprType::Text) {
            if (auto n = parseInteger(a.value.s)) {
                a.value = SqlValue::integer(*n);
                a.type = ExprType::Int;
                return;
            }
        }
        fail("Typkonflikt: " + quoted(source(fn)) + " erwartet an der Stelle von " +
             quoted(source(a)) + " eine Zahl.");
    }

    // Whether e can be computed per group: aggregates, grouped expressions, literals.
    bool grouped(const Expr& e, const std::vector<ExprPtr>& groupBy) const {
        if (e.isAggregate() || e.op == Op::Literal) return true;
        for (const auto& g : groupBy) {
            if (sameExpr(e, *g)) return true;
        }
        if (e.op == Op::Column) return false;
        for (const auto& a : e.args) {
            if (!grouped(*a, groupBy)) return false;
        }
        return true;
    }

    FieldDef outputDef(const Expr& e, const std::string& alias) const {
        FieldDef d;
        d.name = !alias.empty() ? alias
                                : (e.op == Op::Column ? fields_[static_cast<size_t>(e.field)].name
                                                      : source(e));
        switch (e.op) {
            case Op::Column:
                d.type = fields_[static_cast<size_t>(e.field)].type;
                d.width = fields_[static_cast<size_t>(e.field)].width;
                return d;
            case Op::Concat:
                d.type = FieldType::Text;
                d.width = 255;
                return d;
            case Op::Upper:
            case Op::Lower:
            case Op::Trim:
            case Op::Substring:
            case Op::Min:
            case Op::Max: {
                FieldDef inner = outputDef(*e.args[0], "");
                if (e.op == Op::Min || e.op == Op::Max) {
                    inner.name = d.name;
                    return inner;
                }
                if (inner.type == FieldType::Memo || inner.type == FieldType::Blob) {
                    d.type = FieldType::Memo;
                } else {
                    d.type = FieldType::Text;
                    d.width = inner.type == FieldType::Text ? inner.width : 20;
                }
                return d;
            }
            case Op::Literal:
                if (e.type == ExprType::Text) {
                    d.type = FieldType::Text;
                    d.width = std::max<int>(1, static_cast<int>(e.value.s.size()));
                    return d;
                }
                d.type = FieldType::Int64;
                return d;
            default:
                d.type = FieldType::Int64;
                return d;
        }
    }

private:
    const std::vector<FieldDef>& fields_;
    const std::string& table_;
    std::string_view s_;
    const SelectStatement& st_;
};

}  // namespace

bool sameExpr(const Expr& a, const Expr& b) {
    if (a.op != b.op || a.field != b.field || a.negated != b.negated || a.distinct != b.distinct ||
        a.trimMode != b.trimMode || a.args.size() != b.args.size() || a.ops != b.ops) {
        return false;
    }
    if (a.op == Op::Literal &&
        (a.value.type != b.value.type || a.value.i != b.value.i || a.value.s != b.value.s)) {
        return false;
    }
    for (size_t k = 0; k < a.args.size(); ++k) {
        if (!sameExpr(*a.args[k], *b.args[k])) return false;
    }
    return true;
}

BoundQuery bind(SelectStatement st, const std::vector<FieldDef>& fields,
                const std::string& tableName, std::string_view sqlText) {
    BoundQuery q;
    Binder b(fields, tableName, sqlText, st);
    if (st.where) {
        b.expr(*st.where, false);
        if (!isPredicate(st.where->op) && st.where->op != Op::Literal) {
            b.fail("Die WHERE-Bedingung " + quoted(b.source(*st.where)) + " ist kein Vergleich.");
        }
    }
    for (auto& g : st.groupBy) {
        b.expr(*g, false);
    }
    bool star = false;
    for (auto& item : st.items) {
        if (!item.expr) {
            star = true;
            continue;
        }
        b.expr(*item.expr, true);
    }
    size_t selectAggregates = b.aggregates.size();
    q.grouped = selectAggregates > 0 || !st.groupBy.empty();
    for (auto& item : st.items) {
        if (!item.expr) {
            for (size_t i = 0; i < fields.size(); ++i) {
                q.columns.push_back({fields[i], nullptr, static_cast<int>(i)});
            }
            continue;
        }
        OutputColumn c;
        c.def = b.outputDef(*item.expr, item.alias);
        if (item.expr->op == Op::Column) {
            c.field = item.expr->field;
        } else {
            c.expr = item.expr.get();
        }
        q.columns.push_back(std::move(c));
    }
    if (q.grouped) {
        if (star)
            b.fail("SELECT * lässt sich nicht mit GROUP BY oder Aggregatfunktionen verbinden.");
        for (auto& item : st.items) {
            if (!b.grouped(*item.expr, st.groupBy)) {
                b.fail("Die Spalte " + quoted(b.source(*item.expr)) +
                       " muss in GROUP BY stehen oder in einer Aggregatfunktion.");
            }
            // Grouped columns are read from the group's first row.
            if (item.expr->op == Op::Column) {
                for (auto& c : q.columns) {
                    if (c.field == item.expr->field && !c.expr) c.expr = item.expr.get();
                }
            }
        }
    }
    // ORDER BY items name a result column by number or name, or are expressions of their own.
    for (auto& o : st.orderBy) {
        Expr& e = *o.expr;
        if (e.op == Op::Literal && e.type == ExprType::Int) {
            if (e.value.i < 1 || e.value.i > static_cast<int64_t>(q.columns.size())) {
                b.fail("ORDER BY " + std::to_string(e.value.i) +
                       ": Das Ergebnis hat keine Spalte mit dieser Nummer.");
            }
            o.outputColumn = static_cast<int>(e.value.i - 1);
            continue;
        }
        if (e.op == Op::Column && e.value.type != SqlValue::Type::Text) {
            bool alias = false;
            for (const auto& item : st.items) {
                if (item.expr && !item.alias.empty() && equalNoCase(item.alias, e.name))
                    alias = true;
            }
            for (size_t k = 0; alias && k < q.columns.size(); ++k) {
                if (equalNoCase(q.columns[k].def.name, e.name)) {
                    o.outputColumn = static_cast<int>(k);
                    break;
                }
            }
            if (o.outputColumn >= 0) continue;
        }
        b.expr(e, q.grouped);
        if (q.grouped && !b.grouped(e, st.groupBy)) {
            b.fail("ORDER BY " + quoted(b.source(e)) +
                   " muss in GROUP BY stehen oder eine Aggregatfunktion sein.");
        }
    }
    q.aggregates = b.aggregates;
    q.st = std::move(st);
    return q;
}

}  // namespace mv32::engine::sql
