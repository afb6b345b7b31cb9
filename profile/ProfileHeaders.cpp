#include "profile/ProfileHeaders.h"

#include "profile/u_qvprofile.h"

#include <cmath>

namespace {

template <typename T> int Compare(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

TProfileHeader ReadProfileHeader(std::string_view name) {
    TQVProfile profile;
    // A record that cannot be read leaves a fresh profile under another name; its row and
    // its default report folder keep the record's own name.
    if (!profile.Load(name)) profile.Name = std::string(name);
    TProfileHeader header;
    header.ProfileName = std::string(name);
    header.TemplateName = profile.TemplateName;
    header.ReportFolder = profile.ReportFolder();
    header.FilterOn = profile.EnableFilters;
    header.FtpOn = profile.FTPAutoFetch;
    header.CreationDate = profile.CreationDate;
    header.LastReportDate = profile.LastReportDate;
    return header;
}

std::vector<TProfileHeader> ListProfileHeaders() {
    std::vector<std::string> names;
    TQVProfile().ListNames(names);
    std::vector<TProfileHeader> headers;
    headers.reserve(names.size());
    for (const std::string& name : names)
        headers.push_back(ReadProfileHeader(name));
    return headers;
}

int CompareDays(TDateTime a, TDateTime b) {
    // Whole days of each date, so that the order is transitive as std::sort needs; for the
    // whole day numbers that records store this is the truncated difference itself.
    return Compare(std::floor(a), std::floor(b));
}

int CompareProfileHeaders(const TProfileHeader& a, const TProfileHeader& b, int32_t sortState) {
    int result = 0;
    switch (SortColumn(sortState)) {
    case 0:
        result = a.ProfileName.compare(b.ProfileName);
        break;
    case 1:
        result = a.TemplateName.compare(b.TemplateName);
        break;
    case 2:
        result = Compare(a.FilterOn, b.FilterOn);
        break;
    case 3:
        result = Compare(a.FtpOn, b.FtpOn);
        break;
    case 4:
        result = CompareDays(a.CreationDate, b.CreationDate);
        break;
    case 5:
        result = CompareDays(a.LastReportDate, b.LastReportDate);
        break;
    default:
        break;
    }
    return SortedSign(result, sortState);
}
