// The view table: rows made and found by key, in the slot order of a text table.

#include "core/LogView.h"

#include <gtest/gtest.h>

#include <string>
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

} // namespace
