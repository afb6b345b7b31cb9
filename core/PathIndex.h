#pragma once
// Dense numbers for the distinct request paths of a run. The side that parses lines numbers
// each hit's path once, so that the counting side finds the path's rows by index instead of
// hashing and comparing the text for every view it counts into.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The number of a hit whose path has none (entries made by hand).
constexpr uint32_t kNoPathId = UINT32_MAX;

// Hashes texts of any string type alike, so that maps keyed by std::string are searched
// with a std::string_view without making a string.
struct TTextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

class TPathIndex {
public:
    // The path's number: 0 for the first path seen, then one more for every new one.
    uint32_t IdOf(std::string_view path);
    size_t Count() const { return Entries.size(); }

private:
    static constexpr size_t kInitialSlots = 1024; // a power of two, as every size after it
    struct TEntry {
        uint32_t Hash;
        uint32_t Length;
        size_t Start; // in Texts
    };
    void Place(uint32_t id);
    void Rehash(size_t slots);

    std::string Texts;           // every path, one after another
    std::vector<TEntry> Entries; // by number
    std::vector<uint32_t> Slots; // number + 1, or 0 for an empty slot; at most half full
};
