// The one way the program replaces a file it writes: exports and the printed PDF, .MV files,
// list and tree files, the list of scanned media, settings, desktop entries and the copies of
// tables ("Speichern unter", the backup).
//
// The bytes go to a temporary file beside the target, "<target>.~" and six letters or digits
// drawn for this writer. It is created exclusively, so an entry of that name (a link, a FIFO,
// another writer's file) is never opened, and a lock on it is held for as long as it is
// written. commit() syncs it and renames it over the target: the target is replaced whole or
// stays as it was (a full disk, a failed write: the temporary file is removed). Two writers of
// one target each write a temporary file of their own, and the one that commits last wins,
// whole. A writer that was killed leaves its temporary file behind without a lock; the next
// writer of the same target removes it.
//
// The file takes the access rights of the target it replaces, so a private target stays
// private; a new target gets the rights given (less the process's mask), or those of a model
// file (a table copy takes its source's). Failures throw EngineError with a German message
// that names the target, never the temporary file. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/EngineError.h"
#include "engine/FileSystem.h"

namespace mv32::engine {

class ReplacingFile {
public:
    // The lock byte of a temporary file, held by its writer (far past any data).
    static constexpr uint64_t kLockByte = 0x7FFE000000000000ull;

    struct Options {
        unsigned rights = 0666;   // of a new target, less the process's mask
        std::string rightsIfNew;  // a file whose rights a new target takes instead, if any
        // The names in the target's folder, where the caller has read them once for many
        // targets (the pages of one export): the folder is then not read again for each.
        const std::vector<std::string>* folderNames = nullptr;
    };

    // Removes what killed writers of `target` left, then creates and locks the temporary file.
    ReplacingFile(std::shared_ptr<FileSystem> fs, std::string target, const Options& options);
    ReplacingFile(std::shared_ptr<FileSystem> fs, std::string target)
        : ReplacingFile(std::move(fs), std::move(target), Options{}) {}
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    const std::string& target() const { return target_; }
    // The temporary file's path, for calls that name it (giving it the source's times).
    const std::string& temporaryPath() const { return temp_; }
    // The file being written; its failures name the target.
    File& file();
    // A handle on the same file for a writer that wants to own one (a dBase table): it closes
    // nothing and holds no lock of its own; it must go before this object does.
    std::unique_ptr<File> borrow();
    // Writes at `offset`.
    void write(uint64_t offset, std::string_view bytes) {
        file().write(offset, bytes.data(), bytes.size());
    }

    // Syncs the file and puts it in the target's place. Afterwards the temporary file is gone
    // either way; after a failure the object is spent.
    void commit();
    bool committed() const { return committed_; }
    // Gives the file up: the temporary file goes at once, the target stays as it was.
    void discard() noexcept;

    // Whether `name` (a file name without folder) is a temporary file of the target named
    // `targetName` as this class names them.
    static bool isTemporaryOf(std::string_view name, std::string_view targetName);
    // Throws `e` again with the target named instead of the temporary file.
    [[noreturn]] void rethrow(const EngineError& e) const;

private:
    class View;
    void removeLeftovers(const std::vector<std::string>* folderNames);
    void create(unsigned rights, const std::string& rightsIfNew);

    std::shared_ptr<FileSystem> fs_;
    std::string target_;
    std::string temp_;
    std::unique_ptr<File> file_;
    std::unique_ptr<View> view_;
    bool committed_ = false;
};

}  // namespace mv32::engine
