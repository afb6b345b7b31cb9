// View rows and their day records, groups, and the view table: rows made and found by key,
// in the slot order of a text table.

#include "core/LogView.h"

#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace std::string_literals;

namespace {

// The view table must hand rows out in the slot order of a text table given the same keys
// (equal rows of a report keep that order), also across growth, pre-sizing and colliding
// hashes, and find every row by its joined key.
TEST(ViewTableTest, RowsComeInTheOrderOfATextTable) {
    std::vector<std::pair<std::string, std::string>> keys = {
        {"a", ""}, {"\0a"s, ""}, {"\x83", ""}, {"\x01\0"s, ""}, {"200", "/a"}, {"200", "/b"}, {"404", "/a"}};
    for (int i = 0; i < 3000; ++i)
        keys.emplace_back(std::to_string(i % 7), "/p" + std::to_string(i) + ".html");
    for (const int presize : {0, 4096}) {
        TStringTable<int> texts;
        TViewTable views;
        if (presize) {
            texts.SetCapacity(presize);
            views.SetCapacity(presize);
        }
        std::vector<int> items(keys.size());
        for (size_t i = 0; i < keys.size(); ++i) {
            const auto& [name, subName] = keys[i];
            const std::string joined = subName.empty() ? name : name + "\n" + subName;
            texts.Add(joined, &items[i]);
            ASSERT_EQ(views.Find(TViewTable::KeyOf(name, subName), name, subName), TViewTable::kNoRow);
            EXPECT_EQ(views.Add(TViewTable::KeyOf(name, subName), name, subName, 0), i);
            EXPECT_EQ(TViewTable::KeyOf(name, subName), TStringTableBase::StrHash(joined));
        }
        EXPECT_EQ(views.Capacity(), texts.Capacity());
        int* item = texts.First();
        for (TLogView* row = views.First(); row; row = views.Next(), item = texts.Next()) {
            ASSERT_NE(item, nullptr);
            const auto& [name, subName] = keys[static_cast<size_t>(item - items.data())];
            EXPECT_EQ(row->Name, name);
            EXPECT_EQ(row->SubName, subName);
            EXPECT_EQ(views.Value(subName.empty() ? name : name + "\n" + subName), row);
        }
        EXPECT_EQ(item, nullptr);
        EXPECT_EQ(views.Value("200\n/c"), nullptr);
    }
}

// Day records against a plain map of days, whatever order the counts come in: a row keeps
// only its open day in its totals and moves it into its list when another day comes.
TEST(LogViewTest, DayRecordsMatchTheCountsInAnyOrder) {
    using TDays = std::map<int32_t, std::tuple<int32_t, int32_t, int64_t>>;
    struct TCase {
        const char* Name;
        std::vector<std::pair<char, int32_t>> Counts; // v a visit of 3 hits, h a hit, b merged bytes; on a day
    };
    const TCase cases[] = {
        {"one day", {{'v', 5}, {'h', 5}, {'b', 5}}},
        {"day after day", {{'v', 1}, {'h', 2}, {'h', 3}, {'v', 4}, {'b', 4}}},
        {"back to earlier days", {{'h', 10}, {'h', 12}, {'v', 10}, {'h', 12}, {'b', 10}, {'v', 11}}},
        {"before the first day", {{'h', 10}, {'h', 11}, {'v', 3}, {'h', 2}, {'b', 3}, {'h', 11}}},
        {"gaps filled later", {{'v', 1}, {'v', 4}, {'v', 9}, {'h', 2}, {'h', 7}, {'h', 4}, {'h', 9}, {'v', 1}}},
    };
    const auto check = [](const TLogView& row, const TDays& days) {
        TDays listed;
        row.ForEachDay([&](int32_t day, const TDayRecord& r) {
            EXPECT_TRUE(listed.emplace(day, std::make_tuple(r.Hits, r.Visits, r.Bytes)).second) << "day twice " << day;
        });
        EXPECT_EQ(listed, days);
        std::tuple<int32_t, int32_t, int64_t> totals;
        for (const auto& [day, counts] : days) {
            const TDayRecord r = row.DayCounts(day);
            EXPECT_EQ(std::make_tuple(r.Hits, r.Visits, r.Bytes), counts) << day;
            std::get<0>(totals) += std::get<0>(counts);
            std::get<1>(totals) += std::get<1>(counts);
            std::get<2>(totals) += std::get<2>(counts);
        }
        return totals;
    };
    TGroupView group("All", "*", 0, 5);
    TDays groupDays;
    std::vector<std::unique_ptr<TLogView>> rows;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        rows.push_back(std::make_unique<TLogView>("row", "", 5));
        TLogView& row = *rows.back();
        TDays days;
        for (const auto& [what, day] : c.Counts) {
            auto& [hits, visits, bytes] = days[day];
            if (what == 'v') {
                row.CountVisit(day, 3, 100, 1);
                hits += 3, visits += 1, bytes += 100;
            } else if (what == 'h') {
                row.CountHit(day, 10, true, 2);
                hits += 1, visits += 1, bytes += 10;
            } else {
                row.AddBytes(day, 7);
                bytes += 7;
            }
            const auto totals = check(row, days);
            ASSERT_EQ(std::make_tuple(row.Hits, row.Visits, row.Bytes), totals);
        }
        EXPECT_EQ(row.DayCounts(-1).Hits, 0);
        group.AddMember(row);
        for (const auto& [day, counts] : days) {
            auto& [hits, visits, bytes] = groupDays[day];
            hits += std::get<0>(counts), visits += std::get<1>(counts), bytes += std::get<2>(counts);
        }
        // Filled by hand: the day changes, the totals do not, and later counts still land.
        const auto totals = std::make_tuple(row.Hits, row.Visits, row.Bytes);
        row.Day(6).Hits += 2;
        std::get<0>(days[6]) += 2;
        check(row, days);
        EXPECT_EQ(std::make_tuple(row.Hits, row.Visits, row.Bytes), totals);
        row.CountHit(6, 1, false, 2);
        std::get<0>(days[6]) += 1, std::get<2>(days[6]) += 1;
        check(row, days);
    }
    EXPECT_TRUE(group.IsGroup());
    EXPECT_EQ(group.Members.size(), std::size(cases));
    const auto groupTotals = check(group, groupDays);
    EXPECT_EQ(std::make_tuple(group.Hits, group.Visits, group.Bytes), groupTotals);
}

// A group row joins the table under its name; a name holding a line feed is the same key as
// the name and sub-name it joins; capacity below the rows held is refused.
TEST(ViewTableTest, GroupsAndJoinedKeysAreFoundAsTheirRows) {
    TViewTable views;
    const uint32_t row = views.Add(TViewTable::KeyOf("200", "/a"), "200", "/a", 19);
    EXPECT_EQ(views.Find(TViewTable::KeyOf("200\n/a", ""), "200\n/a", ""), row);
    EXPECT_EQ(views.Value("200\n/a"), &views.Row(row));
    TGroupView group("Images", "*.gif;*.JPG", 0, 19);
    EXPECT_TRUE(group.Matches("/x/a.jpg"));
    EXPECT_TRUE(group.Matches("/b.GIF"));
    EXPECT_FALSE(group.Matches("/a.png"));
    views.AddGroup(&group);
    EXPECT_EQ(views.Value("Images"), &group);
    EXPECT_EQ(views.Count(), 2);
    int seen = 0;
    for (TLogView* r = views.First(); r; r = views.Next())
        seen += r == &group ? 10 : 1;
    EXPECT_EQ(seen, 11);
    EXPECT_THROW(views.SetCapacity(2), EHashTableError);
    const int capacity = views.Capacity();
    views.Clear();
    EXPECT_EQ(views.Count(), 0);
    EXPECT_EQ(views.First(), nullptr);
    EXPECT_EQ(views.Value("Images"), nullptr);
    EXPECT_EQ(views.Capacity(), capacity);
}

} // namespace
