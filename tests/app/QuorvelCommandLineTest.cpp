// The unattended program end to end: the built quorvel binary in a sandbox of its own
// (data folder, temporary folder and program folder), its exit status, its messages and
// the report it leaves.

#include "profile/u_qvprofile.h"
#include "sources/CUtils.h"
#include "sources/DateTime.h"
#include "sources/ExternalPrograms.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"
#include "support/EnvOverride.h"
#include "support/FtpServer.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class QuorvelCommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The program folder: the real data, linked entry by entry.
        const std::string home = Sandbox.Folder.Path() + "program/";
        fs::create_directories(home);
        for (const auto& entry : fs::directory_iterator(QUORVEL_SOURCE_DATA))
            fs::create_directory_symlink(entry.path(), home + entry.path().filename().string());
        setenv("QUORVEL_HOME", home.c_str(), 1);
    }
    void TearDown() override { unsetenv("QUORVEL_HOME"); }

    // Runs quorvel with the argument; returns its exit status and fills Output (stdout).
    int Run(const std::string& argument) {
        return RunHiddenAndCapture("\"" QUORVEL_BINARY "\" \"" + argument + "\"", true, &Output);
    }
    // Runs quorvel with the arguments; returns its exit status, fills Output and Errors (stderr).
    int RunWith(const std::vector<std::string>& arguments) {
        const std::string errors = Sandbox.Folder.Path() + "stderr.txt";
        std::string command = "/bin/sh -c \"exec '" QUORVEL_BINARY "'";
        for (const std::string& argument : arguments)
            command += " '" + argument + "'";
        const int status = RunHiddenAndCapture(command + " 2>'" + errors + "'\"", true, &Output);
        Errors = TTestFolder::ReadFile(errors);
        return status;
    }
    // Runs a shell script in the sandbox's folder "work/", with the program as $Q; returns the
    // script's status and fills Output and Errors.
    int RunScript(const std::string& script) {
        fs::create_directories(Sandbox.Folder.Path() + "work");
        const std::string errors = Sandbox.Folder.Path() + "stderr.txt";
        const std::string file =
            Sandbox.Folder.WriteFile("script.sh", "exec 2>'" + errors + "'\ncd '" + Sandbox.Folder.Path() +
                                                      "work' || exit 99\nQ='" QUORVEL_BINARY "'\n" + script);
        const int status = RunHiddenAndCapture("/bin/sh \"" + file + "\"", true, &Output);
        Errors = TTestFolder::ReadFile(errors);
        return status;
    }
    // The "Total Hits" figure of a report's summary page.
    static std::string TotalHits(const std::string& report) {
        const std::string general = TTestFolder::ReadFile(report + "general.htm");
        const size_t caption = general.find("Total Hits</td>");
        if (caption == std::string::npos) return "";
        const size_t cell = general.find("<td class=\"num\">", caption);
        return general.substr(cell + 16, general.find('<', cell + 16) - cell - 16);
    }
    // A profile reading the given log text.
    void MakeProfile(const std::string& name, const std::string& log) {
        Sandbox.Folder.WriteFile("logs-" + name + "/access.log", log);
        TQVProfile profile;
        profile.InitNew();
        profile.SetName(name);
        profile.LogPaths = {Sandbox.Folder.Path() + "logs-" + name + "/"};
        profile.UrlTrack = {"/buy.html"};
        ASSERT_TRUE(profile.Save());
    }

    TSandbox Sandbox;
    std::string Output, Errors;
    // The unattended run needs no display: none is there.
    TEnvOverride NoDisplay{"DISPLAY", std::nullopt};
    TEnvOverride NoWayland{"WAYLAND_DISPLAY", std::nullopt};
    TEnvOverride NoPlatform{"QT_QPA_PLATFORM", std::nullopt};
};

const char* const kLog =
    "1.1.1.1 - - [10/Oct/2003:10:00:00 +0000] \"GET /index.html HTTP/1.1\" 200 100 \"-\" \"Mozilla/5.0\"\n"
    "1.1.1.1 - - [10/Oct/2003:10:01:00 +0000] \"GET /buy.html HTTP/1.1\" 200 200 \"-\" \"Mozilla/5.0\"\n"
    "2.2.2.2 - - [11/Oct/2003:09:00:00 +0000] \"GET /index.html HTTP/1.1\" 404 0 \"-\" \"curl/8.0\"\n";

TEST_F(QuorvelCommandLineTest, HelpVersionAndWrongArguments) {
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(Output.find("Usage: quorvel [PROFILE]"), std::string::npos);
    EXPECT_EQ(Run("--version"), 0);
    EXPECT_EQ(Output.rfind("quorvel ", 0), 0u);
    EXPECT_EQ(Run("--bogus"), 64);
    // Without an argument the window would open; without a display the program says so.
    std::string errors;
    EXPECT_EQ(RunHiddenAndCapture("sh -c \"'" QUORVEL_BINARY "' 2>&1\"", true, &errors), 1);
    EXPECT_NE(errors.find("no display"), std::string::npos) << errors;
    EXPECT_NE(errors.find("quorvel PROFILE"), std::string::npos) << errors;
}

TEST_F(QuorvelCommandLineTest, ReportsAProfileAndRefusesWhatCannotWork) {
    EXPECT_EQ(Run("nosuchprofile"), 2);

    MakeProfile("site", kLog);
    ASSERT_EQ(Run("site"), 0) << Output;
    const std::string report = DataFolder() + "reports/site/Report for October/";
    EXPECT_NE(Output.find(report), std::string::npos) << Output;
    EXPECT_TRUE(FileExists(report + "TOC.htm"));
    EXPECT_EQ(ReadReportParam(report, "StartDate"), std::to_string(DayNumber(DateFromParts("2003", "Oct", "10"))));
    EXPECT_EQ(ReadReportParam(report, "EndDate"), std::to_string(DayNumber(DateFromParts("2003", "Oct", "11"))));
    // The summary page counts the three hits; the run's work folder is gone.
    const std::string general = TTestFolder::ReadFile(report + "general.htm");
    const size_t caption = general.find("Total Hits</td>");
    ASSERT_NE(caption, std::string::npos);
    EXPECT_EQ(general.substr(general.find("<td", caption + 10), 22), "<td class=\"num\">3</td>");
    for (const auto& entry : fs::directory_iterator(TempFolder()))
        ADD_FAILURE() << entry.path();
    TQVProfile stamped;
    ASSERT_TRUE(stamped.Load("site"));
    EXPECT_EQ(DayNumber(stamped.LastReportDate), DayNumber(Today()));

    // No data leaves the earlier report as it was.
    MakeProfile("empty", "no log line here\n");
    TQVProfile empty;
    ASSERT_TRUE(empty.Load("empty"));
    empty.ReportDest = DataFolder() + "reports/site/";
    empty.AltReportDest = true;
    ASSERT_TRUE(empty.Save());
    EXPECT_EQ(Run("empty"), 5);
    EXPECT_TRUE(FileExists(report + "TOC.htm"));

    TQVProfile broken;
    ASSERT_TRUE(broken.Load("site"));
    broken.TemplateName = "No Such Template";
    ASSERT_TRUE(broken.Save());
    EXPECT_EQ(Run("site"), 3);
    broken.TemplateName = "CV - Menu - IE";
    broken.ReportLanguage = "  ";
    ASSERT_TRUE(broken.Save());
    EXPECT_EQ(Run("site"), 4);
}

// A folder of ten thousand empty logs: the unattended run ends soon, saying there was no data.
TEST_F(QuorvelCommandLineTest, TenThousandEmptyLogsEndSoonWithNoData) {
    MakeProfile("hollow", "");
    for (int i = 0; i < 10000; ++i)
        Sandbox.Folder.WriteFile("logs-hollow/empty" + std::to_string(i) + ".log", "");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run("hollow"), 5);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

// A log folder that is missing beside a good one: the report is made from the good one and
// stderr names the missing folder.
TEST_F(QuorvelCommandLineTest, MissingLogFolderIsNamedAndTheReportIsMade) {
    MakeProfile("partial", kLog);
    TQVProfile profile;
    ASSERT_TRUE(profile.Load("partial"));
    const std::string missing = Sandbox.Folder.Path() + "no-such-logs/";
    profile.LogPaths.insert(profile.LogPaths.begin(), missing);
    ASSERT_TRUE(profile.Save());
    const std::string errors = Sandbox.Folder.Path() + "stderr.txt";
    EXPECT_EQ(RunHiddenAndCapture("/bin/sh -c \"exec '" QUORVEL_BINARY "' partial 2>'" + errors + "'\"", true, &Output),
              0)
        << Output;
    EXPECT_TRUE(FileExists(DataFolder() + "reports/partial/Report for October/TOC.htm"));
    const std::string messages = TTestFolder::ReadFile(errors);
    EXPECT_NE(messages.find("quorvel: " + missing + ": log folder not found"), std::string::npos) << messages;
}

// A profile that fetches its logs by FTP: the login comes from ~/.netrc, a refused one stops
// the run with status 8, and without a netrc the report is made from the local files.
TEST_F(QuorvelCommandLineTest, FetchesLogsByFtpWithTheNetrcLogin) {
    Sandbox.Folder.WriteFile("remote/access.log", kLog);
    TFtpServer server(Sandbox.Folder.Path() + "server/", {Sandbox.Folder.Path() + "remote/"});
    ASSERT_TRUE(server.Running()) << server.Error();
    TQVProfile profile;
    profile.InitNew();
    profile.SetName("fetched");
    const std::string logs = Sandbox.Folder.Path() + "logs-fetched/";
    profile.LogPaths = {logs};
    profile.FTPAutoFetch = true;
    profile.FTPHost = "127.0.0.1";
    profile.FTPPort = server.Port();
    profile.FTPSource = "/";
    profile.FTPDest = logs;
    ASSERT_TRUE(profile.Save());
    const std::string netrc = Sandbox.Folder.Path() + "home/.netrc";
    const std::string errors = Sandbox.Folder.Path() + "stderr.txt";
    const auto run = [&] {
        return RunHiddenAndCapture("/bin/sh -c \"exec '" QUORVEL_BINARY "' fetched 2>'" + errors + "'\"", true,
                                   &Output);
    };

    Sandbox.Folder.WriteFile("home/.netrc", "machine 127.0.0.1 login " + server.User() + " password wrong\n");
    ASSERT_EQ(chmod(netrc.c_str(), 0600), 0);
    EXPECT_EQ(run(), 8);
    EXPECT_NE(TTestFolder::ReadFile(errors).find("Wrong login/password."), std::string::npos);

    Sandbox.Folder.WriteFile("home/.netrc",
                             "machine 127.0.0.1 login " + server.User() + " password " + server.Password() + "\n");
    EXPECT_EQ(run(), 0) << TTestFolder::ReadFile(errors);
    EXPECT_EQ(TTestFolder::ReadFile(logs + "access.log"), kLog);
    EXPECT_TRUE(FileExists(DataFolder() + "reports/fetched/Report for October/TOC.htm"));

    fs::remove(netrc);
    EXPECT_EQ(run(), 0);
    const std::string messages = TTestFolder::ReadFile(errors);
    EXPECT_NE(messages.find("quorvel: the logs were not fetched: "), std::string::npos) << messages;
    EXPECT_EQ(messages.find(server.Password()), std::string::npos);
}

// Options and wrong arguments: each answer's status, what it prints and on which stream.
TEST_F(QuorvelCommandLineTest, OptionsAndWrongArgumentsAreAnswered) {
    const std::string tryHelp = "\nTry 'quorvel --help' for more information.\n";
    const struct {
        std::vector<std::string> Arguments;
        int Status;
        std::string Out, Err;
    } cases[] = {
        {{"-h"}, 0, "--list", ""},
        {{"--help"}, 0, "Exit status: 0 report written", ""},
        {{"-V"}, 0, "quorvel ", ""},
        {{"--bogus"}, 64, "", "quorvel: unknown option \"--bogus\"" + tryHelp},
        {{"--bogus=1", "site"}, 64, "", "quorvel: unknown option \"--bogus=1\"" + tryHelp},
        {{"-x"}, 64, "", "quorvel: unknown option \"-x\"" + tryHelp},
        {{"--list=yes"}, 64, "", "quorvel: the option \"--list\" takes no value" + tryHelp},
        {{"site", "other"}, 64, "", "quorvel: extra argument \"other\"" + tryHelp},
        {{"--list", "site"}, 64, "", "quorvel: extra argument \"site\"" + tryHelp},
        {{"--"}, 64, "", "quorvel: no profile name given" + tryHelp},
        {{"--output"}, 64, "", "quorvel: the option \"--output\" needs a value" + tryHelp},
        {{"--logs", "a", "--json="}, 64, "", "quorvel: the option \"--json\" needs a value" + tryHelp},
        {{"--format=%H", "site"}, 64, "", "quorvel: the option \"--format\" needs --logs" + tryHelp},
        {{"--csv=a", "--csv=b", "site"}, 64, "", "quorvel: the option \"--csv\" is given twice" + tryHelp},
    };
    for (const auto& c : cases) {
        const std::string shown = c.Arguments.front();
        EXPECT_EQ(RunWith(c.Arguments), c.Status) << shown;
        EXPECT_NE(Output.find(c.Out), std::string::npos) << shown << ": " << Output;
        if (c.Err.empty())
            EXPECT_EQ(Errors, "") << shown;
        else
            EXPECT_EQ(Errors, c.Err) << shown;
    }
}

// "--" reaches a profile named like an option; the run ends with the one summary line.
TEST_F(QuorvelCommandLineTest, DoubleDashReachesAProfileAndTheRunEndsWithItsSummary) {
    // Names made in the window are letters and digits; a record copied in by hand may be named so.
    MakeProfile("x", kLog);
    fs::rename(DataFolder() + "profiles/x.xml", DataFolder() + "profiles/-x.xml");
    ASSERT_EQ(RunWith({"--", "-x"}), 0) << Errors;
    EXPECT_NE(Output.find("Report written: "), std::string::npos);
    const std::regex summary("quorvel: 3 lines read, 0 could not be read, 0 outside the date range, 0 partial "
                             "downloads merged, 3 hits, 2 visits, [0-9]+\\.[0-9]{2} s, [0-9,]+ lines/s\n");
    EXPECT_TRUE(std::regex_search(Errors, summary)) << Errors;
}

// --list and an unknown profile tell the profiles there are, or how to make the first one.
TEST_F(QuorvelCommandLineTest, ListAndUnknownProfileTellTheProfiles) {
    fs::create_directories(DataFolder() + "profiles");
    EXPECT_EQ(RunWith({"--list"}), 0);
    EXPECT_EQ(Output, "");
    EXPECT_NE(Errors.find("no profiles yet"), std::string::npos) << Errors;
    EXPECT_NE(Errors.find(DataFolder() + "profiles/"), std::string::npos) << Errors;
    EXPECT_EQ(RunWith({"nope"}), 2);
    EXPECT_EQ(Errors.rfind("quorvel: no profile named \"nope\"\nquorvel: there are no profiles yet", 0), 0u) << Errors;

    MakeProfile("site", kLog);
    MakeProfile("other", kLog);
    ASSERT_EQ(Run("site"), 0);
    EXPECT_EQ(RunWith({"--list"}), 0);
    const std::string today = FormatDateTime("yyyy-mm-dd", Today());
    EXPECT_NE(Output.find("site\t" + today + "\n"), std::string::npos) << Output;
    EXPECT_NE(Output.find("other\tnever\n"), std::string::npos) << Output;
    EXPECT_EQ(std::count(Output.begin(), Output.end(), '\n'), 2) << Output;
    EXPECT_EQ(RunWith({"nope"}), 2);
    EXPECT_EQ(Errors.rfind("quorvel: no profile named \"nope\"\nProfiles: ", 0), 0u) << Errors;
    EXPECT_NE(Errors.find("other"), std::string::npos) << Errors;
}

// --logs: a report of named files or of standard input, placed as asked or in the current
// folder, its statistics beside it, and no profile saved.
TEST_F(QuorvelCommandLineTest, OneOffReportsOfNamedLogsAndStandardInput) {
    Sandbox.Folder.WriteFile("logs/access.log", kLog);
    const std::string work = Sandbox.Folder.Path() + "work/";
    ASSERT_EQ(RunScript("exec \"$Q\" --logs ../logs/access.log --output out --json stats.json --csv csv"), 0) << Errors;
    EXPECT_EQ(Output, "Report written: " + work + "out/TOC.htm\n");
    EXPECT_EQ(TotalHits(work + "out/"), "3");
    EXPECT_NE(TTestFolder::ReadFile(work + "out/general.htm").find("<title>out: "), std::string::npos);
    EXPECT_NE(TTestFolder::ReadFile(work + "stats.json").find("\"schema\": 1,"), std::string::npos);
    EXPECT_EQ(TTestFolder::ReadFile(work + "csv/general-1-1.csv").rfind("kind,name,", 0), 0u);
    EXPECT_NE(Errors.find(" 3 hits, 2 visits, "), std::string::npos) << Errors;

    // Standard input, its format detected from lines that are then read, into a folder named
    // after the report.
    ASSERT_EQ(RunScript("cat ../logs/access.log | \"$Q\" --logs -"), 0) << Errors;
    EXPECT_EQ(TotalHits(work + "Report for October/"), "3");
    EXPECT_NE(TTestFolder::ReadFile(work + "Report for October/general.htm").find("<title>Standard input: "),
              std::string::npos);
    for (const auto& entry : fs::directory_iterator(DataFolder() + "profiles"))
        EXPECT_EQ(entry.path().filename(), "Demo.xml");
}

// --logs runs that cannot make a report: each says why and ends with its status, leaving no
// statistics file behind.
TEST_F(QuorvelCommandLineTest, OneOffRunsThatCannotWorkSayWhy) {
    Sandbox.Folder.WriteFile("logs/access.log", kLog);
    Sandbox.Folder.WriteFile("logs/junk.txt", "no log line here\n");
    const struct {
        std::string Script;
        int Status;
        std::string Err;
    } cases[] = {
        {"exec \"$Q\" --logs ../logs/nope.log", 64,
         "quorvel: the log \"../logs/nope.log\" cannot be read: No such file or directory\n"},
        {"exec \"$Q\" --logs ../logs/access.log --output out --format '%H NOPE %x'", 5,
         "quorvel: the format \"%H NOPE %x\" fits none of the lines read\n"},
        {"exec \"$Q\" --logs ../logs/junk.txt --output out", 5,
         "quorvel: None of the known log formats fits the first line of the logs (\"no log line here\")"},
        {"exec \"$Q\" --logs - --output out </dev/null", 5, "quorvel: The logs hold no line to read.\n"},
        {"sh -c 'printf \"1.1.1.1 - - [10/Oct\"; kill -9 $$' | \"$Q\" --logs - --output out", 5,
         "quorvel: None of the known log formats fits"},
        {"exec \"$Q\" --logs ../logs --output out --json ../nowhere/s.json", 1,
         "quorvel: the JSON file \"../nowhere/s.json\" cannot be written: No such file or directory\n"},
        {"mkdir -p taken.json && exec \"$Q\" --logs ../logs --output out --json taken.json", 1,
         "quorvel: The report could not be written: the statistics cannot be written: "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RunScript(c.Script), c.Status) << c.Script << "\n" << Errors;
        EXPECT_NE(Errors.find(c.Err), std::string::npos) << c.Script << "\n" << Errors;
        EXPECT_EQ(Output.find("Report written"), std::string::npos) << c.Script;
    }
    EXPECT_TRUE(fs::is_directory(Sandbox.Folder.Path() + "work/taken.json"));
}

} // namespace
