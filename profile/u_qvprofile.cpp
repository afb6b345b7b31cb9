#include "profile/u_qvprofile.h"

#include "profile/u_xmlprofile.h"
#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"
#include "sources/W3CFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

constexpr char kDefaultLogFormatText[] = "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b \"%r\" \"%a\"";
const char* const kDefaultLogFormat = kDefaultLogFormatText;

namespace {

struct TNamedColor {
    const char* Name;
    TColor Value;
};

constexpr TNamedColor kColorNames[] = {
    {"Black", 0x000000},  {"Maroon", 0x000080},  {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000},   {"Purple", 0x800080},  {"Teal", 0x808000},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},     {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},  {"White", 0xFFFFFF},
};

TProfileList ToList(const std::vector<std::string>& texts) {
    TProfileList list;
    list.reserve(texts.size());
    for (const std::string& t : texts)
        list.push_back({t, 0});
    return list;
}

std::vector<std::string> FromList(const TProfileList& list) {
    std::vector<std::string> texts;
    texts.reserve(list.size());
    for (const TProfileListEntry& e : list)
        texts.push_back(e.Text);
    return texts;
}

// The record-name rule: letters, digits and "_" only.
std::string ReduceToRecordName(std::string_view text) {
    static constexpr TCharSet kNameChars("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_");
    return FilterChars(text, kNameChars, false, '\0');
}

// Version 0 kept lists in flat keys; the upgrade reads them and they are not written again.
bool IsVersionZeroListKey(std::string_view key) {
    static constexpr std::string_view kCounts[] = {"LogPathsCount", "UrlTrackCount", "RptIgnoredFilesCount",
                                                   "GroupCount"};
    static constexpr std::string_view kIndexed[] = {"LogPaths",  "UrlTrack",   "RptIgnoredFiles", "GroupName",
                                                    "GroupType", "GroupField", "GroupMembers",    "GroupEnabled"};
    return std::find(std::begin(kCounts), std::end(kCounts), key) != std::end(kCounts) ||
           std::any_of(std::begin(kIndexed), std::end(kIndexed),
                       [&](std::string_view prefix) { return IsIndexedKey(key, prefix); });
}

// The first day of the month `months` after the month of date (negative: before).
TDateTime AddMonths(TDateTime date, int months) {
    const TDateParts p = DecodeDateTime(date);
    int total = p.Year * 12 + (p.Month - 1) + months;
    const int year = total / 12, month = total % 12 + 1;
    TDateTime result = 0;
    TryEncodeDate(year, month, std::min(p.Day, DaysInMonth(year, month)), result);
    return result;
}

} // namespace

std::string ColorToText(TColor color) {
    for (const TNamedColor& c : kColorNames)
        if (c.Value == color) return c.Name;
    // No standard name: a hexadecimal form that TextToColor reads back.
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%08X", color);
    return buf;
}

TColor TextToColor(std::string_view text, TColor fallback) {
    text = TrimView(text);
    if (text.empty()) return 0xFFFFFF;
    std::string_view name = text;
    if (StartsWithNoCase(name, "cl")) name.remove_prefix(2);
    for (const TNamedColor& c : kColorNames)
        if (SameText(c.Name, name)) return c.Value;
    if (text[0] == '$') text.remove_prefix(1);
    if (IsHex(text) && text.size() <= 8) return static_cast<TColor>(HexToInt(text));
    return fallback;
}

namespace {

// The settings in the order the record is written.
constexpr TProfileSetting kProfileSettings[] = {
    {.Key = "TemplateName", .Field = &TQVProfile::TemplateName, .DefaultText = "CV - Menu - IE"},
    {.Key = "EnableFilters", .Field = &TQVProfile::EnableFilters},
    {.Key = "FTPAutoFetch", .Field = &TQVProfile::FTPAutoFetch},
    {.Key = "LastReportDate", .Field = &TQVProfile::LastReportDate},
    {.Key = "ReportDest", .Field = &TQVProfile::ReportDest, .DefaultText = "%mydocuments%/reports/"},
    {.Key = "AltReportDest", .Field = &TQVProfile::AltReportDest},
    {.Key = "LogPaths", .Field = &TQVProfile::LogPaths, .DefaultText = "%mydocuments%/logs/"},
    {.Key = "OpenExt", .Field = &TQVProfile::OpenExt},
    {.Key = "LogExts", .Field = &TQVProfile::LogExts, .DefaultText = "log;gz;zip;", .EndsInSemicolon = true},
    {.Key = "LogReadBuf", .Field = &TQVProfile::LogReadBuf, .Default = 10, .Lo = 1, .Hi = 99},
    {.Key = "UrlTrack", .Field = &TQVProfile::UrlTrack},
    {.Key = "ParamType", .Field = &TQVProfile::ParamType},
    {.Key = "ParamList", .Field = &TQVProfile::ParamList, .EndsInSemicolon = true},
    {.Key = "GroupList", .Field = TEnabledGroupsField{}},
    {.Key = "LogFormat", .Field = &TQVProfile::LogFormat, .DefaultText = kDefaultLogFormatText},
    {.Key = "ExtGrpCount", .Field = TExtGroupsField{}},
    {.Key = "ReportLanguage", .Field = &TQVProfile::ReportLanguage, .DefaultText = "english"},
    {.Key = "DateFormat", .Field = &TQVProfile::DateFormat, .DefaultText = "c"},
    {.Key = "ForceBW", .Field = &TQVProfile::ForceBW, .Default = 2},
    {.Key = "ForceBWT", .Field = &TQVProfile::ForceBWT},
    {.Key = "DailyRowsMax", .Field = &TQVProfile::DailyRowsMax, .Default = 30, .Lo = 0, .Hi = 999},
    {.Key = "DailyTruncMethod", .Field = &TQVProfile::DailyTruncMethod, .Default = 1},
    {.Key = "ChartRenderer", .Field = &TQVProfile::ChartRenderer},
    {.Key = "BGColor", .Field = &TQVProfile::BGColor, .Default = 0xFFFFFF},
    {.Key = "Color1", .Field = TChartColorField{0}, .Default = 0xFF0000},
    {.Key = "Color2", .Field = TChartColorField{1}, .Default = 0x0000FF},
    {.Key = "Color3", .Field = TChartColorField{2}, .Default = 0x008000},
    {.Key = "Color4", .Field = TChartColorField{3}, .Default = 0xC0C0C0},
    {.Key = "Color5", .Field = TChartColorField{4}, .Default = 0x00FFFF},
    {.Key = "Color6", .Field = TChartColorField{5}, .Default = 0x800080},
    {.Key = "AutoOpenReport", .Field = &TQVProfile::AutoOpenReport, .Default = 1},
    {.Key = "CaseSensitive", .Field = &TQVProfile::CaseSensitive, .Default = 1},
    {.Key = "Group206", .Field = &TQVProfile::Group206, .Default = 1},
    {.Key = "IgnoreErrors", .Field = &TQVProfile::IgnoreErrors, .Default = 1},
    {.Key = "UseDNS", .Field = &TQVProfile::UseDNS},
    // Zones of +13 and +14 exist: only the type's range holds the time zone.
    {.Key = "Timezone", .Field = &TQVProfile::Timezone},
    {.Key = "VisitTimeout", .Field = &TQVProfile::VisitTimeout, .Default = 20, .Lo = 1, .Hi = 60},
    {.Key = "AnimNo", .Field = &TQVProfile::AnimNo, .Lo = 0, .Hi = 6},
    {.Key = "FilterName", .Field = &TQVProfile::FilterName, .KeptByDefaults = true},
    {.Key = "RptStartDate", .Field = &TQVProfile::RptStartDate, .KeptByDefaults = true},
    {.Key = "RptEndDate", .Field = &TQVProfile::RptEndDate, .KeptByDefaults = true},
    // Applied with SetRangeType once the dates are read.
    {.Key = "RptRangeType", .Field = &TQVProfile::RptRangeType, .Default = rtUnlimited},
    {.Key = "RptPurgeType", .Field = &TQVProfile::RptPurgeType, .Default = 2},
    {.Key = "RptPurgeParam1", .Field = &TQVProfile::RptPurgeParam1, .DefaultText = "0.5"},
    {.Key = "RptPurgeParam2", .Field = &TQVProfile::RptPurgeParam2, .Default = 25},
    {.Key = "RptPurgeParam3", .Field = &TQVProfile::RptPurgeParam3, .Default = 50},
    {.Key = "RptIncludedSections", .Field = &TQVProfile::RptIncludedSections, .Default = kAllSections},
    {.Key = "RptSplitParam", .Field = &TQVProfile::RptSplitParam, .DefaultText = "Report for %N"},
    {.Key = "RptIgnoredFiles", .Field = &TQVProfile::RptIgnoredFiles},
    {.Key = "FTPHost", .Field = &TQVProfile::FTPHost},
    {.Key = "FTPUsername", .Field = &TQVProfile::FTPUsername},
    {.Key = "FTPPort", .Field = &TQVProfile::FTPPort, .Default = 21},
    {.Key = "FTPSource", .Field = &TQVProfile::FTPSource},
    {.Key = "FTPDest", .Field = &TQVProfile::FTPDest},
};

// Calls visit with the setting's value: a reference to the member or chart colour, or the
// tag of the groups.
template <typename Profile, typename Visit>
decltype(auto) VisitSetting(Profile& profile, const TProfileSetting& setting, Visit&& visit) {
    return std::visit(
        [&](auto field) -> decltype(auto) {
            using F = decltype(field);
            if constexpr (std::is_same_v<F, TChartColorField>)
                return visit(profile.Color[field.Index]);
            else if constexpr (std::is_member_object_pointer_v<F>)
                return visit(profile.*field);
            else
                return visit(field);
        },
        setting.Field);
}

// Stops the build when a field type of the table has no branch in a setting operation.
template <typename> constexpr bool kUnhandledField = false;

// A number held to the setting's bounds within its type.
template <typename T> T ClampSetting(int64_t value, const TProfileSetting& setting) {
    return ClampTo<T>(
        value,
        static_cast<T>(std::clamp<int64_t>(setting.Lo, std::numeric_limits<T>::min(), std::numeric_limits<T>::max())),
        static_cast<T>(std::clamp<int64_t>(setting.Hi, std::numeric_limits<T>::min(), std::numeric_limits<T>::max())));
}

std::string ListText(const std::vector<std::string>& texts) {
    std::string text;
    for (const std::string& t : texts)
        text.append(t).push_back(';');
    return text;
}

} // namespace

std::span<const TProfileSetting> ProfileSettings() {
    return kProfileSettings;
}

TQVProfile::TQVProfile() : TCVProfile(std::make_unique<TXMLProfileInterface>("profiles"), "new_profile") {
    SetDefaults();
}

TQVProfile::~TQVProfile() = default;

void TQVProfile::ResetSetting(const TProfileSetting& setting) {
    if (setting.KeptByDefaults) return;
    VisitSetting(*this, setting, [&](auto& value) {
        using V = std::remove_cvref_t<decltype(value)>;
        if constexpr (std::is_same_v<V, std::string>)
            value.assign(setting.DefaultText);
        else if constexpr (std::is_same_v<V, std::vector<std::string>>)
            value = setting.DefaultText.empty() ? V{} : V{std::string(setting.DefaultText)};
        else if constexpr (std::is_same_v<V, TEnabledGroupsField>)
            ClearGroups();
        else if constexpr (std::is_same_v<V, TExtGroupsField>)
            SetExtGroups({});
        else
            value = static_cast<V>(setting.Default);
    });
}

// An absent key keeps the value the profile has: the default, as Load resets first, or the
// value of the profile loaded before for the settings that SetDefaults leaves alone.
void TQVProfile::ReadSetting(const TProfileSetting& setting) {
    const std::string_view key = setting.Key;
    VisitSetting(*this, setting, [&](auto& value) {
        using V = std::remove_cvref_t<decltype(value)>;
        if constexpr (std::is_same_v<V, std::string>) {
            value = ReadString(key, value);
            if (setting.EndsInSemicolon) value = EnsureTrailingChar(value, ';');
        } else if constexpr (std::is_same_v<V, bool>) {
            value = ReadBool(key, value);
        } else if constexpr (std::is_same_v<V, TDateTime>) {
            value = ReadDate(key, value);
        } else if constexpr (std::is_same_v<V, TColor>) {
            // An unreadable colour is the default one.
            const auto def = static_cast<TColor>(setting.Default);
            value = TextToColor(ReadString(key, ColorToText(def)), def);
        } else if constexpr (std::is_same_v<V, int32_t> || std::is_same_v<V, uint8_t>) {
            value = ClampSetting<V>(ReadInt(key, value), setting);
        } else if constexpr (std::is_same_v<V, std::vector<std::string>>) {
            TProfileList list;
            ReadList(key, list, false);
            value = FromList(list);
            // A list that must not be empty, read empty, gets its default entry back.
            if (value.empty() && !setting.DefaultText.empty()) value = {std::string(setting.DefaultText)};
        } else if constexpr (std::is_same_v<V, TEnabledGroupsField>) {
            TProfileList list;
            ReadList(key, list, false);
            ClearGroups();
            for (size_t i = 0; i < list.size() && GroupCount() < kMaxUrlGroups; ++i)
                AddGroupName(list[i].Text);
        } else if constexpr (std::is_same_v<V, TExtGroupsField>) {
            SetExtGroups({});
            const int count = ReadNumber(key, 0, 0, kMaxExtGroups);
            ExtGroupList.reserve(static_cast<size_t>(count));
            for (int i = 0; i < count; ++i) {
                const std::string n = std::to_string(i);
                const bool path = ReadBool("ExtGrpPath" + n, false);
                const std::string extensions = ReadString("ExtGrpList" + n, "");
                AddExtGroup(ReadString("ExtGrpName" + n, ""), extensions, path);
            }
        } else {
            static_assert(kUnhandledField<V>);
        }
    });
}

void TQVProfile::WriteSetting(const TProfileSetting& setting) {
    const std::string_view key = setting.Key;
    VisitSetting(*this, setting, [&](auto& value) {
        using V = std::remove_cvref_t<decltype(value)>;
        if constexpr (std::is_same_v<V, std::string>) {
            WriteString(key, value);
        } else if constexpr (std::is_same_v<V, bool>) {
            WriteBool(key, value);
        } else if constexpr (std::is_same_v<V, TDateTime>) {
            WriteDate(key, value);
        } else if constexpr (std::is_same_v<V, TColor>) {
            WriteString(key, ColorToText(value));
        } else if constexpr (std::is_same_v<V, int32_t> || std::is_same_v<V, uint8_t>) {
            WriteInt(key, value);
        } else if constexpr (std::is_same_v<V, std::vector<std::string>>) {
            WriteList(key, ToList(value), false);
        } else if constexpr (std::is_same_v<V, TEnabledGroupsField>) {
            TProfileList groups;
            groups.reserve(Groups.size());
            for (const TGroupEntry& g : Groups)
                groups.push_back({g.Name, 0});
            WriteList(key, groups, false);
        } else if constexpr (std::is_same_v<V, TExtGroupsField>) {
            WriteInt(key, static_cast<int64_t>(ExtGroupList.size()));
            for (size_t i = 0; i < ExtGroupList.size(); ++i) {
                const std::string n = std::to_string(i);
                WriteString("ExtGrpName" + n, ExtGroupList[i].Name);
                WriteString("ExtGrpList" + n, ExtGroupList[i].Extensions);
                WriteBool("ExtGrpPath" + n, ExtGroupList[i].Path);
            }
        } else {
            static_assert(kUnhandledField<V>);
        }
    });
}

std::string TQVProfile::SettingText(const TProfileSetting& setting) const {
    return VisitSetting(*this, setting, [&](const auto& value) -> std::string {
        using V = std::remove_cvref_t<decltype(value)>;
        if constexpr (std::is_same_v<V, std::string>) {
            return value;
        } else if constexpr (std::is_same_v<V, bool>) {
            return value ? "1" : "0";
        } else if constexpr (std::is_same_v<V, TDateTime>) {
            return std::to_string(static_cast<int64_t>(std::isfinite(value) ? std::trunc(value) : 0.0));
        } else if constexpr (std::is_same_v<V, TColor>) {
            return ColorToText(value);
        } else if constexpr (std::is_same_v<V, int32_t> || std::is_same_v<V, uint8_t>) {
            return std::to_string(value);
        } else if constexpr (std::is_same_v<V, std::vector<std::string>>) {
            return ListText(value);
        } else if constexpr (std::is_same_v<V, TEnabledGroupsField>) {
            std::string text;
            for (const TGroupEntry& g : Groups)
                text.append(g.Name).push_back(';');
            return text;
        } else if constexpr (std::is_same_v<V, TExtGroupsField>) {
            return std::to_string(ExtGroupList.size());
        } else {
            static_assert(kUnhandledField<V>);
        }
    });
}

void TQVProfile::SetDefaults() {
    for (const TProfileSetting& setting : kProfileSettings)
        ResetSetting(setting);
    SetRangeType(RptRangeType);
}

void TQVProfile::SetNewDefaults() {
    SetDefaultExtGroups();
}

void TQVProfile::ReadValues() {
    for (const TProfileSetting& setting : kProfileSettings)
        ReadSetting(setting);
    // Range types 0 to 7 replace the dates just read.
    SetRangeType(RptRangeType);
}

void TQVProfile::WriteValues() {
    for (const TProfileSetting& setting : kProfileSettings)
        WriteSetting(setting);
}

bool TQVProfile::IsOwnKey(std::string_view key) const {
    return IsIndexedKey(key, "ExtGrpName") || IsIndexedKey(key, "ExtGrpList") || IsIndexedKey(key, "ExtGrpPath");
}

bool TQVProfile::Upgrade(int32_t fromVersion) {
    if (fromVersion != 0) return true;
    // Version 0 kept lists in flat keys: key + "Count" and key + index.
    TProfileList list;
    Store->TCVProfileInterface::ReadList("LogPaths", list, false);
    LogPaths = FromList(list);
    Store->TCVProfileInterface::ReadList("UrlTrack", list, false);
    UrlTrack = FromList(list);
    Store->TCVProfileInterface::ReadList("RptIgnoredFiles", list, false);
    RptIgnoredFiles = FromList(list);

    ClearGroups();
    const int groupCount = ReadNumber("GroupCount", 0, 0, kMaxUrlGroups);
    TQVGroup& group = CurrentGroup();
    // The groups folder is listed once, and the new group files are flushed together
    // before the converted profile is written back.
    group.Store->BeginBatch();
    bool groupsSaved = true;
    for (int i = 0; i < groupCount; ++i) {
        const std::string n = std::to_string(i);
        const std::string displayName = ReadString("GroupName" + n, "");
        const std::string name = ReduceToRecordName(displayName);
        if (name.empty() || !group.Load(name)) {
            group.InitNew();
            group.SetName(name);
            group.DisplayName = displayName;
            group.GroupingType = ReadNumber<uint8_t>("GroupType" + n, 0);
            group.FieldOfEffect = ReadNumber<uint8_t>("GroupField" + n, 0);
            group.SetMembers(ReadString("GroupMembers" + n, ""));
            groupsSaved = group.Save() && groupsSaved;
        }
        if (ReadInt("GroupEnabled" + n, 0) == 1) AddGroupName(group.Name);
    }
    groupsSaved = group.Store->EndBatch(nullptr) && groupsSaved;
    // Until every group is on disk the flat keys stay the only full copy of the groups.
    if (groupsSaved) Store->ForgetKeptKeys(IsVersionZeroListKey);
    return groupsSaved;
}

std::string TQVProfile::ReportFolder() const {
    // An empty destination would be the working directory: the default folder is used instead.
    if (AltReportDest && !TrimView(ReportDest).empty()) return EnsureTrailingSeparator(ExpandFolderMacros(ReportDest));
    return DataFolder() + "reports/" + Name + "/";
}

void TQVProfile::SetExtGroups(std::vector<TQVExt> groups) {
    ExtGroupList = std::move(groups);
    PathExtensionText.clear();
    for (const TQVExt& g : ExtGroupList)
        if (g.Path) PathExtensionText += UpperCase(g.Extensions);
}

void TQVProfile::SetDefaultExtGroups() {
    SetExtGroups({{"Page Views", "HTM;HTML;SHTML;DHTML;PHP;", true},
                  {"Image views", "GIF;JPG;BMP;PNG;", false},
                  {"File downloads", "ZIP;EXE;TXT;", true}});
}

void TQVProfile::AddExtGroup(std::string_view name, std::string_view extensions, bool path) {
    ExtGroupList.push_back({std::string(name), std::string(extensions), path});
    if (path) PathExtensionText += UpperCase(extensions);
}

const TQVExt* TQVProfile::GetExtGroup(int index) const {
    if (index < 0 || index >= ExtGroupCount()) return nullptr;
    return &ExtGroupList[static_cast<size_t>(index)];
}

void TQVProfile::DeleteExtGroup(int index) {
    if (index < 0 || index >= ExtGroupCount()) return;
    std::vector<TQVExt> groups = std::move(ExtGroupList);
    groups.erase(groups.begin() + index);
    SetExtGroups(std::move(groups));
}

TQVGroup* TQVProfile::GetGroup(int index) {
    if (index < 0 || index >= GroupCount()) return nullptr;
    TGroupEntry& entry = Groups[static_cast<size_t>(index)];
    if (!entry.Group) {
        entry.Group = std::make_unique<TQVGroup>();
        // A group without a record stays an empty group that matches nothing.
        entry.Group->Load(entry.Name);
    }
    return entry.Group.get();
}

bool TQVProfile::HasGroup(std::string_view name) const {
    return GroupKeys.contains(LowerCase(name));
}

void TQVProfile::AddGroupName(std::string_view name) {
    if (GroupKeys.insert(LowerCase(name)).second) Groups.push_back({std::string(name), nullptr});
}

void TQVProfile::ClearGroups() {
    Groups.clear();
    GroupKeys.clear();
}

TQVGroup* TQVProfile::FindGroup(std::string_view text, uint8_t fieldOfEffect) {
    for (int i = 0; i < GroupCount(); ++i) {
        TQVGroup* group = GetGroup(i);
        if (group && group->FieldOfEffect == fieldOfEffect && group->Matches(text)) return group;
    }
    return nullptr;
}

void TQVProfile::SetRangeType(uint8_t rangeType) {
    SetRangeType(rangeType, Today());
}

void TQVProfile::SetRangeType(uint8_t rangeType, TDateTime today) {
    RptRangeType = rangeType;
    today = std::trunc(today);
    const double w = DayOfWeek(today);
    const TDateParts p = DecodeDateTime(today);
    TDateTime firstOfMonth = 0, firstOfYear = 0, lastOfYear = 0;
    TryEncodeDate(p.Year, p.Month, 1, firstOfMonth);
    switch (rangeType) {
    case rtToday:
        RptStartDate = RptEndDate = today;
        break;
    case rtYesterday:
        RptStartDate = RptEndDate = today - 1;
        break;
    case rtThisWeek:
        RptStartDate = today - w + 1;
        RptEndDate = today - w + 7;
        break;
    case rtLastWeek:
        RptStartDate = today - w - 6;
        RptEndDate = today - w;
        break;
    case rtThisMonth:
        RptStartDate = firstOfMonth;
        RptEndDate = AddMonths(firstOfMonth, 1) - 1;
        break;
    case rtLastMonth:
        RptStartDate = AddMonths(firstOfMonth, -1);
        RptEndDate = firstOfMonth - 1;
        break;
    case rtThisYear:
    case rtLastYear: {
        const int year = rangeType == rtThisYear ? p.Year : p.Year - 1;
        TryEncodeDate(year, 1, 1, firstOfYear);
        TryEncodeDate(year, 12, 31, lastOfYear);
        RptStartDate = firstOfYear;
        RptEndDate = lastOfYear;
        break;
    }
    default:
        break;
    }
}

bool TQVProfile::RowKept(int64_t count, int64_t total, int rank) const {
    switch (RptPurgeType) {
    case 0: {
        if (total == 0) return true;
        // "0.5" and "0,5" alike; a text that is no number falls back to the default 0.5.
        std::string text = Trim(RptPurgeParam1);
        std::replace(text.begin(), text.end(), ',', '.');
        char* end = nullptr;
        double threshold = text.empty() ? 0.5 : std::strtod(text.c_str(), &end);
        if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(threshold)) threshold = 0.5;
        return static_cast<double>(count) / static_cast<double>(total) >= threshold;
    }
    case 1:
        return count >= RptPurgeParam2;
    case 2:
        return rank < RptPurgeParam3;
    case 3:
        return true;
    default:
        return false;
    }
}

bool TQVProfile::IsPathExtension(std::string_view extension) const {
    // Asked once per hit: short extensions are upper-cased on the stack.
    char key[16];
    if (extension.size() >= sizeof key) return PathExtensionText.find(UpperCase(extension) + ";") != std::string::npos;
    for (size_t i = 0; i < extension.size(); ++i)
        key[i] = ToUpperAscii(extension[i]);
    key[extension.size()] = ';';
    return PathExtensionText.find(std::string_view(key, extension.size() + 1)) != std::string::npos;
}

bool TQVProfile::IsLogFileSelected(std::string_view path) const {
    const std::string expanded = ExpandFolderMacros(path);
    return std::none_of(RptIgnoredFiles.begin(), RptIgnoredFiles.end(),
                        [&](const std::string& e) { return SameText(ExpandFolderMacros(e), expanded); });
}

void TQVProfile::OpenLogFiles() {
    // The chunk size is held to what the settings page offers: a hand-edited 0 would read
    // nothing, a huge value would exhaust memory.
    LogReader.BufferMB = std::clamp<int32_t>(LogReadBuf, 1, 99);
    LogReader.ClearLogFiles();
    const std::string_view extensions = OpenExt ? std::string_view(LogExts) : std::string_view();
    std::vector<TListedLogFile> files;
    std::vector<TLogFolderProblem> problems;
    ListLogFiles(LogPaths, files, extensions, &problems);
    // The warnings follow the order of the folders: a folder's problem before the files after it.
    auto problem = problems.begin();
    const auto warnUpTo = [&](int folderIndex) {
        for (; problem != problems.end() && problem->FolderIndex <= folderIndex; ++problem)
            LogReader.Warnings.push_back(problem->Text);
    };
    size_t excluded = 0;
    for (const TListedLogFile& f : files) {
        warnUpTo(f.FolderIndex);
        if (IsLogFileSelected(f.Path))
            LogReader.AddLogFile(ExpandFolderMacros(f.Path));
        else
            ++excluded;
    }
    warnUpTo(static_cast<int>(LogPaths.size()));
    if (LogReader.Files.empty()) {
        std::string folders;
        for (const std::string& path : LogPaths) {
            const std::string folder = EnsureTrailingSeparator(ExpandFolderMacros(path));
            if (!folder.empty()) folders += (folders.empty() ? "" : ", ") + folder;
        }
        std::string what = "no readable log file";
        if (!extensions.empty()) what += " with the extensions " + std::string(extensions);
        what += " in " + folders;
        if (excluded > 0) what += " (" + std::to_string(excluded) + " left out as ignored files of the profile)";
        LogReader.Warnings.push_back(folders.empty() ? "no log folder is set" : what);
    }
    LogReader.Rewind();
    LineParser.SetFormat(LogFormat);
    CurrentDate = 0;
    LineDate.Clear();
}

bool TQVProfile::NextLogEntry(size_t* budget) {
    for (;;) {
        if (budget) {
            if (*budget == 0) return false;
            --*budget;
        }
        if (!LogReader.ReadLine()) return false;
        const std::string& line = LogReader.CurrentLine;
        if (ApplyW3CDirective(LineParser, line)) continue;
        // Blank lines are not counted as read.
        LogReader.LinesRead += !line.empty();
        LineParser.SetLine(line);
        if (!LineParser.Valid()) {
            LogReader.LinesUnparsed += !line.empty();
            continue;
        }
        CurrentDate = LineDate.Of(LineParser);
        return true;
    }
}

TQVProfile& CurrentProfile() {
    static TQVProfile profile;
    return profile;
}
