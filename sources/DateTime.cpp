#include "sources/DateTime.h"

#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>

const char* const kLongMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};
const char* const kShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

class TSystemClock : public TClock {
public:
    TDateTime Now() const override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        const time_t secs = ts.tv_sec;
        tm local{};
        localtime_r(&secs, &local);
        TDateParts p;
        p.Year = local.tm_year + 1900;
        p.Month = local.tm_mon + 1;
        p.Day = local.tm_mday;
        p.Hour = local.tm_hour;
        p.Minute = local.tm_min;
        p.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
        p.Millisecond = static_cast<int>(ts.tv_nsec / 1000000);
        return EncodeDateTime(p);
    }
};

const TSystemClock kSystemClock;
std::atomic<const TClock*> gClock{&kSystemClock};

void AppendNumber(std::string& out, int value, int minDigits) {
    char buf[16];
    const int n = std::snprintf(buf, sizeof buf, "%0*d", minDigits, value);
    out.append(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

} // namespace

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    result = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                                 kUnixEpochDay);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999)
        return false;
    result = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / (kSecondsPerDay * 1000.0);
    return true;
}

TDateTime EncodeDateTime(const TDateParts& p) {
    TDateTime date = 0, time = 0;
    if (!TryEncodeDate(p.Year, p.Month, p.Day, date)) return 0;
    TryEncodeTime(p.Hour, p.Minute, p.Second, p.Millisecond, time);
    // Before day 0 the fraction still counts forward from midnight of the day.
    return date >= 0 ? date + time : date - time;
}

int DayNumber(TDateTime value) {
    return static_cast<int>(std::trunc(value));
}

TDateParts DecodeDateTime(TDateTime value) {
    TDateParts p;
    if (!std::isfinite(value)) return p;
    // Work in whole milliseconds so that 23:59:59.9996 does not read as 24:00.
    const double absolute = std::fabs(value);
    int64_t days = static_cast<int64_t>(absolute);
    int64_t ms = std::llround((absolute - static_cast<double>(days)) * kSecondsPerDay * 1000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        days += 1;
    }
    const int64_t dayNumber = value < 0 ? -days : days;
    CivilFromDays(dayNumber - kUnixEpochDay, p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(ms / 3600000);
    p.Minute = static_cast<int>(ms / 60000 % 60);
    p.Second = static_cast<int>(ms / 1000 % 60);
    p.Millisecond = static_cast<int>(ms % 1000);
    return p;
}

int DayOfWeek(TDateTime value) {
    // Day 0 (30 December 1899) was a Saturday.
    const int64_t day = static_cast<int64_t>(std::trunc(value));
    return static_cast<int>(((day + 6) % 7 + 7) % 7) + 1;
}

TDateTime UnixSecondsToDateTime(int64_t seconds) {
    return static_cast<double>(seconds) / kSecondsPerDay + kUnixEpochDay;
}

int64_t DateTimeToUnixSeconds(TDateTime value) {
    return std::llround((value - kUnixEpochDay) * kSecondsPerDay);
}

void SetClock(const TClock* clock) {
    gClock.store(clock ? clock : &kSystemClock);
}

TDateTime Now() {
    return gClock.load()->Now();
}

TDateTime Today() {
    return std::trunc(Now());
}

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
    const TDateParts p = DecodeDateTime(value);
    std::string out;
    bool lastWasHour = false;
    size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        const char lc = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        size_t run = 1;
        while (i + run < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[i + run])) == lc)
            ++run;
        bool hour = false;
        switch (lc) {
        case '"':
        case '\'': {
            const size_t end = pattern.find(c, i + 1);
            const size_t stop = end == std::string_view::npos ? pattern.size() : end;
            out.append(pattern.substr(i + 1, stop - i - 1));
            i = end == std::string_view::npos ? pattern.size() : end + 1;
            continue;
        }
        case 'c':
            out += FormatDateTime("yyyy-mm-dd", value);
            if (p.Hour || p.Minute || p.Second) out += FormatDateTime(" hh:nn:ss", value);
            run = 1;
            break;
        case 'd':
            if (run >= 4) {
                out += kLongDayNames[DayOfWeek(value) - 1];
                run = 4;
            } else if (run == 3) {
                out += kShortDayNames[DayOfWeek(value) - 1];
            } else {
                AppendNumber(out, p.Day, static_cast<int>(run));
            }
            break;
        case 'm':
            if (lastWasHour && run <= 2) {
                AppendNumber(out, p.Minute, static_cast<int>(run));
            } else if (run >= 4) {
                out += kLongMonthNames[p.Month - 1];
                run = 4;
            } else if (run == 3) {
                out += kShortMonthNames[p.Month - 1];
            } else {
                AppendNumber(out, p.Month, static_cast<int>(run));
            }
            break;
        case 'y':
            if (run >= 3) {
                AppendNumber(out, p.Year, 4);
            } else {
                AppendNumber(out, p.Year % 100, 2);
            }
            break;
        case 'h':
            run = run > 2 ? 2 : run;
            AppendNumber(out, p.Hour, static_cast<int>(run));
            hour = true;
            break;
        case 'n':
            run = run > 2 ? 2 : run;
            AppendNumber(out, p.Minute, static_cast<int>(run));
            break;
        case 's':
            run = run > 2 ? 2 : run;
            AppendNumber(out, p.Second, static_cast<int>(run));
            break;
        case 'z':
            AppendNumber(out, p.Millisecond, run >= 3 ? 3 : 1);
            run = run >= 3 ? 3 : 1;
            break;
        default:
            out.append(pattern.substr(i, 1));
            run = 1;
            if (lc == ' ' || lc == ':') {
                // A separator between an hour and "mm" keeps "mm" meaning minutes.
                i += 1;
                continue;
            }
            break;
        }
        lastWasHour = hour;
        i += run;
    }
    return out;
}
