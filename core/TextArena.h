#pragma once
// Texts kept for the length of a run, one after another in large blocks: a stored text never
// moves, costs its bytes alone (no heap block or header of its own), and is freed with the arena.

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

class TTextArena {
public:
    // A copy of the text that stays where it is until Clear.
    std::string_view Store(std::string_view text) {
        if (text.empty()) return {};
        if (text.size() > Left) {
            const size_t size = std::max(kBlockSize, text.size());
            Blocks.push_back(std::make_unique<char[]>(size));
            Next = Blocks.back().get();
            Left = size;
        }
        char* at = Next;
        std::memcpy(at, text.data(), text.size());
        Next += text.size();
        Left -= text.size();
        return {at, text.size()};
    }
    void Clear() {
        Blocks.clear();
        Next = nullptr;
        Left = 0;
    }

private:
    static constexpr size_t kBlockSize = 256 * 1024;
    std::vector<std::unique_ptr<char[]>> Blocks;
    char* Next = nullptr;
    size_t Left = 0;
};
