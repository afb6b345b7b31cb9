#include "report/StatisticsCompiler.h"

#include "core/u_loganalyser.h"
#include "profile/u_qvprofile.h"
#include "report/CLangReader.h"
#include "report/u_xmloutput.h"
#include "sources/CUtils.h"
#include "sources/DateTime.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

// ---- Shared text helpers

std::string FormatArgs(std::string_view format, std::initializer_list<std::string_view> args) {
    std::string out;
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == 's' && next != args.end()) {
                out.append(*next++);
                ++i;
                continue;
            }
            if (format[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

std::string FixedTwo(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%2.2f", std::isfinite(value) ? value : 0.0);
    return buffer;
}

std::string TwoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%2.2d", value);
    return buffer;
}

std::string VisitLengthText(int64_t seconds) {
    // Whole minutes, so that visits of an hour or more keep their hours.
    if (seconds < 0) seconds = 0;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return buffer;
}

TChildIndex ChildrenByName(const TLogAnalyser& analyser, TViewKind view, bool bySubName) {
    TChildIndex index;
    for (int i = 0; i < analyser.ViewCount(view); ++i) {
        TLogView* item = analyser.ViewAt(view, i);
        index[std::string(bySubName ? item->SubName : item->Name)].push_back(item);
    }
    return index;
}

const std::vector<TLogView*>& ChildrenOf(const TChildIndex& index, const std::string& key) {
    static const std::vector<TLogView*> kNone;
    const auto found = index.find(key);
    return found == index.end() ? kNone : found->second;
}

// ---- Status descriptions

bool TStatusDescriptions::Load(const std::string& fileName) {
    Entries.clear();
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        Entries.emplace_back(Trim(std::string_view(line).substr(0, eq)), Trim(std::string_view(line).substr(eq + 1)));
    }
    return true;
}

std::string TStatusDescriptions::Describe(std::string_view status) const {
    for (const auto& [code, text] : Entries)
        if (SameText(code, status)) return text;
    return {};
}

// ---- Day selection and extensions

std::vector<int> SelectedDays(int days, int rowsMax, int truncMethod) {
    const int n = rowsMax == 0 ? 30 : rowsMax;
    std::vector<int> selected;
    for (int i = 0; i < days; ++i) {
        bool listed = false;
        switch (truncMethod) {
        case 0:
            listed = i < n;
            break;
        case 1:
            listed = days - i - 1 < n;
            break;
        case 2:
            if (n > days || n <= 0) {
                listed = n > days;
            } else {
                const int step = days / n;
                listed = i % step == step - 1;
            }
            break;
        default:
            break;
        }
        if (listed) selected.push_back(i);
    }
    return selected;
}

std::string FileExtensionOf(std::string_view name) {
    name = name.substr(0, name.find('?'));
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return {};
    const std::string_view rest = name.substr(dot + 1);
    if (rest.find_first_of("/\\:") != std::string_view::npos) return {};
    return UpperCase(rest.substr(0, 5));
}

// ---- The compiler

TStatisticsCompiler::TStatisticsCompiler(TLogAnalyser& analyser, TQVProfile& profile, const TCLangReader& language)
    : Analyser(analyser), Profile(profile), Language(language) {
}

TStatisticsCompiler::~TStatisticsCompiler() = default;

const std::string& TStatisticsCompiler::L(TLangLine line) const {
    return Language.Line(line);
}

bool TStatisticsCompiler::Included(int32_t bit) const {
    return Profile.SectionIncluded(bit);
}

int32_t TStatisticsCompiler::DayNumberAt(int dayIndex) const {
    return FirstDay + dayIndex;
}

std::string TStatisticsCompiler::DayText(int dayIndex) const {
    return FormatDateTime(Profile.DateFormat, DayNumberAt(dayIndex));
}

void TStatisticsCompiler::Compile(const std::string& workFolder) {
    if (Language.LineCount() < kRequiredLines) return;
    Output = std::make_unique<TXMLOutput>();
    Output->ChartQueue = ChartQueue;
    GroupDetails = nullptr;
    ExtGroupSummary.clear();
    Descriptions.Load(ProgramFolder() + "static/StatCodes.dta");

    std::error_code error;
    std::filesystem::create_directories(workFolder + "charts", error);
    if (!std::filesystem::is_directory(workFolder + "charts"))
        throw std::runtime_error("Cannot create the chart folder " + workFolder + "charts: " + error.message());

    FirstDay = DayNumber(Analyser.StartDate);
    // A range that ends before it starts is read as one day, so that no average divides by zero.
    Days = std::max(1, DayNumber(Analyser.EndDate) - FirstDay + 1);
    ConfigureOutput(workFolder);

    struct TSectionDef {
        const char* Id;
        TLangLine TitleLine;
        bool InToc;
        int RequiredView; // the section exists only when this view has items; -1: always
        void (TStatisticsCompiler::*Build)(TXMLSection&);
    };
    static constexpr TSectionDef kSections[] = {
        {"groupsdef", llGroupsSection, false, -1, &TStatisticsCompiler::BuildGroups},
        {"general", llGeneralSection, true, -1, &TStatisticsCompiler::BuildGeneral},
        {"activity", llActivitySection, true, -1, &TStatisticsCompiler::BuildActivity},
        {"access", llAccessSection, true, -1, &TStatisticsCompiler::BuildAccess},
        {"url_params.xml", llUrlParamsSection, true, vkParam, &TStatisticsCompiler::BuildUrlParams},
        {"visitors", llVisits, true, -1, &TStatisticsCompiler::BuildVisitors},
        {"browser", llBrowserSection, true, -1, &TStatisticsCompiler::BuildBrowser},
        {"referer", llRefererSection, true, -1, &TStatisticsCompiler::BuildReferer},
        {"errors", llErrorsSection, true, -1, &TStatisticsCompiler::BuildErrors},
        {"tracked", llTrackedSection, true, -1, &TStatisticsCompiler::BuildTracked},
    };
    for (const TSectionDef& def : kSections) {
        if (def.RequiredView >= 0 && Analyser.ViewCount(def.RequiredView) == 0) continue;
        TXMLSection* section = Output->AddSection();
        section->Id = def.Id;
        section->Title = L(def.TitleLine);
        section->InToc = def.InToc;
        (this->*def.Build)(*section);
    }

    Output->Write();
    if (Written) Written(*Output);
    Output.reset();
    GroupDetails = nullptr;
    ExtGroupSummary.clear();
}

void TStatisticsCompiler::ConfigureOutput(const std::string& workFolder) {
    TXMLOutput& out = *Output;
    out.Folder = workFolder;
    out.TocFileName = "TOC.xml";
    out.RowBytesUnit = Profile.ForceBW == 0 ? -1 : Profile.ForceBW;
    out.TotalBytesUnit = Profile.ForceBWT == 0 ? -1 : Profile.ForceBWT;
    out.VectorCharts = Profile.ChartRenderer == 1;
    out.Language = LanguageCode(Profile.ReportLanguage);
    switch (Profile.RptPurgeType) {
    case 0: {
        // "0.5" and "0,5" alike: the setting may come from either kind of locale.
        std::string text = Trim(Profile.RptPurgeParam1);
        std::replace(text.begin(), text.end(), ',', '.');
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value))
            throw std::runtime_error("The report's truncation percentage \"" + Profile.RptPurgeParam1 +
                                     "\" is not a decimal number; correct it in the profile's report settings");
        out.TruncMethod = kTruncPercent;
        out.TruncValue = value;
        break;
    }
    case 1:
        out.TruncMethod = kTruncMinHits;
        out.TruncValue = Profile.RptPurgeParam2;
        break;
    case 2:
        out.TruncMethod = kTruncTopN;
        out.TruncValue = Profile.RptPurgeParam3;
        break;
    default:
        out.TruncMethod = kTruncNone;
        break;
    }
    out.GeneratedOn = L(llGeneratedOn) + FormatDateTime(Profile.DateFormat, Now());
    out.DateRange = L(llDateRange) + FormatDateTime(Profile.DateFormat, DayNumber(Analyser.StartDate)) + " - " +
                    FormatDateTime(Profile.DateFormat, DayNumber(Analyser.EndDate));
    // The writer's text nodes escape what they hold, so the captions go in as they are.
    out.HitsCaption = L(llHits);
    out.VisitsCaption = L(llVisitsCaption);
    out.BytesCaption = L(llBandwidth);
    out.TotalFormat = L(llTotalFormat);
    out.AverageCaption = L(llAverage);
    out.OthersFormat = L(llOthersFormat);
    out.ShareCaption = L(llShare);
    out.TitlePrefix = FormatArgs(L(llTitleFormat), {Profile.Name});
}

std::string LanguageCode(std::string_view reportLanguage) {
    // Language files are named in English; their base name gives the pages' "lang".
    static constexpr std::pair<std::string_view, std::string_view> kCodes[] = {
        {"english", "en"}, {"french", "fr"},     {"german", "de"},       {"spanish", "es"},  {"italian", "it"},
        {"dutch", "nl"},   {"portuguese", "pt"}, {"brazilian", "pt-BR"}, {"polish", "pl"},   {"czech", "cs"},
        {"danish", "da"},  {"swedish", "sv"},    {"norwegian", "no"},    {"finnish", "fi"},  {"russian", "ru"},
        {"greek", "el"},   {"turkish", "tr"},    {"hungarian", "hu"},    {"romanian", "ro"}, {"japanese", "ja"},
        {"chinese", "zh"}, {"korean", "ko"},
    };
    const std::string name = LowerCase(BaseNameNoExt(std::string(TrimView(reportLanguage))));
    for (const auto& [language, code] : kCodes)
        if (name == language) return std::string(code);
    return {};
}

// ---- Shared builders

TChartSVG* TStatisticsCompiler::AddDailyChart(TXMLTable& table, std::string_view name, std::string_view title,
                                              TLangLine valueTitleLine) {
    if (Days <= 2) return nullptr;
    TChartSVG* chart = table.AddChart(name);
    chart->ChartType = kChartLine;
    chart->Title = std::string(title);
    chart->CategoryAxis.Title = L(llDay);
    chart->ValueAxis.Title = L(valueTitleLine);
    return chart;
}

TChartSVG* TStatisticsCompiler::AddBarChart(TXMLTable& table, std::string_view name, TLangLine titleLine,
                                            TLangLine categoryLine) {
    TChartSVG* chart = table.AddChart(name);
    chart->ChartType = kChartBar;
    chart->Title = L(titleLine);
    chart->CategoryAxis.Title = L(categoryLine);
    chart->CategoryAxis.RotateLabels = true;
    chart->ValueAxis.Title = L(llVisits);
    return chart;
}

void TStatisticsCompiler::SetFixedOrder(TXMLTable& table) {
    table.SortMode = kSortNone;
    table.TruncMethod = kTruncNone;
}

void TStatisticsCompiler::AddPlainRow(TXMLTable& table, const TLogView& item) {
    table.AddRow(item.Name, item.Hits, item.Visits, item.Bytes, "");
}

void TStatisticsCompiler::AddPlainRows(TXMLTable& table, TViewKind view, bool replaceSemicolons) {
    for (int i = 0; i < Analyser.ViewCount(view); ++i) {
        const TLogView& item = *Analyser.ViewAt(view, i);
        if (replaceSemicolons) {
            table.AddRow(ReplaceAll(item.Name, ";", " --> "), item.Hits, item.Visits, item.Bytes, "");
        } else {
            AddPlainRow(table, item);
        }
    }
}

static std::string WithHttp(std::string_view name, bool httpPrefix) {
    if (!httpPrefix || name == "-" || TrimView(name).empty()) return std::string(name);
    return "http://" + std::string(name);
}

void TStatisticsCompiler::AddGroupAwareRow(TXMLTable& table, TLogView& item, bool httpPrefix) {
    if (!item.IsGroup()) {
        table.AddRow(WithHttp(item.Name, httpPrefix), item.Hits, item.Visits, item.Bytes, "");
        return;
    }
    table.AddRow("{{" + std::string(item.Name), item.Hits, item.Visits, item.Bytes, "");
    WriteGroupDetails(static_cast<TGroupView&>(item), httpPrefix);
}

void TStatisticsCompiler::WriteGroupDetails(TGroupView& group, bool httpPrefix) {
    // The mark lives on the analyser's group, so each group's details are written once per job.
    if ((group.OutputFlags & 1) != 0 || !GroupDetails) return;
    group.OutputFlags |= 1;
    TXMLTable* table = GroupDetails->AddTable();
    table->Columns = 3;
    table->KeyCaption = "Item Value";
    table->Anchor = AlnumOnly(group.Name);
    table->ShowAverage = false;
    table->ShowTotal = true;
    table->TruncMethod = kTruncNone;
    table->Title = FormatArgs("Group \"%s\" details", {group.Name});
    for (const TLogView* member : group.Members) {
        const bool prefix = httpPrefix && member->Name.find('.') != std::string::npos;
        table->AddRow(prefix ? "http://" + std::string(member->Name) : std::string(member->Name), member->Hits,
                      member->Visits, member->Bytes, "");
    }
}

void TStatisticsCompiler::AddNestedRows(TXMLTable& table, TViewKind parentView, TViewKind childView,
                                        bool visitsAsHits) {
    const TChildIndex children = ChildrenByName(Analyser, childView, false);
    for (int i = 0; i < Analyser.ViewCount(parentView); ++i) {
        const TLogView& parent = *Analyser.ViewAt(parentView, i);
        if (!Profile.RowKept(parent.Hits, 0, i)) continue;
        table.AddHeaderRow(parent.Name, visitsAsHits ? parent.Visits : parent.Hits, 0, 0);
        int kept = 0;
        for (const TLogView* child : ChildrenOf(children, std::string(parent.Name))) {
            if (!Profile.RowKept(child->Hits, parent.Hits, kept)) continue;
            ++kept;
            table.AddRow(child->SubName, visitsAsHits ? child->Visits : child->Hits, 0, 0, "");
        }
    }
}

std::string TStatisticsCompiler::StatusKey(std::string_view status) const {
    return std::string(status) + " - " + Descriptions.Describe(status);
}

// ---- Groups and general

void TStatisticsCompiler::BuildGroups(TXMLSection& section) {
    GroupDetails = section.AddSubSection();
}

void TStatisticsCompiler::BuildGeneral(TXMLSection& section) {
    const TLogAnalyser& a = Analyser;
    if (Included(rsSummary)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(llSummaryTitle);
        TXMLTable* t = sub->AddTable();
        t->Columns = 7;
        t->ShowHeader = false;
        t->ShowTotal = false;
        t->TruncMethod = kTruncNone;
        auto header = [t](const std::string& name) { t->AddHeaderRow(name, 0, 0, 0); };
        auto value = [t](const std::string& key, const std::string& text) { return t->AddRow(key, 0, 0, 0, text); };
        const double days = Days;
        header(L(llHits));
        value(L(llTotalHits), std::to_string(a.Hits));
        if (a.FilteredHits > 0) value(L(llHits) + " " + L(llFiltered), std::to_string(a.FilteredHits));
        value(L(llHitsPerDay), FixedTwo(a.Hits / days));
        value(L(llHitsPerHour), FixedTwo(a.Hits / (days * 24)));
        value(L(llHitsPerVisit), FixedTwo(a.AvgHitsPerVisit));
        header(L(llVisits));
        value(L(llTotalVisits), std::to_string(a.Visits));
        if (a.FilteredVisits > 0) value(L(llVisits) + " " + L(llFiltered), std::to_string(a.FilteredVisits));
        value(L(llVisitsPerDay), FixedTwo(a.Visits / days));
        value(L(llVisitsPerHour), FixedTwo(a.Visits / (days * 24)));
        value(L(llAverageVisitLength), VisitLengthText(a.AvgVisitSeconds));
        value(L(llVisitorCount), std::to_string(a.ViewCount(vkHost)));
        if (Included(rsExtensionGroups)) {
            for (const TQVExt& group : Profile.ExtGroups()) {
                header("\"" + group.Name + "\"");
                TExtGroupRows rows;
                rows.Hits = value(L(llExtGroupHits), "0");
                rows.Visits = value(L(llExtGroupVisits), "0");
                rows.Bytes = value(L(llExtGroupBandwidth), "0");
                ExtGroupSummary.push_back(rows);
            }
        }
        header(L(llBandwidth));
        value(L(llTotalBandwidth), FormatSize(Output->TotalBytesUnit, a.Bytes));
        value(L(llBandwidthPerDay), FormatSize(Output->RowBytesUnit, a.Bytes / Days));
        value(L(llBandwidthPerHit), FormatSize(Output->RowBytesUnit, a.BytesPerHit));
        value(L(llBandwidthPerVisit), FormatSize(Output->RowBytesUnit, a.BytesPerVisit));
        // What the logs held and what was left out of the figures above.
        if (!L(llLogLines).empty()) {
            header(L(llLogLines));
            value(L(llLinesRead), std::to_string(a.LinesRead));
            value(L(llLinesUnreadable), std::to_string(a.LinesUnreadable));
            value(L(llLinesOutsideRange), std::to_string(a.LinesOutsideRange));
            value(L(llPartialsMerged), std::to_string(a.PartialsMerged));
        }
    }
    if (Included(rsStatusCodes)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(llStatusCodesTitle);
        TXMLTable* t = sub->AddTable();
        t->Title = L(llStatusCodesTitle);
        t->Columns = 0;
        t->KeyCaption = L(llStatus);
        for (int i = 0; i < a.ViewCount(vkStatus); ++i) {
            const TLogView& item = *a.ViewAt(vkStatus, i);
            t->AddRow(StatusKey(item.Name), item.Hits, 0, 0, "");
        }
    }
}

// ---- Activity

void TStatisticsCompiler::BuildActivity(TXMLSection& section) {
    auto addTable = [&](TLangLine line, TLangLine keyLine) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(line);
        TXMLTable* t = sub->AddTable();
        t->Title = L(line);
        t->Columns = 3;
        t->KeyCaption = L(keyLine);
        SetFixedOrder(*t);
        return t;
    };
    auto linkVisits = [&](TXMLTable& t, TChartSVG* chart, bool useText) {
        TChartSerie* serie = chart->AddSerie();
        serie->Name = L(llVisits);
        t.LinkSeries(serie, kValueVisits, useText);
        AssignChartColors(*chart, Profile);
    };

    if (Included(rsDaily)) {
        TXMLTable* t = addTable(llDailyTitle, llDay);
        t->ShowAverage = true;
        t->ShowTotal = true;
        for (int i : SelectedDays(Days, Profile.DailyRowsMax, Profile.DailyTruncMethod)) {
            if (const TLogView* item = Analyser.ViewByKey(vkDay, std::to_string(DayNumberAt(i))))
                t->AddRow(DayText(i), item->Hits, item->Visits, item->Bytes, "");
        }
        if (TChartSVG* chart = AddDailyChart(*t, "charts/activity_daily_visits", L(llDailyVisitsChart)))
            linkVisits(*t, chart, false);
    }
    if (Included(rsHourly)) {
        TXMLTable* t = addTable(llHourlyTitle, llHour);
        for (int h = 0; h < 24; ++h) {
            const std::string hour = TwoDigits(h);
            const TLogView* item = Analyser.ViewByKey(vkHour, hour);
            t->AddRow(hour + ":00 - " + hour + ":59", item ? item->Hits : 0, item ? item->Visits : 0,
                      item ? item->Bytes : 0, hour);
        }
        linkVisits(*t, AddBarChart(*t, "charts/activity_hourly_visits", llHourlyChart, llHour), true);
    }
    // Weekdays and months: a row for every one, blank text standing in for missing figures.
    auto addFixedRows = [&](TXMLTable& t, TViewKind view, TLangLine firstName, int count, bool twoDigitKeys) {
        for (int n = 1; n <= count; ++n) {
            const TLogView* item = Analyser.ViewByKey(view, twoDigitKeys ? TwoDigits(n) : std::to_string(n));
            const std::string& name = L(static_cast<TLangLine>(firstName + n - 1));
            if (item) {
                t.AddRow(name, item->Hits, item->Visits, item->Bytes, "");
            } else {
                t.AddRow(name, 0, 0, 0, " ");
            }
        }
    };
    if (Included(rsWeekDays)) {
        TXMLTable* t = addTable(llWeekdayTitle, llWeekday);
        addFixedRows(*t, vkWeekday, llSunday, 7, false);
        linkVisits(*t, AddBarChart(*t, "charts/activity_weekday_visits", llWeekdayChart, llWeekday), false);
    }
    if (Included(rsMonthly)) {
        TXMLTable* t = addTable(llMonthlyTitle, llMonth);
        t->ShowAverage = true;
        addFixedRows(*t, vkMonth, llJanuary, 12, true);
        linkVisits(*t, AddBarChart(*t, "charts/activity_montly_visits", llMonthlyChart, llMonth), false);
    }
}

// ---- Access

namespace {

// The access tables that list one view as plain rows, with a daily chart over it.
struct TViewTableDef {
    int32_t Bit;
    TLangLine SubTitleLine;
    TLangLine TitleLine;
    TLangLine KeyLine;
    TViewKind View;
    const char* Chart; // daily chart, or nullptr
    TLangLine ChartTitleLine;
};

constexpr TViewTableDef kExtensionsTable = {.Bit = rsExtensions,
                                            .SubTitleLine = llExtensionsTitle,
                                            .TitleLine = llExtensionsTable,
                                            .KeyLine = llExtension,
                                            .View = vkFileType,
                                            .Chart = "charts/access_daily_types",
                                            .ChartTitleLine = llExtensionsChart};
constexpr TViewTableDef kDirectoriesTable = {.Bit = rsDirectories,
                                             .SubTitleLine = llDirectoriesTitle,
                                             .TitleLine = llDirectoriesTitle,
                                             .KeyLine = llDirectory,
                                             .View = vkDirectory,
                                             .Chart = "charts/access_daily_directory",
                                             .ChartTitleLine = llDirectoriesChart};

bool InExtensionGroup(const TLogView& item, const std::string& extensions) {
    auto matches = [&](std::string_view name) {
        const std::string ext = FileExtensionOf(name);
        return !ext.empty() && extensions.find(ext + ";") != std::string::npos;
    };
    if (!item.IsGroup()) return matches(item.Name);
    for (const TLogView* member : static_cast<const TGroupView&>(item).Members)
        if (matches(member->Name)) return true;
    return false;
}

} // namespace

void TStatisticsCompiler::BuildAccess(TXMLSection& section) {
    const double firstDay = FirstDay;
    auto viewTable = [&](const TViewTableDef& def) {
        if (!Included(def.Bit)) return;
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(def.SubTitleLine);
        TXMLTable* t = sub->AddTable();
        t->Title = L(def.TitleLine);
        t->Columns = 3;
        t->KeyCaption = L(def.KeyLine);
        AddPlainRows(*t, def.View);
        if (TChartSVG* chart = AddDailyChart(*t, def.Chart, L(def.ChartTitleLine))) {
            BuildDailySeries(*chart, Days, def.View, firstDay, Analyser, Profile);
            AssignChartColors(*chart, Profile);
        }
    };

    if (Included(rsDailyFileAccess)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(llDailyFileAccessTitle);
        TXMLTable* t = sub->AddTable();
        t->Title = L(llDailyFileAccessTable);
        t->Columns = 3;
        t->KeyCaption = L(llFile);
        for (int i = 0; i < Analyser.ViewCount(vkPage); ++i)
            AddGroupAwareRow(*t, *Analyser.ViewAt(vkPage, i), false);
        if (TChartSVG* chart = AddDailyChart(*t, "charts/access_daily_all_files", L(llDailyFileAccessTitle))) {
            BuildDailySeries(*chart, Days, vkPage, firstDay, Analyser, Profile);
            AssignChartColors(*chart, Profile);
        }
    }
    if (Included(rsExtensionGroups)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(llExtGroupsTitle);
        for (size_t g = 0; g < Profile.ExtGroups().size(); ++g) {
            const TQVExt& group = Profile.ExtGroups()[g];
            const std::string extensions = UpperCase(group.Extensions);
            TXMLTable* t = sub->AddTable();
            t->Title = FormatArgs(L(llExtGroupTableFormat), {group.Name, group.Extensions});
            t->Columns = 3;
            t->KeyCaption = L(llFile);
            std::string chartNames;
            int named = 0;
            for (int i = 0; i < Analyser.ViewCount(vkPage); ++i) {
                TLogView& item = *Analyser.ViewAt(vkPage, i);
                if (!InExtensionGroup(item, extensions)) continue;
                AddGroupAwareRow(*t, item, false);
                if (named < 6) {
                    chartNames.append(item.Name).append(";");
                    ++named;
                }
            }
            if (TChartSVG* chart = AddDailyChart(*t, "charts/access_daily_files" + std::to_string(g),
                                                 FormatArgs(L(llDailyChartFormat), {group.Name}))) {
                BuildNamedSeries(*chart, Days, chartNames, vkPage, firstDay, Analyser, Profile);
                AssignChartColors(*chart, Profile);
            }
            if (g < ExtGroupSummary.size()) {
                const TExtGroupRows& rows = ExtGroupSummary[g];
                if (rows.Hits) rows.Hits->Text = std::to_string(t->TotalHits);
                if (rows.Visits) rows.Visits->Text = std::to_string(t->TotalVisits);
                if (rows.Bytes) rows.Bytes->Text = FormatSize(Output->TotalBytesUnit, t->TotalBytes);
            }
        }
    }
    viewTable(kExtensionsTable);
    viewTable(kDirectoriesTable);
    if (Included(rsEntryExit)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(llEntryExitTitle);
        for (const auto& [line, view] :
             {std::pair{llEntryPagesTable, vkEntryPage}, std::pair{llExitPagesTable, vkExitPage}}) {
            TXMLTable* t = sub->AddTable();
            t->Title = L(line);
            t->Columns = 1;
            t->KeyCaption = L(llFile);
            AddPlainRows(*t, view);
        }
    }
    if (Included(rsPaths)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(llPathsTitle);
        TXMLTable* t = sub->AddTable();
        t->Title = L(llPathsTitle);
        t->Columns = 4;
        t->KeyCaption = L(llPath);
        AddPlainRows(*t, vkNavigationPath, true);
    }
}

// ---- URL parameters

void TStatisticsCompiler::BuildUrlParams(TXMLSection& section) {
    for (const auto& [bit, line, keyLine, parentView, childView] :
         {std::tuple{rsParamValues, llParamValuesTitle, llParam, vkParam, vkParamValue},
          std::tuple{rsFileParams, llFileParamsTitle, llFile, vkPageWithParams, vkPageParam}}) {
        if (!Included(bit)) continue;
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(line);
        TXMLTable* t = sub->AddTable();
        t->Title = L(line);
        t->Columns = 0;
        t->KeyCaption = L(keyLine);
        SetFixedOrder(*t);
        AddNestedRows(*t, parentView, childView, false);
    }
}
