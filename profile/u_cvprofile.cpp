#include "profile/u_cvprofile.h"

#include "sources/CUtils.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A damaged flat list count must not make a read run for ages.
constexpr int64_t kMaxFlatListCount = 100000;

std::string IndexedKey(std::string_view key, std::string_view infix, int64_t index) {
    std::string result(key);
    result += infix;
    result += std::to_string(index);
    return result;
}

int32_t ClampToInt32(int64_t value) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

} // namespace

int64_t TCVProfileInterface::ReadInt(std::string_view key, int64_t def) {
    return StrToInt64Def(ReadString(key, ""), def);
}

TDateTime TCVProfileInterface::ReadDate(std::string_view key, TDateTime def) {
    const int64_t day = ReadInt(key, 0);
    return day == 0 ? def : static_cast<TDateTime>(day);
}

void TCVProfileInterface::ReadList(std::string_view key, TProfileList& list, bool withInts) {
    list.clear();
    std::string countKey(key);
    countKey += "Count";
    const int64_t count = std::min(ReadInt(countKey, 0), kMaxFlatListCount);
    for (int64_t i = 0; i < count; ++i) {
        TProfileListEntry entry;
        entry.Text = ReadString(IndexedKey(key, "", i), "");
        if (withInts) entry.Value = ClampToInt32(ReadInt(IndexedKey(key, "Int", i), 0));
        list.push_back(std::move(entry));
    }
}

void TCVProfileInterface::WriteInt(std::string_view key, int64_t value) {
    WriteString(key, std::to_string(value));
}

void TCVProfileInterface::WriteDate(std::string_view key, TDateTime value) {
    // Only the day is kept; a value that is no date at all is written as day 0.
    constexpr double kLimit = 1e15;
    const double day = std::isfinite(value) ? std::clamp(std::trunc(value), -kLimit, kLimit) : 0.0;
    WriteInt(key, static_cast<int64_t>(day));
}

void TCVProfileInterface::WriteList(std::string_view key, const TProfileList& list, bool withInts) {
    std::string countKey(key);
    countKey += "Count";
    WriteInt(countKey, static_cast<int64_t>(list.size()));
    for (size_t i = 0; i < list.size(); ++i) {
        WriteString(IndexedKey(key, "", static_cast<int64_t>(i)), list[i].Text);
        if (withInts) WriteInt(IndexedKey(key, "Int", static_cast<int64_t>(i)), list[i].Value);
    }
}

TCVProfile::TCVProfile(std::unique_ptr<TCVProfileInterface> store, std::string defaultName)
    : Store(std::move(store)), DefaultName(std::move(defaultName)) {
}

TCVProfile::~TCVProfile() = default;

bool TCVProfile::Load(std::string_view name) {
    Name = std::string(name);
    StoredName = Name;
    bool upgraded = false;
    const bool loaded = Store->LoadRecord(name, [&] {
        SetDefaults();
        CreationDate = ReadDate("CreationDate", 0);
        Version = ClampToInt32(ReadInt("profile_version", 0));
        ReadValues();
        if (Version < CurrentVersion()) {
            Upgrade(Version);
            Version = CurrentVersion();
            upgraded = true;
        }
    });
    if (!loaded) {
        InitNew();
        return false;
    }
    // The upgraded record is written back in its current form at once.
    if (upgraded) Save();
    return true;
}

bool TCVProfile::Save(std::string* error) {
    const bool saved = Store->SaveRecord(
        Name,
        [&] {
            if (!HasKey("CreationDate")) WriteDate("CreationDate", CreationDate);
            WriteInt("profile_version", Version);
            WriteValues();
        },
        error);
    if (!saved) return false;
    // Saving under a new name renames the record; the old file goes only now.
    if (!StoredName.empty() && !SameText(StoredName, Name)) Store->DeleteRecord(StoredName);
    StoredName = Name;
    return true;
}

void TCVProfile::Delete(std::string_view name) {
    Store->DeleteRecord(name);
    if (name == Name) {
        SetDefaults();
        StoredName.clear();
        Name.clear();
    }
}

void TCVProfile::SetName(std::string_view requested) {
    std::string reduced;
    std::copy_if(requested.begin(), requested.end(), std::back_inserter(reduced), IsNameChar);
    if (reduced.empty()) reduced = DefaultName;
    if (SameText(reduced, StoredName)) {
        Name = reduced;
        return;
    }
    std::string candidate = reduced;
    for (int suffix = 1; Store->RecordExists(candidate); ++suffix)
        candidate = reduced + std::to_string(suffix);
    Name = candidate;
}

void TCVProfile::InitNew() {
    StoredName.clear();
    SetName(DefaultName);
    CreationDate = Now();
    Version = CurrentVersion();
    SetDefaults();
    SetNewDefaults();
}

bool TCVProfile::CopyFrom(std::string_view name) {
    const bool loaded = Load(name);
    StoredName.clear();
    SetName(DefaultName);
    CreationDate = Now();
    Version = CurrentVersion();
    return loaded;
}
