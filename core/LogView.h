#pragma once
// A row of a statistics view: hits, visits and bytes counted under one key, with the same
// counts per day; and a URL group row that absorbs the rows its masks match.

#include "sources/DateTime.h"

#include <climits>
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
    uint64_t LastVisit = 0; // the visit counted last (its serial), for counting distinct visits
    // The same counts per day, sorted by day number; complete once SettleDays has run.
    std::vector<std::pair<int32_t, TDayRecord>> DayStats;

    // Counts a closed visit, or one of its hits.
    void AddVisit(const TWebVisit& visit);
    void AddHit(const TLogEntry& hit);
    // The record to count the day into. Counting runs day by day, so the day being counted
    // is kept in the row itself and moved into DayStats when another day comes.
    TDayRecord& Day(int32_t day);
    // Moves the day being counted into DayStats.
    void SettleDays();
    // The counts of the day (zeros when the row has none).
    TDayRecord DayCounts(int32_t day) const;

    virtual bool IsGroup() const { return false; }

private:
    void CountTime(TDateTime time);
    TDayRecord& StoredDay(int32_t day);

    int32_t OpenDay = INT32_MIN; // the day being counted, not yet in DayStats
    TDayRecord OpenRecord;
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
    void AddMember(TLogView& row);
};
