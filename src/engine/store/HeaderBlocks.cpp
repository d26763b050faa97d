#include "engine/store/HeaderBlocks.h"

#include "engine/store/Coding.h"

namespace mv32::engine::store {

std::string keyBlock(const std::vector<int>& fields) {
    std::string out;
    append32(out, static_cast<uint32_t>(fields.size()));
    for (int f : fields) append32(out, static_cast<uint32_t>(f));
    return out;
}

std::string indexBlock(const IndexInfo& ix) {
    std::string out;
    appendVarint(out, ix.name.size());
    out.append(ix.name);
    out.append(keyBlock(ix.fields));
    out.push_back(static_cast<char>(ix.options));
    return out;
}

std::string blobBlock(uint64_t nextId) {
    std::string out;
    append64(out, nextId);
    return out;
}

}  // namespace mv32::engine::store
