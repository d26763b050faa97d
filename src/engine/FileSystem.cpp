// What every file system can do with the calls it has: the test doubles create and remove the
// temporary files of replacing writers through these; the real file systems do it in one step.
#include "engine/FileSystem.h"

#include <cerrno>

#include "engine/EngineError.h"

namespace mv32::engine {

std::unique_ptr<File> FileSystem::createNew(const std::string& path,
                                            const std::string& /*rightsOf*/, unsigned /*rights*/) {
    if (exists(path)) {
        const std::string why = systemErrorReason(EEXIST);
        throw EngineError(ErrorKind::Exists,
                          "Anlegen der Datei " + quoted(path) + " ist fehlgeschlagen: " + why + ".",
                          why);
    }
    return open(path, true);
}

bool FileSystem::removeUnlocked(const std::string& path, uint64_t lockOffset) {
    try {
        if (!exists(path)) return false;
        auto f = open(path, false);
        if (!f->tryLock(lockOffset, LockKind::Exclusive)) return false;
        remove(path);
        return true;
    } catch (const EngineError&) {
        return false;
    }
}

}  // namespace mv32::engine
