#include "core/u_cvtoken.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::string> All(TCVToken& t) {
    std::vector<std::string> out;
    for (std::string_view s = t.First(); !s.empty(); s = t.Next())
        out.emplace_back(s);
    return out;
}

TEST(CVTokenTest, SplitsAtDelimiterRunsAndSkipsShortTokens) {
    TCVToken t;
    t.SetText("  a  bb   c ");
    EXPECT_EQ(All(t), (std::vector<std::string>{"a", "bb", "c"}));
    EXPECT_EQ(t.Count(), 3);

    t.Delimiters = TCharSet(";)");
    t.MinLength = 3;
    t.SetText("compatible; MSIE 6.0; U");
    EXPECT_EQ(All(t), (std::vector<std::string>{"compatible", " MSIE 6.0"}));
    EXPECT_EQ(t.Count(), 2);
    EXPECT_EQ(t.Current(), "compatible"); // counting leaves the cursor on the first token

    t.SetText(";;;");
    EXPECT_EQ(t.First(), "");
    EXPECT_EQ(t.Count(), 0);
    t.SetText("");
    EXPECT_EQ(t.Next(), "");
}

TEST(CVTokenTest, SetTextForgetsTheCachedCount) {
    TCVToken t;
    t.SetText("a b");
    EXPECT_EQ(t.Count(), 2);
    t.SetText("a b c d");
    EXPECT_EQ(t.Count(), 4);
    EXPECT_EQ(t.Next(), "b");
}

} // namespace
