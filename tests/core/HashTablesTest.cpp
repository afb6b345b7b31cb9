#include "core/HashTables.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using testing::StrEq;
using testing::ThrowsMessage;

struct TItem {
    int Id = 0;
};

std::vector<TItem> Items(int count) {
    std::vector<TItem> items(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        items[static_cast<size_t>(i)].Id = i;
    return items;
}

TEST(HashTableTest, DoublesBeforeTheEntryThatWouldReachEightyPercent) {
    THashTable<TItem> table;
    std::vector<TItem> items = Items(5000);
    for (int i = 0; i < 204; ++i)
        table.Insert(i * 7919, &items[static_cast<size_t>(i)]);
    EXPECT_EQ(table.Capacity(), 256);
    table.Insert(204 * 7919, &items[204]);
    EXPECT_EQ(table.Capacity(), 512);
    for (int i = 205; i < 5000; ++i)
        table.Insert(i * 7919, &items[static_cast<size_t>(i)]);
    EXPECT_EQ(table.Capacity(), 8192);
    for (TItem& item : items)
        ASSERT_EQ(table.Find(item.Id * 7919), &item);
}

TEST(HashTableTest, DuplicatesAndRemovedSlotsAlongOneProbeRun) {
    THashTable<TItem> table;
    TItem a, b, c, d;
    std::vector<int> sameHome; // keys sharing the home slot of key 5
    for (int k = 6; sameHome.size() < 2; ++k)
        if (table.HashIndex(k) == table.HashIndex(5)) sameHome.push_back(k);
    table.Insert(5, &a);
    table.Insert(sameHome[0], &c); // between the two entries of key 5
    table.Insert(5, &b);
    EXPECT_EQ(table.Find(5), &a);
    EXPECT_EQ(table.FindNext(5), &b);
    EXPECT_EQ(table.FindNext(5), nullptr);

    EXPECT_EQ(table.Remove(5), &a);
    EXPECT_EQ(table.Find(sameHome[0]), &c); // found past the removed home slot
    EXPECT_EQ(table.Find(5), &b);
    table.Insert(sameHome[1], &d); // reuses the removed home slot: first in slot order
    EXPECT_EQ(table.First(), &d);
    table.Put(5, &a); // replaces b
    table.Put(7, &b); // inserts
    EXPECT_EQ(table.Count(), 4);
    EXPECT_EQ(table.Remove(5), &a);
    EXPECT_EQ(table.Remove(5), nullptr);
    EXPECT_EQ(table.Count(), 3);
}

TEST(HashTableTest, RemoveCurrentDuringIterationVisitsEveryEntryOnce) {
    THashTable<TItem> table;
    std::vector<TItem> items = Items(1000);
    for (TItem& item : items)
        table.Insert(item.Id % 300, &item); // duplicates and clusters
    std::multiset<int> seen, kept;
    for (TItem* item = table.First(); item; item = table.Next()) {
        seen.insert(item->Id);
        if (item->Id % 3 != 0) {
            EXPECT_EQ(table.RemoveCurrent(), item);
        }
    }
    EXPECT_EQ(seen.size(), 1000u);
    EXPECT_EQ(std::set<int>(seen.begin(), seen.end()).size(), 1000u);
    EXPECT_EQ(table.RemoveCurrent(), nullptr); // past the end
    for (TItem* item = table.First(); item; item = table.Next())
        kept.insert(item->Id);
    EXPECT_EQ(kept.size(), 334u);
    EXPECT_EQ(table.Count(), 334);
}

// Random inserts and removals on small tables, where probe runs wrap and removed slots pile
// up, checked against a multiset after every step.
TEST(HashTableTest, ChurnKeepsEveryEntryFindableExactlyOnce) {
    std::mt19937 rng(1);
    for (const int capacity : {8, 64}) {
        THashTable<TItem> table;
        table.SetCapacity(capacity);
        std::vector<TItem> items = Items(capacity); // an entry's value tells its key
        std::multiset<int> live;
        for (int step = 0; step < 20000; ++step) {
            const int key = static_cast<int>(rng() % static_cast<unsigned>(capacity));
            const unsigned action = rng() % 3;
            if (action == 0 && static_cast<int>(live.size()) < capacity * 5 / 8) { // stays below 80 %
                table.Insert(key, &items[static_cast<size_t>(key)]);
                live.insert(key);
            } else if (action == 1) {
                TItem* removed = table.Remove(key);
                ASSERT_EQ(removed != nullptr, live.count(key) > 0);
                if (removed) live.erase(live.find(key));
            } else if (action == 2) {
                TItem* item = table.First();
                for (unsigned skip = rng() % (live.size() + 1); item && skip > 0; --skip)
                    item = table.Next();
                if (item) {
                    ASSERT_EQ(table.RemoveCurrent(), item);
                    live.erase(live.find(item->Id));
                }
            }
            ASSERT_EQ(table.Count(), static_cast<int>(live.size()));
            for (int k = 0; k < capacity; ++k) {
                size_t found = 0;
                for (TItem* item = table.Find(k); item && found <= live.size(); item = table.FindNext(k)) {
                    ASSERT_EQ(item->Id, k);
                    ++found;
                }
                ASSERT_EQ(found, live.count(k)) << "key " << k << " at step " << step;
            }
        }
        EXPECT_EQ(table.Capacity(), capacity);
    }
}

TEST(HashTableTest, SetCapacityRulesAndErrors) {
    THashTable<TItem> table;
    std::vector<TItem> items = Items(204);
    for (TItem& item : items)
        table.Insert(item.Id, &item);
    for (int n : {0, -1, 255, THashTableBase::kMaxCapacity + 1})
        EXPECT_THAT([&] { table.SetCapacity(n); }, ThrowsMessage<EHashTableError>(StrEq("Invalid capacity"))) << n;
    EXPECT_EQ(table.Find(17), &items[17]);
    table.SetCapacity(256); // nothing happens, not even to the cursor
    EXPECT_EQ(table.Current(), &items[17]);
    table.SetCapacity(257);
    for (TItem& item : items)
        ASSERT_EQ(table.Find(item.Id), &item);

    table.Clear();
    EXPECT_EQ(table.First(), nullptr);
    table.SetCapacity(1); // an empty table may shrink to one slot and still grow
    for (int i = 0; i < 10; ++i)
        table.Insert(i, &items[static_cast<size_t>(i)]);
    EXPECT_EQ(table.Capacity(), 16);
    EXPECT_EQ(table.Find(9), &items[9]);

    TItem a;
    const std::vector<std::function<void()>> negativeKeys = {
        [&] { table.HashIndex(-1); }, [&] { table.Insert(-1, &a); }, [&] { table.Find(-1); },
        [&] { table.FindNext(-2); },  [&] { table.Put(-1, &a); },    [&] { table.Remove(-2); }};
    for (const auto& action : negativeKeys)
        EXPECT_THAT(action, ThrowsMessage<EHashTableError>(StrEq("Keys must be positive")));
    EXPECT_EQ(table.Count(), 10);
}

TEST(StringTableTest, StrHash) {
    const std::pair<std::string, int> cases[] = {
        {"", 0},
        {"a", 97},
        {"ab", 12805},
        {"\xff", 255},                              // bytes count as unsigned
        {"\x07& 9|", 0},                            // h = -2147483648
        {"/images/photos/holiday.jpg", 2069786411}, // wraps; |h| of a negative h
        {"/blog/2024/03/some-article-title/index.html", 945644961},
    };
    for (const auto& [text, key] : cases)
        EXPECT_EQ(TStringTableBase::StrHash(text), key) << text;
}

TEST(StringTableTest, FindsExactTextsAmongCollisionsAndNearMisses) {
    // "a", "\0a" share hash 97; "\x83", "\x01\0", "\0\x83" share hash 131.
    const std::vector<std::string> texts = {"",          "a",       "\0a"s,        "A",           "\x83",
                                            "\x01\0"s,   "\0\x83"s, "/Index.html", "/index.html", "/a/page-1",
                                            "/a/page-2", "a\0b"s,   "a\0c"s};
    std::vector<TItem> items = Items(static_cast<int>(texts.size()));
    TStringTable<TItem> table;
    for (size_t i = 0; i < texts.size(); ++i)
        table.Add(texts[i], &items[i]);
    for (size_t i = 0; i < texts.size(); ++i) {
        const TStringTableNode* node = table.FindNode(texts[i]);
        ASSERT_NE(node, nullptr) << i;
        EXPECT_EQ(node->Text(), texts[i]);
        EXPECT_EQ(table.Value(texts[i]), &items[i]);
    }
    for (const std::string& absent : {"b"s, "/a/page-3"s, "\0"s, "/index.htm"s, "a\0"s})
        EXPECT_EQ(table.FindNode(absent), nullptr) << absent;
    std::set<TItem*> seen;
    for (TItem* item = table.First(); item; item = table.Next())
        seen.insert(item);
    EXPECT_EQ(seen.size(), texts.size());

    table.Clear(); // frees the nodes; the sanitizer build checks that none leaks
    EXPECT_EQ(table.Value("a"), nullptr);
    table.Add("a", &items[0]);
    EXPECT_EQ(table.Value("a"), &items[0]);
}

} // namespace
