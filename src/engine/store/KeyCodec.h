// The byte form of field values inside B-tree entries.
//
// An entry is the concatenation of its field encodings. Every encoding is self-delimiting and,
// for the kinds that may be part of a key, order-preserving: comparing two entries with memcmp
// orders them field by field, with a blank field before every value. Descending fields store the
// bitwise complement, which reverses their order and keeps them self-delimiting.
//
//   Text      00                  blank
//             01 <utf8 bytes> 00  value (the bytes never contain 00); orders by code point
//   Int       00                  blank
//             38+(8-L)..40 <L>    negative: tag 40-L, then L bytes of the complement of ~v
//             80+L <L bytes>      zero or positive: L big-endian bytes (L = 0 for zero)
//   BlobRef   00 | 01 <varint id> <varint length>     memo or blob stored in the memo file
//   Bytes     <varint length> <bytes>                 raw data, never part of a key
//
// A Layout lists the kinds of an entry's fields; its first `keyFields` fields form the part that
// orders entries (the rest is payload).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mv32::engine::store {

enum class Kind : uint8_t { Text, TextDesc, Int, IntDesc, BlobRef, Bytes };

struct Layout {
    std::vector<Kind> kinds;
    size_t keyFields = 0;
};

inline constexpr size_t kBadField = static_cast<size_t>(-1);

void encodeBlank(std::string& out, Kind k);
void encodeText(std::string& out, std::string_view utf8WithoutZero, Kind k);  // Text/TextDesc
void encodeInt(std::string& out, int64_t v, Kind k);                          // Int/IntDesc
void encodeBlobRef(std::string& out, uint64_t id, uint64_t length);
void encodeBytes(std::string& out, std::string_view data);

// Length of the field of kind k at p, or kBadField when the bytes are not a valid encoding.
size_t fieldLength(const unsigned char* p, size_t avail, Kind k);

bool isBlankField(const unsigned char* p, Kind k);
// The text of a Text field (view into the entry) or of a TextDesc field (copied back).
std::string textOf(const unsigned char* p, size_t len, Kind k);
std::string_view textView(const unsigned char* p, size_t len);  // Text only
int64_t intOf(const unsigned char* p, size_t len, Kind k);
void blobRefOf(const unsigned char* p, size_t len, uint64_t* id, uint64_t* length);
std::string_view bytesOf(const unsigned char* p, size_t len);

// Splits an entry into its fields: ends[i] is the offset just past field i. Returns false when
// the entry does not follow the layout exactly.
bool splitFields(const Layout& layout, std::string_view entry, uint32_t* ends);

// Length of the key part (the first keyFields fields); kBadField when malformed.
size_t keyLength(const Layout& layout, std::string_view entry);

}  // namespace mv32::engine::store
