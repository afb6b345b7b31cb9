// The unattended program under faults, end to end: runs at the same time, runs killed or
// interrupted mid-report, full and read-only report disks, folders that are not reports,
// and settings that cannot work. The previous report must survive every one of them.

#include "profile/ProfileLock.h"
#include "profile/u_qvprofile.h"
#include "report/ReportStaging.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"
#include "support/Sandbox.h"
#include "support/TestLogs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <regex>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Every file of a report folder by its relative name; page lines that carry the time of
// making are left out.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    static const std::regex stamp("generated|\\d{1,2}:\\d\\d:\\d\\d|CreationDate");
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        std::string text = TTestFolder::ReadFile(it->path().string()), kept;
        if (it->path().extension() != ".png") {
            size_t start = 0;
            for (size_t end; start < text.size(); start = end + 1) {
                end = text.find('\n', start);
                if (end == std::string::npos) end = text.size();
                const std::string line = text.substr(start, end - start);
                if (!std::regex_search(line, stamp)) kept += line + "\n";
            }
            text = kept;
        }
        files[fs::relative(it->path(), folder).string()] = text;
    }
    return files;
}

// The entries of a folder by name.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class QuorvelReportSafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The program folder: the real data linked entry by entry, templates one by one so
        // that a broken template can be added beside them.
        Home = Sandbox.Folder.Path() + "program/";
        fs::create_directories(Home + "templates");
        for (const auto& entry : fs::directory_iterator(QUORVEL_SOURCE_DATA)) {
            if (entry.path().filename() == "templates") continue;
            fs::create_directory_symlink(entry.path(), Home + entry.path().filename().string());
        }
        for (const auto& entry : fs::directory_iterator(std::string(QUORVEL_SOURCE_DATA) + "templates"))
            fs::create_directory_symlink(entry.path(), Home + "templates/" + entry.path().filename().string());
        setenv("QUORVEL_HOME", Home.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("QUORVEL_HOME");
        if (!Mounted.empty()) umount2(Mounted.c_str(), MNT_DETACH);
    }

    // Starts quorvel PROFILE in folder (or here) with its output in the sandbox.
    pid_t Start(const std::string& profile, const std::string& folder = "") {
        const std::string out = Sandbox.Folder.Path() + profile + ".out",
                          err = Sandbox.Folder.Path() + profile + ".err";
        const pid_t pid = fork();
        if (pid == 0) {
            const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(o, 1);
            dup2(e, 2);
            if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
            execl(QUORVEL_BINARY, QUORVEL_BINARY, profile.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }
    // Its exit status, or 128 + the signal that ended it.
    static int Wait(pid_t pid) {
        int status = 0;
        if (waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int Run(const std::string& profile, const std::string& folder = "") { return Wait(Start(profile, folder)); }
    std::string Out(const std::string& profile) {
        return TTestFolder::ReadFile(Sandbox.Folder.Path() + profile + ".out");
    }
    std::string Err(const std::string& profile) {
        return TTestFolder::ReadFile(Sandbox.Folder.Path() + profile + ".err");
    }

    // A profile reading its own log; changes made by edit are saved with it.
    void MakeProfile(const std::string& name, const std::string& log,
                     const std::function<void(TQVProfile&)>& edit = nullptr) {
        Sandbox.Folder.WriteFile("logs-" + name + "/access.log", log);
        TQVProfile profile;
        if (!profile.Load(name)) profile.SetName(name);
        profile.LogPaths = {Sandbox.Folder.Path() + "logs-" + name + "/"};
        if (edit) edit(profile);
        ASSERT_TRUE(profile.Save());
    }
    std::string BaseOf(const std::string& profile) { return DataFolder() + "reports/" + profile + "/"; }
    std::string ReportOf(const std::string& profile) { return BaseOf(profile) + "Report for October/"; }

    // Mounts a file system of size bytes at folder; false where mounting is not allowed.
    bool MountSmallDisk(const std::string& folder, const std::string& size) {
        fs::create_directories(folder);
        if (mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) return false;
        Mounted = folder;
        return true;
    }

    TSandbox Sandbox;
    std::string Home;
    std::string Mounted;
};

TEST_F(QuorvelReportSafetyTest, RunsAtTheSameTimeNeverMixTheirReports) {
    MakeProfile("alpha", MakeCombinedLog(30000, 1));
    MakeProfile("beta", MakeCombinedLog(30000, 2));
    ASSERT_EQ(Run("alpha"), 0) << Err("alpha");
    ASSERT_EQ(Run("beta"), 0) << Err("beta");
    const auto alpha = Snapshot(ReportOf("alpha")), beta = Snapshot(ReportOf("beta"));
    ASSERT_GT(alpha.size(), 20u);

    for (int trial = 0; trial < 3; ++trial) {
        const pid_t a = Start("alpha"), b = Start("beta");
        ASSERT_EQ(Wait(a), 0) << Err("alpha");
        ASSERT_EQ(Wait(b), 0) << Err("beta");
        EXPECT_TRUE(Snapshot(ReportOf("alpha")) == alpha) << trial;
        EXPECT_TRUE(Snapshot(ReportOf("beta")) == beta) << trial;
    }

    // The same profile while another run holds it: refused, nothing touched.
    TProfileLock held;
    ASSERT_TRUE(held.TryLock("ALPHA", nullptr, nullptr));
    EXPECT_EQ(Run("alpha"), 7);
    EXPECT_NE(Err("alpha").find(std::to_string(getpid())), std::string::npos) << Err("alpha");
    EXPECT_TRUE(Snapshot(ReportOf("alpha")) == alpha);
    EXPECT_EQ(Names(TempFolder()), std::vector<std::string>{});
}

TEST_F(QuorvelReportSafetyTest, KilledOrInterruptedRunsLeaveThePreviousReport) {
    MakeProfile("site", MakeCombinedLog(40000, 3));
    ASSERT_EQ(Run("site"), 0) << Err("site");
    const auto before = Snapshot(ReportOf("site"));

    // The new report's hidden folder appears when the compile starts; pages appear in it
    // during the transform. Those of the killed runs before stay until the next full run.
    std::vector<std::string> earlier;
    const auto hidden = [&] {
        for (const std::string& name : Names(BaseOf("site")))
            if (name.starts_with(kStagingPrefix) && std::find(earlier.begin(), earlier.end(), name) == earlier.end())
                return BaseOf("site") + name + "/";
        return std::string();
    };
    const auto hasPage = [&] {
        const std::string folder = hidden();
        if (folder.empty()) return false;
        for (const std::string& name : Names(folder))
            if (name.ends_with(".htm")) return true;
        return false;
    };
    struct TCase {
        int Signal;
        bool InTransform;
    };
    for (const TCase c : {TCase{SIGKILL, false}, TCase{SIGKILL, true}, TCase{SIGINT, false}, TCase{SIGINT, true}}) {
        SCOPED_TRACE(std::string(strsignal(c.Signal)) + (c.InTransform ? " in the transform" : " in the compile"));
        earlier = Names(BaseOf("site"));
        const pid_t pid = Start("site");
        bool reached = false;
        for (int i = 0; i < 200000 && !reached; ++i) {
            reached = c.InTransform ? hasPage() : !hidden().empty();
            if (!reached) std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        ASSERT_TRUE(reached);
        kill(pid, c.Signal);
        const int status = Wait(pid);
        EXPECT_EQ(status, c.Signal == SIGKILL ? 128 + SIGKILL : 6) << Err("site");
        EXPECT_TRUE(Snapshot(ReportOf("site")) == before);
        if (c.Signal == SIGINT) {
            EXPECT_EQ(hidden(), "");
        }
    }
    // The next run cleans what the killed runs left and replaces the report.
    ASSERT_EQ(Run("site"), 0) << Err("site");
    EXPECT_EQ(Names(BaseOf("site")), std::vector<std::string>{"Report for October"});
    EXPECT_EQ(Names(TempFolder()), std::vector<std::string>{});
    EXPECT_TRUE(Snapshot(ReportOf("site")) == before);
}

TEST_F(QuorvelReportSafetyTest, AFullOrReadOnlyReportDiskFailsTheRunAndKeepsThePreviousReport) {
    const std::string disk = Sandbox.Folder.Path() + "disk/";
    if (!MountSmallDisk(disk, "3m")) GTEST_SKIP() << "mounting a small file system is not allowed here";
    MakeProfile("site", MakeCombinedLog(5000, 4), [&](TQVProfile& p) {
        p.AltReportDest = true;
        p.ReportDest = disk;
    });
    ASSERT_EQ(Run("site"), 0) << Err("site");
    const auto before = Snapshot(disk + "Report for October/");

    // Fill the disk but for a few kilobytes.
    {
        const int fd = open((disk + "filler").c_str(), O_WRONLY | O_CREAT, 0644);
        std::string block(4096, 'x');
        while (write(fd, block.data(), block.size()) > 0) {
        }
        close(fd);
        truncate((disk + "filler").c_str(), static_cast<off_t>(fs::file_size(disk + "filler")) - 40000);
    }
    EXPECT_EQ(Run("site"), 1);
    EXPECT_NE(Err("site").find("No space left on device"), std::string::npos) << Err("site");
    EXPECT_EQ(Out("site").find("Report written"), std::string::npos);
    EXPECT_TRUE(Snapshot(disk + "Report for October/") == before);
    EXPECT_EQ(Names(disk), (std::vector<std::string>{"Report for October", "filler"}));

    fs::remove(disk + "filler");
    ASSERT_EQ(mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_EQ(Run("site"), 1);
    EXPECT_NE(Err("site").find("Read-only file system"), std::string::npos) << Err("site");
    EXPECT_TRUE(Snapshot(disk + "Report for October/") == before);
    EXPECT_EQ(Names(TempFolder()), std::vector<std::string>{});
}

TEST_F(QuorvelReportSafetyTest, AFolderThatIsNotAReportIsNeverEmptied) {
    MakeProfile("site", MakeCombinedLog(300, 5));
    Sandbox.Folder.WriteFile("data/Corvantis/Quorvel/reports/site/Report for October/notes.txt", "mine");
    Sandbox.Folder.WriteFile("data/Corvantis/Quorvel/reports/site/Report for October/2024/photo.jpg", "mine");
    EXPECT_EQ(Run("site"), 1);
    EXPECT_NE(Err("site").find("not a report"), std::string::npos) << Err("site");
    EXPECT_EQ(Names(ReportOf("site")), (std::vector<std::string>{"2024", "notes.txt"}));
    EXPECT_EQ(TTestFolder::ReadFile(ReportOf("site") + "2024/photo.jpg"), "mine");
    EXPECT_EQ(Names(BaseOf("site")), std::vector<std::string>{"Report for October"});

    // An empty alternative destination is the default folder, never the working directory.
    MakeProfile("other", MakeCombinedLog(300, 6), [](TQVProfile& p) {
        p.AltReportDest = true;
        p.ReportDest = "";
    });
    const std::string here = Sandbox.Folder.Path() + "here/";
    Sandbox.Folder.WriteFile("here/Report for October/notes.txt", "mine");
    EXPECT_EQ(Run("other", here), 0) << Err("other");
    EXPECT_EQ(Names(here + "Report for October"), std::vector<std::string>{"notes.txt"});
    EXPECT_TRUE(FileExists(ReportOf("other") + "TOC.htm"));
}

TEST_F(QuorvelReportSafetyTest, TemplatesAndLanguagesThatCannotWorkAreRefusedBeforeAnythingIsWritten) {
    Sandbox.Folder.WriteFile("program/templates/No Pages/params.ini", "[OPTS]\nDefaultFile=index.htm\n");
    Sandbox.Folder.WriteFile("program/templates/No Pages/toc.xsl", "<x/>");
    const struct {
        const char* Template;
        const char* Language;
        int Status;
    } cases[] = {
        {"", "english", 3},
        {"../templates/CV - Menu - IE", "english", 3},
        {"No Pages", "english", 3},
        {"CV - Menu - IE", "No Such Language", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Template) + " / " + c.Language);
        MakeProfile("site", MakeCombinedLog(300, 7), [&](TQVProfile& p) {
            p.TemplateName = c.Template;
            p.ReportLanguage = c.Language;
        });
        EXPECT_EQ(Run("site"), c.Status) << Err("site");
        EXPECT_FALSE(fs::exists(BaseOf("site")));
        EXPECT_EQ(Names(TempFolder()), std::vector<std::string>{});
    }
}

} // namespace
