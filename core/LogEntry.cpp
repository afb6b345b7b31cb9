#include "core/LogEntry.h"

#include "core/CParser.h"
#include "sources/CUtils.h"

#include <algorithm>
#include <cstring>

int StatusClass(std::string_view status) {
    if (status.size() != 3) return 3;
    switch (status[0]) {
    case '1':
        return 0;
    case '2':
        return 1;
    case '3':
        return 2;
    case '5':
        return 4;
    default:
        return 3;
    }
}

namespace {

// Collapses every run of "/" into one.
void CollapseSlashes(std::string& s) {
    if (s.find("//") == std::string::npos) return;
    size_t w = 0;
    for (size_t r = 0; r < s.size(); ++r) {
        if (s[r] == '/' && w > 0 && s[w - 1] == '/') continue;
        s[w++] = s[r];
    }
    s.resize(w);
}

} // namespace

void TLogEntry::AssignFrom(const TCParser& parser, const TLogEntryOptions& options) {
    if (!parser.Valid()) return;
    Host.assign(parser.Field('H'));
    if (AssignHitFields(parser, options)) AssignVisitFields(parser);
}

bool TLogEntry::AssignHitFields(const TCParser& parser, const TLogEntryOptions& options) {
    Valid = false;
    if (!parser.Valid()) return false;
    Valid = true;
    User.assign(parser.Field('u'));

    const int64_t hour = parser.FieldInt('h'), minute = parser.FieldInt('n'), second = parser.FieldInt('s');
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        Valid = false;
        return false;
    }
    const int64_t zone = parser.FieldInt('z');
    const int64_t zoneAbs = zone < 0 ? -zone : zone;
    const int64_t zoneMinutes = (zone < 0 ? -1 : 1) * (zoneAbs / 100 * 60 + zoneAbs % 100);
    Time = options.CurrentDate + static_cast<double>(hour * 3600 + minute * 60 + second) / kSecondsPerDay +
           options.Timezone / 24.0 - static_cast<double>(zoneMinutes) / 1440.0;
    if (Time == 0) {
        Valid = false;
        return false;
    }
    Method.assign(parser.Field('M'));

    // The request path: decoded, scheme and host removed, slashes collapsed. One work
    // buffer per thread, so that pooled entries do not each carry one.
    thread_local std::string work;
    work.assign(parser.Field('f'));
    UrlDecodeInPlace(work);
    size_t scheme = 0;
    if (HasHttpScheme(work, &scheme)) {
        const size_t slash = work.find('/', scheme);
        if (slash == std::string::npos) {
            work.assign("/");
        } else {
            work.erase(0, slash);
        }
    }
    CollapseSlashes(work);
    if (!options.CaseSensitive) LowerCaseInPlace(work);

    const std::string& queryField = parser.Field('q');
    if (!queryField.empty()) {
        Query.assign(queryField);
        UrlDecodeInPlace(Query);
    } else {
        const size_t q = work.find('?');
        if (q != std::string::npos && q + 1 < work.size()) {
            Query.assign(work, q + 1);
            work.resize(q);
        } else {
            Query.clear();
        }
    }
    const size_t lastSlash = work.rfind('/');
    if (lastSlash == std::string::npos) {
        Directory.assign("/");
    } else {
        Directory.assign(work, 0, lastSlash + 1);
    }
    if (options.ParamType == 0) Query.clear();

    const std::string_view filePart =
        lastSlash == std::string::npos ? std::string_view(work) : std::string_view(work).substr(lastSlash + 1);
    FileName.assign(filePart.substr(0, filePart.find_first_of("\"#'?\\")));
    const size_t dot = FileName.rfind('.');
    if (dot == std::string::npos) {
        Extension.clear();
    } else {
        Extension.assign(FileName, dot + 1, 5);
        UpperCaseInPlace(Extension);
    }
    Path.assign(Directory);
    Path.append(FileName);

    Status.assign(parser.Field('c'));
    const int status = StatusClass(Status);
    IsError = status == 3 || status == 4;
    Bytes = StrToInt64Def(parser.Field('b'), 0);
    return true;
}

void TLogEntry::AssignVisitFields(const TCParser& parser) {
    Host.assign(parser.Field('H'));
    Referrer.assign(parser.Field('r'));
    UrlDecodeInPlace(Referrer);
    if (!HasHttpScheme(Referrer)) Referrer.assign("-");
    Agent.assign(parser.Field('a'));
}
