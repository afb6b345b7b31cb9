#include "sources/ReportName.h"

#include "sources/CUtils.h"

#include <cstdio>

namespace {

constexpr std::string_view kDefaultReportName = "Default Report";

// Characters not allowed in folder names on any platform a report may be copied to.
constexpr TCharSet kUnsafeNameChars("\"*/:<>?\\|");

struct TReportToken {
    std::string_view Token;
    std::string (*Value)(const TDateParts& parts, int weekday);
};

std::string ZeroPadded(int value, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    return buf;
}

// Weeks start on Sunday; the days before the first Sunday of the month are week 1.
int WeekOfMonth(int day, int weekday) {
    return (day - weekday + 6) / 7 + 1;
}

// Applied in this order. No value contains "%", so one token cannot form another.
// The program sets no locale, so month names are the English ones.
constexpr TReportToken kReportTokens[] = {
    {"%d", [](const TDateParts& p, int) { return std::to_string(p.Day); }},
    {"%D", [](const TDateParts& p, int) { return ZeroPadded(p.Day, 2); }},
    {"%m", [](const TDateParts& p, int) { return std::to_string(p.Month); }},
    {"%M", [](const TDateParts& p, int) { return ZeroPadded(p.Month, 2); }},
    {"%n", [](const TDateParts& p, int) { return std::string(kShortMonthNames[p.Month - 1]); }},
    {"%N", [](const TDateParts& p, int) { return std::string(kLongMonthNames[p.Month - 1]); }},
    {"%y", [](const TDateParts& p, int) { return ZeroPadded(p.Year % 100, 2); }},
    {"%Y", [](const TDateParts& p, int) { return ZeroPadded(p.Year, 4); }},
    {"%w", [](const TDateParts&, int weekday) { return std::string(kLongDayNames[weekday - 1]); }},
    {"%W", [](const TDateParts& p, int weekday) { return std::to_string(WeekOfMonth(p.Day, weekday)); }},
};

} // namespace

std::string ExpandReportName(std::string_view pattern, TDateTime date) {
    // FilterChars also collapses double spaces and trims.
    std::string name = FilterChars(pattern, kUnsafeNameChars, true, '-');
    const TDateTime day = DayNumber(date);
    const TDateParts parts = DecodeDateTime(day);
    const int weekday = DayOfWeek(day);
    for (const TReportToken& token : kReportTokens) {
        if (name.find(token.Token) != std::string::npos)
            name = ReplaceAll(name, token.Token, token.Value(parts, weekday));
    }
    name = Trim(name);
    // "." and ".." would put the report into the base folder or its parent, which the
    // job empties before writing.
    if (name.empty() || name == "." || name == "..") return std::string(kDefaultReportName);
    return name;
}
