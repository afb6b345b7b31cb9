#include "core/HashTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

struct TItem {
    int Id = 0;
};

void ExpectError(const std::function<void()>& action, const char* message) {
    try {
        action();
        ADD_FAILURE() << "no EHashTableError, expected \"" << message << "\"";
    } catch (const EHashTableError& e) {
        EXPECT_STREQ(e.what(), message);
    }
}

// Keys other than `key` whose home slot in a table of that capacity is the key's home.
std::vector<int> SameHome(const THashTable<TItem>& table, int key, size_t count) {
    std::vector<int> keys;
    for (int k = 0; keys.size() < count; ++k)
        if (k != key && table.HashIndex(k) == table.HashIndex(key)) keys.push_back(k);
    return keys;
}

TEST(HashTableTest, DoublesBeforeTheEntryThatWouldReachEightyPercent) {
    THashTable<TItem> table;
    std::vector<TItem> items(5000);
    for (int i = 0; i < 204; ++i)
        table.Insert(i * 7919, &items[static_cast<size_t>(i)]);
    EXPECT_EQ(table.Capacity(), 256);
    table.Insert(204 * 7919, &items[204]);
    EXPECT_EQ(table.Capacity(), 512);
    for (int i = 205; i < 5000; ++i)
        table.Insert(i * 7919, &items[static_cast<size_t>(i)]);
    EXPECT_EQ(table.Count(), 5000);
    EXPECT_EQ(table.Capacity(), 8192);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(table.Find(i * 7919), &items[static_cast<size_t>(i)]) << i;
}

TEST(HashTableTest, DuplicateKeysAreFoundInInsertionOrderPastOtherKeys) {
    THashTable<TItem> table;
    TItem a, b, c;
    const int other = SameHome(table, 5, 1)[0];
    table.Insert(5, &a);
    table.Insert(other, &c); // lies between the two entries of key 5
    table.Insert(5, &b);
    EXPECT_EQ(table.Count(), 3);
    EXPECT_EQ(table.Find(5), &a);
    EXPECT_EQ(table.FindNext(5), &b);
    EXPECT_EQ(table.FindNext(5), nullptr);
    EXPECT_EQ(table.Find(other), &c);
    EXPECT_EQ(table.FindNext(other), nullptr);
}

TEST(HashTableTest, RemovedSlotsAreProbedPastAndReused) {
    THashTable<TItem> table;
    TItem a, b, c, d;
    const std::vector<int> keys = SameHome(table, 3, 2);
    table.Insert(3, &a);       // home slot
    table.Insert(keys[0], &b); // home + 1
    EXPECT_EQ(table.Remove(3), &a);
    EXPECT_EQ(table.Remove(3), nullptr);
    EXPECT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Find(keys[0]), &b);
    EXPECT_EQ(table.Find(3), nullptr);

    table.Insert(keys[1], &c); // takes the removed home slot, so it comes first in slot order
    EXPECT_EQ(table.First(), &c);
    EXPECT_EQ(table.Next(), &b);
    EXPECT_EQ(table.Next(), nullptr);

    table.Put(keys[0], &d); // replaces
    table.Put(3, &a);       // inserts
    EXPECT_EQ(table.Count(), 3);
    EXPECT_EQ(table.Find(keys[0]), &d);
    EXPECT_EQ(table.Find(3), &a);
}

TEST(HashTableTest, RemoveCurrentDuringIterationVisitsEveryEntryOnce) {
    THashTable<TItem> table;
    std::vector<TItem> items(1000);
    for (int i = 0; i < 1000; ++i) {
        items[static_cast<size_t>(i)].Id = i;
        table.Insert(i % 300, &items[static_cast<size_t>(i)]); // duplicates and clusters
    }
    std::vector<int> seen(1000, 0);
    for (TItem* item = table.First(); item; item = table.Next()) {
        ++seen[static_cast<size_t>(item->Id)];
        EXPECT_EQ(table.Current(), item);
        if (item->Id % 3 != 0) {
            EXPECT_EQ(table.RemoveCurrent(), item);
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), 1000);
    EXPECT_EQ(table.Current(), nullptr);
    EXPECT_EQ(table.RemoveCurrent(), nullptr); // past the end: nothing to remove
    EXPECT_EQ(table.Count(), 334);

    std::set<int> left;
    for (TItem* item = table.First(); item; item = table.Next())
        EXPECT_TRUE(left.insert(item->Id).second);
    EXPECT_EQ(left.size(), 334u);
    EXPECT_EQ(*left.begin(), 0);
    EXPECT_EQ(*left.rbegin(), 999);
}

TEST(HashTableTest, SetCapacityRules) {
    THashTable<TItem> table;
    std::vector<TItem> items(204);
    for (int i = 0; i < 204; ++i)
        table.Insert(i, &items[static_cast<size_t>(i)]);
    for (int n : {0, -1, 255, THashTableBase::kMaxCapacity + 1})
        ExpectError([&] { table.SetCapacity(n); }, "Invalid capacity");
    EXPECT_EQ(table.Capacity(), 256);

    EXPECT_EQ(table.Find(17), &items[17]);
    table.SetCapacity(256); // nothing happens, not even to the cursor
    EXPECT_EQ(table.Current(), &items[17]);

    table.SetCapacity(257);
    EXPECT_EQ(table.Capacity(), 257);
    for (int i = 0; i < 204; ++i)
        ASSERT_EQ(table.Find(i), &items[static_cast<size_t>(i)]);

    table.Clear();
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.Capacity(), 257);
    EXPECT_EQ(table.First(), nullptr);
    table.SetCapacity(1); // an empty table may shrink to one slot and still grow
    for (int i = 0; i < 10; ++i)
        table.Insert(i, &items[static_cast<size_t>(i)]);
    EXPECT_EQ(table.Capacity(), 16);
    EXPECT_EQ(table.Find(9), &items[9]);
}

TEST(HashTableTest, NegativeKeysAreRefused) {
    THashTable<TItem> table;
    TItem a;
    table.Insert(1, &a);
    table.Find(1);
    const std::vector<std::function<void()>> actions = {
        [&] { table.HashIndex(-1); }, [&] { table.Insert(-1, &a); }, [&] { table.Find(-1); },
        [&] { table.FindNext(-2); },  [&] { table.Put(-1, &a); },    [&] { table.Remove(-2); },
    };
    for (const auto& action : actions)
        ExpectError(action, "Keys must be positive");
    EXPECT_EQ(table.Count(), 1);
}

TEST(StringTableTest, StrHash) {
    const struct {
        std::string Text;
        int Key;
    } cases[] = {
        {"", 0},
        {"a", 97},
        {"ab", 12805},
        {"\xff", 255},                              // bytes count as unsigned
        {"\x07& 9|", 0},                            // h = -2147483648
        {"/images/photos/holiday.jpg", 2069786411}, // wraps; |h| of a negative h
        {"/blog/2024/03/some-article-title/index.html", 945644961},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TStringTableBase::StrHash(c.Text), c.Key) << c.Text;
}

TEST(StringTableTest, FindsExactTextsAmongCollisionsAndNearMisses) {
    // "a", "\0a" share hash 97; "\x83", "\x01\0", "\0\x83" share hash 131.
    const std::vector<std::string> texts = {"",          "a",       "\0a"s,        "A",           "\x83",
                                            "\x01\0"s,   "\0\x83"s, "/Index.html", "/index.html", "/a/page-1",
                                            "/a/page-2", "a\0b"s,   "a\0c"s};
    std::vector<TItem> items(texts.size());
    TStringTable<TItem> table;
    for (size_t i = 0; i < texts.size(); ++i)
        table.Add(texts[i], &items[i]);
    EXPECT_EQ(table.Count(), static_cast<int>(texts.size()));
    for (size_t i = 0; i < texts.size(); ++i) {
        const TStringTableNode* node = table.FindNode(texts[i]);
        ASSERT_NE(node, nullptr) << i;
        EXPECT_EQ(node->Text(), texts[i]);
        EXPECT_EQ(node->Object(), &items[i]);
        EXPECT_EQ(table.Value(texts[i]), &items[i]);
    }
    for (const std::string& absent : {"b"s, "/a/page-3"s, "\0"s, "/index.htm"s, "a\0"s})
        EXPECT_EQ(table.FindNode(absent), nullptr) << absent;

    std::set<TItem*> seen;
    for (TItem* item = table.First(); item; item = table.Next())
        seen.insert(item);
    EXPECT_EQ(seen.size(), texts.size());

    table.Clear();
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.Value("a"), nullptr);
    table.Add("a", &items[0]);
    EXPECT_EQ(table.Value("a"), &items[0]);
}

} // namespace
