#include "profile/ProfileHeaders.h"

#include "profile/u_qvprofile.h"
#include "sources/SpecialFolders.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::string Row(const TProfileHeader& h) {
    return h.ProfileName + "|" + h.TemplateName + "|" + h.ReportFolder + "|" + (h.FilterOn ? "on" : "off") + "|" +
           (h.FtpOn ? "on" : "off") + "|" + std::to_string(static_cast<int>(h.CreationDate)) + "|" +
           std::to_string(static_cast<int>(h.LastReportDate));
}

TEST(ProfileHeadersTest, EveryRecordIsListedAndAnUnreadableOneWithDefaultsUnderItsName) {
    TSandbox sandbox;
    const auto record = [&](const std::string& name, const std::string& body) {
        sandbox.Folder.WriteFile("data/Corvantis/Quorvel/profiles/" + name + ".xml",
                                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<cvprofile>\r\n"
                                 "<CreationDate>40000</CreationDate>\r\n<profile_version>1</profile_version>\r\n" +
                                     body + "</cvprofile>\r\n");
    };
    record("shop", "<TemplateName>Plain</TemplateName>\r\n<EnableFilters>1</EnableFilters>\r\n"
                   "<LastReportDate>45001</LastReportDate>\r\n<AltReportDest>1</AltReportDest>\r\n"
                   "<ReportDest>/srv/reports</ReportDest>\r\n");
    record("blog", "<FTPAutoFetch>1</FTPAutoFetch>\r\n");
    sandbox.Folder.WriteFile("data/Corvantis/Quorvel/profiles/broken.xml", "not a record");
    const std::string currentName = CurrentProfile().Name;

    std::vector<TProfileHeader> headers = ListProfileHeaders();
    std::sort(headers.begin(), headers.end(), TProfileHeaderOrder{0});
    ASSERT_EQ(headers.size(), 3u);
    const std::string reports = DataFolder() + "reports/";
    EXPECT_EQ(Row(headers[0]), "blog|CV - Menu - IE|" + reports + "blog/|off|on|40000|0");
    EXPECT_EQ(Row(headers[2]), "shop|Plain|/srv/reports/|on|off|40000|45001");
    // The unreadable record keeps its row: a fresh profile's values, made now.
    EXPECT_EQ(Row(headers[1]), "broken|CV - Menu - IE|" + reports + "broken/|off|off|" +
                                   std::to_string(static_cast<int>(headers[1].CreationDate)) + "|0");
    EXPECT_GT(headers[1].CreationDate, 40000);
    EXPECT_EQ(CurrentProfile().Name, currentName);
}

TEST(ProfileHeadersTest, RowsSortByEachColumnAndDescendingReverses) {
    const std::vector<TProfileHeader> rows = {
        {"beta", "Plain", "", true, false, 40000, 45001},
        {"Alpha", "plain", "", false, true, 40002.2, 0},
        {"alpha", "Menu", "", false, false, 40001.9, 45000},
    };
    const struct {
        int32_t SortState;
        std::vector<std::string> Names; // ties keep the input order
    } cases[] = {
        {0, {"Alpha", "alpha", "beta"}},
        {0 + kSortDescending, {"beta", "alpha", "Alpha"}},
        {1, {"alpha", "beta", "Alpha"}},
        {2, {"Alpha", "alpha", "beta"}},
        {2 + kSortDescending, {"beta", "Alpha", "alpha"}},
        {3, {"beta", "alpha", "Alpha"}},
        {4, {"beta", "alpha", "Alpha"}},
        {5, {"Alpha", "alpha", "beta"}},
        {NextSortState(NextSortState(0, 5), 5), {"beta", "alpha", "Alpha"}},
    };
    for (const auto& c : cases) {
        std::vector<TProfileHeader> sorted = rows;
        std::stable_sort(sorted.begin(), sorted.end(), TProfileHeaderOrder{c.SortState});
        std::vector<std::string> names;
        for (const TProfileHeader& h : sorted)
            names.push_back(h.ProfileName);
        EXPECT_EQ(names, c.Names) << "sort state " << c.SortState;
    }
    // Dates compare by whole days.
    EXPECT_EQ(CompareDays(40000.9, 40000.1), 0);
    EXPECT_LT(CompareDays(40000.9, 40001.0), 0);
}

} // namespace
