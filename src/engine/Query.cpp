#include "engine/Query.h"

#include "engine/EngineError.h"
#include "engine/Table.h"
#include "engine/sql/Binder.h"
#include "engine/sql/Executor.h"
#include "engine/sql/Parser.h"
#include "engine/store/TableStore.h"

namespace mv32::engine {

struct Query::State {
    std::unique_ptr<Table> own;  // the handle the query opened itself, if any
    std::shared_ptr<store::TableStore> store;
    std::string path;
    std::string tableLabel;
    std::unique_ptr<sql::BoundQuery> bound;
    std::unique_ptr<sql::Executor> exec;
    std::string plan;

    void bindAndRun(const std::string& statement) {
        const auto& fields = store->schema().fields;
        bound = std::make_unique<sql::BoundQuery>(
            sql::bind(sql::parse(statement), fields, tableLabel, statement));
        exec = std::make_unique<sql::Executor>(*store, *bound);
        exec->run();
        plan = exec->plan();
    }
};

Query::Query(std::shared_ptr<FileSystem> fs) : fs_(std::move(fs)) {}

Query::~Query() = default;

void Query::setDirectory(std::string dir) {
    close();
    directory_ = std::move(dir);
}

void Query::setSql(std::string statement) {
    close();
    sql_ = std::move(statement);
}

bool Query::active() const {
    return st_ != nullptr && st_->store->isOpen();
}

const std::string& Query::plan() const {
    static const std::string none;
    return st_ ? st_->plan : none;
}

std::string Query::tablePath() const {
    return st_ ? st_->path : std::string();
}

void Query::useTable(Table& t) {
    forgetTable(t);
    tables_.push_back(&t);
}

void Query::forgetTable(Table& t) {
    close();
    std::erase(tables_, &t);
}

void Query::open() {
    close();
    // The table name is read first so that a statement that is no SELECT at all fails with a
    // syntax error before any file is touched.
    sql::SelectStatement parsed = sql::parse(sql_);
    auto st = std::make_shared<State>();
    Table probe(fs_);
    probe.setDirectory(directory_);
    probe.setTableName(parsed.table);
    st->path = probe.filePath();
    st->tableLabel = parsed.table;
    const std::string base = probe.basePath();
    for (Table* t : tables_) {
        if (t->active() && t->store_->base() == base) st->store = t->store_;
    }
    if (!st->store) {
        st->own = std::make_unique<Table>(fs_);
        st->own->setDirectory(directory_);
        st->own->setTableName(parsed.table);
        st->own->open();
        st->store = st->own->store_;
    }
    // One read lock for computing the result and reading its first rows.
    std::shared_ptr<store::TableStore> store = st->store;
    auto scope = store->readScope();
    st->bindAndRun(sql_);
    st_ = std::move(st);
    row_ = -1;
    first();
    notify(CursorEvent::Opened);
}

std::vector<std::string> Query::takeNotices() {
    return st_ && st_->own ? st_->own->takeNotices() : std::vector<std::string>{};
}

void Query::close() {
    const bool was = st_ != nullptr;
    st_.reset();
    row_ = -1;
    bof_ = eof_ = true;
    if (was) notify(CursorEvent::Closed);
}

void Query::requireActive() const {
    if (!st_) {
        throw EngineError(ErrorKind::Usage, "Die Abfrage ist nicht geöffnet.");
    }
    if (!st_->store->isOpen()) {
        throw EngineError(ErrorKind::Usage, "Die Tabelle " + quoted(st_->tableLabel) +
                                                " der Abfrage wurde inzwischen geschlossen.");
    }
}

// A result that keeps record positions is computed again when the table changed meanwhile;
// the cursor keeps its row number as far as the new result reaches.
bool Query::refreshIfStale() {
    if (!st_->exec->stale()) return false;
    st_->bindAndRun(sql_);
    return true;
}

// The table changed since the result was computed: the result is computed again and the
// cursor stays at its row number, or on the last row when the result became shorter.
void Query::follow() {
    if (!st_ || !st_->store->isOpen() || !st_->exec->stale()) return;
    auto scope = st_->store->readScope();
    if (!refreshIfStale() || row_ < 0) return;
    if (!st_->exec->complete()) st_->exec->extend(row_ + 1);
    const int64_t known = st_->exec->knownRows();
    if (row_ >= known) {
        row_ = known - 1;
        eof_ = true;
        bof_ = row_ < 0;
    }
    if (row_ >= 0) st_->exec->load(row_, false);
}

bool Query::eof() const {
    const_cast<Query*>(this)->follow();
    return eof_;
}

bool Query::bof() const {
    const_cast<Query*>(this)->follow();
    return bof_;
}

void Query::go(int64_t row) {
    bool backwards = row < row_;
    auto place = [&] {
        int64_t count = st_->exec->knownRows();
        row_ = count == 0 ? -1 : std::clamp<int64_t>(row, 0, count - 1);
    };
    if (!st_->exec->complete() && row >= st_->exec->knownRows()) {
        // Rows not found yet are looked for now, under the read lock.
        auto scope = st_->store->readScope();
        refreshIfStale();
        st_->exec->extend(row == INT64_MAX ? INT64_MAX : row + 1);
        place();
        st_->exec->load(row_, backwards);
        return;
    }
    place();
    // Rows already read ahead need no access to the table; the others are read under the
    // read lock, after the result was brought up to date with the table.
    if (!st_->exec->loaded(row_)) {
        auto scope = st_->store->readScope();
        if (refreshIfStale()) place();
        st_->exec->load(row_, backwards);
        return;
    }
    st_->exec->load(row_, backwards);
}

void Query::first() {
    requireActive();
    Moved moved{*this};
    // Going to the first row is the moment a grid or export starts to read: show the table's
    // changes from here on.
    auto scope = st_->store->readScope();
    if (refreshIfStale()) row_ = -1;
    go(0);
    bof_ = true;
    eof_ = row_ < 0;
}

void Query::last() {
    requireActive();
    Moved moved{*this};
    go(INT64_MAX);
    eof_ = true;
    bof_ = row_ < 0;
}

void Query::next() {
    requireActive();
    Moved moved{*this};
    if (row_ < 0) {
        go(0);
        bof_ = false;
        eof_ = row_ < 0;
        return;
    }
    int64_t was = row_;
    go(row_ + 1);
    bof_ = row_ < 0;
    eof_ = row_ < 0 || row_ == was;
}

void Query::prior() {
    requireActive();
    Moved moved{*this};
    if (row_ < 0) {
        go(0);
        bof_ = true;
        eof_ = row_ < 0;
        return;
    }
    int64_t was = row_;
    go(row_ - 1);
    eof_ = row_ < 0;
    bof_ = row_ < 0 || row_ == was;
}

int64_t Query::recordCount() {
    requireActive();
    auto scope = st_->store->readScope();
    if (refreshIfStale()) go(row_);
    return st_->exec->rowCount();
}

int64_t Query::recordsFound() {
    requireActive();
    return st_->exec->knownRows();
}

bool Query::allFound() {
    requireActive();
    return st_->exec->complete();
}

void Query::findMore(int64_t rows) {
    requireActive();
    auto scope = st_->store->readScope();
    if (refreshIfStale()) go(row_);
    st_->exec->extend(rows);
}

int64_t Query::recNo() {
    requireActive();
    follow();
    return row_ + 1;
}

void Query::moveTo(int64_t n) {
    requireActive();
    Moved moved{*this};
    go(n - 1);
    bof_ = row_ <= 0;
    eof_ = row_ < 0;
}

int Query::fieldCount() const {
    return st_ ? static_cast<int>(st_->bound->columns.size()) : 0;
}

const FieldDef& Query::fieldDef(int i) const {
    requireActive();
    if (i < 0 || i >= fieldCount()) {
        throw EngineError(ErrorKind::NotFound,
                          "Das Abfrageergebnis hat keine Spalte Nummer " + std::to_string(i) + ".");
    }
    return st_->bound->columns[static_cast<size_t>(i)].def;
}

int Query::fieldIndex(std::string_view name) const {
    if (!st_) return -1;
    const auto& cols = st_->bound->columns;
    for (size_t i = 0; i < cols.size(); ++i) {
        const std::string& n = cols[i].def.name;
        if (n.size() != name.size()) continue;
        bool same = true;
        for (size_t k = 0; k < n.size() && same; ++k) {
            char a = n[k], b = name[k];
            if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
            if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
            same = a == b;
        }
        if (same) return static_cast<int>(i);
    }
    return -1;
}

std::unique_ptr<Cursor> Query::reader() {
    requireActive();
    auto r = std::make_unique<Query>(fs_);
    r->directory_ = directory_;
    r->sql_ = sql_;
    r->st_ = st_;
    r->first();
    return r;
}

Value Query::value(int i) {
    fieldDef(i);
    follow();
    if (row_ < 0) return Value();
    // A reader over the same result may have read another row since.
    if (st_->exec->current() != row_) {
        go(row_);
        if (row_ < 0) return Value();
    }
    if (st_->exec->needsTable(i)) {
        // Memo and blob data are read from the table now: the row must be current with it.
        auto scope = st_->store->readScope();
        if (refreshIfStale()) {
            go(row_);
            if (row_ < 0) return Value();
        }
        return st_->exec->value(i);
    }
    return st_->exec->value(i);
}

}  // namespace mv32::engine
