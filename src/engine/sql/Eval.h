// Evaluation of bound expressions of the local SQL dialect.
//
// Comparison rules: two texts compare by code point, case-sensitive; two integers numerically;
// an integer and a text numerically, where a text that is no integer makes the comparison
// unknown (it matches nothing). NULL makes every comparison unknown; AND, OR and NOT follow
// three-valued logic and a row qualifies only when its condition is true. A blank text field
// reads as '' and a blank number as NULL; IS NULL holds for both.
#pragma once

#include <optional>
#include <string_view>

#include "engine/sql/Ast.h"

namespace mv32::engine::sql {

// The row an expression is evaluated on.
class RowContext {
public:
    virtual ~RowContext() = default;
    virtual const SqlValue& column(int field) = 0;
    // The finished value of aggregate `slot` of the current group.
    virtual const SqlValue& aggregate(int slot) = 0;
};

SqlValue evaluate(const Expr& e, RowContext& row);

// True only for a true condition (a nonzero integer).
bool isTrue(const SqlValue& v);

// IS NULL: NULL or an empty text.
bool isNullish(const SqlValue& v);

// <0, 0, >0, or nothing when the comparison is unknown.
std::optional<int> compare(const SqlValue& a, const SqlValue& b);

// The integer a text stands for (blanks around it allowed), or nothing.
std::optional<int64_t> parseInteger(std::string_view s);

// LIKE: `%` any run of characters, `_` one character, `escape` (when not 0) makes the next
// pattern character literal. Case-sensitive.
bool like(std::string_view value, std::string_view pattern, char32_t escape = 0);

// The shape of a pattern without escape (see Expr::likeShape) and its text without wildcards.
int likeShape(std::string_view pattern, std::string* core);

// Text form of a value for text functions: an integer's decimal digits.
std::string textOf(const SqlValue& v);

}  // namespace mv32::engine::sql
