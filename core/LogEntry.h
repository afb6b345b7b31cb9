#pragma once
// One parsed log line as a normalised hit: host, user, time with zone correction,
// request path split into directory, file name, extension and query, status, bytes,
// referrer and agent. The texts live one after another in a single buffer that keeps its
// capacity, so that reusing an entry allocates nothing per line.

#include "sources/DateTime.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

class TCParser;

// The texts of an entry: short ones (most hits) inside the entry itself, longer ones in one
// heap block that is kept for reuse. Appended text must not lie in the buffer itself.
class TEntryText {
public:
    static constexpr uint32_t kInline = 80;

    TEntryText() = default;
    TEntryText(const TEntryText& other) { Assign(other.View()); }
    TEntryText& operator=(const TEntryText& other) {
        if (this != &other) Assign(other.View());
        return *this;
    }

    std::string_view View() const { return {Data(), Length}; }
    uint32_t Size() const { return Length; }
    size_t Capacity() const { return Heap ? HeapCapacity : kInline; }
    char* Data() { return Heap ? Heap.get() : Inline; }
    const char* Data() const { return Heap ? Heap.get() : Inline; }
    void Clear() { Length = 0; }
    void Truncate(uint32_t size) {
        if (size < Length) Length = size;
    }
    void Append(std::string_view text);
    void Assign(std::string_view text) {
        Length = 0;
        Append(text);
    }
    // Gives a large heap block back and returns to the inline room.
    void Release() {
        Heap.reset();
        HeapCapacity = 0;
        Length = 0;
    }

private:
    std::unique_ptr<char[]> Heap;
    uint32_t Length = 0;
    uint32_t HeapCapacity = 0;
    char Inline[kInline];
};

// What AssignFrom takes from the profile.
struct TLogEntryOptions {
    bool CaseSensitive = false;
    int ParamType = 0;         // 0 ignores query strings, 1 and 2 keep them
    int Timezone = 0;          // whole hours added to universal time
    TDateTime CurrentDate = 0; // day number of the line
};

// 0 for "1xx", 1 for "2xx", 2 for "3xx", 4 for "5xx", 3 for "4xx" and anything else.
int StatusClass(std::string_view status);

// The path number of an entry that has none (entries made by hand).
constexpr uint32_t kNoPathId = UINT32_MAX;

enum TFilterState : uint8_t { fsInclude = 0, fsExclude = 1, fsUndecided = 2 };

// A line's referrer and agent fields as the parser cut them: only the first line of a
// visit needs them, so they are taken into an entry only then.
struct TVisitFields {
    std::string_view Referrer;
    std::string_view Agent;
};

class TLogEntry {
public:
    // The texts in buffer order: what every hit keeps first, then what only the first line
    // of a visit needs (referrer, agent).
    enum TText : uint8_t { etHost, etUser, etMethod, etPath, etExtension, etQuery, etStatus, etReferrer, etAgent };
    static constexpr int kTextCount = 9;
    static constexpr size_t kLargeText = 16384; // buffers above this are not kept for reuse

    std::string_view Host() const { return Text(etHost); }
    std::string_view User() const { return Text(etUser); }
    std::string_view Method() const { return Text(etMethod); }
    std::string_view Path() const { return Text(etPath); } // Directory() + FileName()
    std::string_view Directory() const { return Path().substr(0, DirectoryLength); }
    std::string_view FileName() const { return Path().substr(DirectoryLength); }
    std::string_view Extension() const { return Text(etExtension); }
    std::string_view Query() const { return Text(etQuery); }
    // The path's text as the path numbering keeps it (it outlives the entry); empty when
    // the entry has no path number.
    std::string_view StoredPath() const {
        return KeptPath ? std::string_view(KeptPath, Ends[etPath] - Ends[etPath - 1]) : std::string_view();
    }
    std::string_view Status() const { return Text(etStatus); }
    std::string_view Referrer() const { return Text(etReferrer); }
    std::string_view Agent() const { return Text(etAgent); }

    TDateTime Time = 0;
    int64_t Bytes = 0;
    int HostKey = -1;               // the host's StrHash, when the reader worked it out
    uint32_t PathId = kNoPathId;    // the path's number in the run, when the reader gave one
    const char* KeptPath = nullptr; // the path's text kept by the path numbering, with PathId
    bool Valid = false;
    bool IsError = false;

    // Fills the entry from the parser's current fields; leaves it not valid when the
    // parser is not valid, the time of day is out of range or the time is exactly 0.
    void AssignFrom(const TCParser& parser, const TLogEntryOptions& options);
    // AssignFrom in two parts. AssignHitFields fills what every hit keeps (host, user, time,
    // method, request pieces, status, bytes) and returns Valid, leaving referrer and agent
    // empty; AssignVisitFields then adds what only the first line of a visit needs.
    bool AssignHitFields(const TCParser& parser, const TLogEntryOptions& options);
    void AssignVisitFields(const TCParser& parser);
    void AssignVisitFields(const TVisitFields& fields);
    // Gives back the heap block of a once very long line.
    void ReleaseLargeText() {
        if (Texts.Capacity() <= kLargeText) return;
        Texts.Release();
        std::fill(std::begin(Ends), std::end(Ends), 0u); // every text empty, none past the buffer
        DirectoryLength = 0;
    }
    // Replaces one text (the path keeps its directory up to its last "/"); for entries
    // made by hand.
    void SetText(TText text, std::string_view value);

private:
    std::string_view Text(TText text) const {
        const uint32_t start = text == 0 ? 0 : Ends[text - 1];
        return Texts.View().substr(start, Ends[text] - start);
    }
    void AppendText(TText text, std::string_view value) {
        Texts.Append(value);
        Ends[text] = Texts.Size();
    }

    TEntryText Texts;             // every text, in TText order
    uint32_t Ends[kTextCount]{};  // where each text ends in Texts
    uint32_t DirectoryLength = 0; // of the path
};
