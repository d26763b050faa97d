// The parsed form of a SELECT statement of the local SQL dialect.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mv32::engine::sql {

// A value during evaluation: NULL, an integer or a text (UTF-8).
struct SqlValue {
    enum class Type : uint8_t { Null, Int, Text };
    Type type = Type::Null;
    int64_t i = 0;
    std::string s;

    static SqlValue null() { return {}; }
    static SqlValue integer(int64_t v) { return {Type::Int, v, {}}; }
    static SqlValue textOf(std::string v) { return {Type::Text, 0, std::move(v)}; }
    bool isNull() const { return type == Type::Null; }
};

// Static type of an expression, known after binding.
enum class ExprType : uint8_t { Unknown, Int, Text };

enum class Op : uint8_t {
    Column,     // a field of the table: `field`
    Literal,    // `value`
    Upper,      // UPPER(a)
    Lower,      // LOWER(a)
    Trim,       // TRIM(a) with `trimMode` and optional character in args[1]
    Substring,  // SUBSTRING(a FROM b [FOR c])
    Count,      // COUNT(*) (no args) or COUNT([DISTINCT] a)
    Min,
    Max,
    Sum,
    Eq,
    Ne,
    Lt,
    Gt,
    Le,
    Ge,
    Like,     // a LIKE b [ESCAPE c]; `negated` for NOT LIKE
    IsNull,   // a IS [NOT] NULL
    In,       // a [NOT] IN (b, c, ...)
    Between,  // a [NOT] BETWEEN b AND c
    And,
    Or,
    Not,
    Add,
    Sub,
    Mul,
    Div,     // integer arithmetic; a text operand is read as a number
    Concat,  // a || b
};

// AND, OR, || and the arithmetic operators take any number of operands, so that a long flat
// chain (a OR b OR c …, a + b - c …) is one node and evaluates without recursion. Arithmetic
// chains combine from left to right; `ops` names each operator where they differ.

struct Expr {
    Op op = Op::Literal;
    std::vector<std::unique_ptr<Expr>> args;
    std::vector<Op> ops;     // arithmetic chains: ops[k-1] joins args[k]; empty: all `op`
    SqlValue value;          // Literal
    std::string name;        // Column: the name as written (qualifier removed)
    int field = -1;          // Column: index in the table, set by binding
    bool negated = false;    // NOT LIKE, IS NOT NULL, NOT IN, NOT BETWEEN
    bool distinct = false;   // COUNT(DISTINCT a)
    int trimMode = 0;        // 0 both, 1 leading, 2 trailing
    int aggregateSlot = -1;  // aggregates: slot in the group's accumulators
    // LIKE with a literal pattern, analysed once: 1 equal to, 2 begins with, 3 ends with,
    // 4 contains `likeCore`; 0 anything else.
    int likeShape = 0;
    std::string likeCore;
    ExprType type = ExprType::Unknown;
    int depth = 1;            // levels of the tree below and including this node
    size_t pos = 0, end = 0;  // source range, for messages and result column names

    Op operatorBefore(size_t k) const { return ops.empty() ? op : ops[k - 1]; }
    bool isAggregate() const {
        return op == Op::Count || op == Op::Min || op == Op::Max || op == Op::Sum;
    }
};

using ExprPtr = std::unique_ptr<Expr>;

struct SelectItem {
    ExprPtr expr;  // null for `*`
    std::string alias;
};

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
    int outputColumn = -1;  // set when the item names a result column (alias or number)
};

struct SelectStatement {
    bool distinct = false;
    std::vector<SelectItem> items;
    std::string table;  // as written: bare name, file name, quoted name or path
    bool tableQuoted = false;
    std::string alias;
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    std::vector<OrderItem> orderBy;
};

}  // namespace mv32::engine::sql
