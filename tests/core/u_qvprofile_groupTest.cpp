#include "core/u_qvprofile_group.h"

#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace {

TEST(QVGroupTest, MembersAreSplitAtSemicolonsAndMatchedWithoutCase) {
    TQVGroup group;
    group.SetMembers("*.gif;*.JPG;;/img/?.png");
    ASSERT_EQ(group.Masks().size(), 4u);
    EXPECT_TRUE(group.Matches("/a/b.GIF"));
    EXPECT_TRUE(group.Matches("/x.jpg"));
    EXPECT_TRUE(group.Matches("")); // the empty piece matches only an empty text
    EXPECT_TRUE(group.Matches("/img/1.png"));
    EXPECT_FALSE(group.Matches("/img/12.png"));
    group.SetMembers("*.gif;*.png;");
    EXPECT_EQ(group.Masks().size(), 2u);
    EXPECT_FALSE(group.Matches(""));
    group.SetMembers("");
    EXPECT_FALSE(group.Matches("anything"));
}

TEST(QVGroupTest, SavesAndLoadsItsFourKeys) {
    TSandbox sandbox;
    TQVGroup group;
    group.InitNew();
    group.SetName("Engines");
    group.DisplayName = "Engine A & co";
    group.GroupingType = gtAverage;
    group.FieldOfEffect = gfReferringDomain;
    group.SetMembers("*enginea.*;");
    ASSERT_TRUE(group.Save());

    TQVGroup loaded;
    ASSERT_TRUE(loaded.Load("engines"));
    EXPECT_EQ(loaded.DisplayName, "Engine A & co");
    EXPECT_EQ(loaded.GroupingType, gtAverage);
    EXPECT_EQ(loaded.FieldOfEffect, gfReferringDomain);
    EXPECT_EQ(loaded.MembersText(), "*enginea.*;");
    EXPECT_TRUE(loaded.Matches("www.enginea.com"));

    // A group without a record is empty and matches nothing.
    EXPECT_FALSE(loaded.Load("missing"));
    EXPECT_FALSE(loaded.Matches("www.enginea.com"));
}

} // namespace
