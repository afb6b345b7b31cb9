#pragma once
// A row of a statistics view: hits, visits and bytes counted under one key, with the same
// counts per day in the kinds that keep days; a URL group row that absorbs the rows its
// masks match; and the table that finds a view's rows by key. Rows are small: their texts
// live elsewhere (the analyser's arena or the path numbering) and a row counted on one day
// only needs no day list.

#include "core/HashTables.h"
#include "core/ViewKind.h"
#include "sources/DateTime.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class THit;
class TWebVisit;

struct TDayRecord {
    int32_t Hits = 0;
    int32_t Visits = 0;
    int64_t Bytes = 0;

    TDayRecord& operator+=(const TDayRecord& other) {
        Hits += other.Hits;
        Visits += other.Visits;
        Bytes += other.Bytes;
        return *this;
    }
};

// A row's days in order and what was counted on them before the row's open day (Settled), in
// one block of memory: the header, the day numbers, then the records, so that a day costs 20
// bytes (not the 24 of a padded pair), the days a search reads lie together next to the
// header, and a count on a new day reaches its record through one pointer.
class TDayList {
public:
    TDayList() = default;
    TDayList(TDayList&& other) noexcept : Block(std::exchange(other.Block, nullptr)) {}
    TDayList& operator=(TDayList&& other) noexcept {
        std::swap(Block, other.Block);
        return *this;
    }
    ~TDayList() { std::free(Block); }

    // Whether the list was made.
    explicit operator bool() const { return Block != nullptr; }
    // Makes the empty list. Throws std::bad_alloc.
    void Make() { Reserve(4); }

    TDayRecord& Settled() { return Block->Settled; }
    const TDayRecord& Settled() const { return Block->Settled; }
    size_t size() const { return Block->Size; }
    bool empty() const { return Block->Size == 0; }
    // Day i's number and record, in the order of the days.
    int32_t DayAt(size_t i) const { return Days()[i]; }
    TDayRecord& RecordAt(size_t i) const { return Records()[i]; }
    // The index of the first day not before day (size() when there is none).
    size_t LowerBound(int32_t day) const {
        return static_cast<size_t>(std::lower_bound(Days(), Days() + Block->Size, day) - Days());
    }
    // A new last day.
    void Append(int32_t day) { Insert(Block->Size, day); }
    // A new day before the one at index at.
    void Insert(size_t at, int32_t day);

private:
    struct THeader {
        TDayRecord Settled;
        uint32_t Size = 0;
        uint32_t Capacity = 0;
    };
    // The records follow an even number of day numbers, which keeps them 8-byte aligned.
    static_assert(sizeof(THeader) % alignof(TDayRecord) == 0 && 2 * sizeof(int32_t) == alignof(TDayRecord));
    int32_t* Days() const { return reinterpret_cast<int32_t*>(Block + 1); }
    TDayRecord* Records() const { return reinterpret_cast<TDayRecord*>(Days() + Block->Capacity); }
    // Room for capacity days (made even).
    void Reserve(uint32_t capacity);

    THeader* Block = nullptr; // the header, then Capacity day numbers, then Capacity records
};

// A row's text: a view of a text kept elsewhere that reads, compares and joins like a
// string. It takes 12 bytes (a 4-byte length, packed), so that a row's two texts cost 24.
#pragma pack(push, 4)
class TRowText {
public:
    TRowText() = default;
    TRowText(std::string_view text) : Text(text.data()), Length(static_cast<uint32_t>(text.size())) {}
    operator std::string_view() const { return {Text, Length}; }
    operator std::string() const { return std::string(Text, Length); }
    std::string_view View() const { return {Text, Length}; }
    const char* data() const { return Text; }
    size_t size() const { return Length; }
    bool empty() const { return Length == 0; }
    const char* begin() const { return Text; }
    const char* end() const { return Text + Length; }
    template <class T> size_t find(const T& what, size_t from = 0) const { return View().find(what, from); }
    std::string_view substr(size_t from, size_t n = std::string_view::npos) const { return View().substr(from, n); }

    friend bool operator==(const TRowText& a, const TRowText& b) { return a.View() == b.View(); }
    friend bool operator==(const TRowText& a, std::string_view b) { return a.View() == b; }
    friend bool operator<(const TRowText& a, const TRowText& b) { return a.View() < b.View(); }
    friend std::string operator+(const char* a, const TRowText& b) { return std::string(a).append(b.View()); }
    friend std::string operator+(std::string a, const TRowText& b) { return a.append(b.View()); }
    friend std::string operator+(const TRowText& a, const char* b) { return std::string(a.View()).append(b); }
    friend std::string operator+(const TRowText& a, const std::string& b) { return std::string(a.View()).append(b); }

private:
    const char* Text = nullptr;
    uint32_t Length = 0;
};
#pragma pack(pop)

class TLogView {
public:
    TLogView() = default;
    // The texts must outlive the row. Rows do not keep their kind (their table knows it), only
    // whether they keep days (KeepsDays).
    TLogView(std::string_view name, std::string_view subName, int kind)
        : Name(name), SubName(subName), OpenDay(KeepsDays(kind) ? kNoDay : kTotalsOnly) {}

    int64_t Bytes = 0;
    TRowText Name;
    TRowText SubName;       // second key of a two-level view
    uint32_t LastVisit = 0; // the visit counted last (VisitId), for counting distinct visits
    int32_t Hits = 0;
    int32_t Visits = 0;

    // The number that tells a visit apart in LastVisit: its serial, or for a visit made
    // without one, a number from its address.
    static uint32_t VisitId(const TWebVisit* visit);
    // Counts a closed visit, or one of its hits (a visit that is new to the row, or not).
    void AddVisit(const TWebVisit& visit);
    void AddHit(const THit& hit);
    // The same from figures worked out once for every row: the day number of the visit's
    // start or of the hit, and VisitId of the visit.
    void CountVisit(int32_t day, int32_t hits, int64_t bytes, uint32_t visitId) {
        Count(day, hits, 1, bytes);
        LastVisit = visitId;
    }
    void CountHit(int32_t day, int64_t bytes, bool newVisit, uint32_t visitId) {
        Count(day, 1, newVisit ? 1 : 0, bytes);
        LastVisit = visitId;
    }
    // Bytes that join a hit counted before (merged partial content), on the hit's day.
    void AddBytes(int32_t day, int64_t bytes) { Count(day, 0, 0, bytes); }
    // Adds the counts of another row of the same key, day by day (rows counted apart on
    // several threads become one); a row that has counted nothing takes the other's counts
    // and day list whole, leaving the other empty.
    void MergeFrom(TLogView& other);
    // The day's own record, to fill by hand; from then on the row keeps every day in its
    // list and its totals are no longer derived from it. Valid until the row counts again.
    TDayRecord& Day(int32_t day);
    // The counts of the day (zeros when the row has none, or keeps no days).
    TDayRecord DayCounts(int32_t day) const;
    // Calls f(day, record) for every day with counts, in no particular order.
    template <class F> void ForEachDay(F f) const {
        const bool counting = OpenDay > kLastMark;
        const TDayRecord open = OpenCounts();
        bool openDone = !counting;
        if (Days) {
            for (size_t i = 0; i < Days.size(); ++i) {
                const int32_t day = Days.DayAt(i);
                const TDayRecord& record = Days.RecordAt(i);
                if (!openDone && day == OpenDay) {
                    f(day, TDayRecord(record) += open);
                    openDone = true;
                } else {
                    f(day, record);
                }
            }
        }
        if (!openDone) f(OpenDay, open);
    }

    bool IsGroup() const { return OpenDay == kGroupMark; }

protected:
    // Days kept by hand in the list, and the row marked as a group's.
    void BecomeGroup();

private:
    static constexpr int32_t kNoDay = INT32_MIN;
    static constexpr int32_t kGroupMark = INT32_MIN + 1; // in OpenDay: a group, whose days are all listed
    static constexpr int32_t kByHand = INT32_MIN + 2;    // in OpenDay: days filled by hand, all listed
    static constexpr int32_t kTotalsOnly = INT32_MIN + 3; // in OpenDay: a row of a kind that keeps no days
    static constexpr int32_t kLastMark = kTotalsOnly;     // OpenDay above it is a day

    // Counts on the open day live only in the totals: totals less the settled sum.
    void Count(int32_t day, int32_t hits, int32_t visits, int64_t bytes) {
        Hits += hits;
        Visits += visits;
        Bytes += bytes;
        if (day == OpenDay || OpenDay == kTotalsOnly) return;
        if (OpenDay == kNoDay) {
            OpenDay = day;
            return;
        }
        SwitchDay(day, hits, visits, bytes);
    }
    // A count on another day than the open one: the open day's counts go into the list.
    void SwitchDay(int32_t day, int32_t hits, int32_t visits, int64_t bytes);
    // What the open day counted (zeros when there is none).
    TDayRecord OpenCounts() const {
        if (OpenDay <= kLastMark) return {};
        const TDayRecord settled = Days ? Days.Settled() : TDayRecord{};
        return {Hits - settled.Hits, Visits - settled.Visits, Bytes - settled.Bytes};
    }
    // Puts the open day's counts into the list, which from then on holds every day.
    void KeepDaysByHand();
    TDayRecord& StoredDay(int32_t day);

    int32_t OpenDay = kNoDay; // the day counted last, whose counts are not in Days
    TDayList Days;            // sorted by day; made when a second day comes
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

// The rows of one view kind, owned in chunks that never move, and found by key (Name, or
// Name + line feed + SubName). A slot is 4 bytes: the row's number and five bits of its
// key's string hash (the full hash is worked out again from the texts when the table
// grows). Rows take the slots THashTableBase would give their keys (multiplicative home
// slot, linear probing, doubling at 80 % load), so that they come out in the same order as
// from a text table. Group rows join the table at the end, not owned.
class TViewTable {
public:
    static constexpr uint32_t kNoRow = UINT32_MAX;

    TViewTable();
    ~TViewTable();
    TViewTable(const TViewTable&) = delete;
    TViewTable& operator=(const TViewTable&) = delete;

    // The string hash of the key of (name, subName), without joining them.
    static int KeyOf(std::string_view name, std::string_view subName) {
        uint32_t h = TStringTableBase::HashMore(0, name);
        if (!subName.empty()) h = TStringTableBase::HashMore(h * 131 + '\n', subName);
        return TStringTableBase::HashKey(h);
    }
    // The number of the row with the key, or kNoRow.
    uint32_t Find(int key, std::string_view name, std::string_view subName) const;
    // For a search of the key soon: fetches its first slot ahead, or, that slot fetched
    // already, the row the slot names when its tag fits.
    void PrefetchSlot(int key) const { __builtin_prefetch(Slots.data() + HomeSlot(key)); }
    void PrefetchRow(int key) const;
    // Makes a row (its texts must outlive it) and returns its number.
    uint32_t Add(int key, std::string_view name, std::string_view subName, int kind);
    // A row made here, or a group row, by number.
    TLogView& Row(uint32_t number) const {
        if (number & kGroupBit) return *Groups[number & ~kGroupBit];
        return Chunks[number >> kChunkBits][number & (kChunkRows - 1)];
    }
    // The row of the joined key, or null.
    TLogView* Value(std::string_view key) const;
    void AddGroup(TLogView* group);

    // Rows in slot order; null at the end.
    TLogView* First();
    TLogView* Next();

    int Count() const { return LiveCount; }
    int Capacity() const { return SlotCount; }
    // Raises "Invalid capacity" as THashTableBase does.
    void SetCapacity(int n);
    // Frees the rows and empties the table; the capacity stays.
    void Clear();
    // Trades rows, groups and slots with other.
    void Swap(TViewTable& other) noexcept;

private:
    static constexpr uint32_t kGroupBit = 0x80000000u;
    static constexpr int kChunkBits = 12;
    static constexpr uint32_t kChunkRows = 1u << kChunkBits;
    // A slot: 0 when empty, else tag << 27 | group bit << 26 | (row or group number + 1).
    static constexpr int kNumberBits = 26;
    static constexpr uint32_t kNumberMask = (1u << kNumberBits) - 1;
    static constexpr uint32_t kSlotGroupBit = 1u << kNumberBits;
    static uint32_t TagOf(int key) { return static_cast<uint32_t>(key) >> kNumberBits << (kNumberBits + 1); }
    static uint32_t HandleOf(uint32_t slot) {
        const uint32_t number = (slot & kNumberMask) - 1;
        return slot & kSlotGroupBit ? kGroupBit | number : number;
    }
    int KeyOfRow(uint32_t handle) const {
        const TLogView& row = Row(handle);
        return KeyOf(row.Name, row.SubName);
    }

    int HomeSlot(int key) const;
    void Place(int key, uint32_t handle);

    std::vector<uint32_t> Slots;
    int SlotCount = 0;
    int LiveCount = 0;
    int GrowAt = 0;
    int Cursor = -1;
    // Rows are built in place as they come: pages of a chunk not reached yet cost nothing.
    std::vector<TLogView*> Chunks; // raw memory of kChunkRows rows each, freed by Clear
    uint32_t RowCount = 0;
    std::vector<TLogView*> Groups;
};
