#include "sources/FileUtils.h"

#include "support/EnvOverride.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Names in folder other than the expected ones: temporaries left behind.
std::vector<std::string> OtherFiles(const std::string& folder, std::string_view expected) {
    std::vector<std::string> others;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename() != expected) others.push_back(entry.path().filename().string());
    return others;
}

TEST(FileUtilsTest, ReplaceKeepsTheModeOfTheFileItReplaces) {
    struct TCase {
        int ExistingMode; // -1: no file yet
        mode_t Umask;
        mode_t Expected;
    };
    const TCase cases[] = {{0640, 022, 0640}, {0604, 077, 0604}, {-1, 022, 0644}, {-1, 027, 0640}};
    for (const TCase& c : cases) {
        TTestFolder scratch;
        const std::string path = scratch.Path() + "params.ini";
        if (c.ExistingMode >= 0) {
            scratch.WriteFile("params.ini", "old");
            ASSERT_EQ(chmod(path.c_str(), static_cast<mode_t>(c.ExistingMode)), 0);
        }
        const mode_t saved = umask(c.Umask);
        std::string error;
        const bool replaced = ReplaceFileContents(path, "new", &error);
        umask(saved);
        ASSERT_TRUE(replaced) << error;
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.Expected) << "existing " << c.ExistingMode << " umask " << c.Umask;
        EXPECT_EQ(TTestFolder::ReadFile(path), "new");
        EXPECT_TRUE(OtherFiles(scratch.Path(), "params.ini").empty());
    }
}

TEST(FileUtilsTest, FailedReplaceLeavesTheOldFileAndNoTemporary) {
    TTestFolder scratch;
    const std::string path = scratch.WriteFile("dnscache.dta", "old contents");
    // A file size limit makes the write fail for any user, root included.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 8;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool replaced = ReplaceFileContents(path, std::string(4096, 'x'), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(replaced);
    EXPECT_EQ(error, path + ": " + std::strerror(EFBIG));
    EXPECT_EQ(TTestFolder::ReadFile(path), "old contents");
    EXPECT_TRUE(OtherFiles(scratch.Path(), "dnscache.dta").empty());

    // A folder that is not there: nothing is made, and the error names the file.
    const std::string missing = scratch.Path() + "gone/params.ini";
    EXPECT_FALSE(ReplaceFileContents(missing, "x", &error));
    EXPECT_EQ(error, missing + ": " + std::strerror(ENOENT));
}

TEST(FileUtilsTest, ConcurrentReplacesLeaveOneWholeContent) {
    TTestFolder scratch;
    const std::string path = scratch.WriteFile("record.xml", std::string(10, 'o'));
    const std::string contents[] = {std::string(100000, 'a'), std::string(3000, 'b')};
    TReplaceOptions noSync;
    noSync.Sync = false;
    std::thread writers[2];
    for (int w = 0; w < 2; ++w)
        writers[w] = std::thread([&, w] {
            for (int i = 0; i < 50; ++i)
                EXPECT_TRUE(ReplaceFileContents(path, contents[w], nullptr, noSync));
        });
    // A reader meanwhile sees one whole content or the other, never a mix or a part.
    for (int i = 0; i < 200; ++i) {
        const std::string seen = TTestFolder::ReadFile(path);
        EXPECT_TRUE(seen == contents[0] || seen == contents[1] || seen == std::string(10, 'o')) << seen.size();
    }
    for (std::thread& writer : writers)
        writer.join();
    const std::string last = TTestFolder::ReadFile(path);
    EXPECT_TRUE(last == contents[0] || last == contents[1]);
    EXPECT_TRUE(OtherFiles(scratch.Path(), "record.xml").empty());
}

TEST(FileUtilsTest, TrailingSeparatorTrimsOnlyWhenAdding) {
    EXPECT_EQ(EnsureTrailingSeparator(""), "");
    EXPECT_EQ(EnsureTrailingSeparator("/logs "), "/logs/");
    EXPECT_EQ(EnsureTrailingSeparator("/logs/ "), "/logs//");
    EXPECT_EQ(EnsureTrailingSeparator("/logs/"), "/logs/");
    EXPECT_EQ(EnsureTrailingChar("a;b", ';'), "a;b;");
}

TEST(FileUtilsTest, ExtensionsAndNames) {
    EXPECT_EQ(StripExtension("/my.logs/access", true), "/my");
    EXPECT_EQ(StripExtension("a.tar.gz", false), "a");
    EXPECT_EQ(StripExtension("a.tar.gz", true), "a.tar");
    EXPECT_EQ(StripExtension("noext", true), "noext");
    EXPECT_EQ(UpperExtension("a.tar.gz"), "GZ");
    EXPECT_EQ(UpperExtension("/my.logs/access"), "");
    EXPECT_EQ(UpperExtension("x.Log"), "LOG");
    EXPECT_EQ(BaseNameNoExt("/var/log/access.log.1"), "access.log");
    EXPECT_EQ(ExtractFileName("/a/b.txt"), "b.txt");
    EXPECT_EQ(ExtractFilePath("/a/b.txt"), "/a/");
    EXPECT_EQ(ExtractFilePath("b.txt"), "");
}

TEST(FileUtilsTest, TempFolderIsPrivateAndRefusesForeignOrLinkedNames) {
    TTestFolder scratch;
    TEnvOverride tmpdir("TMPDIR", scratch.Path());

    const std::string expected = scratch.Path() + "quorvel-" + std::to_string(getuid()) + "/";
    EXPECT_EQ(TempFolder(), expected);
    struct stat st {};
    ASSERT_EQ(stat(expected.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Someone planted a link under our name: it is not used.
    fs::remove_all(expected);
    fs::create_directory(scratch.Path() + "elsewhere");
    fs::create_directory_symlink(scratch.Path() + "elsewhere", scratch.Path() + "quorvel-" + std::to_string(getuid()));
    const std::string fallback = TempFolder();
    EXPECT_NE(fallback, expected);
    EXPECT_FALSE(fallback.empty());
    EXPECT_FALSE(fs::is_symlink(fs::path(fallback).parent_path()));
}

TEST(FileUtilsTest, ForceFoldersAndEmptyFolder) {
    TTestFolder scratch;
    ForceFolders(scratch.Path() + "a/b/c");
    EXPECT_TRUE(DirectoryExists(scratch.Path() + "a/b/c"));
    scratch.WriteFile("a/one.txt", "1");
    scratch.WriteFile("a/b/two.txt", "2");
    scratch.WriteFile("a/.keep/three.txt", "3");
    scratch.WriteFile("outside/victim.txt", "v");
    fs::create_directory_symlink(scratch.Path() + "outside", scratch.Path() + "a/link");

    EmptyFolder(scratch.Path() + "a/", false);
    EXPECT_FALSE(fs::exists(scratch.Path() + "a/one.txt"));
    EXPECT_FALSE(fs::exists(scratch.Path() + "a/b"));
    EXPECT_FALSE(fs::exists(scratch.Path() + "a/link"));
    EXPECT_TRUE(fs::exists(scratch.Path() + "a/.keep/three.txt"));  // dot folders are left alone
    EXPECT_TRUE(fs::exists(scratch.Path() + "outside/victim.txt")); // links are not followed

    fs::remove_all(scratch.Path() + "a/.keep");
    EmptyFolder(scratch.Path() + "a/", true);
    EXPECT_FALSE(fs::exists(scratch.Path() + "a"));
}

TEST(FileUtilsTest, CopyFilesByMaskSkipsExcludedNamesAtEveryLevel) {
    TTestFolder scratch;
    const std::string src = scratch.Path() + "tpl/";
    scratch.WriteFile("tpl/main.xsl", "m");
    scratch.WriteFile("tpl/TOC.XSL", "t");
    scratch.WriteFile("tpl/style.css", "css");
    scratch.WriteFile("tpl/README", "no dot");
    scratch.WriteFile("tpl/img/logo.png", "png");
    scratch.WriteFile("tpl/img/main.xsl", "inner");
    scratch.WriteFile("tpl/.svn/entries", "x");
    scratch.WriteFile("report/style.css", "old");

    CopyFilesByMask(src, scratch.Path() + "report/", "main.xsl;toc.xsl;", "*.*");
    EXPECT_EQ(TTestFolder::ReadFile(scratch.Path() + "report/style.css"), "css");
    EXPECT_EQ(TTestFolder::ReadFile(scratch.Path() + "report/README"), "no dot");
    EXPECT_EQ(TTestFolder::ReadFile(scratch.Path() + "report/img/logo.png"), "png");
    EXPECT_FALSE(fs::exists(scratch.Path() + "report/main.xsl"));
    EXPECT_FALSE(fs::exists(scratch.Path() + "report/TOC.XSL"));
    EXPECT_FALSE(fs::exists(scratch.Path() + "report/img/main.xsl"));
    EXPECT_FALSE(fs::exists(scratch.Path() + "report/.svn"));

    CopyFilesByMask(src, scratch.Path() + "work/", "", "*.xsl");
    EXPECT_TRUE(fs::exists(scratch.Path() + "work/main.xsl"));
    EXPECT_TRUE(fs::exists(scratch.Path() + "work/TOC.XSL"));
    EXPECT_FALSE(fs::exists(scratch.Path() + "work/style.css"));
    EXPECT_FALSE(fs::exists(scratch.Path() + "work/img"));
}

TEST(FileUtilsTest, ReadReportParamFindsKeysOfTheOptsSection) {
    TTestFolder scratch;
    scratch.WriteFile("params.ini", "[OTHER]\r\nStartDate=1\r\n[opts]\r\nCreationDate = 37319 \r\n"
                                    "startdate=37316\r\nTemplateDesc=\"A template\"\r\n");
    EXPECT_EQ(ReadReportParam(scratch.Path(), "StartDate"), "37316");
    EXPECT_EQ(ReadReportParam(scratch.Path().substr(0, scratch.Path().size() - 1), "CreationDate"), "37319");
    EXPECT_EQ(ReadReportParam(scratch.Path(), "TemplateDesc"), "A template");
    EXPECT_EQ(ReadReportParam(scratch.Path(), "EndDate"), "");
    EXPECT_EQ(ReadReportParam(scratch.Path() + "missing/", "StartDate"), "");
}

} // namespace
