#include "core/ReportRunner.h"

#include "core/Progress.h"
#include "core/u_analysethread.h"
#include "profile/ProfileLock.h"
#include "profile/u_qvprofile.h"
#include "report/CLangReader.h"
#include "report/StatisticsCompiler.h"
#include "report/ReportFolder.h"
#include "sources/BatchLookup.h"
#include "sources/CUtils.h"
#include "sources/FileUtils.h"

#include <chrono>
#include <thread>

TRunReportResult RunReport(std::string_view profileName, bool unattended, TProgress& progress,
                           TUserInterfaceDispatcher& dispatcher, const std::function<void(const std::string&)>& message,
                           const std::function<void()>& waitStep) {
    TRunReportResult result;
    TQVProfile& profile = CurrentProfile();
    if (!profile.Load(profileName)) {
        message("Invalid profile name.");
        result.Status = rsInvalidProfile;
        return result;
    }
    // One run of a profile at a time: a second one waits for nothing and touches nothing.
    TProfileLock lock;
    std::string lockError;
    int holder = 0;
    if (!lock.TryLock(profile.Name, &holder, &lockError)) {
        message(lockError);
        result.Status = holder >= 0 ? rsBusy : rsFailed;
        return result;
    }
    const std::string templateFolder = ReportTemplateFolder(profile.TemplateName);
    if (!DirectoryExists(templateFolder)) {
        message("The template selected for this profile doesn't exist, please select a valid template in "
                "Options-->Reports.");
        result.Status = rsMissingTemplate;
        return result;
    }
    if (!HasPageStylesheets(templateFolder)) {
        message("The template \"" + profile.TemplateName + "\" in " + templateFolder +
                " has no main.xsl and toc.xsl, please select a valid template in Options-->Reports.");
        result.Status = rsMissingTemplate;
        return result;
    }
    if (TrimView(profile.ReportLanguage).empty()) {
        message("You have no report language selected. Please select a language in Options-->Reports.");
        result.Status = rsNoLanguage;
        return result;
    }
    if (TCLangReader language;
        !language.Load(profile.ReportLanguage) || language.LineCount() < TStatisticsCompiler::kRequiredLines) {
        message("The report language \"" + profile.ReportLanguage +
                "\" cannot be read or is incomplete. Please select a language in Options-->Reports.");
        result.Status = rsNoLanguage;
        return result;
    }
    // What killed runs left behind: their work folders and unfinished reports.
    RemoveStalePrivateFolders();
    if (profile.UseDNS && BatchLookup().DnsEntryCount() == 0) BatchLookup().LoadDnsCache(DnsCacheFileName());
    if (profile.FTPAutoFetch)
        message("Fetching logs by FTP is not available in this version; the report uses the local log files.");

    progress.SetProfileCaption(profile.Name);
    progress.SetJobs(3, profile.AnimNo, true);
    TAnalyseThread job(profile, progress, dispatcher);
    job.FromCommandLine = unattended;
    job.Start();
    while (!job.Finished()) {
        if (waitStep) waitStep();
        if (progress.CancelRequested()) job.Terminate();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const int code = job.WaitFor();
    for (const std::string& note : job.Messages())
        message(note);
    switch (code) {
    case jrCompleted:
        result.Status = rsCompleted;
        result.ReportFolder = job.ReportPath;
        result.StartPage = ReportStartPage(job.ReportPath);
        break;
    case jrNoData:
        message("The resulting report is blank. One of your settings must be wrong.");
        result.Status = rsNoData;
        break;
    case jrCancelled:
        message("The report was cancelled.");
        result.Status = rsCancelled;
        break;
    default:
        result.Status = rsFailed;
        break;
    }
    // Stamped whatever the result, as the profile list shows it.
    profile.LastReportDate = Now();
    std::string error;
    if (!profile.Save(&error)) message("The profile could not be saved: " + error);
    return result;
}
