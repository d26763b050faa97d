// A record of the table as the expressions of a query see it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Field.h"
#include "engine/sql/Eval.h"
#include "engine/store/Coding.h"
#include "engine/store/TableStore.h"

namespace mv32::engine::sql {

// Field values are decoded on first use.
class RecordRow : public RowContext {
public:
    explicit RecordRow(store::TableStore& s)
        : store_(s),
          schema_(s.schema()),
          values_(s.schema().fields.size()),
          stamps_(s.schema().fields.size(), 0) {}

    // The entry is split into fields only as far as the fields read need it: a condition on
    // the first fields of a long record does not look at the rest.
    void set(std::string_view entry) {
        entry_ = entry;
        large_ = nullptr;
        split_ = 0;
        ++stamp_;
    }
    void own(std::string_view entry) {
        owned_.assign(entry);
        set(owned_);
    }

    // Memo and blob contents read together with the record (by field; absent: read on use).
    void setLarge(const std::vector<std::optional<std::string>>* large) { large_ = large; }

    Value raw(int f) {
        const FieldDef& d = schema_.fields[static_cast<size_t>(f)];
        splitTo(schema_.entryPosition(f));
        if (isLarge(d.type)) {
            store::BlobRef ref = schema_.refAt(entry_, ends_, f);
            if (!ref.id) return Value();
            if (large_ && (*large_)[static_cast<size_t>(f)]) {
                return Value(*(*large_)[static_cast<size_t>(f)]);
            }
            auto scope = store_.readScope();
            return Value(store_.readBlob(ref));
        }
        return schema_.valueAt(entry_, ends_, f);
    }

    std::string_view entry() const { return entry_; }
    bool prefetched(int f) const { return large_ && (*large_)[static_cast<size_t>(f)]; }

    store::BlobRef ref(int f) {
        splitTo(schema_.entryPosition(f));
        return schema_.refAt(entry_, ends_, f);
    }

    const SqlValue& column(int f) override {
        auto i = static_cast<size_t>(f);
        if (stamps_[i] == stamp_) return values_[i];
        stamps_[i] = stamp_;
        SqlValue& out = values_[i];
        size_t pos = schema_.entryPosition(f);
        splitTo(pos);
        store::Kind k = kinds_[pos];
        uint32_t start = pos ? ends_[pos - 1] : 0;
        const auto* p = reinterpret_cast<const unsigned char*>(entry_.data()) + start;
        if (k == store::Kind::BlobRef) {
            Value v = raw(f);
            out.type = SqlValue::Type::Text;
            out.s = v.isText() ? v.asText() : std::string();
        } else if (store::isBlankField(p, k)) {
            if (k == store::Kind::Int) {
                out.type = SqlValue::Type::Null;
            } else {
                out.type = SqlValue::Type::Text;
                out.s.clear();
            }
        } else if (k == store::Kind::Int) {
            out.type = SqlValue::Type::Int;
            out.i = store::intOf(p, ends_[pos] - start, k);
        } else {
            out.type = SqlValue::Type::Text;
            out.s.assign(store::textView(p, ends_[pos] - start));
        }
        return out;
    }
    const SqlValue& aggregate(int) override { throw std::logic_error("Aggregat ohne Gruppe"); }

private:
    void splitTo(size_t pos) {
        const auto* base = reinterpret_cast<const unsigned char*>(entry_.data());
        while (split_ <= pos) {
            uint32_t start = split_ ? ends_[split_ - 1] : 0;
            size_t n = store::fieldLength(base + start, entry_.size() - start, kinds_[split_]);
            if (n == store::kBadField) {
                store::throwCorrupt(store_.base() + ".db", "ein Datensatz passt nicht zur Tabelle");
            }
            ends_[split_++] = static_cast<uint32_t>(start + n);
        }
    }

    store::TableStore& store_;
    const store::Schema& schema_;
    std::string_view entry_;
    const std::vector<std::optional<std::string>>* large_ = nullptr;
    std::string owned_;
    const std::vector<store::Kind>& kinds_ = schema_.recordLayout().kinds;
    std::vector<uint32_t> ends_ = std::vector<uint32_t>(kinds_.size());
    size_t split_ = 0;  // fields of the entry whose end is known
    std::vector<SqlValue> values_;
    std::vector<uint64_t> stamps_;
    uint64_t stamp_ = 1;
};

inline Value toValue(const SqlValue& v) {
    switch (v.type) {
        case SqlValue::Type::Int:
            return Value(v.i);
        case SqlValue::Type::Text:
            return Value(v.s);
        default:
            return Value();
    }
}

}  // namespace mv32::engine::sql
