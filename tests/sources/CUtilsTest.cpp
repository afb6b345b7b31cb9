#include "sources/CUtils.h"

#include <gtest/gtest.h>

namespace {

TEST(CUtilsTest, FilterCharsKeepsOrRemovesMembersThenCollapsesAndTrims) {
    const TCharSet bad("\"*/:<>?\\|");
    EXPECT_EQ(FilterChars("a/b:c", bad, true, '-'), "a-b-c");
    EXPECT_EQ(FilterChars("  a**  b  ", bad, true, '\0'), "a b");
    EXPECT_EQ(FilterChars("x1y2z3", TCharSet("0123456789"), false, '\0'), "123");
    EXPECT_EQ(CleanWhitespace("a\r\nb\tc    d", kCleanAll), "ab c d");
    EXPECT_EQ(CleanWhitespace("a\tb", kCleanCrLf), "a\tb");
}

TEST(CUtilsTest, TokensSkipRunsOfSeparators) {
    EXPECT_EQ(TokenAt("%mydocuments%/logs/", 0), "%mydocuments%");
    EXPECT_EQ(TokenAt("//a//b", 1), "b");
    EXPECT_EQ(TokenAt("a/b", 2), "");
    EXPECT_EQ(TokenAt("a/b", -1), "");
    EXPECT_EQ(CountTokens("  one two   three ", 0), 3);
    EXPECT_EQ(CountTokens("a bb ccc dddd", 3), 2);
    EXPECT_EQ(CountTokens("", 0), 0);
}

TEST(CUtilsTest, SmallTextPredicates) {
    EXPECT_EQ(CapitalizeFirst("hello"), "Hello");
    EXPECT_EQ(CapitalizeFirst(""), "");
    EXPECT_EQ(AlnumOnly("a-b_c 1!"), "abc1");
    EXPECT_EQ(AlnumOnly("-!-"), "Undefined");
    EXPECT_TRUE(IsNumeric("1,234.5"));
    EXPECT_FALSE(IsNumeric(""));
    EXPECT_FALSE(IsNumeric("12a"));
    EXPECT_TRUE(IsHex("09afAF"));
    EXPECT_FALSE(IsHex("0x1"));
    EXPECT_TRUE(IsHex32("0123456789abcdef0123456789ABCDEF"));
    EXPECT_FALSE(IsHex32("0123456789abcdef"));
    EXPECT_EQ(HexToInt("ff"), 255);
    EXPECT_EQ(HexToInt("1A2"), 0x1A2);
    EXPECT_EQ(HexToInt("1g"), 0);
    EXPECT_EQ(HexToInt(""), 0);
    EXPECT_EQ(IfThen(true, "a", "b"), "a");
    EXPECT_EQ(WithFlags(0b0101, 0b0010, true), 0b0111);
    EXPECT_EQ(WithFlags(0b0111, 0b0011, false), 0b0100);
    EXPECT_TRUE(HasFlags(0b0111, 0b0101));
    EXPECT_FALSE(HasFlags(0b0100, 0b0101));
}

TEST(CUtilsTest, IntegerParsingRejectsJunkAndOverflow) {
    int64_t v = 0;
    EXPECT_TRUE(TryParseInt64("-9223372036854775808", v));
    EXPECT_EQ(v, INT64_MIN);
    EXPECT_FALSE(TryParseInt64("9223372036854775808", v));
    EXPECT_FALSE(TryParseInt64("12 ", v));
    EXPECT_FALSE(TryParseInt64("-", v));
    EXPECT_EQ(StrToInt64Def(" 42 ", 0), 42);
    EXPECT_EQ(StrToInt64Def("4x2", -1), -1);
    // Either side of the length up to which no digit can overflow.
    const struct {
        const char* Text;
        bool Parsed;
        int64_t Value;
    } cases[] = {{"999999999999999999", true, 999999999999999999},
                 {"-999999999999999999", true, -999999999999999999},
                 {"+000000000000000000042", true, 42},
                 {"9223372036854775807", true, INT64_MAX},
                 {"99999999999999999999", false, 0},
                 {"12345678901234567x", false, 0}};
    for (const auto& c : cases) {
        v = -7;
        EXPECT_EQ(TryParseInt64(c.Text, v), c.Parsed) << c.Text;
        if (c.Parsed) {
            EXPECT_EQ(v, c.Value) << c.Text;
        }
    }
}

TEST(CUtilsTest, RoundToSignificantTruncatesOrRoundsHalfToEven) {
    struct Case {
        int64_t value;
        int digits;
        int64_t truncated, rounded;
    };
    const Case cases[] = {{12345, 2, 12000, 12000}, {12567, 2, 12000, 13000}, {5, 1, 5, 5}, {250, 1, 200, 200},
                          {350, 1, 300, 400},       {99, 0, 90, 100},         {0, 3, 0, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(RoundToSignificant(c.value, c.digits, false), c.truncated) << c.value;
        EXPECT_EQ(RoundToSignificant(c.value, c.digits, true), c.rounded) << c.value;
    }
}

TEST(CUtilsTest, FormatSizePicksTheUnitAndCapsAtTerabytes) {
    EXPECT_EQ(FormatSize(-1, 0), "0.00 B");
    EXPECT_EQ(FormatSize(-1, 1023), "1023.00 B");
    EXPECT_EQ(FormatSize(-1, 1536), "1.50 KB");
    EXPECT_EQ(FormatSize(-1, 1048576), "1.00 MB");
    EXPECT_EQ(FormatSize(1, 1048576), "1024.00 KB");
    EXPECT_EQ(FormatSize(-1, int64_t{5} << 30), "5.00 GB");
    EXPECT_EQ(FormatSize(-1, int64_t{2048} << 40), "2048.00 TB");
    EXPECT_EQ(FormatSize(9, int64_t{1} << 40), "1.00 TB");
}

TEST(CUtilsTest, TimeToSecondsNeedsColonShapes) {
    EXPECT_EQ(TimeToSeconds("10:30"), 37800);
    EXPECT_EQ(TimeToSeconds("10:30:15"), 37815);
    EXPECT_EQ(TimeToSeconds("xx:30"), 1800);
    EXPECT_EQ(TimeToSeconds("10:30-15"), 37800);
    EXPECT_EQ(TimeToSeconds("1030"), -1);
    EXPECT_EQ(TimeToSeconds("103:0"), -1);
}

TDateTime Date(int y, int m, int d) {
    TDateTime t = 0;
    EXPECT_TRUE(TryEncodeDate(y, m, d, t));
    return t;
}

TEST(CUtilsTest, DateFromPartsReadsNamesAndShortYears) {
    EXPECT_EQ(DateFromParts("02", "Mar", "4"), Date(2002, 3, 4));
    EXPECT_EQ(DateFromParts("91", "12", "31"), Date(1991, 12, 31));
    EXPECT_EQ(DateFromParts("2003", "OCT", "10"), Date(2003, 10, 10));
    EXPECT_EQ(DateFromParts("90", "1", "1"), Date(2090, 1, 1));
    EXPECT_EQ(DateFromParts("2002", "feb", "30"), 0);
    EXPECT_EQ(DateFromParts("2002", "foo", "1"), 0);
    EXPECT_EQ(DateFromParts("2002", "13", "1"), 0);
    EXPECT_EQ(DateFromParts("x", "", ""), 0);
}

class TFixedClock : public TClock {
public:
    explicit TFixedClock(TDateTime now) : Value(now) {}
    TDateTime Now() const override { return Value; }
    TDateTime Value;
};

TEST(CUtilsTest, ParseLooseDateReadsListingDates) {
    TFixedClock clock(Date(2002, 6, 15) + 0.5);
    SetClock(&clock);
    EXPECT_EQ(ParseLooseDate("Mar 4 2002", false), Date(2002, 3, 4));
    EXPECT_DOUBLE_EQ(ParseLooseDate("20020304103000", false), Date(2002, 3, 4) + 37800 / 86400.0);
    EXPECT_EQ(ParseLooseDate("20020304", false), Date(2002, 3, 4));
    // Year missing: this year's, unless that lies in the future.
    EXPECT_DOUBLE_EQ(ParseLooseDate("Mar  4 10:30", false), Date(2002, 3, 4) + 37800 / 86400.0);
    EXPECT_EQ(ParseLooseDate("Dec 24 10:30", false), Date(2001, 12, 24));
    EXPECT_DOUBLE_EQ(ParseLooseDate("Dec 24 10:30", true), Date(2002, 12, 24) + 37800 / 86400.0);
    // A two-character text standing in the month moves to the year when a name arrives.
    EXPECT_EQ(ParseLooseDate("04 02 Mar", false), Date(2002, 3, 4));
    EXPECT_EQ(ParseLooseDate("4 03 2002", false), Date(2002, 3, 4));
    EXPECT_EQ(ParseLooseDate("", false), Date(2002, 6, 15));
    SetClock(nullptr);
}

TEST(CUtilsTest, IPv4AddressesRoundTripAndRejectJunk) {
    EXPECT_EQ(IPToInt("192.168.0.1"), 3232235521u);
    EXPECT_EQ(IPToInt("0.0.0.0"), 0u);
    EXPECT_EQ(IPToInt("255.255.255.255"), 0xFFFFFFFFu);
    for (const char* bad : {"1.2.3", "1.2.3.256", "1.2.3.4.5", "1..2.3", "a.b.c.d", "1.2.3.4 ", "+1.2.3.4", "1.2,3.4",
                            "", "::1", "1.2.3.0x4"})
        EXPECT_EQ(IPToInt(bad), 0u) << bad;
    EXPECT_EQ(IntToIP(3232235521u), "192.168.0.1");
    EXPECT_EQ(IntToIP(0xFFFFFFFFu), "255.255.255.255");
}

TEST(CUtilsTest, UrlDecodeRepeatsAndDropsControlAndMalformedEscapes) {
    struct Case {
        const char *in, *out;
    };
    const Case cases[] = {
        {"a%20b", "a b"},  {"%2541", "A"},       {"a%0Db", "ab"},
        {"50%off", "50f"}, {"plain", "plain"},   {"%", ""},
        {"a%4", "a"},      {"%41%42%41", "ABA"}, {"%e2%82%ac", "\xe2\x82\xac"},
        {"100%25", "100"}, {"x%%41", "x1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UrlDecode(c.in), c.out) << c.in;
}

TEST(CUtilsTest, UrlPiecesTreatHttpAndHttpsAlike) {
    EXPECT_EQ(UrlDirectory("http://host/a/b.html"), "/a/");
    EXPECT_EQ(UrlDirectory("HTTPS://host/a/b/c.html"), "/a/b/");
    EXPECT_EQ(UrlDirectory("https://host"), "/");
    EXPECT_EQ(UrlDirectory("b.html"), "/");
    EXPECT_EQ(UrlDirectory("/x/y"), "/x/");
    EXPECT_EQ(UrlDirectory("ftp://host/a/b"), "ftp://host/a/");
    EXPECT_EQ(UrlHost("http://www.example.com/page"), "www.example.com");
    EXPECT_EQ(UrlHost("HTTPS://Example.com"), "Example.com");
    EXPECT_EQ(UrlQuery("/a?b=1?c"), "b=1?c");
    EXPECT_EQ(UrlQuery("/a"), "");
    EXPECT_EQ(StripWww("www.example.com"), "example.com");
    EXPECT_EQ(StripWww("WWW.example.com"), "WWW.example.com");
    EXPECT_EQ(QueryParamAt("q=a+b&&lang= en ", 1), "lang= en ");
    EXPECT_EQ(QueryParamName("q=a+b& lang = en", 1), "lang");
    EXPECT_EQ(QueryParamValue("q=a+b& lang = en", 1), "en");
    EXPECT_EQ(QueryParamValue("flag", 0), "");
    EXPECT_EQ(QueryParamName("flag", 0), "flag");
    EXPECT_EQ(QueryParamAt("a=1", -1), "");
}

TEST(CUtilsTest, MatchesMaskWildcardsSetsAndCase) {
    struct Case {
        const char *text, *mask;
        bool matches;
    };
    const Case cases[] = {
        {"index.html", "*.html", true},
        {"INDEX.HTML", "*.html", true},
        {"index.htm", "*.html", false},
        {"", "*", true},
        {"", "", true},
        {"a", "", false},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"/images/logo.gif", "/images/*", true},
        {"/img/a/b/c.png", "*/a/*.png", true},
        {"aaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*c", false},
        {"b", "[abc]", true},
        {"B", "[abc]", true},
        {"d", "[abc]", false},
        {"m", "[a-z]", true},
        {"M", "[a-z]", true},
        {"5", "[a-z]", false},
        {"5", "[!a-z]", true},
        {"x", "[!a-z]", false},
        {"-", "[a-]", true},
        {"file7.log", "file[0-9].log", true},
        {"a", "[", false},
        {"a", "[a", false},
        {"a", "[-a]", false},
        {"a", "[!]", true},
        {"a", "[]", false},
        {"x*y", "x[*]y", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesMask(c.text, c.mask), c.matches) << c.text << " ~ " << c.mask;
    EXPECT_TRUE(MatchesMask("abc", std::string(30, '*')));
    EXPECT_FALSE(MatchesMask("abc", std::string(31, '*')));
}

TEST(CUtilsTest, MatchesAnyMaskTrimsMasksAndRefusesEmptyNames) {
    const std::vector<std::string> masks = {" *.gif ", "*.png"};
    EXPECT_TRUE(MatchesAnyMask("a.gif", masks));
    EXPECT_TRUE(MatchesAnyMask("b.PNG", masks));
    EXPECT_FALSE(MatchesAnyMask("c.jpg", masks));
    EXPECT_FALSE(MatchesAnyMask("", {"*"}));
}

TEST(CUtilsTest, XmlEscapeWritesReferencesAndKeepsMarkupPieces) {
    EXPECT_EQ(XmlEscape("a<b & \"c\""), "a&#60;b &#38; &#34;c&#34;");
    EXPECT_EQ(XmlEscape("<URL>x&y</URL>"), "<URL>x&#38;y</URL>");
    EXPECT_EQ(XmlEscape("up<ARROW/>"), "up<ARROW/>");
    EXPECT_EQ(XmlEscape("<b>"), "&#60;b&#62;");
    EXPECT_EQ(XmlEscape("/a?b=c"), "&#47;a&#63;b&#61;c");
    // A UTF-8 sequence is one character; a stray byte is read as Latin-1.
    EXPECT_EQ(XmlEscape("\xc3\xa9t\xc3"), "&#233;t&#195;");
    EXPECT_EQ(XmlEscape("\xe2\x82\xac"), "&#8364;");
    EXPECT_EQ(XmlEscape("\xe9"), "&#233;");
    // Control characters XML cannot carry become the replacement character.
    EXPECT_EQ(XmlEscape(std::string("a\x01\tb", 4)), "a&#65533;&#9;b");
}

TEST(CUtilsTest, CaseAndTrimHelpers) {
    EXPECT_EQ(LowerCase("AbC\xc9"), "abc\xc9");
    EXPECT_TRUE(SameText("Hello", "hELLO"));
    EXPECT_FALSE(SameText("Hello", "Hell"));
    EXPECT_TRUE(StartsWithNoCase("HTTP://x", "http://"));
    EXPECT_EQ(Trim("\t a b \r\n"), "a b");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
}

} // namespace
