// The change of a trigram index since its lists were built: which of their records are gone,
// which records the table gained, and the trigram lists of those gained.
//
// A scan of a thousand files into a file list of millions moves the position of most records
// of the list, but changes only a thousand of them. The lists of the whole index
// (TrigramIndex.h) stay as they were built; this small file beside them (<table>.trd) says how
// the table differs from what they describe, and a search reads both. The file is written anew
// at every change, under a temporary name created exclusively (<table>.trt), made durable and
// renamed over the old one: a crash leaves the one or the other, and the index is current only
// while the change it names is the table's last. When the change grows past a fraction of the
// lists, the index is built anew instead (TableStore decides).
//
// Positions. The lists hold "list positions": a record's place in the primary order of the
// table as it was when they were built. `removed` are list positions of records that are gone;
// `added` are today's positions of the records the lists do not hold, ascending (added record j
// stands at added[j]); each trigram list of the change holds numbers j. A record of the lists
// at list position p that is not gone stands today at the r-th position (from 0) that no added
// record takes, r being p less the removed positions below p.
//
// Byte layout (format 1; numbers little-endian, CRC-32C as in Crc32c.h):
//
//   OFFSET SIZE DESCRIPTION
//        0    8 magic "MV32TRD\0"
//        8    4 format (1)
//       12    4 CRC-32C of bytes 16 to the end of the file
//       16   32 the lists it changes: table id, change counter, generation, record count at
//               their build
//       48   32 the table it brings them to: table id, change counter, generation, records
//       80    4 number R of removed positions
//       84    4 number A of added records
//       88    4 number L of trigram lists
//       92    4 zero
//       96      the removed positions, then the added ones: each a u32 length and a list of
//               blocks (Postings.h); then L lists, ascending by trigram: u32 trigram, u32
//               number of entries, u32 length, the blocks
//
// A file that cannot be read as this (cut, a checksum that does not match) is damaged: read()
// throws a corruption error naming it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/FileSystem.h"

namespace mv32::engine::store {

// The state of a table an index describes: its id, change counter, commit generation, records.
struct TableState {
    uint64_t tableId = 0;
    uint64_t counter = 0;
    uint64_t generation = 0;
    uint64_t records = 0;

    bool operator==(const TableState&) const = default;
};

class TrigramDelta {
public:
    TableState lists;  // the lists it changes
    TableState table;  // the table as the change leaves it
    std::vector<uint32_t> removed;
    std::vector<uint32_t> added;
    std::vector<std::pair<uint32_t, std::vector<uint32_t>>> trigrams;

    // The change in the file at `path`; none when there is no such file. Throws a corruption
    // error naming it when it is damaged.
    static std::optional<TrigramDelta> read(FileSystem& fs, const std::string& path);
    // Writes it to `path` through `temp` (created exclusively: a file there, left by a writer
    // that died or held by one still writing, makes it fail with ErrorKind::Exists).
    void write(FileSystem& fs, const std::string& path, const std::string& temp) const;

    // The records it names: the measure of when to build the lists anew.
    size_t size() const { return removed.size() + added.size(); }

    // Turns ascending list positions into today's positions, leaving out those removed.
    void toTablePositions(std::vector<uint32_t>& positions) const;
    // Today's positions, ascending, of the added records that hold every one of `wanted`.
    std::vector<uint32_t> addedWith(const std::vector<uint32_t>& wanted) const;
    // Today's positions, ascending, of the added records with trigram `t`.
    std::vector<uint32_t> addedWith(uint32_t t) const;

    // Takes in a change of the table: the records at today's positions `gone` (ascending)
    // removed, then records added that stand at `gained` (ascending) in the table after it,
    // record i with the trigrams `gainedTrigrams[i]`. The caller sets `table` afterwards.
    void apply(const std::vector<uint32_t>& gone, const std::vector<uint32_t>& gained,
               const std::vector<std::vector<uint32_t>>& gainedTrigrams);

private:
    const std::vector<uint32_t>* listOf(uint32_t t) const;
};

}  // namespace mv32::engine::store
