#include "core/PathIndex.h"

#include "core/HashTables.h"

#include <cstring>

uint32_t TPathIndex::IdOf(std::string_view path, std::string_view& stored) {
    if (Slots.empty()) Slots.assign(kInitialSlots, 0);
    const auto hash = static_cast<uint32_t>(TStringTableBase::StrHash(path));
    const size_t mask = Slots.size() - 1;
    // Fibonacci hashing spreads the polynomial hash of similar paths over the slots.
    for (size_t i = (hash * 2654435769u) & mask;; i = (i + 1) & mask) {
        const uint32_t slot = Slots[i];
        if (slot == 0) break;
        const TEntry& entry = Entries[slot - 1];
        if (entry.Hash == hash && entry.Length == path.size() &&
            (path.empty() || std::memcmp(entry.Text, path.data(), path.size()) == 0)) {
            stored = {entry.Text, entry.Length};
            return slot - 1;
        }
    }
    const auto id = static_cast<uint32_t>(Entries.size());
    stored = Texts.Store(path);
    Entries.push_back({hash, static_cast<uint32_t>(path.size()), stored.data()});
    if (Entries.size() * 2 > Slots.size()) {
        Rehash(Slots.size() * 2);
    } else {
        Place(id);
    }
    return id;
}

void TPathIndex::Place(uint32_t id) {
    const size_t mask = Slots.size() - 1;
    size_t i = (Entries[id].Hash * 2654435769u) & mask;
    while (Slots[i] != 0)
        i = (i + 1) & mask;
    Slots[i] = id + 1;
}

void TPathIndex::Rehash(size_t slots) {
    Slots.assign(slots, 0);
    for (uint32_t id = 0; id < Entries.size(); ++id)
        Place(id);
}
