#include "engine/store/Sorter.h"

#include <algorithm>

#include "engine/store/Coding.h"

namespace mv32::engine::store {

struct Sorter::Run {
    std::string path;
    std::unique_ptr<File> file;
    uint64_t size = 0;
    uint64_t pos = 0;
    std::string buffer;
    size_t bufPos = 0;
    std::string current;

    bool fill(size_t need) {
        if (buffer.size() - bufPos >= need) return true;
        buffer.erase(0, bufPos);
        bufPos = 0;
        size_t want = std::max<size_t>(need, 1u << 20);
        size_t old = buffer.size();
        buffer.resize(old + want);
        size_t got = file->read(pos, buffer.data() + old, want);
        buffer.resize(old + got);
        pos += got;
        return buffer.size() >= need;
    }

    bool advance() {
        if (!fill(1)) return false;
        uint64_t len = 0;
        int shift = 0;
        for (;;) {
            if (!fill(1)) throwCorrupt(path, "Sortierdatei unvollständig");
            auto b = static_cast<unsigned char>(buffer[bufPos++]);
            len |= uint64_t{b & 0x7Fu} << shift;
            if (!(b & 0x80)) break;
            shift += 7;
            if (shift > 35) throwCorrupt(path, "Sortierdatei beschädigt");
        }
        if (!fill(static_cast<size_t>(len))) throwCorrupt(path, "Sortierdatei unvollständig");
        current.assign(buffer, bufPos, static_cast<size_t>(len));
        bufPos += static_cast<size_t>(len);
        return true;
    }
};

Sorter::Sorter(FileSystem& fs, std::string tempBase, size_t memoryBudget)
    : fs_(fs), tempBase_(std::move(tempBase)), budget_(memoryBudget) {}

Sorter::~Sorter() {
    for (auto& r : runs_) {
        r->file.reset();
        try {
            fs_.remove(r->path);
        } catch (...) {
            // A leftover temporary file is harmless; the next sort of this table replaces it.
        }
    }
}

void Sorter::add(std::string_view entry) {
    batch_.emplace_back(entry);
    batchBytes_ += entry.size() + 32;
    ++count_;
    if (batchBytes_ >= budget_) spill();
}

void Sorter::spill() {
    std::sort(batch_.begin(), batch_.end());
    auto run = std::make_unique<Run>();
    run->path = tempBase_ + ".srt" + std::to_string(runs_.size());
    run->file = fs_.open(run->path, true);
    run->file->truncate(0);
    std::string out;
    uint64_t off = 0;
    for (auto& e : batch_) {
        appendVarint(out, e.size());
        out.append(e);
        if (out.size() >= (1u << 20)) {
            run->file->write(off, out.data(), out.size());
            off += out.size();
            out.clear();
        }
    }
    if (!out.empty()) run->file->write(off, out.data(), out.size());
    run->size = off + out.size();
    runs_.push_back(std::move(run));
    batch_.clear();
    batch_.shrink_to_fit();
    batchBytes_ = 0;
}

void Sorter::finish() {
    finished_ = true;
    if (runs_.empty()) {
        std::sort(batch_.begin(), batch_.end());
        return;
    }
    if (!batch_.empty()) spill();
    auto greater = [this](size_t a, size_t b) { return runs_[a]->current > runs_[b]->current; };
    for (size_t i = 0; i < runs_.size(); ++i) {
        if (runs_[i]->advance()) heap_.push_back(i);
    }
    std::make_heap(heap_.begin(), heap_.end(), greater);
}

bool Sorter::next(std::string& out) {
    if (runs_.empty()) {
        if (memPos_ >= batch_.size()) return false;
        out = std::move(batch_[memPos_++]);
        return true;
    }
    if (heap_.empty()) return false;
    auto greater = [this](size_t a, size_t b) { return runs_[a]->current > runs_[b]->current; };
    std::pop_heap(heap_.begin(), heap_.end(), greater);
    size_t r = heap_.back();
    out = runs_[r]->current;
    if (runs_[r]->advance()) {
        std::push_heap(heap_.begin(), heap_.end(), greater);
    } else {
        heap_.pop_back();
    }
    return true;
}

}  // namespace mv32::engine::store
