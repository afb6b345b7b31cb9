#include "profile/u_cvprofile.h"

#include "sources/CUtils.h"

#include <algorithm>
#include <cmath>

namespace {

std::string IndexedKey(std::string_view key, std::string_view infix, int64_t index) {
    std::string result(key);
    result += infix;
    result += std::to_string(index);
    return result;
}

bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

} // namespace

bool IsIndexedKey(std::string_view key, std::string_view prefix) {
    return key.size() > prefix.size() && key.starts_with(prefix) &&
           std::all_of(key.begin() + static_cast<std::ptrdiff_t>(prefix.size()), key.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

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
    const int64_t count = std::min<int64_t>(ReadInt(countKey, 0), kMaxListItems);
    for (int64_t i = 0; i < count; ++i) {
        TProfileListEntry entry;
        entry.Text = ReadString(IndexedKey(key, "", i), "");
        if (withInts) entry.Value = ClampTo<int32_t>(ReadInt(IndexedKey(key, "Int", i), 0));
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
    bool writeBack = false;
    const bool loaded = Store->LoadRecord(name, [&] {
        SetDefaults();
        CreationDate = ReadDate("CreationDate", 0);
        Version = ReadNumber<int32_t>("profile_version", 0);
        ReadValues();
        if (Version < CurrentVersion()) {
            writeBack = Upgrade(Version);
            Version = CurrentVersion();
        }
    });
    if (!loaded) {
        InitNew();
        return false;
    }
    Store->ForgetKeptKeys([this](std::string_view key) { return IsOwnKey(key); });
    // The upgraded record is written back in its current form at once.
    if (writeBack) Save();
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
        Store->ForgetKeptKeys([](std::string_view) { return true; });
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
    Store->ForgetKeptKeys([](std::string_view) { return true; });
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
