#include "profile/u_qvgensettings.h"

#include "sources/SpecialFolders.h"
#include "support/EnvOverride.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class GenSettingsTest : public ::testing::Test {
protected:
    TTestFolder Scratch;
    TEnvOverride DataHome{"XDG_DATA_HOME", Scratch.Path() + "data"};

    void SetUp() override { SetAppIdentity("Corvantis", "Quorvel", "Quorvel Help.chm"); }
    void TearDown() override { SaveSettings(); }
};

TEST_F(GenSettingsTest, FirstStartShowsTheFirstTipAndSettingsSurviveARestart) {
    const std::string tips = Scratch.WriteFile("cvtips.txt", "first\nsecond\n");
    LoadSettings();
    EXPECT_EQ(GenSettings().Name, "settings");
    EXPECT_TRUE(GenSettings().WantsTips(false));

    TTipsState dialog(tips);
    ASSERT_TRUE(dialog.ShowTip(GenSettings().LastTip));
    EXPECT_EQ(dialog.Text(), "first");
    GenSettings().LastTip = dialog.NextLastTip();
    ASSERT_TRUE(SaveSettings());

    const std::string text = TTestFolder::ReadFile(DataFolder() + "settings.xml");
    EXPECT_NE(text.find("<profile_version>0</profile_version>\r\n<ShowTips>1</ShowTips>\r\n<LastTip>1</LastTip>\r\n"
                        "<ProfileSort>0</ProfileSort>\r\n<ReportSort>0</ReportSort>\r\n</cvprofile>"),
              std::string::npos)
        << text;

    LoadSettings();
    GenSettings().ShowTips = false;
    GenSettings().ProfileSort = 2 + 256;
    ASSERT_TRUE(SaveSettings());
    LoadSettings();
    EXPECT_FALSE(GenSettings().WantsTips(false));
    EXPECT_TRUE(GenSettings().WantsTips(true));
    EXPECT_EQ(GenSettings().LastTip, 1);
    EXPECT_EQ(GenSettings().ProfileSort, 258);
}

TEST_F(GenSettingsTest, DamagedSettingsFileIsLeftInPlace) {
    const std::string damaged = Scratch.WriteFile("data/Corvantis/Quorvel/settings.xml", "<cvprofile><ShowTips>0");
    LoadSettings();
    EXPECT_EQ(GenSettings().Name, "settings1");
    EXPECT_TRUE(GenSettings().ShowTips);
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(TTestFolder::ReadFile(damaged), "<cvprofile><ShowTips>0");
    EXPECT_NE(TTestFolder::ReadFile(DataFolder() + "settings1.xml").find("<ShowTips>1</ShowTips>"), std::string::npos);
}

TEST(TipsStateTest, ShowsTipsInTurnAndStartsOverAfterTheLast) {
    TTestFolder scratch;
    const std::string path = scratch.WriteFile("tips.txt", "one\r\ntwo\nthree\n");
    TTipsState tips(path);
    ASSERT_TRUE(tips.ShowTip(3)); // LastTip after the last tip
    EXPECT_EQ(tips.Text(), "one");
    ASSERT_TRUE(tips.Next());
    EXPECT_EQ(tips.Text(), "two");
    ASSERT_TRUE(tips.ShowTip(2));
    EXPECT_EQ(tips.NextLastTip(), 3);
    ASSERT_TRUE(tips.Next());
    EXPECT_EQ(tips.Text(), "one");
    ASSERT_TRUE(tips.ShowTip(-4)); // a damaged LastTip
    EXPECT_EQ(tips.ShownTip(), 0);

    std::filesystem::remove(path);
    EXPECT_FALSE(tips.Next()); // the file went away: the shown tip stays
    EXPECT_EQ(tips.Text(), "one");
    EXPECT_EQ(tips.NextLastTip(), 1);
}

TEST(TipsStateTest, WithoutATipsFileNothingIsShown) {
    TTestFolder scratch;
    for (const std::string& path : {scratch.Path() + "missing.txt", scratch.WriteFile("empty.txt", "")}) {
        TTipsState tips(path);
        EXPECT_FALSE(tips.ShowTip(0));
        EXPECT_EQ(tips.Text(), "");
        EXPECT_EQ(tips.NextLastTip(), 0);
    }
}

} // namespace
