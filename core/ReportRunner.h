#pragma once
// The one entry to a report job. TReportJob runs it in steps for a caller with an event loop
// of its own (prepare and refuse what cannot work, start, poll, finish and stamp the profile);
// RunReport chains the steps and waits, as the unattended run uses it.

#include "profile/ProfileLock.h"
#include "report/StatsExport.h"
#include "sources/u_ftpdlthread.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TAnalyseThread;
class TProgress;
class TQVProfile;
class TUserInterfaceDispatcher;

// Outcomes of a report job; in the unattended run they are the program's exit status.
enum TRunStatus : int {
    rsCompleted = 0,
    rsFailed = 1,
    rsInvalidProfile = 2,
    rsMissingTemplate = 3,
    rsNoLanguage = 4,
    rsNoData = 5,
    rsCancelled = 6,
    rsBusy = 7,        // another run is making the same profile's report
    rsFetchFailed = 8, // the logs' FTP server could not be reached or refused the login
};

struct TRunReportResult {
    int Status = rsFailed;
    std::string ReportFolder; // of a completed report
    std::string StartPage;    // the page to show, or the folder
    bool OpenWanted = false;  // completed, not unattended, and the profile asks to open its report
};

// A one-off report: named logs read with the settings of a fresh profile; nothing is saved to
// the profile store.
struct TOneOffReport {
    std::vector<std::string> LogPaths; // files and folders; "-" is standard input, read first
    std::string LogFormat;             // "" detects it from the first lines
    std::string ReportFolder;          // "" for a folder named after the report in the current folder
};

class TReportJob {
public:
    using TMessage = std::function<void(const std::string&)>;

    // message receives every text the user must read, on the thread that calls the steps.
    TReportJob(TProgress& progress, TUserInterfaceDispatcher& dispatcher, TMessage message);
    // A job still running is cancelled and waited for: a dispatcher that hands work to the
    // destroying thread must not be left waiting, so a window destroys the job once Finished.
    ~TReportJob();
    TReportJob(const TReportJob&) = delete;
    TReportJob& operator=(const TReportJob&) = delete;

    // Loads the profile into CurrentProfile, takes its lock and checks the template and the
    // report language. False when the job cannot run; Result() then says why.
    bool Prepare(std::string_view profileName, bool unattended);
    // The same for a one-off report (unattended): a fresh profile in CurrentProfile reading
    // report.LogPaths, the format detected when none is given (rsNoData when none fits).
    bool PrepareOneOff(const TOneOffReport& report);
    // Statistics written beside the report once it is whole; set before Start.
    TStatsExportTargets Export;
    // The prepared profile: a caller may show its summary or fetch its logs before Start.
    TQVProfile& Profile() const;
    // Starts the job on its worker thread (after a successful Prepare).
    void Start();
    // Polled by the caller; the job's transform runs through the dispatcher meanwhile.
    bool Finished() const;
    // Asks the running job to stop; the same as the progress's cancel.
    void Cancel();
    // Once Finished: passes the job's messages on, stamps the profile's last report date
    // whatever the result and saves it. The result of a refused Prepare without a job.
    TRunReportResult Finish();
    const TRunReportResult& Result() const { return Outcome; }

private:
    bool Refuse(int status, const std::string& text);
    // Refuses a profile whose template or report language cannot work.
    bool CheckTemplateAndLanguage(const TQVProfile& profile);
    // text with the links of a one-off report's files named by the files' own paths.
    std::string NamedPaths(std::string text) const;

    TProgress& Progress;
    TUserInterfaceDispatcher& Dispatcher;
    TMessage Message;
    TProfileLock Lock;
    std::unique_ptr<TAnalyseThread> Job;
    TRunReportResult Outcome;
    bool Unattended = false;
    bool Prepared = false;
    bool OneOff = false;      // nothing is stamped or saved
    std::string OneOffBase;   // a one-off report's base folder, or
    std::string OneOffFolder; // its given folder
    std::string LinkFolder;   // links to the files a one-off report names, removed with the job
    std::vector<std::pair<std::string, std::string>> Links; // each link and the file it names
};

// The FTP settings of a profile, as a fetch takes them.
TFtpSettings FtpSettingsOf(const TQVProfile& profile);

// The unattended run's fetch of the profile's logs, with the login from ~/.netrc: rsCompleted
// when the report may go on (also when the netrc has no login for the host: message then says
// so), rsFetchFailed or rsCancelled when it must not.
int FetchLogsWithNetrc(const TQVProfile& profile, TProgress& progress, const TReportJob::TMessage& message,
                       const std::function<void()>& waitStep);

// Runs the report of profileName from start to end. waitStep runs repeatedly while the job
// works (it may ask the progress for a cancel). An unattended run of a profile that fetches its
// logs by FTP fetches them first. A report completed outside the unattended run
// is opened when the profile asks for it.
TRunReportResult RunReport(std::string_view profileName, bool unattended, TProgress& progress,
                           TUserInterfaceDispatcher& dispatcher, const TReportJob::TMessage& message,
                           const std::function<void()>& waitStep, const TStatsExportTargets& exportTargets = {});
// The same for a one-off report, unattended.
TRunReportResult RunOneOffReport(const TOneOffReport& report, TProgress& progress, TUserInterfaceDispatcher& dispatcher,
                                 const TReportJob::TMessage& message, const std::function<void()>& waitStep,
                                 const TStatsExportTargets& exportTargets = {});
