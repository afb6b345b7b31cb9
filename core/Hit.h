#pragma once
// A hit held by its visit until the visit is counted: a small record of what the counting
// and the filter read, made from a parsed line. The path is the path numbering's text, and
// the status, extension and user are shared by every hit with the same three, so that a
// hit costs 64 bytes and no heap block unless it has a query string.

#include "core/LogEntry.h"
#include "core/TextArena.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TWebVisit;

// What many hits have alike: their status, extension and user.
struct THitCodes {
    std::string_view Status;
    std::string_view Extension;
    std::string_view User;
};

// A hit takes one cache line of its own: counting a closed visit fetches its hits ahead, a
// line each.
class alignas(64) THit {
public:
    std::string_view Path() const { return {PathText, PathLength}; } // Directory() + FileName()
    std::string_view Directory() const { return Path().substr(0, DirectoryLength); }
    std::string_view FileName() const { return Path().substr(DirectoryLength); }
    std::string_view Extension() const { return Codes->Extension; }
    std::string_view Status() const { return Codes->Status; }
    std::string_view User() const { return Codes->User; }
    std::string_view Query() const {
        if (!QueryText) return {};
        uint32_t length;
        std::memcpy(&length, QueryText.get(), sizeof length);
        return {QueryText.get() + sizeof length, length};
    }
    // The path as the path numbering keeps it (it outlives the run's counting); empty when
    // the hit's line had no path number.
    std::string_view StoredPath() const { return PathId != kNoPathId ? Path() : std::string_view(); }

    TDateTime Time = 0;
    int64_t Bytes = 0;
    TWebVisit* Visit = nullptr; // not owned
    uint32_t PathId = kNoPathId;
    uint8_t FilterState = fsUndecided;
    bool IsError = false;
    bool Page = false; // counts as a page of its visit

private:
    friend class THitPool;
    static const THitCodes kNoCodes;

    const THitCodes* Codes = &kNoCodes; // never null
    const char* PathText = nullptr;
    uint32_t PathLength = 0;
    uint32_t DirectoryLength = 0;
    std::unique_ptr<char[]> QueryText; // the length, then the text; none when empty
};
static_assert(sizeof(void*) != 8 || sizeof(THit) == 64, "a hit outgrew its cache line");

// Makes and recycles the hits of one analyser, and keeps the texts they share: the codes,
// and the paths of lines without a path number. A hit given back is handed out again.
class THitPool {
public:
    THitPool() = default;
    THitPool(const THitPool&) = delete;
    THitPool& operator=(const THitPool&) = delete;

    // A hit made of the line's hit fields (host, method, referrer and agent are not kept);
    // no visit, filter state undecided, not a page.
    THit* Make(const TLogEntry& line);
    void Release(THit* hit);
    // Hits made so far: the most that were in use at once.
    size_t Allocated() const { return Made; }
    // Gives every hit's memory and every shared text back; none may be in use.
    void FreeAll();

private:
    const THitCodes* CodesOf(std::string_view status, std::string_view extension, std::string_view user,
                             uint32_t pathId);

    static constexpr size_t kChunkHits = 4096;
    std::vector<std::unique_ptr<THit[]>> Chunks; // one allocation for many hits
    size_t Made = 0;
    std::vector<THit*> Free;
    TTextArena Texts;
    // Codes by their three texts joined with line feeds.
    struct TTextHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    std::unordered_map<std::string_view, std::unique_ptr<THitCodes>, TTextHash, std::equal_to<>> Codes;
    // The codes a path's hits took last and the time before: a path keeps its extension and
    // mostly its status, or two statuses in turn (200 and 304).
    struct TPathCodes {
        const THitCodes* Last = nullptr;
        const THitCodes* Other = nullptr;
    };
    std::vector<TPathCodes> CodesByPath;
    std::string Key;
};
