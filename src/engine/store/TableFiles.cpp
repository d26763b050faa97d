// The file sets of tables as wholes: which files belong to a table, creating and dropping a
// table, copying it and giving it another name. Each holds the tables it touches exclusively
// (or reads under the read lock), so that no handle sees a table half made or half replaced.
#include <algorithm>
#include <set>

#include "engine/EngineError.h"
#include "engine/ReplacingFile.h"
#include "engine/Text.h"
#include "engine/store/HeaderBlocks.h"
#include "engine/store/PagerShared.h"
#include "engine/store/TableStore.h"

namespace mv32::engine::store {

namespace {

std::string lowerExtension(std::string ext) {
    for (char& c : ext) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return ext;
}

void validateFields(const std::vector<FieldDef>& fields, const std::string& table) {
    if (fields.empty() || fields.size() > kMaxFields) {
        throw EngineError(ErrorKind::Usage,
                          "Die Tabelle " + quoted(table) + " braucht zwischen 1 und 255 Felder.");
    }
    std::set<std::string> names;
    for (auto& f : fields) {
        bool control = std::any_of(f.name.begin(), f.name.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        });
        if (f.name.empty() || f.name.size() > kMaxFieldNameLength || control ||
            f.name.find_first_of(";\"") != std::string::npos) {
            throw EngineError(ErrorKind::Usage, "Der Feldname " + quoted(f.name) + " der Tabelle " +
                                                    quoted(table) + " ist ungültig.");
        }
        if (!names.insert(text::upper(f.name)).second) {
            throw EngineError(ErrorKind::Usage, "Das Feld " + quoted(f.name) +
                                                    " ist in der Tabelle " + quoted(table) +
                                                    " doppelt definiert.");
        }
        if (f.type == FieldType::Text && (f.width < 1 || f.width > kMaxTextWidth)) {
            throw EngineError(ErrorKind::Usage, "Das Textfeld " + quoted(f.name) +
                                                    " braucht eine Breite von 1 bis 4096 Zeichen.");
        }
        if (static_cast<int>(f.type) < 1 || static_cast<int>(f.type) > 6) {
            throw EngineError(ErrorKind::Usage,
                              "Das Feld " + quoted(f.name) + " hat einen unbekannten Typ.");
        }
    }
}

}  // namespace

std::vector<std::string> TableStore::filesOf(FileSystem& fs, const std::string& base) {
    std::vector<std::string> out;
    std::string dir = pager::dirOf(base);
    std::string stem = pager::fileNameOf(base) + ".";
    std::vector<std::string> names;
    try {
        names = fs.list(dir);
    } catch (const EngineError&) {
        return out;
    }
    for (auto& n : names) {
        if (n.size() <= stem.size() || n.compare(0, stem.size(), stem) != 0) continue;
        // Extensions in any letter case: tables copied from Windows spell them "CAT.PX".
        std::string ext = lowerExtension(n.substr(stem.size() - 1)).substr(1);
        bool ours = ext == "db" || ext == "px" || ext == "mb" || ext == "wal" || ext == "tri" ||
                    ext == "trn";
        if (!ours && (ext.rfind("xg", 0) == 0 || ext.rfind("srt", 0) == 0)) {
            size_t digits = ext.rfind("xg", 0) == 0 ? 2 : 3;
            ours = ext.size() > digits &&
                   std::all_of(ext.begin() + static_cast<ptrdiff_t>(digits), ext.end(),
                               [](char c) { return c >= '0' && c <= '9'; });
        }
        if (ours) out.push_back(dir + n);
    }
    return out;
}

// --- Creating and dropping ----------------------------------------------------------------

void TableStore::create(const std::shared_ptr<FileSystem>& fs, const std::string& base,
                        const std::vector<FieldDef>& fields) {
    validateFields(fields, pager::fileNameOf(base) + ".db");
    Schema schema;
    schema.fields = fields;
    schema.finish();
    Pager p(fs, base);
    p.openDbFile(true);
    p.lockOpen(true);
    // Whatever an earlier table of this name left in its log is written first, so that a
    // failed creation leaves that table as it was.
    p.recoverAll();
    uint64_t tableId = randomId();
    for (auto& path : filesOf(*fs, base)) {
        std::string ext = lowerExtension(path.substr(base.size()));
        if (ext == ".px")
            p.deleteFile(kPxFile);
        else if (ext == ".mb")
            p.deleteFile(kMbFile);
        else if (ext.rfind(".xg", 0) == 0) {
            p.deleteFile(kFirstIndexFile + static_cast<uint32_t>(std::stoul(ext.substr(3))));
        }
    }
    NodeCodec recordCodec(&schema.recordLayout());
    NodeCodec blobCodec(&Schema::blobLayout());
    p.createFile(kDbFile, kDbMagic, tableId, schema.serialize(), false);
    p.setCodec(kDbFile, &recordCodec);
    {
        auto root = p.newNode(kDbFile, 0);
        p.mutableHeader(kDbFile).root = root->page;
    }
    bool large = std::any_of(fields.begin(), fields.end(),
                             [](const FieldDef& f) { return isLarge(f.type); });
    if (large) {
        p.createFile(kMbFile, kMbMagic, tableId, blobBlock(1), false);
        p.setCodec(kMbFile, &blobCodec);
        auto root = p.newNode(kMbFile, 0);
        p.mutableHeader(kMbFile).root = root->page;
    }
    p.commit(true);
    p.checkpoint();
    p.endWrite();
    p.close();
}

void TableStore::drop(const std::shared_ptr<FileSystem>& fs, const std::string& base) {
    std::string db = base + ".db";
    if (!fs->exists(db)) {
        throw EngineError(ErrorKind::NotFound,
                          "Die Tabelle " + quoted(pager::fileNameOf(db)) + " existiert nicht.");
    }
    Pager p(fs, base);
    p.openDbFile(false);
    p.lockOpen(true);
    // A file open for reading carries no exclusive lock: nobody else may hold the table.
    if (p.readOnly() && !p.soleOpener()) {
        throw EngineError(ErrorKind::Locked, "Die Tabelle " + quoted(pager::fileNameOf(db)) +
                                                 " ist in Benutzung und kann nicht gelöscht "
                                                 "werden.");
    }
    // The .db file goes first: without it there is no table, whatever else is left.
    fs->remove(db);
    for (auto& path : filesOf(*fs, base)) fs->remove(path);
    fs->syncDir(pager::dirOf(base));
    p.close();
}

void TableStore::copy(const std::shared_ptr<FileSystem>& fs, const std::string& from,
                      const std::string& to, const std::function<void(uint64_t)>& started,
                      const std::function<void(uint64_t)>& advanced) {
    if (from == to) return;  // a table copied onto itself stays as it is
    TableStore source(fs, from);
    source.open(false);
    ReadScope scope(source);
    std::vector<std::string> extensions;
    for (uint32_t no : source.pager_->fileNumbers()) {
        if (source.pager_->has(no)) extensions.push_back(Pager::extensionOf(no));
    }
    std::vector<std::unique_ptr<File>> inputs;
    uint64_t total = 0;
    for (auto& ext : extensions) {
        inputs.push_back(fs->openReadOnly(from + ext));
        total += inputs.back()->size();
    }
    // The target is held exclusively from the first byte to the last rename, so that no handle
    // sees it half replaced and a second copy onto it is refused. A target that does not exist
    // yet is made as an empty .db file with the source's rights to hold that lock.
    const std::string db = to + ".db";
    const bool existed = fs->exists(db);
    bool made = false;
    if (!existed) {
        try {
            fs->createNew(db, from + ".db", 0644);
            made = true;
        } catch (const EngineError& e) {
            if (e.kind() != ErrorKind::Exists) throw;  // another copy made it: its lock tells
        }
    }
    Pager target(fs, to);
    try {
        target.openDbFile(true);
        target.lockOpen(true);
    } catch (const EngineError&) {
        target.close();
        throw;
    }
    if (started) started(total);
    uint64_t done = 0;
    std::string buffer(1u << 20, '\0');
    // Every file is written whole beside its place first (a full disk leaves the target as it
    // was); then they take their names, the .db file last, while the lock still holds.
    std::vector<std::unique_ptr<ReplacingFile>> outs;
    try {
        for (size_t i = 0; i < extensions.size(); ++i) {
            const std::string path = to + extensions[i];
            // A replaced file keeps its rights; a new one takes the old table's, or the source's.
            ReplacingFile::Options rights;
            rights.rights = 0644;
            rights.rightsIfNew = existed ? db : from + extensions[i];
            auto out = std::make_unique<ReplacingFile>(fs, path, rights);
            for (uint64_t off = 0;;) {
                size_t n = inputs[i]->read(off, buffer.data(), buffer.size());
                if (n == 0) break;
                out->file().write(off, buffer.data(), n);
                off += n;
                done += n;
                if (advanced) advanced(done);
            }
            fs->copyTimes(from + extensions[i], out->temporaryPath());
            outs.push_back(std::move(out));
        }
        for (auto& out : outs)
            if (out->target() != db) out->commit();
#ifdef _WIN32
        // Windows gives the name of a file that a handle holds to no other file: the old .db
        // is let go just before its name is taken.
        target.close();
#endif
        for (auto& out : outs) out->commit();
    } catch (...) {
        outs.clear();  // their temporary files go
        target.close();
        if (made) {
            try {
                for (auto& path : filesOf(*fs, to)) fs->remove(path);
            } catch (const EngineError&) {  // the first failure is the one to report
            }
        }
        throw;
    }
    // What an older table of that name had beyond the copy (a log, an index it no longer
    // has) would not belong to the new files.
    for (auto& path : filesOf(*fs, to)) {
        if (std::find(extensions.begin(), extensions.end(),
                      lowerExtension(path.substr(to.size()))) == extensions.end())
            fs->remove(path);
    }
    fs->syncDir(pager::dirOf(to));
    target.close();
}

void TableStore::move(const std::shared_ptr<FileSystem>& fs, const std::string& from,
                      const std::string& to) {
    if (!fs->exists(from + ".db")) {
        throw EngineError(
            ErrorKind::NotFound,
            "Die Tabelle " + quoted(pager::fileNameOf(from) + ".db") + " existiert nicht.");
    }
    // Both are held exclusively while their files change names.
    Pager source(fs, from);
    source.openDbFile(false);
    source.lockOpen(true);
    if (source.readOnly()) {
        throw EngineError(ErrorKind::ReadOnly,
                          "Die Tabelle " + quoted(pager::fileNameOf(from) + ".db") +
                              " kann nicht umbenannt werden: " + source.readOnlyReason() + ".");
    }
    if (fs->exists(from + ".wal")) {
        throw EngineError(ErrorKind::Usage, "Die Tabelle " +
                                                quoted(pager::fileNameOf(from) + ".db") +
                                                " wurde nicht ordnungsgemäß geschlossen.");
    }
    std::unique_ptr<Pager> target;
    if (fs->exists(to + ".db")) {
        target = std::make_unique<Pager>(fs, to);
        target->openDbFile(true);
        target->lockOpen(true);
        fs->remove(to + ".db");
        for (auto& path : filesOf(*fs, to)) fs->remove(path);
        // Windows removes a file that a handle still holds only when the handle closes, and
        // until then its name cannot be given to another file.
        target.reset();
    }
    for (auto& path : filesOf(*fs, from)) {
        std::string ext = lowerExtension(path.substr(from.size()));
        if (ext != ".db") fs->rename(path, to + ext);
    }
    fs->rename(from + ".db", to + ".db");
    fs->syncDir(pager::dirOf(to));
    if (pager::dirOf(from) != pager::dirOf(to)) fs->syncDir(pager::dirOf(from));
}

// --- Opening -------------------------------------------------------------------------------

}  // namespace mv32::engine::store
