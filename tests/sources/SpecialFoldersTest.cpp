#include "sources/SpecialFolders.h"

#include "sources/FileUtils.h"
#include "support/TestFolder.h"

#include "support/EnvOverride.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace {

// A scratch home with its own XDG folders.
class SpecialFoldersTest : public ::testing::Test {
protected:
    TTestFolder Scratch;
    std::string Home = Scratch.Path() + "home";
    TEnvOverride HomeVar{"HOME", Home};
    TEnvOverride ConfigVar{"XDG_CONFIG_HOME", Scratch.Path() + "config"};
    TEnvOverride DataVar{"XDG_DATA_HOME", Scratch.Path() + "data/"};

    void WriteUserDirs(std::string_view content) { Scratch.WriteFile("config/user-dirs.dirs", content); }
};

constexpr std::string_view kUserDirs = "# written by the desktop\n"
                                       "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                                       "XDG_DOCUMENTS_DIR=\"$HOME/old\"\n"
                                       "  XDG_DOCUMENTS_DIR = \"$HOME/Dokumente/\"\n"
                                       "XDG_MUSIC_DIR=\"/srv/my \\\"music\\\"\"\n"
                                       "XDG_PICTURES_DIR=\"$HOMEWORK/pictures\"\n";

TEST_F(SpecialFoldersTest, ReadsEachKindForUserAndAllUsers) {
    WriteUserDirs(kUserDirs);
    const std::string data = Scratch.Path() + "data";
    struct TCase {
        int Kind;
        int Options;
        std::string Expected;
    };
    const TCase cases[] = {
        {kFolderStartMenu, 0, data + "/applications"},
        {kFolderDesktop, 0, Home + "/Schreibtisch"},
        {kFolderAppData, 0, data},
        {kFolderProgramFiles, 0, "/usr/local"},
        {kFolderCommonFiles, kFolderAllUsers, "/usr/share"},
        {kFolderMyDocuments, 0, Home + "/Dokumente"}, // the later line wins, no trailing "/"
        {kFolderMyMusic, 0, "/srv/my \"music\""},
        {kFolderMyPictures, 0, ""}, // not "$HOME/...", not absolute: unusable
        {kFolderMyPictures, kFolderFallback, Home + "/Pictures"},
        {kFolderStartMenu, kFolderAllUsers, "/usr/share/applications"},
        {kFolderAppData, kFolderAllUsers, "/usr/share"},
        {kFolderDesktop, kFolderAllUsers, ""},
        {kFolderDesktop, kFolderAllUsers | kFolderFallback, Home + "/Desktop"},
        {8, 0, data + "/applications"},
        {-1, kFolderAllUsers, "/usr/share/applications"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(SpecialFolder(c.Kind, c.Options), c.Expected) << "kind " << c.Kind << " options " << c.Options;
}

TEST_F(SpecialFoldersTest, MissingUserDirsFallBackToXdgDefaults) {
    TEnvOverride noConfig("XDG_CONFIG_HOME", std::nullopt);
    TEnvOverride noData("XDG_DATA_HOME", std::nullopt);
    EXPECT_EQ(SpecialFolder(kFolderMyDocuments, 0), "");
    EXPECT_EQ(SpecialFolder(kFolderMyDocuments, kFolderFallback), Home + "/Documents");
    EXPECT_EQ(SpecialFolder(kFolderDesktop, kFolderFallback), Home + "/Desktop");
    EXPECT_EQ(SpecialFolder(kFolderMyMusic, kFolderFallback), Home + "/Music");
    EXPECT_EQ(SpecialFolder(kFolderAppData, 0), Home + "/.local/share");
    EXPECT_EQ(SpecialFolder(kFolderStartMenu, 0), Home + "/.local/share/applications");
}

TEST_F(SpecialFoldersTest, ConfigFolderDefaultsToDotConfigInHome) {
    TEnvOverride noConfig("XDG_CONFIG_HOME", std::nullopt);
    Scratch.WriteFile("home/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
    EXPECT_EQ(SpecialFolder(kFolderMyDocuments, 0), Home + "/Docs");
}

TEST_F(SpecialFoldersTest, ExpandsOnlyALeadingWholeMacro) {
    WriteUserDirs(kUserDirs);
    const std::string documents = Home + "/Dokumente";
    const std::string desktop = Home + "/Schreibtisch";
    const std::pair<std::string, std::string> cases[] = {
        {"%mydocuments%/logs/", documents + "/logs/"},
        {"%MyDocuments%/logs/", documents + "/logs/"},
        {"%mydocuments%", documents},
        {"%desktop%/a/%desktop%/b", desktop + "/a/%desktop%/b"},
        {"%programfiles%/bin/", "/usr/local/bin/"},
        {"%mypictures%/x", Home + "/Pictures/x"}, // the fallback is asked for
        {"%mydocuments%logs/", "%mydocuments%logs/"},
        {"/data/%mydocuments%/logs/", "/data/%mydocuments%/logs/"},
        {"%unknown%/logs/", "%unknown%/logs/"},
        {"%", "%"},
        {"", ""},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(ExpandFolderMacros(path), expected) << path;
}

TEST_F(SpecialFoldersTest, EmptyDocumentsValueExpandsToTheDefaultFolder) {
    WriteUserDirs("XDG_DOCUMENTS_DIR=\"\"\n");
    EXPECT_EQ(ExpandFolderMacros("%mydocuments%/logs/"), Home + "/Documents/logs/");
}

TEST_F(SpecialFoldersTest, SetAppIdentityCreatesTheDataFolder) {
    SetAppIdentity("Corvantis", "Quorvel", "Quorvel Help.chm");
    EXPECT_EQ(DataFolder(), Scratch.Path() + "data/Corvantis/Quorvel/");
    EXPECT_TRUE(DirectoryExists(DataFolder()));
    EXPECT_EQ(AppRegistryKey(), "/Software/Corvantis/Quorvel");
    EXPECT_EQ(AppName(), "Quorvel");
    EXPECT_EQ(HelpFileName(), "Quorvel Help.chm");
}

TEST(SpecialFoldersProgramTest, ProgramFolderPrefersHomeVariableThenInstalledShareThenSourceData) {
    TTestFolder scratch;
    const std::string executable = scratch.WriteFile("prefix/bin/quorvel", "");
    EXPECT_EQ(ResolveProgramFolder("/opt/quorvel", executable), "/opt/quorvel/");
    const std::string sourceData = ResolveProgramFolder("", executable);
    EXPECT_TRUE(sourceData.ends_with("/data/")) << sourceData;

    mkdir((scratch.Path() + "prefix/share").c_str(), 0755);
    mkdir((scratch.Path() + "prefix/share/quorvel").c_str(), 0755);
    EXPECT_EQ(ResolveProgramFolder("", executable), scratch.Path() + "prefix/share/quorvel/");
    EXPECT_EQ(ResolveProgramFolder("", ""), sourceData);

    TEnvOverride home("QUORVEL_HOME", scratch.Path() + "prefix");
    EXPECT_EQ(ProgramFolder(), scratch.Path() + "prefix/");
    TEnvOverride emptyHome("QUORVEL_HOME", "");
    EXPECT_EQ(ProgramFolder(), sourceData);
}

} // namespace
