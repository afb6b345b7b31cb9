#include "profile/u_xmlprofile.h"

#include "sources/SpecialFolders.h"
#include "support/EnvOverride.h"
#include "support/PeakMemory.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// A record with every kind of value the store keeps.
class TSampleRecord : public TCVProfile {
public:
    TSampleRecord() : TCVProfile(std::make_unique<TXMLProfileInterface>("samples"), "new_sample") {}

    int64_t Visits = 0;
    TDateTime LastDay = 0;
    std::string Title;
    TProfileList Paths, Groups, NoGroups;

    void ReadValues() override {
        Visits = ReadInt("Visits", 0);
        LastDay = ReadDate("LastDay", 0);
        Title = ReadString("Title", "");
        ReadList("Paths", Paths, false);
        ReadList("Groups", Groups, true);
        ReadList("NoGroups", NoGroups, true);
    }
    void WriteValues() override {
        WriteInt("Visits", Visits);
        WriteDate("LastDay", LastDay);
        WriteString("Title", Title);
        WriteList("Paths", Paths, false);
        WriteList("Groups", Groups, true);
        WriteList("NoGroups", NoGroups, true);
    }
    int32_t CurrentVersion() const override { return 3; }
};

class XMLProfileTest : public ::testing::Test {
protected:
    TTestFolder Scratch;
    TEnvOverride DataHome{"XDG_DATA_HOME", Scratch.Path() + "data"};
    TXMLProfileInterface Store{"samples"};

    void SetUp() override { SetAppIdentity("Corvantis", "Quorvel", "Quorvel Help.chm"); }

    std::string Folder() const { return DataFolder() + "samples/"; }
    std::string WriteRecord(const std::string& fileName, std::string_view text) const {
        return Scratch.WriteFile("data/Corvantis/Quorvel/samples/" + fileName, text);
    }
    std::vector<std::string> FilesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Folder()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(XMLProfileTest, SavedRecordMatchesTheFileFormatByteForByte) {
    TSampleRecord record;
    record.InitNew();
    record.SetName("sample");
    record.CreationDate = 36526.9; // the time of day is not kept
    record.Visits = -42;
    record.LastDay = 36530.25;
    record.Title = "  a<&>b";
    record.Paths = {{"/var/log/", 0}, {" spaced", 0}};
    record.Groups = {{"Images", 7}, {"Office", -1}};
    ASSERT_TRUE(record.Save());

    EXPECT_EQ(TTestFolder::ReadFile(Folder() + "sample.xml"),
              TTestFolder::ReadFile(TestDataFolder() + "profile/sample_record.xml"));

    TSampleRecord read;
    ASSERT_TRUE(read.Load("sample"));
    EXPECT_EQ(read.CreationDate, 36526);
    EXPECT_EQ(read.Visits, -42);
    EXPECT_EQ(read.LastDay, 36530);
    EXPECT_EQ(read.Title, "a<&>b"); // scalar texts are trimmed
    EXPECT_EQ(read.Paths, record.Paths);
    EXPECT_EQ(read.Groups, record.Groups);
    EXPECT_TRUE(read.NoGroups.empty());
}

// Keys of a newer version or of another tool survive a load and save, after the record's own
// keys and in their order, and follow the record when it is copied under a new name.
TEST_F(XMLProfileTest, UnknownKeysSurviveLoadAndSave) {
    struct TCase {
        std::string Read, Written;
    } const cases[] = {
        {"<Future>  7 </Future>\r\n", "<Future>  7 </Future>\r\n"},
        {"<Extra>\r\n<item intval=\"3\">a</item>\r\n<item> b</item>\r\n</Extra>\r\n",
         "<Extra>\r\n<item intval=\"3\">a</item>\r\n<item> b</item>\r\n</Extra>\r\n"},
        {"<Tool mode=\"x\"><inner><deep>v&amp;w</deep></inner></Tool>\r\n",
         "<Tool mode=\"x\">\r\n<inner>\r\n<deep>v&amp;w</deep>\r\n</inner>\r\n</Tool>\r\n"},
        // The saved record has no DTD: an entity reference would make it unreadable.
        {"<Entity>a&word;b</Entity>\r\n", "<Entity>ab</Entity>\r\n"},
    };
    std::string text = "<?xml version=\"1.0\"?>\r\n<!DOCTYPE cvprofile [<!ENTITY word \"w\">]>\r\n<cvprofile>\r\n" +
                       cases[0].Read + "<Visits>5</Visits>\r\n";
    for (size_t i = 1; i < std::size(cases); ++i)
        text += cases[i].Read;
    WriteRecord("hand.xml", text + "</cvprofile>\r\n");
    TSampleRecord record;
    ASSERT_TRUE(record.Load("hand"));
    record.Visits = 6;
    ASSERT_TRUE(record.Save());
    ASSERT_TRUE(record.CopyFrom("hand"));
    record.SetName("copy");
    ASSERT_TRUE(record.Save());
    ASSERT_TRUE(record.Load("copy"));
    ASSERT_TRUE(record.Save()); // saved again unchanged
    for (const char* name : {"hand.xml", "copy.xml"}) {
        const std::string saved = TTestFolder::ReadFile(Folder() + name);
        size_t previous = saved.find("<NoGroups/>");
        ASSERT_NE(previous, std::string::npos) << name;
        for (const TCase& c : cases) {
            const size_t at = saved.find(c.Written);
            EXPECT_GT(at, previous) << name << "\n" << c.Written << "\n" << saved;
            previous = at;
        }
        EXPECT_NE(saved.find("<Visits>6</Visits>"), std::string::npos) << name;
    }
}

TEST_F(XMLProfileTest, ReadsHandWrittenRecordsWithoutExpandingEntities) {
    WriteRecord("hand.xml", "<?xml version=\"1.0\"?>\n"
                            "<!DOCTYPE cvprofile [\n"
                            "  <!ENTITY local SYSTEM \"file:///etc/passwd\">\n"
                            "  <!ENTITY word \"expanded\">\n"
                            "]>\n"
                            "<cvprofile>\n"
                            "  <Number> 12 </Number><Number>99</Number>\n"
                            "  <Bad>12abc</Bad>\n"
                            "  <Text><![CDATA[<raw>]]>&amp;&word;&local;</Text>\n"
                            "  <List>\n"
                            "    <item>one</item><other>x</other>\n"
                            "    <item intval=\"x\"> two </item><item intval=\"99999999999\"/>\n"
                            "  </List>\n"
                            "</cvprofile>\n");
    bool called = false;
    ASSERT_TRUE(Store.LoadRecord("hand", [&] {
        called = true;
        EXPECT_EQ(Store.ReadInt("Number", 0), 12); // the first element of a name counts
        EXPECT_EQ(Store.ReadInt("Bad", -1), -1);
        EXPECT_EQ(Store.ReadInt("Missing", 5), 5);
        EXPECT_EQ(Store.ReadDate("Number", 1), 12);
        EXPECT_EQ(Store.ReadDate("Missing", 7), 7);
        EXPECT_EQ(Store.ReadString("Text", ""), "<raw>&");
        EXPECT_EQ(Store.ReadString("Missing", "dflt"), "dflt");
        EXPECT_TRUE(Store.HasKey("List"));
        EXPECT_FALSE(Store.HasKey("number"));
        TProfileList list;
        Store.ReadList("List", list, true);
        EXPECT_EQ(list, (TProfileList{{"one", 0}, {" two ", 0}, {"", 0}}));
    }));
    EXPECT_TRUE(called);
}

TEST_F(XMLProfileTest, UnreadableFilesLoadNothingSilentlyAndStayOnDisk) {
    const std::string texts[] = {
        "",
        "<cvprofile><Open>1</Open>",
        "<?xml version=\"1.0\"?><settings><ShowTips>1</ShowTips></settings>",
        "\x01\x02 not xml",
    };
    for (const std::string& text : texts) {
        const std::string path = WriteRecord("bad.xml", text);
        testing::internal::CaptureStderr();
        bool called = false;
        EXPECT_FALSE(Store.LoadRecord("bad", [&] { called = true; })) << text;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << text;
        EXPECT_FALSE(called);
        EXPECT_EQ(TTestFolder::ReadFile(path), text);
    }
    EXPECT_FALSE(Store.LoadRecord("absent", [] {}));
}

// Records of 50 MB, as one value or as two million keys, are refused with the file left as it
// was, in bounded time and memory.
TEST_F(XMLProfileTest, FiftyMegabyteRecordsAreRefusedBoundedAndStayOnDisk) {
    const size_t size = 50u << 20;
    for (const bool manyKeys : {false, true}) {
        const std::string path = WriteRecord("big.xml", "");
        {
            std::ofstream out(path, std::ios::binary);
            out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<cvprofile>";
            if (manyKeys) {
                for (size_t written = 0; written < size; written += 26)
                    out << "<Key>value of a key</Key>\n";
            } else {
                out << "<Title>";
                const std::string block(1 << 20, 'a');
                for (size_t i = 0; i < size / block.size(); ++i)
                    out << block;
                out << "</Title>";
            }
            out << "</cvprofile>\n";
        }
        const auto fileSize = fs::file_size(path);
        const auto start = std::chrono::steady_clock::now();
        const int64_t memoryBefore = PeakMemoryMB();
        bool called = false;
        EXPECT_FALSE(Store.LoadRecord("big", [&] { called = true; })) << manyKeys;
        EXPECT_FALSE(called);
        if (kPeakMemoryIsMeaningful) {
            EXPECT_LT(PeakMemoryMB() - memoryBefore, 64) << manyKeys;
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << manyKeys;
        EXPECT_EQ(fs::file_size(path), fileSize);
    }
}

// A hand-edited record with bytes that are not UTF-8 is not loaded and stays as it was; the
// record saved in its place reads back.
TEST_F(XMLProfileTest, RecordWithInvalidUtf8IsRefusedAndItsReplacementReadsBack) {
    const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><cvprofile><Title>caf\xE9 \xFF\xFE</Title>"
                             "<Visits>3</Visits></cvprofile>";
    const std::string path = WriteRecord("odd.xml", text);
    bool called = false;
    EXPECT_FALSE(Store.LoadRecord("odd", [&] { called = true; }));
    EXPECT_FALSE(called);
    EXPECT_EQ(TTestFolder::ReadFile(path), text);
    ASSERT_TRUE(Store.SaveRecord(
        "odd", [&] { Store.WriteString("Title", "caf\xE9 \xFF\xFE"); }, nullptr));
    std::string title;
    ASSERT_TRUE(Store.LoadRecord("odd", [&] { title = Store.ReadString("Title", ""); }));
    EXPECT_EQ(title, "caf\xC3\xA9 \xC3\xBF\xC3\xBE");
}

TEST_F(XMLProfileTest, FindsReplacesAndDeletesRecordsWithoutRegardToCase) {
    WriteRecord("Site.xml", "<cvprofile><Key>old</Key></cvprofile>");
    EXPECT_TRUE(Store.RecordExists("SITE"));
    std::string value;
    ASSERT_TRUE(Store.LoadRecord("site", [&] { value = Store.ReadString("Key", ""); }));
    EXPECT_EQ(value, "old");

    ASSERT_TRUE(Store.SaveRecord(
        "site", [&] { Store.WriteString("Key", "new"); }, nullptr));
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"site.xml"});

    WriteRecord("SITE.xml", "<cvprofile/>");
    Store.DeleteRecord("Site");
    EXPECT_TRUE(FilesInFolder().empty());
    EXPECT_FALSE(Store.RecordExists("site"));
}

TEST_F(XMLProfileTest, ListNamesGivesOnlyRecordFiles) {
    WriteRecord("a.xml", "<cvprofile/>");
    WriteRecord("B.XML", "<cvprofile/>");
    WriteRecord("c.xml.bak", "");
    WriteRecord("d.xml/inside.xml", "");
    std::vector<std::string> names{"stale"};
    Store.ListNames(names);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"B", "a"}));
}

TEST_F(XMLProfileTest, FailedOrRefusedSavesReportWhy) {
    Scratch.WriteFile("data/Corvantis/Quorvel/samples", "a file where the folder belongs");
    std::string error;
    EXPECT_FALSE(Store.SaveRecord(
        "x", [&] { Store.WriteInt("Key", 1); }, &error));
    EXPECT_NE(error.find("samples"), std::string::npos) << error;

    // A name never reaches outside the record folder.
    for (const char* name : {"", "../escape", "a/b"}) {
        error.clear();
        EXPECT_FALSE(Store.SaveRecord(
            name, [] {}, &error))
            << name;
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(Store.RecordExists(name));
    }
    EXPECT_FALSE(fs::exists(DataFolder() + "escape.xml"));
}

TEST_F(XMLProfileTest, TextsThatXmlCannotHoldStillGiveAReadableRecord) {
    ASSERT_TRUE(Store.SaveRecord(
        "odd",
        [&] {
            Store.WriteList("List", {{"ctl\x01\x1f ok\tend\xE9", 0}, {"\xEF\xBF\xBFkeep \xC3\xA9", 0}}, false);
        },
        nullptr));
    TProfileList list;
    ASSERT_TRUE(Store.LoadRecord("odd", [&] { Store.ReadList("List", list, false); }));
    EXPECT_EQ(list, (TProfileList{{"ctl ok\tend\xC3\xA9", 0}, {"keep \xC3\xA9", 0}}));
}

} // namespace
