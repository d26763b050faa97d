// Sorts entries (byte strings, memcmp order) of any number with bounded memory.
//
// Entries are collected in memory up to a budget; beyond it each sorted batch is written to a
// temporary file beside the table (BASE.srtN) and the batches are merged when read back. Used
// to build indexes and to reorder records, whose number is not bounded by memory.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FileSystem.h"

namespace mv32::engine::store {

class Sorter {
public:
    Sorter(FileSystem& fs, std::string tempBase, size_t memoryBudget = 32u << 20);
    ~Sorter();
    Sorter(const Sorter&) = delete;
    Sorter& operator=(const Sorter&) = delete;

    void add(std::string_view entry);
    // Ends adding; the entries can then be read in ascending order with next().
    void finish();
    // The next entry in order; false at the end.
    bool next(std::string& out);
    size_t size() const { return count_; }

private:
    struct Run;
    void spill();

    FileSystem& fs_;
    std::string tempBase_;
    size_t budget_;
    std::vector<std::string> batch_;
    size_t batchBytes_ = 0;
    size_t count_ = 0;
    std::vector<std::unique_ptr<Run>> runs_;
    std::vector<size_t> heap_;  // run indexes, smallest current entry first
    size_t memPos_ = 0;
    bool finished_ = false;
};

}  // namespace mv32::engine::store
