#include "engine/store/Wal.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "engine/EngineError.h"
#include "engine/store/Coding.h"
#include "engine/store/Crc32c.h"

namespace mv32::engine::store {

namespace {

constexpr char kMagic[8] = {'M', 'V', '3', '2', 'W', 'A', 'L', 1};
constexpr uint32_t kMaxPayload = 1u << 26;

}  // namespace

uint64_t randomId() {
    static thread_local std::mt19937_64 rng{std::random_device{}() ^
                                            (static_cast<uint64_t>(std::random_device{}()) << 32)};
    uint64_t v = 0;
    while (v == 0) v = rng();
    return v;
}

uint32_t Wal::seedFor(uint64_t salt) {
    return crc32c(0x5A17u, &salt, sizeof salt);
}

void Wal::open(bool readOnly) {
    if (!file_) file_ = readOnly ? fs_.openReadOnly(path_) : fs_.open(path_, true);
}

WalHeader Wal::readHeader() {
    WalHeader h;
    unsigned char b[kWalHeaderSize] = {};
    if (file_->read(0, b, sizeof b) < 40) return h;
    if (std::memcmp(b, kMagic, 8) != 0 || crc32c(b, 36) != get32(b + 36)) return h;
    h.valid = true;
    h.salt = get64(b + 8);
    h.committedEnd = get64(b + 16);
    h.appliedEnd = get64(b + 24);
    h.lastChecksum = get32(b + 32);
    if (h.committedEnd < kWalHeaderSize || h.appliedEnd < kWalHeaderSize) h.valid = false;
    return h;
}

void Wal::writeHeader(const WalHeader& h) {
    unsigned char b[kWalHeaderSize] = {};
    std::memcpy(b, kMagic, 8);
    put64(b + 8, h.salt);
    put64(b + 16, h.committedEnd);
    put64(b + 24, h.appliedEnd);
    put32(b + 32, h.lastChecksum);
    put32(b + 36, crc32c(b, 36));
    file_->write(0, b, sizeof b);
}

void Wal::reset(const FileState& origin) {
    dropMap();
    buffer_.clear();
    file_->truncate(0);
    WalHeader h;
    h.salt = randomId();
    startAppend(h.salt, kWalHeaderSize, seedFor(h.salt));
    unsigned char o[16];
    put64(o, origin.tableId);
    put64(o + 8, origin.counter);
    append(FrameType::Origin, 0, 0, o, sizeof o);
    h.committedEnd = h.appliedEnd = end_;
    h.lastChecksum = checksum_;
    writeHeader(h);
    flush();
    file_->sync();
}

FileState Wal::originOf(const WalFrame& f) {
    std::string p = payload(f);
    if (f.type != FrameType::Origin || p.size() != 16)
        throwCorrupt(path_, "Ursprungsrahmen beschädigt");
    const auto* b = reinterpret_cast<const unsigned char*>(p.data());
    return FileState{get64(b), get64(b + 8)};
}

void Wal::startAppend(uint64_t salt, uint64_t end, uint32_t checksum) {
    buffer_.clear();
    ++stamp_;
    salt_ = salt;
    end_ = end;
    bufferStart_ = end;
    checksum_ = checksum;
}

void Wal::append(FrameType type, uint32_t no, uint32_t page, const void* payload, size_t length) {
    unsigned char h[kFrameHeaderSize] = {};
    put32(h, static_cast<uint32_t>(type));
    put32(h + 4, no);
    put32(h + 8, page);
    put32(h + 12, static_cast<uint32_t>(length));
    put64(h + 16, salt_);
    uint32_t c = crc32c(checksum_, h, 24);
    c = crc32c(c, payload, length);
    put32(h + 24, c);
    if (buffer_.empty()) bufferStart_ = end_;
    buffer_.append(reinterpret_cast<const char*>(h), sizeof h);
    buffer_.append(static_cast<const char*>(payload), length);
    end_ += kFrameHeaderSize + length;
    checksum_ = c;
    ++stamp_;
    // Large commits go out in pieces, so that they need little memory.
    if (buffer_.size() >= (1u << 20)) flush();
}

void Wal::flush() {
    if (buffer_.empty()) return;
    file_->write(bufferStart_, buffer_.data(), buffer_.size());
    buffer_.clear();
    bufferStart_ = end_;
}

void Wal::sync() {
    file_->sync();
}

void Wal::dropMap() {
    if (map_ && file_) file_->unmap(map_, mapLength_);
    map_ = nullptr;
    mapLength_ = 0;
}

void Wal::flushMapped() {
    if (buffer_.empty()) return;
    uint64_t endOff = bufferStart_ + buffer_.size();
    if (!mapUnavailable_ &&
        (!map_ || bufferStart_ < mapStart_ || endOff > mapStart_ + mapLength_)) {
        dropMap();
        constexpr uint64_t kChunk = 1u << 20;
        uint64_t start = bufferStart_ & ~uint64_t{4095};
        uint64_t length = ((endOff - start) / kChunk + 1) * kChunk;
        // The mapped range must lie inside the file; the zeros beyond the log end no frame.
        uint64_t size = file_->size();
        if (size < start + length) file_->truncate(start + length);
        map_ = file_->mapShared(start, static_cast<size_t>(length));
        if (map_) {
            mapStart_ = start;
            mapLength_ = static_cast<size_t>(length);
        } else {
            // No mapping (none on this medium, or no space to reserve for one): the frames are
            // written, and a full disk fails the write that needs the space. Whatever a failed
            // reservation took is given back.
            mapUnavailable_ = true;
            if (size < start + length) file_->truncate(std::max(size, bufferStart_));
        }
    }
    if (!map_) {
        flush();
        return;
    }
    std::memcpy(static_cast<char*>(map_) + (bufferStart_ - mapStart_), buffer_.data(),
                buffer_.size());
    buffer_.clear();
    bufferStart_ = end_;
}

void Wal::rewind(uint64_t end, uint32_t checksum) {
    buffer_.clear();
    ++stamp_;
    end_ = end;
    bufferStart_ = end;
    checksum_ = checksum;
}

std::vector<WalFrame> Wal::scan(uint64_t from, uint64_t* salt, uint32_t* checksum) {
    std::vector<WalFrame> frames;
    uint64_t size = file_->size();
    uint64_t pos = from;
    uint32_t chain = *checksum;
    std::string chunk;
    uint64_t chunkStart = 0;
    auto readAt = [&](uint64_t off, size_t n) -> const unsigned char* {
        if (off < chunkStart || off + n > chunkStart + chunk.size()) {
            size_t want = n > (1u << 20) ? n : (1u << 20);
            chunk.resize(want);
            chunk.resize(file_->read(off, chunk.data(), want));
            chunkStart = off;
            if (chunk.size() < n) return nullptr;
        }
        return reinterpret_cast<const unsigned char*>(chunk.data()) + (off - chunkStart);
    };
    while (pos + kFrameHeaderSize <= size) {
        const unsigned char* h = readAt(pos, kFrameHeaderSize);
        if (!h) break;
        uint32_t type = get32(h);
        uint32_t len = get32(h + 12);
        uint64_t frameSalt = get64(h + 16);
        if (type < 1 || type > 4 || len > kMaxPayload || pos + kFrameHeaderSize + len > size) break;
        if (*salt == 0 && frames.empty()) {
            *salt = frameSalt;
            chain = seedFor(frameSalt);
        }
        if (frameSalt != *salt) break;
        unsigned char head[24];
        std::memcpy(head, h, 24);
        uint32_t stored = get32(h + 24);
        WalFrame f{static_cast<FrameType>(type),
                   get32(h + 4),
                   get32(h + 8),
                   len,
                   pos + kFrameHeaderSize,
                   pos + kFrameHeaderSize + len,
                   0};
        const unsigned char* p = readAt(f.payloadOffset, len);
        if (!p) break;
        uint32_t c = crc32c(crc32c(chain, head, 24), p, len);
        if (c != stored) break;
        chain = c;
        f.chain = c;
        frames.push_back(f);
        pos = f.end;
    }
    *checksum = chain;
    return frames;
}

std::string Wal::payload(const WalFrame& f) {
    std::string s(f.length, '\0');
    if (file_->read(f.payloadOffset, s.data(), f.length) != f.length) {
        throwCorrupt(path_, "Protokollrahmen unvollständig");
    }
    return s;
}

}  // namespace mv32::engine::store
