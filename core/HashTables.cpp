#include "core/HashTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr double kMultiplier = 0.6180339887498949; // golden-ratio fraction
constexpr double kMaxLoad = 0.8;
constexpr int32_t kEmpty = -1;
constexpr int32_t kRemoved = -2;

// Entries a table of n slots may hold: it must stay below this many.
int MaxLoad(int n) {
    return static_cast<int>(std::lround(kMaxLoad * n));
}

[[noreturn]] void RaiseNegativeKey() {
    throw EHashTableError("Keys must be positive");
}
[[noreturn]] void RaiseInvalidCapacity() {
    throw EHashTableError("Invalid capacity");
}

} // namespace

THashTableBase::THashTableBase()
    : Slots(kInitialCapacity, TSlot{kEmpty, nullptr}), SlotCount(kInitialCapacity), GrowAt(MaxLoad(kInitialCapacity)) {
}

int THashTableBase::HashIndex(int key) const {
    if (key < 0) [[unlikely]]
        RaiseNegativeKey();
    double x = key * kMultiplier;
    x -= static_cast<double>(static_cast<int64_t>(x)); // fractional part; x is never negative
    return static_cast<int>(x * SlotCount);
}

void THashTableBase::SetCapacity(int n) {
    if (n > kMaxCapacity || LiveCount >= MaxLoad(n)) RaiseInvalidCapacity();
    if (n == SlotCount) return;
    std::vector<TSlot> old(static_cast<size_t>(n), TSlot{kEmpty, nullptr});
    old.swap(Slots);
    SlotCount = n;
    GrowAt = MaxLoad(n);
    LiveCount = 0;
    CursorSlot = -1;
    for (const TSlot& slot : old)
        if (slot.Key >= 0) PlaceEntry(slot.Key, slot.Value);
}

void THashTableBase::Clear() {
    std::fill(Slots.begin(), Slots.end(), TSlot{kEmpty, nullptr});
    LiveCount = 0;
    CursorSlot = -1;
}

void THashTableBase::InsertValue(int key, void* value) {
    if (key < 0) RaiseNegativeKey();
    if (LiveCount + 1 >= GrowAt) SetCapacity(SlotCount * 2);
    PlaceEntry(key, value);
}

// Into the first empty or removed slot from the key's home on; the load limit guarantees one.
void THashTableBase::PlaceEntry(int key, void* value) {
    TSlot* slots = Slots.data();
    int i = HashIndex(key);
    while (slots[i].Key >= 0)
        if (++i == SlotCount) i = 0;
    slots[i] = TSlot{key, value};
    ++LiveCount;
    CursorSlot = i;
}

int THashTableBase::FindSlot(int key) {
    const TSlot* slots = Slots.data();
    int i = HashIndex(key);
    for (int left = SlotCount;;) {
        const int32_t k = slots[i].Key;
        if (k == key) {
            CursorSlot = i;
            return i;
        }
        if (k == kEmpty || --left == 0) break;
        if (++i == SlotCount) i = 0;
    }
    CursorSlot = i;
    return -1;
}

// Besides the slot it started from, the walk also ends on getting back to the key's home
// slot: in a table with no empty slot left it would otherwise wrap around to the first
// entry of the key again, and a loop over the duplicates would never end.
int THashTableBase::FindNextSlot(int key) {
    const int home = HashIndex(key);
    const int start = CursorSlot;
    if (start < 0 || start >= SlotCount) return -1;
    const TSlot* slots = Slots.data();
    int i = start;
    for (;;) {
        if (++i == SlotCount) i = 0;
        if (i == start || i == home) break;
        const int32_t k = slots[i].Key;
        if (k == key) {
            CursorSlot = i;
            return i;
        }
        if (k == kEmpty) break;
    }
    CursorSlot = i;
    return -1;
}

void* THashTableBase::FindValue(int key) {
    const int i = FindSlot(key);
    return i >= 0 ? Slots[static_cast<size_t>(i)].Value : nullptr;
}

void* THashTableBase::FindNextValue(int key) {
    const int i = FindNextSlot(key);
    return i >= 0 ? Slots[static_cast<size_t>(i)].Value : nullptr;
}

void THashTableBase::PutValue(int key, void* value) {
    const int i = FindSlot(key);
    if (i >= 0)
        Slots[static_cast<size_t>(i)].Value = value;
    else
        InsertValue(key, value);
}

void* THashTableBase::RemoveValue(int key) {
    const int i = FindSlot(key);
    return i >= 0 ? RemoveAt(i) : nullptr;
}

// A removed slot followed by an empty one ends every probe sequence through it, so it and
// the removed run before it become empty again: no search or placement can tell the
// difference, and churn cannot fill the table with markers that make every miss scan it all.
void* THashTableBase::RemoveAt(int slot) {
    TSlot* slots = Slots.data();
    void* value = slots[slot].Value;
    --LiveCount;
    if (slots[slot + 1 == SlotCount ? 0 : slot + 1].Key != kEmpty) {
        slots[slot] = TSlot{kRemoved, nullptr};
        return value;
    }
    int i = slot;
    do {
        slots[i] = TSlot{kEmpty, nullptr};
        i = i == 0 ? SlotCount - 1 : i - 1;
    } while (slots[i].Key == kRemoved);
    return value;
}

void* THashTableBase::FirstValue() {
    CursorSlot = -1;
    return NextValue();
}

void* THashTableBase::NextValue() {
    const TSlot* slots = Slots.data();
    int i = CursorSlot < 0 ? 0 : CursorSlot + 1;
    while (i < SlotCount && slots[i].Key < 0)
        ++i;
    if (i >= SlotCount) {
        CursorSlot = SlotCount;
        return nullptr;
    }
    CursorSlot = i;
    return slots[i].Value;
}

void* THashTableBase::CurrentValue() const {
    if (CursorSlot < 0 || CursorSlot >= SlotCount) return nullptr;
    const TSlot& s = Slots[static_cast<size_t>(CursorSlot)];
    return s.Key >= 0 ? s.Value : nullptr;
}

void* THashTableBase::RemoveCurrentValue() {
    if (CursorSlot < 0 || CursorSlot >= SlotCount || Slots[static_cast<size_t>(CursorSlot)].Key < 0) return nullptr;
    return RemoveAt(CursorSlot);
}

// --- TStringTableBase ---

TStringTableBase::~TStringTableBase() {
    FreeNodes();
}

uint32_t TStringTableBase::HashMore(uint32_t h, std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    // Four bytes per step: h * 131^4 + c0 * 131^3 + ... + c3 is the same sum with a
    // shorter chain of dependent multiplications.
    constexpr uint32_t k1 = 131, k2 = k1 * k1, k3 = k2 * k1, k4 = k3 * k1;
    size_t i = 0;
    for (; i + 4 <= n; i += 4)
        h = h * k4 + (p[i] * k3 + p[i + 1] * k2) + (p[i + 2] * k1 + p[i + 3]);
    for (; i < n; ++i)
        h = h * k1 + p[i];
    return h;
}

const TStringTableNode* TStringTableBase::FindNode(std::string_view text) {
    const int key = StrHash(text);
    for (int i = FindSlot(key); i >= 0; i = FindNextSlot(key)) {
        const auto* node = static_cast<const TStringTableNode*>(AllSlots()[static_cast<size_t>(i)].Value);
        if (node->Length == text.size() && std::memcmp(node + 1, text.data(), text.size()) == 0) return node;
    }
    return nullptr;
}

void* TStringTableBase::ValueOf(std::string_view text) {
    const TStringTableNode* node = FindNode(text);
    return node ? node->Item : nullptr;
}

void TStringTableBase::AddNode(std::string_view text, void* object) {
    const int key = StrHash(text);
    void* memory = ::operator new(sizeof(TStringTableNode) + text.size());
    auto* node = new (memory) TStringTableNode(object, text.size());
    if (!text.empty()) std::memcpy(node + 1, text.data(), text.size());
    try {
        InsertValue(key, node);
    } catch (...) {
        ::operator delete(memory);
        throw;
    }
}

void TStringTableBase::FreeNodes() {
    for (const TSlot& slot : AllSlots())
        if (slot.Key >= 0) ::operator delete(slot.Value);
}

void TStringTableBase::Clear() {
    FreeNodes();
    THashTableBase::Clear();
}
