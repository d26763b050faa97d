// Index creation, rebuilding, packing, emptying and the integrity check of a table.
//
// Rebuilds read the old tree completely into a Sorter before the file is reset, then write the
// new tree in order with a TreeBuilder straight into the log. Each operation is one transaction:
// after a crash the table is as before or as after it.
#include <algorithm>
#include <set>

#include "engine/EngineError.h"
#include "engine/PathNames.h"
#include "engine/Text.h"
#include "engine/store/Coding.h"
#include "engine/store/HeaderBlocks.h"
#include "engine/store/Sorter.h"
#include "engine/store/TableStore.h"
#include "engine/store/TrigramIndex.h"

namespace mv32::engine::store {

namespace {

constexpr double kPackFill = 0.95;

std::string fileName(const std::string& path) {
    return paths::fileNameOf(path);
}

// Length of the first n fields of an entry.
size_t prefixLength(const Layout& layout, std::string_view e, size_t n) {
    const auto* p = reinterpret_cast<const unsigned char*>(e.data());
    size_t pos = 0;
    for (size_t i = 0; i < n; ++i) pos += fieldLength(p + pos, e.size() - pos, layout.kinds[i]);
    return pos;
}

}  // namespace

void TableStore::rebuildRecords(const std::vector<int>& cluster, bool checkDuplicates) {
    Schema next = schema_;
    next.cluster = cluster;
    next.finish();
    Sorter sorter(*fs_, base_);
    Row values;
    std::vector<BlobRef> refs;
    TreePos pos;
    {
        StreamingPass pass(*records_);
        for (bool ok = records_->first(pos); ok; ok = records_->next(pos)) {
            std::string_view e = records_->entry(pos);
            uint64_t seq = schema_.sequenceOf(e);
            schema_.decodeRecord(e, values, refs);
            sorter.add(next.encodeRecord(values, refs, checkDuplicates ? 0 : seq));
        }
        pos.path.clear();
    }
    sorter.finish();
    schema_ = std::move(next);
    pager_->resetFile(kDbFile);
    recordCodec_ = std::make_unique<NodeCodec>(&schema_.recordLayout());
    pager_->setCodec(kDbFile, recordCodec_.get());
    records_ = std::make_unique<BTree>(*pager_, kDbFile, *recordCodec_);
    TreeBuilder builder(*pager_, kDbFile, *recordCodec_, kPackFill);
    const Layout& layout = schema_.recordLayout();
    std::string prev, e;
    size_t fields = layout.keyFields - 1;
    while (sorter.next(e)) {
        if (checkDuplicates && !prev.empty()) {
            size_t a = prefixLength(layout, prev, fields);
            if (a == prefixLength(layout, e, fields) && prev.compare(0, a, e, 0, a) == 0) {
                throw EngineError(ErrorKind::KeyViolation,
                                  "Schlüsselverletzung: Die Tabelle " + displayName() +
                                      " enthält Datensätze mit gleichem Schlüssel; der "
                                      "Primärindex wurde nicht angelegt.");
            }
        }
        builder.add(e);
        prev.swap(e);
    }
    uint64_t n = 0;
    uint32_t root = builder.finish(&n);
    auto& h = pager_->mutableHeader(kDbFile);
    h.root = root;
    h.entries = n;
}

void TableStore::rebuildIndex(const IndexInfo& ix, bool fresh) {
    Sorter sorter(*fs_, base_);
    Row values;
    std::vector<BlobRef> refs;
    TreePos pos;
    {
        StreamingPass pass(*records_);
        for (bool ok = records_->first(pos); ok; ok = records_->next(pos)) {
            std::string_view e = records_->entry(pos);
            schema_.decodeRecord(e, values, refs);
            sorter.add(schema_.indexEntry(ix, values, e.substr(0, schema_.clusterKeyLength(e))));
        }
        pos.path.clear();
    }
    sorter.finish();
    Layout layout = schema_.indexLayout(ix);
    NodeCodec codec(&layout);
    if (fresh) {
        pager_->createFile(ix.fileNo, kXgMagic, pager_->header(kDbFile).tableId, indexBlock(ix),
                           false);
    } else {
        pager_->resetFile(ix.fileNo);
    }
    pager_->setCodec(ix.fileNo, &codec);
    TreeBuilder builder(*pager_, ix.fileNo, codec, kPackFill);
    std::string prev, e;
    while (sorter.next(e)) {
        if ((ix.options & kUnique) && !prev.empty()) {
            size_t a = prefixLength(layout, prev, ix.fields.size());
            if (a == prefixLength(layout, e, ix.fields.size()) &&
                prev.compare(0, a, e, 0, a) == 0) {
                throw EngineError(ErrorKind::KeyViolation,
                                  "Schlüsselverletzung: Der eindeutige Index " + quoted(ix.name) +
                                      " kann nicht angelegt werden, weil die Tabelle " +
                                      displayName() + " doppelte Werte enthält.");
            }
        }
        builder.add(e);
        prev.swap(e);
    }
    uint64_t n = 0;
    uint32_t root = builder.finish(&n);
    auto& h = pager_->mutableHeader(ix.fileNo);
    h.root = root;
    h.entries = n;
    // The codec lives only in this function; the commit needs none for streamed pages.
    pager_->setCodec(ix.fileNo, nullptr);
}

void TableStore::addPrimary(const std::vector<int>& fields) {
    requireExclusive("Das Anlegen des Primärindex");
    if (primary_) {
        throw EngineError(ErrorKind::Exists,
                          "Die Tabelle " + displayName() + " hat bereits einen Primärindex.");
    }
    std::set<int> seen;
    for (int f : fields) {
        if (f < 0 || static_cast<size_t>(f) >= schema_.fields.size() ||
            isLarge(schema_.fields[static_cast<size_t>(f)].type) || !seen.insert(f).second) {
            throw EngineError(
                ErrorKind::Usage,
                "Ungültige Felder für den Primärindex der Tabelle " + displayName() + ".");
        }
    }
    if (fields.empty()) {
        throw EngineError(ErrorKind::Usage,
                          "Der Primärindex der Tabelle " + displayName() + " braucht Felder.");
    }
    write([&] {
        if (schema_.cluster == fields) {
            // Already in key order: only the uniqueness is to be checked.
            const Layout& layout = schema_.recordLayout();
            size_t n = layout.keyFields - 1;
            std::string prev;
            TreePos pos;
            for (bool ok = records_->first(pos); ok; ok = records_->next(pos)) {
                std::string_view e = records_->entry(pos);
                size_t len = prefixLength(layout, e, n);
                if (!prev.empty() && prev == e.substr(0, len)) {
                    throw EngineError(ErrorKind::KeyViolation,
                                      "Schlüsselverletzung: Die Tabelle " + displayName() +
                                          " enthält Datensätze mit gleichem Schlüssel; der "
                                          "Primärindex wurde nicht angelegt.");
                }
                prev.assign(e.substr(0, len));
            }
        } else {
            std::vector<IndexInfo> indexes = schema_.indexes;
            rebuildRecords(fields, true);
            for (auto& ix : indexes) rebuildIndex(ix, false);
        }
        pager_->createFile(kPxFile, kPxMagic, pager_->header(kDbFile).tableId, keyBlock(fields),
                           false);
    });
    loadFiles();
}

void TableStore::dropPrimary() {
    requireExclusive("Das Löschen des Primärindex");
    if (!primary_) {
        throw EngineError(ErrorKind::NotFound,
                          "Die Tabelle " + displayName() + " hat keinen Primärindex.");
    }
    write([&] { pager_->deleteFile(kPxFile); });
    loadFiles();
}

void TableStore::addIndex(const std::string& name, const std::vector<int>& fields,
                          unsigned options) {
    requireExclusive("Das Anlegen eines Index");
    if (schema_.findIndex(name)) {
        throw EngineError(ErrorKind::Exists, "Der Index " + quoted(name) +
                                                 " existiert bereits in der Tabelle " +
                                                 displayName() + ".");
    }
    if (name.empty() || name.size() > 64 || fields.empty()) {
        throw EngineError(ErrorKind::Usage,
                          "Ungültige Indexdefinition für die Tabelle " + displayName() + ".");
    }
    for (int f : fields) {
        if (f < 0 || static_cast<size_t>(f) >= schema_.fields.size() ||
            isLarge(schema_.fields[static_cast<size_t>(f)].type)) {
            throw EngineError(ErrorKind::Usage,
                              "Memo- und Blobfelder können nicht indiziert werden.");
        }
    }
    std::set<uint32_t> used;
    for (auto& ix : schema_.indexes) used.insert(ix.fileNo);
    uint32_t no = kFirstIndexFile;
    while (used.count(no)) ++no;
    IndexInfo ix{name, fields, options & (kCaseInsensitive | kDescending | kUnique), no};
    write([&] {
        rebuildIndex(ix, true);
        schema_.indexes.push_back(ix);
        live_.clear();
    });
    loadFiles();
}

void TableStore::dropIndex(const std::string& name) {
    requireExclusive("Das Löschen eines Index");
    const IndexInfo* ix = schema_.findIndex(name);
    if (!ix || name.empty()) {
        throw EngineError(
            ErrorKind::NotFound,
            "Der Index " + quoted(name) + " existiert nicht in der Tabelle " + displayName() + ".");
    }
    uint32_t no = ix->fileNo;
    std::string exact = ix->name;
    write([&] {
        pager_->deleteFile(no);
        live_.clear();
        schema_.indexes.erase(std::remove_if(schema_.indexes.begin(), schema_.indexes.end(),
                                             [&](const IndexInfo& i) { return i.name == exact; }),
                              schema_.indexes.end());
    });
    loadFiles();
}

void TableStore::regenerate() {
    requireExclusive("Das Neuaufbauen der Indizes");
    write([&] {
        std::vector<IndexInfo> indexes = schema_.indexes;
        for (auto& ix : indexes) rebuildIndex(ix, !pager_->has(ix.fileNo));
    });
    loadFiles();
    try {
        rebuildTrigrams();
    } catch (...) {
        // A build that failed (a full disk) leaves none of its temporary file behind.
        try {
            fs_->remove(base_ + kTrigramTempExtension);
        } catch (const EngineError&) {  // the first failure is the one to report
        }
        throw;
    }
}

void TableStore::repairIndexes() {
    std::string names;
    for (auto* ix : missing_) {
        names += (names.empty() ? "" : ", ") + quoted(ix->name) + " (" +
                 quoted(fileName(pager_->pathOf(ix->fileNo))) + ")";
    }
    if (primaryMissing_) {
        names += std::string(names.empty() ? "" : ", ") + "der Primärindex (" +
                 quoted(fileName(pager_->pathOf(kPxFile))) + ")";
    }
    const bool several = missing_.size() + (primaryMissing_ ? 1 : 0) > 1;
    const std::string what =
        std::string(several ? "Die Indizes " : "Der Index ") + names + " der Tabelle " +
        displayName() +
        (several ? " fehlten oder gehörten nicht zu ihr" : " fehlte oder gehörte nicht zu ihr");
    if (pager_->readOnly()) {
        notices_.push_back(what + "; hier kann " + (several ? "sie" : "er") +
                           " nicht neu aufgebaut werden: " + pager_->readOnlyReason() + ".");
        return;
    }
    try {
        std::vector<IndexInfo> indexes;
        for (auto* ix : missing_) indexes.push_back(*ix);
        const bool primary = primaryMissing_;
        write([&] {
            for (auto& ix : indexes) rebuildIndex(ix, true);
            if (primary) {
                pager_->createFile(kPxFile, kPxMagic, pager_->header(kDbFile).tableId,
                                   keyBlock(schema_.cluster), false);
            }
        });
        notices_.push_back(what +
                           (several ? "; sie wurden neu aufgebaut." : "; er wurde neu aufgebaut."));
    } catch (const EngineError& e) {
        if (pager_->failed()) throw;
        notices_.push_back(what + " und konnte" + (several ? "n" : "") +
                           " nicht neu aufgebaut werden: " + e.what());
    }
    loadFiles();
}

void TableStore::pack() {
    requireExclusive("Das Packen");
    write([&] {
        if (blobs_) {
            Sorter sorter(*fs_, base_);
            TreePos pos;
            for (bool ok = blobs_->first(pos); ok; ok = blobs_->next(pos))
                sorter.add(blobs_->entry(pos));
            pos.path.clear();
            sorter.finish();
            pager_->resetFile(kMbFile);
            TreeBuilder builder(*pager_, kMbFile, *blobCodec_, kPackFill);
            std::string e;
            while (sorter.next(e)) builder.add(e);
            uint64_t n = 0;
            uint32_t root = builder.finish(&n);
            auto& h = pager_->mutableHeader(kMbFile);
            h.root = root;
            h.entries = n;
        }
        std::vector<IndexInfo> indexes = schema_.indexes;
        rebuildRecords(schema_.cluster, false);
        for (auto& ix : indexes) rebuildIndex(ix, false);
    });
    loadFiles();
}

void TableStore::empty() {
    requireExclusive("Das Leeren");
    write([&] {
        std::vector<uint32_t> files{kDbFile};
        if (blobs_) files.push_back(kMbFile);
        for (auto* ix : live_) files.push_back(ix->fileNo);
        for (uint32_t no : files) {
            pager_->resetFile(no);
            if (no >= kFirstIndexFile) {
                // Index files get their codec back from loadFiles; a fresh root needs none.
            }
            auto root = pager_->newNode(no, 0);
            auto& h = pager_->mutableHeader(no);
            h.root = root->page;
            h.entries = 0;
        }
    });
    loadFiles();
}

CheckReport TableStore::check() {
    if (!pager_) {
        throw EngineError(ErrorKind::Usage,
                          "Die Tabelle " + displayName() + " ist nicht geöffnet.");
    }
    ReadScope scope(*this);
    CheckReport report;
    auto checkFile = [&](uint32_t no, BTree* tree) {
        std::vector<uint32_t> pages;
        if (tree) tree->check(&pages);
        std::vector<uint32_t> free = pager_->freePages(no);
        pages.insert(pages.end(), free.begin(), free.end());
        std::sort(pages.begin(), pages.end());
        uint32_t count = pager_->header(no).pageCount;
        const std::string path = pager_->pathOf(no);
        for (size_t i = 0; i < pages.size(); ++i) {
            if (pages[i] == 0 || pages[i] >= count)
                throwCorrupt(path, "Seitennummer außerhalb der Datei");
            if (i > 0 && pages[i] == pages[i - 1]) {
                throwCorrupt(path, "Seite " + std::to_string(pages[i]) + " ist doppelt belegt");
            }
        }
        if (pages.size() + 1 != count) {
            throwCorrupt(path, std::to_string(count - 1 - pages.size()) + " Seiten sind verloren");
        }
        report.pages += count;
    };
    report.records = records_->count();
    checkFile(kDbFile, records_.get());
    if (blobs_) checkFile(kMbFile, blobs_.get());

    // Every index holds exactly the entries its records call for.
    for (auto* ix : live_) {
        BTree& t = indexTree(*ix);
        checkFile(ix->fileNo, &t);
        Sorter expected(*fs_, base_);
        Row values;
        std::vector<BlobRef> refs;
        TreePos pos;
        for (bool ok = records_->first(pos); ok; ok = records_->next(pos)) {
            std::string_view e = records_->entry(pos);
            schema_.decodeRecord(e, values, refs);
            expected.add(schema_.indexEntry(*ix, values, e.substr(0, schema_.clusterKeyLength(e))));
        }
        expected.finish();
        TreePos ip;
        bool ok = t.first(ip);
        std::string want;
        while (expected.next(want)) {
            if (!ok || t.entry(ip) != want) {
                throwCorrupt(pager_->pathOf(ix->fileNo),
                             "Index " + ix->name + " passt nicht zu den Datensätzen");
            }
            ok = t.next(ip);
        }
        if (ok)
            throwCorrupt(pager_->pathOf(ix->fileNo),
                         "Index " + ix->name + " hat überzählige Einträge");
        report.indexes.push_back(ix->name);
    }

    // Memo data: every reference leads to complete data, and no data is without reference.
    if (blobs_) {
        std::vector<uint64_t> referenced;
        Row values;
        std::vector<BlobRef> refs;
        TreePos pos;
        for (bool ok = records_->first(pos); ok; ok = records_->next(pos)) {
            std::string entry(records_->entry(pos));
            schema_.decodeRecord(entry, values, refs);
            for (auto& r : refs) {
                if (!r.id) continue;
                readBlob(r);
                if (r.length > 0) referenced.push_back(r.id);  // an empty text has no chunks
            }
        }
        std::sort(referenced.begin(), referenced.end());
        std::vector<uint64_t> stored;
        TreePos bp;
        for (bool ok = blobs_->first(bp); ok; ok = blobs_->next(bp)) {
            std::string_view e = blobs_->entry(bp);
            const auto* p = reinterpret_cast<const unsigned char*>(e.data());
            size_t n = fieldLength(p, e.size(), Kind::Int);
            auto id = static_cast<uint64_t>(intOf(p, n, Kind::Int));
            if (stored.empty() || stored.back() != id) stored.push_back(id);
        }
        if (stored != referenced) throwCorrupt(pager_->pathOf(kMbFile), "Memodaten ohne Datensatz");
    }
    checkTrigrams(report);
    return report;
}

}  // namespace mv32::engine::store
