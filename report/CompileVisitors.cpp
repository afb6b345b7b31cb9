// The compile step's later sections: visitors, browsers, referrers, errors and tracked URLs.

#include "report/StatisticsCompiler.h"

#include "core/u_countryfinder.h"
#include "core/u_loganalyser.h"
#include "profile/u_qvprofile.h"
#include "report/CLangReader.h"
#include "report/u_xmloutput.h"
#include "sources/CUtils.h"

#include <string>

namespace {

constexpr const char* kLengthRanges[10] = {"< 1",    "1 - 2",   "2 - 3",   "3 - 5",   "5 - 7",
                                           "7 - 10", "10 - 15", "15 - 30", "30 - 60", "60 >"};

// The browser section's tables: one view each, with a daily chart and a share pie.
struct TShareTableDef {
    int32_t Bit;
    TLangLine TitleLine;
    TLangLine KeyLine;
    TViewKind View;
    const char* DailyChart;
    TLangLine DailyTitleLine;
    const char* PieChart;
    TLangLine PieTitleLine;
};

constexpr TShareTableDef kShareTables[] = {
    {rsBrowsers, llBrowsersTitle, llBrowser, vkBrowser, "charts/bos_daily_browser", llBrowsersChart,
     "charts/bos_pie_browser", llBrowsersPie},
    {rsOSes, llOSesTitle, llOS, vkOS, "charts/bos_daily_os", llOSesChart, "charts/bos_pie_os", llOSesPie},
};

} // namespace

void TStatisticsCompiler::BuildVisitors(TXMLSection& section) {
    auto addTable = [&](TLangLine subLine, TLangLine titleLine, int columns, TLangLine keyLine) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(subLine);
        TXMLTable* t = sub->AddTable();
        t->Title = L(titleLine);
        t->Columns = static_cast<uint8_t>(columns);
        t->KeyCaption = L(keyLine);
        return t;
    };

    if (Included(rsVisitsLength)) {
        TXMLTable* t = addTable(llVisitLengthTitle, llVisitLengthTable, 4, llVisitLengthTitle);
        SetFixedOrder(*t);
        TChartSVG* chart = AddBarChart(*t, "charts/visits_length", llVisitLengthChart, llVisitLengthAxis);
        TChartSerie* serie = chart->AddSerie();
        serie->Name = L(llVisits);
        for (int b = 0; b < 10; ++b) {
            const std::string key = b == 0   ? L(llFirstLengthBucket)
                                    : b == 9 ? L(llLastLengthBucket)
                                             : FormatArgs(L(llLengthBucketFormat), {kLengthRanges[b]});
            const int32_t count = Analyser.DurationBucket(b);
            t->AddRow(key, 0, count, 0, "");
            serie->AddLabelledPoint(count, kLengthRanges[b]);
        }
        AssignChartColors(*chart, Profile);
    }
    if (Included(rsTopVisitors)) {
        TXMLTable* t = addTable(llTopVisitorsTitle, llTopVisitorsTable, 3, llVisitor);
        t->TruncMethod = kTruncTopN;
        t->TruncValue = 50;
        t->SortMode = kSortBytes;
        for (int i = 0; i < Analyser.ViewCount(vkHost) && i < 50; ++i)
            AddGroupAwareRow(*t, *Analyser.ViewAt(vkHost, i), false);
    }
    if (Included(rsCountries)) {
        TXMLTable* t = addTable(llCountriesTitle, llCountriesTable, 3, llCountry);
        TChartSVG* pie = t->AddChart("charts/visits_pie_countries");
        pie->ChartType = kChartPie;
        pie->Title = L(llCountriesPie);
        for (int i = 0; i < Analyser.ViewCount(vkCountry); ++i) {
            const TLogView& item = *Analyser.ViewAt(vkCountry, i);
            const std::string key = FormatArgs("[%s] %s", {item.Name, CountryFinder.CountryName(item.Name)});
            t->AddRow(key, item.Hits, item.Visits, item.Bytes, "");
            AddShareEntry(*pie, item.Visits, key, L(llOthersFormat));
        }
        AssignChartColors(*pie, Profile);
    }
    if (Included(rsUsers) && Analyser.ViewCount(vkUser) > 1) {
        TXMLTable* t = addTable(llUsersTitle, llUsersTable, 3, llUser);
        AddPlainRows(*t, vkUser);
    }
}

void TStatisticsCompiler::BuildBrowser(TXMLSection& section) {
    for (const TShareTableDef& def : kShareTables) {
        if (!Included(def.Bit)) continue;
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(def.TitleLine);
        TXMLTable* t = sub->AddTable();
        t->Title = L(def.TitleLine);
        t->Columns = 3;
        t->KeyCaption = L(def.KeyLine);
        if (TChartSVG* chart = AddDailyChart(*t, def.DailyChart, L(def.DailyTitleLine))) {
            BuildDailySeries(*chart, Days, def.View, FirstDay, Analyser, Profile);
            AssignChartColors(*chart, Profile);
        }
        TChartSVG* pie = t->AddChart(def.PieChart);
        pie->ChartType = kChartPie;
        pie->Title = L(def.PieTitleLine);
        for (int i = 0; i < Analyser.ViewCount(def.View); ++i) {
            TLogView& item = *Analyser.ViewAt(def.View, i);
            AddGroupAwareRow(*t, item, false);
            AddShareEntry(*pie, item.Visits, item.Name, L(llOthersFormat));
        }
        AssignChartColors(*pie, Profile);
    }
}

void TStatisticsCompiler::BuildReferer(TXMLSection& section) {
    auto dailyChart = [&](TXMLTable& t, const char* name, TLangLine titleLine, TViewKind view) {
        if (TChartSVG* chart = AddDailyChart(t, name, L(titleLine))) {
            BuildDailySeries(*chart, Days, view, FirstDay, Analyser, Profile);
            AssignChartColors(*chart, Profile);
        }
    };
    auto addTable = [](TXMLSubSection& sub, std::string title, int columns, std::string keyCaption) {
        TXMLTable* t = sub.AddTable();
        t->Title = std::move(title);
        t->Columns = static_cast<uint8_t>(columns);
        t->KeyCaption = std::move(keyCaption);
        return t;
    };

    if (Included(rsReferers)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(llReferersTitle);
        TXMLTable* domains = addTable(*sub, L(llReferringDomainsTable), 4, L(llRefererSection));
        for (int i = 0; i < Analyser.ViewCount(vkReferringDomain); ++i)
            AddGroupAwareRow(*domains, *Analyser.ViewAt(vkReferringDomain, i), true);
        dailyChart(*domains, "charts/referrer_daily_domain", llReferringDomainsChart, vkReferringDomain);
        AddPlainRows(*addTable(*sub, L(llReferringUrlsTable), 4, L(llReferrerUrl)), vkReferrer);
    }
    if (Included(rsSearchEngines)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(llSearchEnginesTable);
        // Engines with their phrases, counted in visits under the hits caption.
        TXMLTable* engines = addTable(*sub, L(llSearchEnginesTable), 0, L(llSearchEngine));
        SetFixedOrder(*engines);
        dailyChart(*engines, "charts/referrer_daily_sengine", llSearchEnginesChart, vkSearchEngine);
        AddNestedRows(*engines, vkSearchEngine, vkEnginePhrase, true);

        TXMLTable* phrases = addTable(*sub, L(llPhrasesTable), 1, L(llPhrase));
        phrases->ShowTotal = true;
        for (int i = 0; i < Analyser.ViewCount(vkPhrase); ++i)
            AddGroupAwareRow(*phrases, *Analyser.ViewAt(vkPhrase, i), false);

        TXMLTable* keywords = addTable(*sub, L(llKeywordsTable), 1, L(llKeyword));
        keywords->ShowTotal = true;
        dailyChart(*keywords, "charts/referrer_daily_skeywords", llKeywordsChart, vkKeyword);
        AddPlainRows(*keywords, vkKeyword);
    }
}

void TStatisticsCompiler::BuildErrors(TXMLSection& section) {
    if (Included(rsErrorsSummary)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(llErrorsSummaryTitle);
        TXMLTable* t = sub->AddTable();
        t->Title = L(llErrorsSummaryTitle);
        t->Columns = 0;
        t->KeyCaption = L(llErrorStatus);
        if (TChartSVG* chart = AddDailyChart(*t, "charts/errors_daily_all", L(llErrorsChart), llErrorsAxis)) {
            BuildDailySeries(*chart, Days, vkErrorStatus, FirstDay, Analyser, Profile);
            AssignChartColors(*chart, Profile);
        }
        for (int i = 0; i < Analyser.ViewCount(vkErrorStatus); ++i) {
            const TLogView& item = *Analyser.ViewAt(vkErrorStatus, i);
            t->AddRow(StatusKey(item.Name), item.Hits, item.Visits, item.Bytes, "");
        }
    }
    if (Included(rsErrorsDetails)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(llErrorDetailsTitle);
        const TChildIndex files = ChildrenByName(Analyser, vkErrorPageStatus, false);
        for (int i = 0; i < Analyser.ViewCount(vkErrorStatus); ++i) {
            const std::string status(Analyser.ViewAt(vkErrorStatus, i)->Name);
            TXMLTable* t = sub->AddTable();
            t->Title = FormatArgs(L(llErrorDetailsFormat), {status});
            t->Columns = 0;
            t->KeyCaption = L(llFile);
            for (const TLogView* file : ChildrenOf(files, status))
                t->AddRow(file->SubName, file->Hits, 0, 0, "");
        }
    }
}

void TStatisticsCompiler::BuildTracked(TXMLSection& section) {
    std::vector<std::pair<int, TLogView*>> found; // position in UrlTrack, page row
    std::string names;
    for (size_t n = 0; n < Profile.UrlTrack.size(); ++n) {
        if (TLogView* item = Analyser.ViewByKey(vkPage, Profile.UrlTrack[n])) {
            found.emplace_back(static_cast<int>(n), item);
            names += Profile.UrlTrack[n] + ";";
        }
    }
    const std::vector<int> days = SelectedDays(Days, Profile.DailyRowsMax, Profile.DailyTruncMethod);
    std::vector<TXMLEntry*> summaryRows;
    if (found.size() > 1 && Included(rsTrackedSummary)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(llTrackedSummaryTitle);
        TXMLTable* t = sub->AddTable();
        t->Title = L(llDailyTitle);
        t->Columns = 3;
        t->KeyCaption = L(llDay);
        t->ShowTotal = false;
        SetFixedOrder(*t);
        if (TChartSVG* chart = AddDailyChart(*t, "charts/track_sum_daily", L(llTrackedSummaryChart))) {
            BuildNamedSeries(*chart, Days, names, vkPage, FirstDay, Analyser, Profile);
            AssignChartColors(*chart, Profile);
        }
        // Placeholders, one per listed day, filled by each URL below.
        for (int i : days)
            summaryRows.push_back(t->AddRow(DayText(i), 0, 0, 0, " "));
    }
    for (const auto& [n, item] : found)
        BuildTrackedUrl(section, Profile.UrlTrack[static_cast<size_t>(n)], n, *item, days, summaryRows);
}

void TStatisticsCompiler::BuildTrackedUrl(TXMLSection& section, const std::string& url, int position,
                                          const TLogView& item, const std::vector<int>& days,
                                          const std::vector<TXMLEntry*>& summaryRows) {
    TXMLSubSection* sub = section.AddSubSection();
    sub->Title = url;
    auto addTable = [&](TLangLine titleLine, int columns, const std::string& keyCaption) {
        TXMLTable* t = sub->AddTable();
        t->Title = FormatArgs(L(titleLine), {url});
        t->Columns = static_cast<uint8_t>(columns);
        t->KeyCaption = keyCaption;
        return t;
    };

    if (Included(rsTrackedFile)) {
        TXMLTable* t = addTable(llTrackedFileFormat, 7, {});
        t->ShowHeader = false;
        t->ShowTotal = false;
        SetFixedOrder(*t);
        auto header = [t](const std::string& name) { t->AddHeaderRow(name, 0, 0, 0); };
        auto value = [t](const std::string& key, const std::string& text) { t->AddRow(key, 0, 0, 0, text); };
        const double d = Days;
        header(L(llHits));
        value(L(llTotalHits), std::to_string(item.Hits));
        value(L(llHitsPerDay), FixedTwo(item.Hits / d));
        if (item.Visits > 0) value(L(llHitsPerVisit), FixedTwo(static_cast<double>(item.Hits) / item.Visits));
        header(L(llVisits));
        value(L(llTotalVisits), std::to_string(item.Visits));
        value(L(llVisitsPerDay), FixedTwo(item.Visits / d));
        header(L(llBandwidth));
        value(L(llTotalBandwidth), FormatSize(Output->TotalBytesUnit, item.Bytes));
        value(L(llBandwidthPerDay), FormatSize(Output->RowBytesUnit, item.Bytes / Days));
    }
    if (Included(rsTrackedStatus)) {
        TXMLTable* t = addTable(llTrackedStatusFormat, 0, L(llStatus));
        for (int i = 0; i < Analyser.ViewCount(vkPageStatus); ++i) {
            const TLogView& row = *Analyser.ViewAt(vkPageStatus, i);
            if (row.SubName == url) t->AddRow(StatusKey(row.Name), row.Hits, 0, 0, "");
        }
    }
    TXMLTable* daily = nullptr;
    if (Included(rsTrackedDaily)) {
        daily = addTable(llTrackedDailyFormat, 3, L(llDay));
        daily->ShowTotal = true;
        SetFixedOrder(*daily);
        if (TChartSVG* chart = AddDailyChart(*daily, "charts/track_" + std::to_string(position),
                                             FormatArgs(L(llDailyChartFormat), {url}))) {
            BuildNamedSeries(*chart, Days, url + ";", vkPage, FirstDay, Analyser, Profile);
            AssignChartColors(*chart, Profile);
        }
    }
    for (size_t k = 0; k < days.size(); ++k) {
        const TDayRecord day = TLogAnalyser::DayStatsOf(item, DayNumberAt(days[k]));
        if (day.Hits <= 0) continue;
        if (daily) daily->AddRow(DayText(days[k]), day.Hits, day.Visits, day.Bytes, "");
        if (k < summaryRows.size() && summaryRows[k]) {
            summaryRows[k]->Hits += day.Hits;
            summaryRows[k]->Visits += day.Visits;
            summaryRows[k]->Bytes += day.Bytes;
        }
    }
    if (Included(rsTrackedReferers)) {
        TXMLTable* t = addTable(llTrackedReferersFormat, 0, L(llReferrerUrl));
        for (int i = 0; i < Analyser.ViewCount(vkReferringDomain); ++i) {
            const std::string domain(Analyser.ViewAt(vkReferringDomain, i)->Name);
            if (const TLogView* row = Analyser.ViewByKey(vkTrackedPageDomain, url + "\n" + domain))
                t->AddRow(domain == "-" ? domain : "http://" + domain, row->Hits, 0, 0, "");
        }
    }
    if (Included(rsTrackedPhrases)) {
        TXMLTable* t = addTable(llTrackedPhrasesFormat, 1, L(llPhrase));
        t->ShowTotal = true;
        for (int i = 0; i < Analyser.ViewCount(vkTrackedEntryPhrase); ++i) {
            const TLogView& row = *Analyser.ViewAt(vkTrackedEntryPhrase, i);
            if (row.Name == url) t->AddRow(row.SubName, row.Hits, row.Visits, row.Bytes, "");
        }
    }
    if (Included(rsTrackedPaths)) {
        TXMLTable* t = addTable(llTrackedPathsFormat, 4, L(llPath));
        const std::string step = url + ";";
        for (int i = 0; i < Analyser.ViewCount(vkNavigationPath); ++i) {
            const TLogView& row = *Analyser.ViewAt(vkNavigationPath, i);
            if (row.Name.find(step) != std::string::npos)
                t->AddRow(ReplaceAll(row.Name, ";", " --> "), row.Hits, row.Visits, row.Bytes, "");
        }
    }
}
