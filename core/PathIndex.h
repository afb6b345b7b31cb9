#pragma once
// Dense numbers for the distinct request paths of a run. The side that parses lines numbers
// each hit's path once, so that the counting side finds the path's rows by index instead of
// hashing and comparing the text for every view it counts into.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

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
    size_t Count() const { return Ids.size(); }

private:
    std::unordered_map<std::string, uint32_t, TTextHash, std::equal_to<>> Ids;
};
