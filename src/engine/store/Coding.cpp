#include "engine/store/Coding.h"

#include "engine/EngineError.h"

namespace mv32::engine::store {

void throwCorrupt(const std::string& file, const std::string& detail) {
    throw EngineError(ErrorKind::Corrupt,
                      "Die Datei " + quoted(file) + " ist beschädigt: " + detail + ".");
}

}  // namespace mv32::engine::store
