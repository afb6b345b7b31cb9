#pragma once
// A profile: everything known about one web site — where its logs are and how to read
// them, the filter, groups, tracked URLs and parameters that apply, the report's date
// range and look. Each setting's key, default and stored form sit in one table; the one
// CurrentProfile is shared.

#include "core/CParser.h"
#include "core/u_qvprofile_group.h"
#include "profile/u_cvprofile.h"
#include "sources/LogReader.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <variant>
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

struct TProfileSetting;

class TQVProfile : public TCVProfile {
public:
    TQVProfile();
    ~TQVProfile() override;

    // Entries a read keeps; no real profile comes near them.
    static constexpr int kMaxExtGroups = 1000;
    static constexpr int kMaxUrlGroups = 1000;

    // The settings; their keys, defaults and stored forms are in ProfileSettings(). The
    // constructor applies the defaults.
    std::vector<std::string> LogPaths;
    bool OpenExt{};
    std::string LogExts;
    int32_t LogReadBuf{};
    std::string LogFormat;
    std::string TemplateName;
    std::string ReportLanguage;
    bool AltReportDest{};
    std::string ReportDest;
    uint8_t ChartRenderer{}; // 0 raster, 1 vector
    TColor Color[6] = {};    // Color1 ... Color6
    TColor BGColor{};
    std::string DateFormat;
    int32_t DailyRowsMax{};
    int32_t DailyTruncMethod{};
    int32_t ForceBW{};
    int32_t ForceBWT{};
    bool EnableFilters{};
    std::string FilterName; // not reset by SetDefaults
    std::vector<std::string> UrlTrack;
    uint8_t ParamType{};
    std::string ParamList;
    std::string FTPHost;
    std::string FTPUsername;
    std::string FTPSource;
    std::string FTPDest;
    int32_t FTPPort{};
    bool FTPAutoFetch{};
    bool AutoOpenReport{};
    bool CaseSensitive{};
    bool Group206{};
    bool IgnoreErrors{};
    bool UseDNS{};
    int32_t Timezone{};
    int32_t VisitTimeout{};
    int32_t AnimNo{};
    TDateTime RptStartDate = 0; // not reset by SetDefaults
    TDateTime RptEndDate = 0;   // not reset by SetDefaults
    uint8_t RptRangeType{};
    int32_t RptPurgeType{};
    int32_t RptPurgeParam2{};
    int32_t RptPurgeParam3{};
    int32_t RptIncludedSections{};
    std::string RptPurgeParam1; // a decimal number as text
    std::string RptSplitParam;
    std::vector<std::string> RptIgnoredFiles;
    TDateTime LastReportDate{};

    TLogFileReader LogReader;
    TCParser LineParser;
    TDateTime CurrentDate = 0;  // date of the last delivered line
    TLineDate LineDate;         // converts the lines' dates

    void ReadValues() override;
    void WriteValues() override;
    void SetDefaults() override;
    void SetNewDefaults() override;
    bool Upgrade(int32_t fromVersion) override;
    int32_t CurrentVersion() const override { return 1; }
    bool IsOwnKey(std::string_view key) const override;

    // The setting's value as the record stores it; a list as its entries each followed by ";",
    // the extension groups as their count.
    std::string SettingText(const TProfileSetting& setting) const;

    // The folder of this profile's reports, ending in "/".
    std::string ReportFolder() const;

    // The extension groups change only through these, which keep PathExtensions true.
    const std::vector<TQVExt>& ExtGroups() const { return ExtGroupList; }
    void SetExtGroups(std::vector<TQVExt> groups);
    void SetDefaultExtGroups();
    void AddExtGroup(std::string_view name, std::string_view extensions, bool path);
    int ExtGroupCount() const { return static_cast<int>(ExtGroupList.size()); }
    const TQVExt* GetExtGroup(int index) const;
    void DeleteExtGroup(int index);
    // The upper-cased extensions of the groups whose files count for the paths analysis.
    const std::string& PathExtensions() const { return PathExtensionText; }

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
    // follows the "#Date" and "#Fields" directives of extended logs. False at the end, and
    // with a budget also when *budget lines were read without a usable one (*budget is then
    // 0): each line read takes one, so that a caller regains control through any junk.
    bool NextLogEntry(size_t* budget = nullptr);

private:
    // Reads, writes or resets one setting of the table.
    void ReadSetting(const TProfileSetting& setting);
    void WriteSetting(const TProfileSetting& setting);
    void ResetSetting(const TProfileSetting& setting);

    std::vector<TQVExt> ExtGroupList;
    std::string PathExtensionText; // derived from ExtGroupList

    struct TGroupEntry {
        std::string Name;
        std::unique_ptr<TQVGroup> Group;
    };
    std::vector<TGroupEntry> Groups;
    std::unordered_set<std::string> GroupKeys; // the names of Groups, lower-cased
};

// Where a setting lives: a member of the profile, one of the chart colours Color1 ... Color6,
// the enabled group names ("GroupList") or the extension groups ("ExtGrpCount" and the
// numbered keys after it). The member's type gives the stored form: TColor as a colour
// name, TDateTime as a day number, a vector as a list.
struct TChartColorField {
    int Index;
};
struct TEnabledGroupsField {};
struct TExtGroupsField {};
using TProfileField =
    std::variant<std::string TQVProfile::*, bool TQVProfile::*, int32_t TQVProfile::*, uint8_t TQVProfile::*,
                 TDateTime TQVProfile::*, TColor TQVProfile::*, std::vector<std::string> TQVProfile::*,
                 TChartColorField, TEnabledGroupsField, TExtGroupsField>;

// One stored setting of a profile: its key, where it lives and its default.
struct TProfileSetting {
    std::string_view Key;
    TProfileField Field;
    int64_t Default = 0;               // numbers, booleans, dates and colours
    std::string_view DefaultText = {}; // texts; the one entry of a list that must not be empty
    // Numbers read are held to [Lo, Hi] within their type.
    int64_t Lo = std::numeric_limits<int64_t>::min();
    int64_t Hi = std::numeric_limits<int64_t>::max();
    bool KeptByDefaults = false;  // SetDefaults leaves it as it is
    bool EndsInSemicolon = false; // a text read gets a missing trailing ";"
};

// Every setting of a profile in the order the record is written; read, written and reset
// from this table alone.
std::span<const TProfileSetting> ProfileSettings();

// The one profile object of the program.
TQVProfile& CurrentProfile();
