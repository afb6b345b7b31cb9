#include "core/LogView.h"

#include "core/LogEntry.h"
#include "core/WebVisit.h"
#include "sources/CUtils.h"

#include <algorithm>
#include <cmath>

namespace {

int32_t DayOf(TDateTime time) {
    return static_cast<int32_t>(std::trunc(time));
}

} // namespace

TDayRecord& TLogView::Day(int32_t day) {
    if (LastDayIndex < DayStats.size() && DayStats[LastDayIndex].first == day) return DayStats[LastDayIndex].second;
    // Counting runs mostly forward in time: a new latest day is appended.
    if (DayStats.empty() || DayStats.back().first < day) {
        DayStats.push_back({day, TDayRecord{}});
        LastDayIndex = DayStats.size() - 1;
        return DayStats.back().second;
    }
    auto it = std::lower_bound(DayStats.begin(), DayStats.end(), day,
                               [](const std::pair<int32_t, TDayRecord>& d, int32_t value) { return d.first < value; });
    if (it == DayStats.end() || it->first != day) it = DayStats.insert(it, {day, TDayRecord{}});
    LastDayIndex = static_cast<size_t>(it - DayStats.begin());
    return it->second;
}

const TDayRecord* TLogView::FindDay(int32_t day) const {
    const auto it =
        std::lower_bound(DayStats.begin(), DayStats.end(), day,
                         [](const std::pair<int32_t, TDayRecord>& d, int32_t value) { return d.first < value; });
    return it != DayStats.end() && it->first == day ? &it->second : nullptr;
}

void TLogView::CountTime(TDateTime time) {
    if (FirstTime < 1 || time < FirstTime) FirstTime = time;
    if (time > LastTime) LastTime = time;
}

void TLogView::AddVisit(const TWebVisit& visit) {
    TDayRecord& d = Day(DayOf(visit.StartTime));
    Bytes += visit.Bytes;
    d.Bytes += visit.Bytes;
    CountTime(visit.StartTime);
    Hits += visit.HitCount();
    d.Hits += visit.HitCount();
    Visits += 1;
    d.Visits += 1;
    LastVisit = &visit;
}

void TLogView::AddHit(const TLogEntry& hit) {
    TDayRecord& d = Day(DayOf(hit.Time));
    Bytes += hit.Bytes;
    d.Bytes += hit.Bytes;
    CountTime(hit.Time);
    Hits += 1;
    d.Hits += 1;
    if (LastVisit != hit.Visit) {
        Visits += 1;
        d.Visits += 1;
        LastVisit = hit.Visit;
    }
}

TGroupView::TGroupView(std::string_view name, std::string_view members, uint8_t groupingType, int kind)
    : TLogView(name, "", kind), GroupingType(groupingType) {
    static constexpr TCharSet kSemicolon(";");
    for (int i = 0;; ++i) {
        const std::string_view mask = TokenView(members, kSemicolon, i);
        if (mask.empty()) break;
        Masks.emplace_back(mask);
    }
}

bool TGroupView::Matches(std::string_view name) const {
    return std::any_of(Masks.begin(), Masks.end(), [&](const std::string& m) { return MatchesMask(name, m); });
}

void TGroupView::AddMember(const TLogView& row) {
    Members.push_back(&row);
    Hits += row.Hits;
    Visits += row.Visits;
    Bytes += row.Bytes;
    for (const auto& [day, record] : row.DayStats) {
        TDayRecord& d = Day(day);
        d.Hits += record.Hits;
        d.Visits += record.Visits;
        d.Bytes += record.Bytes;
    }
}

const TDayRecord& EmptyDayRecord() {
    static const TDayRecord kEmpty;
    return kEmpty;
}
