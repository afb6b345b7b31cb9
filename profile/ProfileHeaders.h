#pragma once
// What the main window shows of each profile: one header per record of the profile store,
// read without touching CurrentProfile (a report job may own it), and the row order of a
// list by its sort state.

#include "sources/DateTime.h"
#include "sources/SystemInfo.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TProfileHeader {
    std::string ProfileName;
    std::string TemplateName;
    std::string ReportFolder; // as computed when the header was read, ending in "/"
    bool FilterOn = false;
    bool FtpOn = false;
    TDateTime CreationDate = 0;
    TDateTime LastReportDate = 0;
};

// The header of record name, read into a profile object of its own. A record that cannot be
// read gives a fresh profile's values under that name.
TProfileHeader ReadProfileHeader(std::string_view name);
// The headers of every record of the profile store, in the store's listing order.
std::vector<TProfileHeader> ListProfileHeaders();

// A list's sort state (sources/SystemInfo.h): its column and direction.
constexpr int SortColumn(int32_t sortState) {
    return sortState & kSortColumnMask;
}
constexpr bool SortDescending(int32_t sortState) {
    return (sortState & kSortDescending) != 0;
}
// A comparison's sign (-1, 0 or 1), negated when the sort state is descending.
constexpr int SortedSign(int comparison, int32_t sortState) {
    const int sign = (comparison > 0) - (comparison < 0);
    return SortDescending(sortState) ? -sign : sign;
}
// Whole-day difference of two dates (stored dates are whole day numbers): <0, 0 or >0.
int CompareDays(TDateTime a, TDateTime b);

// Order of two profile rows by columns 0-5 (name, template, filter, FTP, creation date, last
// report): <0 when a comes first, 0 when they tie (and for any other column).
int CompareProfileHeaders(const TProfileHeader& a, const TProfileHeader& b, int32_t sortState);
// A std::sort order of profile rows for a sort state.
struct TProfileHeaderOrder {
    int32_t SortState = 0;
    bool operator()(const TProfileHeader& a, const TProfileHeader& b) const {
        return CompareProfileHeaders(a, b, SortState) < 0;
    }
};
