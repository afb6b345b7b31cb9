#include "core/PathIndex.h"

uint32_t TPathIndex::IdOf(std::string_view path) {
    const auto it = Ids.find(path);
    if (it != Ids.end()) return it->second;
    const auto id = static_cast<uint32_t>(Ids.size());
    Ids.emplace(std::string(path), id);
    return id;
}
