// Byte layout of the engine's files. Reader and writer share these constants.
//
// A table named BASE consists of
//   BASE.db    the records, a B-tree ordered by the cluster key       (always)
//   BASE.px    the primary index descriptor (one page)                 (when the table is keyed)
//   BASE.mb    memo and blob data, a B-tree of chunks                   (when it has such fields)
//   BASE.xgN   one secondary index each, a B-tree of index entries      (N = 0, 1, ...)
//   BASE.wal   the write-ahead log (layout in Wal.h)                   (while the table is open)
// The .db file is the table: the other files count only when their table id and counter match
// the directory in its header, so that a stale or foreign file is never taken for current.
// All numbers are little-endian. Every file is a sequence of pages of kPageSize bytes, page 0
// being the file header. Every page starts with this header:
//
//   OFFSET SIZE DESCRIPTION
//        0    4 CRC-32C of bytes 4 .. kPageSize-1
//        4    4 page number (a page found at the wrong place is corrupt)
//        8    4 file tag: low 32 bits of the table id plus the file number times 0x9E3779B9
//       12    1 page type (PageType)
//       13    1 level: 0 for leaves, height above the leaves for inner nodes
//       14    2 number of entries (nodes) or of page numbers (free-list trunks)
//
// Page 0 continues with the file header:
//
//       16    8 magic: "MV32DB\x01\x00", "MV32MB\x01\x00", "MV32XG\x02\x00" or "MV32PX\x01\x00"
//       24    4 format version (1)
//       28    4 page size
//       32    8 table id, random, shared by all files of one table
//       40    8 file counter: raised by every commit that changes this file
//       48    4 number of pages of the file
//       52    4 first free-list trunk page (0: none)
//       56    4 number of free pages
//       60    4 root page of the B-tree
//       64    8 number of entries in the B-tree
//       72    4 flags; bit 0 (.db only): a commit is being written into the files
//       76    2 number D of directory entries (.db only: the other files of the table)
//       78    2 length L of the kind-specific block
//       80  12D directory: u32 file number, u64 the counter that file must carry
//   80+12D    L kind-specific block (table schema, index definition, primary key; the
//               blocks and each kind's magic are in HeaderBlocks.h)
//
// The .db header goes on after the block (E = 80+12D+L), where files written before these
// fields hold zeros (every header page is written zero-filled), so that they read as absent:
//
//        E    8 commit generation: a random number drawn anew by every commit (0: none yet).
//               Copies of a table that went apart after a copy share table id and counter,
//               but not this; a file derived from the table (the trigram index) names the
//               generation it was made from and counts only while the table still has it.
//      E+8    2 field number plus one of the table's trigram index (0: none), so that the
//               index can be built anew without reading its old file
//
// A header whose block leaves no room for these ten bytes is written without them (the
// table then never has a current trigram index).
//
// Tree nodes (type Leaf or Inner) store their entries delta-coded after the page header:
//   leaf:  per entry and field a varint code: 0 = same as this field of the previous entry;
//          1 (first field only) = entry stored in overflow pages: varint length, u32 first page;
//          c >= 2: c-2 bytes shared with the previous entry's field, varint n, n new bytes.
//   inner: varint child0, varint count0, then per separator key: varint code as above (over the
//          whole key), then varint child, varint count (entries below that child).
// Overflow pages (type Overflow): u32 next page (0 at the end), u16 byte count, the bytes.
// Free-list trunks (type FreeTrunk): u32 next trunk, then `entries` u32 free page numbers.
// Other free pages (type Free) carry no data; they are written when freed, so that every page
// of a file always has a valid checksum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mv32::engine::store {

inline constexpr size_t kPageSize = 4096;
inline constexpr size_t kPageHeaderSize = 16;
inline constexpr size_t kNodeCapacity = kPageSize - kPageHeaderSize;
// An entry whose stand-alone coded size exceeds this goes to overflow pages, so that every
// node holds at least four entries.
inline constexpr size_t kMaxLocalEntry = kNodeCapacity / 4;
inline constexpr uint32_t kFormatVersion = 1;
inline constexpr int kMaxTreeHeight = 40;

enum class PageType : uint8_t {
    FileHeader = 1,
    Leaf = 2,
    Inner = 3,
    FreeTrunk = 4,
    Overflow = 5,
    Free = 6,
};

enum FileNo : uint32_t { kDbFile = 0, kPxFile = 1, kMbFile = 2, kFirstIndexFile = 3 };

inline constexpr size_t kOverflowHeader = kPageHeaderSize + 6;
inline constexpr size_t kOverflowCapacity = kPageSize - kOverflowHeader;
inline constexpr size_t kTrunkCapacity = (kPageSize - kPageHeaderSize - 4) / 4;

// Offsets inside page 0.
inline constexpr size_t kHdrMagic = 16;
inline constexpr size_t kHdrVersion = 24;
inline constexpr size_t kHdrPageSize = 28;
inline constexpr size_t kHdrTableId = 32;
inline constexpr size_t kHdrCounter = 40;
inline constexpr size_t kHdrPageCount = 48;
inline constexpr size_t kHdrFreeHead = 52;
inline constexpr size_t kHdrFreeCount = 56;
inline constexpr size_t kHdrRoot = 60;
inline constexpr size_t kHdrEntries = 64;
inline constexpr size_t kHdrFlags = 72;
inline constexpr size_t kHdrDirCount = 76;
inline constexpr size_t kHdrBlockLen = 78;
inline constexpr size_t kHdrDir = 80;
inline constexpr size_t kDirEntrySize = 12;
// The .db header's fields after the kind-specific block.
inline constexpr size_t kHdrExtraSize = 10;
inline constexpr uint32_t kFlagApplying = 1;

inline uint32_t fileTag(uint64_t tableId, uint32_t fileNo) {
    return static_cast<uint32_t>(tableId) + fileNo * 0x9E3779B9u;
}

// Lock bytes, far beyond any data, on the .db file.
inline constexpr uint64_t kLockOpen = 0x7FFF000000000000ull;  // shared per handle; exclusive open
inline constexpr uint64_t kLockWrite = kLockOpen + 1;         // held by the one writer
inline constexpr uint64_t kLockRead = kLockOpen + 2;  // shared by readers, exclusive to apply

}  // namespace mv32::engine::store
