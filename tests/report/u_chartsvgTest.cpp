// Chart descriptions: the written "cvgraph" documents, axis ranges, label thinning, the
// legend rule, and the builders that fill charts from views.

#include "report/u_chartsvg.h"

#include "core/u_loganalyser.h"
#include "profile/u_qvprofile.h"
#include "sources/DateTime.h"
#include "support/Sandbox.h"
#include "support/TestFolder.h"

#include "XmlProbe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Describe(const TChartSVG& chart) {
    TTestFolder folder;
    chart.WriteDescription(folder.Path() + "chart.xml");
    return TTestFolder::ReadFile(folder.Path() + "chart.xml");
}

TXmlProbe Probe(const TChartSVG& chart) {
    TTestFolder folder;
    chart.WriteDescription(folder.Path() + "chart.xml");
    return TXmlProbe(folder.Path() + "chart.xml");
}

} // namespace

TEST(ChartSVGTest, DescriptionOfABarChartWithTwoSeries) {
    TChartSVG chart;
    chart.Title = "Visits & hits <by hour>";
    chart.CategoryAxis.Title = "Hour";
    chart.CategoryAxis.RotateLabels = true;
    chart.ValueAxis.Title = "Visits";
    TChartSerie* a = chart.AddSerie();
    a->Name = "pages";
    a->Color = 0x0080FF; // red 255, green 128, blue 0
    TChartSerie* b = chart.AddSerie();
    b->Name = "images";
    b->Color = 0xC0C0C0;
    // Labels longer than 90 div 4 characters alternate with lowered ones.
    const char* labels[] = {"Monday morning and noon", "Tuesday morning and noon", "Wed", "Thursday morning and noon"};
    for (int i = 0; i < 4; ++i) {
        a->AddLabelledPoint(1200 + 100 * i, labels[i]);
        b->AddPointAt(i, 30 * i);
    }
    chart.ValueAxis.Max = 1500;
    chart.ValueAxis.Min = 0;

    const std::string expected = TTestFolder::ReadFile(TestDataFolder() + "report/chart_bar.xml");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Describe(chart), expected);
    EXPECT_THROW(chart.WriteDescription("/nonexistent-folder/chart.xml"), EReportWriteError);
}

TEST(ChartSVGTest, ValueAxisRangeUsesRoundStepsOfOneTwoOrFive) {
    struct Case {
        int32_t Max, Min;
        const char *Top, *Bottom, *Step;
        int Lines;
        const char* Margin;
    } cases[] = {
        {347, 12, "400", "0", "100", 5, ""},      // about six steps; multiples of the step
        {0, 0, "0", "0", "1", 1, ""},             // all zero: a single line "0"
        {1000, 900, "1000", "900", "20", 6, "5"}, // a line chart's range near its values
        {25000, 150, "25000", "0", "5000", 6, "10"},
        {50, -120, "50", "-150", "50", 5, ""},
    };
    for (const Case& c : cases) {
        TChartSVG chart;
        chart.AddSerie()->AddLabelledPoint(c.Max, "x");
        chart.ValueAxis.Max = c.Max;
        chart.ValueAxis.Min = c.Min;
        const TXmlProbe xml = Probe(chart);
        SCOPED_TRACE(c.Max);
        EXPECT_EQ(xml.Text("//yaxis/max"), c.Top);
        EXPECT_EQ(xml.Text("//yaxis/min"), c.Bottom);
        EXPECT_EQ(xml.Text("//yaxis/step"), c.Step);
        EXPECT_EQ(xml.Text("//yaxis/margin"), c.Margin);
        EXPECT_EQ(xml.Count("//yaxis/grid/line"), c.Lines);
        EXPECT_EQ(xml.Text("//yaxis/grid/line[1]"), c.Bottom);
        EXPECT_EQ(xml.Text("//yaxis/grid/line[last()]"), c.Top);
    }
}

TEST(ChartSVGTest, OutlinesForLightColoursGroupedDigitsAndSummaries) {
    const struct {
        TChartColor Color, Back;
        bool Outline;
    } colours[] = {
        {0x00FFFF, 0xFFFFFF, true},  // yellow on white
        {0xA77940, 0xFFFFFF, false}, // dark blue on white
        {0xA77940, 0x404040, true},  // dark blue on dark grey
        {0x00FFFF, 0x000000, false},
    };
    for (const auto& c : colours)
        EXPECT_EQ(NeedsOutline(c.Color, c.Back), c.Outline)
            << ChartColorText(c.Color) << " on " << ChartColorText(c.Back);
    EXPECT_EQ(ChartColorText(OutlineColor(0x00FFFF)), "#8c8c00");
    EXPECT_EQ(GroupedDigits(0), "0");
    EXPECT_EQ(GroupedDigits(999), "999");
    EXPECT_EQ(GroupedDigits(1234567), "1,234,567");
    EXPECT_EQ(GroupedDigits(-1000), "-1,000");

    // A single series names its largest categories; a pie its largest slices.
    TChartSVG hours;
    hours.Title = "Visits by Hour";
    TChartSerie* serie = hours.AddSerie();
    for (int h = 0; h < 5; ++h)
        serie->AddLabelledPoint(h == 3 ? 1250 : 100 + h, std::to_string(h) + ":00");
    EXPECT_EQ(hours.Summary(), "Visits by Hour: 3:00 1,250; 4:00 104; 2:00 102; \xE2\x80\xA6");
    TChartSVG pie;
    pie.ChartType = kChartPie;
    pie.Title = "Share of Visits by Browser";
    AddShareEntry(pie, 206, "Firefox", "Others (%s)");
    AddShareEntry(pie, 300, "Chrome", "Others (%s)");
    EXPECT_EQ(pie.Summary(), "Share of Visits by Browser: Chrome 300; Firefox 206");
}

TEST(ChartSVGTest, LongLabelRowsAreThinnedEvenlyUnlessTheyMayTurn) {
    TChartSVG chart;
    TChartSerie* serie = chart.AddSerie();
    for (int i = 0; i < 20; ++i)
        serie->AddLabelledPoint(i, "label" + std::string(1, static_cast<char>('a' + i)) + "xxxx"); // 10 characters
    // 200 characters of labels: about 90 / 200 of them, spread over the whole row.
    const TXmlProbe thinned = Probe(chart);
    std::string written;
    for (int i = 1; i <= thinned.Count("//xaxis/grid/line"); ++i)
        written += thinned.Text("//xaxis/grid/line[" + std::to_string(i) + "]").substr(5, 1);
    EXPECT_EQ(written, "adfhjmoqs"); // labels 0, 3, 5, 7, 9, 12, 14, 16, 18

    // Labels that may turn are all written; long ones alternate with lowered ones.
    chart.CategoryAxis.RotateLabels = true;
    const TXmlProbe turned = Probe(chart);
    EXPECT_EQ(turned.Count("//xaxis/grid/line"), 20);
    EXPECT_EQ(turned.Count("//xaxis/grid/line[position() mod 2 = 1][@lowered='y']"), 10);
    EXPECT_EQ(turned.Count("//xaxis/grid/line[@lowered]"), 10);
}

TEST(ChartSVGTest, LegendRule) {
    TChartSVG chart;
    chart.AddSerie();
    EXPECT_EQ(Probe(chart).Count("/cvgraph/showlegend"), 0);
    chart.LegendMode = 1;
    EXPECT_EQ(Probe(chart).Count("/cvgraph/showlegend"), 1);
    chart.LegendMode = 2;
    chart.AddSerie();
    EXPECT_FALSE(chart.LegendShown(false));
    chart.LegendMode = 0;
    chart.ChartType = kChartPie;
    EXPECT_EQ(Probe(chart).Count("/cvgraph/showlegend"), 1);
    EXPECT_FALSE(chart.LegendShown(true));
    chart.ChartType = 7; // unknown types are written as bars
    EXPECT_EQ(Probe(chart).Text("/cvgraph/charttype"), "bar");
}

TEST(ChartSVGTest, SeriesStatisticsClampTheirPointRange) {
    TChartSVG chart;
    TChartSerie* s = chart.AddSerie();
    for (int y : {5, -3, 9, 2})
        s->AddPointAt(0, y);
    EXPECT_EQ(s->MaxValue(), 9);
    EXPECT_EQ(s->MinValue(), -3);
    EXPECT_EQ(s->SumValues(), 13);
    EXPECT_EQ(s->MaxValue(-5, 1), 5);   // negative from counts from 0
    EXPECT_EQ(s->SumValues(2, 99), 11); // past the end means the last point
    EXPECT_EQ(s->SumValues(3, 1), 0);
    EXPECT_EQ(chart.AddSerie()->MinValue(), 0);

    chart.FitValueRange();
    EXPECT_EQ(chart.ValueAxis.Max, 9);  // integer part of 9.9
    EXPECT_EQ(chart.ValueAxis.Min, -3); // bars reach down to the smallest value, or start at 0
    chart.ChartType = kChartLine;
    chart.FitValueRange();
    EXPECT_EQ(chart.ValueAxis.Min, -2); // lines: the integer part of 0.9 x the smallest

    // Labels at an index grow the shared list; labelled points append to it.
    s->AddPointAt(3, 1, "d");
    chart.SerieAt(1)->AddLabelledPoint(4, "e");
    EXPECT_EQ(chart.CategoryAxis.Labels, (std::vector<std::string>{"", "", "", "d", "e"}));
    EXPECT_EQ(chart.SerieAt(1)->Points.back().X, 4);
    EXPECT_EQ(chart.SerieAt(2), nullptr);
}

TEST(ChartSVGTest, TextThatIsNotUtf8IsReadAsLatin1) {
    EXPECT_EQ(XmlSafeText("caf\xe9"), "caf\xc3\xa9");
    EXPECT_EQ(XmlSafeText("\xc3\xa9t\xc3"), "\xc3\xa9t\xc3\x83");
    EXPECT_EQ(XmlSafeText(std::string("a\0b\x1f", 4)), "a\xef\xbf\xbd"
                                                       "b\xef\xbf\xbd");
    EXPECT_EQ(FormatText("Others (%s) 100%% %d", "7"), "Others (7) 100% %d");
}

TEST(ChartSVGTest, DailySlotsTakeFirstLastOrSpreadDays) {
    EXPECT_EQ(DailySlotDay(4, 20, 30, 1), 4); // fewer days than slots
    EXPECT_EQ(DailySlotDay(0, 40, 30, 1), 10);
    EXPECT_EQ(DailySlotDay(29, 40, 30, 1), 39);
    EXPECT_EQ(DailySlotDay(3, 40, 0, 0), 3); // 0 counts as 30
    EXPECT_EQ(DailySlotDay(29, 90, 30, 2), 87);
    EXPECT_EQ(DailySlotDay(30, 90, 30, 2), -1);
}

class ChartBuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Profile.InitNew();
        Profile.DateFormat = "yyyy-mm-dd";
        Analyser = std::make_unique<TLogAnalyser>(Profile);
        // Three pages with one visit on each of 40 days, page b only on odd days.
        for (int d = 0; d < 40; ++d) {
            Analyser->GetView(vkPage, "/a")->Day(kFirst + d).Visits = d;
            if (d % 2) Analyser->GetView(vkPage, "/b")->Day(kFirst + d).Visits = 1;
        }
        Analyser->GetView(vkPage, "   ");
        Analyser->AddGroup("Team", "/t*", 0, vkPage);
        Analyser->GetView(vkPage, "/t1")->Day(kFirst + 39).Visits = 4;
        Analyser->BuildLists();
    }
    static constexpr int kFirst = 36526; // 1 January 2000

    TSandbox Sandbox;
    TQVProfile Profile;
    std::unique_ptr<TLogAnalyser> Analyser;
};

TEST_F(ChartBuilderTest, DailySeriesShowTheLastDaysOfEachItem) {
    TChartSVG chart;
    BuildDailySeries(chart, 2, vkPage, kFirst, *Analyser, Profile);
    EXPECT_EQ(chart.SerieCount(), 0);

    Profile.DailyRowsMax = 30;
    Profile.DailyTruncMethod = 1;
    BuildDailySeries(chart, 40, vkPage, kFirst, *Analyser, Profile);
    ASSERT_EQ(chart.SerieCount(), 4);
    std::vector<std::string> names;
    for (const auto& s : chart.Series)
        names.push_back(s->Name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"-", "/a", "/b", "{Team}"}));
    for (const auto& s : chart.Series) {
        ASSERT_EQ(s->Points.size(), 30u);
        if (s->Name == "/a") {
            EXPECT_EQ(s->Points[0].Y, 10);
        } else if (s->Name == "{Team}") {
            EXPECT_EQ(s->Points[29].Y, 4);
        }
    }
    EXPECT_EQ(chart.CategoryAxis.Labels.front(), "2000-01-11");
    EXPECT_EQ(chart.CategoryAxis.Labels.back(), "2000-02-09");
    EXPECT_EQ(chart.ValueAxis.Max, 42); // 1.1 x 39

    BuildNamedSeries(chart, 40, "/b;/missing;Team;", vkPage, kFirst, *Analyser, Profile);
    ASSERT_EQ(chart.SerieCount(), 2);
    EXPECT_EQ(chart.SerieAt(0)->Name, "/b");
    EXPECT_EQ(chart.SerieAt(1)->Name, "{Team}");

    AssignChartColors(chart, Profile);
    EXPECT_EQ(chart.BackColor, Profile.BGColor);
    EXPECT_EQ(chart.SerieAt(1)->Color, Profile.Color[1]);
}

TEST(ChartSVGTest, SharePieGathersTheSixthAndLaterEntries) {
    TChartSVG chart;
    for (int i = 1; i <= 7; ++i)
        AddShareEntry(chart, 10 * i, "entry" + std::to_string(i), "Others (%s)");
    ASSERT_EQ(chart.SerieCount(), 6);
    EXPECT_EQ(chart.SerieAt(4)->Name, "entry5");
    EXPECT_EQ(chart.SerieAt(5)->Name, "Others (2)");
    EXPECT_EQ(chart.SerieAt(5)->SumValues(), 130);
    EXPECT_EQ(chart.CategoryAxis.Labels.size(), 7u);
}
