#include "engine/store/Pager.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/EngineError.h"
#include "engine/store/Coding.h"
#include "engine/store/Crc32c.h"

namespace mv32::engine::store {

namespace {

std::atomic<size_t> gCacheLimit{64u << 20};
std::atomic<size_t> gCacheUsed{0};    // measured memory of clean cached nodes
std::atomic<size_t> gDirtyNodes{0};   // changed nodes, which grow until they are committed
// A changed node is counted at this size until its commit measures it.
constexpr size_t kDirtyNodeEstimate = 4 * kPageSize;

constexpr uint64_t kCheckpointBytes = 16u << 20;
constexpr int kWriteLockTimeoutMs = 15000;
constexpr int kReadLockTimeoutMs = 60000;

std::string dirOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

std::string fileNameOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void setCacheLimit(size_t bytes) { gCacheLimit = bytes < (64u << 10) ? (64u << 10) : bytes; }
size_t cacheLimit() { return gCacheLimit; }
size_t cacheUsed() { return gCacheUsed + gDirtyNodes * kDirtyNodeEstimate; }

Pager::Pager(std::shared_ptr<FileSystem> fs, std::string base)
    : fs_(std::move(fs)), base_(std::move(base)), wal_(*fs_, base_ + ".wal") {}

Pager::~Pager() {
    try {
        close();
    } catch (...) {
        // A failing close leaves the log for the next opener's recovery.
    }
    gCacheUsed -= cacheBytes_;
}

std::string Pager::extensionOf(uint32_t no) {
    switch (no) {
        case kDbFile: return ".db";
        case kPxFile: return ".px";
        case kMbFile: return ".mb";
        default: return ".xg" + std::to_string(no - kFirstIndexFile);
    }
}

std::string Pager::pathOf(uint32_t no) const { return base_ + extensionOf(no); }

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
                          "Die Tabelle " + quoted(fileNameOf(base_) + ".db") +
                              " ist nach einem Schreibfehler gesperrt; sie muss geschlossen und "
                              "neu geöffnet werden.");
    }
}

// --- Locks -------------------------------------------------------------------------------

void Pager::openDbFile(bool create) {
    auto& f = files_[kDbFile];
    f.no = kDbFile;
    f.path = pathOf(kDbFile);
    if (!f.file) f.file = fs_->open(f.path, create);
}

uint64_t Pager::dbFileSize() { return pf(kDbFile).file->size(); }

void Pager::resetFile(uint32_t no) {
    auto& f = pf(no);
    markChanged(no);
    for (auto c = cache_.begin(); c != cache_.end();) {
        if ((c->first >> 32) == no) {
            cacheBytes_ -= std::min(cacheBytes_, c->second.bytes);
            gCacheUsed -= std::min<size_t>(gCacheUsed, c->second.bytes);
            lru_.erase(c->second.lru);
            c = cache_.erase(c);
        } else {
            ++c;
        }
    }
    for (auto d = dirty_.begin(); d != dirty_.end();) {
        if ((d->first >> 32) == no) {
            d = dirty_.erase(d);
            gDirtyNodes -= std::min<size_t>(gDirtyNodes, 1);
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
            throw EngineError(ErrorKind::Locked, "Die Tabelle " + quoted(fileNameOf(pf(0).path)) +
                                                     " ist gesperrt: " + what + ".");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        pause = std::min(pause * 2, 20);
    }
}

void Pager::lockOpen(bool exclusive) {
    File& lf = *pf(kDbFile).file;
    // A closing handle holds the lock exclusively for a moment while it removes the log.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(exclusive ? 0 : 500);
    while (!lf.tryLock(kLockOpen, exclusive ? LockKind::Exclusive : LockKind::Shared)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::string name = quoted(fileNameOf(pf(0).path));
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
    uint64_t size = f.file->size();
    if (size < kPageSize || f.file->read(0, b, kPageSize) != kPageSize) {
        throwCorrupt(f.path, "der Dateikopf fehlt oder ist verkürzt");
    }
    if (crc32c(b + 4, kPageSize - 4) != get32(b)) throwCorrupt(f.path, "Prüfsumme des Dateikopfs falsch");
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
    if (get32(b + 8) != fileTag(h.tableId, f.no)) throwCorrupt(f.path, "Dateikopf gehört zu einer anderen Datei");
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
    if (size < uint64_t{h.pageCount} * kPageSize) {
        throwCorrupt(f.path, "die Datei ist verkürzt (" + std::to_string(h.pageCount) +
                                 " Seiten erwartet)");
    }
    for (size_t i = 0; i < dirCount; ++i) {
        const unsigned char* e = b + kHdrDir + i * kDirEntrySize;
        h.dir.emplace_back(get32(e), get64(e + 4));
    }
    h.block.assign(reinterpret_cast<const char*>(b + kHdrDir + dirCount * kDirEntrySize), blockLen);
    return h;
}

std::string Pager::encodeHeader(const PagedFile& f) const {
    const FileHeader& h = f.hdr;
    if (kHdrDir + h.dir.size() * kDirEntrySize + h.block.size() > kPageSize) {
        throw EngineError(ErrorKind::Usage, "Die Tabellendefinition von " + quoted(fileNameOf(f.path)) +
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
                files_.erase(no);
                return false;
            }
            f.file = fs_->open(f.path, false);
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
            gCacheUsed -= std::min<size_t>(gCacheUsed, m);
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

const FileHeader& Pager::header(uint32_t no) const { return pf(no).hdr; }

FileHeader& Pager::mutableHeader(uint32_t no) {
    markChanged(no);
    return pf(no).hdr;
}

void Pager::setCodec(uint32_t no, const NodeCodec* codec) { pf(no).codec = codec; }

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
            gDirtyNodes -= std::min<size_t>(gDirtyNodes, 1);
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
    auto lg = logged_.find(key(f.no, page));
    if (lg != logged_.end()) return readLogged(lg->second);  // committed, not yet in the file
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
    auto& f = pf(no);
    std::string img = readRaw(f, page);
    auto n = std::make_shared<Node>();
    n->page = page;
    OverflowReader reader = [this, &f](uint32_t first, size_t length) {
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
    if (!f.codec) throw std::logic_error("kein Knotenformat für Datei");
    f.codec->decode(*n, reinterpret_cast<const unsigned char*>(img.data()), f.path, reader);
    cachePut(no, n);
    evict();
    return n;
}

NodePtr Pager::newNode(uint32_t no, uint8_t level) {
    uint32_t page = allocatePage(no);
    auto n = std::make_shared<Node>();
    n->page = page;
    n->level = level;
    n->dirty = true;
    cachePut(no, n);
    dirty_[key(no, page)] = n;
    ++gDirtyNodes;
    return n;
}

void Pager::touch(uint32_t no, const NodePtr& n) {
    if (n->dirty) return;
    markChanged(no);
    n->dirty = true;
    auto k = key(no, n->page);
    dirty_[k] = n;
    ++gDirtyNodes;
    auto it = cache_.find(k);
    if (it != cache_.end()) account(it->second, 0);
}

void Pager::account(CacheItem& item, size_t bytes) {
    cacheBytes_ = cacheBytes_ - std::min(cacheBytes_, item.bytes) + bytes;
    size_t old = item.bytes;
    gCacheUsed -= std::min<size_t>(gCacheUsed, old);
    gCacheUsed += bytes;
    item.bytes = bytes;
}

void Pager::forgetDirty(uint64_t k) {
    if (dirty_.erase(k)) gDirtyNodes -= std::min<size_t>(gDirtyNodes, 1);
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
        if (count > kTrunkCapacity || h.freeCount == 0) throwCorrupt(f.path, "Freiliste beschädigt");
        uint32_t p;
        if (count > 0) {
            p = get32(b + kPageHeaderSize + 4 + 4u * (count - 1u));
            put16(b + 14, static_cast<uint16_t>(count - 1));
        } else {
            p = h.freeHead;
            h.freeHead = get32(b + kPageHeaderSize);
            if (h.freeHead >= h.pageCount) throwCorrupt(f.path, "Freiliste beschädigt");
        }
        if (p == 0 || p >= h.pageCount) throwCorrupt(f.path, "Freiliste verweist außerhalb der Datei");
        h.freeCount--;
        raw_.erase(key(no, p));
        cacheErase(no, p);
        return p;
    }
    if (h.pageCount == 0xFFFFFFFFu) {
        throw EngineError(ErrorKind::DiskFull, "Die Datei " + quoted(f.path) + " hat ihre größte Länge erreicht.");
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
    gCacheUsed += m;
}

void Pager::cacheErase(uint32_t no, uint32_t page) {
    auto it = cache_.find(key(no, page));
    if (it == cache_.end()) return;
    size_t m = it->second.bytes;
    cacheBytes_ -= std::min(cacheBytes_, m);
    gCacheUsed -= std::min<size_t>(gCacheUsed, m);
    lru_.erase(it->second.lru);
    cache_.erase(it);
}

void Pager::evict() {
    if (cacheUsed() <= gCacheLimit) return;
    size_t scanned = 0;
    auto it = lru_.end();
    while (cacheUsed() > gCacheLimit && it != lru_.begin() && scanned < 512) {
        --it;
        ++scanned;
        auto c = cache_.find(*it);
        if (c->second.node->dirty || c->second.node.use_count() > 1) continue;
        size_t m = c->second.bytes;
        cacheBytes_ -= std::min(cacheBytes_, m);
        gCacheUsed -= std::min<size_t>(gCacheUsed, m);
        it = lru_.erase(it);
        cache_.erase(c);
    }
}

void Pager::dropCache() {
    gCacheUsed -= std::min<size_t>(gCacheUsed, cacheBytes_);
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

void Pager::openWal() {
    if (walReady_) return;
    bool existed = fs_->exists(wal_.path());
    wal_.open();
    if (!existed || wal_.readHeader().valid == false) {
        // A missing log, or one whose header was never completed, holds nothing committed
        // unless its frames say otherwise; recovery decides before anything is reset.
        if (!existed) {
            wal_.reset();
            fs_->syncDir(dirOf(base_));
        }
    }
    walReady_ = true;
}

std::vector<std::string> Pager::beginWrite() {
    checkUsable();
    if (writing_) throw std::logic_error("Schreibtransaktion läuft bereits");
    waitLock(kLockWrite, LockKind::Exclusive, kWriteLockTimeoutMs,
             "ein anderer Benutzer ändert sie gerade");
    writing_ = true;
    try {
        openWal();
        wal_.dropMap();
        auto logical = recoverFrom(false);
        // Another handle may have committed since this one last looked.
        auto& db = pf(kDbFile);
        FileHeader h = readHeader(db);
        if (h.counter != knownCounter_) {
            dropCache();
            reloadHeaders();
        }
        txnStartEnd_ = wal_.end();
        txnStartChecksum_ = wal_.checksum();
        return logical;
    } catch (...) {
        writing_ = false;
        pf(kDbFile).file->unlock(kLockWrite);
        throw;
    }
}

std::vector<std::string> Pager::recoverAll() {
    checkUsable();
    waitLock(kLockWrite, LockKind::Exclusive, kWriteLockTimeoutMs,
             "ein anderer Benutzer ändert sie gerade");
    writing_ = true;
    try {
        if (!fs_->exists(wal_.path())) {
            txnStartEnd_ = commitEnd_ = kWalHeaderSize;
            openWal();
            txnStartEnd_ = wal_.end();
            txnStartChecksum_ = wal_.checksum();
            commitChecksum_ = wal_.checksum();
            return {};
        }
        openWal();
        auto logical = recoverFrom(true);
        txnStartEnd_ = wal_.end();
        txnStartChecksum_ = wal_.checksum();
        return logical;
    } catch (...) {
        writing_ = false;
        pf(kDbFile).file->unlock(kLockWrite);
        throw;
    }
}

std::vector<std::string> Pager::recoverFrom(bool full) {
    WalHeader h = wal_.readHeader();
    auto& db = pf(kDbFile);
    bool dbFlag = false;
    bool dbReadable = false;
    unsigned char dbHead[kPageSize];
    if (db.file->read(0, dbHead, kPageSize) == kPageSize &&
        crc32c(dbHead + 4, kPageSize - 4) == get32(dbHead)) {
        dbReadable = true;
        dbFlag = (get32(dbHead + kHdrFlags) & kFlagApplying) != 0;
    }
    if (!full && h.valid && !dbFlag && h.appliedEnd >= h.committedEnd) {
        uint64_t salt = h.salt;
        uint32_t chain = h.lastChecksum;
        auto beyond = wal_.scan(h.committedEnd, &salt, &chain);
        if (beyond.empty()) {
            wal_.startAppend(h.salt, h.committedEnd, h.lastChecksum);
            commitEnd_ = h.committedEnd;
            commitChecksum_ = h.lastChecksum;
            return {};
        }
    }
    uint64_t salt = h.valid ? h.salt : 0;
    uint32_t chain = h.valid ? Wal::seedFor(h.salt) : 0;
    auto frames = wal_.scan(kWalHeaderSize, &salt, &chain);
    if (frames.empty() && salt == 0) {
        wal_.reset();
        commitEnd_ = wal_.end();
        commitChecksum_ = wal_.checksum();
        return {};
    }
    if (frames.empty()) {
        uint32_t seed = Wal::seedFor(salt);
        wal_.startAppend(salt, kWalHeaderSize, seed);
        commitEnd_ = kWalHeaderSize;
        commitChecksum_ = seed;
        if (dbFlag) throwCorrupt(db.path, "unvollständiger Schreibvorgang ohne Protokoll");
        return {};
    }
    // Mark the files as being written, so that readers elsewhere wait for this recovery.
    waitLock(kLockRead, LockKind::Exclusive, kReadLockTimeoutMs, "Wiederherstellung läuft");
    try {
        if (dbReadable && !dbFlag) {
            put32(dbHead + kHdrFlags, get32(dbHead + kHdrFlags) | kFlagApplying);
            put32(dbHead, crc32c(dbHead + 4, kPageSize - 4));
            db.file->write(0, dbHead, kPageSize);
        }
        size_t begin = 0;
        uint64_t lastEnd = kWalHeaderSize;
        uint32_t lastChain = Wal::seedFor(salt);
        std::vector<std::string> logical;
        for (size_t i = 0; i < frames.size(); ++i) {
            if (frames[i].type == FrameType::Commit) {
                applyCommitFromLog(frames, begin, i);
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
        commitEnd_ = lastEnd;
        commitChecksum_ = lastChain;
        for (size_t i = frames.size(); i-- > 0;) {
            if (frames[i].type == FrameType::Commit) {
                commitEnd_ = frames[i].end;
                commitChecksum_ = frames[i].chain;
                break;
            }
        }
        wal_.startAppend(salt, lastEnd, lastChain);
        wal_.writeHeader(WalHeader{true, salt, commitEnd_, commitEnd_, commitChecksum_});
        // The applied commit cleared the flag; without any commit, clear it ourselves.
        if (dbReadable && !dbFlag && begin == 0) {
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
        a.action = r.u8();
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
        bool deleted = std::any_of(actions.begin(), actions.end(),
                                   [&](const ApplyFile& a) { return a.no == fr.no && a.action == 2; });
        if (deleted) continue;
        if (fr.length != kPageSize) throwCorrupt(wal_.path(), "Seitenbild falscher Länge");
        auto& f = fileFor(fr.no);
        ensureFileOpen(f, true);
        std::string img = wal_.payload(fr);
        f.file->write(uint64_t{fr.page} * kPageSize, img.data(), img.size());
    }
    for (auto& a : actions) {
        auto& f = fileFor(a.no);
        if (a.action == 2) {
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
    auto& db = pf(kDbFile);
    std::vector<std::pair<uint64_t, std::string>> images;
    std::vector<uint64_t> offsets;
    std::vector<ApplyFile> actions;
    std::string dbHeader;
    if (!apply && !streamed_.empty()) apply = true;  // rebuilds are written at once
    try {
        // Overflow chains first: they allocate pages, which changes free lists and headers.
        for (auto& [k, n] : dirty_) assignOverflow(static_cast<uint32_t>(k >> 32), *n, false);
        images.reserve(dirty_.size() + raw_.size() + files_.size());
        for (auto& [k, n] : dirty_) {
            auto no = static_cast<uint32_t>(k >> 32);
            std::string img(kPageSize, '\0');
            auto* b = reinterpret_cast<unsigned char*>(img.data());
            pf(no).codec->encode(*n, b);
            sealPage(no, n->page, b);
            images.emplace_back(k, std::move(img));
        }
        for (auto& [k, img] : raw_) {
            auto no = static_cast<uint32_t>(k >> 32);
            auto* b = reinterpret_cast<unsigned char*>(img.data());
            sealPage(no, static_cast<uint32_t>(k), b);
            images.emplace_back(k, img);
        }
        // Headers: every changed file gets a new counter, which the .db directory records.
        db.hdr.dir.clear();
        for (auto& [no, f] : files_) {
            if (no == kDbFile) continue;
            if (f.deleted) {
                actions.push_back(ApplyFile{no, 2, 0});
                continue;
            }
            if (f.changed || f.created) f.hdr.counter++;
            db.hdr.dir.emplace_back(no, f.hdr.counter);
            if (f.changed || f.created) {
                images.emplace_back(key(no, 0), encodeHeader(f));
                actions.push_back(ApplyFile{no, 1, f.hdr.pageCount});
            }
        }
        db.hdr.counter++;
        db.hdr.flags = 0;
        dbHeader = encodeHeader(db);
        actions.push_back(ApplyFile{kDbFile, 1, db.hdr.pageCount});

        std::sort(images.begin(), images.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        offsets.reserve(images.size() + 1);
        for (auto& [k, img] : images) {
            offsets.push_back(wal_.end() + kFrameHeaderSize);
            wal_.append(FrameType::Page, static_cast<uint32_t>(k >> 32), static_cast<uint32_t>(k),
                        img.data(), img.size());
        }
        offsets.push_back(wal_.end() + kFrameHeaderSize);
        wal_.append(FrameType::Page, kDbFile, 0, dbHeader.data(), dbHeader.size());
        std::string payload;
        append32(payload, static_cast<uint32_t>(actions.size()));
        for (auto& a : actions) {
            append32(payload, a.no);
            payload.push_back(static_cast<char>(a.action));
            append32(payload, a.pageCount);
        }
        wal_.append(FrameType::Commit, 0, 0, payload.data(), payload.size());
        wal_.flush();
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
    if (!apply) {
        // In the log only: its pages are read back from there until they are applied.
        for (size_t i = 0; i < images.size(); ++i) logged_[images[i].first] = offsets[i];
        logged_[key(kDbFile, 0)] = offsets.back();
        for (auto& a : actions) {
            if (a.action == 1) loggedPageCounts_[a.no] = a.pageCount;
        }
        commitEnd_ = wal_.end();
        commitChecksum_ = wal_.checksum();
    } else {
        try {
            if (sync) wal_.sync();
        } catch (...) {
            failed_ = true;
            throw;
        }
    }
    // The commit is in the log; now write it into the files.
    try {
        std::vector<std::pair<uint64_t, const std::string*>> refs;
        refs.reserve(images.size() + logged_.size());
        std::vector<std::string> older;
        if (apply && !logged_.empty()) {
            // Pages of earlier log-only commits that this one did not change again.
            std::unordered_map<uint64_t, bool> current;
            for (auto& [k, img] : images) current[k] = true;
            older.reserve(logged_.size());
            std::vector<std::pair<uint64_t, uint64_t>> pending(logged_.begin(), logged_.end());
            std::sort(pending.begin(), pending.end());
            for (auto& [k, off] : pending) {
                if (current.count(k) || k == key(kDbFile, 0)) continue;
                older.push_back(readLogged(off));
                refs.emplace_back(k, &older.back());
            }
            for (auto& [no, count] : loggedPageCounts_) {
                bool listed = std::any_of(actions.begin(), actions.end(),
                                          [no = no](const ApplyFile& a) { return a.no == no; });
                if (!listed && files_.count(no) && !files_[no].deleted) actions.push_back(ApplyFile{no, 1, files_[no].hdr.pageCount});
            }
        }
        for (auto& [k, img] : images) refs.emplace_back(k, &img);
        if (apply) {
            applyImages(refs, actions, &dbHeader);
            logged_.clear();
            loggedPageCounts_.clear();
        }
        commitEnd_ = wal_.end();
        commitChecksum_ = wal_.checksum();
        if (apply) wal_.writeHeader(WalHeader{true, wal_.salt(), commitEnd_, commitEnd_, commitChecksum_});
    } catch (...) {
        failed_ = true;
        throw;
    }
    for (auto& [k, n] : dirty_) {
        n->dirty = false;
        n->arena.shrink_to_fit();
        n->slots.shrink_to_fit();
        auto it = cache_.find(k);
        if (it != cache_.end()) account(it->second, n->memory());
    }
    gDirtyNodes -= std::min<size_t>(gDirtyNodes, dirty_.size());
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
    knownCounter_ = db.hdr.counter;
    if (hadStream) dropCache();
    txnStartEnd_ = wal_.end();
    txnStartChecksum_ = wal_.checksum();
    evict();
}

void Pager::applyImages(const std::vector<std::pair<uint64_t, const std::string*>>& images,
                        const std::vector<ApplyFile>& actions, const std::string* dbHeader) {
    auto& db = pf(kDbFile);
    waitLock(kLockRead, LockKind::Exclusive, kReadLockTimeoutMs, "ein Leser hält sie");
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
        for (auto& [k, img] : images) {
            auto no = static_cast<uint32_t>(k >> 32);
            auto& f = pf(no);
            if (f.deleted) continue;
            ensureFileOpen(f, true);
            f.file->write((k & 0xFFFFFFFFull) * kPageSize, img->data(), img->size());
        }
        for (auto& a : actions) {
            auto& f = pf(a.no);
            if (a.action == 2) {
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
    gDirtyNodes -= std::min<size_t>(gDirtyNodes, dirty_.size());
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
    std::vector<std::pair<uint64_t, uint64_t>> pending(logged_.begin(), logged_.end());
    std::sort(pending.begin(), pending.end());
    std::vector<std::string> pages;
    pages.reserve(pending.size());
    std::vector<std::pair<uint64_t, const std::string*>> refs;
    for (auto& [k, off] : pending) {
        if (k == key(kDbFile, 0)) continue;
        pages.push_back(readLogged(off));
        refs.emplace_back(k, &pages.back());
    }
    std::vector<ApplyFile> actions;
    for (auto& [no, count] : loggedPageCounts_) actions.push_back(ApplyFile{no, 1, count});
    applyImages(refs, actions, &dbHeader);
    logged_.clear();
    loggedPageCounts_.clear();
    wal_.writeHeader(WalHeader{true, wal_.salt(), commitEnd_, commitEnd_, commitChecksum_});
}

void Pager::endWrite() {
    if (!writing_) return;
    if (hasChanges()) rollback();
    try {
        if (!failed_) applyLogged();
        // Frames after the last commit are posts another writer must still execute: the log
        // is only restarted when there are none.
        if (!failed_ && wal_.end() == commitEnd_ && wal_.end() > kCheckpointBytes) checkpoint();
    } catch (...) {
        failed_ = true;
        writing_ = false;
        pf(kDbFile).file->unlock(kLockWrite);
        throw;
    }
    writing_ = false;
    pf(kDbFile).file->unlock(kLockWrite);
}

void Pager::checkpoint() {
    for (auto& [no, f] : files_) {
        if (f.file && !f.deleted) f.file->sync();
    }
    fs_->syncDir(dirOf(base_));
    wal_.reset();
    commitEnd_ = wal_.end();
    commitChecksum_ = wal_.checksum();
    txnStartEnd_ = commitEnd_;
    txnStartChecksum_ = commitChecksum_;
}

void Pager::lockRead() {
    waitLock(kLockRead, LockKind::Shared, kReadLockTimeoutMs, "ein anderer Benutzer schreibt");
}

void Pager::unlockRead() { pf(kDbFile).file->unlock(kLockRead); }

int Pager::checkCurrent() {
    checkUsable();
    auto& db = pf(kDbFile);
    // Only the counter and the flags are read here; a changed counter reloads and checks the
    // headers of all files.
    unsigned char head[kHdrDir];
    if (db.file->read(0, head, sizeof head) != sizeof head) {
        throwCorrupt(db.path, "der Dateikopf fehlt oder ist verkürzt");
    }
    if (get32(head + kHdrFlags) & kFlagApplying) return 2;
    if (get64(head + kHdrCounter) == knownCounter_) return 0;
    dropCache();
    reloadHeaders();
    return 1;
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
    if (openLocked_ && !failed_) {
        // The last handle makes everything durable and removes the log, so that the table is
        // again just its files. It keeps the open lock exclusive meanwhile.
        if (lf.tryLock(kLockOpen, LockKind::Exclusive) && fs_->exists(wal_.path())) {
            try {
                waitLock(kLockWrite, LockKind::Exclusive, kWriteLockTimeoutMs, "Schließen");
                writing_ = true;
                openWal();
                auto logical = recoverFrom(false);
                if (logical.empty()) {
                    for (auto& [no, f] : files_) {
                        if (f.file) f.file->sync();
                    }
                    wal_.close();
                    fs_->remove(wal_.path());
                    fs_->syncDir(dirOf(base_));
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
