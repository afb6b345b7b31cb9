#include "profile/u_qvprofile.h"

#include "profile/u_xmlprofile.h"
#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"
#include "sources/W3CFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

const char* const kDefaultLogFormat = "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b \"%r\" \"%a\"";

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

constexpr TColor kDefaultColors[6] = {0xFF0000, 0x0000FF, 0x008000, 0xC0C0C0, 0x00FFFF, 0x800080};
constexpr TColor kDefaultBackground = 0xFFFFFF;
const char* const kColorKeys[6] = {"Color1", "Color2", "Color3", "Color4", "Color5", "Color6"};

// Keys are written in this order, after "CreationDate" and "profile_version".
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

TQVProfile::TQVProfile() : TCVProfile(std::make_unique<TXMLProfileInterface>("profiles"), "new_profile") {
    SetDefaults();
}

TQVProfile::~TQVProfile() = default;

void TQVProfile::SetDefaults() {
    LogPaths = {"%mydocuments%/logs/"};
    OpenExt = false;
    LogExts = "log;gz;zip;";
    LogReadBuf = 10;
    LogFormat = kDefaultLogFormat;
    TemplateName = "CV - Menu - IE";
    ReportLanguage = "english";
    AltReportDest = false;
    ReportDest = "%mydocuments%/reports/";
    ChartRenderer = 0;
    std::copy(std::begin(kDefaultColors), std::end(kDefaultColors), Color);
    BGColor = kDefaultBackground;
    DateFormat = "c";
    DailyRowsMax = 30;
    DailyTruncMethod = 1;
    ForceBW = 2;
    ForceBWT = 0;
    EnableFilters = false;
    UrlTrack.clear();
    ParamType = 0;
    ParamList.clear();
    ClearGroups();
    ExtGroups.clear();
    PathExtensions.clear();
    FTPHost.clear();
    FTPUsername.clear();
    FTPSource.clear();
    FTPDest.clear();
    FTPPort = 21;
    FTPAutoFetch = false;
    AutoOpenReport = true;
    CaseSensitive = true;
    Group206 = true;
    IgnoreErrors = true;
    UseDNS = false;
    Timezone = 0;
    VisitTimeout = 20;
    AnimNo = 0;
    RptPurgeType = 2;
    RptPurgeParam2 = 25;
    RptPurgeParam3 = 50;
    RptIncludedSections = kAllSections;
    RptPurgeParam1 = "0.5";
    RptSplitParam = "Report for %N";
    RptIgnoredFiles.clear();
    LastReportDate = 0;
    SetRangeType(rtUnlimited);
}

void TQVProfile::SetNewDefaults() {
    SetDefaultExtGroups();
}

void TQVProfile::ReadValues() {
    TemplateName = ReadString("TemplateName", TemplateName);
    EnableFilters = ReadBool("EnableFilters", EnableFilters);
    FTPAutoFetch = ReadBool("FTPAutoFetch", FTPAutoFetch);
    LastReportDate = ReadDate("LastReportDate", LastReportDate);
    AltReportDest = ReadBool("AltReportDest", AltReportDest);
    ReportDest = ReadString("ReportDest", ReportDest);
    ParamType = ReadNumber<uint8_t>("ParamType", 0);
    ParamList = EnsureTrailingChar(ReadString("ParamList", ""), ';');
    TProfileList list;
    ReadList("UrlTrack", list, false);
    UrlTrack = FromList(list);
    ReadList("GroupList", list, false);
    ClearGroups();
    for (size_t i = 0; i < list.size() && GroupCount() < kMaxUrlGroups; ++i)
        AddGroupName(list[i].Text);
    FTPHost = ReadString("FTPHost", FTPHost);
    FTPUsername = ReadString("FTPUsername", FTPUsername);
    FTPSource = ReadString("FTPSource", FTPSource);
    FTPPort = ReadNumber("FTPPort", FTPPort);
    FTPDest = ReadString("FTPDest", FTPDest);
    ReadList("LogPaths", list, false);
    LogPaths = FromList(list);
    if (LogPaths.empty()) LogPaths = {"%mydocuments%/logs/"};
    OpenExt = ReadBool("OpenExt", OpenExt);
    LogExts = EnsureTrailingChar(ReadString("LogExts", LogExts), ';');
    LogReadBuf = ReadNumber("LogReadBuf", LogReadBuf, 1, 99);
    LogFormat = ReadString("LogFormat", LogFormat);
    ExtGroups.clear();
    const int extCount = ReadNumber("ExtGrpCount", 0, 0, kMaxExtGroups);
    ExtGroups.reserve(static_cast<size_t>(extCount));
    for (int i = 0; i < extCount; ++i) {
        const std::string n = std::to_string(i);
        const bool path = ReadBool("ExtGrpPath" + n, false);
        const std::string extensions = ReadString("ExtGrpList" + n, "");
        AddExtGroup(ReadString("ExtGrpName" + n, ""), extensions, path);
    }
    PathExtensions.clear();
    for (const TQVExt& g : ExtGroups)
        if (g.Path) PathExtensions += UpperCase(g.Extensions);
    FilterName = ReadString("FilterName", FilterName);
    DateFormat = ReadString("DateFormat", DateFormat);
    DailyRowsMax = ReadNumber("DailyRowsMax", DailyRowsMax, 0, 999);
    DailyTruncMethod = ReadNumber("DailyTruncMethod", DailyTruncMethod);
    ReportLanguage = ReadString("ReportLanguage", ReportLanguage);
    ForceBW = ReadNumber("ForceBW", ForceBW);
    ForceBWT = ReadNumber("ForceBWT", ForceBWT);
    ChartRenderer = ReadNumber<uint8_t>("ChartRenderer", 0);
    BGColor = TextToColor(ReadString("BGColor", ColorToText(kDefaultBackground)), kDefaultBackground);
    for (int i = 0; i < 6; ++i)
        Color[i] = TextToColor(ReadString(kColorKeys[i], ColorToText(kDefaultColors[i])), kDefaultColors[i]);
    AutoOpenReport = ReadBool("AutoOpenReport", AutoOpenReport);
    CaseSensitive = ReadBool("CaseSensitive", CaseSensitive);
    Group206 = ReadBool("Group206", Group206);
    IgnoreErrors = ReadBool("IgnoreErrors", IgnoreErrors);
    UseDNS = ReadBool("UseDNS", UseDNS);
    // Zones of +13 and +14 exist: only the type's range holds the time zone.
    Timezone = ReadNumber("Timezone", Timezone);
    VisitTimeout = ReadNumber("VisitTimeout", VisitTimeout, 1, 60);
    AnimNo = ReadNumber("AnimNo", AnimNo, 0, 6);
    RptStartDate = ReadDate("RptStartDate", RptStartDate);
    RptEndDate = ReadDate("RptEndDate", RptEndDate);
    SetRangeType(ReadNumber("RptRangeType", RptRangeType));
    RptPurgeType = ReadNumber("RptPurgeType", RptPurgeType);
    RptPurgeParam1 = ReadString("RptPurgeParam1", "0.5");
    RptPurgeParam2 = ReadNumber("RptPurgeParam2", RptPurgeParam2);
    RptPurgeParam3 = ReadNumber("RptPurgeParam3", RptPurgeParam3);
    RptIncludedSections = ReadNumber("RptIncludedSections", RptIncludedSections);
    RptSplitParam = ReadString("RptSplitParam", RptSplitParam);
    ReadList("RptIgnoredFiles", list, false);
    RptIgnoredFiles = FromList(list);
}

void TQVProfile::WriteValues() {
    WriteString("TemplateName", TemplateName);
    WriteBool("EnableFilters", EnableFilters);
    WriteBool("FTPAutoFetch", FTPAutoFetch);
    WriteDate("LastReportDate", LastReportDate);
    WriteString("ReportDest", ReportDest);
    WriteBool("AltReportDest", AltReportDest);
    WriteList("LogPaths", ToList(LogPaths), false);
    WriteBool("OpenExt", OpenExt);
    WriteString("LogExts", LogExts);
    WriteInt("LogReadBuf", LogReadBuf);
    WriteList("UrlTrack", ToList(UrlTrack), false);
    WriteInt("ParamType", ParamType);
    WriteString("ParamList", ParamList);
    TProfileList groups;
    for (const TGroupEntry& g : Groups)
        groups.push_back({g.Name, 0});
    WriteList("GroupList", groups, false);
    WriteString("LogFormat", LogFormat);
    WriteInt("ExtGrpCount", static_cast<int64_t>(ExtGroups.size()));
    for (size_t i = 0; i < ExtGroups.size(); ++i) {
        const std::string n = std::to_string(i);
        WriteString("ExtGrpName" + n, ExtGroups[i].Name);
        WriteString("ExtGrpList" + n, ExtGroups[i].Extensions);
        WriteBool("ExtGrpPath" + n, ExtGroups[i].Path);
    }
    WriteString("ReportLanguage", ReportLanguage);
    WriteString("DateFormat", DateFormat);
    WriteInt("ForceBW", ForceBW);
    WriteInt("ForceBWT", ForceBWT);
    WriteInt("DailyRowsMax", DailyRowsMax);
    WriteInt("DailyTruncMethod", DailyTruncMethod);
    WriteInt("ChartRenderer", ChartRenderer);
    WriteString("BGColor", ColorToText(BGColor));
    for (int i = 0; i < 6; ++i)
        WriteString(kColorKeys[i], ColorToText(Color[i]));
    WriteBool("AutoOpenReport", AutoOpenReport);
    WriteBool("CaseSensitive", CaseSensitive);
    WriteBool("Group206", Group206);
    WriteBool("IgnoreErrors", IgnoreErrors);
    WriteBool("UseDNS", UseDNS);
    WriteInt("Timezone", Timezone);
    WriteInt("VisitTimeout", VisitTimeout);
    WriteInt("AnimNo", AnimNo);
    WriteString("FilterName", FilterName);
    WriteDate("RptStartDate", RptStartDate);
    WriteDate("RptEndDate", RptEndDate);
    WriteInt("RptRangeType", RptRangeType);
    WriteInt("RptPurgeType", RptPurgeType);
    WriteString("RptPurgeParam1", RptPurgeParam1);
    WriteInt("RptPurgeParam2", RptPurgeParam2);
    WriteInt("RptPurgeParam3", RptPurgeParam3);
    WriteInt("RptIncludedSections", RptIncludedSections);
    WriteString("RptSplitParam", RptSplitParam);
    WriteList("RptIgnoredFiles", ToList(RptIgnoredFiles), false);
    WriteString("FTPHost", FTPHost);
    WriteString("FTPUsername", FTPUsername);
    WriteInt("FTPPort", FTPPort);
    WriteString("FTPSource", FTPSource);
    WriteString("FTPDest", FTPDest);
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

void TQVProfile::SetDefaultExtGroups() {
    ExtGroups.clear();
    AddExtGroup("Page Views", "HTM;HTML;SHTML;DHTML;PHP;", true);
    AddExtGroup("Image views", "GIF;JPG;BMP;PNG;", false);
    AddExtGroup("File downloads", "ZIP;EXE;TXT;", true);
}

void TQVProfile::AddExtGroup(std::string_view name, std::string_view extensions, bool path) {
    ExtGroups.push_back({std::string(name), std::string(extensions), path});
}

const TQVExt* TQVProfile::GetExtGroup(int index) const {
    if (index < 0 || index >= ExtGroupCount()) return nullptr;
    return &ExtGroups[static_cast<size_t>(index)];
}

void TQVProfile::DeleteExtGroup(int index) {
    if (index >= 0 && index < ExtGroupCount()) ExtGroups.erase(ExtGroups.begin() + index);
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
    if (extension.size() >= sizeof key) return PathExtensions.find(UpperCase(extension) + ";") != std::string::npos;
    for (size_t i = 0; i < extension.size(); ++i)
        key[i] = ToUpperAscii(extension[i]);
    key[extension.size()] = ';';
    return PathExtensions.find(std::string_view(key, extension.size() + 1)) != std::string::npos;
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
    CurrentDateKey.clear();
}

bool TQVProfile::NextLogEntry() {
    for (;;) {
        if (!LogReader.ReadLine()) return false;
        const std::string& line = LogReader.CurrentLine;
        if (!line.empty() && line[0] == '#') {
            if (line.compare(0, 5, "#Date") == 0) {
                LineParser.SetFormat(kW3CDateFormat);
                LineParser.SetLine(line);
            } else if (line.compare(0, 7, "#Fields") == 0) {
                LineParser.SetFormat(W3CFieldsToFormat(line));
            }
            continue;
        }
        LineParser.SetLine(line);
        if (!LineParser.Valid()) continue;
        const std::string& y = LineParser.Field('y');
        const std::string& m = LineParser.Field('m');
        const std::string& d = LineParser.Field('d');
        // The date is converted only when its texts change, which is rare.
        if (CurrentDateKey.size() != y.size() + m.size() + d.size() || CurrentDateKey.compare(0, y.size(), y) != 0 ||
            CurrentDateKey.compare(y.size(), m.size(), m) != 0 ||
            CurrentDateKey.compare(y.size() + m.size(), d.size(), d) != 0) {
            CurrentDateKey.assign(y).append(m).append(d);
            CurrentDate = DateFromParts(y, m, d);
        }
        return true;
    }
}

TQVProfile& CurrentProfile() {
    static TQVProfile profile;
    return profile;
}
