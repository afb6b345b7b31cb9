#pragma once
// One parsed log line as a normalised hit: host, user, time with zone correction,
// request path split into directory, file name, extension and query, status, bytes,
// referrer and agent. Buffers keep their capacity so that reusing an entry allocates
// nothing per line.

#include "sources/DateTime.h"

#include <cstdint>
#include <string>
#include <string_view>

class TCParser;
class TWebVisit;

// What AssignFrom takes from the profile.
struct TLogEntryOptions {
    bool CaseSensitive = false;
    int ParamType = 0;         // 0 ignores query strings, 1 and 2 keep them
    int Timezone = 0;          // whole hours added to universal time
    TDateTime CurrentDate = 0; // day number of the line
};

// 0 for "1xx", 1 for "2xx", 2 for "3xx", 4 for "5xx", 3 for "4xx" and anything else.
int StatusClass(std::string_view status);

enum TFilterState : uint8_t { fsInclude = 0, fsExclude = 1, fsUndecided = 2 };

class TLogEntry {
public:
    std::string Host;
    std::string User;
    std::string Agent;
    TDateTime Time = 0;
    std::string Method;
    std::string Directory;
    std::string FileName;
    std::string Extension;
    std::string Path;
    std::string Query;
    std::string Status;
    int64_t Bytes = 0;
    std::string Referrer;
    TWebVisit* Visit = nullptr; // not owned
    uint8_t FilterState = fsUndecided;
    bool Valid = false;
    bool IsError = false;
    bool Page = false; // counts as a page of its visit; set when it becomes a hit

    // Fills the entry from the parser's current fields; leaves it not valid when the
    // parser is not valid, the time of day is out of range or the time is exactly 0.
    void AssignFrom(const TCParser& parser, const TLogEntryOptions& options);
    // AssignFrom in two parts. AssignHitFields fills what every hit keeps (user, time,
    // method, request pieces, status, bytes) and returns Valid; AssignVisitFields fills
    // what only the first line of a visit needs (host, referrer, agent).
    bool AssignHitFields(const TCParser& parser, const TLogEntryOptions& options);
    void AssignVisitFields(const TCParser& parser);
};
