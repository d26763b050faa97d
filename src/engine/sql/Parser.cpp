#include "engine/sql/Parser.h"

#include <algorithm>
#include <charconv>

#include "engine/EngineError.h"
#include "engine/sql/Lexer.h"

namespace mv32::engine::sql {

namespace {

bool same(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

constexpr std::string_view kReserved[] = {
    "SELECT", "FROM",     "WHERE",  "GROUP", "ORDER",  "BY",      "AND",   "OR",
    "NOT",    "LIKE",     "IS",     "NULL",  "IN",     "BETWEEN", "AS",    "ASC",
    "DESC",   "DISTINCT", "ESCAPE", "ALL",   "HAVING", "FOR",     "UNION", "JOIN",
};

bool reserved(std::string_view w) {
    for (auto r : kReserved) {
        if (same(w, r)) return true;
    }
    return false;
}

class Parser {
public:
    explicit Parser(std::string_view s) : s_(s), toks_(tokenize(s)) {}

    SelectStatement statement() {
        SelectStatement st;
        expectWord("SELECT", "Die Anweisung muss mit SELECT beginnen.");
        if (acceptWord("DISTINCT")) {
            st.distinct = true;
        } else {
            acceptWord("ALL");
        }
        selectList(st);
        expectWord("FROM", "FROM erwartet.");
        tableRef(st);
        if (acceptWord("WHERE")) st.where = condition();
        if (acceptWord("GROUP")) {
            expectWord("BY", "BY erwartet.");
            do {
                st.groupBy.push_back(condition());
            } while (acceptSymbol(","));
        }
        if (isWord("HAVING")) fail("HAVING wird nicht unterstützt.");
        if (acceptWord("ORDER")) {
            expectWord("BY", "BY erwartet.");
            do {
                OrderItem o;
                o.expr = condition();
                if (acceptWord("DESC")) {
                    o.descending = true;
                } else {
                    acceptWord("ASC");
                }
                st.orderBy.push_back(std::move(o));
            } while (acceptSymbol(","));
        }
        acceptSymbol(";");
        if (cur().kind != Tok::End) fail("Hier erwartet die Anweisung nichts mehr.");
        return st;
    }

private:
    const Token& cur() const { return toks_[i_]; }
    const Token& peek(size_t n = 1) const { return toks_[std::min(i_ + n, toks_.size() - 1)]; }
    [[noreturn]] void fail(const std::string& what) const { syntaxError(s_, cur(), what); }

    bool isWord(std::string_view w) const { return cur().kind == Tok::Word && same(cur().text, w); }
    bool isSymbol(std::string_view sym) const {
        return cur().kind == Tok::Symbol && cur().text == sym;
    }
    bool acceptWord(std::string_view w) {
        if (!isWord(w)) return false;
        ++i_;
        return true;
    }
    bool acceptSymbol(std::string_view sym) {
        if (!isSymbol(sym)) return false;
        ++i_;
        return true;
    }
    void expectWord(std::string_view w, const char* what) {
        if (!acceptWord(w)) fail(what);
    }
    void expectSymbol(std::string_view sym, const char* what) {
        if (!acceptSymbol(sym)) fail(what);
    }

    void selectList(SelectStatement& st) {
        if (acceptSymbol("*")) {
            st.items.push_back({});
            return;
        }
        do {
            SelectItem item;
            item.expr = condition();
            if (acceptWord("AS")) {
                if (cur().kind != Tok::Word && cur().kind != Tok::String) {
                    fail("Name der Ergebnisspalte erwartet.");
                }
                item.alias = cur().text;
                ++i_;
            } else if (cur().kind == Tok::Word && !reserved(cur().text)) {
                item.alias = cur().text;
                ++i_;
            }
            st.items.push_back(std::move(item));
        } while (acceptSymbol(","));
    }

    void tableRef(SelectStatement& st) {
        if (cur().kind == Tok::String) {
            st.table = cur().text;
            st.tableQuoted = true;
            ++i_;
        } else if (cur().kind == Tok::Word && cur().name && !reserved(cur().text)) {
            st.table = cur().text;
            ++i_;
        } else {
            fail("Tabellenname erwartet.");
        }
        if (acceptWord("AS")) {
            if (cur().kind != Tok::Word) fail("Aliasname erwartet.");
            st.alias = cur().text;
            ++i_;
        } else if (cur().kind == Tok::Word && !reserved(cur().text)) {
            st.alias = cur().text;
            ++i_;
        }
        if (isSymbol(",") || isWord("JOIN")) fail("Eine Abfrage kann nur eine Tabelle lesen.");
    }

    ExprPtr make(Op op, size_t pos) {
        auto e = std::make_unique<Expr>();
        e->op = op;
        e->pos = pos;
        return e;
    }
    // Expressions are evaluated recursively: their depth is limited, so that no statement can
    // exhaust the stack. Only nesting counts (parentheses, NOT, functions); a chain of AND, OR
    // or arithmetic is one level however long it is.
    static constexpr int kMaxDepth = 200;

    ExprPtr finish(ExprPtr e) {
        e->end = toks_[i_ ? i_ - 1 : 0].end;
        for (const auto& a : e->args) e->depth = std::max(e->depth, a->depth + 1);
        if (e->depth > kMaxDepth) tooDeep();
        return e;
    }
    [[noreturn]] void tooDeep() const {
        fail("Die Anweisung ist zu tief verschachtelt (höchstens " + std::to_string(kMaxDepth) +
             " Ebenen).");
    }
    // Counts the nesting of the parser's own recursion.
    struct Nesting {
        explicit Nesting(Parser& p) : p_(p) {
            if (++p_.nesting_ > kMaxDepth) p_.tooDeep();
        }
        ~Nesting() { --p_.nesting_; }
        Parser& p_;
    };

    // A chain of AND or OR: one node with every operand.
    template <typename Next>
    ExprPtr logical(const char* word, Op op, Next next) {
        ExprPtr first = (this->*next)();
        if (!isWord(word)) return first;
        auto e = make(op, first->pos);
        e->args.push_back(std::move(first));
        while (isWord(word)) {
            ++i_;
            e->args.push_back((this->*next)());
        }
        return finish(std::move(e));
    }

    ExprPtr condition() { return logical("OR", Op::Or, &Parser::conjunction); }
    ExprPtr conjunction() { return logical("AND", Op::And, &Parser::negation); }

    ExprPtr negation() {
        if (isWord("NOT")) {
            Nesting nesting(*this);
            auto e = make(Op::Not, cur().pos);
            ++i_;
            e->args.push_back(negation());
            return finish(std::move(e));
        }
        return predicate();
    }

    ExprPtr predicate() {
        ExprPtr left = additive();
        if (cur().kind == Tok::Symbol) {
            static const std::pair<const char*, Op> ops[] = {
                {"=", Op::Eq}, {"<>", Op::Ne}, {"!=", Op::Ne}, {"<", Op::Lt},
                {">", Op::Gt}, {"<=", Op::Le}, {">=", Op::Ge}};
            for (auto& [sym, op] : ops) {
                if (cur().text == sym) {
                    ++i_;
                    auto e = make(op, left->pos);
                    e->args.push_back(std::move(left));
                    e->args.push_back(additive());
                    return finish(std::move(e));
                }
            }
            return left;
        }
        if (isWord("IS")) {
            ++i_;
            auto e = make(Op::IsNull, left->pos);
            e->negated = acceptWord("NOT");
            expectWord("NULL", "NULL erwartet.");
            e->args.push_back(std::move(left));
            return finish(std::move(e));
        }
        bool negated = false;
        if (isWord("NOT") && peek().kind == Tok::Word &&
            (same(peek().text, "LIKE") || same(peek().text, "IN") ||
             same(peek().text, "BETWEEN"))) {
            negated = true;
            ++i_;
        }
        if (acceptWord("LIKE")) {
            auto e = make(Op::Like, left->pos);
            e->negated = negated;
            e->args.push_back(std::move(left));
            e->args.push_back(additive());
            if (acceptWord("ESCAPE")) e->args.push_back(additive());
            return finish(std::move(e));
        }
        if (acceptWord("IN")) {
            auto e = make(Op::In, left->pos);
            e->negated = negated;
            e->args.push_back(std::move(left));
            expectSymbol("(", "( erwartet.");
            do {
                e->args.push_back(additive());
            } while (acceptSymbol(","));
            expectSymbol(")", ") erwartet.");
            return finish(std::move(e));
        }
        if (acceptWord("BETWEEN")) {
            auto e = make(Op::Between, left->pos);
            e->negated = negated;
            e->args.push_back(std::move(left));
            e->args.push_back(additive());
            expectWord("AND", "AND erwartet.");
            e->args.push_back(additive());
            return finish(std::move(e));
        }
        if (negated) fail("LIKE, IN oder BETWEEN erwartet.");
        return left;
    }

    // Operators of one family continue the chain; an operator of another family makes the
    // chain so far its first operand, which keeps the order from left to right.
    template <typename Next, typename Which>
    ExprPtr chain(Next next, Which which) {
        ExprPtr left = (this->*next)();
        ExprPtr node;
        for (;;) {
            Op op;
            if (!which(op)) break;
            ++i_;
            ExprPtr right = (this->*next)();
            bool sameFamily = node && (node->op == Op::Concat) == (op == Op::Concat);
            if (!sameFamily) {
                if (node) left = finish(std::move(node));
                node = make(op, left->pos);
                node->args.push_back(std::move(left));
            } else if (op != node->op || !node->ops.empty()) {
                if (node->ops.empty()) node->ops.assign(node->args.size() - 1, node->op);
                node->ops.push_back(op);
            }
            node->args.push_back(std::move(right));
        }
        return node ? finish(std::move(node)) : std::move(left);
    }

    ExprPtr additive() {
        return chain(&Parser::multiplicative, [this](Op& op) {
            if (isSymbol("+"))
                op = Op::Add;
            else if (isSymbol("-"))
                op = Op::Sub;
            else if (isSymbol("||"))
                op = Op::Concat;
            else
                return false;
            return true;
        });
    }

    ExprPtr multiplicative() {
        return chain(&Parser::operand, [this](Op& op) {
            if (isSymbol("*"))
                op = Op::Mul;
            else if (isSymbol("/"))
                op = Op::Div;
            else
                return false;
            return true;
        });
    }

    ExprPtr number(bool negative, size_t pos) {
        auto e = make(Op::Literal, pos);
        int64_t v = 0;
        const std::string& d = cur().text;
        auto [p, ec] = std::from_chars(d.data(), d.data() + d.size(), v);
        if (ec != std::errc() || p != d.data() + d.size()) fail("Die Zahl ist zu groß.");
        e->value = SqlValue::integer(negative ? -v : v);
        e->type = ExprType::Int;
        ++i_;
        return finish(std::move(e));
    }

    ExprPtr operand() {
        const Token& t = cur();
        switch (t.kind) {
            case Tok::Number:
                return number(false, t.pos);
            case Tok::String: {
                auto e = make(Op::Literal, t.pos);
                e->value = SqlValue::textOf(t.text);
                e->type = ExprType::Text;
                ++i_;
                return finish(std::move(e));
            }
            case Tok::Symbol:
                if (t.text == "-" || t.text == "+") {
                    size_t pos = t.pos;
                    bool negative = t.text == "-";
                    ++i_;
                    if (cur().kind == Tok::Number) return number(negative, pos);
                    Nesting nesting(*this);
                    ExprPtr inner = operand();
                    if (!negative) return inner;
                    auto e = make(Op::Sub, pos);
                    auto zero = make(Op::Literal, pos);
                    zero->value = SqlValue::integer(0);
                    zero->type = ExprType::Int;
                    e->args.push_back(std::move(zero));
                    e->args.push_back(std::move(inner));
                    return finish(std::move(e));
                }
                if (t.text == "(") {
                    Nesting nesting(*this);
                    ++i_;
                    ExprPtr inner = condition();
                    expectSymbol(")", ") erwartet.");
                    return inner;
                }
                fail("Ausdruck erwartet.");
            case Tok::Word:
                return wordOperand();
            case Tok::End:
                break;
        }
        fail("Ausdruck erwartet.");
    }

    ExprPtr wordOperand() {
        const Token& t = cur();
        size_t pos = t.pos;
        if (same(t.text, "NULL")) {
            ++i_;
            return finish(make(Op::Literal, pos));
        }
        if (peek().kind == Tok::Symbol && peek().text == "(") {
            static const std::pair<const char*, Op> fns[] = {
                {"UPPER", Op::Upper}, {"LOWER", Op::Lower},
                {"TRIM", Op::Trim},   {"SUBSTRING", Op::Substring},
                {"COUNT", Op::Count}, {"MIN", Op::Min},
                {"MAX", Op::Max},     {"SUM", Op::Sum}};
            for (auto& [fname, op] : fns) {
                if (same(t.text, fname)) {
                    i_ += 2;
                    return function(op, pos);
                }
            }
            fail("Unbekannte Funktion.");
        }
        if (reserved(t.text)) fail("Ausdruck erwartet.");
        auto e = make(Op::Column, pos);
        e->name = t.text;
        ++i_;
        // A qualified name (alias.field): the qualifier is checked when binding.
        if (isSymbol(".") && peek().kind == Tok::Word) {
            e->value = SqlValue::textOf(e->name);
            e->name = peek().text;
            i_ += 2;
        }
        return finish(std::move(e));
    }

    ExprPtr function(Op op, size_t pos) {
        Nesting nesting(*this);
        auto e = make(op, pos);
        switch (op) {
            case Op::Count:
                if (acceptSymbol("*")) break;
                e->distinct = acceptWord("DISTINCT");
                e->args.push_back(condition());
                break;
            case Op::Min:
            case Op::Max:
            case Op::Sum:
                e->distinct = acceptWord("DISTINCT");
                e->args.push_back(condition());
                break;
            case Op::Trim: {
                bool modeGiven = true;
                if (acceptWord("LEADING")) {
                    e->trimMode = 1;
                } else if (acceptWord("TRAILING")) {
                    e->trimMode = 2;
                } else if (!acceptWord("BOTH")) {
                    modeGiven = false;
                }
                ExprPtr first;
                if (!(modeGiven && isWord("FROM"))) first = condition();
                if (acceptWord("FROM")) {
                    e->args.push_back(condition());
                    if (first) e->args.push_back(std::move(first));
                } else {
                    if (modeGiven || !first) fail("FROM erwartet.");
                    e->args.push_back(std::move(first));
                }
                break;
            }
            case Op::Substring:
                e->args.push_back(condition());
                if (acceptWord("FROM") || acceptSymbol(",")) {
                    e->args.push_back(condition());
                    if (acceptWord("FOR") || acceptSymbol(",")) e->args.push_back(condition());
                } else {
                    fail("FROM erwartet.");
                }
                break;
            default:
                e->args.push_back(condition());
                break;
        }
        expectSymbol(")", ") erwartet.");
        return finish(std::move(e));
    }

    std::string_view s_;
    std::vector<Token> toks_;
    size_t i_ = 0;
    int nesting_ = 0;
};

}  // namespace

SelectStatement parse(std::string_view sqlText) {
    return Parser(sqlText).statement();
}

}  // namespace mv32::engine::sql
