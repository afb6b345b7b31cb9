#pragma once
// A row of a statistics view: hits, visits and bytes counted under one key, with the same
// counts per day; a URL group row that absorbs the rows its masks match; and the table that
// finds a view's rows by key. Rows are small: their texts live elsewhere (the analyser's
// arena or the path numbering) and a row counted on one day only needs no day list.

#include "core/HashTables.h"
#include "sources/DateTime.h"

#include <climits>
#include <cstdint>
#include <memory>
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

// A row's text: a view of a text kept elsewhere that reads and joins like a string.
class TRowText : public std::string_view {
public:
    TRowText() = default;
    TRowText(std::string_view text) : std::string_view(text) {}
    operator std::string() const { return std::string(data(), size()); }
};
inline std::string operator+(const char* a, TRowText b) {
    return std::string(a).append(b);
}
inline std::string operator+(std::string a, TRowText b) {
    return a.append(b);
}
inline std::string operator+(TRowText a, const char* b) {
    return std::string(a).append(b);
}
inline std::string operator+(TRowText a, const std::string& b) {
    return std::string(a).append(b);
}

class TLogView {
public:
    TLogView() = default;
    // The texts must outlive the row.
    TLogView(std::string_view name, std::string_view subName, int kind)
        : Name(name), SubName(subName), Kind(static_cast<int16_t>(kind)) {}

    int64_t Bytes = 0;
    TRowText Name;
    TRowText SubName;       // second key of a two-level view
    uint64_t LastVisit = 0; // the visit counted last (its serial), for counting distinct visits
    int32_t Hits = 0;
    int32_t Visits = 0;
    int16_t Kind = 0;

    // Counts a closed visit, or one of its hits (a visit that is new to the row, or not).
    void AddVisit(const TWebVisit& visit);
    void AddHit(const TLogEntry& hit);
    void AddHit(const TLogEntry& hit, bool newVisit);
    // Bytes that join a hit counted before (merged partial content), on the hit's day.
    void AddBytes(TDateTime time, int64_t bytes);
    // The day's own record, to fill by hand; from then on the row keeps a day list and its
    // totals are no longer derived from it.
    TDayRecord& Day(int32_t day);
    // The counts of the day (zeros when the row has none).
    TDayRecord DayCounts(int32_t day) const;
    // Calls f(day, record) for every day with counts, in day order.
    template <class F> void ForEachDay(F f) const {
        if (Days) {
            for (const auto& [day, record] : *Days)
                f(day, record);
        } else if (OnlyDay != kNoDay) {
            f(OnlyDay, TDayRecord{Hits, Visits, Bytes});
        }
    }

    bool IsGroup() const { return Group; }

protected:
    bool Group = false;
    // Days kept as a list from the start.
    void KeepDayList();

private:
    using TDayList = std::vector<std::pair<int32_t, TDayRecord>>;
    static constexpr int32_t kNoDay = INT32_MIN;

    void Count(int32_t day, int32_t hits, int32_t visits, int64_t bytes);
    TDayRecord& StoredDay(int32_t day);

    int32_t OnlyDay = kNoDay;       // while Days is null: the one day of every count so far
    std::unique_ptr<TDayList> Days; // sorted by day; made when a second day comes
};

class TGroupView : public TLogView {
public:
    TGroupView(std::string_view name, std::string_view members, uint8_t groupingType, int kind);

    std::string OwnName;                  // the text Name shows
    std::vector<const TLogView*> Members; // not owned
    std::vector<std::string> Masks;
    uint8_t GroupingType = 0; // 0 total, 1 average
    uint32_t OutputFlags = 0; // the report's bookkeeping

    bool Matches(std::string_view name) const;
    // Absorbs a row: its counts and day records are added to the group's.
    void AddMember(const TLogView& row);
};

// The rows of one view kind by key (Name, or Name + line feed + SubName), on the slots of
// THashTableBase keyed by the string hash of the key, so that rows come out in the same
// order as from a text table. The rows are not owned.
class TViewTable : protected THashTableBase {
public:
    using THashTableBase::Capacity;
    using THashTableBase::Clear;
    using THashTableBase::Count;
    using THashTableBase::SetCapacity;

    // The string hash of the key of (name, subName), without joining them.
    static int KeyOf(std::string_view name, std::string_view subName) {
        uint32_t h = TStringTableBase::HashMore(0, name);
        if (!subName.empty()) h = TStringTableBase::HashMore(h * 131 + '\n', subName);
        return TStringTableBase::HashKey(h);
    }
    TLogView* Find(int key, std::string_view name, std::string_view subName);
    // The row of the joined key, or null.
    TLogView* Value(std::string_view key);
    void Add(int key, TLogView* row) { InsertValue(key, row); }
    TLogView* First() { return static_cast<TLogView*>(FirstValue()); }
    TLogView* Next() { return static_cast<TLogView*>(NextValue()); }
};
