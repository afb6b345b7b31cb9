#pragma once
// A new report is built in a hidden folder beside the report it replaces and swapped into
// place only when it is whole, so a run that fails, is cancelled or is killed leaves the
// previous report as it was. Only a folder that is one of our reports (or empty) is replaced.

#include <string>
#include <string_view>

// Hidden folders of a run inside the report base folder ("." + prefix + pid + ...): never
// reports, removed by CleanReportBase once their run has ended.
inline constexpr std::string_view kStagingPrefix = ".quorvel-new.";
inline constexpr std::string_view kRetiredPrefix = ".quorvel-old.";

// Whether folder may be replaced by a new report: a report of ours (its "params.ini" carries
// the CreationDate that every finished report gets) or an empty folder.
bool IsReplaceableReport(const std::string& folder);

// Removes what ended runs left in baseFolder: unfinished reports, and old reports set aside
// during a swap, which are put back when their place is empty.
void CleanReportBase(const std::string& baseFolder);

class TReportStaging {
public:
    TReportStaging() = default;
    ~TReportStaging(); // removes the hidden folder unless it became the report
    TReportStaging(const TReportStaging&) = delete;
    TReportStaging& operator=(const TReportStaging&) = delete;

    // Makes the hidden folder for the new contents of reportFolder (ending in "/") in its
    // base folder. False with the reason in *error.
    bool Begin(const std::string& reportFolder, std::string* error);
    // The hidden folder, ending in "/".
    const std::string& Path() const { return Staging; }
    // Puts the new report in reportFolder's place and removes the old one. False with the
    // reason in *error; the previous report then stays where it was.
    bool Commit(std::string* error);

private:
    std::string Target;  // the report folder, without its trailing "/"
    std::string Staging; // ends in "/"
    bool Committed = false;
};
