// The Pager's writing side: logging a post, committing a transaction through the log and
// writing it into the files, rolling back, and writing commits that went only to the log.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "engine/EngineError.h"
#include "engine/store/Coding.h"
#include "engine/store/Pager.h"
#include "engine/store/PagerShared.h"

namespace mv32::engine::store {

void Pager::logLogical(const std::string& op) {
    checkUsable();
    wal_.append(FrameType::Logical, 0, 0, op.data(), op.size());
    try {
        wal_.flushMapped();
    } catch (...) {
        failed_ = true;
        throw;
    }
    logicalPending_ = true;
}

bool Pager::hasChanges() const {
    if (!dirty_.empty() || !raw_.empty() || !streamed_.empty()) return true;
    for (auto& [no, f] : files_) {
        if (f.changed || f.created || f.deleted) return true;
    }
    return false;
}

void Pager::assignOverflow(uint32_t no, Node& n, bool streamed) {
    auto& f = pf(no);
    for (size_t i = 0; i < n.size(); ++i) {
        Slot& s = n.slots[i];
        if (s.ovfl || !f.codec->isLong(n, n.entry(i))) continue;
        std::string_view e = n.entry(i);
        size_t pos = 0;
        uint32_t first = 0;
        uint32_t prevPage = 0;
        std::string* prev = nullptr;
        std::string pendingImage;
        while (pos < e.size()) {
            size_t cnt = std::min(kOverflowCapacity, e.size() - pos);
            uint32_t p = allocatePage(no);
            std::string img(kPageSize, '\0');
            auto* b = reinterpret_cast<unsigned char*>(img.data());
            b[12] = static_cast<unsigned char>(PageType::Overflow);
            put16(b + kPageHeaderSize + 4, static_cast<uint16_t>(cnt));
            std::memcpy(b + kOverflowHeader, e.data() + pos, cnt);
            // Each page names the next one, so pages are numbered before they are written.
            if (prev) {
                put32(reinterpret_cast<unsigned char*>(prev->data()) + kPageHeaderSize, p);
                if (streamed) writeImage(no, prevPage, std::move(*prev));
            } else {
                first = p;
            }
            if (streamed) {
                pendingImage = std::move(img);
                prev = &pendingImage;
            } else {
                prev = &(raw_[key(no, p)] = std::move(img));
            }
            prevPage = p;
            pos += cnt;
        }
        if (streamed && prev) writeImage(no, prevPage, std::move(*prev));
        s.ovfl = first;
    }
}

void Pager::writeImage(uint32_t no, uint32_t page, std::string image) {
    markChanged(no);
    sealPage(no, page, reinterpret_cast<unsigned char*>(image.data()));
    uint64_t offset = wal_.end() + kFrameHeaderSize;
    wal_.append(FrameType::Page, no, page, image.data(), image.size());
    streamed_.emplace_back(key(no, page), offset);
    streamedAt_[key(no, page)] = offset;
    if (wal_.end() - txnStartEnd_ > (4u << 20)) {
        wal_.flush();
        txnStartEnd_ = wal_.end();
    }
}

std::string Pager::readLogged(uint64_t offset) {
    wal_.flush();
    return wal_.payload(WalFrame{FrameType::Page, 0, 0, kPageSize, offset, offset + kPageSize, 0});
}

void Pager::commit(bool sync, bool apply) {
    checkUsable();
    if (!writing_) throw std::logic_error("commit ohne Transaktion");
    if (!hasChanges() && !logicalPending_) return;
    if (!apply && !streamed_.empty()) apply = true;  // rebuilds are written at once
    // The commit's page images are held beside the cache until it ends: room for them is
    // made among the clean nodes first.
    evict(dirty_.size() * kPageSize);
    Commit c;
    try {
        collectImages(c);
        appendCommit(c);
    } catch (...) {
        // Nothing reached the files: forget the transaction. Logical frames already in the
        // log stand for posts that were reported done, so the handle must be reopened to
        // recover them.
        bool hadLogical = logicalPending_;
        rollback();
        wal_.rewind(commitEnd_, commitChecksum_);
        if (hadLogical) failed_ = true;
        throw;
    }
    // The commit is in the log: whatever fails now, recovery finishes it, and this handle
    // must be reopened.
    try {
        if (apply) {
            if (sync) wal_.sync();
            writeCommit(c);
        } else {
            keepInLogOnly(c);
        }
    } catch (...) {
        failed_ = true;
        throw;
    }
    markClean();
}

void Pager::collectImages(Commit& c) {
    auto& db = pf(kDbFile);
    // Overflow chains first: they allocate pages, which changes free lists and headers.
    for (auto& [k, n] : dirty_) assignOverflow(static_cast<uint32_t>(k >> 32), *n, false);
    c.images.reserve(dirty_.size() + raw_.size() + files_.size());
    for (auto& [k, n] : dirty_) {
        auto no = static_cast<uint32_t>(k >> 32);
        std::string img(kPageSize, '\0');
        auto* b = reinterpret_cast<unsigned char*>(img.data());
        pf(no).codec->encode(*n, b);
        sealPage(no, n->page, b);
        c.images.emplace_back(k, std::move(img));
    }
    for (auto& [k, img] : raw_) {
        auto no = static_cast<uint32_t>(k >> 32);
        auto* b = reinterpret_cast<unsigned char*>(img.data());
        sealPage(no, static_cast<uint32_t>(k), b);
        c.images.emplace_back(k, img);
    }
    // Headers: every changed file gets a new counter, which the .db directory records.
    db.hdr.dir.clear();
    for (auto& [no, f] : files_) {
        if (no == kDbFile) continue;
        if (f.deleted) {
            c.actions.push_back(ApplyFile{no, FileAction::Delete, 0});
            continue;
        }
        if (f.changed || f.created) f.hdr.counter++;
        db.hdr.dir.emplace_back(no, f.hdr.counter);
        if (f.changed || f.created) {
            c.images.emplace_back(key(no, 0), encodeHeader(f));
            c.actions.push_back(ApplyFile{no, FileAction::Keep, f.hdr.pageCount});
        }
    }
    db.hdr.counter++;
    db.hdr.generation = randomId();
    db.hdr.flags = 0;
    c.dbHeader = encodeHeader(db);
    c.actions.push_back(ApplyFile{kDbFile, FileAction::Keep, db.hdr.pageCount});
    std::sort(c.images.begin(), c.images.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
}

void Pager::appendCommit(Commit& c) {
    c.offsets.reserve(c.images.size() + 1);
    for (auto& [k, img] : c.images) {
        c.offsets.push_back(wal_.end() + kFrameHeaderSize);
        wal_.append(FrameType::Page, static_cast<uint32_t>(k >> 32), static_cast<uint32_t>(k),
                    img.data(), img.size());
    }
    c.offsets.push_back(wal_.end() + kFrameHeaderSize);
    wal_.append(FrameType::Page, kDbFile, 0, c.dbHeader.data(), c.dbHeader.size());
    std::string payload;
    append32(payload, static_cast<uint32_t>(c.actions.size()));
    for (auto& a : c.actions) {
        append32(payload, a.no);
        payload.push_back(static_cast<char>(a.action));
        append32(payload, a.pageCount);
    }
    wal_.append(FrameType::Commit, 0, 0, payload.data(), payload.size());
    wal_.flush();
}

void Pager::keepInLogOnly(const Commit& c) {
    // Its pages are read back from the log until a later commit writes them into the files.
    for (size_t i = 0; i < c.images.size(); ++i) logged_[c.images[i].first] = c.offsets[i];
    logged_[key(kDbFile, 0)] = c.offsets.back();
    for (auto& a : c.actions) {
        if (a.action == FileAction::Keep) loggedPageCounts_[a.no] = a.pageCount;
    }
    commitEnd_ = wal_.end();
    commitChecksum_ = wal_.checksum();
}

void Pager::writeCommit(Commit& c) {
    std::vector<std::pair<uint64_t, const std::string*>> refs;
    refs.reserve(c.images.size());
    // Pages of earlier log-only commits that this one did not change again; they are read
    // back from the log one at a time while they are written.
    std::vector<std::pair<uint64_t, uint64_t>> older;
    if (!logged_.empty()) {
        std::unordered_map<uint64_t, bool> current;
        for (auto& [k, img] : c.images) current[k] = true;
        older.reserve(logged_.size());
        for (auto& [k, off] : logged_) {
            if (!current.count(k) && k != key(kDbFile, 0)) older.emplace_back(k, off);
        }
        std::sort(older.begin(), older.end());
        for (auto& [no, count] : loggedPageCounts_) {
            bool listed = std::any_of(c.actions.begin(), c.actions.end(),
                                      [no = no](const ApplyFile& a) { return a.no == no; });
            if (!listed && files_.count(no) && !files_[no].deleted)
                c.actions.push_back(ApplyFile{no, FileAction::Keep, files_[no].hdr.pageCount});
        }
    }
    for (auto& [k, img] : c.images) refs.emplace_back(k, &img);
    applyImages(older, refs, c.actions, &c.dbHeader);
    logged_.clear();
    loggedPageCounts_.clear();
    commitEnd_ = wal_.end();
    commitChecksum_ = wal_.checksum();
    wal_.writeHeader(WalHeader{true, wal_.salt(), commitEnd_, commitEnd_, commitChecksum_});
}

void Pager::markClean() {
    for (auto& [k, n] : dirty_) {
        n->dirty = false;
        // The little room a leaf grows by (NodeCodec::insertEntry) stays: the next inserts
        // into it then need no new memory after every group commit of a bulk group.
        if (n->arena.capacity() - n->arena.size() > kNodeSpareBytes) n->arena.shrink_to_fit();
        if (n->slots.capacity() - n->slots.size() > kNodeSpareSlots) n->slots.shrink_to_fit();
        auto it = cache_.find(k);
        if (it != cache_.end()) account(it->second, n->memory());
    }
    pager::dirtyNodes -= std::min<size_t>(pager::dirtyNodes, dirty_.size());
    dirty_.clear();
    raw_.clear();
    bool hadStream = !streamed_.empty();
    streamed_.clear();
    streamedAt_.clear();
    logicalPending_ = false;
    for (auto it = files_.begin(); it != files_.end();) {
        auto& f = it->second;
        if (f.deleted) {
            if (f.no != kDbFile) {
                for (auto c = cache_.begin(); c != cache_.end();) {
                    c = (c->first >> 32) == f.no ? (lru_.erase(c->second.lru), cache_.erase(c))
                                                 : std::next(c);
                }
            }
            it = files_.erase(it);
            continue;
        }
        f.changed = f.created = false;
        f.attached = true;
        f.saved = f.hdr;
        ++it;
    }
    knownCounter_ = pf(kDbFile).hdr.counter;
    if (hadStream) dropCache();
    txnStartEnd_ = wal_.end();
    txnStartChecksum_ = wal_.checksum();
    evict();
}

void Pager::applyImages(const std::vector<std::pair<uint64_t, uint64_t>>& fromLog,
                        const std::vector<std::pair<uint64_t, const std::string*>>& images,
                        const std::vector<ApplyFile>& actions, const std::string* dbHeader) {
    auto& db = pf(kDbFile);
    waitLock(kLockRead, LockKind::Exclusive, pager::kReadLockTimeoutMs, "ein Leser hält sie");
    try {
        bool dbExisted = db.saved.pageCount > 0;
        if (dbExisted) {
            // Readers that find this flag know that a writer died in the middle of its commit.
            PagedFile flagged;
            flagged.no = kDbFile;
            flagged.path = db.path;
            flagged.hdr = db.saved;
            flagged.hdr.flags |= kFlagApplying;
            std::string img = encodeHeader(flagged);
            db.file->write(0, img.data(), img.size());
        }
        if (!streamed_.empty()) {
            wal_.flush();
            for (auto& [k, off] : streamed_) {
                auto no = static_cast<uint32_t>(k >> 32);
                auto& f = pf(no);
                ensureFileOpen(f, true);
                WalFrame fr{FrameType::Page, no, static_cast<uint32_t>(k), kPageSize, off,
                            off + kPageSize, 0};
                std::string img = wal_.payload(fr);
                f.file->write((k & 0xFFFFFFFFull) * kPageSize, img.data(), img.size());
            }
        }
        for (auto& [k, off] : fromLog) {
            auto no = static_cast<uint32_t>(k >> 32);
            auto& f = pf(no);
            if (f.deleted) continue;
            ensureFileOpen(f, true);
            const std::string img = readLogged(off);
            f.file->write((k & 0xFFFFFFFFull) * kPageSize, img.data(), img.size());
        }
        for (auto& [k, img] : images) {
            auto no = static_cast<uint32_t>(k >> 32);
            auto& f = pf(no);
            if (f.deleted) continue;
            ensureFileOpen(f, true);
            f.file->write((k & 0xFFFFFFFFull) * kPageSize, img->data(), img->size());
        }
        for (auto& a : actions) {
            auto& f = pf(a.no);
            if (a.action == FileAction::Delete) {
                f.file.reset();
                fs_->remove(f.path);
            } else if (a.no != kDbFile) {
                ensureFileOpen(f, true);
                if (f.file->size() != uint64_t{a.pageCount} * kPageSize) {
                    f.file->truncate(uint64_t{a.pageCount} * kPageSize);
                }
            }
        }
        if (db.file->size() != uint64_t{db.hdr.pageCount} * kPageSize) {
            db.file->truncate(uint64_t{db.hdr.pageCount} * kPageSize);
        }
        db.file->write(0, dbHeader->data(), dbHeader->size());
    } catch (...) {
        db.file->unlock(kLockRead);
        throw;
    }
    db.file->unlock(kLockRead);
}

void Pager::rollback() {
    for (auto& [k, n] : dirty_) {
        n->dirty = false;
    }
    pager::dirtyNodes -= std::min<size_t>(pager::dirtyNodes, dirty_.size());
    dirty_.clear();
    raw_.clear();
    streamed_.clear();
    streamedAt_.clear();
    for (auto it = files_.begin(); it != files_.end();) {
        auto& f = it->second;
        if (f.created && !f.file) {
            it = files_.erase(it);
            continue;
        }
        f.hdr = f.saved;
        f.changed = f.created = f.deleted = false;
        ++it;
    }
    // Nodes changed in memory are in the cache too: drop them all.
    dropCache();
    wal_.rewind(txnStartEnd_, txnStartChecksum_);
}

void Pager::applyLogged() {
    if (logged_.empty()) return;
    std::string dbHeader = readLogged(logged_[key(kDbFile, 0)]);
    wal_.sync();
    // Read back from the log one page at a time while they are written.
    std::vector<std::pair<uint64_t, uint64_t>> pending;
    pending.reserve(logged_.size());
    for (auto& [k, off] : logged_) {
        if (k != key(kDbFile, 0)) pending.emplace_back(k, off);
    }
    std::sort(pending.begin(), pending.end());
    std::vector<ApplyFile> actions;
    for (auto& [no, count] : loggedPageCounts_) actions.push_back(ApplyFile{no, FileAction::Keep, count});
    applyImages(pending, {}, actions, &dbHeader);
    logged_.clear();
    loggedPageCounts_.clear();
    wal_.writeHeader(WalHeader{true, wal_.salt(), commitEnd_, commitEnd_, commitChecksum_});
}

}  // namespace mv32::engine::store
