#include "core/u_searchenginefinder.h"

#include "sources/SpecialFolders.h"
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

// The shipped engine list: hosts name their engine with or without a phrase; other hosts keep
// the phrase rule and their host as the engine.
TEST(SEFinderTest, KnownHostsNameTheirEngineWithOrWithoutAPhrase) {
    TSEFinder finder;
    finder.SetQueryNames({"q", "p"});
    finder.LoadHosts(ProgramFolder() + "static/search_engines.dta");
    EXPECT_TRUE(finder.HostProblems.empty());
    struct Case {
        const char* referrer;
        bool found;
        const char *engine, *phrase;
    };
    const Case cases[] = {
        {"https://www.google.com/", true, "Google", ""},
        {"https://www.google.com/search?q=Tent+Shop", true, "Google", "tent shop"},
        {"https://www.google.de/", true, "Google", ""},
        {"https://google.co.uk/url?sa=t&url=x", true, "Google", ""},
        {"https://www.google.com.br/search?q=barraca", true, "Google", "barraca"},
        {"https://WWW.GOOGLE.FR:443", true, "Google", ""},
        {"https://www.google.com/search?q=12345", true, "Google", ""},
        {"https://www.bing.com/search?q=first+snow", true, "Bing", "first snow"},
        {"https://duckduckgo.com/", true, "DuckDuckGo", ""},
        {"https://uk.search.yahoo.com/search?p=rome", true, "Yahoo", "rome"},
        {"https://search.yahoo.co.jp/", true, "Yahoo Japan", ""},
        {"https://yandex.ru/", true, "Yandex", ""},
        {"https://search.brave.com/search?q=x+y", true, "Brave Search", "x y"},
        {"https://www.example.com/find?q=tents", true, "Example.com", "tents"},
        {"https://www.example.com/", false, "", ""},
        {"https://google.example.com/", false, "", ""},
        {"https://notgoogle.com/", false, "", ""},
        {"https://lh3.googleusercontent.com/a.png", false, "", ""},
        {"https://fonts.googleapis.com/css", false, "", ""},
        {"https://mail.google.com/", false, "", ""},
        {"https://google.com.evil.test/?q=win", true, "Google.com.evil.test", "win"},
        {"-", false, "", ""},
    };
    for (const Case& c : cases) {
        finder.Engine = finder.Phrase = "";
        EXPECT_EQ(finder.Find(c.referrer), c.found) << c.referrer;
        EXPECT_EQ(finder.Engine, c.engine) << c.referrer;
        EXPECT_EQ(finder.Phrase, c.phrase) << c.referrer;
    }
}

TEST(SEFinderTest, HostFileSkipsCommentsAndReportsBadLines) {
    TTestFolder folder;
    TSEFinder finder;
    finder.LoadHosts(folder.WriteFile("e.dta", "# engines\r\n\n  www.Find.*  Find  It \r\nnoname.com\n"
                                               "*.*  All\nbad..com  Bad\n"));
    ASSERT_EQ(finder.HostPatterns.size(), 1u);
    EXPECT_EQ(finder.HostPatterns[0].Labels, (std::vector<std::string>{"find", "*"}));
    EXPECT_EQ(finder.HostPatterns[0].Engine, "Find  It");
    ASSERT_EQ(finder.HostProblems.size(), 3u);
    EXPECT_NE(finder.HostProblems[0].find("line 4"), std::string::npos);
    finder.LoadHosts(folder.Path() + "missing.dta");
    EXPECT_TRUE(finder.HostPatterns.empty());
}

} // namespace
