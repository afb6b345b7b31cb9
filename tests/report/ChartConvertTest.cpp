// The chart conversion: descriptions become SVG pictures (libxslt in process, or Saxon
// when the program folder has it), other files are copied; the pictures are checked by
// parsing them and looking for their shapes.

#include "report/ChartConvert.h"
#include "report/u_chartsvg.h"

#include "XmlProbe.h"
#include "sources/ExternalPrograms.h"
#include "sources/FileUtils.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

void WriteCharts(const std::string& folder) {
    ForceFolders(folder);
    for (uint8_t type : {kChartBar, kChartLine, kChartPie}) {
        TChartSVG chart;
        chart.ChartType = type;
        chart.Title = "Visits & <more>";
        chart.CategoryAxis.Title = "Month";
        chart.CategoryAxis.RotateLabels = true;
        chart.ValueAxis.Title = "Visits";
        const char* months[] = {"January", "February", "March", "April", "May", "June"};
        for (int s = 0; s < 3; ++s) {
            TChartSerie* serie = chart.AddSerie();
            serie->Name = "serie " + std::to_string(s);
            serie->Color = 0x0000FF << (8 * s);
            for (int i = 0; i < 6; ++i) {
                if (s == 0)
                    serie->AddLabelledPoint(100 * (i + 1), months[i]);
                else
                    serie->AddPointAt(i, 40 * s + 7 * i);
            }
        }
        chart.FitValueRange();
        chart.WriteDescription(folder + (type == kChartBar ? "bar" : type == kChartLine ? "line" : "pie") + ".xml");
    }
}

void ExpectShapes(const std::string& folder) {
    const TXmlProbe bar(folder + "bar.svg");
    ASSERT_TRUE(bar.Valid());
    EXPECT_EQ(bar.Text("/s:svg/@viewBox"), "0 0 600 300");
    EXPECT_EQ(bar.Text("//s:text[@class='title']"), "Visits & <more>");
    EXPECT_EQ(bar.Count("//s:rect[@class='bar']"), 18);
    EXPECT_EQ(bar.Count("//s:g[@class='serie'][@fill='#00ff00']/s:rect[@class='bar']"), 6);
    EXPECT_EQ(bar.Count("//s:g[@class='categories']/s:text"), 6);
    EXPECT_EQ(bar.Count("//s:g[@class='grid']/s:line"), bar.Count("//s:g[@class='ticks']/s:text"));
    EXPECT_GE(bar.Count("//s:g[@class='grid']/s:line"), 5);
    EXPECT_EQ(bar.Count("//s:g[@class='legend']/s:rect[@class='swatch']"), 3);
    EXPECT_EQ(bar.Count("//s:text[@class='axistitle']"), 2);

    const TXmlProbe line(folder + "line.svg");
    ASSERT_TRUE(line.Valid());
    EXPECT_EQ(line.Count("//s:polyline[@class='line']"), 3);
    EXPECT_EQ(line.Count("//s:polyline[@class='line'][@stroke='#ff0000'][@stroke-width='3']"), 1);
    EXPECT_EQ(line.Count("//s:rect[@class='bar']"), 0);

    const TXmlProbe pie(folder + "pie.svg");
    ASSERT_TRUE(pie.Valid());
    EXPECT_EQ(pie.Count("//s:path[@class='slice']"), 3);
    EXPECT_EQ(pie.Count("//s:text[@class='slicelabel']"), 3);
    // The first series holds 2100 of 2100 + 345 + 585.
    EXPECT_EQ(pie.Text("//s:text[@class='slicelabel'][1]/s:tspan"), "69.3%");
}

} // namespace

TEST(ChartConvertTest, DescriptionsBecomeSvgAndOtherFilesAreCopied) {
    TTestFolder folder;
    const std::string work = folder.Path() + "work/";
    const std::string report = folder.Path() + "report/charts/";
    WriteCharts(work + "charts/");
    folder.WriteFile("work/charts/logo.png", "png");
    folder.WriteFile("report/charts/old.svg", "keep");
    folder.WriteFile("work/charts/old.XML", "<cvgraph/>");

    EXPECT_EQ(ConvertCharts(work + "charts/", report), 0);
    ExpectShapes(report);
    EXPECT_EQ(TTestFolder::ReadFile(report + "logo.png"), "png");
    EXPECT_EQ(TTestFolder::ReadFile(report + "old.svg"), "keep"); // an existing picture stays
    EXPECT_FALSE(FileExists(work + "tmp.svg"));

    // Without its stylesheet the conversion makes no pictures at all.
    const std::string empty = folder.Path() + "empty/";
    ForceFolders(empty);
    EXPECT_EQ(ConvertCharts(work + "charts/", folder.Path() + "none/", empty), 0);
    EXPECT_FALSE(FileExists(folder.Path() + "none/bar.svg"));
    EXPECT_TRUE(FileExists(folder.Path() + "none/logo.png"));
}

TEST(ChartConvertTest, SaxonInTheProgramFolderDoesTheConversion) {
    const std::string jar = "/usr/share/java/saxon.jar";
    if (!FileExists(jar) || FindJavaHome().empty()) GTEST_SKIP() << "needs Java and " << jar;
    TTestFolder folder;
    const std::string program = folder.Path() + "program/";
    ForceFolders(program + "saxon/");
    ForceFolders(program + "chartsvg/");
    std::filesystem::create_symlink(jar, program + "saxon/saxon.jar");
    std::filesystem::copy_file(ProgramFolder() + "chartsvg/chartsvg.xsl", program + "chartsvg/chartsvg.xsl");
    WriteCharts(folder.Path() + "work/charts/");
    folder.WriteFile("work/charts/broken.xml", "<cvgraph>");

    // The broken description fails in Saxon and leaves no picture behind.
    EXPECT_NE(ConvertCharts(folder.Path() + "work/charts/", folder.Path() + "report/", program), 0);
    ExpectShapes(folder.Path() + "report/");
    EXPECT_FALSE(FileExists(folder.Path() + "report/broken.svg"));
    EXPECT_FALSE(FileExists(folder.Path() + "work/tmp.svg"));
}
