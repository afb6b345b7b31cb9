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
    TDayList& days = *Days;
    if (days.empty() || days.back().first < day) return days.emplace_back(day, TDayRecord{}).second;
    // Visits that cross midnight switch between the last two days: those are tried first.
    if (days.back().first == day) return days.back().second;
    if (days.size() >= 2 && days[days.size() - 2].first == day) return days[days.size() - 2].second;
    auto it = std::lower_bound(days.begin(), days.end(), day,
                               [](const std::pair<int32_t, TDayRecord>& d, int32_t value) { return d.first < value; });
    if (it == days.end() || it->first != day) it = days.insert(it, {day, TDayRecord{}});
    return it->second;
}

void TLogView::KeepDayList() {
    if (Days) return;
    Days = std::make_unique<TDayList>();
    if (OnlyDay != kNoDay) Days->emplace_back(OnlyDay, TDayRecord{Hits, Visits, Bytes});
}

// While every count falls on one day, the row's totals are that day's record.
void TLogView::Count(int32_t day, int32_t hits, int32_t visits, int64_t bytes) {
    if (!Days) {
        if (OnlyDay == day || OnlyDay == kNoDay) {
            OnlyDay = day;
            Hits += hits;
            Visits += visits;
            Bytes += bytes;
            return;
        }
        KeepDayList();
    }
    TDayRecord& d = StoredDay(day);
    d.Hits += hits;
    d.Visits += visits;
    d.Bytes += bytes;
    Hits += hits;
    Visits += visits;
    Bytes += bytes;
}

TDayRecord& TLogView::Day(int32_t day) {
    KeepDayList();
    return StoredDay(day);
}

TDayRecord TLogView::DayCounts(int32_t day) const {
    if (!Days) return day == OnlyDay ? TDayRecord{Hits, Visits, Bytes} : TDayRecord{};
    const auto it =
        std::lower_bound(Days->begin(), Days->end(), day,
                         [](const std::pair<int32_t, TDayRecord>& d, int32_t value) { return d.first < value; });
    return it != Days->end() && it->first == day ? it->second : TDayRecord{};
}

void TLogView::AddVisit(const TWebVisit& visit) {
    Count(DayOf(visit.StartTime), visit.HitCount(), 1, visit.Bytes);
    LastVisit = VisitId(&visit);
}

void TLogView::AddHit(const TLogEntry& hit) {
    AddHit(hit, LastVisit != VisitId(hit.Visit));
}

void TLogView::AddHit(const TLogEntry& hit, bool newVisit) {
    Count(DayOf(hit.Time), 1, newVisit ? 1 : 0, hit.Bytes);
    LastVisit = VisitId(hit.Visit);
}

void TLogView::AddBytes(TDateTime time, int64_t bytes) {
    Count(DayOf(time), 0, 0, bytes);
}

TGroupView::TGroupView(std::string_view name, std::string_view members, uint8_t groupingType, int kind)
    : TLogView({}, {}, kind), OwnName(name), GroupingType(groupingType) {
    Name = std::string_view(OwnName);
    Group = true;
    KeepDayList(); // its totals may be averaged while its days stay sums
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
    row.ForEachDay([this](int32_t day, const TDayRecord& record) {
        TDayRecord& d = Day(day);
        d.Hits += record.Hits;
        d.Visits += record.Visits;
        d.Bytes += record.Bytes;
    });
}

namespace {

// Whether the row's key is name, or name + line feed + subName when subName is not empty.
bool SameKey(const TLogView& row, std::string_view name, std::string_view subName) {
    if (row.SubName.empty() == subName.empty()) return row.Name == name && row.SubName == subName;
    // A line feed inside a name can make the joined keys equal all the same.
    const auto joined = [](std::string_view a, std::string_view b) {
        std::string key(a);
        if (!b.empty()) key.append(1, '\n').append(b);
        return key;
    };
    return joined(row.Name, row.SubName) == joined(name, subName);
}

} // namespace

TLogView* TViewTable::Find(int key, std::string_view name, std::string_view subName) {
    for (int i = FindSlot(key); i >= 0; i = FindNextSlot(key)) {
        auto* row = static_cast<TLogView*>(AllSlots()[static_cast<size_t>(i)].Value);
        if (SameKey(*row, name, subName)) return row;
    }
    return nullptr;
}

TLogView* TViewTable::Value(std::string_view key) {
    // The first line feed splits the key as a row would have been made from it: a row whose
    // name holds one is found by the joined comparison all the same.
    const size_t feed = key.find('\n');
    const std::string_view name = key.substr(0, feed);
    const std::string_view subName = feed == std::string_view::npos ? std::string_view() : key.substr(feed + 1);
    const int hash = TStringTableBase::StrHash(key);
    for (int i = FindSlot(hash); i >= 0; i = FindNextSlot(hash)) {
        auto* row = static_cast<TLogView*>(AllSlots()[static_cast<size_t>(i)].Value);
        if (SameKey(*row, name, subName)) return row;
    }
    return nullptr;
}
