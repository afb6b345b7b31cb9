#include "core/u_searchenginefinder.h"

#include "support/TestFolder.h"

#include <gtest/gtest.h>

namespace {

TEST(SEFinderTest, LoadSortsAndDropsDuplicatesWithoutCase) {
    TTestFolder folder;
    TSEFinder finder;
    finder.Load(folder.WriteFile("q.dta", "query\r\nq\nQ\n\np\n"));
    EXPECT_EQ(finder.QueryNames, (std::vector<std::string>{"", "p", "q", "query"}));
    finder.Load(folder.Path() + "missing.dta");
    EXPECT_TRUE(finder.QueryNames.empty());
    EXPECT_FALSE(finder.Find("https://www.example.com/search?q=term"));
}

TEST(SEFinderTest, FindsEngineAndPhraseAndRejectsNonPhrases) {
    TSEFinder finder;
    finder.SetQueryNames({"q", "p", "wd"});
    struct Case {
        const char* referrer;
        bool found;
        const char *engine, *phrase;
    };
    const Case cases[] = {
        {"http://www.google.com/search?hl=en&q=Web+Log+Analysis", true, "Google.com", "web log analysis"},
        {"https://search.yahoo.com/search?P= Some  Thing &q=other", true, "Search.yahoo.com", "some  thing"},
        {"https://www.baidu.com/s?wd=2003 report", true, "Baidu.com", "2003 report"},
        {"http://www.google.com/search?q=cache:abc", false, "", ""},
        {"http://www.google.com/search?q=12345", false, "", ""},
        {"http://www.google.com/search?q=2003", false, "", ""},
        {"http://www.google.com/search?q=1,5.x", false, "", ""},
        {"http://www.google.com/search?q=0123456789abcdef0123456789ABCDEF", false, "", ""},
        {"http://www.google.com/search?q=+++", false, "", ""},
        {"http://www.google.com/search?=x&q=term", false, "", ""},
        {"http://www.google.com/search?hl=en", false, "", ""},
        {"http://www.google.com/search", false, "", ""},
    };
    for (const Case& c : cases) {
        finder.Engine = finder.Phrase = "";
        EXPECT_EQ(finder.Find(c.referrer), c.found) << c.referrer;
        EXPECT_EQ(finder.Engine, c.engine) << c.referrer;
        EXPECT_EQ(finder.Phrase, c.phrase) << c.referrer;
    }
    const std::string longPhrase = "http://e.com/?q=" + std::string(101, 'a');
    EXPECT_FALSE(finder.Find(longPhrase));
}

} // namespace
