#include "core/LogView.h"

#include "core/LogEntry.h"
#include "core/WebVisit.h"
#include "sources/CUtils.h"

#include <algorithm>
#include <cmath>

namespace {

// The visit's serial, so that a recycled visit object counts as a new visit; visits made
// without one are told apart by their address.
uint64_t VisitId(const TWebVisit* visit) {
    if (!visit) return 0;
    return visit->Serial != 0 ? visit->Serial : reinterpret_cast<uintptr_t>(visit) | (uint64_t{1} << 63);
}

int32_t DayOf(TDateTime time) {
    return static_cast<int32_t>(std::trunc(time));
}

} // namespace

TDayRecord& TLogView::StoredDay(int32_t day) {
    if (DayStats.empty() || DayStats.back().first < day) return DayStats.emplace_back(day, TDayRecord{}).second;
    // Visits that cross midnight switch between the last two days: those are tried first.
    if (DayStats.back().first == day) return DayStats.back().second;
    if (DayStats.size() >= 2 && DayStats[DayStats.size() - 2].first == day) return DayStats[DayStats.size() - 2].second;
    auto it = std::lower_bound(DayStats.begin(), DayStats.end(), day,
                               [](const std::pair<int32_t, TDayRecord>& d, int32_t value) { return d.first < value; });
    if (it == DayStats.end() || it->first != day) it = DayStats.insert(it, {day, TDayRecord{}});
    return it->second;
}

TDayRecord& TLogView::Day(int32_t day) {
    if (day != OpenDay) {
        SettleDays();
        OpenDay = day;
    }
    return OpenRecord;
}

void TLogView::SettleDays() {
    if (OpenDay == INT32_MIN) return;
    TDayRecord& stored = StoredDay(OpenDay);
    stored.Hits += OpenRecord.Hits;
    stored.Visits += OpenRecord.Visits;
    stored.Bytes += OpenRecord.Bytes;
    OpenDay = INT32_MIN;
    OpenRecord = TDayRecord{};
}

TDayRecord TLogView::DayCounts(int32_t day) const {
    TDayRecord result;
    const auto it =
        std::lower_bound(DayStats.begin(), DayStats.end(), day,
                         [](const std::pair<int32_t, TDayRecord>& d, int32_t value) { return d.first < value; });
    if (it != DayStats.end() && it->first == day) result = it->second;
    if (day == OpenDay) {
        result.Hits += OpenRecord.Hits;
        result.Visits += OpenRecord.Visits;
        result.Bytes += OpenRecord.Bytes;
    }
    return result;
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
    LastVisit = VisitId(&visit);
}

void TLogView::AddHit(const TLogEntry& hit) {
    TDayRecord& d = Day(DayOf(hit.Time));
    Bytes += hit.Bytes;
    d.Bytes += hit.Bytes;
    CountTime(hit.Time);
    Hits += 1;
    d.Hits += 1;
    const uint64_t serial = VisitId(hit.Visit);
    if (LastVisit != serial) {
        Visits += 1;
        d.Visits += 1;
        LastVisit = serial;
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

void TGroupView::AddMember(TLogView& row) {
    row.SettleDays();
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
