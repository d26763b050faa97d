#include "engine/store/PostingRuns.h"

#include <algorithm>

#include "engine/EngineError.h"
#include "engine/store/Coding.h"
#include "engine/store/Postings.h"

namespace mv32::engine::store {

namespace {

constexpr size_t kSlotBlocks = 1u << 16;  // one per first two bytes of a trigram
constexpr size_t kReadAhead = 1u << 20;

}  // namespace

// A run file, written once in trigram order and read back sequentially.
struct PostingRuns::Run {
    std::string path;
    std::unique_ptr<File> file;
    uint64_t size = 0;
    uint64_t pos = 0;
    std::string buffer;
    size_t bufPos = 0;
    bool has = false;  // a current list: trigram, count, bytes
    uint32_t trigram = 0, count = 0;
    std::string bytes;

    bool fill(size_t need) {
        if (buffer.size() - bufPos >= need) return true;
        buffer.erase(0, bufPos);
        bufPos = 0;
        const size_t want = std::max(need, kReadAhead);
        const size_t old = buffer.size();
        buffer.resize(old + want);
        const size_t got = file->read(pos, buffer.data() + old, want);
        buffer.resize(old + got);
        pos += got;
        return buffer.size() >= need;
    }
    void advance() {
        has = false;
        if (pos >= size && bufPos == buffer.size()) return;
        if (!fill(12)) throwCorrupt(path, "Zwischendatei des Trigrammindex unvollständig");
        const auto* h = reinterpret_cast<const unsigned char*>(buffer.data() + bufPos);
        trigram = get32(h);
        count = get32(h + 4);
        const uint32_t length = get32(h + 8);
        bufPos += 12;
        if (!fill(length)) throwCorrupt(path, "Zwischendatei des Trigrammindex unvollständig");
        bytes.assign(buffer, bufPos, length);
        bufPos += length;
        has = true;
    }
};

PostingRuns::PostingRuns(FileSystem& fs, std::string runBase, size_t budget)
    : fs_(fs), runBase_(std::move(runBase)), budget_(budget), slots_(kSlotBlocks) {}

PostingRuns::~PostingRuns() {
    for (auto& r : runs_) {
        r->file.reset();
        try {
            fs_.remove(r->path);
        } catch (const EngineError&) {
            // Left behind; the table's files list it, so a later removal of the table takes it.
        }
    }
}

void PostingRuns::grew(size_t bytes) {
    bytes_ += bytes;
    peak_ = std::max(peak_, bytes_);
}

PostingRuns::Pending& PostingRuns::listOf(uint32_t trigram) {
    std::unique_ptr<uint32_t[]>& block = slots_[trigram >> 8];
    if (!block) {
        block = std::make_unique<uint32_t[]>(256);  // zero: no list yet
        made_.push_back(trigram >> 8);
        grew(256 * sizeof(uint32_t) + sizeof(uint32_t));
    }
    uint32_t& slot = block[trigram & 0xFF];
    if (slot == 0) {
        const size_t before = lists_.capacity();
        lists_.emplace_back().trigram = trigram;
        grew((lists_.capacity() - before) * sizeof(Pending));
        slot = static_cast<uint32_t>(lists_.size());
    }
    return lists_[slot - 1];
}

void PostingRuns::add(uint32_t trigram, uint32_t position) {
    Pending& l = listOf(trigram);
    if (l.positions.size() == l.positions.capacity()) {
        const size_t before = l.positions.capacity();
        l.positions.reserve(std::max<size_t>(4, before * 2));
        grew((l.positions.capacity() - before) * sizeof(uint32_t));
    }
    l.positions.push_back(position);
    ++l.count;
    if (l.positions.size() == postings::kBlock) {
        const size_t before = l.bytes.capacity();
        postings::appendBlock(l.bytes, l.positions.data(), l.positions.size());
        l.positions.clear();
        grew(l.bytes.capacity() - before);
    }
    if (bytes_ > budget_) spill();
}

std::vector<uint32_t> PostingRuns::sortedLists() const {
    std::vector<uint32_t> order(lists_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return lists_[a].trigram < lists_[b].trigram; });
    return order;
}

void PostingRuns::spill() {
    auto run = std::make_unique<Run>();
    run->path = runBase_ + std::to_string(runs_.size());
    fs_.remove(run->path);  // left by a build that died
    run->file = fs_.open(run->path, true);
    run->file->truncate(0);
    runs_.push_back(std::move(run));
    Run& r = *runs_.back();
    std::string out;
    for (uint32_t i : sortedLists()) {
        Pending& l = lists_[i];
        if (!l.positions.empty())
            postings::appendBlock(l.bytes, l.positions.data(), l.positions.size());
        unsigned char h[12];
        put32(h, l.trigram);
        put32(h + 4, l.count);
        put32(h + 8, static_cast<uint32_t>(l.bytes.size()));
        out.append(reinterpret_cast<const char*>(h), sizeof h);
        out += l.bytes;
        l = Pending{};
        if (out.size() >= kReadAhead) {
            r.file->write(r.size, out.data(), out.size());
            r.size += out.size();
            out.clear();
        }
    }
    r.file->write(r.size, out.data(), out.size());
    r.size += out.size();
    lists_ = {};
    for (uint32_t b : made_) slots_[b].reset();
    made_ = {};
    bytes_ = 0;
}

bool PostingRuns::nextInMemory(List& out) {
    if (at_ == order_.size()) return false;
    Pending& l = lists_[order_[at_++]];
    if (!l.positions.empty())
        postings::appendBlock(l.bytes, l.positions.data(), l.positions.size());
    out.trigram = l.trigram;
    out.count = l.count;
    out.bytes = std::move(l.bytes);
    l = Pending{};
    return true;
}

bool PostingRuns::next(List& out) {
    if (!reading_) {
        reading_ = true;
        if (runs_.empty()) {
            order_ = sortedLists();
        } else {
            if (!lists_.empty()) spill();
            for (auto& r : runs_) r->advance();
        }
    }
    if (runs_.empty()) return nextInMemory(out);
    // The smallest trigram of the runs' current lists; its pieces in run order.
    const Run* least = nullptr;
    for (const auto& r : runs_) {
        if (r->has && (!least || r->trigram < least->trigram)) least = r.get();
    }
    if (!least) return false;
    out.trigram = least->trigram;
    out.count = 0;
    out.bytes.clear();
    for (auto& r : runs_) {
        if (!r->has || r->trigram != out.trigram) continue;
        out.count += r->count;
        out.bytes += r->bytes;
        r->advance();
    }
    return true;
}

}  // namespace mv32::engine::store
