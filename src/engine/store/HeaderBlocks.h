// The magic and the kind-specific header block of each kind of table file (Format.h).
//
// The operations that create files write them, and the open that decides whether a file is
// current compares them: both use these, so that they cannot drift apart (a file whose block
// differs by a byte no longer counts as the table's and is rebuilt).
//
//   .db   block: the table schema (Schema::serialize)
//   .px   block: the primary key
//           u32 number of key fields, then u32 field number each
//   .mb   block: u64 the next free blob id
//   .xgN  block: the index definition
//           varint length of the name, the name (UTF-8), the key block as for .px,
//           u8 options (IndexOptions)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/store/Schema.h"

namespace mv32::engine::store {

inline constexpr char kDbMagic[8] = {'M', 'V', '3', '2', 'D', 'B', 1, 0};
inline constexpr char kMbMagic[8] = {'M', 'V', '3', '2', 'M', 'B', 1, 0};
// Index files are of format 2 (entries without the cluster fields they hold anyway, Schema.h);
// a file of format 1 does not count as the index and is rebuilt like a missing one.
inline constexpr char kXgMagic[8] = {'M', 'V', '3', '2', 'X', 'G', 2, 0};
inline constexpr char kPxMagic[8] = {'M', 'V', '3', '2', 'P', 'X', 1, 0};

inline bool hasMagic(const std::string& magic, const char (&expected)[8]) {
    return magic == std::string(expected, 8);
}

std::string keyBlock(const std::vector<int>& fields);
std::string indexBlock(const IndexInfo& ix);
std::string blobBlock(uint64_t nextId);

}  // namespace mv32::engine::store
