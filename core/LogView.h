#pragma once
// A row of a statistics view: hits, visits and bytes counted under one key, with the same
// counts per day; and a URL group row that absorbs the rows its masks match.

#include "sources/DateTime.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TLogEntry;
class TWebVisit;

// The number of view kinds.
constexpr int kViewKindCount = 31;

struct TDayRecord {
    int32_t Hits = 0;
    int32_t Visits = 0;
    int64_t Bytes = 0;
};

class TLogView {
public:
    TLogView() = default;
    TLogView(std::string_view name, std::string_view subName, int kind) : Name(name), SubName(subName), Kind(kind) {}
    virtual ~TLogView() = default;

    int64_t Bytes = 0;
    std::string Name;
    std::string SubName; // second key of a two-level view
    int32_t Kind = 0;
    int32_t Hits = 0;
    int32_t Visits = 0;
    TDateTime FirstTime = 0;
    TDateTime LastTime = 0;
    const TWebVisit* LastVisit = nullptr; // for counting distinct visits; never dereferenced
    // The same counts per day, sorted by day number.
    std::vector<std::pair<int32_t, TDayRecord>> DayStats;

    // Counts a closed visit, or one of its hits.
    void AddVisit(const TWebVisit& visit);
    void AddHit(const TLogEntry& hit);
    // The record of the day, created when absent.
    TDayRecord& Day(int32_t day);
    // The record of the day, or nullptr.
    const TDayRecord* FindDay(int32_t day) const;

    virtual bool IsGroup() const { return false; }

private:
    void CountTime(TDateTime time);
    size_t LastDayIndex = 0; // where the last day was found: most counts hit the same day
};

class TGroupView : public TLogView {
public:
    TGroupView(std::string_view name, std::string_view members, uint8_t groupingType, int kind);

    std::vector<const TLogView*> Members; // not owned
    std::vector<std::string> Masks;
    uint8_t GroupingType = 0; // 0 total, 1 average
    uint32_t OutputFlags = 0; // the report's bookkeeping

    bool IsGroup() const override { return true; }
    bool Matches(std::string_view name) const;
    // Absorbs a row: its counts and day records are added to the group's.
    void AddMember(const TLogView& row);
};

// The shared record of zeros for days a row has none for.
const TDayRecord& EmptyDayRecord();
