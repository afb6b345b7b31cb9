// End-to-end runs of the analyser over small crafted logs, checked against counts worked
// out by hand.

#include "core/u_loganalyser.h"

#include "core/Progress.h"
#include "core/ShardFeed.h"
#include "core/u_qvprofile_filter.h"
#include "profile/u_qvprofile.h"
#include "sources/CUtils.h"
#include "support/PeakMemory.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Adds a line that leaves out what matches mask in one field (hits, or whole visits).
void AddExcludeLine(TQVFilter& filter, uint8_t field, bool hitsFilter, std::string mask) {
    filter.NewLine();
    filter.EditLine.FLType = 1;
    filter.EditLine.FLField = field;
    filter.EditLine.FLHitsFilter = hitsFilter;
    filter.EditLine.FLStrParam = {std::move(mask)};
    filter.CommitEdit();
}

// One line of the default (combined) format.
std::string Line(const std::string& host, const std::string& time, const std::string& request,
                 const std::string& status = "200", const std::string& bytes = "100", const std::string& referrer = "-",
                 const std::string& agent = "Mozilla/4.0 (compatible; MSIE 6.0; "
                                            "Windows NT 5.1)") {
    return host + " - - [" + time + "] \"GET " + request + " HTTP/1.1\" " + status + " " + bytes + " \"" + referrer +
           "\" \"" + agent + "\"\n";
}

class LogAnalyserTest : public ::testing::Test {
protected:
    void SetUp() override {
        Profile.InitNew();
        Profile.SetName("site");
        Profile.LogPaths = {Sandbox.Folder.Path() + "logs/"};
        Profile.IgnoreErrors = true;
        // The path extensions of a profile come from its saved extension groups.
        ASSERT_TRUE(Profile.Save());
        ASSERT_TRUE(Profile.Load("site"));
    }
    void WriteLog(const std::string& text, const std::string& name = "access.log") {
        Sandbox.Folder.WriteFile("logs/" + name, text);
    }
    // Runs a fresh analyser over the logs.
    std::unique_ptr<TLogAnalyser> Analyse(bool expected = true) {
        auto analyser = std::make_unique<TLogAnalyser>(Profile);
        if (ReadOnCountingThread) analyser->ReadOnSecondThread = false;
        for (const auto& [name, members, type, kind] : GroupsToAdd)
            analyser->AddGroup(name, members, type, kind);
        for (const std::string& url : Tracked)
            analyser->AddTrackedURL(url);
        EXPECT_EQ(analyser->Run(), expected);
        analyser->SortAll();
        analyser->ComputeAverages();
        return analyser;
    }
    // Hits and visits of a row, or -1/-1 when it is absent.
    static std::pair<int, int> Row(TLogAnalyser& a, int kind, const std::string& key) {
        const TLogView* row = a.ViewByKey(kind, key);
        return row ? std::make_pair(row->Hits, row->Visits) : std::make_pair(-1, -1);
    }

    TSandbox Sandbox;
    TQVProfile Profile;
    std::vector<std::tuple<std::string, std::string, uint8_t, int>> GroupsToAdd;
    std::vector<std::string> Tracked;
    bool ReadOnCountingThread = false;
};

TEST_F(LogAnalyserTest, VisitsSplitByTheTimeoutAndCountIntoViews) {
    WriteLog(Line("1.1.1.1", "10/Oct/2003:10:00:00 +0000", "/index.html") +
             Line("1.1.1.1", "10/Oct/2003:10:20:00 +0000", "/a/page.html") +
             Line("1.1.1.1", "10/Oct/2003:10:20:00 +0000", "/a/page.html") +
             Line("1.1.1.1", "10/Oct/2003:10:40:01 +0000", "/index.html") + // 20 min 1 s after: a new visit
             Line("2.2.2.2", "10/Oct/2003:11:00:00 +0000", "/img/x.gif", "200", "1000") +
             "garbage line that fits no format\n" + Line("3.3.3.3", "10/Oct/2003:09:00:00 +0000", "/index.html"));
    auto a = Analyse();
    EXPECT_EQ(a->Visits, 4);
    EXPECT_EQ(a->Hits, 6);
    EXPECT_EQ(a->Bytes, 1500);
    EXPECT_EQ(a->StartDate, DateFromParts("2003", "Oct", "10"));
    EXPECT_EQ(a->EndDate, a->StartDate);
    EXPECT_EQ(Row(*a, vkHost, "1.1.1.1"), std::make_pair(4, 2));
    EXPECT_EQ(Row(*a, vkPage, "/a/page.html"), std::make_pair(2, 1));
    EXPECT_EQ(Row(*a, vkPage, "/index.html"), std::make_pair(3, 3));
    EXPECT_EQ(Row(*a, vkDirectory, "/a/"), std::make_pair(2, 1));
    EXPECT_EQ(Row(*a, vkFileType, "GIF"), std::make_pair(1, 1));
    EXPECT_EQ(Row(*a, vkStatus, "200"), std::make_pair(6, 4));
    EXPECT_EQ(Row(*a, vkBrowser, "Internet Explorer 6"), std::make_pair(6, 4));
    EXPECT_EQ(Row(*a, vkOS, "Windows XP"), std::make_pair(6, 4));
    EXPECT_EQ(Row(*a, vkReferrer, "-"), std::make_pair(6, 4));
    EXPECT_EQ(Row(*a, vkReferringDomain, "-"), std::make_pair(6, 4));
    EXPECT_EQ(Row(*a, vkHour, "10"), std::make_pair(4, 2));   // visits by the hour they started
    EXPECT_EQ(Row(*a, vkWeekday, "6"), std::make_pair(6, 4)); // 10 October 2003 was a Friday
    EXPECT_EQ(Row(*a, vkMonth, "10"), std::make_pair(6, 4));
    EXPECT_EQ(Row(*a, vkDay, std::to_string(DayNumber(a->StartDate))), std::make_pair(6, 4));
    // The image-only visit has no pages: no entry page, no navigation path.
    EXPECT_EQ(Row(*a, vkEntryPage, "/index.html"), std::make_pair(5, 3));
    EXPECT_EQ(Row(*a, vkNavigationPath, "/index.html;/a/page.html;/a/page.html"), std::make_pair(3, 1));
    EXPECT_EQ(Row(*a, vkUser, "-"), std::make_pair(6, 4));
    // Hosts by bytes, everything else by visits.
    ASSERT_GE(a->ViewCount(vkHost), 3);
    EXPECT_EQ(a->ViewAt(vkHost, 0)->Name, "2.2.2.2");
    EXPECT_EQ(a->ViewAt(vkPage, 0)->Name, "/index.html");
    EXPECT_EQ(a->ViewAt(vkPage, 99), nullptr);
    EXPECT_EQ(a->ViewCount(kViewKindCount), 0);
    // Lengths: 20 minutes, and three visits of 0 seconds.
    EXPECT_EQ(a->DurationBucket(0), 3);
    EXPECT_EQ(a->DurationBucket(7), 1);
    EXPECT_EQ(a->DurationBucket(10), 0);
    EXPECT_EQ(a->DurationBucket(-1), 0);
    EXPECT_EQ(a->AvgVisitSeconds, 300);
    EXPECT_DOUBLE_EQ(a->AvgHitsPerVisit, 1.5);
    EXPECT_EQ(a->BytesPerHit, 250);
}

TEST_F(LogAnalyserTest, PartialContentMergesAndErrorsCountOnlyAsErrors) {
    WriteLog(Line("1.1.1.1", "10/Oct/2003:10:00:00 +0000", "/video.mpg", "206", "100") +
             Line("1.1.1.1", "10/Oct/2003:10:00:01 +0000", "/video.mpg", "206", "200") +
             Line("1.1.1.1", "10/Oct/2003:10:00:02 +0000", "/video.mpg", "206", "300") +
             Line("1.1.1.1", "10/Oct/2003:10:00:03 +0000", "/missing.html", "404", "50"));
    auto a = Analyse();
    EXPECT_EQ(a->Hits, 2);
    EXPECT_EQ(a->Bytes, 650);
    EXPECT_EQ(a->ViewByKey(vkPage, "/video.mpg")->Bytes, 600);
    EXPECT_EQ(Row(*a, vkStatus, "404"), std::make_pair(1, 1));
    EXPECT_EQ(Row(*a, vkErrorStatus, "404"), std::make_pair(1, 1));
    EXPECT_EQ(Row(*a, vkErrorPageStatus, "404\n/missing.html"), std::make_pair(1, 1));
    EXPECT_EQ(Row(*a, vkPage, "/missing.html"), std::make_pair(-1, -1));
    EXPECT_EQ(Row(*a, vkPageStatus, "404\n/missing.html"), std::make_pair(-1, -1));

    Profile.Group206 = false;
    Profile.IgnoreErrors = false;
    auto b = Analyse();
    EXPECT_EQ(b->Hits, 4);
    EXPECT_EQ(Row(*b, vkPage, "/video.mpg"), std::make_pair(3, 1));
    EXPECT_EQ(Row(*b, vkPage, "/missing.html"), std::make_pair(1, 1));
    EXPECT_EQ(Row(*b, vkPageStatus, "404\n/missing.html"), std::make_pair(1, 1));
}

TEST_F(LogAnalyserTest, GroupsAbsorbTheRowsTheyMatch) {
    WriteLog(Line("1.1.1.1", "10/Oct/2003:10:00:00 +0000", "/a.gif") +
             Line("1.1.1.1", "10/Oct/2003:10:00:01 +0000", "/b.gif") +
             Line("1.1.1.1", "10/Oct/2003:10:00:02 +0000", "/b.gif") +
             Line("2.2.2.2", "10/Oct/2003:10:00:03 +0000", "/c.JPG") +
             Line("192.168.1.5", "10/Oct/2003:10:00:04 +0000", "/page.html"));
    GroupsToAdd = {{"Images", "*.gif;*.jpg;", gtTotal, vkPage},
                   {"Average images", "*.gif;*.jpg", gtAverage, vkPage},
                   {"Nothing", "*.zip", gtTotal, vkPage},
                   {"Office", "192.168.*", gtTotal, vkHost},
                   {"images", "*.png", gtTotal, vkPage}}; // a second group of the same name is ignored
    auto a = Analyse();
    EXPECT_EQ(Row(*a, vkPage, "Images"), std::make_pair(4, 3));
    EXPECT_EQ(Row(*a, vkPage, "Average images"), std::make_pair(4 / 3, 3 / 3));
    EXPECT_EQ(Row(*a, vkPage, "Nothing"), std::make_pair(-1, -1));
    EXPECT_EQ(Row(*a, vkHost, "Office"), std::make_pair(1, 1));
    std::vector<std::string> pages;
    for (int i = 0; i < a->ViewCount(vkPage); ++i)
        pages.push_back(a->ViewAt(vkPage, i)->Name);
    std::sort(pages.begin(), pages.end());
    EXPECT_EQ(pages, (std::vector<std::string>{"/page.html", "Average images", "Images"}));
    const TLogView* images = a->ViewByKey(vkPage, "Images");
    EXPECT_EQ(TLogAnalyser::DayStatsOf(*images, DayNumber(a->StartDate)).Hits, 4);
    EXPECT_EQ(TLogAnalyser::DayStatsOf(*a->ViewByKey(vkPage, "Average images"), DayNumber(a->StartDate)).Hits, 4);
    EXPECT_EQ(TLogAnalyser::DayStatsOf(*images, 1).Hits, 0);
}

TEST_F(LogAnalyserTest, FiltersRemoveHitsAndVisits) {
    WriteLog(Line("1.1.1.1", "10/Oct/2003:10:00:00 +0000", "/a.gif") +
             Line("1.1.1.1", "10/Oct/2003:10:00:01 +0000", "/page.html") +
             Line("2.2.2.2", "10/Oct/2003:10:00:00 +0000", "/b.gif") +
             Line("3.3.3.3", "10/Oct/2003:10:00:00 +0000", "/x.html", "200", "1", "-",
                  "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)"));
    TQVFilter filter;
    filter.InitNew();
    filter.SetName("nogifs");
    AddExcludeLine(filter, 0, true, "*.gif");
    AddExcludeLine(filter, 9, false, "*bot*");
    ASSERT_TRUE(filter.Save());
    Profile.FilterName = "nogifs";
    Profile.EnableFilters = true;
    auto a = Analyse();
    EXPECT_EQ(a->Visits, 1);
    EXPECT_EQ(a->Hits, 1);
    EXPECT_EQ(a->FilteredHits, 3);
    EXPECT_EQ(a->FilteredVisits, 2);
    EXPECT_EQ(Row(*a, vkPage, "/page.html"), std::make_pair(1, 1));

    Profile.EnableFilters = false;
    EXPECT_EQ(Analyse()->Hits, 4);
}

TEST_F(LogAnalyserTest, DateLimitUsesTheCorrectedTime) {
    // Local 23:30 at -0100 is 00:30 universal time on the next day; +2 hours moves it further.
    WriteLog(Line("1.1.1.1", "09/Oct/2003:23:30:00 -0100", "/a.html") +
             Line("2.2.2.2", "10/Oct/2003:12:00:00 +0000", "/b.html") +
             Line("3.3.3.3", "10/Oct/2003:23:30:00 +0000", "/c.html") +
             Line("4.4.4.4", "11/Oct/2003:00:30:00 +0000", "/d.html"));
    const TDateTime day = DateFromParts("2003", "Oct", "10");
    Profile.RptRangeType = rtCustom;
    Profile.RptStartDate = Profile.RptEndDate = day;
    auto a = Analyse();
    EXPECT_EQ(a->Visits, 3);
    EXPECT_EQ(Row(*a, vkPage, "/d.html").first, -1);

    Profile.Timezone = 1; // 23:30 on the 10th becomes 00:30 on the 11th
    auto b = Analyse();
    EXPECT_EQ(b->Visits, 2);
    EXPECT_EQ(Row(*b, vkPage, "/c.html").first, -1);
    EXPECT_EQ(b->StartDate, day);
    EXPECT_EQ(b->EndDate, day);

    Profile.RptRangeType = rtCustom;
    Profile.RptStartDate = Profile.RptEndDate = day + 5;
    Analyse(false);
}

// Logs out of time order: a hit at most the timeout before a visit's first hit joins it,
// and the visit's hits, pages and length are those of the time-sorted stay.
TEST_F(LogAnalyserTest, HitsShortlyBeforeAVisitJoinItInTimeOrder) {
    struct TCase {
        const char* Name;
        std::vector<std::tuple<const char*, const char*, const char*>> Lines; // host, time of day, path
        int Visits;
        std::vector<std::pair<const char*, int>> Paths; // navigation path, hits of its visit
        std::vector<const char*> ExitPages;
        int64_t Seconds; // all visits' lengths together
    };
    const std::vector<TCase> cases = {
        {"five minutes before", {{"h1", "10:10:00", "/b"}, {"h1", "10:05:00", "/a"}}, 1, {{"/a;/b", 2}}, {"/b"}, 300},
        {"exactly the timeout before",
         {{"h1", "10:20:00", "/b"}, {"h1", "10:10:00", "/m"}, {"h1", "10:00:00", "/a"}},
         1,
         {{"/a;/m;/b", 3}},
         {"/b"},
         1200},
        {"a second beyond it",
         {{"h1", "10:20:01", "/b"}, {"h1", "10:00:00", "/a"}},
         2,
         {{"/b", 1}, {"/a", 1}},
         {"/b", "/a"},
         0},
        {"between hits",
         {{"h1", "10:00:00", "/a"}, {"h1", "10:10:00", "/c"}, {"h1", "10:05:00", "/b"}},
         1,
         {{"/a;/b;/c", 3}},
         {"/c"},
         600},
        {"interleaved hosts",
         {{"h1", "10:10:00", "/b"}, {"h2", "10:08:00", "/x"}, {"h1", "10:05:00", "/a"}, {"h2", "10:02:00", "/y"}},
         2,
         {{"/a;/b", 2}, {"/y;/x", 2}},
         {"/b", "/x"},
         660},
    };
    for (const bool counting : {false, true}) {
        ReadOnCountingThread = counting;
        for (const TCase& c : cases) {
            SCOPED_TRACE(std::string(c.Name) + (counting ? ", read on the counting thread" : ""));
            std::string log;
            for (const auto& [host, time, path] : c.Lines)
                log += Line(host, std::string("10/Oct/2003:") + time + " +0000", std::string(path) + ".html");
            WriteLog(log);
            auto a = Analyse();
            EXPECT_EQ(a->Visits, c.Visits);
            EXPECT_EQ(a->Hits, static_cast<int>(c.Lines.size()));
            EXPECT_EQ(a->TotalDuration, c.Seconds);
            for (const auto& [path, hits] : c.Paths) {
                std::string pages = path, first = path;
                for (size_t at = 0; (at = pages.find(';', at)) != std::string::npos; at += 6)
                    pages.insert(at, ".html");
                pages += ".html";
                EXPECT_EQ(Row(*a, vkNavigationPath, pages), std::make_pair(hits, 1)) << pages;
                EXPECT_EQ(Row(*a, vkEntryPage, first.substr(0, first.find(';')) + ".html").second, 1) << pages;
            }
            for (const char* exit : c.ExitPages)
                EXPECT_EQ(Row(*a, vkExitPage, std::string(exit) + ".html").second, 1) << exit;
        }
    }
}

// A visit closed by a pass takes no later hit, however close to its start.
TEST_F(LogAnalyserTest, AHitBeforeAClosedVisitStartsAVisitOfItsOwn) {
    std::string log = Line("9.9.9.9", "10/Oct/2003:01:00:00 +0000", "/rare.html");
    // 20,000 open visits start the pass that closes the first: the hosts share its bucket,
    // so also its shard, which holds its own open visits.
    const int bucket = TShardFeed::BucketOf("9.9.9.9");
    for (int i = 0, added = 0; added < 19999; ++i) {
        const std::string host = "10." + std::to_string(i / 62500) + "." + std::to_string(i / 250 % 250) + "." +
                                 std::to_string(i % 250);
        if (TShardFeed::BucketOf(host) != bucket) continue;
        log += Line(host, "10/Oct/2003:02:00:00 +0000", "/common.html");
        ++added;
    }
    log += Line("9.9.9.9", "10/Oct/2003:00:50:00 +0000", "/rare.html");
    WriteLog(log);
    auto a = Analyse();
    EXPECT_EQ(a->Visits, 20001);
    EXPECT_EQ(Row(*a, vkHost, "9.9.9.9"), std::make_pair(2, 2));
}

// Lines shuffled within each minute give the visits of the time-sorted log, also when passes
// close visits on the way and long visits are counted in parts.
TEST_F(LogAnalyserTest, ALogShuffledWithinMinutesGivesTheVisitsOfTheSortedLog) {
    std::vector<std::pair<int, std::string>> lines; // second of the day, line
    uint32_t random = 12345;
    const auto next = [&random](uint32_t n) {
        random = random * 1103515245u + 12345u;
        return (random >> 8) % n;
    };
    std::set<std::pair<uint32_t, int>> taken; // host and second: hits of the same time have no order
    for (int i = 0; i < 80000; ++i) {
        // Twenty visitors a second over about an hour, and one robot that never pauses.
        const bool robot = i % 20 == 0;
        const int second = i / 20 + (robot ? 0 : static_cast<int>(next(30)));
        const uint32_t visitor = robot ? 99999 : next(30000);
        if (!taken.insert({visitor, second}).second) continue;
        const std::string host =
            "10." + std::to_string(visitor / 250 % 250) + "." + std::to_string(visitor % 250) + ".1";
        char time[64];
        std::snprintf(time, sizeof time, "10/Oct/2003:%02d:%02d:%02d +0000", 10 + second / 3600, second / 60 % 60,
                      second % 60);
        lines.emplace_back(second, Line(host, time, "/p" + std::to_string(next(9)) + (next(3) ? ".html" : ".gif")));
    }
    std::stable_sort(lines.begin(), lines.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    std::string sorted, shuffled;
    for (size_t from = 0; from < lines.size();) {
        size_t to = from;
        while (to < lines.size() && lines[to].first / 60 == lines[from].first / 60)
            ++to;
        for (size_t i = from; i < to; ++i)
            sorted += lines[i].second;
        for (size_t i = to; i-- > from;) // the minute backwards
            shuffled += lines[i].second;
        from = to;
    }
    WriteLog(sorted);
    auto a = Analyse();
    WriteLog(shuffled);
    auto b = Analyse();
    EXPECT_GT(a->Visits, 20000);
    EXPECT_EQ(a->Visits, b->Visits);
    EXPECT_EQ(a->Hits, b->Hits);
    EXPECT_EQ(a->TotalDuration, b->TotalDuration);
    for (int kind : {vkEntryPage, vkExitPage, vkNavigationPath, vkHour}) {
        ASSERT_EQ(a->ViewCount(kind), b->ViewCount(kind)) << kind;
        for (int i = 0; i < a->ViewCount(kind); ++i) {
            const TLogView* row = a->ViewAt(kind, i);
            const std::string name(row->Name);
            EXPECT_EQ(Row(*b, kind, name), std::make_pair(row->Hits, row->Visits)) << name;
        }
    }
}

// A line stamped before its visit's first hit, written after it (a server logs a request when
// it ends), is the visit's first hit: the visit came by its referrer and agent.
TEST_F(LogAnalyserTest, AnEarlierLineWrittenLaterGivesTheVisitItsReferrerAndAgent) {
    const std::string chrome = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
                               "Chrome/120.0.0.0 Safari/537.36";
    WriteLog(Line("1.1.1.1", "10/Oct/2003:10:00:01 +0000", "/site.css", "200", "1", "https://www.shop.test/products/",
                  chrome) +
             Line("1.1.1.1", "10/Oct/2003:10:00:00 +0000", "/products.html", "200", "1", "https://www.google.de/",
                  chrome) +
             Line("2.2.2.2", "10/Oct/2003:10:00:05 +0000", "/b.html", "200", "1", "https://www.bing.com/search?q=tent") +
             Line("2.2.2.2", "10/Oct/2003:10:00:04 +0000", "/a.html"));
    auto a = Analyse();
    EXPECT_EQ(a->Visits, 2);
    EXPECT_EQ(Row(*a, vkSearchEngine, "Google"), std::make_pair(2, 1));
    EXPECT_EQ(Row(*a, vkReferringDomain, "www.google.de").second, 1);
    EXPECT_EQ(Row(*a, vkReferringDomain, "www.shop.test").first, -1);
    // The earlier line had no referrer: the later line's search does not count.
    EXPECT_EQ(Row(*a, vkSearchEngine, "Bing").first, -1);
    EXPECT_EQ(a->ViewCount(vkPhrase), 0);
    EXPECT_EQ(Row(*a, vkBrowser, "Chrome 120").second, 1);
}

// What was left out is counted: a line that fits no format, a line outside the report's
// dates, and "206" parts merged into the first.
TEST_F(LogAnalyserTest, LinesLeftOutAreCounted) {
    WriteLog(Line("1.1.1.1", "10/Oct/2003:10:00:00 +0000", "/video.mpg", "206", "100") +
             Line("1.1.1.1", "10/Oct/2003:10:00:01 +0000", "/video.mpg", "206", "200") +
             Line("1.1.1.1", "10/Oct/2003:10:00:02 +0000", "/video.mpg", "206", "300") + "a broken line\n\n" +
             Line("2.2.2.2", "11/Oct/2003:10:00:00 +0000", "/late.html") +
             Line("3.3.3.3", "10/Oct/2003:11:00:00 +0000", "/a.html"));
    Profile.RptRangeType = rtCustom;
    Profile.RptStartDate = Profile.RptEndDate = DateFromParts("2003", "Oct", "10");
    for (const bool counting : {false, true}) {
        ReadOnCountingThread = counting;
        auto a = Analyse();
        EXPECT_EQ(a->Hits, 2);
        EXPECT_EQ(a->LinesRead, 6);
        EXPECT_EQ(a->LinesUnreadable, 1);
        EXPECT_EQ(a->LinesOutsideRange, 1);
        EXPECT_EQ(a->PartialsMerged, 2);
    }
}

TEST_F(LogAnalyserTest, SearchPhrasesKeywordsAndParameters) {
    WriteLog(Line("1.1.1.1", "10/Oct/2003:10:00:00 +0000", "/buy.html?id=5&x=2", "200", "1",
                  "https://www.google.com/search?hl=en&q=cheap+cheap+flights+to+rome") +
             Line("1.1.1.1", "10/Oct/2003:10:00:01 +0000", "/list.html?=5&id=2") +
             Line("2.2.2.2", "10/Oct/2003:10:00:00 +0000", "/buy.html?id=5", "200", "1",
                  "https://www.bing.com/search?q=rome"));
    Profile.ParamType = 1;
    Profile.ParamList = "id;";
    Tracked = {"/BUY.html"};
    GroupsToAdd = {{"Big engine", "google*", gtTotal, vkSearchEngine}};
    auto a = Analyse();
    EXPECT_EQ(a->ViewCount(vkSearchEngine), 2); // "Google" was absorbed by the group
    EXPECT_EQ(Row(*a, vkSearchEngine, "Big engine"), std::make_pair(2, 1));
    EXPECT_EQ(Row(*a, vkSearchEngine, "Bing"), std::make_pair(1, 1));
    EXPECT_EQ(Row(*a, vkPhrase, "cheap cheap flights to rome"), std::make_pair(2, 1));
    EXPECT_EQ(Row(*a, vkKeyword, "cheap"), std::make_pair(4, 2)); // counted twice
    EXPECT_EQ(Row(*a, vkKeyword, "rome"), std::make_pair(3, 2));
    EXPECT_EQ(Row(*a, vkKeyword, "to").first, -1);
    EXPECT_EQ(Row(*a, vkEnginePhrase, "Google\ncheap cheap flights to rome"), std::make_pair(2, 1));
    EXPECT_EQ(Row(*a, vkTrackedEntryPhrase, "/buy.html\nrome"), std::make_pair(1, 1));
    EXPECT_EQ(Row(*a, vkTrackedPageDomain, "/buy.html\nwww.google.com"), std::make_pair(1, 1));
    EXPECT_EQ(Row(*a, vkPageParam, "/buy.html\nid=5"), std::make_pair(2, 2));
    EXPECT_EQ(Row(*a, vkParamValue, "id\n5"), std::make_pair(2, 2));
    EXPECT_EQ(Row(*a, vkParam, "id"), std::make_pair(2, 2));
    EXPECT_EQ(Row(*a, vkParam, "x").first, -1);
    EXPECT_EQ(Row(*a, vkPageWithParams, "/buy.html"), std::make_pair(2, 2));
    EXPECT_EQ(Row(*a, vkPageWithParams, "/list.html").first, -1); // the first piece has no name
}

TEST_F(LogAnalyserTest, AKnownEngineWithoutAPhraseCountsForTheEngineAndPassesTheSearchFilter) {
    WriteLog(
        Line("1.1.1.1", "10/Oct/2003:10:00:00 +0000", "/a.html", "200", "1", "https://www.google.de/") +
        Line("2.2.2.2", "10/Oct/2003:10:00:00 +0000", "/b.html", "200", "1", "https://www.google.com/search?q=rome") +
        Line("3.3.3.3", "10/Oct/2003:10:00:00 +0000", "/c.html", "200", "1", "https://www.example.com/"));
    Tracked = {"/a.html"};
    auto a = Analyse();
    EXPECT_EQ(Row(*a, vkSearchEngine, "Google"), std::make_pair(2, 2));
    EXPECT_EQ(a->ViewCount(vkSearchEngine), 1);
    EXPECT_EQ(a->ViewCount(vkPhrase), 1);
    EXPECT_EQ(a->ViewCount(vkEnginePhrase), 1);
    EXPECT_EQ(a->ViewCount(vkKeyword), 1);
    EXPECT_EQ(a->ViewCount(vkTrackedEntryPhrase), 0);

    // The predefined "Visits from search engines" filter: exclude all, include phrases "*".
    TQVFilter filter;
    filter.InitNew();
    filter.SetName("search");
    filter.FilterBasicType = fbExcludeAll;
    filter.NewLine();
    filter.EditLine.FLType = flInclude;
    filter.EditLine.FLField = ffSearchPhrase;
    filter.EditLine.FLStrParam = {"*"};
    filter.CommitEdit();
    ASSERT_TRUE(filter.Save());
    Profile.FilterName = "search";
    Profile.EnableFilters = true;
    auto b = Analyse();
    EXPECT_EQ(b->Visits, 2);
    EXPECT_EQ(Row(*b, vkPage, "/a.html"), std::make_pair(1, 1));
    EXPECT_EQ(Row(*b, vkPage, "/c.html").first, -1);
}

TEST_F(LogAnalyserTest, NoUsableLinesMeansNoData) {
    WriteLog("nothing\nlike a\nlog line\n");
    Analyse(false);
    Profile.LogPaths = {Sandbox.Folder.Path() + "empty/"};
    Analyse(false);
}

// A 100 MB line with no break between good lines: bounded time and memory, and the hits
// after it still count.
TEST_F(LogAnalyserTest, HundredMegabyteLineIsPassedOverAndLaterHitsCount) {
    {
        TLogAnalyser loadsTheTables(Profile); // so that they do not count below
    }
    WriteLog("");
    {
        std::ofstream out(Sandbox.Folder.Path() + "logs/access.log", std::ios::binary);
        out << Line("1.1.1.1", "10/Oct/2003:10:00:00 +0000", "/before.html") << "2.2.2.2 - - [";
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 100; ++i)
            out << block;
        out << "\n"
            << Line("3.3.3.3", "10/Oct/2003:10:05:00 +0000", "/after.html")
            << Line("3.3.3.3", "10/Oct/2003:10:06:00 +0000", "/after.html");
    }
    Profile.LogReadBuf = 1;
    const auto start = std::chrono::steady_clock::now();
    const int64_t memoryBefore = PeakMemoryMB();
    auto a = Analyse();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    if (kPeakMemoryIsMeaningful) {
        EXPECT_LT(PeakMemoryMB() - memoryBefore, 64);
    }
    EXPECT_EQ(a->Hits, 3);
    EXPECT_EQ(a->Visits, 2);
    EXPECT_EQ(Row(*a, vkPage, "/after.html"), std::make_pair(2, 1));
}

// Lines of 64 KB each: the lines read ahead by the reading thread stay within a few
// megabytes instead of filling every batch slot with a long line.
TEST_F(LogAnalyserTest, LongLinesReadAheadStayBounded) {
    {
        TLogAnalyser loadsTheTables(Profile); // so that they do not count below
    }
    WriteLog("");
    {
        std::ofstream out(Sandbox.Folder.Path() + "logs/access.log", std::ios::binary);
        const std::string agent(64 << 10, 'a');
        for (int i = 0; i < 3000; ++i) {
            char time[40];
            std::snprintf(time, sizeof time, "10/Oct/2003:%02d:%02d:%02d +0000", i / 3600, i / 60 % 60, i % 60);
            out << Line("1.1.1.1", time, "/p" + std::to_string(i % 7) + ".html", "200", "10", "-", agent);
        }
    }
    const int64_t memoryBefore = PeakMemoryMB();
    TLogAnalyser a(Profile);
    a.ReadOnSecondThread = true;
    EXPECT_TRUE(a.Run());
    if (kPeakMemoryIsMeaningful) {
        EXPECT_LT(PeakMemoryMB() - memoryBefore, 64);
    }
    EXPECT_EQ(a.Hits, 3000);
}

// Ten thousand empty files and a file of NUL bytes: the run ends soon, with no data.
TEST_F(LogAnalyserTest, ThousandsOfEmptyOrNulFilesEndQuicklyWithNoData) {
    for (int i = 0; i < 10000; ++i)
        WriteLog("", "empty" + std::to_string(i) + ".log");
    WriteLog(std::string(1 << 20, '\0'), "nul.log");
    const auto start = std::chrono::steady_clock::now();
    TProgress progress;
    TLogAnalyser a(Profile, &progress);
    EXPECT_FALSE(a.Run());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(a.Hits, 0);
    EXPECT_EQ(Profile.LogReader.Files.size(), 10001u);
    EXPECT_EQ(progress.Position(), progress.JobSize());
}

// A closing pass recycles the first visit; the host's next visit reuses that object and
// must still count as a visit of its own in every row, also the rows counted per hit.
TEST_F(LogAnalyserTest, ARecycledVisitCountsAsANewVisit) {
    std::string log = Line("9.9.9.9", "10/Oct/2003:00:00:00 +0000", "/rare.html");
    for (int i = 0; i < 19999; ++i) // the 20,000th open visit starts the pass
        log += Line("10." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ".1",
                    "10/Oct/2003:01:00:00 +0000", "/common.html");
    log += Line("9.9.9.9", "10/Oct/2003:01:30:00 +0000", "/rare.html");
    WriteLog(log);
    auto a = Analyse();
    EXPECT_EQ(a->Visits, 20001);
    EXPECT_EQ(Row(*a, vkPage, "/rare.html"), std::make_pair(2, 2));
    EXPECT_EQ(Row(*a, vkHost, "9.9.9.9"), std::make_pair(2, 2));
}

TEST_F(LogAnalyserTest, ManyConcurrentHostsAreClosedOnlyWhenTheyExpire) {
    std::string log;
    for (int i = 0; i < 25000; ++i) {
        const std::string host =
            "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
        log += Line(host, "10/Oct/2003:10:00:" + std::string(i % 2 ? "30" : "00") + " +0000", "/a.html");
    }
    for (int i = 0; i < 25000; i += 1000)
        log += Line("10.0." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256),
                    "10/Oct/2003:10:01:00 +0000", "/b.html");
    log += Line("9.9.9.9", "10/Oct/2003:12:00:00 +0000", "/late.html"); // everything before has expired
    WriteLog(log);
    TProgress progress;
    TLogAnalyser a(Profile, &progress);
    ASSERT_TRUE(a.Run());
    EXPECT_EQ(a.Visits, 25001);
    EXPECT_EQ(a.Hits, 25026);
    EXPECT_EQ(Row(a, vkPage, "/b.html"), std::make_pair(25, 25));
    EXPECT_EQ(progress.JobIndex(), 0);
    EXPECT_EQ(progress.Position(), progress.JobSize());
}

TEST_F(LogAnalyserTest, ACancelStopsReadingAndBuildsNoLists) {
    WriteLog(Line("1.1.1.1", "10/Oct/2003:10:00:00 +0000", "/a.html"));
    TProgress progress;
    progress.RequestCancel();
    TLogAnalyser a(Profile, &progress);
    EXPECT_FALSE(a.Run());
    EXPECT_EQ(a.ViewCount(vkPage), 0);
}

} // namespace

namespace {

TEST_F(LogAnalyserTest, MemoryFollowsTheOpenVisitsNotTheLines) {
    // 400 hosts, each back every 30 minutes for four days: visits end, so the pools stay at
    // what 20000 open visits need however long the log grows.
    std::string log;
    int lines = 0;
    for (int minute = 0; minute < 4 * 24 * 60; minute += 30) {
        for (int host = 0; host < 400; ++host, ++lines) {
            char time[64];
            std::snprintf(time, sizeof time, "%02d/Oct/2003:%02d:%02d:%02d +0000", 10 + minute / 1440, minute / 60 % 24,
                          minute % 60 + host / 60 % 10, host % 60);
            log += Line("10.0." + std::to_string(host / 256) + "." + std::to_string(host % 256), time, "/p.html");
        }
    }
    WriteLog(log);
    TLogAnalyser a(Profile);
    ASSERT_TRUE(a.Run());
    EXPECT_EQ(a.Hits, lines);
    EXPECT_EQ(a.Visits, lines);
    EXPECT_LE(a.PooledHits(), 20000u + 400u);
    EXPECT_LE(a.PooledVisits(), 20000u + 400u);
    EXPECT_GT(lines, 3 * 20000);
}

// One host that never pauses: 200,000 hits two seconds apart over five days, with "206"
// parts of one file, images and ignored errors, while 25,000 one-hit visitors come and go
// in the middle. Its visit holds a few hits at a time, and every row and day comes out as
// when a filter makes the visit hold all of them until it closes.
TEST_F(LogAnalyserTest, AHostThatNeverPausesHoldsFewHitsAndCountsTheSame) {
    constexpr int kHits = 200000, kVisitors = 25000;
    std::string log;
    int partials = 0;
    for (int i = 0; i < kHits; ++i) {
        const int t = 2 * i;
        char time[64];
        std::snprintf(time, sizeof time, "%02d/Oct/2003:%02d:%02d:%02d +0000", 10 + t / 86400, t / 3600 % 24,
                      t / 60 % 60, t % 60);
        if (i % 11 == 0) {
            log += Line("10.9.9.9", time, "/video.mpg", "206", "1000");
            ++partials;
        } else if (i % 7 == 0) {
            log += Line("10.9.9.9", time, "/img/i" + std::to_string(i % 13) + ".gif");
        } else if (i % 97 == 0) {
            log += Line("10.9.9.9", time, "/missing.html", "404");
        } else {
            log += Line("10.9.9.9", time, "/p" + std::to_string(i % 50) + ".html?id=" + std::to_string(i % 3));
        }
        if (i == kHits / 2) {
            for (int k = 0; k < kVisitors; ++k)
                log += Line("10.1." + std::to_string(k / 256) + "." + std::to_string(k % 256), time,
                            "/q" + std::to_string(k % 50) + ".html");
        }
    }
    WriteLog(log);
    Profile.ParamType = 2; // parameters counted too
    Tracked = {"/p1.html"};
    {
        TLogAnalyser loadsTheTables(Profile); // so that they do not count below
    }
    const int64_t memoryBefore = PeakMemoryMB();
    auto a = Analyse();
    if (kPeakMemoryIsMeaningful) {
        EXPECT_LT(PeakMemoryMB() - memoryBefore, 48);
    }
    EXPECT_LT(a->PooledHits(), kVisitors + 1000u);
    EXPECT_EQ(a->Visits, 1 + kVisitors);
    EXPECT_EQ(a->Hits, kHits - partials + 1 + kVisitors);
    EXPECT_EQ(a->DurationBucket(9), 1);
    EXPECT_EQ(Row(*a, vkEntryPage, "/p1.html"), std::make_pair(kHits - partials + 1, 1));
    EXPECT_EQ(Row(*a, vkExitPage, "/p49.html"), std::make_pair(kHits - partials + 1, 1)); // hit 199999
    EXPECT_EQ(Row(*a, vkNavigationPath, "/p1.html;/p2.html;/p3.html;/p4.html;/p5.html;/p6.html").second, 1);
    EXPECT_EQ(Row(*a, vkPage, "/video.mpg"), std::make_pair(1, 1));
    EXPECT_EQ(a->ViewByKey(vkPage, "/video.mpg")->Bytes, 1000 * partials);
    EXPECT_EQ(Row(*a, vkStatus, "200").second, 1 + kVisitors);

    // The same log with a filter that removes nothing: the visit keeps all its hits.
    TQVFilter filter;
    filter.InitNew();
    filter.SetName("none");
    AddExcludeLine(filter, 0, true, "*.nothing");
    ASSERT_TRUE(filter.Save());
    Profile.FilterName = "none";
    Profile.EnableFilters = true;
    auto b = Analyse();
    EXPECT_GT(b->PooledHits(), static_cast<size_t>(kHits / 2));
    auto expectSameAsA = [&](TLogAnalyser& other) {
        EXPECT_EQ(other.Hits, a->Hits);
        EXPECT_EQ(other.Bytes, a->Bytes);
        EXPECT_EQ(other.TotalDuration, a->TotalDuration);
        int rows = 0;
        for (int kind = 0; kind < kViewKindCount; ++kind) {
            ASSERT_EQ(a->ViewCount(kind), other.ViewCount(kind)) << kind;
            for (int i = 0; i < a->ViewCount(kind); ++i, ++rows) {
                const TLogView& x = *a->ViewAt(kind, i);
                std::string key(x.Name);
                if (!x.SubName.empty()) key.append("\n").append(x.SubName);
                const TLogView* y = other.ViewByKey(kind, key);
                ASSERT_NE(y, nullptr) << kind << " " << key;
                EXPECT_EQ(std::make_tuple(x.Hits, x.Visits, x.Bytes), std::make_tuple(y->Hits, y->Visits, y->Bytes))
                    << kind << " " << key;
                for (int day = DayNumber(a->StartDate); day <= DayNumber(a->EndDate); ++day) {
                    const TDayRecord dx = TLogAnalyser::DayStatsOf(x, day), dy = TLogAnalyser::DayStatsOf(*y, day);
                    EXPECT_EQ(std::make_tuple(dx.Hits, dx.Visits, dx.Bytes),
                              std::make_tuple(dy.Hits, dy.Visits, dy.Bytes))
                        << kind << " " << key << " day " << day;
                }
            }
        }
        EXPECT_GT(rows, 200);
    };
    expectSameAsA(*b);

    // Read on the counting thread, with lines that do not parse among them: the same again.
    Profile.EnableFilters = false;
    WriteLog("not a log line\n" + log + "\x01\x02\n");
    ReadOnCountingThread = true;
    expectSameAsA(*Analyse());
}

TEST_F(LogAnalyserTest, HostileLinesNeverBreakTheRun) {
    std::string log;
    unsigned seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245 + 12345;
        log += static_cast<char>(seed >> 16);
    }
    log += "\n\n\n";
    log += Line("1.1.1.1", "31/Dec/9999:23:59:59 -1200", "/end-of-time.html");
    log += Line("1.1.1.1", "01/Jan/0000:00:00:00 +1200", "/year-zero.html");
    log += Line("1.1.1.1", "10/Oct/2003:10:00:00 +0000", "/" + std::string(1 << 20, 'a'), "200", "1",
                "http://" + std::string(1 << 16, 'r'), std::string(1 << 18, 'x'));
    log += Line("", "10/Oct/2003:10:00:00 +0000", "", "", "", "", "");
    log += Line("-", "-/-/-:-:-:- -", "-", "-", "-", "-", "-");
    log += std::string(1000, '"') + "\n";
    WriteLog(log);
    TLogAnalyser a(Profile);
    a.Run();
    a.SortAll();
    a.ComputeAverages();
    EXPECT_GE(a.Visits, 1);

    // A format whose fields are all "%x" reads only dashes.
    Profile.LogFormat = "%x %x %x";
    WriteLog("- - -\n- - -\n");
    TLogAnalyser b(Profile);
    b.Run();
    b.SortAll();
}

} // namespace

#include "sources/BatchLookup.h"

#include <random>
#include <thread>

namespace {

// Answers every question after a short random pause, on the resolver's worker threads.
class TSlowResolver : public TNameResolver {
public:
    std::string ReverseLookup(uint32_t address) override {
        Pause(address);
        return "host-" + std::to_string(address & 255) + ".example.net";
    }
    std::string ReverseLookup6(const std::string&) override { return "six.example.net"; }
    uint32_t ForwardLookup(const std::string& name) override {
        Pause(static_cast<uint32_t>(name.size()));
        return name == "named.example.org" ? 0x0A000001 : 0;
    }

private:
    static void Pause(uint32_t seed) { std::this_thread::sleep_for(std::chrono::microseconds(seed % 7 * 300)); }
};

TEST_F(LogAnalyserTest, ResolverAnswersReachTheirVisitsBeforeTheyAreCounted) {
    // 120 addresses, each with hits before and after other hosts' lines, plus a host name
    // and an IPv6 address: every answer must land in its own visit and nowhere else.
    std::string log;
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < 120; ++i)
            log += Line("192.0.2." + std::to_string(i), "10/Oct/2003:10:0" + std::to_string(round) + ":00 +0000",
                        "/p" + std::to_string(round) + ".html");
    log += Line("named.example.org", "10/Oct/2003:10:05:00 +0000", "/n.html");
    log += Line("2001:db8::1", "10/Oct/2003:10:05:00 +0000", "/six.html");
    WriteLog(log);
    Profile.UseDNS = true;
    TBatchLookupLimits limits;
    limits.LaunchDelayMs = 0;
    limits.MaxThreads = 8;
    limits.TimeoutSeconds = 5;
    TBatchLookup resolver(limits, std::make_shared<TSlowResolver>());
    TLogAnalyser a(Profile, nullptr, &resolver);
    ASSERT_TRUE(a.Run());
    EXPECT_EQ(a.Visits, 122);
    for (int i = 0; i < 120; ++i)
        EXPECT_EQ(Row(a, vkHost, "host-" + std::to_string(i) + ".example.net"), std::make_pair(3, 1)) << i;
    EXPECT_EQ(Row(a, vkHost, "named.example.org"), std::make_pair(1, 1));
    EXPECT_EQ(Row(a, vkHost, "six.example.net"), std::make_pair(1, 1));
    EXPECT_EQ(Row(a, vkHost, "192.0.2.7").first, -1);
    EXPECT_EQ(resolver.DnsEntryCount(), 122);
}

} // namespace
