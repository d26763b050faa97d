#include "engine/store/PostingRuns.h"

#include <algorithm>

#include "engine/EngineError.h"
#include "engine/store/Coding.h"
#include "engine/store/Postings.h"

namespace mv32::engine::store {

namespace {

// What one list costs beside its bytes: its slot in the hash table and its two buffers' heads.
constexpr size_t kPerList = 96;
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
    : fs_(fs), runBase_(std::move(runBase)), budget_(budget) {}

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

void PostingRuns::account(size_t before, size_t after) {
    bytes_ += after - before;
    peak_ = std::max(peak_, bytes_);
}

void PostingRuns::add(uint32_t trigram, uint32_t position) {
    auto [it, fresh] = lists_.try_emplace(trigram);
    Pending& l = it->second;
    const size_t before =
        (fresh ? 0 : kPerList) + l.bytes.capacity() + l.positions.capacity() * sizeof(uint32_t);
    l.positions.push_back(position);
    ++l.count;
    if (l.positions.size() == postings::kBlock) {
        postings::appendBlock(l.bytes, l.positions.data(), l.positions.size());
        l.positions.clear();
    }
    account(before, kPerList + l.bytes.capacity() + l.positions.capacity() * sizeof(uint32_t));
    if (bytes_ > budget_) spill();
}

void PostingRuns::spill() {
    auto run = std::make_unique<Run>();
    run->path = runBase_ + std::to_string(runs_.size());
    fs_.remove(run->path);  // left by a build that died
    run->file = fs_.open(run->path, true);
    run->file->truncate(0);
    runs_.push_back(std::move(run));
    Run& r = *runs_.back();
    std::vector<uint32_t> order;
    order.reserve(lists_.size());
    for (const auto& [t, l] : lists_) order.push_back(t);
    std::sort(order.begin(), order.end());
    std::string out;
    for (uint32_t t : order) {
        Pending& l = lists_[t];
        if (!l.positions.empty())
            postings::appendBlock(l.bytes, l.positions.data(), l.positions.size());
        unsigned char h[12];
        put32(h, t);
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
    bytes_ = 0;
}

bool PostingRuns::nextInMemory(List& out) {
    if (at_ == order_.size()) return false;
    const uint32_t t = order_[at_++];
    Pending& l = lists_[t];
    if (!l.positions.empty())
        postings::appendBlock(l.bytes, l.positions.data(), l.positions.size());
    out.trigram = t;
    out.count = l.count;
    out.bytes = std::move(l.bytes);
    l = Pending{};
    return true;
}

bool PostingRuns::next(List& out) {
    if (!reading_) {
        reading_ = true;
        if (runs_.empty()) {
            order_.reserve(lists_.size());
            for (const auto& [t, l] : lists_) order_.push_back(t);
            std::sort(order_.begin(), order_.end());
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
