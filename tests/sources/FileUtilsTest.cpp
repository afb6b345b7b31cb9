#include "sources/FileUtils.h"

#include "support/EnvOverride.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

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
