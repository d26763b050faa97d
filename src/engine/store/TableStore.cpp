#include "engine/store/TableStore.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "engine/EngineError.h"
#include "engine/Text.h"
#include "engine/store/Coding.h"
#include "engine/store/HeaderBlocks.h"
#include "engine/store/PagerShared.h"
#include "engine/store/SharedBytes.h"

namespace mv32::engine::store {

namespace {

constexpr size_t kBlobChunk = 960;
constexpr size_t kGroupOps = 200000;
constexpr auto kGroupTime = std::chrono::seconds(3);
constexpr unsigned kClockEvery = 16;
constexpr size_t kGroupLogBytes = 256u << 20;

enum : uint8_t { kOpInsert = 1, kOpUpdate = 2, kOpDelete = 3, kOpInsertAfterInsert = 4 };

void putBlobs(std::string& out, const std::vector<std::pair<uint64_t, std::string>>& blobs) {
    appendVarint(out, blobs.size());
    for (auto& [id, data] : blobs) {
        appendVarint(out, id);
        appendVarint(out, data.size());
        out.append(data);
    }
}

}  // namespace

TableStore::TableStore(std::shared_ptr<FileSystem> fs, std::string base)
    : fs_(std::move(fs)), base_(std::move(base)) {}

TableStore::~TableStore() {
    try {
        close();
    } catch (...) {
        // The log keeps what was not written; the next open recovers it.
    }
}

std::string TableStore::tableName() const {
    return pager::fileNameOf(base_) + ".db";
}
std::string TableStore::displayName() const {
    return quoted(tableName());
}

void TableStore::open(bool exclusive) {
    if (pager_) return;
    auto pager = std::make_unique<Pager>(fs_, base_);
    try {
        pager->openDbFile(false);
    } catch (const EngineError& e) {
        if (e.kind() == ErrorKind::NotFound) {
            throw EngineError(ErrorKind::NotFound,
                              "Die Tabelle " + displayName() + " existiert nicht.");
        }
        throw;
    }
    pager->lockOpen(exclusive);
    pager_ = std::move(pager);
    try {
        const bool sole = pager_->soleOpener();
        bool inspected = true;
        if (pager_->readOnly() && sole) {
            try {
                pager_->inspectLogReadOnly();
            } catch (const EngineError& e) {
                // Work for the files that cannot be done here: read through the log.
                if (e.kind() != ErrorKind::ReadOnly) throw;
                inspected = false;
            }
        }
        if (!inspected)
            enterLogView();
        else if (!pager_->readOnly() && sole && fs_->exists(base_ + ".wal"))
            recoverAtOpen();
        else
            loadAtOpen();
        // A handle that reads through the log writes nothing, rebuilt indexes neither.
        if ((!missing_.empty() || primaryMissing_) && !pager_->viewing()) repairIndexes();
        loadedGen_ = pager_->generation();
    } catch (...) {
        pager_.reset();
        throw;
    }
}

void TableStore::requireTableFile() const {
    // An empty .db file is no table: cut off, or a creation that never finished.
    if (pager_->dbFileSize() == 0) throwCorrupt(pager_->pathOf(kDbFile), "die Datei ist leer");
}

void TableStore::recoverAtOpen() {
    // First opener: finish what a crash, a killed process or a power loss left; on a full
    // medium the table is read through the log instead.
    try {
        finishLog(true);
    } catch (const EngineError& e) {
        if (!Pager::waitsForRoom(e)) throw;
        pager_->logMustWait(e);
        enterLogView();
    }
}

void TableStore::finishLog(bool first) {
    auto logical = first ? pager_->recoverAll() : pager_->beginWrite();
    try {
        requireTableFile();
        pager_->attach(kDbFile);
        loadFiles();
        replay(logical);
        if (pager_->hasChanges()) commitTxn(false);
        if (first) pager_->checkpoint();
    } catch (...) {
        try {
            pager_->rollback();
            pager_->endWrite();
        } catch (...) {
            // The first failure is the one to report; the log keeps the work.
        }
        throw;
    }
    pager_->endWrite();
}

void TableStore::catchUp() {
    if (!pager_->readOnly()) {
        try {
            finishLog(false);
            return;
        } catch (const EngineError& e) {
            if (!Pager::waitsForRoom(e)) throw;
            pager_->logMustWait(e);
        }
    }
    enterLogView();
}

void TableStore::enterLogView() {
    auto logical = pager_->openView();
    try {
        requireTableFile();
        pager_->attach(kDbFile);
        loadFiles();
        replay(logical);
        if (pager_->hasChanges()) {
            pager_->mutableHeader(kDbFile).block = schema_.serialize();
            if (blobs_) pager_->mutableHeader(kMbFile).block = blobBlock(nextBlobId_);
        }
        pager_->holdView();
    } catch (...) {
        pager_->dropView();
        throw;
    }
    loadedGen_ = pager_->generation();
}

void TableStore::loadAtOpen() {
    requireTableFile();
    // The headers of all files are read while no commit is being written.
    const bool shared = !pager_->isExclusive();
    if (shared) {
        pager_->lockRead();
        if (pager_->checkCurrent() == Pager::CacheState::WriterDied) {
            // A writer died while writing its commit into the files, or the log holds work
            // that waits for room: finish it first, or read through the log.
            pager_->unlockRead();
            catchUp();
            if (pager_->viewing()) return;
            pager_->lockRead();
        }
    }
    try {
        pager_->attach(kDbFile);
        loadFiles();
    } catch (...) {
        if (shared) pager_->unlockRead();
        throw;
    }
    if (shared) pager_->unlockRead();
}

std::vector<std::string> TableStore::takeNotices() {
    std::vector<std::string> out = std::exchange(notices_, {});
    if (pager_) {
        for (auto& n : pager_->takeNotices()) out.push_back(std::move(n));
    }
    return out;
}

void TableStore::close() {
    if (!pager_) return;
    std::exception_ptr err;
    if (bulk_) {
        try {
            endBulk();
        } catch (...) {
            err = std::current_exception();
        }
    }
    bulk_ = false;
    groupOpen_ = false;
    indexTrees_.clear();
    records_.reset();
    blobs_.reset();
    pager_->close();
    pager_.reset();
    live_.clear();
    if (err) std::rethrow_exception(err);
}

void TableStore::loadFiles() {
    ++schemaVersion_;
    const FileHeader& dbh = pager_->header(kDbFile);
    const std::string dbPath = pager_->pathOf(kDbFile);
    if (!hasMagic(dbh.magic, kDbMagic)) throwCorrupt(dbPath, "keine Tabelle");
    schema_ = Schema::parse(dbh.block, dbPath);
    primary_ =
        !schema_.cluster.empty() && attachCurrent(kPxFile, kPxMagic, keyBlock(schema_.cluster));
    // The directory listing a primary index that is not there: it was deleted or replaced
    // from outside, and is made again.
    primaryMissing_ = !primary_ && listedCounter(kPxFile) && !schema_.cluster.empty();

    recordCodec_ = std::make_unique<NodeCodec>(&schema_.recordLayout());
    pager_->setCodec(kDbFile, recordCodec_.get());
    records_ = std::make_unique<BTree>(*pager_, kDbFile, *recordCodec_);
    loadMemoFile();
    loadIndexes();
    loadedGen_ = pager_->generation();
}

std::optional<uint64_t> TableStore::listedCounter(uint32_t no) const {
    for (auto& [file, counter] : pager_->header(kDbFile).dir) {
        if (file == no) return counter;
    }
    return std::nullopt;
}

bool TableStore::attachCurrent(uint32_t no, const char (&magic)[8], const std::string& block) {
    // A file counts only when the directory lists it and it carries this table's id and the
    // listed counter; a missing file is absent, a damaged one is an error.
    pager_->detach(no);
    auto counter = listedCounter(no);
    if (!counter || !pager_->attach(no)) return false;
    const FileHeader& h = pager_->header(no);
    if (h.tableId != pager_->header(kDbFile).tableId || h.counter != *counter ||
        !hasMagic(h.magic, magic) || h.block != block) {
        pager_->detach(no);
        return false;
    }
    return true;
}

void TableStore::loadMemoFile() {
    blobCodec_ = std::make_unique<NodeCodec>(&Schema::blobLayout());
    blobs_.reset();
    bool large = std::any_of(schema_.fields.begin(), schema_.fields.end(),
                             [](const FieldDef& f) { return isLarge(f.type); });
    if (!large) return;
    // Unlike an index, memo data cannot be made again: a missing or foreign file is damage.
    auto counter = listedCounter(kMbFile);
    if (!counter || !pager_->attach(kMbFile)) {
        throwCorrupt(pager_->pathOf(kMbFile), "die Memodatei fehlt");
    }
    const FileHeader& h = pager_->header(kMbFile);
    if (h.tableId != pager_->header(kDbFile).tableId || h.counter != *counter ||
        !hasMagic(h.magic, kMbMagic) || h.block.size() != 8) {
        throwCorrupt(pager_->pathOf(kMbFile), "die Memodatei gehört nicht zu dieser Tabelle");
    }
    nextBlobId_ = get64(reinterpret_cast<const unsigned char*>(h.block.data()));
    pager_->setCodec(kMbFile, blobCodec_.get());
    blobs_ = std::make_unique<BTree>(*pager_, kMbFile, *blobCodec_);
}

void TableStore::loadIndexes() {
    indexTrees_.clear();
    indexCodecs_.clear();
    indexLayouts_.clear();
    live_.clear();
    missing_.clear();
    missingNames_.clear();
    // An index whose file is missing or not current keeps its definition, so that it is
    // rebuilt instead of vanishing with the next commit.
    for (auto& ix : schema_.indexes) {
        if (!attachCurrent(ix.fileNo, kXgMagic, indexBlock(ix))) {
            missing_.push_back(&ix);
            missingNames_.push_back(ix.name);
            continue;
        }
        indexLayouts_.push_back(schema_.indexLayout(ix));
        indexCodecs_.emplace_back(&indexLayouts_.back());
        pager_->setCodec(ix.fileNo, &indexCodecs_.back());
        indexTrees_.emplace_back(*pager_, ix.fileNo, indexCodecs_.back());
        live_.push_back(&ix);
    }
}

void TableStore::ensureCurrent() {
    if (pager_ && pager_->generation() != loadedGen_) loadFiles();
}

bool TableStore::beginRead() {
    if (!pager_ || readDepth_++ > 0) return false;
    if (bulk_) {
        // Bulk work holds the write lock for a group of operations, reads included, so that
        // nothing needs to be checked between them.
        if (groupOpen_) maybeEndGroup();
        if (!groupOpen_) openGroup();
        return false;
    }
    if (pager_->needsView() && !pager_->inWrite()) {
        // A write of this handle found no room for what the log holds.
        try {
            catchUp();
        } catch (...) {
            --readDepth_;
            throw;
        }
    }
    if (pager_->isExclusive() || pager_->inWrite()) return false;
    for (;;) {
        pager_->lockRead();
        Pager::CacheState state;
        try {
            state = pager_->checkCurrent();
            if (state != Pager::CacheState::WriterDied) ensureCurrent();
        } catch (...) {
            pager_->unlockRead();
            --readDepth_;
            throw;
        }
        if (state != Pager::CacheState::WriterDied) return true;
        // A writer died while writing its commit into the files, or the log holds work that
        // waits for room: finish it first, or read through the log.
        pager_->unlockRead();
        try {
            catchUp();
        } catch (...) {
            --readDepth_;
            throw;
        }
    }
}

void TableStore::endRead(bool locked) {
    --readDepth_;
    if (locked && pager_) pager_->unlockRead();
}

const IndexInfo* TableStore::liveIndex(std::string_view name) const {
    for (auto* ix : live_) {
        if (text::upper(ix->name) == text::upper(std::string(name))) return ix;
    }
    return nullptr;
}

BTree& TableStore::indexTree(const IndexInfo& ix) {
    for (size_t i = 0; i < live_.size(); ++i) {
        if (live_[i] == &ix) return indexTrees_[i];
    }
    throw std::logic_error("Index nicht geladen");
}

void TableStore::requireExclusive(const char* what) const {
    if (readOnly()) {
        throw EngineError(ErrorKind::ReadOnly,
                          std::string(what) + " ist nicht möglich: Die Tabelle " + displayName() +
                              " kann nicht geändert werden: " + pager_->readOnlyReason() + ".",
                          pager_->readOnlyReason());
    }
    if (!exclusive()) {
        throw EngineError(ErrorKind::Usage, std::string(what) +
                                                " ist nur möglich, wenn die Tabelle " +
                                                displayName() + " exklusiv geöffnet ist.");
    }
}

// --- Transactions --------------------------------------------------------------------------

void TableStore::beginTxn() {
    auto logical = pager_->beginWrite();
    ensureCurrent();
    replay(logical);
}

void TableStore::commitTxn(bool /*groupEnd*/) {
    pager_->mutableHeader(kDbFile).block = schema_.serialize();
    if (blobs_) {
        std::string block = blobBlock(nextBlobId_);
        if (pager_->header(kMbFile).block != block) pager_->mutableHeader(kMbFile).block = block;
    }
    pager_->commit(true);
}

void TableStore::writeImpl(void (*call)(void*), void* fn) {
    auto apply = [&] { call(fn); };
    if (!pager_) {
        throw EngineError(ErrorKind::Usage,
                          "Die Tabelle " + displayName() + " ist nicht geöffnet.");
    }
    pager_->checkUsable();
    if (bulk_) {
        // The group is ended or spilled before this post is logged, never after: a post that
        // fails there was not logged, and one that returns is in the log.
        if (groupOpen_) maybeEndGroup();
        if (!groupOpen_) openGroup();
        apply();
        ++modCount_;
        ++groupOps_;
        return;
    }
    beginTxn();
    try {
        apply();
        commitTxn(false);
    } catch (...) {
        ++modCount_;
        if (pager_->inWrite()) {
            pager_->rollback();
            pager_->endWrite();
        }
        ensureCurrent();
        throw;
    }
    ++modCount_;
    pager_->endWrite();
}

void TableStore::openGroup() {
    beginTxn();
    groupOpen_ = true;
    groupOps_ = 0;
    groupStart_ = std::chrono::steady_clock::now();
}

void TableStore::maybeEndGroup() {
    // Changed pages cannot be evicted: past a quarter of the cache they go to the log, and
    // are read back from there. The group itself ends after a while, so that the files catch
    // up, everything is synced and other handles get their turn. Its time is looked at every
    // few calls only (there are two for each post of a scan): reading the clock costs more
    // than the rest of this test.
    bool late = false;
    if (++clockSkips_ >= kClockEvery) {
        clockSkips_ = 0;
        late = std::chrono::steady_clock::now() - groupStart_ > kGroupTime;
    }
    bool full = late || pager_->loggedBytes() > kGroupLogBytes;
    bool spill = groupOps_ >= kGroupOps || pager_->dirtyBytes() > cacheLimit() / 4;
    if (!full && !spill) return;
    try {
        if (full) {
            groupOpen_ = false;
            commitTxn(true);
        } else {
            groupOps_ = 0;
            pager_->mutableHeader(kDbFile).block = schema_.serialize();
            if (blobs_) {
                std::string block = blobBlock(nextBlobId_);
                if (pager_->header(kMbFile).block != block)
                    pager_->mutableHeader(kMbFile).block = block;
            }
            pager_->commit(false, false);
        }
    } catch (...) {
        groupOpen_ = false;
        pager_->setFailed();
        if (pager_->inWrite()) pager_->endWrite();
        throw;
    }
    if (full) pager_->endWrite();
}

void TableStore::beginBulk() {
    if (!pager_) {
        throw EngineError(ErrorKind::Usage,
                          "Die Tabelle " + displayName() + " ist nicht geöffnet.");
    }
    bulk_ = true;
}

void TableStore::endBulk() {
    if (!bulk_) return;
    bulk_ = false;
    if (!groupOpen_) return;
    groupOpen_ = false;
    try {
        commitTxn(true);
    } catch (...) {
        pager_->setFailed();
        if (pager_->inWrite()) pager_->endWrite();
        throw;
    }
    pager_->endWrite();
}

// A failure after a bulk post changed the group in memory cannot be undone alone: the posts
// before it are in the log and come back when the table is reopened.
struct TableStore::Write {
    TableStore& t;
    bool armed = true;
    ~Write() {
        if (armed && t.bulk_ && t.groupOpen_) {
            t.pager_->setFailed();
            t.groupOpen_ = false;
            t.pager_->rollback();
            t.pager_->endWrite();
        }
    }
};

void TableStore::replay(const std::vector<std::string>& logical) {
    std::string lastInsert;  // the entry of the frame before, when that one was an insert
    bool afterInsert = false;
    for (auto& op : logical) {
        Reader r(reinterpret_cast<const unsigned char*>(op.data()), op.size(), base_ + ".wal",
                 "logischer Protokollrahmen beschädigt");
        uint8_t kind = r.u8();
        uint64_t nextSeq = r.varint();
        uint64_t nextBlob = r.varint();
        auto blobsOf = [&]() {
            std::vector<std::pair<uint64_t, std::string>> blobs(static_cast<size_t>(r.varint()));
            for (auto& [id, data] : blobs) {
                id = r.varint();
                data = std::string(r.bytes(static_cast<size_t>(r.varint())));
            }
            return blobs;
        };
        if (kind == kOpInsert || kind == kOpInsertAfterInsert) {
            std::string entry;
            if (kind == kOpInsertAfterInsert) {
                if (!afterInsert) r.fail();
                uint64_t head = r.varint();
                uint64_t tail = r.varint();
                if (head > lastInsert.size() || tail > lastInsert.size() - head) r.fail();
                std::string_view middle = r.bytes(static_cast<size_t>(r.varint()));
                entry.reserve(static_cast<size_t>(head + tail) + middle.size());
                entry.append(lastInsert, 0, static_cast<size_t>(head));
                entry.append(middle);
                entry.append(lastInsert, lastInsert.size() - static_cast<size_t>(tail));
            } else {
                entry.assign(r.bytes(static_cast<size_t>(r.varint())));
            }
            auto blobs = blobsOf();
            applyInsert(entry, blobs);
            lastInsert = std::move(entry);
        } else if (kind == kOpUpdate) {
            std::string oldKey(r.bytes(static_cast<size_t>(r.varint())));
            std::string entry(r.bytes(static_cast<size_t>(r.varint())));
            auto blobs = blobsOf();
            std::vector<uint64_t> freed(static_cast<size_t>(r.varint()));
            for (auto& id : freed) id = r.varint();
            applyUpdate(oldKey, entry, blobs, freed);
        } else if (kind == kOpDelete) {
            std::string key(r.bytes(static_cast<size_t>(r.varint())));
            applyDelete(key);
        } else {
            r.fail();
        }
        afterInsert = kind == kOpInsert || kind == kOpInsertAfterInsert;
        schema_.nextSeq = std::max(schema_.nextSeq, nextSeq);
        nextBlobId_ = std::max(nextBlobId_, nextBlob);
    }
}

// --- Record operations ---------------------------------------------------------------------

uint64_t TableStore::newBlobId() {
    return nextBlobId_++;
}

void TableStore::writeBlob(uint64_t id, const std::string& data) {
    if (!blobs_) throw std::logic_error("keine Memodatei");
    for (size_t pos = 0, chunk = 0; pos < data.size(); pos += kBlobChunk, ++chunk) {
        std::string e;
        encodeInt(e, static_cast<int64_t>(id), Kind::Int);
        encodeInt(e, static_cast<int64_t>(chunk), Kind::Int);
        encodeBytes(e, std::string_view(data).substr(pos, kBlobChunk));
        blobs_->insert(e);
    }
}

void TableStore::freeBlob(uint64_t id) {
    std::string prefix;
    encodeInt(prefix, static_cast<int64_t>(id), Kind::Int);
    TreePos pos;
    while (blobs_->find(pos, prefix)) {
        std::string e(blobs_->entry(pos));
        size_t klen = keyLength(Schema::blobLayout(), e);
        blobs_->erase(std::string_view(e).substr(0, klen));
    }
}

std::string TableStore::readBlob(const BlobRef& ref) {
    if (!ref.id || !blobs_) return {};
    std::string prefix;
    encodeInt(prefix, static_cast<int64_t>(ref.id), Kind::Int);
    std::string out;
    out.reserve(static_cast<size_t>(std::min<uint64_t>(ref.length, 1u << 30)));
    TreePos pos;
    int64_t expect = 0;
    const std::string path = pager_->pathOf(kMbFile);
    if (ref.length > 0 && !blobs_->find(pos, prefix)) throwCorrupt(path, "Memodaten fehlen");
    while (out.size() < ref.length) {
        std::string_view e = blobs_->entry(pos);
        if (e.compare(0, prefix.size(), prefix) != 0) throwCorrupt(path, "Memodaten unvollständig");
        const auto* p = reinterpret_cast<const unsigned char*>(e.data()) + prefix.size();
        size_t rest = e.size() - prefix.size();
        size_t n = fieldLength(p, rest, Kind::Int);
        if (n == kBadField || intOf(p, n, Kind::Int) != expect)
            throwCorrupt(path, "Memodaten in falscher Folge");
        out.append(bytesOf(p + n, rest - n));
        ++expect;
        if (out.size() < ref.length && !blobs_->next(pos))
            throwCorrupt(path, "Memodaten unvollständig");
    }
    if (out.size() != ref.length) throwCorrupt(path, "Memodaten haben die falsche Länge");
    return out;
}

bool TableStore::primaryKeyTaken(const Row& values, std::string_view ownKey) {
    std::string prefix;
    for (int f : schema_.cluster) {
        schema_.encodeKeyValue(prefix, f, values[static_cast<size_t>(f)], 0);
    }
    TreePos pos;
    if (!records_->find(pos, prefix)) return false;
    std::string_view e = records_->entry(pos);
    if (ownKey.empty()) return true;
    size_t klen = schema_.clusterKeyLength(e);
    if (e.substr(0, klen) != ownKey) return true;
    // The own record matches; another one could follow it only without a primary index.
    if (!records_->next(pos)) return false;
    e = records_->entry(pos);
    return e.compare(0, prefix.size(), prefix) == 0;
}

void TableStore::throwKeyViolation() const {
    throw EngineError(ErrorKind::KeyViolation,
                      "Schlüsselverletzung in der Tabelle " + displayName() +
                          ": ein Datensatz mit diesem Schlüssel existiert bereits.");
}

// A new record's primary key is checked while it is inserted; an update's before anything
// changes.
void TableStore::checkUnique(const Row& values, std::string_view ownKey) {
    if (primary_ && !ownKey.empty() && primaryKeyTaken(values, ownKey)) throwKeyViolation();
    for (auto* ix : live_) {
        if (!(ix->options & kUnique)) continue;
        std::string prefix = schema_.indexPrefix(*ix, values);
        BTree& t = indexTree(*ix);
        TreePos pos;
        if (!t.seek(pos, prefix)) continue;
        std::string_view e = t.entry(pos);
        if (e.compare(0, prefix.size(), prefix) != 0) continue;
        std::string scratch;
        if (!ownKey.empty() && schema_.clusterKeyOfIndexEntry(*ix, e, scratch) == ownKey) {
            if (!t.next(pos)) continue;
            e = t.entry(pos);
            if (e.compare(0, prefix.size(), prefix) != 0) continue;
        }
        throw EngineError(ErrorKind::KeyViolation, "Schlüsselverletzung im eindeutigen Index " +
                                                       quoted(ix->name) + " der Tabelle " +
                                                       displayName() + ".");
    }
}

std::string TableStore::prepareRecord(const Row& values, const std::vector<LargeValue>& large,
                                      const std::vector<BlobRef>& oldRefs, uint64_t seq,
                                      std::vector<std::pair<uint64_t, std::string>>& blobs,
                                      std::vector<uint64_t>& freed, uint32_t* ends) {
    std::vector<BlobRef> refs = oldRefs;
    refs.resize(schema_.fields.size());
    for (size_t f = 0; f < schema_.fields.size(); ++f) {
        if (!isLarge(schema_.fields[f].type)) continue;
        const LargeValue& lv = f < large.size() ? large[f] : LargeValue{};
        if (lv.keep) continue;
        if (refs[f].id) freed.push_back(refs[f].id);
        refs[f] = BlobRef{};
        if (!lv.blank) {
            refs[f] = BlobRef{newBlobId(), lv.data.size()};
            blobs.emplace_back(refs[f].id, lv.data);
        }
    }
    return schema_.encodeRecord(values, refs, seq, ends);
}

void TableStore::applyInsert(std::string_view entry,
                             const std::vector<std::pair<uint64_t, std::string>>& blobs,
                             bool recordInserted) {
    if (!recordInserted) records_->insert(entry);
    for (auto& [id, data] : blobs) writeBlob(id, data);
    if (live_.empty()) return;
    Row values;
    std::vector<BlobRef> refs;
    schema_.decodeRecord(entry, values, refs);
    std::string_view key = entry.substr(0, schema_.clusterKeyLength(entry));
    for (auto* ix : live_) indexTree(*ix).insert(schema_.indexEntry(*ix, values, key));
}

void TableStore::applyUpdate(std::string_view oldKey, std::string_view entry,
                             const std::vector<std::pair<uint64_t, std::string>>& blobs,
                             const std::vector<uint64_t>& freed) {
    TreePos pos;
    if (!records_->find(pos, oldKey)) {
        throwCorrupt(pager_->pathOf(kDbFile), "zu ändernder Datensatz fehlt");
    }
    std::string oldEntry(records_->entry(pos));
    for (uint64_t id : freed) freeBlob(id);
    for (auto& [id, data] : blobs) writeBlob(id, data);
    std::string_view newKey = entry.substr(0, schema_.clusterKeyLength(entry));
    if (newKey == oldKey) {
        records_->replace(oldKey, entry);
    } else {
        records_->erase(oldKey);
        records_->insert(entry);
    }
    if (live_.empty()) return;
    Row oldValues, newValues;
    std::vector<BlobRef> refs;
    schema_.decodeRecord(oldEntry, oldValues, refs);
    schema_.decodeRecord(entry, newValues, refs);
    for (auto* ix : live_) {
        std::string a = schema_.indexEntry(*ix, oldValues, oldKey);
        std::string b = schema_.indexEntry(*ix, newValues, newKey);
        if (a == b) continue;
        BTree& t = indexTree(*ix);
        if (!t.erase(a)) throwCorrupt(pager_->pathOf(ix->fileNo), "Indexeintrag fehlt");
        t.insert(b);
    }
}

void TableStore::applyDelete(std::string_view key) {
    TreePos pos;
    if (!records_->find(pos, key))
        throwCorrupt(pager_->pathOf(kDbFile), "zu löschender Datensatz fehlt");
    std::string entry(records_->entry(pos));
    Row values;
    std::vector<BlobRef> refs;
    schema_.decodeRecord(entry, values, refs);
    for (auto& r : refs) {
        if (r.id) freeBlob(r.id);
    }
    for (auto* ix : live_) {
        if (!indexTree(*ix).erase(schema_.indexEntry(*ix, values, key))) {
            throwCorrupt(pager_->pathOf(ix->fileNo), "Indexeintrag fehlt");
        }
    }
    records_->erase(key);
}

std::string TableStore::insert(const Row& values, const std::vector<LargeValue>& large,
                               std::string_view before, size_t* keyLength) {
    std::string key;
    write([&] {
        checkUnique(values, {});
        uint64_t seq = 0;
        if (!primary_) {
            seq = schema_.nextSeq;
            if (!before.empty() && schema_.cluster.empty()) {
                // Between the record before and the one after, when their numbers leave room;
                // otherwise at the end.
                TreePos pos;
                if (records_->find(pos, before)) {
                    uint64_t hi = schema_.sequenceOf(records_->entry(pos));
                    uint64_t lo =
                        records_->prev(pos) ? schema_.sequenceOf(records_->entry(pos)) : 0;
                    if (hi > lo + 1) seq = lo + (hi - lo) / 2;
                }
            }
            if (seq == schema_.nextSeq) schema_.nextSeq += 1024;
        }
        std::vector<std::pair<uint64_t, std::string>> blobs;
        std::vector<uint64_t> freed;
        // The encoder tells where the entry's fields end: the key's parts (the unique part is
        // all but the sequence number) and the leaf's coding need not look for them again.
        ends_.resize(schema_.recordLayout().kinds.size());
        std::string entry = prepareRecord(values, large, {}, seq, blobs, freed, ends_.data());
        const size_t keyFields = schema_.recordLayout().keyFields;
        const size_t unique = primary_ && keyFields > 1 ? ends_[keyFields - 2] : 0;
        const size_t clusterLength = ends_[keyFields - 1];
        // The insert itself finds a record with the same key; then nothing has changed.
        if (!records_->insert(entry, unique, ends_.data())) throwKeyViolation();
        Write guard{*this};
        applyInsert(entry, blobs, true);
        if (bulk_) logInsert(entry, blobs);
        guard.armed = false;
        key = std::move(entry);
        if (keyLength) *keyLength = clusterLength;
    });
    return key;
}

void TableStore::logInsert(const std::string& entry,
                           const std::vector<std::pair<uint64_t, std::string>>& blobs) {
    // Posts of a scan follow one another through a folder: the entry before shares the
    // folder at the beginning and the medium at the end, which then need not be logged again.
    const bool after = !lastLogged_.empty() && lastLoggedStamp_ == pager_->logStamp();
    std::string& op = logOp_;  // kept from post to post: no new buffer for each one
    op.assign(1, static_cast<char>(after ? kOpInsertAfterInsert : kOpInsert));
    appendVarint(op, schema_.nextSeq);
    appendVarint(op, nextBlobId_);
    if (after) {
        const std::string& prev = lastLogged_;
        const size_t limit = std::min(prev.size(), entry.size());
        const size_t head = sharedPrefix(prev, entry);
        const size_t tail = sharedSuffix(prev, entry, limit - head);
        appendVarint(op, head);
        appendVarint(op, tail);
        appendVarint(op, entry.size() - head - tail);
        op.append(entry, head, entry.size() - head - tail);
    } else {
        appendVarint(op, entry.size());
        op.append(entry);
    }
    putBlobs(op, blobs);
    lastLogged_.clear();
    pager_->logLogical(op);
    lastLogged_ = entry;
    lastLoggedStamp_ = pager_->logStamp();
}

std::string TableStore::update(std::string_view oldKeyIn, const Row& values,
                               const std::vector<LargeValue>& large, std::string_view expected) {
    std::string oldKey(oldKeyIn);
    std::string key;
    write([&] {
        // Compared under the write lock: no other handle commits between this look and the
        // change written.
        TreePos pos;
        const bool found = records_->find(pos, oldKey);
        if (!expected.empty() && (!found || records_->entry(pos) != expected)) {
            throw EngineError(ErrorKind::Changed, "Der Datensatz wurde in der Tabelle " +
                                                      displayName() +
                                                      " inzwischen von einem anderen Programm "
                                                      "geändert und nicht gespeichert.");
        }
        if (!found) {
            throw EngineError(ErrorKind::NotFound, "Der Datensatz wurde in der Tabelle " +
                                                       displayName() +
                                                       " nicht mehr gefunden; ein anderer Benutzer "
                                                       "hat ihn geändert oder gelöscht.");
        }
        std::string oldEntry(records_->entry(pos));
        Row oldValues;
        std::vector<BlobRef> oldRefs;
        schema_.decodeRecord(oldEntry, oldValues, oldRefs);
        checkUnique(values, oldKey);
        uint64_t seq = schema_.sequenceOf(oldEntry);
        bool keyChanged = false;
        for (int f : schema_.cluster) {
            if (!(oldValues[static_cast<size_t>(f)] == values[static_cast<size_t>(f)]))
                keyChanged = true;
        }
        if (keyChanged && !primary_ && schema_.cluster.size() > 0) {
            seq = schema_.nextSeq;
            schema_.nextSeq += 1024;
        }
        std::vector<std::pair<uint64_t, std::string>> blobs;
        std::vector<uint64_t> freed;
        std::string entry = prepareRecord(values, large, oldRefs, seq, blobs, freed);
        key = entry;
        Write guard{*this};
        applyUpdate(oldKey, entry, blobs, freed);
        if (bulk_) {
            std::string op(1, static_cast<char>(kOpUpdate));
            appendVarint(op, schema_.nextSeq);
            appendVarint(op, nextBlobId_);
            appendVarint(op, oldKey.size());
            op.append(oldKey);
            appendVarint(op, entry.size());
            op.append(entry);
            putBlobs(op, blobs);
            appendVarint(op, freed.size());
            for (auto id : freed) appendVarint(op, id);
            pager_->logLogical(op);
        }
        guard.armed = false;
    });
    return key;
}

void TableStore::erase(std::string_view keyIn) {
    std::string key(keyIn);
    write([&] {
        TreePos pos;
        if (!records_->find(pos, key)) {
            throw EngineError(ErrorKind::NotFound, "Der Datensatz wurde in der Tabelle " +
                                                       displayName() +
                                                       " nicht mehr gefunden; ein anderer Benutzer "
                                                       "hat ihn geändert oder gelöscht.");
        }
        Write guard{*this};
        applyDelete(key);
        if (bulk_) {
            std::string op(1, static_cast<char>(kOpDelete));
            appendVarint(op, schema_.nextSeq);
            appendVarint(op, nextBlobId_);
            appendVarint(op, key.size());
            op.append(key);
            pager_->logLogical(op);
        }
        guard.armed = false;
    });
}

}  // namespace mv32::engine::store
