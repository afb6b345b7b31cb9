#include "core/ReportRunner.h"

#include "core/Progress.h"
#include "core/u_analysethread.h"
#include "profile/u_qvprofile.h"
#include "report/CLangReader.h"
#include "report/ReportFolder.h"
#include "report/StatisticsCompiler.h"
#include "sources/BatchLookup.h"
#include "sources/CUtils.h"
#include "sources/FileUtils.h"

#include <chrono>
#include <thread>
#include <utility>

TReportJob::TReportJob(TProgress& progress, TUserInterfaceDispatcher& dispatcher, TMessage message)
    : Progress(progress), Dispatcher(dispatcher), Message(std::move(message)) {
}

TReportJob::~TReportJob() {
    if (Job && !Job->Finished()) Job->Terminate();
    // TAnalyseThread's destructor waits for its worker.
}

bool TReportJob::Refuse(int status, const std::string& text) {
    Message(text);
    Outcome.Status = status;
    return false;
}

TQVProfile& TReportJob::Profile() const {
    return CurrentProfile();
}

bool TReportJob::Prepare(std::string_view profileName, bool unattended) {
    Unattended = unattended;
    Outcome = TRunReportResult();
    TQVProfile& profile = CurrentProfile();
    if (!profile.Load(profileName)) return Refuse(rsInvalidProfile, "Invalid profile name.");
    // One run of a profile at a time: a second one waits for nothing and touches nothing.
    std::string lockError;
    int holder = 0;
    if (!Lock.TryLock(profile.Name, &holder, &lockError)) return Refuse(holder >= 0 ? rsBusy : rsFailed, lockError);
    const std::string templateFolder = ReportTemplateFolder(profile.TemplateName);
    if (!DirectoryExists(templateFolder))
        return Refuse(rsMissingTemplate, "The template selected for this profile doesn't exist, please select a valid "
                                         "template in Options-->Reports.");
    if (!HasPageStylesheets(templateFolder))
        return Refuse(rsMissingTemplate, "The template \"" + profile.TemplateName + "\" in " + templateFolder +
                                             " has no main.xsl and toc.xsl, please select a valid template in "
                                             "Options-->Reports.");
    if (TrimView(profile.ReportLanguage).empty())
        return Refuse(rsNoLanguage,
                      "You have no report language selected. Please select a language in Options-->Reports.");
    if (TCLangReader language;
        !language.Load(profile.ReportLanguage) || language.LineCount() < TStatisticsCompiler::kRequiredLines)
        return Refuse(rsNoLanguage, "The report language \"" + profile.ReportLanguage +
                                        "\" cannot be read or is incomplete. Please select a language in "
                                        "Options-->Reports.");
    Prepared = true;
    return true;
}

void TReportJob::Start() {
    if (!Prepared || Job) return;
    TQVProfile& profile = CurrentProfile();
    // What killed runs left behind: their work folders and unfinished reports.
    RemoveStalePrivateFolders();
    if (profile.UseDNS && BatchLookup().DnsEntryCount() == 0) BatchLookup().LoadDnsCache(DnsCacheFileName());
    if (profile.FTPAutoFetch)
        Message("Fetching logs by FTP is not available in this version; the report uses the local log files.");

    Progress.SetProfileCaption(profile.Name);
    Progress.SetJobs(3, profile.AnimNo, true);
    Job = std::make_unique<TAnalyseThread>(profile, Progress, Dispatcher);
    Job->FromCommandLine = Unattended;
    Job->Start();
}

bool TReportJob::Finished() const {
    return !Job || Job->Finished();
}

void TReportJob::Cancel() {
    Progress.RequestCancel();
}

TRunReportResult TReportJob::Finish() {
    if (!Job) {
        // Prepared but never started: nothing ran, nothing is stamped.
        if (Prepared) Outcome.Status = rsCancelled;
        return Outcome;
    }
    const int code = Job->WaitFor();
    for (const std::string& note : Job->Messages())
        Message(note);
    switch (code) {
    case jrCompleted:
        Outcome.Status = rsCompleted;
        Outcome.ReportFolder = Job->ReportPath;
        Outcome.StartPage = ReportStartPage(Job->ReportPath);
        Outcome.OpenWanted = !Unattended && CurrentProfile().AutoOpenReport;
        break;
    case jrNoData:
        Message("The resulting report is blank. One of your settings must be wrong.");
        Outcome.Status = rsNoData;
        break;
    case jrCancelled:
        Message("The report was cancelled.");
        Outcome.Status = rsCancelled;
        break;
    default:
        Outcome.Status = rsFailed;
        break;
    }
    Job.reset();
    Prepared = false;
    // Stamped whatever the result, as the profile list shows it.
    TQVProfile& profile = CurrentProfile();
    profile.LastReportDate = Now();
    std::string error;
    if (!profile.Save(&error)) Message("The profile could not be saved: " + error);
    return Outcome;
}

TFtpSettings FtpSettingsOf(const TQVProfile& profile) {
    TFtpSettings settings;
    settings.Host = profile.FTPHost;
    settings.Port = profile.FTPPort;
    settings.Source = profile.FTPSource;
    settings.Dest = profile.FTPDest;
    settings.OpenExt = profile.OpenExt;
    settings.LogExts = profile.LogExts;
    return settings;
}

TRunReportResult RunReport(std::string_view profileName, bool unattended, TProgress& progress,
                           TUserInterfaceDispatcher& dispatcher, const TReportJob::TMessage& message,
                           const std::function<void()>& waitStep) {
    TReportJob job(progress, dispatcher, message);
    if (!job.Prepare(profileName, unattended)) return job.Result();
    job.Start();
    while (!job.Finished()) {
        if (waitStep) waitStep();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    TRunReportResult result = job.Finish();
    if (result.OpenWanted) OpenReport(result.ReportFolder);
    return result;
}
