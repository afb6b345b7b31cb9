#include "core/PathIndex.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Numbers are dense and stable across the table's growth, for near-identical texts too.
TEST(PathIndexTest, NumbersStayTheSameAsTheIndexGrows) {
    TPathIndex index;
    EXPECT_EQ(index.IdOf("/a"), 0u);
    EXPECT_EQ(index.IdOf(""), 1u);
    EXPECT_EQ(index.IdOf("/a"), 0u);
    for (uint32_t i = 0; i < 5000; ++i)
        ASSERT_EQ(index.IdOf("/page/" + std::to_string(i) + ".html"), i + 2);
    EXPECT_EQ(index.Count(), 5002u);
    for (uint32_t i = 0; i < 5000; i += 7)
        ASSERT_EQ(index.IdOf("/page/" + std::to_string(i) + ".html"), i + 2);
    EXPECT_EQ(index.IdOf(""), 1u);
    EXPECT_EQ(index.IdOf("/A"), 5002u); // letter case counts
}

} // namespace
