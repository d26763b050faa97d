#include "platform/AtomicFile.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "engine/ReplacingFile.h"
#include "engine/SystemPaths.h"
#include "platform/Paths.h"

namespace mv32::platform {

std::optional<std::string> readWholeFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(engine::paths::fsPath(path), ec)) return std::nullopt;
    std::FILE* f = engine::paths::openFile(path, "rb");
    if (!f) return std::nullopt;
    std::string data;
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return std::nullopt;
    return data;
}

void writeFileAtomically(const std::string& path, const std::string& data, bool executable) {
    createFolders(folderOf(path));
    engine::ReplacingFile::Options options;
    options.rights = executable ? 0755 : 0644;
    engine::ReplacingFile file(engine::FileSystem::real(), path, options);
    file.write(0, data);
    file.commit();
}

}  // namespace mv32::platform
