#include "sources/W3CFormat.h"

#include "sources/LogReader.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace {

TEST(W3CFormatTest, FieldsDirectivesBecomeFormats) {
    EXPECT_EQ(W3CFieldsToFormat("#Fields: time c-ip cs-method cs-uri-stem sc-status"), "%h:%n:%s %H %M %f %c");
    EXPECT_EQ(W3CFieldsToFormat("#Fields: date time s-ip cs-method cs-uri-stem cs-uri-query s-port cs-username c-ip "
                                "cs(User-Agent) sc-status sc-substatus sc-win32-status"),
              "%y-%m-%d %h:%n:%s %x %M %f %q %x %u %H %a %c %x %x");
    EXPECT_EQ(W3CFieldsToFormat("#Fields:   Date  time c-ip "), "%x %h:%n:%s %H");
    EXPECT_EQ(W3CFieldsToFormat("#Fields: cs(Referer) sc-bytes"), "%r %b");
    EXPECT_EQ(W3CFieldsToFormat("#Fields:"), "");
}

class DetectLogFormatTest : public ::testing::Test {
protected:
    // Detects the format of a log holding text.
    std::string Detect(const std::string& text, bool& caseSensitive) {
        TLogFileReader reader;
        reader.AddLogFile(Sandbox.Folder.WriteFile("logs/x.log", text));
        reader.Rewind();
        std::string format = "stale";
        DetectLogFormat(&reader, caseSensitive, format);
        return format;
    }
    TSandbox Sandbox;
};

TEST_F(DetectLogFormatTest, CandidatesAreTriedInOrder) {
    bool cs = false;
    EXPECT_EQ(Detect("1.2.3.4 - - [10/Oct/2003:13:55:36 -0700] \"GET / HTTP/1.0\" 200 12 \"-\" \"agent\"\n", cs),
              "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b \"%r\" \"%a\"");
    EXPECT_TRUE(cs);
    EXPECT_EQ(Detect("1.2.3.4 - - [10/Oct/2003:13:55:36 -0700] \"GET / HTTP/1.0\" 200 12\n", cs),
              "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b");
    EXPECT_EQ(Detect("1.2.3.4 - - [10/Oct/2003:13:55:36 -0700] \"GET / HTTP/1.0\" 200 12 vhost\n", cs),
              "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b %x");
    EXPECT_EQ(Detect("1.2.3.4,bob,3/4/02,10:11:12,a,b,c,d,e,100,200,f,GET,/x.htm\n", cs),
              "%H,%u,%m/%d/%y,%h:%n:%s,%x,%x,%x,%x,%x,%b,%c,%x,%M,%f");
    EXPECT_EQ(Detect("nothing like a log line\n", cs), "");
}

TEST_F(DetectLogFormatTest, ServerExtendedLogsTakeTheirFieldsLine) {
    bool cs = true;
    EXPECT_EQ(Detect("#Software: Microsoft Internet Information Services 5.0\r\n#Version: 1.0\r\n"
                     "#Date: 2002-03-04 00:00:01\r\n#Fields: time c-ip cs-method cs-uri-stem sc-status\r\n"
                     "00:00:01 1.2.3.4 GET /a.htm 200\r\n",
                     cs),
              "%h:%n:%s %H %M %f %c");
    EXPECT_FALSE(cs);
}

TEST_F(DetectLogFormatTest, AnEmptySetLeavesCaseSensitivityAlone) {
    bool cs = false;
    EXPECT_EQ(Detect("", cs), "");
    EXPECT_FALSE(cs);
    std::string format = "stale";
    DetectLogFormat(nullptr, cs, format);
    EXPECT_EQ(format, "");
}

} // namespace
