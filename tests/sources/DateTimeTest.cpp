#include "sources/DateTime.h"

#include <gtest/gtest.h>

namespace {

TDateTime At(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
    return EncodeDateTime(TDateParts{y, m, d, h, n, s, 0});
}

TEST(DateTimeTest, DayNumbersFollowTheDayScale) {
    EXPECT_EQ(At(1899, 12, 30), 0);
    EXPECT_EQ(At(2000, 1, 1), 36526);
    EXPECT_EQ(At(1970, 1, 1), kUnixEpochDay);
    EXPECT_EQ(At(1899, 12, 29), -1);
    TDateTime t = 0;
    EXPECT_FALSE(TryEncodeDate(2001, 2, 29, t));
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, t));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, t));
    EXPECT_FALSE(TryEncodeDate(2002, 0, 1, t));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1, t));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, t));
}

TEST(DateTimeTest, DecodeRoundTripsEveryDayAndTime) {
    for (int day = 0; day < 80000; day += 7) {
        const TDateParts p = DecodeDateTime(day + 0.75);
        EXPECT_EQ(At(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second), day + 0.75) << day;
        EXPECT_EQ(p.Hour, 18);
    }
    // Just before midnight does not read as 24:00.
    const TDateParts late = DecodeDateTime(At(2003, 10, 10) + 86399.9996 / 86400.0);
    EXPECT_EQ(late.Day, 11);
    EXPECT_EQ(late.Hour, 0);
    const TDateParts before = DecodeDateTime(-1.25);
    EXPECT_EQ(before.Day, 29);
    EXPECT_EQ(before.Hour, 6);
}

TEST(DateTimeTest, WeekdayStartsOnSunday) {
    EXPECT_EQ(DayOfWeek(At(2002, 3, 3)), 1);   // a Sunday
    EXPECT_EQ(DayOfWeek(At(2002, 3, 4)), 2);   // Monday
    EXPECT_EQ(DayOfWeek(At(1899, 12, 30)), 7); // Saturday
    EXPECT_EQ(DayOfWeek(At(1899, 12, 24, 12)), 1);
}

TEST(DateTimeTest, UnixSecondsConvert) {
    EXPECT_EQ(UnixSecondsToDateTime(0), kUnixEpochDay);
    EXPECT_EQ(DateTimeToUnixSeconds(At(2003, 10, 10, 20, 55, 36)), 1065819336);
    EXPECT_EQ(UnixSecondsToDateTime(1065819336), At(2003, 10, 10, 20, 55, 36));
}

TEST(DateTimeTest, FormatDateTimePatterns) {
    const TDateTime t = At(2002, 3, 4, 9, 5, 7);
    struct Case {
        const char *pattern, *out;
    };
    const Case cases[] = {
        {"d/m/yy", "4/3/02"},
        {"dd/mm/yyyy", "04/03/2002"},
        {"mmm mmmm", "Mar March"},
        {"ddd dddd", "Mon Monday"},
        {"h:n:s", "9:5:7"},
        {"hh:nn:ss", "09:05:07"},
        {"hh:mm", "09:05"},
        {"yyyy-mm-dd", "2002-03-04"},
        {"c", "2002-03-04 09:05:07"},
        {"'week' d \"of\" mmmm", "week 4 of March"},
        {"YYYY", "2002"},
        {"x-z", "x-0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatDateTime(c.pattern, t), c.out) << c.pattern;
    EXPECT_EQ(FormatDateTime("c", At(2002, 3, 4)), "2002-03-04");
}

} // namespace
