#include "engine/sql/Eval.h"

#include <charconv>

#include "engine/EngineError.h"
#include "engine/Text.h"

namespace mv32::engine::sql {

namespace {

SqlValue boolean(std::optional<bool> b) {
    return b ? SqlValue::integer(*b ? 1 : 0) : SqlValue::null();
}

std::optional<bool> truth(const SqlValue& v) {
    if (v.isNull()) return std::nullopt;
    if (v.type == SqlValue::Type::Int) return v.i != 0;
    return !v.s.empty();
}

int sign(int64_t a, int64_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// Matches the pattern from pattern index p against the value from index v.
bool likeFrom(std::string_view val, size_t v, std::string_view pat, size_t p, char32_t escape) {
    while (p < pat.size()) {
        size_t plen = 0;
        char32_t pc = text::decodeAt(pat, p, &plen);
        if (pc == U'%') {
            // Collapse runs of %; a trailing % matches everything left.
            while (p < pat.size() && pat[p] == '%') ++p;
            if (p == pat.size()) return true;
            for (size_t k = v; k <= val.size();
                 k += (k < val.size() ? text::sequenceLength(val, k) : 1)) {
                if (likeFrom(val, k, pat, p, escape)) return true;
                if (k == val.size()) break;
            }
            return false;
        }
        if (v >= val.size()) return false;
        size_t vlen = 0;
        char32_t vc = text::decodeAt(val, v, &vlen);
        if (pc == U'_') {
            v += vlen;
            p += plen;
            continue;
        }
        if (escape && pc == escape && p + plen < pat.size()) {
            p += plen;
            pc = text::decodeAt(pat, p, &plen);
        }
        if (pc != vc) return false;
        v += vlen;
        p += plen;
    }
    return v == val.size();
}

bool matchShape(std::string_view val, int shape, std::string_view core) {
    switch (shape) {
        case 1:
            return val == core;
        case 2:
            return val.substr(0, core.size()) == core;
        case 3:
            return val.size() >= core.size() && val.substr(val.size() - core.size()) == core;
        default:
            return val.find(core) != std::string_view::npos;
    }
}

std::string trimmed(std::string_view s, int mode, std::string_view what) {
    size_t b = 0, e = s.size();
    if (what.empty()) return std::string(s);
    if (mode != 2) {
        while (s.substr(b, what.size()) == what && b < e) b += what.size();
    }
    if (mode != 1) {
        while (e >= b + what.size() && s.substr(e - what.size(), what.size()) == what) {
            e -= what.size();
        }
    }
    return std::string(s.substr(b, e - b));
}

SqlValue substring(const std::string& s, int64_t start, std::optional<int64_t> count) {
    // Characters count from 1; a start before 1 shortens the count as in standard SQL.
    if (count && *count < 0) {
        throw EngineError(ErrorKind::Range, "SUBSTRING: Die Länge darf nicht negativ sein.");
    }
    int64_t from = start;
    int64_t to = count && start <= INT64_MAX - *count ? start + *count : INT64_MAX;
    if (from < 1) from = 1;
    std::string out;
    int64_t n = 1;
    for (size_t i = 0; i < s.size() && n < to; ++n) {
        size_t len = text::sequenceLength(s, i);
        if (n >= from) out.append(s, i, len);
        i += len;
    }
    return SqlValue::textOf(std::move(out));
}

// A value as a number: an integer, or a text that is one.
std::optional<int64_t> numberOf(const SqlValue& v) {
    if (v.type == SqlValue::Type::Int) return v.i;
    if (v.type == SqlValue::Type::Text) return parseInteger(v.s);
    return std::nullopt;
}

// The value of e without copying it when it is a field or a literal.
const SqlValue& valueOf(const Expr& e, RowContext& row, SqlValue& temp) {
    if (e.op == Op::Column) return row.column(e.field);
    if (e.op == Op::Literal) return e.value;
    temp = evaluate(e, row);
    return temp;
}

}  // namespace

bool isTrue(const SqlValue& v) {
    return v.type == SqlValue::Type::Int && v.i != 0;
}

bool isNullish(const SqlValue& v) {
    return v.isNull() || (v.type == SqlValue::Type::Text && v.s.empty());
}

std::optional<int64_t> parseInteger(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    int64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
    return v;
}

std::optional<int> compare(const SqlValue& a, const SqlValue& b) {
    using T = SqlValue::Type;
    if (a.isNull() || b.isNull()) return std::nullopt;
    if (a.type == T::Text && b.type == T::Text) {
        int c = a.s.compare(b.s);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (a.type == T::Int && b.type == T::Int) return sign(a.i, b.i);
    if (a.type == T::Int) {
        auto n = parseInteger(b.s);
        if (!n) return std::nullopt;
        return sign(a.i, *n);
    }
    auto n = parseInteger(a.s);
    if (!n) return std::nullopt;
    return sign(*n, b.i);
}

int likeShape(std::string_view pat, std::string* core) {
    bool lead = !pat.empty() && pat.front() == '%';
    bool trail = pat.size() > 1 && pat.back() == '%';
    std::string_view c = pat.substr(lead ? 1 : 0);
    if (trail) c.remove_suffix(1);
    if (c.find_first_of("%_") != std::string_view::npos) return 0;
    core->assign(c);
    return lead && trail ? 4 : trail ? 2 : lead ? 3 : 1;
}

bool like(std::string_view value, std::string_view pattern, char32_t escape) {
    std::string core;
    if (!escape) {
        if (int shape = likeShape(pattern, &core)) return matchShape(value, shape, core);
    }
    return likeFrom(value, 0, pattern, 0, escape);
}

std::string textOf(const SqlValue& v) {
    return v.type == SqlValue::Type::Int ? std::to_string(v.i) : v.s;
}

SqlValue evaluate(const Expr& e, RowContext& row) {
    switch (e.op) {
        case Op::Column:
            return row.column(e.field);
        case Op::Literal:
            return e.value;
        case Op::Upper:
        case Op::Lower: {
            SqlValue temp;
            const SqlValue& a = valueOf(*e.args[0], row, temp);
            if (a.isNull()) return a;
            if (a.type == SqlValue::Type::Int) {
                return SqlValue::textOf(std::to_string(a.i));
            }
            return SqlValue::textOf(e.op == Op::Upper ? text::upper(a.s) : text::lower(a.s));
        }
        case Op::Trim: {
            SqlValue a = evaluate(*e.args[0], row);
            if (a.isNull()) return a;
            std::string what = " ";
            if (e.args.size() > 1) {
                SqlValue w = evaluate(*e.args[1], row);
                if (w.isNull()) return w;
                what = textOf(w);
            }
            return SqlValue::textOf(trimmed(textOf(a), e.trimMode, what));
        }
        case Op::Substring: {
            SqlValue a = evaluate(*e.args[0], row);
            auto from = numberOf(evaluate(*e.args[1], row));
            std::optional<int64_t> count;
            if (e.args.size() > 2) {
                count = numberOf(evaluate(*e.args[2], row));
                if (!count) return SqlValue::null();
            }
            if (a.isNull() || !from) return SqlValue::null();
            return substring(textOf(a), *from, count);
        }
        case Op::Count:
        case Op::Min:
        case Op::Max:
        case Op::Sum:
            return row.aggregate(e.aggregateSlot);
        case Op::Eq:
        case Op::Ne:
        case Op::Lt:
        case Op::Gt:
        case Op::Le:
        case Op::Ge: {
            SqlValue ta, tb;
            auto c = compare(valueOf(*e.args[0], row, ta), valueOf(*e.args[1], row, tb));
            if (!c) return SqlValue::null();
            switch (e.op) {
                case Op::Eq:
                    return boolean(*c == 0);
                case Op::Ne:
                    return boolean(*c != 0);
                case Op::Lt:
                    return boolean(*c < 0);
                case Op::Gt:
                    return boolean(*c > 0);
                case Op::Le:
                    return boolean(*c <= 0);
                default:
                    return boolean(*c >= 0);
            }
        }
        case Op::Like: {
            SqlValue ta, tp;
            const SqlValue& a = valueOf(*e.args[0], row, ta);
            const SqlValue& p = valueOf(*e.args[1], row, tp);
            if (a.isNull() || p.isNull()) return SqlValue::null();
            if (e.likeShape && a.type == SqlValue::Type::Text) {
                return boolean(matchShape(a.s, e.likeShape, e.likeCore) != e.negated);
            }
            char32_t esc = 0;
            if (e.args.size() > 2) {
                SqlValue x = evaluate(*e.args[2], row);
                std::string xs = textOf(x);
                if (text::length(xs) != 1) {
                    throw EngineError(ErrorKind::Syntax,
                                      "Das ESCAPE-Zeichen von LIKE muss genau ein Zeichen sein.");
                }
                size_t len = 0;
                esc = text::decodeAt(xs, 0, &len);
            }
            bool m = a.type == SqlValue::Type::Text && p.type == SqlValue::Type::Text
                         ? like(a.s, p.s, esc)
                         : like(textOf(a), textOf(p), esc);
            return boolean(m != e.negated);
        }
        case Op::IsNull: {
            SqlValue temp;
            return boolean(isNullish(valueOf(*e.args[0], row, temp)) != e.negated);
        }
        case Op::In: {
            SqlValue ta, tk;
            const SqlValue& a = valueOf(*e.args[0], row, ta);
            bool unknown = false;
            for (size_t k = 1; k < e.args.size(); ++k) {
                auto c = compare(a, valueOf(*e.args[k], row, tk));
                if (!c) {
                    unknown = true;
                } else if (*c == 0) {
                    return boolean(!e.negated);
                }
            }
            if (unknown) return SqlValue::null();
            return boolean(e.negated);
        }
        case Op::Between: {
            SqlValue ta, tb;
            const SqlValue& a = valueOf(*e.args[0], row, ta);
            auto lo = compare(a, valueOf(*e.args[1], row, tb));
            auto hi = compare(a, valueOf(*e.args[2], row, tb));
            std::optional<bool> inside;
            if (lo && hi) {
                inside = *lo >= 0 && *hi <= 0;
            } else if ((lo && *lo < 0) || (hi && *hi > 0)) {
                inside = false;
            }
            if (!inside) return SqlValue::null();
            return boolean(*inside != e.negated);
        }
        case Op::Add:
        case Op::Sub:
        case Op::Mul:
        case Op::Div: {
            SqlValue t;
            auto acc = numberOf(valueOf(*e.args[0], row, t));
            if (!acc) return SqlValue::null();
            for (size_t k = 1; k < e.args.size(); ++k) {
                auto b = numberOf(valueOf(*e.args[k], row, t));
                if (!b) return SqlValue::null();
                int64_t a = *acc, r = 0;
                bool overflow = false;
                switch (e.operatorBefore(k)) {
                    case Op::Add:
                        overflow = __builtin_add_overflow(a, *b, &r);
                        break;
                    case Op::Sub:
                        overflow = __builtin_sub_overflow(a, *b, &r);
                        break;
                    case Op::Mul:
                        overflow = __builtin_mul_overflow(a, *b, &r);
                        break;
                    default:
                        // Division by zero gives NULL, as a missing value would.
                        if (*b == 0) return SqlValue::null();
                        if (a == INT64_MIN && *b == -1) {
                            overflow = true;
                        } else {
                            r = a / *b;
                        }
                        break;
                }
                if (overflow) {
                    throw EngineError(ErrorKind::Range,
                                      "Zahlenüberlauf beim Rechnen: Das Ergebnis passt nicht in "
                                      "eine 64-Bit-Zahl.");
                }
                acc = r;
            }
            return SqlValue::integer(*acc);
        }
        case Op::Concat: {
            std::string out;
            SqlValue t;
            for (const auto& a : e.args) {
                const SqlValue& v = valueOf(*a, row, t);
                if (v.isNull()) return SqlValue::null();
                out += textOf(v);
            }
            return SqlValue::textOf(std::move(out));
        }
        case Op::And:
        case Op::Or: {
            // Three-valued: a deciding operand (false for AND, true for OR) decides; else any
            // unknown operand makes the whole unknown.
            const bool decides = e.op == Op::Or;
            bool unknown = false;
            for (const auto& a : e.args) {
                auto v = truth(evaluate(*a, row));
                if (!v)
                    unknown = true;
                else if (*v == decides)
                    return boolean(decides);
            }
            if (unknown) return SqlValue::null();
            return boolean(!decides);
        }
        case Op::Not: {
            auto a = truth(evaluate(*e.args[0], row));
            if (!a) return SqlValue::null();
            return boolean(!*a);
        }
    }
    return SqlValue::null();
}

}  // namespace mv32::engine::sql
