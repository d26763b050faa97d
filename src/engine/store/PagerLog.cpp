// The Pager's log and recovery: starting a log generation, judging whether a log belongs to
// the files, taking the write lock and finishing what a dead writer left, the read-only
// handle's look at a log it cannot apply, and checkpoints.
#include <algorithm>
#include <cstring>
#include <functional>

#include "engine/EngineError.h"
#include "engine/store/Coding.h"
#include "engine/store/Crc32c.h"
#include "engine/store/Pager.h"
#include "engine/store/PagerShared.h"

namespace mv32::engine::store {

void Pager::openWal() {
    if (walReady_) return;
    bool existed = fs_->exists(wal_.path());
    wal_.open();
    // A missing log starts a generation against the files as they are; a log that exists, even
    // one whose header was never completed, is left to recovery, which judges its frames.
    if (!existed) {
        DbHead head;
        readDbHead(head);
        wal_.reset(head.state);
        fs_->syncDir(pager::dirOf(base_));
    }
    walReady_ = true;
}

void Pager::readDbHead(DbHead& head) {
    auto& db = pf(kDbFile);
    head = DbHead{};
    if (db.file->read(0, head.page, kPageSize) == kPageSize &&
        crc32c(head.page + 4, kPageSize - 4) == get32(head.page)) {
        head.readable = true;
        head.flagged = (get32(head.page + kHdrFlags) & kFlagApplying) != 0;
        head.state = FileState{get64(head.page + kHdrTableId), get64(head.page + kHdrCounter)};
    }
}

FileState Pager::currentState() const {
    const FileHeader& h = pf(kDbFile).hdr;
    return FileState{h.tableId, h.counter};
}

FileState Pager::stateOfCommit(const std::vector<WalFrame>& frames, size_t commit) {
    // Every commit carries the .db file's header as its last page image.
    for (size_t i = commit; i-- > 0;) {
        const WalFrame& f = frames[i];
        if (f.type == FrameType::Commit || f.type == FrameType::Origin) break;
        if (f.type != FrameType::Page || f.no != kDbFile || f.page != 0) continue;
        std::string img = wal_.payload(f);
        if (img.size() != kPageSize) throwCorrupt(wal_.path(), "Seitenbild falscher Länge");
        const auto* b = reinterpret_cast<const unsigned char*>(img.data());
        return FileState{get64(b + kHdrTableId), get64(b + kHdrCounter)};
    }
    throwCorrupt(wal_.path(), "Bestätigung ohne Dateikopf");
}

bool Pager::logBelongs(const std::vector<WalFrame>& frames, const DbHead& head) {
    // A .db header that cannot be read was torn while a commit was written into it, or the
    // table is being created: only the log can mend it.
    if (!head.readable) return true;
    bool hasOrigin = !frames.empty() && frames[0].type == FrameType::Origin;
    if (hasOrigin) {
        FileState origin = wal_.originOf(frames[0]);
        if (origin.tableId != 0 && origin == head.state) return true;
    }
    bool anyCommit = false;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].type != FrameType::Commit) continue;
        FileState produced = stateOfCommit(frames, i);
        if (produced == head.state) return true;
        // Logs written before generations named their origin: the state before their first
        // commit is the only other one they can belong to.
        if (!anyCommit && !hasOrigin && produced.tableId == head.state.tableId &&
            produced.counter == head.state.counter + 1)
            return true;
        anyCommit = true;
    }
    // Such a log holding only posts cannot be judged; it is taken as it always was.
    return !hasOrigin && !anyCommit;
}

void Pager::setLogAside() {
    const std::string from = wal_.path();
    wal_.close();
    std::string to = from + ".fremd";
    for (int n = 2; fs_->exists(to); ++n) to = from + ".fremd" + std::to_string(n);
    fs_->rename(from, to);
    fs_->syncDir(pager::dirOf(base_));
    notices_.push_back("Das Protokoll " + quoted(pager::fileNameOf(from)) +
                       " gehört nicht zum jetzigen Stand der Tabelle " +
                       quoted(pager::fileNameOf(base_) + ".db") +
                       " (ihre Dateien wurden ersetzt oder zurückkopiert). Es wurde nicht "
                       "angewandt und als " +
                       quoted(pager::fileNameOf(to)) + " beiseitegelegt.");
}

void Pager::throwCannotRecover() const {
    throw EngineError(ErrorKind::ReadOnly,
                      "Die Tabelle " + quoted(pager::fileNameOf(base_) + ".db") +
                          " wurde nicht ordnungsgemäß geschlossen und muss erst wiederhergestellt "
                          "werden; das ist hier nicht möglich: " +
                          readOnlyReason_ + ". Kopieren Sie ihre Dateien mit " +
                          quoted(pager::fileNameOf(wal_.path())) +
                          " auf einen beschreibbaren Datenträger und öffnen Sie sie dort.",
                      readOnlyReason_);
}

void Pager::inspectLogReadOnly() {
    DbHead head;
    readDbHead(head);
    const std::string table = quoted(pager::fileNameOf(base_) + ".db");
    auto cannotRecover = [this] { throwCannotRecover(); };
    if (!fs_->exists(wal_.path())) {
        if (head.flagged) cannotRecover();
        return;
    }
    wal_.open(true);
    WalHeader h = wal_.readHeader();
    uint64_t salt = h.valid ? h.salt : 0;
    uint32_t chain = h.valid ? Wal::seedFor(h.salt) : 0;
    auto frames = wal_.scan(kWalHeaderSize, &salt, &chain);
    bool work = head.flagged || !head.readable;
    size_t lastCommit = frames.size();
    for (size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].type == FrameType::Commit) lastCommit = i;
    }
    bool any = std::any_of(frames.begin(), frames.end(),
                           [](const WalFrame& f) { return f.type != FrameType::Origin; });
    if (any && !logBelongs(frames, head)) {
        notices_.push_back("Das Protokoll " + quoted(pager::fileNameOf(wal_.path())) +
                           " gehört nicht zum jetzigen Stand der Tabelle " + table +
                           " und wird nicht angewandt.");
        wal_.close();
        if (head.flagged)
            throwCorrupt(pf(kDbFile).path, "unvollständiger Schreibvorgang ohne Protokoll");
        return;
    }
    if (lastCommit < frames.size() && stateOfCommit(frames, lastCommit) != head.state) work = true;
    for (size_t i = lastCommit < frames.size() ? lastCommit + 1 : 0; i < frames.size(); ++i) {
        if (frames[i].type == FrameType::Logical) work = true;
    }
    wal_.close();
    if (work) cannotRecover();
}

std::vector<std::string> Pager::lockForWriting(
    const std::function<std::vector<std::string>()>& recover) {
    checkUsable();
    if (readOnly_) {
        throw EngineError(ErrorKind::ReadOnly,
                          "Die Tabelle " + quoted(pager::fileNameOf(base_) + ".db") +
                              " kann nicht geändert werden: " + readOnlyReason_ + ".",
                          readOnlyReason_);
    }
    if (writing_) throw std::logic_error("Schreibtransaktion läuft bereits");
    waitLock(kLockWrite, LockKind::Exclusive, pager::kWriteLockTimeoutMs,
             "ein anderer Benutzer ändert sie gerade");
    writing_ = true;
    try {
        auto logical = recover();
        // The log's committed work is in the files now: what waited for room waits no more.
        // Posts a dead writer left are this transaction's to commit; endWrite asks for a view
        // again if it cannot.
        needView_ = false;
        viewReason_.clear();
        txnStartEnd_ = wal_.end();
        txnStartChecksum_ = wal_.checksum();
        return logical;
    } catch (const EngineError& e) {
        writing_ = false;
        pf(kDbFile).file->unlock(kLockWrite);
        // The log stays as it is and keeps all it holds: on a full medium the handle reads
        // through it instead of being given up.
        if (waitsForRoom(e)) {
            failed_ = false;
            logMustWait(e);
        }
        throw;
    } catch (...) {
        writing_ = false;
        pf(kDbFile).file->unlock(kLockWrite);
        throw;
    }
}

std::vector<std::string> Pager::beginWrite() {
    // A view is left: the writer writes the log into the files first.
    const bool wasViewing = viewing_;
    leaveView();
    return lockForWriting([this, wasViewing] {
        openWal();
        wal_.dropMap();
        auto logical = recoverFrom(false);
        // Another handle may have committed since this one last looked.
        FileHeader h = readHeader(pf(kDbFile));
        if (wasViewing || h.counter != knownCounter_) {
            dropCache();
            reloadHeaders();
        }
        return logical;
    });
}

std::vector<std::string> Pager::recoverAll() {
    return lockForWriting([this] {
        bool existed = fs_->exists(wal_.path());
        openWal();
        if (!existed) {
            commitEnd_ = wal_.end();
            commitChecksum_ = wal_.checksum();
            return std::vector<std::string>{};
        }
        return recoverFrom(true);
    });
}

std::vector<std::string> Pager::recoverFrom(bool full) {
    WalHeader h = wal_.readHeader();
    auto& db = pf(kDbFile);
    DbHead head;
    readDbHead(head);
    const bool dbReadable = head.readable;
    const bool dbFlag = head.flagged;
    unsigned char* dbHead = head.page;
    if (!full && h.valid && !dbFlag && h.appliedEnd >= h.committedEnd) {
        uint64_t salt = h.salt;
        uint32_t chain = h.lastChecksum;
        auto beyond = wal_.scan(h.committedEnd, &salt, &chain);
        if (beyond.empty()) {
            tailEnd_ = 0;
            wal_.startAppend(h.salt, h.committedEnd, h.lastChecksum);
            commitEnd_ = h.committedEnd;
            commitChecksum_ = h.lastChecksum;
            return {};
        }
    }
    uint64_t salt = h.valid ? h.salt : 0;
    uint32_t chain = h.valid ? Wal::seedFor(h.salt) : 0;
    auto frames = wal_.scan(kWalHeaderSize, &salt, &chain);
    bool any = std::any_of(frames.begin(), frames.end(),
                           [](const WalFrame& f) { return f.type != FrameType::Origin; });
    if (!any) {
        // Nothing was committed or posted since the generation began.
        if (dbFlag) throwCorrupt(db.path, "unvollständiger Schreibvorgang ohne Protokoll");
        wal_.reset(head.state);
        commitEnd_ = wal_.end();
        commitChecksum_ = wal_.checksum();
        return {};
    }
    if (!logBelongs(frames, head)) {
        // Page images written against other files would damage these for good, and posts
        // would add records they never had: the log is kept aside, the files stay as they are.
        setLogAside();
        wal_.open();
        if (dbFlag) throwCorrupt(db.path, "unvollständiger Schreibvorgang ohne Protokoll");
        wal_.reset(head.state);
        fs_->syncDir(pager::dirOf(base_));
        commitEnd_ = wal_.end();
        commitChecksum_ = wal_.checksum();
        return {};
    }
    // Mark the files as being written, so that readers elsewhere wait for this recovery.
    waitLock(kLockRead, LockKind::Exclusive, pager::kReadLockTimeoutMs, "Wiederherstellung läuft");
    try {
        if (dbReadable && !dbFlag) {
            put32(dbHead + kHdrFlags, get32(dbHead + kHdrFlags) | kFlagApplying);
            put32(dbHead, crc32c(dbHead + 4, kPageSize - 4));
            db.file->write(0, dbHead, kPageSize);
        }
        size_t begin = 0;
        bool applied = false;
        uint64_t lastEnd = kWalHeaderSize;
        uint32_t lastChain = Wal::seedFor(salt);
        std::vector<std::string> logical;
        for (size_t i = 0; i < frames.size(); ++i) {
            if (frames[i].type == FrameType::Origin) {
                begin = i + 1;
                lastEnd = frames[i].end;
                lastChain = frames[i].chain;
            } else if (frames[i].type == FrameType::Commit) {
                applyCommitFromLog(frames, begin, i);
                applied = true;
                begin = i + 1;
                lastEnd = frames[i].end;
                lastChain = frames[i].chain;
                logical.clear();
            } else if (frames[i].type == FrameType::Logical) {
                // Logical frames never sit between the page frames of one commit.
                logical.push_back(wal_.payload(frames[i]));
                lastEnd = frames[i].end;
                lastChain = frames[i].chain;
            }
        }
        // The header never counts posts after the last commit as committed: they are frames
        // beyond it, so that the next writer executes them if this one cannot.
        commitEnd_ = kWalHeaderSize;
        commitChecksum_ = Wal::seedFor(salt);
        for (size_t i = frames.size(); i-- > 0;) {
            if (frames[i].type == FrameType::Commit || frames[i].type == FrameType::Origin) {
                commitEnd_ = frames[i].end;
                commitChecksum_ = frames[i].chain;
                break;
            }
        }
        wal_.startAppend(salt, lastEnd, lastChain);
        wal_.writeHeader(WalHeader{true, salt, commitEnd_, commitEnd_, commitChecksum_});
        tailEnd_ = logical.empty() ? 0 : lastEnd;
        // The applied commit cleared the flag; without any commit, clear it ourselves.
        if (dbReadable && !dbFlag && !applied) {
            put32(dbHead + kHdrFlags, get32(dbHead + kHdrFlags) & ~kFlagApplying);
            put32(dbHead, crc32c(dbHead + 4, kPageSize - 4));
            db.file->write(0, dbHead, kPageSize);
        }
        db.file->unlock(kLockRead);
        dropCache();
        reloadHeaders();
        return logical;
    } catch (...) {
        db.file->unlock(kLockRead);
        failed_ = true;
        throw;
    }
}

void Pager::ensureFileOpen(PagedFile& f, bool create) {
    if (!f.file) f.file = fs_->open(f.path, create);
}

void Pager::applyCommitFromLog(const std::vector<WalFrame>& frames, size_t begin, size_t commit) {
    std::string payload = wal_.payload(frames[commit]);
    Reader r(reinterpret_cast<const unsigned char*>(payload.data()), payload.size(), wal_.path(),
             "Bestätigungsrahmen beschädigt");
    uint32_t n = r.u32();
    std::vector<ApplyFile> actions;
    for (uint32_t i = 0; i < n; ++i) {
        ApplyFile a{};
        a.no = r.u32();
        a.action = static_cast<FileAction>(r.u8());
        if (a.action != FileAction::Keep && a.action != FileAction::Delete) r.fail();
        a.pageCount = r.u32();
        actions.push_back(a);
    }
    auto fileFor = [&](uint32_t no) -> PagedFile& {
        auto& f = files_[no];
        f.no = no;
        f.path = pathOf(no);
        return f;
    };
    for (size_t i = begin; i < commit; ++i) {
        const WalFrame& fr = frames[i];
        if (fr.type != FrameType::Page) continue;
        bool deleted = std::any_of(actions.begin(), actions.end(), [&](const ApplyFile& a) {
            return a.no == fr.no && a.action == FileAction::Delete;
        });
        if (deleted) continue;
        if (fr.length != kPageSize) throwCorrupt(wal_.path(), "Seitenbild falscher Länge");
        auto& f = fileFor(fr.no);
        ensureFileOpen(f, true);
        std::string img = wal_.payload(fr);
        f.file->write(uint64_t{fr.page} * kPageSize, img.data(), img.size());
    }
    for (auto& a : actions) {
        auto& f = fileFor(a.no);
        if (a.action == FileAction::Delete) {
            if (a.no == kDbFile) continue;
            f.file.reset();
            fs_->remove(f.path);
            files_.erase(a.no);
        } else {
            ensureFileOpen(f, true);
            if (f.file->size() != uint64_t{a.pageCount} * kPageSize) {
                f.file->truncate(uint64_t{a.pageCount} * kPageSize);
            }
        }
    }
}

void Pager::endWrite() {
    if (!writing_) return;
    if (hasChanges()) rollback();
    try {
        if (!failed_) applyLogged();
        // Posts a dead writer left that this transaction did not commit (no room for them):
        // other handles must read them from the log until a writer can.
        if (tailEnd_ > commitEnd_) {
            tailEnd_ = 0;
            markFilesBehind();
            needView_ = true;
        }
        // Frames after the last commit are posts another writer must still execute: the log
        // is only restarted when there are none.
        if (!failed_ && wal_.end() == commitEnd_ && wal_.end() > pager::kCheckpointBytes)
            checkpoint();
    } catch (...) {
        failed_ = true;
        writing_ = false;
        pf(kDbFile).file->unlock(kLockWrite);
        throw;
    }
    writing_ = false;
    // Another process's writer may shorten the log next, which Windows refuses while a view
    // of it remains.
    wal_.dropMap();
    pf(kDbFile).file->unlock(kLockWrite);
}

void Pager::checkpoint() {
    for (auto& [no, f] : files_) {
        if (f.file && !f.deleted) f.file->sync();
    }
    fs_->syncDir(pager::dirOf(base_));
    wal_.reset(currentState());
    tailEnd_ = 0;
    commitEnd_ = wal_.end();
    commitChecksum_ = wal_.checksum();
    txnStartEnd_ = commitEnd_;
    txnStartChecksum_ = commitChecksum_;
}

}  // namespace mv32::engine::store
