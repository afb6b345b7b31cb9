// Reading a profile's logs: the file set, directives of extended logs, the date cache.

#include "profile/u_qvprofile.h"

#include "core/LogEntry.h"
#include "sources/CUtils.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

class ProfileLogTest : public ::testing::Test {
protected:
    // Every delivered line as (file field, date).
    std::vector<std::pair<std::string, TDateTime>> ReadAll() {
        Profile.OpenLogFiles();
        std::vector<std::pair<std::string, TDateTime>> lines;
        while (Profile.NextLogEntry())
            lines.emplace_back(Profile.LineParser.Field('f'), Profile.CurrentDate);
        return lines;
    }
    TDateTime Day(int y, int m, int d) {
        TDateTime t = 0;
        TryEncodeDate(y, m, d, t);
        return t;
    }
    TSandbox Sandbox;
    TQVProfile Profile;
};

TEST_F(ProfileLogTest, ExtendedLogsFollowTheirDirectivesAcrossRestarts) {
    Sandbox.Folder.WriteFile("w3c/ex0203.log",
                             "#Software: Microsoft Internet Information Services 5.0\r\n#Version: 1.0\r\n"
                             "#Date: 2002-03-04 00:00:01\r\n#Fields: time c-ip cs-method cs-uri-stem sc-status\r\n"
                             "00:00:01 1.2.3.4 GET /a.htm 200\r\n"
                             "#Remark: restarted\r\n"
                             "10:00:00 1.2.3.4 GET /b.htm 200\r\n"
                             "#Date: 2002-03-05 08:00:00\r\n"
                             "08:00:01 1.2.3.4 GET /skipped.htm 200\r\n"
                             "#Fields: date time c-ip cs-uri-stem cs-uri-query\r\n"
                             "2002-03-06 08:00:02 5.6.7.8 /c.asp id=1\r\n"
                             "08:00:03 5.6.7.8 /not-matching\r\n");
    Sandbox.Folder.WriteFile("common/access.log",
                             "1.2.3.4 - - [10/Oct/2003:13:55:36 -0700] \"GET /d.htm HTTP/1.0\" 200 1 \"-\" \"x\"\n");
    Profile.LogPaths = {Sandbox.Folder.Path() + "w3c", Sandbox.Folder.Path() + "common/"};
    const auto lines = ReadAll();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::make_pair(std::string("/a.htm"), Day(2002, 3, 4)));
    EXPECT_EQ(lines[1], std::make_pair(std::string("/b.htm"), Day(2002, 3, 4)));
    EXPECT_EQ(lines[2], std::make_pair(std::string("/c.asp"), Day(2002, 3, 6)));
    // The common log that follows is read with the extended layout, not its own.
    for (size_t i = 3; i < lines.size(); ++i)
        EXPECT_NE(lines[i].first, "/d.htm");
    EXPECT_EQ(Profile.LineParser.Format(), "%y-%m-%d %h:%n:%s %H %f %q");
    EXPECT_EQ(Profile.LogFormat, kDefaultLogFormat); // the setting itself is untouched

    // A new pass starts again from the profile's own format.
    Profile.LogPaths = {Sandbox.Folder.Path() + "common/"};
    const auto again = ReadAll();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0], std::make_pair(std::string("/d.htm"), Day(2003, 10, 10)));
}

TEST_F(ProfileLogTest, CommonLogsWithCrLfAndJunkLines) {
    Sandbox.Folder.WriteFile("logs/access.log",
                             "1.2.3.4 - - [10/Oct/2003:13:55:36 -0700] \"GET /a HTTP/1.0\" 200 1 \"-\" \"x\"\r\n"
                             "\r\n"
                             "garbage line\r\n"
                             "1.2.3.4 - - [32/Oct/2003:13:55:36 -0700] \"GET /b HTTP/1.0\" 200 1 \"-\" \"x\"\r\n"
                             "1.2.3.4 - - [11/Oct/2003:00:00:00 -0700] \"GET /c HTTP/1.0\" 200 1 \"-\" \"x\"");
    Profile.LogPaths = {Sandbox.Folder.Path() + "logs"};
    const auto lines = ReadAll();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].second, Day(2003, 10, 10));
    EXPECT_EQ(lines[1], std::make_pair(std::string("/b"), TDateTime(0))); // an impossible date is still delivered
    EXPECT_EQ(lines[2], std::make_pair(std::string("/c"), Day(2003, 10, 11)));

    // The parsed line turns into an entry with the profile's options.
    TLogEntry entry;
    entry.AssignFrom(Profile.LineParser,
                     {Profile.CaseSensitive, Profile.ParamType, Profile.Timezone, Profile.CurrentDate});
    EXPECT_TRUE(entry.Valid);
    EXPECT_EQ(entry.Path(), "/c");
}

TEST_F(ProfileLogTest, ExtensionFilterAndIgnoredFilesChooseTheFiles) {
    const std::string line = "1.2.3.4 - - [10/Oct/2003:13:55:36 -0700] \"GET /%s HTTP/1.0\" 200 1 \"-\" \"x\"\n";
    for (const char* name : {"access_log", "a.txt", "B.LOG", "old.log"})
        Sandbox.Folder.WriteFile(std::string("logs/") + name, ReplaceAll(line, "%s", name));
    Profile.LogPaths = {Sandbox.Folder.Path() + "logs/"};
    Profile.OpenExt = true;
    Profile.RptIgnoredFiles = {Sandbox.Folder.Path() + "logs/OLD.log"}; // case is ignored
    std::vector<std::string> files;
    for (const auto& [file, date] : ReadAll())
        files.push_back(file);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"/B.LOG", "/access_log"}));
}

// Each folder or file that cannot be read is one warning, in the order of the folders, and
// the rest is read; with nothing readable one more warning names the folders looked in.
TEST_F(ProfileLogTest, WhatCannotBeReadIsWarnedAboutAndTheRestIsRead) {
    const std::string root = Sandbox.Folder.Path();
    Sandbox.Folder.WriteFile("good/access.log",
                             "1.2.3.4 - - [10/Oct/2003:13:55:36 -0700] \"GET /a HTTP/1.0\" 200 1 \"-\" \"x\"\n");
    Sandbox.Folder.WriteFile("empty/.keep", "");
    const std::string locked = Sandbox.Folder.WriteFile("locked/secret.log", "x\n");
    chmod(locked.c_str(), 0);
    const bool modeStopsReading = access(locked.c_str(), R_OK) != 0; // not so for root

    const struct {
        std::vector<std::string> Folders;
        size_t Lines;
        std::vector<std::string> Warnings; // "$" stands for the sandbox folder
        bool NeedsModeToStopReading = false;
    } cases[] = {
        {{"missing", "good"}, 1, {"$missing/: log folder not found"}},
        {{"good/access.log", "good"}, 1, {"$good/access.log/: not a folder"}},
        {{"locked", "good"}, 1, {"$locked/secret.log: cannot open the log file (Permission denied)"}, true},
        {{"missing", "empty"}, 0, {"$missing/: log folder not found", "no readable log file in $missing/, $empty/"}},
    };
    for (const auto& c : cases) {
        if (c.NeedsModeToStopReading && !modeStopsReading) continue;
        Profile.LogPaths.clear();
        for (const std::string& folder : c.Folders)
            Profile.LogPaths.push_back(root + folder);
        EXPECT_EQ(ReadAll().size(), c.Lines) << c.Folders[0];
        std::vector<std::string> expected;
        for (const std::string& w : c.Warnings)
            expected.push_back(ReplaceAll(w, "$", root));
        EXPECT_EQ(Profile.LogReader.Warnings, expected);
    }
}

} // namespace
