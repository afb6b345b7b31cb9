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

THashTableBase::THashTableBase() : Slots(kInitialCapacity, TSlot{kEmpty, nullptr}), SlotCount(kInitialCapacity) {
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
    if (LiveCount + 1 >= MaxLoad(SlotCount)) SetCapacity(SlotCount * 2);
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

int THashTableBase::FindNextSlot(int key) {
    if (key < 0) RaiseNegativeKey();
    const int start = CursorSlot;
    if (start < 0 || start >= SlotCount) return -1;
    const TSlot* slots = Slots.data();
    int i = start;
    for (;;) {
        if (++i == SlotCount) i = 0;
        if (i == start) break;
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

void* THashTableBase::RemoveAt(int slot) {
    TSlot& s = Slots[static_cast<size_t>(slot)];
    void* value = s.Value;
    s = TSlot{kRemoved, nullptr};
    --LiveCount;
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

int TStringTableBase::StrHash(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    uint32_t h = 0;
    for (size_t i = 0; i < n; ++i)
        h = h * 131u + p[i];
    const auto s = static_cast<int32_t>(h);
    if (s == INT32_MIN) return 0;
    return s < 0 ? -s : s;
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
