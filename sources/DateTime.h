#pragma once
// The program's timestamp: days since 30 December 1899 00:00 as a double whose
// fraction is the time of day. Calendar conversion, weekdays, an injectable clock
// for "now", and a formatter for date-time patterns.

#include <cstdint>
#include <string>
#include <string_view>

using TDateTime = double;

constexpr double kSecondsPerDay = 86400.0;
// Day number of 1 January 1970, the epoch of Unix time stamps.
constexpr int kUnixEpochDay = 25569;

struct TDateParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

bool IsLeapYear(int year);
// Days in the month (1-12) of the year; 0 for a month outside 1-12.
int DaysInMonth(int year, int month);

// The day number of a calendar date (years 1 to 9999); false when the date is impossible.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
// The fraction of a day for a time of day; false when a part is out of range.
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);
TDateTime EncodeDateTime(const TDateParts& parts);
// Calendar parts of a timestamp, to the millisecond (rounded).
TDateParts DecodeDateTime(TDateTime value);
// Whole day number (the date without its time).
int DayNumber(TDateTime value);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime value);

TDateTime UnixSecondsToDateTime(int64_t seconds);
int64_t DateTimeToUnixSeconds(TDateTime value);

// The source of "now" and "today": the system's local time, replaceable by tests.
class TClock {
public:
    virtual ~TClock() = default;
    virtual TDateTime Now() const = 0;
};
// Installs a clock (nullptr restores the system clock). The clock must outlive its use.
void SetClock(const TClock* clock);
TDateTime Now();
TDateTime Today();

// Formats a timestamp by a pattern. Understood, with letters in any case:
//   c     the date as "yyyy-mm-dd" followed by " hh:nn:ss" unless the time is midnight
//   d dd ddd dddd        day of month; two digits; "Sun"; "Sunday"
//   m mm mmm mmmm        month; two digits; "Mar"; "March"
//                        (m or mm right after h/hh stand for minutes)
//   yy yyyy              year with two or four digits
//   h hh  n nn  s ss     hour, minute, second; one or two digits
//   z zzz                milliseconds
//   /  :                 the date and time separators "/" and ":"
//   "..." '...'          literal text
// Every other character is copied as it is. Names are English.
std::string FormatDateTime(std::string_view pattern, TDateTime value);

extern const char* const kLongMonthNames[12];
extern const char* const kShortMonthNames[12];
extern const char* const kLongDayNames[7];
extern const char* const kShortDayNames[7];
