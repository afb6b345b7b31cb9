#include "report/ReportStaging.h"

#include "report/ReportHeaders.h"
#include "sources/FileUtils.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The id of a process that has ended.
std::string EndedProcess() {
    const pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return std::to_string(pid);
}

TEST(ReportStagingTest, LeftoversOfEndedRunsAreRemovedOrPutBack) {
    TTestFolder t;
    const std::string dead = EndedProcess(), alive = std::to_string(getpid());
    t.WriteFile(".quorvel-new." + dead + ".1/TOC.htm", "half");
    t.WriteFile(".quorvel-new." + alive + ".1/TOC.htm", "still being made");
    // A swap cut short between its renames: the old report is put back where it was missing...
    t.WriteFile(".quorvel-old." + dead + ".7.Report for May/params.ini", "[OPTS]\nCreationDate=1\n");
    // ...and dropped where a newer report took its place.
    t.WriteFile(".quorvel-old." + dead + ".8.Report for June/params.ini", "[OPTS]\nCreationDate=1\n");
    t.WriteFile("Report for June/params.ini", "[OPTS]\nCreationDate=2\n");
    t.WriteFile(".quorvel-new.notapid/x", "other");

    CleanReportBase(t.Path());

    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(t.Path()))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{".quorvel-new." + alive + ".1", "Report for May", "Report for June",
                                            ".quorvel-new.notapid"}));
    EXPECT_EQ(ReadReportParam(t.Path() + "Report for June/", "CreationDate"), "2");
}

TEST(ReportStagingTest, OnlyReportsAndEmptyFoldersAreReplaced) {
    TTestFolder t;
    t.WriteFile("report/params.ini", "[OPTS]\nDefaultFile=index.htm\nCreationDate=45000\n");
    t.WriteFile("template-only/params.ini", "[OPTS]\nDefaultFile=index.htm\n");
    t.WriteFile("photos/a.jpg", "mine");
    fs::create_directory(t.Path() + "empty");
    fs::create_directory_symlink(t.Path() + "report", t.Path() + "link");
    for (const auto& [name, replaceable] : {std::pair{"report", true},
                                            {"empty", true},
                                            {"template-only", false},
                                            {"photos", false},
                                            {"link", false},
                                            {"missing", false}})
        EXPECT_EQ(IsReplaceableReport(t.Path() + name), replaceable) << name;

    // A commit swaps the new report in and the old one out; an uncommitted one leaves nothing.
    {
        TReportStaging staging;
        ASSERT_TRUE(staging.Begin(t.Path() + "report/", nullptr));
        t.WriteFile(staging.Path().substr(t.Path().size()) + "params.ini", "[OPTS]\nCreationDate=45001\n");
        ASSERT_TRUE(staging.Commit(nullptr));
    }
    {
        TReportStaging abandoned;
        ASSERT_TRUE(abandoned.Begin(t.Path() + "report/", nullptr));
        TReportStaging refused;
        ASSERT_TRUE(refused.Begin(t.Path() + "photos/", nullptr));
        std::string error;
        EXPECT_FALSE(refused.Commit(&error));
        EXPECT_NE(error.find("not a report"), std::string::npos) << error;
    }
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(t.Path()))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"report", "template-only", "photos", "empty", "link"}));
    EXPECT_EQ(ReadReportParam(t.Path() + "report/", "CreationDate"), "45001");
    EXPECT_TRUE(FileExists(t.Path() + "photos/a.jpg"));

    // A report being made is never listed among the archived ones.
    TReportStaging running;
    ASSERT_TRUE(running.Begin(t.Path() + "report/", nullptr));
    t.WriteFile(running.Path().substr(t.Path().size()) + "params.ini", "[OPTS]\n");
    EXPECT_EQ(ListReportFolders(t.Path()), (std::vector<std::string>{"link", "report", "template-only"}));
}

} // namespace
