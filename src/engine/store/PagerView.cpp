// The Pager reading through its log: a table whose log holds committed work that cannot be
// written into the files now (the medium is full, or it or the files cannot be written) is
// still read in full. The handle lays the log's newest image of every page over the files and
// executes the posts a dead writer left after its last commit in memory; nothing is written
// but, where it can be, the .db header's flag that tells other handles to do the same.
//
// Invariants of a view:
//  1. It is built while no writer works: under the write lock, or (a handle that cannot write)
//     with the write byte held shared. The log then holds only what a dead or failed writer
//     left, which is exactly what recovery would write into the files.
//  2. The files plus the log's images give the state recovery would give: every page that
//     changed since the log's origin went through the log, and page images are idempotent,
//     so pages recovery already wrote (in part) read the same from either.
//  3. It lasts while the .db header on disk (counter and flags) is as it was when it was
//     built: whoever writes the log into the files changes it under the exclusive read lock,
//     which readers hold shared, and only after that may the log be shortened or restarted.
#include <algorithm>
#include <cstring>

#include "engine/EngineError.h"
#include "engine/store/Coding.h"
#include "engine/store/Crc32c.h"
#include "engine/store/Pager.h"
#include "engine/store/PagerShared.h"

namespace mv32::engine::store {

bool Pager::waitsForRoom(const EngineError& e) {
    return e.kind() == ErrorKind::DiskFull || e.kind() == ErrorKind::ReadOnly;
}

void Pager::logMustWait(const EngineError& e) {
    needView_ = true;
    viewReason_ = e.kind() == ErrorKind::DiskFull
                      ? std::string("kein Platz auf dem Datenträger")
                      : "die Tabelle kann hier nicht geschrieben werden: " +
                            (e.reason().empty() ? std::string("Zugriff verweigert") : e.reason());
}

const std::string* Pager::heldImage(uint64_t k) const {
    if (held_.empty()) return nullptr;
    auto h = held_.find(k);
    return h != held_.end() ? &h->second : nullptr;
}

std::vector<std::string> Pager::openView() {
    if (writing_) throw std::logic_error("Ansicht des Protokolls während einer Transaktion");
    leaveView();
    if (readOnly_) {
        waitLock(kLockWrite, LockKind::Shared, pager::kWriteLockTimeoutMs,
                 "ein anderer Benutzer ändert sie gerade");
    } else {
        waitLock(kLockWrite, LockKind::Exclusive, pager::kWriteLockTimeoutMs,
                 "ein anderer Benutzer ändert sie gerade");
    }
    viewLocked_ = true;
    writing_ = true;
    // What failed before is given up: everything below is read again from the files and the
    // log, as a new handle would.
    failed_ = false;
    try {
        DbHead head;
        readDbHead(head);
        std::vector<std::string> logical;
        bool work = head.flagged || !head.readable;
        bool logUsable = false;
        if (viewReason_.empty()) {
            viewReason_ = readOnly_
                              ? "die Tabelle kann hier nicht geschrieben werden: " + readOnlyReason_
                              : std::string("kein Platz auf dem Datenträger");
        }
        if (fs_->exists(wal_.path())) {
            if (!wal_.isOpen()) wal_.open(readOnly_);
            WalHeader h = wal_.readHeader();
            uint64_t salt = h.valid ? h.salt : 0;
            uint32_t chain = h.valid ? Wal::seedFor(h.salt) : 0;
            auto frames = wal_.scan(kWalHeaderSize, &salt, &chain);
            bool any = std::any_of(frames.begin(), frames.end(),
                                   [](const WalFrame& f) { return f.type != FrameType::Origin; });
            // A log of other files is left to recovery, which sets it aside; it is no view.
            if (!any || !logBelongs(frames, head)) frames.clear();
            logUsable = !frames.empty();
            size_t begin = 0;
            size_t lastCommit = frames.size();
            for (size_t i = 0; i < frames.size(); ++i) {
                if (frames[i].type == FrameType::Origin) {
                    begin = i + 1;
                } else if (frames[i].type == FrameType::Commit) {
                    layCommit(frames, begin, i);
                    begin = i + 1;
                    lastCommit = i;
                    logical.clear();
                } else if (frames[i].type == FrameType::Logical) {
                    logical.push_back(wal_.payload(frames[i]));
                }
            }
            if (lastCommit < frames.size() && stateOfCommit(frames, lastCommit) != head.state)
                work = true;
            if (!logical.empty()) work = true;
        }
        if (head.flagged && !logUsable) {
            // Files half written without the log that would finish them: no view shows them.
            if (readOnly_) throwCannotRecover();
            throwCorrupt(pf(kDbFile).path, "unvollständiger Schreibvorgang ohne Protokoll");
        }
        if (work && head.readable && !head.flagged && !readOnly_) markFilesBehind();
        if (!work) {
            logged_.clear();
            loggedPageCounts_.clear();
        }
        readDbHead(head);
        viewBaseCounter_ = get64(head.page + kHdrCounter);
        viewBaseFlags_ = get32(head.page + kHdrFlags);
        viewing_ = work;
        dropCache();
        return logical;
    } catch (...) {
        dropView();
        throw;
    }
}

void Pager::layCommit(const std::vector<WalFrame>& frames, size_t begin, size_t commit) {
    std::string payload = wal_.payload(frames[commit]);
    Reader r(reinterpret_cast<const unsigned char*>(payload.data()), payload.size(), wal_.path(),
             "Bestätigungsrahmen beschädigt");
    uint32_t n = r.u32();
    std::vector<uint32_t> deleted;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t no = r.u32();
        auto action = static_cast<FileAction>(r.u8());
        uint32_t pageCount = r.u32();
        if (action == FileAction::Delete) {
            if (no != kDbFile) deleted.push_back(no);
        } else if (action == FileAction::Keep) {
            loggedPageCounts_[no] = pageCount;
        } else {
            r.fail();
        }
    }
    // A deleted file's older images must not show through a file of its number made later.
    for (uint32_t no : deleted) {
        for (auto it = logged_.begin(); it != logged_.end();)
            it = (it->first >> 32) == no ? logged_.erase(it) : std::next(it);
        loggedPageCounts_.erase(no);
    }
    for (size_t i = begin; i < commit; ++i) {
        const WalFrame& fr = frames[i];
        if (fr.type != FrameType::Page) continue;
        if (std::find(deleted.begin(), deleted.end(), fr.no) != deleted.end()) continue;
        if (fr.length != kPageSize) throwCorrupt(wal_.path(), "Seitenbild falscher Länge");
        logged_[key(fr.no, fr.page)] = fr.payloadOffset;
    }
}

void Pager::holdView() {
    if (!viewLocked_) throw std::logic_error("keine Ansicht des Protokolls geöffnet");
    try {
        if (hasChanges()) {
            // The posts' pages stay in memory as a commit would have written them.
            Commit c;
            collectImages(c);
            for (auto& [k, img] : c.images) held_[k] = std::move(img);
            held_[key(kDbFile, 0)] = std::move(c.dbHeader);
            viewing_ = true;
            markClean();
        }
    } catch (...) {
        dropView();
        throw;
    }
    writing_ = false;
    viewLocked_ = false;
    needView_ = false;
    pf(kDbFile).file->unlock(kLockWrite);
}

void Pager::dropView() {
    if (writing_) {
        rollback();
        writing_ = false;
    }
    leaveView();
    if (viewLocked_) {
        viewLocked_ = false;
        pf(kDbFile).file->unlock(kLockWrite);
    }
}

void Pager::leaveView() {
    if (writing_) return;
    if (viewing_ || !held_.empty()) {
        logged_.clear();
        loggedPageCounts_.clear();
        held_.clear();
        for (auto it = files_.begin(); it != files_.end();)
            it = it->first != kDbFile && !it->second.file ? files_.erase(it) : std::next(it);
        dropCache();
    }
    viewing_ = false;
}

void Pager::markFilesBehind() {
    auto& db = pf(kDbFile);
    try {
        waitLock(kLockRead, LockKind::Exclusive, pager::kReadLockTimeoutMs, "ein Leser hält sie");
    } catch (...) {
        return;
    }
    try {
        DbHead head;
        readDbHead(head);
        if (head.readable && !head.flagged) {
            put32(head.page + kHdrFlags, get32(head.page + kHdrFlags) | kFlagApplying);
            put32(head.page, crc32c(head.page + 4, kPageSize - 4));
            db.file->write(0, head.page, kPageSize);
        }
    } catch (...) {
        // Without the flag other handles read the files as they are, as before.
    }
    db.file->unlock(kLockRead);
}

std::string Pager::viewNotice() const {
    if (!viewing_) return {};
    return "Das Protokoll " + quoted(wal_.path()) +
           " enthält gespeicherte Änderungen, die noch nicht in die Tabelle " +
           quoted(pager::fileNameOf(base_) + ".db") + " übernommen sind (" + viewReason_ +
           "). Sie werden beim nächsten Schreiben übernommen, sobald es möglich ist.";
}

}  // namespace mv32::engine::store
