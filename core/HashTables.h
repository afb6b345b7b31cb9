#pragma once
// Open-addressing hash tables under the per-line lookups of the analysis: THashTable maps
// non-negative 32-bit keys to objects (duplicate keys allowed, one shared cursor for lookups
// and iteration), TStringTable maps texts to objects. Neither owns the objects.

#include <cstddef>
#include <climits>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

// Raised for programming errors only: a negative key or an unusable capacity.
class EHashTableError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// The untyped table behind THashTable<T> and TStringTable<T>. A slot holds an entry's key
// (0 or more), or -1 when empty, -2 when its entry was removed. A null value reads as none.
class THashTableBase {
public:
    static constexpr int kInitialCapacity = 256;
    static constexpr int kMaxCapacity = 0x3FFFFFF;

    THashTableBase();
    THashTableBase(const THashTableBase&) = delete;
    THashTableBase& operator=(const THashTableBase&) = delete;

    int Count() const { return LiveCount; }
    int Capacity() const { return SlotCount; }
    // Home slot of the key: fraction of key * golden ratio, scaled to the capacity.
    // Raises "Keys must be positive" for a negative key.
    int HashIndex(int key) const;
    // Rebuilds with n slots, entries reinserted in slot order; nothing when n is the
    // capacity. Raises "Invalid capacity" when n > kMaxCapacity or the entries would not
    // stay below 80 % of n.
    void SetCapacity(int n);
    // Empties every slot, keeps the capacity and puts the cursor before the first slot.
    void Clear();

protected:
    struct TSlot {
        int32_t Key;
        void* Value;
    };

    ~THashTableBase() = default;

    void InsertValue(int key, void* value);
    void* FindValue(int key);
    void* FindNextValue(int key);
    void PutValue(int key, void* value);
    void* RemoveValue(int key);
    void* FirstValue();
    void* NextValue();
    void* CurrentValue() const;
    void* RemoveCurrentValue();

    // Slot of the first live entry with the key, or -1; the cursor stays where the search stopped.
    int FindSlot(int key);
    // Next slot after the cursor holding the key, or -1; moves the cursor like FindNextValue.
    int FindNextSlot(int key);
    const std::vector<TSlot>& AllSlots() const { return Slots; }

private:
    void PlaceEntry(int key, void* value);
    void* RemoveAt(int slot);

    std::vector<TSlot> Slots;
    int LiveCount = 0;
    int SlotCount = 0;
    int GrowAt = 0;      // Insert doubles first when Count + 1 reaches this (80 % of the slots)
    int CursorSlot = -1; // -1 before the first slot, SlotCount after the last
};

// Integer keys to objects of type T. Lookups, Insert, Put and Remove move the cursor, so an
// iteration must not be interleaved with them (RemoveCurrent is the way to remove while iterating).
template <class T> class THashTable : public THashTableBase {
public:
    // Adds an entry even when the key is present; the cursor goes to the new entry.
    void Insert(int key, T* value) { InsertValue(key, value); }
    // First entry with the key along its probe sequence, or null.
    T* Find(int key) { return static_cast<T*>(FindValue(key)); }
    // Next entry with the key after the one Find or FindNext returned, or null.
    T* FindNext(int key) { return static_cast<T*>(FindNextValue(key)); }
    // Replaces the value of the entry Find would return; inserts when there is none.
    void Put(int key, T* value) { PutValue(key, value); }
    // Removes the entry Find would return and returns its value; null when absent.
    T* Remove(int key) { return static_cast<T*>(RemoveValue(key)); }

    // Live entries in slot order; null at the end.
    T* First() { return static_cast<T*>(FirstValue()); }
    T* Next() { return static_cast<T*>(NextValue()); }
    T* Current() const { return static_cast<T*>(CurrentValue()); }
    // Removes the entry under the cursor and returns its value (null when the cursor is on
    // no entry); Next continues the iteration.
    T* RemoveCurrent() { return static_cast<T*>(RemoveCurrentValue()); }
};

// A key text with the object stored under it; the text lives in the same allocation.
class TStringTableNode {
public:
    std::string_view Text() const { return {reinterpret_cast<const char*>(this + 1), Length}; }
    void* Object() const { return Item; }

private:
    friend class TStringTableBase;
    TStringTableNode(void* item, size_t length) : Item(item), Length(length) {}

    void* Item;
    size_t Length;
};

// The untyped text table behind TStringTable<T>: nodes keyed by StrHash of their text.
// It owns the nodes, not the objects. Integer-key operations stay hidden so that every
// entry is a node it made.
class TStringTableBase : protected THashTableBase {
public:
    TStringTableBase() = default;
    ~TStringTableBase();

    using THashTableBase::Capacity;
    using THashTableBase::Count;
    using THashTableBase::kMaxCapacity;
    using THashTableBase::SetCapacity;

    // h := h * 131 + byte over the text in wrapping 32-bit arithmetic; the key is |h|
    // (0 for the one h whose magnitude does not fit).
    static int StrHash(std::string_view text) { return HashKey(HashMore(0, text)); }
    // The hash in two steps, for a text made of pieces: HashMore continues the 32-bit sum
    // h over more bytes, HashKey turns the sum into the key.
    static uint32_t HashMore(uint32_t h, std::string_view text);
    static int HashKey(uint32_t h) {
        const auto s = static_cast<int32_t>(h);
        if (s == INT32_MIN) return 0;
        return s < 0 ? -s : s;
    }

    // The first node whose text equals the given one exactly, or null. Moves the cursor.
    const TStringTableNode* FindNode(std::string_view text);
    // Frees every node, then empties the table.
    void Clear();

protected:
    void AddNode(std::string_view text, void* object);
    void* ValueOf(std::string_view text);
    void* FirstObject() { return ObjectOf(FirstValue()); }
    void* NextObject() { return ObjectOf(NextValue()); }
    void* CurrentObject() const { return ObjectOf(CurrentValue()); }

private:
    static void* ObjectOf(void* node) { return node ? static_cast<TStringTableNode*>(node)->Item : nullptr; }
    void FreeNodes();
};

// Texts to objects of type T; the same cursor rules as THashTable.
template <class T> class TStringTable : public TStringTableBase {
public:
    // Adds a node even when the text is present already.
    void Add(std::string_view text, T* object) { AddNode(text, object); }
    // The object of FindNode(text), or null.
    T* Value(std::string_view text) { return static_cast<T*>(ValueOf(text)); }

    // Objects of the live nodes in slot order; null at the end.
    T* First() { return static_cast<T*>(FirstObject()); }
    T* Next() { return static_cast<T*>(NextObject()); }
    T* Current() const { return static_cast<T*>(CurrentObject()); }
};
