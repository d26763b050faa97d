// The table's trigram index: building it from the records and finding it current.
//
// The index is rebuilt whole rather than kept up to date post by post: a record's position in
// the primary order, which the lists hold, moves with every insert before it, so that one new
// file would change most lists. Those who change the table in bulk (a scan) rebuild it when
// they are done; until then a search finds it stale and reads every record.
#include "engine/EngineError.h"
#include "engine/Text.h"
#include "engine/store/TableStore.h"

namespace mv32::engine::store {

void TableStore::buildTrigrams(int field) {
    requireExclusive("Der Aufbau des Trigrammindex");
    if (bulk_) throw std::logic_error("Trigrammindex während einer Massenänderung");
    const FieldDef& def = schema_.fields.at(static_cast<size_t>(field));
    if (def.type != FieldType::Text) {
        throw EngineError(ErrorKind::Usage, "Ein Trigrammindex braucht ein Textfeld, " +
                                                quoted(def.name) + " ist keines.");
    }
    ReadScope scope(*this);
    const FileHeader& h = pager_->header(kDbFile);
    const TrigramStamp stamp{h.tableId, h.counter, records_->count(), def.name};
    trigrams_.reset();
    TreePos pos;
    bool started = false;
    {
        StreamingPass pass(*records_);
        TrigramIndex::build(*fs_, trigramPath(), stamp, [&](std::string& out) {
            const bool more = started ? records_->next(pos) : records_->first(pos);
            started = true;
            if (!more) return false;
            Value v = schema_.fieldValue(records_->entry(pos), field);
            out = v.isText() ? text::upper(v.asText()) : std::string();
            return true;
        });
        pos.path.clear();
    }
}

const TrigramIndex* TableStore::trigrams() {
    const FileHeader& h = pager_->header(kDbFile);
    auto current = [&](const TrigramIndex& ix) {
        const TrigramStamp& s = ix.stamp();
        return s.tableId == h.tableId && s.counter == h.counter && s.records == records_->count();
    };
    if (trigrams_ && current(*trigrams_)) return trigrams_.get();
    // Not opened yet, or built again since by another handle: read the file as it is now.
    trigrams_ = TrigramIndex::open(*fs_, trigramPath());
    if (trigrams_ && !current(*trigrams_)) trigrams_.reset();
    return trigrams_.get();
}

}  // namespace mv32::engine::store
