// The report XML writer: the contents file and section files of a hand-built report are
// compared with expected files; table mechanics and text safety are checked on their own.

#include "report/u_xmloutput.h"

#include "XmlProbe.h"
#include "sources/FileUtils.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Expected(const std::string& name) {
    return TTestFolder::ReadFile(TestDataFolder() + "report/" + name);
}

// A report of four sections: general (a summary with header rows, status codes cut to
// the top 3 with a total), access (group rows, a chart, log texts, percentage cuts,
// average), visitors (no rows, so no file) and groupsdef (not listed).
void BuildReport(TXMLOutput& out) {
    out.TocFileName = "TOC.xml";
    out.Language = "en";
    out.TitlePrefix = "Site: ";
    out.GeneratedOn = "Generated on 2024-03-01";
    out.DateRange = "From 2024-02-01 - 2024-02-29";
    out.RowBytesUnit = 1;
    out.TotalBytesUnit = -1;
    out.TruncMethod = kTruncTopN;
    out.TruncValue = 2;
    out.VectorCharts = true;

    TXMLSection* general = out.AddSection();
    general->Id = "general";
    general->Title = "General";
    TXMLSubSection* summary = general->AddSubSection();
    summary->Title = "Summary";
    TXMLTable* t = summary->AddTable();
    t->Columns = 7;
    t->ShowHeader = false;
    t->TruncMethod = kTruncNone;
    t->AddHeaderRow("Hits", 0, 0, 0);
    t->AddRow("Total hits", 0, 0, 0, "1234");
    t->AddRow("Blank", 0, 0, 0, " ");
    t->AddHeaderRow("Bandwidth", 0, 0, 2048);
    t->AddRow("Per day", 0, 0, 0, "12.00 KB");
    TXMLSubSection* status = general->AddSubSection();
    status->Title = "Status codes";
    t = status->AddTable();
    t->Title = "Status codes";
    t->Columns = 6;
    t->KeyCaption = "Code";
    t->ShowTotal = true;
    t->AddRow("404 - Not Found", 30, 0, 0);
    t->AddRow("500 - Error", 5, 0, 0);
    t->AddRow("200 - OK", 50, 0, 0);
    t->AddRow("304 - Not Modified", 15, 0, 0);
    general->AddSubSection()->Title = "Nothing here"; // listed in the contents, not written

    TXMLSection* access = out.AddSection();
    access->Id = "access";
    access->Title = "Access";
    TXMLSubSection* files = access->AddSubSection();
    files->Title = "Files";
    t = files->AddTable();
    t->Title = "Most visited files";
    t->Columns = 3;
    t->KeyCaption = "File";
    t->Anchor = "files";
    t->ShowTotal = true;
    t->ShowAverage = true;
    t->TruncMethod = kTruncPercent;
    t->TruncValue = 10;
    TChartSVG* chart = t->AddChart("charts/files");
    chart->Title = "Visits";
    t->LinkSeries(chart->AddSerie(), kValueVisits, false);
    t->AddRow("/rare", 1, 0, 10);
    t->AddRow("{{Web Team", 8, 3, 3000);
    t->AddRow("/<script>alert(\"x\")</script>&amp;'q'\xff.html", 2, 1, 100);
    t->AddRow("/index.html", 10, 6, 5000);
    TXMLSubSection* shares = access->AddSubSection();
    shares->Title = "";
    t = shares->AddTable(); // no visits at all: nothing is cut, shares stay 0
    t->Columns = 4;
    t->TruncMethod = kTruncPercent;
    t->TruncValue = 50;
    t->AddChart("charts/noseries");
    t->AddRow("/b", 1, 0, 0);
    t->AddRow("/a", 3, 0, 0);
    t = shares->AddTable(); // no rows: no elements, no chart
    t->AddChart("charts/unused")->AddSerie();

    TXMLSection* visitors = out.AddSection();
    visitors->Id = "visitors";
    visitors->Title = "Visitors";
    visitors->AddSubSection()->AddTable()->AddRow("   ", 5, 5, 5);

    TXMLSection* groups = out.AddSection();
    groups->Id = "groupsdef";
    groups->InToc = false;
    t = groups->AddSubSection()->AddTable();
    t->TruncMethod = kTruncNone;
    t->AddRow("member", 1, 1, 1);
}

} // namespace

TEST(XMLOutputTest, ReportFilesFollowTheGrammar) {
    TTestFolder folder;
    ForceFolders(folder.Path() + "charts/");
    TXMLOutput out;
    out.Folder = folder.Path();
    BuildReport(out);
    out.Write();

    for (const char* name : {"TOC.xml", "general.xml", "access.xml", "charts/files.xml"}) {
        SCOPED_TRACE(name);
        const std::string expected = Expected(name);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(TTestFolder::ReadFile(folder.Path() + name), expected);
    }
    // A section with nothing to show gets no file, so no page.
    EXPECT_FALSE(FileExists(folder.Path() + "visitors.xml"));
    EXPECT_TRUE(FileExists(folder.Path() + "groupsdef.xml"));
    EXPECT_FALSE(FileExists(folder.Path() + "charts/noseries.xml"));
    EXPECT_FALSE(FileExists(folder.Path() + "charts/unused.xml"));
}

TEST(XMLOutputTest, LogTextsStayTextWhenParsedBack) {
    TTestFolder folder;
    ForceFolders(folder.Path() + "charts/");
    TXMLOutput out;
    out.Folder = folder.Path();
    BuildReport(out);
    out.Write();
    const TXmlProbe access(folder.Path() + "access.xml");
    ASSERT_TRUE(access.Valid());
    EXPECT_EQ(access.Count("//line"), 5);
    EXPECT_EQ(access.Count("//script"), 0);
    EXPECT_EQ(access.Text("//line[3]/data[1]"), "/<script>alert(\"x\")</script>&amp;'q'\xc3\xbf.html");
    EXPECT_EQ(access.Text("//line[2]/data[1]/entrygroup/id"), "WebTeam");
}

TEST(XMLOutputTest, RowsNeedANameAndFiguresOrText) {
    TXMLOutput out;
    TXMLTable table(&out);
    EXPECT_EQ(table.AddRow("  ", 1, 1, 1), nullptr);
    EXPECT_EQ(table.AddRow("a", 0, 0, 0), nullptr);
    EXPECT_NE(table.AddRow("a", 0, 0, 0, " "), nullptr);
    EXPECT_NE(table.AddRow(" b ", 2, 3, 4), nullptr);
    EXPECT_EQ(table.AddHeaderRow(" ", 1, 1, 1), nullptr);
    EXPECT_TRUE(table.AddHeaderRow("h", 9, 9, 9)->IsHeader);
    EXPECT_EQ(table.RowAt(1)->Name, " b ");
    EXPECT_EQ(table.RowAt(3), nullptr);
    EXPECT_EQ(table.TotalHits, 2);
    EXPECT_EQ(table.TotalVisits, 3);
    EXPECT_EQ(table.TotalBytes, 4);
}

TEST(XMLOutputTest, TruncationMethodsCutTheSortedTail) {
    struct Case {
        uint8_t Method;
        double Value;
        int Lines;
    } cases[] = {{kTruncNone, 0, 40}, {kTruncTopN, 30, 31}, {kTruncMinHits, 15, 26}, {kTruncPercent, 1, 32}};
    for (const Case& c : cases) {
        TTestFolder folder;
        TXMLOutput out;
        out.Folder = folder.Path();
        out.TocFileName = "TOC.xml";
        TXMLSection* section = out.AddSection();
        section->Id = "s";
        TXMLTable* table = section->AddSubSection()->AddTable();
        table->TruncMethod = c.Method;
        table->TruncValue = c.Value;
        for (int i = 1; i <= 40; ++i) // hits 1..40: 820 in all, 1 % is 8.2
            table->AddRow("row" + std::to_string(i), i, 0, 0);
        out.Write();
        const std::string xml = TTestFolder::ReadFile(folder.Path() + "s.xml");
        SCOPED_TRACE(c.Method);
        size_t lines = 0;
        for (size_t at = xml.find("<line>"); at != std::string::npos; at = xml.find("<line>", at + 1))
            ++lines;
        EXPECT_EQ(lines, static_cast<size_t>(c.Lines));
        EXPECT_EQ(xml.find("<others>") != std::string::npos, c.Lines < 40);
        EXPECT_NE(xml.find("<line>\r\n<data>row40</data>"), std::string::npos); // sorted by hits
    }
}

TEST(XMLOutputTest, RasterChartsArePngAndFileErrorsPropagate) {
    TTestFolder folder;
    ForceFolders(folder.Path() + "charts/");
    TXMLOutput out;
    out.Folder = folder.Path();
    out.TocFileName = "TOC.xml";
    TXMLSection* section = out.AddSection();
    section->Id = "activity";
    TXMLTable* table = section->AddSubSection()->AddTable();
    TChartSVG* chart = table->AddChart("charts/hours");
    table->LinkSeries(chart->AddSerie(), kValueBytes, true);
    table->AddRow("{{Team", 1, 1, int64_t{5} << 32, "{{Team");
    out.Write();
    // The picture's alternative text names its largest items with their values.
    EXPECT_NE(TTestFolder::ReadFile(folder.Path() + "activity.xml")
                  .find("<graphic alt=\"{Team} 2,147,483,647\">charts/hours.png</graphic>"),
              std::string::npos);
    EXPECT_TRUE(FileExists(folder.Path() + "charts/hours.png"));
    // Labels from a group row's text take single braces; bytes past 2 GiB do not wrap.
    EXPECT_EQ(chart->CategoryAxis.Labels.at(0), "{Team}");
    EXPECT_EQ(chart->SerieAt(0)->Points.at(0).Y, 2147483647);

    out.Folder = folder.Path() + "missing/";
    EXPECT_THROW(out.Write(), EReportWriteError);
}
