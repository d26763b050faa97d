#include "engine/store/Schema.h"

#include <stdexcept>

#include "engine/Text.h"
#include "engine/store/Coding.h"

namespace mv32::engine::store {

namespace {

constexpr size_t kMaxFieldsInEntry = 520;

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace

Kind kindFor(FieldType t, bool descending) {
    if (isLarge(t)) return Kind::BlobRef;
    if (isInteger(t)) return descending ? Kind::IntDesc : Kind::Int;
    return descending ? Kind::TextDesc : Kind::Text;
}

void Schema::finish() {
    recordLayout_ = Layout{};
    entryToColumn_.clear();
    columnToEntry_.assign(fields.size(), -1);
    for (int f : cluster) {
        recordLayout_.kinds.push_back(kindFor(fields[static_cast<size_t>(f)].type, false));
        columnToEntry_[static_cast<size_t>(f)] = static_cast<int>(entryToColumn_.size());
        entryToColumn_.push_back(f);
    }
    recordLayout_.kinds.push_back(Kind::Int);
    entryToColumn_.push_back(-1);
    recordLayout_.keyFields = recordLayout_.kinds.size();
    for (size_t f = 0; f < fields.size(); ++f) {
        if (columnToEntry_[f] >= 0) continue;
        recordLayout_.kinds.push_back(kindFor(fields[f].type, false));
        columnToEntry_[f] = static_cast<int>(entryToColumn_.size());
        entryToColumn_.push_back(static_cast<int>(f));
    }
}

int Schema::fieldIndex(std::string_view name) const {
    // Names usually come spelled as defined; other spellings are found without regard to case.
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name == name) return static_cast<int>(i);
    }
    for (size_t i = 0; i < fields.size(); ++i) {
        if (sameName(fields[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

const IndexInfo* Schema::findIndex(std::string_view name) const {
    for (auto& ix : indexes) {
        if (sameName(ix.name, name)) return &ix;
    }
    return nullptr;
}

std::string Schema::serialize() const {
    std::string out;
    out.push_back('\x01');
    auto put16s = [&](size_t v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>((v >> 8) & 0xFF));
    };
    put16s(fields.size());
    for (auto& f : fields) {
        out.push_back(static_cast<char>(f.name.size()));
        out.append(f.name);
        out.push_back(static_cast<char>(f.type));
        put16s(static_cast<size_t>(f.width));
    }
    put16s(cluster.size());
    for (int c : cluster) put16s(static_cast<size_t>(c));
    append64(out, nextSeq);
    put16s(indexes.size());
    for (auto& ix : indexes) {
        out.push_back(static_cast<char>(ix.name.size()));
        out.append(ix.name);
        put16s(ix.fields.size());
        for (int f : ix.fields) put16s(static_cast<size_t>(f));
        out.push_back(static_cast<char>(ix.options));
        append32(out, ix.fileNo);
    }
    return out;
}

Schema Schema::parse(const std::string& block, const std::string& file) {
    Reader r(reinterpret_cast<const unsigned char*>(block.data()), block.size(), file,
             "Tabellendefinition beschädigt");
    Schema s;
    if (r.u8() != 1) r.fail();
    size_t n = r.u16();
    if (n == 0 || n > kMaxFields) r.fail();
    for (size_t i = 0; i < n; ++i) {
        FieldDef f;
        size_t len = r.u8();
        f.name = std::string(r.bytes(len));
        uint8_t t = r.u8();
        if (t < 1 || t > 6 || f.name.empty()) r.fail();
        f.type = static_cast<FieldType>(t);
        f.width = r.u16();
        if (f.type == FieldType::Text && (f.width < 1 || f.width > kMaxTextWidth)) r.fail();
        s.fields.push_back(std::move(f));
    }
    size_t nc = r.u16();
    if (nc > n) r.fail();
    for (size_t i = 0; i < nc; ++i) {
        int c = r.u16();
        if (static_cast<size_t>(c) >= n || isLarge(s.fields[static_cast<size_t>(c)].type)) r.fail();
        s.cluster.push_back(c);
    }
    s.nextSeq = r.u64();
    size_t ni = r.u16();
    for (size_t i = 0; i < ni; ++i) {
        IndexInfo ix;
        size_t len = r.u8();
        ix.name = std::string(r.bytes(len));
        size_t nf = r.u16();
        if (nf == 0 || nf > n) r.fail();
        for (size_t k = 0; k < nf; ++k) {
            int f = r.u16();
            if (static_cast<size_t>(f) >= n || isLarge(s.fields[static_cast<size_t>(f)].type))
                r.fail();
            ix.fields.push_back(f);
        }
        ix.options = r.u8();
        ix.fileNo = r.u32();
        if (ix.fileNo < 3 || ix.fileNo > 100000) r.fail();
        // Every index has a file and a name of its own.
        for (const auto& other : s.indexes) {
            if (other.fileNo == ix.fileNo || other.name == ix.name) r.fail();
        }
        s.indexes.push_back(std::move(ix));
    }
    s.finish();
    return s;
}

Layout Schema::indexLayout(const IndexInfo& ix) const {
    Layout l;
    for (int f : ix.fields) {
        l.kinds.push_back(kindFor(fields[static_cast<size_t>(f)].type, ix.options & kDescending));
    }
    for (size_t i = 0; i + 1 < recordLayout_.keyFields; ++i) {
        if (coveringPosition(ix, cluster[i]) < 0) l.kinds.push_back(recordLayout_.kinds[i]);
    }
    l.kinds.push_back(Kind::Int);  // the sequence number
    l.keyFields = l.kinds.size();
    return l;
}

int Schema::coveringPosition(const IndexInfo& ix, int field) const {
    // Only an unchanged copy can stand for the cluster field: a descending index stores the
    // complement, a case-insensitive one the folded text.
    const bool text = !isInteger(fields[static_cast<size_t>(field)].type);
    if ((ix.options & kDescending) || (text && (ix.options & kCaseInsensitive))) return -1;
    for (size_t i = 0; i < ix.fields.size(); ++i) {
        if (ix.fields[i] == field) return static_cast<int>(i);
    }
    return -1;
}

bool Schema::coversClusterField(const IndexInfo& ix) const {
    for (int c : cluster) {
        if (coveringPosition(ix, c) >= 0) return true;
    }
    return false;
}

const Layout& Schema::blobLayout() {
    static const Layout l{{Kind::Int, Kind::Int, Kind::Bytes}, 2};
    return l;
}

const Layout& Schema::primaryLayout() {
    static const Layout l{{}, 0};
    return l;
}

void Schema::encodeKeyValue(std::string& out, int field, const Value& v, unsigned options) const {
    const FieldDef& f = fields[static_cast<size_t>(field)];
    Kind k = kindFor(f.type, options & kDescending);
    if (v.isBlank()) {
        encodeBlank(out, k);
    } else if (isInteger(f.type)) {
        encodeInt(out, v.asInt(), k);
    } else if (options & kCaseInsensitive) {
        encodeText(out, text::fold(v.asText()), k);
    } else {
        encodeText(out, v.asText(), k);
    }
}

std::string Schema::clusterKey(const Row& values, uint64_t seq) const {
    std::string out;
    appendClusterKey(out, values, seq, nullptr);
    return out;
}

void Schema::appendClusterKey(std::string& out, const Row& values, uint64_t seq,
                              uint32_t* ends) const {
    size_t pos = 0;
    for (int f : cluster) {
        encodeKeyValue(out, f, values[static_cast<size_t>(f)], 0);
        if (ends) ends[pos++] = static_cast<uint32_t>(out.size());
    }
    encodeInt(out, static_cast<int64_t>(seq), Kind::Int);
    if (ends) ends[pos] = static_cast<uint32_t>(out.size());
}

std::string Schema::encodeRecord(const Row& values, const std::vector<BlobRef>& refs, uint64_t seq,
                                 uint32_t* ends) const {
    // Room for the whole record at once, so that it does not grow field by field.
    size_t room = 10;
    for (const Value& v : values) room += v.isText() ? v.asText().size() + 2 : 10;
    std::string out;
    out.reserve(room);
    appendClusterKey(out, values, seq, ends);
    for (size_t pos = recordLayout_.keyFields; pos < entryToColumn_.size(); ++pos) {
        auto f = static_cast<size_t>(entryToColumn_[pos]);
        if (isLarge(fields[f].type)) {
            if (refs[f].id)
                encodeBlobRef(out, refs[f].id, refs[f].length);
            else
                encodeBlank(out, Kind::BlobRef);
        } else {
            encodeKeyValue(out, static_cast<int>(f), values[f], 0);
        }
        if (ends) ends[pos] = static_cast<uint32_t>(out.size());
    }
    return out;
}

void Schema::decodeRecord(std::string_view entry, Row& values, std::vector<BlobRef>& refs) const {
    uint32_t ends[kMaxFieldsInEntry];
    if (!splitFields(recordLayout_, entry, ends)) {
        throw std::logic_error("Datensatz passt nicht zur Tabellendefinition");
    }
    values.assign(fields.size(), Value{});
    refs.assign(fields.size(), BlobRef{});
    const auto* p = reinterpret_cast<const unsigned char*>(entry.data());
    uint32_t start = 0;
    for (size_t pos = 0; pos < entryToColumn_.size(); ++pos) {
        int col = entryToColumn_[pos];
        const unsigned char* fp = p + start;
        size_t len = ends[pos] - start;
        start = ends[pos];
        if (col < 0 || isBlankField(fp, recordLayout_.kinds[pos])) continue;
        auto c = static_cast<size_t>(col);
        switch (recordLayout_.kinds[pos]) {
            case Kind::Int:
                values[c] = Value(intOf(fp, len, Kind::Int));
                break;
            case Kind::Text:
                values[c] = Value(std::string(textView(fp, len)));
                break;
            case Kind::BlobRef:
                blobRefOf(fp, len, &refs[c].id, &refs[c].length);
                break;
            default:
                break;
        }
    }
}

Value Schema::fieldValue(std::string_view entry, int field) const {
    size_t target = static_cast<size_t>(columnToEntry_[static_cast<size_t>(field)]);
    const auto* p = reinterpret_cast<const unsigned char*>(entry.data());
    size_t pos = 0;
    for (size_t i = 0; i <= target; ++i) {
        size_t n = fieldLength(p + pos, entry.size() - pos, recordLayout_.kinds[i]);
        if (n == kBadField) throw std::logic_error("Datensatz passt nicht zur Tabellendefinition");
        if (i == target) {
            Kind k = recordLayout_.kinds[i];
            if (isBlankField(p + pos, k) || k == Kind::BlobRef) return Value{};
            if (k == Kind::Int) return Value(intOf(p + pos, n, k));
            return Value(std::string(textView(p + pos, n)));
        }
        pos += n;
    }
    return Value{};
}

bool Schema::splitRecord(std::string_view entry, std::vector<uint32_t>& ends) const {
    ends.resize(recordLayout_.kinds.size());
    return splitFields(recordLayout_, entry, ends.data());
}

Value Schema::valueAt(std::string_view entry, const std::vector<uint32_t>& ends, int field) const {
    auto pos = static_cast<size_t>(columnToEntry_[static_cast<size_t>(field)]);
    uint32_t start = pos ? ends[pos - 1] : 0;
    const auto* p = reinterpret_cast<const unsigned char*>(entry.data()) + start;
    size_t len = ends[pos] - start;
    Kind k = recordLayout_.kinds[pos];
    if (isBlankField(p, k) || k == Kind::BlobRef) return Value{};
    if (k == Kind::Int) return Value(intOf(p, len, k));
    return Value(std::string(textView(p, len)));
}

BlobRef Schema::refAt(std::string_view entry, const std::vector<uint32_t>& ends, int field) const {
    auto pos = static_cast<size_t>(columnToEntry_[static_cast<size_t>(field)]);
    uint32_t start = pos ? ends[pos - 1] : 0;
    const auto* p = reinterpret_cast<const unsigned char*>(entry.data()) + start;
    BlobRef r;
    if (recordLayout_.kinds[pos] == Kind::BlobRef && !isBlankField(p, Kind::BlobRef)) {
        blobRefOf(p, ends[pos] - start, &r.id, &r.length);
    }
    return r;
}

size_t Schema::clusterKeyLength(std::string_view entry) const {
    size_t n = keyLength(recordLayout_, entry);
    if (n == kBadField) throw std::logic_error("Datensatz passt nicht zur Tabellendefinition");
    return n;
}

uint64_t Schema::sequenceOf(std::string_view entry) const {
    const auto* p = reinterpret_cast<const unsigned char*>(entry.data());
    size_t pos = 0;
    for (size_t i = 0; i + 1 < recordLayout_.keyFields; ++i) {
        pos += fieldLength(p + pos, entry.size() - pos, recordLayout_.kinds[i]);
    }
    size_t n = fieldLength(p + pos, entry.size() - pos, Kind::Int);
    return static_cast<uint64_t>(intOf(p + pos, n, Kind::Int));
}

std::string Schema::indexPrefix(const IndexInfo& ix, const Row& values, int count) const {
    std::string out;
    size_t n = count < 0 ? ix.fields.size() : static_cast<size_t>(count);
    for (size_t i = 0; i < n; ++i) {
        encodeKeyValue(out, ix.fields[i], values[static_cast<size_t>(ix.fields[i])], ix.options);
    }
    return out;
}

std::string Schema::indexEntry(const IndexInfo& ix, const Row& values, std::string_view key) const {
    std::string out = indexPrefix(ix, values);
    if (!coversClusterField(ix)) {
        out.append(key);
        return out;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(key.data());
    size_t pos = 0;
    for (size_t i = 0; i + 1 < recordLayout_.keyFields; ++i) {
        const size_t n = fieldLength(p + pos, key.size() - pos, recordLayout_.kinds[i]);
        if (n == kBadField) throw std::logic_error("Clusterschlüssel beschädigt");
        if (coveringPosition(ix, cluster[i]) < 0) out.append(key.substr(pos, n));
        pos += n;
    }
    out.append(key.substr(pos));  // the sequence number
    return out;
}

std::string_view Schema::clusterKeyOfIndexEntry(const IndexInfo& ix, std::string_view entry,
                                                std::string& scratch) const {
    const auto* p = reinterpret_cast<const unsigned char*>(entry.data());
    auto kindAt = [&](size_t i) {
        return kindFor(fields[static_cast<size_t>(ix.fields[i])].type, ix.options & kDescending);
    };
    // Index field i, or everything after the index fields for i = their count.
    auto indexField = [&](size_t i) -> std::string_view {
        size_t pos = 0;
        for (size_t j = 0; j <= i && j < ix.fields.size(); ++j) {
            const size_t n = fieldLength(p + pos, entry.size() - pos, kindAt(j));
            if (n == kBadField) throw std::logic_error("Indexeintrag beschädigt");
            if (j == i) return entry.substr(pos, n);
            pos += n;
        }
        return entry.substr(pos);
    };
    std::string_view rest = indexField(ix.fields.size());
    if (!coversClusterField(ix)) return rest;
    // The cluster fields the index holds anyway are taken from the index fields, the others
    // follow them in cluster order.
    scratch.clear();
    const auto* r = reinterpret_cast<const unsigned char*>(rest.data());
    size_t pos = 0;
    for (size_t i = 0; i + 1 < recordLayout_.keyFields; ++i) {
        if (int at = coveringPosition(ix, cluster[i]); at >= 0) {
            scratch.append(indexField(static_cast<size_t>(at)));
            continue;
        }
        const size_t n = fieldLength(r + pos, rest.size() - pos, recordLayout_.kinds[i]);
        if (n == kBadField) throw std::logic_error("Indexeintrag beschädigt");
        scratch.append(rest.substr(pos, n));
        pos += n;
    }
    scratch.append(rest.substr(pos));
    return scratch;
}

}  // namespace mv32::engine::store
