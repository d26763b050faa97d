// A table's files as people copy them from Windows: "CAT.DB", "CAT.PX", "CAT.MB".
//
// The engine names a table's files by the table's base and a lower-case extension
// ("…/CAT" + ".px"). This layer between the engine and the file system finds each such file
// whatever the letter case of its extension, and spells a new one like the table's .db file
// ("CAT.DB" gets "CAT.PX", "CAT.XG0", "CAT.WAL"; "Cat.Db" gets "Cat.Px"). A table not yet on
// disk is spelled as its name was given (expect()); without that, in lower case as always.
// Paths that are not a table's files pass unchanged. Safe to share between threads.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/FileSystem.h"

namespace mv32::engine {

class TableFileNames : public FileSystem {
public:
    explicit TableFileNames(std::shared_ptr<FileSystem> inner) : inner_(std::move(inner)) {}
    // `fs` itself when it is this layer already, else this layer over it.
    static std::shared_ptr<TableFileNames> over(std::shared_ptr<FileSystem> fs);

    // The path of a table's file as it is on disk, or as it is to be made.
    std::string spelled(const std::string& path);
    // A table about to be made as `dbPath`: its files follow that spelling of ".db".
    void expect(const std::string& dbPath);

    std::unique_ptr<File> open(const std::string& path, bool create) override {
        return inner_->open(spelled(path), create);
    }
    std::unique_ptr<File> openReadOnly(const std::string& path) override {
        return inner_->openReadOnly(spelled(path));
    }
    bool exists(const std::string& path) override { return inner_->exists(spelled(path)); }
    void remove(const std::string& path) override { inner_->remove(spelled(path)); }
    void rename(const std::string& from, const std::string& to) override {
        inner_->rename(spelled(from), spelled(to));
    }
    void syncDir(const std::string& dir) override { inner_->syncDir(dir); }
    std::vector<std::string> list(const std::string& dir) override { return inner_->list(dir); }
    void copyTimes(const std::string& from, const std::string& to) override {
        inner_->copyTimes(spelled(from), spelled(to));
    }
    std::unique_ptr<File> createNew(const std::string& path, const std::string& rightsOf,
                                    unsigned rights) override {
        return inner_->createNew(spelled(path), rightsOf.empty() ? rightsOf : spelled(rightsOf),
                                 rights);
    }
    bool removeUnlocked(const std::string& path, uint64_t lockOffset) override {
        return inner_->removeUnlocked(spelled(path), lockOffset);
    }

private:
    // The letters of the table's ".db" as on disk or as expected ("DB", "db", "Db"); empty
    // when neither is known.
    std::string styleOf(const std::string& base, std::string* onDisk);
    // The name in `dir` equal to `name` but for letter case; empty when there is none.
    std::string findIgnoringCase(const std::string& dir, const std::string& name);

    std::shared_ptr<FileSystem> inner_;
    std::mutex mutex_;
    std::map<std::string, std::string> expected_;  // base → the letters of its ".db"
};

}  // namespace mv32::engine
