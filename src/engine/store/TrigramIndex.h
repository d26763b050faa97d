// The trigram index of one text field of a table: for every three consecutive bytes of the
// upper-cased field, the positions (in the primary order) of the records that contain them.
// A substring search (UPPER(Dateiname) LIKE "%README%") reads the lists of the pattern's
// trigrams, intersects them and reads only the records left, checking each with the whole
// pattern, instead of reading every record.
//
// The index lives in a file of its own beside the table (<table>.tri). It is built from the
// records and never changed in place: it carries the table's identity, change counter and
// record count at its building, and a table that changed since makes it stale, which callers
// treat like an absent index. A new file is written under a temporary name, made durable and
// then renamed over the old one, so that a crash leaves the one or the other. A damaged file
// (a checksum that does not match) is an error naming it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FileSystem.h"

namespace mv32::engine::store {

inline constexpr const char* kTrigramExtension = ".tri";
inline constexpr const char* kTrigramTempExtension = ".trn";

// The distinct byte trigrams of `text`, ascending (a trigram is its three bytes, big-endian).
std::vector<uint32_t> trigramsOf(std::string_view text);

// The trigrams that every text matching the LIKE pattern contains: those of its literal runs
// between the wildcards "%" and "_", ascending. Empty when no run is three bytes long or the
// pattern holds bytes that are no UTF-8 character (the index cannot narrow such a search).
std::vector<uint32_t> requiredTrigrams(std::string_view pattern);

// What an index file was built from.
struct TrigramStamp {
    uint64_t tableId = 0;
    uint64_t counter = 0;  // the table's change counter
    uint64_t records = 0;
    std::string field;

    bool operator==(const TrigramStamp&) const = default;
};

class TrigramIndex {
public:
    // Builds the index file `path` (and removes its temporary file): `next(value)` gives the
    // upper-cased field of each record in primary order and false after the last. Throws
    // EngineError; on failure the old file (if any) stays as it was.
    static void build(FileSystem& fs, const std::string& path, const TrigramStamp& stamp,
                      const std::function<bool(std::string&)>& next);
    // Opens the index file at `path`: null when there is none or it is of another format;
    // throws a corruption error naming it when its head or directory is damaged.
    static std::unique_ptr<TrigramIndex> open(FileSystem& fs, const std::string& path);

    ~TrigramIndex();
    TrigramIndex(const TrigramIndex&) = delete;
    TrigramIndex& operator=(const TrigramIndex&) = delete;

    const TrigramStamp& stamp() const { return stamp_; }
    const std::string& path() const { return path_; }
    size_t trigramCount() const { return dir_.size(); }

    // The positions, ascending, of the records whose field contains every one of `trigrams`
    // (a superset of the matches of the pattern they came from). Throws a corruption error
    // naming the file when a list read is damaged.
    std::vector<uint32_t> candidates(const std::vector<uint32_t>& trigrams) const;
    // Reads every list and calls `each(trigram, positions)` in trigram order; throws when
    // one is damaged. For checking the index against the records.
    void forEachList(const std::function<void(uint32_t, const std::vector<uint32_t>&)>& each) const;

private:
    struct Entry {
        uint32_t trigram;
        uint32_t count;
        uint64_t offset;
        uint32_t length;
        uint32_t crc;
    };
    TrigramIndex() = default;
    std::string readList(const Entry& e) const;
    [[noreturn]] void damaged(const std::string& detail) const;

    std::unique_ptr<File> file_;
    std::string path_;
    TrigramStamp stamp_;
    uint64_t dataStart_ = 0;
    std::vector<Entry> dir_;
};

}  // namespace mv32::engine::store
