// The line parser: formats split into separators and codes, lines cut into one field per code.

#include "core/CParser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* const kDefaultFormat = "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b \"%r\" \"%a\"";

TEST(CParserTest, FormatsSplitIntoSeparatorsAndCodes) {
    struct TCase {
        const char* Name;
        const char* Format;
        const char* Codes;
        std::vector<std::string> Separators;
    };
    const TCase cases[] = {
        {"default",
         kDefaultFormat,
         "HxudmyhnszMfxcbra",
         {"", " ", " ", " [", "/", "/", ":", ":", ":", " ", "] \"", " ", " ", "\" ", " ", " \"", "\" \"", "\""}},
        {"no code", "plain", "", {"plain"}},
        {"trailing percent", "%a%", "a", {"", ""}},
        {"percent code", "%%", "%", {""}},
        {"empty", "", "", {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TCParser parser;
        EXPECT_TRUE(parser.SetFormat(c.Format));
        std::string codes;
        for (int i = 1; i <= parser.CodeCount(); ++i)
            codes += parser.Code(i);
        EXPECT_EQ(codes, c.Codes);
        std::vector<std::string> separators;
        for (int i = 1; i <= parser.SeparatorCount(); ++i)
            separators.emplace_back(parser.Separator(i));
        EXPECT_EQ(separators, c.Separators);
    }
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

TEST(CParserTest, LinesAreCutAtTheNextSeparator) {
    struct TCase {
        const char* Name;
        const char* Format;
        const char* Line;
        bool Valid;
        std::vector<std::pair<char, std::string>> Fields = {};
        std::vector<std::pair<char, int64_t>> Numbers = {}; // FieldInt
    };
    // clang-format off
    const TCase cases[] = {
        {"default format", kDefaultFormat,
         "1.2.3.4 - bob [10/Oct/2003:13:55:36 -0700] \"GET /a/b.html?x=1 HTTP/1.1\" 200 2326 \"-\" "
         "\"Mozilla/4.0 (compatible; MSIE 6.0)\"", true,
         {{'H', "1.2.3.4"}, {'u', "bob"}, {'d', "10"}, {'m', "Oct"}, {'y', "2003"}, {'s', "36"}, {'b', "2326"},
          {'f', "/a/b.html?x=1"}, {'x', "HTTP/1.1"} /* the last "%x" wins */,
          {'a', "Mozilla/4.0 (compatible; MSIE 6.0)"}}},
        {"last code takes the rest", "%a %b", "one two \"three\"  four ", true,
         {{'a', "one"}, {'b', "two \"three\"  four "}}},
        // Looking for a further separator needs two characters left.
        {"one character left", "%a,%b,", "1,,", false},
        {"two characters left", "%a,%b,", "1,2,", true, {{'b', "2"}}},
        {"whole separator", "%a<->%b", "x<-y<->z", true, {{'a', "x<-y"}, {'b', "z"}}},
        {"partial separator", "%a<->%b", "x<-y<-", false},
        {"numbers trimmed, decimals only", "%a|%b|%c|%d|%e", " 42 |-|12x|99999999999|-0700", true, {},
         {{'a', 42}, {'b', 0}, {'c', 0}, {'d', 99999999999}, {'e', -700}, {'q', 0}}},
    };
    // clang-format on
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TCParser parser;
        parser.SetFormat(c.Format);
        parser.SetLine(c.Line);
        EXPECT_EQ(parser.Valid(), c.Valid);
        for (const auto& [code, text] : c.Fields)
            EXPECT_EQ(parser.Field(code), text) << code;
        for (const auto& [code, number] : c.Numbers)
            EXPECT_EQ(parser.FieldInt(code), number) << code;
    }
}

// Only the date outlives its line (a W3C "#Date" directive dates the lines after it): a field
// a line does not capture, or that its format lacks, is empty, never an earlier line's text.
TEST(CParserTest, OnlyTheDateOutlivesItsLine) {
    TCParser parser;
    parser.SetFormat("%H %b %a");
    parser.SetLine("10.0.0.1 500 agent");
    parser.SetFormat("#Date: %y-%m-%d %x");
    parser.SetLine("#Date: 2002-03-04 10:00:00");
    ASSERT_TRUE(parser.Valid());
    parser.SetFormat("%h:%n:%s %f %a");
    parser.SetLine("10:11:12 /index.html Mozilla");
    ASSERT_TRUE(parser.Valid());
    EXPECT_EQ(parser.Field('y'), "2002");
    EXPECT_EQ(parser.Field('d'), "04");
    EXPECT_EQ(parser.Field('f'), "/index.html");
    EXPECT_EQ(parser.Field('b'), "");  // of the first format
    EXPECT_EQ(parser.Field('H'), "");
    EXPECT_EQ(parser.Field('x'), "");

    // A line that ends right after the separator before its last code: that field is empty.
    parser.SetLine("10:11:13 /a.html ");
    ASSERT_TRUE(parser.Valid());
    EXPECT_EQ(parser.Field('f'), "/a.html");
    EXPECT_EQ(parser.Field('a'), "");

    // A failing line changes the fields before the failure and empties those after it.
    parser.SetLine("13:14 /other.html");
    EXPECT_FALSE(parser.Valid());
    EXPECT_EQ(parser.Field('h'), "13");
    EXPECT_EQ(parser.Field('n'), "14 /other.html");
    EXPECT_EQ(parser.Field('s'), "");
    EXPECT_EQ(parser.Field('f'), "");

    // The kept date outlives the lines after it, however long those are.
    const std::string longLine(100000, 'x');
    parser.SetLine(longLine);
    parser.SetLine("1");
    EXPECT_EQ(parser.Field('h'), "");
    EXPECT_EQ(parser.Field('n'), "");
    EXPECT_EQ(parser.Field('y'), "2002");
    EXPECT_EQ(parser.Field('m'), "03");
}

// A worker decides by the host cut alone whether a line is its own: the cut must give what
// the whole line's cut gives, for lines that fit the format and lines that do not.
// Fields of every length, with separators that start over and over before they match: the
// cut agrees with a plain search for each separator in turn.
TEST(CParserTest, LongFieldsAndFalseStartsAreCutAsAPlainSearchCutsThem) {
    const std::string separators[] = {"", "<->", "-", "<->"};
    TCParser parser;
    parser.SetFormat("%a<->%b-%c<->");
    std::mt19937 random(7);
    const char alphabet[] = "x<->";
    for (int n = 0; n < 3000; ++n) {
        std::string line(random() % 90, 'x');
        for (char& c : line)
            c = alphabet[random() % 4];
        // The reference: each separator found from where the last one ended.
        std::vector<std::string> expected;
        size_t p = 0;
        bool valid = true;
        for (size_t i = 1; i < 4; ++i) {
            const size_t at = p + 1 < line.size() ? line.find(separators[i], p) : std::string::npos;
            if (at == std::string::npos) {
                valid = false;
                break;
            }
            expected.push_back(line.substr(p, at - p));
            p = at + separators[i].size();
        }
        parser.SetLine(line);
        ASSERT_EQ(parser.Valid(), valid) << line;
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(parser.Field("abc"[i]), expected[i]) << line;
    }
}

TEST(CParserTest, CuttingOneFieldGivesWhatTheWholeCutGives) {
    const char* formats[] = {"%H %u [%d] \"%f\" %c", "%d %h:%n %H %f", "[%x] %f %H", "%H%f|%c", "x%H"};
    const char* lines[] = {"1.2.3.4 bob [10] \"/a b\" 200", "1.2.3.4 bob [10] \"/a\"", "10 12:30 host.example /p",
                           "10 12:30 host.example", "[x] /p h", "[x] /p ", "h/p|200", "|", "x", "xy", "", "a",
                           "1.2.3.4", " ", "[x] /p h extra"};
    for (const char* format : formats) {
        TCParser whole, cut;
        whole.SetFormat(format);
        cut.SetFormat(format);
        ASSERT_EQ(cut.CodeCount('H'), 1) << format;
        for (const char* line : lines) {
            whole.SetLine(line);
            EXPECT_EQ(cut.CutField(line, 'H'), whole.Field('H')) << format << " / " << line;
        }
    }
    TCParser twice;
    twice.SetFormat("%H %H");
    EXPECT_EQ(twice.CodeCount('H'), 2);
}

} // namespace
