// Binds a parsed statement to the fields of its table: resolves names, settles types, checks
// grouping and describes the result's columns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/Field.h"
#include "engine/sql/Ast.h"

namespace mv32::engine::sql {

struct OutputColumn {
    FieldDef def;
    const Expr* expr = nullptr;  // null: the table's field `field` as it is
    int field = -1;
};

struct BoundQuery {
    SelectStatement st;
    std::vector<OutputColumn> columns;
    std::vector<const Expr*> aggregates;  // by slot
    bool grouped = false;                 // aggregates or GROUP BY: one row per group
    bool materialized() const { return grouped || st.distinct; }
};

// `fields` are the table's fields, `tableName` its name for messages (»cat.db«).
BoundQuery bind(SelectStatement st, const std::vector<FieldDef>& fields,
                const std::string& tableName, std::string_view sqlText);

// Whether two bound expressions are the same expression.
bool sameExpr(const Expr& a, const Expr& b);

}  // namespace mv32::engine::sql
