#include "engine/store/TrigramIndex.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "engine/EngineError.h"
#include "engine/PathNames.h"
#include "engine/Text.h"
#include "engine/store/Coding.h"
#include "engine/store/Crc32c.h"
#include "engine/store/PostingRuns.h"
#include "engine/store/Postings.h"

namespace mv32::engine::store {

namespace {

constexpr char kMagic[8] = {'M', 'V', '3', '2', 'T', 'R', 'I', '\0'};
constexpr uint32_t kFormat = 2;
constexpr uint32_t kOldFormat = 1;  // without the generation
constexpr size_t kHeadSize = 72;
constexpr size_t kOldHeadSize = 64;
constexpr size_t kHeadCrc = 56;
constexpr size_t kEntrySize = 24;
constexpr size_t kMaxFieldName = 64;

// LIKE compares characters, and reads a byte that starts no valid sequence as the character of
// that number: trigrams are taken from the text with every character in its proper UTF-8
// form, so that a pattern's characters and a record's are the same bytes whenever they are the
// same characters.
std::string canonical(std::string_view s) {
    bool ascii = std::all_of(s.begin(), s.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return std::string(s);
    std::string out;
    out.reserve(s.size() + 8);
    for (size_t i = 0; i < s.size();) {
        size_t n = 0;
        char32_t cp = text::decodeAt(s, i, &n);
        text::appendUtf8(out, cp);
        i += n;
    }
    return out;
}

void addTrigrams(std::string_view s, std::vector<uint32_t>& out) {
    const auto* b = reinterpret_cast<const unsigned char*>(s.data());
    for (size_t i = 0; i + 3 <= s.size(); ++i) {
        out.push_back((uint32_t{b[i]} << 16) | (uint32_t{b[i + 1]} << 8) | b[i + 2]);
    }
}

void sortUnique(std::vector<uint32_t>& v) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
}

std::string tempPathOf(const std::string& path) {
    const size_t ext = std::strlen(kTrigramExtension);
    std::string base = path.size() > ext ? path.substr(0, path.size() - ext) : path;
    return base + kTrigramTempExtension;
}

// The head's checksum: bytes 0..55, then (format 2) 60..71, then the field's name.
uint32_t headCrc(const unsigned char* h, uint32_t format, const std::string& field) {
    uint32_t crc = crc32c(h, kHeadCrc);
    if (format == kFormat) crc = crc32c(crc, h + kHeadCrc + 4, kHeadSize - kHeadCrc - 4);
    return crc32c(crc, field.data(), field.size());
}

// What the head of an index file says, once it was read and checked.
struct Head {
    uint32_t format = 0;
    std::string field;
    unsigned char bytes[kHeadSize] = {};
};

// Reads and checks the head of either format; the reason when it cannot be read.
std::string readHead(File& f, Head& head) {
    unsigned char* h = head.bytes;
    const size_t got = f.read(0, h, kHeadSize);
    if (got < kOldHeadSize || std::memcmp(h, kMagic, sizeof kMagic) != 0)
        return "Kopf fehlt oder ist kein Trigrammindex";
    head.format = get32(h + 8);
    if (head.format != kFormat && head.format != kOldFormat)
        return "unbekannte Formatversion " + std::to_string(head.format);
    const size_t headSize = head.format == kFormat ? kHeadSize : kOldHeadSize;
    const uint32_t fieldLength = get32(h + 12);
    if (got < headSize || fieldLength > kMaxFieldName) return "Kopf beschädigt";
    head.field.assign(fieldLength, '\0');
    if (f.read(headSize, head.field.data(), head.field.size()) != head.field.size() ||
        headCrc(h, head.format, head.field) != get32(h + kHeadCrc))
        return "Kopf beschädigt";
    return {};
}

std::string folderOf(const std::string& path) {
    const std::string folder = paths::folderOf(path);
    return folder.empty() ? std::string(".") : folder;
}

// Collects the file in pieces and writes each piece when it is large.
class Output {
public:
    explicit Output(File& f, uint64_t at) : f_(f), at_(at) {}
    void add(std::string_view bytes) {
        buffer_.append(bytes);
        if (buffer_.size() >= (1u << 20)) flush();
    }
    void flush() {
        if (buffer_.empty()) return;
        f_.write(at_, buffer_.data(), buffer_.size());
        at_ += buffer_.size();
        buffer_.clear();
    }
    uint64_t end() const { return at_ + buffer_.size(); }

private:
    File& f_;
    uint64_t at_;
    std::string buffer_;
};

}  // namespace

std::vector<uint32_t> trigramsOf(std::string_view text) {
    std::vector<uint32_t> out;
    addTrigrams(canonical(text), out);
    sortUnique(out);
    return out;
}

std::vector<uint32_t> requiredTrigrams(std::string_view pattern) {
    std::vector<uint32_t> out;
    // A pattern with bytes that are no character is matched byte by byte or character by
    // character depending on its shape: the index, which knows characters, stays out of it.
    for (size_t i = 0; i < pattern.size();) {
        size_t n = text::sequenceLength(pattern, i);
        if (n == 1 && static_cast<unsigned char>(pattern[i]) >= 0x80) return out;
        i += n;
    }
    size_t start = 0;
    for (size_t i = 0; i <= pattern.size(); ++i) {
        if (i == pattern.size() || pattern[i] == '%' || pattern[i] == '_') {
            addTrigrams(canonical(pattern.substr(start, i - start)), out);
            start = i + 1;
        }
    }
    sortUnique(out);
    return out;
}

void TrigramIndex::build(FileSystem& fs, const std::string& path, const TrigramStamp& stamp,
                         const std::function<bool(std::string&)>& next, size_t memoryBudget) {
    if (stamp.field.size() > kMaxFieldName) throw std::logic_error("Feldname zu lang");
    const std::string temp = tempPathOf(path);
    PostingRuns lists(fs, temp.substr(0, temp.size() - std::strlen(kTrigramTempExtension)) + ".trs",
                      memoryBudget);
    std::string value;
    std::vector<uint32_t> tri;
    uint64_t position = 0;
    while (next(value)) {
        if (position > std::numeric_limits<uint32_t>::max()) {
            throw EngineError(ErrorKind::Range,
                              "Der Trigrammindex " + quoted(path) +
                                  " kann höchstens 4.294.967.296 Datensätze erfassen.");
        }
        tri.clear();
        addTrigrams(canonical(value), tri);
        sortUnique(tri);
        for (uint32_t t : tri) lists.add(t, static_cast<uint32_t>(position));
        ++position;
    }
    if (position != stamp.records) {
        throw EngineError(ErrorKind::Corrupt, "Der Trigrammindex " + quoted(path) +
                                                  " fand eine andere Zahl von Datensätzen als "
                                                  "die Tabelle angibt.");
    }
    lastBuildPeak_ = lists.peakBytes();
    lastBuildRuns_ = lists.runs();

    fs.remove(temp);
    {
        auto f = fs.open(temp, true);
        f->truncate(0);
        const uint64_t dataStart = kHeadSize + stamp.field.size();
        Output out(*f, dataStart);
        std::string dir;
        uint32_t count = 0;
        PostingRuns::List l;
        while (lists.next(l)) {
            unsigned char e[kEntrySize];
            put32(e, l.trigram);
            put32(e + 4, l.count);
            put64(e + 8, out.end() - dataStart);
            put32(e + 16, static_cast<uint32_t>(l.bytes.size()));
            put32(e + 20, crc32c(l.bytes.data(), l.bytes.size()));
            dir.append(reinterpret_cast<const char*>(e), sizeof e);
            out.add(l.bytes);
            ++count;
        }
        lastBuildRuns_ = lists.runs();
        const uint64_t dirOffset = out.end() - dataStart;  // like the lists: after the head
        out.add(dir);
        out.flush();
        std::string head(kHeadSize, '\0');
        auto* h = reinterpret_cast<unsigned char*>(head.data());
        std::memcpy(h, kMagic, sizeof kMagic);
        put32(h + 8, kFormat);
        put32(h + 12, static_cast<uint32_t>(stamp.field.size()));
        put64(h + 16, stamp.tableId);
        put64(h + 24, stamp.counter);
        put64(h + 32, stamp.records);
        put32(h + 40, count);
        put32(h + 44, crc32c(dir.data(), dir.size()));
        put64(h + 48, dirOffset);
        put64(h + 64, stamp.generation);
        put32(h + kHeadCrc, headCrc(h, kFormat, stamp.field));
        head += stamp.field;
        f->write(0, head.data(), head.size());
        f->sync();
    }
    fs.rename(temp, path);
    // A change written for the old lists counts for them only; it goes with them, and so does
    // the file of a change whose writer died (the table is held exclusively here).
    fs.remove(deltaPathOf(path));
    fs.remove(deltaTempPathOf(path));
    fs.syncDir(folderOf(path));
}

std::unique_ptr<TrigramIndex> TrigramIndex::open(FileSystem& fs, const std::string& path) {
    if (!fs.exists(path)) return nullptr;
    std::unique_ptr<TrigramIndex> ix(new TrigramIndex());
    ix->path_ = path;
    ix->file_ = fs.openReadOnly(path);
    Head head;
    if (std::string why = readHead(*ix->file_, head); !why.empty()) ix->damaged(why);
    if (head.format == kOldFormat) return nullptr;  // built again like a missing one
    const unsigned char* h = head.bytes;
    ix->stamp_ =
        TrigramStamp{get64(h + 16), get64(h + 24), get64(h + 64), get64(h + 32), head.field};
    ix->dataStart_ = kHeadSize + head.field.size();
    const uint32_t lists = get32(h + 40);
    const uint64_t dirOffset = get64(h + 48);
    const uint64_t size = ix->file_->size();
    if (dirOffset > size || ix->dataStart_ > size - dirOffset ||
        (size - dirOffset - ix->dataStart_) / kEntrySize < lists)
        ix->damaged("Verzeichnis der Listen unvollständig");
    std::string dir(static_cast<size_t>(lists) * kEntrySize, '\0');
    if (ix->file_->read(ix->dataStart_ + dirOffset, dir.data(), dir.size()) != dir.size() ||
        crc32c(dir.data(), dir.size()) != get32(h + 44))
        ix->damaged("Verzeichnis der Listen beschädigt");
    ix->dir_.resize(lists);
    const auto* d = reinterpret_cast<const unsigned char*>(dir.data());
    for (uint32_t i = 0; i < lists; ++i, d += kEntrySize) {
        Entry& e = ix->dir_[i];
        e = Entry{get32(d), get32(d + 4), get64(d + 8), get32(d + 16), get32(d + 20)};
        if ((i > 0 && e.trigram <= ix->dir_[i - 1].trigram) || e.offset > dirOffset ||
            e.length > dirOffset - e.offset || e.count == 0)
            ix->damaged("Verzeichnis der Listen beschädigt");
    }
    ix->lists_ = TableState{ix->stamp_.tableId, ix->stamp_.counter, ix->stamp_.generation,
                            ix->stamp_.records};
    // A change beside the lists counts only for the lists it names (one written for an older
    // build of them is left over from a crash).
    if (auto delta = TrigramDelta::read(fs, deltaPathOf(path));
        delta && delta->lists == ix->lists_) {
        ix->stamp_.tableId = delta->table.tableId;
        ix->stamp_.counter = delta->table.counter;
        ix->stamp_.generation = delta->table.generation;
        ix->stamp_.records = delta->table.records;
        ix->delta_ = std::move(delta);
    }
    return ix;
}

std::string TrigramIndex::deltaPathOf(const std::string& path) {
    const std::string temp = tempPathOf(path);
    return temp.substr(0, temp.size() - std::strlen(kTrigramTempExtension)) +
           kTrigramDeltaExtension;
}

std::string TrigramIndex::deltaTempPathOf(const std::string& path) {
    const std::string temp = tempPathOf(path);
    return temp.substr(0, temp.size() - std::strlen(kTrigramTempExtension)) +
           kTrigramDeltaTempExtension;
}

std::string TrigramIndex::fieldOf(FileSystem& fs, const std::string& path) {
    try {
        if (!fs.exists(path)) return {};
        Head head;
        if (!readHead(*fs.openReadOnly(path), head).empty()) return {};
        return head.field;
    } catch (const EngineError&) {
        return {};
    }
}

TrigramIndex::~TrigramIndex() = default;

void TrigramIndex::damaged(const std::string& detail) const {
    throwCorrupt(path_, detail);
}

std::string TrigramIndex::readList(const Entry& e) const {
    std::string bytes(e.length, '\0');
    if (file_->read(dataStart_ + e.offset, bytes.data(), bytes.size()) != bytes.size() ||
        crc32c(bytes.data(), bytes.size()) != e.crc)
        damaged("Liste beschädigt");
    return bytes;
}

std::vector<uint32_t> TrigramIndex::listCandidates(const std::vector<uint32_t>& trigrams) const {
    std::vector<const Entry*> used;
    for (uint32_t t : trigrams) {
        auto it = std::lower_bound(dir_.begin(), dir_.end(), t,
                                   [](const Entry& e, uint32_t v) { return e.trigram < v; });
        if (it == dir_.end() || it->trigram != t) return {};  // in no record of the lists
        used.push_back(&*it);
    }
    std::vector<uint32_t> out;
    if (used.empty()) return out;
    // The shortest list first: every further one only removes candidates.
    std::sort(used.begin(), used.end(),
              [](const Entry* a, const Entry* b) { return a->count < b->count; });
    out.reserve(used.front()->count);
    if (!postings::decodeAll(readList(*used.front()), out) || out.size() != used.front()->count)
        damaged("Liste beschädigt");
    for (size_t i = 1; i < used.size() && !out.empty(); ++i) {
        if (!postings::intersect(out, readList(*used[i]))) damaged("Liste beschädigt");
    }
    // A position past the records would send the search to a record that is not there.
    if (!out.empty() && out.back() >= lists_.records) damaged("Liste beschädigt");
    return out;
}

std::vector<uint32_t> TrigramIndex::candidates(const std::vector<uint32_t>& trigrams) const {
    std::vector<uint32_t> out = listCandidates(trigrams);
    if (!delta_ || trigrams.empty()) return out;
    delta_->toTablePositions(out);
    const std::vector<uint32_t> gained = delta_->addedWith(trigrams);
    if (!gained.empty()) {
        std::vector<uint32_t> both;
        both.reserve(out.size() + gained.size());
        std::merge(out.begin(), out.end(), gained.begin(), gained.end(), std::back_inserter(both));
        out.swap(both);
    }
    if (!out.empty() && out.back() >= stamp_.records) damaged("Liste beschädigt");
    return out;
}

void TrigramIndex::verifyLists() const {
    for (const Entry& e : dir_) readList(e);
}

void TrigramIndex::decodeList(const Entry& e, std::vector<uint32_t>& positions) const {
    positions.clear();
    if (!postings::decodeAll(readList(e), positions) || positions.size() != e.count ||
        std::adjacent_find(positions.begin(), positions.end(),
                           [](uint32_t a, uint32_t b) { return a >= b; }) != positions.end() ||
        (!positions.empty() && positions.back() >= lists_.records))
        damaged("Liste beschädigt");
}

void TrigramIndex::forEachList(
    const std::function<void(uint32_t, const std::vector<uint32_t>&)>& each) const {
    std::vector<uint32_t> positions;
    static const std::vector<std::pair<uint32_t, std::vector<uint32_t>>> none;
    const auto& changed = delta_ ? delta_->trigrams : none;
    size_t i = 0, k = 0;
    while (i < dir_.size() || k < changed.size()) {
        const uint32_t t =
            k == changed.size() || (i < dir_.size() && dir_[i].trigram <= changed[k].first)
                ? dir_[i].trigram
                : changed[k].first;
        positions.clear();
        if (i < dir_.size() && dir_[i].trigram == t) decodeList(dir_[i++], positions);
        if (delta_) {
            delta_->toTablePositions(positions);
            if (k < changed.size() && changed[k].first == t) {
                const std::vector<uint32_t> gained = delta_->addedWith(t);
                std::vector<uint32_t> both;
                std::merge(positions.begin(), positions.end(), gained.begin(), gained.end(),
                           std::back_inserter(both));
                positions.swap(both);
                ++k;
            }
        }
        if (!positions.empty()) each(t, positions);
    }
}

}  // namespace mv32::engine::store
