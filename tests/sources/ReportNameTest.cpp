#include "sources/ReportName.h"

#include <gtest/gtest.h>

namespace {

TEST(ReportNameTest, ExpandsTokensOnCleanedPattern) {
    struct TCase {
        const char* Pattern;
        TDateParts Date;
        const char* Expected;
    };
    const TCase cases[] = {
        {"Report for %N", {2002, 3, 4}, "Report for March"},
        {"%Y-%M-%D", {2002, 3, 4}, "2002-03-04"},
        {"%d/%m/%y", {2002, 3, 4}, "4-3-02"}, // separators replaced before the tokens
        {"%d%D %m%M %y", {2009, 1, 9}, "909 101 09"},
        {"Week %W of %n", {2002, 3, 3}, "Week 2 of Mar"},
        {"%w %W", {2002, 3, 2}, "Saturday 1"}, // March 2002 begins on a Friday
        {"%W", {2002, 3, 10}, "3"},
        {"%w %W", {2002, 3, 31, 23, 59}, "Sunday 6"}, // the time of day is ignored
        {"%W", {2002, 9, 1}, "1"},                    // a month that begins on Sunday
        {" a  \"b\"*|<>?:\\  %x %% % ", {2002, 3, 4}, "a -b-------- %x %% %"},
        {"   ", {2002, 3, 4}, "Default Report"},
        {"..", {2002, 3, 4}, "Default Report"},
        {" . ", {2002, 3, 4}, "Default Report"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ExpandReportName(c.Pattern, EncodeDateTime(c.Date)), c.Expected) << '"' << c.Pattern << '"';
}

} // namespace
