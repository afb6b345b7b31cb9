#include "sources/UnTar.h"

#include "support/TestFolder.h"

#include "support/EnvOverride.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

// A header block with a valid checksum, followed by the data and their padding.
std::string Member(std::string_view name, std::string data, int64_t time = 0, char type = '0',
                   std::string_view link = {}) {
    std::string h(512, '\0');
    name.substr(0, 100).copy(h.data(), 100);
    link.substr(0, 100).copy(&h[157], 100);
    std::snprintf(&h[100], 8, "%07o", 0644);
    std::snprintf(&h[124], 12, "%011llo", static_cast<unsigned long long>(data.size()));
    std::snprintf(&h[136], 12, "%011llo", static_cast<unsigned long long>(time));
    h[156] = type;
    std::memset(&h[148], ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : h)
        sum += c;
    std::snprintf(&h[148], 8, "%06o", sum);
    data.resize((data.size() + 511) / 512 * 512, '\0');
    return h + data;
}

const std::string kEnd(1024, '\0');
constexpr int64_t kUtcPlus3 = 3 * 3600;

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class UnTarTest : public ::testing::Test {
protected:
    // Local time is three hours east of UTC, so that local and UTC readings differ.
    TEnvOverride Zone{"TZ", "QVT-3"};

    TUnTarResult Extract(const std::string& archive, TOverwriteMode mode = TOverwriteMode::Replace) {
        UnTar.ArchiveName = archive;
        UnTar.ExtractFolder = Out;
        UnTar.OverwriteMode = mode;
        return UnTar.ExtractAll();
    }
    TUnTarResult ExtractBytes(const std::string& bytes, TOverwriteMode mode = TOverwriteMode::Replace) {
        return Extract(Folder.WriteFile("t.tar", bytes), mode);
    }

    TTestFolder Folder;
    const std::string Out = Folder.Path() + "out/";
    TUnTar UnTar;
};

TEST_F(UnTarTest, ExtractsSystemTarArchivesFlat) {
    const std::string src = Folder.Path() + "src/";
    const std::string deep = std::string(60, 'd') + "/" + std::string(70, 'f') + ".log"; // ustar splits it
    const std::string longName = std::string(150, 'n') + ".log";
    std::string big(200000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 % 251);
    Folder.WriteFile("src/logs/a.log", std::string(1000, 'a'));
    Folder.WriteFile("src/logs/b.log", "b line\n");
    Folder.WriteFile("src/logs/empty.log", "");
    Folder.WriteFile("src/logs/sub/c.log", big);
    Folder.WriteFile("src/logs/" + deep, "deep\n");
    Folder.WriteFile("src/logs/" + longName, "long\n");
    fs::create_symlink("a.log", src + "logs/link.log");
    fs::create_hard_link(src + "logs/b.log", src + "logs/hard.log");
    const timespec times[2] = {{0, UTIME_OMIT}, {1735648496, 0}}; // 2024-12-31 12:34:56 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, (src + "logs/a.log").c_str(), times, 0), 0);

    for (const std::string format : {"gnu", "pax", "ustar"}) {
        SCOPED_TRACE(format);
        fs::remove_all(Out);
        const bool ustar = format == "ustar";
        const std::string archive = Folder.Path() + format + ".tar";
        const std::string command = "cd '" + src + "' && tar --format=" + format + " -cf '" + archive +
                                    "' logs/a.log logs/b.log logs/hard.log logs/link.log logs/empty.log logs/sub " +
                                    "logs/" + deep.substr(0, 60) + (ustar ? "" : " logs/" + longName);
        ASSERT_EQ(std::system(command.c_str()), 0);

        const TUnTarResult result = Extract(archive);
        std::set<std::string> expected = {"a.log", "b.log", "c.log", deep.substr(61)};
        if (!ustar) expected.insert(longName);
        EXPECT_EQ(Listing(Out), expected);
        EXPECT_TRUE(result.Success());
        EXPECT_EQ(result.Written, static_cast<int>(expected.size()));
        EXPECT_EQ(TTestFolder::ReadFile(Out + "a.log"), std::string(1000, 'a'));
        EXPECT_EQ(TTestFolder::ReadFile(Out + "c.log"), big);
        EXPECT_EQ(TTestFolder::ReadFile(Out + deep.substr(61)), "deep\n");
        struct stat st {};
        ASSERT_EQ(stat((Out + "a.log").c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, 1735648496 - kUtcPlus3); // the UTC parts read as local time
    }
}

TEST_F(UnTarTest, HostileNamesStayInsideTheFolder) {
    std::string bytes;
    for (const char* name :
         {"../escape.log", "/abs/root.log", "a/../../up.log", "..", ".", "dir/", "x/..", "../", "ok.log"})
        bytes += Member(name, "evil\n");
    const TUnTarResult result = ExtractBytes(bytes + kEnd);
    EXPECT_EQ(Listing(Out), (std::set<std::string>{"escape.log", "root.log", "up.log", "ok.log"}));
    EXPECT_EQ(Listing(Folder.Path()), (std::set<std::string>{"out", "t.tar"}));
    EXPECT_EQ(result.Written, 4);
    EXPECT_TRUE(result.Success());
}

TEST_F(UnTarTest, LinksInTheFolderAreReplacedNotFollowed) {
    const std::string victim = Folder.WriteFile("victim.txt", "keep");
    fs::create_directories(Out);
    fs::create_symlink(victim, Out + "a.log");
    fs::create_symlink(Folder.Path() + "created.txt", Out + "dangling.log");
    ExtractBytes(Member("a.log", "new a\n") + Member("dangling.log", "new d\n") + kEnd);
    EXPECT_EQ(TTestFolder::ReadFile(victim), "keep");
    EXPECT_FALSE(fs::exists(Folder.Path() + "created.txt"));
    for (const char* name : {"a.log", "dangling.log"})
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Out + name)));
    EXPECT_EQ(TTestFolder::ReadFile(Out + "a.log"), "new a\n");
}

TEST_F(UnTarTest, LinkDeviceAndFolderMembersAreNotCreated) {
    const std::string victim = Folder.WriteFile("victim.txt", "keep");
    std::string bytes;
    bytes += Member("sym.log", "", 0, '2', victim);
    bytes += Member("hard.log", "", 0, '1', victim);
    bytes += Member("char.log", "", 0, '3');
    bytes += Member("block.log", "", 0, '4');
    bytes += Member("folder", "", 0, '5');
    bytes += Member("fifo.log", "", 0, '6');
    bytes += Member("sym.log", "through the link\n"); // a plain file of the link's name
    bytes += Member("ok.log", "ok\n");
    const TUnTarResult result = ExtractBytes(bytes + kEnd);
    EXPECT_EQ(Listing(Out), (std::set<std::string>{"sym.log", "ok.log"}));
    for (const char* name : {"sym.log", "ok.log"})
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Out + name))) << name;
    EXPECT_EQ(TTestFolder::ReadFile(Out + "sym.log"), "through the link\n");
    EXPECT_EQ(TTestFolder::ReadFile(victim), "keep");
    EXPECT_EQ(Listing(Folder.Path()), (std::set<std::string>{"out", "t.tar", "victim.txt"}));
    EXPECT_EQ(result.Written, 2);
}

TEST_F(UnTarTest, SameFileNameFollowsTheOverwriteMode) {
    const std::string bytes =
        Member("var/log/apache2/access.log", "first\n") + Member("other/access.log", "second\n") + kEnd;
    const struct {
        TOverwriteMode Mode;
        const char* Content;
        int Written;
    } cases[] = {{TOverwriteMode::Replace, "second\n", 2}, {TOverwriteMode::KeepExisting, "first\n", 1}};
    for (const auto& c : cases) {
        fs::remove_all(Out);
        EXPECT_EQ(ExtractBytes(bytes, c.Mode).Written, c.Written);
        EXPECT_EQ(Listing(Out), std::set<std::string>{"access.log"});
        EXPECT_EQ(TTestFolder::ReadFile(Out + "access.log"), c.Content);
    }
}

TEST_F(UnTarTest, DamageIsReportedAndCompleteMembersStay) {
    const std::string truncated = Member("b.log", std::string(3000, 'b')).substr(0, 512 + 1000);
    const TUnTarResult damaged = ExtractBytes(Member("a.log", "complete\n") + truncated);
    EXPECT_TRUE(damaged.Opened && damaged.Damaged && !damaged.Success());
    EXPECT_EQ(damaged.Written, 1);
    EXPECT_EQ(Listing(Out), std::set<std::string>{"a.log"}); // the incomplete member is not left

    const TUnTarResult missing = Extract(Folder.Path() + "missing.tar");
    EXPECT_FALSE(missing.Opened || missing.Success());
}

TEST_F(UnTarTest, TimeZeroIsMidnightFirstJanuary1970LocalTime) {
    ExtractBytes(Member("epoch.log", "x\n", 0) + kEnd);
    struct stat st {};
    ASSERT_EQ(stat((Out + "epoch.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, -kUtcPlus3);
}

} // namespace
