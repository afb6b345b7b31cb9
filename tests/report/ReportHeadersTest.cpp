#include "report/ReportHeaders.h"

#include "profile/ProfileHeaders.h"
#include "support/EnvOverride.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

std::string Row(const TReportHeader& h) {
    return h.FolderName + "|" + h.DefaultFile + "|" + std::to_string(static_cast<int>(h.CreationDate)) + "|" +
           std::to_string(static_cast<int>(h.StartDate)) + "|" + std::to_string(static_cast<int>(h.EndDate));
}

TEST(ReportHeadersTest, ReportsAreTheVisibleFoldersWithParamsIniAndTheirDatesReadLeniently) {
    TTestFolder t;
    t.WriteFile("May 2024/params.ini", "; made by hand\r\n[OPTS]\r\nTemplateDesc=Menu\r\nDefaultFile=start.htm\r\n"
                                       "CreationDate=45444\r\nStartDate=45413\r\nEndDate=45443\r\n");
    t.WriteFile("No Start/params.ini",
                "[OTHER]\nStartDate=5\ngarbage line\n[OPTS]\nCreationDate=45450\nEndDate=soon\n");
    t.WriteFile("No Params/TOC.htm", "<html/>");
    t.WriteFile(".quorvel-new.1/params.ini", "[OPTS]\nCreationDate=1\n");
    t.WriteFile("params.ini", "[OPTS]\n");

    std::vector<std::string> rows;
    for (const TReportHeader& h : ListReportHeaders(t.Path()))
        rows.push_back(Row(h));
    EXPECT_EQ(rows, (std::vector<std::string>{"May 2024|start.htm|45444|45413|45443", "No Start|index.htm|45450|0|0"}));
    EXPECT_TRUE(ListReportHeaders(t.Path() + "missing/").empty());
}

TEST(ReportHeadersTest, RowsSortByEachColumnAndDescendingReverses) {
    const std::vector<TReportHeader> rows = {
        {"2024-05", "index.htm", 45444, 45413, 45443},
        {"2024-04", "index.htm", 45450, 45383, 45412},
        {"Report", "index.htm", 45400, 0, 45500},
    };
    const struct {
        int32_t SortState;
        std::vector<std::string> Names;
    } cases[] = {
        {0, {"2024-04", "2024-05", "Report"}}, {0 + kSortDescending, {"Report", "2024-05", "2024-04"}},
        {1, {"Report", "2024-04", "2024-05"}}, {2, {"2024-04", "2024-05", "Report"}},
        {3, {"Report", "2024-05", "2024-04"}}, {3 + kSortDescending, {"2024-04", "2024-05", "Report"}},
    };
    for (const auto& c : cases) {
        std::vector<TReportHeader> sorted = rows;
        std::sort(sorted.begin(), sorted.end(), TReportHeaderOrder{c.SortState});
        std::vector<std::string> names;
        for (const TReportHeader& h : sorted)
            names.push_back(h.FolderName);
        EXPECT_EQ(names, c.Names) << "sort state " << c.SortState;
    }
}

TEST(ReportHeadersTest, TemplatesNeedBothPageStylesheetsAndLanguagesAreTheLngFiles) {
    TSandbox sandbox;
    TEnvOverride home("QUORVEL_HOME", sandbox.Folder.Path() + "program");
    for (const char* file : {"Plain/main.xsl", "Plain/toc.xsl", "Menu/main.xsl", "Menu/toc.xsl", "Menu/params.ini",
                             "No Main/toc.xsl", "loose.xsl"})
        sandbox.Folder.WriteFile(std::string("program/templates/") + file, "<x/>");
    for (const char* file : {"german.lng", "english.lng", "notes.txt"})
        sandbox.Folder.WriteFile(std::string("program/lang/") + file, "line\n");

    EXPECT_EQ(ListTemplates(), (std::vector<std::string>{"Menu", "Plain"}));
    EXPECT_EQ(ListReportLanguages(), (std::vector<std::string>{"english", "german"}));
}

TEST(ReportHeadersTest, DeleteReportFolderRemovesOnlyTheReportAndNeverFollowsLinks) {
    namespace fs = std::filesystem;
    TTestFolder t;
    const std::string base = t.Path() + "reports/";
    const std::string outside = t.WriteFile("outside/marker.txt", "keep");
    t.WriteFile("reports/May/index.htm", "<html/>");
    t.WriteFile("reports/May/charts/c.svg", "<svg/>");
    fs::create_directory_symlink(t.Path() + "outside", base + "May/linked");
    fs::create_symlink(outside, base + "May/marker-link.txt");
    fs::create_directory_symlink(t.Path() + "outside", base + "Linked Report");
    t.WriteFile("reports/plain.txt", "x");

    const struct {
        std::string Name;
        bool Deleted;
    } cases[] = {{"", false},
                 {".", false},
                 {"..", false},
                 {"../outside", false},
                 {t.Path() + "outside", false},
                 {"Linked Report", false},
                 {"plain.txt", false},
                 {"Missing", false},
                 {"May", true}};
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(DeleteReportFolder(base, c.Name, &error), c.Deleted) << c.Name;
        EXPECT_EQ(error.empty(), c.Deleted) << c.Name << ": " << error;
    }
    EXPECT_FALSE(fs::exists(base + "May"));
    EXPECT_TRUE(fs::is_symlink(base + "Linked Report"));
    EXPECT_TRUE(fs::exists(base + "plain.txt"));
    EXPECT_EQ(TTestFolder::ReadFile(outside), "keep");
}

} // namespace
