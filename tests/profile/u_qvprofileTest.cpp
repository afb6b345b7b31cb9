#include "profile/u_qvprofile.h"

#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <limits>
#include <type_traits>
#include <variant>

namespace {

TDateTime Day(int y, int m, int d) {
    TDateTime t = 0;
    EXPECT_TRUE(TryEncodeDate(y, m, d, t));
    return t;
}

// Sets the setting to a value unlike its default that a save keeps: numbers within their
// bounds, texts already ending in ";", lists of two entries.
void SetAwayFromDefault(TQVProfile& profile, const TProfileSetting& setting) {
    std::visit(
        [&](auto field) {
            using F = decltype(field);
            if constexpr (std::is_same_v<F, TEnabledGroupsField>) {
                profile.AddGroupName("Images");
                profile.AddGroupName("Hosts");
            } else if constexpr (std::is_same_v<F, TExtGroupsField>) {
                profile.SetExtGroups({{"Scripts", "CGI;PL;", true}, {"Sounds", "MP3;", false}});
            } else if constexpr (std::is_same_v<F, TChartColorField>) {
                profile.Color[field.Index] ^= 0x123456;
            } else {
                auto& value = profile.*field;
                using V = std::remove_cvref_t<decltype(value)>;
                const std::string text = std::string(setting.Key) + " value;";
                if constexpr (std::is_same_v<V, std::string>)
                    value = text;
                else if constexpr (std::is_same_v<V, std::vector<std::string>>)
                    value = {text + "1", text + "2"};
                else if constexpr (std::is_same_v<V, bool>)
                    value = setting.Default == 0;
                else if constexpr (std::is_same_v<V, TDateTime>)
                    value = 40000;
                else if constexpr (std::is_same_v<V, TColor>)
                    value ^= 0x123456;
                else
                    value = setting.Default < std::min<int64_t>(setting.Hi, std::numeric_limits<V>::max())
                                ? static_cast<V>(setting.Default + 1)
                                : static_cast<V>(setting.Default - 1);
            }
        },
        setting.Field);
}

class QVProfileTest : public ::testing::Test {
protected:
    std::string WriteRecord(const std::string& name, const std::string& body) {
        return Sandbox.Folder.WriteFile("data/Corvantis/Quorvel/profiles/" + name + ".xml",
                                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<cvprofile>\r\n" + body +
                                            "</cvprofile>\r\n");
    }
    TSandbox Sandbox;
    TQVProfile Profile;
};

TEST_F(QVProfileTest, ARecordWithoutKeysReadsAsDefaults) {
    WriteRecord("bare", "<CreationDate>37316</CreationDate>\r\n<profile_version>1</profile_version>\r\n");
    ASSERT_TRUE(Profile.Load("bare"));
    EXPECT_EQ(Profile.CreationDate, 37316);
    EXPECT_EQ(Profile.LogPaths, std::vector<std::string>{"%mydocuments%/logs/"});
    EXPECT_EQ(Profile.LogExts, "log;gz;zip;");
    EXPECT_EQ(Profile.LogFormat, kDefaultLogFormat);
    EXPECT_EQ(Profile.TemplateName, "CV - Menu - IE");
    EXPECT_EQ(Profile.Color[0], 0xFF0000u);
    EXPECT_EQ(Profile.Color[3], 0xC0C0C0u);
    EXPECT_EQ(Profile.BGColor, 0xFFFFFFu);
    EXPECT_EQ(Profile.RptRangeType, rtUnlimited);
    EXPECT_EQ(Profile.RptPurgeParam1, "0.5");
    EXPECT_EQ(Profile.RptIncludedSections, kAllSections);
    EXPECT_TRUE(Profile.CaseSensitive);
    EXPECT_EQ(Profile.ExtGroupCount(), 0);
}

TEST_F(QVProfileTest, SavedSettingsReadBackWithTheirNormalisations) {
    Profile.InitNew();
    Profile.SetName("My Site");
    EXPECT_EQ(Profile.Name, "MySite");
    EXPECT_EQ(Profile.ExtGroupCount(), 3); // a new profile gets the default extension groups
    Profile.LogPaths = {"/srv/logs/a/", "/srv/logs/b/"};
    Profile.LogExts = "log;txt";
    Profile.ParamList = "id";
    Profile.UrlTrack = {"/purchase.htm"};
    Profile.AddGroupName("Images");
    Profile.AddGroupName("images"); // names are unique without regard to case
    Profile.AddGroupName("Crawlers");
    Profile.Color[1] = 0x123456; // no standard name
    Profile.BGColor = 0x008080;  // Olive
    Profile.RptIgnoredFiles = {"/srv/logs/a/old.log"};
    Profile.Timezone = -5;
    Profile.FilterName = "robots";
    ASSERT_TRUE(Profile.Save());

    TQVProfile loaded;
    ASSERT_TRUE(loaded.Load("mysite"));
    EXPECT_EQ(loaded.LogPaths, Profile.LogPaths);
    EXPECT_EQ(loaded.LogExts, "log;txt;");
    EXPECT_EQ(loaded.ParamList, "id;");
    EXPECT_EQ(loaded.UrlTrack, Profile.UrlTrack);
    ASSERT_EQ(loaded.GroupCount(), 2);
    EXPECT_EQ(loaded.GroupName(1), "Crawlers");
    EXPECT_EQ(loaded.Color[1], 0x123456u);
    EXPECT_EQ(loaded.BGColor, 0x008080u);
    EXPECT_EQ(loaded.RptIgnoredFiles, Profile.RptIgnoredFiles);
    EXPECT_EQ(loaded.Timezone, -5);
    EXPECT_EQ(loaded.FilterName, "robots");
    ASSERT_EQ(loaded.ExtGroupCount(), 3);
    EXPECT_EQ(loaded.GetExtGroup(2)->Name, "File downloads");
    EXPECT_EQ(loaded.GetExtGroup(3), nullptr);
    EXPECT_EQ(loaded.PathExtensions(), "HTM;HTML;SHTML;DHTML;PHP;ZIP;EXE;TXT;");
    EXPECT_TRUE(loaded.IsPathExtension("html"));
    EXPECT_TRUE(loaded.IsPathExtension("TML")); // a plain substring test
    EXPECT_FALSE(loaded.IsPathExtension("GIF"));
}

// The table drives reading, writing and defaults: every setting away from its default is
// written in the known record form and reads back the same.
TEST_F(QVProfileTest, EverySettingOfTheTableReadsBackAsWritten) {
    Profile.InitNew();
    Profile.SetName("every");
    Profile.CreationDate = 40000;
    for (const TProfileSetting& setting : ProfileSettings())
        SetAwayFromDefault(Profile, setting);
    ASSERT_TRUE(Profile.Save());
    EXPECT_EQ(TTestFolder::ReadFile(DataFolder() + "profiles/every.xml"),
              TTestFolder::ReadFile(TestDataFolder() + "profile/every_setting.xml"));

    TQVProfile loaded;
    ASSERT_TRUE(loaded.Load("every"));
    const TQVProfile defaults;
    for (const TProfileSetting& setting : ProfileSettings()) {
        EXPECT_NE(Profile.SettingText(setting), defaults.SettingText(setting)) << setting.Key;
        EXPECT_EQ(loaded.SettingText(setting), Profile.SettingText(setting)) << setting.Key;
    }
    // SetDefaults brings back every default but those it leaves alone.
    loaded.SetDefaults();
    for (const TProfileSetting& setting : ProfileSettings())
        EXPECT_EQ(loaded.SettingText(setting), (setting.KeptByDefaults ? Profile : defaults).SettingText(setting))
            << setting.Key;
}

// A profile counts its pages from the moment its extension groups change, not only once
// it has been saved and read again.
TEST_F(QVProfileTest, PathExtensionsFollowTheExtensionGroupsAtOnce) {
    Profile.InitNew();
    EXPECT_TRUE(Profile.IsPathExtension("HTML"));
    EXPECT_TRUE(Profile.IsPathExtension("zip"));
    Profile.AddExtGroup("Scripts", "cgi;", true);
    Profile.AddExtGroup("Sounds", "MP3;", false);
    EXPECT_TRUE(Profile.IsPathExtension("CGI"));
    EXPECT_FALSE(Profile.IsPathExtension("MP3"));
    Profile.DeleteExtGroup(0);
    EXPECT_FALSE(Profile.IsPathExtension("HTML"));
    EXPECT_EQ(Profile.PathExtensions(), "ZIP;EXE;TXT;CGI;");
    Profile.SetDefaults();
    EXPECT_FALSE(Profile.IsPathExtension("ZIP"));
    Profile.SetNewDefaults();
    EXPECT_TRUE(Profile.IsPathExtension("HTML"));
}

TEST_F(QVProfileTest, StoredTextsAreNormalisedOnRead) {
    WriteRecord("odd", "<profile_version>1</profile_version>\r\n<LogPaths>\r\n</LogPaths>\r\n<LogExts></LogExts>\r\n"
                       "<Color1>Navy</Color1>\r\n<Color2></Color2>\r\n<Color3>clLime</Color3>\r\n"
                       "<Color4>0BBGGRR</Color4>\r\n<RptRangeType>0</RptRangeType>\r\n");
    ASSERT_TRUE(Profile.Load("odd"));
    EXPECT_EQ(Profile.LogPaths, std::vector<std::string>{"%mydocuments%/logs/"});
    EXPECT_EQ(Profile.LogExts, "");
    EXPECT_EQ(Profile.Color[0], 0x800000u);
    EXPECT_EQ(Profile.Color[1], 0xFFFFFFu); // empty reads as white
    EXPECT_EQ(Profile.Color[2], 0x00FF00u);
    EXPECT_EQ(Profile.Color[3], 0xC0C0C0u);   // unreadable: the default
    EXPECT_EQ(Profile.RptStartDate, Today()); // range dates are recomputed at every read
}

TEST_F(QVProfileTest, FieldsThatDefaultsLeaveAloneCarryOverBetweenLoads) {
    WriteRecord("a", "<profile_version>1</profile_version>\r\n<FilterName>robots</FilterName>\r\n"
                     "<RptRangeType>9</RptRangeType>\r\n<RptStartDate>37316</RptStartDate>\r\n");
    WriteRecord("b", "<profile_version>1</profile_version>\r\n");
    ASSERT_TRUE(Profile.Load("a"));
    ASSERT_TRUE(Profile.Load("b"));
    EXPECT_EQ(Profile.FilterName, "robots");
    EXPECT_EQ(Profile.RptStartDate, 37316);
    EXPECT_EQ(Profile.RptRangeType, rtUnlimited);
}

TEST_F(QVProfileTest, RangeTypesFollowTheCalendar) {
    struct Case {
        uint8_t type;
        TDateTime today, start, end;
    };
    const Case cases[] = {
        {rtToday, Day(2002, 3, 6), Day(2002, 3, 6), Day(2002, 3, 6)},
        {rtYesterday, Day(2002, 3, 1), Day(2002, 2, 28), Day(2002, 2, 28)},
        {rtThisWeek, Day(2002, 3, 6), Day(2002, 3, 3), Day(2002, 3, 9)}, // a Wednesday
        {rtLastWeek, Day(2002, 3, 6), Day(2002, 2, 24), Day(2002, 3, 2)},
        {rtLastWeek, Day(2002, 3, 3), Day(2002, 2, 24), Day(2002, 3, 2)}, // a Sunday
        {rtThisMonth, Day(2004, 2, 10), Day(2004, 2, 1), Day(2004, 2, 29)},
        {rtLastMonth, Day(2002, 3, 31), Day(2002, 2, 1), Day(2002, 2, 28)},
        {rtLastMonth, Day(2002, 1, 15), Day(2001, 12, 1), Day(2001, 12, 31)},
        {rtThisYear, Day(2002, 3, 6), Day(2002, 1, 1), Day(2002, 12, 31)},
        {rtLastYear, Day(2002, 3, 6), Day(2001, 1, 1), Day(2001, 12, 31)},
    };
    for (const Case& c : cases) {
        Profile.SetRangeType(c.type, c.today + 0.75);
        EXPECT_EQ(Profile.RptStartDate, c.start) << int(c.type) << " " << c.today;
        EXPECT_EQ(Profile.RptEndDate, c.end) << int(c.type) << " " << c.today;
    }
    Profile.RptStartDate = 1;
    Profile.RptEndDate = 2;
    Profile.SetRangeType(rtCustom, Day(2002, 3, 6));
    EXPECT_EQ(Profile.RptStartDate, 1);
    EXPECT_EQ(Profile.RptEndDate, 2);
}

TEST_F(QVProfileTest, RowKeptByPurgeType) {
    struct Case {
        int type;
        const char* param1;
        int64_t count, total;
        int rank;
        bool kept;
    };
    const Case cases[] = {
        {0, "0.5", 1, 0, 0, true},   {0, "0.5", 1, 4, 0, false}, {0, "0.5", 2, 4, 0, true}, {0, "0,25", 1, 4, 0, true},
        {0, "junk", 1, 4, 0, false}, {0, "junk", 3, 4, 0, true}, {1, "", 25, 100, 0, true}, {1, "", 24, 100, 0, false},
        {2, "", 0, 0, 49, true},     {2, "", 0, 0, 50, false},   {3, "", 0, 9, 999, true},  {7, "", 9, 9, 0, false},
    };
    for (const Case& c : cases) {
        Profile.RptPurgeType = c.type;
        Profile.RptPurgeParam1 = c.param1;
        EXPECT_EQ(Profile.RowKept(c.count, c.total, c.rank), c.kept)
            << c.type << " " << c.param1 << " " << c.count << "/" << c.total << " #" << c.rank;
    }
}

TEST_F(QVProfileTest, VersionZeroProfilesAreConvertedAndWrittenBack) {
    WriteRecord("old", "<CreationDate>37000</CreationDate>\r\n<LogPathsCount>2</LogPathsCount>\r\n"
                       "<LogPaths0>/logs/a/</LogPaths0>\r\n<LogPaths1>/logs/b/</LogPaths1>\r\n"
                       "<UrlTrackCount>1</UrlTrackCount>\r\n<UrlTrack0>/buy.htm</UrlTrack0>\r\n"
                       "<GroupCount>1</GroupCount>\r\n<GroupName0>My Images!</GroupName0>\r\n"
                       "<GroupType0>1</GroupType0>\r\n<GroupField0>0</GroupField0>\r\n"
                       "<GroupMembers0>*.gif;*.png;</GroupMembers0>\r\n<GroupEnabled0>1</GroupEnabled0>\r\n");
    ASSERT_TRUE(Profile.Load("old"));
    EXPECT_EQ(Profile.Version, 1);
    EXPECT_EQ(Profile.LogPaths, (std::vector<std::string>{"/logs/a/", "/logs/b/"}));
    EXPECT_EQ(Profile.UrlTrack, std::vector<std::string>{"/buy.htm"});
    ASSERT_EQ(Profile.GroupCount(), 1);
    EXPECT_EQ(Profile.GroupName(0), "MyImages");
    TQVGroup* group = Profile.GetGroup(0);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->DisplayName, "My Images!");
    EXPECT_EQ(group->GroupingType, gtAverage);
    EXPECT_TRUE(group->Matches("/a.GIF"));

    // The converted profile was saved in the current form: it reads the same again.
    const std::string text = TTestFolder::ReadFile(Sandbox.Folder.Path() + "data/Corvantis/Quorvel/profiles/old.xml");
    EXPECT_EQ(text.find("LogPathsCount"), std::string::npos);
    TQVProfile again;
    ASSERT_TRUE(again.Load("old"));
    EXPECT_EQ(again.LogPaths, Profile.LogPaths);
    EXPECT_EQ(again.GroupName(0), "MyImages");
}

// Counts no real profile reaches are held to their limits, and reading stays linear.
TEST_F(QVProfileTest, HundredThousandExtensionGroupsLoadFastHeldToTheLimit) {
    std::string body = "<profile_version>1</profile_version>\r\n";
    for (int i = 0; i < 100000; ++i)
        body += "<ExtGrpName" + std::to_string(i) + ">g</ExtGrpName" + std::to_string(i) + ">\r\n";
    body += "<ExtGrpCount>100000</ExtGrpCount>\r\n";
    WriteRecord("huge", body);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Profile.Load("huge"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(Profile.ExtGroupCount(), TQVProfile::kMaxExtGroups);

    // The groups beyond the limit are the profile's own keys, not unknown ones kept for it.
    ASSERT_TRUE(Profile.Save());
    const std::string text = TTestFolder::ReadFile(DataFolder() + "profiles/huge.xml");
    const std::string last = "ExtGrpName" + std::to_string(TQVProfile::kMaxExtGroups - 1) + ">";
    EXPECT_NE(text.find("<" + last), std::string::npos);
    EXPECT_EQ(text.find("<ExtGrpName" + std::to_string(TQVProfile::kMaxExtGroups) + ">"), std::string::npos);
}

TEST_F(QVProfileTest, VersionZeroProfileWithTwoThousandGroupsConvertsBoundedAndFast) {
    std::string body;
    for (int i = 0; i < 2000; ++i) {
        const std::string n = std::to_string(i);
        body += "<GroupName" + n + ">group " + n + "</GroupName" + n + "><GroupMembers" + n + ">*.g" + n +
                "</GroupMembers" + n + "><GroupEnabled" + n + ">1</GroupEnabled" + n + ">\r\n";
    }
    body += "<GroupCount>2000</GroupCount>\r\n";
    WriteRecord("old", body);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Profile.Load("old"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(Profile.GroupCount(), TQVProfile::kMaxUrlGroups);
    const auto files = std::distance(std::filesystem::directory_iterator(DataFolder() + "groups"),
                                     std::filesystem::directory_iterator());
    EXPECT_EQ(files, TQVProfile::kMaxUrlGroups);
    ASSERT_NE(Profile.GetGroup(7), nullptr);
    EXPECT_TRUE(Profile.GetGroup(7)->Matches("/a.g7"));
    const std::string text = TTestFolder::ReadFile(DataFolder() + "profiles/old.xml");
    EXPECT_EQ(text.find("GroupName"), std::string::npos); // the flat keys were converted, not kept
}

// Numbers beyond their field's range are held to it, not wrapped, and stay so when saved.
TEST_F(QVProfileTest, OutOfRangeNumbersAreHeldToTheirRange) {
    WriteRecord("wide", "<profile_version>1</profile_version>\r\n<FTPPort>99999999999</FTPPort>\r\n"
                        "<Timezone>-99999999999</Timezone>\r\n<ChartRenderer>300</ChartRenderer>\r\n"
                        "<ParamType>-1</ParamType>\r\n<VisitTimeout>0</VisitTimeout>\r\n"
                        "<RptIncludedSections>-2</RptIncludedSections>\r\n");
    ASSERT_TRUE(Profile.Load("wide"));
    ASSERT_TRUE(Profile.Save());
    TQVProfile loaded;
    ASSERT_TRUE(loaded.Load("wide"));
    struct Case {
        const char* key;
        int64_t value, expected;
    };
    const Case cases[] = {
        {"FTPPort", loaded.FTPPort, std::numeric_limits<int32_t>::max()},
        {"Timezone", loaded.Timezone, std::numeric_limits<int32_t>::min()},
        {"ChartRenderer", loaded.ChartRenderer, 255},
        {"ParamType", loaded.ParamType, 0},
        {"VisitTimeout", loaded.VisitTimeout, 1},                // at least a minute
        {"RptIncludedSections", loaded.RptIncludedSections, -2}, // in range: as it was
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.value, c.expected) << c.key;
}

TEST_F(QVProfileTest, ReportFolderAndIgnoredFiles) {
    Profile.InitNew();
    Profile.SetName("site");
    EXPECT_EQ(Profile.ReportFolder(), DataFolder() + "reports/site/");
    Profile.AltReportDest = true;
    Profile.ReportDest = "%MyDocuments%/web reports";
    EXPECT_EQ(Profile.ReportFolder(), SpecialFolder(5, 2) + "/web reports/");

    Profile.RptIgnoredFiles = {"%MYDOCUMENTS%/logs/Old.log"};
    EXPECT_FALSE(Profile.IsLogFileSelected("%mydocuments%/logs/old.log"));
    EXPECT_FALSE(Profile.IsLogFileSelected(SpecialFolder(5, 2) + "/logs/OLD.LOG"));
    EXPECT_TRUE(Profile.IsLogFileSelected("%mydocuments%/logs/new.log"));
}

TEST_F(QVProfileTest, FindGroupTakesTheFirstEnabledGroupOfTheField) {
    for (const auto& [name, field, members] :
         {std::tuple{"ImagesA", gfFilename, "*.gif;"}, std::tuple{"Hosts", gfHost, "192.168.*;"},
          std::tuple{"ImagesB", gfFilename, "*.gif;*.png;"}}) {
        TQVGroup g;
        g.InitNew();
        g.SetName(name);
        g.FieldOfEffect = field;
        g.SetMembers(members);
        ASSERT_TRUE(g.Save());
    }
    Profile.AddGroupName("Hosts");
    Profile.AddGroupName("ImagesA");
    Profile.AddGroupName("ImagesB");
    Profile.AddGroupName("Missing");
    EXPECT_EQ(Profile.FindGroup("/a.gif", gfFilename)->Name, "ImagesA");
    EXPECT_EQ(Profile.FindGroup("/a.png", gfFilename)->Name, "ImagesB");
    EXPECT_EQ(Profile.FindGroup("192.168.1.1", gfHost)->Name, "Hosts");
    EXPECT_EQ(Profile.FindGroup("192.168.1.1", gfFilename), nullptr);
    EXPECT_EQ(Profile.GetGroup(9), nullptr);
}

} // namespace
