#include "engine/Table.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <exception>
#include <optional>
#include <utility>

#include "engine/EngineError.h"
#include "engine/PathNames.h"
#include "engine/Text.h"
#include "engine/store/BTree.h"
#include "engine/store/Coding.h"
#include "engine/store/TableStore.h"

namespace mv32::engine {

using store::BlobRef;
using store::LargeValue;
using store::TreePos;

namespace {

std::string upperAscii(std::string s) {
    for (auto& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return s;
}

bool endsWithDb(const std::string& name) {
    return name.size() >= 3 && upperAscii(name.substr(name.size() - 3)) == ".DB";
}

std::string trim(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
    return std::string(s.substr(a, b - a));
}

}  // namespace

// A listener's failure is its own: the change has happened and is not undone.
void Table::announce(CursorEvent event) {
    try {
        notify(event);
    } catch (...) {
    }
}

Table::Table(std::shared_ptr<FileSystem> fs)
    : names_(TableFileNames::over(std::move(fs))), fs_(names_), pos_(std::make_unique<TreePos>()) {}

Table::~Table() {
    try {
        close();
    } catch (...) {
        // A destructor cannot report; the log keeps what was posted.
    }
}

void Table::setCacheLimit(size_t bytes) {
    store::setCacheLimit(bytes);
}
size_t Table::cacheLimitBytes() {
    return store::cacheLimit();
}

// --- Naming --------------------------------------------------------------------------------

void Table::setDirectory(std::string dir) {
    requireInactive("Den Ordner zu ändern");
    directory_ = std::move(dir);
}

void Table::setTableName(std::string name) {
    requireInactive("Den Tabellennamen zu ändern");
    tableName_ = std::move(name);
}

std::string Table::basePath() const {
    std::string name = tableName_;
    if (endsWithDb(name)) name.resize(name.size() - 3);
    const std::string path = paths::isAbsolute(name) ? name : paths::join(directory_, name);
    // Names are compared without regard to case: an existing table keeps its spelling, so
    // that every handle of one table names it alike.
    const std::string db = names_->spelled(path + ".db");
    return db.substr(0, db.size() - 3);
}

std::string Table::filePath() const {
    // A table not on disk yet is made as its name was given ("Cat.DB" stays "Cat.DB").
    const std::string base = basePath();
    if (endsWithDb(tableName_)) names_->expect(base + tableName_.substr(tableName_.size() - 3));
    return names_->spelled(base + ".db");
}

std::string Table::displayName() const {
    return quoted(paths::fileNameOf(filePath()));
}

bool Table::exists() const {
    return fs_->exists(filePath());
}

void Table::setExclusive(bool exclusive) {
    requireInactive("Den Exklusiv-Modus zu ändern");
    exclusive_ = exclusive;
}

void Table::requireActive() const {
    if (!store_ || !store_->isOpen()) {
        throw EngineError(ErrorKind::Usage,
                          "Die Tabelle " + displayName() + " ist nicht geöffnet.");
    }
}

void Table::requireInactive(const char* what) const {
    if (store_) {
        throw EngineError(ErrorKind::Usage, std::string(what) + " ist bei geöffneter Tabelle " +
                                                displayName() + " nicht möglich.");
    }
}

// --- Table operations ----------------------------------------------------------------------

void Table::createTable() {
    requireInactive("Das Anlegen");
    filePath();  // the spelling of the new files
    store::TableStore::create(fs_, basePath(), fieldDefs_);
}

void Table::open() {
    if (store_) return;
    auto s = std::make_shared<store::TableStore>(fs_, basePath());
    s->open(exclusive_);
    store_ = std::move(s);
    try {
        selectOrder(indexName_);
    } catch (...) {
        store_.reset();
        throw;
    }
    state_ = DataSetState::Browse;
    fieldDefs_ = store_->schema().fields;
    first();
    announce(CursorEvent::Opened);
}

void Table::close() {
    if (!store_) return;
    std::exception_ptr err;
    try {
        postPending();
    } catch (...) {
        err = std::current_exception();
        state_ = DataSetState::Browse;
    }
    try {
        pos_->path.clear();
        if (!borrowed_) {
            for (auto& n : store_->takeNotices()) notices_.push_back(std::move(n));
            store_->close();
        }
    } catch (...) {
        if (!err) err = std::current_exception();
    }
    store_.reset();
    orderName_.clear();
    order_ = nullptr;
    state_ = DataSetState::Inactive;
    haveCurrent_ = false;
    bof_ = eof_ = true;
    announce(CursorEvent::Closed);
    if (err) std::rethrow_exception(err);
}

bool Table::active() const {
    return store_ != nullptr && store_->isOpen();
}

std::unique_ptr<Cursor> Table::reader() {
    requireActive();
    auto r = std::make_unique<Table>(fs_);
    r->directory_ = directory_;
    r->tableName_ = tableName_;
    r->indexName_ = indexName_;
    r->store_ = store_;
    r->borrowed_ = true;
    r->selectOrder(indexName_);
    r->state_ = DataSetState::Browse;
    r->fieldDefs_ = fieldDefs_;
    r->first();
    return r;
}

bool Table::readOnly() const {
    return store_ && store_->readOnly();
}

std::vector<std::string> Table::takeNotices() {
    if (store_) {
        for (auto& n : store_->takeNotices()) notices_.push_back(std::move(n));
    }
    return std::exchange(notices_, {});
}

std::string Table::waitingLog() const {
    return store_ ? store_->waitingLog() : std::string();
}

std::vector<std::string> Table::missingIndexes() const {
    return store_ ? store_->missingIndexes() : std::vector<std::string>{};
}

void Table::deleteTable() {
    requireInactive("Das Löschen");
    store::TableStore::drop(fs_, basePath());
}

void Table::copyTo(const std::string& target, const std::function<void(int64_t)>& started,
                   const std::function<void(int64_t)>& advanced) {
    requireInactive("Das Kopieren");
    Table to(fs_);
    to.setTableName(target);
    to.filePath();  // the spelling of the new files
    store::TableStore::copy(
        fs_, basePath(), to.basePath(),
        [&](uint64_t n) {
            if (started) started(static_cast<int64_t>(n));
        },
        [&](uint64_t n) {
            if (advanced) advanced(static_cast<int64_t>(n));
        });
}

void Table::moveTable(const std::string& target) {
    requireInactive("Das Umbenennen");
    Table to(fs_);
    to.setTableName(target);
    to.filePath();  // the spelling of the new files
    const std::string toBase = to.basePath();
    store::TableStore::move(fs_, basePath(), toBase);
    const std::string moved = to.filePath();
    directory_ = paths::folderOf(moved);
    tableName_ = paths::fileNameOf(moved);
}

template <typename F>
void Table::withExclusive(const char* what, F&& f) {
    if (store_) {
        postPending();
        if (store_->readOnly()) {
            throw EngineError(ErrorKind::ReadOnly,
                              std::string(what) + " ist nicht möglich: Die Tabelle " +
                                  displayName() +
                                  " kann nicht geändert werden: " + store_->readOnlyReason() + ".",
                              store_->readOnlyReason());
        }
        if (!store_->exclusive()) {
            throw EngineError(ErrorKind::Usage, std::string(what) +
                                                    " ist nur möglich, wenn die Tabelle " +
                                                    displayName() + " exklusiv geöffnet ist.");
        }
        f(*store_);
        pos_->path.clear();
        posGen_ = ~uint64_t{0};
        if (!indexName_.empty() && !store_->liveIndex(indexName_)) indexName_.clear();
        selectOrder(indexName_);
        first();
        announce(CursorEvent::DataChanged);
        return;
    }
    store::TableStore s(fs_, basePath());
    s.open(true);
    f(s);
    s.close();
}

void Table::emptyTable() {
    withExclusive("Das Leeren", [](store::TableStore& s) { s.empty(); });
}

void Table::packTable() {
    withExclusive("Das Packen", [](store::TableStore& s) { s.pack(); });
}

std::vector<int> Table::parseFields(const std::string& fields) const {
    std::vector<int> out;
    size_t start = 0;
    while (start <= fields.size()) {
        size_t end = fields.find(';', start);
        if (end == std::string::npos) end = fields.size();
        std::string name = trim(std::string_view(fields).substr(start, end - start));
        if (!name.empty()) {
            int i = fieldIndex(name);
            if (i < 0) {
                throw EngineError(ErrorKind::NotFound, "Das Feld " + quoted(name) +
                                                           " existiert nicht in der Tabelle " +
                                                           displayName() + ".");
            }
            out.push_back(i);
        }
        start = end + 1;
    }
    if (out.empty()) {
        throw EngineError(ErrorKind::Usage,
                          "Keine Felder angegeben für die Tabelle " + displayName() + ".");
    }
    return out;
}

void Table::addIndex(const std::string& name, const std::string& fields, unsigned options) {
    withExclusive("Das Anlegen eines Index", [&](store::TableStore& s) {
        const auto& schema = s.schema();
        std::vector<int> idx;
        size_t start = 0;
        while (start <= fields.size()) {
            size_t end = fields.find(';', start);
            if (end == std::string::npos) end = fields.size();
            std::string f = trim(std::string_view(fields).substr(start, end - start));
            if (!f.empty()) {
                int i = schema.fieldIndex(f);
                if (i < 0) {
                    throw EngineError(ErrorKind::NotFound, "Das Feld " + quoted(f) +
                                                               " existiert nicht in der Tabelle " +
                                                               displayName() + ".");
                }
                idx.push_back(i);
            }
            start = end + 1;
        }
        if (name.empty())
            s.addPrimary(idx);
        else
            s.addIndex(name, idx, options);
    });
}

void Table::deleteIndex(const std::string& name) {
    withExclusive("Das Löschen eines Index", [&](store::TableStore& s) {
        if (name.empty())
            s.dropPrimary();
        else
            s.dropIndex(name);
    });
}

void Table::regenerateIndexes() {
    requireActive();
    withExclusive("Das Neuaufbauen der Indizes", [](store::TableStore& s) { s.regenerate(); });
}

void Table::buildTrigramIndex(const std::string& field) {
    requireActive();
    const int f = this->field(field);  // throws for a field the table does not have
    withExclusive("Der Aufbau des Trigrammindex",
                  [f](store::TableStore& s) { s.buildTrigrams(f); });
}

std::string Table::trigramIndexField() {
    requireActive();
    auto scope = store_->readScope();
    const store::TrigramIndex* ix = store_->trigrams();
    if (!ix) return {};
    try {
        ix->verifyLists();
    } catch (const EngineError&) {
        return {};
    }
    return ix->stamp().field;
}

size_t Table::beginTrigramChange() {
    requireActive();
    return store_->beginTrigramChange();
}

bool Table::endTrigramChange(const std::vector<uint64_t>& removedAt,
                             const std::vector<uint64_t>& insertedAt) {
    requireActive();
    postPending();
    return store_->endTrigramChange(removedAt, insertedAt);
}

bool Table::beginTrigramFill(TrigramFill& fill) {
    requireActive();
    fill = {};
    const auto cache = store_->beginTrigramFill();
    if (!cache) return false;
    fill.cache = *cache;
    return true;
}

bool Table::endTrigramFill(TrigramFill& fill) {
    requireActive();
    postPending();
    const auto state = store_->endTrigramFill(fill.cache);
    fill.noted = state.has_value();
    if (!state) return false;
    fill.tableId = state->tableId;
    fill.counter = state->counter;
    fill.generation = state->generation;
    fill.records = state->records;
    return true;
}

bool Table::buildTrigramIndexFromFill(const std::string& field, const TrigramFill& fill,
                                      const std::vector<uint64_t>& insertedAt,
                                      const std::function<std::string_view(size_t)>& valueOf) {
    requireActive();
    const int f = this->field(field);
    if (!fill.noted) return false;
    const store::TableState state{fill.tableId, fill.counter, fill.generation, fill.records};
    bool built = false;
    withExclusive("Der Aufbau des Trigrammindex", [&](store::TableStore& s) {
        built = s.buildTrigramsFromFill(f, state, insertedAt, valueOf);
    });
    return built;
}

std::vector<std::string> Table::indexNames() const {
    std::vector<std::string> names;
    if (store_) {
        for (auto* ix : store_->liveIndexes()) names.push_back(ix->name);
    }
    return names;
}

std::vector<Table::IndexDescription> Table::indexes() const {
    std::vector<IndexDescription> out;
    if (!store_) return out;
    const auto& schema = store_->schema();
    auto join = [&](const std::vector<int>& fields) {
        std::string s;
        for (int f : fields) {
            if (!s.empty()) s += ";";
            s += schema.fields[static_cast<size_t>(f)].name;
        }
        return s;
    };
    std::string base = basePath();
    if (store_->hasPrimary())
        out.push_back({"", join(schema.cluster), 0, names_->spelled(base + ".px")});
    for (auto* ix : store_->liveIndexes()) {
        out.push_back({ix->name, join(ix->fields), ix->options,
                       names_->spelled(base + ".xg" + std::to_string(ix->fileNo - 3))});
    }
    return out;
}

std::vector<std::string> Table::files() const {
    auto files = store::TableStore::filesOf(*fs_, basePath());
    std::sort(files.begin(), files.end());
    return files;
}

bool Table::hasPrimaryIndex() const {
    return store_ && store_->hasPrimary();
}

std::vector<std::string> Table::primaryKeyFields() const {
    std::vector<std::string> out;
    if (store_ && store_->hasPrimary()) {
        for (int f : store_->schema().cluster)
            out.push_back(store_->schema().fields[static_cast<size_t>(f)].name);
    }
    return out;
}

Table::IntegrityReport Table::checkIntegrity() {
    requireActive();
    postPending();
    store::CheckReport r = store_->check();
    pos_->path.clear();
    return IntegrityReport{static_cast<int64_t>(r.records), static_cast<int64_t>(r.pages)};
}

void Table::beginBulk() {
    requireActive();
    store_->beginBulk();
}

void Table::endBulk() {
    requireActive();
    postPending();
    store_->endBulk();
}

void Table::refresh() {
    requireActive();
    postPending();
    {
        auto scope = store_->readScope();
        pos_->path.clear();
        revalidate();
    }
    announce(CursorEvent::DataChanged);
}

// --- Order and position --------------------------------------------------------------------

void Table::setIndexName(const std::string& name) {
    if (!store_) {
        indexName_ = name;
        return;
    }
    postPending();
    selectOrder(name);
    indexName_ = name;
    {
        auto scope = store_->readScope();
        if (haveCurrent_) {
            curKey_ = orderKeyFor(currentValues(), curCluster());
            keysPending_ = false;
            positionAt(curKey_);
        } else {
            first();
        }
    }
    announce(CursorEvent::DataChanged);
}

void Table::selectOrder(const std::string& name) {
    auto scope = store_->readScope();
    if (name.empty()) {
        orderName_.clear();
        order_ = nullptr;
        orderVersion_ = store_->schemaVersion();
        return;
    }
    const store::IndexInfo* ix = store_->liveIndex(name);
    if (!ix) {
        throw EngineError(
            ErrorKind::NotFound,
            "Der Index " + quoted(name) + " existiert nicht in der Tabelle " + displayName() + ".");
    }
    order_ = ix;
    orderName_ = ix->name;
    orderVersion_ = store_->schemaVersion();
    pos_->path.clear();
}

const store::IndexInfo* Table::ord() {
    // Index definitions are reloaded when another handle changes the table: find ours again.
    if (store_ && orderVersion_ != store_->schemaVersion()) {
        order_ = orderName_.empty() ? nullptr : store_->liveIndex(orderName_);
        if (!order_ && !orderName_.empty()) {
            orderName_.clear();
            indexName_.clear();
        }
        orderVersion_ = store_->schemaVersion();
    }
    return order_;
}

store::BTree& Table::tree() {
    return ord() ? store_->indexTree(*ord()) : store_->records();
}

std::string Table::orderKeyFor(const Row& values, std::string_view clusterKey) {
    if (!ord()) return std::string(clusterKey);
    return store_->schema().indexEntry(*ord(), values, clusterKey);
}

void Table::loadCurrent() {
    forwardLeaves_ = 0;  // steps keep their run; every other move starts anew
    if (!pos_->atEntry()) {
        haveCurrent_ = false;
        return;
    }
    store::BTree& t = tree();
    std::string_view e = t.entry(*pos_);
    const auto& schema = store_->schema();
    if (ord()) {
        curKey_.assign(e);
        std::string scratch;
        curCluster_.assign(schema.clusterKeyOfIndexEntry(*ord(), e, scratch));
        TreePos rp;
        if (!store_->records().find(rp, curCluster_)) {
            store::throwCorrupt(filePath(), "der Index verweist auf einen fehlenden Datensatz");
        }
        curEntry_.assign(store_->records().entry(rp));
        keysPending_ = false;
    } else {
        // A pass reads most records for a field or two: the keys and the field boundaries are
        // taken from the entry when something asks for them.
        curEntry_.assign(e);
        keysPending_ = true;
    }
    splitPending_ = true;
    readOneField_ = false;
    haveCurrent_ = true;
}

// Makes a record just written the current one without reading it back; the tree position
// is found again when the cursor moves.
void Table::setCurrent(std::string entry, std::string_view orderKey, size_t clusterLength) {
    curEntry_ = std::move(entry);
    if (clusterLength == std::string::npos)
        clusterLength = store_->schema().clusterKeyLength(curEntry_);
    curCluster_.assign(curEntry_, 0, clusterLength);
    if (orderKey.data() != curKey_.data()) curKey_.assign(orderKey);  // post's is set
    keysPending_ = false;
    splitPending_ = true;
    readOneField_ = false;
    haveCurrent_ = true;
    bof_ = eof_ = false;
    pos_->path.clear();
}

void Table::takeKeysFromEntry() {
    const size_t keyLen = store_->schema().clusterKeyLength(curEntry_);
    curCluster_.assign(curEntry_, 0, keyLen);
    curKey_.assign(curEntry_, 0, keyLen);
    keysPending_ = false;
}

const std::vector<uint32_t>& Table::curEnds() {
    if (splitPending_) {
        store_->schema().splitRecord(curEntry_, curEnds_);
        splitPending_ = false;
    }
    return curEnds_;
}

Row Table::currentValues() const {
    Row values;
    std::vector<BlobRef> refs;
    if (haveCurrent_) store_->schema().decodeRecord(curEntry_, values, refs);
    return values;
}

void Table::positionAt(std::string_view orderKey) {
    store::BTree& t = tree();
    std::string key(orderKey);
    if (!t.seek(*pos_, key) && !t.last(*pos_)) {
        haveCurrent_ = false;
        bof_ = eof_ = true;
    } else {
        loadCurrent();
        bof_ = eof_ = false;
    }
    posGen_ = store_->generation();
    posMod_ = store_->modCount();
}

// Brings the position up to date after this or another handle changed the table: the current
// record is found again by its key, or the one after it when it is gone. The caller holds a
// read scope.
void Table::revalidate() {
    if (!pos_->path.empty() && posGen_ == store_->generation() && posMod_ == store_->modCount()) {
        return;
    }
    if (!haveCurrent_) {
        store::BTree& t = tree();
        if (t.first(*pos_)) {
            loadCurrent();
        } else {
            haveCurrent_ = false;
        }
        posGen_ = store_->generation();
        posMod_ = store_->modCount();
        return;
    }
    bool b = bof_, e = eof_;
    positionAt(curKey());
    if (haveCurrent_) {
        bof_ = b;
        eof_ = e;
    }
}

bool Table::fastStep(bool forward) {
    // Inside one cached leaf no other handle's change needs to be looked for: the leaf was
    // current when it was read, and crossing to the next leaf checks again.
    if (pos_->path.empty() || posGen_ != store_->generation() || posMod_ != store_->modCount()) {
        return false;
    }
    auto& leaf = pos_->path.back();
    if (forward ? leaf.idx + 1 >= leaf.node->size() : leaf.idx == 0) return false;
    leaf.idx = forward ? leaf.idx + 1 : leaf.idx - 1;
    const int run = forwardLeaves_;
    loadCurrent();
    forwardLeaves_ = run;
    return true;
}

void Table::postPending() {
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) post();
}

void Table::first() {
    requireActive();
    Announce moved{*this, CursorEvent::Moved};
    postPending();
    auto scope = store_->readScope();
    if (tree().first(*pos_)) {
        loadCurrent();
        bof_ = true;
        eof_ = false;
    } else {
        haveCurrent_ = false;
        bof_ = eof_ = true;
    }
    posGen_ = store_->generation();
    posMod_ = store_->modCount();
}

void Table::last() {
    requireActive();
    Announce moved{*this, CursorEvent::Moved};
    postPending();
    auto scope = store_->readScope();
    if (tree().last(*pos_)) {
        loadCurrent();
        eof_ = true;
        bof_ = false;
    } else {
        haveCurrent_ = false;
        bof_ = eof_ = true;
    }
    posGen_ = store_->generation();
    posMod_ = store_->modCount();
}

void Table::next() {
    step(true);
}

void Table::prior() {
    step(false);
}

void Table::step(bool forward) {
    requireActive();
    Announce moved{*this, CursorEvent::Moved};
    postPending();
    bool& atEnd = forward ? eof_ : bof_;  // the end this step runs into
    bool& atStart = forward ? bof_ : eof_;
    // In primary order, a step inside the cached leaf reads no page: no lock is needed.
    if (haveCurrent_ && !atEnd && !ord() && fastStep(forward)) {
        atStart = false;
        return;
    }
    auto scope = store_->readScope();
    if (!haveCurrent_) {
        revalidate();
        if (!haveCurrent_) {
            atEnd = true;
            return;
        }
    }
    if (atEnd) return;
    if (fastStep(forward)) {
        atStart = false;
        return;
    }
    revalidate();
    if (!haveCurrent_) {
        eof_ = bof_ = true;
        return;
    }
    // A pass forward over a tree larger than the cache reads its leaves past the cache once it
    // has crossed a few of them in a row: they would only push out what other work needs, and
    // a grid reading a page of rows stays with the cache.
    const int run = forward ? forwardLeaves_ + 1 : 0;
    bool stepped;
    {
        std::optional<store::StreamingPass> pass;
        if (run > kLeavesBeforeStreaming) pass.emplace(tree());
        stepped = forward ? tree().next(*pos_) : tree().prev(*pos_);
    }
    if (stepped) {
        loadCurrent();
        forwardLeaves_ = run;
        atStart = false;
    } else {
        // A step past the last entry leaves the position behind it: back onto the record.
        if (forward) tree().prev(*pos_);
        atEnd = true;
    }
}

int64_t Table::recordCount() {
    requireActive();
    auto scope = store_->readScope();
    return static_cast<int64_t>(store_->recordCount());
}

int64_t Table::recNo() {
    requireActive();
    if (!haveCurrent_) return 0;
    auto scope = store_->readScope();
    revalidate();
    if (!haveCurrent_) return 0;
    return static_cast<int64_t>(tree().indexOf(*pos_)) + 1;
}

void Table::moveTo(int64_t n) {
    requireActive();
    Announce moved{*this, CursorEvent::Moved};
    postPending();
    auto scope = store_->readScope();
    int64_t count = static_cast<int64_t>(store_->recordCount());
    if (count == 0) {
        haveCurrent_ = false;
        bof_ = eof_ = true;
        return;
    }
    if (n < 1) n = 1;
    if (n > count) n = count;
    tree().seekIndex(*pos_, static_cast<uint64_t>(n - 1));
    loadCurrent();
    bof_ = n == 1;
    eof_ = false;
    posGen_ = store_->generation();
    posMod_ = store_->modCount();
}

Bookmark Table::bookmark() {
    requireActive();
    if (!haveCurrent_) return {};
    return Bookmark{curCluster()};
}

void Table::gotoBookmark(const Bookmark& b) {
    requireActive();
    Announce moved{*this, CursorEvent::Moved};
    postPending();
    auto scope = store_->readScope();
    TreePos rp;
    if (!b.valid() || !store_->records().find(rp, b.key)) {
        throw EngineError(ErrorKind::NotFound, "Der gemerkte Datensatz existiert in der Tabelle " +
                                                   displayName() + " nicht mehr.");
    }
    Row values;
    std::vector<BlobRef> refs;
    store_->schema().decodeRecord(store_->records().entry(rp), values, refs);
    positionAt(orderKeyFor(values, b.key));
}

// --- Fields --------------------------------------------------------------------------------

int Table::fieldCount() const {
    return store_ ? static_cast<int>(store_->schema().fields.size())
                  : static_cast<int>(fieldDefs_.size());
}

const FieldDef& Table::fieldDef(int i) const {
    const auto& defs = store_ ? store_->schema().fields : fieldDefs_;
    if (i < 0 || static_cast<size_t>(i) >= defs.size()) {
        throw EngineError(ErrorKind::NotFound,
                          "Feld Nummer " + std::to_string(i) + " existiert nicht.");
    }
    return defs[static_cast<size_t>(i)];
}

int Table::fieldIndex(std::string_view name) const {
    if (store_) return store_->schema().fieldIndex(name);
    std::string want = upperAscii(std::string(name));
    for (size_t i = 0; i < fieldDefs_.size(); ++i) {
        if (upperAscii(fieldDefs_[i].name) == want) return static_cast<int>(i);
    }
    return -1;
}

Value Table::value(int i) {
    requireActive();
    const FieldDef& f = fieldDef(i);
    auto idx = static_cast<size_t>(i);
    bool editing = state_ == DataSetState::Edit || state_ == DataSetState::Insert;
    if (isLarge(f.type)) {
        if (editing && !bufLarge_[idx].keep) {
            return bufLarge_[idx].blank ? Value() : Value(bufLarge_[idx].data);
        }
        if (!haveCurrent_ || state_ == DataSetState::Insert) return Value();
        BlobRef ref = store_->schema().refAt(curEntry_, curEnds(), i);
        if (!ref.id) return Value();
        auto scope = store_->readScope();
        return Value(store_->readBlob(ref));
    }
    if (editing) return buf_[idx];
    if (!haveCurrent_) return Value();
    // A pass that reads one field of each record walks to it; a second field read of the same
    // record finds all boundaries at once.
    if (splitPending_ && !readOneField_) {
        readOneField_ = true;
        return store_->schema().fieldValue(curEntry_, i);
    }
    return store_->schema().valueAt(curEntry_, curEnds(), i);
}

bool Table::hasContent(int i) {
    requireActive();
    const FieldDef& f = fieldDef(i);
    if (!isLarge(f.type)) return !value(i).isBlank();
    auto idx = static_cast<size_t>(i);
    const bool editing = state_ == DataSetState::Edit || state_ == DataSetState::Insert;
    if (editing && !bufLarge_[idx].keep) return !bufLarge_[idx].blank;
    if (!haveCurrent_ || state_ == DataSetState::Insert) return false;
    return store_->schema().refAt(curEntry_, curEnds(), i).id != 0;
}

Value Table::convert(int i, const Value& v) const {
    const FieldDef& f = fieldDef(i);
    if (v.isBlank()) return v;
    if (isInteger(f.type)) {
        int64_t n = 0;
        if (v.isInt()) {
            n = v.asInt();
        } else {
            std::string s = trim(v.asText());
            if (s.empty()) return Value();
            const char* b = s.data();
            if (*b == '+') ++b;
            auto [p, ec] = std::from_chars(b, s.data() + s.size(), n);
            if (ec != std::errc() || p != s.data() + s.size()) {
                throw EngineError(ErrorKind::Range, quoted(v.asText()) +
                                                        " ist kein gültiger ganzzahliger Wert für "
                                                        "das Feld " +
                                                        quoted(f.name) + ".");
            }
        }
        int64_t lo = INT64_MIN, hi = INT64_MAX;
        if (f.type == FieldType::Int16) lo = -32768, hi = 32767;
        if (f.type == FieldType::Int32) lo = INT32_MIN, hi = INT32_MAX;
        if (n < lo || n > hi) {
            throw EngineError(ErrorKind::Range, "Der Wert " + std::to_string(n) +
                                                    " liegt außerhalb des Bereichs des Feldes " +
                                                    quoted(f.name) + " (" + std::to_string(lo) +
                                                    " bis " + std::to_string(hi) + ").");
        }
        return Value(n);
    }
    std::string s = v.isInt() ? std::to_string(v.asInt()) : v.asText();
    if (f.type == FieldType::Text) return Value(text::fitToWidth(s, static_cast<size_t>(f.width)));
    return Value(std::move(s));
}

void Table::setValue(int i, Value v) {
    requireActive();
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) {
        throw EngineError(ErrorKind::Usage, "Die Tabelle " + displayName() +
                                                " ist nicht im Bearbeitungs- oder Einfügemodus.");
    }
    // A text that convert() would give back unchanged is taken as it is.
    const FieldDef& def = fieldDef(i);
    const bool asIs = v.isText() && !isInteger(def.type) &&
                      (def.type != FieldType::Text ||
                       (v.asText().size() <= static_cast<size_t>(def.width) &&
                        std::memchr(v.asText().data(), 0, v.asText().size()) == nullptr));
    Value c = asIs ? std::move(v) : convert(i, v);
    auto idx = static_cast<size_t>(i);
    if (isLarge(fieldDef(i).type)) {
        bufLarge_[idx].keep = false;
        bufLarge_[idx].blank = c.isBlank();
        bufLarge_[idx].data = c.isBlank() ? std::string() : c.asText();
        return;
    }
    buf_[idx] = std::move(c);
}

void Table::loadFromFile(std::string_view name, const std::string& path) {
    int i = field(name);
    std::string data;
    try {
        auto f = fs_->openReadOnly(path);
        uint64_t size = f->size();
        data.resize(static_cast<size_t>(size));
        if (f->read(0, data.data(), data.size()) != data.size()) {
            throw EngineError(ErrorKind::Io,
                              "Die Datei " + quoted(path) + " ist kürzer als erwartet.");
        }
    } catch (const EngineError& e) {
        throw EngineError(e.kind(), "Die Datei " + quoted(path) + " kann nicht in das Feld " +
                                        quoted(std::string(name)) + " geladen werden: " + e.what());
    }
    setValue(i, Value(std::move(data)));
}

// --- Editing -------------------------------------------------------------------------------

void Table::append() {
    requireActive();
    postPending();
    const auto& fields = store_->schema().fields;
    buf_.assign(fields.size(), Value());
    bufLarge_.assign(fields.size(), LargeValue{false, true, {}});
    insertBefore_.clear();
    state_ = DataSetState::Insert;
    if (afterInsert) afterInsert(*this);
    announce(CursorEvent::StateChanged);
}

void Table::insert() {
    requireActive();
    postPending();
    append();
    // Without any key, an inserted record goes before the current one.
    if (store_->schema().cluster.empty() && haveCurrent_) insertBefore_ = curCluster();
}

void Table::edit() {
    requireActive();
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) return;
    {
        auto scope = store_->readScope();
        revalidate();
    }
    if (!haveCurrent_) {
        append();
        return;
    }
    buf_ = currentValues();
    bufLarge_.assign(buf_.size(), LargeValue{true, true, {}});
    editBase_ = curEntry_;  // the record as the edit read it
    state_ = DataSetState::Edit;
    if (afterEdit) afterEdit(*this);
    announce(CursorEvent::StateChanged);
}

void Table::post() {
    requireActive();
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
    notify(CursorEvent::BeforePost);
    std::string entry;
    size_t keyLength = std::string::npos;
    if (state_ == DataSetState::Insert) {
        entry = store_->insert(buf_, bufLarge_, insertBefore_, &keyLength);
    } else {
        try {
            entry = store_->update(curCluster(), buf_, bufLarge_, editBase_);
        } catch (const EngineError& e) {
            if (e.kind() != ErrorKind::Changed) throw;
            refusedAsChanged();
        }
    }
    state_ = DataSetState::Browse;
    editBase_.clear();
    reloadOnCancel_ = false;
    insertBefore_.clear();
    Row values = std::move(buf_);
    buf_.clear();
    bufLarge_.clear();
    if (keyLength == std::string::npos) keyLength = store_->schema().clusterKeyLength(entry);
    if (ord()) {
        std::string orderKey = orderKeyFor(values, std::string_view(entry).substr(0, keyLength));
        setCurrent(std::move(entry), orderKey, keyLength);
    } else {
        // In primary order the order key is the primary key itself: one copy less.
        std::string_view key = std::string_view(entry).substr(0, keyLength);
        curKey_.assign(key);
        setCurrent(std::move(entry), curKey_, keyLength);
    }
    if (afterPost) afterPost(*this);
    announce(CursorEvent::DataChanged);
    announce(CursorEvent::StateChanged);
}

void Table::refusedAsChanged() {
    // The edit stays pending with what was typed and what it read; cancelling reads the
    // record again, so that it shows what the other program stored.
    reloadOnCancel_ = true;
    throw EngineError(ErrorKind::Changed,
                      "Der Datensatz " + quoted(recordName(editBase_)) +
                          " wurde inzwischen von einem anderen Programm geändert und nicht "
                          "gespeichert. Ihre Eingaben stehen noch im Fenster.");
}

std::string Table::recordName(std::string_view entry) const {
    // Its primary key (a catalog's Name), else its first field.
    const auto& schema = store_->schema();
    Row values;
    std::vector<store::BlobRef> refs;
    schema.decodeRecord(entry, values, refs);
    std::vector<int> fields = schema.cluster;
    if (fields.empty()) fields.push_back(0);
    std::string name;
    for (int f : fields) {
        if (!name.empty()) name += ", ";
        const Value& v = values[static_cast<size_t>(f)];
        name += v.isBlank() ? std::string() : v.isInt() ? std::to_string(v.asInt()) : v.asText();
    }
    return name;
}

void Table::cancel() {
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
    state_ = DataSetState::Browse;
    editBase_.clear();
    if (std::exchange(reloadOnCancel_, false)) {
        try {
            auto scope = store_->readScope();
            revalidate();
        } catch (const EngineError&) {  // shown as it was; the next move reads it again
        }
    }
    buf_.clear();
    bufLarge_.clear();
    insertBefore_.clear();
    announce(CursorEvent::StateChanged);
}

void Table::remove() {
    requireActive();
    if (state_ == DataSetState::Insert) {
        cancel();
        return;
    }
    cancel();
    {
        auto scope = store_->readScope();
        revalidate();
    }
    if (!haveCurrent_) {
        throw EngineError(ErrorKind::Usage, "Die Tabelle " + displayName() +
                                                " ist leer; es gibt keinen Datensatz zum Löschen.");
    }
    if (beforeDelete) beforeDelete(*this);
    std::string key = curKey();
    store_->erase(curCluster());
    {
        auto scope = store_->readScope();
        positionAt(key);
        if (!haveCurrent_ && tree().last(*pos_)) {
            loadCurrent();
            bof_ = false;
            eof_ = true;
        }
    }
    if (afterDelete) afterDelete(*this);
    announce(CursorEvent::DataChanged);
}

}  // namespace mv32::engine
