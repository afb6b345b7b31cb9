// The chart conversion: descriptions become SVG pictures (libxslt in process, or Saxon
// when the program folder has it), other files are copied; the pictures are checked by
// parsing them and looking for their shapes.

#include "report/ChartConvert.h"
#include "report/u_chartsvg.h"

#include "ChartSamples.h"
#include "XmlProbe.h"
#include "sources/ExternalPrograms.h"
#include "sources/FileUtils.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

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
    EXPECT_EQ(bar.Text("/s:svg/@viewBox"), "0 0 480 300");
    EXPECT_EQ(bar.Text("//s:text[@class='title']"), "Visits & <more>");
    EXPECT_EQ(bar.Count("//s:rect[@class='bar']"), 18);
    EXPECT_EQ(bar.Count("//s:g[@class='serie'][@fill='#00ff00']/s:rect[@class='bar']"), 6);
    // Month names need more than a slot each: every second one is shown.
    EXPECT_EQ(bar.Count("//s:g[@class='categories']/s:text"), 3);
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
    EXPECT_EQ(pie.Text("//s:text[@class='slicelabel'][1]"), "69%");
    EXPECT_EQ(pie.Text("//s:g[@class='key']/s:text[@class='keyvalue'][1]"), "2,100 (69.3%)");
}

// An attribute of node or of its nearest ancestor that has it.
std::string Inherited(xmlNode* node, const char* name) {
    for (; node && node->type == XML_ELEMENT_NODE; node = node->parent) {
        if (xmlChar* value = xmlGetProp(node, BAD_CAST name)) {
            std::string text = reinterpret_cast<const char*>(value);
            xmlFree(value);
            return text;
        }
    }
    return "";
}

// The boxes of a picture's texts, their widths estimated as the stylesheet does: 0.6 of
// the font size a character, 0.65 in bold, a fifth more for capitals; a transform is a
// translation and a turn upwards.
void CollectTextBoxes(xmlNode* node, std::vector<TTextBox>& boxes) {
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) continue;
        if (std::strcmp(reinterpret_cast<const char*>(node->name), "text") != 0) {
            CollectTextBoxes(node->children, boxes);
            continue;
        }
        xmlChar* content = xmlNodeGetContent(node);
        const std::string text = reinterpret_cast<const char*>(content);
        xmlFree(content);
        double chars = 0;
        for (unsigned char c : text)
            chars += (c & 0xC0) == 0x80 ? 0 : std::isupper(c) || std::strchr("@%&#", c) ? 1.2 : 1;
        const std::string sizeText = Inherited(node, "font-size");
        const double size = sizeText.empty() ? 16 : std::stod(sizeText);
        const double width =
            static_cast<double>(chars) * size * (Inherited(node, "font-weight") == "bold" ? 0.65 : 0.6);
        const std::string anchor = Inherited(node, "text-anchor");
        const double before = anchor == "middle" ? width / 2 : anchor == "end" ? width : 0;
        double x = std::atof(Inherited(node, "x").c_str()), y = std::atof(Inherited(node, "y").c_str());
        const std::string transform = Inherited(node, "transform");
        if (std::sscanf(transform.c_str(), "translate(%lf,%lf) rotate(-90)", &x, &y) == 2)
            boxes.push_back({text, x - 0.8 * size, y - width + before, x + 0.22 * size, y + before});
        else
            boxes.push_back({text, x - before, y - 0.8 * size, x - before + width, y + 0.22 * size});
    }
}

} // namespace

TEST(ChartConvertTest, SvgAxisStartsAtZeroForBarsAndTextsStayInsideAndApart) {
    TTestFolder folder;
    const std::string work = folder.Path() + "charts/";
    ForceFolders(work);
    for (const TChartSample& sample : kChartSamples) {
        TChartSVG chart;
        BuildSample(chart, sample);
        chart.WriteDescription(work + sample.Name + ".xml");
    }
    ASSERT_EQ(ConvertCharts(work, folder.Path() + "report/"), 0);
    for (const TChartSample& sample : kChartSamples) {
        SCOPED_TRACE(sample.Name);
        const std::string path = folder.Path() + "report/" + sample.Name + ".svg";
        const TXmlProbe svg(path);
        ASSERT_TRUE(svg.Valid());
        if (sample.Type != kChartPie) {
            EXPECT_EQ(svg.Text("//s:g[@class='ticks']/s:text[1]"), GroupedDigits(sample.AxisMin));
            EXPECT_EQ(svg.Count("//s:g[@class='legend']/s:text[@class='keyvalue']"),
                      sample.Series > 1 ? sample.Series : 0);
        } else {
            EXPECT_EQ(svg.Count("//s:g[@class='key']/s:text[@class='keyname']"), std::min(sample.Series, 6));
        }
        // The yellow series on white is outlined.
        if (sample.Series >= 5) {
            EXPECT_EQ(svg.Count("//s:*[@fill='#ffff00' or @stroke='#ffff00'][@class!='swatch']"
                                "[@stroke='#8c8c00' or preceding-sibling::s:*[1][@stroke='#8c8c00']]"),
                      1);
        }
        std::unique_ptr<xmlDoc, TXmlDocFree> doc(xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET));
        std::vector<TTextBox> boxes;
        CollectTextBoxes(xmlDocGetRootElement(doc.get()), boxes);
        ExpectInsideAndApart(boxes, 480, 300);
    }
}

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
