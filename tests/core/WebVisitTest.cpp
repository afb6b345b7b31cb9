// Visits at their edges: the timeout and length of parsed times, length buckets, a long visit
// counted in parts, host matching and resolver answers, the row set and the entry pool.

#include "core/WebVisit.h"

#include "core/CParser.h"
#include "core/PathIndex.h"
#include "sources/CUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kTimeout = 20, kDay = 86400, kMaxGap = kTimeout * 60 + 1;

// Expects ok(times, start) for every second of a day, at a few dates and zones; times holds
// the time of every second from midnight on as a parsed log line gives it.
template <class F> void ForEverySecondOfTheDay(F ok) {
    struct TCase {
        const char* Name;
        TDateTime Date;
        const char* Zone;
        int Timezone;
    };
    const TCase cases[] = {{"2003, UTC", 37904, "+0000", 0},
                           {"2003, -0500 shown at +2 h", 37904, "-0500", 2},
                           {"2030, +0530", 47484, "+0530", 0}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TCParser parser;
        parser.SetFormat("%h:%n:%s %z");
        std::vector<TDateTime> times;
        for (int i = 0; i < kDay + kMaxGap; ++i) {
            char line[32];
            std::snprintf(line, sizeof line, "%02d:%02d:%02d %s", i % kDay / 3600, i / 60 % 60, i % 60, c.Zone);
            parser.SetLine(line);
            TLogEntry entry;
            entry.AssignFrom(parser, {false, 0, c.Timezone, c.Date + i / kDay});
            ASSERT_TRUE(entry.Valid) << line;
            times.push_back(entry.Time);
        }
        int failures = 0, first = -1;
        for (int start = 0; start < kDay; ++start)
            if (!ok(times, start) && failures++ == 0) first = start;
        EXPECT_EQ(failures, 0) << "first at second " << first;
    }
}

// A hit 20 minutes after the last one, or before the first, stays in the visit; one 20
// minutes and a second after or before it does not.
TEST(WebVisitTest, TheTimeoutHoldsToTheSecondWhateverTheRoundingOfTimes) {
    ForEverySecondOfTheDay([](const std::vector<TDateTime>& times, int start) {
        TWebVisit visit;
        visit.StartTime = visit.LastTime = times[start];
        return !visit.ExpiredAt(times[start + kMaxGap - 1], kTimeout) &&
               visit.ExpiredAt(times[start + kMaxGap], kTimeout) &&
               (start < kMaxGap || (!visit.ExpiredAt(times[start - kMaxGap + 1], kTimeout) &&
                                    visit.ExpiredAt(times[start - kMaxGap], kTimeout)));
    });
}

// Lengths come from day fractions: truncated, a third of all 60 s visits would read 59 s.
TEST(WebVisitTest, LengthsComeOutInWholeSecondsWhateverTheRoundingOfTimes) {
    ForEverySecondOfTheDay([](const std::vector<TDateTime>& times, int start) {
        TWebVisit visit;
        visit.StartTime = times[start];
        for (const int gap : {59, 60, kMaxGap - 1}) {
            visit.LastTime = times[start + gap];
            if (visit.LengthSeconds() != gap) return false;
        }
        return true;
    });
}

TEST(WebVisitTest, LengthBucketsEndAtTheirUpperMinutes) {
    // The last second of each bucket, and the first of the next.
    const int64_t lastSeconds[] = {59, 119, 179, 359, 479, 659, 959, 1859, 3659};
    for (int bucket = 0; bucket < kDurationBucketCount - 1; ++bucket) {
        EXPECT_EQ(DurationBucketOf(lastSeconds[bucket]), bucket) << lastSeconds[bucket];
        EXPECT_EQ(DurationBucketOf(lastSeconds[bucket] + 1), bucket + 1) << lastSeconds[bucket] + 1;
    }
    EXPECT_EQ(DurationBucketOf(0), 0);
    EXPECT_EQ(DurationBucketOf(400 * 86400), kDurationBucketCount - 1);
}

// A long visit gives its first hits back while it is open. Wherever that cut falls, and in
// whatever time order the hits came, its hit count, entry and exit pages and navigation path
// stay those of the whole visit, and a page text it keeps outlives the entry it came from,
// numbered path or not.
TEST(WebVisitTest, AVisitCountedInPartsKeepsWhatTheWholeVisitShows) {
    struct TCase {
        const char* Name;
        std::vector<std::pair<std::string, bool>> Hits; // path, page
    };
    std::vector<TCase> cases = {
        {"nine pages, then images",
         {{"/1", true},
          {"/2", true},
          {"/3", true},
          {"/4", true},
          {"/5", true},
          {"/6", true},
          {"/7", true},
          {"/8", true},
          {"/9", true},
          {"/a.gif", false},
          {"/b.gif", false}}},
        {"pages between images", {{"/a.gif", false}, {"/one.html", true}, {"/b.gif", false}, {"/two/", true}}},
        {"no page", {{"/a.gif", false}, {"/b.gif", false}}},
        {"200 hits", {}},
    };
    for (int i = 0; i < 200; ++i)
        cases.back().Hits.emplace_back("/long/path/of/hit/" + std::to_string(i % 37) + ".html", i % 3 != 0);
    // The order the hits came in: by time, late ones first, every other one first.
    const auto arrival = [](int order, int n, int k) {
        return order == 0 ? k : order == 1 ? n - 1 - k : (k < (n + 1) / 2 ? 2 * k : 2 * (k - (n + 1) / 2) + 1);
    };
    for (const TCase& c : cases) {
        const int n = static_cast<int>(c.Hits.size());
        for (const auto& [numbered, order] : {std::pair{false, 0}, {true, 0}, {false, 1}, {true, 2}}) {
            for (int cut = 0; cut <= n; ++cut) {
                SCOPED_TRACE(std::string(c.Name) + (numbered ? ", numbered" : "") + ", order " + std::to_string(order) +
                             ", cut " + std::to_string(cut));
                THitPool pool;
                TPathIndex paths;
                const auto hit = [&](int i) {
                    TLogEntry line;
                    line.SetText(TLogEntry::etPath, c.Hits[i].first);
                    line.Time = i;
                    if (numbered) {
                        std::string_view kept;
                        line.PathId = paths.IdOf(line.Path(), kept);
                        line.KeptPath = kept.data();
                    }
                    THit* made = pool.Make(line);
                    made->Page = c.Hits[i].second;
                    return made;
                };
                TWebVisit whole, parts;
                for (int i = 0; i < n; ++i)
                    whole.HitList.push_back(hit(i));
                std::vector<int> held;
                for (int k = cut; k < n; ++k)
                    held.push_back(arrival(order, n, k));
                std::sort(held.begin(), held.end());
                for (int k = 0; k < cut; ++k) {
                    THit* given = hit(arrival(order, n, k));
                    parts.NoteCountedHit(*given);
                    pool.Release(given);
                }
                std::vector<THit*> reused; // the given hits, written over
                TLogEntry later;
                later.SetText(TLogEntry::etPath, "/overwritten/by/a/later/line.html");
                for (int i = 0; i < cut; ++i)
                    reused.push_back(pool.Make(later));
                for (int i : held)
                    parts.HitList.push_back(hit(i));

                EXPECT_EQ(parts.HitCount(), n);
                bool kept = !numbered;
                EXPECT_EQ(parts.EntryPage(&kept), whole.EntryPage());
                EXPECT_EQ(kept, numbered && !whole.EntryPage().empty());
                kept = !numbered;
                EXPECT_EQ(parts.ExitPage(&kept), whole.ExitPage());
                EXPECT_EQ(kept, numbered && !whole.ExitPage().empty());
                EXPECT_EQ(parts.NavigationPath(), whole.NavigationPath());
                for (THit* made : reused)
                    pool.Release(made);
                parts.Reset(pool);
                whole.Reset(pool);
                EXPECT_EQ(parts.HitCount(), 0);
            }
        }
    }
}

TEST(WebVisitTest, AVisitAcceptsItsHostByAddressOrResolvedName) {
    TWebVisit visit;
    visit.IPText = "10.0.0.1";
    visit.StartTime = visit.LastTime = 37904.5;
    const TDateTime later = 37904.5 + 10.0 / 1440;
    visit.OnResolved(0, "zero.example.com"); // no address: no answer
    visit.OnResolved(IPToInt("10.0.0.1"), "");
    EXPECT_TRUE(visit.HostName.empty());
    visit.OnResolved(IPToInt("10.0.0.1"), "host.example.com");
    visit.OnResolved(IPToInt("10.0.0.1"), "other.example.com"); // a name once known stays
    EXPECT_EQ(visit.HostName, "host.example.com");
    EXPECT_EQ(visit.HostKey(), "host.example.com");
    EXPECT_EQ(visit.IP, IPToInt("10.0.0.1"));
    EXPECT_TRUE(visit.Accepts("10.0.0.1", later, 20));
    EXPECT_TRUE(visit.Accepts("host.example.com", later, 20));
    EXPECT_FALSE(visit.Accepts("10.0.0.2", later, 20));
    EXPECT_FALSE(visit.Accepts("10.0.0.1", later, 5));
    EXPECT_FALSE(visit.Expired(nullptr, 0));

    // A visit known by name first takes the address of the answer.
    TWebVisit named;
    named.HostName = "named.example.com";
    named.OnResolved(IPToInt("192.168.1.2"), "else.example.com");
    EXPECT_EQ(named.IPText, "192.168.1.2");
    EXPECT_EQ(named.HostName, "named.example.com");
    EXPECT_TRUE(named.Accepts("192.168.1.2", 0, 20));
}

// The rows a visit counted in parts reached: a set across its growth, for row addresses of
// any alignment.
TEST(WebVisitTest, MarkRowTellsNewRowsFromRowsSeen) {
    static char rows[20000];
    for (const int stride : {1, 8, 24}) {
        SCOPED_TRACE(stride);
        TWebVisit visit;
        for (int pass = 0; pass < 2; ++pass) {
            int fresh = 0;
            for (size_t i = 0; i < sizeof rows; i += stride)
                fresh += visit.MarkRow(rows + i);
            EXPECT_EQ(fresh, pass == 0 ? static_cast<int>((sizeof rows + stride - 1) / stride) : 0);
        }
    }
}

// Hits live in chunks that never move; a released hit comes back made anew, without the
// state or query of its last use.
TEST(WebVisitTest, ThePoolHandsOutDistinctHitsAndReusesReleasedOnes) {
    constexpr size_t kHits = 4096 + 10; // past the first chunk
    THitPool pool;
    TWebVisit visit;
    TLogEntry line;
    line.SetText(TLogEntry::etQuery, "a=1");
    std::set<THit*> first;
    for (size_t i = 0; i < kHits; ++i) {
        line.SetText(TLogEntry::etPath, "/p" + std::to_string(i));
        line.SetText(TLogEntry::etStatus, i % 2 ? "200" : "404");
        THit* hit = pool.Make(line);
        ASSERT_EQ(hit->Path(), "/p" + std::to_string(i));
        ASSERT_EQ(hit->Status(), i % 2 ? "200" : "404");
        ASSERT_EQ(hit->Query(), "a=1");
        hit->Visit = &visit;
        hit->FilterState = fsExclude;
        hit->Page = true;
        first.insert(hit);
    }
    EXPECT_EQ(first.size(), kHits);
    for (THit* hit : first)
        pool.Release(hit);
    line.SetText(TLogEntry::etQuery, "");
    std::set<THit*> second;
    for (size_t i = 0; i < kHits; ++i) {
        THit* hit = pool.Make(line);
        EXPECT_TRUE(hit->Visit == nullptr && hit->FilterState == fsUndecided && !hit->Page && hit->Query().empty());
        second.insert(hit);
    }
    EXPECT_EQ(second, first);
    EXPECT_EQ(pool.Allocated(), kHits);
}

} // namespace
