#include "profile/u_cvprofile.h"

#include "profile/u_xmlprofile.h"
#include "sources/SpecialFolders.h"
#include "support/EnvOverride.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

class TFixedClock : public TClock {
public:
    TDateTime Now() const override { return 40000.5; }
};

// A record of the "things" folder with one value, a default and a newer version.
class TThing : public TCVProfile {
public:
    explicit TThing(int32_t version = 0)
        : TCVProfile(std::make_unique<TXMLProfileInterface>("things"), "new_thing"), Current(version) {}

    int64_t Size = 0;
    bool FreshDefaults = false;
    std::vector<int32_t> UpgradedFrom;

    void ReadValues() override { Size = ReadInt("Size", Size); }
    void WriteValues() override { WriteInt("Size", Size); }
    void SetDefaults() override {
        Size = 10;
        FreshDefaults = false;
    }
    void SetNewDefaults() override { FreshDefaults = true; }
    bool Upgrade(int32_t fromVersion) override {
        UpgradedFrom.push_back(fromVersion);
        Size = ReadInt("OldSize", 0) * 2;
        return true;
    }
    int32_t CurrentVersion() const override { return Current; }

private:
    int32_t Current;
};

class CVProfileTest : public ::testing::Test {
protected:
    TTestFolder Scratch;
    TEnvOverride DataHome{"XDG_DATA_HOME", Scratch.Path() + "data"};
    TFixedClock Clock;

    void SetUp() override {
        SetAppIdentity("Corvantis", "Quorvel", "Quorvel Help.chm");
        SetClock(&Clock);
    }
    void TearDown() override { SetClock(nullptr); }

    std::string Folder() const { return DataFolder() + "things/"; }
    void SaveThing(const std::string& name, int64_t size = 1) {
        TThing thing;
        thing.InitNew();
        thing.SetName(name);
        thing.Size = size;
        ASSERT_TRUE(thing.Save());
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Folder()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(CVProfileTest, SetNameKeepsNameCharactersAndPicksAFreeName) {
    SaveThing("site");
    SaveThing("Site1");
    SaveThing("new_thing");
    struct TCase {
        const char* Requested;
        const char* Expected;
    } const cases[] = {
        {"My Site 2", "MySite2"}, {"  ", "new_thing1"},   {"SITE", "SITE2"}, // suffixes counted from the reduced name
        {"s-i.t/e", "site2"},     {"caf\xC3\xA9", "caf"}, {"other", "other"},
    };
    for (const TCase& c : cases) {
        TThing thing;
        thing.InitNew();
        thing.SetName(c.Requested);
        EXPECT_EQ(thing.Name, c.Expected) << c.Requested;
    }

    TThing own;
    ASSERT_TRUE(own.Load("site"));
    own.SetName("SITE"); // its own name: only the letter case changes
    EXPECT_EQ(own.Name, "SITE");
}

TEST_F(CVProfileTest, SavingUnderANewNameRenamesTheRecord) {
    SaveThing("a", 5);
    SaveThing("site");
    TThing thing;
    ASSERT_TRUE(thing.Load("a"));
    thing.SetName("b");
    ASSERT_TRUE(thing.Save());
    EXPECT_EQ(thing.StoredName, "b");

    ASSERT_TRUE(thing.Load("site"));
    thing.SetName("Site");
    ASSERT_TRUE(thing.Save());
    EXPECT_EQ(Files(), (std::vector<std::string>{"Site.xml", "b.xml"}));

    TThing b;
    ASSERT_TRUE(b.Load("b"));
    EXPECT_EQ(b.Size, 5);
}

TEST_F(CVProfileTest, MissingOrDamagedRecordLoadsAsFreshRecordAndStaysOnDisk) {
    SaveThing("new_thing");
    const std::string damaged = Scratch.WriteFile("data/Corvantis/Quorvel/things/bad.xml", "<cvprofile><Size>");
    for (const char* name : {"absent", "bad"}) {
        TThing thing(4);
        thing.Size = 99;
        EXPECT_FALSE(thing.Load(name));
        EXPECT_EQ(thing.Name, "new_thing1");
        EXPECT_EQ(thing.StoredName, "");
        EXPECT_EQ(thing.CreationDate, 40000.5);
        EXPECT_EQ(thing.Version, 4);
        EXPECT_EQ(thing.Size, 10);
        EXPECT_TRUE(thing.FreshDefaults);
    }
    EXPECT_EQ(TTestFolder::ReadFile(damaged), "<cvprofile><Size>");
}

TEST_F(CVProfileTest, OlderRecordIsUpgradedAndWrittenBackAtOnce) {
    Scratch.WriteFile("data/Corvantis/Quorvel/things/old.xml",
                      "<cvprofile><CreationDate>36526</CreationDate><OldSize>21</OldSize></cvprofile>");
    TThing thing(2);
    ASSERT_TRUE(thing.Load("old"));
    EXPECT_EQ(thing.UpgradedFrom, std::vector<int32_t>{0});
    EXPECT_EQ(thing.Version, 2);
    EXPECT_EQ(thing.Size, 42);

    TThing again(2);
    ASSERT_TRUE(again.Load("old"));
    EXPECT_TRUE(again.UpgradedFrom.empty());
    EXPECT_EQ(again.Size, 42);
    EXPECT_EQ(again.CreationDate, 36526);
}

TEST_F(CVProfileTest, DeleteForgetsOnlyTheObjectsOwnRecord) {
    SaveThing("keep");
    SaveThing("drop");
    TThing thing;
    ASSERT_TRUE(thing.Load("keep"));
    thing.Delete("DROP"); // another record, found in any letter case
    thing.Delete("never_there");
    EXPECT_EQ(thing.Name, "keep");
    EXPECT_EQ(Files(), std::vector<std::string>{"keep.xml"});

    thing.Delete("keep");
    EXPECT_EQ(thing.Name, "");
    EXPECT_EQ(thing.StoredName, "");
    EXPECT_TRUE(Files().empty());
}

TEST_F(CVProfileTest, CopyFromGivesAnUnsavedCopyUnderAFreshName) {
    SaveThing("source", 77);
    TThing copy;
    ASSERT_TRUE(copy.CopyFrom("source"));
    EXPECT_EQ(copy.Size, 77);
    EXPECT_EQ(copy.Name, "new_thing");
    EXPECT_EQ(copy.StoredName, "");
    EXPECT_EQ(copy.CreationDate, 40000.5);
    ASSERT_TRUE(copy.Save());
    EXPECT_EQ(Files(), (std::vector<std::string>{"new_thing.xml", "source.xml"}));
}

TEST_F(CVProfileTest, FailedSaveKeepsTheOldRecord) {
    SaveThing("a", 3);
    fs::create_directories(Folder() + "b.xml/blocker");
    TThing thing;
    ASSERT_TRUE(thing.Load("a"));
    thing.Name = "b";
    thing.Size = 4;
    std::string error;
    EXPECT_FALSE(thing.Save(&error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(thing.StoredName, "a");
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.xml", "b.xml"})); // no temporary file left behind
    TThing a;
    ASSERT_TRUE(a.Load("a"));
    EXPECT_EQ(a.Size, 3);
}

// A store of plain keys, for the flat list form of the base interface.
class TKeyStore : public TCVProfileInterface {
public:
    TKeyStore() : TCVProfileInterface("") {}
    std::map<std::string, std::string, std::less<>> Keys;

    std::string ReadString(std::string_view key, std::string_view def) override {
        const auto it = Keys.find(key);
        return it != Keys.end() ? it->second : std::string(def);
    }
    bool HasKey(std::string_view key) override { return Keys.find(key) != Keys.end(); }
    void WriteString(std::string_view key, std::string_view value) override { Keys[std::string(key)] = value; }
    void ListNames(std::vector<std::string>&) override {}
    bool RecordExists(std::string_view) override { return false; }
    bool LoadRecord(std::string_view, const std::function<void()>&) override { return false; }
    bool SaveRecord(std::string_view, const std::function<void()>&, std::string*) override { return false; }
    void DeleteRecord(std::string_view) override {}
};

TEST(CVProfileInterfaceTest, FlatListsUseCountIndexAndIntKeys) {
    TKeyStore store;
    store.WriteList("L", {{"x", 5}, {"y", -6}}, true);
    store.WriteList("P", {{"p", 9}}, false);
    store.WriteDate("D", -1.5);
    EXPECT_EQ(store.Keys.size(), 8u);
    EXPECT_EQ(store.Keys["LCount"], "2");
    EXPECT_EQ(store.Keys["L1"], "y");
    EXPECT_EQ(store.Keys["LInt1"], "-6");
    EXPECT_EQ(store.Keys["P0"], "p");
    EXPECT_EQ(store.Keys["D"], "-1"); // only the whole day is written
    TProfileList list{{"stale", 1}};
    store.ReadList("L", list, true);
    EXPECT_EQ(list, (TProfileList{{"x", 5}, {"y", -6}}));
    store.ReadList("Absent", list, true);
    EXPECT_TRUE(list.empty());

    store.Keys = {{"NCount", "3"}, {"N0", "a"}, {"N2", "c"}, {"HugeCount", "999999999999"}};
    store.ReadList("N", list, false);
    EXPECT_EQ(list, (TProfileList{{"a", 0}, {"", 0}, {"c", 0}}));
    store.ReadList("Huge", list, false); // a damaged count stays bounded
    EXPECT_LE(list.size(), 100000u);
}

} // namespace
