// The input of the table fuzz target: a flag byte, then the files of one table.
//
//   u8 flags: bit 0 = give every page a correct checksum before opening, so that mutations
//             reach the structure checks behind the checksums
//   then any number of: u8 file (0 .db, 1 .px, 2 .mb, 3 .xg0, 4 .xg1, 5 .wal), u32 length, bytes
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/MemFileSystem.h"

namespace mv32::fuzz {

inline const char* const kExtensions[] = {".db", ".px", ".mb", ".xg0", ".xg1", ".wal"};

// Puts the files of the input into fs as /f/t.*; returns the flags.
uint8_t unpack(const uint8_t* data, size_t size, test::MemFileSystem& fs);
// The input that stands for the table /f/t.* in fs.
std::string pack(test::MemFileSystem& fs, uint8_t flags);

}  // namespace mv32::fuzz
