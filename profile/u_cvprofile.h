#pragma once
// The keyed record that profiles, filters, URL groups and the general settings derive
// from: named scalar values and lists with a creation date and a format version, kept
// by a store (one XML file per record in a folder of the data folder).

#include "sources/DateTime.h"

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

// One entry of a stored list: a text, optionally paired with an integer.
struct TProfileListEntry {
    std::string Text;
    int32_t Value = 0;
    bool operator==(const TProfileListEntry&) const = default;
};
using TProfileList = std::vector<TProfileListEntry>;

// The integer types of settings (booleans are read by ReadBool).
template <typename T>
concept TSettingInteger = std::integral<T> && !std::same_as<T, bool>;

// value held to T's range, or to [lo, hi] within it; never wrapped.
template <TSettingInteger T>
constexpr T ClampTo(int64_t value, std::type_identity_t<T> lo = std::numeric_limits<T>::min(),
                    std::type_identity_t<T> hi = std::numeric_limits<T>::max()) {
    return static_cast<T>(std::clamp<int64_t>(value, lo, hi));
}

// Whether key is prefix followed by a decimal index ("ExtGrpName12" for "ExtGrpName").
bool IsIndexedKey(std::string_view key, std::string_view prefix);

// The values of one record while it is read or written. Reads and writes act on the
// record last loaded by LoadRecord or being built by SaveRecord.
class TCVProfileInterface {
public:
    // folder: "profiles", "groups", "filters", or "" for a record directly in the data folder.
    explicit TCVProfileInterface(std::string folder) : Folder(std::move(folder)) {}
    virtual ~TCVProfileInterface() = default;
    TCVProfileInterface(const TCVProfileInterface&) = delete;
    TCVProfileInterface& operator=(const TCVProfileInterface&) = delete;

    const std::string Folder;

    // Entries a list keeps when it is read; the rest of a longer list is left out.
    static constexpr size_t kMaxListItems = 10000;

    // Decimal value of the key; def when absent or not a number.
    virtual int64_t ReadInt(std::string_view key, int64_t def);
    // ReadInt(key, 0); def when that gives 0.
    virtual TDateTime ReadDate(std::string_view key, TDateTime def);
    // The key's value without surrounding blanks; def when absent.
    virtual std::string ReadString(std::string_view key, std::string_view def) = 0;
    // Empties list, then fills it from the key. This base form reads flat keys:
    // key + "Count", key + index, and with withInts key + "Int" + index.
    virtual void ReadList(std::string_view key, TProfileList& list, bool withInts);
    virtual bool HasKey(std::string_view key) = 0;

    virtual void WriteInt(std::string_view key, int64_t value);
    // Writes the date's whole day number.
    virtual void WriteDate(std::string_view key, TDateTime value);
    virtual void WriteString(std::string_view key, std::string_view value) = 0;
    // This base form writes the flat keys that the base ReadList reads.
    virtual void WriteList(std::string_view key, const TProfileList& list, bool withInts);

    // Names of all records of the folder, in listing order.
    virtual void ListNames(std::vector<std::string>& names) = 0;
    // Whether a record of that name exists, letter case ignored.
    virtual bool RecordExists(std::string_view name) = 0;
    // Reads the record and calls readValues while it can be read; false (and no call)
    // when the file is missing, empty, larger than 8 MiB, not well-formed or not a record.
    virtual bool LoadRecord(std::string_view name, const std::function<void()>& readValues) = 0;
    // Starts an empty record, calls writeValues, and writes the file safely (a temporary
    // file renamed over the old one). False with the system's message in *error on failure.
    virtual bool SaveRecord(std::string_view name, const std::function<void()>& writeValues, std::string* error) = 0;
    // Removes the record's file, found without regard to letter case; nothing when absent.
    virtual void DeleteRecord(std::string_view name) = 0;

    // Keys of the last loaded record that the next saves do not write themselves are written
    // back after the record's own keys, in their loaded order. This forgets those for which
    // drop is true (all of them for a fresh record).
    virtual void ForgetKeptKeys(const std::function<bool(std::string_view)>& drop) { (void)drop; }

    // While a batch is open the folder is listed once and saves skip their own flushes;
    // for one object writing many records in a row. EndBatch flushes the files written
    // since BeginBatch; false with the system's message in *error when that failed.
    virtual void BeginBatch() {}
    virtual bool EndBatch(std::string* error) {
        (void)error;
        return true;
    }
};

class TCVProfile {
public:
    TCVProfile(std::unique_ptr<TCVProfileInterface> store, std::string defaultName);
    virtual ~TCVProfile();
    TCVProfile(const TCVProfile&) = delete;
    TCVProfile& operator=(const TCVProfile&) = delete;

    std::string StoredName; // name last read or written; empty when never saved
    std::string Name;       // the file is Name + ".xml"
    TDateTime CreationDate = 0;
    int32_t Version = 0;
    std::unique_ptr<TCVProfileInterface> Store;
    std::string DefaultName;

    // What a concrete record reads, writes and defaults; the base has nothing.
    virtual void ReadValues() {}
    virtual void WriteValues() {}
    virtual void SetDefaults() {}
    virtual void SetNewDefaults() {}
    // Converts a record of an older version; false when what it converted into could not all
    // be written, so that the record is not written back now and is converted again next time.
    virtual bool Upgrade(int32_t fromVersion) {
        (void)fromVersion;
        return true;
    }
    virtual int32_t CurrentVersion() const { return 0; }
    // Keys of the record's numbered families: left out of a save when the family has fewer
    // entries now, never kept as unknown keys.
    virtual bool IsOwnKey(std::string_view key) const {
        (void)key;
        return false;
    }

    // Forwarded to Store; valid only inside Load (reads) and Save (writes).
    int64_t ReadInt(std::string_view key, int64_t def) { return Store->ReadInt(key, def); }
    TDateTime ReadDate(std::string_view key, TDateTime def) { return Store->ReadDate(key, def); }
    std::string ReadString(std::string_view key, std::string_view def) { return Store->ReadString(key, def); }
    void ReadList(std::string_view key, TProfileList& list, bool withInts) { Store->ReadList(key, list, withInts); }
    void WriteList(std::string_view key, const TProfileList& list, bool withInts) {
        Store->WriteList(key, list, withInts);
    }
    // The key's integer held to T's range, or to [lo, hi]; def when absent or not a number.
    template <TSettingInteger T>
    T ReadNumber(std::string_view key, T def, std::type_identity_t<T> lo = std::numeric_limits<T>::min(),
                 std::type_identity_t<T> hi = std::numeric_limits<T>::max()) {
        return ClampTo<T>(Store->ReadInt(key, def), lo, hi);
    }
    // A non-zero integer reads as true.
    bool ReadBool(std::string_view key, bool def) { return Store->ReadInt(key, def ? 1 : 0) != 0; }
    void WriteBool(std::string_view key, bool value) { Store->WriteInt(key, value ? 1 : 0); }
    void WriteInt(std::string_view key, int64_t value) { Store->WriteInt(key, value); }
    void WriteDate(std::string_view key, TDateTime value) { Store->WriteDate(key, value); }
    void WriteString(std::string_view key, std::string_view value) { Store->WriteString(key, value); }
    bool HasKey(std::string_view key) { return Store->HasKey(key); }

    // Reads record name; on failure the object becomes a fresh record and false is returned.
    bool Load(std::string_view name);
    // Writes the object under Name; a save under a new name removes the old file
    // afterwards. False with the system's message in *error when the file could not be written.
    bool Save(std::string* error = nullptr);
    // Removes record name; the object forgets it when it is its own Name.
    void Delete(std::string_view name);
    // Name from requested: only A-Z, a-z, 0-9 and "_", DefaultName when nothing is left,
    // made unique in the folder by a number unless it is the record's own name.
    void SetName(std::string_view requested);
    // A fresh, unsaved record with defaults under the first free default name.
    void InitNew();
    // Loads record name as an unsaved copy under a fresh name.
    bool CopyFrom(std::string_view name);
    void ListNames(std::vector<std::string>& names) { Store->ListNames(names); }
};
