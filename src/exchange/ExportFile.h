// A file the exports write in pieces, front to back, that replaces its target only when it is
// complete (engine::ReplacingFile): a temporary file of its own beside the target, created
// exclusively and locked while it is written, synced and renamed over the target by commit().
// A failure on the way (a full disk, a medium that cannot be written) leaves the target as it
// was and removes the temporary file, so an export never leaves half a list behind, and a
// private target stays private. Failures throw EngineError with a German message naming the
// target.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ReplacingFile.h"

namespace mv32::exchange {

class ExportFile {
public:
    // `folderNames`: the names in the target's folder, read once for the many pages of one
    // export (see engine::ReplacingFile::Options).
    explicit ExportFile(std::string target, const std::vector<std::string>* folderNames = nullptr);
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    const std::string& target() const { return file_.target(); }
    void write(std::string_view bytes);
    // Writes what is buffered and puts the file in the target's place.
    void commit();

private:
    void flush();

    engine::ReplacingFile file_;
    uint64_t at_ = 0;
    std::string buffer_;
    bool spent_ = false;  // committed or failed
};

}  // namespace mv32::exchange
