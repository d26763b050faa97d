// A local SQL query over a table of the engine: the program's searches run through it.
//
// setSql() takes one SELECT statement, open() runs it and makes the result readable through the
// Cursor interface (the same navigation and field access as a Table, read-only), so grids,
// printing and exports treat tables and results alike.
//
// The dialect:
//   SELECT [DISTINCT] * | expression [[AS] name], ...
//   FROM table [[AS] alias]
//   [WHERE condition] [GROUP BY expression, ...] [ORDER BY expression [ASC|DESC], ...]
// The table is named bare (`mv32list`, resolved in the query's folder, ".db" implied), by its
// file name (`cat.db`) or quoted ("cat.db", "/home/x/Kataloge/cat.db"). Conditions use AND, OR,
// NOT, parentheses, = <> != < > <= >=, LIKE with % and _ (case-sensitive, optional ESCAPE),
// IS [NOT] NULL, [NOT] IN (...), [NOT] BETWEEN ... AND ...; functions UPPER, LOWER, TRIM,
// SUBSTRING; + - * / on integers, || joining texts; aggregates COUNT(*), COUNT, MIN, MAX, SUM.
// Literals are integers and texts in single or double quotes (a doubled quote inside stands for
// one). For comparisons see
// sql/Eval.h: a number field compared with a text literal reads the literal as a number (one
// that is none is an error); a text field compared with a number compares numerically.
//
// Plain results (no DISTINCT, GROUP BY or aggregates) keep only record positions, never the
// records' contents: a result of a million rows costs eight bytes a row, and each row is read
// when the cursor reaches it. A plain result with a condition and without ORDER BY is found
// only as far as the cursor reads it: opening it and reading its first rows costs what those
// rows cost, recordsFound() says how many rows are known, allFound() whether that is all, and
// recordCount() or last() finishes the pass. An equality, range or prefix-LIKE condition on the
// leading field of an index reads only that part of the index; ORDER BY on the fields of an
// index reads in the index's order when there is no condition.
//
// When the table changes underneath (another handle, or the table the query reads through),
// the result runs its statement again at the next access and keeps the cursor's row number.
// So when the record of the current row is deleted, the current row shows the record after
// it: walking a result while its records are deleted shows no record twice, and a found record
// that was deleted never causes an error. Records added meanwhile may move the rows after them.
//
// Errors are EngineError with German messages; a statement that fails leaves the query closed.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "engine/Cursor.h"
#include "engine/FileSystem.h"

namespace mv32::engine {

class Table;

class Query : public Cursor {
public:
    explicit Query(std::shared_ptr<FileSystem> fs = FileSystem::real());
    ~Query() override;
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    // The folder that table names without a folder are resolved in.
    void setDirectory(std::string dir);
    const std::string& directory() const { return directory_; }
    // Replaces the statement; closes the query.
    void setSql(std::string statement);
    // Statements that name this table's file read through this open handle instead of opening
    // one of their own: they see its changes at once, share its cached pages, and work while
    // it holds the table exclusively. The table must outlive the query (or be forgotten), and
    // a result read through it becomes unusable when it is closed.
    void useTable(Table& t);
    void forgetTable(Table& t);
    const std::string& sql() const { return sql_; }

    void open();
    void close();
    // What opening the table of the statement found and dealt with (see Table::takeNotices).
    std::vector<std::string> takeNotices();
    bool active() const override;

    // How the last open read the table, for the table tool and tests: "Tabelle" (one pass in
    // primary order), "Index NAME" (one pass in that index's order), followed by ", Bereich"
    // when only a key range was read and ", sortiert" when the rows were sorted afterwards.
    const std::string& plan() const;
    // Path of the table the statement reads.
    std::string tablePath() const;

    // --- Cursor
    void first() override;
    void last() override;
    void next() override;
    void prior() override;
    // Both follow the table's changes first (see above), so a walk that deletes records ends
    // where the result ends.
    bool eof() const override;
    bool bof() const override;
    int64_t recordCount() override;
    int64_t recordsFound() override;
    bool allFound() override;
    void findMore(int64_t rows) override;
    int64_t recNo() override;
    void moveTo(int64_t n) override;

    int fieldCount() const override;
    const FieldDef& fieldDef(int i) const override;
    int fieldIndex(std::string_view name) const override;
    using Cursor::value;
    Value value(int i) override;
    // A cursor of its own over this result, for reading rows by position without moving this
    // one (a grid's rows); it shares the result and follows it when it is computed again.
    std::unique_ptr<Cursor> reader() override;

private:
    struct State;
    // Tells the listener that another row is current once the step has returned normally.
    struct Moved {
        Query& q;
        int exceptions = std::uncaught_exceptions();
        ~Moved() {
            if (std::uncaught_exceptions() != exceptions) return;
            try {
                q.notify(CursorEvent::Moved);
            } catch (...) {  // the listener's failure is its own: the step has happened
            }
        }
    };
    void requireActive() const;
    void go(int64_t row);
    bool refreshIfStale();
    void follow();

    std::shared_ptr<FileSystem> fs_;
    std::string directory_;
    std::string sql_;
    std::vector<Table*> tables_;
    std::shared_ptr<State> st_;
    int64_t row_ = -1;  // 0-based current row, -1 none
    bool bof_ = true;
    bool eof_ = true;
};

}  // namespace mv32::engine
