// The posting lists of a trigram index while it is built, gathered within a memory budget.
//
// The build reads the records in primary order and hands every (trigram, position) pair to
// add(); positions therefore come ascending for every trigram. The lists grow in memory,
// packed in blocks (Postings.h); when they pass the budget they are written, in trigram order,
// to a run file beside the index (<table>.trsN) and memory starts empty again. Every position
// of a run is below every position of the next run, so that a list is read back by putting
// its pieces from the runs one after the other: no sorting, one sequential read of each run.
// The run files are removed when the object goes, whether the build finished or not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/FileSystem.h"

namespace mv32::engine::store {

class PostingRuns {
public:
    PostingRuns(FileSystem& fs, std::string runBase, size_t budget);
    ~PostingRuns();
    PostingRuns(const PostingRuns&) = delete;
    PostingRuns& operator=(const PostingRuns&) = delete;

    // Adds `position` to the list of `trigram`; positions of one trigram come ascending.
    void add(uint32_t trigram, uint32_t position);

    // One finished list: its trigram, its number of positions and its blocks.
    struct List {
        uint32_t trigram = 0;
        uint32_t count = 0;
        std::string bytes;
    };
    // After the last add(): the lists in ascending trigram order, one per call; false after
    // the last. Throws a corruption error naming a run file that does not read back.
    bool next(List& out);

    // How many run files were written, and the most memory the lists held (for measuring).
    size_t runs() const { return runs_.size(); }
    size_t peakBytes() const { return peak_; }

private:
    struct Pending {
        std::string bytes;
        std::vector<uint32_t> positions;  // of the block not yet full
        uint32_t count = 0;
        uint32_t trigram = 0;
    };
    struct Run;
    Pending& listOf(uint32_t trigram);
    void spill();
    void grew(size_t bytes);
    std::vector<uint32_t> sortedLists() const;
    bool nextInMemory(List& out);

    FileSystem& fs_;
    std::string runBase_;
    size_t budget_;
    // The lists in the order of their first position; found through the first two bytes of
    // their trigram (a block of 256 numbers, made when first needed) and the third.
    std::vector<Pending> lists_;
    std::vector<std::unique_ptr<uint32_t[]>> slots_;
    std::vector<uint32_t> made_;  // the blocks of slots_ made since the last run
    size_t bytes_ = 0;  // what the lists hold, counted by the capacities of their buffers
    size_t peak_ = 0;
    std::vector<std::unique_ptr<Run>> runs_;
    bool reading_ = false;
    std::vector<uint32_t> order_;  // in memory only: the lists by trigram
    size_t at_ = 0;
};

}  // namespace mv32::engine::store
