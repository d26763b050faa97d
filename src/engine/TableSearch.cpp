// Searching a table: locate by field values (through a fitting index or one pass) and
// find nearest on the current index.
#include <algorithm>

#include "engine/EngineError.h"
#include "engine/Table.h"
#include "engine/Text.h"
#include "engine/store/BTree.h"
#include "engine/store/TableStore.h"

namespace mv32::engine {

using store::BlobRef;
using store::TreePos;

// --- Searching -----------------------------------------------------------------------------

bool Table::matches(const std::vector<int>& fields, const std::vector<Value>& values,
                    unsigned options, const Row& rec) const {
    for (size_t k = 0; k < fields.size(); ++k) {
        const Value& want = values[k];
        const Value& have = rec[static_cast<size_t>(fields[k])];
        if (want.isBlank() || have.isBlank()) {
            if (want.isBlank() != have.isBlank()) return false;
            continue;
        }
        if (have.isInt()) {
            if (!want.isInt() || want.asInt() != have.asInt()) return false;
            continue;
        }
        std::string a = have.asText();
        std::string b = want.isInt() ? std::to_string(want.asInt()) : want.asText();
        if (options & LocateCaseInsensitive) {
            a = text::fold(a);
            b = text::fold(b);
        }
        if (options & LocatePartialKey) {
            if (a.compare(0, b.size(), b) != 0) return false;
        } else if (a != b) {
            return false;
        }
    }
    return true;
}

bool Table::locate(const std::string& fieldList, const std::vector<Value>& valuesIn,
                   unsigned options) {
    requireActive();
    postPending();
    Announce moved{*this, CursorEvent::Moved};
    if (fieldList != lastLocateFields_) {
        lastLocateIdx_ = parseFields(fieldList);
        lastLocateFields_ = fieldList;
    }
    const std::vector<int>& fields = lastLocateIdx_;
    if (fields.size() != valuesIn.size()) {
        throw EngineError(ErrorKind::Usage, "Die Suche in der Tabelle " + displayName() +
                                                " nennt " + std::to_string(fields.size()) +
                                                " Felder, aber " + std::to_string(valuesIn.size()) +
                                                " Werte.");
    }
    // Numbers given as text are compared as numbers; a text that is no number finds nothing.
    std::vector<Value> converted;
    bool convert_ = false;
    for (size_t k = 0; k < fields.size(); ++k) {
        bool num = isInteger(fieldDef(fields[k]).type);
        if ((num && valuesIn[k].isText()) || (!num && valuesIn[k].isInt())) convert_ = true;
    }
    if (convert_) {
        for (size_t k = 0; k < fields.size(); ++k) {
            try {
                Value v = valuesIn[k];
                if (isInteger(fieldDef(fields[k]).type))
                    v = convert(fields[k], v);
                else if (v.isInt())
                    v = Value(std::to_string(v.asInt()));
                converted.push_back(std::move(v));
            } catch (const EngineError&) {
                return false;
            }
        }
    }
    const std::vector<Value>& values = convert_ ? converted : valuesIn;
    auto scope = store_->readScope();
    const auto& schema = store_->schema();
    bool ci = options & LocateCaseInsensitive;
    bool partial = options & LocatePartialKey;
    Row rec;
    std::vector<BlobRef> refs;

    // An index fits when its leading fields are the searched ones and it compares case the
    // way the search does. Equality on all of them is one seek; a partial search reads the
    // records sharing the beginning of the first field in index order.
    auto tryIndex = [&](const store::IndexInfo* ix, const std::vector<int>& ixFields,
                        unsigned ixOptions, bool* found) {
        if (ixFields.size() < fields.size()) return false;
        size_t where[64];
        if (fields.size() > 64) return false;
        for (size_t k = 0; k < fields.size(); ++k) {
            auto w = static_cast<size_t>(std::find(fields.begin(), fields.end(), ixFields[k]) -
                                         fields.begin());
            if (w == fields.size()) return false;
            where[k] = w;
        }
        store::BTree& t = ix ? store_->indexTree(*ix) : store_->records();
        std::string prefix;
        prefix.reserve(256);  // a key of file names fits without growing
        size_t lead = partial ? 1 : fields.size();
        for (size_t k = 0; k < lead; ++k)
            schema.encodeKeyValue(prefix, ixFields[k], values[where[k]], ixOptions);
        if (partial && values[where[0]].isText()) prefix.pop_back();  // any longer text follows
        TreePos p;
        for (bool ok = t.seek(p, prefix); ok; ok = t.next(p)) {
            std::string_view e = t.entry(p);
            if (e.compare(0, prefix.size(), prefix) != 0) break;
            if (!partial && ix == ord()) {
                // Found in the current order's own tree: that is the position.
                *pos_ = std::move(p);
                loadCurrent();
                bof_ = eof_ = false;
                posGen_ = store_->generation();
                posMod_ = store_->modCount();
                *found = true;
                return true;
            }
            std::string scratch;
            std::string cluster(ix ? schema.clusterKeyOfIndexEntry(*ix, e, scratch)
                                   : e.substr(0, schema.clusterKeyLength(e)));
            std::string entry;
            if (ix) {
                TreePos rp;
                if (!store_->records().find(rp, cluster)) break;
                entry.assign(store_->records().entry(rp));
            } else {
                entry.assign(e);
            }
            bool hit = !partial;
            if (!hit) {
                schema.decodeRecord(entry, rec, refs);
                hit = matches(fields, values, options, rec);
            }
            if (hit) {
                if (!ord()) {
                    setCurrent(std::move(entry), cluster);
                } else {
                    if (!partial) schema.decodeRecord(entry, rec, refs);
                    positionAt(orderKeyFor(rec, cluster));
                }
                *found = true;
                return true;
            }
        }
        *found = false;
        return true;
    };
    bool found = false;
    if (!ci && !schema.cluster.empty() && tryIndex(nullptr, schema.cluster, 0, &found))
        return found;
    for (auto* ix : store_->liveIndexes()) {
        if (bool(ix->options & store::kCaseInsensitive) == ci &&
            tryIndex(ix, ix->fields, ix->options, &found)) {
            return found;
        }
    }
    // No index fits: one pass over the records.
    TreePos p;
    store::BTree& recs = store_->records();
    for (bool ok = recs.first(p); ok; ok = recs.next(p)) {
        std::string_view e = recs.entry(p);
        schema.decodeRecord(e, rec, refs);
        if (matches(fields, values, options, rec)) {
            std::string cluster(e.substr(0, schema.clusterKeyLength(e)));
            positionAt(orderKeyFor(rec, cluster));
            return true;
        }
    }
    return false;
}

void Table::findNearest(const std::vector<Value>& values) {
    requireActive();
    postPending();
    Announce moved{*this, CursorEvent::Moved};
    auto scope = store_->readScope();
    const auto& schema = store_->schema();
    const std::vector<int>& keyFields = ord() ? ord()->fields : schema.cluster;
    unsigned opts = ord() ? ord()->options : 0;
    if (keyFields.empty()) {
        throw EngineError(ErrorKind::Usage, "Die Tabelle " + displayName() +
                                                " hat keinen Index, in dem gesucht werden kann.");
    }
    std::string prefix;
    for (size_t k = 0; k < values.size() && k < keyFields.size(); ++k) {
        Value v = values[k];
        try {
            v = convert(keyFields[k], v);
        } catch (const EngineError&) {
            v = Value();
        }
        schema.encodeKeyValue(prefix, keyFields[k], v, opts);
        if (k + 1 == values.size() && v.isText() && !(opts & store::kDescending)) prefix.pop_back();
    }
    store::BTree& t = tree();
    if (t.seek(*pos_, prefix)) {
        loadCurrent();
        bof_ = eof_ = false;
    } else if (t.last(*pos_)) {
        loadCurrent();
        bof_ = false;
        eof_ = true;
    } else {
        haveCurrent_ = false;
        bof_ = eof_ = true;
    }
    posGen_ = store_->generation();
    posMod_ = store_->modCount();
}

}  // namespace mv32::engine
