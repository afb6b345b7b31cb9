#pragma once
// The compile step of a report job: turns the finished analyser into the report document
// (sections, tables, charts) with texts from the report language, and writes "TOC.xml",
// the section files and the chart files into the job's work folder.

#include "core/ViewKind.h"
#include "report/CLangReader.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class TChartSVG;
class TLogAnalyser;
class TGroupView;
class TLogView;
class TQVProfile;
class TXMLOutput;
class TChartQueue;
class TXMLSection;
class TXMLSubSection;
class TXMLTable;
struct TXMLEntry;

// Subsection bits of the profile's RptIncludedSections.
enum TReportSectionBit : int32_t {
    rsSummary = 0x1,
    rsStatusCodes = 0x2,
    rsDaily = 0x4,
    rsHourly = 0x8,
    rsWeekDays = 0x10,
    rsMonthly = 0x20,
    rsDailyFileAccess = 0x40,
    rsExtensionGroups = 0x80,
    rsDirectories = 0x100,
    rsExtensions = 0x200,
    rsEntryExit = 0x400,
    rsPaths = 0x800,
    rsParamValues = 0x1000,
    rsFileParams = 0x2000,
    rsVisitsLength = 0x4000,
    rsTopVisitors = 0x8000,
    rsCountries = 0x10000,
    rsUsers = 0x20000,
    rsBrowsers = 0x40000,
    rsOSes = 0x80000,
    rsReferers = 0x100000,
    rsSearchEngines = 0x200000,
    rsErrorsSummary = 0x400000,
    rsErrorsDetails = 0x800000,
    rsTrackedSummary = 0x1000000,
    rsTrackedFile = 0x2000000,
    rsTrackedStatus = 0x4000000,
    rsTrackedDaily = 0x8000000,
    rsTrackedReferers = 0x10000000,
    rsTrackedPhrases = 0x20000000,
    rsTrackedPaths = 0x40000000,
};

// The status-code descriptions of "static/StatCodes.dta": "code=description" lines.
class TStatusDescriptions {
public:
    // Replaces the entries with the file's; false (and no entries) when it cannot be read.
    bool Load(const std::string& fileName);
    // The description of the first line whose code equals status (case ignored); empty when none.
    std::string Describe(std::string_view status) const;

private:
    std::vector<std::pair<std::string, std::string>> Entries;
};

// format with each "%s" replaced by the next arg and "%%" by "%".
std::string FormatArgs(std::string_view format, std::initializer_list<std::string_view> args);
// "%2.2f" of value; "%2.2d" of value.
std::string FixedTwo(double value);
std::string TwoDigits(int value);
// A visit length as total minutes and seconds, "mm:ss".
std::string VisitLengthText(int64_t seconds);
// The items of a two-level view by their first key (or second), each list in view order.
using TChildIndex = std::unordered_map<std::string, std::vector<TLogView*>>;
TChildIndex ChildrenByName(const TLogAnalyser& analyser, TViewKind view, bool bySubName);
const std::vector<TLogView*>& ChildrenOf(const TChildIndex& index, const std::string& key);

// Day indexes 0..days-1 that daily tables list, by DailyRowsMax (0 = 30) and
// DailyTruncMethod (0 first, 1 last, 2 every step-th day, other: none).
std::vector<int> SelectedDays(int days, int rowsMax, int truncMethod);
// The upper-cased extension of a file name (query cut, at most 5 characters); empty when none.
std::string FileExtensionOf(std::string_view name);

class TStatisticsCompiler {
public:
    TStatisticsCompiler(TLogAnalyser& analyser, TQVProfile& profile, const TCLangReader& language);
    ~TStatisticsCompiler();
    TStatisticsCompiler(const TStatisticsCompiler&) = delete;
    TStatisticsCompiler& operator=(const TStatisticsCompiler&) = delete;

    // Writes "TOC.xml", one XML file per section and the chart files into workFolder (ending in "/").
    // Raises std::runtime_error with a clear message when a file cannot be written.
    void Compile(const std::string& workFolder);
    // Called with the document once Compile has written it, before it is let go.
    std::function<void(const TXMLOutput&)> Written;
    // Draws the PNG charts on a thread of its own (the caller waits for it with Finish);
    // without one they are drawn as their tables are written.
    TChartQueue* ChartQueue = nullptr;

    // The number of language lines the compile step needs; with fewer nothing is written.
    static constexpr int kRequiredLines = llFileParamsTitle + 1;

private:
    // Setup and shared builders (StatisticsCompiler.cpp).
    void ConfigureOutput(const std::string& workFolder);
    const std::string& L(TLangLine line) const;
    bool Included(int32_t bit) const;
    std::string DayText(int dayIndex) const;
    int32_t DayNumberAt(int dayIndex) const;
    // A line chart over days with the report's category and value axis titles.
    TChartSVG* AddDailyChart(TXMLTable& table, std::string_view name, std::string_view title,
                             TLangLine valueTitleLine = llVisits);
    TChartSVG* AddBarChart(TXMLTable& table, std::string_view name, TLangLine titleLine, TLangLine categoryLine);
    void AddPlainRow(TXMLTable& table, const TLogView& item);
    void AddGroupAwareRow(TXMLTable& table, TLogView& item, bool httpPrefix);
    void WriteGroupDetails(TGroupView& group, bool httpPrefix);
    void AddPlainRows(TXMLTable& table, TViewKind view, bool replaceSemicolons = false);
    // Header rows for the items of parentView, each followed by its children in childView.
    void AddNestedRows(TXMLTable& table, TViewKind parentView, TViewKind childView, bool visitsAsHits);
    std::string StatusKey(std::string_view status) const;
    static void SetFixedOrder(TXMLTable& table);

    // Sections.
    void BuildGroups(TXMLSection& section);
    void BuildGeneral(TXMLSection& section);
    void BuildActivity(TXMLSection& section);
    void BuildAccess(TXMLSection& section);
    void BuildUrlParams(TXMLSection& section);
    void BuildVisitors(TXMLSection& section); // CompileVisitors.cpp
    void BuildBrowser(TXMLSection& section);
    void BuildReferer(TXMLSection& section);
    void BuildErrors(TXMLSection& section);
    void BuildTracked(TXMLSection& section);
    void BuildTrackedUrl(TXMLSection& section, const std::string& url, int position, const TLogView& item,
                         const std::vector<int>& days, const std::vector<TXMLEntry*>& summaryRows);

    TLogAnalyser& Analyser;
    TQVProfile& Profile;
    const TCLangReader& Language;

    std::unique_ptr<TXMLOutput> Output;
    TStatusDescriptions Descriptions;
    TXMLSubSection* GroupDetails = nullptr;
    int Days = 1;
    int32_t FirstDay = 0;
    // The report summary's hits, visits and bytes rows of each extension group.
    struct TExtGroupRows {
        TXMLEntry* Hits = nullptr;
        TXMLEntry* Visits = nullptr;
        TXMLEntry* Bytes = nullptr;
    };
    std::vector<TExtGroupRows> ExtGroupSummary;
};

// The "lang" code of a report language named like its file ("english" gives "en"); empty
// when the name is not known.
std::string LanguageCode(std::string_view reportLanguage);
