#include "core/LogEntry.h"

#include "core/CParser.h"
#include "sources/CUtils.h"

#include <gtest/gtest.h>

namespace {

const char* const kDefaultFormat = "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b \"%r\" \"%a\"";

class LogEntryTest : public ::testing::Test {
protected:
    void SetUp() override { Parser.SetFormat(kDefaultFormat); }

    // Parses a default-format line with the given pieces and builds the entry.
    TLogEntry Build(std::string_view request, std::string_view zone = "+0000", std::string_view referrer = "-",
                    std::string_view status = "200", std::string_view bytes = "100") {
        std::string line = "1.2.3.4 - bob [10/Oct/2003:13:55:36 ";
        line.append(zone).append("] \"GET ").append(request).append(" HTTP/1.1\" ");
        line.append(status).append(" ").append(bytes).append(" \"").append(referrer).append("\" \"Mozilla/4.0\"");
        Parser.SetLine(line);
        EXPECT_TRUE(Parser.Valid()) << line;
        Options.CurrentDate = DateFromParts(Parser.Field('y'), Parser.Field('m'), Parser.Field('d'));
        TLogEntry entry;
        entry.AssignFrom(Parser, Options);
        return entry;
    }

    TCParser Parser;
    TLogEntryOptions Options{false, 1, 0, 0};
};

TDateTime At(int y, int m, int d, int h, int n, int s) {
    return EncodeDateTime(TDateParts{y, m, d, h, n, s, 0});
}

TEST_F(LogEntryTest, DefaultLineBecomesANormalisedHit) {
    const TLogEntry e = Build("/a/b.html?x=1", "-0700", "-", "200", "2326");
    ASSERT_TRUE(e.Valid);
    EXPECT_EQ(e.Host(), "1.2.3.4");
    EXPECT_EQ(e.User(), "bob");
    EXPECT_NEAR(e.Time, At(2003, 10, 10, 20, 55, 36), 1e-9);
    EXPECT_EQ(e.Method(), "GET");
    EXPECT_EQ(e.Directory(), "/a/");
    EXPECT_EQ(e.FileName(), "b.html");
    EXPECT_EQ(e.Extension(), "HTML");
    EXPECT_EQ(e.Path(), "/a/b.html");
    EXPECT_EQ(e.Query(), "x=1");
    EXPECT_EQ(e.Status(), "200");
    EXPECT_FALSE(e.IsError);
    EXPECT_EQ(e.Bytes, 2326);
    EXPECT_EQ(e.Referrer(), "-");
    EXPECT_EQ(e.Agent(), "Mozilla/4.0");
}

TEST_F(LogEntryTest, ZonesAndTheProfileShiftMoveTheTime) {
    const TDateTime logged = At(2003, 10, 10, 13, 55, 36);
    struct Case {
        const char* zone;
        int timezone;
        double minutes;
    };
    const Case cases[] = {{"+0000", 0, 0},   {"+0530", 0, -330}, {"-0030", 0, 30},
                          {"-0500", 0, 300}, {"+0100", 2, 60},   {"junk", 0, 0}};
    for (const Case& c : cases) {
        Options.Timezone = c.timezone;
        EXPECT_NEAR(Build("/", c.zone).Time, logged + c.minutes / 1440.0, 1e-9) << c.zone;
    }
}

TEST_F(LogEntryTest, RequestPathsAreCutIntoPieces) {
    struct Case {
        const char *request, *directory, *fileName, *extension, *query;
    };
    const Case cases[] = {
        {"http://www.host.com/dir/page.htm", "/dir/", "page.htm", "HTM", ""},
        {"HTTPS://www.host.com/Dir/Page.HTM?A=B", "/dir/", "page.htm", "HTM", "a=b"},
        {"http://www.host.com", "/", "", "", ""},
        {"/a//b///c.htm", "/a/b/", "c.htm", "HTM", ""},
        {"//a.htm", "/", "a.htm", "HTM", ""},
        {"/x/y//", "/x/y/", "", "", ""},
        {"/", "/", "", "", ""},
        {"/download/setup.exe.backup", "/download/", "setup.exe.backup", "BACKU", ""},
        {"/page.htm#top", "/", "page.htm", "HTM", ""},
        {"/it's.htm", "/", "it", "", ""},
        {"/a%20b/c%2Ehtml", "/a b/", "c.html", "HTML", ""},
        {"/search?", "/", "search", "", ""},
        {"*", "/", "*", "", ""},
        {"/q?x=1?y=2", "/", "q", "", "x=1?y=2"},
    };
    for (const Case& c : cases) {
        const TLogEntry e = Build(c.request);
        ASSERT_TRUE(e.Valid) << c.request;
        EXPECT_EQ(e.Directory(), c.directory) << c.request;
        EXPECT_EQ(e.FileName(), c.fileName) << c.request;
        EXPECT_EQ(e.Extension(), c.extension) << c.request;
        EXPECT_EQ(e.Query(), c.query) << c.request;
        EXPECT_EQ(e.Path(), std::string(c.directory) + c.fileName) << c.request;
    }
}

TEST_F(LogEntryTest, CaseAndQueryOptions) {
    Options.CaseSensitive = true;
    EXPECT_EQ(Build("/Dir/Page.HTM?Q=1").Path(), "/Dir/Page.HTM");
    EXPECT_EQ(Build("/Dir/Page.HTM?Q=1").Query(), "Q=1");
    Options.ParamType = 0;
    EXPECT_EQ(Build("/a.php?id=7").Query(), "");
    EXPECT_EQ(Build("/a.php?id=7").FileName(), "a.php");
}

TEST_F(LogEntryTest, QueryFieldReplacesTheRequestQuery) {
    Parser.SetFormat("%h:%n:%s %f %q");
    Options.CurrentDate = At(2003, 1, 1, 0, 0, 0);
    TLogEntry e;
    Parser.SetLine("10:00:00 /a.asp?ignored=1 id=%41");
    e.AssignFrom(Parser, Options);
    ASSERT_TRUE(e.Valid);
    EXPECT_EQ(e.Query(), "id=A");
    EXPECT_EQ(e.FileName(), "a.asp");
}

TEST_F(LogEntryTest, ReferrersKeepHttpAndHttpsInAnyCase) {
    EXPECT_EQ(Build("/", "+0000", "http://a.com/x%20y").Referrer(), "http://a.com/x y");
    EXPECT_EQ(Build("/", "+0000", "https://www.google.com/search?q=a").Referrer(), "https://www.google.com/search?q=a");
    EXPECT_EQ(Build("/", "+0000", "HTTP://A.COM/").Referrer(), "HTTP://A.COM/");
    EXPECT_EQ(Build("/", "+0000", "ftp://a.com/").Referrer(), "-");
    EXPECT_EQ(Build("/", "+0000", "android-app://x").Referrer(), "-");
    EXPECT_EQ(Build("/", "+0000", "").Referrer(), "-");
}

TEST_F(LogEntryTest, StatusClassesAndErrors) {
    struct Case {
        const char* status;
        int cls;
        bool error;
    };
    const Case cases[] = {{"100", 0, false}, {"200", 1, false}, {"304", 2, false}, {"404", 3, true},
                          {"500", 4, true},  {"-", 3, true},    {"2000", 3, true}, {"", 3, true}};
    for (const Case& c : cases) {
        EXPECT_EQ(StatusClass(c.status), c.cls) << c.status;
        if (*c.status) {
            EXPECT_EQ(Build("/", "+0000", "-", c.status).IsError, c.error) << c.status;
        }
    }
}

TEST_F(LogEntryTest, BytesAre64BitAndJunkReadsZero) {
    EXPECT_EQ(Build("/", "+0000", "-", "200", "5368709120").Bytes, int64_t{5368709120});
    EXPECT_EQ(Build("/", "+0000", "-", "200", "-").Bytes, 0);
    EXPECT_EQ(Build("/", "+0000", "-", "200", "12k").Bytes, 0);
    EXPECT_EQ(Build("/", "+0000", "-", "200", "99999999999999999999").Bytes, 0);
}

TEST_F(LogEntryTest, BadTimesOrParserMakeTheEntryInvalid) {
    TLogEntry e;
    Parser.SetFormat("%h:%n:%s %f");
    Options.CurrentDate = At(2003, 1, 1, 0, 0, 0);
    for (const char* line : {"24:00:00 /", "10:60:00 /", "10:00:60 /", "-1:00:00 /"}) {
        e = TLogEntry();
        Parser.SetLine(line);
        e.AssignFrom(Parser, Options);
        EXPECT_FALSE(e.Valid) << line;
    }
    // No date and midnight: time 0.
    Options.CurrentDate = 0;
    Parser.SetLine("00:00:00 /");
    e.AssignFrom(Parser, Options);
    EXPECT_FALSE(e.Valid);
    // A line that does not match its format.
    Parser.SetLine("garbage");
    e = TLogEntry();
    e.AssignFrom(Parser, Options);
    EXPECT_FALSE(e.Valid);
}

TEST_F(LogEntryTest, ReusedEntryHoldsOnlyTheNewLine) {
    TLogEntry e = Build("/long/directory/name/file.html?a=b", "+0000", "https://x.com/");
    Parser.SetLine("5.6.7.8 - - [11/Oct/2003:01:02:03 +0000] \"GET /x HTTP/1.0\" 404 0 \"-\" \"curl\"");
    Options.CurrentDate = DateFromParts("2003", "Oct", "11");
    e.AssignFrom(Parser, Options);
    EXPECT_EQ(e.Host(), "5.6.7.8");
    EXPECT_EQ(e.Path(), "/x");
    EXPECT_EQ(e.Query(), "");
    EXPECT_EQ(e.Extension(), "");
    EXPECT_EQ(e.Referrer(), "-");
    EXPECT_TRUE(e.IsError);
}

} // namespace
