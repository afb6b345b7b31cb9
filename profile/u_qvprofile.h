#pragma once
// A profile: everything known about one web site — where its logs are and how to read
// them, the filter, groups, tracked URLs and parameters that apply, the report's date
// range and look. Every setting has its default; the one CurrentProfile is shared.

#include "core/CParser.h"
#include "core/u_qvprofile_group.h"
#include "profile/u_cvprofile.h"
#include "sources/LogReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// A colour laid out 0x00BBGGRR (red in the lowest byte).
using TColor = uint32_t;

// Colour names as stored ("Blue"); a colour without a name as "$00BBGGRR".
std::string ColorToText(TColor color);
// The stored text back to a colour; an empty text is white, an unreadable one fallback.
TColor TextToColor(std::string_view text, TColor fallback);

// One extension group: a title, upper-case extensions each followed by ";", and whether
// its files count for the paths analysis.
struct TQVExt {
    std::string Name;
    std::string Extensions;
    bool Path = false;
};

// Report date ranges.
enum TRangeType : uint8_t {
    rtToday = 0,
    rtYesterday,
    rtThisWeek,
    rtLastWeek,
    rtThisMonth,
    rtLastMonth,
    rtThisYear,
    rtLastYear,
    rtUnlimited,
    rtCustom,
};

constexpr int32_t kAllSections = 0x7FFFFFFF;
extern const char* const kDefaultLogFormat;

class TQVProfile : public TCVProfile {
public:
    TQVProfile();
    ~TQVProfile() override;

    // Entries a read keeps; no real profile comes near them.
    static constexpr int kMaxExtGroups = 1000;
    static constexpr int kMaxUrlGroups = 1000;

    std::vector<std::string> LogPaths;
    bool OpenExt = false;
    std::string LogExts;
    int32_t LogReadBuf = 10;
    std::string LogFormat;
    std::string TemplateName;
    std::string ReportLanguage;
    bool AltReportDest = false;
    std::string ReportDest;
    uint8_t ChartRenderer = 0; // 0 raster, 1 vector
    TColor Color[6] = {};      // Color1 ... Color6
    TColor BGColor = 0;
    std::string DateFormat;
    int32_t DailyRowsMax = 30;
    int32_t DailyTruncMethod = 1;
    int32_t ForceBW = 2;
    int32_t ForceBWT = 0;
    bool EnableFilters = false;
    std::string FilterName; // not reset by SetDefaults
    std::vector<std::string> UrlTrack;
    uint8_t ParamType = 0;
    std::string ParamList;
    std::vector<TQVExt> ExtGroups;
    std::string FTPHost;
    std::string FTPUsername;
    std::string FTPSource;
    std::string FTPDest;
    int32_t FTPPort = 21;
    bool FTPAutoFetch = false;
    bool AutoOpenReport = true;
    bool CaseSensitive = true;
    bool Group206 = true;
    bool IgnoreErrors = true;
    bool UseDNS = false;
    int32_t Timezone = 0;
    int32_t VisitTimeout = 20;
    int32_t AnimNo = 0;
    TDateTime RptStartDate = 0; // not reset by SetDefaults
    TDateTime RptEndDate = 0;   // not reset by SetDefaults
    uint8_t RptRangeType = rtUnlimited;
    int32_t RptPurgeType = 2;
    int32_t RptPurgeParam2 = 25;
    int32_t RptPurgeParam3 = 50;
    int32_t RptIncludedSections = kAllSections;
    std::string RptPurgeParam1; // a decimal number as text
    std::string RptSplitParam;
    std::vector<std::string> RptIgnoredFiles;
    TDateTime LastReportDate = 0;

    TLogFileReader LogReader;
    TCParser LineParser;
    std::string PathExtensions; // derived from ExtGroups by ReadValues
    TDateTime CurrentDate = 0;  // date of the last delivered line
    std::string CurrentDateKey; // its y, m and d texts joined

    void ReadValues() override;
    void WriteValues() override;
    void SetDefaults() override;
    void SetNewDefaults() override;
    bool Upgrade(int32_t fromVersion) override;
    int32_t CurrentVersion() const override { return 1; }
    bool IsOwnKey(std::string_view key) const override;

    // The folder of this profile's reports, ending in "/".
    std::string ReportFolder() const;

    void SetDefaultExtGroups();
    void AddExtGroup(std::string_view name, std::string_view extensions, bool path);
    int ExtGroupCount() const { return static_cast<int>(ExtGroups.size()); }
    const TQVExt* GetExtGroup(int index) const;
    void DeleteExtGroup(int index);

    // Enabled groups, in order, names unique without regard to case.
    int GroupCount() const { return static_cast<int>(Groups.size()); }
    const std::string& GroupName(int index) const { return Groups[static_cast<size_t>(index)].Name; }
    // The group, loaded from the store on first access; nullptr for an index out of range.
    TQVGroup* GetGroup(int index);
    bool HasGroup(std::string_view name) const;
    void AddGroupName(std::string_view name);
    void ClearGroups();
    // The first enabled group of that field of effect whose masks match text.
    TQVGroup* FindGroup(std::string_view text, uint8_t fieldOfEffect);

    // Stores the range type and recomputes the dates of types 0-7 from today (the local
    // date by default).
    void SetRangeType(uint8_t rangeType);
    void SetRangeType(uint8_t rangeType, TDateTime today);
    // Every bit of mask is set in RptIncludedSections.
    bool SectionIncluded(int32_t mask) const { return (RptIncludedSections & mask) == mask; }
    // Whether a table row stays a row of its own rather than joining "Others".
    bool RowKept(int64_t count, int64_t total, int rank) const;
    bool IsPathExtension(std::string_view extension) const;

    // False when the file is one of RptIgnoredFiles (macros expanded, case ignored).
    bool IsLogFileSelected(std::string_view path) const;
    // Prepares LogReader and LineParser for a pass over the logs.
    void OpenLogFiles();
    // Advances to the next usable line, parsed in LineParser with CurrentDate current;
    // follows the "#Date" and "#Fields" directives of extended logs. False at the end.
    bool NextLogEntry();

private:
    struct TGroupEntry {
        std::string Name;
        std::unique_ptr<TQVGroup> Group;
    };
    std::vector<TGroupEntry> Groups;
    std::unordered_set<std::string> GroupKeys; // the names of Groups, lower-cased
};

// The one profile object of the program.
TQVProfile& CurrentProfile();
