#include "report/CLangReader.h"

#include "sources/SpecialFolders.h"
#include "support/EnvOverride.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace {

std::vector<std::string> LinesOf(const TCLangReader& reader) {
    std::vector<std::string> lines;
    for (int n = 0; n < reader.LineCount(); ++n)
        lines.push_back(reader.Line(n));
    return lines;
}

TEST(CLangReaderTest, LoadsByNameWithExtensionOrPathAsUtf8Lines) {
    TTestFolder scratch;
    // Every line end, a byte-order mark, and a Latin-1 byte from an 8-bit code page.
    scratch.WriteFile("lang/de.lng", "\uFEFFa\r\nGr\u00FC\u00DFe\nc\rM\xE4rz\r\n\r\n");
    TCLangReader reader;
    reader.SetFolder(scratch.Path() + "lang");
    const std::vector<std::string> expected = {"a", "Gr\u00FC\u00DFe", "c", "M\u00E4rz", ""};
    for (const char* name : {"de", "de.lng", "/somewhere/else/de.lng"}) {
        ASSERT_TRUE(reader.Load(name)) << name;
        EXPECT_EQ(LinesOf(reader), expected) << name;
    }
    EXPECT_EQ(reader.Line(-1), "");
    EXPECT_EQ(reader.Line(5), "");

    EXPECT_FALSE(reader.Load("fr"));
    EXPECT_EQ(reader.LineCount(), 0);
}

TEST(CLangReaderTest, ListsLanguageFilesThatLoadAsListed) {
    TTestFolder scratch;
    TCLangReader reader;
    reader.SetFolder(scratch.Path());
    std::vector<std::string> list = {"stale"};
    reader.ListLanguages(list);
    EXPECT_TRUE(list.empty());

    scratch.WriteFile("b.lng", "b\n");
    scratch.WriteFile("A.LNG", "a\n");
    scratch.WriteFile("en.uk.lng", "uk\n");
    scratch.WriteFile("notes.txt", "x\n");
    std::filesystem::create_directory(scratch.Path() + "folder.lng");
    reader.ListLanguages(list);
    EXPECT_EQ(list, (std::vector<std::string>{"A", "b", "en.uk"}));
    for (const std::string& name : list) {
        ASSERT_TRUE(reader.Load(name)) << name;
        EXPECT_EQ(reader.LineCount(), 1) << name;
    }
    EXPECT_EQ(reader.Line(0), "uk");
}

TEST(CLangReaderTest, ShippedEnglishFillsEveryLineAndKeepsItsPlaceholders) {
    TEnvOverride home("QUORVEL_HOME", ResolveProgramFolder("", ""));
    TCLangReader reader;
    ASSERT_TRUE(reader.Load("english"));
    ASSERT_EQ(reader.LineCount(), llPartialsMerged + 1);

    const std::set<int> unused = {8, 9, 78, 84};
    const std::set<int> oneValue = {94, 98, 99, 100, 101, 105, 112, 114, 117, 145, 146, 147};
    for (int n = 0; n < reader.LineCount(); ++n) {
        const std::string& line = reader.Line(n);
        EXPECT_EQ(line.empty(), unused.count(n) == 1) << "line " << n;
        size_t placeholders = 0;
        for (size_t pos = line.find("%s"); pos != std::string::npos; pos = line.find("%s", pos + 2))
            ++placeholders;
        const size_t expected = n == 41 ? 2 : oneValue.count(n);
        EXPECT_EQ(placeholders, expected) << "line " << n << ": " << line;
        // A stray "%" in a format line would be read as another conversion.
        if (expected > 0) {
            EXPECT_EQ(std::count(line.begin(), line.end(), '%'), static_cast<long>(expected)) << "line " << n;
        }
    }
    EXPECT_EQ(reader.Line(120), "Sunday");
    EXPECT_EQ(reader.Line(138), "December");
}

} // namespace
