// The definition of a table and the byte form of its records and index entries.
//
// Record entries (in BASE.db) are ordered by the cluster key: the primary key fields, or none
// for a table created without a key, followed by a sequence number that keeps records with
// equal key fields apart while the table has no primary index:
//
//     [cluster key fields ...][sequence][other fields in column order]
//
// Index entries (in BASE.xgN) consist of the index fields (folded when the index ignores case,
// complemented when it is descending) followed by what the record's cluster key adds to them,
// which makes them unique and leads to the record: the cluster fields that are not already
// among the index fields unchanged, in cluster order, and the sequence number:
//
//     [index fields ...][other cluster key fields ...][sequence]
//
// (Index files of format 1 held the whole cluster key; they count as absent and are rebuilt.)
// Within equal index fields, entries still follow the cluster order: the cluster fields left
// out are equal there.
//
// Memo and blob fields are stored in the record as references into BASE.mb, whose entries are
// [blob id][chunk number][bytes].
//
// The schema block in the .db header:
//   u8 version (1); u16 field count; per field: u8 name length, name, u8 type, u16 width;
//   u16 cluster key length, u16 field numbers; u64 next sequence number;
//   u16 index count; per index: u8 name length, name, u16 field count, u16 field numbers,
//   u8 options, u32 file number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Field.h"
#include "engine/store/KeyCodec.h"

namespace mv32::engine::store {

enum IndexOption : unsigned { kCaseInsensitive = 1, kDescending = 2, kUnique = 4 };

struct IndexInfo {
    std::string name;
    std::vector<int> fields;
    unsigned options = 0;
    uint32_t fileNo = 0;
};

struct BlobRef {
    uint64_t id = 0;  // 0: blank
    uint64_t length = 0;
};

class Schema {
public:
    std::vector<FieldDef> fields;
    std::vector<int> cluster;
    uint64_t nextSeq = 1;
    std::vector<IndexInfo> indexes;

    // Prepares the layouts; call after changing fields or cluster.
    void finish();

    int fieldIndex(std::string_view name) const;
    const IndexInfo* findIndex(std::string_view name) const;

    std::string serialize() const;
    static Schema parse(const std::string& block, const std::string& file);

    const Layout& recordLayout() const { return recordLayout_; }
    Layout indexLayout(const IndexInfo& ix) const;
    static const Layout& blobLayout();
    static const Layout& primaryLayout();

    std::string clusterKey(const Row& values, uint64_t seq) const;
    // `ends` (when given, one per field of the record layout) receives where each field of
    // the entry ends.
    std::string encodeRecord(const Row& values, const std::vector<BlobRef>& refs, uint64_t seq,
                             uint32_t* ends = nullptr) const;
    // Fills values (large fields stay blank) and refs (one per field) from a record entry.
    void decodeRecord(std::string_view entry, Row& values, std::vector<BlobRef>& refs) const;
    // The value of one field of a record entry, without decoding the others.
    Value fieldValue(std::string_view entry, int field) const;
    size_t clusterKeyLength(std::string_view entry) const;

    // Field access on a record entry split once with splitRecord (ends: one per entry field).
    bool splitRecord(std::string_view entry, std::vector<uint32_t>& ends) const;
    Value valueAt(std::string_view entry, const std::vector<uint32_t>& ends, int field) const;
    BlobRef refAt(std::string_view entry, const std::vector<uint32_t>& ends, int field) const;
    uint64_t sequenceOf(std::string_view entry) const;
    // The position of a field among the fields of a record entry.
    size_t entryPosition(int field) const {
        return static_cast<size_t>(columnToEntry_[static_cast<size_t>(field)]);
    }

    // Index fields of `values` (the first `count` of them, all when count is -1).
    std::string indexPrefix(const IndexInfo& ix, const Row& values, int count = -1) const;
    std::string indexEntry(const IndexInfo& ix, const Row& values, std::string_view key) const;
    // The cluster key of the record an index entry leads to: a view into the entry, or into
    // `scratch` when the index holds some of the cluster fields among its own.
    std::string_view clusterKeyOfIndexEntry(const IndexInfo& ix, std::string_view entry,
                                            std::string& scratch) const;
    // The position among the index's fields that holds cluster field `field` unchanged, or -1.
    int coveringPosition(const IndexInfo& ix, int field) const;
    bool coversClusterField(const IndexInfo& ix) const;

    // One value in key form for a field (ascending, case as stored).
    void encodeKeyValue(std::string& out, int field, const Value& v, unsigned options) const;

private:
    void appendClusterKey(std::string& out, const Row& values, uint64_t seq, uint32_t* ends) const;
    Layout recordLayout_;
    std::vector<int> entryToColumn_;  // entry position -> field (-1: sequence)
    std::vector<int> columnToEntry_;
};

Kind kindFor(FieldType t, bool descending);

}  // namespace mv32::engine::store
