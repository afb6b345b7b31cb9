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
    int TitleLine;
    int KeyLine;
    int View;
    const char* DailyChart;
    int DailyTitleLine;
    const char* PieChart;
    int PieTitleLine;
};

constexpr TShareTableDef kShareTables[] = {
    {rsBrowsers, 66, 109, 7, "charts/bos_daily_browser", 67, "charts/bos_pie_browser", 68},
    {rsOSes, 69, 70, 8, "charts/bos_daily_os", 71, "charts/bos_pie_os", 72},
};

} // namespace

void TStatisticsCompiler::BuildVisitors(TXMLSection& section) {
    auto addTable = [&](int subLine, int titleLine, int columns, int keyLine) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(subLine);
        TXMLTable* t = sub->AddTable();
        t->Title = L(titleLine);
        t->Columns = static_cast<uint8_t>(columns);
        t->KeyCaption = L(keyLine);
        return t;
    };

    if (Included(rsVisitsLength)) {
        TXMLTable* t = addTable(51, 52, 4, 51);
        SetFixedOrder(*t);
        TChartSVG* chart = AddBarChart(*t, "charts/visits_length", 53, 54);
        TChartSerie* serie = chart->AddSerie();
        serie->Name = L(10);
        for (int b = 0; b < 10; ++b) {
            const std::string key = b == 0 ? L(116) : b == 9 ? L(118) : FormatArgs(L(117), {kLengthRanges[b]});
            const int32_t count = Analyser.DurationBucket(b);
            t->AddRow(key, 0, count, 0, "");
            serie->AddLabelledPoint(count, kLengthRanges[b]);
        }
        AssignChartColors(*chart, Profile);
    }
    if (Included(rsTopVisitors)) {
        TXMLTable* t = addTable(55, 56, 3, 57);
        t->TruncMethod = kTruncTopN;
        t->TruncValue = 50;
        t->SortMode = kSortBytes;
        for (int i = 0; i < Analyser.ViewCount(12) && i < 50; ++i)
            AddGroupAwareRow(*t, *Analyser.ViewAt(12, i), false);
    }
    if (Included(rsCountries)) {
        TXMLTable* t = addTable(58, 59, 3, 60);
        TChartSVG* pie = t->AddChart("charts/visits_pie_countries");
        pie->ChartType = kChartPie;
        pie->Title = L(61);
        for (int i = 0; i < Analyser.ViewCount(16); ++i) {
            const TLogView& item = *Analyser.ViewAt(16, i);
            const std::string key = FormatArgs("[%s] %s", {item.Name, CountryFinder.CountryName(item.Name)});
            t->AddRow(key, item.Hits, item.Visits, item.Bytes, "");
            AddShareEntry(*pie, item.Visits, key, L(114));
        }
        AssignChartColors(*pie, Profile);
    }
    if (Included(rsUsers) && Analyser.ViewCount(17) > 1) {
        TXMLTable* t = addTable(62, 63, 3, 64);
        AddPlainRows(*t, 17);
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
            AddShareEntry(*pie, item.Visits, item.Name, L(114));
        }
        AssignChartColors(*pie, Profile);
    }
}

void TStatisticsCompiler::BuildReferer(TXMLSection& section) {
    auto dailyChart = [&](TXMLTable& t, const char* name, int titleLine, int view) {
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
        sub->Title = L(74);
        TXMLTable* domains = addTable(*sub, L(75), 4, L(73));
        for (int i = 0; i < Analyser.ViewCount(10); ++i)
            AddGroupAwareRow(*domains, *Analyser.ViewAt(10, i), true);
        dailyChart(*domains, "charts/referrer_daily_domain", 76, 10);
        AddPlainRows(*addTable(*sub, L(77), 4, L(110)), 9);
    }
    if (Included(rsSearchEngines)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(79);
        // Engines with their phrases, counted in visits under the hits caption.
        TXMLTable* engines = addTable(*sub, L(79), 0, L(80));
        SetFixedOrder(*engines);
        dailyChart(*engines, "charts/referrer_daily_sengine", 81, 13);
        AddNestedRows(*engines, 13, 22, true);

        TXMLTable* phrases = addTable(*sub, L(82), 1, L(83));
        phrases->ShowTotal = true;
        for (int i = 0; i < Analyser.ViewCount(15); ++i)
            AddGroupAwareRow(*phrases, *Analyser.ViewAt(15, i), false);

        TXMLTable* keywords = addTable(*sub, L(85), 1, L(86));
        keywords->ShowTotal = true;
        dailyChart(*keywords, "charts/referrer_daily_skeywords", 87, 14);
        AddPlainRows(*keywords, 14);
    }
}

void TStatisticsCompiler::BuildErrors(TXMLSection& section) {
    if (Included(rsErrorsSummary)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(89);
        TXMLTable* t = sub->AddTable();
        t->Title = L(89);
        t->Columns = 0;
        t->KeyCaption = L(90);
        if (TChartSVG* chart = AddDailyChart(*t, "charts/errors_daily_all", L(92), 91)) {
            BuildDailySeries(*chart, Days, 11, FirstDay, Analyser, Profile);
            AssignChartColors(*chart, Profile);
        }
        for (int i = 0; i < Analyser.ViewCount(11); ++i) {
            const TLogView& item = *Analyser.ViewAt(11, i);
            t->AddRow(StatusKey(item.Name), item.Hits, item.Visits, item.Bytes, "");
        }
    }
    if (Included(rsErrorsDetails)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(93);
        const TChildIndex files = ChildrenByName(Analyser, 21, false);
        for (int i = 0; i < Analyser.ViewCount(11); ++i) {
            const std::string status(Analyser.ViewAt(11, i)->Name);
            TXMLTable* t = sub->AddTable();
            t->Title = FormatArgs(L(94), {status});
            t->Columns = 0;
            t->KeyCaption = L(39);
            for (const TLogView* file : ChildrenOf(files, status))
                t->AddRow(file->SubName, file->Hits, 0, 0, "");
        }
    }
}

void TStatisticsCompiler::BuildTracked(TXMLSection& section) {
    std::vector<std::pair<int, TLogView*>> found; // position in UrlTrack, item of view 5
    std::string names;
    for (size_t n = 0; n < Profile.UrlTrack.size(); ++n) {
        if (TLogView* item = Analyser.ViewByKey(5, Profile.UrlTrack[n])) {
            found.emplace_back(static_cast<int>(n), item);
            names += Profile.UrlTrack[n] + ";";
        }
    }
    const std::vector<int> days = SelectedDays(Days, Profile.DailyRowsMax, Profile.DailyTruncMethod);
    std::vector<TXMLEntry*> summaryRows;
    if (found.size() > 1 && Included(rsTrackedSummary)) {
        TXMLSubSection* sub = section.AddSubSection();
        sub->Title = L(96);
        TXMLTable* t = sub->AddTable();
        t->Title = L(25);
        t->Columns = 3;
        t->KeyCaption = L(26);
        t->ShowTotal = false;
        SetFixedOrder(*t);
        if (TChartSVG* chart = AddDailyChart(*t, "charts/track_sum_daily", L(97))) {
            BuildNamedSeries(*chart, Days, names, 5, FirstDay, Analyser, Profile);
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
    auto addTable = [&](int titleLine, int columns, int keyLine) {
        TXMLTable* t = sub->AddTable();
        t->Title = FormatArgs(L(titleLine), {url});
        t->Columns = static_cast<uint8_t>(columns);
        if (keyLine >= 0) t->KeyCaption = L(keyLine);
        return t;
    };

    if (Included(rsTrackedFile)) {
        TXMLTable* t = addTable(98, 7, -1);
        t->ShowHeader = false;
        t->ShowTotal = false;
        SetFixedOrder(*t);
        auto header = [t](const std::string& name) { t->AddHeaderRow(name, 0, 0, 0); };
        auto value = [t](const std::string& key, const std::string& text) { t->AddRow(key, 0, 0, 0, text); };
        const double d = Days;
        header(L(3));
        value(L(4), std::to_string(item.Hits));
        value(L(5), FixedTwo(item.Hits / d));
        if (item.Visits > 0) value(L(7), FixedTwo(static_cast<double>(item.Hits) / item.Visits));
        header(L(10));
        value(L(11), std::to_string(item.Visits));
        value(L(12), FixedTwo(item.Visits / d));
        header(L(19));
        value(L(20), FormatSize(Output->TotalBytesUnit, item.Bytes));
        value(L(21), FormatSize(Output->RowBytesUnit, item.Bytes / Days));
    }
    if (Included(rsTrackedStatus)) {
        TXMLTable* t = addTable(147, 0, 140);
        for (int i = 0; i < Analyser.ViewCount(19); ++i) {
            const TLogView& row = *Analyser.ViewAt(19, i);
            if (row.SubName == url) t->AddRow(StatusKey(row.Name), row.Hits, 0, 0, "");
        }
    }
    TXMLTable* daily = nullptr;
    if (Included(rsTrackedDaily)) {
        daily = addTable(99, 3, 26);
        daily->ShowTotal = true;
        SetFixedOrder(*daily);
        if (TChartSVG* chart =
                AddDailyChart(*daily, "charts/track_" + std::to_string(position), FormatArgs(L(105), {url}))) {
            BuildNamedSeries(*chart, Days, url + ";", 5, FirstDay, Analyser, Profile);
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
        TXMLTable* t = addTable(100, 0, 110);
        for (int i = 0; i < Analyser.ViewCount(10); ++i) {
            const std::string domain(Analyser.ViewAt(10, i)->Name);
            if (const TLogView* row = Analyser.ViewByKey(20, url + "\n" + domain))
                t->AddRow(domain == "-" ? domain : "http://" + domain, row->Hits, 0, 0, "");
        }
    }
    if (Included(rsTrackedPhrases)) {
        TXMLTable* t = addTable(145, 1, 83);
        t->ShowTotal = true;
        for (int i = 0; i < Analyser.ViewCount(30); ++i) {
            const TLogView& row = *Analyser.ViewAt(30, i);
            if (row.Name == url) t->AddRow(row.SubName, row.Hits, row.Visits, row.Bytes, "");
        }
    }
    if (Included(rsTrackedPaths)) {
        TXMLTable* t = addTable(146, 4, 108);
        const std::string step = url + ";";
        for (int i = 0; i < Analyser.ViewCount(27); ++i) {
            const TLogView& row = *Analyser.ViewAt(27, i);
            if (row.Name.find(step) != std::string::npos)
                t->AddRow(ReplaceAll(row.Name, ";", " --> "), row.Hits, row.Visits, row.Bytes, "");
        }
    }
}
