#include "profile/DefaultRecords.h"

#include "core/u_qvprofile_group.h"
#include "profile/u_qvprofile.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace {

TEST(DefaultRecordsTest, AFreshDataFolderReceivesTheCrawlerGroupsOnce) {
    TSandbox sandbox;
    InstallDefaultRecords();
    TQVGroup crawlers;
    ASSERT_TRUE(crawlers.Load("crawlers"));
    EXPECT_EQ(crawlers.FieldOfEffect, gfBrowser);
    EXPECT_TRUE(crawlers.Matches("Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)"));
    EXPECT_TRUE(crawlers.Matches("python-requests/2.31.0"));
    EXPECT_FALSE(crawlers.Matches("Mozilla/5.0 (X11; Linux x86_64; rv:121.0) Gecko/20100101 Firefox/121.0"));
    TQVGroup hosts;
    ASSERT_TRUE(hosts.Load("crawlers_host"));
    EXPECT_TRUE(hosts.Matches("crawl-66-249-66-1.googlebot.com"));
    EXPECT_FALSE(hosts.Matches("dsl-1-2-3-4.example.net"));

    // The demonstration profile reads the bundled samples.
    TQVProfile demo;
    ASSERT_TRUE(demo.Load("Demo"));
    ASSERT_EQ(demo.LogPaths.size(), 2u);
    demo.OpenLogFiles();
    EXPECT_EQ(demo.LogReader.Files.size(), 3u);
    EXPECT_TRUE(demo.HasGroup("crawlers"));

    // A group the user changed is kept as it is, and a deleted demo does not come back.
    demo.Delete("Demo");
    crawlers.SetMembers("*mybot*;");
    ASSERT_TRUE(crawlers.Save());
    InstallDefaultRecords();
    TQVGroup again;
    ASSERT_TRUE(again.Load("crawlers"));
    EXPECT_EQ(again.MembersText(), "*mybot*;");
    EXPECT_FALSE(TQVProfile().Store->RecordExists("Demo"));
}

} // namespace
