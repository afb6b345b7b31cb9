#include "core/CParser.h"

#include <gtest/gtest.h>

namespace {

const char* const kDefaultFormat = "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b \"%r\" \"%a\"";

TEST(CParserTest, DefaultFormatSplitsIntoCodesAndSeparators) {
    TCParser parser;
    EXPECT_TRUE(parser.SetFormat(kDefaultFormat));
    ASSERT_EQ(parser.CodeCount(), 17);
    ASSERT_EQ(parser.SeparatorCount(), 18);
    std::string codes;
    for (int i = 1; i <= parser.CodeCount(); ++i)
        codes += parser.Code(i);
    EXPECT_EQ(codes, "HxudmyhnszMfxcbra");
    const char* const separators[] = {"",  " ",    " ", " [", "/",   "/", ":",   ":",     ":",
                                      " ", "] \"", " ", " ",  "\" ", " ", " \"", "\" \"", "\""};
    for (int i = 1; i <= 18; ++i)
        EXPECT_EQ(parser.Separator(i), separators[i - 1]) << i;
}

TEST(CParserTest, FormatsWithoutCodesOrEndingInLiteralText) {
    TCParser parser;
    parser.SetFormat("plain");
    EXPECT_EQ(parser.CodeCount(), 0);
    ASSERT_EQ(parser.SeparatorCount(), 1);
    EXPECT_EQ(parser.Separator(1), "plain");
    parser.SetFormat("%a%");
    EXPECT_EQ(parser.CodeCount(), 1);
    EXPECT_EQ(parser.SeparatorCount(), 2);
    parser.SetFormat("%%");
    EXPECT_EQ(parser.CodeCount(), 1);
    EXPECT_EQ(parser.Code(1), '%');
    parser.SetFormat("");
    EXPECT_EQ(parser.SeparatorCount(), 0);
}

TEST(CParserTest, OverlongFormatsDropTheExcess) {
    std::string format;
    for (int i = 0; i < 300; ++i)
        format += "%x,";
    TCParser parser;
    EXPECT_FALSE(parser.SetFormat(format));
    EXPECT_EQ(parser.SeparatorCount(), TCParser::kMaxParts);
    EXPECT_EQ(parser.CodeCount(), TCParser::kMaxParts);
}

TEST(CParserTest, FieldsEndAtTheNextSeparator) {
    TCParser parser;
    parser.SetFormat(kDefaultFormat);
    parser.SetLine("1.2.3.4 - bob [10/Oct/2003:13:55:36 -0700] \"GET /a/b.html?x=1 HTTP/1.1\" 200 2326 \"-\" "
                   "\"Mozilla/4.0 (compatible; MSIE 6.0)\"");
    ASSERT_TRUE(parser.Valid());
    EXPECT_EQ(parser.Field('H'), "1.2.3.4");
    EXPECT_EQ(parser.Field('u'), "bob");
    EXPECT_EQ(parser.Field('d'), "10");
    EXPECT_EQ(parser.Field('m'), "Oct");
    EXPECT_EQ(parser.Field('y'), "2003");
    EXPECT_EQ(parser.FieldInt('s'), 36);
    EXPECT_EQ(parser.FieldInt('z'), -700);
    EXPECT_EQ(parser.Field('f'), "/a/b.html?x=1");
    EXPECT_EQ(parser.Field('x'), "HTTP/1.1"); // the last "%x" wins
    EXPECT_EQ(parser.FieldInt('b'), 2326);
    EXPECT_EQ(parser.Field('a'), "Mozilla/4.0 (compatible; MSIE 6.0)");
}

TEST(CParserTest, LastCodeTakesTheRestOfTheLine) {
    TCParser parser;
    parser.SetFormat("%a %b");
    parser.SetLine("one two \"three\"  four ");
    EXPECT_TRUE(parser.Valid());
    EXPECT_EQ(parser.Field('a'), "one");
    EXPECT_EQ(parser.Field('b'), "two \"three\"  four ");
}

TEST(CParserTest, AFieldNeedsTwoCharactersLeftToLookFurther) {
    TCParser parser;
    parser.SetFormat("%a,%b,");
    parser.SetLine("1,,");
    EXPECT_FALSE(parser.Valid());
    parser.SetLine("1,2,");
    EXPECT_TRUE(parser.Valid());
    EXPECT_EQ(parser.Field('b'), "2");
}

TEST(CParserTest, UncapturedFieldsKeepTheirEarlierText) {
    TCParser parser;
    parser.SetFormat("#Date: %y-%m-%d %x");
    parser.SetLine("#Date: 2002-03-04 10:00:00");
    ASSERT_TRUE(parser.Valid());
    parser.SetFormat("%h:%n:%s %f");
    parser.SetLine("10:11:12 /index.html");
    ASSERT_TRUE(parser.Valid());
    EXPECT_EQ(parser.Field('y'), "2002");
    EXPECT_EQ(parser.Field('d'), "04");
    EXPECT_EQ(parser.Field('f'), "/index.html");

    // A failing line changes the fields before the failure and keeps those after it.
    parser.SetLine("13:14 /other.html");
    EXPECT_FALSE(parser.Valid());
    EXPECT_EQ(parser.Field('h'), "13");
    EXPECT_EQ(parser.Field('n'), "14 /other.html");
    EXPECT_EQ(parser.Field('s'), "12");
    EXPECT_EQ(parser.Field('f'), "/index.html");
}

TEST(CParserTest, MultiCharacterSeparatorsNeedTheWholeText) {
    TCParser parser;
    parser.SetFormat("%a<->%b");
    parser.SetLine("x<-y<->z");
    ASSERT_TRUE(parser.Valid());
    EXPECT_EQ(parser.Field('a'), "x<-y");
    EXPECT_EQ(parser.Field('b'), "z");
    parser.SetLine("x<-y<-");
    EXPECT_FALSE(parser.Valid());
}

TEST(CParserTest, FieldIntReadsTrimmedDecimalsOnly) {
    TCParser parser;
    parser.SetFormat("%a|%b|%c|%d");
    parser.SetLine(" 42 |-|12x|99999999999");
    EXPECT_EQ(parser.FieldInt('a'), 42);
    EXPECT_EQ(parser.FieldInt('b'), 0);
    EXPECT_EQ(parser.FieldInt('c'), 0);
    EXPECT_EQ(parser.FieldInt('d'), 99999999999);
    EXPECT_EQ(parser.FieldInt('q'), 0);
}

} // namespace
