#include "engine/store/Pager.h"

#include <algorithm>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/EngineError.h"
#include "engine/store/Coding.h"
#include "engine/store/Crc32c.h"
#include "engine/store/PagerShared.h"

namespace mv32::engine::store {

void setCacheLimit(size_t bytes) {
    pager::cacheLimit = bytes < (64u << 10) ? (64u << 10) : bytes;
}
size_t cacheLimit() {
    return pager::cacheLimit;
}
size_t cacheUsed() {
    return pager::cleanBytes + pager::dirtyNodes * pager::kDirtyNodeEstimate;
}

Pager::Pager(std::shared_ptr<FileSystem> fs, std::string base)
    : fs_(std::move(fs)), base_(std::move(base)), wal_(*fs_, base_ + ".wal") {}

Pager::~Pager() {
    try {
        close();
    } catch (...) {
        // A failing close leaves the log for the next opener's recovery.
    }
    pager::cleanBytes -= cacheBytes_;
}

std::string Pager::extensionOf(uint32_t no) {
    switch (no) {
        case kDbFile:
            return ".db";
        case kPxFile:
            return ".px";
        case kMbFile:
            return ".mb";
        default:
            return ".xg" + std::to_string(no - kFirstIndexFile);
    }
}

std::string Pager::pathOf(uint32_t no) const {
    return base_ + extensionOf(no);
}

Pager::PagedFile& Pager::pf(uint32_t no) {
    auto it = files_.find(no);
    if (it == files_.end()) throw std::logic_error("Datei nicht geöffnet");
    return it->second;
}

const Pager::PagedFile& Pager::pf(uint32_t no) const {
    auto it = files_.find(no);
    if (it == files_.end()) throw std::logic_error("Datei nicht geöffnet");
    return it->second;
}

void Pager::checkUsable() const {
    if (failed_) {
        throw EngineError(ErrorKind::Failed,
                          "Die Tabelle " + quoted(pager::fileNameOf(base_) + ".db") +
                              " ist nach einem Schreibfehler gesperrt; sie muss geschlossen und "
                              "neu geöffnet werden.");
    }
}

// --- Locks -------------------------------------------------------------------------------

void Pager::openDbFile(bool create) {
    auto& f = files_[kDbFile];
    f.no = kDbFile;
    f.path = pathOf(kDbFile);
    if (f.file) return;
    try {
        f.file = fs_->open(f.path, create);
    } catch (const EngineError& e) {
        // A catalog on a CD, a read-only mount or another user's files is still read in full.
        if (create || e.kind() != ErrorKind::ReadOnly) throw;
        f.file = fs_->openReadOnly(f.path);
        readOnly_ = true;
        readOnlyReason_ = e.reason().empty() ? std::string("Zugriff verweigert") : e.reason();
    }
}

uint64_t Pager::dbFileSize() {
    return pf(kDbFile).file->size();
}

void Pager::resetFile(uint32_t no) {
    auto& f = pf(no);
    markChanged(no);
    for (auto c = cache_.begin(); c != cache_.end();) {
        if ((c->first >> 32) == no) {
            cacheBytes_ -= std::min(cacheBytes_, c->second.bytes);
            pager::cleanBytes -= std::min<size_t>(pager::cleanBytes, c->second.bytes);
            lru_.erase(c->second.lru);
            c = cache_.erase(c);
        } else {
            ++c;
        }
    }
    for (auto d = dirty_.begin(); d != dirty_.end();) {
        if ((d->first >> 32) == no) {
            d = dirty_.erase(d);
            pager::dirtyNodes -= std::min<size_t>(pager::dirtyNodes, 1);
        } else {
            ++d;
        }
    }
    for (auto r = raw_.begin(); r != raw_.end();) {
        r = (r->first >> 32) == no ? raw_.erase(r) : std::next(r);
    }
    for (auto r = streamedAt_.begin(); r != streamedAt_.end();) {
        r = (r->first >> 32) == no ? streamedAt_.erase(r) : std::next(r);
    }
    streamed_.erase(std::remove_if(streamed_.begin(), streamed_.end(),
                                   [no](const auto& s) { return (s.first >> 32) == no; }),
                    streamed_.end());
    f.hdr.pageCount = 1;
    f.hdr.freeHead = 0;
    f.hdr.freeCount = 0;
    f.hdr.root = 0;
    f.hdr.entries = 0;
}

std::vector<uint32_t> Pager::freePages(uint32_t no) {
    auto& f = pf(no);
    std::vector<uint32_t> pages;
    uint32_t t = f.hdr.freeHead;
    while (t) {
        if (pages.size() > f.hdr.pageCount) throwCorrupt(f.path, "Freiliste enthält einen Ring");
        std::string img = readPage(no, t, PageType::FreeTrunk);
        const auto* b = reinterpret_cast<const unsigned char*>(img.data());
        size_t count = get16(b + 14);
        if (count > kTrunkCapacity) throwCorrupt(f.path, "Freiliste beschädigt");
        pages.push_back(t);
        for (size_t i = 0; i < count; ++i) {
            uint32_t p = get32(b + kPageHeaderSize + 4 + 4 * i);
            readPage(no, p, PageType::Free);
            pages.push_back(p);
        }
        t = get32(b + kPageHeaderSize);
    }
    if (pages.size() != f.hdr.freeCount) throwCorrupt(f.path, "Anzahl freier Seiten stimmt nicht");
    return pages;
}

void Pager::waitLock(uint64_t offset, LockKind kind, int timeoutMs, const char* what) {
    File& lf = *pf(kDbFile).file;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int pause = 1;
    while (!lf.tryLock(offset, kind)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            throw EngineError(ErrorKind::Locked, "Die Tabelle " +
                                                     quoted(pager::fileNameOf(pf(0).path)) +
                                                     " ist gesperrt: " + what + ".");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        pause = std::min(pause * 2, 20);
    }
}

void Pager::lockOpen(bool exclusive) {
    File& lf = *pf(kDbFile).file;
    // A file open for reading only cannot carry an exclusive lock, and its handle changes
    // nothing that would need one.
    if (readOnly_) exclusive = false;
    // A closing handle holds the lock exclusively for a moment while it removes the log.
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(exclusive ? 0 : 500);
    while (!lf.tryLock(kLockOpen, exclusive ? LockKind::Exclusive : LockKind::Shared)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::string name = quoted(pager::fileNameOf(pf(0).path));
            throw EngineError(ErrorKind::Locked,
                              exclusive ? "Die Tabelle " + name +
                                              " ist in Benutzung und kann nicht exklusiv "
                                              "geöffnet werden."
                                        : "Die Tabelle " + name +
                                              " ist exklusiv von einem anderen Benutzer geöffnet.");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    openLocked_ = true;
    exclusive_ = exclusive;
}

bool Pager::soleOpener() {
    if (exclusive_) return true;
    File& lf = *pf(kDbFile).file;
    if (readOnly_) return !lf.lockedElsewhere(kLockOpen, LockKind::Exclusive);
    if (!lf.tryLock(kLockOpen, LockKind::Exclusive)) return false;
    lf.tryLock(kLockOpen, LockKind::Shared);
    return true;
}

// --- Headers -----------------------------------------------------------------------------

void Pager::sealPage(uint32_t no, uint32_t page, unsigned char* image) const {
    put32(image + 4, page);
    put32(image + 8, fileTag(pf(kDbFile).hdr.tableId, no));
    put32(image, crc32c(image + 4, kPageSize - 4));
}

FileHeader Pager::readHeader(PagedFile& f) {
    unsigned char b[kPageSize];
    // A view reads the header the log holds, and the file may lack the pages it counts.
    const bool fromLog = viewing_ && (heldImage(key(f.no, 0)) || logged_.count(key(f.no, 0)));
    uint64_t size = 0;
    if (fromLog) {
        std::string img = readRaw(f, 0);
        std::memcpy(b, img.data(), kPageSize);
    } else if (!f.file || (size = f.file->size()) < kPageSize ||
               f.file->read(0, b, kPageSize) != kPageSize) {
        throwCorrupt(f.path, "der Dateikopf fehlt oder ist verkürzt");
    }
    if (crc32c(b + 4, kPageSize - 4) != get32(b))
        throwCorrupt(f.path, "Prüfsumme des Dateikopfs falsch");
    FileHeader h;
    h.magic.assign(reinterpret_cast<const char*>(b + kHdrMagic), 8);
    if (h.magic.compare(0, 4, "MV32") != 0 || get32(b + 4) != 0 ||
        static_cast<PageType>(b[12]) != PageType::FileHeader) {
        throwCorrupt(f.path, "keine Tabellendatei");
    }
    if (get32(b + kHdrVersion) != kFormatVersion || get32(b + kHdrPageSize) != kPageSize) {
        throwCorrupt(f.path, "unbekannte Formatversion");
    }
    h.tableId = get64(b + kHdrTableId);
    if (get32(b + 8) != fileTag(h.tableId, f.no))
        throwCorrupt(f.path, "Dateikopf gehört zu einer anderen Datei");
    h.counter = get64(b + kHdrCounter);
    h.pageCount = get32(b + kHdrPageCount);
    h.freeHead = get32(b + kHdrFreeHead);
    h.freeCount = get32(b + kHdrFreeCount);
    h.root = get32(b + kHdrRoot);
    h.entries = get64(b + kHdrEntries);
    h.flags = get32(b + kHdrFlags);
    size_t dirCount = get16(b + kHdrDirCount);
    size_t blockLen = get16(b + kHdrBlockLen);
    if (kHdrDir + dirCount * kDirEntrySize + blockLen > kPageSize || h.pageCount == 0 ||
        h.root >= h.pageCount || h.freeHead >= h.pageCount || h.freeCount >= h.pageCount) {
        throwCorrupt(f.path, "Dateikopf widersprüchlich");
    }
    if (!fromLog && size < uint64_t{h.pageCount} * kPageSize) {
        throwCorrupt(
            f.path, "die Datei ist verkürzt (" + std::to_string(h.pageCount) + " Seiten erwartet)");
    }
    for (size_t i = 0; i < dirCount; ++i) {
        const unsigned char* e = b + kHdrDir + i * kDirEntrySize;
        h.dir.emplace_back(get32(e), get64(e + 4));
    }
    h.block.assign(reinterpret_cast<const char*>(b + kHdrDir + dirCount * kDirEntrySize), blockLen);
    const size_t extra = kHdrDir + dirCount * kDirEntrySize + blockLen;
    if (f.no == kDbFile && extra + kHdrExtraSize <= kPageSize) {
        h.generation = get64(b + extra);
        h.trigramField = get16(b + extra + 8);
    }
    return h;
}

std::string Pager::encodeHeader(const PagedFile& f) const {
    const FileHeader& h = f.hdr;
    if (kHdrDir + h.dir.size() * kDirEntrySize + h.block.size() > kPageSize) {
        throw EngineError(ErrorKind::Usage, "Die Tabellendefinition von " +
                                                quoted(pager::fileNameOf(f.path)) +
                                                " ist zu groß für den Dateikopf.");
    }
    std::string img(kPageSize, '\0');
    auto* b = reinterpret_cast<unsigned char*>(img.data());
    b[12] = static_cast<unsigned char>(PageType::FileHeader);
    std::memcpy(b + kHdrMagic, h.magic.data(), 8);
    put32(b + kHdrVersion, kFormatVersion);
    put32(b + kHdrPageSize, kPageSize);
    put64(b + kHdrTableId, h.tableId);
    put64(b + kHdrCounter, h.counter);
    put32(b + kHdrPageCount, h.pageCount);
    put32(b + kHdrFreeHead, h.freeHead);
    put32(b + kHdrFreeCount, h.freeCount);
    put32(b + kHdrRoot, h.root);
    put64(b + kHdrEntries, h.entries);
    put32(b + kHdrFlags, h.flags);
    put16(b + kHdrDirCount, static_cast<uint16_t>(h.dir.size()));
    put16(b + kHdrBlockLen, static_cast<uint16_t>(h.block.size()));
    unsigned char* e = b + kHdrDir;
    for (auto& [no, counter] : h.dir) {
        put32(e, no);
        put64(e + 4, counter);
        e += kDirEntrySize;
    }
    std::memcpy(e, h.block.data(), h.block.size());
    unsigned char* extra = e + h.block.size();
    if (f.no == kDbFile && static_cast<size_t>(extra - b) + kHdrExtraSize <= kPageSize) {
        put64(extra, h.generation);
        put16(extra + 8, h.trigramField);
    }
    put32(b + 8, fileTag(h.tableId, f.no));
    put32(b, crc32c(b + 4, kPageSize - 4));
    return img;
}

// --- Files -------------------------------------------------------------------------------

bool Pager::attach(uint32_t no) {
    auto& f = files_[no];
    f.no = no;
    f.path = pathOf(no);
    try {
        if (!f.file) {
            if (no != kDbFile && !fs_->exists(f.path)) {
                // A view may hold a file whose writing into place is still to come.
                if (!viewing_ || (!heldImage(key(no, 0)) && !logged_.count(key(no, 0)))) {
                    files_.erase(no);
                    return false;
                }
            } else {
                f.file = readOnly_ ? fs_->openReadOnly(f.path) : fs_->open(f.path, false);
            }
        }
        f.hdr = readHeader(f);
    } catch (...) {
        if (no != kDbFile) files_.erase(no);
        throw;
    }
    f.attached = true;
    f.saved = f.hdr;
    if (no == kDbFile) knownCounter_ = f.hdr.counter;
    return true;
}

void Pager::detach(uint32_t no) {
    if (no == kDbFile) return;
    auto it = files_.find(no);
    if (it == files_.end()) return;
    for (auto c = cache_.begin(); c != cache_.end();) {
        if ((c->first >> 32) == no) {
            lru_.erase(c->second.lru);
            size_t m = c->second.bytes;
            cacheBytes_ -= std::min(cacheBytes_, m);
            pager::cleanBytes -= std::min<size_t>(pager::cleanBytes, m);
            c = cache_.erase(c);
        } else {
            ++c;
        }
    }
    files_.erase(it);
}

bool Pager::has(uint32_t no) const {
    auto it = files_.find(no);
    return it != files_.end() && !it->second.deleted && (it->second.file || it->second.created);
}

const FileHeader& Pager::header(uint32_t no) const {
    return pf(no).hdr;
}

FileHeader& Pager::mutableHeader(uint32_t no) {
    markChanged(no);
    return pf(no).hdr;
}

void Pager::setCodec(uint32_t no, const NodeCodec* codec) {
    pf(no).codec = codec;
}

std::vector<uint32_t> Pager::fileNumbers() const {
    std::vector<uint32_t> v;
    for (auto& [no, f] : files_) {
        if (!f.deleted) v.push_back(no);
    }
    return v;
}

void Pager::markChanged(uint32_t no) {
    if (!writing_) throw std::logic_error("Änderung außerhalb einer Schreibtransaktion");
    pf(no).changed = true;
}

void Pager::createFile(uint32_t no, const char* magic, uint64_t tableId, std::string block,
                       bool withRoot) {
    if (!writing_) throw std::logic_error("Datei anlegen außerhalb einer Transaktion");
    auto& f = files_[no];
    f.no = no;
    f.path = pathOf(no);
    f.created = true;
    f.deleted = false;
    f.changed = true;
    f.hdr = FileHeader{};
    f.hdr.magic.assign(magic, 8);
    f.hdr.tableId = tableId;
    f.hdr.pageCount = 1;
    f.hdr.block = std::move(block);
    for (auto c = cache_.begin(); c != cache_.end();) {
        if ((c->first >> 32) == no) {
            lru_.erase(c->second.lru);
            c = cache_.erase(c);
        } else {
            ++c;
        }
    }
    for (auto r = raw_.begin(); r != raw_.end();) {
        r = (r->first >> 32) == no ? raw_.erase(r) : std::next(r);
    }
    if (withRoot) {
        auto root = newNode(no, 0);
        f.hdr.root = root->page;
    }
}

void Pager::deleteFile(uint32_t no) {
    auto it = files_.find(no);
    if (it == files_.end()) {
        // Not attached (missing or stale): still remove it from disk at commit.
        auto& f = files_[no];
        f.no = no;
        f.path = pathOf(no);
    }
    auto& f = files_[no];
    markChanged(no);
    f.deleted = true;
    for (auto d = dirty_.begin(); d != dirty_.end();) {
        if ((d->first >> 32) == no) {
            d = dirty_.erase(d);
            pager::dirtyNodes -= std::min<size_t>(pager::dirtyNodes, 1);
        } else {
            ++d;
        }
    }
    for (auto r = raw_.begin(); r != raw_.end();) {
        r = (r->first >> 32) == no ? raw_.erase(r) : std::next(r);
    }
}

// --- Pages and nodes ---------------------------------------------------------------------

std::string Pager::readRaw(PagedFile& f, uint32_t page) {
    auto it = raw_.find(key(f.no, page));
    if (it != raw_.end()) return it->second;
    auto st = streamedAt_.find(key(f.no, page));
    if (st != streamedAt_.end()) return readLogged(st->second);  // written straight to the log
    if (const std::string* held = heldImage(key(f.no, page))) return *held;
    auto lg = logged_.find(key(f.no, page));
    if (lg != logged_.end()) return readLogged(lg->second);  // committed, not yet in the file
    if (!f.file) throwCorrupt(f.path, "die Datei fehlt");
    if (page == 0 || page >= f.hdr.pageCount) {
        throwCorrupt(f.path, "Verweis auf Seite " + std::to_string(page) + " außerhalb der Datei");
    }
    std::string img(kPageSize, '\0');
    if (f.file->read(uint64_t{page} * kPageSize, img.data(), kPageSize) != kPageSize) {
        throwCorrupt(f.path, "die Datei ist verkürzt (Seite " + std::to_string(page) + " fehlt)");
    }
    const auto* b = reinterpret_cast<const unsigned char*>(img.data());
    if (crc32c(b + 4, kPageSize - 4) != get32(b)) {
        throwCorrupt(f.path, "Prüfsumme der Seite " + std::to_string(page) + " falsch");
    }
    if (get32(b + 4) != page || get32(b + 8) != fileTag(pf(kDbFile).hdr.tableId, f.no)) {
        throwCorrupt(f.path, "Seite " + std::to_string(page) + " steht an falscher Stelle");
    }
    return img;
}

std::string Pager::readPage(uint32_t no, uint32_t page, PageType expected) {
    auto& f = pf(no);
    std::string img = readRaw(f, page);
    if (static_cast<PageType>(static_cast<unsigned char>(img[12])) != expected) {
        throwCorrupt(f.path, "Seite " + std::to_string(page) + " hat den falschen Typ");
    }
    return img;
}

NodePtr Pager::node(uint32_t no, uint32_t page) {
    auto k = key(no, page);
    auto it = cache_.find(k);
    if (it != cache_.end()) {
        lru_.splice(lru_.begin(), lru_, it->second.lru);
        return it->second.node;
    }
    auto n = std::make_shared<Node>();
    decodeInto(no, page, *n);
    cachePut(no, n);
    evict();
    return n;
}

NodePtr Pager::peekNode(uint32_t no, uint32_t page, NodePtr& scratch) {
    auto it = cache_.find(key(no, page));
    if (it != cache_.end()) return it->second.node;
    if (!scratch || scratch.use_count() > 1) scratch = std::make_shared<Node>();
    decodeInto(no, page, *scratch, false);
    return scratch;
}

NodePtr Pager::peekSelected(uint32_t no, uint32_t page, const std::vector<uint16_t>& wanted,
                            NodePtr& scratch, bool& whole, size_t& count) {
    auto it = cache_.find(key(no, page));
    if (it != cache_.end()) {
        whole = true;
        count = it->second.node->size();
        return it->second.node;
    }
    if (!scratch || scratch.use_count() > 1) scratch = std::make_shared<Node>();
    auto& f = pf(no);
    if (!f.codec) throw std::logic_error("kein Knotenformat für Datei");
    std::string img = readRaw(f, page);
    scratch->page = page;
    scratch->dirty = false;
    count = f.codec->decodeSelected(*scratch, reinterpret_cast<const unsigned char*>(img.data()),
                                    f.path, overflowReader(f), wanted);
    whole = false;
    return scratch;
}

OverflowReader Pager::overflowReader(PagedFile& f) {
    return [this, &f](uint32_t first, size_t length) {
        std::string out;
        out.reserve(length);
        uint32_t p = first;
        size_t guard = length / kOverflowCapacity + 2;
        while (out.size() < length) {
            if (p == 0 || guard-- == 0) throwCorrupt(f.path, "Überlaufkette unterbrochen");
            std::string o = readRaw(f, p);
            const auto* b = reinterpret_cast<const unsigned char*>(o.data());
            if (static_cast<PageType>(b[12]) != PageType::Overflow) {
                throwCorrupt(f.path, "Überlaufseite " + std::to_string(p) + " erwartet");
            }
            size_t cnt = get16(b + kPageHeaderSize + 4);
            if (cnt == 0 || cnt > kOverflowCapacity || cnt > length - out.size()) {
                throwCorrupt(f.path, "Überlaufseite " + std::to_string(p) + " beschädigt");
            }
            out.append(o, kOverflowHeader, cnt);
            p = get32(b + kPageHeaderSize);
        }
        return out;
    };
}

void Pager::decodeInto(uint32_t no, uint32_t page, Node& n, bool compact) {
    auto& f = pf(no);
    std::string img = readRaw(f, page);
    n.page = page;
    n.dirty = false;
    if (!f.codec) throw std::logic_error("kein Knotenformat für Datei");
    f.codec->decode(n, reinterpret_cast<const unsigned char*>(img.data()), f.path,
                    overflowReader(f), compact);
}

NodePtr Pager::newNode(uint32_t no, uint8_t level) {
    uint32_t page = allocatePage(no);
    auto n = std::make_shared<Node>();
    n->page = page;
    n->level = level;
    n->dirty = true;
    cachePut(no, n);
    dirty_[key(no, page)] = n;
    ++pager::dirtyNodes;
    // Changed nodes count against the one limit: a bulk group that adds them makes room among
    // the clean ones at once, not only at its commit.
    evict();
    return n;
}

void Pager::touch(uint32_t no, const NodePtr& n) {
    if (n->dirty) return;
    markChanged(no);
    n->dirty = true;
    auto k = key(no, n->page);
    dirty_[k] = n;
    ++pager::dirtyNodes;
    auto it = cache_.find(k);
    if (it != cache_.end()) account(it->second, 0);
    evict();
}

void Pager::account(CacheItem& item, size_t bytes) {
    cacheBytes_ = cacheBytes_ - std::min(cacheBytes_, item.bytes) + bytes;
    size_t old = item.bytes;
    pager::cleanBytes -= std::min<size_t>(pager::cleanBytes, old);
    pager::cleanBytes += bytes;
    item.bytes = bytes;
}

void Pager::forgetDirty(uint64_t k) {
    if (dirty_.erase(k)) pager::dirtyNodes -= std::min<size_t>(pager::dirtyNodes, 1);
}

void Pager::freeNode(uint32_t no, const NodePtr& n) {
    cacheErase(no, n->page);
    forgetDirty(key(no, n->page));
    n->dirty = false;
    freePage(no, n->page);
}

void Pager::freeOverflow(uint32_t no, uint32_t first, size_t length) {
    auto& f = pf(no);
    uint32_t p = first;
    size_t guard = length / kOverflowCapacity + 2;
    while (p) {
        if (guard-- == 0) throwCorrupt(f.path, "Überlaufkette zu lang");
        std::string o = readRaw(f, p);
        uint32_t next = get32(reinterpret_cast<const unsigned char*>(o.data()) + kPageHeaderSize);
        freePage(no, p);
        p = next;
    }
}

std::string& Pager::rawForWrite(uint32_t no, uint32_t page, PageType type) {
    auto k = key(no, page);
    auto it = raw_.find(k);
    if (it != raw_.end()) return it->second;
    std::string img = readPage(no, page, type);
    return raw_[k] = std::move(img);
}

void Pager::freePage(uint32_t no, uint32_t page) {
    FileHeader& h = mutableHeader(no);
    cacheErase(no, page);
    if (h.freeHead) {
        std::string& t = rawForWrite(no, h.freeHead, PageType::FreeTrunk);
        auto* b = reinterpret_cast<unsigned char*>(t.data());
        uint16_t count = get16(b + 14);
        if (count < kTrunkCapacity) {
            put32(b + kPageHeaderSize + 4 + 4u * count, page);
            put16(b + 14, static_cast<uint16_t>(count + 1));
            h.freeCount++;
            std::string img(kPageSize, '\0');
            img[12] = static_cast<char>(PageType::Free);
            raw_[key(no, page)] = std::move(img);
            return;
        }
    }
    std::string img(kPageSize, '\0');
    auto* b = reinterpret_cast<unsigned char*>(img.data());
    b[12] = static_cast<unsigned char>(PageType::FreeTrunk);
    put32(b + kPageHeaderSize, h.freeHead);
    raw_[key(no, page)] = std::move(img);
    h.freeHead = page;
    h.freeCount++;
}

uint32_t Pager::allocatePage(uint32_t no) {
    FileHeader& h = mutableHeader(no);
    auto& f = pf(no);
    if (h.freeHead) {
        std::string& t = rawForWrite(no, h.freeHead, PageType::FreeTrunk);
        auto* b = reinterpret_cast<unsigned char*>(t.data());
        uint16_t count = get16(b + 14);
        if (count > kTrunkCapacity || h.freeCount == 0)
            throwCorrupt(f.path, "Freiliste beschädigt");
        uint32_t p;
        if (count > 0) {
            p = get32(b + kPageHeaderSize + 4 + 4u * (count - 1u));
            put16(b + 14, static_cast<uint16_t>(count - 1));
        } else {
            p = h.freeHead;
            h.freeHead = get32(b + kPageHeaderSize);
            if (h.freeHead >= h.pageCount) throwCorrupt(f.path, "Freiliste beschädigt");
        }
        if (p == 0 || p >= h.pageCount)
            throwCorrupt(f.path, "Freiliste verweist außerhalb der Datei");
        h.freeCount--;
        raw_.erase(key(no, p));
        cacheErase(no, p);
        return p;
    }
    if (h.pageCount == 0xFFFFFFFFu) {
        throw EngineError(ErrorKind::DiskFull,
                          "Die Datei " + quoted(f.path) + " hat ihre größte Länge erreicht.");
    }
    return h.pageCount++;
}

// --- Cache -------------------------------------------------------------------------------

void Pager::cachePut(uint32_t no, const NodePtr& n) {
    auto k = key(no, n->page);
    auto it = cache_.find(k);
    if (it != cache_.end()) {
        it->second.node = n;
        lru_.splice(lru_.begin(), lru_, it->second.lru);
        return;
    }
    lru_.push_front(k);
    size_t m = n->dirty ? 0 : n->memory();
    cache_[k] = CacheItem{n, lru_.begin(), m};
    cacheBytes_ += m;
    pager::cleanBytes += m;
}

void Pager::cacheErase(uint32_t no, uint32_t page) {
    auto it = cache_.find(key(no, page));
    if (it == cache_.end()) return;
    size_t m = it->second.bytes;
    cacheBytes_ -= std::min(cacheBytes_, m);
    pager::cleanBytes -= std::min<size_t>(pager::cleanBytes, m);
    lru_.erase(it->second.lru);
    cache_.erase(it);
}

void Pager::evict(size_t reserve) {
    if (cacheUsed() + reserve <= pager::cacheLimit) return;
    // From the least recently used end; changed nodes and nodes a path still holds stay.
    size_t freed = 0;
    auto it = lru_.end();
    while (cacheUsed() + reserve > pager::cacheLimit && it != lru_.begin()) {
        --it;
        auto c = cache_.find(*it);
        if (c->second.node->dirty || c->second.node.use_count() > 1) continue;
        size_t m = c->second.bytes;
        cacheBytes_ -= std::min(cacheBytes_, m);
        pager::cleanBytes -= std::min<size_t>(pager::cleanBytes, m);
        freed += m;
        it = lru_.erase(it);
        cache_.erase(c);
    }
    releaseFreedMemory(freed);
}

void Pager::releaseFreedMemory(size_t freed) {
#if defined(__GLIBC__)
    // Decoded pages are many small blocks: after many of them went, hand the free memory back
    // to the system now and then, so that the process stays near the cache limit.
    static std::atomic<size_t> sinceTrim{0};
    if ((sinceTrim += freed) > pager::cacheLimit) {
        sinceTrim = 0;
        malloc_trim(0);
    }
#else
    (void)freed;
#endif
}

void Pager::dropCache() {
    pager::cleanBytes -= std::min<size_t>(pager::cleanBytes, cacheBytes_);
    releaseFreedMemory(cacheBytes_);
    cacheBytes_ = 0;
    cache_.clear();
    lru_.clear();
    ++generation_;
}

void Pager::reloadHeaders() {
    std::vector<uint32_t> gone;
    for (auto& [no, f] : files_) {
        if (!f.attached || !f.file) continue;
        if (no != kDbFile && !fs_->exists(f.path)) {
            gone.push_back(no);
            continue;
        }
        f.hdr = readHeader(f);
        f.saved = f.hdr;
    }
    for (auto no : gone) files_.erase(no);
    knownCounter_ = pf(kDbFile).hdr.counter;
}

// --- Transactions ------------------------------------------------------------------------

void Pager::lockRead() {
    waitLock(kLockRead, LockKind::Shared, pager::kReadLockTimeoutMs,
             "ein anderer Benutzer schreibt");
}

void Pager::unlockRead() {
    pf(kDbFile).file->unlock(kLockRead);
}

Pager::CacheState Pager::checkCurrent() {
    checkUsable();
    auto& db = pf(kDbFile);
    // Only the counter and the flags are read here; a changed counter reloads and checks the
    // headers of all files.
    unsigned char head[kHdrDir];
    if (db.file->read(0, head, sizeof head) != sizeof head) {
        throwCorrupt(db.path, "der Dateikopf fehlt oder ist verkürzt");
    }
    const uint64_t counter = get64(head + kHdrCounter);
    const uint32_t flags = get32(head + kHdrFlags);
    if (viewing_) {
        // A view lasts while nobody wrote the log into the files.
        if (counter == viewBaseCounter_ && flags == viewBaseFlags_) return CacheState::Current;
        leaveView();
        if (!(flags & kFlagApplying)) {
            reloadHeaders();
            return CacheState::Reloaded;
        }
    }
    if (needView_ || (flags & kFlagApplying)) return CacheState::WriterDied;
    if (counter == knownCounter_) return CacheState::Current;
    dropCache();
    reloadHeaders();
    return CacheState::Reloaded;
}

void Pager::close() {
    if (files_.find(kDbFile) == files_.end() || !pf(kDbFile).file) {
        files_.clear();
        return;
    }
    if (writing_) {
        rollback();
        writing_ = false;
        pf(kDbFile).file->unlock(kLockWrite);
    }
    File& lf = *pf(kDbFile).file;
    leaveView();  // the last handle tries to write the log into the files once more
    if (openLocked_ && !failed_ && !readOnly_) {
        // The last handle makes everything durable and removes the log, so that the table is
        // again just its files. It keeps the open lock exclusive meanwhile.
        if (lf.tryLock(kLockOpen, LockKind::Exclusive) && fs_->exists(wal_.path())) {
            try {
                waitLock(kLockWrite, LockKind::Exclusive, pager::kWriteLockTimeoutMs, "Schließen");
                writing_ = true;
                openWal();
                auto logical = recoverFrom(false);
                if (logical.empty()) {
                    for (auto& [no, f] : files_) {
                        if (f.file) f.file->sync();
                    }
                    wal_.close();
                    fs_->remove(wal_.path());
                    fs_->syncDir(pager::dirOf(base_));
                }
            } catch (...) {
                // The log stays; the next opener recovers from it.
            }
            writing_ = false;
        }
    }
    wal_.close();
    walReady_ = false;
    dropCache();
    files_.clear();  // closing the .db file releases all its locks
    openLocked_ = exclusive_ = false;
}

}  // namespace mv32::engine::store
