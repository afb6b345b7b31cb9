#pragma once
// Report language files: "<name>.lng" in the program folder's "lang/", one UTF-8 text
// per line, addressed by line number (from 0) by the statistics compiler.

#include <string>
#include <string_view>
#include <vector>

// What the lines of a report language say, by number. Lines 8, 9, 78 and 84 are not used;
// 120 to 126 name the weekdays from Sunday, 127 to 138 the months from January.
enum TLangLine : int {
    llGroupsSection = 0,
    llGeneralSection = 1,
    llSummaryTitle = 2,
    llHits = 3, // column caption and header row; with llFiltered, the filtered hits
    llTotalHits = 4,
    llHitsPerDay = 5,
    llHitsPerHour = 6,
    llHitsPerVisit = 7,
    llVisits = 10, // header row, visitors section and visits axis title; with llFiltered, the filtered visits
    llTotalVisits = 11,
    llVisitsPerDay = 12,
    llVisitsPerHour = 13,
    llAverageVisitLength = 14,
    llVisitorCount = 15,
    llExtGroupHits = 16,
    llExtGroupVisits = 17,
    llExtGroupBandwidth = 18,
    llBandwidth = 19, // column caption and header row
    llTotalBandwidth = 20,
    llBandwidthPerDay = 21,
    llBandwidthPerHit = 22,
    llBandwidthPerVisit = 23,
    llActivitySection = 24,
    llDailyTitle = 25,
    llDay = 26, // key caption and axis title
    llDailyVisitsChart = 27,
    llHourlyTitle = 28,
    llHourlyChart = 29,
    llHour = 30,
    llWeekdayTitle = 31,
    llWeekday = 32,
    llWeekdayChart = 33,
    llMonthlyTitle = 34,
    llMonth = 35,
    llAccessSection = 36,
    llDailyFileAccessTitle = 37,
    llDailyFileAccessTable = 38,
    llFile = 39,
    llExtGroupsTitle = 40,
    llExtGroupTableFormat = 41, // %s group name, %s extensions
    llDirectoriesTitle = 42,
    llDirectoriesChart = 43,
    llExtensionsTitle = 44,
    llExtensionsTable = 45,
    llExtensionsChart = 46,
    llEntryExitTitle = 47,
    llEntryPagesTable = 48,
    llExitPagesTable = 49,
    llPathsTitle = 50,
    llVisitLengthTitle = 51, // also its key caption
    llVisitLengthTable = 52,
    llVisitLengthChart = 53,
    llVisitLengthAxis = 54,
    llTopVisitorsTitle = 55,
    llTopVisitorsTable = 56,
    llVisitor = 57,
    llCountriesTitle = 58,
    llCountriesTable = 59,
    llCountry = 60,
    llCountriesPie = 61,
    llUsersTitle = 62,
    llUsersTable = 63,
    llUser = 64,
    llBrowserSection = 65,
    llBrowsersTitle = 66,
    llBrowsersChart = 67,
    llBrowsersPie = 68,
    llOSesTitle = 69,
    llOS = 70,
    llOSesChart = 71,
    llOSesPie = 72,
    llRefererSection = 73, // also the key caption of referring domains
    llReferersTitle = 74,
    llReferringDomainsTable = 75,
    llReferringDomainsChart = 76,
    llReferringUrlsTable = 77,
    llSearchEnginesTable = 79,
    llSearchEngine = 80,
    llSearchEnginesChart = 81,
    llPhrasesTable = 82,
    llPhrase = 83,
    llKeywordsTable = 85,
    llKeyword = 86,
    llKeywordsChart = 87,
    llErrorsSection = 88,
    llErrorsSummaryTitle = 89,
    llErrorStatus = 90,
    llErrorsAxis = 91,
    llErrorsChart = 92,
    llErrorDetailsTitle = 93,
    llErrorDetailsFormat = 94, // %s status
    llTrackedSection = 95,
    llTrackedSummaryTitle = 96,
    llTrackedSummaryChart = 97,
    llTrackedFileFormat = 98, // %s URL, as the tracked tables' formats below
    llTrackedDailyFormat = 99,
    llTrackedReferersFormat = 100,
    llTitleFormat = 101, // %s profile name
    llGeneratedOn = 102,
    llDateRange = 103,
    llMonthlyChart = 104,
    llDailyChartFormat = 105, // %s extension group or tracked URL
    llDirectory = 106,
    llExtension = 107,
    llPath = 108,
    llBrowser = 109,
    llReferrerUrl = 110,
    llVisitsCaption = 111,
    llTotalFormat = 112, // %s number of rows
    llAverage = 113,
    llOthersFormat = 114, // %s number of rows or pie entries grouped
    llShare = 115,
    llFirstLengthBucket = 116,
    llLengthBucketFormat = 117, // %s range
    llLastLengthBucket = 118,
    llFiltered = 119,
    llSunday = 120,
    llJanuary = 127,
    llStatusCodesTitle = 139,
    llStatus = 140,
    llUrlParamsSection = 141,
    llParamValuesTitle = 142,
    llParam = 143,
    llFileParamsTitle = 144,
    llTrackedPhrasesFormat = 145, // 145 to 147 read as empty when the language lacks them
    llTrackedPathsFormat = 146,
    llTrackedStatusFormat = 147,
    // 148 to 152 read as empty when the language lacks them: their rows are left out then.
    llLogLines = 148, // header row of what the logs held
    llLinesRead = 149,
    llLinesUnreadable = 150,
    llLinesOutsideRange = 151,
    llPartialsMerged = 152,
};

class TCLangReader {
public:
    // Reads from the program folder's "lang/"; no language loaded.
    TCLangReader();

    // The folder the languages are read from; a trailing "/" is added when missing.
    void SetFolder(std::string_view folder);
    const std::string& Folder() const { return LangFolder; }

    // Replaces list with the names (without ".lng") of the folder's language files, sorted.
    void ListLanguages(std::vector<std::string>& list) const;

    // Loads a language by name; a folder part and an extension in name are ignored.
    // False, with no lines, when the folder holds no such language file.
    bool Load(std::string_view name);

    int LineCount() const { return static_cast<int>(Lines.size()); }
    // Line n; empty when n is out of range.
    const std::string& Line(int n) const;

private:
    std::string FindFile(std::string_view baseName) const;

    std::string LangFolder;
    std::vector<std::string> Lines;
};
