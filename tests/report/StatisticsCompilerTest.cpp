// The compile step end to end: a real analyser over a small crafted log, compiled into a
// scratch work folder, the written XML read back and checked against figures worked out by hand.

#include "report/StatisticsCompiler.h"

#include "XmlProbe.h"
#include "core/u_loganalyser.h"
#include "core/u_qvprofile_filter.h"
#include "profile/u_qvprofile.h"
#include "report/CLangReader.h"
#include "sources/CUtils.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Line(const std::string& host, const std::string& time, const std::string& request,
                 const std::string& status = "200", const std::string& bytes = "100") {
    return host + " - - [" + time + " +0000] \"GET " + request + " HTTP/1.1\" " + status + " " + bytes +
           " \"-\" \"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\"\n";
}

// Three days: 7 hits, 5 visits, 1950 bytes; one 404; one URL parameter.
const std::string kLog = Line("1.1.1.1", "10/Oct/2003:10:00:00", "/index.html") +
                         Line("1.1.1.1", "10/Oct/2003:10:05:00", "/a/page.html", "200", "300") +
                         Line("2.2.2.2", "10/Oct/2003:11:00:00", "/img/x.gif", "200", "1000") +
                         Line("3.3.3.3", "11/Oct/2003:09:00:00", "/missing.html", "404", "50") +
                         Line("3.3.3.3", "11/Oct/2003:09:01:00", "/index.html?id=5") +
                         Line("1.1.1.1", "12/Oct/2003:08:00:00", "/index.html") +
                         Line("4.4.4.4", "12/Oct/2003:08:00:00", "/a/page.html", "200", "300");

class StatisticsCompilerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Profile.InitNew();
        Profile.SetName("site");
        Profile.LogPaths = {Sandbox.Folder.Path() + "logs/"};
        ASSERT_TRUE(Profile.Save());
        ASSERT_TRUE(Profile.Load("site"));
        Profile.SetExtGroups({{"Web pages", "HTM;HTML;", true}});
        Profile.UrlTrack = {"/index.html", "/nothere.html", "/img/x.gif"};
        Profile.ParamType = 2; // every parameter but the (empty) list
        Profile.DateFormat = "yyyy-mm-dd";
        Profile.ForceBW = 0;
        Profile.ForceBWT = 0;
        Profile.ChartRenderer = 1;
        Profile.RptPurgeType = 3;
        ASSERT_TRUE(Language.Load("english"));
        Sandbox.Folder.WriteFile("logs/access.log", kLog);
        Work = Sandbox.Folder.Path() + "work/";
    }
    // Analyses the log with a "Pages" group over pages (default "/a/*") and compiles it into
    // work (default Work). workers: how many share the analysis (0: one thread reads, parses
    // and counts alone; default: one per CPU).
    void Compile(std::string work = {}, const char* pages = "/a/*", int workers = -1) {
        Analyser = std::make_unique<TLogAnalyser>(Profile);
        Analyser->ReadOnSecondThread = workers != 0;
        Analyser->Workers = std::max(workers, 0);
        Analyser->EveryWorkerReads = EveryWorkerReads;
        Analyser->AddGroup("Pages", pages, 0, vkPage);
        for (const std::string& url : Profile.UrlTrack)
            Analyser->AddTrackedURL(url);
        ASSERT_TRUE(Analyser->Run());
        Analyser->SortAll();
        Analyser->ComputeAverages();
        TStatisticsCompiler(*Analyser, Profile, Language).Compile(work.empty() ? Work : work);
    }
    // The text cell after the key cell of the report summary row keyed by text.
    static std::string SummaryValue(const TXmlProbe& general, const std::string& key) {
        return general.Text("//subsection[@id=1]/table/line[data[1]='" + key + "']/data[2]");
    }

    TSandbox Sandbox;
    TQVProfile Profile;
    TCLangReader Language;
    std::unique_ptr<TLogAnalyser> Analyser;
    std::string Work;
    bool EveryWorkerReads = true;
};

TEST_F(StatisticsCompilerTest, SummaryTotalsAndStatusCodes) {
    Compile();
    const TXmlProbe general(Work + "general.xml");
    ASSERT_TRUE(general.Valid());
    EXPECT_EQ(general.Text("/section/title"), "site: General Statistics");
    EXPECT_EQ(general.Text("/section/geninfo/daterange"), "Period: 2003-10-10 - 2003-10-12");
    EXPECT_EQ(SummaryValue(general, "Total Hits"), "7");
    EXPECT_EQ(SummaryValue(general, "Hits per Day"), "2.33");
    EXPECT_EQ(SummaryValue(general, "Total Visits"), "5");
    EXPECT_EQ(SummaryValue(general, "Visits per Day"), "1.67");
    EXPECT_EQ(SummaryValue(general, "Average Visit Length (mm:ss)"), "01:12"); // 360 s over 5 visits
    EXPECT_EQ(SummaryValue(general, "Unique Visitors"), "4");
    EXPECT_EQ(general.Text("//table/header[data='Bandwidth']/following-sibling::line[1]/data[2]"), "1.90 KB");
    // The extension group's triple comes from its access table: /index.html (3) and the group (2).
    EXPECT_EQ(general.Text("//table/header[data='\"Web pages\"']/following-sibling::line[1]/data[2]"), "5");
    EXPECT_EQ(general.Count("//subsection[@id=1]/table/header"), 5);
    // Status codes with their reason phrases.
    EXPECT_EQ(general.Text("//subsection[@id=2]/table/line[data[1]='404 - Not Found']/data[2]"), "1");
    EXPECT_EQ(general.Text("//subsection[@id=2]/table/line[1]/data[1]"), "200 - OK");
}

// The summary tells what the logs held and what was left out of its figures.
TEST_F(StatisticsCompilerTest, SummaryCountsTheLinesLeftOut) {
    Sandbox.Folder.WriteFile("logs/access.log", kLog + "a broken line\n" +
                                                    Line("5.5.5.5", "13/Oct/2003:08:00:00", "/late.html") +
                                                    Line("6.6.6.6", "12/Oct/2003:09:00:00", "/v.mpg", "206", "10") +
                                                    Line("6.6.6.6", "12/Oct/2003:09:00:01", "/v.mpg", "206", "10") +
                                                    Line("6.6.6.6", "12/Oct/2003:09:00:02", "/v.mpg", "206", "10"));
    Profile.RptRangeType = rtCustom;
    Profile.RptStartDate = DateFromParts("2003", "Oct", "10");
    Profile.RptEndDate = DateFromParts("2003", "Oct", "12");
    Compile();
    const TXmlProbe general(Work + "general.xml");
    ASSERT_TRUE(general.Valid());
    EXPECT_EQ(SummaryValue(general, "Total Hits"), "8");
    EXPECT_EQ(SummaryValue(general, "Lines Read"), "12");
    EXPECT_EQ(SummaryValue(general, "Lines That Could Not Be Read"), "1");
    EXPECT_EQ(SummaryValue(general, "Lines Outside the Date Range"), "1");
    EXPECT_EQ(SummaryValue(general, "Partial Downloads Merged"), "2");
}

TEST_F(StatisticsCompilerTest, DailyAndFixedActivityTables) {
    Compile();
    const TXmlProbe activity(Work + "activity.xml");
    ASSERT_TRUE(activity.Valid());
    const std::string daily = "//subsection[@id=1]/table";
    ASSERT_EQ(activity.Count(daily + "/line"), 3);
    EXPECT_EQ(activity.Text(daily + "/line[1]/data[1]"), "2003-10-10");
    EXPECT_EQ(activity.Text(daily + "/line[1]/data[2]"), "3");
    EXPECT_EQ(activity.Text(daily + "/line[1]/data[3]"), "2");
    EXPECT_EQ(activity.Text(daily + "/line[3]/data[1]"), "2003-10-12");
    EXPECT_EQ(activity.Text(daily + "/total/data[2]"), "7");
    EXPECT_TRUE(std::filesystem::exists(Work + "charts/activity_daily_visits.xml"));
    // Every hour and weekday has a row, with or without visits.
    EXPECT_EQ(activity.Count("//subsection[@id=2]/table/line"), 24);
    EXPECT_EQ(activity.Text("//subsection[@id=2]/table/line[11]/data[1]"), "10:00 - 10:59");
    EXPECT_EQ(activity.Text("//subsection[@id=2]/table/line[11]/data[3]"), "1");
    EXPECT_EQ(activity.Count("//subsection[@id=3]/table/line"), 7);
    EXPECT_EQ(activity.Text("//subsection[@id=3]/table/line[data[1]='Friday']/data[2]"), "3");
    EXPECT_EQ(activity.Text("//subsection[@id=4]/table/line[data[1]='October']/data[3]"), "5");
}

// A daily chart draws the visits of its view's rows day by day: each of its rows has visits
// on each of the three days.
TEST_F(StatisticsCompilerTest, EveryDailyChartDrawsTheDaysOfItsRows) {
    std::string log;
    for (const char* day : {"10", "11", "12"}) {
        const std::string time = std::string(day) + "/Oct/2003:10:00:00 +0000";
        log += std::string("7.7.7.") + day + " - - [" + time +
               "] \"GET /a/page.html HTTP/1.1\" 200 100 \"http://www.google.com/search?q=blue+widgets\" "
               "\"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\"\n" +
               Line(std::string("8.8.8.") + day, std::string(day) + "/Oct/2003:11:00:00", "/gone.html", "404");
    }
    Sandbox.Folder.WriteFile("logs/access.log", log);
    Profile.UrlTrack = {"/a/page.html"};
    Compile();
    for (const char* chart :
         {"bos_daily_browser", "bos_daily_os", "referrer_daily_domain", "referrer_daily_sengine",
          "referrer_daily_skeywords", "errors_daily_all", "access_daily_types", "access_daily_directory",
          "access_daily_all_files", "track_0"}) {
        const TXmlProbe probe(Work + "charts/" + chart + ".xml");
        ASSERT_TRUE(probe.Valid()) << chart;
        EXPECT_GE(probe.Count("//point[@y > 0]"), 3) << chart;
    }
}

TEST_F(StatisticsCompilerTest, GroupDetailsAreWrittenOnceAndMatchTheirRows) {
    Compile();
    const TXmlProbe access(Work + "access.xml");
    const TXmlProbe groups(Work + "groupsdef.xml");
    ASSERT_TRUE(access.Valid());
    ASSERT_TRUE(groups.Valid());
    // Listed in the daily file access table and in the extension group's table.
    EXPECT_EQ(access.Count("//line/data/entrygroup[id='Pages']"), 2);
    EXPECT_EQ(groups.Count("//table"), 1);
    EXPECT_EQ(groups.Text("//anchor"), "Pages");
    EXPECT_EQ(groups.Text("//table/title"), "Group \"Pages\" details");
    EXPECT_EQ(groups.Text("//table/line[data[1]='/a/page.html']/data[2]"), "2");
    EXPECT_EQ(groups.Text("//table/total/data[2]"), "2");
    // The group detail section is not listed in the contents.
    const TXmlProbe toc(Work + "TOC.xml");
    EXPECT_EQ(toc.Count("/menu/item[filename='groupsdef.htm']"), 0);
    EXPECT_EQ(toc.Count("/menu/item[filename='access.htm']"), 1);
    // Parameters: the name as header, its value below.
    const TXmlProbe params(Work + "url_params.xml.xml");
    EXPECT_EQ(params.Text("//subsection[@id=1]/table/header[2]/data[1]"), "id");
    EXPECT_EQ(params.Text("//subsection[@id=1]/table/line/data[1]"), "5");
    EXPECT_EQ(params.Text("//subsection[@id=2]/table/header[2]/data[1]"), "/index.html");
    EXPECT_EQ(params.Text("//subsection[@id=2]/table/line/data[1]"), "id=5");
}

TEST_F(StatisticsCompilerTest, TrackedUrlsFillTheSummaryDayByDay) {
    Compile();
    const TXmlProbe tracked(Work + "tracked.xml");
    ASSERT_TRUE(tracked.Valid());
    // Summary plus one subsection per found URL; "/nothere.html" never occurred.
    ASSERT_EQ(tracked.Count("/section/subsection"), 3);
    EXPECT_EQ(tracked.Text("/section/subsection[2]/title"), "/index.html");
    EXPECT_EQ(tracked.Text("/section/subsection[3]/title"), "/img/x.gif");
    const std::string summary = "/section/subsection[1]/table";
    EXPECT_EQ(tracked.Text(summary + "/line[1]/data[2]"), "2"); // index and image on the first day
    EXPECT_EQ(tracked.Text(summary + "/line[2]/data[2]"), "1");
    EXPECT_EQ(tracked.Text(summary + "/line[3]/data[4]"), "100.00 B");
    const std::string index = "/section/subsection[2]/table";
    EXPECT_EQ(tracked.Text(index + "[1]/line[data[1]='Total Hits']/data[2]"), "3");
    EXPECT_EQ(tracked.Text(index + "[2]/line/data[1]"), "200 - OK");
    EXPECT_EQ(tracked.Count(index + "[3]/line"), 3); // daily statistics
    EXPECT_EQ(tracked.Text(index + "[4]/line/data[1]"), "-");
    // The chart of a URL is numbered by its place in the profile's list.
    EXPECT_TRUE(std::filesystem::exists(Work + "charts/track_2.xml"));
}

TEST_F(StatisticsCompilerTest, SectionsFollowTheirBits) {
    Profile.ParamType = 0;
    Profile.RptIncludedSections = kAllSections & ~(rsErrorsSummary | rsErrorsDetails | rsCountries);
    Compile();
    const TXmlProbe toc(Work + "TOC.xml");
    EXPECT_EQ(toc.Count("/menu/item[filename='errors.htm']"), 0);
    EXPECT_EQ(toc.Count("/menu/item[filename='general.htm']"), 1);
    EXPECT_EQ(toc.Text("/menu/@lang"), "en");
    // A section with nothing to show gets no file, so no page.
    EXPECT_FALSE(std::filesystem::exists(Work + "errors.xml"));
    const TXmlProbe visitors(Work + "visitors.xml");
    EXPECT_EQ(visitors.Count("//table[title='Visits by Country']"), 0);
    EXPECT_EQ(visitors.Count("//table[title='Visits by Length']"), 1);
    // Without parameters the parameter section is not made at all.
    EXPECT_FALSE(std::filesystem::exists(Work + "url_params.xml.xml"));
}

TEST_F(StatisticsCompilerTest, ShortLanguageWritesNothingAndBadPercentageRaises) {
    Sandbox.Folder.WriteFile("lang/short.lng", "one\ntwo\n");
    TCLangReader shortLanguage;
    shortLanguage.SetFolder(Sandbox.Folder.Path() + "lang/");
    ASSERT_TRUE(shortLanguage.Load("short"));
    TLogAnalyser analyser(Profile);
    ASSERT_TRUE(analyser.Run());
    TStatisticsCompiler(analyser, Profile, shortLanguage).Compile(Work);
    EXPECT_FALSE(std::filesystem::exists(Work + "TOC.xml"));

    Profile.RptPurgeType = 0;
    Profile.RptPurgeParam1 = "half";
    EXPECT_THROW(TStatisticsCompiler(analyser, Profile, Language).Compile(Work), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(Work + "TOC.xml"));
}

// Placeholders missing, doubled or foreign in the language lines come out as literal text, a
// language of 10,000 lines works like the full one, and one line short of the full set
// writes nothing.
TEST_F(StatisticsCompilerTest, LanguageLinesNeverReadPastTheirArguments) {
    std::vector<std::string> lines;
    for (int i = 0; i < Language.LineCount(); ++i)
        lines.push_back(Language.Line(i));
    ASSERT_GE(lines.size(), 145u);
    lines[101] = "%s%s %d %n%%: ";
    lines[112] = "Total (%s) of %s %s";
    lines[114] = "Others";
    lines[117] = "%s%s%s Minutes";
    lines.resize(10000, "%s%n%p%s");
    auto write = [&](const std::string& name, size_t count) {
        std::string text;
        for (size_t i = 0; i < count; ++i)
            text += lines[i] + "\n";
        Sandbox.Folder.WriteFile("lang/" + name + ".lng", text);
    };
    write("long", lines.size());
    write("almost", 144);
    TCLangReader hostile;
    hostile.SetFolder(Sandbox.Folder.Path() + "lang/");

    ASSERT_TRUE(hostile.Load("almost"));
    Analyser = std::make_unique<TLogAnalyser>(Profile);
    ASSERT_TRUE(Analyser->Run());
    TStatisticsCompiler(*Analyser, Profile, hostile).Compile(Work);
    EXPECT_FALSE(std::filesystem::exists(Work + "TOC.xml"));

    ASSERT_TRUE(hostile.Load("long"));
    EXPECT_EQ(hostile.LineCount(), 10000);
    Language = hostile;
    Compile();
    const TXmlProbe general(Work + "general.xml");
    ASSERT_TRUE(general.Valid());
    EXPECT_EQ(general.Text("/section/title"), "site%s %d %n%: General Statistics");
    const TXmlProbe visitors(Work + "visitors.xml");
    EXPECT_EQ(visitors.Count("//line[starts-with(data[1], '%s%s Minutes')]"), 0);
    EXPECT_GE(visitors.Count("//line[contains(data[1], '%s%s Minutes')]"), 1);
    int totals = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Work))
        if (entry.path().extension() == ".xml")
            totals += std::max(0, TXmlProbe(entry.path().string())
                                      .Count("//total[starts-with(data, 'Total (') and contains(data, ') of %s %s')]"));
    EXPECT_GE(totals, 1);
}

TEST(StatisticsCompilerHelpers, DaySelectionAndExtensions) {
    auto count = [](int days, int max, int method) { return SelectedDays(days, max, method).size(); };
    EXPECT_EQ(count(40, 0, 0), 30u); // 0 counts as 30
    EXPECT_EQ(SelectedDays(40, 30, 1).front(), 10);
    const std::vector<int> spread = SelectedDays(100, 30, 2);
    ASSERT_EQ(spread.size(), 33u);
    EXPECT_EQ(spread.front(), 2);
    EXPECT_EQ(spread.back(), 98);
    EXPECT_EQ(count(10, 30, 2), 10u);
    EXPECT_EQ(count(10, 30, 7), 0u);

    EXPECT_EQ(FileExtensionOf("/a/page.Html?x=1.5"), "HTML");
    EXPECT_EQ(FileExtensionOf("/a.b/readme"), "");
    EXPECT_EQ(FileExtensionOf("/file.longextension"), "LONGE");
    // A visit of 75 minutes keeps its hour.
    EXPECT_EQ(VisitLengthText(75 * 60 + 5), "75:05");

    EXPECT_EQ(LanguageCode("english"), "en");
    EXPECT_EQ(LanguageCode(" German.lng "), "de");
    EXPECT_EQ(LanguageCode("klingon"), "");
}

// The analysis spread over workers by host: every figure of the report must stay what one
// thread gives, whatever their number, over many batches, closing passes in the middle of
// the run, a filter, groups, junk lines, out-of-order times and changes of day. One line
// more must show.
TEST_F(StatisticsCompilerTest, EveryNumberOfWorkersGivesTheSameReport) {
    std::string log;
    uint32_t seed = 7;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    const char* agents[] = {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)", "Googlebot/2.1",
                            "Mozilla/5.0 (X11; Linux x86_64) Firefox/121.0"};
    for (int i = 0; i < 30000; ++i) {
        const int second = i * 7 + static_cast<int>(next(600)); // not quite in order
        char time[64];
        std::snprintf(time, sizeof time, "%02d/Oct/2003:%02d:%02d:%02d", 10 + second / 86400, second / 3600 % 24,
                      second / 60 % 60, second % 60);
        // Enough hosts for closing passes in the middle of the run.
        const std::string host = "10." + std::to_string(next(100)) + "." + std::to_string(next(250)) + ".1";
        const std::string request = "/d" + std::to_string(next(9)) + "/p" + std::to_string(next(300)) +
                                    (next(3) == 0 ? ".gif" : ".html") +
                                    (next(5) == 0 ? "?id=" + std::to_string(next(4)) : "");
        std::string line = host + " - - [" + time + " +0000] \"GET " + request + " HTTP/1.1\" " +
                           (next(20) == 0 ? "404" : "200") + " " + std::to_string(next(5000)) +
                           " \"http://www.enginea.com/search?q=word+" + std::to_string(next(30)) + "\" \"" +
                           agents[next(3)] + "\"\n";
        // Lines that cleaning changes before, in or after the host: each must go where the
        // host's other lines go.
        const char* const unclean[] = {"\t", " ", "  "};
        if (next(40) == 0) line.insert(next(3) == 0 ? 0 : 1 + next(host.size()), unclean[next(3)]);
        log += line;
        if (next(100) == 0) log += "not a log line\n";
    }
    // The second half gzipped, so that the workers read it while it is expanded. A folder
    // each: the logs are read in time order.
    const size_t half = log.find('\n', log.size() / 2) + 1;
    Sandbox.Folder.WriteFile("logs/access.log", log.substr(0, half));
    std::filesystem::create_directories(Sandbox.Folder.Path() + "logs2");
    const std::string packed = Sandbox.Folder.Path() + "logs2/access.log.1.gz";
    gzFile gz = gzopen(packed.c_str(), "wb1");
    ASSERT_NE(gz, nullptr);
    ASSERT_EQ(gzwrite(gz, log.data() + half, static_cast<unsigned>(log.size() - half)),
              static_cast<int>(log.size() - half));
    ASSERT_EQ(gzclose(gz), Z_OK);
    // A W3C log read after it, whose lines have no bytes, zone or date of their own: no
    // line may take them from what a worker parsed before.
    std::string w3c;
    for (int i = 0; i < 3000; ++i) {
        if (i % 1500 == 0)
            w3c += "#Date: 2003-10-" + std::to_string(12 + i / 1500) +
                   " 00:00:00\n#Fields: time c-ip cs-method cs-uri-stem sc-status cs(User-Agent)\n";
        char time[16];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", i / 125, i / 2 % 60, i % 60);
        w3c += std::string(time) + " 10.9." + std::to_string(next(40)) + ".2 GET /w" + std::to_string(next(50)) +
               ".html 200 Mozilla/5.0+(X11)\n";
    }
    Sandbox.Folder.WriteFile("logs3/u_ex.log", w3c);
    Profile.LogPaths = {Sandbox.Folder.Path() + "logs/", Sandbox.Folder.Path() + "logs2/",
                        Sandbox.Folder.Path() + "logs3/"};
    TQVFilter filter;
    filter.InitNew();
    filter.SetName("nod2");
    filter.NewLine();
    filter.EditLine.FLType = 1;
    filter.EditLine.FLField = 0;
    filter.EditLine.FLHitsFilter = true;
    filter.EditLine.FLStrParam = {"/d2/*"};
    filter.CommitEdit();
    ASSERT_TRUE(filter.Save());
    Profile.FilterName = "nod2";
    Profile.EnableFilters = true;

    // The report files of a folder, by name.
    auto read = [](const std::string& folder) {
        std::map<std::string, std::string> files;
        for (const auto& file : std::filesystem::directory_iterator(folder))
            if (file.path().extension() == ".xml")
                files[file.path().filename().string()] = TTestFolder::ReadFile(file.path().string());
        return files;
    };
    Compile(Work + "one/", "/d1/*", 0);
    const auto one = read(Work + "one/");
    EXPECT_GE(one.size(), 5u);
    // Workers that each read the logs, and workers fed by one reading thread.
    for (const bool everyWorkerReads : {true, false}) {
        EveryWorkerReads = everyWorkerReads;
        for (const int workers : {1, 2, 3, 7}) {
            const std::string folder = Work + std::to_string(workers) + (everyWorkerReads ? "r" : "f") + "/";
            Compile(folder, "/d1/*", workers);
            EXPECT_TRUE(read(folder) == one) << workers << " workers, every worker reads: " << everyWorkerReads;
        }
    }
    const TXmlProbe general(Work + "one/general.xml");
    EXPECT_GT(std::stoi(SummaryValue(general, "Total Visits")), 20000); // more than one pass could hold
    EXPECT_LT(std::stoi(SummaryValue(general, "Total Hits")), 30000);   // the filter took hits

    // A line read twice changes the report.
    const size_t cut = log.find('\n', half / 2) + 1;
    Sandbox.Folder.WriteFile("logs/access.log", log.substr(0, half) + log.substr(cut, log.find('\n', cut) + 1 - cut));
    for (const bool everyWorkerReads : {true, false}) {
        EveryWorkerReads = everyWorkerReads;
        Compile(Work + "doubled/", "/d1/*", 3);
        EXPECT_FALSE(read(Work + "doubled/") == one) << everyWorkerReads;
    }
}

} // namespace
