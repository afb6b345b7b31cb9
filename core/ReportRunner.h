#pragma once
// The one entry to a report job, as the shell uses it: loads the profile, refuses what
// cannot work (an unknown profile, a missing template, no report language), runs the job
// while the caller's wait step keeps the display alive, and stamps the profile afterwards.

#include <functional>
#include <string>
#include <string_view>

class TProgress;
class TUserInterfaceDispatcher;

// Outcomes of RunReport; in the unattended run they are the program's exit status.
enum TRunStatus : int {
    rsCompleted = 0,
    rsFailed = 1,
    rsInvalidProfile = 2,
    rsMissingTemplate = 3,
    rsNoLanguage = 4,
    rsNoData = 5,
    rsCancelled = 6,
    rsBusy = 7, // another run is making the same profile's report
};

struct TRunReportResult {
    int Status = rsFailed;
    std::string ReportFolder; // of a completed report
    std::string StartPage;    // the page to show, or the folder
};

// Runs the report of profileName. message receives every text the user must read;
// waitStep runs repeatedly while the job works (it may ask the progress for a cancel).
TRunReportResult RunReport(std::string_view profileName, bool unattended, TProgress& progress,
                           TUserInterfaceDispatcher& dispatcher, const std::function<void(const std::string&)>& message,
                           const std::function<void()>& waitStep);
