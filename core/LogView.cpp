#include "core/LogView.h"

#include "core/LogEntry.h"
#include "core/WebVisit.h"
#include "sources/CUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace {

int32_t DayOf(TDateTime time) {
    return static_cast<int32_t>(std::trunc(time));
}

} // namespace

uint32_t TLogView::VisitId(const TWebVisit* visit) {
    if (!visit) return 0;
    if (visit->Serial != 0) return static_cast<uint32_t>(visit->Serial);
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(visit) >> 4) | 0x80000000u;
}

void TDayList::Reserve(uint32_t capacity) {
    capacity += capacity % 2;
    if (Block && capacity <= Block->Capacity) return;
    const size_t bytes = sizeof(THeader) + (sizeof(int32_t) + sizeof(TDayRecord)) * capacity;
    auto* grown = static_cast<THeader*>(Block ? std::realloc(Block, bytes) : std::malloc(bytes));
    if (!grown) throw std::bad_alloc();
    if (!Block) new (grown) THeader();
    Block = grown;
    // The records follow the day numbers: they move up behind the longer array of days.
    const TDayRecord* oldRecords = Records();
    Block->Capacity = capacity;
    std::memmove(Records(), oldRecords, sizeof(TDayRecord) * Block->Size);
}

void TDayList::Insert(size_t at, int32_t day) {
    if (Block->Size == Block->Capacity) {
        if (Block->Capacity > UINT32_MAX / 2) throw std::bad_alloc();
        // A quarter more (four days at least): a month's rows waste little, a year's still
        // grow in few steps.
        Reserve(Block->Capacity + std::max<uint32_t>(4, Block->Capacity / 4));
    }
    const size_t after = Block->Size - at;
    std::memmove(Records() + at + 1, Records() + at, sizeof(TDayRecord) * after);
    std::memmove(Days() + at + 1, Days() + at, sizeof(int32_t) * after);
    Records()[at] = TDayRecord{};
    Days()[at] = day;
    ++Block->Size;
}

TDayRecord& TLogView::StoredDay(int32_t day) {
    TDayList& days = Days;
    size_t at = days.size();
    if (days.empty() || days.DayAt(at - 1) < day) {
        days.Append(day);
    } else if (days.DayAt(at - 1) == day) {
        at = days.size() - 1;
    } else {
        // A row counted every day has its days at their offset from the first one.
        const int64_t offset = int64_t{day} - days.DayAt(0);
        if (offset >= 0 && offset < static_cast<int64_t>(days.size()) && days.DayAt(static_cast<size_t>(offset)) == day) {
            at = static_cast<size_t>(offset);
        } else {
            at = days.LowerBound(day);
            if (at == days.size() || days.DayAt(at) != day) days.Insert(at, day);
        }
    }
    return days.RecordAt(at);
}

void TLogView::KeepDaysByHand() {
    if (OpenDay == kGroupMark || OpenDay == kByHand) return;
    if (!Days) Days.Make();
    if (OpenDay > kLastMark) {
        const TDayRecord open = OpenCounts();
        StoredDay(OpenDay) += open;
    }
    OpenDay = kByHand;
}

void TLogView::BecomeGroup() {
    KeepDaysByHand();
    OpenDay = kGroupMark;
}

void TLogView::SwitchDay(int32_t day, int32_t hits, int32_t visits, int64_t bytes) {
    if (OpenDay == kGroupMark || OpenDay == kByHand) {
        StoredDay(day) += TDayRecord{hits, visits, bytes};
        return;
    }
    if (!Days) Days.Make();
    // The open day's counts: the totals before this count, less what is settled.
    const TDayRecord before = Days.Settled();
    const TDayRecord open{Hits - hits - before.Hits, Visits - visits - before.Visits, Bytes - bytes - before.Bytes};
    StoredDay(OpenDay) += open;
    // Taken after StoredDay, which may move the list.
    Days.Settled() += open;
    OpenDay = day;
}

TDayRecord& TLogView::Day(int32_t day) {
    KeepDaysByHand();
    return StoredDay(day);
}

TDayRecord TLogView::DayCounts(int32_t day) const {
    TDayRecord result;
    if (Days) {
        const size_t at = Days.LowerBound(day);
        if (at < Days.size() && Days.DayAt(at) == day) result = Days.RecordAt(at);
    }
    if (day == OpenDay) {
        result += OpenCounts();
    }
    return result;
}

void TLogView::AddVisit(const TWebVisit& visit) {
    CountVisit(DayOf(visit.StartTime), visit.HitCount(), visit.Bytes, VisitId(&visit));
}

void TLogView::AddHit(const THit& hit) {
    const uint32_t id = VisitId(hit.Visit);
    CountHit(DayOf(hit.Time), hit.Bytes, LastVisit != id, id);
}

TGroupView::TGroupView(std::string_view name, std::string_view members, uint8_t groupingType, int kind)
    : TLogView({}, {}, kind), OwnName(name), GroupingType(groupingType) {
    Name = std::string_view(OwnName);
    BecomeGroup(); // its totals may be averaged while its days stay sums
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

void TLogView::MergeFrom(TLogView& other) {
    if (OpenDay == kTotalsOnly) {
        Hits += other.Hits;
        Visits += other.Visits;
        Bytes += other.Bytes;
        return;
    }
    if (OpenDay == kNoDay && !Days) {
        Hits = std::exchange(other.Hits, 0);
        Visits = std::exchange(other.Visits, 0);
        Bytes = std::exchange(other.Bytes, 0);
        OpenDay = std::exchange(other.OpenDay, kNoDay);
        Days = std::move(other.Days);
        return;
    }
    other.ForEachDay([this](int32_t day, const TDayRecord& record) { Count(day, record.Hits, record.Visits, record.Bytes); });
}

void TGroupView::AddMember(const TLogView& row) {
    Members.push_back(&row);
    Hits += row.Hits;
    Visits += row.Visits;
    Bytes += row.Bytes;
    row.ForEachDay([this](int32_t day, const TDayRecord& record) { Day(day) += record; });
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

namespace {

constexpr double kMultiplier = 0.6180339887498949; // as THashTableBase

int MaxLoad(int n) {
    return static_cast<int>(std::lround(0.8 * n));
}

} // namespace

TViewTable::TViewTable()
    : Slots(THashTableBase::kInitialCapacity, 0), SlotCount(THashTableBase::kInitialCapacity),
      GrowAt(MaxLoad(THashTableBase::kInitialCapacity)) {
}

TViewTable::~TViewTable() {
    Clear();
}

int TViewTable::HomeSlot(int key) const {
    double x = key * kMultiplier;
    x -= static_cast<double>(static_cast<int64_t>(x));
    return static_cast<int>(x * SlotCount);
}

void TViewTable::Place(int key, uint32_t handle) {
    int i = HomeSlot(key);
    while (Slots[static_cast<size_t>(i)] != 0)
        if (++i == SlotCount) i = 0;
    const uint32_t number = (handle & ~kGroupBit) + 1;
    Slots[static_cast<size_t>(i)] = TagOf(key) | (handle & kGroupBit ? kSlotGroupBit : 0) | number;
    ++LiveCount;
}

void TViewTable::SetCapacity(int n) {
    if (n > THashTableBase::kMaxCapacity || LiveCount >= MaxLoad(n)) throw EHashTableError("Invalid capacity");
    if (n == SlotCount) return;
    std::vector<uint32_t> old(static_cast<size_t>(n), 0);
    old.swap(Slots);
    SlotCount = n;
    GrowAt = MaxLoad(n);
    LiveCount = 0;
    Cursor = -1;
    for (const uint32_t slot : old) {
        if (slot == 0) continue;
        const uint32_t handle = HandleOf(slot);
        Place(KeyOfRow(handle), handle);
    }
}

uint32_t TViewTable::Find(int key, std::string_view name, std::string_view subName) const {
    const uint32_t tag = TagOf(key);
    int i = HomeSlot(key);
    for (int left = SlotCount; left > 0; --left) {
        const uint32_t slot = Slots[static_cast<size_t>(i)];
        if (slot == 0) break;
        if ((slot & ~(kSlotGroupBit | kNumberMask)) == tag) {
            const uint32_t handle = HandleOf(slot);
            if (SameKey(Row(handle), name, subName)) return handle;
        }
        if (++i == SlotCount) i = 0;
    }
    return kNoRow;
}

void TViewTable::PrefetchRow(int key) const {
    const uint32_t slot = Slots[static_cast<size_t>(HomeSlot(key))];
    if (slot == 0 || (slot & kSlotGroupBit) || (slot & ~(kSlotGroupBit | kNumberMask)) != TagOf(key)) return;
    __builtin_prefetch(&Row(HandleOf(slot)));
}

uint32_t TViewTable::Add(int key, std::string_view name, std::string_view subName, int kind) {
    if (RowCount >= kNumberMask) throw EHashTableError("Invalid capacity");
    if ((RowCount & (kChunkRows - 1)) == 0)
        Chunks.push_back(static_cast<TLogView*>(::operator new(sizeof(TLogView) * kChunkRows)));
    new (&Chunks.back()[RowCount & (kChunkRows - 1)]) TLogView(name, subName, kind);
    if (LiveCount + 1 >= GrowAt) SetCapacity(SlotCount * 2);
    Place(key, RowCount);
    return RowCount++;
}

void TViewTable::AddGroup(TLogView* group) {
    if (Groups.size() >= kNumberMask) throw EHashTableError("Invalid capacity");
    if (LiveCount + 1 >= GrowAt) SetCapacity(SlotCount * 2);
    Place(KeyOf(group->Name, {}), kGroupBit | static_cast<uint32_t>(Groups.size()));
    Groups.push_back(group);
}

TLogView* TViewTable::Value(std::string_view key) const {
    // The first line feed splits the key as a row would have been made from it: a row whose
    // name holds one is found by the joined comparison all the same.
    const size_t feed = key.find('\n');
    const std::string_view name = key.substr(0, feed);
    const std::string_view subName = feed == std::string_view::npos ? std::string_view() : key.substr(feed + 1);
    const uint32_t row = Find(TStringTableBase::StrHash(key), name, subName);
    return row == kNoRow ? nullptr : &Row(row);
}

TLogView* TViewTable::First() {
    Cursor = -1;
    return Next();
}

TLogView* TViewTable::Next() {
    int i = Cursor < 0 ? 0 : Cursor + 1;
    while (i < SlotCount && Slots[static_cast<size_t>(i)] == 0)
        ++i;
    Cursor = i;
    return i < SlotCount ? &Row(HandleOf(Slots[static_cast<size_t>(i)])) : nullptr;
}

void TViewTable::Swap(TViewTable& other) noexcept {
    Slots.swap(other.Slots);
    std::swap(SlotCount, other.SlotCount);
    std::swap(LiveCount, other.LiveCount);
    std::swap(GrowAt, other.GrowAt);
    std::swap(Cursor, other.Cursor);
    Chunks.swap(other.Chunks);
    std::swap(RowCount, other.RowCount);
    Groups.swap(other.Groups);
}

void TViewTable::Clear() {
    for (uint32_t i = 0; i < RowCount; ++i)
        Row(i).~TLogView();
    for (TLogView* chunk : Chunks)
        ::operator delete(static_cast<void*>(chunk));
    Chunks.clear();
    RowCount = 0;
    Groups.clear();
    std::fill(Slots.begin(), Slots.end(), 0u);
    LiveCount = 0;
    Cursor = -1;
}

// A distinct path costs a row or two: they stay small.
static_assert(sizeof(void*) != 8 || sizeof(TLogView) <= 56, "a view row outgrew 56 bytes");
