#include "core/u_qvprofile_filter.h"

#include "core/WebVisit.h"
#include "profile/u_xmlprofile.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <limits>

namespace {

struct TRule {
    uint8_t Type;
    uint8_t Field;
    std::vector<std::string> Params;
    bool Negative = false;
    bool Hits = false;
    int32_t IntParam = 0;
};

void AddRule(TQVFilter& filter, const TRule& rule) {
    filter.NewLine();
    filter.EditLine.FLType = rule.Type;
    filter.EditLine.FLField = rule.Field;
    filter.EditLine.FLStrParam = rule.Params;
    filter.EditLine.FLNegative = rule.Negative;
    filter.EditLine.FLHitsFilter = rule.Hits;
    filter.EditLine.FLIntParam = rule.IntParam;
    ASSERT_TRUE(filter.CommitEdit());
}

TDateTime At(int year, int month, int day, int hour, int minute) {
    TDateTime date = 0, time = 0;
    EXPECT_TRUE(TryEncodeDate(year, month, day, date));
    EXPECT_TRUE(TryEncodeTime(hour, minute, 0, 0, time));
    return date + time;
}

// Four visits that the filter cases below pick apart:
// 0 US, Sunday 10:30, enters at /index.htm, one GIF, came from a search;
// 1 no country, Monday 23:59, one page; 2 DE, Saturday 00:00, a crawler with GIFs only;
// 3 CA, Wednesday 12:00, three pages, one of them not found.
struct TFilterVisits {
    TFilterVisits() {
        const TDateTime starts[] = {At(2023, 1, 1, 10, 30), At(2023, 1, 2, 23, 59), At(2023, 1, 7, 0, 0),
                                    At(2023, 1, 4, 12, 0)};
        const char* countries[] = {"US", "", "DE", "CA"};
        for (int i = 0; i < 4; ++i) {
            Visits[i].StartTime = starts[i];
            Visits[i].Country = countries[i];
            Pointers.push_back(&Visits[i]);
        }
        struct THitCase {
            int Visit;
            const char *Path, *Query, *Status;
            bool Page;
        };
        for (const THitCase& h : {THitCase{0, "/index.htm", "a=1", "200", true}, THitCase{0, "/a.gif", "", "200", false},
                              THitCase{1, "/other.htm", "", "200", true}, THitCase{2, "/b.gif", "", "200", false},
                              THitCase{2, "/c.GIF", "", "200", false}, THitCase{3, "/INDEX.HTM", "", "200", true},
                              THitCase{3, "/x.htm", "", "404", true}, THitCase{3, "/y.htm", "", "200", true}}) {
            TLogEntry line;
            line.SetText(TLogEntry::etPath, h.Path);
            line.SetText(TLogEntry::etQuery, h.Query);
            line.SetText(TLogEntry::etStatus, h.Status);
            THit* hit = Pool.Make(line);
            hit->Page = h.Page;
            Visits[h.Visit].HitList.push_back(hit);
        }
        Visits[0].ReferrerDomain = "www.enginea.com";
        Visits[0].Referrer = "http://www.enginea.com/search";
        Visits[0].ReferrerQuery = "q=x";
        Visits[1].IPText = "10.0.0.1";
        Visits[2].Browser = "Googlebot";
        Visits[3].HostName = "box.example.net";
    }

    std::array<int, 4> HitCounts() const {
        return {Visits[0].HitCount(), Visits[1].HitCount(), Visits[2].HitCount(), Visits[3].HitCount()};
    }

    THitPool Pool;
    TWebVisit Visits[4];
    std::vector<TWebVisit*> Pointers;
};

struct TApplyCase {
    const char* Name;
    uint8_t BasicType;
    std::vector<TRule> Rules;
    std::array<int, 4> Kept;
};

TEST(QVFilterTest, ApplyFilterKeepsExactlyWhatTheLinesDecide) {
    TSandbox sandbox;
    TQVGroup crawlers;
    crawlers.InitNew();
    crawlers.SetName("crawlers");
    crawlers.SetMembers("*bot*;");
    ASSERT_TRUE(crawlers.Save());

    const int32_t minInt = std::numeric_limits<int32_t>::min();
    const std::vector<TApplyCase> cases = {
        {"no lines, exclude all", fbExcludeAll, {}, {2, 1, 2, 3}},
        {"exclude all, include entry page", fbExcludeAll, {{flInclude, ffEntryPage, {"/index.htm"}}}, {2, 0, 0, 3}},
        {"exclude GIF hits", fbIncludeAll, {{flExclude, ffFile, {"*.gif"}, false, true}}, {1, 1, 0, 3}},
        {"path and query", fbIncludeAll, {{flExclude, ffFile, {"*.htm?a=1"}, false, true}}, {1, 1, 2, 3}},
        {"exclude error hits", fbIncludeAll, {{flExclude, ffStatus, {"4*"}, false, true}}, {2, 1, 2, 2}},
        {"exclude other countries", fbIncludeAll, {{flExclude, ffCountry, {"US"}, true}}, {2, 0, 0, 0}},
        {"hit count at most 1", fbIncludeAll, {{flExclude, ffHitCount, {}, false, false, -1}}, {2, 0, 2, 3}},
        {"hit count 0", fbIncludeAll, {{flExclude, ffHitCount, {}, false, false, 0}}, {2, 1, 2, 3}},
        {"hit count 0, negative", fbIncludeAll, {{flExclude, ffHitCount, {}, true, false, 0}}, {0, 0, 0, 0}},
        {"hit count most negative", fbIncludeAll, {{flExclude, ffHitCount, {}, false, false, minInt}}, {0, 0, 0, 0}},
        {"last line wins",
         fbExcludeAll,
         {{flInclude, ffFile, {"*.htm*"}}, {flExclude, ffCountry, {"CA"}}},
         {2, 1, 0, 0}},
        {"hit line on country", fbIncludeAll, {{flExclude, ffCountry, {"US"}, false, true}}, {2, 1, 2, 3}},
        {"hit line on country, negative", fbIncludeAll, {{flExclude, ffCountry, {"US"}, true, true}}, {0, 0, 0, 0}},
        {"host name", fbIncludeAll, {{flExclude, ffHost, {"10.*", "*.example.net"}}}, {2, 0, 2, 0}},
        {"exit page", fbIncludeAll, {{flExclude, ffExitPage, {"/y.htm"}}}, {2, 1, 2, 0}},
        {"referrer with query", fbIncludeAll, {{flExclude, ffReferrer, {"*/search?q=*"}}}, {0, 1, 2, 3}},
        {"weekend", fbIncludeAll, {{flExclude, ffWeekday, {}, false, false, 65}}, {0, 1, 0, 3}},
        {"hours 0 and 23", fbIncludeAll, {{flExclude, ffHour, {}, false, false, 1 | (1 << 23)}}, {2, 0, 0, 3}},
        {"crawler group", fbIncludeAll, {{flExclude, ffUserAgent, {"{crawlers}"}}}, {2, 1, 0, 3}},
    };
    for (const TApplyCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TQVFilter filter;
        filter.FilterBasicType = c.BasicType;
        for (const TRule& rule : c.Rules)
            AddRule(filter, rule);
        TFilterVisits visits;
        const std::array<int, 4> before = visits.HitCounts();
        const TFilterOutcome outcome = filter.ApplyFilter(visits.Pointers, visits.Pool);
        EXPECT_EQ(visits.HitCounts(), c.Kept);
        int removed = 0, emptied = 0;
        for (size_t i = 0; i < c.Kept.size(); ++i) {
            removed += before[i] - c.Kept[i];
            emptied += c.Kept[i] == 0 ? 1 : 0;
        }
        EXPECT_EQ(outcome.RemovedHits, removed);
        EXPECT_EQ(outcome.EmptiedVisits, emptied);
    }
}

TEST(QVFilterTest, ParametersMatchMasksGroupsAndCountryCodes) {
    TSandbox sandbox;
    TQVFilter filter;
    TFilterLine line;
    line.FLStrParam = {"{}", " *.gif "};
    EXPECT_TRUE(filter.LineMatches(line, "{}")); // too short to name a group
    EXPECT_TRUE(filter.LineMatches(line, "/A.GIF"));
    EXPECT_FALSE(filter.LineMatches(line, ""));

    // A missing group matches nothing until it exists.
    line.FLStrParam = {"{late}"};
    EXPECT_FALSE(filter.LineMatches(line, "x-bot"));
    TQVGroup late;
    late.InitNew();
    late.SetName("late");
    late.SetMembers("*bot;");
    ASSERT_TRUE(late.Save());
    EXPECT_TRUE(filter.LineMatches(line, "x-bot"));

    // Whole codes, letter case ignored: "CO" is not in "COM".
    TWebVisit visit;
    THitPool pool;
    visit.HitList.push_back(pool.Make(TLogEntry()));
    visit.Country = "CO";
    line.FLField = ffCountry;
    line.FLStrParam = {"COM,NET"};
    EXPECT_FALSE(filter.VisitMatches(visit, line));
    line.FLStrParam = {"us", "de\nco"};
    EXPECT_TRUE(filter.VisitMatches(visit, line));
}

TEST(QVFilterTest, SavesAndLoadsLinesWithTrimmedParameters) {
    TSandbox sandbox;
    TQVFilter filter;
    filter.InitNew();
    filter.SetName("Images");
    filter.FilterBasicType = fbExcludeAll;
    filter.FilterComment = "no pictures";
    AddRule(filter, {flExclude, ffFile, {" *.gif ", "*.jpg"}, true, true, 0});
    AddRule(filter, {flInclude, ffHitCount, {}, false, false, -5});
    filter.Line(1)->FLPreDefined = 2;
    ASSERT_TRUE(filter.Save());

    const std::string file =
        TTestFolder::ReadFile(static_cast<TXMLProfileInterface&>(*filter.Store).RecordPath("Images"));
    EXPECT_NE(file.find("> *.gif ;*.jpg;<"), std::string::npos);
    size_t last = 0;
    for (const char* key : {"FilterBasicType", "FilterComment", "LineCount", "FLNegative0", "FLHitsFilter0", "FLType0",
                            "FLField0", "FLIntParam0", "FLPreDefined0", "FLStrParam0", "FLNegative1"}) {
        const size_t at = file.find(std::string("<") + key + ">");
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_GT(at, last) << key;
        last = at;
    }

    TQVFilter loaded;
    ASSERT_TRUE(loaded.Load("images"));
    EXPECT_EQ(loaded.FilterBasicType, fbExcludeAll);
    EXPECT_EQ(loaded.FilterComment, "no pictures");
    ASSERT_EQ(loaded.LineCount(), 2);
    const TFilterLine& first = *loaded.Line(0);
    EXPECT_EQ(first.FLStrParam, (std::vector<std::string>{"*.gif", "*.jpg"}));
    EXPECT_TRUE(first.FLNegative);
    EXPECT_TRUE(first.FLHitsFilter);
    EXPECT_EQ(first.FLType, flExclude);
    EXPECT_EQ(loaded.Line(1)->FLField, ffHitCount);
    EXPECT_EQ(loaded.Line(1)->FLIntParam, -5);
    EXPECT_EQ(loaded.Line(1)->FLPreDefined, 2);
    EXPECT_TRUE(loaded.Line(1)->FLStrParam.empty());

    // A missing record is an empty filter; a damaged line count is bounded.
    EXPECT_FALSE(loaded.Load("missing"));
    EXPECT_EQ(loaded.LineCount(), 0);
    std::ofstream(static_cast<TXMLProfileInterface&>(*filter.Store).RecordPath("Images"), std::ios::trunc)
        << "<?xml version=\"1.0\"?><cvprofile><LineCount>2000000000</LineCount></cvprofile>";
    ASSERT_TRUE(loaded.Load("Images"));
    EXPECT_LE(loaded.LineCount(), 10000);
}

TEST(QVFilterTest, EditingCopiesTheRuleAndSurvivesDeletedLines) {
    TQVFilter filter;
    AddRule(filter, {flExclude, ffStatus, {"404"}, true, true, 7});
    AddRule(filter, {flInclude, ffHost, {"a"}});
    filter.Line(0)->FLPreDefined = 5;

    ASSERT_TRUE(filter.EditExisting(0));
    EXPECT_EQ(filter.EditLine.FLStrParam, std::vector<std::string>{"404"});
    EXPECT_NE(filter.EditLine.FLPreDefined, 5);
    filter.EditLine.FLStrParam = {"500"};
    ASSERT_TRUE(filter.CommitEdit());
    EXPECT_EQ(filter.Line(0)->FLStrParam, std::vector<std::string>{"500"});
    EXPECT_EQ(filter.Line(0)->FLPreDefined, 5);
    EXPECT_FALSE(filter.CommitEdit());

    // Deleting an earlier line keeps the edit on its line; deleting the edited one ends it.
    ASSERT_TRUE(filter.EditExisting(1));
    ASSERT_TRUE(filter.DeleteLine(0));
    EXPECT_EQ(filter.EditIndex, 0);
    ASSERT_TRUE(filter.DeleteLine(0));
    EXPECT_EQ(filter.EditIndex, TQVFilter::kNoEdit);
    EXPECT_FALSE(filter.CommitEdit());
    EXPECT_EQ(filter.LineCount(), 0);
}

TEST(QVFilterTest, DescribesLinesAndSummarisesTheFilter) {
    TQVFilter filter;
    filter.Name = "Robots";
    filter.FilterComment = "spiders";
    filter.FilterBasicType = fbExcludeAll;
    AddRule(filter, {flExclude, ffUserAgent, {}});
    AddRule(filter, {flInclude, ffFile, {}, true, true});
    filter.NewLine();
    filter.EditLine.FLField = 12;
    EXPECT_EQ(TQVFilter::Describe(filter.EditLine), "Include visits that did ");
    EXPECT_EQ(filter.SummaryText(), "Filter name: Robots\n"
                                    "Comment: spiders\n"
                                    "Filter type: Exclude all\n"
                                    "Exclude visits that did use a specific user agent.\n"
                                    "Include hits that didn't request specific file(s).");
}

} // namespace
