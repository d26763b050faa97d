// The trigram index of one text field of a table: for every three consecutive bytes of the
// upper-cased field, the positions (in the primary order) of the records that contain them.
// A substring search (UPPER(Dateiname) LIKE "%README%") reads the lists of the pattern's
// trigrams, intersects them and reads only the records left, checking each with the whole
// pattern, instead of reading every record.
//
// The index lives in a file of its own beside the table (<table>.tri). It is built from the
// records and never changed in place: it carries the table's identity, change counter, commit
// generation and record count at its building. A change of the table made since (a scan's new
// records, a medium's records removed) may be written beside it as a TrigramDelta
// (<table>.trd), which names the lists it changes and the table it brings them to; the index
// then describes that table. A table that changed otherwise makes it stale, which callers treat
// like an absent index. The generation, which every commit of the table draws anew, tells
// apart two copies of one table that went apart with the same number of commits and records.
// A new file is written under a temporary name, made durable and then renamed over the old
// one, so that a crash leaves the one or the other. Building never reads the old files.
//
// Byte layout (format 2; numbers little-endian, CRC-32C as in Crc32c.h):
//
//   OFFSET SIZE DESCRIPTION
//        0    8 magic "MV32TRI\0"
//        8    4 format (2)
//       12    4 length F of the field name (at most 64)
//       16    8 the table's id
//       24    8 the table's change counter
//       32    8 the table's record count
//       40    4 number N of lists
//       44    4 CRC-32C of the directory
//       48    8 offset of the directory, counted from the end of the field name
//       56    4 CRC-32C of bytes 0..55, 60..71 and the field name
//       60    4 zero
//       64    8 the table's commit generation (Format.h)
//       72    F the field's name (UTF-8)
//     72+F      the lists, one after the other (blocks of positions, Postings.h), then the
//               directory: N entries of 24 bytes in ascending trigram order:
//                 u32 trigram (its three bytes, big-endian), u32 number of positions,
//                 u64 offset of the list (from the end of the field name), u32 its length,
//                 u32 CRC-32C of the list
//
// Format 1 had no generation: its head ended at byte 64 (56..59 the CRC of bytes 0..55 and
// the name). Such a file is of an older format: it counts as absent and is built anew.
// A file that cannot be read as one of these (cut, a checksum that does not match, another
// magic or an unknown format) is damaged: open() throws a corruption error naming it. For
// searching, a damaged file counts as absent too; the check reports it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FileSystem.h"
#include "engine/store/TrigramDelta.h"

namespace mv32::engine::store {

inline constexpr const char* kTrigramExtension = ".tri";
inline constexpr const char* kTrigramTempExtension = ".trn";
inline constexpr const char* kTrigramDeltaExtension = ".trd";
inline constexpr const char* kTrigramDeltaTempExtension = ".trt";

// The distinct byte trigrams of `text`, ascending (a trigram is its three bytes, big-endian).
std::vector<uint32_t> trigramsOf(std::string_view text);

// The trigrams that every text matching the LIKE pattern contains: those of its literal runs
// between the wildcards "%" and "_", ascending. Empty when no run is three bytes long or the
// pattern holds bytes that are no UTF-8 character (the index cannot narrow such a search).
std::vector<uint32_t> requiredTrigrams(std::string_view pattern);

// What an index file was built from.
struct TrigramStamp {
    uint64_t tableId = 0;
    uint64_t counter = 0;     // the table's change counter
    uint64_t generation = 0;  // the table's commit generation
    uint64_t records = 0;
    std::string field;

    bool operator==(const TrigramStamp&) const = default;
};

class TrigramIndex {
public:
    // Builds the index file `path` (and removes its temporary file and the change beside the
    // old one): `next(value)` gives the upper-cased field of each record in primary order and
    // false after the last. The lists are gathered within `memoryBudget` bytes; beyond it they
    // wait in files beside the index (PostingRuns.h). Throws EngineError; on failure the old
    // file (if any) stays as it was.
    static void build(FileSystem& fs, const std::string& path, const TrigramStamp& stamp,
                      const std::function<bool(std::string&)>& next,
                      size_t memoryBudget = kBuildBudget);
    static constexpr size_t kBuildBudget = 16u << 20;
    // The most memory the lists of the last build held, and how many run files it wrote (for
    // measuring the build).
    static size_t lastBuildPeak() { return lastBuildPeak_; }
    static size_t lastBuildRuns() { return lastBuildRuns_; }
    // Opens the index file at `path` with the change beside it that belongs to its lists:
    // null when there is none or it is of the older format; throws a corruption error naming
    // the file when its head or directory, or the change, is damaged.
    static std::unique_ptr<TrigramIndex> open(FileSystem& fs, const std::string& path);
    // The field named by the head of the file at `path`, of either format; "" when there is
    // none or its head cannot be read. Only for tables that do not name their trigram field
    // themselves (written before they did).
    static std::string fieldOf(FileSystem& fs, const std::string& path);

    ~TrigramIndex();
    TrigramIndex(const TrigramIndex&) = delete;
    TrigramIndex& operator=(const TrigramIndex&) = delete;

    // The table the index describes: that of its lists, or of the change beside them.
    const TrigramStamp& stamp() const { return stamp_; }
    // The table its lists were built from, and the change since (null: none).
    const TableState& listState() const { return lists_; }
    const TrigramDelta* delta() const { return delta_ ? &*delta_ : nullptr; }
    const std::string& path() const { return path_; }
    size_t trigramCount() const { return dir_.size(); }

    // The positions, ascending, of the records whose field contains every one of `trigrams`
    // (a superset of the matches of the pattern they came from), each below the record count.
    // Throws a corruption error naming the file when a list read is damaged.
    std::vector<uint32_t> candidates(const std::vector<uint32_t>& trigrams) const;
    // The path of the change beside the index file `path`, and of its temporary file.
    static std::string deltaPathOf(const std::string& path);
    static std::string deltaTempPathOf(const std::string& path);
    // Reads every list and checks its checksum; throws a corruption error naming the file
    // when one is damaged.
    void verifyLists() const;
    // Reads every list and calls `each(trigram, positions)` in trigram order, with today's
    // positions where a change lies beside the lists; throws when one is damaged. For checking
    // the index against the records.
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
    std::vector<uint32_t> listCandidates(const std::vector<uint32_t>& trigrams) const;
    void decodeList(const Entry& e, std::vector<uint32_t>& positions) const;
    [[noreturn]] void damaged(const std::string& detail) const;

    std::unique_ptr<File> file_;
    std::string path_;
    TrigramStamp stamp_;
    TableState lists_;
    std::optional<TrigramDelta> delta_;
    static inline std::atomic<size_t> lastBuildPeak_{0};
    static inline std::atomic<size_t> lastBuildRuns_{0};
    uint64_t dataStart_ = 0;
    std::vector<Entry> dir_;
};

}  // namespace mv32::engine::store
