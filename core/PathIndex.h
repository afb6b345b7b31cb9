#pragma once
// Dense numbers for the distinct request paths of a run. The side that parses lines numbers
// each hit's path once, so that the counting side finds the path's rows by index instead of
// hashing and comparing the text for every view it counts into. Each path's text is kept
// once, where it never moves, so that the views can name their rows with it.

#include "core/TextArena.h"

#include <cstdint>
#include <string_view>
#include <vector>

class TPathIndex {
public:
    // The path's number: 0 for the first path seen, then one more for every new one.
    uint32_t IdOf(std::string_view path) {
        std::string_view stored;
        return IdOf(path, stored);
    }
    // The same, with the kept text of the path, good for the life of the index.
    uint32_t IdOf(std::string_view path, std::string_view& stored);
    size_t Count() const { return Entries.size(); }
    // Gives back what finds a path's number, keeping the texts handed out; numbering starts
    // again from 0 afterwards.
    void ReleaseLookup() {
        std::vector<TEntry>().swap(Entries);
        std::vector<uint32_t>().swap(Slots);
    }

private:
    static constexpr size_t kInitialSlots = 1024; // a power of two, as every size after it
    struct TEntry {
        uint32_t Hash;
        uint32_t Length;
        const char* Text; // in Texts
    };
    void Place(uint32_t id);
    void Rehash(size_t slots);

    TTextArena Texts;            // every path, one after another
    std::vector<TEntry> Entries; // by number
    std::vector<uint32_t> Slots; // number + 1, or 0 for an empty slot; at most half full
};
